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
//    snapped vertices in double precision.  Each span (the covered pixels
//    of a row) takes the plane's value at the centre of its first pixel,
//    rounded to single precision, and pixel i of the span the value
//    start + slope * i in single precision, the slope being the plane's
//    change per pixel rounded to single precision.  All that follows per
//    pixel is in single precision too.
//  - Interpolated colour channels round to nearest: floor(v + 0.5) in 0..255.
//  - z: the vertex sz maps into the viewport's minZ..maxZ, is clamped to
//    0..1 and stored as floor(z * 65535 + 0.5).
//  - Texture co-ordinates: u/w and v/w interpolated, times 1/(1/w); the
//    texel column is floor(u * width) wrapped into the texture (a value
//    outside -2^31..2^31, or not a number, reads column 0), the row alike.
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
//    8-bit fractions (truncated), rounding the weighted sum to nearest (a
//    position outside -2^31..2^31 reads as 0, 0).
//  - A triangle with a corner beyond 2^22 pixels is first clipped to a band
//    of 2^21 pixels around the origin (its attributes interpolated along the
//    cut edges) and drawn as the pieces of that polygon; corners that are
//    not numbers drop the triangle.
//
// How drawing runs: D3DDrawPrimitive and D3DClear check their arguments and
// the target at once and answer, but the pixels are made later, all queued
// work at a time: before anything reads or changes a surface or palette (a
// lock, a flip or blit, a palette change, a release...), not at the end of
// each scene.  The queue is worked through in bands of sixteen rows: with
// several threads, each thread takes the next band nobody has taken and
// runs every queued command, in order, over its rows only, so each pixel
// sees the same operations in the same order whatever the number of
// threads.  How many threads is measured (unless set): the pool while it is
// faster than one thread, which on a busy machine it may not be.  Pixels
// are made by the fast span routines where the processor and the state
// allow, else by the plain ones; both give the same pixels.  The queue and
// the surfaces are under the display lock (display_internal.h): the video
// player's threads lock and blit surfaces too, which finishes the queue.
#include "host/d3d.h"

#include "host/backend.h"
#include "host/d3d_raster.h"
#include "host/display_internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <sched.h>
#include <thread>
#include <vector>

