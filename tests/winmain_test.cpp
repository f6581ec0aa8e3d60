// The program's spine, run in this process on the headless host.
#include "host/headless/headless.h"
#include "media/snd_layer.h"
#include "platform/display/ddraw.h"
#include "platform/memory.h"
#include "render/d3d_display.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/settings.h"
#include "program/winmain.h"
#include "program_state.h"
#include "test_archives.h"
#include "test_support.h"

#include <cstdlib>
#include <cstring>

namespace {

class SpineTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        savedConfig_ = EngineConfig;
        ResetProgramState();
        // The four archives the program looks for, empty.
        std::vector<uint8_t> empty = test::Archive({});
        for (const char* name : {"game.res", "audio.res", "voice.res", "music.res"})
            WriteFile(name, std::string(empty.begin(), empty.end()));
        // The menu texts and the first mission, as loose files.
        for (const kit::NamedFile& f : test::DemoRunFiles())
            WriteFile(test::LoosePath(f.name), std::string(f.data.begin(), f.data.end()));
    }
    void TearDown() override {
        ResetProgramState();
        EngineConfig = savedConfig_;
        HeadlessTest::TearDown();
    }
    static void ResetProgramState() { test::ResetProgramState(); }
    void WriteSettings() {
        WriteFile("config.ini", "[Game]\nOption=0\n");
        WriteFile("registry.ini",
                  "[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Version]\nRevision=1\n"
                  "[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Audio]\nDisable=0\nDevice=0\n");
    }
    static int Run() { return test::RunWinMain("-ignored --words"); }
    EngineConfigRecord savedConfig_;
};

}  // namespace

TEST_F(SpineTest, NormalEndShowsNoBoxAndExitsWithZero) {
    WriteSettings();
    // Once the logo's four seconds are over: Escape opens the main menu;
    // once its panel has slid open, Up moves round to its last entry, Quit,
    // Enter raises the quit prompt and Y answers it.
    const uint8_t keys[] = {1, 0xC8, 0x1C, 0x15};
    const uint64_t at[] = {5000, 5600, 5800, 6100};
    for (int i = 0; i < 4; ++i) {
        host::headless::ScheduleKey(at[i], keys[i], true);
        host::headless::ScheduleKey(at[i] + 100, keys[i], false);
    }
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(host::headless::Boxes().empty());
    EXPECT_EQ(ReadFile("debug.txt"), "Spindrel I.A. Manager Version 2.05 RC7\n");  // the enemy manager's banner
    EXPECT_TRUE(Exists("player.ini"));
    EXPECT_EQ(EngineConfig.DevicesStarted, 0);
    EXPECT_EQ(WorkBuffer, nullptr);
    EXPECT_FALSE(host::IsWindowVisible(MainWindow));
    EXPECT_GE(host::CursorCounter(), 0);  // hidden by the mouse start, shown again at the end
    EXPECT_EQ(std::string(EngineConfig.Identity), "app/x-vnd.Vorn.Morvanel");
    EXPECT_STREQ(host::GetWindowTitle(MainWindow), EngineConfig.Title);
}

TEST_F(SpineTest, FatalBeforeTheWindowEndsAfterItsBox) {
    WriteFile("config.ini", "[Game]\n");  // settings file but no registry values
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    const auto& box = host::headless::Boxes()[0];
    EXPECT_EQ(box.text, "No settings found...\nPlease run setup program before.");
    EXPECT_EQ(box.flags, host::MB_ICONHAND);
    EXPECT_EQ(MainWindow, nullptr);
    EXPECT_EQ(ReadFile("debug.txt"), "No settings found...\nPlease run setup program before.\n");
}

TEST_F(SpineTest, FatalAfterTheWindowStopsDevicesAndRestoresTheDesktop) {
    WriteSettings();
    EngineConfig.ControllerId = 2;  // a joystick, and none can be opened
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    EXPECT_EQ(host::headless::Boxes()[0].text, "no joystick!");
    EXPECT_EQ(host::headless::Boxes()[0].flags, host::MB_ICONHAND);
    EXPECT_EQ(ReadFile("debug.txt"), "no joystick!\n");
    EXPECT_NE(MainWindow, nullptr);
    EXPECT_FALSE(host::IsWindowVisible(MainWindow));
    EXPECT_TRUE(host::GetScreenSaverActive());
}

namespace {

intptr_t FailOnCharacter(host::HWND, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == host::WM_CHAR) FatalError("Lost %c during the run (100%%)", int(wParam));
    return 0;
}

}  // namespace

