// The game loop's state: the game-state block the save games store, the
// loop's own state word and overlay flags, and the frame step every
// game-time quantity moves by.  Layouts and globals only.
#pragma once

#include "platform/timer.h"

#include <cstdint>

// GameLoopState values.
constexpr int32_t kLoopPlay = 0;
constexpr int32_t kLoopQuitPrompt = 1;
constexpr int32_t kLoopFinished = 4;
constexpr int32_t kLoopLeave = 666;

extern int32_t GameLoopState;
// Bit 0: the world was updated this frame; bits 1 and 2: developer toggles.
extern int32_t OverlayFlags;

constexpr int kEventFlagBytes = 256;
constexpr int kEventTimers = 10;
constexpr int kEventTimerIds = 16;
// The message slots: one joined text per message number 0..15.
constexpr int kMessageSlots = 16;
constexpr int kMessageSlotBytes = 1024;

// The statistics of the game: the play clock and the counts of what
// happened, 17 words (68 bytes) in this order in the save games.  The
// totals (energyLost, killed, energyGained, health) are filled by
// ComputeMissionStats from the words after them.
struct MissionStatsRecord {
    // While a mission runs, the time in seconds (GetTimeSeconds) at which
    // play would have started; between missions the elapsed play seconds;
    // a save game holds the start minus the time of the save (minus the
    // elapsed seconds), which the restore turns back into a start.
    int32_t playClock;
    int32_t energyLost;        // energyLostShots + energyLostSpells + energySpent
    int32_t energyLostShots;
    int32_t energyLostSpells;
    int32_t uncounted;         // in no total
    int32_t energySpent;       // on purchases
    int32_t killed;            // ghostsKilled + friendsKilled + tendrilsKilled
    int32_t ghostsKilled;
    int32_t friendsKilled;
    int32_t tendrilsKilled;
    int32_t energyGained;      // energyFromRooms + energyFromKills
    int32_t energyFromRooms;
    int32_t energyFromKills;
    int32_t health;            // healthHealed + healthGained - healthLost
    int32_t healthGained;      // in combat
    int32_t healthLost;        // in combat
    int32_t healthHealed;
};
static_assert(sizeof(MissionStatsRecord) == 68);

// The members of the game-state block the game loop and the mission life
// cycle use (the save games hold the whole block).
struct GameStateRecord {
    int32_t menuSlide;           // 0 closed, 1 open (paused), above 1 sliding
    int32_t menuDirection;       // -1 opening, +1 closing
    uint8_t menuPage;            // 0 none
    // The menu's cursors, moved by the pause keys and read by the pages.
    int32_t menuTabFocus;        // non-zero: Up/Down move between the page tabs
    int32_t menuChoice;          // highlighted entry of the page, from 0
    int32_t menuColumn;          // the tab of the journal and options pages (0..2)
    int32_t menuSubCursor;       // the journal's second cursor, 0 none
    int32_t menuSubItem;         // the journal's sub-tab
    int32_t menuValueIndex;      // the options' value index in column 1, 0 or more
    int32_t mapScrollX;          // the map page's scroll, pixels
    int32_t mapScrollY;
    uint8_t pendingRoom;         // room index of a pending room change
    uint8_t pendingRoomTicks;    // countdown in ticks; 0 = none pending
    uint8_t framesToSkip;        // frames neither rendered nor presented
    uint8_t nextMissionRequest;  // 0 = none
    uint8_t chosenEntry;         // the menu entry (from 1) a new mission was last started from
    uint8_t progress[2];         // the progress step, and the step of the previous frame
    // The point-3 sequence of missions 20 and above: its step (0 not begun,
    // 4 the hero held at point 3, 3 the hero gone on, 1 ended), and a byte
    // that holds the sequence off while set.
    uint8_t scene[2];
    int32_t mapZoom;             // 16.16, 1.0 when the loop starts
    uint8_t eventFlags[kEventFlagBytes];
    // The event countdowns in ticks (running while at 1 or above), the id
    // each was started with, and one done byte per id 0..15.
    int32_t eventTimers[kEventTimers];
    uint8_t eventTimerIds[kEventTimers];
    uint8_t eventTimerDone[kEventTimerIds];
    uint8_t storyState;          // the story's state, set by the events
    uint8_t lastSpeaker;         // character slot of the last phrase, 0 after a message
    char messageSlots[kMessageSlots][kMessageSlotBytes];
    MissionStatsRecord stats;
};
extern GameStateRecord GameState;

// The game loop's clock at 70 ticks a second.  After PaceFrame its
// outputs are the frame step every game-time quantity moves by: DeltaUnits
// (clamped 1..4 unless Backspace is held), DoubleDelta, HalfDelta (at least
// 1 unless Backspace is held) and the measured Delta.
extern FrameTimer GameTimer;

// The briefing's step; while it is 2 the game takes the pause path.
extern int32_t BriefingStep;
