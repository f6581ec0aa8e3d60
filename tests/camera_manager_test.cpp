// The follow camera against a hero built here: a small model whose position
// and orientation the test scripts, an enemy the test's target choice may
// pick, a frame step the test sets, and the camera object read back.  The
// collision world is empty (every line clear) unless a test loads the kit's
// room: walls at x and z = +-2000, the floor at y = 1218.
#include "ai/cm_manager.h"
#include "ai/em_host.h"
#include "ai/managers.h"
#include "engine3d/dqx_front.h"
#include "game/characters.h"
#include "game/game_state.h"
#include "program/engine_services.h"
#include "test_collision.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

float g_Factor = 1.0f;
CharacterRecord* g_Target = nullptr;

// The manager's constants: follow distance, eye offsets and look-ahead.
constexpr float kFollow = 1650.0f;

class CameraManagerTest : public test::CollisionTest {
protected:
    void SetUp() override {
        CollisionTest::SetUp();
        savedTable_ = CharacterTable;
        savedCamera_ = CmCamera;
        savedHost_ = CmHost;
        records_.assign(kCharacterSlots, CharacterRecord{});
        defs_.assign(kCharacterSlots, CharacterDef{});
        CharacterTable = records_.data();
        for (int i = 0; i < 2; ++i) records_[i].def = &defs_[i];
        records_[0].model = PlaceCube(hero_, ".\\ms22\\hero.3dc");
        records_[1].model = PlaceCube(enemy_, ".\\ms22\\enemy.3dc");
        g_Factor = 1.0f;
        g_Target = nullptr;
        CmHost = CameraManagerHost{
            .FindCharacterTarget = [](CharacterRecord*, int inSight) { return inSight == 1 ? g_Target : nullptr; },
            .CanLockOn = [](const CharacterRecord* c) { return int(c->def->lockOn); },
            .FrameStep = [] { return g_Factor; },
        };
        CM_SetDebug(0);
        CM_Open();
        Refresh();
        ASSERT_EQ(CM_OpenMission(22), 1);
    }
    void TearDown() override {
        CM_SetDebug(0);
        CharacterTable = savedTable_;
        CmCamera = savedCamera_;
        CmHost = savedHost_;
        CollisionTest::TearDown();
    }

    // The scene's transforms as the frame's walk leaves them: the hero's
    // world matrix is read from them.
    static void Refresh() {
        Update_SubtreeTransforms(0);
    }
    void MoveHero(Vec3 at) {
        hero_ = at;
        Set_ObjPos(records_[0].model, &at);
        Refresh();
    }
    static int Frame(int apply = 0) {
        Refresh();
        return CM_UpdataCamera(apply);
    }
    static float Horizontal(const float* a, const float* b) {
        return std::sqrt(EMH_DistanceXZSquared(a, b));
    }
    void LoadRoom() {
        LoadCollision(kit::RoomCollision({}));
    }

    // The hero stands in the middle of the room, facing +x (identity).
    Vec3 hero_{0, 600, 0};
    Vec3 enemy_{500, 600, 800};
    std::vector<CharacterRecord> records_;
    std::vector<CharacterDef> defs_;
    CharacterRecord* savedTable_ = nullptr;
    CmCameraState savedCamera_{};
    CameraManagerHost savedHost_{};
};

// The mission open puts the eye the follow distance behind the hero, 160
// above it, and the aim point the look-ahead in front, both at their goals.
TEST_F(CameraManagerTest, MissionOpenPlacesTheEyeBehindTheHero) {
    EXPECT_FLOAT_EQ(CmCamera.eye[0], -kFollow);
    EXPECT_FLOAT_EQ(CmCamera.eye[1], 600.0f - 160.0f);
    EXPECT_FLOAT_EQ(CmCamera.eye[2], 0.0f);
    EXPECT_FLOAT_EQ(CmCamera.aim[0], 165.0f);
    EXPECT_FLOAT_EQ(CmCamera.aim[1], 600.0f);
    EXPECT_FLOAT_EQ(CmCamera.aimSpeed, 0.0f);
    EXPECT_EQ(CmCamera.lock, 0);
    EXPECT_EQ(CmCamera.calls, 0);
}

