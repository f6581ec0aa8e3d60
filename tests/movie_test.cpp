// The intro movie's glue (its callback on the game's surfaces, its open and
// close), the player's settings file, and the player on its own: its own
// window, the frame-rate limits and late frames.
#include "host/headless/headless.h"
#include "host/headless/scheduler.h"
#include "media/movie.h"
#include "media/qvf_codec.h"
#include "media/qvf_player.h"
#include "player_support.h"
#include "test_support.h"
#include "tools/kit/qvs_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
    for (const kit::QvsFixture& f : kit::QvsFixtureFamily())
        if (f.name == name) return f.bytes;
    return {};
}

uint16_t PixelAt(host::Surface* s, int x, int y) {
    uint8_t* p = nullptr;
    int pitch = 0;
    host::SurfaceLock(s, host::DDLOCK_WAIT, &p, &pitch);
    uint16_t v = uint16_t(p[size_t(y) * pitch + size_t(x) * 2] | p[size_t(y) * pitch + size_t(x) * 2 + 1] << 8);
    host::SurfaceUnlock(s);
    return v;
}

class MovieTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        dd_ = host::DDCreate(0);
        host::DDSetCooperativeLevel(dd_, nullptr, host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN);
        host::DDSetDisplayMode(dd_, 640, 480, 16);
        host::SurfaceDesc pd{};
        pd.caps = host::DDSCAPS_PRIMARYSURFACE | host::DDSCAPS_FLIP | host::DDSCAPS_COMPLEX;
        pd.backBufferCount = 1;
        host::DDCreateSurface(dd_, pd, &front_);
        host::SurfaceGetAttachedBackBuffer(front_, &back_);
    }
    void TearDown() override {
        host::SurfaceRelease(back_);
        host::SurfaceRelease(front_);
        host::DDRelease(dd_);
        HeadlessTest::TearDown();
    }
    host::Surface* Frame(int w, int h, uint16_t colour) {
        host::SurfaceDesc d{};
        d.caps = host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_SYSTEMMEMORY;
        d.width = w;
        d.height = h;
        host::Surface* s = nullptr;
        host::DDCreateSurface(dd_, d, &s);
        host::SurfaceBlt(s, nullptr, nullptr, nullptr, host::DDBLT_COLORFILL, colour);
        return s;
    }
    host::DDraw* dd_ = nullptr;
    host::Surface* front_ = nullptr;
    host::Surface* back_ = nullptr;
};

TEST_F(MovieTest, TheCallbackPutsFramesOnTheGamesSurfaces) {
    // Full screen: a 512-pixel frame 64 pixels from the left of the back
    // page, then the flip shows it.
    host::Surface* f = Frame(512, 384, 0xF800);
    QVFMessage m{nullptr, front_, back_, f};
    EXPECT_EQ(MOVIE_Callback(nullptr, kMovieMessage, kQVFFrame, reinterpret_cast<intptr_t>(&m)), 0);
    EXPECT_EQ(PixelAt(front_, 64, 0), 0xF800);
    EXPECT_EQ(PixelAt(front_, 63, 0), 0);
    EXPECT_EQ(PixelAt(front_, 575, 383), 0xF800);
    EXPECT_EQ(PixelAt(front_, 576, 383), 0);
    // The clear: both pages black.
    EXPECT_EQ(MOVIE_Callback(nullptr, kMovieMessage, kQVFClear, reinterpret_cast<intptr_t>(&m)), 0);
    EXPECT_EQ(PixelAt(front_, 64, 0), 0);
    EXPECT_EQ(PixelAt(back_, 64, 0), 0);
    // In a window the frame goes straight onto the front at the client
    // area, only as large as it is: no flip.
    host::WindowClass wc{};
    wc.proc = host::DefWindowProc;
    wc.className = "movie test";
    host::RegisterClass(wc);
    host::HWND window = host::CreateWindowEx(0, "movie test", "", 0, 0, 0, 640, 480, nullptr);
    QVFPlayer* player = QVF_CreatePlayer();
    player->ddm.client = {100, 50, 612, 434};
    host::SetWindowLongPtr(window, host::GWL_USERDATA, reinterpret_cast<intptr_t>(player));
    host::Surface* small = Frame(16, 8, 0x07E0);
    QVFMessage w{player, front_, nullptr, small};
    EXPECT_EQ(MOVIE_Callback(window, kMovieMessage, kQVFFrame, reinterpret_cast<intptr_t>(&w)), 0);
    EXPECT_EQ(PixelAt(front_, 100, 50), 0x07E0);
    EXPECT_EQ(PixelAt(front_, 115, 57), 0x07E0);
    EXPECT_EQ(PixelAt(front_, 116, 57), 0);
    EXPECT_EQ(PixelAt(back_, 100, 50), 0);
    // The end message; other messages are not the callback's.
    g_MovieEnded = 0;
    EXPECT_EQ(MOVIE_Callback(window, kMovieMessage, kQVFEnded, reinterpret_cast<intptr_t>(&w)), 0);
    EXPECT_EQ(g_MovieEnded.load(), 1);
    EXPECT_EQ(MOVIE_Callback(window, host::WM_KEYDOWN, 0, 0), 1);
    QVF_DeletePlayer(player);
    host::SurfaceRelease(small);
    host::SurfaceRelease(f);
    host::DestroyWindow(window);
    host::UnregisterClass("movie test");
}

