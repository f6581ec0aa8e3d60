// The 2D toolkit: the light table, the scalers, row copies, ellipses, page
// feedback, the 5-5-5 conversion and the screen transitions step by step.
#include "draw_support.h"
#include "platform/display/toolkit.h"
#include "platform/memory.h"

#include <algorithm>
#include <vector>

namespace {

using test::DrawTest;
using test::Layout;

class ToolkitTest : public DrawTest {
protected:
    void TearDown() override {
        FreeBlendTable(nullptr);
        DrawTest::TearDown();
    }
};

TEST_F(ToolkitTest, LightTableTreatsSixtyFourAsOne) {
    uint8_t* table = BuildBlendTable();
    ASSERT_EQ(table, BlendTable);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(table[64 * 256 + b], b);
    EXPECT_EQ(table[255 * 256 + 255], 255);
    EXPECT_EQ(table[8 * 256 + 8], 1);
    EXPECT_EQ(table[7 * 256 + 9], 0);
    FreeBlendTable(nullptr);
    EXPECT_EQ(BlendTable, nullptr);
    FreeBlendTable(nullptr);  // nothing left to free
}

TEST_F(ToolkitTest, ScalePixelsSamplesNearest) {
    const uint8_t four[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint8_t two[4] = {};
    ScalePixels(four, two, 4, 2, 4, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(two, two + 4), (std::vector<uint8_t>{1, 3, 9, 11}));
    uint8_t big[16] = {};
    ScalePixels(two, big, 2, 4, 2, 4, 1);
    EXPECT_EQ(std::vector<uint8_t>(big, big + 16),
              (std::vector<uint8_t>{1, 1, 3, 3, 1, 1, 3, 3, 9, 9, 11, 11, 9, 9, 11, 11}));
    // Three-byte pixels move whole.
    const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
    uint8_t wide[12] = {};
    ScalePixels(rgb, wide, 1, 1, 2, 4, 3);
    EXPECT_EQ(std::vector<uint8_t>(wide, wide + 12), (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6}));
    // Other pixel sizes and empty destinations do nothing.
    uint8_t untouched[4] = {7, 7, 7, 7};
    ScalePixels(four, untouched, 4, 2, 4, 2, 5);
    ScalePixels(four, untouched, 4, 0, 4, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(untouched, untouched + 4), (std::vector<uint8_t>{7, 7, 7, 7}));
}

TEST_F(ToolkitTest, ScalePictureAllocatesItsPixels) {
    std::vector<uint8_t> source = {1, 2, 3, 4};
    Picture from{2, 2, source.data(), nullptr};
    Picture to{4, 2, nullptr, nullptr};
    ScalePicture(&to, &from, 1);
    ASSERT_NE(to.pixels, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(to.pixels, to.pixels + 8), (std::vector<uint8_t>{1, 1, 2, 2, 3, 3, 4, 4}));
    MemFree(to.pixels);
}

// A grey palette: entry i is (i, i, i), so the nearest colour of a grey
// level is the level itself.
class SmoothScaleTest : public ToolkitTest {
protected:
    void SetUp() override {
        ToolkitTest::SetUp();
        Screen(Layout::k8, 4, 4);
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c) ScreenState.palette[i * 3 + c] = uint8_t(i);
    }
};

TEST_F(SmoothScaleTest, EqualByteSizesCopyWithoutFiltering) {
    std::vector<uint8_t> source = {9, 0, 0, 0, 0, 0, 0, 200};
    std::vector<uint8_t> out(8, 0);
    Picture from{4, 2, source.data(), nullptr}, to{2, 4, out.data(), nullptr};
    SmoothScalePicture(&to, &from, 1, 0);
    EXPECT_EQ(out, source);
}

