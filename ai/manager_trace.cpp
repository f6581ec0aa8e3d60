#include "ai/manager_trace.h"

#include "platform/errors.h"

#include <cstdio>

void ManagerTrace(bool on, const char* text) {
    if (on) DebugLog("******************************%s", text);
}

TracedCall::TracedCall(bool on, const char* name, bool runTrace, const char* exitName)
    : on_(on), exitName_(exitName ? exitName : name) {
    if (runTrace) RunTrace(name);
    if (!on_) return;
    char line[96];
    std::snprintf(line, sizeof line, "%s()", name);
    ManagerTrace(true, line);
}

TracedCall::~TracedCall() {
    if (!on_) return;
    char line[96];
    std::snprintf(line, sizeof line, "End Of %s()", exitName_);
    ManagerTrace(true, line);
}
