// The life cycle's step log.
#include "platform/step_log.h"

#include "platform/errors.h"

std::vector<std::string> g_StepLog;

void LogStep(const char* step) {
    RunTrace(step);
    if (g_StepLog.size() >= 4096) g_StepLog.erase(g_StepLog.begin(), g_StepLog.begin() + 2048);
    g_StepLog.emplace_back(step);
}

void LogStep(const char* step, int value) {
    std::string line = std::string(step) + " " + std::to_string(value);
    LogStep(line.c_str());
}
