// Display start of the 3D renderers.
#pragma once

#include <cstdint>

// 1 while the program draws into its own frame buffer.
extern uint8_t g_SoftwareDisplay;

// Sets g_SoftwareDisplay; called once, right after the settings are read.
void D3D_SetSoftwareDisplay();
