// Messages, dialogues and script.ana on the menu tests' screen (GDI text,
// 10 pixels a character), sound off, with the mission's texts in a voice
// archive and its script in a game archive written by the data kit in a
// folder of the test's own: the reading of both, the phrases of events
// (alternatives, the last phrase not repeated, the placeholder, the
// restore on failure), the armed phrase, the messages joined into their
// slots and started by the countdowns, and the kit's script.ana read and
// written back.
#include "game/dqx_lookup.h"
#include "game/dqx_messages.h"
#include "game/script_event.h"
#include "menu_support.h"
#include "platform/memory.h"
#include "test_archives.h"
#include "tools/kit/script_writer.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class MessagesTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        savedCwd_ = fs::current_path();
        char pattern[] = "/tmp/morvanel-messages-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::current_path(dir_);
        savedSound_ = g_SoundOn;
        g_SoundOn = 0;
        savedMission_ = MissionNumber;
        MissionNumber = 22;
        LanguageLetter = 'f';
        savedTimer_ = GameTimer;
        GameTimer.DeltaUnits = 3;
        GameTimer.DoubleDelta = 6;
        GameState = GameStateRecord{};
        LastPhrase = 0;
        ClearSubtitles();
        savedTable_ = CurrentFileTable;
    }
    void TearDown() override {
        FreeMessages();
        ClearSubtitles();
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
    static void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    }
    static std::vector<uint8_t> Text(const std::vector<std::string>& lines) {
        return test::Bytes(kit::TextFileBytes(lines));
    }
    // The game and voice archives with these members.
    void Archives(const std::vector<kit::ArchiveMember>& game, const std::vector<kit::ArchiveMember>& voice) {
        Put("game.res", test::Archive(game));
        Put("voice.res", test::Archive(voice));
        VoiceResArchive = ResAddArchive("voice.res", 0);
        MainResArchive = ResAddArchive("game.res", 0);
        CurrentFileTable = &ResourceFileTable;
    }
    // The demo's dialogue of mission 22 and one message file.
    void DemoTexts(const std::vector<std::string>& message = kit::DemoMessage(22, 1)) {
        Archives({{".\\ms22\\script.ana", kit::ScriptFile(kit::DemoEvents(22))}},
                 {{".\\ms22\\f_dial.txt", Text(kit::DemoDialogue(22))}, {".\\ms22\\f_mes1.txt", Text(message)}});
    }
    static std::string Prefix(ResArchive* a) { return a ? a->prefix : "?"; }

    fs::path dir_, savedCwd_;
    uint8_t savedSound_ = 0, savedMission_ = 0;
    FrameTimer savedTimer_;
    const FileTable* savedTable_ = nullptr;
};

// ---------------------------------------------------------------------------
// Reading the mission's dialogue and events
// ---------------------------------------------------------------------------

struct LoadCase {
    const char* name;
    bool dialInVoices;   // else in the game archive, where it is not looked for
    bool script;
    int restoring;
    int lines;
    int events;
};

TEST_F(MessagesTest, TheDialogueComesFromTheVoicesAndTheEventsFromTheGameArchive) {
    const LoadCase cases[] = {
        {"a new mission", true, true, 0, 3, 5},
        {"restoring: the events come from the save", true, true, 1, 3, 0},
        {"no script.ana: no events", true, false, 0, 3, 0},
        {"the dial file in the wrong archive: no lines", false, true, 0, 0, 5},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        kit::ArchiveMember dial{".\\ms22\\f_dial.txt", Text(kit::DemoDialogue(22))};
        std::vector<kit::ArchiveMember> game, voice;
        (c.dialInVoices ? voice : game).push_back(dial);
        if (c.script) game.push_back({".\\ms22\\script.ana", kit::ScriptFile(kit::DemoEvents(22))});
        Archives(game, voice);
        LoadDialogues(c.restoring);
        EXPECT_EQ(DialogueCount(), c.lines);
        EXPECT_EQ(EventCount, c.events);
        EXPECT_EQ(DialogueState != nullptr, c.restoring == 0);
        if (c.lines) {
            EXPECT_STREQ(DialogueText(1), "Halt! Who goes there?");
        }
        // Both archives' paths are cleared after their reads, the game
        // archive selected.
        EXPECT_EQ(Prefix(VoiceResArchive), "");
        EXPECT_EQ(Prefix(MainResArchive), "");
        EXPECT_EQ(CurrentResArchive, MainResArchive);
        FreeMessages();
        EXPECT_EQ(EventTable, nullptr);
        EXPECT_EQ(EventCount, 0);
        EXPECT_EQ(DialogueLines, nullptr);
        EXPECT_EQ(DialogueState, nullptr);
        test::FreeArchives();
    }
}

