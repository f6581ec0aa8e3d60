// The headless back end: a virtual clock, scripted messages and box answers,
// and a record of everything shown.
#include "host/headless/headless.h"

#include "host/backend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <strings.h>

namespace host::headless {

namespace {

struct Scheduled {
    uint64_t pump;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
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
    uint64_t closeAfter = 0;
    bool closePosted = false;
    std::vector<std::string> debugLines;
    bool cpuSet = false;
    FakeCpu cpu{};
    int screenW = 640, screenH = 480;
    int audioDevices = 1;
    bool echoBoxes = false;
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
    if (frames && *frames) g.closeAfter = std::strtoull(frames, nullptr, 10);
    const char* audio = std::getenv("MORVANEL_AUDIO");
    if (audio && strcasecmp(audio, "none") == 0) g.audioDevices = 0;
    const char* input = std::getenv("MORVANEL_INPUT");
    if (input && *input && !LoadScript(input)) return false;
    return true;
}

void Stop() {}

void PollEvents(bool /*idle*/) {
    ++g.pumps;
    g.clockUs += g.perPumpUs;
    // Deliver every scripted message whose pump has come, in script order.
    std::vector<Scheduled> due;
    auto it = std::stable_partition(g.script.begin(), g.script.end(),
                                    [](const Scheduled& s) { return s.pump > g.pumps; });
    due.assign(it, g.script.end());
    g.script.erase(it, g.script.end());
    for (const Scheduled& s : due) Deliver(s.message, s.wParam, s.lParam);
    if (g.closeAfter && !g.closePosted && g.pumps >= g.closeAfter && detail::InputWindow()) {
        g.closePosted = true;
        std::fprintf(stderr, "headless: %llu pumps done, closing the window\n",
                     static_cast<unsigned long long>(g.pumps));
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

int AudioDeviceCount() {
    return g.audioDevices;
}

const char* AudioDeviceName(int index) {
    return (index >= 0 && index < g.audioDevices) ? "Headless audio capture" : nullptr;
}

bool AudioOpen(int index, int) {
    return index >= 0 && index < g.audioDevices;
}

void AudioClose() {}

}  // namespace

// --- controls -------------------------------------------------------------

void Reset() {
    bool echo = g.echoBoxes;
    g = State{};
    g.echoBoxes = echo;
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
    g.script.push_back({pump, message, wParam, lParam});
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

// One line per message: "<pump> <event> [arguments]"; '#' starts a comment.
//   activate 1|0          WM_ACTIVATEAPP
//   close                 WM_CLOSE
//   keydown N / keyup N   key message for the DirectInput scan code N
//   char N                WM_CHAR with the character code N
//   lbutton|rbutton|mbutton down|up
//   wheel D               WM_MOUSEWHEEL with the delta D (120 per notch)
//   move X Y              WM_MOUSEMOVE at the client position
bool LoadScript(const std::string& nativePath) {
    std::ifstream in(nativePath);
    if (!in) {
        std::fprintf(stderr, "MORVANEL_INPUT: cannot read %s\n", nativePath.c_str());
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string pumpText, event;
        if (!(words >> pumpText)) continue;
        char* end = nullptr;
        uint64_t pump = std::strtoull(pumpText.c_str(), &end, 0);
        bool ok = end && *end == 0 && static_cast<bool>(words >> event);
        std::string a, b;
        words >> a >> b;
        long na = a.empty() ? 0 : std::strtol(a.c_str(), nullptr, 0);
        long nb = b.empty() ? 0 : std::strtol(b.c_str(), nullptr, 0);
        if (ok) {
            if (event == "activate" && !a.empty()) {
                ScheduleFocus(pump, na != 0);
            } else if (event == "close") {
                ScheduleClose(pump);
            } else if ((event == "keydown" || event == "keyup") && !a.empty() && na >= 0 && na < 256) {
                bool up = event == "keyup";
                ScheduleMessage(pump, up ? WM_KEYUP : WM_KEYDOWN, 0, MakeKeyLParam(uint8_t(na), up));
            } else if (event == "char" && !a.empty()) {
                ScheduleMessage(pump, WM_CHAR, uintptr_t(na & 0xFF), 1);
            } else if ((event == "lbutton" || event == "rbutton" || event == "mbutton") &&
                       (a == "down" || a == "up")) {
                uint32_t base = event[0] == 'l' ? WM_LBUTTONDOWN : event[0] == 'r' ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
                ScheduleMessage(pump, a == "down" ? base : base + 1, 0, 0);
            } else if (event == "wheel" && !a.empty()) {
                ScheduleMessage(pump, WM_MOUSEWHEEL, uintptr_t(uint32_t(uint16_t(int16_t(na))) << 16), 0);
            } else if (event == "move" && !b.empty()) {
                ScheduleMessage(pump, WM_MOUSEMOVE, 0, intptr_t((uint32_t(uint16_t(nb)) << 16) | uint16_t(na)));
            } else {
                ok = false;
            }
        }
        if (!ok) {
            std::fprintf(stderr, "MORVANEL_INPUT: line %d not understood: %s\n", number, line.c_str());
            return false;
        }
    }
    return true;
}

const std::vector<std::string>& DebugOutput() {
    return g.debugLines;
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
    "headless",
    headless::Start,
    headless::Stop,
    headless::PollEvents,
    headless::ShowBox,
    headless::TickCount,
    headless::PerfCounter,
    headless::PerfFrequency,
    headless::ScreenSize,
    headless::WindowCreated,
    headless::WindowShown,
    headless::WindowDestroyed,
    headless::CursorShown,
    headless::ScreenSaver,
    headless::AudioDeviceCount,
    headless::AudioDeviceName,
    headless::AudioOpen,
    headless::AudioClose,
};

void RecordDebugOutput(const char* text) {
    headless::g.debugLines.emplace_back(text);
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
