// The demo pictures: gradients, discs, rings and text in the kit's font.
#include "tools/kit/demo_pictures.h"

#include "tools/kit/bitmap_font.h"
#include "tools/kit/mission_writer.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace kit {

namespace {

int Clamp(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// A fixed sequence of pseudo-random numbers, so the pictures never change.
struct Sequence {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

void Stars(Canvas* c, uint32_t seed, int count, int maxY) {
    Sequence s{seed};
    for (int i = 0; i < count; ++i) {
        int x = int(s.Next() % uint32_t(c->Width()));
        int y = int(s.Next() % uint32_t(maxY));
        int v = 120 + int(s.Next() % 136u);
        c->Set(x, y, v, v, v);
    }
}

}  // namespace

Canvas::Canvas(int width, int height) : width_(width), height_(height), rgb_(size_t(width) * height * 3, 0) {}

void Canvas::Set(int x, int y, int r, int g, int b) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* p = rgb_.data() + (size_t(y) * width_ + x) * 3;
    p[0] = uint8_t(Clamp(r));
    p[1] = uint8_t(Clamp(g));
    p[2] = uint8_t(Clamp(b));
}

void Canvas::Blend(int x, int y, const int rgb[3], int coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0) return;
    if (coverage > 255) coverage = 255;
    uint8_t* p = rgb_.data() + (size_t(y) * width_ + x) * 3;
    for (int c = 0; c < 3; ++c) p[c] = uint8_t((rgb[c] * coverage + p[c] * (255 - coverage) + 127) / 255);
}

void Canvas::VerticalGradient(const int top[3], const int bottom[3]) {
    for (int y = 0; y < height_; ++y) {
        int v[3];
        for (int c = 0; c < 3; ++c) v[c] = top[c] + (bottom[c] - top[c]) * y / (height_ > 1 ? height_ - 1 : 1);
        for (int x = 0; x < width_; ++x) Set(x, y, v[0], v[1], v[2]);
    }
}

void Canvas::FillRect(int x0, int y0, int x1, int y1, const int rgb[3]) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) Set(x, y, rgb[0], rgb[1], rgb[2]);
}

void Canvas::Disc(int cx, int cy, int radius, const int rgb[3]) {
    for (int y = cy - radius - 1; y <= cy + radius + 1; ++y) {
        for (int x = cx - radius - 1; x <= cx + radius + 1; ++x) {
            double d = std::sqrt(double(x - cx) * (x - cx) + double(y - cy) * (y - cy));
            Blend(x, y, rgb, int((radius + 0.5 - d) * 255.0));
        }
    }
}

void Canvas::Ring(int cx, int cy, int radius, int thickness, const int rgb[3]) {
    double inner = radius - thickness;
    for (int y = cy - radius - 1; y <= cy + radius + 1; ++y) {
        for (int x = cx - radius - 1; x <= cx + radius + 1; ++x) {
            double d = std::sqrt(double(x - cx) * (x - cx) + double(y - cy) * (y - cy));
            double outside = (radius + 0.5 - d), inside = (d - inner + 0.5);
            double cover = outside < inside ? outside : inside;
            Blend(x, y, rgb, int(cover * 255.0));
        }
    }
}

void Canvas::Text(const std::string& text, int x, int y, int scale, const int rgb[3]) {
    for (size_t i = 0; i < text.size(); ++i) {
        int left = x + int(i) * (kGlyphWidth + 1) * scale;
        for (int gy = 0; gy < kGlyphHeight; ++gy)
            for (int gx = 0; gx < kGlyphWidth; ++gx)
                if (GlyphPixel(text[i], gx, gy))
                    FillRect(left + gx * scale, y + gy * scale, left + (gx + 1) * scale - 1, y + (gy + 1) * scale - 1, rgb);
    }
}

int Canvas::TextWidth(const std::string& text, int scale) {
    return text.empty() ? 0 : (int(text.size()) * (kGlyphWidth + 1) - 1) * scale;
}

void Canvas::CentredText(const std::string& text, int cx, int y, int scale, const int rgb[3], const int shadow[3]) {
    int x = cx - TextWidth(text, scale) / 2;
    int offset = scale / 3 > 0 ? scale / 3 : 1;
    Text(text, x + offset, y + offset, scale, shadow);
    Text(text, x, y, scale, rgb);
}

