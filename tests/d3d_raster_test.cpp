// The 3D device of the host layer: enumeration and settings, clears and
// viewports, and the software rasteriser's exact pixels.
//
// Winding used throughout: screen space with y growing downward.  Triangles
// listed clockwise on the screen, e.g. (0,0) -> (8,0) -> (0,8), are drawn
// under the default culling (which drops counter-clockwise ones).
//
// Expected pixels are 5-6-5 values computed by hand: 8-bit channels narrow
// by truncation (r >> 3, g >> 2, b >> 3) with dithering off, and 16-bit
// pixels widen back by bit replication.
#include "host/d3d.h"
#include "host/display.h"
#include "host/headless/headless.h"
#include "test_support.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

namespace {

using host::TLVertex;

constexpr int kSize = 32;

TLVertex V(float x, float y, float z, uint32_t diffuse, float u = 0, float v = 0, float rhw = 1,
           uint32_t specular = 0) {
    return {x, y, z, rhw, diffuse, specular, u, v};
}

// Two clockwise triangles covering x0..x1 x y0..y1 (corners on pixel corners
// cover exactly the pixels inside).
std::vector<TLVertex> Quad(float x0, float y0, float x1, float y1, float z, uint32_t diffuse, float u0 = 0,
                           float v0 = 0, float u1 = 1, float v1 = 1) {
    TLVertex a = V(x0, y0, z, diffuse, u0, v0), b = V(x1, y0, z, diffuse, u1, v0);
    TLVertex c = V(x1, y1, z, diffuse, u1, v1), d = V(x0, y1, z, diffuse, u0, v1);
    return {a, b, c, a, c, d};
}

constexpr uint16_t Rgb565(int r, int g, int b) {
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

class D3DRasterTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::ResetD3D();
        dd_ = host::DDCreate(0);
        ASSERT_NE(dd_, nullptr);
        ASSERT_EQ(host::DDSetCooperativeLevel(dd_, nullptr, host::DDSCL_NORMAL), host::DD_OK);
        target_ = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, kSize, kSize, host::kFormat565);
        z_ = MakeSurface(host::DDSCAPS_ZBUFFER, kSize, kSize, {16, 0, 0, 0, 0});
        ASSERT_EQ(host::SurfaceAttachZBuffer(target_, z_), host::DD_OK);
        d3d_ = host::D3DCreate(dd_);
        ASSERT_NE(d3d_, nullptr);
        device_ = host::D3DCreateDevice(d3d_, 0, target_);
        ASSERT_NE(device_, nullptr);
        ASSERT_EQ(host::D3DClear(device_, nullptr, host::D3DCLEAR_TARGET | host::D3DCLEAR_ZBUFFER, 0, 1.0f),
                  host::DD_OK);
    }
    void TearDown() override {
        if (device_) host::D3DDeviceRelease(device_);
        for (host::D3DTexture* t : textures_) host::D3DTextureRelease(t);
        for (host::Palette* p : palettes_) host::PaletteRelease(p);
        for (auto it = surfaces_.rbegin(); it != surfaces_.rend(); ++it) host::SurfaceRelease(*it);
        if (d3d_) host::D3DRelease(d3d_);
        if (dd_) {
            EXPECT_EQ(host::DDRelease(dd_), 0);
        }
        host::ResetD3D();
        HeadlessTest::TearDown();
    }

    host::Surface* MakeSurface(uint32_t caps, int width, int height, host::PixelFormat format) {
        host::Surface* s = nullptr;
        host::SurfaceDesc desc{caps, width, height, 0, true, format};
        EXPECT_EQ(host::DDCreateSurface(dd_, desc, &s), host::DD_OK);
        if (s) surfaces_.push_back(s);
        return s;
    }

    // A texture surface whose texels come from texel(x, y); released at the end.
    host::Surface* MakeTextureSurface(int width, int height, host::PixelFormat format,
                                      const std::function<uint32_t(int, int)>& texel,
                                      uint32_t memory = host::DDSCAPS_SYSTEMMEMORY) {
        host::Surface* s = MakeSurface(host::DDSCAPS_TEXTURE | memory, width, height, format);
        uint8_t* pixels = nullptr;
        int pitch = 0;
        EXPECT_EQ(host::SurfaceLock(s, host::DDLOCK_WAIT, &pixels, &pitch), host::DD_OK);
        int bytes = format.bits == 8 ? 1 : 2;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int b = 0; b < bytes; ++b) pixels[y * pitch + x * bytes + b] = uint8_t(texel(x, y) >> (8 * b));
        EXPECT_EQ(host::SurfaceUnlock(s), host::DD_OK);
        return s;
    }

    host::D3DTexture* Texture(host::Surface* s) {
        host::D3DTexture* t = host::D3DTextureFromSurface(s);
        EXPECT_NE(t, nullptr);
        if (t) textures_.push_back(t);
        return t;
    }

    host::D3DTexture* MakeTexture(int width, int height, host::PixelFormat format,
                                  const std::function<uint32_t(int, int)>& texel) {
        return Texture(MakeTextureSurface(width, height, format, texel));
    }

    host::Palette* MakePalette(const std::vector<host::PaletteEntry>& first) {
        host::PaletteEntry entries[256] = {};
        for (size_t i = 0; i < first.size(); ++i) entries[i] = first[i];
        host::Palette* p = host::DDCreatePalette(dd_, host::DDPCAPS_8BIT | host::DDPCAPS_ALLOW256, entries);
        EXPECT_NE(p, nullptr);
        palettes_.push_back(p);
        return p;
    }

    static uint16_t Read16(host::Surface* s, int x, int y) {
        uint8_t* pixels = nullptr;
        int pitch = 0;
        EXPECT_EQ(host::SurfaceLock(s, host::DDLOCK_WAIT | host::DDLOCK_READONLY, &pixels, &pitch), host::DD_OK);
        uint16_t v = uint16_t(pixels[y * pitch + 2 * x] | (pixels[y * pitch + 2 * x + 1] << 8));
        host::SurfaceUnlock(s);
        return v;
    }
    uint16_t Pixel(int x, int y) const { return Read16(target_, x, y); }
    uint16_t Depth(int x, int y) const { return Read16(z_, x, y); }

    int Draw(const std::vector<TLVertex>& v) {
        return host::D3DDrawPrimitive(device_, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, v.data(),
                                      int(v.size()), 0);
    }
    void State(uint32_t state, uint32_t value) {
        ASSERT_EQ(host::D3DSetRenderState(device_, state, value), host::DD_OK);
    }
    void Stage(uint32_t state, uint32_t value) {
        ASSERT_EQ(host::D3DSetTextureStageState(device_, 0, state, value), host::DD_OK);
    }
    void Clear(uint32_t colour, float z = 1.0f) {
        ASSERT_EQ(host::D3DClear(device_, nullptr, host::D3DCLEAR_TARGET | host::D3DCLEAR_ZBUFFER, colour, z),
                  host::DD_OK);
    }
    int CountPixels(uint16_t value) const {
        int n = 0;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) n += Pixel(x, y) == value;
        return n;
    }

    host::DDraw* dd_ = nullptr;
    host::D3D* d3d_ = nullptr;
    host::D3DDevice* device_ = nullptr;
    host::Surface* target_ = nullptr;
    host::Surface* z_ = nullptr;
    std::vector<host::Surface*> surfaces_;
    std::vector<host::D3DTexture*> textures_;
    std::vector<host::Palette*> palettes_;
};

// ---------------------------------------------------------------------------
// Coverage and the fill rule
// ---------------------------------------------------------------------------

