// Both programs headless on mission 7 (developer option 4 names the first
// mission), one run each: Space ends the briefing; Ctrl+F4's level jump,
// Down and Enter choose the vault (room 2), Escape closes the page.  The
// hero's entry into the vault fires the mission's event that plays the
// cinematic "cine\cine1" once:
// - the trace names it right after the room was entered, once in the run;
// - the frames it presents are its own: no overlay (the hero's portrait)
//   and no HUD, one frame per cinematic frame drawn, each unlike the one
//   before as the camera moves; game-soft draws the scene's stage in its
//   own flat grey (its parts lit by the room's lamp);
// - game-soft lets it run to its last frame; game-d3d ends it with a key
//   (Left) hit while it plays;
// - then the game goes on: frames with the portrait and the HUD again, and
//   the quit keys leave with status 0.
#include "tests/demo_run.h"
#include "tools/kit/cinematic_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kSpace = 57, kF4 = 62, kDown = 208, kEnter = 28, kEscape = 1, kLeft = 203;
constexpr int kBriefingEnd = 1000, kLevelJump = 2000, kLeaveMenu = kLevelJump + 1300;
// The cinematic starts with the page closing (about pump 3300) and lasts
// 31 frames of 67 ms, then its sound's 1000 ms tail: the key falls about
// ten frames in; the quit keys long after it ended either way.
constexpr int kKeyDuringCinematic = 4000;
constexpr int kQuit = 9000;

std::string Script(bool keyEnds) {
    std::string s = "# Space ends the briefing.\n" + test::Press(kBriefingEnd, kSpace);
    s += "# Ctrl+F4: the level jump; Down, Enter: its second entry, the vault; Escape closes.\n";
    s += test::CtrlPress(kLevelJump, kF4) + test::Press(kLevelJump + 800, kDown) + test::Press(kLevelJump + 1000, kEnter) +
         test::Press(kLeaveMenu, kEscape);
    if (keyEnds) s += "# Left while the cinematic plays.\n" + test::Press(kKeyDuringCinematic, kLeft);
    return s + test::QuitKeys(kQuit);
}

// The overlay of every game frame draws the hero's portrait at the bottom
// right (skin 205,170,139 in the 5-6-5 frame); the HUD draws its frame line
// in grey 180 on row 409 from x 10 to 189.
constexpr int kPortraitX0 = 580, kPortraitX1 = 630, kPortraitY0 = 415, kPortraitY1 = 460;
constexpr uint32_t kSkin = 0xCDAA8B, kHudGrey = 0xB4B4B4;
constexpr int kHudLineY = 409, kHudLineX0 = 10, kHudLineX1 = 190;
// The kit's portrait shows 960 skin pixels there; half of them is plenty.
constexpr int kPortraitSeen = 480;

bool Near(uint32_t p, uint32_t colour) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((p >> shift) & 0xFF) - int((colour >> shift) & 0xFF)) > 8) return false;
    return true;
}

bool HasPortrait(const std::vector<uint32_t>& f) {
    int n = 0;
    for (int y = kPortraitY0; y < kPortraitY1; ++y)
        for (int x = kPortraitX0; x < kPortraitX1; ++x) n += Near(f[size_t(y) * 640 + size_t(x)], kSkin) ? 1 : 0;
    return n >= kPortraitSeen;
}

bool HasHudLine(const std::vector<uint32_t>& f) {
    for (int x = kHudLineX0; x < kHudLineX1; ++x)
        if (!Near(f[size_t(kHudLineY) * 640 + size_t(x)], kHudGrey)) return false;
    return true;
}

int Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i] ? 1 : 0;
    return n;
}

// The position in the run trace of the first line that is `line` (whole,
// or its start when `prefix`) from `from` on, npos when none.
size_t TraceLine(const std::string& err, const std::string& line, size_t from = 0, bool prefix = false) {
    const std::string wanted = "trace: " + line + (prefix ? "" : "\n");
    size_t at = err.find(wanted, from);
    while (at != std::string::npos && at > 0 && err[at - 1] != '\n') at = err.find(wanted, at + 1);
    return at;
}

// The kit's stage is flat grey 0x4208 (5-6-5), 65,64,65 in the frame; lit
// by the room's lamp it covers about a third of every cinematic frame.
// (game-d3d draws faces of flat colour in its device's own diffuse colours.)
constexpr uint32_t kStageGrey = 0x414041;
constexpr int kStageSeen = 640 * 480 / 5;

int CountColour(const std::vector<uint32_t>& f, uint32_t colour) {
    int n = 0;
    for (uint32_t p : f) n += Near(p, colour) ? 1 : 0;
    return n;
}