// Look-ahead and eye height slide from 825 / -266 with the eye at the hero
// to 165 / -160 at the follow distance, and stay there beyond it.
TEST_F(CameraManagerTest, LookAheadAndEyeOffsetFollowTheEyesDistance) {
    struct Row {
        float distance;
        float lookAhead, offset;
    };
    const Row rows[] = {
        {kFollow, 165.0f, -160.0f},
        {kFollow / 2, 495.0f, -213.0f},
        {0.0f, 825.0f, -266.0f},
        {kFollow * 2, 165.0f, -160.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.distance);
        EMH_SetVector(CmCamera.eye, float(hero_.x) - row.distance, float(hero_.y), float(hero_.z));
        CM_ComputeCameraHeightAndAim();
        EXPECT_NEAR(CmCamera.lookAhead, row.lookAhead, 1e-3);
        EXPECT_NEAR(CmCamera.eye[1] - float(hero_.y), row.offset, 1e-3);
        // The aim goal is the look-ahead in front of the hero.
        EXPECT_NEAR(CmCamera.aimGoal[0], float(hero_.x) + row.lookAhead, 1e-3);
    }
}

// A wall 400 behind the hero: the eye's goal stops 33 in front of the hit,
// toward the hero when the camera is placed at a room change, toward the
// aim point in a frame's update.
TEST_F(CameraManagerTest, AWallBehindTheHeroPullsTheEyeIn) {
    LoadRoom();
    MoveHero({-1600, 600, 0});
    const float h[3] = {-1600.0f, 600.0f, 0.0f}, behind[3] = {-1600.0f - kFollow, 600.0f, 0.0f};
    float hit[3];
    ASSERT_EQ(CMH_FindNearestHit(h, behind, hit), 0);
    ASSERT_NEAR(hit[0], -2000.0f, 1.0f);

    struct Row {
        const char* when;
        bool update;
        float toward[3];
    };
    const Row rows[] = {
        {"room change", false, {-1600.0f, 600.0f, 0.0f}},
        {"update", true, {-1600.0f, 600.0f, 1000.0f}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.when);
        float way[3] = {row.toward[0] - hit[0], row.toward[1] - hit[1], row.toward[2] - hit[2]};
        EMH_Normalize(way);
        const float goal[3] = {hit[0] + 33 * way[0], hit[1] + 33 * way[1], hit[2] + 33 * way[2]};
        float got[3];
        if (!row.update) {
            CM_PlayerChangeRoom();
            EMH_SetVector(got, CmCamera.eye[0], 0.0f, CmCamera.eye[2]);
        } else {
            // The aim point off to the side; the eye's goal is read back from
            // the step: the eye moves gap / 15 at factor 1 toward it.
            EMH_SetVector(CmCamera.aim, row.toward[0], row.toward[1], row.toward[2]);
            const float before[3] = {CmCamera.eye[0], CmCamera.eye[1], CmCamera.eye[2]};
            ASSERT_EQ(Frame(), 1);
            float dir[3] = {CmCamera.eyeDirection[0], 0.0f, CmCamera.eyeDirection[2]};
            EMH_Normalize(dir);
            const float gap = CmCamera.eyeStep * 15.0f;
            EMH_SetVector(got, before[0] + dir[0] * gap, 0.0f, before[2] + dir[2] * gap);
        }
        EXPECT_NEAR(got[0], goal[0], 0.05);
        EXPECT_NEAR(got[2], goal[2], 0.05);
    }
}

// The eye covers gap x factor / 15 of its horizontal gap in a frame: three
// times as far at factor 3 as at factor 1 for the same gap.
TEST_F(CameraManagerTest, EyeStepGrowsWithTheFrameFactor) {
    struct Row {
        float factor;
    };
    const Row rows[] = {{1.0f}, {3.0f}, {4.0f}};
    const CmCameraState start = CmCamera;
    float first = 0.0f;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.factor);
        CmCamera = start;
        MoveHero({0, 600, 0});
        MoveHero({300, 600, 0});  // the eye's goal moves 300 away
        g_Factor = row.factor;
        ASSERT_EQ(Frame(), 1);
        EXPECT_NEAR(CmCamera.eyeStep, 300.0f * row.factor / 15.0f, 1e-3);
        if (row.factor == 1.0f) first = CmCamera.eyeStep;
        EXPECT_NEAR(CmCamera.eyeStep, first * row.factor, 1e-3);
        // Along the unit direction toward the goal, 160 below: a little
        // less than the step in x.
        const float moved = CmCamera.eye[0] - start.eye[0];
        EXPECT_NEAR(moved, CmCamera.eyeStep * 300.0f / std::sqrt(300.0f * 300.0f + 160.0f * 160.0f), 1e-2);
    }
}

