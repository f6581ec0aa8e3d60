// Screen pixel layouts for the colour and picture tests, set straight into
// the screen state as the display's buffer creation would set them.
#pragma once

#include "platform/display/drawtables.h"
#include "platform/display/screen.h"

#include <cstdint>
#include <vector>

namespace test {

enum class ScreenLayout { Indexed8, Rgb555, Rgb565, Xrgb8888 };

inline void SetScreenLayout(ScreenLayout layout) {
    ScreenStateRecord& s = ScreenState;
    s.redSize = s.redShift = s.greenSize = s.greenShift = s.blueSize = s.blueShift = s.alphaSize = s.alphaShift = 0;
    switch (layout) {
    case ScreenLayout::Indexed8: s.bitsPerPixel = 8; break;
    case ScreenLayout::Rgb555:
        s.bitsPerPixel = 15;
        s.redSize = s.greenSize = s.blueSize = 5;
        s.redShift = 10;
        s.greenShift = 5;
        break;
    case ScreenLayout::Rgb565:
        s.bitsPerPixel = 16;
        s.redSize = s.blueSize = 5;
        s.greenSize = 6;
        s.redShift = 11;
        s.greenShift = 5;
        break;
    case ScreenLayout::Xrgb8888:
        s.bitsPerPixel = 32;
        s.redSize = s.greenSize = s.blueSize = s.alphaSize = 8;
        s.redShift = 16;
        s.greenShift = 8;
        s.alphaShift = 24;
        break;
    }
    s.bytesPerPixel = static_cast<uint8_t>((s.bitsPerPixel + 1) / 8);
}

// Keeps the screen state and the active primitive table of a test apart
// from the next one's.
class ScreenStateGuard {
public:
    ScreenStateGuard() : screen_(ScreenState), prims_(ActivePrimTable) {}
    ~ScreenStateGuard() {
        ScreenState = screen_;
        ActivePrimTable = prims_;
    }

private:
    ScreenStateRecord screen_;
    PrimTable prims_;
};

}  // namespace test
