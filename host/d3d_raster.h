// The software rasteriser behind the host's 3D device, shared by host/ only:
// pixel formats, decoded textures, the state one draw reads, triangle
// set-up, and the span routines that fill a row of a triangle.
//
// Two span routines exist for the same arithmetic: the plain one
// (ReferenceSpan), which evaluates every pixel as the rules at the top of
// host_d3d.cpp say, and a fast one (d3d_raster_simd.h, built for AVX2 and
// for the 512-bit extensions) that evaluates eight pixels a step with the
// same operations in the same order, so that both write identical pixels (a
// randomised test compares them).
#pragma once

#include "host/d3d.h"
#include "host/display_internal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace host::raster {

struct Rgba {
    int r, g, b, a;
};

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void Store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}

// A target pixel as 8-bit channels: 5 bits v become v << 3 | v >> 2, 6 bits
// v << 2 | v >> 4 (bit replication).
inline Rgba Unpack16(uint16_t v, bool is565) {
    int r = is565 ? v >> 11 : (v >> 10) & 31, b = v & 31;
    int g = is565 ? (v >> 5) & 63 : (v >> 5) & 31;
    int g8 = is565 ? (g << 2 | g >> 4) : (g << 3 | g >> 2);
    return {r << 3 | r >> 2, g8, b << 3 | b >> 2, 255};
}

// The ordered dither: a 4x4 Bayer matrix of 0..15, scaled to the step of
// the channel it is added to.
inline constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

inline uint16_t Pack16(Rgba c, bool is565, bool dither, int x, int y) {
    if (dither) {
        int d = kBayer[y & 3][x & 3];
        c.r = std::min(255, c.r + (d >> 1));
        c.b = std::min(255, c.b + (d >> 1));
        c.g = std::min(255, c.g + (is565 ? d >> 2 : d >> 1));
    }
    if (is565) return uint16_t(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
    return uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
}

inline bool Is565(const PixelFormat& f) {
    return f.greenMask == 0x07E0;
}

inline uint16_t PackColour(uint32_t xrgb, bool is565) {
    Rgba c{int((xrgb >> 16) & 255), int((xrgb >> 8) & 255), int(xrgb & 255), 255};
    return Pack16(c, is565, false, 0, 0);
}

// A depth 0..1 as a 16-bit z value, in single precision (a value below 0,
// or not a number, is 0; from 1 up, 65535).
inline uint16_t QuantiseZ(float z) {
    if (!(z > 0)) return 0;
    if (z >= 1) return 65535;
    return uint16_t(z * 65535.0f + 0.5f);
}

// An interpolated colour channel rounded to 0..255 (not a number: 0).
inline int ToChannel(float v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return int(v + 0.5f);
}

inline bool Compare(uint32_t func, uint32_t value, uint32_t reference) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
    }
}

// ---------------------------------------------------------------------------
// Textures as the rasteriser reads them
// ---------------------------------------------------------------------------

struct ChannelDecode {
    int shift;
    uint32_t mask;       // after the shift; 0: the channel is absent
    uint8_t widen[256];  // channel value -> 8 bits (channels of up to 8 bits)
    int wideShift;       // channels wider than 8 bits: drop this many bits
};

// A texture decoded for drawing, made again whenever its surface, palette
// or colour key changes.  The plain path reads the raw texels through the
// channel tables; the fast path reads every texel decoded once to
// 0xAARRGGBB and, for a keyed surface, one byte a texel saying whether the
// raw texel lies in the key's range.
struct TextureView {
    const uint8_t* pixels;
    int width, height, pitch, bytes;
    bool pow2;
    bool indexed;
    Rgba palette[256];
    ChannelDecode red, green, blue, alpha;
    bool keyed;  // the surface has a source colour key
    uint32_t keyLow, keyHigh;
    int widthShift, heightShift;  // log2 of the sides when they are powers of two
    std::vector<uint32_t> argb;   // width x height, rows packed
    std::vector<uint8_t> keyFlags;  // width x height (+ 3 bytes), 1: keyed
    // The decoded texels as 5-6-5 [1] and 5-5-5 [0] target pixels (Pack16
    // without dither; + 1 value), made on first use: what a texel drawn as
    // it is becomes.
    std::vector<uint16_t> packed[2];
};

