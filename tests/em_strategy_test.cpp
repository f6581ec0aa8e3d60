// The enemies' decision step against the real host: which handler takes
// the frame, the life thresholds and their once-flags, replacement codes,
// the forced shot, the impact, death and fade machines, the target choice,
// the scene-entry timers, the group formations and the shared shot
// sequence.  The room lists are filled here as the frame step fills them.
#include "em_fixture.h"

#include "ai/em_enemy.h"
#include "ai/em_geometry.h"
#include "ai/em_impact.h"
#include "ai/em_steps.h"
#include "ai/em_strategy.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_obj.h"

#include <algorithm>
#include <functional>
#include <string>

namespace {

using test::EnemyManagerTest;

// Game codes the host gives the AI animations (its own table).
constexpr int32_t kCodeGuard = 0, kCodeMove = 2, kCodeAttack = 6, kCodeImpact = 7, kCodeDeath = 22;
constexpr int32_t kHeld = 0x1000;  // added to a code played held on its last frame
// A code no AI animation maps to: the character's animation has stopped.
constexpr uint16_t kStopped = 999;

int g_Sounds = 0;
int g_Kills = 0;

using Shape = std::function<void(kit::EscCharacter&)>;

// Guard and Other, two enemies of the hero's room; the hero at 2000 units
// east of the Guard, Other 2000 units south.  The Guard turns at once, so
// that it always faces what it turns to.
class StrategyTest : public EnemyManagerTest {
protected:
    void SetUp() override {
        EnemyManagerTest::SetUp();
        guard_ = AddCharacter("Guard");
        other_ = AddCharacter("Other");
        savedSound_ = EngineServices.PlaySound;
        g_Sounds = g_Kills = 0;
        EngineServices.PlaySound = [](int32_t, const char*, int, int, int) { ++g_Sounds; };
        EmHost.AddJournalEntry = [](int32_t, CharacterRecord*, ObjectRecord*) { ++g_Kills; };
    }
    void TearDown() override {
        ClearLists();
        EngineServices.PlaySound = savedSound_;
        EnemyManagerTest::TearDown();
    }
    void Open(const Shape& guard = {}, const Shape& other = {}, uint32_t flags = 0,
              const std::vector<kit::EscCharacter>& extra = {}) {
        kit::EscScript s;
        kit::EscCharacter g = test::ScriptCharacter("Guard", 30);
        g.characteristics.turning = 0;
        g.characteristics.keyframes = {0, 15, 15, 0, 0, 0, 0};
        g.weapons = {{"w1-1-A.cgs", 50}};
        kit::EscCharacter o = test::ScriptCharacter("Other", 30);
        if (guard) guard(g);
        if (other) other(o);
        kit::EscModel raging{"raging", {}};
        raging.characteristics.life = 77;
        raging.characteristics.mainBehaviour = 2;
        s.characters = {g, o};
        s.characters.insert(s.characters.end(), extra.begin(), extra.end());
        s.models = {raging};
        PutScript(s);
        ASSERT_EQ(OpenMission(flags), 1);
        enemy_ = &EmEnemyTable.items[0];
        otherEnemy_ = &EmEnemyTable.items[1];
        GiveModel(&records_[0], {2000, 600, 0});
        GiveModel(guard_, {0, 600, 0});
        GiveModel(other_, {0, 600, 2000});
        FillRoom();
    }
    static void ClearLists() {
        EmRoomPlayerCount = EmRoomEnemyCount = 0;
        for (int i = 0; i < kEmRoomListSize; ++i) {
            EmRoomPlayers[i] = EmRoomEnemies[i] = nullptr;
            EmRoomPlayerRecords[i] = nullptr;
            EmRoomEnemyRecords[i] = nullptr;
        }
    }
    // The hero and every enemy in the room, in table order.
    void FillRoom() {
        ClearLists();
        EmRoomPlayerCount = 1;
        EmRoomPlayers[0] = &records_[0];
        EmRoomPlayerRecords[0] = &EmPlayerTable.items[0];
        EmRoomEnemyCount = EmEnemyTable.count;
        for (int32_t i = 0; i < EmEnemyTable.count; ++i) {
            EmRoomEnemies[i] = EmEnemyTable.items[i].character;
            EmRoomEnemyRecords[i] = &EmEnemyTable.items[i];
        }
    }
    int Slot(const CharacterRecord* c) const { return int(c - records_.data()); }
    void Play(const CharacterRecord* c, int32_t code) { anims_[size_t(Slot(c))].current = uint16_t(code); }
    void Stop(const CharacterRecord* c) { anims_[size_t(Slot(c))].current = kStopped; }
    void Move(CharacterRecord* c, Vec3 at) {
        Set_ObjPos(c->model, &at);
        c->position = at;
    }
    void Step() { EM_ProcessStrategy(guard_, enemy_); }
    // Whether a trace line was written after the first `from` lines.
    bool TracedSince(size_t from, const std::string& text) const {
        auto lines = DebugLines();
        for (size_t i = from; i < lines.size(); ++i)
            if (lines[i] == "******************************" + text) return true;
        return false;
    }
    // The game codes asked for the Guard, oldest first.
    std::vector<int32_t> GuardAnims() const {
        std::vector<int32_t> codes;
        for (auto& [c, code] : test::g_EmHostLog.anims)
            if (c == guard_) codes.push_back(code);
        return codes;
    }
    // The last of them; -1 for none.
    int32_t LastGuardAnim() const {
        auto codes = GuardAnims();
        return codes.empty() ? -1 : codes.back();
    }
    int GuardShots() const {
        int n = 0;
        for (CharacterRecord* c : test::g_EmHostLog.shots) n += c == guard_;
        return n;
    }

