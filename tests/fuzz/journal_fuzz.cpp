// Fuzz target: a journal save block read as a restored game reads it, over
// mission 22's records (rooms Hall and Crypt, the hero and the guard, the
// key) with the kit's menu texts.  A refused block leaves an empty journal;
// an accepted one holds at most 31 entries whose pointers are the
// mission's, whose sentences end within their buffer, and which write and
// read back to the same sentences and bytes.
#include "fuzz_support.h"
#include "game/characters.h"
#include "game/dqx_journal.h"
#include "game/dqx_load.h"
#include "game/player_settings.h"
#include "tests/memory_file.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/mission_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void OpenDemoMission() {
    static bool open = false;
    if (open) return;
    open = true;
    MemoryFile mpl{kit::MissionFile(kit::DemoMission22()), 0};
    ReadMissionFile(&mpl, "mission.mpl", 0);
    AllocCharacterTables();
    for (int32_t i = 0; i < MissionPtr->characterDefCount && i < kCharacterSlots; ++i)
        CharacterTable[i].def = &MissionPtr->characterDefs[i];
    const std::vector<std::string> texts = kit::DemoMenuTexts();
    for (size_t i = 0; i < texts.size() && i < size_t(kMenuTextSlots); ++i)
        std::snprintf(MenuTexts[i], kMenuTextBytes, "%s", texts[i].c_str());
    CurrentRoomIndex = 0;
}

std::vector<std::string> Sentences() {
    std::vector<std::string> out;
    for (int32_t i = 0; i < MissionJournal.count; ++i) {
        char text[160];
        std::memset(text, 0x55, sizeof text);
        Check(GetJournalEntryText(text, sizeof text, i) == 0);
        Check(std::memchr(text, 0, sizeof text) != nullptr);
        out.push_back(text);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    CurrentFileTable = &MemoryFileTable;
    OpenDemoMission();
    StartJournal(22);
    AddJournalEntry(kJournalDrain, nullptr, nullptr);
    MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
    const int answer = ReadJournal(&file);
    Check(MissionJournal.entries != nullptr);
    if (!answer) {
        Check(MissionJournal.count == 0);
    } else {
        Check(MissionJournal.count >= 0 && MissionJournal.count <= kJournalKept);
        for (int32_t i = 0; i < MissionJournal.count; ++i) {
            const JournalEntry& e = MissionJournal.entries[i];
            Check(e.room >= MissionPtr->rooms && e.room < MissionPtr->rooms + MissionPtr->roomCount);
            Check(!e.object || (e.object >= MissionPtr->objects && e.object < MissionPtr->objects + MissionPtr->objectCount));
            Check(!e.character || (e.character >= CharacterTable && e.character < CharacterTable + kCharacterSlots));
        }
        const std::vector<std::string> before = Sentences();
        MemoryFile written;
        Check(WriteJournal(&written) == 1 && written.bytes.size() == kJournalBlockBytes);
        written.at = 0;
        Check(ReadJournal(&written) == 1);
        Check(Sentences() == before);
        MemoryFile again;
        Check(WriteJournal(&again) == 1 && again.bytes == written.bytes);
    }
    CurrentFileTable = &PlainFileTable;
    return 0;
}
