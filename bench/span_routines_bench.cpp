// game-soft's span back end: pixels per second of each routine family at
// span lengths 1, 4, 16, 17, 64 and 640, from a 4-byte aligned address and
// from one 2 bytes past it; and lines per second of the span insertion with
// 1, 4 and 16 overlapping spans on a 640-pixel line (its pieces drawn by
// the do-nothing routine, and by the solid fill).
#include "bench/bench_ratio.h"
#include "engine3d/dqx_view.h"
#include "render/spans/span_routines.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <string>
#include <cstring>
#include <random>
#include <vector>

namespace {

// A texture with its colour table (and room for two-byte texels), a depth
// record every pixel passes, and the translucency tables.
struct Arena {
    std::vector<uint8_t> memory;
    uint32_t texels = 32768;
    std::vector<int16_t> depthSamples;
    SpanDepthRecord depth{};
    SpanContext ctx;
    Arena() : memory(32768 + 131072), depthSamples(1024, -32768) {
        std::mt19937 rng(5);
        for (uint32_t e = 0; e < 8192; ++e) {
            uint32_t c = rng() & 0xFFFF;
            memory[e * 4 + 2] = uint8_t(c);
            memory[e * 4 + 3] = uint8_t(c >> 8);
        }
        for (uint32_t i = 0; i < 131072; ++i) memory[texels + i] = (rng() & 7) == 0 ? 0 : uint8_t(rng());
        depth = SpanDepthRecord{1024, 0, depthSamples.data()};
        Build_ShadeTables(false);
        ctx.base = memory.data();
        ctx.baseSize = uint32_t(memory.size());
        ctx.fillWord = 0x12341234;
        ctx.depth = &depth;
        ctx.translucency = &TranslucencyTables;
    }
};

Arena& TheArena() {
    static Arena a;
    return a;
}

struct Family {
    const char* name;
    int32_t mode;
    bool perspective;
};
const Family kFamilies[] = {
    {"solid", 1, false},           {"solid-half-565", -2, false},   {"fill-word", 14, false},
    {"affine", 2, false},          {"affine-half-565", -3, false},  {"affine-add-565", -21, false},
    {"affine-shaded", 22, false},  {"affine-alpha", -13, false},    {"affine-keyed", -5, false},
    {"affine-depth", 18, false},   {"persp", 3, true},              {"persp-wrap", 9, true},
    {"persp-half-565", -4, true},  {"persp-alpha", -12, true},      {"persp-keyed", -6, true},
    {"persp-16-bit", 29, true},
};

SpanNode NodeFor(const Family& f) {
    SpanNode n;
    std::memset(static_cast<void*>(&n), 0, sizeof n);
    n.x = 0;
    n.colour = 0x8410;
    n.row = 12;
    n.level = 9;
    n.texels = TheArena().texels;
    if (f.perspective) {
        // w from 1 to 0.5 over 640 pixels; u and v within the map.
        n.key = 1.0f;
        n.keySlope = -0.5f / 640.0f;
        n.u.f = 8.0f * 65536.0f;
        n.v.f = 20.0f * 65536.0f;
        n.uSlope.f = 0.15f * 65536.0f;
        n.vSlope.f = 0.05f * 65536.0f;
        n.tail[0].f = 16.0f * n.keySlope;
        n.tail[1].f = 16.0f * n.uSlope.f;
        n.tail[2].f = 16.0f * n.vSlope.f;
    } else {
        n.key = 3000.0f;
        n.keySlope = 0.5f;
        n.u.i = 3 << 16;
        n.v.i = 40 << 16;
        n.uSlope.i = 24000;
        n.vSlope.i = 9000;
        n.tail[0].i = 4 << 16;
        n.tail[2].i = 1000;
    }
    return n;
}

void BM_SpanRoutine(benchmark::State& state) {
    const Family& f = kFamilies[state.range(0)];
    const int32_t count = int32_t(state.range(1));
    const bool aligned = state.range(2) != 0;
    Arena& a = TheArena();
    SpanTables tables = SPAN_LoadTables();
    SpanRoutine routine = tables.insertion.At(f.mode);
    SpanNode node = NodeFor(f);
    alignas(64) static uint16_t line[1024];
    uint8_t* first = reinterpret_cast<uint8_t*>(line + 8 + (aligned ? 0 : 1));
    const int32_t start = aligned ? 8 : 9;
    for (auto _ : state) {
        uint8_t* px = first;
        routine(a.ctx, px, count, start, node);
        benchmark::DoNotOptimize(px);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(std::string(f.name) + (aligned ? "/aligned" : "/unaligned"));
}

void RoutineArgs(benchmark::internal::Benchmark* b) {
    for (int64_t f = 0; f < int64_t(sizeof kFamilies / sizeof kFamilies[0]); ++f)
        for (int64_t n : {1, 4, 16, 17, 64, 640})
            for (int64_t al : {1, 0}) b->Args({f, n, al});
}
BENCHMARK(BM_SpanRoutine)->Apply(RoutineArgs);

// The speed goal of the perspective fill: a 640-pixel span of mode 3 at
// least 1/15 of memcpy's pixel rate (one frame's memcpy timed in the same
// run), from an aligned and from an unaligned address.
constexpr double kPerspectiveGoalOfMemcpy = 1.0 / 15.0;

void BM_PerspectiveSpan640(benchmark::State& state) {
    const bool aligned = state.range(0) != 0;
    Arena& a = TheArena();
    SpanTables tables = SPAN_LoadTables();
    SpanRoutine routine = tables.insertion.At(3);
    SpanNode node = NodeFor(kFamilies[10]);
    alignas(64) static uint16_t line[1024];
    uint8_t* first = reinterpret_cast<uint8_t*>(line + 8 + (aligned ? 0 : 1));
    const int32_t start = aligned ? 8 : 9;
    constexpr int32_t kCount = 640;
    bench::MemcpyFrameSeconds();  // measured before the loop's clock starts
    bench::LoopClock clock;
    for (auto _ : state) {
        uint8_t* px = first;
        routine(a.ctx, px, kCount, start, node);
        benchmark::DoNotOptimize(px);
        benchmark::ClobberMemory();
    }
    bench::ReportPixelRatio(state, clock.Seconds(), kCount, kPerspectiveGoalOfMemcpy);
    state.SetItemsProcessed(state.iterations() * kCount);
    state.SetLabel(aligned ? "aligned" : "unaligned");
}
BENCHMARK(BM_PerspectiveSpan640)->Arg(1)->Arg(0);

// ---------------------------------------------------------------------------
// The insertion
// ---------------------------------------------------------------------------

// A line's span list in a block of its own: sentinels, background, and
// `spans` spans that all overlap, each of two nodes, at depths that leave
// some in front and some behind.
struct InsertLine {
    std::vector<uint8_t> memory = std::vector<uint8_t>(1 << 16);
    uint32_t used = 64;
    std::vector<uint32_t> lines;
    SpanLine *left, *right, *background;

    uint32_t Take(uint32_t bytes) {
        uint32_t at = used;
        used += (bytes + 7) & ~7u;
        return at;
    }
    SpanNode* Node(uint32_t at) { return reinterpret_cast<SpanNode*>(memory.data() + at); }
    SpanLine* Line(uint32_t at) { return reinterpret_cast<SpanLine*>(memory.data() + at); }
    uint32_t MakeNodes(int32_t x0, int32_t x1, float key, float slope, uint16_t colour) {
        uint32_t a = Take(sizeof(SpanNode)), b = Take(sizeof(SpanNode)), c = Take(sizeof(SpanNode));
        int32_t mid = x0 + (x1 - x0) / 2;
        int32_t xs[3] = {x0, mid, x1};
        uint32_t at[3] = {a, b, c};
        for (int i = 0; i < 3; ++i) {
            SpanNode* n = Node(at[i]);
            std::memset(static_cast<void*>(n), 0, sizeof *n);
            n->x = xs[i];
            n->key = key + slope * float((xs[i] - x0) >> 16);
            n->keySlope = slope;
            n->colour = colour;
            n->nextNode = i < 2 ? at[i + 1] : 0;
        }
        return a;
    }
    uint32_t MakeLine(int32_t mode, int32_t x0, int32_t x1, uint32_t first) {
        uint32_t at = Take(sizeof(SpanLine));
        *Line(at) = SpanLine{mode, 0, 0, x0, x1, first, first, 0, 0.0f};
        lines.push_back(at);
        return at;
    }
    explicit InsertLine(int spans) {
        const int32_t kMin = int32_t(0x80000000u), kMax = 0x7FFF0000;
        uint32_t bgNodes = MakeNodes(kMin / 2, kMax / 2, 0.0f, 0.0f, 0x0F0F);
        uint32_t bg = MakeLine(1, kMin / 2, kMax / 2, bgNodes);
        float inf = std::numeric_limits<float>::infinity();
        uint32_t l = MakeLine(4, kMin / 2, 0, MakeNodes(kMin / 2, 0, inf, 0.0f, 0));
        uint32_t r = MakeLine(4, 640 << 16, kMax / 2, MakeNodes(640 << 16, kMax / 2, inf, 0.0f, 0));
        left = Line(l);
        right = Line(r);
        background = Line(bg);
        std::mt19937 rng{uint32_t(spans)};
        uint32_t prev = l;
        for (int i = 0; i < spans; ++i) {
            int32_t x0 = int32_t(i * 600 / spans / 2 + int32_t(rng() % 8)) << 16;
            int32_t x1 = int32_t(640 - i * 600 / spans / 2 - int32_t(rng() % 8)) << 16;
            float key = float(1000 + rng() % 30000);
            float slope = float(int32_t(rng() % 41) - 20);
            uint32_t s = MakeLine(1, x0, x1, MakeNodes(x0, x1, key, slope, uint16_t(100 + i)));
            Line(prev)->next = s;
            prev = s;
        }
        Line(prev)->next = r;
    }
    void Reset() {
        for (uint32_t at : lines) {
            Line(at)->current = Line(at)->first;
            Line(at)->link = 0;
        }
    }
};

void BM_SpanInsertion(benchmark::State& state) {
    const int spans = int(state.range(0));
    const bool solid = state.range(1) != 0;
    InsertLine line(spans);
    SpanTables tables = SPAN_LoadTables();
    SpanRoutineTable table = tables.insertion;
    if (!solid)
        for (SpanRoutine& r : table.entry) r = SPAN_Skip;
    SpanContext ctx;
    ctx.base = line.memory.data();
    ctx.baseSize = uint32_t(line.memory.size());
    alignas(64) static uint16_t pixels[1024];
    for (auto _ : state) {
        line.Reset();
        SPAN_InsertSpans(ctx, table, line.left, line.right, line.background, reinterpret_cast<uint8_t*>(pixels));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(std::to_string(spans) + (spans == 1 ? "-span" : "-spans") + (solid ? "/solid-fill" : "/nothing-drawn") +
                   "/items=lines");
}
BENCHMARK(BM_SpanInsertion)->ArgsProduct({{1, 4, 16}, {0, 1}});

}  // namespace
