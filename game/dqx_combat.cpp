// Combat: shots, hits and the witness effect.
#include "game/dqx_combat.h"

#include "platform/step_log.h"

void UpdateWitnessEffect() {
    LogStep("UpdateWitnessEffect");
}
