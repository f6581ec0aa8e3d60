// Mission 22 of the demo data opened and started as the run body begins it
// (OpenMission(22, 0) then StartMission(0)), its files read from a main
// archive built like the demo's game.res: mission.mpl, the hero's 21 power
// animations, the room with its collision and door, the hero and the guard
// with their animations.  The mission is ended between iterations outside
// the timing.  Goal: at most 2500 memcpys of a 640 x 480 x 16 frame (50 ms
// on a core whose frame memcpy takes 20 us).  Also one frame of the game
// world's work outside drawing (UpdateWorld) with the mission open.
#include "bench/bench_ratio.h"
#include "bench/demo_mission.h"
#include "engine3d/dqx_3d.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/game_loop.h"
#include "platform/settings.h"

#include <benchmark/benchmark.h>

namespace {

constexpr double kOpeningGoalMemcpys = 2500.0;

void BM_OpenAndStartMission22(benchmark::State& state) {
    if (!PrepareDemoMissionArchive()) {
        state.SkipWithError("no demo archive");
        return;
    }
    double opening = 0;
    for (auto _ : state) {
        bench::LoopClock clock;
        FirstMission = 1;
        OpenMission(22, 0);
        StartMission(0);
        opening += clock.Seconds();
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
    bench::ReportFrameRatio(state, opening, kOpeningGoalMemcpys);
}
BENCHMARK(BM_OpenAndStartMission22)->Unit(benchmark::kMillisecond);

void BM_WorldFrameOfMission22(benchmark::State& state) {
    if (!PrepareDemoMissionArchive()) {
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
