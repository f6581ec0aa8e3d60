#include "platform/display/colour.h"

#include "platform/display/screen.h"

uint8_t NearestColour(const uint8_t* rgb, const uint8_t* palette) {
    uint32_t best = 0x7EFFFFFF;
    uint8_t index = 0;
    for (int i = 0; i < 256; ++i) {
        const uint8_t* e = palette + i * 3;
        int dr = int(rgb[0]) - e[0], dg = int(rgb[1]) - e[1], db = int(rgb[2]) - e[2];
        uint32_t distance = uint32_t(db * db * 29 + dg * dg * 150 + dr * dr * 77) >> 8;
        if (distance < best) {
            best = distance;
            index = static_cast<uint8_t>(i);
        }
    }
    return index;
}

void ConvertPixelRow(uint32_t pixel, uint8_t* rgb) {
    const ScreenStateRecord& s = ScreenState;
    auto channel = [pixel](int size, int shift) {
        if (size <= 0 || size > 8) return uint8_t(0);
        return static_cast<uint8_t>(((pixel >> shift) & ((1u << size) - 1)) << (8 - size));
    };
    rgb[0] = channel(s.redSize, s.redShift);
    rgb[1] = channel(s.greenSize, s.greenShift);
    rgb[2] = channel(s.blueSize, s.blueShift);
}
