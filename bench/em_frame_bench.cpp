// One frame of the enemy manager (EM_UpdateStrategyMission) with ten
// guards of mission 22's strategy script (Attackers that hunt the hero)
// standing around the hero in the hall, against the real host, the demo's
// character models and the hall's collision; what the host hands to the
// game's logic (animation requests, shots, moves) goes nowhere, so only
// the manager's own work and its host calls are measured.  Argument 0: the
// guards' own behaviour; 1: a Circle formation around the hero.
// Goal: at most 30 us a frame.
#include "ai/em_core.h"
#include "ai/em_host.h"
#include "ai/managers.h"
#include "bench/demo_mission.h"
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "game/character_records.h"
#include "game/mission_records.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kGuards = 10;

struct SavedWorld {
    CharacterRecord* table = CharacterTable;
    CharacterAnimState* anims = CharacterAnimTable;
    MissionRecord* mission = MissionPtr;
    uint8_t room = CurrentRoomIndex;
    EnemyManagerHost host = EmHost;
    void Restore() const {
        CharacterTable = table;
        CharacterAnimTable = anims;
        MissionPtr = mission;
        CurrentRoomIndex = room;
        EmHost = host;
    }
};

ObjHandle PlaceModel(const char* file, Vec3 at) {
    ObjHandle h = Load_Object(file);
    if (h <= 0) return h;
    Attach_Obj(h, 0);
    Set_ObjPos(h, &at);
    return h;
}

void BM_AiFrameTenEnemies(benchmark::State& state) {
    if (!PrepareDemoMissionArchive()) {
        state.SkipWithError("no demo archive");
        return;
    }
    const SavedWorld saved;
    std::vector<CharacterRecord> records(kCharacterSlots);
    std::vector<CharacterDef> defs(kCharacterSlots);
    std::vector<CharacterAnimState> anims(kCharacterSlots);
    std::vector<RoomRecord> rooms(2);
    MissionRecord mission{};
    mission.characterDefCount = 1 + kGuards;
    mission.characterDefs = defs.data();
    mission.roomCount = int32_t(rooms.size());
    mission.rooms = rooms.data();
    CharacterTable = records.data();
    CharacterAnimTable = anims.data();
    MissionPtr = &mission;
    CurrentRoomIndex = 0;
    EmHost = EnemyManagerHost{};
    EmHost.SetCharacterAnim = [](CharacterRecord*, int32_t) { return 1; };

    Load_Collision(".\\ms22\\room1c.3dc");
    bool placed = true;
    for (int i = 0; i <= kGuards; ++i) {
        CharacterRecord& c = records[size_t(i)];
        CharacterDef& d = defs[size_t(i)];
        c.def = &d;
        d.life = 100;
        d.maxLife = 100;
        d.active = 1;
        d.lockOn = 1;
        c.present = 1;
        if (i == 0) {
            std::snprintf(d.name, sizeof d.name, "Hero");
            c.position = {0, 600, 0};
            c.model = PlaceModel(".\\all\\hero.3dc", c.position);
        } else {
            // On a ring 1200 to 1650 units around the hero, in its room.
            std::snprintf(d.name, sizeof d.name, "guard");
            c.kind = 1;
            const double a = 2.0 * M_PI * i / kGuards;
            const double r = 1200.0 + 50.0 * i;
            c.position = {int32_t(r * std::cos(a)), 600, int32_t(r * std::sin(a))};
            c.model = PlaceModel(".\\all\\guard.3dc", c.position);
        }
        placed = placed && c.model > 0;
    }
    Update_SubtreeTransforms(0);
    EM_Open();
    if (!placed || EM_OpenMission(22) != 1) {
        state.SkipWithError("the guards or the strategy script could not be set up");
    } else {
        for (int i = 0; i < EmEnemyTable.count; ++i)
            EmEnemyTable.items[i].script.characteristics.groupBehaviour = int32_t(state.range(0));
        int answer = 0;
        for (auto _ : state) answer = EM_UpdateStrategyMission();
        if (answer != 1) state.SkipWithError("the frame did not run");
        state.counters["enemies"] = EmEnemyTable.count;
    }
    EM_CloseMission();
    EM_Close();
    for (CharacterRecord& c : records)
        if (c.model > 0) Free_Object(c.model);
    Free_Collision();
    saved.Restore();
}
BENCHMARK(BM_AiFrameTenEnemies)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
