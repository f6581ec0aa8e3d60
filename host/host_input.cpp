// Input devices of the host layer: the keyboard device and the asynchronous
// key state, joysticks with force feedback, and the mouse cursor.  The back
// ends report the physical keys and the cursor; this core answers the
// program's device reads from that.
#include "host/backend.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace host {

struct KeyboardDevice {
    bool acquired;
};

struct Joystick {
    void* device;
    bool acquired;
};

namespace {

uint8_t g_keys[256];
bool g_pressedSince[256];
Point g_cursor{0, 0};
bool g_clipped = false;
Rect g_clip{0, 0, 0, 0};
SystemCursor g_shape = SystemCursor::Arrow;

struct KeyName {
    const char* name;
    uint8_t code;
};

// Names for scripts: the key legends of a US layout, by physical position.
const KeyName kKeyNames[] = {
    {"ESCAPE", 0x01}, {"ESC", 0x01}, {"1", 0x02}, {"2", 0x03}, {"3", 0x04}, {"4", 0x05}, {"5", 0x06},
    {"6", 0x07}, {"7", 0x08}, {"8", 0x09}, {"9", 0x0A}, {"0", 0x0B}, {"MINUS", 0x0C}, {"EQUALS", 0x0D},
    {"BACK", 0x0E}, {"BACKSPACE", 0x0E}, {"TAB", 0x0F}, {"Q", 0x10}, {"W", 0x11}, {"E", 0x12}, {"R", 0x13},
    {"T", 0x14}, {"Y", 0x15}, {"U", 0x16}, {"I", 0x17}, {"O", 0x18}, {"P", 0x19}, {"LBRACKET", 0x1A},
    {"RBRACKET", 0x1B}, {"RETURN", 0x1C}, {"ENTER", 0x1C}, {"LCONTROL", 0x1D}, {"CONTROL", 0x1D}, {"A", 0x1E},
    {"S", 0x1F}, {"D", 0x20}, {"F", 0x21}, {"G", 0x22}, {"H", 0x23}, {"J", 0x24}, {"K", 0x25}, {"L", 0x26},
    {"SEMICOLON", 0x27}, {"APOSTROPHE", 0x28}, {"GRAVE", 0x29}, {"LSHIFT", 0x2A}, {"SHIFT", 0x2A},
    {"BACKSLASH", 0x2B}, {"Z", 0x2C}, {"X", 0x2D}, {"C", 0x2E}, {"V", 0x2F}, {"B", 0x30}, {"N", 0x31},
    {"M", 0x32}, {"COMMA", 0x33}, {"PERIOD", 0x34}, {"SLASH", 0x35}, {"RSHIFT", 0x36}, {"MULTIPLY", 0x37},
    {"LMENU", 0x38}, {"ALT", 0x38}, {"LALT", 0x38}, {"SPACE", 0x39}, {"CAPITAL", 0x3A}, {"CAPSLOCK", 0x3A},
    {"F1", 0x3B}, {"F2", 0x3C}, {"F3", 0x3D}, {"F4", 0x3E}, {"F5", 0x3F}, {"F6", 0x40}, {"F7", 0x41},
    {"F8", 0x42}, {"F9", 0x43}, {"F10", 0x44}, {"NUMLOCK", 0x45}, {"SCROLL", 0x46}, {"NUMPAD7", 0x47},
    {"NUMPAD8", 0x48}, {"NUMPAD9", 0x49}, {"SUBTRACT", 0x4A}, {"NUMPAD4", 0x4B}, {"NUMPAD5", 0x4C},
    {"NUMPAD6", 0x4D}, {"ADD", 0x4E}, {"NUMPAD1", 0x4F}, {"NUMPAD2", 0x50}, {"NUMPAD3", 0x51},
    {"NUMPAD0", 0x52}, {"DECIMAL", 0x53}, {"F11", 0x57}, {"F12", 0x58}, {"NUMPADENTER", 0x9C},
    {"RCONTROL", 0x9D}, {"DIVIDE", 0xB5}, {"SYSRQ", 0xB7}, {"RMENU", 0xB8}, {"RALT", 0xB8}, {"PAUSE", 0xC5},
    {"HOME", 0xC7}, {"UP", 0xC8}, {"PRIOR", 0xC9}, {"PAGEUP", 0xC9}, {"LEFT", 0xCB}, {"RIGHT", 0xCD},
    {"END", 0xCF}, {"DOWN", 0xD0}, {"NEXT", 0xD1}, {"PAGEDOWN", 0xD1}, {"INSERT", 0xD2}, {"DELETE", 0xD3},
    {"LWIN", 0xDB}, {"RWIN", 0xDC}, {"APPS", 0xDD},
};

Point Clamp(Point p) {
    if (!g_clipped) return p;
    p.x = std::clamp(p.x, g_clip.left, std::max(g_clip.left, g_clip.right - 1));
    p.y = std::clamp(p.y, g_clip.top, std::max(g_clip.top, g_clip.bottom - 1));
    return p;
}

}  // namespace

