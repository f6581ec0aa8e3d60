// The box collision service: bodies, the sort-and-sweep broad phase, the
// pair list and the feature-walking narrow phase.
#include "engine3d/dqx_boxcoll.h"

#include "engine3d/dqx_lib.h"
#include "host/host.h"

#include <cstdlib>
#include <cstring>

// Corners 0-3 make one face of the box and 4-7 the opposite one, corner
// 4 + k facing corner k; 0-1, 0-3 and 0-4 run along the box's three edges.
const BoxFeature kBoxFeatures[kBoxFeatureCount] = {
    {kFeatureCorner, {0, -1, -1, -1, -1, -1}, 3, {{0, 0, 1, 8}, {0, 0, 3, 17}, {0, 0, 4, 11}}},
    {kFeatureCorner, {1, -1, -1, -1, -1, -1}, 3, {{1, 1, 2, 16}, {1, 1, 5, 9}, {1, 1, 0, 8}}},
    {kFeatureCorner, {2, -1, -1, -1, -1, -1}, 3, {{2, 2, 3, 12}, {2, 2, 1, 16}, {2, 2, 6, 15}}},
    {kFeatureCorner, {3, -1, -1, -1, -1, -1}, 3, {{3, 3, 0, 17}, {3, 3, 7, 13}, {3, 3, 2, 12}}},
    {kFeatureCorner, {4, -1, -1, -1, -1, -1}, 3, {{4, 4, 7, 18}, {4, 4, 0, 11}, {4, 4, 5, 10}}},
    {kFeatureCorner, {5, -1, -1, -1, -1, -1}, 3, {{5, 5, 6, 19}, {5, 5, 4, 10}, {5, 5, 1, 9}}},
    {kFeatureCorner, {6, -1, -1, -1, -1, -1}, 3, {{6, 6, 2, 15}, {6, 6, 5, 19}, {6, 6, 7, 14}}},
    {kFeatureCorner, {7, -1, -1, -1, -1, -1}, 3, {{7, 7, 6, 14}, {7, 7, 4, 18}, {7, 7, 3, 13}}},
    {kFeatureEdge, {0, 1, -1, -1, -1, -1}, 4, {{0, 1, 0, 0}, {1, 0, 1, 1}, {0, 0, 3, 20}, {1, 1, 5, 24}}},
    {kFeatureEdge, {1, 5, -1, -1, -1, -1}, 4, {{1, 5, 1, 1}, {5, 1, 5, 5}, {1, 1, 2, 21}, {5, 5, 4, 24}}},
    {kFeatureEdge, {5, 4, -1, -1, -1, -1}, 4, {{5, 4, 5, 5}, {4, 5, 4, 4}, {5, 5, 6, 22}, {4, 4, 0, 24}}},
    {kFeatureEdge, {4, 0, -1, -1, -1, -1}, 4, {{4, 0, 4, 4}, {0, 4, 0, 0}, {4, 4, 7, 23}, {0, 0, 1, 24}}},
    {kFeatureEdge, {2, 3, -1, -1, -1, -1}, 4, {{2, 3, 2, 2}, {3, 2, 3, 3}, {2, 2, 1, 20}, {3, 3, 7, 25}}},
    {kFeatureEdge, {3, 7, -1, -1, -1, -1}, 4, {{3, 7, 3, 3}, {7, 3, 7, 7}, {3, 3, 0, 23}, {7, 7, 6, 25}}},
    {kFeatureEdge, {7, 6, -1, -1, -1, -1}, 4, {{7, 6, 7, 7}, {6, 7, 6, 6}, {7, 7, 4, 22}, {6, 6, 2, 25}}},
    {kFeatureEdge, {6, 2, -1, -1, -1, -1}, 4, {{6, 2, 6, 6}, {2, 6, 2, 2}, {6, 6, 5, 21}, {2, 2, 3, 25}}},
    {kFeatureEdge, {2, 1, -1, -1, -1, -1}, 4, {{1, 2, 1, 1}, {2, 1, 2, 2}, {1, 1, 0, 20}, {2, 2, 6, 21}}},
    {kFeatureEdge, {3, 0, -1, -1, -1, -1}, 4, {{3, 0, 3, 3}, {0, 3, 0, 0}, {3, 3, 2, 20}, {0, 0, 4, 23}}},
    {kFeatureEdge, {7, 4, -1, -1, -1, -1}, 4, {{4, 7, 4, 4}, {7, 4, 7, 7}, {4, 4, 5, 22}, {7, 7, 3, 23}}},
    {kFeatureEdge, {6, 5, -1, -1, -1, -1}, 4, {{5, 6, 5, 5}, {6, 5, 6, 6}, {5, 5, 1, 21}, {6, 6, 7, 22}}},
    {kFeatureFace, {0, 4, 0, 1, 2, 3}, 5, {{0, 3, 0, 8}, {1, 0, 1, 16}, {2, 1, 2, 12}, {3, 2, 3, 17}, {0, 0, 4, 26}}},
    {kFeatureFace, {1, 0, 1, 5, 6, 2}, 5, {{1, 2, 1, 9}, {5, 1, 5, 19}, {6, 5, 6, 15}, {2, 6, 2, 16}, {1, 1, 0, 26}}},
    {kFeatureFace, {5, 1, 5, 4, 7, 6}, 5, {{5, 6, 5, 10}, {4, 5, 4, 18}, {7, 4, 7, 14}, {6, 7, 6, 19}, {5, 5, 1, 26}}},
    {kFeatureFace, {4, 5, 4, 0, 3, 7}, 5, {{4, 7, 4, 11}, {0, 4, 0, 17}, {3, 0, 3, 13}, {7, 3, 7, 18}, {4, 4, 5, 26}}},
    {kFeatureFace, {4, 7, 4, 5, 1, 0}, 5, {{4, 0, 4, 10}, {5, 4, 5, 9}, {1, 5, 1, 8}, {0, 1, 0, 11}, {4, 4, 7, 26}}},
    {kFeatureFace, {3, 0, 3, 2, 6, 7}, 5, {{3, 7, 3, 12}, {2, 3, 2, 15}, {6, 2, 6, 14}, {7, 6, 7, 13}, {3, 3, 0, 26}}},
    {kFeatureInterior,
     {-1, -1, -1, -1, -1, -1},
     6,
     {{0, 4, 0, 20}, {1, 0, 1, 21}, {5, 1, 5, 22}, {4, 5, 4, 23}, {4, 7, 4, 24}, {3, 0, 3, 25}}},
};

