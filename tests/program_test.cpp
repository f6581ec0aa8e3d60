// Both programs, run as separate processes on the headless host in a
// temporary copy of the game directory, driven by the host options.
#include "tests/demo_run.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_intro.h"
#include "tools/kit/demo_pictures.h"
#include "tools/kit/demo_settings.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode;
    std::string err;
};

class ProgramTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/morvanel-game-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::path program = GetParam();
        // The game directory: the program beside the settings and the demo
        // archives (nothing an earlier run left there).
        for (const auto& entry : fs::directory_iterator(program.parent_path())) {
            std::string name = entry.path().filename().string();
            bool wanted = entry.path() == program || name == "config.ini" || name == "registry.ini" ||
                          entry.path().extension() == ".res";
            if (wanted && entry.is_regular_file()) fs::copy_file(entry.path(), dir_ / name);
        }
        exe_ = dir_ / program.filename();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // The intro video the data kit lays out beside the program.
    void CopyIntro() {
        fs::path program = GetParam();
        fs::create_directories(dir_ / "video");
        fs::copy_file(program.parent_path() / "video" / "fmorvanel.qvs", dir_ / "video" / "fmorvanel.qvs");
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs the program from another directory (it makes its own directory
    // current), with the host options given and at most 60 seconds.
    Result Run(const std::map<std::string, std::string>& options) {
        std::map<std::string, std::string> vars = {{"MORVANEL_HOST", "headless"}, {"PATH", "/usr/bin:/bin"}};
        for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* v = std::getenv(keep)) vars[keep] = v;
        for (const auto& [k, v] : options) vars[k] = v;
        std::vector<std::string> env;
        for (const auto& [k, v] : vars) env.push_back(k + "=" + v);
        std::string errFile = (dir_ / "stderr.txt").string();
        pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> envp;
            for (auto& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            if (chdir("/") != 0) _exit(126);
            FILE* err = std::fopen(errFile.c_str(), "w");
            if (!err || dup2(fileno(err), 2) < 0) _exit(126);
            std::string exe = exe_.string();
            char* argv[] = {const_cast<char*>("/usr/bin/timeout"), const_cast<char*>("60"), exe.data(),
                            const_cast<char*>("some"), const_cast<char*>("arguments"), nullptr};
            execve(argv[0], argv, envp.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ""};
        std::ifstream in(errFile);
        std::stringstream s;
        s << in.rdbuf();
        r.err = s.str();
        fs::remove(errFile);
        return r;
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    fs::path dir_;
    fs::path exe_;
};

}  // namespace

TEST_P(ProgramTest, RunsUntilTheFrameLimitClosesItsWindow) {
    Result r = Run({{"MORVANEL_FRAMES", "40"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("40 frames presented, closing the window"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("[box"), std::string::npos) << r.err;
    EXPECT_EQ(Read("debug.txt"), "Spindrel I.A. Manager Version 2.05 RC7\n");
    EXPECT_FALSE(fs::exists(dir_ / "player.ini"));  // closing the window ends the process at once
}

namespace {

// The pixels of a PNG file as 0xRRGGBB, empty when it cannot be read.
std::vector<uint32_t> ReadPng(const fs::path& path, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    *width = int(image.width);
    *height = int(image.height);
    std::vector<uint32_t> out(size_t(image.width) * image.height);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
    return out;
}

}  // namespace

TEST_P(ProgramTest, PresentedFramesAreCapturedInAWindowAndInFullScreen) {
    for (bool windowed : {true, false}) {
        Write("config.ini", std::string("[Game]\nResource=yes\n[Video]\nWindowed=") + (windowed ? "yes" : "no") + "\n");
        fs::path frames = dir_ / (windowed ? "window" : "full");
        fs::create_directories(frames);
        // The logo comes first (after the two cleared pages in full screen),
        // then the game loop's frames.
        Result r = Run({{"MORVANEL_FRAMES", "4"}, {"MORVANEL_CAPTURE", frames.string()}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find("4 frames presented"), std::string::npos) << r.err;
        int w = 0, h = 0;
        std::vector<uint32_t> pixels = ReadPng(frames / "frame-00004.png", &w, &h);
        ASSERT_EQ(w, 640) << windowed;
        ASSERT_EQ(h, 480);
        // Both programs show the demo scene there (soft_program_test.cpp):
        // not the test pattern's white and yellow bars.
        EXPECT_FALSE(pixels[10] == 0xFFFFFFu && pixels[100] == 0xFFFF00u) << windowed;
    }
}

TEST_P(ProgramTest, EscapeEndsTheRun) {
    // Escape held across a few frames of 1/70 s ticks, so the run sees it
    // down and opens the main menu; once its panel has slid open, Up moves
    // round to its last entry, Quit, Enter chooses it and Y answers.
    Write("input.txt",
          "25 keydown 1\n400 keyup 1\n1100 keydown UP\n1200 keyup UP\n1300 keydown 28\n1400 keyup 28\n"
          "1600 keydown Y\n2000 keyup Y\n");
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_FRAMES", "100000"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("pumps done"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("[box"), std::string::npos) << r.err;
}

TEST_P(ProgramTest, EscapeByNameOnTheMessageKeyboard) {
    // Once the game loop runs (its start forgets the keys held before it).
    Write("input.txt",
          "5000 keydown escape\n5300 keyup escape\n6000 keydown up\n6100 keyup up\n6200 keydown enter\n"
          "6300 keyup enter\n6500 keydown y\n6900 keyup y\n");
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_KEYBOARD", "none"},
                    {"MORVANEL_FRAMES", "100000"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("pumps done"), std::string::npos) << r.err;
}

TEST_P(ProgramTest, BadInputScriptIsRefused) {
    Write("input.txt", "5 keydown NOSUCHKEY\n");
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("line 1 not understood"), std::string::npos) << r.err;
}

TEST_P(ProgramTest, CancelledSoundFailureIsFatalAfterTheWindow) {
    Result r = Run({{"MORVANEL_AUDIO", "none"}, {"MORVANEL_BOXES", "cancel"}, {"MORVANEL_FRAMES", "1000"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The warning, then the fatal box with the same text.
    EXPECT_EQ(Count(r.err, "Couldn't initialize DirectSound!"), 2u) << r.err;
    EXPECT_EQ(Read("debug.txt"), "Couldn't initialize DirectSound!\n");
}

TEST_P(ProgramTest, RetriedSoundFailureRunsSilent) {
    Result r = Run({{"MORVANEL_AUDIO", "none"}, {"MORVANEL_BOXES", "retry"}, {"MORVANEL_FRAMES", "30"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.err, "[box"), 1u) << r.err;
    EXPECT_EQ(Read("debug.txt"), "Spindrel I.A. Manager Version 2.05 RC7\n");
}

TEST_P(ProgramTest, MissingRegistryIsFatalBeforeTheWindow) {
    fs::remove(dir_ / "registry.ini");
    Result r = Run({{"MORVANEL_FRAMES", "30"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("No settings found...\nPlease run setup program before."), std::string::npos) << r.err;
    EXPECT_EQ(Read("debug.txt"), "No settings found...\nPlease run setup program before.\n");
}

TEST_P(ProgramTest, WithoutConfigTheRegistryIsNotRead) {
    fs::remove(dir_ / "config.ini");
    fs::remove(dir_ / "registry.ini");
    Result r = Run({{"MORVANEL_FRAMES", "30"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Without config.ini the data are loose files, which this folder does
    // not hold: the run stops at the first one it needs, not at the
    // registry.
    EXPECT_EQ(r.err.find("No settings found"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Please Insert CD"), std::string::npos) << r.err;
}

TEST_P(ProgramTest, MissingMainArchiveAsksForTheCd) {
    fs::remove(dir_ / "game.res");
    Result r = Run({{"MORVANEL_BOXES", "cancel"}, {"MORVANEL_FRAMES", "30"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.err, "Please Insert CD (missing game.res)"), 2u) << r.err;  // the question, then the fatal box
    EXPECT_EQ(Read("debug.txt"), "Please Insert CD (missing game.res)\n");
}

TEST_P(ProgramTest, ArchivesOnADriveAreFound) {
    fs::create_directories(dir_ / "cdrom");
    for (const char* name : {"audio.res", "music.res"}) fs::rename(dir_ / name, dir_ / "cdrom" / name);
    Result r = Run({{"MORVANEL_FRAMES", "30"}, {"MORVANEL_DRIVES", "C=fixed:" + dir_.string() + ";D=cdrom:" + (dir_ / "cdrom").string()}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("[box"), std::string::npos) << r.err;
}

namespace {

// The steps the run wrote, in order.
std::vector<std::string> Steps(const std::string& err) {
    std::vector<std::string> steps;
    std::istringstream in(err);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("trace: ", 0) == 0) steps.push_back(line.substr(7));
    return steps;
}

}  // namespace

TEST_P(ProgramTest, RunOpensAndClosesInOrderAndSavesThePlayerSettings) {
    Write("player.ini", "[Options]\nMusicVol=70\nSubTitles=no\n");
    // Escape after the logo's four seconds, held for a few frames.
    Write("input.txt", test::QuitKeys(5000));
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_TRACE", "1"},
                    {"MORVANEL_FRAMES", "100000"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> expected = {"RunGame",         "ShowLogoAndIntro",  "ShowPicture",  "EM_Open",
                                         "SND_SetVoiceCount", "SMP_InitCache",   "LoadPlayerSettings", "CM_Open",
                                         "OpenFrontEnd",    "BeginMission",
                                         "STRM_StopAll",    "SND_FreeAllVoices",  // the mission's sound levels
                                         "GameLoop",        "LeaveMission",
                                         "CloseFrontEnd",   "CM_Close",          "EM_Close",     "STRM_StopAll",
                                         "SND_FreeAllVoices", "ShowPicture",     "SavePlayerSettings",
                                         "SND_FreeAllVoices"};  // the sound layer's close at the device stop
    // The run body's own steps, in order (the mission life cycle's steps
    // between them are its own suite's).
    std::vector<std::string> steps;
    for (const std::string& step : Steps(r.err))
        if (std::find(expected.begin(), expected.end(), step) != expected.end()) steps.push_back(step);
    EXPECT_EQ(steps, expected) << r.err;
    // Written whole in its fixed lines: the default keys and shortcuts, the
    // music volume held at its highest (63), subtitles as read.
    EXPECT_EQ(Read("player.ini"),
              "[Keys]\nk=c8 d0 cd cb 4e 4a 10 1e 2a 1c 39 3f 12 17 3e 3d 13  f 38 2c 1f \nqs=0 0 0 0\n"
              "[Options]\nMusicVol=63\nSoundVol=32\nVoiceVol=32\nSubTitles=no\nFastScroll=no\nEntityPts=no\n"
              "[Shortcut]\nSpell0= 0  0  0  0  0  0  0 \nSpell1= 0  0  0  0  0  0  0  0  0  0  0  0  0  0 \n");
    EXPECT_EQ(Read("debug.txt"), "Spindrel I.A. Manager Version 2.05 RC7\n");
}

// With sound on the mixer runs on the virtual clock from the device start
// to the device stop; the capture, written as a .wav file, holds that time
// at the primary's rate (22050 Hz, 16-bit stereo): silent during the logo,
// then the mission's music.
TEST_P(ProgramTest, SoundRunsOnTheHeadlessCapture) {
    Write("input.txt", test::QuitKeys(5000));
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_TRACE", "1"},
                    {"MORVANEL_FRAMES", "100000"}, {"MORVANEL_AUDIO_CAPTURE", (dir_ / "capture.wav").string()}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.err, "trace: SND_SetVoiceCount"), 1u) << r.err;
    std::string wav = Read("capture.wav");
    ASSERT_GT(wav.size(), 44u);
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 |
               uint32_t(uint8_t(wav[at + 2])) << 16 | uint32_t(uint8_t(wav[at + 3])) << 24;
    };
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(24), 22050u);
    EXPECT_EQ(u32(40), wav.size() - 44);
    // The run lasts at least the logo's four seconds, and the music starts
    // when the mission begins, after them.
    const size_t logo = 44 + 4u * 22050 * 4;
    ASSERT_GT(wav.size(), logo + 22050 * 4);
    size_t sound = wav.find_first_not_of('\0', 44);
    EXPECT_GE(sound, logo);
    EXPECT_LT(sound, logo + 22050 * 4);
}

TEST_P(ProgramTest, WithSoundOffNoVoicesOrCache) {
    std::string registry = Read("registry.ini");
    size_t at = registry.find("Disable=0");
    ASSERT_NE(at, std::string::npos);
    Write("registry.ini", registry.replace(at, 9, "Disable=1"));
    Write("input.txt", test::QuitKeys(5000));
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_TRACE", "1"},
                    {"MORVANEL_FRAMES", "100000"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The run body's own steps, before the sound layer's close at the device stop.
    std::vector<std::string> steps = Steps(r.err);
    steps.erase(std::find(steps.begin(), steps.end(), "SavePlayerSettings"), steps.end());
    for (const std::string& step : steps) {
        EXPECT_NE(step, "SND_SetVoiceCount");
        EXPECT_NE(step, "SMP_InitCache");
        EXPECT_NE(step, "STRM_StopAll");
        EXPECT_NE(step, "SND_FreeAllVoices");
    }
    EXPECT_TRUE(fs::exists(dir_ / "player.ini"));
}

// An Escape held from the logo into the game loop opens the main menu
// there: its Quit is reached with Up, Enter and Y.  Should the menu not
// be open, those keys do nothing that matters and the whole sequence
// follows.
const std::string kQuitFromOpenMenu = "1500 keydown UP\n1600 keyup UP\n1700 keydown 28\n1800 keyup 28\n"
                                      "2000 keydown Y\n2100 keyup Y\n";

TEST_P(ProgramTest, EscapeDuringAMissingLogoSkipsTheVideo) {
    // A voice archive without the pictures (only the menu texts).
    std::vector<uint8_t> voice;
    std::string texts = kit::TextFileBytes(kit::DemoMenuTexts());
    ASSERT_TRUE(kit::BuildArchive({{".\\menus\\f_text.txt", {texts.begin(), texts.end()}}}, kit::DirectoryForm::Gzip,
                                  &voice, nullptr));
    ASSERT_TRUE(kit::WriteBytes((dir_ / "voice.res").string(), voice));
    CopyIntro();
    Write("input.txt", "10 keydown ESCAPE\n600 keyup ESCAPE\n" + kQuitFromOpenMenu + test::QuitKeys(3000));
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_TRACE", "1"},
                    {"MORVANEL_FRAMES", "100000"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("PlayIntroVideo"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("trace: GameLoop"), std::string::npos) << r.err;
}

namespace {

// Which frames of the demo intro a capture folder holds, in the order
// presented (pictures of anything else are left out).
std::vector<int> IntroFramesIn(const fs::path& frames) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(frames)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::vector<uint32_t>> intro;
    for (int i = 0; i < kit::kDemoIntroFrames; ++i) {
        std::vector<uint32_t> rgb;
        for (uint16_t p : kit::IntroFrame({}, i)) {
            uint32_t r = (p >> 11) * 255 / 31, g = ((p >> 5) & 63) * 255 / 63, b = (p & 31) * 255 / 31;
            rgb.push_back(r << 16 | g << 8 | b);
        }
        intro.push_back(std::move(rgb));
    }
    std::vector<int> found;
    for (const fs::path& file : files) {
        int w = 0, h = 0;
        std::vector<uint32_t> pixels = ReadPng(file, &w, &h);
        for (int i = 0; i < kit::kDemoIntroFrames; ++i)
            if (pixels == intro[size_t(i)]) found.push_back(i);
    }
    return found;
}

}  // namespace

TEST_P(ProgramTest, SpaceEndsAPlayingVideo) {
    CopyIntro();
    // Space once the video plays, then the main menu's Quit in the game loop.
    Write("input.txt", "1000 keydown SPACE\n1100 keyup SPACE\n" + test::QuitKeys(6000));
    fs::path frames = dir_ / "frames";
    Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_TRACE", "1"},
                    {"MORVANEL_FRAMES", "100000"}, {"MORVANEL_CAPTURE", frames.string()}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> steps = Steps(r.err);
    ASSERT_GE(steps.size(), 8u) << r.err;
    EXPECT_EQ(steps[2], "ShowPicture");  // the logo, then the video
    std::vector<std::string> video(steps.begin() + 3, steps.begin() + 8);
    EXPECT_EQ(video, (std::vector<std::string>{"PlayIntroVideo", "MOVIE_Open", "MOVIE_Play", "MOVIE_Stop", "MOVIE_Close"}))
        << r.err;
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[steps.size() - 2], "SavePlayerSettings");
    // Some of the video was shown, from its start, but not all of it.
    std::vector<int> shown = IntroFramesIn(frames);
    ASSERT_FALSE(shown.empty());
    EXPECT_LT(shown.size(), size_t(kit::kDemoIntroFrames));
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i], int(i));
}

// The demo's intro video, as the data kit lays it out beside the program,
// plays whole after the logo, in a window and in full screen.
TEST_P(ProgramTest, TheDemoIntroPlaysWhole) {
    CopyIntro();
    for (bool windowed : {true, false}) {
        Write("config.ini", std::string("[Game]\nResource=yes\nLangue=f\n[Video]\nWindowed=") +
                                (windowed ? "yes" : "no") + "\n");
        Write("input.txt", test::QuitKeys(9000));
        fs::path frames = dir_ / (windowed ? "window" : "full");
        Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_TRACE", "1"},
                        {"MORVANEL_FRAMES", "100000"}, {"MORVANEL_CAPTURE", frames.string()}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<int> shown = IntroFramesIn(frames);
        ASSERT_EQ(shown.size(), size_t(kit::kDemoIntroFrames)) << windowed;
        for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i], int(i));
        EXPECT_NE(r.err.find("trace: GameLoop"), std::string::npos) << r.err;
    }
}

namespace {

// Mean difference per colour channel between a presented frame and a
// 24-bit picture of the same size.
double MeanDifference(const std::vector<uint32_t>& frame, const kit::Image& picture) {
    if (frame.size() != size_t(picture.width) * picture.height) return 1e9;
    uint64_t sum = 0;
    for (size_t i = 0; i < frame.size(); ++i)
        for (int c = 0; c < 3; ++c)
            sum += uint64_t(std::abs(int((frame[i] >> (16 - 8 * c)) & 0xFF) - int(picture.pixels[i * 3 + c])));
    return double(sum) / double(frame.size() * 3);
}

}  // namespace

TEST_P(ProgramTest, LogoFirstAndTheEndPictureAfterEscape) {
    kit::Image logo = kit::DemoLogo(), end = kit::DemoQuitPicture();
    ASSERT_GT(MeanDifference(std::vector<uint32_t>(640 * 480, 0), logo), 20.0);
    for (bool windowed : {true, false}) {
        Write("config.ini", std::string("[Game]\nResource=yes\nLangue=f\n[Video]\nWindowed=") +
                                (windowed ? "yes" : "no") + "\n");
        Write("input.txt", "200 keydown ESCAPE\n600 keyup ESCAPE\n" + kQuitFromOpenMenu + test::QuitKeys(3000));
        // A capture folder that does not exist yet: the host makes it.
        fs::path frames = dir_ / "frames" / (windowed ? "window" : "full");
        Result r = Run({{"MORVANEL_INPUT", (dir_ / "input.txt").string()}, {"MORVANEL_FRAMES", "100000"},
                        {"MORVANEL_CAPTURE", frames.string()}, {"MORVANEL_TRACE", "1"}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Count(r.err, "trace: ShowPicture"), 2u) << r.err;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(frames)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        ASSERT_GE(files.size(), 2u);
        // The first frame with anything on it is the logo (full screen
        // first shows its two cleared pages); the last is the end picture.
        std::vector<uint32_t> first;
        int w = 0, h = 0;
        for (const fs::path& file : files) {
            first = ReadPng(file, &w, &h);
            if (std::any_of(first.begin(), first.end(), [](uint32_t p) { return p != 0; })) break;
        }
        EXPECT_LT(MeanDifference(first, logo), 8.0) << windowed;
        std::vector<uint32_t> last = ReadPng(files.back(), &w, &h);
        EXPECT_LT(MeanDifference(last, end), 8.0) << windowed;
        EXPECT_GT(MeanDifference(last, logo), 20.0) << windowed;
    }
}

TEST_P(ProgramTest, NoSixteenBitModeIsFatal) {
    Write("config.ini", "[Game]\nResource=yes\n[Video]\nWindowed=no\n");
    Result r = Run({{"MORVANEL_NO_MODE", "640x480x16"}, {"MORVANEL_BOXES", "retry"}, {"MORVANEL_FRAMES", "30"}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("No 640x480x16bit ! Abort."), std::string::npos) << r.err;
    EXPECT_NE(Read("debug.txt").find("No 640x480x16bit ! Abort.\n"), std::string::npos);
}

TEST_P(ProgramTest, UnknownHostIsRefused) {
    Result r = Run({{"MORVANEL_HOST", "teletype"}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("MORVANEL_HOST"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, ProgramTest, ::testing::Values(MORVANEL_GAME_SOFT, MORVANEL_GAME_D3D),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return fs::path(info.param).filename() == "game-d3d" ? "d3d" : "soft";
                         });
