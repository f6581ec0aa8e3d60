// Keyboard drivers, joystick driver and mouse routines on the headless host.
#include "host/headless/headless.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/settings.h"
#include "program/winmain.h"
#include "test_support.h"

#include <cstring>
#include <string>

namespace {

class InputTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        saved_ = EngineConfig;
        EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
        MainWindow = nullptr;
        ASSERT_EQ(CreateMainWindow(nullptr, nullptr, ""), 0);
        host::ShowWindow(MainWindow, host::SW_SHOWNORMAL);
        AppActive = 0;
        PumpMessages();  // the activation of the shown window
        ASSERT_EQ(AppActive, 1);
        MouseState = MouseRecord{{0, 0}, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    }
    void TearDown() override {
        if (CurrentJoystick) CurrentJoystick->Close();
        CurrentJoystick = nullptr;
        if (CurrentKeyboard) CurrentKeyboard->Close();
        CurrentKeyboard = nullptr;
        EngineConfig = saved_;
        MainWindow = nullptr;
        AppActive = 0;
        HeadlessTest::TearDown();
    }
    KeyboardDriver* DeviceKeyboard() {
        CurrentKeyboard = KbdDInputCreate();
        EXPECT_EQ(CurrentKeyboard->Open(), 1);
        return CurrentKeyboard;
    }
    KeyboardDriver* MessageKeyboard() {
        CurrentKeyboard = KbdWin32Create();
        EXPECT_EQ(CurrentKeyboard->Open(), 1);
        return CurrentKeyboard;
    }
    // A key goes down or up and the messages are handled, as in a frame.
    void Key(uint8_t scan, bool down) {
        host::headless::PressKey(scan, down);
        PumpMessages();
    }
    EngineConfigRecord saved_;
};

}  // namespace

TEST_F(InputTest, HeldSpaceIsHitOnceUntilReleased) {
    KeyboardDriver* k = DeviceKeyboard();
    EXPECT_EQ(k->messageFlag, 0);
    Key(57, true);
    int hits = 0;
    for (int frame = 0; frame < 10; ++frame) {
        k->Update();
        hits += k->KeyHit(57);
    }
    EXPECT_EQ(hits, 1);
    Key(57, false);
    k->Update();
    EXPECT_EQ(k->KeyHit(57), 0);
    Key(57, true);
    k->Update();
    EXPECT_EQ(k->KeyHit(57), 1);
}

// A reset forgets every latch but that of a key held through it whose press
// was already reported: that press is not reported a second time.  The
// message driver hears a held key again by its repeated key-down message.
TEST_F(InputTest, ResetKeepsTheLatchOfAReportedPressStillHeld) {
    struct Row {
        const char* what;
        bool reported;         // KeyHit answered the press before the reset
        bool releasedBefore;   // let go before the reset, with no Update between
        bool pressedAfter;     // pressed anew after the reset
        int hitAfter;
    };
    const Row rows[] = {
        {"a reported press held through the reset", true, false, false, 0},
        {"a reported press held, then pressed anew", true, false, true, 1},
        {"a press never reported, held through the reset", false, false, false, 1},
        {"a reported press let go before the reset, pressed anew", true, true, true, 1},
    };
    for (bool messages : {false, true}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(messages ? "message driver: " : "device driver: ") + r.what);
            KeyboardDriver* k = messages ? MessageKeyboard() : DeviceKeyboard();
            Key(57, true);
            k->Update();
            if (r.reported) {
                EXPECT_EQ(k->KeyHit(57), 1);
            }
            if (r.releasedBefore) Key(57, false);
            k->Reset();
            if (r.pressedAfter) {
                Key(57, false);
                k->Update();
                EXPECT_EQ(k->KeyHit(57), 0);
            }
            Key(57, true);  // held on, or pressed anew
            k->Update();
            EXPECT_EQ(k->KeyHit(57), r.hitAfter);
            Key(57, false);
            k->Update();
            k->KeyHit(57);
            k->Close();
            CurrentKeyboard = nullptr;
        }
    }
}

