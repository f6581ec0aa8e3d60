// Lines and pixels on a 16-bit buffer laid out like the 3D view: W pixels a
// row and H rows (the view's target size).  The engine's debug displays
// draw outlines and markers with them; nothing is blended.
#pragma once

#include <cstdint>

// Writes colour at (x, y) when 0 <= x < W and 0 <= y < H.
void Put_Pixel(uint16_t* buffer, int32_t x, int32_t y, uint16_t colour);
// Draws the segment, both ends included, where it lies on the buffer.
void Draw_Line(uint16_t* buffer, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t colour);
