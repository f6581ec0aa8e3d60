// Room collision: loading and freeing, sphere pushes, sweeps, lines of sight
// and falling.
#include "engine3d/dqx_collide.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "platform/errors.h"
#include "platform/resfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

ObjHandle g_CollisionHandle = -1;
CollisionProbe* g_CollisionProbe = nullptr;
PoolRef<CollisionFace> g_TouchedFaces[kMaxTouchedFaces];
int32_t g_TouchedFaceCount = 0;

namespace {

// The probe keeps both overlap lists.
constexpr uint8_t kRoomProbeFlags = 14;
// The radius of the sphere a falling object is tested as.
constexpr int32_t kFallRadius = 50;

CollisionWorld* World() {
    if (!g_CollisionWorld) g_CollisionWorld = Create_CollisionWorld();
    return g_CollisionWorld;
}

void ForgetProbe() {
    if (g_CollisionProbe && g_CollisionWorld) Remove_Probe(g_CollisionWorld, g_CollisionProbe);
    g_CollisionProbe = nullptr;
    g_TouchedFaceCount = 0;
}

void CollectTouchedFaces() {
    g_TouchedFaceCount = 0;
    for (PoolRef<CollisionFace> f = Next_ProbeOverlap(g_CollisionProbe); f; f = Next_ProbeOverlap(g_CollisionProbe)) {
        if (g_TouchedFaceCount == kMaxTouchedFaces) FatalError("dqx_3d.c:Trop de face!");
        g_TouchedFaces[g_TouchedFaceCount++] = f;
    }
}

// Faces whose interior the sphere touches push the centre out along their
// normal to the radius.
int PushOutOfFaces(Vec3* centre, int32_t radius) {
    int pushes = 0;
    for (int32_t i = 0; i < g_TouchedFaceCount; ++i) {
        if (Get_ClosestFeature(g_CollisionProbe, g_TouchedFaces[i]) != 2) continue;
        Vec3 point, normal;
        Get_ContactInfo(g_CollisionProbe, &point, &normal, nullptr, nullptr);
        *centre = {Narrow(point.x + ((int64_t(normal.x) * radius) >> 15)),
                   Narrow(point.y + ((int64_t(normal.y) * radius) >> 15)),
                   Narrow(point.z + ((int64_t(normal.z) * radius) >> 15))};
        Set_ProbePos(g_CollisionProbe, centre);
        ++pushes;
    }
    return pushes;
}

// Edges and corners the sphere touches push the centre straight away from
// them to the radius; a centre on the edge itself has no direction and stays.
int PushOffEdges(Vec3* centre, int32_t radius) {
    int pushes = 0;
    for (int32_t i = 0; i < g_TouchedFaceCount; ++i) {
        if (Get_ClosestFeature(g_CollisionProbe, g_TouchedFaces[i]) != 1) continue;
        Vec3 point;
        Get_ContactInfo(g_CollisionProbe, &point, nullptr, nullptr, nullptr);
        double dx = double(centre->x) - point.x, dy = double(centre->y) - point.y, dz = double(centre->z) - point.z;
        double l = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (!(l > 0.01)) continue;
        double s = double(radius) / l;
        *centre = {f2i(point.x + dx * s), f2i(point.y + dy * s), f2i(point.z + dz * s)};
        Set_ProbePos(g_CollisionProbe, centre);
        ++pushes;
    }
    return pushes;
}

// Walks the faces the segment may cross, from a; 0 at the first face it
// crosses (its crossing point to hit when asked), else 1.  Each walk has its
// own query record, so one that stops early leaves nothing behind.
int WalkSegment(const Vec3* a, const Vec3* b, Vec3* hit) {
    SegmentQuery query{};
    for (PoolRef<CollisionFace> f = Next_SegmentCandidate(&query, a, b); f; f = Next_SegmentCandidate(&query, a, b))
        if (Hit_SegmentFace(a, b, f, hit)) return 0;
    return 1;
}

// The held collision object's faces leave the world, its probe goes and
// the object is freed.
void ReleaseCollision() {
    if (g_CollisionHandle == -1) return;
    ObjHandle h = g_CollisionHandle;
    if (g_CollisionWorld) Remove_CollisionBlock(g_CollisionWorld, Get_Block(h));
    ForgetProbe();
    g_CollisionHandle = -1;
    Free_Object(h);
}

// The point of a move from `from` to `to` after k of its n steps.  Each is
// taken from the whole move, not added up from a truncated step, so that
// the last one is `to` itself.
Vec3 StepPoint(const Vec3& from, const Vec3& to, int64_t k, int64_t n) {
    auto at = [&](int32_t a, int32_t b) { return Narrow(a + int64_t(__int128(int64_t(b) - a) * k / n)); };
    return {at(from.x, to.x), at(from.y, to.y), at(from.z, to.z)};
}

// Moves a sphere from `from` to `to`, testing it after each step: one step
// when the move is shorter than half the radius, else 2d / r + 1, so that
// no step is longer than half the radius and the last test stands at `to`.
// Answers the first touch with the point pushed clear, else 0 with the
// point at `to`.
int SweepMove(const Vec3& from, const Vec3& to, Vec3* point, int32_t radius) {
    int64_t d = Get_Distance(&from, &to);
    int64_t n = radius / 2 > d ? 1 : 2 * d / radius + 1;
    for (int64_t k = 1; k <= n; ++k) {
        *point = StepPoint(from, to, k, n);
        if (int r = Collide_Sphere(point, radius)) return r;
    }
    return 0;
}

// One frame's fall of `fall` units (down is +y), swept like any move so that
// a fast fall cannot pass through a floor, and ending at the ground level at
// the latest.  True when the sphere touched something on the way; p is then
// where it was pushed clear, else where the fall ends.
bool FallTo(Vec3* p, int64_t fall) {
    Vec3 to = *p;
    int64_t y = int64_t(p->y) + fall;
    to.y = Narrow(fall > 0 ? std::min<int64_t>(y, kGroundLevel) : y);
    if (to.y == p->y) return false;
    Vec3 from = *p;
    if (g_CollisionProbe && SweepMove(from, to, p, kFallRadius)) return true;
    *p = to;
    return false;
}

}  // namespace

