// What the span routines share: texture and colour look-ups, the blends,
// the texel-index sources of the affine and perspective steppings, and the
// loops that write pixels singly or as aligned 32-bit pairs.  Only the
// routines' own files include it.
#pragma once

#include "engine3d/dqx_3d.h"
#include "render/spans/span_routines.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace span {

// ---------------------------------------------------------------------------
// Pixels
// ---------------------------------------------------------------------------

inline uint16_t* Pixels(uint8_t* px) {
    return reinterpret_cast<uint16_t*>(px);
}
inline uint32_t Load32(const uint16_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void Store32(uint16_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}
// A pixel address on a 4-byte boundary starts a 32-bit pair.
inline bool Aligned(const void* p) {
    return (reinterpret_cast<uintptr_t>(p) & 3) == 0;
}

// Columns the node's values are carried over: from the node's first column
// to the span's first, none when the span starts at or left of it.
inline uint32_t Lead(const SpanNode& n, int32_t start) {
    int32_t d = start - (n.x >> 16);
    return d > 0 ? uint32_t(d) : 0u;
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

// The node's texels when its colour table (the 32 KB before them) and
// `bytes` of texels lie inside the context's memory; else null.
inline const uint8_t* Texels(const SpanContext& ctx, const SpanNode& n, uint32_t bytes) {
    uint32_t t = n.texels;
    if (!ctx.base || t < kTextureColourBytes || uint64_t(t) + bytes > ctx.baseSize) return nullptr;
    return ctx.base + t;
}

// The colour-table row of a shade: row r's 256 entries of 32 bits, colour in
// the high half.  Rows past 31 are held at 31.
inline const uint8_t* ColourRow(const uint8_t* texels, uint32_t row) {
    return texels - kTextureColourBytes + (row > 31 ? 31 : row) * 1024;
}
// A shade's integer byte as a row: the rasterizer keeps it within 0..31; a
// byte below 0 (taken as signed) counts as 0, one past 31 as 31.
inline uint32_t RowOfByte(uint32_t byte) {
    int32_t b = int8_t(uint8_t(byte));
    return uint32_t(b < 0 ? 0 : (b > 31 ? 31 : b));
}
inline uint16_t Colour(const uint8_t* row, uint32_t texel) {
    uint16_t c;
    std::memcpy(&c, row + texel * 4 + 2, 2);
    return c;
}
inline uint32_t Level(uint32_t level) {
    return level > 31 ? 31 : level;
}

// A frame of a frame table: its first texel, the colour table's row base
// and the row length (2^(16 - shift) texels).
struct Frame {
    const uint8_t* image;
    const uint8_t* colours;
    uint32_t rowLength;
};
// The entry the node's extra byte selects, when the texture holds a frame
// table (as the context says), the entry is well formed (row shift 1 to 16
// with its row length) and the table, the colour table before it and the
// frame's 64 K texel window lie inside the context's memory.
bool FrameOf(const SpanContext& ctx, const SpanNode& n, Frame* f);
// The node of a frame mode with its u and v back at level 0's scale: the
// set-up takes them in the texels of the level's image, 2^level times
// smaller each way, and the plain map is drawn at full size.  `floats`
// for the perspective modes (u x k and v x k, their slopes and 16-pixel
// steps); the affine modes' 16.16 values are multiplied modulo 2^32.
SpanNode AtLevelZero(const SpanNode& n, bool floats);
// A frame mode met no valid frame table and draws the plain map instead:
// said once in the debug log, for the first such span of the run.
void NoteNoFrameTable();

// ---------------------------------------------------------------------------
// Blends
// ---------------------------------------------------------------------------

// The 50 % blend: the masked sum halved with the carry out of the top bit
// kept.  A single pixel's mask keeps blue's lowest bit; a pair's also clears
// the second pixel's, where the first pixel's carry lands.
template <bool Is555>
struct Half {
    static constexpr uint32_t kSingle = Is555 ? 0x7BDFu : 0xF7DFu;
    static constexpr uint32_t kPair = Is555 ? 0x7BDE7BDFu : 0xF7DEF7DFu;
    static uint16_t Single(uint32_t src, uint32_t dst) {
        return uint16_t(((dst & kSingle) + (src & kSingle)) >> 1);
    }
    static uint32_t Pair(uint32_t src, uint32_t dst) {
        return uint32_t((uint64_t(dst & kPair) + (src & kPair)) >> 1);
    }
};

// The saturating sum: each channel's overflow lands in the cleared lowest
// bit of the channel above; the table sets every bit of the channels that
// overflowed.
template <bool Is555>
inline uint16_t AddSaturated(uint32_t src, uint32_t dst) {
    static constexpr uint16_t k565[8] = {0x0000, 0x001F, 0x07E0, 0x07FF, 0xF800, 0xF81F, 0xFFE0, 0xFFFF};
    static constexpr uint16_t k555[8] = {0x0000, 0x001F, 0x03E0, 0x03FF, 0x7C00, 0x7C1F, 0x7FE0, 0x7FFF};
    constexpr uint32_t a = Is555 ? 0x7BDFu : 0xF7DFu;
    uint32_t sum = (dst & a) + (src & a);
    if (Is555) {
        uint32_t index = ((sum >> 15) & 1) * 4 + ((sum >> 10) & 1) * 2 + ((sum >> 5) & 1);
        return uint16_t((sum | k555[index]) & 0x7FFF);
    }
    uint32_t index = ((sum >> 16) & 1) * 4 + ((sum >> 11) & 1) * 2 + ((sum >> 5) & 1);
    return uint16_t(sum | k565[index]);
}

// The translucent colour at level a: source channels scaled by a / 32,
// destination channels by (32 - a) / 32, each from its table.
inline uint16_t Translucent(const ShadeTableSet& t, uint32_t a, uint32_t src, uint32_t dst) {
    return uint16_t(t.scaleRed[a][src >> 8] + t.scaleBlue[a][src & 0xFF] + t.scaleGreen[a][(src >> 5) & 0xFF] +
                    t.darkRed[a][dst >> 8] + t.darkBlue[a][dst & 0xFF] + t.darkGreen[a][(dst >> 5) & 0xFF]);
}

// ---------------------------------------------------------------------------
// The depth test
// ---------------------------------------------------------------------------

// The span's 16-bit depth samples against the depth record's row: the
// depth value and its slope rounded, shifted and held in 16 bits, the
// sample stepped by the slope after every pixel.  Without a record every
// pixel passes.
struct DepthTest {
    const int16_t* row = nullptr;
    uint16_t sample = 0, step = 0;
    DepthTest(const SpanContext& ctx, const SpanNode& n, int32_t start) {
        const SpanDepthRecord* d = ctx.depth;
        if (!d || !d->samples) return;
        int32_t shift = d->shift & 31;
        step = uint16_t(SPAN_Round(double(n.keySlope)) >> shift);
        sample = uint16_t(uint16_t(SPAN_Round(double(n.key)) >> shift) + step * Lead(n, start));
        row = d->samples + ptrdiff_t(ctx.currentLine) * d->rowLength + start;
    }
    // Whether pixel i passes; call once per pixel in order.
    bool Pass(int32_t i) {
        bool pass = !row || row[i] < int16_t(sample);
        sample = uint16_t(sample + step);
        return pass;
    }
};

// ---------------------------------------------------------------------------
// Texel-index sources
// ---------------------------------------------------------------------------

// Affine pointer stepping: u and v 16.16 stepped exactly; the index is v's
// integer x 256 + u's integer, kept to the map's 64 K texels.
struct AffineSource {
    uint32_t u, v, du, dv;
    AffineSource(const SpanNode& n, int32_t start, uint32_t slopeMask = ~0u) {
        du = uint32_t(n.uSlope.i) & slopeMask;
        dv = uint32_t(n.vSlope.i) & slopeMask;
        uint32_t d = Lead(n, start);
        u = uint32_t(n.u.i) + du * d;
        v = uint32_t(n.v.i) + dv * d;
    }
    uint32_t Next() {
        uint32_t index = (((v >> 8) & 0xFF00) + (u >> 16)) & 0xFFFF;
        u += du;
        v += dv;
        return index;
    }
};

// The same with frame addressing: v's integer counts rows of the frame.
struct AffineFrameSource {
    uint32_t u, v, du, dv, rowLength;
    AffineFrameSource(const SpanNode& n, int32_t start, uint32_t rows) : rowLength(rows) {
        du = uint32_t(n.uSlope.i);
        dv = uint32_t(n.vSlope.i);
        uint32_t d = Lead(n, start);
        u = uint32_t(n.u.i) + du * d;
        v = uint32_t(n.v.i) + dv * d;
    }
    uint32_t Next() {
        uint32_t index = ((v >> 16) * rowLength + (u >> 16)) & 0xFFFF;
        u += du;
        v += dv;
        return index;
    }
};

// Wrapping stepping: u's fraction in the high half and v as 8.8 in the low
// half of one word, stepped by one add whose carry goes into u's 8-bit
// integer; both coordinates wrap at 256.
struct WrapSource {
    uint32_t word, step;
    uint8_t u, du;
    WrapSource(const SpanNode& n, int32_t start) {
        uint32_t d = Lead(n, start);
        uint32_t u0 = uint32_t(n.u.i) + uint32_t(n.uSlope.i) * d;
        uint32_t v0 = uint32_t(n.v.i) + uint32_t(n.vSlope.i) * d;
        word = (u0 << 16) | ((v0 >> 8) & 0xFFFF);
        step = (uint32_t(n.uSlope.i) << 16) | ((uint32_t(n.vSlope.i) >> 8) & 0xFFFF);
        u = uint8_t(u0 >> 16);
        du = uint8_t(uint32_t(n.uSlope.i) >> 16);
    }
    uint32_t Next() {
        uint32_t index = (word & 0xFF00) | u;
        uint64_t sum = uint64_t(word) + step;
        word = uint32_t(sum);
        u = uint8_t(u + du + uint32_t(sum >> 32));
        return index;
    }
};

// The perspective schedule: where the span divides and how each run of
// pixels steps.  Spans of up to 16 pixels divide at their first pixel and
// at their end (1 and 2 pixels exactly per pixel); longer ones in runs of
// 16 through the reciprocal of the depth value, then a final run of 1 to
// 16 pixels that ends on the span's last pixel.
struct PerspSchedule {
    float w, uz, vz;           // where the last divide was made (the span start at first)
    float wInc, uInc, vInc;    // over 16 pixels
    float wSlope, uSlope, vSlope;
    int32_t count;             // the span's pixels
    int32_t left;              // pixels not yet handed out in runs
    int32_t stage;             // runs handed out so far
    // Spans of more than 16 pixels keep their values as vectors, u/z, v/z
    // and the depth value in lanes 0, 1 and 2 (their 16-pixel increments
    // likewise), so that one multiply and one conversion serve both
    // coordinates; the 16.16 coordinates at the run's start and at the end
    // of the run to be handed out next are in lanes 0 and 2.  The end is
    // divided one run ahead so that the divide overlaps the drawing of the
    // run before.
    __m128 uvw, uvwInc;
    __m128i at, end;

    // Inlined into the pixel loop, so that the schedule's state stays in
    // registers across the runs.
    [[gnu::always_inline]] PerspSchedule(const SpanNode& n, int32_t count, int32_t start);
    // The next run: its length and its 16.16 start and steps.
    [[gnu::always_inline]] int32_t NextRun(int32_t* u0, int32_t* v0, int32_t* du, int32_t* dv);
    // Whether the next run is a full run of a span of more than 16 pixels.
    bool FullRunNext() const { return count > 16 && left > 16; }
    // That full run handed out as vectors, the 24.8 start and step (the
    // 16.16 values shifted right by 8) placed for the index: u's shifted
    // left by 8 in lane 0, v's shifted left by 16 in lane 2.
    [[gnu::always_inline]] void NextFullRun(__m128i* start, __m128i* step);

private:
    [[gnu::always_inline]] void DivideAhead();
};

namespace detail {

// (k - 1) / 16 for k = 1..17 (entry k), and 1 / k for k = 1..16.
constexpr float kRunFraction[18] = {0.0f,        0.0f,        1.0f / 16,  2.0f / 16,  3.0f / 16,  4.0f / 16,
                                    5.0f / 16,   6.0f / 16,   7.0f / 16,  8.0f / 16,  9.0f / 16,  10.0f / 16,
                                    11.0f / 16,  12.0f / 16,  13.0f / 16, 14.0f / 16, 15.0f / 16, 16.0f / 16};
constexpr float kReciprocal[17] = {0.0f,       1.0f,       1.0f / 2,  1.0f / 3,  1.0f / 4,  1.0f / 5,
                                   1.0f / 6,   1.0f / 7,   1.0f / 8,  1.0f / 9,  1.0f / 10, 1.0f / 11,
                                   1.0f / 12,  1.0f / 13,  1.0f / 14, 1.0f / 15, 1.0f / 16};

// Lanes 0 and 1 of x rounded as SPAN_Round rounds each (through double),
// in lanes 0 and 2 of the result (the low halves of the doubles).
inline __m128i RoundPair(__m128 x) {
    __m128d d = _mm_add_pd(_mm_cvtps_pd(x), _mm_set1_pd(6755399441055744.0));
    return _mm_castpd_si128(d);
}
// The 24.8 value (x >> 8) of lane 0 shifted left by 8 and that of lane 2
// by 16, as 32-bit sums: x with its low 8 bits cleared, times 1 and 256.
inline __m128i PlaceForIndex(__m128i x) {
    return _mm_mul_epu32(_mm_and_si128(x, _mm_set1_epi32(~0xFF)), _mm_set_epi32(0, 256, 0, 1));
}
// Lanes 0 and 1 of x divided by lane 2.
inline __m128i ProjectPair(__m128 x) {
    __m128 iw = _mm_div_ss(_mm_set_ss(1.0f), _mm_movehl_ps(x, x));
    return RoundPair(_mm_mul_ps(x, _mm_shuffle_ps(iw, iw, 0)));
}

inline int32_t Sub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}

// The per-pixel step of a run of r pixels from its start to its end
// coordinate: the difference times 1 / r, rounded.
inline int32_t PartialStep(int32_t end, int32_t start, int32_t r) {
    float diff = float(Sub(end, start));
    return SPAN_Round(double(diff * kReciprocal[r]));
}

}  // namespace detail

inline PerspSchedule::PerspSchedule(const SpanNode& n, int32_t pixels, int32_t start) {
    // The values at the first pixel's centre: (start + 1) x 65536 - node x,
    // in 16.16, made a float.
    float dx = float(detail::Sub(int32_t(uint32_t(start + 1) << 16), n.x)) * (1.0f / 65536.0f);
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
    uvw = uvwInc = _mm_setzero_ps();
    at = end = _mm_setzero_si128();
    if (count > 16) {
        uvw = _mm_set_ps(0.0f, w, vz, uz);
        uvwInc = _mm_set_ps(0.0f, wInc, vInc, uInc);
        at = detail::ProjectPair(uvw);
        DivideAhead();
    }
}

// The end of the run that starts at the present values with `left` pixels
// to go: a full run ends where the next one starts (the values advanced by
// their 16-pixel increments), the final run of r pixels on the span's last
// pixel, (r - 1) / 16 of the increments on.
inline void PerspSchedule::DivideAhead() {
    if (left > 16) {
        uvw = _mm_add_ps(uvw, uvwInc);
        end = detail::ProjectPair(uvw);
        return;
    }
    __m128 f = _mm_set1_ps(detail::kRunFraction[left]);
    end = detail::ProjectPair(_mm_add_ps(uvw, _mm_mul_ps(f, uvwInc)));
}

inline void PerspSchedule::NextFullRun(__m128i* start, __m128i* step) {
    // The run ends where the next one starts.
    *start = detail::PlaceForIndex(at);
    *step = detail::PlaceForIndex(_mm_srai_epi32(_mm_sub_epi32(end, at), 4));
    at = end;
    left -= 16;
    DivideAhead();
}

inline int32_t PerspSchedule::NextRun(int32_t* u0, int32_t* v0, int32_t* du, int32_t* dv) {
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
        float f = detail::kRunFraction[count];
        float we = w + f * wInc, ue = uz + f * uInc, ve = vz + f * vInc;
        *u0 = us;
        *v0 = vs;
        *du = detail::PartialStep(SPAN_Round(double(ue / we)), us, count);
        *dv = detail::PartialStep(SPAN_Round(double(ve / we)), vs, count);
        left = 0;
        return count;
    }
    const int32_t u = _mm_cvtsi128_si32(at), v = _mm_cvtsi128_si32(_mm_shuffle_epi32(at, 2));
    const int32_t endU = _mm_cvtsi128_si32(end), endV = _mm_cvtsi128_si32(_mm_shuffle_epi32(end, 2));
    *u0 = u;
    *v0 = v;
    if (left > 16) {
        // A full run: it ends where the next one starts.
        *du = detail::Sub(endU, u) >> 4;
        *dv = detail::Sub(endV, v) >> 4;
        at = end;
        left -= 16;
        DivideAhead();
        return 16;
    }
    // The final run of r pixels ends on the span's last pixel.
    int32_t r = left;
    *du = detail::PartialStep(endU, u, r);
    *dv = detail::PartialStep(endV, v, r);
    left = 0;
    return r;
}

