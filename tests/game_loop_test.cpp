// The game loop on the virtual clock: frame pacing, the pause path, the
// keys the loop owns, the mission change, the end screen, the menu opener
// and the front end's joystick bindings.  The loop runs against a screen in
// memory and a scripted keyboard; the world's stand-ins log their calls.
#include "draw_support.h"
#include "test_archives.h"
#include "engine3d/dqx_3d.h"
#include "game/dqx_load.h"
#include "tools/kit/mission_writer.h"
#include "game/characters.h"
#include "game/dqx_briefing.h"
#include "game/dqx_menu.h"
#include "game/dqx_messages.h"
#include "game/dqx_controls.h"
#include "game/dqx_overlay.h"
#include "game/dqx_save.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "platform/input.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "tools/kit/demo_settings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A keyboard whose key states the test sets; KeyHit answers a press once,
// as the real drivers do.
KeyboardDriver g_keys{};

int KeysOpen() { return 1; }
void KeysClose() {}
void KeysReset() {
    std::memset(g_keys.keyStates, 0, sizeof g_keys.keyStates);
    std::memset(g_keys.hitLatches, 0, sizeof g_keys.hitLatches);
}
char KeysGetKey() { return 0; }
int KeysHit(int scan) {
    if (g_keys.keyStates[scan] & 0x80) {
        if (g_keys.hitLatches[scan]) return 0;
        g_keys.hitLatches[scan] = 1;
        return 1;
    }
    g_keys.hitLatches[scan] = 0;
    return 0;
}
const char* KeysName(int) { return ""; }
int KeysUpdate() { return 1; }

// What happens after presented frame n: keys pressed (positive scan code)
// or released (negative), and a hook.
struct FrameScript {
    std::map<uint64_t, std::vector<int>> keys;
    std::map<uint64_t, void (*)()> actions;
    uint64_t lastFrame = 200;  // the loop is left after this many frames
};

