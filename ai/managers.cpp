// The enemy manager's life: its open and close for the run and for each
// mission, and the room changes.  The camera manager lives in
// ai/cm_manager.cpp.
#include "ai/managers.h"

#include "ai/em_core.h"
#include "ai/em_host.h"
#include "ai/em_script.h"
#include "platform/errors.h"
#include "platform/step_log.h"

#include <cmath>

CameraManagerHost CmHost = {};

namespace {

// The wait is 2 x distance / 165 frames: under the root, the squared
// distance times 1 / 165^2.
constexpr double kWalkTimeFactor = 0.000036730948;

// The spindrel's enemy shown at its visible fade with no fade running.
void ShowSettled(EmSpindrel* s) {
    EmEnemy* e = s->enemy;
    e->fade = e->script.characteristics.visibleFade;
    EMH_SetTransparency(s->character, 100 - e->fade);
    e->fading = 0;
    e->hidden = 0;
}

// A spindrel on its way out of its room toward the hero's waits there for
// as long as its walk to its stored point would have lasted.
void WaitForWalk(EmSpindrel* s) {
    float position[3];
    EMH_GetEnemyPosition(s->character, position);
    float d2 = EMH_DistanceXZSquared(position, s->point);
    double frames = std::trunc(2.0 * std::sqrt(double(d2) * kWalkTimeFactor));
    // Far points wait long but not past half the counter's range.
    s->waitUntil = EmFrameCount + uint32_t(frames > 2.0e9 ? 2.0e9 : frames > 0.0 ? frames : 0.0);
    s->waiting = 1;
    s->state = 0;
}

// Any other spindrel bound for the hero's room arrives at once, at the
// room's view position at its own height.
void ArriveNow(EmSpindrel* s) {
    float position[3], view[3];
    EMH_GetEnemyPosition(s->character, position);
    EMH_GetViewPosition(view);
    position[0] = view[0];
    position[2] = view[2];
    EMH_MoveCharacter(s->character, position);
    s->room = s->nextRoom;
    EMH_ChangeCharacterRoom(s->character, s->room);
    s->nextRoom = -1;
    s->state = 0;
    s->waiting = 0;
}

}  // namespace

void EM_SetDebug(uint32_t flags) {
    EmCall t("EM_SetDebug");
    EmDebugLog = int32_t(flags & 1);
    EmDebugTrace = int32_t(flags & 2);
}

int EM_Open() {
    TracedCall t(EM_Tracing, "EM_Open", true);
    DebugLog("%s", kEmBanner);
    EmOpenFlag = 1;
    EmFrameCount = 0;
    return 1;
}

int EM_Close() {
    TracedCall t(EM_Tracing, "EM_Close", true);
    if (!EmOpenFlag) return 0;
    EmOpenFlag = 0;
    EmFrameCount = 0;
    return 1;
}

int EM_OpenMission(int mission) {
    EmCall t("EM_OpenMission");
    LogStep("EM_OpenMission", mission);
    if (!EmOpenFlag) return 0;
    EmFrameCount = 0;
    EmFrameFactor = 1.0f;
    EM_FreeMissionTables();
    if (!EM_LoadStrategyScript(mission)) {
        // The manager stays closed for the rest of the run; what the failed
        // analysis had read is let go at once.  The load has written why.
        DebugLog("I.A. manager closed: the enemies stay still until the game starts again");
        EmOpenFlag = 0;
        EM_FreeMissionTables();
        return 0;
    }
    if (!EM_CreatePlayerList() || !EM_CreateEnemyList() || !EM_CreateSpindrelList() || !EM_CreateRoomList())
        return 0;
    for (auto& side : EmTendrilKindEnabled)
        for (uint8_t& kind : side) kind = 1;
    return 1;
}

int EM_CloseMission() {
    EmCall t("EM_CloseMission");
    LogStep("EM_CloseMission");
    if (!EmOpenFlag) return 0;
    EM_FreeMissionTables();
    return 1;
}

void EM_PlayerChangeRoom() {
    EmCall t("EM_PlayerChangeRoom", "PlayerChangeRoom");
    LogStep("EM_PlayerChangeRoom");
    EmRoomEntryFlag = 1;
    int32_t room = EMH_GetCurrentRoom();
    // The room's enemies were set up facing their models' own axis: each
    // is shown at the heading the manager holds and turns from (its first
    // frames would otherwise show the model's axis, then a jump).
    for (int32_t i = 0; i < EmEnemyTable.count; ++i) {
        EmEnemy& e = EmEnemyTable.items[i];
        if (e.character && !e.dead && EMH_GetCharacterRoom(e.character) == room)
            EMH_SetDirection(e.character, e.direction);
    }
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i) {
        EmSpindrel* s = &EmSpindrelTable.items[i];
        if (s->nextRoom != room) continue;
        if (s->state >= 10 && s->state <= 13) WaitForWalk(s);
        else ArriveNow(s);
        ShowSettled(s);
    }
}
