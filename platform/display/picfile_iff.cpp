// IFF pictures: a FORM of type "PBM " (one byte per pixel) or "ILBM"
// (bit planes), with the chunks BMHD, CMAP and BODY, rows plain or packed
// with ByteRun1.
#include "platform/display/picfile.h"
#include "platform/memory.h"
#include "platform/utils.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t Tag(const char* text) {
    uint32_t v;
    std::memcpy(&v, text, 4);
    return v;
}

// The picture being read: the chunk routine has no context of its own.
struct IffPicture {
    bool keep;
    bool ilbm;
    bool refused;
    uint8_t* palette;
    uint8_t* pixels;
    int32_t width, height;
    int planes, masking, compression;
};
IffPicture g_iff;

// The BODY's bytes one at a time: as stored, or unpacked from ByteRun1
// (a control byte n: 0..127 gives n + 1 literal bytes, -1..-127 repeats
// the next byte 1 - n times, -128 is passed over); -1 at the chunk's end.
struct BodyBytes {
    const uint8_t* data;
    uint32_t size;
    bool packed;
    uint32_t at = 0;
    int literal = 0, repeat = 0;
    uint8_t value = 0;
    int Next() {
        if (!packed) return at < size ? data[at++] : -1;
        while (literal == 0 && repeat == 0) {
            if (at >= size) return -1;
            int n = static_cast<int8_t>(data[at++]);
            if (n >= 0) {
                literal = n + 1;
            } else if (n != -128) {
                if (at >= size) return -1;
                value = data[at++];
                repeat = 1 - n;
            }
        }
        if (repeat) {
            --repeat;
            return value;
        }
        --literal;
        return at < size ? data[at++] : -1;
    }
};

void ReadHeaderChunk(const uint8_t* data, uint32_t size) {
    IffPicture& p = g_iff;
    if (size < 11) {
        p.refused = true;
        return;
    }
    p.width = data[0] << 8 | data[1];
    p.height = data[2] << 8 | data[3];
    p.planes = data[8];
    p.masking = data[9];
    p.compression = data[10];
    if (p.compression > 1 || (p.ilbm && (p.planes < 1 || p.planes > 8))) p.refused = true;
    MemFree(p.pixels);  // a second header replaces the first
    p.pixels = nullptr;
    if (p.keep && !p.refused) {
        p.pixels = AllocPicturePixels(p.width, p.height, 1);
        if (!p.pixels) p.refused = true;
    }
}

void ReadBody(const uint8_t* data, uint32_t size) {
    IffPicture& p = g_iff;
    if (!p.pixels) return;  // no header yet: nothing to read into
    BodyBytes in{data, size, p.compression == 1};
    if (!p.ilbm) {
        // Rows of the width rounded up to even; the pad byte is not a pixel.
        int32_t rowBytes = (p.width + 1) & ~1;
        for (int32_t y = 0; y < p.height; ++y) {
            uint8_t* out = p.pixels + size_t(y) * p.width;
            for (int32_t x = 0; x < rowBytes; ++x) {
                int v = in.Next();
                if (v < 0) return;
                if (x < p.width) out[x] = static_cast<uint8_t>(v);
            }
        }
        return;
    }
    // Each row holds every plane in turn (and a mask plane when the header
    // says so), each plane a whole number of 16-bit words; bit k of a
    // pixel comes from plane k, the top bit of a byte is the leftmost pixel.
    int32_t planeBytes = ((p.width + 15) / 16) * 2;
    int stored = p.planes + (p.masking == 1 ? 1 : 0);
    for (int32_t y = 0; y < p.height; ++y) {
        uint8_t* out = p.pixels + size_t(y) * p.width;
        for (int plane = 0; plane < stored; ++plane) {
            for (int32_t b = 0; b < planeBytes; ++b) {
                int v = in.Next();
                if (v < 0) return;
                if (plane >= p.planes) continue;
                for (int k = 0; k < 8; ++k) {
                    int32_t x = b * 8 + k;
                    if (x < p.width && ((v >> (7 - k)) & 1)) out[x] |= static_cast<uint8_t>(1 << plane);
                }
            }
        }
    }
}

void IffChunk(const uint8_t* data, uint32_t identifier, uint32_t size) {
    if (identifier == Tag("BMHD")) ReadHeaderChunk(data, size);
    else if (identifier == Tag("CMAP")) std::memcpy(g_iff.palette, data, size < 768 ? size : 768);
    else if (identifier == Tag("BODY")) ReadBody(data, size);
}

int WalkForm(FileHandle file, const char* type) {
    g_iff.ilbm = std::strcmp(type, "ILBM") == 0;
    IffReader reader{file, IffChunk, 0, Tag(type)};
    return IffReadForm(&reader);
}

}  // namespace

uint8_t* ReadIff(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    g_iff = IffPicture{keep != 0, false, false, palette, nullptr, 0, 0, 0, 0, 0};
    int result = WalkForm(file, "PBM ");
    if (result == -2) {
        CurrentFileTable->Seek(file, 0, SEEK_SET);
        result = WalkForm(file, "ILBM");
    }
    uint8_t* pixels = g_iff.pixels;
    g_iff.pixels = nullptr;
    if (result != 1 || g_iff.refused) {
        MemFree(pixels);
        return nullptr;
    }
    *width = g_iff.width;
    *height = g_iff.height;
    *bits = 8;
    return pixels;
}
