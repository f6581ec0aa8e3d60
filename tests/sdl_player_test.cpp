// The video player on real threads with the SDL back end (SDL's dummy video
// and audio drivers standing in for a display and a sound card): the frames
// are presented from the player's threads, the mixer runs in SDL's audio
// thread and the parts' notifications come from it.  These suites also run
// under ThreadSanitizer (./test --tsan).
#include "host/host.h"
#include "host/thread.h"
#include "media/qvf_codec.h"
#include "media/qvf_player.h"
#include "player_support.h"
#include "tools/kit/demo_intro.h"
#include "tools/kit/qvs_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPatienceMs = 30000;  // real time

class SdlThreadPlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!host::Start(host::BackendKind::Sdl, nullptr)) GTEST_SKIP() << "SDL cannot start here";
        ASSERT_EQ(host::CurrentThreadModel(), host::ThreadModel::Real);
        dir_ = fs::temp_directory_path() / ("morvanel-sdl-player-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        log_.ended = host::CreateEvent(false, "test ended");
        log_.frameEvent = host::CreateEvent(false, "test frames");
        window_ = test::MakeClientWindow(&log_);
        dd_ = host::DDCreate(0);
        host::SurfaceDesc pd{};
        pd.caps = host::DDSCAPS_PRIMARYSURFACE;
        host::DDCreateSurface(dd_, pd, &primary_);
    }
    void TearDown() override {
        if (!dd_) return;
        host::SurfaceRelease(primary_);
        host::DDRelease(dd_);
        test::DestroyClientWindow(window_);
        host::CloseEvent(log_.ended);
        host::CloseEvent(log_.frameEvent);
        host::Stop();
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_AUDIODRIVER");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return host::ToSystemPath(p.string());
    }
    static std::vector<uint8_t> Fixture(const std::string& name) {
        for (const kit::QvsFixture& f : kit::QvsFixtureFamily())
            if (f.name == name) return f.bytes;
        return {};
    }
    QVFPlayer* Start(const std::string& path, int videoRing = 64) {
        QVFPlayer* p = QVF_CreatePlayer();
        QVFSettings s;
        QVF_GetDefaultSettings(&s);
        s.fullScreen = 0;
        s.dropLateFrames = 0;
        s.videoRingElements = videoRing;
        EXPECT_EQ(QVF_OpenFile(p, path.c_str(), &s, nullptr, nullptr), 0);
        QVF_SetSettings(p, &s);
        QVFStartBlock start = test::ClientStart(window_, dd_, primary_, nullptr);
        EXPECT_EQ(QVF_PlayFile(p, path.c_str(), &start), 0);
        return p;
    }
    // The main thread looks at its messages while it waits, as the game does.
    bool Await(host::Event* e) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (host::WaitForSingleObject(e, 5) != host::WAIT_OBJECT_0) {
            host::Msg m;
            while (host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE)) host::DispatchMessage(&m);
            if (std::chrono::steady_clock::now() > until) return false;
        }
        return true;
    }
    void Finish(QVFPlayer* p) {
        QVF_Close(p);
        QVF_DeletePlayer(p);
        for (int i = 0; i < 1000 && host::LiveThreadCount() > 0; ++i) host::Sleep(1);
        EXPECT_EQ(host::LiveThreadCount(), 0);
    }
    void ExpectFramesInOrder() {
        std::lock_guard<std::mutex> l(log_.lock);
        for (size_t i = 0; i < log_.frames.size(); ++i) {
            EXPECT_EQ(log_.frames[i], int(i));
            EXPECT_EQ(log_.previous[i], int(i) - 1);
        }
    }

    fs::path dir_;
    test::ClientLog log_;
    host::HWND window_ = nullptr;
    host::DDraw* dd_ = nullptr;
    host::Surface* primary_ = nullptr;
};

TEST_F(SdlThreadPlayerTest, PlaysAStreamWithSoundToItsEnd) {
    test::RegisterPaintingCodec();
    QVFPlayer* p = Start(Write("mono.qvs", Fixture("good-mono")));
    ASSERT_TRUE(Await(log_.ended));
    Finish(p);
    EXPECT_EQ(test::CheckLog(log_.Codes(), false), "");
    EXPECT_EQ(log_.FramesShown(), 48u);
    ExpectFramesInOrder();
}

