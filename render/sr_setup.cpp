// The software rasterizer's set-up and edge filing.
#include "render/sr_setup.h"

#include "engine3d/dqx_front.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_model.h"
#include "platform/errors.h"
#include "render/sr_fill.h"
#include "render/sr_spans.h"

#include <cmath>
#include <cstring>

uint32_t SR_StartTable[kSpanLines];
uint32_t SR_EndTable[kSpanLines];
uint32_t SR_SwitchTable[kSpanLines];
float SR_InversePowers[10];

namespace {

// Long chains from a damaged or cyclic list end here.
constexpr int kChainLimit = 1 << 20;

// ---------------------------------------------------------------------------
// Families
// ---------------------------------------------------------------------------

enum class Family { None, Flat, Affine, M13, Perspective, Type28, Type23, Type30 };

Family SetupFamily(int32_t type) {
    switch (type) {
    case -2: case 1: case 4: case 5: case 7: case 8: case 10: case 17: case 27:
        return Family::Flat;
    case -21: case -15: case -14: case -11: case -10: case -8: case -5: case -3:
    case 2: case 6: case 11: case 18: case 21: case 24: case 32:
        return Family::Affine;
    case -13:
        return Family::M13;
    case -12: case -9: case -7: case -6: case -4: case 3: case 9: case 12: case 20: case 29:
        return Family::Perspective;
    case 28:
        return Family::Type28;
    case 23: case 26:
        return Family::Type23;
    case 30:
        return Family::Type30;
    default:
        return Family::None;
    }
}

// What a family's set-up writes into its left edges.
uint32_t FamilyBytes(Family f) {
    switch (f) {
    case Family::Flat: return kEdgeBytesFlat;
    case Family::Affine: case Family::M13: return kEdgeBytesAffine;
    case Family::Perspective: case Family::Type28: case Family::Type30: return kEdgeBytesLong;
    case Family::Type23: return kEdgeBytesShadedPerspective;
    default: return 0;
    }
}

bool ChoosesLevel(int32_t type) {
    return type == 20 || type == 21 || type == 25 || type == 26;
}

uint8_t ClampRow(int32_t row) {
    return uint8_t(row < 0 ? 0 : (row > 31 ? 31 : row));
}

// ---------------------------------------------------------------------------
// One triangle
// ---------------------------------------------------------------------------

// A corner as the set-up reads it: screen position, depth key, and the
// attributes interpolated linearly across the screen (u and v, or u x k and
// v x k, and the shade row x 65536).
struct Corner {
    int32_t x, y;
    float k;
    double at[3];
    double plainU, plainV;  // for the level choice
    uint32_t vertex;        // ObjVertex
};

struct Triangle {
    Corner c[3];
    uint32_t edge[3];  // from corner i to corner i + 1
};

// What a group's faces share.
struct GroupSetup {
    Family family = Family::None;
    int32_t type = 0;
    int attrs = 0;           // attributes interpolated: 0, 2 or 3
    bool floats = false;     // u x k and v x k
    uint16_t colour = 0;
    uint8_t row = 0;
    uint8_t level = 0;
    uint32_t texels = 0;
    PoolRef<EdgeGroup> edges{0};
    uint32_t stride = 0;
};

// The above and below codes of a vertex against the span buffer's lines: a
// vertex on the first line counts as above, one on the line after the last
// does not count as below.
uint32_t Codes(int32_t sy) {
    const SpanViewRect& r = g_SpanRect;
    if (sy <= r.top) return 1;
    if (int64_t(sy) > int64_t(r.top) + r.height) return 2;
    return 0;
}

ObjVertex Vertex(uint32_t off) {
    return Load(Ref<ObjVertex>(off));
}

// Fills an edge's position from its two vertices, the first time a face
// reaches it this frame.
void FillPosition(SpanNode* n, double ddxK, double ddyK) {
    ObjVertex va = Vertex(n->a), vb = Vertex(n->b);
    const ObjVertex& top = va.sy <= vb.sy ? va : vb;
    const ObjVertex& bottom = va.sy <= vb.sy ? vb : va;
    int32_t lines = bottom.sy - top.sy;
    int32_t xStep = lines > 0 ? f2i(double(bottom.sx - top.sx) / lines * 65536.0) : 0;
    n->xStep = xStep;
    n->x = f2i(double(top.sx) * 65536.0 - 0.5 * xStep);
    float keyStep = float(ddyK + ddxK * (double(xStep) / 65536.0));
    n->keyStep = keyStep;
    n->key = top.invZ - 0.5f * keyStep;
    uint32_t a = Codes(va.sy), b = Codes(vb.sy);
    n->state = (a == 1 ? kEdgeAAbove : a == 2 ? kEdgeABelow : 0) | (b == 1 ? kEdgeBAbove : b == 2 ? kEdgeBBelow : 0);
}

void SetupTriangle(const GroupSetup& g, const Triangle& t) {
    const Corner& c0 = t.c[0];
    const Corner& c1 = t.c[1];
    const Corner& c2 = t.c[2];
    int64_t x0 = c0.x, x1 = c1.x, x2 = c2.x, y0 = c0.y, y1 = c1.y, y2 = c2.y;
    int64_t area = (x1 - x0) * (y2 - y1) - (x2 - x1) * (y1 - y0);
    if (area >= 0) return;
    double A = double(area);
    auto gx = [&](double a0, double a1, double a2) {
        return ((a1 - a0) * double(y2 - y1) - (a2 - a1) * double(y1 - y0)) / A;
    };
    auto gy = [&](double a0, double a1, double a2) {
        return -((a1 - a0) * double(x2 - x1) - (a2 - a1) * double(x1 - x0)) / A;
    };
    double ddxK = gx(c0.k, c1.k, c2.k), ddyK = gy(c0.k, c1.k, c2.k);
    double slope[3] = {0, 0, 0};
    for (int j = 0; j < g.attrs; ++j) slope[j] = gx(c0.at[j], c1.at[j], c2.at[j]);

    uint8_t level = g.level;
    if (ChoosesLevel(g.type))
        level = uint8_t(SR_ChooseLevel(gx(c0.plainU, c1.plainU, c2.plainU), gy(c0.plainU, c1.plainU, c2.plainU),
                                       gx(c0.plainV, c1.plainV, c2.plainV), gy(c0.plainV, c1.plainV, c2.plainV)));
    // The reduced image of a level is 2^level times smaller each way: u and
    // v (or u x k and v x k), their corner values and gradients alike, are
    // taken in its texels.
    const double scale = std::ldexp(1.0, -int(level));
    if (ChoosesLevel(g.type))
        for (int j = 0; j < g.attrs && j < 2; ++j) slope[j] *= scale;

    // Roles: an edge running down the screen is a left edge, one running up
    // a right edge, a level one has none.
    int left[3], nl = 0, right[3], nr = 0;
    for (int i = 0; i < 3; ++i) {
        int32_t dy = t.c[(i + 1) % 3].y - t.c[i].y;
        if (dy > 0) left[nl++] = i;
        else if (dy < 0) right[nr++] = i;
    }
    if (nl == 0 || nr == 0) return;
    uint32_t roles[3] = {0, 0, 0};
    int nextOf[3] = {-1, -1, -1};
    int owner = -1;
    if (nl == 2) {
        // The middle corner lies left: both short edges lead to the long one.
        for (int k = 0; k < 2; ++k) {
            roles[left[k]] |= kEdgeLeft;
            nextOf[left[k]] = right[0];
        }
        roles[right[0]] |= kEdgeRight;
    } else {
        // The long edge is the left edge; the upper short edge (from the top
        // corner round to it) is its first right side, the lower one takes
        // over at its own top line.
        int longEdge = left[0];
        int lower = (longEdge + 1) % 3, upper = (longEdge + 2) % 3;
        bool lowerRole = t.c[(lower + 1) % 3].y < t.c[lower].y;
        bool upperRole = t.c[(upper + 1) % 3].y < t.c[upper].y;
        roles[longEdge] |= kEdgeLeft;
        if (upperRole) {
            nextOf[longEdge] = upper;
            roles[upper] |= kEdgeRight;
        }
        if (lowerRole) {
            roles[lower] |= kEdgeRight | kEdgeTakeOver;
            owner = longEdge;
            if (!upperRole) nextOf[longEdge] = lower;
        }
    }

    for (int i = 0; i < 3; ++i) {
        if (!roles[i]) continue;
        SpanNode* n = NodeAt(t.edge[i]);
        if (n->state == 0) FillPosition(n, ddxK, ddyK);
        n->state |= roles[i];
        if (roles[i] & kEdgeTakeOver) n->owner = t.edge[owner];
    }

    // Each left edge carries this face's values, whatever face filled its
    // position.
    for (int k = 0; k < nl; ++k) {
        int i = left[k];
        const Corner& top = t.c[i];
        const Corner& bottom = t.c[(i + 1) % 3];
        double lines = double(bottom.y - top.y);
        SpanNode* n = NodeAt(t.edge[i]);
        n->keySlope = float(ddxK);
        n->colour = g.colour;
        n->row = g.row;
        n->level = level;
        n->nextNode = nextOf[i] >= 0 ? t.edge[nextOf[i]] : 0;
        if (g.family == Family::Type28) {
            std::memset(&n->u, 0, kEdgeBytesLong - kEdgeTailOffset);
            continue;
        }
        if (g.attrs == 0) continue;
        // Start value, step per line along this edge and slope per pixel.
        SpanWord start[3], step[3], per[3];
        for (int j = 0; j < g.attrs; ++j) {
            const double m = j < 2 && ChoosesLevel(g.type) ? scale : 1.0;
            const double topAt = top.at[j] * m;
            double d = bottom.at[j] * m - topAt;
            bool integer = !g.floats || j == 2;
            if (integer) {
                int32_t s = f2i(d / lines);
                step[j].i = s;
                start[j].i = f2i(topAt - 0.5 * s);
                per[j].i = f2i(slope[j]);
            } else {
                float s = float(d / lines);
                step[j].f = s;
                start[j].f = float(topAt - 0.5 * double(s));
                per[j].f = float(slope[j]);
            }
        }
        n->u = start[0];
        n->v = start[1];
        n->uStep = step[0];
        n->vStep = step[1];
        n->uSlope = per[0];
        n->vSlope = per[1];
        n->texels = g.texels;
        if (g.floats) {
            n->tail[0].f = float(16.0 * ddxK);
            n->tail[1].f = float(16.0 * slope[0]);
            n->tail[2].f = float(16.0 * slope[1]);
            if (g.attrs == 3) {
                n->shade = start[2].i;
                n->shadeStep = step[2].i;
                n->shadeSlope = per[2].i;
            }
        } else if (g.attrs == 3) {
            n->tail[0] = start[2];
            n->tail[1] = step[2];
            n->tail[2] = per[2];
        }
    }
}

// ---------------------------------------------------------------------------
// The guard band
// ---------------------------------------------------------------------------

// Screen rows a corner may have at all; faces beyond are not drawn.
constexpr int32_t kRowLimit = 1 << 24;

bool g_guardBandLogged = false;
bool g_rowLimitLogged = false;

struct ClipVertex {
    double x, y, k, at[3], pu, pv;
    int corner;  // the face's corner, or -1 for a point on the band
    int tag;     // the face's edge the outgoing edge lies on, or -1 along the band
};

ClipVertex Lerp(const ClipVertex& p, const ClipVertex& q, double t) {
    ClipVertex r;
    r.x = p.x + (q.x - p.x) * t;
    r.y = p.y + (q.y - p.y) * t;
    r.k = p.k + (q.k - p.k) * t;
    for (int j = 0; j < 3; ++j) r.at[j] = p.at[j] + (q.at[j] - p.at[j]) * t;
    r.pu = p.pu + (q.pu - p.pu) * t;
    r.pv = p.pv + (q.pv - p.pv) * t;
    r.corner = -1;
    r.tag = -1;
    return r;
}

// Keeps the part of a polygon on the inner side of x = bound (side +1: x <=
// bound, -1: x >= bound).
int ClipSide(const ClipVertex* in, int n, double bound, int side, ClipVertex* out) {
    int m = 0;
    auto inside = [&](const ClipVertex& v) { return side > 0 ? v.x <= bound : v.x >= bound; };
    for (int i = 0; i < n; ++i) {
        const ClipVertex& p = in[i];
        const ClipVertex& q = in[(i + 1) % n];
        bool pin = inside(p), qin = inside(q);
        if (pin) out[m++] = p;
        if (pin != qin) {
            ClipVertex cut = Lerp(p, q, (bound - p.x) / (q.x - p.x));
            cut.x = bound;
            // Leaving: the next edge runs along the band; entering: it runs
            // on along p's edge.
            cut.tag = pin ? -1 : p.tag;
            out[m++] = cut;
        }
    }
    return m;
}

uint32_t NewEdge(const GroupSetup& g, uint32_t a, uint32_t b) {
    uint32_t at = Alloc_FrameArena(g.stride);
    std::memset(PoolPtr(at), 0, g.stride);
    SpanNode* n = NodeAt(at);
    n->a = a;
    n->b = b;
    n->next = Get(g.edges, &EdgeGroup::current).off;
    Set(g.edges, &EdgeGroup::current, Ref<PrimEdge>(at));
    return at;
}

// A face with a corner beyond the guard band: the part inside the band, cut
// into triangles with new vertices and edges from the frame arena.  Edges
// the cut leaves whole stay shared with the neighbouring faces.
void SetupBeyondBand(const GroupSetup& g, const Triangle& t) {
    if (!g.edges || g.stride < FamilyBytes(g.family)) return;
    ClipVertex a[8], b[8];
    for (int i = 0; i < 3; ++i) {
        const Corner& c = t.c[i];
        a[i] = {double(c.x), double(c.y), double(c.k), {c.at[0], c.at[1], c.at[2]}, c.plainU, c.plainV, i, i};
    }
    int n = ClipSide(a, 3, double(kGuardBand), 1, b);
    n = ClipSide(b, n, -double(kGuardBand), -1, a);
    if (n < 3) return;
    uint32_t vertex[8];
    for (int i = 0; i < n; ++i) {
        if (a[i].corner >= 0) {
            vertex[i] = t.c[a[i].corner].vertex;
            continue;
        }
        ObjVertex v{};
        v.sx = f2i(a[i].x);
        v.sy = f2i(std::nearbyint(a[i].y));
        v.invZ = float(a[i].k);
        v.flags = kVtxProject;
        vertex[i] = Alloc_FrameArena(sizeof(ObjVertex));
        Store(Ref<ObjVertex>(vertex[i]), v);
    }
    // The polygon's edges: a whole edge of the face, or a new one.
    uint32_t side[8];
    for (int i = 0; i < n; ++i) {
        int j = (i + 1) % n;
        bool whole = a[i].tag >= 0 && a[i].corner >= 0 && a[j].corner >= 0;
        side[i] = whole ? t.edge[a[i].tag] : NewEdge(g, vertex[i], vertex[j]);
    }
    auto corner = [&](int i) {
        Corner c;
        ObjVertex v = Vertex(vertex[i]);
        c.x = v.sx;
        c.y = v.sy;
        c.k = v.invZ;
        for (int j = 0; j < 3; ++j) c.at[j] = a[i].at[j];
        c.plainU = a[i].pu;
        c.plainV = a[i].pv;
        c.vertex = vertex[i];
        return c;
    };
    // A fan from the first corner; each diagonal is one edge shared by the
    // two triangles beside it.
    uint32_t diagonal = side[0];
    for (int i = 1; i + 1 < n; ++i) {
        Triangle piece;
        piece.c[0] = corner(0);
        piece.c[1] = corner(i);
        piece.c[2] = corner(i + 1);
        uint32_t closing = i + 2 == n ? side[n - 1] : NewEdge(g, vertex[i + 1], vertex[0]);
        piece.edge[0] = diagonal;
        piece.edge[1] = side[i];
        piece.edge[2] = closing;
        SetupTriangle(g, piece);
        diagonal = closing;
    }
}

void SetupFace(const GroupSetup& g, const Triangle& t) {
    bool beyond = false;
    for (const Corner& c : t.c) {
        if (c.y < -kRowLimit || c.y > kRowLimit) {
            if (!g_rowLimitLogged) {
                g_rowLimitLogged = true;
                DebugLog("SR: face with a corner %d lines off the screen not drawn", c.y);
            }
            return;
        }
        if (c.x < -kGuardBand || c.x > kGuardBand) beyond = true;
    }
    if (!beyond) {
        SetupTriangle(g, t);
        return;
    }
    if (!g_guardBandLogged) {
        g_guardBandLogged = true;
        DebugLog("SR: faces cut to the guard band of %d pixels", kGuardBand);
    }
    SetupBeyondBand(g, t);
}

// ---------------------------------------------------------------------------
// Groups
// ---------------------------------------------------------------------------

// The colour of texel (u, v) in a shade row.
uint16_t TexelColour(uint32_t texels, uint8_t row, int32_t u, int32_t v) {
    uint32_t index = (uint32_t(u >> 16) & 0xFF) | (uint32_t(v >> 8) & 0xFF00);
    uint8_t texel = PoolPtr(texels)[index];
    return SR_ColourEntry(PoolPtr(texels), row, texel);
}

uint16_t Half(uint16_t a, uint16_t b, uint16_t mask) {
    return uint16_t(((a >> 1) & mask) + ((b >> 1) & mask));
}

void SetupGroup(Family family, PoolRef<PrimGroup> group, PoolRef<Obj3D> obj) {
    GroupSetup g;
    g.family = family;
    g.type = Get(group, &PrimGroup::type);
    g.edges = Get(group, &PrimGroup::edges);
    g.stride = g.edges ? Get(g.edges, &EdgeGroup::stride) : 0;
    uint32_t faceSize = Group_FaceSize(group);
    bool textured = family != Family::Flat;
    // A group whose records are too short for its family, or whose texture
    // is missing, is not drawn.
    if (!g.edges || g.stride < FamilyBytes(family) || !faceSize) return;
    if (textured && faceSize != sizeof(PrimFaceLong)) return;
    if (textured) {
        g.texels = SR_GroupTexels(group, g.type == 29 ? 131072 : 65536);
        if (!g.texels) return;
    }
    g.attrs = family == Family::Flat || family == Family::Type28 ? 0
              : (family == Family::Type30 || family == Family::Type23) ? 3 : 2;
    g.floats = family == Family::Perspective || family == Family::Type23;
    bool lit = Node_IsLit(obj);
    uint32_t translucency = Get(obj, &Obj3D::translucency);
    // The translucent perspective type takes its level from the
    // translucency word's bits 8 to 12, as -13 does, and carries it in the
    // level byte that its span routine reads.
    if (g.type == -12) g.level = uint8_t((translucency >> 8) & 31);
    uint16_t groupColour = uint16_t(LoadWord(group.off + offsetof(PrimGroup, render)));
    uint16_t halfMask = SR_HalfMask();
    uint32_t shadeAt = faceSize == sizeof(PrimFaceLong) ? offsetof(PrimFaceLong, shade) : offsetof(PrimFaceShort, shade);

    PoolRef<PrimFace> f = Get(group, &PrimGroup::visible);
    for (int index = 0; f && index < kChainLimit; f = Get(f, &PrimFace::next), ++index) {
        PrimFace face = Load(f);
        if (face.flags & kFaceClipped) {
            for (const PrimCorner& c : face.corner)
                if (c.edge) Set(c.edge, &PrimEdge::spare, 0u);
            continue;
        }
        if (face.flags & kFaceHidden) continue;
        uint8_t shade = PoolPtr(f.off + shadeAt)[0];
        if (family == Family::Flat) {
            if (lit) {
                // Each 5-6-5 channel raised by the shade, held at its top.
                uint32_t r = (groupColour >> 11) + shade / 4u, gr = ((groupColour >> 5) & 63) + shade / 2u,
                         b = (groupColour & 31) + shade / 4u;
                g.colour = uint16_t((r > 31 ? 31 : r) << 11 | (gr > 63 ? 63 : gr) << 5 | (b > 31 ? 31 : b));
            } else {
                g.colour = uint16_t(groupColour + 5000u * uint32_t(index + 1));
            }
        } else if (family == Family::M13) {
            g.row = ClampRow(lit ? 31 - int32_t(shade) : 31 - int32_t(translucency & 31));
            g.colour = uint16_t(translucency & 0x1F00);
        } else {
            g.row = ClampRow(31 - int32_t(lit ? shade : (translucency & 0xFF)));
        }
        Triangle t;
        bool ok = true;
        PrimFaceLong longFace{};
        if (textured) longFace = Load(Ref<PrimFaceLong>(f.off));
        for (int c = 0; c < 3; ++c) {
            t.edge[c] = face.corner[c].edge.off;
            if (!face.corner[c].edge || !face.corner[c].vertex) ok = false;
        }
        if (!ok) continue;
        for (int c = 0; c < 3; ++c) {
            ObjVertex v = Load(face.corner[c].vertex);
            Corner& k = t.c[c];
            k.x = v.sx;
            k.y = v.sy;
            k.k = v.invZ;
            k.vertex = face.corner[c].vertex.off;
            k.at[0] = k.at[1] = k.at[2] = 0;
            k.plainU = k.plainV = 0;
            if (!textured) continue;
            if (!longFace.uv[c]) {
                ok = false;
                break;
            }
            UvPair uv = Load(longFace.uv[c]);
            k.plainU = uv.u;
            k.plainV = uv.v;
            if (g.floats) {
                k.at[0] = double(float(uv.u) * v.invZ);
                k.at[1] = double(float(uv.v) * v.invZ);
            } else {
                k.at[0] = uv.u;
                k.at[1] = uv.v;
            }
            // Corner shade rows into the edges; the corner bytes stay as the
            // lighting left them.
            if (g.attrs == 3) {
                uint8_t s = longFace.cornerShade[c];
                k.at[2] = double(31 - (s > 31 ? 31 : s)) * 65536.0;
            }
        }
        if (!ok) continue;
        if (family == Family::Type28) {
            uint16_t c0 = TexelColour(g.texels, g.row, f2i(t.c[0].plainU), f2i(t.c[0].plainV));
            uint16_t c1 = TexelColour(g.texels, g.row, f2i(t.c[1].plainU), f2i(t.c[1].plainV));
            uint16_t c2 = TexelColour(g.texels, g.row, f2i(t.c[2].plainU), f2i(t.c[2].plainV));
            g.colour = Half(Half(c0, c1, halfMask), c2, halfMask);
        }
        SetupFace(g, t);
    }
}

// ---------------------------------------------------------------------------
// Edge filing
// ---------------------------------------------------------------------------

void PushStart(int32_t line, uint32_t edge, int32_t type) {
    uint32_t at = Alloc_FrameArena(sizeof(SpanStart));
    SpanStart s{SR_StartTable[line], edge, type, 0};
    std::memcpy(PoolPtr(at), &s, sizeof s);
    SR_StartTable[line] = at;
}

void PushEnd(int32_t line, SpanNode* n, uint32_t edge) {
    n->bucketLink = SR_EndTable[line];
    SR_EndTable[line] = edge;
}

void PushSwitch(int32_t line, SpanNode* n, uint32_t edge) {
    n->bucketLink = SR_SwitchTable[line];
    SR_SwitchTable[line] = edge;
}

void FileEdges(PoolRef<EdgeGroup> group, StepKind kind) {
    int32_t type = Get(group, &EdgeGroup::type);
    uint32_t stride = Get(group, &EdgeGroup::stride);
    bool usable = stride >= SR_StepBytes(kind) && kind != StepKind::None;
    const SpanViewRect& r = g_SpanRect;
    int32_t first = r.top, last = r.top + r.height - 1;
    auto inView = [&](int32_t line) { return line >= first && line <= last; };
    uint32_t e = Get(group, &EdgeGroup::current).off;
    for (int steps = 0; e && steps < kChainLimit; ++steps) {
        SpanNode* n = NodeAt(e);
        uint32_t state = n->state;
        n->state = 0;
        uint32_t next = n->next;
        if (state == 0 || !usable) {
            e = next;
            continue;
        }
        bool aAbove = state & kEdgeAAbove, aBelow = state & kEdgeABelow;
        bool bAbove = state & kEdgeBAbove, bBelow = state & kEdgeBBelow;
        bool topAbove = aAbove || bAbove, bottomBelow = aBelow || bBelow;
        if ((aAbove && bAbove) || (aBelow && bBelow)) {
            e = next;
            continue;
        }
        int32_t ya = Get(Ref<ObjVertex>(n->a), &ObjVertex::sy), yb = Get(Ref<ObjVertex>(n->b), &ObjVertex::sy);
        int32_t top = ya < yb ? ya : yb, bottom = ya < yb ? yb : ya;
        bool isLeft = state & kEdgeLeft, isRight = state & kEdgeRight;
        if (topAbove) SR_AdvanceNode(n, kind, first - top);
        int32_t startLine = topAbove ? first : top;
        if (state & kEdgeTakeOver) {
            if (inView(startLine)) PushSwitch(startLine, n, e);
            if (!isLeft) n->nextNode = 0;
        } else if (isRight && !isLeft) {
            n->nextNode = 0;
        } else if (isLeft && !isRight) {
            bool dropped = topAbove && bottom == first;
            if (!dropped && inView(startLine)) {
                n->spanLine = 0;
                PushStart(startLine, e, type);
                if (!bottomBelow && inView(bottom)) PushEnd(bottom, n, e);
            }
        }
        e = next;
    }
}

// The family of a group by the 22/25 rule: lit objects draw them with the
// shaded form of type 30, unlit ones as type 24 from now on.
int32_t ResolveType(int32_t type, PoolRef<Obj3D> obj, bool* rewrite) {
    *rewrite = false;
    if (type != 22 && type != 25) return type;
    if (Node_IsLit(obj)) return 30;
    *rewrite = true;
    return 24;
}

}  // namespace

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

