// Room collision on the demo room and kit fixtures: loading and freeing,
// sphere pushes, sweeps, the touched-face limit, falling and lines of sight.
#include "engine3d/dqx_hooks.h"
#include "test_collision.h"

#include <cmath>
#include <random>

namespace {

using test::CollisionTest;

class RoomCollisionTest : public CollisionTest {
protected:
    // The demo room: floor at y = 1218 (y points down), walls at x and z =
    // +-2000, no ceiling.
    ObjHandle LoadRoom(const kit::RoomShape& shape = {}) { return LoadCollision(kit::RoomCollision(shape)); }
};

TEST_F(RoomCollisionTest, LoadRegistersTheFacesAndFreeTakesThemBack) {
    ObjHandle h = LoadRoom();
    ASSERT_GT(h, 0);
    EXPECT_EQ(g_CollisionHandle, h);
    ASSERT_NE(g_CollisionProbe, nullptr);
    EXPECT_EQ(g_CollisionWorld->boxCount, 10);
    EXPECT_EQ(g_CollisionWorld->probeCount, 1);
    EXPECT_EQ(g_CollisionProbe->flags, 14);

    Free_Collision();
    EXPECT_EQ(g_CollisionHandle, -1);
    EXPECT_EQ(g_CollisionProbe, nullptr);
    EXPECT_EQ(g_CollisionWorld->boxCount, 0);
    EXPECT_EQ(g_CollisionWorld->probeCount, 0);
    EXPECT_EQ(Get_Obj(h), 0u);
    // No world: a sweep reports nothing and leaves the point.
    ObjHandle cube = PlaceCube({0, 600, 0});
    Vec3 p{-300, 600, 0};
    EXPECT_EQ(Sweep_Collision(cube, &p, 0, 100), 0);
    EXPECT_EQ(p, (Vec3{-300, 600, 0}));
    Free_Collision();  // nothing held: nothing happens
    EXPECT_NE(Get_Obj(cube), 0u);
}

TEST_F(RoomCollisionTest, MissingOrForeignFilesAreFatal) {
    EXPECT_EQ(Fatal([] { Load_Collision(".\\ms22\\none.3dc"); }), "dqx_3d.c:Collision:.\\ms22\\none.3dc not found");
    Put(".\\ms22\\cube.3dc", kit::BuildObject(kit::Cube("c", 10, 1), nullptr));
    EXPECT_EQ(Fatal([] { Load_Collision(".\\ms22\\cube.3dc"); }), "dqx_3d.c:Collision:.\\ms22\\cube.3dc not found");
    EXPECT_EQ(g_CollisionHandle, -1);
    EXPECT_EQ(g_CollisionProbe, nullptr);
}

TEST_F(RoomCollisionTest, FreeingTheBlockBehindItsBackForgetsIt) {
    ObjHandle h = LoadRoom();
    ASSERT_EQ(Free_Object(h), 0);
    EXPECT_EQ(g_CollisionHandle, -1);
    EXPECT_EQ(g_CollisionProbe, nullptr);
    EXPECT_EQ(g_CollisionWorld->boxCount, 0);
    // The slot goes to the next object; Free_Collision must not free it.
    ObjHandle cube = PlaceCube({0, 0, 0});
    EXPECT_EQ(cube, h);
    Free_Collision();
    EXPECT_NE(Get_Obj(cube), 0u);
}

TEST_F(RoomCollisionTest, LibraryRestartEmptiesTheWorld) {
    LoadRoom();
    Init_3DMemory();
    EXPECT_EQ(g_CollisionHandle, -1);
    EXPECT_EQ(g_CollisionProbe, nullptr);
    ASSERT_NE(g_CollisionWorld, nullptr);
    EXPECT_EQ(g_CollisionWorld->boxCount, 0);
    Vec3 c{0, 1200, 0};
    EXPECT_EQ(Collide_Sphere(&c, 50), 0);
}

TEST_F(RoomCollisionTest, SpherePushedOutOfFloorAndWallsByItsRadius) {
    LoadRoom();
    Vec3 c{500, 1200, -300};
    EXPECT_EQ(Collide_Sphere(&c, 50), 1);
    EXPECT_EQ(c, (Vec3{500, 1168, -300}));
    // Already at its radius from the floor: nothing touches.
    EXPECT_EQ(Collide_Sphere(&c, 50), 0);
    EXPECT_EQ(c, (Vec3{500, 1168, -300}));

    c = {1980, 600, 300};
    EXPECT_EQ(Collide_Sphere(&c, 50), 1);
    EXPECT_EQ(c, (Vec3{1950, 600, 300}));
    c = {-300, 600, -1990};
    EXPECT_EQ(Collide_Sphere(&c, 80), 1);
    EXPECT_EQ(c, (Vec3{-300, 600, -1920}));
    // Into a corner of the room: out of both walls.
    c = {1990, 600, 1985};
    EXPECT_EQ(Collide_Sphere(&c, 50), 2);
    EXPECT_EQ(c, (Vec3{1950, 600, 1950}));
    // Open space.
    c = {0, 0, 0};
    EXPECT_EQ(Collide_Sphere(&c, 50), 0);
    EXPECT_EQ(g_TouchedFaceCount, 0);
    // A sphere without size touches nothing.
    c = {1990, 600, 0};
    EXPECT_EQ(Collide_Sphere(&c, 0), 0);
    EXPECT_EQ(c, (Vec3{1990, 600, 0}));
    // The faces' other side is not pushed.
    c = {2020, 600, 0};
    EXPECT_EQ(Collide_Sphere(&c, 50), 0);
    EXPECT_EQ(c, (Vec3{2020, 600, 0}));
}

TEST_F(RoomCollisionTest, SpherePushedOffAnEdgeAlongTheWayFromIt) {
    LoadCollision(kit::SolidBoxCollision({-100, 0, -100}, {100, 1218, 100}));
    Vec3 c{130, 600, 130};
    EXPECT_GE(Collide_Sphere(&c, 50), 1);
    // 100 + 30 x 50 / (30 sqrt 2), truncated.
    EXPECT_EQ(c, (Vec3{135, 600, 135}));
    // Straight out from a flat side.
    c = {-120, 300, 0};
    EXPECT_EQ(Collide_Sphere(&c, 50), 1);
    EXPECT_EQ(c, (Vec3{-150, 300, 0}));
    // Off the top corner, along the diagonal.
    c = {110, -10, 110};
    EXPECT_GE(Collide_Sphere(&c, 60), 1);
    double d = std::sqrt(std::pow(c.x - 100, 2) + std::pow(c.y, 2) + std::pow(c.z - 100, 2));
    EXPECT_NEAR(d, 60, 1.5);
    EXPECT_EQ(c.x, c.z);
    EXPECT_LT(c.y, 0);
}

TEST_F(RoomCollisionTest, SweepTestsOnceOrInStepsOfHalfTheRadius) {
    LoadRoom();
    ObjHandle cube = PlaceCube({0, 600, 0});
    // From the object's own position: one test, there.
    Vec3 p{0, 600, 0};
    EXPECT_EQ(Sweep_Collision(cube, &p, 0, 100), 0);
    EXPECT_EQ(p, (Vec3{0, 600, 0}));
    // Nearer than half the radius: one step, the whole way; a clear sweep
    // leaves the point at its last test, the object's position.
    p = {-20, 600, 0};
    EXPECT_EQ(Sweep_Collision(cube, &p, 0, 100), 0);
    EXPECT_EQ(p, (Vec3{0, 600, 0}));
    // Three radii away: 2 x 3r / r + 1 = 7 tests, the last at the object.
    for (int32_t r : {40, 100, 250}) {
        p = {-3 * r, 600, 0};
        EXPECT_EQ(Sweep_Collision(cube, &p, 0, r), 0) << r;
        EXPECT_EQ(p, (Vec3{0, 600, 0})) << r;
    }
    // Mode bit 0 aims 300 below the object.
    Vec3 high{0, 300, 0};
    Set_ObjPos(cube, &high);
    p = {-300, 600, 0};
    EXPECT_EQ(Sweep_Collision(cube, &p, 1, 100), 0);
    EXPECT_EQ(p, (Vec3{0, 600, 0}));
    // A sphere of radius 0 or less: one test at the point.
    p = {-300, 600, 0};
    EXPECT_EQ(Sweep_Collision(cube, &p, 0, 0), 0);
    EXPECT_EQ(p, (Vec3{-300, 600, 0}));
    EXPECT_EQ(Sweep_Collision(cube, &p, 0, -7), 0);
    EXPECT_EQ(p, (Vec3{-300, 600, 0}));
    // A bad handle sweeps nothing.
    EXPECT_EQ(Sweep_Collision(-1, &p, 0, 100), 0);
}

TEST_F(RoomCollisionTest, SweepStopsAtTheFirstTouchPushedClear) {
    LoadRoom();
    // The seventh test, at the object near the wall, is the first to touch.
    ObjHandle cube = PlaceCube({1920, 600, 0});
    Vec3 p{1620, 600, 0};
    EXPECT_EQ(Sweep_Collision(cube, &p, 0, 100), 1);
    EXPECT_EQ(p, (Vec3{1900, 600, 0}));
    // Beyond the wall: the sweep meets it on the way and stops there.
    Vec3 outside{2600, 600, 0};
    Set_ObjPos(cube, &outside);
    p = {1000, 600, 0};
    EXPECT_EQ(Sweep_Collision(cube, &p, 0, 100), 1);
    EXPECT_EQ(p, (Vec3{1900, 600, 0}));
}

TEST_F(RoomCollisionTest, SweepReachesAnObjectJustBehindAWall) {
    LoadRoom();
    // The last test stands at the object itself, however the move divides
    // into steps: an object less than a radius behind a wall (x or z =
    // +-2000) is met, and the point is pushed clear to a radius inside.
    // Each row's move is one whose n steps of the move truncated to whole
    // units would end their tests (d mod n) short of the object, out of
    // the wall's reach.
    struct Row {
        Vec3 from, object;
        int32_t radius;
        Vec3 pushed;
    };
    const Row rows[] = {
        {{-1000, 600, 0}, {2040, 600, 0}, 50, {1950, 600, 0}},       // d 3040, n 122: 112 short
        {{0, 600, 1500}, {0, 600, -2030}, 60, {0, 600, -1940}},      // d 3530, n 118: 108 short
        {{-1900, 600, 300}, {2025, 600, 300}, 30, {1970, 600, 300}},  // d 3925, n 262: 257 short
        {{300, 600, 600}, {300, 600, -2010}, 20, {300, 600, -1980}},  // d 2610, n 262: 252 short
    };
    ObjHandle cube = PlaceCube({0, 600, 0});
    for (const Row& row : rows) {
        Set_ObjPos(cube, &row.object);
        Vec3 p = row.from;
        EXPECT_EQ(Sweep_Collision(cube, &p, 0, row.radius), 1) << row.object;
        EXPECT_EQ(p, row.pushed) << row.object;
    }
    // Any such move: from inside the room to an object within the radius
    // behind the wall at x = 2000.
    std::mt19937 random(28);
    auto in = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
    for (int trial = 0; trial < 500; ++trial) {
        int32_t r = in(10, 200);
        Vec3 from{in(-1700, 1500), in(0, 1000), in(-1700, 1700)};
        Vec3 object{2000 + in(0, r - 1), from.y + in(-5, 5), from.z + in(-5, 5)};
        Set_ObjPos(cube, &object);
        Vec3 p = from;
        ASSERT_EQ(Sweep_Collision(cube, &p, 0, r), 1) << from << " to " << object << " radius " << r;
        EXPECT_EQ(p.x, 2000 - r) << from << " to " << object << " radius " << r;
    }
}

TEST_F(RoomCollisionTest, TwoHundredFiftyFiveTouchedFacesAndNoMore) {
    LoadCollision(kit::FanCollision(255, {0, 1000, 0}, 1000));
    Vec3 c{10, 980, 5};
    EXPECT_EQ(Fatal([&] { Collide_Sphere(&c, 50); }), "");
    EXPECT_EQ(g_TouchedFaceCount, 255);
    EXPECT_EQ(c.y, 950);
    Free_Collision();

    LoadCollision(kit::FanCollision(256, {0, 1000, 0}, 1000), ".\\ms22\\fan.3dc");
    c = {10, 980, 5};
    EXPECT_EQ(Fatal([&] { Collide_Sphere(&c, 50); }), "dqx_3d.c:Trop de face!");
}

TEST_F(RoomCollisionTest, GravityComesToRestOnTheFloor) {
    LoadRoom();
    ObjHandle cube = PlaceCube({300, 600, 200});
    int32_t counter = 0;
    for (int frame = 0; frame < 100; ++frame) counter = Apply_Gravity(cube, counter);
    // At rest where the sphere of radius 50 was pushed clear of the floor
    // (1218), and staying there.
    EXPECT_EQ(Pos(cube).y, 1168);
    for (int frame = 0; frame < 30; ++frame) {
        counter = Apply_Gravity(cube, counter);
        EXPECT_EQ(Pos(cube).y, 1168);
        EXPECT_LE(counter, 1);
    }
    EXPECT_EQ(Pos(cube).x, 300);
    EXPECT_EQ(Pos(cube).z, 200);
    // Just above the ground level the sphere touches the floor: pushed
    // clear, the fall stops.
    Vec3 low{300, 1175, 200};
    Set_ObjPos(cube, &low);
    EXPECT_EQ(Apply_Gravity(cube, 9), 0);
    EXPECT_EQ(Pos(cube), (Vec3{300, 1168, 200}));
    // At the pushed-clear height nothing touches: it starts falling again,
    // and its first unit of fall touches the floor and stops there.
    EXPECT_EQ(Apply_Gravity(cube, 0), 1);
    EXPECT_EQ(Pos(cube).y, 1168);
    EXPECT_EQ(Apply_Gravity(cube, 1), 0);
    EXPECT_EQ(Pos(cube).y, 1168);
}

TEST_F(RoomCollisionTest, FastFallStopsOnTheFloorItWouldPass) {
    // A block whose top is a floor at y = 800, between x and z = +-500.  A
    // fall is swept: it stops at the first touch, pushed clear to a radius
    // (50) above the floor, and it ends at the ground level (1180) at the
    // latest.
    LoadCollision(kit::SolidBoxCollision({-500, 800, -500}, {500, 1218, 500}));
    struct Row {
        Vec3 start;
        int32_t factor, counter;
        int32_t y, next;
    };
    const Row rows[] = {
        {{0, 500, 0}, 30, 20, 750, 0},      // 600 in one frame, through the top
        {{100, 700, -300}, 1, 400, 750, 0},  // 400 from just above it
        {{0, 500, 0}, 3, 2, 506, 3},        // a slow fall goes on as before
        {{1000, 1000, 0}, 30, 20, 1180, 21},  // beside the block: down to the ground
    };
    ObjHandle cube = PlaceCube({0, 0, 0});
    static int32_t factor;
    EngineServices.FrameTickFactor = [] { return factor; };
    for (const Row& row : rows) {
        factor = row.factor;
        Set_ObjPos(cube, &row.start);
        EXPECT_EQ(Apply_Gravity(cube, row.counter), row.next) << row.start;
        EXPECT_EQ(Pos(cube), (Vec3{row.start.x, row.y, row.start.z})) << row.start;
    }
}

TEST_F(RoomCollisionTest, GravityFallsByTheFrameFactorUntilTheGround) {
    // No collision object: only the ground level stops the fall.
    ObjHandle cube = PlaceCube({0, 1000, 0});
    EngineServices.FrameTickFactor = [] { return 3; };
    EXPECT_EQ(Apply_Gravity(cube, 0), 1);
    EXPECT_EQ(Pos(cube).y, 1000);
    EXPECT_EQ(Apply_Gravity(cube, 1), 2);
    EXPECT_EQ(Pos(cube).y, 1003);
    EXPECT_EQ(Apply_Gravity(cube, 10), 11);
    EXPECT_EQ(Pos(cube).y, 1033);
    int32_t counter = 11;
    for (int i = 0; i < 20; ++i) counter = Apply_Gravity(cube, counter);
    EXPECT_EQ(counter, 0);
    int32_t rest = Pos(cube).y;
    EXPECT_GE(rest, 1180);
    EXPECT_EQ(Apply_Gravity(cube, counter), 0);
    EXPECT_EQ(Pos(cube).y, rest);
    // At the ground level exactly: counter 0, left in place.
    Vec3 ground{5, 1180, 5};
    Set_ObjPos(cube, &ground);
    EXPECT_EQ(Apply_Gravity(cube, 7), 0);
    EXPECT_EQ(Pos(cube), ground);
}

TEST_F(RoomCollisionTest, LineOfSightInOpenSpaceAndThroughWalls) {
    LoadRoom();
    Vec3 a{-500, 300, -500}, b{700, 900, 400};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 1);
    // Level segments are nudged and still clear in open space.
    a = {-500, 500, 0}, b = {500, 500, 0};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 1);
    EXPECT_EQ(Test_LineOfSight(&b, &a), 1);
    // Level through a wall.
    a = {0, 500, 0}, b = {0, 500, 2500};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    EXPECT_EQ(Test_LineOfSight(&b, &a), 0);
    // Equal x, equal z, and both (a vertical line through the floor).
    a = {100, 300, 0}, b = {100, 700, 3000};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    a = {0, 300, 500}, b = {-3000, 700, 500};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    a = {10, 500, 10}, b = {10, 1500, 10};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    a = {10, 500, 10}, b = {10, 1100, 10};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 1);
    // Along the floor's diagonal, where its two faces meet.
    a = {-1000, 1000, -1000}, b = {1000, 1300, 1000};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    // Outside the room entirely (beyond a wall, below the floor).
    a = {2500, 300, 0}, b = {2600, 1500, 900};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 1);
}

