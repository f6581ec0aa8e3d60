// The demo played through in each program, headless, by a driver that
// reads the run as it goes (tests/live_run.h): a new game in developer
// mode, the debug pages on, so that their lines in the text log show each
// step.
// Mission 22: the guard fought and killed with the bolt; the key taken; a
// quick save and a quick load; the menu's save and load pages; the door to
// the crypt; then the mission list opens mission 7.
// Mission 7: its briefing holds the game until Space; the grenade taken;
// the gate's tendrils grow and the drifter roams; the mission's next step
// (Ctrl+F9) brings the guard's phrase and the storm message; the door to
// the nave; the guard, which hunts the hero, fought and killed; the last
// step finishes the mission, which autosaves and opens mission 22 again.
// Then the main menu's Quit and the quit prompt end the run with status 0.
#include "tests/live_run.h"
#include "tests/play_steps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using test::LiveRun;

using namespace test::play;

// Keeps a failed run's lines in a file beside the others of /tmp, named
// after the program, for a look at what the driver saw.
struct KeepLinesOnFailure {
    const LiveRun& run;
    const char* program;
    ~KeepLinesOnFailure() {
        if (!::testing::Test::HasFailure() && !std::getenv("MORVANEL_KEEP_RUN")) return;
        const std::string path = std::string("/tmp/morvanel-playthrough-") + program + ".txt";
        std::ofstream out(path);
        for (const std::string& line : run.Lines()) out << line << "\n";
        std::printf("the run's lines: %s\n", path.c_str());
    }
};

bool SamePlace(const test::HeroPlace& a, const test::HeroPlace& b) {
    return a.known && b.known && a.room == b.room && a.x == b.x && a.z == b.z;
}

