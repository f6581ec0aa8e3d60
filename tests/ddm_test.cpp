// The DD manager: what it leaves alone of a caller's display, the display
// mode it asks for, where frames land, its own window and class, the user
// data index, and its text surfaces.
#include "host/d3d.h"
#include "host/display.h"
#include "host/headless/headless.h"
#include "media/ddm.h"
#include "test_support.h"

#include <vector>

namespace {

class DdmTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        DDM_InitRects(&ddm_);
        DDM_SetInstance(&ddm_, &instance_);
    }
    void TearDown() override {
        DDM_DestroyWindow(&ddm_);
        HeadlessTest::TearDown();
    }
    // A frame surface of the size filled with one colour.
    host::Surface* Frame(int w, int h, uint16_t colour) {
        host::Surface* s = nullptr;
        EXPECT_EQ(DDM_CreateOffscreen(&ddm_, w, h, &s, nullptr), 0);
        host::SurfaceBlt(s, nullptr, nullptr, nullptr, host::DDBLT_COLORFILL, colour);
        return s;
    }
    static uint16_t PixelAt(host::Surface* s, int x, int y) {
        uint8_t* p = nullptr;
        int pitch = 0;
        host::SurfaceLock(s, host::DDLOCK_WAIT, &p, &pitch);
        uint16_t v = uint16_t(p[size_t(y) * pitch + size_t(x) * 2] | p[size_t(y) * pitch + size_t(x) * 2 + 1] << 8);
        host::SurfaceUnlock(s);
        return v;
    }
    int instance_ = 0;
    DDManager ddm_;
};

TEST_F(DdmTest, TheCallersDisplayIsLeftAsItWas) {
    host::DDraw* dd = host::DDCreate(0);
    host::DDSetCooperativeLevel(dd, nullptr, host::DDSCL_NORMAL);
    host::SurfaceDesc pd{};
    pd.caps = host::DDSCAPS_PRIMARYSURFACE;
    host::Surface* primary = nullptr;
    ASSERT_EQ(host::DDCreateSurface(dd, pd, &primary), host::DD_OK);
    host::WindowClass wc{};
    wc.proc = host::DefWindowProc;
    wc.className = "caller";
    ASSERT_TRUE(host::RegisterClass(wc));
    host::HWND window = host::CreateWindowEx(0, "caller", "caller", 0, 0, 0, 640, 480, nullptr);

    DDM_SetSize(&ddm_, 640, 480, 16);
    ASSERT_EQ(DDM_CreateWindow(&ddm_, window), 0);
    EXPECT_EQ(DDM_GetWindowProc(&ddm_), host::DefWindowProc);  // the adopted class's procedure
    ASSERT_EQ(DDM_SetDirectDraw(&ddm_, dd), 0);
    ASSERT_EQ(DDM_SetDirectDraw2(&ddm_, nullptr), 0);
    ASSERT_EQ(DDM_GetSurfaceDesc(&ddm_, primary, nullptr), 0);
    DDM_SetPixelFormat(&ddm_, nullptr);
    ASSERT_EQ(DDM_SetMode(&ddm_), 0);
    EXPECT_EQ(DDM_GetDepth(&ddm_), 16);
    EXPECT_EQ(host::DDCooperativeLevel(dd), host::DDSCL_NORMAL);
    EXPECT_FALSE(host::headless::FullScreen());
    EXPECT_EQ(DDM_DestroyWindow(&ddm_), 0);
    // Everything the caller gave is still there and still works.
    EXPECT_TRUE(host::IsWindowVisible(window));
    EXPECT_EQ(host::SurfaceRelease(primary), 0);
    EXPECT_EQ(host::DDRelease(dd), 0);
    host::DestroyWindow(window);
    host::UnregisterClass("caller");
}

TEST_F(DdmTest, FullScreenTakesTheSmallestModeAndFallsBackTo640x480) {
    for (bool refused : {false, true}) {
        DDM_DestroyWindow(&ddm_);
        DDM_InitRects(&ddm_);
        DDM_SetInstance(&ddm_, &instance_);
        if (refused) host::headless::RemoveMode(512, 384, 16);
        DDM_SetSize(&ddm_, 500, 300, 16);
        ASSERT_EQ(DDM_RegisterClass(&ddm_, nullptr), 0);
        ASSERT_EQ(DDM_CreateWindow(&ddm_, nullptr), 0);
        ASSERT_EQ(DDM_SetDirectDraw(&ddm_, nullptr), 0);
        ASSERT_EQ(DDM_SetMode(&ddm_), 0);
        EXPECT_EQ(ddm_.primaryDesc.width, refused ? 640 : 512);
        EXPECT_EQ(ddm_.primaryDesc.height, refused ? 480 : 384);
        EXPECT_TRUE(host::headless::FullScreen());
        EXPECT_NE(DDM_GetBack(&ddm_), nullptr);
        // A smaller frame goes to the middle of the back surface.
        host::Surface* f = Frame(500, 300, 0x07E0);
        ASSERT_EQ(DDM_BlitFrame(&ddm_, f, DDBLTFAST_WAIT), 0);
        int x = (ddm_.primaryDesc.width - 500) / 2, y = (ddm_.primaryDesc.height - 300) / 2;
        EXPECT_EQ(PixelAt(DDM_GetBack(&ddm_), x, y), 0x07E0);
        EXPECT_EQ(PixelAt(DDM_GetBack(&ddm_), x - 1, y), 0);
        EXPECT_EQ(PixelAt(DDM_GetBack(&ddm_), x + 499, y + 299), 0x07E0);
        EXPECT_EQ(DDM_Flip(&ddm_), 0);
        EXPECT_EQ(PixelAt(DDM_GetPrimary(&ddm_), x, y), 0x07E0);
        host::SurfaceRelease(f);
    }
    // The layer's own display object, window and class all go with it.
    EXPECT_EQ(DDM_DestroyWindow(&ddm_), 0);
    EXPECT_FALSE(host::headless::FullScreen());
    EXPECT_FALSE(host::GetClassInfo(&instance_, "__DDMGRWC__", nullptr));
    EXPECT_EQ(DDM_GetWindow(&ddm_), nullptr);
}

