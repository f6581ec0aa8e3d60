// Blits of a 640 x 480 picture onto a 640 x 480 5-6-5 screen in memory:
// opaque (slot 2), keyed (slot 1) and the half blend (slot 4), in pixels
// per second, beside a memcpy of the same 614,400 bytes between the same
// two buffers.  Goals: the opaque blit within 2x of memcpy, keyed and
// blended within 4x.  The picture holds a quarter transparent pixels and a
// few white ones, so the keyed and blended rules take every branch.
#include "platform/display/blit.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;

struct Scene {
    std::vector<uint16_t> frame, pixels;
    Picture picture{};

    Scene() : frame(size_t(kWidth) * kHeight), pixels(size_t(kWidth) * kHeight) {
        ScreenStateRecord& s = ScreenState;
        s = ScreenStateRecord{};
        SetScreenGeometry(kWidth, kHeight, 16);
        s.redSize = 5;
        s.redShift = 11;
        s.greenSize = 6;
        s.greenShift = 5;
        s.blueSize = 5;
        s.blueShift = 0;
        s.halvingMask = 0xF7DE;
        SelectDrawTables();
        s.frameBuffer = reinterpret_cast<uint8_t*>(frame.data());
        std::mt19937 rng(7);
        for (uint16_t& p : pixels) {
            uint32_t r = rng();
            p = (r & 3) == 0 ? 0 : (r & 0xFF00) == 0 ? 0xFFFF : uint16_t(r >> 16);
        }
        for (uint16_t& p : frame) p = uint16_t(rng());
        picture = Picture{kWidth, kHeight, reinterpret_cast<uint8_t*>(pixels.data()), nullptr};
        g_TransparentColour = 0;
        g_DrawColour = 0x1234;
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void RunSlot(benchmark::State& state, int slot) {
    Scene& scene = TheScene();
    ScreenState.frameBuffer = reinterpret_cast<uint8_t*>(scene.frame.data());
    for (auto _ : state) {
        ActiveBlitTable.modes[slot](0, 0, &scene.picture);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight * 2);
}

void BM_Memcpy640x480x16(benchmark::State& state) {
    Scene& scene = TheScene();
    for (auto _ : state) {
        std::memcpy(scene.frame.data(), scene.pixels.data(), scene.pixels.size() * 2);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight * 2);
}

void BM_BlitOpaque16(benchmark::State& state) {
    RunSlot(state, 2);
}

void BM_BlitKeyed16(benchmark::State& state) {
    RunSlot(state, 1);
}

void BM_BlitHalfBlend16(benchmark::State& state) {
    RunSlot(state, 4);
}

}  // namespace

BENCHMARK(BM_Memcpy640x480x16);
BENCHMARK(BM_BlitOpaque16);
BENCHMARK(BM_BlitKeyed16);
BENCHMARK(BM_BlitHalfBlend16);
