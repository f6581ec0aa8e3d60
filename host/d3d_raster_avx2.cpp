// The fast span routines of the host's rasteriser: eight pixels a step in
// AVX2 registers.  Every pixel goes through the operations of the plain span
// (d3d_raster.cpp) in the same order and precision: the attribute planes in
// double precision (a product and a sum per pixel, no fused multiply-add),
// the perspective division, the floor and wrap of texel co-ordinates done
// exactly on whole numbers held in doubles, and the integer stage and
// blending arithmetic with exact forms of the divisions by 255.  Textures are
// read from the view's decoded copy (so the sides must be powers of two).
//
// Built with -mavx2 on x86-64 and chosen at run time; elsewhere the table of
// routines is empty and the plain span draws.
#include "host/d3d_raster.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace host::raster {

#if defined(__AVX2__)

namespace {

inline __m256i Join(__m128i lo, __m128i hi) {
    return _mm256_set_m128i(hi, lo);
}

// A mask of four doubles as four 32-bit lanes.
inline __m128i Narrow(__m256d m) {
    __m256 f = _mm256_castpd_ps(m);
    __m128 lo = _mm256_castps256_ps128(f), hi = _mm256_extractf128_ps(f, 1);
    return _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
}

// row + a * px, as the plain span's At().
inline __m256d At(__m256d row, __m256d a, __m256d px) {
    return _mm256_add_pd(row, _mm256_mul_pd(a, px));
}

// QuantiseZ of four values: the value held to 0..1 first (the maximum
// answers its second operand, 0, for a value that is not a number), which
// gives the plain routine's 0 and 65535 at the ends and leaves the rest as
// it is.
inline __m128i QuantiseZ4(__m256d z) {
    __m256d held = _mm256_min_pd(_mm256_max_pd(z, _mm256_setzero_pd()), _mm256_set1_pd(1.0));
    return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(held, _mm256_set1_pd(65535.0)), _mm256_set1_pd(0.5)));
}

// ToChannel of four values, held to 0..255 likewise.
inline __m128i ToChannel4(__m256d v) {
    __m256d held = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(_mm256_add_pd(held, _mm256_set1_pd(0.5)));
}

// floor(m) wrapped into 0..n-1 for n a power of two (m in the range the
// plain span floors, else 0).  Whole numbers below 2^53 in doubles make
// every step exact.
inline __m128i WrapFloor4(__m256d m, __m256d n, __m256d inverse) {
    __m256d inside = _mm256_and_pd(_mm256_cmp_pd(m, _mm256_set1_pd(-1e15), _CMP_GT_OQ),
                                   _mm256_cmp_pd(m, _mm256_set1_pd(1e15), _CMP_LT_OQ));
    __m256d f = _mm256_floor_pd(m);
    __m256d w = _mm256_sub_pd(f, _mm256_mul_pd(_mm256_floor_pd(_mm256_mul_pd(f, inverse)), n));
    return _mm256_cvttpd_epi32(_mm256_and_pd(w, inside));
}

// The same for eight values known to lie strictly between -2^31 and 2^31:
// the floor converts exactly to 32 bits, and the low bits are the wrap.
inline __m256i WrapFloorNear8(__m256d m0, __m256d m1, int mask) {
    __m256i f = Join(_mm256_cvttpd_epi32(_mm256_floor_pd(m0)), _mm256_cvttpd_epi32(_mm256_floor_pd(m1)));
    return _mm256_and_si256(f, _mm256_set1_epi32(mask));
}

// Whether every lane lies strictly between -2^31 and 2^31.
inline bool Near(__m256d a, __m256d b, __m256d c, __m256d d) {
    const __m256d lo = _mm256_set1_pd(-2147483648.0), hi = _mm256_set1_pd(2147483648.0);
    __m256d in = _mm256_and_pd(_mm256_cmp_pd(a, lo, _CMP_GT_OQ), _mm256_cmp_pd(a, hi, _CMP_LT_OQ));
    in = _mm256_and_pd(in, _mm256_and_pd(_mm256_cmp_pd(b, lo, _CMP_GT_OQ), _mm256_cmp_pd(b, hi, _CMP_LT_OQ)));
    in = _mm256_and_pd(in, _mm256_and_pd(_mm256_cmp_pd(c, lo, _CMP_GT_OQ), _mm256_cmp_pd(c, hi, _CMP_LT_OQ)));
    in = _mm256_and_pd(in, _mm256_and_pd(_mm256_cmp_pd(d, lo, _CMP_GT_OQ), _mm256_cmp_pd(d, hi, _CMP_LT_OQ)));
    return _mm256_movemask_pd(in) == 15;
}

