// The DD manager: the video player's small window layer over the display.
// It owns or adopts one window, the display objects and the primary and
// back surfaces for it, knows the window's client area in screen
// co-ordinates, and offers the few drawing operations the player needs:
// off-screen frame surfaces, colour fills, the frame blit into the window
// (or centred on the back surface), flips, the vertical blank, and a line of
// text rendered into a surface of its own.
//
// What a caller supplies (window, display objects, surfaces) is used as it
// is and left alone at the end; what the layer makes itself it undoes in
// DDM_DestroyWindow.  The video player keeps this record at the start of
// its own, so a DD manager operation takes the player.
//
// Results: 0, or -6 a surface, text or output missing, -23 a display call
// failed (its result in g_DDMLastResult), -24 no window, -30 no frame size,
// -31 no instance, -32 no usable window class, -33 no display object, -36 a
// window-long index other than the user data's, -37 the window refused it.
#pragma once

#include "host/display.h"
#include "host/gdi.h"
#include "media/pixfmt.h"

#include <atomic>
#include <cstdint>

// The frame blit's flag that waits for the blitter (the player's blit
// option 16).
constexpr uint32_t DDBLTFAST_WAIT = 0x10;

// Window styles and messages of the layer's own window.
constexpr uint32_t kDDMExTopmost = 0x00000008;        // WS_EX_TOPMOST
constexpr uint32_t kDDMOverlappedWindow = 0x00CF0000;  // WS_OVERLAPPEDWINDOW
constexpr uint32_t kDDMFrameChanged = 0x0020;          // SWP_FRAMECHANGED
constexpr uint32_t WM_SHOWWINDOW = 0x0018;
constexpr uint32_t WM_SETCURSOR = 0x0020;

// What the layer learns of a surface: size, row length and format.
struct DDSurfaceDesc {
    int width, height, pitch;
    DDSurfaceFormat format;
};

struct DDManager {
    // What the record holds.
    bool hasDirectDraw, hasInstance, hasWindow, hasClass, hasIcon, hasCursor, hasPrimary, hasWindowProc;
    bool hasDirectDraw2, levelSettled, hasBack, sizeSet, pixelFormatSet;
    bool surfacesSupplied;  // the caller's surfaces: cooperative level and mode are left alone
    bool fullScreen;        // DDM_SetMode ran: the client area is the whole mode
    // What the layer made itself, undone by DDM_DestroyWindow.
    bool ownsDirectDraw, ownsWindow, ownsClass, ownsPrimary, ownsDefaultProc, ownsDirectDraw2, ownsLevel;
    host::DDraw* directDraw;
    host::DDraw* directDraw2;
    host::HINSTANCE instance;
    host::WindowClass windowClass;  // style CS_HREDRAW | CS_VREDRAW, black background
    char className[40];
    host::HWND window;
    host::Surface* primary;
    host::Surface* back;
    void* cursor;
    void* icon;
    host::Rect source;  // (0, 0, frame width, frame height)
    int frameWidth, frameHeight, frameDepth;
    host::Rect client;  // the window's client area in screen co-ordinates
    int clientWidth, clientHeight;
    DDSurfaceDesc primaryDesc;
    DDPixelFormat suppliedFormat;
    PixelFormatDesc pixelFormat;  // the display's
};

// The last display result of a failed call.
extern std::atomic<int> g_DDMLastResult;
// Set by the layer's window procedure when the window moved or changed size;
// the next windowed frame blit recomputes the client area and clears it.
extern std::atomic<bool> g_DDMMoved;

void DDM_InitRects(DDManager* ddm);
DDManager* DDM_New();
void DDM_Delete(DDManager* ddm);

void DDM_SetInstance(DDManager* ddm, host::HINSTANCE instance);
void DDM_SetIcon(DDManager* ddm, void* icon);
void DDM_SetCursor(DDManager* ddm, void* cursor);
// nullptr selects the layer's own procedure, DDM_WndProc.
void DDM_SetWindowProc(DDManager* ddm, host::WndProc proc);
// With a name: that class must exist; without: registers "__DDMGRWC__".
int DDM_RegisterClass(DDManager* ddm, const char* className);
void DDM_SetSize(DDManager* ddm, int width, int height, int depth);
// Adopts the given window (its class procedure becomes the record's window
// procedure) or makes the layer's own, centred for a client area of the
// frame size.
int DDM_CreateWindow(DDManager* ddm, host::HWND window);
// Stores a value under a window-long index: the user data (-21), or a
// multiple of 4 inside the class's extra bytes (this host's classes have
// none).
int DDM_SubclassWindow(DDManager* ddm, int index, intptr_t value);
int DDM_SetDirectDraw(DDManager* ddm, host::DDraw* directDraw);
int DDM_SetDirectDraw2(DDManager* ddm, host::DDraw* directDraw2);
// With a primary: its description is read and the surfaces count as the
// caller's.
int DDM_GetSurfaceDesc(DDManager* ddm, host::Surface* primary, host::Surface* back);
void DDM_SetSurfacesSupplied(DDManager* ddm, bool on);
// From the given format, else from the primary's description.
void DDM_SetPixelFormat(DDManager* ddm, const DDPixelFormat* format);
int DDM_SetWindowed(DDManager* ddm);
int DDM_SetMode(DDManager* ddm);

// A system-memory off-screen surface of the display's format, cleared; rows
// of exactly width x bytes per pixel.  The second interface is the same
// surface in this host.
int DDM_CreateOffscreen(DDManager* ddm, int width, int height, host::Surface** surface, host::Surface** second);
int DDM_FillSurface(DDManager* ddm, host::Surface* surface, const host::Rect* rect, int red, int green, int blue);
// A frame into the window: at the client area's top-left onto the primary,
// or centred onto the back surface when there is one.
int DDM_BlitFrame(DDManager* ddm, host::Surface* frame, uint32_t flags);
// The source rectangle of `frame` placed at (x, y) on the target, cut to
// what lies on both surfaces.
int DDM_BlitClipped(host::Surface* target, int x, int y, host::Surface* frame, host::Rect source);
int DDM_BlitAt(DDManager* ddm, host::Surface* surface, int x, int y, uint32_t flags);
int DDM_BlitAndWait(DDManager* ddm, host::Surface* surface);
int DDM_Flip(DDManager* ddm);
int DDM_FlipAndWait(DDManager* ddm);
int DDM_WaitVBlank(DDManager* ddm);

host::HWND DDM_GetWindow(const DDManager* ddm);
int DDM_GetClientWidth(const DDManager* ddm);
int DDM_GetClientHeight(const DDManager* ddm);
// 15 or 16 when a display object and a primary exist and the display has
// that depth, else 0.
int DDM_GetDepth(const DDManager* ddm);
host::Surface* DDM_GetPrimary(const DDManager* ddm);
host::Surface* DDM_GetBack(const DDManager* ddm);
host::WndProc DDM_GetWindowProc(const DDManager* ddm);
uint32_t DDM_PackColour(const DDManager* ddm, int red, int green, int blue);

// A colour-keyed surface of its own holding one line of text (colour as
// red + green x 256 + blue x 65536) on black, with its size.
int DDM_DrawText(DDManager* ddm, uint32_t colour, const char* text, host::Font* font, host::Surface** surface,
                 int* width, int* height);
int DDM_UpdateClientRect(DDManager* ddm, host::HWND window);
int DDM_DestroyWindow(DDManager* ddm);

intptr_t DDM_WndProc(host::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
