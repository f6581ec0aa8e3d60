// Scripted events, as far as the game loop and the mission life cycle ask
// (their countdowns and condition tests are dqx_lookup's).
// Stand-ins under their final names: each only logs its call.
#pragma once

#include "game/characters.h"
#include "game/dqx_lookup.h"

#include <cstdint>

// The events of a room being left.
void RunArrivalEvents();
// The events of a room just entered.
void RunRoomEntryEvents();
// The mission's marked character forgotten.
void ClearMarkedCharacter();
// One pass over the mission's events.
void RunEvents(int mode);

// The events' say on an object or a door, asked by the objects and doors.
// QueryObjectTake: 1 or more may be taken, 0 refuses quietly, below 0
// refuses with a status text.
int32_t QueryObjectTake(CharacterRecord* character, ObjectRecord* object);
// Whether the held object is used on what the character stands at (1) or
// not (0).
int32_t QueryObjectUse(CharacterRecord* character, ObjectRecord* object);
// Until the events are read, the answers of the two queries above: the take
// answer per object (none: 1, every object may be taken) and the use answer.
extern int32_t (*ObjectTakeAnswer)(const ObjectRecord* object);
extern int32_t ObjectUseAnswer;
// An object put down or given touches the events' flags.
void QueryObjectTouch(CharacterRecord* character, ObjectRecord* object);
// 1 when the door of the 0-based portal may open, 0 when it stays locked.
int32_t QueryDoorEvent(CharacterRecord* character, int32_t portal);
// The events asked about a use (a weapon row, or 128 + a spell row) by
// the character; 0 when no event took it.
int32_t QueryUseEvent(CharacterRecord* character, int32_t use);
// The events' test of a character whose life or animation changed.
void CheckCharacterEvents(CharacterRecord* character);
// The portal chain of mission 3's room 2 opened as its doors allow.
void OpenPortalChain();
// The mission's progress step counted up.
void AdvanceStep();
