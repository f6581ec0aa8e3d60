// The software rasterizer's rules: edge roles and the filing table, runs
// over shared edges, the 22/25 rewrite, the depth stack's decisions, the
// two emitters against each other and the whole path against a per-pixel
// reference, the fill routines' masks and clamps, the buffers' bounds and a
// poisoned target that nothing outside the view may touch.
#include "sr_support.h"

#include "engine3d/dqx_light.h"
#include "render/spans/span_backend.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

namespace test {
namespace {

class SrTest : public SoftRasterTest {
protected:
    uint16_t At(const std::vector<uint16_t>& px, int x, int y) const {
        return px[size_t(y) * size_t(target_.width) + size_t(x)];
    }
    // The edges of a group's first visible face, corner by corner.
    std::array<SpanNode*, 3> FaceEdges(ObjHandle h, int face = 0) {
        std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(h));
        PrimFace f = Load(faces.at(size_t(face)));
        return {NodeAt(f.corner[0].edge.off), NodeAt(f.corner[1].edge.off), NodeAt(f.corner[2].edge.off)};
    }
    // One walk with the set-up step only (no filing, no sweep).
    void SetupOnly() {
        g_ObjectRenderSlot = SR_SetupObject;
        g_ObjectDoneSlot = nullptr;
        Walk_Scene(SceneRoot);
    }
    static std::vector<uint32_t> StartEdges(int line) {
        std::vector<uint32_t> out;
        for (uint32_t s = SR_StartTable[line]; s; s = Load(Ref<SpanStart>(s)).next) out.push_back(Load(Ref<SpanStart>(s)).edge);
        return out;
    }
    static std::vector<uint32_t> Chain(const uint32_t* table, int line) {
        std::vector<uint32_t> out;
        for (uint32_t e = table[line]; e; e = NodeAt(e)->bucketLink) out.push_back(e);
        return out;
    }
    static int FiledLines(const uint32_t* table) {
        int n = 0;
        for (int i = 0; i < kSpanLines; ++i) n += table[i] != 0;
        return n;
    }
};

// ---------------------------------------------------------------------------
// Set-up and filing
// ---------------------------------------------------------------------------

// A face whose middle corner lies right: the long edge is its left edge,
// leading first to the upper short edge; the lower one takes over at the
// middle corner's line.  Filing puts the long edge on the start table at
// the top line, the take-over edge on the switch table at its top line,
// and leaves every state word 0.
TEST_F(SrTest, OneLeftEdgeLeadsToTheUpperEdgeAndTheLowerTakesOver) {
    ObjHandle h = Add(FlatTriangle("t", 0xF800, AtScreen(60, 20, 1000), AtScreen(140, 90, 1000), AtScreen(50, 160, 1000)), "t");
    SetupOnly();
    std::array<SpanNode*, 3> e = FaceEdges(h);
    SpanNode *left = nullptr, *upper = nullptr, *lower = nullptr;
    for (SpanNode* n : e) {
        uint32_t roles = n->state & (kEdgeLeft | kEdgeRight | kEdgeTakeOver);
        if (roles == kEdgeLeft) left = n;
        else if (roles == kEdgeRight) upper = n;
        else if (roles == (kEdgeRight | kEdgeTakeOver)) lower = n;
    }
    ASSERT_TRUE(left && upper && lower);
    EXPECT_EQ(left->nextNode, OffsetIn(upper));
    EXPECT_EQ(lower->owner, OffsetIn(left));
    // Half a line before the top corner: x at line 19.5 of the long edge.
    EXPECT_EQ(left->x, f2i(60.0 * 65536.0 - 0.5 * left->xStep));
    EXPECT_EQ(left->xStep, f2i(-10.0 / 140.0 * 65536.0));
    EXPECT_NEAR(left->key, 1073741.824, 0.5);
    SR_BuildObjectEdges(Get_Node(h));
    EXPECT_EQ(StartEdges(20), std::vector<uint32_t>{OffsetIn(left)});
    EXPECT_EQ(Chain(SR_SwitchTable, 90), std::vector<uint32_t>{OffsetIn(lower)});
    EXPECT_EQ(Chain(SR_EndTable, 160), std::vector<uint32_t>{OffsetIn(left)});
    EXPECT_EQ(upper->nextNode, 0u);
    EXPECT_EQ(lower->nextNode, 0u);
    for (SpanNode* n : e) EXPECT_EQ(n->state, 0u);
    SR_ClearBuckets();
}

// Two faces of a group sharing an edge make one run: the shared edge is the
// right edge of one and the left edge of the other and is never filed, and
// a line across the quad has one run with two sections.
TEST_F(SrTest, FacesSharingAnEdgeAreOneRunWithTwoSections) {
    QuadSpec q;
    q.name = "q";
    q.type = 1;
    q.colour = GroupColourFor(0x1234);
    q.corners = {AtScreen(100, 50, 1000), AtScreen(200, 50, 1000), AtScreen(200, 150, 1000), AtScreen(100, 150, 1000)};
    ObjHandle h = Add(Quad(q), "q");
    SetupOnly();
    std::set<SpanNode*> shared;
    for (int f = 0; f < 2; ++f)
        for (SpanNode* n : FaceEdges(h, f))
            if ((n->state & (kEdgeLeft | kEdgeRight)) == (kEdgeLeft | kEdgeRight)) shared.insert(n);
    EXPECT_EQ(shared.size(), 1u);
    SR_BuildObjectEdges(Get_Node(h));
    int starts = 0;
    for (int y = 0; y < kSpanLines; ++y) starts += int(StartEdges(y).size());
    EXPECT_EQ(starts, 1);
    SR_ClearBuckets();

    // The records of line 100: the run's two sections side by side.
    static std::vector<SpanRecord> line100;
    SpanInsertSlot = [](uint16_t* line) {
        SR_EmitSpans(line);
        if (SpanCurrentLine == 100) line100.assign(SpanRecords + 1, SpanRecords + SpanRecordCount);
    };
    Render();
    std::vector<SpanRecord> pieces;
    for (const SpanRecord& r : line100)
        if (r.end > r.start && r.mode == 1) pieces.push_back(r);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].start, 100);
    EXPECT_EQ(pieces[0].end, pieces[1].start);
    EXPECT_EQ(pieces[1].end, 200);
    EXPECT_NE(pieces[0].node, pieces[1].node);
}

