// Morph targets: the "~" correspondence, applying by frame (frame 0, between
// keys, beyond the last key), vertices that match no target point, the hand
// morphs' opacity table, blends, the way back to the rest shape, and files
// that cannot be read.
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "program/engine_services.h"
#include "test_3d.h"
#include "tools/kit/effect_writer.h"
#include "tests/mission_fixtures.h"

#include <algorithm>

namespace test {
namespace {

class Morphs : public Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        kit::ObjectSpec spec;
        kit::NodeSpec root;
        root.name = "arm";
        kit::NodeSpec hand;
        hand.name = "hand";
        hand.parent = 0;
        hand.groups = {{1, "", 0x1234, {}}};
        kit::AddQuad(&hand, 0, {{{0, 0, 0}, {20, 0, 0}, {20, 20, 0}, {0, 20, 0}}}, {0, 0, 100});
        kit::NodeSpec tilde;
        tilde.name = "~hand";
        tilde.parent = 0;
        tilde.vertices = {{-500, 0, 0}};
        spec.nodes = {root, hand, tilde};
        Put(".\\t\\arm.3dc", kit::BuildObject(spec, nullptr));
        arm_ = Load_SceneObject(".\\t\\arm.3dc");
        hand_ = arm_ + 1;
        base_.resize(4);
        Get_Vertices(hand_, base_.data());
    }
    void TearDown() override {
        for (MorphRec* m : loaded_) Free_Morph(m);
        CharacterTable = nullptr;
        EngineServices = kNullEngineServices;
        Engine3DTest::TearDown();
    }
    MorphRec* Load(const std::string& name, const kit::MorSpec& spec, int32_t keepOffset = 1) {
        Put(name, kit::MorFile(spec));
        MorphRec* m = Load_Morph(name.c_str(), arm_, keepOffset);
        if (m) loaded_.push_back(m);
        return m;
    }
    // The hand's vertices scaled about the origin and moved into target
    // space, in `order`.
    std::vector<kit::I3> Shape(int scale, kit::I3 offset, std::vector<int> order = {0, 1, 2, 3}) {
        std::vector<kit::I3> points;
        for (int i : order)
            points.push_back({base_[size_t(i)].x * scale + offset.x, base_[size_t(i)].y * scale + offset.y,
                              base_[size_t(i)].z * scale + offset.z});
        return points;
    }
    Vec3 Vertex(int i) {
        Vec3 v;
        Get_VertexPos(hand_, i, &v);
        return v;
    }
    void ExpectScaled(double scale, const char* where) {
        for (int i = 0; i < 4; ++i) {
            Vec3 v = Vertex(i);
            EXPECT_EQ(v.x, int32_t(base_[size_t(i)].x * scale)) << where << " vertex " << i;
            EXPECT_EQ(v.y, int32_t(base_[size_t(i)].y * scale)) << where << " vertex " << i;
        }
    }
    kit::MorSpec HandMorph(kit::I3 offset = {1000, 0, 0}) {
        kit::MorSpec m;
        m.targets = {{"~hand", Shape(1, offset)}, {"open", Shape(2, offset)}};
        m.groups = {{"hand", {{1, "~hand"}, {11, "open"}, {21, "~hand"}}}};
        return m;
    }

    ObjHandle arm_ = -1, hand_ = -1;
    std::vector<Vec3> base_;
    std::vector<MorphRec*> loaded_;
};

TEST_F(Morphs, CorrespondenceFromTheShapeFindsTheOffsetAndTheMap) {
    MorphRec* m = Load(".\\t\\hand.mor", HandMorph());
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->groupCount, 1);
    const MorphGroup& g = m->groups[0];
    EXPECT_EQ(g.part, 1);
    EXPECT_EQ(g.matched, 1);
    EXPECT_EQ(g.offset.x, 1000);
    EXPECT_EQ(g.offset.y, 0);
    for (int p = 0; p < 4; ++p) EXPECT_EQ(g.map[p], p);
    EXPECT_EQ(g.keys[1].target, 1);
}

TEST_F(Morphs, FramesBetweenAtAndBeyondTheKeys) {
    MorphRec* m = Load(".\\t\\hand.mor", HandMorph());
    Vec3 odd{3, 3, 3};
    Set_VertexPos(hand_, 0, &odd);
    Apply_Morph(m, arm_, 0);  // frame 0: untouched
    EXPECT_EQ(Vertex(0).x, 3);
    Apply_Morph(m, arm_, 6);  // halfway from key 0 to key 1
    ExpectScaled(1.5, "frame 6");
    Apply_Morph(m, arm_, 11);
    ExpectScaled(2.0, "frame 11");
    Apply_Morph(m, arm_, 16);
    ExpectScaled(1.5, "frame 16");
    Apply_Morph(m, arm_, 300);  // the last key's shape
    ExpectScaled(1.0, "frame 300");
    Apply_Morph(m, arm_, 1);  // at the first key
    ExpectScaled(1.0, "frame 1");
    // The normals follow the moved vertices.
    Apply_Morph(m, arm_, 11);
    PoolRef<PrimGroup> g = Get(Get_Node(hand_), &Obj3D::groups);
    PrimFace f = ::Load(Get(g, &PrimGroup::faces));
    EXPECT_EQ(Get(Ref<FaceNormal>(f.normal.off), &FaceNormal::z), 32768);
}

