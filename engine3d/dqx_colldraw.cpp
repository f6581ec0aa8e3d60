// Debug drawing of the collision world over the 3D picture.
#include "engine3d/dqx_collworld.h"

#include "engine3d/dqx_collgeom.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_lines.h"
#include "engine3d/dqx_view.h"

#include <algorithm>

namespace {

// Camera space by the camera node's camera-space matrix and position (the
// view transform its placement keeps).
Vec3 ViewPoint(const Vec3& p) {
    Mat3 m = Get(SceneRoot, &Obj3D::camMatrix);
    Vec3 t = Get(SceneRoot, &Obj3D::camPos), r, out;
    Mul_MatrixVector(&m, &p, &r);
    Add_Vector(&r, &t, &out);
    return out;
}

// The same through the camera's own position: matrix x (point - position).
Vec3 ProbeViewPoint(const Vec3& p) {
    Mat3 m = Get(SceneRoot, &Obj3D::camMatrix);
    Vec3 eye = Get(SceneRoot, &Obj3D::pos), d, out;
    Sub_Vector(&p, &eye, &d);
    Mul_MatrixVector(&m, &d, &out);
    return out;
}

bool Visible(const Vec3& v) {
    return v.z > g_View.nearZ;
}

struct Screen {
    int32_t x = 0, y = 0;
};

Screen Project(const Vec3& v) {
    Screen s;
    Project_Point(&v, &s.x, &s.y);
    return s;
}

// The face's box from its corners.
void CornerBox(PoolRef<CollisionFace> face, Vec3* lo, Vec3* hi) {
    CollisionFace f = Load(face);
    *lo = *hi = Load(f.corner[0]);
    for (int i = 1; i < 3; ++i) {
        Vec3 c = Load(f.corner[i]);
        *lo = {std::min(lo->x, c.x), std::min(lo->y, c.y), std::min(lo->z, c.z)};
        *hi = {std::max(hi->x, c.x), std::max(hi->y, c.y), std::max(hi->z, c.z)};
    }
}

}  // namespace

void Draw_Point3D(uint16_t* buffer, const Vec3* point, uint16_t colour) {
    Vec3 v = ViewPoint(*point);
    if (!Visible(v)) return;
    Screen s = Project(v);
    Put_Pixel(buffer, s.x, s.y, colour);
}

void Draw_Line3D(uint16_t* buffer, const Vec3* a, const Vec3* b, uint16_t colour) {
    Vec3 va = ViewPoint(*a);
    if (!Visible(va)) return;
    Vec3 vb = ViewPoint(*b);
    if (!Visible(vb)) return;
    Screen sa = Project(va), sb = Project(vb);
    Draw_Line(buffer, sa.x, sa.y, sb.x, sb.y, colour);
}

void Draw_FaceEdges(uint16_t* buffer, PoolRef<CollisionFace> face, uint16_t colour) {
    CollisionFace f = Load(face);
    Vec3 c[3] = {Load(f.corner[0]), Load(f.corner[1]), Load(f.corner[2])};
    for (int i = 0; i < 3; ++i) Draw_Line3D(buffer, &c[i], &c[(i + 1) % 3], colour);
}

void Draw_BlockFaces(uint16_t* buffer, ObjHandle h, uint16_t colour) {
    if (Get_BlockType(h) != kBlockCollision || !Get_Obj(h)) return;
    CollisionBlock b = Load(Ref<CollisionBlock>(Get_Block(h)));
    for (int32_t i = 0; i < b.faceCount; ++i) {
        CollisionFace f = Load(Index(b.faces, uint32_t(i)));
        Vec3 v[3];
        bool visible = true;
        for (int k = 0; k < 3 && visible; ++k) {
            v[k] = ViewPoint(Load(f.corner[k]));
            visible = Visible(v[k]);
        }
        if (!visible) continue;
        Screen s[3] = {Project(v[0]), Project(v[1]), Project(v[2])};
        for (int k = 0; k < 3; ++k) Draw_Line(buffer, s[k].x, s[k].y, s[(k + 1) % 3].x, s[(k + 1) % 3].y, colour);
    }
}

void Draw_ProbeOverlaps(uint16_t* buffer, CollisionProbe* probe, uint16_t centreColour, uint16_t faceColour) {
    Vec3 centre = ProbeViewPoint(probe->centre);
    bool centreVisible = Visible(centre);
    Screen sc;
    if (centreVisible) {
        sc = Project(centre);
        Put_Pixel(buffer, sc.x, sc.y, centreColour);
    }
    for (OverlapLink* l = probe->fullHead; l; l = l->next) {
        PoolRef<CollisionFace> face = l->node->key;
        Vec3 lo, hi;
        CornerBox(face, &lo, &hi);
        const Vec3 ends[3] = {{hi.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, lo.y, hi.z}};
        for (const Vec3& e : ends) Draw_Line3D(buffer, &lo, &e, faceColour);
        if (!centreVisible || !Get_ClosestFeature(probe, face)) continue;
        Vec3 contact = ProbeViewPoint(probe->contact.point);
        if (!Visible(contact)) continue;
        Screen s = Project(contact);
        Draw_Line(buffer, sc.x, sc.y, s.x, s.y, centreColour);
    }
}

void Draw_ProbeXZContacts(uint16_t* buffer, CollisionProbe* probe, uint16_t colour) {
    Vec3 centre = ProbeViewPoint(probe->centre);
    if (!Visible(centre)) return;
    Screen sc = Project(centre);
    Put_Pixel(buffer, sc.x, sc.y, colour);
    for (OverlapLink* l = probe->xzHead; l; l = l->next) {
        Vec3 point;
        if (!Get_VerticalContact(probe, l->node->key, &point)) continue;
        Vec3 v = ProbeViewPoint(point);
        if (Visible(v)) {
            Screen s = Project(v);
            Put_Pixel(buffer, s.x, s.y, 0xFF00);
        }
        Draw_FaceEdges(buffer, l->node->key, 0xFFFF);
    }
}
