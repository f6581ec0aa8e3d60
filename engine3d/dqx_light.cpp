// Scene lights, and the face and vertex lighting of the walk.
#include "engine3d/dqx_light.h"

#include "engine3d/dqx_front.h"
#include "engine3d/dqx_lib.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cmath>

LightRecord g_Lights[kMaxLights];
int32_t g_LightCount = 0;
uint16_t g_HalfMask = 0x7BEF;

namespace {

int32_t Modulo32(int32_t v) {
    return ((v % 32) + 32) % 32;
}

bool InUse(int index) {
    return index >= 0 && index < kMaxLights && g_Lights[index].kind != kLightFree;
}

}  // namespace

// ---------------------------------------------------------------------------
// The light table
// ---------------------------------------------------------------------------

int Add_Light(const Vec3* position, const Mat3* orientation, int32_t kind, int32_t inner, int32_t outer,
              int32_t intensity) {
    // A kind of 0 would take a record that stays free.
    if (kind == kLightFree) return -1;
    for (int i = 0; i < kMaxLights; ++i) {
        if (g_Lights[i].kind != kLightFree) continue;
        LightRecord& l = g_Lights[i];
        l = LightRecord{};
        l.kind = kind;
        l.pos = *position;
        l.orient = *orientation;
        l.inner = inner;
        l.outer = outer;
        l.intensity = Modulo32(intensity);
        ++g_LightCount;
        return i;
    }
    return -1;
}

int Remove_Light(int index) {
    if (!InUse(index)) return -1;
    g_Lights[index].kind = kLightFree;
    --g_LightCount;
    return 0;
}

int Set_LightPos(int index, const Vec3* position) {
    if (!InUse(index)) return -1;
    Copy_Vector(&g_Lights[index].pos, position);
    return 0;
}

int Set_LightMatrix(int index, const Mat3* orientation) {
    if (!InUse(index)) return -1;
    Copy_Matrix(&g_Lights[index].orient, orientation);
    return 0;
}

int Set_LightIntensity(int index, int32_t intensity) {
    if (!InUse(index)) return -1;
    g_Lights[index].intensity = Modulo32(intensity);
    return 0;
}

void Clear_Lights() {
    for (LightRecord& l : g_Lights) l = LightRecord{};
    g_LightCount = 0;
}

int Add_ObjLight(ObjHandle h, int index) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n || index < 0 || index >= kMaxLights) return -1;
    int32_t count = Get(n, &Obj3D::lightCount);
    if (count < 0) count = 0;
    if (count >= kMaxObjLights) return -1;
    PoolPtr(n.off + OffsetOf(&Obj3D::lights))[count] = uint8_t(index);
    Set(n, &Obj3D::lightCount, count + 1);
    return 0;
}

int Remove_ObjLight(ObjHandle h, int index) {
    PoolRef<Obj3D> n = Get_Node(h);
    if (!n) return -1;
    int32_t count = Get(n, &Obj3D::lightCount);
    if (count > kMaxObjLights) count = kMaxObjLights;
    uint8_t* lights = PoolPtr(n.off + OffsetOf(&Obj3D::lights));
    for (int32_t i = 0; i < count; ++i) {
        if (lights[i] != index) continue;
        lights[i] = lights[count - 1];
        Set(n, &Obj3D::lightCount, count - 1);
        return 0;
    }
    return 0;
}

void Update_Lights() {
    if (!SceneRoot) return;
    Mat3 m = Get(SceneRoot, &Obj3D::camMatrix);
    Vec3 p = Get(SceneRoot, &Obj3D::camPos);
    for (LightRecord& l : g_Lights) {
        if (l.kind != kLightPoint && l.kind != kLightDirectional) continue;
        Mul_Matrix(&m, &l.orient, &l.camOrient);
        Mul_MatrixVector(&m, &l.pos, &l.camPos);
        Add_Vector(&l.camPos, &p, &l.camPos);
    }
}

void Set_HalfMask(int bits) {
    g_HalfMask = bits == 15 ? 0x3DEF : 0x7BEF;
}

// ---------------------------------------------------------------------------
// Lighting
// ---------------------------------------------------------------------------

bool Node_IsLit(PoolRef<Obj3D> node) {
    return Get(node, &Obj3D::lightCount) > 0;
}

