// Translations of the mission's names.
#include "game/dqx_translations.h"

#include "platform/step_log.h"

void LoadTranslations(int mission, int restoring) {
    LogStep("LoadTranslations", mission);
    (void)restoring;
}
