// The span routines against the closed-form model: every mode of both
// tables on fuzzed spans in 5-6-5 and 5-5-5, drawn into lines whose every
// other pixel must stay as it was; the numeric examples of the routines'
// rules; the tables, the exchange and the walker.
#include "span_model.h"
#include "span_support.h"
#include "test_support.h"

#include "engine3d/dqx_3d.h"
#include "render/spans/span_routines.h"
#include "render/sr_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace test {
namespace {

using spanmodel::Kind;

// Spans per mode and layout.  The sanitizer build runs a tenth of them:
// it checks memory, the full count runs in the plain build.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kFuzzSpans = 10000;
#else
constexpr int kFuzzSpans = 100000;
#endif

const SpanArena& Arena() {
    static const SpanArena arena(20240611);
    return arena;
}

struct Rng {
    std::mt19937 g;
    explicit Rng(uint32_t seed) : g(seed) {}
    uint32_t Below(uint32_t n) { return g() % n; }
    float Range(float lo, float hi) { return lo + (hi - lo) * float(g() & 0xFFFFFF) / 16777216.0f; }
    uint32_t Bits() { return g(); }
};

bool Perspective(Kind k) {
    switch (k) {
    case Kind::Persp: case Kind::PerspWrap: case Kind::PerspHalf565: case Kind::PerspHalf555:
    case Kind::PerspWrapHalf565: case Kind::PerspWrapHalf555: case Kind::PerspAlpha: case Kind::PerspTexelAlpha:
    case Kind::PerspFrame: case Kind::PerspFrameRow: case Kind::Persp16: case Kind::PerspKeyed: case Kind::Persp8: case Kind::Persp8Wide:
        return true;
    default:
        return false;
    }
}
bool UsesFrames(Kind k) {
    return k == Kind::AffineFrame || k == Kind::AffineFrameShaded || k == Kind::PerspFrame || k == Kind::PerspFrameRow;
}
bool DepthTested(Kind k) {
    return k == Kind::SolidDepth || k == Kind::AffineDepth || k == Kind::AffineKeyedDepth ||
           k == Kind::AffineHalfDepth || k == Kind::AffineKeyedHalfDepth;
}

int32_t PickCount(Rng& r) {
    uint32_t p = r.Below(100);
    if (p < 2) return 640;
    if (p < 14) {
        static const int32_t special[3] = {16, 17, 32};
        return special[r.Below(3)];
    }
    if (p < 80) return 1 + int32_t(r.Below(40));
    return 41 + int32_t(r.Below(60));
}

// A 16.16 slope: whole texels and a fraction, sometimes with its lowest
// bits set, sometimes 1 + 3/65536.
int32_t PickSlope(Rng& r) {
    if (r.Below(20) == 0) return 65536 + 3;
    int32_t s = int32_t(r.Range(-3.0f, 3.0f) * 65536.0f);
    if (r.Below(3) == 0) s |= 3;
    return s;
}

// A node for a span of `count` pixels from column `start`, with values in
// the ranges the rasterizer makes (and now and then beyond them).
SpanNode MakeNode(Rng& r, Kind k, const SpanArena& a, int32_t start, int32_t count) {
    SpanNode n;
    std::memset(static_cast<void*>(&n), 0, sizeof n);
    int32_t column = start - int32_t(r.Below(24));
    if (r.Below(5) == 0) column = start + 1 + int32_t(r.Below(5));  // the span starts left of the node
    n.x = int32_t(uint32_t(column) * 65536u + (r.Bits() & 0xFFFF));
    n.colour = uint16_t(r.Bits());
    n.row = uint8_t(r.Below(16) == 0 ? 32 + r.Below(8) : r.Below(32));
    n.level = uint8_t(UsesFrames(k) ? r.Below(8) : r.Below(36));
    n.texels = UsesFrames(k) ? a.frames : a.texels;
    if (r.Below(200) == 0) n.texels = r.Below(2) ? 100u : uint32_t(a.memory.size()) - 1000u;
    n.key = r.Range(0.0f, 4.0e6f);
    n.keySlope = r.Range(-3000.0f, 3000.0f);
    if (Perspective(k)) {
        float w0 = r.Range(0.25f, 8.0f);
        float reach = float(count + 40);
        float w1 = w0 * r.Range(0.3f, 3.0f);
        float slope = (w1 - w0) / reach;
        float wide = r.Below(10) == 0 ? 5000.0f : 280.0f;
        float u0 = r.Range(-16.0f, wide) * 65536.0f, u1 = r.Range(-16.0f, wide) * 65536.0f;
        float v0 = r.Range(-16.0f, wide) * 65536.0f, v1 = r.Range(-16.0f, wide) * 65536.0f;
        n.key = w0;
        n.keySlope = slope;
        n.u.f = u0 * w0;
        n.v.f = v0 * w0;
        n.uSlope.f = (u1 * w1 - u0 * w0) / reach;
        n.vSlope.f = (v1 * w1 - v0 * w0) / reach;
        float skew = r.Below(4) == 0 ? r.Range(0.99f, 1.01f) : 1.0f;
        n.tail[0].f = 16.0f * n.keySlope * skew;
        n.tail[1].f = 16.0f * n.uSlope.f;
        n.tail[2].f = 16.0f * n.vSlope.f * skew;
        n.shade = int32_t(r.Below(40) << 16 | (r.Bits() & 0xFFFF));
        n.shadeSlope = int32_t(r.Bits());
    } else {
        bool far = r.Below(10) == 0;
        n.u.i = far ? int32_t(r.Bits()) : int32_t(r.Range(-20.0f, 276.0f) * 65536.0f);
        n.v.i = far ? int32_t(r.Bits()) : int32_t(r.Range(-20.0f, 276.0f) * 65536.0f);
        n.uSlope.i = PickSlope(r);
        n.vSlope.i = PickSlope(r);
        n.tail[0].i = int32_t(r.Range(-0.5f, 31.9f) * 65536.0f);
        n.tail[1].i = int32_t(r.Bits());
        n.tail[2].i = int32_t(r.Range(-0.4f, 0.4f) * 65536.0f);
    }
    return n;
}

// The depth record's row of the current line near the span's own samples,
// so that about half the pixels pass (and some tie).
void FillDepthRow(Rng& r, SpanArena& a, const SpanNode& n, int32_t start, int32_t count, int32_t line) {
    int shift = int(r.Below(11));
    a.depth.shift = shift | int32_t(r.Below(8) << 5);  // only the low 5 bits count
    int32_t lead = std::max(0, start - (n.x >> 16));
    for (int32_t i = 0; i < count; ++i) {
        double key = double(n.key) + double(n.keySlope) * double(lead + i);
        int32_t approx = int32_t(int64_t(key) >> shift);
        a.depthSamples[size_t(line) * SpanArena::kDepthRow + size_t(start + i)] =
            int16_t(approx + int32_t(r.Below(5)) - 2);
    }
}

// A frame line of canaries: a fixed value everywhere but in a window of
// random pixels around the span, which the routine may read (blends) or
// write.  Any write outside the span shows as a changed canary.
struct Line {
    static constexpr uint16_t kCanary = 0xC3A5;
    std::vector<uint16_t> pixels;
    uint16_t* line;
    explicit Line(Rng& r) : pixels(1200 + 64, kCanary) {
        // The line starts on a 4-byte boundary or 2 bytes past one.
        uintptr_t at = reinterpret_cast<uintptr_t>(pixels.data() + 16);
        int skip = int((at / 2) & 1) ^ int(r.Below(2));
        line = pixels.data() + 16 + skip;
    }
    // Random pixels over [from, to) (indices into `pixels`).
    void Randomise(Rng& r, size_t from, size_t to) {
        uint32_t x = r.Bits() | 1;
        for (size_t i = from; i < to && i < pixels.size(); ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            pixels[i] = uint16_t(x);
        }
    }
};

std::string Name(Kind k) {
    return std::to_string(int(k));
}

// Draws one span with `routine` and with the model; answers whether they
// agree on every pixel of the buffer and on the end address.
::testing::AssertionResult DrawBoth(SpanRoutine routine, Kind k, SpanContext& ctx, Rng& r, int32_t count,
                                    int32_t start, const SpanNode& n, bool movesAddress) {
    Line actual(r);
    size_t at = size_t(actual.line - actual.pixels.data()) + size_t(start);
    actual.Randomise(r, at - 8, at + size_t(count) + 8);
    std::vector<uint16_t> expected = actual.pixels;
    uintptr_t address = reinterpret_cast<uintptr_t>(actual.pixels.data() + at);
    int bpp = spanmodel::BytesPerPixel(k);
    if (bpp == 1) {
        // 8-bit pixels from the span's byte address on.
        address = reinterpret_cast<uintptr_t>(actual.line) + uintptr_t(start);
        spanmodel::Draw(k, ctx, reinterpret_cast<uint8_t*>(expected.data()) + (address - reinterpret_cast<uintptr_t>(actual.pixels.data())),
                        address, count, start, n);
    } else {
        spanmodel::Draw(k, ctx, reinterpret_cast<uint8_t*>(expected.data() + at), address, count, start, n);
    }
    uint8_t* px = reinterpret_cast<uint8_t*>(address);
    uint8_t* begin = px;
    routine(ctx, px, count, start, n);
    ptrdiff_t moved = px - begin;
    ptrdiff_t want = movesAddress ? ptrdiff_t(count) * bpp : 0;
    if (moved != want)
        return ::testing::AssertionFailure() << "kind " << Name(k) << " count " << count << ": address moved by "
                                             << moved << ", not " << want;
    if (std::memcmp(expected.data(), actual.pixels.data(), expected.size() * 2) == 0)
        return ::testing::AssertionSuccess();
    for (size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != actual.pixels[i]) {
            return ::testing::AssertionFailure()
                   << "kind " << Name(k) << " count " << count << " start " << start << " (pixel "
                   << ptrdiff_t(i) - ptrdiff_t(at) << " of the span): " << std::hex << actual.pixels[i] << " not "
                   << expected[i] << std::dec << "; node x " << n.x << " u " << n.u.i << " v " << n.v.i
                   << " du " << n.uSlope.i << " dv " << n.vSlope.i << " address%4 " << (address & 3);
        }
    return ::testing::AssertionSuccess();
}

class SpanModeFuzz : public ::testing::TestWithParam<int32_t> {};

// Every mode through the insertion's table (and, where the walker's
// routine differs and draws, through the walker's), before and after the
// 5-5-5 exchange, on fuzzed spans.
TEST_P(SpanModeFuzz, MatchesTheClosedFormModel) {
    const int32_t mode = GetParam();
    SpanArena& arena = const_cast<SpanArena&>(Arena());
    for (bool is555 : {false, true}) {
        SpanTables tables = SPAN_LoadTables();
        if (is555) SPAN_SwapTables555(tables);
        SpanContext ctx = arena.Context(is555);
        ctx.halfMask = tables.halfMask;
        Kind insertionKind = spanmodel::KindOf(mode, false, is555);
        Kind walkerKind = spanmodel::KindOf(mode, true, is555);
        SpanRoutine insertion = tables.insertion.At(mode);
        SpanRoutine walker = tables.walker.At(mode);
        bool walkerDraws = walker != insertion && walker != SPAN_Ignore && walker != SPAN_EndList;
        Rng r(uint32_t(mode + 100) * 7919u + (is555 ? 1u : 0u));
        int failures = 0;
        for (int i = 0; i < kFuzzSpans && failures < 3; ++i) {
            int32_t count = PickCount(r);
            int32_t start = int32_t(r.Below(uint32_t(SpanArena::kDepthRow - count - 8)));
            SpanNode n = MakeNode(r, insertionKind, arena, start, count);
            ctx.currentLine = int32_t(r.Below(SpanArena::kDepthLines));
            if (DepthTested(insertionKind)) FillDepthRow(r, arena, n, start, count, ctx.currentLine);
            ctx.depth = r.Below(50) == 0 ? nullptr : &arena.depth;
            ctx.background = r.Below(50) == 0 ? nullptr : arena.background.data();
            ctx.fillWord = r.Bits();
            auto ok = DrawBoth(insertion, insertionKind, ctx, r, count, start, n, true);
            if (!ok) {
                ++failures;
                ADD_FAILURE() << "mode " << mode << (is555 ? " 555" : " 565") << " insertion table, span " << i << ": "
                              << ok.message();
            }
            if (walkerDraws) {
                auto w = DrawBoth(walker, walkerKind, ctx, r, count, start, n, true);
                if (!w) {
                    ++failures;
                    ADD_FAILURE() << "mode " << mode << (is555 ? " 555" : " 565") << " walker table, span " << i
                                  << ": " << w.message();
                }
            }
        }
    }
}

std::vector<int32_t> AllModes() {
    std::vector<int32_t> m;
    for (int32_t i = kSpanModeMin; i <= kSpanModeMax; ++i) m.push_back(i);
    return m;
}

INSTANTIATE_TEST_SUITE_P(Modes, SpanModeFuzz, ::testing::ValuesIn(AllModes()),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return info.param < 0 ? "Minus" + std::to_string(-info.param) : std::to_string(info.param);
                         });

