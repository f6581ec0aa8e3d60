// The 3D device of the host layer: enumeration, z-buffer attachment, device
// states, textures, and a software rasteriser that draws pre-transformed
// triangle lists into a 16-bit (5-6-5 or 5-5-5) surface with a 16-bit
// z-buffer.
//
// Arithmetic of the rasteriser (everything a test may predict exactly):
//  - Coverage: vertex positions snap to 1/16 pixel (floor(v * 16 + 0.5));
//    integer edge functions are evaluated at pixel centres (x + 0.5,
//    y + 0.5).  A pixel is drawn when its centre is strictly inside the
//    triangle, or exactly on a top edge (horizontal, the triangle below it)
//    or a left edge (the triangle to its right).  Triangles sharing an edge
//    therefore draw each pixel of it once.
//  - Winding: screen space with y growing downward; a triangle whose
//    vertices run clockwise on the screen has a positive signed area
//    (x1-x0)(y2-y0) - (x2-x0)(y1-y0).  D3DCULL_CCW drops negative areas,
//    D3DCULL_CW positive ones; zero-area triangles are never drawn.
//  - Attributes (z, colours, texture co-ordinates) are planes through the
//    snapped vertices in double precision, evaluated at each pixel centre.
//  - Interpolated colour channels round to nearest: floor(v + 0.5) in 0..255.
//  - z: the vertex sz maps into the viewport's minZ..maxZ, is clamped to
//    0..1 and stored as floor(z * 65535 + 0.5).
//  - Stage ops divide by 255 with truncation: MODULATE a*b/255,
//    BLENDTEXTUREALPHA (arg1*ta + arg2*(255-ta))/255.  Without a texture, or
//    with COLOROP DISABLE, the stage passes the diffuse colour and alpha
//    through unchanged (no texel is read, so no colour key applies).
//  - Alpha test (ALPHATESTENABLE): the stage's alpha against render state 24
//    (the reference, 0..255) by ALPHAFUNC; failing pixels leave colour and z.
//  - Specular (SPECULARENABLE) adds its red, green and blue after the stage,
//    saturating at 255.
//  - Blending: min(255, (src*Fs + dst*Fd) / 255), truncated, with factors
//    ZERO 0, ONE 255, SRCALPHA a, INVSRCALPHA 255-a (a: the source alpha).
//  - 16-bit pixels and texels widen to 8-bit channels by bit replication
//    (so 4-bit channels are v*17 and a 1-bit alpha 0 or 255); 8-bit
//    channels narrow to 5/6 bits by truncation, after adding an ordered 4x4
//    dither offset (0..7 for 5 bits, 0..3 for 6 bits) when dithering is on.
//  - Bilinear filtering weighs the four texels around u*W-0.5, v*H-0.5 with
//    8-bit fractions (truncated), rounding the weighted sum to nearest.
#include "host/d3d.h"

#include "host/backend.h"
#include "host/display_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace host {

// The 3D interface of a display object.  It does not count a reference on
// the display object: the program releases it before the object.
struct D3D {
    DDraw* dd;
};

// One record per texture surface, shared by every D3DTextureFromSurface of
// that surface.  A palette loaded into a surface that has none attached is
// kept here.
struct D3DTexture {
    Surface* surface;
    int refs;
    bool hasPalette;
    PaletteEntry palette[256];
};

struct D3DDevice {
    D3D* d3d;
    Surface* target;   // a reference held
    Surface* zbuffer;  // a reference held; nullptr without a (16-bit) z-buffer
    D3DTexture* texture;
    int vpX, vpY, vpWidth, vpHeight;
    float minZ, maxZ;
    float background[3];
    bool inScene;
    std::map<uint32_t, uint32_t> renderStates;    // the states set; the rest default
    std::map<uint32_t, uint32_t> stageStates[8];  // stages 0..7 are kept, stage 0 is drawn
};

