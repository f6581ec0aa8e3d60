// Fuzz target: the summoned allies' save block read as a restored game
// reads it, for a mission of a hero and a guard whose allies were created,
// through a file table over the bytes in memory.  A block that is read
// leaves each ally created exactly when it has its records, called only
// with a record and then on the hero's side (kind 2) in the hero's room;
// written again and read back it gives the same slots.  A refused block
// leaves the slots as they were.
#include "fuzz_support.h"
#include "game/characters.h"
#include "game/dqx_allies.h"
#include "game/mission_records.h"
#include "tests/memory_file.h"

#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Same(const AllySlot& a, const AllySlot& b) {
    return a.record == b.record && a.definition == b.definition && a.flags == b.flags && a.ticksLeft == b.ticksLeft;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    static RoomRecord rooms[2] = {};
    static CharacterDef defs[2 + 8] = {};
    static MissionRecord mission = {};
    static CharacterRecord characters[kCharacterSlots] = {};
    for (CharacterDef& d : defs) d = CharacterDef{};
    for (CharacterRecord& c : characters) c = CharacterRecord{};
    mission = MissionRecord{};
    mission.roomCount = 2;
    mission.rooms = rooms;
    mission.characterDefs = defs;
    mission.characterDefCount = 2;
    mission.characterDefCapacity = 10;
    defs[0].room = 1;
    characters[0].def = &defs[0];
    characters[0].position = {100, 1218, -300};
    MissionPtr = &mission;
    CharacterTable = characters;
    CurrentFileTable = &MemoryFileTable;
    CreateSummonedAllies();

    AllySlot before[kAllyCount];
    std::memcpy(before, AllySlots, sizeof before);
    MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
    if (ReadAllies(&file)) {
        for (const AllySlot& s : AllySlots) {
            Check((s.flags & ~(kAllyCreated | kAllyCalled)) == 0);
            Check(((s.flags & kAllyCreated) != 0) == (s.record != nullptr));
            if (s.flags & kAllyCalled) {
                Check(s.record && s.record->kind == 2);
                Check(s.definition->room == 1 && s.definition->active == 1);
                Check(s.record->position.x == 100 && s.record->position.z == -300);
            }
        }
        AllySlot read[kAllyCount];
        std::memcpy(read, AllySlots, sizeof read);
        MemoryFile written{};
        Check(WriteAllies(&written) == 1);
        Check(written.bytes.size() == kAllyBlockBytes);
        written.at = 0;
        Check(ReadAllies(&written) == 1);
        for (int i = 0; i < kAllyCount; ++i) Check(Same(read[i], AllySlots[i]));
    } else {
        Check(size < kAllyBlockBytes);
        for (int i = 0; i < kAllyCount; ++i) Check(Same(before[i], AllySlots[i]));
    }
    MissionPtr = nullptr;
    CharacterTable = nullptr;
    CurrentFileTable = &PlainFileTable;
    return 0;
}