TEST_F(D3DRasterTest, RightTriangleOnPixelCornersCoversPixelsBelowTheDiagonal) {
    // Centres (x + 0.5, y + 0.5) strictly inside x + y < 8: x + y <= 6, 28 pixels.
    ASSERT_EQ(Draw({V(0, 0, 0.5f, 0xFFFFFFFF), V(8, 0, 0.5f, 0xFFFFFFFF), V(0, 8, 0.5f, 0xFFFFFFFF)}), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 28);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) EXPECT_EQ(Pixel(x, y), x + y <= 6 ? 0xFFFF : 0) << x << "," << y;
}

TEST_F(D3DRasterTest, EdgesThroughPixelCentresKeepTopAndLeftOnly) {
    // Top edge y = 0.5 and left edge x = 0.5 pass through row 0 and column 0
    // centres and keep them; the hypotenuse x + y = 9 (a right edge) drops
    // its centres: x + y <= 7, 36 pixels.
    ASSERT_EQ(Draw({V(0.5f, 0.5f, 0.5f, 0xFFFFFFFF), V(8.5f, 0.5f, 0.5f, 0xFFFFFFFF), V(0.5f, 8.5f, 0.5f, 0xFFFFFFFF)}),
              host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 36);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(Pixel(x, y), x + y <= 7 ? 0xFFFF : 0) << x << "," << y;
}

class D3DSharedEdgeTest : public D3DRasterTest {
protected:
    // Additive blending of 8/8/8: a pixel drawn once is 0x0841, twice 0x1082.
    void SetUp() override {
        D3DRasterTest::SetUp();
        State(host::D3DRS_ZENABLE, 0);
        State(host::D3DRS_ALPHABLENDENABLE, 1);
        State(host::D3DRS_SRCBLEND, host::D3DBLEND_ONE);
        State(host::D3DRS_DESTBLEND, host::D3DBLEND_ONE);
    }
    static constexpr uint32_t kSmall = 0xFF080808;
    static constexpr uint16_t kOnce = 0x0841;
    void ExpectSquareOnce(int x0, int y0, int x1, int y1) {
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                bool inside = x >= x0 && x <= x1 && y >= y0 && y <= y1;
                EXPECT_EQ(Pixel(x, y), inside ? kOnce : 0) << x << "," << y;
            }
    }
};

TEST_F(D3DSharedEdgeTest, AntiDiagonalSplitCoversSquareOnce) {
    // The square (0.5,0.5)-(8.5,8.5) holds pixel centres 0..7 x 0..7.
    ASSERT_EQ(Draw({V(0.5f, 0.5f, 0.5f, kSmall), V(8.5f, 0.5f, 0.5f, kSmall), V(0.5f, 8.5f, 0.5f, kSmall),
                    V(8.5f, 0.5f, 0.5f, kSmall), V(8.5f, 8.5f, 0.5f, kSmall), V(0.5f, 8.5f, 0.5f, kSmall)}),
              host::DD_OK);
    ExpectSquareOnce(0, 0, 7, 7);
}

TEST_F(D3DSharedEdgeTest, MainDiagonalSplitCoversSquareOnce) {
    ASSERT_EQ(Draw({V(0.5f, 0.5f, 0.5f, kSmall), V(8.5f, 0.5f, 0.5f, kSmall), V(8.5f, 8.5f, 0.5f, kSmall),
                    V(0.5f, 0.5f, 0.5f, kSmall), V(8.5f, 8.5f, 0.5f, kSmall), V(0.5f, 8.5f, 0.5f, kSmall)}),
              host::DD_OK);
    ExpectSquareOnce(0, 0, 7, 7);
}

TEST_F(D3DSharedEdgeTest, FanAroundOffGridCentreCoversRectangleOnce) {
    // Corners (1.3,2.7)-(9.9,7.1) and a centre at (5.3,4.9): centres x 1.5..9.5
    // and y 3.5..6.5 are inside, pixels 1..9 x 3..6.
    TLVertex a = V(1.3f, 2.7f, 0.5f, kSmall), b = V(9.9f, 2.7f, 0.5f, kSmall);
    TLVertex c = V(9.9f, 7.1f, 0.5f, kSmall), d = V(1.3f, 7.1f, 0.5f, kSmall), p = V(5.3f, 4.9f, 0.5f, kSmall);
    ASSERT_EQ(Draw({a, b, p, b, c, p, c, d, p, d, a, p}), host::DD_OK);
    ExpectSquareOnce(1, 3, 9, 6);
}

TEST_F(D3DRasterTest, CullingFollowsScreenWinding) {
    std::vector<TLVertex> clockwise = {V(0, 0, 0.5f, 0xFFFFFFFF), V(4, 0, 0.5f, 0xFFFFFFFF), V(0, 4, 0.5f, 0xFFFFFFFF)};
    std::vector<TLVertex> counter = {clockwise[0], clockwise[2], clockwise[1]};
    State(host::D3DRS_ZENABLE, 0);
    ASSERT_EQ(Draw(counter), host::DD_OK);  // the default D3DCULL_CCW drops it
    EXPECT_EQ(CountPixels(0xFFFF), 0);
    ASSERT_EQ(Draw(clockwise), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 6);  // x + y <= 2

    Clear(0);
    State(host::D3DRS_CULLMODE, host::D3DCULL_CW);
    ASSERT_EQ(Draw(clockwise), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 0);
    ASSERT_EQ(Draw(counter), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 6);

    Clear(0);
    State(host::D3DRS_CULLMODE, host::D3DCULL_NONE);
    ASSERT_EQ(Draw(counter), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 6);
    Clear(0);
    ASSERT_EQ(Draw(clockwise), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 6);
}

// ---------------------------------------------------------------------------
// Viewport and clears
// ---------------------------------------------------------------------------

TEST_F(D3DRasterTest, ViewportClipsDrawing) {
    ASSERT_EQ(host::D3DSetViewport(device_, 4, 6, 8, 5, 0.0f, 1.0f), host::DD_OK);
    ASSERT_EQ(Draw(Quad(-10, -10, 50, 50, 0.5f, 0xFFFFFFFF)), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 8 * 5);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            bool inside = x >= 4 && x < 12 && y >= 6 && y < 11;
            EXPECT_EQ(Pixel(x, y), inside ? 0xFFFF : 0) << x << "," << y;
        }
    // A viewport reaching past the target is clipped to it.
    ASSERT_EQ(host::D3DSetViewport(device_, 28, 28, 10, 10, 0.0f, 1.0f), host::DD_OK);
    ASSERT_EQ(Draw(Quad(-10, -10, 50, 50, 0.5f, 0xFFFFFFFF)), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFFFF), 8 * 5 + 4 * 4);
    EXPECT_EQ(Pixel(28, 28), 0xFFFF);
    EXPECT_EQ(Pixel(27, 31), 0);
}

