// The headless back end: a virtual clock, scripted messages and box answers,
// and a record of everything shown.
#include "host/headless/headless.h"

#include "host/backend.h"
#include "host/headless/headless_sound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <png.h>
#include <zlib.h>
#include <functional>
#include <iostream>
#include <mutex>
#include <sstream>
#include <strings.h>

namespace host::headless {

namespace {

struct Scheduled {
    uint64_t pump;
    std::function<void()> action;
};

struct HeadlessJoystick {
    JoyState state;
    bool loseNext = false;
};

struct State {
    uint64_t clockUs = 0;
    uint32_t perReadUs = 100;
    uint32_t perPumpUs = 1000;
    bool perfCounter = true;
    std::vector<int> answers;
    size_t nextAnswer = 0;
    std::vector<BoxRecord> boxes;
    std::vector<Scheduled> script;
    uint64_t pumps = 0;
    int lastWaitMs = 0;
    uint64_t closeAfter = 0;
    bool closePosted = false;
    std::vector<std::string> debugLines;
    std::vector<TextRecord> texts;
    bool cpuSet = false;
    FakeCpu cpu{};
    int screenW = 640, screenH = 480;
    bool echoBoxes = false;
    bool keyboard = true;
    std::vector<std::string> keyNames = std::vector<std::string>(256);
    std::vector<HeadlessJoystick> joysticks;
    bool forceFeedback = false;
    std::vector<std::string> forceLog;
    uint32_t mouseButtons = 0;
    uint64_t frames = 0;
    uint64_t closeAfterFrames = 0;
    CapturedFrame last;
    // The last frame's 8-bit palette, and whether its 0x00RRGGBB pixels are
    // still to be made: they are made when a reader asks for them, not at
    // every present.
    std::vector<uint8_t> lastPalette;
    bool lastXrgbStale = false;
    std::string captureDir;
    bool fullScreen = false;
    // Input read from standard input as the run goes (MORVANEL_INPUT=-):
    // the pump of the last line read, and whether the stream has ended.
    bool live = false;
    uint64_t liveReadTo = 0;
};

State g;

int ParseAnswer(const std::string& word) {
    const char* w = word.c_str();
    if (strcasecmp(w, "ok") == 0) return IDOK;
    if (strcasecmp(w, "cancel") == 0) return IDCANCEL;
    if (strcasecmp(w, "retry") == 0) return IDRETRY;
    if (strcasecmp(w, "yes") == 0) return IDYES;
    if (strcasecmp(w, "no") == 0) return IDNO;
    return 0;
}

// The answer a box takes when the script gives none: the one that leaves
// the box without retrying anything.
int DefaultAnswer(uint32_t flags) {
    switch (flags & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
    }
}

bool AnswerFits(int answer, uint32_t flags) {
    switch (flags & MB_TYPEMASK) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL: return answer == IDRETRY || answer == IDCANCEL;
    default: return true;
    }
}

const char* AnswerName(int answer) {
    switch (answer) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDRETRY: return "retry";
    case IDYES: return "yes";
    case IDNO: return "no";
    default: return "?";
    }
}

void Deliver(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* w = detail::InputWindow();
    if (!w) return;
    PostMessage(w, message, wParam, lParam);
}

uintptr_t MouseKeyFlags() {
    uintptr_t flags = 0;
    if (g.mouseButtons & 1) flags |= MK_LBUTTON;
    if (g.mouseButtons & 2) flags |= MK_RBUTTON;
    if (g.mouseButtons & 4) flags |= MK_MBUTTON;
    return flags;
}

// --- back-end slots -------------------------------------------------------

