// 3D memory and object data: the R&D pool, typed references into it, and
// the records that F3DC blocks bring into it (their byte layout is the file
// layout, so every record here is a plain, trivially copyable struct whose
// pointer words are 32-bit offsets from the pool base).
//
// Pool records are read and written through the memcpy accessors below
// (Load/Store, Get/Set by member), never through host pointers kept across
// a compaction.
#pragma once

#include "engine3d/dqx_math.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

// The pool: 8 MB when the 3D layer draws, 10 MB when the program draws into
// its own frame buffer.
extern uint8_t* g_3DPool;
extern uint32_t g_3DPoolSize;

// A reference to a record of type T in the pool: its offset from the pool
// base.  0 is null (the first 256 KB of the pool hold no record).
template <class T>
struct PoolRef {
    uint32_t off;
    explicit operator bool() const { return off != 0; }
    bool operator==(const PoolRef&) const = default;
};

template <class T>
constexpr PoolRef<T> Ref(uint32_t off) {
    return PoolRef<T>{off};
}
// The n-th record of an array of records of `stride` bytes.
template <class T>
constexpr PoolRef<T> Index(PoolRef<T> r, uint32_t n, uint32_t stride = sizeof(T)) {
    return PoolRef<T>{r.off + n * stride};
}

inline uint8_t* PoolPtr(uint32_t off) {
    return g_3DPool + off;
}
inline uint32_t PoolOff(const void* p) {
    return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - g_3DPool);
}

template <class T>
T Load(PoolRef<T> r) {
    static_assert(std::is_trivially_copyable_v<T>);
    T v;
    std::memcpy(&v, g_3DPool + r.off, sizeof v);
    return v;
}
template <class T>
void Store(PoolRef<T> r, const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(g_3DPool + r.off, &v, sizeof v);
}
inline uint32_t LoadWord(uint32_t off) {
    uint32_t v;
    std::memcpy(&v, g_3DPool + off, 4);
    return v;
}
inline void StoreWord(uint32_t off, uint32_t v) {
    std::memcpy(g_3DPool + off, &v, 4);
}

// Byte offset of a member, from a constant-initialised probe record.
template <class T, class F>
uint32_t OffsetOf(F T::*member) {
    static constexpr T probe{};
    return static_cast<uint32_t>(reinterpret_cast<const char*>(&(probe.*member)) -
                                 reinterpret_cast<const char*>(&probe));
}
template <class T, class F>
    requires(!std::is_array_v<F>)
F Get(PoolRef<T> r, F T::*member) {
    F v;
    std::memcpy(&v, g_3DPool + r.off + OffsetOf(member), sizeof v);
    return v;
}
template <class T, class F>
    requires(!std::is_array_v<F>)
void Set(PoolRef<T> r, F T::*member, const F& v) {
    std::memcpy(g_3DPool + r.off + OffsetOf(member), &v, sizeof v);
}

// ---------------------------------------------------------------------------
// Records.  Sizes and offsets are those of the file; static_asserts below
// keep them.
// ---------------------------------------------------------------------------

using ObjHandle = int32_t;

// The five words that head every block.
struct ObjBlock {
    int32_t handleBase;        // slot << 16
    int32_t size;              // whole file size, header included
    int32_t type;              // 0..6
    PoolRef<ObjBlock> prev;    // null for the first block
    PoolRef<ObjBlock> next;    // null for the last block
};

enum ObjBlockType : int32_t {
    kBlockRaw = 0,
    kBlockNodes = 1,
    kBlockElements = 2,
    kBlockTexture = 3,
    kBlockAnimation = 4,
    kBlockCollision = 5,
    kBlockSpline = 6,
};

constexpr uint32_t kBlockHeaderSize = 20;
// Types 1, 2, 4, 6: word 5 is the element count, words 6.. the element table.
constexpr uint32_t kElementCountOffset = 20;
constexpr uint32_t kElementTableOffset = 24;

struct ObjVertex;
struct UvPair;
struct FaceNormal;
struct BoxRecord;
struct PrimGroup;
struct EdgeGroup;
struct PrimEdge;
struct PrimFace;

