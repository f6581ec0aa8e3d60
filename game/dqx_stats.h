// Mission statistics.
// Stand-ins under their final names: each only logs its call.
#pragma once

#include <cstdint>

// The counts of the mission's statistics the room entries raise.
struct MissionStatsRecord {
    int32_t rooms;   // rooms visited
    int32_t energy;  // energy gained by visiting them
};
extern MissionStatsRecord MissionStats;

// The statistics of the mission started: cleared unless restoring.
void StartMissionStats(int restoring);
// Stops the mission's play clock (its time becomes the elapsed time).
void StopMissionClock();
