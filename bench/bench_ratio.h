// The yardstick the speed goals are measured against: a memcpy of one
// 640 x 480 x 16 frame (614,400 bytes) between two buffers, timed in the
// same run as the benchmark, since absolute speeds differ from machine to
// machine.  A goal is then a ratio: a frame's time in memcpys of a frame,
// or a fill rate as a fraction of memcpy's pixel rate.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

namespace bench {

constexpr int kFrameWidth = 640, kFrameHeight = 480;
constexpr double kFramePixels = double(kFrameWidth) * kFrameHeight;

// Seconds one frame's memcpy takes here: the median of many copies,
// measured once per process on first use.
double MemcpyFrameSeconds();

// Wall time of the loop of a benchmark, for the ratios below.
class LoopClock {
public:
    LoopClock() : start_(std::chrono::steady_clock::now()) {}
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// Counters "memcpys" (one iteration's time in frame memcpys) and
// "goal_memcpys" (the most the goal allows) for a benchmark whose
// iteration is one frame (a goal of 0: none); over the goal, the
// benchmark's label says by how much.
void ReportFrameRatio(benchmark::State& state, double loopSeconds, double goalMemcpys);

// Counters "of_memcpy" (pixels per second as a fraction of memcpy's pixel
// rate) and "goal_of_memcpy" (the least the goal allows) for a benchmark
// that fills pixelsPerIteration pixels an iteration.
void ReportPixelRatio(benchmark::State& state, double loopSeconds, double pixelsPerIteration, double goalFraction);

}  // namespace bench
