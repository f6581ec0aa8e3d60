// The run body plays the demo's intro video, in this process on the headless
// host with the baton scheduler: what the window shows, the player's
// messages to it, what the sound device plays, and the skips.
#include "host/headless/headless.h"
#include "host/headless/headless_sound.h"
#include "host/headless/scheduler.h"
#include "host/module.h"
#include "media/movie.h"
#include "media/qvf_codec.h"
#include "game/game_state.h"
#include "platform/display/ddraw.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/runbody.h"
#include "program/winmain.h"
#include "player_support.h"
#include "program_state.h"
#include "test_archives.h"
#include "test_support.h"
#include "tools/kit/demo_intro.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kLogoUs = 4000000;
constexpr double kFrameUs = 1000000.0 / 15.0;

struct Shown {
    int frame;
    uint64_t us;
};

std::vector<std::string> g_deadlocks;
void KeepDeadlock(const std::string& report) {
    g_deadlocks.push_back(report);
}

class IntroTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        saved_ = EngineConfig;
        ResetProgramState();
        std::vector<uint8_t> empty = test::Archive({});
        for (const char* name : {"game.res", "audio.res", "voice.res", "music.res"})
            WriteFile(name, std::string(empty.begin(), empty.end()));
        // The menu texts and the first mission, as loose files.
        for (const kit::NamedFile& f : test::DemoRunFiles())
            WriteFile(test::LoosePath(f.name), std::string(f.data.begin(), f.data.end()));
        std::vector<uint8_t> movie = kit::DemoIntroStream();
        WriteFile("video/fmorvanel.qvs", std::string(movie.begin(), movie.end()));
        for (int i = 0; i < kit::kDemoIntroFrames; ++i) expected_.push_back(kit::IntroFrame({}, i));
        QVF_RegisterBuiltinCodecs();
        g_deadlocks.clear();
        host::headless::SetDeadlockHandler(KeepDeadlock);
        host::headless::SetPresentObserver(Observe, this);
    }
    void TearDown() override {
        host::headless::SetPresentObserver(nullptr, nullptr);
        ResetProgramState();
        EngineConfig = saved_;
        HeadlessTest::TearDown();
    }
    static void ResetProgramState() { test::ResetProgramState(); }
    void WriteSettings(bool windowed, bool sound) {
        WriteFile("config.ini", std::string("[Game]\nOption=0\n[Video]\nWindowed=") + (windowed ? "yes" : "no") + "\n");
        WriteFile("registry.ini", std::string("[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Version]\nRevision=1\n"
                                              "[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Audio]\nDisable=") +
                                      (sound ? "0" : "1") + "\nDevice=0\n");
    }
    static int Run() { return test::RunWinMain(""); }

    // Which intro frame a presented picture is (the frame at the top-left
    // of a 640 x 480 picture), or -1.
    int Match(const host::headless::CapturedFrame& f) const {
        if (f.width < 640 || f.height < 480 || f.format.bits != 16) return -1;
        auto same = [&](int k) {
            for (int y = 0; y < 480; ++y)
                if (std::memcmp(f.raw.data() + size_t(y) * f.pitch, expected_[size_t(k)].data() + size_t(y) * 640,
                                640 * 2) != 0)
                    return false;
            return true;
        };
        int next = shown_.empty() ? 0 : shown_.back().frame + 1;
        if (next < int(expected_.size()) && same(next)) return next;
        for (int k = 0; k < int(expected_.size()); ++k)
            if (k != next && same(k)) return k;
        return -1;
    }
    static void Observe(const host::headless::CapturedFrame& f, uint64_t us, void* self) {
        auto* t = static_cast<IntroTest*>(self);
        // Once the intro's hook is gone, no frame is the intro's: the game
        // loop may show a page the intro left when it has no scene to draw.
        if (WindowHook) t->hookSeen_ = true;
        int k = t->hookSeen_ && !WindowHook ? -1 : t->Match(f);
        if (k >= 0) {
            t->shown_.push_back({k, us});
            if (k == t->escapeAt_) {
                host::headless::PressKey(1, true);
                t->escapeDown_ = true;
            }
        } else if (WindowHook == nullptr && us > kLogoUs && !t->escaped_) {
            // The game loop after the intro: the menu stays closed while an
            // Escape that stopped the video is held and once it is let
            // go; a new press of Escape opens the main menu...
            t->menuBeforeEscape_ = std::max(t->menuBeforeEscape_, GameState.menuSlide);
            if (t->escapeDown_ && t->heldLoopFrames_ > 0) {
                --t->heldLoopFrames_;
            } else if (t->escapeDown_) {
                host::headless::PressKey(1, false);
                t->escapeDown_ = false;
            } else {
                t->escaped_ = true;
                host::headless::PressKey(1, true);
            }
        } else if (t->escaped_ && !t->answered_) {
            // ... whose panel is open 9 frames later: Up moves round to its
            // last entry, Quit, Enter raises the quit prompt and Y leaves
            // the game; each key is pressed on one frame and let go on the
            // next.
            struct Step {
                int frame;
                uint8_t key;
                bool down;
            };
            static const Step kSteps[] = {{1, 1, false},     {14, 0xC8, true}, {15, 0xC8, false},
                                          {16, 0x1C, true},  {17, 0x1C, false}, {18, 0x15, true}};
            ++t->menuFrames_;
            for (const Step& s : kSteps)
                if (s.frame == t->menuFrames_) host::headless::PressKey(s.key, s.down);
            if (t->menuFrames_ >= 18) t->answered_ = true;
        }
    }
    std::vector<uint32_t> ClientCodes() const {
        std::vector<uint32_t> codes;
        for (const auto& c : host::headless::WindowProcCalls())
            if (c.message == kMovieMessage) codes.push_back(uint32_t(c.wParam));
        return codes;
    }
    static std::vector<uint32_t> FullLog(int frames) {
        std::vector<uint32_t> log = {1, 0};
        log.insert(log.end(), size_t(frames), 2);
        log.push_back(3);
        return log;
    }
    void ExpectCleanEnd() {
        EXPECT_EQ(host::LiveThreadCount(), 0);
        EXPECT_EQ(WindowHook, nullptr);
        EXPECT_TRUE(g_deadlocks.empty()) << (g_deadlocks.empty() ? "" : g_deadlocks[0]);
        EXPECT_TRUE(host::headless::Boxes().empty());
    }

    EngineConfigRecord saved_;
    std::vector<std::vector<uint16_t>> expected_;
    std::vector<Shown> shown_;
    int escapeAt_ = -1;
    bool escapeDown_ = false;
    bool escaped_ = false;
    bool answered_ = false;
    int menuFrames_ = 0;  // frames since the game loop's Escape
    int heldLoopFrames_ = 0;  // game-loop frames the video's Escape stays held
    int32_t menuBeforeEscape_ = 0;  // the menu's slide at its most before the game loop's Escape
    bool hookSeen_ = false;
};

}  // namespace