// Every row of the filing table, on edges made by hand with the view's
// lines 10 to 109.
TEST_F(SrTest, FilingTable) {
    UseTarget(Target{320, 240, 0, 10, 320, 100}, Pixels::Rgb565);
    Set_FrameArena(MemLib);
    auto vertex = [](int32_t y) {
        uint32_t at = Alloc_FrameArena(sizeof(ObjVertex));
        ObjVertex v{};
        v.sy = y;
        Store(Ref<ObjVertex>(at), v);
        return at;
    };
    struct Row {
        uint32_t state;
        int32_t ya, yb;
        int start;   // line of the start node, -1 none
        int end;     // line of the end entry, -1 none
        int sw;      // line of the switch entry, -1 none
        bool cleared;  // next node cleared
        int advanced;  // steps advanced to the first line
    };
    const uint32_t L = kEdgeLeft, R = kEdgeRight, T = kEdgeTakeOver;
    const Row rows[] = {
        {0, 20, 50, -1, -1, -1, false, 0},
        {R, 20, 50, -1, -1, -1, true, 0},
        {R | kEdgeAAbove, 5, 50, -1, -1, -1, true, 5},
        {L, 20, 50, 20, 50, -1, false, 0},
        {L | kEdgeAAbove, 4, 10, -1, -1, -1, false, 6},             // ends on the first line: dropped
        {L | kEdgeBAbove, 60, 3, 10, 60, -1, false, 7},
        {L | kEdgeABelow, 200, 30, 30, -1, -1, false, 0},
        {L | kEdgeAAbove | kEdgeBBelow, 2, 300, 10, -1, -1, false, 8},
        {L | R | kEdgeAAbove, 0, 40, -1, -1, -1, false, 10},
        {L | R, 20, 40, -1, -1, -1, false, 0},
        {T | R, 40, 80, -1, -1, 40, true, 0},
        {T | R | L, 40, 80, -1, -1, 40, false, 0},
        {T | R | kEdgeAAbove, 1, 70, -1, -1, 10, true, 9},
        {L | kEdgeAAbove | kEdgeBAbove, 1, 5, -1, -1, -1, false, 0},  // both above
        {L, 3, 50, -1, -1, -1, false, 0},     // marked inside but starting above the view: not filed
        {L, 115, 150, -1, -1, -1, false, 0},  // starting below the last line
        {L, 60, 112, 60, -1, -1, false, 0},   // ending below the last line: no end entry
    };
    const int n = int(sizeof rows / sizeof rows[0]);
    std::vector<uint32_t> edges;
    for (int i = 0; i < n; ++i) {
        uint32_t at = Alloc_FrameArena(kEdgeBytesFlat);
        std::memset(PoolPtr(at), 0, kEdgeBytesFlat);
        SpanNode* e = NodeAt(at);
        e->state = rows[i].state;
        e->a = vertex(rows[i].ya);
        e->b = vertex(rows[i].yb);
        e->xStep = 1 << 16;
        e->keyStep = 1.0f;
        e->nextNode = at;
        if (!edges.empty()) NodeAt(edges.back())->next = at;
        edges.push_back(at);
    }
    uint32_t group = Alloc_FrameArena(sizeof(EdgeGroup));
    EdgeGroup g{};
    g.type = 1;
    g.count = n;
    g.records = Ref<PrimEdge>(edges[0]);
    g.stride = kEdgeBytesFlat;
    g.current = g.records;
    Store(Ref<EdgeGroup>(group), g);
    SR_EdgesFlat(Ref<EdgeGroup>(group));
    for (int i = 0; i < n; ++i) {
        const Row& r = rows[i];
        uint32_t e = edges[size_t(i)];
        SCOPED_TRACE(i);
        bool started = false, ended = false, switched = false;
        for (int y = 0; y < kSpanLines; ++y) {
            for (uint32_t s : StartEdges(y)) {
                if (s != e) continue;
                started = true;
                EXPECT_EQ(y, r.start);
            }
            for (uint32_t s : Chain(SR_EndTable, y)) {
                if (s != e) continue;
                ended = true;
                EXPECT_EQ(y, r.end);
            }
            for (uint32_t s : Chain(SR_SwitchTable, y)) {
                if (s != e) continue;
                switched = true;
                EXPECT_EQ(y, r.sw);
            }
        }
        EXPECT_EQ(started, r.start >= 0);
        EXPECT_EQ(ended, r.end >= 0);
        EXPECT_EQ(switched, r.sw >= 0);
        EXPECT_EQ(NodeAt(e)->nextNode, r.cleared ? 0u : e);
        EXPECT_EQ(NodeAt(e)->x, r.advanced << 16);
        EXPECT_EQ(NodeAt(e)->state, 0u);
    }
    SR_ClearBuckets();
}