TEST_F(RoomCollisionTest, LineOfSightAfterAnAbortedQuery) {
    LoadRoom();
    // The first query stops at its first hit, halfway through the walk.
    Vec3 a{0, 500, 0}, b{2500, 500, 2500};
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    // Later queries start their own walk: blocked elsewhere, clear inside.
    Vec3 c{0, 400, 0}, d{-2500, 600, 0};
    EXPECT_EQ(Test_LineOfSight(&c, &d), 0);
    Vec3 e{-100, 400, -100}, f{100, 600, 100};
    EXPECT_EQ(Test_LineOfSight(&e, &f), 1);

    // The walk itself: a query abandoned after one answer leaves nothing
    // behind for a new one.
    SegmentQuery aborted{};
    EXPECT_TRUE(Next_SegmentCandidate(&aborted, &a, &b));
    std::vector<uint32_t> fresh, again;
    SegmentQuery q{};
    for (PoolRef<CollisionFace> x = Next_SegmentCandidate(&q, &c, &d); x; x = Next_SegmentCandidate(&q, &c, &d))
        fresh.push_back(x.off);
    SegmentQuery r{};
    for (PoolRef<CollisionFace> x = Next_SegmentCandidate(&r, &c, &d); x; x = Next_SegmentCandidate(&r, &c, &d))
        again.push_back(x.off);
    EXPECT_FALSE(fresh.empty());
    EXPECT_EQ(fresh, again);
    // The walk's end resets the record: the same record walks again.
    std::vector<uint32_t> reused;
    for (PoolRef<CollisionFace> x = Next_SegmentCandidate(&q, &c, &d); x; x = Next_SegmentCandidate(&q, &c, &d))
        reused.push_back(x.off);
    EXPECT_EQ(reused, fresh);
}

