// Subtitles.
#include "game/dqx_subtitles.h"

#include "game/characters.h"
#include "platform/step_log.h"

SubtitleState Subtitles{};
int32_t SubtitleBusyFrames = 0;

void StopSubtitle() {
    LogStep("StopSubtitle");
}

void ClearSubtitles() {
    Subtitles = SubtitleState{};
}

int SetSubtitle(const char*, const char*, int, int) {
    return 0;
}

int UpdateSubtitles() {
    int idle = SubtitleBusyFrames > 0 ? 0 : 1;
    if (SubtitleBusyFrames > 0) --SubtitleBusyFrames;
    RecordGameCall("UpdateSubtitles", nullptr, idle);
    return idle;
}

void FinishSubtitle() {}

int DuckVoice() {
    return 0;
}

int RestoreVoice() {
    return 0;
}

void DrawSubtitle() {
    RecordGameCall("DrawSubtitle", nullptr, Subtitles.mode);
}
