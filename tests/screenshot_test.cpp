// Screenshots: the numbering from a prefix, the files written at 8 and 16
// bits (5-6-5 screens stored as 5-5-5), and failures that leave every
// earlier file as it was.
#include "draw_support.h"
#include "platform/display/toolkit.h"
#include "platform/memory.h"
#include "platform/resfile.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using test::Layout;

class ScreenshotTest : public test::DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        saved_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("morvanel-shot-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
        current_ = this;
        driver_.Lock = Lock;
        driver_.Unlock = Unlock;
    }
    void TearDown() override {
        fs::current_path(saved_);
        fs::remove_all(dir_);
        DrawTest::TearDown();
    }
    static uint8_t* Lock(VideoDriver*) {
        if (current_->refuseLock_) return nullptr;
        ScreenState.frameBuffer = current_->memory_.data();
        return ScreenState.frameBuffer;
    }
    static void Unlock(VideoDriver*) {}

    // A screen of the layout whose pixels are given row by row; rows are
    // padded so the pitch is wider than a row.
    void Start(Layout layout, int width, int height, const std::vector<uint32_t>& pixels) {
        Screen(layout, width, height, 3, 0xAB);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) SetPixel(x, y, pixels[size_t(y * width + x)]);
        CurrentVideoDriver = &driver_;
    }
    static std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Touch(const std::string& name, const std::string& text = "old") {
        std::ofstream(name, std::ios::binary) << text;
    }
    static std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(".")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The pixels of a 16-bit true-colour TGA file: header 18 bytes, rows
    // bottom first.
    static std::vector<uint16_t> TgaPixels(const std::string& bytes, int* width, int* height, int* depth) {
        auto u8 = [&](size_t i) { return uint8_t(bytes[i]); };
        *width = u8(12) | u8(13) << 8;
        *height = u8(14) | u8(15) << 8;
        *depth = u8(16);
        std::vector<uint16_t> out(size_t(*width) * size_t(*height));
        for (int y = 0; y < *height; ++y)
            for (int x = 0; x < *width; ++x) {
                size_t at = 18 + (size_t(*height - 1 - y) * size_t(*width) + size_t(x)) * 2;
                out[size_t(y * *width + x)] = uint16_t(u8(at) | u8(at + 1) << 8);
            }
        return out;
    }

    static ScreenshotTest* current_;
    VideoDriver driver_{};
    bool refuseLock_ = false;
    fs::path saved_, dir_;
};
ScreenshotTest* ScreenshotTest::current_ = nullptr;

TEST_F(ScreenshotTest, NamesCountUpFromTheFirstFreeNumber) {
    Start(Layout::k565, 2, 1, {0, 0});
    char name[64];
    ASSERT_TRUE(ScreenshotName("spindrel", name, sizeof name));
    EXPECT_STREQ(name, "spindrel0000.tga");
    Touch("spindrel0000.tga");
    Touch("spindrel0001.tga");
    ASSERT_TRUE(SaveScreenshot("spindrel"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"spindrel0000.tga", "spindrel0001.tga", "spindrel0002.tga"}));
    EXPECT_EQ(Read("spindrel0001.tga"), "old");
    // A name that does not fit the buffer gives none.
    EXPECT_FALSE(ScreenshotName("spindrel", name, 16));
    // At one byte per pixel the name ends in .pcx and numbering starts anew.
    Start(Layout::k8, 2, 1, {0, 0});
    ASSERT_TRUE(ScreenshotName("spindrel", name, sizeof name));
    EXPECT_STREQ(name, "spindrel0000.pcx");
}

TEST_F(ScreenshotTest, WhenEveryNumberIsTakenTheLastIsWrittenAgain) {
    Start(Layout::k565, 2, 2, {0xF800, 0x07E0, 0x001F, 0xFFFF});
    char name[64];
    for (int n = 0; n <= 98; ++n) {
        std::snprintf(name, sizeof name, "shot%04d.tga", n);
        Touch(name);
    }
    ASSERT_TRUE(SaveScreenshot("shot"));
    EXPECT_EQ(Files().size(), 99u);
    EXPECT_EQ(Read("shot0097.tga"), "old");
    EXPECT_NE(Read("shot0098.tga"), "old");
}

