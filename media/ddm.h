// The DD manager: the video player's small window layer over the display.
// Here: its record and the operations the player's frame ring needs
// (frame size, off-screen frame surfaces, the frame blit).  The window,
// display set-up and text operations come with the player.
#pragma once

#include "host/display.h"
#include "media/pixfmt.h"

#include <cstdint>

constexpr uint32_t DDBLTFAST_WAIT = 0x10;

struct DDManager {
    host::DDraw* directDraw;
    host::HWND window;
    host::Surface* primary;
    host::Surface* back;
    host::Rect source;  // (0, 0, frame width, frame height)
    int frameWidth, frameHeight, frameDepth;
    host::Rect client;  // the window's client area on the screen
    bool pixelFormatSet;
    PixelFormatDesc pixelFormat;  // the display's
};

void DDM_InitRects(DDManager* ddm);
void DDM_SetSize(DDManager* ddm, int width, int height, int depth);
// A system-memory off-screen surface of the size in the display's pixel
// format, cleared; rows of exactly width x bytes per pixel.  The second
// interface is the same surface here.  -6 without an output, -23 when the
// display refuses.
int DDM_CreateOffscreen(DDManager* ddm, int width, int height, host::Surface** surface, host::Surface** second);
// Blits a frame into the window: at the client area's top-left onto the
// primary, or centred onto the back surface when there is one.
int DDM_BlitFrame(DDManager* ddm, host::Surface* frame, uint32_t flags);