// An unlit group of type 22 is drawn as 24 from its first frame on, even
// when its object is lit later; a lit one keeps its type and is shaded by
// its corners like type 30.
TEST_F(SrTest, Type22OnAnUnlitObjectBecomes24ForGood) {
    QuadSpec q;
    q.name = "s";
    q.type = 22;
    q.texture = "check";
    q.cornerShade = {31, 31, 0, 0};
    q.corners = {AtScreen(40, 40, 1000), AtScreen(280, 40, 1000), AtScreen(280, 200, 1000), AtScreen(40, 200, 1000)};
    ObjHandle h = Add(Quad(q), "s");
    std::vector<uint16_t> unlit = Render();
    EXPECT_EQ(Get(FirstGroup(h), &PrimGroup::type), 24);
    EXPECT_EQ(Get(Get(Get_Node(h), &Obj3D::edgeGroups), &EdgeGroup::type), 24);
    Mat3 identity;
    Set_Identity(&identity);
    Vec3 lamp{0, 0, 0};
    Add_ObjLight(h, Add_Light(&lamp, &identity, kLightPoint, 5000, 9000, 31));
    Render();
    EXPECT_EQ(Get(FirstGroup(h), &PrimGroup::type), 24);

    q.name = "lit";
    q.type = 22;
    ObjHandle lit = Add(Quad(q), "lit");
    Hide_Obj(h);
    Add_ObjLight(lit, 0);
    std::vector<uint16_t> shaded = Render();
    EXPECT_EQ(Get(FirstGroup(lit), &PrimGroup::type), 22);
    EXPECT_NE(shaded, unlit);
}

// Faces with two coincident corners have no area and are not set up; an
// object with flags bit 0 is set up but none of its edges is filed.
TEST_F(SrTest, DegenerateFacesAndDisabledObjects) {
    ObjHandle flat = Add(FlatTriangle("d", 0xFFFF, AtScreen(50, 50, 1000), AtScreen(50, 50, 1000), AtScreen(90, 120, 1000)), "d");
    SetupOnly();
    for (SpanNode* n : FaceEdges(flat)) EXPECT_EQ(n->state, 0u);
    std::vector<uint16_t> px = Render();
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint16_t p) { return p == 0; }));
    Free_Object(flat);

    ObjHandle t = Add(FlatTriangle("t", 0xF800, AtScreen(60, 20, 1000), AtScreen(140, 90, 1000), AtScreen(50, 160, 1000)), "t");
    SR_ClearBuckets();
    SetupOnly();
    PoolRef<Obj3D> node = Get_Node(t);
    Set(node, &Obj3D::flags, uint8_t(Get(node, &Obj3D::flags) | kObjDisabled));
    SR_BuildObjectEdges(node);
    EXPECT_EQ(FiledLines(SR_StartTable) + FiledLines(SR_EndTable) + FiledLines(SR_SwitchTable), 0);
    int roles = 0;
    for (SpanNode* n : FaceEdges(t)) roles += n->state != 0;
    EXPECT_EQ(roles, 3);
}

// A group whose material matched no model (a texture name the object does
// not list) is not drawn.
TEST_F(SrTest, GroupWithoutItsTextureIsNotDrawn) {
    QuadSpec q;
    q.name = "lost";
    q.type = 2;
    q.texture = "check";
    q.corners = {AtScreen(40, 40, 1000), AtScreen(280, 40, 1000), AtScreen(280, 200, 1000), AtScreen(40, 200, 1000)};
    kit::ObjectSpec spec = Quad(q);
    spec.models.clear();
    spec.nodes[0].groups[0].texture = "nowhere";
    ObjHandle h = Add(spec, "lost");
    EXPECT_EQ(SR_GroupTexels(FirstGroup(h), 65536), 0u);
    std::vector<uint16_t> px = Render();
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint16_t p) { return p == 0; }));
}

TEST_F(SrTest, LevelChoiceFollowsTheSmallerGradientSquare) {
    const double unit = 65536.0;
    EXPECT_EQ(SR_ChooseLevel(0, 0, 0, 0), 0);
    EXPECT_EQ(SR_ChooseLevel(std::sqrt(3.0) * unit, 0, 100 * unit, 0), 0);
    EXPECT_EQ(SR_ChooseLevel(std::sqrt(3.0) * unit * 1.001, 0, 100 * unit, 0), 1);
    EXPECT_EQ(SR_ChooseLevel(100 * unit, 100 * unit, 2 * unit, 2 * unit), 1);  // V = 8: the smaller one
    EXPECT_EQ(SR_ChooseLevel(0, std::sqrt(48.0) * unit, 0, 100 * unit), 2);
    EXPECT_EQ(SR_ChooseLevel(std::sqrt(3072.0) * unit, 0, 100 * unit, 0), 5);
    EXPECT_EQ(SR_ChooseLevel(std::sqrt(3073.0) * unit, 0, 100 * unit, 0), 6);
}

// ---------------------------------------------------------------------------
// The depth stack
// ---------------------------------------------------------------------------

