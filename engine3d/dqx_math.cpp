// Fixed-point 3D maths.  Every "32-bit" product or sum that can overflow is
// formed in 64 bits and narrowed after its shift; floating point serves the
// square roots, normalisation, direction matrices and the conversions.
#include "engine3d/dqx_math.h"

#include <climits>
#include <cmath>
#include <cstdio>

int32_t g_CosTable[kTrigSteps];
int32_t g_SinTable[kTrigSteps];
int32_t g_ACosTable[kTrigSteps];
ViewProjection g_Projection = {400.0f, 300.0f, 320, 240};

namespace {

constexpr double kPi = 3.14159265358979323846;

int64_t Q15(int64_t a, int64_t b) {
    return (a * b) >> 15;
}

int32_t Element(const Mat3* m, int row, int column) {
    return m->m[row * 3 + column];
}

}  // namespace

int32_t f2i(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0) return INT32_MAX;
    if (v <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The running angle is kept in single precision and grows by 2 pi / 4096
// rounded to a float after each entry, so the tables carry the same small
// drift wherever they are built.
void Init_TrigTables() {
    float angle = 0.0f;
    const float step = 0.0015339808f;
    for (int i = 0; i < kTrigSteps; ++i) {
        g_CosTable[i] = f2i(std::cos(static_cast<double>(angle)) * 32768.0);
        g_SinTable[i] = f2i(std::sin(static_cast<double>(angle)) * 32768.0);
        angle += step;
    }
    for (int i = 0; i < kTrigSteps; ++i)
        g_ACosTable[i] = f2i(std::acos(double(i - 2048) / 2048.0) * 2048.0 / kPi);
}

int32_t Get_Sin(Angle4096 a) {
    int32_t r = a % kTrigSteps;
    if (r < 0) r += kTrigSteps;
    return g_SinTable[r];
}

int32_t Get_Cos(Angle4096 a) {
    int32_t r = a % kTrigSteps;
    if (r < 0) r = -r;
    return g_CosTable[r];
}

int32_t Get_ACos(int32_t i) {
    if (i < 0) i = 0;
    if (i >= kTrigSteps) i = kTrigSteps - 1;
    return g_ACosTable[i];
}

void Set_Identity(Mat3* m) {
    for (int i = 0; i < 9; ++i) m->m[i] = (i % 4 == 0) ? kQ15One : 0;
}

// Each product is shifted as soon as it is formed.
void Make_EulerMatrix(Angle4096 x, Angle4096 y, Angle4096 z, Mat3* m) {
    int64_t sx = g_SinTable[x & 4095], cx = g_CosTable[x & 4095];
    int64_t sy = g_SinTable[y & 4095], cy = g_CosTable[y & 4095];
    int64_t sz = g_SinTable[z & 4095], cz = g_CosTable[z & 4095];
    m->m[0] = Narrow((Q15(sz, sx) * sy + cz * cy) >> 15);
    m->m[1] = Narrow((Q15(cz, sx) * sy - sz * cy) >> 15);
    m->m[2] = Narrow(Q15(sy, cx));
    m->m[3] = Narrow(Q15(sz, cx));
    m->m[4] = Narrow(Q15(cz, cx));
    m->m[5] = Narrow(-sx);
    m->m[6] = Narrow((Q15(sz, cy) * sx - cz * sy) >> 15);
    m->m[7] = Narrow((sz * sy + Q15(cz, cy) * sx) >> 15);
    m->m[8] = Narrow(Q15(cy, cx));
}

void Make_AxisMatrix(const Vec3* axis, Angle4096 angle, Mat3* m) {
    int64_t a[3] = {axis->x, axis->y, axis->z};
    int64_t c = Get_Cos(angle), s = Get_Sin(angle);
    int64_t k = kQ15One - c;
    for (int i = 0; i < 3; ++i) {
        int64_t aii = Q15(a[i], a[i]);
        m->m[i * 4] = Narrow(aii + Q15(kQ15One - aii, c));
    }
    auto off = [&](int i, int j) { return Q15(Q15(a[i], a[j]), k); };
    m->m[1] = Narrow(off(0, 1) - Q15(a[2], s));
    m->m[3] = Narrow(off(0, 1) + Q15(a[2], s));
    m->m[2] = Narrow(off(0, 2) + Q15(a[1], s));
    m->m[6] = Narrow(off(0, 2) - Q15(a[1], s));
    m->m[5] = Narrow(off(1, 2) - Q15(a[0], s));
    m->m[7] = Narrow(off(1, 2) + Q15(a[0], s));
}

namespace {

// Rows r0 (level), r1, r2 = d of a unit direction d in floating point;
// false when d is zero.
bool DirectionFrame(const Vec3* direction, double limit, double r[3][3]) {
    double d[3] = {direction->x / 32768.0, direction->y / 32768.0, direction->z / 32768.0};
    double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (length == 0.0) return false;
    // A direction a little off unit length still gives a frame.
    for (double& v : d) v /= length;
    double s = std::sqrt(std::fmax(0.0, 1.0 - d[1] * d[1]));
    if (s <= limit) {
        // Vertical: the world x axis is the level row.
        r[0][0] = 1.0, r[0][1] = 0.0, r[0][2] = 0.0;
    } else {
        r[0][0] = d[2] / s, r[0][1] = 0.0, r[0][2] = -d[0] / s;
    }
    for (int i = 0; i < 3; ++i) r[2][i] = d[i];
    // r1 = r2 x r0 keeps the frame right-handed (r0 x r1 = r2).
    r[1][0] = r[2][1] * r[0][2] - r[2][2] * r[0][1];
    r[1][1] = r[2][2] * r[0][0] - r[2][0] * r[0][2];
    r[1][2] = r[2][0] * r[0][1] - r[2][1] * r[0][0];
    return true;
}

void StoreFrame(const double r[3][3], bool columns, Mat3* m) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m->m[columns ? j * 3 + i : i * 3 + j] = f2i(r[i][j] * 32768.0);
}

// The roll turns the first two rows about the third.
void ApplyRoll(Angle4096 roll, bool columns, Mat3* m) {
    if (roll == 0) return;
    Mat3 r = {{Get_Cos(roll), Get_Sin(roll), 0, -Get_Sin(roll), Get_Cos(roll), 0, 0, 0, kQ15One}};
    Mat3 out;
    if (columns) {
        Mat3 rt;
        Transpose_Matrix(&r, &rt);
        Mul_Matrix(m, &rt, &out);
    } else {
        Mul_Matrix(&r, m, &out);
    }
    *m = out;
}

void DirMatrix(const Vec3* direction, Angle4096 roll, double limit, bool columns, Mat3* m) {
    double r[3][3];
    if (!DirectionFrame(direction, limit, r)) {
        Set_Identity(m);
        return;
    }
    StoreFrame(r, columns, m);
    ApplyRoll(roll, columns, m);
}

}  // namespace

