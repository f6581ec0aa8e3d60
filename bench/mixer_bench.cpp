// The sound mixer's cost per output frame of 16-bit stereo at 44100 Hz with
// 8, 20 and 32 voices playing: at the output's rate, resampled from other
// rates, and as 3D voices panned from their positions.  The goal is 20
// voices in under 1% of one core: under 227 ns per output frame.  The
// "core%" counter is the share of one core the mix takes in real time, in
// percent (the library prints it with its time unit, "s").
#include "host/headless/headless.h"
#include "host/sound.h"
#include "host/sound_internal.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

enum Kind { kSameRate = 0, kResampled = 1, k3d = 2 };

struct Scene {
    host::SoundDevice* device = nullptr;
    host::SoundBuffer* primary = nullptr;
    host::SoundListener* listener = nullptr;
    std::vector<host::SoundBuffer*> buffers;
    std::vector<host::Sound3dBuffer*> buffers3d;

    Scene(int voices, Kind kind) {
        host::Start(host::BackendKind::Headless, nullptr);
        host::SoundCreate(nullptr, &device);
        host::SoundSetCooperativeLevel(device, nullptr, host::DSSCL_EXCLUSIVE);
        host::SoundBufferDesc p{20, host::DSBCAPS_PRIMARYBUFFER | host::DSBCAPS_CTRL3D, 0, 0, nullptr};
        host::SoundCreateBuffer(device, &p, &primary);
        host::WaveFormat out{1, 2, 44100, 176400, 4, 16};
        host::SoundBufferSetFormat(primary, &out);
        host::SoundBufferQueryListener(primary, &listener);
        host::SoundListenerSetRolloffFactor(listener, 0, host::DS3D_IMMEDIATE);
        uint32_t x = 12345;
        for (int v = 0; v < voices; ++v) {
            // One second of 16-bit mono noise, looping.
            uint32_t rate = kind == kResampled ? 11025 + 3000 * uint32_t(v % 8) : 44100;
            host::WaveFormat f{1, 1, rate, rate * 2, 2, 16};
            uint32_t caps = kind == k3d ? host::DSBCAPS_CTRL3D | host::DSBCAPS_CTRLFREQUENCY
                                        : host::DSBCAPS_CTRLVOLUME | host::DSBCAPS_CTRLPAN | host::DSBCAPS_CTRLFREQUENCY;
            host::SoundBufferDesc d{20, caps, rate * 2, 0, &f};
            host::SoundBuffer* b = nullptr;
            host::SoundCreateBuffer(device, &d, &b);
            void *p1, *p2;
            uint32_t n1, n2;
            host::SoundBufferLock(b, 0, rate * 2, &p1, &n1, &p2, &n2, 0);
            auto* bytes = static_cast<uint8_t*>(p1);
            for (uint32_t i = 0; i < n1; ++i) bytes[i] = uint8_t((x = x * 1103515245u + 12345u) >> 16);
            host::SoundBufferUnlock(b, p1, n1, p2, n2);
            if (kind == k3d) {
                host::Sound3dBuffer* b3 = nullptr;
                host::SoundBufferQuery3d(b, &b3);
                host::Sound3dBufferSetPosition(b3, float(v % 7) - 3, 0, float(v % 5) + 1, host::DS3D_IMMEDIATE);
                buffers3d.push_back(b3);
            } else {
                host::SoundBufferSetVolume(b, -100 * (v % 10));
                host::SoundBufferSetPan(b, 300 * (v % 7) - 900);
            }
            host::SoundBufferPlay(b, 0, 0, host::DSBPLAY_LOOPING);
            buffers.push_back(b);
        }
    }
    ~Scene() {
        for (host::Sound3dBuffer* b : buffers3d) host::Sound3dBufferRelease(b);
        for (host::SoundBuffer* b : buffers) host::SoundBufferRelease(b);
        host::SoundListenerRelease(listener);
        host::SoundBufferRelease(primary);
        host::SoundRelease(device);
        host::Stop();
    }
};

void BM_Mix(benchmark::State& state) {
    Scene scene(int(state.range(0)), Kind(state.range(1)));
    constexpr uint32_t kFrames = 1024;
    std::vector<int16_t> out(kFrames * 2);
    for (auto _ : state) {
        host::detail::SoundMix(out.data(), kFrames);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
    // Seconds of work per second of sound, in percent of one core.
    state.counters["core%"] = benchmark::Counter(double(state.iterations()) * kFrames / 44100.0 / 100.0,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_Mix)
    ->ArgNames({"voices", "kind"})
    ->ArgsProduct({{8, 20, 32}, {kSameRate, kResampled, k3d}})
    ->Unit(benchmark::kMicrosecond);
