// The four primitive sets: lines, spans, rectangles, pixels and the
// whole-screen effects, by pixel size (1 byte in the 8-bit set, 2 in the
// 16-bit set, 4 in both 24/32-bit sets, 3 in their twins for screens of
// three bytes per pixel).  Nothing here clips: coordinates
// lie on the screen, which is locked.  Rectangle corners come in either
// order and are sorted by unsigned comparison.
#include "platform/display/prim.h"

#include "platform/display/drawtables.h"
#include "platform/display/blit.h"
#include "platform/display/picture.h"
#include "platform/display/pixel24.h"
#include "platform/display/screen.h"
#include "platform/display/toolkit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

void Prim_Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    auto put = ActivePrimTable.PutPixel;
    if (!put) return;
    int32_t dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    if (dx < dy) {
        if (y1 > y2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        int32_t step = x2 > x1 ? 1 : -1, d = 2 * dx - dy, x = x1;
        put(x1, y1, colour);
        for (int32_t y = y1 + 1; y <= y2; ++y) {
            if (d < 0) {
                d += 2 * dx;
            } else {
                x += step;
                d += 2 * (dx - dy);
            }
            put(x, y, colour);
        }
    } else {
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        int32_t step = y1 < y2 ? 1 : -1, d = 2 * dy - dx, y = y1;
        put(x1, y1, colour);
        for (int32_t x = x1 + 1; x <= x2; ++x) {
            if (d < 0) {
                d += 2 * dy;
            } else {
                y += step;
                d += 2 * (dy - dx);
            }
            put(x, y, colour);
        }
    }
}

namespace {

template <typename T>
inline T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void Store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

inline void Order(int32_t& a, int32_t& b) {
    if (uint32_t(a) > uint32_t(b)) std::swap(a, b);
}

template <typename T>
inline uint8_t* At(int32_t x, int32_t y) {
    return ScreenState.frameBuffer + int64_t(y) * ScreenState.pitch + int64_t(x) * int64_t(sizeof(T));
}

// n pixels of one colour from p: 8 bytes of pixels per store, then the rest.
template <typename T>
void FillRun(uint8_t* p, int64_t n, uint32_t colour) {
    if (n <= 0) return;
    if constexpr (sizeof(T) == 1) {
        std::memset(p, int(colour & 0xFF), size_t(n));
    } else if constexpr (sizeof(T) == 3) {
        // Three-byte pixels do not tile an 8-byte word: one at a time.
        const T v = T(colour);
        for (int64_t i = 0; i < n; ++i) Store<T>(p + i * 3, v);
    } else {
        T v = T(colour);
        uint64_t pattern = 0;
        for (size_t i = 0; i < 8; i += sizeof(T)) pattern |= uint64_t(v) << (i * 8);
        int64_t bytes = n * int64_t(sizeof(T)), i = 0;
        for (; i + 8 <= bytes; i += 8) std::memcpy(p + i, &pattern, 8);
        for (; i < bytes; i += sizeof(T)) Store<T>(p + i, v);
    }
}

template <typename T>
void Prim_HSpan(int32_t x, int32_t y, int32_t length, uint32_t colour) {
    if (length == 0 || !ScreenState.frameBuffer) return;
    int64_t start = x, n = length;
    if (n < 0) {
        start += n;
        n = -n;
    }
    FillRun<T>(At<T>(int32_t(start), y), n, colour);
}

template <typename T>
void Prim_VSpan(int32_t x, int32_t y, int32_t length, uint32_t colour) {
    if (!ScreenState.frameBuffer) return;
    int32_t top = length < 0 ? y + length : y;
    uint8_t* p = At<T>(x, top);
    for (int64_t i = 0, n = std::abs(int64_t(length)) + 1; i < n; ++i, p += ScreenState.pitch) Store<T>(p, T(colour));
}

template <typename T>
void Prim_FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (!ScreenState.frameBuffer) return;
    Order(x1, x2);
    Order(y1, y2);
    for (int32_t y = y1; y <= y2; ++y) FillRun<T>(At<T>(x1, y), int64_t(x2) - x1 + 1, colour);
}

template <typename T>
void Prim_FrameRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (!ScreenState.frameBuffer) return;
    Order(x1, x2);
    Order(y1, y2);
    int64_t width = int64_t(x2) - x1 + 1;
    FillRun<T>(At<T>(x1, y1), width, colour);
    for (int32_t y = y1; y < y2; ++y) {
        Store<T>(At<T>(x1, y), T(colour));
        Store<T>(At<T>(x2, y), T(colour));
    }
    FillRun<T>(At<T>(x1, y2), width, colour);
}

// A checkerboard: in row y every second pixel from x1 + 1 when y2 - y is
// even, from x1 when it is odd.
template <typename T>
void Prim_StippleRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (!ScreenState.frameBuffer) return;
    Order(x1, x2);
    Order(y1, y2);
    for (int32_t y = y1; y <= y2; ++y) {
        int64_t first = int64_t(x1) + (((int64_t(y2) - y) & 1) == 0 ? 1 : 0);
        uint8_t* row = At<T>(0, y);
        for (int64_t x = first; x <= x2; x += 2) Store<T>(row + x * int64_t(sizeof(T)), T(colour));
    }
}