TEST_F(D3DRasterTest, ClearFillsRectangleAndZClippedToTarget) {
    // 0xFF8040: r 31, g 0x80 >> 2 = 32, b 0x40 >> 3 = 8.
    host::Rect r{-3, 2, 5, 4};
    ASSERT_EQ(host::D3DClear(device_, &r, host::D3DCLEAR_TARGET, 0x00FF8040, 0.0f), host::DD_OK);
    EXPECT_EQ(CountPixels(0xFC08), 5 * 2);
    EXPECT_EQ(Pixel(0, 2), 0xFC08);
    EXPECT_EQ(Pixel(4, 3), 0xFC08);
    EXPECT_EQ(Pixel(5, 3), 0);
    EXPECT_EQ(Depth(0, 2), 65535);  // the z-buffer was not named

    // z = 0.5 is stored as floor(0.5 * 65535 + 0.5) = 32768.
    host::Rect zr{30, 30, 40, 40};
    ASSERT_EQ(host::D3DClear(device_, &zr, host::D3DCLEAR_ZBUFFER, 0x00FFFFFF, 0.5f), host::DD_OK);
    EXPECT_EQ(Depth(31, 31), 32768);
    EXPECT_EQ(Depth(29, 31), 65535);
    EXPECT_EQ(Pixel(31, 31), 0);

    // Without a rectangle: the viewport.
    ASSERT_EQ(host::D3DSetViewport(device_, 10, 10, 2, 3, 0.0f, 1.0f), host::DD_OK);
    ASSERT_EQ(host::D3DClear(device_, nullptr, host::D3DCLEAR_TARGET | host::D3DCLEAR_ZBUFFER, 0x000000FF, 0.25f),
              host::DD_OK);
    EXPECT_EQ(CountPixels(0x001F), 6);
    EXPECT_EQ(Depth(11, 12), 16384);  // 0.25 * 65535 = 16383.75
    EXPECT_EQ(Depth(12, 12), 65535);
}

TEST_F(D3DRasterTest, ViewportDepthRangeMapsVertexZ) {
    // sz 0.5 in a 0.5..1 viewport is 0.75: floor(0.75 * 65535 + 0.5) = 49151.
    ASSERT_EQ(host::D3DSetViewport(device_, 0, 0, kSize, kSize, 0.5f, 1.0f), host::DD_OK);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0xFFFFFFFF)), host::DD_OK);
    EXPECT_EQ(Depth(1, 1), 49151);
}

// ---------------------------------------------------------------------------
// Depth
// ---------------------------------------------------------------------------

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00;
constexpr uint16_t kRed565 = 0xF800, kGreen565 = 0x07E0;

TEST_F(D3DRasterTest, FartherTriangleAfterNearerIsHidden) {
    ASSERT_EQ(Draw(Quad(0, 0, 8, 8, 0.25f, kRed)), host::DD_OK);
    ASSERT_EQ(Draw(Quad(4, 4, 12, 12, 0.75f, kGreen)), host::DD_OK);
    EXPECT_EQ(Pixel(5, 5), kRed565);
    EXPECT_EQ(Depth(5, 5), 16384);
    EXPECT_EQ(Pixel(10, 10), kGreen565);
    EXPECT_EQ(Depth(10, 10), 49151);
    // Equal depth passes the default LESSEQUAL, not LESS.
    ASSERT_EQ(Draw(Quad(0, 0, 2, 2, 0.25f, kGreen)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), kGreen565);
    State(host::D3DRS_ZFUNC, host::D3DCMP_LESS);
    ASSERT_EQ(Draw(Quad(2, 2, 4, 4, 0.25f, kGreen)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 3), kRed565);
}

TEST_F(D3DRasterTest, ZFuncAlwaysDrawsAndWritesFartherDepth) {
    State(host::D3DRS_ZFUNC, host::D3DCMP_ALWAYS);
    ASSERT_EQ(Draw(Quad(0, 0, 8, 8, 0.25f, kRed)), host::DD_OK);
    ASSERT_EQ(Draw(Quad(0, 0, 8, 8, 0.75f, kGreen)), host::DD_OK);
    EXPECT_EQ(Pixel(5, 5), kGreen565);
    EXPECT_EQ(Depth(5, 5), 49151);
}

TEST_F(D3DRasterTest, ZWriteOffTestsButLeavesDepth) {
    State(host::D3DRS_ZWRITEENABLE, 0);
    ASSERT_EQ(Draw(Quad(0, 0, 8, 8, 0.25f, kRed)), host::DD_OK);
    EXPECT_EQ(Pixel(5, 5), kRed565);
    EXPECT_EQ(Depth(5, 5), 65535);
    State(host::D3DRS_ZWRITEENABLE, 1);
    ASSERT_EQ(Draw(Quad(0, 0, 8, 8, 0.75f, kGreen)), host::DD_OK);  // passes: nothing nearer was written
    EXPECT_EQ(Pixel(5, 5), kGreen565);
    EXPECT_EQ(Depth(5, 5), 49151);
}

TEST_F(D3DRasterTest, ZEnableOffNeitherTestsNorWrites) {
    ASSERT_EQ(Draw(Quad(0, 0, 8, 8, 0.25f, kRed)), host::DD_OK);
    State(host::D3DRS_ZENABLE, 0);
    ASSERT_EQ(Draw(Quad(0, 0, 8, 8, 0.75f, kGreen)), host::DD_OK);
    EXPECT_EQ(Pixel(5, 5), kGreen565);
    EXPECT_EQ(Depth(5, 5), 16384);
}

TEST_F(D3DRasterTest, DepthInterpolatesLinearlyInScreenSpace) {
    // z runs 0 at x = 0 to 1 at x = 16 whatever the rhw: at pixel 3 the centre
    // 3.5 gives 0.21875, floor(0.21875 * 65535 + 0.5) = 14336.
    TLVertex a = V(0, 0, 0, kRed, 0, 0, 1), b = V(16, 0, 1, kRed, 0, 0, 0.1f);
    TLVertex c = V(16, 4, 1, kRed, 0, 0, 0.1f), d = V(0, 4, 0, kRed, 0, 0, 1);
    ASSERT_EQ(Draw({a, b, c, a, c, d}), host::DD_OK);
    EXPECT_EQ(Depth(3, 1), 14336);
}

// ---------------------------------------------------------------------------
// Shading
// ---------------------------------------------------------------------------

TEST_F(D3DRasterTest, GouraudInterpolatesColourAtPixelCentres) {
    // red = 10 * x and green = 10 * y at pixel centres; blue 200 throughout.
    ASSERT_EQ(Draw({V(0, 0, 0.5f, 0xFF0000C8), V(16, 0, 0.5f, 0xFFA000C8), V(0, 16, 0.5f, 0xFF00A0C8)}), host::DD_OK);
    EXPECT_EQ(Pixel(3, 2), Rgb565(35, 25, 200));   // 0x20D9
    EXPECT_EQ(Pixel(3, 2), 0x20D9);
    EXPECT_EQ(Pixel(10, 1), Rgb565(105, 15, 200));  // 0x6879
    EXPECT_EQ(Pixel(10, 1), 0x6879);
}

TEST_F(D3DRasterTest, FlatShadingTakesFirstVertexColour) {
    State(host::D3DRS_SHADEMODE, host::D3DSHADE_FLAT);
    ASSERT_EQ(Draw({V(0, 0, 0.5f, 0xFF0000C8), V(16, 0, 0.5f, 0xFFA000C8), V(0, 16, 0.5f, 0xFF00A0C8)}), host::DD_OK);
    EXPECT_EQ(Pixel(3, 2), 0x0019);
    EXPECT_EQ(Pixel(10, 1), 0x0019);
    EXPECT_EQ(CountPixels(0x0019), 120);  // x + y <= 14
    // The same triangle listed from its second vertex takes that colour.
    Clear(0);
    ASSERT_EQ(Draw({V(16, 0, 0.5f, 0xFFA000C8), V(0, 16, 0.5f, 0xFF00A0C8), V(0, 0, 0.5f, 0xFF0000C8)}), host::DD_OK);
    EXPECT_EQ(CountPixels(Rgb565(160, 0, 200)), 120);
}

TEST_F(D3DRasterTest, SpecularAddsWithSaturation) {
    std::vector<TLVertex> q = Quad(0, 0, 4, 4, 0.5f, 0xFF640000);
    for (TLVertex& v : q) v.specular = 0x00C83200;  // (200, 50, 0)
    ASSERT_EQ(Draw(q), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 0x6000);  // specular off: (100, 0, 0)
    State(host::D3DRS_SPECULARENABLE, 1);
    Clear(0);
    ASSERT_EQ(Draw(q), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 0xF980);  // (255, 50, 0): r 31, g 12
}

