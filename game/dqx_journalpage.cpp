// The journal page: briefing, history and log.
#include "game/dqx_journalpage.h"

#include "game/characters.h"
#include "game/dqx_briefing.h"
#include "game/dqx_journal.h"
#include "game/dqx_messages.h"
#include "game/dqx_options.h"
#include "game/dqx_stats.h"
#include "game/dqx_text.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "platform/display/screen.h"
#include "platform/input.h"
#include "platform/utils.h"

#include <cstdio>
#include <cstring>

int32_t HistoryScroll = kJournalTop;

namespace {

// The briefing step the journal's first tab shows, and the step it keeps.
constexpr int32_t kBriefingJournalStep = 11, kBriefingKeptStep = 12;
// History: blocks 8 pixels apart; the first block below the header.
constexpr int32_t kBlockGap = 8, kHistoryLineHeight = 16;
// The log: sub-tab labels 120 pixels apart from x + 20; entries 16 and
// statistics lines 20 pixels apart below them.
constexpr int32_t kSubTabStep = 120, kLogFirstLine = kJournalTop + 24;
constexpr int kJournalEntryKinds[2][3] = {{0, -1, -1}, {1, 2, 4}};

// Where the history's line routine draws: x, and the y of the next line.
int32_t HistoryX = 0, HistoryY = 0;

uint8_t Channel(int32_t level) {
    return uint8_t(level > 255 ? 255 : (level < 0 ? 0 : level));
}

bool KeyHeld(int scanCode) {
    return CurrentKeyboard && (CurrentKeyboard->keyStates[scanCode & 0xFF] & 0x80);
}

// WrapText's line routine: each wrapped line below the previous one.
void HistoryLine(const char* line, int, int length) {
    char text[kHistoryWrap + 1];
    const int n = length < kHistoryWrap ? length : kHistoryWrap;
    std::memcpy(text, line, size_t(n));
    text[n] = '\0';
    DrawString(text, HistoryX, HistoryY, RomanFont);
    HistoryY += kHistoryLineHeight;
}

void DrawHistoryBlock(const char* text) {
    char copy[kMessageSlotBytes + 1];
    const size_t n = strnlen(text, kMessageSlotBytes);
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    char* list[] = {copy, nullptr};
    WrapText(list, HistoryLine, kHistoryWrap);
    HistoryY += kBlockGap;
}

int ListPhrases(int speaker) {
    int listed = 0;
    if (!DialogueState) return 0;
    for (int phrase = 1; phrase < kDialogueStateBytes; ++phrase) {
        if (DialogueState[phrase] != speaker) continue;
        char text[kMessageSlotBytes];
        std::snprintf(text, sizeof text, "> %.1000s", DialogueText(phrase));
        SetTextColour(128, 128, Channel(128 + phrase));
        DrawHistoryBlock(text);
        ++listed;
    }
    return listed;
}

int ListMessages() {
    int listed = 0;
    for (int m = 0; m < kMessageSlots; ++m) {
        if (!GameState.eventTimerDone[m]) continue;
        // The slot is bounded by its size whatever it holds.
        char text[kMessageSlotBytes + 1];
        std::memcpy(text, GameState.messageSlots[m], kMessageSlotBytes);
        text[kMessageSlotBytes] = '\0';
        SetTextColour(Channel(128 + m), 128, 128);
        DrawHistoryBlock(text);
        ++listed;
    }
    return listed;
}

void ScrollHistory() {
    const int32_t step = GameTimer.DeltaUnits;
    if (HistoryY > ScreenState.clipBottom && KeyHeld(kScanPageUp)) HistoryScroll -= step;
    if (HistoryScroll < kJournalTop && KeyHeld(kScanPageDown)) HistoryScroll += step;
    if (KeyHeld(kScanHome)) HistoryScroll = kJournalTop;
}

void BriefingTab() {
    if (BriefingStep != kBriefingKeptStep) BriefingStep = kBriefingJournalStep;
    BriefingPage();
    // Keeps the step for this frame: once the tab is left the overlay ends
    // the briefing on the next frame.
    BriefingHoldFrame = 1;
}

void DrawLogEntries(int32_t x, const int* kinds) {
    int32_t y = kLogFirstLine;
    SetTextColour(128, 128, 128);
    for (int32_t n = 0; n < MissionJournal.count && MissionJournal.entries; ++n) {
        const int32_t kind = MissionJournal.entries[n].kind;
        if (kind != kinds[0] && kind != kinds[1] && kind != kinds[2]) continue;
        char text[kTextBufferBytes];
        if (GetJournalEntryText(text, sizeof text, n) != 0) continue;
        DrawString(text, x + 16, y, CaptionFont);
        y += 16;
    }
}

void DrawStatLine(int32_t x, int32_t y, const char* label, const char* value) {
    SetTextColour(128, 128, 144);
    DrawString(label, x, y, CaptionFont);
    if (!value) return;
    SetTextColour(144, 128, 128);
    DrawString(value, x + 100, y, CaptionFont);
}

void DrawStatistics(int32_t x) {
    const int32_t seconds = ComputeMissionStats();
    char label[kTextBufferBytes], value[16];
    int32_t y = kLogFirstLine;
    FormatPlayTime(label, sizeof label, MenuTexts[kPlayTimeText], seconds);
    DrawStatLine(x, y, label, nullptr);
    y += 20;
    std::snprintf(label, sizeof label, "%.63s -", MenuTexts[kEnergyLostText]);
    std::snprintf(value, sizeof value, "%05d", MissionStats.energyLost);
    DrawStatLine(x, y, label, value);
    y += 20;
    std::snprintf(label, sizeof label, "%.63s +", MenuTexts[kEnergyGainedText]);
    std::snprintf(value, sizeof value, "%05d", MissionStats.energyGained);
    DrawStatLine(x, y, label, value);
}

void LogTab(int32_t x) {
    const int32_t sub = GameState.menuSubItem;
    for (int i = 0; i < 3; ++i) {
        if (i == sub) SetTextColour(119, 159, 254);
        else SetTextColour(60, 80, 130);
        DrawString(MenuTexts[kJournalSubTabText + i], x + 20 + kSubTabStep * i, kJournalTop, CaptionFont);
    }
    if (sub == 2) DrawStatistics(x);
    else DrawLogEntries(x, kJournalEntryKinds[sub]);
}

}  // namespace

