// The reference span fill: one routine per span mode (the PrimType of the
// run the span belongs to), behind a table of the same shape as the span
// back end's routine tables, and the walk that draws one line's span
// records through it.  game-soft's span back end takes its place; this fill
// stays as the portable renderer that back end is measured against.
//
// Every routine draws `count` pixels from `px` on, left to right, with the
// node's values carried from the node's first column to `startX`, and
// answers the address just past the last pixel.
#pragma once

#include "render/sr_records.h"

#include <cstdint>

using SpanRoutine = uint16_t* (*)(uint16_t* px, int32_t count, int32_t startX, const SpanNode* node);

// Modes -22 to 35.
constexpr int kSpanModeMin = -22;
constexpr int kSpanModeMax = 35;
struct SpanRoutineTable {
    SpanRoutine routine[kSpanModeMax - kSpanModeMin + 1];
    SpanRoutine At(int32_t mode) const {
        return mode < kSpanModeMin || mode > kSpanModeMax ? nullptr : routine[mode - kSpanModeMin];
    }
};
extern const SpanRoutineTable SR_ReferenceRoutines;

// Draws the records of one line from `last` back to the array's first
// record (mode -1 ends the walk), so that a piece appended before the pieces
// beneath it lands on top of them.  Each record covers pixels start to end -
// 1 of the line, held inside the view's columns.
void SR_FillSpan(uint16_t* line, const SpanRecord* last);

// What the routines read besides the node.
extern int32_t SpanCurrentLine;             // the screen line being drawn
extern uint32_t GlobalFillWord;             // fill colour of modes 13 and 14, in both halves
extern const uint16_t* BackgroundPicture;   // mode 15's picture, in screen coordinates
extern int32_t BackgroundRowLength;         // its row length in pixels
// The depth map of modes 17, 18 and -11: row length, shift, and one signed
// sample per pixel in screen coordinates.  Without one every pixel passes.
struct SpanDepthRecord {
    int32_t rowLength;
    int32_t shift;
    const int16_t* samples;
};
extern const SpanDepthRecord* SpanDepthBuffer;
// The 50 % blend mask of the screen format (set for each frame).
extern uint16_t g_SpanHalfMask;
uint16_t SR_HalfMask();

// The colour of texel index i in shade row r: the high half of entry
// r x 256 + i of the colour table before the texels.
inline uint16_t SR_ColourEntry(const uint8_t* texels, uint32_t row, uint32_t index) {
    const uint8_t* e = texels - kTextureColourBytes + (row * 256 + index) * 4 + 2;
    return uint16_t(e[0] | e[1] << 8);
}
