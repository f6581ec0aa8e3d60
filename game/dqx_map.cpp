// The map screen's pictures and page.
#include "game/dqx_map.h"

#include "game/characters.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "platform/step_log.h"

Picture* MapPicture = nullptr;

void LoadMapPictures() {
    LogStep("LoadMapPictures");
}

void FreeMapPictures() {
    LogStep("FreeMapPictures");
}

void RefreshMapPictures() {
    LogStep("RefreshMapPictures");
}

void MapPage() {
    RecordGameCall("MapPage");
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[175], 1);
}
