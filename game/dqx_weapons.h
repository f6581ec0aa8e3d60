// Weapons: their records and charges.
// Stand-ins under their final names: each only logs its call.
#pragma once

#include <cstdint>

// The mission's weapon files read (charges kept with keep).
void LoadWeapons(int mission, int keep);
// The save game's weapon block read again.
void ReloadSaveWeapons();
// The weapons' names given back.
void RestoreWeaponNames();
// The weapon records freed.
void FreeWeapons(int mission);

// One frame of the weapons in use (expiry, grenades, barriers).
void UpdateWeapons();

constexpr int kWeaponSlots = 24;
// A slot's charges carried to the next mission; -1 = none saved.
extern int32_t SavedCharges[kWeaponSlots];

// Every slot's saved charges := -1 (once, when the front end starts).
void ClearSavedCharges();