TEST_F(D3DRasterTest, DitherAddsOrderedOffsetsOnlyWhenEnabled) {
    // Red 4 truncates to 0; with the dither the matrix entries 8..15 (offset
    // 4..7) lift it to 1.
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0xFF040000)), host::DD_OK);
    EXPECT_EQ(CountPixels(0x0800), 0);
    State(host::D3DRS_DITHERENABLE, 1);
    Clear(0);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0xFF040000)), host::DD_OK);
    EXPECT_EQ(Pixel(0, 0), 0);       // matrix 0
    EXPECT_EQ(Pixel(1, 0), 0x0800);  // matrix 8
    EXPECT_EQ(Pixel(0, 1), 0x0800);  // matrix 12
    EXPECT_EQ(Pixel(1, 1), 0);       // matrix 4
    EXPECT_EQ(CountPixels(0x0800), 8);
}

TEST_F(D3DRasterTest, AlphaTestDropsPixelsFailingTheReference) {
    constexpr uint32_t kAlphaReference = 24;  // the alpha test's reference state
    State(host::D3DRS_ALPHATESTENABLE, 1);
    State(host::D3DRS_ALPHAFUNC, host::D3DCMP_GREATER);
    State(kAlphaReference, 128);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0x80FF0000)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 0);
    EXPECT_EQ(Depth(1, 1), 65535);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0x81FF0000)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), kRed565);
}

// ---------------------------------------------------------------------------
// Blending: diffuse (200, 100, 40) alpha 128 over a background packed as
// r 10, g 40, b 20, which widens to (82, 162, 165).  Each channel is
// min(255, (src * Fs + dst * Fd) / 255), truncated.
// ---------------------------------------------------------------------------

class D3DBlendTest : public D3DRasterTest {
protected:
    uint16_t BlendOnce(uint32_t src, uint32_t dst) {
        Clear(0x0050A0A0);
        EXPECT_EQ(Pixel(2, 2), 0x5514);
        State(host::D3DRS_ALPHABLENDENABLE, 1);
        State(host::D3DRS_SRCBLEND, src);
        State(host::D3DRS_DESTBLEND, dst);
        EXPECT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0x80C86428)), host::DD_OK);
        return Pixel(2, 2);
    }
};

TEST_F(D3DBlendTest, OneZeroIsTheSource) {
    EXPECT_EQ(BlendOnce(host::D3DBLEND_ONE, host::D3DBLEND_ZERO), 0xCB25);  // (200,100,40): 25, 25, 5
}

TEST_F(D3DBlendTest, ZeroOneKeepsTheBackground) {
    EXPECT_EQ(BlendOnce(host::D3DBLEND_ZERO, host::D3DBLEND_ONE), 0x5514);
}

TEST_F(D3DBlendTest, ZeroZeroIsBlack) {
    EXPECT_EQ(BlendOnce(host::D3DBLEND_ZERO, host::D3DBLEND_ZERO), 0x0000);
}

TEST_F(D3DBlendTest, OneOneAddsAndSaturates) {
    // (282 -> 255, 262 -> 255, 205): 31, 63, 25.
    EXPECT_EQ(BlendOnce(host::D3DBLEND_ONE, host::D3DBLEND_ONE), 0xFFF9);
}

TEST_F(D3DBlendTest, SrcAlphaInvSrcAlpha) {
    // r (200*128 + 82*127)/255 = 141, g (100*128 + 162*127)/255 = 130,
    // b (40*128 + 165*127)/255 = 102: 17, 32, 12.
    EXPECT_EQ(BlendOnce(host::D3DBLEND_SRCALPHA, host::D3DBLEND_INVSRCALPHA), 0x8C0C);
}

TEST_F(D3DBlendTest, SrcAlphaOne) {
    // r (25600 + 20910)/255 = 182, g (12800 + 41310)/255 = 212,
    // b (5120 + 42075)/255 = 185: 22, 53, 23.
    EXPECT_EQ(BlendOnce(host::D3DBLEND_SRCALPHA, host::D3DBLEND_ONE), 0xB6B7);
}

TEST_F(D3DBlendTest, InvSrcAlphaSrcAlpha) {
    // r (200*127 + 82*128)/255 = 140, g (100*127 + 162*128)/255 = 131,
    // b (40*127 + 165*128)/255 = 102: 17, 32, 12.
    EXPECT_EQ(BlendOnce(host::D3DBLEND_INVSRCALPHA, host::D3DBLEND_SRCALPHA), 0x8C0C);
}

TEST_F(D3DBlendTest, InvSrcAlphaZero) {
    // r 200*127/255 = 99, g 100*127/255 = 49, b 40*127/255 = 19: 12, 12, 2.
    EXPECT_EQ(BlendOnce(host::D3DBLEND_INVSRCALPHA, host::D3DBLEND_ZERO), 0x6182);
}

TEST_F(D3DBlendTest, BlendingOffWritesTheSource) {
    Clear(0x0050A0A0);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0x80C86428)), host::DD_OK);
    EXPECT_EQ(Pixel(2, 2), 0xCB25);
}

TEST_F(D3DRasterTest, Target555PacksFiveBitsPerChannel) {
    host::Surface* t555 = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, 8, 8, host::kFormat555);
    host::D3DDevice* dev = host::D3DCreateDevice(d3d_, 0, t555);
    ASSERT_NE(dev, nullptr);
    std::vector<TLVertex> q = Quad(0, 0, 4, 4, 0.5f, 0xFFC86428);
    ASSERT_EQ(host::D3DDrawPrimitive(dev, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, q.data(), 6, 0),
              host::DD_OK);
    // (200, 100, 40): 25, 12, 5.
    EXPECT_EQ(Read16(t555, 1, 1), (25 << 10) | (12 << 5) | 5);
    EXPECT_EQ(Read16(t555, 5, 5), 0);
    host::D3DDeviceRelease(dev);
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

TEST_F(D3DRasterTest, ModulateAndDecalWithA565Texture) {
    host::D3DTexture* t = MakeTexture(4, 4, host::kFormat565, [](int, int) { return 0xF81Fu; });  // (255, 0, 255)
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    // The default stage multiplies: (255*100/255, 0, 255*50/255) = (100, 0, 50).
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0xFF64C832)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 0x6006);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    Clear(0);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0xFF64C832)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 0xF81F);
    // SELECTARG2 takes the diffuse colour: (100, 200, 50).
    Stage(host::D3DTSS_COLOROP, host::D3DTOP_SELECTARG2);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.25f, 0xFF64C832)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), Rgb565(100, 200, 50));
}

TEST_F(D3DRasterTest, PerspectiveCorrectTextureCoordinates) {
    // Texel column i holds blue i, so a drawn pixel's blue is the column read.
    host::D3DTexture* t = MakeTexture(16, 16, host::kFormat565, [](int x, int) { return uint32_t(x); });
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    // u 0 -> 1 over x 0 -> 16, rhw 1 at the left and 0.25 at the right.
    TLVertex a = V(0, 0, 0.5f, kRed, 0, 0.5f, 1), b = V(16, 0, 0.5f, kRed, 1, 0.5f, 0.25f);
    TLVertex c = V(16, 4, 0.5f, kRed, 1, 0.5f, 0.25f), d = V(0, 4, 0.5f, kRed, 0, 0.5f, 1);
    ASSERT_EQ(Draw({a, b, c, a, c, d}), host::DD_OK);
    // Centre 7.5: u*rhw = 0.25 * 7.5/16 = 0.1171875, rhw = 1 - 0.75 * 7.5/16
    // = 0.6484375, u = 0.1807, column floor(2.89) = 2 (affine: 7).
    EXPECT_EQ(Pixel(7, 1), 2);
    // Centre 15.5: u = 0.2421875 / 0.2734375 = 0.8857, column 14.
    EXPECT_EQ(Pixel(15, 2), 14);
    EXPECT_EQ(Pixel(0, 1), 0);

    State(host::D3DRS_TEXTUREPERSPECTIVE, 0);
    Clear(0);
    ASSERT_EQ(Draw({a, b, c, a, c, d}), host::DD_OK);
    EXPECT_EQ(Pixel(7, 1), 7);  // u = 7.5 / 16
    EXPECT_EQ(Pixel(15, 2), 15);
}

