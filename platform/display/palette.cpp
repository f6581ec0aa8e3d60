// Palettes, fades and pixel-format conversion.
#include "platform/display/palette.h"

#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/memory.h"
#include "platform/settings.h"

#include <cstdio>
#include <cstring>
#include <vector>

uint8_t FadeColour[3] = {255, 255, 255};
uint8_t FadeLevels[3] = {128, 128, 128};
const uint8_t* FadeTargetPalette = ScreenState.palette;

namespace {

// The brightness byte of the video settings, added to faded palettes.
constexpr int kBrightnessByte = 1;

// i x i for i = -255..255, looked up by a signed difference.
struct SquareTable {
    int32_t values[511];
    constexpr SquareTable() : values() {
        for (int i = -255; i <= 255; ++i) values[i + 255] = i * i;
    }
    int32_t operator[](int difference) const { return values[difference + 255]; }
};
constexpr SquareTable kSquares;

// One channel value packed into a screen channel of the given size and
// shift (sizes above 8 bits take the value in their top bits).
uint32_t PackChannel(uint32_t value, int size, int shift) {
    if (size <= 0) return 0;
    uint32_t v = size <= 8 ? value >> (8 - size) : value << (size - 8);
    return v << shift;
}

uint8_t UnpackChannel(uint32_t pixel, int size, int shift) {
    if (size <= 0) return 0;
    uint32_t v = (pixel >> shift) & ((1u << size) - 1u);
    return static_cast<uint8_t>(size <= 8 ? v << (8 - size) : v >> (size - 8));
}

uint32_t PackRgb(uint8_t r, uint8_t g, uint8_t b) {
    const ScreenStateRecord& s = ScreenState;
    return PackChannel(r, s.redSize, s.redShift) | PackChannel(g, s.greenSize, s.greenShift) |
           PackChannel(b, s.blueSize, s.blueShift);
}

void Store16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t Load16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint8_t ClampByte(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// 3- or 4-byte pixels packed into 16-bit ones: the common case of a colour
// picture loaded for a 16-bit screen, with the layout looked up once (the
// per-pixel path through PackRgb gives the same pixels).
void PackColours(uint8_t* out, const uint8_t* in, int sb, uint32_t count) {
    const ScreenStateRecord& s = ScreenState;
    bool bgr = TripletIsBgr();
    int r = bgr ? 2 : 0, b = bgr ? 0 : 2;
    uint32_t table[3][256];
    for (int v = 0; v < 256; ++v) {
        table[0][v] = PackChannel(uint32_t(v), s.redSize, s.redShift);
        table[1][v] = PackChannel(uint32_t(v), s.greenSize, s.greenShift);
        table[2][v] = PackChannel(uint32_t(v), s.blueSize, s.blueShift);
    }
    bool alpha = sb == 4 && s.alphaSize > 0;
    for (uint32_t n = 0; n < count; ++n, in += sb, out += 2) {
        uint32_t v = table[0][in[r]] | table[1][in[1]] | table[2][in[b]];
        if (alpha) v |= PackChannel(in[3], s.alphaSize, s.alphaShift);
        out[0] = static_cast<uint8_t>(v);
        out[1] = static_cast<uint8_t>(v >> 8);
    }
}

// Converts between two different sizes other than 1 to 1.
void ConvertPixels(uint8_t* out, const uint8_t* sourcePalette, int tb, const uint8_t* in, const uint8_t* targetPalette,
                   int sb, uint32_t count) {
    const ScreenStateRecord& s = ScreenState;
    if (sb == 1) {
        // Through a table of the 256 palette entries in the target form.
        uint32_t table[256];
        for (int i = 0; i < 256; ++i) {
            const uint8_t* e = sourcePalette + i * 3;
            table[i] = tb == 2 ? PackRgb(e[0], e[1], e[2]) : 0;
        }
        for (uint32_t n = 0; n < count; ++n) {
            uint8_t index = in[n];
            uint8_t* o = out + size_t(n) * tb;
            if (tb == 2) Store16(o, table[index]);
            else {
                const uint8_t* e = sourcePalette + index * 3;
                StoreTriplet(o, e[0], e[1], e[2]);  // a fourth byte is not written
            }
        }
        return;
    }
    if ((sb == 3 || sb == 4) && tb == 2) {
        PackColours(out, in, sb, count);
        return;
    }
    for (uint32_t n = 0; n < count; ++n) {
        const uint8_t* i = in + size_t(n) * sb;
        uint8_t* o = out + size_t(n) * tb;
        RgbColour c;
        if (sb == 2) {
            uint8_t rgb[3];
            ConvertPixelRow(Load16(i), rgb);
            c = {rgb[0], rgb[1], rgb[2]};
        } else {
            c = LoadTriplet(i);
        }
        if (tb == 1) {
            uint8_t rgb[3] = {c.r, c.g, c.b};
            o[0] = NearestColour(rgb, targetPalette);
        } else if (tb == 2) {
            uint32_t v = PackRgb(c.r, c.g, c.b);
            if (sb == 4) v |= PackChannel(i[3], s.alphaSize, s.alphaShift);
            Store16(o, v);
        } else {
            StoreTriplet(o, c.r, c.g, c.b);
            if (tb == 4 && sb == 3) o[3] = 0;
        }
    }
}

void SetPaletteSlot(int first, int count, const uint8_t* rgb) {
    if (ActivePrimTable.SetPalette) ActivePrimTable.SetPalette(first, count, rgb);
}

// One fade step's value of a channel at 8 bits per pixel.
int FadeValue(int kind, int v, int fade, int target, int m, int s) {
    switch (kind) {
    case 0: return v * m / s;
    case 1: return (fade - v) * m / s + v;
    case 2: return fade - v * m / s;
    default: return (target - v) * m / s + v;
    }
}

}  // namespace

uint8_t NearestColour(const uint8_t* rgb, const uint8_t* palette) {
    uint8_t best = 0;
    int32_t bestDistance = 0x7EFFFFFF;
    for (int i = 0; i < 256; ++i) {
        const uint8_t* e = palette + i * 3;
        int32_t d = (kSquares[int(e[2]) - rgb[2]] * 29 + kSquares[int(e[1]) - rgb[1]] * 150 +
                     kSquares[int(e[0]) - rgb[0]] * 77) >>
                    8;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<uint8_t>(i);
        }
    }
    return best;
}

