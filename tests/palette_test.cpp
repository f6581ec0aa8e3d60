// The colour layer: nearest colours, packing by the screen layout, array
// conversion between pixel forms, fades, cycling and the RGB filters.
#include "platform/display/palette.h"
#include "platform/display/picture.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "screen_formats.h"
#include "test_support.h"
#include "tools/kit/picture_writer.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Every SetPalette call: first entry, count and the entries handed over.
struct PaletteCall {
    int first, count;
    std::vector<uint8_t> rgb;
};
std::vector<PaletteCall> g_calls;

void RecordPalette(int32_t first, int32_t count, const uint8_t* rgb) {
    g_calls.push_back({first, count, std::vector<uint8_t>(rgb, rgb + count * 3)});
}

class PaletteTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        savedConfig_ = EngineConfig;
        g_calls.clear();
        ActivePrimTable.SetPalette = RecordPalette;
        std::memcpy(savedFade_, FadeColour, 3);
    }
    void TearDown() override {
        EngineConfig = savedConfig_;
        std::memcpy(FadeColour, savedFade_, 3);
        FadeTargetPalette = ScreenState.palette;
        HeadlessTest::TearDown();
    }
    test::ScreenStateGuard guard_;
    EngineConfigRecord savedConfig_;
    uint8_t savedFade_[3];
};

std::vector<uint8_t> RampPalette() {
    std::vector<uint8_t> p(768);
    for (int i = 0; i < 256; ++i) {
        p[i * 3] = uint8_t(i);
        p[i * 3 + 1] = uint8_t(255 - i);
        p[i * 3 + 2] = uint8_t((i * 37) & 0xFF);
    }
    return p;
}

uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}



TEST_F(PaletteTest, NearestColourWeighsChannelsAndPrefersTheLowerIndex) {
    std::vector<uint8_t> p(768, 0);
    const uint8_t grey[3] = {100, 100, 100};
    std::memcpy(&p[40 * 3], grey, 3);
    std::memcpy(&p[41 * 3], grey, 3);
    EXPECT_EQ(NearestColour(grey, p.data()), 40);
    // Green weighs most: a green error of 10 loses against a blue error of 20.
    uint8_t greenOff[3] = {0, 10, 0}, blueOff[3] = {0, 0, 20};
    std::vector<uint8_t> q(768, 255);
    std::memcpy(&q[1 * 3], greenOff, 3);
    std::memcpy(&q[2 * 3], blueOff, 3);
    const uint8_t black[3] = {0, 0, 0};
    EXPECT_EQ(NearestColour(black, q.data()), 2);
}

TEST_F(PaletteTest, PackingAndUnpackingFollowTheScreenLayout) {
    const uint8_t white[3] = {255, 255, 255}, colour[3] = {0x84, 0x46, 0x2A};
    test::SetScreenLayout(test::ScreenLayout::Rgb565);
    uint8_t c[3];
    ConvertPixelRow(0xFFFF, c);
    EXPECT_EQ(c[0], 248);
    EXPECT_EQ(c[1], 252);
    EXPECT_EQ(c[2], 248);
    EXPECT_EQ(PackScreenPixel(white), 0xFFFFu);
    EXPECT_EQ(PackScreenPixel(colour), uint32_t(0x84 >> 3) << 11 | uint32_t(0x46 >> 2) << 5 | (0x2A >> 3));
    test::SetScreenLayout(test::ScreenLayout::Rgb555);
    ConvertPixelRow(0x7FFF, c);
    EXPECT_EQ(c[1], 248);
    EXPECT_EQ(PackScreenPixel(white), 0x7FFFu);
    EXPECT_EQ(PackScreenPixel(colour), uint32_t(0x84 >> 3) << 10 | uint32_t(0x46 >> 3) << 5 | (0x2A >> 3));
    test::SetScreenLayout(test::ScreenLayout::Xrgb8888);
    EXPECT_EQ(PackScreenPixel(colour), 0x84462Au);
    // At 8 bits a colour is the nearest screen palette entry.
    test::SetScreenLayout(test::ScreenLayout::Indexed8);
    std::vector<uint8_t> ramp = RampPalette();
    std::memcpy(ScreenState.palette, ramp.data(), 768);
    const uint8_t entry[3] = {ramp[77 * 3], ramp[77 * 3 + 1], ramp[77 * 3 + 2]};
    EXPECT_EQ(PackScreenPixel(entry), 77u);
    EXPECT_EQ(PaletteEntryPixel(ramp.data(), 77), 77u);
}

