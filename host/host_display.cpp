// Display objects, surfaces, palettes and the windowed presentation of the
// host layer, in memory; what becomes visible goes to the back end.
#include "host/display.h"

#include "host/backend.h"
#include "host/d3d.h"
#include "host/display_internal.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <unordered_set>

namespace host {

std::recursive_mutex detail::g_displayMutex;

namespace {

detail::DisplaySettings g_settings;
std::vector<Surface*> g_surfaces;
std::unordered_set<const Surface*> g_live;  // the same surfaces, for constant-time checks
uint64_t g_version = 0;  // under the display lock
std::vector<Clipper*> g_clippers;

std::vector<uint8_t> g_windowPicture;  // what the window shows in windowed use
int g_windowPictureW = 0, g_windowPictureH = 0;
int g_stillDrawing = 0;

PixelFormat FormatForBits(int bits) {
    switch (bits) {
    case 8: return {8, 0, 0, 0, 0};
    case 15: return kFormat555;
    case 16: return g_settings.use555 ? kFormat555 : kFormat565;
    case 24: return {24, 0xFF0000, 0x00FF00, 0x0000FF, 0};
    default: return {32, 0xFF0000, 0x00FF00, 0x0000FF, 0};
    }
}

}  // namespace

bool detail::IsSurface(Surface* s) {
    return s && g_live.count(s) != 0;
}

uint64_t detail::NextVersion() {
    return ++g_version;
}

const std::vector<Surface*>& detail::AllSurfaces() {
    return g_surfaces;
}

int detail::BytesPerPixel(const PixelFormat& f) {
    return f.bits <= 8 ? 1 : f.bits <= 16 ? 2 : f.bits <= 24 ? 3 : 4;
}

namespace {

using detail::IsSurface;
using detail::BytesPerPixel;

// An 8-bit surface's colours as 256 x {red, green, blue, unused}; nullptr
// for other surfaces or without a palette.
const uint8_t* PaletteRgbx(const Surface* s, uint8_t* rgbx) {
    if (s->format.bits != 8 || !s->palette) return nullptr;
    for (int i = 0; i < 256; ++i) {
        rgbx[i * 4] = s->palette->entries[i].red;
        rgbx[i * 4 + 1] = s->palette->entries[i].green;
        rgbx[i * 4 + 2] = s->palette->entries[i].blue;
        rgbx[i * 4 + 3] = 0;
    }
    return rgbx;
}

void Show(const Surface* s) {
    const detail::Backend* b = detail::ActiveBackend();
    if (!b || !s) return;
    uint8_t rgbx[1024];
    b->present({s->pixels.data(), s->width, s->height, s->pitch, s->format, PaletteRgbx(s, rgbx)});
}

Rect Whole(const Surface* s) {
    return {0, 0, s->width, s->height};
}

Rect Clip(Rect r, const Surface* s) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, s->width);
    r.bottom = std::min(r.bottom, s->height);
    return r;
}

void Fill(Surface* d, Rect r, uint32_t colour) {
    r = Clip(r, d);
    int bpp = BytesPerPixel(d->format);
    for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* row = d->pixels.data() + size_t(y) * d->pitch;
        for (int x = r.left; x < r.right; ++x)
            for (int b = 0; b < bpp; ++b) row[x * bpp + b] = uint8_t(colour >> (8 * b));
    }
}

