// Subtitles: the line of text shown under the picture while a voice or a
// message plays.
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
// Stops the subtitle on screen (at room changes); logged only.
void StopSubtitle();
// The subtitle drawn over the 3D view, once a frame by the overlay.
void DrawSubtitle();
