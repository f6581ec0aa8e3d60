// Scripted events and their timers, as far as the game loop and the
// mission life cycle ask.
#include "game/dqx_events.h"

#include "game/characters.h"
#include "game/game_state.h"
#include "game/object_slots.h"
#include "game/script_event.h"
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

int32_t UseEventAnswer = 0;

int32_t QueryUseEvent(CharacterRecord* character, int32_t use) {
    RecordGameCall("QueryUseEvent", character, use);
    return UseEventAnswer;
}

int32_t MissionEventHook(int32_t value) {
    RecordGameCall("MissionEventHook", nullptr, value);
    return value;
}

namespace {

// Fields of an event's image that the door query reads.
constexpr uint8_t kLockedDoorKind = 15;

bool Carries(const CharacterRecord* character, uint8_t object) {
    if (!character || object == 0) return false;
    for (int i = 0; i < character->inventoryCount && i < kInventorySlots; ++i) {
        const ObjectSlotEntry* slot = character->inventory[i];
        if (slot && slot->object && slot->object->index == object - 1) return true;
    }
    return false;
}

}  // namespace

// Only the lock of kind 15 so far: an active event naming the door refuses
// it unless its flag is set or the character carries its object.
int32_t QueryDoorEvent(CharacterRecord* character, int32_t portal) {
    RecordGameCall("QueryDoorEvent", character, portal);
    for (int32_t i = 0; EventTable && i < EventCount; ++i) {
        const ScriptEvent& e = EventTable[i];
        if (e.state != kEventActive || e.flagKind != kLockedDoorKind) continue;
        if (int32_t(e.queryDoor) != portal + 1) continue;
        if (!GameState.eventFlags[e.queryFlag] && !Carries(character, e.queryObject)) return 0;
    }
    return 1;
}

void OpenPortalChain() {
    RecordGameCall("OpenPortalChain");
}

void AdvanceStep() {
    RecordGameCall("AdvanceStep");
}

void CheckCharacterEvents(CharacterRecord* character) {
    RecordGameCall("CheckCharacterEvents", character);
}
