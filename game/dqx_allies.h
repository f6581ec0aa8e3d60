// Summoned allies: two extra characters appended to the mission's, called
// by weapon powers for a time, fighting on the hero's side.
#pragma once

#include "engine3d/dqx_3d.h"
#include "platform/resfile.h"

#include <cstdint>

struct CharacterRecord;
struct CharacterDef;

// AllySlot::flags bits.
constexpr int32_t kAllyCreated = 0x01;
constexpr int32_t kAllyCalled = 0x02;

// The two allies, by slot.
constexpr int kAllyEntity = 0;  // "callentity", called by weapon row 2
constexpr int kAllySpirit = 1;  // "callspirit", called by weapon row 1
constexpr int kAllyCount = 2;

// The save game's ally block: flags and ticksLeft of each ally.
constexpr size_t kAllyBlockBytes = 8 * kAllyCount;

struct AllySlot {
    CharacterRecord* record;
    CharacterRecord* summoner;
    CharacterDef* definition;
    int32_t flags;      // kAlly... bits; saved
    int32_t ticksLeft;  // ticks of 1/70 s before dismissal; saved; -1 never runs out
};
// Ally 0 "callentity" (weapon row 2), ally 1 "callspirit" (weapon row 1).
extern AllySlot AllySlots[2];

// The two ally definitions and records appended to the mission's (the
// previous ones replaced when the mission already has them).  Both or
// neither: where the definitions' or the records' room does not hold two
// more, no ally is created.
void CreateSummonedAllies();
// A created ally called by the summoner for `seconds` at the position (its
// x and z; the summoner's height), in the summoner's room.
void SummonAlly(CharacterRecord* summoner, int ally, int32_t seconds, const Vec3* position);
// One frame of a character's ally time: the ally number + 1 while it is a
// live called ally, else 0 (dismissing it when its time or life ran out).
int UpdateSummonedAlly(CharacterRecord* character);
// 1 when the record is a created summoned ally.
int IsSummonedAlly(const CharacterRecord* character);
// The ally sent away: inactive, life restored, alive again, in no room.
void DismissAlly(int ally);
// Every summoned ally dismissed (at every room change).
void DismissAllAllies();
// The allies' created bits cleared (mission end).
void ClearAllyFlags();
// One frame of the summoned allies: the time of a called ally that the
// characters' visibility pass does not reach (it has no model).
void UpdateAllies();
// The save game's ally block: 8 bytes (flags, ticksLeft) per ally.  Write
// answers 1 when every byte was written; read answers 0 on a short block
// and then leaves the allies as they were.  A called ally read back stands
// beside the hero, in its room, with the time it had left.
int WriteAllies(FileHandle file);
int ReadAllies(FileHandle file);
