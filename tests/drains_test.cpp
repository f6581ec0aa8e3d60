// Drains on a mission of three rooms made here, with the kit's drain
// models and animations: placing and its fill times, filling to full on the
// virtual millisecond clock (also across the clock's wrap), collection by
// the owner, and the save block written and read back.
#include "test_3d.h"

#include "engine3d/dqx_lib.h"
#include "game/characters.h"
#include "game/dqx_drains.h"
#include "game/dqx_overlay.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "host/headless/headless.h"
#include "platform/settings.h"
#include "tests/memory_file.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/drain_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kWrapMs = uint64_t(1) << 32;

class DrainsTest : public test::Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        PrepareDemoMission([this](const std::string& name, const std::vector<uint8_t>& bytes) { Put(name, bytes); });
        for (const kit::NamedFile& f : kit::DemoDrainAnimationFiles()) Put(f.name, f.data);
        host::headless::SetAutoStep(0, 0);
        SetMs(1000);
        savedTable_ = CurrentFileTable;
        savedSound_ = g_SoundOn;
        g_SoundOn = 0;
        std::memcpy(savedTexts_, MenuTexts, sizeof savedTexts_);
        std::snprintf(MenuTexts[112], kMenuTextBytes, "Filling: %%d s");
        std::snprintf(MenuTexts[113], kMenuTextBytes, "Full in %%s");
        std::snprintf(MenuTexts[119], kMenuTextBytes, "Gathered in %%s");
        rooms_[0].energyValue = 40;
        rooms_[1].energyValue = 60;
        rooms_[2].energyValue = 25;
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        CharacterTable = characters_;
        for (int i = 0; i < 2; ++i) {
            characters_[i].def = &defs_[i];
            characters_[i].present = 1;
        }
        defs_[0].energy = defs_[1].energy = 100;
        GameplaySettings.DrainBaseTime = 20;
        GameTimer.DeltaUnits = 2;
        EnergyChangeSum = 0;
        StatusText[0] = 0;
        g_GameCalls.clear();
        LoadDrains(30, 0);
    }
    void TearDown() override {
        FreeDrains();
        MissionPtr = nullptr;
        CurrentRoomIndex = 0;
        CharacterTable = nullptr;
        g_SoundOn = savedSound_;
        CurrentFileTable = savedTable_;
        std::memcpy(MenuTexts, savedTexts_, sizeof savedTexts_);
        Engine3DTest::TearDown();
    }
    // The millisecond tick count; past 2^32 it wraps as the clock does.
    static void SetMs(uint64_t ms) { host::headless::SetClock(ms * 1000); }
    static bool Hidden(ObjHandle h) { return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0; }
    // The hero (or character i) standing at (x, y, z).
    CharacterRecord* At(int i, int32_t x, int32_t y, int32_t z) {
        characters_[i].position = {x, y, z};
        return &characters_[i];
    }
    DrainRecord& Room(int i) { return DrainTable.records[i]; }

    PortalRecord noPortals_[1] = {};
    RoomRecord rooms_[3] = {TestRoom("Hall", 0, noPortals_), TestRoom("Crypt", 0, noPortals_),
                            TestRoom("Vault", 0, noPortals_)};
    CharacterDef defs_[2] = {TestDef("hero", 0, 255), TestDef("guard", 0, 255)};
    MissionRecord mission_ = TestMission(2, defs_, 3, rooms_);
    CharacterRecord characters_[kCharacterSlots] = {};
    uint8_t savedSound_ = 0;
    const FileTable* savedTable_ = nullptr;
    char savedTexts_[kMenuTextSlots][kMenuTextBytes] = {};
};