bool Start() {
    const char* boxes = std::getenv("MORVANEL_BOXES");
    g.echoBoxes = true;
    if (boxes && *boxes) {
        std::stringstream in(boxes);
        std::string word;
        while (std::getline(in, word, ',')) {
            int a = ParseAnswer(word);
            if (a) g.answers.push_back(a);
            else std::fprintf(stderr, "MORVANEL_BOXES: unknown answer \"%s\" ignored\n", word.c_str());
        }
    }
    const char* frames = std::getenv("MORVANEL_FRAMES");
    if (frames && *frames) {
        // Frames count once something is presented; a program that never
        // presents is closed after 20000 pumps and 200 more per frame.
        g.closeAfterFrames = std::strtoull(frames, nullptr, 10);
        g.closeAfter = 20000 + g.closeAfterFrames * 200;
    }
    const char* capture = std::getenv("MORVANEL_CAPTURE");
    if (capture && *capture) {
        g.captureDir = capture;
        // A folder that does not exist yet is made, with its parents.
        std::error_code ec;
        std::filesystem::create_directories(g.captureDir, ec);
        if (ec) std::fprintf(stderr, "MORVANEL_CAPTURE: cannot make %s: %s\n", capture, ec.message().c_str());
    }
    ConfigureSoundFromEnvironment();
    const char* keyboard = std::getenv("MORVANEL_KEYBOARD");
    if (keyboard && strcasecmp(keyboard, "none") == 0) g.keyboard = false;
    const char* joysticks = std::getenv("MORVANEL_JOYSTICKS");
    if (joysticks && *joysticks) {
        char* end = nullptr;
        long n = std::strtol(joysticks, &end, 10);
        SetJoysticks(n > 0 && n < 16 ? int(n) : 0, end && strcasecmp(end, "ff") == 0);
    }
    const char* input = std::getenv("MORVANEL_INPUT");
    if (input && *input && !LoadScript(input)) return false;
    return true;
}

void Stop() {}

void ReadLiveInput();

void PollEvents(int waitMs) {
    g.lastWaitMs = waitMs;
    ++g.pumps;
    g.clockUs += g.perPumpUs;
    if (g.live && g.liveReadTo <= g.pumps) ReadLiveInput();
    // Deliver every scripted message whose pump has come, in script order.
    std::vector<Scheduled> due;
    auto it = std::stable_partition(g.script.begin(), g.script.end(),
                                    [](const Scheduled& s) { return s.pump > g.pumps; });
    due.assign(it, g.script.end());
    g.script.erase(it, g.script.end());
    for (const Scheduled& s : due) s.action();
    if (g.closeAfter && !g.closePosted && g.pumps >= g.closeAfter && detail::InputWindow()) {
        g.closePosted = true;
        std::fprintf(stderr, "headless: %llu pumps done, closing the window\n",
                     static_cast<unsigned long long>(g.pumps));
        Deliver(WM_CLOSE, 0, 0);
    }
    if (g.closeAfterFrames && !g.closePosted && g.frames >= g.closeAfterFrames && detail::InputWindow()) {
        g.closePosted = true;
        std::fprintf(stderr, "headless: %llu frames presented, closing the window\n",
                     static_cast<unsigned long long>(g.frames));
        Deliver(WM_CLOSE, 0, 0);
    }
}

int ShowBox(HWND /*owner*/, const char* text, const char* caption, uint32_t flags) {
    int answer = 0;
    if (g.nextAnswer < g.answers.size()) answer = g.answers[g.nextAnswer++];
    if (!answer || !AnswerFits(answer, flags)) answer = DefaultAnswer(flags);
    g.boxes.push_back({text, caption, flags, answer});
    if (g.echoBoxes) std::fprintf(stderr, "[box \"%s\"] %s -> %s\n", caption, text, AnswerName(answer));
    return answer;
}

uint32_t TickCount() {
    g.clockUs += g.perReadUs;
    return static_cast<uint32_t>(g.clockUs / 1000);
}

bool PerfCounter(int64_t* value) {
    if (!g.perfCounter) return false;
    g.clockUs += g.perReadUs;
    *value = static_cast<int64_t>(g.clockUs);
    return true;
}

bool PerfFrequency(int64_t* frequency) {
    if (!g.perfCounter) return false;
    *frequency = 1000000;
    return true;
}

void ScreenSize(int* w, int* h) {
    *w = g.screenW;
    *h = g.screenH;
}

void WindowCreated(Window*) {}

void WindowShown(Window* window, bool visible) {
    // A window that comes up takes the focus, as on a desktop; the program
    // learns it through WM_ACTIVATEAPP.
    if (visible && !detail::AppInForeground()) PostMessage(window, WM_ACTIVATEAPP, 1, 0);
}

void WindowDestroyed(Window*) {}
void CursorShown(bool) {}
void ScreenSaver(bool) {}

bool KeyboardPresent() {
    return g.keyboard;
}

