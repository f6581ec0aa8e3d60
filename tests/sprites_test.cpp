// Sprite sets cut from a sheet, cut lists read through the file table, and
// bitmap fonts measured and drawn through the keyed blit.
#include "draw_support.h"
#include "platform/display/palette.h"
#include "platform/display/sprites.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "test_archives.h"
#include "test_support.h"
#include "tools/kit/demo_sprites.h"
#include "tools/kit/picture_writer.h"
#include "tools/kit/sprite_list_writer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using test::DrawTest;
using test::Layout;

// An 8 x 4 sheet of one byte per pixel: pixel (x, y) = 10 y + x.
std::vector<uint8_t> Sheet() {
    std::vector<uint8_t> sheet(32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) sheet[size_t(y * 8 + x)] = uint8_t(10 * y + x);
    return sheet;
}

std::vector<uint8_t> Pixels(const Picture& p) {
    return std::vector<uint8_t>(p.pixels, p.pixels + p.width * p.height);
}

class SpriteTest : public DrawTest {};

TEST_F(SpriteTest, CutsAreClippedToTheSheetOrLeftEmpty) {
    std::vector<uint8_t> sheet = Sheet();
    const SpriteCut cuts[] = {
        {1, 1, 2, 2},      // inside
        {6, -1, 9, 1},     // past the top and the right: columns 6-7, rows 0-1
        {5, 0, 3, 3},      // right left of left
        {10, 10, 12, 12},  // wholly outside
        {0, 3, 0, 3},      // one pixel
    };
    SpriteSet* set = CutSpriteSet(cuts, 5, sheet.data(), 8, 4, 1, 0);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 5);
    EXPECT_EQ(Pixels(set->sprites[0]), (std::vector<uint8_t>{11, 12, 21, 22}));
    EXPECT_EQ(set->sprites[1].width, 2);
    EXPECT_EQ(set->sprites[1].height, 2);
    EXPECT_EQ(Pixels(set->sprites[1]), (std::vector<uint8_t>{6, 7, 16, 17}));
    for (int i : {2, 3}) {
        EXPECT_EQ(set->sprites[i].width, 0);
        EXPECT_EQ(set->sprites[i].height, 0);
        EXPECT_EQ(set->sprites[i].pixels, nullptr);
    }
    EXPECT_EQ(Pixels(set->sprites[4]), (std::vector<uint8_t>{30}));
    FreeSprites(set);
    EXPECT_EQ(CutSpriteSet(cuts, -1, sheet.data(), 8, 4, 1, 0), nullptr);
}

TEST_F(SpriteTest, ModeTwoRecordsWhereEachSpriteLay) {
    std::vector<uint8_t> sheet = Sheet();
    const SpriteCut cuts[] = {{3, 2, 4, 3}};
    SpriteSet* set = CutSpriteSet(cuts, 1, sheet.data(), 8, 4, 1, 2);
    ASSERT_NE(set, nullptr);
    auto* origin = static_cast<SpriteOrigin*>(set->sprites[0].extra);
    ASSERT_NE(origin, nullptr);
    EXPECT_EQ(origin->left, 3);
    EXPECT_EQ(origin->top, 2);
    EXPECT_EQ(origin->previous, nullptr);
    FreeSprites(set);
}

// Every block a cut set takes goes back with FreeSprites, the origin
// records of mode 2 too; the driver's free slot sees each sprite's own
// fourth word, never an origin record.
std::vector<void*> g_liveBlocks;
std::vector<void*> g_freedExtras;
void* CountingAllocate(size_t size) {
    void* p = std::malloc(size);
    g_liveBlocks.push_back(p);
    return p;
}
void CountingFree(void* p) {
    g_liveBlocks.erase(std::remove(g_liveBlocks.begin(), g_liveBlocks.end(), p), g_liveBlocks.end());
    std::free(p);
}
int RecordingFreePicture(Picture* picture) {
    g_freedExtras.push_back(picture->extra);
    MemFree(picture->pixels);
    picture->pixels = nullptr;
    return 0;
}

