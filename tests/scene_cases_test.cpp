// The walk's cases on small scenes seen from a camera at the origin looking
// down +z (camera space = world space): near-plane clipping with one, two
// and three corners behind, depths at the near and far planes, the screen
// edges, hidden and disabled nodes, shared vertices, the far cut, the
// environment mapping and the clipper's edges.
#include "scene_support.h"

#include <cmath>

namespace test {
namespace {

class SceneCaseTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        IdentityCamera();
    }
};

constexpr int32_t kN = 128;

// The texture-coordinate pair a corner of a face points at.
UvPair CornerUv(PoolRef<PrimFace> f, int c) {
    return Load(Load(Ref<PrimFaceLong>(f.off)).uv[c]);
}

TEST_F(SceneCaseTest, OneCornerBehindBecomesTwoFacesWithDepthInterpolatedCoordinates) {
    ObjHandle h = LoadSpec(Single(Triangle("tri", 2, {-100, -100, 1000}, {-100, 100, 50}, {100, -100, 1000})), "one");
    Walk();
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(h));
    ASSERT_EQ(faces.size(), 3u);
    EXPECT_EQ(Get(faces[2], &PrimFace::flags), kFaceHidden | kFaceClipped);
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), 0u);
    EXPECT_EQ(Get(faces[1], &PrimFace::flags), 0u);
    // B = corner 1, P = corner 2, Q = corner 0: (a, P, Q) pushed first, then
    // (a, Q, b), so the second piece heads the list.
    PrimFace original = Load(faces[2]);
    PrimFace first = Load(faces[1]), second = Load(faces[0]);
    EXPECT_EQ(first.corner[1].vertex, original.corner[2].vertex);
    EXPECT_EQ(first.corner[2].vertex, original.corner[0].vertex);
    EXPECT_EQ(second.corner[0].vertex, first.corner[0].vertex);
    EXPECT_EQ(second.corner[1].vertex, original.corner[0].vertex);
    EXPECT_EQ(first.normal, original.normal);
    EXPECT_EQ(first.plane, original.plane);
    ObjVertex a = Load(first.corner[0].vertex), b = Load(second.corner[2].vertex);
    EXPECT_EQ(a.cz, float(kN));
    EXPECT_EQ(b.cz, float(kN));
    EXPECT_TRUE(a.flags & kVtxProject);
    EXPECT_FALSE(a.flags & kVtxNear);
    // The new vertex on edge P -> B: u, v interpolated in camera depth.
    ObjVertex p = Load(original.corner[2].vertex), behind = Load(original.corner[1].vertex);
    double t = (kN - double(p.cz)) / (double(behind.cz) - p.cz);
    UvPair uv = CornerUv(faces[1], 0);
    EXPECT_NEAR(uv.u, 0 + (255 << 16) * t, 1.0);
    EXPECT_NEAR(uv.v, (255 << 16) + (0 - (255 << 16)) * t, 1.0);
    // Its own corners keep copies of their pairs, fresh from the arena.
    UvPair own = CornerUv(faces[1], 1);
    EXPECT_EQ(own.u, 0);
    EXPECT_EQ(own.v, 255 << 16);
    EXPECT_NE(Load(Ref<PrimFaceLong>(faces[1].off)).uv[1], Load(Ref<PrimFaceLong>(faces[2].off)).uv[2]);
    // Object-space position along the edge, and screen x from x / z.
    EXPECT_EQ(a.pos.z, f2i(1000.0f + (50.0f - 1000.0f) * float(t)));
    EXPECT_EQ(a.sx, f2i(double(a.cx * 400.0f / a.cz + 320.0f)));
    // The pieces keep the face's shade until the lighting renews it.
    EXPECT_EQ(Load(Ref<PrimFaceLong>(faces[0].off)).shade, 7);
}

TEST_F(SceneCaseTest, TwoCornersBehindBecomeOneFaceThreeAreRejected) {
    ObjHandle two = LoadSpec(Single(Triangle("two", 2, {-100, -100, 1000}, {-100, 100, 50}, {100, -100, 60})), "two");
    ObjHandle three = LoadSpec(Single(Triangle("three", 2, {-100, -100, 70}, {-100, 100, 50}, {100, -100, 60})), "three");
    Walk();
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(two));
    ASSERT_EQ(faces.size(), 2u);
    PrimFace piece = Load(faces[0]), original = Load(faces[1]);
    EXPECT_EQ(original.flags, kFaceHidden | kFaceClipped);
    // B1, B2, F: (a, b, F) with F the corner in front.
    EXPECT_EQ(piece.corner[2].vertex, original.corner[0].vertex);
    EXPECT_EQ(CornerVertex(faces[0], 0).cz, float(kN));
    EXPECT_EQ(CornerVertex(faces[0], 1).cz, float(kN));
    faces = VisibleFaces(FirstGroup(three));
    ASSERT_EQ(faces.size(), 1u);
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), kFaceHidden);
}

