// Scene objects: the object API.
#include "engine3d/dqx_obj.h"

#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_model.h"
#include "platform/settings.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <strings.h>

namespace {

constexpr int kListLimit = 65536;

bool IsCamera(PoolRef<Obj3D> n) {
    return Get(n, &Obj3D::flags2) & kObj2Camera;
}

int SetFlag(ObjHandle h, uint8_t bit, bool on) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    uint8_t f = Get(n, &Obj3D::flags);
    Set(n, &Obj3D::flags, uint8_t(on ? f | bit : f & ~bit));
    return 0;
}

int SetFlag2(ObjHandle h, uint8_t bit, bool on) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    uint8_t f = Get(n, &Obj3D::flags2);
    Set(n, &Obj3D::flags2, uint8_t(on ? f | bit : f & ~bit));
    return 0;
}

// Each element of h's block (nodes only).
template <class F>
void ForEachElement(ObjHandle h, F f) {
    ObjHandle base = Get_BlockBase(h);
    int32_t count = int32_t(LoadWord(Get_BlockElements(h)));
    for (int32_t i = 0; i < count && i < 65536; ++i)
        if (PoolRef<Obj3D> n = Get_Node(base + i)) f(n);
}

// The node and every node below it.
template <class F>
void ForSubtree(PoolRef<Obj3D> top, F f) {
    f(top);
    PoolRef<Obj3D> cur = Get(top, &Obj3D::child);
    while (cur && !(cur == top)) {
        f(cur);
        PoolRef<Obj3D> next = Get(cur, &Obj3D::child);
        if (!next) {
            while (cur && !(cur == top) && !Get(cur, &Obj3D::sibling)) cur = Get(cur, &Obj3D::parent);
            if (!cur || cur == top) return;
            next = Get(cur, &Obj3D::sibling);
        }
        cur = next;
    }
}

template <class F>
void ForGroups(PoolRef<Obj3D> n, F f) {
    PoolRef<PrimGroup> g = Get(n, &Obj3D::groups);
    for (int steps = 0; g && steps < kListLimit; g = Get(g, &PrimGroup::next), ++steps) f(g);
}

template <class F>
void ForEdgeGroups(PoolRef<Obj3D> n, F f) {
    PoolRef<EdgeGroup> g = Get(n, &Obj3D::edgeGroups);
    for (int steps = 0; g && steps < kListLimit; g = Get(g, &EdgeGroup::next), ++steps) f(g);
}

void ReplaceIn(PoolRef<Obj3D> n, int32_t from, int32_t to, bool groups, bool edges) {
    if (groups)
        ForGroups(n, [&](PoolRef<PrimGroup> g) {
            if (Get(g, &PrimGroup::type) == from) Set(g, &PrimGroup::type, to);
        });
    if (edges)
        ForEdgeGroups(n, [&](PoolRef<EdgeGroup> g) {
            if (Get(g, &EdgeGroup::type) == from) Set(g, &EdgeGroup::type, to);
        });
}

// Every face of a set-up group, stepping by the faces' own size.
template <class F>
void ForGroupFaces(PoolRef<PrimGroup> g, F f) {
    uint32_t size = Group_FaceSize(g);
    int32_t count = Get(g, &PrimGroup::faceCount);
    PoolRef<PrimFace> faces = Get(g, &PrimGroup::faces);
    if (!size || !faces) return;
    for (int32_t i = 0; i < count; ++i) f(Index(faces, uint32_t(i), size));
}

}  // namespace

// ---------------------------------------------------------------------------
// Tree and flags
// ---------------------------------------------------------------------------

int Attach_Obj(ObjHandle child, ObjHandle parent) {
    PoolRef<Obj3D> c = Get_Node(child);
    PoolRef<Obj3D> p = Get_Node(parent);
    if (!c || !p) return -1;
    // A parent inside the child's own sub-tree would close a cycle.
    for (PoolRef<Obj3D> a = p; a; a = Get(a, &Obj3D::parent))
        if (a == c) return -1;
    if (Get(c, &Obj3D::parent)) Unlink_Node(c);
    Set(c, &Obj3D::parent, p);
    Set(c, &Obj3D::sibling, Get(p, &Obj3D::child));
    Set(p, &Obj3D::child, c);
    return 0;
}

