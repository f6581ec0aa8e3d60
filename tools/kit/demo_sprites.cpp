// The demo sprite sheets and bitmap fonts.
#include "tools/kit/demo_sprites.h"

#include "tools/kit/bitmap_font.h"

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

// A glyph of the kit's font as a grid of set pixels.
struct Grid {
    int width, height;
    std::vector<uint8_t> cells;
    Grid(int w, int h) : width(w), height(h), cells(size_t(w) * h, 0) {}
    uint8_t At(int x, int y) const {
        return (x < 0 || y < 0 || x >= width || y >= height) ? 0 : cells[size_t(y) * width + x];
    }
    void Put(int x, int y, uint8_t v) {
        if (x >= 0 && y >= 0 && x < width && y < height) cells[size_t(y) * width + x] = v;
    }
};

Grid Base(char c) {
    Grid g(kGlyphWidth, kGlyphHeight);
    for (int y = 0; y < kGlyphHeight; ++y)
        for (int x = 0; x < kGlyphWidth; ++x) g.Put(x, y, GlyphPixel(c, x, y) ? kFontInk : kFontClear);
    return g;
}

// Each set pixel also sets the pixel to its right.
Grid Thicken(const Grid& g) {
    Grid out(g.width + 1, g.height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < out.width; ++x) out.Put(x, y, std::max(g.At(x, y), g.At(x - 1, y)));
    return out;
}

// Doubling with the corners filled where two set neighbours meet, so
// diagonals come out smooth.
Grid Smooth2x(const Grid& g) {
    Grid out(g.width * 2, g.height * 2);
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            uint8_t p = g.At(x, y), up = g.At(x, y - 1), right = g.At(x + 1, y), left = g.At(x - 1, y),
                    down = g.At(x, y + 1);
            uint8_t q[4] = {p, p, p, p};
            if (left == up && left != down && up != right) q[0] = up;
            if (up == right && up != left && right != down) q[1] = right;
            if (down == left && down != right && left != up) q[2] = left;
            if (right == down && right != up && down != left) q[3] = down;
            out.Put(2 * x, 2 * y, q[0]);
            out.Put(2 * x + 1, 2 * y, q[1]);
            out.Put(2 * x, 2 * y + 1, q[2]);
            out.Put(2 * x + 1, 2 * y + 1, q[3]);
        }
    }
    return out;
}

Grid Double(const Grid& g) {
    Grid out(g.width * 2, g.height * 2);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) out.Put(x, y, g.At(x / 2, y / 2));
    return out;
}

// Seven rows stretched to ten: rows 1, 3 and 5 are doubled.
Grid TenRows(const Grid& g) {
    static const int kRow[10] = {0, 1, 1, 2, 3, 3, 4, 5, 5, 6};
    Grid out(g.width, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < g.width; ++x) out.Put(x, y, g.At(x, kRow[y]));
    return out;
}

// A grey copy one pixel down and right, under the ink.
Grid Shadowed(const Grid& g) {
    Grid out(g.width + 1, g.height + 1);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.At(x, y)) out.Put(x + 1, y + 1, kFontShadow);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.At(x, y)) out.Put(x, y, kFontInk);
    return out;
}

// The columns from the first to the last that hold anything.
FontGlyphImage Trim(const Grid& g) {
    int first = g.width, last = -1;
    for (int x = 0; x < g.width; ++x)
        for (int y = 0; y < g.height; ++y)
            if (g.At(x, y)) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    if (last < 0) first = last = 0;
    FontGlyphImage glyph;
    glyph.width = last - first + 1;
    glyph.height = g.height;
    for (int y = 0; y < g.height; ++y)
        for (int x = first; x <= last; ++x) glyph.pixels.push_back(g.At(x, y));
    return glyph;
}

