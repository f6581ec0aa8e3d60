// Room points and the point camera.  Distances to points are horizontal
// squares in world units; angles have 4096 units a turn; countdowns are in
// ticks of 1/70 s and fall by the frame step.
#include "game/dqx_points.h"

#include "ai/managers.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_objects.h"
#include "game/game_state.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <cmath>

Vec3 HeroPreviousPosition{};
Vec3 CameraAimPoint{};
uint8_t SavedCameraMode = 0;
int32_t PointCountdown = 0;
const char* const kSceneEffect = ".\\effects\\m7-1-a.cgs";

namespace {

// The distance every point search starts from: farther than any point.
constexpr int64_t kFarAway = 2129587950;
// Horizontal angle units per radian of the sector test: slightly more than
// 4096 / 2 pi, so that a direction a hair short of half a turn already
// counts as 2048.
constexpr double kSectorUnitsPerRadian = 651.9145533557684;
constexpr int32_t kTurn = 4096;

// The room entry the lamp was last set for; the lamp is set once an entry.
uint32_t g_litEntry = 0;

Vec3 Offset(const Vec3& base, int32_t x, int32_t y, int32_t z) {
    return {Saturate32(int64_t(base.x) + x), Saturate32(int64_t(base.y) + y), Saturate32(int64_t(base.z) + z)};
}

// The current room when it has points to work with.
RoomRecord* PointRoom() {
    RoomRecord* room = CurrentRoomPtr;
    return room && room->points && room->pointCount > 0 ? room : nullptr;
}

void MakeCurrent(RoomRecord* room, int index) {
    bool valid = room && index >= 0 && index < room->pointCount;
    CurrentPointIndex = valid ? uint8_t(index) : kNoPoint;
    CurrentPointPtr = valid ? &room->points[index] : nullptr;
}

int64_t HorizontalSquare(const Vec3& a, const Vec3& b) {
    int64_t dx = int64_t(a.x) - b.x, dz = int64_t(a.z) - b.z;
    return dx * dx + dz * dz;
}

// Whether the point's sector rejects the position: always in mode 6; else
// by the sector test when the point has a sector, and whenever a wall cuts
// the line from the position to the point.
bool PointRejects(RoomPoint* point, const Vec3* position) {
    if (CameraMode == kCameraDying) return true;
    if (!point || !position) return false;
    if (point->sectorEnabled && IsPointSideBlocked(point, point->sectorMax, position, point->sectorMin) != 0)
        return true;
    return Test_LineOfSight(position, &point->position) == 0;
}

// The point countdown: falls by the frame step and answers true when it
// ran out, starting the next wait.
bool RechoiceDue() {
    PointCountdown -= GameTimer.DeltaUnits;
    if (PointCountdown > 0) return false;
    PointCountdown = kPointRechoiceTicks;
    return true;
}

// The hero's head, or its position in mode 6 (the dying hero is looked at
// where it lies).
Vec3 HeroPoint(const CharacterRecord* hero) {
    Vec3 at = hero->position;
    if (CameraMode != kCameraDying) at.y -= hero->eyeHeight;
    return at;
}

// Step 2 of the point camera: the aim point eases toward the hero point, a
// quarter of the gap on x and z and an eighth on y (each truncated toward
// zero), unless the current point's sector rejects the camera.
void StepAimPoint(const Vec3& heroPoint) {
    if (CameraMode == kCameraDying) {
        CameraAimPoint = heroPoint;
        return;
    }
    Vec3 camera{};
    Get_ObjPos(0, &camera);
    if (IsOutsidePointSector(&camera)) return;
    CameraAimPoint.x += int32_t((int64_t(heroPoint.x) - CameraAimPoint.x) / 4);
    CameraAimPoint.y += int32_t((int64_t(heroPoint.y) - CameraAimPoint.y) / 8);
    CameraAimPoint.z += int32_t((int64_t(heroPoint.z) - CameraAimPoint.z) / 4);
}

void PutCameraOnCurrentPoint() {
    if (CurrentPointPtr) Set_ObjPos(0, &CurrentPointPtr->position);
}

// The camera object turned to look at the point; a camera standing on it
// keeps its orientation.
void TurnCameraTo(const Vec3& target) {
    Vec3 camera{};
    Get_ObjPos(0, &camera);
    if (camera.x == target.x && camera.y == target.y && camera.z == target.z) return;
    Mat3 look;
    Make_LookAt(&camera, &target, &look);
    Set_ObjMatrix(0, &look);
}

// The point's action: the hero's take request (mode 0), measured from where
// the hero stands as every take is.  "At the camera's position" names the
// moment (the point the camera serves is current), not a place of its own:
// the take test works in a character's frame.
void RunPointAction(CharacterRecord* hero) {
    if (hero && CurrentPointPtr && CurrentPointPtr->action) TakeNearestObject(hero, 0);
}

// Step 3 of the point camera: the modes run on into one another in the
// order 3, 4 and 6, 2, 1.
void StepCameraMode(CharacterRecord* hero, const Vec3& heroPoint) {
    switch (CameraMode) {
        case kCameraFlagSet:
            if (RechoiceDue()) {
                FindNearestPoint(&heroPoint, 0);
                CameraMode = SavedCameraMode;
            }
            [[fallthrough]];
        case kCameraFlagCleared:
        case kCameraDying:
            PutCameraOnCurrentPoint();
            [[fallthrough]];
        case kCameraNearestPoint:
            if ((CameraMode == kCameraNearestPoint || CameraMode == kCameraDying) && RechoiceDue()) {
                uint8_t before = CurrentPointIndex;
                FindNearestPoint(&heroPoint, 0);
                if (CurrentPointIndex != before) {
                    CameraAimPoint = heroPoint;
                    if (CurrentPointPtr && CurrentPointPtr->cameraHere) PutCameraOnCurrentPoint();
                }
            }
            [[fallthrough]];
        case kCameraFixedPoint:
            RunPointAction(hero);
            break;
        default:  // mode 5, and any mode out of range
            CameraMode = kCameraFollow;
            break;
    }
}

// The point-3 sequence of the hero's point step.
void StepPointScene(CharacterRecord* hero, uint8_t previous) {
    if (MissionNumber < kSceneFirstMission || GameState.scene[1]) return;
    uint8_t& step = GameState.scene[0];
    if (previous == kScenePoint && CurrentPointIndex != kScenePoint && step != kSceneNotBegun) step = kSceneLeftPoint;
    if (CurrentPointIndex != kScenePoint || hero->currentAnim >= 32) return;
    SetCharacterAnim(hero, kScenePowerCode);
    hero->special = kSceneHeld;
    if (step != kSceneNotBegun) return;
    if (hero->model > 0) Q3D_FXInit(kSceneEffect, hero->model, 1.0f, 1, 0, 0);
    step = kSceneAtPoint;
    hero->powerFlags &= uint8_t(~3u);  // neither casting nor armed
}

// The room's lamp, once a room entry: one point lamp on the room model and
// on every part of each set-up character.
void LightRoom() {
    if (!CurrentRoomPtr || RoomEntries == g_litEntry) return;
    LogStep("LightRoom");
    g_litEntry = RoomEntries;
    Clear_Lights();
    Mat3 identity;
    Set_Identity(&identity);
    Vec3 lamp = Offset(CurrentRoomPtr->modelWorldPos, 0, 300, -1300);
    int light = Add_Light(&lamp, &identity, kLightPoint, 5000, 10000, 24);
    if (RoomModelHandle > 0) Add_ObjLight(RoomModelHandle, light);
    if (!CharacterTable) return;
    for (int i = 0; i < kCharacterSlots; ++i) {
        ObjHandle model = CharacterTable[i].model;
        if (!CharacterTable[i].setUp || model <= 0) continue;
        for (ObjHandle part = model; part < model + Get_PartCount(model); ++part) Add_ObjLight(part, light);
    }
}

}  // namespace