TEST_F(MessagesTest, ALineShowsFromItsFifthCharacter) {
    Archives({}, {{".\\ms22\\f_dial.txt", Text({"0000", "0001Yes", "00", "0003", "abcdefg"})}});
    LoadDialogues(1);
    ASSERT_EQ(DialogueCount(), 5);
    EXPECT_STREQ(DialogueText(1), "Yes");
    EXPECT_STREQ(DialogueText(2), "");  // shorter than the prefix
    EXPECT_STREQ(DialogueText(3), "");
    EXPECT_STREQ(DialogueText(4), "efg");
    EXPECT_STREQ(DialogueText(5), "");  // beyond the file
    EXPECT_STREQ(DialogueText(-1), "");
    EXPECT_STREQ(DialogueText(0), "");  // the placeholder, not yet written
    EXPECT_EQ(PhraseTicks(1), 7 * 4 + 1);  // the whole line's length
    EXPECT_EQ(PhraseTicks(9), 1);
}

// ---------------------------------------------------------------------------
// Phrases
// ---------------------------------------------------------------------------

struct PhraseCase {
    const char* name;
    uint8_t phrase, phraseA, phraseB, mode2, mode3;
    int mode, force;
    int lastPhrase;
    int busyPriority;  // a line already on screen, 0 none
    bool noDial;
    // Expected
    int result;
    const char* text;      // the subtitle's text when taken
    uint8_t phraseAfter;   // field 62 afterwards
    int32_t countdownAfter;
    uint8_t modeAfter;     // field 76
    int spoken;            // the phrase number spoken (last phrase, voice)
};

