// Engine errors, the fatal road, warnings with Retry and Cancel, and the
// debug log debug.txt.
//
// A layer reports trouble by handing a 16-bit engine error code and one
// detail value (a number or a text, as the code's text expects) to
// `ErrorHook`.  Codes are grouped by layer: 0x1000 system, 0x2000 video,
// 0x2100 DirectDraw, 0x3000 sound, 0x3100 DirectSound.
#pragma once

#include <cstdint>

// Detail value of an engine error: a number, or a text pointer.
using ErrorDetail = intptr_t;
using ErrorHookFn = int (*)(int code, ErrorDetail detail);

// Set once by WinMain to EngineErrorHook.
extern ErrorHookFn ErrorHook;

constexpr int kEngineErrorCount = 60;
// 60 codes followed by 0; a code's position is the slot of its text.
extern const uint16_t EngineErrorCodes[kEngineErrorCount + 1];
// Texts by slot; nullptr or "" where no text exists.
extern const char* const EngineErrorTexts[kEngineErrorCount];

// Raised by FatalError to reach the recovery point armed in WinMain; its value
// is what the recovery point receives (1).
struct FatalReturn {
    int value;
};

// Text of the last fatal error; empty until FatalError writes it.
constexpr int kFatalTextSize = 256;
extern char FatalText[kFatalTextSize];

// Routes an engine error: a code with bit 0x200 or a text holding "!" goes to
// WarningBox, any other to FatalError.  Answers 1 when it returns.
int EngineErrorHook(int code, ErrorDetail detail);
// Position of the first entry equal to code, 0 when absent.
int FindErrorSlot(int code);
// The message EngineErrorHook shows for a code (at most 63 characters).
void FormatEngineError(char* out, int size, int code, ErrorDetail detail);

// printf-style; never return: the text goes to FatalText and debug.txt and
// control returns to WinMain's recovery point.
[[noreturn]] void FatalError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// printf-style Retry/Cancel box: answers IDRETRY, or does not return (Cancel
// turns it into a fatal error with the same text).
int WarningBox(const char* format, ...) __attribute__((format(printf, 1, 2)));
// printf-style: appends one line to debug.txt and the debugger output.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// With MORVANEL_TRACE set, each step of the run is written to standard error
// as "trace: <step>", for following the run from outside.  With
// MORVANEL_TRACE_COST set as well, each line ends in the processor time the
// process has used and the real time since the first trace, both in
// microseconds: "trace: <step> cpu=<us> wall=<us>".
void RunTrace(const char* step);
// With MORVANEL_TRACE and MORVANEL_TRACE_COST set: "trace: <what> <value>",
// a figure for measuring the run from outside.
void RunTraceFigure(const char* what, uint64_t value);

// The window dialog routines the engine carries.  The game never fills or
// calls the table; they stand on the host's message boxes where they ask.
struct DialogTable {
    void (*Text)(const char* text, int flags, int x, int y);
    void (*Progress)(int position, int range);
    void (*Frame)(int width, int height, int flags);
    void (*Clear)();
    int (*OpenFile)(const char* title, const char* filter, char* buffer);
    int (*SaveFile)(const char* name, const char* filter, const char* title);
    int (*Ask)(const char* text);
};
// Fills the record, or the engine's own table when given none; answers it.
DialogTable* FillDialogTable(DialogTable* table);
