// The perspective textured span routines: u/z and v/z divided by the depth
// value once per run of 16 pixels and stepped linearly inside each run,
// with 8-bit fractions.
#include "render/spans/span_inner.h"

using namespace span;

namespace {

template <bool Is555, class Index>
void PerspHalf(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        const uint8_t* row = ColourRow(t, n.row);
        uint16_t* p = Pixels(px);
        PerspPixels(n, count, start, Index{},
                    [=](int32_t i, uint32_t ix) { p[i] = HalfAt<Is555>(p, i, Colour(row, t[ix]), p[i]); });
    }
    px += 2 * count;
}

// Texel colours in one shade row.  A full run of 16 is made from its
// coordinates and stored several pixels a store (the same pixels as one at
// a time, whatever the alignment); the pointers are copied to locals first,
// so that the stores (which may alias anything) do not make them be read
// again.
struct ColourPut {
    const uint8_t* t;
    const uint8_t* row;
    uint16_t* p;
    void operator()(int32_t i, uint32_t ix) const {
        p[i] = Colour(row, t[ix]);
    }
    // Pointer form: the indices of four pixels at a time made as 32-bit
    // lanes and taken out two to a 64-bit move, each half of the word one
    // pixel's index.
    void Run16From(int32_t i, PointerIndex index, uint32_t au, uint32_t av, uint32_t dau, uint32_t dav) const {
        Run16Lanes(i, index, _mm_set_epi32(0, int32_t(av << 16), 0, int32_t(au << 8)),
                   _mm_set_epi32(0, int32_t(dav << 16), 0, int32_t(dau << 8)));
    }
    // The same from the start and step of u shifted left by 8 in lane 0,
    // of v shifted left by 16 in lane 2: v's integer byte then sits in the
    // top byte and u's integer in the top 16 bits, so that a 32-bit sum
    // makes the index in the top 16 bits, already cut to 64 K texels.
    [[gnu::always_inline]] void Run16Lanes(int32_t i, PointerIndex, __m128i start, __m128i step) const {
        const uint8_t* texels = t;
        const uint8_t* colours = row;
        uint16_t* out = p + i;
        // Lane k of each holds the start plus k steps: the step and twice
        // the step added in under masks.
        const __m128i odd = _mm_set_epi32(-1, 0, -1, 0), high = _mm_set_epi32(-1, -1, 0, 0);
        const __m128i su = _mm_shuffle_epi32(step, 0x00), sv = _mm_shuffle_epi32(step, 0xAA);
        __m128i u = _mm_add_epi32(_mm_add_epi32(_mm_shuffle_epi32(start, 0x00), _mm_and_si128(su, odd)),
                                  _mm_and_si128(_mm_add_epi32(su, su), high));
        __m128i v = _mm_add_epi32(_mm_add_epi32(_mm_shuffle_epi32(start, 0xAA), _mm_and_si128(sv, odd)),
                                  _mm_and_si128(_mm_add_epi32(sv, sv), high));
        const __m128i du = _mm_slli_epi32(su, 2), dv = _mm_slli_epi32(sv, 2);
        const __m128i rowBits = _mm_set1_epi32(int32_t(0xFF000000u));
        // Both halves of the run in straight-line code.
#pragma GCC unroll 2
        for (int32_t j = 0; j < 16; j += 8) {
            const __m128i a = _mm_srli_epi32(_mm_add_epi32(_mm_and_si128(v, rowBits), u), 16);
            u = _mm_add_epi32(u, du);
            v = _mm_add_epi32(v, dv);
            const __m128i b = _mm_srli_epi32(_mm_add_epi32(_mm_and_si128(v, rowBits), u), 16);
            u = _mm_add_epi32(u, du);
            v = _mm_add_epi32(v, dv);
            // Two 32-bit indices to a 64-bit word.
            const uint64_t w0 = uint64_t(_mm_cvtsi128_si64(a)), w1 = uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(a, a)));
            const uint64_t w2 = uint64_t(_mm_cvtsi128_si64(b)), w3 = uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(b, b)));
            // Each colour inserted into its lane as it is read.
            auto c = [&](uint64_t x) { return int(Colour(colours, texels[uint32_t(x)])); };
            __m128i pixels = _mm_cvtsi32_si128(c(w0));
            pixels = _mm_insert_epi16(pixels, c(w0 >> 32), 1);
            pixels = _mm_insert_epi16(pixels, c(w1), 2);
            pixels = _mm_insert_epi16(pixels, c(w1 >> 32), 3);
            pixels = _mm_insert_epi16(pixels, c(w2), 4);
            pixels = _mm_insert_epi16(pixels, c(w2 >> 32), 5);
            pixels = _mm_insert_epi16(pixels, c(w3), 6);
            pixels = _mm_insert_epi16(pixels, c(w3 >> 32), 7);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), pixels);
        }
    }
    // Other forms: four indices at a time in registers, four pixels a
    // 64-bit store.
    template <class Index>
    void Run16From(int32_t i, Index index, uint32_t au, uint32_t av, uint32_t dau, uint32_t dav) const {
        const uint8_t* texels = t;
        const uint8_t* colours = row;
        uint16_t* out = p + i;
        for (int32_t j = 0; j < 16; j += 4) {
            uint32_t a = index(au, av), b = index(au + dau, av + dav), c = index(au + 2 * dau, av + 2 * dav),
                     d = index(au + 3 * dau, av + 3 * dav);
            au += 4 * dau;
            av += 4 * dav;
            uint64_t four = uint64_t(Colour(colours, texels[a])) | uint64_t(Colour(colours, texels[b])) << 16 |
                            uint64_t(Colour(colours, texels[c])) << 32 | uint64_t(Colour(colours, texels[d])) << 48;
            std::memcpy(out + j, &four, 8);
        }
    }
};

