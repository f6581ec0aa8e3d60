// The steps of the game's life cycles, named as they run: each goes to the
// run trace (MORVANEL_TRACE) and to a short log that tests read.
#pragma once

#include <string>
#include <vector>

// "Name" or, with a value, "Name value".
void LogStep(const char* step);
void LogStep(const char* step, int value);
// Oldest first, the last 4096 steps at most.
extern std::vector<std::string> g_StepLog;
