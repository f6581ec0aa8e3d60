// Objects, the inventory and the doors, as far as the game loop and the
// mission life cycle ask.
#include "game/dqx_objects.h"

#include "platform/step_log.h"


ObjectSlotTable ObjectSlots{};

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

void FreeObjectSlot(ObjectSlotEntry* slot) {
    if (slot) *slot = ObjectSlotEntry{};
}

ObjectSlotEntry* FindObjectSlot(const char*) {
    return nullptr;
}

int FindInventoryIndex(const CharacterRecord* character, const ObjectSlotEntry* slot) {
    if (!character) return -1;
    for (int i = 0; i < character->inventoryCount && i < kInventorySlots; ++i)
        if (character->inventory[i] == slot) return i;
    return -1;
}

int32_t TakeNearestObject(CharacterRecord* character, int32_t mode) {
    RecordGameCall("TakeNearestObject", character, mode);
    return 0;
}

void GiveObject(CharacterRecord* character, int32_t slot) {
    RecordGameCall("GiveObject", character, slot);
}

void HoldObject(ObjectSlotEntry*) {
    RecordGameCall("HoldObject");
}

void RestoreCarriedNames() {
    LogStep("RestoreCarriedNames");
}

void SetupRoomObjectModels() {
    RecordGameCall("SetupRoomObjectModels");
}
