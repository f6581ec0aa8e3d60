// The body of the fast routines of the host's rasteriser, included by the
// file that builds it for AVX2 (d3d_raster_avx2.cpp).  Everything here has
// internal linkage.
//
// Eight pixels a step.  Every pixel goes through the operations of the plain
// span (d3d_raster.cpp) in the same order and precision: the attribute
// planes in double precision (a product and a sum per pixel, no fused
// multiply-add), the perspective division, the floor and wrap of texel
// co-ordinates done exactly on whole numbers held in doubles, and the
// integer stage and blending arithmetic with exact forms of the divisions
// by 255.  Textures are read from the view's decoded copy (so the sides must
// be powers of two).
#pragma once

#include "host/d3d_raster.h"

#include <immintrin.h>

namespace host::raster {
namespace {

inline __m256i Join(__m128i lo, __m128i hi) {
    return _mm256_set_m128i(hi, lo);
}

// ---------------------------------------------------------------------------
// Eight doubles: D8 (two AVX registers), with masks M8
// ---------------------------------------------------------------------------

struct D8 {
    __m256d lo, hi;
};
using M8 = D8;

inline D8 Set(double v) { return {_mm256_set1_pd(v), _mm256_set1_pd(v)}; }
inline D8 Add(D8 a, D8 b) { return {_mm256_add_pd(a.lo, b.lo), _mm256_add_pd(a.hi, b.hi)}; }
inline D8 Sub(D8 a, D8 b) { return {_mm256_sub_pd(a.lo, b.lo), _mm256_sub_pd(a.hi, b.hi)}; }
inline D8 Mul(D8 a, D8 b) { return {_mm256_mul_pd(a.lo, b.lo), _mm256_mul_pd(a.hi, b.hi)}; }
inline D8 Div(D8 a, D8 b) { return {_mm256_div_pd(a.lo, b.lo), _mm256_div_pd(a.hi, b.hi)}; }
// The maximum and minimum answer their second operand when one is not a
// number.
inline D8 Max(D8 a, D8 b) { return {_mm256_max_pd(a.lo, b.lo), _mm256_max_pd(a.hi, b.hi)}; }
inline D8 Min(D8 a, D8 b) { return {_mm256_min_pd(a.lo, b.lo), _mm256_min_pd(a.hi, b.hi)}; }
inline D8 Floor(D8 a) { return {_mm256_floor_pd(a.lo), _mm256_floor_pd(a.hi)}; }
inline M8 Greater(D8 a, D8 b) {
    return {_mm256_cmp_pd(a.lo, b.lo, _CMP_GT_OQ), _mm256_cmp_pd(a.hi, b.hi, _CMP_GT_OQ)};
}
inline M8 Less(D8 a, D8 b) { return {_mm256_cmp_pd(a.lo, b.lo, _CMP_LT_OQ), _mm256_cmp_pd(a.hi, b.hi, _CMP_LT_OQ)}; }
inline M8 NotZero(D8 a) {
    const __m256d zero = _mm256_setzero_pd();
    return {_mm256_cmp_pd(a.lo, zero, _CMP_NEQ_UQ), _mm256_cmp_pd(a.hi, zero, _CMP_NEQ_UQ)};
}
inline M8 Both(M8 a, M8 b) { return {_mm256_and_pd(a.lo, b.lo), _mm256_and_pd(a.hi, b.hi)}; }
inline bool All(M8 m) { return (_mm256_movemask_pd(m.lo) & _mm256_movemask_pd(m.hi)) == 15; }
inline D8 ZeroUnless(D8 v, M8 m) { return {_mm256_and_pd(v.lo, m.lo), _mm256_and_pd(v.hi, m.hi)}; }
inline __m256i Truncate(D8 v) { return Join(_mm256_cvttpd_epi32(v.lo), _mm256_cvttpd_epi32(v.hi)); }
// x + 0.5, x + 1.5, ... x + 7.5: the centres of eight pixels.
inline D8 Centres(int x) {
    __m256d base = _mm256_set1_pd(double(x));
    return {_mm256_add_pd(base, _mm256_setr_pd(0.5, 1.5, 2.5, 3.5)), _mm256_add_pd(base, _mm256_setr_pd(4.5, 5.5, 6.5, 7.5))};
}

// row + a * px, as the plain span's At().
inline D8 At(D8 row, D8 a, D8 px) {
    return Add(row, Mul(a, px));
}

// QuantiseZ of eight values: the value held to 0..1 first (the maximum
// answers 0 for a value that is not a number), which gives the plain
// routine's 0 and 65535 at the ends and leaves the rest as it is.
inline __m256i QuantiseZ8(D8 z) {
    D8 held = Min(Max(z, Set(0.0)), Set(1.0));
    return Truncate(Add(Mul(held, Set(65535.0)), Set(0.5)));
}

// ToChannel of eight values, held to 0..255 likewise.
inline __m256i ToChannel8(D8 v) {
    D8 held = Min(Max(v, Set(0.0)), Set(255.0));
    return Truncate(Add(held, Set(0.5)));
}

// Whether every lane lies strictly between -2^31 and 2^31.
inline bool Near(D8 a, D8 b) {
    const D8 lo = Set(-2147483648.0), hi = Set(2147483648.0);
    return All(Both(Both(Greater(a, lo), Less(a, hi)), Both(Greater(b, lo), Less(b, hi))));
}

// floor(m) wrapped into 0..n-1 for n a power of two, for values known to lie
// strictly between -2^31 and 2^31: the floor converts exactly to 32 bits and
// the low bits are the wrap.
inline __m256i WrapFloorNear(D8 m, int mask) {
    return _mm256_and_si256(Truncate(Floor(m)), _mm256_set1_epi32(mask));
}

// The same for any value: 0 outside the range the plain routine floors
// (+-1e15); whole numbers below 2^53 in doubles keep every step exact.
inline __m256i WrapFloor(D8 m, D8 n, D8 inverse) {
    M8 inside = Both(Greater(m, Set(-1e15)), Less(m, Set(1e15)));
    D8 f = Floor(m);
    D8 w = Sub(f, Mul(Floor(Mul(f, inverse)), n));
    return Truncate(ZeroUnless(w, inside));
}

// A whole number already floored, wrapped likewise.
inline __m256i Wrap(D8 f, D8 n, D8 inverse) {
    return Truncate(Sub(f, Mul(Floor(Mul(f, inverse)), n)));
}

// ---------------------------------------------------------------------------
// Integer lanes
// ---------------------------------------------------------------------------

// x / 255 truncated, exact for 0 <= x <= 66298.
inline __m256i Div255(__m256i x) {
    return _mm256_srli_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(0x8081)), 23);
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
    case D3DTOP_MODULATE: return Div255(_mm256_mullo_epi32(a1, a2));
    case D3DTOP_BLENDTEXTUREALPHA:
        return Div255(_mm256_add_epi32(_mm256_mullo_epi32(a1, ta),
                                       _mm256_mullo_epi32(a2, _mm256_sub_epi32(_mm256_set1_epi32(255), ta))));
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

inline __m128i To16(__m256i v) {
    return _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

inline __m128i Mask16(__m256i m) {
    return _mm_packs_epi32(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1));
}

// Eight texels (decoded 0xAARRGGBB) at the given indexes.
inline __m256i Texels(const TextureView& t, __m256i index) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(t.argb.data()), index, 4);
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

