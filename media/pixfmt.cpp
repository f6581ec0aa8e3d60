// Pixel-format descriptor: derivation from masks and pixel packing.
#include "media/pixfmt.h"

#include <algorithm>
#include <cstring>

namespace {

// One rule for the bytes a pixel takes: up to 8 bits 1, up to 16 bits 2,
// up to 24 bits 3, up to 32 bits 4, beyond that one more than the whole
// bytes.
int32_t BytesFor(int32_t totalBits) {
    if (totalBits <= 8) return 1;
    if (totalBits <= 16) return 2;
    if (totalBits <= 24) return 3;
    if (totalBits <= 32) return 4;
    return totalBits / 8 + 1;
}

void FromMask(uint32_t mask, int32_t* bits, int32_t* shift, int32_t* stored) {
    *stored = int32_t(mask);
    if (mask == 0) {
        *bits = *shift = 0;
        return;
    }
    int s = 0;
    while (!((mask >> s) & 1)) ++s;
    int n = 0;
    while (s + n < 32 && ((mask >> (s + n)) & 1)) ++n;
    *shift = s;
    *bits = n;
}

// A channel's mask from its size and shift: sizes count at most 8 bits (the
// components packed are 8-bit), shifts stay inside the word.
uint32_t MaskFor(int32_t bits, int32_t shift) {
    bits = std::clamp(bits, 0, 8);
    if (shift < 0 || shift > 31) return 0;
    return (255u >> (8 - bits)) << shift;
}

uint32_t PackChannel(int value, int32_t bits, int32_t shift, int32_t mask) {
    bits = std::clamp(bits, 0, 8);
    if (bits == 0 || shift < 0 || shift > 31) return 0;
    uint32_t v = uint32_t(std::clamp(value, 0, 255)) >> (8 - bits);
    return (v << shift) & uint32_t(mask);
}

}  // namespace

DDPixelFormat DDPixelFormatFromHost(const host::PixelFormat& f) {
    DDPixelFormat out{};
    if (f.bits == 8) {
        out.flags = DDPF_PALETTEINDEXED8;
        out.rgbBitCount = 8;
        return out;
    }
    out.flags = DDPF_RGB | (f.alphaMask ? DDPF_ALPHAPIXELS : 0);
    out.rgbBitCount = f.bits;
    out.redMask = f.redMask;
    out.greenMask = f.greenMask;
    out.blueMask = f.blueMask;
    out.alphaMask = f.alphaMask;
    return out;
}

bool PixelFormatFromSurfaceDesc(PixelFormatDesc* desc, const DDSurfaceFormat& surface) {
    if (!(surface.flags & DDSD_PIXELFORMAT)) return false;
    return PixelFormatFromDDPixelFormat(desc, &surface.pixelFormat);
}

bool PixelFormatFromDDPixelFormat(PixelFormatDesc* d, const DDPixelFormat* f) {
    if (!d || !f) return false;
    if (f->flags & DDPF_PALETTEINDEXED8) {
        std::memset(d, 0, sizeof *d);
        d->totalBits = 8;
        d->bytesPerPixel = 1;
        d->palette = 1;
        return true;
    }
    if (f->flags & (DDPF_PALETTEINDEXED1 | DDPF_PALETTEINDEXED2 | DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXEDTO8))
        return false;
    std::memset(d, 0, sizeof *d);
    FromMask(f->redMask, &d->redBits, &d->redShift, &d->redMask);
    FromMask(f->greenMask, &d->greenBits, &d->greenShift, &d->greenMask);
    FromMask(f->blueMask, &d->blueBits, &d->blueShift, &d->blueMask);
    if (f->flags & DDPF_ALPHAPIXELS) FromMask(f->alphaMask, &d->alphaBits, &d->alphaShift, &d->alphaMask);
    d->totalBits = d->redBits + d->blueBits + d->greenBits + d->alphaBits;
    d->bytesPerPixel = BytesFor(d->totalBits);
    return true;
}

bool PixelFormatFromSizes(PixelFormatDesc* d, int redBits, int greenBits, int blueBits, int redShift,
                          int greenShift, int blueShift) {
    std::memset(d, 0, sizeof *d);
    d->redBits = redBits;
    d->greenBits = greenBits;
    d->blueBits = blueBits;
    d->redShift = redShift;
    d->greenShift = greenShift;
    d->blueShift = blueShift;
    return PixelFormatComputeMasks(d);
}

bool PixelFormatComputeMasks(PixelFormatDesc* d) {
    d->totalBits = d->redBits + d->blueBits + d->greenBits + d->alphaBits;
    d->bytesPerPixel = BytesFor(d->totalBits);
    d->redMask = int32_t(MaskFor(d->redBits, d->redShift));
    d->blueMask = int32_t(MaskFor(d->blueBits, d->blueShift));
    d->greenMask = int32_t(MaskFor(d->greenBits, d->greenShift));
    d->alphaMask = int32_t(MaskFor(d->alphaBits, d->alphaShift));
    return true;
}

uint32_t PackPixel(const PixelFormatDesc* d, int red, int green, int blue, bool alpha) {
    if (d->palette) return 0;
    uint32_t p = PackChannel(red, d->redBits, d->redShift, d->redMask) |
                 PackChannel(green, d->greenBits, d->greenShift, d->greenMask) |
                 PackChannel(blue, d->blueBits, d->blueShift, d->blueMask);
    if (d->alphaBits && alpha) p |= uint32_t(d->alphaMask);
    return p;
}
