// Messages, dialogues and subtitles.
#pragma once

#include <cstdint>

// One frame of the message slots.
void UpdateMessages();
// One frame of the subtitles and voice lines: 1 while none runs (idle),
// else 0.
int UpdateSubtitles();
// Frames for which UpdateSubtitles still answers busy (a line running);
// each call counts one down.  Set by what starts a line.
extern int32_t SubtitleBusyFrames;