int Detach_Obj(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    Unlink_Node(n);
    return 0;
}

int Disable_Obj(ObjHandle h) {
    return SetFlag(h, kObjDisabled, true);
}

int Enable_Obj(ObjHandle h) {
    return SetFlag(h, kObjDisabled, false);
}

int Hide_Obj(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n || IsCamera(n)) return -1;
    return SetFlag(h, kObjHidden, true);
}

int Show_Obj(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n || IsCamera(n)) return -1;
    return SetFlag(h, kObjHidden, false);
}

int Test_ObjMarker(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    return (Get(n, &Obj3D::flags) & kObjCrossDepth) ? 1 : 0;
}

int Set_ObjMarker7(ObjHandle h) {
    return SetFlag(h, kObjNoFarCut, true);
}

int Clear_ObjMarker7(ObjHandle h) {
    return SetFlag(h, kObjNoFarCut, false);
}

int Set_ObjListPass(ObjHandle h, int on) {
    return SetFlag2(h, kObj2EnvMapped, on == 1);
}

int Set_ObjNoRender(ObjHandle h, int on) {
    return SetFlag2(h, kObj2NoRender, on == 1);
}

int Remove_Object(ObjHandle h) {
    if (!Get_Node(h)) return -1;
    if (h == 0) return 0;
    Disable_Obj(h);
    Hide_Obj(h);
    return 0;
}

int Restore_Object(ObjHandle h) {
    if (!Get_Node(h)) return -1;
    Enable_Obj(h);
    Show_Obj(h);
    return Hide_HelperNodes(h);
}

int Hide_HelperNodes(ObjHandle h) {
    if (!Get_Node(h)) return -1;
    for (const char* helper : {"$DUMMY", "Object01", "Master"}) {
        ObjHandle part = Find_Part(h, helper);
        if (part >= 0) Hide_Obj(part);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Names and parts
// ---------------------------------------------------------------------------

const char* Get_ObjName(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return "Bad_Handle!";
    return reinterpret_cast<const char*>(PoolPtr(n.off));
}

int Get_PartCount(ObjHandle h) {
    if (!Get_Node(h)) return -1;
    return int(LoadWord(Get_BlockElements(h)));
}

ObjHandle Find_Part(ObjHandle h, const char* name) {
    if (!Get_Node(h) || !name) return -1;
    int32_t count = int32_t(LoadWord(Get_BlockElements(h)));
    ObjHandle found = -1;
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<Obj3D> n = Get_Node(h + i);
        if (n && strncasecmp(reinterpret_cast<const char*>(PoolPtr(n.off)), name, 12) == 0) found = h + i;
    }
    return found;
}

// ---------------------------------------------------------------------------
// Placement
// ---------------------------------------------------------------------------

namespace {

// A camera node's view transform from its placement: the inverse.
void UpdateView(PoolRef<Obj3D> n, bool matrixToo) {
    Mat3 view;
    if (matrixToo) {
        Mat3 m = Get(n, &Obj3D::matrix);
        Transpose_Matrix(&m, &view);
        Set(n, &Obj3D::camMatrix, view);
    } else {
        view = Get(n, &Obj3D::camMatrix);
    }
    Vec3 pos = Get(n, &Obj3D::pos), t;
    Mul_MatrixVector(&view, &pos, &t);
    Neg_Vector(&t, &t);
    Set(n, &Obj3D::camPos, t);
}

// The parent's last camera-space transform (identity for a node without
// parent).
void ParentTransform(PoolRef<Obj3D> n, Mat3* m, Vec3* p) {
    PoolRef<Obj3D> parent = Get(n, &Obj3D::parent);
    if (parent) {
        *m = Get(parent, &Obj3D::camMatrix);
        *p = Get(parent, &Obj3D::camPos);
    } else {
        Set_Identity(m);
        *p = {0, 0, 0};
    }
}

int WorldMatrix(PoolRef<Obj3D> camera, PoolRef<Obj3D> n, Mat3* m) {
    if (IsCamera(n)) {
        *m = Get(n, &Obj3D::matrix);
        return 0;
    }
    Mat3 c = Get(camera, &Obj3D::matrix), cm = Get(n, &Obj3D::camMatrix);
    Mul_Matrix(&c, &cm, m);
    return 0;
}

int WorldPos(PoolRef<Obj3D> camera, PoolRef<Obj3D> n, Vec3* v) {
    if (IsCamera(n)) {
        *v = Get(n, &Obj3D::pos);
        return 0;
    }
    Mat3 c = Get(camera, &Obj3D::matrix);
    Vec3 cp = Get(n, &Obj3D::camPos), pos = Get(camera, &Obj3D::pos), t;
    Mul_MatrixVector(&c, &cp, &t);
    Add_Vector(&pos, &t, v);
    return 0;
}

Vec3 ForwardAxis(PoolRef<Obj3D> n) {
    Mat3 m = Get(n, &Obj3D::matrix);
    return {m.m[2], m.m[5], m.m[8]};
}

// x - 2 (x . axis) axis x 2^-30, each product rounded toward zero.
Vec3 Reflect(const Vec3& x, const Vec3& d, const Vec3& axis) {
    int64_t t = int64_t(d.x) * axis.x + int64_t(d.y) * axis.y + int64_t(d.z) * axis.z;
    auto r = [t](int32_t p, int32_t a) {
        __int128 v = __int128(2) * t * a;
        return Narrow(int64_t(p) + int64_t(v / (__int128(1) << 30)));
    };
    return {r(x.x, axis.x), r(x.y, axis.y), r(x.z, axis.z)};
}

}  // namespace

int Get_ObjPos(ObjHandle h, Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    *v = Get(n, &Obj3D::pos);
    return 0;
}

int Get_ObjMatrix(ObjHandle h, Mat3* m) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    *m = Get(n, &Obj3D::matrix);
    return 0;
}

