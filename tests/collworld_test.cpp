// The collision world: endpoint arrays through adds and removals, the four
// sweep cases of every axis, probe overlaps against a brute-force twin, the
// sphere-against-face answers and the segment walk.
#include "test_collision.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace {

using test::CollisionTest;

class CollisionWorldTest : public CollisionTest {
protected:
    // The world of the room collision, filled with blocks by hand.
    CollisionWorld* W() { return g_CollisionWorld; }
    uint32_t Block(ObjHandle h) { return Get_Block(h); }
    std::vector<PoolRef<CollisionFace>> Faces(ObjHandle h) {
        CollisionBlock b = Load(Ref<CollisionBlock>(Get_Block(h)));
        std::vector<PoolRef<CollisionFace>> faces;
        for (int32_t i = 0; i < b.faceCount; ++i) faces.push_back(Index(b.faces, uint32_t(i)));
        return faces;
    }
    // Faces on the full list, in list order, by walking it.
    static std::vector<uint32_t> FullList(CollisionProbe* p) {
        std::vector<uint32_t> out;
        for (PoolRef<CollisionFace> f = Next_ProbeOverlap(p); f; f = Next_ProbeOverlap(p)) out.push_back(f.off);
        return out;
    }
    static std::vector<uint32_t> XZList(CollisionProbe* p) {
        std::vector<uint32_t> out;
        for (PoolRef<CollisionFace> f = Next_ProbeXZOverlap(p); f; f = Next_ProbeXZOverlap(p)) out.push_back(f.off);
        return out;
    }
    static std::set<uint32_t> Sorted(const std::vector<uint32_t>& v) { return {v.begin(), v.end()}; }
    // One triangle spanning the box lo..hi.
    static void AddBoxFace(kit::CollisionSpec* spec, kit::I3 lo, kit::I3 hi) {
        int v = int(spec->vertices.size());
        spec->vertices.push_back(lo);
        spec->vertices.push_back({hi.x, hi.y, lo.z});
        spec->vertices.push_back({lo.x, hi.y, hi.z});
        spec->faces.push_back({{v, v + 1, v + 2}, 0, 0});
        if (spec->parts.empty()) spec->parts = {"part"};
    }
    // The mask the probe's intervals give a face's box.
    static uint8_t ExpectedMask(const CollisionProbe* p, PoolRef<CollisionFace> f) {
        Vec3 lo, hi;
        Get_FaceBox(f, &lo, &hi);
        int32_t c[3] = {p->centre.x, p->centre.y, p->centre.z};
        int32_t l[3] = {lo.x, lo.y, lo.z}, h[3] = {hi.x, hi.y, hi.z};
        uint8_t mask = 0;
        for (int a = 0; a < 3; ++a)
            if (int64_t(l[a]) <= int64_t(c[a]) + p->radius && int64_t(h[a]) >= int64_t(c[a]) - p->radius)
                mask |= uint8_t(1 << a);
        return mask;
    }
    // Every face's node mask, both lists and both walks agree with the
    // probe's intervals.
    void ExpectOverlapsMatch(CollisionProbe* p, const std::vector<PoolRef<CollisionFace>>& faces) {
        std::set<uint32_t> full, xz;
        for (PoolRef<CollisionFace> f : faces) {
            uint8_t want = ExpectedMask(p, f);
            const OverlapNode* n = Find_ProbeOverlap(p, f);
            EXPECT_EQ(n ? n->mask : 0, want) << "face " << f.off;
            if (want == 7) full.insert(f.off);
            if ((want & 5) == 5) xz.insert(f.off);
        }
        std::vector<uint32_t> walkedFull = FullList(p), walkedXZ = XZList(p);
        EXPECT_EQ(Sorted(walkedFull).size(), walkedFull.size());
        EXPECT_EQ(Sorted(walkedXZ).size(), walkedXZ.size());
        EXPECT_EQ(Sorted(walkedFull), (p->flags & kProbeFullList) ? full : std::set<uint32_t>{});
        EXPECT_EQ(Sorted(walkedXZ), (p->flags & kProbeXZList) ? xz : std::set<uint32_t>{});
    }
};

