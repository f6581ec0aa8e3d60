// The 16-bit lane helpers of the 3D device's fast spans against the plain
// routines' scalar forms, over the values the twin drawings seldom reach
// (values not a number, infinities, far outside the clamps) and over every
// texel and diffuse channel pair.  Only the helpers are built for AVX2 (the
// rest of this file, and the test runner, run on any processor).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/d3d_raster.h"

#if defined(__x86_64__) || defined(__i386__)
#define MORVANEL_LANES_TEST 1
#pragma GCC push_options
#pragma GCC target("avx2")
#include "host/d3d_raster_simd.h"

namespace {

// ToChannelForPack of v in every lane, through the saturating pack.
int ChannelOf(float v) {
    __m256i q = host::raster::ToChannelForPack(host::raster::Splat(v));
    return _mm256_extract_epi16(_mm256_packus_epi32(q, q), 0);
}

int DepthOf(float z) {
    return _mm_extract_epi16(host::raster::QuantiseZ16(host::raster::Splat(z)), 0);
}

// Modulate565 of eight texels and diffuse channels.
void Modulate(const uint32_t* texels, const float* r, const float* g, const float* b, uint16_t* out) {
    __m128i px = host::raster::Modulate565(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels)),
                                           _mm256_loadu_ps(r), _mm256_loadu_ps(g), _mm256_loadu_ps(b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), px);
}

}  // namespace

#pragma GCC pop_options
#endif

namespace {

bool HasAvx2() {
#if defined(MORVANEL_LANES_TEST)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

// Every value rounds as the plain span's ToChannel and QuantiseZ round it.
TEST(D3DLanesTest, ClampedRoundingsMatchThePlainOnes) {
    if (!HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
#if defined(MORVANEL_LANES_TEST)
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float values[] = {nan,   -nan,   inf,   -inf,  1e30f,  -1e30f, 3e9f,   -3e9f, 2147483648.0f, -1.5f,
                            -0.6f, -0.5f,  -0.4f, -0.0f, 0.0f,   1e-7f,  0.4f,   0.5f,  0.49999997f,    1.0f,
                            1.5f,  127.5f, 254.4f, 254.5f, 254.6f, 255.0f, 255.4f, 256.0f, 65535.0f,    70000.0f};
    for (float v : values) {
        EXPECT_EQ(ChannelOf(v), host::raster::ToChannel(v)) << "channel " << v;
        EXPECT_EQ(DepthOf(v), host::raster::QuantiseZ(v)) << "depth " << v;
    }
    // Depths between 0 and 1, where every step of the quantisation shows.
    for (int i = -10; i <= 65545; ++i) {
        float z = float(i) / 65535.0f + 1e-6f * float(i % 7 - 3);
        ASSERT_EQ(DepthOf(z), host::raster::QuantiseZ(z)) << "depth " << z;
    }
#endif
}

// Every texel channel modulated by every diffuse channel, packed, as the
// plain stage (a1 * a2 / 255) and Pack16 make it.
TEST(D3DLanesTest, ModulatedPixelsMatchThePlainStageAndPack) {
    if (!HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
#if defined(MORVANEL_LANES_TEST)
    size_t differ = 0;
    for (int t = 0; t < 256; ++t) {
        for (int d0 = 0; d0 < 256; d0 += 8) {
            uint32_t texels[8];
            float r[8], g[8], b[8];
            uint16_t want[8], got[8];
            for (int lane = 0; lane < 8; ++lane) {
                // The three channels of a lane take different pairs, and the
                // alpha byte is set so it cannot leak into a channel.
                int d = d0 + lane;
                host::raster::Rgba tex{t, (t * 7 + 3) & 255, (t * 13 + 5) & 255, (t * 5) & 255};
                host::raster::Rgba dif{d, (d + 85) & 255, (d * 3 + 170) & 255, 255};
                texels[lane] = uint32_t(tex.a) << 24 | uint32_t(tex.r) << 16 | uint32_t(tex.g) << 8 | uint32_t(tex.b);
                r[lane] = float(dif.r), g[lane] = float(dif.g), b[lane] = float(dif.b);
                want[lane] = host::raster::Pack16(
                    {tex.r * dif.r / 255, tex.g * dif.g / 255, tex.b * dif.b / 255, 255}, true, false, 0, 0);
            }
            Modulate(texels, r, g, b, got);
            for (int lane = 0; lane < 8; ++lane) differ += got[lane] != want[lane];
        }
    }
    EXPECT_EQ(differ, 0u);
#endif
}

}  // namespace
