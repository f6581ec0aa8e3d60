// Geometry shared by the collision modules: double-precision vectors and a
// collision face's shape as the tests need it.  Faces come from files, so
// every product here is formed where it cannot overflow (doubles, or 64-bit
// integers for the Q15 plane distance).
#pragma once

#include "engine3d/dqx_3d.h"

struct D3 {
    double x, y, z;
};

inline D3 ToD3(const Vec3& v) {
    return {double(v.x), double(v.y), double(v.z)};
}
// Each component truncated toward zero, saturated to the int32 range.
inline Vec3 ToVec3(const D3& v) {
    return {f2i(v.x), f2i(v.y), f2i(v.z)};
}
inline D3 Add(const D3& a, const D3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline D3 Sub(const D3& a, const D3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline D3 Scale(const D3& a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline double Dot(const D3& a, const D3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline D3 Cross(const D3& a, const D3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The closest point to p of the segment from a to b (a when they meet).
inline D3 Closest_PointOnSegment(const D3& p, const D3& a, const D3& b) {
    D3 e = Sub(b, a);
    double ee = Dot(e, e);
    if (!(ee > 0)) return a;
    double t = Dot(Sub(p, a), e) / ee;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return Add(a, Scale(e, t));
}

// A collision face: its corners, its stored plane (Q15 normal and distance:
// normal . p / 32768 = plane on the face) and, from the corners, the planes
// of its three edges.
struct FaceShape {
    D3 corner[3];
    Vec3 normal;
    int32_t plane;
    // Perpendicular to edge i (corner i to corner i + 1) in the face's
    // plane, pointing into the triangle whatever the corners' winding.
    D3 inward[3];
    // No area: the corners lie on one line.
    bool degenerate;
};

inline FaceShape Load_FaceShape(PoolRef<CollisionFace> face) {
    CollisionFace f = Load(face);
    FaceShape s;
    for (int i = 0; i < 3; ++i) s.corner[i] = ToD3(Load(f.corner[i]));
    s.normal = f.normal;
    s.plane = f.plane;
    D3 g = Cross(Sub(s.corner[1], s.corner[0]), Sub(s.corner[2], s.corner[0]));
    s.degenerate = !(Dot(g, g) > 0);
    for (int i = 0; i < 3; ++i) s.inward[i] = Cross(g, Sub(s.corner[(i + 1) % 3], s.corner[i]));
    return s;
}

// The signed distance of p from the face's plane in world units: each
// product of the Q15 normal shifted down by 15, less the plane distance.
inline int64_t Plane_Distance(const FaceShape& f, const Vec3& p) {
    return ((int64_t(f.normal.x) * p.x) >> 15) + ((int64_t(f.normal.y) * p.y) >> 15) +
           ((int64_t(f.normal.z) * p.z) >> 15) - f.plane;
}

// Negative when p lies outside edge i of the face.
inline double Edge_Side(const FaceShape& f, int i, const D3& p) {
    return Dot(f.inward[i], Sub(p, f.corner[i]));
}

// The closest point to p on the face's three edges.
inline D3 Closest_PointOnTriangleEdges(const FaceShape& f, const D3& p) {
    D3 best = f.corner[0];
    double bestD = -1;
    for (int i = 0; i < 3; ++i) {
        D3 q = Closest_PointOnSegment(p, f.corner[i], f.corner[(i + 1) % 3]);
        D3 d = Sub(p, q);
        double dd = Dot(d, d);
        if (bestD < 0 || dd < bestD) bestD = dd, best = q;
    }
    return best;
}

// True when (x, z) lies in the face's triangle seen from above (its edges
// included).
inline bool Inside_TriangleXZ(const FaceShape& f, double x, double z) {
    int sign = 0;
    for (int i = 0; i < 3; ++i) {
        const D3& a = f.corner[i];
        const D3& b = f.corner[(i + 1) % 3];
        double c = (b.x - a.x) * (z - a.z) - (b.z - a.z) * (x - a.x);
        int s = c > 0 ? 1 : c < 0 ? -1 : 0;
        if (s == 0) continue;
        if (sign == 0) sign = s;
        else if (s != sign) return false;
    }
    // A triangle seen edge-on from above covers no area.
    return sign != 0;
}
