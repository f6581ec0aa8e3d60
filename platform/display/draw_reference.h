// Plain twins of the blit and primitive sets: one loop per operation over
// every pixel, each rule written out as it reads.  Slow and obviously
// right; the tests compare the sets with them pixel for pixel.
#pragma once

#include <cstdint>

struct Picture;

// k24 and k24Mmx: the rules of k32 and k32Mmx on pixels of three bytes.
enum class DrawSet { k8, k16, k32, k32Mmx, k24, k24Mmx };

// The unscaled blit of a set's slot 1-7 and the scaled blit of slot 8-13,
// on the locked frame buffer with the current globals.
void ReferenceBlit(DrawSet set, int slot, int32_t x, int32_t y, const Picture* picture);
void ReferenceScaledBlit(DrawSet set, int slot, const Picture* picture, int32_t x, int32_t y, int32_t w, int32_t h);

// The primitives of PrimTable slots 1-8 and 20 of a set.
void ReferenceHSpan(DrawSet set, int32_t x, int32_t y, int32_t length, uint32_t colour);
void ReferenceVSpan(DrawSet set, int32_t x, int32_t y, int32_t length, uint32_t colour);
void ReferenceFrameRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void ReferenceTintRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const void* table);
void ReferenceStippleRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void ReferenceFillRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void ReferenceMosaic(DrawSet set, const Picture* picture, int32_t shift);
