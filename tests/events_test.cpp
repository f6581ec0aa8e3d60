// Scripted events over tables built in memory: the frame's walk (start
// delays, links, the near-phrase, contact and repeat-timer paths, the
// collapse, the action order), the room an event picks, the walks the
// objects, doors, rooms and uses ask, the special actions, the fields that
// clear themselves, and malformed tables that must still end.  Frames run
// on the virtual clock with a fixed frame step.
#include "mission_fixtures.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_doors.h"
#include "game/dqx_events.h"
#include "game/dqx_lookup.h"
#include "game/dqx_messages.h"
#include "game/dqx_subtitles.h"
#include "game/dqx_objects.h"
#include "game/dqx_overlay.h"
#include "game/game_state.h"
#include "game/object_slots.h"
#include "host/headless/headless.h"
#include "platform/step_log.h"
#include "tests/memory_file.h"
#include "tools/kit/f3dc_writer.h"
#include "tools/kit/script_writer.h"
#include "tools/kit/shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Runs f on a thread of its own; a walk that has not ended after two
// seconds fails the test by ending its process (each test runs alone), so a
// hang never blocks the suite.
template <class F>
void Watchdog(F f) {
    auto task = std::make_shared<std::packaged_task<void()>>(f);
    std::future<void> done = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (done.wait_for(std::chrono::seconds(2)) == std::future_status::ready) {
        done.get();
        return;
    }
    std::fprintf(stderr, "the event walk did not end\n");
    std::fflush(stderr);
    std::_Exit(1);
}

int Calls(const char* what) {
    return int(std::count_if(g_GameCalls.begin(), g_GameCalls.end(), [&](const GameCall& c) { return c.what == what; }));
}

std::vector<int32_t> CallArgs(const char* what, const CharacterRecord* c = nullptr) {
    std::vector<int32_t> a;
    for (const GameCall& g : g_GameCalls)
        if (g.what == what && (!c || g.character == c)) a.push_back(g.a);
    return a;
}

// Three rooms ("hall", where the hero stands, "crypt", "tower"); the hero
// (slot 0), a guard in the hall (slot 1) and a ghost in the crypt (slot 2);
// two objects, a key lying in the hall beside the guard and a lamp in the
// tower.  Frames move by 1 tick unless a test says otherwise, sound off.
class EventsTest : public test::Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        savedState_ = GameState;
        savedLoop_ = GameLoopState;
        savedMission_ = MissionNumber;
        savedSound_ = g_SoundOn;
        savedStep_ = GameTimer.DeltaUnits;
        GameState = GameStateRecord{};
        GameLoopState = kLoopPlay;
        MissionNumber = 7;
        g_SoundOn = 0;
        GameTimer.DeltaUnits = 1;
        host::headless::SetClock(0);
        EventDrainDone = 0;
        records_.assign(kCharacterSlots, CharacterRecord{});
        anims_.assign(kCharacterSlots, CharacterAnimState{});
        defs_[0] = TestDef("hero", 0, 255);
        defs_[1] = TestDef("guard", 0, 255);
        defs_[2] = TestDef("ghost", 0, 255);
        const int32_t rooms[3] = {0, 0, 1};
        for (int i = 0; i < 3; ++i) {
            defs_[i].room = rooms[i];
            defs_[i].life = 100;
            defs_[i].shown = 1;
            records_[size_t(i)].def = &defs_[i];
            records_[size_t(i)].present = 1;
            Set_Identity(&records_[size_t(i)].orientation);
        }
        records_[1].position = {1000, 0, 0};
        records_[2].position = {0, 0, 9000};
        rooms_[0] = TestRoom("hall", 0, nullptr);
        rooms_[1] = TestRoom("crypt", 0, nullptr);
        rooms_[2] = TestRoom("tower", 0, nullptr);
        rooms_[1].position = {5000, 0, 0};
        rooms_[2].position = {9000, 0, 0};
        objects_[0] = ObjectRecord{};
        std::snprintf(objects_[0].name, sizeof objects_[0].name, "key");
        objects_[0].position = {1100, 0, 0};
        objects_[0].takeable = objects_[0].takeableCopy = 1;
        objects_[1] = ObjectRecord{};
        std::snprintf(objects_[1].name, sizeof objects_[1].name, "lamp");
        objects_[1].room = 2;
        objects_[1].index = 1;
        mission_ = TestMission(3, defs_, 3, rooms_);
        mission_.objects = objects_;
        mission_.objectCount = 2;
        savedMissionPtr_ = MissionPtr;
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        CurrentRoomPtr = &rooms_[0];
        CharacterTable = records_.data();
        CharacterAnimTable = anims_.data();
        ClearObjectSlots();
        ObjectSlots.count = 2;
        for (int i = 0; i < 2; ++i) {
            ObjectSlots.slots[i].object = &objects_[i];
            ObjectSlots.slots[i].state = kSlotSetUp;
        }
        events_.clear();
        EventTable = nullptr;
        EventCount = 0;
        StatusText[0] = 0;
        g_GameCalls.clear();
        g_StepLog.clear();
    }
    void TearDown() override {
        EventTable = nullptr;
        EventCount = 0;
        ClearObjectSlots();
        CharacterTable = nullptr;
        CharacterAnimTable = nullptr;
        MissionPtr = savedMissionPtr_;
        CurrentRoomPtr = nullptr;
        CurrentRoomIndex = 0;
        GameState = savedState_;
        GameLoopState = savedLoop_;
        MissionNumber = savedMission_;
        g_SoundOn = savedSound_;
        GameTimer.DeltaUnits = savedStep_;
        Engine3DTest::TearDown();
    }

    // An event of the character that holds at any step, in any room and
    // state, and does nothing.
    static ScriptEvent Open(uint8_t character = 0) {
        ScriptEvent e{};
        e.character = character;
        e.step = kAnyStep;
        e.roomCode = kAnyRoom;
        e.stateValue = kAnyState;
        return e;
    }
    // An open event that sets `flag` when it fires.
    static ScriptEvent Flagger(uint8_t flag, uint8_t character = 0) {
        ScriptEvent e = Open(character);
        e.flagKind = 7;
        e.flagIndex = flag;
        return e;
    }
    void Table(std::vector<ScriptEvent> events) {
        events_ = std::move(events);
        EventTable = events_.empty() ? nullptr : events_.data();
        EventCount = int32_t(events_.size());
    }
    void Frame(int frames = 1) {
        for (int i = 0; i < frames; ++i) Watchdog([] { RunEvents(0); });
    }
    uint8_t Flag(int i) const { return GameState.eventFlags[i]; }
    CharacterRecord& C(int i) { return records_[size_t(i)]; }

    std::vector<CharacterRecord> records_;
    std::vector<CharacterAnimState> anims_;
    CharacterDef defs_[3];
    RoomRecord rooms_[3];
    ObjectRecord objects_[2];
    MissionRecord mission_{};
    std::vector<ScriptEvent> events_;
    GameStateRecord savedState_{};
    MissionRecord* savedMissionPtr_ = nullptr;
    int32_t savedLoop_ = 0, savedStep_ = 0;
    uint8_t savedMission_ = 0, savedSound_ = 0;
};

// --- the frame's walk ----------------------------------------------------------

