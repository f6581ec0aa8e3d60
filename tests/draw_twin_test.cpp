// The blit and primitive sets against their plain twins on random
// pictures, sizes, offsets, clip boxes, pitches and drawing globals, pixel
// for pixel over the whole frame memory (row padding included).
#include "draw_support.h"

#include <random>
#include <vector>

namespace {

using test::DrawTest;
using test::Layout;

constexpr Layout kLayouts[] = {Layout::k8,         Layout::k565,       Layout::k555,         Layout::k888,
                               Layout::k888Mmx, Layout::k888Packed, Layout::k888PackedMmx};

class DrawTwinTest : public DrawTest {
protected:
    std::mt19937 rng_{12345};

    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    uint32_t Word() { return uint32_t(rng_()); }

    // A pixel value that often hits the values the rules test for.
    uint32_t Special(int bytes) {
        uint32_t mask = bytes == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
        switch (Uniform(0, 7)) {
        case 0: return g_TransparentColour & mask;
        case 1: return ScreenWhite & mask;
        case 2: return g_DrawColour & mask;
        case 3: return 0;
        default: return Word() & mask;
        }
    }

    // A new screen of random size and padding, random contents, a random
    // clip box inside it (now and then an inverted one), random globals.
    void RandomScreen(Layout layout) {
        Screen(layout, Uniform(1, 80), Uniform(1, 40), Uniform(0, 5));
        for (uint8_t& b : memory_) b = uint8_t(Word());
        int w = int(ScreenState.width), h = int(ScreenState.height);
        int l = Uniform(0, w - 1), r = Uniform(l, w - 1), t = Uniform(0, h - 1), b = Uniform(t, h - 1);
        if (Uniform(0, 30) == 0) std::swap(l, r);
        Clip(l, t, r, b);
        g_DrawColour = Uniform(0, 1) ? Word() : Word() & 0xFFFF;
        switch (Uniform(0, 3)) {
        case 0: g_TransparentColour = Word(); break;
        case 1: g_TransparentColour = ScreenWhite; break;
        default: g_TransparentColour = 0;
        }
        g_BlendLevel = Uniform(0, 9) == 0 ? uint32_t(Uniform(256, 70000)) : uint32_t(Uniform(0, 255));
        if (layout == Layout::k565 || layout == Layout::k555) {
            int hook = Uniform(0, 3);
            if (hook == 0) g_AddHook = [](uint32_t a, uint32_t b) { return (a * 3) ^ b; };
            else if (hook == 1) g_AddHook = layout == Layout::k565 ? AddSaturate555 : AddSaturate565;
        }
    }

    // Random 8-bit blend rows (kept by the fixture).
    std::vector<uint8_t*> RandomRows() {
        cells_.resize(65536);
        for (uint8_t& c : cells_) c = uint8_t(Word());
        std::vector<uint8_t*> rows(256);
        for (int i = 0; i < 256; ++i) rows[size_t(i)] = cells_.data() + i * 256;
        return rows;
    }
    std::vector<uint8_t> cells_;

    TestPicture RandomPicture(int width, int height, int bytes) {
        std::vector<uint32_t> values(size_t(width) * size_t(height));
        for (uint32_t& v : values) v = Special(bytes);
        TestPicture p = MakePicture(width, height, bytes, values);
        return p;
    }

    // Runs `fast` and `twin` on copies of the same frame and compares.
    template <typename Fast, typename Twin>
    void Compare(Fast fast, Twin twin, const char* what, int round) {
        std::vector<uint8_t> start = memory_;
        fast();
        std::vector<uint8_t> got = memory_;
        memory_ = start;
        ScreenState.frameBuffer = memory_.data();
        ScreenState.secondPage = memory_.data();
        twin();
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], memory_[i]) << what << " round " << round << ": byte " << i << " of row "
                                          << i / ScreenState.pitch;
    }
};

TEST_F(DrawTwinTest, UnscaledBlitsMatchTheirTwins) {
    std::vector<uint8_t*> rows = RandomRows();
    for (Layout layout : kLayouts) {
        for (int slot = 1; slot <= 7; ++slot) {
            for (int round = 0; round < 400; ++round) {
                RandomScreen(layout);
                g_BlendRows = Uniform(0, 15) == 0 ? nullptr : rows.data();
                auto p = RandomPicture(Uniform(0, 72), Uniform(0, 40), Bytes());
                int x = Uniform(-45, 55), y = Uniform(-45, 50);
                ASSERT_NO_FATAL_FAILURE(Compare([&] { ActiveBlitTable.modes[slot](x, y, p.get()); },
                                                [&] { ReferenceBlit(test::SetOf(layout), slot, x, y, p.get()); },
                                                "unscaled slot", slot * 1000 + round));
            }
        }
    }
}