int FindNearestPoint(const Vec3* position, int flags) {
    RoomRecord* room = PointRoom();
    if (!room || !position) return kNoPoint;
    int answer = CurrentPointIndex < room->pointCount ? CurrentPointIndex : kNoPoint;
    int inside = -1;
    int64_t best = kFarAway, bestInside = kFarAway;
    for (int i = 0; i < room->pointCount; ++i) {
        RoomPoint* p = &room->points[i];
        if (p->blocked && !(flags & kPointsBlockedToo)) continue;
        if (p->action && !(flags & kPointsWithAction)) continue;
        int64_t d = HorizontalSquare(*position, p->position);
        if (int64_t(p->radius) * p->radius < d) continue;
        if (d <= best) best = d, answer = i;
        if (!(flags & kPointsBlockedToo) && !PointRejects(p, position) && d <= bestInside) bestInside = d, inside = i;
    }
    if (inside >= 0) answer = inside;
    MakeCurrent(room, answer);
    return answer;
}

void SetHeroPointFlagOn(int index) {
    RecordGameCall("SetHeroPointFlagOn", nullptr, index);
    RoomRecord* room = PointRoom();
    if (!room || index < 0 || index >= room->pointCount) return;
    // Mode 3 gives way to the mode it replaced.
    if (CameraMode != kCameraFlagSet) SavedCameraMode = CameraMode;
    MakeCurrent(room, index);
    CurrentPointPtr->blocked = 1;
    CameraMode = kCameraFlagSet;
    PointCountdown = 0;
}

