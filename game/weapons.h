// The weapons of the mission: for now only the charges each of the 24
// weapon slots keeps from one mission to the next.
#pragma once

#include <cstdint>

constexpr int kWeaponSlots = 24;
// A slot's charges carried to the next mission; -1 = none saved.
extern int32_t SavedCharges[kWeaponSlots];

// Every slot's saved charges := -1 (once, when the front end starts).
void ClearSavedCharges();