int Set_ObjPos(ObjHandle h, const Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    Set(n, &Obj3D::pos, *v);
    if (IsCamera(n)) UpdateView(n, false);
    return 0;
}

int Set_ObjMatrix(ObjHandle h, const Mat3* m) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    Set(n, &Obj3D::matrix, *m);
    if (IsCamera(n)) UpdateView(n, true);
    return 0;
}

int Get_ObjCamPos(ObjHandle h, Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    *v = Get(n, &Obj3D::camPos);
    return 0;
}

int Get_ObjCamMatrix(ObjHandle h, Mat3* m) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    *m = Get(n, &Obj3D::camMatrix);
    return 0;
}

int Set_ObjCamMatrix(ObjHandle h, const Mat3* m) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    if (IsCamera(n)) return 0;
    Mat3 pm, pt, out;
    Vec3 pp;
    ParentTransform(n, &pm, &pp);
    Transpose_Matrix(&pm, &pt);
    Mul_Matrix(&pt, m, &out);
    Set(n, &Obj3D::matrix, out);
    return 0;
}

int Set_ObjCamPos(ObjHandle h, const Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    if (IsCamera(n)) return 0;
    Mat3 pm, pt;
    Vec3 pp, d, out;
    ParentTransform(n, &pm, &pp);
    Transpose_Matrix(&pm, &pt);
    Sub_Vector(v, &pp, &d);
    Mul_MatrixVector(&pt, &d, &out);
    Set(n, &Obj3D::pos, out);
    return 0;
}

int Get_ObjWorldMatrix(ObjHandle h, Mat3* m) {
    return Get_ObjWorldMatrixFrom(0, h, m);
}

int Get_ObjWorldPos(ObjHandle h, Vec3* v) {
    return Get_ObjWorldPosFrom(0, h, v);
}

int Get_ObjWorldMatrixFrom(ObjHandle c, ObjHandle h, Mat3* m) {
    PoolRef<Obj3D> camera = Get_Node(c), n = Get_Node(h);
    if (!camera || !n) return -1;
    return WorldMatrix(camera, n, m);
}

int Get_ObjWorldPosFrom(ObjHandle c, ObjHandle h, Vec3* v) {
    PoolRef<Obj3D> camera = Get_Node(c), n = Get_Node(h);
    if (!camera || !n) return -1;
    return WorldPos(camera, n, v);
}

int Mirror_Point(ObjHandle h, const Vec3* p, Vec3* out) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    Vec3 pos = Get(n, &Obj3D::pos), d;
    Sub_Vector(&pos, p, &d);
    *out = Reflect(*p, d, ForwardAxis(n));
    return 0;
}

