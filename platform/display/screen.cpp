// The screen description and the mode set-up.
#include "platform/display/screen.h"

#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/settings.h"

#include <cstring>

ScreenStateRecord ScreenState = {};

static void PresentNothing() {}
static int ApplyNothing() {
    return 1;
}

void (*PresentHook)() = PresentNothing;
int (*ModeApplyHook)() = ApplyNothing;

void SetScreenGeometry(int width, int height, int bits) {
    ScreenStateRecord& s = ScreenState;
    s.bitsPerPixel = static_cast<uint8_t>(bits);
    s.bytesPerPixel = static_cast<uint8_t>((bits + 1) / 8);
    s.pitch = uint32_t(width) * s.bytesPerPixel;
    s.frameSize = s.pitch * uint32_t(height);
    s.width = uint32_t(width);
    s.height = uint32_t(height);
    s.clipLeft = 0;
    s.clipTop = 0;
    s.clipRight = width - 1;
    s.clipBottom = height - 1;
    s.aspect = height > 0 ? uint32_t(80 * width) / uint32_t(6 * height) : 0;
    if ((s.flags & 0x0A) == 0x0A) s.flags2 |= kScreen2DisplayPage1;
}

void ScreenModeSet(int width, int height, int bits) {
    SetScreenGeometry(width, height, bits);
    ScreenState.bitsPerPixel = static_cast<uint8_t>(bits);
    DisplaySetup();
    ScreenState.flags2 &= static_cast<uint8_t>(~kScreen2DisplayPage1);
}

static void DoNothing() {}
static void SetNoPalette(int32_t, int32_t, const uint8_t*) {}

void DisplaySetup() {
    SelectDrawTables();
    PrimTable& p = ActivePrimTable;
    p.ClearScreen = ClearFrameBuffer;
    p.ClearPages = DDrawClearPages;
    p.CopyPage = DDrawCopyPage;
    p.Nothing = DoNothing;
    bool windowed = EngineConfig.VideoConfig & 0x10;
    if (ScreenState.bitsPerPixel == 8) p.SetPalette = windowed ? DDrawSetPaletteWindowed : DDrawSetPaletteFullScreen;
    else p.SetPalette = SetNoPalette;
    if ((ScreenState.flags & kScreenBackInVideo) && !windowed) {
        p.ClearScreen = DDrawClearBack;
        p.CopyPage = DDrawCopyPage;
        p.FillRect = DDrawFillRect;
    }
}

void ClearFrameBuffer() {
    if (ScreenState.frameBuffer) std::memset(ScreenState.frameBuffer, 0, ScreenState.frameSize);
}

// The drawing page of a plain copy: page 1 while the display shows page 1.
static uint8_t* DrawingPage() {
    return ScreenState.pages[(ScreenState.flags2 & kScreen2DisplayPage1) ? 1 : 0];
}

// Saved page n is page n + 2 (n + 1 without the back page in display memory
// on a System Id other than 2): it must be one of the eight.
static bool SavedPageExists(int n) {
    bool plusTwo = (ScreenState.flags & kScreenBackInVideo) || EngineConfig.SystemId == 2;
    return n >= 0 && n <= (plusTwo ? 5 : 6);
}

void RestoreSavedPage(int n) {
    if (!SavedPageExists(n)) return;
    ScreenStateRecord& s = ScreenState;
    if (s.flags & kScreenBackInVideo) {
        uint8_t kind = s.pageKinds[n + 2];
        if (kind == 0) {
            uint8_t* to = DrawingPage();
            if (to && s.pages[n + 2]) std::memcpy(to, s.pages[n + 2], s.frameSize);
        } else {
            int destination = kind == 1 ? 1 : ((s.flags2 & kScreen2DisplayPage1) ? 1 : 0);
            ActivePrimTable.CopyPage(destination, n + 2);
        }
    } else {
        ActivePrimTable.CopyPage(0, EngineConfig.SystemId == 2 ? n + 2 : n + 1);
    }
}

void SaveToPage(int n) {
    if (!SavedPageExists(n)) return;
    ScreenStateRecord& s = ScreenState;
    if (s.flags & kScreenBackInVideo) {
        uint8_t kind = s.pageKinds[n + 2];
        if (kind == 0) {
            uint8_t* from = DrawingPage();
            if (from && s.pages[n + 2]) std::memcpy(s.pages[n + 2], from, s.frameSize);
        } else {
            int source = kind == 1 ? 1 : ((s.flags2 & kScreen2DisplayPage1) ? 1 : 0);
            ActivePrimTable.CopyPage(n + 2, source);
        }
    } else {
        ActivePrimTable.CopyPage(EngineConfig.SystemId == 2 ? n + 2 : n + 1, 0);
    }
}
