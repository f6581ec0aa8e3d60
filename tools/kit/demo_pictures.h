// The demo data set's pictures, painted by the kit: the logo and the two
// end pictures (640 x 480, baseline JPEG, in the voice archive) and the
// plain menu pictures (PNG, in the main archive).
#pragma once

#include "tools/kit/archive_writer.h"
#include "tools/kit/picture_writer.h"

#include <string>
#include <vector>

namespace kit {

// An RGB canvas with the few painting operations the pictures need.
class Canvas {
public:
    Canvas(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Set(int x, int y, int r, int g, int b);
    // Top colour to bottom colour, row by row.
    void VerticalGradient(const int top[3], const int bottom[3]);
    void FillRect(int x0, int y0, int x1, int y1, const int rgb[3]);
    // A disc, or a ring of the given thickness, blended over what is there
    // by coverage at its edge.
    void Disc(int cx, int cy, int radius, const int rgb[3]);
    void Ring(int cx, int cy, int radius, int thickness, const int rgb[3]);
    // Text in the kit's font, each glyph pixel a scale x scale square.
    void Text(const std::string& text, int x, int y, int scale, const int rgb[3]);
    // Text centred on x, with a shadow offset by a third of the scale.
    void CentredText(const std::string& text, int cx, int y, int scale, const int rgb[3], const int shadow[3]);
    static int TextWidth(const std::string& text, int scale);
    // The canvas as a 24-bit picture.
    Image ToImage() const;

private:
    void Blend(int x, int y, const int rgb[3], int coverage);
    int width_, height_;
    std::vector<uint8_t> rgb_;
};

Image DemoLogo();            // .\info\logo.jpg
Image DemoQuitPicture();     // .\info\ffin.jpg: after the player quits
Image DemoFinishedPicture(); // .\info\fend.jpg: after the game is finished
// .\menus\consol1.png (8-bit), the menu's page, 640 x 480; small:
// console1.png, the page of screens of 400 lines or fewer, 512 x 384.
Image DemoConsole(bool small = false);
Image DemoHead(bool second); // .\menus\head.png, head2.png (24-bit)
Image DemoDisk();            // .\menus\disk.png (8-bit)
// .\ms22\key.png: mission 22's key as the inventory shows it (8-bit,
// 48 x 48, index 0 keyed).
Image DemoKeyPicture();

// Mission 7's map of level 0 (".\ms7\l1\"), both 8-bit and of one size
// over the level's bounds (-10000..10000 world units, 125 a pixel):
// velmark.png, the drawn map, and map.png, each pixel the number of its
// room (1 Gate, 2 Nave, 3 Vault; 0 outside).  velmark.png's entries 1..3
// are the dark greys an unvisited room shows in.
constexpr int kDemoMapSide = 160;
struct DemoMapRoom {
    int left, top, right, bottom;  // pixels, inclusive
};
extern const DemoMapRoom kDemoMapRooms[3];
Image DemoVelmarkPicture();
Image DemoRoomMapPicture();

// The generated members of an archive folder ("voice", "game", ...).
std::vector<ArchiveMember> DemoPictureMembers(const std::string& archiveFolder);

// Seed inputs for the picture readers' fuzz targets: one folder per reader
// (gif, pcx, bmp, tga, iff, png, jpg, 3dm, act) below folder.
bool WritePictureCorpus(const std::string& folder);

}  // namespace kit