TEST_F(SmoothScaleTest, InnerRowsTakeTheWeightedNeighbours) {
    // 4 x 4 to 2 x 2 samples rows 0 and 2, columns 0 and 2.  Row 0 is the
    // first row: copied.  Row 2 is filtered: the centre weighs 4, the sides
    // 2, the corners 1, out of 16.
    std::vector<uint8_t> source(16, 0);
    source[0] = 77;
    source[2 * 4 + 0] = 32;   // centre of the first filtered pixel (index 8)
    source[1 * 4 + 3] = 48;   // its left neighbour, the previous row's end (weight 2),
                              // and the second pixel's top-right (weight 1)
    source[2 * 4 + 3] = 80;   // its bottom-left, the row's end (weight 1), and
                              // the second pixel's right neighbour (weight 2)
    source[2 * 4 + 2] = 160;  // centre of the second filtered pixel (index 10)
    std::vector<uint8_t> out(4, 0xEE);
    Picture from{4, 4, source.data(), nullptr}, to{2, 2, out.data(), nullptr};
    SmoothScalePicture(&to, &from, 1, 0);
    EXPECT_EQ(out[0], 77);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], (32 * 4 + 48 * 2 + 80 * 1) / 16);
    EXPECT_EQ(out[3], (160 * 4 + 80 * 2 + 48 * 1) / 16);
}

TEST_F(SmoothScaleTest, TheNeighbourBeforeTheFirstPixelIsClamped) {
    // 3 x 4 to 3 x 3 samples source row 1 for the second output row; the
    // first pixel's top-left neighbour would lie before the picture and
    // falls on pixel 0, which so counts twice (weights 1 and 2).
    std::vector<uint8_t> source(12, 0);
    source[0] = 160;
    std::vector<uint8_t> out(9, 0xEE);
    Picture from{3, 4, source.data(), nullptr}, to{3, 3, out.data(), nullptr};
    SmoothScalePicture(&to, &from, 1, 0);
    EXPECT_EQ(out[3], 160 * 3 / 16);
}

TEST_F(SmoothScaleTest, SixteenBitPixelsAndRowSkips) {
    Screen(Layout::k565, 4, 4);
    // A uniform picture comes out the same through the filter.
    std::vector<uint16_t> source(16, 0x8410);
    Picture from{4, 4, reinterpret_cast<uint8_t*>(source.data()), nullptr};
    Picture to{3, 3, nullptr, nullptr};
    SmoothScalePicture(&to, &from, 2, 4);
    ASSERT_NE(to.pixels, nullptr);
    // Each 6-byte row is followed by 4 bytes left alone.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            uint16_t v;
            std::memcpy(&v, to.pixels + r * 10 + c * 2, 2);
            EXPECT_EQ(v, 0x8410) << r << "," << c;
        }
        for (int k = 6; k < 10; ++k) EXPECT_EQ(to.pixels[r * 10 + k], 0);
    }
    MemFree(to.pixels);
}

TEST_F(ToolkitTest, RowCopiesAndTransposition) {
    Screen(Layout::k565, 4, 4);
    const uint8_t source[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    uint8_t rows[8] = {};
    CopyPixelRows(source, rows, 2, 6, 2);  // two rows of 2 pixels, source rows 6 bytes apart
    EXPECT_EQ(std::vector<uint8_t>(rows, rows + 8), (std::vector<uint8_t>{1, 2, 3, 4, 7, 8, 9, 10}));
    uint8_t columns[12] = {};
    TransposeBytes(source, columns, 4, 3);
    EXPECT_EQ(std::vector<uint8_t>(columns, columns + 12),
              (std::vector<uint8_t>{1, 5, 9, 2, 6, 10, 3, 7, 11, 4, 8, 12}));
}

TEST_F(ToolkitTest, GrabScreenRectCopiesOnlyWhatLiesOnTheScreen) {
    Screen(Layout::k888, 4, 3, 2);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) SetPixel(x, y, uint32_t(y * 10 + x));
    std::vector<uint32_t> pixels(4, 0xEEEEEEEE);
    Picture picture{2, 2, reinterpret_cast<uint8_t*>(pixels.data()), nullptr};
    GrabScreenRect(2, 1, &picture);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{12, 13, 22, 23}));
    pixels.assign(4, 0xEEEEEEEE);
    GrabScreenRect(3, 1, &picture);  // one column past the right edge
    GrabScreenRect(-1, 0, &picture);
    EXPECT_EQ(pixels, std::vector<uint32_t>(4, 0xEEEEEEEE));
}

