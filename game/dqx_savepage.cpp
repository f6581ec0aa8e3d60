// The save and load pages' mission names.
#include "game/dqx_savepage.h"

#include "game/player_settings.h"
#include "platform/settings.h"

namespace {

// The mission list of the menu shows menu texts 7 to 16 (entries 1 to 10),
// then this one, which starts mission 21.
const char* const kLastEntry = "Vantilers";
// The entry of missions 1 to 10 on the list.
constexpr int kEntryOfMission[10] = {4, 6, 3, 5, 2, 1, 9, 8, 7, 10};

}  // namespace

const char* GetMissionName() {
    if (MissionNumber < 1 || MissionNumber > 10) return kLastEntry;
    return MenuTexts[6 + kEntryOfMission[MissionNumber - 1]];
}
