// The doors of the current room.
#include "game/dqx_doors.h"

#include "platform/step_log.h"

#include <string>

PortalDoor PortalDoors[kPortalCapacity]{};
int32_t PortalDoorCount = 0;

void LoadPortalDoors(RoomRecord*) {
    LogStep("LoadPortalDoors");
}

void FreePortalDoors() {
    LogStep("FreePortalDoors");
}

void ToggleDoor(CharacterRecord* character, int32_t portal) {
    RecordGameCall("ToggleDoor", character, portal);
}

void AnimateDoors() {
    RecordGameCall("AnimateDoors");
}

void UseDoor(CharacterRecord* character, int32_t portal) {
    RecordGameCall("UseDoor", character, portal);
}

int32_t FindDoorInFront(const CharacterRecord*) {
    return -1;
}

void OpenPortalDoor(const char* portal) {
    LogStep((std::string("OpenPortalDoor ") + (portal ? portal : "")).c_str());
}
