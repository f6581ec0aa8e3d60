// Shared by the span back end's suites: a memory block laid out like the 3D
// pool's texture data (a texture with its colour table, a frame table with
// its frames), the translucency tables of both pixel layouts, a depth
// record and a background picture, and the context the routines draw with.
#pragma once

#include "render/spans/span_routines.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace test {

class SpanArena {
public:
    explicit SpanArena(uint32_t seed);

    // The context over the arena for a pixel layout: its translucency
    // tables and the depth-tested halving mask of the tables' state.
    SpanContext Context(bool is555) const;

    // A texture (colour table before it): 131072 bytes of texels, a
    // quarter of them 0; as two-byte texels the second byte is a level.
    uint32_t texels = 0;
    // A frame table: frames 0 to 5 well formed (row shifts 8 to 13), frame
    // 6 with row shift 0 and frame 7 with a row length that does not match
    // its shift; its colour table before it.
    uint32_t frames = 0;
    static constexpr int kDepthLines = 4;
    static constexpr int kDepthRow = 1100;
    std::vector<int16_t> depthSamples;
    SpanDepthRecord depth{};
    std::vector<uint16_t> background;

    std::vector<uint8_t> memory;
    std::unique_ptr<ShadeTableSet> shade565, shade555;

    uint16_t ColourEntry(uint32_t tableEnd, uint32_t row, uint32_t texel) const;
};

}  // namespace test
