// Both programs on mission 22 in developer mode (the debug pages on),
// driven by scripted keys, in two runs each.  Quick keys: the hero turns,
// runs to the key and takes it, F5 saves (savegame.000), the hero walks on,
// F4 brings it back where it stood, with the key and the camera as they
// were.  Save pages: the save page writes slot 2 and, after a walk, the
// load page restores it; a corrupt slot 3 is refused on the load page and
// the game plays on.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// About 40 pumps of the host make a frame.  Each run first turns the debug
// pages on: Escape opens the menu, D, Escape closes it.
const std::string kDebugPagesOn = "500 keydown 1\n600 keyup 1\n1200 keydown 32\n1300 keyup 32\n1700 keydown 1\n1800 keyup 1\n";

// Escape (the main menu opens on its first entry), Up round to Quit,
// Enter, Y.
std::string QuitAt(int pump) {
    std::string s;
    for (auto [at, key] : {std::pair{0, 1}, {700, 200}, {900, 28}, {1200, 21}})
        s += std::to_string(pump + at) + " keydown " + std::to_string(key) + "\n" + std::to_string(pump + at + 50) +
             " keyup " + std::to_string(key) + "\n";
    return s;
}

const std::string kQuickKeys = kDebugPagesOn +
    "# Turn left and run to the key; Enter takes it.\n"
    "2200 keydown 203\n2720 keyup 203\n2800 keydown 200\n3600 keyup 200\n4000 keydown 28\n4050 keyup 28\n"
    "# F5 once the hero stands; walk on; F4.\n"
    "5600 keydown 63\n5650 keyup 63\n6000 keydown 200\n6600 keyup 200\n7400 keydown 62\n7450 keyup 62\n" +
    QuitAt(8800);

const std::string kSavePages = kDebugPagesOn +
    "# Escape, Down twice: Save the game; Enter; Down twice: slot 2; Enter saves; Escape closes.\n"
    "2200 keydown 1\n2300 keyup 1\n2900 keydown 208\n2950 keyup 208\n3100 keydown 208\n3150 keyup 208\n"
    "3300 keydown 28\n3350 keyup 28\n3600 keydown 208\n3650 keyup 208\n3800 keydown 208\n3850 keyup 208\n"
    "4000 keydown 28\n4050 keyup 28\n4300 keydown 1\n4400 keyup 1\n"
    "# Walk on; Escape, Down: Load a game; Enter; Enter loads slot 2, the slot used last.\n"
    "4800 keydown 200\n5400 keyup 200\n6000 keydown 1\n6100 keyup 1\n6700 keydown 208\n6750 keyup 208\n"
    "6900 keydown 28\n6950 keyup 28\n7200 keydown 28\n7250 keyup 28\n"
    "# Escape, Down: Load a game; Enter; Down: slot 3; Enter: refused.\n"
    "8400 keydown 1\n8500 keyup 1\n9100 keydown 208\n9150 keyup 208\n9300 keydown 28\n9350 keyup 28\n"
    "9600 keydown 208\n9650 keyup 208\n9800 keydown 28\n9850 keyup 28\n" +
    QuitAt(10900);

// The run trace's lines, in order.
std::vector<std::string> Lines(const std::string& err) {
    std::vector<std::string> out;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The index of the first line from `from` holding `text`, lines.size()
// when none.
size_t Find(const std::vector<std::string>& lines, const std::string& text, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(text) != std::string::npos) return i;
    return lines.size();
}

// The hero's line of the debug pages: "hero (...) ... (x,y,z)", its place
// and room taken from it.
std::string HeroPlace(const std::string& line) {
    const size_t room = line.find("(Cc ");
    const size_t at = line.rfind(" (");
    if (room == std::string::npos || at == std::string::npos) return "";
    return line.substr(room, line.find(' ', room + 4) - room) + line.substr(at);
}