// The pixels of a perspective span run by run, with 8-bit fractions: the
// 16.16 start and step of each run shifted right by 8; `index` makes the
// texel index of the two 24.8 values and `put(i, index)` draws pixel i of
// the span.  The loop inside a run does nothing but adds, the index and
// the put, so that the compiler keeps it tight.
template <class Index, class Put>
inline void PerspPixels(const SpanNode& n, int32_t count, int32_t start, Index index, Put&& put) {
    PerspSchedule schedule(n, count, start);
    for (int32_t i = 0; i < count;) {
        if constexpr (requires(__m128i a) { put.Run16Lanes(i, index, a, a); }) {
            // Full runs of a long span with their values kept in vectors;
            // the put copied to a local, so that its pointers stay in
            // registers across the vector stores (which may alias
            // anything).
            if (schedule.FullRunNext()) {
                const std::remove_cvref_t<Put> local = put;
                do {
                    __m128i a, d;
                    schedule.NextFullRun(&a, &d);
                    local.Run16Lanes(i, index, a, d);
                    i += 16;
                } while (schedule.FullRunNext());
                continue;
            }
        }
        int32_t u0, v0, du, dv;
        int32_t run = schedule.NextRun(&u0, &v0, &du, &dv);
        uint32_t au = uint32_t(u0 >> 8), av = uint32_t(v0 >> 8);
        const uint32_t dau = uint32_t(du >> 8), dav = uint32_t(dv >> 8);
        if (run == 16) {
            // A full run: by a put that makes the whole run from its
            // coordinates, or its 16 texel indices first (four at a time
            // where the index has a vector form), then the pixels.
            if constexpr (requires { put.Run16From(i, index, au, av, dau, dav); }) {
                put.Run16From(i, index, au, av, dau, dav);
            } else {
                alignas(16) uint32_t ix[16];
                index.Run16(au, av, dau, dav, ix);
                for (int32_t j = 0; j < 16; ++j) put(i + j, ix[j]);
            }
            i += 16;
            continue;
        }
        for (int32_t j = 0; j < run; ++j) {
            put(i + j, index(au, av));
            au += dau;
            av += dav;
        }
        i += run;
    }
}

