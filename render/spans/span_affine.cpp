// The affine textured span routines: u and v stepped linearly along the
// span, by pointer stepping (exact 16.16, no wrap: the index is kept to the
// map's 64 K texels) or, for the saturating sums, by wrapping stepping.
#include "render/spans/span_inner.h"

#include "platform/errors.h"

#include <cmath>

using namespace span;

namespace {
bool g_noFrameTableNoted = false;
}

void span::NoteNoFrameTable() {
    if (g_noFrameTableNoted) return;
    g_noFrameTableNoted = true;
    DebugLog("SPAN: no frame table, frame modes drawn from the plain map");
}

void SPAN_ForgetFrameTableNote() {
    g_noFrameTableNoted = false;
}

bool span::FrameOf(const SpanContext& ctx, const SpanNode& n, Frame* f) {
    uint32_t t = n.texels;
    uint64_t entry = uint64_t(t) + uint64_t(n.level) * 8;
    if (!ctx.base || t < kTextureColourBytes || entry + 8 > ctx.baseSize) return false;
    if (ctx.holdsFrameTable && !ctx.holdsFrameTable(t)) return false;
    const uint8_t* e = ctx.base + entry;
    uint32_t offset = uint32_t(e[0]) | uint32_t(e[1]) << 8 | uint32_t(e[2]) << 16 | uint32_t(e[3]) << 24;
    uint32_t shift = e[4];
    uint32_t rowLength = uint32_t(e[6]) | uint32_t(e[7]) << 8;
    if (shift < 1 || shift > 16 || rowLength != 1u << (16 - shift)) return false;
    uint64_t image = uint64_t(t) + offset;
    if (image + 65536 > ctx.baseSize) return false;
    f->image = ctx.base + image;
    f->colours = ctx.base + t;
    f->rowLength = rowLength;
    return true;
}

SpanNode span::AtLevelZero(const SpanNode& n, bool floats) {
    SpanNode full = n;
    const uint32_t level = Level(n.level);
    auto up = [floats, level](SpanWord w) {
        if (floats)
            w.f = std::ldexp(w.f, int(level));
        else
            w.i = int32_t(uint32_t(w.i) * (1u << level));
        return w;
    };
    full.u = up(full.u);
    full.v = up(full.v);
    full.uSlope = up(full.uSlope);
    full.vSlope = up(full.vSlope);
    if (floats) {
        full.tail[1] = up(full.tail[1]);
        full.tail[2] = up(full.tail[2]);
    }
    return full;
}

namespace {

// The shade row stepped per pixel: 16.16 rows, the integer byte taken as
// the row.
struct ShadeStep {
    uint32_t shade, step;
    ShadeStep(const SpanNode& n, int32_t start) {
        step = uint32_t(n.tail[2].i);
        shade = uint32_t(n.tail[0].i) + step * Lead(n, start);
    }
    uint32_t Row() {
        uint32_t row = RowOfByte(shade >> 16);
        shade += step;
        return row;
    }
};

template <bool Is555>
void AffineHalf(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        AffineSource src(n, start);
        WritePairs(Pixels(px), count, src, HalfPix<Is555>{t, ColourRow(t, n.row)});
    }
    px += 2 * count;
}

template <bool Is555>
void AffineKeyedHalf(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        const uint8_t* row = ColourRow(t, n.row);
        AffineSource src(n, start);
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) {
            uint8_t texel = t[src.Next()];
            if (texel) p[i] = Half<Is555>::Single(Colour(row, texel), p[i]);
        }
    }
    px += 2 * count;
}

template <bool Is555>
void AffineAdd(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        const uint8_t* row = ColourRow(t, n.row);
        WrapSource src(n, start);
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) p[i] = AddSaturated<Is555>(Colour(row, t[src.Next()]), p[i]);
    }
    px += 2 * count;
}

