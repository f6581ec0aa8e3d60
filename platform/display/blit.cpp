// The four blit sets.  Every mode is one per-pixel rule; a template by
// pixel type and rule gives each routine its own inner loop, with the
// call's constants (key, white, colour, masks, levels, steps) taken once
// into locals before the loop.  The unscaled rules that run over whole
// pictures every frame also have an SSE2 form that takes 16 bytes of
// pixels at a time; its result is the same, pixel for pixel.
#include "platform/display/blit.h"

#include "platform/display/blit_wide.h"
#include "platform/display/palette.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/pixel24.h"
#include "platform/display/screen.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint32_t g_DrawColour = 0;
uint32_t g_TransparentColour = 0;
uint32_t g_BlendLevel = 128;
uint8_t** g_BlendRows = nullptr;
AddRoutine g_AddHook = AddSaturate555;

uint32_t AddSaturate555(uint32_t a, uint32_t b) {
    uint32_t blue = std::min(31u, (a & 31) + (b & 31));
    uint32_t green = std::min(31u, ((a >> 5) & 31) + ((b >> 5) & 31));
    uint32_t red = std::min(31u, ((a >> 10) & 31) + ((b >> 10) & 31));
    return blue + (green << 5) + (red << 10);
}

uint32_t AddSaturate565(uint32_t a, uint32_t b) {
    uint32_t blue = std::min(31u, (a & 31) + (b & 31));
    uint32_t green = std::min(63u, ((a >> 5) & 63) + ((b >> 5) & 63));
    uint32_t red = std::min(31u, ((a >> 11) & 31) + ((b >> 11) & 31));
    return blue + (green << 5) + (red << 11);
}

uint32_t AddSaturate888(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8)
        out |= std::min(255u, ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF)) << shift;
    return out;
}

void Blit_SelectAddHook() {
    g_AddHook = ScreenState.greenSize == 6 ? AddSaturate565 : AddSaturate555;
}

uint8_t** BuildBlendRows() {
    // 256 row pointers followed by the 64 KB of rows, in one block.
    uint8_t* block = static_cast<uint8_t*>(MemAlloc(256 * sizeof(uint8_t*) + 65536));
    uint8_t** rows = reinterpret_cast<uint8_t**>(block);
    uint8_t* cells = block + 256 * sizeof(uint8_t*);
    const uint8_t* palette = ScreenState.palette;
    for (int s = 0; s < 256; ++s) {
        rows[s] = cells + s * 256;
        for (int d = 0; d < 256; ++d) {
            uint8_t rgb[3];
            for (int c = 0; c < 3; ++c) rgb[c] = static_cast<uint8_t>((palette[s * 3 + c] + palette[d * 3 + c]) / 2);
            rows[s][d] = NearestColour(rgb, palette);
        }
    }
    g_BlendRows = rows;
    return rows;
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

// ---------------------------------------------------------------------------
// The call's constants
// ---------------------------------------------------------------------------

struct Globals {
    uint32_t key, white, colour, half, level, inverse;
    AddRoutine add;
    uint8_t** rows;
};

Globals Take() {
    uint32_t level = g_BlendLevel & 0xFFFF;
    return {g_TransparentColour, ScreenWhite,  g_DrawColour, ScreenState.halvingMask,
            level,               (255 - level) & 0xFFFF, g_AddHook, g_BlendRows};
}

// One byte of the MMX arithmetic: the byte in a 16-bit lane times a 16-bit
// factor, the low 16 bits of the product shifted right by 8.
inline uint32_t Lane(uint32_t byte, uint32_t factor) {
    return ((byte * factor) & 0xFFFF) >> 8;
}

// Applies f to each of the four byte pairs of a and b.
template <typename F>
inline uint32_t PerByte(uint32_t a, uint32_t b, F f) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) out |= f((a >> shift) & 0xFF, (b >> shift) & 0xFF) << shift;
    return out;
}

// ---------------------------------------------------------------------------
// SSE2 lanes by pixel type
// ---------------------------------------------------------------------------

#if defined(__SSE2__)
using Vec = __m128i;

