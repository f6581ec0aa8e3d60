// The perspective textured span routines: u/z and v/z divided by the depth
// value once per run of 16 pixels and stepped linearly inside each run,
// with 8-bit fractions.
#include "render/spans/span_inner.h"

using namespace span;

namespace {

// (k - 1) / 16 for k = 1..17 (entry k), and 1 / k for k = 1..16.
constexpr float kRunFraction[18] = {0.0f,        0.0f,        1.0f / 16,  2.0f / 16,  3.0f / 16,  4.0f / 16,
                                    5.0f / 16,   6.0f / 16,   7.0f / 16,  8.0f / 16,  9.0f / 16,  10.0f / 16,
                                    11.0f / 16,  12.0f / 16,  13.0f / 16, 14.0f / 16, 15.0f / 16, 16.0f / 16};
constexpr float kReciprocal[17] = {0.0f,       1.0f,       1.0f / 2,  1.0f / 3,  1.0f / 4,  1.0f / 5,
                                   1.0f / 6,   1.0f / 7,   1.0f / 8,  1.0f / 9,  1.0f / 10, 1.0f / 11,
                                   1.0f / 12,  1.0f / 13,  1.0f / 14, 1.0f / 15, 1.0f / 16};

inline int32_t Sub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}

// The per-pixel step of a run of r pixels from its start to its end
// coordinate: the difference times 1 / r, rounded.
inline int32_t PartialStep(int32_t end, int32_t start, int32_t r) {
    float diff = float(Sub(end, start));
    return SPAN_Round(double(diff * kReciprocal[r]));
}

}  // namespace

PerspSchedule::PerspSchedule(const SpanNode& n, int32_t pixels, int32_t start) {
    // The values at the first pixel's centre: (start + 1) x 65536 - node x,
    // in 16.16, made a float.
    float dx = float(Sub(int32_t(uint32_t(start + 1) << 16), n.x)) * (1.0f / 65536.0f);
    wSlope = n.keySlope;
    uSlope = n.uSlope.f;
    vSlope = n.vSlope.f;
    w = n.key + wSlope * dx;
    uz = n.u.f + uSlope * dx;
    vz = n.v.f + vSlope * dx;
    wInc = n.tail[0].f;
    uInc = n.tail[1].f;
    vInc = n.tail[2].f;
    count = pixels;
    stage = 0;
    left = pixels;
    u = v = 0;
    if (count > 16) {
        float iw = 1.0f / w;
        u = SPAN_Round(double(uz * iw));
        v = SPAN_Round(double(vz * iw));
    }
}

int32_t PerspSchedule::NextRun(int32_t* u0, int32_t* v0, int32_t* du, int32_t* dv) {
    *du = *dv = 0;
    if (count <= 2) {
        // One pixel at a time, each divided exactly.
        if (stage++ > 0) {
            w += wSlope;
            uz += uSlope;
            vz += vSlope;
        }
        *u0 = SPAN_Round(double(uz / w));
        *v0 = SPAN_Round(double(vz / w));
        left -= 1;
        return 1;
    }
    if (count <= 16) {
        // Divided at the first pixel and at the last.
        int32_t us = SPAN_Round(double(uz / w)), vs = SPAN_Round(double(vz / w));
        float f = kRunFraction[count];
        float we = w + f * wInc, ue = uz + f * uInc, ve = vz + f * vInc;
        *u0 = us;
        *v0 = vs;
        *du = PartialStep(SPAN_Round(double(ue / we)), us, count);
        *dv = PartialStep(SPAN_Round(double(ve / we)), vs, count);
        left = 0;
        return count;
    }
    *u0 = u;
    *v0 = v;
    if (left > 16) {
        // A full run: it ends where the next one starts.
        w += wInc;
        uz += uInc;
        vz += vInc;
        float iw = 1.0f / w;
        int32_t ue = SPAN_Round(double(uz * iw)), ve = SPAN_Round(double(vz * iw));
        *du = Sub(ue, u) >> 4;
        *dv = Sub(ve, v) >> 4;
        u = ue;
        v = ve;
        left -= 16;
        return 16;
    }
    // The final run of r pixels ends on the span's last pixel.
    int32_t r = left;
    float f = kRunFraction[r];
    float we = w + f * wInc, ue = uz + f * uInc, ve = vz + f * vInc;
    float iw = 1.0f / we;
    *du = PartialStep(SPAN_Round(double(ue * iw)), u, r);
    *dv = PartialStep(SPAN_Round(double(ve * iw)), v, r);
    left = 0;
    return r;
}

