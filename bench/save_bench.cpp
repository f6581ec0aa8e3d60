// Saving and loading mission 7 of the demo data in play (opened and
// started as the run body begins a mission, its files from a main archive
// built like the demo's game.res): WriteSaveGame of the whole mission to a
// slot, and ReadSaveGame of that slot, which ends the mission and starts
// it again in restore mode.  Goal: each at most 10 ms.
#include "bench/demo_mission.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_save.h"
#include "platform/settings.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kBenchSlot = 9;

bool StartMission7(benchmark::State& state) {
    if (!PrepareDemoMissionArchive()) {
        state.SkipWithError("no demo archive");
        return false;
    }
    FirstMission = 1;
    OpenMission(7, 0);
    StartMission(0);
    FirstMission = 0;
    return true;
}

void BM_SaveMission7(benchmark::State& state) {
    if (!StartMission7(state)) return;
    for (auto _ : state)
        if (WriteSaveGame(kBenchSlot, "Mission 7 in play") != 1) {
            state.SkipWithError("the save was not written");
            break;
        }
    EndMission();
}
BENCHMARK(BM_SaveMission7)->Unit(benchmark::kMillisecond);

void BM_LoadMission7(benchmark::State& state) {
    if (!StartMission7(state)) return;
    if (WriteSaveGame(kBenchSlot, "Mission 7 in play") != 1) {
        state.SkipWithError("the save was not written");
        EndMission();
        return;
    }
    for (auto _ : state)
        if (ReadSaveGame(kBenchSlot) != 1 || MissionNumber != 7) {
            state.SkipWithError("the save was not read");
            break;
        }
    EndMission();
}
BENCHMARK(BM_LoadMission7)->Unit(benchmark::kMillisecond);

}  // namespace
