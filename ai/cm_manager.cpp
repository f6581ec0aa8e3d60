// The follow camera.  Every quantity that moves per frame moves by the frame
// factor, the game's frame step in ticks of 1/70 s.
#include "ai/cm_manager.h"

#include "ai/em_host.h"
#include "ai/manager_trace.h"
#include "platform/errors.h"
#include "platform/step_log.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr float kFollowDistance = 1650.0f;
constexpr float kLookAhead = 165.0f;
constexpr float kNearEyeOffset = -266.0f;
constexpr float kFarEyeOffset = -160.0f;
constexpr float kNearLookAhead = 825.0f;
constexpr float kFarLookAhead = 165.0f;
// How far in front of an obstacle the eye stops.
constexpr float kPullIn = 33.0f;
// The eye covers 1/15 of its horizontal gap per tick.
constexpr float kEyeEase = 15.0f;
// The aim point's speed grows by this much per tick while it chases its goal.
constexpr float kAimAcceleration = 0.5f;

}  // namespace

CmCameraState CmCamera = {
    .open = 0,
    .calls = 0,
    .followDistance = kFollowDistance,
    .lookAhead = kLookAhead,
    .eyeStep = 0.0f,
    .eye = {},
    .aim = {},
    .eyeDirection = {},
    .nearEyeOffset = kNearEyeOffset,
    .farEyeOffset = kFarEyeOffset,
    .nearLookAhead = kNearLookAhead,
    .farLookAhead = kFarLookAhead,
    .lock = 0,
    .lockPoint = {},
    .aimGoal = {},
    .aimSpeed = 0.0f,
    .hero = {},
    .facing = {},
};
uint8_t CmDebugLog = 0;
uint8_t CmDebugTrace = 0;

namespace {

bool CmTracing() {
    return CmDebugTrace != 0;
}

void Copy(float* out, const float* v) {
    EMH_SetVector(out, v[0], v[1], v[2]);
}

// out = from + direction x distance.
void PointAlong(float* out, const float* from, const float* direction, float distance) {
    float d[3];
    Copy(d, direction);
    EMH_ScaleVector(d, distance);
    Copy(out, from);
    EMH_AddVector(out, d);
}

// The hero's position and its facing made level and of unit length.
void TakeHeroFrame() {
    CmCameraState& c = CmCamera;
    CMH_GetHeroPosition(c.hero);
    CMH_GetHeroDirection(c.facing);
    c.facing[1] = 0.0f;
    EMH_Normalize(c.facing);
}

// When something lies between the hero and `point`, `point` moves to
// kPullIn units in front of the hit nearest to the hero, toward `toward`.
void PullInFrontOfObstacle(float* point, const float* toward) {
    float hit[3];
    if (CMH_FindNearestHit(CmCamera.hero, point, hit)) return;
    float way[3];
    Copy(way, toward);
    EMH_SubtractVector(way, hit);
    EMH_Normalize(way);
    PointAlong(point, hit, way, kPullIn);
}

// The placement without easing: the aim point ahead of the hero, the eye
// behind it (in front of what stands there), then their height and aim.
void PlaceBehindHero() {
    TracedCall t(CmTracing, "CM_PlayerChangeRoom");
    CmCameraState& c = CmCamera;
    if (!c.open) return;
    TakeHeroFrame();
    PointAlong(c.aim, c.hero, c.facing, c.lookAhead);
    PointAlong(c.eye, c.hero, c.facing, -c.followDistance);
    PullInFrontOfObstacle(c.eye, c.hero);
    CM_ComputeCameraHeightAndAim();
}

// The lock holds while the hero's target choice gives a lockable enemy and
// the hero neither walks nor turns; its point follows the enemy each frame.
void UpdateLock() {
    CmCameraState& c = CmCamera;
    CharacterRecord* enemy = CMH_GetLockedEnemy();
    if (enemy && !CMH_HeroHasFlags4Or8() && !CMH_HeroHasFlags1Or2()) {
        c.lock = 1;
        EMH_GetEnemyPosition(enemy, c.lockPoint);
    } else {
        c.lock = 0;
    }
}

// The eye moves toward its goal by gap x factor / 15 in the horizontal
// plane, along its three-dimensional direction to the goal; the height is
// set afterwards.  The step never exceeds the gap, so no frame step (the
// fast key multiplies it) carries the eye past its goal.
void StepEye(const float* goal) {
    CmCameraState& c = CmCamera;
    Copy(c.eyeDirection, goal);
    EMH_SubtractVector(c.eyeDirection, c.eye);
    EMH_Normalize(c.eyeDirection);
    float gap = std::sqrt(EMH_DistanceXZSquared(goal, c.eye));
    float step = gap * EMH_GetFrameFactor() / kEyeEase;
    if (!(step > 0.0f)) step = 0.0f;
    if (step > gap) step = gap;
    c.eyeStep = step;
    c.eye[0] += step * c.eyeDirection[0];
    c.eye[2] += step * c.eyeDirection[2];
}

// The aim point accelerates toward its goal and stops dead on it.
void EaseAim() {
    CmCameraState& c = CmCamera;
    float factor = EMH_GetFrameFactor();
    float step = factor * c.aimSpeed;
    float distance = std::sqrt(EMH_Distance3DSquared(c.aim, c.aimGoal));
    if (distance > step && distance > 0.0f) {
        float way[3];
        Copy(way, c.aimGoal);
        EMH_SubtractVector(way, c.aim);
        EMH_ScaleVector(way, 1.0f / distance);
        PointAlong(c.aim, c.aim, way, step);
        c.aimSpeed += factor * kAimAcceleration;
    } else {
        Copy(c.aim, c.aimGoal);
        c.aimSpeed = 0.0f;
    }
}

}  // namespace

