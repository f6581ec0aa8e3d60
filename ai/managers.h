// What the run body and the game need of the enemy AI manager and the
// camera manager.
#pragma once

#include "ai/cm_manager.h"

#include <cstdint>

struct CharacterRecord;

// The manager's life in the run: open answers 1; close answers 0 when it
// was not open, else 1.
int EM_Open();
int EM_Close();
// Bit value 1 turns the log on, bit value 2 the call trace.
void EM_SetDebug(uint32_t flags);
// One frame of the enemies' strategy for the open mission (ai/em_frame.cpp):
// 0 when the manager is not open; 4 when the hero's room holds no player,
// or more players or enemies than the frame lists hold; 3 when one of its
// characters has no AI record; 1 when the frame ran.
int EM_UpdateStrategyMission();

// A mission's life in the enemy manager: opened with the mission (1 when
// every record was built; a strategy script that cannot be read closes the
// manager for the rest of the run), told of each room change, closed with
// it (0 when the manager is not open).
int EM_OpenMission(int mission);
int EM_CloseMission();
void EM_PlayerChangeRoom();

// What the camera manager's host functions ask of the game world, filled by
// the spine at start; an empty slot answers none, 0 or one tick.
struct CameraManagerHost {
    // The character the attacker's target choice picks (inSight 1: only one
    // in sight), or null.
    CharacterRecord* (*FindCharacterTarget)(CharacterRecord* attacker, int inSight);
    // Non-zero when the character's definition lets the hero lock on to it.
    int (*CanLockOn)(const CharacterRecord* character);
    // The frame step as measured, in ticks of 1/70 s.
    float (*FrameStep)();
};
extern CameraManagerHost CmHost;

// What the game world asks of the manager about one character (a
// CharacterRecord, passed as the manager's host passes it).
// Its life points by its enemy record; -1 when it has none.
int32_t EM_GetLifePoints(void* character);
// 1 when it is a roaming spindrel, else 0.
int EM_IsSpindrel(void* character);
// The room a spindrel is sent to: 1 when taken, 0 for a room outside the
// room table, a closed or blocked room, or a character that is no spindrel.
int EM_SetSpindrelTargetRoom(void* character, int32_t room);
// Its AI facing (three floats) while the manager is open and it has an
// enemy record: get leaves `out` as it is otherwise, set does nothing.
void EM_IAGetDirection(void* character, float* out);
void EM_IASetDirection(void* character, const float* direction);

// The tendrils of a room side as the game counts them (value x 9 / 999),
// and the game's report of `count` of them killed; 0 or nothing outside
// the room table or the two sides.
int32_t EM_GetTendrilsNumber(int32_t room, int32_t side);
void EM_TendrilsKilled(int32_t room, int32_t side, int32_t count);
