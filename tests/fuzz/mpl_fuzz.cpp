// Fuzz target: a mission.mpl image read into the mission records through a
// file table over the bytes in memory, once as a fresh mission and once as
// a save game's records; a refused file takes the fatal road as the game
// would.  What was read is then added to, encoded and freed.
#include "fuzz_support.h"
#include "game/dqx_load.h"
#include "game/dqx_mpl.h"
#include "tests/memory_file.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    CurrentFileTable = &MemoryFileTable;
    for (int restoring = 0; restoring <= 1; ++restoring) {
        MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
        try {
            ReadMissionFile(&file, "mission.mpl", restoring);
            AddCharacterDef();
            std::vector<uint8_t> bytes;
            EncodeMissionRecords(MissionPtr, &bytes);
            if (bytes.size() < kMissionRecordBytes) __builtin_trap();
        } catch (const FatalReturn&) {
            // A refused file: the fatal road, as the program would take it.
            if (MissionPtr) __builtin_trap();  // a refused read leaves nothing behind
        }
        FreeMissionRecords();
    }
    CurrentFileTable = &PlainFileTable;
    return 0;
}
