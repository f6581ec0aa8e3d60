// The two managers' open and close, with the call trace of their debug bit 1:
// thirty asterisks and the operation at entry, "End Of " and it at exit.
#include "ai/managers.h"

#include "platform/errors.h"
#include "platform/step_log.h"

uint32_t EmDebugBits = 0;
uint32_t CmDebugBits = 0;
bool EmOpen = false;
bool CmOpen = false;
uint32_t CmCallCount = 0;
uint32_t EmStrategyFrames = 0;

CameraManagerHost CmHost = {};

namespace {

void PlaceCameraAtRoomStart() {
    if (CmHost.PlaceCameraAtRoomStart) CmHost.PlaceCameraAtRoomStart();
}

struct Traced {
    const char* name;
    uint32_t bits;
    // The step goes to the run trace here, or through the step log.
    Traced(const char* n, uint32_t b, bool trace = true) : name(n), bits(b) {
        if (bits & 2) DebugLog("******************************%s()", name);
        if (trace) RunTrace(name);
    }
    ~Traced() {
        if (bits & 2) DebugLog("End Of %s", name);
    }
};

}  // namespace

void EM_Open() {
    Traced t("EM_Open", EmDebugBits);
    DebugLog("Spindrel I.A. Manager Version 2.05 RC7");
    EmOpen = true;
    EmStrategyFrames = 0;
}

void EM_Close() {
    Traced t("EM_Close", EmDebugBits);
    EmOpen = false;
}

// No enemy acts yet: the frames are only counted.
int EM_UpdateStrategyMission() {
    ++EmStrategyFrames;
    return 0;
}

void EM_SetDebug(uint32_t bits) {
    EmDebugBits = bits & 3;
}

void CM_Open() {
    Traced t("CM_Open", CmDebugBits);
    CmOpen = true;
    CmCallCount = 0;
}

int CM_Close() {
    Traced t("CM_Close", CmDebugBits);
    if (!CmOpen) return -1;
    CmOpen = false;
    return 0;
}

void CM_SetDebug(uint32_t bits) {
    CmDebugBits = bits & 3;
}

// The enemy manager has no enemies yet: a mission's open, room change and
// close are only logged.
void EM_OpenMission(int mission) {
    Traced t("EM_OpenMission", EmDebugBits, false);
    LogStep("EM_OpenMission", mission);
}

void EM_CloseMission() {
    Traced t("EM_CloseMission", EmDebugBits, false);
    LogStep("EM_CloseMission");
}

void EM_PlayerChangeRoom() {
    Traced t("EM_PlayerChangeRoom", EmDebugBits, false);
    LogStep("EM_PlayerChangeRoom");
}

// The camera manager does not follow the hero yet: at a mission's open, at
// each room change and every frame it puts the camera at the start of the
// room.
void CM_OpenMission(int mission) {
    Traced t("CM_OpenMission", CmDebugBits, false);
    LogStep("CM_OpenMission", mission);
    PlaceCameraAtRoomStart();
}

// Each frame the camera is put back at the start of the room.
int CM_UpdataCamera(int apply) {
    if (!CmOpen) return -1;
    if (apply) PlaceCameraAtRoomStart();
    return 1;
}

void CM_CloseMission() {
    Traced t("CM_CloseMission", CmDebugBits, false);
    LogStep("CM_CloseMission");
}

void CM_PlayerChangeRoom() {
    Traced t("CM_PlayerChangeRoom", CmDebugBits, false);
    LogStep("CM_PlayerChangeRoom");
    PlaceCameraAtRoomStart();
}

// The manager keeps no enemy records yet: no character has life points of
// its own there or is a spindrel, and a target room is not kept.
int32_t EM_GetLifePoints(void*) {
    return 0;
}

int EM_IsSpindrel(void*) {
    return 0;
}

void EM_SetSpindrelTargetRoom(void*, int32_t) {}