// The 50 % blend of pixel i of a span whose first pixel is at `first`:
// the high pixel of an aligned 32-bit pair (2 bytes past a 4-byte
// boundary, not the span's first pixel) takes the pair mask's high half,
// which clears blue's lowest bit; every other pixel the single mask.  The
// same pixels as blending pair by pair.
template <bool Is555>
inline uint16_t HalfAt(const uint16_t* first, int32_t i, uint32_t src, uint32_t dst) {
    uint32_t high = (reinterpret_cast<uintptr_t>(first + i) & 2) && i > 0;
    uint32_t m = Half<Is555>::kSingle & ~high;
    return uint16_t(((dst & m) + (src & m)) >> 1);
}

// The 16 indices of a run of 24.8 coordinates: pixel j at au + j x dau,
// av + j x dav (32-bit sums, as the steps add up).  `Lanes` makes four
// indices of four u and four v values.
template <class Lanes>
inline void Indices16(uint32_t au, uint32_t av, uint32_t dau, uint32_t dav, uint32_t* out, Lanes lanes) {
    __m128i u = _mm_set_epi32(int32_t(au + 3 * dau), int32_t(au + 2 * dau), int32_t(au + dau), int32_t(au));
    __m128i v = _mm_set_epi32(int32_t(av + 3 * dav), int32_t(av + 2 * dav), int32_t(av + dav), int32_t(av));
    const __m128i du = _mm_set1_epi32(int32_t(4 * dau)), dv = _mm_set1_epi32(int32_t(4 * dav));
    for (int k = 0; k < 4; ++k) {
        _mm_store_si128(reinterpret_cast<__m128i*>(out + 4 * k), lanes(u, v));
        u = _mm_add_epi32(u, du);
        v = _mm_add_epi32(v, dv);
    }
}

