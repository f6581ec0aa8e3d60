// Colour look-ups on the screen's formats that the drawing code needs: the
// nearest palette entry and the unpacking of a pixel by the screen's
// channel layout.
#pragma once

#include <cstdint>

// The index of the palette entry nearest to rgb (red, green, blue), by the
// weighted distance (29 x blue^2 + 150 x green^2 + 77 x red^2) >> 8 of the
// differences; ties go to the lower index.
uint8_t NearestColour(const uint8_t* rgb, const uint8_t* palette);
// Unpacks a pixel by ScreenState's red, green and blue sizes and shifts into
// 8-bit channels (the low bits stay 0): rgb = red, green, blue.
void ConvertPixelRow(uint32_t pixel, uint8_t* rgb);
