// Fixed-point maths: the tables, matrices, vectors and quaternions, with the
// inputs that would divide by zero or overflow 32 bits.
#include "engine3d/dqx_math.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>

namespace {

class MathTest : public ::testing::Test {
protected:
    void SetUp() override { Init_TrigTables(); }
    static Mat3 Identity() {
        Mat3 m;
        Set_Identity(&m);
        return m;
    }
    static void ExpectNear(const Mat3& a, const Mat3& b, int tolerance) {
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
    }
    // Rows of unit length and at right angles, in Q15.
    static void ExpectOrthonormal(const Mat3& m, int tolerance) {
        Mat3 t, p;
        Transpose_Matrix(&m, &t);
        Mul_Matrix(&m, &t, &p);
        ExpectNear(p, Identity(), tolerance);
    }
};

TEST_F(MathTest, TablesAndTheirEdgeCases) {
    EXPECT_EQ(Get_Sin(-1), Get_Sin(4095));
    EXPECT_EQ(Get_Cos(-1), Get_Cos(1));
    EXPECT_EQ(Get_Sin(4096), Get_Sin(0));
    EXPECT_EQ(Get_Sin(0), 0);
    EXPECT_EQ(Get_Cos(0), 32768);
    EXPECT_EQ(Get_Sin(1024), 32767);
    EXPECT_EQ(Get_Cos(-5000), Get_Cos(5000));
    EXPECT_EQ(Get_ACos(0), 2048);
    EXPECT_EQ(Get_ACos(2048), 1024);
    EXPECT_EQ(Get_ACos(-7), 2048);
    EXPECT_EQ(Get_ACos(5000), Get_ACos(4095));
    EXPECT_LT(Get_ACos(4095), 40);
    // sin^2 + cos^2 stays close to 2^30 over the whole table.
    for (int a = 0; a < 4096; ++a) {
        int64_t s = Get_Sin(a), c = Get_Cos(a);
        EXPECT_NEAR(double(s * s + c * c), double(1 << 30), 2.0 * 32768 * 2) << a;
    }
}

TEST_F(MathTest, CheckedConversionAndWideArithmetic) {
    // Truncation toward zero inside the range, saturation outside it, and
    // NaN as 0.
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        int32_t out;
    } conversions[] = {
        {2.9, 2},
        {-2.9, -2},
        {2147483647.5, INT32_MAX},
        {-2147483648.9, INT32_MIN},
        {2147483648.0, INT32_MAX},
        {3e9, INT32_MAX},
        {-3e9, INT32_MIN},
        {inf, INT32_MAX},
        {-inf, INT32_MIN},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {-std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& c : conversions) EXPECT_EQ(f2i(c.in), c.out) << c.in;
    // Products whose 32-bit sums overflow (|v| > 21845 against 1.0).
    Mat3 id = Identity();
    Vec3 v{100000, -70000, 2000000}, out;
    Mul_MatrixVector(&id, &v, &out);
    EXPECT_EQ(out.x, 100000);
    EXPECT_EQ(out.y, -70000);
    EXPECT_EQ(out.z, 2000000);
    Mat3 big = {{100000, 0, 0, 0, 100000, 0, 0, 0, 100000}}, sq;
    Mul_Matrix(&big, &id, &sq);
    EXPECT_EQ(sq.m[0], 100000);
    Vec3 a{50000, 50000, 0};
    EXPECT_EQ(Dot_Vector(&a, &a), Narrow(int64_t(5000000000LL)));
    Vec3 p{3000000, 0, 0}, q{3000000, 10, 0}, mid;
    Lerp_Vector(&mid, &p, &q, 128);
    EXPECT_EQ(mid.x, 3000000);
    EXPECT_EQ(mid.y, 5);
    Vec3 far{60000, 0, 0};
    EXPECT_EQ(Get_VectorLength(&far), 60000);
}

TEST_F(MathTest, VectorsAndNormalisation) {
    Vec3 v{3, 4, 0}, n;
    Normalize_Vector(&v, &n);
    EXPECT_EQ(n.x, 19660);
    EXPECT_EQ(n.y, 26214);
    EXPECT_EQ(n.z, 0);
    Vec3 zero{0, 0, 0};
    Normalize_Vector(&zero, &n);
    EXPECT_EQ(n.x, 0);
    EXPECT_EQ(n.y, 0);
    EXPECT_EQ(n.z, 0);
    Vec3 x{32768, 0, 0}, y{0, 32768, 0}, c;
    EXPECT_EQ(Dot_Vector(&x, &x), 1 << 30);
    Cross_Vector(&x, &y, &c);
    EXPECT_EQ(c.z, 1 << 30);
    Vec3 s, d;
    Add_Vector(&x, &y, &s);
    Sub_Vector(&s, &y, &d);
    EXPECT_EQ(d.x, 32768);
    Neg_Vector(&d, &s);
    EXPECT_EQ(s.x, -32768);
    EXPECT_EQ(Get_VectorLength(&v), 5);
}

TEST_F(MathTest, MatricesFromAnglesAxesAndDirections) {
    Mat3 m, p, id = Identity();
    Make_EulerMatrix(0, 0, 0, &m);
    ExpectNear(m, id, 1);
    Make_EulerMatrix(300, 1500, 3000, &m);
    Mul_Matrix(&m, &id, &p);
    ExpectNear(p, m, 0);
    ExpectOrthonormal(m, 8);
    Angle4096 ax, ay, az;
    Matrix_ToEuler(&m, &ax, &ay, &az);
    EXPECT_NEAR(ax, 300, 2);
    EXPECT_NEAR(ay, 1500, 2);
    EXPECT_NEAR(az, 3000, 2);
    // About the vertical axis: the same as the Euler y rotation.
    Vec3 up{0, 32768, 0};
    Mat3 e;
    Make_AxisMatrix(&up, 700, &m);
    Make_EulerMatrix(0, 700, 0, &e);
    ExpectNear(m, e, 2);
    // Rows of the rotate: (row 2, -row 0, row 1).
    Make_EulerMatrix(100, 200, 300, &m);
    Mat3 r = m;
    Rotate_MatrixAxes(&r);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(r.m[j], m.m[6 + j]);
        EXPECT_EQ(r.m[3 + j], -m.m[j]);
        EXPECT_EQ(r.m[6 + j], m.m[3 + j]);
    }
    Vec3 dir{19660, 0, 26214};
    Make_DirMatrix(&dir, 0, &m);
    EXPECT_NEAR(m.m[6], 19660, 1);
    EXPECT_NEAR(m.m[8], 26214, 1);
    EXPECT_EQ(m.m[1], 0);
    ExpectOrthonormal(m, 4);
    Make_DirMatrix(&dir, 512, &p);
    EXPECT_NEAR(p.m[6], 19660, 2);
    ExpectOrthonormal(p, 8);
    Make_DirMatrix2(&dir, 0, &p);
    EXPECT_NEAR(p.m[2], 19660, 1);
    EXPECT_NEAR(p.m[8], 26214, 1);
}

