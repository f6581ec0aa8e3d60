// The body of the fast routines of the host's rasteriser, included by the
// file that builds it for AVX2 (d3d_raster_avx2.cpp).  Everything here has
// internal linkage.
//
// Eight pixels a step.  Every pixel goes through the operations of the plain
// span (d3d_raster.cpp) in the same order and precision: each attribute as
// its span's start plus its slope times the pixel's distance from the start
// in single precision (a product and a sum, no fused multiply-add), the
// perspective division, the floor and wrap of texel co-ordinates, and the
// integer stage and blending arithmetic with exact forms of the divisions by
// 255.  The clamps are applied to every step (a minimum and a maximum cost
// less than the mispredicted branches of deciding per span whether they
// could change anything).  Textures are read from the view's decoded copy
// (so the sides must be powers of two).
#pragma once

#include "host/d3d_raster.h"

#include <immintrin.h>

#include <type_traits>

namespace host::raster {
namespace {

// ---------------------------------------------------------------------------
// Eight floats
// ---------------------------------------------------------------------------

inline __m256 Splat(float v) {
    return _mm256_set1_ps(v);
}

// start + slope * i, as the plain span's At().
inline __m256 At(__m256 start, __m256 slope, __m256 i) {
    return _mm256_add_ps(start, _mm256_mul_ps(slope, i));
}

// v held to 0..top; the maximum answers its second operand (0) for a value
// that is not a number, as the plain routines answer 0 for it.
inline __m256 Hold(__m256 v, float top) {
    return _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), Splat(top));
}

// QuantiseZ of eight values.
inline __m256i QuantiseZ8(__m256 z) {
    z = Hold(z, 1.0f);
    return _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(z, Splat(65535.0f)), Splat(0.5f)));
}

// QuantiseZ of eight values narrowed to 16 bits: the pack's saturation
// makes the clamp of the values below 0 (and of those not a number, which
// the minimum passes on and the conversion turns into -2^31).
inline __m128i QuantiseZ16(__m256 z) {
    z = _mm256_min_ps(Splat(1.0f), z);
    __m256i q = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(z, Splat(65535.0f)), Splat(0.5f)));
    return _mm_packus_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
}

// ToChannel of eight values.
inline __m256i ToChannel8(__m256 v) {
    v = Hold(v, 255.0f);
    return _mm256_cvttps_epi32(_mm256_add_ps(v, Splat(0.5f)));
}

// floor(m) wrapped by the mask of a power-of-two side.  Outside -2^31..2^31,
// or not a number, the conversion gives -2^31, whose low bits are 0: texel
// 0, as the plain routine reads there.
inline __m256i WrapFloor(__m256 m, __m256i mask) {
    return _mm256_and_si256(_mm256_cvttps_epi32(_mm256_floor_ps(m)), mask);
}

// ---------------------------------------------------------------------------
// Integer lanes
// ---------------------------------------------------------------------------

// x / 255 truncated, exact for 0 <= x <= 66298.
inline __m256i Div255(__m256i x) {
    return _mm256_srli_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(0x8081)), 23);
}

// x / 255 truncated for 0 <= x < 65536, as Div255 gives it: the high half
// of the 16-bit product with 0x8081 (the lane's upper half multiplies zeros),
// then the remaining 7 bits of the shift.
inline __m256i Div255Small(__m256i x) {
    return _mm256_srli_epi32(_mm256_mulhi_epu16(x, _mm256_set1_epi32(0x8081)), 7);
}

// a * b for channels of 0..255: the product fits the low 16 bits of the
// lane, so one 16-bit multiply makes it (the upper halves multiply zeros).
inline __m256i Product(__m256i a, __m256i b) {
    return _mm256_mullo_epi16(a, b);
}

// min(255, x / 255) for 0 <= x <= 130050: exact below 66299, 255 or more
// above (the product stays below 2^32).
inline __m256i Div255Clamped(__m256i x) {
    return _mm256_min_epi32(Div255(x), _mm256_set1_epi32(255));
}

inline __m256i Not(__m256i m) {
    return _mm256_xor_si256(m, _mm256_set1_epi32(-1));
}

inline __m256i CompareZ(uint32_t func, __m256i z, __m256i stored) {
    switch (func) {
    case D3DCMP_NEVER: return _mm256_setzero_si256();
    case D3DCMP_LESS: return _mm256_cmpgt_epi32(stored, z);
    case D3DCMP_EQUAL: return _mm256_cmpeq_epi32(z, stored);
    case D3DCMP_LESSEQUAL: return Not(_mm256_cmpgt_epi32(z, stored));
    case D3DCMP_GREATER: return _mm256_cmpgt_epi32(z, stored);
    case D3DCMP_NOTEQUAL: return Not(_mm256_cmpeq_epi32(z, stored));
    case D3DCMP_GREATEREQUAL: return Not(_mm256_cmpgt_epi32(stored, z));
    default: return _mm256_set1_epi32(-1);
    }
}

struct Channels {
    __m256i r, g, b, a;
};

inline Channels Split(__m256i argb) {
    __m256i m = _mm256_set1_epi32(255);
    return {_mm256_and_si256(_mm256_srli_epi32(argb, 16), m), _mm256_and_si256(_mm256_srli_epi32(argb, 8), m),
            _mm256_and_si256(argb, m), _mm256_srli_epi32(argb, 24)};
}

inline bool ReadsTexture(uint32_t arg) {
    return (arg & 0xF) == D3DTA_TEXTURE;
}

// One stage op on one channel (the plain span's Op).
inline __m256i Op(uint32_t op, __m256i a1, __m256i a2, __m256i ta, __m256i d) {
    switch (op) {
    case D3DTOP_DISABLE: return d;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return Div255Small(Product(a1, a2));
    case D3DTOP_BLENDTEXTUREALPHA:
        // The two products add up to at most 255 * 255.
        return Div255Small(
            _mm256_add_epi32(Product(a1, ta), Product(a2, _mm256_sub_epi32(_mm256_set1_epi32(255), ta))));
    default: return a1;
    }
}