// A run that starts behind the front stays hidden until the front ends,
// even where it comes nearer than the front: runs are not split where they
// cross in depth.
TEST_F(SrTest, RunBehindTheFrontStaysHiddenPastTheCrossing) {
    const uint16_t front = 0xF800, back = 0x001F;
    QuadSpec a;
    a.name = "front";
    a.colour = GroupColourFor(front);
    a.corners = {AtScreen(40, 60, 500), AtScreen(280, 60, 500), AtScreen(280, 180, 500), AtScreen(40, 180, 500)};
    Add(Quad(a), "front");
    // Behind the front at its start, in front of it from x = 150 on.
    QuadSpec b;
    b.name = "cross";
    b.colour = GroupColourFor(back);
    b.corners = {AtScreen(100, 90, 600), AtScreen(200, 90, 300), AtScreen(200, 150, 300), AtScreen(100, 150, 600)};
    Add(Quad(b), "cross");
    std::vector<uint16_t> px = Render();
    for (int x : {110, 160, 190}) {
        uint16_t p = At(px, x, 120);
        EXPECT_TRUE(p == front || p == uint16_t(front + 5000)) << x;
    }
}

// ---------------------------------------------------------------------------
// Randomised twins
// ---------------------------------------------------------------------------

// Random scenes of opaque faces: the sorted emitter, which every line with
// a translucent run takes, draws exactly what the plain one draws.
TEST_F(SrTest, SortedEmitterDrawsOpaqueLinesAsThePlainOne) {
    std::mt19937 rng(1234);
    const int32_t types[] = {1, 2, 3, 30, 24};
    for (int scene = 0; scene < 12; ++scene) {
        SCOPED_TRACE(scene);
        std::vector<ObjHandle> handles;
        for (int i = 0; i < 8; ++i) {
            QuadSpec q;
            q.name = std::string("r").append(std::to_string(scene)).append("_").append(std::to_string(i));
            q.type = types[rng() % 5];
            q.texture = q.type == 1 ? "" : "check";
            q.colour = rng() & 0xFFFF;
            q.cornerShade = {uint8_t(rng() % 32), uint8_t(rng() % 32), uint8_t(rng() % 32), uint8_t(rng() % 32)};
            int x0 = int(rng() % 360) - 40, y0 = int(rng() % 280) - 40;
            int w = 20 + int(rng() % 160), h = 20 + int(rng() % 120);
            int32_t z0 = 400 + int32_t(rng() % 2000), z1 = 400 + int32_t(rng() % 2000);
            q.corners = Slanted(x0, x0 + w, y0, y0 + h, z0, z1);
            handles.push_back(Add(Quad(q), q.name));
        }
        std::vector<uint16_t> plain = Render();
        SpanInsertSlot = SR_EmitSpansSorted;
        std::vector<uint16_t> sorted = Render();
        SpanInsertSlot = SR_EmitSpans;
        size_t differ = 0;
        for (size_t i = 0; i < plain.size(); ++i) differ += plain[i] != sorted[i];
        EXPECT_EQ(differ, 0u);
        for (ObjHandle h : handles) Free_Object(h);
    }
}

// Random flat triangles facing the camera at distinct depths, some with
// corners far beyond the guard band, against a per-pixel reference drawn
// from the projected corners: a pixel of line y belongs to a face when its
// column lies from floor(left edge x) up to floor(right edge x) at y + 0.5,
// and the nearest such face wins.
TEST_F(SrTest, ScanConversionMatchesAPerPixelReference) {
    std::mt19937 rng(99);
    size_t covered = 0, differ = 0;
    for (int scene = 0; scene < 8; ++scene) {
        std::vector<ObjHandle> handles;
        struct Face {
            double x[3], y[3];
            uint16_t colour;
            float key;
        };
        std::vector<Face> faces;
        for (int i = 0; i < 10; ++i) {
            int32_t z = 500 + 97 * i + int32_t(rng() % 50);
            auto corner = [&]() {
                double span = (rng() % 5 == 0) ? 60000.0 : 300.0;
                return AtScreen(160 + (double(rng() % 2001) / 1000.0 - 1.0) * span, 120 + (double(rng() % 2001) / 1000.0 - 1.0) * 200, z);
            };
            uint16_t colour = uint16_t(0x0841 * (i + 1) + scene);
            std::string name = std::string("f").append(std::to_string(scene)).append("_").append(std::to_string(i));
            handles.push_back(Add(FlatTriangle(name, colour, corner(), corner(), corner()), name));
            faces.push_back({{}, {}, colour, 0});
        }
        std::vector<uint16_t> px = Render();
        for (size_t i = 0; i < handles.size(); ++i) {
            PoolRef<Obj3D> node = Get_Node(handles[i]);
            for (int c = 0; c < 3; ++c) {
                ObjVertex v = Load(Index(Get(node, &Obj3D::vertices), uint32_t(c)));
                faces[i].x[c] = v.sx;
                faces[i].y[c] = v.sy;
                faces[i].key = v.invZ;
            }
        }
        for (int y = 0; y < 240; ++y) {
            double cy = y + 0.5;
            std::vector<uint16_t> want(320, 0);
            std::vector<float> best(320, -1.0f);
            for (const Face& f : faces) {
                double lo = 1e18, hi = -1e18;
                int crossings = 0;
                for (int c = 0; c < 3; ++c) {
                    double x0 = f.x[c], y0 = f.y[c], x1 = f.x[(c + 1) % 3], y1 = f.y[(c + 1) % 3];
                    if (y0 == y1 || cy < std::min(y0, y1) || cy >= std::max(y0, y1)) continue;
                    double x = x0 + (cy - y0) * (x1 - x0) / (y1 - y0);
                    lo = std::min(lo, x);
                    hi = std::max(hi, x);
                    ++crossings;
                }
                if (crossings < 2) continue;
                int from = int(std::max(0.0, std::floor(lo))), to = int(std::min(320.0, std::floor(hi)));
                for (int x = from; x < to; ++x)
                    if (f.key > best[size_t(x)]) {
                        best[size_t(x)] = f.key;
                        want[size_t(x)] = f.colour;
                    }
            }
            for (int x = 0; x < 320; ++x) {
                covered += want[size_t(x)] != 0;
                differ += want[size_t(x)] != At(px, x, y);
            }
        }
        for (ObjHandle h : handles) Free_Object(h);
    }
    EXPECT_GT(covered, 100000u);
    // The 16.16 steps differ from the exact edges only where an edge passes
    // within a hair of a pixel's corner.
    EXPECT_LE(differ, covered / 2000) << differ << " of " << covered;
    std::printf("scan conversion: %zu of %zu covered pixels differ from the reference\n", differ, covered);
}

