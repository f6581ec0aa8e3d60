// Placeholder bodies until this module is written; each does nothing.
#include "ai/em_strategy.h"

int EM_ProcessEnemy(int32_t) { return 0; }
int EM_ProcessReappear(CharacterRecord*, EmEnemy*) { return 0; }
int EM_ProcessAppearScene(CharacterRecord*, EmEnemy*) { return 0; }
void EM_ProcessStrategy(CharacterRecord*, EmEnemy*) {}
void EM_ProcessGroupBehaviour(CharacterRecord*, EmEnemy*, int32_t) {}
void EM_ProcessGBCircle(CharacterRecord*, EmEnemy*) {}
void EM_ProcessGBFront(CharacterRecord*, EmEnemy*) {}
void EM_ProcessGBFrontBack(CharacterRecord*, EmEnemy*) {}
void EM_ProcessRunAway(CharacterRecord*, EmEnemy*) {}
void EM_ProcessDistance(CharacterRecord*, EmEnemy*) {}
void EM_ProcessDeath(CharacterRecord*, EmEnemy*) {}
void EM_ProcessImpact(CharacterRecord*, EmEnemy*) {}
void EM_ProcessAppearDisappear(CharacterRecord*, EmEnemy*) {}
void EM_ProcessForceShoot(CharacterRecord*, EmEnemy*) {}
int EM_IsForceShootTime(const CharacterRecord*, const EmEnemy*) { return 0; }
void EM_SetTarget(CharacterRecord*, EmEnemy*) {}
void EM_SetSpindrelTarget(CharacterRecord*, EmEnemy*) {}
int EM_TestEnemyState(const CharacterRecord*) { return 0; }
