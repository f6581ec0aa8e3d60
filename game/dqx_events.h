// Scripted events and their timers, as far as the mission life cycle asks.
// Stand-ins under their final names: each only logs its step
// (platform/step_log.h).
#pragma once

// The ten event timers cleared.
void ClearEventTimers();
// The events of a room being left.
void RunArrivalEvents();
// One pass over the event scripts.
void RunEvents(int mode);
// The events of a room just entered.
void RunRoomEntryEvents();
// The mission's marked character forgotten.
void ClearMarkedCharacter();