// ---------------------------------------------------------------------------
// The fill routines
// ---------------------------------------------------------------------------

// A node made by hand over the test texture's texels.
struct HandNode {
    SpanNode node{};
    uint32_t texels = 0;
};

TEST_F(SrTest, TexelIndexWrapsBothCoordinatesAndShadeRowsAreHeld) {
    QuadSpec q;
    q.name = "t";
    q.type = 2;
    q.texture = "check";
    q.corners = {AtScreen(40, 40, 1000), AtScreen(280, 40, 1000), AtScreen(280, 200, 1000), AtScreen(40, 200, 1000)};
    ObjHandle h = Add(Quad(q), "t");
    uint32_t texels = SR_GroupTexels(FirstGroup(h), 65536);
    ASSERT_NE(texels, 0u);
    const uint8_t* t = PoolPtr(texels);
    SpanNode n{};
    n.texels = texels;
    n.row = 15;
    n.x = 0;
    // u from -2 texels, v at -1: texels 254, 255, 0, 1 of row 255.
    n.u.i = -2 << 16;
    n.v.i = -1 << 16;
    n.uSlope.i = 1 << 16;
    uint16_t px[4];
    SR_ReferenceRoutines.At(2)(px, 4, 0, &n);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(px[i], SR_ColourEntry(t, 15, t[255 * 256 + uint32_t((254 + i) & 255)])) << i;
    // A row beyond 31 is held at 31.
    n.row = 200;
    SR_ReferenceRoutines.At(2)(px, 4, 0, &n);
    EXPECT_EQ(px[0], SR_ColourEntry(t, 31, t[255 * 256 + 254]));
    // Perspective: u x k over k at the start and every 8 pixels.
    n.row = 15;
    n.key = 1000.0f;
    n.keySlope = 0.0f;
    n.u.f = float(-2 << 16) * 1000.0f;
    n.v.f = float(-1 << 16) * 1000.0f;
    n.uSlope.f = float(1 << 16) * 1000.0f;
    n.vSlope.f = 0.0f;
    SR_ReferenceRoutines.At(3)(px, 4, 0, &n);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(px[i], SR_ColourEntry(t, 15, t[255 * 256 + uint32_t((254 + i) & 255)])) << i;
}

// Unlit textured faces take row 31 - the translucency word's low byte,
// held at 0 when the byte is above 31; the corner shades of type 30 are
// read into the edges and left as they are, so frames repeat.
TEST_F(SrTest, ShadeRowsAreHeldAndCornerShadesStayAsLit) {
    QuadSpec q;
    q.name = "bright";
    q.type = 2;
    q.texture = "check";
    q.translucency = 0x0100 | 40;
    q.corners = {AtScreen(40, 40, 1000), AtScreen(150, 40, 1000), AtScreen(150, 200, 1000), AtScreen(40, 200, 1000)};
    ObjHandle h = Add(Quad(q), "bright");
    SetupOnly();
    int left = 0;
    for (SpanNode* n : FaceEdges(h))
        if (n->state & kEdgeLeft) {
            EXPECT_EQ(n->row, 0);
            ++left;
        }
    EXPECT_GT(left, 0);
    SR_ClearBuckets();

    q.name = "smooth";
    q.type = 30;
    q.translucency = 16;
    q.cornerShade = {3, 17, 31, 45};
    q.corners = {AtScreen(170, 40, 1000), AtScreen(280, 40, 1000), AtScreen(280, 200, 1000), AtScreen(170, 200, 1000)};
    ObjHandle s = Add(Quad(q), "smooth");
    std::vector<PoolRef<PrimFace>> faces = VisibleFaces(FirstGroup(s));
    auto shades = [&] {
        std::vector<uint8_t> out;
        for (PoolRef<PrimFace> f : faces)
            for (uint8_t c : Load(Ref<PrimFaceLong>(f.off)).cornerShade) out.push_back(c);
        return out;
    };
    std::vector<uint8_t> before = shades();
    std::vector<uint16_t> first = Render();
    EXPECT_EQ(shades(), before);
    EXPECT_EQ(Render(), first);
}

