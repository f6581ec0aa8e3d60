// Row kernels of the unscaled blits on 32-byte vectors, built in a file of
// their own with AVX2 code generation and used only on processors that
// have it.  Each answers how many leading pixels of the row it drew (a
// whole number of vectors, 0 without AVX2); the caller draws the rest.
// The rules are those of the blit sets, pixel for pixel.
#pragma once

#include <cstdint>

// The call's constants, as the blit took them.
struct WideConstants {
    uint32_t key, white, colour, half, level, inverse;
};

// Whether the processor runs the wide kernels.
bool WideRowsAvailable();
// Keyed copy of 1-, 2- or 4-byte pixels (key and white must fit a pixel).
int64_t WideKeyedRow(int pixelBytes, uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c);
// Half blend of 2- or 4-byte pixels (key, white and mask must fit a pixel).
int64_t WideHalfRow(int pixelBytes, uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c);
// The MMX set's level blend, saturating add and fade on 4-byte pixels.
int64_t WideLevelRow(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c);
int64_t WideSaturateRow(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c);
int64_t WideFadeRow(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c);