TEST_F(SdlThreadPlayerTest, PausesResumesAndTakesAPauseRequest) {
    test::RegisterPaintingCodec();
    log_.frameTarget = 5;
    QVFPlayer* p = Start(Write("silent.qvs", Fixture("good-no-sound")));
    ASSERT_TRUE(Await(log_.frameEvent));
    QVF_Pause(p);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QVF_Resume(p);
    QVF_SetPauseFlag(p, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QVF_SetPauseFlag(p, 0);
    ASSERT_TRUE(Await(log_.ended));
    Finish(p);
    EXPECT_EQ(test::CheckLog(log_.Codes(), false), "");
    EXPECT_EQ(log_.FramesShown(), 24u);
    ExpectFramesInOrder();
}

TEST_F(SdlThreadPlayerTest, StopsMidPlayAndAfterAPauseRequest) {
    test::RegisterPaintingCodec();
    std::string path = Write("mono.qvs", Fixture("good-mono"));
    for (int round = 0; round < 3; ++round) {
        log_.frameTarget = size_t(2 + round * 3);
        QVFPlayer* p = Start(path);
        ASSERT_TRUE(Await(log_.frameEvent));
        if (round == 1) QVF_Pause(p);
        if (round == 2) QVF_SetPauseFlag(p, 1);
        QVF_Stop(p);
        Finish(p);
        std::vector<uint32_t> codes = log_.Codes();
        EXPECT_EQ(test::CheckLog(codes, false), "") << round;
        EXPECT_LT(log_.FramesShown(), 48u);
        ExpectFramesInOrder();
        std::lock_guard<std::mutex> l(log_.lock);
        log_.codes.clear();
        log_.frames.clear();
        log_.previous.clear();
        host::ResetEvent(log_.frameEvent);
        host::ResetEvent(log_.ended);
    }
}

// The video-first stream on a ring of four frames: the decoder starts the
// presentation itself when the ring is full, before any sound came.  A
// pause taken at once, while that start may be under way, holds every
// frame until the resume; a stop during it ends the playback.
TEST_F(SdlThreadPlayerTest, VideoFirstPausedAtOnceShowsNothingUntilTheResume) {
    test::RegisterPaintingCodec();
    std::string path = Write("late.qvs", Fixture("video-first"));
    const struct {
        int pauseMs;
        bool stop;
    } rows[] = {{0, false}, {1, false}, {3, false}, {0, true}, {2, true}};
    for (const auto& row : rows) {
        QVFPlayer* p = Start(path, 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(row.pauseMs));
        QVF_Pause(p);
        size_t atPause = log_.FramesShown();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(log_.FramesShown(), atPause) << "pause after " << row.pauseMs << " ms";
        if (row.stop) {
            QVF_Stop(p);
        } else {
            QVF_Resume(p);
            ASSERT_TRUE(Await(log_.ended));
        }
        Finish(p);
        EXPECT_EQ(test::CheckLog(log_.Codes(), false), "");
        if (!row.stop) {
            EXPECT_EQ(log_.FramesShown(), 24u);
        }
        ExpectFramesInOrder();
        std::lock_guard<std::mutex> l(log_.lock);
        log_.codes.clear();
        log_.frames.clear();
        log_.previous.clear();
        host::ResetEvent(log_.ended);
    }
}

TEST_F(SdlThreadPlayerTest, TheDemoIntroThroughTheProjectCodec) {
    QVF_RegisterBuiltinCodecs();
    QVFPlayer* p = Start(Write("intro.qvs", kit::DemoIntroStream()));
    ASSERT_TRUE(Await(log_.ended));
    Finish(p);
    EXPECT_EQ(test::CheckLog(log_.Codes(), false), "");
    std::lock_guard<std::mutex> l(log_.lock);
    EXPECT_EQ(log_.frames.size(), size_t(kit::kDemoIntroFrames));
}

}  // namespace