void Make_DirMatrix(const Vec3* direction, Angle4096 roll, Mat3* m) {
    DirMatrix(direction, roll, 1e-9, false, m);
}

void Make_DirMatrix2(const Vec3* direction, Angle4096 roll, Mat3* m) {
    DirMatrix(direction, roll, 1e-9, true, m);
}

void Make_DirMatrix3(const Vec3* direction, Angle4096 roll, Mat3* m) {
    // 1/256 of the vertical component away from +-1.
    DirMatrix(direction, roll, std::sqrt(1.0 - (255.0 / 256.0) * (255.0 / 256.0)), false, m);
}

namespace {

Angle4096 ToSteps(double radians) {
    int32_t a = f2i(std::floor(radians * 2048.0 / kPi + 0.5));
    a %= kTrigSteps;
    return a < 0 ? a + kTrigSteps : a;
}

}  // namespace

void Matrix_ToEuler(const Mat3* m, Angle4096* x, Angle4096* y, Angle4096* z) {
    double e[9];
    for (int i = 0; i < 9; ++i) e[i] = m->m[i] / 32768.0;
    double sx = std::fmax(-1.0, std::fmin(1.0, -e[5]));
    double ax = std::asin(sx);
    double ay, az;
    if (std::fabs(sx) > 0.99999) {
        // Vertical axis: the roll about z is folded into y.
        az = 0.0;
        ay = std::atan2(-e[6], e[0]);
    } else {
        ay = std::atan2(e[2], e[8]);
        az = std::atan2(e[3], e[4]);
    }
    *x = ToSteps(ax);
    *y = ToSteps(ay);
    *z = ToSteps(az);
}

void Mul_Matrix(const Mat3* a, const Mat3* b, Mat3* out) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            int64_t sum = Dot3Wide(Element(a, i, 0), Element(b, 0, j), Element(a, i, 1), Element(b, 1, j),
                                   Element(a, i, 2), Element(b, 2, j));
            r.m[i * 3 + j] = Narrow(sum >> 15);
        }
    *out = r;
}

