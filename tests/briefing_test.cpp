// The briefing and the credits on the menu tests' screen (GDI text
// recorded, 10 pixels a character), sound off, with the kit's texts in a
// game archive (the briefing of mission 7, ".\ms29\") and a voice archive
// (the credits) in a folder of the test's own: the briefing numbers, the
// briefing's steps and its once-per-game flag, the shown-only steps of the
// journal and the overlay's rewind, a missing text; the credits' load,
// scroll, short page and stored line.  With sound on (the headless device)
// the briefing's voice turns the dialogue voice down while it waits, and a
// briefing without text leaves the dialogue voice as it was.
#include "game/dqx_briefing.h"
#include "game/dqx_subtitles.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "menu_support.h"
#include "media/strm.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "strm_support.h"
#include "test_archives.h"
#include "tools/kit/briefing_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

// The kit's members of both archives, less those named in `without`.
void KitArchives(const std::vector<std::string>& without = {}) {
    std::vector<kit::ArchiveMember> game, voice;
    auto keep = [&](const kit::ArchiveMember& m) {
        return std::find(without.begin(), without.end(), m.name) == without.end();
    };
    for (kit::ArchiveMember& m : kit::DemoBriefingMembers("game"))
        if (keep(m)) game.push_back(std::move(m));
    for (kit::ArchiveMember& m : kit::DemoBriefingMembers("voice"))
        if (keep(m)) voice.push_back(std::move(m));
    return Put("game.res", test::Archive(game)), Put("voice.res", test::Archive(voice));
}

const std::string kBriefingText = ".\\ms29\\f_brief.txt";
const std::string kCreditsText = ".\\menus\\f_credits.txt";

class BriefingTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        savedCwd_ = fs::current_path();
        char pattern[] = "/tmp/morvanel-briefing-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::current_path(dir_);
        savedSound_ = g_SoundOn;
        g_SoundOn = 0;
        savedMission_ = MissionNumber;
        MissionNumber = 7;
        LanguageLetter = 'f';
        savedTimer_ = GameTimer;
        GameTimer.DeltaUnits = 3;
        GameState = GameStateRecord{};
        BriefingStep = 0;
        BriefingHoldFrame = 0;
        CreditsState = 0;
        CreditsX = 40, CreditsY = 0;
        savedTable_ = CurrentFileTable;
        for (uint8_t& k : keys_.keyStates) k = 0;
    }
    void TearDown() override {
        BriefingStep = kBriefingEnd;
        BriefingPage();
        CreditsState = kCreditsEnd;
        CreditsPage();
        test::FreeArchives();
        CurrentFileTable = savedTable_;
        g_SoundOn = savedSound_;
        MissionNumber = savedMission_;
        GameTimer = savedTimer_;
        fs::current_path(savedCwd_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
        MenuTest::TearDown();
    }
    void Open(const std::vector<std::string>& without = {}) {
        KitArchives(without);
        VoiceResArchive = ResAddArchive("voice.res", 0);
        MainResArchive = ResAddArchive("game.res", 0);
        CurrentResArchive = MainResArchive;
        CurrentFileTable = &ResourceFileTable;
    }
    // One frame of the page; answers the texts it drew.
    std::vector<std::string> Frame(void (*page)()) {
        calls_.clear();
        page();
        return DrawnTexts();
    }
    static bool Has(const std::vector<std::string>& texts, const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    static int VoiceStarts() { return int(Calls("BriefingVoice").size()); }

    fs::path dir_, savedCwd_;
    uint8_t savedSound_ = 0, savedMission_ = 0;
    FrameTimer savedTimer_;
    const FileTable* savedTable_ = nullptr;
};

const std::string kTitle = kit::DemoBriefingLines()[0];
const std::string kPrompt = "Space or Enter to go on";

// ---------------------------------------------------------------------------
// The briefing
// ---------------------------------------------------------------------------

// Missions 1..10 through the table (20 + 4, 6, 3, 5, 2, 1, 9, 8, 7, 10),
// their own number from 21; none for 0 and 11..20.
TEST(BriefingNumberTest, TableBelow21OwnNumberFrom21NoneBetween) {
    const int cases[][2] = {{0, 0},   {1, 24},  {2, 26},  {3, 23},  {4, 25},  {5, 22},  {6, 21},
                            {7, 29},  {8, 28},  {9, 27},  {10, 30}, {11, 0},  {15, 0},  {20, 0},
                            {21, 21}, {22, 22}, {30, 30}, {255, 255}, {-1, 0}};
    for (const auto& c : cases) EXPECT_EQ(BriefingNumber(c[0]), c[1]) << "mission " << c[0];
}

struct StartCase {
    const char* name;
    int mission;
    int32_t stepAfter;
};

// A mission begun afresh opens on its briefing; the missions without one
// do not.
TEST_F(BriefingTest, BeginBriefingOnlyWhereTheMissionHasOne) {
    const StartCase cases[] = {{"mission 7", 7, 1}, {"mission 22", 22, 1}, {"mission 15", 15, 0}, {"mission 0", 0, 0}};
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        MissionNumber = uint8_t(c.mission);
        BriefingStep = 2;
        BeginBriefing();
        EXPECT_EQ(BriefingStep, c.stepAfter);
        EXPECT_EQ(BriefingLines, nullptr);
    }
}

