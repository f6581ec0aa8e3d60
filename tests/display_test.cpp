// The screen state, the display driver and its presentation, on the
// headless display.
#include "host/display.h"
#include "host/headless/headless.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/gx_alloc.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "program/winmain.h"
#include "render/d3d_display.h"
#include "test_support.h"

#include <cstring>
#include <vector>

namespace {

std::vector<int> g_errors;
int RecordError(int code, ErrorDetail) {
    g_errors.push_back(code);
    return 1;
}

class DisplayTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        saved_ = EngineConfig;
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
        g_errors.clear();
        g_SoftwareDisplay = 1;
        ScreenState = ScreenStateRecord{};
        EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
        MainWindow = nullptr;
        ASSERT_EQ(CreateMainWindow(nullptr, nullptr, ""), 0);
    }
    void TearDown() override {
        if (CurrentVideoDriver) CurrentVideoDriver->Release();
        CurrentVideoDriver = nullptr;
        MemFree(ModeList);
        ModeList = nullptr;
        EngineConfig = saved_;
        ErrorHook = EngineErrorHook;
        MainWindow = nullptr;
        AppActive = 0;
        HeadlessTest::TearDown();
    }
    void Open(bool windowed) {
        if (windowed) EngineConfig.VideoConfig |= 0x10;
        else EngineConfig.VideoConfig &= ~0x10u;
        DDrawInstall();
        ASSERT_EQ(DisplayOpen(0), 1);
    }
    // The run body's set-up: 640 x 480 x 16 with the back page in display
    // memory, then the pages.
    void Start(bool windowed, int pages = 1) {
        Open(windowed);
        int mode = CurrentVideoDriver->FindMode(640, 480, 16);
        ASSERT_NE(mode, 0);
        ScreenState.flags |= kScreenBackInVideo | kScreenWaitVbl;
        CurrentVideoDriver->SetModeNumber(mode);
        CurrentVideoDriver->CreateBuffers(pages);
    }
    uint16_t* Pixels() { return reinterpret_cast<uint16_t*>(CurrentVideoDriver->Lock(CurrentVideoDriver)); }
    void Unlock() { CurrentVideoDriver->Unlock(CurrentVideoDriver); }
    EngineConfigRecord saved_;
};

}  // namespace

TEST_F(DisplayTest, SeventyModesKeepSixtyThree) {
    host::headless::SetModeCount(70);
    Open(false);
    EXPECT_EQ(ModeCount, 63);
    for (int i = 0; i < 63; ++i) ASSERT_EQ(ModeList[i].number, i + 1);
    EXPECT_EQ(ModeList[63].number, 0);  // the list ends at record 63
    EXPECT_STREQ(DDrawDriver.name, "Primary Display Driver");
    ModeRecord* sixteen = CurrentVideoDriver->ListModes(16);
    int n = 0;
    while (sixteen[n].number) {
        EXPECT_EQ(sixteen[n].bits, 16);
        ++n;
    }
    EXPECT_EQ(n, 21);
    MemFree(sixteen);
}

TEST_F(DisplayTest, FindModeInAWindowAnswersAnySize) {
    Open(true);
    EXPECT_EQ(CurrentVideoDriver->FindMode(640, 480, 16), 1);
    EXPECT_EQ(ModeList[0].width, 640);
    EXPECT_EQ(ModeList[0].height, 480);
    EXPECT_EQ(CurrentVideoDriver->FindMode(333, 222, 16), 1);
    EXPECT_EQ(ModeList[0].width, 333);
    EngineConfig.VideoConfig &= ~0x10u;
    EXPECT_EQ(CurrentVideoDriver->FindMode(334, 222, 16), 0);  // full screen: listed modes only
}