// At any frame step the eye closes on its goal and never passes it, also
// where the fast key makes the step larger than 15 ticks.
TEST_F(CameraManagerTest, EyeNeverPassesItsGoal) {
    const float factors[] = {1.0f, 8.0f, 15.0f, 24.0f, 40.0f, 70.0f};
    const CmCameraState start = CmCamera;
    for (float factor : factors) {
        SCOPED_TRACE(factor);
        CmCamera = start;
        MoveHero({0, 600, 0});
        MoveHero({600, 600, 0});
        g_Factor = factor;
        const float goalX = 600.0f - kFollow;
        float gap = goalX - CmCamera.eye[0];
        for (int frame = 0; frame < 12; ++frame) {
            ASSERT_EQ(Frame(), 1);
            const float left = goalX - CmCamera.eye[0];
            EXPECT_GE(left, 0.0f) << frame;
            EXPECT_LE(left, gap) << frame;
            EXPECT_LE(CmCamera.eyeStep, gap + 1e-3f) << frame;
            gap = left;
        }
    }
}

// The aim point at rest 100 from a goal that stays still, at factor 1,
// moves 0, 0.5, 1.0, 1.5 ... until the rest is at most the step; then it
// jumps onto the goal and stops.  100 - 0.25 k (k - 1) first falls to
// 0.5 k or below at k = 20: 19 moves up to 9.5, then the jump of 5.
TEST_F(CameraManagerTest, AimPointAcceleratesThenJumpsOntoItsGoal) {
    const float goal[3] = {CmCamera.aimGoal[0], CmCamera.aimGoal[1], CmCamera.aimGoal[2]};
    EMH_SetVector(CmCamera.aim, goal[0], goal[1], goal[2] - 100.0f);
    CmCamera.aimSpeed = 0.0f;
    struct Row {
        int frame;
        float moved;
        float speedAfter;
    };
    const Row rows[] = {
        {0, 0.0f, 0.5f}, {1, 0.5f, 1.0f}, {2, 1.0f, 1.5f}, {3, 1.5f, 2.0f}, {19, 9.5f, 10.0f}, {20, 5.0f, 0.0f},
    };
    size_t next = 0;
    for (int frame = 0; frame <= 20; ++frame) {
        const float before = CmCamera.aim[2];
        ASSERT_EQ(Frame(), 1);
        if (next < std::size(rows) && rows[next].frame == frame) {
            SCOPED_TRACE(frame);
            EXPECT_NEAR(CmCamera.aim[2] - before, rows[next].moved, 1e-3);
            EXPECT_FLOAT_EQ(CmCamera.aimSpeed, rows[next].speedAfter);
            ++next;
        }
    }
    EXPECT_EQ(next, std::size(rows));
    EXPECT_FLOAT_EQ(CmCamera.aim[0], goal[0]);
    EXPECT_FLOAT_EQ(CmCamera.aim[2], goal[2]);
    // On its goal it stays.
    ASSERT_EQ(Frame(), 1);
    EXPECT_FLOAT_EQ(CmCamera.aim[2], goal[2]);
    EXPECT_FLOAT_EQ(CmCamera.aimSpeed, 0.0f);
}

