// The AI frame against the real host: its answers and what each early
// exit leaves undone, the formation slots around the hero and around an
// enemy, contact hits and their hit time, and the tendril growth of each
// kind by where the side's roaming spindrel stands.
#include "em_fixture.h"

#include "ai/em_enemy.h"
#include "ai/em_frame.h"
#include "ai/em_geometry.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_math.h"
#include "host/headless/headless.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using test::EnemyManagerTest;

float g_Factor = 1.0f;

class FrameTest : public EnemyManagerTest {
protected:
    void SetUp() override {
        EnemyManagerTest::SetUp();
        savedCm_ = CmHost;
        g_Factor = 1.0f;
        CmHost.FrameStep = [] { return g_Factor; };
        GiveModel(Hero(), {0, 600, 0});
    }
    void TearDown() override {
        CmHost = savedCm_;
        EnemyManagerTest::TearDown();
    }
    CharacterRecord* Hero() { return &records_[0]; }
    // An attacker standing in `room` at `at`, present and lockable.
    CharacterRecord* Enemy(const std::string& name, Vec3 at, int32_t room = 0) {
        CharacterRecord* c = AddCharacter(name, room);
        c->kind = 1;
        c->present = 1;
        c->def->lockOn = 1;
        c->def->active = 1;
        GiveModel(c, at);
        return c;
    }
    void Move(CharacterRecord* c, Vec3 at) {
        c->position = at;
        Set_ObjPos(c->model, &at);
        Update_SubtreeTransforms(0);
    }
    // The hero's model turned to face heading a (radians from +x toward +z).
    void Face(float a) {
        Vec3 side{f2i(-std::sin(a) * 32768.0f), 0, f2i(std::cos(a) * 32768.0f)};
        Mat3 m;
        Make_LookMatrix(&side, &m);
        Set_ObjMatrix(Hero()->model, &m);
        Update_SubtreeTransforms(0);
    }
    EmEnemy* Record(const CharacterRecord* c) { return EM_FindEnemyDatas(c); }
    // The frame run n times; the last answer.
    int Frames(int n) {
        int answer = -1;
        for (int i = 0; i < n; ++i) answer = EM_UpdateStrategyMission();
        return answer;
    }
    CameraManagerHost savedCm_{};
};

// ---------------------------------------------------------------------------
// Answers
// ---------------------------------------------------------------------------