inline __m256i BlendFactor(uint32_t factor, __m256i alpha) {
    switch (factor) {
    case D3DBLEND_ZERO: return _mm256_setzero_si256();
    case D3DBLEND_SRCALPHA: return alpha;
    case D3DBLEND_INVSRCALPHA: return _mm256_sub_epi32(_mm256_set1_epi32(255), alpha);
    default: return _mm256_set1_epi32(255);
    }
}

inline bool UsesAlpha(uint32_t factor) {
    return factor == D3DBLEND_SRCALPHA || factor == D3DBLEND_INVSRCALPHA;
}

// Target pixels widened to 8-bit channels (Unpack16).
inline Channels Unpack(__m256i v, bool is565) {
    __m256i r5 = is565 ? _mm256_srli_epi32(v, 11) : _mm256_and_si256(_mm256_srli_epi32(v, 10), _mm256_set1_epi32(31));
    __m256i b5 = _mm256_and_si256(v, _mm256_set1_epi32(31));
    __m256i r = _mm256_or_si256(_mm256_slli_epi32(r5, 3), _mm256_srli_epi32(r5, 2));
    __m256i b = _mm256_or_si256(_mm256_slli_epi32(b5, 3), _mm256_srli_epi32(b5, 2));
    __m256i g;
    if (is565) {
        __m256i g6 = _mm256_and_si256(_mm256_srli_epi32(v, 5), _mm256_set1_epi32(63));
        g = _mm256_or_si256(_mm256_slli_epi32(g6, 2), _mm256_srli_epi32(g6, 4));
    } else {
        __m256i g5 = _mm256_and_si256(_mm256_srli_epi32(v, 5), _mm256_set1_epi32(31));
        g = _mm256_or_si256(_mm256_slli_epi32(g5, 3), _mm256_srli_epi32(g5, 2));
    }
    return {r, g, b, _mm256_set1_epi32(255)};
}

// 8-bit channels narrowed into 16-bit pixels (Pack16 without the dither).
inline __m256i Pack(const Channels& c, bool is565) {
    if (is565) {
        return _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(c.r, 3), 11),
                               _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(c.g, 2), 5),
                                               _mm256_srli_epi32(c.b, 3)));
    }
    return _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(c.r, 3), 10),
                           _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(c.g, 3), 5), _mm256_srli_epi32(c.b, 3)));
}

inline __m128i To16(__m256i v) {
    return _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

inline __m128i Mask16(__m256i m) {
    return _mm_packs_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
}

// Loads n (1..8) 16-bit values into the low lanes.
inline __m128i LoadPart(const uint8_t* p, int n) {
    alignas(16) uint16_t part[8] = {};
    for (int i = 0; i < n; ++i) part[i] = Load16(p + 2 * i);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(part));
}

inline void StorePart(uint8_t* p, __m128i v, int n) {
    alignas(16) uint16_t part[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(part), v);
    for (int i = 0; i < n; ++i) Store16(p + 2 * i, part[i]);
}

// Stores the pixels (and the z values of the lanes kept): eight whole, or
// the first n.
inline void Store(uint8_t* dp, uint8_t* zp, __m128i out16, __m256i z, __m128i zOld, __m128i keep, int n, bool whole,
                  bool writeZ) {
    if (whole) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), out16);
        if (writeZ) _mm_storeu_si128(reinterpret_cast<__m128i*>(zp), _mm_blendv_epi8(zOld, To16(z), keep));
    } else {
        StorePart(dp, out16, n);
        if (writeZ) StorePart(zp, _mm_blendv_epi8(zOld, To16(z), keep), n);
    }
}

// One 8-bit channel of eight values, clamped as ToChannel8 clamps it but
// for the saturating pack to 16 bits that follows: the minimum (which
// passes a value that is not a number on, as its second operand) then the
// conversion, whose results below 0 (and the -2^31 of a value that is not a
// number) the pack takes to 0, where the plain routine's clamp puts them.
inline __m256i ToChannelForPack(__m256 v) {
    return _mm256_cvttps_epi32(_mm256_add_ps(_mm256_min_ps(Splat(255.0f), v), Splat(0.5f)));
}

// Texels modulated by a shaded diffuse colour and packed as 5-6-5 pixels,
// the channels in 16-bit lanes: red and blue of eight pixels share one
// register (blue in the low four lanes of each half, red in the high four),
// green another.  Each product is taken and divided by 255 as Div255Small
// does; the shifts of Pack are folded into the ones that end the division
// (with m the high half of the product by 0x8081, below 2^15, a channel is
// m >> 7, so its top five bits are m >> 10 and its top six m >> 9).
inline __m128i Modulate565(__m256i texels, __m256 r, __m256 g, __m256 b) {
    const __m256i pickRB = _mm256_setr_epi8(0, -1, 4, -1, 8, -1, 12, -1, 2, -1, 6, -1, 10, -1, 14, -1, 0, -1, 4, -1,
                                            8, -1, 12, -1, 2, -1, 6, -1, 10, -1, 14, -1);
    const __m256i pickG = _mm256_setr_epi8(1, -1, 5, -1, 9, -1, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, -1, 5, -1,
                                           9, -1, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i texRB = _mm256_shuffle_epi8(texels, pickRB), texG = _mm256_shuffle_epi8(texels, pickG);
    const __m256i gI = ToChannelForPack(g);
    const __m256i dRB = _mm256_packus_epi32(ToChannelForPack(b), ToChannelForPack(r));
    const __m256i dG = _mm256_packus_epi32(gI, gI);
    const __m256i k = _mm256_set1_epi16(int16_t(0x8081));
    const __m256i mRB = _mm256_mulhi_epu16(_mm256_mullo_epi16(texRB, dRB), k);
    const __m256i mG = _mm256_mulhi_epu16(_mm256_mullo_epi16(texG, dG), k);
    const __m256i red = _mm256_and_si256(_mm256_slli_epi16(mRB, 1), _mm256_set1_epi16(int16_t(0xF800)));
    const __m256i green = _mm256_and_si256(_mm256_srli_epi16(mG, 4), _mm256_set1_epi16(0x07E0));
    const __m256i blue = _mm256_srli_epi16(mRB, 10);
    // The pixels are in the low four lanes of each half.
    const __m256i px = _mm256_or_si256(_mm256_or_si256(_mm256_bsrli_epi128(red, 8), blue), green);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(px, 0x08));
}

