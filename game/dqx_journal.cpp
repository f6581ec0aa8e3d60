// The mission journal.
#include "game/dqx_journal.h"

#include "platform/step_log.h"

void StartMissionJournal() {
    LogStep("StartMissionJournal");
}

void CloseJournal() {
    LogStep("CloseJournal");
}
