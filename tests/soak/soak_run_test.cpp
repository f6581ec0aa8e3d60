// Both programs headless on the demo data for 40,000 frames of seeded
// random input, one test each so that the two run side by side: walking,
// firing, the action and take keys, the menu pages opened, walked and
// chosen from, the save and load pages, the quick save and load, and the
// developer keys (level jump, mission step, the mission list).  Every so
// often the script steps the open mission twice with Ctrl+F9, whose second
// step ends it and opens the other demo mission (7 and 22 each lead to the
// other), or picks mission 7 from the developer mission list, so the run
// changes missions many times.
//
// The run must end by itself with status 0 within its time (the host
// closes the window after the frames; a hang is killed and fails), with no
// sanitizer finding in the checked build.  The program's resident memory is
// read every 100 ms and printed at every mission change: once the first
// change has loaded both missions' kinds of data, it must stay flat (the
// checked build only prints it, since its quarantine holds freed memory).
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif
#ifndef SOAK_ASAN
#define SOAK_ASAN 0
#endif

namespace {

// Frames played: 40,000, or in the checked build 5,000 (its frames are
// about twenty times slower: 40,000 would take some 40 minutes), with the
// mission changes as many times closer; SOAK_FRAMES picks another number.
constexpr int kFrames = SOAK_ASAN ? 5000 : 40000;
// About 40 pumps of the host make a frame.
constexpr int64_t kPumpsPerFrame = 40;
// A mission change is forced every this many frames (as many as 13 in a
// run).
constexpr int kChangeFrames = SOAK_ASAN ? 400 : 3000;
// The default seed; SOAK_SEED in the environment picks another.
constexpr uint64_t kDefaultSeed = 0x5EED4041;
// Seconds a run may take: the checked build plays many times slower.
constexpr int kSoakSeconds = SOAK_ASAN ? 1500 : 600;

int Frames() {
    const char* text = std::getenv("SOAK_FRAMES");
    const int n = text && *text ? std::atoi(text) : 0;
    return n > 0 ? n : kFrames;
}

// Scan codes.
enum : int {
    kEscape = 1, kDigit1 = 2, kTab = 15, kQ = 16, kE = 18, kR = 19, kI = 23, kEnter = 28, kCtrl = 29, kA = 30,
    kS = 31, kF = 33, kG = 34, kJ = 36, kK = 37, kL = 38, kShift = 42, kZ = 44, kV = 47, kN = 49, kAlt = 56,
    kSpace = 57, kCaps = 58, kF3 = 61, kF4 = 62, kF5 = 63, kF7 = 65, kF8 = 66, kF9 = 67, kPadMinus = 74,
    kPadPlus = 78, kUp = 200, kLeft = 203, kRight = 205, kDown = 208,
};

// splitmix64: the same numbers from a seed on every machine.
struct Random {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return int(Next() % uint64_t(n)); }
    int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
};

// The script as it is written, with the pump the next input starts at.
struct Script {
    std::string text;
    int64_t at = 0;
    void Down(int64_t pump, int key) { text += std::to_string(pump) + " keydown " + std::to_string(key) + "\n"; }
    void Up(int64_t pump, int key) { text += std::to_string(pump) + " keyup " + std::to_string(key) + "\n"; }
    // A press of 60 pumps, then `after` pumps before the next input.
    void Press(int key, int after = 100) {
        Down(at, key);
        Up(at + 60, key);
        at += 60 + after;
    }
    void Hold(int key, int pumps) {
        Down(at, key);
        Up(at + pumps, key);
        at += pumps + 40;
    }
    // Left Ctrl held around a press, as the developer keys want.
    void CtrlPress(int key) {
        Down(at, kCtrl);
        Down(at + 100, key);
        Up(at + 160, key);
        Up(at + 300, kCtrl);
        at += 400;
    }
    void Wait(int pumps) { at += pumps; }
};

