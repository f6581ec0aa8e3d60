// Subtitles on the menu tests' screen (GDI text recorded, 10 pixels a
// character) with the frame step set by hand: the priority rule, the
// ticker and block modes and their ends, SubTitles and FastScroll, the
// stop and finish, and an idle line that holds no priority.  With sound on
// (the headless device, voices from a voice archive) the block lasts as
// long as its voice is heard, and ducking turns the voice down and hides
// the text.
#include "game/dqx_subtitles.h"
#include "game/player_options.h"
#include "menu_support.h"
#include "strm_support.h"
#include "test_archives.h"

#include <climits>

namespace {

struct Band {
    int32_t x1, y1, x2, y2;
    uint32_t colour;
};
std::vector<Band> g_bands;
void RecordBand(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    g_bands.push_back({x1, y1, x2, y2, colour});
}

class SubtitleTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        savedSound_ = g_SoundOn;
        g_SoundOn = 0;
        savedOptions_[0] = SubTitles, savedOptions_[1] = FastScroll;
        SubTitles = 1;
        FastScroll = 0;
        savedTimer_ = GameTimer;
        Step(3);
        ActivePrimTable.FillRect = RecordBand;
        g_bands.clear();
        ClearSubtitles();
    }
    void TearDown() override {
        ClearSubtitles();
        g_SoundOn = savedSound_;
        SubTitles = savedOptions_[0], FastScroll = savedOptions_[1];
        GameTimer = savedTimer_;
        MenuTest::TearDown();
    }
    static void Step(int32_t units) {
        GameTimer.DeltaUnits = units;
        GameTimer.DoubleDelta = 2 * units;
    }
    // Frames of DrawSubtitle then UpdateSubtitles until the latter answers
    // idle (at most `limit`); answers how many were busy.
    static int BusyFrames(int limit = 10000) {
        int busy = 0;
        while (busy < limit) {
            DrawSubtitle();
            if (UpdateSubtitles()) break;
            ++busy;
        }
        return busy;
    }
    uint8_t savedSound_ = 0;
    int32_t savedOptions_[2] = {};
    FrameTimer savedTimer_;
};

struct PriorityCase {
    const char* name;
    int currentPriority, currentMode;
    int priority, mode;
    int taken;
};

TEST_F(SubtitleTest, ALineIsTakenOnlyAboveTheCurrentPriority) {
    const PriorityCase cases[] = {
        {"idle screen takes a phrase", 0, 0, kPhrasePriority, kSubtitleBlock, 1},
        {"a message replaces a phrase at once", kPhrasePriority, kSubtitleBlock, kMessagePriority, kSubtitleTicker, 1},
        {"an equal phrase is refused", kPhrasePriority, kSubtitleBlock, kPhrasePriority, kSubtitleBlock, 0},
        {"an equal message is refused", kMessagePriority, kSubtitleTicker, kMessagePriority, kSubtitleTicker, 0},
        {"a phrase under a message is refused", kMessagePriority, kSubtitleTicker, kPhrasePriority, kSubtitleBlock, 0},
    };
    for (const PriorityCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSubtitles();
        if (c.currentPriority) {
            ASSERT_EQ(SetSubtitle("first", "", c.currentPriority, c.currentMode), 1);
        }
        EXPECT_EQ(SetSubtitle("second", ".\\v.snp", c.priority, c.mode), c.taken);
        EXPECT_STREQ(Subtitles.text, c.taken ? "second" : "first");
        EXPECT_EQ(Subtitles.priority, c.taken ? c.priority : c.currentPriority);
        EXPECT_EQ(Subtitles.mode, c.taken ? c.mode : c.currentMode);
    }
}