namespace {

constexpr int kStages = 8;
constexpr uint32_t kAlphaRef = 24;  // the reference value of the alpha test, 0..255

D3DSettings g_settings;
std::vector<D3DTexture*> g_textures;

// ---------------------------------------------------------------------------
// States
// ---------------------------------------------------------------------------

uint32_t DefaultRenderState(const D3DDevice* d, uint32_t state) {
    switch (state) {
    case D3DRS_TEXTUREPERSPECTIVE: return 1;
    case D3DRS_ZENABLE: return d->zbuffer ? 1 : 0;
    case D3DRS_SHADEMODE: return D3DSHADE_GOURAUD;
    case D3DRS_ZWRITEENABLE: return 1;
    case D3DRS_SRCBLEND: return D3DBLEND_ONE;
    case D3DRS_DESTBLEND: return D3DBLEND_ZERO;
    case D3DRS_TEXTUREMAPBLEND: return D3DTBLEND_MODULATE;
    case D3DRS_CULLMODE: return D3DCULL_CCW;
    case D3DRS_ZFUNC: return D3DCMP_LESSEQUAL;
    case D3DRS_ALPHAFUNC: return D3DCMP_ALWAYS;
    default: return 0;
    }
}

uint32_t DefaultStageState(int stage, uint32_t state) {
    switch (state) {
    case D3DTSS_COLOROP: return stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    case D3DTSS_COLORARG1: return D3DTA_TEXTURE;
    case D3DTSS_COLORARG2: return D3DTA_DIFFUSE;
    case D3DTSS_ALPHAOP: return stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    case D3DTSS_ALPHAARG1: return D3DTA_TEXTURE;
    case D3DTSS_ALPHAARG2: return D3DTA_DIFFUSE;
    case D3DTSS_ADDRESS: return D3DTADDRESS_WRAP;
    case D3DTSS_MAGFILTER: return D3DTFG_POINT;
    case D3DTSS_MINFILTER: return D3DTFN_POINT;
    default: return 0;
    }
}

uint32_t RenderState(const D3DDevice* d, uint32_t state) {
    auto it = d->renderStates.find(state);
    return it != d->renderStates.end() ? it->second : DefaultRenderState(d, state);
}

uint32_t StageState(const D3DDevice* d, int stage, uint32_t state) {
    auto it = d->stageStates[stage].find(state);
    return it != d->stageStates[stage].end() ? it->second : DefaultStageState(stage, state);
}

// The legacy texture blend modes expressed as stage-0 settings: DECAL takes
// the texture's colour and alpha as they are; MODULATE multiplies the
// texture colour by the diffuse colour and takes the texture's alpha.
void ApplyTextureMapBlend(D3DDevice* d, uint32_t mode) {
    auto& s = d->stageStates[0];
    if (mode == D3DTBLEND_DECAL) {
        s[D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
        s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    } else if (mode == D3DTBLEND_MODULATE) {
        s[D3DTSS_COLOROP] = D3DTOP_MODULATE;
        s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        s[D3DTSS_COLORARG2] = D3DTA_DIFFUSE;
    } else {
        return;
    }
    s[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
}

// ---------------------------------------------------------------------------
// Pixels
// ---------------------------------------------------------------------------

struct Rgba {
    int r, g, b, a;
};

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void Store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}

uint32_t LoadRaw(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int b = 0; b < bytes; ++b) v |= uint32_t(p[b]) << (8 * b);
    return v;
}

// A channel of `bits` bits widened to 8 by repeating its bit pattern.
int Widen(uint32_t v, int bits) {
    if (bits >= 8) return int(v >> (bits - 8));
    uint32_t r = 0;
    int filled = 0;
    while (filled < 8) {
        r = (r << bits) | v;
        filled += bits;
    }
    return int(r >> (filled - 8));
}

// A target pixel as 8-bit channels: 5 bits v become v << 3 | v >> 2, 6 bits
// v << 2 | v >> 4 (bit replication, as Widen does).
inline Rgba Unpack16(uint16_t v, bool is565) {
    int r = is565 ? v >> 11 : (v >> 10) & 31, b = v & 31;
    int g = is565 ? (v >> 5) & 63 : (v >> 5) & 31;
    int g8 = is565 ? (g << 2 | g >> 4) : (g << 3 | g >> 2);
    return {r << 3 | r >> 2, g8, b << 3 | b >> 2, 255};
}

// The ordered dither: a 4x4 Bayer matrix of 0..15, scaled to the step of
// the channel it is added to.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

uint16_t Pack16(Rgba c, bool is565, bool dither, int x, int y) {
    if (dither) {
        int d = kBayer[y & 3][x & 3];
        c.r = std::min(255, c.r + (d >> 1));
        c.b = std::min(255, c.b + (d >> 1));
        c.g = std::min(255, c.g + (is565 ? d >> 2 : d >> 1));
    }
    if (is565) return uint16_t(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
    return uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
}

bool Is565(const PixelFormat& f) {
    return f.greenMask == 0x07E0;
}

uint16_t PackColour(uint32_t xrgb, bool is565) {
    Rgba c{int((xrgb >> 16) & 255), int((xrgb >> 8) & 255), int(xrgb & 255), 255};
    return Pack16(c, is565, false, 0, 0);
}

uint16_t QuantiseZ(double z) {
    if (!(z > 0)) return 0;
    if (z >= 1) return 65535;
    return uint16_t(z * 65535.0 + 0.5);
}

int ToChannel(double v) {
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return int(v + 0.5);
}

inline bool Compare(uint32_t func, uint32_t value, uint32_t reference) {
    switch (func) {
    case D3DCMP_NEVER: return false;
    case D3DCMP_LESS: return value < reference;
    case D3DCMP_EQUAL: return value == reference;
    case D3DCMP_LESSEQUAL: return value <= reference;
    case D3DCMP_GREATER: return value > reference;
    case D3DCMP_NOTEQUAL: return value != reference;
    case D3DCMP_GREATEREQUAL: return value >= reference;
    default: return true;
    }
}

// ---------------------------------------------------------------------------
// Textures as the rasteriser reads them
// ---------------------------------------------------------------------------

struct ChannelDecode {
    int shift;
    uint32_t mask;          // after the shift; 0: the channel is absent
    uint8_t widen[256];     // channel value -> 8 bits (channels of up to 8 bits)
    int wideShift;          // channels wider than 8 bits: drop this many bits
};

struct TextureView {
    const uint8_t* pixels;
    int width, height, pitch, bytes;
    bool pow2;
    bool indexed;
    Rgba palette[256];
    ChannelDecode red, green, blue, alpha;
    bool keyed;
    uint32_t keyLow, keyHigh;
};

void SetUpChannel(ChannelDecode* c, uint32_t mask) {
    c->shift = mask ? __builtin_ctz(mask) : 0;
    c->mask = mask >> c->shift;
    int bits = mask ? 32 - __builtin_clz(c->mask) : 0;
    c->wideShift = bits > 8 ? bits - 8 : 0;
    if (bits == 0 || bits > 8) return;
    for (uint32_t v = 0; v <= c->mask; ++v) c->widen[v] = uint8_t(Widen(v, bits));
}

inline int DecodeChannel(const ChannelDecode& c, uint32_t raw, int absent) {
    if (!c.mask) return absent;
    uint32_t v = (raw >> c.shift) & c.mask;
    return c.wideShift ? int(v >> c.wideShift) : c.widen[v];
}

inline Rgba Decode(const TextureView& t, uint32_t raw) {
    if (t.indexed) return t.palette[raw & 255];
    return {DecodeChannel(t.red, raw, 0), DecodeChannel(t.green, raw, 0), DecodeChannel(t.blue, raw, 0),
            DecodeChannel(t.alpha, raw, 255)};
}

// The palette entries a texture draws with: the palette attached to its
// surface, else the copy its last load left in the texture record; nullptr
// for none (an 8-bit texture then reads grey levels).
const PaletteEntry* TexturePalette(const D3DTexture* t) {
    if (t->surface->palette) return t->surface->palette->entries;
    return t->hasPalette ? t->palette : nullptr;
}

void SetUpPalette(TextureView* v, const D3DTexture* t) {
    const PaletteEntry* entries = TexturePalette(t);
    for (int i = 0; i < 256; ++i)
        v->palette[i] = entries ? Rgba{entries[i].red, entries[i].green, entries[i].blue, 255} : Rgba{i, i, i, 255};
}

void SetUpTexture(TextureView* v, const D3DTexture* t) {
    const Surface* s = t->surface;
    v->pixels = s->pixels.data();
    v->width = s->width;
    v->height = s->height;
    v->pitch = s->pitch;
    v->bytes = detail::BytesPerPixel(s->format);
    v->pow2 = (s->width & (s->width - 1)) == 0 && (s->height & (s->height - 1)) == 0;
    v->indexed = s->format.bits <= 8;
    if (v->indexed) SetUpPalette(v, t);
    SetUpChannel(&v->red, s->format.redMask);
    SetUpChannel(&v->green, s->format.greenMask);
    SetUpChannel(&v->blue, s->format.blueMask);
    SetUpChannel(&v->alpha, s->format.alphaMask);
    v->keyed = s->colourKey;
    v->keyLow = s->keyLow;
    v->keyHigh = s->keyHigh;
}

// floor(v) as an integer (truncation corrected for negative values, which
// keeps the library call out of the pixel loop); far-off or undefined
// co-ordinates read texel 0.
inline int64_t FloorToInt(double v) {
    if (!(v > -1e15 && v < 1e15)) return 0;
    int64_t i = int64_t(v);
    return double(i) > v ? i - 1 : i;
}

inline int Wrap(int64_t i, int n, bool pow2) {
    if (pow2) return int(i & (n - 1));
    int64_t m = i % n;
    return int(m < 0 ? m + n : m);
}

inline uint32_t RawTexel(const TextureView& t, int x, int y) {
    const uint8_t* p = t.pixels + size_t(y) * t.pitch + size_t(x) * t.bytes;
    return t.bytes == 2 ? Load16(p) : LoadRaw(p, t.bytes);
}

inline Rgba Bilinear(const TextureView& t, double u, double v) {
    double fx = u * t.width - 0.5, fy = v * t.height - 0.5;
    if (!(fx > -1e15 && fx < 1e15 && fy > -1e15 && fy < 1e15)) fx = fy = 0;
    int64_t ix = FloorToInt(fx), iy = FloorToInt(fy);
    int wx = int((fx - double(ix)) * 256), wy = int((fy - double(iy)) * 256);
    int x0 = Wrap(ix, t.width, t.pow2), x1 = Wrap(ix + 1, t.width, t.pow2);
    int y0 = Wrap(iy, t.height, t.pow2), y1 = Wrap(iy + 1, t.height, t.pow2);
    Rgba c00 = Decode(t, RawTexel(t, x0, y0)), c10 = Decode(t, RawTexel(t, x1, y0));
    Rgba c01 = Decode(t, RawTexel(t, x0, y1)), c11 = Decode(t, RawTexel(t, x1, y1));
    int w00 = (256 - wx) * (256 - wy), w10 = wx * (256 - wy), w01 = (256 - wx) * wy, w11 = wx * wy;
    auto mix = [&](int a, int b, int c, int d) { return (a * w00 + b * w10 + c * w01 + d * w11 + 32768) >> 16; };
    return {mix(c00.r, c10.r, c01.r, c11.r), mix(c00.g, c10.g, c01.g, c11.g), mix(c00.b, c10.b, c01.b, c11.b),
            mix(c00.a, c10.a, c01.a, c11.a)};
}

// The texel colour at (u, v) with wrap addressing; false when the nearest
// texel is colour-keyed (the pixel is then not drawn).
template <bool Linear>
inline bool Sample(const TextureView& t, double u, double v, Rgba* out) {
    int x = Wrap(FloorToInt(u * t.width), t.width, t.pow2);
    int y = Wrap(FloorToInt(v * t.height), t.height, t.pow2);
    uint32_t raw = RawTexel(t, x, y);
    if (t.keyed && raw >= t.keyLow && raw <= t.keyHigh) return false;
    *out = Linear ? Bilinear(t, u, v) : Decode(t, raw);
    return true;
}

// ---------------------------------------------------------------------------
// Stage 0 and the blender
// ---------------------------------------------------------------------------

struct StageOps {
    uint32_t colourOp, colourArg1, colourArg2, alphaOp, alphaArg1, alphaArg2;
};

// DIFFUSE and CURRENT both read the diffuse colour in the first stage.
inline bool ReadsTexture(uint32_t arg) {
    return (arg & 0xF) == D3DTA_TEXTURE;
}

// One op on one channel: a1, a2 the arguments, ta the texture's alpha, d the
// diffuse value (what DISABLE passes on).
inline int Op(uint32_t op, int a1, int a2, int ta, int d) {
    switch (op) {
    case D3DTOP_DISABLE: return d;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 * a2 / 255;
    case D3DTOP_BLENDTEXTUREALPHA: return (a1 * ta + a2 * (255 - ta)) / 255;
    default: return a1;
    }
}

[[gnu::always_inline]] inline Rgba Combine(const StageOps& s, const Rgba& t, const Rgba& d) {
    const Rgba& c1 = ReadsTexture(s.colourArg1) ? t : d;
    const Rgba& c2 = ReadsTexture(s.colourArg2) ? t : d;
    int a = Op(s.alphaOp, ReadsTexture(s.alphaArg1) ? t.a : d.a, ReadsTexture(s.alphaArg2) ? t.a : d.a, t.a, d.a);
    switch (s.colourOp) {
    case D3DTOP_DISABLE: return {d.r, d.g, d.b, a};
    case D3DTOP_SELECTARG2: return {c2.r, c2.g, c2.b, a};
    case D3DTOP_MODULATE: return {c1.r * c2.r / 255, c1.g * c2.g / 255, c1.b * c2.b / 255, a};
    case D3DTOP_BLENDTEXTUREALPHA: {
        auto mix = [&](int a1, int a2) { return (a1 * t.a + a2 * (255 - t.a)) / 255; };
        return {mix(c1.r, c2.r), mix(c1.g, c2.g), mix(c1.b, c2.b), a};
    }
    default: return {c1.r, c1.g, c1.b, a};
    }
}

inline int BlendFactor(uint32_t factor, int srcAlpha) {
    switch (factor) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_SRCALPHA: return srcAlpha;
    case D3DBLEND_INVSRCALPHA: return 255 - srcAlpha;
    default: return 255;
    }
}

inline Rgba Blend(const Rgba& s, const Rgba& d, uint32_t srcFactor, uint32_t destFactor) {
    int fs = BlendFactor(srcFactor, s.a), fd = BlendFactor(destFactor, s.a);
    auto mix = [&](int a, int b) { return std::min(255, (a * fs + b * fd) / 255); };
    return {mix(s.r, d.r), mix(s.g, d.g), mix(s.b, d.b), s.a};
}

// ---------------------------------------------------------------------------
// The rasteriser
// ---------------------------------------------------------------------------

struct Triangle;

// What one draw call reads of the device, gathered once.
struct Context {
    uint8_t* colour;
    int colourPitch;
    bool is565;
    uint8_t* depth;  // nullptr: no z test and no z write
    int depthPitch;
    bool zTest, zWrite;
    uint32_t zFunc;
    int clipLeft, clipTop, clipRight, clipBottom;  // right and bottom exclusive
    double minZ, zRange;
    bool gouraud, specular, dither, blend, alphaTest;
    uint32_t cull, srcBlend, destBlend, alphaFunc, alphaRef;
    StageOps ops;
    bool textured, perspective, linear;
    TextureView tex;
    void (*span)(const Context& c, const Triangle& t, int y, int left, int right);
};

// An edge a -> b in 1/16 pixel: E(p) = dx*(p.y-y0) - dy*(p.x-x0); a pixel
// centre is on the inner side when E >= threshold (0 for top and left
// edges, which own their pixels, 1 for the others).
struct Edge {
    int64_t x0, y0, dx, dy, threshold;
};

// value(px, py) = c + a*px + b*py, pixel co-ordinates.
struct Plane {
    double a, b, c;
};

enum Attribute { kZ, kR, kG, kB, kA, kSR, kSG, kSB, kU, kV, kQ, kAttributes };

struct Triangle {
    Edge edges[3];
    int left, right, top, bottom;  // inclusive pixel bounds, clipped
    Plane planes[kAttributes];
    Rgba flatDiffuse, flatSpecular;  // the first vertex's colours
    bool shadeDiffuse, shadeSpecular;  // Gouraud with colours that differ
};

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

inline int64_t CeilDiv(int64_t a, int64_t b) {  // b > 0
    return -FloorDiv(-a, b);
}

// Vertex positions beyond this many pixels are refused, which keeps the
// edge products inside 64 bits.
constexpr double kMaxCoordinate = 4194304.0;

bool Snap(float v, int64_t* out) {
    double d = double(v);
    if (!(d > -kMaxCoordinate && d < kMaxCoordinate)) return false;
    *out = int64_t(std::floor(d * 16.0 + 0.5));
    return true;
}

Rgba Unpack8888(uint32_t argb) {
    return {int((argb >> 16) & 255), int((argb >> 8) & 255), int(argb & 255), int(argb >> 24)};
}

void VertexAttributes(const Context& c, const TLVertex& v, double* out) {
    Rgba d = Unpack8888(v.diffuse), s = Unpack8888(v.specular);
    out[kZ] = c.minZ + double(v.sz) * c.zRange;
    out[kR] = d.r, out[kG] = d.g, out[kB] = d.b, out[kA] = d.a;
    out[kSR] = s.r, out[kSG] = s.g, out[kSB] = s.b;
    double q = c.perspective ? double(v.rhw) : 1.0;
    out[kU] = double(v.tu) * q, out[kV] = double(v.tv) * q, out[kQ] = q;
}

void SetUpEdge(Edge* e, int64_t ax, int64_t ay, int64_t bx, int64_t by) {
    e->x0 = ax, e->y0 = ay, e->dx = bx - ax, e->dy = by - ay;
    bool topLeft = e->dy < 0 || (e->dy == 0 && e->dx > 0);
    e->threshold = topLeft ? 0 : 1;
}

void SetUpPlanes(Triangle* t, const int64_t* x, const int64_t* y, double attrs[3][kAttributes]) {
    double x0 = x[0] / 16.0, y0 = y[0] / 16.0;
    double dx1 = x[1] / 16.0 - x0, dy1 = y[1] / 16.0 - y0, dx2 = x[2] / 16.0 - x0, dy2 = y[2] / 16.0 - y0;
    double area = dx1 * dy2 - dx2 * dy1;
    for (int k = 0; k < kAttributes; ++k) {
        double f0 = attrs[0][k], f1 = attrs[1][k] - f0, f2 = attrs[2][k] - f0;
        Plane& p = t->planes[k];
        p.a = (f1 == 0 && f2 == 0) ? 0.0 : (f1 * dy2 - f2 * dy1) / area;
        p.b = (f1 == 0 && f2 == 0) ? 0.0 : (dx1 * f2 - dx2 * f1) / area;
        p.c = f0 - p.a * x0 - p.b * y0;
    }
}

// Snaps, culls and orients a triangle clockwise, and computes its edges,
// clipped bounds and attribute planes.  False when nothing is to be drawn.
bool SetUpTriangle(const Context& c, const TLVertex* v, Triangle* t) {
    const TLVertex* p[3] = {&v[0], &v[1], &v[2]};
    int64_t x[3], y[3];
    for (int i = 0; i < 3; ++i)
        if (!Snap(p[i]->sx, &x[i]) || !Snap(p[i]->sy, &y[i])) return false;
    int64_t area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (area == 0 || (c.cull == D3DCULL_CCW && area < 0) || (c.cull == D3DCULL_CW && area > 0)) return false;
    if (area < 0) {
        std::swap(p[1], p[2]);
        std::swap(x[1], x[2]);
        std::swap(y[1], y[2]);
    }
    int64_t minX = std::min({x[0], x[1], x[2]}), maxX = std::max({x[0], x[1], x[2]});
    int64_t minY = std::min({y[0], y[1], y[2]}), maxY = std::max({y[0], y[1], y[2]});
    // Pixel x has its centre at 16x + 8.
    t->left = int(std::max<int64_t>(c.clipLeft, CeilDiv(minX - 8, 16)));
    t->right = int(std::min<int64_t>(c.clipRight - 1, FloorDiv(maxX - 8, 16)));
    t->top = int(std::max<int64_t>(c.clipTop, CeilDiv(minY - 8, 16)));
    t->bottom = int(std::min<int64_t>(c.clipBottom - 1, FloorDiv(maxY - 8, 16)));
    if (t->left > t->right || t->top > t->bottom) return false;
    for (int i = 0; i < 3; ++i) SetUpEdge(&t->edges[i], x[i], y[i], x[(i + 1) % 3], y[(i + 1) % 3]);
    double attrs[3][kAttributes];
    for (int i = 0; i < 3; ++i) VertexAttributes(c, *p[i], attrs[i]);
    SetUpPlanes(t, x, y, attrs);
    // Flat shading takes the first vertex as listed.  Gouraud shading of
    // equal colours is that colour exactly, so it is not interpolated.
    t->flatDiffuse = Unpack8888(v[0].diffuse);
    t->flatSpecular = Unpack8888(v[0].specular);
    t->shadeDiffuse = c.gouraud && (v[1].diffuse != v[0].diffuse || v[2].diffuse != v[0].diffuse);
    uint32_t specularChange = (v[1].specular ^ v[0].specular) | (v[2].specular ^ v[0].specular);
    t->shadeSpecular = c.gouraud && (specularChange & 0xFFFFFF) != 0;  // its alpha is not drawn
    return true;
}

// The covered pixels of row y: [*left, *right], empty when left > right.
void RowSpan(const Triangle& t, int y, int* left, int* right) {
    int64_t py = 16 * int64_t(y) + 8;
    int64_t lo = t.left, hi = t.right;
    for (const Edge& e : t.edges) {
        // E at pixel x is k + s*x.
        int64_t k = e.dx * (py - e.y0) - e.dy * (8 - e.x0), s = -16 * e.dy;
        if (s > 0) lo = std::max(lo, CeilDiv(e.threshold - k, s));
        else if (s < 0) hi = std::min(hi, FloorDiv(k - e.threshold, -s));
        else if (k < e.threshold) hi = lo - 1;
    }
    *left = int(lo);
    *right = int(hi);
}

struct RowPlanes {
    double v[kAttributes];
};

inline double At(const Triangle& t, const RowPlanes& row, int k, double px) {
    return row.v[k] + t.planes[k].a * px;
}

// The colour of one covered pixel before blending; false when the pixel is
// not drawn (colour key or alpha test).
template <bool Textured, bool Linear>
inline bool ShadeColour(const Context& c, const Triangle& t, const RowPlanes& row, double px, Rgba* out) {
    Rgba diffuse = t.shadeDiffuse ? Rgba{ToChannel(At(t, row, kR, px)), ToChannel(At(t, row, kG, px)),
                                    ToChannel(At(t, row, kB, px)), ToChannel(At(t, row, kA, px))}
                             : t.flatDiffuse;
    Rgba colour = diffuse;
    if constexpr (Textured) {
        double u = At(t, row, kU, px), v = At(t, row, kV, px);
        if (c.perspective) {
            double q = At(t, row, kQ, px), w = q != 0 ? 1.0 / q : 0.0;
            u *= w;
            v *= w;
        }
        Rgba texel;
        if (!Sample<Linear>(c.tex, u, v, &texel)) return false;
        colour = Combine(c.ops, texel, diffuse);
    }
    if (c.alphaTest && !Compare(c.alphaFunc, uint32_t(colour.a), c.alphaRef)) return false;
    if (c.specular) {
        Rgba s = t.shadeSpecular ? Rgba{ToChannel(At(t, row, kSR, px)), ToChannel(At(t, row, kSG, px)),
                                  ToChannel(At(t, row, kSB, px)), 0}
                           : t.flatSpecular;
        colour.r = std::min(255, colour.r + s.r);
        colour.g = std::min(255, colour.g + s.g);
        colour.b = std::min(255, colour.b + s.b);
    }
    *out = colour;
    return true;
}

// One span of a row, the texturing decided at compile time so the pixel
// loop carries no branches for it.
template <bool Textured, bool Linear>
void DrawSpan(const Context& c, const Triangle& t, int y, int left, int right) {
    RowPlanes row;
    double py = y + 0.5;
    for (int k = 0; k < kAttributes; ++k) row.v[k] = t.planes[k].c + t.planes[k].b * py;
    uint8_t* dst = c.colour + size_t(y) * c.colourPitch;
    uint8_t* zrow = c.depth ? c.depth + size_t(y) * c.depthPitch : nullptr;
    for (int x = left; x <= right; ++x) {
        double px = x + 0.5;
        uint16_t z = 0;
        if (zrow) {
            z = QuantiseZ(At(t, row, kZ, px));
            if (c.zTest && !Compare(c.zFunc, z, Load16(zrow + 2 * x))) continue;
        }
        Rgba colour;
        if (!ShadeColour<Textured, Linear>(c, t, row, px, &colour)) continue;
        if (c.blend) colour = Blend(colour, Unpack16(Load16(dst + 2 * x), c.is565), c.srcBlend, c.destBlend);
        Store16(dst + 2 * x, Pack16(colour, c.is565, c.dither, x, y));
        if (c.zWrite) Store16(zrow + 2 * x, z);
    }
}

void DrawTriangle(const Context& c, const TLVertex* v) {
    Triangle t;
    if (!SetUpTriangle(c, v, &t)) return;
    for (int y = t.top; y <= t.bottom; ++y) {
        int left, right;
        RowSpan(t, y, &left, &right);
        if (left <= right) c.span(c, t, y, left, right);
    }
}

// A rectangle clipped to the target (right and bottom exclusive).
Rect ClipToTarget(const Surface* s, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    return {int(std::max<int64_t>(left, 0)), int(std::max<int64_t>(top, 0)), int(std::min<int64_t>(right, s->width)),
            int(std::min<int64_t>(bottom, s->height))};
}

Rect ViewportRect(const D3DDevice* d) {
    return ClipToTarget(d->target, d->vpX, d->vpY, int64_t(d->vpX) + d->vpWidth, int64_t(d->vpY) + d->vpHeight);
}

void ClipToViewport(const D3DDevice* d, Context* c) {
    Rect r = ViewportRect(d);
    c->clipLeft = r.left, c->clipTop = r.top, c->clipRight = r.right, c->clipBottom = r.bottom;
}

void SetUpContext(const D3DDevice* d, Context* c) {
    Surface* s = d->target;
    c->colour = s->pixels.data();
    c->colourPitch = s->pitch;
    c->is565 = Is565(s->format);
    bool zOn = d->zbuffer && RenderState(d, D3DRS_ZENABLE) != 0;
    c->depth = zOn ? d->zbuffer->pixels.data() : nullptr;
    c->depthPitch = zOn ? d->zbuffer->pitch : 0;
    c->zTest = zOn;
    c->zWrite = zOn && RenderState(d, D3DRS_ZWRITEENABLE) != 0;
    c->zFunc = RenderState(d, D3DRS_ZFUNC);
    ClipToViewport(d, c);
    c->minZ = d->minZ;
    c->zRange = double(d->maxZ) - double(d->minZ);
    c->gouraud = RenderState(d, D3DRS_SHADEMODE) != D3DSHADE_FLAT;
    c->specular = RenderState(d, D3DRS_SPECULARENABLE) != 0;
    c->dither = RenderState(d, D3DRS_DITHERENABLE) != 0;
    c->blend = RenderState(d, D3DRS_ALPHABLENDENABLE) != 0;
    c->alphaTest = RenderState(d, D3DRS_ALPHATESTENABLE) != 0;
    c->cull = RenderState(d, D3DRS_CULLMODE);
    c->srcBlend = RenderState(d, D3DRS_SRCBLEND);
    c->destBlend = RenderState(d, D3DRS_DESTBLEND);
    c->alphaFunc = RenderState(d, D3DRS_ALPHAFUNC);
    c->alphaRef = RenderState(d, kAlphaRef);
    c->ops = {StageState(d, 0, D3DTSS_COLOROP),  StageState(d, 0, D3DTSS_COLORARG1),
              StageState(d, 0, D3DTSS_COLORARG2), StageState(d, 0, D3DTSS_ALPHAOP),
              StageState(d, 0, D3DTSS_ALPHAARG1), StageState(d, 0, D3DTSS_ALPHAARG2)};
    c->textured = d->texture && detail::IsSurface(d->texture->surface) && c->ops.colourOp != D3DTOP_DISABLE;
    c->perspective = RenderState(d, D3DRS_TEXTUREPERSPECTIVE) != 0;
    c->linear = StageState(d, 0, D3DTSS_MAGFILTER) == D3DTFG_LINEAR;
    if (c->textured) SetUpTexture(&c->tex, d->texture);
    // The surface's key applies only while colour keying is on.
    if (c->textured && RenderState(d, D3DRS_COLORKEYENABLE) == 0) c->tex.keyed = false;
    c->span = !c->textured ? DrawSpan<false, false> : c->linear ? DrawSpan<true, true> : DrawSpan<true, false>;
}

// Drawing and clearing need the target (and z-buffer) present and free.
int TargetReady(const D3DDevice* d) {
    if (!detail::IsSurface(d->target) || (d->zbuffer && !detail::IsSurface(d->zbuffer))) return DDERR_GENERIC;
    if (d->target->lost || (d->zbuffer && d->zbuffer->lost)) return DDERR_SURFACELOST;
    if (d->target->locked || (d->zbuffer && d->zbuffer->locked)) return DDERR_GENERIC;
    return DD_OK;
}

void ReleaseIfSurface(Surface* s) {
    if (detail::IsSurface(s)) SurfaceRelease(s);
}

}  // namespace