// An 8-bit sheet with the painting the sprites need.
struct Sheet {
    Image image;
    explicit Sheet(int w, int h) : image(MakeImage(w, h, 8)) {}
    void Colour(int index, int r, int g, int b) {
        image.palette[size_t(index) * 3] = uint8_t(r);
        image.palette[size_t(index) * 3 + 1] = uint8_t(g);
        image.palette[size_t(index) * 3 + 2] = uint8_t(b);
    }
    // Entries first..first + count - 1 from one colour to another.
    void Ramp(int first, int count, const int from[3], const int to[3]) {
        for (int i = 0; i < count; ++i)
            Colour(first + i, from[0] + (to[0] - from[0]) * i / (count - 1), from[1] + (to[1] - from[1]) * i / (count - 1),
                   from[2] + (to[2] - from[2]) * i / (count - 1));
    }
    void Set(int x, int y, int v) {
        if (x >= 0 && y >= 0 && x < image.width && y < image.height)
            image.pixels[size_t(y) * image.width + x] = uint8_t(v);
    }
    void Fill(int x0, int y0, int x1, int y1, int v) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) Set(x, y, v);
    }
    // A raised panel: light top and left edges, dark bottom and right.
    void Panel(int x0, int y0, int x1, int y1, int face, int light, int dark) {
        Fill(x0, y0, x1, y1, face);
        Fill(x0, y0, x1, y0 + 1, light);
        Fill(x0, y0, x0 + 1, y1, light);
        Fill(x0, y1 - 1, x1, y1, dark);
        Fill(x1 - 1, y0, x1, y1, dark);
    }
    void Disc(double cx, double cy, double r, int v) {
        for (int y = int(cy - r) - 1; y <= int(cy + r) + 1; ++y)
            for (int x = int(cx - r) - 1; x <= int(cx + r) + 1; ++x)
                if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= r * r) Set(x, y, v);
    }
    void Text(const std::string& text, int x, int y, int scale, int v) {
        for (size_t i = 0; i < text.size(); ++i)
            for (int gy = 0; gy < kGlyphHeight; ++gy)
                for (int gx = 0; gx < kGlyphWidth; ++gx)
                    if (GlyphPixel(text[i], gx, gy))
                        Fill(x + (int(i) * (kGlyphWidth + 1) + gx) * scale, y + gy * scale,
                             x + (int(i) * (kGlyphWidth + 1) + gx + 1) * scale - 1, y + (gy + 1) * scale - 1, v);
    }
    static int TextWidth(const std::string& text, int scale) {
        return text.empty() ? 0 : (int(text.size()) * (kGlyphWidth + 1) - 1) * scale;
    }
};

SpriteRect Rect(int x, int y, int w, int h) {
    return {int16_t(x), int16_t(y), int16_t(x + w - 1), int16_t(y + h - 1)};
}

// The icon shapes: disc, diamond, triangle, cross, square, ring, star.
void Shape(Sheet* s, int kind, int cx, int cy, int r, int v) {
    for (int y = cy - r; y <= cy + r; ++y) {
        for (int x = cx - r; x <= cx + r; ++x) {
            int dx = x - cx, dy = y - cy;
            double d = std::sqrt(double(dx * dx + dy * dy));
            bool in = false;
            switch (kind % 7) {
            case 0: in = d <= r - 0.5; break;
            case 1: in = std::abs(dx) + std::abs(dy) <= r; break;
            case 2: in = std::abs(dx) * 2 <= dy + r; break;
            case 3: in = std::abs(dx) <= r / 3 || std::abs(dy) <= r / 3; break;
            case 4: in = std::abs(dx) <= r * 3 / 4 && std::abs(dy) <= r * 3 / 4; break;
            case 5: in = d <= r - 0.5 && d >= r * 0.55; break;
            case 6: in = std::abs(dx) + std::abs(dy) <= r / 2 || std::abs(dx) <= 1 || std::abs(dy) <= 1 ||
                         std::abs(std::abs(dx) - std::abs(dy)) <= 1;
                break;
            }
            if (in) s->Set(x, y, v);
        }
    }
}

void AddMembers(std::vector<ArchiveMember>* members, const std::string& name, const SpriteSheet& sheet) {
    members->push_back({".\\menus\\" + name + ".png", EncodePng(sheet.image)});
    members->push_back({".\\menus\\" + name + ".spc", SpriteListBytes(sheet.rects)});
}

}  // namespace

FontGlyphImage StyledGlyph(FontStyle style, char c) {
    Grid g = Base(c);
    switch (style) {
    case FontStyle::Bold: return Trim(TenRows(Thicken(g)));
    case FontStyle::Roman: return Trim(Smooth2x(g));
    case FontStyle::Stone: return Trim(Shadowed(Double(Thicken(g))));
    }
    return Trim(g);
}

SpriteSheet FontSheet(FontStyle style) {
    constexpr int kPerRow = 16, kGlyphs = 94;
    std::vector<FontGlyphImage> glyphs;
    int cellWidth = 0, cellHeight = 0;
    for (int i = 0; i < kGlyphs; ++i) {
        glyphs.push_back(StyledGlyph(style, char(33 + i)));
        cellWidth = std::max(cellWidth, glyphs.back().width);
        cellHeight = std::max(cellHeight, glyphs.back().height);
    }
    // One clear pixel between cells, so no cut can take a neighbour's ink.
    const int rows = (kGlyphs + kPerRow - 1) / kPerRow;
    Sheet s(kPerRow * (cellWidth + 1), rows * (cellHeight + 1));
    s.Colour(kFontInk, 255, 255, 255);
    s.Colour(kFontShadow, 72, 64, 60);
    SpriteSheet sheet;
    for (int i = 0; i < kGlyphs; ++i) {
        const FontGlyphImage& g = glyphs[size_t(i)];
        int left = (i % kPerRow) * (cellWidth + 1), top = (i / kPerRow) * (cellHeight + 1);
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) s.Set(left + x, top + y, g.pixels[size_t(y) * g.width + x]);
        sheet.rects.push_back(Rect(left, top, g.width, g.height));
    }
    sheet.image = std::move(s.image);
    return sheet;
}