int KeyName(uint8_t scan, char* buffer, int size) {
    const std::string& name = g.keyNames[scan];
    if (name.empty() || size <= 0) return 0;
    int n = std::min<int>(static_cast<int>(name.size()), size - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = 0;
    return n;
}

int JoystickCountSlot(bool ffOnly) {
    if (ffOnly && !g.forceFeedback) return 0;
    return static_cast<int>(g.joysticks.size());
}

void* JoystickOpenSlot(int index, bool ffOnly) {
    if (index < 0 || index >= JoystickCountSlot(ffOnly)) return nullptr;
    return reinterpret_cast<void*>(static_cast<intptr_t>(index + 1));
}

void JoystickCloseSlot(void*) {}

int JoystickStateSlot(void* device, JoyState* state) {
    size_t index = static_cast<size_t>(reinterpret_cast<intptr_t>(device) - 1);
    if (index >= g.joysticks.size()) return JOY_FAILED;
    HeadlessJoystick& j = g.joysticks[index];
    if (j.loseNext) {
        j.loseNext = false;
        return JOY_INPUTLOST;
    }
    *state = j.state;
    return JOY_OK;
}

bool JoystickForceSlot(void*, int op, int32_t dx, int32_t dy, int32_t magnitude) {
    static const char* const names[] = {"create", "set", "start", "stop", "release", "autocenter on",
                                        "autocenter off"};
    if (!g.forceFeedback || op < 0 || op > 6) return false;
    std::string line = names[op];
    if (op == detail::kForceSet)
        for (int32_t v : {dx, dy, magnitude}) line.append(" ").append(std::to_string(v));
    g.forceLog.push_back(line);
    return true;
}

// The last frame's 0x00RRGGBB pixels from its raw copy.
void MakeLastXrgb() {
    if (!g.lastXrgbStale) return;
    CapturedFrame& c = g.last;
    c.xrgb = detail::FrameToXrgb({c.raw.data(), c.width, c.height, c.pitch, c.format,
                                  g.lastPalette.empty() ? nullptr : g.lastPalette.data()});
    g.lastXrgbStale = false;
}

PresentObserver g_presentObserver = nullptr;
void* g_presentContext = nullptr;
std::mutex g_procLock;
std::vector<WindowProcCall> g_procCalls;

void Present(const detail::Frame& frame) {
    ++g.frames;
    CapturedFrame& c = g.last;
    c.width = frame.width;
    c.height = frame.height;
    c.pitch = frame.pitch;
    c.format = frame.format;
    c.raw.assign(frame.pixels, frame.pixels + size_t(frame.pitch) * size_t(frame.height));
    if (frame.palette) g.lastPalette.assign(frame.palette, frame.palette + 256 * 4);
    else g.lastPalette.clear();
    g.lastXrgbStale = true;
    if (!g.captureDir.empty() || g_presentObserver) MakeLastXrgb();
    if (!g.captureDir.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05llu.png", static_cast<unsigned long long>(g.frames));
        WritePng(g.captureDir + name, c.xrgb, c.width, c.height, PngEncoding::Fast);
    }
    if (g_presentObserver) g_presentObserver(c, g.clockUs, g_presentContext);
}

void DisplayModeSlot(bool fullScreen, int, int) {
    g.fullScreen = fullScreen;
}

void WindowResized(Window*) {}

void CursorMoved(int, int) {}
void CursorClipped(const Rect*) {}
void CursorShape(SystemCursor) {}

}  // namespace

// --- controls -------------------------------------------------------------

void Reset() {
    bool echo = g.echoBoxes;
    g = State{};
    g.echoBoxes = echo;
    g_presentObserver = nullptr;
    ClearWindowProcCalls();
    detail::ResetInput();
    detail::SetFileWriteBudget(-1);
    detail::SetFileCallLog(nullptr, false);
    ResetSound();
}

void AdvanceClock(uint64_t us) {
    g.clockUs += us;
}
void SetClock(uint64_t us) {
    g.clockUs = us;
}
uint64_t ClockMicroseconds() {
    return g.clockUs;
}
void SetAutoStep(uint32_t perRead, uint32_t perPump) {
    g.perReadUs = perRead;
    g.perPumpUs = perPump;
}
void SetPerformanceCounter(bool present) {
    g.perfCounter = present;
}

