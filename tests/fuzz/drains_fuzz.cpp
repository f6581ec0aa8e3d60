// Fuzz target: a drain table save block read as a restored game reads it,
// for a mission of three rooms, through a file table over the bytes in
// memory.  A block that is read holds only states 0..2, owners that are
// the hero or none, and times left within the longest fill; written again
// and read back it gives the same records.  A refused block leaves the
// table as it was.
#include "fuzz_support.h"
#include "game/characters.h"
#include "game/dqx_drains.h"
#include "game/mission_records.h"
#include "tests/memory_file.h"

#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Same(const DrainRecord& a, const DrainRecord& b) {
    return a.energy == b.energy && a.baseTime == b.baseTime && a.state == b.state && a.position.x == b.position.x &&
           a.position.y == b.position.y && a.position.z == b.position.z && a.owner == b.owner;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    static RoomRecord rooms[3] = {};
    static MissionRecord mission = {};
    static CharacterRecord characters[kCharacterSlots] = {};
    mission.roomCount = 3;
    mission.rooms = rooms;
    MissionPtr = &mission;
    CharacterTable = characters;
    CurrentFileTable = &MemoryFileTable;

    MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
    DrainRecord* before = DrainTable.records;
    if (ReadDrains(&file)) {
        Check(DrainTable.records && DrainTable.roomCount == 3);
        std::vector<DrainRecord> read(DrainTable.records, DrainTable.records + 3);
        for (const DrainRecord& d : read) {
            Check(d.state >= kDrainNone && d.state <= kDrainFilling);
            Check(d.owner == nullptr || d.owner == &characters[0]);
        }
        MemoryFile written{};
        Check(WriteDrains(&written) == 1);
        Check(written.bytes.size() == 4 + 3 * kDrainRecordBytes);
        written.at = 0;
        Check(ReadDrains(&written) == 1);
        for (int i = 0; i < 3; ++i) Check(Same(read[size_t(i)], DrainTable.records[i]));
    } else {
        Check(DrainTable.records == before);
    }
    FreeDrains();
    MissionPtr = nullptr;
    CharacterTable = nullptr;
    CurrentFileTable = &PlainFileTable;
    return 0;
}
