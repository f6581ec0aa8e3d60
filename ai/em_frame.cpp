// Placeholder bodies until this module is written; each does nothing.
#include "ai/em_frame.h"

void EM_ProcessBeforeAllEnemies() {}
void EM_ProcessAfterAllEnemies() {}
void EM_ProcessEntryInRoom() {}
void EM_ArmAppearScene(CharacterRecord*, EmEnemy*) {}
void EM_ArmAppearSceneFxs(CharacterRecord*, EmEnemy*) {}
void EM_ProcessContactHits() {}
void EM_PrepareCircleBehaviour() {}
void EM_PrepareFrontBehaviour() {}
void EM_PrepareFrontBackBehaviour() {}
void EM_ProcessTendrils() {}
void EM_ProcessTendrilsRoom(EmRoom*) {}
void EM_ChangeTendrilsForRoom(EmRoom*, int32_t) {}
void EM_ChangeTendrilsForRoomAlways(EmRoom*, int32_t) {}
int EM_IsThereAnAgressiveSpindrel(int32_t) { return 0; }
int EM_HasRoomAgressiveSpindrel(EmRoom*, int32_t) { return 0; }
int EM_IsRoomNearAgressiveSpindrel(EmRoom*, int32_t) { return 0; }
int EM_IsRoomFarAgressiveSpindrel(EmRoom*, int32_t) { return 0; }