TEST_F(RoomCollisionTest, LineOfSightFollowsTheRoomsCollisionSwap) {
    kit::RoomShape big;
    big.min = {-3000, -800, -3000};
    big.max = {3000, 1218, 3000};
    Vec3 a{0, 400, 0}, b{2500, 600, 0}, c{3500, 600, 0};
    LoadRoom();
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    // A query left halfway in the old room.
    SegmentQuery stale{};
    EXPECT_TRUE(Next_SegmentCandidate(&stale, &a, &b));

    Free_Collision();
    EXPECT_EQ(Test_LineOfSight(&a, &b), 1);
    LoadCollision(kit::RoomCollision(big), ".\\ms22\\room2c.3dc");
    EXPECT_EQ(Test_LineOfSight(&a, &b), 1);
    EXPECT_EQ(Test_LineOfSight(&a, &c), 0);
    // The stale walk ends instead of reading the new arrays with its old place.
    EXPECT_FALSE(Next_SegmentCandidate(&stale, &a, &b));
    // Sphere tests follow too: the old wall at 2000 is gone.
    Vec3 s{1990, 600, 0};
    EXPECT_EQ(Collide_Sphere(&s, 50), 0);
    s = {2990, 600, 0};
    EXPECT_EQ(Collide_Sphere(&s, 50), 1);
    EXPECT_EQ(s.x, 2950);
}

