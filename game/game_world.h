// What the run body needs of the game world and front end.
#pragma once

#include <cstdint>

#include "game/dqx_overlay.h"
#include "game/player_settings.h"

// Waits while the voice plays, at most 3000 ms, pumping messages and
// refilling the sound streams (a spoken line is a stream: unfed, it would
// loop its last two blocks until the time is up).
void WaitForVoiceEnd(int voice);
