// The weapons' saved charges.
#include "game/weapons.h"

int32_t SavedCharges[kWeaponSlots] = {};

void ClearSavedCharges() {
    for (int32_t& charges : SavedCharges) charges = -1;
}
