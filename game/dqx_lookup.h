// Small services of the mission runtime that the scripted events, the debug
// pages and the enemy host functions call: rooms, portals, objects and
// character definitions found by name, the four condition tests of an
// event, the event flag test, the ten event countdowns, the end of a
// mission asked for by an event, and the joining of text lines.
#pragma once

#include "game/script_event.h"

#include <cstdint>

struct CharacterRecord;

// The index of the first record whose name matches ignoring letter case,
// -1 when none (or no mission is open).  Each scan stops at the record
// count.  FindPortal looks among the current room's portals only, and finds
// none while the current room index names no room.
int FindRoom(const char* name);
int FindPortal(const char* name);
int FindObject(const char* name);
int FindCharacterDef(const char* name);

// The condition tests of an event: 1 when the condition holds, else 0.
// The character is the event's; one without a definition is in no room
// and in state 0.
int EventProgressTest(const ScriptEvent* event);
int EventRoomTest(const CharacterRecord* character, const ScriptEvent* event);
int EventCharacterStateTest(const CharacterRecord* character, const ScriptEvent* event);
// With A and B the event flags of the event's two flag numbers: operator
// 1 A and B, 2 A or B, 3 neither, 4 A or not B, 5 A and not B, 6 not both;
// any other operator fails.  Both numbers 0: no test (holds).
int EventFlagTest(const ScriptEvent* event);

// Every active event of the table in the given event's group is marked
// done (its group state 2).
void CountGroupEvents(const ScriptEvent* event);

// The ten countdowns, their ids and the done bytes cleared.
void ClearEventTimers();
// Starts a countdown of `duration` ticks (below 1 taken as 1) under the id
// in the first of the ten that is not running.  Ids 1..15 only; an id
// already done, or all ten running, starts nothing.  Answers the countdown
// used, -1 when none.
int StartEventTimer(int id, int32_t duration);
// One frame of the countdowns: each running one falls by the frame step;
// when it reaches 0 or below with an id not yet done, `start` is asked to
// start that id's message; when it answers non-zero the id is done and the
// countdown's id cleared.  A countdown run out stays at 0 either way, so a
// message that could not start then is not tried again.
void RunEventTimers(int32_t frameStep, int (*start)(int id));
// The first running countdown in whole seconds, rounded up (70 ticks a
// second); -1 when none runs.
int32_t EventTimerSeconds();

// The mission asked to end: NextMissionRequest := n; the character gains
// BonusEnergy (shown as an energy change) and the gameplay energy account
// takes the character's energy.
void FinishMission(int n, CharacterRecord* character);

// Joins the lines of a null-ended list into the buffer, each followed by a
// blank, while the text with its ending zero fits in `size` bytes; stops at
// the first line that does not fit.
void JoinLines(char* buffer, char** lines, int size);
