// Mission statistics.
#include "game/dqx_stats.h"

#include "platform/step_log.h"

MissionStatsRecord MissionStats{};

void StartMissionStats(int restoring) {
    LogStep("StartMissionStats", restoring);
    if (!restoring) MissionStats = MissionStatsRecord{};
}

void StopMissionClock() {
    LogStep("StopMissionClock");
}