TEST_F(SceneCaseTest, DepthAtTheNearPlaneIsInFrontAndAtTheFarPlaneDropsTheFace) {
    ObjHandle nearH = LoadSpec(Single(Triangle("near", 2, {-100, -100, kN}, {-100, 100, kN}, {100, -100, 1000})), "near");
    ObjHandle farH = LoadSpec(Single(Triangle("far", 2, {-1000, -1000, 65000}, {-1000, 1000, 60000}, {1000, -1000, 60000})), "far");
    Walk();
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(nearH));
    ASSERT_EQ(faces.size(), 1u);
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), 0u);
    EXPECT_FALSE(CornerVertex(faces[0], 0).flags & kVtxNear);
    faces = VisibleFaces(FirstGroup(farH));
    ASSERT_EQ(faces.size(), 1u);
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), kFaceHidden);
    EXPECT_TRUE(CornerVertex(faces[0], 0).flags & kVtxFar);
    EXPECT_FALSE(CornerVertex(faces[0], 1).flags & kVtxFar);
    // With no far cut the same face is drawn and no vertex is marked.
    Set_ObjMarker7(farH);
    Walk();
    faces = VisibleFaces(FirstGroup(farH));
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), 0u);
    EXPECT_FALSE(CornerVertex(faces[0], 0).flags & kVtxFar);
}

TEST_F(SceneCaseTest, FarPlaneRejectsTheWholeNodeUnlessItHasNoFarCut) {
    ObjHandle h = LoadSpec(Single(Triangle("beyond", 2, {-100, -100, 70000}, {-100, 100, 70000}, {100, -100, 70000})), "beyond");
    Walk();
    EXPECT_TRUE(g_Walk.rendered.empty());
    EXPECT_TRUE(Get(Get_Node(h), &Obj3D::flags) & kObjOutside);
    EXPECT_FALSE(Get(Get_Node(h), &Obj3D::flags) & kObjProcessed);
    Set_ObjMarker7(h);
    Walk();
    ASSERT_EQ(g_Walk.rendered.size(), 1u);
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(h));
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), 0u);
    for (int c = 0; c < 3; ++c) EXPECT_FALSE(CornerVertex(faces[0], c).flags & kVtxFar);
}

TEST_F(SceneCaseTest, RightEdgeOfTheViewIsInsideAndTheTopRowIsAbove) {
    ObjHandle h = LoadSpec(Single(Triangle("edge", 2, {320, 0, 400}, {0, -240, 400}, {0, 0, 400})), "edge");
    Walk();
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(h));
    ASSERT_EQ(Get(faces[0], &PrimFace::flags), 0u);
    ObjVertex right = CornerVertex(faces[0], 0), top = CornerVertex(faces[0], 1);
    EXPECT_EQ(right.sx, 640);
    EXPECT_EQ(right.flags & 0x0F, 0u);
    EXPECT_EQ(top.sy, 0);
    EXPECT_EQ(top.flags & 0x0F, kVtxAbove);
    EXPECT_FLOAT_EQ(right.invZ, 1073741824.0f / 400.0f);
}

TEST_F(SceneCaseTest, HiddenParentIsPlacedButNotDrawnAndDisabledNodesAreSkipped) {
    kit::ObjectSpec spec;
    kit::NodeSpec parent = Triangle("parent", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000});
    parent.pos = {0, 0, 500};
    kit::NodeSpec child = Triangle("child", 2, {-10, -10, 100}, {-10, 10, 100}, {10, -10, 100});
    child.parent = 0;
    child.pos = {50, 0, 0};
    spec.nodes = {parent, child};
    ObjHandle h = LoadSpec(spec, "family");
    ObjHandle other = LoadSpec(Single(Triangle("off", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000})), "off");
    Hide_Obj(h);
    Disable_Obj(other);
    Walk();
    std::vector<std::string> want = {"done off", "render child", "done child", "done parent", "done Camera"};
    EXPECT_EQ(g_Walk.events, want);
    Vec3 cp;
    Get_ObjCamPos(Find_Part(h, "child"), &cp);
    EXPECT_EQ(cp.x, 50);
    EXPECT_EQ(cp.z, 500);
    EXPECT_FALSE(Get(Get_Node(h), &Obj3D::flags) & kObjProcessed);
}

