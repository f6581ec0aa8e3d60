// The DD manager: windows, display objects, surfaces and the frame blit.
#include "media/ddm.h"

#include "host/d3d.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

std::atomic<int> g_DDMLastResult{0};
std::atomic<bool> g_DDMMoved{false};

namespace {

constexpr const char* kOwnClassName = "__DDMGRWC__";
constexpr const char* kBanner = "Video stream player";

int Failed(int result) {
    g_DDMLastResult = result;
    return -23;
}

// A surface's size, row length and format as a description.
bool Describe(host::Surface* s, DDSurfaceDesc* desc) {
    host::PixelFormat f{};
    if (host::SurfaceGetSize(s, &desc->width, &desc->height, &desc->pitch) != host::DD_OK ||
        host::SurfaceGetPixelFormat(s, &f) != host::DD_OK)
        return false;
    desc->format.flags = DDSD_PIXELFORMAT;
    desc->format.pixelFormat = DDPixelFormatFromHost(f);
    return true;
}

// The window's client area, both corners through ClientToScreen.
void ReadClientRect(DDManager* d) {
    host::Rect r{};
    host::GetClientRect(d->window, &r);
    host::Point a{r.left, r.top}, b{r.right, r.bottom};
    host::ClientToScreen(d->window, &a);
    host::ClientToScreen(d->window, &b);
    d->client = {a.x, a.y, b.x, b.y};
    d->clientWidth = b.x - a.x;
    d->clientHeight = b.y - a.y;
}

int EnsureDirectDraw2(DDManager* d) {
    if (d->hasDirectDraw2) return 0;
    return DDM_SetDirectDraw2(d, nullptr);
}

// The display mode for a frame: the smallest classic mode that holds it.
void ModeFor(int width, int height, int* w, int* h) {
    if (width <= 320) *w = 320, *h = height <= 200 ? 200 : 240;
    else if (width <= 400) *w = 400, *h = 300;
    else if (width <= 512) *w = 512, *h = 384;
    else if (width <= 640) *w = 640, *h = height <= 400 ? 400 : 480;
    else if (width <= 800) *w = 800, *h = 600;
    else *w = 1024, *h = 768;
}

void DerivePixelFormat(DDManager* d) {
    if (PixelFormatFromSurfaceDesc(&d->pixelFormat, d->primaryDesc.format)) d->pixelFormatSet = true;
}

}  // namespace

void DDM_InitRects(DDManager* d) {
    std::memset(d, 0, sizeof *d);
    d->windowClass.style = host::CS_HREDRAW | host::CS_VREDRAW;
    d->windowClass.blackBackground = true;
}

DDManager* DDM_New() {
    auto* d = new (std::nothrow) DDManager;
    if (d) DDM_InitRects(d);
    return d;
}

void DDM_Delete(DDManager* d) {
    delete d;
}

void DDM_SetInstance(DDManager* d, host::HINSTANCE instance) {
    d->instance = instance;
    d->windowClass.instance = instance;
    d->hasInstance = instance != nullptr;
}

void DDM_SetIcon(DDManager* d, void* icon) {
    d->icon = icon;
    d->hasIcon = icon != nullptr;
}

void DDM_SetCursor(DDManager* d, void* cursor) {
    d->cursor = cursor;
    d->hasCursor = cursor != nullptr;
}

void DDM_SetWindowProc(DDManager* d, host::WndProc proc) {
    d->windowClass.proc = proc ? proc : DDM_WndProc;
    d->ownsDefaultProc = proc == nullptr;
    d->hasWindowProc = true;
}

int DDM_RegisterClass(DDManager* d, const char* className) {
    if (!d->hasInstance) return -31;
    if (className) {
        host::WindowClass wc{};
        if (!host::GetClassInfo(d->instance, className, &wc)) return -32;
        std::snprintf(d->className, sizeof d->className, "%s", className);
        d->windowClass = wc;
        d->windowClass.className = d->className;
        d->hasClass = true;
        return 0;
    }
    std::snprintf(d->className, sizeof d->className, "%s", kOwnClassName);
    if (!d->hasWindowProc) DDM_SetWindowProc(d, nullptr);
    d->windowClass.instance = d->instance;
    d->windowClass.className = d->className;
    if (!host::RegisterClass(d->windowClass)) return -32;
    d->hasClass = true;
    d->ownsClass = true;
    return 0;
}

void DDM_SetSize(DDManager* d, int width, int height, int depth) {
    d->source = {0, 0, width, height};
    d->frameWidth = width;
    d->frameHeight = height;
    d->frameDepth = depth;
    d->sizeSet = true;
}

