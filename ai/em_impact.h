// The game's calls about an enemy's hits and life: a hit of the hero's
// weapon, as the effects report it, and the life points left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An enemy hit by the named weapon (an effect set's file name, any case;
// none deals 10): the damage dealt, taken from its life (0 when the weapon
// does not hurt it), -1 when the character has no enemy record, -2 when it
// is already dead.
int EM_ImpactEnemy(void* character, const char* weaponName);

// Every hit reported, oldest first, at most the last 1024: what the
// effects asked of the manager, whether or not it knew the character.
struct ImpactCall {
    void* character;
    std::string weapon;
};
extern std::vector<ImpactCall> g_ImpactCalls;
