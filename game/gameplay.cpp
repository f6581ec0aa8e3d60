// The mission's gameplay settings and the power tables.
#include "game/gameplay.h"

#include "game/dqx_overlay.h"
#include "game/player_settings.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/resfile.h"

#include <algorithm>
#include <cstdio>

GameplaySettingsRecord GameplaySettings = {};
PowerTablesRecord PowerTables = {};

namespace {

// One built-in row: its label is MenuTexts slot `text`; level in use equals
// level bought; no shortcut; state untouched.
constexpr PowerRow Row(int32_t kind, int text, int32_t cost, int32_t price, int32_t bought, int32_t highest,
                       const char (&name)[3], int32_t aim, int32_t variant) {
    return PowerRow{kind,    MenuTexts[text], 1, cost, price, bought, bought, highest, 0,
                    {name[0], name[1]},        aim, variant, 0};
}

}  // namespace

constexpr PowerTablesRecord kBuiltInPowerTables = {
    {
        //  kind label cost price bought max  name  aim A/B
        Row(6, 50, 10, 70, 0, 12, "m1", 0, 0),
        Row(7, 51, 15, 80, 0, 12, "m2", 0, 0),
        Row(6, 52, 20, 90, 0, 12, "m3", 0, 0),
        Row(7, 53, 25, 100, 0, 1, "m4", 0, 0),
        Row(6, 54, 30, 110, 0, 1, "m5", 0, 0),
        Row(7, 55, 35, 120, 0, 1, "m6", 0, 0),
        Row(8, 56, 40, 130, 1, 1, "m7", 0, 0),
        PowerRow{},  // the empty eighth row
    },
    {
        Row(9, 57, 5, 100, 0, 12, "w1", 0, 0),
        Row(10, 58, 6, 150, 0, 12, "w2", 0, 0),
        Row(9, 59, 7, 60, 0, 12, "w3", 0, 0),
        Row(10, 60, 8, 50, 0, 10, "w4", 0, 0),
        Row(9, 61, 9, 70, 1, 12, "w5", 1, 1),
        Row(9, 62, 10, 35, 0, 12, "w6", 1, 0),
        Row(10, 63, 11, 70, 1, 4, "w7", 1, 0),
        Row(9, 64, 12, 80, 0, 12, "w8", 3, 0),
        Row(10, 65, 13, 70, 0, 12, "w9", 0, 0),
        Row(9, 66, 14, 50, 0, 12, "wA", 0, 0),
        Row(10, 67, 15, 70, 0, 12, "wB", 0, 0),
        Row(9, 68, 16, 40, 0, 1, "wC", 0, 0),
        Row(10, 69, 17, 70, 0, 12, "wD", 1, 0),
        Row(9, 70, 18, 30, 1, 8, "wE", 2, 0),
    },
    0,
    0,
};

const PowerTablesRecord BuiltInPowerTables = kBuiltInPowerTables;
PowerTablesRecord DefaultPowerTables = kBuiltInPowerTables;

void CopyDefaultPowerTables() {
    PowerTables = DefaultPowerTables;
}

int32_t ShootPeriodMs(int32_t frequency) {
    return frequency > 0 ? 1000 / frequency : 0;
}

int32_t TendrilShotRange() {
    const int64_t range = int64_t(std::max<int32_t>(GameplaySettings.TendrilsShootFrequency, 1)) * 70;
    return int32_t(std::min<int64_t>(range, INT32_MAX));
}

namespace {

int32_t AddSaturated(int32_t a, int32_t b) {
    return int32_t(std::clamp<int64_t>(int64_t(a) + b, INT32_MIN, INT32_MAX));
}

// A cost, price or level from the file; none of them means anything below 0.
int32_t ReadCount(const char* key, IniFile* ini) {
    return std::max<int32_t>(IniGetInt(key, ini), 0);
}

// The rows whose sections the file may hold: "<letter>%x" with the row
// number + 1.  A row with its section takes its cost, highest level and
// price and state 2; a row without keeps its values, and an untouched one
// is marked as kept (state 1).
void ReadPowerRows(IniFile* ini, char letter, PowerRow* rows, int count) {
    for (int i = 0; i < count; ++i) {
        char section[16];
        std::snprintf(section, sizeof section, "%c%x", letter, i + 1);
        PowerRow& row = rows[i];
        if (IniSelectSection(section, ini)) {
            row.utilisation = ReadCount("utilisation", ini);
            row.potentio = ReadCount("potentio", ini);
            row.achatupgrade = ReadCount("achatupgrade", ini);
            row.state = 2;
        } else if (row.state == 0) {
            row.state = 1;
        }
    }
}

void ReadGamePlaySection(IniFile* ini) {
    GameplaySettingsRecord& g = GameplaySettings;
    g.TendrilsDamage = IniGetInt("TendrilsDamage", ini);
    g.DefaultShootFrequency = IniGetInt("DefaultShootFrequency", ini);
    g.PowerEraseTendrils = IniGetInt("PowerEraseTendrils", ini);
    g.TendrilsShootFrequency = IniGetInt("TendrilsShootFrequency", ini);
    g.TendrilsHealthMax = IniGetInt("TendrilsHealthMax", ini);
    g.PowerDeathGhost = IniGetInt("PowerDeathGhost", ini);
    g.DrainBaseTime = IniGetInt("DrainBaseTime", ini);
    // Every load adds the start energy again, a restored game's included.
    const int32_t start = IniGetInt("StartEnergy", ini);
    g.energyAccount = AddSaturated(g.energyAccount, start);
    ShowEnergyChange(start);
    g.BonusEnergy = IniGetInt("BonusEnergy", ini);
    g.RecupMonster = IniGetInt("RecupMonster", ini);
    if (g.RecupMonster == 0) g.RecupMonster = 100;
    g.RecupEntity = IniGetInt("RecupEntity", ini);
    if (g.RecupEntity == 0) g.RecupEntity = 100;
}

}  // namespace

void LoadGameplayIni(int mission) {
    SetResourcePath("");
    char path[32];
    std::snprintf(path, sizeof path, ".\\ms%d\\gameplay.ini", mission);
    GameplaySettingsRecord& g = GameplaySettings;
    g.roomChangeCounter = 25;
    g.BonusEnergy = 0;
    g.TendrilsDamage = g.DefaultShootFrequency = g.PowerEraseTendrils = g.TendrilsShootFrequency =
        g.TendrilsHealthMax = g.PowerDeathGhost = g.DrainBaseTime = 1;
    IniFile ini{};
    if (IniLoad(path, &ini) == 0) {
        if (!IniSelectSection("GamePlay", &ini)) {
            IniFree(&ini);
            FatalError("Invalid gameplay.ini");
        }
        ReadGamePlaySection(&ini);
        ReadPowerRows(&ini, 'w', PowerTables.w, kWeaponRows);
        // The seventh spell is never set from the file.
        ReadPowerRows(&ini, 'm', PowerTables.m, 6);
    }
    IniFree(&ini);
    if (g.energyAccount == 0) g.energyAccount = 500;
}
