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

int32_t QueryObjectTake(CharacterRecord* character, ObjectRecord*) {
    RecordGameCall("QueryObjectTake", character);
    return 1;
}

int32_t QueryObjectUse(CharacterRecord* character, ObjectRecord*) {
    RecordGameCall("QueryObjectUse", character);
    return 0;
}

void QueryObjectTouch(CharacterRecord* character, ObjectRecord*) {
    RecordGameCall("QueryObjectTouch", character);
}

int32_t QueryDoorEvent(CharacterRecord* character, int32_t portal) {
    RecordGameCall("QueryDoorEvent", character, portal);
    return 1;
}

void OpenPortalChain() {
    RecordGameCall("OpenPortalChain");
}

void AdvanceStep() {
    RecordGameCall("AdvanceStep");
}