int32_t WrapJournalTab(int32_t tab) {
    if (tab < 0) return 2;
    if (tab > 2) return 0;
    return tab;
}

void FormatPlayTime(char* out, size_t size, const char* label, int32_t seconds) {
    if (seconds < 0) seconds = 0;
    std::snprintf(out, size, "%.63s: %03dH %02dMn %02dSec", label, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

int HistoryTab(int32_t x) {
    DrawPageTitle(MenuTexts[kHistoryCaptionText], 2);
    const int32_t definitions = MissionPtr && MissionPtr->characterDefs ? MissionPtr->characterDefCount : 0;
    if (int32_t(GameState.lastSpeaker) >= definitions - 1) GameState.lastSpeaker = 0;
    const int speaker = GameState.lastSpeaker;
    HistoryX = x;
    HistoryY = HistoryScroll + kHistoryLineHeight + kBlockGap;
    const int listed = speaker ? ListPhrases(speaker) : ListMessages();
    SetTextColour(180, 180, 180);
    if (listed) {
        const char* name = speaker ? TranslateName(MissionPtr->characterDefs[speaker].name) : kMessagesSpeaker;
        DrawString(name, x + 20, HistoryScroll, ListFont);
    } else {
        DrawString(MenuTexts[kNothingSaidText], x + 20, HistoryScroll, ListFont);
        ++GameState.lastSpeaker;
    }
    ScrollHistory();
    return listed;
}

void JournalPage() {
    RecordGameCall("JournalPage");
    GameStateRecord& g = GameState;
    g.menuColumn = WrapJournalTab(g.menuColumn);
    g.menuSubItem = WrapJournalTab(g.menuSubItem);
    const char* const labels[] = {MenuTexts[kJournalTabText], MenuTexts[kJournalTabText + 1],
                                  MenuTexts[kJournalTabText + 2]};
    DrawOptionTabs(labels);
    const int32_t x = int32_t(ScreenState.width / 2) - 5;
    switch (g.menuColumn) {
    case 0: BriefingTab(); break;
    case 1: HistoryTab(x); break;
    default: LogTab(x); break;
    }
}