TEST_F(DrawTwinTest, ScaledBlitsMatchTheirTwins) {
    std::vector<uint8_t*> rows = RandomRows();
    std::vector<uint32_t> palette(256);
    for (Layout layout : kLayouts) {
        for (int slot = 8; slot <= 13; ++slot) {
            for (int round = 0; round < 400; ++round) {
                RandomScreen(layout);
                g_BlendRows = rows.data();
                for (uint32_t& e : palette) e = Special(4);
                const bool indexed = slot != 8 && layout != Layout::k8;
                auto p = RandomPicture(Uniform(1, 30), Uniform(1, 30), indexed ? 1 : Bytes());
                p.picture.extra = palette.data();
                int x, y, w, h;
                if (slot == 8) {
                    // The unclipped slot must stay on the screen.
                    w = Uniform(0, int(ScreenState.width));
                    h = Uniform(0, int(ScreenState.height));
                    x = Uniform(0, int(ScreenState.width) - w);
                    y = Uniform(0, int(ScreenState.height) - h);
                } else {
                    w = Uniform(-3, 90);
                    h = Uniform(-3, 90);
                    x = Uniform(-60, 55);
                    y = Uniform(-60, 50);
                }
                ASSERT_NO_FATAL_FAILURE(
                    Compare([&] { ActiveBlitTable.scaled[slot - 8](p.get(), x, y, w, h); },
                            [&] { ReferenceScaledBlit(test::SetOf(layout), slot, p.get(), x, y, w, h); },
                            "scaled slot", slot * 1000 + round));
            }
        }
    }
}

TEST_F(DrawTwinTest, PrimitivesMatchTheirTwins) {
    std::vector<uint8_t> remap(256);
    for (Layout layout : kLayouts) {
        const DrawSet set = test::SetOf(layout);
        for (int round = 0; round < 300; ++round) {
            RandomScreen(layout);
            int w = int(ScreenState.width), h = int(ScreenState.height);
            int x1 = Uniform(0, w - 1), x2 = Uniform(0, w - 1), y1 = Uniform(0, h - 1), y2 = Uniform(0, h - 1);
            uint32_t colour = Word();
            ASSERT_NO_FATAL_FAILURE(Compare([&] { ActivePrimTable.FillRect(x1, y1, x2, y2, colour); },
                                            [&] { ReferenceFillRect(set, x1, y1, x2, y2, colour); }, "fill", round));
            ASSERT_NO_FATAL_FAILURE(Compare([&] { ActivePrimTable.FrameRect(x1, y1, x2, y2, colour); },
                                            [&] { ReferenceFrameRect(set, x1, y1, x2, y2, colour); }, "frame", round));
            ASSERT_NO_FATAL_FAILURE(Compare([&] { ActivePrimTable.StippleRect(x1, y1, x2, y2, colour); },
                                            [&] { ReferenceStippleRect(set, x1, y1, x2, y2, colour); }, "stipple",
                                            round));
            for (uint8_t& v : remap) v = uint8_t(Word());
            ASSERT_NO_FATAL_FAILURE(Compare([&] { ActivePrimTable.TintRect(x1, y1, x2, y2, remap.data()); },
                                            [&] { ReferenceTintRect(set, x1, y1, x2, y2, remap.data()); }, "tint",
                                            round));
            // Spans that stay on the row or column, either way.
            int length = Uniform(-x1, w - 1 - x1 + 1);
            ASSERT_NO_FATAL_FAILURE(Compare([&] { ActivePrimTable.HSpan(x1, y1, length, colour); },
                                            [&] { ReferenceHSpan(set, x1, y1, length, colour); }, "hspan", round));
            int down = Uniform(-y1, h - 1 - y1);
            ASSERT_NO_FATAL_FAILURE(Compare([&] { ActivePrimTable.VSpan(x1, y1, down, colour); },
                                            [&] { ReferenceVSpan(set, x1, y1, down, colour); }, "vspan", round));
            auto p = RandomPicture(Uniform(1, w + 4), Uniform(1, h + 4), Bytes());
            int shift = Uniform(-1, 12);
            ASSERT_NO_FATAL_FAILURE(Compare([&] { ActivePrimTable.Mosaic(p.get(), shift); },
                                            [&] { ReferenceMosaic(set, p.get(), shift); }, "mosaic", round));
        }
    }
}

}  // namespace
