// Portable core of the host layer: back-end choice, the process exit, the
// runtime generator, windows and the message queue, cursor counter, screen
// saver switch, message boxes, clocks and processor identification.
#include "host/backend.h"
#include "host/d3d.h"
#include "host/thread_internal.h"
#include "host/sound_internal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <strings.h>
#include <time.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace host {

namespace {

const detail::Backend* g_backend = nullptr;
BackendKind g_kind = BackendKind::Headless;

uint32_t g_randSeed = 1;

struct ClassRecord {
    WindowClass wc;
    std::string name;
};
std::vector<ClassRecord> g_classes;
std::vector<Window*> g_windows;
std::deque<Msg> g_queue;
bool g_quitPosted = false;
int g_quitCode = 0;

int g_cursorCounter = 0;
bool g_screenSaver = true;
bool g_foreground = false;
std::string g_modulePath;

bool SameName(const std::string& a, const char* b) {
    return b && strcasecmp(a.c_str(), b) == 0;
}

bool HasWindow(HWND window) {
    return std::find(g_windows.begin(), g_windows.end(), window) != g_windows.end();
}

std::string ModulePathFromSystem(const char* argv0) {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) {
        buffer[n] = 0;
        return ToSystemPath(buffer);
    }
    if (argv0 && *argv0) {
        char* full = realpath(argv0, nullptr);
        if (full) {
            std::string out = ToSystemPath(full);
            free(full);
            return out;
        }
    }
    return "\\game";
}

}  // namespace

// ---------------------------------------------------------------------------
// Process, generator, back end choice
// ---------------------------------------------------------------------------

void ExitProcess(int code) {
    throw ProcessExit{code};
}

int Rand() {
    g_randSeed = g_randSeed * 1103515245u + 12345u;
    return static_cast<int>((g_randSeed >> 16) & 0x7FFF);
}

void SeedRand(uint32_t seed) {
    g_randSeed = seed;
}

static bool DisplayAvailable() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

bool StartFromEnvironment(const char* argv0) {
    const char* choice = std::getenv("MORVANEL_HOST");
    BackendKind kind = DisplayAvailable() ? BackendKind::Sdl : BackendKind::Headless;
    if (choice && *choice) {
        if (strcasecmp(choice, "sdl") == 0) {
            kind = BackendKind::Sdl;
        } else if (strcasecmp(choice, "headless") == 0) {
            kind = BackendKind::Headless;
        } else {
            std::fprintf(stderr, "MORVANEL_HOST: unknown back end \"%s\" (sdl or headless)\n", choice);
            return false;
        }
    }
    return Start(kind, argv0);
}

bool Start(BackendKind kind, const char* argv0) {
    Stop();
    g_modulePath = ModulePathFromSystem(argv0);
    detail::ConfigureFilesFromEnvironment();
    detail::ResetDisplay();
    ResetD3D();
    if (const char* modes = std::getenv("MORVANEL_MODES")) {
        int n = std::atoi(modes);
        if (n > 0 && n < 10000) detail::Display().modeCount = n;
    }
    if (const char* pixels = std::getenv("MORVANEL_PIXELS")) detail::Display().use555 = std::strcmp(pixels, "555") == 0;
    if (const char* gone = std::getenv("MORVANEL_NO_MODE")) {
        DisplayMode m{};
        if (std::sscanf(gone, "%dx%dx%d", &m.width, &m.height, &m.bits) == 3) detail::Display().removedModes.push_back(m);
    }
    const detail::Backend* backend = kind == BackendKind::Sdl ? &detail::kSdlBackend : &detail::kHeadlessBackend;
    g_cursorCounter = 0;
    detail::ResetInput();
    g_screenSaver = true;
    g_foreground = false;
    g_quitPosted = false;
    g_backend = backend;
    g_kind = kind;
    detail::SelectThreadModel(kind == BackendKind::Headless);
    if (!backend->start()) {
        g_backend = nullptr;
        return false;
    }
    return true;
}