template <typename T>
void Prim_PutPixel(int32_t x, int32_t y, uint32_t colour) {
    if (ScreenState.frameBuffer) Store<T>(At<T>(x, y), T(colour));
}

template <typename T>
uint32_t Prim_GetPixel(int32_t x, int32_t y) {
    return ScreenState.frameBuffer ? uint32_t(Load<T>(At<T>(x, y))) : 0;
}

// Tinted rectangles.  The 8-bit set remaps x1..x2 through a 256-byte
// table; the others change x1..x2 - 1 and ignore the table.

void Prim_TintRemap(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const void* table) {
    if (!ScreenState.frameBuffer || !table) return;
    const uint8_t* remap = static_cast<const uint8_t*>(table);
    Order(x1, x2);
    Order(y1, y2);
    for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* row = At<uint8_t>(0, y);
        for (int64_t x = x1; x <= x2; ++x) row[x] = remap[row[x]];
    }
}

template <typename T, typename F>
void TintRows(int32_t x1, int32_t y1, int32_t x2, int32_t y2, F f) {
    if (!ScreenState.frameBuffer) return;
    Order(x1, x2);
    Order(y1, y2);
    for (int32_t y = y1; y <= y2; ++y) {
        uint8_t* row = At<T>(0, y);
        for (int64_t x = x1; x < x2; ++x) {
            uint8_t* p = row + x * int64_t(sizeof(T));
            Store<T>(p, T(f(uint32_t(Load<T>(p)))));
        }
    }
}

void Prim_TintHalf(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const void*) {
    uint32_t half = ScreenState.halvingMask, colour = g_DrawColour & half;
    TintRows<uint16_t>(x1, y1, x2, y2, [=](uint32_t p) { return (colour + (p & half)) >> 1; });
}

template <typename T = uint32_t>
void Prim_TintNegate(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const void*) {
    TintRows<T>(x1, y1, x2, y2, [](uint32_t p) { return 0u - p; });
}

// Per byte min(255, p x L / 256 + c x (255 - L) / 256) in the 16-bit lanes
// of the MMX arithmetic.
template <typename T = uint32_t>
void Prim_TintLevel(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const void*) {
    uint32_t level = g_BlendLevel & 0xFFFF, inverse = (255 - level) & 0xFFFF, colour = g_DrawColour;
    TintRows<T>(x1, y1, x2, y2, [=](uint32_t p) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t a = (((p >> shift) & 0xFF) * level & 0xFFFF) >> 8;
            uint32_t b = (((colour >> shift) & 0xFF) * inverse & 0xFFFF) >> 8;
            out |= std::min(255u, a + b) << shift;
        }
        return out;
    });
}

// The picture in blocks of 2^shift x 2^shift pixels, each of the colour of
// its top-left picture pixel; written from the last row to the first.  Only
// the part that the picture and the screen share is drawn.
template <typename T>
void Prim_Mosaic(const Picture* picture, int32_t shift) {
    const ScreenStateRecord& s = ScreenState;
    if (!s.frameBuffer || !picture || !picture->pixels) return;
    int64_t width = std::min<int64_t>(s.width, picture->width), height = std::min<int64_t>(s.height, picture->height);
    if (width <= 0 || height <= 0) return;
    if (shift < 0) shift = 0;
    int64_t block = shift >= 31 ? width : std::min<int64_t>(width, int64_t(1) << shift);
    int64_t mask = shift >= 31 ? 0 : ~((int64_t(1) << shift) - 1);
    int64_t rowBytes = int64_t(picture->width) * int64_t(sizeof(T));
    for (int64_t y = height - 1; y >= 0; --y) {
        const uint8_t* src = picture->pixels + (y & mask) * rowBytes;
        uint8_t* dst = s.frameBuffer + y * int64_t(s.pitch);
        for (int64_t x = 0; x < width; x += block)
            FillRun<T>(dst + x * int64_t(sizeof(T)), std::min(block, width - x),
                       uint32_t(Load<T>(src + x * int64_t(sizeof(T)))));
    }
}

void SetNoPalette(int32_t, int32_t, const uint8_t*) {}