TEST_F(D3DRasterTest, TexturesWrap) {
    host::D3DTexture* t = MakeTexture(16, 16, host::kFormat565, [](int x, int) { return uint32_t(x); });
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    // u -1 -> 1 over 16 pixels: pixel 2 (centre 2.5) reads u = -0.6875,
    // wrapped 0.3125, column 5; pixel 12 reads 0.5625, column 9.
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, kRed, -1, 0, 1, 1)), host::DD_OK);
    EXPECT_EQ(Pixel(2, 1), 5);
    EXPECT_EQ(Pixel(12, 1), 9);
}

TEST_F(D3DRasterTest, BilinearFilterWeighsTexelCentresAndWraps) {
    // A 2 x 2 texture: column 0 black, column 1 red (255).
    host::D3DTexture* t = MakeTexture(2, 2, host::kFormat565, [](int x, int) { return x ? 0xF800u : 0u; });
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    // u = 0.5 is halfway between the column centres: (255 * 128 * 256 + 32768) >> 16 = 128.
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed, 0.5f, 0.25f, 0.5f, 0.25f)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 0xF800);  // point filtering: column 1
    Stage(host::D3DTSS_MAGFILTER, host::D3DTFG_LINEAR);
    Clear(0);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed, 0.5f, 0.25f, 0.5f, 0.25f)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 128 >> 3 << 11);
    // u = 0.125: 2u - 0.5 = -0.25, the texels -1 (wrapped to 1, red, weight
    // 64) and 0 (black, weight 192): (255 * 64 * 256 + 32768) >> 16 = 64.
    Clear(0);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed, 0.125f, 0.25f, 0.125f, 0.25f)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 64 >> 3 << 11);
    // The colour key looks at the nearest texel: column 0 (black) keyed.
    ASSERT_EQ(host::SurfaceSetColourKey(surfaces_.back(), 0, 0), host::DD_OK);
    State(host::D3DRS_COLORKEYENABLE, 1);
    Clear(0x000000FF);
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed, 0.125f, 0.25f, 0.125f, 0.25f)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), 0x001F);
}

TEST_F(D3DRasterTest, ColourKeyed565TexelsAreNotDrawn) {
    // Left half green (the key), right half red; u 0 -> 1 over 16 pixels.
    host::Surface* s = MakeTextureSurface(16, 16, host::kFormat565, [](int x, int) { return x < 8 ? 0x07E0u : 0xF800u; });
    host::D3DTexture* t = Texture(s);
    ASSERT_EQ(host::SurfaceSetColourKey(s, 0x07E0, 0x07E0), host::DD_OK);
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    Clear(0x000000FF);
    // Keying off: the key colour is drawn.
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, kRed)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 1), 0x07E0);
    Clear(0x000000FF);
    State(host::D3DRS_COLORKEYENABLE, 1);
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, kRed)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 1), 0x001F);
    EXPECT_EQ(Depth(3, 1), 65535);  // neither pixel nor z written
    EXPECT_EQ(Pixel(12, 1), 0xF800);
    EXPECT_EQ(Depth(12, 1), 32768);
    EXPECT_EQ(CountPixels(0xF800), 8 * 4);
}

TEST_F(D3DRasterTest, LoadedPalettisedTextureKeysIndexZero) {
    // The source: system memory, palette attached; the destination: display
    // memory with padded rows (another pitch) and no palette.
    host::headless::SetVideoPitchPadding(6);
    auto index = [](int x, int) { return x < 8 ? 0u : 1u; };
    host::Surface* src = MakeTextureSurface(16, 16, {8, 0, 0, 0, 0}, index);
    host::Surface* dst = MakeTextureSurface(16, 16, {8, 0, 0, 0, 0}, [](int, int) { return 7u; },
                                            host::DDSCAPS_VIDEOMEMORY);
    int srcPitch = 0, dstPitch = 0;
    ASSERT_EQ(host::SurfaceGetSize(src, nullptr, nullptr, &srcPitch), host::DD_OK);
    ASSERT_EQ(host::SurfaceGetSize(dst, nullptr, nullptr, &dstPitch), host::DD_OK);
    ASSERT_NE(srcPitch, dstPitch);
    ASSERT_EQ(host::SurfaceSetPalette(src, MakePalette({{255, 0, 255, 0}, {255, 255, 0, 0}})), host::DD_OK);
    host::D3DTexture* source = Texture(src);
    host::D3DTexture* device = Texture(dst);
    ASSERT_EQ(host::D3DTextureLoad(device, source), host::DD_OK);
    uint8_t* pixels = nullptr;
    int pitch = 0;
    ASSERT_EQ(host::SurfaceLock(dst, host::DDLOCK_WAIT, &pixels, &pitch), host::DD_OK);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(pixels[y * pitch + x], index(x, y)) << x << "," << y;
    host::SurfaceUnlock(dst);

    ASSERT_EQ(host::D3DSetTexture(device_, 0, device), host::DD_OK);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, kRed)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 1), 0xF81F);  // entry 0, magenta
    EXPECT_EQ(Pixel(12, 1), 0xFFE0);  // entry 1, yellow
    ASSERT_EQ(host::SurfaceSetColourKey(dst, 0, 0), host::DD_OK);
    State(host::D3DRS_COLORKEYENABLE, 1);
    Clear(0);
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, kRed)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 1), 0);
    EXPECT_EQ(Pixel(12, 1), 0xFFE0);
    EXPECT_EQ(CountPixels(0xFFE0), 8 * 4);
}

TEST_F(D3DRasterTest, BlendTextureAlphaWithA4444Texture) {
    // Left: 0x8F00 (alpha 8 * 17 = 136, red 255); right: 0xF0F0 (alpha 255, green 255).
    host::D3DTexture* t = MakeTexture(16, 16, {16, 0x0F00, 0x00F0, 0x000F, 0xF000},
                                      [](int x, int) { return x < 8 ? 0x8F00u : 0xF0F0u; });
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    Stage(host::D3DTSS_COLOROP, host::D3DTOP_BLENDTEXTUREALPHA);
    // Diffuse blue: r (255*136)/255 = 136, b (255*119)/255 = 119: 17, 0, 14.
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, 0xFF0000FF)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 1), 0x880E);
    EXPECT_EQ(Pixel(12, 1), 0x07E0);
    // The texture's alpha reaches the blender: 136 of red over blue 255.
    // r 255*136/255 = 136, b 255*119/255 = 119.
    Stage(host::D3DTSS_COLOROP, host::D3DTOP_SELECTARG1);
    State(host::D3DRS_ALPHABLENDENABLE, 1);
    State(host::D3DRS_SRCBLEND, host::D3DBLEND_SRCALPHA);
    State(host::D3DRS_DESTBLEND, host::D3DBLEND_INVSRCALPHA);
    Clear(0x000000FF);
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, 0xFF0000FF)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 1), 0x880E);
}