TEST_F(CollisionWorldTest, AddAndRemoveKeepTheArraysSortedAndWhole) {
    ObjHandle room = LoadBlock(kit::RoomCollision({}), ".\\ms22\\a.3dc");
    ObjHandle pillar = LoadBlock(kit::SolidBoxCollision({-100, 0, -100}, {100, 1218, 100}), ".\\ms22\\b.3dc");
    auto check = [&](int32_t boxes, const std::vector<PoolRef<CollisionFace>>& faces) {
        EXPECT_EQ(W()->boxCount, boxes);
        for (int a = 0; a < 3; ++a) {
            const std::vector<CollisionEndpoint>& e = W()->axis[a];
            ASSERT_EQ(e.size(), size_t(2 * boxes));
            std::map<uint32_t, int> seen;
            for (size_t k = 0; k < e.size(); ++k) {
                if (k) {
                    EXPECT_LE(e[k - 1].value, e[k].value);
                }
                Vec3 lo, hi;
                Get_FaceBox(e[k].face, &lo, &hi);
                int32_t want = e[k].kind ? (a == 0 ? hi.x : a == 1 ? hi.y : hi.z) : (a == 0 ? lo.x : a == 1 ? lo.y : lo.z);
                EXPECT_EQ(e[k].value, want);
                seen[e[k].face.off] += e[k].kind ? 10 : 1;
            }
            EXPECT_EQ(seen.size(), faces.size());
            for (PoolRef<CollisionFace> f : faces) EXPECT_EQ(seen[f.off], 11);
        }
    };
    std::vector<PoolRef<CollisionFace>> roomFaces = Faces(room), pillarFaces = Faces(pillar), both = roomFaces;
    both.insert(both.end(), pillarFaces.begin(), pillarFaces.end());
    Add_CollisionBlock(W(), Block(room));
    check(10, roomFaces);
    Add_CollisionBlock(W(), Block(pillar));
    check(22, both);
    // A block already in the world is not added twice.
    Add_CollisionBlock(W(), Block(room));
    check(22, both);
    uint32_t generation = W()->generation;
    Remove_CollisionBlock(W(), Block(room));
    check(12, pillarFaces);
    EXPECT_NE(W()->generation, generation);
    Remove_CollisionBlock(W(), Block(room));
    check(12, pillarFaces);
    // Freeing the object takes its faces out through the hook.
    Free_Object(pillar);
    check(0, {});
}

TEST_F(CollisionWorldTest, FourSweepCasesOnEveryAxis) {
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(axis);
        // Five boxes along the axis: [200k, 200k + 100], [0, 100] across.
        kit::CollisionSpec spec;
        auto along = [axis](int32_t t, int32_t across) {
            kit::I3 p{across, across, across};
            (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = t;
            return p;
        };
        for (int k = 0; k < 5; ++k) AddBoxFace(&spec, along(200 * k, 0), along(200 * k + 100, 100));
        ObjHandle h = LoadBlock(spec, ".\\ms22\\row" + std::to_string(axis) + ".3dc");
        Add_CollisionBlock(W(), Block(h));
        std::vector<PoolRef<CollisionFace>> faces = Faces(h);
        CollisionProbe* p = Add_Probe(W(), kProbeFullList | kProbeXZList);
        auto at = [&](int32_t t, int32_t r, std::set<int> want) {
            kit::I3 q = along(t, 50);
            Vec3 c{q.x, q.y, q.z};
            Set_ProbePos(p, &c);
            Set_ProbeRadius(p, r);
            Update_CollisionWorld(W(), p);
            std::set<uint32_t> wanted;
            for (int k : want) wanted.insert(faces[size_t(k)].off);
            EXPECT_EQ(Sorted(FullList(p)), wanted) << "at " << t << " radius " << r;
            ExpectOverlapsMatch(p, faces);
        };
        at(-300, 60, {});
        at(250, 60, {1});            // both bounds up
        at(50, 60, {0});             // both bounds down
        at(250, 260, {0, 1, 2});     // lower down, upper up
        at(250, 30, {1});            // lower up, upper down
        at(700, 99, {3});
        at(700, 100, {3, 4});        // touching ends overlap: [600, 800] meets [800, 900]
        at(5000, 60, {});            // a jump past every box
        at(-5000, 60, {});           // and back over them all
        at(450, 1000, {0, 1, 2, 3, 4});
        EXPECT_EQ(Remove_Probe(W(), p), 0);
        Remove_CollisionBlock(W(), Block(h));
    }
}