    CharacterRecord* guard_ = nullptr;
    CharacterRecord* other_ = nullptr;
    EmEnemy* enemy_ = nullptr;
    EmEnemy* otherEnemy_ = nullptr;
    decltype(EngineServices.PlaySound) savedSound_ = nullptr;
};

// ---------------------------------------------------------------------------
// The decision order
// ---------------------------------------------------------------------------

enum class Ran { Stopped, Death, Impact, RunAway, KeepDistance, ModelSwitch, ForcedShot, Group, Main };

const char* Name(Ran r) {
    static const char* names[] = {"stopped", "death", "impact", "run-away", "keep-distance",
                                  "model switch", "forced shot", "group", "main"};
    return names[int(r)];
}

TEST_F(StrategyTest, EachFrameGoesToTheFirstHandlerOfTheDecisionOrder) {
    Open([](kit::EscCharacter& g) { g.characteristics.spindrel = 1; }, {}, 2);
    ASSERT_EQ(EmSpindrelTable.count, 1);
    const EmEnemy pristineGuard = *enemy_, pristineOther = *otherEnemy_;
    CharacterRecord* const sentinel = &records_[9];
    struct Row {
        const char* what;
        std::function<void(EmEnemy&, EmEnemy&)> setup;
        Ran ran;
        bool targetChosen;
        std::function<bool(const EmEnemy&)> also;
    };
    auto life = [](EmEnemy& e) -> EmCharacteristics& { return e.script.characteristics; };
    const Row rows[] = {
        {"nothing pending", [](EmEnemy&, EmEnemy&) {}, Ran::Main, true, {}},
        {"a fade runs and the step goes on", [](EmEnemy& g, EmEnemy&) { g.fading = 1; }, Ran::Main, true,
         [](const EmEnemy& g) { return g.fading == 3; }},
        {"dead", [](EmEnemy& g, EmEnemy&) { g.dead = 1; }, Ran::Death, false, {}},
        {"dead while fading: both run", [](EmEnemy& g, EmEnemy&) { g.dead = 1, g.fading = 2; }, Ran::Death, false,
         [](const EmEnemy& g) { return g.fading == 4; }},
        {"life 0", [&](EmEnemy& g, EmEnemy&) { life(g).life = 0; }, Ran::Stopped, false, {}},
        {"life -1", [&](EmEnemy& g, EmEnemy&) { life(g).life = -1; }, Ran::Stopped, false, {}},
        {"impact", [](EmEnemy& g, EmEnemy&) { g.impact = 1; }, Ran::Impact, false, {}},
        {"death before impact", [](EmEnemy& g, EmEnemy&) { g.dead = 1, g.impact = 1; }, Ran::Death, false, {}},
        {"impact before the forced-shot latch", [](EmEnemy& g, EmEnemy&) { g.impact = 1, g.forcedShotLatch = 1; },
         Ran::Impact, false, {}},
        {"a spindrel busy with a move",
         [](EmEnemy&, EmEnemy&) { EmSpindrelTable.items[0].state = 1; }, Ran::Stopped, true, {}},
        {"a busy spindrel skips its thresholds",
         [&](EmEnemy& g, EmEnemy&) { EmSpindrelTable.items[0].state = 1, life(g).runAwayLife = 31; }, Ran::Stopped,
         true, [](const EmEnemy& g) { return g.state == 0; }},
        {"life one below run-away", [&](EmEnemy& g, EmEnemy&) { life(g).runAwayLife = 31; }, Ran::RunAway, true, {}},
        {"life equal to run-away", [&](EmEnemy& g, EmEnemy&) { life(g).runAwayLife = 30; }, Ran::Main, true, {}},
        {"a run-away threshold of -1 is signed", [&](EmEnemy& g, EmEnemy&) { life(g).runAwayLife = -1; }, Ran::Main,
         true, {}},
        {"life one below keep-distance", [&](EmEnemy& g, EmEnemy&) { life(g).keepDistanceLife = 31; },
         Ran::KeepDistance, true, {}},
        {"life equal to keep-distance", [&](EmEnemy& g, EmEnemy&) { life(g).keepDistanceLife = 30; }, Ran::Main, true,
         {}},
        {"run-away before keep-distance",
         [&](EmEnemy& g, EmEnemy&) { life(g).runAwayLife = 31, life(g).keepDistanceLife = 31; }, Ran::RunAway, true,
         {}},
        {"keep-distance before the forced shot",
         [&](EmEnemy& g, EmEnemy&) { life(g).keepDistanceLife = 31, g.forcedShotLatch = 1; }, Ran::KeepDistance, true,
         {}},
        {"change to behaviour 3 goes on",
         [&](EmEnemy& g, EmEnemy&) { life(g).changeLife = 31, life(g).replacement = 3; }, Ran::Main, true,
         [](const EmEnemy& g) { return g.script.characteristics.mainBehaviour == 3 && g.changePassed == 1; }},
        {"life equal to the change threshold",
         [&](EmEnemy& g, EmEnemy&) { life(g).changeLife = 30, life(g).replacement = 3; }, Ran::Main, true,
         [](const EmEnemy& g) { return g.script.characteristics.mainBehaviour == 1; }},
        {"change to model 0 stops",
         [&](EmEnemy& g, EmEnemy&) { life(g).changeLife = 31, life(g).replacement = 11; }, Ran::ModelSwitch, true,
         [](const EmEnemy& g) { return g.script.characteristics.mainBehaviour == 2 && g.changePassed == 0; }},
        {"a model the table lacks is ignored",
         [&](EmEnemy& g, EmEnemy&) { life(g).changeLife = 31, life(g).replacement = 12; }, Ran::Main, true,
         [](const EmEnemy& g) { return g.script.characteristics.mainBehaviour == 1 && g.changePassed == 0; }},
        {"the change runs once",
         [&](EmEnemy& g, EmEnemy&) { life(g).changeLife = 31, life(g).replacement = 11, g.changePassed = 1; },
         Ran::Main, true, {}},
        {"forced shot due", [&](EmEnemy& g, EmEnemy&) { life(g).forcedShot = 1, g.nextShootTime = 1000; },
         Ran::ForcedShot, true, [](const EmEnemy& g) { return g.forcedShotLatch == 1; }},
        {"forced shot one frame ahead",
         [&](EmEnemy& g, EmEnemy&) { life(g).forcedShot = 1, g.nextShootTime = 1001; }, Ran::Main, true, {}},
        {"forced shot latched", [](EmEnemy& g, EmEnemy&) { g.forcedShotLatch = 1; }, Ran::ForcedShot, true, {}},
        {"a change of behaviour, then the forced shot",
         [&](EmEnemy& g, EmEnemy&) { life(g).changeLife = 31, life(g).replacement = 3, g.forcedShotLatch = 1; },
         Ran::ForcedShot, true,
         [](const EmEnemy& g) { return g.script.characteristics.mainBehaviour == 3; }},
        {"group with company",
         [&](EmEnemy& g, EmEnemy& o) { life(g).groupBehaviour = 1, life(o).groupBehaviour = 1; }, Ran::Group, true,
         [](const EmEnemy& g) { return g.currentGroup == 1; }},
        {"group without company",
         [&](EmEnemy& g, EmEnemy& o) { life(g).groupBehaviour = 1, life(o).groupBehaviour = 2; }, Ran::Main, true,
         {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        *enemy_ = pristineGuard;
        *otherEnemy_ = pristineOther;
        EmSpindrelTable.items[0].state = 0;
        EmFrameCount = 1000;
        enemy_->nextShootTime = 5000;
        r.setup(*enemy_, *otherEnemy_);
        enemy_->target = sentinel;
        const EmEnemy before = *enemy_;
        const size_t from = DebugLines().size();
        Step();
        Ran ran = Ran::Stopped;
        const EmCharacteristics &now = enemy_->script.characteristics, &was = before.script.characteristics;
        if (enemy_->dead != before.dead)
            ran = Ran::Death;
        else if (enemy_->impact != before.impact)
            ran = Ran::Impact;
        else if (now.life != was.life)
            ran = Ran::ModelSwitch;
        else if (now.runAwayLife != was.runAwayLife || enemy_->runAwayPassed != before.runAwayPassed)
            ran = Ran::RunAway;
        else if (enemy_->keepDistancePassed != before.keepDistancePassed)
            ran = Ran::KeepDistance;
        else if (enemy_->subState != before.subState)
            ran = Ran::ForcedShot;
        else if (TracedSince(from, "End Of EM_ProcessStrategy()"))
            ran = enemy_->currentGroup ? Ran::Group : Ran::Main;
        EXPECT_STREQ(Name(ran), Name(r.ran));
        EXPECT_EQ(enemy_->target != sentinel, r.targetChosen);
        if (r.also) {
            EXPECT_TRUE(r.also(*enemy_));
        }
        // Only the dispatch to a behaviour writes the exit line.
        EXPECT_EQ(TracedSince(from, "End Of EM_ProcessStrategy()"), r.ran == Ran::Group || r.ran == Ran::Main);
        EXPECT_TRUE(TracedSince(from, "EM_ProcessStrategy()"));
    }
}

TEST_F(StrategyTest, TheStepLogsTheEnemyAndTheFrameStepItsOwnExitLine) {
    Open({}, {}, 3);
    const size_t from = DebugLines().size();
    EXPECT_EQ(EM_ProcessEnemy(0), 1);
    auto lines = DebugLines();
    std::vector<std::string> wanted = {"******************************EM_ProcessEnemy()",
                                       "******************************EM_ProcessStrategy()", "Processing Guard",
                                       "******************************End Of EM_ProcessStrategy()",
                                       "******************************End of EM_ProcessEnemy()"};
    size_t at = from;
    for (const std::string& w : wanted) {
        while (at < lines.size() && lines[at] != w) ++at;
        EXPECT_LT(at, lines.size()) << w;
    }
}

TEST_F(StrategyTest, TheDispatchHandsOnTheBehaviourNumberOfTheCharacteristics) {
    Open({}, {}, 1);
    struct Row {
        int32_t main, group, otherGroup;
        const char* line;
    };
    const Row rows[] = {
        {0, 0, 0, "Unknown main behaviour (0)"},
        {12, 0, 0, "Unknown main behaviour (12)"},
        {13, 4, 0, "Unknown main behaviour (13)"},  // a group nobody shares
        {14, 4, 4, "Unknown group behaviour (4)"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        enemy_->script.characteristics.mainBehaviour = r.main;
        enemy_->script.characteristics.groupBehaviour = r.group;
        otherEnemy_->script.characteristics.groupBehaviour = r.otherGroup;
        const size_t from = DebugLines().size();
        Step();
        auto lines = DebugLines();
        EXPECT_EQ(std::count(lines.begin() + std::ptrdiff_t(from), lines.end(), std::string(r.line)), 1);
    }
}

// ---------------------------------------------------------------------------
// Thresholds, once-flags and replacement codes
// ---------------------------------------------------------------------------

TEST_F(StrategyTest, KeepDistanceSetsItsRangesOnceAndThenOnlyRunsTheAttacker) {
    Open([](kit::EscCharacter& g) { g.characteristics.keepDistanceLife = 31; });
    enemy_->state = 5;
    Step();
    EXPECT_EQ(enemy_->keepDistancePassed, 1);
    EXPECT_EQ(enemy_->script.characteristics.forwardRange, 3300);
    EXPECT_EQ(enemy_->script.characteristics.backwardRange, 2475);
    EXPECT_NE(enemy_->state, kEmStateThreshold);
    // The Attacker's state is left alone on later frames: -1 is not set again.
    enemy_->state = 7;
    enemy_->script.characteristics.forwardRange = 1;
    Step();
    EXPECT_EQ(enemy_->state, 7);
    EXPECT_EQ(enemy_->script.characteristics.forwardRange, 1);
}

TEST_F(StrategyTest, RunAwayOnceEnteredKeepsItsStateAndGivesUpWhenTheCowardCannotStart) {
    Open([](kit::EscCharacter& g) { g.characteristics.runAwayLife = 31; }, {}, 2);
    // Entered earlier: the Coward's own state is kept, never reset to -1.
    enemy_->runAwayPassed = 1;
    enemy_->state = 5;
    Step();
    EXPECT_EQ(enemy_->state, 5);
    EXPECT_EQ(enemy_->script.characteristics.runAwayLife, 31);
    // First crossing: a Coward left in state 0 gives the reaction up for good.
    enemy_->runAwayPassed = 0;
    enemy_->state = 5;
    Step();
    if (enemy_->state == 0) {
        EXPECT_EQ(enemy_->script.characteristics.runAwayLife, 0);
        EXPECT_EQ(enemy_->runAwayPassed, 0);
        const size_t from = DebugLines().size();
        Step();
        EXPECT_TRUE(TracedSince(from, "End Of EM_ProcessStrategy()")) << "the behaviour runs again";
    } else {
        EXPECT_EQ(enemy_->script.characteristics.runAwayLife, 31);
        EXPECT_EQ(enemy_->runAwayPassed, 1);
    }
}

TEST_F(StrategyTest, ReplacementCodeThreeMakesAnAttackerCowardAtOnceAndNeverChangesAgain) {
    Open([](kit::EscCharacter& g) {
        g.characteristics.changeLife = 20;
        g.characteristics.replacement = 3;
    }, {}, 2);
    Step();
    EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, 1) << "life 30 is not below 20";
    enemy_->script.characteristics.life = 19;
    enemy_->state = 6;
    size_t from = DebugLines().size();
    Step();
    EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, 3);
    EXPECT_EQ(enemy_->changePassed, 1);
    EXPECT_TRUE(TracedSince(from, "End Of EM_ProcessStrategy()")) << "dispatched in the same frame";
    // Even a model code found later does not switch it again.
    enemy_->script.characteristics.replacement = 11;
    enemy_->script.characteristics.life = 5;
    Step();
    EXPECT_EQ(enemy_->script.characteristics.life, 5);
    EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, 3);
}

// Below its change threshold an enemy takes a code below 11, 0 and the
// negative ones included, as its main behaviour and goes on with the step;
// a model code copies the model and restarts the enemy, but only for a
// model of the table.
TEST_F(StrategyTest, AReplacementCodeBecomesTheBehaviourOrTheModelOfTheTable) {
    enum Outcome { Switches, Behaviour, Ignored };
    struct Row {
        const char* what;
        int32_t code;
        Outcome outcome;
    };
    const Row rows[] = {
        {"model 0", 11, Switches},
        {"model 1 of a one-model table", 12, Ignored},
        {"far past the table", 0x7FFFFFFF, Ignored},
        {"code 0: no behaviour", 0, Behaviour},
        {"negative code", -5, Behaviour},
    };
    Open([](kit::EscCharacter& g) { g.characteristics.changeLife = 20; }, {}, 2);
    const EmEnemy pristine = *enemy_;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        *enemy_ = pristine;
        enemy_->script.characteristics.life = 10;
        enemy_->script.characteristics.replacement = r.code;
        enemy_->state = 301;
        enemy_->dead = 0;
        enemy_->forcedShotLatch = 0;
        enemy_->previousState = 5;
        const size_t from = DebugLines().size();
        Step();
        const EmCharacteristics& c = enemy_->script.characteristics;
        switch (r.outcome) {
        case Switches:
            EXPECT_EQ(c.life, 77);
            EXPECT_EQ(c.mainBehaviour, 2);
            EXPECT_EQ(c.changeLife, 0);
            EXPECT_EQ(enemy_->state, 0);
            EXPECT_EQ(enemy_->previousState, 32000) << "runtime data initialised";
            EXPECT_STREQ(enemy_->script.name, "Guard") << "only the characteristics are copied";
            break;
        case Behaviour:
            EXPECT_EQ(c.life, 10);
            EXPECT_EQ(c.mainBehaviour, r.code);
            EXPECT_EQ(enemy_->state, 0) << "no behaviour runs to move it on";
            EXPECT_EQ(enemy_->previousState, 301);
            break;
        case Ignored:
            EXPECT_EQ(c.life, 10);
            EXPECT_EQ(c.mainBehaviour, 1);
            EXPECT_EQ(c.replacement, r.code);
            break;
        }
        EXPECT_EQ(enemy_->changePassed, r.outcome == Behaviour ? 1 : 0);
        EXPECT_EQ(TracedSince(from, "End Of EM_ProcessStrategy()"), r.outcome != Switches);
    }
}