TEST_F(ToolkitTest, EllipseSpansClipToTheBox) {
    Screen(Layout::k8, 16, 16);
    Clip(2, 4, 12, 15);
    FillEllipseSpans(5, 2, 6, 5, 1);  // rows 3 (above the clip top) and 7
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(Pixel(x, y), y == 7 && x >= 2 && x < 11 ? 1u : 0u) << x << "," << y;
    memory_.assign(memory_.size(), 0);
    FillEllipseSpans(20, 0, 6, 8, 1);  // clamped to columns 2..12, the right end left out
    for (int x = 0; x < 16; ++x) EXPECT_EQ(Pixel(x, 8), x >= 2 && x < 12 ? 1u : 0u) << x;
}

TEST_F(ToolkitTest, FilledEllipseByTheMidpointRule) {
    Screen(Layout::k8, 16, 16);
    FillEllipse(8, 8, 4, 2, 1);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool in = (y == 8 && x >= 6 && x <= 9) || ((y == 7 || y == 9) && x >= 7 && x <= 8);
            EXPECT_EQ(Pixel(x, y), in ? 1u : 0u) << x << "," << y;
        }
    }
    memory_.assign(memory_.size(), 0);
    FillEllipse(8, 8, 12, 8, 1);
    // Symmetric about its centre row and about x = 7.5, widest on the
    // centre row.
    for (int y = 1; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(Pixel(x, y), Pixel(x, 16 - y)) << x << "," << y;
            EXPECT_EQ(Pixel(x, y), Pixel(15 - x, y)) << x << "," << y;
        }
    int centre = 0, top = 0;
    for (int x = 0; x < 16; ++x) {
        centre += int(Pixel(x, 8));
        top += int(Pixel(x, 4));
    }
    EXPECT_EQ(centre, 12);
    EXPECT_GT(top, 0);
    EXPECT_LT(top, centre);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(Pixel(x, 3), 0u);
}

TEST_F(ToolkitTest, FiveSixFiveBecomesFiveFiveFive) {
    Screen(Layout::k565, 2, 2);
    uint16_t pixels[5] = {0xFFFF, 0xF800, 0x07E0, 0x0020, 0x0040};
    Convert565To555(pixels, 5);
    EXPECT_EQ(pixels[0], 0x7FFF);
    EXPECT_EQ(pixels[1], 0x7C00);
    EXPECT_EQ(pixels[2], 0x03E0);
    EXPECT_EQ(pixels[3], 0x0000);  // green's lowest bit is lost
    EXPECT_EQ(pixels[4], 0x0020);
}

TEST_F(ToolkitTest, PageTrailsAlternateBetweenTwoPages) {
    Screen(Layout::k8, 4, 2);
    std::vector<uint8_t> cells(65536);
    std::vector<uint8_t*> rows(256);
    for (int s = 0; s < 256; ++s) {
        rows[size_t(s)] = cells.data() + s * 256;
        for (int d = 0; d < 256; ++d) cells[size_t(s * 256 + d)] = uint8_t(s);  // the source wins
    }
    g_BlendRows = rows.data();
    std::vector<uint8_t> page0(8, 10), page1(8, 11);
    ScreenState.pages[0] = page0.data();
    ScreenState.pages[1] = page1.data();
    ScreenState.surfaceCount = 1;
    PageTrailBlend();
    EXPECT_EQ(memory_, std::vector<uint8_t>(8, 0));  // one surface page: nothing
    ScreenState.surfaceCount = 2;
    PageTrailBlend();
    uint8_t first = memory_[0];
    PageTrailBlend();
    uint8_t second = memory_[0];
    EXPECT_NE(first, second);
    EXPECT_TRUE((first == 10 && second == 11) || (first == 11 && second == 10));
}

// ---------------------------------------------------------------------------
// Transitions: a driver over the test's memory that counts its locks and a
// present hook that keeps every frame.
// ---------------------------------------------------------------------------

class TransitionTest : public ToolkitTest {
protected:
    static TransitionTest* current_;
    std::vector<std::vector<uint8_t>> frames_;
    int locked_ = 0;
    size_t frameOffset_ = 0;  // where the frame starts in memory_
    VideoDriver driver_{};

