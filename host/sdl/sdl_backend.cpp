// The SDL2 back end: a real window, its events as the program's messages,
// message boxes, the clocks and audio output.
#include "host/backend.h"
#include "host/sdl/sdl_sound.h"

#include <SDL.h>

#include <cstdio>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>
#include <cstring>

namespace host::detail {

namespace {

SDL_Window* g_window = nullptr;  // the one native window: the first shown
SDL_Renderer* g_renderer = nullptr;
Window* g_owner = nullptr;
bool g_hapticReady = false;
uint64_t g_perfBase = 0;
SDL_threadID g_programThread = 0;  // the thread that started SDL: the only one that draws
// An event of the back end's own that wakes the program's thread from its
// idle wait when another thread leaves a picture to present.
std::atomic<uint32_t> g_wakeEvent{0};

// Physical key positions (SDL scancodes) to the scan codes the program reads:
// the set-1 codes, with 0x80 added for the extended keys of the cursor and
// navigation blocks.
uint8_t ScanCode(SDL_Scancode sc) {
    switch (sc) {
    case SDL_SCANCODE_ESCAPE: return 0x01;
    case SDL_SCANCODE_1: return 0x02;
    case SDL_SCANCODE_2: return 0x03;
    case SDL_SCANCODE_3: return 0x04;
    case SDL_SCANCODE_4: return 0x05;
    case SDL_SCANCODE_5: return 0x06;
    case SDL_SCANCODE_6: return 0x07;
    case SDL_SCANCODE_7: return 0x08;
    case SDL_SCANCODE_8: return 0x09;
    case SDL_SCANCODE_9: return 0x0A;
    case SDL_SCANCODE_0: return 0x0B;
    case SDL_SCANCODE_MINUS: return 0x0C;
    case SDL_SCANCODE_EQUALS: return 0x0D;
    case SDL_SCANCODE_BACKSPACE: return 0x0E;
    case SDL_SCANCODE_TAB: return 0x0F;
    case SDL_SCANCODE_Q: return 0x10;
    case SDL_SCANCODE_W: return 0x11;
    case SDL_SCANCODE_E: return 0x12;
    case SDL_SCANCODE_R: return 0x13;
    case SDL_SCANCODE_T: return 0x14;
    case SDL_SCANCODE_Y: return 0x15;
    case SDL_SCANCODE_U: return 0x16;
    case SDL_SCANCODE_I: return 0x17;
    case SDL_SCANCODE_O: return 0x18;
    case SDL_SCANCODE_P: return 0x19;
    case SDL_SCANCODE_LEFTBRACKET: return 0x1A;
    case SDL_SCANCODE_RIGHTBRACKET: return 0x1B;
    case SDL_SCANCODE_RETURN: return 0x1C;
    case SDL_SCANCODE_LCTRL: return 0x1D;
    case SDL_SCANCODE_A: return 0x1E;
    case SDL_SCANCODE_S: return 0x1F;
    case SDL_SCANCODE_D: return 0x20;
    case SDL_SCANCODE_F: return 0x21;
    case SDL_SCANCODE_G: return 0x22;
    case SDL_SCANCODE_H: return 0x23;
    case SDL_SCANCODE_J: return 0x24;
    case SDL_SCANCODE_K: return 0x25;
    case SDL_SCANCODE_L: return 0x26;
    case SDL_SCANCODE_SEMICOLON: return 0x27;
    case SDL_SCANCODE_APOSTROPHE: return 0x28;
    case SDL_SCANCODE_GRAVE: return 0x29;
    case SDL_SCANCODE_LSHIFT: return 0x2A;
    case SDL_SCANCODE_BACKSLASH: return 0x2B;
    case SDL_SCANCODE_Z: return 0x2C;
    case SDL_SCANCODE_X: return 0x2D;
    case SDL_SCANCODE_C: return 0x2E;
    case SDL_SCANCODE_V: return 0x2F;
    case SDL_SCANCODE_B: return 0x30;
    case SDL_SCANCODE_N: return 0x31;
    case SDL_SCANCODE_M: return 0x32;
    case SDL_SCANCODE_COMMA: return 0x33;
    case SDL_SCANCODE_PERIOD: return 0x34;
    case SDL_SCANCODE_SLASH: return 0x35;
    case SDL_SCANCODE_RSHIFT: return 0x36;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x37;
    case SDL_SCANCODE_LALT: return 0x38;
    case SDL_SCANCODE_SPACE: return 0x39;
    case SDL_SCANCODE_CAPSLOCK: return 0x3A;
    case SDL_SCANCODE_F1: return 0x3B;
    case SDL_SCANCODE_F2: return 0x3C;
    case SDL_SCANCODE_F3: return 0x3D;
    case SDL_SCANCODE_F4: return 0x3E;
    case SDL_SCANCODE_F5: return 0x3F;
    case SDL_SCANCODE_F6: return 0x40;
    case SDL_SCANCODE_F7: return 0x41;
    case SDL_SCANCODE_F8: return 0x42;
    case SDL_SCANCODE_F9: return 0x43;
    case SDL_SCANCODE_F10: return 0x44;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 0x45;
    case SDL_SCANCODE_SCROLLLOCK: return 0x46;
    case SDL_SCANCODE_KP_7: return 0x47;
    case SDL_SCANCODE_KP_8: return 0x48;
    case SDL_SCANCODE_KP_9: return 0x49;
    case SDL_SCANCODE_KP_MINUS: return 0x4A;
    case SDL_SCANCODE_KP_4: return 0x4B;
    case SDL_SCANCODE_KP_5: return 0x4C;
    case SDL_SCANCODE_KP_6: return 0x4D;
    case SDL_SCANCODE_KP_PLUS: return 0x4E;
    case SDL_SCANCODE_KP_1: return 0x4F;
    case SDL_SCANCODE_KP_2: return 0x50;
    case SDL_SCANCODE_KP_3: return 0x51;
    case SDL_SCANCODE_KP_0: return 0x52;
    case SDL_SCANCODE_KP_PERIOD: return 0x53;
    case SDL_SCANCODE_NONUSBACKSLASH: return 0x56;
    case SDL_SCANCODE_F11: return 0x57;
    case SDL_SCANCODE_F12: return 0x58;
    case SDL_SCANCODE_KP_ENTER: return 0x9C;
    case SDL_SCANCODE_RCTRL: return 0x9D;
    case SDL_SCANCODE_KP_DIVIDE: return 0xB5;
    case SDL_SCANCODE_PRINTSCREEN: return 0xB7;
    case SDL_SCANCODE_RALT: return 0xB8;
    case SDL_SCANCODE_PAUSE: return 0xC5;
    case SDL_SCANCODE_HOME: return 0xC7;
    case SDL_SCANCODE_UP: return 0xC8;
    case SDL_SCANCODE_PAGEUP: return 0xC9;
    case SDL_SCANCODE_LEFT: return 0xCB;
    case SDL_SCANCODE_RIGHT: return 0xCD;
    case SDL_SCANCODE_END: return 0xCF;
    case SDL_SCANCODE_DOWN: return 0xD0;
    case SDL_SCANCODE_PAGEDOWN: return 0xD1;
    case SDL_SCANCODE_INSERT: return 0xD2;
    case SDL_SCANCODE_DELETE: return 0xD3;
    case SDL_SCANCODE_LGUI: return 0xDB;
    case SDL_SCANCODE_RGUI: return 0xDC;
    case SDL_SCANCODE_APPLICATION: return 0xDD;
    default: return 0;
    }
}

uintptr_t MouseKeyFlags() {
    uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    uintptr_t flags = 0;
    if (buttons & SDL_BUTTON_LMASK) flags |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK) flags |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK) flags |= MK_MBUTTON;
    SDL_Keymod mod = SDL_GetModState();
    if (mod & KMOD_SHIFT) flags |= MK_SHIFT;
    if (mod & KMOD_CTRL) flags |= MK_CONTROL;
    return flags;
}

