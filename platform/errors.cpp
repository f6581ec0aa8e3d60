// Engine error codes and texts, their routing to boxes, the fatal road and
// the debug log.
#include "platform/errors.h"

#include "host/host.h"
#include "platform/display/ddraw.h"
#include "platform/settings.h"
#include "platform/window.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

ErrorHookFn ErrorHook = nullptr;
char FatalText[kFatalTextSize] = "";

// Groups of ten: system 0..9 (0x1000 + n for n = 0..8), video 20..23, DirectDraw
// 30..38, sound 40..43, DirectSound 50.  The other positions repeat their
// group's base code, so they are never the first match.
const uint16_t EngineErrorCodes[kEngineErrorCount + 1] = {
    0x1000, 0x1001, 0x1002, 0x1003, 0x1004, 0x1005, 0x1006, 0x1007, 0x1008, 0x1000,  //  0
    0x1000, 0x1000, 0x1000, 0x1000, 0x1000, 0x1000, 0x1000, 0x1000, 0x1000, 0x1000,  // 10
    0x2000, 0x2001, 0x2002, 0x2003, 0x2000, 0x2000, 0x2000, 0x2000, 0x2000, 0x2000,  // 20
    0x2100, 0x2101, 0x2102, 0x2103, 0x2104, 0x2105, 0x2106, 0x2107, 0x2108, 0x2000,  // 30
    0x3000, 0x3001, 0x3002, 0x3003, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000,  // 40
    0x3100, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000,  // 50
    0,
};

const char* const EngineErrorTexts[kEngineErrorCount] = {
    "(system) Unknown error.",
    "Bad resource file %s.",
    "Too many files opened at the same time.",
    "Couldn't open resource file %s.",
    "Resource file %s is corrupted.",
    "Couldn't retrieve file %s in the resource file",
    "Memory manager : Out of memory.",
    "Memory allocation failed (%d).",
    "Memory manager initialization failed. (%d Kb)",
    nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    "(video) Unknown error.",
    "Video stream buffer is too small (%d).",
    "Bad video stream format.",
    "Bad graphic filename extension %s.",
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    "Couldn't set requested video mode",
    "Couldn't create the primary video buffer. (%x)",
    "Couldn't attach the backbuffer on the primary.",
    "Couldn't create offplain buffer.",
    "Out of memory for offplain buffer.",
    "Out of memory for primary buffer.",
    "Couldn't initialize DirectDraw.\nPlease run dxsetup.exe",
    "Couldn't register video depth %d",
    "",
    nullptr,
    "(sound) Unknown error.",
    "Bad music file name.",
    "Audio manager initialization failed.(%d)",
    "Unsupported sound format.",
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    "Couldn't initialize DirectSound!",
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

int FindErrorSlot(int code) {
    for (int i = 0; i < kEngineErrorCount && EngineErrorCodes[i] != 0; ++i)
        if (EngineErrorCodes[i] == code) return i;
    return 0;
}

void FormatEngineError(char* out, int size, int code, ErrorDetail detail) {
    int slot = FindErrorSlot(code);
    const char* text = EngineErrorTexts[slot];
    if (!text || !*text) {
        std::snprintf(out, size, "(%d) Software generic error %04xh", slot, code & 0xFFFF);
    } else if (std::strstr(text, "%d") || std::strstr(text, "%x")) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        std::snprintf(out, size, text, static_cast<int>(detail));
    } else if (std::strstr(text, "%s") && detail != 0) {
        std::snprintf(out, size, text, reinterpret_cast<const char*>(detail));
#pragma GCC diagnostic pop
    } else {
        std::snprintf(out, size, "%s", text);
    }
}

// Before any box the display goes back to the desktop surface, so the box is
// seen over the desktop and not under a full-screen page.
static void FlipToDesktop() {
    if (DDrawObjectExists()) {
        DDrawUnlock(CurrentVideoDriver);
        DDrawFlipToGDISurface();
    }
}

int EngineErrorHook(int code, ErrorDetail detail) {
    char message[64];
    FormatEngineError(message, sizeof message, code, detail);
    FlipToDesktop();
    if (((code & 0xFFF) & 0x200) || std::strchr(message, '!')) {
        WarningBox("%s", message);
    } else {
        FatalError("%s", message);
    }
    return 1;
}

void FatalError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(FatalText, sizeof FatalText, format, args);
    va_end(args);
    // The text goes to the log as it is, never as a format a second time.
    DebugLog("%s", FatalText);
    throw FatalReturn{1};
}

int WarningBox(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    host::HWND owner = MainWindow ? MainWindow : host::GetActiveWindow();
    int answer = host::MessageBox(owner, text, EngineConfig.Title, host::MB_RETRYCANCEL | host::MB_ICONINFORMATION);
    if (answer != host::IDRETRY) FatalError("%s", text);
    return answer;
}

void DebugLog(const char* format, ...) {
    host::File* file = host::FileOpen("debug.txt", "a+t");
    if (!file) return;  // the line is lost, the debugger output too
    char line[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    host::FilePuts(line, file);
    host::FilePuts("\n", file);
    host::OutputDebugString(line);
    host::FileClose(file);
}

// --- window dialog routines -------------------------------------------------

static void DialogText(const char*, int, int, int) {
    FlipToDesktop();
}
static void DialogProgress(int, int) {
    FlipToDesktop();
}
static void DialogFrame(int, int, int) {
    FlipToDesktop();
}
static void DialogClear() {
    FlipToDesktop();
}
// The host has no file dialogs: both answer as if the user cancelled.
static int DialogOpenFile(const char*, const char*, char*) {
    FlipToDesktop();
    return 0;
}
static int DialogSaveFile(const char*, const char*, const char*) {
    FlipToDesktop();
    return 0;
}
static int DialogAsk(const char* text) {
    FlipToDesktop();
    int answer = host::MessageBox(MainWindow, text, EngineConfig.Title, host::MB_YESNOCANCEL | host::MB_ICONINFORMATION);
    return answer == host::IDYES ? 0 : answer == host::IDNO ? 1 : 2;
}

static DialogTable g_dialogs;

DialogTable* FillDialogTable(DialogTable* table) {
    if (!table) table = &g_dialogs;
    *table = {DialogText, DialogProgress, DialogFrame, DialogClear, DialogOpenFile, DialogSaveFile, DialogAsk};
    return table;
}

static bool TraceCost() {
    static const bool on = std::getenv("MORVANEL_TRACE") != nullptr && std::getenv("MORVANEL_TRACE_COST") != nullptr;
    return on;
}

void RunTrace(const char* step) {
    static const bool on = std::getenv("MORVANEL_TRACE") != nullptr;
    if (!on) return;
    if (!TraceCost()) {
        std::fprintf(stderr, "trace: %s\n", step);
        return;
    }
    static const auto start = std::chrono::steady_clock::now();
    auto wall = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::fprintf(stderr, "trace: %s cpu=%llu wall=%llu\n", step,
                 static_cast<unsigned long long>(host::ProcessCpuMicroseconds()),
                 static_cast<unsigned long long>(wall.count()));
}

void RunTraceFigure(const char* what, uint64_t value) {
    if (TraceCost()) std::fprintf(stderr, "trace: %s %llu\n", what, static_cast<unsigned long long>(value));
}
