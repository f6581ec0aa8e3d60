// Both programs headless on mission 7 (developer option 4 names the first
// mission), one run each, through the mission's flow with scripted keys:
// - the mission opens on its briefing (number 29), which holds the game
//   while Left is held and lets it go on after Space;
// - Tab opens the map page with only the gate visited: the gate's floor
//   is drawn, the nave's and the vault's are not;
// - Ctrl+F4's level jump enters the nave; the map now draws the gate and
//   the nave, the vault still not;
// - Ctrl+F9 advances the mission's step to 1: the guard's event speaks its
//   phrase and starts message 1, whose ticker crosses the top of the
//   screen 140 ticks later;
// - R opens the journal, Right four times reaches the statistics;
// - Ctrl+F9 again: step 2's event finishes the mission (next 22); once the
//   ticker has run out the game writes the autosave (slot 1, named after
//   the mission) and opens mission 22.
// The game-soft run's briefing, map and journal frames are kept as goldens
// (5-6-5).
#include "tests/demo_run.h"
#include "tests/golden_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kTab = 15, kEnter = 28, kEscape = 1, kR = 19, kRight = 205, kF4 = 62, kF9 = 67;

// Pumps of the script's steps, and the frames looked at: each page has
// slid open (9 frames) well before its frame.
constexpr int kHeldInBriefing = 200, kSpace = 1000, kHeldInPlay = 1200;
// Frames while Left is held: two in the briefing, two in play.
constexpr int kBriefingFrames[2] = {300 / 40, 900 / 40}, kPlayFrames[2] = {1300 / 40, 1600 / 40};
// The HUD below this row goes on drawing its counters during the pause;
// the view and the briefing lie above it.
constexpr int kHudTop = 376;
// Turning for 300 pumps moves the view a great deal: a tenth of the screen
// at least.
constexpr int kTurnedPixels = 640 * 48;
constexpr int kFirstMap = 1800, kFirstMapFrame = 2400 / 40;
constexpr int kLevelJump = 3000;
constexpr int kSecondMap = 5000, kSecondMapFrame = 5600 / 40;
constexpr int kStepOne = 6600;
constexpr int kJournal = 7400, kJournalFrame = 8800 / 40;
constexpr int kStepTwo = 9800;
constexpr int kQuit = 21400;

std::string Script() {
    std::string s = "# Left held while the briefing shows; Space ends it; Left again.\n";
    s += std::to_string(kHeldInBriefing) + " keydown 203\n" + std::to_string(kSpace - 100) + " keyup 203\n";
    s += test::Press(kSpace, 57);
    s += std::to_string(kHeldInPlay) + " keydown 203\n" + std::to_string(kHeldInPlay + 400) + " keyup 203\n";
    s += "# Tab: the map page; Tab closes it.\n" + test::Press(kFirstMap, kTab) + test::Press(kFirstMap + 800, kTab);
    s += "# Ctrl+F4: the level jump; Enter: its first entry, the nave; Escape closes.\n" +
         test::CtrlPress(kLevelJump, kF4) + test::Press(kLevelJump + 800, kEnter) + test::Press(kLevelJump + 1100, kEscape);
    s += "# The map again.\n" + test::Press(kSecondMap, kTab) + test::Press(kSecondMap + 800, kTab);
    s += "# Ctrl+F9: step 1.\n" + test::CtrlPress(kStepOne, kF9);
    s += "# R: the journal; Right four times: the record's statistics; Escape closes.\n" + test::Press(kJournal, kR);
    for (int i = 0; i < 4; ++i) s += test::Press(kJournal + 600 + 150 * i, kRight);
    s += test::Press(kJournal + 1800, kEscape);
    s += "# Ctrl+F9: step 2, the mission's end.\n" + test::CtrlPress(kStepTwo, kF9);
    return s + test::QuitKeys(kQuit);
}

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The position in the run trace of the first line that starts with `line`
// from `from` on, npos when none.
size_t TraceLine(const std::string& err, const std::string& line, size_t from = 0) {
    const std::string wanted = "trace: " + line;
    size_t at = err.find(wanted, from);
    while (at != std::string::npos && at > 0 && err[at - 1] != '\n') at = err.find(wanted, at + 1);
    return at;
}

