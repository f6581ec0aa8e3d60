// The seam between the 2D display driver and the 3D renderers: the display
// start for 3D and the driver hooks, in game-d3d through the Direct3D layer
// (D3D_) and in game-soft through the software renderer's own (Soft_).
#pragma once

#include "platform/settings.h"

#include <cstdint>

// Sets g_SoftwareDisplay; called once, right after the settings are read.
void D3D_SetSoftwareDisplay();
void D3D_StartDisplay(int windowed, int device);
void D3D_InstallDriverHooks();
void D3D_ApplyDisplayOptions();
int D3D_CreateBuffers(int pages);
void D3D_ReleaseBuffers();
void D3D_ReleaseDriver();
void D3D_PresentHook();
void D3D_MaskToShift(uint32_t mask, uint8_t* shift, uint8_t* size);

// The program's own display start and hooks: the D3D_ ones in game-d3d,
// the Soft_ ones in game-soft (the program entry chooses).
struct DisplayStartHooks {
    void (*StartDisplay)(int windowed, int device);
    void (*InstallDriverHooks)();
    void (*ApplyDisplayOptions)();
};
extern DisplayStartHooks ProgramDisplay;
extern const DisplayStartHooks kDirect3DDisplay;
extern const DisplayStartHooks kSoftwareDisplay;