TEST_F(SubtitleTest, TakingALineMeasuresItAndStartsTheTickerAtTheClipRight) {
    Clip(0, 0, 599, 479);
    ASSERT_EQ(SetSubtitle("twelve chars", ".\\smp\\ms22\\voix\\l1.snp", kMessagePriority, kSubtitleTicker), 1);
    EXPECT_EQ(Subtitles.negativeWidth, -120);  // 12 characters of 10 pixels
    EXPECT_EQ(Subtitles.tickerX, 599);
    EXPECT_STREQ(Subtitles.voice, ".\\smp\\ms22\\voix\\l1.snp");
    EXPECT_EQ(Subtitles.playResult, 0);  // sound off: no voice started
    // A text longer than the record is cut, terminated.
    ClearSubtitles();
    std::string text(700, 'a');
    ASSERT_EQ(SetSubtitle(text.c_str(), nullptr, kPhrasePriority, kSubtitleBlock), 1);
    EXPECT_EQ(std::strlen(Subtitles.text), sizeof Subtitles.text - 1);
    EXPECT_STREQ(Subtitles.voice, "");
}

struct TickerCase {
    const char* name;
    int32_t subTitles, fastScroll, step;
    int busy;        // frames UpdateSubtitles answers busy
    size_t drawn;    // texts drawn
};

// The ticker starts at x 639 and ends once x is below -50 (5 characters):
// at 6 a frame (the double step, FastScroll 0) the 115th move takes it to
// -51, and that frame still answers busy as it ends; FastScroll moves 3 a
// frame: 230 frames.  Without SubTitles nothing is drawn
// but the ticker ends on the same frame.
TEST_F(SubtitleTest, TheTickerRunsDownAtTheFrameStepWhetherShownOrNot) {
    const TickerCase cases[] = {
        {"shown", 1, 0, 3, 115, 115},
        {"hidden: ends together", 0, 0, 3, 115, 0},
        {"FastScroll set: half the speed", 1, 1, 3, 230, 230},
        {"hidden with FastScroll", 0, 1, 3, 230, 0},
    };
    for (const TickerCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSubtitles();
        calls_.clear();
        g_bands.clear();
        SubTitles = c.subTitles;
        FastScroll = c.fastScroll;
        Step(c.step);
        ASSERT_EQ(SetSubtitle("hello", "", kMessagePriority, kSubtitleTicker), 1);
        EXPECT_EQ(BusyFrames(), c.busy);
        EXPECT_EQ(Subtitles.mode, kSubtitleIdle);
        EXPECT_EQ(Subtitles.priority, 0);
        EXPECT_EQ(Drawn().size(), c.drawn);
        EXPECT_EQ(g_bands.size(), c.drawn);
        // The screen is free again for a line of any priority.
        EXPECT_EQ(SetSubtitle("next", "", kPhrasePriority, kSubtitleBlock), 1);
    }
}

TEST_F(SubtitleTest, TheTickerDrawsOnABandAtTheTopInTheRomanFontTwoPixelsTaller) {
    DefaultTextColour = 0xFFFF;
    ASSERT_EQ(SetSubtitle("news", "", kMessagePriority, kSubtitleTicker), 1);
    DrawSubtitle();
    ASSERT_EQ(g_bands.size(), 1u);
    // From (1, 1), the screen's width less 2, 2 x (14 + 5) rows, colour 0.
    EXPECT_EQ(g_bands[0].x1, 1);
    EXPECT_EQ(g_bands[0].y1, 1);
    EXPECT_EQ(g_bands[0].x2, 638);
    EXPECT_EQ(g_bands[0].y2, 38);
    EXPECT_EQ(g_bands[0].colour, 0u);
    ASSERT_EQ(Drawn().size(), 1u);
    EXPECT_EQ(Drawn()[0].text, "news");
    EXPECT_EQ(Drawn()[0].x, 639);
    EXPECT_EQ(Drawn()[0].y, 10);
    EXPECT_EQ(Drawn()[0].height, 14 + 2 + 3);  // the glyph raised by 2, GDI's + 3
    EXPECT_EQ(RomanFont->sprites[0].height, 14);  // and back after the call
    EXPECT_EQ(TextClipBypass, 0);
    EXPECT_EQ(Subtitles.tickerX, 639 - 6);
    // Partly off the left edge the text is still drawn (clip bypassed).
    Subtitles.tickerX = -20;
    calls_.clear();
    DrawSubtitle();
    ASSERT_EQ(Drawn().size(), 1u);
    EXPECT_EQ(Drawn()[0].x, -20);
}