TEST_F(DisplayTest, SetupWindowSetsStyleAndLevelOnce) {
    Start(false);
    EXPECT_EQ(host::DDCooperativeLevel(DDrawObject()),
              host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN | host::DDSCL_ALLOWREBOOT);
    EXPECT_EQ(host::GetWindowLong(MainWindow, host::GWL_STYLE), host::WS_POPUP);
    EXPECT_TRUE(host::headless::FullScreen());
    host::SetWindowLong(MainWindow, host::GWL_STYLE, host::WS_CAPTION);
    host::DDRestoreDisplayMode(DDrawObject());
    int again = CurrentVideoDriver->FindMode(800, 600, 16);
    CurrentVideoDriver->SetupWindow(again);
    EXPECT_EQ(host::GetWindowLong(MainWindow, host::GWL_STYLE), host::WS_CAPTION);  // not set twice
    EXPECT_TRUE(host::headless::FullScreen());                                     // the mode applied again
}

TEST_F(DisplayTest, WindowedStyleCentresTheWindow) {
    Start(true);
    EXPECT_EQ(host::GetWindowLong(MainWindow, host::GWL_STYLE),
              host::WS_CAPTION | host::WS_SYSMENU);  // shown, so the visible bit is the window's state
    EXPECT_TRUE(host::IsWindowVisible(MainWindow));
    EXPECT_EQ(host::DDCooperativeLevel(DDrawObject()), host::DDSCL_NORMAL);
    host::Rect r;
    host::GetClientRect(MainWindow, &r);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    EXPECT_FALSE(host::headless::FullScreen());
}

TEST_F(DisplayTest, LockTwiceAnswersTheSamePage) {
    Start(false);
    uint16_t* a = Pixels();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(ScreenState.flags2 & kScreen2Locked, kScreen2Locked);
    EXPECT_EQ(Pixels(), a);
    Unlock();
    EXPECT_EQ(ScreenState.pages[1], nullptr);
    EXPECT_EQ(ScreenState.flags2 & kScreen2Locked, 0);
    EXPECT_EQ(ScreenState.pitch, 1280u);
}

TEST_F(DisplayTest, PaddedDisplayMemoryPitchIsUsed) {
    host::headless::SetVideoPitchPadding(64);
    Start(false);
    EXPECT_EQ(ScreenState.pitch, 1344u);  // the flip chain's own pitch
}

TEST_F(DisplayTest, FullScreenPresentsFiveSixFive) {
    Start(false);
    EXPECT_EQ(ScreenWhite, 0xFFFFu);
    EXPECT_EQ(ScreenState.redShift, 11);
    EXPECT_EQ(ScreenState.greenSize, 6);
    uint16_t* p = Pixels();
    p[0] = 0xF800;  // red
    p[1] = 0x07E0;  // green
    Unlock();
    uint64_t before = host::headless::PresentedFrames();
    PresentHook();
    EXPECT_EQ(host::headless::PresentedFrames(), before + 1);
    const auto& f = host::headless::LastFrame();
    EXPECT_EQ(f.format.greenMask, 0x07E0u);
    EXPECT_EQ(f.xrgb[0], 0xFF0000u);
    EXPECT_EQ(f.xrgb[1], 0x00FF00u);
    // After the flip the drawing page is the old front page.
    EXPECT_EQ(Pixels()[0], 0);
    Unlock();
}

TEST_F(DisplayTest, WindowedSixteenBitsPresentAsFiveFiveFive) {
    Start(true);
    EXPECT_EQ(ScreenWhite, 0x7FFFu);
    EXPECT_EQ(ScreenState.greenSize, 5);
    uint16_t* p = Pixels();
    p[0] = 0x7C00;  // red in 5-5-5
    p[640 + 1] = 0x03E0;
    Unlock();
    PresentHook();
    const auto& f = host::headless::LastFrame();
    ASSERT_EQ(f.width, 640);
    EXPECT_EQ(f.xrgb[0], 0xFF0000u);
    EXPECT_EQ(f.xrgb[640 + 1], 0x00FF00u);
    EXPECT_EQ(Pixels()[0], 0x7C00);  // a windowed present leaves the back page as it was
    Unlock();
}

