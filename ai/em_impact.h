// The enemy AI manager's hit report, as the effects call it.  The manager
// keeps no enemies yet: every character is one it does not know.  Calls are
// kept in a log that tests read.
#pragma once

#include <string>
#include <vector>

// An enemy hit by the named weapon (an effect set's file name); the damage
// dealt, -1 when the character has no enemy record.
int EM_ImpactEnemy(void* character, const char* weaponName);

struct ImpactCall {
    void* character;
    std::string weapon;
};
// Oldest first, at most the last 1024.
extern std::vector<ImpactCall> g_ImpactCalls;