StepKind SR_StepKind(int32_t mode) {
    switch (mode) {
    case 1: case 4: case 5: case 7: case 8: case 10: case 17: case 27: case 28: case -2:
        return StepKind::Flat;
    case 2: case 6: case 11: case 18: case 21: case 24: case 32: case -3: case -5: case -8: case -10: case -11:
    case -13: case -14: case -15: case -21:
        return StepKind::Affine;
    case 22: case 25: case 30:
        return StepKind::AffineShaded;
    case 3: case 9: case 12: case 20: case 29: case -4: case -6: case -7: case -9: case -12:
        return StepKind::Perspective;
    case 23: case 26:
        return StepKind::PerspectiveShaded;
    default:
        return StepKind::None;
    }
}

uint32_t SR_StepBytes(StepKind kind) {
    switch (kind) {
    case StepKind::Flat: return kEdgeBytesFlat;
    case StepKind::Affine: return kEdgeBytesAffine;
    case StepKind::AffineShaded: case StepKind::Perspective: return kEdgeBytesLong;
    case StepKind::PerspectiveShaded: return kEdgeBytesShadedPerspective;
    default: return 0;
    }
}

namespace {

int32_t Wrap(int32_t v, int32_t step, int32_t lines) {
    return int32_t(uint32_t(v) + uint32_t(step) * uint32_t(lines));
}

}  // namespace