// The 8-bit routines (1 byte a pixel), which the tables hold in their
// 16-bit forms.
TEST(SpanRoutines, EightBitRoutinesMatchTheModelAtOneBytePerPixel) {
    SpanArena& arena = const_cast<SpanArena&>(Arena());
    SpanContext ctx = arena.Context(false);
    struct Case {
        SpanRoutine routine;
        Kind kind;
    } cases[] = {{SPAN_Solid8, Kind::Solid8}, {SPAN_FillGlobal8, Kind::FillGlobal8},
                 {SPAN_Affine8, Kind::Affine8}, {SPAN_Persp8, Kind::Persp8}};
    Rng r(77);
    for (const Case& c : cases)
        for (int i = 0; i < 20000; ++i) {
            int32_t count = PickCount(r);
            int32_t start = int32_t(r.Below(uint32_t(SpanArena::kDepthRow - count - 8)));
            SpanNode n = MakeNode(r, c.kind, arena, start, count);
            ctx.fillWord = r.Bits();
            ASSERT_TRUE(DrawBoth(c.routine, c.kind, ctx, r, count, start, n, true)) << i;
        }
}

// The modes where the back end and the rasterizer's reference fill follow
// the same rules draw the same pixels: flat fills, the fill word (the same
// colour in both halves, as the view writes it), the background picture,
// affine textures and shaded affine textures with coordinates inside the
// map from the node's column on, and the colour-keyed affine texture with
// coordinates and slopes on the 1/256 grid.
TEST(SpanRoutines, ModesThatCoincideWithTheReferenceFillMatchIt) {
    SpanArena& arena = const_cast<SpanArena&>(Arena());
    uint8_t* savedPool = g_3DPool;
    uint32_t savedSize = g_3DPoolSize;
    g_3DPool = arena.memory.data();
    g_3DPoolSize = uint32_t(arena.memory.size());
    BackgroundPicture = arena.background.data();
    BackgroundRowLength = SpanArena::kDepthRow;
    SpanTables tables = SPAN_LoadTables();
    Rng r(3105);
    for (int32_t mode : {1, 5, 7, 28, 2, 6, 24, 14, 15, 22, 30, -5}) {
        SR_Routine reference = SR_ReferenceRoutines.At(mode);
        SpanRoutine routine = tables.insertion.At(mode);
        const bool grid = mode == -5;
        for (int i = 0; i < 20000; ++i) {
            int32_t count = PickCount(r) % 300 + 1;
            int32_t start = int32_t(r.Below(uint32_t(SpanArena::kDepthRow - count - 8)));
            SpanNode n = MakeNode(r, Kind::Affine, arena, start, count);
            n.texels = arena.texels;
            int32_t column = start - int32_t(r.Below(24));
            n.x = int32_t(uint32_t(column) << 16 | (r.Bits() & 0xFFFF));
            n.row &= 31;
            const int32_t last = start - column + count - 1;
            // u, v and the shade from a start to an end value inside their
            // ranges over the pixels the span reaches.
            auto line = [&](float lo, float hi, SpanWord& value, SpanWord& slope) {
                float a = r.Range(lo, hi), b = r.Range(lo, hi);
                int32_t v = int32_t(a * 65536.0f), s = last > 0 ? int32_t((b - a) * 65536.0f / float(last)) : 0;
                value.i = grid ? v & ~0xFF : v;
                slope.i = grid ? s & ~0xFF : s;
            };
            SpanWord u, du, v, dv, shade, shadeSlope;
            line(0.0f, 255.99f, u, du);
            line(0.0f, 255.99f, v, dv);
            line(0.0f, 31.99f, shade, shadeSlope);
            n.u = u;
            n.uSlope = du;
            n.v = v;
            n.vSlope = dv;
            n.tail[0] = shade;
            n.tail[2] = shadeSlope;
            auto inside = [&](int32_t value, int32_t slope, int32_t top) {
                int64_t end = int64_t(value) + int64_t(slope) * last;
                return end >= 0 && (end >> 16) < top;
            };
            if (!inside(n.u.i, n.uSlope.i, 256) || !inside(n.v.i, n.vSlope.i, 256) ||
                !inside(n.tail[0].i, n.tail[2].i, 32))
                continue;
            uint16_t word = uint16_t(r.Bits());
            GlobalFillWord = uint32_t(word) * 0x10001u;
            SpanCurrentLine = int32_t(r.Below(SpanArena::kDepthLines));
            SpanContext ctx = arena.Context(false);
            ctx.fillWord = GlobalFillWord;
            ctx.currentLine = SpanCurrentLine;
            Line line1(r);
            size_t at = size_t(line1.line - line1.pixels.data()) + size_t(start);
            line1.Randomise(r, at - 8, at + size_t(count) + 8);
            std::vector<uint16_t> expected = line1.pixels;
            EXPECT_EQ(reference(expected.data() + at, count, start, &n), expected.data() + at + count);
            uint8_t* px = reinterpret_cast<uint8_t*>(line1.pixels.data() + at);
            routine(ctx, px, count, start, n);
            ASSERT_EQ(px, reinterpret_cast<uint8_t*>(line1.pixels.data() + at + count));
            ASSERT_TRUE(line1.pixels == expected) << "mode " << mode << " span " << i << " count " << count;
        }
    }
    GlobalFillWord = 0;
    SpanCurrentLine = 0;
    BackgroundPicture = nullptr;
    BackgroundRowLength = 0;
    g_3DPool = savedPool;
    g_3DPoolSize = savedSize;
}

