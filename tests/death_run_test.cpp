// Both programs on mission 22 in developer mode (the debug pages on, whose
// lines tell where the characters stand), every frame kept, driven by a
// player who reads the run as it goes (tests/live_run.h).  The save page
// writes slot 2; the hero walks up to the guard and stands against it
// until the guard's contact and shots have taken its life.  The death
// falls to the floor and holds its last frame, the overlay telling that no
// quick save is possible; Escape opens the menu over it, and the load page
// brings the saved game back.  A second death at the guard, and the
// new-game page begins the mission again.  Then Quit and Y end the run.
#include "tests/live_run.h"
#include "tests/play_steps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using test::LiveRun;
using namespace test::play;

// The overlay's notice while the hero is in a special state other than 16
// (a dying hero's is 4): menu text 46 at (clip bottom / 2, clip right / 3)
// of the 640 x 480 screen.
const char* const kNotice = "Text 239 213 Quick save is not possible now";
// The guard's contact reaches the hero within 330 units; the separation of
// characters keeps them 250 apart.
constexpr int kAgainstTheGuard = 300;
// The longest of the hero's deaths in the kit is 60 frames at 30 a second
// (2 s), some 47 frames of the game loop's 23 a second.
constexpr int kDeathFrames = 50;

// Stands the hero against the guard until its death begins; true once it
// did.
bool DieAtTheGuard(LiveRun& run, size_t from) {
    for (int tries = 0; tries < 40 && run.Running(); ++tries) {
        if (!run.Steps("Death hero ", from).empty()) return true;
        int x = 0, z = 0;
        if (!CharacterPlace(run, "guard", &x, &z)) return false;
        const test::HeroPlace h = run.Hero();
        if (std::hypot(double(x - h.x), double(z - h.z)) > kAgainstTheGuard) run.WalkTo(x, z, kAgainstTheGuard);
        run.RunUntil("Death hero ", 30 * kFrame, from);
    }
    return !run.Steps("Death hero ", from).empty();
}

// The hero's special state, "S:<n>" of its line on the debug pages last
// drawn; -1 when none was.
int HeroSpecial(const LiveRun& run) {
    const std::string line = run.LastLine(" hero (");
    const size_t at = line.find(" S:");
    return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + 3);
}

// The hero's pixels on a kept frame and their mean column.
struct HeroPixels {
    int count = -1, meanX = -1;
};
HeroPixels HeroOn(const LiveRun& run, const std::string& snapshot) {
    test::DemoRun frames;
    frames.dir = run.dir;
    std::vector<uint32_t> xrgb;
    HeroPixels h;
    if (test::ReadRunFrame(frames, int(run.SnapshotFrame(snapshot)), &xrgb))
        h.count = test::CountCharacterColour(xrgb, true, &h.meanX);
    return h;
}

// The death from its start: the fall, then its last frame held (the same
// hero pixels twenty frames on), the notice, the dying state.
void ExpectTheDeathHeld(LiveRun& run, size_t from, const std::string& death) {
    SCOPED_TRACE(death);
    run.Snapshot(death + " falls");
    EXPECT_EQ(run.Hero().life, 0);
    run.Run(kDeathFrames * kFrame);
    run.Snapshot(death + " fallen");
    run.Run(20 * kFrame);
    run.Snapshot(death + " held");
    const HeroPixels falls = HeroOn(run, death + " falls"), fallen = HeroOn(run, death + " fallen"),
                     held = HeroOn(run, death + " held");
    std::printf("%s: hero pixels: falls %d at %d, fallen %d at %d, held %d at %d (frames %llu, %llu, %llu)\n",
                death.c_str(), falls.count, falls.meanX, fallen.count, fallen.meanX, held.count, held.meanX,
                static_cast<unsigned long long>(run.SnapshotFrame(death + " falls")),
                static_cast<unsigned long long>(run.SnapshotFrame(death + " fallen")),
                static_cast<unsigned long long>(run.SnapshotFrame(death + " held")));
    EXPECT_GT(fallen.count, 0);
    EXPECT_NE(fallen.count, falls.count) << "the fall changed nothing on the screen";
    EXPECT_EQ(held.count, fallen.count);
    EXPECT_EQ(held.meanX, fallen.meanX);
    EXPECT_FALSE(run.Steps(kNotice, from).empty());
    EXPECT_EQ(HeroSpecial(run), 4);
    EXPECT_EQ(run.Hero().life, 0);
}

