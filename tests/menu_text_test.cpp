// Menu text drawing: the GDI path's heights, bold, font reuse and clip
// rejection, the frame unlocked around GDI, the bitmap path, the caption
// lines, centred texts, the line routines of the credits and briefing,
// CleanText's bounds, the 2000 ms text page, MapPoint and the headless
// host's text log.
#include "menu_support.h"

#include "engine3d/dqx_math.h"
#include "game/dqx_briefing.h"
#include "game/dqx_map.h"
#include "game/mission_records.h"
#include "host/gdi.h"
#include "platform/step_log.h"
#include "platform/timer.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using test::GdiCall;

class MenuTextTest : public test::MenuTest {};

// A text's first glyph box is its font's glyph plus 3 each way; on the GDI
// path the text is drawn only when that box lies inside the clip rectangle
// (a clip top or left of 0 takes any y or x), unless the subtitle ticker's
// bypass is set.  Heights above 16 are bold.
TEST_F(MenuTextTest, GdiPathHeightBoldAndClipRejection) {
    struct Row {
        const char* name;
        int glyphW, glyphH;
        int x, y;
        int clipLeft, clipTop, clipRight, clipBottom;
        bool bypass;
        bool drawn;
        int height;
        bool bold;
    };
    const Row rows[] = {
        {"caption glyph 10: 13 high, regular", 4, 10, 100, 100, 0, 0, 639, 479, false, true, 13, false},
        {"glyph 13: 16 high, still regular", 4, 13, 100, 100, 0, 0, 639, 479, false, true, 16, false},
        {"glyph 14: 17 high, bold", 4, 14, 100, 100, 0, 0, 639, 479, false, true, 17, true},
        {"list glyph 15: 18 high, bold", 6, 15, 100, 100, 0, 0, 639, 479, false, true, 18, true},
        {"box ends on the clip bottom", 4, 10, 100, 466, 0, 0, 639, 479, false, true, 13, false},
        {"box one past the clip bottom", 4, 10, 100, 467, 0, 0, 639, 479, false, false, 13, false},
        {"box ends on the clip right", 4, 10, 632, 100, 0, 0, 639, 479, false, true, 13, false},
        {"box one past the clip right", 4, 10, 633, 100, 0, 0, 639, 479, false, false, 13, false},
        {"above a clip top of 48", 4, 10, 100, 47, 0, 48, 639, 479, false, false, 13, false},
        {"on a clip top of 48", 4, 10, 100, 48, 0, 48, 639, 479, false, true, 13, false},
        {"a clip top of 0 takes any y", 4, 10, 100, -20, 0, 0, 639, 479, false, true, 13, false},
        {"left of a clip left of 308", 4, 10, 307, 100, 308, 0, 639, 479, false, false, 13, false},
        {"a clip left of 0 takes any x", 4, 10, -30, 100, 0, 0, 639, 479, false, true, 13, false},
        {"the bypass draws past the edges", 4, 10, 700, 470, 0, 48, 639, 479, true, true, 13, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        calls_.clear();
        Clip(r.clipLeft, r.clipTop, r.clipRight, r.clipBottom);
        TextClipBypass = r.bypass ? 1 : 0;
        TestFont font;
        MakeFont(&font, r.glyphW, r.glyphH);
        DrawString("Text", r.x, r.y, &font.set);
        ASSERT_EQ(calls_.size(), r.drawn ? 1u : 0u);
        if (!r.drawn) continue;
        const GdiCall& c = calls_[0];
        EXPECT_EQ(c.text, "Text");
        EXPECT_EQ(c.x, r.x);
        EXPECT_EQ(c.y, r.y);
        EXPECT_EQ(c.height, r.height);
        EXPECT_EQ((c.flags & kGdiBold) != 0, r.bold);
        EXPECT_EQ(c.face, MenuTexts[kGdiFaceText]);  // the face is menu text 135
    }
}

// A new GDI font is asked for only when the height differs from the
// previous GDI text's; a measurement counts as a GDI text too.
TEST_F(MenuTextTest, NewGdiFontOnlyWhenTheHeightChanges) {
    struct Step {
        SpriteSet* font;
        bool measure;
        int height;
        bool newFont;
    };
    const Step steps[] = {
        {&caption_.set, false, 13, true},  // the first GDI text of the run
        {&caption_.set, false, 13, false},
        {&caption_.set, true, 13, false},
        {&list_.set, true, 18, true},
        {&list_.set, false, 18, false},
        {&roman_.set, false, 17, true},
        {&caption_.set, false, 13, true},
    };
    for (const Step& s : steps) {
        if (s.measure) TextWidth("abc", s.font);
        else DrawString("abc", 10, 100, s.font);
    }
    ASSERT_EQ(calls_.size(), std::size(steps));
    for (size_t i = 0; i < calls_.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls_[i].height, steps[i].height);
        EXPECT_EQ((calls_[i].flags & kGdiNewFont) != 0, steps[i].newFont);
        EXPECT_EQ((calls_[i].flags & kGdiMeasure) != 0, steps[i].measure);
    }
    EXPECT_EQ(TextWidth("abcd", &caption_.set), 40);  // the GDI measurement
}

