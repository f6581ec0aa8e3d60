// Software rasteriser throughput: a 640 x 480 5-6-5 target covered by a
// grid of 32 x 32 quads with a 256 x 256 5-6-5 texture, perspective-correct
// and z-tested (every pixel passes and writes z), Gouraud-shaded, with point
// and bilinear filtering, plus an untextured variant.  Each iteration clears the
// z-buffer and covers the whole target once.
#include "host/d3d.h"
#include "host/display.h"
#include "host/host.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480, kCell = 32, kTexture = 256;

bool StartHost() {
    static const bool started = host::Start(host::BackendKind::Headless, nullptr);
    return started;
}

// A receding plane: 1/w falls from 1 at the left edge to 0.25 at the right.
float Rhw(float x) {
    return 1.0f / (1.0f + 3.0f * x / kWidth);
}

// The diffuse colour shades across the screen, so every triangle is
// Gouraud-interpolated (and modulates the texture).
host::TLVertex Vertex(float x, float y, float u, float v) {
    uint32_t red = uint32_t(x * 255.0f / kWidth), green = uint32_t(y * 255.0f / kHeight);
    return {x, y, 0.5f, Rhw(x), 0xFF000080u | (red << 16) | (green << 8), 0, u, v};
}

std::vector<host::TLVertex> Grid() {
    std::vector<host::TLVertex> out;
    for (int y = 0; y < kHeight; y += kCell) {
        for (int x = 0; x < kWidth; x += kCell) {
            float x0 = float(x), y0 = float(y), x1 = float(x + kCell), y1 = float(y + kCell);
            host::TLVertex a = Vertex(x0, y0, 0, 0), b = Vertex(x1, y0, 1, 0);
            host::TLVertex c = Vertex(x1, y1, 1, 1), d = Vertex(x0, y1, 0, 1);
            out.insert(out.end(), {a, b, c, a, c, d});  // clockwise on the screen
        }
    }
    return out;
}

struct Scene {
    host::DDraw* dd = nullptr;
    host::Surface* target = nullptr;
    host::Surface* z = nullptr;
    host::Surface* texels = nullptr;
    host::D3D* d3d = nullptr;
    host::D3DDevice* device = nullptr;
    host::D3DTexture* texture = nullptr;

    bool Open() {
        dd = host::DDCreate(0);
        if (!dd || host::DDSetCooperativeLevel(dd, nullptr, host::DDSCL_NORMAL) != host::DD_OK) return false;
        uint32_t targetCaps = host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE;
        if (host::DDCreateSurface(dd, {targetCaps, kWidth, kHeight, 0, true, host::kFormat565}, &target) != host::DD_OK ||
            host::DDCreateSurface(dd, {host::DDSCAPS_ZBUFFER, kWidth, kHeight, 0, true, {16, 0, 0, 0, 0}}, &z) !=
                host::DD_OK ||
            host::DDCreateSurface(dd, {host::DDSCAPS_TEXTURE, kTexture, kTexture, 0, true, host::kFormat565},
                                  &texels) != host::DD_OK)
            return false;
        FillTexture();
        if (host::SurfaceAttachZBuffer(target, z) != host::DD_OK) return false;
        d3d = host::D3DCreate(dd);
        device = d3d ? host::D3DCreateDevice(d3d, 0, target) : nullptr;
        texture = host::D3DTextureFromSurface(texels);
        return device && texture;
    }

    // A checker of two colours with a gradient, so neighbouring texels differ.
    void FillTexture() {
        uint8_t* pixels = nullptr;
        int pitch = 0;
        if (host::SurfaceLock(texels, host::DDLOCK_WAIT, &pixels, &pitch) != host::DD_OK) return;
        for (int y = 0; y < kTexture; ++y) {
            for (int x = 0; x < kTexture; ++x) {
                uint16_t v = ((x ^ y) & 16) ? uint16_t(((x >> 3) << 11) | ((y >> 2) << 5)) : uint16_t(0x001F);
                pixels[y * pitch + 2 * x] = uint8_t(v);
                pixels[y * pitch + 2 * x + 1] = uint8_t(v >> 8);
            }
        }
        host::SurfaceUnlock(texels);
    }

    ~Scene() {
        host::D3DDeviceRelease(device);
        host::D3DTextureRelease(texture);
        host::D3DRelease(d3d);
        if (texels) host::SurfaceRelease(texels);
        if (z) host::SurfaceRelease(z);
        if (target) host::SurfaceRelease(target);
        if (dd) host::DDRelease(dd);
    }
};

void RunGrid(benchmark::State& state, bool textured, uint32_t filter) {
    Scene scene;
    if (!StartHost() || !scene.Open()) {
        state.SkipWithError("the headless display or 3D device could not be opened");
        return;
    }
    if (textured) host::D3DSetTexture(scene.device, 0, scene.texture);
    host::D3DSetTextureStageState(scene.device, 0, host::D3DTSS_MAGFILTER, filter);
    const std::vector<host::TLVertex> grid = Grid();
    int64_t pixels = 0;
    for (auto _ : state) {
        host::D3DClear(scene.device, nullptr, host::D3DCLEAR_ZBUFFER, 0, 1.0f);
        int rc = host::D3DDrawPrimitive(scene.device, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, grid.data(),
                                        int(grid.size()), 0);
        benchmark::DoNotOptimize(rc);
        pixels += int64_t(kWidth) * kHeight;
    }
    host::D3DSetTexture(scene.device, 0, nullptr);
    state.counters["pixels/s"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsRate);
}

void BM_RasterTexturedPoint(benchmark::State& state) {
    RunGrid(state, true, host::D3DTFG_POINT);
}

void BM_RasterTexturedBilinear(benchmark::State& state) {
    RunGrid(state, true, host::D3DTFG_LINEAR);
}

void BM_RasterGouraud(benchmark::State& state) {
    RunGrid(state, false, host::D3DTFG_POINT);
}

}  // namespace

BENCHMARK(BM_RasterTexturedPoint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterTexturedBilinear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterGouraud)->Unit(benchmark::kMillisecond);
