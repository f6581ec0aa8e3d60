#include "bench/bench_ratio.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

double MemcpyFrameSeconds() {
    static const double seconds = [] {
        const size_t n = size_t(kFramePixels);
        std::vector<uint16_t> from(n, 0x1234), to(n);
        std::vector<double> times;
        for (int i = 0; i < 301; ++i) {
            LoopClock clock;
            std::memcpy(to.data(), from.data(), from.size() * 2);
            benchmark::ClobberMemory();
            times.push_back(clock.Seconds());
        }
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        return times[times.size() / 2];
    }();
    return seconds;
}

void ReportFrameRatio(benchmark::State& state, double loopSeconds, double goalMemcpys) {
    double perIteration = state.iterations() ? loopSeconds / double(state.iterations()) : 0;
    double memcpys = perIteration / MemcpyFrameSeconds();
    state.counters["memcpys"] = memcpys;
    if (goalMemcpys <= 0) return;
    state.counters["goal_memcpys"] = goalMemcpys;
    if (memcpys > goalMemcpys)
        state.SetLabel("over its goal by " + std::to_string(int((memcpys / goalMemcpys - 1) * 100 + 0.5)) + "%");
}

void ReportPixelRatio(benchmark::State& state, double loopSeconds, double pixelsPerIteration, double goalFraction) {
    double rate = loopSeconds > 0 ? pixelsPerIteration * double(state.iterations()) / loopSeconds : 0;
    state.counters["of_memcpy"] = rate / (kFramePixels / MemcpyFrameSeconds());
    state.counters["goal_of_memcpy"] = goalFraction;
}

}  // namespace bench