TEST_F(Morphs, EqualKeyFramesTakeTheLaterKey) {
    kit::MorSpec spec = HandMorph();
    spec.groups = {{"hand", {{1, "~hand"}, {5, "open"}, {5, "~hand"}}}};
    MorphRec* m = Load(".\\t\\same.mor", spec);
    Apply_Morph(m, arm_, 5);
    ExpectScaled(2.0, "frame 5");
    Apply_Morph(m, arm_, 9);
    ExpectScaled(1.0, "frame 9");
}

TEST_F(Morphs, TildeTargetInAnotherOrderOrPlace) {
    // Points listed in another order: each vertex follows its own point.
    kit::MorSpec spec;
    std::vector<int> order = {2, 0, 3, 1};
    spec.targets = {{"~hand", Shape(1, {0, 0, 0}, order)}, {"open", Shape(2, {0, 0, 0}, order)}};
    spec.groups = {{"hand", {{1, "~hand"}, {11, "open"}}}};
    MorphRec* m = Load(".\\t\\perm.mor", spec);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(order[size_t(m->groups[0].map[i])], i);
    Apply_Morph(m, arm_, 11);
    ExpectScaled(2.0, "permuted");
    // keepOffset 0: the offset is that of the object's part named "~hand"
    // (its vertex 0 at -500) to the target's point 0.
    Set_Vertices(hand_, base_.data());
    MorphRec* moved = Load(".\\t\\moved.mor", HandMorph({-500 + 7, 0, 0}), 0);
    EXPECT_EQ(moved->groups[0].offset.x, (base_[0].x - 500 + 7) - (-500));
    MorphRec* kept = Load(".\\t\\kept.mor", HandMorph({-500 + 7, 0, 0}), 1);
    EXPECT_EQ(kept->groups[0].offset.x, -500 + 7);
}

TEST_F(Morphs, VertexNearNoTargetPointFollowsTheNearest) {
    kit::MorSpec spec = HandMorph();
    // Point 3 of the "~" target is 15 units off its vertex: outside the
    // 10-unit match on one axis, still the nearest.
    spec.targets[0].points[3].y += 15;
    spec.targets[1].points[3] = {5000, 5000, 0};
    MorphRec* m = Load(".\\t\\far.mor", spec);
    EXPECT_EQ(m->groups[0].map[3], 3);
    Apply_Morph(m, arm_, 11);
    EXPECT_EQ(Vertex(3).x, 5000 - 1000);
    EXPECT_EQ(Vertex(3).y, 5000);
    Apply_Morph(m, arm_, 1);
    EXPECT_EQ(Vertex(3).y, base_[3].y + 15);
}

TEST_F(Morphs, BlendOfTwoMorphs) {
    MorphRec* a = Load(".\\t\\a.mor", HandMorph());
    kit::MorSpec bs = HandMorph();
    bs.targets[1].points = Shape(4, {1000, 0, 0});
    MorphRec* b = Load(".\\t\\b.mor", bs);
    Apply_MorphBlend(a, b, arm_, 11, 11, 0);
    ExpectScaled(2.0, "weight 0");
    Apply_MorphBlend(a, b, arm_, 11, 11, 255);
    ExpectScaled(4.0, "weight 255");
    Apply_MorphBlend(a, b, arm_, 11, 11, 51);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Vertex(i).x, base_[size_t(i)].x * 2 + base_[size_t(i)].x * 2 * 51 / 255);
    // Nothing without both morphs.
    Apply_MorphBlend(a, nullptr, arm_, 1, 1, 0);
    EXPECT_EQ(Vertex(1).x, base_[1].x * 2 + base_[1].x * 2 * 51 / 255);
}