TEST_F(EventsTest, AStartDelayFiresOnlyOnTheFrameAfterItRanOut) {
    struct Row {
        int32_t delay, step;
        int firstFiringFrame;
    };
    // The delay falls by the frame step, not below 0, on frames whose
    // conditions hold; the frame it reaches 0 still does not fire.
    for (const Row& r : {Row{0, 1, 1}, Row{3, 1, 4}, Row{5, 3, 3}, Row{1, 4, 2}, Row{6, 3, 3}}) {
        SCOPED_TRACE(testing::Message() << "delay " << r.delay << " step " << r.step);
        GameState.eventFlags[9] = 0;
        ScriptEvent e = Flagger(9);
        e.startDelay = r.delay;
        Table({e});
        GameTimer.DeltaUnits = r.step;
        for (int frame = 1; frame <= r.firstFiringFrame; ++frame) {
            Frame();
            const bool fires = frame == r.firstFiringFrame;
            EXPECT_EQ(Flag(9), fires ? 1 : 0) << "frame " << frame;
            EXPECT_EQ(events_[0].fired, fires ? 1 : 0) << "frame " << frame;
        }
        EXPECT_EQ(events_[0].startDelay, 0);
    }
}

TEST_F(EventsTest, EventsWhoseConditionsFailDoNotFire) {
    struct Row {
        const char* what;
        void (*change)(ScriptEvent&);
        bool fires;
    };
    const Row rows[] = {
        {"open", [](ScriptEvent&) {}, true},
        {"finished", [](ScriptEvent& e) { e.state = kEventFinished; }, false},
        {"another step", [](ScriptEvent& e) { e.step = 3; }, false},
        {"another room", [](ScriptEvent& e) { e.roomCode = 1; }, false},
        {"another state", [](ScriptEvent& e) { e.stateValue = 4; }, false},
        {"its flag test fails", [](ScriptEvent& e) { e.flagA = 30, e.flagOperator = 1; }, false},
        {"a character without a definition", [](ScriptEvent& e) { e.character = 5; }, false},
        {"waiting for its object (once bits unarmed)", [](ScriptEvent& e) { e.onceBits = 1; }, false},
        {"armed", [](ScriptEvent& e) { e.onceBits = 1 | 0x40; }, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameState.eventFlags[9] = 0;
        ScriptEvent e = Flagger(9);
        r.change(e);
        Table({e});
        Frame();
        EXPECT_EQ(Flag(9), r.fires ? 1 : 0);
    }
    // Firing clears the armed bit: the event waits for its object again.
    EXPECT_EQ(events_[0].onceBits, 1);
}

TEST_F(EventsTest, AnEmptyTableAndADyingHeroRunNothing) {
    Table({});
    Frame();
    EXPECT_EQ(CallArgs("MissionEventHook"), std::vector<int32_t>{0});
    Table({Flagger(9)});
    defs_[0].dying = 2;
    Frame();
    EXPECT_EQ(Flag(9), 0);
    EXPECT_EQ(Calls("MissionEventHook"), 1);
    defs_[0].dying = 0;
    Frame();
    EXPECT_EQ(Flag(9), 1);
}

// Five events, each setting flag 10 + its index when it fires.
struct LinkRow {
    const char* what;
    int linked;        // the event that carries the link
    uint8_t link;
    std::set<int> walked;   // by RunEvents
    std::vector<int> asked; // by ForEachActiveEvent, in order
};

TEST_F(EventsTest, LinksShortenTheWalkAndSkipInForEachActiveEvent) {
    const LinkRow rows[] = {
        {"no link", -1, 0, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}},
        // The walk's counter jumps to 3 while its record runs on: event 2
        // is the last walked.  The query walk goes on at event 3.
        {"forward", 1, 3, {0, 1, 2}, {0, 1, 3, 4}},
        {"to the last", 0, 4, {0}, {0, 4}},
        {"past the table", 1, 200, {0, 1}, {0, 1}},
        // Links that do not lead ahead: the frame's walk ignores them, the
        // query walk ends there.
        {"to itself", 1, 1, {0, 1, 2, 3, 4}, {0, 1}},
        {"back", 3, 1, {0, 1, 2, 3, 4}, {0, 1, 2, 3}},
        {"back from the end", 4, 1, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}},
    };
    for (const LinkRow& r : rows) {
        SCOPED_TRACE(r.what);
        std::memset(GameState.eventFlags, 0, sizeof GameState.eventFlags);
        std::vector<ScriptEvent> table;
        for (int i = 0; i < 5; ++i) table.push_back(Flagger(uint8_t(10 + i)));
        if (r.linked >= 0) table[size_t(r.linked)].link = r.link;
        Table(table);
        std::vector<int> asked;
        Watchdog([&] {
            ForEachActiveEvent(
                [](ScriptEvent* e, void* data) {
                    static_cast<std::vector<int>*>(data)->push_back(int(e - EventTable));
                },
                &asked);
        });
        EXPECT_EQ(asked, r.asked);
        Frame();
        std::set<int> walked;
        for (int i = 0; i < 5; ++i)
            if (Flag(10 + i)) walked.insert(i);
        EXPECT_EQ(walked, r.walked);
    }
}

TEST_F(EventsTest, ForEachEventAsksEveryUnfinishedEventOfTheStep) {
    std::vector<ScriptEvent> table(4, Open());
    table[0].roomCode = 2;         // another room: still asked
    table[1].state = kEventFinished;
    table[2].step = 7;             // another step
    table[3].character = 2;        // the ghost in the crypt
    table[3].link = 1;             // no links
    Table(table);
    std::vector<int> asked;
    ForEachEvent([](ScriptEvent* e, void* data) { static_cast<std::vector<int>*>(data)->push_back(int(e - EventTable)); },
                 &asked);
    EXPECT_EQ(asked, (std::vector<int>{0, 3}));
}

