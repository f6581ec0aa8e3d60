// The sprite cut list (".spc"): 4 unused bytes, the sprite count (16-bit),
// then left, top, right, bottom of each sprite (16-bit signed, inclusive
// corners in the sheet), little-endian.
#pragma once

#include <cstdint>
#include <vector>

namespace kit {

struct SpriteRect {
    int16_t left, top, right, bottom;
};

std::vector<uint8_t> SpriteListBytes(const std::vector<SpriteRect>& rects);

}  // namespace kit
