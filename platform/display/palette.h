// Palettes and fades.
#pragma once

#include <cstdint>

// Fades all 256 entries of the palette from step `from` to step `to` out of
// `total`, handing each step to the display.
void FadePalette(const uint8_t* palette, int from, int to, int total, int kind);
