// The game world and front end as far as the run body needs them: a frame
// loop that shows the demo scene or a test pattern.
#include "game/game_world.h"

#include "engine3d/dqx_view.h"
#include "game/dqx_load.h"
#include "media/sfx.h"
#include "media/sfx_music.h"
#include "media/snd_layer.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "render/d3d_display.h"

#include <cstring>
#include <vector>

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
    // The two kinds of row, made once and copied.
    std::vector<uint16_t> bars(s.width), ramp(s.width);
    for (uint32_t x = 0; x < s.width; ++x) {
        const uint8_t* bar = kBars[x * 8 / s.width];
        uint32_t v = x * 255 / (s.width - 1);
        bars[x] = static_cast<uint16_t>(Pack(bar[0], bar[1], bar[2]));
        ramp[x] = static_cast<uint16_t>(Pack(v, v, v));
    }
    for (uint32_t y = 0; y < s.height; ++y) {
        const std::vector<uint16_t>& source = y < s.height * 3 / 4 ? bars : ramp;
        std::memcpy(frame + size_t(y) * s.pitch, source.data(), size_t(s.width) * 2);
    }
    uint32_t left = frameNumber % (s.width - 32), top = s.height * 3 / 4 - 40;
    for (uint32_t y = top; y < top + 32; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(frame + size_t(y) * s.pitch);
        for (uint32_t x = left; x < left + 32; ++x) row[x] = static_cast<uint16_t>(Pack(255, 255, 255));
    }
}

int32_t RunStarted = 0;

// Frames of about three ticks of 1/70 s; Escape quits (closing the window
// ends the process from the window procedure).
void GameLoop() {
    RunTrace("GameLoop");
    FrameTimer timer;
    FrameTimerInit(&timer, 70);
    timer.Minimum = 2;
    VideoDriver* d = CurrentVideoDriver;
    ProgramDisplay.ApplyDisplayOptions();
    for (uint32_t frame = 0;; ++frame) {
        SFX_UpdateMusic();
        SFX_UpdateStreams();
        FrameTimerTick(&timer);
        SFX_Update();
        if (CurrentKeyboard) {
            CurrentKeyboard->Update();
            if (CurrentKeyboard->KeyHit(1)) break;
        }
        // The scene through the 3D layer or the software renderer, else
        // the pattern.
        if (!MissionPtr || g_SoftwareDisplay) {
            uint8_t* pixels = d->Lock(d);
            bool drawn = MissionPtr && pixels && ScreenState.bytesPerPixel == 2 &&
                         Draw_Scene(0, reinterpret_cast<uint16_t*>(pixels)) == 0;
            if (!drawn) DrawTestPattern(pixels, frame);
            d->Unlock(d);
        } else {
            // The 3D layer clears and draws its own back buffer.
            Draw_Scene(0, nullptr);
        }
        PresentHook();
    }
}

// The first mission opened from its records and started in its start room.
void BeginMission(int missionNumber) {
    RunTrace("BeginMission");
    FirstMission = 1;
    OpenMission(missionNumber, 0);
    StartMission(0);
}

void LeaveMission() {
    RunTrace("LeaveMission");
    if (MissionPtr) EndMission();
}

void WaitForVoiceEnd(int voice) {
    uint32_t start = GetTimeMs();
    while (SND_IsVoicePlaying(voice) && GetTimeMs() - start < 3000) {
        PumpMessages();
        SFX_UpdateStreams();
    }
}

void OpenFrontEnd() {
    RunTrace("OpenFrontEnd");
    if (CurrentJoystick && CurrentJoystick->Acquire()) {
        // The front end's key bindings go to the joystick record here.
    }
}

void CloseFrontEnd() {
    RunTrace("CloseFrontEnd");
    if (CurrentJoystick) CurrentJoystick->Unacquire();
}

void DrawDiskIcon() {}