// Pointer form: v's integer x 256 + u's integer, kept to 64 K texels.
struct PointerIndex {
    uint32_t operator()(uint32_t au, uint32_t av) const {
        return ((av & 0xFF00) + (au >> 8)) & 0xFFFF;
    }
    void Run16(uint32_t au, uint32_t av, uint32_t dau, uint32_t dav, uint32_t* out) const {
        Indices16(au, av, dau, dav, out, [](__m128i u, __m128i v) {
            __m128i sum = _mm_add_epi32(_mm_and_si128(v, _mm_set1_epi32(0xFF00)), _mm_srli_epi32(u, 8));
            return _mm_and_si128(sum, _mm_set1_epi32(0xFFFF));
        });
    }
};
// Wrapping form: each integer's low 8 bits.
struct WrapIndex {
    uint32_t operator()(uint32_t au, uint32_t av) const {
        return (av & 0xFF00) | ((au >> 8) & 0xFF);
    }
    void Run16(uint32_t au, uint32_t av, uint32_t dau, uint32_t dav, uint32_t* out) const {
        Indices16(au, av, dau, dav, out, [](__m128i u, __m128i v) {
            return _mm_or_si128(_mm_and_si128(v, _mm_set1_epi32(0xFF00)),
                                _mm_and_si128(_mm_srli_epi32(u, 8), _mm_set1_epi32(0xFF)));
        });
    }
};
// Frame form: v's integer counts rows of the frame.
struct FrameIndex {
    uint32_t rowLength;
    uint32_t operator()(uint32_t au, uint32_t av) const {
        return ((av >> 8) * rowLength + (au >> 8)) & 0xFFFF;
    }
    void Run16(uint32_t au, uint32_t av, uint32_t dau, uint32_t dav, uint32_t* out) const {
        for (int j = 0; j < 16; ++j, au += dau, av += dav) out[j] = (*this)(au, av);
    }
};