TEST_F(MovieTest, OpenKeepsTheGamesChoicesAndCloseGivesEverythingBack) {
    std::vector<uint8_t> mono = Fixture("good-mono");
    WriteFile("intro.qvs", std::string(mono.begin(), mono.end()));
    auto interfaceRefs = [&] {
        host::DDQueryInterface4(dd_);
        return host::DDRelease4(dd_);
    };
    int before = interfaceRefs();
    MovieParams params{};
    params.directDraw = dd_;
    params.front = front_;
    params.back = back_;
    params.flags = 1;  // windowed
    EXPECT_EQ(MOVIE_Open(std::string(130, 'x').c_str(), &params), -7);
    EXPECT_EQ(MOVIE_Open("missing.qvs", &params), -7);
    EXPECT_EQ(params.record, nullptr);
    ASSERT_EQ(MOVIE_Open("intro.qvs", &params), 1);
    EXPECT_EQ(params.callback, MOVIE_Callback);
    EXPECT_EQ(params.width, 640);
    EXPECT_EQ(params.height, 480);
    // The stream has sound, but the game gave no sound device: silent.
    EXPECT_EQ(params.record->settings.soundEnabled, 0);
    EXPECT_EQ(params.record->settings.fullScreen, 0);
    EXPECT_EQ(params.record->settings.dropLateFrames, 0);
    EXPECT_EQ(params.record->start.back, nullptr);
    EXPECT_EQ(params.record->start.messageId, int32_t(kMovieMessage));
    EXPECT_EQ(interfaceRefs(), before + 1);
    // No codec: the start fails and the movie counts as ended at once.
    for (const char* name : {"WQ6_640x16.DLL", "WQ6_640.DLL"}) host::UnregisterBuiltinModule(name);
    EXPECT_EQ(MOVIE_Play(&params), 1);
    EXPECT_EQ(MOVIE_IsPlaying(&params), 0);
    EXPECT_EQ(MOVIE_Stop(&params), 1);
    EXPECT_EQ(MOVIE_Close(&params), 0);
    EXPECT_EQ(params.record, nullptr);
    EXPECT_EQ(interfaceRefs(), before);
    EXPECT_EQ(MOVIE_Play(&params), 0);
    EXPECT_EQ(MOVIE_IsPlaying(&params), 0);
    MovieParams none{};
    EXPECT_EQ(MOVIE_Open("intro.qvs", &none), -1);  // no display object
}