// The table of a fresh mission: a record per room, each base fill time at
// DrainBaseTime, both models loaded, hidden, and their animations' frames.
TEST_F(DrainsTest, LoadMakesARecordPerRoomAndHidesTheModels) {
    ASSERT_NE(DrainTable.records, nullptr);
    EXPECT_EQ(DrainTable.roomCount, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Room(i).state, kDrainNone);
        EXPECT_EQ(Room(i).baseTime, 20);
    }
    ASSERT_GT(DrainTable.fullModel, 0);
    ASSERT_GT(DrainTable.fillingModel, 0);
    EXPECT_TRUE(Hidden(DrainTable.fullModel));
    EXPECT_TRUE(Hidden(DrainTable.fillingModel));
    // The kit's spins: 48 frames full, 96 filling.
    EXPECT_EQ(DrainTable.fullFrames, 48);
    EXPECT_EQ(DrainTable.fillingFrames, 96);
}

// Placing in the current room: the fill is base x 1000 / level ms (a level
// below 1 counts as 1), the base doubles whatever the level and saturates;
// a room with a drain (filling or full) refuses and keeps its drain.
TEST_F(DrainsTest, PlacingAnswersAndFillTimes) {
    struct Row {
        const char* name;
        int32_t stateBefore, baseBefore, level;
        int answer;
        uint32_t fillMs;
        int32_t baseAfter;
    };
    const Row rows[] = {
        {"level 1", kDrainNone, 20, 1, 1, 20000, 40},
        {"level 2 halves the fill", kDrainNone, 20, 2, 1, 10000, 40},
        {"level 3: whole ms", kDrainNone, 20, 3, 1, 6666, 40},
        {"level 0 counts as 1", kDrainNone, 20, 0, 1, 20000, 40},
        {"a negative level counts as 1", kDrainNone, 20, -7, 1, 20000, 40},
        {"a base past the longest fill", kDrainNone, 0x40000000, 1, 1, kDrainMaxFillMs, INT32_MAX},
        {"the base saturates", kDrainNone, INT32_MAX, 4, 1, kDrainMaxFillMs, INT32_MAX},
        {"a negative base fills at once", kDrainNone, -5, 1, 1, 0, -10},
        {"the room's drain fills: refused", kDrainFilling, 20, 1, 0, 0, 20},
        {"the room's drain is full: refused", kDrainFull, 20, 1, 0, 0, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetMs(5000);
        DrainRecord& d = Room(0);
        d = DrainRecord{};
        d.state = row.stateBefore;
        d.baseTime = row.baseBefore;
        d.endTick = 777;
        StatusText[0] = 0;
        g_GameCalls.clear();
        CharacterRecord* hero = At(0, 300, 1000, -200);
        EXPECT_EQ(PlaceDrain(hero, row.level), row.answer);
        EXPECT_EQ(d.baseTime, row.baseAfter);
        if (!row.answer) {
            EXPECT_EQ(d.state, row.stateBefore);
            EXPECT_EQ(d.endTick, 777u);
            for (const GameCall& call : g_GameCalls) EXPECT_NE(call.what, "AddJournalEntry");
            continue;
        }
        EXPECT_EQ(d.state, kDrainFilling);
        EXPECT_EQ(d.endTick - 5000u, row.fillMs);
        EXPECT_EQ(d.owner, hero);
        EXPECT_EQ(d.energy, 40);
        EXPECT_EQ(d.position.x, 300);
        EXPECT_EQ(d.position.y, kDrainLevel);
        EXPECT_EQ(d.position.z, -200);
        EXPECT_EQ(std::string(StatusText), "Filling: " + std::to_string(row.fillMs / 1000) + " s");
        int entries = 0;
        for (const GameCall& call : g_GameCalls)
            if (call.what == "AddJournalEntry") {
                ++entries;
                EXPECT_EQ(call.character, hero);
                EXPECT_EQ(call.a, 3);
            }
        EXPECT_EQ(entries, 1);
        EXPECT_FALSE(Hidden(DrainTable.fillingModel));
    }
}

// Every placing in a room doubles its base, whatever the level of the
// power: 20 s at level 1, then 40 s at level 4, then 80 s at level 2.
TEST_F(DrainsTest, TheBaseDoublesAtEachPlacingWhateverTheLevel) {
    struct Row {
        int32_t level;
        uint32_t fillMs;
    };
    const Row rows[] = {{1, 20000}, {4, 10000}, {2, 40000}, {0, 160000}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.level);
        SetMs(1000);
        ASSERT_EQ(PlaceDrain(At(0, 0, 0, 0), row.level), 1);
        EXPECT_EQ(Room(0).endTick - 1000u, row.fillMs);
        Room(0).state = kDrainNone;  // collected
    }
    EXPECT_EQ(Room(1).baseTime, 20) << "other rooms keep their own base";
}

