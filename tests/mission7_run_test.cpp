// Both programs headless on mission 7 (developer option 4 names the first
// mission), one run each.  The hero stays in the gate (room 0) of the
// chain gate - nave - vault, faces the canopy in the middle of the room and
// fires the tendril shot (weapon row 6) now and then.  The drifter, a
// spindrel of side 0 that roams toward the rooms holding the most of its
// side's tendrils, starts in the vault.  The run trace shows:
// - the drifter changing rooms out of sight (vault to nave), coming into
//   the gate in view (shown at the entrance, fading in) and leaving it in
//   view (a walk through the exit, a fade out, then the room change);
// - the tendril values of the rooms growing by kind (0 in the drifter's
//   room, 1 in the rooms beside it, 2 in the others), and the gate's living
//   tendrils following its value a frame later;
// - the gate's tendrils hidden until the hero first hits one, then fading
//   in to full, shooting at the hero and hurting it, dying to the hero's
//   shots, fading out, and each kill reported to the enemy manager.
// (TendrilRunTest shows that mission 22 never updates a tendril.)
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// One tendril is worth 111 of a room's value (9 at most, 999).
constexpr int kTendrilValue = 111;
// The kit's mission-7 numbers: a tendril's life (gameplay.ini
// TendrilsHealthMax) and the tendril shot's damage to the hero (its class).
constexpr int kTendrilLife = 45;
constexpr int kTendrilShotDamage = 5;
// A revived tendril starts at fade 5 and gains 15 a frame while shown;
// a dead one loses 5 x the frame step (3 ticks) a frame.
constexpr int kRevivedFade = 5, kFadeInStep = 15;
// The walk ends within about 137 units of the exit point.
constexpr int kArrival = 137;

// About 40 pumps make a frame.  Space at frame 5 ends the briefing.  Z (44) six times: weapon row 6, the
// tendril shot.  The hero starts looking along +x, the canopy lies along
// +z: Left (203) for 380 pumps turns it a quarter turn, so that the
// canopy's tendrils stand ahead of it, in the line of its shots.  From
// frame 250 to 650 Q (16) is pressed every 300 pumps: the hero fires
// whenever it may (the energy of 120 pays 10 shots at 12).
std::string Script() {
    // The mission opens on its briefing, which waits for Space (57): held
    // over a few frames (a hit is a key seen down), it ends the briefing
    // before the first keys of play.
    std::string s = "200 keydown 57\n300 keyup 57\n";
    for (int at = 400; at <= 1000; at += 120)
        s += std::to_string(at) + " keydown 44\n" + std::to_string(at + 40) + " keyup 44\n";
    s += "1100 keydown 203\n1480 keyup 203\n";
    for (int at = 10000; at < 26000; at += 300)
        s += std::to_string(at) + " keydown 16\n" + std::to_string(at + 150) + " keyup 16\n";
    return s + test::QuitKeys(30000);
}