BoxBody* g_BoxBodies = nullptr;
int32_t g_BoxBodyLimit = 0;
int32_t g_BoxBodyCount = 0;
int32_t g_BoxUsedHead = -1, g_BoxUsedTail = -1, g_BoxFreeHead = 0;
uint16_t* g_BoxEndpoints[3] = {nullptr, nullptr, nullptr};
uint8_t* g_BoxPairBytes = nullptr;
BoxPair* g_BoxPairs = nullptr;
int32_t g_BoxPairCount = 0;

namespace {

constexpr uint16_t kMinimum = 0x8000;

// The pair node the last Get_BoxPair answered, and its k; forgotten
// whenever the pair list changes.
BoxPair* g_RememberedPair = nullptr;
int32_t g_RememberedK = -1;

void ForgetRememberedPair() {
    g_RememberedPair = nullptr;
    g_RememberedK = -1;
}

size_t PairIndex(int32_t i, int32_t j) {
    if (i < j) std::swap(i, j);
    return size_t(i) * size_t(i - 1) / 2 + size_t(j);
}

// Reads the body's box record again; a record that no longer exists leaves
// the box as it was last read.
void RefreshBody(BoxBody* b) {
    PoolRef<BoxRecord> r = Get_ObjBox(b->handle, b->box);
    if (!r) return;
    BoxRecord rec = Load(r);
    std::memcpy(b->corner, rec.world, sizeof b->corner);
    std::memcpy(b->min, rec.min, sizeof b->min);
    std::memcpy(b->max, rec.max, sizeof b->max);
}

BoxCorners CornersOf(const BoxBody& b) {
    BoxCorners c;
    for (int i = 0; i < 8; ++i) c.c[i] = {b.corner[i][0], b.corner[i][1], b.corner[i][2]};
    return c;
}

float EndValue(uint16_t e, int axis) {
    const BoxBody& b = g_BoxBodies[e & 0x7FFF];
    return (e & kMinimum) ? b.min[axis] : b.max[axis];
}

// The boxes of i and j stopped overlapping on this axis.
void SeparateOnAxis(int32_t i, int32_t j, int axis) {
    uint8_t* p = Get_BoxPairByte(i, j);
    if (*p & kPairListed) Remove_BoxPair(i, j);
    *p &= uint8_t(~(1u << axis));
}

// The boxes of i and j began to overlap on this axis.
void OverlapOnAxis(int32_t i, int32_t j, int axis) {
    uint8_t* p = Get_BoxPairByte(i, j);
    *p |= uint8_t(1u << axis);
    if (*p == (kPairOverlapX | kPairOverlapY | kPairOverlapZ)) Add_BoxPair(i, j);
}

// One pass of insertion sort over an axis list; the lists stay nearly sorted
// from frame to frame, so little moves.  Touching extents overlap: a minimum
// moves left past a maximum of equal value, a maximum never past a minimum
// of equal value.  Two ends of one kind and equal value keep their order
// (their order changes no pair, and boxes resting on one floor would
// otherwise trade places every frame, n x n moves).
void SortAxis(int axis) {
    uint16_t* list = g_BoxEndpoints[axis];
    int32_t count = 2 * g_BoxBodyCount;
    for (int32_t k = 1; k < count; ++k) {
        uint16_t u = list[k];
        int32_t bu = u & 0x7FFF;
        float vu = EndValue(u, axis);
        int32_t j = k;
        while (j > 0) {
            uint16_t w = list[j - 1];
            int32_t bw = w & 0x7FFF;
            float vw = EndValue(w, axis);
            bool wMin = (w & kMinimum) != 0;
            if (wMin == ((u & kMinimum) != 0)) {
                if (!(vw > vu)) break;
            } else if (u & kMinimum) {
                if (!(vw >= vu)) break;
                // A body's own maximum before its minimum only happens
                // before its box was first read; it makes no pair.
                if (bw != bu) OverlapOnAxis(bu, bw, axis);
            } else {
                if (!(vw > vu)) break;
                if (bw != bu) SeparateOnAxis(bu, bw, axis);
            }
            list[j--] = w;
        }
        list[j] = u;
    }
}

void RemoveEndpoints(int32_t i) {
    int32_t count = 2 * g_BoxBodyCount;
    for (uint16_t* list : g_BoxEndpoints) {
        int32_t out = 0;
        for (int32_t k = 0; k < count; ++k)
            if ((list[k] & 0x7FFF) != i) list[out++] = list[k];
    }
}

void ClearPairBytes(int32_t i) {
    for (int32_t j = 0; j < g_BoxBodyLimit; ++j)
        if (j != i) *Get_BoxPairByte(i, j) = 0;
}

bool Present(int32_t i) {
    return i >= 0 && i < g_BoxBodyLimit && g_BoxBodies[i].handle != -1;
}

void WritePoint(const D3& p, int32_t out[3]) {
    out[0] = f2i(p.x), out[1] = f2i(p.y), out[2] = f2i(p.z);
}

}  // namespace