// ---------------------------------------------------------------------------
// Writers
// ---------------------------------------------------------------------------

// Pixels written as aligned pairs: a leading single pixel on an address
// that is not 4-byte aligned, then 32-bit pairs (first pixel in the low
// half), then a last single pixel.  `pix.Single(index, dst)` and
// `pix.Pair(index0, index1, dst pair)` make the values.
template <class Source, class Pix>
inline void WritePairs(uint16_t* p, int32_t count, Source& src, const Pix& pix) {
    int32_t i = 0;
    if (!Aligned(p)) {
        p[0] = pix.Single(src.Next(), p[0]);
        i = 1;
    }
    for (; i + 2 <= count; i += 2) {
        uint32_t a = src.Next();
        uint32_t b = src.Next();
        Store32(p + i, pix.Pair(a, b, Load32(p + i)));
    }
    if (i < count) p[i] = pix.Single(src.Next(), p[i]);
}

// Pixels one at a time: `pix.Put(pixel, index)` writes or leaves it.
template <class Source, class Pix>
inline void WriteSingles(uint16_t* p, int32_t count, Source& src, const Pix& pix) {
    for (int32_t i = 0; i < count; ++i) pix.Put(p + i, src.Next());
}

// Texel colour in one shade row.
struct ColourPix {
    const uint8_t* texels;
    const uint8_t* row;
    uint16_t Single(uint32_t index, uint16_t) const {
        return Colour(row, texels[index]);
    }
    uint32_t Pair(uint32_t a, uint32_t b, uint32_t) const {
        return uint32_t(Colour(row, texels[a])) | uint32_t(Colour(row, texels[b])) << 16;
    }
    void Put(uint16_t* p, uint32_t index) const {
        *p = Colour(row, texels[index]);
    }
};

// Texel colour blended 50 % with the frame.
template <bool Is555>
struct HalfPix {
    const uint8_t* texels;
    const uint8_t* row;
    uint16_t Single(uint32_t index, uint16_t dst) const {
        return Half<Is555>::Single(Colour(row, texels[index]), dst);
    }
    uint32_t Pair(uint32_t a, uint32_t b, uint32_t dst) const {
        uint32_t src = uint32_t(Colour(row, texels[a])) | uint32_t(Colour(row, texels[b])) << 16;
        return Half<Is555>::Pair(src, dst);
    }
};

// Texel colour where the texel is not 0.
struct KeyedPix {
    const uint8_t* texels;
    const uint8_t* row;
    void Put(uint16_t* p, uint32_t index) const {
        uint8_t t = texels[index];
        if (t) *p = Colour(row, t);
    }
};

}  // namespace span
