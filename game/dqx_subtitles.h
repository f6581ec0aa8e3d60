// Subtitles: the one line of spoken text at the top of the screen, with its
// voice, priority and mode.
#pragma once

#include <cstdint>

struct SubtitleState {
    char text[512];
    char voice[64];   // the voice file spoken with the text
    int32_t priority;
    int32_t mode;     // 0 idle, 1 ticker, 2 block
    int32_t tickerX;
    int32_t negativeWidth;  // minus the text's width in pixels
    int32_t voiceSlot;      // stream slot of the voice
    int32_t playResult;
    uint8_t ducked;
};
extern SubtitleState Subtitles;

// Clears the whole state: no text, idle (at mission load and at the hero's
// death).
void ClearSubtitles();
// Takes the line when its priority is above the current one's and starts
// its voice (mode 0 as an effect, else streamed); 1 when taken.
int SetSubtitle(const char* text, const char* voice, int priority, int mode);
// One frame of the subtitle: 1 while idle, else 0.
int UpdateSubtitles();
// Frames for which UpdateSubtitles still answers busy; each call counts one
// down.
extern int32_t SubtitleBusyFrames;
// A block line ended now, its voice stopped.
void FinishSubtitle();
// Stops the subtitle on screen (at room changes).
void StopSubtitle();
// The voice turned down while the briefing speaks, and back; 1 when a voice
// stream exists.
int DuckVoice();
int RestoreVoice();
// The subtitle drawn over the 3D view, once a frame by the overlay.
void DrawSubtitle();