void QueueBoxAnswer(int answer) {
    g.answers.push_back(answer);
}
void ClearBoxAnswers() {
    g.answers.clear();
    g.nextAnswer = 0;
}
const std::vector<BoxRecord>& Boxes() {
    return g.boxes;
}
void ClearBoxes() {
    g.boxes.clear();
}

void ScheduleMessage(uint64_t pump, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g.script.push_back({pump, [=] { Deliver(message, wParam, lParam); }});
}

void PressKey(uint8_t scanCode, bool down) {
    detail::SetKeyDown(scanCode, down);
    Deliver(down ? WM_KEYDOWN : WM_KEYUP, 0, MakeKeyLParam(scanCode, !down));
}

void ScheduleKey(uint64_t pump, uint8_t scanCode, bool down) {
    g.script.push_back({pump, [=] { PressKey(scanCode, down); }});
}

void SetKeyboardPresent(bool present) {
    g.keyboard = present;
}

void SetKeyName(uint8_t scanCode, const std::string& name) {
    g.keyNames[scanCode] = name;
}

JoyState CenteredJoystick() {
    JoyState s{};
    s.x = s.y = s.z = s.rx = s.ry = s.rz = 32767;
    for (uint32_t& p : s.pov) p = 0xFFFFFFFFu;
    return s;
}

void SetJoysticks(int count, bool forceFeedback) {
    g.joysticks.assign(static_cast<size_t>(std::max(0, count)), HeadlessJoystick{CenteredJoystick()});
    g.forceFeedback = forceFeedback;
}

void SetJoystickState(int index, const JoyState& state) {
    if (index >= 0 && size_t(index) < g.joysticks.size()) g.joysticks[size_t(index)].state = state;
}

void LoseJoystickInput(int index) {
    if (index >= 0 && size_t(index) < g.joysticks.size()) g.joysticks[size_t(index)].loseNext = true;
}

const std::vector<std::string>& ForceLog() {
    return g.forceLog;
}

void ScheduleJoystick(uint64_t pump, int index, const JoyState& state) {
    g.script.push_back({pump, [=] { SetJoystickState(index, state); }});
}

void MoveMouse(int clientX, int clientY) {
    Window* w = detail::InputWindow();
    int left = w ? w->rect.left : 0, top = w ? w->rect.top : 0;
    detail::SetCursorFromBackend(left + clientX, top + clientY);
    Deliver(WM_MOUSEMOVE, MouseKeyFlags(), intptr_t((uint32_t(uint16_t(clientY)) << 16) | uint16_t(clientX)));
}

