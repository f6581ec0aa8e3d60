// The glue between the game and the Direct3D layer: the layer's life, its
// start, its surfaces, the frame's presentation and the display options.
#pragma once

#include "host/display.h"

#include <cstddef>

void D3D_CreateLayer();
void D3D_DestroyLayer();
void D3D_SetWindow(host::HWND window);
// mode 0 windowed, 1 full screen; device: the driver record to start on.
int D3D_Init(int mode, int device);
// Copies driver record n's name, cut to the buffer's size.
void D3D_GetDriverName(int n, char* buffer, size_t size);
host::DDraw* D3D_GetDirectDraw();
host::Surface* D3D_GetFrontSurface();
host::Surface* D3D_GetBackSurface();
void D3D_Present();
// Background colour 0x00RRGGBB.
void D3D_SetBackground(uint32_t colour);
void D3D_SetFilter(int on);
void D3D_SetDither(int on);
