// The overlay: of what it draws over the 3D view only the menu pages are
// drawn yet, with the blink bit and the highlight level they read; the
// status line keeps its text (drawn once the overlay draws), and the
// energy-change notice its sum and deadline.
#include "game/dqx_overlay.h"

#include "game/characters.h"
#include "game/dqx_menu.h"
#include "game/game_state.h"
#include "platform/step_log.h"
#include "platform/timer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

char StatusText[64] = "";

void DrawOverlay(int32_t flags) {
    RecordGameCall("DrawOverlay", nullptr, flags);
    // The menu's blink bit and highlight level move every frame, open or
    // not.
    MenuBlink ^= 1;
    MenuPulse = uint8_t(MenuPulse - 4 * GameTimer.DoubleDelta);
    if (GameState.menuSlide != 0) RunMenuPages();
}

void ShowStatusMessage(const char* text) {
    std::snprintf(StatusText, sizeof StatusText, "%s", text ? text : "");
    RecordGameCall("ShowStatusMessage");
    // The run trace shows what the player is told.
    LogStep((std::string("Status ") + StatusText).c_str());
}

void OpenOverlayFonts() {
    RecordGameCall("OpenOverlayFonts");
}

void OpenOverlayCounters() {
    RecordGameCall("OpenOverlayCounters");
}

void CloseOverlayFonts() {
    RecordGameCall("CloseOverlayFonts");
}

void CloseOverlayCounters() {
    RecordGameCall("CloseOverlayCounters");
}

int32_t EnergyChangeSum = 0;
uint32_t EnergyChangeUntil = 0;

void ShowEnergyChange(int32_t amount) {
    const int64_t sum = int64_t(EnergyChangeSum) + amount;
    EnergyChangeSum = int32_t(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
    EnergyChangeUntil = GetTimeMs() + 3000;
}
