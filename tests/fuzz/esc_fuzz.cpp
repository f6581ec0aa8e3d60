// Fuzz target: an ENEMIES.ESC image loaded as a mission opening loads it,
// through a file table whose one file holds the bytes.  A refused version
// takes the fatal road (no box can answer Retry here).  A script that is
// read holds terminated names, behaviours, groups, methods, sides and
// replacement codes within their ranges and weapon lists that match their
// counts; every character is found by its own name; released, the tables
// are empty.
#include "fuzz_support.h"
#include "ai/em_host.h"
#include "ai/em_records.h"
#include "ai/em_script.h"
#include "tests/memory_file.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

MemoryFile g_Script;

void CheckName(const char* name) {
    Check(strnlen(name, kEmNameSize) < size_t(kEmNameSize));
}

void CheckBlock(const EmCharacteristics& c) {
    Check(c.mainBehaviour >= 0 && c.mainBehaviour <= kEmMainBehaviours);
    Check(c.groupBehaviour >= 0 && c.groupBehaviour <= kEmGroupBehaviours);
    Check(c.moveMethod >= 0 && c.moveMethod <= kEmMoveMethods);
    Check(c.side == 0 || c.side == 1);
    Check(c.replacement >= 0 && c.replacement < kEmFirstModelCode + EmModelTable.count);
    CheckName(c.shotEffect);
    CheckName(c.shotPart);
    CheckName(c.aimName);
}

void CheckTables() {
    Check(EmCharacterTable.count >= 0 && EmCharacterTable.count <= 255);
    for (int32_t i = 0; i < EmCharacterTable.count; ++i) {
        EmCharacter& c = EmCharacterTable.items[i];
        CheckName(c.name);
        CheckBlock(c.characteristics);
        Check((c.weapons == nullptr) == (c.weaponCount == 0));
        Check(c.weaponCount >= 0 && c.weaponCount <= 255);
        for (int w = 0; w < c.weaponCount; ++w) {
            CheckName(c.weapons[w].name);
            Check(EM_FindWeaponName(c.weapons, c.weaponCount, c.weapons[w].name) <= w);
        }
        for (const auto& name : c.names) CheckName(name);
        EmCharacter* found = EM_FindCharacter(&EmCharacterTable, c.name);
        Check(found && found <= &c);
    }
    for (int32_t i = 0; i < EmModelTable.count; ++i) {
        CheckName(EmModelTable.items[i].name);
        CheckBlock(EmModelTable.items[i].characteristics);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    static FileTable table = MemoryFileTable;
    table.Open = [](const char* name, const char*) -> FileHandle {
        if (std::strcmp(name, "ENEMIES.ESC") != 0) return nullptr;
        g_Script.at = 0;
        return &g_Script;
    };
    g_Script.bytes.assign(data, data + size);
    CurrentFileTable = &table;
    try {
        if (EM_LoadStrategyScript(22) == 1) CheckTables();
    } catch (const FatalReturn&) {
        // The bad version box, cancelled: nothing was read.
        Check(EmCharacterTable.items == nullptr && EmModelTable.items == nullptr);
    }
    EM_FreeStrategyDatas(&EmCharacterTable);
    Check(EmCharacterTable.count == 0 && EmCharacterTable.items == nullptr);
    EMH_Free(EmModelTable.items);
    EmModelTable = {};
    CurrentFileTable = &PlainFileTable;
    std::remove("debug.txt");
    return 0;
}