class GameLoopTest : public test::DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        savedCwd_ = fs::current_path();
        char pattern[] = "/tmp/morvanel-loop-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::current_path(dir_);
        unsetenv("MORVANEL_INPUT");
        unsetenv("MORVANEL_FRAMES");
        host::headless::Reset();
        ASSERT_TRUE(host::Start(host::BackendKind::Headless, nullptr));
        host::headless::Reset();
        // 1 ms per pump, 0.1 ms per clock reading: a frame of 3 ticks is
        // about 43 pumps, and a busy wait always ends.
        host::headless::SetAutoStep(100, 1000);
        host::headless::SetPerformanceCounter(false);
        AppActive = 1;

        Screen(test::Layout::k565, 640, 480, 0, 0xFF);
        Clip(0, 0, 639, 479);
        driver_ = VideoDriver{};
        driver_.Lock = Lock;
        driver_.Unlock = Unlock;
        CurrentVideoDriver = &driver_;
        current_ = this;
        PresentHook = Present;

        g_keys = KeyboardDriver{};
        g_keys.Open = KeysOpen;
        g_keys.Close = KeysClose;
        g_keys.Reset = KeysReset;
        g_keys.GetKey = KeysGetKey;
        g_keys.KeyHit = KeysHit;
        g_keys.GetKeyName = KeysName;
        g_keys.Update = KeysUpdate;
        savedKeyboard_ = CurrentKeyboard;
        savedJoystick_ = CurrentJoystick;
        CurrentKeyboard = &g_keys;
        CurrentJoystick = nullptr;

        savedMission_ = MissionNumber;
        savedEm_ = EmEnabled;
        savedSoftware_ = g_SoftwareDisplay;
        savedOptions_ = DisplayOptions;
        EmEnabled = 0;
        g_SoftwareDisplay = 1;
        DisplayOptions = 0;
        GameState = GameStateRecord{};
        GameLoopState = kLoopPlay;
        OverlayFlags = 0;
        BriefingStep = 0;
        ClearSubtitles();
        tickerFrames_ = 0;
        CreditsState = 0;
        StatusText[0] = 0;
        g_LastSaveName.clear();
        g_GameCalls.clear();
        heroes_.assign(kCharacterSlots, CharacterRecord{});
        heroes_[0].opacity = 255;
        CharacterTable = heroes_.data();
        std::snprintf(MenuTexts[136], kMenuTextBytes, "Quick saved");
        std::snprintf(MenuTexts[137], kMenuTextBytes, "Quick loaded");
        std::snprintf(MenuTexts[kSaveFailedText], kMenuTextBytes, "Not saved");
        std::snprintf(MenuTexts[167], kMenuTextBytes, "Quit? (Y/N)");
    }
    void TearDown() override {
        CharacterTable = nullptr;
        CurrentKeyboard = savedKeyboard_;
        CurrentJoystick = savedJoystick_;
        MissionNumber = savedMission_;
        EmEnabled = savedEm_;
        g_SoftwareDisplay = savedSoftware_;
        DisplayOptions = savedOptions_;
        AppActive = 0;
        current_ = nullptr;
        host::Stop();
        fs::current_path(savedCwd_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
        DrawTest::TearDown();
    }

    static uint8_t* Lock(VideoDriver*) {
        ScreenState.frameBuffer = current_->memory_.data();
        ScreenState.flags2 |= kScreen2Locked;
        return ScreenState.frameBuffer;
    }
    static void ClearMemory() { std::fill(current_->memory_.begin(), current_->memory_.end(), 0); }
    static void Unlock(VideoDriver*) { ScreenState.flags2 &= uint8_t(~kScreen2Locked); }
    static void Present() {
        GameLoopTest* t = current_;
        uint64_t frame = t->presented_++;
        auto keys = t->script_.keys.find(frame);
        if (keys != t->script_.keys.end())
            for (int k : keys->second) {
                g_keys.keyStates[std::abs(k)] = k > 0 ? 0x80 : 0;
            }
        auto action = t->script_.actions.find(frame);
        if (action != t->script_.actions.end()) action->second();
        // The ticker leaves the screen: its last busy frame is the next.
        if (frame + 2 == uint64_t(t->tickerFrames_)) Subtitles.tickerX = -kTickerOff;
        if (frame + 1 >= t->script_.lastFrame) GameLoopState = kLoopLeave;
    }

    // A message ticker on screen whose subtitle answers busy for the loop's
    // first `frames` frames (it is moved off the screen as the frame before
    // its last is presented).
    void RunTicker(int frames) {
        ClearSubtitles();
        tickerFrames_ = frames;
        if (frames <= 0) return;
        Subtitles.mode = kSubtitleTicker;
        Subtitles.priority = kMessagePriority;
        Subtitles.tickerX = frames == 1 ? -kTickerOff : kTickerOff;
    }
    static constexpr int32_t kTickerOff = 1 << 20;
    int tickerFrames_ = 0;

    // The calls of that name, in order, with their first argument.
    std::vector<int32_t> Calls(const std::string& name) const {
        std::vector<int32_t> out;
        for (const GameCall& c : g_GameCalls)
            if (c.what == name) out.push_back(c.a);
        return out;
    }
    // The names of the calls in the log, in order, from those listed.
    std::vector<std::string> Order(const std::vector<std::string>& names) const {
        std::vector<std::string> out;
        for (const GameCall& c : g_GameCalls)
            if (std::find(names.begin(), names.end(), c.what) != names.end()) out.push_back(c.what);
        return out;
    }
    // The subtitle calls (one a frame, step 14) made before the first call
    // of that name, -1 when never: for a step before the subtitles this is
    // the frame's number from 0, for a step after them the number + 1.
    int FrameOf(const std::string& name) const {
        int frame = 0;
        for (const GameCall& c : g_GameCalls) {
            if (c.what == name) return frame;
            if (c.what == "UpdateSubtitles") ++frame;
        }
        return -1;
    }

    static inline GameLoopTest* current_ = nullptr;
    VideoDriver driver_{};
    FrameScript script_;
    uint64_t presented_ = 0;
    std::vector<CharacterRecord> heroes_;
    fs::path dir_, savedCwd_;
    KeyboardDriver* savedKeyboard_ = nullptr;
    JoystickDriver* savedJoystick_ = nullptr;
    uint8_t savedMission_ = 0, savedEm_ = 0, savedSoftware_ = 0;
    uint32_t savedOptions_ = 0;

public:
    int32_t stateAt8_ = -1;
};

// ---------------------------------------------------------------------------
// Pacing
// ---------------------------------------------------------------------------

// With 1 ms per pump a frame waits until 43 ms have passed (3.01 ticks of
// 1/70 s, the first reading above the 2-tick minimum); a frame that already
// took 100 ms measures 7 ticks.
struct PaceCase {
    const char* name;
    bool highResolution;
    uint64_t startUs;     // the clock when the timer starts
    uint32_t busyMs;      // time the frame's work takes before PaceFrame
    bool backspace;
    bool noWait;          // the timer does not wait: a frame measures 0
    int32_t step, twice, half;
    float measuredAtLeast;  // the float step keeps the measured value
};