TEST_F(SpineTest, FatalDuringTheRunStopsTheDevicesFirst) {
    WriteSettings();
    WindowHook = FailOnCharacter;
    host::headless::ScheduleMessage(20, host::WM_CHAR, 'k', 1);
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    EXPECT_EQ(host::headless::Boxes()[0].text, "Lost k during the run (100%)");
    EXPECT_EQ(host::headless::Boxes()[0].flags, host::MB_ICONHAND);
    EXPECT_EQ(ReadFile("debug.txt"), "Lost k during the run (100%)\n");
    EXPECT_EQ(EngineConfig.DevicesStarted, 0);
    EXPECT_EQ(WorkBuffer, nullptr);
    EXPECT_EQ(g_SndPrimary, nullptr);  // the sound layer closed
    EXPECT_FALSE(DDrawObjectExists());
    EXPECT_FALSE(host::IsWindowVisible(MainWindow));
}

TEST_F(SpineTest, SoundDeviceFailureRetryRunsSilent) {
    WriteSettings();
    ::setenv("MORVANEL_AUDIO", "none", 1);
    host::Stop();
    ASSERT_TRUE(host::Start(host::BackendKind::Headless, nullptr));
    ::unsetenv("MORVANEL_AUDIO");
    host::headless::SetModuleFileName(host::ToSystemPath((dir_ / "game-test").string()));
    host::SetRegistryFile((dir_ / "registry.ini").string());
    host::headless::QueueBoxAnswer(host::IDRETRY);
    host::headless::ScheduleClose(40);
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    EXPECT_EQ(host::headless::Boxes()[0].text, "Couldn't initialize DirectSound!");
    EXPECT_EQ(g_SoundOn, 0);
}

TEST_F(SpineTest, CloseDuringTheRunEndsTheProcess) {
    WriteSettings();
    host::headless::SetScreenSize(800, 600);
    host::headless::ScheduleClose(25);
    EXPECT_EQ(Run(), 0);
    EXPECT_GE(host::headless::PumpCount(), 25u);
    EXPECT_TRUE(host::headless::Boxes().empty());
    EXPECT_EQ(EngineConfig.DevicesStarted, 0);
    EXPECT_FALSE(host::IsWindowVisible(MainWindow));
    EXPECT_TRUE(host::GetScreenSaverActive());  // switched off during the run, back on at the end
    EXPECT_EQ(std::filesystem::current_path(), dir_);
    host::Rect r;
    ASSERT_TRUE(host::GetClientRect(MainWindow, &r));
    EXPECT_EQ(r.right, 800);  // the window covers the whole screen
    EXPECT_EQ(r.bottom, 600);
}

TEST_F(SpineTest, ScreenSaverOffAtStartStaysOff) {
    WriteSettings();
    host::SetScreenSaverActive(false);
    host::headless::ScheduleClose(10);
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(host::GetScreenSaverActive());
}

TEST_F(SpineTest, ClassRegistrationFailureReturnsMinusOne) {
    host::WindowClass taken{0, MainWindowProc, nullptr, nullptr, true, "app/x-vnd.Vorn.Morvanel"};
    ASSERT_TRUE(host::RegisterClass(taken));
    EXPECT_EQ(Run(), 1000 - 1);  // WinMain returns -1, with no box
    EXPECT_TRUE(host::headless::Boxes().empty());
    EXPECT_EQ(MainWindow, nullptr);
}

TEST_F(SpineTest, ProgramDirectoryBecomesCurrentAndIsRestored) {
    std::filesystem::create_directories(dir_ / "Bin");
    host::headless::SetModuleFileName(host::ToSystemPath((dir_ / "Bin" / "game.exe").string()));
    SetProgramDirectory(nullptr);
    EXPECT_EQ(std::filesystem::current_path(), dir_ / "Bin");
    EXPECT_EQ(host::ToNativePath(SavedDirectory), dir_.string());
    RestoreSystem();
    EXPECT_EQ(std::filesystem::current_path(), dir_);
}

TEST_F(SpineTest, DoubledBackslashBeforeTheNameGoesWithIt) {
    std::filesystem::create_directories(dir_ / "Bin");
    host::headless::SetModuleFileName(host::ToSystemPath((dir_ / "Bin").string()) + "\\\\game.exe");
    SetProgramDirectory(nullptr);
    EXPECT_EQ(std::filesystem::current_path(), dir_ / "Bin");
    RestoreSystem();
}

namespace {

// A main window and the keyboard fed by messages, without the rest of the run.
class WindowTest : public SpineTest {
protected:
    void SetUp() override {
        SpineTest::SetUp();
        EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
        ASSERT_EQ(CreateMainWindow(nullptr, nullptr, ""), 0);
        CurrentKeyboard = KbdWin32Create();
        CurrentKeyboard->Open();
    }
    void Send(uint32_t message, uintptr_t wParam, intptr_t lParam) {
        host::SendMessage(MainWindow, message, wParam, lParam);
    }
};

intptr_t g_hooked = 0;
intptr_t CountingHook(host::HWND, uint32_t message, uintptr_t, intptr_t) {
    if (message == host::WM_CHAR) ++g_hooked;
    return 0;
}

}  // namespace