// ---------------------------------------------------------------------------
// The rules' numeric examples
// ---------------------------------------------------------------------------

class SpanExamples : public ::testing::Test {
protected:
    void SetUp() override {
        ctx = Arena().Context(false);
        std::memset(static_cast<void*>(&node), 0, sizeof node);
        line.assign(64, 0xEEEE);
    }
    // Pixel i of the test line, whose pixel 4 sits on a 4-byte boundary.
    uint16_t* At(int i) {
        uintptr_t p = reinterpret_cast<uintptr_t>(line.data() + 4);
        int shift = int((p & 2) >> 1);
        return line.data() + 4 + shift + i;
    }
    void Run(SpanRoutine r, int at, int32_t count, int32_t start = 0) {
        uint8_t* px = reinterpret_cast<uint8_t*>(At(at));
        uint8_t* begin = px;
        r(ctx, px, count, start, node);
        EXPECT_EQ(px - begin, 2 * count);
    }
    SpanContext ctx;
    SpanNode node;
    std::vector<uint16_t> line;
};

TEST_F(SpanExamples, FillsOnUnalignedAddressesStoreSinglePixels) {
    // A pair store would put the word's high half in the second pixel.
    ctx.fillWord = 0x12345678;
    Run(SPAN_FillGlobal, 1, 1);
    EXPECT_EQ(*At(0), 0xEEEE);
    EXPECT_EQ(*At(1), 0x5678);
    EXPECT_EQ(*At(2), 0xEEEE);
    Run(SPAN_FillGlobal, 9, 2);
    EXPECT_EQ(*At(9), 0x5678);
    EXPECT_EQ(*At(10), 0x5678);
    EXPECT_EQ(*At(11), 0xEEEE);
    // Aligned: pairs carry the whole word.
    Run(SPAN_FillGlobal, 16, 3);
    EXPECT_EQ(*At(16), 0x5678);
    EXPECT_EQ(*At(17), 0x1234);
    EXPECT_EQ(*At(18), 0x5678);
}

