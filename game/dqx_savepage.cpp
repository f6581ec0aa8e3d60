// The save and load pages and the missions' names for save names.
#include "game/dqx_savepage.h"

#include "game/characters.h"
#include "game/dqx_menu.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "platform/settings.h"

int32_t LastSaveSlot = 0;

const char* GetMissionName() {
    // The last entry of the list starts mission 21; the numbered missions
    // are found in its table of missions.
    for (int i = 0; i + 1 < kMissionListEntries; ++i)
        if (kMissionListMissions[i] == MissionNumber) return MenuTexts[kMissionListFirstText + i];
    return kMissionListLastEntry;
}

void LoadGamePage() {
    RecordGameCall("LoadGamePage");
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[168], 1);
}

void SaveGamePage(int deleteMode) {
    RecordGameCall("SaveGamePage", nullptr, deleteMode);
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[169], 1);
}
