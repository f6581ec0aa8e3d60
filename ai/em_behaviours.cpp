// Placeholder bodies until this module is written; each does nothing.
#include "ai/em_behaviours.h"

void EM_ProcessMainBehaviour(CharacterRecord*, EmEnemy*, int32_t) {}
void EM_ProcessMBAttacker(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBCoward(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBAttackerCoward(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBViscious(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBSpeedy(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBLier(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBFollower(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBTeleporter(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBMonkey(CharacterRecord*, EmEnemy*) {}
void EM_ProcessMBSniper(CharacterRecord*, EmEnemy*) {}
