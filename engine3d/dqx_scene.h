// Scene utilities: a camera set-up from a position, a target and a lens
// value, a decoder of run-length coded 16-bit sample grids, a whole-file
// loader, and point conversions.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstddef>
#include <cstdint>

// Sets the view, the lens from the lens value, and places the camera at the
// position looking at the target (both truncated to integers).
void Set_CameraLook(const float position[3], const float target[3], float lens);

// A sample grid: header words width, height, shift and further words, the
// packets from byte 44; packet byte 1 is a literal run (uint16 count, count
// int16 samples), any other a ramp (uint16 count, int32 start, int32 step,
// int16 tail) of (value >> shift) samples.  Decoding stops once width x
// height samples are written, at the end of the output or of the source.
// Answers the samples written, or -1 for a header it refuses (negative
// sizes, a shift past 31).
constexpr uint32_t kGridPacketsOffset = 44;
int64_t Decode_SampleGrid(const uint8_t* source, size_t sourceSize, int16_t* samples, size_t capacity);

// The whole file in a new buffer from the MemoryManager (size in *size when
// asked); null, with a line on the console, when it cannot be opened; null
// (size 0) when no buffer can be had for it.
uint8_t* Load_WholeFile(const char* name, uint32_t* size = nullptr);

// A point of a node's space in its parent's: orientation x p + position.
int Transform_ObjPoint(ObjHandle h, const Vec3* p, Vec3* out);
void Float_ToIntVector(const float v[3], Vec3* out);