Image Canvas::ToImage() const {
    Image image;
    image.width = width_;
    image.height = height_;
    image.bits = 24;
    image.pixels = rgb_;
    return image;
}

Image DemoLogo() {
    Canvas c(640, 480);
    const int top[3] = {8, 16, 56}, bottom[3] = {64, 12, 72};
    c.VerticalGradient(top, bottom);
    Stars(&c, 11, 240, 480);
    const int glow[3] = {30, 60, 120}, disc[3] = {12, 40, 70}, gold[3] = {236, 196, 84}, pale[3] = {150, 210, 230};
    c.Disc(320, 210, 170, glow);
    c.Disc(320, 210, 150, disc);
    c.Ring(320, 210, 160, 8, gold);
    c.Ring(320, 210, 136, 3, pale);
    const int shadow[3] = {0, 0, 0}, white[3] = {245, 245, 245}, grey[3] = {170, 180, 200};
    c.CentredText("MORVANEL", 320, 178, 9, gold, shadow);
    c.CentredText("DEMO DATA", 320, 400, 4, white, shadow);
    c.CentredText("PAINTED BY THE PROJECT'S OWN CODE", 320, 446, 2, grey, shadow);
    return c.ToImage();
}

Image DemoQuitPicture() {
    Canvas c(640, 480);
    const int top[3] = {90, 30, 12}, bottom[3] = {20, 8, 28};
    c.VerticalGradient(top, bottom);
    Stars(&c, 29, 160, 300);
    const int sun[3] = {250, 160, 60}, shadow[3] = {0, 0, 0}, cream[3] = {255, 236, 200};
    c.Disc(320, 330, 120, sun);
    const int ground[3] = {16, 6, 20};
    c.FillRect(0, 360, 639, 479, ground);
    c.CentredText("FIN", 320, 120, 16, cream, shadow);
    c.CentredText("A BIENTOT", 320, 400, 5, cream, shadow);
    return c.ToImage();
}

Image DemoFinishedPicture() {
    Canvas c(640, 480);
    const int top[3] = {6, 48, 40}, bottom[3] = {4, 12, 30};
    c.VerticalGradient(top, bottom);
    Stars(&c, 47, 200, 480);
    const int ring[3] = {120, 230, 170}, shadow[3] = {0, 0, 0}, white[3] = {240, 255, 245};
    for (int i = 0; i < 4; ++i) c.Ring(320, 240, 80 + i * 50, 4, ring);
    c.CentredText("VICTOIRE", 320, 190, 10, white, shadow);
    c.CentredText("MISSION ACCOMPLIE", 320, 300, 4, ring, shadow);
    return c.ToImage();
}

Image DemoConsole(bool small) {
    // The menu's page: index 0 black (the key colour), 1-64 a blue-grey
    // ramp, 255 white.  A bevelled frame round the whole page, a darker
    // column on the left with a sunken slot for each of the six page tabs
    // (drawn at y = page x 44), a band at the top for the page's title and
    // one at the bottom for the caption lines.  The page is drawn opaque
    // over the whole screen.
    const int width = small ? 512 : 640, height = small ? 384 : 480;
    const int tabWidth = small ? 70 : 88, tabHeight = small ? 32 : 40, column = tabWidth + 8;
    Image image = MakeImage(width, height, 8);
    for (int i = 1; i <= 64; ++i) {
        image.palette[size_t(i * 3)] = uint8_t(i * 2);
        image.palette[size_t(i * 3 + 1)] = uint8_t(i * 5 / 2);
        image.palette[size_t(i * 3 + 2)] = uint8_t(i * 3 + 40);
    }
    image.palette[255 * 3] = image.palette[255 * 3 + 1] = image.palette[255 * 3 + 2] = 255;
    auto inSlot = [&](int x, int y) {
        for (int page = 1; page <= 6; ++page)
            if (x >= 2 && x < 2 + tabWidth && y >= page * 44 - 2 && y < page * 44 + tabHeight + 2) return true;
        return false;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = 14 + y * 12 / height;                       // the page
            if (x < column) v = 8;                               // the tab column
            if (inSlot(x, y)) v = 4;                             // a tab's slot
            if (x >= column && y < 40) v = 50;                    // the title band: dark titles
            if (x >= column && y >= height - 72) v = 22;          // the caption band: light captions
            if (x >= column && (y == 40 || y == height - 73)) v = 34;
            if (x == column - 1) v = 30;
            if (y < 3 || x < 3) v = 60;
            if (y >= height - 3 || x >= width - 3) v = 6;
            image.pixels[size_t(y) * width + x] = uint8_t(v);
        }
    }
    return image;
}

