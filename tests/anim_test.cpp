// Keyframe animation: key search, linear and spline tracks, the edges of
// the key range, weights, pose blends, the key transform and the demo's
// character animations.
#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_obj.h"
#include "test_3d.h"
#include "tools/kit/demo_effects.h"

#include <cmath>
#include <cstring>

namespace test {
namespace {

using kit::PositionKey;
using kit::RotationKey;
using kit::TrackSpec;

constexpr std::array<int32_t, 4> kStill{0, 0, 0, 32767};

double kPi4() {
    return std::atan(1.0);
}

class Animation : public Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        Put(".\\t\\box.3dc", kit::BuildObject(kit::Cube("box", 10, 0x1234), nullptr));
        box_ = Load_SceneObject(".\\t\\box.3dc");
    }
    ObjHandle LoadAnim(const std::string& name, const std::vector<TrackSpec>& tracks, bool spline = false) {
        Put(".\\t\\" + name + ".3da", kit::BuildAnimation(tracks, spline, nullptr));
        return Load_Object((".\\t\\" + name + ".3da").c_str());
    }
    Vec3 Pos(ObjHandle h = -1) {
        Vec3 v;
        Get_ObjPos(h < 0 ? box_ : h, &v);
        return v;
    }
    Mat3 Matrix(ObjHandle h = -1) {
        Mat3 m;
        Get_ObjMatrix(h < 0 ? box_ : h, &m);
        return m;
    }
    void Place(Vec3 p) { Set_ObjPos(box_, &p); }
    ObjHandle box_ = -1;
};