int Mirror_Matrix(ObjHandle h, const Mat3* m, Mat3* out) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    Vec3 axis = ForwardAxis(n);
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        Vec3 row = {m->m[i * 3], m->m[i * 3 + 1], m->m[i * 3 + 2]}, d;
        Neg_Vector(&row, &d);
        Vec3 v = Reflect(row, d, axis);
        r.m[i * 3] = v.x, r.m[i * 3 + 1] = v.y, r.m[i * 3 + 2] = v.z;
    }
    *out = r;
    return 0;
}

// ---------------------------------------------------------------------------
// Vertices and bounds
// ---------------------------------------------------------------------------

namespace {

PoolRef<ObjVertex> VertexOf(PoolRef<Obj3D> n, int i) {
    PoolRef<ObjVertex> v = Get(n, &Obj3D::vertices);
    if (!v || i < 0 || i >= Get(n, &Obj3D::vertexCount)) return {0};
    return Index(v, uint32_t(i));
}

}  // namespace

int Get_VertexCount(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    return n ? Get(n, &Obj3D::vertexCount) : -1;
}

int Get_VertexPos(ObjHandle h, int i, Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    PoolRef<ObjVertex> r = n ? VertexOf(n, i) : PoolRef<ObjVertex>{0};
    if (!r) return -1;
    *v = Get(r, &ObjVertex::pos);
    return 0;
}

int Set_VertexPos(ObjHandle h, int i, const Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    PoolRef<ObjVertex> r = n ? VertexOf(n, i) : PoolRef<ObjVertex>{0};
    if (!r) return -1;
    Set(r, &ObjVertex::pos, *v);
    return 0;
}

int Get_Vertices(ObjHandle h, Vec3* array) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    int32_t count = Get(n, &Obj3D::vertexCount);
    for (int32_t i = 0; i < count; ++i) array[i] = Get(VertexOf(n, i), &ObjVertex::pos);
    return 0;
}

int Set_Vertices(ObjHandle h, const Vec3* array) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    int32_t count = Get(n, &Obj3D::vertexCount);
    for (int32_t i = 0; i < count; ++i) Set(VertexOf(n, i), &ObjVertex::pos, array[i]);
    return 0;
}

int Get_ObjBounds(ObjHandle h, Vec3* v, int32_t* r) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    *v = Get(n, &Obj3D::centre);
    *r = Get(n, &Obj3D::radius);
    return 0;
}

int Update_Normals(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    ForGroups(n, [](PoolRef<PrimGroup> g) {
        ForGroupFaces(g, [](PoolRef<PrimFace> f) {
            PrimFace face = Load(f);
            Vec3 p[3];
            for (int c = 0; c < 3; ++c) p[c] = Get(face.corner[c].vertex, &ObjVertex::pos);
            double nx = 0, ny = 0, nz = 0;
            for (int i = 0; i < 3; ++i) {
                const Vec3 &a = p[i], &b = p[(i + 1) % 3];
                nx += (double(a.y) - b.y) * (double(a.z) + b.z);
                ny += (double(a.z) - b.z) * (double(a.x) + b.x);
                nz += (double(a.x) - b.x) * (double(a.y) + b.y);
            }
            double l = std::sqrt(nx * nx + ny * ny + nz * nz);
            if (l == 0.0) return;  // a degenerate face keeps its normal
            Vec3 unit = {f2i(nx * 32768.0 / l), f2i(ny * 32768.0 / l), f2i(nz * 32768.0 / l)};
            FaceNormal fn = Load(face.normal);
            fn.x = unit.x, fn.y = unit.y, fn.z = unit.z;
            Store(face.normal, fn);
            // The plane moves with the corners, or the facing test would
            // judge the face by where it was.
            int64_t d = int64_t(unit.x) * p[0].x + int64_t(unit.y) * p[0].y + int64_t(unit.z) * p[0].z;
            Set(f, &PrimFace::plane, Narrow(d / 32768));
        });
    });
    return 0;
}

int Mark_ObjFaces(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    ForGroups(n, [](PoolRef<PrimGroup> g) {
        ForGroupFaces(g, [](PoolRef<PrimFace> f) { Set(f, &PrimFace::flags, Get(f, &PrimFace::flags) | 0x08u); });
    });
    return 0;
}