uint32_t PackScreenPixel(const uint8_t* rgb) {
    if (ScreenState.bitsPerPixel == 8) return static_cast<uint32_t>(NearestColour(rgb, ScreenState.palette));
    return PackRgb(rgb[0], rgb[1], rgb[2]);
}

void ConvertPixelRow(uint32_t pixel, uint8_t* rgb) {
    const ScreenStateRecord& s = ScreenState;
    rgb[0] = UnpackChannel(pixel, s.redSize, s.redShift);
    rgb[1] = UnpackChannel(pixel, s.greenSize, s.greenShift);
    rgb[2] = UnpackChannel(pixel, s.blueSize, s.blueShift);
}

uint32_t PaletteEntryPixel(const uint8_t* palette, int index) {
    return PackScreenPixel(palette + (index & 0xFF) * 3);
}

bool TripletIsBgr() {
    return ScreenState.bytesPerPixel >= 3 && ScreenState.redShift != 0;
}

void StoreTriplet(uint8_t* pixel, uint8_t r, uint8_t g, uint8_t b) {
    if (TripletIsBgr()) {
        pixel[0] = b;
        pixel[2] = r;
    } else {
        pixel[0] = r;
        pixel[2] = b;
    }
    pixel[1] = g;
}

RgbColour LoadTriplet(const uint8_t* pixel) {
    if (TripletIsBgr()) return {pixel[2], pixel[1], pixel[0]};
    return {pixel[0], pixel[1], pixel[2]};
}

