// The operations on one enemy against the real host: timer draws and the
// frame factor, hits and life, contact damage, AI animation requests,
// effect and sound starts, appearing and disappearing, shots and the
// patrol track walk.
#include "em_fixture.h"

#include "ai/em_enemy.h"
#include "ai/em_impact.h"
#include "engine3d/dqx_fx.h"
#include "tools/kit/demo_effects.h"

#include <cmath>
#include <functional>
#include <limits>

namespace {

using test::EnemyManagerTest;

// One Guard with a weapon list, over the fixture's mission.
class EnemyTest : public EnemyManagerTest {
protected:
    void SetUp() override {
        EnemyManagerTest::SetUp();
        guard_ = AddCharacter("Guard");
    }
    // The script's Guard as `shape` leaves it; the mission opened on it.
    void Open(const std::function<void(kit::EscCharacter&)>& shape = {}) {
        kit::EscScript s;
        kit::EscCharacter guard = test::ScriptCharacter("Guard", 30);
        guard.weapons = {{"w1-1-A.cgs", 12}, {"w2-1-A.cgs", 0}, {"cure.cgs", -20}};
        if (shape) shape(guard);
        s.characters = {guard};
        PutScript(s);
        ASSERT_EQ(OpenMission(), 1);
        enemy_ = &EmEnemyTable.items[0];
    }
    // The offsets from EmFrameCount that `draw` gives over `n` seeds.
    static std::pair<uint32_t, uint32_t> Spread(const std::function<uint32_t()>& draw, int n = 2000) {
        uint32_t lo = std::numeric_limits<uint32_t>::max(), hi = 0;
        for (int i = 0; i < n; ++i) {
            EmhRandomSeed = uint32_t(i * 7919 + 1);
            uint32_t offset = draw() - EmFrameCount;
            lo = std::min(lo, offset), hi = std::max(hi, offset);
        }
        return {lo, hi};
    }
    CharacterRecord* guard_ = nullptr;
    EmEnemy* enemy_ = nullptr;
};

TEST_F(EnemyTest, ADelayDrawDividesOnlyItsRandomPartByTheFrameFactor) {
    Open();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char* what;
        int16_t minimum, maximum;
        float factor;
        uint32_t lo, hi;  // offsets from EmFrameCount, both reached over the seeds
    };
    const Row rows[] = {
        {"equal pair", 100, 100, 1.0f, 100, 100},
        {"equal pair, slow machine", 100, 100, 3.0f, 100, 100},
        {"0..99 at factor 4", 0, 99, 4.0f, 0, 24},
        {"0..99 at factor 1", 0, 99, 1.0f, 0, 99},
        {"spread above a minimum", 40, 49, 2.0f, 40, 44},
        {"maximum below the minimum", 10, 5, 1.0f, 10, 10},
        {"both zero", 0, 0, 1.0f, 0, 0},
        {"factor 0 counts as 1", 0, 9, 0.0f, 0, 9},
        {"factor below 1 counts as 1", 0, 9, 0.25f, 0, 9},
        {"no factor counts as 1", 0, 9, nan, 0, 9},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->script.characteristics.shootDelay = {r.minimum, r.maximum};
        EmFrameFactor = r.factor;
        EmFrameCount = 5000;
        auto [lo, hi] = Spread([this] {
            EM_ComputeNextTimeShoot(enemy_);
            return enemy_->nextShootTime;
        });
        EXPECT_EQ(lo, r.lo);
        EXPECT_EQ(hi, r.hi);
    }
}