// ---------------------------------------------------------------------------
// Settings, enumeration and start
// ---------------------------------------------------------------------------

D3DSettings& D3DConfig() {
    return g_settings;
}

void ResetD3D() {
    g_settings = D3DSettings{};
}

D3D* D3DCreate(DDraw* dd) {
    if (!dd || g_settings.failCreate) return nullptr;
    return new D3D{dd};
}

void D3DRelease(D3D* d3d) {
    delete d3d;
}

std::vector<D3DDeviceInfo> D3DEnumDevices(D3D* d3d) {
    return d3d ? g_settings.devices : std::vector<D3DDeviceInfo>{};
}

std::vector<int> D3DEnumZBufferFormats(D3D* d3d, int deviceIndex) {
    if (!d3d || deviceIndex < 0 || deviceIndex >= int(g_settings.devices.size())) return {};
    return g_settings.zBufferFormats;
}

int SurfaceAttachZBuffer(Surface* target, Surface* zbuffer) {
    if (g_settings.failAttachZ || !detail::IsSurface(target) || !detail::IsSurface(zbuffer) || target == zbuffer)
        return DDERR_GENERIC;
    if (!(zbuffer->caps & DDSCAPS_ZBUFFER) || zbuffer->width != target->width || zbuffer->height != target->height)
        return DDERR_GENERIC;
    if (target->zbuffer == zbuffer) return DD_OK;
    // A z-buffer attached before is let go: the target holds one at a time.
    if (target->zbuffer) SurfaceRelease(target->zbuffer);
    target->zbuffer = zbuffer;
    zbuffer->refs++;
    return DD_OK;
}