TEST_F(GameLoopTest, PaceFrameSetsTheFrameStep) {
    const uint64_t msWrap = (uint64_t(1) << 32) * 1000;  // the tick count wraps here
    const uint64_t usWrap = uint64_t(1) << 32;           // the 1 MHz counter's low word wraps here
    const PaceCase cases[] = {
        {"three-tick frame", false, 0, 0, false, false, 3, 6, 1, 3.0f},
        {"slow frame clamped to 4", false, 0, 100, false, false, 4, 8, 2, 4.0f},
        {"backspace x8 of 3", false, 0, 0, true, false, 24, 48, 12, 3.0f},
        {"backspace x8 of 7, no clamp", false, 0, 100, true, false, 56, 112, 28, 7.0f},
        {"restart measuring 0 moves by 1", false, 0, 0, false, true, 1, 2, 1, 0.0f},
        {"restart measuring 0 with backspace", false, 0, 0, true, true, 1, 2, 1, 0.0f},
        {"tick count across its wrap", false, msWrap - 60 * 1000, 0, false, false, 3, 6, 1, 3.0f},
        {"slow frame across the wrap", false, msWrap - 60 * 1000, 100, false, false, 4, 8, 2, 4.0f},
        {"counter across its wrap", true, usWrap - 60 * 1000, 0, false, false, 3, 6, 1, 3.0f},
    };
    for (const PaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        host::headless::SetClock(c.startUs);
        host::headless::SetPerformanceCounter(c.highResolution);
        GameTimer = FrameTimer{};
        GameTimer.Flags = c.noWait ? kTimerNoWait : 0;
        FrameTimerInit(&GameTimer, 70);
        g_keys.keyStates[kScanBackspace] = c.backspace ? 0x80 : 0;
        // Three frames each, so the wrap cases cross the wrap.
        for (int frame = 0; frame < 3; ++frame) {
            host::headless::AdvanceClock(uint64_t(c.busyMs) * 1000);
            PaceFrame();
            EXPECT_EQ(GameTimer.DeltaUnits, c.step) << frame;
            EXPECT_EQ(GameTimer.DoubleDelta, c.twice) << frame;
            EXPECT_EQ(GameTimer.HalfDelta, c.half) << frame;
            EXPECT_GE(GameTimer.Delta, c.measuredAtLeast) << frame;
            EXPECT_LT(GameTimer.Delta, c.measuredAtLeast + 1.0f) << frame;
        }
        EXPECT_EQ(GameTimer.Flags & kTimerHiRes, c.highResolution ? kTimerHiRes : 0);
    }
}

// ---------------------------------------------------------------------------
// The pause path
// ---------------------------------------------------------------------------

struct PauseCase {
    const char* name;
    int32_t menuSlide;
    int32_t briefingStep;
    int changeFrame;  // frame (from 0) in which the pending room change happens
};

TEST_F(GameLoopTest, PausePathFreezesThePendingRoomChange) {
    // 10 ticks pending at 3 ticks a frame: 7, 4, 1, then the change in the
    // fourth updated frame.  The pause lasts frames 0 to 4.
    const PauseCase cases[] = {
        {"menu fully open", 1, 0, 8},
        {"briefing waiting", 0, 2, 8},
        {"menu sliding does not pause", 30, 0, 3},
        {"no pause", 0, 0, 3},
    };
    for (const PauseCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_GameCalls.clear();
        presented_ = 0;
        GameLoopState = kLoopPlay;
        GameState.menuSlide = c.menuSlide;
        BriefingStep = c.briefingStep;
        GameState.pendingRoom = 3;
        GameState.pendingRoomTicks = 10;
        script_ = FrameScript{};
        script_.lastFrame = 12;
        script_.actions[4] = [] {
            const bool paused = GameState.menuSlide == 1 || BriefingStep == 2;
            if (paused) {
                EXPECT_EQ(GameState.pendingRoomTicks, 10) << "no countdown while paused";
            }
            EXPECT_EQ(OverlayFlags & 1, paused ? 0 : 1);
            // The pause ends after frame 4; a sliding menu keeps sliding.
            if (GameState.menuSlide == 1) GameState.menuSlide = 0;
            BriefingStep = 0;
        };
        GameLoop();
        EXPECT_EQ(FrameOf("ChangeRoom"), c.changeFrame);
        EXPECT_EQ(Calls("ChangeRoom"), std::vector<int32_t>{3});
        EXPECT_EQ(GameState.pendingRoomTicks, 0);
        const bool paused = c.changeFrame > 3;
        EXPECT_EQ(Calls("PauseMenu").size(), paused ? 5u : 0u);
        EXPECT_EQ(Calls("HandlePlayerControls").size(), paused ? 7u : 12u);
        // F4 and the rest of the frame ran in every frame, paused or not.
        EXPECT_EQ(Calls("DrawOverlay").size(), 12u);
        EXPECT_EQ(OverlayFlags & 1, 1);
    }
}

// ---------------------------------------------------------------------------
// Quick save and quick load
// ---------------------------------------------------------------------------

struct QuickKeyCase {
    const char* name;
    int key;
    uint8_t special, lock;
    int32_t menuSlide;
    const char* saveOrLoad;  // the call expected, or nullptr
    const char* status;
    bool developerCtrl = false;  // Left Ctrl held in developer mode
};

