// The one description of the current screen.
#pragma once

#include <cstdint>

struct ScreenStateRecord {
    uint32_t surfaceCount;   // extra pages CreateBuffers made
    uint8_t flags;           // bit 3 back buffer in display memory
    uint16_t modeNumber;     // number of the current mode record
    uint8_t palette[256 * 3];  // red, green, blue per entry, 8 bits each
};

extern ScreenStateRecord ScreenState;
