// The video stream player's entry points used by the intro video.
#pragma once

#include "host/display.h"

#include <cstdint>

using WindowRoutine = intptr_t (*)(host::HWND, uint32_t, uintptr_t, intptr_t);

// 48 bytes in the original layout: what the player needs of the program.
struct MovieBlock {
    host::HWND window;
    host::HINSTANCE instance;
    host::DDraw* directDraw;
    void* soundObject;
    uint32_t flags;             // bit 0: windowed
    host::Surface* front;
    host::Surface* back;
    WindowRoutine windowRoutine;  // set by MOVIE_Open: the caller installs it as the window hook
    void* movie;                // the player's record
};

int MOVIE_Open(const char* path, MovieBlock* block);
void MOVIE_Play(MovieBlock* block);
int MOVIE_IsPlaying(MovieBlock* block, int reserved);
void MOVIE_Stop(MovieBlock* block);
void MOVIE_Close(MovieBlock* block);
