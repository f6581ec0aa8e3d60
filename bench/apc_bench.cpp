// The APC codec: decoding and encoding throughput in bytes of 16-bit PCM
// per second.  The player decodes at most 66150 Hz stereo, 264,600 bytes a
// second; the goal is a decoder at least 100x faster than that, so the sound
// thread's share of a core stays under 1%.
#include "media/apc.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

std::vector<int16_t> Tone(size_t samples) {
    std::vector<int16_t> pcm(samples);
    for (size_t i = 0; i < samples; ++i) pcm[i] = int16_t(12000 * std::sin(double(i) * 0.07) + (i * 7919 % 601) - 300);
    return pcm;
}

void BM_ApcDecode(benchmark::State& state) {
    Adpcm_Init(kAdpcmLibraryVersion);
    bool stereo = state.range(0) == 2;
    std::vector<int16_t> pcm = Tone(1 << 18);
    int32_t size = int32_t(pcm.size() * 2);
    std::vector<uint8_t> image(static_cast<size_t>(size / 4 + 33));
    Adpcm_EncodeBuffer(pcm.data(), size, image.data(), size / 4 + 33, 22050, stereo);
    std::vector<int16_t> out(pcm.size());
    for (auto _ : state) {
        AdpcmDecodeState s;
        Adpcm_DecodeStart(image.data(), &s);
        int16_t* o = out.data();
        int32_t missing;
        // In the sound thread's pieces: 1/32 of a 23520-byte chunk's output.
        while (s.remaining > 0) Adpcm_Decode(&o, &s, 1470, &missing);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pcm.size() * 2));
}
BENCHMARK(BM_ApcDecode)->Arg(1)->Arg(2);

void BM_ApcEncode(benchmark::State& state) {
    Adpcm_Init(kAdpcmLibraryVersion);
    std::vector<int16_t> pcm = Tone(1 << 18);
    int32_t size = int32_t(pcm.size() * 2), imageSize = size / 4 + 33;
    std::vector<uint8_t> image(static_cast<size_t>(imageSize));
    for (auto _ : state) {
        Adpcm_EncodeBuffer(pcm.data(), size, image.data(), imageSize, 22050, 0);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}
BENCHMARK(BM_ApcEncode);

}  // namespace