// ---------------------------------------------------------------------------
// Bodies and pairs.
// ---------------------------------------------------------------------------

int Init_BoxCollision(int32_t n) {
    if (n < 1 || n > kMaxBoxBodies) return -1;
    Free_BoxCollision();
    size_t pairBytes = size_t(n) * size_t(n - 1) / 2;
    g_BoxBodies = static_cast<BoxBody*>(std::calloc(size_t(n), sizeof(BoxBody)));
    for (uint16_t*& list : g_BoxEndpoints) list = static_cast<uint16_t*>(std::calloc(2 * size_t(n), sizeof(uint16_t)));
    g_BoxPairBytes = static_cast<uint8_t*>(std::calloc(pairBytes ? pairBytes : 1, 1));
    if (!g_BoxBodies || !g_BoxEndpoints[0] || !g_BoxEndpoints[1] || !g_BoxEndpoints[2] || !g_BoxPairBytes) {
        Free_BoxCollision();
        return -1;
    }
    g_BoxBodyLimit = n;
    for (int32_t i = 0; i < n; ++i) {
        g_BoxBodies[i].handle = -1;
        g_BoxBodies[i].box = 0xFFFF;
        g_BoxBodies[i].next = i + 1;
        g_BoxBodies[i].prev = -1;
    }
    g_BoxFreeHead = 0;
    g_BoxUsedHead = g_BoxUsedTail = -1;
    g_BoxBodyCount = 0;
    g_BoxPairs = nullptr;
    g_BoxPairCount = 0;
    ForgetRememberedPair();
    return 0;
}

void Free_BoxCollision() {
    while (g_BoxPairs) {
        BoxPair* next = g_BoxPairs->next;
        delete g_BoxPairs;
        g_BoxPairs = next;
    }
    std::free(g_BoxBodies);
    for (uint16_t*& list : g_BoxEndpoints) {
        std::free(list);
        list = nullptr;
    }
    std::free(g_BoxPairBytes);
    g_BoxBodies = nullptr;
    g_BoxPairBytes = nullptr;
    g_BoxBodyLimit = g_BoxBodyCount = g_BoxPairCount = 0;
    g_BoxUsedHead = g_BoxUsedTail = -1;
    g_BoxFreeHead = 0;
    ForgetRememberedPair();
}