bool Starts(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

int LastNumber(const std::string& s) {
    return std::atoi(s.substr(s.rfind(' ') + 1).c_str());
}

// The three rooms of mission 7 form a chain: rooms beside each other are
// linked.
bool Linked(int a, int b) {
    return a - b == 1 || b - a == 1;
}

// The kind by which a room grows while the drifter stands in `drifter`.
int KindFor(int room, int drifter) {
    if (room == drifter) return 0;
    return Linked(room, drifter) ? 1 : 2;
}

struct TendrilLine {
    int index = -1, alive = 0, fade = 0;
};

bool ParseTendril(const std::string& s, TendrilLine* t) {
    return std::sscanf(s.c_str(), "UpdateTendril %d alive %d fade %d", &t->index, &t->alive, &t->fade) == 3;
}

void RunMission7(const test::Program& p) {
    SCOPED_TRACE(p.name);
    test::DemoRun run = test::RunDemoProgram(p.path, Script(), test::kRunSeconds, "Option=4\nMission=7\n");
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> steps = test::TraceSteps(
        run.err, {"OpenMission", "EnterRoom", "ChangeCharacterRoom", "SpindrelRoom", "SpindrelFadeIn", "SpindrelFadeOut",
                  "SpindrelExitWalk", "Transparency drifter", "TendrilsGrow", "TendrilsKilled", "UpdateTendril ",
                  "TendrilShot", "Hit hero", "HitTendril", "TendrilKilled", "Fire "});
    for (const std::string& s : steps)
        if (!Starts(s, "UpdateTendril ") && !Starts(s, "Transparency") && !Starts(s, "TendrilsGrow"))
            std::printf("%s: %s\n", p.name, s.c_str());
    ASSERT_FALSE(steps.empty()) << run.err;
    EXPECT_EQ(steps[0], "OpenMission 7");
    // The briefing (".\ms29\") was shown and ended by Space.
    EXPECT_NE(run.err.find("trace: BriefingShown 29\n"), std::string::npos);
    EXPECT_NE(run.err.find("trace: BriefingEnded\n"), std::string::npos);

    // --- the drifter's moves -------------------------------------------------
    // It starts in the vault; the hero never leaves the gate.
    int drifter = 2, unseen = 0, entries = 0, exits = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string& s = steps[i];
        if (Starts(s, "EnterRoom")) {
            EXPECT_EQ(s, "EnterRoom 0");
        }
        if (!Starts(s, "ChangeCharacterRoom ")) continue;
        const int to = LastNumber(s);
        SCOPED_TRACE(s + " from room " + std::to_string(drifter));
        EXPECT_TRUE(Linked(drifter, to)) << "a move goes to a room beside";
        // The drifter's own lines since its last change; for a move out of
        // the hero's room, since the walk began (an entry's fade comes
        // before it).
        std::vector<std::string> own;
        for (size_t j = i; j-- > 0 && !Starts(steps[j], "ChangeCharacterRoom ");) {
            if (Starts(steps[j], "SpindrelRoom")) continue;
            if (Starts(steps[j], "Spindrel") || Starts(steps[j], "Transparency")) own.insert(own.begin(), steps[j]);
            if (Starts(steps[j], "SpindrelExitWalk")) break;
        }
        if (!own.empty() && !Starts(own[0], "SpindrelExitWalk")) {
            std::vector<std::string> rest;
            for (const std::string& o : own)
                if (!Starts(o, "Transparency")) rest.push_back(o);
            own = rest;
        }
        if (to == 0) {
            // In view, in: shown at the entrance first, then the fade in
            // (transparency falling from 100 to 0).
            ++entries;
            int transparency = 101;
            size_t j = i + 1;
            ASSERT_LT(j, steps.size());
            EXPECT_EQ(steps[j], "SpindrelFadeIn 0");
            for (++j; j < steps.size() && !Starts(steps[j], "ChangeCharacterRoom "); ++j) {
                if (!Starts(steps[j], "Transparency drifter ")) continue;
                const int now = std::atoi(steps[j].substr(21).c_str());
                EXPECT_LE(now, transparency) << steps[j];
                transparency = now;
                if (now == 0) break;
            }
            EXPECT_EQ(transparency, 0) << "the fade in ran to the end";
        } else if (drifter == 0) {
            // In view, out: the walk to the exit point from afar, the fade
            // out (transparency rising to 100) once there, then the change.
            ++exits;
            ASSERT_GE(own.size(), 3u);
            int distance = -1, transparency = -1;
            EXPECT_EQ(std::sscanf(own[0].c_str(), "SpindrelExitWalk %*d distance %d", &distance), 1) << own[0];
            EXPECT_EQ(own[0].rfind("SpindrelExitWalk " + std::to_string(to), 0), 0u) << own[0];
            EXPECT_GT(distance, kArrival);
            EXPECT_EQ(own[1], "SpindrelFadeOut " + std::to_string(to));
            for (size_t k = 2; k < own.size(); ++k) {
                ASSERT_TRUE(Starts(own[k], "Transparency drifter ")) << own[k];
                const int now = std::atoi(own[k].substr(21).c_str());
                EXPECT_GE(now, transparency) << own[k];
                transparency = now;
            }
            EXPECT_EQ(transparency, 100) << "gone from sight before the change";
        } else {
            // Out of sight: a single change, no walk, no fade; the manager
            // holds it in the new room at once.
            ++unseen;
            EXPECT_TRUE(own.empty()) << own.front();
            EXPECT_EQ(steps[i - 1], "SpindrelRoom " + std::to_string(to));
        }
        drifter = to;
    }
    EXPECT_GE(unseen, 1);
    EXPECT_GE(entries, 1);
    EXPECT_GE(exits, 1);

    // --- tendril values by kind, the gate's tendrils following its value -----
    drifter = 2;
    int gateValue = 0, blockValue = 0, expectedLiving = 0, killsInBlock = 0, blocks = 0, grownKinds = 0, rises = 0;
    int livingBefore = -1, living = 0, lastIndex = 10;
    int firstHit = -1, firstShot = -1, kills = 0, shotsThatHurt = 0, heroLife = -1;
    bool shotPending = false;
    std::map<int, int> fadeInFrom;  // tendril -> the fade its shown climb started at
    std::map<int, TendrilLine> last;
    int fadedIn = 0, fadedOut = 0;
    // The frame's update lines of the gate's tendrils come in blocks (one
    // line a record, slots in order).  A block's living count is the gate's
    // count as the previous frame's update found it (its revivals run at
    // its end), less the kills since.
    auto endBlock = [&] {
        if (blocks >= 2) {
            EXPECT_EQ(living, expectedLiving) << "frame block " << blocks;
        }
        if (livingBefore >= 0 && living > livingBefore) ++rises;
        livingBefore = living;
        living = 0;
        expectedLiving = (blockValue - killsInBlock * kTendrilValue) / kTendrilValue;
        blockValue = gateValue;
        killsInBlock = 0;
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string& s = steps[i];
        // The manager's room of the drifter, from which its kinds count:
        // on an entry in view it changes once the fade in has ended.
        if (Starts(s, "SpindrelRoom ")) drifter = LastNumber(s);
        int room = -1, side = -1, kind = -1, count = 0, value = 0;
        if (std::sscanf(s.c_str(), "TendrilsGrow room %d side %d kind %d value %d", &room, &side, &kind, &value) ==
            4) {
            SCOPED_TRACE(s);
            EXPECT_EQ(side, 0);
            EXPECT_EQ(kind, KindFor(room, drifter)) << "drifter in room " << drifter;
            if (room == 0) {
                EXPECT_TRUE(value == gateValue + (kind == 2 ? 2 : 1) * kTendrilValue || value == 999) << gateValue;
                grownKinds |= 1 << kind;
                gateValue = value;
            }
        }
        if (std::sscanf(s.c_str(), "TendrilsKilled room %d side %d count %d value %d", &room, &side, &count,
                        &value) == 4) {
            EXPECT_EQ(room, 0) << s;
            EXPECT_EQ(count, 1) << s;
            EXPECT_EQ(value, gateValue - kTendrilValue) << s;
            gateValue = value;
            ++killsInBlock;
        }
        if (Starts(s, "HitTendril") && firstHit < 0) firstHit = int(i);
        if (Starts(s, "TendrilShot")) {
            EXPECT_GE(firstHit, 0) << "a tendril shoots only once the hero has hit one";
            if (firstShot < 0) firstShot = int(i);
            shotPending = true;
        }
        if (Starts(s, "Hit hero ")) {
            const int life = LastNumber(s);
            if (shotPending && heroLife - life == kTendrilShotDamage) ++shotsThatHurt, shotPending = false;
            heroLife = life;
        }
        if (Starts(s, "TendrilKilled ")) {
            ++kills;
            // The tendril's last hit took its life to 0 or below, and the
            // kill went to the manager at once.
            ASSERT_GE(i, 2u);
            EXPECT_TRUE(Starts(steps[i - 2], "HitTendril ")) << steps[i - 2];
            EXPECT_LE(LastNumber(steps[i - 2]), 0) << steps[i - 2];
            EXPECT_TRUE(Starts(steps[i - 1], "TendrilsKilled room 0 side 0 count 1 value")) << steps[i - 1];
        }
        if (Starts(s, "HitTendril ")) {
            EXPECT_LT(LastNumber(s), kTendrilLife) << s;
        }
        TendrilLine t;
        if (!ParseTendril(s, &t)) continue;
        if (t.index <= lastIndex) {
            endBlock();
            ++blocks;
        }
        lastIndex = t.index;
        living += t.alive ? 1 : 0;
        const auto before = last.find(t.index);
        if (before != last.end()) {
            const TendrilLine& b = before->second;
            // Hidden until the hero's first hit shows the tendrils.
            if (firstHit < 0 && t.alive) {
                EXPECT_LE(t.fade, kRevivedFade) << s;
            }
            if (b.alive && t.alive && t.fade > b.fade) {
                // Shown and fading in: 15 a frame up to full.
                EXPECT_TRUE(t.fade == b.fade + kFadeInStep || t.fade == 255) << s << " after fade " << b.fade;
                if (!fadeInFrom.count(t.index)) fadeInFrom[t.index] = b.fade;
                if (t.fade == 255 && fadeInFrom[t.index] <= kRevivedFade) ++fadedIn;
            } else {
                fadeInFrom.erase(t.index);
            }
            if (!b.alive && !t.alive && b.fade > 0 && t.fade < b.fade) ++fadedOut;
        }
        last[t.index] = t;
    }
    endBlock();
    std::printf("%s: %d frames of tendril updates, %d rises, kinds %x, %d kills, %d faded in, %d fading out, "
                "%d tendril shots that hurt\n",
                p.name, blocks, rises, grownKinds, kills, fadedIn, fadedOut, shotsThatHurt);
    // The gate grew by at least two kinds (far while the drifter stood in
    // the vault, beside while it stood in the nave), its living count rose
    // with it, the hero's hits showed the tendrils and they faded in to
    // full, shot at the hero and hurt it, and at least two died to its
    // shots, each fading out.
    EXPECT_GE(__builtin_popcount(unsigned(grownKinds)), 2);
    EXPECT_GE(rises, 2);
    EXPECT_GE(fadedIn, 1);
    EXPECT_GE(firstShot, 0);
    EXPECT_GE(shotsThatHurt, 1);
    EXPECT_GE(kills, 2);
    EXPECT_GE(fadedOut, 1);
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(Mission7RunTest, GameSoftSpindrelRoamsAndTendrilsGrowShootAndDie) {
    RunMission7(test::kGameSoft);
}

TEST(Mission7RunTest, GameD3DSpindrelRoamsAndTendrilsGrowShootAndDie) {
    RunMission7(test::kGameD3D);
}

}  // namespace
