// A whole game-d3d frame of the demo room at 640 x 480: the display started
// as RunGame starts it (windowed), the demo room with the hero and the guard
// seen from the demo view, then per frame Draw_Scene (clear, walk, objects, deferred
// faces) and the lock of the back buffer the 2D drawing takes next, which
// has every pixel made.  With the demo settings: point filtering, no
// dithering.  Also the same frame shown (the present's copy to the window).
// Goal: at most 75 frame memcpys a frame on one thread (bench_ratio.h).
#include "bench/bench_ratio.h"
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "host/d3d.h"
#include "host/host.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/winmain.h"
#include "render/d3d_display.h"
#include "render/d3d_scene.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/shapes.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr double kFrameGoalMemcpys = 75.0;

bool g_ready = false;

bool PrepareFrame() {
    if (g_ready) return true;
    if (!host::IsStarted() && !host::Start(host::BackendKind::Headless, nullptr)) return false;
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    RenderOptions = 0;
    fs::path dir = fs::temp_directory_path() / "morvanel-d3d-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    for (const kit::NamedFile& f : kit::Demo3DFiles()) kit::WriteBytes(f.name.substr(f.name.rfind('\\') + 1), f.data);
    CurrentFileTable = &PlainFileTable;
    EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
    if (CreateMainWindow(nullptr, nullptr, "") != 0) return false;
    g_SoftwareDisplay = 1;
    DDrawInstall();
    if (DisplayOpen(0) != 1) return false;
    D3D_CreateLayer();
    D3D_StartDisplay(1, 0);
    int mode = CurrentVideoDriver->FindMode(640, 480, 16);
    if (!mode) return false;
    ScreenState.flags |= 0x18;
    CurrentVideoDriver->SetModeNumber(mode);
    D3D_InstallDriverHooks();
    CurrentVideoDriver->CreateBuffers(1);
    Init_ShadeTables();
    Set_View();
    D3D_ApplyDisplayOptions();
    ObjHandle room = Load_SceneObject("room1.3dc");
    ObjHandle hero = Load_SceneObject("hero.3dc");
    ObjHandle guard = Load_SceneObject("guard.3dc");
    if (room <= 0 || hero <= 0 || guard <= 0) return false;
    const kit::DemoView& view = kit::kDemoView;
    Vec3 at{view.heroAt.x, view.heroAt.y, view.heroAt.z};
    Mat3 turn;
    Make_EulerMatrix(0, view.heroTurn, 0, &turn);
    Set_ObjPos(hero, &at);
    Set_ObjMatrix(hero, &turn);
    Vec3 guardAt{view.guardAt.x, view.guardAt.y, view.guardAt.z};
    Make_EulerMatrix(0, view.guardTurn, 0, &turn);
    Set_ObjPos(guard, &guardAt);
    Set_ObjMatrix(guard, &turn);
    Vec3 from{view.cameraFrom.x, view.cameraFrom.y, view.cameraFrom.z}, to{view.cameraTo.x, view.cameraTo.y, view.cameraTo.z};
    Mat3 m;
    Make_LookAt(&from, &to, &m);
    Set_ObjMatrix(0, &m);
    Set_ObjPos(0, &from);
    g_ready = true;
    return true;
}

void RunFrames(benchmark::State& state, bool present) {
    if (!PrepareFrame()) {
        state.SkipWithError("the headless display or the demo room could not be set up");
        return;
    }
    host::D3DConfig().rasterThreads = int(state.range(0));
    VideoDriver* d = CurrentVideoDriver;
    bench::MemcpyFrameSeconds();  // measured before the loop's clock starts
    bench::LoopClock clock;
    for (auto _ : state) {
        Draw_Scene(0);
        uint8_t* frame = d->Lock(d);
        benchmark::DoNotOptimize(frame);
        d->Unlock(d);
        if (present) PresentHook();
    }
    double seconds = clock.Seconds();
    if (!present) bench::ReportFrameRatio(state, seconds, kFrameGoalMemcpys);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_D3DDemoRoomFrame(benchmark::State& state) {
    RunFrames(state, false);
}

void BM_D3DDemoRoomFramePresented(benchmark::State& state) {
    RunFrames(state, true);
}

}  // namespace

BENCHMARK(BM_D3DDemoRoomFrame)->Arg(0)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_D3DDemoRoomFramePresented)->Arg(0)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
