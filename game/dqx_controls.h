// Player controls: the power selection, as far as the mission life cycle
// sets it.
#pragma once

#include <cstdint>

// 0 spells, 1 weapons.
extern uint8_t PowerSelection;
