// GDI-style text of the host layer: TrueType fonts from the host's font list
// (host::AddFontResource) drawn without anti-aliasing onto pixel buffers in
// the program's own pixel formats.
//
// Font heights follow the system's convention: a positive height is the
// cell height (ascent + descent) in pixels, a negative one the character
// height (the em size).  TextOut places the top-left corner of the text's
// cell at (x, y).  Text is 8-bit, in the Windows-1252 character set.
#pragma once

#include <cstdint>
#include <string>

namespace host {

// A pixel layout: bits per pixel and the channel masks.  At 8 bits the
// pixels are palette indexes.
struct PixelFormat {
    uint32_t bits;  // 8, 15/16 (two bytes), 24 (three bytes), 32 (four bytes)
    uint32_t redMask, greenMask, blueMask, alphaMask;
};

constexpr PixelFormat kFormat565 = {16, 0xF800, 0x07E0, 0x001F, 0};
constexpr PixelFormat kFormat555 = {16, 0x7C00, 0x03E0, 0x001F, 0};

// Pixels a device context draws on.  `palette` (8-bit formats only) holds 256
// entries of red, green, blue, unused.
struct PixelTarget {
    uint8_t* pixels;
    int width, height;
    int pitch;  // bytes from one row to the next
    PixelFormat format;
    const uint8_t* palette;
};

struct Size {
    int32_t cx, cy;
};

struct Font;
struct DC;

constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// A font by face name (letter case ignored).  A face no registered font has
// falls back to a default face, so a font is always made (nullptr only when
// no font file at all can be read).
Font* CreateFont(int height, int weight, bool italic, bool underline, bool strikeOut, const char* face);
void DeleteFont(Font* font);
// The family name of the face a font really uses.
std::string FontFaceName(const Font* font);

// A device context on a pixel buffer; the buffer must outlive it.
DC* CreatePixelDC(const PixelTarget& target);
void DeletePixelDC(DC* dc);
// Answers the font selected before (nullptr at first).
Font* SelectFont(DC* dc, Font* font);
int SetBkMode(DC* dc, int mode);
// COLORREF: red + green * 256 + blue * 65536.  Answers the previous colour.
uint32_t SetTextColor(DC* dc, uint32_t colour);
// Width and cell height of the text in the selected font.
bool GetTextExtentPoint32(DC* dc, const char* text, int count, Size* size);
// Draws the text in the text colour, clipped to the buffer; with OPAQUE the
// cell behind it is filled with the background colour (black).
bool TextOut(DC* dc, int x, int y, const char* text, int count);

}  // namespace host