namespace detail {

void SetKeyDown(uint8_t scanCode, bool down) {
    g_keys[scanCode] = down ? 0x80 : 0;
    if (down) g_pressedSince[scanCode] = true;
}

void SetCursorFromBackend(int screenX, int screenY) {
    g_cursor = Clamp({screenX, screenY});
}

void ResetInput() {
    std::memset(g_keys, 0, sizeof g_keys);
    std::memset(g_pressedSince, 0, sizeof g_pressedSince);
    g_cursor = {0, 0};
    g_clipped = false;
    g_shape = SystemCursor::Arrow;
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Keyboard
// ---------------------------------------------------------------------------

KeyboardDevice* KeyboardCreate() {
    const detail::Backend* b = detail::ActiveBackend();
    if (!b || !b->keyboardPresent()) return nullptr;
    return new KeyboardDevice{false};
}

bool KeyboardAcquire(KeyboardDevice* device) {
    if (!device) return false;
    // A foreground device: only the program in front may read it.
    device->acquired = detail::AppInForeground();
    return device->acquired;
}

void KeyboardUnacquire(KeyboardDevice* device) {
    if (device) device->acquired = false;
}

bool KeyboardGetState(KeyboardDevice* device, uint8_t state[256]) {
    if (!device || !device->acquired) return false;
    if (!detail::AppInForeground()) {
        device->acquired = false;  // lost with the focus
        return false;
    }
    std::memcpy(state, g_keys, 256);
    return true;
}

void KeyboardRelease(KeyboardDevice* device) {
    delete device;
}

int GetKeyNameText(intptr_t lParam, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    // The scan code in bits 16-23; the extended bit 24 adds 0x80.
    uint8_t scan = static_cast<uint8_t>((lParam >> 16) & 0xFF);
    if (lParam & (intptr_t(1) << 24)) scan = static_cast<uint8_t>(scan | 0x80);
    const detail::Backend* b = detail::ActiveBackend();
    return b ? b->keyName(scan, buffer, size) : 0;
}

int16_t GetAsyncKeyState(int virtualKey) {
    uint8_t codes[2] = {0, 0};
    switch (virtualKey) {
    case VK_MENU: codes[0] = 0x38; codes[1] = 0xB8; break;
    case VK_TAB: codes[0] = 0x0F; break;
    case VK_BACK: codes[0] = 0x0E; break;
    case VK_LEFT: codes[0] = 0xCB; break;
    case VK_UP: codes[0] = 0xC8; break;
    case VK_RIGHT: codes[0] = 0xCD; break;
    case VK_DOWN: codes[0] = 0xD0; break;
    default: return 0;
    }
    int result = 0;
    for (uint8_t c : codes) {
        if (!c) continue;
        if (g_keys[c] & 0x80) result |= 0x8000;
        if (g_pressedSince[c]) result |= 1;
        g_pressedSince[c] = false;
    }
    return static_cast<int16_t>(result);
}

int ScanCodeByName(const char* name) {
    if (!name) return -1;
    for (const KeyName& k : kKeyNames)
        if (strcasecmp(k.name, name) == 0) return k.code;
    return -1;
}

// ---------------------------------------------------------------------------
// Joysticks
// ---------------------------------------------------------------------------

int JoystickCount(bool forceFeedbackOnly) {
    const detail::Backend* b = detail::ActiveBackend();
    return b ? b->joystickCount(forceFeedbackOnly) : 0;
}

Joystick* JoystickOpen(int index, bool forceFeedbackOnly) {
    const detail::Backend* b = detail::ActiveBackend();
    if (!b) return nullptr;
    void* device = b->joystickOpen(index, forceFeedbackOnly);
    return device ? new Joystick{device, false} : nullptr;
}

void JoystickClose(Joystick* joystick) {
    if (!joystick) return;
    if (const detail::Backend* b = detail::ActiveBackend()) b->joystickClose(joystick->device);
    delete joystick;
}

bool JoystickAcquire(Joystick* joystick) {
    if (!joystick) return false;
    // Exclusive and in the foreground only.
    joystick->acquired = detail::AppInForeground();
    return joystick->acquired;
}

void JoystickUnacquire(Joystick* joystick) {
    if (joystick) joystick->acquired = false;
}

int JoystickPoll(Joystick* joystick) {
    if (!joystick) return JOY_FAILED;
    return joystick->acquired && detail::AppInForeground() ? JOY_OK : JOY_NOTACQUIRED;
}

int JoystickGetState(Joystick* joystick, JoyState* state) {
    const detail::Backend* b = detail::ActiveBackend();
    if (!joystick || !state || !b) return JOY_FAILED;
    if (!joystick->acquired) return JOY_NOTACQUIRED;
    if (!detail::AppInForeground()) {
        joystick->acquired = false;
        return JOY_INPUTLOST;
    }
    int r = b->joystickState(joystick->device, state);
    if (r == JOY_INPUTLOST) joystick->acquired = false;
    return r;
}

static bool Force(Joystick* joystick, int op, int32_t dx = 0, int32_t dy = 0, int32_t magnitude = 0) {
    const detail::Backend* b = detail::ActiveBackend();
    return joystick && b && b->joystickForce(joystick->device, op, dx, dy, magnitude);
}

bool JoystickSetAutocenter(Joystick* joystick, bool on) {
    return Force(joystick, on ? detail::kForceAutocenterOn : detail::kForceAutocenterOff);
}
bool JoystickCreateConstantForce(Joystick* joystick) {
    return Force(joystick, detail::kForceCreate);
}
bool JoystickSetForce(Joystick* joystick, int32_t dx, int32_t dy, int32_t magnitude) {
    return Force(joystick, detail::kForceSet, dx, dy, magnitude);
}
bool JoystickStartForce(Joystick* joystick) {
    return Force(joystick, detail::kForceStart);
}
void JoystickStopForce(Joystick* joystick) {
    Force(joystick, detail::kForceStop);
}
void JoystickReleaseForce(Joystick* joystick) {
    Force(joystick, detail::kForceRelease);
}

// ---------------------------------------------------------------------------
// Cursor
// ---------------------------------------------------------------------------

bool GetCursorPos(Point* point) {
    if (!point) return false;
    *point = g_cursor;
    return true;
}

bool SetCursorPos(int x, int y) {
    g_cursor = Clamp({x, y});
    if (const detail::Backend* b = detail::ActiveBackend()) b->cursorMoved(g_cursor.x, g_cursor.y);
    return true;
}

bool ClipCursor(const Rect* rect) {
    g_clipped = rect != nullptr;
    if (rect) g_clip = *rect;
    g_cursor = Clamp(g_cursor);
    if (const detail::Backend* b = detail::ActiveBackend()) b->cursorClipped(rect);
    return true;
}

bool GetClipCursor(Rect* rect) {
    if (!rect) return false;
    if (g_clipped) {
        *rect = g_clip;
    } else {
        int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        *rect = {0, 0, w, h};
    }
    return true;
}

bool SetSystemCursor(SystemCursor shape) {
    g_shape = shape;
    if (const detail::Backend* b = detail::ActiveBackend()) b->cursorShape(shape);
    return true;
}

SystemCursor CurrentSystemCursor() {
    return g_shape;
}

}  // namespace host
