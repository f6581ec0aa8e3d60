// What the run body needs of the enemy AI manager and the camera manager.
#pragma once

#include "ai/cm_manager.h"

#include <cstdint>

struct CharacterRecord;

void EM_Open();
void EM_Close();
// Bit 0 log, bit 1 call trace.
void EM_SetDebug(uint32_t bits);
// One frame of the enemies' strategy for the open mission; answers 0 when
// the frame went on as usual.
int EM_UpdateStrategyMission();

// A mission's life in the enemy manager: opened with the mission, told of
// each room change, closed with it.
void EM_OpenMission(int mission);
void EM_CloseMission();
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
// CharacterRecord, passed as the manager's host passes it): its life points
// by its enemy record, whether it is a roaming spindrel, and the room a
// spindrel is sent to.
int32_t EM_GetLifePoints(void* character);
int EM_IsSpindrel(void* character);
void EM_SetSpindrelTargetRoom(void* character, int32_t room);

extern uint32_t EmDebugBits;
extern bool EmOpen;
// Frames of the strategy run since the manager opened.
extern uint32_t EmStrategyFrames;