    static uint8_t* Lock(VideoDriver*) {
        current_->locked_ = 1;
        ScreenState.frameBuffer = current_->memory_.data() + current_->frameOffset_;
        return ScreenState.frameBuffer;
    }
    static void Unlock(VideoDriver*) { current_->locked_ = 0; }
    static void Present() {
        EXPECT_EQ(current_->locked_, 0) << "a frame is shown while locked";
        current_->frames_.push_back(current_->memory_);
    }

    void Start(Layout layout, int width, int height) {
        current_ = this;
        Screen(layout, width, height);
        ActivePrimTable.ClearScreen = ClearFrameBuffer;
        driver_.Lock = Lock;
        driver_.Unlock = Unlock;
        CurrentVideoDriver = &driver_;
        PresentHook = Present;
        std::vector<uint32_t> values;
        for (int i = 0; i < width * height; ++i) values.push_back(uint32_t(1 + i % 200));
        picture_ = MakePicture(width, height, Bytes(), values);
    }
    uint32_t At(const std::vector<uint8_t>& frame, int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, frame.data() + size_t(y) * ScreenState.pitch + size_t(x) * size_t(Bytes()), size_t(Bytes()));
        return v;
    }
    uint32_t Source(int x, int y) const { return uint32_t(1 + (y * picture_.picture.width + x) % 200); }
    bool IsPicture(const std::vector<uint8_t>& frame) const {
        for (int y = 0; y < picture_.picture.height; ++y)
            for (int x = 0; x < picture_.picture.width; ++x)
                if (At(frame, x, y) != Source(x, y)) return false;
        return true;
    }
    bool IsOneColour(const std::vector<uint8_t>& frame, uint32_t colour) const {
        for (uint32_t y = 0; y < ScreenState.height; ++y)
            for (uint32_t x = 0; x < ScreenState.width; ++x)
                if (At(frame, int(x), int(y)) != colour) return false;
        return true;
    }

    TestPicture picture_;
};

TransitionTest* TransitionTest::current_ = nullptr;

TEST_F(TransitionTest, MosaicOutShowsThePictureThenOneColourThenBlack) {
    Start(Layout::k8, 32, 24);
    ScreenTransition(picture_.get(), 5, 1);
    ASSERT_EQ(frames_.size(), 12u);  // 11 steps and the final one
    EXPECT_TRUE(IsPicture(frames_[0]));
    for (int y = 0; y < 24; ++y)  // blocks of 2 x 2 at step 1
        for (int x = 0; x < 32; ++x) ASSERT_EQ(At(frames_[1], x, y), Source(x & ~1, y & ~1));
    EXPECT_TRUE(IsOneColour(frames_[10], Source(0, 0)));
    EXPECT_TRUE(IsOneColour(frames_[11], 0));
}

TEST_F(TransitionTest, MosaicInEndsWithThePicture) {
    Start(Layout::k8, 32, 24);
    ScreenTransition(picture_.get(), 7, 0);
    ASSERT_EQ(frames_.size(), 12u);
    EXPECT_TRUE(IsOneColour(frames_[0], Source(0, 0)));
    EXPECT_TRUE(IsPicture(frames_[10]));
    EXPECT_TRUE(IsPicture(frames_[11]));
}

// Each step's palette goes through the palette layer's fade: entry 200 at
// level s / 10, with the vertical-blank wait switched off around the call
// while the back page lies in display memory.
struct PaletteStep {
    int red;
    bool waitVbl;
};
std::vector<PaletteStep> g_paletteSteps;
void RecordPalette(int32_t first, int32_t count, const uint8_t* rgb) {
    if (first <= 200 && first + count > 200)
        g_paletteSteps.push_back({rgb[(200 - first) * 3], (ScreenState.flags & kScreenWaitVbl) != 0});
}

