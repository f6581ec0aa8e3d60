// Controls of the headless back end, for tests and automation.
//
// The headless back end has no window system.  Its clock is virtual: it
// starts at 0 and moves only when told, when messages are pumped (1 ms per
// pump) and when it is read (100 microseconds per reading by default), so a
// busy wait on it always ends.  Messages, focus changes and message-box
// answers are scripted; every box shown and every debugger-output line is
// recorded.
//
// Environment options read at start:
//   MORVANEL_BOXES   comma-separated answers for the boxes, in order
//                    (ok, cancel, retry, yes, no); each box's text is printed
//                    to standard error.  Without an answer a box takes Cancel
//                    (No for a Yes/No box, OK for a box with only OK).
//   MORVANEL_FRAMES  after that many presented frames the host posts
//                    WM_CLOSE to the main window and says so on standard
//                    error; a program that presents nothing is closed after
//                    20000 pumps and 200 more per frame instead.
//   MORVANEL_CAPTURE a folder, made when it does not exist: every presented
//                    frame is written there as frame-NNNNN.png.
//   MORVANEL_INPUT   a script of input by pump number (see README).
//   MORVANEL_JOYSTICKS  number of joysticks attached, "ff" after it when
//                    they have force feedback (e.g. "1ff"); none by default.
//   MORVANEL_KEYBOARD  "none": no keyboard device can be created.
#pragma once

#include "host/display.h"
#include "host/host.h"

#include <string>
#include <vector>