int DDM_CreateWindow(DDManager* d, host::HWND window) {
    if (!d->sizeSet) return -30;
    if (!d->hasInstance) return -31;
    if (window) {
        char name[40];
        host::WindowClass wc{};
        if (host::GetClassName(window, name, sizeof name) <= 0 || !host::GetClassInfo(d->instance, name, &wc))
            return -32;
        std::snprintf(d->className, sizeof d->className, "%s", name);
        d->windowClass = wc;
        d->windowClass.className = d->className;
        d->hasClass = true;
        d->hasWindowProc = true;
        d->window = window;
    } else {
        if (!d->hasClass) return -32;
        d->window = host::CreateWindowEx(kDDMExTopmost, d->className, kBanner, kDDMOverlappedWindow, 0, 0,
                                         host::GetSystemMetrics(host::SM_CXSCREEN),
                                         host::GetSystemMetrics(host::SM_CYSCREEN), d->instance);
        if (!d->window) return -24;
        d->ownsWindow = true;
    }
    d->hasWindow = true;
    host::ShowWindow(d->window, host::SW_SHOWNORMAL);
    host::UpdateWindow(d->window);
    host::Rect r{0, 0, d->frameWidth, d->frameHeight};
    host::AdjustWindowRectEx(&r, host::GetWindowLong(d->window, host::GWL_STYLE), false,
                             host::GetWindowLong(d->window, host::GWL_EXSTYLE));
    if (d->ownsWindow) {
        int w = r.right - r.left, h = r.bottom - r.top;
        int x = (host::GetSystemMetrics(host::SM_CXSCREEN) - w) / 2;
        int y = (host::GetSystemMetrics(host::SM_CYSCREEN) - h) / 2;
        host::SetWindowPos(d->window, x, y, w, h, host::SWP_SHOWWINDOW | kDDMFrameChanged);
    }
    ReadClientRect(d);
    return 0;
}

int DDM_SubclassWindow(DDManager* d, int index, intptr_t value) {
    if (!d->hasWindow || !d->window) return -24;
    // This host's classes carry no extra bytes: only the user data is there.
    if (index != host::GWL_USERDATA) return -36;
    host::SetWindowLongPtr(d->window, index, value);
    return host::GetWindowLongPtr(d->window, index) == value ? 0 : -37;
}

int DDM_SetDirectDraw(DDManager* d, host::DDraw* directDraw) {
    if (directDraw) {
        d->directDraw = directDraw;
    } else {
        d->directDraw = host::DDCreate(0);
        if (!d->directDraw) return Failed(host::DDERR_GENERIC);
        d->ownsDirectDraw = true;
    }
    d->hasDirectDraw = true;
    return 0;
}

int DDM_SetDirectDraw2(DDManager* d, host::DDraw* directDraw2) {
    if (directDraw2) {
        d->directDraw2 = directDraw2;
    } else {
        if (!d->hasDirectDraw || !d->directDraw) return -33;
        d->directDraw2 = host::DDQueryInterface4(d->directDraw);
        if (!d->directDraw2) return Failed(host::DDERR_GENERIC);
        d->ownsDirectDraw2 = true;
    }
    d->hasDirectDraw2 = true;
    return 0;
}

int DDM_GetSurfaceDesc(DDManager* d, host::Surface* primary, host::Surface* back) {
    if (!primary) return 0;
    if (!Describe(primary, &d->primaryDesc)) return Failed(host::DDERR_INVALIDPARAMS);
    d->primary = primary;
    d->hasPrimary = true;
    d->back = back;
    d->hasBack = back != nullptr;
    DDM_SetSurfacesSupplied(d, true);
    return 0;
}

void DDM_SetSurfacesSupplied(DDManager* d, bool on) {
    d->surfacesSupplied = on;
    if (on) d->levelSettled = true;
}

void DDM_SetPixelFormat(DDManager* d, const DDPixelFormat* format) {
    if (format) {
        d->suppliedFormat = *format;
        d->pixelFormatSet = PixelFormatFromDDPixelFormat(&d->pixelFormat, format);
    } else if (d->hasPrimary) {
        DerivePixelFormat(d);
    }
}

