// 3D memory.
#include "engine3d/dqx_3d.h"

#include "render/d3d_display.h"

#include <cstdlib>

uint8_t* g_3DPool = nullptr;
uint32_t g_3DPoolSize = 0;

void Init_3DMemory() {
    uint32_t size = g_SoftwareDisplay ? 10u << 20 : 8u << 20;
    if (g_3DPool && g_3DPoolSize == size) return;
    std::free(g_3DPool);
    g_3DPool = static_cast<uint8_t*>(std::calloc(1, size));
    g_3DPoolSize = g_3DPool ? size : 0;
}

// No span buffer exists yet, so there is nothing to give back.
void Free_3DMemory() {}

// No texture map exists yet, so there is no shade table to build.
void Init_ShadeTables() {}