TEST_F(D3DRasterTest, Argb1555AlphaBitIsAllOrNothing) {
    // 0x7C00: red, alpha bit clear (alpha 0); 0xFC00: red, alpha 255.
    host::D3DTexture* t = MakeTexture(16, 16, {16, 0x7C00, 0x03E0, 0x001F, 0x8000},
                                      [](int x, int) { return x < 8 ? 0x7C00u : 0xFC00u; });
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    State(host::D3DRS_ALPHABLENDENABLE, 1);
    State(host::D3DRS_SRCBLEND, host::D3DBLEND_SRCALPHA);
    State(host::D3DRS_DESTBLEND, host::D3DBLEND_INVSRCALPHA);
    Clear(0x000000FF);
    ASSERT_EQ(Draw(Quad(0, 0, 16, 4, 0.5f, 0xFFFFFFFF)), host::DD_OK);
    EXPECT_EQ(Pixel(3, 1), 0x001F);
    EXPECT_EQ(Pixel(12, 1), 0xF800);
}

TEST_F(D3DRasterTest, TextureRecordsAndLoadChecks) {
    host::Surface* plain = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN, 4, 4, host::kFormat565);
    EXPECT_EQ(host::D3DTextureFromSurface(plain), nullptr);
    EXPECT_EQ(host::D3DTextureFromSurface(nullptr), nullptr);
    host::Surface* s = MakeTextureSurface(4, 4, host::kFormat565, [](int, int) { return 0u; });
    host::D3DTexture* a = Texture(s);
    host::D3DTexture* b = Texture(s);
    EXPECT_EQ(a, b);  // one record per surface, counted
    host::Surface* eight = MakeTextureSurface(4, 4, {8, 0, 0, 0, 0}, [](int, int) { return 0u; });
    EXPECT_EQ(host::D3DTextureLoad(a, Texture(eight)), host::DDERR_INVALIDPARAMS);  // texel sizes differ
    EXPECT_EQ(host::D3DSetTexture(device_, 1, a), host::DDERR_INVALIDPARAMS);
    // The device holds the texture it draws with beyond the program's release.
    ASSERT_EQ(host::D3DSetTexture(device_, 0, a), host::DD_OK);
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

TEST_F(D3DRasterTest, LockedTargetRefusesDrawingAndClears) {
    uint8_t* pixels = nullptr;
    int pitch = 0;
    ASSERT_EQ(host::SurfaceLock(target_, host::DDLOCK_WAIT, &pixels, &pitch), host::DD_OK);
    EXPECT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed)), host::DDERR_GENERIC);
    EXPECT_EQ(host::D3DClear(device_, nullptr, host::D3DCLEAR_TARGET, 0xFFFFFF, 1.0f), host::DDERR_GENERIC);
    EXPECT_EQ(pixels[0], 0);
    ASSERT_EQ(host::SurfaceUnlock(target_), host::DD_OK);
    EXPECT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed)), host::DD_OK);
    EXPECT_EQ(Pixel(0, 0), kRed565);
}

// A draw reads its target, the z-buffer and the texture: with any of them
// locked it is refused and draws nothing; once unlocked the same draw is made.
TEST_F(D3DRasterTest, DrawsWithALockedSurfaceAreRefused) {
    host::Surface* texels = MakeTextureSurface(4, 4, host::kFormat565, [](int, int) { return 0xF800u; });
    ASSERT_EQ(host::D3DSetTexture(device_, 0, Texture(texels)), host::DD_OK);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    const std::pair<const char*, host::Surface*> cases[] = {{"target", target_}, {"z-buffer", z_}, {"texture", texels}};
    for (const auto& [what, locked] : cases) {
        SCOPED_TRACE(what);
        Clear(0);
        ASSERT_EQ(host::SurfaceLock(locked, host::DDLOCK_WAIT, nullptr, nullptr), host::DD_OK);
        EXPECT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed)), host::DDERR_GENERIC);
        ASSERT_EQ(host::SurfaceUnlock(locked), host::DD_OK);
        EXPECT_EQ(Pixel(1, 1), 0);
        EXPECT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed)), host::DD_OK);
        EXPECT_EQ(Pixel(1, 1), kRed565);
    }
}

TEST_F(D3DRasterTest, LostTargetRefusesUntilRestored) {
    host::headless::LoseSurfaces();
    EXPECT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed)), host::DDERR_SURFACELOST);
    EXPECT_EQ(host::D3DClear(device_, nullptr, host::D3DCLEAR_TARGET, 0xFFFFFF, 1.0f), host::DDERR_SURFACELOST);
    ASSERT_EQ(host::DDRestoreAllSurfaces(dd_), host::DD_OK);
    EXPECT_FALSE(host::SurfaceIsLost(target_));
    EXPECT_FALSE(host::SurfaceIsLost(z_));
    EXPECT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, kRed)), host::DD_OK);
    EXPECT_EQ(Pixel(0, 0), kRed565);
}

TEST_F(D3DRasterTest, OnlyTriangleListsOfTransformedVerticesAreDrawn) {
    std::vector<TLVertex> q = Quad(0, 0, 4, 4, 0.5f, kRed);
    EXPECT_EQ(host::D3DDrawPrimitive(device_, 5, host::D3DFVF_TLVERTEX, q.data(), 6, 0), host::DDERR_INVALIDPARAMS);
    EXPECT_EQ(host::D3DDrawPrimitive(device_, host::D3DPT_TRIANGLELIST, 0x152, q.data(), 6, 0),
              host::DDERR_INVALIDPARAMS);
    EXPECT_EQ(CountPixels(kRed565), 0);
    // A trailing partial triangle is ignored.
    EXPECT_EQ(host::D3DDrawPrimitive(device_, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, q.data(), 5, 0),
              host::DD_OK);
    // The first triangle, (0,0) (4,0) (4,4): centres with y < x and, on its
    // left edge, y = x: 10 pixels.
    EXPECT_EQ(CountPixels(kRed565), 10);
}

TEST_F(D3DRasterTest, UndefinedAndFarOffVerticesAreSafe) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // A vertex that is not a number, or infinite, drops its triangle.
    ASSERT_EQ(Draw({V(0, 0, 0.5f, kRed), V(nan, 0, 0.5f, kRed), V(0, 8, 0.5f, kRed)}), host::DD_OK);
    ASSERT_EQ(Draw({V(0, 0, 0.5f, kRed), V(inf, 0, 0.5f, kRed), V(0, 8, 0.5f, kRed)}), host::DD_OK);
    EXPECT_EQ(CountPixels(kRed565), 0);
    // A vertex far beyond the coordinate range (a corner cut at the near
    // plane far to the side) is clipped, not dropped: the sliver along the
    // top covers rows 0 to 7 across the target.
    ASSERT_EQ(Draw({V(0, 0, 0.5f, kRed), V(1e9f, 0, 0.5f, kRed), V(0, 8, 0.5f, kRed)}), host::DD_OK);
    EXPECT_EQ(CountPixels(kRed565), 8 * kSize);
    for (int x = 0; x < kSize; ++x) EXPECT_EQ(Pixel(x, 7), kRed565) << x;
    Clear(0);
    // Two triangles sharing an edge to a far corner cover the square once,
    // with no hole and no pixel drawn twice.
    State(host::D3DRS_ZENABLE, 0);
    State(host::D3DRS_ALPHABLENDENABLE, 1);
    State(host::D3DRS_SRCBLEND, host::D3DBLEND_ONE);
    State(host::D3DRS_DESTBLEND, host::D3DBLEND_ONE);
    const uint32_t small = 0xFF080808;
    ASSERT_EQ(Draw({V(-3e7f, -1e7f, 0.5f, small), V(40, 0, 0.5f, small), V(40, 40, 0.5f, small),
                    V(-3e7f, -1e7f, 0.5f, small), V(40, 40, 0.5f, small), V(0, 40, 0.5f, small)}),
              host::DD_OK);
    // The quadrilateral holds the whole target; the shared edge crosses it.
    EXPECT_EQ(CountPixels(0x0841), kSize * kSize);
    State(host::D3DRS_ALPHABLENDENABLE, 0);
    State(host::D3DRS_ZENABLE, 1);
    // A large triangle inside the range is clipped to the target.
    ASSERT_EQ(Draw({V(-1000, -1000, 0.5f, kRed), V(200000, -1000, 0.5f, kRed), V(-1000, 200000, 0.5f, kRed)}),
              host::DD_OK);
    EXPECT_EQ(CountPixels(kRed565), kSize * kSize);
    // Undefined texture co-ordinates read a texel without faulting.
    host::D3DTexture* t = MakeTexture(16, 16, host::kFormat565, [](int x, int) { return uint32_t(x); });
    ASSERT_EQ(host::D3DSetTexture(device_, 0, t), host::DD_OK);
    Stage(host::D3DTSS_MAGFILTER, host::D3DTFG_LINEAR);
    State(host::D3DRS_ZFUNC, host::D3DCMP_ALWAYS);
    std::vector<TLVertex> q = Quad(0, 0, 8, 8, 0.5f, kRed, nan, 1e30f, nan, -1e30f);
    q[0].rhw = 0;
    ASSERT_EQ(Draw(q), host::DD_OK);
}

