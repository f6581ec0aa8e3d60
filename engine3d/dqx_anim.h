// Keyframe animation: node tracks kept in animation blocks (type 4, linear
// keys; type 6, spline keys).  Element i of a block is the track of node i
// of the object it animates: a rotation track (Q15 quaternions) and a
// position track.  Evaluating a track at a time sets the node's orientation
// and position.  Times are frame numbers compared as floats; weights are
// 8.8 fixed point (256 = the second value).
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

// An animation and a frame in one word: the block's handle slot in the high
// 16 bits, the frame in the low 16 bits.
constexpr int32_t Anim_Ref(ObjHandle animation, int32_t frame) {
    return int32_t((uint32_t(animation) >> 16) << 16 | (uint32_t(frame) & 0xFFFFu));
}

// Evaluation flags.
constexpr int32_t kAnimSkipRotation = 0x01;
constexpr int32_t kAnimSkipPosition = 0x02;
// Spline blocks only: bit 6 blends the spline keys linearly; bits 6 and 7
// take the values of the key found, without interpolation.
constexpr int32_t kAnimSplineLinear = 0x40;
constexpr int32_t kAnimSplineHold = 0x80;

// Poses every node of the object from two animation references and a
// weight (0..256).  Both in one animation: each node at the blended time
// (fB x w + fA x (256 - w)) / 256.  Two animations: each node in both, the
// poses blended by the weight (positions 8.8, orientations by quaternion).
// A reference whose slot does not hold an animation block of the right kind
// poses nothing; nodes beyond the block's elements keep their pose.
void AnimateObject(ObjHandle object, int32_t animFrameA, int32_t animFrameB, int32_t weight, int32_t flags);
void AnimateObjectSpline(ObjHandle object, int32_t animFrameA, int32_t animFrameB, int32_t weight, int32_t flags);

// The length word (frames) of an animation element; 0 when the handle does
// not name an element of an animation block.
int32_t Get_AnimLength(ObjHandle handle);

// Every rotation key of the block becomes m x its rotation, every position
// key m x its position; -1 when the handle names no animation block.
int Transform_AnimKeys(ObjHandle animation, const Mat3* m);

// Blends two poses into a third: weight 0 copies a, 255 (and 256) copies b,
// any other w gives ((256 - w) x a + w x b) >> 8, for the position and for
// every vertex (x, y, z) of the nodes; the orientation through a quaternion
// blend.  Each of the three handles names a node of equal vertex count
// (fewer vertices: the common ones); -1 for a bad handle.
int Blend_ObjPoses(ObjHandle out, ObjHandle a, ObjHandle b, int32_t weight);

// ---------------------------------------------------------------------------
// The evaluators, exposed for their tests.
// ---------------------------------------------------------------------------

// The bisection over key times: the index of the key hi (1..count-1);
// count must be at least 2.  `stride` is the key size; keys start with
// their int32 time.
int32_t Anim_FindKey(PoolRef<uint8_t> keys, int32_t count, uint32_t stride, float t);
// The ease curve of the spline keys, u in 0..1.
float Anim_Ease(float u, float a, float b);
// 8.8 position blend with the pose rule (0 = a, 255 or 256 = b).
int32_t Anim_BlendInt(int32_t a, int32_t b, int32_t weight);

