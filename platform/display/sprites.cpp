// Sprite sets and bitmap fonts.
#include "platform/display/sprites.h"

#include "platform/display/ddraw.h"
#include "platform/memory.h"

#include <algorithm>
#include <array>
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

void FreeSprites(SpriteSet* set) {
    if (!set) return;
    for (int32_t i = set->count - 1; i >= 0; --i) {
        Picture* sprite = &set->sprites[i];
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

void FontDrawText(const char* text, const SpriteSet* font, int32_t x, int32_t y, BlitRoutine draw) {
    if (!text || !font) return;
    const int32_t startX = x;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p; ++p) {
        if (*p == 10 || *p == 0xB3) {
            y += font->lineGap + FirstHeight(font);
            x = startX;
            continue;
        }
        int glyph = FontGlyph(font, *p);
        if (glyph < 0 || glyph >= font->count) {
            x += FirstWidth(font) / 2 + font->spacing;
            continue;
        }
        const Picture* sprite = &font->sprites[glyph];
        if (font->flags & kFontFixedPitch) x += FirstWidth(font) - sprite->width;
        if (draw) draw(x, y, sprite);
        x += sprite->width + font->spacing;
    }
}
