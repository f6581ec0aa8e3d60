// The display driver over the host's display objects.
#include "platform/display/ddraw.h"

#include "platform/display/drawtables.h"
#include "platform/display/gx_alloc.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/window.h"

#include <cstdio>
#include <cstring>
#include <vector>

VideoDriver* CurrentVideoDriver = nullptr;
ModeRecord* ModeList = nullptr;
int ModeCount = 0;
ModeRecord* CurrentMode = nullptr;
uint32_t VideoTotalMemory = 0;
int DDrawLockPitch = 0;

namespace {

host::DDraw* g_dd = nullptr;    // the display object
host::DDraw* g_dd4 = nullptr;   // its newer interface (a second reference)
host::Surface* g_pages[8] = {};
host::Palette* g_palette = nullptr;
host::PaletteEntry g_paletteTable[256];
host::Clipper* g_clipper = nullptr;
int g_surfacePitch = 0;
int g_lastSetup = -1;
uint8_t g_dibPalette[256 * 4];  // blue, green, red, unused: the windowed bitmap's colours

bool Windowed() {
    return EngineConfig.VideoConfig & 0x10;
}

int DrawPage() {
    return (ScreenState.flags & kScreenFrontPage) ? 0 : 1;
}

bool BackInVideo() {
    return ScreenState.flags & kScreenBackInVideo;
}

// Runs f with the drawing page unlocked, locking it again after when it was.
template <typename F>
void Unlocked(F f) {
    bool locked = ScreenState.flags2 & kScreen2Locked;
    if (locked) DDrawUnlock(CurrentVideoDriver);
    f();
    if (locked) DDrawLock(CurrentVideoDriver);
}

void EnumMode(const host::DisplayMode& m) {
    ModeRecord& r = ModeList[ModeCount];
    r.width = static_cast<uint16_t>(m.width);
    r.height = static_cast<uint16_t>(m.height);
    r.bits = static_cast<uint16_t>(m.bits & 0xFF);
    // At 63 the count stops: later modes overwrite record 63, which the end
    // mark then takes.
    if (ModeCount < 63) {
        ++ModeCount;
        r.number = static_cast<uint16_t>(ModeCount);
    }
}

ModeRecord* ListModes(int bits) {
    auto* list = static_cast<ModeRecord*>(MemAlloc(uint32_t((ModeCount + 1) * sizeof(ModeRecord))));
    int n = 0;
    for (int i = 0; i < ModeCount; ++i)
        if (ModeList[i].bits == bits) list[n++] = ModeList[i];
    list[n].number = 0;  // ended as the mode list is
    return list;
}

int FindMode(int width, int height, int bits) {
    if (!ModeList) return 0;
    // A window shows any size: record 0 becomes the size asked for.
    if (Windowed()) {
        ModeList[0] = {1, uint16_t(width), uint16_t(height), uint16_t(bits)};
        return 1;
    }
    for (int i = 0; i < ModeCount; ++i) {
        const ModeRecord& r = ModeList[i];
        if (r.width == width && r.height == height && r.bits == bits) return r.number;
    }
    return 0;
}

int SetMode(int number) {
    if (!ModeList) return 0;
    ModeRecord* found = nullptr;
    for (int i = 0; i < ModeCount; ++i)
        if (ModeList[i].number == number) found = &ModeList[i];
    if (!found) found = &ModeList[0];
    ScreenModeSet(found->width, found->height, found->bits);
    if (g_SoftwareDisplay) {
        ModeApplyHook = DDrawApplyMode;
        PresentHook = Windowed() ? DDrawPresentWindowed : DDrawPresentFullScreen;
    }
    CurrentMode = found;
    return 1;
}

int SetupWindow(int value) {
    if (value == g_lastSetup || !g_SoftwareDisplay) {
        g_lastSetup = value;
        return 1;
    }
    if (g_lastSetup == -1) {
        if (Windowed()) {
            host::DDSetCooperativeLevel(g_dd4, MainWindow, host::DDSCL_NORMAL);
        } else {
            host::ShowWindow(MainWindow, host::SW_SHOWNORMAL);
            host::SetWindowLong(MainWindow, host::GWL_STYLE, host::WS_POPUP);
            host::UpdateWindow(MainWindow);
            host::DDSetCooperativeLevel(g_dd4, MainWindow,
                                        host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN | host::DDSCL_ALLOWREBOOT);
        }
    }
    g_lastSetup = value;
    return DDrawApplyMode();
}

int SetModeNumber(int number) {
    ScreenState.modeNumber = static_cast<uint16_t>(number);
    SetMode(number);
    return SetupWindow(number);
}

void ReleaseBuffers() {
    if (g_palette) host::PaletteRelease(g_palette);
    g_palette = nullptr;
    if (g_clipper) host::ClipperRelease(g_clipper);
    g_clipper = nullptr;
    for (int page : {1, 2, 3, 4, 5, 6, 7, 0}) {
        if (g_pages[page]) {
            host::SurfaceUnlock(g_pages[page]);
            host::SurfaceRelease(g_pages[page]);
        }
        g_pages[page] = nullptr;
        ScreenState.pages[page] = nullptr;
    }
    ScreenState.surfaceCount = 0;
    ScreenState.flags2 &= static_cast<uint8_t>(~kScreen2Locked);
}

// Shift and size of a channel mask: trailing zero bits, then the bits up to
// the highest set one.
void Channel(uint32_t mask, uint8_t* size, uint8_t* shift) {
    if (!mask) {
        *size = *shift = 0;
        return;
    }
    int low = __builtin_ctz(mask), high = 31 - __builtin_clz(mask);
    *shift = static_cast<uint8_t>(low);
    *size = static_cast<uint8_t>(high - low + 1);
}

void TakeChannels(const host::PixelFormat& f) {
    ScreenStateRecord& s = ScreenState;
    Channel(f.redMask, &s.redSize, &s.redShift);
    Channel(f.greenMask, &s.greenSize, &s.greenShift);
    Channel(f.blueMask, &s.blueSize, &s.blueShift);
    Channel(f.alphaMask, &s.alphaSize, &s.alphaShift);
    auto half = [](int size, int shift) { return size ? ((1u << size) - 2) << shift : 0u; };
    s.halvingMask = half(s.redSize, s.redShift) | half(s.greenSize, s.greenShift) | half(s.blueSize, s.blueShift);
    auto white = [](int size, int shift) { return (0xFFu >> (8 - size)) << shift; };
    ScreenWhite = white(s.redSize, s.redShift) | white(s.greenSize, s.greenShift) | white(s.blueSize, s.blueShift);
}

// An extra page in the display's format, or in `format` when one is given.
host::Surface* MakePage(int width, int height, bool systemMemory, const host::PixelFormat* format) {
    host::SurfaceDesc d{};
    d.caps = host::DDSCAPS_OFFSCREENPLAIN | (systemMemory ? host::DDSCAPS_SYSTEMMEMORY : 0u);
    d.width = width;
    d.height = height;
    if (format) {
        d.hasFormat = true;
        d.format = *format;
    }
    host::Surface* s = nullptr;
    if (host::DDCreateSurface(g_dd4, d, &s) != host::DD_OK) {
        ErrorHook(0x2103, 0);
        return nullptr;
    }
    return s;
}

int CreateBuffers(int n) {
    ReleaseBuffers();
    if (n < 0) n = 0;
    if (n > 7) n = 7;
    ScreenStateRecord& s = ScreenState;
    s.surfaceCount = uint32_t(n);
    for (int page = 0; page <= n; ++page) {
        s.pages[page] = nullptr;
        s.pageKinds[page] = 2;
    }
    bool windowed = Windowed();
    host::SurfaceDesc primary{};
    if (windowed) {
        primary.caps = host::DDSCAPS_PRIMARYSURFACE;
        s.flags &= static_cast<uint8_t>(~kScreenBackInVideo);
    } else {
        primary.caps = host::DDSCAPS_PRIMARYSURFACE | host::DDSCAPS_FLIP | host::DDSCAPS_COMPLEX;
        primary.backBufferCount = 1;
    }
    if (host::DDCreateSurface(g_dd4, primary, &g_pages[0]) != host::DD_OK) {
        g_pages[0] = nullptr;
        ErrorHook(0x2101, 0);
    }
    // The primary's pitch, learnt by a lock.
    uint8_t* bits = nullptr;
    if (g_pages[0] && host::SurfaceLock(g_pages[0], host::DDLOCK_WAIT, &bits, &g_surfacePitch) == host::DD_OK)
        host::SurfaceUnlock(g_pages[0]);
    int firstExtra = 1;
    if (!windowed) {
        if (!g_pages[0] || host::SurfaceGetAttachedBackBuffer(g_pages[0], &g_pages[1]) != host::DD_OK) {
            g_pages[1] = nullptr;
            ErrorHook(0x2102, 0);
        }
        if (BackInVideo()) {
            s.pitch = uint32_t(g_surfacePitch);
            firstExtra = 2;
        } else if (g_pages[1]) {
            // A system-memory page takes the attached back buffer's place.
            host::SurfaceRelease(g_pages[1]);
            g_pages[1] = nullptr;
        }
    }
    host::PixelFormat format{16, 0xF800, 0x07E0, 0x001F, 0};
    if (g_pages[0]) host::SurfaceGetPixelFormat(g_pages[0], &format);
    // What a 16-bit bitmap shows in a window, whatever the display has.  The
    // pages drawn on are made in it too: what the display draws on a page
    // for the game (text through the page's device context, colour fills)
    // then packs its colours as the game's own pixels do.
    const bool windowed555 = windowed && s.bitsPerPixel == 16;
    if (windowed555) format = host::kFormat555;
    for (int page = firstExtra; page <= n; ++page)
        g_pages[page] = MakePage(int(s.width), int(s.height), !BackInVideo(), windowed555 ? &format : nullptr);
    if (windowed) {
        g_clipper = host::DDCreateClipper(g_dd4);
        host::ClipperSetWindow(g_clipper, MainWindow);
        if (g_pages[0]) host::SurfaceSetClipper(g_pages[0], g_clipper);
        DDrawDriver.Lock = DDrawLock;
        DDrawDriver.Unlock = DDrawUnlock;
    }
    if (s.bitsPerPixel > 8) {
        TakeChannels(format);
    } else {
        if (g_palette) host::PaletteRelease(g_palette);
        g_palette = host::DDCreatePalette(g_dd4, host::DDPCAPS_8BIT | host::DDPCAPS_ALLOW256, g_paletteTable);
        if (g_pages[0]) host::SurfaceSetPalette(g_pages[0], g_palette);
    }
    s.flags2 &= static_cast<uint8_t>(~kScreen2DisplayPage1);
    DDrawClearPages();
    if (uint8_t* frame = DDrawLock(CurrentVideoDriver)) {
        VideoPool.InitPool(frame, GxPoolLimit(VideoTotalMemory, DDrawLockPitch, s.height));
        VideoPool.Enable();
    }
    DDrawUnlock(CurrentVideoDriver);
    if (s.pitch == 0) s.pitch = s.width * s.bytesPerPixel;
    if (ActiveBlitTable.Setup) ActiveBlitTable.Setup();
    return 1;
}

int NoSurface(Picture*) {
    return 0;
}

int FreePicture(Picture* picture);

int Reserved() {
    return 0;
}

void Release() {
    ReleaseBuffers();
    // The newer interface, then the object; a release that leaves
    // references stops there and keeps both pointers.
    if (g_dd4 && host::DDRelease4(g_dd4) > 0) return;
    if (g_dd) {
        if (host::DDRelease(g_dd) > 0) return;
    }
    g_dd4 = nullptr;
    g_dd = nullptr;
}

}  // namespace

