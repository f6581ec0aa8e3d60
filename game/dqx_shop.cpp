// The shop page.
#include "game/dqx_shop.h"

#include "game/characters.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_settings.h"

void ShopPage() {
    RecordGameCall("ShopPage");
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[170], 1);
}
