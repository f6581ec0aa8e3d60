// Face and vertex lighting on a one-face node seen from a camera at the
// origin (camera space = world space), and the light table.
#include "scene_support.h"

namespace test {
namespace {

class LightingTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        IdentityCamera();
    }
    // A triangle facing the camera at depth 1000; centroid (-33, -33, 1000).
    ObjHandle Face(int32_t type, std::vector<int> lights, kit::I3 corner0 = {-100, -100, 1000}) {
        kit::I3 o = corner0;
        kit::NodeSpec n = Triangle("lit", type, o, {o.x, o.y + 200, o.z}, {o.x + 200, o.y, o.z});
        n.lightCount = int32_t(lights.size());
        for (size_t i = 0; i < lights.size() && i < 8; ++i) n.lights[i] = uint8_t(lights[i]);
        h_ = LoadSpec(Single(n), "lit" + std::to_string(serial_++));
        return h_;
    }
    static int Point(Vec3 at, int32_t inner, int32_t outer, int32_t intensity) {
        Mat3 m;
        Set_Identity(&m);
        return Add_Light(&at, &m, kLightPoint, inner, outer, intensity);
    }
    PoolRef<PrimFaceLong> TheFace() const {
        return Ref<PrimFaceLong>(Get(FirstGroup(h_), &PrimGroup::faces).off);
    }
    uint8_t Shade() const {
        return Load(TheFace()).shade;
    }
    uint8_t Corner(int c) const {
        return Load(TheFace()).cornerShade[c];
    }
    void SetVertexNormal(int corner, Vec3 n) {
        PoolRef<FaceNormal> r = Load(TheFace()).head.corner[corner].normal;
        Store(r, FaceNormal{n.x, n.y, n.z, 0});
    }
    ObjHandle h_ = -1;
    int serial_ = 0;
};

TEST_F(LightingTest, PointLightFacingAwayAndNoLights) {
    int front = Point({-33, -33, 500}, 1000, 5000, 20);
    int behind = Point({-33, -33, 1500}, 1000, 5000, 20);
    Face(2, {front});
    Walk();
    EXPECT_EQ(Shade(), 20);
    Face(2, {behind});
    Walk();
    EXPECT_EQ(Shade(), 0);
    // Without lights the shades stay as they were.
    Face(2, {});
    PoolPtr(TheFace().off + offsetof(PrimFaceLong, shade))[0] = 9;
    Walk();
    EXPECT_EQ(Shade(), 9);
    // Only lighting counts: the light behind takes nothing from the front one.
    Face(2, {front, behind});
    Walk();
    EXPECT_EQ(Shade(), 20);
}

TEST_F(LightingTest, FreeLightsAndAttenuation) {
    int front = Point({-33, -33, 500}, 1000, 5000, 20);
    int gone = Point({-33, -33, 700}, 1000, 5000, 20);
    Remove_Light(gone);
    Face(2, {front, gone});
    Walk();
    EXPECT_EQ(Shade(), 20);
    // Past the inner distance the factor is (outer - d) / outer.
    Clear_Lights();
    Face(2, {Point({-33, -33, 500}, 100, 1000, 20)});
    Walk();
    EXPECT_EQ(Shade(), 10);
    Clear_Lights();
    Face(2, {Point({-33, -33, 500}, 100, 500, 20)});
    Walk();
    EXPECT_EQ(Shade(), 0);
}

TEST_F(LightingTest, TwoLightsClampAt31ForFacesAndCorners) {
    int a = Point({-33, -33, 500}, 1000, 5000, 20), b = Point({-33, -33, 600}, 1000, 5000, 20);
    Face(2, {a, b});
    Walk();
    EXPECT_EQ(Shade(), 31);
    Face(22, {a, b});
    Walk();
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Corner(c), 31);
    // Amounts past a byte from data saturate rather than wrap.
    g_Lights[a].intensity = 200;
    g_Lights[b].intensity = 200;
    Walk();
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Corner(c), 31);
    Face(1, {a, b});
    Walk();
    EXPECT_EQ(Load(Ref<PrimFaceShort>(TheFace().off)).shade, 31);
}

TEST_F(LightingTest, LightAtTheSurfacePointSaturates) {
    Face(2, {Point({-33, -33, 1000}, 1000, 5000, 20), Point({-33, -33, 500}, 1000, 5000, 20)});
    Walk();
    EXPECT_EQ(Shade(), 31);
}

TEST_F(LightingTest, DirectionalLight) {
    Mat3 m;
    Set_Identity(&m);  // axis +z: towards the face
    Vec3 at{0, 0, 900};
    int l = Add_Light(&at, &m, kLightDirectional, 1000, 5000, 12);
    Face(2, {l});
    Walk();
    EXPECT_EQ(Shade(), 12);
    EXPECT_EQ(Get(Load(TheFace()).head.normal, &FaceNormal::dot), -32768);
}

