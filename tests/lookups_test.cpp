// Name lookups, event condition tests, the event countdowns, mission end,
// line joining and the translations of the mission's names, on missions
// made in memory.
#include "mission_fixtures.h"
#include "test_support.h"

#include "game/characters.h"
#include "game/dqx_lookup.h"
#include "game/dqx_overlay.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "tools/kit/demo_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

ObjectRecord TestObject(const char* name) {
    ObjectRecord o{};
    std::strncpy(o.name, name, sizeof o.name - 1);
    return o;
}

// Rooms "Hall", "HALL", "Crypt" (the third a Box room) and a fourth record
// past the count named "Cellar"; definitions "hero", "guard", "Guard" and
// "ghost" past the count; objects "key", "KEY", and "lamp" past the count.
class LookupTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        portals_[0] = TestPortal("door12");
        portals_[1] = TestPortal("DOOR12");
        rooms_[0] = TestRoom("Hall", 2, portals_);
        rooms_[1] = TestRoom("HALL", 0, nullptr);
        rooms_[2] = TestRoom("Crypt", 0, nullptr);
        rooms_[2].isBox = 1;
        rooms_[3] = TestRoom("Cellar", 0, nullptr);
        defs_[0] = TestDef("hero", 0, 255);
        defs_[1] = TestDef("guard", 0, 255);
        defs_[2] = TestDef("Guard", 0, 255);
        defs_[3] = TestDef("ghost", 0, 255);
        objects_[0] = TestObject("key");
        objects_[1] = TestObject("KEY");
        objects_[2] = TestObject("lamp");
        mission_ = TestMission(3, defs_, 3, rooms_);
        mission_.objectCount = 2;
        mission_.objects = objects_;
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        GameState = GameStateRecord{};
        GameplaySettings = GameplaySettingsRecord{};
        for (int i = 0; i < 3; ++i) characters_[i].def = &defs_[i];
        savedFiles_ = CurrentFileTable;
        CurrentFileTable = &PlainFileTable;
        LanguageLetter = 'f';
    }
    void TearDown() override {
        FreeTranslations();
        MissionPtr = nullptr;
        EventTable = nullptr;
        EventCount = 0;
        CurrentFileTable = savedFiles_;
        HeadlessTest::TearDown();
    }

    PortalRecord portals_[2];
    RoomRecord rooms_[4];
    CharacterDef defs_[4];
    ObjectRecord objects_[3];
    MissionRecord mission_{};
    CharacterRecord characters_[3]{};
    const FileTable* savedFiles_ = nullptr;
};

// --- lookups ----------------------------------------------------------------

TEST_F(LookupTest, FindsTheFirstRecordNamedAlikeInAnyCaseWithinTheCount) {
    struct Row {
        const char* what;
        int (*find)(const char*);
        const char* name;
        int roomIndex;
        int expected;
    };
    const Row rows[] = {
        {"room, other case, first of two", FindRoom, "hALL", 0, 0},
        {"room, last", FindRoom, "CRYPT", 0, 2},
        {"room past the count", FindRoom, "Cellar", 0, -1},
        {"no name", FindRoom, nullptr, 0, -1},
        {"portal, first of two alike", FindPortal, "Door12", 0, 0},
        {"portal of another room", FindPortal, "door12", 1, -1},
        {"portal while in no room", FindPortal, "door12", 3, -1},
        {"portal while in room 200", FindPortal, "door12", 200, -1},
        {"object, first of two alike", FindObject, "Key", 0, 0},
        {"object past the count", FindObject, "lamp", 0, -1},
        {"definition, first of two alike", FindCharacterDef, "GUARD", 0, 1},
        {"definition past the count", FindCharacterDef, "ghost", 0, -1},
        {"no such name", FindCharacterDef, "hero2", 0, -1},
    };
    for (const Row& r : rows) {
        CurrentRoomIndex = uint8_t(r.roomIndex);
        EXPECT_EQ(r.find(r.name), r.expected) << r.what;
    }
    MissionPtr = nullptr;
    for (auto find : {FindRoom, FindPortal, FindObject, FindCharacterDef}) EXPECT_EQ(find("hero"), -1);
}