// GDI cannot draw on the locked frame: a locked frame is unlocked for the
// call and locked again after it; an unlocked frame is left as it is.
TEST_F(MenuTextTest, LockedFrameIsUnlockedAroundGdiText) {
    for (bool locked : {true, false}) {
        SCOPED_TRACE(locked);
        calls_.clear();
        locks_ = unlocks_ = 0;
        if (locked) ScreenState.flags2 |= kScreen2Locked;
        else ScreenState.flags2 &= uint8_t(~kScreen2Locked);
        DrawString("Hello", 10, 100, ListFont);
        TextWidth("Hello", ListFont);
        ASSERT_EQ(calls_.size(), 2u);
        EXPECT_FALSE(calls_[0].frameLocked);
        EXPECT_FALSE(calls_[1].frameLocked);
        EXPECT_EQ(unlocks_, locked ? 2 : 0);
        EXPECT_EQ(locks_, locked ? 2 : 0);
        EXPECT_EQ((ScreenState.flags2 & kScreen2Locked) != 0, locked);
    }
}

// The text colour is one word in the screen's format; the GDI path hands
// GDI that word as red, green and blue again (the bits the format drops
// stay 0).
TEST_F(MenuTextTest, TextColourIsPackedByTheScreenChannels) {
    struct Row {
        test::Layout layout;
        uint8_t r, g, b;
        uint32_t word;
        uint8_t gdi[3];
    };
    const Row rows[] = {
        {test::Layout::k565, 180, 180, 180, (22u << 11) | (45u << 5) | 22u, {176, 180, 176}},
        {test::Layout::k555, 180, 180, 180, (22u << 10) | (22u << 5) | 22u, {176, 176, 176}},
        {test::Layout::k888, 120, 120, 128, 0x787880, {120, 120, 128}},
        {test::Layout::k565, 255, 0, 8, 0xF801, {248, 0, 8}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.layout));
        calls_.clear();
        Screen(r.layout, 640, 480);
        Clip(0, 0, 639, 479);
        SetTextColour(r.r, r.g, r.b);
        EXPECT_EQ(g_DrawColour, r.word);
        DrawString("x", 10, 100, ListFont);
        ASSERT_EQ(calls_.size(), 1u);
        EXPECT_EQ(std::vector<uint8_t>(calls_[0].rgb, calls_[0].rgb + 3), std::vector<uint8_t>(r.gdi, r.gdi + 3));
    }
}

// With another system id the bitmap font draws: its glyph pixels take the
// text colour, GDI is not asked, and the font routine clips instead of
// rejecting the text.
TEST_F(MenuTextTest, BitmapPathPaintsGlyphsInTheTextColour) {
    EngineConfig.SystemId = 0;
    SetTextColour(255, 0, 0);
    DrawString("AB", 636, 100, &caption_.set);
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(Pixel(636, 100), 0xF800u);  // the first glyph; the second falls past the clip right
    EXPECT_EQ(Pixel(639, 109), 0xF800u);
    EXPECT_EQ(Pixel(635, 100), 0u);
    EXPECT_EQ(TextWidth("AB", &caption_.set), 2 * (4 + 1));  // glyphs and spacing
}

