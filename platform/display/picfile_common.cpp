// What the picture file readers share.
#include "platform/display/palette.h"
#include "platform/display/picfile.h"
#include "platform/display/screen.h"
#include "platform/memory.h"

#include <cstring>

namespace {

// A picture file larger than this is refused before it is read: the largest
// picture plus room for its header and palette.
constexpr size_t kPictureFileMax = size_t(kPictureMaxBytes) + (1u << 20);

}  // namespace

uint8_t ByteView::U8() {
    if (!Has(1)) {
        failed = true;
        return 0;
    }
    return data[position++];
}

uint16_t ByteView::U16() {
    if (!Has(2)) {
        failed = true;
        return 0;
    }
    uint16_t v = static_cast<uint16_t>(data[position] | data[position + 1] << 8);
    position += 2;
    return v;
}

uint32_t ByteView::U32() {
    uint32_t low = U16();
    uint32_t high = U16();
    return low | high << 16;
}

uint16_t ByteView::U16Be() {
    if (!Has(2)) {
        failed = true;
        return 0;
    }
    uint16_t v = static_cast<uint16_t>(data[position] << 8 | data[position + 1]);
    position += 2;
    return v;
}

uint32_t ByteView::U32Be() {
    uint32_t high = U16Be();
    uint32_t low = U16Be();
    return high << 16 | low;
}

bool ByteView::Skip(size_t count) {
    if (!Has(count)) {
        failed = true;
        return false;
    }
    position += count;
    return true;
}

bool ByteView::Seek(size_t offset) {
    if (offset > size) {
        failed = true;
        return false;
    }
    position = offset;
    return true;
}

bool ReadWholeFile(FileHandle file, std::vector<uint8_t>* bytes) {
    bytes->clear();
    const size_t chunk = 1u << 16;
    for (;;) {
        size_t at = bytes->size();
        if (at > kPictureFileMax) return false;
        bytes->resize(at + chunk);
        size_t got = FileReadBytes(CurrentFileTable, file, bytes->data() + at, chunk);
        bytes->resize(at + got);
        if (got < chunk) return true;
    }
}

int ConvertFile555(uint8_t** pixels, uint32_t count) {
    const ScreenStateRecord& s = ScreenState;
    uint8_t* in = *pixels;
    if (s.bytesPerPixel == 2) {
        for (uint32_t n = 0; n < count; ++n) {
            uint32_t v = uint32_t(in[n * 2]) | uint32_t(in[n * 2 + 1]) << 8;
            uint8_t rgb[3] = {uint8_t(((v >> 10) & 31) << 3), uint8_t(((v >> 5) & 31) << 3), uint8_t((v & 31) << 3)};
            uint32_t p = PackScreenPixel(rgb);
            in[n * 2] = static_cast<uint8_t>(p);
            in[n * 2 + 1] = static_cast<uint8_t>(p >> 8);
        }
        return s.bitsPerPixel;
    }
    // Any other screen: the colours as 3-byte pixels.
    auto* out = static_cast<uint8_t*>(MemAlloc(count * 3));
    for (uint32_t n = 0; n < count; ++n) {
        uint32_t v = uint32_t(in[n * 2]) | uint32_t(in[n * 2 + 1]) << 8;
        StoreTriplet(out + size_t(n) * 3, uint8_t(((v >> 10) & 31) << 3), uint8_t(((v >> 5) & 31) << 3),
                     uint8_t((v & 31) << 3));
    }
    MemFree(in);
    *pixels = out;
    return 24;
}

void FileTripletsToForm(uint8_t* pixels, uint32_t count, int bytesPerPixel, bool bgrInFile) {
    if (bgrInFile == TripletIsBgr()) return;
    for (uint32_t n = 0; n < count; ++n) {
        uint8_t* p = pixels + size_t(n) * bytesPerPixel;
        uint8_t t = p[0];
        p[0] = p[2];
        p[2] = t;
    }
}

void GreyPalette(uint8_t* palette) {
    for (int i = 0; i < 256; ++i) std::memset(palette + i * 3, i, 3);
}