int32_t Find_BoxBody(ObjHandle handle, int32_t box) {
    if (!g_BoxBodies || handle == -1) return -1;
    for (int32_t i = g_BoxUsedHead; i != -1; i = g_BoxBodies[i].next)
        if (g_BoxBodies[i].handle == handle && g_BoxBodies[i].box == uint16_t(box)) return i;
    return -1;
}

int Add_BoxBody(ObjHandle handle, int32_t box) {
    if (!g_BoxBodies || box < 0 || box >= 0xFFFF) return -1;
    if (Find_BoxBody(handle, box) >= 0 || g_BoxFreeHead >= g_BoxBodyLimit) return -1;
    if (!Get_ObjBox(handle, box)) return -1;
    int32_t i = g_BoxFreeHead;
    BoxBody* b = &g_BoxBodies[i];
    g_BoxFreeHead = b->next;
    b->handle = handle;
    b->box = uint16_t(box);
    RefreshBody(b);
    b->next = -1;
    b->prev = g_BoxUsedTail;
    if (g_BoxUsedTail == -1) g_BoxUsedHead = i;
    else g_BoxBodies[g_BoxUsedTail].next = i;
    g_BoxUsedTail = i;
    for (uint16_t* list : g_BoxEndpoints) {
        list[2 * g_BoxBodyCount] = uint16_t(i | kMinimum);
        list[2 * g_BoxBodyCount + 1] = uint16_t(i);
    }
    ++g_BoxBodyCount;
    // The index may have been another body's: it starts with no pair state.
    ClearPairBytes(i);
    return 0;
}

int Remove_BoxBody(ObjHandle handle, int32_t box) {
    int32_t i = Find_BoxBody(handle, box);
    if (i < 0) return 0;
    BoxBody* b = &g_BoxBodies[i];
    if (b->prev == -1) g_BoxUsedHead = b->next;
    else g_BoxBodies[b->prev].next = b->next;
    if (b->next == -1) g_BoxUsedTail = b->prev;
    else g_BoxBodies[b->next].prev = b->prev;
    b->handle = -1;
    b->box = 0xFFFF;
    b->prev = -1;
    b->next = g_BoxFreeHead;
    g_BoxFreeHead = i;
    RemoveEndpoints(i);
    for (BoxPair** p = &g_BoxPairs; *p;) {
        if ((*p)->a != i && (*p)->b != i) {
            p = &(*p)->next;
            continue;
        }
        BoxPair* dead = *p;
        *p = dead->next;
        delete dead;
        --g_BoxPairCount;
    }
    ForgetRememberedPair();
    ClearPairBytes(i);
    --g_BoxBodyCount;
    return 0;
}

uint8_t* Get_BoxPairByte(int32_t i, int32_t j) {
    return &g_BoxPairBytes[PairIndex(i, j)];
}

void Add_BoxPair(int32_t i, int32_t j) {
    BoxPair* p = new BoxPair{std::max(i, j), std::min(i, j), 0, 0, g_BoxPairs};
    g_BoxPairs = p;
    ++g_BoxPairCount;
    *Get_BoxPairByte(i, j) |= kPairListed;
    ForgetRememberedPair();
}

void Remove_BoxPair(int32_t i, int32_t j) {
    int32_t a = std::max(i, j), b = std::min(i, j);
    for (BoxPair** p = &g_BoxPairs; *p; p = &(*p)->next) {
        if ((*p)->a != a || (*p)->b != b) continue;
        BoxPair* dead = *p;
        *p = dead->next;
        delete dead;
        --g_BoxPairCount;
        break;
    }
    *Get_BoxPairByte(i, j) &= uint8_t(~kPairListed);
    ForgetRememberedPair();
}

int Enable_BoxPair(ObjHandle h1, int32_t box1, ObjHandle h2, int32_t box2) {
    int32_t i = Find_BoxBody(h1, box1), j = Find_BoxBody(h2, box2);
    if (i < 0 || j < 0) return -1;
    if (i == j) return 0;
    uint8_t* p = Get_BoxPairByte(i, j);
    *p &= uint8_t(~kPairDisabled);
    if (*p == (kPairOverlapX | kPairOverlapY | kPairOverlapZ)) Add_BoxPair(i, j);
    return 0;
}

