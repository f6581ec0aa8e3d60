// Sprite sets and bitmap fonts.
#include "platform/display/sprites.h"

#include "platform/display/blit.h"
#include "platform/display/ddraw.h"
#include "platform/display/palette.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Character map A: the capitals font of 52 glyphs.
constexpr std::array<int16_t, 256> MakeMapA() {
    std::array<int16_t, 256> map{};
    for (auto& g : map) g = -1;
    for (int c = 'A'; c <= 'Z'; ++c) map[c] = int16_t(c - 'A');
    for (int c = 'a'; c <= 'z'; ++c) map[c] = int16_t(c - 'a');
    for (int c = '0'; c <= '9'; ++c) map[c] = int16_t(26 + c - '0');
    const char* signs = "!?.:/()+-%='_*\\,";
    for (int i = 0; signs[i]; ++i) map[uint8_t(signs[i])] = int16_t(36 + i);
    for (int c : {0x85, 0x88, 0xC4, 0xE4}) map[c] = 0;
    for (int c : {0x82, 0x8A, 0x8E, 0xB8, 0xCB, 0xE9}) map[c] = 4;
    for (int c : {0xCD, 0xCF}) map[c] = 8;
    map[0xD1] = 13;
    for (int c : {0x93, 0xD3, 0xD6, 0xF3, 0xF6}) map[c] = 14;
    for (int c : {0xDC, 0xFC}) map[c] = 20;
    return map;
}

// Character map B: the full font of 94 glyphs, codes 33 to 126.
constexpr std::array<int16_t, 256> MakeMapB() {
    std::array<int16_t, 256> map{};
    for (auto& g : map) g = -1;
    for (int c = 33; c <= 126; ++c) map[c] = int16_t(c - 33);
    map[0xA1] = '!' - 33;
    map[0xBF] = '?' - 33;
    for (int c : {0x85, 0x88, 0xC4, 0xE4}) map[c] = 'a' - 33;
    for (int c : {0x82, 0x8A, 0x8E, 0xCB, 0xE9}) map[c] = 'e' - 33;
    for (int c : {0xCD, 0xCF}) map[c] = 'i' - 33;
    map[0xD1] = 'n' - 33;
    for (int c : {0x93, 0xD3, 0xD6, 0xF3, 0xF6}) map[c] = 'o' - 33;
    for (int c : {0xDC, 0xFC}) map[c] = 'u' - 33;
    return map;
}

constexpr std::array<int16_t, 256> kMapA = MakeMapA();
constexpr std::array<int16_t, 256> kMapB = MakeMapB();

// One sprite from the part of its rectangle that lies on the sheet.
void Cut(Picture* sprite, const SpriteCut& cut, const uint8_t* sheet, int32_t sheetWidth, int32_t sheetHeight,
         int32_t bytes, int32_t mode) {
    int32_t left = std::max<int32_t>(cut.left, 0), top = std::max<int32_t>(cut.top, 0);
    int32_t right = std::min<int32_t>(cut.right, sheetWidth - 1), bottom = std::min<int32_t>(cut.bottom, sheetHeight - 1);
    *sprite = Picture{0, 0, nullptr, nullptr};
    if (sheet && right >= left && bottom >= top) {
        sprite->width = right - left + 1;
        sprite->height = bottom - top + 1;
        const size_t row = size_t(sprite->width) * size_t(bytes);
        sprite->pixels = static_cast<uint8_t*>(MemAlloc(uint32_t(row * size_t(sprite->height))));
        for (int32_t y = 0; y < sprite->height; ++y)
            std::memcpy(sprite->pixels + size_t(y) * row,
                        sheet + (size_t(top + y) * size_t(sheetWidth) + size_t(left)) * size_t(bytes), row);
    } else {
        left = cut.left;
        top = cut.top;
    }
    if (mode == 1) {
        if (CurrentVideoDriver) CurrentVideoDriver->MakePictureSurface(sprite);
    } else if (mode == 2) {
        auto* origin = static_cast<SpriteOrigin*>(MemAlloc(sizeof(SpriteOrigin)));
        origin->left = static_cast<uint8_t>(left);
        origin->top = static_cast<uint8_t>(top);
        origin->previous = sprite->extra;
        sprite->extra = origin;
    }
}

int16_t ReadI16(const uint8_t* p) {
    return static_cast<int16_t>(uint16_t(p[0] | (p[1] << 8)));
}

int32_t FirstWidth(const SpriteSet* font) {
    return font->count > 0 ? font->sprites[0].width : 0;
}

int32_t FirstHeight(const SpriteSet* font) {
    return font->count > 0 ? font->sprites[0].height : 0;
}

}  // namespace

