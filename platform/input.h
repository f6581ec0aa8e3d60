// Keyboard, joystick and mouse records read by the whole game.
//
// All keyboard input is read from `CurrentKeyboard`: seven operations, then
// 256 key-state bytes indexed by scan code (bit 7 set while the key is down)
// and 256 hit latches.  The joystick writes its bound keys into the same
// states.  `MouseState` holds the cursor position and buttons.
#pragma once

#include <cstdint>

struct KeyboardDriver {
    int (*Open)();                       // 1 when the device is ready
    void (*Close)();                     // releases the device; safe when not open
    void (*Reset)();                     // clears key states, latches and the last key
    char (*GetKey)();                    // character of the last key when newly hit, else 0
    int (*KeyHit)(int scanCode);         // 1 once per press
    const char* (*GetKeyName)(int scanCode);  // display name of a key
    int (*Update)();                     // refreshes the key states
    uint8_t messageFlag;                 // bit 0: key messages write the key states
    uint8_t reserved;
    uint8_t lastScanCode;                // last key message's scan code (+0x80 extended)
    uint8_t lastChar;                    // low byte of the last key or character message
    uint8_t keyStates[256];
    uint8_t hitLatches[256];
};

struct JoystickRecord;

struct JoystickDriver {
    int (*Open)();                                   // 1 when a joystick is ready
    void (*Close)();                                 // releases the device
    int (*Acquire)();                                // non-zero on success
    int (*Unacquire)();
    uint32_t (*Read)(JoystickDriver* record);        // polls; answers the button mask
    void (*MapToKeys)(JoystickDriver* record, uint32_t mask);  // writes bound key states
    int (*ForceStart)();                             // force-feedback joystick only
    int (*ForceVector)(int x, int y);                // force-feedback joystick only
    uint32_t buttons;
    uint8_t buttonKeys[32];
    int32_t povKey;
    int32_t lastButton;
    int32_t x, y;
    int32_t thirdAxis;
    int32_t reserved;
    int32_t z;
    uint8_t thirdAxisKeys[2];
    uint8_t yKeys[2];
    uint8_t xKeys[2];
};

struct MouseRecord {
    int32_t words[2];
    int32_t clickState;
    int32_t lastClick;    // 1 at start
    int32_t buttonCount;
    int32_t x, y;
    uint32_t buttons;     // bit 0 left, bit 1 right, bit 2 middle
    uint32_t flags;       // bit 0 present, bit 1 set at start, bit 2 wheel event, bit 3 window-relative
    int32_t wheelCount;
    int32_t keyFlags;     // key flags of the last wheel message
};

extern KeyboardDriver* CurrentKeyboard;   // nullptr when no keyboard driver runs
extern JoystickDriver* CurrentJoystick;   // nullptr when there is no joystick
extern MouseRecord MouseState;

KeyboardDriver* KbdDInputCreate();
KeyboardDriver* KbdWin32Create();
JoystickDriver* JoystickCreate();
JoystickDriver* JoystickFFCreate();

// Drops pending mouse messages of the main window and handles the pending
// key messages at once.
void KbdFlushMessages();
// The display name of a key: the system's, else a fixed name, else the last
// character typed.  Valid until the next call.
const char* KbdGetKeyName(int scanCode);

// Hides the cursor, fills presence and button count.
void MouseStart();
// Cursor position (window-relative in windowed use, never negative); answers
// the button bits.
uint32_t MousePosition(int32_t* x, int32_t* y);
// kind 1: left clicks, with the right button as a second kind of click;
// kind 2: left and right as states.  Answers a change, 0 when none.
int32_t MouseClick(int kind);
// Pumps messages until MouseClick(1) answers a click.
int32_t MouseWaitClick();
void SetCursorPosition(int x, int y);
void ClipCursorTo(int left, int top, int right, int bottom);
// 1 I-beam, 2 wait, 3 cross, 4 up arrow, 5 size, 6 no, 7 starting, 8 help,
// any other the arrow.
void SetCursorShape(int kind);
// ShowCursor(FALSE) again and again, pumping messages, until the cursor's
// display counter is negative.
void HideCursorFully();
void ShowCursorOn();
void ShowCursorOff();