// Mission 22's lines: 1 "0001Halt! Who goes there?" (25 characters:
// 101 ticks), 2 "0002The crypt is sealed." (24: 97 ticks).
TEST_F(MessagesTest, SayPhraseSpeaksTheChosenPhraseOrRestoresTheEvent) {
    const PhraseCase cases[] = {
        {"phrase 1", 1, 0, 0, 0, 0, 0, 0, 0, 0, false, 1, "Halt! Who goes there?", 1, 101, 0, 1},
        {"mode 1 kept in field 76", 1, 0, 0, 0, 0, 1, 0, 0, 0, false, 1, "Halt! Who goes there?", 1, 101, 1, 1},
        {"alternative A", 1, 2, 0, 0, 0, 0, 0, 0, 0, false, 1, "The crypt is sealed.", 2, 97, 0, 2},
        {"mode 2 takes field 54", 1, 0, 0, 2, 0, 2, 0, 0, 0, false, 1, "The crypt is sealed.", 2, 97, 2, 2},
        {"mode 2 without field 54", 1, 0, 0, 0, 0, 2, 0, 0, 0, false, 1, "Halt! Who goes there?", 1, 101, 2, 1},
        {"mode 3 takes field 88 as mode 0", 1, 0, 0, 0, 2, 3, 0, 0, 0, false, 1, "The crypt is sealed.", 2, 97, 0, 2},
        {"the last phrase is not repeated", 1, 0, 0, 0, 0, 0, 0, 1, 0, false, 0, nullptr, 1, 7, 0, 1},
        {"unless forced", 1, 0, 0, 0, 0, 0, 1, 1, 0, false, 1, "Halt! Who goes there?", 1, 101, 0, 1},
        {"an equal priority keeps the screen", 1, 0, 0, 0, 0, 0, 0, 0, kPhrasePriority, false, 0, nullptr, 1, 7, 0, 0},
        {"beyond the file: the placeholder", 9, 0, 0, 0, 0, 0, 0, 0, 0, false, 1, "Phrase 9", 0, 8 * 4 + 1, 0, 9},
        {"no dial file: the placeholder", 3, 0, 0, 0, 0, 0, 0, 0, 0, true, 1, "Phrase 3", 0, 8 * 4 + 1, 0, 3},
        {"phrase 0 says nothing", 0, 0, 0, 0, 0, 0, 1, 0, 0, false, 0, nullptr, 0, 7, 0, 0},
    };
    for (const PhraseCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.noDial) Archives({}, {});
        else DemoTexts();
        LoadDialogues(0);
        ClearSubtitles();
        if (c.busyPriority) {
            ASSERT_EQ(SetSubtitle("busy", "", c.busyPriority, kSubtitleBlock), 1);
        }
        LastPhrase = c.lastPhrase;
        GameState.lastSpeaker = 9;
        ScriptEvent e{};
        e.phrase = c.phrase;
        e.phraseA = c.phraseA;
        e.phraseB = c.phraseB;
        e.phraseMode2 = c.mode2;
        e.phraseMode3 = c.mode3;
        e.character = 1;
        e.phraseCountdown = 7;
        e.repeatTimer = 20;
        EXPECT_EQ(SayPhrase(&e, c.mode, c.force), c.result);
        EXPECT_EQ(e.phrase, c.phraseAfter);
        EXPECT_EQ(e.phraseCountdown, c.countdownAfter);
        if (c.phrase) {
            EXPECT_EQ(e.phraseMode, c.modeAfter);
        }
        if (c.result) {
            EXPECT_STREQ(Subtitles.text, c.text);
            EXPECT_EQ(Subtitles.mode, kSubtitleBlock);
            EXPECT_EQ(Subtitles.priority, kPhrasePriority);
            EXPECT_EQ(Subtitles.voice, ".\\smp\\ms22\\voix\\" + std::to_string(c.spoken) + ".snp");
            EXPECT_EQ(LastPhrase, c.spoken);
            EXPECT_EQ(e.repeatTimer, 140);
            EXPECT_EQ(DialogueState[c.spoken], 1);
            EXPECT_EQ(GameState.lastSpeaker, 1);
        } else {
            EXPECT_EQ(LastPhrase, c.lastPhrase);
            EXPECT_EQ(e.repeatTimer, 20);
            EXPECT_EQ(GameState.lastSpeaker, 9);
            EXPECT_STREQ(Subtitles.text, c.busyPriority ? "busy" : "");
        }
        FreeMessages();
        test::FreeArchives();
    }
}

TEST_F(MessagesTest, AlternativeBReplacesAOneTimeInTwo) {
    DemoTexts();
    LoadDialogues(0);
    int a = 0, b = 0;
    host::SeedRand(7);
    for (int i = 0; i < 200; ++i) {
        ScriptEvent e{};
        e.phrase = 9;
        e.phraseA = 1;
        e.phraseB = 2;
        ClearSubtitles();
        ASSERT_EQ(SayPhrase(&e, 0, 1), 1);
        (e.phrase == 1 ? a : b) += 1;
    }
    EXPECT_EQ(a + b, 200);
    EXPECT_GT(a, 60);
    EXPECT_GT(b, 60);
}

TEST_F(MessagesTest, ARepeatTimerAboveTheLeastIsKept) {
    DemoTexts();
    LoadDialogues(0);
    ScriptEvent e{};
    e.phrase = 1;
    e.repeatTimer = 500;
    ASSERT_EQ(SayPhrase(&e, 0, 0), 1);
    EXPECT_EQ(e.repeatTimer, 500);
}

struct ArmCase {
    const char* name;
    uint8_t sound;
    uint8_t phrase;
    int32_t countdown;
    int modeAfter;  // of a block line on screen
};

