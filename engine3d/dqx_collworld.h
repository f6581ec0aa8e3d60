// The collision world: the faces of the loaded collision blocks (type 5)
// with their axis-aligned boxes, and the probes that move through them.
//
// For each axis the world keeps one array of box endpoints sorted by
// coordinate.  A probe is a sphere; it keeps its interval on every axis as
// two positions in that axis's array and an incremental record of the boxes
// its intervals overlap (sweep and prune): a tree of overlap nodes ordered by
// face, with a bit per axis, and two lists drawn from it, the boxes met on
// all three axes (the full list) and those met on x and z (the x/z list).
//
// The world also answers which faces a segment may cross (a walk over the x
// endpoints with a query record of its own), whether a segment crosses a
// face, and how a probe's sphere touches a face.
//
// Faces are read in place from the pool: collision blocks never move.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kMaxProbes = 255;

// Probe flag bits.
constexpr uint8_t kProbeFullList = 0x04;  // keep the list of boxes met on x, y and z
constexpr uint8_t kProbeXZList = 0x08;    // keep the list of boxes met on x and z

// Axis bits of an overlap node.
constexpr uint8_t kAxisX = 0x01;
constexpr uint8_t kAxisY = 0x02;
constexpr uint8_t kAxisZ = 0x04;

// One end of a face's box on one axis.  The coordinate is read from the face
// when the face is added and kept here (the faces' boxes never change while
// they are in the world).
struct CollisionEndpoint {
    PoolRef<CollisionFace> face;
    uint8_t kind;   // 0: the box's minimum on the axis, 1: its maximum
    int32_t value;  // that coordinate
};

struct OverlapLink;

// A box that the probe overlaps on at least one axis.
struct OverlapNode {
    PoolRef<CollisionFace> key;
    uint8_t mask;  // kAxisX | kAxisY | kAxisZ
    OverlapNode* left;
    OverlapNode* right;
    OverlapLink* full;  // link in the full list, or null
    OverlapLink* xz;    // link in the x/z list, or null
};

struct OverlapLink {
    OverlapNode* node;
    OverlapLink* next;
    OverlapLink* prev;
};

// The four vectors of a probe's last contact with a face.
struct CollisionContact {
    Vec3 point;   // the nearest point of the face
    Vec3 normal;  // the face's plane normal (Q15)
    Vec3 centre;  // the sphere's centre when it was tested
    Vec3 offset;  // centre - point
    PoolRef<CollisionFace> face;
};

struct CollisionProbe {
    Vec3 centre;
    int32_t radius;
    uint8_t flags;
    // Per axis: how many endpoints lie below the interval's lower bound, and
    // how many lie at or below its upper bound.
    int32_t lower[3];
    int32_t upper[3];
    OverlapNode* root;
    OverlapLink* fullHead;
    OverlapLink* xzHead;
    // Where Next_ProbeOverlap and Next_ProbeXZOverlap stand; a walk that is
    // not under way starts at the head.
    OverlapLink* fullCursor;
    OverlapLink* xzCursor;
    bool fullWalking;
    bool xzWalking;
    CollisionContact contact;
};

struct CollisionWorld {
    int32_t boxCount;
    std::vector<CollisionEndpoint> axis[3];  // 2 x boxCount entries each, sorted
    CollisionProbe* probes[kMaxProbes];
    int32_t probeCount;
    // Overlap nodes made and freed by the last update, and those alive.
    int32_t added, removed, live;
    // Changes whenever faces come or go; a segment query made before stops.
    uint32_t generation;
};

// The world the room collision and the segment queries use.
extern CollisionWorld* g_CollisionWorld;

// Allocation of overlap nodes and list links: a pair of hooks for each; a
// hook left null takes the runtime heap.  Blocks handed out must be zeroed.
struct CollisionAllocHooks {
    void* (*AllocNode)(size_t size);
    void (*FreeNode)(void* p);
    void* (*AllocLink)(size_t size);
    void (*FreeLink)(void* p);
};
extern CollisionAllocHooks g_CollisionAlloc;

CollisionWorld* Create_CollisionWorld();
// Frees the world with its probes.
void Destroy_CollisionWorld(CollisionWorld* world);
// Adds every face of a collision block (its pool offset) and sorts the three
// endpoint arrays; a block already in the world is not added again.  Every
// probe's overlap state starts again.
void Add_CollisionBlock(CollisionWorld* world, uint32_t block);
// Drops the endpoints of the block's faces and closes the gaps; every
// probe's overlap state starts again.
void Remove_CollisionBlock(CollisionWorld* world, uint32_t block);

