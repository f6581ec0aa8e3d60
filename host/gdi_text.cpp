// Text drawing of the host layer over FreeType: fonts chosen from the host's
// font list by family name, glyphs rendered as 1-bit bitmaps (no
// anti-aliasing, so the output is the same on every machine) and written
// straight into the device context's pixel buffer in its own pixel format.
//
// Single-threaded.  The FreeType library and every font file opened stay
// open for the life of the process (they are shared by all fonts made from
// the same file), and so do the rendered glyphs of each face at each size
// and synthesised style: a font made anew for every line of text (as the
// overlay does) finds its glyphs already rendered.

#include "host/gdi.h"
#include "host/backend.h"
#include "host/host.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdio>
#include <array>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace host {

namespace {

// ---------------------------------------------------------------------------
// Library and font files
// ---------------------------------------------------------------------------

constexpr const char* kSystemFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kSystemBoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// A font file opened once; `face` is null when FreeType could not open it
// (remembered so a bad file is not retried on every CreateFont).
struct FaceFile {
    std::string path;
    FT_Face face;
};

struct FontLibrary {
    FT_Library library = nullptr;
    bool initTried = false;
    std::vector<FaceFile> files;
};

FontLibrary g_lib;

FT_Library Library() {
    if (!g_lib.initTried) {
        g_lib.initTried = true;
        if (FT_Init_FreeType(&g_lib.library) != 0) g_lib.library = nullptr;
    }
    return g_lib.library;
}

// Picks the character map the text is looked up in: Unicode, or failing
// that a symbol map (where the font's characters sit at 0xF000 + byte).
void SelectCharMap(FT_Face face) {
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0) return;
    FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL);
}

// The face of a font file (face 0 of the file), opened on first use.
FT_Face OpenFace(const std::string& path) {
    for (const FaceFile& f : g_lib.files)
        if (f.path == path) return f.face;
    FT_Library lib = Library();
    if (!lib) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path.c_str(), 0, &face) != 0) {
        face = nullptr;
    } else if (!FT_IS_SCALABLE(face)) {
        // Only outline fonts can be sized to any height.
        FT_Done_Face(face);
        face = nullptr;
    } else {
        SelectCharMap(face);
    }
    g_lib.files.push_back({path, face});
    return face;
}

bool FileExists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool SameNameIgnoringCase(const char* a, const char* b) {
    if (!a || !b) return false;
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// How well a face of the wanted family suits the request; higher is better.
// Slant matters most, then boldness, then a normal width, then how close
// the face's weight class is to the weight asked for.
int StyleScore(FT_Face face, bool bold, bool italic, int weight) {
    int score = 0;
    if (((face->style_flags & FT_STYLE_FLAG_ITALIC) != 0) == italic) score += 8000;
    if (((face->style_flags & FT_STYLE_FLAG_BOLD) != 0) == bold) score += 4000;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF) {
        if (os2->usWidthClass == 5) score += 2000;  // 5 = normal width
        score -= std::abs(static_cast<int>(os2->usWeightClass) - weight);
    }
    return score;
}

// The registered face of the family that suits best (the first registered
// wins a tie), or null.
FT_Face FindFamily(const char* family, bool bold, bool italic, int weight) {
    FT_Face best = nullptr;
    int bestScore = INT_MIN;
    for (const std::string& path : FontFiles()) {
        FT_Face face = OpenFace(path);
        if (!face || !SameNameIgnoringCase(face->family_name, family)) continue;
        int score = StyleScore(face, bold, italic, weight);
        if (score > bestScore) {
            best = face;
            bestScore = score;
        }
    }
    return best;
}

