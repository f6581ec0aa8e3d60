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

int32_t (*ObjectTakeAnswer)(const ObjectRecord* object) = nullptr;
int32_t ObjectUseAnswer = 0;

int32_t QueryObjectTake(CharacterRecord* character, ObjectRecord* object) {
    RecordGameCall("QueryObjectTake", character, object ? object->index : -1);
    return ObjectTakeAnswer ? ObjectTakeAnswer(object) : 1;
}

int32_t QueryObjectUse(CharacterRecord* character, ObjectRecord* object) {
    RecordGameCall("QueryObjectUse", character, object ? object->index : -1);
    return ObjectUseAnswer;
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