namespace {
int FreePicture(Picture* picture) {
    if (picture) {
        MemFree(picture->pixels);
        picture->pixels = nullptr;
    }
    return 0;
}
}  // namespace

// The driver's own slots; the 3D display replaces some of them in the
// installed table.
const VideoDriver kDDrawSlots = {DDrawLock,     DDrawUnlock, ListModes,   SetMode,  SetupWindow,
                                 FindMode,      CreateBuffers, ReleaseBuffers, NoSurface, FreePicture,
                                 Reserved,      SetModeNumber, Release,     ""};
VideoDriver DDrawDriver = kDDrawSlots;

// ---------------------------------------------------------------------------
// Opening
// ---------------------------------------------------------------------------

void DDrawInstall() {
    DDrawDriver = kDDrawSlots;
    g_lastSetup = -1;
    CurrentVideoDriver = &DDrawDriver;
    GxAllocInstall();
}

int DisplayOpen(int quiet) {
    if (!g_SoftwareDisplay) return 1;
    int ok = DDrawOpen();
    if (!ok && !quiet) ErrorHook(0x2106, 0);
    return ok;
}

int DDrawOpen() {
    std::vector<std::string> names;
    int count = host::DDEnumerateDrivers(&names);
    int index = EngineConfig.VideoId < count ? EngineConfig.VideoId : -1;
    std::memset(DDrawDriver.name, 0, sizeof DDrawDriver.name);
    if (index >= 0) std::snprintf(DDrawDriver.name, sizeof DDrawDriver.name, "%s", names[size_t(index)].c_str());
    g_dd = host::DDCreate(index >= 0 ? index : 0);
    if (!g_dd) return 0;
    return DDrawInitModes();
}