// Waits for a menu's panel to slide open (9 frames), then moves the
// highlight by up to `most` steps either way.
void WalkList(Script& s, Random& r, int most) {
    s.Wait(500);
    for (int n = r.Below(most + 1); n > 0; --n) s.Press(r.Below(2) ? kDown : kUp, 90);
}

// Leaves what the episodes may have left open: N answers a quit prompt
// with "back to the game", Escape closes an open menu.
void Settle(Script& s) {
    s.Press(kN, 200);
    s.Wait(400);
}

void Walk(Script& s, Random& r) {
    static const int kMoves[] = {kUp, kUp, kDown, kLeft, kRight};
    const int move = kMoves[r.Below(5)], pumps = r.Between(40, 2400);
    const int extra = r.Below(4);
    if (extra == 1) s.Down(s.at, kShift);
    if (extra == 2) s.Down(s.at, kAlt);
    s.Hold(move, pumps);
    if (extra == 1) s.Up(s.at - 40, kShift);
    if (extra == 2) s.Up(s.at - 40, kAlt);
}

void Fire(Script& s, Random& r) {
    static const int kKeys[] = {kA, kZ, kS, kPadPlus, kPadMinus, kF7, kF8, kCaps, kF3, kSpace};
    switch (r.Below(3)) {
    case 0: s.Hold(kQ, r.Between(40, 800)); break;
    case 1: s.Hold(kDigit1 + r.Below(6), r.Between(60, 600)); break;
    default: s.Press(kKeys[r.Below(10)], r.Between(40, 400)); break;
    }
}

void Action(Script& s, Random& r) {
    static const int kKeys[] = {kEnter, kEnter, kSpace};
    s.Press(kKeys[r.Below(3)], r.Between(100, 600));
}

// A page opened by its own key (journal, map, shop, inventory), walked
// about, and closed with Escape.
void Page(Script& s, Random& r) {
    static const int kKeys[] = {kR, kTab, kE, kI};
    s.Press(kKeys[r.Below(4)]);
    s.Wait(500);
    for (int n = r.Below(5); n > 0; --n) s.Press(r.Below(2) ? kLeft : kRight, 120);
    WalkList(s, r, 3);
    if (r.Below(3) == 0) s.Press(kEnter, 300);
    s.Press(kEscape, 300);
}

// The main menu: a walk of its list, then Enter (a page of it, a new
// game on the mission, the quit question) or Escape.
void Menu(Script& s, Random& r) {
    s.Press(kEscape);
    WalkList(s, r, 8);
    if (r.Below(2)) {
        s.Press(kEnter, 300);
        WalkList(s, r, 3);
        if (r.Below(2)) s.Press(kEnter, 400);
    }
    s.Press(kEscape, 300);
    Settle(s);
}

// The save page (main menu entry 3) or the load page (entry 2): a slot,
// Enter; a loaded game closes the menu, any other leaves it to Escape.
void SaveOrLoad(Script& s, Random& r) {
    const bool save = r.Below(2) == 0;
    s.Press(kEscape);
    s.Wait(500);
    s.Press(kDown, 90);
    if (save) s.Press(kDown, 90);
    s.Press(kEnter, 200);
    for (int n = r.Below(4); n > 0; --n) s.Press(kDown, 90);
    s.Press(kEnter, 600);
    if (save) s.Press(kEscape, 300);
}

void Quick(Script& s, Random& r) {
    s.Press(r.Below(3) ? kF5 : kF4, r.Between(200, 1200));
}

// The developer keys: the level jump and the mission list (each an entry
// chosen), a mission step, and the others (turbo, vision, life, mana,
// the enemies around killed).
void Developer(Script& s, Random& r) {
    static const int kOthers[] = {kF, kV, kG, kJ, kK};
    switch (r.Below(4)) {
    case 0:
        s.CtrlPress(kF4);
        WalkList(s, r, 3);
        s.Press(kEnter, 300);
        s.Press(kEscape, 300);
        break;
    case 1:
        s.CtrlPress(kL);
        WalkList(s, r, 11);
        s.Press(kEnter, 600);
        break;
    case 2: s.CtrlPress(kF9); break;
    default: s.CtrlPress(kOthers[r.Below(5)]); break;
    }
}

