// The mouse record and the cursor routines.
#include "host/host.h"
#include "platform/input.h"
#include "platform/settings.h"
#include "platform/window.h"

MouseRecord MouseState = {{0, 0}, 0, 1, 0, 0, 0, 0, 0, 0, 0};

void HideCursorFully() {
    while (host::ShowCursor(false) >= 0) PumpMessages();
}

void ShowCursorOn() {
    host::ShowCursor(true);
}

void ShowCursorOff() {
    host::ShowCursor(false);
}

void MouseStart() {
    HideCursorFully();
    MouseState.flags = 2;
    if (host::GetSystemMetrics(host::SM_MOUSEPRESENT)) MouseState.flags |= 1;
    MouseState.lastClick = 1;
    MouseState.buttonCount = host::GetSystemMetrics(host::SM_CMOUSEBUTTONS);
}

uint32_t MousePosition(int32_t* x, int32_t* y) {
    host::Point p{0, 0};
    host::GetCursorPos(&p);
    if (EngineConfig.VideoConfig & 0x10) {
        host::Point origin{0, 0};
        if (MainWindow) host::ClientToScreen(MainWindow, &origin);
        p.x -= origin.x;
        p.y -= origin.y;
        MouseState.flags |= 8;
    }
    *x = p.x < 0 ? 0 : p.x;
    *y = p.y < 0 ? 0 : p.y;
    return MouseState.buttons;
}

int32_t MouseClick(int kind) {
    if (!(MouseState.flags & 1)) return 0;
    MousePosition(&MouseState.x, &MouseState.y);
    bool left = MouseState.buttons & 1, right = MouseState.buttons & 2;
    int32_t result = 0;
    if (kind == 1) {
        if (left) MouseState.clickState = 1;
        result = left ? 1 : 0;
        if (right) {
            if (MouseState.lastClick == 4) return 0;
            MouseState.lastClick = 0;
            MouseState.clickState = 2;
            result = 1;
        }
    } else if (kind == 2) {
        MouseState.clickState = left ? 2 : 0;
        result = left ? 2 : 0;
        if (right) {
            MouseState.clickState += 1;
            result = 1;
        }
    }
    int32_t answer = result == MouseState.lastClick ? 0 : result;
    MouseState.lastClick = result;
    return answer;
}

int32_t MouseWaitClick() {
    for (;;) {
        PumpMessages();
        if (int32_t click = MouseClick(1)) return click;
    }
}

void SetCursorPosition(int x, int y) {
    host::SetCursorPos(x, y);
}

void ClipCursorTo(int left, int top, int right, int bottom) {
    host::Rect r{left, top, right, bottom};
    host::ClipCursor(&r);
}

void SetCursorShape(int kind) {
    using host::SystemCursor;
    static const SystemCursor kShapes[] = {SystemCursor::Arrow, SystemCursor::IBeam,   SystemCursor::Wait,
                                           SystemCursor::Cross, SystemCursor::UpArrow, SystemCursor::Size,
                                           SystemCursor::No,    SystemCursor::AppStarting, SystemCursor::Help};
    host::SetSystemCursor(kind >= 1 && kind <= 8 ? kShapes[kind] : SystemCursor::Arrow);
}