int DDM_SetWindowed(DDManager* d) {
    if (!d->hasDirectDraw) return -33;
    if (!d->hasWindow) return -24;
    if (int r = EnsureDirectDraw2(d)) return r;
    if (!d->hasPrimary) {
        if (!d->levelSettled) {
            int r = host::DDSetCooperativeLevel(d->directDraw2, d->window, host::DDSCL_NORMAL);
            if (r != host::DD_OK) return Failed(r);
            d->levelSettled = true;
            d->ownsLevel = true;
        }
        host::SurfaceDesc desc{};
        desc.caps = host::DDSCAPS_PRIMARYSURFACE;
        int r = host::DDCreateSurface(d->directDraw2, desc, &d->primary);
        if (r != host::DD_OK || !d->primary) return Failed(r ? r : host::DDERR_GENERIC);
        d->hasPrimary = true;
        d->ownsPrimary = true;
    }
    host::SurfaceBlt(d->primary, &d->client, nullptr, nullptr, host::DDBLT_COLORFILL | host::DDBLT_WAIT, 0);
    if (!Describe(d->primary, &d->primaryDesc)) return Failed(host::DDERR_INVALIDPARAMS);
    DerivePixelFormat(d);
    return 0;
}

int DDM_SetMode(DDManager* d) {
    if (!d->hasDirectDraw) return -33;
    if (!d->hasWindow) return -24;
    if (int r = EnsureDirectDraw2(d)) return r;
    if (!d->surfacesSupplied) {
        if (!d->levelSettled) {
            int r = host::DDSetCooperativeLevel(d->directDraw2, d->window,
                                                host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN | host::DDSCL_ALLOWREBOOT);
            if (r != host::DD_OK) return Failed(r);
            d->levelSettled = true;
            d->ownsLevel = true;
        }
        if (d->ownsLevel) {
            int w, h;
            ModeFor(d->frameWidth, d->frameHeight, &w, &h);
            // 15-bit frames go on the 16-bit mode, which carries 5-5-5 or 5-6-5.
            int bits = d->frameDepth == 15 ? 16 : d->frameDepth;
            int r = host::DDSetDisplayMode(d->directDraw2, w, h, bits);
            if (r != host::DD_OK && w != 640) r = host::DDSetDisplayMode(d->directDraw2, w = 640, h = 480, bits);
            if (r != host::DD_OK) return Failed(r);
        }
    }
    if (!d->hasPrimary) {
        host::SurfaceDesc desc{};
        desc.caps = host::DDSCAPS_PRIMARYSURFACE | host::DDSCAPS_FLIP | host::DDSCAPS_COMPLEX;
        desc.backBufferCount = 1;
        int r = host::DDCreateSurface(d->directDraw2, desc, &d->primary);
        if (r != host::DD_OK || !d->primary) return Failed(r ? r : host::DDERR_GENERIC);
        d->hasPrimary = true;
        d->ownsPrimary = true;
        if (!d->hasBack) {
            r = host::SurfaceGetAttachedBackBuffer(d->primary, &d->back);
            if (r != host::DD_OK) return Failed(r);
            // The attached buffer goes with its primary.
            host::SurfaceRelease(d->back);
            d->hasBack = true;
        }
    }
    if (!Describe(d->primary, &d->primaryDesc)) return Failed(host::DDERR_INVALIDPARAMS);
    d->client = {0, 0, d->primaryDesc.width, d->primaryDesc.height};
    d->clientWidth = d->primaryDesc.width;
    d->clientHeight = d->primaryDesc.height;
    d->fullScreen = true;
    if (!d->pixelFormatSet) DerivePixelFormat(d);
    return 0;
}

int DDM_CreateOffscreen(DDManager* d, int width, int height, host::Surface** surface, host::Surface** second) {
    if (!surface) return -6;
    *surface = nullptr;
    if (second) *second = nullptr;
    if (!d->directDraw || width <= 0 || height <= 0) return Failed(host::DDERR_INVALIDPARAMS);
    host::SurfaceDesc desc{};
    desc.caps = host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_SYSTEMMEMORY;
    desc.width = width;
    desc.height = height;
    if (d->pixelFormatSet && !d->pixelFormat.palette) {
        const PixelFormatDesc& p = d->pixelFormat;
        desc.hasFormat = true;
        desc.format = {uint32_t(p.bytesPerPixel * 8), uint32_t(p.redMask), uint32_t(p.greenMask),
                       uint32_t(p.blueMask), uint32_t(p.alphaMask)};
    }
    int r = host::DDCreateSurface(d->directDraw, desc, surface);
    if (r != host::DD_OK || !*surface) return Failed(r ? r : host::DDERR_GENERIC);
    // A frame decoded from the one before it must never start from stale
    // memory.
    host::SurfaceBlt(*surface, nullptr, nullptr, nullptr, host::DDBLT_COLORFILL | host::DDBLT_WAIT, 0);
    if (second) *second = *surface;
    return 0;
}