// ---------------------------------------------------------------------------
// One span, eight pixels a step
// ---------------------------------------------------------------------------

// What the sampling of one texture reads, held in registers for a span.
struct Sampler {
    const int* argb;      // the decoded texels
    const int* keyFlags;  // nullptr: the key does not apply
    const int* packed;    // the texels as target pixels, or nullptr
    __m256 width, height;
    __m256i maskX, maskY;
    __m128i shift;

    Sampler() : argb(nullptr), keyFlags(nullptr), packed(nullptr), width(), height(), maskX(), maskY(), shift() {}
    explicit Sampler(const Context& c)
        : argb(reinterpret_cast<const int*>(c.tex->argb.data())),
          keyFlags(c.keyed ? reinterpret_cast<const int*>(c.tex->keyFlags.data()) : nullptr),
          packed(reinterpret_cast<const int*>(c.packed)),
          width(Splat(float(c.tex->width))),
          height(Splat(float(c.tex->height))),
          maskX(_mm256_set1_epi32(c.tex->width - 1)),
          maskY(_mm256_set1_epi32(c.tex->height - 1)),
          shift(_mm_cvtsi32_si128(c.tex->widthShift)) {}

    __m256i Texels(__m256i index) const { return _mm256_i32gather_epi32(argb, index, 4); }

    // The nearest texels' indexes.
    __m256i Index(__m256 u, __m256 v) const {
        __m256i ix = WrapFloor(_mm256_mul_ps(u, width), maskX), iy = WrapFloor(_mm256_mul_ps(v, height), maskY);
        return _mm256_add_epi32(_mm256_sll_epi32(iy, shift), ix);
    }

    // All ones in the lanes whose texel is keyed.
    __m256i KeyedLanes(__m256i index) const {
        __m256i flags = _mm256_and_si256(_mm256_i32gather_epi32(keyFlags, index, 1), _mm256_set1_epi32(255));
        return _mm256_cmpgt_epi32(flags, _mm256_setzero_si256());
    }

    // The nearest texels' indexes; the keyed lanes are taken out of *pass.
    __m256i Nearest(__m256 u, __m256 v, __m256i* pass) const {
        __m256i nearest = Index(u, v);
        if (keyFlags) *pass = _mm256_andnot_si256(KeyedLanes(nearest), *pass);
        return nearest;
    }

    // The target pixels of the texels at these indexes (packed).
    __m256i Pixels(__m256i index) const {
        return _mm256_and_si256(_mm256_i32gather_epi32(packed, index, 2), _mm256_set1_epi32(0xFFFF));
    }
};

// The texels of eight pixels at texture co-ordinates (u, v), filtered; the
// keyed lanes are taken out of *pass.
template <bool Linear>
[[gnu::always_inline]] inline Channels Sample8(const Sampler& s, __m256 u, __m256 v, __m256i* pass) {
    const __m256 width = s.width, height = s.height;
    const __m256i maskX = s.maskX, maskY = s.maskY;
    const __m128i shift = s.shift;
    if (!Linear || s.keyFlags) {
        __m256i nearest = s.Nearest(u, v, pass);
        if constexpr (!Linear) return Split(s.Texels(nearest));
    }
    __m256 fx = _mm256_sub_ps(_mm256_mul_ps(u, width), Splat(0.5f));
    __m256 fy = _mm256_sub_ps(_mm256_mul_ps(v, height), Splat(0.5f));
    const __m256 lo = Splat(-2147483648.0f), hi = Splat(2147483648.0f);
    __m256 inside = _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(fx, lo, _CMP_GT_OQ), _mm256_cmp_ps(fx, hi, _CMP_LT_OQ)),
                                  _mm256_and_ps(_mm256_cmp_ps(fy, lo, _CMP_GT_OQ), _mm256_cmp_ps(fy, hi, _CMP_LT_OQ)));
    fx = _mm256_and_ps(fx, inside), fy = _mm256_and_ps(fy, inside);
    __m256 gx = _mm256_floor_ps(fx), gy = _mm256_floor_ps(fy);
    __m256i wx = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(fx, gx), Splat(256.0f)));
    __m256i wy = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_sub_ps(fy, gy), Splat(256.0f)));
    const __m256i one = _mm256_set1_epi32(1);
    __m256i ix = _mm256_cvttps_epi32(gx), iy = _mm256_cvttps_epi32(gy);
    __m256i x0 = _mm256_and_si256(ix, maskX), x1 = _mm256_and_si256(_mm256_add_epi32(ix, one), maskX);
    __m256i y0 = _mm256_sll_epi32(_mm256_and_si256(iy, maskY), shift);
    __m256i y1 = _mm256_sll_epi32(_mm256_and_si256(_mm256_add_epi32(iy, one), maskY), shift);
    Channels c00 = Split(s.Texels(_mm256_add_epi32(y0, x0)));
    Channels c10 = Split(s.Texels(_mm256_add_epi32(y0, x1)));
    Channels c01 = Split(s.Texels(_mm256_add_epi32(y1, x0)));
    Channels c11 = Split(s.Texels(_mm256_add_epi32(y1, x1)));
    const __m256i full = _mm256_set1_epi32(256);
    __m256i rx = _mm256_sub_epi32(full, wx), ry = _mm256_sub_epi32(full, wy);
    __m256i w00 = _mm256_mullo_epi32(rx, ry), w10 = _mm256_mullo_epi32(wx, ry);
    __m256i w01 = _mm256_mullo_epi32(rx, wy), w11 = _mm256_mullo_epi32(wx, wy);
    auto mix = [&](__m256i a, __m256i b, __m256i cc, __m256i dd) {
        __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(a, w00), _mm256_mullo_epi32(b, w10));
        sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(cc, w01));
        sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(dd, w11));
        return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(32768)), 16);
    };
    return {mix(c00.r, c10.r, c01.r, c11.r), mix(c00.g, c10.g, c01.g, c11.g), mix(c00.b, c10.b, c01.b, c11.b),
            mix(c00.a, c10.a, c01.a, c11.a)};
}

