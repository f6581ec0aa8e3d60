// Subtitles: the one line of spoken text at the top of the screen, with its
// voice, priority and mode.
//
// A line is taken only when its priority is above the current one's (an
// equal one is refused): messages come as tickers (mode 1, priority 100)
// that scroll in from the right and end when they have left the screen;
// phrases as blocks (mode 2, priority 50) that end with their voice.
#pragma once

#include <cstdint>

constexpr int kSubtitleTextBytes = 512;
constexpr int kSubtitleVoiceBytes = 64;
constexpr int32_t kMessagePriority = 100;
constexpr int32_t kPhrasePriority = 50;
constexpr int32_t kSubtitleIdle = 0;
constexpr int32_t kSubtitleTicker = 1;
constexpr int32_t kSubtitleBlock = 2;

struct SubtitleState {
    char text[kSubtitleTextBytes];
    char voice[kSubtitleVoiceBytes];  // the voice file spoken with the text
    int32_t priority;
    int32_t mode;     // 0 idle, 1 ticker, 2 block
    int32_t tickerX;
    int32_t negativeWidth;  // minus the text's width in pixels
    int32_t voiceSlot;      // stream slot of the voice
    uint32_t voiceSerial;   // the stream's start in that slot, 0 when no voice streams
    int32_t playResult;     // what the voice's start answered, + 1 (0: none started)
    uint8_t ducked;
};
extern SubtitleState Subtitles;

// Clears the whole state: no text, idle (at mission load and at the hero's
// death).
void ClearSubtitles();
// Takes the line when its priority is above the current one's and starts
// its voice (mode 0 as an effect, else streamed); 1 when taken.
int SetSubtitle(const char* text, const char* voice, int priority, int mode);
// One frame of the subtitle: 1 while idle, else 0.  A ticker answers 0 on
// the frame it ends; a block ends when its voice has (at once with sound
// off, where its text stays until finished or replaced).
int UpdateSubtitles();
// A block line ended now, its voice stopped.
void FinishSubtitle();
// Stops the subtitle on screen (at room changes).
void StopSubtitle();
// The voice turned down while the briefing speaks, and back; 1 when a voice
// stream exists.
int DuckVoice();
int RestoreVoice();
// The subtitle drawn over the 3D view, once a frame by the overlay; the
// ticker moves on whether it is drawn or not.
void DrawSubtitle();
// Line `row` of a block subtitle: x 4, y 16 row + 2, roman font, in the
// default text colour (`length` characters of `line`).
void DrawSubtitleLine(const char* line, int row, int length);
