// Full-screen transitions: a screen-sized picture brought in or taken out
// to black, one presented frame per step.  Palette steps show the
// brightness level / total at 8 bits per pixel; at other depths they only
// take their steps.
#include "platform/display/blit.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/palette.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/toolkit.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstdint>

namespace {

uint8_t* Lock() {
    VideoDriver* d = CurrentVideoDriver;
    return d ? d->Lock(d) : nullptr;
}

void Unlock() {
    if (VideoDriver* d = CurrentVideoDriver) d->Unlock(d);
}

// One step: lock, draw (nothing when the page cannot be locked), unlock,
// present.
template <typename Draw>
void Step(Draw draw) {
    if (Lock()) draw();
    Unlock();
    PresentHook();
}

bool BackInVideo() {
    return ScreenState.flags & kScreenBackInVideo;
}

void Opaque(const Picture* picture, int32_t x, int32_t y) {
    if (ActiveBlitTable.modes[2]) ActiveBlitTable.modes[2](x, y, picture);
}

void Clear() {
    if (ActivePrimTable.ClearScreen) ActivePrimTable.ClearScreen();
}

// The palette at level / total brightness.  With the back page in display
// memory the vertical-blank wait is switched off around the change.
void PaletteLevel(int level, int total) {
    bool toggle = BackInVideo();
    if (toggle) ScreenState.flags ^= kScreenWaitVbl;
    FadePalette(ScreenState.palette, level, level, total, 0);
    if (toggle) ScreenState.flags ^= kScreenWaitVbl;
}

// The last step: the picture drawn whole (direction 0) or the screen
// cleared (direction 1), twice when two pages flip.
void Final(const Picture* picture, int direction) {
    for (int i = 0, steps = BackInVideo() ? 2 : 1; i < steps; ++i)
        Step([&] {
            if (direction == 0) Opaque(picture, 0, 0);
            else Clear();
        });
}

// 17 steps of blit slot 7 with the blend level rising (in) or falling (out).
void CrossFade(const Picture* picture, int direction) {
    uint32_t saved = g_BlendLevel;
    for (int t = 0; t <= 256; t += 16) {
        g_BlendLevel = uint32_t(std::min(255, direction == 0 ? t : 256 - t));
        Step([&] {
            if (ActiveBlitTable.modes[7]) ActiveBlitTable.modes[7](0, 0, picture);
        });
    }
    g_BlendLevel = saved;
}

void Fade(const Picture* picture, int direction) {
    if (ScreenState.bytesPerPixel == 4) {
        CrossFade(picture, direction);
        return;
    }
    if (direction == 0) {
        Final(picture, 0);
        Unlock();
        FadePalette(ScreenState.palette, 0, 16, 16, 0);
        FadePalette(ScreenState.palette, 32, 32, 32, 0);
    } else {
        Unlock();
        FadePalette(ScreenState.palette, 16, 0, 16, 0);
        FadePalette(ScreenState.palette, 0, 0, 32, 0);
    }
    Lock();
}

// A black band; corners given top-left first.  A band with no rows or
// columns is left out and one that reaches past the clip box is cut to it,
// so no fill leaves the screen.
void ClearBand(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const ScreenStateRecord& s = ScreenState;
    x1 = std::max(x1, s.clipLeft);
    y1 = std::max(y1, s.clipTop);
    x2 = std::min(x2, s.clipRight);
    y2 = std::min(y2, s.clipBottom);
    if (x1 > x2 || y1 > y2 || !ActivePrimTable.FillRect) return;
    ActivePrimTable.FillRect(x1, y1, x2, y2, 0);
}

// The zoomed picture at (x, y), w x h.  The unclipped scaled copy (slot 8)
// draws it while it lies inside the clip box; a picture larger than the
// screen reaches past the box near full size, and then the clipped form
// (slot 9, the same rule in the 8-bit set that the zoom runs in) draws the
// part inside it, under the box made exclusive for the call so that its
// last column and row are drawn too.
void ZoomBlit(const Picture* picture, int32_t x, int32_t y, int32_t w, int32_t h) {
    ScreenStateRecord& s = ScreenState;
    if (x >= s.clipLeft && y >= s.clipTop && int64_t(x) + w - 1 <= s.clipRight && int64_t(y) + h - 1 <= s.clipBottom) {
        if (ActiveBlitTable.scaled[0]) ActiveBlitTable.scaled[0](picture, x, y, w, h);
        return;
    }
    if (!ActiveBlitTable.scaled[1]) return;
    const int32_t right = s.clipRight, bottom = s.clipBottom;
    s.clipRight = right < INT32_MAX ? right + 1 : right;
    s.clipBottom = bottom < INT32_MAX ? bottom + 1 : bottom;
    ActiveBlitTable.scaled[1](picture, x, y, w, h);
    s.clipRight = right;
    s.clipBottom = bottom;
}

// The picture grows from the centre (in) or shrinks into it (out).
void Zoom(const Picture* picture, int direction) {
    const ScreenStateRecord& s = ScreenState;
    for (int i = 0; i <= 16; ++i) {
        int level = direction == 0 ? i : 16 - i;
        PaletteLevel(level, 16);
        int32_t w = picture->width * level / 16, h = picture->height * level / 16;
        int32_t x0 = (s.clipRight - w) / 2, y0 = (s.clipBottom - h) / 2;
        Step([&] {
            if (direction != 0) {
                ClearBand(0, 0, s.clipRight, y0);
                ClearBand(0, y0 + h, s.clipRight, s.clipBottom);
                ClearBand(0, y0, x0, y0 + h);
                ClearBand(x0 + w, y0, s.clipRight, y0 + h);
            }
            ZoomBlit(picture, x0, y0, w, h);
        });
    }
}

// The picture rises from the bottom (in) or sinks (out) in 9 steps; modes 0
// and 1 fade and clear, modes 2 and 3 keep the palette and show saved page
// 0 around the picture.
void Slide(const Picture* picture, int mode) {
    const ScreenStateRecord& s = ScreenState;
    const int direction = mode & 1;
    const bool fade = !(mode & 2);
    for (int i = 0; i <= 8; ++i) {
        if (fade) PaletteLevel(direction == 0 ? i : 8 - i, 8);
        Step([&] {
            int32_t y;
            if (direction == 0) {
                y = s.clipBottom * (8 - i) / 8;
                if (fade) Clear();
                else RestoreSavedPage(0);
            } else {
                y = s.clipBottom * i / 8;
                if (fade) ClearBand(0, 0, s.clipRight, y);
                else RestoreSavedPage(0);
            }
            Opaque(picture, 0, y);
        });
    }
}

// A page turning: the left part drawn straight up to column a, the next b
// columns mirrored, a growing (in) or shrinking (out).
void PageTurn(const Picture* picture, int mode) {
    ScreenStateRecord& s = ScreenState;
    const int direction = mode & 1;
    const bool fade = !(mode & 2);
    if (direction == 0 && fade) {
        if (Lock()) {
            if (BackInVideo()) {
                if (ActivePrimTable.ClearPages) ActivePrimTable.ClearPages();
            } else {
                Clear();
            }
        }
        Unlock();
    }
    for (int i = 0; i <= 16; ++i) {
        int level = direction == 0 ? i : 16 - i;
        if (fade) PaletteLevel(level, 16);
        Step([&] {
            if (direction != 0) Clear();
            int32_t a = s.clipRight * level / 16, b = (16 - level) * s.clipRight / 32;
            int32_t left = s.clipLeft, right = s.clipRight;
            s.clipLeft = 0;
            s.clipRight = a;
            Opaque(picture, 0, 0);
            s.clipLeft = a;
            s.clipRight = a + b;
            if (ActiveBlitTable.modes[3]) ActiveBlitTable.modes[3](a, 0, picture);
            s.clipLeft = left;
            s.clipRight = right;
        });
    }
}

// Blocks of 2^(10 - s) pixels for s = 0..10 (in) or 10..0 (out); s = 10
// is the picture itself.
void Mosaic(const Picture* picture, int direction) {
    for (int i = 0; i <= 10; ++i) {
        int level = direction == 0 ? i : 10 - i;
        PaletteLevel(level, 10);
        Step([&] {
            if (level == 10) Opaque(picture, 0, 0);
            else if (ActivePrimTable.Mosaic) ActivePrimTable.Mosaic(picture, 10 - level);
        });
    }
}

}  // namespace

