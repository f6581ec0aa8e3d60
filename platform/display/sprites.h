// Sprite sets cut from a sheet by a cut list, and bitmap fonts: a sprite
// set read through one of two fixed character maps.  Drawing goes through
// a caller-supplied glyph routine (a blit of the unscaled form).
#pragma once

#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/resfile.h"

#include <cstdint>

struct SpriteSet {
    Picture* sprites;  // the array of count sprites
    int16_t count;
    uint8_t spacing;   // pixels added after every character
    uint8_t lineGap;   // pixels added to the first sprite's height at a line break
    uint8_t flags;     // kFontMapB, kFontFixedPitch
    uint8_t cutMode;   // the cut mode the sprites were made with; 2: each holds an origin record
};

constexpr uint8_t kFontMapB = 0x01;        // the full character map instead of the capitals map
constexpr uint8_t kFontFixedPitch = 0x02;  // glyphs end at the edge of a cell as wide as sprite 0

// Where a sprite lies in its sheet, attached to the sprite's fourth word by
// cut mode 2; the word it replaced is kept.
struct SpriteOrigin {
    uint8_t left, top;  // low bytes of the position
    uint8_t zero[2];
    void* previous;
};

// One record of a cut list: inclusive corners in the sheet.
struct SpriteCut {
    int16_t left, top, right, bottom;
};

// Cut list file (".spc"), little-endian: 4 bytes not used, the sprite count
// (16-bit), then count records of left, top, right, bottom (16-bit signed).
constexpr int kSpriteListHeader = 6;
constexpr int kSpriteCutBytes = 8;

// Cuts count sprites of bytesPerPixel from a sheet of sheetWidth x
// sheetHeight pixels.  A rectangle is clipped to the sheet; one with
// nothing inside it (right left of left, bottom above top, or wholly
// outside) gives an empty sprite (0 x 0, no pixels).  Mode 1 gives each
// sprite a display surface (video driver slot 8), mode 2 an origin record.
// None for a negative count.
SpriteSet* CutSpriteSet(const SpriteCut* cuts, int32_t count, const uint8_t* sheet, int32_t sheetWidth,
                        int32_t sheetHeight, int32_t bytesPerPixel, int32_t mode);
// Reads a cut list from a file of the current file table and cuts the set;
// none when the list is shorter than its count says.
SpriteSet* LoadSpriteSet(FileHandle file, const uint8_t* sheet, int32_t sheetWidth, int32_t sheetHeight,
                         int32_t bytesPerPixel, int32_t mode);
// Frees every sprite (video driver slot 9) from the last to the first, then
// the array and the set.  A sprite of cut mode 2 first gets its previous
// fourth word back and its origin record is freed, so the driver never
// takes the record for a surface.
void FreeSprites(SpriteSet* set);

// Option bits of LoadSprites.  The cut mode is the sum of bits 1 and 2, so
// either bit alone gives each sprite a display surface (mode 1) and both
// together attach origin records (mode 2).
constexpr int kSpritesToScreen = 0x01;  // cut in the screen's format (an 8-bit sheet converted first)
constexpr int kSpritesSurface = 0x02;   // cut mode 1
constexpr int kSpritesOrigin = 0x06;    // cut mode 2
// Makes the table current, reads the sheet "<name>.png" with the memory
// pool off, then cuts it by "<name>.spc".  None when either file does not
// open or cannot be read; the sheet itself is given back either way.
SpriteSet* LoadSprites(const char* name, const FileTable* table, int flags);

// The glyph of a byte in the font's character map, -1 when it has none.
int FontGlyph(const SpriteSet* font, uint8_t byte);
// Width of a text in pixels: glyph widths, half the first sprite's width
// for a byte without a glyph, and the spacing after every byte.
int32_t FontTextWidth(const char* text, const SpriteSet* font);
// Draws a text through draw(x, y, glyph sprite); a line feed or 0xB3 starts
// a new line at the starting x.
void FontDrawText(const char* text, const SpriteSet* font, int32_t x, int32_t y, BlitRoutine draw);

// The width of the text drawn by FontDrawTextScaled with the same factor:
// each byte's advance (glyph or half space, plus the spacing) times
// factor / 256, rounded down per byte.
int32_t FontTextWidthScaled(const char* text, const SpriteSet* font, int32_t factor);
// The number as eight digits ("%08ld": a negative number keeps its sign in
// the first of the eight places) through FontDrawText.
void FontDrawNumber(long value, const SpriteSet* font, int32_t x, int32_t y, BlitRoutine draw);
// A font record (memory manager) over a list of count glyph pictures, in
// the order of the character map the flags choose.  The record refers to
// the list, which stays the caller's: give the record back with MemFree,
// not FreeSprites.  None for a negative count or a missing list.
SpriteSet* FontFromGlyphs(Picture* glyphs, int16_t count, uint8_t spacing, uint8_t lineGap, uint8_t flags);
// Covers the rectangle (inclusive corners) with copies of the picture from
// its top-left corner on, by opaque blits under the clip box narrowed to the
// rectangle; the clip box is restored afterwards.  The frame buffer must be
// locked.
void TilePicture(const Picture* picture, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Draws through GlyphBlit in the first colour; each byte 0x7E switches the
// colour drawn in place of the white pixels between the two and takes no
// room.  g_DrawColour is restored afterwards.
void FontDrawTextColours(const char* text, const SpriteSet* font, int32_t x, int32_t y, uint32_t first,
                         uint32_t second);
// Draws each glyph stretched by factor / 256 through the clipped scaled
// keyed blit (slot 9); advances and line breaks are scaled alike.
void FontDrawTextScaled(const char* text, const SpriteSet* font, int32_t x, int32_t y, int32_t factor);