TEST_F(EnemyTest, EachTimerDrawsFromItsOwnPairIntoItsOwnField) {
    Open([](kit::EscCharacter& g) {
        g.characteristics.spindrel = 1;
        g.characteristics.spindrelMoveDelay = {77, 77};
    });
    EmCharacteristics& c = enemy_->script.characteristics;
    c.shootDelay = {11, 11};
    c.backToLifeDelay = {22, 22};
    c.sceneDelay = {33, 33};
    c.sceneFxDelay = {44, 44};
    c.disappearDelay = {55, 55};
    c.reappearDelay = {66, 66};
    ASSERT_EQ(EmSpindrelTable.count, 1);
    EmSpindrel* spindrel = &EmSpindrelTable.items[0];
    struct Row {
        const char* what;
        std::function<void()> compute;
        uint32_t* field;
        uint32_t delay;
    };
    const Row rows[] = {
        {"shoot", [this] { EM_ComputeNextTimeShoot(enemy_); }, &enemy_->nextShootTime, 11},
        {"back to life", [this] { EM_ComputeNextTimeGetBackToLife(enemy_); }, &enemy_->backToLifeTime, 22},
        {"scene entry", [this] { EM_ComputeNextTimeAppearScene(enemy_); }, &enemy_->sceneTime, 33},
        {"scene-entry effects", [this] { EM_ComputeNextTimeAppearSceneFxs(enemy_); }, &enemy_->sceneFxTime, 44},
        {"disappear (visible)", [this] { EM_ComputeNextTimeAppearDisappear(enemy_); }, &enemy_->nextFadeTime, 55},
        {"spindrel move", [spindrel] { EM_ComputeNextTimeMove(spindrel); }, &spindrel->nextMoveTime, 77},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        for (const Row& other : rows) *other.field = 1;
        EmFrameCount = 9000;
        r.compute();
        EXPECT_EQ(*r.field, 9000 + r.delay);
        for (const Row& other : rows)
            if (other.field != r.field) {
                EXPECT_EQ(*other.field, 1u) << other.what;
            }
    }
}

TEST_F(EnemyTest, FrameNumbersCompareAcrossTheCountersWrap) {
    Open();
    enemy_->script.characteristics.shootDelay = {100, 100};
    EmFrameCount = 0xFFFFFFF0u;
    EM_ComputeNextTimeShoot(enemy_);
    EXPECT_EQ(enemy_->nextShootTime, 0x54u);
    struct Row {
        uint32_t frame;
        bool reached, passed;
    };
    const Row rows[] = {{0xFFFFFFF0u, false, false}, {0x53u, false, false}, {0x54u, true, false}, {0x55u, true, true}};
    for (const Row& r : rows) {
        EmFrameCount = r.frame;
        EXPECT_EQ(EM_FrameReached(enemy_->nextShootTime), r.reached) << r.frame;
        EXPECT_EQ(EM_FramePassed(enemy_->nextShootTime), r.passed) << r.frame;
        int32_t reasons = 0;
        EM_CanShoot(guard_, enemy_, &reasons);
        EXPECT_EQ((reasons & 1) != 0, !r.reached) << r.frame;
    }
}

TEST_F(EnemyTest, TheWarSoundComesBackIn180To360FramesAndContactHitsEvery70OverTheFactor) {
    Open();
    struct Row {
        float factor;
        uint32_t warLo, warHi, hit;
    };
    const Row rows[] = {{1.0f, 180, 360, 70}, {2.0f, 180, 270, 35}, {3.0f, 180, 240, 23}, {0.0f, 180, 360, 70}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.factor);
        EmFrameFactor = r.factor;
        EmFrameCount = 123;
        auto [lo, hi] = Spread([this] {
            EM_ComputeNextTimeWarSound(enemy_);
            return enemy_->nextWarSoundTime;
        });
        EXPECT_EQ(lo, r.warLo);
        EXPECT_EQ(hi, r.warHi);
        EM_ComputeNextTimeHit(enemy_);
        EXPECT_EQ(enemy_->nextHitTime, 123 + r.hit);
    }
}

TEST_F(EnemyTest, TheFadeTimerTakesThePairOfTheEnemysVisibilityAndTwoZerosDisarmIt) {
    Open();
    struct Row {
        const char* what;
        int32_t hidden;
        EmDelayPair disappear, reappear;
        int32_t armed;
        uint32_t time;
    };
    const Row rows[] = {
        {"visible", 0, {50, 50}, {0, 0}, 1, 1050},
        {"hidden", 1, {0, 0}, {30, 30}, 1, 1030},
        {"visible, never disappears", 0, {0, 0}, {30, 30}, 0, 999},
        {"hidden, never reappears", 1, {50, 50}, {0, 0}, 0, 999},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->hidden = r.hidden;
        enemy_->script.characteristics.disappearDelay = r.disappear;
        enemy_->script.characteristics.reappearDelay = r.reappear;
        enemy_->fadeArmed = 1 - r.armed;
        enemy_->nextFadeTime = 999;
        EmFrameCount = 1000;
        EM_ComputeNextTimeAppearDisappear(enemy_);
        EXPECT_EQ(enemy_->fadeArmed, r.armed);
        EXPECT_EQ(enemy_->nextFadeTime, r.time);
    }
}