TEST_F(SpriteTest, FreeSpritesGivesBackEveryBlockOfEveryMode) {
    std::vector<uint8_t> sheet = Sheet();
    const SpriteCut cuts[] = {{0, 0, 1, 1}, {5, 0, 3, 3}, {2, 1, 7, 3}};
    VideoDriver driver{};
    driver.MakePictureSurface = [](Picture*) { return 0; };
    driver.FreePicture = RecordingFreePicture;
    for (int32_t mode : {0, 1, 2}) {
        for (bool withDriver : {false, true}) {
            CurrentVideoDriver = withDriver ? &driver : nullptr;
            HeapHooksTable saved = HeapHooks;
            g_liveBlocks.clear();
            g_freedExtras.clear();
            HeapHooks.allocate = CountingAllocate;
            HeapHooks.free = CountingFree;
            SpriteSet* set = CutSpriteSet(cuts, 3, sheet.data(), 8, 4, 1, mode);
            ASSERT_NE(set, nullptr);
            EXPECT_FALSE(g_liveBlocks.empty());
            FreeSprites(set);
            HeapHooks = saved;
            EXPECT_TRUE(g_liveBlocks.empty()) << "mode " << mode << ": " << g_liveBlocks.size() << " blocks left";
            for (void* extra : g_freedExtras) EXPECT_EQ(extra, nullptr) << "mode " << mode;
            EXPECT_EQ(g_freedExtras.size(), withDriver ? 3u : 0u);
        }
    }
}

TEST_F(SpriteTest, TwoBytePixelsAreCutWhole) {
    std::vector<uint16_t> sheet(16);
    for (int i = 0; i < 16; ++i) sheet[size_t(i)] = uint16_t(0x100 * i + i);
    const SpriteCut cuts[] = {{1, 1, 2, 1}};
    SpriteSet* set = CutSpriteSet(cuts, 1, reinterpret_cast<uint8_t*>(sheet.data()), 4, 4, 2, 0);
    ASSERT_NE(set, nullptr);
    uint16_t got[2];
    std::memcpy(got, set->sprites[0].pixels, 4);
    EXPECT_EQ(got[0], sheet[5]);
    EXPECT_EQ(got[1], sheet[6]);
    FreeSprites(set);
}

