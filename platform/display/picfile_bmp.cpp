// BMP pictures: uncompressed rows of 1, 2, 4, 8, 16, 24 or 32 bits, each
// padded to 4 bytes, bottom row first unless the height is negative.
#include "platform/display/picfile.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kFileHeader = 14;

}  // namespace

uint8_t* ReadBmp(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, &bytes)) return nullptr;
    ByteView in(bytes);
    if (!in.Has(2) || bytes[0] != 'B' || bytes[1] != 'M') return nullptr;
    in.Skip(10);
    uint32_t pixelOffset = in.U32();
    uint32_t infoSize = in.U32();
    int32_t w = static_cast<int32_t>(in.U32());
    int32_t rawHeight = static_cast<int32_t>(in.U32());
    in.U16();  // planes
    int bitCount = in.U16();
    uint32_t compression = in.U32();
    in.Skip(12);
    uint32_t coloursUsed = in.U32();
    if (in.failed || infoSize < 40 || compression != 0 || rawHeight == INT32_MIN) return nullptr;
    if (bitCount != 1 && bitCount != 2 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        return nullptr;
    bool topDown = rawHeight < 0;
    int32_t h = topDown ? -rawHeight : rawHeight;
    if (w <= 0 || h <= 0 || w > kPictureMaxSide || h > kPictureMaxSide) return nullptr;
    *width = w;
    *height = h;
    *bits = bitCount <= 8 ? 8 : bitCount;
    // The palette follows the information header, whatever its size.
    size_t paletteAt = kFileHeader + infoSize;
    if (!in.Seek(paletteAt)) return nullptr;
    if (bitCount <= 8) {
        uint32_t entries = 1u << bitCount;
        if (coloursUsed && coloursUsed < entries) entries = coloursUsed;
        for (uint32_t i = 0; i < entries; ++i) {
            uint8_t b = in.U8(), g = in.U8(), r = in.U8();
            in.U8();
            if (in.failed) return nullptr;
            palette[i * 3] = r;
            palette[i * 3 + 1] = g;
            palette[i * 3 + 2] = b;
        }
    }
    if (!keep) return nullptr;
    // The rows start where the file header says, unless that points into
    // the header or palette or past the end.
    size_t rowsAt = in.position;
    if (pixelOffset >= rowsAt && pixelOffset < bytes.size()) rowsAt = pixelOffset;
    int bytesPerPixel = PictureBytesPerPixel(*bits);
    uint8_t* pixels = AllocPicturePixels(w, h, bytesPerPixel);
    if (!pixels) return nullptr;
    size_t stride = ((size_t(w) * bitCount + 31) / 32) * 4;
    size_t rowBytes = size_t(w) * bytesPerPixel;
    for (int32_t r = 0; r < h; ++r) {
        size_t fileAt = rowsAt + size_t(r) * stride;
        if (fileAt >= bytes.size()) break;  // the missing rows stay 0
        size_t have = std::min(stride, bytes.size() - fileAt);
        const uint8_t* src = bytes.data() + fileAt;
        uint8_t* out = pixels + size_t(topDown ? r : h - 1 - r) * rowBytes;
        if (bitCount < 8) {
            // Pixels of 1, 2 or 4 bits, leftmost in the highest bits.
            int perByte = 8 / bitCount;
            uint8_t mask = static_cast<uint8_t>((1 << bitCount) - 1);
            for (int32_t x = 0; x < w; ++x) {
                size_t byte = size_t(x) / perByte;
                if (byte >= have) break;
                int shift = 8 - bitCount * (x % perByte + 1);
                out[x] = (src[byte] >> shift) & mask;
            }
        } else {
            std::memcpy(out, src, std::min(rowBytes, have));
        }
    }
    uint32_t count = static_cast<uint32_t>(size_t(w) * h);
    if (bitCount == 16) *bits = ConvertFile555(&pixels, count);
    else if (bitCount >= 24) FileTripletsToForm(pixels, count, bytesPerPixel, true);
    return pixels;
}