TEST_F(PaletteTest, ConvertingBetweenEveryPairOfForms) {
    test::SetScreenLayout(test::ScreenLayout::Rgb565);
    std::vector<uint8_t> palette = RampPalette();
    // Two 3-byte pixels (red, green, blue at a 2-byte screen).
    auto* rgb = static_cast<uint8_t*>(MemAlloc(6));
    const uint8_t source[6] = {255, 0, 0, 8, 252, 16};
    std::memcpy(rgb, source, 6);
    uint8_t* packed = ConvertBitmap(nullptr, palette.data(), 2, rgb, palette.data(), 3, 2);  // frees rgb
    EXPECT_EQ(Get16(packed), 0xF800);
    EXPECT_EQ(Get16(packed + 2), uint16_t(1 << 11 | 63 << 5 | 2));
    uint8_t back[6];
    EXPECT_EQ(ConvertBitmap(back, palette.data(), 3, packed, palette.data(), 2, 2), back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 6), (std::vector<uint8_t>{248, 0, 0, 8, 252, 16}));
    uint8_t four[8];
    std::memset(four, 0xEE, sizeof four);
    ConvertBitmap(four, palette.data(), 4, packed, palette.data(), 2, 2);
    EXPECT_EQ(four[0], 248);
    EXPECT_EQ(four[3], 0xEE);  // 2 to 4 writes the colour bytes only
    uint8_t three[6];
    ConvertBitmap(three, palette.data(), 3, four, palette.data(), 4, 2);
    EXPECT_EQ(std::vector<uint8_t>(three, three + 6), (std::vector<uint8_t>{248, 0, 0, 8, 252, 16}));
    uint8_t withZero[8];
    ConvertBitmap(withZero, palette.data(), 4, three, palette.data(), 3, 2);
    EXPECT_EQ(withZero[3], 0);
    EXPECT_EQ(withZero[7], 0);
    // To indices by nearest colour, and back through the palette.
    uint8_t indices[2];
    const uint8_t entries[6] = {palette[10 * 3], palette[10 * 3 + 1], palette[10 * 3 + 2],
                                palette[200 * 3], palette[200 * 3 + 1], palette[200 * 3 + 2]};
    ConvertBitmap(indices, palette.data(), 1, const_cast<uint8_t*>(entries), palette.data(), 3, 2);
    EXPECT_EQ(indices[0], 10);
    EXPECT_EQ(indices[1], 200);
    uint8_t fromIndex[6];
    ConvertBitmap(fromIndex, palette.data(), 3, indices, palette.data(), 1, 2);
    EXPECT_EQ(std::vector<uint8_t>(fromIndex, fromIndex + 6), std::vector<uint8_t>(entries, entries + 6));
    uint8_t fromIndex16[4];
    ConvertBitmap(fromIndex16, palette.data(), 2, indices, palette.data(), 1, 2);
    EXPECT_EQ(Get16(fromIndex16), PackScreenPixel(entries));
    uint8_t toIndex[2];
    ConvertBitmap(toIndex, palette.data(), 1, fromIndex16, palette.data(), 2, 2);
    uint8_t asRgb[3];
    ConvertPixelRow(Get16(fromIndex16), asRgb);
    EXPECT_EQ(toIndex[0], NearestColour(asRgb, palette.data()));
    // The same size other than 1 to 1 needs no work.
    EXPECT_EQ(ConvertBitmap(nullptr, palette.data(), 2, packed, palette.data(), 2, 2), packed);
    MemFree(packed);
}

