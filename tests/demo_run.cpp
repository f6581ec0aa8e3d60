// Runs one of the two programs headless on the demo data.
#include "tests/demo_run.h"

#include "golden_files.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string_view>

namespace fs = std::filesystem;

namespace test {

fs::path PrepareGameFolder(const fs::path& program, const std::string& gameLines, bool windowed) {
    char pattern[] = "/tmp/morvanel-run-XXXXXX";
    if (!mkdtemp(pattern)) return {};
    fs::path dir = pattern;
    fs::create_directories(dir / "frames");
    for (const auto& entry : fs::directory_iterator(program.parent_path())) {
        std::string name = entry.path().filename().string();
        bool wanted = entry.path() == program || name == "registry.ini" || entry.path().extension() == ".res";
        if (wanted && entry.is_regular_file()) fs::copy_file(entry.path(), dir / name);
    }
    std::ofstream(dir / "config.ini") << "[Game]\nResource=yes\n"
                                      << gameLines << "[Video]\nWindowed=" << (windowed ? "yes" : "no") << "\n";
    return dir;
}

namespace {

// The game folder copy with the input script and the extra files.
bool PrepareRunFolder(DemoRun* run, const fs::path& program, const std::string& input, const std::string& gameLines,
                      const std::vector<std::pair<std::string, std::string>>& files) {
    run->dir = PrepareGameFolder(program, gameLines);
    if (run->dir.empty()) return false;
    std::ofstream(run->dir / "input.txt") << input;
    for (const auto& [name, bytes] : files) std::ofstream(run->dir / name, std::ios::binary) << bytes;
    return true;
}

// Starts `argv` in the run's folder with `env`, its standard error to
// stderr.txt there; answers the child's id, -1 when it could not fork.
pid_t StartInRunFolder(const DemoRun& run, std::vector<std::string> env, std::vector<std::string> argv) {
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);
    const std::string errFile = (run.dir / "stderr.txt").string();
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> envp, args;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        if (chdir(run.dir.c_str()) != 0) _exit(125);
        FILE* f = std::fopen(errFile.c_str(), "w");
        if (!f || dup2(fileno(f), 2) < 0) _exit(126);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

std::string ReadRunErr(const DemoRun& run) {
    std::stringstream text;
    text << std::ifstream(run.dir / "stderr.txt").rdbuf();
    return text.str();
}

// The resident set of a process in KiB (VmRSS of /proc/<pid>/status), -1
// when it cannot be read.
long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

}  // namespace

DemoRun RunDemoProgram(const fs::path& program, const std::string& input, int timeoutSeconds,
                       const std::string& gameLines, const std::vector<std::pair<std::string, std::string>>& files,
                       const std::vector<std::string>& moreEnv) {
    DemoRun run;
    if (!PrepareRunFolder(&run, program, input, gameLines, files)) return run;
    std::vector<std::string> env = {"MORVANEL_HOST=headless", "PATH=/usr/bin:/bin", "MORVANEL_TRACE=1",
                                    "MORVANEL_FRAMES=100000", "MORVANEL_INPUT=" + (run.dir / "input.txt").string(),
                                    "MORVANEL_CAPTURE=" + (run.dir / "frames").string()};
    env.insert(env.end(), moreEnv.begin(), moreEnv.end());
    const std::string exe = (run.dir / program.filename()).string();
    pid_t pid = StartInRunFolder(run, env, {"/usr/bin/timeout", std::to_string(timeoutSeconds), exe});
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    run.err = ReadRunErr(run);
    run.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

WatchedRun RunWatchedProgram(const fs::path& program, const std::string& input, int timeoutSeconds,
                             const std::string& gameLines, int frames, std::initializer_list<const char*> kinds) {
    WatchedRun w;
    DemoRun& run = w.run;
    if (!PrepareRunFolder(&run, program, input, gameLines, {})) return w;
    std::vector<std::string> env = {"MORVANEL_HOST=headless", "PATH=/usr/bin:/bin", "MORVANEL_TRACE=1",
                                    "MORVANEL_FRAMES=" + std::to_string(frames), "MORVANEL_AUDIO=uncaptured",
                                    "MORVANEL_INPUT=" + (run.dir / "input.txt").string()};
    // The program itself is the child, so that its memory can be read; the
    // timeout is kept here.
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    pid_t pid = StartInRunFolder(run, env, {(run.dir / program.filename()).string()});
    if (pid <= 0) return w;
    std::ifstream err;
    std::string partial;
    int status = 0;
    bool exited = false;
    while (!exited) {
        const long kib = ResidentKiB(pid);
        if (kib >= 0) w.samples.push_back({seconds(), kib});
        // The trace lines written since the last look, each noted once it
        // is whole.
        if (!err.is_open()) err.open(run.dir / "stderr.txt", std::ios::binary);
        if (err.is_open()) {
            char buffer[1 << 16];
            err.clear();
            while (err.read(buffer, sizeof buffer) || err.gcount() > 0) partial.append(buffer, size_t(err.gcount()));
            size_t from = 0;
            for (size_t end; (end = partial.find('\n', from)) != std::string::npos; from = end + 1) {
                const std::string_view line(partial.data() + from, end - from);
                for (const char* kind : kinds)
                    if (line.rfind(std::string("trace: ") + kind, 0) == 0)
                        w.marks.push_back({seconds(), w.samples.empty() ? -1 : w.samples.back().kib,
                                           std::string(line.substr(7))});
            }
            partial.erase(0, from);
        }
        if (waitpid(pid, &status, WNOHANG) == pid) exited = true;
        else if (seconds() > timeoutSeconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            w.timedOut = true;
            exited = true;
        } else {
            usleep(100 * 1000);
        }
    }
    w.seconds = seconds();
    run.err = ReadRunErr(run);
    run.exitCode = !w.timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return w;
}

std::vector<std::string> TraceSteps(const std::string& err, std::initializer_list<const char*> kinds) {
    std::vector<std::string> steps;
    size_t at = 0;
    while ((at = err.find("trace: ", at)) != std::string::npos) {
        size_t end = err.find('\n', at);
        std::string step = err.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
        for (const char* kind : kinds)
            if (step.rfind(kind, 0) == 0) steps.push_back(step);
        at = end;
    }
    return steps;
}

const Program kGameSoft{"game-soft", MORVANEL_GAME_SOFT}, kGameD3D{"game-d3d", MORVANEL_GAME_D3D};

std::string Press(int pump, int key) {
    return std::to_string(pump) + " keydown " + std::to_string(key) + "\n" + std::to_string(pump + 60) + " keyup " +
           std::to_string(key) + "\n";
}

std::string CtrlPress(int pump, int key) {
    return std::to_string(pump) + " keydown 29\n" + Press(pump + 100, key) + std::to_string(pump + 300) +
           " keyup 29\n";
}

std::string QuitKeys(int pump) {
    std::string s;
    auto key = [&](int at, int scanCode) {
        s += std::to_string(pump + at) + " keydown " + std::to_string(scanCode) + "\n";
        s += std::to_string(pump + at + 100) + " keyup " + std::to_string(scanCode) + "\n";
    };
    key(0, 1);      // Escape
    key(600, 200);  // Up
    key(800, 28);   // Enter
    key(1100, 21);  // Y
    return s;
}

int CountCharacterColour(const std::vector<uint32_t>& xrgb, bool blue, int* meanX) {
    int n = 0;
    int64_t sumX = 0;
    for (size_t i = 0; i < xrgb.size(); ++i) {
        uint32_t p = xrgb[i];
        int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
        bool shaded = b >= 8 && r == 0 && g == 0;
        bool counted = blue ? ((b >= 96 && r < 24 && g < 24) || shaded) : (r >= 96 && g < 24 && b < 24);
        if (counted) ++n, sumX += int64_t(i % 640);
    }
    if (meanX) *meanX = n ? int(sumX / n) : -1;
    return n;
}

bool ReadRunFrame(const DemoRun& run, int n, std::vector<uint32_t>* xrgb) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", n);
    int w = 0, h = 0;
    return ReadPng((run.dir / "frames" / name).string(), xrgb, &w, &h);
}

}  // namespace test