// Toward the rest shape (the part's vertices when the file was read, the
// 1x hand here): the frame's shape (frame 11: 2x) moved by weight / 255 of
// the way back, truncated; frame 0 starts from the shape the part has
// (2x, left by the frame-11 morph before the row), and a weight past 255
// is 255.
TEST_F(Morphs, TowardTheRestShape) {
    MorphRec* m = Load(".\\t\\a.mor", HandMorph());
    struct Row {
        const char* name;
        int32_t frame, weight;
        bool null;
    } rows[] = {
        {"the frame's shape", 11, 0, false}, {"the rest shape", 11, 255, false}, {"a fifth of the way", 11, 51, false},
        {"from the shape it has", 0, 128, false}, {"a weight past 255", 11, 300, false}, {"no morph", 11, 255, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Apply_Morph(m, arm_, 11);
        Apply_MorphRest(r.null ? nullptr : m, arm_, r.frame, r.weight);
        const int64_t w = r.null ? 0 : std::min(r.weight, 255);
        for (int i = 0; i < 4; ++i) {
            const int64_t b = base_[size_t(i)].x, shaped = 2 * b;
            EXPECT_EQ(Vertex(i).x, shaped + (b - shaped) * w / 255) << i;
        }
    }
}

TEST_F(Morphs, HandMorphsFadeTheHero) {
    InstallEngineServices();
    CharacterDef def = TestDef("hero", 0, 200);
    CharacterRecord records[kCharacterSlots] = {};
    Put(".\\all\\hero.3dc", kit::BuildObject(kit::Character("hero", 0x001F), nullptr));
    records[0].model = Load_SceneObject(".\\all\\hero.3dc");
    records[0].def = &def;
    CharacterTable = records;
    auto translucency = [&] { return Get(Get_Node(records[0].model), &Obj3D::translucency); };
    MorphRec* left = Load(".\\all\\tolml.mor", HandMorph());
    MorphRec* right = Load(".\\all\\tolmr.mor", HandMorph());
    MorphRec* other = Load(".\\all\\weapon.mor", HandMorph());
    struct Case {
        int32_t frame, opacity;
    };
    for (Case c : {Case{4, 168}, Case{5, 84}, Case{6, 0}, Case{9, 0}, Case{10, 84}, Case{11, 168}, Case{3, 200},
                   Case{12, 200}}) {
        Apply_Morph(c.frame % 2 ? left : right, arm_, c.frame);
        EXPECT_EQ(translucency(), uint32_t((c.opacity >> 3) << 8 | 16)) << c.frame;
    }
    Apply_Morph(left, arm_, 6);
    Apply_Morph(other, arm_, 6);
    EXPECT_EQ(translucency(), uint32_t((200 >> 3) << 8 | 16));
    Apply_Morph(left, arm_, 6);
    Apply_Morph(left, arm_, 0);  // frame 0 does nothing at all
    EXPECT_EQ(translucency(), 16u);
    EXPECT_EQ(Morph_HeroOpacity(other, 6), -1);
}

TEST_F(Morphs, FilesThatCannotBeReadGiveNoMorph) {
    EXPECT_EQ(Load_Morph(".\\t\\none.mor", arm_, 1), nullptr);
    EXPECT_NE(ReadFile("debug.txt").find("Morph: .\\t\\none.mor not found.\n"), std::string::npos);
    std::vector<uint8_t> good = kit::MorFile(HandMorph());
    auto patched = [&](size_t at, int32_t v) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(uint32_t(v) >> (8 * i));
        return b;
    };
    const size_t targets = 4, points = 8 + 16, groups = 8 + 2 * (20 + 48), keys = groups + 4 + 16;
    for (auto bytes : {patched(targets, -1), patched(targets, 1 << 30), patched(points, 100), patched(points, -3),
                       patched(groups, 2), patched(keys, 9), patched(keys, -1)}) {
        Put(".\\t\\bad.mor", bytes);
        EXPECT_EQ(Load_Morph(".\\t\\bad.mor", arm_, 1), nullptr);
    }
    EXPECT_NE(ReadFile("debug.txt").find("Morph: .\\t\\bad.mor corrupt.\n"), std::string::npos);
    // Without groups (the file ends after the targets): nothing to apply.
    kit::MorSpec targets_only = HandMorph();
    targets_only.withGroups = false;
    MorphRec* m = Load(".\\t\\targets.mor", targets_only);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->groupCount, 0);
    Apply_Morph(m, arm_, 11);
    ExpectScaled(1.0, "no groups");
    // A part or a target named nowhere: that group or key does nothing.
    kit::MorSpec lost = HandMorph();
    lost.groups.push_back({"nohand", {{1, "~hand"}, {11, "open"}}});
    lost.groups[0].keys[1].target = "missing";
    MorphRec* l = Load(".\\t\\lost.mor", lost);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->groups[1].part, -1);
    EXPECT_EQ(l->groups[0].keys[1].target, -1);
    Apply_Morph(l, arm_, 11);
    ExpectScaled(1.0, "lost");
    EXPECT_EQ(Free_Morph(nullptr), 0);
}

}  // namespace
}  // namespace test
