// Tendrils and the mission's drills.
#include "game/dqx_tendrils.h"

#include "game/characters.h"
#include "platform/step_log.h"

uint8_t MissionStateByte = 0;
uint8_t MissionFlagByte = 0;

void ClearDrillState() {
    LogStep("ClearDrillState");
}

void LoadDrills() {
    LogStep("LoadDrills");
}

void FreeDrills() {
    LogStep("FreeDrills");
}

void FreeRoomDrills() {
    LogStep("FreeRoomDrills");
}

void CreateRoomTendrils() {
    LogStep("CreateRoomTendrils");
}

void FreeRoomTendrils() {
    LogStep("FreeRoomTendrils");
}

void UpdateTendrils(int mode) {
    RecordGameCall("UpdateTendrils", nullptr, mode);
}

// No tendril lives until the tendrils are built: none faces anyone.
TendrilRecord* FindFacingTendril(CharacterRecord* character) {
    RecordGameCall("FindFacingTendril", character);
    return nullptr;
}

void HitTendril(TendrilRecord*) {
    RecordGameCall("HitTendril");
}

void GetTendrilPosition(const TendrilRecord*, Vec3* out) {
    if (out) *out = Vec3{0, 0, 0};
}