SpriteSet* CutSpriteSet(const SpriteCut* cuts, int32_t count, const uint8_t* sheet, int32_t sheetWidth,
                        int32_t sheetHeight, int32_t bytesPerPixel, int32_t mode) {
    if (count < 0 || count > 0x7FFF || (count > 0 && !cuts) || bytesPerPixel < 1 || bytesPerPixel > 4) return nullptr;
    auto* set = static_cast<SpriteSet*>(MemAlloc(sizeof(SpriteSet)));
    set->count = static_cast<int16_t>(count);
    set->cutMode = static_cast<uint8_t>(mode == 1 || mode == 2 ? mode : 0);
    set->sprites = static_cast<Picture*>(MemAlloc(uint32_t(std::max(count, 1)) * sizeof(Picture)));
    for (int32_t i = 0; i < count; ++i)
        Cut(&set->sprites[i], cuts[i], sheet, sheetWidth, sheetHeight, bytesPerPixel, mode);
    return set;
}

SpriteSet* LoadSpriteSet(FileHandle file, const uint8_t* sheet, int32_t sheetWidth, int32_t sheetHeight,
                         int32_t bytesPerPixel, int32_t mode) {
    const FileTable* t = CurrentFileTable;
    uint8_t header[kSpriteListHeader];
    if (!t || !file || t->Read(header, 1, sizeof header, file) != sizeof header) return nullptr;
    int32_t count = ReadI16(header + 4);
    if (count < 0) return nullptr;
    std::vector<SpriteCut> cuts(static_cast<size_t>(count));
    for (SpriteCut& c : cuts) {
        uint8_t record[kSpriteCutBytes];
        if (t->Read(record, 1, sizeof record, file) != sizeof record) return nullptr;
        c = {ReadI16(record), ReadI16(record + 2), ReadI16(record + 4), ReadI16(record + 6)};
    }
    return CutSpriteSet(cuts.data(), count, sheet, sheetWidth, sheetHeight, bytesPerPixel, mode);
}

SpriteSet* LoadSprites(const char* name, const FileTable* table, int flags) {
    if (!name || !table) return nullptr;
    CurrentFileTable = table;
    char path[kPathText];
    if (std::snprintf(path, sizeof path, "%s.%s", name, "png") >= int(sizeof path)) return nullptr;
    FileHandle file = table->Open(path, "rb");
    if (!file) return nullptr;
    // The sheet lives only while the sprites are cut, so it never takes
    // room in the memory pool.
    MemoryManagerTable& m = MemoryManager;
    const uint32_t poolOn = m.poolOn;
    m.poolOn = 0;
    Picture sheet{0, 0, nullptr, nullptr};
    int bits = 0;
    try {
        bits = LoadPictureStream(path, file, &sheet);
    } catch (const FatalReturn&) {
        table->Close(file);
        m.poolOn = poolOn;
        throw;
    }
    int32_t bytes = PictureBytesPerPixel(bits);
    if (sheet.pixels && (flags & kSpritesToScreen) && ScreenState.bytesPerPixel >= 2) {
        uint32_t count = uint32_t(size_t(sheet.width) * size_t(sheet.height));
        sheet.pixels = ConvertBitmap(nullptr, ScreenState.palette, ScreenState.bytesPerPixel, sheet.pixels,
                                     ScreenState.palette, bytes, count);
        bytes = ScreenState.bytesPerPixel;
    }
    m.poolOn = poolOn;
    table->Close(file);
    if (!sheet.pixels) return nullptr;

    SpriteSet* set = nullptr;
    std::snprintf(path, sizeof path, "%s.spc", name);
    if (FileHandle list = table->Open(path, "rb")) {
        const int32_t mode = ((flags >> 1) & 1) + ((flags >> 2) & 1);
        set = LoadSpriteSet(list, sheet.pixels, sheet.width, sheet.height, bytes, mode);
        table->Close(list);
    }
    m.poolOn = 0;
    MemFree(sheet.pixels);
    m.poolOn = poolOn;
    return set;
}

void FreeSprites(SpriteSet* set) {
    if (!set) return;
    for (int32_t i = set->count - 1; i >= 0; --i) {
        Picture* sprite = &set->sprites[i];
        if (set->cutMode == 2 && sprite->extra) {
            auto* origin = static_cast<SpriteOrigin*>(sprite->extra);
            sprite->extra = origin->previous;
            MemFree(origin);
        }
        if (CurrentVideoDriver) {
            CurrentVideoDriver->FreePicture(sprite);
        } else {
            MemFree(sprite->pixels);
            sprite->pixels = nullptr;
        }
    }
    MemFree(set->sprites);
    MemFree(set);
}

int FontGlyph(const SpriteSet* font, uint8_t byte) {
    return ((font->flags & kFontMapB) ? kMapB : kMapA)[byte];
}

int32_t FontTextWidth(const char* text, const SpriteSet* font) {
    if (!text || !font) return 0;
    int32_t width = 0;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
        int glyph = FontGlyph(font, *p);
        width += (glyph >= 0 && glyph < font->count) ? font->sprites[glyph].width : FirstWidth(font) / 2;
        width += font->spacing;
    }
    return width;
}