void Clear() {
    if (!g_renderer) return;
    SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_renderer);
    SDL_RenderPresent(g_renderer);
}

void Activate(bool active) {
    if (active == AppInForeground() || !g_owner) return;
    PostMessage(g_owner, WM_ACTIVATEAPP, active ? 1 : 0, 0);
}

void Translate(const SDL_Event& e) {
    if (!g_owner) return;
    switch (e.type) {
    case SDL_QUIT: PostMessage(g_owner, WM_CLOSE, 0, 0); break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: PostMessage(g_owner, WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: Activate(true); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: Activate(false); break;
        case SDL_WINDOWEVENT_EXPOSED: PostMessage(g_owner, WM_PAINT, 0, 0); break;
        case SDL_WINDOWEVENT_MOVED:
            // Where the window sits on the real desktop is not the program's
            // concern: its screen is the emulated display, on which the
            // window stays where the program put it.
            PostMessage(g_owner, WM_MOVE, 0, intptr_t((uint32_t(uint16_t(g_owner->rect.top)) << 16) |
                                                      uint16_t(g_owner->rect.left)));
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // The picture is scaled into whatever size the user gives the
            // window; the program's client area keeps its size.
            break;
        default: break;
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        uint8_t dik = ScanCode(e.key.keysym.scancode);
        if (!dik) break;
        bool up = e.type == SDL_KEYUP;
        SetKeyDown(dik, !up);
        intptr_t lParam = MakeKeyLParam(dik, up);
        if (!up && e.key.repeat) lParam |= intptr_t(1) << 30;
        PostMessage(g_owner, up ? WM_KEYUP : WM_KEYDOWN, 0, lParam);
        // Keys that type a control character give their WM_CHAR with the key
        // message; printable characters arrive as text input.
        if (!up) {
            SDL_Keycode k = e.key.keysym.sym;
            if (k == SDLK_BACKSPACE || k == SDLK_RETURN || k == SDLK_ESCAPE || k == SDLK_TAB)
                PostMessage(g_owner, WM_CHAR, uintptr_t(k == SDLK_RETURN ? 13 : k), lParam);
        }
        break;
    }
    case SDL_TEXTINPUT: {
        // One WM_CHAR per character that has a code in the program's 8-bit set.
        const unsigned char* s = reinterpret_cast<const unsigned char*>(e.text.text);
        while (*s) {
            uint32_t cp = *s;
            int extra = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
            if (extra) cp &= (0x3F >> extra);
            ++s;
            for (int i = 0; i < extra && (*s & 0xC0) == 0x80; ++i, ++s) cp = (cp << 6) | (*s & 0x3F);
            if (cp < 256) PostMessage(g_owner, WM_CHAR, cp, 1);
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = e.type == SDL_MOUSEBUTTONDOWN;
        uint32_t base = 0;
        if (e.button.button == SDL_BUTTON_LEFT) base = WM_LBUTTONDOWN;
        else if (e.button.button == SDL_BUTTON_RIGHT) base = WM_RBUTTONDOWN;
        else if (e.button.button == SDL_BUTTON_MIDDLE) base = WM_MBUTTONDOWN;
        if (!base) break;
        PostMessage(g_owner, down ? base : base + 1, MouseKeyFlags(),
                    intptr_t((uint32_t(uint16_t(e.button.y)) << 16) | uint16_t(e.button.x)));
        break;
    }
    case SDL_MOUSEWHEEL: {
        int delta = e.wheel.y * WHEEL_DELTA;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) delta = -delta;
        PostMessage(g_owner, WM_MOUSEWHEEL, (uintptr_t(uint16_t(int16_t(delta))) << 16) | MouseKeyFlags(), 0);
        break;
    }
    case SDL_MOUSEMOTION:
        SetCursorFromBackend(g_owner->rect.left + e.motion.x, g_owner->rect.top + e.motion.y);
        PostMessage(g_owner, WM_MOUSEMOVE, MouseKeyFlags(),
                    intptr_t((uint32_t(uint16_t(e.motion.y)) << 16) | uint16_t(e.motion.x)));
        break;
    default: break;
    }
}