void DieAndComeBack(const test::Program& p) {
    SCOPED_TRACE(p.name);
    test::LiveOptions options;
    options.capture = true;
    LiveRun run(p, "Option=4\n", test::kRunSeconds, options);
    ASSERT_TRUE(run.Running()) << "the program did not start";
    ASSERT_TRUE(run.RunUntil("GameLoop", 400 * kFrame, 0));
    run.Run(12 * kFrame);
    MenuKeys(run, {test::kScanEscape, test::kScanD, test::kScanEscape});
    run.Run(10 * kFrame);

    // The save page writes slot 2 (Escape, Down twice: Save the game,
    // Enter, Down twice, Enter, Escape).
    size_t mark = run.Mark();
    MenuKeys(run, {test::kScanEscape, test::kScanDown, test::kScanDown, test::kScanEnter, test::kScanDown,
                   test::kScanDown, test::kScanEnter, test::kScanEscape});
    ASSERT_TRUE(HasStatus(run, "Game saved.", mark));
    run.Run(10 * kFrame);
    const test::HeroPlace atSave = run.Hero();
    ASSERT_TRUE(atSave.known);
    ASSERT_GT(atSave.life, 0);

    // The first death; Escape opens the main menu over it; Down: Load a
    // game, Enter, Enter: slot 2, the slot used last.
    mark = run.Mark();
    ASSERT_TRUE(DieAtTheGuard(run, mark)) << run.LastLine("Hero ");
    std::printf("%s: %s, after %s\n", p.name, run.Steps("Death hero ", mark).front().c_str(),
                run.LastLine("DamagePlayer").c_str());
    ExpectTheDeathHeld(run, mark, "first");
    mark = run.Mark();
    MenuKeys(run, {test::kScanEscape});
    EXPECT_FALSE(run.Steps("Text 322 10 Main menu", mark).empty());
    MenuKeys(run, {test::kScanDown, test::kScanEnter, test::kScanEnter});
    ASSERT_TRUE(run.RunUntil("StartMission 1", 100 * kFrame, mark));
    run.Run(20 * kFrame);
    const test::HeroPlace loaded = run.Hero();
    EXPECT_EQ(loaded.life, atSave.life);
    EXPECT_EQ(loaded.x, atSave.x);
    EXPECT_EQ(loaded.z, atSave.z);
    EXPECT_EQ(HeroSpecial(run), 0);

    // The second death; Escape, Enter: New game, Enter: this mission from
    // its start.
    mark = run.Mark();
    ASSERT_TRUE(DieAtTheGuard(run, mark)) << run.LastLine("Hero ");
    ExpectTheDeathHeld(run, mark, "second");
    mark = run.Mark();
    MenuKeys(run, {test::kScanEscape, test::kScanEnter, test::kScanEnter});
    ASSERT_TRUE(run.RunUntil("GoToMission 22", 100 * kFrame, mark));
    run.Run(20 * kFrame);
    const test::HeroPlace begun = run.Hero();
    EXPECT_GT(begun.life, 0);
    EXPECT_EQ(HeroSpecial(run), 0);
    // Alive again, the hero walks.
    run.Run(10 * kFrame, {"keydown 200"});
    run.Run(kFrame, {"keyup 200"});
    const test::HeroPlace walked = run.Hero();
    EXPECT_TRUE(walked.x != begun.x || walked.z != begun.z) << "the hero did not walk";

    // Escape, Up round to Quit, Enter: the quit prompt; Y ends the run.
    MenuKeys(run, {test::kScanEscape, test::kScanUp, test::kScanEnter});
    run.Run(4 * kFrame);
    run.Press(test::kScanY, 60, 60);
    EXPECT_EQ(run.Finish(), 0);
}

TEST(DeathRunTest, GameSoftHeroDiesAndComesBack) {
    DieAndComeBack(test::kGameSoft);
}

TEST(DeathRunTest, GameD3DHeroDiesAndComesBack) {
    DieAndComeBack(test::kGameD3D);
}

}  // namespace