TEST_F(EnemyTest, ATendrilKindWithTwoZeroDelaysIsTurnedOffAndKeepsItsTime) {
    Open();
    EmRoom* room = &EmRoomTable.items[1];
    struct Row {
        int32_t side, kind;
        EmDelayPair delay;
        uint8_t enabled;
        uint32_t time;  // 0: the field left at 7
    };
    const Row rows[] = {
        {0, 0, {20, 20}, 1, 2020}, {1, 3, {5, 5}, 1, 2005}, {1, 2, {0, 0}, 0, 0}, {0, 1, {0, 0}, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.side * 10 + r.kind);
        EmTendrils.kinds[r.side][r.kind].delay = r.delay;
        EmTendrilKindEnabled[r.side][r.kind] = 1;
        room->nextTendrilUpdate[r.side][r.kind] = 7;
        EmFrameCount = 2000;
        EM_ComputeNextTimeUpdateTendrils(room, r.side, r.kind);
        EXPECT_EQ(EmTendrilKindEnabled[r.side][r.kind], r.enabled);
        EXPECT_EQ(room->nextTendrilUpdate[r.side][r.kind], r.time ? r.time : 7u);
    }
    // Past the two sides and four kinds nothing is written.
    EM_ComputeNextTimeUpdateTendrils(room, 2, 0);
    EM_ComputeNextTimeUpdateTendrils(room, 0, 4);
    EM_ComputeNextTimeUpdateTendrils(room, -1, -1);
}

TEST_F(EnemyTest, TheFrameFactorTakenFromTheGameIsAtLeast1) {
    struct Row {
        float game, taken;
    };
    const Row rows[] = {{0.0f, 1.0f}, {0.25f, 1.0f}, {-3.0f, 1.0f}, {std::numeric_limits<float>::quiet_NaN(), 1.0f},
                        {1.0f, 1.0f}, {2.5f, 2.5f}};
    for (const Row& r : rows) {
        EM_TakeFrameFactor(r.game);
        EXPECT_EQ(EmFrameFactor, r.taken) << r.game;
    }
}