TEST_F(CollisionWorldTest, ProbeOverlapsMatchTheirBruteForceTwin) {
    std::mt19937 rng(1234);
    auto coord = [&](int span) { return int32_t(rng() % uint32_t(2 * span + 1)) - span; };
    auto randomSpec = [&](int faces) {
        kit::CollisionSpec spec;
        for (int i = 0; i < faces; ++i) {
            kit::I3 a{coord(1500), coord(1500), coord(1500)};
            kit::I3 b{a.x + coord(300), a.y + coord(300), a.z + coord(300)};
            kit::I3 c{a.x + coord(300), (i % 4 == 0) ? a.y : a.y + coord(300), a.z + coord(300)};
            int v = int(spec.vertices.size());
            spec.vertices.insert(spec.vertices.end(), {a, b, c});
            spec.faces.push_back({{v, v + 1, v + 2}, 0, 0});
        }
        spec.parts = {"random"};
        return spec;
    };
    ObjHandle first = LoadBlock(randomSpec(80), ".\\ms22\\r1.3dc");
    ObjHandle second = LoadBlock(randomSpec(40), ".\\ms22\\r2.3dc");
    Add_CollisionBlock(W(), Block(first));
    std::vector<PoolRef<CollisionFace>> faces = Faces(first), more = Faces(second);
    CollisionProbe* probes[3] = {Add_Probe(W(), kProbeFullList | kProbeXZList), Add_Probe(W(), kProbeFullList),
                                 Add_Probe(W(), 0)};
    bool secondIn = false;
    for (int step = 0; step < 400; ++step) {
        if (step % 97 == 50) {
            // Faces come and go under the probes.
            if (secondIn) Remove_CollisionBlock(W(), Block(second));
            else Add_CollisionBlock(W(), Block(second));
            secondIn = !secondIn;
        }
        if (step == 200) Set_ProbeFlags(probes[2], kProbeXZList);
        for (CollisionProbe* p : probes) {
            Vec3 c = p->centre;
            switch (rng() % 4) {
            case 0: c = {coord(2000), coord(2000), coord(2000)}; break;  // a jump
            case 1: c = {c.x + coord(80), c.y + coord(80), c.z + coord(80)}; break;
            case 2: Set_ProbeRadius(p, int32_t(rng() % 600) - 50); break;  // <= 0 is ignored
            default: break;  // stays
            }
            Set_ProbePos(p, &c);
            Update_CollisionWorld(W(), p);
            std::vector<PoolRef<CollisionFace>> all = faces;
            if (secondIn) all.insert(all.end(), more.begin(), more.end());
            ExpectOverlapsMatch(p, all);
            // A probe that does not move keeps its lists as they were.
            std::vector<uint32_t> full = FullList(p), xz = XZList(p);
            Update_CollisionWorld(W(), p);
            EXPECT_EQ(FullList(p), full);
            EXPECT_EQ(XZList(p), xz);
            EXPECT_EQ(W()->added + W()->removed + W()->live, 0);
        }
        if (HasFailure()) break;
    }
}

TEST_F(CollisionWorldTest, ProbesTheirLimitRadiusAndWalks) {
    std::vector<CollisionProbe*> probes;
    for (int i = 0; i < kMaxProbes; ++i) probes.push_back(Add_Probe(W(), 0));
    EXPECT_EQ(std::count(probes.begin(), probes.end(), nullptr), 0);
    EXPECT_EQ(Add_Probe(W(), 0), nullptr);
    EXPECT_EQ(W()->probeCount, 255);
    // The last probe moves into the removed one's place.
    ASSERT_EQ(Remove_Probe(W(), probes[3]), 0);
    EXPECT_EQ(W()->probes[3], probes[254]);
    EXPECT_EQ(W()->probeCount, 254);
    EXPECT_EQ(Remove_Probe(W(), probes[3]), -1);
    EXPECT_NE(Add_Probe(W(), 0), nullptr);

    CollisionProbe* p = probes[10];
    Set_ProbeRadius(p, 40);
    Set_ProbeRadius(p, 0);
    Set_ProbeRadius(p, -3);
    EXPECT_EQ(p->radius, 40);

    // The walk: every face once, then null, then from the head again.
    ObjHandle h = LoadBlock(kit::FanCollision(6, {0, 0, 0}, 500), ".\\ms22\\fan.3dc");
    Add_CollisionBlock(W(), Block(h));
    Set_ProbeFlags(p, kProbeFullList | kProbeXZList);
    Vec3 c{0, 0, 0};
    Set_ProbePos(p, &c);
    Update_CollisionWorld(W(), p);
    std::vector<uint32_t> once = FullList(p);
    EXPECT_EQ(once.size(), 6u);
    EXPECT_EQ(FullList(p), once);
    EXPECT_EQ(XZList(p).size(), 6u);
    // Half a walk, then an update: the walk starts at the head again.
    Next_ProbeOverlap(p);
    Next_ProbeOverlap(p);
    Update_CollisionWorld(W(), p);
    EXPECT_EQ(FullList(p), once);
    // New flags forget the overlaps until the next update.
    Set_ProbeFlags(p, kProbeFullList);
    EXPECT_TRUE(FullList(p).empty());
    Update_CollisionWorld(W(), p);
    EXPECT_EQ(Sorted(FullList(p)), Sorted(once));
    EXPECT_TRUE(XZList(p).empty());
}