class SpriteFileTest : public test::HeadlessTest {
protected:
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream((dir_ / name).string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    SpriteSet* Load(const std::string& name, const std::vector<uint8_t>& sheet) {
        const FileTable* saved = CurrentFileTable;
        CurrentFileTable = &PlainFileTable;
        FileHandle f = PlainFileTable.Open(name.c_str(), "rb");
        SpriteSet* set = f ? LoadSpriteSet(f, sheet.data(), 8, 4, 1, 0) : nullptr;
        if (f) PlainFileTable.Close(f);
        CurrentFileTable = saved;
        return set;
    }
};

TEST_F(SpriteFileTest, CutListsAreReadFieldByField) {
    std::vector<uint8_t> sheet = Sheet();
    WriteBytes("glyphs.spc", kit::SpriteListBytes({{0, 0, 1, 0}, {-3, 2, 7, 40}}));
    SpriteSet* set = Load("glyphs.spc", sheet);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 2);
    EXPECT_EQ(Pixels(set->sprites[0]), (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(set->sprites[1].width, 8);
    EXPECT_EQ(set->sprites[1].height, 2);
    FreeSprites(set);
}

TEST_F(SpriteFileTest, ShortOrNegativeListsAreRefused) {
    std::vector<uint8_t> sheet = Sheet();
    std::vector<uint8_t> bytes = kit::SpriteListBytes({{0, 0, 1, 1}, {2, 2, 3, 3}});
    bytes.resize(bytes.size() - 1);
    WriteBytes("short.spc", bytes);
    EXPECT_EQ(Load("short.spc", sheet), nullptr);
    WriteBytes("header.spc", {0, 0, 0});
    EXPECT_EQ(Load("header.spc", sheet), nullptr);
    bytes = kit::SpriteListBytes({});
    bytes[4] = 0xFF;
    bytes[5] = 0xFF;  // count -1
    WriteBytes("negative.spc", bytes);
    EXPECT_EQ(Load("negative.spc", sheet), nullptr);
}

// ---------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------

class FontTest : public DrawTest {
protected:
    // A font of `count` glyphs, glyph i of width widths[i % n] and height 5,
    // every pixel of glyph i holding i + 1.
    void MakeFont(int count, std::vector<int> widths, uint8_t flags, uint8_t spacing, uint8_t gap) {
        pixels_.assign(size_t(count), {});
        sprites_.assign(size_t(count), Picture{});
        for (int i = 0; i < count; ++i) {
            int w = widths[size_t(i) % widths.size()];
            pixels_[size_t(i)].assign(size_t(w * 5) + 1, uint8_t(i + 1));
            sprites_[size_t(i)] = Picture{w, 5, pixels_[size_t(i)].data(), nullptr};
        }
        font_ = SpriteSet{sprites_.data(), int16_t(count), spacing, gap, flags, 0};
    }
    static void Record(int32_t x, int32_t y, const Picture* glyph) { drawn_.push_back({x, y, glyph->width}); }

    struct Draw {
        int x, y, width;
        bool operator==(const Draw&) const = default;
    };
    static std::vector<Draw> drawn_;
    std::vector<std::vector<uint8_t>> pixels_;
    std::vector<Picture> sprites_;
    SpriteSet font_{};
};
std::vector<FontTest::Draw> FontTest::drawn_;

TEST_F(FontTest, CharacterMaps) {
    MakeFont(94, {4}, 0, 0, 0);
    EXPECT_EQ(FontGlyph(&font_, 0xE9), 4);
    EXPECT_EQ(FontGlyph(&font_, 'a'), 0);
    EXPECT_EQ(FontGlyph(&font_, 'Z'), 25);
    EXPECT_EQ(FontGlyph(&font_, '7'), 33);
    EXPECT_EQ(FontGlyph(&font_, ','), 51);
    EXPECT_EQ(FontGlyph(&font_, '\\'), 50);
    EXPECT_EQ(FontGlyph(&font_, 0xB8), 4);
    EXPECT_EQ(FontGlyph(&font_, 0xC9), -1);
    EXPECT_EQ(FontGlyph(&font_, ' '), -1);
    font_.flags = kFontMapB;
    EXPECT_EQ(FontGlyph(&font_, 0xE9), 68);
    EXPECT_EQ(FontGlyph(&font_, '!'), 0);
    EXPECT_EQ(FontGlyph(&font_, '~'), 93);
    EXPECT_EQ(FontGlyph(&font_, 0xBF), 30);
    EXPECT_EQ(FontGlyph(&font_, 0xD1), 77);
    EXPECT_EQ(FontGlyph(&font_, 0xB8), -1);
    EXPECT_EQ(FontGlyph(&font_, 0xC9), -1);
    EXPECT_EQ(FontGlyph(&font_, ' '), -1);
}

TEST_F(FontTest, WidthsCountGlyphsHalfSpacesAndSpacing) {
    MakeFont(52, {7, 3}, 0, 2, 1);
    EXPECT_EQ(FontTextWidth("", &font_), 0);
    // 'A' is glyph 0 (7), 'B' glyph 1 (3), a space half of glyph 0 (3).
    EXPECT_EQ(FontTextWidth("AB", &font_), 7 + 2 + 3 + 2);
    EXPECT_EQ(FontTextWidth("A B", &font_), 7 + 2 + 3 + 2 + 3 + 2);
    EXPECT_EQ(FontTextWidth("\xC9", &font_), 3 + 2);
    font_.flags = kFontMapB;
    EXPECT_EQ(FontTextWidth(" ", &font_), 3 + 2);
    // A glyph number beyond the set's count measures like a space.
    MakeFont(10, {7, 3}, 0, 0, 0);
    EXPECT_EQ(FontTextWidth("Z", &font_), 3);
}

TEST_F(FontTest, DrawingAdvancesAndBreaksLines) {
    MakeFont(52, {7, 3}, 0, 2, 1);
    drawn_.clear();
    FontDrawText("AB C\nA\xB3", &font_, 10, 20, Record);
    // A at 10, B at 19, space 3 + 2, C at 29; the line feed returns to 10
    // and moves down by the gap and the first glyph's height (1 + 5).
    EXPECT_EQ(drawn_, (std::vector<Draw>{{10, 20, 7}, {19, 20, 3}, {29, 20, 7}, {10, 26, 7}}));
    drawn_.clear();
    font_.flags = kFontFixedPitch;
    FontDrawText("BA", &font_, 0, 0, Record);
    // B is moved right to end at the first glyph's cell edge.
    EXPECT_EQ(drawn_, (std::vector<Draw>{{4, 0, 3}, {9, 0, 7}}));
}

TEST_F(FontTest, TextPastTheClipBoxIsClipped) {
    Screen(Layout::k8, 24, 8, 4, 0x55);
    Clip(0, 0, 15, 7);
    MakeFont(52, {6}, 0, 1, 0);
    g_DrawColour = 9;
    FontDrawText("ABCD", &font_, 2, 1, GlyphBlit);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 28; ++x) {
            uint32_t v = memory_[size_t(y) * ScreenState.pitch + size_t(x)];
            uint32_t expect = 0x55;
            if (y >= 1 && y < 6 && x >= 2 && x <= 15) expect = uint32_t((x - 2) / 7 + 1);
            if (y >= 1 && y < 6 && (x - 2) % 7 == 6 && x <= 15) expect = 0x55;  // the spacing column
            EXPECT_EQ(v, expect) << x << "," << y;
        }
    }
}