// Rows from..to of a triangle, eight pixels a step.
template <bool Textured, bool Linear>
void Rows(const Context& c, const Triangle& t, int from, int to) {
    // What this state reads: the diffuse alpha only where it reaches a
    // blend factor (the result's alpha is otherwise never drawn).
    const bool shade = t.shadeDiffuse;
    const bool alphaUsed = c.blend && (UsesAlpha(c.srcBlend) || UsesAlpha(c.destBlend));
    const bool depth = c.depth != nullptr, writeZ = depth && c.zWrite;
    auto slope = [&](int k) { return Set(t.planes[k].a); };
    const D8 zSlope = slope(kZ), rSlope = slope(kR), gSlope = slope(kG), bSlope = slope(kB), aSlope = slope(kA);
    const D8 uSlope = slope(kU), vSlope = slope(kV), qSlope = slope(kQ);
    const Channels flat = {_mm256_set1_epi32(t.flatDiffuse.r), _mm256_set1_epi32(t.flatDiffuse.g),
                           _mm256_set1_epi32(t.flatDiffuse.b), _mm256_set1_epi32(t.flatDiffuse.a)};
    const TextureView* tex = c.tex;
    D8 texW = Set(1.0), texH = Set(1.0), invW = Set(1.0), invH = Set(1.0);
    __m128i widthShift{};
    int wrapX = 0, wrapY = 0;
    if constexpr (Textured) {
        texW = Set(double(tex->width)), texH = Set(double(tex->height));
        invW = Set(1.0 / tex->width), invH = Set(1.0 / tex->height);
        widthShift = _mm_cvtsi32_si128(tex->widthShift);
        wrapX = tex->width - 1, wrapY = tex->height - 1;
    }
    const StageOps& ops = c.ops;
    const bool arg1Texture = ReadsTexture(ops.colourArg1), arg2Texture = ReadsTexture(ops.colourArg2);
    // MODULATE by a flat white diffuse colour leaves the texel as it is.
    const bool texelOnly = Textured && !shade && ops.colourOp == D3DTOP_MODULATE && arg1Texture != arg2Texture &&
                           t.flatDiffuse.r == 255 && t.flatDiffuse.g == 255 && t.flatDiffuse.b == 255;
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    auto rowValue = [&](int k, double py) { return Set(t.planes[k].c + t.planes[k].b * py); };

    RowStepper stepper(t, from);
    for (int y = from; y <= to; ++y) {
        int left, right;
        stepper.Next(&left, &right);
        if (left > right) continue;
        const double py = y + 0.5;
        const D8 zRow = depth ? rowValue(kZ, py) : Set(0.0);
        D8 rRow = Set(0.0), gRow = rRow, bRow = rRow, aRow = rRow;
        if (shade) rRow = rowValue(kR, py), gRow = rowValue(kG, py), bRow = rowValue(kB, py), aRow = rowValue(kA, py);
        D8 uRow = Set(0.0), vRow = uRow, qRow = uRow;
        if constexpr (Textured) {
            uRow = rowValue(kU, py), vRow = rowValue(kV, py);
            if (c.perspective) qRow = rowValue(kQ, py);
        }
        // The dither offsets of this row, repeated so eight lanes read from
        // any start.
        alignas(32) int dither[12];
        if (c.dither)
            for (int i = 0; i < 12; ++i) dither[i] = kBayer[y & 3][i & 3];
        uint8_t* dst = c.colour + size_t(y) * c.colourPitch;
        uint8_t* zrow = depth ? c.depth + size_t(y) * c.depthPitch : nullptr;

        for (int x = left; x <= right; x += 8) {
            const int n = std::min(8, right - x + 1);
            const D8 px = Centres(x);
            __m256i pass = _mm256_cmpgt_epi32(_mm256_set1_epi32(n), lane);
            uint8_t* dp = dst + 2 * size_t(x);
            uint8_t* zp = depth ? zrow + 2 * size_t(x) : nullptr;
            __m256i z{};
            __m128i zOld{};
            if (depth) {
                z = QuantiseZ8(At(zRow, zSlope, px));
                zOld = n == 8 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp)) : LoadPart(zp, n);
                pass = _mm256_and_si256(pass, CompareZ(c.zFunc, z, _mm256_cvtepu16_epi32(zOld)));
                if (_mm256_testz_si256(pass, pass)) continue;
            }
            Channels d = flat;
            if (shade) {
                d.r = ToChannel8(At(rRow, rSlope, px));
                d.g = ToChannel8(At(gRow, gSlope, px));
                d.b = ToChannel8(At(bRow, bSlope, px));
                if (alphaUsed) d.a = ToChannel8(At(aRow, aSlope, px));
            }
            Channels colour = d;
            if constexpr (Textured) {
                D8 u = At(uRow, uSlope, px), v = At(vRow, vSlope, px);
                if (c.perspective) {
                    D8 q = At(qRow, qSlope, px);
                    D8 w = ZeroUnless(Div(Set(1.0), q), NotZero(q));
                    u = Mul(u, w), v = Mul(v, w);
                }
                __m256i nearest{};
                if (!Linear || c.keyed) {
                    D8 mx = Mul(u, texW), my = Mul(v, texH);
                    __m256i ix, iy;
                    if (Near(mx, my)) {
                        ix = WrapFloorNear(mx, wrapX);
                        iy = WrapFloorNear(my, wrapY);
                    } else {
                        ix = WrapFloor(mx, texW, invW);
                        iy = WrapFloor(my, texH, invH);
                    }
                    nearest = _mm256_add_epi32(_mm256_sll_epi32(iy, widthShift), ix);
                }
                if (c.keyed) {
                    __m256i flags =
                        _mm256_i32gather_epi32(reinterpret_cast<const int*>(tex->keyFlags.data()), nearest, 1);
                    __m256i keyed = _mm256_and_si256(flags, _mm256_set1_epi32(255));
                    pass = _mm256_andnot_si256(_mm256_cmpgt_epi32(keyed, _mm256_setzero_si256()), pass);
                    if (_mm256_testz_si256(pass, pass)) continue;
                }
                Channels texel;
                if constexpr (Linear) {
                    D8 fx = Sub(Mul(u, texW), Set(0.5)), fy = Sub(Mul(v, texH), Set(0.5));
                    const D8 lo = Set(-1e15), hi = Set(1e15);
                    M8 inside = Both(Both(Greater(fx, lo), Less(fx, hi)), Both(Greater(fy, lo), Less(fy, hi)));
                    fx = ZeroUnless(fx, inside), fy = ZeroUnless(fy, inside);
                    D8 gx = Floor(fx), gy = Floor(fy);
                    __m256i wx = Truncate(Mul(Sub(fx, gx), Set(256.0)));
                    __m256i wy = Truncate(Mul(Sub(fy, gy), Set(256.0)));
                    __m256i x0 = Wrap(gx, texW, invW), x1 = Wrap(Add(gx, Set(1.0)), texW, invW);
                    __m256i y0 = _mm256_sll_epi32(Wrap(gy, texH, invH), widthShift);
                    __m256i y1 = _mm256_sll_epi32(Wrap(Add(gy, Set(1.0)), texH, invH), widthShift);
                    Channels c00 = Split(Texels(*tex, _mm256_add_epi32(y0, x0)));
                    Channels c10 = Split(Texels(*tex, _mm256_add_epi32(y0, x1)));
                    Channels c01 = Split(Texels(*tex, _mm256_add_epi32(y1, x0)));
                    Channels c11 = Split(Texels(*tex, _mm256_add_epi32(y1, x1)));
                    const __m256i full = _mm256_set1_epi32(256);
                    __m256i ix = _mm256_sub_epi32(full, wx), iy = _mm256_sub_epi32(full, wy);
                    __m256i w00 = _mm256_mullo_epi32(ix, iy), w10 = _mm256_mullo_epi32(wx, iy);
                    __m256i w01 = _mm256_mullo_epi32(ix, wy), w11 = _mm256_mullo_epi32(wx, wy);
                    auto mix = [&](__m256i a, __m256i b, __m256i cc, __m256i dd) {
                        __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(a, w00), _mm256_mullo_epi32(b, w10));
                        sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(cc, w01));
                        sum = _mm256_add_epi32(sum, _mm256_mullo_epi32(dd, w11));
                        return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(32768)), 16);
                    };
                    texel = {mix(c00.r, c10.r, c01.r, c11.r), mix(c00.g, c10.g, c01.g, c11.g),
                             mix(c00.b, c10.b, c01.b, c11.b), mix(c00.a, c10.a, c01.a, c11.a)};
                } else {
                    texel = Split(Texels(*tex, nearest));
                }
                if (texelOnly) {
                    colour = {texel.r, texel.g, texel.b, d.a};
                } else {
                    const Channels& c1 = arg1Texture ? texel : d;
                    const Channels& c2 = arg2Texture ? texel : d;
                    switch (ops.colourOp) {
                    case D3DTOP_SELECTARG2: colour = {c2.r, c2.g, c2.b, d.a}; break;
                    case D3DTOP_MODULATE:
                        colour = {Div255(_mm256_mullo_epi32(c1.r, c2.r)), Div255(_mm256_mullo_epi32(c1.g, c2.g)),
                                  Div255(_mm256_mullo_epi32(c1.b, c2.b)), d.a};
                        break;
                    case D3DTOP_BLENDTEXTUREALPHA:
                        colour = {Op(D3DTOP_BLENDTEXTUREALPHA, c1.r, c2.r, texel.a, d.r),
                                  Op(D3DTOP_BLENDTEXTUREALPHA, c1.g, c2.g, texel.a, d.g),
                                  Op(D3DTOP_BLENDTEXTUREALPHA, c1.b, c2.b, texel.a, d.b), d.a};
                        break;
                    default: colour = {c1.r, c1.g, c1.b, d.a}; break;
                    }
                }
                if (alphaUsed)
                    colour.a = Op(ops.alphaOp, ReadsTexture(ops.alphaArg1) ? texel.a : d.a,
                                  ReadsTexture(ops.alphaArg2) ? texel.a : d.a, texel.a, d.a);
            }
            __m128i old16 = n == 8 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp)) : LoadPart(dp, n);
            if (c.blend) {
                Channels o = Unpack(_mm256_cvtepu16_epi32(old16), c.is565);
                __m256i fs = BlendFactor(c.srcBlend, colour.a), fd = BlendFactor(c.destBlend, colour.a);
                auto mix = [&](__m256i a, __m256i b) {
                    return Div255Clamped(_mm256_add_epi32(_mm256_mullo_epi32(a, fs), _mm256_mullo_epi32(b, fd)));
                };
                colour = {mix(colour.r, o.r), mix(colour.g, o.g), mix(colour.b, o.b), colour.a};
            }
            if (c.dither) {
                __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dither + (x & 3)));
                __m256i step = _mm256_srli_epi32(dv, 1);
                const __m256i top = _mm256_set1_epi32(255);
                colour.r = _mm256_min_epi32(top, _mm256_add_epi32(colour.r, step));
                colour.b = _mm256_min_epi32(top, _mm256_add_epi32(colour.b, step));
                colour.g =
                    _mm256_min_epi32(top, _mm256_add_epi32(colour.g, c.is565 ? _mm256_srli_epi32(dv, 2) : step));
            }
            __m256i packed;
            if (c.is565) {
                packed = _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(colour.r, 3), 11),
                                         _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(colour.g, 2), 5),
                                                         _mm256_srli_epi32(colour.b, 3)));
            } else {
                packed = _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(colour.r, 3), 10),
                                         _mm256_or_si256(_mm256_slli_epi32(_mm256_srli_epi32(colour.g, 3), 5),
                                                         _mm256_srli_epi32(colour.b, 3)));
            }
            __m128i keep = Mask16(pass);
            __m128i out16 = _mm_blendv_epi8(old16, To16(packed), keep);
            if (n == 8) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), out16);
                if (writeZ) _mm_storeu_si128(reinterpret_cast<__m128i*>(zp), _mm_blendv_epi8(zOld, To16(z), keep));
            } else {
                StorePart(dp, out16, n);
                if (writeZ) StorePart(zp, _mm_blendv_epi8(zOld, To16(z), keep), n);
            }
        }
    }
}

}  // namespace
}  // namespace host::raster