TEST_F(MovieTest, ClosingTheWindowWhileItPlaysStopsThePlayer) {
    test::RegisterPaintingCodec();
    std::vector<uint8_t> mono = Fixture("good-mono");
    WriteFile("intro.qvs", std::string(mono.begin(), mono.end()));
    host::WindowClass wc{};
    wc.proc = MOVIE_Callback;
    wc.className = "game";
    host::RegisterClass(wc);
    host::HWND window = host::CreateWindowEx(0, "game", "", 0, 0, 0, 640, 480, nullptr);
    static int instance;
    MovieParams params{};
    params.instance = &instance;
    params.window = window;
    params.directDraw = dd_;
    params.front = front_;
    params.back = back_;
    ASSERT_EQ(MOVIE_Open("intro.qvs", &params), 1);
    MOVIE_Play(&params);
    host::Sleep(300);
    EXPECT_EQ(MOVIE_IsPlaying(&params), 1);
    EXPECT_EQ(MOVIE_Callback(window, host::WM_CLOSE, 0, 0), 1);
    EXPECT_EQ(params.record->player->decoderEnded.load(), 1);
    EXPECT_EQ(MOVIE_IsPlaying(&params), 0);  // the end message came
    MOVIE_Close(&params);
    EXPECT_EQ(host::LiveThreadCount(), 0);
    host::DestroyWindow(window);
    host::UnregisterClass("game");
}

// --- settings ---------------------------------------------------------------------

TEST(QvfSettings, TheFileKeepsItsWordOrderAndAMissingFileGivesTheDefaults) {
    QVFSettings s;
    std::memset(&s, 0, sizeof s);
    QVF_GetDefaultSettings(&s);
    EXPECT_EQ(s.readerEntries, 64);
    EXPECT_EQ(s.readerEntryKB, 8);
    EXPECT_EQ(s.frameRate, 15.0f);
    EXPECT_EQ(s.dropLateFrames, 1);
    EXPECT_EQ(s.soundParts, 8);
    EXPECT_EQ(s.frameSurfaces, 2);
    int32_t* words = reinterpret_cast<int32_t*>(&s);
    for (int i = 0; i < 18; ++i) words[i] = 100 + i;
    std::string name = (std::filesystem::temp_directory_path() / "morvanel-qvf-settings.bin").string();
    ASSERT_EQ(QVF_SaveSettings(&s, name.c_str()), 0);
    std::ifstream in(name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 68u);
    const int order[17] = {0, 1, 2, 3, 4, 5, 6, 12, 13, 14, 15, 16, 17, 7, 10, 8, 9};
    for (int i = 0; i < 17; ++i) EXPECT_EQ(bytes[size_t(i) * 4], 100 + order[i]) << i;
    QVFSettings back;
    std::memset(&back, 0, sizeof back);
    reinterpret_cast<int32_t*>(&back)[11] = 7;
    ASSERT_EQ(QVF_LoadSettings(&back, name.c_str()), 0);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(reinterpret_cast<int32_t*>(&back)[i], i == 11 ? 7 : 100 + i) << i;
    std::remove(name.c_str());
    EXPECT_EQ(QVF_LoadSettings(&back, name.c_str()), -7);
    EXPECT_EQ(back.readerEntries, 64);
    EXPECT_EQ(reinterpret_cast<int32_t*>(&back)[11], 7);  // word 11 is no default
}

// --- the player on its own -------------------------------------------------------------

class PlayerTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        test::RegisterPaintingCodec();
        log_.ended = host::CreateEvent(false, "test ended");
        window_ = test::MakeClientWindow(&log_);
        dd_ = host::DDCreate(0);
        host::SurfaceDesc pd{};
        pd.caps = host::DDSCAPS_PRIMARYSURFACE;
        host::DDCreateSurface(dd_, pd, &primary_);
    }
    void TearDown() override {
        host::SurfaceRelease(primary_);
        host::DDRelease(dd_);
        test::DestroyClientWindow(window_);
        host::CloseEvent(log_.ended);
        HeadlessTest::TearDown();
    }
    // Plays a family stream to its end with settings changed by `adjust`.
    template <typename F>
    void PlayOut(const std::string& stream, F adjust) {
        std::vector<uint8_t> bytes = Fixture(stream);
        WriteFile("movie.qvs", std::string(bytes.begin(), bytes.end()));
        QVFPlayer* p = QVF_CreatePlayer();
        QVFSettings s;
        QVF_GetDefaultSettings(&s);
        s.fullScreen = 0;
        ASSERT_EQ(QVF_OpenFile(p, "movie.qvs", &s, nullptr, nullptr), 0);
        adjust(s);
        QVF_SetSettings(p, &s);
        QVFStartBlock start = test::ClientStart(window_, dd_, primary_, nullptr);
        ASSERT_EQ(QVF_PlayFile(p, "movie.qvs", &start), 0);
        EXPECT_EQ(host::WaitForSingleObject(log_.ended, 100000), host::WAIT_OBJECT_0);
        QVF_Close(p);
        QVF_DeletePlayer(p);
    }
    test::ClientLog log_;
    host::HWND window_ = nullptr;
    host::DDraw* dd_ = nullptr;
    host::Surface* primary_ = nullptr;
};

