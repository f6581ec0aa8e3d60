// Spindrel roaming against the real host over missions built in the test:
// the road search (chains, ties, blocked and empty rooms, the bounded search
// of a fully linked mission), the goal rooms of the move methods, the
// travel machine's transitions and the game's target room.
#include "em_fixture.h"

#include "mission_fixtures.h"

#include "ai/em_spindrels.h"
#include "ai/managers.h"
#include "game/dqx_load.h"
#include "game/game_state.h"
#include "game/object_slots.h"

#include <functional>

namespace {

using test::EnemyManagerTest;

constexpr int32_t kOneTendril = 111;

// Every room linked to every other, in index order.
std::vector<std::vector<int32_t>> FullyLinked(int32_t rooms) {
    std::vector<std::vector<int32_t>> links(static_cast<size_t>(rooms));
    for (int32_t i = 0; i < rooms; ++i)
        for (int32_t j = 0; j < rooms; ++j)
            if (i != j) links[size_t(i)].push_back(j);
    return links;
}

class SpindrelTest : public EnemyManagerTest {
protected:
    void SetUp() override {
        EnemyManagerTest::SetUp();
        savedRoomModel_ = RoomModelHandle;
        savedDoors_ = PortalDoorCount;
        RoomModelHandle = -1;
        PortalDoorCount = 0;
    }
    void TearDown() override {
        RoomModelHandle = savedRoomModel_;
        PortalDoorCount = savedDoors_;
        EnemyManagerTest::TearDown();
    }

    // Roamer (slot 1), a spindrel of the method and side moving every 10
    // frames, in `room`; Scout (slot 2), a second spindrel, in `scoutRoom`.
    // The rooms must be made before.  Answers Roamer's record.
    EmSpindrel* Open(int32_t room, int32_t method = kEmMoveTendrilsMax, int16_t side = 0, int32_t scoutRoom = 0) {
        kit::EscScript script;
        kit::EscCharacter roamer = test::ScriptCharacter("Roamer", 50);
        roamer.characteristics.spindrel = 1;
        roamer.characteristics.moveMethod = method;
        roamer.characteristics.side = side;
        roamer.characteristics.spindrelMoveDelay = {10, 10};
        roamer.characteristics.aimName = "scout";
        kit::EscCharacter scout = roamer;
        scout.name = "Scout";
        script.characters = {roamer, scout};
        PutScript(script);
        if (next_ == 1) {
            AddCharacter("Roamer", room);
            AddCharacter("Scout", scoutRoom);
        }
        defs_[1].room = room;
        defs_[2].room = scoutRoom;
        EXPECT_EQ(OpenMission(), 1);
        EXPECT_EQ(EmSpindrelTable.count, 2);
        return &EmSpindrelTable.items[0];
    }
    // The rooms' tendril values for a side, room by room.
    static void SetTendrils(const std::vector<int32_t>& values, int side = 0) {
        for (size_t i = 0; i < values.size() && int32_t(i) < EmRoomTable.count; ++i)
            EmRoomTable.items[i].tendrils[side] = values[i];
    }
    static void SetAllTendrils(int32_t value) {
        for (int32_t i = 0; i < EmRoomTable.count; ++i) EmRoomTable.items[i].tendrils[0] = value;
    }
    std::vector<int32_t> Road(int row) const {
        const EmRoad& r = EmRoadSolution[row];
        return std::vector<int32_t>(r.rooms, r.rooms + r.length);
    }

