// The project's video codec module ("WQ6_<width>x16"): it decodes the frames
// of a video stream into 16-bit pixels.  The program carries it built in,
// and the same source builds the shared object that may stand beside the
// program; either way the player reaches it through its entry points,
// looked up by name:
//
//   QVFPI_Init(depth, height, width, stream header)   a non-zero handle, or 0
//   QVFPI_DecodeFrame(frame, previous, current)        rows of exactly width pixels
//   QVFPI_DecodeFrame2(frame, size, previous, current, pitch)   bounded by size, rows of pitch bytes
//   QVFPI_Cleanup()
//
// Frame (all numbers little-endian):
//   0   "WQ6F"
//   4   32-bit frame size: these 16 header bytes and the operations
//   8   16-bit width, 10 16-bit height (the stream's)
//   12  kind: 0 key frame, 1 delta frame; 13-15 zero
//   16  operations, until the frame size or the last pixel: one byte
//       op << 6 | n, the count n + 1, or when n is 63 a 16-bit count c
//       follows and the count is 64 + c:
//         op 0  literal: count pixels follow
//         op 1  repeat: one pixel follows, repeated count times
//         op 2  copy count pixels from the previous frame, same places
//         op 3  not used: the operations end
// Pixels are 5-6-5 in the file; at depth 15 the module writes them 5-5-5.
// A frame is never read past its size (nor past the size given) and never
// written past width x height pixels; pixels its operations leave out keep
// the previous frame's, and a frame that is not one of the stream's (bad
// magic, other size) repeats the previous frame whole.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kWQ6HeaderSize = 16;
constexpr uint8_t kWQ6Key = 0;
constexpr uint8_t kWQ6Delta = 1;

// Decodes one frame into `current` (rows of pitchBytes) from `previous`
// (same layout); false when the frame was not one of this size and
// `previous` was copied instead.
bool WQ6_DecodeInto(const uint8_t* frame, size_t size, int width, int height, int depth, const uint16_t* previous,
                    uint16_t* current, int pitchBytes);

// The module's entry points, as the built-in module offers them.
uintptr_t WQ6_Init(int depth, int height, int width, const uint8_t* header);
void WQ6_DecodeFrame(const uint8_t* frame, const uint16_t* previous, uint16_t* current);
void WQ6_DecodeFrame2(const uint8_t* frame, uint32_t size, const uint16_t* previous, uint16_t* current, int pitch);
void WQ6_Cleanup();
