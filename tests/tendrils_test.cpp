// The tendrils: the drop onto the room's collision faces, the counts the
// enemy manager asks for, fading, swaying and shooting on the virtual
// clock with seeded draws, hits and kills, and the missions and sides
// where tendrils grow and where they stand frozen.  The drills are the data
// kit's.
#include "game/dqx_tendrils.h"

#include "ai/em_core.h"
#include "ai/em_records.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_morph.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "host/host.h"
#include "platform/step_log.h"
#include "tests/em_fixture.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/drill_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using test::EnemyManagerTest;

// The room centre of the cases: the room model's position when there is
// no room model.
constexpr Vec3 kCentre{0, 0, 0};

// A ring of walls (vertical faces of `kind`) around the centre at
// `radius`, from y = -500 to 500.
kit::CollisionSpec Ring(int32_t radius, int32_t kind) {
    kit::CollisionSpec spec;
    spec.parts = {"ring"};
    const int sides = 24;
    for (int i = 0; i < sides; ++i) {
        const double a = 2 * 3.14159265358979 * i / sides;
        const int32_t x = int32_t(std::lround(radius * std::cos(a))), z = int32_t(std::lround(radius * std::sin(a)));
        spec.vertices.push_back({x, -500, z});
        spec.vertices.push_back({x, 500, z});
    }
    for (int i = 0; i < sides; ++i) {
        const int a = 2 * i, b = 2 * ((i + 1) % sides);
        spec.faces.push_back({{a, a + 1, b + 1}, 0, kind});
        spec.faces.push_back({{a, b + 1, b}, 0, kind});
    }
    return spec;
}

int32_t Horizontal(const Vec3& p) {
    return int32_t(std::lround(std::hypot(double(p.x - kCentre.x), double(p.z - kCentre.z))));
}

bool Hidden(ObjHandle h) {
    return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0;
}