// A locked enemy holds the aim only while the hero neither walks nor turns;
// otherwise the aim goal is the point ahead of the hero again.
TEST_F(CameraManagerTest, LockHoldsOnlyWhileTheHeroStandsStill) {
    struct Row {
        const char* what;
        uint16_t controls;
        bool target, lockable;
        bool locked;
    };
    const Row rows[] = {
        {"standing", 0, true, true, true},
        {"walking forward", kCtlForward, true, true, false},
        {"walking back", kCtlBackward, true, true, false},
        {"turning left", kCtlTurnLeft, true, true, false},
        {"turning right", kCtlTurnRight, true, true, false},
        {"casting a power while standing", kCtlPower, true, true, true},
        {"a target without lock-on", 0, true, false, false},
        {"no target", 0, false, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        records_[0].controls = row.controls;
        defs_[1].lockOn = row.lockable ? 1 : 0;
        g_Target = row.target ? &records_[1] : nullptr;
        ASSERT_EQ(Frame(), 1);
        EXPECT_EQ(CmCamera.lock, row.locked ? 1 : 0);
        const float expectX = row.locked ? float(enemy_.x) : float(hero_.x) + CmCamera.lookAhead;
        const float expectZ = row.locked ? float(enemy_.z) : float(hero_.z);
        EXPECT_NEAR(CmCamera.aimGoal[0], expectX, 1e-3);
        EXPECT_NEAR(CmCamera.aimGoal[2], expectZ, 1e-3);
    }
    // The lock point follows the enemy from frame to frame.
    records_[0].controls = 0;
    g_Target = &records_[1];
    defs_[1].lockOn = 1;
    Vec3 moved{-700, 500, 900};
    Set_ObjPos(records_[1].model, &moved);
    ASSERT_EQ(Frame(), 1);
    EXPECT_FLOAT_EQ(CmCamera.lockPoint[0], -700.0f);
    EXPECT_FLOAT_EQ(CmCamera.lockPoint[2], 900.0f);
}

// The camera object moves only when the update is asked to apply: then to
// the eye (truncated), looking at the aim point.
TEST_F(CameraManagerTest, OnlyAnAppliedUpdateMovesTheCamera) {
    struct Row {
        int apply;
    };
    const Row rows[] = {{0}, {1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.apply);
        Vec3 away{11, 22, 33};
        Mat3 level;
        Set_Identity(&level);
        Set_ObjPos(0, &away);
        Set_ObjMatrix(0, &level);
        MoveHero({hero_.x + 250, 600, 0});
        ASSERT_EQ(Frame(row.apply), 1);
        Vec3 pos{};
        Mat3 m{};
        Get_ObjPos(0, &pos);
        Get_ObjMatrix(0, &m);
        if (!row.apply) {
            EXPECT_EQ(pos, away);
            EXPECT_EQ(std::memcmp(&m, &level, sizeof m), 0);
            continue;
        }
        EXPECT_EQ(pos, (Vec3{int32_t(CmCamera.eye[0]), int32_t(CmCamera.eye[1]), int32_t(CmCamera.eye[2])}));
        Vec3 aim{int32_t(CmCamera.aim[0]), int32_t(CmCamera.aim[1]), int32_t(CmCamera.aim[2])}, d, n;
        Sub_Vector(&aim, &pos, &d);
        Normalize_Vector(&d, &n);
        Mat3 look;
        Make_LookMatrix(&n, &look);
        EXPECT_EQ(std::memcmp(&m, &look, sizeof m), 0);
    }
}

// Calls on a closed manager answer -1 or do nothing; the camera stays.
TEST_F(CameraManagerTest, ClosedManagerAnswersMinusOne) {
    EXPECT_EQ(CM_CloseMission(), 1);
    EXPECT_EQ(CM_Close(), 1);
    const CmCameraState closed = CmCamera;
    Vec3 before{};
    Get_ObjPos(0, &before);
    MoveHero({900, 600, 0});
    EXPECT_EQ(Frame(1), -1);
    EXPECT_EQ(CM_Close(), -1);
    EXPECT_EQ(CM_OpenMission(22), -1);
    EXPECT_EQ(CM_CloseMission(), -1);
    CM_PlayerChangeRoom();
    EXPECT_FLOAT_EQ(CmCamera.eye[0], closed.eye[0]);
    EXPECT_FLOAT_EQ(CmCamera.aim[0], closed.aim[0]);
    Vec3 after{};
    Get_ObjPos(0, &after);
    EXPECT_EQ(after, before);
    // Open again, the calls count from 0.
    EXPECT_EQ(CM_Open(), 1);
    EXPECT_EQ(CmCamera.calls, 0);
    EXPECT_EQ(Frame(), 1);
    EXPECT_EQ(CmCamera.calls, 1);
}

// Debug bit 0 writes the log lines, bit 1 the call trace: each operation's
// name with "()" and its "End Of" line behind thirty asterisks.
TEST_F(CameraManagerTest, DebugBitsSelectTheLogAndTheTrace) {
    struct Row {
        uint32_t bits;
        bool log, trace;
    };
    const Row rows[] = {{0, false, false}, {1, true, false}, {2, false, true}, {3, true, true}};
    const std::string stars(30, '*');
    EXPECT_STREQ(CM_GetLibVersion(), "Spindrel Camera Manager Version 1.01 RC2");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bits);
        std::filesystem::remove(dir_ / "debug.txt");
        CM_SetDebug(row.bits);
        CM_Close();
        CM_Open();
        Frame();
        CM_SetDebug(0);
        const std::string log = Exists("debug.txt") ? ReadFile("debug.txt") : "";
        EXPECT_EQ(log.find("Camera manager call 1\n") != std::string::npos, row.log);
        for (const char* line : {"CM_Open()", "End Of CM_Open()", "CM_Close()", "End Of CM_Close()", "CM_UpdataCamera()",
                                 "End Of CM_UpdataCamera()", "End Of CM_ComputeCameraHeightAndAim()"})
            EXPECT_EQ(log.find(stars + line + "\n") != std::string::npos, row.trace) << line;
    }
}