int DDrawInitModes() {
    ModeCount = 0;
    MemFree(ModeList);
    ModeList = static_cast<ModeRecord*>(MemAlloc(512));
    for (const host::DisplayMode& m : host::DDEnumModes(g_dd)) EnumMode(m);
    ModeList[ModeCount].number = 0;
    CurrentMode = ModeList;
    if (ModeCount == 0) return 0;
    if (!g_SoftwareDisplay) return 1;
    if (Windowed()) {
        DDrawWindowedStyle();
        host::ShowCursor(true);
    }
    g_dd4 = host::DDQueryInterface4(g_dd);
    if (!g_dd4) return 0;
    VideoTotalMemory = host::DDTotalVideoMemory(g_dd);
    ScreenState.totalVideoMemory = VideoTotalMemory;
    return 1;
}

int DDrawApplyMode() {
    if (Windowed()) {
        DDrawCentreWindow();
        return 1;
    }
    if (!CurrentMode || host::DDSetDisplayMode(g_dd4, CurrentMode->width, CurrentMode->height, CurrentMode->bits) !=
                            host::DD_OK) {
        ErrorHook(0x2100, 0);
        return 0;
    }
    return 1;
}

void DDrawCentreWindow() {
    if (!MainWindow || !CurrentMode) return;
    host::Rect r{0, 0, CurrentMode->width, CurrentMode->height};
    host::AdjustWindowRectEx(&r, host::GetWindowLong(MainWindow, host::GWL_STYLE), false,
                             host::GetWindowLong(MainWindow, host::GWL_EXSTYLE));
    int x = (host::GetSystemMetrics(host::SM_CXSCREEN) - CurrentMode->width) / 2;
    int y = (host::GetSystemMetrics(host::SM_CYSCREEN) - CurrentMode->height) / 2;
    host::SetWindowPos(MainWindow, x, y, r.right - r.left, r.bottom - r.top, host::SWP_SHOWWINDOW);
    host::UpdateWindow(MainWindow);
}

