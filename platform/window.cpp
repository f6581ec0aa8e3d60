// The main window's shared state and the message pump.
#include "platform/window.h"

host::HWND MainWindow = nullptr;
host::HINSTANCE AppInstance = nullptr;
int AppShowCode = 0;
int32_t AppActive = 0;
char SavedDirectory[256] = "";
bool ScreenSaverWasOn = false;
host::Rect MainClientRect = {0, 0, 0, 0};
WindowHookFn WindowHook = nullptr;
char ScratchText[kScratchTextSize] = "";
char* WorkBuffer = nullptr;

void PumpMessages() {
    for (;;) {
        host::Msg msg;
        if (host::PeekMessage(&msg, MainWindow, 0, 0, host::PM_REMOVE)) {
            host::TranslateMessage(&msg);
            host::DispatchMessage(&msg);
            continue;
        }
        // In the background the program keeps polling here, so the whole
        // game stands still until it is brought back.
        if (AppActive == 1) return;
    }
}