void SR_AdvanceNode(SpanNode* n, StepKind kind, int32_t lines) {
    if (lines == 0) return;
    n->x = Wrap(n->x, n->xStep, lines);
    n->key += float(lines) * n->keyStep;
    switch (kind) {
    case StepKind::Affine:
    case StepKind::AffineShaded:
        n->u.i = Wrap(n->u.i, n->uStep.i, lines);
        n->v.i = Wrap(n->v.i, n->vStep.i, lines);
        if (kind == StepKind::AffineShaded) n->tail[0].i = Wrap(n->tail[0].i, n->tail[1].i, lines);
        break;
    case StepKind::Perspective:
    case StepKind::PerspectiveShaded:
        n->u.f += float(lines) * n->uStep.f;
        n->v.f += float(lines) * n->vStep.f;
        if (kind == StepKind::PerspectiveShaded) n->shade = Wrap(n->shade, n->shadeStep, lines);
        break;
    default:
        break;
    }
}

void SR_SetupFlat(PoolRef<PrimGroup> g, PoolRef<Obj3D> o) { SetupGroup(Family::Flat, g, o); }
void SR_SetupAffine(PoolRef<PrimGroup> g, PoolRef<Obj3D> o) { SetupGroup(Family::Affine, g, o); }
void SR_SetupTypeM13(PoolRef<PrimGroup> g, PoolRef<Obj3D> o) { SetupGroup(Family::M13, g, o); }
void SR_SetupPerspective(PoolRef<PrimGroup> g, PoolRef<Obj3D> o) { SetupGroup(Family::Perspective, g, o); }
void SR_SetupType28(PoolRef<PrimGroup> g, PoolRef<Obj3D> o) { SetupGroup(Family::Type28, g, o); }
void SR_SetupType23(PoolRef<PrimGroup> g, PoolRef<Obj3D> o) { SetupGroup(Family::Type23, g, o); }
void SR_SetupType30(PoolRef<PrimGroup> g, PoolRef<Obj3D> o) { SetupGroup(Family::Type30, g, o); }