// A parent whose vertices are shared with its child (bit 7) and a child
// whose face uses them.
kit::ObjectSpec SharedPair() {
    kit::ObjectSpec spec;
    kit::NodeSpec parent = Triangle("parent", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000});
    parent.vertexFlags = {0x80, 0x80, 0x80};
    kit::NodeSpec child;
    child.name = "child";
    child.parent = 0;
    child.flags = kObjSharedVertices;
    child.vertices = {{0, 0, 1000}};
    child.uvs = {{0, 0}};
    kit::GroupSpec g;
    g.type = 2;
    kit::FaceSpec f{{0, 1, 2}, {0, 0, 0}, 0, {0, 0, 0}};
    f.parentCorners = 7;
    g.faces = {f};
    child.groups = {g};
    spec.nodes = {parent, child};
    return spec;
}

TEST_F(SceneCaseTest, ChildOfARejectedParentTransformsTheSharedVerticesOnce) {
    ObjHandle h = LoadSpec(SharedPair(), "shared");
    PoolRef<Obj3D> parent = Get_Node(h);
    // The parent's sphere is moved far to the left: it is rejected.
    Set(parent, &Obj3D::centre, Vec3{-1000000, 0, 1000});
    Set(parent, &Obj3D::radius, 1);
    Walk();
    std::vector<std::string> want = {"render child", "done child", "done parent", "done Camera"};
    EXPECT_EQ(g_Walk.events, want);
    EXPECT_TRUE(Get(parent, &Obj3D::flags) & kObjOutside);
    EXPECT_TRUE(Get(parent, &Obj3D::flags) & kObjProcessed);
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(Find_Part(h, "child")));
    ASSERT_EQ(Get(faces[0], &PrimFace::flags), 0u);
    ObjVertex v = CornerVertex(faces[0], 1);
    EXPECT_EQ(v.pos.y, 100);
    EXPECT_EQ(v.sx, 320 - 40);
    EXPECT_EQ(v.sy, 240 + 40);
    // View-volume codes kept (inside: none), projected by the child's culling.
    EXPECT_EQ(v.flags, kVtxShared | kVtxProject);
}

TEST_F(SceneCaseTest, SharedVertexChildOutsideTheViewIsStillProcessed) {
    ObjHandle h = LoadSpec(SharedPair(), "shared");
    ObjHandle child = Find_Part(h, "child");
    Set(Get_Node(child), &Obj3D::centre, Vec3{1000000, 0, 0});
    Set(Get_Node(child), &Obj3D::radius, 1);
    Walk();
    std::vector<std::string> want = {"render parent", "render child", "done child", "done parent", "done Camera"};
    EXPECT_EQ(g_Walk.events, want);
    EXPECT_TRUE(Get(Get_Node(child), &Obj3D::flags) & kObjOutside);
    // The parent's own walk projected its shared vertices.
    EXPECT_TRUE(CornerVertex(VisibleFaces(FirstGroup(child))[0], 0).flags & kVtxProject);
}

TEST_F(SceneCaseTest, EnvironmentMapUsesTheParentRowsAfterTheRenderStep) {
    PlaceCamera({300, -200, -500}, {0, 0, 1000});
    ObjHandle h = LoadSpec(Single(Triangle("env", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000})), "env");
    Set_ObjListPass(h, 1);
    Walk();
    ASSERT_EQ(g_Walk.rendered.size(), 1u);
    // The render step saw the file's pairs.
    EXPECT_NE(g_Walk.trace.find("face 0 flags 0"), std::string::npos);
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(h));
    Mat3 m = Get(SceneRoot, &Obj3D::camMatrix);
    PrimFace face = Load(faces[0]);
    for (int c = 0; c < 3; ++c) {
        FaceNormal n = Load(face.corner[c].normal);
        int64_t r0 = (int64_t(m.m[0]) * n.x + int64_t(m.m[1]) * n.y + int64_t(m.m[2]) * n.z) / 32768;
        int64_t r1 = (int64_t(m.m[3]) * n.x + int64_t(m.m[4]) * n.y + int64_t(m.m[5]) * n.z) / 32768;
        UvPair uv = CornerUv(faces[0], c);
        EXPECT_EQ(uv.u, r0 * 256 + 8388608);
        EXPECT_EQ(uv.v, r1 * 256 + 8388608);
    }
}

