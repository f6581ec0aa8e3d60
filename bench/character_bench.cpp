// The per-frame character pass (UpdateCharacters) of mission 7 of the demo
// data, opened and started as the run body begins a mission, with every
// character of the mission standing in the current room, facing the hero
// and walking forward so that each one animates every frame.  Goal: at most
// 50 us a pass.
#include "bench/demo_mission.h"
#include "engine3d/dqx_3d.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_targets.h"
#include "game/game_state.h"
#include "platform/settings.h"

#include <benchmark/benchmark.h>

namespace {

void BM_CharacterPassOfMission7(benchmark::State& state) {
    if (!PrepareDemoMissionArchive()) {
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
        c.controls = kCtlForward;
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