// ---------------------------------------------------------------------------
// Forced shot and impact
// ---------------------------------------------------------------------------

TEST_F(StrategyTest, TheForcedShotRunsItsSubStatesAndShootsOnceAtTheKeyframe) {
    Open([](kit::EscCharacter& g) {
        g.characteristics.forcedShot = 1;
        g.characteristics.shootDelay = {100, 100};
    });
    EmFrameCount = 500;
    enemy_->nextShootTime = 500;
    enemy_->state = 2;
    Step();
    EXPECT_EQ(enemy_->forcedShotLatch, 1);
    EXPECT_EQ(enemy_->subState, 200);
    EXPECT_EQ(enemy_->target, &records_[0]);
    Step();
    EXPECT_EQ(enemy_->subState, 201);
    EXPECT_EQ(LastGuardAnim(), kCodeGuard);
    Step();
    EXPECT_EQ(enemy_->subState, 300);
    Step();
    EXPECT_EQ(enemy_->subState, 301);
    EXPECT_EQ(LastGuardAnim(), kCodeAttack);
    EXPECT_EQ(enemy_->state, 2) << "the state waits for the shot";
    CharacterAnimState& st = anims_[size_t(Slot(guard_))];
    Play(guard_, kCodeAttack);
    st.time = 15 * 255;  // at the keyframe, not past it
    Step();
    EXPECT_EQ(GuardShots(), 0);
    for (int i = 0; i < 3; ++i) {
        st.time = 16 * 255 + i;
        Step();
    }
    EXPECT_EQ(GuardShots(), 1);
    EXPECT_EQ(enemy_->nextShootTime, 600u);
    EXPECT_EQ(enemy_->subState, 301);
    Stop(guard_);
    Step();
    EXPECT_EQ(enemy_->subState, 0);
    EXPECT_EQ(enemy_->forcedShotLatch, 0);
    EXPECT_EQ(enemy_->firstStep, 0);
    EXPECT_EQ(enemy_->state, 0);
    EXPECT_EQ(EM_IsForceShootTime(guard_, enemy_), 0) << "the next is 100 frames ahead";
}