TEST_F(PaletteTest, AtThirtyTwoBitsTheColourBytesAreInTheScreensOrder) {
    test::SetScreenLayout(test::ScreenLayout::Xrgb8888);
    std::vector<uint8_t> palette(768, 0);
    palette[3] = 10;
    palette[4] = 20;
    palette[5] = 30;
    uint8_t index = 1, pixel[4] = {0, 0, 0, 0x55};
    ConvertBitmap(pixel, palette.data(), 4, &index, palette.data(), 1, 1);
    EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{30, 20, 10, 0x55}));
    uint32_t asWord = uint32_t(pixel[0]) | uint32_t(pixel[1]) << 8 | uint32_t(pixel[2]) << 16;
    EXPECT_EQ(asWord, 0x0A141Eu);  // 0x00RRGGBB on a screen with red at bit 16
    // 4 to 2 packs alpha too, by the screen's alpha layout (none at 5-6-5).
    test::SetScreenLayout(test::ScreenLayout::Rgb565);
    uint8_t rgba[4] = {255, 255, 255, 255}, out[2];
    ConvertBitmap(out, palette.data(), 2, rgba, palette.data(), 4, 1);
    EXPECT_EQ(Get16(out), 0xFFFF);
}

TEST_F(PaletteTest, EightBitPixelsBetweenPalettes) {
    std::vector<uint8_t> a = RampPalette(), b(768, 0);
    for (int i = 0; i < 256; ++i) std::memcpy(&b[i * 3], &a[(255 - i) * 3], 3);  // reversed
    uint8_t pixels[3] = {0, 5, 255};
    // One array on both sides: nothing changes.
    EXPECT_EQ(ConvertBitmap(nullptr, a.data(), 1, pixels, a.data(), 1, 3), pixels);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 3), (std::vector<uint8_t>{0, 5, 255}));
    // Two arrays with the same colours in another order: remapped in place.
    EXPECT_EQ(ConvertBitmap(nullptr, a.data(), 1, pixels, b.data(), 1, 3), pixels);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 3), (std::vector<uint8_t>{255, 250, 0}));
    uint8_t* remapped = RemapPicture(pixels, 3, 1, b.data(), a.data());
    EXPECT_EQ(std::vector<uint8_t>(remapped, remapped + 3), (std::vector<uint8_t>{0, 5, 255}));
    MemFree(remapped);
}

TEST_F(PaletteTest, TableConversionMatchesPackingEachEntry) {
    // The 8-to-16 path goes through a table of the palette; a plain
    // per-pixel packing must give the same pixels.
    std::mt19937 random(7);
    for (auto layout : {test::ScreenLayout::Rgb565, test::ScreenLayout::Rgb555}) {
        test::SetScreenLayout(layout);
        std::vector<uint8_t> palette(768);
        for (auto& v : palette) v = uint8_t(random());
        std::vector<uint8_t> indices(1000);
        for (auto& v : indices) v = uint8_t(random());
        std::vector<uint8_t> out(2000);
        ConvertBitmap(out.data(), palette.data(), 2, indices.data(), palette.data(), 1, 1000);
        for (size_t i = 0; i < indices.size(); ++i)
            ASSERT_EQ(Get16(&out[i * 2]), PackScreenPixel(&palette[indices[i] * 3])) << i;
    }
}

TEST_F(PaletteTest, PackingColourArraysMatchesPackingEachPixel) {
    // The 3- and 4-byte to 16-bit path packs through per-channel tables; the
    // plain per-pixel packing is its reference.
    std::mt19937 random(11);
    for (auto layout : {test::ScreenLayout::Rgb565, test::ScreenLayout::Rgb555}) {
        test::SetScreenLayout(layout);
        for (int bytes : {3, 4}) {
            uint32_t count = 1 + random() % 3000;
            std::vector<uint8_t> in(count * bytes);
            for (auto& v : in) v = uint8_t(random());
            std::vector<uint8_t> out(count * 2);
            ConvertBitmap(out.data(), nullptr, 2, in.data(), nullptr, bytes, count);
            for (uint32_t i = 0; i < count; ++i)
                ASSERT_EQ(Get16(&out[i * 2]), PackScreenPixel(&in[i * bytes])) << i;
        }
    }
}