TEST_F(DdmTest, InAWindowFramesGoToTheClientAreaAndFollowItsMoves) {
    DDM_SetSize(&ddm_, 64, 32, 16);
    EXPECT_EQ(DDM_CreateWindow(&ddm_, nullptr), -32);  // no class yet
    ASSERT_EQ(DDM_RegisterClass(&ddm_, nullptr), 0);
    ASSERT_EQ(DDM_CreateWindow(&ddm_, nullptr), 0);
    // The window is centred for a client area of the frame's size.
    EXPECT_EQ(ddm_.client.left, (640 - 64) / 2);
    EXPECT_EQ(ddm_.client.top, (480 - 32) / 2);
    EXPECT_EQ(DDM_GetClientWidth(&ddm_), 64);
    ASSERT_EQ(DDM_SetDirectDraw(&ddm_, nullptr), 0);
    ASSERT_EQ(DDM_SetWindowed(&ddm_), 0);
    EXPECT_EQ(DDM_GetBack(&ddm_), nullptr);
    host::Surface* f = Frame(64, 32, 0x001F);
    ASSERT_EQ(DDM_BlitFrame(&ddm_, f, 0), 0);
    EXPECT_EQ(PixelAt(DDM_GetPrimary(&ddm_), ddm_.client.left, ddm_.client.top), 0x001F);
    // The window moves: its procedure notes it, the next blit follows.
    host::SetWindowPos(DDM_GetWindow(&ddm_), 10, 20, 64, 32, 0);
    host::Msg m;
    while (host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE)) host::DispatchMessage(&m);
    EXPECT_TRUE(g_DDMMoved.load());
    ASSERT_EQ(DDM_BlitFrame(&ddm_, f, 0), 0);
    EXPECT_FALSE(g_DDMMoved.load());
    EXPECT_EQ(ddm_.client.left, 10);
    EXPECT_EQ(PixelAt(DDM_GetPrimary(&ddm_), 10, 20), 0x001F);
    // The user data is the one window-long index there is.
    EXPECT_EQ(DDM_SubclassWindow(&ddm_, host::GWL_USERDATA, 1234), 0);
    EXPECT_EQ(host::GetWindowLongPtr(DDM_GetWindow(&ddm_), host::GWL_USERDATA), 1234);
    EXPECT_EQ(DDM_SubclassWindow(&ddm_, 6, 1), -36);
    host::SurfaceRelease(f);
}

TEST_F(DdmTest, CallsInTheWrongOrderAnswerTheirCodes) {
    DDManager d;
    DDM_InitRects(&d);
    EXPECT_EQ(DDM_CreateWindow(&d, nullptr), -30);
    DDM_SetSize(&d, 64, 32, 16);
    EXPECT_EQ(DDM_CreateWindow(&d, nullptr), -31);
    EXPECT_EQ(DDM_RegisterClass(&d, nullptr), -31);
    EXPECT_EQ(DDM_SetWindowed(&d), -33);
    EXPECT_EQ(DDM_SetDirectDraw2(&d, nullptr), -33);
    ASSERT_EQ(DDM_SetDirectDraw(&d, nullptr), 0);
    EXPECT_EQ(DDM_SetMode(&d), -24);
    EXPECT_EQ(DDM_SubclassWindow(&d, host::GWL_USERDATA, 1), -24);
    DDM_SetInstance(&d, &instance_);
    EXPECT_EQ(DDM_RegisterClass(&d, "no such class"), -32);
    EXPECT_EQ(DDM_CreateOffscreen(&d, 8, 8, nullptr, nullptr), -6);
    EXPECT_EQ(DDM_BlitFrame(&d, nullptr, 0), -6);
    DDM_DestroyWindow(&d);
}

TEST_F(DdmTest, TextGoesOntoAKeyedSurfaceOfItsOwnSize) {
    DDM_SetSize(&ddm_, 64, 32, 16);
    ASSERT_EQ(DDM_SetDirectDraw(&ddm_, nullptr), 0);
    PixelFormatFromSizes(&ddm_.pixelFormat, 5, 6, 5, 11, 5, 0);
    ddm_.pixelFormatSet = true;
    host::Surface* s = nullptr;
    int w = 0, h = 0;
    EXPECT_EQ(DDM_DrawText(&ddm_, 0xFFFFFF, "", nullptr, &s, &w, &h), -6);
    EXPECT_EQ(DDM_DrawText(&ddm_, 0xFFFFFF, "Now loading", nullptr, nullptr, &w, &h), -6);
    host::Font* probe = host::CreateFont(18, 700, false, false, false, "Courier New");
    if (!probe) GTEST_SKIP() << "no font to draw with";
    host::DeleteFont(probe);
    ASSERT_EQ(DDM_DrawText(&ddm_, 0xFFFFFF, "Now loading", nullptr, &s, &w, &h), 0);
    ASSERT_NE(s, nullptr);
    int sw = 0, sh = 0;
    host::SurfaceGetSize(s, &sw, &sh, nullptr);
    EXPECT_EQ(sw, w);
    EXPECT_EQ(sh, h);
    EXPECT_GT(w, 11 * 4);
    int lit = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) lit += PixelAt(s, x, y) == 0xFFFF;
    EXPECT_GT(lit, 20);
    host::SurfaceRelease(s);
}

}  // namespace