// Flag bits of a node.
constexpr uint8_t kObjDisabled = 0x01;
constexpr uint8_t kObjProcessed = 0x02;
constexpr uint8_t kObjHidden = 0x04;
constexpr uint8_t kObjOutside = 0x08;
constexpr uint8_t kObjSharedVertices = 0x10;
constexpr uint8_t kObjCrossSide = 0x20;
constexpr uint8_t kObjCrossDepth = 0x40;
constexpr uint8_t kObjNoFarCut = 0x80;
constexpr uint8_t kObj2Camera = 0x04;
constexpr uint8_t kObj2EnvMapped = 0x08;
constexpr uint8_t kObj2NoRender = 0x10;

// A scene node (type-1 element), 220 bytes.
struct Obj3D {
    char name[12];                      // 0, zero-terminated
    uint8_t flags;                      // 12
    uint8_t flags2;                     // 13
    uint8_t unused[2];                  // 14
    PoolRef<Obj3D> parent;              // 16
    PoolRef<Obj3D> child;               // 20 first child
    PoolRef<Obj3D> sibling;             // 24 next sibling
    Vec3 pos;                           // 28 relative to the parent
    Mat3 matrix;                        // 40 Q15, relative to the parent
    Vec3 camPos;                        // 76 computed by the walk
    Mat3 camMatrix;                     // 88 computed by the walk
    int32_t vertexCount;                // 124
    PoolRef<ObjVertex> vertices;        // 128
    int32_t uvCount;                    // 132 texture-coordinate pairs
    PoolRef<UvPair> uvs;                // 136
    int32_t vertexNormalCount;          // 140
    PoolRef<FaceNormal> vertexNormals;  // 144
    int32_t faceNormalCount;            // 148
    PoolRef<FaceNormal> faceNormals;    // 152
    int32_t boxCount;                   // 156
    PoolRef<BoxRecord> boxes;           // 160
    PoolRef<PrimGroup> groups;          // 164 set-up primitive groups
    PoolRef<EdgeGroup> edgeGroups;      // 168
    int32_t lighting;                   // 172 render word: non-zero = lit forms
    int32_t radius;                     // 176 bounding radius
    Vec3 centre;                        // 180 bounding-sphere centre, node space
    int32_t lightCount;                 // 192 at most 8
    uint8_t lights[8];                  // 196 light-table indices
    uint32_t translucency;              // 204 level x 256 + 16
    uint32_t spare[3];                  // 208
};

// Projected vertex, 40 bytes.
struct ObjVertex {
    uint32_t flags;   // low byte: code bits; bit 7 shared with child nodes
    Vec3 pos;         // object space
    float cx, cy, cz; // camera space
    int32_t sx, sy;   // screen
    float invZ;       // 2^30 / camera z
};

// Texture coordinates in 16.16 texels.
struct UvPair {
    int32_t u, v;
};

// Unit normal (Q15) and the dot-product word rewritten every frame.
struct FaceNormal {
    int32_t x, y, z;
    int32_t dot;
};

// World box of a node, 280 bytes.
struct BoxRecord {
    float corner[8][3];
    int32_t sx[8];
    int32_t sy[8];
    float world[8][3];
    float min[3];
    float max[3];
};

// Set-up primitive group, 52 bytes.
struct PrimGroup {
    PoolRef<PrimGroup> next;       // 0
    int32_t type;                  // 4 PrimType
    PoolRef<uint32_t> material;    // 8 the model-bank entry's data-pointer word
    char texture[16];              // 12 texture name
    int32_t faceCount;             // 28
    PoolRef<PrimFace> faces;       // 32
    PoolRef<PrimFace> visible;     // 36 visible-face list, rebuilt every frame
    uint32_t render[2];            // 40 two words for the renderers
    PoolRef<EdgeGroup> edges;      // 48 the group's edge group
};

struct PrimCorner {
    PoolRef<ObjVertex> vertex;
    PoolRef<FaceNormal> normal;  // the corner's vertex normal
    PoolRef<PrimEdge> edge;      // from this corner to the next
};

// The 52 bytes every face starts with (the type of face references).
struct PrimFace {
    uint32_t flags;              // 0
    PoolRef<PrimFace> next;      // 4 next in the visible list
    PrimCorner corner[3];        // 8
    PoolRef<FaceNormal> normal;  // 44
    int32_t plane;               // 48 plane distance, world units
};

