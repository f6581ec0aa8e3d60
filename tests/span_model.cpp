#include "span_model.h"

#include <cmath>
#include <cstring>

namespace spanmodel {

int32_t RoundHalfEven(double x) {
    // The default rounding direction is to nearest, ties to even.
    return int32_t(uint32_t(int64_t(std::nearbyint(x))));
}

namespace {

Kind BaseKind(int32_t mode, bool walker) {
    switch (mode) {
    case -22: return Kind::AffineAdd555;
    case -21: return Kind::AffineAdd565;
    case -20: return Kind::PerspWrapHalf555;
    case -19: return Kind::AffineKeyedHalf555;
    case -18: return walker ? Kind::PerspWrapHalf555 : Kind::PerspHalf555;
    case -17: return Kind::AffineHalf555;
    case -16: return Kind::SolidHalf555;
    case -15: return Kind::AffineKeyedHalfDepth;
    case -14: return Kind::AffineKeyedHalf565;
    case -13: return Kind::AffineAlpha;
    case -12: return Kind::PerspAlpha;
    case -11: return Kind::AffineKeyedDepth;
    case -10: return Kind::AffineHalfDepth;
    case -9: return Kind::PerspTexelAlpha;
    case -8: return Kind::AffineTexelAlpha;
    case -7: return Kind::PerspWrapHalf565;
    case -6: return Kind::PerspKeyed;
    case -5: return Kind::AffineKeyed;
    case -4: return walker ? Kind::PerspWrapHalf565 : Kind::PerspHalf565;
    case -3: return Kind::AffineHalf565;
    case -2: return Kind::SolidHalf565;
    case 1: case 5: case 7: case 28: return Kind::Solid;
    case 2: case 6: case 24: return Kind::Affine;
    case 3: case 23: return Kind::Persp;
    case 9: return Kind::PerspWrap;
    case 10: return Kind::Solid8Wide;
    case 11: return Kind::Affine8Wide;
    case 12: return Kind::Persp8Wide;
    case 13: return Kind::FillGlobal8Wide;
    case 14: return Kind::FillGlobal;
    case 15: return Kind::CopyBackground;
    case 17: return Kind::SolidDepth;
    case 18: return Kind::AffineDepth;
    case 20: return Kind::PerspFrameRow;
    case 26: return Kind::PerspFrame;
    case 21: return Kind::AffineFrame;
    case 22: case 30: return Kind::AffineShaded;
    case 25: return Kind::AffineFrameShaded;
    case 27: return Kind::Fill0101;
    case 29: return Kind::Persp16;
    case 32: return Kind::AffineHalf565;
    case 33: return Kind::AffineHalf555;
    case 34: return Kind::PerspWrapHalf565;
    case 35: return Kind::PerspWrapHalf555;
    default: return Kind::Nothing;
    }
}

int32_t Partner(int32_t mode) {
    static const int32_t pairs[8][2] = {{-18, -4}, {-17, -3}, {-16, -2}, {-14, -19}, {-7, -20}, {-21, -22}, {32, 33}, {34, 35}};
    for (const auto& p : pairs) {
        if (p[0] == mode) return p[1];
        if (p[1] == mode) return p[0];
    }
    return mode;
}

// ---------------------------------------------------------------------------
// Reading the context's memory
// ---------------------------------------------------------------------------

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// The colour-table entry (row, texel) of a table that ends at `tableEnd`.
uint16_t ColourAt(const SpanContext& ctx, uint32_t tableEnd, uint32_t row, uint32_t texel) {
    uint32_t r = row > 31 ? 31 : row;
    return Le16(ctx.base + tableEnd - 32768 + (r * 256 + texel) * 4 + 2);
}

uint32_t RowFromShadeByte(uint32_t shade16) {
    int32_t b = int8_t(uint8_t(shade16 >> 16));
    return uint32_t(b < 0 ? 0 : b > 31 ? 31 : b);
}

bool TextureOk(const SpanContext& ctx, const SpanNode& n, uint32_t bytes) {
    return ctx.base && n.texels >= 32768 && uint64_t(n.texels) + bytes <= ctx.baseSize;
}

struct FrameModel {
    bool ok = false;
    uint32_t image = 0, rowLength = 0;
};
FrameModel FrameFor(const SpanContext& ctx, const SpanNode& n) {
    FrameModel f;
    uint64_t at = uint64_t(n.texels) + 8ull * n.level;
    if (!ctx.base || n.texels < 32768 || at + 8 > ctx.baseSize) return f;
    const uint8_t* e = ctx.base + at;
    uint32_t shift = e[4], rows = Le16(e + 6);
    if (shift == 0 || shift > 16 || rows != (1u << (16 - shift))) return f;
    uint64_t image = uint64_t(n.texels) + Le32(e);
    if (image + 65536 > ctx.baseSize) return f;
    f.ok = true;
    f.image = uint32_t(image);
    f.rowLength = rows;
    return f;
}

// ---------------------------------------------------------------------------
// Coordinates, each pixel on its own
// ---------------------------------------------------------------------------

int64_t FloorDiv(int64_t a, int shift) {
    return a >> shift;  // arithmetic: the floor
}

int32_t LeadOf(const SpanNode& n, int32_t start) {
    int32_t d = start - FloorDiv(n.x, 16);
    return d > 0 ? d : 0;
}

// An affine coordinate at pixel i: start value + slope x (lead + i), kept
// in 32 bits; answered as its integer part.
int64_t AffineInteger(int32_t value, int32_t slope, int64_t steps) {
    uint32_t at = uint32_t(value) + uint32_t(slope) * uint32_t(steps);
    return FloorDiv(int32_t(at), 16);
}

// A coordinate stepped with 8-bit fractions from a 16.16 start: after k
// steps of a 16.16 step.
int64_t EightBitInteger(int32_t start, int32_t step, int64_t k) {
    return FloorDiv(FloorDiv(start, 8) + k * FloorDiv(step, 8), 8);
}

uint32_t PointerIndex(int64_t u, int64_t v) {
    return uint32_t((v * 256 + u) & 0xFFFF);
}

// The 50 % blend of one pixel with mask m (17-bit sum halved).
uint16_t HalfWith(uint32_t src, uint32_t dst, uint32_t m) {
    uint32_t sum = (src & m) + (dst & m);
    return uint16_t(sum / 2);
}

// The pixel at byte address a is the high half of a 32-bit pair when it
// sits 2 bytes past a 4-byte boundary and is not the span's first.
bool PairHigh(uintptr_t address, int32_t i) {
    return i > 0 && ((address + uintptr_t(2) * uintptr_t(i)) % 4) == 2;
}

uint16_t HalfByAddress(uint32_t src, uint32_t dst, uintptr_t address, int32_t i, bool is555) {
    uint32_t m = is555 ? 0x7BDF : 0xF7DF;
    if (PairHigh(address, i)) m &= ~1u;
    return HalfWith(src, dst, m);
}

uint16_t Saturate(uint32_t src, uint32_t dst, bool is555) {
    uint32_t a = is555 ? 0x7BDF : 0xF7DF;
    uint32_t sum = (src & a) + (dst & a);
    bool blue = sum & (1u << 5);
    bool green = sum & (1u << (is555 ? 10 : 11));
    bool red = sum & (1u << (is555 ? 15 : 16));
    static const uint16_t t565[8] = {0x0000, 0x001F, 0x07E0, 0x07FF, 0xF800, 0xF81F, 0xFFE0, 0xFFFF};
    static const uint16_t t555[8] = {0x0000, 0x001F, 0x03E0, 0x03FF, 0x7C00, 0x7C1F, 0x7FE0, 0x7FFF};
    int index = (red ? 4 : 0) + (green ? 2 : 0) + (blue ? 1 : 0);
    uint32_t r = sum | (is555 ? t555[index] : t565[index]);
    return uint16_t(is555 ? r & 0x7FFF : r & 0xFFFF);
}

uint16_t TranslucentModel(const ShadeTableSet& t, uint32_t level, uint32_t src, uint32_t dst) {
    uint32_t a = level > 31 ? 31 : level;
    uint32_t sum = t.scaleRed[a][(src >> 8) & 0xFF] + t.scaleBlue[a][src & 0xFF] + t.scaleGreen[a][(src >> 5) & 0xFF] +
                   t.darkRed[a][(dst >> 8) & 0xFF] + t.darkBlue[a][dst & 0xFF] + t.darkGreen[a][(dst >> 5) & 0xFF];
    return uint16_t(sum & 0xFFFF);
}

// The depth test of pixel i.
bool DepthPasses(const SpanContext& ctx, const SpanNode& n, int32_t start, int32_t i) {
    const SpanDepthRecord* d = ctx.depth;
    if (!d || !d->samples) return true;
    int shift = d->shift & 31;
    uint32_t k = uint16_t(RoundHalfEven(n.key) >> shift);
    uint32_t s = uint16_t(RoundHalfEven(n.keySlope) >> shift);
    int16_t sample = int16_t(uint16_t(k + s * uint32_t(LeadOf(n, start) + i)));
    int16_t buffer = d->samples[int64_t(ctx.currentLine) * d->rowLength + start + i];
    return buffer < sample;
}

}  // namespace

Kind KindOf(int32_t mode, bool walker, bool swapped555) {
    return BaseKind(swapped555 ? Partner(mode) : mode, walker);
}

int BytesPerPixel(Kind k) {
    switch (k) {
    case Kind::Solid8: case Kind::FillGlobal8: case Kind::Affine8: case Kind::Persp8: return 1;
    default: return 2;
    }
}

bool ReadsFrame(Kind k) {
    switch (k) {
    case Kind::SolidHalf565: case Kind::SolidHalf555: case Kind::AffineHalf565: case Kind::AffineHalf555:
    case Kind::AffineKeyedHalf565: case Kind::AffineKeyedHalf555: case Kind::AffineAdd565: case Kind::AffineAdd555:
    case Kind::AffineAlpha: case Kind::AffineTexelAlpha: case Kind::AffineHalfDepth: case Kind::AffineKeyedHalfDepth:
    case Kind::PerspHalf565: case Kind::PerspHalf555: case Kind::PerspWrapHalf565: case Kind::PerspWrapHalf555:
    case Kind::PerspAlpha: case Kind::PerspTexelAlpha:
        return true;
    default:
        return false;
    }
}

std::vector<Run> PerspectiveRuns(const SpanNode& n, int32_t count, int32_t start) {
    std::vector<Run> runs;
    float offset = float(int32_t(uint32_t(start + 1) * 65536u - uint32_t(n.x)));
    float dx = offset / 65536.0f;
    float w = n.key + n.keySlope * dx;
    float uz = n.u.f + n.uSlope.f * dx;
    float vz = n.v.f + n.vSlope.f * dx;
    float wi = n.tail[0].f, ui = n.tail[1].f, vi = n.tail[2].f;
    auto diffStep = [](int32_t end, int32_t from, int32_t pixels) {
        float diff = float(int32_t(uint32_t(end) - uint32_t(from)));
        return RoundHalfEven(diff * (1.0f / float(pixels)));
    };
    if (count <= 2) {
        for (int32_t i = 0; i < count; ++i) {
            float wk = w, uk = uz, vk = vz;
            if (i == 1) {
                wk = w + n.keySlope;
                uk = uz + n.uSlope.f;
                vk = vz + n.vSlope.f;
            }
            runs.push_back({i, 1, RoundHalfEven(uk / wk), RoundHalfEven(vk / wk), 0, 0});
        }
        return runs;
    }
    if (count <= 16) {
        float f = float(count - 1) / 16.0f;
        int32_t us = RoundHalfEven(uz / w), vs = RoundHalfEven(vz / w);
        float we = w + f * wi, ue = uz + f * ui, ve = vz + f * vi;
        int32_t uEnd = RoundHalfEven(ue / we), vEnd = RoundHalfEven(ve / we);
        runs.push_back({0, count, us, vs, diffStep(uEnd, us, count), diffStep(vEnd, vs, count)});
        return runs;
    }
    // Run starts every 16 pixels, their values summed one increment at a
    // time; coordinates through the reciprocal.
    int32_t full = (count - 1) / 16;
    std::vector<float> W{w}, U{uz}, V{vz};
    for (int32_t k = 1; k <= full; ++k) {
        W.push_back(W.back() + wi);
        U.push_back(U.back() + ui);
        V.push_back(V.back() + vi);
    }
    auto at = [&](int32_t k, int32_t* u, int32_t* v) {
        float r = 1.0f / W[size_t(k)];
        *u = RoundHalfEven(U[size_t(k)] * r);
        *v = RoundHalfEven(V[size_t(k)] * r);
    };
    for (int32_t k = 0; k < full; ++k) {
        int32_t u0, v0, u1, v1;
        at(k, &u0, &v0);
        at(k + 1, &u1, &v1);
        int32_t du = int32_t(uint32_t(u1) - uint32_t(u0)) >> 4, dv = int32_t(uint32_t(v1) - uint32_t(v0)) >> 4;
        runs.push_back({16 * k, 16, u0, v0, du, dv});
    }
    int32_t r = count - 16 * full;
    int32_t u0, v0;
    at(full, &u0, &v0);
    float f = float(r - 1) / 16.0f;
    float we = W.back() + f * wi, ue = U.back() + f * ui, ve = V.back() + f * vi;
    float rw = 1.0f / we;
    int32_t uEnd = RoundHalfEven(ue * rw), vEnd = RoundHalfEven(ve * rw);
    runs.push_back({16 * full, r, u0, v0, diffStep(uEnd, u0, r), diffStep(vEnd, v0, r)});
    return runs;
}

void Draw(Kind k, const SpanContext& ctx, uint8_t* first, uintptr_t address, int32_t count, int32_t start,
          const SpanNode& given) {
    SpanNode n = given;
    auto get = [&](int32_t i) { return Le16(first + 2 * i); };
    auto set = [&](int32_t i, uint32_t v) {
        first[2 * i] = uint8_t(v);
        first[2 * i + 1] = uint8_t(v >> 8);
    };
    const int32_t lead = LeadOf(n, start);
    const bool is555 = k == Kind::SolidHalf555 || k == Kind::AffineHalf555 || k == Kind::AffineKeyedHalf555 ||
                       k == Kind::AffineAdd555 || k == Kind::PerspHalf555 || k == Kind::PerspWrapHalf555;

    switch (k) {
    case Kind::Nothing:
        return;
    case Kind::Solid:
        for (int32_t i = 0; i < count; ++i) set(i, n.colour);
        return;
    case Kind::Fill0101:
        for (int32_t i = 0; i < count; ++i) set(i, 0x0101);
        return;
    case Kind::FillGlobal:
        for (int32_t i = 0; i < count; ++i) set(i, PairHigh(address, i) ? ctx.fillWord >> 16 : ctx.fillWord & 0xFFFF);
        return;
    case Kind::CopyBackground:
        for (int32_t i = 0; i < count; ++i)
            set(i, ctx.background ? ctx.background[int64_t(ctx.currentLine) * ctx.backgroundRowLength + start + i] : 0);
        return;
    case Kind::SolidHalf565:
    case Kind::SolidHalf555:
        for (int32_t i = 0; i < count; ++i) set(i, HalfByAddress(n.colour, get(i), address, i, is555));
        return;
    case Kind::SolidDepth:
        for (int32_t i = 0; i < count; ++i)
            if (DepthPasses(ctx, n, start, i)) set(i, n.colour);
        return;
    case Kind::Solid8:
        for (int32_t i = 0; i < count; ++i) first[i] = uint8_t(n.colour & 0xFF);
        return;
    case Kind::FillGlobal8:
        for (int32_t i = 0; i < count; ++i) first[i] = uint8_t(ctx.fillWord & 0xFF);
        return;
    case Kind::Solid8Wide:
        for (int32_t i = 0; i < count; ++i) set(i, n.colour & 0xFF);
        return;
    case Kind::FillGlobal8Wide:
        for (int32_t i = 0; i < count; ++i) set(i, ctx.fillWord & 0xFF);
        return;
    default:
        break;
    }

    // Textured kinds: the texel index of each pixel.
    const bool perspective = k == Kind::Persp || k == Kind::PerspWrap || k == Kind::PerspHalf565 ||
                             k == Kind::PerspHalf555 || k == Kind::PerspWrapHalf565 || k == Kind::PerspWrapHalf555 ||
                             k == Kind::PerspAlpha || k == Kind::PerspTexelAlpha || k == Kind::PerspFrame || k == Kind::PerspFrameRow ||
                             k == Kind::Persp16 || k == Kind::PerspKeyed || k == Kind::Persp8 || k == Kind::Persp8Wide;
    bool frame = k == Kind::AffineFrame || k == Kind::AffineFrameShaded || k == Kind::PerspFrame ||
                 k == Kind::PerspFrameRow;
    const bool wrapping = k == Kind::PerspWrap || k == Kind::PerspWrapHalf565 || k == Kind::PerspWrapHalf555;
    const bool twoByte = k == Kind::AffineTexelAlpha || k == Kind::PerspTexelAlpha || k == Kind::Persp16;
    FrameModel fm;
    uint32_t texels = n.texels;
    if (frame) {
        fm = FrameFor(ctx, n);
        if (fm.ok) {
            texels = fm.image;
        } else {
            // No valid frame: the plain map at the texture pointer, in the
            // row the frame would have taken, with u and v multiplied back
            // from the level's texels to level 0's.
            if (!TextureOk(ctx, n, 65536)) return;
            frame = false;
            const uint32_t level = n.level > 31 ? 31 : n.level;
            if (perspective) {
                const float m = float(uint64_t(1) << level);
                n.u.f *= m, n.v.f *= m, n.uSlope.f *= m, n.vSlope.f *= m, n.tail[1].f *= m, n.tail[2].f *= m;
            } else {
                const uint64_t m = uint64_t(1) << level;
                auto times = [m](int32_t x) { return int32_t(uint32_t(uint64_t(uint32_t(x)) * m)); };
                n.u.i = times(n.u.i), n.v.i = times(n.v.i), n.uSlope.i = times(n.uSlope.i), n.vSlope.i = times(n.vSlope.i);
            }
        }
    } else if (!TextureOk(ctx, n, twoByte ? 131072 : 65536)) {
        return;
    }
    if ((k == Kind::AffineAlpha || k == Kind::AffineTexelAlpha || k == Kind::PerspAlpha || k == Kind::PerspTexelAlpha) &&
        !ctx.translucency)
        return;

    std::vector<uint32_t> index(static_cast<size_t>(count), 0u);
    if (perspective) {
        for (const Run& r : PerspectiveRuns(n, count, start))
            for (int32_t j = 0; j < r.length; ++j) {
                int64_t u = EightBitInteger(r.u, r.du, j), v = EightBitInteger(r.v, r.dv, j);
                uint32_t ix = frame      ? uint32_t((v * fm.rowLength + u) & 0xFFFF)
                              : wrapping ? uint32_t((v & 0xFF) << 8 | (u & 0xFF))
                                         : PointerIndex(u, v);
                index[size_t(r.first + j)] = ix;
            }
    } else if (k == Kind::AffineAdd565 || k == Kind::AffineAdd555) {
        uint32_t u0 = uint32_t(n.u.i) + uint32_t(n.uSlope.i) * uint32_t(lead);
        uint32_t v0 = uint32_t(n.v.i) + uint32_t(n.vSlope.i) * uint32_t(lead);
        uint64_t word0 = (u0 & 0xFFFF) << 16 | ((v0 >> 8) & 0xFFFF);
        uint64_t step = (uint32_t(n.uSlope.i) & 0xFFFF) << 16 | ((uint32_t(n.vSlope.i) >> 8) & 0xFFFF);
        uint32_t uStep = (uint32_t(n.uSlope.i) >> 16) & 0xFF;
        for (int32_t i = 0; i < count; ++i) {
            uint64_t word = word0 + uint64_t(i) * step;
            uint32_t u = ((u0 >> 16) + uint32_t(i) * uStep + uint32_t(word >> 32)) & 0xFF;
            uint32_t v = (uint32_t(word) >> 8) & 0xFF;
            index[size_t(i)] = v << 8 | u;
        }
    } else if (k == Kind::AffineKeyed) {
        int32_t du = n.uSlope.i & ~3, dv = n.vSlope.i & ~3;
        int32_t leadPixel = address % 4 ? 1 : 0;
        int32_t blocks = count - leadPixel >= 16 ? (count - leadPixel) / 16 : 0;
        int32_t exact = blocks ? leadPixel + 16 * blocks : 0;
        for (int32_t i = 0; i < count; ++i) {
            int64_t u, v;
            if (i < exact) {
                u = AffineInteger(n.u.i, du, int64_t(lead) + i);
                v = AffineInteger(n.v.i, dv, int64_t(lead) + i);
            } else {
                int32_t pu = int32_t(uint32_t(n.u.i) + uint32_t(du) * uint32_t(lead + exact));
                int32_t pv = int32_t(uint32_t(n.v.i) + uint32_t(dv) * uint32_t(lead + exact));
                u = EightBitInteger(pu, du, i - exact);
                v = EightBitInteger(pv, dv, i - exact);
            }
            index[size_t(i)] = PointerIndex(u, v);
        }
    } else {
        for (int32_t i = 0; i < count; ++i) {
            int64_t u = AffineInteger(n.u.i, n.uSlope.i, int64_t(lead) + i);
            int64_t v = AffineInteger(n.v.i, n.vSlope.i, int64_t(lead) + i);
            index[size_t(i)] = frame ? uint32_t((v * fm.rowLength + u) & 0xFFFF) : PointerIndex(u, v);
        }
    }

    const uint8_t* t = ctx.base + texels;
    const uint32_t table = n.texels;  // the colour table ends where the texture (or frame table) begins
    const uint32_t row = n.row;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t ix = index[size_t(i)];
        uint8_t texel = t[ix];
        uint16_t dst = get(i);
        switch (k) {
        case Kind::Affine: case Kind::AffineFrame: case Kind::Persp: case Kind::PerspWrap: case Kind::PerspFrameRow:
            set(i, ColourAt(ctx, table, row, texel));
            break;
        case Kind::PerspFrame:
            set(i, ColourAt(ctx, table, RowFromShadeByte(uint32_t(n.shade)), texel));
            break;
        case Kind::Affine8Wide: case Kind::Persp8Wide:
            set(i, texel);
            break;
        case Kind::Affine8: case Kind::Persp8:
            first[i] = texel;
            break;
        case Kind::Persp16:
            set(i, Le16(t + 2 * ix));
            break;
        case Kind::AffineHalf565: case Kind::AffineHalf555: case Kind::PerspHalf565: case Kind::PerspHalf555:
        case Kind::PerspWrapHalf565: case Kind::PerspWrapHalf555:
            set(i, HalfByAddress(ColourAt(ctx, table, row, texel), dst, address, i, is555));
            break;
        case Kind::AffineKeyedHalf565: case Kind::AffineKeyedHalf555:
            if (texel) set(i, HalfWith(ColourAt(ctx, table, row, texel), dst, is555 ? 0x7BDF : 0xF7DF));
            break;
        case Kind::AffineAdd565: case Kind::AffineAdd555:
            set(i, Saturate(ColourAt(ctx, table, row, texel), dst, is555));
            break;
        case Kind::AffineShaded: case Kind::AffineFrameShaded: {
            uint32_t shade = uint32_t(n.tail[0].i) + uint32_t(n.tail[2].i) * uint32_t(lead + i);
            set(i, ColourAt(ctx, table, RowFromShadeByte(shade), texel));
            break;
        }
        case Kind::AffineAlpha: case Kind::PerspAlpha: {
            uint32_t level = k == Kind::AffineAlpha ? uint32_t(n.colour) >> 8 : n.level;
            set(i, TranslucentModel(*ctx.translucency, level, ColourAt(ctx, table, row, texel), dst));
            break;
        }
        case Kind::AffineTexelAlpha: case Kind::PerspTexelAlpha:
            set(i, TranslucentModel(*ctx.translucency, t[2 * ix + 1], ColourAt(ctx, table, row, t[2 * ix]), dst));
            break;
        case Kind::AffineKeyed: case Kind::PerspKeyed:
            if (texel) set(i, ColourAt(ctx, table, row, texel));
            break;
        case Kind::AffineDepth: case Kind::AffineKeyedDepth: case Kind::AffineHalfDepth:
        case Kind::AffineKeyedHalfDepth: {
            if (!DepthPasses(ctx, n, start, i)) break;
            bool keyed = k == Kind::AffineKeyedDepth || k == Kind::AffineKeyedHalfDepth;
            if (keyed && !texel) break;
            uint16_t c = ColourAt(ctx, table, row, texel);
            bool half = k == Kind::AffineHalfDepth || k == Kind::AffineKeyedHalfDepth;
            uint32_t h = ctx.halfMask;
            set(i, half ? uint16_t(((c >> 1) & h) + ((dst >> 1) & h)) : c);
            break;
        }
        default:
            break;
        }
    }
}

}  // namespace spanmodel
