// The span insertion on lines built by hand in the pool: every span a
// solid colour of its own, so that the drawn line is the owner map.  Spans
// of constant depth against a per-pixel nearest-depth reference; spans
// whose depths cross against the rasterizer's plain emitter (keys at least
// 100 apart wherever either decides); ties, drops, spans open at the left
// edge, fronts of several nodes, and the pixel address carried from piece
// to piece.
#include "sr_support.h"

#include "render/spans/span_backend.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace test {
namespace {

constexpr uint16_t kBackground = 0x0F0F;

// One span: its nodes' 16.16 x (the first is the start), the x past its
// last pixel, depth at the start and per pixel, and one colour per node.
struct HandSpan {
    std::vector<int32_t> nodeX;
    int32_t endX;
    float key;
    float slope;
    std::vector<uint16_t> colours;
    int32_t mode = 1;
    float KeyAt(double x16) const {
        return float(double(key) + double(slope) * (x16 - double(nodeX[0])) / 65536.0);
    }
};

class SpanInsertTest : public SoftRasterTest {
protected:
    void SetUp() override {
        SoftRasterTest::SetUp();
        UseTarget(Target{320, 4, kLeft, 0, kRight - kLeft, 4}, Pixels::Rgb565);
        GlobalFillWord = uint32_t(kBackground) * 0x10001u;
        arena_ = MemLib;
    }
    static constexpr int kLeft = 20, kRight = 300;