// Tables no one should write: each walk still ends, nothing is indexed past
// the table and no countdown starts under an id that has no done byte.
TEST_F(EventsTest, MalformedTablesEnd) {
    struct Row {
        const char* what;
        void (*make)(std::vector<ScriptEvent>&);
    };
    const Row rows[] = {
        {"a back link", [](std::vector<ScriptEvent>& t) { t[2].link = 0 + 1; }},
        {"a self link", [](std::vector<ScriptEvent>& t) { t[1].link = 1; }},
        {"every event linked back", [](std::vector<ScriptEvent>& t) {
             for (ScriptEvent& e : t) e.link = 1;
         }},
        {"room code 255 for the guard", [](std::vector<ScriptEvent>& t) { t[1].moveRoom = 255; }},
        {"message 16", [](std::vector<ScriptEvent>& t) { t[0].messageNumber = 16, t[0].messageDelay = 5; }},
        {"timer id 200", [](std::vector<ScriptEvent>& t) { t[0].messageNumber = 200; }},
        {"an armed event past the table", [](std::vector<ScriptEvent>& t) {
             t[0].armEvent = 200;
             t[0].finishArmed = 1;
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        // A mission of one room, which the hero has entered.
        mission_.roomCount = 1;
        rooms_[0].flags = 1;
        std::vector<ScriptEvent> table = {Flagger(10), Flagger(11, 1), Flagger(12)};
        r.make(table);
        Table(table);
        const int32_t guardRoom = defs_[1].room;
        Frame(3);
        Watchdog([] { ForEachActiveEvent([](ScriptEvent*, void*) {}, nullptr); });
        Watchdog([] { RunRoomEntryEvents(); });
        EXPECT_EQ(defs_[1].room, guardRoom);
        for (int i = 0; i < kEventTimers; ++i) EXPECT_EQ(GameState.eventTimers[i], 0);
        EXPECT_EQ(Flag(10), 1);
    }
}

// --- the room an event picks ---------------------------------------------------

TEST_F(EventsTest, PickEventRoomNamesOnlyRoomsOfTheMission) {
    struct Row {
        const char* what;
        int32_t code, characterRoom, roomCount;
        uint8_t flags[3];
        std::set<int32_t> picks;  // every answer seen over many draws
    };
    const Row rows[] = {
        {"a room code", 2, 0, 3, {0, 0, 0}, {1}},
        {"the current room", 128, 2, 3, {1, 1, 1}, {0}},
        {"a code above 128", 130, 0, 3, {0, 0, 0}, {kNoEventRoom}},
        {"the last room", 3, 0, 3, {0, 0, 0}, {2}},
        {"a code at the room count", 4, 0, 3, {0, 0, 0}, {kNoEventRoom}},
        {"no code", 0, 0, 3, {0, 0, 0}, {kNoEventRoom}},
        {"255: a room never entered, not the character's", 255, 1, 3, {1, 0, 0}, {2}},
        {"255: either of two", 255, 0, 3, {1, 0, 0}, {1, 2}},
        {"255: every room entered", 255, 0, 3, {1, 1, 1}, {kNoEventRoom}},
        {"255: a mission of one room", 255, 0, 1, {0, 0, 0}, {kNoEventRoom}},
        {"255: only the character's room", 255, 2, 3, {1, 1, 0}, {kNoEventRoom}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        mission_.roomCount = r.roomCount;
        for (int i = 0; i < 3; ++i) rooms_[i].flags = r.flags[i];
        std::set<int32_t> picks;
        for (int n = 0; n < 64; ++n) picks.insert(PickEventRoom(r.code, r.characterRoom));
        EXPECT_EQ(picks, r.picks);
    }
}

TEST_F(EventsTest, AnEventMovesItsCharacterToItsRoom) {
    struct Row {
        const char* what;
        uint8_t character;
        uint8_t code;
        int32_t life;
        int32_t room;          // the character's room afterwards
        uint8_t pendingTicks;  // the hero's room change
        uint8_t state;         // the event's state afterwards (it was 1)
    };
    const Row rows[] = {
        {"the hero goes through the room change", 0, 2, 100, 0, 2, kEventFinished},
        {"a guard the hero sees stays", 1, 3, 100, 0, 0, 1},
        {"a ghost elsewhere is placed in the room", 2, 3, 100, 2, 0, kEventFinished},
        {"a dead ghost's model goes, its room is set", 2, 3, -5, 2, 0, kEventFinished},
        {"no room: nobody moves", 2, 200, 100, 1, 0, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        defs_[0].room = 0, defs_[1].room = 0, defs_[2].room = 1;
        defs_[2].life = r.life;
        defs_[2].flags = 0;
        defs_[2].lockOn = 1;
        GameState.pendingRoomTicks = 0;
        ScriptEvent e = Open(r.character);
        e.moveRoom = r.code;
        e.state = 1;
        Table({e});
        g_StepLog.clear();
        Frame();
        EXPECT_EQ(defs_[r.character].room, r.room);
        EXPECT_EQ(GameState.pendingRoomTicks, r.pendingTicks);
        if (r.pendingTicks) {
            EXPECT_EQ(GameState.pendingRoom, 1);
            EXPECT_NE(std::find(g_StepLog.begin(), g_StepLog.end(), "RunArrivalEvents"), g_StepLog.end());
        }
        EXPECT_EQ(events_[0].state, r.state);
        if (r.character == 2 && r.room == 2) {
            // Without a model it waits at the room's entry to be placed,
            // hidden and not locked on; a living one is shown again by the
            // event's own character bits (bit 2 clear), which come later; a
            // dead one ends the event first and is no longer shown.
            const bool alive = r.life > 0;
            EXPECT_EQ(defs_[2].position.x, 9000);
            EXPECT_EQ(defs_[2].placement, 0);
            EXPECT_EQ(defs_[2].flags & 4, alive ? 0 : 4);
            EXPECT_EQ(defs_[2].lockOn, alive ? 1 : 0);
            EXPECT_EQ(defs_[2].shown, alive ? 1 : 0);
        }
        defs_[2].shown = 1;
        defs_[2].position = {};
    }
}

// The ghost in the crypt sent to the tower (entry point x 9000): put there
// only while the current room's placing byte allows it and its model is in
// the scene; otherwise its definition waits at the entry to be placed.
TEST_F(EventsTest, AMovedCharacterIsPlacedByTheCurrentRoomsPlacingByte) {
    Put(".\\t\\ghost.3dc", kit::BuildObject(kit::Cube("ghost", 40, 0x07E0), nullptr));
    struct Row {
        uint8_t placing;
        bool model;
        bool placed;
    };
    const Row rows[] = {{1, true, true}, {0, true, false}, {1, false, false}, {0, false, false}};
    const Vec3 start{0, 0, 9000}, tower = rooms_[2].position;
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.placing) + (r.model ? " with a model" : " without a model"));
        rooms_[0].placing = r.placing;
        defs_[2].room = 1;
        defs_[2].position = start;
        defs_[2].placement = 1;
        C(2).position = start;
        C(2).model = r.model ? Load_SceneObject(".\\t\\ghost.3dc") : 0;
        if (r.model) {
            ASSERT_GT(C(2).model, 0);
            Set_ObjPos(C(2).model, &start);
        }
        ScriptEvent e = Open(2);
        e.moveRoom = 3;
        e.state = 1;
        Table({e});
        Frame();
        EXPECT_EQ(defs_[2].room, 2);
        const Vec3 record = C(2).position, def = defs_[2].position;
        EXPECT_EQ(record.x, r.placed ? tower.x : start.x);
        EXPECT_EQ(def.x, r.placed ? start.x : tower.x);
        EXPECT_EQ(defs_[2].placement, r.placed ? 1 : 0);
        if (r.model) {
            Vec3 at{};
            Get_ObjPos(C(2).model, &at);
            EXPECT_EQ(at.x, r.placed ? tower.x : start.x);
            Free_Object(C(2).model);
        }
        C(2).model = 0;
    }
}

// --- the paths of a living event ------------------------------------------------------

TEST_F(EventsTest, TheNearPhraseWaitsForTheHeroWithinTheSpeakingDistance) {
    struct Row {
        const char* what;
        int32_t heroX;  // the guard stands at x 1000
        int32_t distance;
        bool near;
    };
    // Get_Dist2 of 1000 units is 1000^2 >> 15 = 30.
    const Row rows[] = {
        {"within", 0, 31, true},
        {"at the distance", 0, 30, true},
        {"beyond", 0, 29, false},
        {"600: any distance", -20000, 600, true},
        {"beyond 599", -20000, 599, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        C(0).position = {r.heroX, 0, 0};
        C(0).inventoryCount = 0;
        C(1).controls = kCtlForward;
        objects_[1].takeable = 1;
        objects_[1].position = C(0).position;
        ObjectSlots.slots[1].flags = 0;
        ScriptEvent e = Open(1);
        e.phraseMode = 1;
        e.speakDistance = r.distance;
        e.giveObject = 2;  // the lamp
        e.repeatTimer = 0;
        Table({e});
        Frame();
        EXPECT_EQ(events_[0].giveObject, r.near ? 0 : 2);
        EXPECT_EQ(C(0).inventoryCount, r.near ? 1 : 0);
        // The given object raises the repeat timer to a frame step, which
        // this frame runs out: it restarts at 150, the guard stopped.
        EXPECT_EQ(events_[0].repeatTimer, r.near ? 150 : 0);
        EXPECT_EQ(C(1).controls, r.near ? 0 : kCtlForward);
    }
}

TEST_F(EventsTest, TheRepeatTimerRunsDownAndActs) {
    struct Row {
        const char* what;
        int32_t timer, step;
        uint8_t newState, timerAdvance, countUp, kind;
        uint8_t stateBefore;
        int framesToRunOut;
        int32_t timerAfter;
        uint8_t stateAfter, stepAfter;
        bool flagSet;
    };
    // The events carry an alternative phrase (68), which keeps the actions
    // of a firing event from setting the state and arming the phrase every
    // frame: only the timer's run-out acts.  Its actions that arm the
    // phrase set the timer to 350; a new state already reached holds it at
    // 700; without either it restarts at 150.
    const Row rows[] = {
        {"a new state", 5, 1, 3, 0, 0, 0, 2, 5, 350, 3, 0, false},
        {"a new state already reached (255 is 0)", 2, 2, 255, 0, 0, 0, 0, 1, 700, 0, 0, false},
        {"the step advances", 4, 3, 0, 1, 0, 0, 2, 2, 350, 0, 1, false},
        {"the state counts up", 3, 1, 0, 0, 1, 0, 2, 3, 350, 3, 0, false},
        {"kind 5 sets its flag", 1, 1, 0, 0, 0, 5, 2, 1, 150, 2, 0, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        defs_[1].state = r.stateBefore;
        GameState.progress[0] = 0;
        GameState.eventFlags[40] = 0;
        GameState.eventFlags[41] = 1;
        GameTimer.DeltaUnits = r.step;
        ScriptEvent e = Open(1);
        e.repeatTimer = r.timer;
        e.newState = r.newState;
        e.timerAdvance = r.timerAdvance;
        e.countUp = r.countUp;
        e.flagKind = r.kind;
        e.flagIndex = 40;
        e.clearFlag = 41;
        e.phraseA = 1;
        e.speakDistance = 600;
        Table({e});
        for (int f = 1; f < r.framesToRunOut; ++f) Frame();
        EXPECT_EQ(events_[0].repeatTimer, r.timer - (r.framesToRunOut - 1) * r.step);
        EXPECT_EQ(defs_[1].state, r.stateBefore);
        EXPECT_EQ(Flag(41), 1);
        Frame();
        EXPECT_EQ(C(1).controls, 0);
        EXPECT_EQ(events_[0].repeatTimer, r.timerAfter);
        EXPECT_EQ(defs_[1].state, r.stateAfter);
        EXPECT_EQ(GameState.progress[0], r.stepAfter);
        EXPECT_EQ(Flag(40), r.flagSet ? 1 : 0);
        EXPECT_EQ(Flag(41), 0);
    }
}

TEST_F(EventsTest, ACollapseEndsTheWalkUntilTheNextFrame) {
    ScriptEvent fall = Open(1);
    fall.repeatTimer = 1;
    fall.collapse = 1;
    fall.speakDistance = 600;
    Table({fall, Flagger(20)});
    Frame();
    EXPECT_EQ(C(1).collapsed, 1);
    EXPECT_EQ(C(1).flags2 & 0x0A, 0x0A);
    EXPECT_EQ(C(1).defaultAnim, 18);
    EXPECT_EQ(CallArgs("SetCharacterAnim", &C(1)), std::vector<int32_t>{18});
    EXPECT_EQ(Flag(20), 0);  // the walk ended at the collapse
    Frame();
    EXPECT_EQ(Flag(20), 1);  // the timer restarted at 150: the walk goes on
}

TEST_F(EventsTest, TheContactPathWaitsForTheObject) {
    struct Row {
        const char* what;
        Vec3 key;         // where the key lies (the guard stands at x 1000)
        bool carried;     // the guard carries it
        uint8_t hold;
        bool touches;
    };
    const Row rows[] = {
        {"lying beside the guard", {1100, 0, 0}, false, 0, true},
        {"out of reach", {2000, 0, 0}, false, 0, false},
        {"carried by the guard", {9000, 0, 0}, true, 0, true},
        {"a held guard skips the path", {1100, 0, 0}, false, 1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        objects_[0].position = r.key;
        C(1).inventoryCount = 0;
        if (r.carried) {
            C(1).inventory[0] = &ObjectSlots.slots[0];
            C(1).inventoryCount = 1;
        }
        C(1).hold = r.hold;
        defs_[1].state = 1;
        GameState.progress[0] = 0;
        GameState.eventFlags[50] = 0;
        ScriptEvent e = Open(1);
        e.contactObject = 1;
        e.flagKind = 7;
        e.flagIndex = 50;
        e.contactStateUp = 1;
        e.contactTimer = 2;
        e.speakDistance = 600;
        Table({e});
        g_GameCalls.clear();
        Frame();
        EXPECT_EQ(Flag(50), r.touches ? 1 : 0);
        EXPECT_EQ(defs_[1].state, r.touches ? 2 : 1);
        const std::vector<int32_t> anims = CallArgs("SetCharacterAnim", &C(1));
        EXPECT_EQ(std::count(anims.begin(), anims.end(), 8), r.touches ? 1 : 0);
        if (r.hold) continue;
        // The timer runs down (a contact arms the phrase, which sets it to
        // 10 first); once out, the call-out phrase of mode 2 is tried and,
        // when it does not start (no dialogue lines), the timer waits 300
        // ticks.
        EXPECT_EQ(events_[0].contactTimer, r.touches ? 9 : 1);
        if (r.touches) continue;
        Frame();
        EXPECT_EQ(events_[0].contactTimer, 300);
    }
}

// --- actions -------------------------------------------------------------------------

TEST_F(EventsTest, SpecialActions) {
    struct Row {
        const char* what;
        uint8_t action;
        int32_t loop;        // GameLoopState afterwards
        int heroAnims17;
        uint8_t stepAfter;
        uint8_t actionAfter;
    };
    const Row rows[] = {
        {"8: the game is finished", 8, kLoopFinished, 0, 0, 8},
        {"66: the quit prompt", 66, kLoopQuitPrompt, 0, 0, 66},
        {"3: the hero's animation 17", 3, kLoopPlay, 1, 0, 3},
        {"2: the others die, the step advances", 2, kLoopPlay, 0, 1, 2},
        {"1: the camera lifted once", 1, kLoopPlay, 0, 0, 0},
        {"an unknown action", 99, kLoopPlay, 0, 0, 99},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameLoopState = kLoopPlay;
        GameState.progress[0] = 0;
        C(1).special = 0;
        C(1).controls = kCtlForward;
        Vec3 camera{};
        ASSERT_EQ(Get_ObjPos(0, &camera), 0);
        ScriptEvent e = Open();
        e.specialAction = r.action;
        e.speakDistance = 600;
        Table({e});
        g_GameCalls.clear();
        Frame();
        EXPECT_EQ(GameLoopState, r.loop);
        EXPECT_EQ(CallArgs("SetCharacterAnim", &C(0)), std::vector<int32_t>(size_t(r.heroAnims17), 17));
        EXPECT_EQ(GameState.progress[0], r.stepAfter);
        EXPECT_EQ(events_[0].specialAction, r.actionAfter);
        Vec3 after{};
        Get_ObjPos(0, &after);
        EXPECT_EQ(after.z - camera.z, r.action == 1 ? 400 : 0);
        if (r.action == 2) {
            EXPECT_EQ(C(1).special, 4);
            EXPECT_EQ(C(1).controls, 0);
            EXPECT_EQ(CallArgs("SetCharacterAnim", &C(1)), std::vector<int32_t>{22});
        }
    }
    // 3 gives nothing while the hero's special state forbids the quick
    // save (dying, held by a scene, scripted); an event's hold alone does
    // not stop it.
    struct Held {
        uint8_t special, lock;
        size_t anims;
    };
    for (const Held& h : {Held{4, 0, 0}, Held{8, 0, 0}, Held{16, 0, 0}, Held{32, 0, 0}, Held{0, 1, 1}}) {
        SCOPED_TRACE(int(h.special) * 10 + h.lock);
        C(0).special = h.special;
        C(0).lock = h.lock;
        events_[0].specialAction = 3;
        g_GameCalls.clear();
        Frame();
        EXPECT_EQ(CallArgs("SetCharacterAnim", &C(0)), std::vector<int32_t>(h.anims, 17));
    }
}

TEST_F(EventsTest, TheEnergyDrainRunsAtMostOnceIn15Seconds) {
    defs_[0].energy = 12;
    ScriptEvent e = Open();
    e.specialAction = 20;
    e.speakDistance = 600;
    Table({e});
    struct Step {
        uint64_t ms;
        int32_t energy;
    };
    // The first drain at once, each next one 15000 ms after the last; an
    // energy of 0 is not drained.
    for (const Step& s : {Step{0, 7}, Step{14999, 7}, Step{15000, 2}, Step{29999, 2}, Step{30000, -3}, Step{60000, -8}}) {
        SCOPED_TRACE(s.ms);
        host::headless::SetClock(s.ms * 1000);
        Frame();
        EXPECT_EQ(defs_[0].energy, s.energy);
    }
    defs_[0].energy = 0;
    host::headless::SetClock(200000 * 1000ull);
    Frame();
    EXPECT_EQ(defs_[0].energy, 0);
}

TEST_F(EventsTest, OneShotFieldsClearThemselves) {
    // 121 a sound, 55 an object given after the near phrase, 57 a use
    // number: each acts once, so a restored save does not repeat it.
    C(0).position = objects_[1].position = {0, 0, 0};
    objects_[1].takeable = 1;
    ScriptEvent sound = Open();
    sound.sound = 4;
    sound.speakDistance = 600;
    ScriptEvent give = Open(1);
    give.phraseMode = 1;
    give.speakDistance = 600;
    give.giveObject = 2;
    ScriptEvent use = Open();
    use.useNumber = 130;
    Table({sound, give, use});
    Frame();
    EXPECT_EQ(events_[0].sound, 0);
    EXPECT_EQ(events_[1].giveObject, 0);
    EXPECT_EQ(CallArgs("GiveObject"), std::vector<int32_t>{1});
    EXPECT_EQ(QueryUseEvent(&C(0), 130), 0);
    EXPECT_EQ(events_[2].useNumber, 0);
    EXPECT_EQ(GameState.progress[0], 1);
    Frame();
    QueryUseEvent(&C(0), 130);
    EXPECT_EQ(CallArgs("GiveObject"), std::vector<int32_t>{1});
    EXPECT_EQ(GameState.progress[0], 1);
}

TEST_F(EventsTest, TheStepSetByAnEventAdvancesOnce) {
    ScriptEvent e = Open();
    e.setStep = 5;
    e.speakDistance = 600;
    e.step = 0;
    e.stepNotBefore = 1;  // holds from step 0 on
    Table({e});
    Frame();
    EXPECT_EQ(GameState.progress[0], 5);
    Frame();
    EXPECT_EQ(GameState.progress[0], 5);
    EXPECT_EQ(Calls("AdvanceStep"), 1);
}

TEST_F(EventsTest, AdvanceStepClearsStatesAndHoldsAndMovesTheHeroAtStep8) {
    struct Row {
        uint8_t mission, step;
        int anims;
    };
    for (const Row& r : {Row{7, 8, 1}, Row{4, 8, 0}, Row{7, 7, 0}, Row{7, 9, 0}}) {
        SCOPED_TRACE(int(r.mission) * 100 + r.step);
        MissionNumber = r.mission;
        GameState.progress[0] = r.step;
        for (int i = 0; i < 3; ++i) defs_[i].state = 3, C(i).hold = 1;
        C(0).lock = 1;
        g_GameCalls.clear();
        AdvanceStep();
        EXPECT_EQ(GameState.progress[0], r.step + 1);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(defs_[i].state, 0);
            EXPECT_EQ(C(i).hold, 0);
        }
        EXPECT_EQ(C(0).lock, 0);
        EXPECT_EQ(CallArgs("SetCharacterAnim", &C(0)), std::vector<int32_t>(size_t(r.anims), 17));
    }
}

TEST_F(EventsTest, TheStoryState) {
    struct Row {
        uint8_t before, value, after;
    };
    const Row rows[] = {{9, 3, 3}, {1, 4, 4}, {4, 16, 20}, {1, 2, 3}, {4, 2, 4}, {5, 1, 5}, {7, 8, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.before) << " with " << int(r.value));
        GameState.storyState = r.before;
        ScriptEvent e = Open();
        e.storyState = r.value;
        e.speakDistance = 600;
        Table({e});
        Frame();
        EXPECT_EQ(GameState.storyState, r.after);
    }
}

TEST_F(EventsTest, TheCharacterBitsReachTheDefinition) {
    struct Row {
        uint8_t bits, flagsBefore, lockBefore;
        uint8_t flags, lock;
        int32_t life;
        uint8_t hold;
    };
    const Row rows[] = {
        {0x01 | 0x02, 0, 1, 0x03, 1, 100, 0},
        {0x08, 0, 1, 0x08, 1, 1000, 0},
        {0x20, 0x01, 1, 0x10, 1, 100, 0},        // bit 0 clear clears flag 1
        {0x04, 0, 1, 0x04, 0, 100, 0},           // newly hidden: lock-on off
        {0x04, 0x04, 1, 0x04, 1, 100, 0},        // already hidden
        {0x00, 0x04, 0, 0x00, 1, 100, 0},        // shown again: lock-on on
        {0xC0, 0x01, 1, 0x60, 1, 100, 0},        // 6 and 7 only set
        {0x10, 0, 1, 0x00, 1, 100, 1},           // held by the event
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.bits));
        defs_[1].flags = r.flagsBefore;
        defs_[1].lockOn = r.lockBefore;
        defs_[1].life = 100;
        C(1).hold = 0;
        C(1).flags2 = 0;
        ScriptEvent e = Open(1);
        e.characterFlags = r.bits;
        e.speakDistance = 600;
        Table({e});
        Frame();
        EXPECT_EQ(defs_[1].flags, r.flags);
        EXPECT_EQ(defs_[1].lockOn, r.lock);
        EXPECT_EQ(defs_[1].life, r.life);
        EXPECT_EQ(C(1).hold, r.hold);
        EXPECT_EQ(C(1).flags2 & 0x10, r.hold ? 0x10 : 0);
    }
}