int DDM_FillSurface(DDManager* d, host::Surface* surface, const host::Rect* rect, int red, int green, int blue) {
    if (!surface) return -6;
    uint32_t colour = d->pixelFormatSet ? PackPixel(&d->pixelFormat, red, green, blue, false) : 0;
    int r = host::SurfaceBlt(surface, rect, nullptr, nullptr, host::DDBLT_COLORFILL | host::DDBLT_WAIT, colour);
    return r == host::DD_OK ? 0 : Failed(r);
}

int DDM_BlitClipped(host::Surface* target, int x, int y, host::Surface* frame, host::Rect source) {
    int tw = 0, th = 0, fw = 0, fh = 0;
    host::SurfaceGetSize(target, &tw, &th, nullptr);
    host::SurfaceGetSize(frame, &fw, &fh, nullptr);
    source.right = std::min(source.right, fw);
    source.bottom = std::min(source.bottom, fh);
    if (x < 0) source.left -= x, x = 0;
    if (y < 0) source.top -= y, y = 0;
    source.right = std::min(source.right, source.left + (tw - x));
    source.bottom = std::min(source.bottom, source.top + (th - y));
    if (source.right <= source.left || source.bottom <= source.top) return 0;
    host::Rect to{x, y, x + source.right - source.left, y + source.bottom - source.top};
    int r = host::SurfaceBlt(target, &to, frame, &source, 0, 0);
    return r == host::DD_OK ? 0 : Failed(r);
}

int DDM_BlitFrame(DDManager* d, host::Surface* frame, uint32_t /*flags: the host's blits always complete*/) {
    if (!frame) return -6;
    if (!d->back) {
        if (!d->primary) return Failed(host::DDERR_INVALIDPARAMS);
        if (g_DDMMoved.exchange(false)) DDM_UpdateClientRect(d, d->window);
        return DDM_BlitClipped(d->primary, d->client.left, d->client.top, frame, d->source);
    }
    int x = d->client.left + (d->client.right - d->source.right) / 2;
    int y = d->client.top + (d->client.bottom - d->source.bottom) / 2;
    return DDM_BlitClipped(d->back, x, y, frame, d->source);
}

int DDM_BlitAt(DDManager* d, host::Surface* surface, int x, int y, uint32_t /*flags*/) {
    if (!surface) return -6;
    host::Surface* target = d->back ? d->back : d->primary;
    if (!target) return Failed(host::DDERR_INVALIDPARAMS);
    if (!d->back && g_DDMMoved.exchange(false)) DDM_UpdateClientRect(d, d->window);
    int w = 0, h = 0;
    host::SurfaceGetSize(surface, &w, &h, nullptr);
    return DDM_BlitClipped(target, d->client.left + x, d->client.top + y, surface, {0, 0, w, h});
}

int DDM_BlitAndWait(DDManager* d, host::Surface* surface) {
    // The host's blits are done when they return: there is no status to poll.
    return DDM_BlitAt(d, surface, 0, 0, DDBLTFAST_WAIT);
}

int DDM_Flip(DDManager* d) {
    if (!d->back || !d->primary) return 0;
    int r = host::SurfaceFlip(d->primary, host::DDFLIP_WAIT);
    return r == host::DD_OK ? 0 : Failed(r);
}

int DDM_FlipAndWait(DDManager* d) {
    return DDM_Flip(d);
}

int DDM_WaitVBlank(DDManager* d) {
    host::DDraw* dd = d->directDraw2 ? d->directDraw2 : d->directDraw;
    int r = host::DDWaitForVerticalBlank(dd, host::DDWAITVB_BLOCKBEGIN);
    return r == host::DD_OK ? 0 : Failed(r);
}

host::HWND DDM_GetWindow(const DDManager* d) {
    return d->window;
}

int DDM_GetClientWidth(const DDManager* d) {
    return d->clientWidth;
}

int DDM_GetClientHeight(const DDManager* d) {
    return d->clientHeight;
}

int DDM_GetDepth(const DDManager* d) {
    if (!d->hasDirectDraw2 || !d->hasPrimary || !d->pixelFormatSet) return 0;
    int bits = d->pixelFormat.totalBits;
    return bits == 15 || bits == 16 ? bits : 0;
}

host::Surface* DDM_GetPrimary(const DDManager* d) {
    return d->primary;
}