TEST_F(FontTest, ScaledWidthsRoundEachAdvanceDown) {
    MakeFont(52, {7, 3}, 0, 2, 1);
    EXPECT_EQ(FontTextWidthScaled("AB", &font_, 256), FontTextWidth("AB", &font_));
    EXPECT_EQ(FontTextWidthScaled("AB", &font_, 512), 2 * (9 + 5));
    // (7 + 2) / 2 and (3 + 2) / 2, each rounded down.
    EXPECT_EQ(FontTextWidthScaled("AB", &font_, 128), 4 + 2);
    EXPECT_EQ(FontTextWidthScaled("A B", &font_, 128), 4 + 2 + 2);
    EXPECT_EQ(FontTextWidthScaled("AB", &font_, 0), 0);
    EXPECT_EQ(FontTextWidthScaled("", &font_, 512), 0);
}

TEST_F(FontTest, NumbersAreDrawnAsEightDigits) {
    // Glyph i is i + 1 pixels wide, so the widths drawn name the glyphs.
    std::vector<int> widths;
    for (int i = 0; i < 94; ++i) widths.push_back(i + 1);
    MakeFont(94, widths, kFontMapB, 0, 0);
    auto width = [](char c) { return c - 33 + 1; };
    drawn_.clear();
    FontDrawNumber(42, &font_, 0, 0, Record);
    ASSERT_EQ(drawn_.size(), 8u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(drawn_[size_t(i)].width, width('0'));
    EXPECT_EQ(drawn_[6].width, width('4'));
    EXPECT_EQ(drawn_[7].width, width('2'));
    EXPECT_EQ(drawn_[7].x, 6 * width('0') + width('4'));
    drawn_.clear();
    FontDrawNumber(-5, &font_, 0, 0, Record);
    ASSERT_EQ(drawn_.size(), 8u);
    EXPECT_EQ(drawn_[0].width, width('-'));
    EXPECT_EQ(drawn_[7].width, width('5'));
}

TEST_F(FontTest, FontsBuiltFromAGlyphList) {
    MakeFont(52, {5, 2}, 0, 0, 0);
    SpriteSet* font = FontFromGlyphs(sprites_.data(), 52, 3, 4, 0);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->sprites, sprites_.data());
    EXPECT_EQ(font->lineGap, 4);
    EXPECT_EQ(FontTextWidth("AB", font), 5 + 3 + 2 + 3);
    drawn_.clear();
    FontDrawText("B\nA", font, 1, 2, Record);
    EXPECT_EQ(drawn_, (std::vector<Draw>{{1, 2, 2}, {1, 2 + 4 + 5, 5}}));
    MemFree(font);
    EXPECT_EQ(FontFromGlyphs(sprites_.data(), -1, 0, 0, 0), nullptr);
    EXPECT_EQ(FontFromGlyphs(nullptr, 3, 0, 0, 0), nullptr);
}

