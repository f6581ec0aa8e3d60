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

TEST_F(Effects, RecordFramesAtTheEdgesOfTheirRangeStartWithoutWrapping) {
    // A sound frame of the largest value is never reached (it does not
    // wrap round to the lowest), unless the lowest delay puts the set at
    // the top of its frames at once; delays at either end still start it.
    struct Row {
        int32_t startDelay, soundFrame;
        bool aimed, sounds;
    };
    const Row rows[] = {{0, INT32_MAX, false, false}, {0, INT32_MAX, true, false}, {INT32_MAX, 0, false, false},
                        {INT32_MIN, 0, true, true},   {INT32_MIN, INT32_MAX, false, true}};
    uint32_t t = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.startDelay << " " << row.soundFrame << " " << row.aimed);
        kit::CgsRecordSpec record;
        record.startDelay = row.startDelay;
        record.soundFrame = row.soundFrame;
        record.sound = ".\\smp\\effets\\tir.wav";
        std::string path = PutEffect(".\\fx\\edge", SimpleSet(20, Timing(15)), record);
        const Vec3 from{0, 0, 0}, to{0, 0, 1000};
        int e = row.aimed ? Q3D_FXInit2(path.c_str(), &to, &from, nullptr, kNoTarget, 0)
                          : Q3D_FXInit(path.c_str(), prop_, 1.0f, 1, 0, 0);
        ASSERT_GE(e, 0);
        ASSERT_EQ(InstanceSlots(e).size(), 1u);
        g_SfxPlayCalls.clear();
        for (int i = 0; i < 30; ++i) StepTo(t += 67);
        EXPECT_EQ(!g_SfxPlayCalls.empty(), row.sounds);
        Free_Effect(e);
    }
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

namespace test {
namespace {

class EffectParts : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        for (const kit::NamedFile& f : kit::DemoEffectFiles()) Put(f.name, f.data);
    }
    int Fire(const char* cgs = ".\\effects\\dezavivo.cgs") {
        int e = Q3D_FXInit(cgs, prop_, 1.0f, 1, 0, 0);
        return e < 0 ? -1 : InstanceSlots(e).at(0);
    }
    ObjHandle PartOf(int slot, int i) const { return Get_BlockBase(g_EffectSlots[slot].object) + i; }
    UvPair FirstUv(int slot, int part) const {
        return Load(Get(Get_Node(PartOf(slot, part)), &Obj3D::uvs));
    }
};

TEST_F(EffectParts, TextureCellsStepWithTicksAndShiftTheLeafCoordinates) {
    int slot = Fire();
    ASSERT_GE(slot, 0);
    StepTo(0);
    // Ticks of 33 ms; one table step a tick (speed 30); the identity table.
    for (uint32_t t : {70u, 100u, 133u, 400u, 560u}) {
        StepTo(t);
        int32_t cell = int32_t(t / 33) % 16;
        EXPECT_EQ(g_EffectSlots[slot].textureCell, cell) << t;
        UvPair uv = FirstUv(slot, 2);
        EXPECT_EQ(uv.u, (64 * (cell % 4)) << 16) << t;
        EXPECT_EQ(uv.v, (64 * (cell / 4)) << 16) << t;
    }
}

TEST_F(EffectParts, TextureTableBaseDelayAndOutOfRangeEntries) {
    kit::EffectSetSpec spec = kit::FlashSet();
    spec.cls.tableLength = 4;
    spec.cls.table = {5, 3, 40, 1};  // 40 + 2 lies past the 16 cells: the last cell
    spec.cls.baseCell = 2;
    spec.cls.textureSpeed = 15;
    PutSet(".\\effects\\cells", spec);
    PutCgs(".\\effects\\cells.cgs", {{1, 0, "*", ".\\effects\\cells"}});
    int slot = Fire(".\\effects\\cells.cgs");
    // Start cell: the entry the base word names.
    EXPECT_EQ(g_EffectSlots[slot].textureCell, 15);
    StepTo(0);
    // Cell of step n: table[n mod 4] + 2, held to the texture's 16 cells.
    const int32_t cells[4] = {5 + 2, 3 + 2, 15, 1 + 2};
    for (int i = 0; i < 8; ++i) {
        uint32_t t = 140 + uint32_t(i) * 66;
        int32_t step = int32_t(t / 33) * 15 / 30 + 1;
        StepTo(t);
        EXPECT_EQ(g_EffectSlots[slot].textureCell, cells[step % 4]) << t;
    }
    // Running backward: the table is read with a modulo that stays positive.
    spec.cls.textureSpeed = -30;
    PutSet(".\\effects\\back", spec);
    PutCgs(".\\effects\\back.cgs", {{0, 0, "*", ".\\effects\\back"}});
    int back = Fire(".\\effects\\back.cgs");
    StepTo(1000);
    StepTo(1000 + 33 * 5);
    EXPECT_EQ(g_EffectSlots[back].textureCell, cells[((-5 % 4) + 4) % 4]);
}

