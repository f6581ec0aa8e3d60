// Weapons: their records and charges.
#include "game/dqx_weapons.h"

#include "game/characters.h"
#include "game/object_slots.h"
#include "platform/step_log.h"

#include <string>

void LoadWeapons(int mission, int keep) {
    LogStep("LoadWeapons", mission);
    (void)keep;
}

void ReloadSaveWeapons() {
    LogStep("ReloadSaveWeapons");
}

void RestoreWeaponNames() {
    LogStep("RestoreWeaponNames");
}

void FreeWeapons(int mission) {
    LogStep("FreeWeapons", mission);
}

void UpdateWeapons() {
    RecordGameCall("UpdateWeapons");
}

int32_t SavedCharges[kWeaponSlots] = {};

void ClearSavedCharges() {
    for (int32_t& charges : SavedCharges) charges = -1;
}

void MarkWeaponObject(ObjectRecord* object) {
    RecordGameCall("MarkWeaponObject", nullptr, object ? object->index : -1);
}

void SelectWeapon(ObjectSlotEntry* slot) {
    RecordGameCall("SelectWeapon", nullptr, slot && slot->object ? slot->object->index : -1);
}

void UseWeapon(const char* name) {
    RecordGameCall((std::string("UseWeapon ") + (name ? name : "")).c_str());
}

WeaponRecord* GetSelectedWeapon() {
    return nullptr;
}

int32_t GetActiveShield() {
    RecordGameCall("GetActiveShield");
    return 0;
}