// The face used when the family asked for is not registered: the first
// registered font that opens, else the system's sans-serif font.
FT_Face DefaultFace(bool bold) {
    for (const std::string& path : FontFiles())
        if (FT_Face face = OpenFace(path)) return face;
    if (bold && FileExists(kSystemBoldFont))
        if (FT_Face face = OpenFace(kSystemBoldFont)) return face;
    if (FileExists(kSystemFont)) return OpenFace(kSystemFont);
    return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------

// One byte's glyph at the font's size, rendered 1 bit per pixel and kept
// unpacked (one byte, 0 or 1, per pixel) for simple drawing.
struct Glyph {
    bool loaded = false;
    int left = 0, top = 0;    // bitmap offset from the pen: right, and up from the baseline
    int width = 0, rows = 0;  // bitmap size in pixels
    int advance = 0;          // whole pixels to the next pen position
    std::vector<uint8_t> bits;
};

// The glyphs of one face at one em size and synthesised style, with the
// FreeType size object they are rendered at; shared by every font of that
// face, size and style, and kept for the life of the process.
struct GlyphSet {
    FT_Face face;
    int em;
    bool embolden, shear;
    FT_Size size;
    std::array<Glyph, 256> glyphs;
};

struct Font {
    FT_Face face;      // shared, owned by the file cache
    GlyphSet* glyphs;  // shared, owned by the glyph set cache
    int em;            // pixels per em
    int ascent;    // pixels from the cell top to the baseline
    int descent;   // pixels from the baseline to the cell bottom
    bool embolden, shear, underline, strikeOut;
    int lineThickness;  // underline and strike-out thickness, pixels
    int underlineTop;   // underline top row, pixels below the baseline
    int strikeTop;      // strike-out top row, pixels above the baseline
};

namespace {

constexpr int kDefaultCellHeight = 16;
constexpr int kMaxEm = 1024;  // keeps bitmaps of absurd heights bounded
// Shear of a synthesised italic: x += 0.2126 * y (16.16 fixed point), the
// slant of the usual oblique faces.
constexpr FT_Fixed kItalicShear = 0x0366A;

long long RoundDiv(long long num, long long den) {
    return (num + den / 2) / den;
}

// Sets the em size, the cell's ascent and descent in pixels.  A positive
// height is the cell height: the em is chosen so ascender - descender comes
// closest to it and the cell keeps exactly that height.  A negative height
// is the em itself, the cell following from the font's metrics.
void SetHeight(Font* font, int height) {
    FT_Face face = font->face;
    long long upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    long long asc = face->ascender, desc = -static_cast<long long>(face->descender);
    if (asc <= 0 || asc + desc <= 0) {
        asc = upem * 4 / 5;
        desc = upem - asc;
    }
    if (height == 0) height = kDefaultCellHeight;
    long long em;
    if (height > 0) {
        long long cell = std::min<long long>(height, kMaxEm);
        em = RoundDiv(cell * upem, asc + desc);
        font->ascent = static_cast<int>(RoundDiv(cell * asc, asc + desc));
        font->descent = static_cast<int>(cell - font->ascent);
    } else {
        em = std::min<long long>(-static_cast<long long>(height), kMaxEm);
        font->ascent = static_cast<int>(RoundDiv(em * asc, upem));
        font->descent = static_cast<int>(RoundDiv(em * desc, upem));
    }
    font->em = static_cast<int>(std::clamp<long long>(em, 1, kMaxEm));
}

// Underline at the face's underline position and thickness; strike-out a
// third of the ascent above the baseline.  Both stay inside the cell.
void SetLines(Font* font) {
    FT_Face face = font->face;
    long long upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    int thick = static_cast<int>(RoundDiv(static_cast<long long>(face->underline_thickness) * font->em, upem));
    font->lineThickness = std::max(1, thick);
    // underline_position is the line's centre, negative below the baseline.
    int centre = static_cast<int>(RoundDiv(-static_cast<long long>(face->underline_position) * font->em, upem));
    int top = std::max(1, centre) - font->lineThickness / 2;
    top = std::min(top, font->descent - font->lineThickness);
    font->underlineTop = std::max(0, top);
    font->strikeTop = std::max(1, font->ascent / 3) + font->lineThickness / 2;
}

std::vector<std::unique_ptr<GlyphSet>> g_glyphSets;

// The glyph set of the face at the size and style, made on first use; null
// when FreeType cannot size the face.
GlyphSet* FindGlyphSet(FT_Face face, int em, bool embolden, bool shear) {
    for (const auto& set : g_glyphSets)
        if (set->face == face && set->em == em && set->embolden == embolden && set->shear == shear) return set.get();
    auto set = std::make_unique<GlyphSet>();
    *set = GlyphSet{face, em, embolden, shear, nullptr, {}};
    if (FT_New_Size(face, &set->size) != 0) return nullptr;
    FT_Activate_Size(set->size);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em)) != 0) {
        FT_Done_Size(set->size);
        return nullptr;
    }
    g_glyphSets.push_back(std::move(set));
    return g_glyphSets.back().get();
}

}  // namespace