void SR_EdgesFlat(PoolRef<EdgeGroup> e) { FileEdges(e, StepKind::Flat); }
void SR_EdgesAffine(PoolRef<EdgeGroup> e) { FileEdges(e, StepKind::Affine); }
void SR_EdgesPerspective(PoolRef<EdgeGroup> e) { FileEdges(e, StepKind::Perspective); }
void SR_EdgesType23(PoolRef<EdgeGroup> e) { FileEdges(e, StepKind::PerspectiveShaded); }
void SR_EdgesType30(PoolRef<EdgeGroup> e) { FileEdges(e, StepKind::AffineShaded); }

void SR_SetupObject(PoolRef<Obj3D> node) {
    PoolRef<PrimGroup> group = Get(node, &Obj3D::groups);
    for (int steps = 0; group && steps < kChainLimit; group = Get(group, &PrimGroup::next), ++steps) {
        bool rewrite;
        int32_t type = ResolveType(Get(group, &PrimGroup::type), node, &rewrite);
        if (rewrite) Set(group, &PrimGroup::type, type);
        switch (SetupFamily(type)) {
        case Family::Flat: SR_SetupFlat(group, node); break;
        case Family::Affine: SR_SetupAffine(group, node); break;
        case Family::M13: SR_SetupTypeM13(group, node); break;
        case Family::Perspective: SR_SetupPerspective(group, node); break;
        case Family::Type28: SR_SetupType28(group, node); break;
        case Family::Type23: SR_SetupType23(group, node); break;
        case Family::Type30: SR_SetupType30(group, node); break;
        case Family::None: break;
        }
    }
}