TEST_F(SpanExamples, HalfBlendKeepsTheCarryAndDependsOnAddressParity) {
    // White over black in 5-6-5, one pixel: 0x7BEF.
    node.colour = 0xFFFF;
    *At(1) = 0x0000;
    Run(SPAN_SolidHalf565, 1, 1);
    EXPECT_EQ(*At(1), 0x7BEF);
    // A pair: the second pixel loses blue's lowest bit, the first keeps it.
    node.colour = 0x0001;
    *At(4) = 0x0001;
    *At(5) = 0x0001;
    Run(SPAN_SolidHalf565, 4, 2);
    EXPECT_EQ(*At(4), 0x0001);
    EXPECT_EQ(*At(5), 0x0000);
    // The same two pixels from an unaligned start are two singles.
    *At(9) = 0x0001;
    *At(10) = 0x0001;
    Run(SPAN_SolidHalf565, 9, 2);
    EXPECT_EQ(*At(9), 0x0001);
    EXPECT_EQ(*At(10), 0x0001);
    // 5-5-5: white over black gives 0x3DEF; red's carry stays in red.
    node.colour = 0x7FFF;
    *At(13) = 0;
    Run(SPAN_SolidHalf555, 13, 1);
    EXPECT_EQ(*At(13), 0x3DEF);
}

// A texture whose every texel is `texel` in a row of distinct colours.
class SpanTextureExamples : public SpanExamples {
protected:
    void SetUp() override {
        SpanExamples::SetUp();
        memory.assign(32768 + 131072, 0);
        for (uint32_t e = 0; e < 8192; ++e) {
            uint32_t c = (e * 2654435761u) >> 16;
            memory[e * 4 + 2] = uint8_t(c);
            memory[e * 4 + 3] = uint8_t(c >> 8);
        }
        ctx.base = memory.data();
        ctx.baseSize = uint32_t(memory.size());
        node.texels = 32768;
    }
    uint8_t* Texels() { return memory.data() + 32768; }
    uint16_t ColourOf(uint32_t row, uint32_t texel) const {
        return uint16_t(memory[(row * 256 + texel) * 4 + 2] | memory[(row * 256 + texel) * 4 + 3] << 8);
    }
    std::vector<uint8_t> memory;
};