void Transpose_Matrix(const Mat3* src, Mat3* dst) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[j * 3 + i] = src->m[i * 3 + j];
    *dst = r;
}

void Copy_Matrix(Mat3* dst, const Mat3* src) {
    *dst = *src;
}

void Rotate_MatrixAxes(Mat3* m) {
    Mat3 r;
    for (int j = 0; j < 3; ++j) {
        r.m[j] = m->m[6 + j];
        r.m[3 + j] = Narrow(-int64_t(m->m[j]));
        r.m[6 + j] = m->m[3 + j];
    }
    *m = r;
}

void Mul_MatrixVector(const Mat3* m, const Vec3* v, Vec3* out) {
    int32_t r[3];
    for (int i = 0; i < 3; ++i) {
        int64_t sum = Dot3Wide(Element(m, i, 0), v->x, Element(m, i, 1), v->y, Element(m, i, 2), v->z);
        r[i] = Narrow(sum >> 15);
    }
    *out = {r[0], r[1], r[2]};
}

void Add_Vector(const Vec3* a, const Vec3* b, Vec3* out) {
    *out = {Narrow(int64_t(a->x) + b->x), Narrow(int64_t(a->y) + b->y), Narrow(int64_t(a->z) + b->z)};
}

void Sub_Vector(const Vec3* a, const Vec3* b, Vec3* out) {
    *out = {Narrow(int64_t(a->x) - b->x), Narrow(int64_t(a->y) - b->y), Narrow(int64_t(a->z) - b->z)};
}

void Neg_Vector(const Vec3* src, Vec3* dst) {
    *dst = {Narrow(-int64_t(src->x)), Narrow(-int64_t(src->y)), Narrow(-int64_t(src->z))};
}

void Copy_Vector(Vec3* dst, const Vec3* src) {
    *dst = *src;
}

int32_t Dot_Vector(const Vec3* a, const Vec3* b) {
    return Narrow(Dot3Wide(a->x, b->x, a->y, b->y, a->z, b->z));
}

void Cross_Vector(const Vec3* a, const Vec3* b, Vec3* out) {
    int64_t x = int64_t(a->y) * b->z - int64_t(a->z) * b->y;
    int64_t y = int64_t(a->z) * b->x - int64_t(a->x) * b->z;
    int64_t z = int64_t(a->x) * b->y - int64_t(a->y) * b->x;
    *out = {Narrow(x), Narrow(y), Narrow(z)};
}

namespace {

double Length(const Vec3* v) {
    double x = v->x, y = v->y, z = v->z;
    return std::sqrt(x * x + y * y + z * z);
}

}  // namespace

int32_t Get_VectorLength(const Vec3* v) {
    return f2i(Length(v));
}

void Normalize_Vector(const Vec3* v, Vec3* out) {
    double length = Length(v);
    if (length == 0.0) {
        *out = {0, 0, 0};
        return;
    }
    *out = {f2i(v->x * 32768.0 / length), f2i(v->y * 32768.0 / length), f2i(v->z * 32768.0 / length)};
}

void Lerp_Vector(Vec3* out, const Vec3* a, const Vec3* b, int32_t t) {
    auto lerp = [t](int32_t p, int32_t q) { return Narrow(((256 - int64_t(t)) * p + int64_t(t) * q) >> 8); };
    *out = {lerp(a->x, b->x), lerp(a->y, b->y), lerp(a->z, b->z)};
}

void Project_Point(const Vec3* v, int32_t* sx, int32_t* sy) {
    if (v->z == 0) return;
    const ViewProjection& p = g_Projection;
    *sx = f2i(double(v->x) * p.focalX / v->z + p.centreX);
    *sy = f2i(double(v->y) * p.focalY / v->z + p.centreY);
}

void Unproject_Point(int32_t sx, int32_t sy, int32_t z, Vec3* out) {
    const ViewProjection& p = g_Projection;
    double x = p.focalX != 0.0f ? double(sx - p.centreX) * z / p.focalX : 0.0;
    double y = p.focalY != 0.0f ? double(sy - p.centreY) * z / p.focalY : 0.0;
    *out = {f2i(x), f2i(y), z};
}

void Print_Matrix(const Mat3* m) {
    for (int i = 0; i < 3; ++i) std::printf("%d %d %d\n", m->m[i * 3], m->m[i * 3 + 1], m->m[i * 3 + 2]);
}

void Print_Vector(const Vec3* v) {
    std::printf("%d\n%d\n%d\n", v->x, v->y, v->z);
}