TEST_F(MessagesTest, ShowEventMessageArmsThePhrase) {
    const ArmCase cases[] = {
        {"phrase 1, sound off: the line on screen is finished", 0, 1, 101, kSubtitleIdle},
        {"phrase 1, sound on: the line stays", 1, 1, 101, kSubtitleBlock},
        {"no phrase", 0, 0, 140, kSubtitleIdle},
    };
    for (const ArmCase& c : cases) {
        SCOPED_TRACE(c.name);
        DemoTexts();
        LoadDialogues(0);
        ClearSubtitles();
        ASSERT_EQ(SetSubtitle("on screen", "", kPhrasePriority, kSubtitleBlock), 1);
        g_SoundOn = c.sound;
        ScriptEvent e{};
        e.phrase = c.phrase;
        e.startDelayPreset = 33;
        e.contactTimer = -1;
        ShowEventMessage(&e);
        g_SoundOn = 0;
        EXPECT_EQ(e.repeatTimer, 350);
        EXPECT_EQ(e.phraseMode, 1);
        EXPECT_EQ(e.contactTimer, 10);
        EXPECT_EQ(e.phraseCountdown, c.countdown);
        EXPECT_EQ(e.startDelay, 33);
        EXPECT_EQ(Subtitles.mode, c.modeAfter);
        ClearSubtitles();
        FreeMessages();
        test::FreeArchives();
    }
}

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

struct JoinCase {
    const char* name;
    std::vector<std::string> lines;
    std::string joined;
};

TEST_F(MessagesTest, AMessageIsJoinedIntoItsSlotAndCutBeforeTheLineThatWouldOverflow) {
    const std::string l500(500, 'x'), l510(510, 'y'), l20(20, 'z');
    const JoinCase cases[] = {
        {"two lines", {"The bells ring.", "Run."}, "The bells ring. Run. "},
        // 501 + 511 = 1012 bytes; the third line would make 1033 with its
        // blank and the terminator.
        {"cut before the overflow", {l500, l510, l20}, l500 + " " + l510 + " "},
        // 1022 characters, a blank and the terminator fill the slot exactly.
        {"a line that fills the slot", {std::string(1022, 'f')}, std::string(1022, 'f') + " "},
        {"one that does not fit at all", {std::string(1023, 'g'), "h"}, ""},
        {"no lines", {}, ""},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(c.name);
        DemoTexts(c.lines);
        ClearSubtitles();
        std::memset(GameState.messageSlots[1], '#', kMessageSlotBytes);
        GameState.lastSpeaker = 4;
        ASSERT_EQ(LoadMessage(1), 1);
        EXPECT_EQ(std::string(GameState.messageSlots[1]), c.joined);
        EXPECT_STREQ(Subtitles.text, std::string(c.joined, 0, kSubtitleTextBytes - 1).c_str());
        EXPECT_EQ(Subtitles.mode, kSubtitleTicker);
        EXPECT_EQ(Subtitles.priority, kMessagePriority);
        EXPECT_STREQ(Subtitles.voice, ".\\smp\\ms22\\voix\\l1.snp");
        EXPECT_EQ(GameState.lastSpeaker, 0);
        EXPECT_EQ(Prefix(VoiceResArchive), "");
        EXPECT_EQ(CurrentResArchive, MainResArchive);
        test::FreeArchives();
    }
}

TEST_F(MessagesTest, MessagesWithoutASlotOrBehindABusyTickerDoNotStart) {
    DemoTexts();
    EXPECT_EQ(LoadMessage(16), 0);
    EXPECT_EQ(LoadMessage(-1), 0);
    EXPECT_EQ(Subtitles.mode, kSubtitleIdle);
    ASSERT_EQ(LoadMessage(1), 1);
    EXPECT_EQ(LoadMessage(1), 0);  // equal priority
    // A missing file starts an empty ticker.
    ClearSubtitles();
    EXPECT_EQ(LoadMessage(5), 1);
    EXPECT_STREQ(GameState.messageSlots[5], "");
}

