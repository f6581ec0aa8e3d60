// Both programs run headless on the demo data: the game loop draws the demo
// room, game-soft through the software rasterizer and the span back end, in a
// window (a 5-5-5 back page) and in full screen (5-6-5), game-d3d through its
// 3D layer; each captured frame matches its golden picture, game-soft's also
// the frame of the reference fill, and game-d3d covers the same pixels as
// game-soft.
#include "golden_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace test {
namespace {

class SoftProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/morvanel-soft-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::path program = Program();
        for (const auto& entry : fs::directory_iterator(program.parent_path())) {
            std::string name = entry.path().filename().string();
            bool wanted = entry.path() == program || name == "registry.ini" || entry.path().extension() == ".res";
            if (wanted && entry.is_regular_file()) fs::copy_file(entry.path(), dir_ / name);
        }
        exe_ = dir_ / program.filename();
    }
    virtual const char* Program() const { return MORVANEL_GAME_SOFT; }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // Runs game-soft headless with the host options given; its exit code,
    // standard error in `err`.
    int Run(const std::map<std::string, std::string>& options, std::string* err) {
        std::vector<std::string> env = {"MORVANEL_HOST=headless", "PATH=/usr/bin:/bin"};
        for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);
        for (const auto& [k, v] : options) env.push_back(k + "=" + v);
        std::string errFile = (dir_ / "stderr.txt").string();
        pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> envp;
            for (auto& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            FILE* f = std::fopen(errFile.c_str(), "w");
            if (!f || dup2(fileno(f), 2) < 0) _exit(126);
            std::string exe = exe_.string();
            char* argv[] = {const_cast<char*>("/usr/bin/timeout"), const_cast<char*>("60"), exe.data(), nullptr};
            execve(argv[0], argv, envp.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        std::ifstream in(errFile);
        std::stringstream s;
        s << in.rdbuf();
        *err = s.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    fs::path dir_;
    fs::path exe_;
};

TEST_F(SoftProgramTest, GameLoopDrawsTheDemoRoomFromItsFixedCamera) {
    for (bool windowed : {true, false}) {
        std::ofstream(dir_ / "config.ini") << "[Game]\nResource=yes\n[Video]\nWindowed=" << (windowed ? "yes" : "no") << "\n";
        fs::path frames = dir_ / (windowed ? "window" : "full");
        fs::create_directories(frames);
        std::string err;
        EXPECT_EQ(Run({{"MORVANEL_FRAMES", "6"}, {"MORVANEL_CAPTURE", frames.string()}}, &err), 0) << err;
        // The room does not move: the last frames are the same picture.
        std::vector<uint32_t> a, b;
        int w = 0, h = 0;
        ASSERT_TRUE(ReadPng((frames / "frame-00005.png").string(), &a, &w, &h)) << err;
        ASSERT_TRUE(ReadPng((frames / "frame-00006.png").string(), &b, &w, &h)) << err;
        ASSERT_EQ(w, 640);
        ASSERT_EQ(h, 480);
        EXPECT_EQ(a, b);
        // A window's back page is 5-5-5, the full screen 5-6-5.
        ExpectPngGolden(windowed ? "demo_room-555.png" : "demo_room-565.png", b, w, h);
        // The room has flat, affine and background spans only, which the
        // span back end draws as the reference fill does.
        fs::path ref = dir_ / (windowed ? "window-reference" : "full-reference");
        fs::create_directories(ref);
        EXPECT_EQ(Run({{"MORVANEL_FRAMES", "6"}, {"MORVANEL_CAPTURE", ref.string()}, {"MORVANEL_REFERENCE_FILL", "1"}},
                      &err),
                  0)
            << err;
        std::vector<uint32_t> c;
        ASSERT_TRUE(ReadPng((ref / "frame-00006.png").string(), &c, &w, &h)) << err;
        EXPECT_EQ(c, b);
    }
}

class D3DProgramTest : public SoftProgramTest {
protected:
    const char* Program() const override { return MORVANEL_GAME_D3D; }
};

// The frames game-d3d presents in a window or full screen, from the same
// fixed camera as game-soft's goldens.
TEST_F(D3DProgramTest, GameLoopDrawsTheDemoRoomAsGameSoftDoes) {
    for (bool windowed : {true, false}) {
        std::ofstream(dir_ / "config.ini") << "[Game]\nResource=yes\n[Video]\nWindowed=" << (windowed ? "yes" : "no") << "\n";
        fs::path frames = dir_ / (windowed ? "window" : "full");
        fs::create_directories(frames);
        std::string err;
        EXPECT_EQ(Run({{"MORVANEL_FRAMES", "6"}, {"MORVANEL_CAPTURE", frames.string()}}, &err), 0) << err;
        std::vector<uint32_t> a, b, soft;
        int w = 0, h = 0, sw = 0, sh = 0;
        ASSERT_TRUE(ReadPng((frames / "frame-00005.png").string(), &a, &w, &h)) << err;
        ASSERT_TRUE(ReadPng((frames / "frame-00006.png").string(), &b, &w, &h)) << err;
        ASSERT_EQ(w, 640);
        ASSERT_EQ(h, 480);
        // The room does not move: the last frames are the same picture.
        EXPECT_EQ(a, b);
        ExpectPngGolden(windowed ? "d3d_program_room-window.png" : "d3d_program_room-full.png", b, w, h);
        ASSERT_TRUE(ReadPng(GoldenPath(windowed ? "demo_room-555.png" : "demo_room-565.png"), &soft, &sw, &sh));
        ASSERT_EQ(soft.size(), b.size());
        // Both clear to black where nothing is drawn.
        double agreement = CoverageAgreement(b, 0, soft, 0);
        EXPECT_GE(agreement, 0.98) << windowed;
        std::printf("coverage agreement with game-soft (%s): %.4f\n", windowed ? "window" : "full screen", agreement);
    }
}

}  // namespace
}  // namespace test
