// Keyframe animation tracks: key search, linear and spline evaluation,
// pose blends and the key transform.
#include "engine3d/dqx_anim.h"

#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"

#include <algorithm>
#include <cmath>

namespace {

// Key layouts.  Every key starts with its int32 time; the quaternion or the
// position follows at byte 4.
constexpr uint32_t kRotationEaseA = 20, kRotationEaseB = 24, kRotationControl = 44;
constexpr uint32_t kPositionEaseA = 16, kPositionEaseB = 20, kPositionIn = 24, kPositionOut = 36;

struct Track {
    uint32_t keys;  // pool offset of key 0
    int32_t count;
    uint32_t stride;

    uint32_t At(int32_t i) const { return keys + uint32_t(i) * stride; }
    int32_t Time(int32_t i) const { return int32_t(LoadWord(At(i))); }
    int32_t Int(int32_t i, uint32_t offset) const { return int32_t(LoadWord(At(i) + offset)); }
    float Float(int32_t i, uint32_t offset) const {
        uint32_t w = LoadWord(At(i) + offset);
        float f;
        std::memcpy(&f, &w, 4);
        return f;
    }
    Quat Rotation(int32_t i, uint32_t offset = 4) const {
        return {Int(i, offset), Int(i, offset + 4), Int(i, offset + 8), Int(i, offset + 12)};
    }
    Vec3 Position(int32_t i, uint32_t offset = 4) const { return {Int(i, offset), Int(i, offset + 4), Int(i, offset + 8)}; }
};

// The animation block a reference's slot names, when it is one (types 4
// and 6); 0 otherwise.
uint32_t AnimationBlock(int32_t ref, bool* spline) {
    ObjHandle base = int32_t(uint32_t(ref) >> 16 << 16);
    uint32_t block = Get_Block(base);
    if (!block || !Get_Obj(base)) return 0;
    int32_t type = Get(Ref<ObjBlock>(block), &ObjBlock::type);
    if (type != kBlockAnimation && type != kBlockSpline) return 0;
    *spline = type == kBlockSpline;
    return block;
}

int32_t FrameOf(int32_t ref) {
    return int32_t(uint32_t(ref) & 0xFFFFu);
}

int32_t ElementCount(uint32_t block) {
    return int32_t(LoadWord(block + kElementCountOffset));
}

PoolRef<AnimElement> ElementOf(uint32_t block, int32_t i) {
    return Ref<AnimElement>(LoadWord(block + kElementTableOffset + uint32_t(i) * 4));
}

Track RotationTrack(PoolRef<AnimElement> e, bool spline) {
    AnimElement a = Load(e);
    return {a.rotationKeys.off, a.rotationCount, spline ? kSplineRotationKeySize : kLinearRotationKeySize};
}

Track PositionTrack(PoolRef<AnimElement> e, bool spline) {
    AnimElement a = Load(e);
    return {a.positionKeys.off, a.positionCount, spline ? kSplinePositionKeySize : kLinearPositionKeySize};
}

// 8.8 weight of t between keys k-1 and k, held to 0..256; equal (or
// falling) times take key k.
int32_t LinearWeight(const Track& tr, int32_t k, float t) {
    int32_t t0 = tr.Time(k - 1), t1 = tr.Time(k);
    if (int64_t(t1) - t0 <= 0) return 256;
    float w = (t - float(t0)) * 256.0f / float(int64_t(t1) - t0);
    if (!(w > 0.0f)) return 0;
    if (w >= 256.0f) return 256;
    return int32_t(w);
}

// The fraction of t between keys k-1 and k, held to 0..1.
float Fraction(const Track& tr, int32_t k, float t) {
    int32_t t0 = tr.Time(k - 1), t1 = tr.Time(k);
    if (int64_t(t1) - t0 <= 0) return 1.0f;
    float u = (t - float(t0)) / float(int64_t(t1) - t0);
    if (!(u > 0.0f)) return 0.0f;
    return std::min(u, 1.0f);
}

Vec3 LerpPosition(const Vec3& a, const Vec3& b, int32_t w) {
    auto l = [w](int32_t p, int32_t q) { return Narrow(((256 - int64_t(w)) * p + int64_t(w) * q) >> 8); };
    return {l(a.x, b.x), l(a.y, b.y), l(a.z, b.z)};
}

int32_t Hermite(float s, int32_t p0, int32_t p1, int32_t out0, int32_t in1) {
    // G = (p0, p1, outgoing tangent of key k-1, incoming tangent of key k)
    // through the basis rows (2 -2 1 1), (-3 3 -2 -1), (0 0 1 0), (1 0 0 0).
    double g[4] = {double(p0), double(p1), double(out0), double(in1)};
    double c3 = 2 * g[0] - 2 * g[1] + g[2] + g[3];
    double c2 = -3 * g[0] + 3 * g[1] - 2 * g[2] - g[3];
    double c1 = g[2];
    double c0 = g[0];
    double sd = s;
    return f2i(((c3 * sd + c2) * sd + c1) * sd + c0);
}

enum class Mode { Linear, Spline, Hold };

Mode EvaluationMode(bool spline, int32_t flags, bool splineCall) {
    if (!spline || !splineCall) return Mode::Linear;
    if (!(flags & kAnimSplineLinear)) return Mode::Spline;
    return (flags & kAnimSplineHold) ? Mode::Hold : Mode::Linear;
}

void EvaluateRotation(const Track& tr, Mode mode, float t, Quat* q) {
    int32_t k = Anim_FindKey(Ref<uint8_t>(tr.keys), tr.count, tr.stride, t);
    if (mode == Mode::Hold || !(t < float(tr.Time(k)))) {
        *q = tr.Rotation(k);
        return;
    }
    Quat a = tr.Rotation(k - 1), b = tr.Rotation(k);
    if (mode == Mode::Linear) {
        Quat_Slerp(&a, &b, LinearWeight(tr, k, t), q);
        return;
    }
    float s = Anim_Ease(Fraction(tr, k, t), tr.Float(k, kRotationEaseB), tr.Float(k - 1, kRotationEaseA));
    int32_t w = std::clamp(int32_t(s * 256.0f), 0, 256);
    // The keys and their control quaternions blended at w, then the two
    // results by 2w(1 - w): the curve passes through both keys.
    Quat ca = tr.Rotation(k - 1, kRotationControl), cb = tr.Rotation(k, kRotationControl), keys, controls;
    Quat_Slerp(&a, &b, w, &keys);
    Quat_Slerp(&ca, &cb, w, &controls);
    Quat_Slerp(&keys, &controls, 2 * w * (256 - w) / 256, q);
}

void EvaluatePosition(const Track& tr, Mode mode, float t, Vec3* p) {
    int32_t k = Anim_FindKey(Ref<uint8_t>(tr.keys), tr.count, tr.stride, t);
    if (mode == Mode::Hold || !(t < float(tr.Time(k)))) {
        *p = tr.Position(k);
        return;
    }
    Vec3 a = tr.Position(k - 1), b = tr.Position(k);
    if (mode == Mode::Linear) {
        *p = LerpPosition(a, b, LinearWeight(tr, k, t));
        return;
    }
    float s = Anim_Ease(Fraction(tr, k, t), tr.Float(k, kPositionEaseB), tr.Float(k - 1, kPositionEaseA));
    Vec3 out = tr.Position(k - 1, kPositionOut), in = tr.Position(k, kPositionIn);
    *p = {Hermite(s, a.x, b.x, out.x, in.x), Hermite(s, a.y, b.y, out.y, in.y), Hermite(s, a.z, b.z, out.z, in.z)};
}

// One node in one element; what the flags skip or a short track leaves
// keeps the node's current value.
struct NodeResult {
    Quat q;
    Vec3 pos;
    bool rotated = false, moved = false;
};

NodeResult EvaluateElement(PoolRef<AnimElement> e, bool spline, Mode mode, float t, int32_t flags) {
    NodeResult r{};
    Track rot = RotationTrack(e, spline), pos = PositionTrack(e, spline);
    if (!(flags & kAnimSkipRotation) && rot.count >= 2) {
        EvaluateRotation(rot, mode, t, &r.q);
        r.rotated = true;
    }
    if (!(flags & kAnimSkipPosition) && pos.count >= 2) {
        EvaluatePosition(pos, mode, t, &r.pos);
        r.moved = true;
    }
    return r;
}

void Animate(ObjHandle object, int32_t refA, int32_t refB, int32_t weight, int32_t flags, bool splineCall) {
    if (!Get_Node(object)) return;
    bool splineA = false, splineB = false;
    uint32_t blockA = AnimationBlock(refA, &splineA), blockB = AnimationBlock(refB, &splineB);
    if (!blockA || !blockB) return;
    ObjHandle base = Get_BlockBase(object);
    int32_t nodes = int32_t(LoadWord(Get_BlockElements(object)));
    int32_t w = std::clamp(weight, 0, 256);
    Mode modeA = EvaluationMode(splineA, flags, splineCall), modeB = EvaluationMode(splineB, flags, splineCall);
    bool same = (uint32_t(refA) >> 16) == (uint32_t(refB) >> 16);
    float t = float((int64_t(FrameOf(refB)) * w + int64_t(FrameOf(refA)) * (256 - w))) * (1.0f / 256.0f);
    int32_t count = std::min(nodes, std::min(ElementCount(blockA), ElementCount(blockB)));
    for (int32_t i = 0; i < count; ++i) {
        ObjHandle h = base + i;
        if (!Get_Node(h)) continue;
        Mat3 m;
        Vec3 p;
        Get_ObjMatrix(h, &m);
        Get_ObjPos(h, &p);
        NodeResult r;
        if (same) {
            r = EvaluateElement(ElementOf(blockA, i), splineA, modeA, t, flags);
        } else {
            // Both poses, each falling back to the node's own values, blended.
            NodeResult a = EvaluateElement(ElementOf(blockA, i), splineA, modeA, float(FrameOf(refA)), flags);
            NodeResult b = EvaluateElement(ElementOf(blockB, i), splineB, modeB, float(FrameOf(refB)), flags);
            Quat own;
            Matrix_ToQuat(&m, &own);
            Quat qa = a.rotated ? a.q : own, qb = b.rotated ? b.q : own;
            Vec3 pa = a.moved ? a.pos : p, pb = b.moved ? b.pos : p;
            r.rotated = a.rotated || b.rotated;
            r.moved = a.moved || b.moved;
            if (r.rotated) Quat_Slerp(&qa, &qb, w == 255 ? 256 : w, &r.q);
            if (r.moved) r.pos = {Anim_BlendInt(pa.x, pb.x, w), Anim_BlendInt(pa.y, pb.y, w), Anim_BlendInt(pa.z, pb.z, w)};
        }
        if (r.rotated) {
            Quat_ToMatrix(&r.q, &m);
            Set_ObjMatrix(h, &m);
        }
        if (r.moved) Set_ObjPos(h, &r.pos);
    }
}

}  // namespace

