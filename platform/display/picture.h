// A picture in the screen's pixel format, and its loading.
#pragma once

#include <cstdint>

struct Picture {
    int32_t width, height;
    uint8_t* pixels;  // rows top down, no gap between rows; owned by the picture
    void* extra;      // a display surface, or for indexed blits the picture's 256 screen colours
};

// A picture read from a file through the current file table and converted
// to the screen's format; nullptr when it is missing.
Picture* LoadPicture(const char* name, int mode);
void FreePictureRecord(Picture* picture);
