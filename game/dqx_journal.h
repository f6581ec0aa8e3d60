// The mission journal: what happened in the mission (an enemy met or
// killed, an object taken or put, a drain destroyed) as 20-byte entries,
// the latest 31 kept.
#pragma once

#include "game/characters.h"
#include "platform/resfile.h"

#include <cstdint>

constexpr int kJournalEntries = 32;
constexpr int kJournalKept = 31;

struct JournalEntry {
    int32_t kind;               // 0..5
    RoomRecord* room;           // where it happened
    CharacterRecord* character; // kinds 0 and 5
    ObjectRecord* object;       // kinds 1, 2 and 4
    uint8_t roomIndex;
    uint8_t characterIndex;
    uint8_t objectIndex;
};

struct Journal {
    int32_t count;
    JournalEntry* entries;  // kJournalEntries, none while closed
};
extern Journal MissionJournal;

// Appends an entry for the current room (the oldest dropped at 31).
void AddJournalEntry(int32_t kind, CharacterRecord* character, ObjectRecord* object);
// Formats entry n into out (at most `size` bytes with the NUL); -1 when n
// is not below the count, else 0.
int GetJournalEntryText(char* out, size_t size, int32_t n);
// An empty journal for the mission.
void StartJournal(int mission);
void CloseJournal();
// The save-game block: the count, then the 32 entries of 20 bytes.
int WriteJournal(FileHandle file);
int ReadJournal(FileHandle file);