TEST_F(SpanTextureExamples, SaturatingSumHoldsEachChannelAtItsTop) {
    // Texel 7 is full red in row 0.
    memory[7 * 4 + 2] = 0x00;
    memory[7 * 4 + 3] = 0xF8;
    std::memset(Texels(), 7, 65536);
    *At(1) = 0xF800;
    Run(SPAN_AffineAdd565, 1, 1);
    EXPECT_EQ(*At(1), 0xF800);
    // Without overflow: the plain sum of the masked values.
    memory[7 * 4 + 2] = 0x21;
    memory[7 * 4 + 3] = 0x10;  // 0x1021
    *At(2) = 0x0842;
    Run(SPAN_AffineAdd565, 2, 1);
    EXPECT_EQ(*At(2), uint16_t((0x1021 & 0xF7DF) + (0x0842 & 0xF7DF)));
}

TEST_F(SpanTextureExamples, WrappingStepRunsPastTheRowEndToItsStart) {
    // Row 5 of the map: texel u holds u + 1.
    for (int u = 0; u < 256; ++u) Texels()[5 * 256 + u] = uint8_t(u + 1);
    node.u.i = 254 << 16;
    node.v.i = 5 << 16;
    node.uSlope.i = 1 << 16;
    for (int i = 0; i < 4; ++i) *At(i) = 0;
    Run(SPAN_AffineAdd565, 0, 4);
    // Summed onto 0 nothing overflows: the masked colours of u = 254, 255,
    // then 0 and 1 of the same row.
    const int u[4] = {254, 255, 0, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(*At(i), ColourOf(0, uint32_t(u[i] + 1) & 0xFF) & 0xF7DF) << i;
}

TEST_F(SpanTextureExamples, KeyedRoutinesLeaveTexelZeroPixels) {
    std::memset(Texels(), 0, 65536);
    // Mode -5, a block of 16 zero texels: nothing drawn, 16 pixels passed.
    node.uSlope.i = 1 << 16;
    Run(SPAN_AffineKeyed, 4, 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(*At(4 + i), 0xEEEE);
    // A group with mask 0b0110: its first and fourth pixels only.
    for (int u = 0; u < 16; ++u) Texels()[u] = 9;
    Texels()[1] = Texels()[2] = 0;
    Run(SPAN_AffineKeyed, 24, 16);
    EXPECT_EQ(*At(24), ColourOf(0, 9));
    EXPECT_EQ(*At(25), 0xEEEE);
    EXPECT_EQ(*At(26), 0xEEEE);
    EXPECT_EQ(*At(27), ColourOf(0, 9));
    // The first and the last pixel of a keyed span are left too.
    Texels()[0] = 0;
    Texels()[15] = 0;
    line.assign(64, 0xEEEE);
    Run(SPAN_AffineKeyedHalf565, 8, 16);
    EXPECT_EQ(*At(8), 0xEEEE);
    EXPECT_EQ(*At(23), 0xEEEE);
    EXPECT_NE(*At(11), 0xEEEE);
}

TEST_F(SpanTextureExamples, KeyedAffineSlopeStepsWithItsLowBitsCleared) {
    // u texels 0..63 of row 0 are distinct; slope 1 + 3/65536 steps exactly
    // one texel per pixel, through the block and the one-by-one pixels.
    for (int u = 0; u < 64; ++u) Texels()[u] = uint8_t(u + 1);
    node.uSlope.i = 65536 + 3;
    Run(SPAN_AffineKeyed, 4, 40);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(*At(4 + i), ColourOf(0, uint32_t(i + 1))) << i;
}

// Mode -5 on an aligned address: 15 pixels are no block and step with the
// top 8 bits of the fractions; 16 pixels are a block stepped with all 16.
// u starts 0xFF80 / 65536 past texel 0 and steps 1 + 128 / 65536.
TEST_F(SpanTextureExamples, KeyedAffineBlocksStepWithWholeFractions) {
    for (int u = 0; u < 64; ++u) Texels()[u] = uint8_t(u + 1);
    node.u.i = 0xFF80;
    node.uSlope.i = 0x10080;
    Run(SPAN_AffineKeyed, 4, 15);
    EXPECT_EQ(*At(4), ColourOf(0, 1));  // texel 0
    EXPECT_EQ(*At(5), ColourOf(0, 2));  // 0xFF + 0x100 (8-bit): texel 1
    Run(SPAN_AffineKeyed, 24, 16);
    EXPECT_EQ(*At(24), ColourOf(0, 1));
    EXPECT_EQ(*At(25), ColourOf(0, 3));  // 0xFF80 + 0x10080: texel 2
}

TEST_F(SpanTextureExamples, DepthTestDrawsOnlyWhereTheSpanIsNearer) {
    std::memset(Texels(), 3, 65536);
    node.key = 1000.0f;
    node.keySlope = 1.0f;
    std::vector<int16_t> samples(64, 0);
    SpanDepthRecord rec{64, 0, samples.data()};
    ctx.depth = &rec;
    ctx.currentLine = 0;
    samples[0] = 999;   // nearer span: drawn
    samples[1] = 1001;  // equal: not drawn
    samples[2] = 1003;  // farther span: not drawn
    Run(SPAN_AffineDepthTest, 0, 3, 0);
    EXPECT_EQ(*At(0), ColourOf(0, 3));
    EXPECT_EQ(*At(1), 0xEEEE);
    EXPECT_EQ(*At(2), 0xEEEE);
}

// Spans of 16, 17 and 32 pixels divide where the schedule says; a 2-pixel
// span divides each pixel exactly.
TEST(SpanPerspective, RunsOf16AndTheFinalRun) {
    SpanNode n;
    std::memset(static_cast<void*>(&n), 0, sizeof n);
    n.x = 10 << 16;
    n.key = 2.0f;
    n.keySlope = 0.01f;
    n.u.f = 2.0f * 65536.0f * 10;
    n.uSlope.f = 0.5f * 65536.0f;
    n.tail[0].f = 16 * n.keySlope;
    n.tail[1].f = 16 * n.uSlope.f;
    auto runs = [&](int32_t count) { return spanmodel::PerspectiveRuns(n, count, 10); };
    ASSERT_EQ(runs(16).size(), 1u);
    EXPECT_EQ(runs(16)[0].length, 16);
    ASSERT_EQ(runs(17).size(), 2u);
    EXPECT_EQ(runs(17)[1].length, 1);
    EXPECT_EQ(runs(17)[1].du, 0);
    ASSERT_EQ(runs(32).size(), 2u);
    EXPECT_EQ(runs(32)[0].length, 16);
    EXPECT_EQ(runs(32)[1].length, 16);
    // Exactly 16: the end at 15/16 of the increments, steps of (end - start) / 16.
    float dx = 1.0f;  // (start + 1) - node x, in pixels
    float w = n.key + n.keySlope * dx, u = n.u.f + n.uSlope.f * dx;
    int32_t us = spanmodel::RoundHalfEven(u / w);
    float f = 15.0f / 16.0f;
    int32_t ue = spanmodel::RoundHalfEven((u + f * n.tail[1].f) / (w + f * n.tail[0].f));
    EXPECT_EQ(runs(16)[0].u, us);
    EXPECT_EQ(runs(16)[0].du, spanmodel::RoundHalfEven(float(ue - us) * (1.0f / 16.0f)));
    // Two pixels: each divided on its own.
    std::vector<spanmodel::Run> two = runs(2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].u, spanmodel::RoundHalfEven((u + n.uSlope.f) / (w + n.keySlope)));
    // The routine draws them from those texels.
    SpanArena& arena = const_cast<SpanArena&>(Arena());
    SpanContext ctx = arena.Context(false);
    n.texels = arena.texels;
    n.u.f = 3.0f * 65536.0f * 2.0f;
    n.v.f = 7.0f * 65536.0f * 2.0f;
    n.uSlope.f = 65536.0f * 2.0f;
    n.keySlope = 0.0f;
    n.vSlope.f = 0.0f;
    uint16_t px[4] = {};
    uint8_t* p = reinterpret_cast<uint8_t*>(px);
    SPAN_Persp(ctx, p, 2, 10, n);
    for (int i = 0; i < 2; ++i) {
        int32_t uu = spanmodel::RoundHalfEven((n.u.f + n.uSlope.f * (1.0f + float(i))) / 2.0f) >> 16;
        EXPECT_EQ(uu, 4 + i);
        uint8_t texel = arena.memory[arena.texels + 7 * 256 + uint32_t(uu)];
        EXPECT_EQ(px[i], arena.ColourEntry(arena.texels, n.row, texel)) << i;
    }
}

// Mode 20's records are 100 bytes long (the perspective family) and stop
// before the shade start that mode 26's 112-byte records carry: mode 20
// draws the frame's texels in the face's own shade row and reads nothing
// past its record.  The record lies at the very end of its heap block (the
// sanitizer build sees any read past it) and, in a second copy, before
// twelve bytes of poison that name another row.
TEST(SpanPerspective, ModeTwentyReadsNothingPastItsRecord) {
    SpanArena& arena = const_cast<SpanArena&>(Arena());
    SpanContext ctx = arena.Context(false);
    SpanTables tables = SPAN_LoadTables();
    SpanNode n;
    std::memset(static_cast<void*>(&n), 0, sizeof n);
    n.x = 4 << 16;
    n.key = 1.0f;
    n.u.f = 3.0f * 65536.0f;
    n.v.f = 5.0f * 65536.0f;
    n.uSlope.f = 0.75f * 65536.0f;
    n.vSlope.f = 0.25f * 65536.0f;
    n.tail[1].f = 16 * n.uSlope.f;
    n.tail[2].f = 16 * n.vSlope.f;
    n.texels = arena.frames;
    n.level = 1;  // frame 1
    n.row = 2;
    constexpr int32_t kCount = 40;
    auto draw = [&](SpanRoutine routine, const SpanNode& node) {
        std::vector<uint16_t> line(64, 0xEEEE);
        uint8_t* px = reinterpret_cast<uint8_t*>(line.data() + 4);
        routine(ctx, px, kCount, 4, node);
        return line;
    };
    auto block = std::make_unique<uint8_t[]>(kEdgeBytesLong);
    std::memcpy(block.get(), &n, kEdgeBytesLong);
    const SpanNode& exact = *reinterpret_cast<const SpanNode*>(block.get());
    struct Case {
        const char* table;
        SpanRoutine routine;
    };
    // The shaded mode with its shade start at the face's row draws what
    // mode 20 must draw.
    SpanNode shaded = n;
    shaded.shade = 2 << 16;
    const std::vector<uint16_t> want = draw(tables.insertion.At(26), shaded);
    for (const Case& c : {Case{"insertion", tables.insertion.At(20)}, Case{"walker", tables.walker.At(20)}}) {
        EXPECT_EQ(draw(c.routine, exact), want) << c.table;
        for (int32_t poison : {9 << 16, 30 << 16}) {
            SpanNode poisoned = n;
            poisoned.shade = poison;
            poisoned.shadeSlope = poison;
            EXPECT_EQ(draw(c.routine, poisoned), want) << c.table << " poison row " << (poison >> 16);
        }
    }
}

// Frame modes whose texture holds no valid frame-table entry for the
// node's level (entry 6 has row shift 0; a plain map's first bytes are no
// table), or whose texture the context says holds no table (the bank's
// colour maps, whatever their first bytes), draw level 0 of the plain map
// as the plain mode of their family does, through both tables, and say so
// once in the debug log.  Their u
// and v are in the level's texels, so the plain mode is given them
// multiplied by 2^level.
class SpanNoFrameTable : public HeadlessTest {};

TEST_F(SpanNoFrameTable, FrameModesDrawThePlainMapAndSayItOnce) {
    const SpanArena& arena = Arena();
    SpanContext ctx = arena.Context(false);
    SpanTables tables = SPAN_LoadTables();
    SpanNode affine;
    std::memset(static_cast<void*>(&affine), 0, sizeof affine);
    affine.x = 2 << 16;
    affine.u.i = 7 << 16;
    affine.v.i = 30 << 16;
    affine.uSlope.i = 70000;
    affine.vSlope.i = 21000;
    affine.tail[0].i = 3 << 16;   // shade start
    affine.tail[2].i = 20000;     // shade slope
    affine.row = 9;
    SpanNode persp;
    std::memset(static_cast<void*>(&persp), 0, sizeof persp);
    persp.x = 2 << 16;
    persp.key = 1.0f;
    persp.keySlope = -0.001f;
    persp.u.f = 3.0f * 65536.0f;
    persp.v.f = 5.0f * 65536.0f;
    persp.uSlope.f = 0.75f * 65536.0f;
    persp.vSlope.f = 0.25f * 65536.0f;
    persp.tail[0].f = 16 * persp.keySlope;
    persp.tail[1].f = 16 * persp.uSlope.f;
    persp.tail[2].f = 16 * persp.vSlope.f;
    persp.row = 9;
    persp.shade = 22 << 16;  // mode 26's row
    struct Case {
        int32_t mode;
        int32_t plainMode;
        const SpanNode* node;
        uint8_t plainRow;  // the row the plain mode is given
    };
    const Case cases[] = {
        {21, 2, &affine, 9},
        {25, 22, &affine, 9},
        {20, 3, &persp, 9},
        {26, 3, &persp, 22},
    };
    SPAN_ForgetFrameTableNote();
    constexpr int32_t kCount = 45;
    SpanContext unmarked = ctx;
    unmarked.holdsFrameTable = [](uint32_t) { return false; };
    SpanContext* drawn = &ctx;
    auto draw = [&](SpanRoutine routine, const SpanNode& node) {
        std::vector<uint16_t> line(64, 0xEEEE);
        uint8_t* px = reinterpret_cast<uint8_t*>(line.data() + 3);
        routine(*drawn, px, kCount, 3, node);
        EXPECT_EQ(px, reinterpret_cast<uint8_t*>(line.data() + 3 + kCount));
        return line;
    };
    const struct {
        const char* name;
        uint32_t texture;
        uint8_t level;
        SpanContext* context;
    } textures[] = {
        {"frame 6", arena.frames, 6, &ctx},
        {"plain map level 6", arena.texels, 6, &ctx},
        {"plain map level 3", arena.texels, 3, &ctx},
        {"valid frame 3 of a texture without a table", arena.frames, 3, &unmarked},
    };
    for (const Case& c : cases)
        for (const auto& t : textures) {
            const uint32_t texture = t.texture;
            const uint8_t level = t.level;
            drawn = t.context;
            SCOPED_TRACE("mode " + std::to_string(c.mode) + " " + t.name);
            SpanNode node = *c.node;
            node.texels = texture;
            node.level = level;
            SpanNode plain = node;
            plain.row = c.plainRow;
            plain.level = 0;
            const float m = float(1 << level);
            if (c.node == &persp) {
                plain.u.f *= m, plain.v.f *= m, plain.uSlope.f *= m, plain.vSlope.f *= m;
                plain.tail[1].f *= m, plain.tail[2].f *= m;
            } else {
                plain.u.i <<= level, plain.v.i <<= level, plain.uSlope.i <<= level, plain.vSlope.i <<= level;
            }
            const std::vector<uint16_t> want = draw(tables.insertion.At(c.plainMode), plain);
            // The plain mode writes every pixel of the span.
            EXPECT_EQ(std::count(want.begin(), want.end(), uint16_t(0xEEEE)), 64 - kCount);
            EXPECT_EQ(draw(tables.insertion.At(c.mode), node), want);
            EXPECT_EQ(draw(tables.walker.At(c.mode), node), want);
        }
    std::string log = ReadFile("debug.txt");
    const std::string line = "SPAN: no frame table, frame modes drawn from the plain map\n";
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line), log.rfind(line)) << log;
}