TEST_F(EnemyTest, AHitTakesTheWeaponsDamageFromTheEnemysLife) {
    Open();
    struct Row {
        const char* what;
        int16_t life;
        int32_t dead;
        const char* weapon;
        int answer;
        int16_t lifeAfter;
        int32_t deadAfter, impactAfter;
    };
    const Row rows[] = {
        {"its weapon", 30, 0, "w1-1-A.cgs", 12, 18, 0, 1},
        {"in another case", 30, 0, "W1-1-a.CGS", 12, 18, 0, 1},
        {"no weapon named", 30, 0, nullptr, 10, 20, 0, 1},
        {"a weapon it does not know", 30, 0, "w9-9-Z.cgs", 0, 30, 0, 0},
        {"a weapon that does nothing to it", 30, 0, "w2-1-A.cgs", 0, 30, 0, 0},
        {"damage equal to its life", 12, 0, "w1-1-A.cgs", 12, 0, 1, 0},
        {"damage past its life", 5, 0, "w1-1-a.cgs", 12, 0, 1, 0},
        {"already dead", 0, 1, "w1-1-A.cgs", -2, 0, 1, 0},
        {"a cure stops at the 16-bit top", 32760, 0, "cure.cgs", -20, 32767, 0, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->script.characteristics.life = r.life;
        enemy_->dead = r.dead;
        enemy_->impact = 0;
        EXPECT_EQ(EM_ImpactEnemy(guard_, r.weapon), r.answer);
        EXPECT_EQ(enemy_->script.characteristics.life, r.lifeAfter);
        EXPECT_EQ(EM_GetLifePoints(guard_), r.lifeAfter);
        EXPECT_EQ(enemy_->dead, r.deadAfter);
        EXPECT_EQ(enemy_->impact, r.impactAfter);
    }
    EXPECT_TRUE(Logged("Weapon w9-9-Z.cgs not defined for Guard : so no hit damage"));
    // A character the manager has no record of.
    EXPECT_EQ(EM_ImpactEnemy(&records_[0], "w1-1-A.cgs"), -1);
    EXPECT_EQ(EM_GetLifePoints(&records_[0]), -1);
    EXPECT_EQ(EM_GetLifePoints(nullptr), -1);
}

TEST_F(EnemyTest, AKillingHitIsFollowedByMinus2) {
    Open();
    EXPECT_EQ(EM_ImpactEnemy(guard_, "w1-1-A.cgs"), 12);
    EXPECT_EQ(EM_ImpactEnemy(guard_, "w1-1-A.cgs"), 12);
    EXPECT_EQ(EM_GetLifePoints(guard_), 6);
    EXPECT_EQ(EM_ImpactEnemy(guard_, "w1-1-A.cgs"), 12);
    EXPECT_EQ(EM_GetLifePoints(guard_), 0);
    EXPECT_EQ(EM_ImpactEnemy(guard_, nullptr), -2);
    EXPECT_EQ(EM_ImpactEnemy(guard_, "w1-1-A.cgs"), -2);
}

TEST_F(EnemyTest, ATouchingEnemyHurtsThePlayerAtMostOncePerHitTime) {
    Open([](kit::EscCharacter& g) { g.characteristics.contactDamage = 10; });
    CharacterRecord* hero = &records_[0];
    ASSERT_EQ(enemy_->nextHitTime, 70u) << "drawn at the mission's open";
    struct Row {
        uint32_t frame;
        int32_t life;
        uint32_t nextHit;
    };
    const Row rows[] = {
        {10, 100, 70},   // before its hit time
        {70, 100, 70},   // at it: not yet above
        {71, 90, 141},
        {100, 90, 141},
        {142, 80, 212},
        {143, 80, 212},
    };
    for (const Row& r : rows) {
        EmFrameCount = r.frame;
        EM_PlayerHitByEnemy(hero, guard_);
        EXPECT_EQ(defs_[0].life, r.life) << r.frame;
        EXPECT_EQ(enemy_->nextHitTime, r.nextHit) << r.frame;
    }
    // Without contact damage, or from a character without an enemy record,
    // nothing happens.
    EmFrameCount = 5000;
    EM_PlayerHitByEnemy(hero, &records_[7]);
    enemy_->script.characteristics.contactDamage = 0;
    EM_PlayerHitByEnemy(hero, guard_);
    EXPECT_EQ(defs_[0].life, 80);
}

TEST_F(EnemyTest, AnAnimationRequestReachesTheGameOnlyWhenItChanges) {
    Open([](kit::EscCharacter& g) { g.characteristics.speeds = {100, 100, 100, 100, 100, 60, 50}; });
    struct Row {
        const char* what;
        std::function<void()> request;
        int32_t code;  // -1: nothing reaches the game
        int32_t current, flags;
        int16_t speed;
    };
    const Row rows[] = {
        {"attack", [this] { EM_SetAttack1Or2Anim(guard_, enemy_); }, 6, 1, 0, 255},
        {"attack again", [this] { EM_SetAttack1Or2Anim(guard_, enemy_); }, -1, 1, 0, 255},
        {"attack, other flags", [this] { EM_SetAnim(guard_, enemy_, 1, 1); }, 6, 1, 1, 255},
        {"wait or guard: guard", [this] { EM_SetWaitOrGuardAnim(guard_, enemy_); }, 0, 5, 1, 153},
        {"move with flag value 2", [this] { EM_SetAnim(guard_, enemy_, 6, 2); }, 0x1002, 6, 2, 127},
        {"no such animation", [this] { EM_SetAnim(guard_, enemy_, 7, 0); }, -1, 6, 2, 127},
        {"a negative index", [this] { EM_SetAnim(guard_, enemy_, -1, 0); }, -1, 6, 2, 127},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        test::g_EmHostLog.anims.clear();
        r.request();
        if (r.code < 0) {
            EXPECT_TRUE(test::g_EmHostLog.anims.empty());
        } else {
            ASSERT_EQ(test::g_EmHostLog.anims.size(), 1u);
            EXPECT_EQ(test::g_EmHostLog.anims[0].first, guard_);
            EXPECT_EQ(test::g_EmHostLog.anims[0].second, r.code);
        }
        EXPECT_EQ(enemy_->animation, r.current);
        EXPECT_EQ(enemy_->animationFlags, r.flags);
        EXPECT_EQ(anims_[1].speed, r.speed) << "speed percent x 255 / 100";
    }
}

TEST_F(EnemyTest, TheActionKeyframeCountsOnlyForTheCurrentAnimation) {
    Open([](kit::EscCharacter& g) { g.characteristics.keyframes = {0, 12, 0, 0, 0, 0, 0}; });
    CharacterAnimState& st = anims_[1];
    struct Row {
        const char* what;
        int32_t current;  // the manager's current AI animation
        uint16_t gameCode;
        int32_t time;     // 1/255 frame
        int passed;
    };
    const Row rows[] = {
        {"none current", kEmNoAnimation, 6, 12 * 255 + 1, 0},
        {"attack past its keyframe", 1, 6, 12 * 255 + 1, 1},
        {"attack at its keyframe", 1, 6, 12 * 255, 0},
        {"attack, but the game plays another", 1, 5, 12 * 255 + 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->animation = r.current;
        st.current = r.gameCode;
        st.time = r.time;
        EXPECT_EQ(EM_HasPassedActionKeyframe(guard_, enemy_), r.passed);
    }
}

// Sounds are recorded with the effects of the model already started when
// each sound went out, so that the order (sound first) shows.
struct SoundStart {
    std::string name;
    int effectsBefore;
};
std::vector<SoundStart> g_Sounds;
ObjHandle g_SoundModel = 0;

int EffectsOn(ObjHandle model) {
    int n = 0;
    for (int s = 0; s < kEffectSlots; ++s)
        if (g_EffectSlots[s].inUse && g_EffectSlots[s].anchor == model) ++n;
    return n;
}

TEST_F(EnemyTest, EachEffectPairStartsItsSoundThenItsEffectAndSkipsNoName) {
    Open();
    for (const kit::NamedFile& f : kit::DemoEffectFiles()) Put(f.name, f.data);
    GiveModel(guard_, {0, 600, 0});
    g_Sounds.clear();
    g_SoundModel = guard_->model;
    EngineServices.PlaySound = [](int32_t owner, const char* name, int, int, int) {
        EXPECT_EQ(owner, g_SoundModel);
        g_Sounds.push_back({name, EffectsOn(g_SoundModel)});
    };
    using Start = void (*)(CharacterRecord*, const EmEnemy*);
    struct Row {
        const char* what;
        Start start;
        int sound, effect;           // the pair's places among the eight names
        const char *soundName, *effectName;
        bool sounds, effects;
    };
    const Row rows[] = {
        {"impact", EM_StartImpactEffects, kEmImpactSound, kEmImpactFx, "cri", "dezavivo", true, true},
        {"death", EM_StartDeathEffects, kEmDeathSound, kEmDeathFx, "cri", "dezavivo", true, true},
        {"appearing", EM_StartAppearEffects, kEmAppearSound, kEmAppearFx, "cri", "dezavivo", true, true},
        {"scene entry", EM_StartAppearSceneEffects, kEmSceneSound, kEmSceneFx, "cri", "dezavivo", true, true},
        {"scene entry, both none", EM_StartAppearSceneEffects, kEmSceneSound, kEmSceneFx, "<NONAME>", "<NONAME>",
         false, false},
        {"impact, sound none in another case", EM_StartImpactEffects, kEmImpactSound, kEmImpactFx, "<noName>",
         "dezavivo", false, true},
        {"death, effect none", EM_StartDeathEffects, kEmDeathSound, kEmDeathFx, "cri", "<NONAME>", true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Free_AllEffects();
        g_Sounds.clear();
        for (auto& name : enemy_->script.names) std::snprintf(name, sizeof name, "%s", "<NONAME>");
        std::snprintf(enemy_->script.names[r.sound], kEmNameSize, "%s", r.soundName);
        std::snprintf(enemy_->script.names[r.effect], kEmNameSize, "%s", r.effectName);
        r.start(guard_, enemy_);
        ASSERT_EQ(g_Sounds.size(), r.sounds ? 1u : 0u);
        if (r.sounds) {
            EXPECT_EQ(g_Sounds[0].name, ".\\smp\\emi\\cri.wav");
            EXPECT_EQ(g_Sounds[0].effectsBefore, 0) << "the sound goes first";
        }
        EXPECT_EQ(EffectsOn(guard_->model), r.effects ? 1 : 0);
    }
}

TEST_F(EnemyTest, ThePatrolTrackWalkWrapsAtBothEnds) {
    Open();
    std::vector<TrackPoint> points(4);
    MissionWeaponRecord track{};
    track.trackCount = 4;
    track.track = points.data();
    track.trackCapacity = 4;
    guard_->track = &track;
    struct Row {
        int32_t index, previous, next;
    };
    const Row rows[] = {{0, 3, 1}, {1, 0, 2}, {2, 1, 3}, {3, 2, 0}};
    for (const Row& r : rows) {
        EXPECT_EQ(EM_GetPreviousTrackPoint(guard_, r.index), r.previous) << r.index;
        EXPECT_EQ(EM_GetNextTrackPoint(guard_, r.index), r.next) << r.index;
    }
    bool seen[4] = {};
    for (int i = 0; i < 200; ++i) {
        int32_t p = EM_GetRandomTrackPoint(guard_);
        ASSERT_GE(p, 0);
        ASSERT_LT(p, 4);
        seen[p] = true;
    }
    for (bool s : seen) EXPECT_TRUE(s);
    // Without a track every answer is point 0.
    guard_->track = nullptr;
    EXPECT_EQ(EM_GetNextTrackPoint(guard_, 2), 0);
    EXPECT_EQ(EM_GetPreviousTrackPoint(guard_, 0), 0);
    EXPECT_EQ(EM_GetRandomTrackPoint(guard_), 0);
}

TEST_F(EnemyTest, AppearingAndDisappearingAreAskedByKindAndByTheFadeTimer) {
    Open();
    struct KindRow {
        int32_t kind, fading;
    };
    const KindRow kinds[] = {{1, 1}, {2, 2}, {3, 9}, {0, 9}, {-1, 9}};
    for (const KindRow& k : kinds) {
        enemy_->fading = 9;
        EM_AppearDisappearEnemy(guard_, k.kind);
        EXPECT_EQ(enemy_->fading, k.fading) << k.kind;
    }
    EM_AppearDisappearEnemy(&records_[0], 1);  // no enemy record: nothing

    struct CheckRow {
        const char* what;
        int32_t fading, hidden;
        uint32_t frame;
        int32_t fadingAfter;
    };
    const CheckRow checks[] = {
        {"visible, its time come", 0, 0, 500, 2},
        {"hidden, its time come", 0, 1, 500, 1},
        {"hidden, past its time", 0, 1, 600, 1},
        {"before its time", 0, 0, 499, 0},
        {"a fade already running", 3, 0, 500, 3},
    };
    for (const CheckRow& c : checks) {
        SCOPED_TRACE(c.what);
        enemy_->fading = c.fading;
        enemy_->hidden = c.hidden;
        enemy_->nextFadeTime = 500;
        EmFrameCount = c.frame;
        EM_CheckAppearDisappear(guard_, enemy_);
        EXPECT_EQ(enemy_->fading, c.fadingAfter);
    }
}

TEST_F(EnemyTest, AShotGoesThroughTheHostAndDrawsTheNextShootTime) {
    Open([](kit::EscCharacter& g) {
        g.characteristics.shotEffect = "bolt";
        g.characteristics.shotPart = "<NONAME>";
        g.characteristics.shotStrength = 7;
        g.characteristics.shootDelay = {40, 40};
    });
    enemy_->target = &records_[0];
    EmFrameCount = 300;
    EM_EnemyShoot(guard_, enemy_);
    ASSERT_EQ(test::g_EmHostLog.shots.size(), 1u);
    EXPECT_EQ(test::g_EmHostLog.shots[0], guard_);
    EXPECT_EQ(guard_->shotCost, 7) << "the shot's strength goes with it";
    EXPECT_EQ(enemy_->nextShootTime, 340u);

    // The hero dead, nothing is fired; the next time is drawn all the same.
    defs_[0].dying = 2;
    EmFrameCount = 400;
    EM_EnemyShoot(guard_, enemy_);
    EXPECT_EQ(test::g_EmHostLog.shots.size(), 1u);
    EXPECT_EQ(enemy_->nextShootTime, 440u);
}

TEST_F(EnemyTest, ShootingWaitsForItsTimeAClearLineAndTheFacing) {
    Open([](kit::EscCharacter& g) { g.characteristics.playerHunter = 1; });
    LoadCollision(kit::RoomCollision({}));  // walls at x and z = +-2000
    GiveModel(guard_, {0, 600, 0});
    GiveModel(&records_[0], {500, 600, 300});
    enemy_->target = &records_[0];
    struct Row {
        const char* what;
        uint32_t frame;
        Vec3 target;
        int32_t facing;
        int32_t reasons;
    };
    const Row rows[] = {
        {"ready", 100, {500, 600, 300}, 1, 0},
        {"too early", 99, {500, 600, 300}, 1, 1},
        {"behind a wall", 100, {3000, 600, 0}, 1, 2},
        {"not facing", 100, {500, 600, 300}, 0, 4},
        {"everything against it", 10, {0, 600, -3000}, 0, 7},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->nextShootTime = 100;
        EmFrameCount = r.frame;
        enemy_->facingReached = r.facing;
        Set_ObjPos(records_[0].model, &r.target);
        int32_t reasons = -1;
        EXPECT_EQ(EM_CanShoot(guard_, enemy_, &reasons), r.reasons == 0 ? 1 : 0);
        EXPECT_EQ(reasons, r.reasons);
    }
}

}  // namespace