template <class Index>
void PerspColour(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) PerspPixels(n, count, start, Index{}, ColourPut{t, ColourRow(t, n.row), Pixels(px)});
    px += 2 * count;
}

}  // namespace

// Pixels of texel colours are the same stored singly or in pairs: the
// opaque routines store each pixel as it comes.
void SPAN_Persp(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspColour<PointerIndex>(ctx, px, count, start, n);
}

void SPAN_PerspWrap(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspColour<WrapIndex>(ctx, px, count, start, n);
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
        const ShadeTableSet* tables = ctx.translucency;
        uint32_t a = Level(n.level);
        uint16_t* p = Pixels(px);
        PerspPixels(n, count, start, PointerIndex{},
                    [=](int32_t i, uint32_t ix) { p[i] = Translucent(*tables, a, Colour(row, t[ix]), p[i]); });
    }
    px += 2 * count;
}

void SPAN_PerspTexelAlpha(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    const uint8_t* t = Texels(ctx, n, 131072);
    if (t && ctx.translucency) {
        const uint8_t* row = ColourRow(t, n.row);
        const ShadeTableSet* tables = ctx.translucency;
        uint16_t* p = Pixels(px);
        PerspPixels(n, count, start, PointerIndex{}, [=](int32_t i, uint32_t ix) {
            const uint8_t* texel = t + 2 * ix;
            p[i] = Translucent(*tables, Level(texel[1]), Colour(row, texel[0]), p[i]);
        });
    }
    px += 2 * count;
}

void SPAN_Persp8(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        uint8_t* p = px;
        PerspPixels(n, count, start, PointerIndex{}, [=](int32_t i, uint32_t ix) { p[i] = t[ix]; });
    }
    px += count;
}

void SPAN_Persp8Wide(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 65536)) {
        uint16_t* p = Pixels(px);
        PerspPixels(n, count, start, PointerIndex{}, [=](int32_t i, uint32_t ix) { p[i] = t[ix]; });
    }
    px += 2 * count;
}

namespace {

// A perspective frame span in one colour-table row for the whole span.
void PerspFrameInRow(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n, uint32_t row) {
    Frame f;
    if (FrameOf(ctx, n, &f)) {
        const uint8_t* colours = ColourRow(f.colours, row);
        const uint8_t* image = f.image;
        uint16_t* p = Pixels(px);
        PerspPixels(n, count, start, FrameIndex{f.rowLength},
                    [=](int32_t i, uint32_t ix) { p[i] = Colour(colours, image[ix]); });
    } else if (const uint8_t* t = Texels(ctx, n, 65536)) {
        // No frame table: the plain map at full size in the same row, as
        // mode 3 draws it.
        NoteNoFrameTable();
        PerspPixels(AtLevelZero(n, true), count, start, PointerIndex{}, ColourPut{t, ColourRow(t, row), Pixels(px)});
    }
    px += 2 * count;
}

}  // namespace

// The shaded perspective frame mode (112-byte records): the row of the
// whole span is the integer part of the perspective shade start, as it
// stands at the node.
void SPAN_PerspFrame(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspFrameInRow(ctx, px, count, start, n, RowOfByte(uint32_t(n.shade) >> 16));
}

// The unshaded perspective frame mode: its records end at 100 bytes, before
// the shade start, so the row is the face's own shade row.
void SPAN_PerspFrameRow(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    PerspFrameInRow(ctx, px, count, start, n, n.row);
}

void SPAN_Persp16(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    if (const uint8_t* t = Texels(ctx, n, 131072)) {
        uint16_t* p = Pixels(px);
        PerspPixels(n, count, start, PointerIndex{}, [=](int32_t i, uint32_t ix) { std::memcpy(p + i, t + 2 * ix, 2); });
    }
    px += 2 * count;
}
