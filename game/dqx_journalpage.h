// The journal page of the menu (page 5, the page the menu shows when no
// other was chosen): three tabs drawn like the option tabs.  Tab 0 shows the
// mission briefing again, tab 1 the history of what one character said (or
// the messages), tab 2 the mission log in three sub-tabs: events, objects
// and the statistics.  The tab is GameState.menuColumn, the sub-tab
// GameState.menuSubItem.
#pragma once

#include <cstddef>
#include <cstdint>

// Tab and sub-tab labels: menu texts 125..127 and 128..130.
constexpr int kJournalTabText = 125, kJournalSubTabText = 128;
// The statistics labels: play time, energy lost, energy gained.
constexpr int kPlayTimeText = 145, kEnergyLostText = 146, kEnergyGainedText = 147;
// The history's caption (line 2), and the text shown when the speaker said
// nothing.
constexpr int kHistoryCaptionText = 133, kNothingSaidText = 165;
// The y the page starts from, where the history rests unscrolled.
constexpr int32_t kJournalTop = 64;
// History texts are wrapped to this many characters a line.
constexpr int kHistoryWrap = 66;
// The header of the messages' history (speaker 0).
constexpr const char* kMessagesSpeaker = "The Gate";
// Keys of the history's scroll.
constexpr int kScanPageUp = 0xC9, kScanPageDown = 0xD1, kScanHome = 0xC7;

// The y of the history's first line: kJournalTop at rest, lower values
// scrolled up.
extern int32_t HistoryScroll;

// A tab or sub-tab word held to 0..2: below 0 wraps to 2, above 2 to 0.
int32_t WrapJournalTab(int32_t tab);
// The play time "%s: %03dH %02dMn %02dSec" with the label into out
// (seconds below 0 count as 0; hours above 999 take more digits).
void FormatPlayTime(char* out, size_t size, const char* label, int32_t seconds);
// The history of the last speaker (GameState.lastSpeaker) drawn from (x,
// HistoryScroll); answers the number of texts listed.  A speaker past the
// definitions goes back to 0; a speaker who said nothing is passed over for
// the next one (the next frame shows it).
int HistoryTab(int32_t x);
// Menu page 5, every frame while the menu is open.
void JournalPage();
