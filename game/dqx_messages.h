// Messages and dialogues, as far as the mission life cycle asks.
// Stand-ins under their final names: each only logs its step
// (platform/step_log.h).
#pragma once

#include <cstdint>

// The voice of a spoken line still to be waited for, -1 when none.
extern int32_t PendingVoice;

// The mission's dialogues loaded.
void LoadDialogues(int restoring);
// The messages freed.
void FreeMessages();