TEST_F(StrategyTest, ForcedShotTimeNeedsTheSwitchAndTheShootTime) {
    Open();
    struct Row {
        uint8_t enabled;
        uint32_t shootTime;
        int due;
    };
    const Row rows[] = {{1, 1000, 1}, {1, 999, 1}, {1, 1001, 0}, {0, 1000, 0}};
    EmFrameCount = 1000;
    for (const Row& r : rows) {
        enemy_->script.characteristics.forcedShot = r.enabled;
        enemy_->nextShootTime = r.shootTime;
        EXPECT_EQ(EM_IsForceShootTime(guard_, enemy_), r.due) << int(r.enabled) << " " << r.shootTime;
    }
}

TEST_F(StrategyTest, AnImpactUnderTheLatchSkipsItsAnimationButStartsItsEffects) {
    Open([](kit::EscCharacter& g) { g.names[kEmImpactSound] = "cri"; });
    struct Row {
        const char* what;
        int32_t impact, latch;
        bool playing, forcedDue;
        int32_t impactAfter, stateAfter, latchAfter;
        bool animation, effects;
    };
    const Row rows[] = {
        {"hit", 1, 0, true, false, 2, 5, 0, true, true},
        {"hit under the latch", 1, 1, true, false, 0, 0, 1, false, true},
        {"reaction playing", 2, 0, true, false, 2, 5, 0, false, false},
        {"reaction over", 2, 0, false, false, 0, 0, 0, false, false},
        {"forced shot due during the reaction", 2, 0, true, true, 0, 0, 1, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->impact = r.impact;
        enemy_->forcedShotLatch = r.latch;
        enemy_->state = 5;
        enemy_->animation = kEmNoAnimation;
        enemy_->script.characteristics.forcedShot = r.forcedDue;
        EmFrameCount = 1000;
        enemy_->nextShootTime = r.forcedDue ? 1000 : 2000;
        if (r.impact == 2) enemy_->animation = 3;
        r.playing ? Play(guard_, kCodeImpact) : Stop(guard_);
        test::g_EmHostLog.anims.clear();
        g_Sounds = 0;
        Step();
        EXPECT_EQ(enemy_->impact, r.impactAfter);
        EXPECT_EQ(enemy_->state, r.stateAfter);
        EXPECT_EQ(enemy_->forcedShotLatch, r.latchAfter);
        EXPECT_EQ(LastGuardAnim() == kCodeImpact, r.animation);
        EXPECT_EQ(g_Sounds, r.effects ? 1 : 0);
    }
}

TEST_F(StrategyTest, AHitWhileTheForcedShotIsLatchedLeavesTheShotRunning) {
    Open([](kit::EscCharacter& g) { g.weapons = {{"w1-1-A.cgs", 5}}; });
    enemy_->forcedShotLatch = 1;
    enemy_->subState = 201;
    enemy_->state = 7;
    ASSERT_EQ(EM_ImpactEnemy(guard_, "w1-1-A.cgs"), 5);
    Step();
    EXPECT_EQ(enemy_->impact, 0);
    EXPECT_EQ(enemy_->state, 0);
    EXPECT_EQ(enemy_->forcedShotLatch, 1);
    EXPECT_EQ(enemy_->subState, 201);
    Step();
    EXPECT_NE(enemy_->subState, 201) << "the shot goes on the next frame";
}

// ---------------------------------------------------------------------------
// Death and fades
// ---------------------------------------------------------------------------

TEST_F(StrategyTest, AKilledEnemyWithTwoRevivalsGetsUpTwiceThenFadesOutAndDies) {
    Open([](kit::EscCharacter& g) {
        g.characteristics.revivals = 2;
        g.characteristics.backToLifeDelay = {50, 50};
        g.characteristics.hiddenFade = 0;
        g.characteristics.visibleFade = 100;
        g.characteristics.disappearStep = 40;
    });
    CharacterDef& def = defs_[size_t(Slot(guard_))];
    EmFrameCount = 1000;
    for (int death = 1; death <= 3; ++death) {
        SCOPED_TRACE(death);
        ASSERT_GT(EM_ImpactEnemy(guard_, "w1-1-A.cgs"), 0);
        ASSERT_EQ(enemy_->dead, 1);
        test::g_EmHostLog.anims.clear();
        Step();
        EXPECT_EQ(enemy_->dead, 2);
        EXPECT_EQ(GuardAnims(), std::vector<int32_t>{kCodeDeath});
        Play(guard_, kCodeDeath);
        Step();
        EXPECT_EQ(enemy_->dead, 2) << "the death animation still plays";
        Stop(guard_);
        def.dying = 1;
        Step();
        EXPECT_EQ(anims_[size_t(Slot(guard_))].stopMode, 1) << "the death state handed to the game";
        if (death == 3) break;
        EXPECT_EQ(enemy_->dead, 3);
        EXPECT_EQ(enemy_->script.characteristics.revivals, 2 - death);
        const int16_t life = enemy_->script.characteristics.life;
        EXPECT_GE(life, 1);
        EXPECT_LE(life, 20);
        EXPECT_EQ(enemy_->backToLifeTime, EmFrameCount + 50);
        EmFrameCount += 50;
        Step();
        EXPECT_EQ(enemy_->dead, 3) << "back to life only after its time";
        ++EmFrameCount;
        Step();
        EXPECT_EQ(enemy_->dead, 4);
        EXPECT_EQ(def.dying, 0);
        EXPECT_EQ(LastGuardAnim(), kCodeDeath + kHeld);
        Play(guard_, kCodeDeath);
        Step();
        EXPECT_EQ(enemy_->dead, 4) << "getting up";
        Stop(guard_);
        Step();
        EXPECT_EQ(enemy_->dead, 0);
        EXPECT_EQ(g_Kills, 0);
        const size_t from = DebugLines().size();
        EM_SetDebug(2);
        Step();
        EM_SetDebug(0);
        EXPECT_TRUE(TracedSince(from, "End Of EM_ProcessStrategy()")) << "alive again";
        enemy_->script.characteristics.life = 1;
    }
    EXPECT_EQ(enemy_->dead, 10);
    EXPECT_EQ(enemy_->script.characteristics.revivals, 0);
    Step();
    EXPECT_EQ(enemy_->dead, 11);
    EXPECT_EQ(enemy_->fading, 2);
    // The fade out: 100 shown, then 60, 20, then clamped to 0 and done,
    // and the kill in that same frame.
    int frames = 0;
    while (enemy_->dead == 11 && frames < 10) {
        EXPECT_EQ(g_Kills, 0);
        Step();
        ++frames;
    }
    EXPECT_EQ(frames, 4);
    EXPECT_EQ(enemy_->dead, 0);
    EXPECT_EQ(enemy_->hidden, 1);
    EXPECT_EQ(enemy_->fade, 0);
    EXPECT_EQ(g_Kills, 1);
    EXPECT_EQ(def.dying, 2) << "killed in the game";
    Step();
    EXPECT_EQ(g_Kills, 1) << "killed once";
}

TEST_F(StrategyTest, FadesStepTowardTheirEndAndClampOnTheLastFrame) {
    Open();
    struct Row {
        const char* what;
        int32_t request;
        int16_t hidden, visible, appear, disappear;
        std::vector<int32_t> fades;  // the fade after each frame
        int32_t hiddenAfter;
    };
    const Row rows[] = {
        {"in by 30", 1, 0, 100, 30, 10, {0, 30, 60, 90, 100}, 0},
        {"in landing on the end", 1, 20, 80, 30, 10, {20, 50, 80, 80}, 0},
        {"out by 25", 2, 10, 90, 10, 25, {90, 65, 40, 15, 10}, 1},
        {"in by 0 counts as 1", 1, 0, 3, 0, 10, {0, 1, 2, 3, 3}, 0},
        {"out by -5 counts as 1", 2, 0, 2, 10, -5, {2, 1, 0, 0}, 1},
        {"in from above the visible fade", 1, 90, 50, 10, 10, {90, 50}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmCharacteristics& c = enemy_->script.characteristics;
        c.hiddenFade = r.hidden, c.visibleFade = r.visible, c.appearStep = r.appear, c.disappearStep = r.disappear;
        c.disappearDelay = c.reappearDelay = {40, 40};
        enemy_->hidden = r.request == 1;
        enemy_->fadeArmed = 0;
        EmFrameCount = 100;
        EM_AppearDisappearEnemy(guard_, r.request);
        for (size_t i = 0; i < r.fades.size(); ++i) {
            ASSERT_NE(enemy_->fading, 0) << "frame " << i;
            EM_ProcessAppearDisappear(guard_, enemy_);
            EXPECT_EQ(enemy_->fade, r.fades[i]) << "frame " << i;
        }
        EXPECT_EQ(enemy_->fading, 0);
        EXPECT_EQ(enemy_->hidden, r.hiddenAfter);
        EXPECT_EQ(enemy_->fadeArmed, 1);
        EXPECT_EQ(enemy_->nextFadeTime, 140u);
    }
}

TEST_F(StrategyTest, AnArmedBlinkStartsItsFadeFromTheDecisionStep) {
    Open([](kit::EscCharacter& g) {
        g.characteristics.disappearDelay = {30, 30};
        g.characteristics.reappearDelay = {20, 20};
        g.characteristics.disappearStep = 50;
        g.characteristics.appearStep = 50;
    });
    ASSERT_EQ(enemy_->fadeArmed, 1);
    EmFrameCount = 29;
    Step();
    EXPECT_EQ(enemy_->fading, 0);
    EmFrameCount = 30;
    Step();
    EXPECT_EQ(enemy_->fading, 2) << "visible: a disappearing is asked";
    for (int i = 0; i < 4; ++i) Step();
    EXPECT_EQ(enemy_->hidden, 1);
    EXPECT_EQ(enemy_->nextFadeTime, 50u);
    EXPECT_EQ(EM_TestEnemyState(guard_), 1);
    EmFrameCount = 50;
    Step();
    EXPECT_EQ(enemy_->fading, 1) << "hidden: an appearing is asked";
}

TEST_F(StrategyTest, TestEnemyStateAnswersFromTheFadeAndItsTimer) {
    Open();
    struct Row {
        const CharacterRecord* who;
        int32_t fade, armed;
        int answer;
    };
    const Row rows[] = {
        {&records_[0], 0, 1, -1}, {guard_, 0, 1, 1}, {guard_, 0, 0, 0}, {guard_, 50, 1, 0}, {nullptr, 0, 1, -1}};
    for (const Row& r : rows) {
        enemy_->fade = r.fade;
        enemy_->fadeArmed = r.armed;
        EXPECT_EQ(EM_TestEnemyState(r.who), r.answer) << r.fade << " " << r.armed;
    }
}

// ---------------------------------------------------------------------------
// Target choice
// ---------------------------------------------------------------------------

TEST_F(StrategyTest, TheTargetIsTheLowestLifeBelow32767WithTiesToListOrder) {
    Open();
    // Room characters by slot: 1 Guard (itself), 10..12 enemies, 13..15 players.
    EmEnemy others[3]{};
    struct Row {
        const char* what;
        uint8_t hunter;
        int16_t self;
        std::vector<int16_t> enemies, players;
        int target;  // slot, -1 none
    };
    const Row rows[] = {
        {"lowest enemy", 0, 30, {40, 3, 20}, {50}, 11},
        {"tie: the first listed", 0, 30, {10, 10, 12}, {50}, 10},
        {"itself never counts", 0, 1, {9}, {50}, 10},
        {"32767 does not count", 0, 30, {32767, 32767}, {70, 60}, 14},
        {"32766 counts", 0, 30, {32767, 32766}, {70}, 11},
        {"negative life is lowest", 0, 30, {5, -3}, {50}, 11},
        {"alone: the players", 0, 30, {}, {50, 20, 20}, 14},
        {"a hunter takes a player", 1, 30, {1}, {50, 40}, 14},
        {"nobody below 32767", 1, 30, {}, {32767}, -1},
        {"nobody at all", 1, 30, {}, {}, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->script.characteristics.playerHunter = r.hunter;
        enemy_->script.characteristics.life = r.self;
        ClearLists();
        EmRoomEnemies[0] = guard_;
        EmRoomEnemyRecords[0] = enemy_;
        EmRoomEnemyCount = 1;
        for (size_t i = 0; i < r.enemies.size(); ++i) {
            others[i].script.characteristics.life = r.enemies[i];
            EmRoomEnemies[EmRoomEnemyCount] = &records_[10 + i];
            EmRoomEnemyRecords[EmRoomEnemyCount++] = &others[i];
        }
        for (size_t i = 0; i < r.players.size(); ++i) {
            defs_[13 + i].life = r.players[i];
            EmRoomPlayers[EmRoomPlayerCount++] = &records_[13 + i];
        }
        enemy_->target = guard_;
        EM_SetTarget(guard_, enemy_);
        EXPECT_EQ(enemy_->target, r.target < 0 ? nullptr : &records_[size_t(r.target)]);
    }
}

TEST_F(StrategyTest, ASpindrelAimsAtTheSpindrelItsAimNameNames) {
    CharacterRecord* roamer = AddCharacter("Roamer");
    kit::EscCharacter r = test::ScriptCharacter("Roamer", 30);
    r.characteristics.spindrel = 1;
    Open({}, {}, 0, {r});
    ASSERT_EQ(EmSpindrelTable.count, 1);
    otherEnemy_->script.characteristics.life = 10;
    struct Row {
        const char* what;
        uint8_t hunter;
        const char* aim;
        CharacterRecord* target;
        bool logged;
    };
    const Row rows[] = {
        {"a hunter", 1, "Roamer", &records_[0], false},
        {"no name", 0, "<noname>", other_, false},
        {"the named spindrel, any case", 0, "ROAMER", roamer, false},
        {"a name no spindrel bears", 0, "Ghost", other_, true},
        {"a name that is no spindrel", 0, "Other", other_, true},
    };
    const std::string line = "Spindrel aim name was not found in current mission... Setting target to player";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        enemy_->script.characteristics.playerHunter = row.hunter;
        std::snprintf(enemy_->script.characteristics.aimName, kEmNameSize, "%s", row.aim);
        EM_SetDebug(2);
        const size_t from = DebugLines().size();
        EM_SetSpindrelTarget(guard_, enemy_);
        EM_SetDebug(0);
        EXPECT_EQ(enemy_->target, row.target);
        auto lines = DebugLines();
        EXPECT_EQ(std::count(lines.begin() + std::ptrdiff_t(from), lines.end(), line), row.logged ? 1 : 0);
        EXPECT_TRUE(TracedSince(from, "EM_SetTarget()"));
        EXPECT_FALSE(TracedSince(from, "EM_SetSpindrelTarget()"));
    }
    // The log line does not wait for the AI debug switches.
    EM_SetDebug(0);
    std::snprintf(enemy_->script.characteristics.aimName, kEmNameSize, "%s", "Ghost");
    enemy_->script.characteristics.playerHunter = 0;
    EM_SetSpindrelTarget(guard_, enemy_);
    EXPECT_EQ(DebugLines().back(), line);
}

// ---------------------------------------------------------------------------
// Scene entry
// ---------------------------------------------------------------------------

TEST_F(StrategyTest, AnEnemyStaysAwayUntilItsSceneTimeAndThenFadesIn) {
    Open([](kit::EscCharacter& g) {
        g.characteristics.sceneDelay = {100, 100};
        g.characteristics.sceneFxDelay = {50, 50};
        g.characteristics.appearStep = 50;
        g.names[kEmSceneSound] = "arrive";
    });
    CharacterDef& def = defs_[size_t(Slot(guard_))];
    EmFrameCount = 0;
    EM_ComputeNextTimeAppearScene(enemy_);
    EM_ComputeNextTimeAppearSceneFxs(enemy_);
    enemy_->sceneFlags[0] = enemy_->sceneFlags[1] = 1;
    struct Row {
        uint32_t frame;
        uint8_t present;  // the lock-on byte: 0 absent, 1 present, 2 left alone
        bool strategy;
        int sceneSounds;
    };
    const Row rows[] = {
        {50, 0, false, 0},   // both times not yet passed
        {51, 0, false, 1},   // the effects start; the enemy still away
        {52, 0, false, 1},
        {100, 0, false, 1},
        {101, 1, true, 1},   // present, fading in, and deciding this very frame
        {102, 2, true, 1},   // the wait is over for good
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.frame);
        EmFrameCount = r.frame;
        def.lockOn = 2;
        enemy_->target = guard_;
        EXPECT_EQ(EM_ProcessEnemy(0), 1);
        EXPECT_EQ(def.lockOn, r.present);
        EXPECT_EQ(enemy_->target != guard_, r.strategy);
        EXPECT_EQ(g_Sounds, r.sceneSounds);
    }
    EXPECT_EQ(enemy_->sceneFlags[0], 0);
    EXPECT_EQ(enemy_->sceneFlags[1], 0);
    const EmCharacteristics& c = enemy_->script.characteristics;
    EXPECT_EQ(c.sceneDelay.minimum | c.sceneDelay.maximum | c.sceneFxDelay.minimum | c.sceneFxDelay.maximum, 0);
    EXPECT_EQ(enemy_->fade, 50) << "fade-in started at frame 101 and stepped at 102";
}

TEST_F(StrategyTest, TheFrameStepsIndexIsCheckedAgainstTheRoomList) {
    Open();
    enemy_->target = guard_;
    EmRoomEnemyRecords[1] = nullptr;
    struct Row {
        int32_t index;
        int answer;
    };
    const Row rows[] = {{-1, 0}, {2, 0}, {kEmRoomListSize, 0}, {1, 1}, {0, 1}};
    for (const Row& r : rows) EXPECT_EQ(EM_ProcessEnemy(r.index), r.answer) << r.index;
    EXPECT_NE(enemy_->target, guard_) << "index 0 ran the Guard";
}

// ---------------------------------------------------------------------------
// Group behaviours
// ---------------------------------------------------------------------------

TEST_F(StrategyTest, AGroupMemberWalksToItsSlotAndShootsFromIt) {
    struct Row {
        int32_t group;
        int block;
    };
    const Row rows[] = {{kEmGroupCircle, kEmFormationCircle},
                        {kEmGroupFront, kEmFormationFront},
                        {kEmGroupFrontBack, kEmFormationFrontBack}};
    Open({}, {}, 0);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.group);
        enemy_->script.characteristics.groupBehaviour = r.group;
        otherEnemy_->script.characteristics.groupBehaviour = r.group;
        Move(guard_, {0, 600, 0});
        enemy_->script.characteristics.turning = 1;
        enemy_->state = 0;
        enemy_->animation = kEmNoAnimation;
        EmPlayer* hero = &EmPlayerTable.items[0];
        for (EmFormation& f : hero->formations) f = EmFormation{};
        // Assigned in every other block too, to another slot: the group's
        // own block must be the one read.
        for (int b = 0; b < 3; ++b) {
            hero->formations[b].count = 1;
            hero->formations[b].members[0] = guard_;
            const float x = b == r.block ? 1000.0f : -1000.0f;
            hero->formations[b].destinations[0][0] = x;
            hero->formations[b].destinations[0][1] = 600.0f;
            hero->formations[b].destinations[0][2] = 0.0f;
        }
        test::g_EmHostLog.anims.clear();
        Step();
        EXPECT_EQ(enemy_->currentGroup, r.group);
        EXPECT_EQ(enemy_->state, 1);
        EXPECT_EQ(LastGuardAnim(), kCodeGuard);
        // Facing south: the slot lies east, the other blocks' slots west.
        EMH_SetVector(enemy_->direction, 0.0f, 0.0f, 1.0f);
        Step();
        EXPECT_EQ(enemy_->state, 2);
        EXPECT_EQ(LastGuardAnim(), kCodeMove);
        EXPECT_EQ(guard_->controls & 4, 4) << "asked to advance";
        EXPECT_GT(enemy_->direction[0], 0.01f) << "turned toward the slot";
        EXPECT_EQ(enemy_->target, &records_[0]);
        // Arrival: closer than sqrt(18837) = 137.2 units (138 is not, 137 is).
        const struct {
            int32_t x;
            int32_t state;
        } walk[] = {{0, 2}, {862, 2}, {863, 200}};
        for (auto w : walk) {
            Move(guard_, {w.x, 600, 0});
            guard_->controls = 0;
            enemy_->state = 2;
            Step();
            EXPECT_EQ(enemy_->state, w.state) << w.x;
            EXPECT_EQ(guard_->controls & 4, 4);
        }
        Step();
        EXPECT_EQ(enemy_->state, 201) << "the shot sequence follows";
        // Taken out of the formation while walking: back to the start.
        enemy_->state = 2;
        hero->formations[r.block].count = 0;
        Step();
        EXPECT_EQ(enemy_->state, 0);
        enemy_->state = 1;
        Step();
        EXPECT_EQ(enemy_->state, 1) << "waits for a slot";
    }
}