// DrawPageTitle: caption line n in grey 180 with the caption font at x 320,
// y = clip bottom - 16 n - 16.
TEST_F(MenuTextTest, CaptionLinesStandAboveTheClipBottom) {
    struct Row {
        int line, clipBottom, y;
    };
    for (const Row& r : {Row{0, 479, 463}, Row{1, 479, 447}, Row{2, 479, 431}, Row{1, 399, 367}}) {
        SCOPED_TRACE(r.line);
        calls_.clear();
        Clip(0, 0, 639, r.clipBottom);
        DrawPageTitle("Caption", r.line);
        ASSERT_EQ(calls_.size(), 1u);
        EXPECT_EQ(calls_[0].x, 320);
        EXPECT_EQ(calls_[0].y, r.y);
        EXPECT_EQ(calls_[0].height, 13);
        EXPECT_EQ(calls_[0].rgb[0], 176);  // grey 180 in 5-6-5
        EXPECT_EQ(calls_[0].rgb[1], 180);
    }
}

// DrawCentredText: x = clip left + (clip width - text width) / 2 - 32; the
// shadow first, one pixel down and right in colour 0, then the text.
TEST_F(MenuTextTest, CentredTextWithItsShadow) {
    struct Row {
        const char* text;
        int clipLeft, clipRight;
        int x;  // the text's; measured as 10 pixels a character
    };
    const Row rows[] = {
        {"Leave?", 0, 639, (640 - 60) / 2 - 32},
        {"Leave?", 308, 639, 308 + (332 - 60) / 2 - 32},
        {"", 0, 639, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.clipLeft);
        calls_.clear();
        Clip(r.clipLeft, 0, r.clipRight, 479);
        DrawCentredText(r.text, 200, 180, 180, 180);
        std::vector<GdiCall> drawn = Drawn();
        if (!*r.text) {
            EXPECT_TRUE(calls_.empty());  // an empty text: nothing at all
            continue;
        }
        ASSERT_EQ(drawn.size(), 2u);
        EXPECT_EQ(drawn[0].x, r.x + 1);
        EXPECT_EQ(drawn[0].y, 201);
        EXPECT_EQ(drawn[0].rgb[0] | drawn[0].rgb[1] | drawn[0].rgb[2], 0);
        EXPECT_EQ(drawn[1].x, r.x);
        EXPECT_EQ(drawn[1].y, 200);
        EXPECT_EQ(drawn[1].rgb[1], 180);
        EXPECT_EQ(drawn[1].height, 18);  // the list font
    }
    DrawCentredText(nullptr, 200, 1, 2, 3);
    EXPECT_TRUE(Drawn().empty());
}

