// Mission statistics and the play clock.
#include "game/dqx_stats.h"

#include "game/characters.h"
#include "platform/step_log.h"
#include "platform/timer.h"

MissionStatsRecord& MissionStats = GameState.stats;

namespace {

// The words come from save games as they are: sums and differences wrap
// rather than overflow.
int32_t Wrap(int64_t v) {
    return int32_t(uint32_t(uint64_t(v)));
}

}  // namespace

void StartMissionStats(int restoring) {
    LogStep("StartMissionStats", restoring);
    if (!restoring) MissionStats = MissionStatsRecord{};
    MissionStats.playClock = Wrap(int64_t(MissionStats.playClock) + GetTimeSeconds());
}

int32_t ComputeMissionStats() {
    MissionStatsRecord& s = MissionStats;
    s.killed = Wrap(int64_t(s.ghostsKilled) + s.friendsKilled + s.tendrilsKilled);
    s.energyLost = Wrap(int64_t(s.energyLostShots) + s.energyLostSpells + s.energySpent);
    s.energyGained = Wrap(int64_t(s.energyFromRooms) + s.energyFromKills);
    s.health = Wrap(int64_t(s.healthHealed) + s.healthGained - s.healthLost);
    return Wrap(int64_t(GetTimeSeconds()) - s.playClock);
}

void StopMissionClock() {
    RecordGameCall("StopMissionClock");
    LogStep("StopMissionClock");
    MissionStats.playClock = ComputeMissionStats();
}