void Copy_Quat(Quat* dst, const Quat* src) {
    *dst = *src;
}

// Products of Q15 values shifted by 14: twice the product, in Q15.
void Quat_ToMatrix(const Quat* q, Mat3* m) {
    int64_t x = q->x, y = q->y, z = q->z, w = q->w;
    m->m[0] = Narrow(kQ15One - ((y * y + z * z) >> 14));
    m->m[4] = Narrow(kQ15One - ((x * x + z * z) >> 14));
    m->m[8] = Narrow(kQ15One - ((x * x + y * y) >> 14));
    m->m[1] = Narrow((x * y - w * z) >> 14);
    m->m[3] = Narrow((x * y + w * z) >> 14);
    m->m[2] = Narrow((x * z + w * y) >> 14);
    m->m[6] = Narrow((x * z - w * y) >> 14);
    m->m[5] = Narrow((y * z - w * x) >> 14);
    m->m[7] = Narrow((y * z + w * x) >> 14);
}

void Matrix_ToQuat(const Mat3* m, Quat* q) {
    double e[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) e[i][j] = m->m[i * 3 + j] / 32768.0;
    double trace = e[0][0] + e[1][1] + e[2][2];
    double c[4];  // x, y, z, w
    if (trace > 0.0) {
        double s = std::sqrt(trace + 1.0);
        c[3] = s * 0.5;
        s = 0.5 / s;
        c[0] = (e[2][1] - e[1][2]) * s;
        c[1] = (e[0][2] - e[2][0]) * s;
        c[2] = (e[1][0] - e[0][1]) * s;
    } else {
        int i = 0;
        if (e[1][1] > e[0][0]) i = 1;
        if (e[2][2] > e[i][i]) i = 2;
        const int next[3] = {1, 2, 0};
        int j = next[i], k = next[j];
        double s = std::sqrt(std::fmax(0.0, e[i][i] - (e[j][j] + e[k][k]) + 1.0));
        c[i] = s * 0.5;
        if (s != 0.0) s = 0.5 / s;
        c[3] = (e[k][j] - e[j][k]) * s;
        c[j] = (e[j][i] + e[i][j]) * s;
        c[k] = (e[k][i] + e[i][k]) * s;
    }
    *q = {f2i(c[0] * 32768.0), f2i(c[1] * 32768.0), f2i(c[2] * 32768.0), f2i(c[3] * 32768.0)};
}

void Quat_Slerp(const Quat* a, const Quat* b, int32_t t, Quat* out) {
    const int64_t av[4] = {a->x, a->y, a->z, a->w};
    const int64_t bv[4] = {b->x, b->y, b->z, b->w};
    int64_t c = (av[0] * bv[0] + av[1] * bv[1] + av[2] * bv[2] + av[3] * bv[3]) >> 15;
    int32_t r[4];
    if (kQ15One + c > 20) {
        int64_t wa, wb;
        int32_t sinOmega = 0, omega = 0;
        if (kQ15One - c > 20) {
            omega = Get_ACos(f2i(double(c) / 32768.0 * 2048.0 + 2048.0));
            sinOmega = Get_Sin(omega);
        }
        if (sinOmega != 0) {
            wa = (int64_t(Get_Sin(Narrow(((256 - int64_t(t)) * omega) / 256))) << 15) / sinOmega;
            wb = (int64_t(Get_Sin(Narrow((int64_t(t) * omega) / 256))) << 15) / sinOmega;
        } else {
            // Nearly equal: a plain blend.
            wa = ((256 - int64_t(t)) << 15) / 256;
            wb = (int64_t(t) << 15) / 256;
        }
        for (int i = 0; i < 4; ++i) r[i] = Narrow((wa * av[i] + wb * bv[i]) >> 15);
    } else {
        // Nearly opposite: a quarter turn from a towards the quaternion
        // perpendicular to it, (-y, x, -w, z).  All four components are
        // blended with the Q15 sines of (256 - t) and t quarter-turn steps,
        // whose squares sum to one: a unit quaternion all the way, a itself
        // at t = 0 and the perpendicular at t = 256.
        const int64_t p[4] = {-av[1], av[0], -av[3], av[2]};
        int64_t wa = Get_Sin(Narrow((256 - int64_t(t)) * 4));
        int64_t wb = Get_Sin(Narrow(int64_t(t) * 4));
        for (int i = 0; i < 4; ++i) r[i] = Narrow((wa * av[i] + wb * p[i]) >> 15);
    }
    *out = {r[0], r[1], r[2], r[3]};
}
