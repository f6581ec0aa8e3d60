// The mission's statistics.
#pragma once

// Stops the mission's play clock (its time becomes the elapsed time).
void StopMissionClock();