// The translucent types take their level from bits 8 to 12 of the
// object's translucency word: -13 in the flat colour's high byte (kept in
// place), -12 in the level byte its span routine reads.
TEST_F(SrTest, TranslucentTypesTakeTheirLevelFromTheTranslucencyWord) {
    struct Case {
        int32_t type;
        uint32_t translucency;
        int level;  // bits 8 to 12
    };
    const Case cases[] = {
        {-12, 16 | 20 << 8, 20},
        {-12, 16 | 0xFF00, 31},  // the bits above 12 are not the level
        {-12, 16, 0},
        {-13, 16 | 20 << 8, 20},
        {-13, 16 | 0xFF00, 31},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " word " + std::to_string(c.translucency));
        QuadSpec q;
        q.name = "glass" + std::to_string(index++);
        q.type = c.type;
        q.texture = "check";
        q.translucency = c.translucency;
        q.corners = {AtScreen(40, 40, 1000), AtScreen(150, 40, 1000), AtScreen(150, 200, 1000), AtScreen(40, 200, 1000)};
        ObjHandle h = Add(Quad(q), q.name);
        SetupOnly();
        int left = 0;
        for (SpanNode* n : FaceEdges(h))
            if (n->state & kEdgeLeft) {
                if (c.type == -12) EXPECT_EQ(n->level, c.level);
                else EXPECT_EQ(n->colour, c.level << 8);
                ++left;
            }
        EXPECT_GT(left, 0);
        SR_ClearBuckets();
        Free_Object(h);
    }
}

// The 50 % blend keeps each channel of the screen format: in 5-5-5 red's
// lowest bit does not leak into green (0x3DEF), in 5-6-5 green's does not
// leak into blue (0x7BEF).
TEST_F(SrTest, HalfBlendUsesTheFormatsMask) {
    SpanNode n{};
    n.colour = 0x0421;  // the lowest bit of each 5-5-5 channel
    uint16_t px = 0x0421;
    g_SpanHalfMask = 0x3DEF;
    SR_ReferenceRoutines.At(-2)(&px, 1, 0, &n);
    EXPECT_EQ(px, 0);
    n.colour = 0x7FFF;
    px = 0;
    SR_ReferenceRoutines.At(-2)(&px, 1, 0, &n);
    EXPECT_EQ(px, 0x3DEF);
    g_SpanHalfMask = 0x7BEF;
    n.colour = 0xFFFF;
    SR_ReferenceRoutines.At(-2)(&px, 1, 0, &n);
    EXPECT_EQ(px, uint16_t(0x7BEF + (0x3DEF >> 1 & 0x7BEF)));
    UseTarget(Target{}, Pixels::Rgb555);
    EXPECT_EQ(SR_HalfMask(), 0x3DEF);
    UseTarget(Target{}, Pixels::Rgb565);
    EXPECT_EQ(SR_HalfMask(), 0x7BEF);
}

// Modes 17, 18 and -11 draw only where the key, shifted, lies beyond the
// depth map; with no map every pixel passes.  Mode 15 copies the background
// picture at screen positions, and without one fills 0.
TEST_F(SrTest, DepthMapAndBackgroundPicture) {
    const uint16_t colour = 0x07E0;
    QuadSpec q;
    q.name = "d";
    q.type = 17;
    q.colour = GroupColourFor(colour);
    q.corners = {AtScreen(40, 40, 1000), AtScreen(280, 40, 1000), AtScreen(280, 200, 1000), AtScreen(40, 200, 1000)};
    ObjHandle d = Add(Quad(q), "d");
    std::vector<uint16_t> whole = Render();
    EXPECT_NE(At(whole, 100, 100), 0);
    EXPECT_NE(At(whole, 250, 100), 0);
    // Keys near 2^30 / 1000 = 1 073 741, shifted by 6: 16 777.  Left of
    // column 160 the map is 0, right of it beyond the keys.
    std::vector<int16_t> samples(320 * 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 160; x < 320; ++x) samples[size_t(y * 320 + x)] = 30000;
    SpanDepthRecord map{320, 6, samples.data()};
    SpanDepthBuffer = &map;
    std::vector<uint16_t> tested = Render();
    EXPECT_EQ(At(tested, 100, 100), At(whole, 100, 100));
    EXPECT_EQ(At(tested, 250, 100), 0);
    SpanDepthBuffer = nullptr;

    Free_Object(d);
    SR_SetBackgroundMode(15);
    std::vector<uint16_t> picture(320 * 240);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint16_t(i * 7);
    std::vector<uint16_t> none = Render(0x1111);
    EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](uint16_t p) { return p == 0; }));
    BackgroundPicture = picture.data();
    BackgroundRowLength = 320;
    EXPECT_EQ(Render(), picture);
    SR_SetBackgroundMode(14);
}

// ---------------------------------------------------------------------------
// Bounds
// ---------------------------------------------------------------------------

