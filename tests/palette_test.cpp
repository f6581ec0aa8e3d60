// The colour layer: nearest colours, packing by the screen layout, array
// conversion between pixel forms, fades, cycling and the RGB filters.
#include "platform/display/palette.h"
#include "platform/display/picture.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "screen_formats.h"
#include "test_support.h"

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

}  // namespace

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
