// Translations of the mission's names.
#include "game/dqx_translations.h"

#include "game/dqx_allies.h"
#include "game/mission_records.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/utils.h"

#include <cstdio>
#include <cstring>

const char** TranslationNames = nullptr;
char** TranslationLines = nullptr;
int32_t TranslationCount = 0;

namespace {

// Translation files are read whole line by line up to this length, then
// cut: a long line never spills into the next name's place.
constexpr int kLongestLine = 1024;
constexpr const char* kKitFile = "e_string.txt";

// The mission's names in translation order into `list` (room for
// `capacity` entries); answers how many places the names take.
int32_t ListNames(const char** list, int32_t capacity, int restoring) {
    const MissionRecord& m = *MissionPtr;
    int32_t n = 0;
    auto put = [&](const char* name) {
        if (n < capacity) list[n] = name;
        ++n;
    };
    for (int32_t i = 0; m.rooms && i < m.roomCount; ++i) put(m.rooms[i].name);
    const int32_t defs = m.characterDefs ? m.characterDefCount : 0;
    for (int32_t i = 0; i < defs; ++i) put(m.characterDefs[i].name);
    // A restored mission may carry the two allies' definitions after its
    // own (they were appended when it started, unless its definitions were
    // full): the objects then take the allies' places, so that each name
    // keeps the line it has in a fresh mission.
    if (restoring && m.alliesAppended) n -= defs < kAllyCount ? defs : kAllyCount;
    for (int32_t i = 0; m.objects && i < m.objectCount; ++i) put(m.objects[i].name);
    for (int32_t i = n; i < capacity; ++i) list[i] = nullptr;
    return n;
}

int32_t MissionNameCount() {
    const MissionRecord& m = *MissionPtr;
    int64_t n = int64_t(m.rooms ? m.roomCount : 0) + (m.characterDefs ? m.characterDefCount : 0) +
                (m.objects ? m.objectCount : 0);
    return n < 0 ? 0 : int32_t(n);
}

char* NewLine() {
    return static_cast<char*>(MemAlloc(kTranslationBytes));
}

void CopyLine(char* to, const char* text) {
    std::snprintf(to, kTranslationBytes, "%s", text ? text : "");
}

// The place of the name, else the first free one; -1 when none.
int32_t PlaceFor(const char* name) {
    if (!TranslationNames || !TranslationLines || !name) return -1;
    for (int32_t i = 0; i < TranslationCount; ++i)
        if (TranslationNames[i] == name) return i;
    for (int32_t i = 0; i < TranslationCount; ++i)
        if (!TranslationNames[i]) return i;
    return -1;
}

}  // namespace

void FreeTranslations() {
    if (TranslationLines) {
        for (int32_t i = 0; i < TranslationCount; ++i)
            if (TranslationLines[i]) MemFree(TranslationLines[i]);
        MemFree(TranslationLines);
    }
    if (TranslationNames) MemFree(TranslationNames);
    TranslationLines = nullptr;
    TranslationNames = nullptr;
    TranslationCount = 0;
}

void CollectNames(int restoring) {
    // Both lists are made anew with the one capacity.
    FreeTranslations();
    if (!MissionPtr) return;
    const int64_t count = int64_t(MissionNameCount()) + kTranslationSpare;
    // One more entry each for the null that ends the list.
    if (count > INT32_MAX - 1 || !MemArrayBytes(count + 1, sizeof(char*))) return;
    TranslationCount = int32_t(count);
    TranslationNames = static_cast<const char**>(MemAllocArray(count + 1, sizeof(char*)));
    TranslationLines = static_cast<char**>(MemAllocArray(count + 1, sizeof(char*)));
    ListNames(TranslationNames, TranslationCount, restoring);
    TranslationNames[TranslationCount] = nullptr;
    TranslationLines[TranslationCount] = nullptr;
}

void LoadTranslations(int mission, int restoring) {
    LogStep("LoadTranslations", mission);
    FreeTranslations();
    CurrentResArchive = VoiceResArchive;
    SetResourcePath("");
    char name[32];
    std::snprintf(name, sizeof name, ".\\ms%d\\%c_string.txt", mission, LanguageLetter);
    FileHandle file = MissionPtr ? CurrentFileTable->Open(name, "rb") : nullptr;
    if (!file) {
        DebugLog("%s translation kit was not found ...", name);
        CurrentResArchive = MainResArchive;
        return;
    }
    CollectNames(restoring);
    StringList lines = LoadTextLines(file, TranslationCount, kLongestLine);
    CurrentFileTable->Close(file);
    for (int32_t i = 0; lines && lines[i] && i < TranslationCount; ++i) {
        TranslationLines[i] = NewLine();
        CopyLine(TranslationLines[i], lines[i]);
    }
    FreeStringList(lines);
    CurrentResArchive = MainResArchive;
}

const char* TranslateName(const char* name) {
    if (!name || !name[0]) return "#";
    if (!TranslationNames || !TranslationLines) return name;
    for (int32_t i = 0; i < TranslationCount; ++i) {
        if (TranslationNames[i] != name) continue;
        const char* line = TranslationLines[i];
        return line && line[0] ? line : name;
    }
    return name;
}

char* AddTranslationSlot(const char* name) {
    const int32_t place = PlaceFor(name);
    if (place < 0) return nullptr;
    TranslationNames[place] = name;
    if (!TranslationLines[place]) TranslationLines[place] = NewLine();
    TranslationLines[place][0] = 0;
    return TranslationLines[place];
}

int BindTranslation(const char* name, const char* text) {
    char* line = AddTranslationSlot(name);
    if (!line) return 0;
    CopyLine(line, text);
    return 1;
}

void DumpTranslations() {
    if (!TranslationNames || !TranslationLines) return;
    for (int32_t i = 0; i < TranslationCount; ++i)
        if (TranslationNames[i] && TranslationLines[i])
            DebugLog("%d:%s = %s", int(i), TranslationNames[i], TranslationLines[i]);
}

int WriteTranslationKit() {
    if (!MissionPtr || FileExists(kKitFile)) return 0;
    // The running game's lists stay as they are: the kit lists the names
    // in a list of its own.
    const int32_t capacity = MissionNameCount();
    const char** names = static_cast<const char**>(MemAllocArray(int64_t(capacity) + 1, sizeof(char*)));
    if (!names) return 0;
    ListNames(names, capacity, 0);
    FileHandle file = PlainFileTable.Open(kKitFile, "wb");
    if (!file) {
        MemFree(names);
        FatalError("can't open %s for write", kKitFile);
    }
    for (int32_t i = 0; i < capacity; ++i) {
        if (!names[i]) continue;
        PlainFileTable.Write(names[i], 1, uint32_t(std::strlen(names[i])), file);
        PlainFileTable.Write("\r\n", 1, 2, file);
    }
    PlainFileTable.Close(file);
    MemFree(names);
    return 1;
}
