// Fuzz target: a mission.mpl image read into the mission records through a
// file table over the bytes in memory, once as a fresh mission and once as
// a save game's records; a refused file takes the fatal road as the game
// would.  What was read is then added to, encoded and freed.  A file the
// reader takes is then the mission the game opens: written as mission 22's
// mission.mpl in the kit's game folder, the mission opened and started, a
// half a second of frames played and the mission ended.  The records the world
// then held keep their values within the reader's bounds.
#include "world_support.h"
#include "game/dqx_mpl.h"
#include "tests/memory_file.h"

#include <cstdlib>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Within(const Vec3& v, int32_t limit) {
    return v.x >= -limit && v.x <= limit && v.y >= -limit && v.y <= limit && v.z >= -limit && v.z <= limit;
}

// The records' values as read: every place within the world's bound, every
// amount within its own, every frame within an animation's.
void CheckBounds(const MissionRecord& m) {
    for (int32_t r = 0; r < m.roomCount; ++r) {
        Check(Within(m.rooms[r].position, kMplWorldLimit));
        for (int32_t p = 0; p < m.rooms[r].pointCount; ++p)
            Check(Within(m.rooms[r].points[p].position, kMplWorldLimit));
    }
    for (int32_t i = 0; i < m.objectCount; ++i) Check(Within(m.objects[i].position, kMplWorldLimit));
    for (int32_t i = 0; i < m.characterDefCount; ++i) {
        const CharacterDef& d = m.characterDefs[i];
        Check(Within(d.position, kMplWorldLimit));
        Check(d.life >= -kMplAmountLimit && d.life <= kMplAmountLimit);
        Check(d.energy >= -kMplAmountLimit && d.energy <= kMplAmountLimit);
        for (const CharacterAnimEntry& e : d.anims) Check(e.first >= 0 && e.last <= kMplLastFrame);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareWorld();
    bool accepted = false;
    for (int restoring = 0; restoring <= 1; ++restoring) {
        CurrentFileTable = &MemoryFileTable;
        MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
        try {
            ReadMissionFile(&file, "mission.mpl", restoring);
            CheckBounds(*MissionPtr);
            AddCharacterDef();
            std::vector<uint8_t> bytes;
            EncodeMissionRecords(MissionPtr, &bytes);
            if (bytes.size() < kMissionRecordBytes) __builtin_trap();
            if (!restoring) accepted = true;
        } catch (const FatalReturn&) {
            // A refused file: the fatal road, as the program would take it.
            if (MissionPtr) __builtin_trap();  // a refused read leaves nothing behind
        }
        FreeMissionRecords();
    }
    CurrentFileTable = &ResourceFileTable;
    if (!accepted) return 0;
    fuzz::PutGameFile(".\\ms22\\mission.mpl", std::vector<uint8_t>(data, data + size));
    // The open may refuse the records (a model or collision file the
    // folder lacks): the game's fatal road, after which the world closes.
    if (fuzz::OpenWorld(22).empty()) {
        Check(MissionPtr != nullptr);
        fuzz::PlayWorld(15);
    }
    fuzz::CloseWorld();
    return 0;
}