TEST_F(FontTest, TheTildeSwitchesBetweenTwoColours) {
    Screen(Layout::k8, 24, 6);
    std::vector<uint8_t> ink(2 * 2, 0xFF);
    std::vector<Picture> glyphs(52, Picture{2, 2, ink.data(), nullptr});
    SpriteSet font{glyphs.data(), 52, 1, 0, 0, 0};
    g_DrawColour = 77;
    // '~' takes no room: the glyphs stand 3 pixels apart.
    FontDrawTextColours("A~B~C", &font, 1, 1, 5, 9);
    EXPECT_EQ(g_DrawColour, 77u);
    EXPECT_EQ(Pixel(1, 1), 5u);
    EXPECT_EQ(Pixel(2, 2), 5u);
    EXPECT_EQ(Pixel(4, 1), 9u);
    EXPECT_EQ(Pixel(7, 2), 5u);
    EXPECT_EQ(Pixel(3, 1), 0u);
    EXPECT_EQ(Pixel(9, 1), 0u);
}

TEST_F(FontTest, ScaledTextStretchesGlyphsAndAdvances) {
    Screen(Layout::k565, 20, 8);
    // Indexed glyphs, as the scaled forms of this depth read them.
    std::vector<uint8_t> ink(2 * 2, 0xFF);
    std::vector<uint32_t> palette(256, 0);
    palette[255] = 0x0ACE;
    std::vector<Picture> glyphs(52, Picture{2, 2, ink.data(), palette.data()});
    SpriteSet font{glyphs.data(), 52, 1, 0, 0, 0};
    FontDrawTextScaled("AB", &font, 0, 1, 512);
    // Each glyph 4 x 4, the second 2 x (2 + 1) = 6 pixels on.
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            bool ink = y >= 1 && y < 5 && (x < 4 || (x >= 6 && x < 10));
            EXPECT_EQ(Pixel(x, y), ink ? 0x0ACEu : 0u) << x << "," << y;
        }
    }
}

class TileTest : public DrawTest {};

TEST_F(TileTest, TilesCoverTheRectangleWithinTheClipBox) {
    Screen(Layout::k8, 12, 8, 0, 0xEE);
    const std::vector<uint32_t> values = {1, 2, 3, 4, 5, 6};
    TestPicture tile = MakePicture(3, 2, 1, values);
    Clip(0, 0, 9, 5);
    TilePicture(tile.get(), 1, 1, 10, 6);  // reaches past the clip box right and below
    EXPECT_EQ(ScreenState.clipRight, 9);
    EXPECT_EQ(ScreenState.clipBottom, 5);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            uint32_t expect = 0xEE;
            if (x >= 1 && x <= 9 && y >= 1 && y <= 5) expect = values[size_t(((y - 1) % 2) * 3 + (x - 1) % 3)];
            EXPECT_EQ(Pixel(x, y), expect) << x << "," << y;
        }
    }
    // A rectangle starting far off the screen keeps its tiles' phase.
    Screen(Layout::k8, 12, 8, 0, 0xEE);
    TilePicture(tile.get(), -3000001, -2000001, 11, 7);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(Pixel(x, y), values[size_t(((y + 1) % 2) * 3 + (x + 1) % 3)]) << x << "," << y;
}

// ---------------------------------------------------------------------------
// Sheets and fonts from files
// ---------------------------------------------------------------------------