namespace host::headless {

struct BoxRecord {
    std::string text;
    std::string caption;
    uint32_t flags;
    int answer;
};

// Back to the state of a fresh start: clock at 0, no boxes, no script,
// default steps, no scripted processor.  Environment options are not read.
void Reset();

// Clock.
void AdvanceClock(uint64_t microseconds);
void SetClock(uint64_t microseconds);
uint64_t ClockMicroseconds();
// Step added at every clock reading and at every pump.
void SetAutoStep(uint32_t perReadMicroseconds, uint32_t perPumpMicroseconds);
// Whether QueryPerformanceCounter answers (1 MHz on the virtual clock).
void SetPerformanceCounter(bool present);

// Message boxes.
void QueueBoxAnswer(int answer);
void ClearBoxAnswers();
const std::vector<BoxRecord>& Boxes();
void ClearBoxes();

// Scripted messages, delivered to the main (first visible) window when the
// pump counter reaches `pump`.  A WM_ACTIVATEAPP also sets the host's idea of
// the foreground.
void ScheduleMessage(uint64_t pump, uint32_t message, uintptr_t wParam, intptr_t lParam);
void ScheduleFocus(uint64_t pump, bool active);
void ScheduleClose(uint64_t pump);
// Posts WM_CLOSE once the pump counter reaches the count; 0 never.
void SetCloseAfterPumps(uint64_t pumps);
uint64_t PumpCount();
// How long the last pump was allowed to wait for an event, in milliseconds
// (headless pumps never wait: this is what a real back end would have).
int LastPumpWaitMs();
// Reads a script file (see README) and schedules its lines; false with a
// message on standard error when a line cannot be read.
bool LoadScript(const std::string& nativePath);

// Keyboard device and key names (none unless set).
void SetKeyboardPresent(bool present);
void SetKeyName(uint8_t scanCode, const std::string& name);
// Presses or releases a key now: the key message goes to the main window
// and the device state follows.
void PressKey(uint8_t scanCode, bool down);
void ScheduleKey(uint64_t pump, uint8_t scanCode, bool down);

// Joysticks: the count attached, with force feedback or not; their states
// and injected failures.
void SetJoysticks(int count, bool forceFeedback);
void SetJoystickState(int index, const JoyState& state);
JoyState CenteredJoystick();
// The next state read of that joystick answers "input lost".
void LoseJoystickInput(int index);
// Force-feedback calls seen, as text ("create", "set 100 -50 3000", ...).
const std::vector<std::string>& ForceLog();
void ScheduleJoystick(uint64_t pump, int index, const JoyState& state);

// Mouse: a move to a client position or a button change now, as messages
// with the cursor following.
void MoveMouse(int clientX, int clientY);
void SetMouseButton(int button, bool down);

// Presented frames: how many, and the last one as it was presented (raw
// pixels in its format) and as 0x00RRGGBB.
struct CapturedFrame {
    int width = 0, height = 0, pitch = 0;
    PixelFormat format{};
    std::vector<uint8_t> raw;
    std::vector<uint32_t> xrgb;
};
uint64_t PresentedFrames();
const CapturedFrame& LastFrame();
// Writes 0x00RRGGBB pixels as a PNG file; false when the file cannot be
// written.  Small files are 8-bit RGB at zlib's default level with libpng's
// adaptive row filters (about 30 ms a 640 x 480 game frame).  The fast
// encoding, which the frame capture uses to keep up with play, writes a
// frame of at most 256 colours (most game frames) as a palette picture
// with zlib's run-length strategy at level 1, and one of more colours as
// RGB at level 1 without row filters: about a tenth of the time.
enum class PngEncoding { Small, Fast };
bool WritePng(const std::string& path, const std::vector<uint32_t>& xrgb, int width, int height,
              PngEncoding encoding = PngEncoding::Small);
// Called with every presented frame and the clock's reading (microseconds)
// as it is presented, on the thread that presents it; nullptr stops it.
using PresentObserver = void (*)(const CapturedFrame& frame, uint64_t clockUs, void* context);
void SetPresentObserver(PresentObserver observer, void* context);
// Posts WM_CLOSE once that many frames were presented; 0 never.
void SetCloseAfterFrames(uint64_t frames);
// Whether the display is in an exclusive full-screen mode, as the host last
// heard it.
bool FullScreen();

// Display behaviour: mode count, 5-5-5 display, pitch padding of display
// memory, failures to inject.
void SetModeCount(int count);
void RemoveMode(int width, int height, int bits);
void SetDisplay555(bool use555);
void SetVideoPitchPadding(int bytes);
// The same for surfaces in system memory (textures' load copies among them).
void SetMemoryPitchPadding(int bytes);
// Display drivers listed: the primary display, then adapters (2 by default).
void SetDriverCount(int count);
void SetNoBltHardware(bool none);
void SetFailures(bool create, bool setMode, bool primary, bool offscreen, bool backBuffer);
void SetWrongModeOnRestore(bool wrongMode);
void SetExtraDisplayReferences(int references);
void LoseSurfaces();
void InjectStillDrawing(int count);
// Files are written as on a disk with that many bytes free: past them every
// write comes up short, as on a full disk.  -1 (and Reset) lifts the limit.
void SetDiskFreeBytes(int64_t bytes);
// From now on the host's file syncs, folder syncs and moves are listed in
// order ("sync <file>", "sync folder <folder>", "move <from> <to>", native
// paths); with `failSync` every file sync fails, as on a disk that cannot
// store the bytes.  StopFileCalls (and Reset) stops the list and the
// failures; the list stays to be read.
void RecordFileCalls(bool failSync = false);
void StopFileCalls();
const std::vector<std::string>& FileCalls();

// Debugger output lines, in order; cleared (memory given back) by the
// second.
const std::vector<std::string>& DebugOutput();
void ClearDebugOutput();

// Texts drawn through the GDI text layer (TextOut), in order, with the
// top-left corner and the colour (COLORREF: red + green * 256 + blue *
// 65536).  The last 4096 at most; with MORVANEL_TRACE set each text also
// goes to the run trace on standard error as "trace: Text <x> <y> <text>"
// (as it does from a window).
struct TextRecord {
    int x, y;
    uint32_t colour;
    std::string text;
};
const std::vector<TextRecord>& TextLog();
void ClearTextLog();

// Direct calls of window procedures (host::CallWindowProc) in order: each
// message with its wParam, whatever thread made the call.
struct WindowProcCall {
    uint32_t message;
    uintptr_t wParam;
};
std::vector<WindowProcCall> WindowProcCalls();
void ClearWindowProcCalls();

// Processor seen by CPUID.
struct FakeCpu {
    bool hasCpuid;
    std::string vendor;  // 12 characters
    uint32_t signature;  // leaf 1 EAX
    uint32_t features;   // leaf 1 EDX
    uint32_t extendedFeatures;  // leaf 0x80000001 EDX
};
void SetCpu(const FakeCpu& cpu);
void ClearCpu();

// The program file's path in system form (default: the test binary).
void SetModuleFileName(const std::string& systemPath);

// Screen size the program sees (default 640 x 480).
void SetScreenSize(int width, int height);

}  // namespace host::headless