uint8_t* ConvertBitmap(uint8_t* destination, const uint8_t* sourcePalette, int targetBytes, uint8_t* source,
                       const uint8_t* targetPalette, int sourceBytes, uint32_t count) {
    if (!source || targetBytes < 1 || targetBytes > 4 || sourceBytes < 1 || sourceBytes > 4) return source;
    if (sourceBytes == targetBytes && sourceBytes != 1) {
        if (!destination) return source;
        std::memmove(destination, source, size_t(count) * sourceBytes);
        return destination;
    }
    if (sourceBytes == 1 && targetBytes == 1) {
        uint8_t* out = destination ? destination : source;
        if (sourcePalette == targetPalette) {
            if (destination) std::memmove(destination, source, count);
            return out;
        }
        uint8_t remap[256];
        for (int i = 0; i < 256; ++i) remap[i] = NearestColour(sourcePalette + i * 3, targetPalette);
        for (uint32_t n = 0; n < count; ++n) out[n] = remap[source[n]];
        return out;
    }
    uint8_t* out = destination;
    if (!out) out = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(size_t(count) * targetBytes)));
    if (!out) return source;
    ConvertPixels(out, sourcePalette, targetBytes, source, targetPalette, sourceBytes, count);
    if (!destination) MemFree(source);
    return out;
}

uint8_t* RemapPicture(const uint8_t* pixels, int width, int height, const uint8_t* from, const uint8_t* to) {
    if (!pixels || width <= 0 || height <= 0) return nullptr;
    uint32_t count = static_cast<uint32_t>(size_t(width) * size_t(height));
    auto* out = static_cast<uint8_t*>(MemAlloc(count));
    if (!out) return nullptr;
    return ConvertBitmap(out, from, 1, const_cast<uint8_t*>(pixels), to, 1, count);
}

void FadePaletteRange(const uint8_t* palette, int first, int last, int from, int to, const int divisors[3],
                      int kind) {
    if (first < 0) first = 0;
    if (last > 255) last = 255;
    if (first > last) return;
    int direction = to > from ? 1 : (to < from ? -1 : 0);
    int step = from;
    uint8_t shown[256 * 3];
    int brightness = EngineConfig.VideoBytes[kBrightnessByte];
    // A divisor of 0 would divide by zero; it counts as 1.
    int s[3];
    for (int c = 0; c < 3; ++c) s[c] = divisors[c] > 0 ? divisors[c] : 1;
    const uint8_t* target = FadeTargetPalette ? FadeTargetPalette : ScreenState.palette;
    do {
        int m = step;
        if (ScreenState.bitsPerPixel == 8) {
            for (int i = first; i <= last; ++i) {
                for (int c = 0; c < 3; ++c) {
                    int v = FadeValue(kind, palette[i * 3 + c], FadeColour[c], target[i * 3 + c], m, s[c]);
                    v = ClampByte(v);
                    if (brightness) v = v + 8 * brightness > 255 ? 255 : v + 8 * brightness;
                    shown[i * 3 + c] = static_cast<uint8_t>(v);
                }
            }
            step += direction;
            SetPaletteSlot(first, last - first + 1, shown + first * 3);
        } else {
            // No palette exists at these depths: the step only sets the
            // channel levels.
            for (int c = 0; c < 3; ++c) {
                int level = kind == 0 ? (m << 7) / s[c] : m * (FadeColour[c] - 128) / s[c] + 128;
                level = ClampByte(level + 2 * brightness);
                FadeLevels[c] = static_cast<uint8_t>(level);
            }
            step += direction;
            SetPaletteSlot(0, 1, FadeLevels);
        }
    } while (step != to);
}

void FadePalette(const uint8_t* palette, int from, int to, int total, int kind) {
    FadePaletteEntries(palette, 0, 255, from, to, total, kind);
}

void FadePaletteEntries(const uint8_t* palette, int first, int last, int from, int to, int total, int kind) {
    const int divisors[3] = {total, total, total};
    FadePaletteRange(palette, first, last, from, to, divisors, kind);
}

void RotatePalette(uint8_t* palette, int first, int last) {
    if (first < 0) first = 0;
    if (last > 255) last = 255;
    if (first >= last) return;
    uint8_t kept[3];
    std::memcpy(kept, palette + first * 3, 3);
    std::memmove(palette + first * 3, palette + (first + 1) * 3, size_t(last - first) * 3);
    std::memcpy(palette + last * 3, kept, 3);
    SetPaletteSlot(first, last - first + 1, palette + first * 3);
}

