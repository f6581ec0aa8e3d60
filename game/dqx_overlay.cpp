// The overlay: nothing is drawn over the 3D view yet; the status line keeps
// its text (drawn once the overlay draws).
#include "game/dqx_overlay.h"

#include "game/characters.h"

#include <cstdio>

char StatusText[64] = "";

void DrawOverlay(int32_t flags) {
    RecordGameCall("DrawOverlay", nullptr, flags);
}

void ShowStatusMessage(const char* text) {
    std::snprintf(StatusText, sizeof StatusText, "%s", text ? text : "");
    RecordGameCall("ShowStatusMessage");
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