TEST_F(InputTest, AltMakesTheLastScanCode56) {
    KeyboardDriver* k = DeviceKeyboard();
    host::headless::PressKey(56, true);  // the key message is not handled yet
    EXPECT_EQ(k->lastScanCode, 0);
    k->Update();
    EXPECT_EQ(k->lastScanCode, 56);
}

TEST_F(InputTest, DeviceGetKeyClearsTheLastKey) {
    KeyboardDriver* k = DeviceKeyboard();
    Key(0x1E, true);
    host::SendMessage(MainWindow, host::WM_KEYDOWN, 'a', host::MakeKeyLParam(0x1E, false));
    k->Update();
    EXPECT_EQ(k->GetKey(), 'a');
    EXPECT_EQ(k->lastScanCode, 0);
    EXPECT_EQ(k->GetKey(), 0);
}

TEST_F(InputTest, DeviceIsNotReadInTheBackground) {
    KeyboardDriver* k = DeviceKeyboard();
    Key(57, true);
    host::SendMessage(MainWindow, host::WM_ACTIVATEAPP, 0, 0);
    host::headless::ScheduleFocus(host::headless::PumpCount() + 1, false);
    host::Msg m;
    host::PeekMessage(&m, nullptr, 0, 0, host::PM_NOREMOVE);  // the host learns it is behind
    k->Update();
    EXPECT_EQ(k->keyStates[57], 0);
    host::headless::ScheduleFocus(host::headless::PumpCount() + 1, true);
    PumpMessages();
    k->Update();
    EXPECT_EQ(k->keyStates[57], 0x80);  // acquired again in the foreground
}

TEST_F(InputTest, WithoutAKeyboardDeviceTheMessageDriverRuns) {
    host::headless::SetKeyboardPresent(false);
    EXPECT_EQ(KbdDInputCreate()->Open(), 0);
}

TEST_F(InputTest, MessageDriverMarksPolledKeysWithBit7) {
    KeyboardDriver* k = MessageKeyboard();
    host::headless::PressKey(203, true);  // Left, message not handled yet
    k->Update();
    EXPECT_EQ(k->keyStates[203], 0x80);
    EXPECT_EQ(k->KeyHit(203), 1);
    host::headless::PressKey(203, false);
    k->Update();
    EXPECT_EQ(k->keyStates[203], 0);
    Key(184, true);  // right Alt counts as Alt
    k->Update();
    EXPECT_EQ(k->keyStates[56], 0x80);
}

TEST_F(InputTest, MessageDriverGetKeyAndFlush) {
    KeyboardDriver* k = MessageKeyboard();
    EXPECT_EQ(k->GetKey(), 0);
    host::SendMessage(MainWindow, host::WM_KEYDOWN, 'z', host::MakeKeyLParam(0x2C, false));
    EXPECT_EQ(k->GetKey(), 'z');
    EXPECT_EQ(k->lastScanCode, 0x2C);  // kept
    EXPECT_EQ(k->GetKey(), 0);         // already reported
    // A hit handles the waiting key messages and drops the mouse ones.
    host::PostMessage(MainWindow, host::WM_MOUSEMOVE, 0, 0);
    host::PostMessage(MainWindow, host::WM_KEYDOWN, 0, host::MakeKeyLParam(0x10, false));
    host::SendMessage(MainWindow, host::WM_KEYDOWN, 0, host::MakeKeyLParam(57, false));
    EXPECT_EQ(k->KeyHit(57), 1);
    EXPECT_EQ(k->keyStates[0x10], 0x80);
    host::Msg m;
    EXPECT_FALSE(host::PeekMessage(&m, MainWindow, 0, 0, host::PM_NOREMOVE));
    k->Close();
    EXPECT_EQ(CurrentKeyboard, nullptr);
}