size_t ReadPalette(FileHandle file, uint8_t* palette) {
    uint8_t raw[768] = {};
    size_t got = FileReadBytes(CurrentFileTable, file, raw, sizeof raw);
    for (int i = 0; i < 256; ++i) std::memcpy(palette + i * 3, raw + (255 - i) * 3, 3);
    return got;
}

void LoadPaletteFile(uint8_t* palette, const char* name) {
    FileHandle file = CurrentFileTable->Open(name, "rb");
    if (!file) return;
    ReadPalette(file, palette);
    CurrentFileTable->Close(file);
}

void LuminanceTable(const uint8_t* palette, uint8_t* table) {
    for (int i = 0; i < 256; ++i) {
        const uint8_t* e = palette + i * 3;
        table[i] = static_cast<uint8_t>((29 * e[2] + 150 * e[1] + 77 * e[0]) >> 12);
    }
}

void BlurRgb(int width, int height, uint8_t* pixels, int bytesPerPixel) {
    if (!pixels || width <= 0 || height < 3 || (bytesPerPixel != 3 && bytesPerPixel != 4)) return;
    size_t pitch = size_t(width) * bytesPerPixel;
    // The 3-byte form reads from a copy; the 4-byte form works in place.
    std::vector<uint8_t> copy;
    const uint8_t* from = pixels;
    if (bytesPerPixel == 3) {
        copy.assign(pixels, pixels + pitch * height);
        from = copy.data();
    }
    for (int y = 1; y < height - 1; ++y) {
        for (int x = 0; x < width; ++x) {
            int left = x > 0 ? x - 1 : x, right = x < width - 1 ? x + 1 : x;
            for (int c = 0; c < 3; ++c) {
                int sum = from[y * pitch + size_t(left) * bytesPerPixel + c] +
                          from[y * pitch + size_t(right) * bytesPerPixel + c] +
                          from[(y - 1) * pitch + size_t(x) * bytesPerPixel + c] +
                          from[(y + 1) * pitch + size_t(x) * bytesPerPixel + c];
                pixels[y * pitch + size_t(x) * bytesPerPixel + c] = static_cast<uint8_t>(sum >> 2);
            }
        }
    }
}

void SmoothRgb(int width, int height, uint8_t* pixels) {
    if (!pixels || width <= 0 || height <= 0) return;
    size_t pitch = size_t(width) * 3;
    std::vector<uint8_t> copy(pixels, pixels + pitch * height);
    static const int kWeights[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    // Edge pixels repeat their row or column.
                    int yy = y + dy < 0 ? 0 : (y + dy >= height ? height - 1 : y + dy);
                    for (int dx = -1; dx <= 1; ++dx) {
                        int xx = x + dx < 0 ? 0 : (x + dx >= width ? width - 1 : x + dx);
                        sum += kWeights[dy + 1][dx + 1] * copy[yy * pitch + size_t(xx) * 3 + c];
                    }
                }
                pixels[y * pitch + size_t(x) * 3 + c] = static_cast<uint8_t>(sum >> 4);
            }
        }
    }
}

void ScaleRgb(int width, int height, uint8_t* pixels, int amount) {
    if (!pixels || width <= 0 || height <= 0) return;
    size_t n = size_t(width) * size_t(height) * 3;
    for (size_t i = 0; i < n; ++i) pixels[i] = ClampByte((amount * pixels[i]) >> 8);
}

void FilterPicture(Picture* picture, int bytesPerPixel, PictureFilter filter, int amount) {
    if (!picture || !picture->pixels || picture->width <= 0 || picture->height <= 0) return;
    uint32_t count = static_cast<uint32_t>(size_t(picture->width) * size_t(picture->height));
    uint8_t* pixels = picture->pixels;
    bool converted = bytesPerPixel != 3 && !(filter == PictureFilter::Blur && bytesPerPixel == 4);
    const uint8_t* palette = ScreenState.palette;
    if (converted) pixels = ConvertBitmap(nullptr, palette, 3, pixels, palette, bytesPerPixel, count);
    int filterBytes = converted ? 3 : bytesPerPixel;
    switch (filter) {
    case PictureFilter::Blur: BlurRgb(picture->width, picture->height, pixels, filterBytes); break;
    case PictureFilter::Smooth: SmoothRgb(picture->width, picture->height, pixels); break;
    case PictureFilter::Scale: ScaleRgb(picture->width, picture->height, pixels, amount); break;
    }
    if (converted) pixels = ConvertBitmap(nullptr, palette, bytesPerPixel, pixels, palette, 3, count);
    picture->pixels = pixels;
}

