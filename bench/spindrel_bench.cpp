// The spindrels' road search on a mission of 12 rooms, each linked to every
// other (about ten million simple roads between two rooms), every room
// holding one tendril of the side.  Goal: at most 1 ms a search.
//   direct: the goal linked to the start (the road of two rooms);
//   detour: the goal reached only through the last of the other rooms;
//   no road: the goal holds no tendril;
//   plain search: the bounded depth-first enumeration alone, no road to
//   find, until its visits run out.
#include "ai/em_records.h"
#include "ai/em_spindrels.h"
#include "game/mission_records.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int32_t kRooms = 12;

struct LinkedMission {
    std::vector<RoomRecord> rooms;
    std::vector<std::vector<PortalRecord>> portals;
    std::vector<EmRoom> records;
    MissionRecord mission{};
    EmEnemy enemy{};
    EmSpindrel spindrel{};
    MissionRecord* savedMission = nullptr;
    EmTable<EmRoom> savedRooms{};

    // `detour`: the last room is linked only to and from the one before it.
    explicit LinkedMission(bool detour) : rooms(kRooms), portals(kRooms), records(kRooms) {
        for (int32_t i = 0; i < kRooms; ++i) {
            for (int32_t j = 0; j < kRooms; ++j) {
                if (i == j) continue;
                const bool last = i == kRooms - 1 || j == kRooms - 1;
                if (detour && last && i + j != 2 * kRooms - 3) continue;
                PortalRecord p{};
                p.targetRoom = j;
                portals[size_t(i)].push_back(p);
            }
            rooms[size_t(i)].portals = portals[size_t(i)].data();
            rooms[size_t(i)].portalCount = rooms[size_t(i)].portalCapacity = int32_t(portals[size_t(i)].size());
            records[size_t(i)].index = i;
            records[size_t(i)].tendrils[0] = records[size_t(i)].tendrils[1] = 111;
        }
        mission.rooms = rooms.data();
        mission.roomCount = kRooms;
        savedMission = MissionPtr;
        savedRooms = EmRoomTable;
        MissionPtr = &mission;
        EmRoomTable = {kRooms, records.data()};
        spindrel.enemy = &enemy;
    }
    ~LinkedMission() {
        MissionPtr = savedMission;
        EmRoomTable = savedRooms;
    }
};

void BM_RoadSearch(benchmark::State& state, bool detour, bool reachable, int32_t expected) {
    LinkedMission m(detour);
    if (!reachable) m.records[kRooms - 1].tendrils[0] = 0;
    for (auto _ : state) {
        EM_FindRoadFrom(&m.spindrel, 0, kRooms - 1);
        benchmark::DoNotOptimize(m.spindrel.nextRoom);
    }
    if (m.spindrel.nextRoom != expected) state.SkipWithError("unexpected next room");
    state.counters["visits"] = EmRoadVisits;
}
BENCHMARK_CAPTURE(BM_RoadSearch, direct, false, true, kRooms - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RoadSearch, detour, true, true, kRooms - 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RoadSearch, no_road, false, false, -1)->Unit(benchmark::kMicrosecond);

void BM_PlainRoadSearchToItsVisitLimit(benchmark::State& state) {
    LinkedMission m(false);
    m.records[kRooms - 1].tendrils[0] = 0;
    for (auto _ : state) {
        EM_PrepareSearch();
        EM_SearchRoadFromTo(&m.spindrel, 0, kRooms - 1, 0);
        benchmark::DoNotOptimize(EmRoadSolutionCount);
    }
    state.counters["visits"] = EmRoadVisits;
}
BENCHMARK(BM_PlainRoadSearchToItsVisitLimit)->Unit(benchmark::kMicrosecond);

}  // namespace
