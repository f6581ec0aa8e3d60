// Combat: shots, hits and the witness effect.
#include "game/dqx_combat.h"

#include "platform/step_log.h"

void UpdateWitnessEffect() {
    LogStep("UpdateWitnessEffect");
}

void ApplyPowerEffect(CharacterRecord* character) {
    RecordGameCall("ApplyPowerEffect", character, character ? character->pendingPower : 0, 0);
    if (character) character->pendingPower = 0;
}

void FireCharacterWeapon(CharacterRecord* character, int32_t kind, uint32_t tick) {
    RecordGameCall("FireCharacterWeapon", character, kind, int32_t(tick));
}

void ChooseHeroPower(CharacterRecord* hero) {
    RecordGameCall("ChooseHeroPower", hero, 0, 0);
}

void StartWeaponEffect(CharacterRecord* hero) {
    RecordGameCall("StartWeaponEffect", hero, 0, 0);
}