int ChainLength(PoolRef<EdgeGroup> e) {
    int n = 0;
    for (PoolRef<PrimEdge> r = Get(e, &EdgeGroup::current); r && n < 1000; r = Get(r, &PrimEdge::next)) ++n;
    return n;
}

TEST_F(SceneCaseTest, ClipperEdgesGoOnTheCurrentChainOnlyWithADoneStep) {
    ObjHandle one = LoadSpec(Single(Triangle("one", 22, {-100, -100, 1000}, {-100, 100, 50}, {100, -100, 1000})), "one");
    ObjHandle two = LoadSpec(Single(Triangle("two", 1, {-100, -100, 1000}, {-100, 100, 50}, {100, -100, 60})), "two");
    PoolRef<EdgeGroup> e1 = Get(FirstGroup(one), &PrimGroup::edges), e2 = Get(FirstGroup(two), &PrimGroup::edges);
    Walk(false);
    EXPECT_EQ(ChainLength(e1), 3) << "no edges from the clipper without a done step";
    EXPECT_EQ(Load(Load(VisibleFaces(FirstGroup(one))[0]).corner[0].edge).a.off, 0u);
    for (int frame = 0; frame < 2; ++frame) {
        Walk(true);
        EXPECT_EQ(ChainLength(e1), 3 + 5);
        EXPECT_EQ(ChainLength(e2), 3 + 3);
    }
    // Each piece corner's edge runs from it to the next corner.
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(one));
    for (int f = 0; f < 2; ++f) {
        PrimFace face = Load(faces[size_t(f)]);
        for (int c = 0; c < 3; ++c) {
            PrimEdge e = Load(face.corner[c].edge);
            PoolRef<ObjVertex> from = face.corner[c].vertex, to = face.corner[(c + 1) % 3].vertex;
            EXPECT_TRUE((e.a == from && e.b == to) || (e.a == to && e.b == from));
        }
        // Smooth pieces carry corner normals: their own or the behind corner's.
        for (int c = 0; c < 3; ++c) EXPECT_TRUE(face.corner[c].normal);
    }
}

TEST_F(SceneCaseTest, CameraSpaceFacingTestAgreesWithThePlaneTest) {
    kit::NodeSpec n = Triangle("pair", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000});
    n.groups[0].faces.push_back(kit::FaceSpec{{0, 2, 1}, {0, 2, 1}, 0, {0, 0, 0}});
    ObjHandle h = LoadSpec(Single(n), "pair");
    Walk();
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(h));
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), 0u);
    EXPECT_EQ(Get(faces[1], &PrimFace::flags), kFaceHidden);
    Mark_ObjFaces(h);
    Walk();
    EXPECT_EQ(Get(faces[0], &PrimFace::flags), kFaceCameraTest);
    EXPECT_EQ(Get(faces[1], &PrimFace::flags), kFaceCameraTest | kFaceHidden);
}

TEST_F(SceneCaseTest, NearVertexOfFarApartCornersLiesBetweenThem) {
    // Corners two thousand million units to either side, halfway through
    // the near plane (depths 2N and 0): the new vertex is their midpoint.
    Set_FrameArena(MemLib);
    PoolRef<ObjVertex> front = Ref<ObjVertex>(Alloc_FrameArena(sizeof(ObjVertex)));
    PoolRef<ObjVertex> behind = Ref<ObjVertex>(Alloc_FrameArena(sizeof(ObjVertex)));
    ObjVertex v{};
    v.pos = {-2000000000, 2000000000, 5};
    v.cz = 2.0f * kN;
    Store(front, v);
    v.pos = {2000000000, -2000000000, 5};
    v.cz = 0.0f;
    Store(behind, v);
    ObjVertex n = Load(Clip_NearVertex(front, behind));
    EXPECT_NEAR(n.pos.x, 0, 256);
    EXPECT_NEAR(n.pos.y, 0, 256);
    EXPECT_EQ(n.pos.z, 5);
}

