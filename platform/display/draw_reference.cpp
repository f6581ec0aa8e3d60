// Plain twins of the blit and primitive sets.
#include "platform/display/draw_reference.h"

#include "platform/display/blit.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

int Bytes(DrawSet set) {
    switch (set) {
    case DrawSet::k8: return 1;
    case DrawSet::k16: return 2;
    case DrawSet::k24: case DrawSet::k24Mmx: return 3;
    default: return 4;
    }
}

// The set whose rules a set draws by: the three-byte sets by the four-byte
// ones (what lies above the low three bytes is never stored).
DrawSet Rules(DrawSet set) {
    return set == DrawSet::k24 ? DrawSet::k32 : set == DrawSet::k24Mmx ? DrawSet::k32Mmx : set;
}

uint32_t Read(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

void Write(uint8_t* p, int bytes, uint32_t v) {
    for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

uint8_t* ScreenAt(int64_t x, int64_t y, int bytes) {
    return ScreenState.frameBuffer + y * int64_t(ScreenState.pitch) + x * bytes;
}

uint8_t Byte(uint32_t v, int i) {
    return uint8_t(v >> (8 * i));
}

// A byte times a factor in a 16-bit lane: low 16 bits of the product,
// shifted right by 8.
uint32_t LaneProduct(uint32_t byte, uint32_t factor) {
    uint16_t product = uint16_t(byte * factor);
    return uint32_t(product >> 8);
}

// MMX level blend of two pixels: per byte (a x L) >> 8 + (b x (255 - L)) >> 8,
// at most 255.
uint32_t LevelBlend(uint32_t a, uint32_t b) {
    uint32_t level = g_BlendLevel & 0xFFFF, inverse = uint16_t(255 - level), out = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t v = LaneProduct(Byte(a, i), level) + LaneProduct(Byte(b, i), inverse);
        if (v > 255) v = 255;
        out |= v << (8 * i);
    }
    return out;
}

// MMX tint: per byte (a x P) >> 8.
uint32_t Tint(uint32_t a, uint32_t colour) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) out |= LaneProduct(Byte(a, i), Byte(colour, i)) << (8 * i);
    return out;
}

uint32_t HalfBlend(uint32_t c, uint32_t d) {
    uint32_t half = ScreenState.halvingMask;
    return ((c & half) + (d & half)) >> 1;
}

// The rule of an unscaled slot: whether the pixel is written, and with what.
bool UnscaledRule(DrawSet set, int slot, uint32_t s, uint32_t d, uint32_t* out) {
    const uint32_t K = g_TransparentColour, W = ScreenWhite, P = g_DrawColour;
    switch (Rules(set)) {
    case DrawSet::k8:
        if (slot == 1) {
            if (s == (K & 0xFF)) return false;
            *out = s == 0xFF ? (P & 0xFF) : s;
        } else if (slot == 2 || slot == 3) {
            *out = s;
        } else {
            if (!g_BlendRows) return false;
            *out = g_BlendRows[s == 0xFF ? (P & 0xFF) : s][d];
        }
        return true;
    case DrawSet::k16:
        if (slot == 1 || slot == 3) {
            if (s == K) return false;
            *out = s == W ? P : s;
        } else if (slot == 2) {
            *out = s;
        } else if (slot == 5) {
            *out = g_AddHook(s, d);
        } else {
            if (s == K) return false;
            *out = HalfBlend(s == W ? P : s, d);
        }
        return true;
    case DrawSet::k32:
        if (slot == 1) {
            if (s == K) return false;
            *out = s == W ? P : s;
        } else if (slot == 2 || slot == 3) {
            *out = s;
        } else {
            if (s == K) return false;
            *out = HalfBlend(s == W ? P : s, d);
        }
        return true;
    case DrawSet::k32Mmx:
        if (slot == 1) {
            if (s == K) return false;
            *out = s == W ? P : s;
        } else if (slot == 2 || slot == 3) {
            *out = s;
        } else if (slot == 4) {
            if (s == K) return false;
            *out = LevelBlend(s == W ? P : s, d);
        } else if (slot == 5) {
            if (s == K) return false;
            uint32_t c = s == W ? P : s, sum = 0;
            for (int i = 0; i < 4; ++i) sum |= std::min(255u, uint32_t(Byte(c, i)) + Byte(d, i)) << (8 * i);
            *out = sum;
        } else {
            *out = 0;
            for (int i = 0; i < 4; ++i) *out |= LaneProduct(Byte(s, i), g_BlendLevel & 0xFFFF) << (8 * i);
        }
        return true;
    default:  // the three-byte sets go by the rules of the four-byte ones
        break;
    }
    return false;
}