TEST_F(PaletteTest, FadeShowsEveryStepBetweenFromAndTo) {
    test::SetScreenLayout(test::ScreenLayout::Indexed8);
    std::vector<uint8_t> p(768, 0);
    p[0] = 160;
    p[1] = 16;
    p[2] = 255;
    FadePalette(p.data(), 0, 16, 16, 0);
    ASSERT_EQ(g_calls.size(), 16u);
    EXPECT_EQ(g_calls.front().first, 0);
    EXPECT_EQ(g_calls.front().count, 256);
    EXPECT_EQ(g_calls.front().rgb[0], 0);
    // The last step shown is 15/16 of full brightness.
    EXPECT_EQ(g_calls.back().rgb[0], 150);
    EXPECT_EQ(g_calls.back().rgb[1], 15);
    EXPECT_EQ(g_calls.back().rgb[2], 239);
    g_calls.clear();
    FadePalette(p.data(), 8, 8, 16, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].rgb[0], 80);
    g_calls.clear();
    FadePalette(p.data(), 16, 12, 16, 0);  // downwards: 16, 15, 14, 13
    ASSERT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(g_calls[3].rgb[0], 130);
}

TEST_F(PaletteTest, FadeKindsBrightnessAndRanges) {
    test::SetScreenLayout(test::ScreenLayout::Indexed8);
    std::vector<uint8_t> p(768, 100), target(768, 200);
    FadeColour[0] = FadeColour[1] = FadeColour[2] = 255;
    FadePalette(p.data(), 4, 4, 8, 1);  // halfway to white
    EXPECT_EQ(g_calls.back().rgb[0], (255 - 100) * 4 / 8 + 100);
    FadePalette(p.data(), 4, 4, 8, 2);  // the fade colour minus half the entry
    EXPECT_EQ(g_calls.back().rgb[0], 255 - 100 * 4 / 8);
    FadeTargetPalette = target.data();
    FadePalette(p.data(), 2, 2, 8, 5);  // a quarter of the way to the other palette
    EXPECT_EQ(g_calls.back().rgb[0], 125);
    EngineConfig.VideoBytes[1] = 3;  // brightness: 8 x 3 added, at most 255
    FadePalette(p.data(), 8, 8, 8, 0);
    EXPECT_EQ(g_calls.back().rgb[0], 124);
    FadePalette(target.data(), 8, 8, 8, 3);
    EXPECT_EQ(g_calls.back().rgb[0], 224);
    EngineConfig.VideoBytes[1] = 0;
    FadePaletteEntries(p.data(), 10, 19, 8, 8, 8, 0);
    EXPECT_EQ(g_calls.back().first, 10);
    EXPECT_EQ(g_calls.back().count, 10);
    // A divisor of 0 is taken as 1 rather than dividing by zero.
    FadePalette(p.data(), 1, 1, 0, 0);
    EXPECT_EQ(g_calls.back().rgb[0], 100);
}

TEST_F(PaletteTest, AboveEightBitsAFadeOnlySetsTheLevels) {
    test::SetScreenLayout(test::ScreenLayout::Rgb565);
    std::vector<uint8_t> p(768, 100);
    FadePalette(p.data(), 0, 4, 8, 0);
    EXPECT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(FadeLevels[0], (3 << 7) / 8);
    FadeColour[0] = 255;
    FadePalette(p.data(), 8, 8, 8, 1);
    EXPECT_EQ(FadeLevels[0], 8 * (255 - 128) / 8 + 128);
}

TEST_F(PaletteTest, RotatingMovesTheFirstEntryToTheLast) {
    std::vector<uint8_t> p = RampPalette();
    std::vector<uint8_t> before = p;
    RotatePalette(p.data(), 10, 13);
    EXPECT_EQ(std::vector<uint8_t>(&p[13 * 3], &p[14 * 3]), std::vector<uint8_t>(&before[10 * 3], &before[11 * 3]));
    EXPECT_EQ(std::vector<uint8_t>(&p[10 * 3], &p[11 * 3]), std::vector<uint8_t>(&before[11 * 3], &before[12 * 3]));
    EXPECT_EQ(std::vector<uint8_t>(&p[14 * 3], &p[15 * 3]), std::vector<uint8_t>(&before[14 * 3], &before[15 * 3]));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].first, 10);
    EXPECT_EQ(g_calls[0].count, 4);
}