TEST_F(EventsTest, ObjectsSwitchedPutBackActivatedAndReset) {
    ObjectSlots.slots[0].state = kSlotSetUp;
    objects_[0].takeable = 0;
    objects_[0].hidden = 1;
    objects_[1].hidden = 1;
    objects_[1].image[314] = 0;
    ScriptEvent e = Open();
    e.switchObject = 1;
    e.speakDistance = 600;
    Table({e});
    Frame();
    EXPECT_EQ(objects_[0].active, 2);
    EXPECT_EQ(ObjectSlots.slots[0].state, kSlotPlaced);
    e = Open();
    e.replaceObject = 1;
    e.activateObject = 2;
    e.speakDistance = 600;
    Table({e});
    Frame();
    EXPECT_EQ(objects_[0].active, 0);
    EXPECT_EQ(objects_[0].takeable, 1);  // from its byte as read
    EXPECT_EQ(objects_[0].hidden, 0);
    EXPECT_EQ(objects_[1].active, 1);
    e = Open();
    e.resetObject = 2;
    e.speakDistance = 600;
    Table({e});
    Frame();
    EXPECT_EQ(objects_[1].active, 0);
    EXPECT_EQ(objects_[1].hidden, 0);
    // Object numbers past the mission's objects touch nothing.
    e = Open();
    e.switchObject = e.replaceObject = e.activateObject = e.resetObject = 60;
    e.speakDistance = 600;
    Table({e});
    Frame();
}

