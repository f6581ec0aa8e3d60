// game-soft's frame of the mission-22 room with the hero and the guard
// through the software rasterizer (the walk, set-up, edge filing, the
// frame sweep) with the span back end (insertion and fill through the
// routine tables; goal: at most 50 memcpys of a 640 x 480 x 16 frame, timed
// in the same run) and with the reference path (the plain emitter and the
// reference fill): milliseconds per 640 x 480 5-6-5 frame, from the fixed
// camera the game loop uses, with its lamp.  The walk with the set-up and
// filing alone is measured beside them, so the sweep's share is the
// difference.
#include "bench/bench_ratio.h"
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "host/host.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "render/spans/span_backend.h"
#include "render/sr_setup.h"
#include "render/sr_spans.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/shapes.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kFrameGoalMemcpys = 50.0;

void PrepareSoftScene() {
    if (!host::IsStarted()) host::Start(host::BackendKind::Headless, nullptr);
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    fs::path dir = fs::temp_directory_path() / "morvanel-span-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    for (const kit::NamedFile& f : kit::Demo3DFiles()) kit::WriteBytes(f.name.substr(f.name.rfind('\\') + 1), f.data);
    CurrentFileTable = &PlainFileTable;
    ScreenStateRecord& s = ScreenState;
    s.bitsPerPixel = 16;
    s.bytesPerPixel = 2;
    s.redSize = s.blueSize = 5;
    s.greenSize = 6;
    s.redShift = 11;
    s.greenShift = 5;
    s.blueShift = 0;
    g_SoftwareDisplay = 1;
    SR_InstallRenderHooks();
    if (!g_3DPool) Init_3DMemory();
    Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
    ObjHandle room = Load_SceneObject("room1.3dc");
    ObjHandle hero = Load_SceneObject("hero.3dc");
    ObjHandle guard = Load_SceneObject("guard.3dc");
    Vec3 at{150, 1218, -800};
    Mat3 turn;
    Make_EulerMatrix(0, 341, 0, &turn);
    Set_ObjPos(hero, &at);
    Set_ObjMatrix(hero, &turn);
    Vec3 guardAt{700, 1218, 600};
    Make_EulerMatrix(0, 2389, 0, &turn);
    Set_ObjPos(guard, &guardAt);
    Set_ObjMatrix(guard, &turn);
    Set_ViewSize(640, 480);
    Set_ViewRect(640, 480, 0, 0, 400);
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
    for (ObjHandle part = guard; part < guard + Get_PartCount(guard); ++part) Add_ObjLight(part, light);
    Add_ObjLight(room, light);
}

void BM_SoftFrameDemoRoomSpanBackEnd(benchmark::State& state) {
    PrepareSoftScene();
    SPAN_InstallBackEnd();
    std::vector<uint16_t> frame(640 * 480);
    bench::MemcpyFrameSeconds();  // measured before the loop's clock starts
    bench::LoopClock clock;
    for (auto _ : state) {
        Draw_Scene(0, frame.data());
        benchmark::ClobberMemory();
    }
    bench::ReportFrameRatio(state, clock.Seconds(), kFrameGoalMemcpys);
    state.counters["pixels"] = benchmark::Counter(double(state.iterations()) * 640 * 480, benchmark::Counter::kIsRate);
    SPAN_SelectReferenceFill();
    g_SoftwareDisplay = 0;
}
BENCHMARK(BM_SoftFrameDemoRoomSpanBackEnd)->Unit(benchmark::kMillisecond);

void BM_SoftFrameDemoRoom(benchmark::State& state) {
    PrepareSoftScene();
    SPAN_SelectReferenceFill();
    std::vector<uint16_t> frame(640 * 480);
    for (auto _ : state) {
        Draw_Scene(0, frame.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = benchmark::Counter(double(state.iterations()) * 640 * 480, benchmark::Counter::kIsRate);
    g_SoftwareDisplay = 0;
}
BENCHMARK(BM_SoftFrameDemoRoom)->Unit(benchmark::kMillisecond);

// The walk with the set-up and the edge filing only: the frame renderer
// just lets the filing go.
void BM_SoftWalkAndSetupDemoRoom(benchmark::State& state) {
    PrepareSoftScene();
    g_SpanFrameSlot = [](uint16_t*) { SR_ClearBuckets(); };
    std::vector<uint16_t> frame(640 * 480);
    for (auto _ : state) {
        Draw_Scene(0, frame.data());
        benchmark::ClobberMemory();
    }
    SR_SelectFrameRenderer(0);
    g_SoftwareDisplay = 0;
}
BENCHMARK(BM_SoftWalkAndSetupDemoRoom)->Unit(benchmark::kMillisecond);

}  // namespace
