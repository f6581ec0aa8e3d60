// The program's spine: entry, main window and its procedure, the message
// pump, device start and stop, and the shutdown that restores the system.
#pragma once

#include "host/host.h"

#include <cstdint>

// Program-wide state, alive for the process.
extern host::HWND MainWindow;
extern host::HINSTANCE AppInstance;
extern int AppShowCode;               // kept, not used further
extern int32_t AppActive;             // wParam of the last WM_ACTIVATEAPP
extern char SavedDirectory[256];      // working directory found at start
extern bool ScreenSaverWasOn;         // screen saver on when the window was made
extern host::Rect MainClientRect;     // client rectangle in screen co-ordinates

// Called with every message of the main window before it is handled; the
// intro video and the movie player install one while they play.
using WindowHookFn = intptr_t (*)(host::HWND, uint32_t, uintptr_t, intptr_t);
extern WindowHookFn WindowHook;

// One shared formatting buffer; valid only until its next user writes it.
constexpr int kScratchTextSize = 256;
extern char ScratchText[kScratchTextSize];

// 2048 bytes held from StartDevices to StopDevices; FindOnDrives uses its
// first half for the drive list and its second half for the result path.
constexpr int kWorkBufferSize = 2048;
extern char* WorkBuffer;

// Returns -1 when the main window cannot be made, -2 when a fatal error's
// shutdown ever returns, 0 otherwise; the normal end leaves the process
// through ShutdownAndExit.
int WinMain(host::HINSTANCE instance, host::HINSTANCE previous, const char* commandLine, int showCode);

intptr_t MainWindowProc(host::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Drains the main window's messages; returns only while AppActive is 1.
void PumpMessages();

// 0 on success, -2 when the class cannot be registered (-1 when the window
// cannot be made).
int CreateMainWindow(host::HINSTANCE instance, host::HINSTANCE previous, const char* commandLine);
void SetProgramDirectory(const char* path);
void MakeCodeWritable();
int ParseCommandLine(const char* commandLine);
void MouseWheelMessage(uintptr_t wParam, intptr_t lParam);

void StartDevices();
void StopDevices();
void RestoreSystem();
[[noreturn]] void ExitWithMessage(int code);
[[noreturn]] void ShutdownAndExit(int code);
void EnterRunGame();
// Gives back what the 3D engine holds at shutdown.
void FreeEngineMemory();

// Present, not called by the game: change the display mode and its buffers,
// then fade the palette in.
void ChangeDisplayMode(int modeNumber, int bufferCount);
void SetModeOnce(int modeNumber);
// The mode number and buffer count ChangeDisplayMode last set (0xFF: none).
extern int CurrentModeNumber;
extern int CurrentBufferCount;

// The start-up report sinks: they receive each report line and do nothing.
void ReportStarted(const char* text);
void ReportFailed(const char* text);
