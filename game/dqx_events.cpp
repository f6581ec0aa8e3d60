// Scripted events and their timers, as far as the game loop and the
// mission life cycle ask.
#include "game/dqx_events.h"

#include "game/characters.h"
#include "platform/step_log.h"

void RunArrivalEvents() {
    LogStep("RunArrivalEvents");
}


void RunRoomEntryEvents() {
    LogStep("RunRoomEntryEvents");
}

void ClearMarkedCharacter() {
    LogStep("ClearMarkedCharacter");
}

void RunEvents(int mode) {
    RecordGameCall("RunEvents", nullptr, mode);
}
