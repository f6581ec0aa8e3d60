// The object library: loading the demo room (object file, two textures,
// fix-ups, model bank) and compacting a pool of 200 blocks of which every
// other one was freed, with objects attached under the camera and under
// each other so that links across blocks are re-fixed.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_model.h"
#include "engine3d/dqx_obj.h"
#include "host/host.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/shapes.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A scratch folder holding the demo's 3D files, made the current directory.
void Prepare() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    host::Start(host::BackendKind::Headless, nullptr);
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    fs::path dir = fs::temp_directory_path() / "morvanel-objlib-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    for (const kit::NamedFile& f : kit::Demo3DFiles()) {
        std::string name = f.name.substr(f.name.rfind('\\') + 1);
        kit::WriteBytes(name, f.data);
    }
    CurrentFileTable = &PlainFileTable;
    Init_3DMemory();
}

void BM_LoadDemoRoom(benchmark::State& state) {
    Prepare();
    Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
    for (auto _ : state) {
        ObjHandle h = Load_Object("room1.3dc");
        benchmark::DoNotOptimize(h);
        state.PauseTiming();
        Free_Object(h);
        Compact_3DMemory();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(fs::file_size("room1.3dc") + fs::file_size("wall.3DM") + fs::file_size("floor.3DM")));
}
BENCHMARK(BM_LoadDemoRoom)->Unit(benchmark::kMicrosecond);

// The library state a compaction changes, saved and put back.
struct Snapshot {
    std::vector<uint8_t> bytes;
    uint32_t memLib;
    PoolRef<ObjBlock> first, last;
    int32_t models;
    void Save() {
        memLib = MemLib, first = g_FirstBlock, last = g_LastBlock, models = g_ModelCount;
        bytes.assign(PoolPtr(MemDebut), PoolPtr(MemLib));
    }
    void Restore() const {
        std::memcpy(PoolPtr(MemDebut), bytes.data(), bytes.size());
        MemLib = memLib, g_FirstBlock = first, g_LastBlock = last, g_ModelCount = models;
    }
};

void BM_Compact200Blocks(benchmark::State& state) {
    Prepare();
    Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
    const char* files[] = {"key.3dc", "hero.3dc", "door.3dc", "guard.3dc"};
    std::vector<ObjHandle> handles;
    while (handles.size() < 200) {
        ObjHandle h = Load_Object(files[handles.size() % 4]);
        // Every third object hangs under the camera, the others under the
        // object before them.
        Attach_Obj(h, handles.empty() || handles.size() % 3 == 0 ? 0 : handles.back());
        handles.push_back(h);
    }
    for (size_t i = 0; i < handles.size(); i += 2) Free_Object(handles[i]);
    Snapshot snapshot;
    snapshot.Save();
    int blocks = 0;
    for (PoolRef<ObjBlock> b = g_FirstBlock; b; b = Get(b, &ObjBlock::next)) ++blocks;
    uint64_t moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        snapshot.Restore();
        uint32_t before = MemLib;
        state.ResumeTiming();
        Compact_3DMemory();
        moved += before - MemLib;
    }
    state.counters["live blocks"] = blocks;
    state.counters["bytes reclaimed"] = double(moved) / double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(snapshot.bytes.size()));
}
BENCHMARK(BM_Compact200Blocks)->Unit(benchmark::kMicrosecond);

}  // namespace
