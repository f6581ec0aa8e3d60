// The journal block of a save game: the entry count, then 32 entries of 20
// bytes, each the kind and the indexes of its room, character and object
// at the kind's own offsets (pointer words 0).
#pragma once

#include <cstdint>
#include <vector>

namespace kit {

struct JournalEntrySpec {
    int32_t kind;       // 0..5, or any value for a malformed block
    uint8_t room;       // room index
    uint8_t character;  // character slot (kinds 0 and 5)
    uint8_t object;     // object index (kinds 1, 2 and 4)
};

// The block of the entries, whatever their number (32 at most are
// written; the count says how many there are, or `count` when given).
std::vector<uint8_t> JournalBlock(const std::vector<JournalEntrySpec>& entries, int32_t count = -1);

// Seeds of the journal reader over mission 22 (rooms Hall and Crypt, the
// hero and the guard, the key): one entry of every kind, a full journal of
// 31, and blocks whose count or indexes are out of range.
struct JournalFixture {
    const char* name;
    std::vector<uint8_t> bytes;
};
std::vector<JournalFixture> JournalFixtures();

}  // namespace kit
