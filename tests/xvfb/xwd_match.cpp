// Compares window dumps of the X window dumper (XWD files, as `xwd -id`
// writes them) with the demo pictures the data kit paints: passes when any
// of the dumps shows the picture at the window's top-left corner with a mean
// difference per channel below the limit.  "intro" takes any frame of the
// intro video; "game" passes when a dump shows none of the pictures the
// program shows outside its game loop (logo, intro frames, end picture) and
// is no single colour: the game's own scene.
//
//   xwd_match logo|quit|intro|game <dump>...
#include "tools/kit/demo_intro.h"
#include "tools/kit/demo_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kLimit = 10.0;
// Every kStep-th pixel of every kStep-th row is compared: enough for a mean,
// and quick also in sanitizer builds.
constexpr int kStep = 4;

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The channel of a pixel under a mask, scaled to 0..255.
int Channel(uint32_t pixel, uint32_t mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    uint32_t top = mask >> shift;
    return int(((pixel & mask) >> shift) * 255 / top);
}

// An intro frame as 8-bit red, green, blue.
kit::Image IntroPicture(int index) {
    kit::Image out;
    out.width = 640;
    out.height = 480;
    std::vector<uint16_t> frame = kit::IntroFrame({}, index);
    out.pixels.reserve(frame.size() * 3);
    for (uint16_t p : frame) {
        out.pixels.push_back(uint8_t(((p >> 11) & 31) * 255 / 31));
        out.pixels.push_back(uint8_t(((p >> 5) & 63) * 255 / 63));
        out.pixels.push_back(uint8_t((p & 31) * 255 / 31));
    }
    return out;
}

// Mean difference per channel over the picture, or a negative number when
// the dump cannot be read or is smaller than the picture.  `distinct` (when
// given) receives how many distinct pixel values the dump holds there, up to
// a small number.
double Difference(const std::vector<uint8_t>& bytes, const kit::Image& picture, int* distinct = nullptr) {
    if (bytes.size() < 100) return -1;
    uint32_t field[25];
    for (int i = 0; i < 25; ++i) field[i] = Be32(bytes, size_t(i) * 4);
    const uint32_t headerSize = field[0], format = field[2], width = field[4], height = field[5];
    const uint32_t byteOrder = field[7], bitsPerPixel = field[11], bytesPerLine = field[12];
    const uint32_t red = field[14], green = field[15], blue = field[16], colours = field[19];
    if (format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24)) return -1;
    if (width < uint32_t(picture.width) || height < uint32_t(picture.height)) return -1;
    const uint64_t start = uint64_t(headerSize) + uint64_t(colours) * 12;
    if (start + uint64_t(bytesPerLine) * height > bytes.size()) return -1;
    const int step = int(bitsPerPixel / 8);
    double sum = 0;
    std::vector<uint32_t> seen;
    long compared = 0;
    for (int y = 0; y < picture.height; y += kStep) {
        for (int x = 0; x < picture.width; x += kStep, ++compared) {
            const uint8_t* p = bytes.data() + start + uint64_t(y) * bytesPerLine + uint64_t(x) * step;
            uint32_t v = 0;
            for (int i = 0; i < step; ++i) v |= uint32_t(p[i]) << (byteOrder ? 8 * (step - 1 - i) : 8 * i);
            if (distinct && seen.size() < 16 && std::find(seen.begin(), seen.end(), v) == seen.end()) seen.push_back(v);
            const uint8_t* want = picture.pixels.data() + (size_t(y) * picture.width + x) * 3;
            sum += std::abs(Channel(v, red) - want[0]) + std::abs(Channel(v, green) - want[1]) +
                   std::abs(Channel(v, blue) - want[2]);
        }
    }
    if (distinct) *distinct = int(seen.size());
    return sum / (3.0 * double(compared));
}

}  // namespace

int main(int argc, char** argv) {
    std::string which = argc >= 3 ? argv[1] : "";
    if (which != "logo" && which != "quit" && which != "intro" && which != "game") {
        std::fprintf(stderr, "usage: xwd_match logo|quit|intro|game <dump>...\n");
        return 2;
    }
    std::vector<kit::Image> pictures;
    if (which == "logo" || which == "game") pictures.push_back(kit::DemoLogo());
    if (which == "quit" || which == "game") pictures.push_back(kit::DemoQuitPicture());
    if (which == "intro" || which == "game")
        for (int k = 0; k < kit::kDemoIntroFrames; ++k) pictures.push_back(IntroPicture(k));
    bool found = false;
    for (int i = 2; i < argc; ++i) {
        std::vector<uint8_t> bytes;
        if (!kit::ReadBytes(argv[i], &bytes)) continue;
        double best = -1;
        int colours = 0;
        for (const kit::Image& picture : pictures) {
            double d = Difference(bytes, picture, &colours);
            if (d >= 0 && (best < 0 || d < best)) best = d;
        }
        std::printf("%s: %s %.2f, %d colours or more\n", which.c_str(), argv[i], best, colours);
        if (best < 0) continue;
        if (which == "game" ? best >= kLimit && colours >= 16 : best < kLimit) found = true;
    }
    return found ? 0 : 1;
}