// ---------------------------------------------------------------------------
// Primitive types, opacity, textures
// ---------------------------------------------------------------------------

int Replace_PrimType(ObjHandle h, int32_t from, int32_t to) {
    if (!Get_Node(h)) return -1;
    ForEachElement(h, [&](PoolRef<Obj3D> n) { ReplaceIn(n, from, to, true, true); });
    return 0;
}

int Replace_TreePrimType(ObjHandle h, int32_t from, int32_t to) {
    PoolRef<Obj3D> top = Get_Node(h);
    if (!top) return -1;
    ForSubtree(top, [&](PoolRef<Obj3D> n) { ReplaceIn(n, from, to, true, false); });
    ReplaceIn(top, from, to, false, true);
    return 0;
}

int Set_TreePrimType(ObjHandle h, int32_t type) {
    PoolRef<Obj3D> top = Get_Node(h);
    if (!top) return -1;
    ForSubtree(top, [&](PoolRef<Obj3D> n) {
        ForGroups(n, [&](PoolRef<PrimGroup> g) { Set(g, &PrimGroup::type, type); });
        ForEdgeGroups(n, [&](PoolRef<EdgeGroup> g) { Set(g, &EdgeGroup::type, type); });
    });
    return 0;
}

int Set_ObjOpacity(ObjHandle h, int32_t v) {
    if (!Get_Node(h)) return -1;
    v = v < 0 ? 0 : (v > 255 ? 255 : v);
    if (v == 255) {
        Replace_PrimType(h, -13, 2);
        return 0;
    }
    Replace_PrimType(h, -3, -13);
    Replace_PrimType(h, 2, -13);
    Replace_PrimType(h, -4, -12);
    Replace_PrimType(h, 3, -12);
    return Set_ObjTranslucency(h, uint32_t((v >> 3) << 8 | 16));
}

int Set_ObjTranslucency(ObjHandle h, uint32_t w) {
    if (!Get_Node(h)) return -1;
    ForEachElement(h, [w](PoolRef<Obj3D> n) { Set(n, &Obj3D::translucency, w & 0x1F1Fu); });
    return 0;
}

int Set_ObjNeverDrawn(ObjHandle h) {
    if (!Get_Node(h)) return -1;
    Replace_PrimType(h, -3, -22);
    return Replace_PrimType(h, 2, -22);
}

int Set_ObjFlatShaded(ObjHandle h) {
    return Replace_PrimType(h, 2, 1);
}

namespace {

void ReplaceTextureIn(PoolRef<Obj3D> n, uint32_t from, uint32_t to, const char* toName) {
    ForGroups(n, [&](PoolRef<PrimGroup> g) {
        if (Get(g, &PrimGroup::material).off != from) return;
        Set(g, &PrimGroup::material, Ref<uint32_t>(to));
        char name[16] = {};
        for (size_t i = 0; i < sizeof name && toName[i]; ++i) name[i] = toName[i];
        std::memcpy(PoolPtr(g.off + OffsetOf(&PrimGroup::texture)), name, sizeof name);
    });
}

}  // namespace

int Replace_Texture(ObjHandle h, const char* from, const char* to) {
    PoolRef<Obj3D> top = Get_Node(h);
    if (!top) return -1;
    uint32_t a = Find_ModelMaterial(from), b = Find_ModelMaterial(to);
    if (!a || !b) return -1;
    ForSubtree(top, [&](PoolRef<Obj3D> n) { ReplaceTextureIn(n, a, b, to); });
    return 0;
}

int Replace_BlockTexture(ObjHandle h, const char* from, const char* to) {
    if (!Get_Node(h)) return -1;
    uint32_t a = Find_ModelMaterial(from), b = Find_ModelMaterial(to);
    if (!a || !b) return -1;
    ForEachElement(h, [&](PoolRef<Obj3D> n) { ReplaceTextureIn(n, a, b, to); });
    return 0;
}

// ---------------------------------------------------------------------------
// Copies and debugging
// ---------------------------------------------------------------------------