TEST_F(SceneCaseTest, ValuesAtTheIntegerEndsWalkAndLight) {
    // A damaged file can hold any word: a parent and a child whose
    // orientations, positions, bounds and vertices sit at the ends of the
    // 32-bit range, lit by a light as far out.  Their products pass 64 bits;
    // the walk takes them saturated, and ends.
    kit::ObjectSpec spec;
    spec.nodes = {Triangle("wild", 2, {0, 0, 500}, {100, 0, 500}, {0, 100, 500}),
                  Triangle("wilder", 2, {0, 0, 500}, {100, 0, 500}, {0, 100, 500})};
    spec.nodes[1].parent = 0;
    spec.nodes[0].lightCount = spec.nodes[1].lightCount = 1;
    ObjHandle h = LoadSpec(spec, "wild");
    Mat3 extreme;
    for (int32_t& e : extreme.m) e = INT32_MIN;
    Vec3 far{INT32_MIN, INT32_MIN, INT32_MIN}, high{INT32_MAX, INT32_MAX, INT32_MAX};
    for (ObjHandle part : {h, h + 1}) {
        ASSERT_EQ(Set_ObjMatrix(part, &extreme), 0);
        ASSERT_EQ(Set_ObjPos(part, &far), 0);
        Set(Get_Node(part), &Obj3D::centre, high);
        for (int v = 0; v < 3; ++v) Set_VertexPos(part, v, v == 1 ? &far : &high);
    }
    Add_Light(&high, &extreme, 1, 0, INT32_MAX, 31);
    Walk();
    EXPECT_EQ(g_Walk.events.back(), "done Camera");
}

TEST_F(SceneCaseTest, CopyOfACameraObjectWalksAfterItsSourceIsFreed) {
    kit::ObjectSpec spec = kit::Character("eye", 0x1F);
    spec.nodes[0].flags2 = kObj2Camera;
    spec.nodes[0].pos = {0, 150, 2000};
    Put(".\\t\\gap.3dc", kit::BuildRaw(std::vector<uint8_t>(8000, 0)));
    Put(".\\t\\eye.3dc", kit::BuildObject(spec, nullptr));
    Put(".\\t\\filler.3dc", kit::BuildObject(kit::Cube("filler", 500, 1), nullptr));
    ObjHandle gap = Load_Object(".\\t\\gap.3dc");
    ObjHandle source = Load_Object(".\\t\\eye.3dc");
    ObjHandle copy = Duplicate_Object(source);
    ASSERT_GT(copy, 0);
    ASSERT_EQ(Attach_Obj(copy, 0), 0);
    // The source goes, the copy moves down over the gap, and a new object
    // takes the memory the source held.
    ASSERT_EQ(Free_Object(source), 0);
    ASSERT_EQ(Free_Object(gap), 0);
    Compact_3DMemory();
    ASSERT_GT(Load_Object(".\\t\\filler.3dc"), 0);
    // Every link, array and list the copy's nodes hold lies in the copy.
    uint32_t block = Get_Block(copy);
    AddressRange own{block, block + uint32_t(Get_BlockSize(block))};
    for (int i = 0; i < Get_PartCount(copy); ++i) {
        Obj3D n = Load(Get_Node(copy + i));
        for (uint32_t ref : {n.child.off, n.sibling.off, n.vertices.off, n.groups.off, n.edgeGroups.off}) {
            if (!ref) continue;
            EXPECT_TRUE(own.Has(ref)) << n.name << " " << ref;
        }
    }
    Walk();
    std::vector<std::string> rendered;
    for (const std::string& e : g_Walk.events)
        if (e.rfind("render ", 0) == 0) rendered.push_back(e);
    EXPECT_EQ(rendered, (std::vector<std::string>{"render eye", "render tete", "render repere", "render $DUMMY"}));
}

TEST_F(SceneCaseTest, SubtreeTransformsAndWorldBoxes) {
    kit::ObjectSpec spec = SharedPair();
    spec.nodes[1].pos = {10, 20, 30};
    ObjHandle h = LoadSpec(spec, "boxes");
    Vec3 moved{100, 0, 2000};
    Set_ObjPos(h, &moved);
    EXPECT_EQ(Update_SubtreeTransforms(0), 0);
    Vec3 cp;
    Get_ObjCamPos(Find_Part(h, "child"), &cp);
    EXPECT_EQ(cp.x, 110);
    EXPECT_EQ(cp.z, 2030);
    EXPECT_EQ(Update_SubtreeTransforms(-1), -1);
    Walk();
    Project_SceneBoxes();
    BoxRecord box = Load(Get(Get_Node(h), &Obj3D::boxes));
    EXPECT_FLOAT_EQ(box.min[0], 0.0f);
    EXPECT_FLOAT_EQ(box.max[0], 200.0f);
    EXPECT_FLOAT_EQ(box.min[2], 3000.0f);
    EXPECT_EQ(box.sx[0], f2i(0.0 * 400 / 3000 + 320));
}

}  // namespace
}  // namespace test
