// The briefing and the credits pages.
#include "game/dqx_briefing.h"

#include "game/characters.h"
#include "game/dqx_subtitles.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "media/strm.h"
#include "platform/display/ddraw.h"
#include "platform/display/frame_unlocked.h"
#include "platform/display/screen.h"
#include "platform/input.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/timer.h"

#include <array>
#include <cstdio>
#include <cstring>

StringList BriefingLines = nullptr;
uint32_t BriefingDeadline = 0;
int32_t BriefingVoiceSlot = 0;
uint32_t BriefingVoiceSerial = 0;
uint8_t BriefingHoldFrame = 0;

int32_t CreditsState = 0;
int32_t CreditsX = 0, CreditsY = 0;
StringList CreditsLines = nullptr;
uint32_t CreditsDeadline = 0;

namespace {

// The briefing table: missions 1..10 to their briefing, 20 + the entry.
constexpr int kBriefingTable[10] = {4, 6, 3, 5, 2, 1, 9, 8, 7, 10};
constexpr int kBriefingBase = 20;
constexpr int kOwnBriefingFrom = 21;
// Both deadlines lie 30 s after the load.
constexpr uint32_t kPageDeadlineMs = 30000;
// The greys of the pages' texts.
constexpr uint8_t kBriefingGrey = 250, kCreditsGrey = 180;
// Characters a wrapped line holds: the briefing's roman lines from x 10,
// the credits' centred lines and the short page's lines from the cursor.
constexpr int kBriefingWrap = 76, kCreditsWrap = 60;
// The prompts: the briefing's centred at half the clip bottom, clear of
// its text above and of the status lines below; the short credits page's at
// x 220, 40 pixels above the clip bottom.
constexpr int kBriefingPromptHalf = 2;
constexpr int kPromptRaise = 40, kCreditsPromptX = 220;
// The stored credits line is drawn centred at half the clip bottom.
constexpr int kStoredLineHalf = 2;

// The stored line's text; every byte carries its high bit in the table.
constexpr char kStoredLineText[] = "For everyone who kept the lamps lit through the long nights";
static_assert(sizeof kStoredLineText <= kStoredLineBytes);

constexpr std::array<uint8_t, kStoredLineBytes> MakeStoredLine() {
    std::array<uint8_t, kStoredLineBytes> line{};
    for (int i = 0; i < kStoredLineBytes; ++i)
        line[size_t(i)] = uint8_t((i < int(sizeof kStoredLineText) ? uint8_t(kStoredLineText[i]) : 0) + 128);
    return line;
}
constexpr std::array<uint8_t, kStoredLineBytes> kStoredLine = MakeStoredLine();

bool KeyHit(int scanCode) {
    return CurrentKeyboard && CurrentKeyboard->KeyHit && CurrentKeyboard->KeyHit(scanCode);
}

bool KeyHeld(int scanCode) {
    return CurrentKeyboard && (CurrentKeyboard->keyStates[scanCode & 0xFF] & 0x80);
}

bool SpaceOrEnterHit() {
    return KeyHit(kScanBriefingSpace) || KeyHit(kScanBriefingEnter);
}

// The lines of a text file through the current file table; nullptr when it
// does not open or holds no line.
StringList ReadLines(const char* name, int maxLines) {
    if (!CurrentFileTable) return nullptr;
    FileHandle file = CurrentFileTable->Open(name, "rt");
    if (!file) return nullptr;
    StringList lines = LoadTextLines(file, maxLines, kBriefingLongestLine);
    CurrentFileTable->Close(file);
    return lines;
}

// WrapText hands over a piece of a text and its length: each piece is cut
// out into a line of its own for the line routines.
struct WrappedLine {
    char text[kBriefingLongestLine + 1];
};
const char* CutLine(WrappedLine* out, const char* line, int length) {
    const int n = length < 0 ? 0 : (length > kBriefingLongestLine ? kBriefingLongestLine : length);
    std::memcpy(out->text, line, size_t(n));
    out->text[n] = '\0';
    return out->text;
}

void BriefingLineOf(const char* line, int number, int length) {
    WrappedLine cut;
    BriefingLine(CutLine(&cut, line, length), number);
}

void CreditsLineOf(const char* line, int, int length) {
    WrappedLine cut;
    CreditsLine(CutLine(&cut, line, length));
}

void CreditsCentredLineOf(const char* line, int number, int length) {
    WrappedLine cut;
    CreditsCentredLine(CutLine(&cut, line, length), number);
}

void FreeBriefingLines() {
    FreeStringList(BriefingLines);
    BriefingLines = nullptr;
}

// Steps 1 and 11: the lines read once; from step 1 the voice starts and the
// dialogue voice is turned down under it.
void StartBriefing(int number, bool withVoice) {
    {
        FrameUnlocked unlocked;
        if (!BriefingLines) {
            char name[32];
            std::snprintf(name, sizeof name, ".\\ms%d\\%c_brief.txt", number, LanguageLetter);
            BriefingLines = ReadLines(name, kBriefingMaxLines);
            if (BriefingLines) BriefingDeadline = GetTimeMs() + kPageDeadlineMs;
        }
    }
    if (BriefingLines) {
        ++BriefingStep;
        LogStep("BriefingShown", number);
    }
    if (!withVoice) return;
    RecordGameCall("BriefingVoice", nullptr, number);
    DuckVoice();
    char voice[32];
    std::snprintf(voice, sizeof voice, ".\\smp\\ms%d\\%cbrief1.snp", number, LanguageLetter);
    int slot = -1;
    if (SFX_PlaySpeech(voice, &slot, 1) >= 0 && slot >= 0) {
        BriefingVoiceSlot = slot;
        BriefingVoiceSerial = STRM_GetSerial(slot);
    }
    // Without a text nothing waits for Space or Enter, which is where the
    // dialogue voice would come back up: it comes back now.
    if (!BriefingLines) RestoreVoice();
}

void DrawBriefing() {
    SetTextColour(kBriefingGrey, kBriefingGrey, kBriefingGrey);
    WrapText(BriefingLines, BriefingLineOf, kBriefingWrap);
    DrawCentredText(MenuTexts[kBriefingPromptText], ScreenState.clipBottom / kBriefingPromptHalf, kBriefingGrey,
                    kBriefingGrey, kBriefingGrey);
    if (!SpaceOrEnterHit()) return;
    BriefingStep = kBriefingEnd;
    LogStep("BriefingEnded");
    EndBriefingVoice();
    RestoreVoice();
}

}  // namespace

