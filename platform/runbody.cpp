// The run body until the game world exists: the 640 x 480 x 16 mode and its
// pages, then frames paced at 1/70 s ticks (pumping messages), each showing
// a test pattern, until Escape is pressed or the window closes (which ends
// the process from the window procedure).
#include "platform/runbody.h"

#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/timer.h"
#include "platform/settings.h"
#include "platform/winmain.h"
#include "render/d3d_display.h"

#include <cstring>

namespace {

uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) {
    const ScreenStateRecord& s = ScreenState;
    auto ch = [](uint32_t v, int size, int shift) { return size ? (v >> (8 - size)) << shift : 0u; };
    return ch(r, s.redSize, s.redShift) | ch(g, s.greenSize, s.greenShift) | ch(b, s.blueSize, s.blueShift);
}

}  // namespace

// Eight colour bars over the top three quarters, a grey ramp below, and a
// white square that moves one pixel a frame.
void DrawTestPattern(uint8_t* frame, uint32_t frameNumber) {
    const ScreenStateRecord& s = ScreenState;
    if (!frame || s.bytesPerPixel != 2) return;
    static const uint8_t kBars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                        {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    for (uint32_t y = 0; y < s.height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(frame + size_t(y) * s.pitch);
        for (uint32_t x = 0; x < s.width; ++x) {
            uint32_t c;
            if (y < s.height * 3 / 4) {
                const uint8_t* bar = kBars[x * 8 / s.width];
                c = Pack(bar[0], bar[1], bar[2]);
            } else {
                uint32_t v = x * 255 / (s.width - 1);
                c = Pack(v, v, v);
            }
            row[x] = static_cast<uint16_t>(c);
        }
    }
    uint32_t left = frameNumber % (s.width - 32), top = s.height * 3 / 4 - 40;
    for (uint32_t y = top; y < top + 32; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(frame + size_t(y) * s.pitch);
        for (uint32_t x = left; x < left + 32; ++x) row[x] = static_cast<uint16_t>(Pack(255, 255, 255));
    }
}

void RunGame() {
    ProgramDisplay.StartDisplay(DisplayOptions & 1, DisplayDeviceIndex);
    VideoDriver* d = CurrentVideoDriver;
    int mode = d->FindMode(640, 480, 16);
    ScreenState.modeNumber = static_cast<uint16_t>(mode);
    if (!mode) FatalError("No 640x480x16bit ! Abort.");
    ScreenState.flags |= kScreenBackInVideo | kScreenWaitVbl;
    d->SetModeNumber(mode);
    ProgramDisplay.InstallDriverHooks();
    d->CreateBuffers(1);
    FrameTimer timer;
    FrameTimerInit(&timer, 70);
    timer.Minimum = 2;
    for (uint32_t frame = 0;; ++frame) {
        FrameTimerTick(&timer);  // pumps messages while it waits
        if (CurrentKeyboard) {
            CurrentKeyboard->Update();
            if (CurrentKeyboard->KeyHit(1)) break;  // Escape
        }
        DrawTestPattern(d->Lock(d), frame);
        d->Unlock(d);
        PresentHook();
    }
}