Image DemoHead(bool second) {
    Canvas c(48, 48);
    const int face[3] = {second ? 220 : 200, second ? 120 : 170, second ? 60 : 140};
    const int eye[3] = {20, 20, 30}, band[3] = {second ? 240 : 60, second ? 210 : 90, second ? 40 : 160};
    c.Disc(24, 24, 20, face);
    c.Disc(17, 20, 3, eye);
    c.Disc(31, 20, 3, eye);
    c.FillRect(14, 32, 34, 34, eye);
    c.FillRect(6, 8, 42, 11, band);
    return c.ToImage();
}

Image DemoDisk() {
    // Index 0 black (keyed), 1 dark blue body, 2 grey shutter, 3 white label.
    Image image = MakeImage(32, 32, 8);
    const uint8_t colours[4][3] = {{0, 0, 0}, {30, 50, 150}, {170, 170, 180}, {250, 250, 250}};
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 3; ++c) image.palette[size_t(i * 3 + c)] = colours[i][c];
    for (int y = 2; y < 30; ++y) {
        for (int x = 2; x < 30; ++x) {
            uint8_t v = 1;
            if (y < 12 && x >= 9 && x < 23) v = 2;
            if (y >= 16 && y < 28 && x >= 6 && x < 26) v = 3;
            if (x >= 26 && y < 6) v = 0;  // the cut corner
            image.pixels[size_t(y) * 32 + x] = v;
        }
    }
    return image;
}

Image DemoKeyPicture() {
    // Index 0 black (keyed), 1 gold, 2 dark gold (the edges).
    constexpr int kSize = 48;
    Image image = MakeImage(kSize, kSize, 8);
    const uint8_t colours[3][3] = {{0, 0, 0}, {230, 190, 60}, {140, 100, 20}};
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c) image.palette[size_t(i * 3 + c)] = colours[i][c];
    auto put = [&](int x, int y, uint8_t v) {
        if (x >= 0 && y >= 0 && x < kSize && y < kSize) image.pixels[size_t(y) * kSize + size_t(x)] = v;
    };
    // The bow: a ring centred at (14, 24).
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            int d2 = (x - 14) * (x - 14) + (y - 24) * (y - 24);
            if (d2 <= 100 && d2 >= 25) put(x, y, d2 >= 81 || d2 <= 36 ? 2 : 1);
        }
    }
    // The shaft and two teeth.
    for (int x = 24; x < 44; ++x)
        for (int y = 22; y < 27; ++y) put(x, y, y == 22 || y == 26 ? 2 : 1);
    for (int x : {34, 40})
        for (int y = 27; y < 34; ++y)
            for (int w = 0; w < 3; ++w) put(x + w, y, w == 1 ? 1 : 2);
    return image;
}

// The chain of rooms runs down the map: the Vault above the Gate, the Nave
// below it; the hero's start (world 0, -1200) lies in the Gate.
const DemoMapRoom kDemoMapRooms[3] = {{60, 62, 100, 100}, {56, 104, 104, 140}, {64, 22, 96, 58}};