// 56-byte faces (PrimType 1, 4, 17, 27, -2).
struct PrimFaceShort {
    PrimFace head;
    uint8_t shade;  // 52
    uint8_t pad[3];
};

// 68-byte faces (every other face type).
struct PrimFaceLong {
    PrimFace head;
    PoolRef<UvPair> uv[3];    // 52
    uint8_t shade;            // 64
    uint8_t cornerShade[3];   // 65
};

// Edge group, 24 bytes.
struct EdgeGroup {
    PoolRef<EdgeGroup> next;     // 0
    int32_t type;                // 4 PrimType
    int32_t count;               // 8
    PoolRef<PrimEdge> records;   // 12 the static chain from the file
    uint32_t stride;             // 16 record size, recorded at load (0: records not fixed)
    PoolRef<PrimEdge> current;   // 20 current chain, reset every frame
};

// The 60 bytes every edge record starts with; longer records (88, 100 or 112
// bytes) carry the renderer's per-family tails after them.
struct PrimEdge {
    PoolRef<PrimEdge> next;       // 0
    uint32_t state;               // 4
    int32_t x, xStep;             // 8 16.16
    float key, keyStep;           // 16
    float keySlope;               // 24
    PoolRef<ObjVertex> a, b;      // 28, 32
    PoolRef<PrimEdge> owner;      // 36
    PoolRef<PrimEdge> nextNode;   // 40
    uint32_t colourRowLevel;      // 44 colour 16, row 8, level 8
    PoolRef<PrimEdge> bucketLink; // 48
    uint32_t spare;               // 52
    uint32_t spanLine;            // 56 the SpanLine made from this edge
};
constexpr uint32_t kEdgeTailOffset = 60;

// Animation element (types 4 and 6), 20 bytes.
struct AnimElement {
    int32_t length;            // frames
    int32_t rotationCount;
    int32_t positionCount;
    PoolRef<uint8_t> rotationKeys;
    PoolRef<uint8_t> positionKeys;
};
constexpr uint32_t kLinearRotationKeySize = 20;
constexpr uint32_t kLinearPositionKeySize = 16;
constexpr uint32_t kSplineRotationKeySize = 60;
constexpr uint32_t kSplinePositionKeySize = 48;

// Collision block (type 5): the common header, then these words.
struct CollisionPart;
struct CollisionFace;
struct CollisionBlock {
    ObjBlock header;                  // 0
    int32_t vertexCount;              // 20
    PoolRef<Vec3> vertices;           // 24 word 6
    int32_t faceCount;                // 28 word 7
    PoolRef<CollisionFace> faces;     // 32 word 8
    int32_t partCount;                // 36 word 9
    PoolRef<CollisionPart> parts;     // 40 word 10
    int32_t handleBase;               // 44 word 11
};

// An owner part of collision faces, 16 bytes.
struct CollisionPart {
    char name[12];
    int32_t value;
};

// Collision face, 96 bytes.
struct CollisionFace {
    PoolRef<Vec3> corner[3];     // 0 words 0-2
    PoolRef<Vec3> corner0;       // 12 word 3: corner 0 again, closing the loop of edges
    Vec3 normal;                 // 16 Q15
    int32_t plane;               // 28 normal . p / 32768 = plane for points p of the face
    int32_t kind;                // 32 surface kind
    Vec3 boxMin;                 // 36
    Vec3 boxMax;                 // 48
    uint32_t flags;              // 60
    int32_t partIndex;           // 64
    PoolRef<CollisionPart> part; // 68 word 17: the owner part
    uint32_t work[6];            // 72 run-time words of the collision world
};

