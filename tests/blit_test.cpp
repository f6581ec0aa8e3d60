// The blit sets on small known pictures: every mode at 8, 16 (5-6-5 and
// 5-5-5) and 32 bits against hand-computed pixels, the clipping at every
// edge, the scaled forms' stepping and the MMX set's byte arithmetic.
#include "draw_support.h"

#include <string>
#include <vector>

namespace {

using test::DrawTest;
using test::Layout;

class BlitTest : public DrawTest {
protected:
    // Draws a one-row picture at (0, 0) through an unscaled slot onto a row
    // of `under` and answers the row.
    std::vector<uint32_t> Row(int slot, const std::vector<uint32_t>& source, const std::vector<uint32_t>& under) {
        int n = int(source.size());
        for (int i = 0; i < n; ++i) SetPixel(i, 0, under[size_t(i)]);
        auto p = MakePicture(n, 1, Bytes(), source);
        ActiveBlitTable.modes[slot](0, 0, p.get());
        std::vector<uint32_t> out;
        for (int i = 0; i < n; ++i) out.push_back(Pixel(i, 0));
        return out;
    }
    // The same through a scaled slot at the picture's own size, with an
    // indexed source (one byte per pixel through `palette`) unless the slot
    // reads screen pixels.
    std::vector<uint32_t> ScaledRow(int slot, const std::vector<uint32_t>& source, const std::vector<uint32_t>& under,
                                    bool indexed) {
        int n = int(source.size());
        for (int i = 0; i < n; ++i) SetPixel(i, 0, under[size_t(i)]);
        std::vector<uint32_t> palette(256, 0), indices;
        if (indexed) {
            for (int i = 0; i < n; ++i) {
                palette[size_t(i + 1)] = source[size_t(i)];
                indices.push_back(uint32_t(i + 1));
            }
        }
        auto p = MakePicture(n, 1, indexed ? 1 : Bytes(), indexed ? indices : source);
        p.picture.extra = palette.data();
        ActiveBlitTable.scaled[slot - 8](p.get(), 0, 0, n, 1);
        std::vector<uint32_t> out;
        for (int i = 0; i < n; ++i) out.push_back(Pixel(i, 0));
        return out;
    }
};

using Pixels = std::vector<uint32_t>;

TEST_F(BlitTest, SetsHoldTheirRoutinesBySlot) {
    for (const BlitTable* t : {&BlitSet8, &BlitSet16, &BlitSet32, &BlitSet32Mmx}) {
        EXPECT_EQ(t->modes[0], nullptr);
        for (int slot = 1; slot < 8; ++slot) EXPECT_NE(t->modes[slot], nullptr);
        for (int slot = 8; slot < 14; ++slot) EXPECT_NE(t->scaled[slot - 8], nullptr);
    }
    EXPECT_EQ(BlitSet8.Setup, nullptr);
    EXPECT_EQ(BlitSet16.Setup, Blit_SelectAddHook);
    EXPECT_EQ(BlitSet32.Setup, nullptr);
    EXPECT_EQ(BlitSet32Mmx.Setup, nullptr);
    EXPECT_EQ(BlitSet16.modes[3], BlitSet16.modes[1]);    // keyed
    EXPECT_EQ(BlitSet32.modes[3], BlitSet32.modes[2]);    // opaque
    EXPECT_EQ(BlitSet32Mmx.modes[6], BlitSet32Mmx.modes[7]);  // fade
    EXPECT_EQ(BlitSet32.scaled[11 - 8], BlitSet32.scaled[12 - 8]);  // add
    EXPECT_EQ(BlitSet32.scaled[13 - 8], BlitSet32.scaled[10 - 8]);  // half blend
}

TEST_F(BlitTest, EightBitModes) {
    Screen(Layout::k8, 8, 2);
    g_DrawColour = 7;
    EXPECT_EQ(Row(1, {0, 5, 0xFF}, {9, 9, 9}), (Pixels{9, 5, 7}));
    EXPECT_EQ(Row(2, {0, 5, 0xFF}, {9, 9, 9}), (Pixels{0, 5, 0xFF}));
    EXPECT_EQ(Row(3, {1, 2, 3, 4, 5}, {0, 0, 0, 0, 0}), (Pixels{5, 4, 3, 2, 1}));
    // The key compares the low byte only.
    g_TransparentColour = 0x105;
    EXPECT_EQ(Row(1, {0, 5, 6}, {9, 9, 9}), (Pixels{0, 9, 6}));
    g_TransparentColour = 0;
    // Row blends: rows[s][d], the draw colour's row for 0xff; no key.
    std::vector<uint8_t> cells(65536);
    std::vector<uint8_t*> rows(256);
    for (int s = 0; s < 256; ++s) {
        rows[size_t(s)] = cells.data() + s * 256;
        for (int d = 0; d < 256; ++d) cells[size_t(s * 256 + d)] = uint8_t(s + 2 * d);
    }
    g_BlendRows = rows.data();
    for (int slot = 4; slot <= 7; ++slot) EXPECT_EQ(Row(slot, {0, 5, 0xFF}, {1, 2, 3}), (Pixels{2, 9, 13}));
    // Scaled: index 0 transparent, 0xff in the draw colour; blends skip 0.
    EXPECT_EQ(ScaledRow(8, {0, 5, 0xFF}, {9, 9, 9}, false), (Pixels{9, 5, 7}));
    EXPECT_EQ(ScaledRow(9, {0, 5, 0xFF}, {9, 9, 9}, false), (Pixels{9, 5, 7}));
    for (int slot = 10; slot <= 13; ++slot) EXPECT_EQ(ScaledRow(slot, {0, 5, 0xFF}, {1, 2, 3}, false), (Pixels{1, 9, 5}));
}

TEST_F(BlitTest, EightBitBlendsWithoutRowsDrawNothing) {
    Screen(Layout::k8, 4, 2, 0, 3);
    EXPECT_EQ(Row(4, {1, 2}, {3, 3}), (Pixels{3, 3}));
    EXPECT_EQ(ScaledRow(10, {1, 2}, {3, 3}, false), (Pixels{3, 3}));
}

TEST_F(BlitTest, SixteenBitModes) {
    for (Layout layout : {Layout::k565, Layout::k555}) {
        Screen(layout, 8, 2);
        const uint32_t W = layout == Layout::k565 ? 0xFFFF : 0x7FFF;
        EXPECT_EQ(ScreenWhite, W);
        g_DrawColour = 0x0421;
        EXPECT_EQ(Row(1, {0, 0x1234, W}, {9, 9, 9}), (Pixels{9, 0x1234, 0x0421}));
        EXPECT_EQ(Row(3, {0, 0x1234, W}, {9, 9, 9}), (Pixels{9, 0x1234, 0x0421}));
        EXPECT_EQ(Row(2, {0, 0x1234, W}, {9, 9, 9}), (Pixels{0, 0x1234, W}));
        // A key above 16 bits never matches a 16-bit pixel.
        g_TransparentColour = 0x10000;
        EXPECT_EQ(Row(1, {0, 3}, {9, 9}), (Pixels{0, 3}));
        g_TransparentColour = 0;
        // Half blends: the lowest bit of every channel dropped first.
        g_DrawColour = W;
        for (int slot : {4, 6, 7}) {
            Pixels expect = layout == Layout::k565 ? Pixels{5, 0x7BEF, 0x780F, 0} : Pixels{5, 0x3DEF, 0x3C0F, 0};
            uint32_t red = layout == Layout::k565 ? 0xF800 : 0x7C00;
            EXPECT_EQ(Row(slot, {0, W, red, 1}, {5, 0, 0x001F, 1}), expect) << slot;
        }
        // Slot 5 adds through the hook the set-up chose, with no key.
        EXPECT_EQ(g_AddHook, layout == Layout::k565 ? AddSaturate565 : AddSaturate555);
        if (layout == Layout::k565) {
            EXPECT_EQ(Row(5, {0xF800, 0x07E0, 0x0010, 0}, {0x0800, 0x0020, 0x0010, 7}),
                      (Pixels{0xF800, 0x07E0, 0x001F, 7}));
        } else {
            EXPECT_EQ(Row(5, {0x7C00, 0x0010, 0x03E0, 0}, {0x7C00, 0x0010, 0x0020, 7}),
                      (Pixels{0x7C00, 0x001F, 0x03E0, 7}));
        }
        // Scaled: the key skipped and the draw colour drawn white.
        g_DrawColour = 0x0421;
        EXPECT_EQ(ScaledRow(8, {0, 0x0421, 0x1234}, {9, 9, 9}, false), (Pixels{9, W, 0x1234}));
        EXPECT_EQ(ScaledRow(9, {0, 0x0421, 0x1234}, {9, 9, 9}, true), (Pixels{9, W, 0x1234}));
        // Indexed half blend and adds have no key.
        EXPECT_EQ(ScaledRow(10, {0, 0x1084}, {0x1084, 0}, true), (Pixels{0x0842, 0x0842}));
        for (int slot = 11; slot <= 13; ++slot)
            EXPECT_EQ(ScaledRow(slot, {0, 0x0010}, {3, 0x0010}, true), (Pixels{3, 0x001F}));
    }
}

TEST_F(BlitTest, SixteenBitAddThroughAnyHook) {
    Screen(Layout::k565, 4, 2);
    g_AddHook = [](uint32_t a, uint32_t b) { return a ^ b; };
    EXPECT_EQ(Row(5, {0x00F0, 0x0F00}, {0x0FF0, 0x0F00}), (Pixels{0x0F00, 0}));
    EXPECT_EQ(ScaledRow(12, {0x00F0, 0x0F00}, {0x0FF0, 0x0F00}, true), (Pixels{0x0F00, 0}));
}

TEST_F(BlitTest, SaturatingAdds) {
    EXPECT_EQ(AddSaturate555(0x7C00, 0x7C00), 0x7C00u);
    EXPECT_EQ(AddSaturate555(0x0010, 0x0010), 0x001Fu);
    EXPECT_EQ(AddSaturate555(0x8000, 0x8001), 0x0001u);  // bits above the channels ignored
    EXPECT_EQ(AddSaturate565(0xFFFF, 0x0001), 0xFFFFu);
    EXPECT_EQ(AddSaturate565(0x0400, 0x0400), 0x07E0u);
    EXPECT_EQ(AddSaturate565(0x07E0, 0x0020), 0x07E0u);
    EXPECT_EQ(AddSaturate888(0x00FF8040, 0x00018040), 0x00FFFF80u);
    EXPECT_EQ(AddSaturate888(0xFF000000, 0xFF000000), 0u);  // byte 3 is always 0
}

TEST_F(BlitTest, SlotFourteenFollowsTheGreenChannel) {
    Screen(Layout::k565, 2, 1);
    EXPECT_EQ(g_AddHook, AddSaturate565);
    Screen(Layout::k555, 2, 1);
    EXPECT_EQ(g_AddHook, AddSaturate555);
    // Other sets leave the hook as it was.
    Screen(Layout::k565, 2, 1);
    Screen(Layout::k888, 2, 1);
    EXPECT_EQ(g_AddHook, AddSaturate565);
}

TEST_F(BlitTest, ThirtyTwoBitModes) {
    Screen(Layout::k888, 8, 2);
    const uint32_t W = 0xFFFFFF;
    g_DrawColour = 0x123456;
    EXPECT_EQ(Row(1, {0, 0xAB000000, W}, {9, 9, 9}), (Pixels{9, 0xAB000000, 0x123456}));
    for (int slot : {2, 3}) EXPECT_EQ(Row(slot, {0, 0xAB000000, W}, {9, 9, 9}), (Pixels{0, 0xAB000000, W}));
    for (int slot = 4; slot <= 7; ++slot)
        EXPECT_EQ(Row(slot, {0, W, 0xFF000002, 0x00FF0080}, {5, 0x000000FF, 0x00000002, 0x00010080}),
                  (Pixels{5, 0x00091AAA, 0x00000002, 0x007F0080}));
    EXPECT_EQ(ScaledRow(8, {0, 0x123456, 0x777777}, {9, 9, 9}, false), (Pixels{9, W, 0x777777}));
    EXPECT_EQ(ScaledRow(9, {0, 0x123456, 0x777777}, {9, 9, 9}, true), (Pixels{9, W, 0x777777}));
    for (int slot : {10, 13}) EXPECT_EQ(ScaledRow(slot, {0, 0x020202}, {0x020202, 0}, true), (Pixels{0x010101, 0x010101}));
    for (int slot : {11, 12})
        EXPECT_EQ(ScaledRow(slot, {0x00FF8040, 0xFF000001}, {0x00018040, 0x01000001}, true),
                  (Pixels{0x00FFFF80, 0x00000002}));
}

TEST_F(BlitTest, MmxModes) {
    Screen(Layout::k888Mmx, 8, 2);
    const uint32_t W = 0xFFFFFF;
    g_DrawColour = 0x80FF4020;
    g_BlendLevel = 255;
    EXPECT_EQ(Row(1, {0, 0x01, W}, {9, 9, 9}), (Pixels{9, 0x01, 0x80FF4020}));
    for (int slot : {2, 3}) EXPECT_EQ(Row(slot, {0, 0x01, W}, {9, 9, 9}), (Pixels{0, 0x01, W}));
    // Level 255: (c x 255) >> 8 whatever the destination.
    EXPECT_EQ(Row(4, {0, 0xFFFFFFFF, W}, {9, 0x12345678, 0}), (Pixels{9, 0xFEFEFEFE, 0x7FFE3F1F}));
    g_BlendLevel = 0;
    EXPECT_EQ(Row(4, {0, 0x01020304, W}, {9, 0xFF808001, 0xFFFFFFFF}), (Pixels{9, 0xFE7F7F00, 0xFEFEFEFE}));
    g_BlendLevel = 128;
    EXPECT_EQ(Row(4, {0x80808080, 0x000000FF}, {0x40404040, 0x000000FF}), (Pixels{0x5F5F5F5F, 0x000000FD}));
    // Saturating add: key and white, all four bytes.
    EXPECT_EQ(Row(5, {0, 0xF0018040, W}, {9, 0x20FF8040, 0x01010101}), (Pixels{9, 0xFFFFFF80, 0x81FF4121}));
    // Fade: no key, the destination not read; level 0 gives black everywhere.
    g_BlendLevel = 0;
    for (int slot : {6, 7}) EXPECT_EQ(Row(slot, {0, W, 0x12345678}, {9, 9, 9}), (Pixels{0, 0, 0}));
    g_BlendLevel = 128;
    EXPECT_EQ(Row(6, {0, 0xFF804002}, {9, 9}), (Pixels{0, 0x7F402001}));
    // Scaled: tinted by the draw colour per byte.
    g_DrawColour = 0x00FF8040;
    EXPECT_EQ(ScaledRow(8, {0, 0xFF808080}, {9, 9}, false), (Pixels{9, 0x007F4020}));
    EXPECT_EQ(ScaledRow(9, {0, 0xFF808080}, {9, 9}, true), (Pixels{9, 0x007F4020}));
    // Level blend then tint.
    g_BlendLevel = 255;
    for (int slot : {10, 13}) EXPECT_EQ(ScaledRow(slot, {0x00FFFFFF}, {0}, true), (Pixels{0x00FD7F3F}));
    EXPECT_EQ(ScaledRow(11, {0xF0018040}, {0x20FF8040}, true), (Pixels{0xFFFFFF80}));
    // Subtract: the destination from the source, floored at 0.
    EXPECT_EQ(ScaledRow(12, {0x10208040}, {0x20108001}, true), (Pixels{0x0010003F}));
}

// A packed 24-bit screen (three bytes per pixel) gets the three-byte sets,
// whose every routine steps three bytes: drawn over a whole screen whose
// rows end exactly at the pitch, nothing reaches the guard bytes after the
// frame and every pixel holds its source's three bytes.  A 4-byte screen
// of 24 or 32 bits keeps the 4-byte sets.
TEST_F(BlitTest, PackedTwentyFourBitScreensStepThreeBytes) {
    struct Selection {
        Layout layout;
        const BlitTable* blits;
        const PrimTable* prims;
    };
    for (const Selection& c : {Selection{Layout::k888Packed, &BlitSet24, &PrimSet24},
                               Selection{Layout::k888PackedMmx, &BlitSet24Mmx, &PrimSet24Mmx},
                               Selection{Layout::k888, &BlitSet32, &PrimSet32},
                               Selection{Layout::k888Mmx, &BlitSet32Mmx, &PrimSet32Mmx}}) {
        Screen(c.layout, 8, 3);
        EXPECT_EQ(std::memcmp(&ActiveBlitTable, c.blits, sizeof(BlitTable)), 0) << int(c.layout);
        EXPECT_EQ(ActivePrimTable.FillRect, c.prims->FillRect) << int(c.layout);
        EXPECT_EQ(ActivePrimTable.TintRect, c.prims->TintRect) << int(c.layout);
    }
    constexpr uint8_t kCanary = 0xC5;
    constexpr size_t kGuard = 64;
    struct Draw {
        const char* what;
        void (*run)(const Picture*);
    };
    const Draw draws[] = {
        {"opaque", [](const Picture* p) { ActiveBlitTable.modes[2](0, 0, p); }},
        {"keyed", [](const Picture* p) { ActiveBlitTable.modes[1](0, 0, p); }},
        {"blend", [](const Picture* p) { ActiveBlitTable.modes[4](0, 0, p); }},
        {"add", [](const Picture* p) { ActiveBlitTable.modes[5](0, 0, p); }},
        {"scaled", [](const Picture* p) { ActiveBlitTable.scaled[0](p, 0, 0, 8, 3); }},
        {"fill", [](const Picture*) { ActivePrimTable.FillRect(0, 0, 7, 2, 0x00ABCDEF); }},
        {"tint", [](const Picture*) { ActivePrimTable.TintRect(0, 0, 8, 2, nullptr); }},
        {"mosaic", [](const Picture* p) { ActivePrimTable.Mosaic(p, 1); }},
    };
    for (Layout layout : {Layout::k888Packed, Layout::k888PackedMmx}) {
        for (const Draw& d : draws) {
            Screen(layout, 8, 3);
            ASSERT_EQ(ScreenState.pitch, 24u);
            memory_.assign(ScreenState.frameSize + kGuard, kCanary);
            ScreenState.frameBuffer = memory_.data();
            std::vector<uint32_t> values;
            for (uint32_t i = 0; i < 24; ++i) values.push_back(0x00102030u + i * 0x00010203u);
            TestPicture p = MakePicture(8, 3, 3, values);
            g_TransparentColour = 0xFF000000;  // matches no 3-byte pixel
            d.run(p.get());
            for (size_t i = 0; i < kGuard; ++i)
                ASSERT_EQ(memory_[ScreenState.frameSize + i], kCanary)
                    << d.what << " " << int(layout) << ": guard byte " << i;
            // The copies draw the source as it is (the MMX scaled copy tints).
            const std::string what = d.what;
            if (what == "opaque" || what == "keyed" || (what == "scaled" && layout == Layout::k888Packed)) {
                for (int i = 0; i < 24; ++i) ASSERT_EQ(Pixel(i % 8, i / 8), values[size_t(i)]) << d.what << " " << i;
            }
        }
    }
}

TEST_F(BlitTest, KeyEqualToWhiteSkipsWhite) {
    for (Layout layout : {Layout::k8, Layout::k565, Layout::k888, Layout::k888Mmx}) {
        Screen(layout, 4, 1);
        g_TransparentColour = ScreenWhite;
        g_DrawColour = 3;
        EXPECT_EQ(Row(1, {ScreenWhite, 0}, {9, 9}), (Pixels{9, 0}));
    }
}

// The level blend at every pair of bytes, through the packed path and its
// tail, against the byte arithmetic: each byte widened to 16 bits, the low
// 16 bits of each product shifted right by 8, the sum saturated to a byte.
TEST_F(BlitTest, MmxLevelBlendMatchesTheByteArithmetic) {
    Screen(Layout::k888Mmx, 256, 64);
    std::vector<uint32_t> source(256 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) source[size_t(y * 256 + x)] = uint32_t(x) | uint32_t(y * 4) << 8 | uint32_t(255 - x) << 16 | uint32_t(y * 4 + 3) << 24;
    auto p = MakePicture(256, 64, 4, source);
    for (uint32_t level : {0u, 1u, 127u, 128u, 200u, 255u, 300u}) {
        g_BlendLevel = level;
        g_TransparentColour = 0x01000000;  // matches no source pixel
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 256; ++x) SetPixel(x, y, uint32_t(y * 4 + 1) | uint32_t(x) << 8 | uint32_t(x ^ y) << 16 | uint32_t(255 - x) << 24);
        std::vector<uint8_t> before = memory_;
        ActiveBlitTable.modes[4](0, 0, p.get());
        for (size_t i = 0; i < memory_.size(); ++i) {
            uint32_t c = p.pixels[i], d = before[i];
            uint32_t a = (uint32_t(uint16_t(c * level)) >> 8) + (uint32_t(uint16_t(d * uint16_t(255 - level))) >> 8);
            ASSERT_EQ(memory_[i], a > 255 ? 255 : a) << "level " << level << " byte " << i;
        }
    }
}

