// Temporary: the few mission-loading and player-settings symbols the game
// loop calls, until the modules that own them are merged in.  Each does
// the least its caller needs.
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/player_settings.h"

uint8_t FirstMission = 0;
char MenuTexts[kMenuTextSlots][kMenuTextBytes] = {};
KeyBinding PlayerKeyBindings[kKeyBindings] = {};

void RefreshHeroPoint() {
    RecordGameCall("RefreshHeroPoint");
}

void ChangeRoom(int room) {
    RecordGameCall("ChangeRoom", nullptr, room);
    CurrentRoomIndex = uint8_t(room);
}

void GoToMission(int n, int restoring) {
    RecordGameCall("GoToMission", nullptr, n, restoring);
    FirstMission = 0;
}

void LoadMenuGraphics() {
    RecordGameCall("LoadMenuGraphics");
}
