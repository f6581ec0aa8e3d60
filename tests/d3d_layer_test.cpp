// The Direct3D layer and the display start of game-d3d, on the headless
// display and 3D device.
#include "engine3d/dqx_3d.h"
#include "host/d3d.h"
#include "host/display_internal.h"
#include "host/headless/headless.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/gx_alloc.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "program/winmain.h"
#include "render/d3d_display.h"
#include "render/d3d_layer.h"
#include "render/d3d_scene.h"
#include "render/spans/span_display.h"
#include "test_support.h"

#include <cstring>

namespace {

class LayerTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::ResetD3D();
        saved_ = EngineConfig;
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
        ScreenState = ScreenStateRecord{};
        EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
        MainWindow = nullptr;
        ASSERT_EQ(CreateMainWindow(nullptr, nullptr, ""), 0);
        layer_ = new Direct3dLayer;
        layer_->window = MainWindow;
    }
    void TearDown() override {
        delete layer_;
        D3D_DestroyLayer();
        if (CurrentVideoDriver) CurrentVideoDriver->Release();
        CurrentVideoDriver = nullptr;
        MemFree(ModeList);
        ModeList = nullptr;
        host::ResetD3D();
        EngineConfig = saved_;
        MainWindow = nullptr;
        g_SoftwareDisplay = 0;
        HeadlessTest::TearDown();
    }
    uint16_t BackPixel(int x, int y) {
        uint8_t* p = nullptr;
        int pitch = 0;
        EXPECT_EQ(host::SurfaceLock(layer_->backBuffer, 0, &p, &pitch), host::DD_OK);
        uint16_t v = 0;
        std::memcpy(&v, p + y * pitch + x * 2, 2);
        host::SurfaceUnlock(layer_->backBuffer);
        return v;
    }
    Direct3dLayer* layer_ = nullptr;
    EngineConfigRecord saved_;
};

}  // namespace

TEST_F(LayerTest, StartCodes) {
    EXPECT_EQ(layer_->Init(0, false, 0), 0);
    EXPECT_EQ(layer_->hardware, 1);
    EXPECT_EQ(layer_->width, 640);
    EXPECT_NE(layer_->device, nullptr);
    EXPECT_NE(layer_->zBuffer, nullptr);

    host::D3DConfig().devices.pop_back();  // no hardware device listed
    EXPECT_EQ(layer_->Init(0, false, 0), 15);
    EXPECT_NE(layer_->device, nullptr);  // everything started all the same
    host::ResetD3D();

    host::D3DConfig().failCreate = true;
    EXPECT_EQ(layer_->Init(0, false, 0), 8);
    host::ResetD3D();
    host::D3DConfig().failAttachZ = true;
    EXPECT_EQ(layer_->Init(0, false, 0), 7);
    host::ResetD3D();
    host::D3DConfig().failDevice = true;
    EXPECT_EQ(layer_->Init(0, false, 0), 9);
    host::ResetD3D();
    host::headless::SetFailures(false, false, true, false, false);
    EXPECT_EQ(layer_->Init(0, false, 0), 3);
    host::headless::SetFailures(false, false, false, true, false);
    EXPECT_EQ(layer_->Init(0, false, 0), 5);  // the window's back buffer
    host::headless::SetFailures(true, false, false, false, false);
    EXPECT_EQ(layer_->Init(0, false, 0), 2);
    host::headless::SetFailures(false, false, false, false, false);
    EXPECT_EQ(layer_->Init(7, false, 0), 2);  // no such driver record
}

TEST_F(LayerTest, NoModeOf640x480x16) {
    host::headless::RemoveMode(640, 480, 16);
    EXPECT_EQ(layer_->Init(0, false, 0), 2);
}

TEST_F(LayerTest, FullScreenAndWindowStarts) {
    host::D3DConfig().failVideoMemoryPrimary = true;  // taken again out of display memory
    EXPECT_EQ(layer_->Init(0, true, 0), 0);
    EXPECT_TRUE(host::headless::FullScreen());
    EXPECT_EQ(host::DDCooperativeLevel(layer_->directDraw), host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN);
    EXPECT_NE(layer_->backBuffer, nullptr);  // the flip chain's
    layer_->ReleaseAll();
    host::DDRestoreDisplayMode(nullptr);
    host::headless::Reset();
    EXPECT_EQ(layer_->Init(0, false, 0), 0);
    EXPECT_FALSE(host::headless::FullScreen());  // a window start sets no display mode
}

TEST_F(LayerTest, ErrorTexts) {
    char text[80];
    Direct3dLayer::ErrorText(0, text, sizeof text);
    EXPECT_STREQ(text, "aucune erreur");
    Direct3dLayer::ErrorText(3, text, sizeof text);
    EXPECT_STREQ(text, "erreur cr\xe9" "ation PRIMARY surface");
    Direct3dLayer::ErrorText(8, text, sizeof text);
    EXPECT_STREQ(text, "cette application requiert la version 5.0 de DirectX");
    Direct3dLayer::ErrorText(42, text, sizeof text);
    EXPECT_STREQ(text, "erreur DIRECTX / DIRECT3D");
}