Image DemoVelmarkPicture() {
    // 0 black, 1..3 the unvisited greys, 10 the parchment, 11 the ink,
    // 12..14 the rooms' floors, 15 the doorways.
    Image image = MakeImage(kDemoMapSide, kDemoMapSide, 8);
    const uint8_t colours[][3] = {{0, 0, 0},       {40, 40, 48},   {48, 48, 56},   {56, 56, 64},
                                  {0, 0, 0},       {0, 0, 0},      {0, 0, 0},      {0, 0, 0},
                                  {0, 0, 0},       {0, 0, 0},      {36, 52, 88},   {220, 200, 140},
                                  {150, 90, 60},   {70, 130, 90},  {90, 80, 150},  {240, 230, 120}};
    for (size_t i = 0; i < sizeof colours / sizeof *colours; ++i)
        for (int c = 0; c < 3; ++c) image.palette[i * 3 + size_t(c)] = colours[i][c];
    std::fill(image.pixels.begin(), image.pixels.end(), uint8_t(10));
    for (int n = 0; n < 3; ++n) {
        const DemoMapRoom& r = kDemoMapRooms[n];
        for (int y = r.top; y <= r.bottom; ++y)
            for (int x = r.left; x <= r.right; ++x) {
                const bool edge = x == r.left || x == r.right || y == r.top || y == r.bottom;
                image.pixels[size_t(y) * kDemoMapSide + size_t(x)] = uint8_t(edge ? 11 : 12 + n);
            }
    }
    // Doorways between the rooms of the chain.
    for (int y : {59, 60, 61, 101, 102, 103})
        for (int x = 76; x <= 84; ++x) image.pixels[size_t(y) * kDemoMapSide + size_t(x)] = 15;
    return image;
}

Image DemoRoomMapPicture() {
    Image image = MakeImage(kDemoMapSide, kDemoMapSide, 8);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) image.palette[size_t(i * 3 + c)] = uint8_t(i);
    for (int n = 0; n < 3; ++n) {
        const DemoMapRoom& r = kDemoMapRooms[n];
        for (int y = r.top; y <= r.bottom; ++y)
            for (int x = r.left; x <= r.right; ++x) image.pixels[size_t(y) * kDemoMapSide + size_t(x)] = uint8_t(n + 1);
    }
    return image;
}

std::vector<uint8_t> DemoVelmarkPictureFile() {
    return EncodePng(DemoVelmarkPicture());
}

std::vector<uint8_t> DemoRoomMapPictureFile() {
    return EncodePng(DemoRoomMapPicture());
}

I3 DemoMapRoomCentre(int room, int32_t y) {
    // 125 world units a pixel from the level's corner at (-10000, -10000).
    const DemoMapRoom& m = kDemoMapRooms[room - 1];
    return {125 * (m.left + m.right) / 2 - 10000, y, 125 * (m.top + m.bottom) / 2 - 10000};
}

std::vector<uint8_t> DemoKeyPictureFile() {
    return EncodePng(DemoKeyPicture());
}

std::vector<ArchiveMember> DemoPictureMembers(const std::string& archiveFolder) {
    std::vector<ArchiveMember> members;
    if (archiveFolder == "voice") {
        members.push_back({".\\info\\logo.jpg", EncodeJpeg(DemoLogo())});
        members.push_back({".\\info\\ffin.jpg", EncodeJpeg(DemoQuitPicture())});
        members.push_back({".\\info\\fend.jpg", EncodeJpeg(DemoFinishedPicture())});
    } else if (archiveFolder == "game") {
        members.push_back({".\\menus\\consol1.png", EncodePng(DemoConsole())});
        members.push_back({".\\menus\\console1.png", EncodePng(DemoConsole(true))});
        members.push_back({".\\menus\\head.png", EncodePng(DemoHead(false))});
        members.push_back({".\\menus\\head2.png", EncodePng(DemoHead(true))});
        members.push_back({".\\menus\\disk.png", EncodePng(DemoDisk())});
    }
    return members;
}

}  // namespace kit

namespace kit {

namespace {

// A small picture of the depth with a little of everything: gradients,
// flat stretches (runs) and a palette that uses every entry.
Image SeedImage(int width, int height, int bits) {
    Image image = MakeImage(width, height, bits);
    for (int i = 0; i < int(image.palette.size()) / 3; ++i) {
        image.palette[size_t(i * 3)] = uint8_t(i);
        image.palette[size_t(i * 3 + 1)] = uint8_t(255 - i);
        image.palette[size_t(i * 3 + 2)] = uint8_t(i * 7);
    }
    int bpp = bits <= 8 ? 1 : (bits + 1) / 8;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.pixels.data() + (size_t(y) * width + x) * bpp;
            uint8_t v = uint8_t(x < width / 2 ? (x * 16 + y * 3) : 200);
            for (int c = 0; c < bpp; ++c) p[c] = uint8_t(v + c * 40);
        }
    }
    return image;
}

}  // namespace

