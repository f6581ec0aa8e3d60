// The reference span fill.
#include "render/sr_fill.h"

#include "platform/display/screen.h"
#include "platform/errors.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

int32_t SpanCurrentLine = 0;
uint32_t GlobalFillWord = 0;
const uint16_t* BackgroundPicture = nullptr;
int32_t BackgroundRowLength = 0;
const SpanDepthRecord* SpanDepthBuffer = nullptr;
uint16_t g_SpanHalfMask = 0x7BEF;

uint16_t SR_HalfMask() {
    const ScreenStateRecord& s = ScreenState;
    return s.redSize + s.greenSize + s.blueSize == 15 ? 0x3DEF : 0x7BEF;
}

namespace {

// Truncation toward zero; NaN and values outside int32 give INT32_MIN.
inline int32_t Trunc(float v) {
    if (!(v > -2147483649.0f && v < 2147483648.0f)) return INT32_MIN;
    return int32_t(v);
}

inline int32_t Add(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
inline int32_t Mul(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) * uint32_t(b));
}

// The texel index of (u, v) in 16.16: both wrapped to the 256 x 256 map.
inline uint32_t Index(int32_t u, int32_t v) {
    return ((uint32_t(u) >> 16) & 0xFF) | ((uint32_t(v) >> 8) & 0xFF00);
}

inline uint8_t Row(const SpanNode* n) {
    return n->row > 31 ? 31 : n->row;
}

inline uint16_t Half(uint16_t src, uint16_t dst) {
    return uint16_t(((src >> 1) & g_SpanHalfMask) + ((dst >> 1) & g_SpanHalfMask));
}

// A node's texels when the map, its colour table and `bytes` of texels lie
// inside the pool; else nothing is sampled.
const uint8_t* Texels(const SpanNode* n, uint32_t bytes) {
    uint32_t t = n->texels;
    if (t < kTextureColourBytes || uint64_t(t) + bytes > g_3DPoolSize) return nullptr;
    return g_3DPool + t;
}

// Columns from the node's first column to the span's start.
inline int32_t Lead(const SpanNode* n, int32_t startX) {
    return startX - (n->x >> 16);
}

// ---------------------------------------------------------------------------
// Stepping shapes
// ---------------------------------------------------------------------------

// u and v in 16.16 stepped per pixel; pixel(px, u, v, i).
template <class Pixel>
uint16_t* Affine(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n, Pixel pixel) {
    int32_t d = Lead(n, startX);
    int32_t u = Add(n->u.i, Mul(d, n->uSlope.i)), v = Add(n->v.i, Mul(d, n->vSlope.i));
    int32_t du = n->uSlope.i, dv = n->vSlope.i;
    for (int32_t i = 0; i < count; ++i) {
        pixel(px + i, u, v, i);
        u = Add(u, du);
        v = Add(v, dv);
    }
    return px + count;
}

// u and v from u x k and v x k divided by the key at the start and then
// every 8 pixels while at least 9 remain, the rest in one more run; linear
// steps in between.
template <class Pixel>
uint16_t* Perspective(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n, Pixel pixel) {
    int32_t d = Lead(n, startX);
    float k = n->key + float(d) * n->keySlope;
    float uk = n->u.f + float(d) * n->uSlope.f, vk = n->v.f + float(d) * n->vSlope.f;
    int32_t u0 = Trunc(uk / k), v0 = Trunc(vk / k);
    int32_t i = 0;
    while (i < count) {
        int32_t run = count - i >= 9 ? 8 : count - i;
        k += float(run) * n->keySlope;
        uk += float(run) * n->uSlope.f;
        vk += float(run) * n->vSlope.f;
        int32_t u1 = Trunc(uk / k), v1 = Trunc(vk / k);
        int32_t du = int32_t((int64_t(u1) - u0) / run), dv = int32_t((int64_t(v1) - v0) / run);
        for (int32_t j = 0; j < run; ++j, ++i) {
            pixel(px + i, u0, v0, i);
            u0 = Add(u0, du);
            v0 = Add(v0, dv);
        }
        u0 = u1;
        v0 = v1;
    }
    return px + count;
}

// ---------------------------------------------------------------------------
// The routines
// ---------------------------------------------------------------------------

uint16_t* Nothing(uint16_t* px, int32_t count, int32_t, const SpanNode*) {
    return px + count;
}

uint16_t* Flat(uint16_t* px, int32_t count, int32_t, const SpanNode* n) {
    uint16_t c = n->colour;
    for (int32_t i = 0; i < count; ++i) px[i] = c;
    return px + count;
}