// --- slots ------------------------------------------------------------------

bool Start() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Joystick states are kept up to date whatever window has the focus;
    // the host layer itself refuses reads while the program is behind.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER | SDL_INIT_JOYSTICK) != 0) {
        std::fprintf(stderr, "SDL: cannot start video: %s\n", SDL_GetError());
        return false;
    }
    g_hapticReady = SDL_InitSubSystem(SDL_INIT_HAPTIC) == 0;
    g_perfBase = SDL_GetPerformanceCounter();
    g_programThread = SDL_ThreadID();
    uint32_t wake = SDL_RegisterEvents(1);
    g_wakeEvent = wake == uint32_t(-1) ? 0 : wake;
    SDL_StartTextInput();
    return true;
}

void DropTexture();
void PresentPending();

void Stop() {
    DropTexture();
    SdlAudioClose();
    if (g_renderer) SDL_DestroyRenderer(g_renderer);
    if (g_window) SDL_DestroyWindow(g_window);
    g_renderer = nullptr;
    g_window = nullptr;
    g_owner = nullptr;
    g_wakeEvent = 0;
    SDL_Quit();
}

void PollEvents(int waitMs) {
    PresentPending();
    SDL_Event e;
    // While the program waits it sleeps in SDL's own timed wait, which
    // looks at every queue first (SDL's, and the events the display
    // library has already read off its connection) and wakes at the first
    // event, or at a picture another thread leaves to present.  The
    // display connection is read once per call (by the wait, or by one pump
    // when the program does not wait): what that read in is then taken off
    // SDL's queue without reading the connection again for every event.
    if (waitMs > 0) {
        if (SDL_WaitEventTimeout(&e, waitMs)) {
            Translate(e);
            PresentPending();
        }
    } else {
        SDL_PumpEvents();
    }
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) Translate(e);
}

