// Display start of the 3D renderers.
#include "render/d3d_display.h"

uint8_t g_SoftwareDisplay = 0;

void D3D_SetSoftwareDisplay() {
    g_SoftwareDisplay = 1;
}