void SetMouseButton(int button, bool down) {
    if (button < 0 || button > 2) return;
    uint32_t bit = 1u << button;
    g.mouseButtons = down ? (g.mouseButtons | bit) : (g.mouseButtons & ~bit);
    static const uint32_t kDown[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    Point p{};
    GetCursorPos(&p);
    Window* w = detail::InputWindow();
    int x = p.x - (w ? w->rect.left : 0), y = p.y - (w ? w->rect.top : 0);
    Deliver(down ? kDown[button] : kDown[button] + 1, MouseKeyFlags(),
            intptr_t((uint32_t(uint16_t(y)) << 16) | uint16_t(x)));
}
void ScheduleFocus(uint64_t pump, bool active) {
    ScheduleMessage(pump, WM_ACTIVATEAPP, active ? 1 : 0, 0);
}
void ScheduleClose(uint64_t pump) {
    ScheduleMessage(pump, WM_CLOSE, 0, 0);
}
void SetCloseAfterPumps(uint64_t pumps) {
    g.closeAfter = pumps;
    g.closePosted = false;
}
uint64_t PumpCount() {
    return g.pumps;
}

int LastPumpWaitMs() {
    return g.lastWaitMs;
}

// One line per event: "<pump> <event> [arguments]"; '#' starts a comment.
//   activate 1|0          WM_ACTIVATEAPP
//   close                 WM_CLOSE
//   keydown K / keyup K   a key by scan code (decimal or 0x..) or name
//   char N                WM_CHAR with the character code N
//   lbutton|rbutton|mbutton down|up
//   wheel D               WM_MOUSEWHEEL with the delta D (120 per notch)
//   move X Y              the cursor to the client position
//   joy N axes X Y Z RZ   joystick N's axes (0..65535)
//   joy N button B down|up
//   joy N hat DEG|centre  the first hat, in hundredths of a degree
//   joy N lost            its next read answers "input lost"
//   nop                   nothing (a live driver's next stop)
// MORVANEL_INPUT=- reads the lines from standard input as the run goes
// (see ReadLiveInput).
namespace {

bool ParseNumber(const std::string& word, long* out) {
    if (word.empty()) return false;
    char* end = nullptr;
    *out = std::strtol(word.c_str(), &end, 0);
    return end && *end == 0;
}

int ParseKey(const std::string& word) {
    long n;
    if (ParseNumber(word, &n)) return (n >= 0 && n < 256) ? int(n) : -1;
    return ScanCodeByName(word.c_str());
}

// The joystick state as the script has set it so far, per joystick.
std::vector<JoyState> g_scriptJoy;

JoyState& ScriptJoy(size_t index) {
    while (g_scriptJoy.size() <= index) g_scriptJoy.push_back(CenteredJoystick());
    return g_scriptJoy[index];
}

bool ParseJoy(uint64_t pump, std::istringstream& words) {
    long index;
    std::string indexText, what;
    if (!(words >> indexText >> what) || !ParseNumber(indexText, &index) || index < 0 || index > 15) return false;
    JoyState& s = ScriptJoy(size_t(index));
    if (what == "axes") {
        long v[4];
        std::string t[4];
        for (int i = 0; i < 4; ++i)
            if (!(words >> t[i]) || !ParseNumber(t[i], &v[i]) || v[i] < 0 || v[i] > 65535) return false;
        s.x = int32_t(v[0]);
        s.y = int32_t(v[1]);
        s.z = int32_t(v[2]);
        s.rz = int32_t(v[3]);
    } else if (what == "button") {
        std::string b, state;
        long n;
        if (!(words >> b >> state) || !ParseNumber(b, &n) || n < 0 || n > 31 || (state != "down" && state != "up"))
            return false;
        s.buttons[n] = state == "down" ? 0x80 : 0;
    } else if (what == "hat") {
        std::string d;
        long n;
        if (!(words >> d)) return false;
        if (d == "centre" || d == "center") s.pov[0] = 0xFFFFFFFFu;
        else if (ParseNumber(d, &n) && n >= 0 && n < 36000) s.pov[0] = uint32_t(n);
        else return false;
    } else if (what == "lost") {
        int i = int(index);
        g.script.push_back({pump, [i] { LoseJoystickInput(i); }});
        return true;
    } else {
        return false;
    }
    ScheduleJoystick(pump, int(index), s);
    return true;
}

bool ParseLine(uint64_t pump, const std::string& event, std::istringstream& words) {
    std::string a, b;
    long na = 0, nb = 0;
    if (event == "activate") {
        if (!(words >> a) || !ParseNumber(a, &na)) return false;
        ScheduleFocus(pump, na != 0);
    } else if (event == "close") {
        ScheduleClose(pump);
    } else if (event == "keydown" || event == "keyup") {
        int key = (words >> a) ? ParseKey(a) : -1;
        if (key < 0) return false;
        ScheduleKey(pump, uint8_t(key), event == "keydown");
    } else if (event == "char") {
        if (!(words >> a) || !ParseNumber(a, &na)) return false;
        ScheduleMessage(pump, WM_CHAR, uintptr_t(na & 0xFF), 1);
    } else if (event == "lbutton" || event == "rbutton" || event == "mbutton") {
        if (!(words >> a) || (a != "down" && a != "up")) return false;
        int button = event[0] == 'l' ? 0 : event[0] == 'r' ? 1 : 2;
        bool down = a == "down";
        g.script.push_back({pump, [=] { SetMouseButton(button, down); }});
    } else if (event == "wheel") {
        if (!(words >> a) || !ParseNumber(a, &na)) return false;
        uintptr_t delta = uintptr_t(uint32_t(uint16_t(int16_t(na))) << 16);
        g.script.push_back({pump, [=] { Deliver(WM_MOUSEWHEEL, delta | MouseKeyFlags(), 0); }});
    } else if (event == "move") {
        if (!(words >> a >> b) || !ParseNumber(a, &na) || !ParseNumber(b, &nb)) return false;
        int x = int(na), y = int(nb);
        g.script.push_back({pump, [=] { MoveMouse(x, y); }});
    } else if (event == "joy") {
        return ParseJoy(pump, words);
    } else if (event == "nop") {
        // Nothing: a live driver's mark of the pump it wants to be asked at.
    } else {
        return false;
    }
    return true;
}

}  // namespace

namespace {

// One line of a script: 1 when it scheduled its event (at *pump), 0 for a
// blank or comment line, -1 when it is not understood.
int ScheduleScriptLine(std::string line, uint64_t* pump) {
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string pumpText, event;
    if (!(words >> pumpText)) return 0;
    long at = 0;
    bool ok = ParseNumber(pumpText, &at) && at >= 0 && static_cast<bool>(words >> event) &&
              ParseLine(uint64_t(at), event, words);
    *pump = uint64_t(at < 0 ? 0 : at);
    return ok ? 1 : -1;
}

// Live input: the program stops at the pump of the last line read and
// says so on standard error ("headless: waiting at pump N frame F", F the
// frames presented so far, the last of them frame-F.png of a capture); the driver on
// the other end of standard input answers with lines for this pump and
// later ones, the last of them for a later pump, which the program runs
// to before it asks again.  The virtual clock stands still meanwhile, so
// a run is the same however slowly its driver thinks.  End of input ends
// live mode: the run goes on with what was scheduled.
void ReadLiveInput() {
    std::fprintf(stderr, "headless: waiting at pump %llu frame %llu\n", static_cast<unsigned long long>(g.pumps),
                 static_cast<unsigned long long>(g.frames));
    std::fflush(stderr);
    std::string line;
    while (g.liveReadTo <= g.pumps) {
        if (!std::getline(std::cin, line)) {
            g.live = false;
            return;
        }
        uint64_t pump = 0;
        const int read = ScheduleScriptLine(line, &pump);
        if (read < 0) std::fprintf(stderr, "MORVANEL_INPUT: live line not understood: %s\n", line.c_str());
        if (read > 0 && pump > g.liveReadTo) g.liveReadTo = pump;
    }
}

}  // namespace

bool LoadScript(const std::string& nativePath) {
    if (nativePath == "-") {
        // Read as the run goes, from the first pump on.
        g.live = true;
        g.liveReadTo = 0;
        return true;
    }
    std::ifstream in(nativePath);
    if (!in) {
        std::fprintf(stderr, "MORVANEL_INPUT: cannot read %s\n", nativePath.c_str());
        return false;
    }
    g_scriptJoy.clear();
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        uint64_t pump = 0;
        if (ScheduleScriptLine(line, &pump) < 0) {
            std::fprintf(stderr, "MORVANEL_INPUT: line %d not understood: %s\n", number, line.c_str());
            return false;
        }
    }
    return true;
}

