// Placeholder bodies of the enemy manager's host functions while they are
// being written: each answers 0 or none and does nothing.
#include "ai/em_host.h"

void EMH_DamagePlayer(CharacterRecord*, int32_t) { }
void EMH_SetTransparency(CharacterRecord*, int32_t) { }
void EMH_KillCharacter(CharacterRecord*) { }
void EMH_CharacterDies(CharacterRecord*) { }
void EMH_ChangeCharacterRoom(CharacterRecord*, int32_t) { }
void EMH_StartEffect(CharacterRecord*, const char*) { }
void EMH_PlaySound(CharacterRecord*, const char*) { }
void EMH_ShootEffect(CharacterRecord*, CharacterRecord*, const char*, const char*, int32_t) { }
int EMH_IsLineFree(const float*, const float*) { return 0; }