TEST_F(SubtitleTest, ABlockWrapsAt120CharactersOnLinesSixteenApart) {
    std::string text = std::string(100, 'a') + " " + std::string(60, 'b') + " end";
    ASSERT_EQ(SetSubtitle(text.c_str(), "", kPhrasePriority, kSubtitleBlock), 1);
    DrawSubtitle();
    ASSERT_EQ(g_bands.size(), 1u);
    EXPECT_EQ(g_bands[0].y2, 1 + 3 * (10 + 5) - 1);  // three caption rows
    const std::vector<test::GdiCall> drawn = Drawn();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].text, std::string(100, 'a'));
    EXPECT_EQ(drawn[1].text, std::string(60, 'b') + " end");
    EXPECT_EQ(drawn[0].x, 4);
    EXPECT_EQ(drawn[0].y, 2);
    EXPECT_EQ(drawn[1].y, 18);
    // Not drawn without SubTitles, for an empty text, or while ducked.
    for (int hide = 0; hide < 3; ++hide) {
        calls_.clear();
        g_bands.clear();
        SubTitles = hide != 0;
        Subtitles.text[0] = hide == 1 ? 0 : 'x';
        Subtitles.ducked = hide == 2;
        DrawSubtitle();
        EXPECT_TRUE(Drawn().empty()) << hide;
        EXPECT_TRUE(g_bands.empty()) << hide;
    }
}

struct EndCase {
    const char* name;
    int mode;
    void (*end)();
    int modeAfter;
};

TEST_F(SubtitleTest, StopEndsEveryLineFinishOnlyABlock) {
    const EndCase cases[] = {
        {"stop a ticker", kSubtitleTicker, StopSubtitle, kSubtitleIdle},
        {"stop a block", kSubtitleBlock, StopSubtitle, kSubtitleIdle},
        {"finish a block", kSubtitleBlock, FinishSubtitle, kSubtitleIdle},
        {"finish leaves a ticker", kSubtitleTicker, FinishSubtitle, kSubtitleTicker},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSubtitles();
        ASSERT_EQ(SetSubtitle("line", "", kMessagePriority, c.mode), 1);
        c.end();
        EXPECT_EQ(Subtitles.mode, c.modeAfter);
        EXPECT_EQ(Subtitles.priority, c.modeAfter == kSubtitleIdle ? 0 : kMessagePriority);
    }
}

// With sound off a block answers idle at once and gives up its priority,
// but its text stays on screen until its phrase finishes it.
TEST_F(SubtitleTest, WithSoundOffABlockIsIdleAtOnceAndStaysUntilFinished) {
    ASSERT_EQ(SetSubtitle("spoken", ".\\smp\\ms22\\voix\\1.snp", kPhrasePriority, kSubtitleBlock), 1);
    EXPECT_EQ(UpdateSubtitles(), 1);
    EXPECT_EQ(Subtitles.priority, 0);
    EXPECT_EQ(Subtitles.mode, kSubtitleBlock);
    DrawSubtitle();
    EXPECT_EQ(DrawnTexts(), std::vector<std::string>{"spoken"});
    EXPECT_EQ(DuckVoice(), 0);  // no voice stream
    EXPECT_EQ(Subtitles.ducked, 0);
    FinishSubtitle();
    calls_.clear();
    DrawSubtitle();
    EXPECT_TRUE(Drawn().empty());
}

// A line of mode 0 (its voice played as an effect) is idle at once; it
// must not keep its priority, or no line of that priority or below could
// ever be shown again.
TEST_F(SubtitleTest, AnIdleLineGivesUpItsPriority) {
    ASSERT_EQ(SetSubtitle("effect", "", kMessagePriority, kSubtitleIdle), 1);
    EXPECT_EQ(UpdateSubtitles(), 1);
    EXPECT_EQ(SetSubtitle("phrase", "", kPhrasePriority, kSubtitleBlock), 1);
}

// ---------------------------------------------------------------------------
// Sound on: voices streamed from the voice archive
// ---------------------------------------------------------------------------