bool ScaledRule(DrawSet set, int slot, uint32_t s, uint32_t d, uint32_t* out) {
    const uint32_t K = g_TransparentColour, W = ScreenWhite, P = g_DrawColour;
    set = Rules(set);
    switch (set) {
    case DrawSet::k8:
        if (s == 0) return false;
        if (slot == 8 || slot == 9) {
            *out = s == 0xFF ? (P & 0xFF) : s;
        } else {
            if (!g_BlendRows) return false;
            *out = g_BlendRows[s][d];
        }
        return true;
    case DrawSet::k16:
    case DrawSet::k32:
        if (slot == 8 || slot == 9) {
            if (s == K) return false;
            *out = s == P ? W : s;
        } else if (slot == 10 || (set == DrawSet::k32 && slot == 13)) {
            *out = HalfBlend(s, d);
        } else if (set == DrawSet::k16) {
            *out = g_AddHook(s, d);
        } else {
            *out = 0;
            for (int i = 0; i < 3; ++i) *out |= std::min(255u, uint32_t(Byte(s, i)) + Byte(d, i)) << (8 * i);
        }
        return true;
    case DrawSet::k32Mmx:
        if (slot == 8 || slot == 9) {
            if (s == K) return false;
            *out = Tint(s, P);
        } else if (slot == 10 || slot == 13) {
            *out = Tint(LevelBlend(s, d), P);
        } else if (slot == 11) {
            *out = 0;
            for (int i = 0; i < 4; ++i) *out |= std::min(255u, uint32_t(Byte(s, i)) + Byte(d, i)) << (8 * i);
        } else {
            *out = 0;
            for (int i = 0; i < 4; ++i) *out |= uint32_t(std::max(0, int(Byte(s, i)) - int(Byte(d, i)))) << (8 * i);
        }
        return true;
    default:  // the three-byte sets go by the rules of the four-byte ones
        break;
    }
    return false;
}

void Put(DrawSet set, int64_t x, int64_t y, uint32_t colour) {
    Write(ScreenAt(x, y, Bytes(set)), Bytes(set), colour);
}

uint32_t Get(DrawSet set, int64_t x, int64_t y) {
    return Read(ScreenAt(x, y, Bytes(set)), Bytes(set));
}

void Sort(int32_t& a, int32_t& b) {
    if (uint32_t(a) > uint32_t(b)) std::swap(a, b);
}

}  // namespace

void ReferenceBlit(DrawSet set, int slot, int32_t x, int32_t y, const Picture* picture) {
    const ScreenStateRecord& s = ScreenState;
    if (!picture || !picture->pixels || !s.frameBuffer) return;
    const int bytes = Bytes(set);
    const bool mirror = set == DrawSet::k8 && slot == 3;
    for (int64_t j = 0; j < picture->height; ++j) {
        for (int64_t i = 0; i < picture->width; ++i) {
            int64_t X = x + i, Y = y + j;
            if (X < s.clipLeft || X > s.clipRight || Y < s.clipTop || Y > s.clipBottom) continue;
            int64_t column = mirror ? picture->width - 1 - i : i;
            uint32_t source = Read(picture->pixels + (j * picture->width + column) * bytes, bytes);
            uint32_t out;
            if (UnscaledRule(set, slot, source, Get(set, X, Y), &out)) Put(set, X, Y, out);
        }
    }
}