TEST_F(WindowTest, PumpStaysWhileInactiveUntilReactivated) {
    host::ShowWindow(MainWindow, host::SW_SHOWNORMAL);  // the window takes the focus
    PumpMessages();
    ASSERT_EQ(AppActive, 1);
    uint64_t now = host::headless::PumpCount();
    host::headless::ScheduleFocus(now + 1, false);
    host::headless::ScheduleFocus(now + 60, true);
    PumpMessages();
    EXPECT_EQ(AppActive, 1);
    EXPECT_GE(host::headless::PumpCount(), now + 60);
}

TEST_F(WindowTest, ActivationResetsTheKeyboard) {
    Send(host::WM_KEYDOWN, ' ', host::MakeKeyLParam(57, false));
    ASSERT_EQ(CurrentKeyboard->keyStates[57], 0x80);
    Send(host::WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(CurrentKeyboard->keyStates[57], 0);
    EXPECT_EQ(CurrentKeyboard->lastChar, 0);
    EXPECT_EQ(CurrentKeyboard->lastScanCode, 57);  // the message driver keeps the last key
    EXPECT_EQ(AppActive, 1);
    Send(host::WM_ACTIVATEAPP, 0, 0);
    EXPECT_EQ(AppActive, 0);
}

TEST_F(WindowTest, KeyMessagesGiveScanCodesWithTheExtendedBit) {
    struct Case {
        uint8_t dik;
    } cases[] = {{0x9D}, {0xC8}, {0xD0}, {0xCB}, {0xCD}, {0x1D}, {0x01}};
    for (const Case& c : cases) {
        intptr_t lParam = host::MakeKeyLParam(c.dik, false);
        EXPECT_EQ(((lParam >> 24) & 1) != 0, (c.dik & 0x80) != 0);
        Send(host::WM_KEYDOWN, 'x', lParam);
        EXPECT_EQ(CurrentKeyboard->lastScanCode, c.dik);
        EXPECT_EQ(CurrentKeyboard->keyStates[c.dik], 0x80) << int(c.dik);
        EXPECT_EQ(CurrentKeyboard->lastChar, 'x');
        Send(host::WM_KEYUP, 0, host::MakeKeyLParam(c.dik, true));
        EXPECT_EQ(CurrentKeyboard->keyStates[c.dik], 0);
    }
}

TEST_F(WindowTest, HeldKeyIsHitOnceUntilReleased) {
    Send(host::WM_KEYDOWN, 0, host::MakeKeyLParam(57, false));
    EXPECT_EQ(CurrentKeyboard->KeyHit(57), 1);
    EXPECT_EQ(CurrentKeyboard->KeyHit(57), 0);
    Send(host::WM_KEYUP, 0, host::MakeKeyLParam(57, true));
    EXPECT_EQ(CurrentKeyboard->KeyHit(57), 0);
    Send(host::WM_KEYDOWN, 0, host::MakeKeyLParam(57, false));
    EXPECT_EQ(CurrentKeyboard->KeyHit(57), 1);
}

TEST_F(WindowTest, CharacterMessagesKeepTheLowByte) {
    Send(host::WM_CHAR, 0x1E9, 0);
    EXPECT_EQ(CurrentKeyboard->lastChar, 0xE9);
    Send(host::WM_SYSCHAR, 'a', 0);
    EXPECT_EQ(CurrentKeyboard->lastChar, 'a');
    Send(host::WM_IME_CHAR, 'b', 0);
    EXPECT_EQ(CurrentKeyboard->lastChar, 'b');
}

TEST_F(WindowTest, MouseButtonsAndWheel) {
    Send(host::WM_LBUTTONDOWN, 0, 0);
    Send(host::WM_RBUTTONDOWN, 0, 0);
    Send(host::WM_MBUTTONDOWN, 0, 0);
    EXPECT_EQ(MouseState.buttons, 7u);
    Send(host::WM_RBUTTONUP, 0, 0);
    EXPECT_EQ(MouseState.buttons, 5u);
    Send(host::WM_LBUTTONUP, 0, 0);
    Send(host::WM_MBUTTONUP, 0, 0);
    EXPECT_EQ(MouseState.buttons, 0u);

    Send(host::WM_MOUSEWHEEL, (uintptr_t(uint16_t(int16_t(-240))) << 16) | host::MK_RBUTTON, 0);
    EXPECT_EQ(MouseState.wheelCount, -2);
    EXPECT_EQ(MouseState.buttons, 2u);
    EXPECT_EQ(MouseState.flags & 4, 4u);
    EXPECT_EQ(MouseState.keyFlags, int32_t(host::MK_RBUTTON));
    Send(host::WM_MOUSEWHEEL, (uintptr_t(100) << 16) | host::MK_LBUTTON | host::MK_MBUTTON, 0);
    EXPECT_EQ(MouseState.wheelCount, 0);  // truncated towards zero
    EXPECT_EQ(MouseState.buttons, 5u);
}

TEST_F(WindowTest, HookSeesEveryMessageFirst) {
    g_hooked = 0;
    WindowHook = CountingHook;
    Send(host::WM_CHAR, 'q', 0);
    Send(host::WM_CHAR, 'r', 0);
    EXPECT_EQ(g_hooked, 2);
    EXPECT_EQ(CurrentKeyboard->lastChar, 'r');
}

TEST_F(WindowTest, MoveRefreshesTheClientRectangle) {
    Send(host::WM_MOVE, 0, 0);
    EXPECT_EQ(MainClientRect.left, 0);
    EXPECT_EQ(MainClientRect.right, host::GetSystemMetrics(host::SM_CXSCREEN));
    EXPECT_EQ(MainClientRect.bottom, host::GetSystemMetrics(host::SM_CYSCREEN));
}

TEST_F(WindowTest, DestroyRestoresTheSystemAndPostsQuit) {
    host::ShowWindow(MainWindow, host::SW_SHOWNORMAL);
    host::ShowCursor(false);
    Send(host::WM_DESTROY, 0, 0);
    EXPECT_FALSE(host::IsWindowVisible(MainWindow));
    EXPECT_EQ(host::CursorCounter(), 0);
    host::Msg msg;
    bool quit = false;
    while (!quit && host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE)) quit = msg.message == host::WM_QUIT;
    EXPECT_TRUE(quit);
}

