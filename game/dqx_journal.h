// The mission journal: what happened in the mission (an enemy met or
// killed, an object taken or put, a drain destroyed) as entries, the
// latest 31 kept, each shown as a translated sentence.
//
// In memory an entry keeps real pointers beside the indexes; the save-game
// block stores each entry as 20 bytes whose pointer words are written as 0:
// the indexes carry the meaning and the pointers are rebuilt from them.
//
// Entry in the save block (little-endian):
//   0   int32  kind 0..5
//   4   ptr    the room (written as 0)
//   8   ptr    the character (kind 0) or the object (kinds 1, 2, 4);
//              for kind 3 the room index as a byte
//   12  byte   the room index (kinds 0, 1, 4); for kind 5 bytes 12..15
//              are the character's pointer word
//   13  byte   the character index (kind 0)
//   14  byte   the object index (kinds 1, 4)
//   16  byte   the room index (kinds 2 and 5)
//   17  byte   the character index (kind 5)
//   18  byte   the object index (kind 2)
#pragma once

#include "game/characters.h"
#include "platform/resfile.h"

#include <cstddef>
#include <cstdint>

constexpr int kJournalEntries = 32;
constexpr int kJournalKept = 31;
constexpr int32_t kJournalKinds = 6;
constexpr size_t kJournalEntryBytes = 20;
// The save block: the count, then all 32 entries.
constexpr size_t kJournalBlockBytes = 4 + kJournalEntries * kJournalEntryBytes;

// Entry kinds.
constexpr int32_t kJournalMet = 0;         // an enemy met: room, character
constexpr int32_t kJournalTaken = 1;       // an object taken: room, object
constexpr int32_t kJournalTakenAway = 2;   // an object taken from the hero: room, object
constexpr int32_t kJournalDrain = 3;       // a drain destroyed: room
constexpr int32_t kJournalPut = 4;         // an object put: room, object
constexpr int32_t kJournalDefeated = 5;    // an enemy killed: room, character

struct JournalEntry {
    int32_t kind;               // 0..5
    RoomRecord* room;           // where it happened
    CharacterRecord* character; // kinds 0 and 5
    ObjectRecord* object;       // kinds 1, 2 and 4
    uint8_t roomIndex;
    uint8_t characterIndex;     // CharacterTable slot
    uint8_t objectIndex;
};

struct Journal {
    int32_t count;
    JournalEntry* entries;  // kJournalEntries, none while closed
};
extern Journal MissionJournal;

// Appends an entry for the current room, the oldest dropped when 31 are
// held.  Nothing is added for a kind outside 0..5, without a current room
// or a journal, or when the kind's character or object is not one of the
// mission's (it could not be saved).
void AddJournalEntry(int32_t kind, CharacterRecord* character, ObjectRecord* object);
// Formats entry n into out (at most `size` bytes with the NUL) from its
// kind's menu text with the translated names; -1 when n is not below the
// count, else 0.
int GetJournalEntryText(char* out, size_t size, int32_t n);
// An empty journal for the mission.
void StartJournal(int mission);
void CloseJournal();
// The save-game block (kJournalBlockBytes).  Write answers 1 when all of it
// went.  Read answers 1 with the saved entries in place; a short block, a
// count outside 0..31, a kind outside 0..5 or an index past the mission's
// rooms, characters or objects is refused with 0 and an empty journal.
int WriteJournal(FileHandle file);
int ReadJournal(FileHandle file);
// Whether ReadJournal would take the block in a mission of that many rooms,
// characters and objects (read before the mission is there to ask).
int CheckJournalBlock(const uint8_t* bytes, size_t size, int32_t rooms, int32_t characters, int32_t objects);