void Copy(Surface* d, Rect dr, const Surface* s, Rect sr) {
    int bpp = BytesPerPixel(d->format);
    int w = dr.right - dr.left, h = dr.bottom - dr.top;
    int sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0 || BytesPerPixel(s->format) != bpp) return;
    if (w == sw && h == sh && d != s) {
        // Same size between two surfaces: the rows inside both, as they are.
        int x0 = std::max({0, dr.left, dr.left - sr.left}), x1 = std::min({d->width, dr.right, dr.left + s->width - sr.left});
        for (int y = 0; y < h && x0 < x1; ++y) {
            int dy = dr.top + y, sy = sr.top + y;
            if (dy < 0 || dy >= d->height || sy < 0 || sy >= s->height) continue;
            std::memcpy(d->pixels.data() + size_t(dy) * d->pitch + size_t(x0) * bpp,
                        s->pixels.data() + size_t(sy) * s->pitch + size_t(x0 - dr.left + sr.left) * bpp,
                        size_t(x1 - x0) * bpp);
        }
        return;
    }
    // Otherwise nearest-neighbour stretch (the source may be the destination).
    std::vector<uint8_t> source(s->pixels);
    for (int y = 0; y < h; ++y) {
        int dy = dr.top + y, sy = sr.top + (y * sh) / h;
        if (dy < 0 || dy >= d->height || sy < 0 || sy >= s->height) continue;
        for (int x = 0; x < w; ++x) {
            int dx = dr.left + x, sx = sr.left + (x * sw) / w;
            if (dx < 0 || dx >= d->width || sx < 0 || sx >= s->width) continue;
            std::memcpy(d->pixels.data() + size_t(dy) * d->pitch + size_t(dx) * bpp,
                        source.data() + size_t(sy) * s->pitch + size_t(sx) * bpp, size_t(bpp));
        }
    }
}

Surface* NewSurface(DDraw* dd, uint32_t caps, int width, int height, PixelFormat format) {
    auto* s = new Surface{};
    s->caps = caps;
    s->width = width;
    s->height = height;
    s->format = format;
    int padding = (caps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP)) ? g_settings.videoPitchPadding
                                                                                          : g_settings.memoryPitchPadding;
    s->pitch = width * BytesPerPixel(format) + padding;
    s->pixels.assign(size_t(s->pitch) * size_t(height), 0);
    s->owner = dd;
    s->refs = 1;
    s->version = detail::NextVersion();
    g_surfaces.push_back(s);
    g_live.insert(s);
    return s;
}

// A surface goes with the z-buffer attached to it (unless another holds it).
void DropSurface(Surface* s) {
    if (s->clipper) ClipperRelease(s->clipper);
    Surface* z = s->zbuffer;
    s->zbuffer = nullptr;
    g_surfaces.erase(std::remove(g_surfaces.begin(), g_surfaces.end(), s), g_surfaces.end());
    g_live.erase(s);
    delete s;
    if (z) SurfaceRelease(z);
}

}  // namespace

namespace detail {

DisplaySettings& Display() {
    return g_settings;
}

void ResetDisplay() {
    DisplayGuard guard;
    FinishDrawing();
    for (Surface* s : g_surfaces) delete s;
    g_surfaces.clear();
    g_live.clear();
    for (Clipper* c : g_clippers) delete c;
    g_clippers.clear();
    g_windowPicture.clear();
    g_stillDrawing = 0;
    g_settings = DisplaySettings{};
}

namespace {

// One pixel of a frame as 0x00RRGGBB: palette colours for 8 bits, each
// channel scaled to 0..255 otherwise.
uint32_t PixelToXrgb(const Frame& f, const uint8_t* p, int bpp) {
    auto channel = [](uint32_t v, uint32_t mask) -> uint32_t {
        if (!mask) return 0;
        int shift = __builtin_ctz(mask);
        uint32_t max = mask >> shift;
        return ((v & mask) >> shift) * 255 / max;
    };
    uint32_t v = 0;
    for (int b = 0; b < bpp; ++b) v |= uint32_t(p[b]) << (8 * b);
    if (bpp == 1) {
        const uint8_t* q = f.palette ? f.palette + v * 4 : nullptr;
        return q ? (uint32_t(q[0]) << 16) | (uint32_t(q[1]) << 8) | q[2] : v * 0x010101u;
    }
    return (channel(v, f.format.redMask) << 16) | (channel(v, f.format.greenMask) << 8) |
           channel(v, f.format.blueMask);
}

}  // namespace

void Row555ToXrgbPlain(const uint8_t* from, uint32_t* to, int count) {
    for (int x = 0; x < count; ++x) {
        uint32_t v = uint32_t(from[2 * x]) | uint32_t(from[2 * x + 1]) << 8;
        uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        to[x] = ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
    }
}

void Row555ToXrgb(const uint8_t* from, uint32_t* to, int count) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i five = _mm_set1_epi16(31);
    for (; x + 8 <= count; x += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2 * x));
        __m128i r = _mm_and_si128(_mm_srli_epi16(v, 10), five);
        __m128i g = _mm_and_si128(_mm_srli_epi16(v, 5), five);
        __m128i b = _mm_and_si128(v, five);
        // Five bits to eight: the value shifted up, its top bits below.
        r = _mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2));
        g = _mm_or_si128(_mm_slli_epi16(g, 3), _mm_srli_epi16(g, 2));
        b = _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2));
        __m128i gb = _mm_or_si128(_mm_slli_epi16(g, 8), b);  // the low half of each pixel
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), _mm_unpacklo_epi16(gb, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x + 4), _mm_unpackhi_epi16(gb, r));
    }
