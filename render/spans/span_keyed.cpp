// The colour-keyed span routines: texel index 0 leaves its pixel.  Blocks of
// 16 pixels are fetched ahead, reduced to one 4-bit mask per group of 4
// pixels (bit 3 for the group's first texel being 0 ... bit 0 for its
// fourth), and each group is written by the fragment of its mask, which
// stores exactly the group's opaque pixels.  What is left over is drawn one
// pixel at a time.
#include "render/spans/span_inner.h"

using namespace span;

namespace {

// Builds the four masks of the block in the context's texel buffer and the
// end marker after them.  Each mask bit is the borrow of texel - 1.
void BuildMasks(SpanContext& ctx) {
    for (int g = 0; g < 4; ++g) {
        const uint8_t* t = ctx.blockTexels + 4 * g;
        int32_t m = 0;
        for (int k = 0; k < 4; ++k) m = m << 1 | int32_t((uint32_t(t[k]) - 1u) >> 31);
        ctx.blockMasks[g] = m;
    }
    ctx.blockMasks[4] = -1;
}

// The 16 fragments: each writes the pixels of its group whose mask bit is
// clear.
inline void Fragment(int32_t mask, uint16_t* p, const uint8_t* t, const uint8_t* row) {
    switch (mask) {
    case 0: p[0] = Colour(row, t[0]); p[1] = Colour(row, t[1]); p[2] = Colour(row, t[2]); p[3] = Colour(row, t[3]); break;
    case 1: p[0] = Colour(row, t[0]); p[1] = Colour(row, t[1]); p[2] = Colour(row, t[2]); break;
    case 2: p[0] = Colour(row, t[0]); p[1] = Colour(row, t[1]); p[3] = Colour(row, t[3]); break;
    case 3: p[0] = Colour(row, t[0]); p[1] = Colour(row, t[1]); break;
    case 4: p[0] = Colour(row, t[0]); p[2] = Colour(row, t[2]); p[3] = Colour(row, t[3]); break;
    case 5: p[0] = Colour(row, t[0]); p[2] = Colour(row, t[2]); break;
    case 6: p[0] = Colour(row, t[0]); p[3] = Colour(row, t[3]); break;
    case 7: p[0] = Colour(row, t[0]); break;
    case 8: p[1] = Colour(row, t[1]); p[2] = Colour(row, t[2]); p[3] = Colour(row, t[3]); break;
    case 9: p[1] = Colour(row, t[1]); p[2] = Colour(row, t[2]); break;
    case 10: p[1] = Colour(row, t[1]); p[3] = Colour(row, t[3]); break;
    case 11: p[1] = Colour(row, t[1]); break;
    case 12: p[2] = Colour(row, t[2]); p[3] = Colour(row, t[3]); break;
    case 13: p[2] = Colour(row, t[2]); break;
    case 14: p[3] = Colour(row, t[3]); break;
    default: break;
    }
}

// Runs the fragments of the block's groups up to the end marker; answers
// the address past the block.
uint16_t* RunBlock(SpanContext& ctx, uint16_t* p, const uint8_t* row) {
    BuildMasks(ctx);
    const uint8_t* t = ctx.blockTexels;
    for (const int32_t* m = ctx.blockMasks; *m != -1; ++m, p += 4, t += 4) Fragment(*m, p, t, row);
    return p;
}

// One pixel: left when its texel is 0.
inline void KeyedPixel(uint16_t* p, const uint8_t* texels, uint32_t index, const uint8_t* row) {
    uint8_t t = texels[index];
    if (t) *p = Colour(row, t);
}

}  // namespace

// Affine: the slopes' two lowest bits cleared; a leading pixel on an
// address that is not 4-byte aligned, blocks of 16 fetched with 16-bit
// fractions while 16 pixels remain (the leading pixel steps with them),
// and the rest one by one with 8-bit fractions.
void SPAN_AffineKeyed(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    const uint8_t* t = Texels(ctx, n, 65536);
    if (!t) {
        px += 2 * count;
        return;
    }
    const uint8_t* row = ColourRow(t, n.row);
    AffineSource src(n, start, ~3u);
    uint16_t* p = Pixels(px);
    uint16_t* end = p + count;
    int32_t lead = Aligned(p) ? 0 : 1;
    if (count - lead >= 16) {
        if (lead) KeyedPixel(p++, t, src.Next(), row);
        while (end - p >= 16) {
            for (int k = 0; k < 16; ++k) ctx.blockTexels[k] = t[src.Next()];
            p = RunBlock(ctx, p, row);
        }
    }
    // One by one: the top 8 bits of the fractions.
    uint32_t au = src.u >> 8, av = src.v >> 8, dau = uint32_t(int32_t(src.du) >> 8), dav = uint32_t(int32_t(src.dv) >> 8);
    for (; p < end; ++p, au += dau, av += dav) KeyedPixel(p, t, ((av & 0xFF00) + (au >> 8)) & 0xFFFF, row);
    px += 2 * count;
}

// Perspective: up to 16 pixels one by one; longer spans draw each full run
// of 16 as a block and the final run one by one.
void SPAN_PerspKeyed(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    const uint8_t* t = Texels(ctx, n, 65536);
    if (!t) {
        px += 2 * count;
        return;
    }
    const uint8_t* row = ColourRow(t, n.row);
    PerspSchedule schedule(n, count, start);
    uint16_t* p = Pixels(px);
    uint16_t* end = p + count;
    while (p < end) {
        int32_t u0, v0, du, dv;
        int32_t r = schedule.NextRun(&u0, &v0, &du, &dv);
        uint32_t au = uint32_t(u0 >> 8), av = uint32_t(v0 >> 8), dau = uint32_t(du >> 8), dav = uint32_t(dv >> 8);
        // A full run with more pixels after it goes as a block; the final
        // run one pixel at a time.
        if (count > 16 && schedule.left > 0) {
            for (int k = 0; k < 16; ++k, au += dau, av += dav) ctx.blockTexels[k] = t[((av & 0xFF00) + (au >> 8)) & 0xFFFF];
            p = RunBlock(ctx, p, row);
            continue;
        }
        for (int32_t k = 0; k < r; ++k, ++p, au += dau, av += dav) KeyedPixel(p, t, ((av & 0xFF00) + (au >> 8)) & 0xFFFF, row);
    }
    px += 2 * count;
}