TEST_F(GameLoopTest, QuickSaveAndQuickLoadKeys) {
    const QuickKeyCase cases[] = {
        // No mission is open here: every save fails and says so, and there
        // is no quick save to load, which shows nothing (the save games'
        // own tests load and save for real).
        {"F5 saves", kScanF5, 0, 0, 0, "WriteSaveGame", "Not saved"},
        {"F5 refused while an event holds the hero", kScanF5, 0, 1, 0, nullptr, ""},
        {"F5 refused while the hero dies", kScanF5, 4, 0, 0, nullptr, ""},
        {"F5 refused while a scene holds the hero", kScanF5, 8, 0, 0, nullptr, ""},
        {"F5 refused in a scripted state", kScanF5, 16, 0, 0, nullptr, ""},
        {"F5 refused in the other scripted state", kScanF5, 32, 0, 0, nullptr, ""},
        {"F5 in the pause path", kScanF5, 0, 0, 1, "WriteSaveGame", "Not saved"},
        {"F4 loads", kScanF4, 0, 0, 0, "ReadSaveGame", ""},
        {"F4 while the hero is held", kScanF4, 0, 1, 0, "ReadSaveGame", ""},
        {"F4 while the hero dies", kScanF4, 4, 0, 0, "ReadSaveGame", ""},
        {"F4 in the pause path", kScanF4, 0, 0, 1, "ReadSaveGame", ""},
        // The controls read the developer F4 first and take its press.
        {"Ctrl+F4 in developer mode opens the level jump", kScanF4, 0, 0, 0, nullptr, "", true},
        {"Ctrl+F4 in the pause path loads", kScanF4, 0, 0, 1, "ReadSaveGame", "", true},
    };
    const int32_t savedOption = GameOption;
    for (const QuickKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_GameCalls.clear();
        presented_ = 0;
        StatusText[0] = 0;
        g_LastSaveName.clear();
        GameLoopState = kLoopPlay;
        heroes_[0].special = c.special;
        heroes_[0].lock = c.lock;
        GameState.menuSlide = c.menuSlide;
        GameState.menuPage = 0;
        GameOption = c.developerCtrl ? 4 : 0;
        script_ = FrameScript{};
        script_.keys[1] = {c.key};
        script_.keys[3] = {-c.key};
        if (c.developerCtrl) {
            script_.keys[1].push_back(0x1D);
            script_.keys[3].push_back(-0x1D);
        }
        script_.lastFrame = 6;
        GameLoop();
        if (c.developerCtrl && c.menuSlide == 0) {
            EXPECT_EQ(GameState.menuPage, 17);
        }
        EXPECT_EQ(Calls("WriteSaveGame").size() + Calls("ReadSaveGame").size(), c.saveOrLoad ? 1u : 0u);
        if (c.saveOrLoad) {
            EXPECT_EQ(Calls(c.saveOrLoad), std::vector<int32_t>{0});  // slot 0
            EXPECT_EQ(FrameOf(c.saveOrLoad), 2);  // held for two frames, taken once
        }
        if (c.key == kScanF5 && c.saveOrLoad) {
            EXPECT_EQ(g_LastSaveName, "Quick save");
        }
        EXPECT_STREQ(StatusText, c.status);
    }
    GameOption = savedOption;
}

// ---------------------------------------------------------------------------
// The mission change
// ---------------------------------------------------------------------------

struct MissionChangeCase {
    const char* name;
    uint8_t mission;
    int32_t busyFrames;  // frames during which a message runs
    const char* autosave;  // the autosave's name, nullptr for none
    int textPage;          // the page shown instead, -1 for none
    int changeFrame;  // the frame (from 0) whose end changes the mission
};