// The depth-tested routines: `keyed` leaves texel 0's pixels, `half`
// blends with the halving mask.
template <bool Keyed, bool Halved>
void AffineDepth(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        const uint8_t* row = ColourRow(t, n.row);
        AffineSource src(n, start);
        DepthTest depth(ctx, n, start);
        uint16_t* p = Pixels(px);
        uint32_t h = ctx.halfMask;
        for (int32_t i = 0; i < count; ++i) {
            uint8_t texel = t[src.Next()];
            if (!depth.Pass(i) || (Keyed && texel == 0)) continue;
            uint16_t c = Colour(row, texel);
            p[i] = Halved ? uint16_t(((c >> 1) & h) + ((p[i] >> 1) & h)) : c;
        }
    }
    px += 2 * count;
}

}  // namespace

void SPAN_Affine(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        AffineSource src(n, start);
        WritePairs(Pixels(px), count, src, ColourPix{t, ColourRow(t, n.row)});
    }
    px += 2 * count;
}

void SPAN_AffineFrame(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    Frame f;
    if (FrameOf(ctx, n, &f)) {
        AffineFrameSource src(n, start, f.rowLength);
        WritePairs(Pixels(px), count, src, ColourPix{f.image, ColourRow(f.colours, n.row)});
        px += 2 * count;
        return;
    }
    // No frame table: the plain map at full size, as mode 2 draws it.
    NoteNoFrameTable();
    SPAN_Affine(ctx, px, count, start, AtLevelZero(n, false));
}

void SPAN_Affine8(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        AffineSource src(n, start);
        for (int32_t i = 0; i < count; ++i) px[i] = t[src.Next()];
    }
    px += count;
}

void SPAN_Affine8Wide(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        AffineSource src(n, start);
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) p[i] = t[src.Next()];
    }
    px += 2 * count;
}

void SPAN_AffineHalf565(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineHalf<false>(ctx, px, count, start, n);
}
void SPAN_AffineHalf555(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineHalf<true>(ctx, px, count, start, n);
}
void SPAN_AffineKeyedHalf565(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineKeyedHalf<false>(ctx, px, count, start, n);
}
void SPAN_AffineKeyedHalf555(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineKeyedHalf<true>(ctx, px, count, start, n);
}
void SPAN_AffineAdd565(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineAdd<false>(ctx, px, count, start, n);
}
void SPAN_AffineAdd555(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineAdd<true>(ctx, px, count, start, n);
}

void SPAN_AffineShaded(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        AffineSource src(n, start);
        ShadeStep shade(n, start);
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) p[i] = Colour(ColourRow(t, shade.Row()), t[src.Next()]);
    }
    px += 2 * count;
}

void SPAN_AffineFrameShaded(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    Frame f;
    if (FrameOf(ctx, n, &f)) {
        AffineFrameSource src(n, start, f.rowLength);
        ShadeStep shade(n, start);
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) p[i] = Colour(ColourRow(f.colours, shade.Row()), f.image[src.Next()]);
        px += 2 * count;
        return;
    }
    // No frame table: the plain map at full size, as mode 22 draws it.
    NoteNoFrameTable();
    SPAN_AffineShaded(ctx, px, count, start, AtLevelZero(n, false));
}

void SPAN_AffineAlpha(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    const uint8_t* t = Texels(ctx, n, 65536);
    if (t && ctx.translucency) {
        const uint8_t* row = ColourRow(t, n.row);
        uint32_t a = Level(uint32_t(n.colour) >> 8);
        AffineSource src(n, start);
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) p[i] = Translucent(*ctx.translucency, a, Colour(row, t[src.Next()]), p[i]);
    }
    px += 2 * count;
}

void SPAN_AffineTexelAlpha(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    const uint8_t* t = Texels(ctx, n, 131072);
    if (t && ctx.translucency) {
        const uint8_t* row = ColourRow(t, n.row);
        AffineSource src(n, start);
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* texel = t + 2 * src.Next();
            p[i] = Translucent(*ctx.translucency, Level(texel[1]), Colour(row, texel[0]), p[i]);
        }
    }
    px += 2 * count;
}

void SPAN_AffineDepthTest(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineDepth<false, false>(ctx, px, count, start, n);
}
void SPAN_AffineKeyedDepthTest(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineDepth<true, false>(ctx, px, count, start, n);
}
void SPAN_AffineHalfDepthTest(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineDepth<false, true>(ctx, px, count, start, n);
}
void SPAN_AffineKeyedHalfDepthTest(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    AffineDepth<true, true>(ctx, px, count, start, n);
}