namespace {

// Lays a text out glyph by glyph: glyph(sprite, x, y, scaled width,
// scaled height) for every byte with a glyph; special(byte) may take a byte
// first (answering true), which then takes no room.  Every distance is
// multiplied by factor / 256.
template <typename Glyph, typename Special>
void LayOut(const char* text, const SpriteSet* font, int32_t x, int32_t y, int32_t factor, Glyph glyph,
            Special special) {
    if (!text || !font || factor <= 0) return;
    auto scale = [factor](int64_t v) { return int32_t(v * factor / 256); };
    const int32_t startX = x;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
        if (special(*p)) continue;
        if (*p == 10 || *p == 0xB3) {
            y += scale(font->lineGap + FirstHeight(font));
            x = startX;
            continue;
        }
        int g = FontGlyph(font, *p);
        if (g < 0 || g >= font->count) {
            x += scale(FirstWidth(font) / 2 + font->spacing);
            continue;
        }
        const Picture* sprite = &font->sprites[g];
        if (font->flags & kFontFixedPitch) x += scale(FirstWidth(font) - sprite->width);
        glyph(sprite, x, y, scale(sprite->width), scale(sprite->height));
        x += scale(sprite->width + font->spacing);
    }
}

bool NoSpecial(uint8_t) {
    return false;
}

}  // namespace

void FontDrawText(const char* text, const SpriteSet* font, int32_t x, int32_t y, BlitRoutine draw) {
    LayOut(
        text, font, x, y, 256,
        [draw](const Picture* sprite, int32_t gx, int32_t gy, int32_t, int32_t) {
            if (draw) draw(gx, gy, sprite);
        },
        NoSpecial);
}

int32_t FontTextWidthScaled(const char* text, const SpriteSet* font, int32_t factor) {
    if (!text || !font || factor <= 0) return 0;
    int32_t width = 0;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
        int glyph = FontGlyph(font, *p);
        int32_t advance = (glyph >= 0 && glyph < font->count) ? font->sprites[glyph].width : FirstWidth(font) / 2;
        width += int32_t((int64_t(advance) + font->spacing) * factor / 256);
    }
    return width;
}

void FontDrawNumber(long value, const SpriteSet* font, int32_t x, int32_t y, BlitRoutine draw) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%08ld", value);
    FontDrawText(digits, font, x, y, draw);
}

SpriteSet* FontFromGlyphs(Picture* glyphs, int16_t count, uint8_t spacing, uint8_t lineGap, uint8_t flags) {
    if (count < 0 || (count > 0 && !glyphs)) return nullptr;
    auto* font = static_cast<SpriteSet*>(MemAlloc(sizeof(SpriteSet)));
    *font = SpriteSet{glyphs, count, spacing, lineGap, flags, 0};  // the glyphs stay the caller's
    return font;
}

void TilePicture(const Picture* picture, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    BlitRoutine opaque = ActiveBlitTable.modes[2];
    if (!picture || !opaque || picture->width <= 0 || picture->height <= 0) return;
    ScreenStateRecord& s = ScreenState;
    const int32_t left = s.clipLeft, top = s.clipTop, right = s.clipRight, bottom = s.clipBottom;
    s.clipLeft = std::max(left, x1);
    s.clipTop = std::max(top, y1);
    s.clipRight = std::min(right, x2);
    s.clipBottom = std::min(bottom, y2);
    // Only the tiles that meet the narrowed box are drawn.
    if (s.clipLeft <= s.clipRight && s.clipTop <= s.clipBottom) {
        // The first tile that reaches the box in each direction.
        auto first = [](int64_t from, int64_t edge, int64_t size) {
            return from < edge ? from + (edge - from) / size * size : from;
        };
        for (int64_t y = first(y1, s.clipTop, picture->height); y <= s.clipBottom; y += picture->height)
            for (int64_t x = first(x1, s.clipLeft, picture->width); x <= s.clipRight; x += picture->width)
                opaque(int32_t(x), int32_t(y), picture);
    }
    s.clipLeft = left;
    s.clipTop = top;
    s.clipRight = right;
    s.clipBottom = bottom;
}

void FontDrawTextColours(const char* text, const SpriteSet* font, int32_t x, int32_t y, uint32_t first,
                         uint32_t second) {
    const uint32_t saved = g_DrawColour;
    g_DrawColour = first;
    BlitRoutine draw = GlyphBlit;
    LayOut(
        text, font, x, y, 256,
        [draw](const Picture* sprite, int32_t gx, int32_t gy, int32_t, int32_t) {
            if (draw) draw(gx, gy, sprite);
        },
        [first, second](uint8_t byte) {
            if (byte != 0x7E) return false;
            g_DrawColour = g_DrawColour == first ? second : first;
            return true;
        });
    g_DrawColour = saved;
}

void FontDrawTextScaled(const char* text, const SpriteSet* font, int32_t x, int32_t y, int32_t factor) {
    ScaledBlitRoutine draw = ActiveBlitTable.scaled[1];
    LayOut(
        text, font, x, y, factor,
        [draw](const Picture* sprite, int32_t gx, int32_t gy, int32_t w, int32_t h) {
            if (draw) draw(sprite, gx, gy, w, h);
        },
        NoSpecial);
}
