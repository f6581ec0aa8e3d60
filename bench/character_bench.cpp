// The per-frame character pass (UpdateCharacters) of mission 7 of the demo
// data, opened and started as the run body begins a mission, with every
// character of the mission standing in the current room, facing the hero
// and walking forward so that each one animates every frame.  Goal: at most
// 50 us a pass.
#include "engine3d/dqx_3d.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_targets.h"
#include "game/game_state.h"
#include "host/host.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/engine_services.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kControlForward = 1 << 2;

bool Prepare() {
    static bool ready = false;
    if (ready) return true;
    if (!host::IsStarted() && !host::Start(host::BackendKind::Headless, nullptr)) return false;
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    g_SoundOn = 0;
    DisplayOptions = 4;
    fs::path dir = fs::temp_directory_path() / "morvanel-character-bench";
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
    InstallEngineServices();
    ready = true;
    return true;
}

void BM_CharacterPassOfMission7(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("no demo archive");
        return;
    }
    FirstMission = 1;
    OpenMission(7, 0);
    // Every definition stands in the start room, so that each is set up,
    // present and updated by the pass.
    for (int i = 0; i < MissionPtr->characterDefCount; ++i) MissionPtr->characterDefs[i].room = 0;
    StartMission(0);
    int updated = 0;
    for (int i = 0; i < MissionCharacterCount(); ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (!c.present || c.model <= 0) continue;
        c.def->state = 1;  // faces the hero
        c.controls = kControlForward;
        ++updated;
    }
    if (updated < 2) {
        state.SkipWithError("mission 7 did not set up its characters");
        EndMission();
        return;
    }
    GameTimer.DeltaUnits = 2;
    GameTimer.DoubleDelta = 4;
    for (auto _ : state) UpdateCharacters();
    state.counters["characters"] = updated;
    EndMission();
}
BENCHMARK(BM_CharacterPassOfMission7)->Unit(benchmark::kMicrosecond);

}  // namespace
