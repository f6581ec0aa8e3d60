// The shop end to end in game-soft on mission 22: the shop key (E) opens
// the menu on the shop page, whose header shows the hero's energy and
// bonus in the headless host's text log; Enter buys the first weapon's
// first level (the demo gameplay.ini prices w1 at 120) and the energy shown
// drops by that price; Escape closes the menu and the main menu's Quit
// ends the run.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

const std::string kScript =
    "# E: the shop opens on the weapons, cursor on the first row.\n"
    "500 keydown 18\n600 keyup 18\n"
    "# Enter once the panel has slid open: buy a level.\n"
    "1200 keydown 28\n1300 keyup 28\n"
    "# Escape: the menu closes.\n"
    "1800 keydown 1\n1900 keyup 1\n" +
    test::QuitKeys(2600);

// The energy shown in the shop header ("Text 308 11 %04d") at the first
// such line from `from` on; -1 when none.
int ShownEnergy(const std::string& err, size_t from, size_t* at) {
    const std::string line = "trace: Text 308 11 ";
    *at = err.find(line, from);
    if (*at == std::string::npos) return -1;
    return std::stoi(err.substr(*at + line.size(), 4));
}

TEST(ShopRunTest, BuyingAPowerLowersTheEnergyShown) {
    test::DemoRun run = test::RunDemoProgram(MORVANEL_GAME_SOFT, kScript, 110);
    ASSERT_FALSE(run.dir.empty());
    const std::string& err = run.err;
    EXPECT_EQ(run.exitCode, 0) << err;
    size_t first = 0;
    const int before = ShownEnergy(err, 0, &first);
    ASSERT_GE(before, 120) << err;
    EXPECT_NE(err.find("trace: Text 320 447 Left and Right: table, Up and Down: power"), std::string::npos);
    EXPECT_NE(err.find("trace: Text 359 60 Sling"), std::string::npos);
    const size_t bought = err.find("trace: Buy w1 level 1 price 120 ", first);
    ASSERT_NE(bought, std::string::npos) << err;
    size_t after = 0;
    EXPECT_EQ(ShownEnergy(err, bought, &after), before - 120);
    // Bought once: one Enter, one level.
    EXPECT_EQ(err.find("trace: Buy ", bought + 1), std::string::npos);
    EXPECT_NE(err.find("Leave the game? (Y/N)"), std::string::npos);
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

}  // namespace
