// The mission's gameplay settings (gameplay.ini) and the two power tables
// with their built-in defaults.
//
// Every [GamePlay] value a file gives may be 0 or negative (a missing key
// reads 0).  None of them is ever a divisor as read: the fire period of
// DefaultShootFrequency goes through ShootPeriodMs and the tendrils' first
// shot draw of TendrilsShootFrequency through TendrilShotRange; the other
// values only scale or are subtracted (TendrilsDamage and PowerEraseTendrils
// from lives, TendrilsHealthMax as a tendril's life, PowerDeathGhost as a
// count, DrainBaseTime as the dividend of a drain's fill time, BonusEnergy
// and the energy account as energy, RecupMonster and RecupEntity as
// percentages of a maximum life).
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

    friend bool operator==(const PowerRow&, const PowerRow&) = default;
};

constexpr int kSpellRows = 8;   // 7 spells and one empty row
constexpr int kWeaponRows = 14;

// The live tables with the two selections (the save games hold them whole).
struct PowerTablesRecord {
    PowerRow m[kSpellRows];
    PowerRow w[kWeaponRows];
    int32_t selectedSpell;
    int32_t selectedWeapon;

    friend bool operator==(const PowerTablesRecord&, const PowerTablesRecord&) = default;
};
extern PowerTablesRecord PowerTables;
// The built-in defaults; each row's shortcut number is kept here (from
// player.ini) until the defaults are copied into the live tables.
extern PowerTablesRecord DefaultPowerTables;
#define PowerTableM (PowerTables.m)
#define PowerTableW (PowerTables.w)

// The built-in rows as the program ships them (shortcut numbers 0); the
// copy above starts equal to it.
extern const PowerTablesRecord BuiltInPowerTables;

// Reads ".\ms%d\gameplay.ini" from the root of the current file table:
// the seven [GamePlay] values (1 without a file, 0 for a key the file
// lacks), StartEnergy added to the energy account, BonusEnergy, the two
// recovery percentages (0 becomes 100) and the costs, prices and highest
// levels of the power rows from the sections w1..we and m1..m6.  Fatal
// "Invalid gameplay.ini" when the file has no [GamePlay] section.
void LoadGameplayIni(int mission);
// Copies the defaults (with the shortcut numbers player.ini gave them) into
// the live tables, the two selections included.
void CopyDefaultPowerTables();

// The delay in ms between two shots at a frequency in shots a second:
// 1000 / frequency, or 0 (no delay) for a frequency of 0 or below.
int32_t ShootPeriodMs(int32_t frequency);
// The range of a tendril's first-shot countdown in ticks:
// TendrilsShootFrequency x 70, at least 70 and at most INT32_MAX, so that
// a draw modulo it never divides by 0 or overflows.
int32_t TendrilShotRange();