uint16_t* FlatByte(uint16_t* px, int32_t count, int32_t, const SpanNode* n) {
    uint16_t c = n->colour & 0xFF;
    for (int32_t i = 0; i < count; ++i) px[i] = c;
    return px + count;
}

uint16_t* FlatHalf(uint16_t* px, int32_t count, int32_t, const SpanNode* n) {
    uint16_t c = n->colour;
    for (int32_t i = 0; i < count; ++i) px[i] = Half(c, px[i]);
    return px + count;
}

uint16_t* Background(uint16_t* px, int32_t count, int32_t, const SpanNode*) {
    uint16_t c = uint16_t(GlobalFillWord);
    for (int32_t i = 0; i < count; ++i) px[i] = c;
    return px + count;
}

uint16_t* Picture(uint16_t* px, int32_t count, int32_t startX, const SpanNode*) {
    if (!BackgroundPicture) {
        for (int32_t i = 0; i < count; ++i) px[i] = 0;
        return px + count;
    }
    const uint16_t* src = BackgroundPicture + ptrdiff_t(SpanCurrentLine) * BackgroundRowLength + startX;
    std::memcpy(px, src, size_t(count) * 2);
    return px + count;
}

template <bool Persp, class Texel>
uint16_t* Textured(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n, uint32_t bytes, Texel texel) {
    const uint8_t* t = Texels(n, bytes);
    if (!t) return px + count;
    auto pixel = [&](uint16_t* p, int32_t u, int32_t v, int32_t) { texel(p, t, u, v); };
    return Persp ? Perspective(px, count, startX, n, pixel) : Affine(px, count, startX, n, pixel);
}

// Affine or perspective texture in the face's shade row.
template <bool Persp>
uint16_t* InRow(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    uint32_t row = Row(n);
    return Textured<Persp>(px, count, startX, n, 65536, [row](uint16_t* p, const uint8_t* t, int32_t u, int32_t v) {
        *p = SR_ColourEntry(t, row, t[Index(u, v)]);
    });
}

template <bool Persp>
uint16_t* InRowHalf(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    uint32_t row = Row(n);
    return Textured<Persp>(px, count, startX, n, 65536, [row](uint16_t* p, const uint8_t* t, int32_t u, int32_t v) {
        *p = Half(SR_ColourEntry(t, row, t[Index(u, v)]), *p);
    });
}

template <bool Persp>
uint16_t* InRowKeyed(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    uint32_t row = Row(n);
    return Textured<Persp>(px, count, startX, n, 65536, [row](uint16_t* p, const uint8_t* t, int32_t u, int32_t v) {
        uint8_t texel = t[Index(u, v)];
        if (texel) *p = SR_ColourEntry(t, row, texel);
    });
}

// The 8-bit texel itself as the pixel value.
template <bool Persp>
uint16_t* TexelByte(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    return Textured<Persp>(px, count, startX, n, 65536,
                           [](uint16_t* p, const uint8_t* t, int32_t u, int32_t v) { *p = t[Index(u, v)]; });
}

// 16-bit texels that are the colour.
uint16_t* Texel16(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    return Textured<true>(px, count, startX, n, 131072, [](uint16_t* p, const uint8_t* t, int32_t u, int32_t v) {
        const uint8_t* e = t + size_t(Index(u, v)) * 2;
        *p = uint16_t(e[0] | e[1] << 8);
    });
}

// The shade row stepped along the span (16.16 rows).
uint16_t* AffineShaded(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    const uint8_t* t = Texels(n, 65536);
    if (!t) return px + count;
    int32_t shade = Add(n->tail[0].i, Mul(Lead(n, startX), n->tail[2].i)), step = n->tail[2].i;
    return Affine(px, count, startX, n, [&](uint16_t* p, int32_t u, int32_t v, int32_t) {
        int32_t row = shade >> 16;
        *p = SR_ColourEntry(t, uint32_t(row < 0 ? 0 : row > 31 ? 31 : row), t[Index(u, v)]);
        shade = Add(shade, step);
    });
}

uint16_t* PerspectiveShaded(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    const uint8_t* t = Texels(n, 65536);
    if (!t) return px + count;
    int32_t shade = Add(n->shade, Mul(Lead(n, startX), n->shadeSlope)), step = n->shadeSlope;
    return Perspective(px, count, startX, n, [&](uint16_t* p, int32_t u, int32_t v, int32_t) {
        int32_t row = shade >> 16;
        *p = SR_ColourEntry(t, uint32_t(row < 0 ? 0 : row > 31 ? 31 : row), t[Index(u, v)]);
        shade = Add(shade, step);
    });
}

