// Software rasteriser throughput.
//
// Fill: a 640 x 480 5-6-5 target covered by a grid of 32 x 32 quads with a
// 256 x 256 5-6-5 texture, perspective-correct and z-tested (every pixel
// passes and writes z), Gouraud-shaded, with point and bilinear filtering,
// plus an untextured variant; and the game's own opaque form (a flat white
// diffuse colour, as its textured groups draw).  Each iteration clears the
// z-buffer, covers the whole target once, ends the scene and locks the
// target, which makes the pixels.  Rates are pixels per second of wall
// time, on the device's threads ("threads" 0: one per processor) and on one
// thread.
//
// The point-sampled fills report their rate as a fraction of the frame
// memcpy's pixel rate (bench_ratio.h) beside the goal: at least 1/60 on one
// thread.
//
// Calls: 16384 triangles of 18 pixels each (6 x 6 cells cut in two), drawn
// by one call, or by one call each.
#include "bench/bench_ratio.h"
#include "host/d3d.h"
#include "host/display.h"
#include "host/host.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480, kCell = 32, kTexture = 256;
// The least rate of the point-sampled fill, as a fraction of memcpy's.
constexpr double kPointFillGoal = 1.0 / 60.0;

bool StartHost() {
    static const bool started = host::Start(host::BackendKind::Headless, nullptr);
    return started;
}

// A receding plane: 1/w falls from 1 at the left edge to 0.25 at the right.
float Rhw(float x) {
    return 1.0f / (1.0f + 3.0f * x / kWidth);
}

// The diffuse colour shades across the screen, so every triangle is
// Gouraud-interpolated (and modulates the texture); or flat white.
host::TLVertex Vertex(float x, float y, float u, float v, bool white) {
    uint32_t red = uint32_t(x * 255.0f / kWidth), green = uint32_t(y * 255.0f / kHeight);
    uint32_t diffuse = white ? 0xFFFFFFFFu : 0xFF000080u | (red << 16) | (green << 8);
    return {x, y, 0.5f, Rhw(x), diffuse, 0, u, v};
}

std::vector<host::TLVertex> Grid(bool white) {
    std::vector<host::TLVertex> out;
    for (int y = 0; y < kHeight; y += kCell) {
        for (int x = 0; x < kWidth; x += kCell) {
            float x0 = float(x), y0 = float(y), x1 = float(x + kCell), y1 = float(y + kCell);
            host::TLVertex a = Vertex(x0, y0, 0, 0, white), b = Vertex(x1, y0, 1, 0, white);
            host::TLVertex c = Vertex(x1, y1, 1, 1, white), d = Vertex(x0, y1, 0, 1, white);
            out.insert(out.end(), {a, b, c, a, c, d});  // clockwise on the screen
        }
    }
    return out;
}

// 16384 triangles of 18 pixels: 6 x 6 cells, each cut along a diagonal.
std::vector<host::TLVertex> SmallTriangles() {
    std::vector<host::TLVertex> out;
    for (int y = 0; y + 6 <= kHeight && out.size() < 16384 * 3; y += 6) {
        for (int x = 0; x + 6 <= kWidth && out.size() < 16384 * 3; x += 6) {
            float x0 = float(x), y0 = float(y), x1 = float(x + 6), y1 = float(y + 6);
            float u0 = x0 / kWidth, u1 = x1 / kWidth, v0 = y0 / kHeight, v1 = y1 / kHeight;
            host::TLVertex a = Vertex(x0, y0, u0, v0, true), b = Vertex(x1, y0, u1, v0, true);
            host::TLVertex c = Vertex(x1, y1, u1, v1, true), d = Vertex(x0, y1, u0, v1, true);
            out.insert(out.end(), {a, b, c, a, c, d});
        }
    }
    out.resize(16384 * 3);
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

    // Locking the target finishes the queued drawing: the pixels are made.
    void Finish() {
        uint8_t* pixels = nullptr;
        int pitch = 0;
        if (host::SurfaceLock(target, host::DDLOCK_WAIT, &pixels, &pitch) == host::DD_OK) {
            benchmark::DoNotOptimize(pixels);
            host::SurfaceUnlock(target);
        }
    }

    ~Scene() {
        host::D3DDeviceRelease(device);
        host::D3DTextureRelease(texture);
        host::D3DRelease(d3d);
        if (texels) host::SurfaceRelease(texels);
        if (z) host::SurfaceRelease(z);
        if (target) host::SurfaceRelease(target);
        if (dd) host::DDRelease(dd);
        host::ResetD3D();
    }
};