int Copy_ObjShape(ObjHandle dst, ObjHandle src, int flags) {
    PoolRef<Obj3D> d = Get_Node(dst), s = Get_Node(src);
    if (!d || !s) return -1;
    // The vertex, auxiliary and primitive-list fields, the render word and
    // the bounds lie in one run of the node.
    uint32_t from = OffsetOf(&Obj3D::vertexCount), to = OffsetOf(&Obj3D::lightCount);
    std::memmove(PoolPtr(d.off + from), PoolPtr(s.off + from), to - from);
    Set(d, &Obj3D::translucency, Get(s, &Obj3D::translucency));
    if (!(flags & kCopyKeepPos)) Set(d, &Obj3D::pos, Get(s, &Obj3D::pos));
    if (!(flags & kCopyKeepMatrix)) Set(d, &Obj3D::matrix, Get(s, &Obj3D::matrix));
    // A shape of another block is followed through compaction and freeing.
    Note_BorrowedShape(dst);
    return 0;
}

int For_EachObjRecord(ObjHandle h, void (*callback)(PoolRef<UvPair> record, uint32_t offset)) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    int32_t count = Get(n, &Obj3D::uvCount);
    PoolRef<UvPair> records = Get(n, &Obj3D::uvs);
    for (int32_t i = 0; records && i < count; ++i) callback(Index(records, uint32_t(i)), uint32_t(i) * 8);
    return 0;
}

int Stub_3DOption(int) {
    return 0;
}

// ---------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------

namespace {

ObjHandle CharacterModel(const void* c) {
    ObjHandle h;
    std::memcpy(&h, c, sizeof h);
    return h;
}

Vec3 ObjPosition(const void* c) {
    Vec3 v{0, 0, 0};
    Get_ObjPos(CharacterModel(c), &v);
    return v;
}

int32_t Square15(int64_t d) {
    return Narrow(int64_t((__int128(d) * d) >> 15));
}

// d_i^2 >> 15 summed, y left out.
int32_t HorizontalDist2(const Vec3& d) {
    return Narrow(int64_t(Square15(d.x)) + Square15(d.z));
}

}  // namespace

int32_t Get_Dist2(const Vec3* a, const Vec3* b) {
    return Narrow(int64_t(Square15(int64_t(a->x) - b->x)) + Square15(int64_t(a->y) - b->y) +
                  Square15(int64_t(a->z) - b->z));
}

int32_t Get_Distance(const Vec3* a, const Vec3* b) {
    double dx = double(a->x) - b->x, dy = double(a->y) - b->y, dz = double(a->z) - b->z;
    return f2i(std::round(std::sqrt(dx * dx + dy * dy + dz * dz)));
}

int32_t Get_CharDelta(const void* a, const void* b, Vec3* v) {
    Vec3 pa = ObjPosition(a), pb = ObjPosition(b);
    Sub_Vector(&pb, &pa, v);
    return Get_Dist2(&pa, &pb);
}

int32_t Get_CharDist2(const void* a, const void* b) {
    Vec3 pa = ObjPosition(a), pb = ObjPosition(b);
    return Get_Dist2(&pa, &pb);
}

void Get_UnitVector(const Vec3* v, Vec3* out) {
    Vec3 n;
    Normalize_Vector(v, &n);
    Copy_Vector(out, &n);
}

void Make_LookMatrix(const Vec3* direction, Mat3* m) {
    double f[3] = {double(direction->x), double(direction->y), double(direction->z)};
    double l = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    if (l == 0.0) {
        Set_Identity(m);
        return;
    }
    for (double& v : f) v /= l;
    // Up: the world's vertical axis (y, pointing down the screen) made
    // orthogonal to forward; side = up x forward keeps the frame
    // right-handed.  A vertical forward takes the world x axis as side.
    double u[3] = {-f[1] * f[0], 1.0 - f[1] * f[1], -f[1] * f[2]};
    double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    double s[3];
    if (ul < 1e-9) {
        s[0] = 1.0, s[1] = 0.0, s[2] = 0.0;
        u[0] = f[1] * s[2] - f[2] * s[1], u[1] = f[2] * s[0] - f[0] * s[2], u[2] = f[0] * s[1] - f[1] * s[0];
    } else {
        for (double& v : u) v /= ul;
        s[0] = u[1] * f[2] - u[2] * f[1], s[1] = u[2] * f[0] - u[0] * f[2], s[2] = u[0] * f[1] - u[1] * f[0];
    }
    // Rows side, up, forward, transposed into columns; each row stored
    // normalised to Q15.
    const double* axes[3] = {s, u, f};
    for (int r = 0; r < 3; ++r) {
        double row[3] = {axes[0][r], axes[1][r], axes[2][r]};
        double rl = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
        for (int c = 0; c < 3; ++c) m->m[r * 3 + c] = rl == 0.0 ? 0 : f2i(row[c] / rl * 32768.0);
    }
}