namespace host {

using raster::Context;
using raster::TextureView;
using raster::Triangle;

// The 3D interface of a display object.  It does not count a reference on
// the display object: the program releases it before the object.
struct D3D {
    DDraw* dd;
};

// One record per texture surface, shared by every D3DTextureFromSurface of
// that surface.  A palette loaded into a surface that has none attached is
// kept here.  The decoded view is made again when the surface, its palette
// or the kept palette changed since it was made.
struct D3DTexture {
    Surface* surface;
    int refs;
    bool hasPalette;
    PaletteEntry palette[256];
    uint64_t paletteVersion;  // of the kept palette
    TextureView view;
    bool viewMade;
    uint64_t viewSurface, viewPalette, viewKept;  // the versions the view was made from
    const Palette* viewPaletteObject;
    int number;  // the order it was made in, for the call record
};

namespace {

constexpr int kRenderStates = 256;  // render states kept in the flat table; others in a map
constexpr int kStageStates = 32;
constexpr int kStages = 8;
constexpr uint32_t kAlphaRef = 24;  // the reference value of the alpha test, 0..255

}  // namespace

struct D3DDevice {
    D3D* d3d;
    Surface* target;   // a reference held
    Surface* zbuffer;  // a reference held; nullptr without a (16-bit) z-buffer
    D3DTexture* texture;
    int vpX, vpY, vpWidth, vpHeight;
    float minZ, maxZ;
    float background[3];
    bool inScene;
    uint32_t renderStates[kRenderStates];  // current values (the defaults until set)
    std::map<uint32_t, uint32_t> otherRenderStates;
    uint32_t stageStates[kStages][kStageStates];
    std::map<uint32_t, uint32_t> otherStageStates[kStages];
    // The draw state gathered from the above; made again after a change.
    Context context;
    bool contextValid;
    // The copy of the context in the draw queue, valid while queueSerial
    // is the queue's.
    uint32_t queuedContext;
    uint64_t queueSerial;
};

namespace {

D3DSettings g_settings;
std::vector<D3DTexture*> g_textures;
int g_textureNumber = 0;
D3DTraceSink g_trace = nullptr;

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* format, ...) {
    if (!g_trace) return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_trace(line);
}

// ---------------------------------------------------------------------------
// States
// ---------------------------------------------------------------------------

uint32_t DefaultRenderState(bool zbuffer, uint32_t state) {
    switch (state) {
    case D3DRS_TEXTUREPERSPECTIVE: return 1;
    case D3DRS_ZENABLE: return zbuffer ? 1 : 0;
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
    if (state < kRenderStates) return d->renderStates[state];
    auto it = d->otherRenderStates.find(state);
    return it != d->otherRenderStates.end() ? it->second : 0;
}

uint32_t StageState(const D3DDevice* d, int stage, uint32_t state) {
    if (state < kStageStates) return d->stageStates[stage][state];
    auto it = d->otherStageStates[stage].find(state);
    return it != d->otherStageStates[stage].end() ? it->second : 0;
}

void SetStage(D3DDevice* d, int stage, uint32_t state, uint32_t value) {
    if (state < kStageStates) {
        if (d->stageStates[stage][state] == value) return;
        d->stageStates[stage][state] = value;
    } else {
        d->otherStageStates[stage][state] = value;
    }
    d->contextValid = false;
}

// The legacy texture blend modes expressed as stage-0 settings: DECAL takes
// the texture's colour and alpha as they are; MODULATE multiplies the
// texture colour by the diffuse colour and takes the texture's alpha.
void ApplyTextureMapBlend(D3DDevice* d, uint32_t mode) {
    if (mode == D3DTBLEND_DECAL) {
        SetStage(d, 0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        SetStage(d, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    } else if (mode == D3DTBLEND_MODULATE) {
        SetStage(d, 0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        SetStage(d, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        SetStage(d, 0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    } else {
        return;
    }
    SetStage(d, 0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    SetStage(d, 0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

// The palette entries a texture draws with: the palette attached to its
// surface, else the copy its last load left in the texture record; nullptr
// for none (an 8-bit texture then reads grey levels).
const PaletteEntry* TexturePalette(const D3DTexture* t) {
    if (t->surface->palette) return t->surface->palette->entries;
    return t->hasPalette ? t->palette : nullptr;
}

// The texture's view, made again when what it shows changed.
TextureView* View(D3DTexture* t) {
    const Surface* s = t->surface;
    const Palette* p = s->palette;
    uint64_t paletteVersion = p ? p->version : 0;
    if (!t->viewMade || t->viewSurface != s->version || t->viewPaletteObject != p || t->viewPalette != paletteVersion ||
        t->viewKept != t->paletteVersion) {
        raster::BuildTextureView(&t->view, s, TexturePalette(t));
        t->viewMade = true;
        t->viewSurface = s->version;
        t->viewPaletteObject = p;
        t->viewPalette = paletteVersion;
        t->viewKept = t->paletteVersion;
    }
    return &t->view;
}

// ---------------------------------------------------------------------------
// The draw state
// ---------------------------------------------------------------------------

// A rectangle clipped to the target (right and bottom exclusive).
Rect ClipToTarget(const Surface* s, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    return {int(std::max<int64_t>(left, 0)), int(std::max<int64_t>(top, 0)), int(std::min<int64_t>(right, s->width)),
            int(std::min<int64_t>(bottom, s->height))};
}

Rect ViewportRect(const D3DDevice* d) {
    return ClipToTarget(d->target, d->vpX, d->vpY, int64_t(d->vpX) + d->vpWidth, int64_t(d->vpY) + d->vpHeight);
}

// The context of the device's states; the surfaces' pixel addresses are
// taken again at every draw (a flip exchanges them).
void MakeContext(D3DDevice* d) {
    Context* c = &d->context;
    Surface* s = d->target;
    c->colourPitch = s->pitch;
    c->is565 = raster::Is565(s->format);
    bool zOn = d->zbuffer && RenderState(d, D3DRS_ZENABLE) != 0;
    c->depthPitch = zOn ? d->zbuffer->pitch : 0;
    c->zTest = zOn;
    c->zWrite = zOn && RenderState(d, D3DRS_ZWRITEENABLE) != 0;
    c->zFunc = RenderState(d, D3DRS_ZFUNC);
    Rect r = ViewportRect(d);
    c->clipLeft = r.left, c->clipTop = r.top, c->clipRight = r.right, c->clipBottom = r.bottom;
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
    TextureView* view = c->textured ? View(d->texture) : nullptr;
    c->tex = view;
    c->width = s->width;
    // The surface's key applies only while colour keying is on.
    c->keyed = c->textured && c->tex->keyed && RenderState(d, D3DRS_COLORKEYENABLE) != 0;
    c->plain = g_settings.referenceRaster;
    c->narrow = g_settings.narrowFastRaster;
    c->span = raster::ReferenceSpan(*c);
    c->rows = c->plain ? nullptr : raster::FastRows(*c);
    // Texels drawn as they are go straight from the target-pixel copy.
    c->packed = c->rows && view && !c->linear && !c->blend && !c->dither ? raster::PackedTexels(view, c->is565) : nullptr;
    d->contextValid = true;
}

// The context for a draw now: made again when a state or the texture's
// contents changed.  Answers whether it changed.
bool RefreshContext(D3DDevice* d) {
    bool changed = !d->contextValid || d->context.plain != g_settings.referenceRaster ||
                   d->context.narrow != g_settings.narrowFastRaster;
    if (!changed && d->context.textured) {
        const D3DTexture* t = d->texture;
        if (!detail::IsSurface(t->surface)) {
            changed = true;
        } else {
            const Surface* s = t->surface;
            const Palette* p = s->palette;
            changed = t->viewSurface != s->version || t->viewPaletteObject != p ||
                      t->viewPalette != (p ? p->version : 0) || t->viewKept != t->paletteVersion;
        }
    }
    if (changed) MakeContext(d);
    Context* c = &d->context;
    c->colour = d->target->pixels.data();
    c->depth = c->zTest ? d->zbuffer->pixels.data() : nullptr;
    return changed;
}

// ---------------------------------------------------------------------------
// The queue and its workers
// ---------------------------------------------------------------------------

// Rows a band holds: the unit of work a thread takes at a time.
constexpr int kBandRows = 16;
// Below this many pixels (bounding boxes, roughly) the queue is worked
// through on the calling thread alone.
constexpr double kThreadedWork = 49152.0;
// The queue is worked through once it holds this many vertices.
constexpr size_t kQueueVertices = 1 << 20;

struct Command {
    bool clear;
    uint32_t context;  // draws: the context copy
    uint32_t first, count;  // draws: vertices
    // clears: the surface's rows and the 16-bit value
    uint8_t* pixels;
    int pitch;
    Rect rect;
    uint16_t value;
};

struct Queue {
    std::vector<Command> commands;
    std::vector<TLVertex> vertices;
    std::deque<Context> contexts;
    double work = 0;
    uint64_t serial = 1;  // changes each time the queue is emptied
};

Queue g_queue;  // under the display lock

// Rows top..bottom (inclusive) of every queued command: all of them, or one
// band's.
void RunDraw(const Queue& q, const Command& cmd, int top, int bottom) {
    const Context& c = q.contexts[cmd.context];
    const TLVertex* v = q.vertices.data() + cmd.first;
    Triangle pieces[raster::kMaxPieces];
    const bool band = top > c.clipTop || bottom < c.clipBottom - 1;
    for (uint32_t i = 0; i + 3 <= cmd.count; i += 3, v += 3) {
        if (band) {
            // Rows the triangle may touch, from its corners as given (a
            // corner that is not a number leaves the test to the set-up).
            float lo = std::min({v[0].sy, v[1].sy, v[2].sy}), hi = std::max({v[0].sy, v[1].sy, v[2].sy});
            if (lo == lo && hi == hi && (double(hi) + 1 < top || std::floor(double(lo)) - 1 > bottom)) continue;
        }
        int made = raster::SetUpTriangle(c, v, pieces);
        for (int p = 0; p < made; ++p) {
            const Triangle& t = pieces[p];
            int from = std::max(t.top, top), to = std::min(t.bottom, bottom);
            if (from > to) continue;
            if (c.rows) c.rows(c, t, from, to);
            else if (c.plain) raster::DrawRows(c, t, from, to);
            else raster::DrawRowsStepped(c, t, from, to);
        }
    }
}

void RunClear(const Command& cmd, int top, int bottom) {
    if (cmd.rect.left >= cmd.rect.right) return;
    // One row of the value, copied over each row of the rectangle.
    const size_t bytes = 2 * size_t(cmd.rect.right - cmd.rect.left);
    std::vector<uint8_t> pattern(bytes);
    for (size_t i = 0; i < bytes; i += 2) raster::Store16(pattern.data() + i, cmd.value);
    for (int y = std::max(top, cmd.rect.top); y <= std::min(bottom, cmd.rect.bottom - 1); ++y)
        std::memcpy(cmd.pixels + size_t(y) * cmd.pitch + 2 * size_t(cmd.rect.left), pattern.data(), bytes);
}

void RunQueue(const Queue& q, int top, int bottom) {
    for (const Command& cmd : q.commands) {
        if (cmd.clear) RunClear(cmd, top, bottom);
        else RunDraw(q, cmd, top, bottom);
    }
}

// Threads that work through the queue with the calling thread, band by band:
// each thread takes the next band not yet taken and runs every queued
// command over its rows, until none is left.  A thread that wakes late finds
// the bands taken and goes back to sleep, so the calling thread never waits
// for one that has not started; it waits only for bands being drawn.  Each
// pixel sees the same commands in the same order whoever draws its band.
class Workers {
public:
    ~Workers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    // Runs the queue's `bands` bands on up to `threads` threads, this one
    // included, and returns when all are drawn.
    void Run(int threads, int bands) {
        while (int(threads_.size()) < threads - 1) threads_.emplace_back([this] { Loop(); });
        uint64_t generation;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bands_ = bands;
            done_ = 0;
            helpers_ = threads - 1;
            generation = ++generation_;
            next_.store(generation << 32, std::memory_order_release);
        }
        wake_.notify_all();
        Work(generation);
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return done_ == bands_; });
    }

private:
    // Takes bands of this generation and draws them.
    void Work(uint64_t generation) {
        for (;;) {
            uint64_t ticket = next_.load(std::memory_order_acquire);
            int band;
            do {
                band = int(ticket & 0xFFFFFFFFu);
                if ((ticket >> 32) != generation || band >= bands_.load(std::memory_order_relaxed)) return;
            } while (!next_.compare_exchange_weak(ticket, ticket + 1, std::memory_order_acq_rel));
            RunQueue(g_queue, band * kBandRows, band * kBandRows + kBandRows - 1);
            std::lock_guard<std::mutex> lock(mutex_);
            if (++done_ == bands_) finished_.notify_one();
        }
    }

    void Loop() {
        uint64_t seen = 0;
        for (;;) {
            uint64_t generation;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || (generation_ != seen && helpers_ > 0); });
                if (stop_) return;
                seen = generation = generation_;
                --helpers_;  // only as many threads as asked join in
            }
            Work(generation);
        }
    }

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::atomic<uint64_t> next_{0};  // the generation (high half) and its next band (low half)
    std::atomic<int> bands_{0};
    int done_ = 0, helpers_ = 0;
    uint64_t generation_ = 0;
    bool stop_ = false;
};

Workers& TheWorkers() {
    static Workers workers;
    return workers;
}

// The processors this process may run on: a process held to one core
// draws on its own thread, without waking helpers that would only take
// turns with it.
int UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

// The most threads: the setting, or one per usable processor (at most 8).
int ThreadCount() {
    int n = g_settings.rasterThreads;
    if (n <= 0) n = std::min(8, UsableProcessors());
    return std::min(n, 64);
}

// The thread count chosen by measure (setting 0): the seconds per unit of
// work of large flushes on one thread and on all are kept as running
// averages, and the faster is used; every 32nd large flush tries the other,
// so that a machine that grows busy (or idle) changes the choice.
struct ThreadChoice {
    double single = 0, pooled = 0;  // 0: not measured yet
    unsigned flushes = 0;

    bool Pooled() {
        bool faster = pooled == 0 || single == 0 || pooled <= single;
        return (++flushes % 32 == 0) ? !faster : faster;
    }
    void Record(bool pooledRun, double secondsPerWork) {
        double& average = pooledRun ? pooled : single;
        average = average == 0 ? secondsPerWork : 0.75 * average + 0.25 * secondsPerWork;
    }
};
ThreadChoice g_choice;

// Set while the queue is worked through (under the display lock).
bool g_finishing = false;

void Flush() {
    detail::DisplayGuard guard;
    if (g_queue.commands.empty() || g_finishing) return;
    g_finishing = true;
    int most = g_queue.work >= kThreadedWork ? ThreadCount() : 1;
    bool measured = most > 1 && g_settings.rasterThreads <= 0;
    bool pooled = most > 1 && (!measured || g_choice.Pooled());
    auto start = std::chrono::steady_clock::now();
    if (pooled) {
        int height = 0;
        for (const Context& c : g_queue.contexts) height = std::max(height, c.clipBottom);
        for (const Command& cmd : g_queue.commands)
            if (cmd.clear) height = std::max(height, cmd.rect.bottom);
        TheWorkers().Run(most, (height + kBandRows - 1) / kBandRows);
    } else {
        RunQueue(g_queue, INT32_MIN / 2, INT32_MAX / 2);
    }
    if (measured) {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        g_choice.Record(pooled, seconds / g_queue.work);
    }
    g_queue.commands.clear();
    g_queue.vertices.clear();
    g_queue.contexts.clear();
    g_queue.work = 0;
    ++g_queue.serial;
    g_finishing = false;
}

// The queue's copy of the device's context, made when the context changed
// or the queue was emptied since the last draw.
uint32_t QueuedContext(D3DDevice* d, bool changed) {
    if (changed || d->queueSerial != g_queue.serial) {
        g_queue.contexts.push_back(d->context);
        d->queuedContext = uint32_t(g_queue.contexts.size() - 1);
        d->queueSerial = g_queue.serial;
    }
    return d->queuedContext;
}

// Pixels the triangles may cover, from their bounding boxes inside the clip
// rectangle: what decides whether threads are worth waking.
double EstimateWork(const Context& c, const TLVertex* v, int count) {
    double work = 0;
    for (int i = 0; i + 3 <= count; i += 3, v += 3) {
        float x0 = std::min({v[0].sx, v[1].sx, v[2].sx}), x1 = std::max({v[0].sx, v[1].sx, v[2].sx});
        float y0 = std::min({v[0].sy, v[1].sy, v[2].sy}), y1 = std::max({v[0].sy, v[1].sy, v[2].sy});
        double w = std::min<double>(x1, c.clipRight) - std::max<double>(x0, c.clipLeft);
        double h = std::min<double>(y1, c.clipBottom) - std::max<double>(y0, c.clipTop);
        if (w > 0 && h > 0) work += w * h + 16;
        else work += 16;
    }
    return work;
}

// Drawing and clearing need the target (and z-buffer) present and free.
int TargetReady(const D3DDevice* d) {
    if (!detail::IsSurface(d->target) || (d->zbuffer && !detail::IsSurface(d->zbuffer))) return DDERR_GENERIC;
    if (d->target->lost || (d->zbuffer && d->zbuffer->lost)) return DDERR_SURFACELOST;
    if (d->target->locked || (d->zbuffer && d->zbuffer->locked)) return DDERR_GENERIC;
    return DD_OK;
}

// A texture is read while it is drawn with: a locked one refuses the draw.
int TextureReady(const D3DDevice* d) {
    const D3DTexture* t = d->texture;
    return t && detail::IsSurface(t->surface) && t->surface->locked ? DDERR_GENERIC : DD_OK;
}

void ReleaseIfSurface(Surface* s) {
    if (detail::IsSurface(s)) SurfaceRelease(s);
}

}  // namespace

void detail::FinishDrawing() {
    Flush();
}

// ---------------------------------------------------------------------------
// Settings, enumeration and start
// ---------------------------------------------------------------------------

D3DSettings& D3DConfig() {
    return g_settings;
}

void ResetD3D() {
    detail::DisplayGuard guard;
    Flush();
    g_settings = D3DSettings{};
    g_textureNumber = 0;
}

void D3DSetTraceSink(D3DTraceSink sink) {
    g_trace = sink;
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
    detail::DisplayGuard guard;
    Flush();
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
    detail::DisplayGuard guard;
    Flush();
    if (!detail::IsSurface(s)) return DDERR_INVALIDPARAMS;
    s->colourKey = true;
    s->keyLow = low;
    s->keyHigh = high;
    s->version = detail::NextVersion();
    return DD_OK;
}

int DDRestoreAllSurfaces(DDraw* dd) {
    detail::DisplayGuard guard;
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
    detail::DisplayGuard guard;
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
    for (uint32_t s = 0; s < kRenderStates; ++s) d->renderStates[s] = DefaultRenderState(d->zbuffer != nullptr, s);
    for (int stage = 0; stage < kStages; ++stage)
        for (uint32_t s = 0; s < kStageStates; ++s) d->stageStates[stage][s] = DefaultStageState(stage, s);
    return d;
}

void D3DDeviceRelease(D3DDevice* device) {
    detail::DisplayGuard guard;
    if (!device) return;
    Flush();
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
    device->contextValid = false;
    return DD_OK;
}

int D3DSetBackground(D3DDevice* device, float red, float green, float blue) {
    if (!device) return DDERR_INVALIDPARAMS;
    device->background[0] = red, device->background[1] = green, device->background[2] = blue;
    return DD_OK;
}

int D3DClear(D3DDevice* device, const Rect* rect, uint32_t flags, uint32_t colour, float z) {
    detail::DisplayGuard guard;
    if (!device) return DDERR_INVALIDPARAMS;
    if (int rc = TargetReady(device)) return rc;
    Surface* s = device->target;
    Rect r = rect ? ClipToTarget(s, rect->left, rect->top, rect->right, rect->bottom) : ViewportRect(device);
    Trace("clear %u %d,%d,%d,%d %06x %g", flags, r.left, r.top, r.right, r.bottom, colour & 0xFFFFFF, double(z));
    if (r.left >= r.right || r.top >= r.bottom) return DD_OK;
    auto add = [&](Surface* into, uint16_t value) {
        Command cmd{};
        cmd.clear = true;
        cmd.pixels = into->pixels.data();
        cmd.pitch = into->pitch;
        cmd.rect = r;
        cmd.value = value;
        g_queue.commands.push_back(cmd);
        g_queue.work += double(r.right - r.left) * double(r.bottom - r.top) / 4;
    };
    if (flags & D3DCLEAR_TARGET) add(s, raster::PackColour(colour, raster::Is565(s->format)));
    if ((flags & D3DCLEAR_ZBUFFER) && device->zbuffer) add(device->zbuffer, raster::QuantiseZ(z));
    return DD_OK;
}

int D3DBeginScene(D3DDevice* device) {
    if (!device) return DDERR_INVALIDPARAMS;
    Trace("begin");
    device->inScene = true;
    return DD_OK;
}

int D3DEndScene(D3DDevice* device) {
    if (!device) return DDERR_INVALIDPARAMS;
    if (!device->inScene) return DDERR_GENERIC;
    Trace("end");
    device->inScene = false;
    // The queued work stays queued: whatever reads or changes a surface or
    // palette finishes it first, so the pixels are made once per frame.
    return DD_OK;
}

// ---------------------------------------------------------------------------
// States
// ---------------------------------------------------------------------------

int D3DSetRenderState(D3DDevice* device, uint32_t state, uint32_t value) {
    if (!device) return DDERR_INVALIDPARAMS;
    Trace("render %u %u", state, value);
    if (state < kRenderStates) {
        // A value set again changes nothing (but the legacy blend mode below
        // sets the stage again).
        if (device->renderStates[state] == value && state != D3DRS_TEXTUREMAPBLEND) return DD_OK;
        device->renderStates[state] = value;
    } else {
        device->otherRenderStates[state] = value;
    }
    device->contextValid = false;
    if (state == D3DRS_TEXTUREMAPBLEND) ApplyTextureMapBlend(device, value);
    return DD_OK;
}

uint32_t D3DGetRenderState(D3DDevice* device, uint32_t state) {
    return device ? RenderState(device, state) : 0;
}

int D3DSetTextureStageState(D3DDevice* device, int stage, uint32_t state, uint32_t value) {
    if (!device || stage < 0 || stage >= kStages) return DDERR_INVALIDPARAMS;
    Trace("stage %d %u %u", stage, state, value);
    SetStage(device, stage, state, value);
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
    detail::DisplayGuard guard;
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
    t->number = g_textureNumber++;
    surface->refs++;
    g_textures.push_back(t);
    return t;
}

void D3DTextureRelease(D3DTexture* texture) {
    detail::DisplayGuard guard;
    if (!texture || --texture->refs > 0) return;
    Flush();
    ReleaseIfSurface(texture->surface);
    g_textures.erase(std::remove(g_textures.begin(), g_textures.end(), texture), g_textures.end());
    delete texture;
}

namespace {

// The source's palette goes into the palette attached to the destination
// surface, or, when it has none, into the destination texture's record.
void LoadPalette(D3DTexture* destination, D3DTexture* source) {
    const PaletteEntry* entries = TexturePalette(source);
    if (!entries) return;
    Palette* attached = destination->surface->palette;
    PaletteEntry* into = attached ? attached->entries : destination->palette;
    if (into != entries) std::memmove(into, entries, sizeof destination->palette);
    if (attached) {
        attached->version = detail::NextVersion();
    } else {
        destination->hasPalette = true;
        destination->paletteVersion = detail::NextVersion();
    }
}

}  // namespace

int D3DTextureLoad(D3DTexture* destination, D3DTexture* source) {
    detail::DisplayGuard guard;
    Flush();
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
    d->version = detail::NextVersion();
    return DD_OK;
}

int D3DSetTexture(D3DDevice* device, int stage, D3DTexture* texture) {
    detail::DisplayGuard guard;
    if (!device || stage != 0) return DDERR_INVALIDPARAMS;
    if (texture) Trace("texture %d", texture->number);
    else Trace("texture none");
    if (texture == device->texture) return DD_OK;
    if (texture) texture->refs++;
    D3DTextureRelease(device->texture);
    device->texture = texture;
    device->contextValid = false;
    return DD_OK;
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

int D3DDrawPrimitive(D3DDevice* device, uint32_t type, uint32_t vertexFormat, const TLVertex* vertices, int count,
                     uint32_t) {
    detail::DisplayGuard guard;
    if (!device || type != D3DPT_TRIANGLELIST || vertexFormat != D3DFVF_TLVERTEX || count < 0 ||
        (count > 0 && !vertices))
        return DDERR_INVALIDPARAMS;
    if (int rc = TargetReady(device)) return rc;
    if (int rc = TextureReady(device)) return rc;
    if (g_trace) {
        Trace("draw %d", count);
        for (int i = 0; i < count; ++i) {
            const TLVertex& v = vertices[i];
            Trace("  %g %g %.6g %.6g %08x %.6g %.6g", double(v.sx), double(v.sy), double(v.sz), double(v.rhw), v.diffuse,
                  double(v.tu), double(v.tv));
        }
    }
    count -= count % 3;
    if (count == 0) return DD_OK;
    if (g_queue.vertices.size() + size_t(count) > kQueueVertices) Flush();
    bool changed = RefreshContext(device);
    const Context& c = device->context;
    if (c.clipLeft >= c.clipRight || c.clipTop >= c.clipBottom) return DD_OK;
    Command cmd{};
    cmd.context = QueuedContext(device, changed);
    cmd.first = uint32_t(g_queue.vertices.size());
    cmd.count = uint32_t(count);
    g_queue.vertices.insert(g_queue.vertices.end(), vertices, vertices + count);
    g_queue.commands.push_back(cmd);
    g_queue.work += EstimateWork(c, vertices, count);
    return DD_OK;
}

}  // namespace host