// A new probe (centre 0, radius 0), or null when the world holds 255.
CollisionProbe* Add_Probe(CollisionWorld* world, uint8_t flags);
// Frees the probe; the last probe takes its place.  0, or -1 when the probe
// is not the world's.
int Remove_Probe(CollisionWorld* world, CollisionProbe* probe);
int Set_ProbePos(CollisionProbe* probe, const Vec3* centre);
// Values <= 0 are ignored.
int Set_ProbeRadius(CollisionProbe* probe, int32_t radius);
// Sets the flags and forgets everything the probe overlapped.
int Set_ProbeFlags(CollisionProbe* probe, uint8_t flags);
// Forgets everything the probe overlapped: the next update finds it all
// again from the start of the arrays.
void Reset_ProbeOverlaps(CollisionProbe* probe);

// Sweeps the probe's interval through the x, y and z arrays, keeping its
// tree and lists, then restarts both list walks.
void Update_CollisionWorld(CollisionWorld* world, CollisionProbe* probe);
// The next face of the full list, or null at the end (after which the walk
// starts again at the head).
PoolRef<CollisionFace> Next_ProbeOverlap(CollisionProbe* probe);
// The same over the x/z list.
PoolRef<CollisionFace> Next_ProbeXZOverlap(CollisionProbe* probe);
// The overlap node of a face, or null.
const OverlapNode* Find_ProbeOverlap(const CollisionProbe* probe, PoolRef<CollisionFace> face);

// How the probe's sphere touches the face: 0 none, +-2 the face's interior,
// +-1 an edge or a corner (the sign is the side of the plane the centre lies
// on).  A contact is kept as the probe's last contact.
int Get_ClosestFeature(CollisionProbe* probe, PoolRef<CollisionFace> face);
// Copies the vectors of the probe's last contact (any pointer may be null)
// and answers the owner part of its face (null when there was none).
PoolRef<CollisionPart> Get_ContactInfo(const CollisionProbe* probe, Vec3* point, Vec3* normal, Vec3* centre,
                                       Vec3* offset);
// The point of the face's plane straight above or below the probe's centre,
// found when the face is not vertical, the centre lies over the face's
// triangle in the x/z plane and that point lies within the radius: 1 then,
// else 0.
int Get_VerticalContact(const CollisionProbe* probe, PoolRef<CollisionFace> face, Vec3* point);

// A segment query: zero-initialise one per segment (or after the walk has
// answered null) and hand it to every call of the walk.
struct SegmentQuery {
    int32_t cursor;  // next x endpoint to look at; 0 = not started
    bool started;
    uint32_t generation;
    Vec3 lo, hi;     // the segment's box
    // du/dw for the ordered axis pairs, and whether dw is 0.
    double slope[3][3];
    bool flat[3];
};
// The next face of the current world whose box the segment from start to
// end may cross, or null at the end.  Each face is met once.
PoolRef<CollisionFace> Next_SegmentCandidate(SegmentQuery* query, const Vec3* start, const Vec3* end);
// 0 when the segment does not cross the face, else the side of the start
// (-1 or +1).  The crossing point goes to hit when it is not null.
int Hit_SegmentFace(const Vec3* start, const Vec3* end, PoolRef<CollisionFace> face, Vec3* hit = nullptr);

// The face's box with each axis's ends in order.
void Get_FaceBox(PoolRef<CollisionFace> face, Vec3* lo, Vec3* hi);

// Debug drawing over the 3D picture into a 16-bit buffer laid out like the
// view (nothing in the program calls these).  World points go to camera
// space through the camera node; a point is visible when its camera depth
// is beyond the near depth, and only visible points are projected.
void Draw_Point3D(uint16_t* buffer, const Vec3* point, uint16_t colour);
// Nothing unless both ends are visible.
void Draw_Line3D(uint16_t* buffer, const Vec3* a, const Vec3* b, uint16_t colour);
// The probe's centre, and for every face on its full list the three edges
// of its box from the box's lowest corner; with a visible centre, a line to
// each face's contact point.
void Draw_ProbeOverlaps(uint16_t* buffer, CollisionProbe* probe, uint16_t centreColour, uint16_t faceColour);
// The probe's centre, and (only when it is visible) for every face on its
// x/z list with a vertical contact, the contact point (0xFF00) and the
// face's edges (0xFFFF).
void Draw_ProbeXZContacts(uint16_t* buffer, CollisionProbe* probe, uint16_t colour);
void Draw_FaceEdges(uint16_t* buffer, PoolRef<CollisionFace> face, uint16_t colour);
// Every face of a collision block whose three corners are visible.
void Draw_BlockFaces(uint16_t* buffer, ObjHandle h, uint16_t colour);
