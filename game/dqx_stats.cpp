// Statistics: no play clock runs yet.
#include "game/dqx_stats.h"

#include "game/characters.h"

void StopMissionClock() {
    RecordGameCall("StopMissionClock");
}
