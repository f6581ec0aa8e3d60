// TGA pictures: colour-mapped (types 1 and 9) and true-colour (types 2 and
// 10) images, plain or run-length, bottom row first.
#include "platform/display/palette.h"
#include "platform/display/picfile.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kHeaderSize = 18;

bool PixelBitsKnown(int bits) {
    return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// Colour-map entries of 15/16, 24 or 32 bits into the palette (at most
// 256 of them; the rest are passed over).
bool ReadColourMap(ByteView& in, uint32_t length, int entryBits, uint8_t* palette) {
    int entryBytes = (entryBits + 7) / 8;
    if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32) return false;
    for (uint32_t i = 0; i < length; ++i) {
        if (!in.Has(size_t(entryBytes))) return false;
        const uint8_t* e = in.Here();
        if (i < 256) {
            uint8_t* p = palette + i * 3;
            if (entryBytes == 2) {
                uint32_t v = uint32_t(e[0]) | uint32_t(e[1]) << 8;
                p[0] = uint8_t(((v >> 10) & 31) << 3);
                p[1] = uint8_t(((v >> 5) & 31) << 3);
                p[2] = uint8_t((v & 31) << 3);
            } else {
                p[0] = e[2];
                p[1] = e[1];
                p[2] = e[0];
            }
        }
        in.Skip(size_t(entryBytes));
    }
    return true;
}

// Run-length packets into the picture's bytes until it is full or the
// file ends: bit 7 of a header gives (header & 0x7F) + 1 copies of the next
// pixel, else that many literal pixels.
void DecodePackets(ByteView& in, uint8_t* pixels, size_t total, int bytesPerPixel) {
    size_t at = 0;
    while (at < total) {
        uint8_t header = in.U8();
        if (in.failed) return;
        size_t count = size_t(header & 0x7F) + 1;
        size_t room = (total - at) / bytesPerPixel;
        if (count > room) count = room;
        if (header & 0x80) {
            if (!in.Has(size_t(bytesPerPixel))) return;
            const uint8_t* pixel = in.Here();
            for (size_t i = 0; i < count; ++i, at += bytesPerPixel) std::memcpy(pixels + at, pixel, bytesPerPixel);
            in.Skip(size_t(bytesPerPixel));
        } else {
            size_t bytes = count * bytesPerPixel;
            size_t have = std::min(bytes, in.Left());
            std::memcpy(pixels + at, in.Here(), have);
            in.Skip(have);
            if (have < bytes) return;
            at += bytes;
        }
    }
}

void SwapRows(uint8_t* pixels, int32_t width, int32_t height, int bytesPerPixel) {
    size_t row = size_t(width) * bytesPerPixel;
    std::vector<uint8_t> keep(row);
    for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        std::memcpy(keep.data(), pixels + top * row, row);
        std::memcpy(pixels + top * row, pixels + bottom * row, row);
        std::memcpy(pixels + bottom * row, keep.data(), row);
    }
}

}  // namespace

uint8_t* ReadTga(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, &bytes)) return nullptr;
    ByteView in(bytes);
    uint8_t idLength = in.U8(), mapType = in.U8(), imageType = in.U8();
    in.U16();  // first colour-map entry
    uint16_t mapLength = in.U16();
    uint8_t mapEntryBits = in.U8();
    in.Skip(4);  // origin
    int32_t w = in.U16(), h = in.U16();
    int pixelBits = in.U8();
    in.U8();  // descriptor
    if (in.failed || !PixelBitsKnown(pixelBits)) return nullptr;
    *width = w;
    *height = h;
    *bits = pixelBits;
    bool mapped = imageType == 1 || imageType == 9;
    if (mapped && pixelBits != 8) return nullptr;
    if (!in.Skip(idLength)) return nullptr;
    if (mapType == 1) {
        if (mapped) {
            if (!ReadColourMap(in, mapLength, mapEntryBits, palette)) return nullptr;
        } else if (!in.Skip(size_t(mapLength) * ((mapEntryBits + 7) / 8))) {
            return nullptr;
        }
    } else if (mapped) {
        return nullptr;  // indices without colours
    }
    if (!keep) return nullptr;
    int bytesPerPixel = (pixelBits + 1) / 8;
    uint8_t* pixels = AllocPicturePixels(w, h, bytesPerPixel);
    if (!pixels) return nullptr;
    size_t row = size_t(w) * bytesPerPixel;
    if (imageType == 1 || imageType == 2) {
        for (int32_t r = 0; r < h && in.Left() > 0; ++r) {
            size_t have = std::min(row, in.Left());
            std::memcpy(pixels + size_t(h - 1 - r) * row, in.Here(), have);
            in.Skip(have);
        }
    } else if (imageType == 9 || imageType == 10) {
        DecodePackets(in, pixels, row * h, bytesPerPixel);
        SwapRows(pixels, w, h, bytesPerPixel);
    }
    // Other image types keep their pixels unread.
    uint32_t count = static_cast<uint32_t>(size_t(w) * h);
    if (pixelBits == 15 || pixelBits == 16) *bits = ConvertFile555(&pixels, count);
    else if (pixelBits >= 24) FileTripletsToForm(pixels, count, bytesPerPixel, true);
    return pixels;
}

void WriteTga(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth, const uint8_t*) {
    if (!pixels || !PixelBitsKnown(depth) || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return;
    int bytesPerPixel = (depth + 1) / 8;
    // The caller's picture is turned upside down in place and stays so.
    SwapRows(pixels, width, height, bytesPerPixel);
    uint8_t header[kHeaderSize] = {};
    header[2] = 2;
    header[12] = static_cast<uint8_t>(width);
    header[13] = static_cast<uint8_t>(width >> 8);
    header[14] = static_cast<uint8_t>(height);
    header[15] = static_cast<uint8_t>(height >> 8);
    header[16] = static_cast<uint8_t>(depth);
    CurrentFileTable->Write(header, 1, kHeaderSize, file);
    size_t row = size_t(width) * bytesPerPixel;
    bool swap = bytesPerPixel >= 3 && !TripletIsBgr();  // the file holds blue first
    std::vector<uint8_t> line(row);
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* p = pixels + size_t(r) * row;
        if (swap) {
            std::memcpy(line.data(), p, row);
            for (int32_t x = 0; x < width; ++x) std::swap(line[size_t(x) * bytesPerPixel], line[size_t(x) * bytesPerPixel + 2]);
            p = line.data();
        }
        CurrentFileTable->Write(p, 1, row, file);
    }
}
