// The hero's death on the kit's mission 22, the enemy manager running the
// hall's guard (its script's contact damage is 10): the guard's contact
// takes the hero's life, the world update then starts the death, the point
// camera looks at the fallen hero from the nearest room point, and the
// death holds its last frame.
#include "tests/mission_fixtures.h"

#include "ai/em_records.h"
#include "ai/managers.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_anim.h"
#include "game/dqx_load.h"
#include "game/dqx_points.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "host/headless/headless.h"
#include "platform/settings.h"
#include "program/engine_services.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// The guard's contact damage in the kit's ENEMIES.ESC for mission 22.
constexpr int32_t kContactDamage = 10;

class HeroDeathTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        InstallEngineServices();
        savedEm_ = EmEnabled;
        savedEmOpen_ = EmOpenFlag;
        savedTimer_ = GameTimer;
        EmEnabled = 1;
        EM_Open();
        host::headless::SetClock(0);
        BeginMission(22);
        FirstMission = 0;
    }
    void TearDown() override {
        DemoMissionTest::TearDown();
        EM_Close();
        EmEnabled = savedEm_;
        EmOpenFlag = savedEmOpen_;
        GameTimer = savedTimer_;
    }
    CharacterRecord& Hero() { return CharacterTable[0]; }
    CharacterRecord& Guard() { return CharacterTable[1]; }
    CharacterAnimState& HeroAnim() { return CharacterAnimTable[0]; }
    // One frame of the world as the game loop runs it: 3 ticks of 1/70 s.
    void Frame() {
        host::headless::AdvanceClock(43000);
        GameTimer.Delta = 3.0f;
        GameTimer.DeltaUnits = 3;
        GameTimer.DoubleDelta = 6;
        GameTimer.HalfDelta = 1;
        UpdateWorld(&Hero());
    }
    // The guard put beside the hero, touching it.
    void GuardTouchesHero() {
        Guard().position = {Hero().position.x + 200, Hero().position.y, Hero().position.z};
        if (Guard().model > 0) Set_ObjPos(Guard().model, &Guard().position);
        CharacterAnimTable[1].position = Guard().position;
    }
    bool DeathStarted() { return Hero().def->dying != 0; }

    uint8_t savedEm_ = 0, savedEmOpen_ = 0;
    FrameTimer savedTimer_{};
};

