// game-soft's span back end: the span routines, one per drawing mode, and
// the two routine tables through which the span insertion and the span-list
// walker call them.
//
// Every routine draws `count` (at least 1) pixels of one span left to right
// from `px`, the address of the span's first pixel in a 16-bit frame line,
// with the values of `node` carried from the node's first column to the
// span's first column `start`, and leaves `px` just past the last pixel:
// 2 bytes a pixel, 1 byte a pixel for the 8-bit routines of modes 10 to 13.
// Routines are free functions over an explicit context that holds what they
// read besides the node (the pool the node's texel offsets point into, the
// fill word, the background picture, the depth record, the translucency
// tables) and their scratch; the caller owns it.
//
// Float values are binary32, rounded after each operation; conversions to
// integers round to nearest, ties to even, through the 1.5 x 2^52 constant
// (the low 32 bits of the double sum).
#pragma once

#include "engine3d/dqx_view.h"
#include "render/sr_fill.h"
#include "render/sr_records.h"

#include <cstdint>
#include <cstring>

struct SpanContext {
    // The memory that node texel offsets and the insertion's span and node
    // links count from (the 3D pool), and its size: a span whose texture,
    // colour table or frame image would reach outside it draws nothing.
    uint8_t* base = nullptr;
    uint32_t baseSize = 0;
    // The frame modes read a texture's frame table only when this says the
    // texture (its texels' offset) holds one; without it every texture's
    // entries are taken as they stand (and checked).
    bool (*holdsFrameTable)(uint32_t texels) = nullptr;
    // Modes 13 and 14: the fill colour in each half.
    uint32_t fillWord = 0;
    // Mode 15: the background picture (its row length in pixels) at line
    // currentLine; without one the pixels become 0.
    const uint16_t* background = nullptr;
    int32_t backgroundRowLength = 0;
    // The screen line being drawn (background copy, depth tests).
    int32_t currentLine = 0;
    // Modes -15, -11, -10, 17 and 18 compare against it; without one every
    // pixel passes.
    const SpanDepthRecord* depth = nullptr;
    // Modes -13, -12, -9 and -8.
    const ShadeTableSet* translucency = nullptr;
    // The halving mask of the depth-tested halves (-10, -15): 0x7BEF, or
    // 0x3DEF once the tables are switched to 5-5-5.
    uint16_t halfMask = 0x7BEF;

    // Scratch of the colour-keyed routines: the texel indices of a block of
    // 16 pixels, and the masks of its four groups followed by the end
    // marker -1.
    alignas(16) uint8_t blockTexels[16] = {};
    int32_t blockMasks[5] = {};
};

using SpanRoutine = void (*)(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);

// One routine per mode from -22 to 35, indexed by mode + 22.
constexpr int kSpanModes = kSpanModeMax - kSpanModeMin + 1;
struct SpanRoutineTable {
    SpanRoutine entry[kSpanModes];
    // A mode outside the table (never produced: the filing keeps only the
    // modes of the set-up families) has no routine.
    SpanRoutine At(int32_t mode) const {
        return mode < kSpanModeMin || mode > kSpanModeMax ? nullptr : entry[mode - kSpanModeMin];
    }
    SpanRoutine& operator[](int32_t mode) { return entry[mode - kSpanModeMin]; }
};

// The two tables: the first for the insertion, the second for the walker,
// and the halving mask the depth-tested halves take with them.
struct SpanTables {
    SpanRoutineTable insertion;
    SpanRoutineTable walker;
    uint16_t halfMask;
};

// The tables as they load: the 5-6-5 blends on the modes the rasterizer
// produces.  Modes 10 to 13 hold their 16-bit forms (the 8-bit value in the
// low byte, 2 bytes a pixel), so that the address stays right through the
// insertion and pieces after them land where they belong.
SpanTables SPAN_LoadTables();
// Exchanges the 5-6-5 and 5-5-5 routines of the pairs (-18, -4), (-17, -3),
// (-16, -2), (-14, -19), (-7, -20), (-21, -22), (32, 33), (34, 35) in one
// table, in that order.
void SPAN_SwapTable(SpanRoutineTable& table);
// Both tables, and the halving mask between 0x7BEF and 0x3DEF.  Twice is
// the same as never.
void SPAN_SwapTables555(SpanTables& tables);

// Draws one line's records from `last` back towards the first: a record
// whose end is not past its start is passed over; the routine of its mode
// from the walker's table gets line + 2 x start; mode -1 ends the walk.
void SPAN_DrawSpanList(SpanContext& ctx, const SpanRoutineTable& walker, uint8_t* line, const SpanRecord* last);

// Settles one line's spans front to back and draws each visible piece at
// once through the insertion's table, from the left sentinel's end column
// to the right sentinel's start column.  The span list runs from `left` by
// next links (pool offsets from ctx.base) in order of start x and ends with
// `right`; `background` covers the whole line at the farthest depth.  The
// pixel address starts at line + 2 x the first column and is carried from
// piece to piece.  The spans' current node, behind link and depth at the
// event are written.
void SPAN_InsertSpans(SpanContext& ctx, const SpanRoutineTable& table, SpanLine* left, SpanLine* right,
                      SpanLine* background, uint8_t* line);

// Modes 20, 21, 25 and 26 whose texture holds no valid frame-table entry
// for the node's level draw level 0 of the plain map, as their plain
// counterparts (3, 2, 22, and 3 in the shade start's row) do, and say so
// once in the debug log; a new run may say it again.
void SPAN_ForgetFrameTableNote();

// The float-to-integer conversion of the routines: the low 32 bits of x +
// 1.5 x 2^52 (round to nearest, ties to even, for |x| < 2^51).
inline int32_t SPAN_Round(double x) {
    double t = x + 6755399441055744.0;
    uint64_t bits;
    std::memcpy(&bits, &t, sizeof bits);
    return int32_t(uint32_t(bits));
}

// ---------------------------------------------------------------------------
// The routines
// ---------------------------------------------------------------------------

// Nothing drawn.  Skip advances the address by the span; EndList ends the
// walker; Ignore returns at once.
void SPAN_Skip(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_EndList(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Ignore(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);

// Fills and copies.
void SPAN_Solid(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Fill0101(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_FillGlobal(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_CopyBackground(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_SolidHalf565(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_SolidHalf555(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_SolidDepthTest(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);

// 8-bit pixels (1 byte a pixel), and their 16-bit forms for the tables.
void SPAN_Solid8(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_FillGlobal8(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Affine8(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Persp8(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Solid8Wide(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_FillGlobal8Wide(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Affine8Wide(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Persp8Wide(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);

// Affine textures (u and v 16.16 stepped along the span).
void SPAN_Affine(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineFrame(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineHalf565(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineHalf555(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineKeyedHalf565(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineKeyedHalf555(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineAdd565(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineAdd555(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineShaded(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineFrameShaded(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineAlpha(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineTexelAlpha(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineDepthTest(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineKeyedDepthTest(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineHalfDepthTest(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineKeyedHalfDepthTest(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_AffineKeyed(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);

// Perspective textures (u/z and v/z divided by the depth value once per 16
// pixels).
void SPAN_Persp(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspWrap(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspHalf565(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspHalf555(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspWrapHalf565(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspWrapHalf555(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspAlpha(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspTexelAlpha(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
// Modes 26 and 20: the frame's texels in the row of the shade start (26),
// or of the face's shade row (20, whose records stop short of the shade).
void SPAN_PerspFrame(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspFrameRow(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_Persp16(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
void SPAN_PerspKeyed(SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& node);
