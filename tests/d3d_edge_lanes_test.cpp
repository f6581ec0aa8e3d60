// The branch-free row stepping of the 3D device's fast spans (LaneStepper,
// built where the 512-bit extensions are) against RowStepper, whose rows
// the plain drawing takes: the same covered pixels on every row, and the
// same empty rows.  Only the stepping is built for the extensions (the test
// runner runs on any processor).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "host/d3d_raster.h"

#if defined(__x86_64__) || defined(__i386__)
#define MORVANEL_EDGE_LANES_TEST 1
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512vl,avx512bw,avx512dq")
#include "host/d3d_raster_simd.h"

namespace {

// Rows from..bottom of t, stepped both ways; answers the first row where
// they differ (in *where), or false.
bool RowsDiffer(const host::raster::Triangle& t, int from, std::string* where) {
    host::raster::RowStepper plain(t, from);
    host::raster::LaneStepper lanes{host::raster::RowStepper(t, from)};
    for (int y = from; y <= t.bottom; ++y) {
        int l1, r1, l2, r2;
        plain.Next(&l1, &r1);
        lanes.Next(&l2, &r2);
        bool empty = l1 > r1;
        if (empty != (l2 > r2) || (!empty && (l1 != l2 || r1 != r2))) {
            *where = "row " + std::to_string(y) + ": " + std::to_string(l1) + ".." + std::to_string(r1) + " against " +
                     std::to_string(l2) + ".." + std::to_string(r2);
            return true;
        }
    }
    return false;
}

}  // namespace

#pragma GCC pop_options
#endif

namespace {

bool HasWideLanes() {
#if defined(MORVANEL_EDGE_LANES_TEST)
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

host::raster::Context ClipContext() {
    host::raster::Context c{};
    c.clipRight = c.width = 640;
    c.clipBottom = 480;
    c.cull = host::D3DCULL_NONE;
    return c;
}

host::TLVertex At(float x, float y) {
    return {x, y, 0.5f, 1.0f, 0xFFFFFFFFu, 0, 0, 0};
}

TEST(D3DEdgeLanesTest, RowsMatchTheSteppedEdges) {
    if (!HasWideLanes()) GTEST_SKIP() << "no 512-bit extensions on this processor";
#if defined(MORVANEL_EDGE_LANES_TEST)
    struct Case {
        const char* name;
        host::TLVertex v[3];
        int startBelowTop;  // rows drawn from this far below the top (a band)
    } cases[] = {
        {"slopes with remainders on both sides", {At(10.3f, 2.7f), At(97.1f, 40.2f), At(3.9f, 71.6f)}, 0},
        {"horizontal top edge", {At(0, 0), At(32, 0), At(32, 32)}, 0},
        {"horizontal bottom edge", {At(0, 0), At(32, 32), At(0, 32)}, 0},
        {"vertical and diagonal edges on pixel centres", {At(4.5f, 4.5f), At(36.5f, 36.5f), At(4.5f, 36.5f)}, 0},
        {"sliver steeper than a pixel a row", {At(100.2f, 1.1f), At(101.3f, 300.8f), At(100.9f, 299.7f)}, 0},
        {"shallow edges many pixels a row", {At(1.0f, 10.2f), At(600.5f, 13.9f), At(300.1f, 17.4f)}, 0},
        {"clipped at the target's sides", {At(-50.5f, -20.25f), At(700.75f, 100.5f), At(20.125f, 520.5f)}, 0},
        {"a band from the middle", {At(10.3f, 2.7f), At(97.1f, 40.2f), At(3.9f, 71.6f)}, 30},
    };
    const host::raster::Context c = ClipContext();
    for (const Case& k : cases) {
        host::raster::Triangle t[host::raster::kMaxPieces];
        int made = host::raster::SetUpTriangle(c, k.v, t);
        ASSERT_GT(made, 0) << k.name;
        for (int i = 0; i < made; ++i) {
            std::string where;
            EXPECT_FALSE(RowsDiffer(t[i], t[i].top + k.startBelowTop, &where)) << k.name << ", " << where;
        }
    }
    // Corners on pixel corners and centres or anywhere, which make edges of
    // every kind and remainder.
    std::mt19937 rng(29);
    auto coordinate = [&](float extent) {
        switch (rng() % 4) {
        case 0: return float(rng() % uint32_t(extent));
        case 1: return float(rng() % uint32_t(extent)) + 0.5f;
        default: return std::uniform_real_distribution<float>(-0.2f * extent, 1.2f * extent)(rng);
        }
    };
    for (int n = 0; n < 3000; ++n) {
        host::TLVertex v[3] = {At(coordinate(640), coordinate(480)), At(coordinate(640), coordinate(480)),
                               At(coordinate(640), coordinate(480))};
        host::raster::Triangle t[host::raster::kMaxPieces];
        int made = host::raster::SetUpTriangle(c, v, t);
        for (int i = 0; i < made; ++i) {
            std::string where;
            ASSERT_FALSE(RowsDiffer(t[i], t[i].top, &where)) << "triangle " << n << ", " << where;
        }
    }
#endif
}

}  // namespace
