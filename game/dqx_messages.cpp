// Messages and dialogues, as far as the mission life cycle asks.
#include "game/dqx_messages.h"

#include "platform/step_log.h"

int32_t PendingVoice = -1;

void LoadDialogues(int restoring) {
    LogStep("LoadDialogues", restoring);
}

void FreeMessages() {
    LogStep("FreeMessages");
}