int SurfaceSetColourKey(Surface* s, uint32_t low, uint32_t high) {
    if (!detail::IsSurface(s)) return DDERR_INVALIDPARAMS;
    s->colourKey = true;
    s->keyLow = low;
    s->keyHigh = high;
    return DD_OK;
}

int DDRestoreAllSurfaces(DDraw* dd) {
    if (!dd) return DDERR_INVALIDPARAMS;
    if (detail::Display().wrongMode) return DDERR_WRONGMODE;
    for (Surface* s : detail::AllSurfaces())
        if (s->owner == dd) s->lost = false;
    return DD_OK;
}

// ---------------------------------------------------------------------------
// The device
// ---------------------------------------------------------------------------

D3DDevice* D3DCreateDevice(D3D* d3d, int deviceIndex, Surface* target) {
    if (!d3d || g_settings.failDevice || deviceIndex < 0 || deviceIndex >= int(g_settings.devices.size()))
        return nullptr;
    if (!detail::IsSurface(target) || detail::BytesPerPixel(target->format) != 2) return nullptr;
    auto* d = new D3DDevice{};
    d->d3d = d3d;
    d->target = target;
    target->refs++;
    // Only a 16-bit z-buffer is drawn into; another is left alone.
    if (target->zbuffer && detail::BytesPerPixel(target->zbuffer->format) == 2) {
        d->zbuffer = target->zbuffer;
        d->zbuffer->refs++;
    }
    d->vpX = 0, d->vpY = 0, d->vpWidth = target->width, d->vpHeight = target->height;
    d->minZ = 0.0f, d->maxZ = 1.0f;
    return d;
}

