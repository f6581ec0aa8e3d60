// The box collision service: bodies that are box records of scene nodes
// (their world corners and extents, which the scene walk refreshes every
// frame).  A broad phase keeps the bodies' extents sorted on the three world
// axes and the list of pairs whose extents overlap on all three; a narrow
// phase finds the closest points of a pair's boxes by walking corners,
// edges, faces and interior through their Voronoi regions, starting from
// the features it found for that pair the last time.
//
// A body is named by (node handle, box number) and resolved to its box
// record whenever it is read, never kept as a record address: the record
// moves when the library compacts.
#pragma once

#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_collgeom.h"

#include <cstdint>

constexpr int32_t kMaxBoxBodies = 32768;
constexpr int kBoxFeatureCount = 27;

// Pair byte bits.
constexpr uint8_t kPairOverlapX = 0x01;
constexpr uint8_t kPairOverlapY = 0x02;
constexpr uint8_t kPairOverlapZ = 0x04;
constexpr uint8_t kPairListed = 0x08;
constexpr uint8_t kPairDisabled = 0x10;

struct BoxBody {
    ObjHandle handle;  // -1 when free
    uint16_t box;      // 0xFFFF when free
    int32_t next;      // used list, or free list (n ends it)
    int32_t prev;      // used list
    // The box as last read from its record: world corners and extents.
    float corner[8][3];
    float min[3];
    float max[3];
};

struct BoxPair {
    int32_t a, b;          // body indices, the larger first
    int32_t featureA;      // features the narrow phase found last
    int32_t featureB;
    BoxPair* next;
};

// Feature kinds.
constexpr int kFeatureCorner = 3;
constexpr int kFeatureEdge = 4;
constexpr int kFeatureFace = 5;
constexpr int kFeatureInterior = 6;

// One feature of a box: its corners (a face's first two words give its
// outward normal as corner first minus corner second, then its four corners;
// -1 past the last) and its Voronoi planes: p lies outside the region across
// plane (a, b, c) when (p - corner a) . (corner b - corner c) < 0, and the
// closest feature then moves to the plane's neighbour.
struct BoxFeaturePlane {
    int8_t a, b, c, neighbour;
};
struct BoxFeature {
    int kind;
    int8_t corners[6];
    int planeCount;
    BoxFeaturePlane planes[6];
};
extern const BoxFeature kBoxFeatures[kBoxFeatureCount];

// The service's state.
extern BoxBody* g_BoxBodies;
extern int32_t g_BoxBodyLimit;    // n
extern int32_t g_BoxBodyCount;    // bodies in use
extern int32_t g_BoxUsedHead, g_BoxUsedTail, g_BoxFreeHead;
extern uint16_t* g_BoxEndpoints[3];  // 2n entries each: body | 0x8000 for a minimum
extern uint8_t* g_BoxPairBytes;      // n(n - 1)/2
extern BoxPair* g_BoxPairs;
extern int32_t g_BoxPairCount;

// 0, or -1 when n is outside 1..32768 or an allocation fails.
int Init_BoxCollision(int32_t n);
void Free_BoxCollision();
// 0, or -1 when the body is present, every body is in use or the box does
// not exist.
int Add_BoxBody(ObjHandle handle, int32_t box);
// 0 (also when the body is absent).
int Remove_BoxBody(ObjHandle handle, int32_t box);
// 0, or -1 when either body is absent; nothing for a body paired with itself.
int Enable_BoxPair(ObjHandle h1, int32_t box1, ObjHandle h2, int32_t box2);
int Disable_BoxPair(ObjHandle h1, int32_t box1, ObjHandle h2, int32_t box2);
// Reads every body's box again, sorts the three endpoint lists and keeps the
// pair list; answers the pair count.
int32_t Update_BoxCollision();
// The k-th pair (0 = newest): both handles and box numbers and the closest
// points of the two boxes (truncated); 0, or -1 past the end.
int Get_BoxPair(int32_t k, ObjHandle* h1, int32_t* box1, ObjHandle* h2, int32_t* box2, int32_t pointA[3],
                int32_t pointB[3]);
// The closest points of two bodies' boxes, searched from features 0 and 0;
// 0, or -1 when either body is absent.
int Get_BoxClosestPoints(ObjHandle h1, int32_t box1, ObjHandle h2, int32_t box2, int32_t pointA[3],
                         int32_t pointB[3]);
// The midpoints between world corner 0 of a node's box record and its world
// corners 6, 1, 4 and 3, in that order; -1 when the box does not exist.
int Get_BoxMidpoints(ObjHandle h, int32_t box, int32_t points[4][3]);

// The index of a body in the used list, -1 when absent.
int32_t Find_BoxBody(ObjHandle handle, int32_t box);
void Add_BoxPair(int32_t i, int32_t j);
void Remove_BoxPair(int32_t i, int32_t j);
// The pair byte of two different bodies.
uint8_t* Get_BoxPairByte(int32_t i, int32_t j);

// A node's box-record count (-1 for a bad handle) and box record i (null
// when there is none).
int32_t Get_ObjBoxCount(ObjHandle h);
PoolRef<BoxRecord> Get_ObjBox(ObjHandle h, int32_t i);

// The narrow phase over two boxes' eight world corners.
struct BoxCorners {
    D3 c[8];
};
// Up to 16 feature-pair tests; answers the step that succeeded (0 to 15)
// with the closest points written, or 16 when none did, after which both
// features start again from a random choice.
int Track_ClosestFeatures(int32_t* fa, int32_t* fb, const BoxCorners& a, const BoxCorners& b, D3* pointA, D3* pointB);
// Moves the feature to the neighbour of the first of its planes the point
// lies outside and answers 0; 1 when it lies inside them all.
int Step_FeatureRegion(int32_t* feature, const D3& point, const BoxCorners& box);
// The same without moving the feature.
int Test_FeatureRegion(int32_t feature, const D3& point, const BoxCorners& box);

// Geometry of the narrow phase.
// The point of the line through a and b nearest to p (a when they meet).
D3 Closest_PointOnLine(const D3& p, const D3& a, const D3& b);
// Where the line through p along dir meets the plane through o with normal n
// (p itself when the line runs along the plane).
D3 Project_PointOnLine(const D3& p, const D3& dir, const D3& o, const D3& n);
// Where the line through a and b meets that plane (a when it runs along it).
D3 Intersect_LinePlane(const D3& a, const D3& b, const D3& o, const D3& n);
// The nearest points of the segments a0-a1 and b0-b1.
void Closest_SegmentPoints(const D3& a0, const D3& a1, const D3& b0, const D3& b1, D3* pa, D3* pb);
