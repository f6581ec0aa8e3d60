// Menu text drawing: the two text paths of DrawString and the small text
// operations around it.
#include "game/dqx_text.h"

#include "engine3d/dqx_math.h"
#include "game/characters.h"
#include "game/dqx_briefing.h"
#include "game/dqx_map.h"
#include "game/dqx_subtitles.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "platform/display/blit.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/palette.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/settings.h"
#include "platform/timer.h"

#include <algorithm>
#include <climits>
#include <cstring>

char TextBuffer[kTextBufferBytes] = "";
uint8_t TextClipBypass = 0;
int32_t GdiTextHeight = 0;
GdiTextRoutine GdiText = DrawGdiText;

namespace {

// GDI text is one glyph box taller and wider than the bitmap glyph.
constexpr int kGdiGlyphMargin = 3;
// Above this height GDI text is bold.
constexpr int kGdiBoldAbove = 16;
constexpr int kCaptionX = 320;
constexpr uint8_t kCaptionGrey = 180;
constexpr int kCentreShift = 32;
constexpr int kCreditsLineStep = 16;
constexpr int kCreditsClipState = 20;
constexpr int kCreditsClipLeft = 308, kCreditsClipTop = 64;
constexpr int32_t kZoomOne = 65536;  // 1.0 in 16.16
// Mission units are a fifth of world units.
constexpr int32_t kWorldPerMapUnit = 5;

bool GdiPath() {
    return EngineConfig.SystemId == kGdiTextSystemId;
}

uint8_t Level(int value) {
    return uint8_t(std::clamp(value, 0, 255));
}

// GDI draws on the surface, which cannot be locked for pixels at the same
// time: a locked frame is unlocked for the call and locked again, so the
// caller goes on drawing into a locked frame.
template <class Call>
int WithFrameUnlocked(Call call) {
    VideoDriver* driver = CurrentVideoDriver;
    const bool locked = driver && (ScreenState.flags2 & kScreen2Locked);
    if (locked) driver->Unlock(driver);
    const int result = call();
    if (locked) driver->Lock(driver);
    return result;
}

// The GDI font flags for a text of height h: bold above 16, a new font
// when the height differs from the previous GDI text's.
uint8_t GdiFlags(int h) {
    uint8_t flags = h > kGdiBoldAbove ? kGdiBold : 0;
    if (h != GdiTextHeight) flags |= kGdiNewFont;
    GdiTextHeight = h;
    return flags;
}

// Whether a text's first glyph box at (x, y) of w x h lies inside the clip
// rectangle; a clip top or left of 0 or less takes any y or x.
bool GlyphBoxInside(int x, int y, int w, int h) {
    const ScreenStateRecord& s = ScreenState;
    if (int64_t(y) + h > s.clipBottom) return false;
    if (int64_t(x) + w > s.clipRight) return false;
    if (s.clipTop > 0 && y < s.clipTop) return false;
    if (s.clipLeft > 0 && x < s.clipLeft) return false;
    return true;
}

const char* GdiFace() {
    return MenuTexts[kGdiFaceText];
}

// Wide enough for any product of a scale and a difference of bounds.
int32_t Saturate(__int128 v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

}  // namespace

uint32_t PackTextColour(uint8_t red, uint8_t green, uint8_t blue) {
    const ScreenStateRecord& s = ScreenState;
    auto channel = [](uint8_t level, int size, int shift) {
        return size > 0 && size <= 8 ? uint32_t(level >> (8 - size)) << shift : 0u;
    };
    return channel(red, s.redSize, s.redShift) | channel(green, s.greenSize, s.greenShift) |
           channel(blue, s.blueSize, s.blueShift);
}

void SetTextColour(uint8_t red, uint8_t green, uint8_t blue) {
    g_DrawColour = PackTextColour(red, green, blue);
}

int32_t FontGlyphWidth(const SpriteSet* font) {
    return font && font->count > 0 && font->sprites ? font->sprites[0].width : 0;
}

int32_t FontGlyphHeight(const SpriteSet* font) {
    return font && font->count > 0 && font->sprites ? font->sprites[0].height : 0;
}

void DrawString(const char* text, int x, int y, const SpriteSet* font) {
    if (!text || !FontGlyphHeight(font)) return;
    if (!GdiPath()) {
        if (GlyphBlit) FontDrawText(text, font, x, y, GlyphBlit);
        return;
    }
    const int h = FontGlyphHeight(font) + kGdiGlyphMargin;
    const int w = FontGlyphWidth(font) + kGdiGlyphMargin;
    if (!TextClipBypass && !GlyphBoxInside(x, y, w, h)) return;
    uint8_t rgb[3];
    ConvertPixelRow(g_DrawColour, rgb);
    const uint8_t flags = GdiFlags(h);
    WithFrameUnlocked([&] { return GdiText(text, x, y, rgb, h, GdiFace(), flags); });
}

int32_t TextWidth(const char* text, const SpriteSet* font) {
    if (!text || !FontGlyphHeight(font)) return 0;
    if (!GdiPath()) return FontTextWidth(text, font);
    const int h = FontGlyphHeight(font) + kGdiGlyphMargin;
    uint8_t rgb[3];
    ConvertPixelRow(g_DrawColour, rgb);
    const uint8_t flags = GdiFlags(h) | kGdiMeasure;
    return WithFrameUnlocked([&] { return GdiText(text, 0, 0, rgb, h, GdiFace(), flags); });
}

void DrawPageTitle(const char* text, int line) {
    SetTextColour(kCaptionGrey, kCaptionGrey, kCaptionGrey);
    DrawString(text, kCaptionX, ScreenState.clipBottom - (16 * line + 16), CaptionFont);
}

void DrawCentredText(const char* text, int y, uint8_t red, uint8_t green, uint8_t blue) {
    if (!text || !*text) return;
    const ScreenStateRecord& s = ScreenState;
    const int clipWidth = s.clipRight - s.clipLeft + 1;
    const int x = s.clipLeft + (clipWidth - TextWidth(text, ListFont)) / 2 - kCentreShift;
    g_DrawColour = 0;
    DrawString(text, x + 1, y + 1, ListFont);
    SetTextColour(red, green, blue);
    DrawString(text, x, y, ListFont);
}

void ShowTextPage(int n) {
    RecordGameCall("ShowTextPage", nullptr, n);
    const int slot = kTextPageFirstText + n;
    const char* text = n >= 0 && slot < kMenuTextSlots ? MenuTexts[slot] : "";
    StopSubtitle();
    VideoDriver* driver = CurrentVideoDriver;
    if (driver && driver->Lock(driver)) {
        if (ActivePrimTable.ClearScreen) ActivePrimTable.ClearScreen();
        DrawCentredText(text, ScreenState.clipBottom / 2 - 16, kCaptionGrey, kCaptionGrey, kCaptionGrey);
        driver->Unlock(driver);
    }
    if (PresentHook) PresentHook();
    WaitMs(kTextPageMs);
}

const char* CleanText(const char* text) {
    size_t n = 0;
    for (const char* p = text ? text : ""; *p && n + 1 < sizeof TextBuffer; ++p)
        TextBuffer[n++] = (*p == '\n' || *p == '|') ? ' ' : *p;
    TextBuffer[n] = 0;
    return TextBuffer;
}

void CreditsLine(const char* text) {
    DrawString(text, CreditsX, CreditsY, RomanFont);
    CreditsY += kCreditsLineStep;
}

void BriefingLine(const char* text, int n) {
    SetTextColour(Level(180 - 3 * n), Level(180 - 3 * n), Level(179 - 3 * n));
    DrawString(text, 10, n == 0 ? 8 : 16 * n + 16, n > 0 ? RomanFont : ListFont);
}

void BriefingSideLine(const char* text, int n) {
    SetTextColour(Level(180 - 3 * n), Level(180 - 3 * n), Level(179 - 3 * n));
    DrawString(text, 308, 16 * n + 56, RomanFont);
}

void CreditsCentredLine(const char* text, int n) {
    if (!text) return;
    ScreenStateRecord& s = ScreenState;
    const int32_t savedLeft = s.clipLeft, savedTop = s.clipTop;
    if (CreditsState < kCreditsClipState) {
        s.clipLeft = kCreditsClipLeft;
        s.clipTop = kCreditsClipTop;
    }
    const int y = CreditsY + 20 * (n + 1);
    if (text[0] == '#') {
        DrawCentredText(text + 1, y, 120, 120, 128);
    } else {
        const uint8_t grey = Level(80 - n / 2);
        DrawCentredText(text, y, grey, grey, grey);
    }
    s.clipLeft = savedLeft;
    s.clipTop = savedTop;
}

int MapPoint(const Vec3& position, int32_t* outX, int32_t* outY) {
    int32_t x = 0, y = 0;
    const MapLevelRecord* level = CurrentMapLevelPtr;
    const Picture* map = MapPicture;
    // Equal bounds would divide by zero: such a level has no map.
    const bool usable = level && map && level->x1 != level->x0 && level->z1 != level->z0;
    if (usable) {
        const int64_t zoom = GameState.mapZoom;
        const int64_t scaleX = int64_t(map->width) * zoom / kZoomOne;
        const int64_t scaleY = int16_t(int64_t(map->height) * zoom / kZoomOne);
        x = Saturate(__int128(scaleX) * (int64_t(level->x0) - position.x / kWorldPerMapUnit) /
                     (int64_t(level->x1) - level->x0));
        y = Saturate(__int128(scaleY) * (int64_t(level->z0) - position.z / kWorldPerMapUnit) /
                     (int64_t(level->z1) - level->z0));
    }
    if (outX) *outX = x;
    if (outY) *outY = y;
    return usable ? 1 : 0;
}
