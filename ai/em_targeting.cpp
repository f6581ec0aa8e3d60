// Where an enemy's target stands.
#include "ai/em_targeting.h"

#include "ai/em_core.h"
#include "ai/em_host.h"

void EM_GetTargetPosition(const EmEnemy* enemy, float* out) {
    EmCall t("EM_GetTargetPosition");
    if (enemy->script.characteristics.playerHunter) EMH_GetPlayerPosition(enemy->target, out);
    else EMH_GetEnemyPosition(enemy->target, out);
}