uint64_t PresentedFrames() {
    return g.frames;
}

const CapturedFrame& LastFrame() {
    MakeLastXrgb();
    return g.last;
}

void SetCloseAfterFrames(uint64_t frames) {
    g.closeAfterFrames = frames;
    g.closePosted = false;
}

bool FullScreen() {
    return g.fullScreen;
}

void SetModeCount(int count) {
    detail::Display().modeCount = count;
}

void RemoveMode(int width, int height, int bits) {
    detail::Display().removedModes.push_back({width, height, bits});
}

void SetDisplay555(bool use555) {
    detail::Display().use555 = use555;
}

void SetVideoPitchPadding(int bytes) {
    detail::Display().videoPitchPadding = bytes;
}

void SetMemoryPitchPadding(int bytes) {
    detail::Display().memoryPitchPadding = bytes;
}

void SetDriverCount(int count) {
    detail::Display().driverCount = count;
}

void SetDiskFreeBytes(int64_t bytes) {
    detail::SetFileWriteBudget(bytes);
}

namespace {
std::vector<std::string> g_fileCalls;
}  // namespace

void RecordFileCalls(bool failSync) {
    g_fileCalls.clear();
    detail::SetFileCallLog(&g_fileCalls, failSync);
}

void StopFileCalls() {
    detail::SetFileCallLog(nullptr, false);
}

