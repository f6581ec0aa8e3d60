// Messages, dialogues and subtitles, as far as the game loop and the
// mission life cycle ask.
// Stand-ins under their final names: each only logs its call.
#pragma once

#include <cstdint>

// The voice of a spoken line still to be waited for, -1 when none.
extern int32_t PendingVoice;

// The mission's dialogues loaded.
void LoadDialogues(int restoring);
// The messages freed.
void FreeMessages();

// One frame of the message slots.
void UpdateMessages();
// One frame of the subtitles and voice lines: 1 while none runs (idle),
// else 0.
int UpdateSubtitles();
// Frames for which UpdateSubtitles still answers busy (a line running);
// each call counts one down.  Set by what starts a line.
extern int32_t SubtitleBusyFrames;