const char* CM_GetLibVersion() {
    return "Spindrel Camera Manager Version 1.01 RC2";
}

void CM_SetDebug(uint32_t bits) {
    CmDebugTrace = (bits >> 1) & 1;
    CmDebugLog = bits & 1;
}

void CM_Log(const char* format, ...) {
    if (!CmDebugLog) return;
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    DebugLog("%s", text);
}

void CM_Trace(const char* text) {
    ManagerTrace(CmDebugTrace != 0, text);
}

int CM_Open() {
    TracedCall t(CmTracing, "CM_Open", true);
    CmCamera.calls = 0;
    CmCamera.open = 1;
    return 1;
}

int CM_Close() {
    TracedCall t(CmTracing, "CM_Close", true);
    if (!CmCamera.open) return -1;
    CmCamera.open = 0;
    return 1;
}

// The aim speed keeps its value: it is reset only when the aim point next
// reaches its goal.
int CM_OpenMission(int mission) {
    TracedCall t(CmTracing, "CM_OpenMission");
    LogStep("CM_OpenMission", mission);
    CmCameraState& c = CmCamera;
    if (!c.open) return -1;
    c.nearEyeOffset = kNearEyeOffset;
    c.farEyeOffset = kFarEyeOffset;
    c.nearLookAhead = kNearLookAhead;
    c.farLookAhead = kFarLookAhead;
    c.followDistance = kFollowDistance;
    c.lookAhead = kLookAhead;
    c.lock = 0;
    c.calls = 0;
    TakeHeroFrame();
    Copy(c.eye, c.hero);
    PlaceBehindHero();
    return 1;
}

int CM_CloseMission() {
    TracedCall t(CmTracing, "CM_CloseMission");
    LogStep("CM_CloseMission");
    return CmCamera.open ? 1 : -1;
}

void CM_PlayerChangeRoom() {
    LogStep("CM_PlayerChangeRoom");
    PlaceBehindHero();
}

void CM_ComputeCameraHeightAndAim() {
    TracedCall t(CmTracing, "CM_ComputeCameraHeightAndAim");
    CmCameraState& c = CmCamera;
    // Look-ahead and eye height slide linearly from their near values with
    // the eye at the hero to their far values at the follow distance.
    float d = std::sqrt(EMH_Distance3DSquared(c.hero, c.eye));
    float offset = c.farEyeOffset;
    c.lookAhead = c.farLookAhead;
    if (d < c.followDistance) {
        c.lookAhead = c.nearLookAhead - d * (c.nearLookAhead - c.farLookAhead) / c.followDistance;
        offset = c.nearEyeOffset - d * (c.nearEyeOffset - c.farEyeOffset) / c.followDistance;
    }
    c.eye[1] = c.hero[1] + offset;
    if (c.lock)
        Copy(c.aimGoal, c.lockPoint);
    else
        PointAlong(c.aimGoal, c.hero, c.facing, c.lookAhead);
    EaseAim();
}

int CM_UpdataCamera(int apply) {
    TracedCall t(CmTracing, "CM_UpdataCamera");
    CmCameraState& c = CmCamera;
    ++c.calls;
    CM_Log("Camera manager call %d", c.calls);
    if (!c.open) return -1;
    TakeHeroFrame();
    UpdateLock();
    // The eye's goal behind the hero, in front of what stands between,
    // toward the aim point.
    float goal[3];
    PointAlong(goal, c.hero, c.facing, -c.followDistance);
    PullInFrontOfObstacle(goal, c.aim);
    StepEye(goal);
    CM_ComputeCameraHeightAndAim();
    if (apply) {
        CMH_SetCameraPosition(c.eye);
        CMH_AimCamera(c.aim);
    }
    return 1;
}
