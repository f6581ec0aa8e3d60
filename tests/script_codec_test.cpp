// The event table's file layout: every member at its offset, the kept bytes
// no member names, and the counts a file may not be trusted with.
#include "game/dqx_lookup.h"
#include "game/dqx_messages.h"
#include "game/script_event.h"
#include "tests/memory_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Script(int32_t count, int32_t records, int32_t version = kEventScriptVersion) {
    std::vector<uint8_t> b;
    auto put = [&](int32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    };
    put(count);
    put(version);
    for (int32_t r = 0; r < records; ++r)
        for (size_t i = 0; i < kScriptEventBytes; ++i) b.push_back(uint8_t(r * 7 + int(i)));
    return b;
}

class ScriptCodecTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = CurrentFileTable;
        CurrentFileTable = &MemoryFileTable;
        FreeEventTable();
    }
    void TearDown() override {
        FreeEventTable();
        CurrentFileTable = saved_;
    }
    const FileTable* saved_ = nullptr;
};

// Each member reads the bytes at its offset, little-endian for the words.
TEST_F(ScriptCodecTest, MembersReadTheirOffsets) {
    uint8_t image[kScriptEventBytes];
    for (size_t i = 0; i < kScriptEventBytes; ++i) image[i] = uint8_t(i + 1);
    ScriptEvent e;
    DecodeScriptEvent(image, &e);
    struct Row {
        const char* name;
        long long got;
        long long want;
    };
    const Row rows[] = {
        {"repeatTimer", e.repeatTimer, 0x04030201},
        {"startDelayPreset", e.startDelayPreset, 0x1c1b1a19},
        {"countUp", e.countUp, 46},
        {"stateAtLeast", e.stateAtLeast, 51},
        {"roomCode", e.roomCode, 61},
        {"character", e.character, 62},
        {"phrase", e.phrase, 63},
        {"phraseB", e.phraseB, 72},
        {"phraseMode", e.phraseMode, 77},
        {"flagKind", e.flagKind, 91},
        {"queryDoor", e.queryDoor, 98},
        {"queryFlag", e.queryFlag, 101},
        {"state", e.state, 109},
        {"link", e.link, 110},
        {"armEvent", e.armEvent, 113},
        {"replaceObject", e.replaceObject, 115},
        {"cinematic", e.cinematic, 121},
        {"missionEnd", e.missionEnd, 127},
        {"stepNotAfter", e.stepNotAfter, 129},
        {"sameRoom", e.sameRoom, 130},
        {"anywhere", e.anywhere, 131},
        {"flagA", e.flagA, 132},
        {"flagB", e.flagB, 133},
        {"flagOperator", e.flagOperator, 134},
        {"group", e.group, 135},
        {"groupState", e.groupState, 136},
    };
    for (const Row& r : rows) EXPECT_EQ(r.got, r.want) << r.name;
}

// Encoding writes the members over the kept image: changed members land at
// their offsets, bytes no member names come back as they were read.
TEST_F(ScriptCodecTest, EncodingKeepsUnnamedBytesAndWritesMembers) {
    uint8_t image[kScriptEventBytes];
    for (size_t i = 0; i < kScriptEventBytes; ++i) image[i] = uint8_t(200 - i);
    ScriptEvent e;
    DecodeScriptEvent(image, &e);
    uint8_t same[kScriptEventBytes];
    EncodeScriptEvent(e, same);
    EXPECT_EQ(std::memcmp(image, same, kScriptEventBytes), 0);

    e.repeatTimer = -2;
    e.sound = 0;
    e.state = kEventFinished;
    uint8_t changed[kScriptEventBytes];
    EncodeScriptEvent(e, changed);
    for (size_t i = 0; i < kScriptEventBytes; ++i) {
        uint8_t want = image[i];
        if (i < 4) want = 0xFF - (i == 0 ? 1 : 0);
        if (i == 121) want = 0;
        if (i == 108) want = kEventFinished;
        EXPECT_EQ(changed[i], want) << "byte " << i;
    }
}

// A file's count is accepted only when the file holds that many records;
// the version word is not tested.  A refused file leaves no table.
TEST_F(ScriptCodecTest, CountsBeyondTheFileAreRefused) {
    struct Row {
        const char* what;
        std::vector<uint8_t> bytes;
        int ok;
        int32_t count;
    } rows[] = {
        {"three records", Script(3, 3), 1, 3},
        {"none", Script(0, 0), 1, 0},
        {"other version", Script(2, 2, 7), 1, 2},
        {"count past the records", Script(4, 3), 0, 0},
        {"negative count", Script(-1, 3), 0, 0},
        {"huge count", Script(0x7FFFFFFF, 1), 0, 0},
        {"cut header", {1, 0, 0}, 0, 0},
    };
    for (Row& r : rows) {
        MemoryFile f{r.bytes, 0};
        EXPECT_EQ(ReadEventScript(&f), r.ok) << r.what;
        EXPECT_EQ(EventCount, r.count) << r.what;
        EXPECT_EQ(EventTable != nullptr, r.count > 0) << r.what;
        size_t used = DecodeEventScript(r.bytes.data(), r.bytes.size());
        EXPECT_EQ(used, r.ok ? 8 + size_t(r.count) * kScriptEventBytes : 0u) << r.what;
    }
}

// Written and read again, the table is the same; the state block follows it.
TEST_F(ScriptCodecTest, WrittenTableReadsBack) {
    std::vector<uint8_t> file = Script(2, 2, 99);
    ASSERT_EQ(DecodeEventScript(file.data(), file.size()), file.size());
    EventTable[1].startDelay = 33;
    uint8_t state[kDialogueStateBytes] = {};
    state[5] = 9;
    uint8_t* savedState = DialogueState;
    DialogueState = state;
    MemoryFile out;
    EXPECT_EQ(WriteEventScript(&out), 1);
    DialogueState = savedState;
    ASSERT_EQ(out.bytes.size(), 8 + 2 * kScriptEventBytes + kDialogueStateBytes);
    EXPECT_EQ(out.bytes[4], kEventScriptVersion & 0xFF);
    EXPECT_EQ(out.bytes[8 + 2 * kScriptEventBytes + 5], 9);
    FreeEventTable();
    out.at = 0;
    ASSERT_EQ(ReadEventScript(&out), 1);
    ASSERT_EQ(EventCount, 2);
    EXPECT_EQ(EventTable[1].startDelay, 33);
    EXPECT_EQ(std::memcmp(EventTable[0].image, file.data() + 8, kScriptEventBytes), 0);
}

}  // namespace