TEST_F(TransitionTest, PaletteStepsFadeThroughThePaletteLayer) {
    Start(Layout::k8, 32, 24);
    ActivePrimTable.SetPalette = RecordPalette;
    EngineConfig.VideoBytes[1] = 0;  // no brightness added
    ScreenState.palette[600] = 200;
    ScreenState.flags |= kScreenBackInVideo | kScreenWaitVbl;
    g_paletteSteps.clear();
    ScreenTransition(picture_.get(), 5, 0);
    ASSERT_EQ(g_paletteSteps.size(), 11u);
    for (int s = 0; s <= 10; ++s) {
        EXPECT_EQ(g_paletteSteps[size_t(s)].red, 200 * s / 10) << s;
        EXPECT_FALSE(g_paletteSteps[size_t(s)].waitVbl) << s;
    }
    EXPECT_TRUE(ScreenState.flags & kScreenWaitVbl);
    // Two final frames when two pages flip.
    EXPECT_EQ(frames_.size(), 13u);
}

TEST_F(TransitionTest, ZoomGrowsFromTheCentre) {
    Start(Layout::k8, 32, 24);
    ScreenTransition(picture_.get(), 2, 0);
    ASSERT_EQ(frames_.size(), 18u);
    EXPECT_TRUE(IsOneColour(frames_[0], 0));  // size 0: nothing yet
    // Step 8: half size (16 x 12) at ((31 - 16) / 2, (23 - 12) / 2).
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(At(frames_[8], 7 + x, 5 + y), Source(2 * x, 2 * y));
    EXPECT_EQ(At(frames_[8], 6, 5), 0u);
    EXPECT_TRUE(IsPicture(frames_[16]));
    EXPECT_TRUE(IsPicture(frames_[17]));
}

TEST_F(TransitionTest, ZoomOutClearsAroundAndStaysOnTheScreen) {
    Start(Layout::k8, 32, 24);
    ScreenTransition(picture_.get(), 2, 1);
    ASSERT_EQ(frames_.size(), 18u);
    EXPECT_TRUE(IsPicture(frames_[0]));
    // Step 8: the half-size picture with black all around it.
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 32; ++x) {
            bool inside = x >= 7 && x < 23 && y >= 5 && y < 17;
            ASSERT_EQ(At(frames_[8], x, y), inside ? Source(2 * (x - 7), 2 * (y - 5)) : 0u) << x << "," << y;
        }
    }
    EXPECT_TRUE(IsOneColour(frames_[16], 0));
    EXPECT_TRUE(IsOneColour(frames_[17], 0));
}

// A picture larger than the screen zooms from the centre and, near full
// size, is cut to the screen: nothing is written outside the frame, whose
// memory lies between two guard bands here, and at full size the screen
// shows the picture's middle, last column and row included.
TEST_F(TransitionTest, ZoomOfALargerPictureStaysInsideTheFrame) {
    Start(Layout::k8, 32, 24);
    constexpr size_t kGuard = 4096;
    constexpr uint8_t kCanary = 0xA5;
    const size_t frame = ScreenState.frameSize;
    memory_.assign(kGuard + frame + kGuard, kCanary);
    std::fill(memory_.begin() + kGuard, memory_.begin() + kGuard + frame, 0);
    frameOffset_ = kGuard;
    std::vector<uint32_t> values;
    for (int i = 0; i < 48 * 36; ++i) values.push_back(uint32_t(1 + i % 200));
    TestPicture large = MakePicture(48, 36, 1, values);
    for (int mode : {0, 1}) {
        frames_.clear();
        ScreenTransition(large.get(), 2, mode);
        ASSERT_EQ(frames_.size(), 18u);
        for (size_t f = 0; f < frames_.size(); ++f) {
            const std::vector<uint8_t>& m = frames_[f];
            for (size_t i = 0; i < kGuard; ++i) {
                ASSERT_EQ(m[i], kCanary) << "mode " << mode << " step " << f << ": byte " << kGuard - i << " before";
                ASSERT_EQ(m[kGuard + frame + i], kCanary) << "mode " << mode << " step " << f << ": byte " << i << " after";
            }
        }
        // Full size: x0 = (31 - 48) / 2 = -8, y0 = (23 - 36) / 2 = -6, one
        // source pixel per screen pixel.
        const std::vector<uint8_t>& full = frames_[mode == 0 ? 16 : 0];
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(full[kGuard + size_t(y) * 32 + size_t(x)], 1 + ((y + 6) * 48 + x + 8) % 200)
                    << "mode " << mode << " at " << x << "," << y;
    }
    frameOffset_ = 0;
}