// --- the query walks ------------------------------------------------------------------

TEST_F(EventsTest, TheTakeQuery) {
    struct Row {
        const char* what;
        void (*make)(ScriptEvent&);
        uint8_t flag;      // flag 60 afterwards (kind 14)
        bool portalOpen;
        int32_t answer;
        uint8_t once;      // the event's once bits afterwards
    };
    const Row rows[] = {
        {"no event about it", [](ScriptEvent&) {}, 0, false, 1, 0},
        {"an event waiting for it is armed", [](ScriptEvent& e) { e.onceBits = 1; }, 0, false, -1, 0x41},
        {"an event waiting for another object", [](ScriptEvent& e) { e.onceBits = 2; }, 0, false, 1, 2},
        {"kind 16 behind a shut door", [](ScriptEvent& e) { e.flagKind = 16, e.queryObject = 1, e.queryDoor = 1; }, 0,
         false, 0, 0},
        {"kind 16 behind an open door", [](ScriptEvent& e) { e.flagKind = 16, e.queryObject = 1, e.queryDoor = 1; },
         0, true, 1, 0},
        {"kind 16 waiting for a flag", [](ScriptEvent& e) { e.flagKind = 16, e.queryObject = 1, e.queryFlag = 61; },
         0, false, 0, 0},
        {"kind 16 about another object", [](ScriptEvent& e) { e.flagKind = 16, e.queryObject = 2, e.queryFlag = 61; },
         0, false, 1, 0},
        {"kind 14: whether the hero carries the lamp", [](ScriptEvent& e) {
             e.flagKind = 14, e.queryObject = 2, e.queryDoor = 60;
         }, 1, false, 1, 0},
    };
    C(0).inventory[0] = &ObjectSlots.slots[1];
    C(0).inventoryCount = 1;
    PortalDoorCount = 1;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameState.eventFlags[60] = 0;
        PortalDoors[0].open = r.portalOpen;
        ScriptEvent e = Open();
        r.make(e);
        Table({e});
        EXPECT_EQ(QueryObjectTake(&C(0), &objects_[0]), r.answer);
        EXPECT_EQ(Flag(60), r.flag);
        EXPECT_EQ(events_[0].onceBits, r.once);
    }
    PortalDoorCount = 0;
    PortalDoors[0] = PortalDoor{};
}