// Each early exit answers before the enemies, the contact hits and the
// tendrils; only a frame that ran writes its last log line.  Contact: an
// enemy on the hero with 10 damage and its hit time passed; tendrils: kind
// 3 of side 0 (no spindrel) due in every room with 111.
TEST_F(FrameTest, AnswersZeroFourThreeOrOneAndEarlyExitsRunNothingAfter) {
    CharacterRecord* guard = Enemy("Guard", {0, 600, 100});
    std::vector<CharacterRecord*> crowd;
    for (int i = 0; i < 33; ++i) crowd.push_back(Enemy("Crowd", {5000, 600, 100 * i}, 2));
    kit::EscScript s;
    kit::EscCharacter g = test::ScriptCharacter("Guard", 30);
    g.characteristics.contactDamage = 10;
    s.characters = {g, test::ScriptCharacter("Crowd")};
    s.tendrils[0][3] = {111, {1000, 1000}};
    PutScript(s);
    ASSERT_EQ(OpenMission(1), 1);

    struct Row {
        const char* what;
        std::function<void()> arrange, restore;
        int answer;
        bool counted, ran;
        int players, enemies;  // counts in the log lines; -1 none written
    };
    CharacterRecord* stranger = nullptr;
    const Row rows[] = {
        {"the frame runs", [] {}, [] {}, kEmFrameRan, true, true, 1, 1},
        {"the hero in another room", [this] { defs_[0].room = 1; }, [this] { defs_[0].room = 0; },
         kEmFrameBadRoom, true, false, 0, -1},
        {"33 enemies in the room", [&] { for (auto* c : crowd) c->def->room = 0; },
         [&] { for (auto* c : crowd) c->def->room = 2; }, kEmFrameBadRoom, true, false, 1, 34},
        {"a room enemy without a record",
         [&] { stranger = Enemy("Stranger", {0, 600, -100}); },
         [&] { stranger->def->room = 2; }, kEmFrameNoRecord, true, false, 1, 2},
        {"the manager closed", [] { EM_Close(); }, [] { EM_Open(); }, kEmFrameClosed, false, false, -1, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        r.arrange();
        defs_[0].life = 100;
        Record(guard)->nextHitTime = 0;
        for (int32_t i = 0; i < EmRoomTable.count; ++i) {
            EmRoomTable.items[i].tendrils[0] = 0;
            EmRoomTable.items[i].nextTendrilUpdate[0][3] = 0;
        }
        const uint32_t before = EmFrameCount;
        debugStart_ = host::headless::DebugOutput().size();
        EXPECT_EQ(EM_UpdateStrategyMission(), r.answer);
        EXPECT_EQ(EmFrameCount, before + (r.counted ? 1 : 0));
        EXPECT_EQ(defs_[0].life, r.ran ? 90 : 100) << "contact hit";
        EXPECT_EQ(EmRoomTable.items[1].tendrils[0], r.ran ? 111 : 0) << "tendrils";
        EXPECT_EQ(EmRoomEnemyCount, r.ran ? 1 : 0);
        EXPECT_EQ(Logged("Call " + std::to_string(before + 1)), r.counted);
        EXPECT_EQ(Logged("There are " + std::to_string(r.players) + " players in room"), r.players >= 0);
        EXPECT_EQ(Logged("There are " + std::to_string(r.enemies) + " enemys in room"), r.enemies >= 0);
        EXPECT_EQ(Logged("End of EM_UpdateStrategyMission()"), r.ran);
        r.restore();
    }
}

// ---------------------------------------------------------------------------
// Formations
// ---------------------------------------------------------------------------

struct SlotCase {
    const char* what;
    int32_t group;
    float heading;               // the hero's facing
    std::vector<Vec3> at;        // the followers, in list order
    std::vector<float> slots;    // x, z of each slot in order
    std::vector<int> holders;    // the follower in each slot
};

// Five followers that hunt the hero; per case the first n stand in the
// hero's room with the case's group behaviour, the others elsewhere.
// Slot points from the formation's rule: Circle 1320 around at 0, 120 and
// 240 degrees from the facing; Front a line 990 ahead with 550 between
// slots; FrontBack lines 660 ahead and behind, the back line's lateral
// direction mirrored.  Each slot in turn takes the nearest remaining
// follower; a tie goes to the first in list order.
TEST_F(FrameTest, FormationSlotsStandAroundTheHeroAndTakeTheNearestFollower) {
    std::vector<CharacterRecord*> f;
    for (int i = 0; i < 5; ++i) f.push_back(Enemy("Follower" + std::to_string(i), {0, 600, 0}, 2));
    kit::EscScript s;
    for (int i = 0; i < 5; ++i) s.characters.push_back(test::ScriptCharacter("Follower" + std::to_string(i)));
    PutScript(s);
    ASSERT_EQ(OpenMission(), 1);
    const float kHalfPi = 1.5707964f;
    const SlotCase cases[] = {
        {"Circle of 3, the one nearest the front point takes slot 0", kEmGroupCircle, 0.0f,
         {{-600, 600, 1100}, {1200, 600, 100}, {-700, 600, -1200}},
         {1320, 0, -660, 1143.154f, -660, -1143.154f}, {1, 0, 2}},
        {"Circle of 3, a tie for slot 0 goes to the first listed", kEmGroupCircle, 0.0f,
         {{1320, 600, -300}, {1320, 600, 300}, {-700, 600, -1200}},
         {1320, 0, -660, 1143.154f, -660, -1143.154f}, {0, 1, 2}},
        {"Circle of 3 around a hero facing +z", kEmGroupCircle, kHalfPi,
         {{-1000, 600, -700}, {1100, 600, -600}, {0, 600, 1300}},
         {0, 1320, -1143.154f, -660, 1143.154f, -660}, {2, 0, 1}},
        {"Front of 4: 825, 275, -275, -825 across", kEmGroupFront, 0.0f,
         {{990, 600, -300}, {990, 600, 800}, {990, 600, -800}, {990, 600, 300}},
         {990, 825, 990, 275, 990, -275, 990, -825}, {1, 3, 0, 2}},
        {"FrontBack of 5: two ahead, three behind mirrored", kEmGroupFrontBack, 0.0f,
         {{-660, 600, 500}, {660, 600, 300}, {-660, 600, 0}, {660, 600, -300}, {-660, 600, -500}},
         {660, 275, 660, -275, -660, -550, -660, 0, -660, 550}, {1, 3, 4, 2, 0}},
        {"FrontBack of 1 stands behind", kEmGroupFrontBack, 0.0f, {{800, 600, 0}}, {-660, 0}, {0}},
    };
    const int blocks[] = {0, kEmFormationCircle, kEmFormationFront, kEmFormationFrontBack};
    for (const SlotCase& c : cases) {
        SCOPED_TRACE(c.what);
        Face(c.heading);
        for (size_t i = 0; i < f.size(); ++i) {
            const bool in = i < c.at.size();
            f[i]->def->room = in ? 0 : 2;
            Record(f[i])->script.characteristics.groupBehaviour = c.group;
            if (in) Move(f[i], c.at[i]);
        }
        ASSERT_EQ(EM_UpdateStrategyMission(), kEmFrameRan);
        const EmFormation& b = EmPlayerTable.items[0].formations[blocks[c.group]];
        ASSERT_EQ(b.count, int32_t(c.holders.size()));
        for (size_t k = 0; k < c.holders.size(); ++k) {
            SCOPED_TRACE("slot " + std::to_string(k));
            EXPECT_EQ(b.members[k], f[size_t(c.holders[k])]);
            EXPECT_NEAR(b.destinations[k][0], c.slots[2 * k], 0.5f);
            EXPECT_NEAR(b.destinations[k][1], 600.0f, 0.5f);
            EXPECT_NEAR(b.destinations[k][2], c.slots[2 * k + 1], 0.5f);
            // The lookup the group behaviour reads gives the same slot.
            CharacterRecord* centre = nullptr;
            float point[3] = {};
            using Lookup = int (*)(CharacterRecord*, CharacterRecord**, float*);
            const Lookup lookups[] = {nullptr, EM_FindAffectedPlayerDestCircle, EM_FindAffectedPlayerDestFront,
                                      EM_FindAffectedPlayerDestFrontBack};
            EXPECT_EQ(lookups[c.group](b.members[k], &centre, point), 1);
            EXPECT_EQ(centre, Hero());
            EXPECT_NEAR(point[2], c.slots[2 * k + 1], 0.5f);
        }
        // The other two formations hold nobody this frame.
        for (int other = 1; other <= 3; ++other) {
            if (other == c.group) continue;
            EXPECT_EQ(EmPlayerTable.items[0].formations[blocks[other]].count, 0);
        }
    }
}

// Followers that do not hunt the hero surround the room enemy with the
// lowest life, along that enemy's own AI direction; when a follower finds
// no target at all, its formation gives no slot that frame.
TEST_F(FrameTest, FollowersOfAnEnemyStandAroundItAndNoTargetGivesNoSlot) {
    CharacterRecord* a = Enemy("Follower", {5990, 600, -300});
    CharacterRecord* b = Enemy("Follower", {5990, 600, 300});
    CharacterRecord* weak = Enemy("Weak", {5000, 600, 0});
    kit::EscScript s;
    kit::EscCharacter follower = test::ScriptCharacter("Follower", 30);
    follower.characteristics.playerHunter = 0;
    follower.characteristics.groupBehaviour = kEmGroupFront;
    s.characters = {follower, test::ScriptCharacter("Weak", 10)};
    PutScript(s);
    ASSERT_EQ(OpenMission(), 1);
    ASSERT_EQ(EM_UpdateStrategyMission(), kEmFrameRan);
    const EmFormation& around = Record(weak)->formations[kEmFormationFront];
    ASSERT_EQ(around.count, 2);
    // The weak enemy faces +x (starting heading 0): slot 0 lies 275 toward +z.
    EXPECT_EQ(around.members[0], b);
    EXPECT_EQ(around.members[1], a);
    EXPECT_NEAR(around.destinations[0][0], 5990.0f, 0.5f);
    EXPECT_NEAR(around.destinations[0][2], 275.0f, 0.5f);
    EXPECT_NEAR(around.destinations[1][2], -275.0f, 0.5f);
    EXPECT_EQ(EmPlayerTable.items[0].formations[kEmFormationFront].count, 0);

    // Every other room enemy at full life (32767) is nobody's target.
    Record(weak)->script.characteristics.life = 32767;
    Record(a)->script.characteristics.life = 32767;
    Record(b)->script.characteristics.life = 32767;
    ASSERT_EQ(EM_UpdateStrategyMission(), kEmFrameRan);
    for (CharacterRecord* c : {a, b, weak}) {
        EXPECT_EQ(Record(c)->formations[kEmFormationFront].count, 0);
        CharacterRecord* centre = weak;
        EXPECT_EQ(EM_FindAffectedEnemyDestFront(c, &centre, nullptr), 0);
        EXPECT_EQ(centre, nullptr);
    }
}

// ---------------------------------------------------------------------------
// Contact
// ---------------------------------------------------------------------------

// Contact counts in three dimensions below 330 units; it lowers the hero's
// life by the enemy's contact damage at most once per hit time (70 frames
// divided by the frame factor, the time lying strictly behind).  An enemy
// waiting to enter the scene, or without life, touches nobody.
TEST_F(FrameTest, ContactHitsBelow330UnitsOncePerHitTime) {
    CharacterRecord* guard = Enemy("Guard", {0, 600, 0});
    kit::EscScript s;
    kit::EscCharacter g = test::ScriptCharacter("Guard", 30);
    g.characteristics.contactDamage = 10;
    s.characters = {g};
    PutScript(s);
    ASSERT_EQ(OpenMission(), 1);
    struct Row {
        const char* what;
        Vec3 at;
        float factor;
        std::function<void(EmEnemy*)> shape;
        std::vector<uint32_t> hits;  // frames, counted from the row's start, that take 10 life
    };
    const Row rows[] = {
        {"329 ahead, factor 1", {329, 600, 0}, 1.0f, {}, {1, 72, 143}},
        {"329 above, factor 2", {0, 271, 0}, 2.0f, {}, {1, 37, 73, 109, 145}},
        {"330 ahead: no contact", {330, 600, 0}, 1.0f, {}, {}},
        {"200 across but 300 higher: 361 in 3D", {200, 300, 0}, 1.0f, {}, {}},
        {"waiting to enter the scene", {100, 600, 0}, 1.0f,
         [](EmEnemy* e) {
             e->sceneFlags[0] = 1;
             e->sceneTime = EmFrameCount + 100000;
         },
         {}},
        {"no life left", {100, 600, 0}, 1.0f, [](EmEnemy* e) { e->script.characteristics.life = 0; }, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmEnemy* e = Record(guard);
        e->sceneFlags[0] = 0;
        guard->def->lockOn = 1;
        e->script.characteristics.life = 30;
        e->script.characteristics.sceneDelay = {5000, 5000};
        e->nextHitTime = EmFrameCount;  // the first frame may hit
        if (r.shape) r.shape(e);
        Move(guard, r.at);
        g_Factor = r.factor;
        const uint32_t start = EmFrameCount;
        std::vector<uint32_t> hits;
        for (int i = 0; i < 150; ++i) {
            defs_[0].life = 100;
            ASSERT_EQ(EM_UpdateStrategyMission(), kEmFrameRan);
            if (defs_[0].life != 100) {
                EXPECT_EQ(defs_[0].life, 90);
                hits.push_back(EmFrameCount - start);
            }
        }
        EXPECT_EQ(hits, r.hits);
    }
}

// Entering a room arms the scene-entry timers of the enemies whose pairs
// are not both 0 and sets their flags; the entry flag is consumed.
TEST_F(FrameTest, RoomEntryArmsTheSceneEntryTimersOfTheirEnemies) {
    CharacterRecord* both = Enemy("Both", {3000, 600, 0});
    CharacterRecord* effects = Enemy("Effects", {3000, 600, 500});
    CharacterRecord* none = Enemy("None", {3000, 600, 1000});
    kit::EscScript s;
    kit::EscCharacter b = test::ScriptCharacter("Both"), e = test::ScriptCharacter("Effects");
    b.characteristics.sceneDelay = {400, 400};
    b.characteristics.sceneFxDelay = {300, 300};
    e.characteristics.sceneFxDelay = {0, 200};
    s.characters = {b, e, test::ScriptCharacter("None")};
    PutScript(s);
    ASSERT_EQ(OpenMission(), 1);
    EmRoomEntryFlag = 1;
    ASSERT_EQ(EM_UpdateStrategyMission(), kEmFrameRan);
    EXPECT_EQ(EmRoomEntryFlag, 0);
    EXPECT_EQ(Record(both)->sceneFlags[0], 1);
    EXPECT_EQ(Record(both)->sceneFlags[1], 1);
    EXPECT_EQ(Record(both)->sceneTime, 1u + 400);
    EXPECT_EQ(Record(both)->sceneFxTime, 1u + 300);
    EXPECT_EQ(Record(effects)->sceneFlags[0], 0);
    EXPECT_EQ(Record(effects)->sceneFlags[1], 1);
    EXPECT_LE(Record(effects)->sceneFxTime, 1u + 200);
    EXPECT_EQ(Record(none)->sceneFlags[0], 0);
    EXPECT_EQ(Record(none)->sceneFlags[1], 0);
}

// ---------------------------------------------------------------------------
// Tendrils
// ---------------------------------------------------------------------------

// Three rooms in a chain (0 - 1 - 2), the hero in room 0, a side-0
// spindrel roaming; every kind due after 5 frames.  Side 0's kinds 0, 1
// and 2 follow the spindrel (its room, the rooms linked to it, the others);
// with no active spindrel of a side its kind 3 grows every room.  A kind
// whose delays are both 0 is switched off and never fires.
TEST_F(FrameTest, TendrilKindsFollowWhereTheSidesSpindrelStands) {
    CharacterRecord* roamer = Enemy("Roamer", {9000, 600, 0}, 2);
    std::vector<std::vector<PortalRecord>> portals(kRooms);
    auto link = [&](int from, int to) {
        PortalRecord p{};
        p.targetRoom = to;
        portals[size_t(from)].push_back(p);
    };
    link(0, 1), link(1, 0), link(1, 2), link(2, 1);
    for (int r = 0; r < kRooms; ++r) {
        rooms_[size_t(r)].portals = portals[size_t(r)].data();
        rooms_[size_t(r)].portalCount = int32_t(portals[size_t(r)].size());
    }
    struct Row {
        const char* what;
        int32_t room;
        bool active, nearOff;
        int32_t side0[kRooms];
    };
    const Row rows[] = {
        {"in room 2: far, near, in room", 2, true, false, {333, 222, 111}},
        {"in room 1: near, in room, near", 1, true, false, {222, 111, 222}},
        {"inactive: kind 3 everywhere", 2, false, false, {555, 555, 555}},
        {"near kind with delays 0", 2, true, true, {333, 0, 111}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        roamer->def->room = r.room;
        roamer->def->active = r.active ? 1 : 0;
        kit::EscScript s;
        kit::EscCharacter c = test::ScriptCharacter("Roamer");
        c.characteristics.spindrel = 1;
        c.characteristics.side = 0;
        c.characteristics.spindrelMoveDelay = {30000, 30000};
        s.characters = {c};
        s.tendrils[0] = {{{111, {5, 5}}, {222, {5, 5}}, {333, {5, 5}}, {555, {5, 5}}}};
        s.tendrils[1] = {{{100, {5, 5}}, {100, {5, 5}}, {100, {5, 5}}, {444, {5, 5}}}};
        if (r.nearOff) s.tendrils[0][1].delay = {0, 0};
        PutScript(s);
        for (RoomRecord& room : rooms_) room.tendrilCount = 0;
        EM_CloseMission();
        ASSERT_EQ(OpenMission(), 1);
        ASSERT_EQ(EmSpindrelTable.count, 1);
        EXPECT_EQ(Frames(5), kEmFrameRan);
        for (int32_t i = 0; i < kRooms; ++i) EXPECT_EQ(EmRoomTable.items[i].tendrils[0], 0) << "before due";
        EXPECT_EQ(Frames(1), kEmFrameRan);
        for (int32_t i = 0; i < kRooms; ++i) {
            SCOPED_TRACE("room " + std::to_string(i));
            EXPECT_EQ(EmRoomTable.items[i].tendrils[0], r.side0[i]);
            EXPECT_EQ(EmRoomTable.items[i].tendrils[1], 444);
            EXPECT_EQ(EM_GetTendrilsNumber(i, 0), r.side0[i] * 9 / 999);
            EXPECT_EQ(EM_GetTendrilsNumber(i, 1), 4);
        }
        EXPECT_EQ(EmTendrilKindEnabled[0][1], r.nearOff ? 0 : 1);
        // Every pending flag the queries set has been consumed.
        EXPECT_EQ(EmSpindrelTable.items[0].roomChangePending, 0);
    }
}

// A room's tendril value stays within 0..999 and the game's count follows
// it as value x 9 / 999; a pending spindrel is applied once.
TEST_F(FrameTest, TendrilValuesCapAt999AndClampAtZero) {
    CharacterRecord* roamer = Enemy("Roamer", {9000, 600, 0}, 2);
    (void)roamer;
    kit::EscScript s;
    kit::EscCharacter c = test::ScriptCharacter("Roamer");
    c.characteristics.spindrel = 1;
    c.characteristics.side = 1;
    s.characters = {c};
    PutScript(s);
    ASSERT_EQ(OpenMission(), 1);
    struct Row {
        const char* what;
        int32_t start, amount;
        bool pending;  // through a pending spindrel (kind 0) rather than kind 3
        int32_t value, count;
    };
    const Row rows[] = {
        {"990 + 111 stays at 999", 990, 111, false, 999, 9},
        {"888 + 110 is 998, still 8", 888, 110, false, 998, 8},
        {"0 + 111 is one tendril", 0, 111, false, 111, 1},
        {"111 - 500 stops at 0", 111, -500, false, 0, 0},
        {"a pending spindrel: 990 + 111", 990, 111, true, 999, 9},
    };
    EmRoom* room = &EmRoomTable.items[1];
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        room->tendrils[1] = r.start;
        rooms_[1].tendrilCount = -1;
        if (r.pending) {
            EmTendrils.kinds[1][0].amount = r.amount;
            EmSpindrelTable.items[0].roomChangePending = 1;
            EM_ChangeTendrilsForRoom(room, 0);
            EXPECT_EQ(EmSpindrelTable.items[0].roomChangePending, 0);
            // Consumed: a second call adds nothing.
            EM_ChangeTendrilsForRoom(room, 0);
        } else {
            EmTendrils.kinds[1][3].amount = r.amount;
            EM_ChangeTendrilsForRoomAlways(room, 1);
        }
        EXPECT_EQ(room->tendrils[1], r.value);
        EXPECT_EQ(rooms_[1].tendrilCount, r.count);
    }
}

}  // namespace
