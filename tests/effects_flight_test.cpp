// Projectiles: flight toward the target, hits within 260 units and the
// game's reactions, misses, and homing on a character.
#include "fx_support.h"

#include "engine3d/dqx_obj.h"

#include <cmath>

namespace test {
namespace {

class Flight : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        kit::ClsSpec cls = Timing(15);
        cls.projectile = 1;
        PutSet(".\\fx\\bolt", SimpleSet(30, cls));
        PutCgs(".\\fx\\bolt.cgs", {{0, 0, "*", ".\\fx\\bolt"}});
        kit::ClsSpec slow = cls;
        PutSet(".\\fx\\short", SimpleSet(10, slow));
        PutCgs(".\\fx\\short.cgs", {{0, 0, "*", ".\\fx\\short"}});
    }
    // Steps every 33 ms until the slot ends; the number of steps.
    int FlyOut(int slot, uint32_t* t, int limit = 200) {
        int steps = 0;
        while (g_EffectSlots[slot].inUse && steps < limit) {
            *t += 33;
            StepTo(*t);
            ++steps;
        }
        return steps;
    }
    Vec3 source_{0, 0, 0};
    Vec3 target_{0, 0, 1200};
};

TEST_F(Flight, UnguidedBoltFliesSixtyUnitsAStepAndEndsAtItsHit) {
    int e = Q3D_FXInit2(".\\fx\\bolt.cgs", &target_, &source_, nullptr, kNoTarget, 5);
    ASSERT_GE(e, 0);
    int slot = InstanceSlots(e)[0];
    const EffectSlot& s = g_EffectSlots[slot];
    EXPECT_EQ(s.aimed, 1);
    EXPECT_EQ(s.flying, 1);
    EXPECT_EQ(s.homing, 0);
    EXPECT_FLOAT_EQ(s.speed, 1.0f);
    uint32_t t = 0;
    StepTo(t);  // frame 0: hidden, not moving
    for (int i = 0; i < 3; ++i) StepTo(t += 33);
    EXPECT_EQ(s.flightPosition.z, 60 * 2);  // the first step at frame 0 does not move
    int steps = FlyOut(slot, &t);
    // The tip (30 units behind the root in the flight frame) came within
    // 260 of the target after 17 moves (the walk's transforms a step
    // behind), long before the last frame (30 frames of 66 ms).
    EXPECT_EQ(t, 66u + 17u * 33u);
    EXPECT_EQ(steps, 16);
    EXPECT_FALSE(g_EffectSlots[slot].inUse);
    // No target character: nobody is told.
    EXPECT_TRUE(g_GameCalls.empty());
    EXPECT_TRUE(g_ImpactCalls.empty());
}

TEST_F(Flight, BoltThatNeverComesNearFliesToItsLastFrame) {
    Vec3 far{0, 0, 20000};
    int e = Q3D_FXInit2(".\\fx\\short.cgs", &far, &source_, nullptr, kNoTarget, 5);
    int slot = InstanceSlots(e)[0];
    uint32_t t = 0;
    StepTo(t);
    FlyOut(slot, &t);
    // Frame 9 (end frame 10 - 1) at 66 ms a frame.
    EXPECT_GE(t, 9u * 66u);
    EXPECT_LT(t, 9u * 66u + 33u);
    EXPECT_TRUE(g_GameCalls.empty());
    EXPECT_EQ(Update_Effects(), 1);
    EXPECT_EQ(Get_EffectParam(e), -1);
}

TEST_F(Flight, HomingBoltsTellTheGameWhomTheyHit) {
    // The enemy (unguarded): the enemy manager hears of the weapon.
    Vec3 at = {600, 0, 1200};
    int a = Q3D_FXInit2(".\\fx\\bolt.cgs", &at, &source_, &hero(), AtCharacter(&enemy()), 4);
    int slot = InstanceSlots(a)[0];
    EXPECT_EQ(g_EffectSlots[slot].homing, 1);
    EXPECT_EQ(g_EffectSlots[slot].hitValue, 10);
    EXPECT_NEAR(g_EffectSlots[slot].speed, std::sqrt(600.0 * 600 + 1200.0 * 1200) / 2400.0, 1e-5);
    uint32_t t = 0;
    StepTo(t);
    FlyOut(slot, &t);
    ASSERT_EQ(g_ImpactCalls.size(), 1u);
    EXPECT_EQ(g_ImpactCalls[0].character, &enemy());
    EXPECT_EQ(g_ImpactCalls[0].weapon, "bolt");
    ASSERT_EQ(g_GameCalls.size(), 1u);
    EXPECT_EQ(g_GameCalls[0].what, "HitCharacter");
    EXPECT_EQ(g_GameCalls[0].character, &enemy());
    EXPECT_EQ(g_GameCalls[0].a, 4);
    EXPECT_EQ(g_GameCalls[0].b, 10);
    // An enemy loses the hero's shot cost (its hit value), not the class.
    EXPECT_EQ(enemy().def->life, 90);
    // The guard (guarded): its hit animation is asked for.
    g_GameCalls.clear();
    Vec3 guardAt = {0, 0, 1200};
    int b = Q3D_FXInit2(".\\fx\\bolt.cgs", &guardAt, &source_, &hero(), AtCharacter(&guard()), 6);
    FlyOut(InstanceSlots(b)[0], &t);
    ASSERT_EQ(g_GameCalls.size(), 2u);
    EXPECT_EQ(g_GameCalls[0].what, "SetCharacterAnim");
    EXPECT_EQ(g_GameCalls[0].a, 7);
    EXPECT_EQ(guard().animCode, 7);
    EXPECT_EQ(g_GameCalls[1].what, "HitCharacter");
    // The hero, shot by the enemy: its stance by life.
    g_GameCalls.clear();
    Vec3 enemyAt = {600, 0, 1200}, heroAt = {0, 0, 0};
    int c = Q3D_FXInit2(".\\fx\\bolt.cgs", &heroAt, &enemyAt, &enemy(), AtCharacter(&hero()), 3 + 5);
    FlyOut(InstanceSlots(c)[0], &t);
    ASSERT_EQ(g_GameCalls.size(), 2u);
    EXPECT_EQ(g_GameCalls[0].what, "SetLifeStanceAnim");
    EXPECT_EQ(g_GameCalls[1].what, "HitCharacter");
    EXPECT_EQ(g_GameCalls[1].b, 12);
    EXPECT_EQ(hero().animCode, 1);
    EXPECT_EQ(g_ImpactCalls.size(), 1u);
}