ObjHandle Load_Collision(const char* path) {
    ObjHandle h = CurrentFileTable->Exists(path) ? Load_ObjectFile(path) : -1;
    if (h < 0 || Get_BlockType(h) != kBlockCollision) {
        // Anything but a collision block is no collision object either.
        if (h > 0) Free_Object(h);
        FatalError("dqx_3d.c:Collision:%s not found", path);
    }
    // A room whose collision was never freed gives it up now: its faces
    // would otherwise stay in the world and block lines of sight.
    ReleaseCollision();
    g_CollisionProbe = Add_Probe(World(), kRoomProbeFlags);
    Add_CollisionBlock(World(), Get_Block(h));
    g_CollisionHandle = h;
    return h;
}

void Free_Collision() {
    Compact_3DMemory();
    ReleaseCollision();
}

int Collide_Sphere(Vec3* centre, int32_t radius) {
    // A sphere without size touches nothing.
    if (!g_CollisionProbe || radius <= 0) return 0;
    Set_ProbeRadius(g_CollisionProbe, radius);
    Set_ProbePos(g_CollisionProbe, centre);
    Update_CollisionWorld(g_CollisionWorld, g_CollisionProbe);
    CollectTouchedFaces();
    int pushes = PushOutOfFaces(centre, radius);
    return pushes + PushOffEdges(centre, radius);
}

int Sweep_Collision(ObjHandle h, Vec3* point, int mode, int32_t radius) {
    Vec3 p;
    if (!g_CollisionProbe || Get_ObjPos(h, &p) < 0) return 0;
    if (mode & 1) p.y = Narrow(int64_t(p.y) + 300);
    // A sphere without size is tested once, where it is.
    if (radius <= 0) return Collide_Sphere(point, radius);
    Vec3 from = *point;
    return SweepMove(from, p, point, radius);
}

int Test_LineOfSight(const Vec3* a, const Vec3* b) {
    Vec3 from = *a, to = *b;
    // No exactly level segment reaches the segment walk.
    if (from.y == to.y) {
        from.y = Narrow(int64_t(from.y) - 1);
        from.z = Narrow(int64_t(from.z) + 1);
    }
    return WalkSegment(&from, &to, nullptr) && WalkSegment(&to, &from, nullptr);
}

int Test_CharLineOfSight(const void* c1, const void* c2) {
    ObjHandle h1, h2;
    std::memcpy(&h1, c1, sizeof h1);
    std::memcpy(&h2, c2, sizeof h2);
    Vec3 a, b;
    if (Get_ObjPos(h1, &a) < 0 || Get_ObjPos(h2, &b) < 0) return 0;
    return Test_LineOfSight(&a, &b);
}

int Find_LineCrossing(const Vec3* a, const Vec3* b, Vec3* crossing) {
    return WalkSegment(a, b, crossing);
}

int32_t Apply_Gravity(ObjHandle h, int32_t counter) {
    Vec3 p;
    if (Get_ObjPos(h, &p) < 0) return counter;
    if (p.y >= kGroundLevel || Sweep_Collision(h, &p, 0, kFallRadius)) {
        counter = 0;
    } else if (FallTo(&p, int64_t(EngineServices.FrameTickFactor()) * counter)) {
        counter = 0;
    } else {
        ++counter;
    }
    Set_ObjPos(h, &p);
    return counter;
}

void Reset_Collision() {
    Destroy_CollisionWorld(g_CollisionWorld);
    g_CollisionWorld = Create_CollisionWorld();
    g_CollisionProbe = nullptr;
    g_CollisionHandle = -1;
    g_TouchedFaceCount = 0;
}

void Remove_CollisionFaces(uint32_t block) {
    if (g_CollisionWorld) Remove_CollisionBlock(g_CollisionWorld, block);
    // The room's own collision object freed behind its back: the handle and
    // the probe go with it, so that Free_Collision frees nothing twice.
    if (g_CollisionHandle != -1 && Get_Block(g_CollisionHandle) == block) {
        ForgetProbe();
        g_CollisionHandle = -1;
    }
}
