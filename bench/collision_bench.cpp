// Collision in the demo room (room1c.3dc: floor and four walls): sphere
// tests in open space, on the floor and in a corner; sweeps of three radii
// clear and into a wall; lines of sight clear and through a wall.  And the
// box service's broad phase over a hundred moving bodies.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_boxcoll.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "host/host.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/shapes.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

ObjHandle g_Mover = -1;

// The demo room's collision loaded, and a small object to sweep towards.
void Prepare() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    host::Start(host::BackendKind::Headless, nullptr);
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    fs::path dir = fs::temp_directory_path() / "morvanel-collision-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    for (const kit::NamedFile& f : kit::Demo3DFiles()) kit::WriteBytes(f.name.substr(f.name.rfind('\\') + 1), f.data);
    CurrentFileTable = &PlainFileTable;
    Init_3DMemory();
    Load_Collision("room1c.3dc");
    g_Mover = Load_Object("key.3dc");
    Attach_Obj(g_Mover, 0);
}

// Two places in turn, so that the probe's intervals move every time.
void SphereAt(benchmark::State& state, Vec3 a, Vec3 b, int32_t radius) {
    Prepare();
    int pushes = 0;
    bool odd = false;
    for (auto _ : state) {
        Vec3 c = odd ? b : a;
        odd = !odd;
        pushes += Collide_Sphere(&c, radius);
        benchmark::DoNotOptimize(c);
    }
    state.counters["pushes"] = benchmark::Counter(pushes, benchmark::Counter::kAvgIterations);
}

void BM_CollideSphereOpen(benchmark::State& state) {
    SphereAt(state, {0, 500, 0}, {300, 600, -200}, 50);
}
BENCHMARK(BM_CollideSphereOpen)->Unit(benchmark::kMicrosecond);

void BM_CollideSphereFloor(benchmark::State& state) {
    SphereAt(state, {500, 1200, -300}, {-700, 1190, 400}, 50);
}
BENCHMARK(BM_CollideSphereFloor)->Unit(benchmark::kMicrosecond);

void BM_CollideSphereCorner(benchmark::State& state) {
    SphereAt(state, {1980, 1190, 1975}, {-1985, 1195, -1970}, 50);
}
BENCHMARK(BM_CollideSphereCorner)->Unit(benchmark::kMicrosecond);

// Three radii from the object: seven sphere tests.
void BM_SweepClear(benchmark::State& state) {
    Prepare();
    Vec3 at{0, 600, 0};
    Set_ObjPos(g_Mover, &at);
    for (auto _ : state) {
        Vec3 p{-300, 600, 0};
        benchmark::DoNotOptimize(Sweep_Collision(g_Mover, &p, 0, 100));
    }
}
BENCHMARK(BM_SweepClear)->Unit(benchmark::kMicrosecond);

// Towards an object beyond the wall: stops at the wall after 20 tests.
void BM_SweepIntoWall(benchmark::State& state) {
    Prepare();
    Vec3 at{2600, 600, 0};
    Set_ObjPos(g_Mover, &at);
    for (auto _ : state) {
        Vec3 p{1000, 600, 0};
        benchmark::DoNotOptimize(Sweep_Collision(g_Mover, &p, 0, 100));
    }
}
BENCHMARK(BM_SweepIntoWall)->Unit(benchmark::kMicrosecond);

void BM_LineOfSightClear(benchmark::State& state) {
    Prepare();
    Vec3 a{-1500, 600, -1200}, b{1400, 900, 1500};
    for (auto _ : state) benchmark::DoNotOptimize(Test_LineOfSight(&a, &b));
}
BENCHMARK(BM_LineOfSightClear)->Unit(benchmark::kMicrosecond);

void BM_LineOfSightThroughWall(benchmark::State& state) {
    Prepare();
    Vec3 a{0, 600, 0}, b{2500, 650, 300};
    for (auto _ : state) benchmark::DoNotOptimize(Test_LineOfSight(&a, &b));
}
BENCHMARK(BM_LineOfSightThroughWall)->Unit(benchmark::kMicrosecond);

// A hundred boxes in a row, each nudged every frame: the broad phase's
// incremental sort and pair list (the time includes writing the hundred
// world boxes, as the scene walk would).
void BM_BoxCollisionUpdate(benchmark::State& state) {
    Prepare();
    constexpr int kBodies = 100;
    Init_BoxCollision(kBodies);
    std::vector<ObjHandle> bodies;
    for (int i = 0; i < kBodies; ++i) {
        ObjHandle h = Duplicate_Object(g_Mover);
        bodies.push_back(h);
        Add_BoxBody(h, 0);
    }
    int frame = 0;
    int64_t pairs = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBodies; ++i) {
            BoxRecord r = Load(Get_ObjBox(bodies[size_t(i)], 0));
            float x = float(i * 90 + ((frame + i) % 7) * 5);
            for (int k = 0; k < 8; ++k) {
                int q = k & 3;
                r.world[k][0] = x + ((q == 1 || q == 2) ? 100.0f : 0.0f);
                r.world[k][1] = q >= 2 ? 100.0f : 0.0f;
                r.world[k][2] = k >= 4 ? 100.0f : 0.0f;
            }
            r.min[0] = x, r.max[0] = x + 100, r.min[1] = r.min[2] = 0, r.max[1] = r.max[2] = 100;
            Store(Get_ObjBox(bodies[size_t(i)], 0), r);
        }
        ++frame;
        pairs += Update_BoxCollision();
    }
    state.counters["pairs"] = benchmark::Counter(double(pairs), benchmark::Counter::kAvgIterations);
    Free_BoxCollision();
    for (ObjHandle h : bodies) Free_Object(h);
    Compact_3DMemory();
}
BENCHMARK(BM_BoxCollisionUpdate)->Unit(benchmark::kMicrosecond);

}  // namespace
