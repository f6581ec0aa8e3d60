// Scripted events: the mission's table of events walked once a frame
// (RunEvents), the walks that the objects, doors, room changes, uses and
// the enemy manager ask the same table through, the progress step, the room
// an event moves a character to, and the few rules that belong to one
// mission.  The condition tests and the countdowns are dqx_lookup's; the
// phrases and messages dqx_messages'.
//
// Timers count ticks of 1/70 s and run down by the frame step
// (GameTimer.DeltaUnits).  Event, object, portal and room numbers in an
// event are 1-based where they name a record (0: none), flag numbers index
// GameState.eventFlags (flag 0 is never set or cleared by a flag kind).
#pragma once

#include "game/characters.h"
#include "game/dqx_lookup.h"

#include <cstdint>

// One pass over the mission's events; `force` is handed to SayPhrase.
// Nothing runs while the hero dies.
void RunEvents(int force);

// Whether the event is live and its step, room and character-state tests
// hold (false for a finished event or one whose character has no
// definition).
bool EventConditionsHold(const ScriptEvent* event);

using EventCallback = void (*)(ScriptEvent* event, void* data);
// Calls back each event, in table order, whose conditions and flag test
// hold.  After such an event with a link byte L the walk goes on at event
// L (0-based) when L lies ahead of it and ends otherwise, so a walk never
// meets an event twice.
void ForEachActiveEvent(EventCallback callback, void* data);
// Calls back each unfinished event whose step test and flag test hold (no
// room or character test, no links).
void ForEachEvent(EventCallback callback, void* data);

// The mission's progress step counted up: every character's state and
// hold bytes cleared first; from step 8 (outside mission 4) the hero is
// asked for animation 17; the hero's lock byte set by an event cleared.
void AdvanceStep();

// The room an event's room code names: 1..127 and 129..254 the room code -
// 1, 128 the current room, 255 a room drawn among those never entered
// (room flags 0) other than the character's.  kNoEventRoom when the code
// names no room of the mission, or when no room qualifies for 255.
constexpr int32_t kNoEventRoom = -1;
int32_t PickEventRoom(int32_t code, int32_t characterRoom);

// The actions of an event whose repeat timer ran out.
void EventTimerActions(ScriptEvent* event);
// The event's special action (byte 72): 1 camera lifted, 2 every other
// character dies and the step advances, 3 the hero's animation 17, 8 the
// game finished, 20 an energy drain of 5 at most once in 15000 ms, 66 the
// quit prompt.
void EventSpecialAction(ScriptEvent* event);
// A list file of cinematic names: the first two played in turn from the
// mission's cine folder.  1 when the list opened, else 0.
int PlayCinematicList(const char* file);

// Opens the doors of mission 3's chained portals as their neighbours
// allow, and its last door (setting event flag 47) once the chain stands.
void OpenPortalChain();
// The mission's own reaction to a value; answers the value.
int32_t MissionEventHook(int32_t value);
// Mission 3: for 256 its "menu2" object is shown and made idle.
int32_t MissionThreeHook(int32_t value);

// --- the walks the rest of the game asks ------------------------------------

// Whether the object may be taken: 1 or more yes, 0 refused quietly,
// below 0 refused with a status text (an event waiting for the object is
// armed by the refusal).
int32_t QueryObjectTake(CharacterRecord* character, ObjectRecord* object);
// Whether the held object is used on what the character stands at: 1 when
// an event took the use (a flag or the step moved), else 0.
int32_t QueryObjectUse(CharacterRecord* character, ObjectRecord* object);
// An object put down or given touches the events of both walks above.
void QueryObjectTouch(CharacterRecord* character, ObjectRecord* object);
// The events of a room just entered (phrases, step, flags), then the
// characters that events move on each entry.
void RunRoomEntryEvents();
// 1 when the door of the 0-based portal may open, 0 when an event keeps it
// shut.
int32_t QueryDoorEvent(CharacterRecord* character, int32_t portal);
// The events of the hero leaving a room.
void RunArrivalEvents();
// The events asked about a use (a weapon row, or 128 + a spell row): 1
// when an event took it, else 0.
int32_t QueryUseEvent(CharacterRecord* character, int32_t use);
// The events of a character whose life or animation changed.
void CheckCharacterEvents(CharacterRecord* character);

// The mission's marked character forgotten: the hero's target.
void ClearMarkedCharacter();

// The millisecond tick of the last energy drain of special action 20
// (the drain runs when none was made yet or 15000 ms have passed).
extern uint32_t EventDrainTick;
extern uint8_t EventDrainDone;