// ---------------------------------------------------------------------------
// Clipping
// ---------------------------------------------------------------------------

TEST_F(BlitTest, UnscaledClippingAtTheLeftAndRight) {
    Screen(Layout::k8, 16, 1);
    std::vector<uint32_t> ramp;
    for (int i = 0; i < 10; ++i) ramp.push_back(uint32_t(10 + i));
    auto p = MakePicture(10, 1, 1, ramp);
    ActiveBlitTable.modes[2](-5, 0, p.get());
    EXPECT_EQ(Pixel(0, 0), 15u);  // column 5 at screen column 0
    EXPECT_EQ(Pixel(4, 0), 19u);
    EXPECT_EQ(Pixel(5, 0), 0u);
    memory_.assign(memory_.size(), 0);
    ActiveBlitTable.modes[2](15, 0, p.get());  // at clip right: the first column only
    EXPECT_EQ(Pixel(15, 0), 10u);
    EXPECT_EQ(Pixel(14, 0), 0u);
    memory_.assign(memory_.size(), 0);
    ActiveBlitTable.modes[2](16, 0, p.get());  // one past: nothing
    ActiveBlitTable.modes[2](-10, 0, p.get());  // wholly left: nothing
    EXPECT_EQ(memory_, std::vector<uint8_t>(16, 0));
}