// The floors of the kit's map picture (velmark.png), room by room: the
// gate, the nave, the vault.  An unvisited room is drawn in its grey
// instead.
constexpr uint32_t kFloors[3] = {0x965A3C, 0x46825A, 0x5A5096};

// Pixels of a frame within 8 of a colour, channel by channel (the 5-6-5
// frame keeps 5 or 6 bits of each).
int CountColour(const std::vector<uint32_t>& xrgb, uint32_t colour) {
    int n = 0;
    for (uint32_t p : xrgb) {
        bool near = true;
        for (int shift : {0, 8, 16})
            near = near && std::abs(int((p >> shift) & 0xFF) - int((colour >> shift) & 0xFF)) <= 8;
        n += near ? 1 : 0;
    }
    return n;
}

// The kit's mission 7 texts: the guard's phrase 1 (f_dial.txt) and
// message 1's two lines (f_mes1.txt) as the ticker joins them; the
// autosave's name, "Vantilers-" and the mission's list text (menu text 15).
const char kPhrase[] = "The nave is cold tonight.";
const char kTicker[] = "A storm gathers over the gate. Hurry on. ";
const char kAutosaveName[] = "Vantilers-The Observatory";
// The ticker's row, and where a save file keeps its name.
constexpr int kTickerY = 10;
constexpr size_t kSaveNameAt = 16;

// The x of every ticker line of the trace from `from` to `to`, in order.
std::vector<int> TickerXs(const std::string& err, size_t from, size_t to) {
    std::vector<int> xs;
    for (size_t at = TraceLine(err, "Text ", from); at < to; at = TraceLine(err, "Text ", at + 1)) {
        int x = 0, y = 0, used = 0;
        const std::string line = err.substr(at, err.find('\n', at) - at);
        if (std::sscanf(line.c_str(), "trace: Text %d %d %n", &x, &y, &used) == 2 && y == kTickerY &&
            line.compare(size_t(used), std::string::npos, kTicker) == 0)
            xs.push_back(x);
    }
    return xs;
}

// Pixels in which two frames differ above row `rows`.
int Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int rows) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size() && i < size_t(rows) * 640; ++i) n += a[i] != b[i] ? 1 : 0;
    return n;
}