TEST_F(TransitionTest, SlideRisesFromTheBottom) {
    Start(Layout::k8, 32, 24);
    ScreenTransition(picture_.get(), 3, 0);
    ASSERT_EQ(frames_.size(), 10u);
    // Step 4: the picture's top row at 23 x 4 / 8 = 11, black above.
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(At(frames_[4], x, y), y < 11 ? 0u : Source(x, y - 11));
    EXPECT_TRUE(IsPicture(frames_[8]));
}

TEST_F(TransitionTest, PageTurnMirrorsTheTurningPart) {
    Start(Layout::k8, 32, 24);
    ScreenTransition(picture_.get(), 4, 0);
    ASSERT_EQ(frames_.size(), 18u);
    // Step 8: columns 0-14 straight, 15-22 mirrored (column 15 + i shows
    // source column 31 - i), the rest still black.
    for (int x = 0; x < 32; ++x) {
        uint32_t expect = x < 15 ? Source(x, 3) : x <= 22 ? Source(31 - (x - 15), 3) : 0u;
        EXPECT_EQ(At(frames_[8], x, 3), expect) << x;
    }
    EXPECT_EQ(ScreenState.clipLeft, 0);
    EXPECT_EQ(ScreenState.clipRight, 31);
    EXPECT_TRUE(IsPicture(frames_[16]));
}

TEST_F(TransitionTest, CrossFadeAtThirtyTwoBitsStepsTheBlendLevel) {
    Start(Layout::k888Mmx, 8, 4);
    picture_ = MakePicture(8, 4, 4, std::vector<uint32_t>(32, 0x80808080));
    g_BlendLevel = 77;
    ScreenTransition(picture_.get(), 0, 0);
    ASSERT_EQ(frames_.size(), 18u);  // 17 steps and the final one
    EXPECT_EQ(At(frames_[0], 3, 2), 0u);
    EXPECT_EQ(At(frames_[8], 3, 2), 0x40404040u);    // level 128
    EXPECT_EQ(At(frames_[16], 3, 2), 0x7F7F7F7Fu);   // level 255
    EXPECT_EQ(At(frames_[17], 3, 2), 0x80808080u);   // the picture itself
    EXPECT_EQ(g_BlendLevel, 77u);
    frames_.clear();
    ScreenTransition(picture_.get(), 0, 1);
    ASSERT_EQ(frames_.size(), 18u);
    EXPECT_EQ(At(frames_[0], 3, 2), 0x7F7F7F7Fu);
    EXPECT_EQ(At(frames_[16], 3, 2), 0u);
    EXPECT_TRUE(IsOneColour(frames_[17], 0));
}

TEST_F(TransitionTest, SixteenBitsAlwaysFade) {
    Start(Layout::k565, 8, 4);
    ScreenState.flags |= kScreenBackInVideo;
    uint8_t flags = ScreenState.flags;
    ScreenTransition(picture_.get(), 3, 0);
    // The fade shows the picture (twice with two pages) and the final step
    // shows it again; no slide.
    ASSERT_EQ(frames_.size(), 4u);
    for (const auto& frame : frames_) EXPECT_TRUE(IsPicture(frame));
    EXPECT_EQ(ScreenState.flags, flags);
}

TEST_F(TransitionTest, FromTheScreenUsesWhatItShows) {
    Start(Layout::k8, 16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) SetPixel(x, y, Source(x, y));
    TransitionFromScreen(1, 6);
    ASSERT_EQ(frames_.size(), 13u);  // the mosaic's 11 steps, its final step, and the closing one
    EXPECT_TRUE(IsPicture(frames_[0]));
    EXPECT_TRUE(IsOneColour(frames_[12], 0));
    frames_.clear();
    Start(Layout::k565, 16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) SetPixel(x, y, 5);
    TransitionFromScreen(1, 0);
    ASSERT_EQ(frames_.size(), 1u);  // palette steps only, then the screen cleared
    EXPECT_TRUE(IsOneColour(frames_[0], 0));
}

}  // namespace
