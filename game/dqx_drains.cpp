// Drains: none is placed yet.
#include "game/dqx_drains.h"

#include "game/characters.h"

void UpdateDrains() {
    RecordGameCall("UpdateDrains");
}
