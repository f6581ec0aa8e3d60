// Both programs headless: on mission 7 (developer option 4 names the first
// mission) the room entered grows its tendrils on the canopy and every frame
// updates them (a run-trace line per tendril update); on mission 22 the
// room's tendrils are made but never updated.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr int kBriefedMission = 7;

// Trace lines that start with `prefix`.
int CountTrace(const std::string& err, const std::string& prefix) {
    const std::string wanted = "trace: " + prefix;
    int n = 0;
    for (size_t at = err.find(wanted); at != std::string::npos; at = err.find(wanted, at + 1))
        if (at == 0 || err[at - 1] == '\n') ++n;
    return n;
}

void RunMission(const test::Program& p, int mission) {
    SCOPED_TRACE(std::string(p.name) + " mission " + std::to_string(mission));
    const std::string lines = "Option=4\nMission=" + std::to_string(mission) + "\n";
    // Mission 7 opens on its briefing, which waits for Space (57); mission 22
    // has none.
    const std::string briefing = mission == kBriefedMission ? "200 keydown 57\n300 keyup 57\n" : "";
    test::DemoRun run = test::RunDemoProgram(p.path, briefing + test::QuitKeys(1600), test::kRunSeconds, lines);
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(CountTrace(run.err, "OpenMission " + std::to_string(mission)), 1) << run.err;
    EXPECT_GE(CountTrace(run.err, "CreateRoomTendrils"), 1);
    const int updates = CountTrace(run.err, "UpdateTendril ");
    std::printf("%s mission %d: %d tendril updates\n", p.name, mission, updates);
    if (mission < 20) {
        // Ten tendrils of side 0, each updated every frame of play.
        EXPECT_GE(updates, 10 * 20);
    } else {
        EXPECT_EQ(updates, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(TendrilRunTest, GameSoftUpdatesTendrilsInMission7AndNeverIn22) {
    RunMission(test::kGameSoft, 7);
    RunMission(test::kGameSoft, 22);
}

TEST(TendrilRunTest, GameD3DUpdatesTendrilsInMission7AndNeverIn22) {
    RunMission(test::kGameD3D, 7);
    RunMission(test::kGameD3D, 22);
}

}  // namespace
