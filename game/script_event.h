// The scripted event record as far as the condition tests, the timers and
// the group count read it, and the mission's table of events.  Layout only,
// no logic.
//
// The file and the save games store each event as a 138-byte image.  The
// members with an offset are decoded from it; the others have no known
// place in the image yet and are held in memory only (0 when read).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kScriptEventBytes = 138;

// Step, room and state codes that accept anything.
constexpr uint8_t kAnyStep = 255;
constexpr uint8_t kAnyState = 255;
constexpr uint8_t kAnyRoom = 255;
// Room code: the room the event's character is in.
constexpr uint8_t kOwnRoom = 254;
// Room codes below this one name a room.
constexpr uint8_t kNamedRoomLimit = 250;

// ScriptEvent::state values.
constexpr uint8_t kEventActive = 0;
constexpr uint8_t kEventCinematicPlayed = 1;
constexpr uint8_t kEventFinished = 2;

// ScriptEvent::groupState once the group's count was made.
constexpr uint8_t kGroupDone = 2;

struct ScriptEvent {
    uint8_t stateAtLeast;   // at 50: holds when the value is not below the character's state
    uint8_t stepNotBefore;  // at 51: holds when the progress step is not below the event's
    uint8_t roomCode;       // at 60: below 250 a room index, 254 own room, 255 any
    uint8_t character;      // at 61: character slot, 0 the hero
    uint8_t step;           // at 63: progress step, 255 any
    uint8_t stateValue;     // at 64: character state, 255 any
    uint8_t state;          // at 108: kEventActive, kEventCinematicPlayed, kEventFinished
    uint8_t stateAtMost;    // at 127: holds when the character's state is not below the value
    uint8_t stepNotAfter;   // at 128: holds when the progress step is not above the event's
    // Held in memory only.
    uint8_t sameRoom;       // any room: only while the character is in the current room
    uint8_t anywhere;       // any room: wherever the character is
    uint8_t flagA, flagB;   // event flag numbers of the flag test; both 0: no test
    uint8_t flagOperator;   // 1..6, see EventFlagTest
    uint8_t group;          // events counted together
    uint8_t groupState;     // kGroupDone once counted
    uint8_t fired;          // set while the event fired this frame (shown by the debug pages)
    uint8_t image[kScriptEventBytes];
};

// The mission's events in table order (none while the mission has none).
extern ScriptEvent* EventTable;
extern int32_t EventCount;
