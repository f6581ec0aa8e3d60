// Summoned allies.
#include "game/dqx_allies.h"

#include "game/characters.h"
#include "platform/step_log.h"

void CreateSummonedAllies() {
    LogStep("CreateSummonedAllies");
}

void ClearAllyFlags() {
    LogStep("ClearAllyFlags");
}

void DismissAllAllies() {
    LogStep("DismissAllAllies");
}

void UpdateAllies() {
    RecordGameCall("UpdateAllies");
}

int UpdateSummonedAlly(CharacterRecord*) {
    return 0;
}

void SummonAlly(CharacterRecord* summoner, int ally, int32_t seconds, const Vec3*) {
    RecordGameCall("SummonAlly", summoner, ally, seconds);
}
