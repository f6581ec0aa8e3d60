// The open main menu as each program presents it full screen (5-6-5), kept
// as golden frames: Escape opens the menu over the demo room, whose panel
// covers the whole screen once it has slid open; Up wraps to Quit, Enter
// and Y end the run.  The panel holds no 3D view, so the two programs'
// frames agree but for the highlighted entry's pulse.
#include "tests/demo_run.h"
#include "tests/golden_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kScript =
    "500 keydown 1\n600 keyup 1\n"
    "3000 keydown 200\n3100 keyup 200\n3300 keydown 28\n3400 keyup 28\n3700 keydown 21\n3800 keyup 21\n";

// A frame well after the slide has ended, before Up moves the cursor.
constexpr int kOpenFrame = 60;
// The highlighted entry's row ("New game", from y 48, the list font's 15
// pixels and 2 between rows), whose colour pulses with the frame clock.
constexpr int kPulseTop = 48, kPulseBottom = 65;

std::vector<uint32_t> OpenMenuFrame(const char* program, bool windowed = false) {
    // config.ini written over the one the folder is made with.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"config.ini", std::string("[Game]\nResource=yes\n[Video]\nWindowed=") + (windowed ? "yes" : "no") + "\n"}};
    test::DemoRun run = test::RunDemoProgram(program, kScript, 110, "", files);
    std::vector<uint32_t> frame;
    EXPECT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(test::ReadRunFrame(run, kOpenFrame, &frame)) << run.err;
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
    return frame;
}

TEST(MenuGoldenTest, BothProgramsPresentTheOpenMainMenuAlike) {
    const std::vector<uint32_t> soft = OpenMenuFrame(MORVANEL_GAME_SOFT);
    const std::vector<uint32_t> d3d = OpenMenuFrame(MORVANEL_GAME_D3D);
    ASSERT_EQ(soft.size(), size_t(640 * 480));
    ASSERT_EQ(d3d.size(), soft.size());
    test::ExpectPngGolden("main_menu-565.png", soft, 640, 480);
    test::ExpectPngGolden("d3d_main_menu-565.png", d3d, 640, 480);
    size_t differ = 0, outsidePulse = 0;
    for (size_t i = 0; i < soft.size(); ++i) {
        if (soft[i] == d3d[i]) continue;
        ++differ;
        const int y = int(i / 640);
        if (y < kPulseTop || y >= kPulseBottom) ++outsidePulse;
    }
    std::printf("open main menu: %zu pixels differ between the programs\n", differ);
    EXPECT_EQ(outsidePulse, 0u);
}

// A 16-bit frame in a window is shown as 5-5-5, full screen as 5-6-5: the
// same text differs by less than one 5-bit step (8 levels) per channel.
// Compared: the list's rows below the pulsing highlighted entry ("Load a
// game" to "Quit") and the caption line at the panel's foot.
TEST(MenuGoldenTest, TextInAWindowHasTheFullScreenColours) {
    struct Area {
        const char* what;
        int left, top, right, bottom;
    };
    const Area kTextAreas[] = {{"list", 300, kPulseBottom, 520, 175}, {"caption", 300, 425, 520, 450}};
    constexpr int kStep555 = 8;
    for (const char* program : {MORVANEL_GAME_SOFT, MORVANEL_GAME_D3D}) {
        SCOPED_TRACE(program);
        const std::vector<uint32_t> window = OpenMenuFrame(program, true);
        const std::vector<uint32_t> full = OpenMenuFrame(program, false);
        ASSERT_EQ(window.size(), size_t(640 * 480));
        ASSERT_EQ(full.size(), window.size());
        for (const Area& a : kTextAreas) {
            int far = 0, grey = 0;
            for (int y = a.top; y < a.bottom; ++y)
                for (int x = a.left; x < a.right; ++x) {
                    const uint32_t w = window[size_t(y) * 640 + x], f = full[size_t(y) * 640 + x];
                    bool near = true;
                    for (int shift : {16, 8, 0})
                        near = near && std::abs(int(w >> shift & 0xFF) - int(f >> shift & 0xFF)) <= kStep555;
                    far += !near;
                    // Text drawn in a grey: the three channels equal, well above the panel's blues.
                    const int r = int(f >> 16 & 0xFF), g = int(f >> 8 & 0xFF), b = int(f & 0xFF);
                    grey += r > 100 && std::abs(r - g) <= 4 && std::abs(r - b) <= 4;
                }
            EXPECT_GT(grey, 100) << a.what << ": no grey text in the full-screen frame";
            EXPECT_EQ(far, 0) << a.what;
        }
    }
}

}  // namespace
