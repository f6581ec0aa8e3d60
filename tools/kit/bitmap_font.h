// The data kit's own bitmap font: 5 x 7 glyphs for the printable
// characters 32 to 126, for the text the kit paints into pictures.
#pragma once

namespace kit {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// Whether pixel (x, y) of the character's glyph is set (y = 0 the top
// row); characters outside 32..126 have no pixels.
bool GlyphPixel(char c, int x, int y);

}  // namespace kit
