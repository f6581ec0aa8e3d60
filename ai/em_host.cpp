// The managers' host functions: vector maths on three floats, the hero and
// characters read from their records and models, the collision walks and
// the camera object.  What is game logic (the target choice, the lock-on
// rule, the frame step) comes through the slots of CmHost.
#include "ai/em_host.h"

#include "ai/managers.h"
#include "engine3d/dqx_collworld.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "game/character_records.h"

#include <cmath>

namespace {

// Floats to a game position, each component truncated toward zero with
// saturation (NaN gives 0).
Vec3 ToPosition(const float* v) {
    return {f2i(v[0]), f2i(v[1]), f2i(v[2])};
}

void ToFloats(const Vec3& v, float* out) {
    out[0] = float(v.x), out[1] = float(v.y), out[2] = float(v.z);
}

// Walks the collision candidates of the segment from a to b; every face it
// crosses offers its crossing point to the nearest-to-eye choice.
void WalkHits(const Vec3& a, const Vec3& b, const float* eye, bool* found, double* best, Vec3* nearest) {
    SegmentQuery query{};
    for (PoolRef<CollisionFace> f = Next_SegmentCandidate(&query, &a, &b); f; f = Next_SegmentCandidate(&query, &a, &b)) {
        Vec3 hit;
        if (!Hit_SegmentFace(&a, &b, f, &hit)) continue;
        double dx = double(hit.x) - eye[0], dy = double(hit.y) - eye[1], dz = double(hit.z) - eye[2];
        double d2 = dx * dx + dy * dy + dz * dz;
        if (!*found || d2 < *best) {
            *found = true;
            *best = d2;
            *nearest = hit;
        }
    }
}

}  // namespace

float EMH_Distance3DSquared(const float* a, const float* b) {
    float dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    return dx * dx + dy * dy + dz * dz;
}

float EMH_DistanceXZSquared(const float* a, const float* b) {
    float dx = b[0] - a[0], dz = b[2] - a[2];
    return dx * dx + dz * dz;
}

void EMH_Normalize(float* v) {
    float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(l > 0.0f)) return;
    v[0] /= l, v[1] /= l, v[2] /= l;
}

void EMH_SetVector(float* v, float x, float y, float z) {
    v[0] = x, v[1] = y, v[2] = z;
}

float EMH_DotProduct(const float* a, const float* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

float EMH_CrossProduct(float* out, const float* a, const float* b) {
    float x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
    out[0] = x, out[1] = y, out[2] = z;
    return x + y + z;
}

void EMH_ScaleVector(float* v, float s) {
    v[0] *= s, v[1] *= s, v[2] *= s;
}

void EMH_AddVector(float* a, const float* b) {
    a[0] += b[0], a[1] += b[1], a[2] += b[2];
}

void EMH_SubtractVector(float* a, const float* b) {
    a[0] -= b[0], a[1] -= b[1], a[2] -= b[2];
}

void EMH_NegateVector(float* v) {
    v[0] = -v[0], v[1] = -v[1], v[2] = -v[2];
}

void EMH_GetPerpendiculars(const float* v, float* p, float* q) {
    float x = v[0], z = v[2];
    p[0] = z, p[1] = 0.0f, p[2] = -x;
    q[0] = -z, q[1] = 0.0f, q[2] = x;
}

void EMH_GetEnemyPosition(const CharacterRecord* character, float* out) {
    Vec3 p{};
    if (!character || character->model <= 0 || Get_ObjPos(character->model, &p) < 0) p = {};
    ToFloats(p, out);
}

void EMH_GetPlayerPosition(const CharacterRecord* character, float* out) {
    EMH_GetEnemyPosition(character, out);
}

void EMH_GetFacingDirection(const CharacterRecord* character, float* out) {
    Mat3 m{};
    // The world matrix is read from the scene's camera-space transforms,
    // which the frame's walk leaves behind; a model placed or turned since
    // (a mission's open, a room change, this frame's movement) is brought
    // up to date first.
    if (character && character->model > 0) Update_SubtreeTransforms(0);
    if (!character || character->model <= 0 || Get_ObjWorldMatrix(character->model, &m) < 0) m = {};
    out[0] = float(m.m[0]), out[1] = float(m.m[1]), out[2] = -float(m.m[2]);
}

float EMH_GetFrameFactor() {
    return CmHost.FrameStep ? CmHost.FrameStep() : 1.0f;
}

void CMH_GetHeroPosition(float* out) {
    EMH_GetPlayerPosition(HeroRecord(), out);
}

void CMH_GetHeroDirection(float* out) {
    EMH_GetFacingDirection(HeroRecord(), out);
}

int CMH_HeroHasFlags4Or8() {
    const CharacterRecord* hero = HeroRecord();
    return hero && (hero->controls & (kCtlForward | kCtlBackward)) ? 1 : 0;
}

int CMH_HeroHasFlags1Or2() {
    const CharacterRecord* hero = HeroRecord();
    return hero && (hero->controls & (kCtlTurnLeft | kCtlTurnRight)) ? 1 : 0;
}

CharacterRecord* CMH_GetLockedEnemy() {
    CharacterRecord* hero = HeroRecord();
    if (!hero || !CmHost.FindCharacterTarget) return nullptr;
    CharacterRecord* enemy = CmHost.FindCharacterTarget(hero, 1);
    if (!enemy || !CmHost.CanLockOn || !CmHost.CanLockOn(enemy)) return nullptr;
    return enemy;
}

int CMH_FindNearestHit(const float* eye, const float* target, float* out) {
    const float from[3] = {eye[0] + 5.0f, eye[1] + 5.0f, eye[2] + 5.0f};
    const float to[3] = {target[0] - 5.0f, target[1] - 5.0f, target[2] - 5.0f};
    const Vec3 a = ToPosition(from), b = ToPosition(to);
    bool found = false;
    double best = 0.0;
    Vec3 nearest{};
    WalkHits(a, b, eye, &found, &best, &nearest);
    WalkHits(b, a, eye, &found, &best, &nearest);
    if (!found) return 1;
    ToFloats(nearest, out);
    return 0;
}

void CMH_SetCameraPosition(const float* position) {
    Vec3 p = ToPosition(position);
    Set_ObjPos(0, &p);
}

void CMH_AimCamera(const float* point) {
    Vec3 target = ToPosition(point), camera{}, d, n;
    if (Get_ObjPos(0, &camera) < 0) return;
    Sub_Vector(&target, &camera, &d);
    Normalize_Vector(&d, &n);
    // No direction to look along: the camera keeps the way it faces.
    if (n.x == 0 && n.y == 0 && n.z == 0) return;
    Mat3 look;
    Make_LookMatrix(&n, &look);
    Set_ObjMatrix(0, &look);
}