TEST_F(GameLoopTest, MissionChangeWaitsForIdleSubtitles) {
    // Mission 1 is entry 4 of the mission list: menu text 10.
    std::snprintf(MenuTexts[10], kMenuTextBytes, "The Harbour");
    const MissionChangeCase cases[] = {
        {"mission 1 autosaves under its name", 1, 0, "Vantilers-The Harbour", -1, 0},
        {"waits for the message", 1, 3, "Vantilers-The Harbour", -1, 3},
        {"mission 15: the list's last entry", 15, 0, "Vantilers-Vantilers", -1, 0},
        {"mission 20 still autosaves", 20, 0, "Vantilers-Vantilers", -1, 0},
        {"mission 21: text page 0, no autosave", 21, 0, nullptr, 0, 0},
        {"mission 23: text page 2 after the voice", 23, 2, nullptr, 2, 2},
    };
    // The change opens mission 7 for real: the 3D memory, and its records
    // as a loose file.
    const FileTable* savedTable = CurrentFileTable;
    MainResArchive = ResAddArchive("absent.res", 0);
    CurrentFileTable = &ResourceFileTable;
    Init_3DMemory();
    fs::create_directories(dir_ / "ms7");
    std::vector<uint8_t> mpl = kit::MissionFile(kit::DemoMission7());
    std::ofstream(dir_ / "ms7" / "mission.mpl", std::ios::binary)
        .write(reinterpret_cast<const char*>(mpl.data()), std::streamsize(mpl.size()));
    for (const MissionChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_GameCalls.clear();
        presented_ = 0;
        g_LastSaveName.clear();
        GameLoopState = kLoopPlay;
        MissionNumber = c.mission;
        RunTicker(c.busyFrames);
        script_ = FrameScript{};
        script_.lastFrame = 8;
        script_.actions[0] = [] { GameState.nextMissionRequest = 7; };
        GameLoop();
        // Requested as frame 0 is presented: the change comes at the end of
        // the first frame whose subtitles are idle.
        EXPECT_EQ(FrameOf("GoToMission"), c.changeFrame + 1);
        ASSERT_EQ(Calls("GoToMission"), std::vector<int32_t>{7});
        EXPECT_EQ(GameState.nextMissionRequest, 0);
        if (c.autosave) {
            EXPECT_EQ(Calls("WriteSaveGame"), std::vector<int32_t>{1});
            EXPECT_EQ(g_LastSaveName, c.autosave);
            EXPECT_EQ(Order({"WriteSaveGame", "GoToMission"}), (std::vector<std::string>{"WriteSaveGame", "GoToMission"}));
        } else {
            EXPECT_TRUE(Calls("WriteSaveGame").empty());
        }
        EXPECT_EQ(Calls("ShowTextPage"), c.textPage < 0 ? std::vector<int32_t>{} : std::vector<int32_t>{c.textPage});
    }
    EndMission();
    test::FreeArchives();
    CurrentFileTable = savedTable;
}

// ---------------------------------------------------------------------------
// The quit prompt and the screenshot keys
// ---------------------------------------------------------------------------

struct QuitCase {
    const char* name;
    std::vector<int> keys;  // pressed after frame 1, in that order one frame apart
    int32_t stateAfter;
    bool loopLeft;          // the loop ended by the prompt, not by the frame limit
};

TEST_F(GameLoopTest, QuitPromptAnswers) {
    const QuitCase cases[] = {
        {"Y leaves", {kScanY}, kLoopLeave, true},
        {"O leaves", {kScanO}, kLoopLeave, true},
        {"N stays", {kScanN}, kLoopPlay, false},
        {"another key leaves the prompt up", {0x25}, kLoopQuitPrompt, false},
    };
    for (const QuitCase& c : cases) {
        SCOPED_TRACE(c.name);
        presented_ = 0;
        GameLoopState = kLoopQuitPrompt;
        script_ = FrameScript{};
        for (size_t i = 0; i < c.keys.size(); ++i) {
            script_.keys[1 + 2 * i].push_back(c.keys[i]);
            script_.keys[2 + 2 * i].push_back(-c.keys[i]);
        }
        script_.lastFrame = 10;
        script_.actions[8] = [] { current_->stateAt8_ = GameLoopState; };
        stateAt8_ = -1;
        GameLoop();
        EXPECT_EQ(presented_ < 10, c.loopLeft);
        if (!c.loopLeft) {
            EXPECT_EQ(stateAt8_, c.stateAfter);
        } else {
            EXPECT_EQ(GameLoopState, kLoopLeave);
        }
    }
}

// From play: Escape opens the main menu, whose panel slides open in 9
// frames (50 down to 1 by 6 a frame); Up then moves the highlight from the
// first entry round to the last, Quit, and Enter raises the quit prompt,
// which Y or N answers.
TEST_F(GameLoopTest, MainMenuQuitRaisesThePrompt) {
    struct Case {
        const char* name;
        int answer;
        bool loopLeft;
    };
    const Case cases[] = {
        {"then Y", kScanY, true},
        {"then N", kScanN, false},
    };
    // The loop's state after Enter's frame and after the answer's.
    static int32_t afterEnter, afterAnswer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        presented_ = 0;
        GameLoopState = kLoopPlay;
        GameState.menuSlide = 0;
        GameState.menuChoice = 0;
        GameState.menuTabFocus = 0;
        script_ = FrameScript{};
        const int keys[] = {kScanEscape, kScanUp, kScanEnter, c.answer};
        const int pressedAfter[] = {1, 14, 16, 18};
        for (int i = 0; i < 4; ++i) {
            script_.keys[uint64_t(pressedAfter[i])].push_back(keys[i]);
            script_.keys[uint64_t(pressedAfter[i] + 1)].push_back(-keys[i]);
        }
        afterEnter = afterAnswer = -1;
        script_.actions[13] = [] { EXPECT_EQ(GameState.menuSlide, 1) << "open before Up"; };
        script_.actions[17] = [] { afterEnter = GameLoopState; };
        script_.actions[25] = [] { afterAnswer = GameLoopState; };
        script_.lastFrame = 30;
        GameLoop();
        EXPECT_EQ(afterEnter, kLoopQuitPrompt);
        EXPECT_EQ(presented_ < 30, c.loopLeft);
        if (c.loopLeft) {
            EXPECT_EQ(GameLoopState, kLoopLeave);
        } else {
            EXPECT_EQ(afterAnswer, kLoopPlay);
        }
    }
}

