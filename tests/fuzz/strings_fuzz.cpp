// Fuzz target: a mission's translation file read as the mission opening
// reads it, over a mission of three rooms, three definitions and two
// objects named alike, once fresh, once restoring a save whose records close
// with the two allies' definitions and once restoring one without them
// (the definitions were full).  Whatever the file
// holds, every name shows as a text of fewer than 64 characters (or as
// stored), names the file cannot reach stay untranslated, the spare places
// take exactly their number of run-time names, and the lists free cleanly.
#include "fuzz_support.h"
#include "game/dqx_translations.h"
#include "game/mission_records.h"
#include "platform/resfile.h"
#include "platform/settings.h"

#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

template <class Record, size_t N>
void Name(Record& r, char (Record::*field)[N], const char* text) {
    std::strncpy(r.*field, text, N - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    LanguageLetter = 'f';
    fuzz::WriteInput("ms22/f_string.txt", data, size);
    CurrentFileTable = &PlainFileTable;
    static RoomRecord rooms[3];
    static CharacterDef defs[3];
    static ObjectRecord objects[2];
    Name(rooms[0], &RoomRecord::name, "Hall");
    Name(rooms[1], &RoomRecord::name, "Crypt");
    Name(rooms[2], &RoomRecord::name, "");
    Name(defs[0], &CharacterDef::name, "hero");
    Name(defs[1], &CharacterDef::name, "guard");
    Name(defs[2], &CharacterDef::name, "callentity");
    Name(objects[0], &ObjectRecord::name, "key");
    Name(objects[1], &ObjectRecord::name, "key");
    MissionRecord mission{};
    mission.roomCount = 3;
    mission.rooms = rooms;
    mission.characterDefCount = 3;
    mission.characterDefs = defs;
    mission.objectCount = 2;
    mission.objects = objects;
    MissionPtr = &mission;
    struct Pass {
        int restoring;
        uint8_t alliesAppended;
    };
    for (const Pass pass : {Pass{0, 0}, Pass{1, 1}, Pass{1, 0}}) {
        mission.alliesAppended = pass.alliesAppended;
        LoadTranslations(22, pass.restoring);
        const char* names[] = {rooms[0].name, rooms[1].name, rooms[2].name, defs[0].name,
                               defs[1].name,  defs[2].name,  objects[0].name, objects[1].name};
        for (const char* name : names) {
            const char* shown = TranslateName(name);
            Check(shown == name || std::strlen(shown) < size_t(kTranslationBytes));
        }
        Check(std::strcmp(TranslateName(rooms[2].name), "#") == 0);
        if (TranslationCount == 0) {
            // No list: nothing can be bound.
            Check(AddTranslationSlot(objects[0].name) == nullptr);
        } else {
            Check(TranslationCount == 8 + kTranslationSpare);
            // Run-time names, each at an address of its own.
            // Restoring with the allies appended, the objects took the
            // places of the last two definitions: two more places are free.
            static char extra[kTranslationSpare + 3][8];
            int bound = 0;
            for (auto& name : extra) {
                std::strcpy(name, "x");
                bound += BindTranslation(name, "run-time name");
            }
            Check(bound == kTranslationSpare + (pass.restoring && pass.alliesAppended ? 2 : 0));
            Check(std::strcmp(TranslateName(extra[0]), "run-time name") == 0);
        }
    }
    FreeTranslations();
    Check(TranslationCount == 0 && TranslationNames == nullptr);
    MissionPtr = nullptr;
    return 0;
}
