// Room points: the nearest point with its skip rules, the sector test, the
// point camera's modes frame by frame (the frame step set per frame as the
// game loop's pacing would), the room start, the point-3 sequence of the
// late missions, and the point fields through mission.mpl.  No collision
// world is loaded, so every line of sight is clear.
#include "fx_support.h"

#include "ai/managers.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_anim.h"
#include "game/dqx_load.h"
#include "game/dqx_mpl.h"
#include "game/dqx_points.h"
#include "game/game_state.h"
#include "memory_file.h"
#include "tools/kit/mission_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int32_t kFloorY = 1218;

struct PointSpec {
    int32_t x, z, radius;
    uint8_t blocked = 0, action = 0;
    // A sector: enabled, its angles, and the side it accepts.
    uint8_t sector = 0;
    int32_t min = 0, max = 0;
    uint8_t side = 0;
    uint8_t cameraHere = 0;
};

RoomPoint MakePoint(const PointSpec& s) {
    RoomPoint p{};
    p.position = {s.x, 500, s.z};
    p.radius = s.radius;
    p.blocked = s.blocked;
    p.action = s.action;
    p.sectorEnabled = s.sector;
    p.sectorMin = s.min;
    p.sectorMax = s.max;
    p.expectedSide = s.side;
    p.cameraHere = s.cameraHere;
    return p;
}

class RoomPointsTest : public test::EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        savedMission_ = MissionNumber;
        anims_.assign(kCharacterSlots, CharacterAnimState{});
        CharacterAnimTable = anims_.data();
        room_ = RoomRecord{};
        CurrentRoomPtr = &room_;
        CurrentPointIndex = 0;
        CurrentPointPtr = nullptr;
        CameraMode = kCameraFollow;
        SavedCameraMode = 0;
        PointCountdown = 0;
        CameraAimPoint = {};
        GameState = GameStateRecord{};
        GameTimer.DeltaUnits = 1;
        MissionNumber = 7;
        hero().eyeHeight = 300;
        MoveHero({0, kFloorY, 0});
        Vec3 camera{0, 0, -3000};
        Set_ObjPos(0, &camera);
    }
    void TearDown() override {
        CurrentRoomPtr = nullptr;
        CurrentPointPtr = nullptr;
        CurrentPointIndex = 0;
        CameraMode = kCameraFollow;
        CharacterAnimTable = nullptr;
        MissionNumber = savedMission_;
        EffectsTest::TearDown();
    }
    void SetPoints(const std::vector<PointSpec>& specs) {
        points_.clear();
        for (const PointSpec& s : specs) points_.push_back(MakePoint(s));
        room_.points = points_.empty() ? nullptr : points_.data();
        room_.pointCount = int32_t(points_.size());
    }
    void MoveHero(Vec3 at) {
        hero().position = at;
        Set_ObjPos(hero().model, &at);
    }
    static Vec3 Camera() {
        Vec3 v{};
        Get_ObjPos(0, &v);
        return v;
    }
    int Calls(const std::string& what) const {
        int n = 0;
        for (const GameCall& c : g_GameCalls) n += c.what == what;
        return n;
    }

    std::vector<CharacterAnimState> anims_;
    std::vector<RoomPoint> points_;
    RoomRecord room_{};
    uint8_t savedMission_ = 0;
};

void ExpectAt(const Vec3& v, const Vec3& want) {
    EXPECT_EQ(v.x, want.x);
    EXPECT_EQ(v.y, want.y);
    EXPECT_EQ(v.z, want.z);
}

// The camera's view direction (the forward axis, the matrix's third
// column, Q15) points along `to - from` within a degree.
void ExpectLooksAlong(const Vec3& from, const Vec3& to) {
    Mat3 m{};
    Get_ObjMatrix(0, &m);
    double d[3] = {double(to.x) - from.x, double(to.y) - from.y, double(to.z) - from.z};
    double l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    double dot = (m.m[2] * d[0] + m.m[5] * d[1] + m.m[8] * d[2]) / (32768.0 * l);
    EXPECT_GT(dot, std::cos(M_PI / 180.0));
}

// ---------------------------------------------------------------------------
// The nearest point
// ---------------------------------------------------------------------------