// The guard's contact, as the enemy manager's frame gives it, kills the
// hero once it takes the last of its life; the next world update starts
// the death.  What the contact leaves is the one life the death rule and
// the hit reaction read.
TEST_F(HeroDeathTest, ContactDamageKillsTheHeroThroughTheWorldUpdate) {
    struct Row {
        const char* name;
        int32_t life;
        uint8_t special;    // the hero's special state while the guard touches it
        int32_t immunity;   // the hero's immunity ticks
        int32_t lifeAfter;
        bool dies;          // while the special state holds
    };
    const Row rows[] = {
        {"the contact takes the last life", kContactDamage, 0, 0, 0, true},
        {"the contact takes more than is left", 4, 0, 0, 0, true},
        {"one life point left", kContactDamage + 1, 0, 0, 1, false},
        {"an immune hero is not touched", kContactDamage, 0, 1 << 20, kContactDamage, false},
        {"a hero held by a scene dies once let go", kContactDamage, 8, 0, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EndMission();
        BeginMission(22);
        Hero().def->life = row.life;
        Hero().special = row.special;
        Hero().immunity = row.immunity;
        // Long enough for the guard's first touch and the frame after it.
        for (int frames = 0; frames < 120 && Hero().def->life == row.life; ++frames) {
            GuardTouchesHero();
            Frame();
        }
        Frame();
        EXPECT_EQ(Hero().def->life, row.lifeAfter);
        EXPECT_EQ(DeathStarted(), row.dies);
        if (row.dies) {
            EXPECT_EQ(Hero().special, 4);
            const int code = HeroAnim().requested;
            EXPECT_TRUE(code >= 21 && code <= 23) << code;
        }
        if (row.special != 0 && row.lifeAfter <= 0) {
            Hero().special = 0;
            Frame();
            EXPECT_TRUE(DeathStarted());
        }
        if (!row.dies && row.lifeAfter > 0) {
            // Its hit reaction is by the life the contact left: 20 at 1..33.
            SetLifeStanceAnim(&Hero());
            EXPECT_EQ(HeroAnim().requested, row.lifeAfter <= 33 ? 20 : 1);
        }
    }
}

// The dying hero: its current point becomes the room point nearest to it
// and the movement mode 6, so that the point camera stands on that point
// and looks straight at the hero.  The hall's points stand at (-400,
// -1850), (0, 0) and (0, 1200), each with a radius of 600; a hero outside
// every radius keeps the point it had.  A guard's death leaves the camera
// alone.
TEST_F(HeroDeathTest, TheDyingHeroIsSeenFromItsNearestPoint) {
    struct Row {
        const char* name;
        int who;
        int32_t x, z;
        uint8_t pointBefore;
        uint8_t point;
        uint8_t mode;
    };
    const Row rows[] = {
        {"beside the middle point", 0, 100, -150, 0, 1, kCameraDying},
        {"beside the far point", 0, -200, 1100, 0, 2, kCameraDying},
        {"by the start point", 0, -300, -1500, 2, 0, kCameraDying},
        {"outside every radius", 0, 1500, 1700, 2, 2, kCameraDying},
        {"a guard dies", 1, 100, -150, 0, 0, kCameraFollow},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EndMission();
        BeginMission(22);
        ASSERT_EQ(CameraMode, kCameraFollow);
        ASSERT_NE(CurrentRoomPtr, nullptr);
        ASSERT_EQ(CurrentRoomPtr->pointCount, 3);
        CurrentPointIndex = row.pointBefore;
        CurrentPointPtr = &CurrentRoomPtr->points[row.pointBefore];
        CharacterRecord& c = CharacterTable[row.who];
        c.position.x = row.x;
        c.position.z = row.z;
        CharacterAnimTable[row.who].position = c.position;
        if (c.model > 0) Set_ObjPos(c.model, &c.position);
        c.def->life = 0;
        StartCharacterDeath(&c);
        ASSERT_NE(c.def->dying, 0);
        EXPECT_EQ(CurrentPointIndex, row.point);
        EXPECT_EQ(CameraMode, row.mode);
        if (row.who != 0) continue;
        Frame();
        const Vec3& stand = CurrentRoomPtr->points[row.point].position;
        Vec3 camera{};
        Get_ObjPos(0, &camera);
        EXPECT_EQ(camera.x, stand.x);
        EXPECT_EQ(camera.y, stand.y);
        EXPECT_EQ(camera.z, stand.z);
        // Looking at the hero's position (not its eyes: mode 6 looks at
        // where it lies).
        Mat3 look{}, toHero{};
        Get_ObjMatrix(0, &look);
        Make_LookAt(&camera, &Hero().position, &toHero);
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(look.m[k], toHero.m[k], 2) << k;
    }
}

// Each of the hero's three deaths falls to the floor (its head ends lying
// less than the body's width above the floor, where standing it is 300 up
// and more) and holds its last frame: the dying byte's bit 0 set, the state
// dead (blending 2), the pose still from frame to frame, the life 0 and the
// dying state kept.  The kit's deaths last 40 (entry 21), 50 (22) and 60
// (23) frames at 30 a second.
TEST_F(HeroDeathTest, EachDeathFallsToTheFloorAndHoldsItsLastFrame) {
    for (int code : {21, 22, 23}) {
        SCOPED_TRACE(code);
        EndMission();
        BeginMission(22);
        Vec3 head{};
        Update_SubtreeTransforms(0);
        ASSERT_EQ(Get_ObjWorldPos(Hero().head, &head), 0);
        const int32_t floor = Hero().position.y;
        ASSERT_GT(floor - head.y, 250);
        Hero().def->life = 0;
        Frame();
        ASSERT_TRUE(DeathStarted());
        // The death drawn is random: the one of the row asked for instead.
        ChangeCharacterAnim(&Hero(), code, 1);
        for (int i = 0; i < 80; ++i) Frame();
        EXPECT_EQ(HeroAnim().current, code);
        EXPECT_EQ(HeroAnim().blending, 2);
        EXPECT_EQ(Hero().def->dying & 1, 1);
        Update_SubtreeTransforms(0);
        ASSERT_EQ(Get_ObjWorldPos(Hero().head, &head), 0);
        EXPECT_LT(floor - head.y, 100) << "the head stands " << floor - head.y << " above the floor";
        const ObjHandle model = Hero().model;
        ASSERT_GT(model, 0);
        const int parts = Get_PartCount(model);
        std::vector<Mat3> before(static_cast<size_t>(parts));
        for (int p = 0; p < parts; ++p) Get_ObjMatrix(model + p, &before[size_t(p)]);
        for (int i = 0; i < 10; ++i) Frame();
        for (int p = 0; p < parts; ++p) {
            Mat3 now{};
            Get_ObjMatrix(model + p, &now);
            for (int k = 0; k < 9; ++k) EXPECT_EQ(now.m[k], before[size_t(p)].m[k]) << "part " << p;
        }
        EXPECT_EQ(Hero().def->life, 0);
        EXPECT_EQ(Hero().special, 4);
        EXPECT_EQ(HeroAnim().current, code);
    }
}

}  // namespace