// --- condition tests ----------------------------------------------------------

TEST_F(LookupTest, ProgressTestHoldsForAnyStepTheSameOrWithinItsBound) {
    struct Row {
        uint8_t step, notAfter, notBefore, progress;
        int expected;
    };
    const Row rows[] = {
        {255, 0, 0, 9, 1}, {4, 0, 0, 4, 1}, {4, 0, 0, 5, 0}, {4, 1, 0, 3, 1}, {4, 1, 0, 5, 0},
        {4, 0, 1, 5, 1},   {4, 0, 1, 3, 0}, {0, 1, 0, 0, 1},
    };
    for (const Row& r : rows) {
        ScriptEvent e{};
        e.step = r.step;
        e.stepNotAfter = r.notAfter;
        e.stepNotBefore = r.notBefore;
        GameState.progress[0] = r.progress;
        EXPECT_EQ(EventProgressTest(&e), r.expected)
            << int(r.step) << " after " << int(r.notAfter) << " before " << int(r.notBefore) << " at " << int(r.progress);
    }
}

TEST_F(LookupTest, RoomTestFollowsTheCodeTheCharactersRoomAndTheCurrentRoom) {
    // The current room is 0; the Box room is 2.
    struct Row {
        const char* what;
        uint8_t code, sameRoom, anywhere;
        int32_t characterRoom;
        int expected;
    };
    const Row rows[] = {
        {"own room, in the current room", 254, 0, 0, 0, 1},
        {"own room, elsewhere", 254, 0, 0, 1, 0},
        {"own room, in no room", 254, 0, 0, 255, 0},
        {"named current room, character there", 0, 0, 0, 0, 1},
        {"named current room, character elsewhere", 0, 0, 0, 1, 0},
        {"named other room, character there", 1, 0, 0, 1, 0},
        {"code past the rooms", 200, 0, 0, 0, 0},
        {"code past the rooms, character in that none room", 200, 0, 0, 200, 0},
        {"code 250", 250, 0, 0, 0, 0},
        {"Box room counts as any", 2, 0, 0, 1, 1},
        {"any room", 255, 0, 0, 1, 1},
        {"any, same room, elsewhere", 255, 1, 0, 1, 0},
        {"any, same room, here", 255, 1, 0, 0, 1},
        {"any, same room and anywhere, elsewhere", 255, 1, 1, 1, 0},
        {"any, anywhere", 255, 0, 1, 1, 1},
    };
    for (const Row& r : rows) {
        ScriptEvent e{};
        e.roomCode = r.code;
        e.sameRoom = r.sameRoom;
        e.anywhere = r.anywhere;
        defs_[1].room = r.characterRoom;
        EXPECT_EQ(EventRoomTest(&characters_[1], &e), r.expected) << r.what;
    }
    // A character without a definition is in no room.
    ScriptEvent own{};
    own.roomCode = 254;
    CharacterRecord none{};
    EXPECT_EQ(EventRoomTest(&none, &own), 0);
}

TEST_F(LookupTest, StateTestComparesTheValueWithTheCharactersStateByItsFlags) {
    struct Row {
        uint8_t value, atLeast, atMost, state;
        int expected;
    };
    const Row rows[] = {
        {255, 0, 0, 7, 1}, {3, 0, 0, 3, 1}, {3, 0, 0, 4, 0}, {3, 1, 0, 2, 1},
        {3, 1, 0, 4, 0},   {3, 0, 1, 4, 1}, {3, 0, 1, 2, 0},
    };
    for (const Row& r : rows) {
        ScriptEvent e{};
        e.stateValue = r.value;
        e.stateAtLeast = r.atLeast;
        e.stateAtMost = r.atMost;
        defs_[1].state = r.state;
        EXPECT_EQ(EventCharacterStateTest(&characters_[1], &e), r.expected)
            << int(r.value) << " least " << int(r.atLeast) << " most " << int(r.atMost) << " state " << int(r.state);
    }
}