// A room or mission change a menu page asked for runs once the frame is
// unlocked, before the frame's object use, never while the overlay draws.
TEST_F(GameLoopTest, MenuRequestRunsOnceTheFrameIsUnlocked) {
    driver_.Unlock = [](VideoDriver* driver) {
        RecordGameCall("Unlock");
        Unlock(driver);
    };
    script_.actions[2] = [] { QueueMenuRequest({MenuRequestKind::kChangeRoom, 3, 0}); };
    script_.lastFrame = 5;
    GameLoop();
    EXPECT_EQ(Calls("ChangeRoom"), std::vector<int32_t>{3});
    const std::vector<std::string> order = Order({"DrawOverlay", "Unlock", "ChangeRoom", "UseObject"});
    const auto at = std::find(order.begin(), order.end(), "ChangeRoom");
    ASSERT_NE(at, order.end());
    ASSERT_GE(at - order.begin(), 2);
    EXPECT_EQ(std::vector<std::string>(at - 2, at + 2),
              (std::vector<std::string>{"DrawOverlay", "Unlock", "ChangeRoom", "UseObject"}));
    EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kNone);
}

TEST_F(GameLoopTest, QuitPromptShadesTheScreenWithTheCheckerboard) {
    GameLoopState = kLoopQuitPrompt;
    script_.lastFrame = 1;
    GameLoop();
    // The stipple fill from (0, 0) to (639, 478): every other pixel black,
    // the other ones as they were; line 479 is left alone.
    for (int y : {0, 1, 240, 478}) {
        int black = 0;
        for (int x = 0; x < 640; ++x) black += Pixel(x, y) == 0;
        EXPECT_EQ(black, 320) << y;
        EXPECT_NE(Pixel(0, y) == 0, Pixel(1, y) == 0) << y;
    }
    for (int x = 0; x < 640; ++x) ASSERT_EQ(Pixel(x, 479), 0xFFFFu) << x;
}

struct ScreenshotCase {
    const char* name;
    std::vector<int> keys;
    std::vector<std::string> files;
};

TEST_F(GameLoopTest, ScreenshotKeysWriteNumberedFiles) {
    const ScreenshotCase cases[] = {
        {"P", {kScanP}, {"spindrel0000.tga"}},
        {"print screen", {kScanPrint}, {"spindrel0000.tga"}},
        {"both, one frame apart", {kScanP, kScanPrint}, {"spindrel0000.tga", "spindrel0001.tga"}},
        {"another key", {0x1E}, {}},
    };
    for (const ScreenshotCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<fs::path> old;
        for (const auto& e : fs::directory_iterator(dir_)) old.push_back(e.path());
        for (const fs::path& p : old) fs::remove(p);
        presented_ = 0;
        GameLoopState = kLoopPlay;
        script_ = FrameScript{};
        for (size_t i = 0; i < c.keys.size(); ++i) {
            script_.keys[1 + 2 * i].push_back(c.keys[i]);
            script_.keys[2 + 2 * i].push_back(-c.keys[i]);
        }
        script_.lastFrame = 8;
        GameLoop();
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().filename().string().rfind("spindrel", 0) == 0) files.push_back(e.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, c.files);
    }
}

// ---------------------------------------------------------------------------
// Order of a frame and of the world update
// ---------------------------------------------------------------------------