TEST_F(MathTest, VerticalAndZeroDirectionsGiveAFrame) {
    const Vec3 dirs[] = {{0, 32768, 0}, {0, -32768, 0}, {0, 32767, 3}, {1, -32768, 0}};
    for (const Vec3& d : dirs) {
        Mat3 m;
        for (auto make : {Make_DirMatrix, Make_DirMatrix2, Make_DirMatrix3}) {
            make(&d, 0, &m);
            for (int i = 0; i < 9; ++i) EXPECT_NE(m.m[i], INT32_MIN);
            ExpectOrthonormal(m, 8);
        }
        Make_DirMatrix(&d, 0, &m);
        EXPECT_NEAR(m.m[7], d.y > 0 ? 32768 : -32768, 2);
    }
    Vec3 zero{0, 0, 0};
    Mat3 m;
    Make_DirMatrix(&zero, 100, &m);
    ExpectNear(m, Identity(), 0);
    // Straight up and down, Euler angles come back without NaN.
    Make_EulerMatrix(1024, 0, 0, &m);
    Angle4096 x, y, z;
    Matrix_ToEuler(&m, &x, &y, &z);
    EXPECT_NEAR(x, 1024, 8);
    EXPECT_EQ(z, 0);
}

TEST_F(MathTest, QuaternionsToMatricesAndBack) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 200; ++i) {
        double c[4], l = 0;
        for (double& v : c) {
            v = unit(random);
            l += v * v;
        }
        l = std::sqrt(l);
        Quat q{int32_t(c[0] / l * 32767), int32_t(c[1] / l * 32767), int32_t(c[2] / l * 32767),
               int32_t(c[3] / l * 32767)};
        Mat3 m, m2;
        Quat_ToMatrix(&q, &m);
        ExpectOrthonormal(m, 40);
        Quat back;
        Matrix_ToQuat(&m, &back);
        // q and -q are one rotation.
        int sign = (int64_t(back.x) * q.x + int64_t(back.y) * q.y + int64_t(back.z) * q.z + int64_t(back.w) * q.w) < 0 ? -1 : 1;
        EXPECT_NEAR(back.x * sign, q.x, 24);
        EXPECT_NEAR(back.y * sign, q.y, 24);
        EXPECT_NEAR(back.z * sign, q.z, 24);
        EXPECT_NEAR(back.w * sign, q.w, 24);
        Quat_ToMatrix(&back, &m2);
        ExpectNear(m2, m, 40);
    }
    Quat id{0, 0, 0, 32768};
    Mat3 m;
    Quat_ToMatrix(&id, &m);
    ExpectNear(m, Identity(), 0);
}