ShadeKind Prim_ShadeKind(int32_t t) {
    if (t == 1) return ShadeKind::Face;
    if (t == -21 || (t >= -15 && t <= -3)) return ShadeKind::Face;
    switch (t) {
    case 2: case 3: case 6: case 9: case 11: case 12: case 18: case 20: case 21: case 24: case 28: case 29: case 32:
        return ShadeKind::Face;
    case 22: case 23: case 25: case 26:
        return ShadeKind::Corners;
    case 30: case 31:
        return ShadeKind::Highlight;
    default:
        return ShadeKind::None;
    }
}

namespace {

// -trunc(M^T v x 2^-15): a camera-space offset turned into node space.
Vec3 ToNodeSpace(const Mat3& m, const int64_t v[3]) {
    int32_t out[3];
    for (int i = 0; i < 3; ++i) {
        int64_t s = Dot3Wide(m.m[i], v[0], m.m[3 + i], v[1], m.m[6 + i], v[2]);
        out[i] = Narrow(-(s / 32768));
    }
    return {out[0], out[1], out[2]};
}

int64_t Dot64(const Vec3& a, const Vec3& b) {
    return Dot3Wide(a.x, b.x, a.y, b.y, a.z, b.z);
}

// The node's valid light indices (the count clamped to 8, indices past the
// table skipped).
int NodeLights(PoolRef<Obj3D> node, int out[kMaxObjLights]) {
    int32_t count = Get(node, &Obj3D::lightCount);
    if (count <= 0) return 0;
    if (count > kMaxObjLights) count = kMaxObjLights;
    const uint8_t* lights = PoolPtr(node.off + OffsetOf(&Obj3D::lights));
    int n = 0;
    for (int32_t i = 0; i < count; ++i)
        if (lights[i] < kMaxLights) out[n++] = lights[i];
    return n;
}

int64_t SaturatingAdd(int64_t sum, int64_t v) {
    sum += v;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return sum;
}

struct Surface {
    Vec3 point;        // S, node space
    Vec3 normal;       // n, Q15
    int64_t plane;     // s: the surface's own plane value
    PoolRef<FaceNormal> dotWord;
};

// The highlight factor of a point light at a corner: c^4 of the reflected
// light and the eye direction; 1 when the light is behind the surface.
double Highlight(const LightRecord& l, const Surface& s, const Vec3& eye) {
    Vec3 lv = {Narrow(int64_t(s.point.x) - l.objPos.x), Narrow(int64_t(s.point.y) - l.objPos.y),
               Narrow(int64_t(s.point.z) - l.objPos.z)};
    double q = double(Dot64(lv, s.normal)) / 1073741824.0;
    if (!(q < 0.0)) return 1.0;
    Vec3 p = {f2i(s.normal.x * q), f2i(s.normal.y * q), f2i(s.normal.z * q)};
    Vec3 r = {Narrow(int64_t(lv.x) - 2 * int64_t(p.x)), Narrow(int64_t(lv.y) - 2 * int64_t(p.y)),
              Narrow(int64_t(lv.z) - 2 * int64_t(p.z))};
    Vec3 e = {Narrow(int64_t(eye.x) - s.point.x), Narrow(int64_t(eye.y) - s.point.y), Narrow(int64_t(eye.z) - s.point.z)};
    Normalize_Vector(&r, &r);
    Normalize_Vector(&e, &e);
    double c = double(Dot64(r, e)) / 1073741824.0;
    return c * c * c * c;
}

// The raw amount of one light at a surface, attenuated (negative: lit).
// The light's dot word w is stored in the surface normal's dot word.
int64_t Amount(const LightRecord& l, const Surface& s, bool highlight, const Vec3& eye) {
    double dx = double(s.point.x) - l.objPos.x, dy = double(s.point.y) - l.objPos.y,
           dz = double(s.point.z) - l.objPos.z;
    double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    int64_t amount;
    if (l.kind == kLightPoint) {
        int32_t w = Narrow(Dot64(l.objPos, s.normal) / 32768);
        if (s.dotWord) Set(s.dotWord, &FaceNormal::dot, w);
        // A light at the surface point itself shows no side of the surface
        // to it: it lights the point fully.
        amount = d == 0.0 ? INT32_MIN : f2i(double(s.plane - w) * l.intensity / d);
        if (highlight) amount = f2i(double(amount) * Highlight(l, s, eye));
    } else {
        int32_t w = Narrow(Dot64(l.objDir, s.normal) / 32768);
        if (s.dotWord) Set(s.dotWord, &FaceNormal::dot, w);
        amount = int64_t(w) * l.intensity / 32768;
    }
    if (d <= l.inner) return amount;
    if (d < l.outer) return f2i(double(amount) * (double(l.outer) - d) / double(l.outer));
    return 0;
}

Vec3 Centroid(const PrimFace& face) {
    Vec3 a = Get(face.corner[0].vertex, &ObjVertex::pos), b = Get(face.corner[1].vertex, &ObjVertex::pos),
         c = Get(face.corner[2].vertex, &ObjVertex::pos);
    return {Narrow((int64_t(a.x) + b.x + c.x) / 3), Narrow((int64_t(a.y) + b.y + c.y) / 3),
            Narrow((int64_t(a.z) + b.z + c.z) / 3)};
}

}  // namespace

