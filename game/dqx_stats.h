// Mission statistics and the play clock.  The record lies in the game-state
// block (GameState.stats), so it travels with the save games; the code of
// the events it counts raises its words.
#pragma once

#include "game/game_state.h"

#include <cstdint>

// The statistics of the game: GameState.stats.
extern MissionStatsRecord& MissionStats;

// At a mission's open: every word cleared unless restoring, then the
// present time in seconds added to the clock word, which turns the elapsed
// seconds it holds into the time play would have started.
void StartMissionStats(int restoring);
// Fills the four totals and answers the play time in seconds.
int32_t ComputeMissionStats();
// At a mission's end: the clock word becomes the elapsed play seconds.
void StopMissionClock();