void Stop() {
    if (!g_backend) return;
    detail::SoundShutdown();
    detail::ResetWindowing();
    detail::ResetDisplay();
    g_backend->stop();
    g_backend = nullptr;
}

BackendKind CurrentBackend() {
    return g_kind;
}

bool IsStarted() {
    return g_backend != nullptr;
}

void OutputDebugString(const char* text) {
    static const bool echo = std::getenv("MORVANEL_DEBUG_OUTPUT") != nullptr;
    if (echo && text) std::fprintf(stderr, "%s", text);
    if (text && g_kind == BackendKind::Headless) detail::RecordDebugOutput(text);
}

// ---------------------------------------------------------------------------
// Windows and messages
// ---------------------------------------------------------------------------

namespace detail {

const Backend* ActiveBackend() {
    return g_backend;
}

Window* InputWindow() {
    for (Window* w : g_windows)
        if (w->visible) return w;
    return g_windows.empty() ? nullptr : g_windows.front();
}

const std::vector<Window*>& Windows() {
    return g_windows;
}

void SetModulePath(const std::string& systemPath) {
    g_modulePath = systemPath;
}

bool AppInForeground() {
    return g_foreground;
}

void SetAppInForeground(bool active) {
    g_foreground = active;
}

void ResetWindowing() {
    for (Window* w : g_windows) {
        if (g_backend) g_backend->windowDestroyed(w);
        delete w;
    }
    g_windows.clear();
    g_classes.clear();
    g_queue.clear();
    g_quitPosted = false;
}

}  // namespace detail

bool RegisterClass(const WindowClass& wc) {
    if (!wc.className || !*wc.className || !wc.proc) return false;
    for (const ClassRecord& c : g_classes)
        if (SameName(c.name, wc.className)) return false;
    g_classes.push_back({wc, wc.className});
    return true;
}

bool UnregisterClass(const char* className) {
    for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
        if (SameName(it->name, className)) {
            g_classes.erase(it);
            return true;
        }
    }
    return false;
}

HWND CreateWindowEx(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                    int width, int height, HINSTANCE /*instance*/) {
    if (!g_backend) return nullptr;
    const ClassRecord* cls = nullptr;
    for (const ClassRecord& c : g_classes)
        if (SameName(c.name, className)) cls = &c;
    if (!cls) return nullptr;
    auto* w = new Window;
    w->className = cls->name;
    w->proc = cls->wc.proc;
    w->title = title ? title : "";
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->rect = {x, y, x + width, y + height};
    g_windows.push_back(w);
    g_backend->windowCreated(w);
    if (style & WS_VISIBLE) ShowWindow(w, SW_SHOW);
    return w;
}

bool DestroyWindow(HWND window) {
    if (!HasWindow(window)) return false;
    window->proc(window, WM_DESTROY, 0, 0);
    g_backend->windowDestroyed(window);
    g_windows.erase(std::find(g_windows.begin(), g_windows.end(), window));
    g_queue.erase(std::remove_if(g_queue.begin(), g_queue.end(), [&](const Msg& m) { return m.hwnd == window; }),
                  g_queue.end());
    delete window;
    return true;
}

bool ShowWindow(HWND window, int command) {
    if (!HasWindow(window)) return false;
    bool was = window->visible;
    bool now = command != SW_HIDE;
    window->visible = now;
    if (was != now) g_backend->windowShown(window, now);
    return was;
}

bool IsWindowVisible(HWND window) {
    return HasWindow(window) && window->visible;
}

