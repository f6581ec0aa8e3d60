// The display services of the host layer: display drivers and modes,
// surfaces in memory with a flip chain, blits and colour fills, palettes,
// clippers, the windowed bitmap presentation, and the window calls the
// display code makes.
//
// What reaches the screen (a flip or a blit onto the primary surface, or a
// bitmap drawn into the window) is handed to the back end, which shows it
// in the SDL window or, headless, counts it, keeps it for tests and may
// write it to a PNG file.
#pragma once

#include "host/gdi.h"
#include "host/host.h"

#include <string>
#include <vector>

namespace host {

// Results of the display calls.
constexpr int DD_OK = 0;
constexpr int DDERR_GENERIC = 1;
constexpr int DDERR_WASSTILLDRAWING = 2;
constexpr int DDERR_SURFACELOST = 3;
constexpr int DDERR_NOBLTHW = 4;
constexpr int DDERR_WRONGMODE = 5;
constexpr int DDERR_OUTOFMEMORY = 6;
constexpr int DDERR_INVALIDPARAMS = 7;
constexpr int DDERR_NOTFOUND = 8;
constexpr int DDERR_UNSUPPORTED = 9;
constexpr int DDERR_NOTLOCKED = 10;
constexpr int DDERR_NOPALETTEATTACHED = 11;

// Cooperative levels.
constexpr uint32_t DDSCL_FULLSCREEN = 0x01;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x02;
constexpr uint32_t DDSCL_NORMAL = 0x08;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;

// Surface capabilities.
constexpr uint32_t DDSCAPS_BACKBUFFER = 0x00000004;
constexpr uint32_t DDSCAPS_COMPLEX = 0x00000008;
constexpr uint32_t DDSCAPS_FLIP = 0x00000010;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr uint32_t DDSCAPS_TEXTURE = 0x00001000;
constexpr uint32_t DDSCAPS_3DDEVICE = 0x00002000;
constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr uint32_t DDSCAPS_ZBUFFER = 0x00020000;

// Lock, blit, flip and vertical-blank flags.
constexpr uint32_t DDLOCK_WAIT = 0x01;
constexpr uint32_t DDLOCK_READONLY = 0x10;
constexpr uint32_t DDLOCK_WRITEONLY = 0x20;
constexpr uint32_t DDBLT_COLORFILL = 0x00000400;
constexpr uint32_t DDBLT_WAIT = 0x01000000;
constexpr uint32_t DDFLIP_WAIT = 0x00000001;
constexpr uint32_t DDWAITVB_BLOCKBEGIN = 0x01;
constexpr uint32_t DDWAITVB_BLOCKEND = 0x04;

// Palette creation flags and entry flags.
constexpr uint32_t DDPCAPS_8BIT = 0x04;
constexpr uint32_t DDPCAPS_ALLOW256 = 0x40;
constexpr uint8_t PC_RESERVED = 0x01;
constexpr uint8_t PC_NOCOLLAPSE = 0x04;

struct DisplayMode {
    int width, height, bits;
};

struct PaletteEntry {
    uint8_t red, green, blue, flags;
};

struct SurfaceDesc {
    uint32_t caps;
    int width, height;       // 0: the display's (primary surfaces)
    int backBufferCount;     // flip chains: 1
    bool hasFormat;
    PixelFormat format;      // else the display's
};

struct DDraw;
struct Surface;
struct Palette;
struct Clipper;

// Display drivers: index 0 is the primary display.  Names at most 63 chars.
int DDEnumerateDrivers(std::vector<std::string>* names);
// nullptr when the display cannot be opened.
DDraw* DDCreate(int driverIndex);
int DDAddRef(DDraw* dd);
// Answers the references left; at 0 the object is gone.
int DDRelease(DDraw* dd);
// The display object's newer interface: counted apart from the object's own
// references.  Release answers the interface's references left.
DDraw* DDQueryInterface4(DDraw* dd);
int DDRelease4(DDraw* dd);
uint32_t DDTotalVideoMemory(DDraw* dd);
std::vector<DisplayMode> DDEnumModes(DDraw* dd);
int DDSetCooperativeLevel(DDraw* dd, HWND window, uint32_t flags);
uint32_t DDCooperativeLevel(DDraw* dd);
int DDSetDisplayMode(DDraw* dd, int width, int height, int bits);
int DDRestoreDisplayMode(DDraw* dd);
int DDWaitForVerticalBlank(DDraw* dd, uint32_t flags);
int DDFlipToGDISurface(DDraw* dd);
// The display's pixel format in the current mode (the desktop's when none
// was set).
PixelFormat DDDisplayFormat(DDraw* dd);

int DDCreateSurface(DDraw* dd, const SurfaceDesc& desc, Surface** out);
int SurfaceGetAttachedBackBuffer(Surface* primary, Surface** out);
int SurfaceLock(Surface* s, uint32_t flags, uint8_t** pixels, int* pitch);
int SurfaceUnlock(Surface* s);
int SurfaceFlip(Surface* primary, uint32_t flags);
// A copy (src non-null) or, with DDBLT_COLORFILL, a fill of the colour.
// Null rectangles are the whole surface.
int SurfaceBlt(Surface* dst, const Rect* dstRect, Surface* src, const Rect* srcRect, uint32_t flags,
               uint32_t fillColour);
int SurfaceRestore(Surface* s);
bool SurfaceIsLost(Surface* s);
int SurfaceGetPixelFormat(Surface* s, PixelFormat* format);
int SurfaceGetSize(Surface* s, int* width, int* height, int* pitch);
// Answers the references left.
int SurfaceRelease(Surface* s);
int SurfaceSetPalette(Surface* s, Palette* palette);
int SurfaceSetClipper(Surface* s, Clipper* clipper);
// A device context on the surface's pixels; nullptr when locked or lost.
DC* SurfaceGetDC(Surface* s);
int SurfaceReleaseDC(Surface* s, DC* dc);

Palette* DDCreatePalette(DDraw* dd, uint32_t flags, const PaletteEntry entries[256]);
int PaletteSetEntries(Palette* palette, int first, int count, const PaletteEntry* entries);
int PaletteRelease(Palette* palette);
Clipper* DDCreateClipper(DDraw* dd);
int ClipperSetWindow(Clipper* clipper, HWND window);
int ClipperRelease(Clipper* clipper);

// Windowed presentation: a top-down bitmap of 8, 16 (5-5-5), 24 or 32 bits
// per pixel, drawn 1:1 into the window's client area.
struct BitmapInfo {
    int width;
    int height;  // negative: rows top down
    int bitCount;
    const uint8_t* palette;  // 8 bits: 256 x {blue, green, red, unused}
};
bool StretchDIBits(HWND window, int dstX, int dstY, int dstW, int dstH, int srcX, int srcY, int srcW, int srcH,
                   const void* bits, const BitmapInfo& info);
// A device context on the window's visible picture; drawing through it
// shows when it is released.
DC* GetWindowDC(HWND window);
int ReleaseWindowDC(HWND window, DC* dc);

// Window calls of the display code.
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr uint32_t WS_SYSMENU = 0x00080000u;
constexpr uint32_t SWP_SHOWWINDOW = 0x0040;
uint32_t GetWindowLong(HWND window, int index);
uint32_t SetWindowLong(HWND window, int index, uint32_t value);
bool SetWindowPos(HWND window, int x, int y, int width, int height, uint32_t flags);
// The window frame adds nothing around the client area here: window
// decorations belong to the window system.
bool AdjustWindowRectEx(Rect* rect, uint32_t style, bool menu, uint32_t exStyle);
bool UpdateWindow(HWND window);

}  // namespace host