int Disable_BoxPair(ObjHandle h1, int32_t box1, ObjHandle h2, int32_t box2) {
    int32_t i = Find_BoxBody(h1, box1), j = Find_BoxBody(h2, box2);
    if (i < 0 || j < 0) return -1;
    if (i == j) return 0;
    if (*Get_BoxPairByte(i, j) & kPairListed) Remove_BoxPair(i, j);
    *Get_BoxPairByte(i, j) |= kPairDisabled;
    return 0;
}

int32_t Update_BoxCollision() {
    if (!g_BoxBodies) return 0;
    for (int32_t i = g_BoxUsedHead; i != -1; i = g_BoxBodies[i].next) RefreshBody(&g_BoxBodies[i]);
    for (int axis = 0; axis < 3; ++axis) SortAxis(axis);
    return g_BoxPairCount;
}

int Get_BoxPair(int32_t k, ObjHandle* h1, int32_t* box1, ObjHandle* h2, int32_t* box2, int32_t pointA[3],
                int32_t pointB[3]) {
    BoxPair* node;
    if (g_RememberedPair && k == g_RememberedK + 1) {
        node = g_RememberedPair->next;
    } else {
        node = k < 0 ? nullptr : g_BoxPairs;
        for (int32_t n = 0; node && n < k; ++n) node = node->next;
    }
    if (!node) {
        ForgetRememberedPair();
        return -1;
    }
    g_RememberedPair = node;
    g_RememberedK = k;
    BoxBody& a = g_BoxBodies[node->a];
    BoxBody& b = g_BoxBodies[node->b];
    RefreshBody(&a);
    RefreshBody(&b);
    D3 pa{0, 0, 0}, pb{0, 0, 0};
    Track_ClosestFeatures(&node->featureA, &node->featureB, CornersOf(a), CornersOf(b), &pa, &pb);
    *h1 = a.handle, *box1 = a.box, *h2 = b.handle, *box2 = b.box;
    WritePoint(pa, pointA);
    WritePoint(pb, pointB);
    return 0;
}

int Get_BoxClosestPoints(ObjHandle h1, int32_t box1, ObjHandle h2, int32_t box2, int32_t pointA[3],
                         int32_t pointB[3]) {
    int32_t i = Find_BoxBody(h1, box1), j = Find_BoxBody(h2, box2);
    if (!Present(i) || !Present(j)) return -1;
    RefreshBody(&g_BoxBodies[i]);
    RefreshBody(&g_BoxBodies[j]);
    int32_t fa = 0, fb = 0;
    D3 pa{0, 0, 0}, pb{0, 0, 0};
    Track_ClosestFeatures(&fa, &fb, CornersOf(g_BoxBodies[i]), CornersOf(g_BoxBodies[j]), &pa, &pb);
    WritePoint(pa, pointA);
    WritePoint(pb, pointB);
    return 0;
}

int Get_BoxMidpoints(ObjHandle h, int32_t box, int32_t points[4][3]) {
    PoolRef<BoxRecord> r = Get_ObjBox(h, box);
    if (!r) return -1;
    BoxRecord rec = Load(r);
    const int others[4] = {6, 1, 4, 3};
    for (int k = 0; k < 4; ++k)
        for (int a = 0; a < 3; ++a) points[k][a] = f2i((double(rec.world[0][a]) + rec.world[others[k]][a]) / 2);
    return 0;
}

int32_t Get_ObjBoxCount(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    return n ? Get(n, &Obj3D::boxCount) : -1;
}

PoolRef<BoxRecord> Get_ObjBox(ObjHandle h, int32_t i) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n || i < 0 || i >= Get(n, &Obj3D::boxCount)) return {0};
    PoolRef<BoxRecord> boxes = Get(n, &Obj3D::boxes);
    return boxes ? Index(boxes, uint32_t(i)) : PoolRef<BoxRecord>{0};
}

// ---------------------------------------------------------------------------
// Geometry.
// ---------------------------------------------------------------------------

D3 Closest_PointOnLine(const D3& p, const D3& a, const D3& b) {
    D3 e = Sub(b, a);
    double ee = Dot(e, e);
    if (!(ee > 0)) return a;
    return Add(a, Scale(e, Dot(Sub(p, a), e) / ee));
}

D3 Intersect_LinePlane(const D3& a, const D3& b, const D3& o, const D3& n) {
    D3 d = Sub(b, a);
    double dn = Dot(d, n);
    if (dn == 0) return a;
    return Add(a, Scale(d, Dot(Sub(o, a), n) / dn));
}

