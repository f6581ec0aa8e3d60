// Both programs on mission 22, driven by scripted keys: the hero runs from
// its start point to the hall's door, Enter opens it and the hand-over
// takes the hero into the crypt, whose first visit gives its bonus once;
// back through the crypt's door into the hall and in again gives nothing.
// With the fast key held the hand-over passes in fewer frames.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// About 40 pumps of the host make one frame of the game.  The hero starts
// looking along +x, the door lies along +z: Left held for 380 pumps (about
// 9.5 frames of 32 x the frame step, some 3 a frame) turns it a quarter
// turn, onto the way to the door.
const char* const kTurnToTheDoor = "500 keydown 203\n880 keyup 203\n";

const std::string kThereAndBack =
    std::string(kTurnToTheDoor) +
    "# Run from the start point to the hall's door and open it.\n"
    "1200 keydown 200\n3700 keyup 200\n3800 keydown 28\n3850 keyup 28\n"
    "# In the crypt: turn round, step to its door and open it.\n"
    "5100 keydown 203\n6100 keyup 203\n6150 keydown 200\n6350 keyup 200\n6400 keydown 28\n6450 keyup 28\n"
    "# Back in the hall: turn round, step to its door and pass it again.\n"
    "7700 keydown 203\n8550 keyup 203\n8750 keydown 200\n8950 keyup 200\n9000 keydown 28\n9050 keyup 28\n"
    "# The main menu's Quit, then Y at the quit prompt.\n" +
    test::QuitKeys(10700);

// The door opened, then Escape 10 frames later: the world runs on while
// the menu's panel slides open (9 frames), then stands still, so the
// 70-tick hand-over (3 ticks a frame) has not run out unless Backspace
// multiplies the step.
std::string ShortHandOver(bool fast) {
    std::string s = kTurnToTheDoor;
    if (fast) s += "1200 keydown 14\n";
    s += "1200 keydown 200\n3200 keyup 200\n3300 keydown 28\n3350 keyup 28\n";
    s += test::QuitKeys(3700);
    return s;
}

// The run trace's steps that tell the rooms entered and the doors opened.
std::vector<std::string> RoomSteps(const std::string& err) {
    std::vector<std::string> steps;
    size_t at = 0;
    while ((at = err.find("trace: ", at)) != std::string::npos) {
        size_t end = err.find('\n', at);
        std::string step = err.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
        for (const char* kind : {"EnterRoom", "FirstVisitBonus", "DoorOpenSound", "ChangeRoom"})
            if (step.rfind(kind, 0) == 0) steps.push_back(step);
        at = end;
    }
    return steps;
}

void ThereAndBack(const test::Program& p) {
    const std::vector<std::string> expected = {
        "EnterRoom 0", "FirstVisitBonus 0", "DoorOpenSound 0", "ChangeRoom 1", "EnterRoom 1", "FirstVisitBonus 1",
        "DoorOpenSound 0", "ChangeRoom 0", "EnterRoom 0", "DoorOpenSound 0", "ChangeRoom 1", "EnterRoom 1"};
    {
        SCOPED_TRACE(p.name);
        test::DemoRun run = test::RunDemoProgram(p.path, kThereAndBack, test::kRunSeconds);
        ASSERT_FALSE(run.dir.empty());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(RoomSteps(run.err), expected) << run.err;
        // The follow camera keeps the hero in the picture while it runs
        // the 2600 units to the door, and the room moves behind it.
        std::vector<uint32_t> first, frame;
        ASSERT_TRUE(test::ReadRunFrame(run, 10, &first));
        for (int n : {20, 30, 40, 50, 60, 70}) {
            ASSERT_TRUE(test::ReadRunFrame(run, n, &frame)) << n;
            int x = 0, hero = test::CountCharacterColour(frame, true, &x);
            size_t changed = 0;
            for (size_t i = 0; i < frame.size() && i < first.size(); ++i) changed += frame[i] != first[i];
            std::printf("%s frame %d: %d hero pixels about column %d, %zu pixels changed since frame 10\n", p.name,
                        n, hero, x, changed);
            // Lit from one side, the hero shows fewer pixels of its own
            // colour when it turns its back to the room lamp near the door.
            EXPECT_GE(hero, 200) << n;
            EXPECT_GT(x, 120) << n;
            EXPECT_LT(x, 520) << n;
            EXPECT_GT(changed, frame.size() / 4) << n;
        }
        std::error_code ec;
        std::filesystem::remove_all(run.dir, ec);
    }
}

TEST(DoorRunTest, GameSoftPassesTheDoorAndTheFirstVisitPaysOnce) {
    ThereAndBack(test::kGameSoft);
}

TEST(DoorRunTest, GameD3DPassesTheDoorAndTheFirstVisitPaysOnce) {
    ThereAndBack(test::kGameD3D);
}

void FastKey(const test::Program& p) {
    struct Row {
        bool fast;
        bool entered;
    };
    const Row rows[] = {{false, false}, {true, true}};
    {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(p.name) + (row.fast ? " with Backspace" : ""));
            test::DemoRun run = test::RunDemoProgram(p.path, ShortHandOver(row.fast), test::kRunSeconds);
            ASSERT_FALSE(run.dir.empty());
            EXPECT_EQ(run.exitCode, 0) << run.err;
            std::vector<std::string> steps = RoomSteps(run.err);
            EXPECT_NE(std::find(steps.begin(), steps.end(), "DoorOpenSound 0"), steps.end()) << run.err;
            bool entered = std::find(steps.begin(), steps.end(), "EnterRoom 1") != steps.end();
            bool paid = std::find(steps.begin(), steps.end(), "FirstVisitBonus 1") != steps.end();
            EXPECT_EQ(entered, row.entered);
            EXPECT_EQ(paid, row.entered);
            std::error_code ec;
            std::filesystem::remove_all(run.dir, ec);
        }
    }
}

TEST(DoorRunTest, GameSoftsFastKeyPassesTheHandOverInFewerFrames) {
    FastKey(test::kGameSoft);
}

TEST(DoorRunTest, GameD3DsFastKeyPassesTheHandOverInFewerFrames) {
    FastKey(test::kGameD3D);
}

}  // namespace