void Make_LookAt(const Vec3* from, const Vec3* to, Mat3* m) {
    Vec3 d, n;
    Sub_Vector(to, from, &d);
    Normalize_Vector(&d, &n);
    Make_LookMatrix(&n, m);
}

void Perp_VectorXZ(const Vec3* v, Vec3* out) {
    *out = {Narrow(-int64_t(v->z)), v->y, v->x};
}

int32_t Turn_CharTowards(void* character, const Vec3* p) {
    Vec3* pos = EngineServices.CharacterPosition(character);
    Mat3* orient = EngineServices.CharacterOrientation(character);
    if (!pos || !orient) return 0;
    Vec3 d;
    Sub_Vector(p, pos, &d);
    d.y = 0;
    int32_t dist2 = HorizontalDist2(d);
    Vec3 n, perp;
    Normalize_Vector(&d, &n);
    // Facing a point where the character stands keeps its orientation.
    if (n.x == 0 && n.z == 0) return dist2;
    Perp_VectorXZ(&n, &perp);
    Make_LookMatrix(&perp, orient);
    return dist2;
}

int32_t Face_Point(void* character, const Vec3* p) {
    if (!EmEnabled) return Turn_CharTowards(character, p);
    Vec3* pos = EngineServices.CharacterPosition(character);
    Mat3* orient = EngineServices.CharacterOrientation(character);
    if (!pos || !orient) return 0;
    Vec3 d;
    Sub_Vector(p, pos, &d);
    d.y = 0;
    int32_t dist2 = HorizontalDist2(d);
    // The manager leaves the direction as it is for a character that is not
    // one of its enemies: it starts as the character's forward axis.
    float direction[3] = {float(orient->m[2]) / 32768.0f, float(orient->m[5]) / 32768.0f, float(orient->m[8]) / 32768.0f};
    EngineServices.IAGetDirection(character, direction);
    double l = std::sqrt(double(d.x) * d.x + double(d.z) * d.z);
    float target[3] = {l ? float(d.x / l) : 0.0f, 0.0f, l ? float(d.z / l) : 0.0f};
    EngineServices.RotateVectorToward(direction, target, float(EngineServices.FrameTickFactor()) * 0.1f);
    EngineServices.IASetDirection(character, direction);
    return dist2;
}

int32_t Get_FacingCos(ObjHandle h, const Vec3* p) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    Vec3 pos = Get(n, &Obj3D::pos), d, u;
    Sub_Vector(p, &pos, &d);
    Normalize_Vector(&d, &u);
    Mat3 m = Get(n, &Obj3D::matrix);
    // The third row, as the game has always read it.
    return Narrow((int64_t(u.x) * m.m[6] + int64_t(u.y) * m.m[7] + int64_t(u.z) * m.m[8]) >> 16);
}

int32_t Get_FacingCosXZ(void* character, const Vec3* p) {
    Vec3* pos = EngineServices.CharacterPosition(character);
    Mat3* orient = EngineServices.CharacterOrientation(character);
    if (!pos || !orient) return 0;
    Vec3 d, a = {Narrow(-int64_t(orient->m[0])), 0, orient->m[2]}, du, au;
    Sub_Vector(pos, p, &d);
    d.y = 0;
    Normalize_Vector(&d, &du);
    Normalize_Vector(&a, &au);
    return Narrow((int64_t(du.x) * au.x + int64_t(du.y) * au.y + int64_t(du.z) * au.z) >> 16);
}

int Div_Vector(Vec3* v, int32_t d) {
    if (d == 0) return 0;
    *v = {Narrow(int64_t(v->x) / d), Narrow(int64_t(v->y) / d), Narrow(int64_t(v->z) / d)};
    return 1;
}

void Add_VectorTo(Vec3* v, const Vec3* w) {
    Add_Vector(v, w, v);
}
