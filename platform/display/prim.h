// The pixel primitives of the PrimTable sets (declared with the tables in
// drawtables.h).  Every routine draws into the locked frame buffer without
// clipping; callers go through ActivePrimTable by slot.
#pragma once

#include <cstdint>

// Bresenham's line through ActivePrimTable slot 7, both end points drawn:
// the same routine in every set.
void Prim_Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
