// Player controls.
#include "game/dqx_controls.h"

uint8_t PowerSelection = 1;
