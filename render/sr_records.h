// The records of the software scan-line rasterizer, shared by its set-up
// (sr_setup), its span buffer and frame sweep (sr_spans), its reference
// fill (sr_fill) and the span back end that replaces the fill in game-soft.
//
// Edge records live in the 3D pool (the node blocks' edge groups and the
// near clipper's pieces in the frame arena), and so do the SpanLine records
// and the span buffer's sentinels; their links are 32-bit pool offsets (0 is
// none).  They are read and written in place through the packed structs
// below, so a block that starts at any byte of the pool reads the same.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstddef>
#include <cstdint>

// A 32-bit word that holds a 16.16 integer or a float, by the family of the
// PrimType that fills it.
union SpanWord {
    int32_t i;
    float f;
};

// An edge record (PrimEdge) as the rasterizer fills it, which is also the
// span buffer's SpanNode: one edge-bounded section of a polygon run on the
// current line, carrying the values of the face to the right of the edge.
// Flat groups have 60-byte records, the affine ones 88, the perspective
// ones and the shaded affine ones 100, the shaded perspective ones 112; a
// record is only written as far as its group's family reaches.
struct __attribute__((packed)) SpanNode {
    uint32_t next;        // 0  the edge group's chain
    uint32_t state;       // 4  role and vertex-code bits, 0 between frames
    int32_t x, xStep;     // 8  16.16 at the current line, per line
    float key, keyStep;   // 16 depth key (inverse depth, larger is nearer) and its step per line
    float keySlope;       // 24 depth key per pixel of the face to the right
    uint32_t a, b;        // 28 the two vertices (ObjVertex)
    uint32_t owner;       // 36 a take-over edge's left edge
    uint32_t nextNode;    // 40 the section to the right on the same line
    uint16_t colour;      // 44 flat colour
    uint8_t row;          // 46 shade row 0..31
    uint8_t level;        // 47 reduced-image level
    uint32_t bucketLink;  // 48 end-table and switch-table chains
    uint32_t spare;       // 52
    uint32_t spanLine;    // 56 the SpanLine made from this edge
    // Textured families: u and v (16.16 integers), or u x k and v x k
    // (floats) in the perspective families: at the current line, their steps
    // per line and their slopes per pixel.
    SpanWord u, v;                 // 60
    SpanWord uStep, vStep;         // 68
    SpanWord uSlope, vSlope;       // 76
    uint32_t texels;               // 84 the group's TextureMap texels
    // 88: shaded affine families: shade row x 65536, its step per line and
    // per pixel; perspective families: the slopes per pixel of the key, of
    // u x k and of v x k, times 16.
    SpanWord tail[3];              // 88
    int32_t shade, shadeStep, shadeSlope;  // 100 shaded perspective families
};

constexpr uint32_t kEdgeBytesFlat = 60;
constexpr uint32_t kEdgeBytesAffine = 88;
constexpr uint32_t kEdgeBytesLong = 100;
constexpr uint32_t kEdgeBytesShadedPerspective = 112;

static_assert(sizeof(SpanNode) == kEdgeBytesShadedPerspective);
static_assert(offsetof(SpanNode, state) == 4 && offsetof(SpanNode, x) == offsetof(PrimEdge, x));
static_assert(offsetof(SpanNode, a) == offsetof(PrimEdge, a) && offsetof(SpanNode, b) == offsetof(PrimEdge, b));
static_assert(offsetof(SpanNode, nextNode) == offsetof(PrimEdge, nextNode));
static_assert(offsetof(SpanNode, bucketLink) == offsetof(PrimEdge, bucketLink));
static_assert(offsetof(SpanNode, spanLine) == offsetof(PrimEdge, spanLine));
static_assert(offsetof(SpanNode, u) == kEdgeTailOffset && offsetof(SpanNode, texels) == 84);
static_assert(offsetof(SpanNode, tail) == kEdgeBytesAffine && offsetof(SpanNode, shade) == kEdgeBytesLong);

// Edge state bits.
constexpr uint32_t kEdgeRight = 1;
constexpr uint32_t kEdgeLeft = 2;
constexpr uint32_t kEdgeAAbove = 4;
constexpr uint32_t kEdgeABelow = 8;
constexpr uint32_t kEdgeBAbove = 16;
constexpr uint32_t kEdgeBBelow = 32;
constexpr uint32_t kEdgeTakeOver = 64;

// One polygon run crossing the current line (36 bytes, frame arena; the
// four sentinels in the library's own memory).  The fields of the sorted
// active list, of the emitters' depth stack (link: the next entry below)
// and the depth the span back end records at an event.
struct __attribute__((packed)) SpanLine {
    int32_t mode;        // PrimType of the run
    uint32_t next;       // active list, in order of x start
    uint32_t prev;
    int32_t xStart;      // 16.16
    int32_t xEnd;        // 16.16
    uint32_t first;      // first SpanNode
    uint32_t current;    // the SpanNode that covers the present x
    uint32_t link;       // the next entry below in the depth stack
    float depth;         // depth at the last event (span back end)
};
static_assert(sizeof(SpanLine) == 36);

// A start node of the start table: {next, edge, PrimType}, 16 bytes from
// the frame arena.
struct __attribute__((packed)) SpanStart {
    uint32_t next;
    uint32_t edge;
    int32_t type;
    uint32_t spare;
};
static_assert(sizeof(SpanStart) == 16);

// One visible piece of a line: pixels start to end - 1 drawn by the mode's
// routine from the node's values.
struct SpanRecord {
    int32_t end;
    int32_t start;
    int32_t mode;
    const SpanNode* node;
};

inline SpanNode* NodeAt(uint32_t off) {
    return reinterpret_cast<SpanNode*>(g_3DPool + off);
}
inline SpanLine* LineAt(uint32_t off) {
    return reinterpret_cast<SpanLine*>(g_3DPool + off);
}
inline uint32_t OffsetIn(const void* p) {
    return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - g_3DPool);
}

// What the set-up and the sweep interpolate per PrimType, by the modes'
// families of the frame sweep: nothing but x and the key, u and v (16.16),
// those and a shade row, u x k and v x k (floats), those and a shade row.
enum class StepKind { None, Flat, Affine, AffineShaded, Perspective, PerspectiveShaded };
StepKind SR_StepKind(int32_t mode);
// The record size a family writes and steps.
uint32_t SR_StepBytes(StepKind kind);
// Advances a node by n lines: x and the key, and what the kind steps.
void SR_AdvanceNode(SpanNode* n, StepKind kind, int32_t lines);

// The buffers' reach: screen lines index the three bucket tables, screen
// columns the line buffer.
constexpr int kSpanLines = 1024;
constexpr int kSpanColumns = 2048;

// The span buffer's view: first column L, width W, first line T, line count
// H, as placed by SR_ResetSpanBuffer and held inside the buffers' reach.
struct SpanViewRect {
    int32_t left, width, top, height;
};
extern SpanViewRect g_SpanRect;

// The three bucket tables (pool offsets, 0 = empty): start nodes, left
// edges ending at the line, take-over edges entering at the line.
extern uint32_t SR_StartTable[kSpanLines];
extern uint32_t SR_EndTable[kSpanLines];
extern uint32_t SR_SwitchTable[kSpanLines];
