// Compares window dumps of the X window dumper (XWD files, as `xwd -id`
// writes them) with one of the demo pictures the data kit paints: passes
// when any of the dumps shows the picture at the window's top-left corner
// with a mean difference per channel below the limit.
//
//   xwd_match logo|quit <dump>...
#include "tools/kit/demo_pictures.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kLimit = 10.0;

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

// Mean difference per channel over the picture, or a negative number when
// the dump cannot be read or is smaller than the picture.
double Difference(const std::string& path, const kit::Image& picture) {
    std::vector<uint8_t> bytes;
    if (!kit::ReadBytes(path, &bytes) || bytes.size() < 100) return -1;
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
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = bytes.data() + start + uint64_t(y) * bytesPerLine + uint64_t(x) * step;
            uint32_t v = 0;
            for (int i = 0; i < step; ++i) v |= uint32_t(p[i]) << (byteOrder ? 8 * (step - 1 - i) : 8 * i);
            const uint8_t* want = picture.pixels.data() + (size_t(y) * picture.width + x) * 3;
            sum += std::abs(Channel(v, red) - want[0]) + std::abs(Channel(v, green) - want[1]) +
                   std::abs(Channel(v, blue) - want[2]);
        }
    }
    return sum / (3.0 * picture.width * picture.height);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: xwd_match logo|quit <dump>...\n");
        return 2;
    }
    std::string which = argv[1];
    kit::Image picture = which == "logo" ? kit::DemoLogo() : kit::DemoQuitPicture();
    double best = -1;
    for (int i = 2; i < argc; ++i) {
        double d = Difference(argv[i], picture);
        std::printf("%s: %s %.2f\n", which.c_str(), argv[i], d);
        if (d >= 0 && (best < 0 || d < best)) best = d;
    }
    return best >= 0 && best < kLimit ? 0 : 1;
}
