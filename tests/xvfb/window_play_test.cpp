// The first minute of the demo's play-through in a real window: each
// program on the SDL back end under a virtual X server the test starts,
// with sound on (into a file), played by the live driver through keys sent
// to the window; the same play headless, every frame captured.  At the
// same moments of both (the main menu over the hall, the save page, the
// load page, the quit prompt) the window's dump must show what the
// headless frame shows.  Skipped where Xvfb, xdotool or xwd is missing.
#include "tests/golden_files.h"
#include "tests/live_run.h"
#include "tests/play_steps.h"
#include "tests/xvfb/xvfb_server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using test::LiveRun;
using namespace test::play;

const char* const kMoments[] = {"menu", "savepage", "loadpage", "quitprompt"};
// The most a moment's dump may differ from its headless frame, per channel
// of 255 on average: the pages are the same, the world behind them and the
// debug pages' figures a little apart.
constexpr double kLimit = 2.0;
// The most each of the two runs may take: both end within the ten minutes
// CTest gives the test, so a run out of time says where it stood.
constexpr int kPlaySeconds = 280;

// Mission 22 from a new game: the main menu opened (the debug pages
// turned on) and closed, the guard
// fought, the key taken, a quick save and load, the save page and the
// load page, then the main menu's Quit.  Each moment is kept once its
// page has slid open.
void PlayFirstMinute(LiveRun& run) {
    ASSERT_TRUE(run.RunUntil("GameLoop", 4000 * kFrame, 0));
    run.Run(12 * kFrame);
    run.Press(test::kScanEscape, 50, 20 * kFrame);
    ASSERT_TRUE(run.Snapshot("menu"));
    // D: the debug pages, whose lists tell where the characters stand.
    MenuKeys(run, {test::kScanD, test::kScanEscape});
    run.Run(10 * kFrame);
    SelectBolt(run);
    size_t mark = run.Mark();
    EXPECT_TRUE(FightAndKill(run, "guard", mark, 430));
    mark = run.Mark();
    EXPECT_TRUE(run.WalkTo(-250, 300, 150));
    run.Press(test::kScanEnter, 60, 35 * kFrame);
    EXPECT_TRUE(HasStatus(run, "You take Iron key.", mark));
    run.Press(test::kScanF5, 60, 4 * kFrame);
    run.Run(12 * kFrame, {"keydown 200"});
    run.Run(kFrame, {"keyup 200"});
    run.Press(test::kScanF4, 60, 8 * kFrame);
    // Escape, Down twice: Save the game; Enter: the save page.
    MenuKeys(run, {test::kScanEscape, test::kScanDown, test::kScanDown, test::kScanEnter});
    run.Run(10 * kFrame);
    ASSERT_TRUE(run.Snapshot("savepage"));
    MenuKeys(run, {test::kScanDown, test::kScanDown, test::kScanEnter, test::kScanEscape});
    // Escape, Down: Load a game; Enter: the load page.
    MenuKeys(run, {test::kScanEscape, test::kScanDown, test::kScanEnter});
    run.Run(10 * kFrame);
    ASSERT_TRUE(run.Snapshot("loadpage"));
    mark = run.Mark();
    MenuKeys(run, {test::kScanEnter});
    EXPECT_TRUE(run.RunUntil("StartMission 1", 200 * kFrame, mark)) << run.LastLine("trace: Status");
    run.Run(20 * kFrame);
    // Escape, Up round to Quit, Enter: the quit prompt; Y.
    MenuKeys(run, {test::kScanEscape, test::kScanUp, test::kScanEnter});
    run.Run(10 * kFrame);
    ASSERT_TRUE(run.Snapshot("quitprompt"));
    run.Press(test::kScanY, 60, 60);
}