namespace {

template <class Index>
using Source = PerspSource<Index>;

template <bool Is555, class Index>
void PerspHalf(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        Source<Index> src(n, count, start, Index{});
        WritePairs(Pixels(px), count, src, HalfPix<Is555>{t, ColourRow(t, n.row)});
    }
    px += 2 * count;
}

}  // namespace

void SPAN_Persp(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        Source<PointerIndex> src(n, count, start, PointerIndex{});
        WritePairs(Pixels(px), count, src, ColourPix{t, ColourRow(t, n.row)});
    }
    px += 2 * count;
}

void SPAN_PerspWrap(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        Source<WrapIndex> src(n, count, start, WrapIndex{});
        WritePairs(Pixels(px), count, src, ColourPix{t, ColourRow(t, n.row)});
    }
    px += 2 * count;
}

void SPAN_PerspHalf565(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspHalf<false, PointerIndex>(ctx, px, count, start, n);
}
void SPAN_PerspHalf555(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspHalf<true, PointerIndex>(ctx, px, count, start, n);
}
void SPAN_PerspWrapHalf565(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspHalf<false, WrapIndex>(ctx, px, count, start, n);
}
void SPAN_PerspWrapHalf555(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspHalf<true, WrapIndex>(ctx, px, count, start, n);
}

void SPAN_PerspAlpha(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    const uint8_t* t = Texels(ctx, n, 65536);
    if (t && ctx.translucency) {
        const uint8_t* row = ColourRow(t, n.row);
        uint32_t a = Level(n.level);
        Source<PointerIndex> src(n, count, start, PointerIndex{});
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) p[i] = Translucent(*ctx.translucency, a, Colour(row, t[src.Next()]), p[i]);
    }
    px += 2 * count;
}

void SPAN_PerspTexelAlpha(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    const uint8_t* t = Texels(ctx, n, 131072);
    if (t && ctx.translucency) {
        const uint8_t* row = ColourRow(t, n.row);
        Source<PointerIndex> src(n, count, start, PointerIndex{});
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) {
            const uint8_t* texel = t + 2 * src.Next();
            p[i] = Translucent(*ctx.translucency, Level(texel[1]), Colour(row, texel[0]), p[i]);
        }
    }
    px += 2 * count;
}

void SPAN_Persp8(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        Source<PointerIndex> src(n, count, start, PointerIndex{});
        for (int32_t i = 0; i < count; ++i) px[i] = t[src.Next()];
    }
    px += count;
}

void SPAN_Persp8Wide(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        Source<PointerIndex> src(n, count, start, PointerIndex{});
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) p[i] = t[src.Next()];
    }
    px += 2 * count;
}

// The row of the whole span is the integer part of the perspective shade
// start, as it stands at the node.
void SPAN_PerspFrame(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    Frame f;
    if (FrameOf(ctx, n, &f)) {
        Source<FrameIndex> src(n, count, start, FrameIndex{f.rowLength});
        uint32_t row = RowOfByte(uint32_t(n.shade) >> 16);
        WritePairs(Pixels(px), count, src, ColourPix{f.image, ColourRow(f.colours, row)});
    }
    px += 2 * count;
}

void SPAN_Persp16(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 131072)) {
        Source<PointerIndex> src(n, count, start, PointerIndex{});
        uint16_t* p = Pixels(px);
        for (int32_t i = 0; i < count; ++i) std::memcpy(p + i, t + 2 * src.Next(), 2);
    }
    px += 2 * count;
}