void SR_BuildObjectEdges(PoolRef<Obj3D> node) {
    if (Get(node, &Obj3D::flags) & kObjDisabled) return;
    PoolRef<EdgeGroup> group = Get(node, &Obj3D::edgeGroups);
    for (int steps = 0; group && steps < kChainLimit; group = Get(group, &EdgeGroup::next), ++steps) {
        bool rewrite;
        int32_t type = ResolveType(Get(group, &EdgeGroup::type), node, &rewrite);
        if (rewrite) Set(group, &EdgeGroup::type, type);
        switch (SetupFamily(type)) {
        case Family::Flat: SR_EdgesFlat(group); break;
        case Family::Affine: case Family::M13: SR_EdgesAffine(group); break;
        case Family::Perspective: case Family::Type28: SR_EdgesPerspective(group); break;
        case Family::Type23: SR_EdgesType23(group); break;
        case Family::Type30: SR_EdgesType30(group); break;
        case Family::None: FileEdges(group, StepKind::None); break;
        }
    }
}

void SR_ClearBuckets() {
    std::memset(SR_StartTable, 0, sizeof SR_StartTable);
    std::memset(SR_EndTable, 0, sizeof SR_EndTable);
    std::memset(SR_SwitchTable, 0, sizeof SR_SwitchTable);
    SR_RestartSpanRecords();
    for (int i = 0; i < 10; ++i) SR_InversePowers[i] = 1.0f / float(1 << i);
}