// The line routines of the briefing and credits pages.
TEST_F(MenuTextTest, BriefingAndCreditsLines) {
    struct Row {
        const char* name;
        void (*draw)();
        int x, y, height;
        uint8_t rgb[3];  // as GDI gets them from 5-6-5
    };
    const Row rows[] = {
        {"briefing line 0: list font at y 8", [] { BriefingLine("B", 0); }, 10, 8, 18, {176, 180, 176}},
        {"briefing line 2: roman at y 48", [] { BriefingLine("B", 2); }, 10, 48, 17, {168, 172, 168}},
        {"side line 1: roman at x 308, y 72", [] { BriefingSideLine("B", 1); }, 308, 72, 17, {176, 176, 176}},
        {"credits line at the cursor", [] { CreditsLine("B"); }, 40, 300, 17, {0, 0, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        calls_.clear();
        g_DrawColour = 0;
        CreditsX = 40, CreditsY = 300;
        r.draw();
        ASSERT_EQ(calls_.size(), 1u);
        EXPECT_EQ(calls_[0].x, r.x);
        EXPECT_EQ(calls_[0].y, r.y);
        EXPECT_EQ(calls_[0].height, r.height);
        EXPECT_EQ(std::vector<uint8_t>(calls_[0].rgb, calls_[0].rgb + 3), std::vector<uint8_t>(r.rgb, r.rgb + 3));
    }
    // The credits cursor moves 16 down a line.
    CreditsY = 100;
    CreditsLine("one");
    CreditsLine("two");
    EXPECT_EQ(CreditsY, 132);
}

// A scrolling credits line: centred at credits y + 20 (n + 1); a '#' line
// loses its '#' and takes (120, 120, 128); below credits state 20 the clip
// left is 308 and the clip top 64 for the call only.
TEST_F(MenuTextTest, CreditsCentredLines) {
    struct Row {
        const char* text;
        int n;
        int32_t state;
        std::string shown;
        int x, y;
        uint8_t green;
    };
    const Row rows[] = {
        {"Story", 4, 12, "Story", 308 + (332 - 50) / 2 - 32, 200, 76},
        {"#Team", 0, 12, "Team", 308 + (332 - 40) / 2 - 32, 120, 120},
        {"Story", 4, 22, "Story", (640 - 50) / 2 - 32, 200, 76},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        calls_.clear();
        CreditsState = r.state;
        CreditsY = 100;
        CreditsCentredLine(r.text, r.n);
        const GdiCall* c = Find(r.shown);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->x, r.x);
        EXPECT_EQ(c->y, r.y);
        EXPECT_EQ(c->rgb[1], r.green);  // grey 80 - n / 2 = 78 is 76 in six green bits
        EXPECT_EQ(ScreenState.clipLeft, 0);
        EXPECT_EQ(ScreenState.clipTop, 0);
    }
    CreditsState = 0;
}

// CleanText copies into the shared 256-byte buffer, line feeds and '|'
// made blanks, cut to 255 characters and a NUL.
TEST_F(MenuTextTest, CleanTextIsBoundedByTheSharedBuffer) {
    struct Row {
        std::string in, out;
    };
    const Row rows[] = {
        {"one\ntwo|three", "one two three"},
        {"|\n|", "   "},
        {std::string(300, 'x'), std::string(255, 'x')},
        {std::string(255, 'y'), std::string(255, 'y')},
        {"", ""},
    };
    for (const Row& r : rows) {
        std::memset(TextBuffer, '#', sizeof TextBuffer);
        const char* out = CleanText(r.in.c_str());
        EXPECT_EQ(out, TextBuffer);
        EXPECT_EQ(std::string(out), r.out);
    }
    EXPECT_STREQ(CleanText(nullptr), "");
}

// ShowTextPage: the subtitle stopped, the screen cleared and menu text
// 150 + n centred at half the clip bottom less 16 in grey 180 in a locked
// frame, the frame presented, then 2000 ms on the clock.
TEST_F(MenuTextTest, TextPageShowsForTwoSeconds) {
    static int presented = 0;
    presented = 0;
    PresentHook = [] { ++presented; };
    ActivePrimTable.ClearScreen = ClearFrameBuffer;
    struct Row {
        int n;
        std::string text;
    };
    for (const Row& r : {Row{0, MenuTexts[150]}, Row{3, MenuTexts[153]}, Row{-1, ""}, Row{106, ""}}) {
        SCOPED_TRACE(r.n);
        calls_.clear();
        g_StepLog.clear();
        presented = 0;
        ScreenState.flags2 &= uint8_t(~kScreen2Locked);
        std::fill(memory_.begin(), memory_.end(), 0x55);
        const uint32_t before = GetTimeMs();
        ShowTextPage(r.n);
        const uint32_t waited = GetTimeMs() - before;
        EXPECT_GE(waited, 2000u);
        EXPECT_LT(waited, 2100u);
        EXPECT_EQ(presented, 1);
        EXPECT_EQ(Pixel(5, 5), 0u);  // cleared
        EXPECT_NE(std::find(g_StepLog.begin(), g_StepLog.end(), "StopSubtitle"), g_StepLog.end());
        EXPECT_EQ(ScreenState.flags2 & kScreen2Locked, 0);
        const GdiCall* c = Find(r.text);
        if (r.text.empty()) {
            EXPECT_TRUE(Drawn().empty());
            continue;
        }
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->y, 479 / 2 - 16);
        EXPECT_EQ(c->rgb[1], 180);
    }
}