void SetHeroPointFlagOff(int index) {
    RecordGameCall("SetHeroPointFlagOff", nullptr, index);
    RoomRecord* room = PointRoom();
    if (!room || index < 0 || index >= room->pointCount) return;
    MakeCurrent(room, index);
    CurrentPointPtr->blocked = 0;
    CameraMode = kCameraFlagCleared;
    PointCountdown = 0;
}

int IsPointSideBlocked(RoomPoint* point, int32_t maximum, const Vec3* position, int32_t minimum) {
    if (!point || !position) return 0;
    double dx = double(position->x) - point->position.x, dz = double(position->z) - point->position.z;
    int32_t angle = int32_t(std::atan2(dx, dz) * kSectorUnitsPerRadian);
    if (angle < 0) angle += kTurn;
    uint8_t outside = angle < minimum || angle > maximum ? 1 : 0;
    if (outside == point->expectedSide) {
        point->sectorActive = 0;
        return 0;
    }
    point->sectorActive = point->sectorEnabled;
    return -1;
}

int IsOutsidePointSector(const Vec3* position) {
    return PointRejects(CurrentPointPtr, position) ? 1 : 0;
}

void CheckHeroPoint(CharacterRecord* hero) {
    if (!hero || CameraMode == kCameraDying || !PointRoom()) return;
    uint8_t previous = CurrentPointIndex;
    if (FindNearestPoint(&hero->position, kPointsWithAction | kPointsBlockedToo) == kNoPoint)
        MakeCurrent(PointRoom(), previous);
    StepPointScene(hero, previous);
}

void MoveCameraAlongPoints(CharacterRecord* hero) {
    if (!hero || !PointRoom()) return;
    Vec3 heroPoint = HeroPoint(hero);
    StepAimPoint(heroPoint);
    StepCameraMode(hero, heroPoint);
    TurnCameraTo(CameraAimPoint);
}

void PlaceCameraAtRoomStart() {
    LightRoom();
    RoomRecord* room = PointRoom();
    if (!room) return;
    MakeCurrent(room, 0);
    Set_ObjPos(0, &room->points[0].position);
    const CharacterRecord* hero = HeroRecord();
    Vec3 model{};
    if (hero && hero->model > 0 && Get_ObjPos(hero->model, &model) >= 0) TurnCameraTo(model);
}

void FaceDyingHero(const CharacterRecord* hero) {
    CameraMode = kCameraDying;
    RoomRecord* room = PointRoom();
    if (!hero || !room) return;
    if (FindNearestPoint(&hero->position, kPointsWithAction | kPointsBlockedToo) == kNoPoint) MakeCurrent(room, 0);
}

void UpdateHeroMovement(CharacterRecord* hero) {
    RecordGameCall("UpdateHeroMovement", hero);
    LightRoom();
    if (CameraMode == kCameraNoMovement) return;
    CM_UpdataCamera(CameraMode == kCameraFollow);
    if (!PointRoom()) return;
    if (CameraMode != kCameraFollow) MoveCameraAlongPoints(hero);
    CheckHeroPoint(hero);
    RunPointAction(hero);
}