int BriefingNumber(int mission) {
    if (mission >= 1 && mission <= 10) return kBriefingBase + kBriefingTable[mission - 1];
    if (mission >= kOwnBriefingFrom) return mission;
    return 0;
}

void EndBriefingVoice() {
    if (BriefingVoiceSerial != 0 && STRM_GetSerial(BriefingVoiceSlot) == BriefingVoiceSerial) {
        FrameUnlocked unlocked;
        STRM_Stop(BriefingVoiceSlot);
    }
    BriefingVoiceSerial = 0;
    BriefingVoiceSlot = 0;
}

void BeginBriefing() {
    FreeBriefingLines();
    EndBriefingVoice();
    BriefingStep = BriefingNumber(MissionNumber) != 0 ? kBriefingStart : kBriefingIdle;
}

void BriefingPage() {
    RecordGameCall("BriefingPage", nullptr, BriefingStep);
    switch (BriefingStep) {
    case kBriefingStart:
    case kBriefingShowStart: {
        const int number = BriefingNumber(MissionNumber);
        if (number == 0) {
            BriefingStep = kBriefingIdle;
            return;
        }
        const bool withVoice = BriefingStep == kBriefingStart;
        if (withVoice) {
            if (GameState.eventFlags[kBriefingPlayedFlag]) return;
            GameState.eventFlags[kBriefingPlayedFlag] = 1;
        }
        StartBriefing(number, withVoice);
        break;
    }
    case kBriefingWaiting:
        DrawBriefing();
        break;
    case kBriefingEnd:
        FreeBriefingLines();
        BriefingStep = kBriefingIdle;
        EndBriefingVoice();
        break;
    case kBriefingShown:
        WrapText(BriefingLines, BriefingLineOf, kBriefingWrap);
        break;
    default:
        break;
    }
}

// --- credits ------------------------------------------------------------------

const uint8_t* const StoredCreditsLine = kStoredLine.data();

const char* RestoreStoredLine() {
    static_assert(kStoredLineBytes < kTextBufferBytes);
    for (int i = 0; i < kStoredLineBytes; ++i) TextBuffer[i] = char(StoredCreditsLine[i] - 128);
    TextBuffer[kStoredLineBytes] = '\0';
    return TextBuffer;
}

namespace {

void LoadCredits() {
    if (!CreditsLines) {
        ResArchive* previous = CurrentResArchive;
        CurrentResArchive = VoiceResArchive;
        char name[32];
        std::snprintf(name, sizeof name, ".\\menus\\%c_credits.txt", LanguageLetter);
        CreditsLines = ReadLines(name, kCreditsMaxLines);
        CurrentResArchive = previous;
        if (CreditsLines) CreditsDeadline = GetTimeMs() + kPageDeadlineMs;
    }
    const int32_t bottom = ScreenState.clipBottom;
    CreditsY = CreditsState > 20 ? 2 * bottom : bottom;
    ++CreditsState;
}

void ScrollCredits() {
    if (!CreditsLines) return;
    const char* stored = RestoreStoredLine();
    if (KeyHeld(kScanCreditsF1) && KeyHeld(kScanCreditsF12) && KeyHeld(kScanBriefingSpace))
        DrawCentredText(stored, ScreenState.clipBottom / kStoredLineHalf, kCreditsGrey, kCreditsGrey, kCreditsGrey);
    WrapText(CreditsLines, CreditsCentredLineOf, kCreditsWrap);
    CreditsY -= GameTimer.DeltaUnits;
}

// The short page: drawn from the cursor every frame, the cursor left where
// it was (the line routine moves it down line by line).
void ShortCredits() {
    if (!CreditsLines) return;
    const int32_t top = CreditsY;
    SetTextColour(kCreditsGrey, kCreditsGrey, kCreditsGrey);
    WrapText(CreditsLines, CreditsLineOf, kCreditsWrap);
    DrawString(MenuTexts[kBriefingPromptText], kCreditsPromptX, ScreenState.clipBottom - kPromptRaise, RomanFont);
    CreditsY = top;
    if (SpaceOrEnterHit()) CreditsState = kCreditsEnd;
}

}  // namespace

void CreditsPage() {
    RecordGameCall("CreditsPage", nullptr, CreditsState);
    switch (CreditsState) {
    case kCreditsMenuLoad:
    case kCreditsEndLoad:
        LoadCredits();
        break;
    case kCreditsMenuScroll:
    case kCreditsEndScroll:
        ScrollCredits();
        break;
    case kCreditsWaiting:
        ShortCredits();
        break;
    case kCreditsEnd:
        FreeStringList(CreditsLines);
        CreditsLines = nullptr;
        CreditsState = kCreditsIdle;
        CreditsY = 0;
        break;
    default:
        break;
    }
}