// The stage's colour from texel and diffuse colour; the alpha is the
// diffuse one unless alphaUsed.
[[gnu::always_inline]] inline Channels Stage(const StageOps& ops, const Channels& texel, const Channels& d, bool alphaUsed) {
    const Channels& c1 = ReadsTexture(ops.colourArg1) ? texel : d;
    const Channels& c2 = ReadsTexture(ops.colourArg2) ? texel : d;
    Channels colour;
    switch (ops.colourOp) {
    case D3DTOP_SELECTARG2: colour = {c2.r, c2.g, c2.b, d.a}; break;
    case D3DTOP_MODULATE:
        colour = {Div255Small(Product(c1.r, c2.r)), Div255Small(Product(c1.g, c2.g)),
                  Div255Small(Product(c1.b, c2.b)), d.a};
        break;
    case D3DTOP_BLENDTEXTUREALPHA:
        colour = {Op(D3DTOP_BLENDTEXTUREALPHA, c1.r, c2.r, texel.a, d.r),
                  Op(D3DTOP_BLENDTEXTUREALPHA, c1.g, c2.g, texel.a, d.g),
                  Op(D3DTOP_BLENDTEXTUREALPHA, c1.b, c2.b, texel.a, d.b), d.a};
        break;
    default: colour = {c1.r, c1.g, c1.b, d.a}; break;
    }
    if (alphaUsed)
        colour.a = Op(ops.alphaOp, ReadsTexture(ops.alphaArg1) ? texel.a : d.a,
                      ReadsTexture(ops.alphaArg2) ? texel.a : d.a, texel.a, d.a);
    return colour;
}

// What the spans of one triangle share, gathered once per triangle; the
// state is copied out of the context, as the pixel stores could otherwise
// alias it and it would be read again at every step.
struct TriangleSetup {
    bool alphaUsed;  // the diffuse alpha reaches a blend factor (else it is never drawn)
    bool writeZ, perspective, blend, dither, is565, keyed;
    bool texelOnly;  // MODULATE by a flat white diffuse colour: the texel as it is
    uint32_t zFunc, srcBlend, destBlend;
    StageOps ops;
    Sampler sampler;
    Channels flat;
    __m256 zSlope, rSlope, gSlope, bSlope, aSlope, uSlope, vSlope, qSlope;
};

template <bool Textured, bool Shade>
void SetUpSpans(const Context& c, const Triangle& t, TriangleSetup* s) {
    s->alphaUsed = c.blend && (UsesAlpha(c.srcBlend) || UsesAlpha(c.destBlend));
    s->writeZ = c.depth && c.zWrite;
    s->perspective = Textured && c.perspective;
    s->blend = c.blend, s->dither = c.dither, s->is565 = c.is565, s->keyed = Textured && c.keyed;
    s->zFunc = c.zFunc, s->srcBlend = c.srcBlend, s->destBlend = c.destBlend;
    s->ops = c.ops;
    s->texelOnly = Textured && !Shade && c.ops.colourOp == D3DTOP_MODULATE &&
                   ReadsTexture(c.ops.colourArg1) != ReadsTexture(c.ops.colourArg2) && t.flatDiffuse.r == 255 &&
                   t.flatDiffuse.g == 255 && t.flatDiffuse.b == 255 && !s->alphaUsed;
    s->sampler = Textured ? Sampler(c) : Sampler{};
    s->flat = {_mm256_set1_epi32(t.flatDiffuse.r), _mm256_set1_epi32(t.flatDiffuse.g),
               _mm256_set1_epi32(t.flatDiffuse.b), _mm256_set1_epi32(t.flatDiffuse.a)};
    s->zSlope = Splat(t.slopes[kZ]);
    s->rSlope = Splat(t.slopes[kR]), s->gSlope = Splat(t.slopes[kG]), s->bSlope = Splat(t.slopes[kB]);
    s->aSlope = Splat(t.slopes[kA]);
    s->uSlope = Splat(t.slopes[kU]), s->vSlope = Splat(t.slopes[kV]), s->qSlope = Splat(t.slopes[kQ]);
}

// The state most draws are in, for which the span is built with it fixed:
// point sampling with perspective, no blending, dithering or colour key, z
// compared less-or-equal, and the texel modulated by the diffuse colour.
inline bool CommonState(const Context& c) {
    return c.textured && !c.linear && c.perspective && !c.blend && !c.dither && !c.keyed &&
           c.zFunc == D3DCMP_LESSEQUAL && c.ops.colourOp == D3DTOP_MODULATE &&
           ReadsTexture(c.ops.colourArg1) != ReadsTexture(c.ops.colourArg2);
}

// One span as its steps read it: where its attributes start (in this
// order: SpanPlanes stores them four at a time).
struct SpanStart {
    float z, r, g, b, a, u, v, q;
    int left, y;
    uint8_t* colour;  // the start of the row in the target
    uint8_t* depth;   // and in the z-buffer (nullptr: none)
};

// Eight pixels (or the last n of a span) x .. x + n - 1 of a span; at is
// x's distance from the span's start, the float each lane's own distance
// is made from.
struct Step {
    const SpanStart* span;
    int x, n;
    float at;
};

// The dither offsets of each row of the matrix, repeated so that eight lanes
// read from any start.
struct DitherRows {
    int v[4][12];
};
constexpr DitherRows MakeDitherRows() {
    DitherRows d{};
    for (int y = 0; y < 4; ++y)
        for (int i = 0; i < 12; ++i) d.v[y][i] = kBayer[y][i & 3];
    return d;
}
constexpr DitherRows kDitherRows = MakeDitherRows();

