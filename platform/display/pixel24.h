// A pixel of a screen of three bytes per pixel: the packed value's low
// three bytes, lowest first, with no fourth byte to read or write.  The
// drawing templates take it as their pixel type, so the 3-byte sets step
// three bytes a pixel and keep every rule of the 4-byte sets on the low 24
// bits of the value.
#pragma once

#include <cstdint>

struct Pixel24 {
    uint8_t bytes[3];
    Pixel24() = default;
    constexpr Pixel24(uint32_t v) : bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)} {}
    constexpr operator uint32_t() const {
        return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16;
    }
};
static_assert(sizeof(Pixel24) == 3);