template <typename T>
inline Vec Splat(uint32_t v) {
    if constexpr (sizeof(T) == 1) return _mm_set1_epi8(static_cast<char>(v));
    else if constexpr (sizeof(T) == 2) return _mm_set1_epi16(static_cast<short>(v));
    else return _mm_set1_epi32(static_cast<int>(v));
}

template <typename T>
inline Vec Equal(Vec a, Vec b) {
    if constexpr (sizeof(T) == 1) return _mm_cmpeq_epi8(a, b);
    else if constexpr (sizeof(T) == 2) return _mm_cmpeq_epi16(a, b);
    else return _mm_cmpeq_epi32(a, b);
}

// mask ? a : b, lane by lane.
inline Vec Select(Vec mask, Vec a, Vec b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Whether a value fits a pixel's lane.
template <typename T>
inline bool Fits(uint32_t v) {
    return v <= uint32_t(T(~T(0)));
}

// The MMX byte rules on 16 bytes: each half widened to 16-bit lanes.
template <typename F>
inline Vec Widened(Vec a, Vec b, F f) {
    Vec zero = _mm_setzero_si128();
    Vec lo = f(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    Vec hi = f(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    return _mm_packus_epi16(lo, hi);
}
#endif

// ---------------------------------------------------------------------------
// Per-pixel rules.  Each answers the new destination pixel for a source
// value s (zero-extended, or a palette colour) and the destination d; a
// skipped pixel answers d.  Rules with kVector also work on 16 bytes.
// ---------------------------------------------------------------------------

// Keyed copy: the key skipped, white drawn in the draw colour.
template <typename T>
struct KeyedRule {
    static constexpr bool kVector = true;
    uint32_t key, white, colour;
    T operator()(uint32_t s, T d) const {
        if (s == key) return d;
        return s == white ? T(colour) : T(s);
    }
#if defined(__SSE2__)
    Vec vKey = Splat<T>(key), vWhite = Splat<T>(white), vColour = Splat<T>(colour);
    // A key or white wider than a pixel never matches: the plain loop
    // handles that case.
    bool VectorFits() const { return Fits<T>(key) && Fits<T>(white); }
    int64_t Wide(uint8_t* d, const uint8_t* s, int64_t n) const {
        return WideKeyedRow(sizeof(T), d, s, n, {key, white, colour, 0, 0, 0});
    }
    Vec operator()(Vec s, Vec d) const {
        Vec c = Select(Equal<T>(s, vWhite), vColour, s);
        return Select(Equal<T>(s, vKey), d, c);
    }
#endif
};

// Half blend: the key skipped, white as the draw colour, then the
// channel-wise average without carries between channels.
template <typename T>
struct HalfRule {
    static constexpr bool kVector = true;
    uint32_t key, white, colour, half;
    T operator()(uint32_t s, T d) const {
        if (s == key) return d;
        uint32_t c = s == white ? colour : s;
        return T(((c & half) + (d & half)) >> 1);
    }
#if defined(__SSE2__)
    Vec vKey = Splat<T>(key), vWhite = Splat<T>(white), vColour = Splat<T>(colour), vHalf = Splat<T>(half);
    // Within 16-bit lanes the mask must lie in the pixel's own bits.
    bool VectorFits() const { return Fits<T>(key) && Fits<T>(white) && Fits<T>(half); }
    int64_t Wide(uint8_t* d, const uint8_t* s, int64_t n) const {
        return WideHalfRow(sizeof(T), d, s, n, {key, white, colour, half, 0, 0});
    }
    Vec operator()(Vec s, Vec d) const {
        Vec c = Select(Equal<T>(s, vWhite), vColour, s);
        Vec a = _mm_and_si128(c, vHalf), b = _mm_and_si128(d, vHalf), out;
        if constexpr (sizeof(T) == 2) {
            // Both halves are even, so the rounding average (a + b + 1) >> 1
            // of 17-bit sums is exactly (a + b) >> 1.
            out = _mm_avg_epu16(a, b);
        } else {
            out = _mm_srli_epi32(_mm_add_epi32(a, b), 1);
        }
        return Select(Equal<T>(s, vKey), d, out);
    }
#endif
};

// 8-bit row blend: d = rows[s][d], the draw colour's row for 0xff.
struct RowsRule {
    static constexpr bool kVector = false;
    uint8_t* const* rows;
    uint32_t colour;
    uint8_t operator()(uint32_t s, uint8_t d) const { return rows[s == 0xFF ? (colour & 0xFF) : s][d]; }
};

// Additive 16-bit blend through the add routine; the two adds of the set
// are taken inline.
template <typename Add>
struct AddRule {
    static constexpr bool kVector = false;
    Add add;
    uint16_t operator()(uint32_t s, uint16_t d) const { return uint16_t(add(s, d)); }
};
struct Add555 {
    uint32_t operator()(uint32_t a, uint32_t b) const { return AddSaturate555(a, b); }
};
struct Add565 {
    uint32_t operator()(uint32_t a, uint32_t b) const { return AddSaturate565(a, b); }
};
struct AddThroughHook {
    AddRoutine hook;
    uint32_t operator()(uint32_t a, uint32_t b) const { return hook(a, b); }
};

// MMX level blend: key, white, then per byte c x L / 256 + d x (255 - L) / 256.
struct LevelRule {
    static constexpr bool kVector = true;
    uint32_t key, white, colour, level, inverse;
    uint32_t operator()(uint32_t s, uint32_t d) const {
        if (s == key) return d;
        uint32_t c = s == white ? colour : s;
        uint32_t l = level, v = inverse;
        return PerByte(c, d, [l, v](uint32_t a, uint32_t b) { return std::min(255u, Lane(a, l) + Lane(b, v)); });
    }
#if defined(__SSE2__)
    Vec vKey = Splat<uint32_t>(key), vWhite = Splat<uint32_t>(white), vColour = Splat<uint32_t>(colour);
    Vec vLevel = _mm_set1_epi16(short(level)), vInverse = _mm_set1_epi16(short(inverse));
    bool VectorFits() const { return true; }
    int64_t Wide(uint8_t* d, const uint8_t* s, int64_t n) const {
        return WideLevelRow(d, s, n, {key, white, colour, 0, level, inverse});
    }
    Vec operator()(Vec s, Vec d) const {
        Vec c = Select(Equal<uint32_t>(s, vWhite), vColour, s);
        Vec l = vLevel, v = vInverse;
        Vec out = Widened(c, d, [l, v](Vec a, Vec b) {
            return _mm_adds_epi16(_mm_srli_epi16(_mm_mullo_epi16(a, l), 8), _mm_srli_epi16(_mm_mullo_epi16(b, v), 8));
        });
        return Select(Equal<uint32_t>(s, vKey), d, out);
    }
#endif
};

// MMX saturating add: key, white, then per byte min(255, c + d).
struct SaturateRule {
    static constexpr bool kVector = true;
    uint32_t key, white, colour;
    uint32_t operator()(uint32_t s, uint32_t d) const {
        if (s == key) return d;
        uint32_t c = s == white ? colour : s;
        return PerByte(c, d, [](uint32_t a, uint32_t b) { return std::min(255u, a + b); });
    }
#if defined(__SSE2__)
    Vec vKey = Splat<uint32_t>(key), vWhite = Splat<uint32_t>(white), vColour = Splat<uint32_t>(colour);
    bool VectorFits() const { return true; }
    int64_t Wide(uint8_t* d, const uint8_t* s, int64_t n) const {
        return WideSaturateRow(d, s, n, {key, white, colour, 0, 0, 0});
    }
    Vec operator()(Vec s, Vec d) const {
        Vec c = Select(Equal<uint32_t>(s, vWhite), vColour, s);
        return Select(Equal<uint32_t>(s, vKey), d, _mm_adds_epu8(c, d));
    }
#endif
};

// MMX fade: per byte s x L / 256; the destination is not read.
struct FadeRule {
    static constexpr bool kVector = true;
    uint32_t level;
    uint32_t operator()(uint32_t s, uint32_t) const {
        uint32_t l = level;
        return PerByte(s, 0, [l](uint32_t a, uint32_t) { return Lane(a, l); });
    }
#if defined(__SSE2__)
    Vec vLevel = _mm_set1_epi16(short(level));
    bool VectorFits() const { return true; }
    int64_t Wide(uint8_t* d, const uint8_t* s, int64_t n) const { return WideFadeRow(d, s, n, {0, 0, 0, 0, level, 0}); }
    Vec operator()(Vec s, Vec) const {
        Vec l = vLevel;
        return Widened(s, s, [l](Vec a, Vec) { return _mm_srli_epi16(_mm_mullo_epi16(a, l), 8); });
    }
#endif
};

// Scaled rules.

// 8-bit scaled copy: index 0 skipped, 0xff in the draw colour.
struct Scaled8Rule {
    uint32_t colour;
    uint8_t operator()(uint32_t s, uint8_t d) const {
        if (s == 0) return d;
        return s == 0xFF ? uint8_t(colour) : uint8_t(s);
    }
};

// 8-bit scaled blend: index 0 skipped, else rows[s][d].
struct ScaledRowsRule {
    uint8_t* const* rows;
    uint8_t operator()(uint32_t s, uint8_t d) const { return s == 0 ? d : rows[s][d]; }
};

// 16- and 32-bit scaled copy: the key skipped, the draw colour drawn white.
template <typename T>
struct ScaledWhiteRule {
    uint32_t key, white, colour;
    T operator()(uint32_t s, T d) const {
        if (s == key) return d;
        return s == colour ? T(white) : T(s);
    }
};

// Half blend without key or white.
template <typename T>
struct PlainHalfRule {
    uint32_t half;
    T operator()(uint32_t s, T d) const { return T(((s & half) + (d & half)) >> 1); }
};

struct Add888Rule {
    uint32_t operator()(uint32_t s, uint32_t d) const { return AddSaturate888(s, d); }
};

// MMX tint: the key skipped, per byte s x P / 256.
struct TintRule {
    uint32_t key, colour;
    uint32_t operator()(uint32_t s, uint32_t d) const {
        if (s == key) return d;
        return PerByte(s, colour, [](uint32_t a, uint32_t p) { return Lane(a, p); });
    }
};

// MMX scaled blend: the level blend, then tinted by the draw colour.
struct TintedLevelRule {
    uint32_t colour, level, inverse;
    uint32_t operator()(uint32_t s, uint32_t d) const {
        uint32_t l = level, v = inverse;
        uint32_t b = PerByte(s, d, [l, v](uint32_t a, uint32_t e) { return std::min(255u, Lane(a, l) + Lane(e, v)); });
        return PerByte(b, colour, [](uint32_t a, uint32_t p) { return Lane(a, p); });
    }
};

struct ByteAddRule {
    uint32_t operator()(uint32_t s, uint32_t d) const {
        return PerByte(s, d, [](uint32_t a, uint32_t b) { return std::min(255u, a + b); });
    }
};

// The destination subtracted from the source, per byte, floored at 0.
struct ByteSubtractRule {
    uint32_t operator()(uint32_t s, uint32_t d) const {
        return PerByte(s, d, [](uint32_t a, uint32_t b) { return a > b ? a - b : 0u; });
    }
};

// ---------------------------------------------------------------------------
// Unscaled clipping and rows
// ---------------------------------------------------------------------------

// A clipped unscaled draw: w x h pixels from src to dst; for a mirrored
// draw src is the first row's rightmost visible source pixel.
struct Area {
    uint8_t* dst;
    const uint8_t* src;
    int64_t w, h, pitch, srcPitch;
};

bool ClipUnscaled(int32_t x, int32_t y, const Picture* picture, int bytes, bool mirror, Area* a) {
    const ScreenStateRecord& s = ScreenState;
    if (!picture || !picture->pixels || !s.frameBuffer) return false;
    int64_t w = picture->width, h = picture->height, X = x, Y = y, skipX = 0, skipY = 0;
    if (X > s.clipRight) return false;
    int64_t right = int64_t(s.clipRight) + 1;  // the right edge made exclusive
    if (X < s.clipLeft) {
        skipX = s.clipLeft - X;
        w -= skipX;
        if (w <= 0) return false;
        X = s.clipLeft;
    }
    if (X + w > right) w -= X + w - right;
    if (Y > s.clipBottom) return false;
    int64_t bottom = int64_t(s.clipBottom) + 1;
    if (Y < s.clipTop) {
        skipY = s.clipTop - Y;
        h -= skipY;
        if (h <= 0) return false;
        Y = s.clipTop;
    }
    if (Y + h > bottom) h -= Y + h - bottom;
    if (w <= 0 || h <= 0) return false;  // a clip box with left beyond right
    a->w = w;
    a->h = h;
    a->pitch = s.pitch;
    a->srcPitch = int64_t(picture->width) * bytes;
    a->dst = s.frameBuffer + Y * a->pitch + X * bytes;
    int64_t column = mirror ? picture->width - 1 - skipX : skipX;
    a->src = picture->pixels + skipY * a->srcPitch + column * bytes;
    return true;
}

// Whether the 32-byte row kernels run here.
const bool kWide = WideRowsAvailable();

template <typename T, typename Rule>
inline void RuleRow(uint8_t* d, const uint8_t* s, int64_t n, const Rule& constants) {
    // A private copy: the pixel stores cannot reach it, so its values stay
    // in registers through the loop.
    const Rule rule = constants;
    int64_t i = 0;
#if defined(__SSE2__)
    // Three-byte pixels do not fill 16-byte lanes: they take the plain loop.
    if constexpr (Rule::kVector && sizeof(T) != 3) {
        constexpr int64_t kLanes = 16 / sizeof(T);
        if (rule.VectorFits()) {
            if (kWide) i = rule.Wide(d, s, n);
#pragma GCC unroll 2
            for (; i + kLanes <= n; i += kLanes) {
                Vec sv = _mm_loadu_si128(reinterpret_cast<const Vec*>(s + i * sizeof(T)));
                Vec dv = _mm_loadu_si128(reinterpret_cast<const Vec*>(d + i * sizeof(T)));
                _mm_storeu_si128(reinterpret_cast<Vec*>(d + i * sizeof(T)), rule(sv, dv));
            }
        }
    }
#endif
    for (; i < n; ++i) {
        uint8_t* p = d + i * sizeof(T);
        Store<T>(p, rule(uint32_t(Load<T>(s + i * sizeof(T))), Load<T>(p)));
    }
}

template <typename T, typename Rule>
void BlitRule(int32_t x, int32_t y, const Picture* picture, const Rule& rule) {
    Area a;
    if (!ClipUnscaled(x, y, picture, sizeof(T), false, &a)) return;
    for (int64_t j = 0; j < a.h; ++j, a.dst += a.pitch, a.src += a.srcPitch) RuleRow<T>(a.dst, a.src, a.w, rule);
}

// ---------------------------------------------------------------------------
// Scaled clipping and rows
// ---------------------------------------------------------------------------

// A scaled draw after clipping: w x h screen pixels from dst, with 16.16
// steps and the accumulators' starting values.
struct Stretch {
    uint8_t* dst;
    int64_t w, h, pitch, stepX, stepY, startX, startY;
};

bool ClipScaled(const Picture* picture, int32_t x, int32_t y, int32_t w, int32_t h, bool clip, int bytes,
                Stretch* r) {
    const ScreenStateRecord& s = ScreenState;
    if (w == 0 || h == 0) return false;
    if (!picture || !picture->pixels || picture->width <= 0 || picture->height <= 0 || !s.frameBuffer) return false;
    // 16.16 steps, the division truncated towards zero; kept in 64 bits
    // so that no width or offset can wrap the source position.
    int64_t stepX = (int64_t(picture->width) << 16) / w, stepY = (int64_t(picture->height) << 16) / h;
    int64_t X = x, Y = y, W = w, H = h, startX = 0, startY = 0;
    if (clip) {
        // Clip right and bottom are exclusive here.
        if (Y > s.clipBottom || Y + H < s.clipTop) return false;
        if (Y + H > s.clipBottom) H = s.clipBottom - Y;
        if (X > s.clipRight || X + W < s.clipLeft) return false;
        if (X + W > s.clipRight) W = s.clipRight - X;
        if (Y < s.clipTop) {
            int64_t cut = s.clipTop - Y;
            H -= cut;
            Y = s.clipTop;
            startY = stepY * cut;
        }
        if (X < s.clipLeft) {
            int64_t cut = s.clipLeft - X;
            W -= cut;
            X = s.clipLeft;
            startX = stepX * cut;
        }
    }
    if (H <= 0 || W <= 0) return false;
    r->w = W;
    r->h = H;
    r->pitch = s.pitch;
    r->stepX = stepX;
    r->stepY = stepY;
    r->startX = startX;
    r->startY = startY;
    r->dst = s.frameBuffer + Y * r->pitch + X * bytes;
    return true;
}

// Sources of the scaled forms: pixels in screen format, or indexed bytes
// through the picture's palette of 256 screen colours.
template <typename T>
struct Direct {
    static constexpr int kBytes = sizeof(T);
    uint32_t operator()(const uint8_t* row, int64_t column) const { return Load<T>(row + column * sizeof(T)); }
};
struct Indexed {
    static constexpr int kBytes = 1;
    const uint32_t* palette;
    uint32_t operator()(const uint8_t* row, int64_t column) const { return palette[row[column]]; }
};

template <typename T, typename Source, typename Rule>
void ScaledRule(const Picture* picture, int32_t x, int32_t y, int32_t w, int32_t h, bool clip, const Source& source,
                const Rule& rule) {
    Stretch r;
    if (!ClipScaled(picture, x, y, w, h, clip, sizeof(T), &r)) return;
    const int64_t rowBytes = int64_t(picture->width) * Source::kBytes;
    int64_t ay = r.startY;
    for (int64_t j = 0; j < r.h; ++j, ay += r.stepY, r.dst += r.pitch) {
        const uint8_t* row = picture->pixels + (ay >> 16) * rowBytes;
        uint8_t* d = r.dst;
        int64_t ax = r.startX;
        for (int64_t i = 0; i < r.w; ++i, ax += r.stepX, d += sizeof(T)) Store<T>(d, rule(source(row, ax >> 16), Load<T>(d)));
    }
}

// The palette of an indexed picture; none draws nothing.
const uint32_t* PaletteOf(const Picture* picture) {
    return picture ? static_cast<const uint32_t*>(picture->extra) : nullptr;
}

// ---------------------------------------------------------------------------
// The routines
// ---------------------------------------------------------------------------

// Opaque copy, any depth: whole rows.
template <typename T>
void Blit_Rect(int32_t x, int32_t y, const Picture* picture) {
    Area a;
    if (!ClipUnscaled(x, y, picture, sizeof(T), false, &a)) return;
    const size_t bytes = size_t(a.w) * sizeof(T);
    if (a.pitch == int64_t(bytes) && a.srcPitch == int64_t(bytes)) {
        // Whole rows on both sides: one block.
        std::memcpy(a.dst, a.src, bytes * size_t(a.h));
        return;
    }
    for (int64_t j = 0; j < a.h; ++j, a.dst += a.pitch, a.src += a.srcPitch) std::memcpy(a.dst, a.src, bytes);
}

template <typename T>
void Blit_RectKeyed(int32_t x, int32_t y, const Picture* picture) {
    Globals g = Take();
    if constexpr (sizeof(T) == 1) BlitRule<T>(x, y, picture, KeyedRule<T>{g.key & 0xFF, 0xFF, g.colour & 0xFF});
    else BlitRule<T>(x, y, picture, KeyedRule<T>{g.key, g.white, g.colour});
}

// 8-bit mirrored copy: every visible row read right to left.
void Blit_RectMirror(int32_t x, int32_t y, const Picture* picture) {
    Area a;
    if (!ClipUnscaled(x, y, picture, 1, true, &a)) return;
    for (int64_t j = 0; j < a.h; ++j, a.dst += a.pitch, a.src += a.srcPitch) {
        const uint8_t* s = a.src;
        for (int64_t i = 0; i < a.w; ++i) a.dst[i] = *(s - i);
    }
}

void Blit_RectBlendRows(int32_t x, int32_t y, const Picture* picture) {
    Globals g = Take();
    if (!g.rows) return;
    BlitRule<uint8_t>(x, y, picture, RowsRule{g.rows, g.colour});
}

template <typename T>
void Blit_RectBlendHalf(int32_t x, int32_t y, const Picture* picture) {
    Globals g = Take();
    BlitRule<T>(x, y, picture, HalfRule<T>{g.key, g.white, g.colour, g.half});
}

void Blit_RectAdd16(int32_t x, int32_t y, const Picture* picture) {
    Globals g = Take();
    if (g.add == AddSaturate565) BlitRule<uint16_t>(x, y, picture, AddRule<Add565>{});
    else if (g.add == AddSaturate555) BlitRule<uint16_t>(x, y, picture, AddRule<Add555>{});
    else BlitRule<uint16_t>(x, y, picture, AddRule<AddThroughHook>{{g.add}});
}

template <typename T = uint32_t>
void Blit_RectBlendLevel(int32_t x, int32_t y, const Picture* picture) {
    Globals g = Take();
    BlitRule<T>(x, y, picture, LevelRule{g.key, g.white, g.colour, g.level, g.inverse});
}

template <typename T = uint32_t>
void Blit_RectAddMmx(int32_t x, int32_t y, const Picture* picture) {
    Globals g = Take();
    BlitRule<T>(x, y, picture, SaturateRule{g.key, g.white, g.colour});
}

template <typename T = uint32_t>
void Blit_RectFade(int32_t x, int32_t y, const Picture* picture) {
    BlitRule<T>(x, y, picture, FadeRule{Take().level});
}

// Scaled routines: slot 8 unclipped, the others clipped.

template <bool kClip>
void Blit_Scaled8(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    ScaledRule<uint8_t>(p, x, y, w, h, kClip, Direct<uint8_t>{}, Scaled8Rule{Take().colour});
}

void Blit_ScaledBlendRows(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    Globals g = Take();
    if (!g.rows) return;
    ScaledRule<uint8_t>(p, x, y, w, h, true, Direct<uint8_t>{}, ScaledRowsRule{g.rows});
}

template <typename T>
void Blit_Scaled(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    Globals g = Take();
    ScaledRule<T>(p, x, y, w, h, false, Direct<T>{}, ScaledWhiteRule<T>{g.key, g.white, g.colour});
}

template <typename T>
void Blit_ScaledKeyed(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    Globals g = Take();
    ScaledRule<T>(p, x, y, w, h, true, Indexed{palette}, ScaledWhiteRule<T>{g.key, g.white, g.colour});
}

template <typename T>
void Blit_ScaledBlendHalf(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    ScaledRule<T>(p, x, y, w, h, true, Indexed{palette}, PlainHalfRule<T>{Take().half});
}

void Blit_ScaledAdd16(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    Globals g = Take();
    if (g.add == AddSaturate565) ScaledRule<uint16_t>(p, x, y, w, h, true, Indexed{palette}, AddRule<Add565>{});
    else if (g.add == AddSaturate555) ScaledRule<uint16_t>(p, x, y, w, h, true, Indexed{palette}, AddRule<Add555>{});
    else ScaledRule<uint16_t>(p, x, y, w, h, true, Indexed{palette}, AddRule<AddThroughHook>{{g.add}});
}

template <typename T = uint32_t>
void Blit_ScaledAdd888(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    ScaledRule<T>(p, x, y, w, h, true, Indexed{palette}, Add888Rule{});
}

template <typename T = uint32_t>
void Blit_ScaledTint(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    Globals g = Take();
    ScaledRule<T>(p, x, y, w, h, false, Direct<T>{}, TintRule{g.key, g.colour});
}

template <typename T = uint32_t>
void Blit_ScaledKeyedTint(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    Globals g = Take();
    ScaledRule<T>(p, x, y, w, h, true, Indexed{palette}, TintRule{g.key, g.colour});
}

template <typename T = uint32_t>
void Blit_ScaledBlendLevel(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    Globals g = Take();
    ScaledRule<T>(p, x, y, w, h, true, Indexed{palette}, TintedLevelRule{g.colour, g.level, g.inverse});
}

template <typename T = uint32_t>
void Blit_ScaledAddMmx(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    ScaledRule<T>(p, x, y, w, h, true, Indexed{palette}, ByteAddRule{});
}

template <typename T = uint32_t>
void Blit_ScaledSub(const Picture* p, int32_t x, int32_t y, int32_t w, int32_t h) {
    const uint32_t* palette = PaletteOf(p);
    if (!palette) return;
    ScaledRule<T>(p, x, y, w, h, true, Indexed{palette}, ByteSubtractRule{});
}

}  // namespace

// ---------------------------------------------------------------------------
// The sets
// ---------------------------------------------------------------------------

const BlitTable BlitSet8 = {
    {nullptr, Blit_RectKeyed<uint8_t>, Blit_Rect<uint8_t>, Blit_RectMirror, Blit_RectBlendRows, Blit_RectBlendRows,
     Blit_RectBlendRows, Blit_RectBlendRows},
    {Blit_Scaled8<false>, Blit_Scaled8<true>, Blit_ScaledBlendRows, Blit_ScaledBlendRows, Blit_ScaledBlendRows,
     Blit_ScaledBlendRows},
    nullptr};

const BlitTable BlitSet16 = {
    {nullptr, Blit_RectKeyed<uint16_t>, Blit_Rect<uint16_t>, Blit_RectKeyed<uint16_t>, Blit_RectBlendHalf<uint16_t>,
     Blit_RectAdd16, Blit_RectBlendHalf<uint16_t>, Blit_RectBlendHalf<uint16_t>},
    {Blit_Scaled<uint16_t>, Blit_ScaledKeyed<uint16_t>, Blit_ScaledBlendHalf<uint16_t>, Blit_ScaledAdd16,
     Blit_ScaledAdd16, Blit_ScaledAdd16},
    Blit_SelectAddHook};

const BlitTable BlitSet32 = {
    {nullptr, Blit_RectKeyed<uint32_t>, Blit_Rect<uint32_t>, Blit_Rect<uint32_t>, Blit_RectBlendHalf<uint32_t>,
     Blit_RectBlendHalf<uint32_t>, Blit_RectBlendHalf<uint32_t>, Blit_RectBlendHalf<uint32_t>},
    {Blit_Scaled<uint32_t>, Blit_ScaledKeyed<uint32_t>, Blit_ScaledBlendHalf<uint32_t>, Blit_ScaledAdd888<>,
     Blit_ScaledAdd888<>, Blit_ScaledBlendHalf<uint32_t>},
    nullptr};

const BlitTable BlitSet32Mmx = {
    {nullptr, Blit_RectKeyed<uint32_t>, Blit_Rect<uint32_t>, Blit_Rect<uint32_t>, Blit_RectBlendLevel<>,
     Blit_RectAddMmx<>, Blit_RectFade<>, Blit_RectFade<>},
    {Blit_ScaledTint<>, Blit_ScaledKeyedTint<>, Blit_ScaledBlendLevel<>, Blit_ScaledAddMmx<>, Blit_ScaledSub<>,
     Blit_ScaledBlendLevel<>},
    nullptr};

// The 24/32-bit sets over pixels of three bytes: the same routines in the
// same slots, stepping three bytes a pixel.
const BlitTable BlitSet24 = {
    {nullptr, Blit_RectKeyed<Pixel24>, Blit_Rect<Pixel24>, Blit_Rect<Pixel24>, Blit_RectBlendHalf<Pixel24>,
     Blit_RectBlendHalf<Pixel24>, Blit_RectBlendHalf<Pixel24>, Blit_RectBlendHalf<Pixel24>},
    {Blit_Scaled<Pixel24>, Blit_ScaledKeyed<Pixel24>, Blit_ScaledBlendHalf<Pixel24>, Blit_ScaledAdd888<Pixel24>,
     Blit_ScaledAdd888<Pixel24>, Blit_ScaledBlendHalf<Pixel24>},
    nullptr};

const BlitTable BlitSet24Mmx = {
    {nullptr, Blit_RectKeyed<Pixel24>, Blit_Rect<Pixel24>, Blit_Rect<Pixel24>, Blit_RectBlendLevel<Pixel24>,
     Blit_RectAddMmx<Pixel24>, Blit_RectFade<Pixel24>, Blit_RectFade<Pixel24>},
    {Blit_ScaledTint<Pixel24>, Blit_ScaledKeyedTint<Pixel24>, Blit_ScaledBlendLevel<Pixel24>,
     Blit_ScaledAddMmx<Pixel24>, Blit_ScaledSub<Pixel24>, Blit_ScaledBlendLevel<Pixel24>},
    nullptr};
