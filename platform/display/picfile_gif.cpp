// GIF pictures: the first image of the file, LZW-decoded, interlaced or not.
#include "platform/display/picfile.h"
#include "platform/memory.h"

#include <cstring>

namespace {

constexpr int kMaxCodes = 4096;

// Reads a colour table of 2^((packed & 7) + 1) entries into the palette;
// a 16-entry table makes the picture 4 bits (one byte per pixel still).
bool ReadColourTable(ByteView& in, uint8_t packed, uint8_t* palette, int32_t* bits) {
    int entries = 1 << ((packed & 7) + 1);
    if (!in.Has(size_t(entries) * 3)) return false;
    std::memcpy(palette, in.Here(), size_t(entries) * 3);
    in.Skip(size_t(entries) * 3);
    *bits = entries == 16 ? 4 : 8;
    return true;
}

// Skips data sub-blocks up to the 0 that ends them.
bool SkipSubBlocks(ByteView& in) {
    for (;;) {
        uint8_t size = in.U8();
        if (in.failed) return false;
        if (size == 0) return true;
        if (!in.Skip(size)) return false;
    }
}

// The bytes of the data sub-blocks, one at a time; a short block ends them.
struct SubBlocks {
    ByteView& in;
    int left = 0;
    bool ended = false;
    int Next() {
        while (left == 0) {
            if (ended) return -1;
            uint8_t size = in.U8();
            if (in.failed || size == 0) {
                ended = true;
                return -1;
            }
            left = size;
        }
        if (!in.Has(1)) {
            ended = true;
            return -1;
        }
        --left;
        return in.U8();
    }
};

// Rows in the order of the four interlace passes, or in order.
struct RowOrder {
    int height;
    bool interlaced;
    int pass = 0;
    int row = 0;
    // The next row, -1 when every row was given.
    int Next() {
        static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        if (!interlaced) return row < height ? row++ : -1;
        while (pass < 4) {
            if (row < height) {
                int r = row;
                row += kStep[pass];
                return r;
            }
            ++pass;
            if (pass < 4) row = kStart[pass];
        }
        return -1;
    }
};

// Decodes the LZW stream into the picture's rows.
void DecodeLzw(ByteView& in, int codeSize, uint8_t* pixels, int32_t width, int32_t height, bool interlaced) {
    if (codeSize < 2 || codeSize > 8) return;
    std::vector<uint16_t> prefix(kMaxCodes);
    std::vector<uint8_t> suffix(kMaxCodes), stack(kMaxCodes + 1);
    const int clear = 1 << codeSize, end = clear + 1;
    int width_bits = codeSize + 1, next = clear + 2;
    for (int i = 0; i < clear; ++i) suffix[i] = static_cast<uint8_t>(i);
    SubBlocks blocks{in};
    RowOrder rows{height, interlaced};
    int row = rows.Next();
    int32_t column = 0;
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    int previous = -1;
    uint8_t first = 0;
    auto put = [&](uint8_t value) {
        if (row < 0) return;
        pixels[size_t(row) * width + column] = value;
        if (++column == width) {
            column = 0;
            row = rows.Next();
        }
    };
    while (row >= 0) {
        while (bitCount < width_bits) {
            int byte = blocks.Next();
            if (byte < 0) return;  // a short read ends decoding
            bitBuffer |= uint32_t(byte) << bitCount;
            bitCount += 8;
        }
        int code = static_cast<int>(bitBuffer & ((1u << width_bits) - 1));
        bitBuffer >>= width_bits;
        bitCount -= width_bits;
        if (code == clear) {
            width_bits = codeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end || code > next) return;
        if (previous < 0) {
            if (code >= clear) return;  // nothing to repeat yet
            first = static_cast<uint8_t>(code);
            put(first);
            previous = code;
            continue;
        }
        int sp = 0;
        int walk = code;
        if (code == next) {
            // KwKwK: the previous string and its own first byte.
            stack[sp++] = first;
            walk = previous;
        }
        while (walk >= clear) {
            if (sp >= kMaxCodes) return;
            stack[sp++] = suffix[walk];
            walk = prefix[walk];
        }
        first = static_cast<uint8_t>(walk);
        stack[sp++] = first;
        while (sp > 0) put(stack[--sp]);
        if (next < kMaxCodes) {
            // When the table is full no code is added until a clear code.
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = first;
            ++next;
            if (next == (1 << width_bits) && width_bits < 12) ++width_bits;
        }
        previous = code;
    }
}

}  // namespace

uint8_t* ReadGif(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, &bytes)) return nullptr;
    ByteView in(bytes);
    if (!in.Has(13) || std::memcmp(in.Here(), "GIF", 3) != 0) return nullptr;
    in.Skip(10);
    uint8_t packed = in.U8();
    in.Skip(2);
    *bits = 8;
    if ((packed & 0x80) && !ReadColourTable(in, packed, palette, bits)) return nullptr;
    // Blocks up to the first image: extensions are skipped, 0 bytes too.
    for (;;) {
        uint8_t introducer = in.U8();
        if (in.failed) return nullptr;
        if (introducer == ',') break;
        if (introducer == '!') {
            in.U8();  // the extension's label
            if (in.failed || !SkipSubBlocks(in)) return nullptr;
        } else if (introducer != 0) {
            return nullptr;
        }
    }
    in.Skip(4);  // left, top
    int32_t w = in.U16(), h = in.U16();
    uint8_t imagePacked = in.U8();
    if (in.failed) return nullptr;
    if ((imagePacked & 0x80) && !ReadColourTable(in, imagePacked, palette, bits)) return nullptr;
    *width = w;
    *height = h;
    if (!keep) return nullptr;
    uint8_t codeSize = in.U8();
    if (in.failed) return nullptr;
    uint8_t* pixels = AllocPicturePixels(w, h, 1);
    if (!pixels) return nullptr;
    DecodeLzw(in, codeSize, pixels, w, h, imagePacked & 0x40);
    return pixels;
}