struct EndKeyCase {
    const char* name;
    int key;
};

// 1 -> 2 (lines read, flag set, voice once) -> 2 until Space or Enter -> 3
// -> 0 (lines freed); other keys leave it waiting, and the 30-second
// deadline ends nothing.
TEST_F(BriefingTest, StepsOneTwoThreeZeroEndedBySpaceOrEnter) {
    const EndKeyCase cases[] = {{"Space", 57}, {"Enter", 28}};
    for (const EndKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        GameState = GameStateRecord{};
        g_GameCalls.clear();
        MissionNumber = 7;
        BeginBriefing();
        EXPECT_TRUE(Frame(BriefingPage).empty()) << "the load frame draws nothing";
        EXPECT_EQ(BriefingStep, kBriefingWaiting);
        EXPECT_EQ(GameState.eventFlags[kBriefingPlayedFlag], 1);
        ASSERT_NE(BriefingLines, nullptr);
        EXPECT_EQ(CountList(BriefingLines), int(kit::DemoBriefingLines().size()));
        EXPECT_EQ(BriefingDeadline, GetTimeMs() + 30000);
        EXPECT_EQ(Calls("BriefingVoice"), std::vector<int32_t>{29});
        // Waiting: the title (line 0 at y 8), the lines and the prompt,
        // frame after frame, past the deadline.
        for (int frame = 0; frame < 3; ++frame) {
            Press(1);  // Escape does not end it
            const std::vector<std::string> texts = Frame(BriefingPage);
            EXPECT_TRUE(Has(texts, kTitle));
            EXPECT_TRUE(Has(texts, kPrompt));
            EXPECT_EQ(Find(kTitle)->y, 8);
            EXPECT_EQ(BriefingStep, kBriefingWaiting);
            host::headless::AdvanceClock(20000ull * 1000);
        }
        Press(c.key);
        Frame(BriefingPage);
        EXPECT_EQ(BriefingStep, kBriefingEnd);
        EXPECT_TRUE(Frame(BriefingPage).empty());
        EXPECT_EQ(BriefingStep, kBriefingIdle);
        EXPECT_EQ(BriefingLines, nullptr);
        EXPECT_EQ(VoiceStarts(), 1);
        test::FreeArchives();
    }
}

struct OnceCase {
    const char* name;
    bool playedBefore;
};

// The flag set by an earlier start (or kept in a save) turns a later step 1
// into nothing: no text, no voice, no wait.
TEST_F(BriefingTest, PlayedOncePerGame) {
    const OnceCase cases[] = {{"flag already set", true}, {"second start after the first", false}};
    for (const OnceCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        GameState = GameStateRecord{};
        g_GameCalls.clear();
        if (c.playedBefore) {
            GameState.eventFlags[kBriefingPlayedFlag] = 1;
        } else {
            BeginBriefing();
            BriefingPage();
            Press(57);
            BriefingPage();
            BriefingPage();
            ASSERT_EQ(BriefingStep, kBriefingIdle);
            g_GameCalls.clear();
        }
        BeginBriefing();
        for (int frame = 0; frame < 3; ++frame) EXPECT_TRUE(Frame(BriefingPage).empty());
        EXPECT_EQ(BriefingStep, kBriefingStart);
        EXPECT_EQ(BriefingLines, nullptr);
        EXPECT_EQ(VoiceStarts(), 0);
        test::FreeArchives();
    }
}

