// Tendrils: none grows yet.
#include "game/dqx_tendrils.h"

#include "game/characters.h"

void UpdateTendrils(int mode) {
    RecordGameCall("UpdateTendrils", nullptr, mode);
}