// RowStepper's rows with its three edges stepped together, one in each
// 64-bit lane, without branches.  An upper bound's remainder r is held as
// d - 1 - r, which steps as a lower bound's does (subtract the remainder's
// change; where it falls below 0, add d and carry 1 into the bound); a
// horizontal edge holds E minus its threshold as its bound, stepped by its
// change, and the row is empty where that is below 0.  Built for the 512-bit
// extensions wherever this file is included (the wide build steps with it;
// a test compares it with RowStepper).
#define MORVANEL_EDGE_LANES [[gnu::target("avx2,avx512f,avx512vl")]]
class LaneStepper {
public:
    MORVANEL_EDGE_LANES explicit LaneStepper(const RowStepper& rs) {
        alignas(32) int64_t q[4] = {}, r[4] = {}, d[4] = {1, 1, 1, 1}, qd[4] = {}, rd[4] = {};
        unsigned lower = 0, upper = 0, flat = 0;
        for (int i = 0; i < 3; ++i) {
            const RowStepper::EdgeStep& e = rs.EdgeAt(i);
            if (e.kind == 1) {
                q[i] = e.q, r[i] = e.r, d[i] = e.d, qd[i] = e.qd, rd[i] = e.rd, lower |= 1u << i;
            } else if (e.kind == -1) {
                q[i] = e.q, r[i] = e.d - 1 - e.r, d[i] = e.d, qd[i] = e.qd, rd[i] = e.rd, upper |= 1u << i;
            } else {
                q[i] = e.k - e.threshold, qd[i] = e.kStep, flat |= 1u << i;
            }
        }
        q_ = _mm256_load_si256(reinterpret_cast<const __m256i*>(q));
        r_ = _mm256_load_si256(reinterpret_cast<const __m256i*>(r));
        d_ = _mm256_load_si256(reinterpret_cast<const __m256i*>(d));
        qd_ = _mm256_load_si256(reinterpret_cast<const __m256i*>(qd));
        rd_ = _mm256_load_si256(reinterpret_cast<const __m256i*>(rd));
        lower_ = _cvtu32_mask8(lower), upper_ = _cvtu32_mask8(upper), flat_ = _cvtu32_mask8(flat);
        // The lanes that bound nothing (and the fourth) hold the triangle's
        // bounds.
        lowFill_ = _mm256_set1_epi64x(rs.Left());
        highFill_ = _mm256_set1_epi64x(rs.Right());
    }

    // The span of the current row (empty: left > right), then moves to the
    // next row.
    MORVANEL_EDGE_LANES void Next(int* left, int* right) {
        __m256i lo = _mm256_mask_blend_epi64(lower_, lowFill_, q_);
        __m256i hi = _mm256_mask_blend_epi64(upper_, highFill_, q_);
        lo = _mm256_max_epi64(lo, _mm256_permute4x64_epi64(lo, 0x4E));
        hi = _mm256_min_epi64(hi, _mm256_permute4x64_epi64(hi, 0x4E));
        lo = _mm256_max_epi64(lo, _mm256_permute4x64_epi64(lo, 0xB1));
        hi = _mm256_min_epi64(hi, _mm256_permute4x64_epi64(hi, 0xB1));
        const bool cut = _mm256_mask_cmplt_epi64_mask(flat_, q_, _mm256_setzero_si256()) != 0;
        // The bounds lie inside the triangle's, so their low halves are
        // the ints.
        const int l = _mm256_cvtsi256_si32(lo), h = _mm256_cvtsi256_si32(hi);
        *left = l;
        *right = cut ? l - 1 : h;
        r_ = _mm256_sub_epi64(r_, rd_);
        const __mmask8 carry = _mm256_cmplt_epi64_mask(r_, _mm256_setzero_si256());
        q_ = _mm256_mask_add_epi64(_mm256_add_epi64(q_, qd_), carry, _mm256_add_epi64(q_, qd_), _mm256_set1_epi64x(1));
        r_ = _mm256_mask_add_epi64(r_, carry, r_, d_);
    }

private:
    __m256i q_, r_, d_, qd_, rd_, lowFill_, highFill_;
    __mmask8 lower_, upper_, flat_;
};
#undef MORVANEL_EDGE_LANES

// The lanes of a step of n pixels, by n.
constexpr uint8_t kLanes[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

// The steps of a triangle are drawn in batches of spans from several rows,
// which run through one loop: a span of a few steps would otherwise pay for
// a loop of its own (and the mispredicted exit of it) every row.
constexpr int kBatch = 64;

// The steps of a batch, a column per field: the four steps of a short span
// are then written by one store a field.
struct Steps {
    const SpanStart* span[kBatch];
    int x[kBatch], n[kBatch];
    float at[kBatch];

    Step operator[](int k) const { return {span[k], x[k], n[k], at[k]}; }

    void Put(int k, const Step& st) { span[k] = st.span, x[k] = st.x, n[k] = st.n, at[k] = st.at; }

    // Steps k .. k + 3 of a span starting at left with width pixels (those
    // past its end are written but not counted).
    void PutFour(int k, const SpanStart* sp, int left, int width) {
        const __m128i offsets = _mm_setr_epi32(0, 8, 16, 24);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(span + k),
                            _mm256_set1_epi64x(static_cast<long long>(reinterpret_cast<intptr_t>(sp))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + k), _mm_add_epi32(_mm_set1_epi32(left), offsets));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(n + k),
                         _mm_min_epi32(_mm_set1_epi32(8), _mm_sub_epi32(_mm_set1_epi32(width), offsets)));
        _mm_storeu_ps(at + k, _mm_setr_ps(0.0f, 8.0f, 16.0f, 24.0f));
    }
};

// The planes of the attributes a span starts (SpanStart's order), laid out
// for four at a time (eight with the 512-bit extensions): where a span
// starts is then sets of RowStart's, with the same operations in the same
// order.
struct SpanPlanes {
#if defined(__AVX512F__)
    // All eight in one register.
    __m512d a, b, c;