// A camera that moves changes at least a fiftieth of the picture a frame.
constexpr int kMovedPixels = 640 * 480 / 50;
// Game frames looked at after the cinematic: 40 frames of 40 pumps each,
// its sound's tail included, all before the quit keys.
constexpr int kFramesAfter = 40;

void RunCinematic(const test::Program& p, bool keyEnds, bool flatColours) {
    SCOPED_TRACE(p.name);
    test::DemoRun run = test::RunDemoProgram(p.path, Script(keyEnds), test::kRunSeconds, "Option=4\nMission=7\n");
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string& err = run.err;

    // The vault's entry plays the cinematic, once.
    const size_t vault = TraceLine(err, "EnterRoom 2");
    ASSERT_NE(vault, std::string::npos) << err;
    const std::string play = "PlayCinematic .\\ms7\\cine\\cine1";
    const size_t played = TraceLine(err, play, vault);
    ASSERT_NE(played, std::string::npos) << err;
    EXPECT_EQ(TraceLine(err, play, played + 1), std::string::npos) << "played twice";
    EXPECT_EQ(TraceLine(err, "PlayCinematic", 0, true), played);
    ASSERT_NE(TraceLine(err, "CinematicStart " + std::to_string(kit::kCine1Frames), played), std::string::npos);
    const size_t ended = TraceLine(err, "CinematicEnded", played);
    ASSERT_NE(ended, std::string::npos) << err;

    // Its frames drawn, in order from 0, and how it ended.
    const std::vector<std::string> steps = test::TraceSteps(err, {"CinematicFrame ", "CinematicKey ", "CinematicLast"});
    int drawn = 0, last = -1;
    std::string end;
    for (const std::string& s : steps) {
        if (s.rfind("CinematicFrame ", 0) == 0) {
            const int f = std::atoi(s.c_str() + 15);
            EXPECT_GT(f, last);
            last = f;
            ++drawn;
        } else {
            end = s;
        }
    }
    ASSERT_GT(drawn, 1);
    if (keyEnds) {
        // The key came some frames in, well before the end.
        EXPECT_EQ(end, "CinematicKey " + std::to_string(last));
        EXPECT_GT(last, 2);
        EXPECT_LT(last, kit::kCine1Frames - 5);
    } else {
        EXPECT_EQ(last, kit::kCine1Frames);
        EXPECT_EQ(end, "CinematicLastFrame " + std::to_string(kit::kCine1Frames));
    }

    // The captured frames: those without the portrait once play has shown
    // the HUD are the cinematic's, one run of them, one per frame drawn.
    std::vector<std::vector<uint32_t>> frames;
    std::vector<uint32_t> f;
    for (int n = 1; test::ReadRunFrame(run, n, &f); ++n) frames.push_back(f);
    int firstHud = -1, from = -1, to = -1;
    for (int i = 0; i < int(frames.size()) && (to < 0 || to == i - 1); ++i) {
        const bool portrait = HasPortrait(frames[size_t(i)]);
        if (firstHud < 0) {
            if (portrait && HasHudLine(frames[size_t(i)])) firstHud = i;
        } else if (!portrait) {
            if (from < 0) from = i;
            to = i;
        }
    }
    ASSERT_GE(firstHud, 0) << "no frame of play";
    ASSERT_GE(from, 0) << "no frame without the overlay";
    std::printf("%s: cinematic frames %d..%d of %zu captured, %d drawn\n", p.name, from + 1, to + 1, frames.size(),
                drawn);
    EXPECT_EQ(to - from + 1, drawn);
    for (int i = from; i <= to; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_FALSE(HasHudLine(frames[size_t(i)]));
        if (flatColours) {
            EXPECT_GT(CountColour(frames[size_t(i)], kStageGrey), kStageSeen);
        }
        EXPECT_GT(Differing(frames[size_t(i)], frames[size_t(i - 1)]), kMovedPixels);
    }
    // The game goes on: the frames of the next second and more (before the
    // quit keys' menu) have the overlay, and the HUD is back.
    ASSERT_GT(frames.size(), size_t(to + kFramesAfter));
    bool hudAgain = false;
    for (int i = to + 1; i <= to + kFramesAfter; ++i) {
        EXPECT_TRUE(HasPortrait(frames[size_t(i)])) << "frame " << i + 1;
        hudAgain = hudAgain || HasHudLine(frames[size_t(i)]);
    }
    EXPECT_TRUE(hudAgain);
    std::error_code ec;
    if (!::testing::Test::HasFailure()) std::filesystem::remove_all(run.dir, ec);
}

TEST(CinematicRunTest, GameSoftVaultPlaysTheCinematicToItsLastFrame) {
    RunCinematic(test::kGameSoft, false, true);
}

TEST(CinematicRunTest, GameD3DVaultPlaysTheCinematicUntilAKey) {
    RunCinematic(test::kGameD3D, true, false);
}

}  // namespace
