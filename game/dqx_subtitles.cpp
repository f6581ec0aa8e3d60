// Subtitles: the state only; nothing sets or draws a subtitle yet.
#include "game/dqx_subtitles.h"

#include "game/characters.h"
#include "platform/step_log.h"

SubtitleState Subtitles{};

void StopSubtitle() {
    LogStep("StopSubtitle");
}

void ClearSubtitles() {
    Subtitles = SubtitleState{};
}

void DrawSubtitle() {
    RecordGameCall("DrawSubtitle", nullptr, Subtitles.mode);
}