#endif
    Row555ToXrgbPlain(from + 2 * x, to + x, count - x);
}

std::vector<uint32_t> FrameToXrgb(const Frame& f) {
    std::vector<uint32_t> out(size_t(f.width) * size_t(f.height));
    int bpp = BytesPerPixel(f.format);
    bool xrgb = bpp == 4 && f.format.redMask == 0xFF0000 && f.format.greenMask == 0xFF00 && f.format.blueMask == 0xFF;
    // 16-bit pixels through a table of every value, kept for the last
    // format seen (a program presents in one format) and made only for
    // frames large enough to be worth it.  Any thread may present, so the
    // table is per thread.
    thread_local std::vector<uint32_t> table;
    thread_local PixelFormat tableFormat{};
    bool useTable = bpp == 2 && size_t(f.width) * size_t(f.height) > 65536;
    if (useTable && (table.empty() || std::memcmp(&tableFormat, &f.format, sizeof tableFormat) != 0)) {
        table.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v) {
            uint8_t p[2] = {uint8_t(v), uint8_t(v >> 8)};
            table[v] = PixelToXrgb(f, p, 2);
        }
        tableFormat = f.format;
    }
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* row = f.pixels + size_t(y) * f.pitch;
        uint32_t* to = out.data() + size_t(y) * f.width;
        if (xrgb) {
            for (int x = 0; x < f.width; ++x) {
                uint32_t v;
                std::memcpy(&v, row + size_t(x) * 4, 4);
                to[x] = v & 0xFFFFFF;
            }
        } else if (useTable) {
            for (int x = 0; x < f.width; ++x) to[x] = table[uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8];
        } else {
            for (int x = 0; x < f.width; ++x) to[x] = PixelToXrgb(f, row + size_t(x) * bpp, bpp);
        }
    }
    return out;
}

void LoseAllSurfaces() {
    DisplayGuard guard;
    for (Surface* s : g_surfaces) s->lost = true;
}

void InjectStillDrawing(int count) {
    DisplayGuard guard;
    g_stillDrawing = count;
}

std::vector<DisplayMode> SynthesisedModes(int count) {
    static const int kSizes[][2] = {{320, 200},  {320, 240},   {400, 300},   {512, 384},  {640, 400},
                                    {640, 480},  {800, 600},   {1024, 768},  {1152, 864}, {1280, 960},
                                    {1280, 1024}, {1600, 1200}, {1920, 1080}, {1920, 1200}};
    static const int kBits[] = {8, 16, 32};
    std::vector<DisplayMode> modes;
    for (int round = 0; int(modes.size()) < count; ++round) {
        for (const auto& size : kSizes) {
            for (int bits : kBits) {
                if (int(modes.size()) >= count) break;
                // Later rounds repeat the list at other refresh rates, as
                // displays report one mode per rate.
                modes.push_back({size[0], size[1], bits});
            }
        }
        if (round > 100) break;
    }
    return modes;
}

}  // namespace detail

// ---------------------------------------------------------------------------
// The display object
// ---------------------------------------------------------------------------

int DDEnumerateDrivers(std::vector<std::string>* names) {
    if (names) *names = {"Primary Display Driver"};
    for (int i = 1; i < g_settings.driverCount; ++i)
        if (names) names->push_back("Display Adapter " + std::to_string(i));
    return std::max(1, g_settings.driverCount);
}