struct MissingCase {
    const char* name;
    int mission;
    int32_t step;
    int voices;
};

// No text: the step stays where it was and nothing is drawn; from step 1 the
// voice still starts, once.  Missions with no briefing number end at once.
TEST_F(BriefingTest, AMissingTextLeavesTheStepAndDrawsNothing) {
    const MissingCase cases[] = {
        {"step 1, mission 22 (no file)", 22, kBriefingStart, 1},
        {"step 1, mission 7 without its file", 7, kBriefingStart, 1},
        {"step 11, mission 7 without its file", 7, kBriefingShowStart, 0},
    };
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open({kBriefingText});
        GameState = GameStateRecord{};
        g_GameCalls.clear();
        MissionNumber = uint8_t(c.mission);
        BriefingStep = c.step;
        for (int frame = 0; frame < 4; ++frame) {
            EXPECT_TRUE(Frame(BriefingPage).empty());
            EXPECT_EQ(BriefingStep, c.step);
        }
        EXPECT_EQ(BriefingLines, nullptr);
        EXPECT_EQ(VoiceStarts(), c.voices);
        test::FreeArchives();
    }
    // A mission with no briefing number has nothing to start.
    MissionNumber = 15;
    BriefingStep = kBriefingShowStart;
    BriefingPage();
    EXPECT_EQ(BriefingStep, kBriefingIdle);
}

// Steps 11 and 12 (the journal's): the text shown without its prompt, no
// voice, no flag, keys ignored; the overlay's rewind (a step above 10 back
// to 3 on a frame without the hold) ends it on the next page call.
TEST_F(BriefingTest, ShownOnlyStepsAndTheRewind) {
    Open();
    BriefingStep = kBriefingShowStart;
    BriefingPage();
    EXPECT_EQ(BriefingStep, kBriefingShown);
    EXPECT_EQ(GameState.eventFlags[kBriefingPlayedFlag], 0);
    EXPECT_EQ(VoiceStarts(), 0);
    for (int key : {57, 28}) {
        Press(key);
        const std::vector<std::string> texts = Frame(BriefingPage);
        EXPECT_TRUE(Has(texts, kTitle));
        EXPECT_FALSE(Has(texts, kPrompt));
        EXPECT_EQ(BriefingStep, kBriefingShown);
    }
    // Step 11 with lines already read goes on to 12 without reading again.
    BriefingStep = kBriefingShowStart;
    StringList before = BriefingLines;
    BriefingPage();
    EXPECT_EQ(BriefingStep, kBriefingShown);
    EXPECT_EQ(BriefingLines, before);
    // The overlay's rewind, as it runs at the top of each frame.
    const uint8_t holds[] = {1, 0};
    for (uint8_t hold : holds) {
        BriefingHoldFrame = hold;
        if (!BriefingHoldFrame && BriefingStep > 10) BriefingStep = kBriefingEnd;
        BriefingHoldFrame = 0;
        BriefingPage();
    }
    EXPECT_EQ(BriefingStep, kBriefingIdle);
    EXPECT_EQ(BriefingLines, nullptr);
}

// ---------------------------------------------------------------------------
// The credits
// ---------------------------------------------------------------------------

struct CreditsLoadCase {
    const char* name;
    int32_t state;
    int32_t after;
    int32_t y;  // from the clip bottom 479
};

TEST_F(BriefingTest, CreditsLoadFromTheVoicesAndStartAtTheClipBottomOrTwice) {
    const CreditsLoadCase cases[] = {{"menu", 11, 12, 479}, {"end screen", 21, 22, 958}};
    for (const CreditsLoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        CreditsState = c.state;
        CreditsPage();
        EXPECT_EQ(CreditsState, c.after);
        EXPECT_EQ(CreditsY, c.y);
        ASSERT_NE(CreditsLines, nullptr);
        EXPECT_EQ(CountList(CreditsLines), int(kit::DemoCreditsLines().size()));
        EXPECT_EQ(CreditsDeadline, GetTimeMs() + 30000);
        EXPECT_EQ(CurrentResArchive, MainResArchive);
        CreditsState = kCreditsEnd;
        CreditsPage();
        EXPECT_EQ(CreditsState, kCreditsIdle);
        EXPECT_EQ(CreditsLines, nullptr);
        EXPECT_EQ(CreditsY, 0);
        test::FreeArchives();
    }
    // Without the file the state moves on all the same, with nothing to show.
    Open({kCreditsText});
    CreditsState = 11;
    CreditsPage();
    EXPECT_EQ(CreditsState, 12);
    EXPECT_EQ(CreditsLines, nullptr);
    EXPECT_TRUE(Frame(CreditsPage).empty());
}