TEST_F(LayerTest, TextureFormatsAndTheirColourKeys) {
    ASSERT_EQ(layer_->Init(0, false, 0), 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(layer_->textureFormats[i].found, 1) << i;
    uint8_t texels[16 * 16] = {};
    uint32_t colours[32 * 256];
    for (int i = 0; i < 32 * 256; ++i) colours[i] = 0xF8000000u;  // red in the high half
    C3Dtexture pal{};
    ASSERT_TRUE(layer_->CreateTexture(&pal, texels, layer_->textureFormats[kC3DPalettised].format, 8, 16, 16, colours));
    ASSERT_NE(pal.palette, nullptr);
    EXPECT_EQ(pal.palette->entries[7].red, 0xF8);
    EXPECT_EQ(pal.palette->entries[7].flags, 255);
    EXPECT_TRUE(layer_->SetColourKey(&pal));
    EXPECT_TRUE(pal.surface->colourKey);
    EXPECT_EQ(pal.surface->keyLow, 0u);
    uint16_t texels16[16 * 16] = {};
    C3Dtexture rgb{};
    ASSERT_TRUE(layer_->CreateTexture(&rgb, reinterpret_cast<uint8_t*>(texels16),
                                      layer_->textureFormats[kC3DRgb565].format, 16, 16, 16, nullptr));
    EXPECT_TRUE(layer_->SetColourKey(&rgb));
    EXPECT_EQ(rgb.surface->keyLow, 0x07E0u);
    // A 1-5-5-5 colour map is opaque: its key is opaque full green.
    C3Dtexture argb{};
    ASSERT_TRUE(layer_->CreateTexture(&argb, reinterpret_cast<uint8_t*>(texels16),
                                      layer_->textureFormats[kC3DArgb1555].format, 16, 16, 16, nullptr));
    EXPECT_TRUE(layer_->SetColourKey(&argb));
    EXPECT_EQ(argb.surface->keyLow, 0x83E0u);
    EXPECT_EQ(argb.surface->keyHigh, 0x83E0u);
    layer_->ReleaseTexture(&argb);
    layer_->ReleaseTexture(&pal);
    layer_->ReleaseTexture(&rgb);
    EXPECT_EQ(pal.surface, nullptr);

    layer_->ReleaseAll();
    host::D3DConfig().palettised = false;
    ASSERT_EQ(layer_->Init(0, false, 0), 0);
    EXPECT_EQ(layer_->textureFormats[kC3DPalettised].found, 0);
    EXPECT_EQ(layer_->textureFormats[kC3DRgb565].found, 1);
}

TEST_F(LayerTest, ViewportClearAndPresent) {
    EXPECT_EQ(layer_->ClearTarget(), -1);  // no viewport yet
    ASSERT_EQ(layer_->Init(0, false, 0), 0);
    layer_->SetBackground(255, 0, 0);
    layer_->SetViewport(10, 10, 20, 20);
    EXPECT_EQ(layer_->ClearTarget(), 0);
    EXPECT_EQ(layer_->ClearZ(), 0);
    EXPECT_EQ(BackPixel(15, 15), 0xF800);
    EXPECT_EQ(BackPixel(5, 5), 0);
    uint64_t frames = host::headless::PresentedFrames();
    layer_->Present();
    EXPECT_EQ(host::headless::PresentedFrames(), frames + 1);
    EXPECT_EQ(host::headless::LastFrame().xrgb[15 * 640 + 15], 0xFF0000u);
}

TEST_F(LayerTest, LostSurfacesAreRestoredAtPresent) {
    ASSERT_EQ(layer_->Init(0, true, 0), 0);
    host::headless::LoseSurfaces();
    EXPECT_TRUE(host::SurfaceIsLost(layer_->primary));
    layer_->Present();
    EXPECT_FALSE(host::SurfaceIsLost(layer_->primary));
}

TEST_F(LayerTest, DriverNames) {
    EXPECT_EQ(layer_->GetDriverCount(), 2);
    char name[128];
    layer_->GetDriverName(0, name, sizeof name);
    EXPECT_STREQ(name, "Primary Display Driver");
    layer_->GetDriverName(5, name, sizeof name);
    EXPECT_STREQ(name, "");
    char small[8];
    layer_->GetDriverName(0, small, sizeof small);
    EXPECT_STREQ(small, "Primary");
}

namespace {

class DisplayStartTest : public LayerTest {
protected:
    void Start(bool windowed) {
        g_SoftwareDisplay = 1;
        DDrawInstall();
        ASSERT_EQ(DisplayOpen(0), 1);
        D3D_StartDisplay(windowed, 0);
        int mode = CurrentVideoDriver->FindMode(640, 480, 16);
        ASSERT_NE(mode, 0);
        ScreenState.flags |= 0x18;
        CurrentVideoDriver->SetModeNumber(mode);
        D3D_InstallDriverHooks();
        CurrentVideoDriver->CreateBuffers(1);
    }
};

}  // namespace

TEST_F(DisplayStartTest, WindowedStartDrawsIntoTheLayersBackBuffer) {
    Start(true);
    EXPECT_EQ(g_SoftwareDisplay, 0);
    EXPECT_EQ(g_3DPoolSize, 8u << 20);
    EXPECT_STRNE(DDrawDriver.name, "");
    EXPECT_EQ(CurrentVideoDriver->CreateBuffers, D3D_CreateBuffers);
    EXPECT_EQ(CurrentVideoDriver->Release, D3D_ReleaseDriver);
    EXPECT_EQ(PresentHook, D3D_PresentHook);
    EXPECT_NE(host::DDCooperativeLevel(D3D_GetDirectDraw()) & host::DDSCL_EXCLUSIVE, host::DDSCL_EXCLUSIVE);
    EXPECT_EQ(ScreenState.redShift, 11);
    EXPECT_EQ(ScreenState.greenSize, 6);
    EXPECT_EQ(ScreenState.halvingMask, 0xF7DEu);
    EXPECT_EQ(ScreenWhite, 0xFFFFu);
    auto* p = reinterpret_cast<uint16_t*>(CurrentVideoDriver->Lock(CurrentVideoDriver));
    ASSERT_NE(p, nullptr);
    p[100] = 0x001F;
    CurrentVideoDriver->Unlock(CurrentVideoDriver);
    PresentHook();
    EXPECT_EQ(host::headless::LastFrame().xrgb[100], 0x0000FFu);
    CurrentVideoDriver->Release();
    EXPECT_FALSE(DDrawObjectExists());
}

TEST_F(DisplayStartTest, FullScreenStartTakesTheDisplay) {
    Start(false);
    // The video pool over the back buffer: 1 MB asked, the page's memory given.
    EXPECT_EQ(VideoPool.poolOn, 1u);
    EXPECT_EQ(VideoPool.size, uint32_t(DDrawLockPitch) * 480u);
    EXPECT_LT(VideoPool.size, 1u << 20);
    EXPECT_EQ(host::DDCooperativeLevel(D3D_GetDirectDraw()),
              host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN | host::DDSCL_ALLOWREBOOT);
    EXPECT_TRUE(host::headless::FullScreen());
}

TEST_F(DisplayStartTest, FiveFiveFiveMasks) {
    host::headless::SetDisplay555(true);
    Start(false);
    EXPECT_EQ(ScreenState.halvingMask, 0x7BDEu);
    EXPECT_EQ(ScreenWhite, 0x7FFFu);
    uint8_t shift, size;
    D3D_MaskToShift(0, &shift, &size);
    EXPECT_EQ(shift, 0);
    EXPECT_EQ(size, 0);
}

TEST_F(DisplayStartTest, StartCodesAreShown) {
    host::D3DConfig().failDevice = true;
    host::headless::QueueBoxAnswer(host::IDRETRY);
    Start(true);
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    EXPECT_EQ(host::headless::Boxes()[0].text, "Direct Draw Fatal Error 9.\nChoose an other display driver.");
    host::headless::ClearBoxes();
    host::ResetD3D();
    host::D3DConfig().devices.pop_back();
    host::headless::QueueBoxAnswer(host::IDCANCEL);
    EXPECT_THROW(D3D_StartDisplay(true, 0), FatalReturn);
    EXPECT_STREQ(FatalText, "No HAL found. Choose software renderer mode.");
}

TEST_F(DisplayStartTest, SoftwareStartTakesTheLargerPool) {
    g_SoftwareDisplay = 1;
    Soft_StartDisplay(1, 0x103);
    EXPECT_EQ(g_3DPoolSize, 10u << 20);
    EXPECT_EQ(EngineConfig.VideoId, 3);
    EXPECT_EQ(g_SoftwareDisplay, 1);
    // The other two hooks leave the driver, its slots, the present hook and
    // the screen as they were, however often they are called.
    DDrawInstall();
    ASSERT_EQ(DisplayOpen(0), 1);
    VideoDriver* driver = CurrentVideoDriver;
    VideoDriver slots;
    std::memcpy(static_cast<void*>(&slots), driver, sizeof slots);
    void (*present)() = PresentHook;
    ScreenStateRecord screen;
    std::memcpy(static_cast<void*>(&screen), &ScreenState, sizeof screen);
    uint32_t options = RenderOptions;
    for (int i = 0; i < 3; ++i) {
        Soft_InstallDriverHooks();
        Soft_ApplyDisplayOptions();
    }
    EXPECT_EQ(CurrentVideoDriver, driver);
    EXPECT_EQ(std::memcmp(&slots, driver, sizeof slots), 0);
    EXPECT_EQ(PresentHook, present);
    EXPECT_EQ(std::memcmp(&screen, &ScreenState, sizeof screen), 0);
    EXPECT_EQ(RenderOptions, options);
    EXPECT_EQ(g_3DPoolSize, 10u << 20);
}