void Light_ToObjectSpace(PoolRef<Obj3D> node) {
    int lights[kMaxObjLights];
    int n = NodeLights(node, lights);
    if (!n) return;
    Mat3 m = Get(node, &Obj3D::camMatrix);
    Vec3 p = Get(node, &Obj3D::camPos);
    for (int i = 0; i < n; ++i) {
        LightRecord& l = g_Lights[lights[i]];
        if (l.kind != kLightPoint && l.kind != kLightDirectional) continue;
        if (l.kind == kLightDirectional) {
            const int64_t a[3] = {-int64_t(l.camOrient.m[2]), -int64_t(l.camOrient.m[5]), -int64_t(l.camOrient.m[8])};
            l.objDir = ToNodeSpace(m, a);
        }
        const int64_t r[3] = {int64_t(p.x) - l.camPos.x, int64_t(p.y) - l.camPos.y, int64_t(p.z) - l.camPos.z};
        l.objPos = ToNodeSpace(m, r);
    }
}

void Shade_Faces(PoolRef<Obj3D> node) {
    int lights[kMaxObjLights];
    int n = NodeLights(node, lights);
    if (!n) return;
    Vec3 eye = Node_EyePosition(Get(node, &Obj3D::camMatrix), Get(node, &Obj3D::camPos));
    PoolRef<PrimGroup> group = Get(node, &Obj3D::groups);
    for (int steps = 0; group && steps < 65536; group = Get(group, &PrimGroup::next), ++steps) {
        ShadeKind kind = Prim_ShadeKind(Get(group, &PrimGroup::type));
        if (kind == ShadeKind::None) continue;
        uint32_t size = Group_FaceSize(group);
        if (!size) continue;
        // The shade bytes sit where the faces' own layout has them.
        uint32_t shadeAt = size == sizeof(PrimFaceLong) ? offsetof(PrimFaceLong, shade) : offsetof(PrimFaceShort, shade);
        for (PoolRef<PrimFace> f = Get(group, &PrimGroup::visible); f; f = Get(f, &PrimFace::next)) {
            PrimFace face = Load(f);
            if (face.flags & kFaceHidden) continue;
            if (kind == ShadeKind::Face) {
                FaceNormal fn = Load(face.normal);
                Surface s{Centroid(face), {fn.x, fn.y, fn.z}, face.plane, face.normal};
                int64_t sum = 0;
                for (int i = 0; i < n; ++i) {
                    const LightRecord& l = g_Lights[lights[i]];
                    if (l.kind != kLightPoint && l.kind != kLightDirectional) continue;
                    sum = SaturatingAdd(sum, std::min<int64_t>(Amount(l, s, false, eye), 0));
                }
                if (sum < -31) sum = -31;
                PoolPtr(f.off + shadeAt)[0] = uint8_t(-sum);
                continue;
            }
            if (size != sizeof(PrimFaceLong)) continue;
            uint8_t* shades = PoolPtr(f.off + offsetof(PrimFaceLong, cornerShade));
            for (int c = 0; c < 3; ++c) {
                int64_t sum = 0;
                if (face.corner[c].normal) {
                    FaceNormal fn = Load(face.corner[c].normal);
                    Surface s{Get(face.corner[c].vertex, &ObjVertex::pos), {fn.x, fn.y, fn.z}, 0, face.corner[c].normal};
                    s.plane = Dot64(s.normal, s.point) >> 15;
                    for (int i = 0; i < n; ++i) {
                        const LightRecord& l = g_Lights[lights[i]];
                        if (l.kind != kLightPoint && l.kind != kLightDirectional) continue;
                        bool highlight = kind == ShadeKind::Highlight && l.kind == kLightPoint;
                        sum = SaturatingAdd(sum, std::max<int64_t>(0, -Amount(l, s, highlight, eye)));
                    }
                }
                shades[c] = uint8_t(sum > 31 ? 31 : sum);
            }
        }
    }
}
