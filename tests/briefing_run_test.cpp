// game-soft headless on mission 7 (developer option 4 names the first
// mission): the mission opens on its briefing (".\ms29\", briefing number
// 20 + 9), which holds the game on the pause path until Space; the world
// runs again after it.  The briefing's frame is kept as a golden frame
// (5-6-5): the kit's briefing text over the frozen gate room, with the
// "Space or Enter" prompt.
#include "tests/demo_run.h"
#include "tests/golden_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// About 40 pumps make a frame: Space at frame 25 ends the briefing, the
// run quits some 15 frames later.
const std::string kScript = "1000 keydown 57\n1100 keyup 57\n" + test::QuitKeys(1600);
// A frame while the briefing waits.
constexpr int kBriefingFrame = 15;

size_t IndexOf(const std::vector<std::string>& steps, const std::string& step) {
    return size_t(std::find(steps.begin(), steps.end(), step) - steps.begin());
}

TEST(BriefingRunTest, Mission7WaitsForSpaceOnItsBriefing) {
    test::DemoRun run = test::RunDemoProgram(MORVANEL_GAME_SOFT, kScript, 400, "Option=4\nMission=7\n");
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> steps =
        test::TraceSteps(run.err, {"OpenMission", "BriefingShown", "BriefingEnded", "UpdateTendril "});
    const size_t shown = IndexOf(steps, "BriefingShown 29"), ended = IndexOf(steps, "BriefingEnded");
    ASSERT_LT(shown, steps.size()) << run.err;
    ASSERT_LT(ended, steps.size()) << run.err;
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "BriefingShown 29"), 1);
    // Paused: no tendril is updated while the briefing waits, and the
    // world runs on after it.
    EXPECT_TRUE(std::none_of(steps.begin() + long(shown), steps.begin() + long(ended),
                             [](const std::string& s) { return s.rfind("UpdateTendril ", 0) == 0; }));
    EXPECT_TRUE(std::any_of(steps.begin() + long(ended), steps.end(),
                            [](const std::string& s) { return s.rfind("UpdateTendril ", 0) == 0; }));
    std::vector<uint32_t> frame;
    ASSERT_TRUE(test::ReadRunFrame(run, kBriefingFrame, &frame)) << run.err;
    test::ExpectPngGolden("briefing_mission7-565.png", frame, 640, 480);
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

}  // namespace