TEST_F(GameLoopTest, FrameRunsItsStepsInOrder) {
    // A mission of one room whose hero is present, so that the characters'
    // pass updates it; its model handle names no object.
    MissionRecord mission{};
    RoomRecord room{};
    CharacterDef hero{};
    hero.opacity = 255;
    hero.shown = 1;
    mission.characterDefs = &hero;
    mission.characterDefCount = 1;
    mission.rooms = &room;
    mission.roomCount = 1;
    heroes_[0].def = &hero;
    heroes_[0].present = 1;
    heroes_[0].model = 0x7ffffff;
    MissionPtr = &mission;
    CurrentRoomIndex = 0;
    script_.lastFrame = 1;
    GameLoop();
    MissionPtr = nullptr;
    heroes_[0] = CharacterRecord{};
    const std::vector<std::string> expected = {
        "HandlePlayerControls", "UpdateHeroMovement", "UpdateCharacter", "UpdateAllies", "AnimateObjects", "UpdateWeapons", "UpdateDrains", "UpdateTendrils",
        "RunEvents", "UpdateMessages", "DrawOverlay", "UseObject", "UpdateSubtitles"};
    EXPECT_EQ(Order(expected), expected);
    EXPECT_EQ(Calls("UseObject"), std::vector<int32_t>{1});
    EXPECT_EQ(Calls("DrawOverlay"), std::vector<int32_t>{1});     // OverlayFlags bit 0 set
    EXPECT_EQ(GameState.mapZoom, 65536);
    EXPECT_EQ(GameTimer.Flags & kTimerHiRes, 0);
}

struct DeathCase {
    const char* name;
    uint8_t dying;
    int32_t anim;
    uint8_t opacity;
    bool starts;
    // A hero with a definition: its life and special state, and whether
    // the definition's dying byte is set.
    bool defined = false;
    int32_t life = 100;
    uint8_t special = 0;
    uint8_t defDying = 0;
};

TEST_F(GameLoopTest, WorldUpdateStartsTheHerosDeathOnce) {
    const DeathCase cases[] = {
        {"dying, standing, opaque", 1, 1, 255, true},
        {"dying, opacity just above half", 1, 1, 129, true},
        {"dying, opacity half", 1, 1, 128, false},
        {"already in death 21", 1, 21, 255, false},
        {"already in death 23", 1, 23, 255, false},
        {"code 24 is no death", 1, 24, 255, true},
        {"not dying", 0, 1, 255, false},
        // A life run out without a hit (the enemy manager's contact damage)
        // starts the death as a hit at that life would.
        {"life 0", 0, 1, 255, true, true, 0},
        {"life below 0", 0, 1, 255, true, true, -7},
        {"life 1", 0, 1, 255, false, true, 1},
        {"life 0, held by a scene", 0, 1, 255, false, true, 0, 8},
        {"life 0, dying already", 0, 1, 255, false, true, 0, 0, 2},
    };
    for (const DeathCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_GameCalls.clear();
        CharacterRecord hero{};
        CharacterDef def{};
        def.life = c.life;
        def.dying = c.defDying;
        if (c.defined) hero.def = &def;
        hero.special = c.special;
        hero.dying = c.dying;
        hero.currentAnim = c.anim;
        hero.opacity = c.opacity;
        UpdateWorld(&hero);
        UpdateWorld(&hero);
        EXPECT_EQ(Calls("StartCharacterDeath").size(), c.starts ? 1u : 0u);
        EXPECT_EQ(Calls("RunEvents").size(), 2u);
    }
}

// ---------------------------------------------------------------------------
// Render, menu opener, end screen, front end
// ---------------------------------------------------------------------------

struct RenderCase {
    const char* name;
    uint8_t software;
    uint32_t options;
    uint8_t framesToSkip;
    bool oddLinesBlack;
};

TEST_F(GameLoopTest, RenderFrameBlanksOddLinesWhenInterleaved) {
    const RenderCase cases[] = {
        {"interleaved", 1, 2, 0, true},
        {"not interleaved", 1, 4, 0, false},
        {"interleaved, frame skipped", 1, 2, 1, false},
        {"3D layer: its frame is not locked yet", 0, 2, 0, false},
    };
    for (const RenderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(memory_.begin(), memory_.end(), 0xFF);
        g_SoftwareDisplay = c.software;
        DisplayOptions = c.options;
        GameState.framesToSkip = c.framesToSkip;
        Clip(0, 0, 639, 477);
        // The software renderer draws into the locked frame; the 3D layer
        // renders before the lock.
        if (c.software) Lock(&driver_);
        RenderFrame();
        Unlock(&driver_);
        // Odd lines up to the clip bottom only.
        for (int y : {0, 1, 2, 3, 475, 476, 477, 478, 479}) {
            bool black = (y & 1) && y <= 477 && c.oddLinesBlack;
            EXPECT_EQ(Pixel(0, y), black ? 0u : 0xFFFFu) << y;
            EXPECT_EQ(Pixel(639, y), black ? 0u : 0xFFFFu) << y;
        }
    }
}

TEST_F(GameLoopTest, FramesToSkipAreNeitherDrawnNorPresented) {
    GameState.framesToSkip = 3;
    GameState.nextMissionRequest = 0;
    script_.lastFrame = 2;
    GameLoop();
    // Five frames ran: three skipped, then two presented.
    EXPECT_EQ(Calls("UpdateSubtitles").size(), 5u);
    EXPECT_EQ(presented_, 2u);
    EXPECT_EQ(GameState.framesToSkip, 0);
}

