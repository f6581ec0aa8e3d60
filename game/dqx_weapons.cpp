// Weapons: their records and charges.
#include "game/dqx_weapons.h"

#include "game/characters.h"
#include "platform/step_log.h"

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
