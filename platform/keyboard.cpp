// The keyboard drivers: one on the keyboard device, tried first, and one fed
// by the window's key messages and the asynchronous key state.
#include "host/host.h"
#include "platform/input.h"
#include "platform/window.h"

#include <cstdio>
#include <cstring>

KeyboardDriver* CurrentKeyboard = nullptr;

namespace {

KeyboardDriver g_device;   // the device driver's record
KeyboardDriver g_window;   // the message driver's record
host::KeyboardDevice* g_keyboardDevice = nullptr;
bool g_acquired = false;

// A reset forgets the key states and the latches, but a key held through
// it with its press already reported keeps its latch: that press was
// somebody's (the intro video's Escape, say), and held on it is no new one.
// The key is reported again once it has been seen released.
void ClearStates(KeyboardDriver& k) {
    for (int scan = 0; scan < 256; ++scan)
        k.hitLatches[scan] = (k.keyStates[scan] & 0x80) && k.hitLatches[scan] ? 1 : 0;
    std::memset(k.keyStates, 0, sizeof k.keyStates);
}

// A press is answered once: the latch holds until the key is seen released.
int KeyHitIn(KeyboardDriver& k, int scan) {
    if (scan < 0 || scan > 255) return 0;
    if (k.keyStates[scan] & 0x80) {
        if (k.hitLatches[scan]) return 0;
        k.hitLatches[scan] = 1;
        return 1;
    }
    k.hitLatches[scan] = 0;
    return 0;
}

// --- the device driver --------------------------------------------------------

int DeviceOpen() {
    if (!g_keyboardDevice) g_keyboardDevice = host::KeyboardCreate();
    return g_keyboardDevice ? 1 : 0;
}

void DeviceClose() {
    if (!g_keyboardDevice) return;
    host::KeyboardUnacquire(g_keyboardDevice);
    host::KeyboardRelease(g_keyboardDevice);
    g_keyboardDevice = nullptr;
    g_acquired = false;
}

int DeviceUpdate() {
    if (!g_acquired) g_acquired = host::KeyboardAcquire(g_keyboardDevice);
    if (!host::KeyboardGetState(g_keyboardDevice, g_device.keyStates)) g_acquired = false;
    if (g_device.keyStates[56]) g_device.lastScanCode = 56;  // left Alt
    return 1;
}

void DeviceReset() {
    // The device read once more: the keys held now are those whose reported
    // presses go on through the reset.
    DeviceUpdate();
    host::KeyboardUnacquire(g_keyboardDevice);
    g_acquired = false;
    ClearStates(g_device);
    g_device.lastScanCode = 0;
    g_device.lastChar = 0;
}

int DeviceKeyHit(int scan) {
    return KeyHitIn(g_device, scan);
}

char DeviceGetKey() {
    if (g_device.lastScanCode == 0) return 0;
    char c = DeviceKeyHit(g_device.lastScanCode) ? static_cast<char>(g_device.lastChar) : 0;
    g_device.lastScanCode = 0;
    return c;
}

// --- the message driver -------------------------------------------------------

int WindowOpen() {
    return 1;
}

void WindowClose() {
    CurrentKeyboard = nullptr;
}

void WindowReset() {
    ClearStates(g_window);
    g_window.lastChar = 0;
    KbdFlushMessages();
}

int WindowKeyHit(int scan) {
    int hit = KeyHitIn(g_window, scan);
    if (hit) KbdFlushMessages();
    return hit;
}

char WindowGetKey() {
    if (g_window.lastScanCode == 0) {
        std::memset(g_window.hitLatches, 0, sizeof g_window.hitLatches);
        return 0;
    }
    return WindowKeyHit(g_window.lastScanCode) ? static_cast<char>(g_window.lastChar) : 0;
}

// The keys the game polls, from the asynchronous key state.  A key that is
// down reads with bit 7, as every reader of the key states expects.
int WindowUpdate() {
    static const struct {
        int vk;
        uint8_t scan;
    } kPolled[] = {{host::VK_MENU, 56}, {host::VK_TAB, 15},   {host::VK_BACK, 14}, {host::VK_LEFT, 203},
                   {host::VK_UP, 200},  {host::VK_DOWN, 208}, {host::VK_RIGHT, 205}};
    for (const auto& key : kPolled)
        g_window.keyStates[key.scan] = (host::GetAsyncKeyState(key.vk) & 0x8000) ? 0x80 : 0;
    return 1;
}

KeyboardDriver* Fill(KeyboardDriver& k, int (*open)(), void (*close)(), void (*reset)(), char (*getKey)(),
                     int (*keyHit)(int), int (*update)(), uint8_t messageFlag) {
    k = KeyboardDriver{};
    k.Open = open;
    k.Close = close;
    k.Reset = reset;
    k.GetKey = getKey;
    k.KeyHit = keyHit;
    k.GetKeyName = KbdGetKeyName;
    k.Update = update;
    k.messageFlag = messageFlag;
    return &k;
}

}  // namespace

KeyboardDriver* KbdDInputCreate() {
    return Fill(g_device, DeviceOpen, DeviceClose, DeviceReset, DeviceGetKey, DeviceKeyHit, DeviceUpdate, 0);
}

KeyboardDriver* KbdWin32Create() {
    return Fill(g_window, WindowOpen, WindowClose, WindowReset, WindowGetKey, WindowKeyHit, WindowUpdate, 1);
}

void KbdFlushMessages() {
    host::Msg msg;
    while (host::PeekMessage(&msg, MainWindow, host::WM_MOUSEMOVE, 0x209, host::PM_REMOVE)) {
    }
    while (host::PeekMessage(&msg, MainWindow, host::WM_KEYDOWN, 0x108, host::PM_REMOVE)) {
        host::TranslateMessage(&msg);
        host::DispatchMessage(&msg);
    }
}

const char* KbdGetKeyName(int scan) {
    static char name[32];
    uint8_t code = static_cast<uint8_t>(scan);
    if (host::GetKeyNameText(intptr_t(code) << 16, name, sizeof name) > 0 && name[0]) return name;
    static const struct {
        uint8_t code;
        const char* name;
    } kFixed[] = {{0, "<NONE>"},    {1, "ESC"},     {29, "CTRL"},  {157, "CTRL"},  {56, "ALT"},
                  {184, "ALT"},     {58, "CAPSL"},  {199, "HOME"}, {200, "UP"},    {201, "PAGEUP"},
                  {203, "LEFT"},    {205, "RIGHT"}, {207, "END"},  {208, "DOWN"},  {209, "PAGEDN"},
                  {210, "INS"},     {211, "DEL"}};
    for (const auto& f : kFixed) {
        if (f.code == code) {
            std::snprintf(name, sizeof name, "%s", f.name);
            return name;
        }
    }
    name[0] = static_cast<char>(CurrentKeyboard ? CurrentKeyboard->lastChar : 0);
    name[1] = 0;
    return name;
}
