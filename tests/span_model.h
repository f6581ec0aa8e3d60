// A closed-form model of the span routines, written apart from them: each
// pixel is computed on its own from the node and its index along the span
// (positions by multiplication, never by stepping), from the rules of the
// span routines as they are written down: which mask a blend takes by the
// pixel's address, where a perspective span divides, which pixels step with
// 8-bit fractions.  The tests compare the routines with it.
#pragma once

#include "render/spans/span_routines.h"

#include <cstdint>
#include <vector>

namespace spanmodel {

// What a routine draws, by family; the blends name their pixel layout.
enum class Kind {
    Nothing,     // the address moves on, no pixel changes
    Solid, Fill0101, FillGlobal, CopyBackground, SolidHalf565, SolidHalf555, SolidDepth,
    Solid8, FillGlobal8, Affine8, Persp8,                 // 1 byte a pixel
    Solid8Wide, FillGlobal8Wide, Affine8Wide, Persp8Wide, // the same, 2 bytes a pixel
    Affine, AffineFrame, AffineHalf565, AffineHalf555, AffineKeyedHalf565, AffineKeyedHalf555,
    AffineAdd565, AffineAdd555, AffineShaded, AffineFrameShaded, AffineAlpha, AffineTexelAlpha,
    AffineDepth, AffineKeyedDepth, AffineHalfDepth, AffineKeyedHalfDepth, AffineKeyed,
    Persp, PerspWrap, PerspHalf565, PerspHalf555, PerspWrapHalf565, PerspWrapHalf555, PerspAlpha,
    PerspTexelAlpha, PerspFrame, PerspFrameRow, Persp16, PerspKeyed,
};

// The kind a mode draws with: through the insertion's table or the
// walker's, before or after the 5-5-5 exchange.
Kind KindOf(int32_t mode, bool walker, bool swapped555);
// Bytes a pixel of the kind.
int BytesPerPixel(Kind k);
// Reads the frame buffer before the span (blends, keyed pixels).
bool ReadsFrame(Kind k);

// The pixels of one span drawn by a routine of kind k: `line` is the
// frame line (16-bit pixels, or bytes for the 8-bit kinds) whose pixel
// `start` is the span's first, changed in place; `address` is the byte
// address the routine is given (its alignment decides the pairs).
void Draw(Kind k, const SpanContext& ctx, uint8_t* first, uintptr_t address, int32_t count, int32_t start,
          const SpanNode& n);

// The rounding of the routines: to nearest, ties to even, low 32 bits.
int32_t RoundHalfEven(double x);

// The perspective schedule as runs: first pixel, length, and 16.16 start
// and per-pixel steps of u and v.
struct Run {
    int32_t first, length;
    int32_t u, v, du, dv;
};
std::vector<Run> PerspectiveRuns(const SpanNode& n, int32_t count, int32_t start);

}  // namespace spanmodel