void DDrawWindowedStyle() {
    if (!MainWindow) return;
    host::SetWindowLong(MainWindow, host::GWL_STYLE, host::WS_VISIBLE | host::WS_CAPTION | host::WS_SYSMENU);
    DDrawCentreWindow();
}

void DDrawActivate() {
    for (uint32_t page = 0; g_dd4 && page <= ScreenState.surfaceCount && page < 8; ++page) {
        if (g_pages[page] && host::SurfaceRestore(g_pages[page]) == host::DDERR_WRONGMODE)
            host::DDRestoreDisplayMode(g_dd4);
    }
    if (Windowed() && MainWindow) {
        host::ShowWindow(MainWindow, host::SW_SHOWNORMAL);
        host::UpdateWindow(MainWindow);
    }
}

// ---------------------------------------------------------------------------
// Locking
// ---------------------------------------------------------------------------

uint8_t* DDrawLock(VideoDriver*) {
    ScreenStateRecord& s = ScreenState;
    int page = DrawPage();
    if (s.flags2 & kScreen2Locked) return s.frameBuffer;
    if (!g_pages[0]) {
        s.frameBuffer = s.pages[page];
        return s.frameBuffer;
    }
    if (!s.pages[page]) {
        if (!g_pages[page]) return nullptr;
        uint8_t* bits = nullptr;
        int pitch = 0, r;
        while ((r = host::SurfaceLock(g_pages[page], host::DDLOCK_WAIT, &bits, &pitch)) == host::DDERR_WASSTILLDRAWING) {
        }
        if (r != host::DD_OK) {
            s.pages[page] = nullptr;
            return nullptr;
        }
        s.pages[page] = bits;
        DDrawLockPitch = pitch;
        s.flags2 |= kScreen2Locked;
    }
    s.frameBuffer = s.pages[page];
    int other = 1 - page;
    s.secondPage = (BackInVideo() && s.pages[other]) ? s.pages[other] : s.frameBuffer;
    return s.frameBuffer;
}