D3 Project_PointOnLine(const D3& p, const D3& dir, const D3& o, const D3& n) {
    D3 d = Intersect_LinePlane(p, Add(p, dir), o, n);
    return d;
}

void Closest_SegmentPoints(const D3& a0, const D3& a1, const D3& b0, const D3& b1, D3* pa, D3* pb) {
    D3 d1 = Sub(a1, a0), d2 = Sub(b1, b0), r = Sub(a0, b0);
    double a = Dot(d1, d1), e = Dot(d2, d2), f = Dot(d2, r);
    auto clamp01 = [](double t) { return t < 0 ? 0.0 : t > 1 ? 1.0 : t; };
    double s = 0, t = 0;
    if (!(a > 0) && !(e > 0)) {
        s = t = 0;
    } else if (!(a > 0)) {
        t = clamp01(f / e);
    } else {
        double c = Dot(d1, r);
        if (!(e > 0)) {
            s = clamp01(-c / a);
        } else {
            double b = Dot(d1, d2), denom = a * e - b * b;
            if (denom <= 1e-12 * a * e) {
                // Parallel: the middle of the stretch where the two overlap
                // (every point of it is as near), else the nearer ends.
                double s0 = -c / a, s1 = (b - c) / a;
                double lo = std::max(0.0, std::min(s0, s1)), hi = std::min(1.0, std::max(s0, s1));
                s = lo <= hi ? (lo + hi) / 2 : (s0 < 0 && s1 < 0 ? 0.0 : 1.0);
                t = clamp01((b * s + f) / e);
                s = clamp01((b * t - c) / a);
            } else {
                s = clamp01((b * f - c * e) / denom);
                t = (b * s + f) / e;
                if (t < 0) {
                    t = 0;
                    s = clamp01(-c / a);
                } else if (t > 1) {
                    t = 1;
                    s = clamp01((b - c) / a);
                }
            }
        }
    }
    *pa = Add(a0, Scale(d1, s));
    *pb = Add(b0, Scale(d2, t));
}

// ---------------------------------------------------------------------------
// Features.
// ---------------------------------------------------------------------------