    // Lays the spans into the pool, in order of start x between the left
    // and right sentinels, as the frame sweep leaves a line.
    void Build(std::vector<HandSpan> spans) {
        Set_FrameArena(arena_);
        std::stable_sort(spans.begin(), spans.end(),
                         [](const HandSpan& a, const HandSpan& b) { return a.nodeX[0] < b.nodeX[0]; });
        SpanLine* left = SpanLeftSentinel;
        SpanLine* right = SpanRightSentinel;
        SpanLine* background = SpanBackgroundLine;
        SR_ResetActiveList();
        left->link = OffsetIn(background);
        right->link = 0;
        background->link = 0;
        left->current = left->first;
        right->current = right->first;
        background->current = background->first;
        SpanLine* prev = left;
        bool pastRight = false;
        for (const HandSpan& s : spans) {
            // Spans that start past the right sentinel sort after it.
            if (!pastRight && s.nodeX[0] > right->xStart) {
                pastRight = true;
                prev = right;
            }
            uint32_t at = Alloc_FrameArena(sizeof(SpanLine));
            std::vector<uint32_t> nodes;
            for (size_t i = 0; i <= s.nodeX.size(); ++i) {
                uint32_t n = Alloc_FrameArena(sizeof(SpanNode));
                std::memset(PoolPtr(n), 0, sizeof(SpanNode));
                SpanNode* node = NodeAt(n);
                node->x = i < s.nodeX.size() ? s.nodeX[i] : s.endX;
                node->key = s.KeyAt(node->x);
                node->keySlope = s.slope;
                node->colour = s.colours[std::min(i, s.colours.size() - 1)];
                if (!nodes.empty()) NodeAt(nodes.back())->nextNode = n;
                nodes.push_back(n);
            }
            *LineAt(at) = SpanLine{s.mode, prev->next, OffsetIn(prev), s.nodeX[0], s.endX, nodes[0], nodes[0], 0, 0.0f};
            LineAt(prev->next)->prev = at;
            prev->next = at;
            prev = LineAt(at);
        }
    }
    std::vector<uint16_t> Insert(const std::vector<HandSpan>& spans) {
        Build(spans);
        std::vector<uint16_t> line(320, 0xDEAD);
        SPAN_InsertLine(line.data());
        return line;
    }
    std::vector<uint16_t> Emit(const std::vector<HandSpan>& spans) {
        Build(spans);
        std::vector<uint16_t> line(320, 0xDEAD);
        SR_EmitSpans(line.data());
        return line;
    }
    // Columns outside the view are never touched.
    static void ExpectBorders(const std::vector<uint16_t>& line) {
        for (int x = 0; x < 320; ++x)
            if (x < kLeft || x >= kRight) {
                EXPECT_EQ(line[size_t(x)], 0xDEAD) << x;
            }
    }
    uint32_t arena_ = 0;
};

std::string Describe(const std::vector<HandSpan>& spans, const std::vector<uint16_t>& a,
                     const std::vector<uint16_t>& b) {
    std::string out;
    for (size_t x = 0; x < a.size(); ++x)
        if (a[x] != b[x]) {
            out += "first difference at column " + std::to_string(x) + ": " + std::to_string(a[x]) + " and " +
                   std::to_string(b[x]) + "\n";
            break;
        }
    for (const HandSpan& s : spans) {
        out += "span";
        for (int32_t x : s.nodeX) out.append(" ").append(std::to_string(x / 65536.0));
        out += " to " + std::to_string(s.endX / 65536.0) + " key " + std::to_string(s.key) + " slope " +
               std::to_string(s.slope) + " colour " + std::to_string(s.colours[0]) + "\n";
    }
    return out;
}

HandSpan Flat(int32_t x0, int32_t x1, float key, uint16_t colour) {
    return HandSpan{{x0 << 16}, x1 << 16, key, 0.0f, {colour}};
}

// The nearest span at every column, the background where there is none.
// A span that starts inside a column does not take that column from the
// span showing there before it when that span's section ends at the next
// column: the section ends less than a pixel after the start and is
// closed first.  (Node and end positions are whole columns here.)
std::vector<uint16_t> Nearest(std::vector<HandSpan> spans, int left, int right) {
    std::stable_sort(spans.begin(), spans.end(),
                     [](const HandSpan& a, const HandSpan& b) { return a.nodeX[0] < b.nodeX[0]; });
    auto covers = [](const HandSpan& s, int x) { return x >= (s.nodeX[0] >> 16) && x < (s.endX >> 16); };
    auto keeps = [](const HandSpan& s, int x) {
        const int32_t next = (x + 1) << 16;
        return s.endX == next || std::find(s.nodeX.begin() + 1, s.nodeX.end(), next) != s.nodeX.end();
    };
    std::vector<uint16_t> line(320, 0xDEAD);
    for (int x = left; x < right; ++x) {
        // The nearest of the spans that start before each one, as the
        // walk meets them in order of start.
        std::vector<bool> shut(spans.size(), false);
        const HandSpan* shown = nullptr;
        for (size_t i = 0; i < spans.size(); ++i) {
            const HandSpan& s = spans[i];
            if (!covers(s, x)) continue;
            if ((s.nodeX[0] >> 16) == x && (s.nodeX[0] & 0xFFFF) && shown && keeps(*shown, x)) shut[i] = true;
            if (!shown || s.key > shown->key) shown = &s;
        }
        float best = -1.0f;
        uint16_t c = kBackground;
        for (size_t i = 0; i < spans.size(); ++i) {
            const HandSpan& s = spans[i];
            if (shut[i] || !covers(s, x) || s.key <= best) continue;
            best = s.key;
            size_t node = 0;
            while (node + 1 < s.nodeX.size() && (s.nodeX[node + 1] >> 16) <= x) ++node;
            c = s.colours[std::min(node, s.colours.size() - 1)];
        }
        line[size_t(x)] = c;
    }
    return line;
}

TEST_F(SpanInsertTest, ConstantDepthSpansMatchTheNearestAtEveryPixel) {
    std::mt19937 rng(16);
    for (int round = 0; round < 3000; ++round) {
        int count = int(rng() % 17);
        std::vector<HandSpan> spans;
        std::vector<float> keys;
        for (int i = 0; i < count; ++i) {
            int32_t x0 = int32_t(rng() % 330) - 5, x1 = x0 + 1 + int32_t(rng() % 200);
            // Distinct keys: no ties at all.
            float key;
            do key = float(1 + rng() % 5000);
            while (std::find(keys.begin(), keys.end(), key) != keys.end());
            keys.push_back(key);
            HandSpan s{{int32_t(uint32_t(x0) << 16) | int32_t(rng() & 0xFFFF)}, x1 << 16, key, 0.0f, {uint16_t(100 + i)}};
            // Now and then a span of several nodes, a colour per node.
            int extra = rng() % 4 == 0 ? int(rng() % 4) : 0;
            for (int k = 1; k <= extra; ++k) {
                int32_t nx = x0 + int32_t(rng() % uint32_t(x1 - x0));
                if (nx > (s.nodeX.back() >> 16)) {
                    s.nodeX.push_back(nx << 16);
                    s.colours.push_back(uint16_t(1000 + 10 * i + k));
                }
            }
            spans.push_back(s);
        }
        std::vector<uint16_t> got = Insert(spans), want = Nearest(spans, kLeft, kRight);
        ASSERT_TRUE(got == want) << "round " << round << "\n" << Describe(spans, got, want);
    }
}

TEST_F(SpanInsertTest, CrossingSpansMatchThePlainEmitter) {
    std::mt19937 rng(17);
    int compared = 0, crossing = 0;
    for (int round = 0; compared < 2000; ++round) {
        int count = 1 + int(rng() % 10);
        const bool fractions = round % 2 == 1;
        std::vector<HandSpan> spans;
        for (int i = 0; i < count; ++i) {
            int32_t x0 = int32_t(rng() % 330) - 5, x1 = x0 + 1 + int32_t(rng() % 220);
            float key = float(200 + rng() % 20000);
            float slope = float(int32_t(rng() % 401) - 200) / 4.0f;
            // Every other line has positions between columns, where a
            // section may end less than a pixel after a span starts.
            auto at = [&](int32_t column) {
                return int32_t(uint32_t(column) << 16) | (fractions ? int32_t(rng() & 0xFFFF) : 0);
            };
            HandSpan s{{at(x0)}, at(x1), key, slope, {uint16_t(100 + i)}};
            if (rng() % 3 == 0 && x1 - x0 > 2) {
                s.nodeX.push_back(at(x0 + 1 + int32_t(rng() % uint32_t(x1 - x0 - 1))));
                s.colours.push_back(uint16_t(200 + i));
            }
            if (s.KeyAt(x1 << 16) > 1.0f) spans.push_back(s);
        }
        // Keys at least 100 apart wherever either of two spans that cover
        // the same x is compared: every start, end and node of the line.
        std::vector<int32_t> events{kLeft << 16};
        for (const HandSpan& s : spans) {
            events.insert(events.end(), s.nodeX.begin(), s.nodeX.end());
            events.push_back(s.endX);
        }
        bool apart = true;
        for (int32_t x : events)
            for (size_t a = 0; a < spans.size() && apart; ++a)
                for (size_t b = a + 1; b < spans.size() && apart; ++b) {
                    auto covers = [x](const HandSpan& s) { return s.nodeX[0] <= x && x <= s.endX; };
                    if (covers(spans[a]) && covers(spans[b]) &&
                        std::fabs(spans[a].KeyAt(x) - spans[b].KeyAt(x)) < 100.0f)
                        apart = false;
                }
        if (!apart) continue;
        ++compared;
        // Count the lines where two spans change order inside their overlap.
        bool cross = false;
        for (size_t a = 0; a < spans.size(); ++a)
            for (size_t b = a + 1; b < spans.size(); ++b) {
                int32_t lo = std::max(spans[a].nodeX[0], spans[b].nodeX[0]);
                int32_t hi = std::min(spans[a].endX, spans[b].endX);
                if (lo < hi && (spans[a].KeyAt(lo) > spans[b].KeyAt(lo)) != (spans[a].KeyAt(hi) > spans[b].KeyAt(hi)))
                    cross = true;
            }
        crossing += cross;
        std::vector<uint16_t> emitted = Emit(spans);
        std::vector<uint16_t> inserted = Insert(spans);
        ExpectBorders(inserted);
        ASSERT_TRUE(inserted == emitted) << "round " << round << "\n" << Describe(spans, inserted, emitted);
    }
    EXPECT_GT(crossing, 200);
}

TEST_F(SpanInsertTest, TiesDropsAndTheLeftEdge) {
    // Two spans starting at one column with equal depth: the later in the
    // list takes the front.
    std::vector<uint16_t> line = Insert({Flat(50, 90, 700.0f, 1), Flat(50, 80, 700.0f, 2)});
    EXPECT_EQ(line[50], 2);
    EXPECT_EQ(line[79], 2);
    EXPECT_EQ(line[80], 1);
    EXPECT_EQ(line[89], 1);
    EXPECT_EQ(line[90], kBackground);
    // A span that starts behind the front and ends first is never drawn,
    // however steeply it rises.
    HandSpan steep{{60 << 16}, 100 << 16, 100.0f, 1000.0f, {3}};
    line = Insert({Flat(40, 120, 500.0f, 1), steep});
    for (int x = 40; x < 120; ++x) EXPECT_EQ(line[size_t(x)], 1) << x;
    // Crossing spans are not split at the crossing: the one behind at its
    // start shows only once the front has ended.
    HandSpan rising{{60 << 16}, 160 << 16, 100.0f, 20.0f, {4}};
    line = Insert({Flat(40, 120, 500.0f, 1), rising});
    EXPECT_EQ(line[119], 1);
    EXPECT_EQ(line[120], 4);
    EXPECT_EQ(line[159], 4);
    // A span open before the first visible column and nearer than the
    // background there is drawn from that column.
    line = Insert({Flat(0, 30, 10.0f, 5)});
    EXPECT_EQ(line[size_t(kLeft)], 5);
    EXPECT_EQ(line[29], 5);
    EXPECT_EQ(line[30], kBackground);
    ExpectBorders(line);
    // Behind a front open at the left edge, a span whose depth there is
    // below zero ranks as the farthest, not by its sign bit as the nearest.
    line = Insert({Flat(0, 100, 500.0f, 1), Flat(0, 200, -5.0f, 2), Flat(0, 200, 100.0f, 3)});
    EXPECT_EQ(line[99], 1);
    EXPECT_EQ(line[100], 3);
    EXPECT_EQ(line[199], 3);
    // No spans: the background from the first visible column to the right
    // sentinel.
    line = Insert({});
    for (int x = kLeft; x < kRight; ++x) EXPECT_EQ(line[size_t(x)], kBackground);
    ExpectBorders(line);
    // A span that reaches past the right sentinel stops at it.
    line = Insert({Flat(250, 400, 10.0f, 6)});
    EXPECT_EQ(line[kRight - 1], 6);
    ExpectBorders(line);
}

// The routines are handed each piece with its node and its start column,
// and the address they leave is where the next piece begins.
TEST_F(SpanInsertTest, PiecesFollowOneAnotherWithTheirNodes) {
    struct Call {
        int32_t start, count;
        uint16_t colour;
        ptrdiff_t offset;
    };
    static std::vector<Call> calls;
    static uint8_t* lineStart;
    calls.clear();
    SpanTables tables = SPAN_LoadTables();
    tables.insertion[1] = [](SpanContext&, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
        calls.push_back({start, count, n.colour, px - lineStart});
        px += 2 * count;
    };
    tables.insertion[14] = tables.insertion[1];
    HandSpan front{{60 << 16, 70 << 16, 90 << 16}, 100 << 16, 900.0f, 0.0f, {7, 8, 9}};
    Build({Flat(30, 200, 50.0f, 1), front});
    std::vector<uint16_t> line(320);
    lineStart = reinterpret_cast<uint8_t*>(line.data());
    SpanContext ctx = SPAN_ProgramContext();
    SPAN_InsertSpans(ctx, tables.insertion, SpanLeftSentinel, SpanRightSentinel, SpanBackgroundLine, lineStart);
    const std::vector<std::array<int32_t, 3>> want{{kLeft, 10, -1}, {30, 30, 1}, {60, 10, 7}, {70, 20, 8},
                                                   {90, 10, 9},         {100, 100, 1}, {200, 100, -1}};
    ASSERT_EQ(calls.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(calls[i].start, want[i][0]) << i;
        EXPECT_EQ(calls[i].count, want[i][1]) << i;
        if (want[i][2] >= 0) {
            EXPECT_EQ(calls[i].colour, want[i][2]) << i;
        }
        EXPECT_EQ(calls[i].offset, 2 * calls[i].start) << i;
    }
}

}  // namespace
}  // namespace test
