// The 3D device's fast drawing against its plain twin: random triangles in
// random states over textures of every format are drawn once by the plain
// routines on one thread and once by the fast routines on several threads;
// the colour and depth surfaces must come out identical byte for byte.
#include "host/d3d.h"
#include "host/display.h"
#include "host/display_internal.h"
#include "test_support.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <thread>
#include <vector>

namespace {

using host::TLVertex;

constexpr int kWidth = 256, kHeight = 192;

// Scenes drawn (fewer in the checked build, which runs many times slower).
#if defined(__SANITIZE_ADDRESS__)
constexpr uint32_t kScenes = 3;
#else
constexpr uint32_t kScenes = 24;
#endif

class D3DTwinTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::ResetD3D();
        dd_ = host::DDCreate(0);
        ASSERT_NE(dd_, nullptr);
        ASSERT_EQ(host::DDSetCooperativeLevel(dd_, nullptr, host::DDSCL_NORMAL), host::DD_OK);
        d3d_ = host::D3DCreate(dd_);
        ASSERT_NE(d3d_, nullptr);
    }
    void TearDown() override {
        for (host::D3DTexture* t : textures_) host::D3DTextureRelease(t);
        for (host::Palette* p : palettes_) host::PaletteRelease(p);
        for (auto it = surfaces_.rbegin(); it != surfaces_.rend(); ++it) host::SurfaceRelease(*it);
        host::D3DRelease(d3d_);
        host::DDRelease(dd_);
        host::ResetD3D();
        HeadlessTest::TearDown();
    }

    host::Surface* MakeSurface(uint32_t caps, int width, int height, host::PixelFormat format) {
        host::Surface* s = nullptr;
        EXPECT_EQ(host::DDCreateSurface(dd_, {caps, width, height, 0, true, format}, &s), host::DD_OK);
        if (s) surfaces_.push_back(s);
        return s;
    }

    // A texture of random texels (some on the colour key), keyed or not.
    host::D3DTexture* MakeTexture(std::mt19937& rng, int width, int height, host::PixelFormat format, bool keyed) {
        host::Surface* s = MakeSurface(host::DDSCAPS_TEXTURE, width, height, format);
        uint8_t* pixels = nullptr;
        int pitch = 0;
        EXPECT_EQ(host::SurfaceLock(s, host::DDLOCK_WAIT, &pixels, &pitch), host::DD_OK);
        int bytes = format.bits == 8 ? 1 : 2;
        uint32_t key = format.bits == 8 ? 0 : 0x07E0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint32_t v = rng() % 5 == 0 ? key : rng();
                for (int b = 0; b < bytes; ++b) pixels[y * pitch + x * bytes + b] = uint8_t(v >> (8 * b));
            }
        host::SurfaceUnlock(s);
        if (format.bits == 8) {
            host::PaletteEntry entries[256];
            for (auto& e : entries) e = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
            host::Palette* p = host::DDCreatePalette(dd_, host::DDPCAPS_8BIT | host::DDPCAPS_ALLOW256, entries);
            palettes_.push_back(p);
            host::SurfaceSetPalette(s, p);
        }
        if (keyed) host::SurfaceSetColourKey(s, key, key);
        host::D3DTexture* t = host::D3DTextureFromSurface(s);
        textures_.push_back(t);
        return t;
    }

    static float Coordinate(std::mt19937& rng, float extent) {
        switch (rng() % 16) {
        case 0: return float(int(rng() % uint32_t(extent)));  // on a pixel corner
        case 1: return float(int(rng() % uint32_t(extent))) + 0.5f;  // through pixel centres
        case 2: return (rng() % 2 ? 1.0f : -1.0f) * float(1e6 + rng() % 10000000);  // far off: clipped
        default: return std::uniform_real_distribution<float>(-0.2f * extent, 1.2f * extent)(rng);
        }
    }

    static TLVertex RandomVertex(std::mt19937& rng) {
        std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(-3.0f, 3.0f);
        TLVertex v;
        v.sx = Coordinate(rng, kWidth);
        v.sy = Coordinate(rng, kHeight);
        v.sz = std::uniform_real_distribution<float>(-0.2f, 1.2f)(rng);
        v.rhw = rng() % 20 == 0 ? 0.0f : std::uniform_real_distribution<float>(0.02f, 2.0f)(rng);
        v.diffuse = rng() % 3 == 0 ? 0xFFFFFFFFu : uint32_t(rng());
        v.specular = uint32_t(rng());
        v.tu = rng() % 30 == 0 ? std::numeric_limits<float>::quiet_NaN() : wide(rng);
        v.tv = rng() % 30 == 0 ? 1e30f : wide(rng);
        return v;
    }

    void RandomStates(std::mt19937& rng, host::D3DDevice* d, const std::vector<host::D3DTexture*>& textures) {
        auto pick = [&](std::initializer_list<uint32_t> values) { return values.begin()[rng() % values.size()]; };
        using namespace host;
        D3DSetRenderState(d, D3DRS_ZENABLE, rng() % 6 != 0);
        D3DSetRenderState(d, D3DRS_ZWRITEENABLE, rng() % 4 != 0);
        D3DSetRenderState(d, D3DRS_ZFUNC, 1 + rng() % 8);
        D3DSetRenderState(d, D3DRS_CULLMODE, pick({D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW}));
        D3DSetRenderState(d, D3DRS_SHADEMODE, rng() % 4 ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
        D3DSetRenderState(d, D3DRS_DITHERENABLE, rng() % 2);
        D3DSetRenderState(d, D3DRS_ALPHABLENDENABLE, rng() % 2);
        uint32_t factors[] = {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 3};
        D3DSetRenderState(d, D3DRS_SRCBLEND, factors[rng() % 5]);
        D3DSetRenderState(d, D3DRS_DESTBLEND, factors[rng() % 5]);
        D3DSetRenderState(d, D3DRS_COLORKEYENABLE, rng() % 2);
        D3DSetRenderState(d, D3DRS_TEXTUREPERSPECTIVE, rng() % 4 != 0);
        D3DSetRenderState(d, D3DRS_SPECULARENABLE, rng() % 8 == 0);
        D3DSetRenderState(d, D3DRS_ALPHATESTENABLE, rng() % 8 == 0);
        D3DSetRenderState(d, D3DRS_ALPHAFUNC, 1 + rng() % 8);
        D3DSetRenderState(d, 24, rng() % 256);
        D3DSetTextureStageState(d, 0, D3DTSS_COLOROP,
                                pick({D3DTOP_MODULATE, D3DTOP_MODULATE, D3DTOP_SELECTARG1, D3DTOP_SELECTARG2,
                                      D3DTOP_BLENDTEXTUREALPHA, D3DTOP_DISABLE}));
        D3DSetTextureStageState(d, 0, D3DTSS_COLORARG1, pick({D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_CURRENT}));
        D3DSetTextureStageState(d, 0, D3DTSS_COLORARG2, pick({D3DTA_TEXTURE, D3DTA_DIFFUSE}));
        D3DSetTextureStageState(d, 0, D3DTSS_ALPHAOP,
                                pick({D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTOP_BLENDTEXTUREALPHA,
                                      D3DTOP_DISABLE}));
        D3DSetTextureStageState(d, 0, D3DTSS_ALPHAARG1, pick({D3DTA_TEXTURE, D3DTA_DIFFUSE}));
        D3DSetTextureStageState(d, 0, D3DTSS_ALPHAARG2, pick({D3DTA_TEXTURE, D3DTA_DIFFUSE}));
        D3DSetTextureStageState(d, 0, D3DTSS_MAGFILTER, rng() % 2 ? D3DTFG_LINEAR : D3DTFG_POINT);
        if (rng() % 3 == 0) D3DSetRenderState(d, D3DRS_TEXTUREMAPBLEND, rng() % 2 ? D3DTBLEND_DECAL : D3DTBLEND_MODULATE);
        size_t choice = rng() % (textures.size() + 1);
        D3DSetTexture(d, 0, choice < textures.size() ? textures[choice] : nullptr);
        D3DSetViewport(d, int(rng() % 20), int(rng() % 20), kWidth - int(rng() % 40), kHeight - int(rng() % 40),
                       0.0f, rng() % 4 ? 1.0f : 0.5f);
    }

    // The state most draws are in, with one of the textures (point
    // sampling with perspective, z less-or-equal, no blending, dithering or
    // colour key, the texture modulated by the diffuse colour); the other
    // states as RandomStates left them.
    static void CommonStates(std::mt19937& rng, host::D3DDevice* d, const std::vector<host::D3DTexture*>& textures) {
        using namespace host;
        D3DSetRenderState(d, D3DRS_ZENABLE, 1);
        D3DSetRenderState(d, D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        D3DSetRenderState(d, D3DRS_DITHERENABLE, 0);
        D3DSetRenderState(d, D3DRS_ALPHABLENDENABLE, 0);
        D3DSetRenderState(d, D3DRS_COLORKEYENABLE, 0);
        D3DSetRenderState(d, D3DRS_TEXTUREPERSPECTIVE, 1);
        D3DSetRenderState(d, D3DRS_SPECULARENABLE, 0);
        D3DSetRenderState(d, D3DRS_ALPHATESTENABLE, 0);
        D3DSetTextureStageState(d, 0, D3DTSS_MAGFILTER, D3DTFG_POINT);
        D3DSetTextureStageState(d, 0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        bool textureFirst = rng() % 2;
        D3DSetTextureStageState(d, 0, D3DTSS_COLORARG1, textureFirst ? D3DTA_TEXTURE : D3DTA_DIFFUSE);
        D3DSetTextureStageState(d, 0, D3DTSS_COLORARG2, textureFirst ? D3DTA_DIFFUSE : D3DTA_TEXTURE);
        D3DSetTexture(d, 0, textures[rng() % textures.size()]);
    }

    // Draws the scene of `seed` on a fresh target of that format; answers
    // the colour and depth bytes.  common: most draws are in CommonStates'
    // state.
    std::vector<uint8_t> Draw(uint32_t seed, host::PixelFormat format, bool plain, int threads, bool narrow = false,
                              bool common = false) {
        host::D3DConfig().referenceRaster = plain;
        host::D3DConfig().narrowFastRaster = narrow;
        host::D3DConfig().rasterThreads = threads;
        std::mt19937 rng(seed);
        host::Surface* target = MakeSurface(host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE, kWidth, kHeight, format);
        host::Surface* z = MakeSurface(host::DDSCAPS_ZBUFFER, kWidth, kHeight, {16, 0, 0, 0, 0});
        EXPECT_EQ(host::SurfaceAttachZBuffer(target, z), host::DD_OK);
        host::D3DDevice* d = host::D3DCreateDevice(d3d_, 0, target);
        std::vector<host::D3DTexture*> textures = {
            MakeTexture(rng, 16, 16, host::kFormat565, rng() % 2),
            MakeTexture(rng, 32, 8, {16, 0x7C00, 0x03E0, 0x001F, 0x8000}, rng() % 2),
            MakeTexture(rng, 8, 8, {16, 0x0F00, 0x00F0, 0x000F, 0xF000}, rng() % 2),
            MakeTexture(rng, 16, 32, {8, 0, 0, 0, 0}, rng() % 2),
            MakeTexture(rng, 12, 10, host::kFormat565, rng() % 2),  // sides that are not powers of two
        };
        host::D3DClear(d, nullptr, host::D3DCLEAR_TARGET | host::D3DCLEAR_ZBUFFER, rng(), 0.75f);
        for (int batch = 0; batch < 12; ++batch) {
            host::D3DBeginScene(d);
            for (int call = 0; call < 6; ++call) {
                RandomStates(rng, d, textures);
                if (common && rng() % 4 != 0) CommonStates(rng, d, textures);
                std::vector<TLVertex> v;
                int triangles = 1 + int(rng() % 12);
                for (int i = 0; i < 3 * triangles; ++i) v.push_back(RandomVertex(rng));
                EXPECT_EQ(host::D3DDrawPrimitive(d, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, v.data(),
                                                 int(v.size()), 0),
                          host::DD_OK);
            }
            if (rng() % 4 == 0) {
                host::Rect r{int(rng() % kWidth), int(rng() % kHeight), int(rng() % kWidth), int(rng() % kHeight)};
                host::D3DClear(d, &r, host::D3DCLEAR_ZBUFFER, 0, 1.0f);
            }
            host::D3DEndScene(d);
        }
        std::vector<uint8_t> out;
        for (host::Surface* s : {target, z}) {
            uint8_t* p = nullptr;
            int pitch = 0;
            EXPECT_EQ(host::SurfaceLock(s, host::DDLOCK_WAIT, &p, &pitch), host::DD_OK);
            out.insert(out.end(), p, p + size_t(pitch) * kHeight);
            host::SurfaceUnlock(s);
        }
        host::D3DDeviceRelease(d);
        return out;
    }

    host::DDraw* dd_ = nullptr;
    host::D3D* d3d_ = nullptr;
    std::vector<host::Surface*> surfaces_;
    std::vector<host::D3DTexture*> textures_;
    std::vector<host::Palette*> palettes_;
};

TEST_F(D3DTwinTest, FastDrawingOnThreadsMatchesThePlainDrawing) {
    for (uint32_t seed = 1; seed <= kScenes; ++seed) {
        host::PixelFormat format = seed % 3 == 0 ? host::kFormat555 : host::kFormat565;
        std::vector<uint8_t> plain = Draw(seed, format, true, 1);
        // The fast routines' builds in turn (the same one where the processor
        // has only AVX2).
        std::vector<uint8_t> fast = Draw(seed, format, false, 1 + int(seed % 5), seed % 2 == 0);
        ASSERT_EQ(plain.size(), fast.size());
        size_t differ = 0, first = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            if (plain[i] != fast[i] && differ++ == 0) first = i;
        EXPECT_EQ(differ, 0u) << "seed " << seed << ": first difference at byte " << first << " of "
                              << (first < plain.size() / 2 ? "colour" : "depth");
        // Something was drawn at all.
        size_t changed = 0;
        for (size_t i = 1; i < plain.size() / 2; ++i) changed += plain[i] != plain[i - 1];
        EXPECT_GT(changed, 100u) << "seed " << seed;
    }
}

// The state most draws are in has fast routines of its own; they too must
// draw what the plain routines draw (white and shaded diffuse colours,
// textures of every format, wide spans, the triangle clipped to the guard
// band, several threads or one).
TEST_F(D3DTwinTest, FastDrawingInTheCommonStateMatchesThePlainDrawing) {
    struct Case {
        uint32_t seed;
        host::PixelFormat format;
        int threads;
        bool narrow;
    };
    const Case cases[] = {
        {101, host::kFormat565, 1, false}, {102, host::kFormat565, 3, false}, {103, host::kFormat555, 1, false},
        {104, host::kFormat565, 1, true},  {105, host::kFormat555, 4, true},  {106, host::kFormat565, 2, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> plain = Draw(c.seed, c.format, true, 1, false, true);
        std::vector<uint8_t> fast = Draw(c.seed, c.format, false, c.threads, c.narrow, true);
        ASSERT_EQ(plain.size(), fast.size());
        size_t differ = 0, first = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            if (plain[i] != fast[i] && differ++ == 0) first = i;
        EXPECT_EQ(differ, 0u) << "seed " << c.seed << ": first difference at byte " << first << " of "
                              << (first < plain.size() / 2 ? "colour" : "depth");
        size_t changed = 0;
        for (size_t i = 1; i < plain.size() / 2; ++i) changed += plain[i] != plain[i - 1];
        EXPECT_GT(changed, 100u) << "seed " << c.seed;
    }
}

}  // namespace

namespace {

// The video player's presentation thread locks, fills, blits and releases
// surfaces of its own while the program draws: each of those first finishes
// the 3D device's queued drawing, from that thread.  The scenes drawn
// meanwhile (on the device's worker threads) must come out as drawn alone.
class D3DThreadsTest : public D3DTwinTest {};

TEST_F(D3DThreadsTest, SurfacesUsedFromAnotherThreadWhileDrawing) {
    std::vector<std::vector<uint8_t>> alone;
    for (uint32_t seed = 1; seed <= 3; ++seed) alone.push_back(Draw(seed, host::kFormat565, false, 3));
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::thread player([&] {
        while (!stop.load()) {
            host::Surface* frame = nullptr;
            host::Surface* shown = nullptr;
            if (host::DDCreateSurface(dd_, {host::DDSCAPS_OFFSCREENPLAIN, 64, 48, 0, true, host::kFormat565}, &frame) !=
                    host::DD_OK ||
                host::DDCreateSurface(dd_, {host::DDSCAPS_OFFSCREENPLAIN, 64, 48, 0, true, host::kFormat565}, &shown) !=
                    host::DD_OK)
                break;
            uint8_t* p = nullptr;
            int pitch = 0;
            if (host::SurfaceLock(frame, host::DDLOCK_WAIT, &p, &pitch) == host::DD_OK) {
                std::memset(p, rounds.load() & 255, size_t(pitch) * 48);
                host::SurfaceUnlock(frame);
            }
            host::SurfaceBlt(shown, nullptr, frame, nullptr, 0, 0);
            host::SurfaceRelease(shown);
            host::SurfaceRelease(frame);
            ++rounds;
        }
    });
    while (rounds.load() == 0) std::this_thread::yield();
    for (uint32_t seed = 1; seed <= 3; ++seed)
        EXPECT_EQ(Draw(seed, host::kFormat565, false, 3), alone[seed - 1]) << "seed " << seed;
    stop = true;
    player.join();
    EXPECT_GT(rounds.load(), 0);
}

}  // namespace