TEST_F(DisplayTest, ClearPagesLeavesBothPagesBlack) {
    Start(false);
    for (int i = 0; i < 2; ++i) {
        uint16_t* p = Pixels();
        std::fill(p, p + 640 * 480, uint16_t(0x1234));
        Unlock();
        PresentHook();
    }
    ActivePrimTable.ClearPages();
    for (int i = 0; i < 2; ++i) {
        uint16_t* p = Pixels();
        EXPECT_EQ(std::count(p, p + 640 * 480, 0), 640 * 480);
        Unlock();
        PresentHook();
    }
}

TEST_F(DisplayTest, CopyPageAndTheRowCopyWithoutBlitHardware) {
    Start(true, 2);
    ASSERT_NE(DDrawPageSurface(2), nullptr);
    ScreenState.flags |= kScreenFrontPage;  // draw on page 0? no: use the pages by number
    ScreenState.flags &= ~kScreenFrontPage;
    uint16_t* p = Pixels();
    for (int i = 0; i < 640 * 480; ++i) p[i] = uint16_t(i);
    Unlock();
    ActivePrimTable.CopyPage(0, 0);  // page 1 onto itself
    p = Pixels();
    EXPECT_EQ(p[12345], 12345);
    Unlock();
    ActivePrimTable.CopyPage(2, 0);  // page 1 onto page 2
    host::headless::SetNoBltHardware(true);
    p = Pixels();
    std::fill(p, p + 640 * 480, uint16_t(0));
    Unlock();
    ActivePrimTable.CopyPage(0, 2);  // back, by rows
    p = Pixels();
    EXPECT_EQ(p[12345], 12345);
    EXPECT_EQ(p[640 * 480 - 1], uint16_t(640 * 480 - 1));
    Unlock();
}

TEST_F(DisplayTest, LostSurfaceIsRestoredOnActivation) {
    Start(false);
    host::headless::LoseSurfaces();
    EXPECT_EQ(CurrentVideoDriver->Lock(CurrentVideoDriver), nullptr);
    host::SendMessage(MainWindow, host::WM_ACTIVATEAPP, 1, 0);
    EXPECT_NE(Pixels(), nullptr);
    Unlock();
}

TEST_F(DisplayTest, StillDrawingIsWaitedFor) {
    Start(false);
    host::headless::InjectStillDrawing(3);
    EXPECT_NE(Pixels(), nullptr);
    Unlock();
}

TEST_F(DisplayTest, GeometryOfTheModes) {
    struct {
        int w, h, bits;
        uint8_t bytes;
        uint32_t aspect;
    } cases[] = {{640, 480, 15, 2, 17}, {800, 600, 24, 3, 17}, {320, 200, 8, 1, 21}, {640, 480, 32, 4, 17}};
    for (const auto& c : cases) {
        SetScreenGeometry(c.w, c.h, c.bits);
        EXPECT_EQ(ScreenState.bytesPerPixel, c.bytes);
        EXPECT_EQ(ScreenState.aspect, c.aspect);
        EXPECT_EQ(ScreenState.pitch, uint32_t(c.w) * c.bytes);
        EXPECT_EQ(ScreenState.frameSize, ScreenState.pitch * uint32_t(c.h));
        EXPECT_EQ(ScreenState.clipRight, c.w - 1);
        EXPECT_EQ(ScreenState.clipBottom, c.h - 1);
        EXPECT_EQ(ScreenState.clipLeft, 0);
    }
    ScreenState.flags = 0x0A;
    SetScreenGeometry(640, 480, 16);
    EXPECT_EQ(ScreenState.flags2 & kScreen2DisplayPage1, kScreen2DisplayPage1);
}

