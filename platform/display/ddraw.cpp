// The display driver as far as start and stop need it: it shows the main
// window and owns no surfaces yet.
#include "platform/display/ddraw.h"

#include "host/host.h"
#include "platform/winmain.h"

#include <cstring>

namespace {

bool g_objectExists = false;

int Lock(VideoDriver*) {
    return 0;
}
void Unlock(VideoDriver*) {}
ModeRecord* ListModes(int) {
    return nullptr;
}
int AnswerZero(int) {
    return 0;
}
int FindMode(int, int, int) {
    return 0;
}
void ReleaseBuffers() {}
int MakePictureSurface(Picture*) {
    return 0;
}
void FreePicture(Picture*) {}
int Zero() {
    return 0;
}
void Release() {
    g_objectExists = false;
}
void PresentNothing() {}

VideoDriver g_ddraw = {Lock,      Unlock,           ListModes, AnswerZero, AnswerZero,    FindMode,
                       AnswerZero, ReleaseBuffers,  MakePictureSurface, FreePicture, Zero, AnswerZero,
                       Release,   "Display stand-in"};

}  // namespace

VideoDriver* CurrentVideoDriver = nullptr;
void (*PresentHook)() = PresentNothing;

void DDrawInstall() {
    CurrentVideoDriver = &g_ddraw;
}

int DisplayOpen(int /*quiet*/) {
    g_objectExists = true;
    if (MainWindow) host::ShowWindow(MainWindow, host::SW_SHOWNORMAL);
    return 1;
}

void DDrawActivate() {}

void DDrawUnlock(VideoDriver*) {}

bool DDrawObjectExists() {
    return g_objectExists;
}

void DDrawFlipToGDISurface() {}