TEST_F(InputTest, KeyNames) {
    KeyboardDriver* k = DeviceKeyboard();
    EXPECT_STREQ(k->GetKeyName(0), "<NONE>");
    EXPECT_STREQ(k->GetKeyName(211), "DEL");  // the system has no name for it
    EXPECT_STREQ(k->GetKeyName(157), "CTRL");
    EXPECT_STREQ(k->GetKeyName(209), "PAGEDN");
    host::headless::SetKeyName(211, "Delete");
    EXPECT_STREQ(k->GetKeyName(211), "Delete");
    k->lastChar = 'q';
    EXPECT_STREQ(k->GetKeyName(0x10), "q");  // no fixed name: the last character
    EXPECT_EQ(host::ScanCodeByName("space"), 57);
    EXPECT_EQ(host::ScanCodeByName("UP"), 200);
    EXPECT_EQ(host::ScanCodeByName("nothing"), -1);
}

namespace {

class JoystickTest : public InputTest {
protected:
    JoystickDriver* Open(int controllerId, bool forceFeedback) {
        host::headless::SetJoysticks(1, forceFeedback);
        EngineConfig.ControllerId = static_cast<uint8_t>(controllerId);
        CurrentKeyboard = KbdWin32Create();
        CurrentJoystick = controllerId == 7 ? JoystickFFCreate() : JoystickCreate();
        EXPECT_EQ(CurrentJoystick->Open(), 1);
        return CurrentJoystick;
    }
    uint32_t Read(const host::JoyState& s) {
        host::headless::SetJoystickState(0, s);
        return CurrentJoystick->Read(CurrentJoystick);
    }
    host::JoyState centred_ = host::headless::CenteredJoystick();
};

}  // namespace

TEST_F(JoystickTest, StickThresholds) {
    JoystickDriver* j = Open(2, false);
    j->xKeys[0] = 203;
    j->xKeys[1] = 205;
    j->yKeys[0] = 200;
    j->yKeys[1] = 208;
    Read(centred_);
    j->MapToKeys(j, 2);
    for (int key : {200, 203, 205, 208}) EXPECT_EQ(CurrentKeyboard->keyStates[key], 0) << key;
    host::JoyState s = centred_;
    s.x = 10000;
    Read(s);
    EXPECT_EQ(j->x, 10000 - 0x7FFF);
    j->MapToKeys(j, 2);
    EXPECT_EQ(CurrentKeyboard->keyStates[203], 0x80);
    EXPECT_EQ(CurrentKeyboard->keyStates[205], 0);
    s.x = 0x4001;  // just inside the dead zone
    s.y = 0xBFFE;  // just past it
    Read(s);
    j->MapToKeys(j, 2);
    EXPECT_EQ(CurrentKeyboard->keyStates[203], 0);
    EXPECT_EQ(CurrentKeyboard->keyStates[208], 0x80);
}

TEST_F(JoystickTest, ThirdAxisThresholdsAndAbsence) {
    JoystickDriver* j = Open(2, false);
    j->thirdAxisKeys[0] = 74;
    j->thirdAxisKeys[1] = 78;
    host::JoyState s = centred_;
    s.rz = 0x5770;
    Read(s);
    j->MapToKeys(j, 4);
    EXPECT_EQ(CurrentKeyboard->keyStates[74], 0x80);
    s.rz = 0xA88E;
    Read(s);
    j->MapToKeys(j, 4);
    EXPECT_EQ(CurrentKeyboard->keyStates[74], 0);
    EXPECT_EQ(CurrentKeyboard->keyStates[78], 0x80);
    s.rz = 0;  // a device without the axis
    Read(s);
    EXPECT_EQ(j->thirdAxis, 0);
    j->MapToKeys(j, 4);
    EXPECT_EQ(CurrentKeyboard->keyStates[74], 0);
    EXPECT_EQ(CurrentKeyboard->keyStates[78], 0);
}