TEST_F(MathTest, WideDotProductsSaturatePastSixtyFourBits) {
    const int64_t lo = INT32_MIN, hi = INT32_MAX;
    const struct {
        int64_t a[3], b[3];
        int64_t sum;
    } rows[] = {
        // Exact while the sum fits: Q15 rows against world positions.
        {{32768, -32768, 16384}, {1000000, 2000000, -4000000}, 32768LL * 1000000 - 32768LL * 2000000 - 16384LL * 4000000},
        {{lo, lo, 0}, {lo, hi, 0}, lo * lo + lo * hi},
        // Products of 2^62 whose sum passes the range: saturated, with its
        // sign.
        {{lo, lo, 0}, {lo, lo, 0}, INT64_MAX},
        {{lo, lo, lo}, {lo, lo, lo}, INT64_MAX},
        {{lo, lo, lo}, {hi, hi, hi}, INT64_MIN},
    };
    for (const auto& r : rows) EXPECT_EQ(Dot3Wide(r.a[0], r.b[0], r.a[1], r.b[1], r.a[2], r.b[2]), r.sum);
}

TEST_F(MathTest, SlerpBranchesAndEndpoints) {
    Quat a{0, 0, 0, 32767}, b{0, 23170, 0, 23170}, out;
    // General branch: the endpoints and a unit midpoint halfway round.
    Quat_Slerp(&a, &b, 0, &out);
    EXPECT_NEAR(out.w, a.w, 2);
    EXPECT_NEAR(out.y, 0, 2);
    Quat_Slerp(&a, &b, 256, &out);
    EXPECT_NEAR(out.y, b.y, 40);
    EXPECT_NEAR(out.w, b.w, 40);
    Quat_Slerp(&a, &b, 128, &out);
    double len = std::sqrt(double(out.y) * out.y + double(out.w) * out.w);
    EXPECT_NEAR(len, 32768, 100);
    EXPECT_NEAR(out.y, 12540, 60);  // sin(22.5 degrees)
    // Nearly equal: the linear blend.
    Quat c{0, 10, 0, 32767};
    Quat_Slerp(&a, &c, 128, &out);
    EXPECT_EQ(out.y, (((256 - 128) << 15) / 256 * 0 + ((128 << 15) / 256) * 10) >> 15);
    EXPECT_EQ(out.w, int32_t(((int64_t((256 - 128) << 15) / 256) * 32767 + (int64_t(128 << 15) / 256) * 32767) >> 15));
    Quat_Slerp(&a, &a, 0, &out);
    EXPECT_EQ(out.w, 32767);
    // Nearly opposite: a quarter turn from a towards the quaternion
    // perpendicular to it, (-y, x, -w, z).  Each row is the exact blend
    // cos(t/256 x 90 degrees) a + sin(t/256 x 90 degrees) p, within the
    // rounding of the sine table and the Q15 products.
    Quat p{300, 600, 900, 32750}, n{-300, -600, -900, -32750};
    const double perp[4] = {-600, 300, -32750, 900}, av[4] = {300, 600, 900, 32750};
    for (int t : {0, 64, 128, 192, 256}) {
        Quat_Slerp(&p, &n, t, &out);
        const int32_t got[4] = {out.x, out.y, out.z, out.w};
        double angle = t / 256.0 * std::acos(-1.0) / 2, len2 = 0;
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(got[i], std::cos(angle) * av[i] + std::sin(angle) * perp[i], 3)
                << "t " << t << " component " << i;
            len2 += double(got[i]) * got[i];
        }
        EXPECT_NEAR(std::sqrt(len2), std::sqrt(300.0 * 300 + 600.0 * 600 + 900.0 * 900 + 32750.0 * 32750), 4) << t;
    }
    // Q15 quaternions whose four-term dot product overflows 32 bits.
    Quat w{32767, 32767, 32767, 32767};
    Quat_Slerp(&w, &w, 64, &out);
    EXPECT_NEAR(out.x, 32767, 2);
}

TEST_F(MathTest, ProjectionThroughTheView) {
    g_Projection = {400.0f, 300.0f, 320, 240};
    Vec3 v{100, -50, 400};
    int32_t sx = 0, sy = 0;
    Project_Point(&v, &sx, &sy);
    EXPECT_EQ(sx, 420);
    EXPECT_EQ(sy, 202);
    Vec3 back;
    Unproject_Point(sx, sy, 400, &back);
    EXPECT_EQ(back.x, 100);
    EXPECT_EQ(back.y, -50);
    Vec3 flat{1, 1, 0};
    sx = sy = 77;
    Project_Point(&flat, &sx, &sy);
    EXPECT_EQ(sx, 77);
}

}  // namespace
