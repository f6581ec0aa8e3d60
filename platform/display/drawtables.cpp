// Draw-table selection, the palette upload, the vertical-blank wait and GDI
// text on the drawing surface.
#include "platform/display/drawtables.h"

#include "host/display.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "platform/window.h"

#include <cstdio>
#include <cstring>

namespace {

// GDI text state: the cached face, the font and the kept device context.
char g_face[32] = "";
host::Font* g_font = nullptr;
host::DC* g_dc = nullptr;
host::Surface* g_dcSurface = nullptr;  // the surface the kept context draws on, if any

}  // namespace

BlitTable ActiveBlitTable = {};
PrimTable ActivePrimTable = {};
uint32_t& ScreenWhite = ActivePrimTable.white;
BlitRoutine GlyphBlit = nullptr;

void SelectDrawTables() {
    int bits = ScreenState.bitsPerPixel;
    const BlitTable* blits = nullptr;
    const PrimTable* prims = nullptr;
    bool mmx = EngineConfig.SystemConfig & 8;
    if (bits == 8) {
        blits = &BlitSet8;
        prims = &PrimSet8;
    } else if (bits == 15 || bits == 16) {
        blits = &BlitSet16;
        prims = &PrimSet16;
    } else if ((bits == 24 || bits == 32) && ScreenState.bytesPerPixel == 3) {
        // A packed 24-bit screen: the 4-byte sets would step past each
        // pixel and past the end of every row.
        blits = mmx ? &BlitSet24Mmx : &BlitSet24;
        prims = mmx ? &PrimSet24Mmx : &PrimSet24;
    } else if (bits == 24 || bits == 32) {
        blits = mmx ? &BlitSet32Mmx : &BlitSet32;
        prims = mmx ? &PrimSet32Mmx : &PrimSet32;
    }
    if (blits) {
        ActiveBlitTable = *blits;
        ActivePrimTable = *prims;
    } else {
        ErrorHook(0x2107, bits);  // "Couldn't register video depth %d": the tables stay as they were
    }
    if (ActiveBlitTable.Setup) ActiveBlitTable.Setup();
    GlyphBlit = ActiveBlitTable.modes[1];
    const ScreenStateRecord& s = ScreenState;
    if (s.bytesPerPixel <= 1) {
        ScreenWhite = 0xFF;
    } else {
        auto channel = [](int size, int shift) { return (0xFFu >> (8 - size)) << shift; };
        ScreenWhite = channel(s.redSize, s.redShift) | channel(s.greenSize, s.greenShift) |
                      channel(s.blueSize, s.blueShift);
    }
}

void DDrawSetPaletteFullScreen(int32_t first, int32_t count, const uint8_t* rgb) {
    host::Palette* palette = DDrawPaletteObject();
    if (!palette || count <= 0 || first < 0 || first + count > 256) return;
    host::PaletteEntry entries[256];
    for (int i = 0; i < count; ++i)
        entries[i] = {rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], host::PC_RESERVED | host::PC_NOCOLLAPSE};
    if ((ScreenState.flags & kScreenWaitVbl) && !(EngineConfig.VideoConfig & 0x10))
        host::DDWaitForVerticalBlank(DDrawObject(), host::DDWAITVB_BLOCKBEGIN);
    host::PaletteSetEntries(palette, first, count, entries);
}

int WaitVerticalBlank() {
    // No thread priorities to juggle here: the wait answers or it does not.
    return host::DDWaitForVerticalBlank(DDrawObject(), host::DDWAITVB_BLOCKBEGIN | host::DDWAITVB_BLOCKEND) ==
                   host::DD_OK
               ? 0
               : 1;
}

int DrawGdiText(const char* text, int x, int y, const uint8_t* colour, int height, const char* face, uint8_t flags) {
    if (!text || !face) return 0;
    if (std::strncmp(face, g_face, sizeof g_face - 1) != 0 || (flags & kGdiNewFont)) {
        // The cache holds 31 characters; a longer face name is cut.
        std::snprintf(g_face, sizeof g_face, "%s", face);
        if (g_font) host::DeleteFont(g_font);
        g_font = host::CreateFont(height, (flags & kGdiBold) ? host::FW_BOLD : host::FW_NORMAL, flags & kGdiItalic,
                                  flags & kGdiUnderline, flags & kGdiStrikeOut, g_face);
    }
    if (ScreenState.flags & kScreenInterlaced) y *= 2;
    if (!((flags & kGdiReuseDC) && g_dc)) {
        // A context kept by an earlier call and not reused now is given back.
        if (g_dc) {
            if (g_dcSurface) host::SurfaceReleaseDC(g_dcSurface, g_dc);
            else host::ReleaseWindowDC(MainWindow, g_dc);
            g_dc = nullptr;
        }
        host::Surface* surface = DDrawDrawingSurface();
        g_dcSurface = surface;
        g_dc = surface ? host::SurfaceGetDC(surface) : (MainWindow ? host::GetWindowDC(MainWindow) : nullptr);
    }
    if (!g_dc) return 0;
    int width = 0;
    host::SelectFont(g_dc, g_font);
    if (flags & kGdiMeasure) {
        host::Size size{0, 0};
        host::GetTextExtentPoint32(g_dc, text, static_cast<int>(std::strlen(text)), &size);
        width = size.cx;
    } else {
        host::SetBkMode(g_dc, host::TRANSPARENT);
        host::SetTextColor(g_dc, uint32_t(colour[0]) | uint32_t(colour[1]) << 8 | uint32_t(colour[2]) << 16);
        host::TextOut(g_dc, x, y, text, static_cast<int>(std::strlen(text)));
    }
    if (!(flags & kGdiKeepDC)) {
        if (g_dcSurface) host::SurfaceReleaseDC(g_dcSurface, g_dc);
        else host::ReleaseWindowDC(MainWindow, g_dc);
        g_dc = nullptr;
        g_dcSurface = nullptr;
    }
    return width;
}