// MapPoint: x' = (W z / 65536) (L - x / 5) / (R - L) and y' = (int16)(H z /
// 65536) (T - z / 5) / (B - T), each division truncated toward zero; no
// map picture, no level or equal bounds answer 0 with (0, 0).
TEST_F(MenuTextTest, MapPointFormula) {
    struct Row {
        const char* name;
        int w, h;
        int32_t zoom;
        int32_t l, t, r, b;
        Vec3 at;
        int answer;
        int32_t x, y;
    };
    const Row rows[] = {
        {"zoom 1", 200, 100, 65536, 0, 0, 1000, 500, {2500, 0, 1000}, 1, -100, -40},
        // 200 x (-1) / 1000 = -0.2 and 100 x (-1) / 500 = -0.2: toward 0.
        {"truncated toward zero", 200, 100, 65536, 0, 0, 1000, 500, {7, 0, 9}, 1, 0, 0},
        // x / 5 truncates too: -9 / 5 = -1.
        {"negative positions", 200, 100, 65536, 0, 0, 1000, 500, {-9, 0, -5000}, 1, 0, 200},
        {"zoom 2", 200, 100, 131072, 100, 50, 600, 350, {1000, 0, 1000}, 1, -80, -100},
        // 1000 x 40 = 40000 is -25536 in 16 bits: (-25536 x 1) / 500 = -51.
        {"height factor kept to 16 bits", 200, 1000, 65536 * 40, 0, 0, 1000, 500, {0, 0, -5}, 1, 0, -51},
        {"equal x bounds refused", 200, 100, 65536, 300, 0, 300, 500, {2500, 0, 1000}, 0, 0, 0},
        {"equal z bounds refused", 200, 100, 65536, 0, 70, 1000, 70, {2500, 0, 1000}, 0, 0, 0},
    };
    Picture map{};
    MapLevelRecord level{};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        map.width = r.w, map.height = r.h;
        level.x0 = r.l, level.z0 = r.t, level.x1 = r.r, level.z1 = r.b;
        MapPicture = &map;
        CurrentMapLevelPtr = &level;
        GameState.mapZoom = r.zoom;
        int32_t x = 77, y = 77;
        EXPECT_EQ(MapPoint(r.at, &x, &y), r.answer);
        EXPECT_EQ(x, r.x);
        EXPECT_EQ(y, r.y);
    }
    int32_t x = 77, y = 77;
    MapPicture = nullptr;
    EXPECT_EQ(MapPoint(Vec3{5, 5, 5}, &x, &y), 0);
    EXPECT_EQ(x, 0);
    MapPicture = &map;
    CurrentMapLevelPtr = nullptr;
    EXPECT_EQ(MapPoint(Vec3{5, 5, 5}, &x, &y), 0);
    MapPicture = nullptr;
    GameState.mapZoom = 0;
}

// The headless host keeps every text drawn through its text call, with its
// place and colour, for tests and the run trace.
TEST_F(MenuTextTest, HeadlessHostLogsEveryTextDrawn) {
    std::vector<uint16_t> pixels(64 * 32);
    host::DC* dc = host::CreatePixelDC({reinterpret_cast<uint8_t*>(pixels.data()), 64, 32, 128, host::kFormat565,
                                        nullptr});
    ASSERT_NE(dc, nullptr);
    host::headless::ClearTextLog();
    host::SetTextColor(dc, 0x0000FF);
    host::TextOut(dc, 3, 4, "Main menu", 9);
    host::TextOut(dc, -50, 90, "outside", 7);  // logged though nothing lands
    host::Size size{};
    host::GetTextExtentPoint32(dc, "measured", 8, &size);  // not a drawing
    const auto& log = host::headless::TextLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text, "Main menu");
    EXPECT_EQ(log[0].x, 3);
    EXPECT_EQ(log[0].y, 4);
    EXPECT_EQ(log[0].colour, 0x0000FFu);
    EXPECT_EQ(log[1].text, "outside");
    host::headless::ClearTextLog();
    EXPECT_TRUE(host::headless::TextLog().empty());
    host::DeletePixelDC(dc);
}

}  // namespace