enum Fill { kPoint, kBilinear, kUntextured, kWhitePoint };

void RunGrid(benchmark::State& state, Fill fill) {
    if (!StartHost()) {
        state.SkipWithError("the headless host could not be started");
        return;
    }
    host::D3DConfig().rasterThreads = int(state.range(0));
    Scene scene;
    if (!scene.Open()) {
        state.SkipWithError("the headless display or 3D device could not be opened");
        return;
    }
    if (fill != kUntextured) host::D3DSetTexture(scene.device, 0, scene.texture);
    host::D3DSetTextureStageState(scene.device, 0, host::D3DTSS_MAGFILTER,
                                  fill == kBilinear ? host::D3DTFG_LINEAR : host::D3DTFG_POINT);
    const std::vector<host::TLVertex> grid = Grid(fill == kWhitePoint);
    int64_t pixels = 0;
    bench::MemcpyFrameSeconds();  // measured before the loop's clock starts
    bench::LoopClock clock;
    for (auto _ : state) {
        host::D3DBeginScene(scene.device);
        host::D3DClear(scene.device, nullptr, host::D3DCLEAR_ZBUFFER, 0, 1.0f);
        int rc = host::D3DDrawPrimitive(scene.device, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, grid.data(),
                                        int(grid.size()), 0);
        host::D3DEndScene(scene.device);
        scene.Finish();
        benchmark::DoNotOptimize(rc);
        pixels += int64_t(kWidth) * kHeight;
    }
    double seconds = clock.Seconds();
    host::D3DSetTexture(scene.device, 0, nullptr);
    state.counters["pixels/s"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsRate);
    if (fill == kPoint || fill == kWhitePoint)
        bench::ReportPixelRatio(state, seconds, double(kWidth) * kHeight, kPointFillGoal);
}

void BM_RasterTexturedPoint(benchmark::State& state) {
    RunGrid(state, kPoint);
}

void BM_RasterTexturedBilinear(benchmark::State& state) {
    RunGrid(state, kBilinear);
}

void BM_RasterGouraud(benchmark::State& state) {
    RunGrid(state, kUntextured);
}

void BM_RasterTexturedWhitePoint(benchmark::State& state) {
    RunGrid(state, kWhitePoint);
}

// 16384 small textured triangles, z-tested: range(0) 1 for one call each,
// 0 for one call drawing them all.
void BM_RasterSmallTriangles(benchmark::State& state) {
    if (!StartHost()) {
        state.SkipWithError("the headless host could not be started");
        return;
    }
    host::D3DConfig().rasterThreads = int(state.range(1));
    Scene scene;
    if (!scene.Open()) {
        state.SkipWithError("the headless display or 3D device could not be opened");
        return;
    }
    host::D3DSetTexture(scene.device, 0, scene.texture);
    const std::vector<host::TLVertex> triangles = SmallTriangles();
    bool separate = state.range(0) != 0;
    for (auto _ : state) {
        host::D3DBeginScene(scene.device);
        host::D3DClear(scene.device, nullptr, host::D3DCLEAR_ZBUFFER, 0, 1.0f);
        if (separate) {
            for (size_t i = 0; i < triangles.size(); i += 3)
                host::D3DDrawPrimitive(scene.device, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, &triangles[i], 3,
                                       0);
        } else {
            host::D3DDrawPrimitive(scene.device, host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, triangles.data(),
                                   int(triangles.size()), 0);
        }
        host::D3DEndScene(scene.device);
        scene.Finish();
    }
    host::D3DSetTexture(scene.device, 0, nullptr);
    state.counters["triangles/s"] =
        benchmark::Counter(double(state.iterations()) * 16384.0, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_RasterTexturedPoint)->Arg(0)->Arg(1)->Arg(2)->Arg(4)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RasterTexturedBilinear)->Arg(0)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RasterGouraud)->Arg(0)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RasterTexturedWhitePoint)->Arg(0)->Arg(1)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RasterSmallTriangles)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->ArgNames({"separate", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
