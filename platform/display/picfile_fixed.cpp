// Pictures of a fixed layout: the 3DM texture picture (256 x 256 pixels
// of 8 bits after a palette of 5-6-5 entries) and .act palette files.
#include "platform/display/palette.h"
#include "platform/display/picfile.h"
#include "platform/memory.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t k3dmPaletteAt = 15360;  // 256 entries of 4 bytes
constexpr size_t k3dmPixelsAt = 16384;   // 256 x 256 bytes
constexpr int k3dmSide = 256;

}  // namespace

uint8_t* Read3dm(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    // The whole file, then its two parts at their offsets: the tables seek
    // differently (a compressed stream not at all), a read from the start
    // reads alike through all of them.
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, &bytes)) return nullptr;
    ByteView in(bytes);
    if (!in.Seek(k3dmPaletteAt) || !in.Has(256 * 4)) return nullptr;
    const uint8_t* entries = in.Here();
    // The first 16 bits of each entry: bits 0-4, 5-10 and 11-15 make the
    // first, second and third palette bytes.
    for (int i = 0; i < 256; ++i) {
        uint32_t v = uint32_t(entries[i * 4]) | uint32_t(entries[i * 4 + 1]) << 8;
        palette[i * 3] = static_cast<uint8_t>((v & 31) << 3);
        palette[i * 3 + 1] = static_cast<uint8_t>(((v >> 5) & 63) << 2);
        palette[i * 3 + 2] = static_cast<uint8_t>(((v >> 11) & 31) << 3);
    }
    *width = k3dmSide;
    *height = k3dmSide;
    *bits = 8;
    if (!keep) return nullptr;
    // A texture cut short is not a texture.
    if (!in.Seek(k3dmPixelsAt) || !in.Has(size_t(k3dmSide) * k3dmSide)) return nullptr;
    uint8_t* pixels = AllocPicturePixels(k3dmSide, k3dmSide, 1);
    if (!pixels) return nullptr;
    std::memcpy(pixels, in.Here(), size_t(k3dmSide) * k3dmSide);
    return pixels;
}

uint8_t* ReadAct(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    uint8_t read[768];
    if (ReadPalette(file, read) != sizeof read) return nullptr;
    for (int i = 0; i < 768; ++i) palette[i] = read[i];
    *width = 256;
    *height = 1;
    *bits = 8;
    if (!keep) return nullptr;
    // One pixel for each entry.
    uint8_t* pixels = AllocPicturePixels(256, 1, 1);
    if (!pixels) return nullptr;
    for (int i = 0; i < 256; ++i) pixels[i] = static_cast<uint8_t>(i);
    return pixels;
}