void PlayThrough(const test::Program& p) {
    SCOPED_TRACE(p.name);
    LiveRun run(p, "Option=4\n", test::kRunSeconds);
    ASSERT_TRUE(run.Running()) << "the program did not start";
    const KeepLinesOnFailure keep{run, p.name};

    // --- Mission 22 ---------------------------------------------------------
    ASSERT_TRUE(run.RunUntil("GameLoop", 400 * kFrame, 0));
    ASSERT_FALSE(run.Steps("OpenMission 22").empty());
    run.Run(12 * kFrame);
    // The debug pages: Escape, D, Escape.
    MenuKeys(run, {test::kScanEscape, test::kScanD, test::kScanEscape});
    run.Run(10 * kFrame);
    EXPECT_EQ(RoomLine(run).rfind("Salle :Hall(0)", 0), 0u) << RoomLine(run);

    // The guard, fought with the bolt until it dies; the debug page then
    // lists it in no room.
    SelectBolt(run);
    size_t mark = run.Mark();
    ASSERT_TRUE(FightAndKill(run, "guard", mark, 430)) << run.LastLine(" guard (");
    EXPECT_GE(run.Steps("EM_ImpactEnemy bolt", mark).size(), 2u);
    run.Run(20 * kFrame);
    std::string guardLine;
    int gx = 0, gz = 0;
    ASSERT_TRUE(CharacterPlace(run, "guard", &gx, &gz, &guardLine));
    EXPECT_NE(guardLine.find("(Cc 254 - nowhere"), std::string::npos) << guardLine;
    std::printf("%s: guard killed, %s\n", p.name, run.Steps("KillCharacter guard", mark).front().c_str());

    // The key, beside the way to the door.
    mark = run.Mark();
    ASSERT_TRUE(run.WalkTo(-250, 300, 150));
    run.Press(test::kScanEnter, 60, 35 * kFrame);
    EXPECT_TRUE(HasStatus(run, "You take Iron key.", mark));
    EXPECT_NE(run.LastLine(" KEY in Hall (").find("not takable"), std::string::npos) << run.LastLine(" KEY in ");

    // F5, a walk, F4: the hero stands again where it was saved.
    mark = run.Mark();
    run.Press(test::kScanF5, 60, 4 * kFrame);
    const test::HeroPlace atQuickSave = run.Hero();
    run.Run(12 * kFrame, {"keydown 200"});
    run.Run(kFrame, {"keyup 200"});
    const test::HeroPlace walked = run.Hero();
    run.Press(test::kScanF4, 60, 8 * kFrame);
    EXPECT_TRUE(HasStatus(run, "Game saved.", mark));
    EXPECT_TRUE(HasStatus(run, "Game loaded.", mark));
    EXPECT_TRUE(std::filesystem::exists(run.dir / "savegame.000"));
    EXPECT_FALSE(SamePlace(walked, atQuickSave)) << "the walk after the save moved the hero";
    EXPECT_TRUE(SamePlace(run.Hero(), atQuickSave));

    // The save page writes slot 2 (Escape, Down twice: Save the game,
    // Enter, Down twice, Enter, Escape); after a walk the load page (Escape,
    // Down: Load a game, Enter, Enter: the slot used last) restores it.
    mark = run.Mark();
    const test::HeroPlace atSavePage = run.Hero();
    MenuKeys(run, {test::kScanEscape, test::kScanDown, test::kScanDown, test::kScanEnter, test::kScanDown,
                   test::kScanDown, test::kScanEnter, test::kScanEscape});
    EXPECT_TRUE(HasStatus(run, "Game saved.", mark));
    EXPECT_TRUE(std::filesystem::exists(run.dir / "savegame.002"));
    run.Run(10 * kFrame, {"keydown 200"});
    run.Run(kFrame, {"keyup 200"});
    EXPECT_FALSE(SamePlace(run.Hero(), atSavePage));
    mark = run.Mark();
    MenuKeys(run, {test::kScanEscape, test::kScanDown, test::kScanEnter, test::kScanEnter});
    ASSERT_TRUE(run.RunUntil("StartMission 1", 100 * kFrame, mark));
    run.Run(20 * kFrame);
    EXPECT_TRUE(SamePlace(run.Hero(), atSavePage));

    // The door to the crypt.
    ASSERT_TRUE(ThroughTheFarDoor(run, 1));
    run.Run(10 * kFrame);
    EXPECT_EQ(RoomLine(run).rfind("Salle :Crypt(1)", 0), 0u) << RoomLine(run);
    // Entering the crypt set the mission's flag 20.
    EXPECT_NE(run.LastLine("[Events]").find("[Events]1;20;"), std::string::npos) << run.LastLine("[Events]");

    // Ctrl+L, the mission list: mission 7 is its ninth entry.
    mark = run.Mark();
    run.CtrlPress(test::kScanL, 600);
    MenuKeys(run, {test::kScanDown, test::kScanDown, test::kScanDown, test::kScanDown, test::kScanDown,
                   test::kScanDown, test::kScanDown, test::kScanDown, test::kScanEnter});

    // --- Mission 7 ----------------------------------------------------------
    ASSERT_TRUE(run.RunUntil("OpenMission 7", 200 * kFrame, mark));
    ASSERT_TRUE(run.RunUntil("BriefingShown 29", 200 * kFrame, mark));
    // The briefing holds the world: no frame of play while it shows.
    const size_t briefing = run.Mark();
    run.Run(30 * kFrame);
    EXPECT_TRUE(run.Steps("Hero ", briefing).empty());
    EXPECT_NE(run.LastLine("trace: Text 10 8 The Nave", briefing), "");
    run.Press(test::kScanSpace, 60, 10 * kFrame);
    EXPECT_FALSE(run.Steps("BriefingEnded", briefing).empty());
    EXPECT_FALSE(run.Steps("Hero ", briefing).empty());
    EXPECT_EQ(RoomLine(run).rfind("Salle :Gate(0)", 0), 0u) << RoomLine(run);

    // The grenade at the gate.
    mark = run.Mark();
    ASSERT_TRUE(run.WalkTo(-800, -600, 200));
    run.Press(test::kScanEnter, 60, 35 * kFrame);
    EXPECT_TRUE(HasStatus(run, "You take GRENADE0.", mark));
    EXPECT_NE(run.LastLine(" GRENADE0 in Gate (").find("not takable"), std::string::npos)
        << run.LastLine(" GRENADE0 in ");

    // The gate's tendrils grow; the drifter roams from room to room.
    EXPECT_TRUE(run.RunUntil("TendrilsGrow", 300 * kFrame, briefing));
    run.Run(10 * kFrame);
    int tendrils = 0;
    const std::string tendrilLine = run.LastLine(" Tendrils :");
    ASSERT_EQ(std::sscanf(tendrilLine.substr(tendrilLine.find("Tendrils :")).c_str(), "Tendrils :%d", &tendrils), 1);
    EXPECT_GT(tendrils, 0) << tendrilLine;
    EXPECT_TRUE(run.RunUntil("SpindrelRoom", 600 * kFrame, briefing));

    // The next step: the guard speaks, the storm message crosses the top.
    mark = run.Mark();
    run.CtrlPress(test::kScanF9);
    EXPECT_TRUE(run.RunUntil("Text 4 2 The nave is cold tonight.", 200 * kFrame, mark));
    EXPECT_TRUE(run.RunUntil("Text 639 10 A storm gathers over the gate.", 400 * kFrame, mark));
    // The debug page counted the message's delay down.
    EXPECT_NE(run.LastLine("Message  0-> 1 in ", mark), "");

    // The door to the nave, where the guard hunts the hero.
    ASSERT_TRUE(ThroughTheFarDoor(run, 1));
    run.Run(10 * kFrame);
    EXPECT_EQ(RoomLine(run).rfind("Salle :Nave(1)", 0), 0u) << RoomLine(run);
    EXPECT_NE(run.LastLine("[Events]").find("[Events]1;21;"), std::string::npos) << run.LastLine("[Events]");
    SelectBolt(run);
    mark = run.Mark();
    const int lifeBefore = run.Hero().life;
    // The hunter comes at the hero: it is shot at from up to 1400 units,
    // before it comes near enough to strike.
    ASSERT_TRUE(FightAndKill(run, "guard", mark, 1400)) << run.LastLine(" guard (") << "\n" << run.LastLine(" hero (");
    run.Run(20 * kFrame);
    ASSERT_TRUE(CharacterPlace(run, "guard", &gx, &gz, &guardLine));
    EXPECT_NE(guardLine.find("(Cc 254 - nowhere"), std::string::npos) << guardLine;
    std::printf("%s: the hunter killed with %zu shots, %zu of them hits; the hero's life %d, then %d\n", p.name,
                run.Steps("Fire", mark).size(), run.Steps("EM_ImpactEnemy", mark).size(), lifeBefore, run.Hero().life);

    // The last step finishes the mission: once the message has run out it
    // writes the autosave (slot 1, named after the mission) and opens
    // mission 22.
    mark = run.Mark();
    run.CtrlPress(test::kScanF9);
    ASSERT_TRUE(run.RunUntil("FinishMission 22", 100 * kFrame, mark)) << run.LastLine("MetaCouche") << "\n"
                                                                      << run.LastLine(" hero (");
    ASSERT_TRUE(run.RunUntil("OpenMission 22", 1000 * kFrame, mark));
    const std::string save = Slurp(run.dir / "savegame.001");
    constexpr size_t kSaveNameAt = 16;
    ASSERT_GT(save.size(), kSaveNameAt);
    EXPECT_EQ(save.substr(kSaveNameAt, save.find('\0', kSaveNameAt) - kSaveNameAt), "Vantilers-The Observatory");
    run.Run(20 * kFrame);

    // Escape, Up round to Quit, Enter: the quit prompt; Y ends the run.
    mark = run.Mark();
    MenuKeys(run, {test::kScanEscape, test::kScanUp, test::kScanEnter});
    run.Run(4 * kFrame);
    EXPECT_NE(run.LastLine("Leave the game? (Y/N)", mark), "");
    run.Press(test::kScanY, 60, 60);
    EXPECT_EQ(run.Finish(), 0);
    std::printf("%s: played %llu pumps\n", p.name, static_cast<unsigned long long>(run.Pump()));
}

TEST(PlayThroughRunTest, GameSoftPlaysTheDemo) {
    PlayThrough(test::kGameSoft);
}

TEST(PlayThroughRunTest, GameD3DPlaysTheDemo) {
    PlayThrough(test::kGameD3D);
}

}  // namespace