// A forced mission change, from play: either the developer mission list
// (Ctrl+L; its ninth entry, eight steps down from the first, is mission 7)
// or Ctrl+F9 twice, whose second step ends the open mission and, once its
// message has crossed the screen, opens the other.  The game is then left
// to run (a menu would hold it) with walks only.
void ChangeMission(Script& s, Random& r, bool fromList) {
    Settle(s);
    if (fromList) {
        s.CtrlPress(kL);
        s.Wait(500);
        for (int i = 0; i < 8; ++i) s.Press(kDown, 90);
        s.Press(kEnter, 600);
    } else {
        s.CtrlPress(kF9);
        s.Wait(1500);
        s.CtrlPress(kF9);
    }
    s.Press(kSpace, 400);
    const int64_t until = s.at + (fromList ? 4000 : 16000);
    while (s.at < until) Walk(s, r);
    // Mission 7 opens on its briefing, which Space ends.
    s.Press(kSpace, 400);
}

struct Episode {
    int weight;
    void (*write)(Script&, Random&);
};
constexpr Episode kEpisodes[] = {
    {30, Walk}, {10, Fire}, {8, Action}, {6, Page}, {6, Menu}, {6, SaveOrLoad}, {5, Quick}, {5, Developer},
    {4, [](Script& s, Random& r) { s.Wait(r.Between(40, 1600)); }},
};

// The script runs a little past the frames so that input never runs dry
// before the host closes.
std::string SoakScript(uint64_t seed, int frames) {
    const int64_t scriptPumps = (int64_t(frames) + 2000) * kPumpsPerFrame;
    const int64_t changeEvery = int64_t(kChangeFrames) * kPumpsPerFrame;
    Random r{seed};
    Script s;
    s.Wait(2000);
    // Mission 7 opens on its briefing.
    s.Press(kSpace, 400);
    int total = 0;
    for (const Episode& e : kEpisodes) total += e.weight;
    int64_t nextChange = changeEvery / 2;
    int changes = 0;
    while (s.at < scriptPumps) {
        if (s.at >= nextChange) {
            // Every third change goes through the mission list.
            ChangeMission(s, r, ++changes % 3 == 0);
            nextChange = std::max(nextChange + changeEvery, s.at + changeEvery / 2);
            continue;
        }
        int pick = r.Below(total);
        const Episode* e = kEpisodes;
        while (pick >= e->weight) pick -= e->weight, ++e;
        e->write(s, r);
    }
    return s.text;
}

uint64_t Seed() {
    const char* text = std::getenv("SOAK_SEED");
    return text && *text ? std::strtoull(text, nullptr, 0) : kDefaultSeed;
}

TEST(SoakScriptTest, SameSeedSameScriptOtherSeedOther) {
    const std::string a = SoakScript(kDefaultSeed, kFrames);
    EXPECT_EQ(a, SoakScript(kDefaultSeed, kFrames));
    EXPECT_NE(a, SoakScript(kDefaultSeed + 1, kFrames));
    // Every kind of input the soak claims to send is in it.
    for (const char* wanted : {" keydown 200\n", " keydown 16\n", " keydown 28\n", " keydown 1\n", " keydown 63\n",
                               " keydown 62\n", " keydown 67\n", " keydown 38\n", " keydown 15\n", " keydown 19\n"})
        EXPECT_NE(a.find(wanted), std::string::npos) << wanted;
}

double Mib(long kib) {
    return double(kib) / 1024.0;
}

