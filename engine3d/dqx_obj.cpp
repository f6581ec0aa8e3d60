// Scene objects: tree links, the hidden flag and part names.
#include "engine3d/dqx_obj.h"

#include "engine3d/dqx_lib.h"

#include <cmath>
#include <initializer_list>
#include <strings.h>

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

int Hide_Obj(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n || (Get(n, &Obj3D::flags2) & kObj2Camera)) return -1;
    Set(n, &Obj3D::flags, uint8_t(Get(n, &Obj3D::flags) | kObjHidden));
    return 0;
}

ObjHandle Find_Part(ObjHandle h, const char* name) {
    if (!Get_Node(h)) return 0;
    int32_t count = int32_t(LoadWord(Get_BlockElements(h)));
    ObjHandle found = 0;
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<Obj3D> n = Get_Node(h + i);
        if (n && strncasecmp(reinterpret_cast<const char*>(PoolPtr(n.off)), name, 12) == 0) found = h + i;
    }
    return found;
}

int Hide_HelperNodes(ObjHandle h) {
    for (const char* helper : {"$DUMMY", "Object01", "Master"}) {
        ObjHandle part = Find_Part(h, helper);
        if (part) Hide_Obj(part);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Placement and distance.
// ---------------------------------------------------------------------------

int Get_ObjPos(ObjHandle h, Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    *v = Get(n, &Obj3D::pos);
    return 0;
}

int Set_ObjPos(ObjHandle h, const Vec3* v) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    Set(n, &Obj3D::pos, *v);
    if (Get(n, &Obj3D::flags2) & kObj2Camera) {
        Mat3 view = Get(n, &Obj3D::camMatrix);
        Vec3 moved, translation;
        Mul_MatrixVector(&view, v, &moved);
        Neg_Vector(&moved, &translation);
        Set(n, &Obj3D::camPos, translation);
    }
    return 0;
}

int32_t Get_Distance(const Vec3* a, const Vec3* b) {
    double dx = double(a->x) - b->x, dy = double(a->y) - b->y, dz = double(a->z) - b->z;
    return f2i(std::round(std::sqrt(dx * dx + dy * dy + dz * dz)));
}