struct MenuCase {
    int32_t slide, direction;
    int page;
    int32_t slideAfter, directionAfter;
};

TEST_F(GameLoopTest, OpenMenuMovesTheSlideCounter) {
    const MenuCase cases[] = {
        {0, 1, 3, 50, -1},   // closed: starts opening
        {1, -1, 5, 2, 1},    // open: starts closing
        {2, 1, 4, 59, 1},    // closing from 2 jumps near its end
        {30, -1, 6, 30, -1}, // sliding: left alone
        {59, 1, 0, 59, 1},
    };
    for (const MenuCase& c : cases) {
        SCOPED_TRACE(c.slide);
        GameState.menuSlide = c.slide;
        GameState.menuDirection = c.direction;
        GameState.menuPage = 99;
        OpenMenu(c.page);
        EXPECT_EQ(GameState.menuSlide, c.slideAfter);
        EXPECT_EQ(GameState.menuDirection, c.directionAfter);
        EXPECT_EQ(GameState.menuPage, c.page);
    }
}

TEST_F(GameLoopTest, FinishedGameShowsTheEndScreenUntilEscapeIsHeld) {
    GameLoopState = kLoopFinished;
    RunTicker(2);
    // Escape is held from the end screen's fourth frame (frames 0 and 1
    // are the game's, while the message ends).
    script_.keys[5] = {kScanEscape};
    script_.lastFrame = 100;
    ResArchive* main = MainResArchive;
    // The display set-up's clear: the whole memory screen to 0.
    ActivePrimTable.ClearScreen = ClearMemory;
    GameLoop();
    EXPECT_EQ(GameLoopState, kLoopFinished);  // left without the quit state
    EXPECT_EQ(FrameOf("CreditsPage"), 3);  // at the end of frame 2
    EXPECT_EQ(CreditsState, 22);  // 21 set, then loaded and scrolling
    EXPECT_EQ(presented_, 6u);
    // Drawn once before the loop, then once per end-screen frame.
    EXPECT_EQ(Calls("CreditsPage").size(), 5u);
    EXPECT_EQ(MainResArchive, main);
    EXPECT_EQ(CurrentResArchive, MainResArchive);
    // No picture (no archive here): the screen is cleared under the credits.
    EXPECT_EQ(Pixel(320, 240), 0u);
}

struct JoystickCase {
    const char* name;
    int acquire;
    bool bound;
};

JoystickDriver g_joystick{};
int g_acquireAnswer = 0;
int JoyAcquire() { return g_acquireAnswer; }
int JoyUnacquire() { return 1; }

TEST_F(GameLoopTest, FrontEndBindsTheJoystickToThePlayersKeys) {
    // The menu texts the front end's graphics load, as a loose file.
    fs::create_directories(dir_ / "menus");
    std::ofstream(dir_ / "menus" / "f_text.txt", std::ios::binary) << kit::TextFileBytes(kit::DemoMenuTexts());
    const FileTable* table = CurrentFileTable;
    CurrentFileTable = &PlainFileTable;
    std::vector<KeyBinding> saved(PlayerKeyBindings, PlayerKeyBindings + kKeyBindings);
    for (int i = 0; i < kKeyBindings; ++i) PlayerKeyBindings[i].scanCode = uint8_t(0x40 + i);
    const JoystickCase cases[] = {{"acquired", 1, true}, {"not acquired", 0, false}};
    for (const JoystickCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_joystick = JoystickDriver{};
        g_joystick.Acquire = JoyAcquire;
        g_joystick.Unacquire = JoyUnacquire;
        g_acquireAnswer = c.acquire;
        CurrentJoystick = &g_joystick;
        OpenFrontEnd();
        // Buttons: fire (6), use (7), jump (10), side-step (18); stick up,
        // down, left, right: forward (0), back (1), turn left (3), turn
        // right (2).
        const uint8_t buttons[4] = {0x46, 0x47, 0x4A, 0x52};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(g_joystick.buttonKeys[i], c.bound ? buttons[i] : 0) << i;
        EXPECT_EQ(g_joystick.buttonKeys[4], 0);
        EXPECT_EQ(g_joystick.yKeys[0], c.bound ? 0x40 : 0);
        EXPECT_EQ(g_joystick.yKeys[1], c.bound ? 0x41 : 0);
        EXPECT_EQ(g_joystick.xKeys[0], c.bound ? 0x43 : 0);
        EXPECT_EQ(g_joystick.xKeys[1], c.bound ? 0x42 : 0);
        CloseFrontEnd();
    }
    CurrentJoystick = nullptr;
    CurrentFileTable = table;
    std::copy(saved.begin(), saved.end(), PlayerKeyBindings);
}

}  // namespace
