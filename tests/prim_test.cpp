// The primitive sets on small screens at every depth: spans, rectangles,
// tints, pixels, lines, the mosaic and the whole-screen effects.
#include "draw_support.h"
#include "platform/display/prim.h"
#include "platform/display/toolkit.h"

#include <set>
#include <utility>
#include <vector>

namespace {

using test::DrawTest;
using test::Layout;

constexpr Layout kDepths[] = {Layout::k8, Layout::k565, Layout::k555, Layout::k888, Layout::k888Mmx};

class PrimTest : public DrawTest {
protected:
    // The pixels that differ from the background colour 0.
    std::set<std::pair<int, int>> Drawn() const {
        std::set<std::pair<int, int>> out;
        for (uint32_t y = 0; y < ScreenState.height; ++y)
            for (uint32_t x = 0; x < ScreenState.width; ++x)
                if (Pixel(int(x), int(y))) out.insert({int(x), int(y)});
        return out;
    }
    void TearDown() override {
        FreeBlendTable(nullptr);
        DrawTest::TearDown();
    }
};

using Points = std::set<std::pair<int, int>>;

TEST_F(PrimTest, SetsHoldTheirRoutinesBySlot) {
    for (const PrimTable* t : {&PrimSet8, &PrimSet16, &PrimSet32, &PrimSet32Mmx}) {
        EXPECT_EQ(t->Line, Prim_Line);
        EXPECT_EQ(t->ClearScreen, nullptr);
        EXPECT_EQ(t->ClearPages, nullptr);
        EXPECT_EQ(t->CopyPage, nullptr);
        EXPECT_EQ(t->Nothing, nullptr);
        EXPECT_NE(t->SetPalette, nullptr);
        EXPECT_EQ(t->slot14, nullptr);
        EXPECT_EQ(t->slot21, nullptr);
        EXPECT_EQ(t->ReliefLight, PrimSet8.ReliefLight);
        EXPECT_EQ(t->MergeImages, PrimSet8.MergeImages);
    }
    EXPECT_EQ(PrimSet16.SmoothToBuffer, PrimSet8.SmoothToBuffer);
    EXPECT_EQ(PrimSet32Mmx.FillRect, PrimSet32.FillRect);
    EXPECT_NE(PrimSet32Mmx.TintRect, PrimSet32.TintRect);
}

TEST_F(PrimTest, SpansRunEitherWay) {
    for (Layout layout : kDepths) {
        Screen(layout, 16, 8);
        ActivePrimTable.HSpan(10, 1, 0, 5);
        EXPECT_TRUE(Drawn().empty());
        ActivePrimTable.HSpan(10, 1, -3, 5);
        EXPECT_EQ(Drawn(), (Points{{7, 1}, {8, 1}, {9, 1}}));
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.HSpan(2, 0, 13, 0xFFFFFFFF);
        EXPECT_EQ(Drawn().size(), 13u);
        EXPECT_EQ(Pixel(14, 0), ScreenState.bytesPerPixel == 1 ? 0xFFu : ScreenState.bytesPerPixel == 2 ? 0xFFFFu : 0xFFFFFFFFu);
        EXPECT_EQ(Pixel(15, 0), 0u);
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.VSpan(3, 5, 0, 1);
        EXPECT_EQ(Drawn(), (Points{{3, 5}}));
        ActivePrimTable.VSpan(4, 5, -2, 1);
        EXPECT_EQ(Drawn(), (Points{{3, 5}, {4, 3}, {4, 4}, {4, 5}}));
    }
}

TEST_F(PrimTest, RectanglesSortTheirCorners) {
    for (Layout layout : kDepths) {
        Screen(layout, 8, 8);
        ActivePrimTable.FillRect(5, 5, 2, 2, 9);
        Points square = Drawn();
        EXPECT_EQ(square.size(), 16u);
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.FillRect(2, 2, 5, 5, 9);
        EXPECT_EQ(Drawn(), square);
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.FrameRect(2, 2, 5, 5, 9);
        Points frame = Drawn();
        EXPECT_EQ(frame.size(), 12u);
        EXPECT_TRUE(frame.count({2, 2}) && frame.count({5, 5}) && frame.count({5, 2}) && frame.count({2, 5}));
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.FrameRect(1, 3, 6, 3, 9);
        EXPECT_EQ(Drawn().size(), 6u);
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.StippleRect(0, 0, 3, 1, 9);
        EXPECT_EQ(Drawn(), (Points{{1, 1}, {3, 1}, {0, 0}, {2, 0}}));
    }
}

TEST_F(PrimTest, PixelsGoInAndComeOutZeroExtended) {
    for (Layout layout : kDepths) {
        Screen(layout, 4, 4, 1);
        ActivePrimTable.PutPixel(3, 2, 0x89ABCDEF);
        uint32_t expect = ScreenState.bytesPerPixel == 1 ? 0xEF : ScreenState.bytesPerPixel == 2 ? 0xCDEF : 0x89ABCDEF;
        EXPECT_EQ(ActivePrimTable.GetPixel(3, 2), expect);
        EXPECT_EQ(Drawn(), (Points{{3, 2}}));
    }
}

TEST_F(PrimTest, TintRectanglesByDepth) {
    // 8 bits: x1..x2 through the table; the others x1..x2 - 1.
    Screen(Layout::k8, 16, 2, 0, 3);
    std::vector<uint8_t> table(256);
    for (int i = 0; i < 256; ++i) table[size_t(i)] = uint8_t(255 - i);
    ActivePrimTable.TintRect(0, 0, 10, 0, table.data());
    for (int x = 0; x < 16; ++x) EXPECT_EQ(Pixel(x, 0), x <= 10 ? 252u : 3u);

    Screen(Layout::k565, 16, 2);
    for (int x = 0; x < 16; ++x) SetPixel(x, 0, 0xFFFF);
    g_DrawColour = 0;
    ActivePrimTable.TintRect(10, 0, 0, 0, nullptr);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(Pixel(x, 0), x < 10 ? 0x7BEFu : 0xFFFFu);

    Screen(Layout::k888, 4, 1);
    SetPixel(0, 0, 1);
    SetPixel(1, 0, 0x00FF0000);
    ActivePrimTable.TintRect(0, 0, 2, 0, nullptr);
    EXPECT_EQ(Pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(1, 0), 0xFF010000u);

    Screen(Layout::k888Mmx, 4, 1);
    SetPixel(0, 0, 0xFF804000);
    g_DrawColour = 0x00FF0080;
    g_BlendLevel = 128;
    ActivePrimTable.TintRect(0, 0, 1, 0, nullptr);
    // Per byte p x 128 / 256 + c x 127 / 256.
    EXPECT_EQ(Pixel(0, 0), 0x7FBE203Fu);
}

TEST_F(PrimTest, LinesDrawBothEndsTheSameEitherWay) {
    for (Layout layout : kDepths) {
        Screen(layout, 8, 8);
        ActivePrimTable.Line(0, 0, 3, 1, 7);
        Points forward = Drawn();
        EXPECT_EQ(forward, (Points{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.Line(3, 1, 0, 0, 7);
        EXPECT_EQ(Drawn(), forward);
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.Line(5, 0, 4, 3, 7);  // steep
        EXPECT_EQ(Drawn(), (Points{{5, 0}, {5, 1}, {4, 2}, {4, 3}}));
        memory_.assign(memory_.size(), 0);
        ActivePrimTable.Line(6, 6, 6, 6, 7);
        EXPECT_EQ(Drawn(), (Points{{6, 6}}));
    }
}

TEST_F(PrimTest, MosaicBlocksTakeTheirTopLeftPixel) {
    for (Layout layout : kDepths) {
        Screen(layout, 6, 4);
        std::vector<uint32_t> values;
        for (int i = 0; i < 24; ++i) values.push_back(uint32_t(i + 1));
        auto p = MakePicture(6, 4, Bytes(), values);
        ActivePrimTable.Mosaic(p.get(), 1);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) EXPECT_EQ(Pixel(x, y), values[size_t((y & ~1) * 6 + (x & ~1))]);
        ActivePrimTable.Mosaic(p.get(), 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) EXPECT_EQ(Pixel(x, y), values[size_t(y * 6 + x)]);
        ActivePrimTable.Mosaic(p.get(), 10);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) EXPECT_EQ(Pixel(x, y), 1u);
    }
}

// Blend rows that remember which pair they blended: rows[s][d] = s + d.
class PrimEffectTest : public PrimTest {
protected:
    void SetUp() override {
        PrimTest::SetUp();
        cells_.resize(65536);
        rows_.resize(256);
        for (int s = 0; s < 256; ++s) {
            rows_[size_t(s)] = cells_.data() + s * 256;
            for (int d = 0; d < 256; ++d) cells_[size_t(s * 256 + d)] = uint8_t(s + d);
        }
        g_BlendRows = rows_.data();
    }
    std::vector<uint8_t> cells_;
    std::vector<uint8_t*> rows_;
};

TEST_F(PrimEffectTest, BlendBufferBlendsEveryByte) {
    for (Layout layout : {Layout::k8, Layout::k565, Layout::k888}) {
        Screen(layout, 4, 3, 1);
        for (size_t i = 0; i < memory_.size(); ++i) memory_[i] = uint8_t(i);
        std::vector<uint8_t> source(memory_.size(), 10);
        ActivePrimTable.BlendBuffer(source.data());
        for (size_t i = 0; i < memory_.size(); ++i) ASSERT_EQ(memory_[i], uint8_t(i + 10));
    }
}

TEST_F(PrimEffectTest, SmoothToBufferBlendsTheFourNeighbours) {
    Screen(Layout::k8, 4, 3);
    for (size_t i = 0; i < memory_.size(); ++i) memory_[i] = uint8_t(i * 3);
    std::vector<uint8_t> out(memory_.size(), 0xEE);
    ActivePrimTable.SmoothToBuffer(out.data());
    // Rows 0 and 2 are left alone; row 1 (bytes 4..7) takes
    // rows[rows[below][above]][rows[right][left]].
    for (size_t p = 0; p < out.size(); ++p) {
        if (p < 4 || p >= 8) {
            EXPECT_EQ(out[p], 0xEE);
            continue;
        }
        uint8_t expect = uint8_t(uint8_t(memory_[p + 4] + memory_[p - 4]) + uint8_t(memory_[p + 1] + memory_[p - 1]));
        EXPECT_EQ(out[p], expect) << p;
    }
    // At 32 bits the horizontal neighbours are the same channel of the next
    // and previous pixels.
    Screen(Layout::k888, 3, 3);
    for (size_t i = 0; i < memory_.size(); ++i) memory_[i] = uint8_t(i * 5);
    std::vector<uint8_t> wide(memory_.size(), 0);
    ActivePrimTable.SmoothToBuffer(wide.data());
    size_t p = 12 + 5;
    EXPECT_EQ(wide[p], uint8_t(uint8_t(memory_[p + 12] + memory_[p - 12]) + uint8_t(memory_[p + 4] + memory_[p - 4])));
}

TEST_F(PrimEffectTest, MergeImagesIndexesByBrightness) {
    Screen(Layout::k8, 2, 1);
    ScreenState.palette[3 * 1 + 0] = 255;  // entry 1: red, luminance (77 x 255) >> 12 = 4
    ScreenState.palette[3 * 2 + 1] = 255;  // entry 2: green, luminance (150 x 255) >> 12 = 9
    std::vector<uint8_t> second(2, 0);
    ScreenState.secondPage = second.data();
    uint8_t a[2] = {1, 2}, b[2] = {2, 0};
    ActivePrimTable.MergeImages(a, b);
    EXPECT_EQ(second, (std::vector<uint8_t>{4 + 9 * 16, 9}));
}

TEST_F(PrimEffectTest, ReliefLightNeedsItsTablesAndLightsTheInside) {
    Screen(Layout::k8, 6, 5, 0, 0xAA);
    std::vector<uint8_t> heights(memory_.size(), 0);
    uint8_t flat[768] = {};
    ActivePrimTable.ReliefLight(0, 0, heights.data(), flat);
    EXPECT_EQ(memory_, std::vector<uint8_t>(memory_.size(), 0xAA));  // no light table yet
    BuildBlendTable();
    // A flat buffer lit from (3, 2): at (x, y) the level is
    // light[128 - |y - 2|][128 - |x + 1 - 3|], the frame byte rows[level][0].
    ActivePrimTable.ReliefLight(3, 2, heights.data(), flat);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            uint32_t expect = 0xAA;
            if (y >= 1 && y <= 3 && x >= 1 && x <= 4) {
                int ly = 128 - std::abs(y - 2), lx = 128 - std::abs(x + 1 - 3);
                expect = std::min(255, ly * lx / 64);
            }
            EXPECT_EQ(Pixel(x, y), expect) << x << "," << y;
        }
    }
}

}  // namespace
