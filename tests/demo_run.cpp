// Runs one of the two programs headless on the demo data.
#include "tests/demo_run.h"

#include "golden_files.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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

DemoRun RunDemoProgram(const fs::path& program, const std::string& input, int timeoutSeconds,
                       const std::string& gameLines, const std::vector<std::pair<std::string, std::string>>& files) {
    DemoRun run;
    run.dir = PrepareGameFolder(program, gameLines);
    if (run.dir.empty()) return run;
    std::ofstream(run.dir / "input.txt") << input;
    for (const auto& [name, bytes] : files) std::ofstream(run.dir / name, std::ios::binary) << bytes;
    std::vector<std::string> env = {"MORVANEL_HOST=headless", "PATH=/usr/bin:/bin", "MORVANEL_TRACE=1",
                                    "MORVANEL_FRAMES=100000", "MORVANEL_INPUT=" + (run.dir / "input.txt").string(),
                                    "MORVANEL_CAPTURE=" + (run.dir / "frames").string()};
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);
    std::string errFile = (run.dir / "stderr.txt").string(), exe = (run.dir / program.filename()).string();
    std::string timeout = std::to_string(timeoutSeconds);
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (chdir(run.dir.c_str()) != 0) _exit(125);
        FILE* f = std::fopen(errFile.c_str(), "w");
        if (!f || dup2(fileno(f), 2) < 0) _exit(126);
        char* argv[] = {const_cast<char*>("/usr/bin/timeout"), timeout.data(), exe.data(), nullptr};
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::stringstream text;
    text << std::ifstream(errFile).rdbuf();
    run.err = text.str();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
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
