// The enemy manager's open and close, with the call trace of its debug
// bit 1.  The camera manager lives in ai/cm_manager.cpp.
#include "ai/managers.h"

#include "ai/manager_trace.h"
#include "platform/errors.h"
#include "platform/step_log.h"

uint32_t EmDebugBits = 0;
bool EmOpen = false;
uint32_t EmStrategyFrames = 0;

CameraManagerHost CmHost = {};

namespace {

bool Tracing() {
    return (EmDebugBits & 2) != 0;
}

}  // namespace

void EM_Open() {
    TracedCall t(Tracing(), "EM_Open", true);
    DebugLog("Spindrel I.A. Manager Version 2.05 RC7");
    EmOpen = true;
    EmStrategyFrames = 0;
}

void EM_Close() {
    TracedCall t(Tracing(), "EM_Close", true);
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

// The enemy manager has no enemies yet: a mission's open, room change and
// close are only logged.
void EM_OpenMission(int mission) {
    TracedCall t(Tracing(), "EM_OpenMission");
    LogStep("EM_OpenMission", mission);
}

void EM_CloseMission() {
    TracedCall t(Tracing(), "EM_CloseMission");
    LogStep("EM_CloseMission");
}

// Its exit line names it without the prefix.
void EM_PlayerChangeRoom() {
    TracedCall t(Tracing(), "EM_PlayerChangeRoom", false, "PlayerChangeRoom");
    LogStep("EM_PlayerChangeRoom");
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
