// The run body: what runs between the device start and the shutdown.
#pragma once

#include <cstdint>

void RunGame();
void ShowLogoAndIntro();
void ShowPicture(const char* name);
// 0 when the file is not found (a path longer than a path buffer names no
// file), else 1.
int PlayIntroVideo(const char* name);
// -1 while Escape is down, else 0; pumps messages and reads the keyboard.
int EscapeDown();
// Draws the disk icon (not in a window) and opens through the stored routine.
void* OpenWithDiskIcon(const char* name, const char* mode);
extern void* (*StoredOpen)(const char* name, const char* mode);