int32_t Anim_FindKey(PoolRef<uint8_t> keys, int32_t count, uint32_t stride, float t) {
    Track tr{keys.off, count, stride};
    int32_t lo = 0, hi = count - 1;
    while (lo + 1 < hi) {
        int32_t mid = (lo + hi) / 2;
        if (float(tr.Time(mid)) < t) lo = mid;
        else hi = mid;
    }
    return hi;
}

float Anim_Ease(float u, float a, float b) {
    if (!(u > 0.0f)) u = 0.0f;
    if (u > 1.0f) u = 1.0f;
    // Ease values below 0 (or not numbers) ease nothing.
    if (!(a > 0.0f)) a = 0.0f;
    if (!(b > 0.0f)) b = 0.0f;
    float sum = a + b;
    if (sum == 0.0f) return u;
    if (sum > 1.0f) {
        a /= sum;
        b /= sum;
    }
    float m = 1.0f / (2.0f - a - b);
    float s;
    if (u < a) {
        s = (m / a) * u * u;
    } else if (u < 1.0f - b) {
        s = m * (2.0f * u - a);
    } else {
        float v = 1.0f - u;
        s = 1.0f - (m / b) * v * v;
    }
    // Infinite ease values would leave the curve: the plain fraction.
    if (!(s >= 0.0f && s <= 1.0f)) return u;
    return s;
}

