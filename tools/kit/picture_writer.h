// Picture files as the game reads them: PNG (libpng), JPEG (libjpeg), GIF
// with a small LZW encoder, PCX, TGA, BMP, IFF (PBM and ILBM, plain or
// ByteRun1), the 3DM texture picture and .act palettes.  Every writer is
// deterministic: the same picture always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// A picture to write, rows top down without gaps.
struct Image {
    int width = 0, height = 0;
    // 8: palette indices (palette holds 768 bytes); 16: little-endian
    // 1-5-5-5 values; 24: red, green, blue; 32: red, green, blue, alpha.
    int bits = 24;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette;
};

Image MakeImage(int width, int height, int bits);

// PNG of a picture of 8 (palette), 24 (RGB) or 32 (RGBA) bits.
std::vector<uint8_t> EncodePng(const Image& image, bool interlaced = false);
// PNG from rows already in the file's layout: colour type and bit depth as
// PNG numbers them (grey 0, RGB 2, palette 3, grey-alpha 4, RGBA 6), each
// row's packed bytes (high byte first for 16-bit samples); palette entries
// for type 3.
std::vector<uint8_t> EncodePngRaw(int width, int height, int colourType, int bitDepth,
                                  const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint8_t>& palette,
                                  bool interlaced = false);
// Baseline JPEG of a 24-bit (colour) or 8-bit (grey; the indices are the
// grey levels) picture.
std::vector<uint8_t> EncodeJpeg(const Image& image, int quality = 90);

struct GifOptions {
    int tableEntries = 256;     // colour-table size: a power of two from 2 to 256
    bool interlaced = false;
    bool version89 = false;     // with a graphic control extension before the image
    bool localTable = false;    // the table after the image descriptor instead of a global one
};
std::vector<uint8_t> EncodeGif(const Image& image, const GifOptions& options = {});

// 8-bit PCX (one plane), rows run-length coded, the palette at the end.
std::vector<uint8_t> EncodePcx(const Image& image);

struct TgaOptions {
    int imageType = 2;        // 1 colour-mapped, 2 true colour, 3 grey, 9 and 10 run-length
    int mapEntryBits = 24;    // colour-map entries of types 1 and 9: 15, 16, 24 or 32
    std::string id;           // the id field
};
// Bottom row first; 8-bit pictures as types 1, 3 or 9, 16/24/32-bit as 2 or
// 10 (pixels stored blue, green, red).
std::vector<uint8_t> EncodeTga(const Image& image, const TgaOptions& options = {});

// BMP rows padded to 4 bytes, bottom-up unless topDown.  8-bit pictures may
// be stored with 1, 2 or 4 bits per pixel (the indices must fit).
std::vector<uint8_t> EncodeBmp(const Image& image, bool topDown = false, int storedBits = 0);

struct IffOptions {
    bool ilbm = false;        // bit planes instead of one byte per pixel
    bool packed = true;       // ByteRun1 rows
    int planes = 8;           // ILBM: 1 to 8
};
std::vector<uint8_t> EncodeIff(const Image& image, const IffOptions& options = {});

// 256 x 256 8-bit picture: the palette as 5-6-5 entries (first byte in bits
// 0-4, second in 5-10, third in 11-15) at 15360, the pixels at 16384.
std::vector<uint8_t> Encode3dm(const Image& image);
// 256 entries of red, green, blue, last entry first.
std::vector<uint8_t> EncodeAct(const std::vector<uint8_t>& palette);

}  // namespace kit