// A target poisoned everywhere: a scene with faces past every side of the
// view, translucent and keyed ones, a quad of every face type, a floor cut
// at the near plane and corners far beyond the guard band changes every
// pixel of the view and none outside it, through the reference fill and
// through the span back end.
TEST_F(SrTest, NothingLandsOutsideTheView) {
    for (Pixels format : {Pixels::Rgb565, Pixels::Rgb555}) {
        SCOPED_TRACE(PixelsName(format));
        UseTarget(Target{400, 300, 37, 23, 300, 200}, format);
        std::string tag = PixelsName(format);
        Set_SpanFillColour(Colour(10, 20, 30));
        std::vector<ObjHandle> handles;
        QuadSpec wall;
        wall.name = "wall" + tag;
        wall.type = 2;
        wall.texture = "check";
        wall.corners = {AtScreen(-100, -80, 2000), AtScreen(500, -80, 2000), AtScreen(500, 400, 2000), AtScreen(-100, 400, 2000)};
        handles.push_back(Add(Quad(wall), wall.name));
        QuadSpec glass = wall;
        glass.name = "glass" + tag;
        glass.type = -3;
        glass.corners = {AtScreen(0, 0, 900), AtScreen(200, 0, 900), AtScreen(200, 150, 900), AtScreen(0, 150, 900)};
        handles.push_back(Add(Quad(glass), glass.name));
        QuadSpec tint;
        tint.name = "tint" + tag;
        tint.type = -2;
        tint.colour = 0xF81F;
        tint.corners = {AtScreen(250, 150, 700), AtScreen(420, 150, 700), AtScreen(420, 320, 700), AtScreen(250, 320, 700)};
        handles.push_back(Add(Quad(tint), tint.name));
        QuadSpec grille = wall;
        grille.name = "grille" + tag;
        grille.type = -5;
        grille.texture = "holes";
        grille.corners = {AtScreen(10, 200, 800), AtScreen(150, 200, 800), AtScreen(150, 290, 800), AtScreen(10, 290, 800)};
        handles.push_back(Add(Quad(grille), grille.name));
        QuadSpec floor = wall;
        floor.name = "floor" + tag;
        floor.type = 3;
        floor.corners = {kit::I3{-60000, 250, -500}, kit::I3{60000, 250, -500}, kit::I3{60000, 250, 6000}, kit::I3{-60000, 250, 6000}};
        handles.push_back(Add(Quad(floor), floor.name));
        handles.push_back(Add(FlatTriangle("far" + tag, 0x07E0, AtScreen(-90000, 60, 1500), AtScreen(90000, 80, 1500),
                                            AtScreen(200, 140, 1500)),
                               "far" + tag));
        Init_ShadeTables();
        const uint16_t poison = 0xDEAD;
        // Through the reference emitter and fill, then through the span
        // back end; the second time with a quad of every face type added,
        // the grid reaching past the view's sides (the types whose spans
        // draw nothing leave their pixels, inside the view too).
        for (bool everyType : {false, true}) {
            if (everyType)
                for (ObjHandle h : AddEveryFaceType(-30, 0, 420, 260, tag)) handles.push_back(h);
            for (bool backEnd : {false, true}) {
                SCOPED_TRACE(std::string(backEnd ? "span back end" : "reference fill") + (everyType ? ", every type" : ""));
                if (backEnd) {
                    SPAN_InstallBackEnd();
                    if (format == Pixels::Rgb555) SPAN_SwapTables555();
                }
                std::vector<uint16_t> px = Render(poison);
                SPAN_SelectReferenceFill();
                size_t outsideTouched = 0, insidePoisoned = 0;
                for (int y = 0; y < 300; ++y)
                    for (int x = 0; x < 400; ++x) {
                        bool inside = x >= 37 && x < 337 && y >= 23 && y < 223;
                        if (inside) insidePoisoned += At(px, x, y) == poison;
                        else outsideTouched += At(px, x, y) != poison;
                    }
                EXPECT_EQ(outsideTouched, 0u);
                if (!everyType) {
                    EXPECT_EQ(insidePoisoned, 0u);
                }
            }
        }
        for (ObjHandle h : handles) Free_Object(h);
    }
}

// A view wider than the line buffer or taller than the bucket tables is
// held to them; a frame renderer given no frame draws nothing and leaves
// no filing behind.
TEST_F(SrTest, ViewsBeyondTheBuffersAreHeldToThem) {
    UseTarget(Target{2100, 1030, 0, 0, 2100, 1030}, Pixels::Rgb565);
    EXPECT_EQ(g_SpanRect.width, kSpanColumns);
    EXPECT_EQ(g_SpanRect.height, kSpanLines);
    Set_SpanFillColour(0x1234);
    std::vector<uint16_t> px = Render(0xDEAD);
    EXPECT_EQ(At(px, 2047, 1023), 0x1234);
    EXPECT_EQ(At(px, 2048, 0), 0xDEAD);
    EXPECT_EQ(At(px, 0, 1024), 0xDEAD);
    UseTarget(Target{}, Pixels::Rgb565);
    Add(FlatTriangle("t", 0xF800, AtScreen(60, 20, 1000), AtScreen(140, 90, 1000), AtScreen(50, 160, 1000)), "t");
    EXPECT_EQ(Draw_Scene(0, nullptr), 0);
    EXPECT_EQ(FiledLines(SR_StartTable) + FiledLines(SR_EndTable) + FiledLines(SR_SwitchTable), 0);
    EXPECT_EQ(At(Render(), 100, 60), 0xF800);
}