struct ScrollCase {
    const char* name;
    int32_t step;
};

// Each frame the lines are drawn at the cursor + 20 (n + 1) and the cursor
// rises by the frame step.
TEST_F(BriefingTest, CreditsScrollByTheFrameStep) {
    const ScrollCase cases[] = {{"step 1", 1}, {"step 3", 3}, {"step 4", 4}};
    const std::string heading = kit::DemoCreditsLines()[0].substr(1);  // "#Design" drawn without '#'
    for (const ScrollCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        GameTimer.DeltaUnits = c.step;
        CreditsState = 11;
        CreditsPage();
        CreditsY = 100;  // the first lines inside the clip rectangle
        for (int frame = 0; frame < 3; ++frame) {
            const int32_t y = CreditsY;
            const std::vector<std::string> texts = Frame(CreditsPage);
            ASSERT_TRUE(Has(texts, heading));
            EXPECT_EQ(Find(heading)->y, y + 20);
            EXPECT_EQ(CreditsY, y - c.step);
        }
        CreditsState = kCreditsEnd;
        CreditsPage();
        test::FreeArchives();
    }
}

// The short page waits for Space or Enter, then ends (3) and cleans up
// (0); drawn at the same place every frame.
TEST_F(BriefingTest, ShortCreditsWaitForSpaceOrEnter) {
    const EndKeyCase cases[] = {{"Space", 57}, {"Enter", 28}};
    const std::string first = kit::DemoCreditsLines()[0];
    for (const EndKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        CreditsState = 11;
        CreditsPage();
        CreditsState = kCreditsWaiting;
        CreditsY = 100;
        for (int frame = 0; frame < 3; ++frame) {
            Press(1);
            const std::vector<std::string> texts = Frame(CreditsPage);
            ASSERT_TRUE(Has(texts, first));
            EXPECT_EQ(Find(first)->y, 100) << "the cursor does not creep";
            EXPECT_EQ(Find(kPrompt)->x, 220);
            EXPECT_EQ(CreditsState, kCreditsWaiting);
        }
        Press(c.key);
        CreditsPage();
        EXPECT_EQ(CreditsState, kCreditsEnd);
        CreditsPage();
        EXPECT_EQ(CreditsState, kCreditsIdle);
        EXPECT_EQ(CreditsLines, nullptr);
        test::FreeArchives();
    }
}

struct StoredLineCase {
    const char* name;
    bool f1, f12, space;
    bool shown;
};

// The stored line comes back into the text buffer every scrolling frame,
// and is drawn only while F1, F12 and Space are all held.
TEST_F(BriefingTest, StoredLineShownOnlyWithF1F12AndSpaceHeld) {
    const StoredLineCase cases[] = {
        {"all three", true, true, true, true},      {"no F1", false, true, true, false},
        {"no F12", true, false, true, false},       {"no Space", true, true, false, false},
        {"none", false, false, false, false},
    };
    std::string stored;
    for (int i = 0; i < kStoredLineBytes && StoredCreditsLine[i] != 128; ++i) {
        ASSERT_GE(StoredCreditsLine[i], 128) << "every stored byte has its high bit";
        stored += char(StoredCreditsLine[i] - 128);
    }
    ASSERT_FALSE(stored.empty());
    Open();
    CreditsState = 21;
    CreditsPage();
    for (const StoredLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        keys_.keyStates[59] = c.f1 ? 0x80 : 0;
        keys_.keyStates[88] = c.f12 ? 0x80 : 0;
        keys_.keyStates[57] = c.space ? 0x80 : 0;
        std::memset(TextBuffer, 0, sizeof TextBuffer);
        const std::vector<std::string> texts = Frame(CreditsPage);
        EXPECT_EQ(std::string(TextBuffer), stored);
        EXPECT_EQ(Has(texts, stored), c.shown);
    }
}