// ---------------------------------------------------------------------------
// Tables, exchange and walker
// ---------------------------------------------------------------------------

TEST(SpanTables, ExchangeSwitchesThePairsAndTwiceRestoresThem) {
    SpanTables t = SPAN_LoadTables();
    const SpanTables loaded = t;
    EXPECT_EQ(t.insertion.At(-2), SPAN_SolidHalf565);
    EXPECT_EQ(t.insertion.At(-16), SPAN_SolidHalf555);
    EXPECT_EQ(t.insertion.At(-14), SPAN_AffineKeyedHalf565);
    EXPECT_EQ(t.insertion.At(-19), SPAN_AffineKeyedHalf555);
    // -4 and -18: the plain blends in the insertion, the wrapping ones in
    // the walker.
    EXPECT_EQ(t.insertion.At(-4), SPAN_PerspHalf565);
    EXPECT_EQ(t.walker.At(-4), SPAN_PerspWrapHalf565);
    EXPECT_EQ(t.insertion.At(-18), SPAN_PerspHalf555);
    EXPECT_EQ(t.walker.At(-18), SPAN_PerspWrapHalf555);
    EXPECT_EQ(t.halfMask, 0x7BEF);
    SPAN_SwapTables555(t);
    EXPECT_EQ(t.insertion.At(-2), SPAN_SolidHalf555);
    EXPECT_EQ(t.insertion.At(-16), SPAN_SolidHalf565);
    EXPECT_EQ(t.walker.At(-2), SPAN_SolidHalf555);
    EXPECT_EQ(t.insertion.At(-14), SPAN_AffineKeyedHalf555);
    EXPECT_EQ(t.insertion.At(-4), SPAN_PerspHalf555);
    EXPECT_EQ(t.walker.At(-4), SPAN_PerspWrapHalf555);
    EXPECT_EQ(t.insertion.At(32), SPAN_AffineHalf555);
    EXPECT_EQ(t.insertion.At(34), SPAN_PerspWrapHalf555);
    EXPECT_EQ(t.insertion.At(-21), SPAN_AffineAdd555);
    EXPECT_EQ(t.halfMask, 0x3DEF);
    SPAN_SwapTables555(t);
    for (int m = kSpanModeMin; m <= kSpanModeMax; ++m) {
        EXPECT_EQ(t.insertion.At(m), loaded.insertion.At(m)) << m;
        EXPECT_EQ(t.walker.At(m), loaded.walker.At(m)) << m;
    }
    EXPECT_EQ(t.halfMask, 0x7BEF);
    // The tables differ only at -1, 4, 8, 16, 19, 31, -18 and -4.
    for (int m = kSpanModeMin; m <= kSpanModeMax; ++m) {
        bool differs = m == -1 || m == 4 || m == 8 || m == 16 || m == 19 || m == 31 || m == -18 || m == -4;
        EXPECT_EQ(t.insertion.At(m) != t.walker.At(m), differs) << m;
    }
    EXPECT_EQ(t.insertion.At(36), nullptr);
    EXPECT_EQ(t.insertion.At(-23), nullptr);
}