int32_t Anim_BlendInt(int32_t a, int32_t b, int32_t weight) {
    if (weight <= 0) return a;
    if (weight >= 255) return b;
    return Narrow(((256 - int64_t(weight)) * a + int64_t(weight) * b) >> 8);
}

void AnimateObject(ObjHandle object, int32_t animFrameA, int32_t animFrameB, int32_t weight, int32_t flags) {
    Animate(object, animFrameA, animFrameB, weight, flags, false);
}

void AnimateObjectSpline(ObjHandle object, int32_t animFrameA, int32_t animFrameB, int32_t weight, int32_t flags) {
    Animate(object, animFrameA, animFrameB, weight, flags, true);
}

int32_t Get_AnimLength(ObjHandle handle) {
    bool spline;
    uint32_t block = AnimationBlock(handle, &spline);
    uint32_t element = block ? Get_Obj(handle) : 0;
    if (!element) return 0;
    return Get(Ref<AnimElement>(element), &AnimElement::length);
}

int Transform_AnimKeys(ObjHandle animation, const Mat3* m) {
    bool spline;
    uint32_t block = AnimationBlock(animation, &spline);
    if (!block) return -1;
    for (int32_t i = 0; i < ElementCount(block); ++i) {
        PoolRef<AnimElement> e = ElementOf(block, i);
        Track rot = RotationTrack(e, spline), pos = PositionTrack(e, spline);
        for (int32_t k = 0; k < rot.count; ++k) {
            Quat q = rot.Rotation(k), out;
            Mat3 km, turned;
            Quat_ToMatrix(&q, &km);
            Mul_Matrix(m, &km, &turned);
            Matrix_ToQuat(&turned, &out);
            Copy_Quat(&q, &out);
            const int32_t c[4] = {q.x, q.y, q.z, q.w};
            for (uint32_t j = 0; j < 4; ++j) StoreWord(rot.At(k) + 4 + j * 4, uint32_t(c[j]));
        }
        for (int32_t k = 0; k < pos.count; ++k) {
            Vec3 p = pos.Position(k), out;
            Mul_MatrixVector(m, &p, &out);
            StoreWord(pos.At(k) + 4, uint32_t(out.x));
            StoreWord(pos.At(k) + 8, uint32_t(out.y));
            StoreWord(pos.At(k) + 12, uint32_t(out.z));
        }
    }
    return 0;
}

