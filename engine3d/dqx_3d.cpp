// 3D memory.
#include "engine3d/dqx_3d.h"

// No span buffer exists yet, so there is nothing to give back.
void Free_3DMemory() {}
