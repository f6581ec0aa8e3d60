// The scripted event record and the mission's table of events.  Layout only,
// no logic.
//
// The file and the save games store each event as a 138-byte image; every
// member is decoded from its offset in it.
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

// Every member with an offset is decoded from the 138-byte image when the
// table is read and encoded back over the kept image when it is written, so
// the bytes no member names survive a save unchanged.
struct ScriptEvent {
    int32_t repeatTimer;       // at 0: ticks; 350 when a phrase is armed
    int32_t phraseCountdown;   // at 4: ticks left of the phrase being spoken
    int32_t speakDistance;     // at 8: squared distance to the hero; 600 or more: any
    int32_t contactTimer;      // at 12: ticks, negative off
    int32_t messageDelay;      // at 16: delay handed to StartEventTimer with messageNumber
    int32_t startDelay;        // at 20: ticks still to run before the event fires
    int32_t startDelayPreset;  // at 24: copied to startDelay when a phrase is armed
    uint8_t countUp;           // at 45: the character's state + 1 with a phrase
    uint8_t collapse;          // at 46: the character collapses when the repeat timer runs out
    uint8_t contactStateUp;    // at 47: on object contact: phrase and state + 1
    uint8_t contactAdvance;    // at 48: on object contact: step advance, phrase and state 0
    uint8_t faceHero;          // at 49: turn to the hero while speaking
    uint8_t stateAtLeast;   // at 50: holds when the value is not below the character's state
    uint8_t stepNotBefore;  // at 51: holds when the progress step is not below the event's
    uint8_t newState;          // at 53: character state set with a phrase (255 stands for 0)
    uint8_t phraseMode2;       // at 54: alternative phrase of mode 2
    uint8_t giveObject;        // at 55: object (1-based) given to the hero after a near phrase
    uint8_t messageNumber;     // at 56: message started through StartEventTimer
    uint8_t useNumber;         // at 57: use number that advances the step
    uint8_t resetObject;       // at 58: object (1-based) shown again as at load
    uint8_t heroHold;          // at 59: with holdMode 1, sets the hero's hold byte
    uint8_t roomCode;       // at 60: below 250 a room index, 254 own room, 255 any
    uint8_t character;      // at 61: character slot, 0 the hero
    uint8_t phrase;            // at 62: phrase number (line of the dialogue file)
    uint8_t step;           // at 63: progress step, 255 any
    uint8_t stateValue;     // at 64: character state, 255 any
    uint8_t anim;              // at 65: animation requested when the event fires
    uint8_t timerAdvance;      // at 66: repeat timer out: phrase, state 0, step advance
    uint8_t contactObject;     // at 67: object whose contact triggers
    uint8_t phraseA;           // at 68: alternative phrase A
    uint8_t keepPhrase;        // at 69: keep the phrase number after a near phrase
    uint8_t phraseB;           // at 71: alternative phrase B (instead of A one time in two)
    uint8_t specialAction;     // at 72: EventSpecialAction code
    uint8_t speakAnim;         // at 73: animation while speaking (0: 15)
    uint8_t behaviour;         // at 75: value + 1 stored in the definition's behaviour byte
    uint8_t phraseMode;        // at 76: mode of the phrase in progress; non-zero: near-phrase path
    uint8_t entryAdvance;      // at 79: room entry: phrase and step advance
    uint8_t useAdvanceA;       // at 80: object use of object + 1 advances the step
    uint8_t useAdvanceB;       // at 81: likewise
    uint8_t activateObject;    // at 82: object (1-based) activated
    uint8_t moveRoom;          // at 83: room code of a room move (PickEventRoom)
    uint8_t queryObject;       // at 84: object (1-based) the door and object queries ask for
    uint8_t entryStateUp;      // at 85: room entry: phrase and state + 1
    uint8_t arrivalAdvance;    // at 86: arrival: step advance
    uint8_t arrivalStateUp;    // at 87: arrival: state + 1
    uint8_t phraseMode3;       // at 88: alternative phrase of mode 3
    uint8_t flagIndex;         // at 89: event flag set by the flag kind
    uint8_t flagKind;          // at 90: 1 room entry, 2 3 objects, 4 arrival, 5 timer, 6 use,
                               //        7 fired or contact, 8 door, 11 carried, 12 15 doors, 14 16 objects
    uint8_t flagObject;        // at 94: object or use number of the flag kind
    uint8_t holdMode;          // at 95: 1 sets the character's hold byte, 2 clears it
    uint8_t query96;           // at 96: read by no operation
    uint8_t queryDoor;         // at 97: portal (1-based) or flag of the door and object queries
    uint8_t setStep;           // at 98: progress step to set (value - 1 before the advance)
    uint8_t queryFlag;         // at 100: flag that unlocks a door or allows an object
    uint8_t fired;             // at 101: fired this frame (cleared at the start of every walk)
    uint8_t onceBits;          // at 102: bits 0-5 an object number, bit 6 armed
    uint8_t characterFlags;    // at 103: flag bits applied when the event fires
    uint8_t storyState;        // at 104: StoryState value
    uint8_t useRoom;           // at 105: with use number 11, pending room + 1
    uint8_t clearFlag;         // at 106: event flag cleared when the event fires
    uint8_t switchObject;      // at 107: object (1-based) switched by its slot state
    uint8_t state;          // at 108: kEventActive, kEventCinematicPlayed, kEventFinished
    uint8_t link;              // at 109: the walk goes on at this event (0 none)
    uint8_t armEvent;          // at 112: event (0-based) whose phrase is armed
    uint8_t finishArmed;       // at 113: finish the event at armEvent
    uint8_t replaceObject;     // at 114: object (1-based) put back in place
    uint8_t cinematic;         // at 120: cinematic number
    uint8_t sound;             // at 121: one-shot sound number
    uint8_t holdMood;          // at 122: value + 1 stored in the hold and mood bytes
    uint8_t altCinematic;      // at 123: alternative cinematic number
    uint8_t musicState;        // at 124: music state for SFX_SetMusicState
    uint8_t statusMessage;     // at 125: dialogue line shown on the status line
    uint8_t missionEnd;        // at 126: bonus kind handed to FinishMission
    uint8_t stateAtMost;    // at 127: holds when the character's state is not below the value
    uint8_t stepNotAfter;   // at 128: holds when the progress step is not above the event's
    // The room test's two flags, for a room code that stands for any room.
    uint8_t sameRoom;       // at 129: only while the character is in the current room
    uint8_t anywhere;       // at 130: wherever the character is
    // The flag test: two event flag numbers and their operator.
    uint8_t flagA;          // at 131: both numbers 0: no test
    uint8_t flagB;          // at 132
    uint8_t flagOperator;   // at 133: 1 to 6, see EventFlagTest; any other fails the test
    uint8_t group;          // at 134: events counted together (CountGroupEvents)
    uint8_t groupState;     // at 135: kGroupDone once counted
    // The image as read: the bytes no member names.
    uint8_t image[kScriptEventBytes];
};

// The mission's events in table order (none while the mission has none).
extern ScriptEvent* EventTable;
extern int32_t EventCount;