// A headless host in a temporary folder with a 5-6-5 screen.
class SpriteLoadTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        screen_ = ScreenState;
        memory_ = MemoryManager;
        ScreenState = ScreenStateRecord{};
        SetScreenGeometry(64, 64, 16);
        ScreenState.redSize = 5, ScreenState.redShift = 11;
        ScreenState.greenSize = 6, ScreenState.greenShift = 5;
        ScreenState.blueSize = 5, ScreenState.blueShift = 0;
    }
    void TearDown() override {
        ScreenState = screen_;
        MemoryManager = memory_;
        test::FreeArchives();
        HeadlessTest::TearDown();
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFile(name, std::string(bytes.begin(), bytes.end()));
    }
    // A 6 x 2 sheet: index i at (i % 6, i / 6); palette entry i = (20 i, 10 i, 5 i).
    void WriteSheet(const std::string& base) {
        kit::Image image = kit::MakeImage(6, 2, 8);
        for (int i = 0; i < 12; ++i) {
            image.pixels[size_t(i)] = uint8_t(i);
            image.palette[size_t(i) * 3] = uint8_t(20 * i);
            image.palette[size_t(i) * 3 + 1] = uint8_t(10 * i);
            image.palette[size_t(i) * 3 + 2] = uint8_t(5 * i);
        }
        Write(base + ".png", kit::EncodePng(image));
        Write(base + ".spc", kit::SpriteListBytes({{1, 0, 2, 1}, {5, 1, 5, 1}}));
    }
    static uint16_t At(const Picture& p, int i) {
        uint16_t v;
        std::memcpy(&v, p.pixels + i * 2, 2);
        return v;
    }
    ScreenStateRecord screen_;
    MemoryManagerTable memory_;
};

TEST_F(SpriteLoadTest, SheetsAreCutInTheScreenFormat) {
    WriteSheet("icons");
    const FileTable* before = CurrentFileTable;
    CurrentFileTable = nullptr;
    SpriteSet* set = LoadSprites("icons", &PlainFileTable, kSpritesToScreen);
    EXPECT_EQ(CurrentFileTable, &PlainFileTable);
    CurrentFileTable = before;
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 2);
    ASSERT_EQ(set->sprites[0].width, 2);
    ASSERT_EQ(set->sprites[0].height, 2);
    // Indices 1, 2, 7, 8 as screen pixels of the sheet's palette.
    int index[4] = {1, 2, 7, 8};
    for (int i = 0; i < 4; ++i) {
        uint8_t rgb[3] = {uint8_t(20 * index[i]), uint8_t(10 * index[i]), uint8_t(5 * index[i])};
        EXPECT_EQ(At(set->sprites[0], i), PackScreenPixel(rgb)) << i;
    }
    EXPECT_EQ(set->sprites[1].width, 1);
    uint8_t last[3] = {220, 110, 55};
    EXPECT_EQ(At(set->sprites[1], 0), PackScreenPixel(last));
    FreeSprites(set);
}

TEST_F(SpriteLoadTest, WithoutConversionIndicesAreKeptAndOriginsRecorded) {
    WriteSheet("icons");
    SpriteSet* set = LoadSprites("icons", &PlainFileTable, kSpritesOrigin);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(set->sprites[0].pixels, set->sprites[0].pixels + 4),
              (std::vector<uint8_t>{1, 2, 7, 8}));
    auto* origin = static_cast<SpriteOrigin*>(set->sprites[1].extra);
    ASSERT_NE(origin, nullptr);
    EXPECT_EQ(origin->left, 5);
    EXPECT_EQ(origin->top, 1);
    FreeSprites(set);
}

TEST_F(SpriteLoadTest, TheSheetNeverTakesRoomInThePool) {
    WriteSheet("icons");
    std::vector<uint8_t> pool(1 << 16);
    MemInitPool(pool.data(), uint32_t(pool.size()));
    MemEnable();
    ASSERT_TRUE(MemoryManager.poolOn);
    SpriteSet* set = LoadSprites("icons", &PlainFileTable, kSpritesToScreen);
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(MemoryManager.poolOn);
    // The set, its two records and the sprites' pixels come from the pool;
    // the sheet and its conversion do not.
    auto inPool = [&](const void* p) {
        return p >= static_cast<const void*>(pool.data()) && p < static_cast<const void*>(pool.data() + pool.size());
    };
    EXPECT_TRUE(inPool(set));
    EXPECT_TRUE(inPool(set->sprites[0].pixels));
    EXPECT_LT(MemoryManager.position, 2u * 6 * 2 + 256);
}

