// Fixed-point 3D maths: Q15 directions, matrices and quaternions (32768 =
// 1.0), integer positions in world units, angles in 4096 steps per turn.
// Results go out through output arguments; nothing here allocates.
#pragma once

#include <cstdint>

struct Vec3 {
    int32_t x, y, z;
};

// Row by row: m[0] m[1] m[2] is the first row.  A node's orientation maps its
// local axes into its parent's frame; its third column is its forward axis.
struct Mat3 {
    int32_t m[9];
};

// Q15 components in the order x, y, z, w.
struct Quat {
    int32_t x, y, z, w;
};

using Angle4096 = int32_t;

constexpr int32_t kQ15One = 0x8000;
constexpr int kTrigSteps = 4096;

// One checked float-to-int32 conversion, rounding toward zero and
// saturating: values above the int32 range and +infinity give INT32_MAX,
// values below it and -infinity INT32_MIN.  NaN, which has neither sign nor
// size, gives 0: no end of the range is nearer to it than the other.
int32_t f2i(double v);
// a0 b0 + a1 b1 + a2 b2 for factors a of 32 bits and b of up to 64 bits:
// exact wherever the sum fits 64 bits, as it does for every value a scene
// holds; beyond that (values from a damaged file) it saturates rather than
// overflow.
inline int64_t Dot3Wide(int64_t a0, int64_t b0, int64_t a1, int64_t b1, int64_t a2, int64_t b2) {
    __int128 s = static_cast<__int128>(a0) * b0 + static_cast<__int128>(a1) * b1 + static_cast<__int128>(a2) * b2;
    if (s > INT64_MAX) return INT64_MAX;
    if (s < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(s);
}
// A 64-bit result narrowed to 32 bits, wrapping as the 32-bit sum would have.
inline int32_t Narrow(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}
// A 64-bit result held at the int32 range: for sums of the game's own
// values (places, amounts), where a wrap would turn an edge into its
// opposite.
inline int32_t Saturate32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

// Tables.
extern int32_t g_CosTable[kTrigSteps];
extern int32_t g_SinTable[kTrigSteps];
// Arc cosine for the Q11 arguments -2048..2047, in 4096-step angle units.
extern int32_t g_ACosTable[kTrigSteps];

void Init_TrigTables();
int32_t Get_Sin(Angle4096 a);
int32_t Get_Cos(Angle4096 a);
// i in 0..4095 stands for the cosine (i - 2048) / 2048; clamped outside.
int32_t Get_ACos(int32_t i);

// Matrices (sources first, destination last, except the copies).
void Set_Identity(Mat3* m);
// Angles in 0..4095 (reduced by the caller; wrapped here for safety).
void Make_EulerMatrix(Angle4096 x, Angle4096 y, Angle4096 z, Mat3* m);
// Rotation by angle about a Q15 unit axis.
void Make_AxisMatrix(const Vec3* axis, Angle4096 angle, Mat3* m);
// Third row = the Q15 direction, first row level; then rolled about the
// direction when roll is non-zero.  A vertical direction takes the world x
// axis as its first row.
void Make_DirMatrix(const Vec3* direction, Angle4096 roll, Mat3* m);
// The same frame with the direction as the third column (a node's forward).
void Make_DirMatrix2(const Vec3* direction, Angle4096 roll, Mat3* m);
// The row form built from the world's down axis by cross products; switches
// to the fallback frame when the vertical component is within 1/256 of +-1.
void Make_DirMatrix3(const Vec3* direction, Angle4096 roll, Mat3* m);
void Matrix_ToEuler(const Mat3* m, Angle4096* x, Angle4096* y, Angle4096* z);
void Mul_Matrix(const Mat3* a, const Mat3* b, Mat3* out);
void Transpose_Matrix(const Mat3* src, Mat3* dst);
void Copy_Matrix(Mat3* dst, const Mat3* src);
// In place: the rows become (row 2, -row 0, row 1).
void Rotate_MatrixAxes(Mat3* m);

// Vectors.
void Mul_MatrixVector(const Mat3* m, const Vec3* v, Vec3* out);
void Add_Vector(const Vec3* a, const Vec3* b, Vec3* out);
void Sub_Vector(const Vec3* a, const Vec3* b, Vec3* out);
void Neg_Vector(const Vec3* src, Vec3* dst);
void Copy_Vector(Vec3* dst, const Vec3* src);
// No shift: two Q15 unit vectors give a Q30 result.
int32_t Dot_Vector(const Vec3* a, const Vec3* b);
void Cross_Vector(const Vec3* a, const Vec3* b, Vec3* out);
int32_t Get_VectorLength(const Vec3* v);
// A Q15 unit vector; the zero vector stays zero.
void Normalize_Vector(const Vec3* v, Vec3* out);
// t in 0..256.
void Lerp_Vector(Vec3* out, const Vec3* a, const Vec3* b, int32_t t);

// The projection the view set-up stores: focal factors and centre.
struct ViewProjection {
    float focalX, focalY;
    int32_t centreX, centreY;
};
extern ViewProjection g_Projection;
// Screen position of a camera-space point (nothing for z = 0).
void Project_Point(const Vec3* v, int32_t* sx, int32_t* sy);
// The camera-space point at depth z that projects to (sx, sy).
void Unproject_Point(int32_t sx, int32_t sy, int32_t z, Vec3* out);
void Print_Matrix(const Mat3* m);
void Print_Vector(const Vec3* v);

// Quaternions.
void Copy_Quat(Quat* dst, const Quat* src);
void Quat_ToMatrix(const Quat* q, Mat3* m);
void Matrix_ToQuat(const Mat3* m, Quat* q);
// t in 0..256 (256 = b).
void Quat_Slerp(const Quat* a, const Quat* b, int32_t t, Quat* out);