TEST_F(Flight, BoltFiredAtItsOwnPlaceEndsAtOnce) {
    // Damage 3 is unguided with the speed from the distance: 0 here.
    int e = Q3D_FXInit2(".\\fx\\bolt.cgs", &source_, &source_, nullptr, kNoTarget, 3);
    int slot = InstanceSlots(e)[0];
    EXPECT_FLOAT_EQ(g_EffectSlots[slot].speed, 0.0f);
    StepTo(0);
    EXPECT_FALSE(g_EffectSlots[slot].inUse);
}

TEST_F(Flight, BoltStartsAtItsSourceNotAtTheSceneRoot) {
    // The hero stands at the camera's place; a bolt fired at it from 1500
    // units away must fly there first.
    Vec3 from{0, 0, 1500}, heroAt{0, 0, 0};
    int e = Q3D_FXInit2(".\\fx\\bolt.cgs", &heroAt, &from, &enemy(), AtCharacter(&hero()), 4);
    int slot = InstanceSlots(e)[0];
    Vec3 p;
    Get_ObjPos(g_EffectSlots[slot].object, &p);
    EXPECT_EQ(p.z, 1500);
    uint32_t t = 0;
    for (int i = 0; i < 6; ++i) StepTo(t += 33);
    EXPECT_TRUE(g_GameCalls.empty());
    EXPECT_TRUE(g_EffectSlots[slot].flying);
    FlyOut(slot, &t);
    ASSERT_EQ(g_GameCalls.size(), 2u);
    EXPECT_EQ(g_GameCalls[0].what, "SetLifeStanceAnim");
}

TEST_F(Flight, SetsWithoutTimeScaleOrPositionsDoNotPlay) {
    // A speed so small that the frame count leaves the 32-bit range: past
    // the end at the first visible step.
    int e = Q3D_FXInit(".\\fx\\bolt.cgs", prop_, 1e-30f, 1, 0, 0);
    int slot = InstanceSlots(e)[0];
    StepTo(0);
    StepTo(1);
    EXPECT_FALSE(g_EffectSlots[slot].inUse);
    // A projectile needs both positions.
    int p = Q3D_FXInit2(".\\fx\\bolt.cgs", nullptr, &source_, nullptr, kNoTarget, 5);
    ASSERT_GE(p, 0);
    EXPECT_EQ(g_EffectInstances[p].count, 0);
}

TEST_F(Flight, PartFoundOnTheHeroIsPlayedThereWithTheShootersHitValue) {
    PutCgs(".\\fx\\cast.cgs", {{0, 0, "*", ".\\fx\\bolt", "*", "repere"}, {0, 0, "*", ".\\fx\\bolt", "*", "nothing"}});
    int e = Q3D_FXInit2(".\\fx\\cast.cgs", &target_, &source_, &enemy(), kNoTarget, 5);
    std::vector<int> slots = InstanceSlots(e);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(g_EffectSlots[slots[0]].anchor, hero().model + 2);
    EXPECT_EQ(g_EffectSlots[slots[0]].flying, 0);
    EXPECT_EQ(g_EffectSlots[slots[0]].hitValue, 12);
    EXPECT_EQ(g_EffectSlots[slots[0]].repeat, 1);
    EXPECT_EQ(g_EffectSlots[slots[1]].flying, 1);
}

TEST_F(Flight, WrongVersionIsFatalForProjectilesOnly) {
    PutCgs(".\\fx\\old.cgs", {{0, 0, "*", ".\\fx\\bolt"}}, 0, 714);
    EXPECT_EQ(Fatal([&] { Q3D_FXInit2(".\\fx\\old.cgs", &target_, &source_, nullptr, kNoTarget, 5); }),
              "Mauvaise version de .\\fx\\old.cgs");
    EXPECT_EQ(Fx_OpenCount(), 0);
    std::string fatal = Fatal([&] { EXPECT_GE(Q3D_FXInit(".\\fx\\old.cgs", prop_, 1.0f, 1, 0, 0), 0); });
    EXPECT_EQ(fatal, "");
}

}  // namespace
}  // namespace test
