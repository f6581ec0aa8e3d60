// Both programs on mission 22, driven by scripted keys, the enemy manager
// closed: the hero takes its fourth weapon power (the first it owns) with
// the next-weapon key and fires it at the guard.  The energy falls by the
// power's cost, the shot's effect starts, flies to the guard and takes the
// hero's shot cost from its life.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// About 40 pumps of the host make one frame of the game.  Z (44) four
// times: weapon row 4.  Left (203) for 8 frames: the hero turns until the
// guard stands within its facing cone (Get_FacingCosXZ above 12000 takes
// the orientation's (-m00, 0, m02) as the facing: from the start, where
// the guard is seen at about 68 degrees off it, a turn of 6 to 10 frames to
// the left brings it in).  Q (16) held for a few frames fires; then the
// menu's quit entry and Y at the quit prompt.
const char* kFireAtTheGuard =
    "# Weapon row 4.\n"
    "400 keydown 44\n440 keyup 44\n520 keydown 44\n560 keyup 44\n640 keydown 44\n680 keyup 44\n"
    "760 keydown 44\n800 keyup 44\n"
    "# Face the guard, then fire.\n"
    "850 keydown 203\n1170 keyup 203\n"
    "1500 keydown 16\n1650 keyup 16\n";

// The kit's numbers for mission 22: gameplay.ini gives weapon row 4 a cost
// of 4 + 4 a level (used at level 1, the level it is bought at) and the
// hero a start energy of 200; the guard has 100 life.
constexpr int kCost = 8;
constexpr int kEnergyBefore = 200;
constexpr int kGuardLife = 100;  // the game's life of the guard

void FireAtTheGuard(const test::Program& p) {
    SCOPED_TRACE(p.name);
    test::DemoRun run = test::RunDemoProgram(p.path, std::string(kFireAtTheGuard) + test::QuitKeys(9000), test::kRunSeconds);
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The guard's own shots at the hero (it spends nothing) are not the
    // hero's.
    std::vector<std::string> steps;
    for (const std::string& s : test::TraceSteps(run.err, {"Spend", "Fire", "Hit", "EnergyExhausted", "EM_ImpactEnemy"}))
        if (s != "Spend 0 energy 0" && s.rfind("Hit hero ", 0) != 0) steps.push_back(s);
    for (const std::string& s : steps) std::printf("%s: %s\n", p.name, s.c_str());
    ASSERT_GE(steps.size(), 3u) << run.err;
    // The energy step, then the shot's effect (the row's A/B variant), then
    // the hit on the guard.
    char spend[64];
    std::snprintf(spend, sizeof spend, "Spend %d energy %d", kCost, kEnergyBefore - kCost);
    EXPECT_EQ(steps[0], spend);
    EXPECT_TRUE(steps[1].rfind("Fire .\\effects\\w5-1-A.cgs ", 0) == 0 ||
                steps[1].rfind("Fire .\\effects\\w5-1-B.cgs ", 0) == 0)
        << steps[1];
    const int instance = std::atoi(steps[1].substr(steps[1].rfind(' ') + 1).c_str());
    EXPECT_GE(instance, 0) << steps[1];
    // The enemy manager is open: the bolt's hit goes to it under the set's
    // name and its script's damage for that weapon (8), and the game's own
    // hit leaves the guard's life to the manager.
    EXPECT_EQ(steps[2], "EM_ImpactEnemy bolt 8");
    char hit[64];
    std::snprintf(hit, sizeof hit, "Hit guard %d", kGuardLife);
    ASSERT_GE(steps.size(), 4u) << run.err;
    EXPECT_EQ(steps[3], hit);
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(CombatRunTest, GameSoftHeroShootsTheGuard) {
    FireAtTheGuard(test::kGameSoft);
}

TEST(CombatRunTest, GameD3DHeroShootsTheGuard) {
    FireAtTheGuard(test::kGameD3D);
}

}  // namespace