int Blend_ObjPoses(ObjHandle out, ObjHandle a, ObjHandle b, int32_t weight) {
    PoolRef<Obj3D> no = Get_Node(out), na = Get_Node(a), nb = Get_Node(b);
    if (!no || !na || !nb) return -1;
    int32_t w = std::clamp(weight, 0, 256);
    Vec3 pa = Get(na, &Obj3D::pos), pb = Get(nb, &Obj3D::pos);
    Vec3 p = {Anim_BlendInt(pa.x, pb.x, w), Anim_BlendInt(pa.y, pb.y, w), Anim_BlendInt(pa.z, pb.z, w)};
    Mat3 ma = Get(na, &Obj3D::matrix), mb = Get(nb, &Obj3D::matrix), m;
    if (w == 0) {
        m = ma;
    } else if (w >= 255) {
        m = mb;
    } else {
        Quat qa, qb, q;
        Matrix_ToQuat(&ma, &qa);
        Matrix_ToQuat(&mb, &qb);
        Quat_Slerp(&qa, &qb, w, &q);
        Quat_ToMatrix(&q, &m);
    }
    int32_t count = std::min({Get(no, &Obj3D::vertexCount), Get(na, &Obj3D::vertexCount), Get(nb, &Obj3D::vertexCount)});
    for (int32_t i = 0; i < count; ++i) {
        Vec3 va, vb;
        Get_VertexPos(a, i, &va);
        Get_VertexPos(b, i, &vb);
        Vec3 v = {Anim_BlendInt(va.x, vb.x, w), Anim_BlendInt(va.y, vb.y, w), Anim_BlendInt(va.z, vb.z, w)};
        Set_VertexPos(out, i, &v);
    }
    Set_ObjPos(out, &p);
    Set_ObjMatrix(out, &m);
    return 0;
}