bool GetClientRect(HWND window, Rect* rect) {
    if (!HasWindow(window) || !rect) return false;
    *rect = {0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    return true;
}

bool ClientToScreen(HWND window, Point* point) {
    if (!HasWindow(window) || !point) return false;
    point->x += window->rect.left;
    point->y += window->rect.top;
    return true;
}

HWND GetActiveWindow() {
    if (!g_foreground) return nullptr;
    return detail::InputWindow();
}

const char* GetWindowTitle(HWND window) {
    return HasWindow(window) ? window->title.c_str() : nullptr;
}

intptr_t SetWindowLongPtr(HWND window, int index, intptr_t value) {
    if (!window || index != GWL_USERDATA) return 0;
    return window->userData.exchange(value);
}

intptr_t GetWindowLongPtr(HWND window, int index) {
    if (!window || index != GWL_USERDATA) return 0;
    return window->userData.load();
}

int GetClassName(HWND window, char* buffer, int size) {
    if (!HasWindow(window) || !buffer || size <= 0) return 0;
    int n = std::min<int>(int(window->className.size()), size - 1);
    std::memcpy(buffer, window->className.data(), size_t(n));
    buffer[n] = 0;
    return n;
}

bool GetClassInfo(HINSTANCE /*instance*/, const char* className, WindowClass* wc) {
    for (const ClassRecord& c : g_classes) {
        if (SameName(c.name, className)) {
            if (wc) {
                *wc = c.wc;
                wc->className = c.name.c_str();
            }
            return true;
        }
    }
    return false;
}

intptr_t CallWindowProc(WndProc proc, HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!proc) return 0;
    if (g_kind == BackendKind::Headless) detail::RecordWindowProcCall(message, wParam);
    return proc(window, message, wParam, lParam);
}

static bool Matches(const Msg& m, HWND window, uint32_t minId, uint32_t maxId) {
    if (window && m.hwnd != window) return false;
    if (minId == 0 && maxId == 0) return true;
    return m.message >= minId && m.message <= maxId;
}

// When the queue was last found empty, in real time.
static std::chrono::steady_clock::time_point g_lastEmptyPeek;
static bool g_emptyPeekSeen = false;
// Until when the program said it has nothing to do (IdleUntil).
static std::chrono::steady_clock::time_point g_idleUntil;

void IdleUntil(uint32_t ms) {
    g_idleUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

bool PeekMessage(Msg* msg, HWND window, uint32_t minId, uint32_t maxId, uint32_t remove) {
    if (!g_backend) return false;
    // While other threads of the thread layer live, a look at the queue is
    // where the program's thread lets them run (with the baton scheduler it
    // would hold the processor for ever otherwise).
    if (LiveThreadCount() > 0) ThreadCheckpoint();
    bool idle = g_queue.empty();
    // A program waiting in its message pump looks at the empty queue again
    // and again: in the background the back end sleeps up to 10 ms on its
    // events; in the foreground, from the second empty look within a
    // millisecond or so, up to 1 ms.  Either way the program goes on at the
    // first event.
    int waitMs = 0;
    if (idle && !g_foreground) {
        waitMs = 10;
    } else if (idle && g_emptyPeekSeen &&
               std::chrono::steady_clock::now() - g_lastEmptyPeek < std::chrono::microseconds(1500)) {
        waitMs = 1;
        // Whole milliseconds left of a stated idle time: the wait ends no
        // later than the program is due again.
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(g_idleUntil - std::chrono::steady_clock::now());
        if (left.count() > 1) waitMs = int(std::min<int64_t>(left.count(), 100));
    }
    g_backend->pollEvents(waitMs);
    for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
        if (!Matches(*it, window, minId, maxId)) continue;
        if (msg) *msg = *it;
        if (remove & PM_REMOVE) g_queue.erase(it);
        return true;
    }
    if (g_quitPosted && !window && (minId == 0 || (WM_QUIT >= minId && WM_QUIT <= maxId))) {
        if (msg) *msg = {nullptr, WM_QUIT, static_cast<uintptr_t>(g_quitCode), 0};
        if (remove & PM_REMOVE) g_quitPosted = false;
        return true;
    }
    g_lastEmptyPeek = std::chrono::steady_clock::now();
    g_emptyPeekSeen = true;
    return false;
}

bool TranslateMessage(const Msg* /*msg*/) {
    // Character messages are produced by the back ends together with the key
    // messages, so there is nothing left to translate.
    return false;
}

