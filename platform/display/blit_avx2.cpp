// The wide row kernels.  This file is compiled with AVX2 enabled; it holds
// nothing but its own internal helpers and the compiler's intrinsics, so no
// code shared with other files is built for AVX2.  Without AVX2 code
// generation every kernel draws nothing and leaves the row to its caller.
#include "platform/display/blit_wide.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

using Vec = __m256i;

template <int kBytes>
Vec Splat(uint32_t v) {
    if constexpr (kBytes == 1) return _mm256_set1_epi8(static_cast<char>(v));
    else if constexpr (kBytes == 2) return _mm256_set1_epi16(static_cast<short>(v));
    else return _mm256_set1_epi32(static_cast<int>(v));
}

template <int kBytes>
Vec Equal(Vec a, Vec b) {
    if constexpr (kBytes == 1) return _mm256_cmpeq_epi8(a, b);
    else if constexpr (kBytes == 2) return _mm256_cmpeq_epi16(a, b);
    else return _mm256_cmpeq_epi32(a, b);
}

// mask ? a : b.
Vec Select(Vec mask, Vec a, Vec b) {
    return _mm256_blendv_epi8(b, a, mask);
}

// The rule on every whole vector of the row.
template <typename Rule>
int64_t Rows(uint8_t* d, const uint8_t* s, int64_t pixels, int bytes, Rule rule) {
    const int64_t n = pixels * bytes;
    int64_t i = 0;
    for (; i + 32 <= n; i += 32) {
        Vec sv = _mm256_loadu_si256(reinterpret_cast<const Vec*>(s + i));
        Vec dv = _mm256_loadu_si256(reinterpret_cast<const Vec*>(d + i));
        _mm256_storeu_si256(reinterpret_cast<Vec*>(d + i), rule(sv, dv));
    }
    return i / bytes;
}

template <int kBytes>
int64_t Keyed(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c) {
    const Vec key = Splat<kBytes>(c.key), white = Splat<kBytes>(c.white), colour = Splat<kBytes>(c.colour);
    return Rows(d, s, n, kBytes, [=](Vec sv, Vec dv) {
        Vec out = Select(Equal<kBytes>(sv, white), colour, sv);
        return Select(Equal<kBytes>(sv, key), dv, out);
    });
}

template <int kBytes>
int64_t Half(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c) {
    const Vec key = Splat<kBytes>(c.key), white = Splat<kBytes>(c.white), colour = Splat<kBytes>(c.colour);
    const Vec half = Splat<kBytes>(c.half);
    return Rows(d, s, n, kBytes, [=](Vec sv, Vec dv) {
        Vec cv = Select(Equal<kBytes>(sv, white), colour, sv);
        Vec a = _mm256_and_si256(cv, half), b = _mm256_and_si256(dv, half), out;
        // Both masked values are even: the rounding average of 16-bit lanes
        // is exact; 32-bit pixels add and halve in their own lanes.
        if constexpr (kBytes == 2) out = _mm256_avg_epu16(a, b);
        else out = _mm256_srli_epi32(_mm256_add_epi32(a, b), 1);
        return Select(Equal<kBytes>(sv, key), dv, out);
    });
}

// Each byte widened to a 16-bit lane, f applied, packed back with
// unsigned saturation (packing works within 128-bit halves, as does the
// widening, so the bytes come back in place).
template <typename F>
Vec Widened(Vec a, Vec b, F f) {
    const Vec zero = _mm256_setzero_si256();
    Vec lo = f(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
    Vec hi = f(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
    return _mm256_packus_epi16(lo, hi);
}

}  // namespace

bool WideRowsAvailable() {
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return available;
}

int64_t WideKeyedRow(int pixelBytes, uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c) {
    if (pixelBytes == 1) return Keyed<1>(d, s, n, c);
    if (pixelBytes == 2) return Keyed<2>(d, s, n, c);
    return Keyed<4>(d, s, n, c);
}

int64_t WideHalfRow(int pixelBytes, uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c) {
    if (pixelBytes == 2) return Half<2>(d, s, n, c);
    return Half<4>(d, s, n, c);
}

int64_t WideLevelRow(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c) {
    const Vec key = Splat<4>(c.key), white = Splat<4>(c.white), colour = Splat<4>(c.colour);
    const Vec level = _mm256_set1_epi16(static_cast<short>(c.level));
    const Vec inverse = _mm256_set1_epi16(static_cast<short>(c.inverse));
    return Rows(d, s, n, 4, [=](Vec sv, Vec dv) {
        Vec cv = Select(Equal<4>(sv, white), colour, sv);
        Vec out = Widened(cv, dv, [=](Vec a, Vec b) {
            return _mm256_adds_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(a, level), 8),
                                     _mm256_srli_epi16(_mm256_mullo_epi16(b, inverse), 8));
        });
        return Select(Equal<4>(sv, key), dv, out);
    });
}

int64_t WideSaturateRow(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c) {
    const Vec key = Splat<4>(c.key), white = Splat<4>(c.white), colour = Splat<4>(c.colour);
    return Rows(d, s, n, 4, [=](Vec sv, Vec dv) {
        Vec cv = Select(Equal<4>(sv, white), colour, sv);
        return Select(Equal<4>(sv, key), dv, _mm256_adds_epu8(cv, dv));
    });
}

int64_t WideFadeRow(uint8_t* d, const uint8_t* s, int64_t n, const WideConstants& c) {
    const Vec level = _mm256_set1_epi16(static_cast<short>(c.level));
    return Rows(d, s, n, 4, [=](Vec sv, Vec) {
        return Widened(sv, sv, [=](Vec a, Vec) { return _mm256_srli_epi16(_mm256_mullo_epi16(a, level), 8); });
    });
}

#else

bool WideRowsAvailable() {
    return false;
}
int64_t WideKeyedRow(int, uint8_t*, const uint8_t*, int64_t, const WideConstants&) {
    return 0;
}
int64_t WideHalfRow(int, uint8_t*, const uint8_t*, int64_t, const WideConstants&) {
    return 0;
}
int64_t WideLevelRow(uint8_t*, const uint8_t*, int64_t, const WideConstants&) {
    return 0;
}
int64_t WideSaturateRow(uint8_t*, const uint8_t*, int64_t, const WideConstants&) {
    return 0;
}
int64_t WideFadeRow(uint8_t*, const uint8_t*, int64_t, const WideConstants&) {
    return 0;
}

#endif