TEST_F(CollisionWorldTest, NodesAndLinksComeFromTheirHooks) {
    static int nodes = 0, links = 0;
    nodes = links = 0;
    g_CollisionAlloc = {[](size_t n) { ++nodes; return std::calloc(1, n); }, [](void* p) { --nodes; std::free(p); },
                        [](size_t n) { ++links; return std::calloc(1, n); }, [](void* p) { --links; std::free(p); }};
    ObjHandle h = LoadBlock(kit::FanCollision(8, {0, 0, 0}, 500), ".\\ms22\\fan.3dc");
    Add_CollisionBlock(W(), Block(h));
    CollisionProbe* p = Add_Probe(W(), kProbeFullList | kProbeXZList);
    Vec3 c{0, 0, 0};
    Set_ProbePos(p, &c);
    Set_ProbeRadius(p, 10);
    Update_CollisionWorld(W(), p);
    EXPECT_EQ(nodes, 8);
    EXPECT_EQ(links, 16);
    Remove_Probe(W(), p);
    EXPECT_EQ(nodes, 0);
    EXPECT_EQ(links, 0);
    g_CollisionAlloc = {};
}

TEST_F(CollisionWorldTest, ClosestFeatureOfASphereAndAFace) {
    // One floor triangle at y = 0 seen from above (-y), and the same
    // triangle wound the other way round: the answers do not depend on it.
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        kit::CollisionSpec spec;
        spec.parts = {"ground", "tile"};
        spec.vertices = {{0, 0, 0}, {1000, 0, 0}, {0, 0, 1000}};
        spec.faces.push_back({{0, 1, 2}, 1, 7});
        ObjHandle h = LoadBlock(spec, reversed ? ".\\ms22\\t2.3dc" : ".\\ms22\\t1.3dc");
        PoolRef<CollisionFace> f = Faces(h)[0];
        ASSERT_EQ(Get(f, &CollisionFace::normal).y, -32768);
        if (reversed) {
            // Corners 1 and 2 swapped in place; the plane stays.
            uint32_t w1 = LoadWord(f.off + 4), w2 = LoadWord(f.off + 8);
            StoreWord(f.off + 4, w2), StoreWord(f.off + 8, w1);
        }
        CollisionProbe* p = Add_Probe(W(), 0);
        Set_ProbeRadius(p, 100);
        auto feature = [&](Vec3 c) {
            Set_ProbePos(p, &c);
            return Get_ClosestFeature(p, f);
        };
        Vec3 point, normal, centre, offset;
        EXPECT_EQ(feature({200, -50, 200}), 2);
        PoolRef<CollisionPart> part = Get_ContactInfo(p, &point, &normal, &centre, &offset);
        EXPECT_EQ(point, (Vec3{200, 0, 200}));
        EXPECT_EQ(normal, (Vec3{0, -32768, 0}));
        EXPECT_EQ(centre, (Vec3{200, -50, 200}));
        EXPECT_EQ(offset, (Vec3{0, -50, 0}));
        ASSERT_TRUE(part);
        EXPECT_STREQ(reinterpret_cast<const char*>(PoolPtr(part.off)), "tile");
        EXPECT_EQ(feature({200, 50, 200}), -2);
        // Beyond one edge: the nearest point of that edge.
        EXPECT_EQ(feature({-50, -30, 300}), 1);
        Get_ContactInfo(p, &point, nullptr, nullptr, nullptr);
        EXPECT_EQ(point, (Vec3{0, 0, 300}));
        EXPECT_EQ(feature({540, -10, 540}), 1);
        Get_ContactInfo(p, &point, nullptr, nullptr, nullptr);
        EXPECT_EQ(point, (Vec3{500, 0, 500}));
        EXPECT_EQ(feature({540, 10, 540}), -1);
        // Beyond two edges: their corner.
        EXPECT_EQ(feature({-50, -30, -50}), 1);
        Get_ContactInfo(p, &point, nullptr, nullptr, nullptr);
        EXPECT_EQ(point, (Vec3{0, 0, 0}));
        EXPECT_EQ(feature({1050, -20, -40}), 1);
        Get_ContactInfo(p, &point, nullptr, nullptr, nullptr);
        EXPECT_EQ(point, (Vec3{1000, 0, 0}));
        // Out of reach.
        EXPECT_EQ(feature({-90, -30, -90}), 0);
        EXPECT_EQ(feature({600, -10, 600}), 0);
        EXPECT_EQ(feature({200, -100, 200}), 0);
        EXPECT_EQ(feature({200, 100, 200}), 0);
        EXPECT_EQ(feature({200, -99, 200}), 2);
        Remove_Probe(W(), p);
    }
}