DDraw* DDCreate(int driverIndex) {
    if (g_settings.failCreate || driverIndex < 0 || driverIndex >= std::max(1, g_settings.driverCount)) return nullptr;
    return new DDraw{1 + g_settings.extraReferences, 0, nullptr, DDSCL_NORMAL, false, {0, 0, 0}};
}

int DDAddRef(DDraw* dd) {
    return dd ? ++dd->refs : 0;
}

// The object goes when neither its own references nor those of its newer
// interface are left.
static void DropIfUnused(DDraw* dd) {
    if (dd->refs > 0 || dd->refs4 > 0) return;
    if (dd->modeSet) DDRestoreDisplayMode(dd);
    delete dd;
}

int DDRelease(DDraw* dd) {
    if (!dd || dd->refs <= 0) return 0;
    int left = --dd->refs;
    DropIfUnused(dd);
    return left;
}

DDraw* DDQueryInterface4(DDraw* dd) {
    if (!dd) return nullptr;
    ++dd->refs4;
    return dd;
}

int DDRelease4(DDraw* dd) {
    if (!dd || dd->refs4 <= 0) return 0;
    int left = --dd->refs4;
    DropIfUnused(dd);
    return left;
}

uint32_t DDTotalVideoMemory(DDraw*) {
    return g_settings.videoMemory;
}

std::vector<DisplayMode> DDEnumModes(DDraw*) {
    std::vector<DisplayMode> modes = detail::SynthesisedModes(g_settings.modeCount);
    for (const DisplayMode& gone : g_settings.removedModes) {
        modes.erase(std::remove_if(modes.begin(), modes.end(),
                                   [&](const DisplayMode& m) {
                                       return m.width == gone.width && m.height == gone.height && m.bits == gone.bits;
                                   }),
                    modes.end());
    }
    return modes;
}

int DDSetCooperativeLevel(DDraw* dd, HWND window, uint32_t flags) {
    if (!dd) return DDERR_INVALIDPARAMS;
    dd->window = window;
    dd->level = flags;
    return DD_OK;
}

uint32_t DDCooperativeLevel(DDraw* dd) {
    return dd ? dd->level : 0;
}

int DDSetDisplayMode(DDraw* dd, int width, int height, int bits) {
    if (!dd) return DDERR_INVALIDPARAMS;
    if (!(dd->level & DDSCL_EXCLUSIVE) || g_settings.failSetMode) return DDERR_GENERIC;
    bool listed = false;
    for (const DisplayMode& m : DDEnumModes(dd))
        listed = listed || (m.width == width && m.height == height && m.bits == bits);
    if (!listed) return DDERR_UNSUPPORTED;
    dd->modeSet = true;
    dd->mode = {width, height, bits};
    if (const detail::Backend* b = detail::ActiveBackend()) b->displayMode(true, width, height);
    return DD_OK;
}

int DDRestoreDisplayMode(DDraw* dd) {
    if (!dd) return DDERR_INVALIDPARAMS;
    dd->modeSet = false;
    if (const detail::Backend* b = detail::ActiveBackend()) b->displayMode(false, 0, 0);
    return DD_OK;
}

int DDWaitForVerticalBlank(DDraw* dd, uint32_t) {
    return dd ? DD_OK : DDERR_INVALIDPARAMS;
}

int DDFlipToGDISurface(DDraw* dd) {
    return dd ? DD_OK : DDERR_INVALIDPARAMS;
}

PixelFormat DDDisplayFormat(DDraw* dd) {
    if (dd && dd->modeSet) return FormatForBits(dd->mode.bits);
    return FormatForBits(16);  // the desktop runs at 16 bits
}

// ---------------------------------------------------------------------------
// Surfaces
// ---------------------------------------------------------------------------

