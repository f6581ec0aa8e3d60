// The run body: what runs between the device start and the shutdown.
#pragma once

#include <cstdint>

void RunGame();
void ShowLogoAndIntro();
void ShowPicture(const char* name);
// 0 when the file is not found, else 1.
int PlayIntroVideo(const char* name);
// -1 while Escape is down, else 0; pumps messages and reads the keyboard.
int EscapeDown();
// Draws the disk icon (not in a window) and opens through the stored routine.
void* OpenWithDiskIcon(const char* name, const char* mode);
extern void* (*StoredOpen)(const char* name, const char* mode);

// Colour bars, a grey ramp and a square that moves with the frame number,
// into a locked 16-bit frame buffer of the current mode.
void DrawTestPattern(uint8_t* frame, uint32_t frameNumber);

// With MORVANEL_TRACE set, each step of the run is written to the debugger
// output (and so to standard error), for following the run from outside.
void RunTrace(const char* step);