TEST_F(BlitTest, UnscaledClippingAtEveryEdgeOfANarrowBox) {
    for (Layout layout : {Layout::k8, Layout::k565, Layout::k888}) {
        Screen(layout, 12, 10, 3);
        Clip(2, 3, 8, 6);
        std::vector<uint32_t> values;
        for (int i = 0; i < 25; ++i) values.push_back(uint32_t(i + 1));
        auto p = MakePicture(5, 5, Bytes(), values);
        for (int x : {-1, 0, 1, 2, 5, 7, 8, 9}) {
            for (int y : {0, 1, 3, 5, 6, 7}) {
                memory_.assign(memory_.size(), 0);
                ActiveBlitTable.modes[2](x, y, p.get());
                for (int sy = 0; sy < 10; ++sy) {
                    for (int sx = 0; sx < 15; ++sx) {
                        bool inside = sx >= 2 && sx <= 8 && sy >= 3 && sy <= 6 && sx - x >= 0 && sx - x < 5 &&
                                      sy - y >= 0 && sy - y < 5;
                        uint32_t expect = inside ? uint32_t((sy - y) * 5 + (sx - x) + 1) : 0;
                        uint32_t got = 0;
                        std::memcpy(&got, memory_.data() + size_t(sy) * ScreenState.pitch + size_t(sx) * size_t(Bytes()),
                                    size_t(Bytes()));
                        ASSERT_EQ(got, expect) << "at " << x << "," << y << " pixel " << sx << "," << sy;
                    }
                }
            }
        }
    }
}