// Bump lighting of the frame from a height buffer laid out like it.
void Prim_ReliefLight(int32_t lightX, int32_t lightY, const void* heights, const void* table) {
    const ScreenStateRecord& s = ScreenState;
    uint8_t* frame = s.frameBuffer;
    uint8_t** rows = g_BlendRows;
    const uint8_t* light = BlendTable;
    if (!frame || !heights || !table || !rows || !light) return;
    const uint8_t* buffer = static_cast<const uint8_t*>(heights);
    const uint8_t* entry = static_cast<const uint8_t*>(table);
    auto height = [entry](uint8_t v) { return int32_t(entry[v * 3]); };
    const int64_t pitch = s.pitch;
    for (int64_t y = 1; y <= int64_t(s.clipBottom) - 1; ++y) {
        int32_t yr = int32_t(y) - lightY;
        for (int64_t x = 1; x <= pitch - 2; ++x) {
            int64_t p = y * pitch + x;
            int32_t xr = int32_t(x) + 1 - lightX;
            int32_t gy = height(buffer[p + pitch]) - height(buffer[p - pitch]) - yr;
            int32_t gx = height(buffer[p - 1]) - height(buffer[p + 1]) - xr;
            int32_t ly = std::max(0, 128 - std::abs(gy)), lx = std::max(0, 128 - std::abs(gx));
            frame[p] = rows[light[ly * 256 + lx]][buffer[p]];
        }
    }
}

// The frame smoothed into a buffer through the blend rows: each byte from
// row 1 to the second-last row blends its vertical pair with its
// horizontal pair, the neighbours `step` bytes away (the next pixel's
// same channel).
template <int kStep>
void SmoothToBuffer(void* destination) {
    const ScreenStateRecord& s = ScreenState;
    uint8_t** R = g_BlendRows;
    const uint8_t* f = s.frameBuffer;
    if (!f || !destination || !R || s.frameSize < 2 * s.pitch || s.pitch < kStep) return;
    uint8_t* out = static_cast<uint8_t*>(destination);
    const int64_t pitch = s.pitch, end = int64_t(s.frameSize) - pitch;
    for (int64_t p = pitch; p < end; ++p)
        out[p] = R[R[f[p + pitch]][f[p - pitch]]][R[f[p + kStep]][f[p - kStep]]];
}

void Prim_BlendBuffer(const void* source) {
    const ScreenStateRecord& s = ScreenState;
    uint8_t** R = g_BlendRows;
    uint8_t* f = s.frameBuffer;
    if (!f || !source || !R) return;
    const uint8_t* src = static_cast<const uint8_t*>(source);
    for (uint32_t p = 0; p < s.frameSize; ++p) f[p] = R[src[p]][f[p]];
}

// An 8-bit picture indexing a 16 x 16 palette by two images' brightness:
// the second page receives lum[A] + 16 x lum[B], lum the 4-bit luminance
// of the screen palette's entry.
void Prim_MergeImages(const void* a, const void* b) {
    const ScreenStateRecord& s = ScreenState;
    uint8_t* out = s.secondPage;
    if (!out || !a || !b) return;
    uint8_t lum[256];
    for (int i = 0; i < 256; ++i) {
        const uint8_t* e = s.palette + i * 3;
        lum[i] = static_cast<uint8_t>((29 * e[2] + 150 * e[1] + 77 * e[0]) >> 12);
    }
    const uint8_t* A = static_cast<const uint8_t*>(a);
    const uint8_t* B = static_cast<const uint8_t*>(b);
    for (uint32_t p = 0; p < s.frameSize; ++p) out[p] = static_cast<uint8_t>(lum[A[p]] + (lum[B[p]] << 4));
}

template <typename T>
constexpr PrimTable MakePrimSet(void (*tint)(int32_t, int32_t, int32_t, int32_t, const void*),
                                void (*smooth)(void*)) {
    PrimTable t{};
    t.Line = Prim_Line;
    t.HSpan = Prim_HSpan<T>;
    t.VSpan = Prim_VSpan<T>;
    t.FrameRect = Prim_FrameRect<T>;
    t.TintRect = tint;
    t.StippleRect = Prim_StippleRect<T>;
    t.FillRect = Prim_FillRect<T>;
    t.PutPixel = Prim_PutPixel<T>;
    t.GetPixel = Prim_GetPixel<T>;
    t.SetPalette = SetNoPalette;
    t.ReliefLight = Prim_ReliefLight;
    t.SmoothToBuffer = smooth;
    t.BlendBuffer = Prim_BlendBuffer;
    t.MergeImages = Prim_MergeImages;
    t.Mosaic = Prim_Mosaic<T>;
    return t;
}

}  // namespace

const PrimTable PrimSet8 = MakePrimSet<uint8_t>(Prim_TintRemap, SmoothToBuffer<1>);
const PrimTable PrimSet16 = MakePrimSet<uint16_t>(Prim_TintHalf, SmoothToBuffer<1>);
const PrimTable PrimSet32 = MakePrimSet<uint32_t>(Prim_TintNegate<>, SmoothToBuffer<4>);
const PrimTable PrimSet32Mmx = MakePrimSet<uint32_t>(Prim_TintLevel<>, SmoothToBuffer<4>);
// The 24/32-bit sets over pixels of three bytes.
const PrimTable PrimSet24 = MakePrimSet<Pixel24>(Prim_TintNegate<Pixel24>, SmoothToBuffer<3>);
const PrimTable PrimSet24Mmx = MakePrimSet<Pixel24>(Prim_TintLevel<Pixel24>, SmoothToBuffer<3>);
