// Triangle set-up and the plain span routine of the host's rasteriser (see
// the rules at the top of host_d3d.cpp).
#include "host/d3d_raster.h"

#include <cmath>

namespace host::raster {

namespace {

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

inline uint32_t RawTexel(const TextureView& t, int x, int y) {
    const uint8_t* p = t.pixels + size_t(y) * t.pitch + size_t(x) * t.bytes;
    return t.bytes == 2 ? Load16(p) : LoadRaw(p, t.bytes);
}

int Log2(int n) {
    int s = 0;
    while ((1 << s) < n) ++s;
    return s;
}

}  // namespace

void BuildTextureView(TextureView* v, const Surface* s, const PaletteEntry* entries) {
    v->pixels = s->pixels.data();
    v->width = s->width;
    v->height = s->height;
    v->pitch = s->pitch;
    v->bytes = detail::BytesPerPixel(s->format);
    v->pow2 = (s->width & (s->width - 1)) == 0 && (s->height & (s->height - 1)) == 0;
    v->indexed = s->format.bits <= 8;
    for (int i = 0; i < 256; ++i)
        v->palette[i] = entries ? Rgba{entries[i].red, entries[i].green, entries[i].blue, 255} : Rgba{i, i, i, 255};
    SetUpChannel(&v->red, s->format.redMask);
    SetUpChannel(&v->green, s->format.greenMask);
    SetUpChannel(&v->blue, s->format.blueMask);
    SetUpChannel(&v->alpha, s->format.alphaMask);
    v->keyed = s->colourKey;
    v->keyLow = s->keyLow;
    v->keyHigh = s->keyHigh;
    v->widthShift = v->pow2 ? Log2(s->width) : 0;
    v->heightShift = v->pow2 ? Log2(s->height) : 0;
    // The decoded copy serves the fast spans, which take only power-of-two
    // sides.
    v->argb.clear();
    v->keyFlags.clear();
    v->packed[0].clear();
    v->packed[1].clear();
    if (!v->pow2) return;
    size_t count = size_t(s->width) * size_t(s->height);
    v->argb.resize(count);
    if (v->keyed) v->keyFlags.assign(count + 3, 0);
    for (int y = 0; y < s->height; ++y) {
        for (int x = 0; x < s->width; ++x) {
            uint32_t raw = RawTexel(*v, x, y);
            Rgba c = Decode(*v, raw);
            size_t i = size_t(y) * size_t(s->width) + size_t(x);
            v->argb[i] = uint32_t(c.a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
            if (v->keyed) v->keyFlags[i] = raw >= v->keyLow && raw <= v->keyHigh;
        }
    }
}

const uint16_t* PackedTexels(TextureView* v, bool is565) {
    std::vector<uint16_t>& p = v->packed[is565 ? 1 : 0];
    if (v->argb.empty()) return nullptr;
    if (p.empty()) {
        p.resize(v->argb.size() + 1);  // a 32-bit read of the last one stays inside
        for (size_t i = 0; i < v->argb.size(); ++i) {
            uint32_t c = v->argb[i];
            p[i] = Pack16({int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255), int(c >> 24)}, is565, false, 0, 0);
        }
    }
    return p.data();
}

namespace {

// floor(v) as an integer, for a texel co-ordinate in single precision;
// co-ordinates outside -2^31..2^31, or not numbers, read texel 0.
inline int64_t FloorToInt(float v) {
    if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
    return int64_t(std::floor(v));
}

inline int Wrap(int64_t i, int n, bool pow2) {
    if (pow2) return int(i & (n - 1));
    int64_t m = i % n;
    return int(m < 0 ? m + n : m);
}

inline Rgba Bilinear(const TextureView& t, float u, float v) {
    float fx = u * float(t.width) - 0.5f, fy = v * float(t.height) - 0.5f;
    const float lo = -2147483648.0f, hi = 2147483648.0f;
    if (!(fx > lo && fx < hi && fy > lo && fy < hi)) fx = fy = 0;
    float gx = std::floor(fx), gy = std::floor(fy);
    int wx = int((fx - gx) * 256.0f), wy = int((fy - gy) * 256.0f);
    int64_t ix = int64_t(gx), iy = int64_t(gy);
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
inline bool Sample(const TextureView& t, bool keyed, float u, float v, Rgba* out) {
    int x = Wrap(FloorToInt(u * float(t.width)), t.width, t.pow2);
    int y = Wrap(FloorToInt(v * float(t.height)), t.height, t.pow2);
    uint32_t raw = RawTexel(t, x, y);
    if (keyed && raw >= t.keyLow && raw <= t.keyHigh) return false;
    *out = Linear ? Bilinear(t, u, v) : Decode(t, raw);
    return true;
}

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
// Set-up
// ---------------------------------------------------------------------------

int64_t Snap(double d) {
    return int64_t(std::floor(d * 16.0 + 0.5));
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

// The attribute planes a draw reads; the others are left unset.
uint32_t NeededPlanes(const Context& c, const Triangle& t) {
    uint32_t need = 0;
    if (c.depth) need |= 1u << kZ;
    if (t.shadeDiffuse) need |= 1u << kR | 1u << kG | 1u << kB | 1u << kA;
    if (c.specular && t.shadeSpecular) need |= 1u << kSR | 1u << kSG | 1u << kSB;
    if (c.textured) need |= 1u << kU | 1u << kV | (c.perspective ? 1u << kQ : 0u);
    return need;
}

void SetUpPlanes(Triangle* t, uint32_t need, const int64_t* x, const int64_t* y, const double (*attrs)[kAttributes]) {
    double x0 = x[0] / 16.0, y0 = y[0] / 16.0;
    double dx1 = x[1] / 16.0 - x0, dy1 = y[1] / 16.0 - y0, dx2 = x[2] / 16.0 - x0, dy2 = y[2] / 16.0 - y0;
    double area = dx1 * dy2 - dx2 * dy1;
    for (int k = 0; k < kAttributes; ++k) {
        if (!(need & (1u << k))) {
            t->planes[k] = {0.0, 0.0, 0.0};
            t->slopes[k] = 0.0f;
            continue;
        }
        double f0 = attrs[0][k], f1 = attrs[1][k] - f0, f2 = attrs[2][k] - f0;
        Plane& p = t->planes[k];
        p.a = (f1 == 0 && f2 == 0) ? 0.0 : (f1 * dy2 - f2 * dy1) / area;
        p.b = (f1 == 0 && f2 == 0) ? 0.0 : (dx1 * f2 - dx2 * f1) / area;
        p.c = f0 - p.a * x0 - p.b * y0;
        t->slopes[k] = float(p.a);
    }
}

// The rest of the set-up once the corners are snapped and run clockwise
// (positive area): bounds, edges, planes.  `v` gives the flat colours and
// whether the colours change over the triangle.
bool Finish(const Context& c, const TLVertex* v, const int64_t* x, const int64_t* y,
            const double (*attrs)[kAttributes], Triangle* t) {
    int64_t minX = std::min({x[0], x[1], x[2]}), maxX = std::max({x[0], x[1], x[2]});
    int64_t minY = std::min({y[0], y[1], y[2]}), maxY = std::max({y[0], y[1], y[2]});
    // Pixel x has its centre at 16x + 8.
    t->left = int(std::max<int64_t>(c.clipLeft, CeilDiv(minX - 8, 16)));
    t->right = int(std::min<int64_t>(c.clipRight - 1, FloorDiv(maxX - 8, 16)));
    t->top = int(std::max<int64_t>(c.clipTop, CeilDiv(minY - 8, 16)));
    t->bottom = int(std::min<int64_t>(c.clipBottom - 1, FloorDiv(maxY - 8, 16)));
    if (t->left > t->right || t->top > t->bottom) return false;
    for (int i = 0; i < 3; ++i) SetUpEdge(&t->edges[i], x[i], y[i], x[(i + 1) % 3], y[(i + 1) % 3]);
    // Flat shading takes the first vertex as listed.  Gouraud shading of
    // equal colours is that colour exactly, so it is not interpolated.
    t->flatDiffuse = Unpack8888(v[0].diffuse);
    t->flatSpecular = Unpack8888(v[0].specular);
    t->shadeDiffuse = c.gouraud && (v[1].diffuse != v[0].diffuse || v[2].diffuse != v[0].diffuse);
    uint32_t specularChange = (v[1].specular ^ v[0].specular) | (v[2].specular ^ v[0].specular);
    t->shadeSpecular = c.gouraud && (specularChange & 0xFFFFFF) != 0;  // its alpha is not drawn
    SetUpPlanes(t, NeededPlanes(c, *t), x, y, attrs);
    return true;
}

// A corner of a polygon being clipped: position in pixels and attributes.
struct ClipVertex {
    double x, y;
    double a[kAttributes];
};

// Keeps the part of the polygon where sign * (coordinate axis) <= limit.
int ClipPolygon(const ClipVertex* in, int n, ClipVertex* out, int axis, double sign, double limit) {
    auto coord = [&](const ClipVertex& v) { return sign * (axis == 0 ? v.x : v.y); };
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const ClipVertex& a = in[i];
        const ClipVertex& b = in[(i + 1) % n];
        double ca = coord(a), cb = coord(b);
        if (ca <= limit) out[m++] = a;
        if ((ca <= limit) != (cb <= limit)) {
            // Worked from the same end whichever way the edge runs, so that
            // two triangles sharing the edge share the cut point exactly.
            bool swap = a.x > b.x || (a.x == b.x && a.y > b.y);
            const ClipVertex& p0 = swap ? b : a;
            const ClipVertex& p1 = swap ? a : b;
            double c0 = coord(p0), c1 = coord(p1);
            double t = (limit - c0) / (c1 - c0);
            ClipVertex& p = out[m++];
            p.x = p0.x + (p1.x - p0.x) * t;
            p.y = p0.y + (p1.y - p0.y) * t;
            // On the band's edge exactly, whatever the rounding.
            (axis == 0 ? p.x : p.y) = sign * limit;
            for (int k = 0; k < kAttributes; ++k) p.a[k] = p0.a[k] + (p1.a[k] - p0.a[k]) * t;
        }
    }
    return m;
}

// A triangle with a corner past the coordinate range: the part inside the
// guard band, as a fan of triangles.  The attributes are planes in screen
// space, so the pieces carry the same planes (up to rounding).
int SetUpClipped(const Context& c, const TLVertex* v, Triangle* out) {
    double area = (double(v[1].sx) - v[0].sx) * (double(v[2].sy) - v[0].sy) -
                  (double(v[2].sx) - v[0].sx) * (double(v[1].sy) - v[0].sy);
    if (!(area != 0) || (c.cull == D3DCULL_CCW && area < 0) || (c.cull == D3DCULL_CW && area > 0)) return 0;
    ClipVertex a[16], b[16];
    for (int i = 0; i < 3; ++i) {
        a[i].x = v[i].sx;
        a[i].y = v[i].sy;
        VertexAttributes(c, v[i], a[i].a);
    }
    int n = 3;
    n = ClipPolygon(a, n, b, 0, 1.0, kGuardBand);
    n = ClipPolygon(b, n, a, 0, -1.0, kGuardBand);
    n = ClipPolygon(a, n, b, 1, 1.0, kGuardBand);
    n = ClipPolygon(b, n, a, 1, -1.0, kGuardBand);
    int made = 0;
    for (int i = 1; i + 1 < n && made < kMaxPieces; ++i) {
        const ClipVertex* p[3] = {&a[0], &a[i], &a[i + 1]};
        int64_t x[3], y[3];
        for (int k = 0; k < 3; ++k) x[k] = Snap(p[k]->x), y[k] = Snap(p[k]->y);
        int64_t snapped = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
        // Slivers that snapping flattened or turned over are left out.
        if (snapped == 0 || (snapped > 0) != (area > 0)) continue;
        if (snapped < 0) {
            std::swap(p[1], p[2]);
            std::swap(x[1], x[2]);
            std::swap(y[1], y[2]);
        }
        double attrs[3][kAttributes];
        for (int k = 0; k < 3; ++k) std::memcpy(attrs[k], p[k]->a, sizeof attrs[k]);
        if (Finish(c, v, x, y, attrs, &out[made])) ++made;
    }
    return made;
}

}  // namespace

int SetUpTriangle(const Context& c, const TLVertex* v, Triangle* out) {
    bool far = false;
    for (int i = 0; i < 3; ++i) {
        double px = v[i].sx, py = v[i].sy;
        if (!std::isfinite(px) || !std::isfinite(py)) return 0;
        far = far || !(px > -kMaxCoordinate && px < kMaxCoordinate && py > -kMaxCoordinate && py < kMaxCoordinate);
    }
    if (far) return SetUpClipped(c, v, out);
    const TLVertex* p[3] = {&v[0], &v[1], &v[2]};
    int64_t x[3], y[3];
    for (int i = 0; i < 3; ++i) x[i] = Snap(p[i]->sx), y[i] = Snap(p[i]->sy);
    int64_t area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    if (area == 0 || (c.cull == D3DCULL_CCW && area < 0) || (c.cull == D3DCULL_CW && area > 0)) return 0;
    if (area < 0) {
        std::swap(p[1], p[2]);
        std::swap(x[1], x[2]);
        std::swap(y[1], y[2]);
    }
    double attrs[3][kAttributes];
    for (int i = 0; i < 3; ++i) VertexAttributes(c, *p[i], attrs[i]);
    return Finish(c, v, x, y, attrs, out) ? 1 : 0;
}

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

void DrawRows(const Context& c, const Triangle& t, int from, int to) {
    for (int y = from; y <= to; ++y) {
        int left, right;
        RowSpan(t, y, &left, &right);
        if (left <= right) c.span(c, t, y, left, right);
    }
}

void DrawRowsStepped(const Context& c, const Triangle& t, int from, int to) {
    RowStepper rows(t, from);
    for (int y = from; y <= to; ++y) {
        int left, right;
        rows.Next(&left, &right);
        if (left <= right) c.span(c, t, y, left, right);
    }
}

// ---------------------------------------------------------------------------
// The plain span
// ---------------------------------------------------------------------------

namespace {

// The attributes where a span starts: pixel left + i takes
// start[k] + slopes[k] * i, in single precision.
struct RowStarts {
    float v[kAttributes];
};

inline float At(const Triangle& t, const RowStarts& row, int k, float i) {
    return row.v[k] + t.slopes[k] * i;
}

// The colour of one covered pixel before blending; false when the pixel is
// not drawn (colour key or alpha test).
template <bool Textured, bool Linear>
inline bool ShadeColour(const Context& c, const Triangle& t, const RowStarts& row, float i, Rgba* out) {
    Rgba diffuse = t.shadeDiffuse ? Rgba{ToChannel(At(t, row, kR, i)), ToChannel(At(t, row, kG, i)),
                                         ToChannel(At(t, row, kB, i)), ToChannel(At(t, row, kA, i))}
                                  : t.flatDiffuse;
    Rgba colour = diffuse;
    if constexpr (Textured) {
        float u = At(t, row, kU, i), v = At(t, row, kV, i);
        if (c.perspective) {
            float q = At(t, row, kQ, i), w = q != 0 ? 1.0f / q : 0.0f;
            u *= w;
            v *= w;
        }
        Rgba texel;
        if (!Sample<Linear>(*c.tex, c.keyed, u, v, &texel)) return false;
        colour = Combine(c.ops, texel, diffuse);
    }
    if (c.alphaTest && !Compare(c.alphaFunc, uint32_t(colour.a), c.alphaRef)) return false;
    if (c.specular) {
        Rgba s = t.shadeSpecular ? Rgba{ToChannel(At(t, row, kSR, i)), ToChannel(At(t, row, kSG, i)),
                                        ToChannel(At(t, row, kSB, i)), 0}
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
    RowStarts row;
    for (int k = 0; k < kAttributes; ++k) row.v[k] = RowStart(t.planes[k], left, y);
    uint8_t* dst = c.colour + size_t(y) * c.colourPitch;
    uint8_t* zrow = c.depth ? c.depth + size_t(y) * c.depthPitch : nullptr;
    for (int x = left; x <= right; ++x) {
        float i = float(x - left);
        uint16_t z = 0;
        if (zrow) {
            z = QuantiseZ(At(t, row, kZ, i));
            if (c.zTest && !Compare(c.zFunc, z, Load16(zrow + 2 * x))) continue;
        }
        Rgba colour;
        if (!ShadeColour<Textured, Linear>(c, t, row, i, &colour)) continue;
        if (c.blend) colour = Blend(colour, Unpack16(Load16(dst + 2 * x), c.is565), c.srcBlend, c.destBlend);
        Store16(dst + 2 * x, Pack16(colour, c.is565, c.dither, x, y));
        if (c.zWrite) Store16(zrow + 2 * x, z);
    }
}

}  // namespace

SpanFn ReferenceSpan(const Context& c) {
    return !c.textured ? DrawSpan<false, false> : c.linear ? DrawSpan<true, true> : DrawSpan<true, false>;
}

}  // namespace host::raster

namespace host::raster {

extern const RowsFn kFastRows[3];
extern const RowsFn kFastRowsWide[3];

namespace {

// The fast routines, where this processor can run them: the build for the
// 512-bit extensions, else the AVX2 one.
// (`narrow`: the AVX2 build whatever the processor offers.)
const RowsFn* FastTable(bool narrow) {
#if defined(__x86_64__) || defined(__i386__)
    static const RowsFn* avx2 = kFastRows[0] && __builtin_cpu_supports("avx2") ? kFastRows : nullptr;
    static const RowsFn* wide = kFastRowsWide[0] && __builtin_cpu_supports("avx512f") &&
                                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw") &&
                                        __builtin_cpu_supports("avx512dq")
                                    ? kFastRowsWide
                                    : avx2;
    return narrow ? avx2 : wide;
#else
    (void)narrow;
    return nullptr;
#endif
}

}  // namespace

bool FastRowsAvailable() {
    return FastTable(true) != nullptr;
}

RowsFn FastRows(const Context& c) {
    const RowsFn* table = FastTable(c.narrow);
    if (!table || c.specular || c.alphaTest) return nullptr;
    if (!c.textured) return table[0];
    if (!c.tex || !c.tex->pow2 || c.tex->argb.empty()) return nullptr;
    return c.linear ? table[2] : table[1];
}

}  // namespace host::raster
