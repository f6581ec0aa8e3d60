// The glue of the Direct3D layer, as far as the display start and the frame
// need it.
#include "render/d3d_scene.h"

#include "render/d3d_layer.h"

#include <cstring>

void D3D_CreateLayer() {
    if (!g_D3DLayer) g_D3DLayer = new Direct3dLayer;
}

void D3D_DestroyLayer() {
    delete g_D3DLayer;
    g_D3DLayer = nullptr;
}

void D3D_SetWindow(host::HWND window) {
    D3D_CreateLayer();
    g_D3DLayer->window = window;
}

int D3D_Init(int mode, int device) {
    D3D_CreateLayer();
    return g_D3DLayer->Init(device, mode == 1, 0);
}

void D3D_GetDriverName(int n, char* buffer, size_t size) {
    D3D_CreateLayer();
    g_D3DLayer->GetDriverName(n, buffer, size);
}

host::DDraw* D3D_GetDirectDraw() {
    return g_D3DLayer ? g_D3DLayer->directDraw : nullptr;
}

host::Surface* D3D_GetFrontSurface() {
    return g_D3DLayer ? g_D3DLayer->primary : nullptr;
}

host::Surface* D3D_GetBackSurface() {
    return g_D3DLayer ? g_D3DLayer->backBuffer : nullptr;
}

void D3D_Present() {
    if (g_D3DLayer) g_D3DLayer->Present();
}

void D3D_SetBackground(uint32_t colour) {
    if (g_D3DLayer)
        g_D3DLayer->SetBackground(float((colour >> 16) & 0xFF), float((colour >> 8) & 0xFF), float(colour & 0xFF));
}

void D3D_SetFilter(int on) {
    if (!g_D3DLayer || !g_D3DLayer->device) return;
    uint32_t mag = on ? host::D3DTFG_LINEAR : host::D3DTFG_POINT;
    uint32_t min = on ? host::D3DTFN_LINEAR : host::D3DTFN_POINT;
    host::D3DSetTextureStageState(g_D3DLayer->device, 0, host::D3DTSS_MAGFILTER, mag);
    host::D3DSetTextureStageState(g_D3DLayer->device, 0, host::D3DTSS_MINFILTER, min);
}

void D3D_SetDither(int on) {
    if (g_D3DLayer && g_D3DLayer->device)
        host::D3DSetRenderState(g_D3DLayer->device, host::D3DRS_DITHERENABLE, on ? 1 : 0);
}
