// Sprite sets cut from a sheet, cut lists read through the file table, and
// bitmap fonts measured and drawn through the keyed blit.
#include "draw_support.h"
#include "platform/display/sprites.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "test_support.h"
#include "tools/kit/sprite_list_writer.h"

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
    MemFree(origin);
    FreeSprites(set);
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
        font_ = SpriteSet{sprites_.data(), int16_t(count), spacing, gap, flags};
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

}  // namespace