TEST_F(EventsTest, TheUseAndTouchQueries) {
    struct Row {
        const char* what;
        void (*make)(ScriptEvent&);
        bool touch;        // asked as an object put down, else as a use
        int32_t answer;    // of the use
        uint8_t flagBefore, flag;  // flag 70
        uint8_t step;
    };
    // The hero holds the key (asked about) and has the lamp selected.
    const Row rows[] = {
        {"nothing about the key", [](ScriptEvent&) {}, false, 0, 0, 0, 0},
        {"kind 3 on the key sets its flag", [](ScriptEvent& e) { e.flagKind = 3, e.flagObject = 1; }, false, 1, 0, 1,
         0},
        {"kind 3 on the lamp", [](ScriptEvent& e) { e.flagKind = 3, e.flagObject = 2; }, false, 0, 0, 0, 0},
        {"kind 11 on the key clears its flag", [](ScriptEvent& e) { e.flagKind = 11, e.flagObject = 1; }, false, 1, 1,
         0, 0},
        {"kind 2 on the selected lamp", [](ScriptEvent& e) { e.flagKind = 2, e.flagObject = 2; }, false, 1, 0, 1, 0},
        {"kind 11 on the selected lamp, put down", [](ScriptEvent& e) { e.flagKind = 11, e.flagObject = 2; }, true, 0,
         0, 1, 0},
        {"kind 11 on an object asked about by neither: whether the hero carries it",
         [](ScriptEvent& e) { e.flagKind = 11, e.flagObject = 2; }, false, 0, 0, 1, 0},
        {"80 on the key advances the step", [](ScriptEvent& e) { e.useAdvanceA = 1; }, false, 1, 0, 0, 1},
        {"81 on the key advances the step", [](ScriptEvent& e) { e.useAdvanceB = 1; }, false, 1, 0, 0, 1},
        {"put down: kind 3 on the key", [](ScriptEvent& e) { e.flagKind = 3, e.flagObject = 1; }, true, 0, 0, 1, 0},
    };
    C(0).inventory[0] = &ObjectSlots.slots[0];
    C(0).inventory[1] = &ObjectSlots.slots[1];
    C(0).inventoryCount = 2;
    C(0).selectedEntry = 2;
    objects_[0].index = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameState.progress[0] = 0;
        GameState.eventFlags[70] = r.flagBefore;
        // The lamp is selected, but where the row asks about neither.
        C(0).selectedEntry = std::strstr(r.what, "neither") ? 1 : 2;
        ScriptEvent e = Open();
        e.flagIndex = 70;
        r.make(e);
        Table({e});
        if (r.touch) QueryObjectTouch(&C(0), &objects_[0]);
        else EXPECT_EQ(QueryObjectUse(&C(0), &objects_[0]), r.answer);
        EXPECT_EQ(Flag(70), r.flag);
        EXPECT_EQ(GameState.progress[0], r.step);
    }
}

