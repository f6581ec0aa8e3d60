// What a host back end supplies to the portable core of the host layer, and
// what the core offers the back ends.  Only host/ includes this header.
#pragma once

#include "host/display.h"
#include "host/host.h"

#include <atomic>
#include <string>
#include <vector>

namespace host {

struct Window {
    std::string className;
    WndProc proc = nullptr;
    std::string title;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    Rect rect{};  // position and size on the screen
    bool visible = false;
    void* native = nullptr;  // the back end's own window object
    std::atomic<intptr_t> userData{0};  // GWL_USERDATA, read from any thread
};

namespace detail {

// A picture that becomes visible: the primary surface after a flip or blit,
// or the window's picture.
struct Frame {
    const uint8_t* pixels;
    int width, height, pitch;
    PixelFormat format;
    const uint8_t* palette;  // 8 bits: 256 x {red, green, blue, unused}
};

// How the display behaves: what tests and the options configure.
struct DisplaySettings {
    int modeCount = 36;                     // classic modes at 8, 16 and 32 bits
    std::vector<DisplayMode> removedModes;  // modes taken out of the list
    bool use555 = false;                    // 16-bit display as 5-5-5 instead of 5-6-5
    int videoPitchPadding = 0;              // extra bytes per row of display-memory surfaces
    int memoryPitchPadding = 0;             // extra bytes per row of every other surface
    uint32_t videoMemory = 8u << 20;
    int driverCount = 2;                    // the primary display, then the adapter itself
    int extraReferences = 0;                // references others hold on the display object
    bool failCreate = false, failSetMode = false, failPrimary = false, failOffscreen = false,
         failBackBuffer = false, noBltHardware = false, wrongMode = false;
};
DisplaySettings& Display();
void ResetDisplay();
void LoseAllSurfaces();
// The next count locks and flips answer "still drawing".
void InjectStillDrawing(int count);
// Converts a frame to 0x00RRGGBB pixels.
std::vector<uint32_t> FrameToXrgb(const Frame& frame);
// A row of 16-bit 5-5-5 pixels (little-endian, top bit ignored) as
// 0x00RRGGBB, each channel widened by repeating its top bits; eight
// pixels at a time where the processor allows, and the plain twin it is
// held to.
void Row555ToXrgb(const uint8_t* from, uint32_t* to, int count);
void Row555ToXrgbPlain(const uint8_t* from, uint32_t* to, int count);

// A back end's operations.  Each slot may be called only between start and
// stop, from the program's thread, except tickCount, perfCounter and
// present, which any thread may call.
struct Backend {
    const char* name;
    bool (*start)();                             // bring the back end up; false when it cannot run
    void (*stop)();                              // release everything start took; safe to repeat
    void (*pollEvents)(int waitMs);              // turn pending native events into posted messages;
                                                 // waitMs > 0: the queue is empty and the program
                                                 // waits: wait at most that long for an event first
    int (*messageBox)(HWND owner, const char* text, const char* caption, uint32_t flags);  // modal answer
    uint32_t (*tickCount)();                     // milliseconds, wrapping at 2^32
    bool (*perfCounter)(int64_t* value);         // high-resolution counter; false when absent
    bool (*perfFrequency)(int64_t* frequency);   // its steps per second; false when absent
    void (*screenSize)(int* width, int* height); // the screen the program believes it has
    void (*windowCreated)(Window* window);       // make the native twin (hidden)
    void (*windowShown)(Window* window, bool visible);  // show or hide the native twin
    void (*windowDestroyed)(Window* window);     // drop the native twin
    void (*cursorShown)(bool visible);           // the cursor counter crossed 0
    void (*screenSaver)(bool active);            // the screen-saver switch changed
    int (*audioDeviceCount)();                   // sound output devices, the default one first
    const char* (*audioDeviceName)(int index);   // name of a device; nullptr past the end
    bool (*audioOpen)(int index, int rate);      // open the sound output: calls SoundOutputReady
                                                 // (host/sound_internal.h), then answers true
    void (*audioClose)();                        // close it; safe when none is open
    bool (*keyboardPresent)();                   // a keyboard device can be created
    int (*keyName)(uint8_t scanCode, char* buffer, int size);  // display name; 0 when none
    int (*joystickCount)(bool forceFeedbackOnly);             // attached joysticks
    void* (*joystickOpen)(int index, bool forceFeedbackOnly); // the device; nullptr when it cannot
    void (*joystickClose)(void* device);                      // releases the device and its effect
    int (*joystickState)(void* device, JoyState* state);      // JOY_OK, JOY_INPUTLOST or JOY_FAILED
    bool (*joystickForce)(void* device, int op, int32_t dx, int32_t dy, int32_t magnitude);  // kForce...
    void (*cursorMoved)(int x, int y);           // the program moved the cursor (screen position)
    void (*cursorClipped)(const Rect* rect);     // the cursor's confinement changed; nullptr frees it
    void (*cursorShape)(SystemCursor shape);     // show this system cursor
    void (*present)(const Frame& frame);         // make the picture visible; from another thread
                                                 // it is shown at the program's next look at its
                                                 // events, which it wakes
    void (*displayMode)(bool fullScreen, int width, int height);  // the display left or took a mode
    void (*windowResized)(Window* window);       // the window's rectangle changed
};

extern const Backend kSdlBackend;
extern const Backend kHeadlessBackend;

// The window that receives input messages: the first visible top-level
// window, else the first window.
Window* InputWindow();
// The window list, oldest first.
const std::vector<Window*>& Windows();
// The program file's path in system form, set at start.
void SetModulePath(const std::string& systemPath);
// Whether the application is in the foreground as far as the back end
// reported it (it sends WM_ACTIVATEAPP when this changes).
bool AppInForeground();
void SetAppInForeground(bool active);
// Drops the windows, classes and queue (used when a back end stops).
void ResetWindowing();
// Keeps a debugger-output line for tests (headless records every line).
void RecordDebugOutput(const char* text);
// Keeps a text drawn by TextOut, with its top-left corner and colour, for
// tests (headless records every text, and writes it to the run trace when
// MORVANEL_TRACE is set).
void RecordTextOut(int x, int y, uint32_t colour, const char* text, int count);
// Keeps a direct window-procedure call for tests (headless records each
// message and its wParam); safe from any thread.
void RecordWindowProcCall(uint32_t message, uintptr_t wParam);
// A scripted processor for tests: true when one is set, with the answer of
// CPUID availability and the registers of the leaf.
bool CpuOverride(bool* available, uint32_t leaf, uint32_t regs[4]);
// Force-feedback operations of a back end.
constexpr int kForceCreate = 0, kForceSet = 1, kForceStart = 2, kForceStop = 3, kForceRelease = 4,
              kForceAutocenterOn = 5, kForceAutocenterOff = 6;

// The back end in use; nullptr before start.
const Backend* ActiveBackend();
// Back to no key down and the cursor at the origin (a back end starts).
void ResetInput();

// What the back ends report of the physical keys and the cursor, so the
// device reads of the core follow the real hardware.
void SetKeyDown(uint8_t scanCode, bool down);
void SetCursorFromBackend(int screenX, int screenY);

// Reads MORVANEL_REGISTRY and the drive map options.
void ConfigureFilesFromEnvironment();
// File writes as on a disk with that many bytes free: once they are used
// up every write stores only what still fits and answers the whole items
// written (a full disk).  A negative budget never fails (the default).
void SetFileWriteBudget(int64_t bytes);
// With a log given, each FileSync, SyncFolderOf and MoveFile appends a line
// to it ("sync <file>", "sync folder <folder>", "move <from> <to>", native
// paths); nullptr stops it.  With `failSync` every FileSync fails (a disk
// that cannot store the bytes), whether or not a log is kept.
void SetFileCallLog(std::vector<std::string>* log, bool failSync);

}  // namespace detail
}  // namespace host