TEST_F(JoystickTest, ButtonsKeysAndLastButton) {
    JoystickDriver* j = Open(2, false);
    j->buttonKeys[0] = 29;
    j->buttonKeys[5] = 57;
    host::JoyState s = centred_;
    s.buttons[0] = 0x80;
    s.buttons[5] = 0x80;
    EXPECT_EQ(Read(s), 0x21u);
    j->MapToKeys(j, 1 | 8);
    EXPECT_EQ(j->lastButton, 6);
    EXPECT_EQ(CurrentKeyboard->keyStates[29], 0x80);
    EXPECT_EQ(CurrentKeyboard->keyStates[57], 0x80);
    EXPECT_EQ(Read(centred_), 0u);
    j->MapToKeys(j, 1 | 8);
    EXPECT_EQ(j->lastButton, 0);
    EXPECT_EQ(CurrentKeyboard->keyStates[57], 0);
}

TEST_F(JoystickTest, HatGivesTheArrowOfItsDirection) {
    JoystickDriver* j = Open(2, false);
    struct {
        uint32_t pov;
        int32_t key;
    } cases[] = {{0, 200}, {9000, 205}, {18000, 208}, {27000, 203}, {4500, 0}, {0xFFFFFFFFu, 0}};
    for (const auto& c : cases) {
        host::JoyState s = centred_;
        s.pov[0] = c.pov;
        Read(s);
        EXPECT_EQ(j->povKey, c.key) << c.pov;
    }
}

TEST_F(JoystickTest, LostInputKeepsTheLastMask) {
    JoystickDriver* j = Open(2, false);
    host::JoyState s = centred_;
    s.buttons[3] = 0x80;
    EXPECT_EQ(Read(s), 8u);
    host::headless::LoseJoystickInput(0);
    s.buttons[3] = 0;
    EXPECT_EQ(Read(s), 8u);  // the previous mask, and the device taken again
    EXPECT_EQ(j->buttons, 8u);
    EXPECT_EQ(Read(s), 0u);
}

TEST_F(JoystickTest, NothingIsReadInTheBackground) {
    JoystickDriver* j = Open(2, false);
    EXPECT_EQ(j->Acquire(), 1);
    host::SendMessage(MainWindow, host::WM_ACTIVATEAPP, 0, 0);
    host::headless::ScheduleFocus(host::headless::PumpCount() + 1, false);
    host::Msg m;
    host::PeekMessage(&m, nullptr, 0, 0, host::PM_NOREMOVE);
    host::JoyState s = centred_;
    s.buttons[0] = 0x80;
    EXPECT_EQ(Read(s), 0u);  // the poll fails
    EXPECT_EQ(j->buttons, 0u);
}

TEST_F(JoystickTest, ForceFeedbackJoystick) {
    JoystickDriver* j = Open(7, true);
    EXPECT_EQ(j->ForceVector(100, 100), 0);  // no effect yet
    EXPECT_EQ(j->ForceStart(), 1);
    EXPECT_EQ(j->ForceVector(4096, -4096), 1);
    EXPECT_EQ(j->Acquire(), 1);
    EXPECT_EQ(j->Unacquire(), 1);
    std::vector<std::string> expected = {"autocenter off", "create", "set 625 -625 5793", "start", "stop"};
    EXPECT_EQ(host::headless::ForceLog(), expected);
    EXPECT_EQ(j->ForceStart(), 1);  // the old effect goes first
    EXPECT_EQ(host::headless::ForceLog()[5], "release");
}

TEST_F(JoystickTest, PlainJoystickHasNoForce) {
    JoystickDriver* j = Open(3, true);
    EXPECT_EQ(j->ForceStart(), 0);
    EXPECT_EQ(j->ForceVector(1, 1), 0);
    EXPECT_TRUE(host::headless::ForceLog().empty());
}

TEST_F(JoystickTest, ForceFeedbackIdFindsOnlyForceFeedbackDevices) {
    host::headless::SetJoysticks(1, false);
    EngineConfig.ControllerId = 7;
    EXPECT_EQ(JoystickFFCreate()->Open(), 0);
}

