// The main window's shared state and its message pump: what every layer may
// read of the program's window, the shared text buffers, and the pump that
// the timers and the input routines call while they wait.
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

// Drains the main window's messages; returns only while AppActive is 1.
void PumpMessages();