void RunFlow(const test::Program& p, bool goldens) {
    SCOPED_TRACE(p.name);
    test::DemoRun run = test::RunDemoProgram(p.path, Script(), test::kRunSeconds, "Option=4\nMission=7\n");
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string& err = run.err;
    const size_t opened = TraceLine(err, "OpenMission 7");
    ASSERT_NE(opened, std::string::npos) << err;

    // The briefing (mission 7's is number 29) pauses the game until Space:
    // while it shows, no frame updates the gate's tendrils and the held
    // Left does not turn the hero (the view's frames agree); once it has
    // ended both go on.
    const size_t shown = TraceLine(err, "BriefingShown 29", opened);
    ASSERT_NE(shown, std::string::npos) << err;
    const size_t ended = TraceLine(err, "BriefingEnded", shown);
    ASSERT_NE(ended, std::string::npos) << err;
    EXPECT_NE(TraceLine(err, "Text 10 8 The Nave", shown), std::string::npos);
    EXPECT_GT(TraceLine(err, "UpdateTendril ", shown), ended);
    EXPECT_NE(TraceLine(err, "UpdateTendril ", ended), std::string::npos);
    std::vector<uint32_t> briefingA, briefingB, playA, playB;
    ASSERT_TRUE(test::ReadRunFrame(run, kBriefingFrames[0], &briefingA));
    ASSERT_TRUE(test::ReadRunFrame(run, kBriefingFrames[1], &briefingB));
    ASSERT_TRUE(test::ReadRunFrame(run, kPlayFrames[0], &playA));
    ASSERT_TRUE(test::ReadRunFrame(run, kPlayFrames[1], &playB));
    EXPECT_EQ(Differing(briefingA, briefingB, kHudTop), 0);
    EXPECT_GT(Differing(playA, playB, kHudTop), kTurnedPixels);

    // The map: the first time only the gate's floor is drawn; once the
    // level jump has entered the nave, the nave's too; the vault, never
    // entered, stays grey.
    EXPECT_NE(TraceLine(err, "EnterRoom 1", opened), std::string::npos);
    std::vector<uint32_t> first, second;
    ASSERT_TRUE(test::ReadRunFrame(run, kFirstMapFrame, &first));
    ASSERT_TRUE(test::ReadRunFrame(run, kSecondMapFrame, &second));
    const int before[3] = {CountColour(first, kFloors[0]), CountColour(first, kFloors[1]),
                           CountColour(first, kFloors[2])};
    const int after[3] = {CountColour(second, kFloors[0]), CountColour(second, kFloors[1]),
                          CountColour(second, kFloors[2])};
    std::printf("%s: map floors gate %d nave %d vault %d, then %d %d %d\n", p.name, before[0], before[1], before[2],
                after[0], after[1], after[2]);
    // A room of the kit's map is at least 32 x 36 pixels, less its edge.
    constexpr int kRoomFloor = 30 * 34;
    EXPECT_GE(before[0], kRoomFloor);
    EXPECT_EQ(before[1], 0);
    EXPECT_EQ(before[2], 0);
    EXPECT_GE(after[0], kRoomFloor);
    EXPECT_GE(after[1], kRoomFloor);
    EXPECT_EQ(after[2], 0);

    // Step 1: the guard's phrase, then message 1's ticker from the
    // right-hand edge leftward, a few pixels a frame.
    const size_t phrase = TraceLine(err, "Text 4 2 " + std::string(kPhrase), opened);
    ASSERT_NE(phrase, std::string::npos) << err;
    const size_t finish = TraceLine(err, "FinishMission 22", phrase);
    ASSERT_NE(finish, std::string::npos) << err;
    const size_t change = TraceLine(err, "GoToMission 22", finish);
    ASSERT_NE(change, std::string::npos) << err;
    const std::vector<int> early = TickerXs(err, phrase, finish), late = TickerXs(err, finish, change);
    ASSERT_FALSE(early.empty()) << "the message shown before the mission ends";
    EXPECT_EQ(early.front(), 639);
    for (size_t i = 1; i < early.size(); ++i) EXPECT_LT(early[i], early[i - 1]);
    // Step 2 finished the mission while the ticker ran: the mission
    // changed only once it had left the screen, and no ticker follows.
    ASSERT_FALSE(late.empty()) << "the ticker still ran when the mission ended";
    EXPECT_LT(late.back(), 0);
    EXPECT_TRUE(TickerXs(err, change, err.size()).empty());
    std::printf("%s: ticker %zu frames before the mission's end, %zu after\n", p.name, early.size(), late.size());

    // The autosave (slot 1) under the mission's name, then mission 22.
    const std::string save = Slurp(run.dir / "savegame.001");
    ASSERT_GT(save.size(), kSaveNameAt + sizeof kAutosaveName);
    EXPECT_EQ(save.substr(kSaveNameAt, save.find('\0', kSaveNameAt) - kSaveNameAt), kAutosaveName);
    EXPECT_NE(TraceLine(err, "OpenMission 22", change), std::string::npos);

    if (goldens) {
        // The briefing over the gate; the map with the gate and the nave
        // visited; the journal's record tab on its statistics.
        test::ExpectPngGolden("mission7_briefing-565.png", briefingB, 640, 480);
        test::ExpectPngGolden("mission7_map-565.png", second, 640, 480);
        std::vector<uint32_t> journal;
        ASSERT_TRUE(test::ReadRunFrame(run, kJournalFrame, &journal));
        test::ExpectPngGolden("mission7_journal-565.png", journal, 640, 480);
    }
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(Mission7FlowRunTest, GameSoftBriefingEventMapAndMissionEnd) {
    RunFlow(test::kGameSoft, true);
}

TEST(Mission7FlowRunTest, GameD3DBriefingEventMapAndMissionEnd) {
    RunFlow(test::kGameD3D, false);
}

}  // namespace
