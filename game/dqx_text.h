// Menu text: every text of the menu pages, the HUD, the subtitles and the
// debug pages goes through DrawString, which draws with a bitmap font, or,
// when the engine's system id is 2, through GDI text at the font's glyph
// height + 3.  Around it: caption lines, centred texts, text widths, the
// text colour, the line routines of the credits and briefing pages, the
// full-screen text pages and the map page's world-to-map conversion.
#pragma once

#include <cstdint>

struct SpriteSet;
struct Vec3;

// The engine system id that selects the GDI text path.
constexpr uint8_t kGdiTextSystemId = 2;
// The menu text slot holding the GDI face name.
constexpr int kGdiFaceText = 135;
// The full-screen text pages are menu texts 150 + n.
constexpr int kTextPageFirstText = 150;
constexpr uint32_t kTextPageMs = 2000;

// The one buffer text operations format into before drawing.
constexpr int kTextBufferBytes = 256;
extern char TextBuffer[kTextBufferBytes];
// Set by the subtitle ticker while it draws: on the GDI path a text partly
// outside the clip rectangle is then drawn all the same.
extern uint8_t TextClipBypass;
// The height of the previous GDI text (0 before the first): a new GDI font
// is asked for only when the height changes.
extern int32_t GdiTextHeight;
// The GDI text routine of the GDI path: DrawGdiText (tests put a recorder
// in its place).
using GdiTextRoutine = int (*)(const char* text, int x, int y, const uint8_t* colour, int height, const char* face,
                               uint8_t flags);
extern GdiTextRoutine GdiText;

// An 8-bit colour packed with the screen's channel sizes and shifts: each
// level shifted right by 8 - size, then left by the shift.
uint32_t PackTextColour(uint8_t red, uint8_t green, uint8_t blue);
// The text colour (the keyed blit's replacement colour) from 8-bit levels.
void SetTextColour(uint8_t red, uint8_t green, uint8_t blue);

// The glyph size a font supplies: its first sprite's (0 without a font).
int32_t FontGlyphWidth(const SpriteSet* font);
int32_t FontGlyphHeight(const SpriteSet* font);

// Draws a zero-terminated text with its top-left corner at (x, y) in the
// text colour.  On the GDI path a text whose first glyph box is not wholly
// inside the clip rectangle is not drawn at all (unless TextClipBypass),
// and a locked frame is unlocked around the GDI call and locked again.
// Nothing without a text or a font.
void DrawString(const char* text, int x, int y, const SpriteSet* font);
// Width in pixels of the text as DrawString would draw it.
int32_t TextWidth(const char* text, const SpriteSet* font);
// Caption line n near the bottom: grey 180, CaptionFont, x 320,
// y = clip bottom - 16 n - 16.
void DrawPageTitle(const char* text, int line);
// With ListFont: the text centred in the clip rectangle (32 pixels left of
// the middle), a shadow in colour 0 one pixel down and right, then the text
// in (red, green, blue).  Nothing for a null or empty text.
void DrawCentredText(const char* text, int y, uint8_t red, uint8_t green, uint8_t blue);
// A full-screen page of menu text 150 + n: the subtitle stopped, the
// screen cleared, the text centred at half the clip bottom less 16 in grey
// 180, the frame presented, then 2000 ms of waiting.
void ShowTextPage(int n);
// The text copied into TextBuffer (cut to 255 characters) with every line
// feed and '|' replaced by a blank; answers TextBuffer.
const char* CleanText(const char* text);

// The line routines of the credits and briefing pages.
// At the credits cursor in the roman font; the cursor then moves 16 down.
void CreditsLine(const char* text);
// Line n of the briefing at x 10, y 16 n + 16 (8 for n = 0), in
// (180 - 3n, 180 - 3n, 179 - 3n); ListFont for n = 0, else roman.
void BriefingLine(const char* text, int n);
// Line n of the briefing's side column at x 308, y 16 n + 56, roman.
void BriefingSideLine(const char* text, int n);
// Line n of the scrolling credits, centred at credits y + 20 (n + 1) in grey
// 80 - n / 2 (a '#' line in (120, 120, 128) without its '#'); while the
// credits state is below 20 the clip left is 308 and the clip top 64.
void CreditsCentredLine(const char* text, int n);

// The map-picture position of a world position: with the map picture's W x
// H, the map zoom z (16.16) and the current level's bounds L, T, R, B,
//   x' = (W z / 65536) (L - x / 5) / (R - L)
//   y' = (int16)(H z / 65536) (T - z / 5) / (B - T),
// every division truncating toward zero.  Answers 1, or 0 with (0, 0) when
// there is no map picture or level, or a level's bounds are equal.
int MapPoint(const Vec3& position, int32_t* outX, int32_t* outY);
