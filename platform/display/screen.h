// The one description of the current screen, and the set-up that runs
// whenever a display mode is chosen.
#pragma once

#include <cstdint>

struct ScreenStateRecord {
    uint8_t* pages[8];        // page memory while locked, else 0: 0 front, 1 back, 2-7 saved
    uint8_t pageKinds[8];     // 0 plain memory, 1 copied onto the back page, 2 display surface
    uint32_t surfaceCount;    // extra pages CreateBuffers made
    uint8_t* frameBuffer;     // where drawing goes; set by Lock
    uint8_t* secondPage;      // the other page when it is locked in display memory, else the drawing page
    uint32_t pitch;           // bytes from one row to the next
    uint32_t frameSize;       // pitch x height
    uint32_t width, height;   // pixels
    uint32_t aspect;          // (80 x width) / (6 x height)
    uint32_t totalVideoMemory;
    int32_t clipLeft, clipTop, clipRight, clipBottom;  // inclusive
    uint32_t halvingMask;     // each channel's bits but its lowest
    uint8_t flags;            // bit 3 back buffer in display memory, bit 4 wait for the vertical
                              // blank, bit 5 interlaced, bit 7 draw on the front page
    uint8_t flags2;           // bit 0 the display page is page 1, bit 3 a page is locked
    uint16_t modeNumber;
    uint8_t bytesPerPixel;
    uint8_t bitsPerPixel;
    uint8_t redSize, redShift, greenSize, greenShift, blueSize, blueShift, alphaSize, alphaShift;
    uint8_t palette[256 * 3];  // red, green, blue per entry
};

extern ScreenStateRecord ScreenState;

constexpr uint8_t kScreenBackInVideo = 0x08;
constexpr uint8_t kScreenWaitVbl = 0x10;
constexpr uint8_t kScreenInterlaced = 0x20;
constexpr uint8_t kScreenFrontPage = 0x80;
constexpr uint8_t kScreen2DisplayPage1 = 0x01;
constexpr uint8_t kScreen2Locked = 0x08;

// Shows the finished frame; called with no arguments after Unlock.
extern void (*PresentHook)();
// Applies the current mode to the display (set by the driver's SetMode).
extern int (*ModeApplyHook)();

void SetScreenGeometry(int width, int height, int bits);
void ScreenModeSet(int width, int height, int bits);
void DisplaySetup();
// Copies saved page n back onto the drawing page, and the other way.
void RestoreSavedPage(int n);
void SaveToPage(int n);
// Fills frame-size bytes of the frame buffer with 0.
void ClearFrameBuffer();
