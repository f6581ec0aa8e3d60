// The Direct3D display start and the driver hooks that let the 2D code draw
// into the layer's surfaces.
#include "render/d3d_display.h"

#include "engine3d/dqx_3d.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/gx_alloc.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "render/d3d_scene.h"
#include "render/spans/span_display.h"

#include <cstring>


const DisplayStartHooks kDirect3DDisplay = {D3D_StartDisplay, D3D_InstallDriverHooks, D3D_ApplyDisplayOptions};
const DisplayStartHooks kSoftwareDisplay = {Soft_StartDisplay, Soft_InstallDriverHooks, Soft_ApplyDisplayOptions};
DisplayStartHooks ProgramDisplay = kSoftwareDisplay;

// A word the 2D drawing code compares against; cleared when the buffers are
// made.
static uint32_t g_DrawCacheWord = 0;

void D3D_SetSoftwareDisplay() {
    g_SoftwareDisplay = 1;
}

static void ShowStartCode(int code) {
    if (code == 0 || code > 15) return;
    if (code == 8) WarningBox("Direct X Error. Reinstall DirectX");
    else if (code == 15) WarningBox("No HAL found. Choose software renderer mode.");
    else WarningBox("Direct Draw Fatal Error %d.\nChoose an other display driver.", code);
}

void D3D_StartDisplay(int windowed, int device) {
    if (CurrentVideoDriver) CurrentVideoDriver->Release();
    g_SoftwareDisplay = 0;
    D3D_SetWindow(MainWindow);
    // The 3D engine draws through this renderer from here on.
    D3D_InstallRenderHooks();
    Init_3DMemory();
    // The driver record's name is longer than the driver's name field: cut.
    if (CurrentVideoDriver) D3D_GetDriverName(1, CurrentVideoDriver->name, sizeof CurrentVideoDriver->name);
    host::SetWindowPos(MainWindow, 0, 0, 640, 480, host::SWP_SHOWWINDOW);
    host::SetWindowLong(MainWindow, host::GWL_STYLE, host::WS_VISIBLE | host::WS_CAPTION);
    int code = D3D_Init(windowed ? 0 : 1, device);
    ShowStartCode(code);
    // Whatever the code: the layer's display object becomes the display's.
    host::DDraw* dd = D3D_GetDirectDraw();
    host::DDraw* dd4 = dd ? host::DDQueryInterface4(dd) : nullptr;
    DDrawSetObjects(dd, dd4);
    if (!windowed && dd4)
        host::DDSetCooperativeLevel(dd4, MainWindow,
                                    host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN | host::DDSCL_ALLOWREBOOT);
    g_SoftwareDisplay = 0;
    DDrawInitModes();
}

void D3D_InstallDriverHooks() {
    PresentHook = D3D_PresentHook;
    if (!CurrentVideoDriver) return;
    CurrentVideoDriver->CreateBuffers = D3D_CreateBuffers;
    CurrentVideoDriver->ReleaseBuffers = D3D_ReleaseBuffers;
    CurrentVideoDriver->Release = D3D_ReleaseDriver;
}

void D3D_ApplyDisplayOptions() {
    D3D_SetBackground(0);
    D3D_SetFilter(RenderOptions & 1);
    D3D_SetDither((RenderOptions >> 1) & 1);
}

void D3D_MaskToShift(uint32_t mask, uint8_t* shift, uint8_t* size) {
    *shift = 0;
    *size = 0;
    if (!mask) return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++*shift;
    }
    while (mask) {
        mask >>= 1;
        ++*size;
    }
}

int D3D_CreateBuffers(int pages) {
    ScreenStateRecord& s = ScreenState;
    s.flags |= kScreenBackInVideo;
    host::Surface* front = D3D_GetFrontSurface();
    host::Surface* back = D3D_GetBackSurface();
    if (!front) DebugLog("A:No front");
    if (!back) DebugLog("B:No back");
    DDrawSetSurfaces(front, back);
    if (pages < 0) pages = 0;
    if (pages > 7) pages = 7;
    s.surfaceCount = uint32_t(pages);
    for (int page = 0; page <= pages; ++page) {
        s.pages[page] = nullptr;
        s.pageKinds[page] = 2;
    }
    int pitch = 0;
    if (back) {
        uint8_t* bits = nullptr;
        while (host::SurfaceLock(back, host::DDLOCK_WAIT, &bits, &pitch) == host::DDERR_WASSTILLDRAWING) {
        }
        host::SurfaceUnlock(back);
    }
    host::PixelFormat format{16, 0xF800, 0x07E0, 0x001F, 0};
    if (front) host::SurfaceGetPixelFormat(front, &format);
    s.pitch = uint32_t(pitch) * ((s.flags & kScreenInterlaced) ? 2 : 1);
    if (s.pitch == 0) s.pitch = uint32_t(s.clipRight + 1) * s.bytesPerPixel;
    uint8_t* frame = CurrentVideoDriver->Lock(CurrentVideoDriver);
    if (!frame) WarningBox("R&D3D: Can't lock Primary");
    CurrentVideoDriver->Unlock(CurrentVideoDriver);
    s.flags2 &= static_cast<uint8_t>(~kScreen2DisplayPage1);
    if (frame) {
        VideoPool.InitPool(frame, GxPoolLimit(1u << 20, DDrawLockPitch, s.height));
        VideoPool.Enable();
    }
    D3D_MaskToShift(format.redMask, &s.redShift, &s.redSize);
    D3D_MaskToShift(format.greenMask, &s.greenShift, &s.greenSize);
    D3D_MaskToShift(format.blueMask, &s.blueShift, &s.blueSize);
    auto half = [](int size, int shift) { return ((1u << size) - 2) << shift; };
    auto white = [](int size, int shift) { return (255u >> (8 - size)) << shift; };
    s.halvingMask = half(s.redSize, s.redShift) | half(s.greenSize, s.greenShift) | half(s.blueSize, s.blueShift);
    ScreenWhite = white(s.redSize, s.redShift) | white(s.greenSize, s.greenShift) | white(s.blueSize, s.blueShift);
    if (ActiveBlitTable.Setup) ActiveBlitTable.Setup();
    g_DrawCacheWord = 0;
    CurrentVideoDriver->Unlock(CurrentVideoDriver);
    return 1;
}

void D3D_ReleaseBuffers() {}

void D3D_ReleaseDriver() {
    host::DDraw* dd4 = DDrawObject4();
    if (dd4) host::DDRelease4(dd4);
    DDrawSetObjects(nullptr, nullptr);
    DDrawSetSurfaces(nullptr, nullptr);
}

void D3D_PresentHook() {
    D3D_Present();
    // A flip exchanges the surfaces: take them again.
    DDrawSetSurfaces(D3D_GetFrontSurface(), D3D_GetBackSurface());
}