TEST_F(BlitTest, MirrorClipsInScreenSpace) {
    Screen(Layout::k8, 8, 1);
    Clip(2, 0, 4, 0);
    auto p = MakePicture(6, 1, 1, {1, 2, 3, 4, 5, 6});
    ActiveBlitTable.modes[3](0, 0, p.get());
    // Screen column i shows source column 5 - i.
    EXPECT_EQ(memory_, (std::vector<uint8_t>{0, 0, 4, 3, 2, 0, 0, 0}));
}

TEST_F(BlitTest, EmptyOrMissingPicturesDrawNothing) {
    Screen(Layout::k565, 8, 8);
    auto p = MakePicture(0, 3, 2, {});
    ActiveBlitTable.modes[2](0, 0, p.get());
    ActiveBlitTable.scaled[1](p.get(), 0, 0, 4, 4);
    Picture none{4, 4, nullptr, nullptr};
    ActiveBlitTable.modes[2](0, 0, &none);
    ActiveBlitTable.modes[1](0, 0, nullptr);
    // An indexed picture without its palette.
    auto q = MakePicture(2, 2, 1, {1, 1, 1, 1});
    for (int slot = 9; slot <= 13; ++slot) ActiveBlitTable.scaled[slot - 8](q.get(), 0, 0, 2, 2);
    EXPECT_EQ(memory_, std::vector<uint8_t>(memory_.size(), 0));
}