// A dump of the X window dumper (XWD: a big-endian header of 25 words, the
// colour map, then the pixels) as 0xRRGGBB; false when it cannot be read.
bool ReadXwd(const std::filesystem::path& path, std::vector<uint32_t>* xrgb, int* width, int* height) {
    const std::string bytes = Slurp(path);
    if (bytes.size() < 100) return false;
    auto word = [&](size_t i) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes.data()) + i * 4;
        return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    };
    const uint32_t headerSize = word(0), format = word(2), w = word(4), h = word(5), byteOrder = word(7);
    const uint32_t bits = word(11), bytesPerLine = word(12), colours = word(19);
    if (format != 2 || (bits != 24 && bits != 32) || w == 0 || h == 0 || w > 4096 || h > 4096) return false;
    const uint64_t start = uint64_t(headerSize) + uint64_t(colours) * 12;
    if (start + uint64_t(bytesPerLine) * h > bytes.size()) return false;
    const int step = int(bits / 8);
    xrgb->assign(size_t(w) * h, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + start + uint64_t(y) * bytesPerLine +
                            uint64_t(x) * step;
            uint32_t v = 0;
            for (int i = 0; i < step; ++i) v |= uint32_t(p[i]) << (byteOrder ? 8 * (step - 1 - i) : 8 * i);
            (*xrgb)[size_t(y) * w + x] = v & 0xFFFFFF;
        }
    *width = int(w), *height = int(h);
    return true;
}

// The mean difference per channel of two 640 x 480 pictures, from the
// top-left corner of each.
double MeanDifference(const std::vector<uint32_t>& a, int aWidth, const std::vector<uint32_t>& b, int bWidth) {
    double sum = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = a[size_t(y) * aWidth + x], q = b[size_t(y) * bWidth + x];
            for (int shift : {0, 8, 16}) sum += std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF));
        }
    return sum / (640.0 * 480.0 * 3.0);
}

void FirstMinuteInAWindow(const test::Program& p) {
    SCOPED_TRACE(p.name);
    // The headless play, every frame kept: at each moment the frame
    // presented last is the one the window must show.
    LiveRun headless(p, "Option=4\n", kPlaySeconds, {.window = false, .windowed = true, .capture = true});
    ASSERT_TRUE(headless.Running());
    {
        SCOPED_TRACE("headless");
        PlayFirstMinute(headless);
    }
    EXPECT_EQ(headless.Finish(), 0);

    test::XvfbServer server;
    ASSERT_TRUE(server.Start("1024x768x24"));
    LiveRun window(p, "Option=4\n", kPlaySeconds, {.window = true, .windowed = true, .capture = false});
    ASSERT_TRUE(window.Running());
    {
        SCOPED_TRACE("in a window");
        PlayFirstMinute(window);
    }
    EXPECT_EQ(window.Finish(), 0);
    EXPECT_FALSE(window.Steps("SND_SetVoiceCount").empty()) << "sound was off";
    std::error_code ec;
    EXPECT_GT(std::filesystem::file_size(window.dir / "audio.raw", ec), 0u) << "the audio device received nothing";

    for (const char* moment : kMoments) {
        SCOPED_TRACE(moment);
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05llu.png",
                      static_cast<unsigned long long>(headless.SnapshotFrame(moment)));
        std::vector<uint32_t> frame, dump;
        int fw = 0, fh = 0, dw = 0, dh = 0;
        ASSERT_TRUE(test::ReadPng((headless.dir / "frames" / name).string(), &frame, &fw, &fh)) << name;
        ASSERT_TRUE(ReadXwd(window.SnapshotPath(moment), &dump, &dw, &dh));
        ASSERT_GE(fw, 640);
        ASSERT_GE(fh, 480);
        ASSERT_GE(dw, 640);
        ASSERT_GE(dh, 480);
        const double difference = MeanDifference(frame, fw, dump, dw);
        std::printf("%s %s: the window's dump differs from headless %s by %.2f a channel\n", p.name, moment, name,
                    difference);
        EXPECT_LT(difference, kLimit);
    }
}

TEST(WindowPlayTest, GameSoftPlaysItsFirstMinuteInAWindow) {
    if (!test::OnPath("Xvfb") || !test::OnPath("xdotool") || !test::OnPath("xwd"))
        GTEST_SKIP() << "Xvfb, xdotool or xwd is not installed";
    FirstMinuteInAWindow(test::kGameSoft);
}

TEST(WindowPlayTest, GameD3DPlaysItsFirstMinuteInAWindow) {
    if (!test::OnPath("Xvfb") || !test::OnPath("xdotool") || !test::OnPath("xwd"))
        GTEST_SKIP() << "Xvfb, xdotool or xwd is not installed";
    FirstMinuteInAWindow(test::kGameD3D);
}

}  // namespace
