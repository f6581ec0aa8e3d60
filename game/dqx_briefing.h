// The briefing and the credits pages: two text scrollers of one shape, a
// step counter, a text file read once into a list of lines, and Space or
// Enter to end.
#pragma once

#include "platform/utils.h"

#include <cstdint>

// --- briefing ---------------------------------------------------------------
// BriefingStep (game_state.h): 0 idle; 1 start (voice, once per game); 2
// shown, waiting for Space or Enter (the game loop pauses); 3 end; 11 start
// a briefing that is only shown (no voice, no flag); 12 shown that way.
constexpr int32_t kBriefingIdle = 0, kBriefingStart = 1, kBriefingWaiting = 2, kBriefingEnd = 3;
constexpr int32_t kBriefingShowStart = 11, kBriefingShown = 12;
// At most 64 lines are read from a briefing text, 256 from the credits.
constexpr int kBriefingMaxLines = 64, kCreditsMaxLines = 256;
// The line a text line is cut to when read.
constexpr int kBriefingLongestLine = 1024;
// GameState.eventFlags entry set once the mission's briefing has played.
constexpr int kBriefingPlayedFlag = 1;
// Menu text slot of the "Space or Enter" prompt under both pages.
constexpr int kBriefingPromptText = 148;
// Scan codes that end a waiting page, and the three held for the stored
// credits line.
constexpr int kScanBriefingSpace = 57, kScanBriefingEnter = 28;
constexpr int kScanCreditsF1 = 59, kScanCreditsF12 = 88;
// The stored credits line: 64 bytes, each with its high bit set.
constexpr int kStoredLineBytes = 64;

// The briefing's lines (null when none are loaded) and their deadline in
// milliseconds of the tick clock (set at load, never read: the briefing
// waits for the player however long it takes).
extern StringList BriefingLines;
extern uint32_t BriefingDeadline;
// The stream slot and serial of the briefing's voice (serial 0: none).
extern int32_t BriefingVoiceSlot;
extern uint32_t BriefingVoiceSerial;

// Set for one frame to keep a briefing step above 10 as it is: the overlay
// otherwise puts such a step back to 3, and clears the flag every frame.
extern uint8_t BriefingHoldFrame;

// The briefing number of a mission: 20 + the briefing table's entry for
// missions 1..10, the mission itself from 21 on; 0 for the missions that
// have no briefing (0 and 11..20).
int BriefingNumber(int mission);
// At the start of a mission that is not restored: the lines left by the
// previous mission are freed, its voice stopped, and the step set to 1 when
// the mission has a briefing (else 0).
void BeginBriefing();
// The briefing drawn over the 3D view by its step, once a frame by the
// overlay; also by the journal's first tab (steps 11 and 12).
void BriefingPage();
// Stops the briefing's voice stream (with the frame unlocked while it does).
void EndBriefingVoice();

// --- credits ----------------------------------------------------------------
// CreditsState: 0 idle; 2 the short credits page waiting; 3 end; 11 and 21
// load; 12 and 22 scrolling (22, the end screen's, starts lower).
constexpr int32_t kCreditsIdle = 0, kCreditsWaiting = 2, kCreditsEnd = 3;
constexpr int32_t kCreditsMenuLoad = 11, kCreditsMenuScroll = 12;
constexpr int32_t kCreditsEndLoad = 21, kCreditsEndScroll = 22;

extern int32_t CreditsState;
// The credits cursor: where the next credits line is drawn.
extern int32_t CreditsX, CreditsY;
extern StringList CreditsLines;
extern uint32_t CreditsDeadline;
// The stored line, every byte with its high bit set.
extern const uint8_t* const StoredCreditsLine;

// The stored line into TextBuffer (each byte less 128); answers TextBuffer.
const char* RestoreStoredLine();
// Draws the credits page by its state.
void CreditsPage();