// The blended forms the scene drawing sets for its translucent faces, and
// the states it sets that draw nothing of their own (fog and stipple off,
// alpha always passing, no culling), each on red texels over blue.
TEST_F(D3DRasterTest, TranslucentFormsOfTheSceneDrawing) {
    using namespace host;
    host::D3DTexture* red = MakeTexture(16, 16, host::kFormat565, [](int, int) { return 0xF800u; });
    host::D3DTexture* red136 =
        MakeTexture(16, 16, {16, 0x0F00, 0x00F0, 0x000F, 0xF000}, [](int, int) { return 0x8F00u; });
    State(D3DRS_FOGENABLE, 0);
    State(D3DRS_STIPPLEDALPHA, 0);
    State(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    State(D3DRS_CULLMODE, D3DCULL_NONE);
    State(D3DRS_ALPHABLENDENABLE, 1);
    State(D3DRS_ZWRITEENABLE, 0);
    auto drawOver = [&](uint32_t diffuse) {
        Clear(0x0000FF);
        // Listed counter-clockwise: drawn all the same without culling.
        std::vector<TLVertex> q = Quad(0, 0, 8, 8, 0.5f, diffuse);
        std::swap(q[1], q[2]);
        std::swap(q[4], q[5]);
        ASSERT_EQ(Draw(q), DD_OK);
    };
    // Level alpha (-21, -13, -12): colour blended by the texture's alpha
    // (255: the texel), alpha from the diffuse colour (128).  128 of red over
    // 127 of blue.
    ASSERT_EQ(D3DSetTexture(device_, 0, red), DD_OK);
    State(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    State(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    Stage(D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
    Stage(D3DTSS_COLORARG1, D3DTA_TEXTURE);
    Stage(D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Stage(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    Stage(D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    drawOver(0x80FFFFFF);
    EXPECT_EQ(Pixel(3, 3), Rgb565(128, 0, 127));
    EXPECT_EQ(Depth(3, 3), 65535);  // z writes off
    // Additive (-21): one and one, texel times diffuse.
    State(D3DRS_SRCBLEND, D3DBLEND_ONE);
    State(D3DRS_DESTBLEND, D3DBLEND_ONE);
    Stage(D3DTSS_COLOROP, D3DTOP_MODULATE);
    Stage(D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    drawOver(0x60FFFFFF);
    EXPECT_EQ(Pixel(3, 3), Rgb565(255, 0, 255));
    // Texture alpha (-9, -8): 136 of red over 119 of blue.
    ASSERT_EQ(D3DSetTexture(device_, 0, red136), DD_OK);
    State(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    State(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    drawOver(0x00FFFFFF);
    EXPECT_EQ(Pixel(3, 3), Rgb565(136, 0, 119));
    EXPECT_EQ(Depth(3, 3), 65535);
}

TEST_F(D3DRasterTest, ScenesPair) {
    EXPECT_EQ(host::D3DEndScene(device_), host::DDERR_GENERIC);
    EXPECT_EQ(host::D3DBeginScene(device_), host::DD_OK);
    EXPECT_EQ(host::D3DEndScene(device_), host::DD_OK);
}

// ---------------------------------------------------------------------------
// Enumeration, states and settings
// ---------------------------------------------------------------------------

TEST_F(D3DRasterTest, DefaultStates) {
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_ZENABLE), 1u);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_TEXTUREPERSPECTIVE), 1u);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_SHADEMODE), host::D3DSHADE_GOURAUD);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_SRCBLEND), host::D3DBLEND_ONE);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_DESTBLEND), host::D3DBLEND_ZERO);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_CULLMODE), host::D3DCULL_CCW);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_ZFUNC), host::D3DCMP_LESSEQUAL);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_ALPHAFUNC), host::D3DCMP_ALWAYS);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_DITHERENABLE), 0u);
    EXPECT_EQ(host::D3DGetRenderState(device_, 200), 0u);
    EXPECT_EQ(host::D3DSetRenderState(device_, 200, 7), host::DD_OK);  // any state number is kept
    EXPECT_EQ(host::D3DGetRenderState(device_, 200), 7u);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_COLOROP), host::D3DTOP_MODULATE);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_COLORARG1), host::D3DTA_TEXTURE);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_COLORARG2), host::D3DTA_DIFFUSE);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_ALPHAOP), host::D3DTOP_SELECTARG1);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_ADDRESS), host::D3DTADDRESS_WRAP);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_MAGFILTER), host::D3DTFG_POINT);

    // A target without a z-buffer starts with z off.
    host::Surface* bare = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, 8, 8, host::kFormat565);
    host::D3DDevice* dev = host::D3DCreateDevice(d3d_, 0, bare);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(host::D3DGetRenderState(dev, host::D3DRS_ZENABLE), 0u);
    host::D3DDeviceRelease(dev);
}

TEST_F(D3DRasterTest, TextureMapBlendSetsStageZero) {
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_COLOROP), host::D3DTOP_SELECTARG1);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_COLORARG1), host::D3DTA_TEXTURE);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_ALPHAOP), host::D3DTOP_SELECTARG1);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_ALPHAARG1), host::D3DTA_TEXTURE);
    State(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_MODULATE);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_COLOROP), host::D3DTOP_MODULATE);
    EXPECT_EQ(host::D3DGetTextureStageState(device_, 0, host::D3DTSS_COLORARG2), host::D3DTA_DIFFUSE);
    EXPECT_EQ(host::D3DGetRenderState(device_, host::D3DRS_TEXTUREMAPBLEND), host::D3DTBLEND_MODULATE);
}

TEST_F(D3DRasterTest, UntexturedStagePassesDiffuse) {
    // No texture: the default MODULATE stage leaves the diffuse colour as it is.
    ASSERT_EQ(Draw(Quad(0, 0, 4, 4, 0.5f, 0xFF64C832)), host::DD_OK);
    EXPECT_EQ(Pixel(1, 1), Rgb565(100, 200, 50));
}