TEST_F(EventsTest, TouchingTheLegacyObjectCallsTheMissionHook) {
    std::snprintf(objects_[0].name, sizeof objects_[0].name, "Com Legacy");
    struct Row {
        uint8_t step, story;
        int32_t guardRoom;
        int hooks;
    };
    for (const Row& r : {Row{5, 2, 0, 1}, Row{4, 2, 0, 0}, Row{5, 3, 0, 0}, Row{5, 2, 1, 0}}) {
        SCOPED_TRACE(testing::Message() << int(r.step) << " " << int(r.story) << " " << r.guardRoom);
        GameState.progress[0] = r.step;
        GameState.storyState = r.story;
        defs_[1].room = r.guardRoom;
        Table({});
        g_GameCalls.clear();
        QueryObjectTouch(&C(1), &objects_[0]);
        EXPECT_EQ(CallArgs("MissionEventHook"), std::vector<int32_t>(size_t(r.hooks), 1024));
    }
}

TEST_F(EventsTest, TheDoorQuery) {
    struct Row {
        const char* what;
        uint8_t kind, door, flag, object;
        bool flagSet, carried;
        int32_t answer;
        uint8_t flag80;
    };
    // The door asked about is portal 2 (door 3 in an event).
    const Row rows[] = {
        {"no event on the door", 15, 2, 0, 0, false, false, 1, 0},
        {"kind 8 sets its flag", 8, 3, 0, 0, false, false, 1, 1},
        {"kind 15: neither", 15, 3, 81, 1, false, false, 0, 0},
        {"kind 15: the flag", 15, 3, 81, 1, true, false, 1, 0},
        {"kind 15: the object", 15, 3, 81, 1, false, true, 1, 0},
        {"kind 12: the flag only", 12, 3, 81, 1, true, false, 0, 0},
        {"kind 12: the object only", 12, 3, 81, 1, false, true, 0, 0},
        {"kind 12: both", 12, 3, 81, 1, true, true, 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameState.eventFlags[80] = 0;
        GameState.eventFlags[81] = r.flagSet;
        C(0).inventory[0] = &ObjectSlots.slots[0];
        C(0).inventoryCount = r.carried ? 1 : 0;
        ScriptEvent e = Open();
        e.flagKind = r.kind;
        e.queryDoor = r.door;
        e.queryFlag = r.flag;
        e.queryObject = r.object;
        e.flagIndex = 80;
        Table({e});
        EXPECT_EQ(QueryDoorEvent(&C(0), 2), r.answer);
        EXPECT_EQ(Flag(80), r.flag80);
    }
}

TEST_F(EventsTest, RoomEntryAndArrivalEvents) {
    struct Row {
        const char* what;
        void (*make)(ScriptEvent&);
        bool entry;       // room entry, else leaving (arrival)
        uint8_t step, guardState, flag;
    };
    const Row rows[] = {
        {"79: the step advances on entry", [](ScriptEvent& e) { e.entryAdvance = 1; }, true, 1, 0, 0},
        {"85: the state counts up on entry", [](ScriptEvent& e) { e.entryStateUp = 1; }, true, 0, 2, 0},
        {"kind 1 on entry", [](ScriptEvent& e) { e.flagKind = 1; }, true, 0, 1, 1},
        {"kind 1 not on leaving", [](ScriptEvent& e) { e.flagKind = 1; }, false, 0, 1, 0},
        {"86: the step advances on leaving", [](ScriptEvent& e) { e.arrivalAdvance = 1; }, false, 1, 0, 0},
        {"87: the state counts up on leaving", [](ScriptEvent& e) { e.arrivalStateUp = 1; }, false, 0, 2, 0},
        {"kind 4 on leaving", [](ScriptEvent& e) { e.flagKind = 4; }, false, 0, 1, 1},
        {"a finished event", [](ScriptEvent& e) { e.entryAdvance = 1, e.state = kEventFinished; }, true, 0, 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameState.progress[0] = 0;
        GameState.eventFlags[90] = 0;
        defs_[1].state = 1;
        ScriptEvent e = Open(1);
        e.flagIndex = 90;
        r.make(e);
        Table({e});
        Watchdog([&] { r.entry ? RunRoomEntryEvents() : RunArrivalEvents(); });
        EXPECT_EQ(GameState.progress[0], r.step);
        EXPECT_EQ(defs_[1].state, r.guardState);
        EXPECT_EQ(Flag(90), r.flag);
    }
}

TEST_F(EventsTest, RoomEntryMovesCharactersOfEveryRoom) {
    // The ghost's event holds in no room the hero is in; the walk of every
    // unfinished event of the step still moves it.
    ScriptEvent e = Open(2);
    e.roomCode = 1;
    e.moveRoom = 3;
    ScriptEvent hero = Open(0);
    hero.moveRoom = 3;
    Table({e, hero});
    RunRoomEntryEvents();
    EXPECT_EQ(defs_[2].room, 2);
    EXPECT_EQ(defs_[0].room, 0);  // the hero is never moved so
}

TEST_F(EventsTest, TheUseQuery) {
    struct Row {
        const char* what;
        void (*make)(ScriptEvent&);
        int32_t use;
        int32_t answer;
        uint8_t flag, step, pendingRoom, pendingTicks;
    };
    const Row rows[] = {
        {"kind 6 takes its use", [](ScriptEvent& e) { e.flagKind = 6, e.flagObject = 131; }, 131, 1, 1, 0, 0, 0},
        {"kind 6 on another use", [](ScriptEvent& e) { e.flagKind = 6, e.flagObject = 131; }, 130, 0, 0, 0, 0, 0},
        {"use 11 sends the hero", [](ScriptEvent& e) { e.useRoom = 3; }, 11, 0, 0, 0, 2, 2},
        {"use 11 to no room", [](ScriptEvent& e) { e.useRoom = 9; }, 11, 0, 0, 0, 0, 0},
        {"57 advances the step", [](ScriptEvent& e) { e.useNumber = 4; }, 4, 0, 0, 1, 0, 0},
        {"57 with 98 sets the step and advances", [](ScriptEvent& e) { e.useNumber = 4, e.setStep = 6; }, 4, 0, 0, 6,
         0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameState.progress[0] = 0;
        GameState.eventFlags[95] = 0;
        GameState.pendingRoom = GameState.pendingRoomTicks = 0;
        ScriptEvent e = Open();
        e.flagIndex = 95;
        r.make(e);
        Table({e});
        EXPECT_EQ(QueryUseEvent(&C(0), r.use), r.answer);
        EXPECT_EQ(Flag(95), r.flag);
        EXPECT_EQ(GameState.progress[0], r.step);
        EXPECT_EQ(GameState.pendingRoom, r.pendingRoom);
        EXPECT_EQ(GameState.pendingRoomTicks, r.pendingTicks);
    }
}

TEST_F(EventsTest, CharacterEvents) {
    struct Row {
        const char* what;
        uint8_t kind, character, anim;
        int32_t life, animCode;
        uint8_t flag;
    };
    const Row rows[] = {
        {"kind 9: the guard died", 9, 1, 0, 0, 0, 1},
        {"kind 9: the guard lives", 9, 1, 0, 5, 0, 0},
        {"kind 9: another character's event", 9, 0, 0, 0, 0, 0},
        {"kind 10: the animation asked", 10, 1, 12, 5, 12, 1},
        {"kind 10: another animation", 10, 1, 12, 5, 11, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        GameState.eventFlags[99] = 0;
        defs_[1].life = r.life;
        C(1).animCode = r.animCode;
        ScriptEvent e = Open(r.character);
        e.flagKind = r.kind;
        e.flagObject = r.anim;
        e.flagIndex = 99;
        Table({e});
        CheckCharacterEvents(&C(1));
        EXPECT_EQ(Flag(99), r.flag);
    }
}

// --- mission 3 ------------------------------------------------------------------------

TEST_F(EventsTest, MissionThreeShowsItsMenuObject) {
    std::snprintf(objects_[1].name, sizeof objects_[1].name, "MENU2");
    objects_[1].hidden = 1;
    objects_[1].active = 1;
    struct Row {
        uint8_t mission;
        int32_t value;
        uint8_t hidden;
    };
    for (const Row& r : {Row{1, 256, 1}, Row{3, 255, 1}, Row{3, 256, 0}}) {
        SCOPED_TRACE(int(r.mission) * 1000 + r.value);
        MissionNumber = r.mission;
        EXPECT_EQ(MissionEventHook(r.value), r.value);
        EXPECT_EQ(objects_[1].hidden, r.hidden);
        EXPECT_EQ(objects_[1].active, r.hidden);
    }
}

// --- phrases ---------------------------------------------------------------------------

// An armed phrase (76 set) is spoken on the next frame when the hero is
// near, then counts down with the guard in its speaking animation; with
// sound off the line is finished when the countdown runs out, and the
// event is done.
TEST_F(EventsTest, AnArmedPhraseIsSpokenThenCountsDown) {
    char line0[] = "0000", line1[] = "0001Hello";
    char* lines[] = {line0, line1, nullptr};
    DialogueLines = lines;
    ClearSubtitles();
    LastPhrase = 0;
    ScriptEvent e = Open(1);
    e.phrase = e.phraseA = 1;  // 68 set: the event's other actions wait
    e.phraseMode = 1;
    e.speakDistance = 600;
    e.faceHero = 1;
    e.state = kEventCinematicPlayed;
    Table({e});
    Frame();
    EXPECT_EQ(events_[0].phraseMode, 0);
    EXPECT_STREQ(Subtitles.text, "Hello");
    EXPECT_EQ(Subtitles.mode, 2);
    EXPECT_EQ(GameState.lastSpeaker, 1);
    const int32_t ticks = events_[0].phraseCountdown;
    EXPECT_EQ(ticks, PhraseTicks(1));
    ASSERT_GT(ticks, 1);
    for (int32_t f = 1; f < ticks; ++f) {
        Frame();
        EXPECT_EQ(events_[0].phraseCountdown, ticks - f);
        EXPECT_EQ(C(1).defaultAnim, 15);
    }
    EXPECT_EQ(events_[0].state, kEventCinematicPlayed);
    g_GameCalls.clear();
    Frame();
    EXPECT_EQ(events_[0].phraseCountdown, 0);
    EXPECT_EQ(Subtitles.mode, 0);
    EXPECT_EQ(events_[0].state, kEventFinished);
    EXPECT_EQ(CallArgs("SetCharacterAnim", &C(1)), std::vector<int32_t>{15});
    DialogueLines = nullptr;
    ClearSubtitles();
}

// The kit's faulty scripts, read as a mission reads them: every walk ends,
// no countdown starts under an id without a done byte, nobody moves.
TEST_F(EventsTest, TheKitsFaultyScriptsEnd) {
    mission_.roomCount = 1;  // "room-255" is for a mission of one room
    rooms_[0].flags = 1;
    const FileTable* savedFiles = CurrentFileTable;
    for (const kit::ScriptVariant& v : kit::FaultyEventScripts()) {
        SCOPED_TRACE(v.name);
        CurrentFileTable = &MemoryFileTable;
        MemoryFile file{v.bytes, 0};
        ASSERT_EQ(ReadEventScript(&file), 1);
        CurrentFileTable = savedFiles;
        ASSERT_GT(EventCount, 0);
        Frame(3);
        Watchdog([] {
            ForEachActiveEvent([](ScriptEvent*, void*) {}, nullptr);
            ForEachEvent([](ScriptEvent*, void*) {}, nullptr);
            RunRoomEntryEvents();
            RunArrivalEvents();
            QueryObjectTake(HeroRecord(), &MissionPtr->objects[0]);
            QueryDoorEvent(HeroRecord(), 0);
            QueryUseEvent(HeroRecord(), 11);
        });
        for (int i = 0; i < kEventTimers; ++i) EXPECT_EQ(GameState.eventTimers[i], 0);
        EXPECT_EQ(defs_[1].room, 0);
        FreeMessages();
    }
    CurrentFileTable = savedFiles;
}

// --- cinematics, on the demo mission ------------------------------------------------------

class EventCinematicTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        OpenMission(22, 0);
        StartMission(0);
        FirstMission = 0;
        GameTimer.DeltaUnits = 1;
    }
    void TearDown() override {
        EventTable = nullptr;
        EventCount = 0;
        DemoMissionTest::TearDown();
    }
    std::vector<std::string> Played() const {
        std::vector<std::string> played;
        for (const std::string& step : g_StepLog)
            if (step.rfind("PlayCinematic ", 0) == 0) played.push_back(step.substr(14));
        return played;
    }
};

// 120 plays the cinematic (or the first two of its list), marks the event
// and restarts the room, once.
TEST_F(EventCinematicTest, ACinematicPlaysOnceAndRestartsTheRoom) {
    Put(".\\ms22\\cine\\cine4.gza", {'o', 'p', 'e', 'n', '\n', 'c', 'l', 'o', 's', 'e', '\n', 'e', 'n', 'd', '\n'});
    struct Row {
        uint8_t cinematic;
        std::vector<std::string> played;
    };
    const Row rows[] = {
        {3, {".\\ms22\\cine\\cine3"}},
        {4, {".\\ms22\\cine\\open", ".\\ms22\\cine\\close"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.cinematic));
        ScriptEvent e{};
        e.step = kAnyStep;
        e.roomCode = kAnyRoom;
        e.stateValue = kAnyState;
        e.speakDistance = 600;
        e.cinematic = r.cinematic;
        std::vector<ScriptEvent> table{e};
        EventTable = table.data();
        EventCount = 1;
        g_StepLog.clear();
        Watchdog([] { RunEvents(0); });
        EXPECT_EQ(Played(), r.played);
        EXPECT_EQ(std::count(g_StepLog.begin(), g_StepLog.end(), "RestartRoom"), 1);
        EXPECT_EQ(table[0].cinematic, 0);
        // Marked as played, then finished with the event's other actions.
        EXPECT_EQ(table[0].state, kEventFinished);
        g_StepLog.clear();
        table[0].state = kEventCinematicPlayed;
        Watchdog([] { RunEvents(0); });
        EXPECT_TRUE(Played().empty());
        EXPECT_EQ(std::count(g_StepLog.begin(), g_StepLog.end(), "RestartRoom"), 0);
        EventTable = nullptr;
        EventCount = 0;
    }
}

TEST_F(EventCinematicTest, AListThatDoesNotOpenPlaysNothing) {
    EXPECT_EQ(PlayCinematicList(".\\ms22\\cine\\absent.gza"), 0);
    EXPECT_TRUE(Played().empty());
}

}  // namespace