bool WritePictureCorpus(const std::string& folder) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
    Image i8 = SeedImage(17, 11, 8), i16 = SeedImage(9, 7, 16), i24 = SeedImage(13, 9, 24), i32 = SeedImage(8, 8, 32);
    Image small = SeedImage(12, 6, 8);
    for (auto& p : small.pixels) p &= 15;
    seeds.push_back({"gif/plain.gif", EncodeGif(i8)});
    seeds.push_back({"gif/sixteen.gif", EncodeGif(small, {16, false, false, false})});
    seeds.push_back({"gif/interlaced.gif", EncodeGif(i8, {256, true, true, true})});
    seeds.push_back({"pcx/plain.pcx", EncodePcx(i8)});
    seeds.push_back({"bmp/bottom-up.bmp", EncodeBmp(i8)});
    seeds.push_back({"bmp/four-bit.bmp", EncodeBmp(small, true, 4)});
    seeds.push_back({"bmp/high.bmp", EncodeBmp(i16)});
    seeds.push_back({"bmp/rgb.bmp", EncodeBmp(i24)});
    seeds.push_back({"bmp/rgba.bmp", EncodeBmp(i32, true)});
    TgaOptions mapped{1, 24, "seed"}, packedMap{9, 16, ""}, packed{10, 24, ""}, plain{2, 24, ""}, grey{3, 24, ""};
    seeds.push_back({"tga/mapped.tga", EncodeTga(i8, mapped)});
    seeds.push_back({"tga/mapped-rle.tga", EncodeTga(i8, packedMap)});
    seeds.push_back({"tga/rgb-rle.tga", EncodeTga(i24, packed)});
    seeds.push_back({"tga/rgba.tga", EncodeTga(i32, plain)});
    seeds.push_back({"tga/high.tga", EncodeTga(i16, plain)});
    seeds.push_back({"tga/grey.tga", EncodeTga(i8, grey)});
    seeds.push_back({"iff/pbm.lbm", EncodeIff(i8)});
    seeds.push_back({"iff/pbm-plain.lbm", EncodeIff(i8, {false, false, 8})});
    seeds.push_back({"iff/ilbm.lbm", EncodeIff(i8, {true, true, 8})});
    seeds.push_back({"iff/ilbm4.lbm", EncodeIff(small, {true, false, 4})});
    seeds.push_back({"png/palette.png", EncodePng(i8)});
    seeds.push_back({"png/rgb.png", EncodePng(i24, true)});
    seeds.push_back({"png/rgba.png", EncodePng(i32)});
    std::vector<std::vector<uint8_t>> greyRows(5, std::vector<uint8_t>{0x12, 0x34, 0xFF, 0x00, 0x80, 0x80}),
        oneBit(5, std::vector<uint8_t>{0xA5});
    seeds.push_back({"png/grey16.png", EncodePngRaw(3, 5, 0, 16, greyRows, {})});
    seeds.push_back({"png/grey-alpha.png", EncodePngRaw(3, 5, 4, 8, greyRows, {})});
    seeds.push_back({"png/one-bit.png", EncodePngRaw(8, 5, 3, 1, oneBit, {0, 0, 0, 255, 255, 255})});
    Image grey8 = SeedImage(16, 16, 8);
    seeds.push_back({"jpg/colour.jpg", EncodeJpeg(SeedImage(24, 16, 24))});
    seeds.push_back({"jpg/grey.jpg", EncodeJpeg(grey8)});
    Image texture = SeedImage(256, 256, 8);
    seeds.push_back({"3dm/texture.3dm", Encode3dm(texture)});
    seeds.push_back({"act/palette.act", EncodeAct(i8.palette)});
    for (const auto& [name, bytes] : seeds) {
        std::filesystem::path path = std::filesystem::path(folder) / name;
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        if (bytes.empty() || !WriteBytes(path.string(), bytes)) return false;
    }
    return true;
}

}  // namespace kit