TEST_F(StrategyTest, AnEnemysFormationSlotWinsOverAPlayers) {
    Open(
        [](kit::EscCharacter& g) {
            g.characteristics.groupBehaviour = 1;
            g.characteristics.turning = 1;
        },
        [](kit::EscCharacter& o) { o.characteristics.groupBehaviour = 1; });
    // The hero's slot lies north of the Guard, Other's south; it faces east.
    EmFormation& around = EmPlayerTable.items[0].formations[kEmFormationCircle];
    around.count = 1;
    around.members[0] = guard_;
    around.destinations[0][1] = 600, around.destinations[0][2] = -1000;
    EmFormation& aroundOther = otherEnemy_->formations[kEmFormationCircle];
    aroundOther.count = 1;
    aroundOther.members[0] = guard_;
    aroundOther.destinations[0][1] = 600, aroundOther.destinations[0][2] = 1000;
    EMH_SetVector(enemy_->direction, 1.0f, 0.0f, 0.0f);
    enemy_->state = 1;
    Step();
    EXPECT_EQ(enemy_->target, other_);
    EXPECT_GT(enemy_->direction[2], 0.01f) << "turned toward the enemy's slot";
    // Out of Other's formation: the hero's slot and the hero as target.
    aroundOther.count = 0;
    EMH_SetVector(enemy_->direction, 1.0f, 0.0f, 0.0f);
    Step();
    EXPECT_EQ(enemy_->target, &records_[0]);
    EXPECT_LT(enemy_->direction[2], -0.01f);
}

