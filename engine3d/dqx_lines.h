// Lines and pixels on a 16-bit buffer laid out like the 3D view: W pixels a
// row and H rows, the two values of Set_ViewSize.  The engine's debug
// displays draw outlines and markers with them; colours are pixel values in
// the screen's format and nothing is blended.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

// Writes colour at (x, y) when 0 <= x < W and 0 <= y < H.
void Put_Pixel(uint16_t* buffer, int32_t x, int32_t y, uint16_t colour);
// Moves the ends of a segment onto the buffer's edges: 1 when (the moved
// segment) can be drawn, 0 when it lies outside or could not be moved in.
int Clip_Line(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1);
// Clips, then draws with Bresenham's stepping, both ends included.
void Draw_Line(uint16_t* buffer, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t colour);

// Debug drawings nothing in the program calls: text from a bitmap font of
// 16 bytes a character (none until one is given), the wireframes of box
// records from their projected corners, and the axes of a placement.
void Set_LineFont(const uint8_t* font);
void Draw_LineText(uint16_t* buffer, int32_t w, int32_t h, int32_t x, int32_t y, const char* text, uint16_t colour,
                   int bold);
// Every box of a node in colour 255; nothing when the node is outside.
void Draw_ObjBoxes(uint16_t* buffer, PoolRef<Obj3D> node);
// Box record n of a handle; nothing when the node is outside or crosses
// the near or far plane.
int Draw_ObjBox(uint16_t* buffer, ObjHandle h, int n, uint16_t colour);
// Draw_ObjBoxes for every node the walk from `start` moves to.
void Draw_TreeBoxes(uint16_t* buffer, PoolRef<Obj3D> start);
// The three axes of a camera-space placement, 100 units long, in red,
// green and blue; nothing when the point lies behind the near plane.
void Draw_ObjAxes(uint16_t* buffer, const Vec3* point, const Mat3* matrix);
