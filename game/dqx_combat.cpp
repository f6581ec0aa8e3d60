// Combat: shots, hits and the witness effect.
#include "game/dqx_combat.h"

#include "game/gameplay.h"
#include "platform/step_log.h"

uint8_t BarrierFlags = 0;

void UpdateWitnessEffect(CharacterRecord*, CharacterRecord*) {
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
    if (hero) {
        hero->castMode = (hero->controls & kCtlPowerMode) ? 1 : 0;
        hero->spell = uint8_t(PowerTables.selectedSpell);
        hero->weapon = uint8_t(PowerTables.selectedWeapon);
    }
    RecordGameCall("ChooseHeroPower", hero, PowerTables.selectedSpell, PowerTables.selectedWeapon);
}

int32_t ImpactEnemiesInRadius(const Vec3*, int32_t radius, const char*) {
    RecordGameCall("ImpactEnemiesInRadius", nullptr, radius, 0);
    return 0;
}

void StartWeaponEffect(CharacterRecord* hero) {
    RecordGameCall("StartWeaponEffect", hero, 0, 0);
}