TEST_F(PaletteTest, PaletteFilesAreStoredLastEntryFirst) {
    std::string bytes(768, '\0');
    for (int i = 0; i < 768; ++i) bytes[size_t(i)] = char(i / 3);
    WriteFile("colours.act", bytes);
    std::vector<uint8_t> p(768, 9);
    LoadPaletteFile(p.data(), "colours.act");
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[255 * 3], 0);
    LoadPaletteFile(p.data(), "missing.act");  // nothing happens
    EXPECT_EQ(p[0], 255);
    uint8_t luminance[256];
    std::vector<uint8_t> white(768, 255);
    LuminanceTable(white.data(), luminance);
    EXPECT_EQ(luminance[0], (29 * 255 + 150 * 255 + 77 * 255) >> 12);
}

TEST_F(PaletteTest, FiltersOnRgbPictures) {
    // 3 x 3: a bright centre.
    std::vector<uint8_t> px(27, 0);
    px[13] = 160;  // green of the centre
    std::vector<uint8_t> blurred = px;
    BlurRgb(3, 3, blurred.data(), 3);
    EXPECT_EQ(blurred[13], 0);  // its neighbours were dark
    EXPECT_EQ(blurred[10], 40);  // the middle row's left pixel: a quarter of its right neighbour
    EXPECT_EQ(blurred[1], 0);   // the first row is not filtered
    std::vector<uint8_t> smooth = px;
    SmoothRgb(3, 3, smooth.data());
    EXPECT_EQ(smooth[13], 160 * 4 / 16);
    EXPECT_EQ(smooth[4], 160 * 2 / 16);  // the top middle pixel: weight 2
    EXPECT_EQ(smooth[1], 160 / 16);      // a corner: weight 1
    std::vector<uint8_t> scaled = px;
    ScaleRgb(3, 3, scaled.data(), 128);
    EXPECT_EQ(scaled[13], 80);
    EXPECT_EQ(ColourMultiply(128, 128), 64);
    EXPECT_EQ(ColourAdd(200, 100), 255);
    EXPECT_EQ(ColourSubtract(100, 200), 0);
    EXPECT_EQ(ColourBlend(64, 255, 0), 63);
}

TEST_F(PaletteTest, FilteringASixteenBitPictureGoesThroughRgb) {
    test::SetScreenLayout(test::ScreenLayout::Rgb565);
    Picture picture{2, 1, static_cast<uint8_t*>(MemAlloc(4)), nullptr};
    const uint8_t white[3] = {255, 255, 255};
    uint32_t w = PackScreenPixel(white);
    picture.pixels[0] = uint8_t(w);
    picture.pixels[1] = uint8_t(w >> 8);
    FilterPicture(&picture, 2, PictureFilter::Scale, 128);
    uint8_t c[3];
    ConvertPixelRow(Get16(picture.pixels), c);
    EXPECT_EQ(c[0], 248 * 128 >> 8 & ~7);
    EXPECT_EQ(Get16(picture.pixels + 2), 0);
    MemFree(picture.pixels);
}

// ---------------------------------------------------------------------------
// Blend tables
// ---------------------------------------------------------------------------

