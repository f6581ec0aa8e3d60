// Fuzz target: the weapon table's save block read as a restored game reads
// it, over a mission whose table holds the blaster, a grenade and a
// barrier, through a file table over the bytes in memory.  A refused block
// leaves every record as it was.  A block that is read leaves records that
// are still loaded and not selected, armed 0 or 1, with a time left within
// the running time and a name ended within its field; written again and
// read back it gives the same records.
#include "fuzz_support.h"
#include "game/characters.h"
#include "game/dqx_weapons.h"
#include "platform/memory.h"
#include "tests/memory_file.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kSlots[] = {kWeaponBlaster, kWeaponGrenade0, kWeaponBarrier0};

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

WeaponRecord* NewRecord(int32_t runningTime, int32_t charges) {
    auto* r = static_cast<WeaponRecord*>(MemAlloc(uint32_t(sizeof(WeaponRecord))));
    *r = WeaponRecord{};
    std::strcpy(r->effect, "*");
    r->runningTime = r->timeLeft = runningTime;
    r->charges = r->chargesAtLoad = charges;
    r->lastUpdate = kWeaponNotStarted;
    r->effectInstance = -1;
    r->objectSlot = -1;
    r->flags = kWeaponLoaded;
    return r;
}

bool SameSaved(const WeaponRecord& a, const WeaponRecord& b) {
    // The tick of a started run is the clock's at the read.
    const bool startedA = a.lastUpdate != kWeaponNotStarted, startedB = b.lastUpdate != kWeaponNotStarted;
    return a.runningTime == b.runningTime && a.charges == b.charges && startedA == startedB &&
           a.timeLeft == b.timeLeft && a.chargesAtLoad == b.chargesAtLoad && a.flags == b.flags &&
           a.armed == b.armed && std::memcmp(a.objectName, b.objectName, sizeof a.objectName) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    CurrentFileTable = &MemoryFileTable;
    WeaponTable[kSlots[0]] = NewRecord(0, 12);
    WeaponTable[kSlots[1]] = NewRecord(3000, 1);
    WeaponTable[kSlots[2]] = NewRecord(10000, 1);
    WeaponRecord before[3];
    for (int i = 0; i < 3; ++i) before[i] = *WeaponTable[kSlots[i]];

    MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
    if (ReadWeapons(&file)) {
        std::vector<WeaponRecord> read;
        for (const WeaponRecord* r : WeaponTable) {
            if (!r) continue;
            Check(r->flags == kWeaponLoaded && (r->armed == 0 || r->armed == 1));
            Check(r->timeLeft >= 0 && r->timeLeft <= r->runningTime && r->charges >= -1);
            Check(std::memchr(r->objectName, 0, sizeof r->objectName) != nullptr);
            read.push_back(*r);
        }
        MemoryFile written{};
        Check(WriteWeapons(&written) == 1);
        written.at = 0;
        Check(ReadWeapons(&written) == 1);
        size_t n = 0;
        for (const WeaponRecord* r : WeaponTable)
            if (r) Check(n < read.size() && SameSaved(*r, read[n++]));
        Check(n == read.size());
    } else {
        for (int i = 0; i < 3; ++i)
            Check(WeaponTable[kSlots[i]] && std::memcmp(WeaponTable[kSlots[i]], &before[i], sizeof before[i]) == 0);
    }
    FreeWeapons(0);
    CurrentFileTable = &PlainFileTable;
    return 0;
}
