// Mission statistics.
#include "game/dqx_stats.h"

#include "game/characters.h"
#include "platform/step_log.h"

MissionStatsRecord MissionStats{};

void StartMissionStats(int restoring) {
    LogStep("StartMissionStats", restoring);
    if (!restoring) MissionStats = MissionStatsRecord{};
}

void StopMissionClock() {
    RecordGameCall("StopMissionClock");
    LogStep("StopMissionClock");
}