void D3DDeviceRelease(D3DDevice* device) {
    if (!device) return;
    D3DTextureRelease(device->texture);
    ReleaseIfSurface(device->zbuffer);
    ReleaseIfSurface(device->target);
    delete device;
}

std::vector<TextureFormat> D3DEnumTextureFormats(D3DDevice* device) {
    std::vector<TextureFormat> formats;
    if (!device) return formats;
    if (g_settings.palettised) formats.push_back({DDPF_PALETTEINDEXED8 | DDPF_RGB, {8, 0, 0, 0, 0}});
    if (g_settings.argb1555)
        formats.push_back({DDPF_RGB | DDPF_ALPHAPIXELS, {16, 0x7C00, 0x03E0, 0x001F, 0x8000}});
    if (g_settings.rgb565) formats.push_back({DDPF_RGB, {16, 0xF800, 0x07E0, 0x001F, 0}});
    if (g_settings.argb4444)
        formats.push_back({DDPF_RGB | DDPF_ALPHAPIXELS, {16, 0x0F00, 0x00F0, 0x000F, 0xF000}});
    return formats;
}

// Textures live in memory surfaces here, so there is no device copy to drop.
int D3DEvictManagedTextures(D3D* d3d) {
    return d3d ? DD_OK : DDERR_INVALIDPARAMS;
}