// A whole number already floored, wrapped likewise.
inline __m128i Wrap4(__m256d f, __m256d n, __m256d inverse) {
    __m256d w = _mm256_sub_pd(f, _mm256_mul_pd(_mm256_floor_pd(_mm256_mul_pd(f, inverse)), n));
    return _mm256_cvttpd_epi32(w);
}

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
    const __m256d zSlope = _mm256_set1_pd(t.planes[kZ].a);
    const __m256d rSlope = _mm256_set1_pd(t.planes[kR].a), gSlope = _mm256_set1_pd(t.planes[kG].a);
    const __m256d bSlope = _mm256_set1_pd(t.planes[kB].a), aSlope = _mm256_set1_pd(t.planes[kA].a);
    const Channels flat = {_mm256_set1_epi32(t.flatDiffuse.r), _mm256_set1_epi32(t.flatDiffuse.g),
                           _mm256_set1_epi32(t.flatDiffuse.b), _mm256_set1_epi32(t.flatDiffuse.a)};
    const TextureView* tex = c.tex;
    const __m256d uSlope = _mm256_set1_pd(t.planes[kU].a), vSlope = _mm256_set1_pd(t.planes[kV].a);
    const __m256d qSlope = _mm256_set1_pd(t.planes[kQ].a);
    __m256d texW{}, texH{}, invW{}, invH{};
    __m128i widthShift{};
    int wrapX = 0, wrapY = 0;
    if constexpr (Textured) {
        texW = _mm256_set1_pd(double(tex->width)), texH = _mm256_set1_pd(double(tex->height));
        invW = _mm256_set1_pd(1.0 / tex->width), invH = _mm256_set1_pd(1.0 / tex->height);
        widthShift = _mm_cvtsi32_si128(tex->widthShift);
        wrapX = tex->width - 1, wrapY = tex->height - 1;
    }
    const StageOps& ops = c.ops;
    const bool arg1Texture = ReadsTexture(ops.colourArg1), arg2Texture = ReadsTexture(ops.colourArg2);
    // MODULATE by a flat white diffuse colour leaves the texel as it is.
    const bool texelOnly = Textured && !shade && ops.colourOp == D3DTOP_MODULATE && arg1Texture != arg2Texture &&
                           t.flatDiffuse.r == 255 && t.flatDiffuse.g == 255 && t.flatDiffuse.b == 255;
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256d half0 = _mm256_setr_pd(0.5, 1.5, 2.5, 3.5), half1 = _mm256_setr_pd(4.5, 5.5, 6.5, 7.5);
    auto rowValue = [&](int k, double py) { return _mm256_set1_pd(t.planes[k].c + t.planes[k].b * py); };

    RowStepper stepper(t, from);
    for (int y = from; y <= to; ++y) {
        int left, right;
        stepper.Next(&left, &right);
        if (left > right) continue;
        const double py = y + 0.5;
        const __m256d zRow = depth ? rowValue(kZ, py) : __m256d{};
        __m256d rRow{}, gRow{}, bRow{}, aRow{};
        if (shade) rRow = rowValue(kR, py), gRow = rowValue(kG, py), bRow = rowValue(kB, py), aRow = rowValue(kA, py);
        __m256d uRow{}, vRow{}, qRow{};
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
            const __m256d base = _mm256_set1_pd(double(x));
            const __m256d px0 = _mm256_add_pd(base, half0), px1 = _mm256_add_pd(base, half1);
            __m256i pass = _mm256_cmpgt_epi32(_mm256_set1_epi32(n), lane);
            uint8_t* dp = dst + 2 * size_t(x);
            uint8_t* zp = depth ? zrow + 2 * size_t(x) : nullptr;
            __m256i z{};
            __m128i zOld{};
            if (depth) {
                z = Join(QuantiseZ4(At(zRow, zSlope, px0)), QuantiseZ4(At(zRow, zSlope, px1)));
                zOld = n == 8 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp)) : LoadPart(zp, n);
                pass = _mm256_and_si256(pass, CompareZ(c.zFunc, z, _mm256_cvtepu16_epi32(zOld)));
                if (_mm256_testz_si256(pass, pass)) continue;
            }
            Channels d = flat;
            if (shade) {
                d.r = Join(ToChannel4(At(rRow, rSlope, px0)), ToChannel4(At(rRow, rSlope, px1)));
                d.g = Join(ToChannel4(At(gRow, gSlope, px0)), ToChannel4(At(gRow, gSlope, px1)));
                d.b = Join(ToChannel4(At(bRow, bSlope, px0)), ToChannel4(At(bRow, bSlope, px1)));
                if (alphaUsed) d.a = Join(ToChannel4(At(aRow, aSlope, px0)), ToChannel4(At(aRow, aSlope, px1)));
            }
            Channels colour = d;
            if constexpr (Textured) {
                __m256d u0 = At(uRow, uSlope, px0), u1 = At(uRow, uSlope, px1);
                __m256d v0 = At(vRow, vSlope, px0), v1 = At(vRow, vSlope, px1);
                if (c.perspective) {
                    __m256d q0 = At(qRow, qSlope, px0), q1 = At(qRow, qSlope, px1);
                    const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
                    __m256d w0 = _mm256_and_pd(_mm256_div_pd(one, q0), _mm256_cmp_pd(q0, zero, _CMP_NEQ_UQ));
                    __m256d w1 = _mm256_and_pd(_mm256_div_pd(one, q1), _mm256_cmp_pd(q1, zero, _CMP_NEQ_UQ));
                    u0 = _mm256_mul_pd(u0, w0), v0 = _mm256_mul_pd(v0, w0);
                    u1 = _mm256_mul_pd(u1, w1), v1 = _mm256_mul_pd(v1, w1);
                }
                __m256i nearest{};
                if (!Linear || c.keyed) {
                    __m256d mx0 = _mm256_mul_pd(u0, texW), mx1 = _mm256_mul_pd(u1, texW);
                    __m256d my0 = _mm256_mul_pd(v0, texH), my1 = _mm256_mul_pd(v1, texH);
                    __m256i ix, iy;
                    if (Near(mx0, mx1, my0, my1)) {
                        ix = WrapFloorNear8(mx0, mx1, wrapX);
                        iy = WrapFloorNear8(my0, my1, wrapY);
                    } else {
                        ix = Join(WrapFloor4(mx0, texW, invW), WrapFloor4(mx1, texW, invW));
                        iy = Join(WrapFloor4(my0, texH, invH), WrapFloor4(my1, texH, invH));
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
                    const __m256d halfPixel = _mm256_set1_pd(0.5);
                    __m256d fx0 = _mm256_sub_pd(_mm256_mul_pd(u0, texW), halfPixel);
                    __m256d fx1 = _mm256_sub_pd(_mm256_mul_pd(u1, texW), halfPixel);
                    __m256d fy0 = _mm256_sub_pd(_mm256_mul_pd(v0, texH), halfPixel);
                    __m256d fy1 = _mm256_sub_pd(_mm256_mul_pd(v1, texH), halfPixel);
                    auto inside = [](__m256d fx, __m256d fy) {
                        const __m256d lo = _mm256_set1_pd(-1e15), hi = _mm256_set1_pd(1e15);
                        __m256d a = _mm256_and_pd(_mm256_cmp_pd(fx, lo, _CMP_GT_OQ), _mm256_cmp_pd(fx, hi, _CMP_LT_OQ));
                        __m256d b = _mm256_and_pd(_mm256_cmp_pd(fy, lo, _CMP_GT_OQ), _mm256_cmp_pd(fy, hi, _CMP_LT_OQ));
                        return _mm256_and_pd(a, b);
                    };
                    __m256d in0 = inside(fx0, fy0), in1 = inside(fx1, fy1);
                    fx0 = _mm256_and_pd(fx0, in0), fy0 = _mm256_and_pd(fy0, in0);
                    fx1 = _mm256_and_pd(fx1, in1), fy1 = _mm256_and_pd(fy1, in1);
                    __m256d gx0 = _mm256_floor_pd(fx0), gx1 = _mm256_floor_pd(fx1);
                    __m256d gy0 = _mm256_floor_pd(fy0), gy1 = _mm256_floor_pd(fy1);
                    const __m256d scale = _mm256_set1_pd(256.0), one = _mm256_set1_pd(1.0);
                    __m256i wx = Join(_mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_sub_pd(fx0, gx0), scale)),
                                      _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_sub_pd(fx1, gx1), scale)));
                    __m256i wy = Join(_mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_sub_pd(fy0, gy0), scale)),
                                      _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_sub_pd(fy1, gy1), scale)));
                    __m256i x0 = Join(Wrap4(gx0, texW, invW), Wrap4(gx1, texW, invW));
                    __m256i x1 = Join(Wrap4(_mm256_add_pd(gx0, one), texW, invW),
                                      Wrap4(_mm256_add_pd(gx1, one), texW, invW));
                    __m256i y0 = _mm256_sll_epi32(Join(Wrap4(gy0, texH, invH), Wrap4(gy1, texH, invH)), widthShift);
                    __m256i y1 = _mm256_sll_epi32(
                        Join(Wrap4(_mm256_add_pd(gy0, one), texH, invH), Wrap4(_mm256_add_pd(gy1, one), texH, invH)),
                        widthShift);
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

// Untextured; textured point-sampled; textured bilinear.
extern const RowsFn kFastRows[3] = {Rows<false, false>, Rows<true, false>, Rows<true, true>};

#else

extern const RowsFn kFastRows[3] = {nullptr, nullptr, nullptr};

#endif

}  // namespace host::raster
