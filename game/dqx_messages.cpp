// Messages, dialogues and subtitles, as far as the game loop and the
// mission life cycle ask.
#include "game/dqx_messages.h"

#include "game/characters.h"
#include "platform/step_log.h"

int32_t PendingVoice = -1;

void LoadDialogues(int restoring) {
    LogStep("LoadDialogues", restoring);
}

void FreeMessages() {
    LogStep("FreeMessages");
}

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