// A countdown of 10 ticks at 3 a frame runs out on the 4th frame and
// starts message 1 then; the message is done and never spoken again.  One
// running out behind a busy ticker is lost, not retried.
TEST_F(MessagesTest, TheCountdownsStartTheirMessagesOnce) {
    DemoTexts();
    ASSERT_EQ(StartEventTimer(1, 10), 0);
    int started = -1;
    for (int frame = 0; frame < 6; ++frame) {
        UpdateMessages();
        if (started < 0 && Subtitles.mode == kSubtitleTicker) started = frame;
    }
    EXPECT_EQ(started, 3);
    EXPECT_EQ(GameState.eventTimerDone[1], 1);
    EXPECT_EQ(GameState.eventTimerIds[0], 0);
    EXPECT_EQ(StartEventTimer(1, 10), -1);
    // Message 2 behind the ticker of message 1.
    ASSERT_EQ(StartEventTimer(2, 3), 0);
    UpdateMessages();
    EXPECT_EQ(GameState.eventTimers[0], 0);
    EXPECT_EQ(GameState.eventTimerDone[2], 0);
    ClearSubtitles();
    for (int frame = 0; frame < 5; ++frame) UpdateMessages();
    EXPECT_EQ(Subtitles.mode, kSubtitleIdle);
}