class VoicedSubtitleTest : public test::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        line_ = kit::SnpSound{22050, 0x41, 0, 0, 0, {kit::Tone(22050, 0.5, 400, 300, 0.5)}};
        WriteBytes("voice.res", test::Archive({{".\\smp\\ms22\\voix\\1.snp", kit::SnpFile(line_)}}));
        VoiceResArchive = ResAddArchive("voice.res", 0);
        CurrentResArchive = MainResArchive = nullptr;
        CurrentFileTable = &ResourceFileTable;
        ASSERT_EQ(StartSound(), 0);
        SMP_InitCache(16, 2048);
        savedVolume_ = VoiceVol;
        VoiceVol = 40;
        ClearSubtitles();
    }
    void TearDown() override {
        ClearSubtitles();
        VoiceVol = savedVolume_;
        StreamTest::TearDown();
    }
    int VoiceVolume() const {
        const StreamSlot& s = g_StreamSlots[Subtitles.voiceSlot];
        return g_SndStreams[s.channel[0]].volume;
    }
    kit::SnpSound line_;
    int32_t savedVolume_ = 32;
};

TEST_F(VoicedSubtitleTest, ABlockLastsAsLongAsItsVoiceIsHeard) {
    const size_t start = Frames();
    ASSERT_EQ(SetSubtitle("spoken", ".\\smp\\ms22\\voix\\1.snp", kPhrasePriority, kSubtitleBlock), 1);
    EXPECT_GE(Subtitles.playResult, 2);  // a voice from 1 up, + 1
    EXPECT_EQ(CurrentResArchive, MainResArchive);
    int busy = 0;
    while (!UpdateSubtitles() && busy < 200) {
        ++busy;
        Frame(43);
    }
    // 0.5 s of voice in frames of 43 ms, the stream closing a block or two
    // after its last sample.
    EXPECT_GE(busy, 11);
    EXPECT_LE(busy, 20);
    EXPECT_EQ(Subtitles.mode, kSubtitleIdle);
    EXPECT_EQ(Subtitles.priority, 0);
    EXPECT_EQ(Subtitles.playResult, 0);
    const std::vector<int16_t> decoded = kit::SnpDecoded(line_)[0];
    // At VoiceVol 40 of 63 the voice is heard scaled down: not silent.
    std::vector<int16_t> heard = Captured(start, decoded.size());
    ASSERT_EQ(heard.size(), decoded.size() * 2);
    EXPECT_NE(heard, std::vector<int16_t>(heard.size(), 0));
}

TEST_F(VoicedSubtitleTest, DuckingTurnsTheVoiceDownAndHidesTheLine) {
    ASSERT_EQ(SetSubtitle("spoken", ".\\smp\\ms22\\voix\\1.snp", kPhrasePriority, kSubtitleBlock), 1);
    ASSERT_NE(Subtitles.voiceSerial, 0u);
    EXPECT_EQ(VoiceVolume(), 40);
    EXPECT_EQ(DuckVoice(), 1);
    EXPECT_EQ(Subtitles.ducked, 1);
    EXPECT_EQ(VoiceVolume(), 1);
    EXPECT_EQ(RestoreVoice(), 1);
    EXPECT_EQ(Subtitles.ducked, 0);
    EXPECT_EQ(VoiceVolume(), 40);
    // A finished line stops its voice: nothing left to duck.
    FinishSubtitle();
    EXPECT_EQ(Subtitles.voiceSerial, 0u);
    EXPECT_EQ(DuckVoice(), 0);
}

TEST_F(VoicedSubtitleTest, AHigherLineStopsTheVoiceOfTheOneItReplaces) {
    ASSERT_EQ(SetSubtitle("spoken", ".\\smp\\ms22\\voix\\1.snp", kPhrasePriority, kSubtitleBlock), 1);
    const int slot = Subtitles.voiceSlot;
    const uint32_t serial = Subtitles.voiceSerial;
    ASSERT_EQ(STRM_GetSerial(slot), serial);
    // The message's voice is missing: the phrase's voice stops all the same.
    ASSERT_EQ(SetSubtitle("news", ".\\smp\\ms22\\voix\\l1.snp", kMessagePriority, kSubtitleTicker), 1);
    EXPECT_EQ(STRM_GetSerial(slot), 0u);
    EXPECT_EQ(Subtitles.voiceSerial, 0u);
    EXPECT_EQ(Subtitles.playResult, 0);  // -1 + 1: no voice
}

}  // namespace
