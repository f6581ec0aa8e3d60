// Weapons: none is in use yet.
#include "game/dqx_weapons.h"

#include "game/characters.h"

void UpdateWeapons() {
    RecordGameCall("UpdateWeapons");
}
