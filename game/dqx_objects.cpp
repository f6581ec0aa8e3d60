// Objects, the inventory and the doors, as far as the game loop and the
// mission life cycle ask.
#include "game/dqx_objects.h"

#include "platform/step_log.h"

#include <string>

void ClearObjectSlots() {
    LogStep("ClearObjectSlots");
}

void ClearObjectSlotModels() {
    LogStep("ClearObjectSlotModels");
}

void RestoreCarriedObjects() {
    LogStep("RestoreCarriedObjects");
}

void SaveCarriedObjects() {
    LogStep("SaveCarriedObjects");
}

void FinishCarriedObjects() {
    LogStep("FinishCarriedObjects");
}

void SetupObjects(int restoring) {
    LogStep("SetupObjects", restoring);
}

void FreeObjectSlots() {
    LogStep("FreeObjectSlots");
}

void OpenPortalDoor(const char* portal) {
    LogStep((std::string("OpenPortalDoor ") + (portal ? portal : "")).c_str());
}

void UseObject(CharacterRecord* character, int mode) {
    RecordGameCall("UseObject", character, mode);
}

void AnimateObjects() {
    RecordGameCall("AnimateObjects");
}

int32_t RequestObjectUse(CharacterRecord* character) {
    RecordGameCall("RequestObjectUse", character, 0, 0);
    return -2;
}

bool FindObjectAt(CharacterRecord* character) {
    RecordGameCall("FindObjectAt", character, 0, 0);
    return false;
}

void TakeObject(CharacterRecord* character) {
    RecordGameCall("TakeObject", character, 0, 0);
}

void PutObject(CharacterRecord* character) {
    RecordGameCall("PutObject", character, 0, 0);
}