SpriteSheet DemoConsoleTabs(bool small) {
    const int kWidth = small ? 70 : 88, kHeight = small ? 32 : 40;
    Sheet s(kWidth * 3, kHeight * 2);
    const int dark[3] = {10, 14, 40}, light[3] = {120, 150, 220}, dim[3] = {90, 60, 10}, gold[3] = {250, 214, 110};
    s.Ramp(1, 64, dark, light);
    s.Ramp(128, 32, dim, gold);
    s.Colour(255, 255, 255, 255);
    SpriteSheet sheet;
    for (int i = 0; i < 6; ++i) {
        int x = (i % 3) * kWidth, y = (i / 3) * kHeight;
        s.Panel(x, y, x + kWidth - 1, y + kHeight - 1, 24 + i * 3, 60, 6);
        std::string label = "PAGE " + std::to_string(i + 1);
        s.Text(label, x + (kWidth - Sheet::TextWidth(label, 1)) / 2 + 1, y + 17, 1, 128);
        s.Text(label, x + (kWidth - Sheet::TextWidth(label, 1)) / 2, y + 16, 1, 159);
        sheet.rects.push_back(Rect(x, y, kWidth, kHeight));
    }
    sheet.image = std::move(s.image);
    return sheet;
}

SpriteSheet DemoPageSprites() {
    Sheet s(64, 16);
    s.Colour(1, 230, 40, 40);
    s.Colour(2, 60, 220, 90);
    s.Colour(3, 240, 240, 120);
    s.Colour(4, 150, 170, 210);
    s.Colour(255, 255, 255, 255);
    SpriteSheet sheet;
    // Markers 0 to 2, 8 x 8: a red disc, a green ring, a yellow cross.
    s.Disc(4, 4, 3.6, 1);
    sheet.rects.push_back(Rect(0, 0, 8, 8));
    s.Disc(12, 4, 3.6, 2);
    s.Disc(12, 4, 2.0, 0);
    sheet.rects.push_back(Rect(8, 0, 8, 8));
    for (int i = 0; i < 8; ++i) {
        s.Set(16 + i, i, 3);
        s.Set(16 + 7 - i, i, 3);
    }
    sheet.rects.push_back(Rect(16, 0, 8, 8));
    // Scroll arrows, 16 x 8, up then down.
    for (int y = 0; y < 8; ++y) {
        s.Fill(32 + 7 - y, y, 32 + 8 + y, y, 4);
        s.Fill(48 + y, y, 48 + 15 - y, y, 4);
    }
    sheet.rects.push_back(Rect(32, 0, 16, 8));
    sheet.rects.push_back(Rect(48, 0, 16, 8));
    sheet.image = std::move(s.image);
    return sheet;
}

SpriteSheet DemoPowerIcons(bool lit) {
    constexpr int kSize = 32, kPerRow = 7;
    Sheet s(kSize * kPerRow, kSize * 3);
    // Spells blue, weapons red; the lit sheet is brighter throughout.
    const int k = lit ? 1 : 0;
    const int spellDark[3] = {8, 12, 30 + 40 * k}, spellLight[3] = {60 + 80 * k, 90 + 100 * k, 140 + 110 * k};
    const int weaponDark[3] = {30 + 40 * k, 8, 8}, weaponLight[3] = {140 + 110 * k, 70 + 90 * k, 40 + 60 * k};
    s.Ramp(1, 32, spellDark, spellLight);
    s.Ramp(64, 32, weaponDark, weaponLight);
    s.Colour(200, lit ? 255 : 120, lit ? 255 : 120, lit ? 230 : 110);
    s.Colour(255, 255, 255, 255);
    SpriteSheet sheet;
    for (int i = 0; i < 21; ++i) {
        int x = (i % kPerRow) * kSize, y = (i / kPerRow) * kSize;
        bool spell = i < 7;
        int base = spell ? 1 : 64;
        s.Panel(x, y, x + kSize - 1, y + kSize - 1, base + 12, base + 28, base + 2);
        Shape(&s, spell ? i : i - 7, x + 16, y + 15, 10, 200);
        if (!spell && i >= 14) s.Fill(x + 5, y + 26, x + 26, y + 27, 200);  // the second row of weapons
        sheet.rects.push_back(Rect(x, y, kSize, kSize));
    }
    sheet.image = std::move(s.image);
    return sheet;
}

std::vector<ArchiveMember> DemoSpriteMembers(const std::string& archiveFolder) {
    std::vector<ArchiveMember> members;
    if (archiveFolder != "game") return members;
    AddMembers(&members, "consol2", DemoConsoleTabs());
    AddMembers(&members, "console2", DemoConsoleTabs(true));
    AddMembers(&members, "page", DemoPageSprites());
    AddMembers(&members, "iconoff", DemoPowerIcons(false));
    AddMembers(&members, "iconon", DemoPowerIcons(true));
    AddMembers(&members, "fnt10br", FontSheet(FontStyle::Bold));
    AddMembers(&members, "roman", FontSheet(FontStyle::Roman));
    AddMembers(&members, "bedrock", FontSheet(FontStyle::Stone));
    return members;
}

}  // namespace kit
