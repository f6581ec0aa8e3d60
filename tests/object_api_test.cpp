// The object API: tree and flags, opacity, placement and the camera's view
// transform, vertices and normals, face marks, copies, and the geometry of
// characters and points.
#include "platform/settings.h"
#include "scene_support.h"

namespace test {
namespace {

class ObjectApiTest : public SceneTest {
protected:
    ObjHandle Tri(const std::string& name, int32_t type = 2) {
        return LoadSpec(Single(Triangle(name, type, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000})), name);
    }
};

TEST_F(ObjectApiTest, TreeAndFlags) {
    ObjHandle a = Tri("a"), b = Tri("b"), p = Tri("p");
    EXPECT_EQ(Attach_Obj(a, p), 0);
    EXPECT_EQ(Attach_Obj(b, p), 0);
    EXPECT_EQ(Get_ObjChild(p), b) << "newest first";
    EXPECT_EQ(Get_ObjSibling(b), a);
    // A cycle is refused, and a parented child moves with no trace left.
    EXPECT_EQ(Attach_Obj(p, a), -1);
    EXPECT_EQ(Attach_Obj(a, a), -1);
    EXPECT_EQ(Attach_Obj(a, b), 0);
    EXPECT_EQ(Get_ObjSibling(b), -1);
    EXPECT_EQ(Get_ObjParent(a), b);
    // The camera can be disabled but not hidden.
    EXPECT_EQ(Hide_Obj(0), -1);
    EXPECT_FALSE(Get(SceneRoot, &Obj3D::flags) & kObjHidden);
    EXPECT_EQ(Disable_Obj(0), 0);
    EXPECT_EQ(Enable_Obj(0), 0);
    EXPECT_EQ(Remove_Object(0), 0);
    EXPECT_EQ(Get(SceneRoot, &Obj3D::flags) & kObjDisabled, 0);
    EXPECT_EQ(Remove_Object(a), 0);
    EXPECT_EQ(Get(Get_Node(a), &Obj3D::flags) & (kObjDisabled | kObjHidden), kObjDisabled | kObjHidden);
    EXPECT_EQ(Restore_Object(a), 0);
    EXPECT_EQ(Get(Get_Node(a), &Obj3D::flags) & (kObjDisabled | kObjHidden), 0);
    EXPECT_EQ(Set_ObjMarker7(a), 0);
    EXPECT_TRUE(Get(Get_Node(a), &Obj3D::flags) & kObjNoFarCut);
    EXPECT_EQ(Clear_ObjMarker7(a), 0);
    EXPECT_EQ(Set_ObjNoRender(a, 1), 0);
    EXPECT_TRUE(Get(Get_Node(a), &Obj3D::flags2) & kObj2NoRender);
    EXPECT_EQ(Set_ObjNoRender(a, 2), 0);
    EXPECT_FALSE(Get(Get_Node(a), &Obj3D::flags2) & kObj2NoRender);
    EXPECT_EQ(Test_ObjMarker(a), 0);
    EXPECT_EQ(Test_ObjMarker(-1), -1);
    EXPECT_STREQ(Get_ObjName(a), "a");
    EXPECT_STREQ(Get_ObjName(0x7F000000), "Bad_Handle!");
    EXPECT_EQ(Get_PartCount(a), 1);
    EXPECT_EQ(Get_PartCount(-1), -1);
}

TEST_F(ObjectApiTest, FindPartAnswersTheLastMatchAndNeverTheCamera) {
    kit::ObjectSpec spec;
    kit::NodeSpec root, one, two;
    root.name = "root";
    one.name = "Part", one.parent = 0;
    two.name = "PART", two.parent = 0;
    spec.nodes = {root, one, two};
    ObjHandle h = LoadSpec(spec, "parts");
    EXPECT_EQ(Find_Part(h, "part"), h + 2);
    EXPECT_EQ(Find_Part(h, "none"), -1);
    EXPECT_EQ(Find_Part(0, "none"), -1);
    EXPECT_EQ(Find_Part(0, "camera"), 0);
}

TEST_F(ObjectApiTest, OpacityRewritesTypesAndLevels) {
    kit::NodeSpec n = Triangle("o", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000});
    n.groups.push_back(n.groups[0]);
    n.groups[1].type = -4;
    ObjHandle h = LoadSpec(Single(n), "o");
    PoolRef<PrimGroup> g0 = FirstGroup(h), g1 = Get(g0, &PrimGroup::next);
    EXPECT_EQ(Set_ObjOpacity(h, 100), 0);
    EXPECT_EQ(Get(g0, &PrimGroup::type), -13);
    EXPECT_EQ(Get(g1, &PrimGroup::type), -12);
    EXPECT_EQ(Get(Get_Node(h), &Obj3D::translucency), uint32_t((100 >> 3) << 8 | 16));
    EXPECT_EQ(Get(Get(Get_Node(h), &Obj3D::edgeGroups), &EdgeGroup::type), -13);
    EXPECT_EQ(Set_ObjOpacity(h, 255), 0);
    EXPECT_EQ(Get(g0, &PrimGroup::type), 2);
    EXPECT_EQ(Get(g1, &PrimGroup::type), -12);
    Set_ObjOpacity(h, -5);
    EXPECT_EQ(Get(Get_Node(h), &Obj3D::translucency), 16u);
    Set_ObjOpacity(h, 300);
    EXPECT_EQ(Get(g0, &PrimGroup::type), 2);
    EXPECT_EQ(Set_ObjTranslucency(h, 0xFFFFFFFF), 0);
    EXPECT_EQ(Get(Get_Node(h), &Obj3D::translucency), 0x1F1Fu);
    EXPECT_EQ(Set_TreePrimType(h, 24), 0);
    EXPECT_EQ(Get(g1, &PrimGroup::type), 24);
    EXPECT_EQ(Replace_TreePrimType(h, 24, 3), 0);
    EXPECT_EQ(Get(g0, &PrimGroup::type), 3);
    EXPECT_EQ(Set_ObjOpacity(-1, 3), -1);
}