// ---------------------------------------------------------------------------
// Sound on: the briefing's voice over the dialogue voice
// ---------------------------------------------------------------------------

class VoicedBriefingTest : public test::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        const kit::SnpSound line{22050, 0x41, 0, 0, 0, {kit::Tone(22050, 3.0, 400, 300, 0.5)}};
        std::vector<kit::ArchiveMember> voice = kit::DemoBriefingMembers("voice");
        voice.push_back({".\\smp\\ms22\\voix\\1.snp", kit::SnpFile(line)});
        WriteBytes("voice.res", test::Archive(voice));
        VoiceResArchive = ResAddArchive("voice.res", 0);
        CurrentResArchive = MainResArchive = nullptr;
        CurrentFileTable = &ResourceFileTable;
        ASSERT_EQ(StartSound(), 0);
        SMP_InitCache(16, 2048);
        savedKeyboard_ = CurrentKeyboard;
        keys_ = KeyboardDriver{};
        keys_.KeyHit = [](int scan) { return scan == spaceScan_ ? (spaceScan_ = -1, 1) : 0; };
        CurrentKeyboard = &keys_;
        savedMission_ = MissionNumber;
        LanguageLetter = 'f';
        GameState = GameStateRecord{};
        ClearSubtitles();
    }
    void TearDown() override {
        BriefingStep = kBriefingEnd;
        BriefingPage();
        ClearSubtitles();
        CurrentKeyboard = savedKeyboard_;
        MissionNumber = savedMission_;
        StreamTest::TearDown();
    }
    void GameArchive(bool withText) {
        WriteBytes("game.res", test::Archive(withText ? kit::DemoBriefingMembers("game") : std::vector<kit::ArchiveMember>{}));
        MainResArchive = ResAddArchive("game.res", 0);
        CurrentResArchive = MainResArchive;
    }
    static bool BriefingVoicePlays() {
        return BriefingVoiceSerial != 0 && STRM_GetSerial(BriefingVoiceSlot) == BriefingVoiceSerial;
    }
    static inline int spaceScan_ = -1;
    KeyboardDriver keys_{};
    KeyboardDriver* savedKeyboard_ = nullptr;
    uint8_t savedMission_ = 0;
};

struct VoicedCase {
    const char* name;
    bool text;
    int ducked;  // the dialogue voice's state while the briefing is on
};

// With its text the briefing speaks over the dialogue voice turned down
// until Space, then stops its voice and brings the dialogue back.  Without
// its text it still speaks once, and the dialogue voice is not left turned
// down for the whole mission.
TEST_F(VoicedBriefingTest, TheDialogueVoiceIsDuckedOnlyWhileTheBriefingWaits) {
    const VoicedCase cases[] = {{"with its text", true, 1}, {"without its text", false, 0}};
    for (const VoicedCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameArchive(c.text);
        GameState = GameStateRecord{};
        ASSERT_EQ(SetSubtitle("spoken", ".\\smp\\ms22\\voix\\1.snp", kPhrasePriority, kSubtitleBlock), 1);
        MissionNumber = 7;
        BeginBriefing();
        BriefingPage();
        EXPECT_TRUE(BriefingVoicePlays());
        EXPECT_EQ(Subtitles.ducked, c.ducked);
        EXPECT_EQ(BriefingStep, c.text ? kBriefingWaiting : kBriefingStart);
        for (int frame = 0; frame < 5; ++frame) {
            Frame();
            BriefingPage();
        }
        EXPECT_EQ(Subtitles.ducked, c.ducked);
        if (c.text) {
            spaceScan_ = 57;
            BriefingPage();
            EXPECT_EQ(BriefingStep, kBriefingEnd);
            EXPECT_FALSE(BriefingVoicePlays());
            EXPECT_EQ(Subtitles.ducked, 0);
            BriefingPage();
            EXPECT_EQ(BriefingStep, kBriefingIdle);
        }
        ClearSubtitles();
        BeginBriefing();
        EXPECT_FALSE(BriefingVoicePlays());
        CurrentResArchive = MainResArchive;
        ResFree(MainResArchive);
        MainResArchive = CurrentResArchive = nullptr;
    }
}

}  // namespace