TEST_F(RoomCollisionTest, LoadingAnotherRoomsCollisionFreesTheOneHeld) {
    kit::RoomShape big;
    big.min = {-3000, -800, -3000};
    big.max = {3000, 1218, 3000};
    Vec3 a{0, 400, 0}, b{2500, 600, 0}, c{3500, 600, 0};
    ObjHandle first = LoadRoom();
    EXPECT_EQ(Test_LineOfSight(&a, &b), 0);
    // The next room's collision, with no Free_Collision between: the first
    // room's walls at +-2000 leave the world with their object.
    ObjHandle second = LoadCollision(kit::RoomCollision(big), ".\\ms22\\room2c.3dc");
    EXPECT_EQ(g_CollisionHandle, second);
    EXPECT_EQ(Get_Obj(first), 0u);
    EXPECT_EQ(g_CollisionWorld->boxCount, 10);
    EXPECT_EQ(g_CollisionWorld->probeCount, 1);
    EXPECT_EQ(Test_LineOfSight(&a, &b), 1);
    EXPECT_EQ(Test_LineOfSight(&a, &c), 0);
    Vec3 s{1990, 600, 0};
    EXPECT_EQ(Collide_Sphere(&s, 50), 0);
    // The same file again: one copy in the world.
    LoadCollision(kit::RoomCollision(big), ".\\ms22\\room2c.3dc");
    EXPECT_EQ(g_CollisionWorld->boxCount, 10);
    Free_Collision();
    EXPECT_EQ(g_CollisionWorld->boxCount, 0);
    EXPECT_EQ(Test_LineOfSight(&a, &c), 1);
}

