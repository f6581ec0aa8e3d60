// game-soft on mission 22 in developer mode: Escape opens the menu, D turns
// the developer pages on, and their lines (sound, room, characters,
// objects, events) reach the headless host's text output, which the run
// trace shows as "Text x y text" lines; Escape closes the menu and the
// main menu's Quit ends the run.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kScript =
    "# Escape opens the menu; once open, D (0x20) turns the pages on.\n"
    "500 keydown 1\n600 keyup 1\n1200 keydown 32\n1300 keyup 32\n"
    "# Escape closes the menu; play goes on with the pages shown.\n"
    "1700 keydown 1\n1800 keyup 1\n" +
    test::QuitKeys(2800);

// The trace's text lines drawn at x.
std::vector<std::string> TextsAt(const std::string& err, int x) {
    std::vector<std::string> out;
    std::istringstream in(err);
    const std::string prefix = "trace: Text " + std::to_string(x) + " ";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        const size_t text = line.find(' ', prefix.size());
        if (text != std::string::npos) out.push_back(line.substr(text + 1));
    }
    return out;
}

bool AnyStartsWith(const std::vector<std::string>& texts, const std::string& start) {
    for (const std::string& t : texts)
        if (t.rfind(start, 0) == 0) return true;
    return false;
}

TEST(DebugPagesRunTest, DeveloperPagesReachTheTextLog) {
    test::DemoRun run = test::RunDemoProgram(MORVANEL_GAME_SOFT, kScript, 110, "Option=4\n");
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> block = TextsAt(run.err, 50);
    const std::vector<std::string> lists = TextsAt(run.err, 200);
    EXPECT_TRUE(AnyStartsWith(block, "Audio:")) << run.err;
    EXPECT_TRUE(AnyStartsWith(block, "maxCase "));
    EXPECT_TRUE(AnyStartsWith(block, "Salle :"));
    EXPECT_TRUE(AnyStartsWith(block, "Tendrils :"));
    EXPECT_TRUE(AnyStartsWith(block, "[Events]"));
    EXPECT_TRUE(AnyStartsWith(lists, "Characters"));
    EXPECT_TRUE(AnyStartsWith(lists, "Objects loaded"));
    // The hero's line: slot 0's definition, in the room entered.
    bool heroInRoom = false;
    for (const std::string& t : lists) heroInRoom = heroInRoom || t.find("(Cc 0 - ") != std::string::npos;
    EXPECT_TRUE(heroInRoom);
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

// M (0x32) in the menu turns the engine's memory page on: one line per
// block of the 3D memory from the top-left corner, in both programs.
TEST(DebugPagesRunTest, TheMKeyShowsTheEngineMemoryPage) {
    const std::string script =
        "500 keydown 1\n600 keyup 1\n1200 keydown 50\n1300 keyup 50\n1700 keydown 1\n1800 keyup 1\n" +
        test::QuitKeys(2800);
    for (const char* program : {MORVANEL_GAME_SOFT, MORVANEL_GAME_D3D}) {
        SCOPED_TRACE(program);
        test::DemoRun run = test::RunDemoProgram(program, script, 110, "Option=4\n");
        ASSERT_FALSE(run.dir.empty());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        int blocks = 0;
        for (const std::string& t : TextsAt(run.err, 0))
            blocks += t.rfind("0x", 0) == 0 && t.find(" Sz:") != std::string::npos && t.find(" N:0x") != std::string::npos;
        EXPECT_GE(blocks, 2) << run.err.substr(0, 4000);
        std::error_code ec;
        std::filesystem::remove_all(run.dir, ec);
    }
}

}  // namespace
