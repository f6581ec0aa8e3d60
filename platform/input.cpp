// Keyboard and joystick drivers as far as the program's start and stop need
// them, and the mouse start.
#include "platform/input.h"

#include "host/host.h"
#include "platform/winmain.h"

#include <cstring>

KeyboardDriver* CurrentKeyboard = nullptr;
JoystickDriver* CurrentJoystick = nullptr;
MouseRecord MouseState = {{0, 0}, 0, 1, 0, 0, 0, 0, 0, 0, 0};

namespace {

KeyboardDriver g_keyboard;
JoystickDriver g_joystick;

void KbdReset() {
    std::memset(g_keyboard.keyStates, 0, sizeof g_keyboard.keyStates);
    std::memset(g_keyboard.hitLatches, 0, sizeof g_keyboard.hitLatches);
    g_keyboard.lastScanCode = 0;
    g_keyboard.lastChar = 0;
}

int KbdKeyHit(int scan) {
    if (scan < 0 || scan > 255) return 0;
    if (g_keyboard.keyStates[scan] & 0x80) {
        if (g_keyboard.hitLatches[scan]) return 0;
        g_keyboard.hitLatches[scan] = 1;
        return 1;
    }
    g_keyboard.hitLatches[scan] = 0;
    return 0;
}

char KbdGetKey() {
    int scan = g_keyboard.lastScanCode;
    if (scan && KbdKeyHit(scan)) return static_cast<char>(g_keyboard.lastChar);
    return 0;
}

const char* KbdGetKeyName(int) {
    return "";
}

int KbdUpdate() {
    return 1;
}

int OpenRefused() {
    return 0;
}

int OpenFromMessages() {
    KbdReset();
    return 1;
}

void CloseNothing() {}

KeyboardDriver* FillKeyboard(int (*open)(), uint8_t messageFlag) {
    g_keyboard = KeyboardDriver{};
    g_keyboard.Open = open;
    g_keyboard.Close = CloseNothing;
    g_keyboard.Reset = KbdReset;
    g_keyboard.GetKey = KbdGetKey;
    g_keyboard.KeyHit = KbdKeyHit;
    g_keyboard.GetKeyName = KbdGetKeyName;
    g_keyboard.Update = KbdUpdate;
    g_keyboard.messageFlag = messageFlag;
    return &g_keyboard;
}

int JoyNothing() {
    return 0;
}
uint32_t JoyRead(JoystickDriver*) {
    return 0;
}
void JoyMap(JoystickDriver*, uint32_t) {}
int JoyForce(int, int) {
    return 0;
}

JoystickDriver* FillJoystick() {
    g_joystick = JoystickDriver{};
    g_joystick.Open = OpenRefused;
    g_joystick.Close = CloseNothing;
    g_joystick.Acquire = JoyNothing;
    g_joystick.Unacquire = JoyNothing;
    g_joystick.Read = JoyRead;
    g_joystick.MapToKeys = JoyMap;
    g_joystick.ForceStart = JoyNothing;
    g_joystick.ForceVector = JoyForce;
    return &g_joystick;
}

}  // namespace

// The device-level keyboard is not available yet: its Open refuses, so the
// start falls back to the driver fed by the window's key messages.
KeyboardDriver* KbdDInputCreate() {
    return FillKeyboard(OpenRefused, 0);
}

KeyboardDriver* KbdWin32Create() {
    return FillKeyboard(OpenFromMessages, 1);
}

// No joystick can be opened yet: Open answers 0.
JoystickDriver* JoystickCreate() {
    return FillJoystick();
}

JoystickDriver* JoystickFFCreate() {
    return FillJoystick();
}

void HideCursorFully() {
    while (host::ShowCursor(false) >= 0) PumpMessages();
}

void ShowCursorOn() {
    host::ShowCursor(true);
}

void ShowCursorOff() {
    host::ShowCursor(false);
}

void MouseStart() {
    HideCursorFully();
    MouseState.flags = 2;
    if (host::GetSystemMetrics(host::SM_MOUSEPRESENT)) MouseState.flags |= 1;
    MouseState.lastClick = 1;
    MouseState.buttonCount = host::GetSystemMetrics(host::SM_CMOUSEBUTTONS);
}
