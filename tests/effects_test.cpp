// The effects engine: frame timing, sounds, visibility, texture cells,
// projectiles, passes and the cache, and the engine's own faults mended.
#include "fx_support.h"

#include "engine3d/dqx_obj.h"

#include <cmath>

namespace test {
namespace {

class Effects : public EffectsTest {};

TEST_F(Effects, FramesFollowTimeSpeedAndDelay) {
    // Not aimed: 67 ms a frame at speed 1.0; the delay is subtracted.
    std::string plain = PutEffect(".\\fx\\plain", SimpleSet(100, Timing(15)));
    kit::CgsRecordSpec delayed;
    delayed.startDelay = 2;
    std::string late = PutEffect(".\\fx\\late", SimpleSet(100, Timing(15)), delayed);
    int a = Q3D_FXInit(plain.c_str(), prop_, 1.0f, 1, 0, 0);
    int b = Q3D_FXInit(plain.c_str(), prop_, 2.0f, 1, 0, 0);
    int c = Q3D_FXInit(late.c_str(), prop_, 1.0f, 1, 0, 0);
    // Aimed (a quarter turn): ms per frame from the rate, 50 ms at 20 fps.
    PutSet(".\\fx\\aimed", SimpleSet(100, Timing(20)));
    PutCgs(".\\fx\\aimed.cgs", {{0, 0, "*", ".\\fx\\aimed"}});
    int d = Q3D_FXInit(".\\fx\\aimed.cgs", prop_, 1.0f, 1, 1, 0);
    ASSERT_GE(a, 0);
    ASSERT_GE(d, 0);
    int sa = InstanceSlots(a)[0], sb = InstanceSlots(b)[0], sc = InstanceSlots(c)[0], sd = InstanceSlots(d)[0];
    StepTo(1000);  // frame 0 at 1000 ms
    EXPECT_EQ(g_EffectSlots[sa].frame, 0);
    StepTo(1000 + 670);
    EXPECT_EQ(g_EffectSlots[sa].frame, 10);
    EXPECT_EQ(g_EffectSlots[sb].frame, 5);   // 670 / (67 x 2)
    EXPECT_EQ(g_EffectSlots[sc].frame, 8);   // 10 - 2
    EXPECT_EQ(g_EffectSlots[sd].frame, 13);  // 670 / 50
    StepTo(1000 + 669);                      // time never runs back, but a frame is recomputed whole
    EXPECT_EQ(g_EffectSlots[sa].frame, 9);
}

TEST_F(Effects, ForcedFrameOverridesTimeAndZeroHides) {
    std::string path = PutEffect(".\\fx\\plain", SimpleSet(100, Timing(15)));
    int e = Q3D_FXInit(path.c_str(), prop_, 1.0f, 1, 0, 0);
    int slot = InstanceSlots(e)[0];
    StepTo(0);
    StepTo(200);
    EXPECT_EQ(SlotState(slot), "f2 SHHSS c0");
    Set_EffectSetParam(40, slot);
    StepTo(233);
    EXPECT_EQ(g_EffectSlots[slot].frame, 40);
    Set_EffectSetParam(0, slot);
    StepTo(266);
    EXPECT_EQ(SlotState(slot), "f0 HHHHH c0");
    Set_EffectSetParam(-1, slot);
    StepTo(335);
    EXPECT_EQ(g_EffectSlots[slot].frame, 5);
}

TEST_F(Effects, SoundPlaysOnceAtTheFrameAfterItsRecordOnTheImpactPart) {
    kit::CgsRecordSpec record;
    record.soundFrame = 3;
    record.sound = ".\\smp\\effets\\tir.wav";
    std::string path = PutEffect(".\\fx\\plain", SimpleSet(100, Timing(15)), record);
    int e = Q3D_FXInit(path.c_str(), prop_, 1.0f, 1, 0, 0);
    int slot = InstanceSlots(e)[0];
    ObjHandle tip = Get_BlockBase(g_EffectSlots[slot].object) + 5;
    for (uint32_t t = 0; t < 67 * 3; t += 33) StepTo(t);
    StepTo(67 * 3);
    EXPECT_EQ(g_EffectSlots[slot].frame, 3);
    EXPECT_TRUE(g_SfxPlayCalls.empty());
    StepTo(67 * 4 + 1);
    ASSERT_EQ(g_SfxPlayCalls.size(), 1u);
    EXPECT_EQ(g_SfxPlayCalls[0].name, ".\\smp\\effets\\tir.wav");
    EXPECT_EQ(g_SfxPlayCalls[0].owner, tip);
    EXPECT_EQ(g_SfxPlayCalls[0].loop, 0);
    EXPECT_EQ(g_SfxPlayCalls[0].priority, 90);
    EXPECT_EQ(g_SfxPlayCalls[0].fromVoices, 0);
    // A jump over the sound frame still plays it, once.
    int e2 = Q3D_FXInit(path.c_str(), prop_, 1.0f, 1, 0, 0);
    StepTo(1000);
    StepTo(1000 + 67 * 9);
    EXPECT_EQ(g_SfxPlayCalls.size(), 2u);
    StepTo(1000 + 67 * 10);
    EXPECT_EQ(g_SfxPlayCalls.size(), 2u);
    EXPECT_GE(e2, 0);
}

TEST_F(Effects, PartsShowByTheirNamesAndTheGroupWord) {
    kit::ClsSpec shown = Timing(15);
    shown.groupShow = 1;
    std::string plain = PutEffect(".\\fx\\plain", SimpleSet(100, Timing(15)));
    std::string grouped = PutEffect(".\\fx\\grouped", SimpleSet(100, shown));
    kit::ClsSpec old = shown;
    old.version = 3;  // no word 9: groups stay hidden
    std::string v3 = PutEffect(".\\fx\\old", SimpleSet(100, old));
    int a = InstanceSlots(Q3D_FXInit(plain.c_str(), prop_, 1.0f, 1, 0, 0))[0];
    int b = InstanceSlots(Q3D_FXInit(grouped.c_str(), prop_, 1.0f, 1, 0, 0))[0];
    int c = InstanceSlots(Q3D_FXInit(v3.c_str(), prop_, 1.0f, 1, 0, 0))[0];
    StepTo(0);
    EXPECT_EQ(SlotState(a), "f0 HHHHH c0");
    StepTo(70);
    // glow shown, &ghost hidden, grp by the group word, inner and #tip shown.
    EXPECT_EQ(SlotState(a), "f1 SHHSS c0");
    EXPECT_EQ(SlotState(b), "f1 SHSSS c0");
    EXPECT_EQ(SlotState(c), "f1 SHHSS c0");
    EXPECT_EQ(Get(Get_Node(g_EffectSlots[a].object), &Obj3D::flags) & kObjHidden, kObjHidden);
}

}  // namespace
}  // namespace test
