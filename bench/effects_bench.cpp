// The effects engine and the animation tracks: the per-frame update with
// many running sets, starting a cached set (one object copy) against a
// first load, a character posed from an animation, and a morph applied.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// A file under its game name, below the bench's folder.
void Write(const kit::NamedFile& f) {
    std::string name = f.name.rfind(".\\", 0) == 0 ? f.name.substr(2) : f.name;
    for (char& c : name)
        if (c == '\\') c = '/';
    fs::path p(name);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    kit::WriteBytes(name, f.data);
}

ObjHandle Prepare() {
    if (!host::IsStarted()) host::Start(host::BackendKind::Headless, nullptr);
    host::headless::SetAutoStep(0, 0);
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    fs::path dir = fs::temp_directory_path() / "morvanel-effects-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    for (const kit::NamedFile& f : kit::DemoEffectFiles()) Write(f);
    for (const kit::NamedFile& f : kit::DemoAnimationFiles()) Write(f);
    Write({".\\all\\hero.3dc", kit::BuildObject(kit::Character("hero", 0x001F), nullptr)});
    kit::MorSpec mor;
    mor.targets = {{"~hand", {{-12, -12, -12}, {12, -12, -12}, {12, 12, -12}, {-12, 12, -12}}},
                   {"open", {{-30, -30, -12}, {30, -30, -12}, {30, 30, -12}, {-30, 30, -12}}}};
    mor.groups = {{"repere", {{1, "~hand"}, {10, "open"}, {20, "~hand"}}}};
    Write({".\\all\\hand.mor", kit::MorFile(mor)});
    if (!MainResArchive) MainResArchive = ResAddArchive("absent.res", 0);
    CurrentFileTable = &ResourceFileTable;
    if (g_3DPool) {
        Free_AllEffects();
        Free_EffectSets();
    } else {
        Init_3DMemory();
    }
    Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
    return Load_SceneObject(".\\all\\hero.3dc");
}

// n flashes running (texture cells, scale and morph tracks, turning to the
// viewer, following the hero), one update and the frame's transforms per
// iteration.
void BM_UpdateEffects(benchmark::State& state) {
    ObjHandle hero = Prepare();
    for (int i = 0; i < state.range(0); ++i) Q3D_FXInit(".\\effects\\dezavivo.cgs", hero, 0.01f, -1, 0, 0);
    uint64_t clock = 0;
    for (auto _ : state) {
        host::headless::SetClock(clock += 33000);
        Update_Effects();
        Update_SubtreeTransforms(0);
    }
    Free_AllEffects();
    Free_EffectSets();
}
BENCHMARK(BM_UpdateEffects)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);

// The same flashes at normal speed: a frame every 67 ms, a pass of 24
// frames, so most updates step the sets in the middle of their pass (at
// speed 0.01 above every update ends each pass and starts the next, and
// the object copies and compactions of those restarts weigh most).
void BM_UpdateEffectsPlaying(benchmark::State& state) {
    ObjHandle hero = Prepare();
    for (int i = 0; i < state.range(0); ++i) Q3D_FXInit(".\\effects\\dezavivo.cgs", hero, 1.0f, -1, 0, 0);
    uint64_t clock = 0;
    for (auto _ : state) {
        host::headless::SetClock(clock += 33000);
        Update_Effects();
        Update_SubtreeTransforms(0);
    }
    Free_AllEffects();
    Free_EffectSets();
}
BENCHMARK(BM_UpdateEffectsPlaying)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMicrosecond);

// Starting the flash again: a copy of the cached set, then its free.
void BM_FireCachedEffect(benchmark::State& state) {
    ObjHandle hero = Prepare();
    Free_Effect(Q3D_FXInit(".\\effects\\dezavivo.cgs", hero, 1.0f, 1, 0, 0));
    for (auto _ : state) Free_Effect(Q3D_FXInit(".\\effects\\dezavivo.cgs", hero, 1.0f, 1, 0, 0));
    Free_EffectSets();
}
BENCHMARK(BM_FireCachedEffect)->Unit(benchmark::kMicrosecond);

// The first start: the set's four files read, then the cache emptied.
void BM_FireUncachedEffect(benchmark::State& state) {
    ObjHandle hero = Prepare();
    for (auto _ : state) {
        Free_Effect(Q3D_FXInit(".\\effects\\dezavivo.cgs", hero, 1.0f, 1, 0, 0));
        Free_EffectSets();
    }
}
BENCHMARK(BM_FireUncachedEffect)->Unit(benchmark::kMicrosecond);

// The hero (4 nodes) posed from the walk (linear keys) and the idle
// (spline keys), and cross-blended between them.
void BM_AnimateCharacter(benchmark::State& state) {
    ObjHandle hero = Prepare();
    ObjHandle walk = Load_Object(".\\all\\HEROWALK.3da"), idle = Load_Object(".\\all\\HEROIDLE.3da");
    int32_t f = 0;
    for (auto _ : state) {
        f = (f + 1) % 32;
        if (state.range(0) == 0) AnimateObject(hero, Anim_Ref(walk, f), Anim_Ref(walk, f), 0, 0);
        else if (state.range(0) == 1) AnimateObjectSpline(hero, Anim_Ref(idle, f), Anim_Ref(idle, f), 0, 0);
        else AnimateObject(hero, Anim_Ref(walk, f), Anim_Ref(idle, f), 100, 0);
    }
}
BENCHMARK(BM_AnimateCharacter)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kNanosecond);

void BM_ApplyMorph(benchmark::State& state) {
    ObjHandle hero = Prepare();
    MorphRec* m = Load_Morph(".\\all\\hand.mor", hero, 1);
    int32_t f = 0;
    for (auto _ : state) Apply_Morph(m, hero, f = f % 25 + 1);
    Free_Morph(m);
}
BENCHMARK(BM_ApplyMorph)->Unit(benchmark::kNanosecond);

}  // namespace
