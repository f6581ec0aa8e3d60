// The 2D toolkit: light table, scalers, row copies, ellipses, page
// feedback and the 5-5-5 conversion.  The transitions are in transition.cpp.
#include "platform/display/toolkit.h"

#include "platform/display/palette.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>

uint8_t* BlendTable = nullptr;

uint8_t* BuildBlendTable() {
    uint8_t* table = static_cast<uint8_t*>(MemAlloc(65536));
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) table[a * 256 + b] = static_cast<uint8_t>(std::min(255u, (a * b) >> 6));
    BlendTable = table;
    return table;
}

void FreeBlendTable(uint8_t* table) {
    if (!table) table = BlendTable;
    if (!table) return;
    MemFree(table);
    if (table == BlendTable) BlendTable = nullptr;
}

void ScalePixels(const uint8_t* source, uint8_t* destination, int32_t sourceHeight, int32_t destinationHeight,
                 int32_t sourceWidth, int32_t destinationWidth, int32_t pixelSize) {
    if (!source || !destination || pixelSize < 1 || pixelSize > 4) return;
    if (destinationWidth <= 0 || destinationHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return;
    if (sourceWidth == destinationWidth && sourceHeight == destinationHeight) {
        std::memcpy(destination, source, size_t(destinationHeight) * size_t(destinationWidth) * size_t(pixelSize));
        return;
    }
    const int64_t stepY = (int64_t(sourceHeight) << 16) / destinationHeight;
    const int64_t stepX = (int64_t(sourceWidth) << 16) / destinationWidth;
    const size_t size = size_t(pixelSize), sourceRow = size_t(sourceWidth) * size;
    uint8_t* out = destination;
    int64_t Y = 0;
    for (int32_t r = 0; r < destinationHeight; ++r, Y += stepY) {
        const uint8_t* row = source + size_t(Y >> 16) * sourceRow;
        int64_t X = 0;
        for (int32_t c = 0; c < destinationWidth; ++c, X += stepX, out += size)
            std::memcpy(out, row + size_t(X >> 16) * size, size);
    }
}

void ScalePicture(Picture* destination, const Picture* source, int32_t pixelSize) {
    if (!destination || !source || destination->width <= 0 || destination->height <= 0) return;
    if (!destination->pixels)
        destination->pixels = static_cast<uint8_t*>(
            MemAlloc(uint32_t(destination->width) * uint32_t(destination->height) * uint32_t(pixelSize)));
    ScalePixels(source->pixels, destination->pixels, source->height, destination->height, source->width,
                destination->width, pixelSize);
}

namespace {

// Red, green and blue of a pixel of 1 byte (through the screen palette) or
// 2 bytes (by the screen's channel layout).
void PixelColour(const uint8_t* p, int size, uint8_t* rgb) {
    if (size == 1) {
        std::memcpy(rgb, ScreenState.palette + *p * 3, 3);
    } else {
        uint16_t v;
        std::memcpy(&v, p, 2);
        ConvertPixelRow(v, rgb);
    }
}

void StoreColour(uint8_t* p, int size, const uint32_t* rgb) {
    if (size == 1) {
        uint8_t c[3] = {uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2])};
        *p = NearestColour(c, ScreenState.palette);
        return;
    }
    const ScreenStateRecord& s = ScreenState;
    auto pack = [](uint32_t v, int size, int shift) { return size > 0 && size <= 8 ? (v >> (8 - size)) << shift : 0u; };
    uint16_t v = static_cast<uint16_t>(pack(rgb[0], s.redSize, s.redShift) | pack(rgb[1], s.greenSize, s.greenShift) |
                                       pack(rgb[2], s.blueSize, s.blueShift));
    std::memcpy(p, &v, 2);
}

// The 3 x 3 filter around source pixel `index`; neighbours past a row's
// end run on into the adjacent row, and the two that would fall outside
// the picture are clamped to it.
void FilterAt(const uint8_t* pixels, int64_t index, int64_t width, int64_t count, int size, uint32_t* out) {
    static const int kWeights[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    const int64_t offsets[9] = {-width - 1, -width, -width + 1, -1, 0, 1, width - 1, width, width + 1};
    out[0] = out[1] = out[2] = 0;
    for (int k = 0; k < 9; ++k) {
        int64_t at = std::clamp<int64_t>(index + offsets[k], 0, count - 1);
        uint8_t rgb[3];
        PixelColour(pixels + at * size, size, rgb);
        for (int c = 0; c < 3; ++c) out[c] += uint32_t(kWeights[k]) * rgb[c];
    }
    for (int c = 0; c < 3; ++c) out[c] >>= 4;
}

}  // namespace