const std::vector<std::string>& FileCalls() {
    return g_fileCalls;
}

void SetNoBltHardware(bool none) {
    detail::Display().noBltHardware = none;
}

void SetFailures(bool create, bool setMode, bool primary, bool offscreen, bool backBuffer) {
    detail::DisplaySettings& d = detail::Display();
    d.failCreate = create;
    d.failSetMode = setMode;
    d.failPrimary = primary;
    d.failOffscreen = offscreen;
    d.failBackBuffer = backBuffer;
}

void SetWrongModeOnRestore(bool wrongMode) {
    detail::Display().wrongMode = wrongMode;
}

void SetExtraDisplayReferences(int references) {
    detail::Display().extraReferences = references;
}

void LoseSurfaces() {
    detail::LoseAllSurfaces();
}

void InjectStillDrawing(int count) {
    detail::InjectStillDrawing(count);
}

const std::vector<std::string>& DebugOutput() {
    return g.debugLines;
}

void ClearDebugOutput() {
    std::vector<std::string>().swap(g.debugLines);
}

const std::vector<TextRecord>& TextLog() {
    return g.texts;
}

void ClearTextLog() {
    g.texts.clear();
}

void SetPresentObserver(PresentObserver observer, void* context) {
    g_presentObserver = observer;
    g_presentContext = context;
}

std::vector<WindowProcCall> WindowProcCalls() {
    std::lock_guard<std::mutex> lock(g_procLock);
    return g_procCalls;
}

void ClearWindowProcCalls() {
    std::lock_guard<std::mutex> lock(g_procLock);
    g_procCalls.clear();
}

void SetCpu(const FakeCpu& cpu) {
    g.cpuSet = true;
    g.cpu = cpu;
}
void ClearCpu() {
    g.cpuSet = false;
}

void SetModuleFileName(const std::string& systemPath) {
    detail::SetModulePath(systemPath);
}

void SetScreenSize(int width, int height) {
    g.screenW = width;
    g.screenH = height;
}

}  // namespace host::headless

namespace host::detail {

const Backend kHeadlessBackend = {
    .name = "headless",
    .start = headless::Start,
    .stop = headless::Stop,
    .pollEvents = headless::PollEvents,
    .messageBox = headless::ShowBox,
    .tickCount = headless::TickCount,
    .perfCounter = headless::PerfCounter,
    .perfFrequency = headless::PerfFrequency,
    .screenSize = headless::ScreenSize,
    .windowCreated = headless::WindowCreated,
    .windowShown = headless::WindowShown,
    .windowDestroyed = headless::WindowDestroyed,
    .cursorShown = headless::CursorShown,
    .screenSaver = headless::ScreenSaver,
    .audioDeviceCount = headless::SoundDeviceCount,
    .audioDeviceName = headless::SoundDeviceName,
    .audioOpen = headless::SoundOpen,
    .audioClose = headless::SoundClose,
    .keyboardPresent = headless::KeyboardPresent,
    .keyName = headless::KeyName,
    .joystickCount = headless::JoystickCountSlot,
    .joystickOpen = headless::JoystickOpenSlot,
    .joystickClose = headless::JoystickCloseSlot,
    .joystickState = headless::JoystickStateSlot,
    .joystickForce = headless::JoystickForceSlot,
    .cursorMoved = headless::CursorMoved,
    .cursorClipped = headless::CursorClipped,
    .cursorShape = headless::CursorShape,
    .present = headless::Present,
    .displayMode = headless::DisplayModeSlot,
    .windowResized = headless::WindowResized,
};

void RecordDebugOutput(const char* text) {
    headless::g.debugLines.emplace_back(text);
}

void RecordTextOut(int x, int y, uint32_t colour, const char* text, int count) {
    static const bool trace = std::getenv("MORVANEL_TRACE") != nullptr;
    std::vector<headless::TextRecord>& log = headless::g.texts;
    // A long run keeps its latest texts: the older half goes when full.
    if (log.size() >= 4096) log.erase(log.begin(), log.begin() + 2048);
    log.push_back({x, y, colour, text ? std::string(text, size_t(count)) : std::string()});
    if (trace) std::fprintf(stderr, "trace: Text %d %d %s\n", x, y, log.back().text.c_str());
}

void RecordWindowProcCall(uint32_t message, uintptr_t wParam) {
    std::lock_guard<std::mutex> lock(headless::g_procLock);
    headless::g_procCalls.push_back({message, wParam});
}

bool CpuOverride(bool* available, uint32_t leaf, uint32_t regs[4]) {
    using headless::g;
    if (!g.cpuSet) return false;
    *available = g.cpu.hasCpuid;
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
    char vendor[12] = {};
    std::memcpy(vendor, g.cpu.vendor.data(), std::min<size_t>(12, g.cpu.vendor.size()));
    if (leaf == 0) {
        regs[0] = 1;
        std::memcpy(&regs[1], vendor, 4);      // EBX
        std::memcpy(&regs[3], vendor + 4, 4);  // EDX
        std::memcpy(&regs[2], vendor + 8, 4);  // ECX
    } else if (leaf == 1) {
        regs[0] = g.cpu.signature;
        regs[3] = g.cpu.features;
    } else if (leaf == 0x80000000u) {
        regs[0] = 0x80000001u;
    } else if (leaf == 0x80000001u) {
        regs[3] = g.cpu.extendedFeatures;
    }
    return true;
}

}  // namespace host::detail