TEST_F(SpriteLoadTest, AMissingSheetOrListGivesNone) {
    WriteSheet("icons");
    EXPECT_EQ(LoadSprites("absent", &PlainFileTable, 0), nullptr);
    std::filesystem::remove(dir_ / "icons.spc");
    EXPECT_EQ(LoadSprites("icons", &PlainFileTable, kSpritesToScreen), nullptr);
    // A sheet the picture library refuses takes the fatal road, the pool
    // switched back on on the way.
    std::vector<uint8_t> pool(1 << 12);
    MemInitPool(pool.data(), uint32_t(pool.size()));
    MemEnable();
    Write("broken.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
    Write("broken.spc", kit::SpriteListBytes({{0, 0, 1, 1}}));
    EXPECT_THROW(LoadSprites("broken", &PlainFileTable, 0), FatalReturn);
    EXPECT_TRUE(MemoryManager.poolOn);
}

// The demo data as mkdemo packed it: every menu sheet and font loads from
// game.res, each font glyph exactly as the kit drew it.
TEST_F(SpriteLoadTest, DemoSheetsAndFontsLoadFromTheMainArchive) {
    std::string game = std::filesystem::path(MORVANEL_GAME_SOFT).parent_path().string();
    MainResArchive = ResAddArchive((game + "/game.res").c_str(), 0);
    ASSERT_TRUE(MainResArchive->flags & kResArchivePresent);
    struct Sheet {
        const char* name;
        int count, width, height;  // sprite size, 0 where it varies
    };
    for (const Sheet& sheet : {Sheet{"consol2", 6, 88, 40}, Sheet{"page", 5, 0, 8}, Sheet{"iconoff", 21, 32, 32},
                               Sheet{"iconon", 21, 32, 32}}) {
        SpriteSet* set = LoadSprites((std::string(".\\menus\\") + sheet.name).c_str(), &ResourceFileTable, 1);
        ASSERT_NE(set, nullptr) << sheet.name;
        EXPECT_EQ(set->count, sheet.count) << sheet.name;
        for (int i = 0; i < set->count; ++i) {
            const Picture& p = set->sprites[i];
            if (sheet.width) {
                EXPECT_EQ(p.width, sheet.width) << sheet.name << " " << i;
            }
            EXPECT_EQ(p.height, sheet.height) << sheet.name << " " << i;
            bool drawn = false;
            for (int k = 0; k < p.width * p.height; ++k) drawn = drawn || At(p, k) != 0;
            EXPECT_TRUE(drawn) << sheet.name << " " << i;
        }
        FreeSprites(set);
    }
    const uint8_t shadowRgb[3] = {72, 64, 60};
    const uint16_t white = 0xFFFF, shadow = uint16_t(PackScreenPixel(shadowRgb));
    struct Font {
        const char* name;
        kit::FontStyle style;
    };
    for (const Font& f : {Font{"fnt10br", kit::FontStyle::Bold}, Font{"roman", kit::FontStyle::Roman},
                          Font{"bedrock", kit::FontStyle::Stone}}) {
        SpriteSet* font = LoadSprites((std::string(".\\menus\\") + f.name).c_str(), &ResourceFileTable, 1);
        ASSERT_NE(font, nullptr) << f.name;
        ASSERT_EQ(font->count, 94) << f.name;
        font->flags = kFontMapB;
        for (int code = 33; code <= 126; ++code) {
            const Picture& p = font->sprites[FontGlyph(font, uint8_t(code))];
            kit::FontGlyphImage expect = kit::StyledGlyph(f.style, char(code));
            ASSERT_EQ(p.width, expect.width) << f.name << " " << char(code);
            ASSERT_EQ(p.height, expect.height) << f.name << " " << char(code);
            for (int k = 0; k < p.width * p.height; ++k) {
                uint8_t v = expect.pixels[size_t(k)];
                uint16_t screen = v == kit::kFontInk ? white : v == kit::kFontShadow ? shadow : 0;
                ASSERT_EQ(At(p, k), screen) << f.name << " " << char(code) << " " << k;
            }
        }
        FreeSprites(font);
    }
}

}  // namespace