void SmoothScalePicture(Picture* destination, const Picture* source, int32_t pixelSize, int32_t rowSkip) {
    if (!destination || !source || !source->pixels || pixelSize < 1 || pixelSize > 4) return;
    if (destination->width <= 0 || destination->height <= 0 || source->width <= 0 || source->height <= 0) return;
    if (rowSkip < 0) rowSkip = 0;
    const int64_t size = pixelSize, dw = destination->width, dh = destination->height;
    const int64_t sw = source->width, sh = source->height;
    const int64_t stepY = (sh << 16) / dh, stepX = (sw << 16) / dw;
    if (!destination->pixels)
        destination->pixels = static_cast<uint8_t*>(MemAlloc(uint32_t((dw * size + rowSkip) * dh)));
    if (dw * dh == sw * sh) {
        std::memcpy(destination->pixels, source->pixels, size_t(dw * dh * size));
        return;
    }
    const bool filtered = size <= 2;
    uint8_t* out = destination->pixels;
    int64_t Y = 0;
    for (int64_t r = 0; r < dh; ++r, Y += stepY, out += rowSkip) {
        const int64_t row = Y >> 16;
        int64_t X = 0;
        for (int64_t c = 0; c < dw; ++c, X += stepX, out += size) {
            const int64_t index = row * sw + (X >> 16);
            if (!filtered || row == 0 || row == sh - 1) {
                std::memcpy(out, source->pixels + index * size, size_t(size));
                continue;
            }
            uint32_t rgb[3];
            FilterAt(source->pixels, index, sw, sw * sh, int(size), rgb);
            StoreColour(out, int(size), rgb);
        }
    }
}

void CopyPixelRows(const uint8_t* source, uint8_t* destination, int32_t rows, int32_t sourceStep, int32_t rowWidth) {
    if (!source || !destination || rows <= 0 || rowWidth <= 0) return;
    const size_t bytes = size_t(rowWidth) * ScreenState.bytesPerPixel;
    for (int32_t r = 0; r < rows; ++r, source += sourceStep, destination += bytes) std::memcpy(destination, source, bytes);
}

void TransposeBytes(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height) {
    if (!source || !destination || width <= 0 || height <= 0) return;
    for (int32_t x = 0; x < width; ++x)
        for (int32_t y = 0; y < height; ++y) *destination++ = source[size_t(y) * size_t(width) + size_t(x)];
}

void GrabScreenRect(int32_t x, int32_t y, Picture* picture) {
    const ScreenStateRecord& s = ScreenState;
    if (!s.frameBuffer || !picture || !picture->pixels || picture->width <= 0 || picture->height <= 0) return;
    if (x < 0 || y < 0 || int64_t(x) + picture->width > int64_t(s.width) ||
        int64_t(y) + picture->height > int64_t(s.height))
        return;
    const size_t bytes = size_t(picture->width) * s.bytesPerPixel;
    const uint8_t* from = s.frameBuffer + size_t(y) * s.pitch + size_t(x) * s.bytesPerPixel;
    uint8_t* to = picture->pixels;
    for (int32_t r = 0; r < picture->height; ++r, from += s.pitch, to += bytes) std::memcpy(to, from, bytes);
}

void FillEllipseSpans(int32_t a, int32_t b, int32_t cx, int32_t cy, uint32_t colour) {
    const ScreenStateRecord& s = ScreenState;
    if (!ActivePrimTable.HSpan) return;
    int32_t x1 = cx - a, x2 = cx + a;
    if (x1 > x2) std::swap(x1, x2);
    x1 = std::clamp(x1, s.clipLeft, std::max(s.clipLeft, s.clipRight));
    x2 = std::clamp(x2, s.clipLeft, std::max(s.clipLeft, s.clipRight));
    for (int32_t row : {cy - b, cy + b})
        if (row >= s.clipTop && row <= s.clipBottom) ActivePrimTable.HSpan(x1, row, x2 - x1, colour);
}

void FillEllipse(int32_t cx, int32_t cy, int32_t width, int32_t height, uint32_t colour) {
    const int64_t rx = width / 2, ry = height / 2, rx2 = rx * rx, ry2 = ry * ry;
    int64_t x = 0, y = ry, dx = 0, dy = 2 * rx2 * ry, p = ry2 - rx2 * ry + rx2 / 4;
    while (dx < dy) {
        FillEllipseSpans(int32_t(x), int32_t(y), cx, cy, colour);
        if (p > 0) {
            dy -= 2 * rx2;
            y -= 1;
            p -= dy;
        }
        dx += 2 * ry2;
        x += 1;
        p += dx + ry2;
    }
    p += (3 * (rx2 - ry2) / 2 - (dx + dy)) / 2;
    while (y >= 0) {
        FillEllipseSpans(int32_t(x), int32_t(y), cx, cy, colour);
        if (p < 0) {
            dx += 2 * ry2;
            x += 1;
            p += dx;
        }
        dy -= 2 * rx2;
        y -= 1;
        p += rx2 - dy;
    }
}

namespace {
uint8_t g_trailBlendToggle = 0, g_trailSmoothToggle = 0;
}

void PageTrailBlend() {
    if (ScreenState.surfaceCount < 2) return;
    g_trailBlendToggle ^= 1;
    uint8_t* page = ScreenState.pages[g_trailBlendToggle];
    if (page && ActivePrimTable.BlendBuffer) ActivePrimTable.BlendBuffer(page);
}

void PageTrailSmooth() {
    if (ScreenState.surfaceCount < 2) return;
    g_trailSmoothToggle ^= 1;
    uint8_t* page = ScreenState.pages[g_trailSmoothToggle];
    if (page && ActivePrimTable.SmoothToBuffer) ActivePrimTable.SmoothToBuffer(page);
}

void Convert565To555(uint16_t* buffer, uint32_t count) {
    if (!buffer) return;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t rgb[3];
        ConvertPixelRow(buffer[i], rgb);
        buffer[i] = static_cast<uint16_t>(((rgb[0] >> 3) << 10) + ((rgb[1] >> 3) << 5) + (rgb[2] >> 3));
    }
}