// No table, no room (any index at or past the room count), or no
// character: nothing is placed and the answer is 0.
TEST_F(DrainsTest, NoRecordsOrNoRoomAnswersZero) {
    struct Row {
        const char* name;
        bool freeTable;
        uint8_t room;
        bool character;
    };
    const Row rows[] = {
        {"no records", true, 0, true},
        {"room index at the count", false, 3, true},
        {"room 255", false, 255, true},
        {"no character", false, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.freeTable) FreeDrains();
        else if (!DrainTable.records) LoadDrains(30, 0);
        CurrentRoomIndex = row.room;
        EXPECT_EQ(PlaceDrain(row.character ? At(0, 0, 0, 0) : nullptr, 1), 0);
        if (DrainTable.records) {
            for (int i = 0; i < 3; ++i) EXPECT_EQ(Room(i).state, kDrainNone);
        }
        UpdateDrains();  // and a frame with no room does nothing either
    }
}

// A filling drain turns full at its end tick and not a millisecond
// before, in the current room or any other, also when the millisecond
// clock wraps between the placing and the end.
TEST_F(DrainsTest, FillsToFullAtTheEndTick) {
    struct Row {
        const char* name;
        uint64_t placeAt;  // ms on the 64-bit virtual clock
        int32_t level;
        uint8_t room;      // where the drain is placed; the hero then goes to room 0
        const char* fullText;
    };
    const Row rows[] = {
        {"current room", 1000, 1, 0, "Full in Hall"},
        {"level 2", 1000, 2, 0, "Full in Hall"},
        {"another room", 1000, 1, 1, "Full in Crypt"},
        {"across the wrap", kWrapMs - 5000, 1, 0, "Full in Hall"},
        {"placed just before the wrap, due on it", kWrapMs - 10000, 2, 2, "Full in Vault"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreeDrains();
        LoadDrains(30, 0);
        SetMs(row.placeAt);
        CurrentRoomIndex = row.room;
        ASSERT_EQ(PlaceDrain(At(0, 0, 0, 0), row.level), 1);
        CurrentRoomIndex = 0;
        At(0, 5000, 0, 5000);  // far from it: nothing is collected
        const uint64_t end = row.placeAt + 20000 / uint64_t(row.level);
        StatusText[0] = 0;
        SetMs(end - 1);
        UpdateDrains();
        EXPECT_EQ(Room(row.room).state, kDrainFilling);
        EXPECT_STREQ(StatusText, "");
        SetMs(end);
        UpdateDrains();
        EXPECT_EQ(Room(row.room).state, kDrainFull);
        EXPECT_STREQ(StatusText, row.fullText);
        SetMs(end + 60000);
        UpdateDrains();
        EXPECT_EQ(Room(row.room).state, kDrainFull) << "full until collected";
    }
}

// The current room shows its drain in the model of its state and hides the
// other; a room without a drain shows neither.  The phase moves by 3 x the
// frame step.
TEST_F(DrainsTest, TheCurrentRoomShowsTheModelOfItsState) {
    ASSERT_EQ(PlaceDrain(At(0, 0, 0, 0), 1), 1);
    At(0, 5000, 0, 5000);
    UpdateDrains();
    EXPECT_FALSE(Hidden(DrainTable.fillingModel));
    EXPECT_TRUE(Hidden(DrainTable.fullModel));
    EXPECT_EQ(DrainTable.phase, 6);
    SetMs(1000 + 20000);
    UpdateDrains();
    EXPECT_TRUE(Hidden(DrainTable.fillingModel));
    EXPECT_FALSE(Hidden(DrainTable.fullModel));
    EXPECT_EQ(DrainTable.phase, 12);
    CurrentRoomIndex = 1;
    UpdateDrains();
    EXPECT_TRUE(Hidden(DrainTable.fillingModel));
    EXPECT_TRUE(Hidden(DrainTable.fullModel));
    EXPECT_EQ(DrainTable.phase, 12);
}

// A full drain is collected by its owner only, only in the current room,
// only within Get_Dist2 < 4 of it measured at the drain's own height (the
// owner's x and z): the owner's energy grows by the room's value, shown.
TEST_F(DrainsTest, CollectedOnlyByItsOwnerInTheCurrentRoom) {
    struct Row {
        const char* name;
        int owner;              // slot that placed it
        int32_t ox, oy, oz;     // the owner's place (the drain is at 300, 1210, -200)
        int other;              // -1, or a slot standing on the drain
        uint8_t currentRoom;
        bool full;
        bool collected;
    };
    const Row rows[] = {
        {"the hero on it", 0, 300, 1210, -200, -1, 0, true, true},
        {"300 off in x: 90000 >> 15 = 2", 0, 600, 1210, -200, -1, 0, true, true},
        {"362 off in z: 131044 >> 15 = 3", 0, 300, 1210, 162, -1, 0, true, true},
        {"363 off in z: 131769 >> 15 = 4", 0, 300, 1210, 163, -1, 0, true, false},
        {"400 off in x: 160000 >> 15 = 4", 0, 700, 1210, -200, -1, 0, true, false},
        {"far above it: height is not measured", 0, 300, -5000, -200, -1, 0, true, true},
        {"another on it, the owner away", 0, 3000, 1210, 3000, 1, 0, true, false},
        {"a guard's drain, the guard on it", 1, 300, 1210, -200, -1, 0, true, true},
        {"a guard's drain, the hero on it", 1, 3000, 1210, 3000, 0, 0, true, false},
        {"the owner on it, in another room", 0, 300, 1210, -200, -1, 1, true, false},
        {"the owner on it while it fills", 0, 300, 1210, -200, -1, 0, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreeDrains();
        LoadDrains(30, 0);
        defs_[0].energy = defs_[1].energy = 100;
        CurrentRoomIndex = 0;
        SetMs(1000);
        ASSERT_EQ(PlaceDrain(At(row.owner, 300, 0, -200), 1), 1);
        if (row.full) SetMs(21000);
        At(row.owner, row.ox, row.oy, row.oz);
        if (row.other >= 0) At(row.other, 300, 1210, -200);
        CurrentRoomIndex = row.currentRoom;
        EnergyChangeSum = 0;
        StatusText[0] = 0;
        UpdateDrains();
        EXPECT_EQ(Room(0).state, row.collected ? kDrainNone : row.full ? kDrainFull : kDrainFilling);
        EXPECT_EQ(defs_[row.owner].energy, row.collected ? 140 : 100);
        EXPECT_EQ(defs_[1 - row.owner].energy, 100);
        EXPECT_EQ(EnergyChangeSum, row.collected ? 40 : 0);
        if (row.collected) {
            EXPECT_STREQ(StatusText, "Gathered in Hall");
            EXPECT_TRUE(Hidden(DrainTable.fullModel));
        }
    }
}

// The save block of a game saved while drains fill: written field by field
// as the kit lays it out, with the time left; read back later, each
// filling drain has the same time left and turns full at its new end.
TEST_F(DrainsTest, ASaveWhileFillingRestoresTheSameTimeLeft) {
    struct Row {
        const char* name;
        uint64_t saveAt, readAt;  // ms; the drain of room 1 was placed at 1000 to end at 21000
        uint32_t timeLeft;
    };
    const Row rows[] = {
        {"13 s left", 8000, 50000, 13000},
        {"read across the wrap", 20000, kWrapMs - 200, 1000},
        {"saved once due: full at the first frame", 25000, 90000, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FreeDrains();
        LoadDrains(30, 0);
        SetMs(1000);
        CurrentRoomIndex = 1;
        ASSERT_EQ(PlaceDrain(At(0, -700, 0, 250), 1), 1);
        Room(2).state = kDrainFull;
        Room(2).energy = 25;
        Room(2).owner = nullptr;
        CurrentRoomIndex = 0;
        At(0, 5000, 0, 5000);
        SetMs(row.saveAt);
        MemoryFile file{};
        CurrentFileTable = &MemoryFileTable;
        ASSERT_EQ(WriteDrains(&file), 1);
        const std::vector<uint8_t> expected = kit::DrainBlock(
            3, {{0, 0, 20, 0, {0, 0, 0}, 0}, {row.timeLeft, 60, 40, 2, {-700, kDrainLevel, 250}, 1}, {0, 25, 20, 1, {0, 0, 0}, 0}});
        EXPECT_EQ(file.bytes, expected);

        FreeDrains();
        GameplaySettings.DrainBaseTime = 99;  // a restore keeps the saved bases
        SetMs(row.readAt);
        file.at = 0;
        ASSERT_EQ(ReadDrains(&file), 1);
        CurrentFileTable = savedTable_;
        LoadDrains(30, 1);
        EXPECT_EQ(Room(1).baseTime, 40);
        EXPECT_EQ(Room(0).baseTime, 20);
        EXPECT_EQ(Room(1).owner, &characters_[0]);
        EXPECT_EQ(Room(2).owner, nullptr);
        EXPECT_EQ(Room(1).endTick, uint32_t(row.readAt + row.timeLeft));
        if (row.timeLeft > 0) {
            SetMs(row.readAt + row.timeLeft - 1);
            UpdateDrains();
            EXPECT_EQ(Room(1).state, kDrainFilling);
        }
        SetMs(row.readAt + row.timeLeft);
        UpdateDrains();
        EXPECT_EQ(Room(1).state, kDrainFull);
        GameplaySettings.DrainBaseTime = 20;
    }
}

// Blocks no writer makes are refused and leave the table as it was: cut
// short, for another room count, with a state, owner word or time left
// out of range; and any block while no mission is open.
TEST_F(DrainsTest, MalformedBlocksAreRefused) {
    const std::vector<kit::DrainSpec> good = {
        {0, 0, 20, 0, {0, 0, 0}, 0}, {0, 40, 40, 1, {300, 1210, -500}, 1}, {12000, 60, 80, 2, {-700, 1210, 250}, 1}};
    CurrentFileTable = &MemoryFileTable;
    MemoryFile check{kit::DrainBlock(3, good), 0};
    ASSERT_EQ(ReadDrains(&check), 1) << "the good block itself is read";
    EXPECT_EQ(Room(2).endTick, 1000u + 12000u);
    Room(0).baseTime = 777;
    DrainRecord* records = DrainTable.records;
    std::vector<kit::DrainVariant> variants = kit::MalformedDrainBlocks(good);
    variants.push_back({"a block of two rooms", kit::DrainBlock(2, {good[0], good[1]})});
    variants.push_back({"empty", {}});
    for (const kit::DrainVariant& v : variants) {
        SCOPED_TRACE(v.name);
        MemoryFile file{v.bytes, 0};
        EXPECT_EQ(ReadDrains(&file), 0);
        EXPECT_EQ(DrainTable.records, records);
        EXPECT_EQ(Room(0).baseTime, 777);
        EXPECT_EQ(DrainTable.roomCount, 3);
    }
    MissionPtr = nullptr;
    MemoryFile file{kit::DrainBlock(3, good), 0};
    EXPECT_EQ(ReadDrains(&file), 0);
    EXPECT_EQ(Room(0).baseTime, 777);
}

}  // namespace
