// The credits page and the briefing: their state is kept, nothing is drawn
// yet.
#include "game/dqx_briefing.h"

#include "game/characters.h"
#include "game/game_state.h"

int32_t CreditsState = 0;
int32_t CreditsX = 0, CreditsY = 0;

void CreditsPage() {
    RecordGameCall("CreditsPage", nullptr, CreditsState);
}

uint8_t BriefingHoldFrame = 0;

void BriefingPage() {
    RecordGameCall("BriefingPage", nullptr, BriefingStep);
}
