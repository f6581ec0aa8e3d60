// Fuzz target: a mission's gameplay.ini read as the mission opening reads
// it, over the built-in power rows.  A file without [GamePlay] ends on the
// fatal road; any other leaves the energy account non-zero, the seventh
// spell untouched, every row marked (or none, when the file could not be
// read at all), and the two derived divisors usable.  Every mission opening
// and every restore reads the file again over what the last read left: a
// second read of the same file leaves the settings and tables as the first,
// but for the energy account, which gains the file's start energy once
// more (the first read gave it that energy, or 500 for none).
#include "fuzz_support.h"
#include "game/gameplay.h"
#include "platform/errors.h"
#include "platform/resfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    fuzz::WriteInput("ms7/gameplay.ini", data, size);
    CurrentFileTable = &PlainFileTable;
    PowerTables = BuiltInPowerTables;
    GameplaySettings = {};
    try {
        LoadGameplayIni(7);
    } catch (const FatalReturn&) {
        Check(std::strcmp(FatalText, "Invalid gameplay.ini") == 0);
        return 0;
    }
    const GameplaySettingsRecord& g = GameplaySettings;
    Check(g.energyAccount != 0 && g.roomChangeCounter == 25);
    Check(PowerTables.m[6] == BuiltInPowerTables.m[6]);
    const bool read = PowerTables.w[0].state != 0;
    for (int i = 0; i < kWeaponRows; ++i) Check(read ? PowerTables.w[i].state >= 1 : PowerTables.w[i].state == 0);
    for (int i = 0; i < 6; ++i) Check(read ? PowerTables.m[i].state >= 1 : PowerTables.m[i].state == 0);
    if (read) Check(g.RecupMonster != 0 && g.RecupEntity != 0);
    // What the later users divide by: a shot period, a draw range.
    Check(ShootPeriodMs(g.DefaultShootFrequency) >= 0);
    const int32_t range = TendrilShotRange();
    Check(range >= 70);
    const GameplaySettingsRecord settings = GameplaySettings;
    const PowerTablesRecord tables = PowerTables;
    LoadGameplayIni(7);
    const int64_t account = GameplaySettings.energyAccount;
    Check(account == settings.energyAccount ||
          account == std::clamp<int64_t>(2 * int64_t(settings.energyAccount), INT32_MIN, INT32_MAX));
    GameplaySettings.energyAccount = settings.energyAccount;
    Check(std::memcmp(&settings, &GameplaySettings, sizeof settings) == 0);
    Check(std::memcmp(&tables, &PowerTables, sizeof tables) == 0);
    return 0;
}
