// PCX pictures: 8 bits per pixel in one plane, run-length rows, the
// 256-colour palette after the byte 12 at the end of the file.
#include "platform/display/picfile.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kPaletteTail = 769;  // the byte 12 and 768 palette bytes

void Put16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

uint8_t* ReadPcx(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, &bytes)) return nullptr;
    ByteView in(bytes);
    uint8_t manufacturer = in.U8(), version = in.U8();
    in.U8();  // encoding
    uint8_t bitsPerPixel = in.U8();
    int32_t xmin = in.U16(), ymin = in.U16(), xmax = in.U16(), ymax = in.U16();
    in.Seek(65);
    uint8_t planes = in.U8();
    uint32_t bytesPerLine = in.U16();
    if (in.failed || bytes.size() < kHeaderSize || manufacturer != 10 || version != 5) return nullptr;
    *bits = bitsPerPixel == 1 ? planes : bitsPerPixel;
    if (bytes.size() < kHeaderSize + kPaletteTail || bytes[bytes.size() - kPaletteTail] != 12) return nullptr;
    std::memcpy(palette, bytes.data() + bytes.size() - kPaletteTail + 1, 768);
    if (!keep) return nullptr;
    // Only one byte per pixel in one plane is kept: other layouts have rows
    // that are not pixels.
    if (bitsPerPixel != 8 || planes != 1) return nullptr;
    int32_t w = xmax - xmin + 1, h = ymax - ymin + 1;
    uint8_t* pixels = AllocPicturePixels(w, h, 1);
    if (!pixels) return nullptr;
    *width = w;
    *height = h;
    // The picture's rows as one run-length stream of bytes-per-line bytes
    // each: a run that crosses the end of a row goes on in the next one and
    // one that crosses the end of the picture is cut there.
    const uint8_t* data = bytes.data() + kHeaderSize;
    size_t dataSize = bytes.size() - kHeaderSize - kPaletteTail;
    size_t at = 0;
    uint32_t kept = std::min<uint32_t>(bytesPerLine, uint32_t(w));
    uint32_t runLeft = 0;
    uint8_t runValue = 0;
    for (int32_t row = 0; row < h && bytesPerLine > 0; ++row) {
        uint8_t* out = pixels + size_t(row) * w;
        for (uint32_t x = 0; x < bytesPerLine; ++x) {
            if (runLeft == 0) {
                if (at >= dataSize) return pixels;  // the rest stays 0
                uint8_t b = data[at++];
                if (b > 191) {
                    runLeft = b & 0x3F;
                    runValue = at < dataSize ? data[at++] : 0;
                    if (runLeft == 0) {
                        --x;  // an empty run writes nothing
                        continue;
                    }
                } else {
                    runLeft = 1;
                    runValue = b;
                }
            }
            --runLeft;
            if (x < kept) out[x] = runValue;
        }
    }
    return pixels;
}

void WritePcx(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth,
              const uint8_t* palette) {
    // One byte per pixel is what the format's rows hold here.
    if (!pixels || depth != 8 || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return;
    uint8_t header[kHeaderSize] = {};
    header[0] = 10;
    header[1] = 5;
    header[2] = 1;
    header[3] = static_cast<uint8_t>(depth);
    Put16(header + 8, width - 1);
    Put16(header + 10, height - 1);
    Put16(header + 12, width);
    Put16(header + 14, height);
    for (int i = 0; i < 16; ++i) header[16 + i * 3] = static_cast<uint8_t>(i);
    header[65] = 1;
    Put16(header + 66, width);
    Put16(header + 68, 1);
    std::vector<uint8_t> out(header, header + kHeaderSize);
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* p = pixels + size_t(row) * width;
        int32_t x = 0;
        while (x < width) {
            int count = 0;
            while (x + 1 + count < width && p[x + 1 + count] == p[x] && count < 63) ++count;
            if (count >= 1) {
                // The last equal byte starts the next step.
                out.push_back(static_cast<uint8_t>(0xC0 | count));
                out.push_back(p[x]);
                x += count;
            } else {
                if ((p[x] & 0xC0) == 0xC0) out.push_back(0xC1);
                out.push_back(p[x]);
                ++x;
            }
        }
    }
    out.push_back(12);
    out.insert(out.end(), palette, palette + 768);
    CurrentFileTable->Write(out.data(), 1, out.size(), file);
}
