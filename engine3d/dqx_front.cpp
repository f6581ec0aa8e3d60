// The scene walk: culling, clipping and projection.
#include "engine3d/dqx_front.h"

#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_view.h"

#include <cstring>

CollectedTriangles g_Collected;

PrimFamily Prim_Family(int32_t t) {
    switch (t) {
    case -2: case 1: case 4: case 5: case 7: case 8: case 10: case 17: case 27:
        return PrimFamily::Flat;
    case -21: case -15: case -14: case -13: case -11: case -10: case -8: case -5: case -3:
    case 2: case 6: case 11: case 18: case 21: case 24: case 32:
        return PrimFamily::Affine;
    case -12: case -9: case -7: case -6: case -4: case 3: case 9: case 12: case 20: case 28: case 29:
        return PrimFamily::Perspective;
    case 22: case 25: case 30:
        return PrimFamily::Smooth;
    case 23: case 26:
        return PrimFamily::Smooth2;
    default:
        return PrimFamily::None;
    }
}

bool Prim_IsEnvMapped(int32_t t) {
    if (t == -21 || (t >= -15 && t <= -3)) return true;
    switch (t) {
    case 2: case 3: case 6: case 9: case 11: case 12: case 18: case 32:
        return true;
    default:
        return (t >= 20 && t <= 26) || (t >= 28 && t <= 30);
    }
}