TEST_F(DisplayTest, DrawTablesByDepth) {
    ScreenState.bitsPerPixel = 16;
    ScreenState.bytesPerPixel = 2;
    ScreenState.redSize = ScreenState.greenSize = ScreenState.blueSize = 5;
    ScreenState.redShift = 10;
    ScreenState.greenShift = 5;
    SelectDrawTables();
    EXPECT_EQ(ScreenWhite, 0x7FFFu);
    EXPECT_EQ(GlyphBlit, ActiveBlitTable.modes[1]);
    ScreenState.bitsPerPixel = 8;
    ScreenState.bytesPerPixel = 1;
    SelectDrawTables();
    EXPECT_EQ(ScreenWhite, 0xFFu);
    ScreenState.bitsPerPixel = 12;
    try {
        SelectDrawTables();
        FAIL() << "a 12-bit mode is refused";
    } catch (const FatalReturn&) {
        EXPECT_STREQ(FatalText, "Couldn't register video depth 12");
    }
}

TEST_F(DisplayTest, DisplaySetupInstallsThePageRoutines) {
    Start(false);
    EXPECT_EQ(ActivePrimTable.ClearPages, DDrawClearPages);
    EXPECT_EQ(ActivePrimTable.ClearScreen, DDrawClearBack);  // back page in display memory, full screen
    EXPECT_EQ(ActivePrimTable.FillRect, DDrawFillRect);
    ActivePrimTable.FillRect(10, 10, 19, 19, 0xFFFF);
    uint16_t* p = Pixels();
    EXPECT_EQ(p[10 * 640 + 10], 0xFFFF);
    EXPECT_EQ(p[19 * 640 + 19], 0xFFFF);
    EXPECT_EQ(p[20 * 640 + 20], 0);
    Unlock();
}

TEST_F(DisplayTest, EightBitPaletteShowsItsColours) {
    Open(false);
    int mode = CurrentVideoDriver->FindMode(640, 480, 8);
    ASSERT_NE(mode, 0);
    CurrentVideoDriver->SetModeNumber(mode);
    CurrentVideoDriver->CreateBuffers(1);
    EXPECT_EQ(ActivePrimTable.SetPalette, DDrawSetPaletteFullScreen);
    uint8_t rgb[3] = {10, 20, 30};
    ScreenState.flags |= kScreenWaitVbl;
    ActivePrimTable.SetPalette(1, 1, rgb);
    uint8_t* p = CurrentVideoDriver->Lock(CurrentVideoDriver);
    ASSERT_NE(p, nullptr);
    p[5] = 1;
    Unlock();
    PresentHook();
    EXPECT_EQ(host::headless::LastFrame().xrgb[5], 0x0A141Eu);
}

TEST_F(DisplayTest, ErrorsOfBufferCreationLetItGoOn) {
    ErrorHook = RecordError;
    host::headless::SetFailures(false, false, true, true, false);
    Start(false, 2);
    EXPECT_EQ(g_errors, (std::vector<int>{0x2101, 0x2102, 0x2103}));
    EXPECT_EQ(CurrentVideoDriver->Lock(CurrentVideoDriver), nullptr);  // drawing is skipped
    g_errors.clear();
    host::headless::SetFailures(false, true, false, false, false);
    CurrentVideoDriver->SetupWindow(99);
    EXPECT_EQ(g_errors, (std::vector<int>{0x2100}));
}

TEST_F(DisplayTest, OpenFailureAndQuietOpen) {
    ErrorHook = RecordError;
    host::headless::SetFailures(true, false, false, false, false);
    DDrawInstall();
    EXPECT_EQ(DisplayOpen(1), 0);
    EXPECT_TRUE(g_errors.empty());
    EXPECT_EQ(DisplayOpen(0), 0);
    EXPECT_EQ(g_errors, (std::vector<int>{0x2106}));
    g_SoftwareDisplay = 0;  // the 3D layer owns the display
    EXPECT_EQ(DisplayOpen(0), 1);
}

TEST_F(DisplayTest, ReleaseKeepsObjectsOthersStillHold) {
    host::headless::SetExtraDisplayReferences(1);
    Start(false);
    CurrentVideoDriver->Release();
    EXPECT_TRUE(DDrawObjectExists());
    EXPECT_FALSE(DDrawBuffersExist());
    CurrentVideoDriver->Release();
    EXPECT_FALSE(DDrawObjectExists());
}