class D3DSetupTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::ResetD3D();
        dd_ = host::DDCreate(0);
        ASSERT_NE(dd_, nullptr);
        ASSERT_EQ(host::DDSetCooperativeLevel(dd_, nullptr, host::DDSCL_NORMAL), host::DD_OK);
    }
    void TearDown() override {
        for (auto it = surfaces_.rbegin(); it != surfaces_.rend(); ++it) host::SurfaceRelease(*it);
        EXPECT_EQ(host::DDRelease(dd_), 0);
        host::ResetD3D();
        HeadlessTest::TearDown();
    }
    host::Surface* MakeSurface(uint32_t caps, int width, int height, host::PixelFormat format) {
        host::Surface* s = nullptr;
        EXPECT_EQ(host::DDCreateSurface(dd_, {caps, width, height, 0, true, format}, &s), host::DD_OK);
        if (s) surfaces_.push_back(s);
        return s;
    }
    host::DDraw* dd_ = nullptr;
    std::vector<host::Surface*> surfaces_;
};

TEST_F(D3DSetupTest, DevicesAndZBufferFormats) {
    host::D3D* d3d = host::D3DCreate(dd_);
    ASSERT_NE(d3d, nullptr);
    std::vector<host::D3DDeviceInfo> devices = host::D3DEnumDevices(d3d);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].name, "RGB Emulation");
    EXPECT_FALSE(devices[0].hardware);
    EXPECT_EQ(devices[1].name, "Direct3D HAL");
    EXPECT_TRUE(devices[1].hardware);
    EXPECT_EQ(host::D3DEnumZBufferFormats(d3d, 0), std::vector<int>{16});
    EXPECT_TRUE(host::D3DEnumZBufferFormats(d3d, 2).empty());
    EXPECT_TRUE(host::D3DEnumZBufferFormats(d3d, -1).empty());
    host::D3DRelease(d3d);
    EXPECT_EQ(host::D3DCreate(nullptr), nullptr);
}

TEST_F(D3DSetupTest, NoHardwareDeviceListed) {
    host::D3DConfig().devices.pop_back();
    host::D3D* d3d = host::D3DCreate(dd_);
    ASSERT_NE(d3d, nullptr);
    std::vector<host::D3DDeviceInfo> devices = host::D3DEnumDevices(d3d);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_FALSE(devices[0].hardware);
    host::Surface* target = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, 8, 8, host::kFormat565);
    EXPECT_EQ(host::D3DCreateDevice(d3d, 1, target), nullptr);
    host::D3DDevice* dev = host::D3DCreateDevice(d3d, 0, target);
    EXPECT_NE(dev, nullptr);
    host::D3DDeviceRelease(dev);
    host::D3DRelease(d3d);
}

TEST_F(D3DSetupTest, TextureFormatsInOrderAndRemovable) {
    host::D3D* d3d = host::D3DCreate(dd_);
    host::Surface* target = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, 8, 8, host::kFormat565);
    host::D3DDevice* dev = host::D3DCreateDevice(d3d, 0, target);
    ASSERT_NE(dev, nullptr);
    std::vector<host::TextureFormat> f = host::D3DEnumTextureFormats(dev);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].flags, 0x60u);
    EXPECT_EQ(f[0].format.bits, 8u);
    EXPECT_EQ(f[1].flags, 0x41u);
    EXPECT_EQ(f[1].format.redMask, 0x7C00u);
    EXPECT_EQ(f[1].format.alphaMask, 0x8000u);
    EXPECT_EQ(f[2].flags, 0x40u);
    EXPECT_EQ(f[2].format.greenMask, 0x07E0u);
    EXPECT_EQ(f[2].format.alphaMask, 0u);
    EXPECT_EQ(f[3].flags, 0x41u);
    EXPECT_EQ(f[3].format.alphaMask, 0xF000u);
    EXPECT_EQ(f[3].format.redMask, 0x0F00u);

    host::D3DConfig().palettised = false;
    host::D3DConfig().rgb565 = false;
    f = host::D3DEnumTextureFormats(dev);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].format.alphaMask, 0x8000u);
    EXPECT_EQ(f[1].format.alphaMask, 0xF000u);
    EXPECT_EQ(host::D3DEvictManagedTextures(d3d), host::DD_OK);
    host::D3DDeviceRelease(dev);
    host::D3DRelease(d3d);
}

TEST_F(D3DSetupTest, InjectedFailures) {
    host::D3DConfig().failCreate = true;
    EXPECT_EQ(host::D3DCreate(dd_), nullptr);
    host::D3DConfig().failCreate = false;
    host::D3D* d3d = host::D3DCreate(dd_);
    ASSERT_NE(d3d, nullptr);

    host::Surface* target = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, 8, 8, host::kFormat565);
    host::Surface* z = MakeSurface(host::DDSCAPS_ZBUFFER, 8, 8, {16, 0, 0, 0, 0});
    host::D3DConfig().failAttachZ = true;
    EXPECT_EQ(host::SurfaceAttachZBuffer(target, z), host::DDERR_GENERIC);
    host::D3DConfig().failAttachZ = false;

    host::D3DConfig().failDevice = true;
    EXPECT_EQ(host::D3DCreateDevice(d3d, 0, target), nullptr);
    host::D3DConfig().failDevice = false;
    host::D3DDevice* dev = host::D3DCreateDevice(d3d, 0, target);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(host::D3DGetRenderState(dev, host::D3DRS_ZENABLE), 0u);  // the z-buffer did not attach
    host::D3DDeviceRelease(dev);
    host::D3DRelease(d3d);
}

TEST_F(D3DSetupTest, ZBufferAttachChecksAndDeviceTargets) {
    host::D3D* d3d = host::D3DCreate(dd_);
    host::Surface* target = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, 8, 8, host::kFormat565);
    host::Surface* notZ = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN, 8, 8, {16, 0, 0, 0, 0});
    host::Surface* small = MakeSurface(host::DDSCAPS_ZBUFFER, 4, 8, {16, 0, 0, 0, 0});
    host::Surface* z = MakeSurface(host::DDSCAPS_ZBUFFER, 8, 8, {16, 0, 0, 0, 0});
    EXPECT_EQ(host::SurfaceAttachZBuffer(target, notZ), host::DDERR_GENERIC);
    EXPECT_EQ(host::SurfaceAttachZBuffer(target, small), host::DDERR_GENERIC);
    EXPECT_EQ(host::SurfaceAttachZBuffer(target, nullptr), host::DDERR_GENERIC);
    EXPECT_EQ(host::SurfaceAttachZBuffer(nullptr, z), host::DDERR_GENERIC);
    EXPECT_EQ(host::SurfaceAttachZBuffer(target, z), host::DD_OK);

    host::Surface* eight =
        MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, 8, 8, {8, 0, 0, 0, 0});
    EXPECT_EQ(host::D3DCreateDevice(d3d, 0, eight), nullptr);
    EXPECT_EQ(host::D3DCreateDevice(d3d, 0, nullptr), nullptr);
    EXPECT_EQ(host::D3DCreateDevice(d3d, -1, target), nullptr);
    host::D3DDevice* dev = host::D3DCreateDevice(d3d, 0, target);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(host::D3DGetRenderState(dev, host::D3DRS_ZENABLE), 1u);
    // The device keeps its target and z-buffer while the program lets go.
    EXPECT_GT(host::SurfaceRelease(target), 0);
    surfaces_.erase(std::find(surfaces_.begin(), surfaces_.end(), target));
    std::vector<TLVertex> q = Quad(0, 0, 4, 4, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(host::D3DDrawPrimitive(dev, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, q.data(), 6, 0),
              host::DD_OK);
    host::D3DDeviceRelease(dev);
    host::D3DRelease(d3d);
}

}  // namespace
