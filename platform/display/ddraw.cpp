// The display driver as far as start and stop need it: it shows the main
// window and owns no surfaces yet.
#include "platform/display/ddraw.h"

#include "host/host.h"
#include "platform/winmain.h"

#include <cstring>

namespace {

bool g_objectExists = false;
bool g_buffersExist = false;

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
int CreateBuffers(int) {
    g_buffersExist = true;
    return 1;
}
int FindMode(int, int, int) {
    return 0;
}
void ReleaseBuffers() {
    g_buffersExist = false;
}
int MakePictureSurface(Picture*) {
    return 0;
}
void FreePicture(Picture*) {}
int Zero() {
    return 0;
}
void Release() {
    ReleaseBuffers();
    g_objectExists = false;
}
void PresentNothing() {}

VideoDriver g_ddraw = {Lock,          Unlock,         ListModes,          AnswerZero,  AnswerZero,
                       FindMode,      CreateBuffers,  ReleaseBuffers,     MakePictureSurface, FreePicture,
                       Zero,          AnswerZero,     Release,            "Display stand-in"};

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

bool DDrawBuffersExist() {
    return g_buffersExist;
}
