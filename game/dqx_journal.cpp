// The mission journal.
#include "game/dqx_journal.h"

#include "game/dqx_targets.h"
#include "game/dqx_translations.h"
#include "game/player_settings.h"
#include "media/byte_reader.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <cstdio>
#include <cstring>
#include <string>

Journal MissionJournal{};

namespace {

// Where each kind keeps its indexes in the 20-byte entry (-1: not stored),
// and the menu text of its sentence with the arguments it takes: the
// room's name, then the object's or the character's.  The room index of
// kind 5 sits at 16, a byte no field of that kind uses: without it the
// room of a saved kill could not be rebuilt.
struct KindLayout {
    int roomAt, characterAt, objectAt;
    int textSlot;
    bool namesCharacter;  // the sentence's second name is the character's
};

constexpr KindLayout kKinds[kJournalKinds] = {
    {12, 13, -1, 106, false},  // met
    {12, -1, 14, 107, false},  // taken
    {16, -1, 18, 109, false},  // taken away
    {8, -1, -1, 110, false},   // drain
    {12, -1, 14, 108, false},  // put
    {16, 17, -1, 111, true},   // defeated
};

bool KnownKind(int32_t kind) {
    return kind >= 0 && kind < kJournalKinds;
}

int32_t RoomCount() {
    return MissionPtr && MissionPtr->rooms ? MissionPtr->roomCount : 0;
}

int32_t ObjectCount() {
    return MissionPtr && MissionPtr->objects ? MissionPtr->objectCount : 0;
}

// The index of a record in its array when it is one of the first `count`
// and fits the entry's byte; -1 otherwise.
template <class T>
int IndexIn(const T* record, const T* array, int32_t count) {
    if (!record || !array || record < array || record >= array + count) return -1;
    const ptrdiff_t i = record - array;
    return i <= 0xFF ? int(i) : -1;
}

// Fills an entry's pointers from its indexes; false when one is past the
// mission's arrays.
bool Rebuild(JournalEntry* e) {
    const KindLayout& k = kKinds[e->kind];
    if (e->roomIndex >= RoomCount()) return false;
    e->room = &MissionPtr->rooms[e->roomIndex];
    e->character = nullptr;
    e->object = nullptr;
    if (k.characterAt >= 0) {
        if (e->characterIndex >= MissionCharacterCount()) return false;
        e->character = &CharacterTable[e->characterIndex];
    }
    if (k.objectAt >= 0) {
        if (e->objectIndex >= ObjectCount()) return false;
        e->object = &MissionPtr->objects[e->objectIndex];
    }
    return true;
}

void Put32(uint8_t* at, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

// An entry's 20 bytes: the kind and its indexes; every pointer word 0.
void EncodeEntry(const JournalEntry& e, uint8_t* out) {
    std::memset(out, 0, kJournalEntryBytes);
    Put32(out, e.kind);
    if (!KnownKind(e.kind)) return;
    const KindLayout& k = kKinds[e.kind];
    out[k.roomAt] = e.roomIndex;
    if (k.characterAt >= 0) out[k.characterAt] = e.characterIndex;
    if (k.objectAt >= 0) out[k.objectAt] = e.objectIndex;
}

// An entry from its 20 bytes; false for a kind outside 0..5.
bool DecodeEntry(ByteReader& r, JournalEntry* e) {
    uint8_t bytes[kJournalEntryBytes];
    for (uint8_t& b : bytes) b = r.U8();
    *e = JournalEntry{};
    e->kind = static_cast<int32_t>(uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                                   uint32_t(bytes[3]) << 24);
    if (r.Failed() || !KnownKind(e->kind)) return false;
    const KindLayout& k = kKinds[e->kind];
    e->roomIndex = bytes[k.roomAt];
    if (k.characterAt >= 0) e->characterIndex = bytes[k.characterAt];
    if (k.objectAt >= 0) e->objectIndex = bytes[k.objectAt];
    return true;
}

// A name as the sentence shows it, cut to a translated line's length.
void ShownName(char* out, size_t size, const char* stored) {
    std::snprintf(out, size, "%.*s", int(kTranslationBytes - 1), TranslateName(stored));
}

}  // namespace

void AddJournalEntry(int32_t kind, CharacterRecord* character, ObjectRecord* object) {
    RecordGameCall("AddJournalEntry", character, kind);
    Journal& j = MissionJournal;
    if (!j.entries || !KnownKind(kind) || !MissionPtr) return;
    const KindLayout& k = kKinds[kind];
    JournalEntry e{};
    e.kind = kind;
    const int room = CurrentRoomIndex < RoomCount() ? int(CurrentRoomIndex) : -1;
    const int slot = k.characterAt >= 0 ? IndexIn<CharacterRecord>(character, CharacterTable, MissionCharacterCount()) : 0;
    const int item = k.objectAt >= 0 ? IndexIn<ObjectRecord>(object, MissionPtr->objects, ObjectCount()) : 0;
    if (room < 0 || slot < 0 || item < 0) {
        DebugLog("journal: entry of kind %d refused (no room, character or object of the mission)", int(kind));
        return;
    }
    e.roomIndex = uint8_t(room);
    e.characterIndex = uint8_t(slot);
    e.objectIndex = uint8_t(item);
    Rebuild(&e);
    if (j.count >= kJournalKept) {
        std::memmove(j.entries, j.entries + 1, sizeof(JournalEntry) * (kJournalKept - 1));
        j.entries[kJournalKept - 1] = e;
        j.count = kJournalKept;
    } else {
        j.entries[j.count++] = e;
    }
    LogStep(("JournalEntry " + std::to_string(kind)).c_str(), j.count);
}

int GetJournalEntryText(char* out, size_t size, int32_t n) {
    if (out && size) out[0] = 0;
    const Journal& j = MissionJournal;
    if (!j.entries || n < 0 || n >= j.count) return -1;
    if (!out || !size) return 0;
    const JournalEntry& e = j.entries[n];
    if (!KnownKind(e.kind)) return 0;
    const KindLayout& k = kKinds[e.kind];
    const bool twoNames = k.objectAt >= 0 || k.namesCharacter;
    char room[kTranslationBytes], second[kTranslationBytes] = "";
    ShownName(room, sizeof room, e.room ? e.room->name : nullptr);
    if (k.objectAt >= 0) ShownName(second, sizeof second, e.object ? e.object->name : nullptr);
    if (k.namesCharacter)
        ShownName(second, sizeof second, e.character && e.character->def ? e.character->def->name : nullptr);
    // The menu texts are data: a line whose conversions do not take the
    // names is cut before the first one that does not.
    char format[kMenuTextBytes];
    std::snprintf(format, sizeof format, "%s", MenuTexts[k.textSlot]);
    int bad = 0;
    if (!FormatTakes(format, twoNames ? "ss" : "s", &bad)) format[bad] = 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(out, size, format, room, second);
#pragma GCC diagnostic pop
    return 0;
}

void StartJournal(int mission) {
    LogStep("StartJournal", mission);
    Journal& j = MissionJournal;
    if (!j.entries) j.entries = static_cast<JournalEntry*>(MemAlloc(uint32_t(sizeof(JournalEntry) * kJournalEntries)));
    std::memset(static_cast<void*>(j.entries), 0, sizeof(JournalEntry) * kJournalEntries);
    j.count = 0;
}

void CloseJournal() {
    LogStep("CloseJournal");
    if (MissionJournal.entries) MemFree(MissionJournal.entries);
    MissionJournal = Journal{};
}

int WriteJournal(FileHandle file) {
    if (!file) return 0;
    const Journal& j = MissionJournal;
    uint8_t block[kJournalBlockBytes] = {};
    const int32_t count = j.entries && j.count > 0 ? j.count : 0;
    Put32(block, count);
    for (int32_t i = 0; i < count; ++i) EncodeEntry(j.entries[i], block + 4 + size_t(i) * kJournalEntryBytes);
    // One item of the whole size: every table answers 1 when all of it went.
    return CurrentFileTable->Write(block, sizeof block, 1, file) == 1 ? 1 : 0;
}

int CheckJournalBlock(const uint8_t* bytes, size_t size, int32_t rooms, int32_t characters, int32_t objects) {
    if (!bytes || size != kJournalBlockBytes) return 0;
    ByteReader r(bytes, size);
    const int32_t count = r.I32();
    if (count < 0 || count > kJournalKept) return 0;
    for (int32_t i = 0; i < count; ++i) {
        JournalEntry e;
        if (!DecodeEntry(r, &e)) return 0;
        const KindLayout& k = kKinds[e.kind];
        if (e.roomIndex >= rooms) return 0;
        if (k.characterAt >= 0 && e.characterIndex >= characters) return 0;
        if (k.objectAt >= 0 && e.objectIndex >= objects) return 0;
    }
    return 1;
}

int ReadJournal(FileHandle file) {
    StartJournal(MissionNumber);
    uint8_t block[kJournalBlockBytes];
    const size_t got = file ? FileReadBytes(CurrentFileTable, file, block, sizeof block) : 0;
    ByteReader r(block, got);
    const int32_t count = r.I32();
    if (r.Failed() || got != sizeof block || count < 0 || count > kJournalKept || !MissionPtr) {
        DebugLog("journal: block refused (%zu bytes, count %d)", got, int(count));
        return 0;
    }
    JournalEntry read[kJournalKept];
    for (int32_t i = 0; i < count; ++i) {
        if (!DecodeEntry(r, &read[i]) || !Rebuild(&read[i])) {
            DebugLog("journal: entry %d refused", int(i));
            return 0;
        }
    }
    // The entries past the count carry nothing.
    std::memcpy(static_cast<void*>(MissionJournal.entries), read, sizeof(JournalEntry) * size_t(count));
    MissionJournal.count = count;
    return 1;
}