// The hero's place on the last debug page drawn before line `before`, or
// the first drawn after line `after`.
std::string HeroBefore(const std::vector<std::string>& lines, size_t before) {
    for (size_t i = before; i-- > 0;)
        if (lines[i].find(" hero (") != std::string::npos) return HeroPlace(lines[i]);
    return "";
}
std::string HeroAfter(const std::vector<std::string>& lines, size_t after) {
    for (size_t i = after; i < lines.size(); ++i)
        if (lines[i].find(" hero (") != std::string::npos) return HeroPlace(lines[i]);
    return "";
}

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void QuickSaveAndLoad(const char* name, const char* program) {
    SCOPED_TRACE(name);
    test::DemoRun run = test::RunDemoProgram(program, kQuickKeys, test::kRunSeconds, "Option=4\n");
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.err);

    // The key was taken before the save: its line says it cannot be taken.
    const size_t saved = Find(lines, "trace: Status Game saved.");
    ASSERT_LT(saved, lines.size()) << run.err;
    const size_t keyLine = Find(lines, " KEY in ", saved);
    ASSERT_LT(keyLine, lines.size());
    EXPECT_NE(lines[keyLine].find("not takable"), std::string::npos) << lines[keyLine];
    EXPECT_TRUE(std::filesystem::exists(run.dir / "savegame.000"));

    // F4: the room and place of the save, after the walk had moved them.
    const std::string atSave = HeroBefore(lines, saved);
    const size_t loaded = Find(lines, "trace: Status Game loaded.", saved);
    ASSERT_LT(loaded, lines.size());
    const std::string walked = HeroBefore(lines, loaded);
    EXPECT_NE(walked, atSave) << "the walk moved the hero";
    EXPECT_EQ(HeroAfter(lines, loaded), atSave);
    EXPECT_FALSE(atSave.empty());
    const size_t keyAfter = Find(lines, " KEY in ", loaded);
    ASSERT_LT(keyAfter, lines.size());
    EXPECT_NE(lines[keyAfter].find("not takable"), std::string::npos) << lines[keyAfter];

    // The camera: seen from it the hero stands where it stood before the
    // save (its mean column on the screen and its size).
    std::vector<uint32_t> before, after;
    ASSERT_TRUE(test::ReadRunFrame(run, 5500 / 40, &before));
    ASSERT_TRUE(test::ReadRunFrame(run, 8600 / 40, &after));
    int beforeX = -1, afterX = -1;
    const int beforeCount = test::CountCharacterColour(before, true, &beforeX);
    const int afterCount = test::CountCharacterColour(after, true, &afterX);
    EXPECT_GT(beforeCount, 0);
    EXPECT_NEAR(afterCount, beforeCount, beforeCount / 5 + 10);
    EXPECT_NEAR(afterX, beforeX, 8);
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

void SavePagesSaveAndLoad(const char* name, const char* program) {
    SCOPED_TRACE(name);
    // A slot the load page will be asked for: a save of another version.
    const std::string corrupt = std::string("\x11\x04\x00\x00", 4) + std::string(200, '\x01');
    test::DemoRun run =
        test::RunDemoProgram(program, kSavePages, test::kRunSeconds, "Option=4\n", {{"savegame.003", corrupt}});
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.err);

    // The save page wrote slot 2 under menu text 140 (mission 22); the load
    // page read it back, the hero where it stood.
    const std::string slot2 = Slurp(run.dir / "savegame.002");
    ASSERT_GE(slot2.size(), 80u);
    EXPECT_EQ(slot2.substr(16, slot2.find('\0', 16) - 16), "Beyond the map");
    const size_t pageSave = Find(lines, "trace: Status Game saved.");
    ASSERT_LT(pageSave, lines.size()) << run.err;
    EXPECT_LT(Find(lines, "Text 320 107 Beyond the map", pageSave), lines.size()) << "slot 2's new label";
    const std::string atPageSave = HeroBefore(lines, pageSave);
    const size_t readBack = Find(lines, "trace: GoToMission 22", pageSave);
    ASSERT_LT(readBack, lines.size());
    EXPECT_NE(HeroBefore(lines, readBack), atPageSave) << "the walk moved the hero";
    EXPECT_EQ(HeroAfter(lines, readBack), atPageSave);

    // The corrupt slot: refused, the game plays on to the quit prompt.
    const size_t refused = Find(lines, "trace: Status The saved game could not be read.", readBack);
    ASSERT_LT(refused, lines.size());
    const size_t prompt = Find(lines, "Leave the game?", refused);
    EXPECT_LT(prompt, lines.size());
    EXPECT_GT(Find(lines, "trace: GoToMission", refused), prompt) << "no mission was started again";
    EXPECT_EQ(Slurp(run.dir / "savegame.003"), corrupt);
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(SaveRunTest, GameSoftQuickSavesAndLoads) {
    QuickSaveAndLoad("game-soft", MORVANEL_GAME_SOFT);
}

TEST(SaveRunTest, GameD3DQuickSavesAndLoads) {
    QuickSaveAndLoad("game-d3d", MORVANEL_GAME_D3D);
}

TEST(SaveRunTest, GameSoftSavePagesSaveAndLoad) {
    SavePagesSaveAndLoad("game-soft", MORVANEL_GAME_SOFT);
}

TEST(SaveRunTest, GameD3DSavePagesSaveAndLoad) {
    SavePagesSaveAndLoad("game-d3d", MORVANEL_GAME_D3D);
}

}  // namespace
