// Runs one of the two programs headless on the demo data, in its own copy
// of the game folder, with a script of input, every frame captured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace test {

// The two programs, by name and by the path the build gives them.
struct Program {
    const char* name;
    const char* path;
};
extern const Program kGameSoft, kGameD3D;

// Seconds an end-to-end run may take: most take 5 to 40 alone, several
// times that under the sanitizers on a loaded machine.
constexpr int kRunSeconds = 400;

struct DemoRun {
    int exitCode = -1;          // the program's exit status, -1 when it did not exit
    std::string err;            // its standard error (the run trace with MORVANEL_TRACE)
    std::filesystem::path dir;  // the game folder copy; frames in dir / "frames"
};

// Copies the program, registry.ini and the resource archives beside it
// into a fresh folder under /tmp, writes config.ini (with `gameLines` added
// to its [Game] section), the input script and the `files` (name, bytes)
// there, and runs the program in it with a timeout in seconds, with the
// `moreEnv` settings ("NAME=value") added to its environment.
// A fresh folder under /tmp with a copy of the program, registry.ini and
// the resource archives beside it, an empty "frames" folder and config.ini
// (with `gameLines` added to its [Game] section, in a window or the full
// screen); empty when it cannot be made.
std::filesystem::path PrepareGameFolder(const std::filesystem::path& program, const std::string& gameLines,
                                        bool windowed = false);

DemoRun RunDemoProgram(const std::filesystem::path& program, const std::string& input, int timeoutSeconds = 60,
                       const std::string& gameLines = "",
                       const std::vector<std::pair<std::string, std::string>>& files = {},
                       const std::vector<std::string>& moreEnv = {});

// A run watched while it plays, for long runs: no frames captured, its
// sound mixed but not kept (MORVANEL_AUDIO=uncaptured),
// MORVANEL_FRAMES set to `frames` (the host closes the window after them),
// the program's resident memory read about every 100 ms, and every trace
// line of the kinds given noted as it is written, with the memory last
// read.  A run past `timeoutSeconds` is killed and its exit code is -1.
struct RssSample {
    double seconds;  // since the start
    long kib;        // VmRSS
};
struct TraceMark {
    double seconds;
    long kib;          // the last sample before the line was seen, -1 none
    std::string step;  // the line without "trace: "
};
struct WatchedRun {
    DemoRun run;
    std::vector<RssSample> samples;
    std::vector<TraceMark> marks;
    double seconds = 0;  // the run's wall time
    bool timedOut = false;
};
WatchedRun RunWatchedProgram(const std::filesystem::path& program, const std::string& input, int timeoutSeconds,
                             const std::string& gameLines, int frames, std::initializer_list<const char*> kinds);

// Pixels of the hero's blue (0x001F) and the guard's red (0xF800), as
// their skins show them lit or flat, and the hero's also in its own shade
// (pure dark blue: seen from behind, away from the room's lamp), channel by
// channel well clear of the rooms' colours; with the mean column of those
// pixels (of a 640-pixel row) when asked, -1 when there are none.
int CountCharacterColour(const std::vector<uint32_t>& xrgb, bool blue, int* meanX = nullptr);

// The input script's lines that leave the game from play, from the pump
// given (about 40 pumps make a frame): Escape opens the main menu; once
// its panel has slid open (9 frames at 3 ticks a frame), Up moves the
// highlight from the first entry round to the last, Quit; Enter chooses it
// and Y answers the quit prompt.  Each key is held 100 pumps.
std::string QuitKeys(int pump);
// The input script's lines that press a key (a scan code) at the pump
// given and release it 60 pumps later; CtrlPress holds Left Ctrl (29)
// around such a press.
std::string Press(int pump, int key);
std::string CtrlPress(int pump, int key);
// The run trace's lines ("trace: <step>") that begin with one of the kinds,
// in order, without their prefix.
std::vector<std::string> TraceSteps(const std::string& err, std::initializer_list<const char*> kinds);

// Frame n of a run ("frames/frame-%05d.png"); false when missing.
bool ReadRunFrame(const DemoRun& run, int n, std::vector<uint32_t>* xrgb);

}  // namespace test