int ShowBox(HWND, const char* text, const char* caption, uint32_t flags) {
    SDL_MessageBoxButtonData buttons[3];
    int count = 0;
    auto add = [&](int id, const char* label, uint32_t f) { buttons[count++] = {f, id, label}; };
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        add(IDOK, "OK", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(IDCANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    case MB_YESNOCANCEL:
        add(IDYES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(IDNO, "No", 0);
        add(IDCANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    case MB_YESNO:
        add(IDYES, "Yes", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(IDNO, "No", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    case MB_RETRYCANCEL:
        add(IDRETRY, "Retry", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
        add(IDCANCEL, "Cancel", SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
        break;
    default: add(IDOK, "OK", SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
    }
    uint32_t icon = (flags & MB_ICONMASK) == MB_ICONHAND ? SDL_MESSAGEBOX_ERROR
                    : (flags & MB_ICONMASK) == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                                  : SDL_MESSAGEBOX_INFORMATION;
    SDL_MessageBoxData data{icon, g_window, caption, text, count, buttons, nullptr};
    int pressed = -1;
    std::fprintf(stderr, "[box \"%s\"] %s\n", caption, text);
    if (SDL_ShowMessageBox(&data, &pressed) != 0 || pressed < 0) {
        // No way to ask: take the button that leaves without retrying.
        for (int i = 0; i < count; ++i)
            if (buttons[i].flags & SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT) return buttons[i].buttonid;
        return IDCANCEL;
    }
    return pressed;
}

// A program that reads an unchanged clock over and over is waiting on it
// (a busy wait with a deadline): after that many reads of the same
// millisecond the next read first sleeps a millisecond.  Any thread may
// read the clock: the counters are shared, and a lost count only delays
// the sleep.
constexpr int kSpinReads = 256;
std::atomic<uint32_t> g_lastTick{0};
std::atomic<int> g_sameTick{0};

uint32_t TickCount() {
    uint32_t now = SDL_GetTicks();
    if (g_lastTick.exchange(now, std::memory_order_relaxed) != now) {
        g_sameTick.store(0, std::memory_order_relaxed);
    } else if (g_sameTick.fetch_add(1, std::memory_order_relaxed) + 1 >= kSpinReads) {
        SDL_Delay(1);
        now = SDL_GetTicks();
        g_lastTick.store(now, std::memory_order_relaxed);
        g_sameTick.store(0, std::memory_order_relaxed);
    }
    return now;
}

// The counter is offered at 1,193,182 steps a second, counted from the back
// end's start, as the program's timer expects of a high-resolution counter.
constexpr int64_t kCounterRate = 1193182;

bool PerfCounter(int64_t* value) {
    uint64_t ticks = SDL_GetPerformanceCounter() - g_perfBase;
    uint64_t freq = SDL_GetPerformanceFrequency();
    *value = static_cast<int64_t>((static_cast<unsigned __int128>(ticks) * kCounterRate) / freq);
    return true;
}

bool PerfFrequency(int64_t* frequency) {
    *frequency = kCounterRate;
    return true;
}

void ScreenSize(int* w, int* h) {
    // The program believes the screen is in its own display mode.
    *w = 640;
    *h = 480;
}

void WindowCreated(Window*) {}

void WindowShown(Window* window, bool visible) {
    if (visible) {
        if (!g_window) {
            int w = window->rect.right - window->rect.left, h = window->rect.bottom - window->rect.top;
            g_window = SDL_CreateWindow(window->title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        w > 0 ? w : 640, h > 0 ? h : 480, SDL_WINDOW_RESIZABLE);
            if (!g_window) {
                std::fprintf(stderr, "SDL: cannot open a window: %s\n", SDL_GetError());
                return;
            }
            g_renderer = SDL_CreateRenderer(g_window, -1, 0);
            g_owner = window;
            window->native = g_window;
        }
        if (window->native == g_window) {
            SDL_ShowWindow(g_window);
            SDL_RaiseWindow(g_window);
            Clear();
            // A window that comes up takes the focus; some window systems
            // never report it, so the program is told at once.
            Activate(true);
        }
    } else if (window->native && window->native == g_window) {
        SDL_HideWindow(g_window);
    }
}

void WindowDestroyed(Window* window) {
    if (window == g_owner) {
        DropTexture();
        if (g_renderer) SDL_DestroyRenderer(g_renderer);
        if (g_window) SDL_DestroyWindow(g_window);
        g_renderer = nullptr;
        g_window = nullptr;
        g_owner = nullptr;
    }
}

void CursorShown(bool visible) {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void ScreenSaver(bool active) {
    if (active) SDL_EnableScreenSaver();
    else SDL_DisableScreenSaver();
}

// --- keyboard, joysticks, cursor ----------------------------------------------

bool KeyboardPresent() {
    return true;
}

int KeyName(uint8_t scan, char* buffer, int size) {
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
        if (ScanCode(static_cast<SDL_Scancode>(sc)) != scan) continue;
        // The legend of the key at that position on the keyboard in use, as
        // far as it fits the program's 8-bit character set.
        const char* name = SDL_GetKeyName(SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(sc)));
        int n = 0;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p && n < size - 1; ++p) {
            if (*p < 0x80) buffer[n++] = static_cast<char>(*p);
        }
        if (size > 0) buffer[n] = 0;
        return n;
    }
    return 0;
}

struct SdlJoystick {
    SDL_Joystick* joystick;
    SDL_Haptic* haptic;
    int effect;
    SDL_HapticEffect shape;
};

// The attached joysticks, by the program's index (force-feedback ones only
// when asked).
int DeviceIndex(int index, bool ffOnly) {
    int seen = 0;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (ffOnly) {
            SDL_Joystick* j = SDL_JoystickOpen(i);
            bool ff = j && SDL_JoystickIsHaptic(j) == 1;
            if (j) SDL_JoystickClose(j);
            if (!ff) continue;
        }
        if (seen++ == index) return i;
    }
    return -1;
}

int JoystickCountSlot(bool ffOnly) {
    SDL_JoystickUpdate();
    int n = 0;
    while (DeviceIndex(n, ffOnly) >= 0) ++n;
    return n;
}

void* JoystickOpenSlot(int index, bool ffOnly) {
    int device = DeviceIndex(index, ffOnly);
    if (device < 0) return nullptr;
    SDL_Joystick* j = SDL_JoystickOpen(device);
    if (!j) return nullptr;
    auto* s = new SdlJoystick{j, nullptr, -1, {}};
    if (g_hapticReady && SDL_JoystickIsHaptic(j) == 1) s->haptic = SDL_HapticOpenFromJoystick(j);
    return s;
}

void JoystickCloseSlot(void* device) {
    auto* s = static_cast<SdlJoystick*>(device);
    if (!s) return;
    if (s->haptic) SDL_HapticClose(s->haptic);
    SDL_JoystickClose(s->joystick);
    delete s;
}

int32_t Axis(SDL_Joystick* j, int axis) {
    if (axis >= SDL_JoystickNumAxes(j)) return 32767;
    return int32_t(SDL_JoystickGetAxis(j, axis)) + 32768;
}

int JoystickStateSlot(void* device, JoyState* state) {
    auto* s = static_cast<SdlJoystick*>(device);
    SDL_JoystickUpdate();
    if (!s || !SDL_JoystickGetAttached(s->joystick)) return JOY_INPUTLOST;
    *state = JoyState{};
    // Stick X and Y, then the throttle-like third axis and the twist (the
    // rotation about Z) from the next two.
    state->x = Axis(s->joystick, 0);
    state->y = Axis(s->joystick, 1);
    state->z = Axis(s->joystick, 2);
    state->rz = Axis(s->joystick, 3);
    state->rx = state->ry = 32767;
    for (uint32_t& p : state->pov) p = 0xFFFFFFFFu;
    if (SDL_JoystickNumHats(s->joystick) > 0) {
        static const struct {
            uint8_t hat;
            uint32_t degrees;
        } kHat[] = {{SDL_HAT_UP, 0},          {SDL_HAT_RIGHTUP, 4500},  {SDL_HAT_RIGHT, 9000},
                    {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000}, {SDL_HAT_LEFTDOWN, 22500},
                    {SDL_HAT_LEFT, 27000},    {SDL_HAT_LEFTUP, 31500}};
        uint8_t hat = SDL_JoystickGetHat(s->joystick, 0);
        for (const auto& h : kHat)
            if (h.hat == hat) state->pov[0] = h.degrees;
    }
    int buttons = std::min(SDL_JoystickNumButtons(s->joystick), 32);
    for (int b = 0; b < buttons; ++b) state->buttons[b] = SDL_JoystickGetButton(s->joystick, b) ? 0x80 : 0;
    return JOY_OK;
}

bool JoystickForceSlot(void* device, int op, int32_t dx, int32_t dy, int32_t magnitude) {
    auto* s = static_cast<SdlJoystick*>(device);
    if (!s || !s->haptic) return false;
    switch (op) {
    case kForceAutocenterOn:
    case kForceAutocenterOff:
        return SDL_HapticSetAutocenter(s->haptic, op == kForceAutocenterOn ? 100 : 0) == 0;
    case kForceCreate: {
        if (!(SDL_HapticQuery(s->haptic) & SDL_HAPTIC_CONSTANT)) return false;
        s->shape = SDL_HapticEffect{};
        s->shape.type = SDL_HAPTIC_CONSTANT;
        s->shape.constant.direction.type = SDL_HAPTIC_CARTESIAN;
        s->shape.constant.length = SDL_HAPTIC_INFINITY;
        s->effect = SDL_HapticNewEffect(s->haptic, &s->shape);
        SDL_HapticSetGain(s->haptic, 100);
        return s->effect >= 0;
    }
    case kForceSet: {
        if (s->effect < 0) return false;
        s->shape.constant.direction.dir[0] = dx;
        s->shape.constant.direction.dir[1] = dy;
        // 0..10000 becomes the device's 0..32767.
        s->shape.constant.level = static_cast<Sint16>(std::min<int32_t>(magnitude, 10000) * 32767 / 10000);
        return SDL_HapticUpdateEffect(s->haptic, s->effect, &s->shape) == 0;
    }
    case kForceStart: return s->effect >= 0 && SDL_HapticRunEffect(s->haptic, s->effect, 1) == 0;
    case kForceStop: return s->effect >= 0 && SDL_HapticStopEffect(s->haptic, s->effect) == 0;
    case kForceRelease:
        if (s->effect >= 0) SDL_HapticDestroyEffect(s->haptic, s->effect);
        s->effect = -1;
        return true;
    default: return false;
    }
}

// --- presentation ---------------------------------------------------------------

SDL_Texture* g_texture = nullptr;
int g_textureW = 0, g_textureH = 0;
uint32_t g_textureFormat = 0;
std::vector<uint32_t> g_converted;

uint32_t TextureFormat(const PixelFormat& f) {
    if (f.bits == 16 && f.greenMask == 0x07E0) return SDL_PIXELFORMAT_RGB565;
    if ((f.bits == 16 || f.bits == 15) && f.greenMask == 0x03E0) return SDL_PIXELFORMAT_RGB555;
    return SDL_PIXELFORMAT_RGB888;  // everything else goes through 0x00RRGGBB
}

// A picture presented by another thread (the video player's) waits here
// for the program's thread, the only one that may draw: the next look at
// the message queue shows it.
std::mutex g_pendingLock;
bool g_pending = false;
Frame g_pendingFrame{};
std::vector<uint8_t> g_pendingPixels, g_pendingPalette;

void ShowFrame(const Frame& frame);

void PresentPending() {
    Frame frame;
    std::vector<uint8_t> pixels, palette;
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        if (!g_pending) return;
        g_pending = false;
        frame = g_pendingFrame;
        pixels.swap(g_pendingPixels);
        palette.swap(g_pendingPalette);
    }
    frame.pixels = pixels.data();
    frame.palette = palette.empty() ? nullptr : palette.data();
    ShowFrame(frame);
}

void Present(const Frame& frame) {
    if (SDL_ThreadID() == g_programThread) {
        ShowFrame(frame);
        return;
    }
    if (frame.width <= 0 || frame.height <= 0) return;
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        g_pendingFrame = frame;
        g_pendingPixels.assign(frame.pixels, frame.pixels + size_t(frame.pitch) * size_t(frame.height));
        if (frame.palette) g_pendingPalette.assign(frame.palette, frame.palette + 1024);
        else g_pendingPalette.clear();
        g_pending = true;
    }
    // The program's thread may be asleep in its idle wait.
    if (uint32_t wake = g_wakeEvent.load()) {
        SDL_Event e{};
        e.type = wake;
        SDL_PushEvent(&e);
    }
}

// The picture fills the window with its 4:3 shape kept; the rest is black.
void ShowFrame(const Frame& frame) {
    if (!g_renderer || frame.width <= 0 || frame.height <= 0) return;
    uint32_t format = TextureFormat(frame.format);
    if (!g_texture || g_textureW != frame.width || g_textureH != frame.height || g_textureFormat != format) {
        if (g_texture) SDL_DestroyTexture(g_texture);
        g_texture = SDL_CreateTexture(g_renderer, format, SDL_TEXTUREACCESS_STREAMING, frame.width, frame.height);
        g_textureW = frame.width;
        g_textureH = frame.height;
        g_textureFormat = format;
        SDL_RenderSetLogicalSize(g_renderer, frame.width, frame.height);
    }
    if (!g_texture) return;
    bool xrgb = frame.format.bits == 32 && frame.format.redMask == 0xFF0000 && frame.format.greenMask == 0xFF00 &&
                frame.format.blueMask == 0xFF;
    if (format == SDL_PIXELFORMAT_RGB888 && !xrgb) {
        g_converted = FrameToXrgb(frame);
        SDL_UpdateTexture(g_texture, nullptr, g_converted.data(), frame.width * 4);
    } else {
        SDL_UpdateTexture(g_texture, nullptr, frame.pixels, frame.pitch);
    }
    SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_renderer);
    SDL_RenderCopy(g_renderer, g_texture, nullptr, nullptr);
    SDL_RenderPresent(g_renderer);
}

// Full screen uses the desktop's resolution; the picture is scaled into it.
void DisplayModeSlot(bool fullScreen, int, int) {
    if (g_window) SDL_SetWindowFullscreen(g_window, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void WindowResized(Window* window) {
    if (!g_window || window != g_owner) return;
    int w = window->rect.right - window->rect.left, h = window->rect.bottom - window->rect.top;
    if (w > 0 && h > 0 && !(SDL_GetWindowFlags(g_window) & SDL_WINDOW_FULLSCREEN_DESKTOP)) {
        SDL_SetWindowSize(g_window, w, h);
        SDL_SetWindowPosition(g_window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

void CursorMoved(int x, int y) {
    if (g_window && g_owner) SDL_WarpMouseInWindow(g_window, x - g_owner->rect.left, y - g_owner->rect.top);
}

void CursorClipped(const Rect* rect) {
    if (!g_window || !g_owner) return;
    if (!rect) {
        SDL_SetWindowMouseRect(g_window, nullptr);
        return;
    }
    SDL_Rect r{rect->left - g_owner->rect.left, rect->top - g_owner->rect.top, rect->right - rect->left,
               rect->bottom - rect->top};
    SDL_SetWindowMouseRect(g_window, &r);
}

void CursorShape(SystemCursor shape) {
    static SDL_Cursor* cursors[9] = {};
    static const SDL_SystemCursor kinds[9] = {
        SDL_SYSTEM_CURSOR_ARROW,    SDL_SYSTEM_CURSOR_IBEAM, SDL_SYSTEM_CURSOR_WAIT,
        SDL_SYSTEM_CURSOR_CROSSHAIR, SDL_SYSTEM_CURSOR_ARROW, SDL_SYSTEM_CURSOR_SIZEALL,
        SDL_SYSTEM_CURSOR_NO,       SDL_SYSTEM_CURSOR_WAITARROW, SDL_SYSTEM_CURSOR_ARROW};
    int i = static_cast<int>(shape);
    if (i < 0 || i > 8) return;
    if (!cursors[i]) cursors[i] = SDL_CreateSystemCursor(kinds[i]);
    if (cursors[i]) SDL_SetCursor(cursors[i]);
}

void DropTexture() {
    if (g_texture) SDL_DestroyTexture(g_texture);
    g_texture = nullptr;
    g_textureW = g_textureH = 0;
}

}  // namespace

const Backend kSdlBackend = {
    .name = "sdl",
    .start = Start,
    .stop = Stop,
    .pollEvents = PollEvents,
    .messageBox = ShowBox,
    .tickCount = TickCount,
    .perfCounter = PerfCounter,
    .perfFrequency = PerfFrequency,
    .screenSize = ScreenSize,
    .windowCreated = WindowCreated,
    .windowShown = WindowShown,
    .windowDestroyed = WindowDestroyed,
    .cursorShown = CursorShown,
    .screenSaver = ScreenSaver,
    .audioDeviceCount = SdlAudioDeviceCount,
    .audioDeviceName = SdlAudioDeviceName,
    .audioOpen = SdlAudioOpen,
    .audioClose = SdlAudioClose,
    .keyboardPresent = KeyboardPresent,
    .keyName = KeyName,
    .joystickCount = JoystickCountSlot,
    .joystickOpen = JoystickOpenSlot,
    .joystickClose = JoystickCloseSlot,
    .joystickState = JoystickStateSlot,
    .joystickForce = JoystickForceSlot,
    .cursorMoved = CursorMoved,
    .cursorClipped = CursorClipped,
    .cursorShape = CursorShape,
    .present = Present,
    .displayMode = DisplayModeSlot,
    .windowResized = WindowResized,
};

}  // namespace host::detail
