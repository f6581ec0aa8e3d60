// Fuzz targets of the effect and morph readers, one per reader (chosen by
// EFFECT_READER): the input is read as a .cgs effect list, a set's .eff
// vertex tracks or .cls timing, or a .mor morph, and whatever loads is
// played for a second and a third on the headless clock, then freed.  The
// other files a set needs are written by the data kit, once.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "fuzz_support.h"
#include "host/headless/headless.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#define CGS 1
#define EFF 2
#define CLS 3
#define MOR 4

namespace {

// The library, cleared for every input, and the updates played per input
// with the clock's step between them.  An effect list may start many sets:
// 4 MB, 40 updates of 33 ms.  When only one file of the flash set changes
// (.eff or .cls), its three copies need far less room, and 8 updates of
// 165 ms play the same span, so that these targets run many times more
// inputs in their few seconds; the vertex tracks are still stepped through
// every frame an update passes over.
#if EFFECT_READER == EFF || EFFECT_READER == CLS
constexpr uint32_t kLibrary = 1u << 20;
constexpr int kUpdates = 8;
constexpr uint64_t kUpdateStepUs = 165000;
#else
constexpr uint32_t kLibrary = 4u << 20;
constexpr int kUpdates = 40;
constexpr uint64_t kUpdateStepUs = 33000;
#endif

// A file under its game name, ".\\dir\\name" becoming dir/name below the
// current folder.
void Write(const kit::NamedFile& f) {
    std::string name = f.name.rfind(".\\", 0) == 0 ? f.name.substr(2) : f.name;
    for (char& c : name)
        if (c == '\\') c = '/';
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) std::filesystem::create_directories(name.substr(0, slash));
    kit::WriteBytes(name, f.data);
}

void Setup() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    fuzz::Prepare();
    host::Start(host::BackendKind::Headless, nullptr);
    host::headless::SetAutoStep(0, 0);
    AppActive = 1;
    // A resource set without an archive: loose files, found below the
    // object's own folder as the game finds them.
    MainResArchive = ResAddArchive("absent.res", 0);
    g_3DPool = static_cast<uint8_t*>(std::calloc(1, kLibrary + 2 * kPoolInset));
    g_3DPoolSize = kLibrary + 2 * kPoolInset;
    // The demo flash as "flash.*" and a projectile as "bolt.*", both in the
    // current folder; the hero's object for the morphs.
    for (const kit::NamedFile& f : kit::EffectSetFiles(".\\flash", kit::FlashSet())) Write(f);
    kit::EffectSetSpec bolt = kit::FlashSet();
    bolt.cls.projectile = 1;
    bolt.object.nodes[3].name = "#spark";
    for (const kit::NamedFile& f : kit::EffectSetFiles(".\\bolt", bolt)) Write(f);
    kit::WriteBytes("flare.3DM", kit::FlareTexture());
    // The demo's effect, which the seeds of .cgs files name.
    for (const kit::NamedFile& f : kit::DemoEffectFiles()) Write(f);
    kit::WriteBytes("hero.3dc", kit::BuildObject(kit::Character("hero", 0x001F), nullptr));
    kit::WriteBytes("play.cgs", kit::CgsFile({{0, 1, "*", "flash"}, {1, 0, "*", "bolt", "*", "*"}}));
#if EFFECT_READER == EFF || EFFECT_READER == CLS
    // The input replaces one file of a copy of the flash set.
    kit::WriteBytes("input.cgs", kit::CgsFile({{0, 3, "*", "input"}}));
    for (const kit::NamedFile& f : kit::EffectSetFiles(".\\input", kit::FlashSet()))
        if (f.name.substr(f.name.size() - 3) != (EFFECT_READER == EFF ? "eff" : "cls")) Write(f);
#endif
}

void Play(const char* cgs) {
    Vec3 source{0, 0, 0}, target{0, 0, 900};
    Q3D_FXInit(cgs, 0, 1.0f, 2, 0, 0);
    Q3D_FXInit(cgs, 0, 0.5f, -1, 1, 0);
    Q3D_FXInit2(cgs, &target, &source, nullptr, HitTarget{}, 5);
    for (int i = 0; i < kUpdates; ++i) {
        host::headless::AdvanceClock(kUpdateStepUs);
        Update_Effects();
    }
    Free_AllEffects();
    Free_EffectSets();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    CurrentFileTable = &ResourceFileTable;
    Init_ObjLibrary(kPoolInset, kLibrary);
    try {
#if EFFECT_READER == CGS
        fuzz::WriteInput("input.cgs", data, size);
        Play("input.cgs");
#elif EFFECT_READER == EFF || EFFECT_READER == CLS
        fuzz::WriteInput(EFFECT_READER == EFF ? "input.eff" : "input.cls", data, size);
        Play("input.cgs");
#elif EFFECT_READER == MOR
        fuzz::WriteInput("input.mor", data, size);
        ObjHandle hero = Load_SceneObject("hero.3dc");
        MorphRec* a = Load_Morph("input.mor", hero, 0);
        MorphRec* b = Load_Morph("input.mor", hero, 1);
        for (int32_t frame : {0, 1, 5, 11, 40, -3, 1 << 30}) {
            Apply_Morph(a, hero, frame);
            Apply_MorphBlend(a, b, hero, frame, frame + 3, frame & 255);
        }
        Free_Morph(a);
        Free_Morph(b);
#endif
    } catch (const FatalReturn&) {
        // The fatal road (a wrong .cgs version for a projectile): what runs
        // is freed before the library starts again.
        host::FileCloseAll();
        Free_AllEffects();
        Free_EffectSets();
    }
    // The headless host keeps every debug line (a refused file logs one):
    // each input leaves it as it found it, so that no input looks like a
    // leak to the fuzzer, whose leak search is far slower than the input.
    host::headless::Reset();
    host::headless::SetAutoStep(0, 0);
    return 0;
}
