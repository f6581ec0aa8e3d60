// The hits of the hero's weapons on enemies and their life points.
#include "ai/em_impact.h"

#include "ai/em_core.h"
#include "ai/em_enemy.h"
#include "ai/managers.h"
#include "platform/step_log.h"

#include <cstdio>

std::vector<ImpactCall> g_ImpactCalls;

int EM_ImpactEnemy(void* character, const char* weaponName) {
    EmCall t("EM_ImpactEnemy");
    if (g_ImpactCalls.size() >= 1024) g_ImpactCalls.erase(g_ImpactCalls.begin(), g_ImpactCalls.begin() + 512);
    g_ImpactCalls.push_back({character, weaponName ? weaponName : ""});
    EmEnemy* enemy = EM_FindEnemyDatas(static_cast<CharacterRecord*>(character));
    if (!enemy) return -1;
    if (enemy->dead) return -2;
    int32_t damage = EM_GetHitPoints(&enemy->script, weaponName);
    char step[96];
    std::snprintf(step, sizeof step, "EM_ImpactEnemy %.40s %d", weaponName ? weaponName : "", damage);
    LogStep(step);
    if (damage == 0) return 0;
    // Life is a 16-bit count: a heal (negative damage) stops at its top.
    int32_t life = int32_t(enemy->script.characteristics.life) - damage;
    if (life <= 0) {
        enemy->dead = 1;
        enemy->impact = 0;
        enemy->script.characteristics.life = 0;
    } else {
        enemy->impact = 1;
        enemy->script.characteristics.life = int16_t(life > INT16_MAX ? INT16_MAX : life);
    }
    return damage;
}

int32_t EM_GetLifePoints(void* character) {
    EmCall t("EM_GetLifePoints");
    const EmEnemy* enemy = EM_FindEnemyDatas(static_cast<CharacterRecord*>(character));
    return enemy ? enemy->script.characteristics.life : -1;
}