namespace {

uint8_t NodeFlags(PoolRef<Obj3D> n) {
    return Get(n, &Obj3D::flags);
}

// trunc(row r of m . v x 2^-15), the sum exact in 64 bits.
int32_t RowDot(const Mat3& m, int r, const Vec3& v) {
    int64_t s = Dot3Wide(m.m[r * 3], v.x, m.m[r * 3 + 1], v.y, m.m[r * 3 + 2], v.z);
    return Narrow(s / 32768);
}

// Screen position and inverse depth of a vertex in front of the near plane.
void ProjectVertex(ObjVertex* v) {
    const ViewSettings& view = g_View;
    float z = v->cz;
    v->invZ = 1073741824.0f / z;
    v->sx = f2i(double(v->cx * view.focalX / z + float(view.centreX)));
    v->sy = f2i(double(v->cy * view.focalY / z + float(view.centreY)));
}

// The screen-rectangle codes of a projected vertex, in bits 0 to 3.
uint32_t ScreenCodes(const ObjVertex& v) {
    const ViewSettings& view = g_View;
    uint32_t codes = 0;
    if (v.sx < view.left) codes |= kVtxLeft;
    else if (v.sx > view.left + view.width) codes |= kVtxRight;
    if (v.sy <= view.top) codes |= kVtxAbove;
    else if (v.sy > view.top + view.height) codes |= kVtxBelow;
    return codes;
}

// The view-volume codes of a camera-space point (bits 0 to 3).
uint32_t VolumeCodes(float cx, float cy, int32_t z) {
    const ViewSettings& view = g_View;
    int64_t hx = (int64_t(z) * view.slopeX) >> 15;
    int64_t hy = (int64_t(z) * view.slopeY) >> 15;
    int64_t x = f2i(double(cx)), y = f2i(double(cy));
    uint32_t codes = 0;
    if (hx > x) codes |= kVtxLeft;
    else if (-hx < x) codes |= kVtxRight;
    if (hy >= y) codes |= kVtxAbove;
    else if (-hy < y) codes |= kVtxBelow;
    return codes;
}

// Resets the current chain of every edge group to its static chain.
void ResetEdgeChains(PoolRef<EdgeGroup> g) {
    for (int steps = 0; g && steps < 65536; g = Get(g, &EdgeGroup::next), ++steps)
        Set(g, &EdgeGroup::current, Get(g, &EdgeGroup::stride) ? Get(g, &EdgeGroup::records) : PoolRef<PrimEdge>{0});
}

// The iteration of the walk: descend to a first child, else climb through
// the next siblings and parents.  `visit` answers whether the walk may
// descend below the node it was given.
template <class Visit, class Leave>
void WalkFrom(PoolRef<Obj3D> start, bool skipDisabled, Visit visit, Leave leave) {
    PoolRef<Obj3D> cur = start;
    bool descending = true;
    while (cur) {
        Pool_CheckInLiveBlock(cur.off, sizeof(Obj3D), "scene walk");
        if (descending) {
            PoolRef<Obj3D> child = Get(cur, &Obj3D::child);
            if (!child) {
                descending = false;
                continue;
            }
            cur = child;
            if (skipDisabled && (NodeFlags(cur) & kObjDisabled)) descending = false;
            else visit(cur);
        } else {
            leave(cur);
            PoolRef<Obj3D> sibling = Get(cur, &Obj3D::sibling);
            if (sibling) {
                cur = sibling;
                if (!(skipDisabled && (NodeFlags(cur) & kObjDisabled))) {
                    visit(cur);
                    descending = true;
                }
            } else {
                cur = Get(cur, &Obj3D::parent);
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The walk
// ---------------------------------------------------------------------------

int Walk_Scene(PoolRef<Obj3D> root) {
    Set_FrameArena(MemLib);
    Update_Lights();
    ObjectSlot done = g_ObjectDoneSlot;
    WalkFrom(root, true, [](PoolRef<Obj3D> n) { Process_Object(n); },
             [done](PoolRef<Obj3D> n) {
                 if (done) done(n);
             });
    return 0;
}

void Compose_Transform(PoolRef<Obj3D> node) {
    PoolRef<Obj3D> parent = Get(node, &Obj3D::parent);
    if (!parent) return;
    Mat3 pm = Get(parent, &Obj3D::camMatrix), m = Get(node, &Obj3D::matrix), cm;
    Vec3 pp = Get(parent, &Obj3D::camPos), pos = Get(node, &Obj3D::pos);
    Mul_Matrix(&pm, &m, &cm);
    Vec3 cp = {Narrow(int64_t(pp.x) + RowDot(pm, 0, pos)), Narrow(int64_t(pp.y) + RowDot(pm, 1, pos)),
               Narrow(int64_t(pp.z) + RowDot(pm, 2, pos))};
    Set(node, &Obj3D::camMatrix, cm);
    Set(node, &Obj3D::camPos, cp);
}

void Process_Object(PoolRef<Obj3D> node) {
    Pool_CheckNode(node, "scene walk");
    Compose_Transform(node);
    if (g_ObjectDoneSlot) ResetEdgeChains(Get(node, &Obj3D::edgeGroups));
    uint8_t flags = NodeFlags(node);
    if (flags & kObjHidden) {
        // Not processed this frame: children using its shared vertices
        // must transform them afresh.
        Set(node, &Obj3D::flags, uint8_t(flags & ~kObjProcessed));
        return;
    }
    Cull_ObjectBounds(node);
    flags = NodeFlags(node);
    PoolRef<Obj3D> parent = Get(node, &Obj3D::parent);
    uint8_t parentFlags = NodeFlags(parent);
    if (flags & kObjOutside) {
        if (parentFlags & kObjOutside) return;
        if (!(flags & kObjSharedVertices)) return;
    }
    if (!(parentFlags & kObjProcessed) && (flags & kObjSharedVertices)) {
        Set(parent, &Obj3D::flags, uint8_t(parentFlags | kObjProcessed));
        Transform_SharedVertices(parent);
    }
    Set(node, &Obj3D::flags, uint8_t(flags | kObjProcessed));
    Transform_Vertices(node);
    Compute_EyeDots(node);
    Cull_Faces(node);
    Light_ToObjectSpace(node);
    Project_Vertices(node);
    Shade_Faces(node);
    uint8_t flags2 = Get(node, &Obj3D::flags2);
    if (!(flags2 & kObj2NoRender) && g_ObjectRenderSlot) g_ObjectRenderSlot(node);
    if (flags2 & kObj2EnvMapped) Map_Environment(node);
}

void Cull_ObjectBounds(PoolRef<Obj3D> node) {
    uint32_t word = LoadWord(node.off + OffsetOf(&Obj3D::flags)) & 0x1891;
    const ViewSettings& view = g_View;
    Mat3 m = Get(node, &Obj3D::camMatrix);
    Vec3 p = Get(node, &Obj3D::camPos), centre = Get(node, &Obj3D::centre);
    int64_t c[3];
    for (int r = 0; r < 3; ++r) {
        int64_t dot = Dot3Wide(m.m[r * 3], centre.x, m.m[r * 3 + 1], centre.y, m.m[r * 3 + 2], centre.z);
        c[r] = f2i(double((&p.x)[r]) + double(dot) / 32768.0);
    }
    int64_t radius = Get(node, &Obj3D::radius);
    uint32_t flags = 0;
    for (const Vec3& n : view.planes) {
        int64_t d = (n.x * c[0] + n.y * c[1] + n.z * c[2]) >> 15;
        if (d > 0) flags |= d > radius ? kObjOutside : kObjCrossSide;
        else if (-d < radius) flags |= kObjCrossSide;
    }
    int64_t z = c[2], nearZ = view.nearZ, farZ = view.farZ;
    if (z > nearZ) {
        if (z - radius <= nearZ) flags |= kObjCrossDepth;
    } else if (z + radius > nearZ) {
        flags |= kObjCrossDepth;
    } else {
        flags |= kObjOutside;
    }
    if (z < farZ) {
        if (z + radius > farZ) flags |= kObjCrossDepth;
    } else if (z - radius < farZ) {
        flags |= kObjCrossDepth;
    } else if (!(word & kObjNoFarCut)) {
        flags |= kObjOutside;
    }
    StoreWord(node.off + OffsetOf(&Obj3D::flags), word | flags);
}

void Transform_Vertices(PoolRef<Obj3D> node) {
    const ViewSettings& view = g_View;
    Mat3 cm = Get(node, &Obj3D::camMatrix);
    Vec3 cp = Get(node, &Obj3D::camPos);
    float m[9];
    for (int i = 0; i < 9; ++i) m[i] = float(cm.m[i]) * (1.0f / 32768.0f);
    float px = float(cp.x), py = float(cp.y), pz = float(cp.z);
    bool farCut = !(NodeFlags(node) & kObjNoFarCut);
    int32_t count = Get(node, &Obj3D::vertexCount);
    PoolRef<ObjVertex> vertices = Get(node, &Obj3D::vertices);
    if (!vertices) return;
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<ObjVertex> ref = Index(vertices, uint32_t(i));
        ObjVertex v = Load(ref);
        float x = float(v.pos.x), y = float(v.pos.y), zf = float(v.pos.z);
        v.flags &= kVtxShared;
        v.cx = px + (m[0] * x + m[1] * y + m[2] * zf);
        v.cy = py + (m[3] * x + m[4] * y + m[5] * zf);
        v.cz = pz + (m[6] * x + m[7] * y + m[8] * zf);
        int32_t z = f2i(double(v.cz));
        if (z < view.nearZ) {
            v.flags |= kVtxNear;
        } else {
            if (v.flags & kVtxShared) v.flags |= kVtxProject;
            if (z >= view.farZ && farCut) v.flags |= kVtxFar;
        }
        v.flags |= VolumeCodes(v.cx, v.cy, z);
        Store(ref, v);
    }
}

void Transform_SharedVertices(PoolRef<Obj3D> parent) {
    const ViewSettings& view = g_View;
    Mat3 cm = Get(parent, &Obj3D::camMatrix);
    Vec3 cp = Get(parent, &Obj3D::camPos);
    int32_t count = Get(parent, &Obj3D::vertexCount);
    PoolRef<ObjVertex> vertices = Get(parent, &Obj3D::vertices);
    if (!vertices) return;
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<ObjVertex> ref = Index(vertices, uint32_t(i));
        ObjVertex v = Load(ref);
        if (!(v.flags & kVtxShared)) continue;
        v.flags = kVtxShared;
        float c[3];
        for (int r = 0; r < 3; ++r) {
            int64_t dot = Dot3Wide(cm.m[r * 3], v.pos.x, cm.m[r * 3 + 1], v.pos.y, cm.m[r * 3 + 2], v.pos.z);
            c[r] = float(double((&cp.x)[r]) + double(dot) / 32768.0);
        }
        v.cx = c[0], v.cy = c[1], v.cz = c[2];
        int32_t z = f2i(double(v.cz));
        if (z < view.nearZ) v.flags |= kVtxNear;
        else if (z > view.farZ) v.flags |= kVtxFar;
        v.flags |= VolumeCodes(v.cx, v.cy, z);
        if (!(v.flags & kVtxNear)) ProjectVertex(&v);
        Store(ref, v);
    }
}

Vec3 Node_EyePosition(const Mat3& m, const Vec3& p) {
    int32_t e[3];
    for (int i = 0; i < 3; ++i) {
        int64_t s = Dot3Wide(m.m[i], p.x, m.m[3 + i], p.y, m.m[6 + i], p.z);
        e[i] = Narrow(-(s / 32768));
    }
    return {e[0], e[1], e[2]};
}

void Compute_EyeDots(PoolRef<Obj3D> node) {
    Vec3 e = Node_EyePosition(Get(node, &Obj3D::camMatrix), Get(node, &Obj3D::camPos));
    int32_t count = Get(node, &Obj3D::faceNormalCount);
    PoolRef<FaceNormal> normals = Get(node, &Obj3D::faceNormals);
    if (!normals) return;
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<FaceNormal> ref = Index(normals, uint32_t(i));
        FaceNormal n = Load(ref);
        n.dot = Narrow(int64_t(e.x) * n.x / 32768 + int64_t(e.y) * n.y / 32768 + int64_t(e.z) * n.z / 32768);
        Set(ref, &FaceNormal::dot, n.dot);
    }
}

namespace {

// The camera-space facing test of faces with bit 3.
bool BackFaceInCamera(const ObjVertex& p0, const ObjVertex& p1, const ObjVertex& p2) {
    float ax = p0.cx - p1.cx, ay = p0.cy - p1.cy, az = p0.cz - p1.cz;
    float bx = p1.cx - p2.cx, by = p1.cy - p2.cy, bz = p1.cz - p2.cz;
    float v = ((ax * by - ay * bx) * p0.cz + (ay * bz - az * by) * p0.cx + (az * bx - ax * bz) * p0.cy) *
              (0.0625f * 0.0625f);
    return v >= 0.0f;
}

void MarkProject(PoolRef<ObjVertex> v) {
    Set(v, &ObjVertex::flags, Get(v, &ObjVertex::flags) | kVtxProject);
}

}  // namespace

void Cull_Faces(PoolRef<Obj3D> node) {
    PoolRef<PrimGroup> group = Get(node, &Obj3D::groups);
    for (int steps = 0; group && steps < 65536; group = Get(group, &PrimGroup::next), ++steps) {
        PoolRef<PrimFace> first = Get(group, &PrimGroup::faces);
        Set(group, &PrimGroup::visible, first);
        for (PoolRef<PrimFace> f = first; f; f = Get(f, &PrimFace::next)) {
            PrimFace face = Load(f);
            ObjVertex c0 = Load(face.corner[0].vertex), c1 = Load(face.corner[1].vertex), c2 = Load(face.corner[2].vertex);
            bool back;
            if (face.flags & kFaceCameraTest) {
                back = BackFaceInCamera(c0, c1, c2);
            } else {
                back = int64_t(Get(face.normal, &FaceNormal::dot)) - face.plane < 0;
            }
            if (back) {
                Set(f, &PrimFace::flags, face.flags | kFaceHidden);
                continue;
            }
            uint32_t flags = face.flags & kFaceCameraTest;
            uint32_t all = c0.flags & c1.flags & c2.flags, any = c0.flags | c1.flags | c2.flags;
            if ((all & 0x3F) || (any & kVtxFar)) {
                Set(f, &PrimFace::flags, flags | kFaceHidden);
                continue;
            }
            Set(f, &PrimFace::flags, flags);
            if (!(any & kVtxNear)) {
                for (const PrimCorner& c : face.corner) MarkProject(c.vertex);
            } else {
                Clip_FaceNear(group, node, f);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Near-plane clipping
// ---------------------------------------------------------------------------

PoolRef<ObjVertex> Clip_NearVertex(PoolRef<ObjVertex> vr, PoolRef<ObjVertex> wr) {
    ObjVertex v = Load(vr), w = Load(wr);
    float nearZ = float(g_View.nearZ);
    float t = (nearZ - v.cz) / (w.cz - v.cz);
    ObjVertex n{};
    n.cx = v.cx + (w.cx - v.cx) * t;
    n.cy = v.cy + (w.cy - v.cy) * t;
    n.cz = nearZ;
    // The differences are taken wide: far-apart corners would overflow 32
    // bits.
    n.pos = {f2i(double(float(v.pos.x) + float(int64_t(w.pos.x) - v.pos.x) * t)),
             f2i(double(float(v.pos.y) + float(int64_t(w.pos.y) - v.pos.y) * t)),
             f2i(double(float(v.pos.z) + float(int64_t(w.pos.z) - v.pos.z) * t))};
    ProjectVertex(&n);
    n.flags = kVtxProject | ScreenCodes(n);
    PoolRef<ObjVertex> out = Ref<ObjVertex>(Alloc_FrameArena(sizeof(ObjVertex)));
    Store(out, n);
    return out;
}

namespace {

// One corner of a new face: its vertex, and the corner of the clipped face
// whose texture coordinates, normal and shade it takes: its own corner, or
// for a new vertex the front and behind corners of its edge.
struct NewCorner {
    PoolRef<ObjVertex> vertex;
    int own;          // the clipped face's corner it is, or -1
    int front, back;  // a new vertex's edge
    int Source() const {
        return own >= 0 ? own : back;
    }
};

struct FaceClip {
    PoolRef<PrimGroup> group;
    PrimFace face;
    PrimFaceLong faceLong{};
    uint32_t faceSize = 0;
    bool normals = false;
    ObjVertex corner[3];
    PoolRef<EdgeGroup> edges{0};
    uint32_t edgeStride = 0;

    // A fresh pair: a copy of the corner's own, or the one interpolated in
    // camera depth along the new vertex's edge.
    PoolRef<UvPair> Uv(const NewCorner& c) const {
        UvPair out;
        if (c.own >= 0) {
            out = Load(faceLong.uv[c.own]);
        } else {
            UvPair a = Load(faceLong.uv[c.front]), b = Load(faceLong.uv[c.back]);
            double za = corner[c.front].cz, zb = corner[c.back].cz;
            double t = (double(g_View.nearZ) - za) / (zb - za);
            out = {f2i(a.u + (double(b.u) - a.u) * t), f2i(a.v + (double(b.v) - a.v) * t)};
        }
        PoolRef<UvPair> r = Ref<UvPair>(Alloc_FrameArena(sizeof(UvPair)));
        Store(r, out);
        return r;
    }

    PoolRef<PrimEdge> Edge(PoolRef<ObjVertex> a, PoolRef<ObjVertex> b) const {
        if (!edgeStride) return {0};
        uint32_t at = Alloc_FrameArena(edgeStride);
        std::memset(PoolPtr(at), 0, edgeStride);
        PrimEdge e{};
        e.next = Get(edges, &EdgeGroup::current);
        e.a = a;
        e.b = b;
        PoolRef<PrimEdge> r = Ref<PrimEdge>(at);
        Store(r, e);
        Set(edges, &EdgeGroup::current, r);
        return r;
    }

    // A new face pushed on the head of the group's visible list.
    void Face(const NewCorner (&c)[3], const PoolRef<PrimEdge> (&e)[3]) const {
        uint32_t at = Alloc_FrameArena(faceSize);
        std::memset(PoolPtr(at), 0, faceSize);
        PrimFace f{};
        f.next = Get(group, &PrimGroup::visible);
        for (int i = 0; i < 3; ++i) {
            f.corner[i].vertex = c[i].vertex;
            f.corner[i].normal = normals ? face.corner[c[i].Source()].normal : PoolRef<FaceNormal>{0};
            f.corner[i].edge = e[i];
        }
        f.normal = face.normal;
        f.plane = face.plane;
        if (faceSize == sizeof(PrimFaceLong)) {
            PrimFaceLong l{};
            l.head = f;
            // The pieces keep the face's shades until the lighting renews
            // them.
            l.shade = faceLong.shade;
            for (int i = 0; i < 3; ++i) {
                l.uv[i] = Uv(c[i]);
                l.cornerShade[i] = faceLong.cornerShade[c[i].Source()];
            }
            Store(Ref<PrimFaceLong>(at), l);
        } else {
            PrimFaceShort s{};
            s.head = f;
            s.shade = PoolPtr(faceShortShade)[0];
            Store(Ref<PrimFaceShort>(at), s);
        }
        Set(group, &PrimGroup::visible, Ref<PrimFace>(at));
    }
    uint32_t faceShortShade = 0;
};

}  // namespace

void Clip_FaceNear(PoolRef<PrimGroup> group, PoolRef<Obj3D> node, PoolRef<PrimFace> f) {
    FaceClip clip;
    clip.group = group;
    clip.face = Load(f);
    Set(f, &PrimFace::flags, clip.face.flags | kFaceHidden | kFaceClipped);
    int32_t type = Get(group, &PrimGroup::type);
    PrimFamily family = Prim_Family(type);
    clip.faceSize = Group_FaceSize(group);
    if (!clip.faceSize) clip.faceSize = FileFaceSize(type);
    // A type without a clipped form: the face is only marked.
    if (family == PrimFamily::None || !clip.faceSize) return;
    if (clip.faceSize == sizeof(PrimFaceLong)) clip.faceLong = Load(Ref<PrimFaceLong>(f.off));
    else clip.faceShortShade = f.off + offsetof(PrimFaceShort, shade);
    bool env = Get(node, &Obj3D::flags2) & kObj2EnvMapped;
    clip.normals = family == PrimFamily::Smooth || family == PrimFamily::Smooth2 ||
                   ((family == PrimFamily::Affine || family == PrimFamily::Perspective) && env);
    if (g_ObjectDoneSlot) {
        clip.edges = Get(group, &PrimGroup::edges);
        clip.edgeStride = clip.edges ? Get(clip.edges, &EdgeGroup::stride) : 0;
    }
    int behind = 0;
    for (int i = 0; i < 3; ++i) {
        clip.corner[i] = Load(clip.face.corner[i].vertex);
        if (clip.corner[i].flags & kVtxNear) ++behind;
    }
    auto vertex = [&](int i) { return clip.face.corner[i].vertex; };
    if (behind == 2) {
        int k = 0;  // the corner in front; the order B1, B2, F keeps the winding
        while (clip.corner[k].flags & kVtxNear) ++k;
        int b1 = (k + 1) % 3, b2 = (k + 2) % 3;
        NewCorner a{Clip_NearVertex(vertex(k), vertex(b1)), -1, k, b1};
        NewCorner b{Clip_NearVertex(vertex(k), vertex(b2)), -1, k, b2};
        NewCorner front{vertex(k), k, k, k};
        MarkProject(vertex(k));
        PoolRef<PrimEdge> ab = clip.Edge(a.vertex, b.vertex), bf = clip.Edge(b.vertex, front.vertex),
                          af = clip.Edge(a.vertex, front.vertex);
        clip.Face({a, b, front}, {ab, bf, af});
    } else if (behind == 1) {
        int k = 0;  // the corner behind; B, P, Q in the face's order
        while (!(clip.corner[k].flags & kVtxNear)) ++k;
        int p = (k + 1) % 3, q = (k + 2) % 3;
        NewCorner a{Clip_NearVertex(vertex(p), vertex(k)), -1, p, k};
        NewCorner b{Clip_NearVertex(vertex(q), vertex(k)), -1, q, k};
        NewCorner cp{vertex(p), p, p, p}, cq{vertex(q), q, q, q};
        MarkProject(vertex(p));
        MarkProject(vertex(q));
        PoolRef<PrimEdge> ab = clip.Edge(a.vertex, b.vertex), ap = clip.Edge(a.vertex, cp.vertex),
                          aq = clip.Edge(a.vertex, cq.vertex), bq = clip.Edge(b.vertex, cq.vertex),
                          pq = clip.Edge(cp.vertex, cq.vertex);
        clip.Face({a, cp, cq}, {ap, pq, aq});
        clip.Face({a, cq, b}, {aq, bq, ab});
    }
}

// ---------------------------------------------------------------------------
// Projection, environment mapping, boxes
// ---------------------------------------------------------------------------

void Project_Vertices(PoolRef<Obj3D> node) {
    int32_t count = Get(node, &Obj3D::vertexCount);
    PoolRef<ObjVertex> vertices = Get(node, &Obj3D::vertices);
    if (!vertices) return;
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<ObjVertex> ref = Index(vertices, uint32_t(i));
        ObjVertex v = Load(ref);
        if (!(v.flags & kVtxProject)) continue;
        ProjectVertex(&v);
        v.flags = (v.flags & ~0x0Fu) | ScreenCodes(v);
        Store(ref, v);
    }
}

namespace {

// Calls f(group, face, faceSize) for each face of the node's visible lists
// that is drawn this frame, in groups whose type passes `want`.
template <class Want, class F>
void ForVisibleFaces(PoolRef<Obj3D> node, Want want, F f) {
    PoolRef<PrimGroup> group = Get(node, &Obj3D::groups);
    for (int steps = 0; group && steps < 65536; group = Get(group, &PrimGroup::next), ++steps) {
        if (!want(Get(group, &PrimGroup::type))) continue;
        uint32_t size = Group_FaceSize(group);
        for (PoolRef<PrimFace> face = Get(group, &PrimGroup::visible); face; face = Get(face, &PrimFace::next))
            if (!(Get(face, &PrimFace::flags) & kFaceHidden)) f(group, face, size);
    }
}

int32_t EnvCoordinate(const Mat3& m, int row, const Vec3& n) {
    return Narrow(int64_t(RowDot(m, row, n)) * 256 + 8388608);
}

}  // namespace

void Map_Environment(PoolRef<Obj3D> node) {
    PoolRef<Obj3D> parent = Get(node, &Obj3D::parent);
    if (!parent) return;
    Mat3 m = Get(parent, &Obj3D::camMatrix);
    ForVisibleFaces(node, Prim_IsEnvMapped, [&](PoolRef<PrimGroup>, PoolRef<PrimFace> f, uint32_t size) {
        if (size != sizeof(PrimFaceLong)) return;
        PrimFaceLong face = Load(Ref<PrimFaceLong>(f.off));
        for (int c = 0; c < 3; ++c) {
            if (!face.head.corner[c].normal || !face.uv[c]) continue;
            FaceNormal fn = Load(face.head.corner[c].normal);
            Vec3 n{fn.x, fn.y, fn.z};
            Store(face.uv[c], UvPair{EnvCoordinate(m, 0, n), EnvCoordinate(m, 1, n)});
        }
    });
}

int Project_SceneBoxes() {
    if (!SceneRoot) return 0;
    Mat3 cameraMatrix = Get(SceneRoot, &Obj3D::matrix);
    Vec3 cameraPos = Get(SceneRoot, &Obj3D::pos);
    const ViewSettings& view = g_View;
    auto boxes = [&](PoolRef<Obj3D> node) {
        int32_t count = Get(node, &Obj3D::boxCount);
        PoolRef<BoxRecord> records = Get(node, &Obj3D::boxes);
        if (!records) return;
        Mat3 m = Get(node, &Obj3D::camMatrix);
        Vec3 cp = Get(node, &Obj3D::camPos);
        for (int32_t i = 0; i < count; ++i) {
            PoolRef<BoxRecord> ref = Index(records, uint32_t(i));
            BoxRecord box = Load(ref);
            for (int a = 0; a < 3; ++a) {
                box.min[a] = 2147483648.0f;
                box.max[a] = -2147483648.0f;
            }
            for (int k = 0; k < 8; ++k) {
                Vec3 corner = {f2i(box.corner[k][0]), f2i(box.corner[k][1]), f2i(box.corner[k][2])}, p, q;
                Mul_MatrixVector(&m, &corner, &p);
                Add_Vector(&p, &cp, &p);
                if (p.z != 0) {
                    box.sx[k] = f2i(double(float(p.x) * view.focalX / float(p.z) + float(view.centreX)));
                    box.sy[k] = f2i(double(float(p.y) * view.focalY / float(p.z) + float(view.centreY)));
                }
                Vec3 d, w1, w2;
                Sub_Vector(&p, &cp, &d);
                Mul_MatrixVector(&cameraMatrix, &d, &w1);
                Mul_MatrixVector(&cameraMatrix, &cp, &w2);
                Add_Vector(&w1, &w2, &q);
                Add_Vector(&q, &cameraPos, &q);
                float world[3] = {float(q.x), float(q.y), float(q.z)};
                for (int a = 0; a < 3; ++a) {
                    box.world[k][a] = world[a];
                    if (world[a] < box.min[a]) box.min[a] = world[a];
                    if (world[a] > box.max[a]) box.max[a] = world[a];
                }
            }
            Store(ref, box);
        }
    };
    WalkFrom(SceneRoot, false, boxes, [](PoolRef<Obj3D>) {});
    return 0;
}

int Update_SubtreeTransforms(ObjHandle h) {
    PoolRef<Obj3D> start = Get_Node(h);
    if (!start) return -1;
    WalkFrom(start, true, [](PoolRef<Obj3D> n) { Compose_Transform(n); }, [](PoolRef<Obj3D>) {});
    return 0;
}

void SR_CollectTriangles(PoolRef<Obj3D> node) {
    CollectedTriangles& c = g_Collected;
    ForVisibleFaces(node, [](int32_t) { return true; }, [&](PoolRef<PrimGroup>, PoolRef<PrimFace> f, uint32_t) {
        if (c.count >= kCollectTriangles) return;
        PrimFace face = Load(f);
        int32_t t = c.count++;
        for (int k = 0; k < 3; ++k) {
            ObjVertex v = Load(face.corner[k].vertex);
            c.screen[t * 3 + k][0] = v.sx;
            c.screen[t * 3 + k][1] = v.sy;
            c.vertexFlags[t * 3 + k] = v.flags;
            c.indices[t][k] = t * 3 + k;
        }
        c.triangleFlags[t] = face.flags;
    });
}

void Visit_Vertices(PoolRef<Obj3D> node) {
    int32_t count = Get(node, &Obj3D::vertexCount);
    PoolRef<ObjVertex> vertices = Get(node, &Obj3D::vertices);
    for (int32_t i = 0; vertices && i < count; ++i) (void)Index(vertices, uint32_t(i));
}

void Map_ScreenCoordinates(PoolRef<Obj3D> node) {
    ForVisibleFaces(node, Prim_IsEnvMapped, [](PoolRef<PrimGroup>, PoolRef<PrimFace> f, uint32_t size) {
        if (size != sizeof(PrimFaceLong)) return;
        PrimFaceLong face = Load(Ref<PrimFaceLong>(f.off));
        for (int c = 0; c < 3; ++c) {
            if (!face.uv[c]) continue;
            ObjVertex v = Load(face.head.corner[c].vertex);
            Store(face.uv[c], UvPair{f2i(double(v.sx) * 255.0 * 65536.0 / 640.0), f2i(double(v.sy) * 255.0 * 65536.0 / 480.0)});
        }
    });
}

int Copy_ScreenCoordinates(ObjHandle target, ObjHandle source) {
    PoolRef<Obj3D> t = Get_Node(target), s = Get_Node(source);
    if (!t || !s) return -1;
    PoolRef<UvPair> uvs = Get(t, &Obj3D::uvs);
    PoolRef<ObjVertex> vertices = Get(s, &Obj3D::vertices);
    if (!uvs || !vertices || Get(t, &Obj3D::uvCount) < 6 || Get(s, &Obj3D::vertexCount) < 4) return 0;
    const int order[6] = {0, 2, 3, 0, 3, 1};
    for (int i = 0; i < 6; ++i) {
        ObjVertex v = Load(Index(vertices, uint32_t(order[i])));
        Store(Index(uvs, uint32_t(i)), UvPair{Narrow(int64_t(v.sx) * 65536), Narrow(int64_t(v.sy) * 65536)});
    }
    return 0;
}