    explicit SpanPlanes(const Triangle& t) {
        const Plane* p[8] = {&t.planes[kZ], &t.planes[kR], &t.planes[kG], &t.planes[kB],
                             &t.planes[kA], &t.planes[kU], &t.planes[kV], &t.planes[kQ]};
        a = _mm512_setr_pd(p[0]->a, p[1]->a, p[2]->a, p[3]->a, p[4]->a, p[5]->a, p[6]->a, p[7]->a);
        b = _mm512_setr_pd(p[0]->b, p[1]->b, p[2]->b, p[3]->b, p[4]->b, p[5]->b, p[6]->b, p[7]->b);
        c = _mm512_setr_pd(p[0]->c, p[1]->c, p[2]->c, p[3]->c, p[4]->c, p[5]->c, p[6]->c, p[7]->c);
    }

    // The attributes at the centre of pixel (x, y), in single precision.
    void Start(int x, int y, SpanStart* out) const {
        const __m512d px = _mm512_set1_pd(x + 0.5), py = _mm512_set1_pd(y + 0.5);
        __m512d v = _mm512_add_pd(_mm512_add_pd(c, _mm512_mul_pd(a, px)), _mm512_mul_pd(b, py));
        // (The masked conversion with every lane kept: the plain one's
        // undefined operand draws a warning from the compiler's headers.)
        _mm256_storeu_ps(&out->z, _mm512_maskz_cvtpd_ps(0xFF, v));
        out->left = x, out->y = y;
    }
#else
    __m256d a[2], b[2], c[2];

    explicit SpanPlanes(const Triangle& t) {
        const Plane* p[8] = {&t.planes[kZ], &t.planes[kR], &t.planes[kG], &t.planes[kB],
                             &t.planes[kA], &t.planes[kU], &t.planes[kV], &t.planes[kQ]};
        for (int h = 0; h < 2; ++h) {
            const Plane *p0 = p[4 * h], *p1 = p[4 * h + 1], *p2 = p[4 * h + 2], *p3 = p[4 * h + 3];
            a[h] = _mm256_setr_pd(p0->a, p1->a, p2->a, p3->a);
            b[h] = _mm256_setr_pd(p0->b, p1->b, p2->b, p3->b);
            c[h] = _mm256_setr_pd(p0->c, p1->c, p2->c, p3->c);
        }
    }

    // The attributes at the centre of pixel (x, y), in single precision.
    void Start(int x, int y, SpanStart* out) const {
        const __m256d px = _mm256_set1_pd(x + 0.5), py = _mm256_set1_pd(y + 0.5);
        for (int h = 0; h < 2; ++h) {
            __m256d v = _mm256_add_pd(_mm256_add_pd(c[h], _mm256_mul_pd(a[h], px)), _mm256_mul_pd(b[h], py));
            _mm_storeu_ps(&out->z + 4 * h, _mm256_cvtpd_ps(v));
        }
        out->left = x, out->y = y;
    }
#endif
};