// The view's texels as target pixels of that format (see packed).
const uint16_t* PackedTexels(TextureView* v, bool is565);

// Builds the view of a surface with the palette entries given (nullptr:
// an 8-bit texture reads grey levels).
void BuildTextureView(TextureView* v, const Surface* s, const PaletteEntry* palette);

// ---------------------------------------------------------------------------
// Draw state
// ---------------------------------------------------------------------------

struct StageOps {
    uint32_t colourOp, colourArg1, colourArg2, alphaOp, alphaArg1, alphaArg2;
};

struct Triangle;
struct Context;
using SpanFn = void (*)(const Context& c, const Triangle& t, int y, int left, int right);
using RowsFn = void (*)(const Context& c, const Triangle& t, int from, int to);

// What one draw reads of the device, gathered when a state changes.
struct Context {
    uint8_t* colour;
    int colourPitch;
    bool is565;
    uint8_t* depth;  // nullptr: no z test and no z write
    int depthPitch;
    bool zTest, zWrite;
    uint32_t zFunc;
    int clipLeft, clipTop, clipRight, clipBottom;  // right and bottom exclusive
    double minZ, zRange;
    bool gouraud, specular, dither, blend, alphaTest;
    uint32_t cull, srcBlend, destBlend, alphaFunc, alphaRef;
    StageOps ops;
    bool textured, perspective, linear;
    bool keyed;  // the texture's key applies (colour keying on and a key set)
    const TextureView* tex;
    const uint16_t* packed;  // the texture's texels as target pixels (fast routines only), or nullptr
    int width;  // of the target and z-buffer rows: pixels up to it belong to the row
    bool plain;  // the plain routines throughout (edges divided row by row, ReferenceSpan)
    bool narrow;  // the fast routines' AVX2 build even where the wider one runs
    SpanFn span;  // the plain span
    RowsFn rows;  // the fast routine, or nullptr
};

// An edge a -> b in 1/16 pixel: E(p) = dx*(p.y-y0) - dy*(p.x-x0); a pixel
// centre is on the inner side when E >= threshold (0 for top and left
// edges, which own their pixels, 1 for the others).
struct Edge {
    int64_t x0, y0, dx, dy, threshold;
};

// value(px, py) = c + a*px + b*py, pixel co-ordinates.
struct Plane {
    double a, b, c;
};

// The value of a plane at the centre of pixel (x, y), rounded to single
// precision: where a span starts.  Along the span, pixel x + i takes
// start + slope * i in single precision, slope being the plane's a rounded
// to single precision.
inline float RowStart(const Plane& p, int x, int y) {
    return float(p.c + p.a * (x + 0.5) + p.b * (y + 0.5));
}

enum Attribute { kZ, kR, kG, kB, kA, kSR, kSG, kSB, kU, kV, kQ, kAttributes };

struct Triangle {
    Edge edges[3];
    int left, right, top, bottom;  // inclusive pixel bounds, clipped
    Plane planes[kAttributes];
    float slopes[kAttributes];         // each plane's a in single precision
    Rgba flatDiffuse, flatSpecular;    // the first vertex's colours
    bool shadeDiffuse, shadeSpecular;  // Gouraud with colours that differ
};

// Vertex positions beyond this many pixels cannot be snapped (the edge
// products must stay inside 64 bits): such a triangle is first clipped to a
// band of half that size around the origin.
constexpr double kMaxCoordinate = 4194304.0;
constexpr double kGuardBand = 2097152.0;

// Snaps, culls, orients and sets up a triangle of three vertices: at most
// kMaxPieces triangles (one, or the pieces of a triangle clipped to the
// guard band).  Answers how many were made.
constexpr int kMaxPieces = 6;
int SetUpTriangle(const Context& c, const TLVertex* v, Triangle* out);

// Rows [from, to] of a triangle (inside its bounds), with the plain
// per-row edge divisions and c.span.
void DrawRows(const Context& c, const Triangle& t, int from, int to);
// The same with edges stepped from row to row (RowStepper): the same rows
// and pixels.
void DrawRowsStepped(const Context& c, const Triangle& t, int from, int to);