// The peak of the samples in [from, to) seconds, -1 when none.
long PeakKiB(const std::vector<test::RssSample>& samples, double from, double to) {
    long peak = -1;
    for (const test::RssSample& s : samples)
        if (s.seconds >= from && s.seconds < to) peak = std::max(peak, s.kib);
    return peak;
}

void Soak(const test::Program& p) {
    SCOPED_TRACE(p.name);
    const uint64_t seed = Seed();
    const int frames = Frames();
    const std::string script = SoakScript(seed, frames);
    std::printf("%s: seed 0x%" PRIx64 ", %d frames, script %zu lines\n", p.name, seed, frames,
                size_t(std::count(script.begin(), script.end(), '\n')));
    // A longer run (SOAK_FRAMES) may take as many times longer.
    const int seconds = std::max(kSoakSeconds, int(int64_t(kSoakSeconds) * frames / kFrames));
    test::WatchedRun w =
        test::RunWatchedProgram(p.path, script, seconds, "Option=4\nMission=7\n", frames, {"GoToMission"});
    ASSERT_FALSE(w.run.dir.empty());
    const std::string& err = w.run.err;
    EXPECT_FALSE(w.timedOut) << "no end within " << seconds << " s";
    EXPECT_EQ(w.run.exitCode, 0) << err.substr(err.size() > 20000 ? err.size() - 20000 : 0);
    EXPECT_NE(err.find("headless: " + std::to_string(frames) + " frames presented"), std::string::npos)
        << "the run did not play all its frames";
    std::printf("%s: %.1f s, %zu memory samples\n", p.name, w.seconds, w.samples.size());
    ASSERT_FALSE(w.samples.empty());

    // The mission changes: every GoToMission (a load reopens its mission
    // too), and those that open the other mission.
    int switches = 0;
    std::string last = "GoToMission 7";
    for (size_t i = 0; i < w.marks.size(); ++i) {
        const test::TraceMark& m = w.marks[i];
        const double next = i + 1 < w.marks.size() ? w.marks[i + 1].seconds : w.seconds + 1;
        if (m.step != last) ++switches;
        last = m.step;
        std::printf("%s: %6.1f s %-16s RSS %7.1f MiB, peak until the next %7.1f MiB\n", p.name, m.seconds,
                    m.step.c_str(), Mib(m.kib), Mib(PeakKiB(w.samples, m.seconds, next)));
    }
    const long end = w.samples.back().kib;
    std::printf("%s: %zu mission changes, %d to the other mission; RSS at the end %.1f MiB, peak %.1f MiB\n", p.name,
                w.marks.size(), switches, Mib(end), Mib(PeakKiB(w.samples, 0, w.seconds + 1)));
    // A change every 3,000 frames or so, some lost to a menu left open.
    EXPECT_GE(switches, 4) << "too few mission changes";
    ASSERT_GE(w.marks.size(), 3u);

    // Flat memory: from the third change on (both missions have been
    // opened after a change by then) the peak stays within a bound of the
    // peak between the first and the third.
    const double settled = w.marks[2].seconds;
    const long before = PeakKiB(w.samples, w.marks[0].seconds, settled);
    const long after = PeakKiB(w.samples, settled, w.seconds + 1);
    std::printf("%s: peak RSS %.1f MiB over the first changes, %.1f MiB after: %+.1f MiB\n", p.name, Mib(before),
                Mib(after), Mib(after - before));
    if (!SOAK_ASAN) {
        constexpr long kGrowthKiB = 4 * 1024;
        EXPECT_LE(after - before, kGrowthKiB) << "resident memory grows from mission to mission";
    }
    std::error_code ec;
    if (!::testing::Test::HasFailure()) std::filesystem::remove_all(w.run.dir, ec);
}

TEST(SoakRunTest, GameSoft) {
    Soak(test::kGameSoft);
}

TEST(SoakRunTest, GameD3D) {
    Soak(test::kGameD3D);
}

}  // namespace