// ---------------------------------------------------------------------------
// Viewport and clears
// ---------------------------------------------------------------------------

int D3DSetViewport(D3DDevice* device, int x, int y, int width, int height, float minZ, float maxZ) {
    if (!device || width <= 0 || height <= 0) return DDERR_INVALIDPARAMS;
    device->vpX = x, device->vpY = y, device->vpWidth = width, device->vpHeight = height;
    device->minZ = minZ, device->maxZ = maxZ;
    return DD_OK;
}

int D3DSetBackground(D3DDevice* device, float red, float green, float blue) {
    if (!device) return DDERR_INVALIDPARAMS;
    device->background[0] = red, device->background[1] = green, device->background[2] = blue;
    return DD_OK;
}

namespace {

void Fill16(Surface* s, const Rect& r, uint16_t value) {
    for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* row = s->pixels.data() + size_t(y) * s->pitch;
        for (int x = r.left; x < r.right; ++x) Store16(row + 2 * x, value);
    }
}

}  // namespace

int D3DClear(D3DDevice* device, const Rect* rect, uint32_t flags, uint32_t colour, float z) {
    if (!device) return DDERR_INVALIDPARAMS;
    if (int rc = TargetReady(device)) return rc;
    Surface* s = device->target;
    Rect r = rect ? ClipToTarget(s, rect->left, rect->top, rect->right, rect->bottom) : ViewportRect(device);
    if (flags & D3DCLEAR_TARGET) Fill16(s, r, PackColour(colour, Is565(s->format)));
    if ((flags & D3DCLEAR_ZBUFFER) && device->zbuffer) Fill16(device->zbuffer, r, QuantiseZ(z));
    return DD_OK;
}