int SR_ChooseLevel(double dudx, double dudy, double dvdx, double dvdy) {
    double l = dudx * dudx + dudy * dudy, v = dvdx * dvdx + dvdy * dvdy;
    double s = l < v ? l : v;
    const double unit = 4294967296.0;
    static const double limits[6] = {3, 12, 48, 192, 768, 3072};
    for (int level = 0; level < 6; ++level)
        if (s <= limits[level] * unit) return level;
    return 6;
}

uint32_t SR_GroupTexels(PoolRef<PrimGroup> group, uint32_t bytes) {
    uint32_t material = Get(group, &PrimGroup::material).off;
    uint32_t first = Model_Entry(0) + offsetof(ModelBankEntry, data);
    if (material < first || (material - first) % kModelEntrySize != 0 ||
        (material - first) / kModelEntrySize >= uint32_t(kModelBankEntries))
        return 0;
    uint32_t texels = LoadWord(material);
    if (texels < kTextureTexelsOffset || texels >= g_3DPoolSize) return 0;
    uint32_t block = texels - kTextureTexelsOffset;
    int32_t size = Get_BlockSize(block);
    if (size < int32_t(8 + kTextureTexelsOffset) || uint32_t(size) - 8 - kTextureTexelsOffset < bytes) return 0;
    if (uint64_t(texels) + bytes > g_3DPoolSize) return 0;
    return texels;
}