// A view reaching past its target frame is held to the frame's line
// length and rows: the frame lies between two guard bands, the lines and
// columns of the view that land on the frame are filled and nothing else
// changes, whichever of the view and the target size was set last (a mode
// change sets the view first; the target size then starts the view's
// first line at the frame's start).
TEST_F(SrTest, ViewsBeyondTheTargetFrameAreHeldToIt) {
    struct Case {
        int frameW, frameH;
        int viewX, viewY, viewW, viewH;
        bool sizeLast;
        int left, right, top, bottom;  // the frame pixels drawn, right and bottom excluded
    };
    const Case cases[] = {
        {200, 100, 0, 0, 320, 240, false, 0, 200, 0, 100},  // wider and taller than the frame
        {200, 100, 0, 0, 320, 240, true, 0, 200, 0, 100},
        {200, 100, 150, 80, 100, 50, false, 150, 200, 80, 100},  // past the right and bottom edges
        {200, 100, 150, 80, 100, 50, true, 150, 200, 0, 50},
        {200, 100, 150, 80, 100, 150, true, 150, 200, 0, 100},
        {120, 90, 10, 5, 100, 60, false, 10, 110, 5, 65},  // inside: drawn whole
    };
    constexpr uint16_t kGuard = 0xBEEF, kFill = 0x1234, kBefore = 0xDEAD;
    constexpr size_t kBand = 4096;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.frameW << "x" << c.frameH << " view " << c.viewX << "," << c.viewY
                                          << " " << c.viewW << "x" << c.viewH << (c.sizeLast ? " size last" : ""));
        if (c.sizeLast) {
            Set_ViewRect(c.viewW, c.viewH, c.viewX, c.viewY, 400);
            Set_ViewSize(c.frameW, c.frameH);
        } else {
            Set_ViewSize(c.frameW, c.frameH);
            Set_ViewRect(c.viewW, c.viewH, c.viewX, c.viewY, 400);
        }
        Set_SpanFillColour(kFill);
        const size_t frame = size_t(c.frameW) * size_t(c.frameH);
        std::vector<uint16_t> memory(kBand + frame + kBand, kGuard);
        std::fill(memory.begin() + kBand, memory.begin() + ptrdiff_t(kBand + frame), kBefore);
        EXPECT_EQ(Draw_Scene(0, memory.data() + kBand), 0);
        for (size_t i = 0; i < kBand; ++i) {
            ASSERT_EQ(memory[i], kGuard) << "pixel " << kBand - i << " before the frame";
            ASSERT_EQ(memory[kBand + frame + i], kGuard) << "pixel " << i << " after the frame";
        }
        for (int y = 0; y < c.frameH; ++y)
            for (int x = 0; x < c.frameW; ++x) {
                bool inView = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                ASSERT_EQ(memory[kBand + size_t(y) * size_t(c.frameW) + size_t(x)], inView ? kFill : kBefore)
                    << x << "," << y;
            }
    }
}

// Two hundred translucent runs starting a column apart: the sorted emitter
// re-emits every layer under each piece, past the span records' room; what
// fits is drawn and the rest dropped.
TEST_F(SrTest, SpanRecordsOfALineAreBounded) {
    for (int i = 0; i < 200; ++i) {
        QuadSpec q;
        q.name = std::string("l").append(std::to_string(i));
        q.type = -2;
        q.colour = 0x1111;
        int32_t z = 3000 - i * 10;
        q.corners = {AtScreen(10 + i, 100, z), AtScreen(300, 100, z), AtScreen(300, 140, z), AtScreen(10 + i, 140, z)};
        Add(Quad(q), q.name);
    }
    static int most = 0;
    most = 0;
    SpanDrawListSlot = [](uint16_t* line, const SpanRecord* last) {
        most = std::max(most, SpanRecordCount);
        SR_FillSpan(line, last);
    };
    std::vector<uint16_t> px = Render();
    EXPECT_EQ(most, kSpanRecordCapacity);
    EXPECT_NE(At(px, 20, 120), 0);
}

}  // namespace
}  // namespace test

namespace test {
namespace {

// The frame types sample the reduced image of their level, 2^level times
// smaller each way: their left edges carry the u and v (or u x k and v x k)
// of the same face of the plain type divided by 2^level, starts, steps per
// line and slopes per pixel alike.  The face spans 41 pixels for 256
// texels: (256 / 41)^2 = 39 lies between 12 and 48, level 2.
TEST_F(SrTest, FrameTypesScaleTheirTextureValuesByTheLevel) {
    struct Case {
        int32_t type, plain;
        bool floats;
    } cases[] = {{21, 2, false}, {20, 3, true}, {26, 23, true}};
    auto values = [&](int32_t type, const std::string& name, std::vector<std::array<double, 6>>* out, int* level) {
        QuadSpec q;
        q.name = name;
        q.type = type;
        q.texture = "check";
        q.corners = {AtScreen(40, 40, 1000), AtScreen(80, 40, 1000), AtScreen(80, 80, 1000), AtScreen(40, 80, 1000)};
        ObjHandle h = Add(Quad(q), q.name);
        SetupOnly();
        for (SpanNode* n : FaceEdges(h)) {
            if (!(n->state & kEdgeLeft)) continue;
            *level = n->level;
            bool f = type == 20 || type == 3 || type == 23 || type == 26;
            auto w = [&](SpanWord s) { return f ? double(s.f) : double(s.i); };
            out->push_back({w(n->u), w(n->v), w(n->uStep), w(n->vStep), w(n->uSlope), w(n->vSlope)});
        }
        SR_ClearBuckets();
        Free_Object(h);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        std::vector<std::array<double, 6>> framed, plain;
        int level = -1, plainLevel = -1;
        values(c.type, "framed" + std::to_string(c.type), &framed, &level);
        values(c.plain, "plain" + std::to_string(c.type), &plain, &plainLevel);
        EXPECT_EQ(level, 2);
        EXPECT_EQ(plainLevel, 0);
        ASSERT_EQ(framed.size(), plain.size());
        ASSERT_FALSE(framed.empty());
        for (size_t e = 0; e < framed.size(); ++e)
            for (int k = 0; k < 6; ++k) {
                double want = plain[e][size_t(k)] / 4;
                // Integers are truncated after the scaling, floats rounded.
                double slack = c.floats ? std::abs(want) * 1e-5 + 1e-6 : 1.0;
                EXPECT_NEAR(framed[e][size_t(k)], want, slack) << "edge " << e << " value " << k;
            }
    }
}

}  // namespace
}  // namespace test