int StepsNamed(const std::string& prefix) {
    return int(std::count_if(g_StepLog.begin(), g_StepLog.end(),
                             [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
}

class TendrilsTest : public EnemyManagerTest {
protected:
    void SetUp() override {
        EnemyManagerTest::SetUp();
        savedMission_ = MissionNumber;
        savedGameplay_ = GameplaySettings;
        savedTimer_ = GameTimer;
        savedSound_ = g_SoundOn;
        savedRoomPtr_ = CurrentRoomPtr;
        savedRoomModel_ = RoomModelHandle;
        MissionNumber = 7;
        g_SoundOn = 0;
        GameTimer.DeltaUnits = 1;
        GameplaySettings.TendrilsHealthMax = 3;
        GameplaySettings.PowerEraseTendrils = 1;
        GameplaySettings.TendrilsShootFrequency = 2;
        MissionFlagByte = 0;
        MissionStateByte = 0;
        TendrilsDisabled = 0;
        EngineServices.CharacterPosition = [](void* c) { return &static_cast<CharacterRecord*>(c)->position; };
        EngineServices.CharacterOrientation = [](void* c) { return &static_cast<CharacterRecord*>(c)->orientation; };
        for (const kit::NamedFile& f : kit::DemoDrillFiles()) Put(f.name, f.data);
        PutScript(kit::DemoScript(7));
        // The manager builds its rooms only for a mission with an enemy.
        AddCharacter("guard", 1);
        ASSERT_EQ(OpenMission(), 1);
        rooms_[0].modelWorldPos = kCentre;
        CurrentRoomPtr = &rooms_[0];
        RoomModelHandle = -1;
        Set_Identity(&records_[0].orientation);
        records_[0].position = {0, 0, 3000};
        g_StepLog.clear();
        ClearDrillState();
        LoadDrills();
    }
    void TearDown() override {
        Free_AllEffects();
        FreeDrills();
        TendrilsDisabled = 0;
        MissionFlagByte = 0;
        MissionStateByte = 0;
        MissionNumber = savedMission_;
        GameplaySettings = savedGameplay_;
        GameTimer = savedTimer_;
        g_SoundOn = savedSound_;
        CurrentRoomPtr = savedRoomPtr_;
        RoomModelHandle = savedRoomModel_;
        EnemyManagerTest::TearDown();
    }
    // The manager's number of tendrils of the side in room 0.
    void Want(int32_t count, int side = 0) { EM_FindRoomDatas(0)->tendrils[side] = count * 111; }
    int Living(int side = 0) const {
        int n = 0;
        for (const TendrilRecord& t : TendrilTable) n += t.side == side && t.model > 0 && t.alive ? 1 : 0;
        return n;
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) UpdateTendrils(0);
    }

    uint8_t savedMission_ = 0, savedSound_ = 0;
    GameplaySettingsRecord savedGameplay_{};
    FrameTimer savedTimer_{};
    RoomRecord* savedRoomPtr_ = nullptr;
    int32_t savedRoomModel_ = -1;
};

// The kit's drills read back: both sides' models, their 32-frame sway and
// their morph of the tip (two targets, one group bound to the part "tip");
// every tendril hides the marker "#base" and the key shape "~tip".
TEST_F(TendrilsTest, TheKitsDrillsLoadWithTheirSwayAndMorph) {
    EXPECT_EQ(TendrilSources.capacity, kTendrilRecords);
    for (int side = 0; side < kTendrilSides; ++side) {
        SCOPED_TRACE(side);
        const TendrilSource& s = TendrilSources.sides[side];
        ASSERT_GT(s.model, 0);
        EXPECT_STREQ(Get_ObjName(s.model), side == 0 ? "drill" : "drilb");
        EXPECT_EQ(Get_PartCount(s.model), 4);
        ASSERT_GT(s.anim, 0);
        EXPECT_EQ(s.frames, kit::kDrillSwayFrames);
        ASSERT_NE(s.morph, nullptr);
        EXPECT_EQ(s.morph->targetCount, 2);
        ASSERT_EQ(s.morph->groupCount, 1);
        EXPECT_EQ(s.morph->groups[0].part, Find_Part(s.model, "tip") - s.model);
        EXPECT_EQ(s.morph->groups[0].keyCount, 3);
    }
    MissionNumber = 6;
    ASSERT_EQ(CreateTendrils(1, 10, 1), 1);
    const ObjHandle copy = TendrilTable[10].model;
    EXPECT_TRUE(Hidden(Find_Part(copy, "#base")));
    EXPECT_TRUE(Hidden(Find_Part(copy, "~tip")));
    EXPECT_FALSE(Hidden(Find_Part(copy, "tip")));
}

// The drop: a tendril moves out from the centre 10 units at a time until
// its sphere (radius 64) touches a face of kind 1 or 2, turning to a new
// direction past 12000 (an offset of 750 units); a tendril that touches
// none loses its model.
TEST_F(TendrilsTest, TheDropStopsOnTheFirstFaceOfKind1Or2WithinTheReach) {
    struct Row {
        const char* name;
        std::function<kit::CollisionSpec()> faces;  // null: no collision object
        bool stands;
        int32_t nearest, farthest;  // horizontal distance of the tendril from the centre
        int32_t yMin, yMax;
    };
    const std::vector<Row> rows = {
        {"no collision: placed at the centre, drawn height", nullptr, true, 0, 0, -191, 64},
        {"a ring of kind 1 at 500", [] { return Ring(500, 1); }, true, 480, 501, -191, 64},
        {"a ring of kind 2 at 700", [] { return Ring(700, 2); }, true, 675, 701, -191, 64},
        {"a ring of kind 0 at 500: no face to grow on", [] { return Ring(500, 0); }, false, 0, 0, 0, 0},
        {"a ring of kind 1 at 900: beyond the reach", [] { return Ring(900, 1); }, false, 0, 0, 0, 0},
        {"the kit's canopy", [] { return kit::WithCanopy(kit::CollisionSpec{}); }, true, 0, 751, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearTendrils();
        if (row.faces) LoadCollision(row.faces(), ".\\ms7\\drop.3dc");
        host::SeedRand(11);
        const int made = CreateTendrils(0, 0, 5);
        EXPECT_EQ(made, 5);
        for (int i = 0; i < 5; ++i) {
            const TendrilRecord& t = TendrilTable[i];
            if (!row.stands) {
                EXPECT_EQ(t.model, 0) << i;
                EXPECT_EQ(t.alive, 0) << i;
                continue;
            }
            ASSERT_GT(t.model, 0) << i;
            EXPECT_EQ(t.alive, kTendrilMade) << i;
            EXPECT_GE(t.distance, 0);
            EXPECT_LE(t.distance, 12000);
            Vec3 at{};
            Get_ObjPos(t.model, &at);
            EXPECT_EQ(at, t.position);
            EXPECT_GE(Horizontal(at), row.nearest) << i;
            EXPECT_LE(Horizontal(at), row.farthest) << i;
            EXPECT_GE(at.y, row.yMin) << i;
            EXPECT_LE(at.y, row.yMax) << i;
        }
        if (row.faces) Free_Collision();
    }
}

// A tendril that touches nothing tries six directions (two draws each:
// angle and height, after the countdown's and the phase's) and is given up.
TEST_F(TendrilsTest, ATendrilThatTouchesNothingTriesSixDirections) {
    LoadCollision(Ring(500, 0), ".\\ms7\\drop.3dc");
    host::SeedRand(5);
    CreateTendrils(0, 0, 1);
    const int next = host::Rand();
    host::SeedRand(5);
    for (int i = 0; i < 2 + 2 * 6; ++i) host::Rand();
    EXPECT_EQ(host::Rand(), next);
    EXPECT_EQ(StepsNamed("TendrilGivenUp"), 1);
    Free_Collision();
}

// The counts follow the manager up and down: the live tendrils past its
// number die in slot order, dead ones come back (alive 1, fade 5) in slot
// order; at a room change those killed are hidden at once.
TEST_F(TendrilsTest, CountsFollowTheManagersNumberUpAndDown) {
    ASSERT_EQ(CreateTendrils(0, 0, kTendrilsPerSide), kTendrilsPerSide);
    struct Step {
        int32_t wanted;
        int mode;
        std::vector<int> alive;  // the slots alive afterwards
    };
    const std::vector<Step> steps = {
        {3, 0, {0, 1, 2}},
        {5, 0, {0, 1, 2, 3, 4}},
        {5, 0, {0, 1, 2, 3, 4}},
        {2, 1, {0, 1}},
        {0, 0, {}},
        {9, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {12, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (size_t s = 0; s < steps.size(); ++s) {
        SCOPED_TRACE(s);
        std::vector<int32_t> before;
        for (const TendrilRecord& t : TendrilTable) before.push_back(t.alive);
        Want(steps[s].wanted);
        UpdateTendrils(steps[s].mode);
        std::vector<int> alive;
        for (int i = 0; i < kTendrilRecords; ++i)
            if (TendrilTable[i].alive) alive.push_back(i);
        EXPECT_EQ(alive, steps[s].alive);
        for (int i = 0; i < kTendrilRecords; ++i) {
            const TendrilRecord& t = TendrilTable[i];
            if (!before[size_t(i)] && t.alive) {
                EXPECT_EQ(t.alive, kTendrilRevived) << i;
                EXPECT_EQ(t.fade, 5) << i;
            }
            if (before[size_t(i)] && !t.alive && steps[s].mode == 1) {
                EXPECT_EQ(t.fade, 0) << i;
                EXPECT_TRUE(Hidden(t.model)) << i;
            }
        }
    }
}

// Fading on the virtual clock: hidden while the flag byte is 0 (or above
// 3) or the state byte is 9; with the flag byte at 1..3 a live tendril
// gains 15 a frame up to 255; a dead one loses 5 a tick of the frame step
// and is hidden at 0.  The phase turns 4 a tick.
TEST_F(TendrilsTest, FadingAndSwayFollowTheFlagBytesAndTheFrameStep) {
    struct Row {
        const char* name;
        uint8_t flag, state;
        int32_t step;
        bool kill;
        int frames;
        int32_t fade;  // after the frames
        bool hidden;
    };
    const std::vector<Row> rows = {
        {"flag 0: stays hidden", 0, 0, 1, false, 5, 0, true},
        {"flag 4: stays hidden", 4, 0, 1, false, 5, 0, true},
        {"state 9: stays hidden", 1, 9, 1, false, 5, 0, true},
        {"flag 1, three frames", 1, 0, 1, false, 3, 45, false},
        {"flag 3, seventeen frames", 3, 0, 1, false, 17, 255, false},
        {"flag 2, thirty frames", 2, 0, 2, false, 30, 255, false},
        // Dead: the first frame it still lives (and dies at its end).
        {"dead, step 1", 1, 0, 1, true, 20, 255 - 19 * 5, false},
        {"dead, step 3", 1, 0, 3, true, 3, 255 - 2 * 15, false},
        {"dead, faded out", 1, 0, 4, true, 14, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearTendrils();
        MissionFlagByte = 0;
        MissionStateByte = 0;
        ASSERT_EQ(CreateTendrils(0, 0, 1), 1);
        TendrilRecord& t = TendrilTable[0];
        EXPECT_TRUE(Hidden(t.model)) << "made while the flag byte is 0";
        MissionFlagByte = row.flag;
        MissionStateByte = row.state;
        GameTimer.DeltaUnits = row.step;
        Want(row.kill ? 0 : 1);
        if (row.kill) {
            t.fade = 255;
            Show_Obj(t.model);
        }
        const int32_t phase = t.phase;
        Frames(row.frames);
        EXPECT_EQ(t.fade, row.fade);
        EXPECT_EQ(Hidden(t.model), row.hidden);
        EXPECT_EQ(t.phase, (phase + 4 * row.step * row.frames) & 0xFF);
    }
}

// A tendril made while the flag byte shows them starts fully opaque.
TEST_F(TendrilsTest, ATendrilMadeWhileTheyShowStartsOpaque) {
    MissionFlagByte = 1;
    ASSERT_EQ(CreateTendrils(0, 0, 1), 1);
    EXPECT_EQ(TendrilTable[0].fade, 255);
    EXPECT_FALSE(Hidden(TendrilTable[0].model));
}

// Shooting: the countdown falls by the frame step; once at 0 a shot goes
// one frame in 32 (seeded draws) while bit 1 of the flag byte is set and
// the hero stands off the tendril's forward plane; each shot sets the
// countdown to TendrilsShootFrequency x 70 (a frequency below 1 counts as 1).
TEST_F(TendrilsTest, ShotsWaitForTheCountdownBit1AndTheHeroInFront) {
    struct Row {
        const char* name;
        uint8_t flag;
        Vec3 hero;
        int32_t frequency;
        bool shoots;
    };
    const std::vector<Row> rows = {
        {"bit 1 set, hero ahead", 2, {0, 0, 3000}, 2, true},
        {"bit 1 set, hero behind", 3, {0, 0, -3000}, 2, true},
        {"bit 1 set, no frequency", 2, {0, 0, 3000}, 0, true},
        {"bit 1 clear", 1, {0, 0, 3000}, 2, false},
        {"hero beside: on the forward plane", 2, {3000, 0, 0}, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearTendrils();
        Free_AllEffects();
        GameplaySettings.TendrilsShootFrequency = row.frequency;
        const int32_t range = std::max(row.frequency, 1) * 70;
        MissionFlagByte = 1;
        host::SeedRand(3);
        ASSERT_EQ(CreateTendrils(0, 0, 1), 1);
        TendrilRecord& t = TendrilTable[0];
        EXPECT_GE(t.fireCountdown, 0);
        EXPECT_LT(t.fireCountdown, range);
        // Forward is z: the third row of the identity.
        Mat3 identity;
        Set_Identity(&identity);
        Set_ObjMatrix(t.model, &identity);
        records_[0].position = row.hero;
        MissionFlagByte = row.flag;
        Want(1);
        t.fireCountdown = 21;
        GameTimer.DeltaUnits = 4;
        g_StepLog.clear();
        Frames(5);
        EXPECT_EQ(t.fireCountdown, 1);
        EXPECT_EQ(StepsNamed("TendrilShot"), 0) << "none before the countdown ends";
        int shots = 0;
        for (int i = 0; i < 960; ++i) {
            UpdateTendrils(0);
            if (StepsNamed("TendrilShot") > shots) {
                ++shots;
                EXPECT_EQ(t.fireCountdown, range);
                t.fireCountdown = 0;
            }
        }
        if (row.shoots) {
            // 960 draws at 1 in 32: 30 expected.
            EXPECT_GE(shots, 15);
            EXPECT_LE(shots, 50);
        } else {
            EXPECT_EQ(shots, 0);
        }
    }
}

// Hits: each takes PowerEraseTendrils times the hero's damage factor from a
// live tendril's life; at 0 it dies, the room's count and the manager's
// value fall by one tendril, and bit 1 of the flag byte is set either way.  Dead tendrils, records outside
// the table and hits while tendrils are off change nothing.
TEST_F(TendrilsTest, HitsKillATendrilAndReportTheKill) {
    struct Row {
        const char* name;
        int32_t life, erase, factor;
        bool dead, outside, disabled;
        int32_t lifeAfter;
        bool killed;
    };
    const std::vector<Row> rows = {
        {"3 - 1", 3, 1, 1, false, false, false, 2, false},
        {"3 - 3", 3, 3, 1, false, false, false, 0, true},
        {"2 - 5", 2, 5, 1, false, false, false, 0, true},
        {"erase 0 leaves it", 2, 0, 1, false, false, false, 2, false},
        {"the hero's factor 2: 5 - 2 x 2", 5, 2, 2, false, false, false, 1, false},
        {"the hero's factor 3: 6 - 2 x 3", 6, 2, 3, false, false, false, 0, true},
        {"a dead tendril", 3, 1, 1, true, false, false, 3, false},
        {"a record outside the table", 3, 1, 1, false, true, false, 3, false},
        {"tendrils off", 3, 1, 1, false, false, true, 3, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearTendrils();
        ASSERT_EQ(CreateTendrils(0, 0, 2), 2);
        TendrilRecord outside = TendrilTable[1];
        TendrilRecord* t = row.outside ? &outside : &TendrilTable[1];
        t->life = row.life;
        if (row.dead) t->alive = 0;
        GameplaySettings.PowerEraseTendrils = row.erase;
        records_[0].damageFactor = row.factor;
        TendrilsDisabled = row.disabled ? 1 : 0;
        MissionFlagByte = 0;
        Want(4);
        rooms_[0].tendrilCount = 4;
        HitTendril(t);
        TendrilsDisabled = 0;
        EXPECT_EQ(t->life, row.lifeAfter);
        const bool changed = !row.dead && !row.outside && !row.disabled;
        EXPECT_EQ(MissionFlagByte, changed ? kMissionFlagSpindrelHit : 0);
        EXPECT_EQ(t->alive == 0, row.killed || row.dead);
        EXPECT_EQ(EM_GetTendrilsNumber(0, 0), row.killed ? 3 : 4);
        EXPECT_EQ(rooms_[0].tendrilCount, row.killed ? 3 : 4);
    }
}

// FindFacingTendril: the live tendril with the greatest horizontal facing
// cosine above 12000 from the character, with its position.
TEST_F(TendrilsTest, TheHeroFindsTheLiveTendrilMostNearlyInFront) {
    ASSERT_EQ(CreateTendrils(0, 0, 3), 3);
    // Get_FacingCosXZ compares (-m00, 0, m02) with the way from the target
    // to the character: with the identity the hero faces +x.
    const Vec3 places[3] = {{1000, 0, 0}, {1000, 0, 300}, {0, 0, 1000}};
    for (int i = 0; i < 3; ++i) TendrilTable[i].position = places[i];
    records_[0].position = {0, 0, 0};
    Set_Identity(&records_[0].orientation);
    struct Row {
        const char* name;
        std::function<void()> set;
        int expected;  // slot, -1 none
    };
    const std::vector<Row> rows = {
        {"straight ahead wins", [] {}, 0},
        {"the nearest to the facing once the first dies", [] { TendrilTable[0].alive = 0; }, 1},
        {"none in front", [] { TendrilTable[0].alive = TendrilTable[1].alive = 0; }, -1},
        {"tendrils off", [] { TendrilsDisabled = 1; }, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < 3; ++i) TendrilTable[i].alive = kTendrilMade;
        TendrilsDisabled = 0;
        row.set();
        Vec3 at{1, 2, 3};
        TendrilRecord* found = FindFacingTendril(&records_[0], &at);
        TendrilsDisabled = 0;
        if (row.expected < 0) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        EXPECT_EQ(found, &TendrilTable[row.expected]);
        EXPECT_EQ(at, places[row.expected]);
    }
}

// Side 1 grows only in mission 6.  In missions 20 and above the room's
// tendrils are made, shown and found by the tendril shot as anywhere, but
// stand frozen: nothing updates them.  With tendrils off nothing is made,
// moves or is found.
TEST_F(TendrilsTest, MissionsAndSidesOfTendrils) {
    struct Row {
        const char* name;
        uint8_t mission;
        bool disabled;
        int side0, side1;  // made
        bool updates;
    };
    const std::vector<Row> rows = {
        {"mission 7", 7, false, 10, 0, true},
        {"mission 6", 6, false, 10, 10, true},
        {"mission 19", 19, false, 10, 0, true},
        {"mission 20", 20, false, 10, 0, false},
        {"mission 22", 22, false, 10, 0, false},
        {"tendrils off", 7, true, 0, 0, false},
    };
    // The hero looks along +x at the room centre, where the tendrils stand
    // (no collision geometry here to drop them onto).
    records_[0].position = {-3000, 0, 0};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearTendrils();
        MissionNumber = row.mission;
        TendrilsDisabled = row.disabled ? 1 : 0;
        MissionFlagByte = 1;
        CreateRoomTendrils();
        int made[2] = {0, 0}, shown = 0;
        for (const TendrilRecord& t : TendrilTable)
            if (t.model > 0) ++made[t.side], shown += Hidden(t.model) ? 0 : 1;
        EXPECT_EQ(made[0], row.side0);
        EXPECT_EQ(made[1], row.side1);
        EXPECT_EQ(shown, row.side0 + row.side1);
        EXPECT_EQ(TendrilSources.count, row.side0 + row.side1);
        EXPECT_EQ(FindFacingTendril(&records_[0]) != nullptr, row.side0 > 0);
        // The tendrils just made, updated for three frames: do they move?
        TendrilsDisabled = 0;
        MissionNumber = 7;
        ClearTendrils();
        CreateTendrils(0, 0, 1);
        TendrilTable[0].fade = 100;
        const int32_t phase = TendrilTable[0].phase;
        MissionNumber = row.mission;
        TendrilsDisabled = row.disabled ? 1 : 0;
        Want(1);
        Frames(3);
        EXPECT_EQ(TendrilTable[0].phase != phase, row.updates);
        EXPECT_EQ(TendrilTable[0].fade != 100, row.updates);
        TendrilsDisabled = 0;
    }
}

// The mission's life cycle on the kit's mission 7: ten tendrils on the
// canopy of each room entered, the previous room's models freed, and
// nothing left once the mission ends.
class TendrilLifeTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        for (const kit::NamedFile& f : kit::DemoDrillFiles()) Put(f.name, f.data);
        savedOptions_ = DisplayOptions;
        DisplayOptions = 4;
    }
    void TearDown() override {
        DemoMissionTest::TearDown();
        DisplayOptions = savedOptions_;
    }
    uint32_t savedOptions_ = 0;
};

TEST_F(TendrilLifeTest, EachRoomEnteredGrowsItsTendrilsOnTheCanopy) {
    host::SeedRand(1);
    GoToMission(7, 0);
    ASSERT_TRUE(MissionPtr);
    auto check = [](const char* when) {
        SCOPED_TRACE(when);
        int made = 0;
        for (int i = 0; i < kTendrilsPerSide; ++i) {
            const TendrilRecord& t = TendrilTable[i];
            if (t.model <= 0) continue;
            ++made;
            Vec3 at{};
            Get_ObjPos(t.model, &at);
            // The canopy lies level with the room model (placed at the
            // room's position) within 1000 of its origin.
            ASSERT_TRUE(CurrentRoomPtr);
            EXPECT_EQ(at.y, CurrentRoomPtr->modelWorldPos.y) << i;
            EXPECT_NE(at.y, 0) << "mission 7's room models stand at the hero's hand height";
            EXPECT_LE(Horizontal(at), 751) << i;
        }
        // With the canopy under half the heights drawn, most stand.
        EXPECT_GE(made, 8);
        EXPECT_EQ(TendrilSources.count, kTendrilsPerSide);
    };
    check("first room");
    // The drills in the object library: the source and one copy a tendril.
    auto drills = [] {
        int n = 0;
        for (PoolRef<ObjBlock> b = g_FirstBlock; b; b = Get(b, &ObjBlock::next))
            if (Get(b, &ObjBlock::type) == kBlockNodes && std::string(Get_ObjName(Get(b, &ObjBlock::handleBase))) == "drill")
                ++n;
        return n;
    };
    auto standing = [] {
        return int(std::count_if(TendrilTable, TendrilTable + kTendrilRecords, [](const TendrilRecord& t) { return t.model > 0; }));
    };
    EXPECT_EQ(drills(), 1 + standing());
    ChangeRoom(1);
    check("second room");
    EXPECT_EQ(drills(), 1 + standing()) << "the first room's tendrils were freed";
    EndMission();
    for (const TendrilRecord& t : TendrilTable) EXPECT_EQ(t.model, 0);
    EXPECT_EQ(TendrilSources.sides[0].model, 0);
    EXPECT_EQ(TendrilSources.sides[0].morph, nullptr);
}

}  // namespace