void ScreenTransition(const Picture* picture, int32_t kind, int32_t mode) {
    if (!picture) return;
    const int direction = mode & 1;
    if (ScreenState.bytesPerPixel == 1 && kind >= 2) {
        if (kind == 2) Zoom(picture, direction);
        else if (kind == 3) Slide(picture, mode);
        else if (kind == 4) PageTurn(picture, mode);
        else Mosaic(picture, direction);
    } else {
        Fade(picture, direction);
    }
    Final(picture, direction);
}

void TransitionFromScreen(int32_t mode, int32_t kind) {
    const ScreenStateRecord& s = ScreenState;
    if (s.bytesPerPixel == 1 || s.bytesPerPixel == 4) {
        Picture picture{int32_t(s.width), int32_t(s.height), nullptr, nullptr};
        picture.pixels = static_cast<uint8_t*>(MemAlloc(s.width * s.height * s.bytesPerPixel));
        if (picture.pixels) {
            Lock();
            GrabScreenRect(0, 0, &picture);
            Unlock();
            ScreenTransition(&picture, kind, mode);
            MemFree(picture.pixels);
        }
    } else {
        Unlock();
        if (mode == 0) {
            FadePalette(ScreenState.palette, 0, 32, 32, 0);
            FadePalette(ScreenState.palette, 32, 32, 32, 0);
        } else if (mode == 1) {
            FadePalette(ScreenState.palette, 32, 0, 32, 0);
            FadePalette(ScreenState.palette, 0, 0, 32, 0);
        }
        Lock();
    }
    if (mode != 0) Final(nullptr, 1);
}