TEST_F(PlayerTest, RatesThatCannotBePacedPlayAtFifteenFramesASecond) {
    for (float rate : {0.0f, 1000.0f, NAN}) {
        log_.times.clear();
        log_.frames.clear();
        log_.previous.clear();
        host::ResetEvent(log_.ended);
        PlayOut("good-no-sound", [&](QVFSettings& s) { s.frameRate = rate; });
        ASSERT_EQ(log_.times.size(), 24u) << rate;
        double spread = double(log_.times.back() - log_.times.front()) / 23.0;
        EXPECT_NEAR(spread, 1000000.0 / 15.0, 1000.0) << rate;
    }
}

TEST_F(PlayerTest, LateFramesAreDroppedOnlyWhenAsked) {
    for (int drop : {1, 0}) {
        log_.frames.clear();
        log_.previous.clear();
        log_.times.clear();
        host::ResetEvent(log_.ended);
        log_.jumpAt = 2;
        log_.jumpUs = 1000000;  // a second lost while frame 2 is shown
        PlayOut("good-no-sound", [&](QVFSettings& s) { s.dropLateFrames = drop; });
        if (drop) {
            // Frames due in the lost second were decoded but not shown.
            EXPECT_LT(log_.frames.size(), 24u);
            EXPECT_GT(log_.frames.size(), 3u);
            EXPECT_GT(log_.frames[3], 3);
            EXPECT_EQ(log_.frames.back(), 23);
        } else {
            EXPECT_EQ(log_.frames.size(), 24u);
        }
    }
}

TEST_F(PlayerTest, WithoutAClientItPlaysInItsOwnWindowUntilTheEndOrEscape) {
    std::vector<uint8_t> bytes = Fixture("good-no-sound");
    WriteFile("movie.qvs", std::string(bytes.begin(), bytes.end()));
    for (bool escape : {false, true}) {
        QVFPlayer* p = QVF_CreatePlayer();
        QVFSettings s;
        QVF_GetDefaultSettings(&s);
        s.fullScreen = 0;
        ASSERT_EQ(QVF_OpenFile(p, "movie.qvs", &s, nullptr, nullptr), 0);
        QVF_SetSettings(p, &s);
        static int instance;
        QVFStartBlock start{};
        start.instance = &instance;
        start.windowLongIndex = 4;  // forced to the user data without a client window
        start.messageId = -1;
        uint64_t shownBefore = host::headless::PresentedFrames();
        if (escape) host::headless::ScheduleKey(host::headless::PumpCount() + 200, 1, true);
        // Without a client the call lasts as long as the stream.
        ASSERT_EQ(QVF_PlayFile(p, "movie.qvs", &start), 0);
        EXPECT_EQ(p->decoderEnded.load(), 1);
        uint64_t shown = host::headless::PresentedFrames() - shownBefore;
        if (escape) EXPECT_LT(shown, 24u);
        else EXPECT_GE(shown, 24u);
        host::HWND own = DDM_GetWindow(&p->ddm);
        EXPECT_NE(own, window_);
        EXPECT_EQ(host::GetWindowLongPtr(own, host::GWL_USERDATA), reinterpret_cast<intptr_t>(p));
        QVF_Close(p);
        EXPECT_TRUE(host::GetClassInfo(&instance, "_WQWC_", nullptr) == false);
        QVF_DeletePlayer(p);
        host::headless::PressKey(1, false);
        host::Msg m;
        while (host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE)) {
        }
    }
    EXPECT_EQ(host::LiveThreadCount(), 0);
}

}  // namespace