TEST_F(MessagesTest, AScriptThatCannotBeReadSaysSoInTheDebugLog) {
    const std::vector<uint8_t> whole = kit::ScriptFile(kit::DemoEvents(22));
    const size_t record = kScriptEventBytes;
    std::vector<uint8_t> negative = whole;
    negative[0] = negative[1] = negative[2] = negative[3] = 0xFF;
    struct Row {
        const char* what;
        std::vector<uint8_t> script;  // empty: no script.ana
        int32_t events;
        const char* line;  // the debug log's line, "" none
    };
    // The demo script holds 5 events of 138 bytes after its 8-byte header.
    const Row rows[] = {
        {"whole", whole, 5, ""},
        {"no script.ana", {}, 0, ""},
        {"cut in the header", {whole.begin(), whole.begin() + 5}, 0,
         "script.ana: cut short in its header: the mission has no events"},
        {"cut in the last event", {whole.begin(), whole.end() - 1}, 0,
         "script.ana: cut short, 5 events promised and room for 4: the mission has no events"},
        {"two events short", {whole.begin(), whole.end() - 2 * record}, 0,
         "script.ana: cut short, 5 events promised and room for 3: the mission has no events"},
        {"a negative count", negative, 0, "script.ana: event count -1: the mission has no events"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        fs::remove(dir_ / "debug.txt");
        std::vector<kit::ArchiveMember> game;
        if (!r.script.empty()) game.push_back({".\\ms22\\script.ana", r.script});
        Archives(game, {{".\\ms22\\f_dial.txt", Text(kit::DemoDialogue(22))}});
        LoadDialogues(0);
        EXPECT_EQ(EventCount, r.events);
        std::ifstream in(dir_ / "debug.txt");
        const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(log, *r.line ? std::string(r.line) + "\n" : "");
        FreeMessages();
        test::FreeArchives();
    }
}

// ---------------------------------------------------------------------------
// script.ana: the kit's files read and written back
// ---------------------------------------------------------------------------

class ScriptFileTest : public MessagesTest {
protected:
    // The file read with ReadEventScript through the plain table.
    int Read(const std::vector<uint8_t>& bytes) {
        Put("script.ana", bytes);
        CurrentFileTable = &PlainFileTable;
        FileHandle f = PlainFileTable.Open("script.ana", "rb");
        EXPECT_NE(f, nullptr);
        const int ok = ReadEventScript(f);
        PlainFileTable.Close(f);
        return ok;
    }
    std::vector<uint8_t> Written() {
        FileHandle f = PlainFileTable.Open("written.ana", "wb");
        EXPECT_EQ(WriteEventScript(f), 1);
        PlainFileTable.Close(f);
        std::ifstream in("written.ana", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(ScriptFileTest, TheDemoScriptsReadAsTheKitWroteThemAndWriteBackWhole) {
    for (int mission : {22, 7}) {
        SCOPED_TRACE(mission);
        const std::vector<kit::EventSpec> events = kit::DemoEvents(mission);
        ASSERT_EQ(Read(kit::ScriptFile(events)), 1);
        ASSERT_EQ(EventCount, int32_t(events.size()));
        // The fields the kit set, by their offsets, are the members'.
        const ScriptEvent& guard = EventTable[3];
        EXPECT_EQ(guard.character, 1);
        EXPECT_EQ(guard.phrase, 1);
        EXPECT_EQ(guard.step, 1);
        EXPECT_EQ(guard.stateValue, 0);
        EXPECT_EQ(guard.roomCode, kAnyRoom);
        EXPECT_EQ(guard.countUp, 1);
        EXPECT_EQ(guard.speakDistance, 600);
        EXPECT_EQ(guard.messageNumber, 1);
        EXPECT_EQ(guard.messageDelay, 140);
        EXPECT_EQ(EventTable[0].flagKind, 1);
        EXPECT_EQ(EventTable[0].flagIndex, mission == 7 ? 21 : 20);
        EXPECT_EQ(EventTable[0].roomCode, 1);
        EXPECT_EQ(EventTable[1].useAdvanceB, 1);
        EXPECT_EQ(EventTable[2].useAdvanceA, 1);
        EXPECT_EQ(EventTable[4].missionEnd, mission == 7 ? 22 : 7);
        EXPECT_EQ(EventTable[4].step, 2);
        // Written back: the same bytes, then the dialogue state.
        std::vector<uint8_t> state(kit::kDialogueStateBytes, 0);
        state[1] = 1;
        state[255] = 3;
        if (!DialogueState) DialogueState = static_cast<uint8_t*>(MemAlloc(kDialogueStateBytes));
        std::memcpy(DialogueState, state.data(), state.size());
        EXPECT_EQ(Written(), kit::ScriptFile(events, kit::kOwnCount, kit::kScriptVersion, &state));
        FreeMessages();
    }
}

TEST_F(ScriptFileTest, EveryFieldSurvivesTheRoundTrip) {
    // An event whose every byte differs from its neighbours.
    kit::EventSpec all;
    for (size_t i = 0; i < kit::kEventImageBytes; ++i) all.image[i] = uint8_t(i * 7 + 3);
    const std::vector<uint8_t> file = kit::ScriptFile({all, kit::Event(2, 3, 4, 5)}, kit::kOwnCount, 1234);
    ASSERT_EQ(Read(file), 1);
    ASSERT_EQ(EventCount, 2);
    uint8_t image[kScriptEventBytes];
    EncodeScriptEvent(EventTable[0], image);
    EXPECT_EQ(std::vector<uint8_t>(image, image + kScriptEventBytes), std::vector<uint8_t>(all.image.begin(), all.image.end()));
    // Written with the version 521 whatever was read.
    DialogueState = static_cast<uint8_t*>(MemAlloc(kDialogueStateBytes));
    std::vector<uint8_t> state(kit::kDialogueStateBytes, 0);
    EXPECT_EQ(Written(), kit::ScriptFile({all, kit::Event(2, 3, 4, 5)}, kit::kOwnCount, 521, &state));
}

TEST_F(ScriptFileTest, MalformedScriptsAreRefusedWhole) {
    for (const kit::ScriptVariant& v : kit::MalformedScriptFiles()) {
        SCOPED_TRACE(v.name);
        const int ok = Read(v.bytes);
        EXPECT_EQ(ok, v.readable ? 1 : 0);
        if (!v.readable) {
            EXPECT_EQ(EventCount, 0);
            EXPECT_EQ(EventTable, nullptr);
        }
        FreeMessages();
    }
    for (const kit::ScriptVariant& v : kit::FaultyEventScripts()) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(Read(v.bytes), 1);
        EXPECT_EQ(size_t(EventCount), (v.bytes.size() - 8) / kScriptEventBytes);
        FreeMessages();
    }
}

}  // namespace
