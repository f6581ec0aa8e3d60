// Fuzz target: player.ini read as the program reads it at start.  Whatever
// the file holds, the settings stay in range (volumes 0..63, shortcuts only
// under the numbers 1..10 and only to power rows, row numbers 0..10), and
// writing them and reading them back gives the same file again.
#include "fuzz_support.h"
#include "game/gameplay.h"
#include "game/player_settings.h"
#include "platform/resfile.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Slurp(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckRanges() {
    for (int32_t v : {MusicVolume, SoundVolume, VoiceVol}) Check(v >= 0 && v <= 63);
    for (int32_t v : {SubTitles, FastScroll, EntityPoints}) Check(v == 0 || v == 1);
    for (int i = 0; i < kShortcutSlots; ++i) {
        const bool number = i >= kFirstShortcut && i <= kLastShortcut;
        Check(ShortcutTable[i] == 0 || (number && ShortcutCode(ShortcutTable[i]) >= 0));
    }
    for (const PowerRow& row : DefaultPowerTables.m) Check(row.shortcut >= 0 && row.shortcut <= kLastShortcut);
    for (const PowerRow& row : DefaultPowerTables.w) Check(row.shortcut >= 0 && row.shortcut <= kLastShortcut);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    fuzz::WriteInput("player.ini", data, size);
    LoadPlayerSettings();
    CheckRanges();
    CopyDefaultPowerTables();
    SavePlayerSettings();
    const std::string first = Slurp("player.ini");
    LoadPlayerSettings();
    CheckRanges();
    CopyDefaultPowerTables();
    SavePlayerSettings();
    Check(Slurp("player.ini") == first);
    CurrentFileTable = &PlainFileTable;
    return 0;
}