// Draws the steps of a batch.  Common: the state is CommonState's.
template <bool Textured, bool Linear, bool Depth, bool Shade, bool Common>
[[gnu::always_inline]] inline void DrawSteps(const Context& c, const TriangleSetup& s, const Steps& steps, int count) {
    const bool alphaUsed = !Common && s.alphaUsed, writeZ = s.writeZ, perspective = Common || s.perspective;
    const bool blend = !Common && s.blend, dither = !Common && s.dither, keyed = !Common && s.keyed;
    const bool is565 = s.is565, texelOnly = s.texelOnly;
    // Texels drawn as they are: their target pixels straight from the copy.
    const bool direct = !Linear && texelOnly && s.sampler.packed;
    // Eight pixels from x can be read and written back whole (lanes outside
    // the span unchanged) while they lie inside the row.
    const int wholeUpTo = c.width - 8;
    const uint32_t zFunc = Common ? uint32_t(D3DCMP_LESSEQUAL) : s.zFunc;
    const uint32_t srcBlend = s.srcBlend, destBlend = s.destBlend;
    const StageOps& ops = s.ops;
    const Sampler& sampler = s.sampler;
    const Channels& flat = s.flat;
    const __m256 zSlope = s.zSlope, rSlope = s.rSlope, gSlope = s.gSlope, bSlope = s.bSlope, aSlope = s.aSlope;
    const __m256 uSlope = s.uSlope, vSlope = s.vSlope, qSlope = s.qSlope;
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 laneF = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);

    // The texture co-ordinates of eight pixels at distances i from the start
    // of a span.
    auto coordinates = [&](const SpanStart& sp, __m256 i, __m256* u, __m256* v) {
        *u = At(Splat(sp.u), uSlope, i), *v = At(Splat(sp.v), vSlope, i);
        if (perspective) {
            __m256 q = At(Splat(sp.q), qSlope, i);
            __m256 w = _mm256_div_ps(Splat(1.0f), q);
            w = _mm256_and_ps(w, _mm256_cmp_ps(q, _mm256_setzero_ps(), _CMP_NEQ_UQ));
            *u = _mm256_mul_ps(*u, w), *v = _mm256_mul_ps(*v, w);
        }
    };

    // Point sampling fetches the texels of the batch first, in a loop that
    // does nothing else, so that the fetches of many steps are under way
    // together (one step's fetch waits on a division and a gather, which the
    // rest of its step could not cover); the steps then draw from them.
    constexpr bool prefetch = Textured && !Linear;
    alignas(32) int fetched[prefetch ? 8 * kBatch : 1];
    alignas(32) int keyedLanes[prefetch ? 8 * kBatch : 1];
    if constexpr (prefetch) {
        // One loop for the texels and one for their target pixels, with the
        // choice made once.
        auto fetchAll = [&](auto pixels) {
            for (int k = 0; k < count; ++k) {
                const Step st = steps[k];
                __m256 u, v;
                coordinates(*st.span, _mm256_add_ps(Splat(st.at), laneF), &u, &v);
                __m256i nearest = sampler.Index(u, v);
                if (keyed)
                    _mm256_store_si256(reinterpret_cast<__m256i*>(keyedLanes + 8 * k), sampler.KeyedLanes(nearest));
                _mm256_store_si256(reinterpret_cast<__m256i*>(fetched + 8 * k),
                                   decltype(pixels)::value ? sampler.Pixels(nearest) : sampler.Texels(nearest));
            }
        };
        if (direct) fetchAll(std::true_type{});
        else fetchAll(std::false_type{});
    }

    if constexpr (Common && Shade) {
        if (is565) {
            // Depth, diffuse colour and modulation in 16-bit lanes.
#if defined(__AVX512BW__) && defined(__AVX512VL__) && defined(__AVX512DQ__)
            // The lanes whose z values are written: all of the lanes drawn,
            // or none.
            const __mmask8 zKept = _cvtu32_mask8(writeZ ? 0xFFu : 0u);
#endif
            for (int k = 0; k < count; ++k) {
                const Step st = steps[k];
                const SpanStart& sp = *st.span;
                const int x = st.x, n = st.n;
                const __m256 i = _mm256_add_ps(Splat(st.at), laneF);
                uint8_t* dp = sp.colour + 2 * size_t(x);
                uint8_t* zp = Depth ? sp.depth + 2 * size_t(x) : nullptr;
#if defined(__AVX512BW__) && defined(__AVX512VL__) && defined(__AVX512DQ__)
                // The stores take the lanes drawn as a mask: the target
                // pixels are never read (nor anything past the row's end).
                const __mmask8 lanes = _cvtu32_mask8(kLanes[n]);
                __mmask8 drawn = lanes;
                __m128i z16{};
                if constexpr (Depth) {
                    z16 = QuantiseZ16(At(Splat(sp.z), zSlope, i));
                    drawn = _mm_mask_cmple_epu16_mask(lanes, z16, _mm_maskz_loadu_epi16(lanes, zp));
                    if (!drawn) continue;
                }
                __m256 r = At(Splat(sp.r), rSlope, i), g = At(Splat(sp.g), gSlope, i), b = At(Splat(sp.b), bSlope, i);
                __m256i texels = _mm256_load_si256(reinterpret_cast<const __m256i*>(fetched + 8 * k));
                _mm_mask_storeu_epi16(dp, drawn, Modulate565(texels, r, g, b));
                if constexpr (Depth) _mm_mask_storeu_epi16(zp, _kand_mask8(drawn, zKept), z16);
#else
                const bool whole = n == 8 || x <= wholeUpTo;
                __m128i keep = _mm_cmpgt_epi16(_mm_set1_epi16(int16_t(n)), _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
                __m128i z16{}, zOld16{};
                if constexpr (Depth) {
                    z16 = QuantiseZ16(At(Splat(sp.z), zSlope, i));
                    zOld16 = whole ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp)) : LoadPart(zp, n);
                    // Less or equal: the larger of the two is the stored one.
                    keep = _mm_and_si128(keep, _mm_cmpeq_epi16(_mm_max_epu16(z16, zOld16), zOld16));
                    if (_mm_testz_si128(keep, keep)) continue;
                }
                __m256 r = At(Splat(sp.r), rSlope, i), g = At(Splat(sp.g), gSlope, i), b = At(Splat(sp.b), bSlope, i);
                __m256i texels = _mm256_load_si256(reinterpret_cast<const __m256i*>(fetched + 8 * k));
                __m128i old16 = whole ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp)) : LoadPart(dp, n);
                __m128i out16 = _mm_blendv_epi8(old16, Modulate565(texels, r, g, b), keep);
                __m128i zOut = _mm_blendv_epi8(zOld16, z16, keep);
                if (whole) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), out16);
                    if (Depth && writeZ) _mm_storeu_si128(reinterpret_cast<__m128i*>(zp), zOut);
                } else {
                    StorePart(dp, out16, n);
                    if (Depth && writeZ) StorePart(zp, zOut, n);
                }