void ReferenceScaledBlit(DrawSet set, int slot, const Picture* picture, int32_t x, int32_t y, int32_t w, int32_t h) {
    const ScreenStateRecord& s = ScreenState;
    if (!picture || !picture->pixels || !s.frameBuffer || w <= 0 || h <= 0) return;
    if (picture->width <= 0 || picture->height <= 0) return;
    const bool indexed = slot != 8 && set != DrawSet::k8;
    const uint32_t* palette = static_cast<const uint32_t*>(picture->extra);
    if (indexed && !palette) return;
    const int sourceBytes = indexed ? 1 : Bytes(set);
    const int64_t stepX = (int64_t(picture->width) << 16) / w, stepY = (int64_t(picture->height) << 16) / h;
    for (int64_t j = 0; j < h; ++j) {
        for (int64_t i = 0; i < w; ++i) {
            int64_t X = x + i, Y = y + j;
            if (slot != 8 && (X < s.clipLeft || X >= s.clipRight || Y < s.clipTop || Y >= s.clipBottom)) continue;
            int64_t row = (j * stepY) >> 16, column = (i * stepX) >> 16;
            uint32_t source = Read(picture->pixels + (row * picture->width + column) * sourceBytes, sourceBytes);
            if (indexed) source = palette[source];
            uint32_t out;
            if (ScaledRule(set, slot, source, Get(set, X, Y), &out)) Put(set, X, Y, out);
        }
    }
}

void ReferenceHSpan(DrawSet set, int32_t x, int32_t y, int32_t length, uint32_t colour) {
    if (length > 0)
        for (int64_t i = 0; i < length; ++i) Put(set, x + i, y, colour);
    else
        for (int64_t i = length; i < 0; ++i) Put(set, x + i, y, colour);
}

void ReferenceVSpan(DrawSet set, int32_t x, int32_t y, int32_t length, uint32_t colour) {
    int64_t step = length < 0 ? -1 : 1;
    for (int64_t k = 0; k <= std::abs(int64_t(length)); ++k) Put(set, x, y + step * k, colour);
}

void ReferenceFillRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    Sort(x1, x2);
    Sort(y1, y2);
    for (int64_t y = y1; y <= y2; ++y)
        for (int64_t x = x1; x <= x2; ++x) Put(set, x, y, colour);
}

void ReferenceFrameRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    Sort(x1, x2);
    Sort(y1, y2);
    for (int64_t x = x1; x <= x2; ++x) Put(set, x, y1, colour);
    for (int64_t y = y1; y < y2; ++y) {
        Put(set, x1, y, colour);
        Put(set, x2, y, colour);
    }
    for (int64_t x = x1; x <= x2; ++x) Put(set, x, y2, colour);
}

void ReferenceStippleRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    Sort(x1, x2);
    Sort(y1, y2);
    for (int64_t y = y1; y <= y2; ++y) {
        int64_t offset = (y2 - y) % 2 == 0 ? 1 : 0;
        for (int64_t x = x1; x <= x2; ++x)
            if ((x - x1) % 2 == offset) Put(set, x, y, colour);
    }
}

void ReferenceTintRect(DrawSet set, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const void* table) {
    Sort(x1, x2);
    Sort(y1, y2);
    const uint8_t* remap = static_cast<const uint8_t*>(table);
    if (set == DrawSet::k8 && !remap) return;
    int64_t last = set == DrawSet::k8 ? x2 : int64_t(x2) - 1;
    for (int64_t y = y1; y <= y2; ++y) {
        for (int64_t x = x1; x <= last; ++x) {
            uint32_t p = Get(set, x, y), out = 0;
            const DrawSet rules = Rules(set);
            if (rules == DrawSet::k8) {
                out = remap[p];
            } else if (rules == DrawSet::k16) {
                out = HalfBlend(g_DrawColour, p);
            } else if (rules == DrawSet::k32) {
                out = ~p + 1;
            } else {
                uint32_t level = g_BlendLevel & 0xFFFF, inverse = uint16_t(255 - level);
                for (int i = 0; i < 4; ++i) {
                    uint32_t v = LaneProduct(Byte(p, i), level) + LaneProduct(Byte(g_DrawColour, i), inverse);
                    out |= std::min(255u, v) << (8 * i);
                }
            }
            Put(set, x, y, out);
        }
    }
}

void ReferenceMosaic(DrawSet set, const Picture* picture, int32_t shift) {
    const ScreenStateRecord& s = ScreenState;
    if (!picture || !picture->pixels || !s.frameBuffer) return;
    const int bytes = Bytes(set);
    int64_t width = std::min<int64_t>(s.width, picture->width), height = std::min<int64_t>(s.height, picture->height);
    int64_t mask = shift >= 31 ? 0 : ~((int64_t(1) << std::max(shift, 0)) - 1);
    for (int64_t y = height - 1; y >= 0; --y)
        for (int64_t x = 0; x < width; ++x)
            Put(set, x, y, Read(picture->pixels + ((y & mask) * picture->width + (x & mask)) * bytes, bytes));
}