TEST_F(CollisionWorldTest, DegenerateFacesHaveNoInterior) {
    kit::CollisionSpec spec;
    spec.parts = {"line"};
    spec.vertices = {{0, 0, 0}, {500, 0, 0}, {1000, 0, 0}};
    spec.faces.push_back({{0, 1, 2}, 0, 0});
    ObjHandle h = LoadBlock(spec, ".\\ms22\\line.3dc");
    PoolRef<CollisionFace> f = Faces(h)[0];
    CollisionProbe* p = Add_Probe(W(), 0);
    Set_ProbeRadius(p, 50);
    Vec3 c{300, -20, 10};
    Set_ProbePos(p, &c);
    int kind = Get_ClosestFeature(p, f);
    EXPECT_EQ(std::abs(kind), 1);
    Vec3 point;
    Get_ContactInfo(p, &point, nullptr, nullptr, nullptr);
    EXPECT_EQ(point, (Vec3{300, 0, 0}));
    Vec3 a{300, -100, 0}, b{300, 100, 0};
    EXPECT_EQ(Hit_SegmentFace(&a, &b, f), 0);
}

TEST_F(CollisionWorldTest, SegmentAgainstAFace) {
    kit::CollisionSpec spec;
    spec.parts = {"wall"};
    spec.vertices = {{0, 0, 0}, {0, 1000, 0}, {0, 0, 1000}};
    spec.faces.push_back({{0, 1, 2}, 0, 0});
    ObjHandle h = LoadBlock(spec, ".\\ms22\\wall.3dc");
    PoolRef<CollisionFace> f = Faces(h)[0];
    Vec3 n = Get(f, &CollisionFace::normal);
    int front = n.x > 0 ? 1 : -1;
    Vec3 a{-100, 200, 300}, b{100, 200, 300}, hit{};
    EXPECT_EQ(Hit_SegmentFace(&a, &b, f, &hit), -front);
    EXPECT_EQ(hit, (Vec3{0, 200, 300}));
    EXPECT_EQ(Hit_SegmentFace(&b, &a, f), front);
    // Through the plane outside the triangle; on one side only.
    Vec3 c{-100, 800, 800}, d{100, 800, 800};
    EXPECT_EQ(Hit_SegmentFace(&c, &d, f), 0);
    Vec3 e{50, 200, 300}, g{100, 200, 300};
    EXPECT_EQ(Hit_SegmentFace(&e, &g, f), 0);
    // A start on the plane counts on the front side; an edge is inside.
    Vec3 on{0, 200, 300};
    EXPECT_EQ(Hit_SegmentFace(&on, &a, f), 1);
    Vec3 edge0{-100, 0, 300}, edge1{100, 0, 300};
    EXPECT_NE(Hit_SegmentFace(&edge0, &edge1, f), 0);
}

