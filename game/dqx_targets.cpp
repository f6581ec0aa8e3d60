// The characters' per-frame pass: every set-up character of the current
// room takes its step; no targets, separation or visibility yet.
#include "game/dqx_targets.h"

#include "game/characters.h"
#include "game/mission_records.h"

void UpdateCharacters() {
    RecordGameCall("UpdateCharacters");
    if (!CharacterTable || !MissionPtr) return;
    int32_t count = MissionPtr->characterDefCount < kCharacterSlots ? MissionPtr->characterDefCount : kCharacterSlots;
    for (int32_t i = 0; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (c.setUp != kNotSetUp && c.model > 0 && c.def && c.def->room == CurrentRoomIndex) UpdateCharacter(&c);
    }
}

void UpdateCharacterVisibility() {
    RecordGameCall("UpdateCharacterVisibility");
}
