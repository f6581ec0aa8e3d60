// The project's video codec: the time to decode one 640 x 480 frame,
// key and delta, from the demo intro (the player's budget is the frame time,
// 66.7 ms at 15 frames a second, of which decoding should take a small
// part), and a key frame of noise, all literal pixels: the worst a frame
// can ask.
#include "media/wq6_codec.h"
#include "tools/kit/demo_intro.h"
#include "tools/kit/wq6_writer.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480;

void Run(benchmark::State& state, const std::vector<uint8_t>& frame, const std::vector<uint16_t>& previous, int depth) {
    std::vector<uint16_t> out(size_t(kW) * kH);
    for (auto _ : state) {
        WQ6_DecodeInto(frame.data(), frame.size(), kW, kH, depth, previous.data(), out.data(), kW * 2);
        benchmark::DoNotOptimize(out.data());
    }
    // Time per decoded frame, printed in seconds with a unit prefix.
    state.counters["per_frame"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes"] = double(frame.size());
}

void BM_Wq6KeyFrame(benchmark::State& state) {
    std::vector<uint16_t> key = kit::IntroFrame({}, 16);
    std::vector<uint16_t> previous(key.size(), 0);
    Run(state, kit::EncodeWq6Frame(key.data(), nullptr, kW, kH), previous, int(state.range(0)));
}
BENCHMARK(BM_Wq6KeyFrame)->Arg(16)->Arg(15);

void BM_Wq6DeltaFrame(benchmark::State& state) {
    std::vector<uint16_t> previous = kit::IntroFrame({}, 16), current = kit::IntroFrame({}, 17);
    Run(state, kit::EncodeWq6Frame(current.data(), previous.data(), kW, kH), previous, int(state.range(0)));
}
BENCHMARK(BM_Wq6DeltaFrame)->Arg(16)->Arg(15);

void BM_Wq6NoiseKeyFrame(benchmark::State& state) {
    std::mt19937 rng(5);
    std::vector<uint16_t> noise(size_t(kW) * kH);
    for (uint16_t& p : noise) p = uint16_t(rng());
    std::vector<uint16_t> previous(noise.size(), 0);
    Run(state, kit::EncodeWq6Frame(noise.data(), nullptr, kW, kH), previous, 16);
}
BENCHMARK(BM_Wq6NoiseKeyFrame);

}  // namespace
