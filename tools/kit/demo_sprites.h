// The demo data set's sprite sheets and bitmap fonts: 8-bit PNG sheets with
// their cut lists, painted by the kit.  The fonts are drawn from the kit's
// own 5 x 7 font in three styles; their glyphs are palette white on black,
// so keyed blits skip the background and draw the ink in the text colour.
#pragma once

#include "tools/kit/archive_writer.h"
#include "tools/kit/picture_writer.h"
#include "tools/kit/sprite_list_writer.h"

#include <string>
#include <vector>

namespace kit {

// A sheet and the rectangles of its sprites, in sprite order.
struct SpriteSheet {
    Image image;
    std::vector<SpriteRect> rects;
};

// Pixel values of the font sheets: background, ink, and the shadow of the
// stone style.
constexpr uint8_t kFontClear = 0, kFontInk = 255, kFontShadow = 100;

enum class FontStyle {
    Bold,   // fnt10br: the glyphs thickened, ten rows high
    Roman,  // roman: twice the size with smoothed diagonals
    Stone,  // bedrock: twice the size, thickened, with a grey drop shadow
};

// One glyph of a style: width x height pixel values, rows top down.  Every
// glyph of a style has the same height; the width is the glyph's own (at
// least one column).
struct FontGlyphImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};
FontGlyphImage StyledGlyph(FontStyle style, char c);

// The 94 glyphs of the codes 33 to 126 in code order.
SpriteSheet FontSheet(FontStyle style);
// consol2: one tab per menu page 1 to 6, 88 x 40; small: console2, the
// tabs of screens of 400 lines or fewer, 70 x 32.
SpriteSheet DemoConsoleTabs(bool small = false);
SpriteSheet DemoPageSprites();          // page: map markers 0-2, scroll arrows up and down
SpriteSheet DemoPowerIcons(bool lit);   // iconoff / iconon: 7 spell and 14 weapon icons

// The sheets as archive members (".\menus\<name>.png" and ".spc") of an
// archive folder; only "game" has any.
std::vector<ArchiveMember> DemoSpriteMembers(const std::string& archiveFolder);

}  // namespace kit
