// The open main menu as each program presents it full screen (5-6-5), kept
// as golden frames: Escape opens the menu over the demo room, whose panel
// covers the whole screen once it has slid open; Up wraps to Quit, Enter
// and Y end the run.  The panel holds no 3D view, so the two programs'
// frames agree but for the highlighted entry's pulse.
#include "tests/demo_run.h"
#include "tests/golden_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
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

std::vector<uint32_t> OpenMenuFrame(const char* program) {
    test::DemoRun run = test::RunDemoProgram(program, kScript, 110);
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

}  // namespace