intptr_t DispatchMessage(const Msg* msg) {
    if (!msg || !HasWindow(msg->hwnd)) return 0;
    return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!HasWindow(window)) return 0;
    return window->proc(window, message, wParam, lParam);
}

bool PostMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (window && !HasWindow(window)) return false;
    if (message == WM_ACTIVATEAPP) g_foreground = wParam != 0;
    g_queue.push_back({window, message, wParam, lParam});
    return true;
}

intptr_t DefWindowProc(HWND window, uint32_t message, uintptr_t /*wParam*/, intptr_t /*lParam*/) {
    // Closing a window by default destroys it, as the system does.
    if (message == WM_CLOSE) DestroyWindow(window);
    return 0;
}

void PostQuitMessage(int code) {
    g_quitPosted = true;
    g_quitCode = code;
}

int GetSystemMetrics(int index) {
    int w = 640, h = 480;
    if (g_backend) g_backend->screenSize(&w, &h);
    switch (index) {
    case SM_CXSCREEN: return w;
    case SM_CYSCREEN: return h;
    case SM_MOUSEPRESENT: return 1;
    case SM_CMOUSEBUTTONS: return 3;
    default: return 0;
    }
}

int ShowCursor(bool show) {
    bool was = g_cursorCounter >= 0;
    g_cursorCounter += show ? 1 : -1;
    bool now = g_cursorCounter >= 0;
    if (was != now && g_backend) g_backend->cursorShown(now);
    return g_cursorCounter;
}

int CursorCounter() {
    return g_cursorCounter;
}

bool GetScreenSaverActive() {
    return g_screenSaver;
}

void SetScreenSaverActive(bool active) {
    g_screenSaver = active;
    if (g_backend) g_backend->screenSaver(active);
}

// ---------------------------------------------------------------------------
// Boxes, clocks, processor
// ---------------------------------------------------------------------------

int MessageBox(HWND owner, const char* text, const char* caption, uint32_t flags) {
    if (!g_backend) return IDCANCEL;
    return g_backend->messageBox(owner, text ? text : "", caption ? caption : "", flags);
}

uint32_t GetTickCount() {
    return g_backend ? g_backend->tickCount() : 0;
}

bool QueryPerformanceCounter(int64_t* value) {
    return g_backend && value && g_backend->perfCounter(value);
}

bool QueryPerformanceFrequency(int64_t* frequency) {
    return g_backend && frequency && g_backend->perfFrequency(frequency);
}

static uint64_t CpuMicroseconds(clockid_t clock) {
    timespec t{};
    if (clock_gettime(clock, &t) != 0) return 0;
    return uint64_t(t.tv_sec) * 1000000u + uint64_t(t.tv_nsec) / 1000u;
}

uint64_t ProcessCpuMicroseconds() {
    return CpuMicroseconds(CLOCK_PROCESS_CPUTIME_ID);
}

uint64_t ThreadCpuMicroseconds() {
    return CpuMicroseconds(CLOCK_THREAD_CPUTIME_ID);
}

bool CpuidAvailable() {
    bool available = true;
    uint32_t regs[4];
    if (detail::CpuOverride(&available, 0, regs)) return available;
#if defined(__x86_64__) || defined(__i386__)
    return true;
#else
    return false;
#endif
}

void Cpuid(uint32_t leaf, uint32_t regs[4]) {
    bool available = true;
    if (detail::CpuOverride(&available, leaf, regs)) return;
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    // __get_cpuid answers 0 for leaves above the processor's maximum.
    if (__get_cpuid(leaf, &a, &b, &c, &d)) {
        regs[0] = a;
        regs[1] = b;
        regs[2] = c;
        regs[3] = d;
    }
#endif
}

size_t GetModuleFileName(char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    size_t n = std::min(g_modulePath.size(), size - 1);
    std::memcpy(buffer, g_modulePath.data(), n);
    buffer[n] = 0;
    return n;
}

}  // namespace host