TEST_F(ObjectApiTest, CameraViewTransformFollowsItsPlacementAtOnce) {
    Vec3 at{100, -50, 300};
    Set_ObjPos(0, &at);
    Vec3 t;
    Get_ObjCamPos(0, &t);
    EXPECT_EQ(t.x, -100);
    EXPECT_EQ(t.z, -300);
    Mat3 m;
    Make_EulerMatrix(0, 1024, 0, &m);  // a quarter turn about y
    Set_ObjMatrix(0, &m);
    Mat3 view, mt;
    Get_ObjCamMatrix(0, &view);
    Transpose_Matrix(&m, &mt);
    EXPECT_EQ(std::vector<int32_t>(view.m, view.m + 9), std::vector<int32_t>(mt.m, mt.m + 9));
    Vec3 expect;
    Mul_MatrixVector(&view, &at, &expect);
    Get_ObjCamPos(0, &t);
    EXPECT_EQ(t.x, -expect.x);
    EXPECT_EQ(t.z, -expect.z);
    // World placement of a node from its camera-space transform.
    ObjHandle h = Tri("w");
    Vec3 pos{10, 20, 30};
    Set_ObjPos(h, &pos);
    Walk();
    Vec3 world;
    Get_ObjWorldPos(h, &world);
    EXPECT_NEAR(world.x, 10, 1);
    EXPECT_NEAR(world.y, 20, 1);
    EXPECT_NEAR(world.z, 30, 1);
    // Setting the camera-space placement back gives the same parent-relative one.
    Vec3 cp, back;
    Get_ObjCamPos(h, &cp);
    Set_ObjCamPos(h, &cp);
    Get_ObjPos(h, &back);
    // Each turn through a matrix rounds down, so a unit or two may be lost.
    EXPECT_NEAR(back.x, 10, 3);
    EXPECT_NEAR(back.z, 30, 3);
    EXPECT_EQ(Set_ObjCamPos(0, &cp), 0);
    Vec3 camera;
    Get_ObjWorldPos(0, &camera);
    EXPECT_EQ(camera.x, 100);
}

TEST_F(ObjectApiTest, FacingCosReadsTheThirdRow) {
    ObjHandle h = Tri("f");
    // A quarter turn about y: third row (-1, 0, 0), third column (1, 0, 0).
    Mat3 m = {{0, 0, 32768, 0, 32768, 0, -32768, 0, 0}};
    Set_ObjMatrix(h, &m);
    Vec3 ahead{-5000, 0, 0}, behind{5000, 0, 0}, side{0, 0, 5000}, here{0, 0, 0};
    EXPECT_EQ(Get_FacingCos(h, &ahead), 16384);
    EXPECT_EQ(Get_FacingCos(h, &behind), -16384);
    EXPECT_EQ(Get_FacingCos(h, &side), 0);
    EXPECT_EQ(Get_FacingCos(h, &here), 0) << "the point itself: no direction";
    // A bad handle answers -1, as every operation of the object API does.
    EXPECT_EQ(Get_FacingCos(-1, &ahead), -1);
    EXPECT_EQ(Get_FacingCos(h + 7, &ahead), -1);
    // Mirror in the plane through the node's position along its forward
    // (third) column, x here.
    Vec3 p{300, 7, 9}, out;
    Vec3 pos{100, 0, 0};
    Set_ObjPos(h, &pos);
    Mirror_Point(h, &p, &out);
    EXPECT_EQ(out.x, -100);
    EXPECT_EQ(out.y, 7);
    EXPECT_EQ(out.z, 9);
}