// Each mode on entry pairs (p, q, 0) of the first palette and (q, p, 0) of
// the second, in the three output forms.  The expected channels are the
// combinations worked by hand: level 64 of 200 over 100 is (64 x 200 + 192
// x 100) >> 8 = 125, the other way (64 x 100 + 192 x 200) >> 8 = 175;
// 200 x 100 >> 8 = 78.
TEST_F(PaletteTest, PaletteBlendsCombineEntryByEntryInEveryForm) {
    struct Case {
        PaletteBlendMode mode;
        int level, p, q;
        int red, green;  // the blue channel combines 0 with 0
    };
    const Case cases[] = {
        {PaletteBlendMode::Level, 64, 200, 100, 125, 175},
        {PaletteBlendMode::Level, 256, 200, 100, 200, 100},
        {PaletteBlendMode::Level, 0, 200, 100, 100, 200},
        {PaletteBlendMode::Level, 300, 200, 100, 200, 100},  // held to 256
        {PaletteBlendMode::Level, -5, 200, 100, 100, 200},   // held to 0
        {PaletteBlendMode::Multiply, 0, 200, 100, 78, 78},
        {PaletteBlendMode::Add, 0, 100, 50, 150, 150},
        {PaletteBlendMode::Add, 0, 200, 100, 255, 255},
        {PaletteBlendMode::Subtract, 0, 200, 100, 100, 0},
        {PaletteBlendMode::SubtractReversed, 0, 200, 100, 0, 100},
        {PaletteBlendMode::Copy, 0, 200, 100, 200, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << int(c.mode) << " level " << c.level << " (" << c.p << ", "
                                          << c.q << ")");
        std::vector<uint8_t> first(768), second(768);
        for (int i = 0; i < 256; ++i) {
            first[size_t(i) * 3] = uint8_t(c.p);
            first[size_t(i) * 3 + 1] = uint8_t(c.q);
            second[size_t(i) * 3] = uint8_t(c.q);
            second[size_t(i) * 3 + 1] = uint8_t(c.p);
        }
        // Remap: the target holds the expected colour at entry 77 alone.
        std::vector<uint8_t> target(768, 0);
        target[77 * 3] = uint8_t(c.red);
        target[77 * 3 + 1] = uint8_t(c.green);
        uint8_t remap[256];
        BuildPaletteBlend(first.data(), second.data(), c.mode, c.level, PaletteBlendOutput::Remap8, target.data(),
                          remap);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(remap[i], 77) << i;
        test::SetScreenLayout(test::ScreenLayout::Xrgb8888);
        uint32_t wide[256];
        BuildPaletteBlend(first.data(), second.data(), c.mode, c.level, PaletteBlendOutput::Pixels32, nullptr, wide);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(wide[i], uint32_t(c.red << 16 | c.green << 8)) << i;
        test::SetScreenLayout(test::ScreenLayout::Rgb565);
        uint16_t narrow[256];
        BuildPaletteBlend(first.data(), second.data(), c.mode, c.level, PaletteBlendOutput::Pixels16, nullptr, narrow);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(narrow[i], uint16_t((c.red >> 3) << 11 | (c.green >> 2) << 5)) << i;
    }
}

// Entries combine with their own partners: entry i of the result comes
// from entry i of both palettes.
TEST_F(PaletteTest, PaletteBlendsPairEntriesByIndex) {
    test::SetScreenLayout(test::ScreenLayout::Xrgb8888);
    std::vector<uint8_t> ramp = RampPalette(), black(768, 0);
    uint32_t table[256];
    BuildPaletteBlend(ramp.data(), black.data(), PaletteBlendMode::Add, 0, PaletteBlendOutput::Pixels32, nullptr,
                      table);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(table[i], uint32_t(i << 16 | (255 - i) << 8 | ((i * 37) & 0xFF))) << i;
}

TEST_F(PaletteTest, TopBitIsSetOnNonZeroValuesOnly) {
    std::vector<uint16_t> values = {0, 1, 0x7FFF, 0x8000, 0x1234, 0, 0xFFFF};
    SetTopBitOfNonZero(values.data(), uint32_t(values.size() - 1));  // the last value is not in the count
    EXPECT_EQ(values, (std::vector<uint16_t>{0, 0x8001, 0xFFFF, 0x8000, 0x9234, 0, 0xFFFF}));
}

// A table of 256 rows drawn from a few patterns.
struct RowTable {
    std::vector<uint8_t> cells = std::vector<uint8_t>(65536);
    std::vector<uint8_t*> rows = std::vector<uint8_t*>(256);
    explicit RowTable(const std::vector<int>& pattern) {
        for (int i = 0; i < 256; ++i) {
            rows[size_t(i)] = cells.data() + i * 256;
            for (int d = 0; d < 256; ++d) rows[size_t(i)][d] = uint8_t(pattern[size_t(i)] * 31 + d);
        }
    }
};

