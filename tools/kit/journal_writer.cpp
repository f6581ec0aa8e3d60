#include "tools/kit/journal_writer.h"

#include "tools/kit/byte_writer.h"

namespace kit {

namespace {

constexpr int kEntries = 32;
constexpr int kEntryBytes = 20;

// Offsets of the room, character and object indexes by kind (-1: none).
struct Offsets {
    int room, character, object;
};
constexpr Offsets kOffsets[6] = {
    {12, 13, -1}, {12, -1, 14}, {16, -1, 18}, {8, -1, -1}, {12, -1, 14}, {16, 17, -1},
};

void Entry(ByteWriter& w, const JournalEntrySpec& e) {
    uint8_t bytes[kEntryBytes] = {};
    const uint32_t kind = static_cast<uint32_t>(e.kind);
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(kind >> (8 * i));
    if (e.kind >= 0 && e.kind < 6) {
        const Offsets& o = kOffsets[e.kind];
        bytes[o.room] = e.room;
        if (o.character >= 0) bytes[o.character] = e.character;
        if (o.object >= 0) bytes[o.object] = e.object;
    }
    for (uint8_t b : bytes) w.U8(b);
}

}  // namespace

std::vector<uint8_t> JournalBlock(const std::vector<JournalEntrySpec>& entries, int32_t count) {
    ByteWriter w;
    w.I32(count >= 0 ? count : int32_t(entries.size()));
    for (int i = 0; i < kEntries; ++i) {
        if (size_t(i) < entries.size()) Entry(w, entries[size_t(i)]);
        else for (int b = 0; b < kEntryBytes; ++b) w.U8(0);
    }
    return w.Take();
}

std::vector<JournalFixture> JournalFixtures() {
    const std::vector<JournalEntrySpec> kinds = {
        {0, 0, 1, 0}, {1, 0, 0, 0}, {2, 1, 0, 0}, {3, 1, 0, 0}, {4, 1, 0, 0}, {5, 0, 1, 0},
    };
    std::vector<JournalEntrySpec> full;
    for (int i = 0; i < 31; ++i) full.push_back(kinds[size_t(i) % kinds.size()]);
    std::vector<uint8_t> shortBlock = JournalBlock(kinds);
    shortBlock.resize(shortBlock.size() - 7);
    return {
        {"kinds", JournalBlock(kinds)},
        {"full", JournalBlock(full)},
        {"empty", JournalBlock({})},
        {"count-33", JournalBlock(kinds, 33)},
        {"room-past", JournalBlock({{1, 2, 0, 0}})},
        {"kind-6", JournalBlock({{6, 0, 0, 0}})},
        {"short", shortBlock},
    };
}

}  // namespace kit