Font* CreateFont(int height, int weight, bool italic, bool underline, bool strikeOut, const char* face) {
    if (weight <= 0) weight = FW_NORMAL;
    // From semi-bold up a face is drawn bold.
    bool bold = weight >= 600;
    FT_Face ftFace = face && *face ? FindFamily(face, bold, italic, weight) : nullptr;
    if (!ftFace) ftFace = DefaultFace(bold);
    if (!ftFace) return nullptr;

    Font* font = new Font();
    font->face = ftFace;
    font->embolden = bold && !(ftFace->style_flags & FT_STYLE_FLAG_BOLD);
    font->shear = italic && !(ftFace->style_flags & FT_STYLE_FLAG_ITALIC);
    font->underline = underline;
    font->strikeOut = strikeOut;
    SetHeight(font, height);
    SetLines(font);
    font->glyphs = FindGlyphSet(ftFace, font->em, font->embolden, font->shear);
    if (!font->glyphs) {
        delete font;
        return nullptr;
    }
    return font;
}

void DeleteFont(Font* font) {
    delete font;
}

std::string FontFaceName(const Font* font) {
    if (!font || !font->face->family_name) return std::string();
    return font->face->family_name;
}

namespace {

// Windows-1252 bytes 0x80..0x9F as Unicode; the five unassigned bytes keep
// their own value.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

FT_UInt GlyphIndex(FT_Face face, uint8_t byte) {
    if (face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL)
        return FT_Get_Char_Index(face, 0xF000u + byte);
    FT_ULong code = byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : byte;
    return FT_Get_Char_Index(face, code);
}

// Widens the outline by about a 24th of the em (at least a pixel), across
// only, so the glyph keeps its height and stays inside the cell; the
// advance grows by the same amount.  Answers the extra width in 26.6.
FT_Pos EmboldenOutline(FT_GlyphSlot slot, int em) {
    FT_Pos strength = std::max<FT_Pos>(64, static_cast<FT_Pos>(em) * 64 / 24);
    FT_Outline_EmboldenXY(&slot->outline, strength, 0);
    // Emboldening grows the outline on both sides; move it back right so
    // the left side bearing is kept.
    FT_Outline_Translate(&slot->outline, strength / 2, 0);
    return strength;
}

// Copies a rendered bitmap (1-bit or 8-bit grey) into the glyph as 0/1 bytes.
void CopyBitmap(const FT_Bitmap& bm, Glyph* g) {
    g->width = static_cast<int>(bm.width);
    g->rows = static_cast<int>(bm.rows);
    g->bits.assign(static_cast<size_t>(g->width) * g->rows, 0);
    for (int r = 0; r < g->rows; ++r) {
        // A negative pitch means the bottom row comes first in memory.
        int memRow = bm.pitch >= 0 ? r : g->rows - 1 - r;
        const uint8_t* src = bm.buffer + static_cast<ptrdiff_t>(memRow) * std::abs(bm.pitch);
        for (int c = 0; c < g->width; ++c) {
            bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (src[c >> 3] >> (7 - (c & 7))) & 1
                                                          : src[c] >= 128;
            g->bits[static_cast<size_t>(r) * g->width + c] = on ? 1 : 0;
        }
    }
}

// Loads and renders one glyph at the font's size with its synthesised
// styles.  A glyph FreeType cannot load stays empty with no advance.
void LoadGlyph(Font* font, uint8_t byte, Glyph* g) {
    g->loaded = true;
    FT_Face face = font->face;
    // The size and transform belong to the face, which other fonts share.
    FT_Activate_Size(font->glyphs->size);
    FT_Matrix shear = {0x10000, font->shear ? kItalicShear : 0, 0, 0x10000};
    FT_Set_Transform(face, &shear, nullptr);
    FT_Int32 flags = FT_LOAD_TARGET_MONO;
    // Embedded bitmaps cannot be slanted or thickened.
    if (font->embolden || font->shear) flags |= FT_LOAD_NO_BITMAP;
    FT_Error err = FT_Load_Glyph(face, GlyphIndex(face, byte), flags);
    FT_Set_Transform(face, nullptr, nullptr);
    if (err != 0) return;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos advance = slot->advance.x;
    if (font->embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) advance += EmboldenOutline(slot, font->em);
    g->advance = static_cast<int>((advance + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return;
    g->left = slot->bitmap_left;
    g->top = slot->bitmap_top;
    CopyBitmap(slot->bitmap, g);
}

const Glyph& GetGlyph(Font* font, uint8_t byte) {
    Glyph& g = font->glyphs->glyphs[byte];
    if (!g.loaded) LoadGlyph(font, byte, &g);
    return g;
}

// Width of the text in whole pixels (64-bit: long strings of wide glyphs).
long long TextWidth(Font* font, const char* text, int count) {
    long long width = 0;
    for (int i = 0; i < count; ++i) width += GetGlyph(font, static_cast<uint8_t>(text[i])).advance;
    return width;
}

// ---------------------------------------------------------------------------
// Pixels
// ---------------------------------------------------------------------------

int BytesPerPixel(uint32_t bits) {
    switch (bits) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
    }
}

// An 8-bit channel scaled into a mask: the top bits of the channel when the
// mask is at most 8 bits wide, else the channel stretched over the mask.
uint32_t PackChannel(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = __builtin_ctz(mask);
    int width = __builtin_popcount(mask);
    uint32_t field = width <= 8 ? value >> (8 - width)
                                : static_cast<uint32_t>((static_cast<uint64_t>(value) * ((1ull << width) - 1) + 127) / 255);
    return (field << shift) & mask;
}

// The palette index nearest the colour by squared RGB distance (the lowest
// index wins a tie).  Without a palette: 255 for light colours, else 0.
uint32_t NearestIndex(const uint8_t* palette, uint32_t r, uint32_t g, uint32_t b) {
    if (!palette) return r + g + b >= 3 * 128 ? 255 : 0;
    uint32_t best = 0, bestDist = UINT32_MAX;
    for (uint32_t i = 0; i < 256; ++i) {
        const uint8_t* e = palette + i * 4;
        int dr = e[0] - static_cast<int>(r), dg = e[1] - static_cast<int>(g), db = e[2] - static_cast<int>(b);
        uint32_t dist = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
        if (dist < bestDist) {
            best = i;
            bestDist = dist;
        }
    }
    return best;
}

// A COLORREF as the target's pixel value.  24-bit pixels are blue, green,
// red in memory whatever the masks; an alpha channel is set opaque.
uint32_t PackColour(const PixelTarget& t, uint32_t colour) {
    uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    if (t.format.bits == 8) return NearestIndex(t.palette, r, g, b);
    if (t.format.bits == 24) return b | g << 8 | r << 16;
    PixelFormat f = t.format;
    if ((f.redMask | f.greenMask | f.blueMask) == 0) {
        // No masks given: the usual layout for the depth.
        f = f.bits == 32 ? PixelFormat{32, 0xFF0000, 0xFF00, 0xFF, 0} : f.bits == 15 ? kFormat555 : kFormat565;
    }
    return PackChannel(r, f.redMask) | PackChannel(g, f.greenMask) | PackChannel(b, f.blueMask) | f.alphaMask;
}

uint8_t* PixelAddress(const PixelTarget& t, int x, int y) {
    return t.pixels + static_cast<ptrdiff_t>(y) * t.pitch + static_cast<ptrdiff_t>(x) * BytesPerPixel(t.format.bits);
}

void StorePixel(uint8_t* p, int bytes, uint32_t value) {
    switch (bytes) {
    case 1: *p = static_cast<uint8_t>(value); break;
    case 2: {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(p, &v, 2);
        break;
    }
    case 3:
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>(value >> 8);
        p[2] = static_cast<uint8_t>(value >> 16);
        break;
    default: std::memcpy(p, &value, 4); break;
    }
}

// Pixels [x0, x1) x [y0, y1); 64-bit so text placed far off the buffer
// cannot overflow.
struct Box {
    long long x0, y0, x1, y1;
};

Box Intersect(const Box& a, const Box& b) {
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

// Fills `r`, which lies inside the buffer.
void FillRect(const PixelTarget& t, const Box& r, uint32_t value) {
    int bytes = BytesPerPixel(t.format.bits);
    for (long long y = r.y0; y < r.y1; ++y)
        for (long long x = r.x0; x < r.x1; ++x)
            StorePixel(PixelAddress(t, static_cast<int>(x), static_cast<int>(y)), bytes, value);
}

// Draws a glyph's set pixels with its pen at (penX, baseline), keeping to
// `clip` (which lies inside the buffer).
void DrawGlyph(const PixelTarget& t, const Glyph& g, long long penX, long long baseline, const Box& clip,
               uint32_t value) {
    int bytes = BytesPerPixel(t.format.bits);
    long long left = penX + g.left, top = baseline - g.top;
    for (int r = 0; r < g.rows; ++r) {
        long long y = top + r;
        if (y < clip.y0 || y >= clip.y1) continue;
        for (int c = 0; c < g.width; ++c) {
            long long x = left + c;
            if (x < clip.x0 || x >= clip.x1 || !g.bits[static_cast<size_t>(r) * g.width + c]) continue;
            StorePixel(PixelAddress(t, static_cast<int>(x), static_cast<int>(y)), bytes, value);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------

struct DC {
    PixelTarget target;
    Font* selected = nullptr;
    Font* stock = nullptr;  // made on first use when no font is selected
    int bkMode = OPAQUE;
    uint32_t textColour = 0;
};

namespace {

// The selected font, else the context's own default font.
Font* ActiveFont(DC* dc) {
    if (dc->selected) return dc->selected;
    if (!dc->stock) dc->stock = CreateFont(0, FW_NORMAL, false, false, false, nullptr);
    return dc->stock;
}

}  // namespace

DC* CreatePixelDC(const PixelTarget& target) {
    if (BytesPerPixel(target.format.bits) == 0 || target.width < 0 || target.height < 0) return nullptr;
    if (!target.pixels && target.width > 0 && target.height > 0) return nullptr;
    DC* dc = new DC();
    dc->target = target;
    return dc;
}

void DeletePixelDC(DC* dc) {
    if (!dc) return;
    DeleteFont(dc->stock);
    delete dc;
}

Font* SelectFont(DC* dc, Font* font) {
    if (!dc) return nullptr;
    Font* previous = dc->selected;
    dc->selected = font;
    return previous;
}

// Answers the previous mode, or 0 (and changes nothing) for an unknown one.
int SetBkMode(DC* dc, int mode) {
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

uint32_t SetTextColor(DC* dc, uint32_t colour) {
    if (!dc) return 0xFFFFFFFFu;  // the invalid colour
    uint32_t previous = dc->textColour;
    dc->textColour = colour & 0xFFFFFF;
    return previous;
}

bool GetTextExtentPoint32(DC* dc, const char* text, int count, Size* size) {
    if (!dc || !size || count < 0 || (!text && count > 0)) return false;
    Font* font = ActiveFont(dc);
    if (!font) return false;
    long long width = TextWidth(font, text, count);
    size->cx = static_cast<int32_t>(std::min<long long>(width, INT32_MAX));
    size->cy = font->ascent + font->descent;
    return true;
}

bool TextOut(DC* dc, int x, int y, const char* text, int count) {
    if (!dc || count < 0 || (!text && count > 0)) return false;
    // Every text asked for is logged, whether a font can draw it or not;
    // in a window, with MORVANEL_TRACE set, it goes to the run trace as the
    // headless host's log puts it there.
    if (CurrentBackend() == BackendKind::Headless) {
        detail::RecordTextOut(x, y, dc->textColour, text, count);
    } else {
        static const bool trace = std::getenv("MORVANEL_TRACE") != nullptr;
        if (trace) std::fprintf(stderr, "trace: Text %d %d %.*s\n", x, y, count, text ? text : "");
    }
    Font* font = ActiveFont(dc);
    if (!font) return false;
    const PixelTarget& t = dc->target;
    long long width = TextWidth(font, text, count);
    long long baseline = static_cast<long long>(y) + font->ascent;
    Box cell = {x, y, x + width, baseline + font->descent};
    // Glyph pixels stay inside the cell's rows, so the cell a caller
    // measured is all the text ever touches vertically.
    Box clip = Intersect({0, y, t.width, cell.y1}, {0, 0, t.width, t.height});
    if (dc->bkMode == OPAQUE) FillRect(t, Intersect(cell, clip), PackColour(t, 0));
    uint32_t value = PackColour(t, dc->textColour);
    long long pen = x;
    for (int i = 0; i < count; ++i) {
        const Glyph& g = GetGlyph(font, static_cast<uint8_t>(text[i]));
        DrawGlyph(t, g, pen, baseline, clip, value);
        pen += g.advance;
    }
    int thick = font->lineThickness;
    if (font->underline) {
        long long top = baseline + font->underlineTop;
        FillRect(t, Intersect({x, top, x + width, top + thick}, clip), value);
    }
    if (font->strikeOut) {
        long long top = baseline - font->strikeTop;
        FillRect(t, Intersect({x, top, x + width, top + thick}, clip), value);
    }
    return true;
}

}  // namespace host
