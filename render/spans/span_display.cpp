// The software renderer's display start and hooks.
#include "render/spans/span_display.h"

#include "engine3d/dqx_3d.h"
#include "platform/settings.h"

void Soft_StartDisplay(int /*windowed*/, int device) {
    EngineConfig.VideoId = static_cast<uint8_t>(device & 0xFF);
    Init_3DMemory();
}

// The display driver's own slots stay in place.
void Soft_InstallDriverHooks() {}

// Filtering and dithering belong to the 3D layer; nothing to apply here.
void Soft_ApplyDisplayOptions() {}