namespace {

bool PlaneViolated(const BoxFeaturePlane& pl, const D3& p, const BoxCorners& box) {
    return Dot(Sub(p, box.c[pl.a]), Sub(box.c[pl.b], box.c[pl.c])) < 0;
}

int KindOf(int32_t f) {
    return kBoxFeatures[f].kind;
}

const D3& CornerOf(int32_t f, int k, const BoxCorners& box) {
    return box.c[kBoxFeatures[f].corners[k]];
}

// A face's outward normal and one of its four corners.
D3 FaceNormal(int32_t f, const BoxCorners& box) {
    return Sub(CornerOf(f, 0, box), CornerOf(f, 1, box));
}
const D3& FaceCorner(int32_t f, int k, const BoxCorners& box) {
    return CornerOf(f, 2 + k, box);
}

D3 OntoFacePlane(const D3& p, int32_t f, const BoxCorners& box) {
    D3 n = FaceNormal(f, box);
    return Project_PointOnLine(p, n, FaceCorner(f, 0, box), n);
}

// The point of X's feature against Y's feature's region, then Y's point
// against X's feature's region.
bool CheckPoints(int32_t* fx, const BoxCorners& x, int32_t* fy, const BoxCorners& y, const D3& px, const D3& py) {
    return Step_FeatureRegion(fy, px, y) && Step_FeatureRegion(fx, py, x);
}

struct Side {
    int32_t* f;
    const BoxCorners& box;
    D3* point;
};

bool CornerCorner(Side x, Side y) {
    *x.point = CornerOf(*x.f, 0, x.box);
    *y.point = CornerOf(*y.f, 0, y.box);
    return CheckPoints(x.f, x.box, y.f, y.box, *x.point, *y.point);
}

bool CornerEdge(Side x, Side y) {
    *x.point = CornerOf(*x.f, 0, x.box);
    *y.point = Closest_PointOnLine(*x.point, CornerOf(*y.f, 0, y.box), CornerOf(*y.f, 1, y.box));
    return CheckPoints(x.f, x.box, y.f, y.box, *x.point, *y.point);
}

bool CornerFace(Side x, Side y) {
    *x.point = CornerOf(*x.f, 0, x.box);
    *y.point = OntoFacePlane(*x.point, *y.f, y.box);
    return CheckPoints(x.f, x.box, y.f, y.box, *x.point, *y.point);
}

// A corner inside the other box is its own closest point on both.
bool CornerInterior(Side x, Side y) {
    *x.point = *y.point = CornerOf(*x.f, 0, x.box);
    return Step_FeatureRegion(y.f, *x.point, y.box);
}

bool EdgeEdge(Side x, Side y) {
    Closest_SegmentPoints(CornerOf(*x.f, 0, x.box), CornerOf(*x.f, 1, x.box), CornerOf(*y.f, 0, y.box),
                          CornerOf(*y.f, 1, y.box), x.point, y.point);
    D3 d = Sub(*x.point, *y.point);
    if (Dot(d, d) < 10.0) return true;
    return CheckPoints(x.f, x.box, y.f, y.box, *x.point, *y.point);
}

// An edge through the face's plane inside the face touches it there.
// Otherwise the edge is cut to the face's prism (its four side planes): an
// edge wholly beside the face, or nearest the face's plane where it leaves
// the prism, is nearer to the face's edge on that side; else its end nearer
// the plane (or, parallel to it, the middle of the cut part) and that
// point's foot on the plane.
bool EdgeFace(Side x, Side y) {
    const D3& e0 = CornerOf(*x.f, 0, x.box);
    const D3& e1 = CornerOf(*x.f, 1, x.box);
    D3 n = FaceNormal(*y.f, y.box);
    const D3& o = FaceCorner(*y.f, 0, y.box);
    const BoxFeature& face = kBoxFeatures[*y.f];
    double d0 = Dot(Sub(e0, o), n), d1 = Dot(Sub(e1, o), n);
    auto inSides = [&](const D3& p) {
        for (int k = 0; k < 4; ++k)
            if (PlaneViolated(face.planes[k], p, y.box)) return false;
        return true;
    };
    if ((d0 <= 0 && d1 >= 0) || (d0 >= 0 && d1 <= 0)) {
        D3 hit = d0 == d1 ? Scale(Add(e0, e1), 0.5) : Intersect_LinePlane(e0, e1, o, n);
        if (inSides(hit)) {
            *x.point = *y.point = hit;
            return true;
        }
    }
    double tl = 0, th = 1;
    int nl = -1, nh = -1;
    for (int k = 0; k < 4; ++k) {
        const BoxFeaturePlane& pl = face.planes[k];
        D3 m = Sub(y.box.c[pl.b], y.box.c[pl.c]);
        double g0 = Dot(Sub(e0, y.box.c[pl.a]), m), g1 = Dot(Sub(e1, y.box.c[pl.a]), m);
        if (g0 < 0 && g1 < 0) {
            *y.f = pl.neighbour;
            return false;
        }
        double t = g0 < 0 || g1 < 0 ? g0 / (g0 - g1) : 0;
        if (g0 < 0 && t > tl) tl = t, nl = k;
        if (g1 < 0 && t < th) th = t, nh = k;
    }
    if (tl > th) {
        // The edge passes beside a corner of the face.
        *y.f = face.planes[nl].neighbour;
        return false;
    }
    double dl = d0 + (d1 - d0) * tl, dh = d0 + (d1 - d0) * th;
    double t;
    if (std::abs(dl - dh) <= 1e-9 * (std::abs(dl) + std::abs(dh))) {
        t = (tl + th) / 2;
    } else {
        bool low = std::abs(dl) < std::abs(dh);
        int cut = low ? nl : nh;
        if (cut >= 0) {
            *y.f = face.planes[cut].neighbour;
            return false;
        }
        t = low ? tl : th;
    }
    *x.point = Add(e0, Scale(Sub(e1, e0), t));
    *y.point = OntoFacePlane(*x.point, *y.f, y.box);
    return CheckPoints(x.f, x.box, y.f, y.box, *x.point, *y.point);
}

// The part of the edge inside the other box, when there is one: its middle
// is the closest point of both.  Otherwise the interior steps to the face
// the edge's middle lies beyond.
bool EdgeInterior(Side x, Side y) {
    const D3& e0 = CornerOf(*x.f, 0, x.box);
    const D3& e1 = CornerOf(*x.f, 1, x.box);
    double t0 = 0, t1 = 1;
    const BoxFeature& inside = kBoxFeatures[*y.f];
    for (int k = 0; k < inside.planeCount && t0 <= t1; ++k) {
        const BoxFeaturePlane& pl = inside.planes[k];
        D3 n = Sub(y.box.c[pl.b], y.box.c[pl.c]);
        double f0 = Dot(Sub(e0, y.box.c[pl.a]), n), f1 = Dot(Sub(e1, y.box.c[pl.a]), n);
        if (f0 < 0 && f1 < 0) t0 = 2;
        else if (f0 < 0) t0 = std::max(t0, f0 / (f0 - f1));
        else if (f1 < 0) t1 = std::min(t1, f0 / (f0 - f1));
    }
    double t = t0 <= t1 ? (t0 + t1) / 2 : 0.5;
    D3 p = Add(e0, Scale(Sub(e1, e0), t));
    *x.point = *y.point = p;
    if (t0 <= t1) return true;
    return Step_FeatureRegion(y.f, p, y.box);
}

// The corner of X's face nearest Y's face plane, and its foot on that plane.
bool FaceFace(Side x, Side y) {
    D3 n = FaceNormal(*y.f, y.box);
    const D3& o = FaceCorner(*y.f, 0, y.box);
    int best = 0;
    double bestD = 0;
    for (int k = 0; k < 4; ++k) {
        double d = Dot(Sub(FaceCorner(*x.f, k, x.box), o), n);
        if (k == 0 || d < bestD) best = k, bestD = d;
    }
    *x.point = FaceCorner(*x.f, best, x.box);
    *y.point = OntoFacePlane(*x.point, *y.f, y.box);
    return CheckPoints(x.f, x.box, y.f, y.box, *x.point, *y.point);
}

// A corner of the face inside the other box, or else the face's centre
// there, is the closest point of both; otherwise the interior steps to the
// face the centre lies beyond.
bool FaceInterior(Side x, Side y) {
    D3 centre{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        const D3& c = FaceCorner(*x.f, k, x.box);
        centre = Add(centre, Scale(c, 0.25));
        if (Test_FeatureRegion(*y.f, c, y.box)) {
            *x.point = *y.point = c;
            return true;
        }
    }
    *x.point = *y.point = centre;
    return Step_FeatureRegion(y.f, centre, y.box);
}

// One feature-pair test with X's kind at most Y's.
bool PairTest(Side x, Side y) {
    switch (KindOf(*x.f) * 8 + KindOf(*y.f)) {
    case kFeatureCorner * 8 + kFeatureCorner: return CornerCorner(x, y);
    case kFeatureCorner * 8 + kFeatureEdge: return CornerEdge(x, y);
    case kFeatureCorner * 8 + kFeatureFace: return CornerFace(x, y);
    case kFeatureCorner * 8 + kFeatureInterior: return CornerInterior(x, y);
    case kFeatureEdge * 8 + kFeatureEdge: return EdgeEdge(x, y);
    case kFeatureEdge * 8 + kFeatureFace: return EdgeFace(x, y);
    case kFeatureEdge * 8 + kFeatureInterior: return EdgeInterior(x, y);
    case kFeatureFace * 8 + kFeatureFace: return FaceFace(x, y);
    case kFeatureFace * 8 + kFeatureInterior: return FaceInterior(x, y);
    default: return false;  // two interiors
    }
}

}  // namespace