TEST_F(LookupTest, FlagTestAppliesItsOperatorToTheTwoFlags) {
    // Results for (A, B) = (0,0), (0,1), (1,0), (1,1).
    struct Row {
        uint8_t op;
        int results[4];
    };
    const Row rows[] = {
        {1, {0, 0, 0, 1}}, {2, {0, 1, 1, 1}}, {3, {1, 0, 0, 0}}, {4, {1, 0, 1, 1}},
        {5, {0, 0, 1, 0}}, {6, {1, 1, 1, 0}}, {0, {0, 0, 0, 0}}, {7, {0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        for (int ab = 0; ab < 4; ++ab) {
            ScriptEvent e{};
            e.flagA = 12;
            e.flagB = 255;
            e.flagOperator = r.op;
            GameState.eventFlags[12] = ab & 2 ? 3 : 0;
            GameState.eventFlags[255] = ab & 1 ? 1 : 0;
            EXPECT_EQ(EventFlagTest(&e), r.results[ab]) << "operator " << int(r.op) << " A,B " << ab;
        }
    }
    ScriptEvent none{};
    none.flagOperator = 9;
    EXPECT_EQ(EventFlagTest(&none), 1) << "both numbers 0: no test";
}

TEST_F(LookupTest, GroupCountMarksTheActiveEventsOfTheGroupOnly) {
    ScriptEvent events[4]{};
    events[0].group = 3;
    events[1].group = 3;
    events[1].state = kEventFinished;
    events[2].group = 4;
    events[3].group = 3;
    EventTable = events;
    EventCount = 3;  // the fourth is past the table
    CountGroupEvents(&events[0]);
    EXPECT_EQ(events[0].groupState, kGroupDone);
    EXPECT_EQ(events[1].groupState, 0);
    EXPECT_EQ(events[2].groupState, 0);
    EXPECT_EQ(events[3].groupState, 0);
}

// --- countdowns -------------------------------------------------------------

TEST_F(LookupTest, TimersStartOnlyForIdsOneToFifteenNotDoneWhileOneOfTenIsFree) {
    struct Row {
        const char* what;
        int id;
        int32_t duration;
        int expectedSlot;
        int32_t expectedTicks;
    };
    GameState.eventTimerDone[5] = 1;
    const Row rows[] = {
        {"first free", 1, 16, 0, 16}, {"next free", 2, 0, 1, 1},   {"negative as 1", 3, -5, 2, 1},
        {"id 0", 0, 16, -1, 0},       {"id 16", 16, 16, -1, 0},    {"id 200", 200, 16, -1, 0},
        {"done id", 5, 16, -1, 0},    {"id 15", 15, 40, 3, 40},
    };
    for (const Row& r : rows) {
        int slot = StartEventTimer(r.id, r.duration);
        EXPECT_EQ(slot, r.expectedSlot) << r.what;
        if (slot >= 0) {
            EXPECT_EQ(GameState.eventTimers[slot], r.expectedTicks) << r.what;
            EXPECT_EQ(GameState.eventTimerIds[slot], r.id) << r.what;
        }
    }
    for (int i = 4; i < kEventTimers; ++i) EXPECT_EQ(StartEventTimer(7, 100), i);
    EXPECT_EQ(StartEventTimer(8, 100), -1) << "an eleventh while ten run";
    ClearEventTimers();
    for (int i = 0; i < kEventTimers; ++i) EXPECT_EQ(GameState.eventTimers[i], 0);
    EXPECT_EQ(GameState.eventTimerDone[5], 0);
    EXPECT_EQ(StartEventTimer(5, 10), 0) << "cleared: the done id starts again";
}

std::vector<int> g_Started;
int g_StartAnswer = 1;
int StartMessage(int id) {
    g_Started.push_back(id);
    return g_StartAnswer;
}

TEST_F(LookupTest, CountdownsRunDownByTheFrameStepAndMarkTheirIdDone) {
    // Frame steps as PaceFrame gives them: 1..4, and 32 with Backspace.
    struct Row {
        const char* what;
        int32_t duration;
        std::vector<int32_t> steps;
        int answer;
        std::vector<int> started;
        int32_t ticksLeft;
        uint8_t done;
    };
    const std::vector<Row> rows = {
        {"runs out on its last tick", 10, {4, 4, 2}, 1, {6}, 0, 1},
        {"not yet", 10, {4, 4, 1}, 1, {}, 1, 0},
        {"overshoot", 10, {32}, 1, {6}, 0, 1},
        {"start refused: not tried again", 3, {2, 2, 2, 2}, 0, {6}, 0, 0},
    };
    for (const Row& r : rows) {
        ClearEventTimers();
        g_Started.clear();
        g_StartAnswer = r.answer;
        ASSERT_EQ(StartEventTimer(6, r.duration), 0);
        for (int32_t step : r.steps) RunEventTimers(step, StartMessage);
        EXPECT_EQ(g_Started, r.started) << r.what;
        EXPECT_EQ(GameState.eventTimers[0], r.ticksLeft) << r.what;
        EXPECT_EQ(GameState.eventTimerDone[6], r.done) << r.what;
    }
    // A done id never starts again in this mission.
    ClearEventTimers();
    g_StartAnswer = 1;
    ASSERT_EQ(StartEventTimer(6, 1), 0);
    RunEventTimers(1, StartMessage);
    EXPECT_EQ(StartEventTimer(6, 5), -1);
}

TEST_F(LookupTest, TheShownCountdownIsTheFirstRunningOneInSecondsRoundedUp) {
    // 70 ticks a second.
    EXPECT_EQ(EventTimerSeconds(), -1);
    GameState.eventTimers[2] = 71;
    GameState.eventTimers[4] = 5;
    EXPECT_EQ(EventTimerSeconds(), 2);
    GameState.eventTimers[2] = 70;
    EXPECT_EQ(EventTimerSeconds(), 1);
    GameState.eventTimers[1] = 1;
    EXPECT_EQ(EventTimerSeconds(), 1);
}

// --- mission end and texts ----------------------------------------------------

TEST_F(LookupTest, FinishMissionAsksForTheMissionAndPaysTheBonus) {
    struct Row {
        int32_t energy, bonus;
        int32_t expected;
    };
    const Row rows[] = {{120, 50, 170}, {0, 0, 0}, {INT32_MAX - 10, 50, INT32_MAX}};
    for (const Row& r : rows) {
        GameState.nextMissionRequest = 0;
        defs_[0].energy = r.energy;
        GameplaySettings.BonusEnergy = r.bonus;
        GameplaySettings.energyAccount = 500;
        EnergyChangeSum = 0;
        FinishMission(7, &characters_[0]);
        EXPECT_EQ(GameState.nextMissionRequest, 7);
        EXPECT_EQ(defs_[0].energy, r.expected);
        EXPECT_EQ(GameplaySettings.energyAccount, r.expected);
        EXPECT_EQ(EnergyChangeSum, r.bonus);
    }
}

TEST_F(LookupTest, JoinLinesKeepsWholeLinesThatFitWithTheirBlankAndZero) {
    char one[] = "abc", two[] = "de", three[] = "f";
    char* lines[] = {one, two, three, nullptr};
    struct Row {
        int size;
        const char* expected;
    };
    // "abc " needs 5 bytes with its zero, "abc de " 8, "abc de f " 10.
    const Row rows[] = {{1, ""}, {4, ""}, {5, "abc "}, {7, "abc "}, {8, "abc de "}, {10, "abc de f "}, {64, "abc de f "}};
    for (const Row& r : rows) {
        char buffer[80];
        std::memset(buffer, 'z', sizeof buffer);
        JoinLines(buffer, lines, r.size);
        EXPECT_STREQ(buffer, r.expected) << r.size;
    }
    char* none[] = {nullptr};
    char buffer[4] = "xyz";
    JoinLines(buffer, none, 4);
    EXPECT_STREQ(buffer, "");
}

// --- translations -------------------------------------------------------------

class TranslationTest : public LookupTest {
protected:
    void PutStrings(const std::vector<std::string>& lines) {
        WriteFile("ms22/f_string.txt", kit::TextFileBytes(lines));
    }
};

TEST_F(TranslationTest, NamesAreTranslatedByTheirPlaceAndAddress) {
    // Names: Hall, HALL, Crypt, hero, guard, Guard, key, KEY.  A restored
    // mission whose records close with the two allies' definitions
    // (`alliesAppended`) lists its objects over them: the file's lines
    // follow a fresh mission's names, which have no allies.
    struct Row {
        const char* what;
        int restoring;
        uint8_t alliesAppended;
        int32_t defCount;
        std::vector<std::string> lines;
        std::vector<const char*> names;
        std::vector<std::string> shown;
    };
    const std::vector<Row> rows = {
        {"fresh, a line each", 0, 0, 3,
         {"R0", "R1", "R2", "D0", "D1", "D2", "O0", "O1"},
         {rooms_[0].name, rooms_[1].name, defs_[2].name, objects_[0].name, objects_[1].name},
         {"R0", "R1", "D2", "O0", "O1"}},
        {"fewer lines than names", 0, 0, 3,
         {"R0", "R1", "R2", "D0", "D1"},
         {defs_[1].name, defs_[2].name, objects_[0].name},
         {"D1", "Guard", "key"}},
        {"empty line: untranslated", 0, 0, 3, {"", "R1"}, {rooms_[0].name, rooms_[1].name}, {"Hall", "R1"}},
        {"restoring, allies appended: objects over the last two definitions", 1, 1, 3,
         {"R0", "R1", "R2", "D0", "O0", "O1"},
         {defs_[0].name, defs_[1].name, defs_[2].name, objects_[0].name, objects_[1].name},
         {"D0", "guard", "Guard", "O0", "O1"}},
        {"restoring, allies appended, one definition", 1, 1, 1,
         {"R0", "R1", "R2", "O0", "O1"},
         {rooms_[2].name, defs_[0].name, objects_[0].name, objects_[1].name},
         {"R2", "hero", "O0", "O1"}},
        {"restoring, allies appended, no definition", 1, 1, 0,
         {"R0", "R1", "R2", "O0"},
         {rooms_[0].name, rooms_[2].name, objects_[0].name},
         {"R0", "R2", "O0"}},
        {"restoring, no allies appended (definitions full): the fresh places", 1, 0, 3,
         {"R0", "R1", "R2", "D0", "D1", "D2", "O0", "O1"},
         {defs_[1].name, defs_[2].name, objects_[0].name, objects_[1].name},
         {"D1", "D2", "O0", "O1"}},
    };
    for (const Row& r : rows) {
        mission_.characterDefCount = r.defCount;
        mission_.alliesAppended = r.alliesAppended;
        PutStrings(r.lines);
        LoadTranslations(22, r.restoring);
        ASSERT_EQ(TranslationCount, 3 + r.defCount + 2 + kTranslationSpare) << r.what;
        for (size_t i = 0; i < r.names.size(); ++i) EXPECT_STREQ(TranslateName(r.names[i]), r.shown[i].c_str()) << r.what;
        // A text equal to a name but at another address is no name.
        char copy[] = "key";
        EXPECT_STREQ(TranslateName(copy), "key") << r.what;
    }
}

// A line longer than the reader's 1023 characters translates its own name
// with its start; the names after it keep their own lines.
TEST_F(TranslationTest, AnOverLongLineKeepsTheLaterNamesInPlace) {
    for (size_t length : {size_t(1023), size_t(1024), size_t(1025), size_t(5000)}) {
        SCOPED_TRACE(length);
        mission_.characterDefCount = 3;
        PutStrings({"R0", std::string(length, 'x'), "R2", "D0"});
        LoadTranslations(22, 0);
        EXPECT_EQ(std::string(TranslateName(rooms_[1].name)), std::string(63, 'x'));
        EXPECT_STREQ(TranslateName(rooms_[2].name), "R2");
        EXPECT_STREQ(TranslateName(defs_[0].name), "D0");
    }
}

TEST_F(TranslationTest, EmptyNamesShowAsHashAndMissingFilesLeaveNamesAsStored) {
    PutStrings({"R0"});
    LoadTranslations(22, 0);
    EXPECT_STREQ(TranslateName(nullptr), "#");
    EXPECT_STREQ(TranslateName(""), "#");
    EXPECT_STREQ(TranslateName(rooms_[0].name), "R0");
    LoadTranslations(23, 0);
    EXPECT_EQ(TranslationCount, 0);
    EXPECT_STREQ(TranslateName(rooms_[0].name), "Hall");
    EXPECT_STREQ(TranslateName(""), "#");
    EXPECT_NE(ReadFile("debug.txt").find(".\\ms23\\f_string.txt translation kit was not found ..."), std::string::npos);
    EXPECT_EQ(AddTranslationSlot(rooms_[0].name), nullptr);
    EXPECT_EQ(BindTranslation(rooms_[0].name, "x"), 0);
    // The name list alone: nothing translated, but names can be bound.
    CollectNames(0);
    EXPECT_EQ(TranslationCount, 8 + kTranslationSpare);
    EXPECT_STREQ(TranslateName(rooms_[0].name), "Hall");
    EXPECT_EQ(BindTranslation(rooms_[0].name, "Hall of kings"), 1);
    EXPECT_STREQ(TranslateName(rooms_[0].name), "Hall of kings");
}

TEST_F(TranslationTest, LongLinesAreCutWithoutShiftingTheNextNames) {
    PutStrings({std::string(100, 'a'), "R1", "R2"});
    LoadTranslations(22, 0);
    EXPECT_EQ(std::string(TranslateName(rooms_[0].name)), std::string(63, 'a'));
    EXPECT_STREQ(TranslateName(rooms_[1].name), "R1");
    EXPECT_STREQ(TranslateName(rooms_[2].name), "R2");
}

TEST_F(TranslationTest, RunTimeNamesTakeTheFreePlacesUpToTheCapacity) {
    // More lines than places: the file cannot reach past the capacity.
    std::vector<std::string> lines(8 + kTranslationSpare + 10, "line");
    PutStrings(lines);
    LoadTranslations(22, 0);
    const int32_t capacity = TranslationCount;
    ASSERT_EQ(capacity, 8 + kTranslationSpare);
    // A name already listed keeps its place.
    char* own = AddTranslationSlot(objects_[1].name);
    ASSERT_NE(own, nullptr);
    EXPECT_STREQ(own, "");
    std::strcpy(own, "carried key");
    EXPECT_STREQ(TranslateName(objects_[1].name), "carried key");
    EXPECT_STREQ(TranslateName(objects_[0].name), "line");
    std::vector<std::string> extra(kTranslationSpare + 1, "n");
    int bound = 0;
    for (std::string& name : extra) bound += BindTranslation(name.c_str(), std::string(80, 'b').c_str());
    EXPECT_EQ(bound, kTranslationSpare) << "one capacity for names and lines";
    EXPECT_EQ(std::string(TranslateName(extra[0].c_str())), std::string(63, 'b'));
    EXPECT_STREQ(TranslateName(extra.back().c_str()), "n");
    EXPECT_EQ(TranslationCount, capacity);
    DumpTranslations();
    EXPECT_NE(ReadFile("debug.txt").find("7:KEY = carried key"), std::string::npos);
}

TEST_F(TranslationTest, TheKitListsTheNamesWithCrLfAndKeepsAnExistingFile) {
    PutStrings({"R0"});
    LoadTranslations(22, 1);  // the running lists use the restored places
    ASSERT_EQ(WriteTranslationKit(), 1);
    EXPECT_EQ(ReadFile("e_string.txt"), "Hall\r\nHALL\r\nCrypt\r\nhero\r\nguard\r\nGuard\r\nkey\r\nKEY\r\n");
    EXPECT_STREQ(TranslateName(rooms_[0].name), "R0") << "the running lists are left alone";
    WriteFile("e_string.txt", "mine");
    EXPECT_EQ(WriteTranslationKit(), 0);
    EXPECT_EQ(ReadFile("e_string.txt"), "mine");
}

}  // namespace
