// The video driver table and the display driver that fills it: modes,
// pages in a flip chain or in system memory, locking, presenting in full
// screen or into a window, and the page routines of the drawing table.
#pragma once

#include "host/display.h"

#include <cstdint>

struct Picture;

// 8 bytes: four 16-bit values.  Number 0 ends a list.
struct ModeRecord {
    uint16_t number, width, height, bits;
};

struct VideoDriver {
    uint8_t* (*Lock)(VideoDriver* driver);     // 0: makes the drawing page addressable; 0 on failure
    void (*Unlock)(VideoDriver* driver);       // 1: ends the access Lock began
    ModeRecord* (*ListModes)(int bits);        // 2: a new array of the modes of a depth
    int (*SetMode)(int number);                // 3: makes a mode current and sets the screen for it
    int (*SetupWindow)(int value);             // 4: window style, cooperative level, display mode
    int (*FindMode)(int width, int height, int bits);  // 5: the mode's number, 0 when none
    int (*CreateBuffers)(int count);           // 6: front, back and count - 1 more pages
    void (*ReleaseBuffers)();                  // 7: gives back what slot 6 made
    int (*MakePictureSurface)(Picture* picture);  // 8: nothing here
    int (*FreePicture)(Picture* picture);      // 9: frees the picture's pixels
    int (*Reserved)();                         // 10: answers 0
    int (*SetModeNumber)(int number);          // 11: stores the number, then slots 3 and 4
    void (*Release)();                         // 12: ends the driver
    char name[64];                             // the display driver's name
};

extern VideoDriver* CurrentVideoDriver;
extern VideoDriver DDrawDriver;

// The mode list (64 records), its count and the current record.
extern ModeRecord* ModeList;
extern int ModeCount;
extern ModeRecord* CurrentMode;
extern uint32_t VideoTotalMemory;
// Row pitch in bytes of the surface the last lock of a page reached.
extern int DDrawLockPitch;

void DDrawInstall();
int DisplayOpen(int quiet);
int DDrawOpen();
int DDrawInitModes();
int DDrawApplyMode();
void DDrawCentreWindow();
void DDrawWindowedStyle();
void DDrawActivate();
uint8_t* DDrawLock(VideoDriver* driver);
void DDrawUnlock(VideoDriver* driver);

// Page routines of the drawing table.
void DDrawClearPages();
void DDrawClearBack();
void DDrawFillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour);
void DDrawCopyPage(int32_t destination, int32_t source);
void DDrawSetPaletteWindowed(int32_t first, int32_t count, const uint8_t* rgb);

void DDrawPresentFullScreen();
void DDrawPresentWindowed();

// The driver's objects, for the services beside it.
bool DDrawObjectExists();
void DDrawFlipToGDISurface();
bool DDrawBuffersExist();
host::DDraw* DDrawObject();
host::DDraw* DDrawObject4();
// The 3D display hands its own objects to the driver: the display object
// and its newer interface, the front and back surfaces (held by their
// owner, not by the driver).
void DDrawSetObjects(host::DDraw* dd, host::DDraw* dd4);
void DDrawSetSurfaces(host::Surface* front, host::Surface* back);
host::Palette* DDrawPaletteObject();
host::Surface* DDrawPageSurface(int page);
// The surface drawing goes to: page 0 with the front-page flag, else page 1.
host::Surface* DDrawDrawingSurface();
