// Mission 22 of the demo data opened and started as the run body begins it
// (OpenMission(22, 0) then StartMission(0)), its files read from a main
// archive built like the demo's game.res: mission.mpl, the hero's 21 power
// animations, the room with its collision and door, the hero and the guard
// with their animations.  The mission is ended between iterations outside
// the timing.  Goal: at most 50 ms.  Also one frame of the game world's
// work outside drawing (UpdateWorld) with the mission open.
#include "engine3d/dqx_3d.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/game_loop.h"
#include "host/host.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

bool g_ready = false;

bool Prepare() {
    if (g_ready) return true;
    if (!host::IsStarted() && !host::Start(host::BackendKind::Headless, nullptr)) return false;
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    g_SoundOn = 0;
    DisplayOptions = 4;
    fs::path dir = fs::temp_directory_path() / "morvanel-mission-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    std::vector<kit::ArchiveMember> members;
    for (const auto& files : {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoMissionFiles()})
        for (const kit::NamedFile& f : files) members.push_back({f.name, f.data});
    for (kit::ArchiveMember& m : kit::DemoSettingsMembers("game")) members.push_back(std::move(m));
    std::vector<uint8_t> image;
    if (!kit::BuildArchive(members, kit::DirectoryForm::Gzip, &image, nullptr)) return false;
    if (!kit::WriteBytes((dir / "game.res").string(), image)) return false;
    MainResArchive = ResAddArchive("game.res", 0);
    if (!MainResArchive) return false;
    CurrentResArchive = MainResArchive;
    CurrentFileTable = &ResourceFileTable;
    Init_3DMemory();
    g_ready = true;
    return true;
}

void BM_OpenAndStartMission22(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("no demo archive");
        return;
    }
    for (auto _ : state) {
        FirstMission = 1;
        OpenMission(22, 0);
        StartMission(0);
        state.PauseTiming();
        // Everything it names was found and loaded.
        if (RoomModelHandle <= 0 || CharacterTable[0].model <= 0 || CharacterTable[1].model <= 0 ||
            HeroAnimHandles[0] <= 0 || CharacterTable[0].animObjects[0] <= 0) {
            state.SkipWithError("mission 22 did not load whole");
            EndMission();
            return;
        }
        EndMission();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenAndStartMission22)->Unit(benchmark::kMillisecond);

void BM_WorldFrameOfMission22(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("no demo archive");
        return;
    }
    FirstMission = 1;
    OpenMission(22, 0);
    StartMission(0);
    for (auto _ : state) UpdateWorld(&CharacterTable[0]);
    EndMission();
}
BENCHMARK(BM_WorldFrameOfMission22)->Unit(benchmark::kMicrosecond);

}  // namespace
