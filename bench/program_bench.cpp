// Both programs as a player runs them: game-soft and game-d3d started
// headless on a copy of the demo game folder, each held to one core, in
// mission 22 in play (world update, AI, camera, drawing, the overlay, the
// presentation and the sound mixing: everything a frame does).
//
// A frame's time is the difference between two runs that differ only in
// how many frames they play, divided by the frames between them, so the
// start (logo, intro video, opening the mission) and the shutdown drop
// out.  Each run's time is its processor time (every thread of it, on its
// one core), which other work on the machine does not lengthen.  The
// benchmark takes the median of several such pairs.  Goals, in memcpys of
// a 640 x 480 x 16 frame: game-soft at most 50, game-d3d (on its software
// 3D device) at most 75.  The resident memory counter is the most either
// run held (the kernel's peak resident set), against a goal of 64 MiB.
#include "bench/bench_ratio.h"

#include <benchmark/benchmark.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kShortRun = 300, kLongRun = 2300;  // frames; the intro ends before the first
constexpr int kPairs = 5;
constexpr double kRssGoalMiB = 64.0;

// A copy of the built game folder the runs may write their settings in,
// made once a process; empty when there is none.
fs::path GameFolder() {
    static const fs::path folder = []() -> fs::path {
        fs::path from = fs::path(MORVANEL_BINARY_DIR) / "game";
        fs::path to = fs::temp_directory_path() / ("morvanel-program-bench-" + std::to_string(getpid()));
        std::error_code ec;
        fs::remove_all(to, ec);
        fs::copy(from, to, fs::copy_options::recursive, ec);
        if (ec || !fs::exists(to / "game-soft")) return {};
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(fs::temp_directory_path() / ("morvanel-program-bench-" + std::to_string(getpid())),
                           ignored);
        });
        return to;
    }();
    return folder;
}

struct RunCost {
    bool ok = false;
    double cpuSeconds = 0;
    double peakRssMiB = 0;
};

// Runs the program headless for that many frames on the core this thread
// is on; ok when it ended with status 0.
RunCost RunProgram(const fs::path& folder, const char* program, int frames) {
    RunCost cost;
    int core = sched_getcpu();
    pid_t pid = fork();
    if (pid < 0) return cost;
    if (pid == 0) {
        if (core >= 0) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(core, &set);
            sched_setaffinity(0, sizeof set, &set);
        }
        if (chdir(folder.c_str()) != 0) _exit(127);
        setenv("MORVANEL_HOST", "headless", 1);
        setenv("MORVANEL_AUDIO", "uncaptured", 1);
        setenv("MORVANEL_FRAMES", std::to_string(frames).c_str(), 1);
        for (const char* name : {"MORVANEL_CAPTURE", "MORVANEL_INPUT", "MORVANEL_TRACE", "MORVANEL_AUDIO_CAPTURE"})
            unsetenv(name);
        std::FILE* devNull = std::fopen("/dev/null", "w");
        if (devNull) {
            dup2(fileno(devNull), 1);
            dup2(fileno(devNull), 2);
        }
        std::string path = (folder / program).string();
        execl(path.c_str(), program, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return cost;
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    cost.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    cost.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    cost.peakRssMiB = double(usage.ru_maxrss) / 1024.0;  // kilobytes
    return cost;
}

void BM_ProgramFrameOfMission22(benchmark::State& state, const char* program, double goalMemcpys) {
    fs::path folder = GameFolder();
    if (folder.empty()) {
        state.SkipWithError("no built game folder to copy");
        return;
    }
    double frame = 0, peak = 0;
    for (auto _ : state) {
        std::vector<double> frames;
        for (int pair = 0; pair < kPairs; ++pair) {
            RunCost shortRun = RunProgram(folder, program, kShortRun);
            RunCost longRun = RunProgram(folder, program, kLongRun);
            if (!shortRun.ok || !longRun.ok) {
                state.SkipWithError("the program did not run to its end");
                return;
            }
            frames.push_back((longRun.cpuSeconds - shortRun.cpuSeconds) / (kLongRun - kShortRun));
            peak = std::max({peak, shortRun.peakRssMiB, longRun.peakRssMiB});
        }
        std::nth_element(frames.begin(), frames.begin() + kPairs / 2, frames.end());
        frame = frames[kPairs / 2];
        state.SetIterationTime(frame);
    }
    bench::ReportFrameRatio(state, frame, goalMemcpys);
    state.counters["rss_mib"] = peak;
    state.counters["goal_rss_mib"] = kRssGoalMiB;
    if (peak > kRssGoalMiB)
        state.SetLabel("resident memory over its goal by " + std::to_string(int(peak - kRssGoalMiB)) + " MiB");
}
BENCHMARK_CAPTURE(BM_ProgramFrameOfMission22, game_soft, "game-soft", 50.0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ProgramFrameOfMission22, game_d3d, "game-d3d", 75.0)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
