// Both programs on mission 22 with the enemy manager running the hall's
// guard (the demo script's Attacker: it holds its ground, shoots the hero
// every 70 AI frames from wherever he stands and hurts him by 10 when it
// touches him; 16 life, two of the hero's bolts).  The hero walks up to
// it, turns to it and fires until it dies.  The run trace shows the AI's
// steps with their AI frame: the guard's attacks and shots, its contact
// damage, and its death with the energy gain and the journal entry.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

// About 40 pumps make a frame.  Z (44) four times: weapon row 4, the bolt.
// The hero starts looking along +x, the guard stands about 68 degrees to
// its left: Left (203) for 320 pumps (some 8 frames of 32 x the frame step,
// about 3 a frame) turns it onto the line to the guard; Up (200) walks it
// into the guard (about 24 frames of walking stop it beside it, within 330
// units), where the guard lies straight ahead, in its facing cone; and Q
// (16), pressed every 300 pumps, fires whenever it may.  The firing starts
// some 60 frames after the hero stops, once the guard has shot twice: two
// bolts kill it, and the moments the bolts leave shift by a few frames with
// the timing of the frames, so the guard's shots are not left to a race.
std::string FightScript() {
    std::string s =
        "400 keydown 44\n440 keyup 44\n520 keydown 44\n560 keyup 44\n640 keydown 44\n680 keyup 44\n"
        "760 keydown 44\n800 keyup 44\n"
        "900 keydown 203\n1220 keyup 203\n"
        "2800 keydown 200\n3870 keyup 200\n";
    for (int at = 6000; at < 14000; at += 300)
        s += std::to_string(at) + " keydown 16\n" + std::to_string(at + 150) + " keyup 16\n";
    return s + test::QuitKeys(15000);
}

bool Starts(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// The AI frame at the end of an AI step's line ("... frame N").
int FrameOf(const std::string& step) {
    return std::atoi(step.substr(step.rfind(' ') + 1).c_str());
}

void GuardFightsTheHero(const test::Program& p) {
    SCOPED_TRACE(p.name);
    test::DemoRun run = test::RunDemoProgram(p.path, FightScript(), test::kRunSeconds);
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> steps =
        test::TraceSteps(run.err, {"EnemyAttack", "EnemyShot", "DamagePlayer", "KillCharacter", "JournalEntry", "Spend",
                        "EM_ImpactEnemy"});
    for (const std::string& s : steps) std::printf("%s: %s\n", p.name, s.c_str());

    // Each attack of the guard (animation 1) brings exactly one shot, at the
    // hero, a number of frames later (at the animation's action keyframe,
    // halfway through it) and before the next attack.  The guard shoots
    // only once it faces him.
    int attacks = 0, shots = 0, lastAttack = -1;
    bool shotSinceAttack = true;
    for (const std::string& s : steps) {
        if (Starts(s, "EnemyAttack guard")) {
            EXPECT_TRUE(shotSinceAttack) << "an attack without its shot before " << s;
            ++attacks, lastAttack = FrameOf(s), shotSinceAttack = false;
        } else if (Starts(s, "EnemyShot guard")) {
            EXPECT_TRUE(Starts(s, "EnemyShot guard at hero gshot ")) << s;
            EXPECT_FALSE(shotSinceAttack) << "a second shot in one attack: " << s;
            EXPECT_GT(FrameOf(s), lastAttack) << s;
            std::istringstream in(s.substr(std::string("EnemyShot guard at hero gshot ").size()));
            int instance = -1;
            in >> instance;
            EXPECT_GE(instance, 0) << "the shot's effect did not start: " << s;
            ++shots, shotSinceAttack = true;
        }
    }
    EXPECT_GE(shots, 2);
    EXPECT_GE(attacks, shots);

    // Contact: 10 at a time, never twice within 70 / factor AI frames.
    std::vector<std::string> contacts;
    for (const std::string& s : steps)
        if (Starts(s, "DamagePlayer hero 10 life ")) contacts.push_back(s);
    ASSERT_GE(contacts.size(), 2u) << run.err;
    for (size_t i = 1; i < contacts.size(); ++i) {
        const std::string& s = contacts[i];
        // The hit time is drawn at the previous hit with that frame's factor.
        const std::string& before = contacts[i - 1];
        const double factor = std::atof(before.substr(before.find("factor ") + 7).c_str());
        ASSERT_GE(factor, 1.0) << before;
        EXPECT_GT(FrameOf(s) - FrameOf(before), int(70.0 / factor)) << s;
    }

    // The hero's two bolts kill it: the kill gives the hero its energy gain
    // and writes the journal's kill entry (kind 0) first.
    int impacts = 0, energyBefore = -1;
    std::string kill;
    bool journal = false;
    for (const std::string& s : steps) {
        if (!kill.empty()) break;
        if (s == "EM_ImpactEnemy bolt 8") ++impacts;
        if (Starts(s, "Spend 8 energy ")) energyBefore = std::atoi(s.substr(15).c_str());
        if (Starts(s, "JournalEntry 0 ")) journal = true;
        if (Starts(s, "KillCharacter guard ")) kill = s;
    }
    ASSERT_FALSE(kill.empty()) << run.err;
    EXPECT_EQ(impacts, 2);
    EXPECT_TRUE(journal);
    int gain = 0, energy = 0;
    ASSERT_EQ(std::sscanf(kill.c_str(), "KillCharacter guard gain %d energy %d", &gain, &energy), 2) << kill;
    EXPECT_GT(gain, 0);
    EXPECT_EQ(energy, energyBefore + gain);
    // Once dead it touches the hero no more.
    for (const std::string& s : contacts) EXPECT_LT(FrameOf(s), FrameOf(kill)) << s;
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(EnemyRunTest, GameSoftGuardShootsTouchesAndDies) {
    GuardFightsTheHero(test::kGameSoft);
}

TEST(EnemyRunTest, GameD3DGuardShootsTouchesAndDies) {
    GuardFightsTheHero(test::kGameD3D);
}

}  // namespace
