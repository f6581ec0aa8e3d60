#include "ai/manager_trace.h"

#include "platform/errors.h"

#include <cstdio>

void ManagerTrace(bool on, const char* text) {
    if (on) DebugLog("******************************%s", text);
}

void TracedCall::NameInRunTrace(const char* name) {
    RunTrace(name);
}

void TracedCall::WriteLine(const char* prefix, const char* name) {
    char line[96];
    std::snprintf(line, sizeof line, "%s%s()", prefix, name);
    ManagerTrace(true, line);
}