TEST_F(ObjectApiTest, VerticesNormalsAndFaceMarks) {
    kit::NodeSpec n = Triangle("v", 17, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000});
    n.groups[0].faces.push_back(n.groups[0].faces[0]);
    ObjHandle h = LoadSpec(Single(n), "v");
    Vec3 v;
    EXPECT_EQ(Get_VertexCount(h), 3);
    EXPECT_EQ(Get_VertexPos(h, 3, &v), -1) << "outside the vertices";
    EXPECT_EQ(Get_VertexPos(h, 1, &v), 0);
    EXPECT_EQ(v.y, 100);
    // Tilting the face: its normal and plane follow.
    Vec3 moved{-100, 100, 800};
    Set_VertexPos(h, 1, &moved);
    EXPECT_EQ(Update_Normals(h), 0);
    PoolRef<PrimGroup> g = FirstGroup(h);
    PrimFace face = Load(Get(g, &PrimGroup::faces));
    FaceNormal fn = Load(face.normal);
    EXPECT_EQ(fn.x, 0);
    EXPECT_LT(fn.y, 0);
    EXPECT_LT(fn.z, 0);
    EXPECT_EQ(face.plane, int32_t((int64_t(fn.y) * -100 + int64_t(fn.z) * 1000) / 32768));
    // 56-byte faces of type 17 are stepped as such: both marked, nothing
    // else touched.
    PrimFace second = Load(Index(Get(g, &PrimGroup::faces), 1, 56));
    EXPECT_EQ(Mark_ObjFaces(h), 0);
    PrimFace afterFirst = Load(Get(g, &PrimGroup::faces)), afterSecond = Load(Index(Get(g, &PrimGroup::faces), 1, 56));
    EXPECT_EQ(afterFirst.flags, face.flags | kFaceCameraTest);
    EXPECT_EQ(afterSecond.flags, second.flags | kFaceCameraTest);
    EXPECT_EQ(afterSecond.normal, second.normal);
    EXPECT_EQ(afterFirst.next, face.next);
    std::vector<Vec3> all(3);
    Get_Vertices(h, all.data());
    EXPECT_EQ(all[1].z, 800);
    Vec3 centre;
    int32_t radius;
    EXPECT_EQ(Get_ObjBounds(h, &centre, &radius), 0);
    EXPECT_GT(radius, 0);
}

TEST_F(ObjectApiTest, CopyShapeKeepsWhatItIsAskedTo) {
    ObjHandle a = Tri("a"), b = LoadSpec(Single(Triangle("b", 1, {0, 0, 10}, {0, 5, 10}, {5, 0, 10})), "b");
    Vec3 pa{1, 2, 3}, pb{7, 8, 9};
    Set_ObjPos(a, &pa);
    Set_ObjPos(b, &pb);
    EXPECT_EQ(Copy_ObjShape(b, a, kCopyKeepPos), 0);
    EXPECT_EQ(Get(Get_Node(b), &Obj3D::vertices), Get(Get_Node(a), &Obj3D::vertices));
    EXPECT_EQ(Get(Get_Node(b), &Obj3D::groups), Get(Get_Node(a), &Obj3D::groups));
    Vec3 p;
    Get_ObjPos(b, &p);
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(Copy_ObjShape(b, -1, 0), -1);
    int records = 0;
    static int* counter;
    counter = &records;
    For_EachObjRecord(a, [](PoolRef<UvPair>, uint32_t) { ++*counter; });
    EXPECT_EQ(records, 3);
    EXPECT_EQ(Stub_3DOption(5), 0);
}

// A character record as the game keeps one: the model's handle first.
struct Character {
    ObjHandle model;
    Vec3 position;
    Mat3 orientation;
};
float g_ManagerDirection[3];
bool g_ManagerKnows = false;

