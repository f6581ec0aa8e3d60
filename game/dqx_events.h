// Scripted events, as far as the game loop and the mission life cycle ask
// (their countdowns and condition tests are dqx_lookup's).
// Stand-ins under their final names: each only logs its call.
#pragma once

#include "game/dqx_lookup.h"

// The events of a room being left.
void RunArrivalEvents();
// The events of a room just entered.
void RunRoomEntryEvents();
// The mission's marked character forgotten.
void ClearMarkedCharacter();
// One pass over the mission's events.
void RunEvents(int mode);
