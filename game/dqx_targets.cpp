// The characters' per-frame pass: no character moves yet.
#include "game/dqx_targets.h"

#include "game/characters.h"

void UpdateCharacters() {
    RecordGameCall("UpdateCharacters");
}

void UpdateCharacterVisibility() {
    RecordGameCall("UpdateCharacterVisibility");
}
