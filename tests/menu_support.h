// The menu tests' screen: a 640 x 480 5-6-5 screen in memory behind a
// video driver that counts its locks, the headless host's virtual clock,
// the kit's English menu texts, fonts and pictures made in memory at known
// sizes, a keyboard whose keys the test presses, and a recorder in place of
// the GDI text routine (system id 2, the text path the game runs on).
#pragma once

#include "draw_support.h"
#include "game/characters.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "platform/display/sprites.h"
#include "platform/input.h"
#include "tools/kit/demo_settings.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace test {

// One call of the GDI text routine.
struct GdiCall {
    std::string text;
    int x, y;
    uint8_t rgb[3];
    int height;
    std::string face;
    uint8_t flags;
    bool frameLocked;  // the frame's lock flag at the call
};

class MenuTest : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        host::headless::Reset();
        ASSERT_TRUE(host::Start(host::BackendKind::Headless, nullptr));
        host::headless::Reset();
        Screen(Layout::k565, 640, 480);
        Clip(0, 0, 639, 479);
        EngineConfig.SystemId = kGdiTextSystemId;
        current_ = this;
        driver_ = VideoDriver{};
        driver_.Lock = Lock;
        driver_.Unlock = Unlock;
        CurrentVideoDriver = &driver_;
        ScreenState.flags2 |= kScreen2Locked;
        savedGdi_ = GdiText;
        GdiText = Record;
        GdiTextHeight = 0;
        TextClipBypass = 0;
        const std::vector<std::string> lines = kit::DemoMenuTexts();
        for (int i = 0; i < kMenuTextSlots; ++i)
            std::snprintf(MenuTexts[i], kMenuTextBytes, "%s", i < int(lines.size()) ? lines[size_t(i)].c_str() : "");
        // Glyph sizes: the caption font 10 high, the roman 14, the list
        // font 15 (GDI heights 13, 17 and 18).
        MakeFont(&caption_, 4, 10);
        MakeFont(&roman_, 6, 14);
        MakeFont(&list_, 6, 15);
        savedFonts_[0] = CaptionFont, savedFonts_[1] = RomanFont, savedFonts_[2] = ListFont;
        CaptionFont = &caption_.set;
        RomanFont = &roman_.set;
        ListFont = &list_.set;
        savedKeyboard_ = CurrentKeyboard;
        keys_ = KeyboardDriver{};
        keys_.KeyHit = KeyHit;
        keys_.Update = [] { return 1; };
        CurrentKeyboard = &keys_;
        g_GameCalls.clear();
        calls_.clear();
    }
    void TearDown() override {
        GdiText = savedGdi_;
        GdiTextHeight = 0;
        TextClipBypass = 0;
        CaptionFont = savedFonts_[0], RomanFont = savedFonts_[1], ListFont = savedFonts_[2];
        CurrentKeyboard = savedKeyboard_;
        current_ = nullptr;
        host::Stop();
        DrawTest::TearDown();
    }

    // A font of `count` glyphs, each a w x h white square (ScreenWhite:
    // the keyed blit paints the text colour there).
    struct TestFont {
        std::vector<uint16_t> pixels;
        std::vector<Picture> glyphs;
        SpriteSet set{};
    };
    static void MakeFont(TestFont* f, int w, int h) {
        f->pixels.assign(size_t(w * h), 0xFFFF);
        f->glyphs.assign(128, Picture{w, h, reinterpret_cast<uint8_t*>(f->pixels.data()), nullptr});
        f->set = SpriteSet{f->glyphs.data(), int16_t(f->glyphs.size()), 1, 0, kFontMapB, 0};
    }

    // The GDI recorder measures every character as 10 pixels.
    static int Record(const char* text, int x, int y, const uint8_t* colour, int height, const char* face,
                      uint8_t flags) {
        GdiCall c{text, x, y, {colour[0], colour[1], colour[2]}, height, face ? face : "", flags,
                  (ScreenState.flags2 & kScreen2Locked) != 0};
        current_->calls_.push_back(c);
        return (flags & kGdiMeasure) ? int(std::strlen(text)) * 10 : 0;
    }
    // The texts drawn (not measured), in order.
    std::vector<GdiCall> Drawn() const {
        std::vector<GdiCall> out;
        for (const GdiCall& c : calls_)
            if (!(c.flags & kGdiMeasure)) out.push_back(c);
        return out;
    }
    std::vector<std::string> DrawnTexts() const {
        std::vector<std::string> out;
        for (const GdiCall& c : Drawn()) out.push_back(c.text);
        return out;
    }
    // The last drawn call of that text (a centred text's, not its
    // shadow's), or none.
    const GdiCall* Find(const std::string& text) const {
        const GdiCall* found = nullptr;
        for (const GdiCall& c : calls_)
            if (!(c.flags & kGdiMeasure) && c.text == text) found = &c;
        return found;
    }

    static uint8_t* Lock(VideoDriver*) {
        ++current_->locks_;
        ScreenState.flags2 |= kScreen2Locked;
        return current_->memory_.data();
    }
    static void Unlock(VideoDriver*) {
        ++current_->unlocks_;
        RecordGameCall("Unlock");
        ScreenState.flags2 &= uint8_t(~kScreen2Locked);
    }

    // Keys: a key pressed is hit once.
    static int KeyHit(int scanCode) {
        bool hit = current_->pressed_[scanCode & 0xFF];
        current_->pressed_[scanCode & 0xFF] = false;
        return hit ? 1 : 0;
    }
    void Press(int scanCode) { pressed_[scanCode & 0xFF] = true; }

    // The game calls of that name, with their first argument.
    static std::vector<int32_t> Calls(const std::string& name) {
        std::vector<int32_t> out;
        for (const GameCall& c : g_GameCalls)
            if (c.what == name) out.push_back(c.a);
        return out;
    }

    static inline MenuTest* current_ = nullptr;
    VideoDriver driver_{};
    KeyboardDriver keys_{};
    KeyboardDriver* savedKeyboard_ = nullptr;
    GdiTextRoutine savedGdi_ = nullptr;
    SpriteSet* savedFonts_[3] = {};
    TestFont caption_, roman_, list_;
    std::vector<GdiCall> calls_;
    bool pressed_[256] = {};
    int locks_ = 0, unlocks_ = 0;
};

}  // namespace test