TEST_F(CollisionWorldTest, SegmentWalkNeverMissesACrossedFace) {
    std::mt19937 rng(99);
    auto coord = [&](int span) { return int32_t(rng() % uint32_t(2 * span + 1)) - span; };
    kit::CollisionSpec spec = kit::RoomCollision({});
    kit::CollisionSpec pillar = kit::SolidBoxCollision({-300, 200, -300}, {300, 1218, 300});
    ObjHandle room = LoadBlock(spec, ".\\ms22\\room.3dc");
    ObjHandle block = LoadBlock(pillar, ".\\ms22\\pillar.3dc");
    kit::CollisionSpec scattered;
    scattered.parts = {"bits"};
    for (int i = 0; i < 60; ++i) {
        kit::I3 a{coord(1800), coord(1000), coord(1800)};
        int v = int(scattered.vertices.size());
        scattered.vertices.insert(scattered.vertices.end(),
                                  {a, {a.x + coord(400), a.y + coord(400), a.z}, {a.x, a.y + coord(400), a.z + coord(400)}});
        scattered.faces.push_back({{v, v + 1, v + 2}, 0, 0});
    }
    ObjHandle bits = LoadBlock(scattered, ".\\ms22\\bits.3dc");
    std::vector<PoolRef<CollisionFace>> all;
    for (ObjHandle h : {room, block, bits}) {
        Add_CollisionBlock(W(), Block(h));
        std::vector<PoolRef<CollisionFace>> f = Faces(h);
        all.insert(all.end(), f.begin(), f.end());
    }
    int crossings = 0;
    for (int i = 0; i < 3000; ++i) {
        Vec3 a{coord(2600), coord(1600), coord(2600)}, b{coord(2600), coord(1600), coord(2600)};
        // Segments along the axes and in the axis planes, where slopes do
        // not exist.
        switch (i % 6) {
        case 1: b.x = a.x; break;
        case 2: b.y = a.y; break;
        case 3: b.z = a.z; break;
        case 4: b.x = a.x, b.z = a.z; break;
        case 5: b.y = a.y, b.z = a.z; break;
        default: break;
        }
        std::set<uint32_t> candidates;
        SegmentQuery q{};
        for (PoolRef<CollisionFace> f = Next_SegmentCandidate(&q, &a, &b); f; f = Next_SegmentCandidate(&q, &a, &b)) {
            EXPECT_TRUE(candidates.insert(f.off).second) << "face met twice";
        }
        for (PoolRef<CollisionFace> f : all) {
            if (!Hit_SegmentFace(&a, &b, f)) continue;
            ++crossings;
            EXPECT_TRUE(candidates.count(f.off)) << "missed face " << f.off << " of segment " << a << " " << b;
        }
        if (HasFailure()) break;
    }
    EXPECT_GT(crossings, 1000);
}

TEST_F(CollisionWorldTest, VerticalContactUnderTheCentre) {
    ObjHandle h = LoadBlock(kit::RoomCollision({}), ".\\ms22\\room.3dc");
    Add_CollisionBlock(W(), Block(h));
    CollisionProbe* p = Add_Probe(W(), kProbeXZList);
    Vec3 c{300, 1150, -200};
    Set_ProbePos(p, &c);
    Set_ProbeRadius(p, 100);
    Update_CollisionWorld(W(), p);
    // On the x/z list: the two floor faces (their boxes cover the centre on
    // x and z) and no wall.
    std::vector<uint32_t> xz = XZList(p);
    EXPECT_EQ(xz.size(), 2u);
    int contacts = 0;
    for (uint32_t off : xz) {
        Vec3 point{};
        if (!Get_VerticalContact(p, Ref<CollisionFace>(off), &point)) continue;
        ++contacts;
        EXPECT_EQ(point, (Vec3{300, 1218, -200}));
    }
    EXPECT_EQ(contacts, 1);
    // Out of reach, and a vertical face.
    c = {300, 1000, -200};
    Set_ProbePos(p, &c);
    for (uint32_t off : xz) EXPECT_EQ(Get_VerticalContact(p, Ref<CollisionFace>(off), nullptr), 0);
    for (PoolRef<CollisionFace> f : Faces(h)) {
        if (Get(f, &CollisionFace::normal).y == 0) {
            EXPECT_EQ(Get_VerticalContact(p, f, nullptr), 0);
        }
    }
}

}  // namespace