bool Same(const Mat3& a, const Mat3& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectPos(const Vec3& v, int32_t x, int32_t y, int32_t z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

TEST_F(Animation, KeySearchBisectsToTheKeyAtOrAfterTheTime) {
    ObjHandle a = LoadAnim("five", {{40, {}, {{0, {0, 0, 0}}, {10, {0, 0, 0}}, {20, {0, 0, 0}}, {30, {0, 0, 0}}, {40, {0, 0, 0}}}}});
    AnimElement e = Load(Ref<AnimElement>(Get_Obj(a)));
    auto find = [&](float t) { return Anim_FindKey(e.positionKeys, 5, kLinearPositionKeySize, t); };
    EXPECT_EQ(find(25.0f), 3);
    EXPECT_EQ(find(30.0f), 3);
    EXPECT_EQ(find(30.5f), 4);
    EXPECT_EQ(find(-5.0f), 1);
    EXPECT_EQ(find(100.0f), 4);
    EXPECT_EQ(Get_AnimLength(a), 40);
}

TEST_F(Animation, LinearTrackBeforeAtBetweenAndAfterItsKeys) {
    ObjHandle a = LoadAnim("lin", {{20,
                                    {{10, kStill}, {20, kit::TurnY(90)}},
                                    {{10, {0, 0, 0}}, {20, {100, 200, -300}}}}});
    auto at = [&](int32_t frame) { AnimateObject(box_, Anim_Ref(a, frame), Anim_Ref(a, frame), 0, 0); };
    // Before the first key: the first key, not an extrapolation.
    at(5);
    ExpectPos(Pos(), 0, 0, 0);
    EXPECT_EQ(Matrix().m[0], 32768);
    at(10);
    ExpectPos(Pos(), 0, 0, 0);
    at(15);
    ExpectPos(Pos(), 50, 100, -150);
    EXPECT_NEAR(Matrix().m[2] / 32768.0, std::sin(kPi4()), 0.01);
    // At and after the last key: the last key held.
    at(20);
    ExpectPos(Pos(), 100, 200, -300);
    at(300);
    ExpectPos(Pos(), 100, 200, -300);
    EXPECT_NEAR(Matrix().m[2] / 32768.0, 1.0, 0.001);
    // One animation, two frames: the time blended by the weight.
    AnimateObject(box_, Anim_Ref(a, 10), Anim_Ref(a, 20), 64, 0);
    ExpectPos(Pos(), 25, 50, -75);
    // w = trunc(2 x 256 / 10) = 51, positions (256 - w) a + w b >> 8.
    AnimateObject(box_, Anim_Ref(a, 12), Anim_Ref(a, 20), 0, 0);
    ExpectPos(Pos(), (51 * 100) >> 8, (51 * 200) >> 8, (51 * -300) >> 8);
    // Flags skip a track: the node keeps that value.
    Place({1, 2, 3});
    AnimateObject(box_, Anim_Ref(a, 15), Anim_Ref(a, 15), 0, kAnimSkipPosition);
    ExpectPos(Pos(), 1, 2, 3);
}

TEST_F(Animation, ShortTracksAndEqualTimes) {
    // One key: the node is left as it is.
    ObjHandle one = LoadAnim("one", {{10, {{0, kit::TurnX(30)}}, {{0, {5, 5, 5}}}}});
    Place({7, 8, 9});
    AnimateObject(box_, Anim_Ref(one, 5), Anim_Ref(one, 5), 0, 0);
    ExpectPos(Pos(), 7, 8, 9);
    EXPECT_EQ(Matrix().m[4], 32768);
    // Two keys at one time: no division by zero; before them, the later key.
    ObjHandle same = LoadAnim("same", {{10, {{10, kStill}, {10, kit::TurnX(90)}}, {{10, {1, 1, 1}}, {10, {2, 2, 2}}}}});
    AnimateObject(box_, Anim_Ref(same, 4), Anim_Ref(same, 4), 0, 0);
    ExpectPos(Pos(), 2, 2, 2);
    AnimateObject(box_, Anim_Ref(same, 10), Anim_Ref(same, 10), 0, 0);
    ExpectPos(Pos(), 2, 2, 2);
    // A repeated time inside the track: the first of the pair is held at it.
    ObjHandle rep = LoadAnim("rep", {{20, {}, {{0, {0, 0, 0}}, {10, {10, 0, 0}}, {10, {50, 0, 0}}, {20, {60, 0, 0}}}}});
    AnimateObject(box_, Anim_Ref(rep, 10), Anim_Ref(rep, 10), 0, 0);
    EXPECT_EQ(Pos().x, 10);
    AnimateObject(box_, Anim_Ref(rep, 15), Anim_Ref(rep, 15), 0, 0);
    EXPECT_EQ(Pos().x, 55);
}

TEST_F(Animation, TwoAnimationsBlendByTheirWeight) {
    ObjHandle a = LoadAnim("a", {{10, {{0, kStill}, {10, kStill}}, {{0, {100, 0, 0}}, {10, {100, 0, 0}}}}});
    ObjHandle b = LoadAnim("b", {{10, {{0, kit::TurnY(90)}, {10, kit::TurnY(90)}}, {{0, {0, 0, 200}}, {10, {0, 0, 200}}}}});
    Mat3 ma, mb;
    AnimateObject(box_, Anim_Ref(a, 3), Anim_Ref(a, 3), 0, 0);
    ma = Matrix();
    AnimateObject(box_, Anim_Ref(b, 3), Anim_Ref(b, 3), 0, 0);
    mb = Matrix();
    AnimateObject(box_, Anim_Ref(a, 3), Anim_Ref(b, 5), 0, 0);
    ExpectPos(Pos(), 100, 0, 0);
    EXPECT_TRUE(Same(ma, Matrix()));
    AnimateObject(box_, Anim_Ref(a, 3), Anim_Ref(b, 5), 255, 0);
    ExpectPos(Pos(), 0, 0, 200);
    EXPECT_TRUE(Same(mb, Matrix()));
    AnimateObject(box_, Anim_Ref(a, 3), Anim_Ref(b, 5), 256, 0);
    ExpectPos(Pos(), 0, 0, 200);
    AnimateObject(box_, Anim_Ref(a, 3), Anim_Ref(b, 5), 128, 0);
    ExpectPos(Pos(), 50, 0, 100);
    EXPECT_NEAR(Matrix().m[2] / 32768.0, std::sin(kPi4()), 0.01);
    // Weights out of range are held to 0..256.
    AnimateObject(box_, Anim_Ref(a, 3), Anim_Ref(b, 5), -40, 0);
    ExpectPos(Pos(), 100, 0, 0);
}

TEST_F(Animation, EaseCurve) {
    EXPECT_FLOAT_EQ(Anim_Ease(0.3f, 0.0f, 0.0f), 0.3f);
    // a = b = 0.5: accelerate over the first half, brake over the second.
    EXPECT_FLOAT_EQ(Anim_Ease(0.25f, 0.5f, 0.5f), 0.125f);
    EXPECT_FLOAT_EQ(Anim_Ease(0.75f, 0.5f, 0.5f), 0.875f);
    // a + b above 1 is brought back to 1.
    EXPECT_FLOAT_EQ(Anim_Ease(0.25f, 1.0f, 1.0f), 0.125f);
    // The middle runs at the constant speed 1 / (2 - a - b).
    EXPECT_FLOAT_EQ(Anim_Ease(0.5f, 0.25f, 0.25f), 0.5f);
    EXPECT_FLOAT_EQ(Anim_Ease(0.4f, 0.25f, 0.25f), (2.0f * 0.4f - 0.25f) / 1.5f);
    EXPECT_FLOAT_EQ(Anim_Ease(0.0f, 0.25f, 0.25f), 0.0f);
    EXPECT_FLOAT_EQ(Anim_Ease(1.0f, 0.25f, 0.25f), 1.0f);
    // Out of range: u held to 0..1; negative or undefined ease values ease
    // nothing; infinite ones give u.
    EXPECT_FLOAT_EQ(Anim_Ease(-2.0f, 0.25f, 0.25f), 0.0f);
    EXPECT_FLOAT_EQ(Anim_Ease(0.6f, -3.0f, 0.5f), Anim_Ease(0.6f, 0.0f, 0.5f));
    EXPECT_FLOAT_EQ(Anim_Ease(0.6f, std::nanf(""), -1.0f), 0.6f);
    EXPECT_FLOAT_EQ(Anim_Ease(0.6f, INFINITY, 0.0f), 0.6f);
}

TEST_F(Animation, SplineTrackEasesAndFollowsItsTangents) {
    PositionKey p0{0, {0, 0, 0}}, p1{10, {1000, 0, 0}};
    ObjHandle flat = LoadAnim("flat", {{10, {}, {p0, p1}}}, true);
    auto at = [&](ObjHandle a, int32_t frameA, int32_t frameB, int32_t w, int32_t flags) {
        AnimateObjectSpline(box_, Anim_Ref(a, frameA), Anim_Ref(a, frameB), w, flags);
        return Pos().x;
    };
    // No tangents, no ease: the Hermite curve 3s^2 - 2s^3.
    EXPECT_EQ(at(flat, 5, 5, 0, 0), 500);
    EXPECT_EQ(at(flat, 0, 5, 128, 0), 156);  // t = 2.5
    // Tangents of the chord: a straight line.
    p0.out = {1000, 0, 0};
    p1.in = {1000, 0, 0};
    ObjHandle straight = LoadAnim("straight", {{10, {}, {p0, p1}}}, true);
    EXPECT_EQ(at(straight, 0, 5, 128, 0), 250);
    // Eased: the curve's parameter slowed at the start.
    p0.easeA = 0.5f;
    p1.easeB = 0.5f;
    ObjHandle eased = LoadAnim("eased", {{10, {}, {p0, p1}}}, true);
    EXPECT_EQ(at(eased, 0, 5, 128, 0), 125);
    // Bit 6: the keys blended linearly; bits 6 and 7: the key found, held.
    EXPECT_EQ(at(flat, 0, 5, 128, kAnimSplineLinear), 250);
    EXPECT_EQ(at(flat, 0, 5, 128, kAnimSplineLinear | kAnimSplineHold), 1000);
    // Before the first key and at the last.
    EXPECT_EQ(at(flat, 0, 0, 0, 0), 0);
    EXPECT_EQ(at(flat, 40, 40, 0, 0), 1000);
    // Rotation keys with their own controls follow the plain blend.
    RotationKey r0{0, kStill}, r1{10, kit::TurnY(90)};
    r0.control = r0.q;
    r1.control = r1.q;
    ObjHandle turn = LoadAnim("turn", {{10, {r0, r1}, {}}}, true);
    AnimateObjectSpline(box_, Anim_Ref(turn, 5), Anim_Ref(turn, 5), 0, 0);
    EXPECT_NEAR(Matrix().m[2] / 32768.0, std::sin(kPi4()), 0.02);
}

TEST_F(Animation, OnlyAnimationBlocksAnimate) {
    Place({3, 3, 3});
    // A reference to the box's own slot (a node block), or to a free slot.
    AnimateObject(box_, Anim_Ref(box_, 2), Anim_Ref(box_, 2), 0, 0);
    AnimateObject(box_, Anim_Ref(40 << 16, 2), Anim_Ref(40 << 16, 2), 0, 0);
    ExpectPos(Pos(), 3, 3, 3);
    EXPECT_EQ(Get_AnimLength(box_), 0);
    EXPECT_EQ(Get_AnimLength(-1), 0);
    EXPECT_EQ(Get_AnimLength(40 << 16), 0);
    EXPECT_EQ(Transform_AnimKeys(box_, nullptr), -1);
    // More tracks than nodes, or fewer: the common ones.
    ObjHandle many = LoadAnim("many", std::vector<TrackSpec>(3, TrackSpec{5, {}, {{0, {9, 9, 9}}, {5, {9, 9, 9}}}}));
    AnimateObject(box_, Anim_Ref(many, 1), Anim_Ref(many, 1), 0, 0);
    ExpectPos(Pos(), 9, 9, 9);
}

TEST_F(Animation, KeyTransformTurnsRotationsAndPositions) {
    ObjHandle a = LoadAnim("t", {{10, {{0, kStill}, {10, kStill}}, {{0, {100, 0, 0}}, {10, {0, 0, 50}}}}});
    Mat3 turn;
    Make_EulerMatrix(0, 1024, 0, &turn);
    ASSERT_EQ(Transform_AnimKeys(a, &turn), 0);
    Vec3 p0 = {100, 0, 0}, p1 = {0, 0, 50}, q0, q1;
    Mul_MatrixVector(&turn, &p0, &q0);
    Mul_MatrixVector(&turn, &p1, &q1);
    AnimateObject(box_, Anim_Ref(a, 0), Anim_Ref(a, 0), 0, 0);
    ExpectPos(Pos(), q0.x, q0.y, q0.z);
    AnimateObject(box_, Anim_Ref(a, 10), Anim_Ref(a, 10), 0, 0);
    ExpectPos(Pos(), q1.x, q1.y, q1.z);
    Mat3 m = Matrix();
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(m.m[i], turn.m[i], 8) << i;
}

TEST_F(Animation, PoseBlendOfPositionsVerticesAndOrientation) {
    Put(".\\t\\big.3dc", kit::BuildObject(kit::Cube("big", 30, 0x1234), nullptr));
    Put(".\\t\\out.3dc", kit::BuildObject(kit::Cube("out", 10, 0x1234), nullptr));
    ObjHandle big = Load_SceneObject(".\\t\\big.3dc"), out = Load_SceneObject(".\\t\\out.3dc");
    Vec3 pa{0, 0, 0}, pb{255, -510, 1000};
    Set_ObjPos(box_, &pa);
    Set_ObjPos(big, &pb);
    Mat3 turned;
    Make_EulerMatrix(0, 1024, 0, &turned);
    Set_ObjMatrix(big, &turned);
    Vec3 va, vb, v;
    Get_VertexPos(box_, 0, &va);
    Get_VertexPos(big, 0, &vb);
    ASSERT_EQ(Blend_ObjPoses(out, box_, big, 0), 0);
    ExpectPos(Pos(out), 0, 0, 0);
    Get_VertexPos(out, 0, &v);
    ExpectPos(v, va.x, va.y, va.z);
    ASSERT_EQ(Blend_ObjPoses(out, box_, big, 255), 0);
    ExpectPos(Pos(out), 255, -510, 1000);
    Get_VertexPos(out, 0, &v);
    ExpectPos(v, vb.x, vb.y, vb.z);
    EXPECT_TRUE(Same(turned, Matrix(out)));
    ASSERT_EQ(Blend_ObjPoses(out, box_, big, 64), 0);
    ExpectPos(Pos(out), (64 * 255) >> 8, (64 * -510) >> 8, (64 * 1000) >> 8);
    Get_VertexPos(out, 0, &v);
    EXPECT_EQ(v.x, int32_t((192 * int64_t(va.x) + 64 * int64_t(vb.x)) >> 8));
    EXPECT_EQ(Blend_ObjPoses(out, -1, big, 5), -1);
}

TEST_F(Animation, DemoWalkAndRunMoveTheCharacterForward) {
    Put(".\\all\\hero.3dc", kit::BuildObject(kit::Character("hero", 0x001F), nullptr));
    for (const kit::NamedFile& f : kit::DemoAnimationFiles()) Put(f.name, f.data);
    ObjHandle hero = Load_SceneObject(".\\all\\hero.3dc");
    struct Gait {
        const char* file;
        int32_t length, stride;
    };
    for (const Gait& g : {Gait{".\\all\\HEROWALK.3da", 32, 400}, Gait{".\\all\\HERORUN.3da", 20, 600},
                          Gait{".\\all\\GUARDWALK.3da", 32, 400}}) {
        ObjHandle a = Load_Object(g.file);
        EXPECT_EQ(Get_AnimLength(a), g.length);
        AnimateObject(hero, Anim_Ref(a, 0), Anim_Ref(a, 0), 0, 0);
        // Forward is the x axis the character looks along.
        EXPECT_EQ(Pos(hero).x, 0) << g.file;
        AnimateObject(hero, Anim_Ref(a, g.length / 2), Anim_Ref(a, g.length / 2), 0, 0);
        EXPECT_EQ(Pos(hero).x, g.stride / 2) << g.file;
        EXPECT_EQ(Pos(hero).z, 0) << g.file;
        AnimateObject(hero, Anim_Ref(a, g.length), Anim_Ref(a, g.length), 0, 0);
        EXPECT_EQ(Pos(hero).x, g.stride) << g.file;
        // The head rides at its place above the body.
        EXPECT_LE(Pos(hero + 1).y, -300) << g.file;
    }
    // The spline idle and every power animation load and pose the parts near
    // their places.
    for (const char* file : {".\\all\\HEROIDLE.3da", ".\\all\\HEROSH.3da", ".\\all\\HEROTM.3da"}) {
        ObjHandle a = Load_Object(file);
        EXPECT_GE(Get_AnimLength(a), 60) << file;
        for (int32_t f = 0; f <= Get_AnimLength(a); f += 7) {
            AnimateObjectSpline(hero, Anim_Ref(a, f), Anim_Ref(a, f), 0, 0);
            EXPECT_NEAR(Pos(hero + 1).y, -300, 30) << file << " " << f;
        }
    }
    EXPECT_EQ(Get_BlockType(Load_Object(".\\all\\HEROIDLE.3da")), kBlockSpline);
}

}  // namespace
}  // namespace test