struct NearestRow {
    const char* name;
    std::vector<PointSpec> points;
    uint8_t current;
    Vec3 position;
    int flags;
    uint8_t mode;
    int want;
};

TEST_F(RoomPointsTest, FindNearestPointRules) {
    // A sector of angles 0..100 that accepts what lies inside it: a
    // position due -z of the point (angle 2048) is rejected.
    const PointSpec rejecting{0, 100, 500, 0, 0, 1, 0, 100, 0};
    const NearestRow rows[] = {
        {"equal distances: the later point", {{0, -100, 500}, {0, 100, 500}}, 0, {0, 0, 0}, 3, 0, 1},
        {"the nearer point within its radius", {{0, -100, 500}, {0, 300, 500}}, 1, {0, 0, 0}, 3, 0, 0},
        {"outside every radius: the current point stays", {{0, -1000, 100}, {0, 1000, 100}}, 1, {0, 0, 0}, 3, 0, 1},
        {"outside every radius and none current", {{0, -1000, 100}, {0, 1000, 100}}, kNoPoint, {0, 0, 0}, 3, 0,
         kNoPoint},
        {"a radius reached exactly holds", {{0, 1000, 300}, {0, 300, 300}}, 0, {0, 0, 0}, 3, 0, 1},
        {"blocked point skipped without bit 1", {{0, 0, 500, 1}, {0, 300, 500}}, 0, {0, 0, 0}, 1, 0, 1},
        {"blocked point taken with bit 1", {{0, 0, 500, 1}, {0, 300, 500}}, 1, {0, 0, 0}, 3, 0, 0},
        {"action point skipped without bit 0", {{0, 0, 500, 0, 1}, {0, 300, 500}}, 0, {0, 0, 0}, 2, 0, 1},
        {"action point taken with bit 0", {{0, 0, 500, 0, 1}, {0, 300, 500}}, 1, {0, 0, 0}, 3, 0, 0},
        {"inside answer beats the nearer plain one", {rejecting, {0, 400, 500}}, 0, {0, 0, 0}, 0, 0, 1},
        {"no inside answer with bit 1", {rejecting, {0, 400, 500}}, 1, {0, 0, 0}, 2, 0, 0},
        {"mode 6: every sector rejects, the nearest wins", {rejecting, {0, 400, 500}}, 1, {0, 0, 0}, 0, kCameraDying,
         0},
        {"inside answers tie to the later point", {{0, -100, 500}, {0, 100, 500}, rejecting}, 0, {0, 0, 0}, 0, 0, 1},
    };
    for (const NearestRow& row : rows) {
        SCOPED_TRACE(row.name);
        SetPoints(row.points);
        CurrentPointIndex = row.current;
        CameraMode = row.mode;
        EXPECT_EQ(FindNearestPoint(&row.position, row.flags), row.want);
        EXPECT_EQ(CurrentPointIndex, row.want);
        EXPECT_EQ(CurrentPointPtr, row.want == kNoPoint ? nullptr : &points_[size_t(row.want)]);
    }
}

// ---------------------------------------------------------------------------
// The sector test
// ---------------------------------------------------------------------------

struct SideRow {
    const char* name;
    int32_t dx, dz, min, max;
    uint8_t side, enabled;
    int want;
    uint8_t active;
};

TEST_F(RoomPointsTest, SectorTestUsesItsOwnAngleScale) {
    // The angle is atan2(dx, dz) x 651.9145533557684, truncated, plus 4096
    // when negative.  The first two rows lie a hair short of half a turn on
    // either side: 2048.02 and -2048.02 here (so 2048 both ways), where
    // 4096 / 2 pi would give 2047.97 (2047) and -2047.97 (2049).
    const SideRow rows[] = {
        {"just short of half a turn, +x side: 2048", 4, -100000, 0, 2047, 0, 1, -1, 1},
        {"just short of half a turn, -x side: 2048", -4, -100000, 2049, 4095, 0, 1, -1, 1},
        {"a quarter turn inside its sector", 1000, 0, 1000, 1100, 0, 1, 0, 0},
        {"outside, and outside is the expected side", 1000, 0, 0, 100, 1, 1, 0, 0},
        {"straight ahead is angle 0", 0, 1000, 0, 0, 0, 1, 0, 0},
        {"inside when outside is expected: active follows enabled", 0, 1000, 0, 0, 1, 0, -1, 0},
        {"below the minimum", -1000, 0, 3100, 4095, 0, 1, -1, 1},
    };
    for (const SideRow& row : rows) {
        SCOPED_TRACE(row.name);
        RoomPoint p{};
        p.position = {100, 500, -200};
        p.expectedSide = row.side;
        p.sectorEnabled = row.enabled;
        p.sectorActive = 7;
        Vec3 at{100 + row.dx, 0, -200 + row.dz};
        EXPECT_EQ(IsPointSideBlocked(&p, row.max, &at, row.min), row.want);
        EXPECT_EQ(p.sectorActive, row.active);
    }
}