TEST_F(WindowTest, StopDevicesTwiceDoesNothingTheSecondTime) {
    StartDevices();
    EngineConfig.DevicesStarted = 1;
    EXPECT_NE(WorkBuffer, nullptr);
    StopDevices();
    EXPECT_EQ(WorkBuffer, nullptr);
    EXPECT_EQ(EngineConfig.DevicesStarted, 0);
    StopDevices();
    EXPECT_EQ(EngineConfig.DevicesStarted, 0);
    RestoreSystem();
    RestoreSystem();  // safe to repeat
}

namespace {

// The display driver's slots, wrapped to record which ran.
std::string g_calls;
VideoDriver g_inner;
int RecSetMode(int n) {
    g_calls += "SetMode" + std::to_string(n) + " ";
    return g_inner.SetMode(n);
}
int RecSetModeNumber(int n) {
    g_calls += "SetModeNumber" + std::to_string(n) + " ";
    return g_inner.SetModeNumber(n);
}
int RecCreate(int n) {
    g_calls += "Create" + std::to_string(n) + " ";
    return g_inner.CreateBuffers(n);
}
void RecRelease() {
    g_calls += "ReleaseBuffers ";
    g_inner.ReleaseBuffers();
}

}  // namespace

TEST_F(SpineTest, ChangeDisplayModeTakesTheShortRoadOnlyForTheSameModeAndPages) {
    EngineConfig.VideoConfig |= 0x10;
    g_SoftwareDisplay = 1;
    DDrawInstall();
    ASSERT_EQ(DisplayOpen(0), 1);
    g_inner = *CurrentVideoDriver;
    VideoDriver recording = g_inner;
    recording.SetMode = RecSetMode;
    recording.SetModeNumber = RecSetModeNumber;
    recording.CreateBuffers = RecCreate;
    recording.ReleaseBuffers = RecRelease;
    CurrentVideoDriver = &recording;
    g_calls.clear();

    EngineConfig.SystemId = 0;
    ChangeDisplayMode(3, 1);
    EXPECT_EQ(g_calls, "SetModeNumber3 Create1 ");  // no pages yet: nothing to release
    EXPECT_EQ(CurrentModeNumber, 3);

    g_calls.clear();
    ChangeDisplayMode(3, 1);
    EXPECT_EQ(g_calls, "SetMode3 ");

    g_calls.clear();
    ChangeDisplayMode(3, 2);
    EXPECT_EQ(g_calls, "ReleaseBuffers SetModeNumber3 Create2 ");

    g_calls.clear();
    EngineConfig.SystemId = 2;  // this platform id always rebuilds the pages
    ChangeDisplayMode(3, 2);
    EXPECT_EQ(g_calls, "ReleaseBuffers SetModeNumber3 Create2 ");

    g_calls.clear();
    SetModeOnce(5);
    EXPECT_EQ(g_calls, "SetMode5 ");
    EXPECT_EQ(CurrentModeNumber, 0xFF);
    CurrentVideoDriver->Release();
    MemFree(ModeList);
    ModeList = nullptr;
}