int D3DBeginScene(D3DDevice* device) {
    if (!device) return DDERR_INVALIDPARAMS;
    device->inScene = true;
    return DD_OK;
}

int D3DEndScene(D3DDevice* device) {
    if (!device) return DDERR_INVALIDPARAMS;
    if (!device->inScene) return DDERR_GENERIC;
    device->inScene = false;
    return DD_OK;
}

// ---------------------------------------------------------------------------
// States
// ---------------------------------------------------------------------------

int D3DSetRenderState(D3DDevice* device, uint32_t state, uint32_t value) {
    if (!device) return DDERR_INVALIDPARAMS;
    device->renderStates[state] = value;
    if (state == D3DRS_TEXTUREMAPBLEND) ApplyTextureMapBlend(device, value);
    return DD_OK;
}

uint32_t D3DGetRenderState(D3DDevice* device, uint32_t state) {
    return device ? RenderState(device, state) : 0;
}

int D3DSetTextureStageState(D3DDevice* device, int stage, uint32_t state, uint32_t value) {
    if (!device || stage < 0 || stage >= kStages) return DDERR_INVALIDPARAMS;
    device->stageStates[stage][state] = value;
    return DD_OK;
}

uint32_t D3DGetTextureStageState(D3DDevice* device, int stage, uint32_t state) {
    if (!device || stage < 0 || stage >= kStages) return 0;
    return StageState(device, stage, state);
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

D3DTexture* D3DTextureFromSurface(Surface* surface) {
    if (!detail::IsSurface(surface) || !(surface->caps & DDSCAPS_TEXTURE)) return nullptr;
    for (D3DTexture* t : g_textures) {
        if (t->surface == surface) {
            t->refs++;
            return t;
        }
    }
    auto* t = new D3DTexture{};
    t->surface = surface;
    t->refs = 1;
    surface->refs++;
    g_textures.push_back(t);
    return t;
}

void D3DTextureRelease(D3DTexture* texture) {
    if (!texture || --texture->refs > 0) return;
    ReleaseIfSurface(texture->surface);
    g_textures.erase(std::remove(g_textures.begin(), g_textures.end(), texture), g_textures.end());
    delete texture;
}

namespace {

// The source's palette goes into the palette attached to the destination
// surface, or, when it has none, into the destination texture's record.
void LoadPalette(D3DTexture* destination, const D3DTexture* source) {
    const PaletteEntry* entries = TexturePalette(source);
    if (!entries) return;
    PaletteEntry* into = destination->surface->palette ? destination->surface->palette->entries : destination->palette;
    if (into != entries) std::memmove(into, entries, sizeof destination->palette);
    if (!destination->surface->palette) destination->hasPalette = true;
}

}  // namespace

int D3DTextureLoad(D3DTexture* destination, D3DTexture* source) {
    if (!destination || !source) return DDERR_INVALIDPARAMS;
    Surface* d = destination->surface;
    const Surface* s = source->surface;
    if (!detail::IsSurface(d) || !detail::IsSurface(source->surface)) return DDERR_INVALIDPARAMS;
    int bytes = detail::BytesPerPixel(d->format);
    if (bytes != detail::BytesPerPixel(s->format)) return DDERR_INVALIDPARAMS;
    if (d->lost || s->lost) return DDERR_SURFACELOST;
    if (d->locked || s->locked) return DDERR_GENERIC;
    if (d == s) return DD_OK;
    // Rows one by one: the two surfaces may have different pitches.
    int rows = std::min(d->height, s->height);
    size_t rowBytes = size_t(std::min(d->width, s->width)) * bytes;
    for (int y = 0; y < rows; ++y)
        std::memcpy(d->pixels.data() + size_t(y) * d->pitch, s->pixels.data() + size_t(y) * s->pitch, rowBytes);
    LoadPalette(destination, source);
    // A source colour key goes with the texels.
    if (s->colourKey) {
        d->colourKey = true;
        d->keyLow = s->keyLow;
        d->keyHigh = s->keyHigh;
    }
    return DD_OK;
}

int D3DSetTexture(D3DDevice* device, int stage, D3DTexture* texture) {
    if (!device || stage != 0) return DDERR_INVALIDPARAMS;
    if (texture == device->texture) return DD_OK;
    if (texture) texture->refs++;
    D3DTextureRelease(device->texture);
    device->texture = texture;
    return DD_OK;
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

int D3DDrawPrimitive(D3DDevice* device, uint32_t type, uint32_t vertexFormat, const TLVertex* vertices, int count,
                     uint32_t) {
    if (!device || type != D3DPT_TRIANGLELIST || vertexFormat != D3DFVF_TLVERTEX || count < 0 ||
        (count > 0 && !vertices))
        return DDERR_INVALIDPARAMS;
    if (int rc = TargetReady(device)) return rc;
    Context c;
    SetUpContext(device, &c);
    if (c.clipLeft >= c.clipRight || c.clipTop >= c.clipBottom) return DD_OK;
    for (int i = 0; i + 3 <= count; i += 3) DrawTriangle(c, vertices + i);
    return DD_OK;
}

}  // namespace host
