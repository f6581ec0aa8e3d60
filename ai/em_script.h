// The strategy script (ENEMIES.ESC): its reading, its analysis into the
// manager's tables, the lookups and the release of what it gave.
#pragma once

#include "ai/em_records.h"

#include <cstddef>
#include <cstdint>

// Reads and analyses ".\ms%d\ENEMIES.ESC"; 1 when done, else 0.
int EM_LoadStrategyScript(int mission);
// 1 done, -1 bad version, -2 the character table could not be allocated,
// -3 a character entry could not be read.
int EM_AnalyseMemoryScript(const uint8_t* image, size_t size);
// The first script character of that name (any case), or none.
EmCharacter* EM_FindCharacter(EmTable<EmCharacter>* table, const char* name);
// The index of the first weapon of that name (any case), or -1.
int EM_FindWeaponName(const EmWeapon* weapons, int count, const char* name);
// Every character's weapon list freed and the table emptied.
void EM_FreeStrategyDatas(EmTable<EmCharacter>* table);
