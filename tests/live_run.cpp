// Plays one of the two programs headless from outside, by what it shows.
#include "tests/live_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace test {

namespace {

// About 40 pumps of the host make a frame of the game.
constexpr int kFramePumps = 40;
constexpr double kPi = 3.14159265358979323846;
constexpr const char kStopLine[] = "headless: waiting at pump ";
constexpr const char kFrameLine[] = "trace: Frame ";
// The longest wait in a window for frames beyond the time asked for: a
// program between frames longer (loading a mission) is let go on.
constexpr double kFrameWaitSeconds = 5.0;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The angle from a to b, folded into -pi..pi.
double AngleBetween(double a, double b) {
    return std::remainder(b - a, 2 * kPi);
}

}  // namespace

LiveRun::LiveRun(const Program& program, const std::string& gameLines, int timeoutSeconds, LiveOptions options)
    : options_(options) {
    dir = PrepareGameFolder(program.path, gameLines, options.windowed);
    if (dir.empty()) return;
    deadline_ = Now() + timeoutSeconds;
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "MORVANEL_TRACE=1", "MORVANEL_TRACE_HERO=1"};
    if (options.window) {
        const char* display = std::getenv("DISPLAY");
        env.push_back(std::string("DISPLAY=") + (display ? display : ""));
        // Sound on, into a file; SDL's own software renderer, the cheaper
        // one without a graphics card.
        for (const char* e : {"MORVANEL_HOST=sdl", "MORVANEL_TRACE_FRAMES=1", "SDL_AUDIODRIVER=disk",
                              "SDL_RENDER_DRIVER=software"})
            env.push_back(e);
        env.push_back("SDL_DISKAUDIOFILE=" + (dir / "audio.raw").string());
    } else {
        for (const char* e : {"MORVANEL_HOST=headless", "MORVANEL_FRAMES=100000", "MORVANEL_INPUT=-"}) env.push_back(e);
        if (options.capture) env.push_back("MORVANEL_CAPTURE=" + (dir / "frames").string());
    }
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);
    int in[2], err[2];
    if (pipe(in) != 0) return;
    if (pipe(err) != 0) {
        close(in[0]), close(in[1]);
        return;
    }
    const std::string exe = (dir / fs::path(program.path).filename()).string();
    pid_ = fork();
    if (pid_ == 0) {
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (chdir(dir.c_str()) != 0 || dup2(in[0], 0) < 0 || dup2(err[1], 2) < 0) _exit(125);
        close(in[1]), close(err[0]);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 1);
        char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(in[0]), close(err[1]);
    toProgram_ = in[1], fromProgram_ = err[0];
    // A program that has ended leaves writes to its input failing, not the
    // driver killed.
    signal(SIGPIPE, SIG_IGN);
    running_ = pid_ > 0 && (options.window ? ReadFor(0.1) : ReadToStop());
}

LiveRun::~LiveRun() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (toProgram_ >= 0) close(toProgram_);
    if (fromProgram_ >= 0) close(fromProgram_);
    // MORVANEL_KEEP_RUN keeps the run's folder for a look afterwards.
    std::error_code ec;
    if (!dir.empty() && !std::getenv("MORVANEL_KEEP_RUN")) fs::remove_all(dir, ec);
    else if (!dir.empty()) {
        std::ofstream out(dir / "lines.txt");
        for (const std::string& line : lines_) out << line << "\n";
        std::printf("the run's folder: %s\n", dir.c_str());
    }
}

// Files the whole lines of what was read; true when one was a stop.
bool LiveRun::TakeLines(const char* buffer, size_t n) {
    partial_.append(buffer, n);
    bool stopped = false;
    size_t start = 0, end;
    while ((end = partial_.find('\n', start)) != std::string::npos) {
        std::string line = partial_.substr(start, end - start);
        start = end + 1;
        unsigned long long pump = 0, frames = 0;
        if (line.rfind(kStopLine, 0) == 0 &&
            std::sscanf(line.c_str() + sizeof kStopLine - 1, "%llu frame %llu", &pump, &frames) == 2) {
            pump_ = pump, frames_ = frames;
            stopped = true;
        } else if (line.rfind(kFrameLine, 0) == 0) {
            ++loopFrames_;
        } else {
            lines_.push_back(std::move(line));
        }
    }
    partial_.erase(0, start);
    return stopped;
}

// Reads the program's standard error up to its next stop, or its end.
bool LiveRun::ReadToStop() {
    char buffer[65536];
    for (;;) {
        const double left = deadline_ - Now();
        if (left <= 0) {
            std::fprintf(stderr, "live run: out of time at pump %llu\n", static_cast<unsigned long long>(pump_));
            return false;
        }
        pollfd p{fromProgram_, POLLIN, 0};
        int ready = poll(&p, 1, int(std::min(left, 1.0) * 1000) + 1);
        if (ready <= 0) continue;
        ssize_t n = read(fromProgram_, buffer, sizeof buffer);
        if (n <= 0) return false;  // the program has ended
        if (TakeLines(buffer, size_t(n))) return true;
    }
}

