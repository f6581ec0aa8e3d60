// The scene walk of the demo room with the character standing in it, from
// a fixed camera inside the room (floor and walls cut at the near plane),
// with a point light on the character: microseconds per walk, render and
// done steps empty.  Goal: at most 50 us per walk on one core.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
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

void NoStep(PoolRef<Obj3D>) {}

// The demo room and the hero loaded into a fresh library, the view and
// camera set.  Answers the number of faces handed over per walk.
void PrepareScene() {
    if (!host::IsStarted()) host::Start(host::BackendKind::Headless, nullptr);
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    fs::path dir = fs::temp_directory_path() / "morvanel-scene-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    for (const kit::NamedFile& f : kit::Demo3DFiles()) kit::WriteBytes(f.name.substr(f.name.rfind('\\') + 1), f.data);
    CurrentFileTable = &PlainFileTable;
    if (!g_3DPool) Init_3DMemory();
    Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
    ObjHandle room = Load_SceneObject("room1.3dc");
    ObjHandle hero = Load_SceneObject("hero.3dc");
    Vec3 at{150, 1218, -800};
    Set_ObjPos(hero, &at);
    Set_ViewRect(640, 480, 0, 0, 400);
    Set_ViewSize(640, 480);
    Set_DepthOffset(128);
    Vec3 from{-400, 700, -1850}, to{300, 900, 0};
    Mat3 m;
    Make_LookAt(&from, &to, &m);
    Set_ObjMatrix(0, &m);
    Set_ObjPos(0, &from);
    Clear_Lights();
    Mat3 identity;
    Set_Identity(&identity);
    Vec3 lamp{0, 300, -1300};
    int light = Add_Light(&lamp, &identity, kLightPoint, 5000, 10000, 24);
    for (ObjHandle part = hero; part < hero + Get_PartCount(hero); ++part) Add_ObjLight(part, light);
    Add_ObjLight(room, light);
    g_ObjectRenderSlot = NoStep;
    g_ObjectDoneSlot = NoStep;
}

void BM_WalkDemoRoom(benchmark::State& state) {
    PrepareScene();
    for (auto _ : state) {
        Walk_Scene(SceneRoot);
        benchmark::ClobberMemory();
    }
    state.counters["arena bytes"] = double(g_FrameArena - MemLib);
}
BENCHMARK(BM_WalkDemoRoom)->Unit(benchmark::kMicrosecond);

// The same walk without lights and edge records: the share of the
// transform, culling, clipping and projection alone.
void BM_WalkDemoRoomUnlit(benchmark::State& state) {
    PrepareScene();
    Clear_Lights();
    g_ObjectDoneSlot = nullptr;
    for (auto _ : state) {
        Walk_Scene(SceneRoot);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WalkDemoRoomUnlit)->Unit(benchmark::kMicrosecond);

}  // namespace