TEST_F(EffectParts, ScaleAndMorphTracksStepEveryFrameOnTheSlotsOwnObject) {
    int slot = Fire();
    StepTo(0);
    // Frame 4 (268 ms): the ring's scale between key 1 (0.2) and key 8 (1.0).
    StepTo(268);
    ASSERT_EQ(g_EffectSlots[slot].frame, 4);
    double f = 0.2 + (1.0 - 0.2) * 3.0 / 7.0;
    Vec3 v;
    Get_VertexPos(PartOf(slot, 2), 0, &v);
    EXPECT_EQ(v.x, int32_t(-150 * f));
    EXPECT_FLOAT_EQ(g_EffectSlots[slot].partScales[0][0], float(f));
    // The spark moves from its base at frame 0 toward its key shape at 12.
    Vec3 base, shape, now;
    Get_VertexPos(PartOf(slot, 4), 0, &shape);
    base = g_EffectSlots[slot].morphTracks[0].base[0];
    Get_VertexPos(PartOf(slot, 3), 0, &now);
    EXPECT_EQ(now.y, int32_t(base.y + (shape.y - base.y) * (4.0 / 12.0)));
    // Past the key: the key shape, which becomes the track's base.
    StepTo(67 * 13 + 1);
    Get_VertexPos(PartOf(slot, 3), 0, &now);
    EXPECT_EQ(now.y, shape.y);
    EXPECT_EQ(g_EffectSlots[slot].morphTracks[0].base[0].y, shape.y);
    // The cached copy of the set keeps its own shapes.
    Vec3 spare;
    Get_VertexPos(Get_BlockBase(g_EffectSetCache->spare) + 3, 0, &spare);
    EXPECT_EQ(spare.y, base.y);
}

TEST_F(EffectParts, LeafPartsTurnToFaceTheViewer) {
    Vec3 eye{400, -100, -600};
    Set_ObjPos(0, &eye);
    int slot = Fire();
    StepTo(0);
    StepTo(100);
    Mat3 m;
    Get_ObjMatrix(PartOf(slot, 2), &m);
    // The ring's forward axis points at the camera, seen from its parent
    // (the halo, turned by the node animation).
    Update_SubtreeTransforms(0);
    PoolRef<Obj3D> halo = Get_Node(PartOf(slot, 1));
    Vec3 eyeInHalo = Node_EyePosition(Get(halo, &Obj3D::camMatrix), Get(halo, &Obj3D::camPos));
    Vec3 ring;
    Get_ObjPos(PartOf(slot, 2), &ring);
    double dx = eyeInHalo.x - ring.x, dz = eyeInHalo.z - ring.z, l = std::sqrt(dx * dx + dz * dz);
    EXPECT_NEAR(m.m[2] / 32768.0, dx / l, 0.01);
    EXPECT_NEAR(m.m[8] / 32768.0, dz / l, 0.01);
    EXPECT_EQ(m.m[5], 0);
}