TEST_F(InputTest, MouseClickAnswersChangesOnly) {
    MouseStart();
    ASSERT_EQ(MouseState.flags & 1, 1u);
    EXPECT_EQ(MouseState.lastClick, 1);
    EXPECT_EQ(MouseState.buttonCount, 3);
    EXPECT_EQ(MouseClick(1), 0);  // nothing held: 0, and now the last result is 0
    host::headless::SetMouseButton(0, true);
    PumpMessages();
    EXPECT_EQ(MouseClick(1), 1);
    EXPECT_EQ(MouseClick(1), 0);  // still held
    host::headless::SetMouseButton(0, false);
    host::headless::SetMouseButton(1, true);
    PumpMessages();
    EXPECT_EQ(MouseClick(1), 1);  // right: a click of its own kind
    EXPECT_EQ(MouseState.clickState, 2);
    EXPECT_EQ(MouseClick(2), 0);
    EXPECT_EQ(MouseState.clickState, 1);
    host::headless::SetMouseButton(0, true);
    PumpMessages();
    EXPECT_EQ(MouseClick(2), 0);  // both: result 1 again, state 3
    EXPECT_EQ(MouseState.clickState, 3);
    EXPECT_EQ(MouseClick(5), 0);
    EXPECT_EQ(MouseState.lastClick, 0);
}

TEST_F(InputTest, MouseClickWithoutAMouse) {
    MouseState.flags = 2;
    EXPECT_EQ(MouseClick(1), 0);
}

TEST_F(InputTest, MousePositionInWindowedUse) {
    host::headless::MoveMouse(30, 40);
    int32_t x, y;
    MousePosition(&x, &y);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);
    EngineConfig.VideoConfig |= 0x10;
    SetCursorPosition(-5, 12);
    MousePosition(&x, &y);
    EXPECT_EQ(x, 0);  // negative co-ordinates become 0
    EXPECT_EQ(y, 12);
    EXPECT_EQ(MouseState.flags & 8, 8u);
}

TEST_F(InputTest, CursorClipAndShape) {
    ClipCursorTo(10, 10, 100, 100);
    SetCursorPosition(500, 5);
    host::Point p;
    host::GetCursorPos(&p);
    EXPECT_EQ(p.x, 99);
    EXPECT_EQ(p.y, 10);
    host::ClipCursor(nullptr);
    SetCursorShape(2);
    EXPECT_EQ(host::CurrentSystemCursor(), host::SystemCursor::Wait);
    SetCursorShape(99);
    EXPECT_EQ(host::CurrentSystemCursor(), host::SystemCursor::Arrow);
}

TEST_F(InputTest, WaitForAClick) {
    MouseStart();
    MouseState.lastClick = 0;
    host::headless::ScheduleMessage(host::headless::PumpCount() + 20, host::WM_LBUTTONDOWN, host::MK_LBUTTON, 0);
    EXPECT_EQ(MouseWaitClick(), 1);
    EXPECT_GE(host::headless::PumpCount(), 20u);
}

TEST_F(InputTest, CursorHidesFully) {
    host::ShowCursor(true);
    host::ShowCursor(true);
    HideCursorFully();
    EXPECT_EQ(host::CursorCounter(), -1);
    ShowCursorOn();
    EXPECT_EQ(host::CursorCounter(), 0);
    ShowCursorOff();
    EXPECT_EQ(host::CursorCounter(), -1);
}

TEST_F(InputTest, LeftClickStateHoldsOnceTheButtonIsUp) {
    MouseStart();
    host::headless::SetMouseButton(0, true);
    PumpMessages();
    MouseClick(1);
    EXPECT_EQ(MouseState.clickState, 1);
    host::headless::SetMouseButton(0, false);
    PumpMessages();
    EXPECT_EQ(MouseClick(1), 0);
    EXPECT_EQ(MouseState.clickState, 1);  // only a held left button sets it
    EXPECT_EQ(MouseState.lastClick, 0);
}