TEST_F(StrategyTest, AnUnknownGroupBehaviourOnlyLogs) {
    Open({}, {}, 1);
    enemy_->state = 0;
    enemy_->currentMain = 4;
    EM_ProcessGroupBehaviour(guard_, enemy_, 4);
    EXPECT_TRUE(Logged("Unknown group behaviour (4)"));
    EXPECT_EQ(enemy_->currentGroup, 4);
    EXPECT_EQ(enemy_->currentMain, 0);
    EXPECT_EQ(enemy_->state, 0);
    EXPECT_TRUE(GuardAnims().empty());
}

// ---------------------------------------------------------------------------
// The shared shot sequence
// ---------------------------------------------------------------------------

TEST_F(StrategyTest, TheShotSequenceShootsOncePerAttackAtTheKeyframe) {
    Open([](kit::EscCharacter& g) { g.characteristics.shootDelay = {70, 70}; });
    EmFrameCount = 1000;
    enemy_->nextShootTime = 1000;
    enemy_->target = &records_[0];
    enemy_->state = kEmStateShotWait;
    CharacterAnimState& st = anims_[size_t(Slot(guard_))];
    for (int attack = 1; attack <= 2; ++attack) {
        SCOPED_TRACE(attack);
        EXPECT_EQ(EM_ProcessShotSequence(guard_, enemy_), 1);
        EXPECT_EQ(enemy_->state, kEmStateShotAim);
        EXPECT_EQ(EM_ProcessShotSequence(guard_, enemy_), 1);
        EXPECT_EQ(enemy_->state, kEmStateShotStart);
        EXPECT_EQ(EM_ProcessShotSequence(guard_, enemy_), 1);
        EXPECT_EQ(enemy_->state, kEmStateShotFire);
        Play(guard_, kCodeAttack);
        const int32_t times[] = {0, 15 * 255, 15 * 255 + 1, 20 * 255, 29 * 255};
        for (int32_t t : times) {
            st.time = t;
            EM_ProcessShotSequence(guard_, enemy_);
        }
        EXPECT_EQ(GuardShots(), attack);
        EXPECT_EQ(enemy_->state, kEmStateShotFire);
        Stop(guard_);
        EM_ProcessShotSequence(guard_, enemy_);
        EXPECT_EQ(enemy_->state, 0);
        EmFrameCount = enemy_->nextShootTime;
        enemy_->state = kEmStateShotWait;
    }
    // Before the shoot time the enemy keeps aiming.
    enemy_->state = kEmStateShotAim;
    EmFrameCount = enemy_->nextShootTime - 1;
    EM_ProcessShotSequence(guard_, enemy_);
    EXPECT_EQ(enemy_->state, kEmStateShotAim);
    enemy_->state = 5;
    EXPECT_EQ(EM_ProcessShotSequence(guard_, enemy_), 0);
    EXPECT_EQ(enemy_->state, 5);
}

}  // namespace