// The depth-map test: the node's key at its own column, growing by its
// slope truncated per pixel, shifted, against the map's sample.  Without a
// map every pixel passes.
bool g_noDepthMapLogged = false;

template <class Draw>
uint16_t* DepthTested(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n, Draw draw) {
    const SpanDepthRecord* map = SpanDepthBuffer;
    if (!map || !map->samples) {
        if (!g_noDepthMapLogged) {
            g_noDepthMapLogged = true;
            DebugLog("SR: no depth map, depth-tested spans drawn whole");
        }
        return draw(px, count, startX, n);
    }
    const int16_t* row = map->samples + ptrdiff_t(SpanCurrentLine) * map->rowLength;
    int32_t key = Trunc(n->key), step = Trunc(n->keySlope), shift = map->shift & 31;
    // Runs of passing pixels are drawn by the plain routine.
    int32_t i = 0;
    while (i < count) {
        int32_t run = 0;
        while (i + run < count && (key >> shift) > row[startX + i + run]) {
            key = Add(key, step);
            ++run;
        }
        if (run) draw(px + i, run, startX + i, n);
        i += run;
        if (i < count) {
            key = Add(key, step);
            ++i;
        }
    }
    return px + count;
}

uint16_t* DepthFlat(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    return DepthTested(px, count, startX, n, Flat);
}

uint16_t* DepthAffine(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    return DepthTested(px, count, startX, n, InRow<false>);
}

// The frame modes draw level 0 of the plain map: their node's u and v,
// taken by the set-up in the texels of the level's image (2^level times
// smaller each way), are multiplied back first.
template <SR_Routine Draw, bool Floats>
uint16_t* AtLevelZero(uint16_t* px, int32_t count, int32_t startX, const SpanNode* n) {
    SpanNode full = *n;
    const int level = n->level > 31 ? 31 : n->level;
    auto up = [level](SpanWord w) {
        if (Floats)
            w.f = std::ldexp(w.f, level);
        else
            w.i = Mul(w.i, int32_t(1u << level));
        return w;
    };
    full.u = up(full.u);
    full.v = up(full.v);
    full.uSlope = up(full.uSlope);
    full.vSlope = up(full.vSlope);
    return Draw(px, count, startX, &full);
}

constexpr SR_RoutineTable MakeTable() {
    SR_RoutineTable t{};
    for (SR_Routine& r : t.routine) r = Nothing;
    auto set = [&t](int mode, SR_Routine r) { t.routine[mode - kSpanModeMin] = r; };
    for (int m : {1, 5, 7, 8, 27, 28}) set(m, Flat);
    for (int m : {2, 6, 24, 32}) set(m, InRow<false>);
    for (int m : {3, -12}) set(m, InRow<true>);
    set(21, AtLevelZero<InRow<false>, false>);
    set(20, AtLevelZero<InRow<true>, true>);
    set(25, AtLevelZero<AffineShaded, false>);
    set(26, AtLevelZero<PerspectiveShaded, true>);
    set(10, FlatByte);
    set(11, TexelByte<false>);
    set(12, TexelByte<true>);
    set(29, Texel16);
    set(13, Background);
    set(14, Background);
    set(15, Picture);
    set(17, DepthFlat);
    set(18, DepthAffine);
    set(-11, DepthAffine);
    for (int m : {22, 30}) set(m, AffineShaded);
    set(23, PerspectiveShaded);
    for (int m : {-21, -15, -14, -13, -3}) set(m, InRowHalf<false>);
    set(-4, InRowHalf<true>);
    set(-2, FlatHalf);
    set(-5, InRowKeyed<false>);
    set(-6, InRowKeyed<true>);
    return t;
}

}  // namespace

const SR_RoutineTable SR_ReferenceRoutines = MakeTable();

void SR_FillSpan(uint16_t* line, const SpanRecord* last) {
    const SpanViewRect& r = g_SpanRect;
    int32_t lo = r.left, hi = r.left + r.width;
    for (const SpanRecord* rec = last;; --rec) {
        if (rec->mode == -1) break;
        int32_t start = rec->start < lo ? lo : rec->start, end = rec->end > hi ? hi : rec->end;
        SR_Routine routine = SR_ReferenceRoutines.At(rec->mode);
        if (end > start && routine && rec->node) routine(line + start, end - start, start, rec->node);
    }
}