void DDrawUnlock(VideoDriver*) {
    ScreenStateRecord& s = ScreenState;
    int page = DrawPage();
    if (g_pages[0] && s.pages[page]) {
        if (g_pages[page]) host::SurfaceUnlock(g_pages[page]);
        s.pages[page] = nullptr;
        s.flags2 &= static_cast<uint8_t>(~kScreen2Locked);
    }
}

// ---------------------------------------------------------------------------
// Page routines
// ---------------------------------------------------------------------------

namespace {

void FillBack() {
    if (!g_pages[1]) return;
    host::Rect r{0, 0, int(ScreenState.width), int(ScreenState.height)};
    host::SurfaceBlt(g_pages[1], &r, nullptr, nullptr, host::DDBLT_COLORFILL | host::DDBLT_WAIT, 0);
}

}  // namespace

void DDrawClearPages() {
    Unlocked([] {
        for (int i = 0; i < 2; ++i) {
            FillBack();
            if (!Windowed() && g_pages[0]) host::SurfaceFlip(g_pages[0], host::DDFLIP_WAIT);
        }
    });
}

void DDrawClearBack() {
    Unlocked(FillBack);
}

void DDrawFillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
    Unlocked([=] {
        host::Surface* page = g_pages[DrawPage()];
        if (!page) return;
        host::Rect r{left, top, right + 1, bottom + 1};
        host::SurfaceBlt(page, &r, nullptr, nullptr, host::DDBLT_COLORFILL | host::DDBLT_WAIT, colour);
    });
}

