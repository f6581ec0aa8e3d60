// The program's spine: WinMain, the main window and its procedure, device
// start and stop, and the shutdown that restores the system.  It sits above
// every layer it starts; nothing below includes it.
#pragma once

#include "host/host.h"
#include "platform/window.h"

#include <cstdint>

// Returns -1 when the main window cannot be made, -2 when a fatal error's
// shutdown ever returns, 0 otherwise; the normal end leaves the process
// through ShutdownAndExit.
int WinMain(host::HINSTANCE instance, host::HINSTANCE previous, const char* commandLine, int showCode);

intptr_t MainWindowProc(host::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

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