uint8_t** LoadBlendTable(const char* name) {
    const FileTable* t = CurrentFileTable;
    const ImageFormat* format = name ? FindImageFormat(name) : nullptr;
    if (!t || !format || !format->reader) return nullptr;
    FileHandle file = t->Open(name, "rb");
    if (!file) return nullptr;
    int32_t width = 0, height = 0, bits = 0;
    uint8_t palette[768];
    uint8_t* pixels = format->reader(file, &width, &height, &bits, palette, 1);
    t->Close(file);
    if (!pixels) return nullptr;
    if (width != 256 || height != 256 || PictureBytesPerPixel(bits) != 1) {
        MemFree(pixels);
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(MemAlloc(256 * sizeof(uint8_t*) + 65536));
    auto** rows = reinterpret_cast<uint8_t**>(block);
    uint8_t* cells = block + 256 * sizeof(uint8_t*);
    std::memcpy(cells, pixels, 65536);
    MemFree(pixels);
    for (int i = 0; i < 256; ++i) rows[i] = cells + i * 256;
    return rows;
}

int MergeIdenticalRows(uint8_t** rows) {
    if (!rows) return 0;
    int distinct = 0;
    for (int i = 0; i < 256; ++i) {
        int j = 0;
        while (j < i && rows[j] != rows[i] && std::memcmp(rows[j], rows[i], 256) != 0) ++j;
        if (j < i) rows[i] = rows[j];
        else ++distinct;
    }
    return distinct;
}

bool ShareRowBlocks(uint8_t** rows, int blockSize) {
    if (!rows || blockSize < 1 || blockSize > 256 || (blockSize & (blockSize - 1)) != 0) return false;
    for (int i = 0; i < 256; ++i) rows[i] = rows[i & ~(blockSize - 1)];
    return true;
}

void BuildPaletteBlend(const uint8_t* first, const uint8_t* second, PaletteBlendMode mode, int level,
                       PaletteBlendOutput output, const uint8_t* target, void* table) {
    if (!first || !second || !table) return;
    if (!target) target = ScreenState.palette;
    const int a = level < 0 ? 0 : (level > 256 ? 256 : level);
    for (int i = 0; i < 256; ++i) {
        uint8_t rgb[3] = {0, 0, 0};
        for (int c = 0; c < 3; ++c) {
            int p = first[i * 3 + c], q = second[i * 3 + c];
            switch (mode) {
            case PaletteBlendMode::Level: rgb[c] = ColourBlend(a, p, q); break;
            case PaletteBlendMode::Multiply: rgb[c] = ColourMultiply(p, q); break;
            case PaletteBlendMode::Add: rgb[c] = ColourAdd(p, q); break;
            case PaletteBlendMode::Subtract: rgb[c] = ColourSubtract(p, q); break;
            case PaletteBlendMode::SubtractReversed: rgb[c] = ColourSubtract(q, p); break;
            case PaletteBlendMode::Copy: rgb[c] = static_cast<uint8_t>(p); break;
            }
        }
        switch (output) {
        case PaletteBlendOutput::Remap8: static_cast<uint8_t*>(table)[i] = NearestColour(rgb, target); break;
        case PaletteBlendOutput::Pixels16:
            static_cast<uint16_t*>(table)[i] = static_cast<uint16_t>(PackRgb(rgb[0], rgb[1], rgb[2]));
            break;
        case PaletteBlendOutput::Pixels32: static_cast<uint32_t*>(table)[i] = PackRgb(rgb[0], rgb[1], rgb[2]); break;
        }
    }
}

void SetTopBitOfNonZero(uint16_t* values, uint32_t count) {
    if (!values) return;
    for (uint32_t i = 0; i < count; ++i)
        if (values[i]) values[i] = static_cast<uint16_t>(values[i] | 0x8000);
}