// The covered pixels of row y: [*left, *right], empty when left > right.
void RowSpan(const Triangle& t, int y, int* left, int* right);

// The plain span (the reference of the fast routines), and the fast routine
// that draws rows of a triangle for the state of a context; nullptr when it
// does not cover the state or the processor lacks what it needs.
SpanFn ReferenceSpan(const Context& c);
RowsFn FastRows(const Context& c);
// Whether the fast routines can run on this processor.
bool FastRowsAvailable();

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

inline int64_t CeilDiv(int64_t a, int64_t b) {  // b > 0
    return -FloorDiv(-a, b);
}

// The covered pixels of a triangle row after row, as RowSpan gives them,
// each edge's bound stepped exactly: the quotient of RowSpan's division
// kept with its remainder.
class RowStepper {
public:
    RowStepper(const Triangle& t, int y) : left_(t.left), right_(t.right) {
        for (int i = 0; i < 3; ++i) Start(&edges_[i], t.edges[i], y);
    }
    // The span of the current row, then moves to the next row.
    void Next(int* left, int* right) {
        int64_t lo = left_, hi = right_;
        for (EdgeStep& s : edges_) {
            if (s.kind == 1) lo = std::max(lo, s.q);
            else if (s.kind == -1) hi = std::min(hi, s.q);
            else if (s.k < s.threshold) hi = lo - 1;
            Step(&s);
        }
        *left = int(lo);
        *right = int(hi);
    }

    struct EdgeStep {
        int kind;          // 1: lower bound (ceiling), -1: upper bound (floor), 0: horizontal
        int64_t q, r;      // the bound and the remainder, 0 <= r < d
        int64_t d;         // the divisor
        int64_t qd, rd;    // the change per row as quotient and remainder
        int64_t k, kStep;  // horizontal edges: E at the row, and its change per row
        int64_t threshold;
    };

    // The state of edge i and the triangle's bounds, for a stepping of the
    // three edges together (the fast routines').
    const EdgeStep& EdgeAt(int i) const { return edges_[i]; }
    int64_t Left() const { return left_; }
    int64_t Right() const { return right_; }

private:
    static void Start(EdgeStep* s, const Edge& e, int y) {
        int64_t py = 16 * int64_t(y) + 8;
        int64_t k = e.dx * (py - e.y0) - e.dy * (8 - e.x0), sl = -16 * e.dy;
        s->threshold = e.threshold;
        s->k = k;
        s->kStep = 16 * e.dx;
        if (sl > 0) {
            // ceil(N / d) with N = T - k, which changes by -16 dx a row: N = q d - r.
            s->kind = 1;
            s->d = sl;
            int64_t n = e.threshold - k;
            s->q = CeilDiv(n, sl);
            s->r = s->q * sl - n;
            int64_t step = -16 * e.dx;
            s->qd = FloorDiv(step, sl);
            s->rd = step - s->qd * sl;
        } else if (sl < 0) {
            // floor(M / d) with M = k - T, which changes by 16 dx a row: M = q d + r.
            s->kind = -1;
            s->d = -sl;
            int64_t m = k - e.threshold;
            s->q = FloorDiv(m, s->d);
            s->r = m - s->q * s->d;
            int64_t step = 16 * e.dx;
            s->qd = FloorDiv(step, s->d);
            s->rd = step - s->qd * s->d;
        } else {
            s->kind = 0;
        }
    }

    static void Step(EdgeStep* s) {
        if (s->kind == 1) {
            int64_t r = s->r - s->rd;
            bool carry = r < 0;
            s->q += s->qd + carry;
            s->r = carry ? r + s->d : r;
        } else if (s->kind == -1) {
            int64_t r = s->r + s->rd;
            bool carry = r >= s->d;
            s->q += s->qd + carry;
            s->r = carry ? r - s->d : r;
        } else {
            s->k += s->kStep;
        }
    }

    int64_t left_, right_;
    EdgeStep edges_[3];
};

}  // namespace host::raster
