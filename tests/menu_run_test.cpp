// Both programs on mission 22 in developer mode, driven by scripted keys
// through the menu: Escape opens the main menu, whose lines reach the
// headless host's text log (the run trace); New game and its first entry
// begin the mission again once the frame is done; Ctrl+F4's level jump
// enters the crypt; the main menu's Quit asks, N goes back to the game,
// and Quit again and Y end the run.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string kScript =
    "# Escape: the main menu opens on New game; Enter: the mission choice;\n"
    "# Enter: this mission from its start.\n"
    "500 keydown 1\n600 keyup 1\n1200 keydown 28\n1300 keyup 28\n1500 keydown 28\n1600 keyup 28\n"
    "# Left Ctrl + F4: the level jump; Enter: its first entry, room 1; Escape closes.\n"
    "2200 keydown 29\n2300 keydown 62\n2400 keyup 62\n2500 keyup 29\n3000 keydown 28\n3100 keyup 28\n"
    "3300 keydown 1\n3400 keyup 1\n"
    "# Escape, Down six times to Quit, Enter: the prompt; N: back to the game.\n"
    "4200 keydown 1\n4300 keyup 1\n"
    "4800 keydown 208\n4850 keyup 208\n5000 keydown 208\n5050 keyup 208\n5200 keydown 208\n5250 keyup 208\n"
    "5400 keydown 208\n5450 keyup 208\n5600 keydown 208\n5650 keyup 208\n5800 keydown 208\n5850 keyup 208\n"
    "6000 keydown 28\n6100 keyup 28\n6400 keydown 49\n6500 keyup 49\n"
    "# The main menu is still open on Quit: Enter, then Y.\n"
    "7200 keydown 28\n7300 keyup 28\n7600 keydown 21\n7700 keyup 21\n";

// The position in the run trace of the first line that starts with `line`
// from `from` on, npos when none.
size_t TraceLine(const std::string& err, const std::string& line, size_t from = 0) {
    const std::string wanted = "trace: " + line;
    size_t at = err.find(wanted, from);
    while (at != std::string::npos && at > 0 && err[at - 1] != '\n') at = err.find(wanted, at + 1);
    return at;
}

void RunThroughTheMenu(const char* name, const char* program) {
    SCOPED_TRACE(name);
    test::DemoRun run = test::RunDemoProgram(program, kScript, 110, "Option=4\n");
    ASSERT_FALSE(run.dir.empty());
    const std::string& err = run.err;
    EXPECT_EQ(run.exitCode, 0) << err;
    // The main menu: its title at (width / 2 + 2, 10), its entries from
    // (width / 2, 48) 17 pixels apart (the list font's 15 + 2), the
    // highlighted one again as caption line 2 at (320, 479 - 48).
    const std::vector<std::string> menu = {
        "Text 322 10 Main menu",   "Text 320 48 New game", "Text 320 65 Load a game", "Text 320 82 Save the game",
        "Text 320 99 Delete a game", "Text 320 116 Credits", "Text 320 133 Options",  "Text 320 150 Quit",
        "Text 320 431 New game"};
    for (const std::string& line : menu) EXPECT_NE(TraceLine(err, line), std::string::npos) << line;
    // The mission choice, then the mission begun again after its list was
    // drawn.
    const size_t choice = TraceLine(err, "Text 322 10 Choose a mission");
    ASSERT_NE(choice, std::string::npos) << err;
    EXPECT_NE(TraceLine(err, "Text 320 48 This mission from its start"), std::string::npos);
    const size_t again = TraceLine(err, "GoToMission 22", choice);
    ASSERT_NE(again, std::string::npos) << err;
    EXPECT_NE(TraceLine(err, "OpenMission 22", again), std::string::npos);
    // The level jump lists the second room under no title and enters it.
    const size_t crypt = TraceLine(err, "Text 320 48 ", again);
    ASSERT_NE(crypt, std::string::npos);
    EXPECT_NE(TraceLine(err, "ChangeRoom 1", crypt), std::string::npos) << err;
    EXPECT_NE(TraceLine(err, "EnterRoom 1", crypt), std::string::npos);
    // Quit: the prompt is shown, then the run ends.
    EXPECT_NE(TraceLine(err, "Text 320 150 Quit", crypt), std::string::npos);
    // N answers the first prompt and play goes on with the menu still open;
    // its Quit asks again; Y then ends the run with the player's
    // settings written.
    const size_t prompt = err.find("Leave the game? (Y/N)");
    ASSERT_NE(prompt, std::string::npos) << err;
    const size_t reopened = TraceLine(err, "Text 322 10 Main menu", prompt);
    ASSERT_NE(reopened, std::string::npos) << err;
    EXPECT_NE(err.find("Leave the game? (Y/N)", reopened), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(run.dir / "player.ini"));
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(MenuRunTest, GameSoftRunsThroughTheMenu) {
    RunThroughTheMenu("game-soft", MORVANEL_GAME_SOFT);
}

TEST(MenuRunTest, GameD3DRunsThroughTheMenu) {
    RunThroughTheMenu("game-d3d", MORVANEL_GAME_D3D);
}

}  // namespace