// Lines of 1100 pixels, each between canary lines: a span list drawn by
// the walker equals the model applied from the last record to the first.
TEST(SpanWalker, DrawsRecordsFromTheLastToTheSentinel) {
    SpanArena& arena = const_cast<SpanArena&>(Arena());
    for (bool is555 : {false, true}) {
        SpanTables tables = SPAN_LoadTables();
        if (is555) SPAN_SwapTables555(tables);
        SpanContext ctx = arena.Context(is555);
        ctx.halfMask = tables.halfMask;
        ctx.depth = nullptr;
        Rng r(is555 ? 5 : 4);
        const int width = 1100, stride = width + 16;
        for (int round = 0; round < 300; ++round) {
            std::vector<uint16_t> frame(size_t(stride) * 5);
            for (uint16_t& p : frame) p = uint16_t(r.Bits());
            std::vector<uint16_t> expected = frame;
            int lineIndex = 1 + int(r.Below(3));
            uint16_t* line = frame.data() + size_t(stride) * size_t(lineIndex) + 8;
            // The records: the sentinel, then pieces in any order and
            // overlapping, with empty and backward ones among them.
            std::vector<SpanRecord> records{{1, 0, -1, nullptr}};
            std::vector<SpanNode> nodes(40);
            int pieces = 1 + int(r.Below(30));
            int stopAt = r.Below(4) == 0 ? 1 + int(r.Below(uint32_t(pieces))) : -1;
            for (int i = 0; i < pieces; ++i) {
                int32_t count = 1 + int32_t(r.Below(60));
                int32_t start = int32_t(r.Below(uint32_t(width - count)));
                int32_t mode = kSpanModeMin + int32_t(r.Below(kSpanModes));
                if (mode == -1) mode = 1;
                if (r.Below(8) == 0) count = -int32_t(r.Below(3));
                if (i == stopAt) mode = -1;
                Kind k = spanmodel::KindOf(mode, true, is555);
                nodes[size_t(i)] = MakeNode(r, k, arena, start, std::max(count, 1));
                records.push_back({start + count, start, mode, &nodes[size_t(i)]});
            }
            for (size_t i = records.size() - 1; i > 0; --i) {
                const SpanRecord& rec = records[i];
                int32_t count = rec.end - rec.start;
                if (count <= 0) continue;
                if (rec.mode == -1) break;
                Kind k = spanmodel::KindOf(rec.mode, true, is555);
                size_t at = size_t(line - frame.data()) + size_t(rec.start);
                spanmodel::Draw(k, ctx, reinterpret_cast<uint8_t*>(expected.data() + at),
                                reinterpret_cast<uintptr_t>(frame.data() + at), count, rec.start, *rec.node);
            }
            SPAN_DrawSpanList(ctx, tables.walker, reinterpret_cast<uint8_t*>(line), &records.back());
            ASSERT_EQ(frame, expected) << "round " << round << (is555 ? " 555" : " 565");
        }
    }
}

TEST(SpanWalker, SentinelAloneDrawsNothing) {
    SpanTables tables = SPAN_LoadTables();
    SpanContext ctx;
    std::vector<uint16_t> line(16, 0x1111);
    SpanRecord only{1, 0, -1, nullptr};
    SPAN_DrawSpanList(ctx, tables.walker, reinterpret_cast<uint8_t*>(line.data()), &only);
    for (uint16_t p : line) EXPECT_EQ(p, 0x1111);
}

}  // namespace
}  // namespace test
