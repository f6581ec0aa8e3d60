// The mission statistics: the four totals and the play clock over a
// mission's open, its end and a restore, on the virtual clock.
#include "test_support.h"

#include "game/dqx_stats.h"
#include "game/game_state.h"
#include "host/headless/headless.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

class StatsTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::headless::SetAutoStep(0, 0);
        GameState = GameStateRecord{};
    }
    void TearDown() override {
        GameState = GameStateRecord{};
        HeadlessTest::TearDown();
    }
    static void AtSeconds(uint64_t s) { host::headless::SetClock(s * 1000000); }
};

// Each total is the sum the record names of the words after it; word 4
// (uncounted) is in none.  Words restored from a save wrap, never trap.
TEST_F(StatsTest, TotalsAreTheSumsOfTheirWords) {
    struct Row {
        const char* name;
        MissionStatsRecord words;
        int32_t lost, killed, gained, health;
    };
    auto words = [](int32_t shots, int32_t spells, int32_t spent, int32_t ghosts, int32_t friends, int32_t tendrils,
                     int32_t rooms, int32_t kills, int32_t gainedHealth, int32_t lostHealth, int32_t healed) {
        MissionStatsRecord s{};
        s.energyLostShots = shots, s.energyLostSpells = spells, s.energySpent = spent;
        s.ghostsKilled = ghosts, s.friendsKilled = friends, s.tendrilsKilled = tendrils;
        s.energyFromRooms = rooms, s.energyFromKills = kills;
        s.healthGained = gainedHealth, s.healthLost = lostHealth, s.healthHealed = healed;
        s.uncounted = 999;
        // Totals left from an earlier computation are replaced, not added to.
        s.energyLost = s.killed = s.energyGained = s.health = 7777;
        return s;
    };
    const Row rows[] = {
        {"nothing happened", words(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0, 0, 0, 0},
        {"every word counted", words(5, 7, 11, 1, 2, 3, 40, 25, 12, 50, 30), 23, 6, 65, 30 + 12 - 50},
        {"health lost past what was gained", words(0, 0, 0, 0, 0, 0, 0, 0, 0, 90, 10), 0, 0, 0, -80},
        {"saved words at the limits wrap", words(INT32_MAX, 1, 0, INT32_MAX, 1, 0, INT32_MIN, -1, 0, 1, INT32_MIN), INT32_MIN,
         INT32_MIN, INT32_MAX, INT32_MAX},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MissionStats = row.words;
        MissionStats.playClock = 0;
        AtSeconds(0);
        ComputeMissionStats();
        EXPECT_EQ(MissionStats.energyLost, row.lost);
        EXPECT_EQ(MissionStats.killed, row.killed);
        EXPECT_EQ(MissionStats.energyGained, row.gained);
        EXPECT_EQ(MissionStats.health, row.health);
        EXPECT_EQ(MissionStats.uncounted, 999);
        EXPECT_EQ(&MissionStats, &GameState.stats);
    }
}

// The play clock: a fresh mission starts it at 0 whatever the record held
// (also after a mission whose clock was stopped); a restore goes on from
// the save's word, which holds the start minus the time of the save.
TEST_F(StatsTest, PlayClockStartsStopsAndRestores) {
    struct Row {
        const char* name;
        int32_t clockWord;   // the word before the open
        int32_t counter;     // a counted word before the open
        int restoring;
        uint64_t openAt, readAt;  // seconds
        int32_t played;      // ComputeMissionStats at readAt, and the word after StopMissionClock
        int32_t counterAfter;
    };
    const Row rows[] = {
        {"fresh mission", 0, 0, 0, 100, 250, 150, 0},
        {"fresh mission after a stopped one: counts cleared", 400, 12, 0, 1000, 1030, 30, 0},
        {"restored save made after 90 s of play", -90, 12, 1, 5000, 5030, 120, 12},
        {"restored save made at once", 0, 3, 1, 70, 70, 0, 3},
        {"read at the open", 0, 0, 0, 4000, 4000, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MissionStats = MissionStatsRecord{};
        MissionStats.playClock = row.clockWord;
        MissionStats.ghostsKilled = row.counter;
        AtSeconds(row.openAt);
        StartMissionStats(row.restoring);
        EXPECT_EQ(MissionStats.ghostsKilled, row.counterAfter);
        AtSeconds(row.readAt);
        EXPECT_EQ(ComputeMissionStats(), row.played);
        EXPECT_EQ(MissionStats.killed, row.counterAfter);
        StopMissionClock();
        EXPECT_EQ(MissionStats.playClock, row.played);
    }
}

// A stopped clock carried through a save (stored as minus the elapsed
// seconds) and restored later goes on counting from where it stood.
TEST_F(StatsTest, PlayTimeSurvivesASaveAndRestore) {
    AtSeconds(20);
    StartMissionStats(0);
    AtSeconds(80);
    // The save stores the start minus the time of the save.
    int32_t saved = MissionStats.playClock - 80;
    EXPECT_EQ(saved, -60);
    MissionStats.playClock = saved;
    AtSeconds(10000);
    StartMissionStats(1);
    AtSeconds(10045);
    EXPECT_EQ(ComputeMissionStats(), 105);
}

}  // namespace