#endif
            }
            return;
        }
    }

    for (int k = 0; k < count; ++k) {
        const Step st = steps[k];
        const SpanStart& sp = *st.span;
        const int x = st.x, n = st.n;
        const bool whole = n == 8 || x <= wholeUpTo;
        const __m256 i = _mm256_add_ps(Splat(st.at), laneF);
        __m256i pass = _mm256_cmpgt_epi32(_mm256_set1_epi32(n), lane);
        uint8_t* dp = sp.colour + 2 * size_t(x);
        uint8_t* zp = Depth ? sp.depth + 2 * size_t(x) : nullptr;
        __m256i z{};
        __m128i zOld{};
        if constexpr (Depth) {
            __m256 zf = At(Splat(sp.z), zSlope, i);
            z = QuantiseZ8(zf);
            zOld = whole ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp)) : LoadPart(zp, n);
            pass = _mm256_and_si256(pass, CompareZ(zFunc, z, _mm256_cvtepu16_epi32(zOld)));
            if (_mm256_testz_si256(pass, pass)) continue;
        }
        Channels d = flat;
        if constexpr (Shade) {
            __m256 r = At(Splat(sp.r), rSlope, i), g = At(Splat(sp.g), gSlope, i), b = At(Splat(sp.b), bSlope, i);
            d.r = ToChannel8(r), d.g = ToChannel8(g), d.b = ToChannel8(b);
            if (alphaUsed) d.a = ToChannel8(At(Splat(sp.a), aSlope, i));
        }
        Channels colour = d;
        if constexpr (Textured) {
            Channels texel;
            if constexpr (prefetch) {
                if (keyed) {
                    pass = _mm256_andnot_si256(_mm256_load_si256(reinterpret_cast<const __m256i*>(keyedLanes + 8 * k)),
                                               pass);
                    if (_mm256_testz_si256(pass, pass)) continue;
                }
                if (!direct) texel = Split(_mm256_load_si256(reinterpret_cast<const __m256i*>(fetched + 8 * k)));
            } else {
                __m256 u, v;
                coordinates(sp, i, &u, &v);
                texel = Sample8<Linear>(sampler, u, v, &pass);
                if (keyed && _mm256_testz_si256(pass, pass)) continue;
            }
            if (direct) {
                __m256i pixels = _mm256_load_si256(reinterpret_cast<const __m256i*>(fetched + 8 * k));
                __m128i old16 = whole ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp)) : LoadPart(dp, n);
                Store(dp, zp, _mm_blendv_epi8(old16, To16(pixels), Mask16(pass)), z, zOld, Mask16(pass), n, whole,
                      writeZ);
                continue;
            }
            if (Common)
                colour = texelOnly ? Channels{texel.r, texel.g, texel.b, d.a}
                                   : Channels{Div255Small(Product(texel.r, d.r)), Div255Small(Product(texel.g, d.g)),
                                              Div255Small(Product(texel.b, d.b)), d.a};
            else
                colour = texelOnly ? Channels{texel.r, texel.g, texel.b, d.a} : Stage(ops, texel, d, alphaUsed);
        }
        __m128i old16 = whole ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp)) : LoadPart(dp, n);
        if (blend) {
            Channels o = Unpack(_mm256_cvtepu16_epi32(old16), is565);
            __m256i fs = BlendFactor(srcBlend, colour.a), fd = BlendFactor(destBlend, colour.a);
            auto mix = [&](__m256i a, __m256i b) {
                return Div255Clamped(_mm256_add_epi32(_mm256_mullo_epi32(a, fs), _mm256_mullo_epi32(b, fd)));
            };
            colour = {mix(colour.r, o.r), mix(colour.g, o.g), mix(colour.b, o.b), colour.a};
        }
        if (dither) {
            const int* offsets = kDitherRows.v[sp.y & 3];
            __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offsets + (x & 3)));
            __m256i step = _mm256_srli_epi32(dv, 1);
            const __m256i top = _mm256_set1_epi32(255);
            colour.r = _mm256_min_epi32(top, _mm256_add_epi32(colour.r, step));
            colour.b = _mm256_min_epi32(top, _mm256_add_epi32(colour.b, step));
            colour.g = _mm256_min_epi32(top, _mm256_add_epi32(colour.g, is565 ? _mm256_srli_epi32(dv, 2) : step));
        }
        __m128i keep = Mask16(pass);
        Store(dp, zp, _mm_blendv_epi8(old16, To16(Pack(colour, is565)), keep), z, zOld, keep, n, whole, writeZ);
    }
}

// Rows from..to of a triangle for what it and the state read.
template <bool Textured, bool Linear, bool Depth, bool Shade, bool Common>
void RowsOf(const Context& c, const Triangle& t, int from, int to) {
    TriangleSetup setup;
    SetUpSpans<Textured, Shade>(c, t, &setup);
    const SpanPlanes planes(t);
    SpanStart spans[kBatch + 1];
    Steps steps;
    int spanCount = 0, stepCount = 0;
#if defined(__AVX512F__) && defined(__AVX512VL__)
    LaneStepper stepper(RowStepper(t, from));
#else
    RowStepper stepper(t, from);
#endif
    const size_t colourPitch = size_t(c.colourPitch), depthPitch = Depth ? size_t(c.depthPitch) : 0;
    uint8_t* colourRow = c.colour + size_t(from) * colourPitch;
    uint8_t* depthRow = Depth ? c.depth + size_t(from) * depthPitch : nullptr;
    for (int y = from; y <= to; ++y, colourRow += colourPitch, depthRow += depthPitch) {
        int left, right;
        stepper.Next(&left, &right);
        if (left > right) continue;
        SpanStart* const sp = &spans[spanCount];
        planes.Start(left, y, sp);
        sp->colour = colourRow, sp->depth = depthRow;
        const int count = (right - left) / 8 + 1;
        if (count <= 4) {
            // Spans of up to four steps (most of them) are put in the batch
            // without a loop whose length changes from row to row.
            if (stepCount + 4 > kBatch) {
                DrawSteps<Textured, Linear, Depth, Shade, Common>(c, setup, steps, stepCount);
                spans[0] = spans[spanCount];
                spanCount = stepCount = 0;
            }
            steps.PutFour(stepCount, &spans[spanCount], left, right - left + 1);
            stepCount += count;
        } else {
            for (int x = left; x <= right; x += 8) {
                if (stepCount == kBatch) {
                    DrawSteps<Textured, Linear, Depth, Shade, Common>(c, setup, steps, stepCount);
                    // The span goes on in the next batch.
                    spans[0] = spans[spanCount];
                    spanCount = stepCount = 0;
                }
                steps.Put(stepCount++, {&spans[spanCount], x, std::min(8, right - x + 1), float(x - left)});
            }
        }
        ++spanCount;
    }
    if (stepCount) DrawSteps<Textured, Linear, Depth, Shade, Common>(c, setup, steps, stepCount);
}

template <bool Textured, bool Linear, bool Common>
void RowsFor(const Context& c, const Triangle& t, int from, int to) {
    if (c.depth) {
        if (t.shadeDiffuse) RowsOf<Textured, Linear, true, true, Common>(c, t, from, to);
        else RowsOf<Textured, Linear, true, false, Common>(c, t, from, to);
    } else {
        if (t.shadeDiffuse) RowsOf<Textured, Linear, false, true, Common>(c, t, from, to);
        else RowsOf<Textured, Linear, false, false, Common>(c, t, from, to);
    }
}

template <bool Textured, bool Linear>
void Rows(const Context& c, const Triangle& t, int from, int to) {
    if constexpr (Textured && !Linear) {
        if (CommonState(c)) return RowsFor<true, false, true>(c, t, from, to);
    }
    RowsFor<Textured, Linear, false>(c, t, from, to);
}

}  // namespace
}  // namespace host::raster
