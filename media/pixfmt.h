// The pixel-format descriptor of the video player's display: channel sizes,
// shifts and masks (in the order red, blue, green, alpha) derived from a
// display format's bit masks, and the packing of 8-bit components into a
// pixel of that format (for colour fills).
#pragma once

#include "host/gdi.h"

#include <cstdint>

// The display format flags the descriptor reads.
constexpr uint32_t DDPF_ALPHAPIXELS = 0x00000001;
constexpr uint32_t DDPF_PALETTEINDEXED4 = 0x00000008;
constexpr uint32_t DDPF_PALETTEINDEXEDTO8 = 0x00000010;
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr uint32_t DDPF_RGB = 0x00000040;
constexpr uint32_t DDPF_PALETTEINDEXED1 = 0x00000800;
constexpr uint32_t DDPF_PALETTEINDEXED2 = 0x00001000;
constexpr uint32_t DDSD_PIXELFORMAT = 0x00001000;

struct DDPixelFormat {
    uint32_t flags;
    uint32_t rgbBitCount;
    uint32_t redMask, greenMask, blueMask, alphaMask;
};

// What a surface description says of its format.
struct DDSurfaceFormat {
    uint32_t flags;  // DDSD_PIXELFORMAT when pixelFormat is filled
    DDPixelFormat pixelFormat;
};

struct PixelFormatDesc {
    int32_t totalBits;
    int32_t bytesPerPixel;
    int32_t redBits, blueBits, greenBits, alphaBits;
    int32_t redShift, blueShift, greenShift, alphaShift;
    int32_t redMask, blueMask, greenMask, alphaMask;
    uint8_t palette;  // 1: 8-bit palette-indexed
};

// The host's format of a surface as a display format.
DDPixelFormat DDPixelFormatFromHost(const host::PixelFormat& format);

bool PixelFormatFromSurfaceDesc(PixelFormatDesc* desc, const DDSurfaceFormat& surface);
bool PixelFormatFromDDPixelFormat(PixelFormatDesc* desc, const DDPixelFormat* format);
bool PixelFormatFromSizes(PixelFormatDesc* desc, int redBits, int greenBits, int blueBits, int redShift,
                          int greenShift, int blueShift);
bool PixelFormatComputeMasks(PixelFormatDesc* desc);
uint32_t PackPixel(const PixelFormatDesc* desc, int red, int green, int blue, bool alpha);
