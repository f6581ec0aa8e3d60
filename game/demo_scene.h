// The scene the game loop shows until the game world holds missions: the
// demo room with the hero and the guard standing in it, seen from a fixed
// camera near the back wall and lit by one lamp.
#pragma once

#include <cstdint>

// Loads the room, the hero and the guard from the current file table,
// places them, the camera and the lamp, and sets the view for the current
// screen.  0, or -1 when the room cannot be loaded.
int DemoScene_Open();
// Draws the scene into a locked 16-bit frame of the current mode through
// the software renderer; -1 (nothing drawn) without an open scene or on the
// 3D layer's display.
int DemoScene_Draw(uint8_t* frame);
// Draws the scene through the 3D layer into its back buffer; -1 (nothing
// drawn) without an open scene or on the software display.
int DemoScene_Draw3D();
