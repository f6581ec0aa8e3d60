// The inventory and options pages.
#include "game/dqx_options.h"

#include "game/characters.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_settings.h"

void InventoryPage(CharacterRecord* hero) {
    RecordGameCall("InventoryPage", hero);
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[171], 0);
}

void OptionsPage() {
    RecordGameCall("OptionsPage");
}
