// The joystick driver: a joystick device read into a record, its buttons,
// stick and third axis written into the key states of the keyboard through
// per-device key bindings, and, for the force-feedback joystick, one
// constant force.
#include "host/host.h"
#include "platform/input.h"
#include "platform/settings.h"

#include <cmath>

JoystickDriver* CurrentJoystick = nullptr;

namespace {

JoystickDriver g_joy;
host::Joystick* g_device = nullptr;
bool g_acquired = false;
bool g_forceFeedback = false;
bool g_effect = false;

int JoyOpen() {
    g_forceFeedback = EngineConfig.ControllerId == 7;
    // The first attached device that opens is kept.
    int count = host::JoystickCount(g_forceFeedback);
    for (int i = 0; i < count && !g_device; ++i) g_device = host::JoystickOpen(i, g_forceFeedback);
    if (!g_device) return 0;
    if (g_forceFeedback) host::JoystickSetAutocenter(g_device, false);
    return 1;
}

void JoyClose() {
    if (!g_device) return;
    if (g_effect) host::JoystickReleaseForce(g_device);
    g_effect = false;
    host::JoystickUnacquire(g_device);
    host::JoystickClose(g_device);
    g_device = nullptr;
    g_acquired = false;
}

int JoyAcquire() {
    if (!g_device) return 0;
    g_acquired = host::JoystickAcquire(g_device);
    if (g_acquired && g_effect) host::JoystickStartForce(g_device);
    return g_acquired ? 1 : 0;
}

int JoyUnacquire() {
    if (!g_device) return 0;
    host::JoystickUnacquire(g_device);
    g_acquired = false;
    if (g_effect) host::JoystickStopForce(g_device);
    return 1;
}

// The hat's four directions become the arrow keys.
int32_t PovKey(uint32_t pov) {
    switch (pov) {
    case 0: return 200;      // north: Up
    case 9000: return 205;   // east: Right
    case 18000: return 208;  // south: Down
    case 27000: return 203;  // west: Left
    default: return 0;
    }
}

uint32_t JoyRead(JoystickDriver* record) {
    if (!g_device) return 0;
    if (!g_acquired) JoyAcquire();
    if (host::JoystickPoll(g_device) != host::JOY_OK) return 0;
    host::JoyState s;
    int r = host::JoystickGetState(g_device, &s);
    if (r == host::JOY_INPUTLOST) {
        // Taken again for the next read; the buttons stay as they were.
        g_acquired = false;
        JoyAcquire();
        return record->buttons;
    }
    if (r != host::JOY_OK) return record->buttons;
    record->x = s.x - 0x7FFF;
    record->y = s.y - 0x7FFF;
    record->thirdAxis = s.rz == 0 ? 0 : s.rz - 0x7FFF;
    record->z = s.z;
    uint32_t mask = 0;
    for (int b = 0; b < 32; ++b)
        if (s.buttons[b] & 0x80) mask |= 1u << b;
    record->buttons = mask;
    record->povKey = PovKey(s.pov[0]);
    return mask;
}

// Bound keys read as down with bit 7, as every reader of the key states
// expects; released keys read 0.
void JoyMapToKeys(JoystickDriver* record, uint32_t mask) {
    if (!CurrentKeyboard) return;
    uint8_t* keys = CurrentKeyboard->keyStates;
    auto set = [&](uint8_t key, bool down) { keys[key] = down ? 0x80 : 0; };
    if (mask & 1) {
        for (int b = 0; b < 32; ++b) set(record->buttonKeys[b], (record->buttons >> b) & 1);
    }
    if (mask & 2) {
        int32_t rawX = record->x + 0x7FFF, rawY = record->y + 0x7FFF;
        set(record->yKeys[0], rawY < 0x4001);
        set(record->yKeys[1], rawY > 0xBFFD);
        set(record->xKeys[0], rawX < 0x4001);
        set(record->xKeys[1], rawX > 0xBFFD);
    }
    if (mask & 4) {
        int32_t raw = record->thirdAxis + 0x7FFF;
        set(record->thirdAxisKeys[0], raw < 0x5771);
        set(record->thirdAxisKeys[1], raw > 0xA88D);
    }
    if (mask & 8) {
        record->lastButton = 0;
        for (int b = 31; b >= 0; --b) {
            if ((record->buttons >> b) & 1) {
                record->lastButton = b + 1;
                break;
            }
        }
    }
}

int JoyForceStart() {
    if (!g_device) return 0;
    if (g_effect) host::JoystickReleaseForce(g_device);
    g_effect = host::JoystickCreateConstantForce(g_device);
    return g_effect ? 1 : 0;
}

int JoyForceVector(int x, int y) {
    if (!g_device || !g_effect) return 0;
    int32_t magnitude = static_cast<int32_t>(std::lround(std::hypot(double(x), double(y))));
    return host::JoystickSetForce(g_device, x * 625 / 4096, y * 625 / 4096, magnitude) ? 1 : 0;
}

int NoForce() {
    return 0;
}

int NoForceVector(int, int) {
    return 0;
}

JoystickDriver* Fill(bool force) {
    g_joy = JoystickDriver{};
    g_joy.Open = JoyOpen;
    g_joy.Close = JoyClose;
    g_joy.Acquire = JoyAcquire;
    g_joy.Unacquire = JoyUnacquire;
    g_joy.Read = JoyRead;
    g_joy.MapToKeys = JoyMapToKeys;
    g_joy.ForceStart = force ? JoyForceStart : NoForce;
    g_joy.ForceVector = force ? JoyForceVector : NoForceVector;
    return &g_joy;
}

}  // namespace

JoystickDriver* JoystickCreate() {
    return Fill(false);
}

JoystickDriver* JoystickFFCreate() {
    return Fill(true);
}