// Texture block (type 3).
constexpr uint32_t kTextureTableOffset = 20;
constexpr uint32_t kTextureTexelsOffset = 32788;
constexpr uint32_t kTextureColourBytes = 32768;
constexpr uint32_t kColourMapFileSize = 98332;   // 8 + 32788 + 65536
constexpr uint32_t kAlphaMapFileSize = 163868;   // 8 + 32788 + 131072
constexpr uint32_t kColourMapLimit = 100000;     // larger files are alpha maps
// A texture file longer than a colour map and shorter than an alpha map
// holds a frame table for the frame face types (20, 21, 25, 26): at the
// texel start one 8-byte entry per level 0 to 6 (image offset from the
// texel start 32 bits, row shift 8 bits 1..16, a byte not read, row length
// 2^(16 - shift) 16 bits).  The span routines index 64 K texels from an
// image's start, so each image must have that window inside the file.
constexpr uint32_t kFrameTableEntries = 7;
constexpr uint32_t kFrameEntrySize = 8;
constexpr uint32_t kFrameWindow = 65536;
enum class TextureKind { ColourMap, FrameTable, AlphaMap };
constexpr TextureKind TextureKindOfSize(uint32_t fileSize) {
    return fileSize <= kColourMapLimit  ? TextureKind::ColourMap
           : fileSize < kAlphaMapFileSize ? TextureKind::FrameTable
                                          : TextureKind::AlphaMap;
}

// Model record after a type-1 element table, and its bank entry.
constexpr uint32_t kModelRecordSize = 44;
constexpr uint8_t kModelConverted555 = 1;
constexpr uint8_t kModelFrameTable = 2;
struct ModelBankEntry {
    int32_t useCount;        // 0 = free
    ObjHandle handle;        // of the texture block
    PoolRef<uint8_t> data;   // the texels (block + 32788)
    char name[16];
    char file[28];
    uint8_t flags;           // bit 0: colour table converted to 555; bit 1: frame table
    uint8_t pad[3];
};

static_assert(sizeof(ObjBlock) == 20);
static_assert(sizeof(Obj3D) == 220);
static_assert(offsetof(Obj3D, parent) == 16 && offsetof(Obj3D, matrix) == 40 && offsetof(Obj3D, vertexCount) == 124);
static_assert(offsetof(Obj3D, groups) == 164 && offsetof(Obj3D, radius) == 176 && offsetof(Obj3D, centre) == 180);
static_assert(sizeof(ObjVertex) == 40 && sizeof(FaceNormal) == 16 && sizeof(UvPair) == 8);
static_assert(sizeof(BoxRecord) == 280);
static_assert(sizeof(PrimGroup) == 52 && offsetof(PrimGroup, faceCount) == 28 && offsetof(PrimGroup, edges) == 48);
static_assert(sizeof(PrimFace) == 52 && sizeof(PrimFaceShort) == 56 && sizeof(PrimFaceLong) == 68);
static_assert(sizeof(EdgeGroup) == 24 && sizeof(PrimEdge) == 60 && offsetof(PrimEdge, a) == 28);
static_assert(sizeof(AnimElement) == 20);
static_assert(sizeof(CollisionBlock) == 48 && sizeof(CollisionFace) == 96 && offsetof(CollisionFace, part) == 68);
static_assert(sizeof(ModelBankEntry) == 60);
static_assert(std::is_trivially_copyable_v<Obj3D> && std::is_trivially_copyable_v<PrimFaceLong>);

// ---------------------------------------------------------------------------
// PrimType sizes.
// ---------------------------------------------------------------------------

// Face size the file format gives a group of this type: 56, 68, or 0 for
// the types whose faces the format leaves as stored.
uint32_t FileFaceSize(int32_t primType);
// Edge-record size the file format gives an edge group of this type, or 0.
uint32_t FileEdgeSize(int32_t primType);
// Face size of a group as loaded: from its edge group's recorded stride
// (60-byte edges go with 56-byte faces, longer ones with 68-byte faces), so
// that a group whose type was rewritten later keeps its faces' size.  0 when
// the group has no faces to fix.
uint32_t Group_FaceSize(PoolRef<PrimGroup> group);

// ---------------------------------------------------------------------------
// The pool.
// ---------------------------------------------------------------------------

// Chooses the pool size from g_SoftwareDisplay, takes it, builds the object
// library on it, resets the collision world and the trig tables.
void Init_3DMemory();
// Frees the previous pool and takes one of the configured size; "no ram" is
// fatal.
void Alloc_3DPool();
// Gives back the span buffer's two scratch arrays; the pool stays.
void Free_3DMemory();
// Starts the library on the whole pool (nothing calls it).
void Reset_3DMemory();
