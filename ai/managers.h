// What the run body needs of the enemy AI manager and the camera manager.
#pragma once

#include <cstdint>

void EM_Open();
void EM_Close();
// Bit 0 log, bit 1 call trace.
void EM_SetDebug(uint32_t bits);
// One frame of the enemies' strategy for the open mission; answers 0 when
// the frame went on as usual.
int EM_UpdateStrategyMission();
void CM_Open();
int CM_Close();
void CM_SetDebug(uint32_t bits);

// A mission's life in the two managers: opened with the mission, told of
// each room change, closed with it.
void EM_OpenMission(int mission);
void EM_CloseMission();
void EM_PlayerChangeRoom();
void CM_OpenMission(int mission);
void CM_CloseMission();
void CM_PlayerChangeRoom();
// One frame of the follow camera, driven by the hero's movement; the camera
// object is moved only when `apply` is non-zero.  -1 when not open.
int CM_UpdataCamera(int apply);

// The game world's services the camera manager calls, filled by the spine
// at start; an empty slot does nothing.
struct CameraManagerHost {
    // The camera at the start of the current room.
    void (*PlaceCameraAtRoomStart)();
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
extern uint32_t CmDebugBits;
extern bool EmOpen;
extern bool CmOpen;
extern uint32_t CmCallCount;
// Frames of the strategy run since the manager opened.
extern uint32_t EmStrategyFrames;