namespace host::headless {

namespace {

// The frame's colours as palette indices when it holds at most 256 of them
// (menus, pictures and many game frames do); false as soon as a 257th
// colour turns up.  Runs of one colour, the common case, skip the lookup.
bool PaletteOf(const std::vector<uint32_t>& xrgb, std::vector<uint32_t>* palette, std::vector<uint8_t>* indices) {
    constexpr uint32_t kSlots = 1024, kEmpty = 0xFFFFFFFFu;  // pixels are 0x00RRGGBB: never kEmpty
    uint32_t keys[kSlots];
    uint8_t values[kSlots];
    std::fill(std::begin(keys), std::end(keys), kEmpty);
    palette->clear();
    indices->resize(xrgb.size());
    uint32_t previous = kEmpty;
    uint8_t index = 0;
    for (size_t i = 0; i < xrgb.size(); ++i) {
        uint32_t v = xrgb[i] & 0x00FFFFFFu;
        if (v != previous) {
            uint32_t slot = (v * 2654435761u) >> 22;
            while (keys[slot] != v && keys[slot] != kEmpty) slot = (slot + 1) & (kSlots - 1);
            if (keys[slot] == kEmpty) {
                if (palette->size() == 256) return false;
                keys[slot] = v;
                values[slot] = uint8_t(palette->size());
                palette->push_back(v);
            }
            index = values[slot];
            previous = v;
        }
        (*indices)[i] = index;
    }
    return true;
}

}  // namespace

bool WritePng(const std::string& path, const std::vector<uint32_t>& xrgb, int width, int height,
              PngEncoding encoding) {
    if (width <= 0 || height <= 0 || xrgb.size() < size_t(width) * size_t(height)) return false;
    // The fast encoding keeps a frame of few colours as a palette picture:
    // a third of the bytes to compress, and zlib's run-length strategy finds
    // the long runs of game frames quicker than its matcher.
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
    bool indexed = encoding == PngEncoding::Fast && PaletteOf(xrgb, &palette, &indices);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, uint32_t(width), uint32_t(height), 8, indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) {
        std::vector<png_color> colours(palette.size());
        for (size_t i = 0; i < palette.size(); ++i)
            colours[i] = {uint8_t(palette[i] >> 16), uint8_t(palette[i] >> 8), uint8_t(palette[i])};
        png_set_PLTE(png, info, colours.data(), int(colours.size()));
    }
    if (encoding == PngEncoding::Fast) {
        png_set_compression_level(png, 1);
        // Runs of equal index bytes suit run-length matching; RGB frames
        // repeat three-byte pixels, which only the full matcher finds.
        if (indexed) png_set_compression_strategy(png, Z_RLE);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    }
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        if (indexed) {
            png_write_row(png, indices.data() + size_t(y) * size_t(width));
            continue;
        }
        const uint32_t* line = xrgb.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3] = uint8_t(line[x] >> 16);
            row[size_t(x) * 3 + 1] = uint8_t(line[x] >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(line[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace host::headless