host::Surface* DDM_GetBack(const DDManager* d) {
    return d->back;
}

host::WndProc DDM_GetWindowProc(const DDManager* d) {
    return d->windowClass.proc;
}

uint32_t DDM_PackColour(const DDManager* d, int red, int green, int blue) {
    return PackPixel(&d->pixelFormat, red, green, blue, false);
}

int DDM_DrawText(DDManager* d, uint32_t colour, const char* text, host::Font* font, host::Surface** surface,
                 int* width, int* height) {
    if (surface) *surface = nullptr;
    if (!text || !*text || !surface) return -6;
    host::Font* made = font ? nullptr : host::CreateFont(18, host::FW_BOLD, false, false, false, "Courier New");
    host::Font* use = font ? font : made;
    // Measured on a context of its own, as on the screen.
    uint16_t probe = 0;
    host::DC* measure = host::CreatePixelDC({reinterpret_cast<uint8_t*>(&probe), 1, 1, 2, host::kFormat565, nullptr});
    host::SelectFont(measure, use);
    host::Size size{0, 0};
    int n = int(std::strlen(text));
    host::GetTextExtentPoint32(measure, text, n, &size);
    host::DeletePixelDC(measure);
    int result = 0;
    if (size.cx <= 0 || size.cy <= 0 || DDM_CreateOffscreen(d, size.cx, size.cy, surface, nullptr) != 0) {
        result = -23;
    } else {
        host::SurfaceSetColourKey(*surface, 0, 0);
        host::DC* dc = host::SurfaceGetDC(*surface);
        if (!dc) {
            host::SurfaceRelease(*surface);
            *surface = nullptr;
            result = Failed(host::DDERR_GENERIC);
        } else {
            host::SelectFont(dc, use);
            host::SetTextColor(dc, colour);
            host::SetBkMode(dc, host::OPAQUE);
            host::TextOut(dc, 0, 0, text, n);
            host::SurfaceReleaseDC(*surface, dc);
        }
    }
    if (made) host::DeleteFont(made);
    if (width) *width = result ? 0 : size.cx;
    if (height) *height = result ? 0 : size.cy;
    return result;
}

int DDM_UpdateClientRect(DDManager* d, host::HWND window) {
    if (window != d->window || !d->window || d->fullScreen) return 0;
    // Nothing of the desktop needs repainting here: only the area moves.
    ReadClientRect(d);
    return 0;
}

int DDM_DestroyWindow(DDManager* d) {
    int result = 0;
    if (d->ownsPrimary && d->primary) host::SurfaceRelease(d->primary);
    d->primary = d->back = nullptr;
    if (d->ownsLevel && d->directDraw2) {
        if (host::DDSetCooperativeLevel(d->directDraw2, d->window, host::DDSCL_NORMAL) != host::DD_OK) result = -23;
    }
    if (d->ownsDirectDraw2 && d->directDraw2) host::DDRelease4(d->directDraw2);
    if (d->ownsDirectDraw && d->directDraw) host::DDRelease(d->directDraw);
    d->directDraw = d->directDraw2 = nullptr;
    if (d->ownsWindow && d->window) host::DestroyWindow(d->window);
    d->window = nullptr;
    if (d->ownsClass) host::UnregisterClass(d->className);
    d->className[0] = 0;
    bool* flags[] = {&d->hasDirectDraw, &d->hasInstance,    &d->hasWindow,       &d->hasClass,     &d->hasIcon,
                     &d->hasCursor,     &d->hasPrimary,     &d->hasWindowProc,   &d->hasDirectDraw2, &d->levelSettled,
                     &d->hasBack,       &d->sizeSet,        &d->pixelFormatSet,  &d->surfacesSupplied, &d->fullScreen,
                     &d->ownsDirectDraw, &d->ownsWindow,    &d->ownsClass,       &d->ownsPrimary,  &d->ownsDefaultProc,
                     &d->ownsDirectDraw2, &d->ownsLevel};
    for (bool* f : flags) *f = false;
    return result;
}

intptr_t DDM_WndProc(host::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case host::WM_DESTROY:
        host::PostQuitMessage(0);
        return host::DefWindowProc(window, message, wParam, lParam);
    case host::WM_MOVE:
    case host::WM_SIZE:
        g_DDMMoved = true;
        host::ShowCursor(false);
        return 0;
    case WM_SHOWWINDOW:
        host::ShowCursor(false);
        return 0;
    case WM_SETCURSOR:
        return 1;
    default:
        return host::DefWindowProc(window, message, wParam, lParam);
    }
}