// The nearest hit of the two walks, measured from the first point; 1 and
// nothing written when the way is clear.
TEST_F(CameraManagerTest, NearestHitAgainstTheRoomsCollision) {
    LoadRoom();
    struct Row {
        const char* what;
        float eye[3], target[3];
        int clear;
        float x, z;  // the hit expected
    };
    const Row rows[] = {
        {"inside the room", {-500, 600, -500}, {700, 900, 400}, 1, 0, 0},
        {"through the wall behind", {-1600, 600, 0}, {-3250, 600, 0}, 0, -2000, 0},
        {"across the room, the near wall first", {-2500, 600, 0}, {2500, 600, 0}, 0, -2000, 0},
        {"across the room the other way", {2500, 600, 0}, {-2500, 600, 0}, 0, 2000, 0},
        {"out through a side wall", {0, 500, 1000}, {0, 500, 2600}, 0, 0, 2000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        float out[3] = {-1, -1, -1};
        EXPECT_EQ(CMH_FindNearestHit(row.eye, row.target, out), row.clear);
        if (row.clear) {
            EXPECT_FLOAT_EQ(out[0], -1.0f);
            continue;
        }
        EXPECT_NEAR(out[0], row.x, 6.0f);
        EXPECT_NEAR(out[2], row.z, 6.0f);
    }
    // The faces themselves stand where the room has them.
    float out[3];
    const float a[3] = {-2500, 600, 0}, b[3] = {2500, 600, 0};
    ASSERT_EQ(CMH_FindNearestHit(a, b, out), 0);
    EXPECT_FLOAT_EQ(out[0], -2000.0f);
}

// The camera turned toward the point: its forward axis (third column)
// along the way from the camera to the point.
TEST_F(CameraManagerTest, AimCameraLooksTowardThePoint) {
    struct Row {
        float point[3];
    };
    const Row rows[] = {{{1100, 200, 300}}, {{100, 200, -4700}}, {{-900, -800, 1300}}};
    const float camera[3] = {100.0f, 200.0f, 300.0f};
    for (const Row& row : rows) {
        CMH_SetCameraPosition(camera);
        CMH_AimCamera(row.point);
        Mat3 m{};
        Get_ObjMatrix(0, &m);
        float way[3] = {row.point[0] - camera[0], row.point[1] - camera[1], row.point[2] - camera[2]};
        EMH_Normalize(way);
        const float forward[3] = {m.m[2] / 32768.0f, m.m[5] / 32768.0f, m.m[8] / 32768.0f};
        EXPECT_NEAR(EMH_DotProduct(forward, way), 1.0f, 1e-3);
    }
    // Looking at its own position keeps the camera's orientation.
    Mat3 before{}, after{};
    Get_ObjMatrix(0, &before);
    CMH_AimCamera(camera);
    Get_ObjMatrix(0, &after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

// Floats become positions truncated toward zero; out of range they
// saturate and NaN gives 0.
TEST_F(CameraManagerTest, CameraPositionConversionSaturates) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Row {
        float in[3];
        Vec3 out;
    };
    const Row rows[] = {
        {{12.9f, -12.9f, 0.4f}, {12, -12, 0}},
        {{1e12f, -1e12f, nan}, {INT32_MAX, INT32_MIN, 0}},
        {{inf, -inf, -0.9f}, {INT32_MAX, INT32_MIN, 0}},
    };
    for (const Row& row : rows) {
        CMH_SetCameraPosition(row.in);
        Vec3 p{};
        Get_ObjPos(0, &p);
        EXPECT_EQ(p, row.out);
    }
}

// The hero's control bits as the camera reads them, by bit value: 1 and 2
// turn, 4 and 8 walk.
TEST_F(CameraManagerTest, HeroFlagQueriesReadTheControlBits) {
    struct Row {
        uint16_t controls;
        int walks, turns;
    };
    const Row rows[] = {
        {0, 0, 0},         {kCtlTurnLeft, 0, 1}, {kCtlTurnRight, 0, 1},
        {kCtlForward, 1, 0}, {kCtlBackward, 1, 0}, {kCtlPower | kCtlAction | kCtlPace, 0, 0},
    };
    for (const Row& row : rows) {
        records_[0].controls = row.controls;
        EXPECT_EQ(CMH_HeroHasFlags4Or8(), row.walks) << row.controls;
        EXPECT_EQ(CMH_HeroHasFlags1Or2(), row.turns) << row.controls;
    }
    // No hero table: nothing walks or turns and the hero stands at 0.
    CharacterTable = nullptr;
    EXPECT_EQ(CMH_HeroHasFlags4Or8(), 0);
    EXPECT_EQ(CMH_GetLockedEnemy(), nullptr);
    float p[3] = {1, 1, 1};
    CMH_GetHeroPosition(p);
    EXPECT_FLOAT_EQ(p[0] + p[1] + p[2], 0.0f);
    CharacterTable = records_.data();
}

// The spine's slots: the frame step as measured, the definition's lock-on
// byte, the game's target choice.
TEST_F(CameraManagerTest, SpineFillsTheHostSlotsFromTheGame) {
    InstallEngineServices();
    const FrameTimer savedTimer = GameTimer;
    struct Row {
        float measured;
    };
    for (const Row& row : {Row{3.0f}, Row{2.6f}, Row{70.5f}}) {
        GameTimer.Delta = row.measured;
        EXPECT_FLOAT_EQ(EMH_GetFrameFactor(), row.measured);
    }
    GameTimer = savedTimer;
    defs_[1].lockOn = 1;
    EXPECT_EQ(CmHost.CanLockOn(&records_[1]), 1);
    defs_[1].lockOn = 0;
    EXPECT_EQ(CmHost.CanLockOn(&records_[1]), 0);
    EXPECT_NE(CmHost.FindCharacterTarget, nullptr);
    EngineServices = kNullEngineServices;
}

// The vector operations the managers share.
TEST(ManagerVectorTest, VectorOperations) {
    float v[3] = {0, 0, 0};
    EMH_Normalize(v);
    EXPECT_FLOAT_EQ(v[0] + v[1] + v[2], 0.0f);
    EMH_SetVector(v, 3, 0, 4);
    EMH_Normalize(v);
    EXPECT_FLOAT_EQ(v[0], 0.6f);
    EXPECT_FLOAT_EQ(v[2], 0.8f);
    const float a[3] = {1, 2, 3}, b[3] = {4, -5, 6};
    EXPECT_FLOAT_EQ(EMH_Distance3DSquared(a, b), 9 + 49 + 9);
    EXPECT_FLOAT_EQ(EMH_DistanceXZSquared(a, b), 9 + 9);
    EXPECT_FLOAT_EQ(EMH_DotProduct(a, b), 4 - 10 + 18);
    float c[3];
    // (2*6 - 3*-5, 3*4 - 1*6, 1*-5 - 2*4) = (27, 6, -13)
    EXPECT_FLOAT_EQ(EMH_CrossProduct(c, a, b), 27 + 6 - 13);
    EXPECT_FLOAT_EQ(c[0], 27);
    EXPECT_FLOAT_EQ(c[2], -13);
    float p[3], q[3];
    EMH_GetPerpendiculars(b, p, q);
    EXPECT_FLOAT_EQ(p[0], 6);
    EXPECT_FLOAT_EQ(p[2], -4);
    EXPECT_FLOAT_EQ(q[0], -6);
    EXPECT_FLOAT_EQ(q[2], 4);
    EXPECT_FLOAT_EQ(p[1] + q[1], 0);
    float s[3] = {1, 2, 3};
    EMH_AddVector(s, b);
    EMH_SubtractVector(s, a);
    EMH_ScaleVector(s, 2);
    EMH_NegateVector(s);
    EXPECT_FLOAT_EQ(s[0], -8);
    EXPECT_FLOAT_EQ(s[1], 10);
    EXPECT_FLOAT_EQ(s[2], -12);
}

}  // namespace
