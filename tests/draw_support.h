// A screen in plain memory for the 2D drawing tests: ScreenState set up for
// a depth and channel layout with the drawing tables selected, the drawing
// globals saved and restored around each test.
#pragma once

#include "platform/display/blit.h"
#include "platform/display/ddraw.h"
#include "platform/display/draw_reference.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace test {

// k888Packed: the 8-8-8 layout in three bytes per pixel (a 24-bit mode).
enum class Layout { k8, k565, k555, k888, k888Mmx, k888Packed, k888PackedMmx };

inline DrawSet SetOf(Layout layout) {
    switch (layout) {
    case Layout::k8: return DrawSet::k8;
    case Layout::k565:
    case Layout::k555: return DrawSet::k16;
    case Layout::k888: return DrawSet::k32;
    case Layout::k888Mmx: return DrawSet::k32Mmx;
    case Layout::k888Packed: return DrawSet::k24;
    case Layout::k888PackedMmx: return DrawSet::k24Mmx;
    }
    return DrawSet::k8;
}

class DrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        screen_ = ScreenState;
        config_ = EngineConfig;
        blits_ = ActiveBlitTable;
        prims_ = ActivePrimTable;
        glyph_ = GlyphBlit;
        driver_ = CurrentVideoDriver;
        present_ = PresentHook;
        g_DrawColour = 0;
        g_TransparentColour = 0;
        g_BlendLevel = 128;
        g_BlendRows = nullptr;
        g_AddHook = AddSaturate555;
    }
    void TearDown() override {
        ScreenState = screen_;
        EngineConfig = config_;
        ActiveBlitTable = blits_;
        ActivePrimTable = prims_;
        GlyphBlit = glyph_;
        CurrentVideoDriver = driver_;
        PresentHook = present_;
        g_DrawColour = 0;
        g_TransparentColour = 0;
        g_BlendLevel = 128;
        g_BlendRows = nullptr;
        g_AddHook = AddSaturate555;
    }

    // A width x height screen of the layout, rows padded by `padding`
    // pixels, filled with `fill` bytes, the tables of its depth selected.
    void Screen(Layout layout, int width, int height, int padding = 0, uint8_t fill = 0) {
        ScreenStateRecord& s = ScreenState;
        s = ScreenStateRecord{};
        const bool packed = layout == Layout::k888Packed || layout == Layout::k888PackedMmx;
        const bool mmx = layout == Layout::k888Mmx || layout == Layout::k888PackedMmx;
        int bits = layout == Layout::k8      ? 8
                   : layout == Layout::k555 ? 15
                   : layout == Layout::k565 ? 16
                   : packed                 ? 24
                                            : 32;
        SetScreenGeometry(width, height, bits);
        struct {
            int r, rs, g, gs, b, bs;
        } c = {0, 0, 0, 0, 0, 0};
        if (layout == Layout::k565) c = {5, 11, 6, 5, 5, 0};
        if (layout == Layout::k555) c = {5, 10, 5, 5, 5, 0};
        if (bits >= 24) c = {8, 16, 8, 8, 8, 0};
        s.redSize = uint8_t(c.r);
        s.redShift = uint8_t(c.rs);
        s.greenSize = uint8_t(c.g);
        s.greenShift = uint8_t(c.gs);
        s.blueSize = uint8_t(c.b);
        s.blueShift = uint8_t(c.bs);
        auto half = [](int size, int shift) { return size ? ((1u << size) - 2) << shift : 0u; };
        s.halvingMask = half(c.r, c.rs) | half(c.g, c.gs) | half(c.b, c.bs);
        s.pitch = uint32_t((width + padding) * s.bytesPerPixel);
        s.frameSize = s.pitch * uint32_t(height);
        if (mmx) EngineConfig.SystemConfig |= 8;
        else EngineConfig.SystemConfig &= ~8u;
        SelectDrawTables();
        memory_.assign(s.frameSize, fill);
        s.frameBuffer = memory_.data();
        s.secondPage = memory_.data();
        layout_ = layout;
    }
    int Bytes() const { return ScreenState.bytesPerPixel; }
    uint32_t Pixel(int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, memory_.data() + size_t(y) * ScreenState.pitch + size_t(x) * Bytes(), size_t(Bytes()));
        return v;
    }
    void SetPixel(int x, int y, uint32_t v) {
        std::memcpy(memory_.data() + size_t(y) * ScreenState.pitch + size_t(x) * Bytes(), &v, size_t(Bytes()));
    }
    void Clip(int left, int top, int right, int bottom) {
        ScreenState.clipLeft = left;
        ScreenState.clipTop = top;
        ScreenState.clipRight = right;
        ScreenState.clipBottom = bottom;
    }

    // A picture owning its pixels (bytes per pixel as given).
    struct TestPicture {
        Picture picture{};
        std::vector<uint8_t> pixels;
        std::vector<uint32_t> palette;
        const Picture* get() { return &picture; }
    };
    static TestPicture MakePicture(int width, int height, int bytes, const std::vector<uint32_t>& values) {
        TestPicture t;
        t.pixels.assign(size_t(width) * size_t(height) * size_t(bytes) + 1, 0);
        for (size_t i = 0; i < values.size() && i < size_t(width) * size_t(height); ++i)
            std::memcpy(t.pixels.data() + i * size_t(bytes), &values[i], size_t(bytes));
        t.picture = Picture{width, height, t.pixels.data(), nullptr};
        return t;
    }

    std::vector<uint8_t> memory_;
    Layout layout_ = Layout::k8;
    ScreenStateRecord screen_;
    EngineConfigRecord config_;
    BlitTable blits_;
    PrimTable prims_;
    BlitRoutine glyph_;
    VideoDriver* driver_;
    void (*present_)();
};

}  // namespace test