TEST_F(DisplayTest, VideoPoolSitsOnTheFrameBuffer) {
    Start(false);
    EXPECT_EQ(VideoPool.poolOn, 1u);
    // Bounded by the page under it, not by the whole display memory.
    EXPECT_EQ(VideoTotalMemory, 8u << 20);
    EXPECT_EQ(VideoPool.size, uint32_t(DDrawLockPitch) * 480u);
    EXPECT_GE(DDrawLockPitch, 640 * 2);
    EngineConfig.MemoryAlignment = 1;
    VideoPool.Enable();
    VideoPool.Alloc(5);
    EXPECT_EQ(VideoPool.position, 8u);
    VideoPool.Mark();
    VideoPool.Alloc(100);
    void* last = VideoPool.Alloc(100);
    VideoPool.Free(VideoPool.base);  // not the last block: nothing
    EXPECT_EQ(VideoPool.position, 208u);
    VideoPool.Free(last);
    EXPECT_EQ(VideoPool.position, 108u);
    VideoPool.Release(-1);
    EXPECT_EQ(VideoPool.position, 8u);
    // A block of 1 MB or more ends on a 32-byte address.
    uintptr_t start = reinterpret_cast<uintptr_t>(VideoPool.base) + 8;
    uintptr_t end = (start + (1u << 20) + 31) & ~uintptr_t(31);
    EXPECT_THROW(VideoPool.Alloc(1u << 20), FatalReturn);
    char expected[64];
    std::snprintf(expected, sizeof expected, "gx_alloc.c:video_reserve %d/%u failed",
                  int(end - reinterpret_cast<uintptr_t>(VideoPool.base)), VideoPool.size);
    EXPECT_STREQ(FatalText, expected);
    // The whole page may be carved, a byte more may not.
    VideoPool.Release(0);
    EngineConfig.MemoryAlignment = 2;
    uint8_t* page = static_cast<uint8_t*>(VideoPool.Alloc(VideoPool.size));
    EXPECT_EQ(page, VideoPool.base);
    EXPECT_THROW(VideoPool.Alloc(1), FatalReturn);
}

TEST_F(DisplayTest, VideoPoolSizeNearTheWordLimitIsRefused) {
    Start(false);
    for (uint8_t alignment : {0, 1, 2}) {
        EngineConfig.MemoryAlignment = alignment;
        VideoPool.Enable();
        FatalText[0] = 0;
        // Rounding 0xFFFFFFFF up must not wrap to a small block.
        EXPECT_THROW(VideoPool.Alloc(0xFFFFFFFFu), FatalReturn);
        EXPECT_NE(std::strstr(FatalText, "video_reserve"), nullptr);
        EXPECT_EQ(VideoPool.position, 0u);
        EXPECT_THROW(VideoPool.Alloc(0xFFFFFFFEu), FatalReturn);
    }
}

TEST(GxPoolLimit, BoundedByTheMemoryUnderThePage) {
    EXPECT_EQ(GxPoolLimit(8u << 20, 1280, 480), 614400u);
    EXPECT_EQ(GxPoolLimit(1u << 20, 4096, 480), 1u << 20);
    EXPECT_EQ(GxPoolLimit(8u << 20, 0, 480), 0u);
    EXPECT_EQ(GxPoolLimit(8u << 20, -1280, 480), 0u);
    EXPECT_EQ(GxPoolLimit(0xFFFFFFFFu, 0x10000, 0x10000), 0xFFFFFFFFu);  // the product does not wrap
}

TEST_F(DisplayTest, SavedPagesGoAndComeBack) {
    Start(true, 3);
    ASSERT_EQ(ScreenState.flags & kScreenBackInVideo, 0);  // a window keeps no back page in display memory
    uint16_t* p = Pixels();
    p[777] = 0x1F;
    Unlock();
    SaveToPage(0);  // the drawing page into page 2
    p = Pixels();
    p[777] = 0;
    Unlock();
    RestoreSavedPage(0);
    p = Pixels();
    EXPECT_EQ(p[777], 0x1F);
    Unlock();
}

