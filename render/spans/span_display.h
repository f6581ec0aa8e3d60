// The software renderer's display start and hooks, called where game-d3d
// calls the Direct3D ones.
#pragma once

// Stores the display device for the display driver and takes the 3D pool
// (the larger one: the program keeps drawing into its own frame buffer).
void Soft_StartDisplay(int windowed, int device);
void Soft_InstallDriverHooks();
void Soft_ApplyDisplayOptions();