class CharacterTest : public ObjectApiTest {
protected:
    void SetUp() override {
        ObjectApiTest::SetUp();
        EngineServices.CharacterPosition = [](void* c) { return &static_cast<Character*>(c)->position; };
        EngineServices.CharacterOrientation = [](void* c) { return &static_cast<Character*>(c)->orientation; };
        EngineServices.IAGetDirection = [](void*, float d[3]) {
            if (g_ManagerKnows)
                for (int i = 0; i < 3; ++i) d[i] = g_ManagerDirection[i];
        };
        EngineServices.IASetDirection = [](void*, const float d[3]) {
            for (int i = 0; i < 3; ++i) g_ManagerDirection[i] = d[i];
        };
        EngineServices.RotateVectorToward = [](float d[3], const float t[3], float) {
            for (int i = 0; i < 3; ++i) d[i] = (d[i] + t[i]) / 2;
        };
    }
    void TearDown() override {
        EngineServices = kNullEngineServices;
        ObjectApiTest::TearDown();
    }
};

TEST_F(CharacterTest, TurningTowardsAPoint) {
    Character c{Tri("c"), {100, 0, 100}, {}};
    Set_Identity(&c.orientation);
    Vec3 target{100, 500, 1100};
    EXPECT_EQ(Turn_CharTowards(&c, &target), (1000 * 1000) >> 15);
    // The direction turned a quarter about the vertical axis is the forward
    // (third) column of the new orientation, the matrix a proper rotation.
    EXPECT_EQ(c.orientation.m[2], -32768);
    EXPECT_EQ(c.orientation.m[4], 32768);
    EXPECT_EQ(c.orientation.m[6], 32768);
    Mat3 before = c.orientation;
    EXPECT_EQ(Turn_CharTowards(&c, &c.position), 0);
    EXPECT_EQ(std::vector<int32_t>(before.m, before.m + 9), std::vector<int32_t>(c.orientation.m, c.orientation.m + 9));
    Vec3 side{1100, 0, 100};
    EXPECT_EQ(Get_FacingCosXZ(&c, &side), 0);
}

TEST_F(CharacterTest, FacePointTurnsThroughTheManagerFromTheForwardAxis) {
    uint8_t saved = EmEnabled;
    EmEnabled = 1;
    Character c{Tri("c"), {0, 0, 0}, {}};
    Set_Identity(&c.orientation);
    Vec3 target{1000, 0, 0};
    g_ManagerKnows = false;
    EXPECT_EQ(Face_Point(&c, &target), (1000 * 1000) >> 15);
    // Not one of the manager's enemies: the turn starts from the forward axis.
    EXPECT_FLOAT_EQ(g_ManagerDirection[0], 0.5f);
    EXPECT_FLOAT_EQ(g_ManagerDirection[2], 0.5f);
    EmEnabled = 0;
    Vec3 ahead{0, 0, 1000};
    Face_Point(&c, &ahead);
    EXPECT_NE(c.orientation.m[0], 32768);
    EmEnabled = saved;
}

TEST(GeometryTest, DistancesAndVectors) {
    Vec3 a{0, 0, 0}, b{3000, 4000, 0};
    EXPECT_EQ(Get_Dist2(&a, &b), (3000 * 3000 >> 15) + (4000 * 4000 >> 15));
    EXPECT_EQ(Get_Distance(&a, &b), 5000);
    Vec3 far{2000000000, -2000000000, 0};
    (void)Get_Dist2(&far, &a);
    Vec3 v{10, 20, 30};
    EXPECT_EQ(Div_Vector(&v, 0), 0);
    EXPECT_EQ(v.x, 10);
    EXPECT_EQ(Div_Vector(&v, -3), 1);
    EXPECT_EQ(v.x, -3);
    Add_VectorTo(&v, &b);
    EXPECT_EQ(v.y, 3994);
    Vec3 p;
    Perp_VectorXZ(&b, &p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.z, 3000);
    Vec3 zero{0, 0, 0}, unit;
    Get_UnitVector(&zero, &unit);
    EXPECT_EQ(unit.x, 0);
    Mat3 m;
    Make_LookAt(&a, &a, &m);
    EXPECT_EQ(m.m[0], 32768);
    Vec3 down{0, 32768, 0};
    Make_LookMatrix(&down, &m);
    EXPECT_EQ(m.m[5], 32768);
}

}  // namespace
}  // namespace test
