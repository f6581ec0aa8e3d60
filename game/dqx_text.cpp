// Menu text through the GDI text path.  The bitmap fonts of the menus are
// not drawn yet: texts take the system's font at one height.
#include "game/dqx_text.h"

#include "game/characters.h"
#include "game/player_settings.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/screen.h"
#include "platform/timer.h"

namespace {

constexpr int kTextHeight = 16;
const char* const kTextFace = "Arial";

}  // namespace

// GDI text cannot draw on a locked surface: a locked frame is unlocked for
// the text and locked again after it, so the caller goes on drawing into a
// locked frame.
void DrawCentredText(const char* text, int y, uint8_t red, uint8_t green, uint8_t blue) {
    if (!text) return;
    VideoDriver* driver = CurrentVideoDriver;
    const bool locked = driver && (ScreenState.flags2 & kScreen2Locked);
    if (locked) driver->Unlock(driver);
    const uint8_t colour[3] = {red, green, blue};
    int width = DrawGdiText(text, 0, 0, colour, kTextHeight, kTextFace, kGdiMeasure);
    DrawGdiText(text, (int(ScreenState.width) - width) / 2, y, colour, kTextHeight, kTextFace, 0);
    if (locked) driver->Lock(driver);
}

void ShowTextPage(int n) {
    RecordGameCall("ShowTextPage", nullptr, n);
    const char* text = n >= 0 && 150 + n < kMenuTextSlots ? MenuTexts[150 + n] : "";
    VideoDriver* driver = CurrentVideoDriver;
    if (driver && driver->Lock(driver)) {
        if (ActivePrimTable.ClearScreen) ActivePrimTable.ClearScreen();
        driver->Unlock(driver);
    }
    DrawCentredText(text, ScreenState.clipBottom / 2 - 16, 180, 180, 180);
    if (PresentHook) PresentHook();
    WaitMs(2000);
}