TEST_F(EffectParts, FacingSetsTurnOnceEverySetIsPlaced) {
    // Two flashes that turn to the viewer, then a third whose sound plays
    // in its own step.  The scene's camera-space transforms are brought up
    // to date once in the update, after every set has been stepped: a mark
    // left in a bystander's transform (the prop's) is still there when the
    // third set's sound plays and gone once the update ends.
    PutCgs(".\\effects\\ticking.cgs", {{0, 0, "tick", ".\\effects\\dezavivo"}});
    Vec3 eye{400, -100, -600};
    Set_ObjPos(0, &eye);
    int slots[3] = {Fire(), Fire(), Fire(".\\effects\\ticking.cgs")};
    StepTo(0);
    static ObjHandle prop;
    static std::vector<Vec3> seen;
    prop = prop_;
    seen.clear();
    EngineServices.PlaySound = [](int32_t, const char*, int, int, int) {
        seen.push_back(Get(Get_Node(prop), &Obj3D::camPos));
    };
    const Vec3 mark{12345, -6789, 4242};
    Set(Get_Node(prop_), &Obj3D::camPos, mark);
    host::headless::SetClock(100 * 1000);
    Update_Effects();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].x == mark.x && seen[0].y == mark.y && seen[0].z == mark.z);
    Vec3 after = Get(Get_Node(prop_), &Obj3D::camPos);
    EXPECT_FALSE(after.x == mark.x && after.y == mark.y && after.z == mark.z);
    // Every flash's ring faces the camera, seen from its parent, as in the
    // test of one set above.
    Update_SubtreeTransforms(0);
    for (int slot : slots) {
        Mat3 m;
        Get_ObjMatrix(PartOf(slot, 2), &m);
        PoolRef<Obj3D> halo = Get_Node(PartOf(slot, 1));
        Vec3 eyeInHalo = Node_EyePosition(Get(halo, &Obj3D::camMatrix), Get(halo, &Obj3D::camPos));
        Vec3 ring;
        Get_ObjPos(PartOf(slot, 2), &ring);
        double dx = eyeInHalo.x - ring.x, dz = eyeInHalo.z - ring.z, l = std::sqrt(dx * dx + dz * dz);
        EXPECT_NEAR(m.m[2] / 32768.0, dx / l, 0.01) << slot;
        EXPECT_NEAR(m.m[8] / 32768.0, dz / l, 0.01) << slot;
    }
}

TEST_F(EffectParts, SetsFollowTheirAnchorOrKeepTheirStart) {
    kit::EffectSetSpec still = kit::FlashSet(), child = kit::FlashSet();
    still.cls.follow = 0;
    child.cls.follow = kFollowChild;
    PutSet(".\\effects\\still", still);
    PutSet(".\\effects\\child", child);
    PutCgs(".\\effects\\still.cgs", {{0, 0, "*", ".\\effects\\still"}});
    PutCgs(".\\effects\\child.cgs", {{0, 0, "*", ".\\effects\\child"}});
    int follow = Fire(), keep = Fire(".\\effects\\still.cgs"), under = Fire(".\\effects\\child.cgs");
    StepTo(0);
    Vec3 moved{300, 0, 900};
    Set_ObjPos(prop_, &moved);
    StepTo(100);
    Vec3 p;
    Get_ObjPos(g_EffectSlots[follow].object, &p);
    EXPECT_EQ(p.x, 300);
    EXPECT_EQ(p.z, 900);
    Get_ObjPos(g_EffectSlots[keep].object, &p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.z, 500);
    // Hung under the anchor, at its origin.
    EXPECT_EQ(Get_ObjParent(g_EffectSlots[under].object), prop_);
    Get_ObjPos(g_EffectSlots[under].object, &p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.z, 0);
    // A stopped effect no longer follows its object.
    EXPECT_EQ(Stop_Effect(0), 1);
    EXPECT_EQ(g_EffectSlots[follow].anchor, 0);
    EXPECT_EQ(Stop_Effect(-1), -1);
}

TEST_F(EffectParts, SetOnAPartKeepsItsWorldPlaceWhenTheCameraMoves) {
    // On the hero's hand, keeping its start: placed where the hand was in
    // the world, whatever the camera does afterwards.
    kit::EffectSetSpec still = kit::FlashSet();
    still.cls.follow = 0;
    still.cls.facing = 0;
    PutSet(".\\effects\\still", still);
    PutCgs(".\\effects\\still.cgs", {{0, 0, "*", ".\\effects\\still", "*", "repere"}});
    Vec3 heroAt{300, 0, 800};
    Set_ObjPos(hero().model, &heroAt);
    Update_SubtreeTransforms(0);
    Vec3 hand;
    Get_ObjWorldPos(hero().model + 2, &hand);
    int slot = Fire(".\\effects\\still.cgs");
    StepTo(0);
    Vec3 eye{-700, -200, 100};
    Set_ObjPos(0, &eye);
    StepTo(100);
    StepTo(200);
    Vec3 p;
    Get_ObjWorldPos(g_EffectSlots[slot].object, &p);
    EXPECT_EQ(p.x, hand.x);
    EXPECT_EQ(p.y, hand.y);
    EXPECT_EQ(p.z, hand.z);
    // The hand hangs 80 units to the character's side: -z, for a character
    // that looks along x.
    EXPECT_EQ(hand.x, 300);
    EXPECT_EQ(hand.z, 800 - 80);
}

