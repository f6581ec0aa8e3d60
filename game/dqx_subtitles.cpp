// Subtitles: the priority rule, the voice stream of a line, the ticker and
// block drawing.
#include "game/dqx_subtitles.h"

#include "game/characters.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_options.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "media/strm.h"
#include "platform/display/blit.h"
#include "platform/display/drawtables.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/utils.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

SubtitleState Subtitles{};

namespace {

constexpr int32_t kBandLeft = 1, kBandTop = 1;
constexpr int32_t kBandLinePad = 5;
constexpr int32_t kTickerY = 10;
constexpr int32_t kTickerGlyphRaise = 2;
constexpr int kBlockWrap = 120;
constexpr int32_t kBlockX = 4, kBlockRowStep = 16, kBlockY = 2;
// The voice's volume while the briefing speaks over it.
constexpr int kDuckedVolume = 1;
constexpr uint8_t kVoiceEffectPriority = 255;

// The voice of the line still streams in its slot (a slot taken over by
// another stream since answers no).
bool VoiceStreams() {
    return Subtitles.voiceSerial != 0 && STRM_GetSerial(Subtitles.voiceSlot) == Subtitles.voiceSerial;
}

void StopVoice() {
    if (VoiceStreams()) STRM_Stop(Subtitles.voiceSlot);
    Subtitles.voiceSerial = 0;
    Subtitles.voiceSlot = 0;
}

void StartVoice(int mode) {
    StopVoice();
    Subtitles.playResult = 0;
    if (!Subtitles.voice[0]) return;
    ResArchive* game = MainResArchive;
    CurrentResArchive = VoiceResArchive;
    if (mode != kSubtitleIdle) {
        int slot = -1;
        const int voice = SFX_PlaySpeech(Subtitles.voice, &slot, 1);
        if (voice >= 0 && slot >= 0) {
            Subtitles.voiceSlot = slot;
            Subtitles.voiceSerial = STRM_GetSerial(slot);
        }
        Subtitles.playResult = voice + 1;
    } else {
        Subtitles.playResult = SFX_Play(0, Subtitles.voice, 0, kVoiceEffectPriority, 1) + 1;
    }
    CurrentResArchive = game;
}

// The band the text is drawn on: from (1, 1), the screen's width less 2,
// `height` pixels, colour 0.
void FillBand(int32_t height) {
    if (!ActivePrimTable.FillRect || height <= 0) return;
    const int32_t right = int32_t(ScreenState.width) - 2;
    ActivePrimTable.FillRect(kBandLeft, kBandTop, right, kBandTop + height - 1, 0);
}

void DrawTicker() {
    if (SubTitles && !Subtitles.ducked) {
        FillBand(2 * (FontGlyphHeight(RomanFont) + kBandLinePad));
        g_DrawColour = DefaultTextColour;
        // The text path of GDI draws at the first glyph's height + 3: the
        // ticker's is two pixels taller.  The bitmap glyphs are drawn as
        // they are (a taller first glyph would be read past its picture).
        Picture* first = RomanFont && RomanFont->count > 0 ? RomanFont->sprites : nullptr;
        const bool raise = first && EngineConfig.SystemId == kGdiTextSystemId;
        if (raise) first->height += kTickerGlyphRaise;
        TextClipBypass = 1;
        DrawString(Subtitles.text, Subtitles.tickerX, kTickerY, RomanFont);
        TextClipBypass = 0;
        if (raise) first->height -= kTickerGlyphRaise;
    }
    // FastScroll set moves the ticker at half the speed.
    const int32_t step = FastScroll ? GameTimer.DeltaUnits : GameTimer.DoubleDelta;
    Subtitles.tickerX = int32_t(std::max<int64_t>(int64_t(Subtitles.tickerX) - step, INT32_MIN));
}

void WrappedLine(const char* line, int number, int length) {
    DrawSubtitleLine(line, number, length);
}

void DrawBlock() {
    if (!SubTitles || !Subtitles.text[0] || Subtitles.ducked) return;
    FillBand(3 * (FontGlyphHeight(CaptionFont) + kBandLinePad));
    char* one[2] = {Subtitles.text, nullptr};
    WrapText(one, WrappedLine, kBlockWrap);
}

}  // namespace

void ClearSubtitles() {
    Subtitles = SubtitleState{};
}

int SetSubtitle(const char* text, const char* voice, int priority, int mode) {
    if (priority <= Subtitles.priority) return 0;
    std::snprintf(Subtitles.text, sizeof Subtitles.text, "%s", text ? text : "");
    std::snprintf(Subtitles.voice, sizeof Subtitles.voice, "%s", voice ? voice : "");
    Subtitles.negativeWidth = -TextWidth(Subtitles.text, RomanFont);
    Subtitles.priority = priority;
    Subtitles.mode = mode;
    if (g_SoundOn) StartVoice(mode);
    Subtitles.tickerX = ScreenState.clipRight;
    return 1;
}

int UpdateSubtitles() {
    int idle = 0;
    switch (Subtitles.mode) {
    case kSubtitleTicker:
        // Busy on the frame the ticker ends as well.
        if (Subtitles.tickerX < Subtitles.negativeWidth) {
            Subtitles.mode = kSubtitleIdle;
            Subtitles.priority = 0;
        }
        break;
    case kSubtitleBlock:
        if (g_SoundOn) {
            if (VoiceStreams()) break;
            Subtitles.mode = kSubtitleIdle;
            Subtitles.playResult = 0;
            StopVoice();
        }
        // With sound off the text stays until its phrase ends it.
        Subtitles.priority = 0;
        idle = 1;
        break;
    default:
        // An idle line (a voice played as an effect) holds no priority, so
        // it cannot keep every later line out.
        Subtitles.priority = 0;
        idle = 1;
        break;
    }
    RecordGameCall("UpdateSubtitles", nullptr, idle);
    return idle;
}

void FinishSubtitle() {
    if (Subtitles.mode != kSubtitleBlock) return;
    Subtitles.mode = kSubtitleIdle;
    Subtitles.priority = 0;
    Subtitles.playResult = 0;
    if (g_SoundOn) StopVoice();
}

void StopSubtitle() {
    LogStep("StopSubtitle");
    Subtitles.mode = kSubtitleBlock;
    FinishSubtitle();
}

int DuckVoice() {
    if (!VoiceStreams()) return 0;
    STRM_SetVolume(Subtitles.voiceSlot, -1, kDuckedVolume);
    Subtitles.ducked = 1;
    return 1;
}

int RestoreVoice() {
    if (!VoiceStreams()) return 0;
    STRM_SetVolume(Subtitles.voiceSlot, -1, VoiceVol);
    Subtitles.ducked = 0;
    return 1;
}

void DrawSubtitle() {
    RecordGameCall("DrawSubtitle", nullptr, Subtitles.mode);
    if (Subtitles.mode == kSubtitleTicker) DrawTicker();
    else if (Subtitles.mode == kSubtitleBlock) DrawBlock();
}

void DrawSubtitleLine(const char* line, int row, int length) {
    char text[kBlockWrap + 1];
    const int n = std::clamp(length, 0, kBlockWrap);
    std::memcpy(text, line, size_t(n));
    text[n] = 0;
    g_DrawColour = DefaultTextColour;
    DrawString(text, kBlockX, kBlockRowStep * row + kBlockY, RomanFont);
}