int Step_FeatureRegion(int32_t* feature, const D3& point, const BoxCorners& box) {
    const BoxFeature& f = kBoxFeatures[*feature];
    for (int k = 0; k < f.planeCount; ++k) {
        if (!PlaneViolated(f.planes[k], point, box)) continue;
        *feature = f.planes[k].neighbour;
        return 0;
    }
    return 1;
}

int Test_FeatureRegion(int32_t feature, const D3& point, const BoxCorners& box) {
    const BoxFeature& f = kBoxFeatures[feature];
    for (int k = 0; k < f.planeCount; ++k)
        if (PlaneViolated(f.planes[k], point, box)) return 0;
    return 1;
}

int Track_ClosestFeatures(int32_t* fa, int32_t* fb, const BoxCorners& a, const BoxCorners& b, D3* pointA, D3* pointB) {
    if (*fa < 0 || *fa >= kBoxFeatureCount) *fa = 0;
    if (*fb < 0 || *fb >= kBoxFeatureCount) *fb = 0;
    for (int step = 0; step < 16; ++step) {
        // The test of the lower kind against the higher; the mirrored
        // orders swap the roles of A and B.
        bool ok = KindOf(*fa) <= KindOf(*fb) ? PairTest({fa, a, pointA}, {fb, b, pointB})
                                             : PairTest({fb, b, pointB}, {fa, a, pointA});
        if (ok) return step;
    }
    *fa = host::Rand() * 26 / host::kRandMax;
    *fb = host::Rand() * 26 / host::kRandMax;
    return 16;
}
