// The run body: what runs between the device start and the shutdown.
#pragma once

#include <cstdint>

void RunGame();
// Colour bars, a grey ramp and a square that moves with the frame number,
// into a locked 16-bit frame buffer of the current mode.
void DrawTestPattern(uint8_t* frame, uint32_t frameNumber);
