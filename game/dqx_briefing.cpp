// The credits page: its state is kept, nothing is drawn yet.
#include "game/dqx_briefing.h"

#include "game/characters.h"

int32_t CreditsState = 0;
int32_t CreditsX = 0, CreditsY = 0;

void CreditsPage() {
    RecordGameCall("CreditsPage", nullptr, CreditsState);
}
