// Summoned allies: none can be summoned yet.
#include "game/dqx_allies.h"

#include "game/characters.h"

void UpdateAllies() {
    RecordGameCall("UpdateAllies");
}