class IntroDisplayTest : public IntroTest, public ::testing::WithParamInterface<bool> {};

TEST_P(IntroDisplayTest, PlaysEveryFrameWithItsSound) {
    std::vector<int16_t> pcm = test::DecodedIntroSound({});
    ASSERT_EQ(pcm.size(), size_t(kit::kDemoIntroFrames) * 1470);
    WriteSettings(GetParam(), true);
    EXPECT_EQ(Run(), 0);
    ExpectCleanEnd();
    EXPECT_EQ(ClientCodes(), FullLog(kit::kDemoIntroFrames));
    ASSERT_EQ(shown_.size(), size_t(kit::kDemoIntroFrames));
    for (int i = 0; i < kit::kDemoIntroFrames; ++i) EXPECT_EQ(shown_[size_t(i)].frame, i);
    // The sound is the APC decode, in both channels, sample for sample.
    const std::vector<int16_t>& capture = host::headless::CapturedAudio();
    ASSERT_EQ(host::headless::CapturedAudioRate(), 22050u);
    long start = test::FindSound(capture, pcm);
    ASSERT_GE(start, 0);
    // Each click is heard within a frame of its picture.
    for (int k = 0; k * kit::kDemoIntroClickEvery < kit::kDemoIntroFrames; ++k) {
        int frame = k * kit::kDemoIntroClickEvery;
        double heard = double(host::headless::CaptureStartUs()) +
                       double(start + long(frame) * 1470) * 1e6 / kit::kDemoIntroRate;
        double seen = double(shown_[size_t(frame)].us);
        EXPECT_LE(std::fabs(heard - seen), kFrameUs) << "click " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(WindowAndFullScreen, IntroDisplayTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "window" : "full"; });

TEST_F(IntroTest, EscapeAtFrameTenStopsAndClosesCleanly) {
    WriteSettings(true, true);
    escapeAt_ = 10;
    EXPECT_EQ(Run(), 0);
    ExpectCleanEnd();
    ASSERT_GE(shown_.size(), 11u);
    EXPECT_LT(shown_.size(), size_t(kit::kDemoIntroFrames));
    std::vector<uint32_t> codes = ClientCodes();
    EXPECT_EQ(codes, FullLog(int(shown_.size())));
    // The main window keeps nothing of the player.
    EXPECT_EQ(host::GetWindowLongPtr(MainWindow, host::GWL_USERDATA), 0);
}

// The press of Escape that stops the video is the video's: held on into the
// game loop (from none of its frames to a whole second of them at about 43
// ms each) it opens no menu; the next press does.
class IntroEscapeHeldTest : public IntroTest, public ::testing::WithParamInterface<int> {};

TEST_P(IntroEscapeHeldTest, TheEscapeThatStopsTheVideoOpensNoMenu) {
    WriteSettings(true, false);
    escapeAt_ = 10;
    heldLoopFrames_ = GetParam();
    // A run that missed its Quit is closed rather than left to play on.
    host::headless::SetCloseAfterFrames(600);
    EXPECT_EQ(Run(), 0);
    ExpectCleanEnd();
    EXPECT_LT(shown_.size(), size_t(kit::kDemoIntroFrames));  // the video stopped
    EXPECT_EQ(menuBeforeEscape_, 0);
    EXPECT_TRUE(answered_);  // the next press opened the menu, whose Quit ended the run
}

INSTANTIATE_TEST_SUITE_P(GameLoopFrames, IntroEscapeHeldTest, ::testing::Values(0, 4, 8, 24));

TEST_F(IntroTest, WithSoundOffItPlaysSilentlyAtFifteenFramesASecond) {
    WriteSettings(true, false);
    EXPECT_EQ(Run(), 0);
    ExpectCleanEnd();
    EXPECT_EQ(ClientCodes(), FullLog(kit::kDemoIntroFrames));
    ASSERT_EQ(shown_.size(), size_t(kit::kDemoIntroFrames));
    for (size_t i = 1; i < shown_.size(); ++i) {
        double late = double(shown_[i].us - shown_[0].us) - double(i) * kFrameUs;
        EXPECT_LT(std::fabs(late), 2000.0) << "frame " << i;
    }
    for (int16_t v : host::headless::CapturedAudio()) ASSERT_EQ(v, 0);
}

TEST_F(IntroTest, WithoutTheCodecModuleTheIntroIsSkipped) {
    for (int width : {512, 640}) {
        char first[32], second[32];
        QVF_CodecModuleNames(width, first, second);
        host::UnregisterBuiltinModule(first);
    }
    WriteSettings(true, true);
    EXPECT_EQ(Run(), 0);
    ExpectCleanEnd();
    EXPECT_TRUE(shown_.empty());
    EXPECT_TRUE(ClientCodes().empty());
    EXPECT_TRUE(escaped_);  // the game loop ran
}

// The intro's name goes into a path buffer of 1024 characters whole or not
// at all: a longer name is not found, never cut to the name of another file.
TEST_F(IntroTest, ANameLongerThanAPathBufferIsNotFoundRatherThanCut) {
    std::vector<uint8_t> movie = kit::DemoIntroStream();
    const std::string bytes(movie.begin(), movie.end());
    auto part = [](char c, size_t n) { return std::string(n, c); };
    struct Row {
        std::string name;   // as the run body is given it
        bool present;       // a file of that name exists
        std::string decoy;  // a file named by the name's first 255 characters ("": none)
        int found;
    };
    const std::string fits = part('p', 200) + "/" + part('q', 200) + "/" + part('r', 196) + ".qvs";
    const std::string tooLong = part('a', 200) + "/" + part('b', 200) + "/" + part('c', 200) + "/" +
                                part('d', 200) + "/" + part('e', 200) + "/" + part('f', 60) + ".qvs";
    ASSERT_LT(fits.size(), 1024u);
    ASSERT_GT(tooLong.size(), 1023u);
    const Row rows[] = {
        {"video/fmorvanel.qvs", true, "", 1},
        {"video/missing.qvs", false, "", 0},
        {fits, true, "", 1},
        {tooLong, true, "", 0},
        {tooLong, true, tooLong.substr(0, 255), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.substr(0, 40) + "... of " + std::to_string(row.name.size()));
        if (row.present) WriteFile(row.name, bytes);
        if (!row.decoy.empty()) WriteFile(row.decoy, bytes);
        EXPECT_EQ(PlayIntroVideo(row.name.c_str()), row.found);
        EXPECT_EQ(WindowHook, nullptr);
    }
}