TEST_F(DisplayTest, GdiTextLandsInsideItsWidthInItsColour) {
    const char* font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(font)) GTEST_SKIP() << "no system font";
    ASSERT_EQ(host::AddFontResource(host::ToSystemPath(font).c_str()), 1);
    Start(false);
    const uint8_t red[3] = {255, 0, 0};
    int width = DrawGdiText("Morvanel", 0, 0, red, 20, "DejaVu Sans", kGdiMeasure);
    EXPECT_GT(width, 40);
    EXPECT_EQ(DrawGdiText("Morvanel", 100, 50, red, 20, "DejaVu Sans", 0), 0);
    uint16_t* p = Pixels();
    int inside = 0, outside = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            uint16_t v = p[y * 640 + x];
            if (!v) continue;
            EXPECT_EQ(v, 0xF800) << x << "," << y;
            bool in = x >= 100 && x < 100 + width && y >= 50 && y < 70;
            (in ? inside : outside)++;
        }
    }
    Unlock();
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
    // The interlaced display doubles the drawing position, not the width.
    ScreenState.flags |= kScreenInterlaced;
    EXPECT_EQ(DrawGdiText("Morvanel", 0, 0, red, 20, "DejaVu Sans", kGdiMeasure), width);
    // A new height needs the new-font flag.
    EXPECT_EQ(DrawGdiText("Morvanel", 0, 0, red, 40, "DejaVu Sans", kGdiMeasure), width);
    EXPECT_GT(DrawGdiText("Morvanel", 0, 0, red, 40, "DejaVu Sans", kGdiMeasure | kGdiNewFont), width);
    host::ClearFonts();
}

TEST_F(DisplayTest, FullScreenPresentReturnsWhenTheSurfaceStaysLost) {
    Start(false);
    host::headless::SetWrongModeOnRestore(true);  // restoring cannot bring it back
    host::headless::LoseSurfaces();
    PresentHook();  // one try, an activation, and back to the game
    host::headless::SetWrongModeOnRestore(false);
    host::SendMessage(MainWindow, host::WM_ACTIVATEAPP, 1, 0);
    uint64_t frames = host::headless::PresentedFrames();
    PresentHook();
    EXPECT_EQ(host::headless::PresentedFrames(), frames + 1);
}

TEST_F(DisplayTest, SeventhSavedPageWithoutTheBackPageInDisplayMemory) {
    EngineConfig.SystemId = 0;  // saved page n is page n + 1 here
    Start(true, 7);
    uint16_t* p = Pixels();
    p[3] = 0x1234;
    Unlock();
    SaveToPage(6);  // page 7
    p = Pixels();
    p[3] = 0;
    Unlock();
    RestoreSavedPage(6);
    p = Pixels();
    EXPECT_EQ(p[3], 0x1234);
    Unlock();
}

TEST_F(DisplayTest, KeptGdiContextIsGivenBackByTheNextCall) {
    const char* font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(font)) GTEST_SKIP() << "no system font";
    ASSERT_EQ(host::AddFontResource(host::ToSystemPath(font).c_str()), 1);
    Start(false);
    const uint8_t white[3] = {255, 255, 255};
    DrawGdiText("kept", 0, 0, white, 16, "DejaVu Sans", kGdiKeepDC);
    EXPECT_EQ(CurrentVideoDriver->Lock(CurrentVideoDriver), nullptr);  // the kept context holds the page
    DrawGdiText("again", 0, 20, white, 16, "DejaVu Sans", kGdiReuseDC | kGdiKeepDC);
    DrawGdiText("fresh", 0, 40, white, 16, "DejaVu Sans", 0);
    EXPECT_NE(Pixels(), nullptr);  // given back
    Unlock();
    host::ClearFonts();
}
