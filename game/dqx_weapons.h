// Weapons: their records and charges.
// Stand-ins under their final names: each only logs its call.
#pragma once

#include <cstdint>

struct ObjectRecord;
struct ObjectSlotEntry;
struct WeaponRecord;

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

// A mission object flagged as a weapon when its name names one.
void MarkWeaponObject(ObjectRecord* object);
// The take (or the put) of an object told to the weapons.
void SelectWeapon(ObjectSlotEntry* slot);
// The inventory's use of the object of that name.
void UseWeapon(const char* name);
// The first selected weapon with charges left; none when there is none.
WeaponRecord* GetSelectedWeapon();