// Merging against the plain rule: every row ends up pointing at the first
// row with its bytes, and the rows keep their contents.
TEST_F(PaletteTest, IdenticalRowsAreMergedIntoTheFirst) {
    std::mt19937 rng(122);
    for (int kinds : {1, 2, 5, 256}) {
        std::vector<int> pattern(256);
        for (int i = 0; i < 256; ++i) pattern[size_t(i)] = kinds == 256 ? i : int(rng() % uint32_t(kinds));
        RowTable t(pattern);
        std::vector<uint8_t> before = t.cells;
        int distinct = MergeIdenticalRows(t.rows.data());
        int expectDistinct = 0;
        for (int i = 0; i < 256; ++i) {
            int firstSame = 0;
            while (pattern[size_t(firstSame)] != pattern[size_t(i)]) ++firstSame;
            if (firstSame == i) ++expectDistinct;
            ASSERT_EQ(t.rows[size_t(i)], t.cells.data() + firstSame * 256) << kinds << " kinds, row " << i;
        }
        EXPECT_EQ(distinct, expectDistinct) << kinds << " kinds";
        EXPECT_EQ(t.cells, before);
    }
}

TEST_F(PaletteTest, RowsAreSharedInBlocksOfAPowerOfTwo) {
    std::vector<int> pattern(256);
    for (int i = 0; i < 256; ++i) pattern[size_t(i)] = i;
    for (int block : {1, 2, 16, 256}) {
        RowTable t(pattern);
        ASSERT_TRUE(ShareRowBlocks(t.rows.data(), block));
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(t.rows[size_t(i)], t.cells.data() + (i / block) * block * 256) << block << ": row " << i;
    }
    for (int block : {0, 3, 24, 512, -4}) {
        RowTable t(pattern);
        std::vector<uint8_t*> before = t.rows;
        EXPECT_FALSE(ShareRowBlocks(t.rows.data(), block)) << block;
        EXPECT_EQ(t.rows, before) << block;
    }
}

// A blend table from a picture file: row s is the picture's row s.  Only a
// 256 x 256 picture of one byte per pixel is a table; the screen palette
// stays as it was.
TEST_F(PaletteTest, BlendTablesLoadFromPictureFiles) {
    struct Case {
        const char* name;
        int width, height, bits;
        bool loads;
    };
    const Case cases[] = {
        {"blend.pcx", 256, 256, 8, true},
        {"blend.bmp", 256, 256, 8, true},
        {"narrow.pcx", 128, 256, 8, false},
        {"short.bmp", 256, 255, 8, false},
        {"colour.bmp", 256, 256, 24, false},
        {"missing.pcx", 0, 0, 8, false},
        {"blend.xyz", 256, 256, 8, false},  // no reader for the extension
    };
    std::memset(ScreenState.palette, 0x5A, 768);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kit::Image image;
        if (c.width) {
            image = kit::MakeImage(c.width, c.height, c.bits);
            const int bytes = c.bits / 8;
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    for (int b = 0; b < bytes; ++b)
                        image.pixels[(size_t(y) * size_t(c.width) + size_t(x)) * size_t(bytes) + size_t(b)] =
                            uint8_t(x * 3 + y * 7 + b);
            if (c.bits == 8)
                for (size_t i = 0; i < image.palette.size(); ++i) image.palette[i] = uint8_t(i);
            std::vector<uint8_t> bytesOut = std::string(c.name).find(".bmp") != std::string::npos
                                                ? kit::EncodeBmp(image)
                                                : kit::EncodePcx(image);
            WriteFile(c.name, std::string(bytesOut.begin(), bytesOut.end()));
        }
        uint8_t** rows = LoadBlendTable(c.name);
        ASSERT_EQ(rows != nullptr, c.loads);
        if (rows) {
            for (int s = 0; s < 256; ++s)
                for (int d = 0; d < 256; ++d) ASSERT_EQ(rows[s][d], uint8_t(d * 3 + s * 7)) << s << "," << d;
            MemFree(rows);
        }
        for (int i = 0; i < 768; ++i) ASSERT_EQ(ScreenState.palette[i], 0x5A) << i;
    }
}

}  // namespace