TEST_F(EffectParts, QuarterTurnAimsTheSetAndTurnsItsStartOrientation) {
    Mat3 m;
    Make_EulerMatrix(0, 300, 0, &m);
    Set_ObjMatrix(prop_, &m);
    int e = Q3D_FXInit(".\\effects\\dezavivo.cgs", prop_, 1.0f, 1, 1, 0);
    int slot = InstanceSlots(e)[0];
    const EffectSlot& s = g_EffectSlots[slot];
    EXPECT_EQ(s.aimed, 1);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(s.startOrientation.m[row * 3], m.m[row * 3 + 2]);
        EXPECT_EQ(s.startOrientation.m[row * 3 + 2], -m.m[row * 3]);
    }
}

TEST_F(EffectParts, AttachmentPartOfTheHeroAnchorsTheSet) {
    PutCgs(".\\effects\\hand.cgs", {{0, 0, "*", ".\\effects\\dezavivo", "*", "repere"},
                                    {0, 0, "*", ".\\effects\\dezavivo", "*", "hero"},
                                    {0, 0, "*", ".\\effects\\dezavivo", "*", "nowhere"}});
    int e = Q3D_FXInit(".\\effects\\hand.cgs", prop_, 1.0f, 1, 0, 0);
    std::vector<int> slots = InstanceSlots(e);
    ASSERT_EQ(slots.size(), 3u);
    EXPECT_EQ(g_EffectSlots[slots[0]].anchor, hero().model + 2);
    // The hero's first part, or no such part: the given anchor.
    EXPECT_EQ(g_EffectSlots[slots[1]].anchor, prop_);
    EXPECT_EQ(g_EffectSlots[slots[2]].anchor, prop_);
}

}  // namespace
}  // namespace test

namespace test {
namespace {

// The demo data as mkdemo packed it: the characters' animations and the
// effect set load from game.res through the resource set, and the flash
// plays on the hero to its end.
TEST_F(EffectsTest, DemoEffectAndAnimationsLoadFromTheMainArchive) {
    std::string game = std::filesystem::path(MORVANEL_GAME_SOFT).parent_path().string();
    FreeArchives();
    MainResArchive = ResAddArchive((game + "/game.res").c_str(), 0);
    ASSERT_TRUE(MainResArchive->flags & kResArchivePresent);
    CurrentFileTable = &ResourceFileTable;
    for (const kit::NamedFile& f : kit::DemoAnimationFiles()) {
        ObjHandle a = Load_Object(f.name.c_str());
        EXPECT_TRUE(Get_BlockType(a) == kBlockAnimation || Get_BlockType(a) == kBlockSpline) << f.name;
        EXPECT_EQ(int(LoadWord(Get_BlockElements(a))), Get_PartCount(hero().model)) << f.name;
        EXPECT_GE(Get_AnimLength(a), 20) << f.name;
    }
    int e = Q3D_FXInit(".\\effects\\dezavivo.cgs", hero().model, 1.0f, 1, 0, 0);
    ASSERT_GE(e, 0);
    ASSERT_EQ(InstanceSlots(e).size(), 1u);
    uint32_t t = 0;
    while (Get_EffectParam(e) >= 0 && t < 5000) StepTo(t += 33);
    EXPECT_EQ(Get_EffectParam(e), -1);
    EXPECT_GT(t, 23u * 67u);
    ASSERT_EQ(g_SfxPlayCalls.size(), 1u);
    EXPECT_EQ(g_SfxPlayCalls[0].name, ".\\smp\\effets\\tir.wav");
    EXPECT_NE(Find_ModelTexels("flare"), 0u);
}

}  // namespace
}  // namespace test