bool LiveRun::ReadWaiting() {
    char buffer[65536];
    for (;;) {
        pollfd p{fromProgram_, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return true;
        ssize_t n = read(fromProgram_, buffer, sizeof buffer);
        if (n <= 0) return false;
        TakeLines(buffer, size_t(n));
    }
}

bool LiveRun::ReadFor(double seconds, uint64_t frames) {
    char buffer[65536];
    const double start = Now();
    const double until = std::min(start + seconds, deadline_);
    const double latest = std::min(until + kFrameWaitSeconds, deadline_);
    // Frames are waited for only once the game loop has told one.
    const uint64_t wanted = loopFrames_ > 0 ? loopFrames_ + frames : 0;
    for (;;) {
        const double now = Now();
        if (now >= deadline_) return false;
        const bool framesShown = loopFrames_ >= wanted || now >= latest;
        if (now >= until && framesShown) return true;
        const double left = (now >= until ? latest : until) - now;
        pollfd p{fromProgram_, POLLIN, 0};
        if (poll(&p, 1, int(left * 1000) + 1) <= 0) continue;
        ssize_t n = read(fromProgram_, buffer, sizeof buffer);
        if (n <= 0) return false;
        TakeLines(buffer, size_t(n));
    }
}

namespace {

// The X key names of the scan codes the drivers press.
const char* KeyName(int scan) {
    switch (scan) {
    case kScanEscape: return "Escape";
    case kScanTab: return "Tab";
    case kScanQ: return "q";
    case kScanR: return "r";
    case kScanY: return "y";
    case kScanEnter: return "Return";
    case kScanLeftCtrl: return "Control_L";
    case kScanD: return "d";
    case kScanL: return "l";
    case kScanZ: return "z";
    case kScanSpace: return "space";
    case kScanF4: return "F4";
    case kScanF5: return "F5";
    case kScanF9: return "F9";
    case kScanUp: return "Up";
    case kScanLeft: return "Left";
    case kScanRight: return "Right";
    case kScanDown: return "Down";
    default: return nullptr;
    }
}

// Runs a shell command with its output sent to `out` (or nowhere); true
// when it ended with 0.
bool Shell(const std::string& command, const std::string& out = "/dev/null") {
    return std::system((command + " >" + out + " 2>/dev/null").c_str()) == 0;
}

}  // namespace

bool LiveRun::FindWindow() {
    if (!window_.empty()) return true;
    const std::string found = (dir / "window.txt").string();
    if (!Shell("xdotool search --name Morvanel", found)) return false;
    std::FILE* f = std::fopen(found.c_str(), "r");
    char id[64] = {};
    if (f) {
        if (!std::fgets(id, sizeof id, f)) id[0] = 0;
        std::fclose(f);
    }
    for (char* c = id; *c; ++c)
        if (*c == '\n') *c = 0;
    window_ = id;
    return !window_.empty();
}

// "keydown 200" as xdotool's "keydown Up", to the program's window.
bool LiveRun::SendKey(const std::string& event) {
    const size_t space = event.find(' ');
    const char* name = space == std::string::npos ? nullptr : KeyName(std::atoi(event.c_str() + space + 1));
    if (!name || !FindWindow()) return false;
    return Shell("xdotool windowfocus " + window_ + " " + event.substr(0, space) + " " + name);
}

bool LiveRun::Snapshot(const std::string& name) {
    if (!options_.window) {
        snapshots_.push_back({name, frames_});
        return running_;
    }
    return FindWindow() && Shell("xwd -silent -id " + window_, SnapshotPath(name).string());
}

uint64_t LiveRun::SnapshotFrame(const std::string& name) const {
    for (const auto& [shot, frame] : snapshots_)
        if (shot == name) return frame;
    return 0;
}

bool LiveRun::Send(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(toProgram_, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool LiveRun::Run(int pumps, std::initializer_list<std::string> events) {
    if (!running_) return false;
    if (options_.window) {
        // The frames told so far are counted before keys go: those still
        // in the pipe were drawn before them.
        running_ = ReadWaiting();
        if (!running_) return false;
        for (const std::string& e : events) SendKey(e);
        // A frame of 3/70 s, 40 pumps; as many frames as the pumps make,
        // rounded up, are shown whatever the time they take, and one more
        // after keys were sent (the frame being drawn may not have seen
        // them).
        const int wait = pumps < 1 ? 1 : pumps;
        const uint64_t frames = uint64_t((wait + kFramePumps - 1) / kFramePumps) + (events.size() > 0 ? 1 : 0);
        running_ = ReadFor(double(wait) * 3.0 / 70.0 / kFramePumps, frames);
        return running_;
    }
    std::string text;
    for (const std::string& e : events) text += std::to_string(pump_) + " " + e + "\n";
    text += std::to_string(pump_ + uint64_t(pumps < 1 ? 1 : pumps)) + " nop\n";
    running_ = Send(text) && ReadToStop();
    return running_;
}

void LiveRun::Press(int key, int hold, int after) {
    Run(hold, {"keydown " + std::to_string(key)});
    Run(after, {"keyup " + std::to_string(key)});
}

void LiveRun::CtrlPress(int key, int after) {
    Run(60, {"keydown " + std::to_string(kScanLeftCtrl)});
    Press(key, 60, 60);
    Run(after, {"keyup " + std::to_string(kScanLeftCtrl)});
}

bool LiveRun::RunUntil(const std::string& step, int maxPumps, size_t from) {
    for (int done = 0;; done += kFramePumps) {
        if (!Steps(step, from).empty()) return true;
        if (done >= maxPumps || !Run(kFramePumps)) return false;
    }
}

HeroPlace LiveRun::Hero() const {
    HeroPlace h;
    for (size_t i = lines_.size(); i-- > 0;) {
        if (lines_[i].rfind("trace: Hero ", 0) != 0) continue;
        h.known = std::sscanf(lines_[i].c_str(), "trace: Hero %d %d %d %d %d %d %d", &h.room, &h.x, &h.y, &h.z,
                              &h.facingX, &h.facingZ, &h.life) == 7;
        break;
    }
    return h;
}

bool LiveRun::TurnTo(int x, int z) {
    // A held turn moves the hero 32 x the frame step (3) of 4096 a frame,
    // about 8.4 degrees: the key is held for as many whole frames as the
    // way wanted needs (a press within one frame is never seen), until the
    // hero looks within 9 degrees of it.
    constexpr double kFrameTurn = 96 * 2 * kPi / 4096;
    for (int tries = 0; tries < 20 && running_; ++tries) {
        const HeroPlace h = Hero();
        if (!h.known) return false;
        const double error = AngleBetween(std::atan2(double(h.facingZ), double(h.facingX)),
                                          std::atan2(double(z - h.z), double(x - h.x)));
        if (std::fabs(error) < 0.16) return true;
        // The hero's Left turns it from +x toward +z.
        const int key = error > 0 ? kScanLeft : kScanRight;
        const int frames = std::max(1, int(std::lround(std::fabs(error) / kFrameTurn)));
        Press(key, frames * kFramePumps, kFramePumps);
    }
    return false;
}

bool LiveRun::WalkTo(int x, int z, int within) {
    const std::string up = std::to_string(kScanUp);
    bool walking = false;
    for (int frames = 0; frames < 400 && running_; ++frames) {
        const HeroPlace h = Hero();
        if (!h.known) return false;
        const double distance = std::hypot(double(x - h.x), double(z - h.z));
        const double error = AngleBetween(std::atan2(double(h.facingZ), double(h.facingX)),
                                          std::atan2(double(z - h.z), double(x - h.x)));
        if (distance < within) {
            if (walking) Run(kFramePumps, {"keyup " + up});
            return true;
        }
        if (std::fabs(error) > 0.25) {
            if (walking) Run(kFramePumps / 4, {"keyup " + up});
            walking = false;
            if (!TurnTo(x, z)) return false;
        }
        if (!walking) Run(kFramePumps, {"keydown " + up});
        else Run(kFramePumps);
        walking = true;
    }
    if (walking) Run(kFramePumps, {"keyup " + up});
    return false;
}

std::vector<std::string> LiveRun::Steps(const std::string& step, size_t from) const {
    std::vector<std::string> out;
    const std::string wanted = "trace: " + step;
    for (size_t i = from; i < lines_.size(); ++i)
        if (lines_[i].rfind(wanted, 0) == 0) out.push_back(lines_[i].substr(7));
    return out;
}

std::string LiveRun::LastLine(const std::string& text, size_t from) const {
    for (size_t i = lines_.size(); i-- > from;)
        if (lines_[i].find(text) != std::string::npos) return lines_[i];
    return "";
}

int LiveRun::Finish() {
    // Each stop is answered with the next frame until the program ends.
    while (running_) Run(kFramePumps);
    std::fflush(nullptr);
    if (pid_ <= 0) return -1;
    int status = 0;
    // The program has closed its standard error: it is ending.
    const double until = deadline_;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Now() > until) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        usleep(10000);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace test