TEST_F(ScreenshotTest, FiveSixFiveScreensAreSavedAsFiveFiveFive) {
    // Red, green, blue, white, one step of each channel, and a mixed grey.
    const std::vector<uint32_t> screen = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0841, 0x8410};
    Start(Layout::k565, 3, 2, screen);
    const std::vector<uint8_t> before = memory_;
    ASSERT_TRUE(SaveScreenshot("spindrel"));
    EXPECT_EQ(memory_, before);  // the screen itself is left alone
    int width = 0, height = 0, depth = 0;
    std::string bytes = Read("spindrel0000.tga");
    ASSERT_EQ(bytes.size(), 18u + 3 * 2 * 2);
    EXPECT_EQ(bytes[2], 2);  // true colour, not run-length coded
    std::vector<uint16_t> pixels = TgaPixels(bytes, &width, &height, &depth);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(depth, 16);
    // 0x0841 is red 1, green 2, blue 1: each 8 of 255, so 1 in five bits;
    // 0x8410 is red 16, green 32, blue 16: 128 each, so 16.
    EXPECT_EQ(pixels, (std::vector<uint16_t>{0x7C00, 0x03E0, 0x001F, 0x7FFF, 0x0421, 0x4210}));
    EXPECT_EQ(Files(), (std::vector<std::string>{"spindrel0000.tga"}));
}

TEST_F(ScreenshotTest, FiveFiveFiveScreensAreSavedAsTheyStand) {
    const std::vector<uint32_t> screen = {0x7C00, 0x1234, 0x0421, 0x7FFF};
    Start(Layout::k555, 2, 2, screen);
    ASSERT_TRUE(SaveScreenshot("s"));
    int width = 0, height = 0, depth = 0;
    std::vector<uint16_t> pixels = TgaPixels(Read("s0000.tga"), &width, &height, &depth);
    EXPECT_EQ(depth, 15);
    EXPECT_EQ(pixels, (std::vector<uint16_t>{0x7C00, 0x1234, 0x0421, 0x7FFF}));
}

TEST_F(ScreenshotTest, EightBitScreensAreSavedAsPcxWithThePalette) {
    std::vector<uint32_t> screen;
    for (int i = 0; i < 12; ++i) screen.push_back(uint32_t(i * 20));
    Start(Layout::k8, 4, 3, screen);
    for (int i = 0; i < 256; ++i) {
        ScreenState.palette[i * 3] = uint8_t(i);
        ScreenState.palette[i * 3 + 1] = uint8_t(255 - i);
        ScreenState.palette[i * 3 + 2] = uint8_t(i / 2);
    }
    std::vector<uint8_t> palette(ScreenState.palette, ScreenState.palette + 768);
    ASSERT_TRUE(SaveScreenshot("spindrel"));
    std::memset(ScreenState.palette, 0, 768);
    CurrentFileTable = &PlainFileTable;
    Picture* back = LoadPicture("spindrel0000.pcx", 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->width, 4);
    EXPECT_EQ(back->height, 3);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(back->pixels[i], uint8_t(i * 20)) << i;
    EXPECT_EQ(std::vector<uint8_t>(ScreenState.palette, ScreenState.palette + 768), palette);
    FreePictureRecord(back);
}

TEST_F(ScreenshotTest, FailuresAreReportedAndLeaveNothingBehind) {
    Start(Layout::k565, 2, 1, {1, 2});
    // No folder to write into.
    EXPECT_FALSE(SaveScreenshot("missing/spindrel"));
    // A screen that cannot be read.
    refuseLock_ = true;
    EXPECT_FALSE(SaveScreenshot("spindrel"));
    refuseLock_ = false;
    // No driver at all.
    CurrentVideoDriver = nullptr;
    EXPECT_FALSE(SaveScreenshot("spindrel"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"debug.txt"}));
    EXPECT_EQ(Read("debug.txt"),
              "Couldn't write the screenshot missing/spindrel0000.tga\n"
              "Couldn't write the screenshot spindrel0000.tga: the screen cannot be read\n"
              "Couldn't write the screenshot spindrel0000.tga: the screen cannot be read\n");
}

TEST_F(ScreenshotTest, AWriteThatFailsHalfWayKeepsTheEarlierFile) {
    // A screen larger than the files this process may write: the write
    // stops part way, as on a full disk.
    std::vector<uint32_t> screen(64 * 64, 0x1234);
    Start(Layout::k565, 64, 64, screen);
    char name[64];
    for (int n = 0; n <= 98; ++n) {
        std::snprintf(name, sizeof name, "spindrel%04d.tga", n);
        Touch(name, "kept");
    }
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 2048;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = SaveScreenshot("spindrel");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(Read("spindrel0098.tga"), "kept");
    EXPECT_FALSE(fs::exists("spindrel0098.tga.part"));
    EXPECT_EQ(Read("debug.txt"), "Couldn't write the screenshot spindrel0098.tga\n");
}

}  // namespace