TEST_F(RoomCollisionTest, CharacterLineOfSightAndTheOneWayWalk) {
    LoadRoom();
    struct Character {
        ObjHandle object;
        int32_t life;
    };
    Character hero{PlaceCube({-500, 600, 0}, ".\\ms22\\hero.3dc"), 100};
    Character guard{PlaceCube({500, 600, 300}, ".\\ms22\\guard.3dc"), 100};
    Character away{PlaceCube({2500, 600, 0}, ".\\ms22\\away.3dc"), 100};
    Character ghost{-1, 0};
    EXPECT_EQ(Test_CharLineOfSight(&hero, &guard), 1);
    EXPECT_EQ(Test_CharLineOfSight(&hero, &away), 0);
    EXPECT_EQ(Test_CharLineOfSight(&hero, &ghost), 0);

    Vec3 a{0, 500, 0}, b{3000, 500, 0}, crossing{};
    EXPECT_EQ(Find_LineCrossing(&a, &b, &crossing), 0);
    EXPECT_NEAR(crossing.x, 2000, 1);
    EXPECT_EQ(crossing.y, 500);
    Vec3 e{-100, 400, 0}, f{100, 600, 0};
    EXPECT_EQ(Find_LineCrossing(&e, &f, &crossing), 1);
}

}  // namespace
