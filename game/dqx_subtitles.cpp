// Subtitles: the state only; nothing sets or draws a subtitle yet.
#include "game/dqx_subtitles.h"

SubtitleState Subtitles{};

void ClearSubtitles() {
    Subtitles = SubtitleState{};
}
