// The video driver table and the DirectDraw display driver's entry points.
#pragma once

#include <cstdint>

struct VideoDriver;
struct Picture;
struct ModeRecord;

struct VideoDriver {
    int (*Lock)(VideoDriver* driver);          // non-zero when the frame buffer is locked
    void (*Unlock)(VideoDriver* driver);       // releases the frame buffer
    ModeRecord* (*ListModes)(int bits);        // modes of a depth
    int (*SetMode)(int modeNumber);            // sets a listed mode
    int (*SetupWindow)(int value);             // window placement for the mode
    int (*FindMode)(int width, int height, int bits);  // mode number, 0 when none
    int (*CreateBuffers)(int count);           // pages for the current mode
    void (*ReleaseBuffers)();                  // drops the pages
    int (*MakePictureSurface)(Picture* picture);
    void (*FreePicture)(Picture* picture);
    int (*Zero)();                             // answers 0
    int (*SetModeNumber)(int modeNumber);      // sets the display mode by number
    void (*Release)();                         // closes the display; safe to repeat
    char name[64];                             // driver name
};

extern VideoDriver* CurrentVideoDriver;
// Shows the finished frame; called after Unlock.
extern void (*PresentHook)();

void DDrawInstall();
int DisplayOpen(int quiet);
void DDrawActivate();
void DDrawUnlock(VideoDriver* driver);
// The display object exists (set by DisplayOpen, cleared by Release).
bool DDrawObjectExists();
// Shows the desktop surface, so that a box is seen over it.
void DDrawFlipToGDISurface();
// The pages of the current mode exist (CreateBuffers ran, ReleaseBuffers not since).
bool DDrawBuffersExist();