void DDrawCopyPage(int32_t destination, int32_t source) {
    // 0 stands for the back page in either argument.
    if (destination == 0) destination = 1;
    if (source == 0) source = 1;
    if (destination < 0 || destination > 7 || source < 0 || source > 7) return;
    host::Surface* to = g_pages[destination];
    host::Surface* from = g_pages[source];
    if (!to || !from) return;
    Unlocked([=] {
        host::Rect r{0, 0, int(ScreenState.width), int(ScreenState.height)};
        if (host::SurfaceBlt(to, &r, from, &r, 0, 0) != host::DDERR_NOBLTHW) return;
        // No blit hardware: the rows are copied by hand.
        uint8_t *src = nullptr, *dst = nullptr;
        int srcPitch = 0, dstPitch = 0;
        if (host::SurfaceLock(from, host::DDLOCK_WAIT | host::DDLOCK_READONLY, &src, &srcPitch) != host::DD_OK)
            return;
        if (to == from) {
            host::SurfaceUnlock(from);  // a page onto itself: nothing changes
            return;
        }
        if (host::SurfaceLock(to, host::DDLOCK_WAIT | host::DDLOCK_WRITEONLY, &dst, &dstPitch) == host::DD_OK) {
            size_t row = size_t(std::min(srcPitch, dstPitch));
            for (uint32_t y = 0; y < ScreenState.height; ++y)
                std::memcpy(dst + size_t(y) * dstPitch, src + size_t(y) * srcPitch, row);
            host::SurfaceUnlock(to);
        }
        host::SurfaceUnlock(from);
    });
}

void DDrawSetPaletteWindowed(int32_t first, int32_t count, const uint8_t* rgb) {
    for (int32_t i = 0; i < count && first + i < 256; ++i) {
        if (first + i < 0) continue;
        uint8_t* q = g_dibPalette + (first + i) * 4;
        q[0] = rgb[i * 3 + 2];
        q[1] = rgb[i * 3 + 1];
        q[2] = rgb[i * 3];
        q[3] = 0;
    }
}

// ---------------------------------------------------------------------------
// Presenting
// ---------------------------------------------------------------------------

void DDrawPresentFullScreen() {
    if (!g_pages[0]) return;
    if (BackInVideo()) {
        // A lost surface is restored for the next frame; only "still
        // drawing" is waited out.
        int r;
        do {
            r = host::SurfaceFlip(g_pages[0], host::DDFLIP_WAIT);
            if (r == host::DDERR_SURFACELOST) DDrawActivate();
        } while (r == host::DDERR_WASSTILLDRAWING);
        return;
    }
    if (!g_pages[1]) return;
    host::Rect r{0, 0, int(ScreenState.width), int(ScreenState.height)};
    host::SurfaceBlt(g_pages[0], &r, g_pages[1], &r, host::DDBLT_WAIT, 0);
}

void DDrawPresentWindowed() {
    uint8_t* back = DDrawLock(CurrentVideoDriver);
    DDrawUnlock(CurrentVideoDriver);
    if (!back || !MainWindow) return;
    host::BitmapInfo info{int(ScreenState.width), -int(ScreenState.height),
                          ScreenState.bitsPerPixel == 15 ? 16 : ScreenState.bitsPerPixel, g_dibPalette};
    int w = int(ScreenState.width), h = int(ScreenState.height);
    host::StretchDIBits(MainWindow, 0, 0, w, h, 0, 0, w, h, back, info);
}

// ---------------------------------------------------------------------------
// Objects for the services beside the driver
// ---------------------------------------------------------------------------

bool DDrawObjectExists() {
    return g_dd != nullptr;
}

void DDrawFlipToGDISurface() {
    if (g_dd) host::DDFlipToGDISurface(g_dd);
}

bool DDrawBuffersExist() {
    return g_pages[0] != nullptr;
}

host::DDraw* DDrawObject() {
    return g_dd;
}

host::DDraw* DDrawObject4() {
    return g_dd4;
}

void DDrawSetObjects(host::DDraw* dd, host::DDraw* dd4) {
    g_dd = dd;
    g_dd4 = dd4;
}

void DDrawSetSurfaces(host::Surface* front, host::Surface* back) {
    g_pages[0] = front;
    g_pages[1] = back;
}

host::Palette* DDrawPaletteObject() {
    return g_palette;
}

host::Surface* DDrawPageSurface(int page) {
    return page >= 0 && page < 8 ? g_pages[page] : nullptr;
}

host::Surface* DDrawDrawingSurface() {
    return g_pages[DrawPage()];
}
