// Messages and subtitles: no line is ever started, so the subtitles are
// idle unless SubtitleBusyFrames says a line runs.
#include "game/dqx_messages.h"

#include "game/characters.h"

int32_t SubtitleBusyFrames = 0;

void UpdateMessages() {
    RecordGameCall("UpdateMessages");
}

int UpdateSubtitles() {
    int idle = SubtitleBusyFrames > 0 ? 0 : 1;
    if (SubtitleBusyFrames > 0) --SubtitleBusyFrames;
    RecordGameCall("UpdateSubtitles", nullptr, idle);
    return idle;
}
