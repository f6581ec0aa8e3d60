// The mission's gameplay settings (gameplay.ini) and the two power tables
// with their built-in defaults.  Layouts and globals only.
#pragma once

#include <cstdint>

struct GameplaySettingsRecord {
    int32_t TendrilsDamage;
    int32_t DefaultShootFrequency;
    int32_t PowerEraseTendrils;
    int32_t TendrilsShootFrequency;
    int32_t TendrilsHealthMax;
    int32_t PowerDeathGhost;
    int32_t DrainBaseTime;
    int32_t roomChangeCounter;  // 25 at every load; ChangeRoom raises it up to 25
    int32_t energyAccount;      // StartEnergy added at every load; 500 when 0
    int32_t BonusEnergy;
    int32_t RecupMonster;
    int32_t RecupEntity;
};
extern GameplaySettingsRecord GameplaySettings;

// One power: a spell (kinds 6-8) or a weapon power (kinds 9, 10).
struct PowerRow {
    int32_t kind;
    const char* label;      // a MenuTexts slot: 50 + row for spells, 57 + row for weapons
    int32_t one;            // 1 in every row
    int32_t utilisation;    // energy cost of one use
    int32_t achatupgrade;   // price per level
    int32_t levelBought;
    int32_t levelInUse;     // 1 .. levelBought
    int32_t potentio;       // highest level
    int32_t shortcut;       // shortcut number, 0 = none
    char name[16];          // also the base name of the power's effect files
    int32_t aimMode;        // 0 to 3
    int32_t variant;        // random A/B variant of the effect
    int32_t state;          // 0 untouched, 1 default kept, 2 set from gameplay.ini
};

constexpr int kSpellRows = 8;   // 7 spells and one empty row
constexpr int kWeaponRows = 14;

// The live tables with the two selections (the save games hold them whole).
struct PowerTablesRecord {
    PowerRow m[kSpellRows];
    PowerRow w[kWeaponRows];
    int32_t selectedSpell;
    int32_t selectedWeapon;
};
extern PowerTablesRecord PowerTables;
// The built-in defaults; each row's shortcut number is kept here (from
// player.ini) until the defaults are copied into the live tables.
extern PowerTablesRecord DefaultPowerTables;
#define PowerTableM (PowerTables.m)
#define PowerTableW (PowerTables.w)

// Reads ".\ms%d\gameplay.ini"; fatal "Invalid gameplay.ini" when the file
// has no [GamePlay] section.
void LoadGameplayIni(int mission);
// Copies the defaults into the live tables.
void CopyDefaultPowerTables();
