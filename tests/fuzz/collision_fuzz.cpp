// Fuzz target: a collision file loaded as the room's collision object, then
// sphere tests, a sweep, lines of sight, segment walks and probe updates
// around its own vertices, a second copy added and removed under the probes,
// and the object freed.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "fuzz_support.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/shapes.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kLibrary = 2u << 20;

void Setup() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    fuzz::Prepare();
    AppActive = 1;
    g_3DPool = static_cast<uint8_t*>(std::calloc(1, kLibrary + 2 * kPoolInset));
    g_3DPoolSize = kLibrary + 2 * kPoolInset;
    kit::WriteBytes("mover.3dc", kit::BuildObject(kit::Cube("mover", 10, 1), nullptr));
}

// Points to test from: the block's first vertices, their midpoints and a
// few fixed places.
std::vector<Vec3> QueryPoints(ObjHandle h) {
    std::vector<Vec3> points = {{0, 0, 0}, {0, 600, 0}, {1990, 600, 0}, {-100, 1200, 50}};
    CollisionBlock b = Load(Ref<CollisionBlock>(Get_Block(h)));
    int32_t n = b.vertexCount < 6 ? b.vertexCount : 6;
    for (int32_t i = 0; i < n; ++i) points.push_back(Load(Index(b.vertices, uint32_t(i))));
    for (int32_t i = 1; i < n; ++i) {
        Vec3 a = points[size_t(3 + i)], c = points[size_t(4 + i)];
        points.push_back({int32_t((int64_t(a.x) + c.x) / 2), int32_t((int64_t(a.y) + c.y) / 2),
                          int32_t((int64_t(a.z) + c.z) / 2)});
    }
    return points;
}

void Queries(ObjHandle h, ObjHandle mover) {
    std::vector<Vec3> points = QueryPoints(h);
    for (const Vec3& p : points) {
        for (int32_t r : {1, 50, 300, 1 << 30}) {
            Vec3 c = p;
            Collide_Sphere(&c, r);
        }
    }
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        Test_LineOfSight(&points[i], &points[i + 1]);
        Vec3 crossing;
        Find_LineCrossing(&points[i + 1], &points[i], &crossing);
        SegmentQuery q{};
        for (PoolRef<CollisionFace> f = Next_SegmentCandidate(&q, &points[i], &points[0]); f;
             f = Next_SegmentCandidate(&q, &points[i], &points[0]))
            Hit_SegmentFace(&points[i], &points[0], f, &crossing);
    }
    // A short sweep towards an object near the first point, and a fall.
    Vec3 at = points[0];
    Set_ObjPos(mover, &at);
    Vec3 from{at.x - 200, at.y, at.z + 100};
    Sweep_Collision(mover, &from, 1, 64);
    Apply_Gravity(mover, 3);
    // The x/z list and the vertical contact of every face on it.
    if (g_CollisionProbe) {
        for (PoolRef<CollisionFace> f = Next_ProbeXZOverlap(g_CollisionProbe); f;
             f = Next_ProbeXZOverlap(g_CollisionProbe)) {
            Vec3 point;
            Get_VerticalContact(g_CollisionProbe, f, &point);
            Get_ClosestFeature(g_CollisionProbe, f);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    fuzz::WriteInput("input.3dc", data, size);
    CurrentFileTable = &PlainFileTable;
    Init_ObjLibrary(kPoolInset, kLibrary);
    Reset_Collision();
    try {
        ObjHandle mover = Add_ObjFile("mover.3dc");
        ObjHandle h = Load_Collision("input.3dc");
        Queries(h, mover);
        // A second copy comes and goes under the probe.
        ObjHandle copy = Add_ObjFile("input.3dc");
        Add_CollisionBlock(g_CollisionWorld, Get_Block(copy));
        Queries(h, mover);
        Free_Object(copy);
        Queries(h, mover);
        Free_Collision();
    } catch (const FatalReturn&) {
        // A refused file or too many faces near a sphere: the fatal road.
    }
    return 0;
}
