// 3D memory: the R&D pool and the scratch arrays of the software span buffer.
#pragma once

#include <cstdint>

// The pool: 8 MB when the 3D layer draws, 10 MB when the program draws into
// its own frame buffer.
extern uint8_t* g_3DPool;
extern uint32_t g_3DPoolSize;

// Takes the pool once, sized by g_SoftwareDisplay at the time of the call.
void Init_3DMemory();
// Gives back the span buffer's two scratch arrays (each only when held); the
// pool itself stays until the process ends.
void Free_3DMemory();

// The shade tables for the pixel format of the current mode.
void Init_ShadeTables();
