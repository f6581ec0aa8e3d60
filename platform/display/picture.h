// A picture in the screen's pixel format.
#pragma once

#include <cstdint>

struct Picture {
    int32_t width, height;
    uint8_t* pixels;  // rows top down, no gap between rows; owned by the picture
    void* extra;      // a display surface, or for indexed blits the picture's 256 screen colours
};