// ---------------------------------------------------------------------------
// Scaled stepping
// ---------------------------------------------------------------------------

TEST_F(BlitTest, ScaledDoublingRepeatsAndHalvingTakesEverySecondPixel) {
    Screen(Layout::k8, 160, 160);
    std::vector<uint32_t> values;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) values.push_back(uint32_t(1 + (x + 3 * y) % 250));
    auto p = MakePicture(64, 64, 1, values);
    ActiveBlitTable.scaled[0](p.get(), 0, 0, 128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) ASSERT_EQ(Pixel(x, y), values[size_t(y / 2 * 64 + x / 2)]);
    memory_.assign(memory_.size(), 0);
    ActiveBlitTable.scaled[1](p.get(), 10, 20, 32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(Pixel(10 + x, 20 + y), values[size_t(2 * y * 64 + 2 * x)]);
}

TEST_F(BlitTest, ScaledStepsAreTruncatedSixteenSixteen) {
    Screen(Layout::k8, 16, 1);
    auto p = MakePicture(3, 1, 1, {1, 2, 3});
    ActiveBlitTable.scaled[0](p.get(), 0, 0, 7, 1);
    // step = 3 x 65536 / 7 = 28086: columns floor(i x 28086 / 65536).
    EXPECT_EQ(memory_, (std::vector<uint8_t>{1, 1, 1, 2, 2, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(BlitTest, ScaledClippingStopsShortOfRightAndBottom) {
    Screen(Layout::k565, 20, 20);
    Clip(2, 3, 10, 12);
    std::vector<uint32_t> values(64);
    for (int i = 0; i < 64; ++i) values[size_t(i)] = uint32_t(i + 1);
    std::vector<uint32_t> palette(256);
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = uint32_t(0x100 + i);
    auto p = MakePicture(8, 8, 1, values);
    p.picture.extra = palette.data();
    // Drawn at (0, 0) into 16 x 16: every source pixel twice each way; the
    // clipped start keeps the unclipped draw's source columns.
    ActiveBlitTable.scaled[1](p.get(), 0, 0, 16, 16);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            bool inside = x >= 2 && x < 10 && y >= 3 && y < 12;
            ASSERT_EQ(Pixel(x, y), inside ? 0x100u + values[size_t(y / 2 * 8 + x / 2)] : 0u) << x << "," << y;
        }
    }
    // Wholly past the right or bottom, or ending at the left: nothing.
    memory_.assign(memory_.size(), 0);
    ActiveBlitTable.scaled[1](p.get(), 10, 3, 4, 4);
    ActiveBlitTable.scaled[1](p.get(), 2, 12, 4, 4);
    ActiveBlitTable.scaled[1](p.get(), -4, 3, 4, 4);
    ActiveBlitTable.scaled[1](p.get(), 2, 3, 0, 4);
    ActiveBlitTable.scaled[1](p.get(), 2, 3, -4, 4);
    EXPECT_EQ(memory_, std::vector<uint8_t>(memory_.size(), 0));
}

TEST_F(BlitTest, SlotEightDoesNotClipAndIgnoresEmptySizes) {
    Screen(Layout::k8, 8, 4);
    Clip(2, 1, 3, 2);
    auto p = MakePicture(2, 2, 1, {1, 2, 3, 4});
    ActiveBlitTable.scaled[0](p.get(), 0, 0, 0, 4);
    ActiveBlitTable.scaled[0](p.get(), 0, 0, 4, 0);
    EXPECT_EQ(memory_, std::vector<uint8_t>(memory_.size(), 0));
    ActiveBlitTable.scaled[0](p.get(), 0, 0, 8, 4);
    EXPECT_EQ(Pixel(0, 0), 1u);
    EXPECT_EQ(Pixel(7, 3), 4u);
}

}  // namespace
