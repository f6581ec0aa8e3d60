// The in-game overlay's notices.
#include "game/dqx_hud.h"

#include "platform/step_log.h"

void ShowEnergyChange(int amount) {
    LogStep("ShowEnergyChange", amount);
}