TEST_F(LightingTest, HighlightFollowsTheReflectionTowardsTheEye) {
    // Corner 0 is at (0, 0, 1000), straight ahead of the eye; its vertex
    // normal is set per case.
    Face(30, {Point({0, 0, 500}, 1000, 5000, 20)}, {0, 0, 1000});
    SetVertexNormal(0, {0, 0, -32768});  // reflection straight at the eye
    Walk();
    EXPECT_EQ(Corner(0), 20);
    Clear_Lights();
    Face(30, {Point({500, 0, 1000}, 1000, 5000, 20)}, {0, 0, 1000});
    SetVertexNormal(0, {32768, 0, 0});  // reflection at right angles to the eye
    Walk();
    EXPECT_EQ(Corner(0), 0);
    Clear_Lights();
    Face(30, {Point({0, 0, 1500}, 1000, 5000, 20)}, {0, 0, 1000});
    SetVertexNormal(0, {0, 0, 32768});  // reflection straight away: an even power
    Walk();
    EXPECT_EQ(Corner(0), 20);
    // Directional lights get no highlight: the same corner by the diffuse
    // amount only.
    Clear_Lights();
    Mat3 m;
    Set_Identity(&m);
    Vec3 near{0, 0, 990};
    Face(30, {Add_Light(&near, &m, kLightDirectional, 1000, 5000, 16)}, {0, 0, 1000});
    SetVertexNormal(0, {32768, 0, 0});
    Walk();
    EXPECT_EQ(Corner(0), 0);
    SetVertexNormal(0, {0, 0, -32768});
    Walk();
    EXPECT_EQ(Corner(0), 16);
}

TEST_F(LightingTest, FileLightListsAreBounded) {
    int l = Point({-33, -33, 500}, 1000, 5000, 20);
    kit::NodeSpec n = Triangle("many", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000});
    n.lightCount = 12;
    n.lights = {uint8_t(l), 200, 255, 101, 100, 150, 120, 130};
    h_ = LoadSpec(Single(n), "many");
    Walk();
    EXPECT_EQ(Shade(), 20);
}

TEST_F(LightingTest, LightTableAndObjectLists) {
    Mat3 m;
    Set_Identity(&m);
    Vec3 p{0, 0, 0};
    for (int i = 0; i < kMaxLights; ++i) ASSERT_EQ(Add_Light(&p, &m, kLightPoint, 1, 2, 33), i);
    EXPECT_EQ(g_Lights[5].intensity, 1);
    EXPECT_EQ(Add_Light(&p, &m, kLightPoint, 1, 2, 3), -1);
    EXPECT_EQ(g_LightCount, 100);
    EXPECT_EQ(Remove_Light(7), 0);
    EXPECT_EQ(Remove_Light(7), -1);
    EXPECT_EQ(Remove_Light(100), -1);
    EXPECT_EQ(Remove_Light(-1), -1);
    EXPECT_EQ(g_LightCount, 99);
    EXPECT_EQ(Add_Light(&p, &m, kLightPoint, 1, 2, 3), 7);
    EXPECT_EQ(Add_Light(&p, &m, kLightFree, 1, 2, 3), -1);
    EXPECT_EQ(Set_LightIntensity(7, -1), 0);
    EXPECT_EQ(g_Lights[7].intensity, 31);

    Face(2, {});
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Add_ObjLight(h_, i), 0);
    EXPECT_EQ(Add_ObjLight(h_, 8), -1);
    EXPECT_EQ(Get(Get_Node(h_), &Obj3D::lightCount), 8);
    EXPECT_EQ(Remove_ObjLight(h_, 2), 0);
    EXPECT_EQ(Get(Get_Node(h_), &Obj3D::lightCount), 7);
    EXPECT_EQ(PoolPtr(Get_Node(h_).off + OffsetOf(&Obj3D::lights))[2], 7);
    EXPECT_EQ(Add_ObjLight(h_, 100), -1);
    EXPECT_EQ(Add_ObjLight(-1, 1), -1);
}

TEST_F(LightingTest, LightsFollowTheCameraAndAllRecordsAreWalked) {
    Mat3 m;
    Set_Identity(&m);
    Vec3 a{0, 0, 0}, b{100, 200, 300};
    int first = Add_Light(&a, &m, kLightPoint, 1, 2, 3);
    int second = Add_Light(&b, &m, kLightPoint, 1, 2, 3);
    Remove_Light(first);
    Vec3 camera{10, 20, 30};
    Set_ObjPos(0, &camera);
    Update_Lights();
    EXPECT_EQ(g_Lights[second].camPos.x, 90);
    EXPECT_EQ(g_Lights[second].camPos.z, 270);
}

}  // namespace
}  // namespace test