TEST_F(RoomPointsTest, OutsideTheSectorOfTheCurrentPoint) {
    struct Row {
        const char* name;
        PointSpec point;
        uint8_t mode;
        Vec3 at;
        int want;
    };
    const Row rows[] = {
        {"a point without a sector accepts", {0, 0, 500}, 0, {0, 0, -1000}, 0},
        {"its sector rejects", {0, 0, 500, 0, 0, 1, 0, 100, 0}, 0, {0, 0, -1000}, 1},
        {"its sector accepts", {0, 0, 500, 0, 0, 1, 0, 100, 0}, 0, {0, 0, 1000}, 0},
        {"mode 6 always outside", {0, 0, 500}, kCameraDying, {0, 0, 1000}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetPoints({row.point});
        CurrentPointPtr = &points_[0];
        CameraMode = row.mode;
        EXPECT_EQ(IsOutsidePointSector(&row.at), row.want);
    }
}

// ---------------------------------------------------------------------------
// The point camera
// ---------------------------------------------------------------------------

// The hall of the demo: points along z at -1200, 0 and 1200, radius 600.
std::vector<PointSpec> Hall() {
    return {{0, -1200, 600}, {0, 0, 600}, {0, 1200, 600}};
}

struct CameraFrame {
    int32_t step;       // the frame step of this frame, in ticks
    uint8_t modeAfter;
    int32_t countdownAfter;
};

// Mode 3 waits out the point countdown, then becomes the saved mode; the
// camera stands on the current point all along (as mode 4 does).
TEST_F(RoomPointsTest, ModeThreeBecomesTheSavedModeAfterTheCountdown) {
    SetPoints(Hall());
    CurrentPointIndex = 1;
    CurrentPointPtr = &points_[1];
    CameraMode = kCameraFlagSet;
    SavedCameraMode = kCameraFlagCleared;
    PointCountdown = kPointRechoiceTicks;
    MoveHero({0, kFloorY, 1000});
    const CameraFrame frames[] = {
        {30, kCameraFlagSet, 70},
        {30, kCameraFlagSet, 40},
        {30, kCameraFlagSet, 10},
        {30, kCameraFlagCleared, kPointRechoiceTicks},  // ran out: point 2 chosen for the hero
        {30, kCameraFlagCleared, kPointRechoiceTicks},  // mode 4 does not count down
    };
    int n = 0;
    for (const CameraFrame& f : frames) {
        SCOPED_TRACE(++n);
        GameTimer.DeltaUnits = f.step;
        MoveCameraAlongPoints(&hero());
        EXPECT_EQ(CameraMode, f.modeAfter);
        EXPECT_EQ(PointCountdown, f.countdownAfter);
        ExpectAt(Camera(), CurrentPointPtr->position);
        EXPECT_EQ(CurrentPointIndex, n < 4 ? 1 : 2);
    }
}

TEST_F(RoomPointsTest, PointFlagsSetTheModeAndTheNextChoiceComesAtOnce) {
    SetPoints(Hall());
    CameraMode = kCameraNearestPoint;
    PointCountdown = 55;
    SetHeroPointFlagOn(2);
    EXPECT_EQ(CameraMode, kCameraFlagSet);
    EXPECT_EQ(SavedCameraMode, kCameraNearestPoint);
    EXPECT_EQ(CurrentPointIndex, 2);
    EXPECT_EQ(points_[2].blocked, 1);
    EXPECT_EQ(PointCountdown, 0);
    // The zeroed countdown runs out on the next frame: the hero's point is
    // chosen and the saved mode returns.
    MoveCameraAlongPoints(&hero());
    EXPECT_EQ(CameraMode, kCameraNearestPoint);
    EXPECT_EQ(CurrentPointIndex, 1);
    SetHeroPointFlagOff(2);
    EXPECT_EQ(CameraMode, kCameraFlagCleared);
    EXPECT_EQ(points_[2].blocked, 0);
    EXPECT_EQ(CurrentPointIndex, 2);
    // An index past the room's points changes nothing.
    SetHeroPointFlagOn(3);
    SetHeroPointFlagOn(-1);
    EXPECT_EQ(CameraMode, kCameraFlagCleared);
    EXPECT_EQ(CurrentPointIndex, 2);
}

TEST_F(RoomPointsTest, ModesOutsideTheCameraRangeBecomeTheFollowCamera) {
    SetPoints(Hall());
    CurrentPointPtr = &points_[0];
    for (uint8_t mode : {kCameraNoMovement, uint8_t(7), uint8_t(200)}) {
        SCOPED_TRACE(int(mode));
        CameraMode = mode;
        MoveCameraAlongPoints(&hero());
        EXPECT_EQ(CameraMode, kCameraFollow);
    }
}

// Mode 2 chooses the hero's point every 100 ticks; a new point makes the
// aim jump to the hero's head, and a point with its camera-here byte takes
// the camera.
TEST_F(RoomPointsTest, ModeTwoFollowsTheHerosPoint) {
    std::vector<PointSpec> hall = Hall();
    hall[2].cameraHere = 1;
    SetPoints(hall);
    CurrentPointIndex = 1;
    CurrentPointPtr = &points_[1];
    CameraMode = kCameraNearestPoint;
    PointCountdown = 10;
    const Vec3 start{0, 0, -3000};
    struct Frame {
        Vec3 hero;
        int32_t step;
        uint8_t point;
        bool cameraMoved;
        int32_t countdown;
    };
    const Frame frames[] = {
        {{0, kFloorY, -1100}, 4, 1, false, 6},  // nearer point 0, but not yet chosen
        {{0, kFloorY, -1100}, 4, 1, false, 2},
        {{0, kFloorY, -1100}, 4, 0, false, kPointRechoiceTicks},  // chosen; point 0 has no camera-here
        {{0, kFloorY, 1100}, 50, 0, false, 50},
        {{0, kFloorY, 1100}, 50, 2, true, kPointRechoiceTicks},  // chosen; the camera goes there
    };
    int n = 0;
    for (const Frame& f : frames) {
        SCOPED_TRACE(++n);
        uint8_t before = CurrentPointIndex;
        MoveHero(f.hero);
        GameTimer.DeltaUnits = f.step;
        MoveCameraAlongPoints(&hero());
        EXPECT_EQ(CurrentPointIndex, f.point);
        EXPECT_EQ(PointCountdown, f.countdown);
        ExpectAt(Camera(), f.cameraMoved ? points_[2].position : start);
        if (before != f.point) ExpectAt(CameraAimPoint, {f.hero.x, f.hero.y - 300, f.hero.z});
        ExpectLooksAlong(Camera(), CameraAimPoint);
    }
}

// The aim point eases toward the hero's head, a quarter of the gap on x and
// z, an eighth on y (truncated toward zero); it stays while the current
// point's sector rejects the camera; in mode 6 it is the hero's position.
TEST_F(RoomPointsTest, AimPointEasesTowardTheHero) {
    struct Row {
        const char* name;
        uint8_t mode;
        PointSpec point;
        Vec3 aim, hero, want;
    };
    const PointSpec plain{0, 0, 5000};
    // Accepts only what lies within a few degrees of +z: the camera, due -z,
    // is rejected.
    const PointSpec narrow{0, 0, 5000, 0, 0, 1, 0, 50, 0};
    const Row rows[] = {
        {"first step", kCameraFixedPoint, plain, {0, 0, 0}, {400, 1100, -800}, {100, 100, -200}},
        {"truncated toward zero", kCameraFixedPoint, plain, {100, 100, -200}, {401, 1100, -803}, {175, 187, -350}},
        {"on the hero: no change", kCameraFixedPoint, plain, {3, 800, 5}, {3, 1100, 5}, {3, 800, 5}},
        {"sector rejects the camera", kCameraFixedPoint, narrow, {7, 8, 9}, {400, 1100, -800}, {7, 8, 9}},
        {"mode 6: the hero's feet", kCameraDying, plain, {7, 8, 9}, {400, 1100, -800}, {400, 1100, -800}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetPoints({row.point});
        CurrentPointIndex = 0;
        CurrentPointPtr = &points_[0];
        Vec3 camera{0, 0, -3000};
        Set_ObjPos(0, &camera);
        CameraMode = row.mode;
        CameraAimPoint = row.aim;
        MoveHero(row.hero);
        PointCountdown = kPointRechoiceTicks;
        MoveCameraAlongPoints(&hero());
        ExpectAt(CameraAimPoint, row.want);
        ExpectLooksAlong(Camera(), row.want);
    }
}

TEST_F(RoomPointsTest, ARoomWithoutPointsKeepsTheCamera) {
    SetPoints({});
    Vec3 camera{10, 20, 30};
    Set_ObjPos(0, &camera);
    Mat3 turned;
    Make_EulerMatrix(0, 500, 0, &turned);
    Set_ObjMatrix(0, &turned);
    CurrentPointIndex = 3;
    for (uint8_t mode : {kCameraFollow, kCameraFixedPoint, kCameraNearestPoint, kCameraFlagSet, kCameraDying}) {
        SCOPED_TRACE(int(mode));
        CameraMode = mode;
        g_GameCalls.clear();
        UpdateHeroMovement(&hero());
        MoveCameraAlongPoints(&hero());
        CheckHeroPoint(&hero());
        PlaceCameraAtRoomStart();
        EXPECT_EQ(FindNearestPoint(&hero().position, 0), kNoPoint);
        ExpectAt(Camera(), camera);
        Mat3 m{};
        Get_ObjMatrix(0, &m);
        for (int k = 0; k < 9; ++k) EXPECT_EQ(m.m[k], turned.m[k]) << k;
        EXPECT_EQ(CameraMode, mode);
        EXPECT_EQ(CurrentPointIndex, 3);
        EXPECT_EQ(Calls("TakeNearestObject"), 0);
        EXPECT_EQ(Calls("SetCharacterAnim"), 0);
    }
}

// The movement step: nothing in mode 5; the hero's point is found with
// action and blocked points; an action point asks the hero's take.
TEST_F(RoomPointsTest, MovementStepFindsTheHerosPointAndRunsItsAction) {
    struct Row {
        const char* name;
        uint8_t mode;
        uint8_t action;
        uint8_t start;  // current before
        uint8_t point;  // current afterwards
        int takes;
    };
    const Row rows[] = {
        {"follow camera, plain point", kCameraFollow, 0, 0, 2, 0},
        {"follow camera, action point", kCameraFollow, 1, 0, 2, 1},
        {"fixed point camera: the camera's step runs the current point's action too", kCameraFixedPoint, 1, 2, 2, 2},
        {"fixed point camera: the action point found after the camera's step", kCameraFixedPoint, 1, 0, 2, 1},
        {"no movement step in mode 5", kCameraNoMovement, 1, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<PointSpec> hall = Hall();
        hall[2].action = row.action;
        hall[2].blocked = 1;
        SetPoints(hall);
        CurrentPointIndex = row.start;
        CurrentPointPtr = &points_[row.start];
        CameraMode = row.mode;
        MoveHero({0, kFloorY, 1150});
        g_GameCalls.clear();
        UpdateHeroMovement(&hero());
        EXPECT_EQ(CurrentPointIndex, row.point);
        EXPECT_EQ(Calls("TakeNearestObject"), row.takes);
        for (const GameCall& c : g_GameCalls)
            if (c.what == "TakeNearestObject") {
                EXPECT_EQ(c.character, &hero());
                EXPECT_EQ(c.a, 0);
            }
    }
}

TEST_F(RoomPointsTest, RoomStartPutsTheCameraOnTheFirstPointLookingAtTheHero) {
    SetPoints(Hall());
    CurrentPointIndex = 2;
    MoveHero({300, kFloorY, 200});
    PlaceCameraAtRoomStart();
    EXPECT_EQ(CurrentPointIndex, 0);
    EXPECT_EQ(CurrentPointPtr, &points_[0]);
    ExpectAt(Camera(), points_[0].position);
    ExpectLooksAlong(points_[0].position, {300, kFloorY, 200});
}

// The room's lamp is set once a room entry, by whichever comes first of
// the room start and the movement step.
TEST_F(RoomPointsTest, TheRoomIsLitOnceARoomEntry) {
    SetPoints(Hall());
    ++RoomEntries;
    PlaceCameraAtRoomStart();
    EXPECT_EQ(g_LightCount, 1);
    Clear_Lights();
    UpdateHeroMovement(&hero());
    PlaceCameraAtRoomStart();
    EXPECT_EQ(g_LightCount, 0);
    ++RoomEntries;
    CameraMode = kCameraNoMovement;
    UpdateHeroMovement(&hero());
    EXPECT_EQ(g_LightCount, 1);
    // A room without points is lit all the same.
    SetPoints({});
    Clear_Lights();
    ++RoomEntries;
    PlaceCameraAtRoomStart();
    EXPECT_EQ(g_LightCount, 1);
}

// ---------------------------------------------------------------------------
// The point-3 sequence
// ---------------------------------------------------------------------------

// Points 0..4 along z, 1000 apart.
std::vector<PointSpec> SceneRoom() {
    std::vector<PointSpec> v;
    for (int i = 0; i < 5; ++i) v.push_back({0, 1000 * i, 400});
    return v;
}

int RunningSceneEffects() {
    int n = 0;
    for (int i = 0; i < kEffectInstances; ++i) n += Get_EffectParam(i) == 38;
    return n;
}

TEST_F(RoomPointsTest, PointThreeSequenceFromMissionTwenty) {
    kit::CgsRecordSpec record;
    record.base = ".\\fx\\scene";
    PutSet(record.base, test::SimpleSet(20, test::Timing(1)));
    PutCgs(kSceneEffect, {record}, 38);
    // The point step starts the sequence in missions above 19; the fire
    // keyframe of code 38 waits for point 4 only in missions above 20, and
    // in mission 20 acts at once, leaving the sequence as it is.
    struct Row {
        int mission;
        uint8_t held;  // the second scene byte
        bool runs;
        bool keyframeWaits;
    };
    const Row rows[] = {{19, 0, false, false}, {20, 0, true, false}, {21, 0, true, true}, {22, 0, true, true},
                        {20, 1, false, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "mission " << row.mission << " held " << int(row.held));
        Free_AllEffects();
        MissionNumber = uint8_t(row.mission);
        GameState.scene[0] = kSceneNotBegun;
        GameState.scene[1] = row.held;
        SetPoints(SceneRoom());
        CurrentPointIndex = 2;
        CurrentPointPtr = &points_[2];
        hero().special = 0;
        hero().currentAnim = 0;
        hero().powerFlags = 3;
        g_GameCalls.clear();
        MoveHero({0, kFloorY, 3000});
        CheckHeroPoint(&hero());
        EXPECT_EQ(CurrentPointIndex, kScenePoint);
        EXPECT_EQ(Calls("SetCharacterAnim"), row.runs ? 1 : 0);
        EXPECT_EQ(hero().special, row.runs ? kSceneHeld : 0);
        EXPECT_EQ(GameState.scene[0], row.runs ? kSceneAtPoint : kSceneNotBegun);
        EXPECT_EQ(RunningSceneEffects(), row.runs ? 1 : 0);
        EXPECT_EQ(hero().powerFlags, row.runs ? 0 : 3);
        if (!row.runs) continue;
        // Code 38 playing: the hero is not asked again, the effect not
        // started again.
        hero().currentAnim = kScenePowerCode;
        CheckHeroPoint(&hero());
        EXPECT_EQ(Calls("SetCharacterAnim"), 1);
        if (!row.keyframeWaits) {
            EXPECT_EQ(AnimKeyFire(&hero(), -1, kScenePowerCode), 1);
            EXPECT_EQ(GameState.scene[0], kSceneAtPoint);
            EXPECT_EQ(hero().special, kSceneHeld);
            continue;
        }
        // The fire keyframe waits while the hero is still at point 3.
        EXPECT_EQ(AnimKeyFire(&hero(), -1, kScenePowerCode), 0);
        EXPECT_EQ(hero().special, kSceneHeld);
        // Gone on to point 4: the step becomes 3 and the keyframe ends the
        // sequence, the quick save allowed again.
        MoveHero({0, kFloorY, 4000});
        CheckHeroPoint(&hero());
        EXPECT_EQ(CurrentPointIndex, kSceneEndPoint);
        EXPECT_EQ(GameState.scene[0], kSceneLeftPoint);
        EXPECT_EQ(AnimKeyFire(&hero(), -1, kScenePowerCode), 1);
        EXPECT_EQ(GameState.scene[0], kSceneEnded);
        EXPECT_EQ(hero().special, 0);
        // Back at point 3: code 38 again, held, but no second effect.
        hero().currentAnim = 0;
        MoveHero({0, kFloorY, 3000});
        CheckHeroPoint(&hero());
        EXPECT_EQ(hero().special, kSceneHeld);
        EXPECT_EQ(RunningSceneEffects(), 1);
    }
}

// The dying hero's camera leaves the hero's point alone.
TEST_F(RoomPointsTest, NoHeroPointStepInModeSix) {
    SetPoints(SceneRoom());
    CurrentPointIndex = 0;
    CameraMode = kCameraDying;
    MoveHero({0, kFloorY, 3000});
    CheckHeroPoint(&hero());
    EXPECT_EQ(CurrentPointIndex, 0);
}

// ---------------------------------------------------------------------------
// The point fields through mission.mpl
// ---------------------------------------------------------------------------

class RoomPointFileTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        savedTable_ = CurrentFileTable;
        CurrentFileTable = &MemoryFileTable;
    }
    void TearDown() override {
        FreeMissionRecords();
        CurrentFileTable = savedTable_;
        HeadlessTest::TearDown();
    }
    const FileTable* savedTable_ = nullptr;
};

TEST_F(RoomPointFileTest, PointFieldsTravelFromTheKitToTheRecordsAndBack) {
    kit::MplPoint point;
    point.position = {100, 1218, -1200};
    point.radius = 600;
    point.sectorMin = 3900;
    point.sectorMax = 200;
    point.cameraHere = 1;
    point.sectorActive = 2;
    point.sectorEnabled = 3;
    point.expectedSide = 1;
    point.action = 5;
    point.blocked = 6;
    kit::MissionSpec spec = kit::DemoMission22();
    spec.rooms[1].points = {kit::MplPoint{}, point};
    const std::vector<uint8_t> bytes = kit::MissionFile(spec);
    for (int restoring : {0, 1}) {
        SCOPED_TRACE(restoring);
        MemoryFile file{bytes, 0};
        ReadMissionFile(&file, "test.mpl", restoring);
        ASSERT_NE(MissionPtr, nullptr);
        const RoomPoint& p = MissionPtr->rooms[1].points[1];
        // Positions and radii are scaled by 5 on a fresh read; angles and
        // bytes never are.
        EXPECT_EQ(p.radius, kit::MissionUnits(600) * (restoring ? 1 : 5));
        EXPECT_EQ(p.sectorMin, 3900);
        EXPECT_EQ(p.sectorMax, 200);
        EXPECT_EQ(p.cameraHere, 1);
        EXPECT_EQ(p.sectorActive, 2);
        EXPECT_EQ(p.sectorEnabled, 3);
        EXPECT_EQ(p.expectedSide, 1);
        EXPECT_EQ(p.action, 5);
        EXPECT_EQ(p.blocked, 6);
        if (restoring) {
            std::vector<uint8_t> encoded;
            EncodeMissionRecords(MissionPtr, &encoded);
            EXPECT_EQ(encoded, bytes);
        }
        FreeMissionRecords();
    }
}

}  // namespace
