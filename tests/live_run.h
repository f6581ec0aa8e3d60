// Plays one of the two programs from outside, by what it shows.
// Headless, the program reads its input from a pipe as it goes
// (MORVANEL_INPUT=-) and stops at each pump the driver names, so the
// driver reads the run trace so far (the hero's place, the debug pages'
// lines, the game's steps) before it decides on the next keys; the
// program's virtual clock stands still while the driver thinks, so a run
// plays the same each time.  In a window (the SDL back end on the X
// server of DISPLAY, with sound into a file), the same driving goes by the
// wall clock: keys are sent to the window (xdotool), a pump is the 40th
// part of a frame's 3/70 s, and the trace is read as it comes.
#pragma once

#include "tests/demo_run.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace test {

// Key scan codes the drivers use.
enum ScanCode : int {
    kScanEscape = 1,
    kScanTab = 15,
    kScanQ = 16,
    kScanEnter = 28,
    kScanLeftCtrl = 29,
    kScanD = 32,
    kScanL = 38,
    kScanZ = 44,
    kScanSpace = 57,
    kScanF4 = 62,
    kScanF5 = 63,
    kScanF9 = 67,
    kScanY = 21,
    kScanR = 19,
    kScanUp = 200,
    kScanLeft = 203,
    kScanRight = 205,
    kScanDown = 208,
};

// The hero as the trace's last "Hero" line tells it: room, world position,
// the way it looks (32768 long) and its life.
struct LiveOptions {
    bool window = false;    // the SDL back end in a window, else headless
    bool windowed = false;  // config.ini's [Video] Windowed
    bool capture = false;   // headless: every frame kept (MORVANEL_CAPTURE)
};

struct HeroPlace {
    bool known = false;
    int room = -1, x = 0, y = 0, z = 0, facingX = 0, facingZ = 0, life = 0;
};

class LiveRun {
public:
    // Copies the program and its data into a fresh folder (as
    // RunDemoProgram does), with `gameLines` in config.ini's [Game], and
    // starts it; the whole run may take `timeoutSeconds`.
    LiveRun(const Program& program, const std::string& gameLines, int timeoutSeconds, LiveOptions options = {});
    ~LiveRun();
    LiveRun(const LiveRun&) = delete;
    LiveRun& operator=(const LiveRun&) = delete;

    // False once the program has ended, failed to start or run out of time.
    bool Running() const { return running_; }
    // Gives `events` ("keydown 200", ...) at the current pump, then lets the
    // program run `pumps` more pumps.
    bool Run(int pumps, std::initializer_list<std::string> events = {});
    // A key held `hold` pumps, then `after` pumps more.
    void Press(int key, int hold = 60, int after = 60);
    // Left Ctrl held around a press (the developer keys).
    void CtrlPress(int key, int after = 200);
    // Runs a frame (40 pumps) at a time until a trace step beginning with
    // `step` appears after line `from`, at most `maxPumps` pumps; true when
    // it did.
    bool RunUntil(const std::string& step, int maxPumps, size_t from);

    HeroPlace Hero() const;
    // Turns the hero (Left, Right) until it looks at (x, z) within about
    // 9 degrees; walks it (Up, turning on the way) until it stands within
    // `within` of (x, z).  False when it does not get there.
    bool TurnTo(int x, int z);
    bool WalkTo(int x, int z, int within);

    // The number of lines read so far: a mark for Steps.
    size_t Mark() const { return lines_.size(); }
    // The trace's steps ("trace: " taken off) from line `from` on that
    // begin with `step`.
    std::vector<std::string> Steps(const std::string& step, size_t from = 0) const;
    // The last line from `from` on that contains `text`, "" when none.
    std::string LastLine(const std::string& text, size_t from = 0) const;
    const std::vector<std::string>& Lines() const { return lines_; }
    uint64_t Pump() const { return pump_; }

    // Keeps what is on the screen now under `name`: in a window a dump of
    // it (xwd) in the run's folder, headless the number of the last frame
    // presented (its capture is "frames/frame-%05d.png").  False when the
    // dump could not be taken.
    bool Snapshot(const std::string& name);
    std::filesystem::path SnapshotPath(const std::string& name) const { return dir / (name + ".xwd"); }
    // Headless: the frame presented last when the snapshot was taken, 0
    // when none was.
    uint64_t SnapshotFrame(const std::string& name) const;
    uint64_t FramesPresented() const { return frames_; }

    // Lets the program go on without further stops until it ends (the
    // quit keys must be on their way); its exit status, -1 when it had to
    // be killed.
    int Finish();

    std::filesystem::path dir;

private:
    bool ReadToStop();
    // In a window: reads what comes for `seconds`, and on until the game
    // loop has shown `frames` frames more (a loaded machine shows fewer in
    // the time), for a while at most; false once it ended.
    bool ReadFor(double seconds, uint64_t frames = 0);
    // In a window: reads what is waiting now; false once it ended.
    bool ReadWaiting();
    bool TakeLines(const char* buffer, size_t n);
    bool Send(const std::string& text);
    // In a window: a key event through xdotool.
    bool SendKey(const std::string& event);
    bool FindWindow();

    LiveOptions options_;
    std::string window_;  // the X window's id
    uint64_t frames_ = 0;
    uint64_t loopFrames_ = 0;  // in a window: the game loop's frames told so far
    std::vector<std::pair<std::string, uint64_t>> snapshots_;

    pid_t pid_ = -1;
    int toProgram_ = -1, fromProgram_ = -1;
    bool running_ = false;
    uint64_t pump_ = 0;
    double deadline_ = 0;
    std::string partial_;
    std::vector<std::string> lines_;
};

}  // namespace test
