// Drains: the energy wells of the rooms.
#include "game/dqx_drains.h"

#include "game/characters.h"
#include "platform/step_log.h"

void LoadDrains(int mission, int restoring) {
    LogStep("LoadDrains", mission);
    (void)restoring;
}

void CloseDrains() {
    LogStep("CloseDrains");
}

void UpdateDrains() {
    RecordGameCall("UpdateDrains");
}