    int32_t savedRoomModel_ = -1, savedDoors_ = 0;
};

// ---------------------------------------------------------------------------
// Road search
// ---------------------------------------------------------------------------

TEST_F(SpindrelTest, TheRoadSearchTakesTheFirstShortestRoadThroughPassableRooms) {
    struct Row {
        const char* what;
        std::vector<std::vector<int32_t>> links;
        std::vector<int32_t> tendrils;  // side 0, room by room
        std::vector<int32_t> blocked;
        int32_t from, goal;
        int32_t next;
        std::vector<int32_t> firstRoad;  // empty: none recorded
    };
    const std::vector<std::vector<int32_t>> chain = {{1}, {0, 2}, {1}};
    const std::vector<std::vector<int32_t>> square12 = {{1, 2}, {0, 3}, {0, 3}, {1, 2}};
    const std::vector<std::vector<int32_t>> square21 = {{2, 1}, {0, 3}, {0, 3}, {1, 2}};
    // The long way 0-1-2-3 comes first in portal order, the direct link last.
    const std::vector<std::vector<int32_t>> longFirst = {{1, 3}, {0, 2}, {1, 3}, {2, 0}};
    // Room 0's portals lead first into rooms 1 to 25, each linked to all
    // the others, and last to the only road to the goal, 0-26-27-28-29: the
    // simple roads of up to five rooms through the group are some 300,000.
    std::vector<std::vector<int32_t>> cliqueFirst = FullyLinked(26);
    cliqueFirst[0].push_back(26);
    cliqueFirst.push_back({0, 27});
    cliqueFirst.push_back({26, 28});
    cliqueFirst.push_back({27, 29});
    cliqueFirst.push_back({28});
    const int32_t t = kOneTendril;
    const std::vector<int32_t> everywhere(30, t);
    const Row rows[] = {
        {"a chain, R2 and R3 passable", chain, {0, t, t}, {}, 0, 2, 1, {0, 1, 2}},
        {"a chain, R2 without tendrils", chain, {0, 0, t}, {}, 0, 2, -1, {}},
        {"a chain, 110 is not enough", chain, {0, 110, t}, {}, 0, 2, -1, {}},
        {"a chain, R2 blocked", chain, {0, t, t}, {1}, 0, 2, -1, {}},
        {"a chain, the goal itself without tendrils", chain, {0, t, 0}, {}, 0, 2, -1, {}},
        {"the start is never tested", chain, {0, t, t}, {0}, 0, 2, 1, {0, 1, 2}},
        {"a tie: the first portal's road", square12, {t, t, t, t}, {}, 0, 3, 1, {0, 1, 3}},
        {"a tie the other way round", square21, {t, t, t, t}, {}, 0, 3, 2, {0, 2, 3}},
        {"a tie, the first way not passable", square12, {t, 0, t, t}, {}, 0, 3, 2, {0, 2, 3}},
        {"a shorter road found later wins", longFirst, {t, t, t, t}, {}, 0, 3, 3, {0, 3}},
        {"a dense group before the only road", cliqueFirst, everywhere, {}, 0, 29, 26, {0, 26, 27, 28, 29}},
        {"the goal is the start", chain, {t, t, t}, {}, 1, 1, -1, {1}},
        {"a goal outside the rooms", chain, {t, t, t}, {}, 0, 254, -1, {}},
        {"a start outside the rooms", chain, {t, t, t}, {}, -1, 2, -1, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        MakeRooms(r.links);
        EmSpindrel* s = Open(r.from < 0 ? 0 : r.from);
        SetTendrils(r.tendrils);
        for (int32_t b : r.blocked) EM_SetRoomBlocked(b, 1);
        s->nextRoom = 77;
        EM_FindRoadFrom(s, r.from, r.goal);
        EXPECT_EQ(s->nextRoom, r.next);
        if (r.firstRoad.empty()) {
            EXPECT_EQ(EmRoadSolutionCount, 0);
        } else {
            ASSERT_GE(EmRoadSolutionCount, 1);
            EXPECT_EQ(Road(0), r.firstRoad);
        }
        for (int32_t i = 0; i < EmRoomTable.count; ++i) EXPECT_EQ(EmRoomTable.items[i].marked, 0) << "room " << i;
        EM_CloseMission();
    }
}

TEST_F(SpindrelTest, TheFullSearchRecordsEveryRoadInPortalOrderAndTheBestIsTheFirstShortest) {
    // From 0 to 3: 0-1-2-3, then 0-3, then 0-2-3 (0's portals: 1, 3, 2).
    MakeRooms({{1, 3, 2}, {0, 2}, {1, 3, 0}, {2, 0}});
    EmSpindrel* s = Open(0);
    SetAllTendrils(kOneTendril);
    EM_PrepareSearch();
    EM_SearchRoadFromTo(s, 0, 3, 0);
    ASSERT_EQ(EmRoadSolutionCount, 3);
    EXPECT_EQ(Road(0), (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(Road(1), (std::vector<int32_t>{0, 3}));
    EXPECT_EQ(Road(2), (std::vector<int32_t>{0, 2, 3}));
    EXPECT_EQ(EM_GetBestSolution(), 3);

    struct Row {
        const char* what;
        std::vector<int32_t> lengths;
        std::vector<int32_t> seconds;  // each road's second room
        int32_t best;
    };
    const Row rows[] = {
        {"no road", {}, {}, -1},
        {"equal lengths: the first", {3, 3}, {5, 6}, 5},
        {"a road of the start alone", {1}, {5}, -1},
        {"51 rooms never win", {51}, {5}, -1},
        {"a shorter later road", {4, 2, 2}, {5, 6, 7}, 6},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EM_PrepareSearch();
        for (size_t i = 0; i < r.lengths.size(); ++i) {
            EmRoadSolution[i].length = r.lengths[i];
            EmRoadSolution[i].rooms[1] = r.seconds[i];
        }
        EmRoadSolutionCount = int32_t(r.lengths.size());
        EXPECT_EQ(EM_GetBestSolution(), r.best);
    }
}

TEST_F(SpindrelTest, ASearchWithoutRoomsRecordsNothing) {
    MakeRooms({{1}, {0}});
    Open(0);
    EM_CloseMission();
    ASSERT_EQ(EmRoomTable.count, 0);
    EmSpindrel lone{};
    lone.nextRoom = 5;
    EM_FindRoadFrom(&lone, 0, 1);
    EXPECT_EQ(lone.nextRoom, -1);
    EXPECT_EQ(EmRoadSolutionCount, 0);
    EXPECT_EQ(EM_GetBestSolution(), -1);
}

// Every simple road of 12 fully linked rooms is about ten million roads:
// the search must end fast, within its table and its visits.
TEST_F(SpindrelTest, TheSearchOfTwelveFullyLinkedRoomsEndsWithARoad) {
    MakeRooms(FullyLinked(12));
    EmSpindrel* s = Open(0);
    SetAllTendrils(kOneTendril);

    EM_FindRoadFrom(s, 0, 11);
    EXPECT_EQ(s->nextRoom, 11) << "the direct link is the only road of two rooms";
    EXPECT_EQ(Road(0), (std::vector<int32_t>{0, 11}));
    EXPECT_LE(EmRoadVisits, 12);

    // Room 11 reached only from room 10: the shortest road is 0, 10, 11.
    std::vector<std::vector<int32_t>> links = FullyLinked(11);
    links.push_back({10});
    links[10].push_back(11);
    EM_CloseMission();
    MakeRooms(links);
    s = Open(0);
    SetAllTendrils(kOneTendril);
    EM_FindRoadFrom(s, 0, 11);
    EXPECT_EQ(s->nextRoom, 10);
    EXPECT_EQ(Road(0), (std::vector<int32_t>{0, 10, 11}));

    // The search on its own, as deep as a road may be, stops when its
    // table is full.
    EM_PrepareSearch();
    EM_SearchRoadFromTo(s, 0, 11, 0);
    EXPECT_EQ(EmRoadSolutionCount, kEmRoadRows);
    EXPECT_LE(EmRoadVisits, kEmRoadVisitLimit);
    for (int i = 0; i < kEmRoadRows; ++i) {
        EXPECT_EQ(EmRoadSolution[i].rooms[0], 0) << i;
        EXPECT_EQ(EmRoadSolution[i].rooms[EmRoadSolution[i].length - 1], 11) << i;
    }
    for (int32_t i = 0; i < EmRoomTable.count; ++i) EXPECT_EQ(EmRoomTable.items[i].marked, 0);

    // No road at all (the goal holds no tendril): the search ends at once.
    SetTendrils({kOneTendril, kOneTendril, kOneTendril, kOneTendril, kOneTendril, kOneTendril, kOneTendril,
                 kOneTendril, kOneTendril, kOneTendril, kOneTendril, 0});
    EM_FindRoadFrom(s, 0, 11);
    EXPECT_EQ(s->nextRoom, -1);
    EXPECT_EQ(EmRoadVisits, 0);
    // Nor does the plain search run past its visits when it finds nothing.
    EM_PrepareSearch();
    EM_SearchRoadFromTo(s, 0, 11, 0);
    EXPECT_EQ(EmRoadSolutionCount, 0);
    EXPECT_EQ(EmRoadVisits, kEmRoadVisitLimit);
}

TEST_F(SpindrelTest, ARoadNeverHoldsMoreThanFiftyRooms) {
    // A chain of 60 rooms: the road from 0 to 49 has 50 rooms, to 50 it
    // would have 51.
    std::vector<std::vector<int32_t>> links(60);
    for (int32_t i = 0; i < 60; ++i) {
        if (i > 0) links[size_t(i)].push_back(i - 1);
        if (i < 59) links[size_t(i)].push_back(i + 1);
    }
    MakeRooms(links);
    EmSpindrel* s = Open(0);
    SetAllTendrils(kOneTendril);
    EM_FindRoadFrom(s, 0, 49);
    EXPECT_EQ(s->nextRoom, 1);
    EXPECT_EQ(EmRoadSolution[0].length, 50);
    EM_FindRoadFrom(s, 0, 50);
    EXPECT_EQ(s->nextRoom, -1);
    EM_PrepareSearch();
    EM_SearchRoadFromTo(s, 0, 50, 0);
    EXPECT_EQ(EmRoadSolutionCount, 0);
}

// ---------------------------------------------------------------------------
// Goal rooms
// ---------------------------------------------------------------------------

TEST_F(SpindrelTest, TheTendrilGoalsTakeTheBestRoomAndBreakTiesByTheirNeighbours) {
    // 0 - 1 - 2 - 3 - 4 in a chain.
    const std::vector<std::vector<int32_t>> chain = {{1}, {0, 2}, {1, 3}, {2, 4}, {3}};
    struct Row {
        const char* what;
        int32_t method;
        int16_t side;
        std::vector<int32_t> tendrils;  // of the spindrel's side
        std::vector<int32_t> closed;
        int32_t goal;
    };
    const int32_t t = kOneTendril;
    const Row rows[] = {
        {"max: one best room", kEmMoveTendrilsMax, 0, {0, t, 3 * t, 0, 0}, {}, 2},
        {"max: the best room closed", kEmMoveTendrilsMax, 0, {0, t, 3 * t, 0, 0}, {2}, 1},
        {"max: two tied, neighbours hold none", kEmMoveTendrilsMax, 0, {2 * t, 0, 0, 0, 2 * t}, {}, -1},
        {"max: two tied, the second's neighbours more", kEmMoveTendrilsMax, 0, {2 * t, 0, t, 2 * t, t}, {}, 3},
        {"max: two tied, equal neighbours: the first", kEmMoveTendrilsMax, 0, {0, 2 * t, t, 2 * t, 0}, {}, 1},
        {"max: no tendrils anywhere", kEmMoveTendrilsMax, 0, {0, 0, 0, 0, 0}, {}, -1},
        {"max: every room closed", kEmMoveTendrilsMax, 0, {t, t, t, t, t}, {0, 1, 2, 3, 4}, -1},
        {"max: side 1 reads its own values", kEmMoveTendrilsMax, 1, {0, 0, 0, 5 * t, 0}, {}, 3},
        {"min: one lowest room", kEmMoveTendrilsMin, 0, {t, t, 0, t, t}, {}, 2},
        {"min: tied, the smallest neighbours", kEmMoveTendrilsMin, 0, {0, 3 * t, 0, t, 0}, {}, 4},
        {"min: tied, equal neighbours: the first", kEmMoveTendrilsMin, 0, {2 * t, 0, t, 0, 2 * t}, {}, 1},
        {"min: all empty, the first with empty neighbours", kEmMoveTendrilsMin, 0, {0, 0, 0, 0, 0}, {}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        MakeRooms(chain);
        EmSpindrel* s = Open(0, r.method, r.side);
        SetAllTendrils(0);
        SetTendrils(r.tendrils, r.side);
        // The other side's values must not count.
        SetTendrils({9 * t, 9 * t, 0, 9 * t, 0}, 1 - r.side);
        for (int32_t c : r.closed) EM_SetRoomOpen(c, 0);
        int32_t goal = r.method == kEmMoveTendrilsMax ? EM_FindRoomTendrilsMax(s) : EM_FindRoomTendrilsMin(s);
        EXPECT_EQ(goal, r.goal);
        EM_CloseMission();
    }
}

TEST_F(SpindrelTest, TheTargetGoalsTakeTheRoomOfTheTargetOrTheAimSpindrel) {
    MakeRooms({{1, 2}, {0, 2}, {0, 1}});
    struct Row {
        const char* what;
        int32_t targetRoom;  // -1: no target
        int32_t scoutRoom;
        bool scoutNamed;
        int32_t closed;      // -1 none
        int32_t withTarget, withSpindrel;
    };
    const Row rows[] = {
        {"both in open rooms", 2, 1, true, -1, 2, 1},
        {"the target's room closed", 2, 1, true, 2, -1, 1},
        {"the aim spindrel's room closed", 2, 1, true, 1, 2, -1},
        {"no target", -1, 1, true, -1, -1, 1},
        {"a target killed (room 254)", 254, 1, true, -1, -1, 1},
        {"an aim name naming no spindrel", 2, 1, false, -1, 2, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmSpindrel* s = Open(0, kEmMoveWithTarget, 0, r.scoutRoom);
        defs_[0].room = r.targetRoom;
        s->enemy->target = r.targetRoom == -1 ? nullptr : &records_[0];
        if (!r.scoutNamed) std::snprintf(s->enemy->script.characteristics.aimName, kEmNameSize, "nobody");
        if (r.closed != -1) EM_SetRoomOpen(r.closed, 0);
        EXPECT_EQ(EM_FindRoomWithTarget(s), r.withTarget);
        EXPECT_EQ(EM_FindRoomWithSpindrel(s), r.withSpindrel);
        EM_CloseMission();
    }
}

TEST_F(SpindrelTest, FarTargetDrawsALinkedRoomAwayFromTheTargetAtMostFiveTimes) {
    struct Row {
        const char* what;
        std::vector<std::vector<int32_t>> links;
        int32_t targetRoom;
        int32_t blocked;
        int32_t goal;
        int draws;
    };
    const Row rows[] = {
        {"the only link leads to the target", {{1}, {0}, {}}, 1, -1, -1, 5},
        {"no link at all", {{}, {}, {}}, 1, -1, -1, 0},
        {"no target", {{1, 2}, {0}, {0}}, -1, -1, -1, 0},
        {"the other link blocked", {{1, 2}, {0}, {0}}, 1, 2, -1, 5},
        {"every link away from the target", {{2, 2, 2}, {0}, {0}}, 1, -1, 2, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        MakeRooms(r.links);
        EmSpindrel* s = Open(0, kEmMoveFarTarget);
        defs_[0].room = r.targetRoom;
        s->enemy->target = r.targetRoom == -1 ? nullptr : &records_[0];
        if (r.blocked != -1) EM_SetRoomBlocked(r.blocked, 1);
        EmhRandomSeed = 1;
        int32_t goal = EM_FindRoomFarTarget(s);
        EXPECT_EQ(goal, r.goal);
        // The draws advance the host's random seed once each.
        uint32_t seed = 1;
        for (int i = 0; i < r.draws; ++i) seed = seed * 1103515245u + 12345u;
        EXPECT_EQ(EmhRandomSeed, seed);
        for (int32_t i = 0; i < EmRoomTable.count; ++i) EXPECT_EQ(EmRoomTable.items[i].marked, 0) << i;
        EM_CloseMission();
    }
}

TEST_F(SpindrelTest, TheNextRoomIsNoneForABadMethodOrAGoalWhereTheSpindrelStands) {
    MakeRooms({{1}, {0, 2}, {1}});
    struct Row {
        const char* what;
        int32_t method;
        std::vector<int32_t> tendrils;
        int32_t next;
        bool logged;
    };
    const int32_t t = kOneTendril;
    const Row rows[] = {
        {"method 0", 0, {0, t, 2 * t}, -1, true},
        {"method 6", 6, {0, t, 2 * t}, -1, true},
        {"the goal is its own room", kEmMoveTendrilsMax, {3 * t, t, 2 * t}, -1, false},
        {"a goal two rooms away", kEmMoveTendrilsMax, {0, t, 2 * t}, 1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmSpindrel* s = Open(0, kEmMoveTendrilsMax);
        s->enemy->script.characteristics.moveMethod = r.method;
        SetTendrils(r.tendrils);
        size_t lines = DebugLines().size();
        EM_FindNextRoom(s);
        EXPECT_EQ(s->nextRoom, r.next);
        EXPECT_EQ(DebugLines().size() > lines && DebugLines().back() == "Bad move method found in EM_FindNextRoom()",
                  r.logged);
        EM_CloseMission();
    }
}

// ---------------------------------------------------------------------------
// The game's target room
// ---------------------------------------------------------------------------

TEST_F(SpindrelTest, TheGameSendsASpindrelOnlyToAnOpenRoomOfTheMission) {
    MakeRooms({{1, 2}, {0}, {0}, {}});
    struct Row {
        const char* what;
        int who;  // slot
        int32_t room;
        int answer;
    };
    const Row rows[] = {
        {"an open room", 1, 2, 1},         {"room 0", 1, 0, 1},
        {"the room count itself", 1, 4, 0}, {"below 0", 1, -1, 0},
        {"a closed room", 1, 1, 0},        {"a blocked room", 1, 3, 0},
        {"the hero is no spindrel", 0, 2, 0}, {"room 255", 1, 255, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmSpindrel* s = Open(0);
        EM_SetRoomOpen(1, 0);
        EM_SetRoomBlocked(3, 1);
        EXPECT_EQ(EM_SetSpindrelTargetRoom(&records_[r.who], r.room), r.answer);
        EXPECT_EQ(s->targetRoom, r.answer ? r.room : -1);
        EM_CloseMission();
    }
    // With no mission open, nothing is taken.
    EXPECT_EQ(EM_SetSpindrelTargetRoom(&records_[1], 0), 0);
}

// ---------------------------------------------------------------------------
// Travel machine
// ---------------------------------------------------------------------------

TEST_F(SpindrelTest, TheTravelMachineMovesAsItsStateAndTheHerosRoomSay) {
    // Rooms 0 and 1 linked both ways, 2 linked to both; the hero's room 0
    // has its exit to room 1 at (0, 0, 2000) and to room 2 at (1000, 0, 2000).
    MakeRooms({{1, 2}, {0, 2}, {0, 1}});
    CharacterRecord* roamer = nullptr;
    struct Row {
        const char* what;
        int32_t state;
        int32_t room;  // where the spindrel stands (record and game)
        std::function<void(EmSpindrel&, EmEnemy&)> setup;
        int32_t heroRoom;
        // Expected afterwards.
        int32_t next, roomAfter, nextRoom, gameRoom;
    };
    const Row rows[] = {
        {"0: the move time ahead", 0, 1, [](EmSpindrel& s, EmEnemy&) { s.nextMoveTime = 1500; }, 0, 0, 1, -1, 1},
        {"0: the move time passed", 0, 1, [](EmSpindrel& s, EmEnemy&) { s.nextMoveTime = 999; }, 0, 1, 1, -1, 1},
        {"0: the move time now", 0, 1, [](EmSpindrel& s, EmEnemy&) { s.nextMoveTime = 1000; }, 0, 0, 1, -1, 1},
        {"0: a target room given", 0, 1,
         [](EmSpindrel& s, EmEnemy&) {
             s.nextMoveTime = 1500;
             s.targetRoom = 2;
         },
         0, 1, 1, -1, 1},
        {"0: waiting out its walk", 0, 1,
         [](EmSpindrel& s, EmEnemy&) {
             s.waiting = 1, s.waitUntil = 1000, s.nextRoom = 0;
         },
         0, 0, 1, 0, 1},
        {"0: walk over, into the hero's room", 0, 1,
         [](EmSpindrel& s, EmEnemy&) {
             s.waiting = 1, s.waitUntil = 999, s.nextRoom = 0;
         },
         0, 20, 1, 0, 1},
        {"0: walk over, the hero gone on", 0, 1,
         [](EmSpindrel& s, EmEnemy&) {
             s.waiting = 1, s.waitUntil = 999, s.nextRoom = 0;
         },
         2, 0, 0, 0, 0},
        {"1: a target room out of sight", 1, 1, [](EmSpindrel& s, EmEnemy&) { s.targetRoom = 2; }, 0, 0, 2, 2, 2},
        {"1: a target room: the hero's", 1, 1, [](EmSpindrel& s, EmEnemy&) { s.targetRoom = 0; }, 0, 20, 1, 0, 1},
        {"1: leaving the hero's room", 1, 0, [](EmSpindrel& s, EmEnemy&) { s.targetRoom = 1; }, 0, 10, 0, 1, 0},
        {"1: a target room: its own", 1, 1, [](EmSpindrel& s, EmEnemy&) { s.targetRoom = 1; }, 0, 0, 1, -1, 1},
        {"1: the method's road out of sight", 1, 1,
         [](EmSpindrel&, EmEnemy&) { SetTendrils({0, kOneTendril, 2 * kOneTendril}); }, 0, 0, 2, 2, 2},
        {"1: no goal", 1, 1,
         [](EmSpindrel&, EmEnemy& e) { e.script.characteristics.moveMethod = 0; }, 0, 0, 1, -1, 1},
        {"10: the exit point", 10, 0, [](EmSpindrel& s, EmEnemy&) { s.nextRoom = 1; }, 0, 11, 0, 1, 0},
        {"11: still turning", 11, 0,
         [](EmSpindrel& s, EmEnemy&) {
             s.nextRoom = 1;
             s.point[0] = 0, s.point[1] = 0, s.point[2] = 2495;
         },
         0, 11, 0, 1, 0},
        {"11: facing the exit", 11, 0,
         [](EmSpindrel& s, EmEnemy& e) {
             s.nextRoom = 1;
             s.point[0] = 100, s.point[1] = 0, s.point[2] = 2495;
             e.direction[0] = 0, e.direction[2] = 1;
         },
         0, 12, 0, 1, 0},
        {"12: walking off", 12, 0, [](EmSpindrel& s, EmEnemy&) { s.nextRoom = 1; }, 0, 13, 0, 1, 0},
        {"13: not there yet", 13, 0,
         [](EmSpindrel& s, EmEnemy&) {
             s.nextRoom = 1;
             s.point[0] = 0, s.point[1] = 0, s.point[2] = 2495;
         },
         0, 13, 0, 1, 0},
        {"13: at the exit point", 13, 0,
         [](EmSpindrel& s, EmEnemy&) {
             s.nextRoom = 1;
             s.point[0] = 100, s.point[1] = 0, s.point[2] = 100;
         },
         0, 14, 0, 1, 0},
        {"14: still fading", 14, 0,
         [](EmSpindrel& s, EmEnemy& e) {
             s.nextRoom = 1;
             e.fading = 4;
         },
         0, 14, 0, 1, 0},
        {"14: faded out", 14, 0,
         [](EmSpindrel& s, EmEnemy& e) {
             s.nextRoom = 1;
             e.fading = 0;
             e.state = 300;
         },
         0, 0, 1, 1, 1},
        {"20: shown at the entrance", 20, 1,
         [](EmSpindrel& s, EmEnemy&) {
             s.nextRoom = 0, s.previousRoom = 1;
         },
         0, 21, 1, 0, 0},
        {"21: still fading in", 21, 1,
         [](EmSpindrel& s, EmEnemy& e) {
             s.nextRoom = 0;
             e.fading = 3;
         },
         0, 21, 1, 0, 1},
        {"21: faded in", 21, 1,
         [](EmSpindrel& s, EmEnemy& e) {
             s.nextRoom = 0;
             e.fading = 0;
         },
         0, 0, 0, -1, 1},
        {"an unknown state", 7, 1, [](EmSpindrel&, EmEnemy&) {}, 0, 0, 1, -1, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmSpindrel* s = Open(r.room);
        roamer = s->character;
        if (roamer->model <= 0) GiveModel(roamer, {0, 0, 0});
        Vec3 at{100, 0, 100};
        Set_ObjPos(roamer->model, &at);
        SetAllTendrils(kOneTendril);
        CurrentRoomIndex = uint8_t(r.heroRoom);
        EmFrameCount = 1000;
        s->state = r.state;
        s->nextMoveTime = 1500;
        r.setup(*s, *s->enemy);
        uint32_t armedBefore = s->nextMoveTime;

        EM_ProcessSpindrel(0, 0);
        EXPECT_EQ(s->state, r.next);
        EXPECT_EQ(s->room, r.roomAfter);
        EXPECT_EQ(s->nextRoom, r.nextRoom);
        EXPECT_EQ(defs_[1].room, r.gameRoom) << "the game's room of the character";
        const bool moved = r.roomAfter != r.room || std::string(r.what) == "1: no goal" ||
                           std::string(r.what) == "1: a target room: its own";
        EXPECT_EQ(s->nextMoveTime != armedBefore, moved) << "the next move time is armed after each move";
        if (r.state == 14 && r.next == 0) {
            EXPECT_EQ(s->enemy->state, 0) << "arriving out of sight resets the enemy's runtime data";
        }
        if ((r.state == 13 || r.state == 20) && r.next != r.state) {
            EXPECT_NE(s->enemy->fading, 0) << "a fade is under way";
            EXPECT_EQ(s->enemy->fadeArmed, 0);
        }
        EM_CloseMission();
    }
}

TEST_F(SpindrelTest, TheExitAndEntryPointsLie495UnitsBeyondAndInsideTheDoorway) {
    // The hero's room 0 links to room 1 only, its exit at (0, 0, 2000); the
    // room's view position is (0, 0, -1000).
    MakeRooms({{1}, {0, 2}, {1}});
    RoomModelHandle = PlaceCube({0, 0, -1000}, ".\\ms7\\room.3dc");
    struct Row {
        const char* what;
        int32_t state, room, nextRoom, previousRoom;
        Vec3 from;
        Vec3 point;
    };
    const Row rows[] = {
        {"exit toward room 1: away from the spindrel", 10, 0, 1, -1, {0, 0, 0}, {0, 0, 2495}},
        {"no exit toward room 2: the view position at its height", 10, 0, 2, -1, {300, 600, 0}, {0, 600, -1000}},
        {"entering from room 1: toward the view position", 20, 1, 0, 1, {7000, 600, 7000}, {0, 600, 1505}},
        {"entering from unlinked room 2: the view position", 20, 2, 0, 2, {7000, 600, 7000}, {0, 600, -1000}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmSpindrel* s = Open(r.room);
        if (s->character->model <= 0) GiveModel(s->character, r.from);
        Set_ObjPos(s->character->model, &r.from);
        CurrentRoomIndex = 0;
        s->state = r.state;
        s->nextRoom = r.nextRoom;
        s->previousRoom = r.previousRoom;
        EM_ProcessSpindrel(0, 0);
        EXPECT_NEAR(s->point[0], float(r.point.x), 0.5f);
        EXPECT_NEAR(s->point[2], float(r.point.z), 0.5f);
        if (r.state == 20) {
            EXPECT_EQ(s->point[1], float(r.point.y));
            EXPECT_EQ(test::CollisionTest::Pos(s->character->model), r.point) << "moved there";
        }
        EM_CloseMission();
    }
}

TEST_F(SpindrelTest, TheWalkOutRaisesTheForwardRequestUntilItArrives) {
    MakeRooms({{1}, {0}});
    EmSpindrel* s = Open(0);
    GiveModel(s->character, {0, 0, 0});
    s->enemy->script.characteristics.turning = 0;
    s->state = kEmSpindrelExitWalkStart;
    s->nextRoom = 1;
    s->point[0] = 0, s->point[1] = 0, s->point[2] = 2495;
    EM_ProcessSpindrel(0, 0);
    ASSERT_FALSE(test::g_EmHostLog.anims.empty());
    EXPECT_EQ(test::g_EmHostLog.anims.back().second, 2) << "the move animation's game code";
    EXPECT_EQ(s->character->controls & 4, 4);
    s->character->controls = 0;
    EM_ProcessSpindrel(0, 0);
    EXPECT_EQ(s->character->controls & 4, 4) << "each frame of the walk";
    EXPECT_EQ(s->state, kEmSpindrelExitWalk);
}

TEST_F(SpindrelTest, OnlyActiveSpindrelsMoveEachFrame) {
    MakeRooms({{1, 2}, {0, 2}, {0, 1}});
    EmSpindrel* s = Open(1, kEmMoveTendrilsMax, 0, 1);
    SetAllTendrils(kOneTendril);
    GiveModel(&records_[1], {0, 0, 0});
    GiveModel(&records_[2], {0, 0, 0});
    defs_[1].active = 1;
    defs_[2].active = 0;
    CurrentRoomIndex = 0;
    EmFrameCount = 2000;
    EM_ProcessSpindrels(1);
    EXPECT_EQ(s[0].state, kEmSpindrelChoose);
    EXPECT_EQ(s[1].state, kEmSpindrelIdle) << "an inactive spindrel waits";
}

// ---------------------------------------------------------------------------
// The demo data
// ---------------------------------------------------------------------------

class DemoSpindrelTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        savedEmOpen_ = EmOpenFlag;
        EM_Open();
    }
    void TearDown() override {
        DemoMissionTest::TearDown();
        EM_Close();
        EmOpenFlag = savedEmOpen_;
    }
    uint8_t savedEmOpen_ = 0;
};

// The kit's mission 7 and its ENEMIES.ESC, read by the game and the
// manager: the vault holds the spindrel "drifter", roaming toward side 0's
// tendrils.
TEST_F(DemoSpindrelTest, Mission7StartsWithARoamingSpindrelInTheVault) {
    OpenMission(7, 0);
    StartMission(0);
    FirstMission = 0;
    ASSERT_EQ(EmSpindrelTable.count, 1);
    const EmSpindrel& s = EmSpindrelTable.items[0];
    char name[kEmNameSize];
    EMH_GetCharacterName(s.character, name, kEmNameSize);
    EXPECT_STREQ(name, "drifter");
    EXPECT_EQ(s.room, 2);
    EXPECT_EQ(s.state, kEmSpindrelIdle);
    const EmCharacteristics& c = s.enemy->script.characteristics;
    EXPECT_EQ(c.moveMethod, kEmMoveTendrilsMax);
    EXPECT_EQ(c.side, 0);
    EXPECT_EQ(c.spindrelMoveDelay.minimum, 100);
    EXPECT_EQ(c.spindrelMoveDelay.maximum, 140);
    EXPECT_GE(s.nextMoveTime, 100u);
    EXPECT_LE(s.nextMoveTime, 140u);
    // Set up although it stands outside the hero's room, and active, so
    // that it roams from the start.
    EXPECT_EQ(s.character->def->spindrel, 1);
    EXPECT_GT(s.character->model, 0);
    EXPECT_EQ(EMH_IsCharacterActive(s.character), 1);
    // The guard is an enemy but no spindrel.
    EXPECT_EQ(EmEnemyTable.count, MissionPtr->characterDefCount - 1);
}

}  // namespace