int DDCreateSurface(DDraw* dd, const SurfaceDesc& desc, Surface** out) {
    detail::DisplayGuard guard;
    if (!dd || !out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    bool primary = desc.caps & DDSCAPS_PRIMARYSURFACE;
    if ((primary && g_settings.failPrimary) || (!primary && g_settings.failOffscreen)) return DDERR_OUTOFMEMORY;
    if (primary && (desc.caps & DDSCAPS_VIDEOMEMORY) && D3DConfig().failVideoMemoryPrimary) return DDERR_OUTOFMEMORY;
    PixelFormat format = desc.hasFormat ? desc.format : DDDisplayFormat(dd);
    int width = desc.width, height = desc.height;
    if (primary) {
        width = dd->modeSet ? dd->mode.width : GetSystemMetrics(SM_CXSCREEN);
        height = dd->modeSet ? dd->mode.height : GetSystemMetrics(SM_CYSCREEN);
        // A flip chain needs the display to itself.
        if ((desc.caps & DDSCAPS_FLIP) && !(dd->level & DDSCL_EXCLUSIVE)) return DDERR_INVALIDPARAMS;
    }
    if (width <= 0 || height <= 0) return DDERR_INVALIDPARAMS;
    Surface* s = NewSurface(dd, desc.caps, width, height, format);
    if (primary && (desc.caps & DDSCAPS_FLIP) && desc.backBufferCount > 0) {
        if (g_settings.failBackBuffer) {
            s->back = nullptr;
        } else {
            Surface* back = NewSurface(dd, DDSCAPS_BACKBUFFER | DDSCAPS_VIDEOMEMORY, width, height, format);
            back->front = s;
            s->back = back;
        }
    }
    *out = s;
    return DD_OK;
}

int SurfaceGetAttachedBackBuffer(Surface* primary, Surface** out) {
    detail::DisplayGuard guard;
    if (!IsSurface(primary) || !out) return DDERR_INVALIDPARAMS;
    *out = primary->back;
    if (!*out) return DDERR_NOTFOUND;
    primary->back->refs++;
    return DD_OK;
}

int SurfaceLock(Surface* s, uint32_t, uint8_t** pixels, int* pitch) {
    detail::DisplayGuard guard;
    detail::FinishDrawing();
    if (!IsSurface(s)) return DDERR_INVALIDPARAMS;
    if (s->lost) return DDERR_SURFACELOST;
    if (g_stillDrawing > 0) {
        --g_stillDrawing;
        return DDERR_WASSTILLDRAWING;
    }
    if (s->locked) return DDERR_GENERIC;
    s->locked = true;
    s->version = detail::NextVersion();
    if (pixels) *pixels = s->pixels.data();
    if (pitch) *pitch = s->pitch;
    return DD_OK;
}

int SurfaceUnlock(Surface* s) {
    detail::DisplayGuard guard;
    if (!IsSurface(s)) return DDERR_INVALIDPARAMS;
    if (!s->locked) return DDERR_NOTLOCKED;
    s->locked = false;
    s->version = detail::NextVersion();
    return DD_OK;
}

int SurfaceFlip(Surface* primary, uint32_t) {
    detail::DisplayGuard guard;
    detail::FinishDrawing();
    if (!IsSurface(primary) || !primary->back) return DDERR_INVALIDPARAMS;
    if (primary->lost || primary->back->lost) return DDERR_SURFACELOST;
    if (g_stillDrawing > 0) {
        --g_stillDrawing;
        return DDERR_WASSTILLDRAWING;
    }
    if (primary->locked || primary->back->locked) return DDERR_GENERIC;
    // The pages change places: the back page is shown and the old front
    // page becomes the page to draw on.
    std::swap(primary->pixels, primary->back->pixels);
    primary->version = primary->back->version = detail::NextVersion();
    Show(primary);
    return DD_OK;
}

int SurfaceBlt(Surface* dst, const Rect* dstRect, Surface* src, const Rect* srcRect, uint32_t flags,
               uint32_t fillColour) {
    detail::DisplayGuard guard;
    detail::FinishDrawing();
    if (!IsSurface(dst) || (src && !IsSurface(src))) return DDERR_INVALIDPARAMS;
    if (dst->lost || (src && src->lost)) return DDERR_SURFACELOST;
    if (dst->locked || (src && src->locked)) return DDERR_GENERIC;
    Rect dr = dstRect ? *dstRect : Whole(dst);
    if (flags & DDBLT_COLORFILL) {
        Fill(dst, dr, fillColour);
    } else {
        if (!src) return DDERR_INVALIDPARAMS;
        if (g_settings.noBltHardware) return DDERR_NOBLTHW;
        Copy(dst, dr, src, srcRect ? *srcRect : Whole(src));
    }
    dst->version = detail::NextVersion();
    if (dst->caps & DDSCAPS_PRIMARYSURFACE) Show(dst);
    return DD_OK;
}

int SurfaceRestore(Surface* s) {
    detail::DisplayGuard guard;
    if (!IsSurface(s)) return DDERR_INVALIDPARAMS;
    if (g_settings.wrongMode) return DDERR_WRONGMODE;
    s->lost = false;
    if (s->back) s->back->lost = false;
    return DD_OK;
}

bool SurfaceIsLost(Surface* s) {
    detail::DisplayGuard guard;
    return IsSurface(s) && s->lost;
}

int SurfaceGetPixelFormat(Surface* s, PixelFormat* format) {
    detail::DisplayGuard guard;
    if (!IsSurface(s) || !format) return DDERR_INVALIDPARAMS;
    *format = s->format;
    return DD_OK;
}

int SurfaceGetSize(Surface* s, int* width, int* height, int* pitch) {
    detail::DisplayGuard guard;
    if (!IsSurface(s)) return DDERR_INVALIDPARAMS;
    if (width) *width = s->width;
    if (height) *height = s->height;
    if (pitch) *pitch = s->pitch;
    return DD_OK;
}

int SurfaceRelease(Surface* s) {
    detail::DisplayGuard guard;
    detail::FinishDrawing();
    if (!IsSurface(s)) return 0;
    int left = --s->refs;
    if (left > 0) return left;
    if (s->front) s->front->back = nullptr;
    if (s->back) {
        s->back->front = nullptr;
        // The attached back buffer goes with its primary unless someone
        // holds it.
        if (--s->back->refs <= 0) DropSurface(s->back);
    }
    DropSurface(s);
    return 0;
}

int SurfaceSetPalette(Surface* s, Palette* palette) {
    detail::DisplayGuard guard;
    detail::FinishDrawing();
    if (!IsSurface(s)) return DDERR_INVALIDPARAMS;
    s->palette = palette;
    s->version = detail::NextVersion();
    return DD_OK;
}

int SurfaceSetClipper(Surface* s, Clipper* clipper) {
    detail::DisplayGuard guard;
    if (!IsSurface(s)) return DDERR_INVALIDPARAMS;
    if (clipper) ++clipper->refs;
    if (s->clipper) ClipperRelease(s->clipper);
    s->clipper = clipper;
    return DD_OK;
}

DC* SurfaceGetDC(Surface* s) {
    detail::DisplayGuard guard;
    detail::FinishDrawing();
    if (!IsSurface(s) || s->lost || s->locked) return nullptr;
    // The context reads the colours while it lives: they stay with the surface.
    s->dcPalette.resize(1024);
    const uint8_t* palette = PaletteRgbx(s, s->dcPalette.data());
    s->locked = true;  // drawing through the context holds the surface
    return CreatePixelDC({s->pixels.data(), s->width, s->height, s->pitch, s->format, palette});
}

int SurfaceReleaseDC(Surface* s, DC* dc) {
    detail::DisplayGuard guard;
    if (!IsSurface(s)) return DDERR_INVALIDPARAMS;
    DeletePixelDC(dc);
    s->locked = false;
    s->version = detail::NextVersion();
    return DD_OK;
}

// ---------------------------------------------------------------------------
// Palettes and clippers
// ---------------------------------------------------------------------------

Palette* DDCreatePalette(DDraw* dd, uint32_t, const PaletteEntry entries[256]) {
    detail::DisplayGuard guard;
    if (!dd) return nullptr;
    auto* p = new Palette{};
    if (entries) std::memcpy(p->entries, entries, sizeof p->entries);
    p->refs = 1;
    p->version = detail::NextVersion();
    return p;
}

int PaletteSetEntries(Palette* palette, int first, int count, const PaletteEntry* entries) {
    detail::DisplayGuard guard;
    if (!palette || !entries || first < 0 || count < 0 || first + count > 256) return DDERR_INVALIDPARAMS;
    detail::FinishDrawing();
    std::memcpy(palette->entries + first, entries, size_t(count) * sizeof(PaletteEntry));
    palette->version = detail::NextVersion();
    for (Surface* s : g_surfaces)
        if (s->palette == palette && (s->caps & DDSCAPS_PRIMARYSURFACE)) Show(s);
    return DD_OK;
}

int PaletteRelease(Palette* palette) {
    detail::DisplayGuard guard;
    if (!palette) return 0;
    detail::FinishDrawing();
    for (Surface* s : g_surfaces) {
        if (s->palette != palette) continue;
        s->palette = nullptr;
        s->version = detail::NextVersion();
    }
    delete palette;
    return 0;
}

Clipper* DDCreateClipper(DDraw* dd) {
    detail::DisplayGuard guard;
    if (!dd) return nullptr;
    g_clippers.push_back(new Clipper{nullptr, 1});
    return g_clippers.back();
}

int ClipperSetWindow(Clipper* clipper, HWND window) {
    detail::DisplayGuard guard;
    if (!clipper) return DDERR_INVALIDPARAMS;
    clipper->window = window;
    return DD_OK;
}

int ClipperRelease(Clipper* clipper) {
    detail::DisplayGuard guard;
    if (!clipper) return 0;
    if (--clipper->refs > 0) return clipper->refs;
    g_clippers.erase(std::remove(g_clippers.begin(), g_clippers.end(), clipper), g_clippers.end());
    delete clipper;
    return 0;
}

// ---------------------------------------------------------------------------
// The window's picture
// ---------------------------------------------------------------------------

namespace {

void ShowWindowPicture() {
    const detail::Backend* b = detail::ActiveBackend();
    if (!b || g_windowPicture.empty()) return;
    b->present({g_windowPicture.data(), g_windowPictureW, g_windowPictureH, g_windowPictureW * 4,
                {32, 0xFF0000, 0x00FF00, 0x0000FF, 0}, nullptr});
}

uint32_t ToXrgb(const uint8_t* p, int bitCount, const uint8_t* palette) {
    switch (bitCount) {
    case 8: {
        const uint8_t* q = palette ? palette + p[0] * 4 : nullptr;
        return q ? (uint32_t(q[2]) << 16) | (uint32_t(q[1]) << 8) | q[0] : uint32_t(p[0]) * 0x010101u;
    }
    case 16: {
        // 16-bit bitmaps are 5-5-5.
        uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
        uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        return ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
    }
    case 24: return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    default: return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
}

}  // namespace

bool StretchDIBits(HWND window, int dstX, int dstY, int dstW, int dstH, int srcX, int srcY, int srcW, int srcH,
                   const void* bits, const BitmapInfo& info) {
    if (!window || !bits || info.width <= 0 || info.height == 0 || dstW <= 0 || dstH <= 0 || srcW <= 0 ||
        srcH <= 0)
        return false;
    Rect client;
    GetClientRect(window, &client);
    int cw = client.right, ch = client.bottom;
    if (cw <= 0 || ch <= 0) return false;
    if (g_windowPictureW != cw || g_windowPictureH != ch || g_windowPicture.empty()) {
        g_windowPictureW = cw;
        g_windowPictureH = ch;
        g_windowPicture.assign(size_t(cw) * ch * 4, 0);
    }
    int rows = info.height < 0 ? -info.height : info.height;
    int bpp = info.bitCount / 8;
    int stride = ((info.width * info.bitCount + 31) / 32) * 4;  // rows padded to four bytes
    const auto* src = static_cast<const uint8_t*>(bits);
    if (dstW == srcW && dstH == srcH) {
        // One to one: whole rows, without the stretch's divisions.
        int x0 = std::max({0, dstX, dstX - srcX}), x1 = std::min({cw, dstX + dstW, dstX - srcX + info.width});
        for (int y = 0; y < dstH && x0 < x1; ++y) {
            int py = dstY + y, sy = srcY + y;
            if (py < 0 || py >= ch || sy < 0 || sy >= rows) continue;
            int fileRow = info.height < 0 ? sy : rows - 1 - sy;
            const uint8_t* from = src + size_t(fileRow) * stride + size_t(x0 - dstX + srcX) * bpp;
            uint8_t* to = g_windowPicture.data() + (size_t(py) * cw + x0) * 4;
            if (info.bitCount == 16) {
                // The window picture's rows are whole 32-bit pixels.
                detail::Row555ToXrgb(from, reinterpret_cast<uint32_t*>(to), x1 - x0);
                continue;
            }
            for (int x = x0; x < x1; ++x, from += bpp, to += 4) {
                uint32_t v = ToXrgb(from, info.bitCount, info.palette);
                std::memcpy(to, &v, 4);
            }
        }
        ShowWindowPicture();
        return true;
    }
    for (int y = 0; y < dstH; ++y) {
        int py = dstY + y;
        int sy = srcY + (y * srcH) / dstH;
        if (py < 0 || py >= ch || sy < 0 || sy >= rows) continue;
        int fileRow = info.height < 0 ? sy : rows - 1 - sy;  // bottom-up bitmaps start with the last row
        for (int x = 0; x < dstW; ++x) {
            int px = dstX + x;
            int sx = srcX + (x * srcW) / dstW;
            if (px < 0 || px >= cw || sx < 0 || sx >= info.width) continue;
            uint32_t v = ToXrgb(src + size_t(fileRow) * stride + size_t(sx) * bpp, info.bitCount, info.palette);
            std::memcpy(g_windowPicture.data() + (size_t(py) * cw + px) * 4, &v, 4);
        }
    }
    ShowWindowPicture();
    return true;
}

DC* GetWindowDC(HWND window) {
    Rect client;
    if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0) return nullptr;
    if (g_windowPicture.empty() || g_windowPictureW != client.right || g_windowPictureH != client.bottom) {
        g_windowPictureW = client.right;
        g_windowPictureH = client.bottom;
        g_windowPicture.assign(size_t(g_windowPictureW) * g_windowPictureH * 4, 0);
    }
    return CreatePixelDC({g_windowPicture.data(), g_windowPictureW, g_windowPictureH, g_windowPictureW * 4,
                          {32, 0xFF0000, 0x00FF00, 0x0000FF, 0}, nullptr});
}

int ReleaseWindowDC(HWND, DC* dc) {
    DeletePixelDC(dc);
    ShowWindowPicture();
    return 1;
}

// ---------------------------------------------------------------------------
// Window calls
// ---------------------------------------------------------------------------

uint32_t GetWindowLong(HWND window, int index) {
    if (!window) return 0;
    return index == GWL_EXSTYLE ? window->exStyle : index == GWL_STYLE ? window->style : 0;
}

uint32_t SetWindowLong(HWND window, int index, uint32_t value) {
    if (!window) return 0;
    uint32_t old = GetWindowLong(window, index);
    if (index == GWL_STYLE) {
        window->style = value & ~WS_VISIBLE;
        if (value & WS_VISIBLE) ShowWindow(window, SW_SHOW);
    } else if (index == GWL_EXSTYLE) {
        window->exStyle = value;
    }
    return old;
}

bool SetWindowPos(HWND window, int x, int y, int width, int height, uint32_t flags) {
    if (!window) return false;
    window->rect = {x, y, x + width, y + height};
    if (const detail::Backend* b = detail::ActiveBackend()) b->windowResized(window);
    if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOW);
    PostMessage(window, WM_SIZE, 0, intptr_t((uint32_t(uint16_t(height)) << 16) | uint16_t(width)));
    return true;
}

bool AdjustWindowRectEx(Rect* rect, uint32_t, bool, uint32_t) {
    return rect != nullptr;
}

bool UpdateWindow(HWND window) {
    return window != nullptr;
}

}  // namespace host
