// The Direct3D renderer of game-d3d: the glue through which the program
// reaches the one Direct3D layer (its life, start, surfaces, frame clear and
// presentation, filtering, dithering, background and viewport), the upload
// of the model bank's textures into 256 texture slots, and the drawing of
// what the scene walk hands over per object: opaque and colour-keyed groups
// at once, translucent groups collected and drawn after the walk, their
// triangles sorted back to front and blended.
#pragma once

#include "engine3d/dqx_3d.h"
#include "host/d3d.h"
#include "host/display.h"
#include "render/d3d_layer.h"

#include <cstddef>
#include <cstdint>

// A texture slot, indexed like the model bank's entries.
struct D3DTextureSlot {
    C3Dtexture texture;
    int32_t kind;  // 0 colour map, 1 alpha map
};
constexpr int kD3DTextureSlots = 256;
extern D3DTextureSlot g_D3DTextureSlots[kD3DTextureSlots];
// The texture the next draw uses (D3D_SelectMap).
extern host::D3DTexture* g_D3DCurrentTexture;

// The one vertex batch every draw builds its vertices in.
constexpr int kD3DBatchVertices = 32768;
// An immediate draw hands at most this many vertices to the device at once
// (whole triangles, below the batch size).
constexpr int kD3DDrawChunk = 32766;
struct D3DVertexBatch {
    host::TLVertex vertices[kD3DBatchVertices];
    int32_t count;
};
extern D3DVertexBatch g_D3DVertexBatch;

// Translucent groups collected during the walk, with the translucency word
// of their object (level x 256 + 16).
constexpr int kD3DDeferredGroups = 4096;
struct D3DDeferredGroup {
    PoolRef<PrimGroup> group;
    uint32_t translucency;
};
extern D3DDeferredGroup g_D3DDeferred[kD3DDeferredGroups];
extern int32_t g_D3DDeferredCount;

// One deferred triangle: its three vertices in the batch, its sort key (the
// mean of the corners' 1/w: smaller is farther), its texels and PrimType.
constexpr int kD3DDeferredFaces = 16384;
struct D3DDeferredFace {
    host::TLVertex* vertices;
    float key;
    const uint8_t* texels;
    int16_t type;
};
extern D3DDeferredFace g_D3DDeferredFaces[kD3DDeferredFaces];
extern D3DDeferredFace* g_D3DSortedFaces[kD3DDeferredFaces];
extern int32_t g_D3DDeferredFaceCount;

// The layer's life and start.
void D3D_CreateLayer();
void D3D_DestroyLayer();
void D3D_SetWindow(host::HWND window);
// mode 0 windowed, 1 full screen; device: the driver record to start on.
int D3D_Init(int mode, int device);
// The 3D engine's render hooks of this renderer: texture uploads, the
// viewport, and the frame's clear, object and flush steps.
void D3D_InstallRenderHooks();

// Accessors.
host::DDraw* D3D_GetDirectDraw();
int D3D_GetDriverCount();
// Copies driver record n's name, cut to the buffer's size.
void D3D_GetDriverName(int n, char* buffer, size_t size);
host::Surface* D3D_GetFrontSurface();
host::Surface* D3D_GetBackSurface();
void D3D_RestoreSurfaces();

// Texture uploads for model-bank entry n (texels: the 256 x 256 texels of a
// texture map, its colour table of 32 rows of 256 words before them).
void D3D_LoadMap(int n, const uint8_t* texels);
void D3D_LoadAlphaMap(int n, const uint8_t* texels);
// Colour-table row 15 as 1-5-5-5 (alpha set: opaque), as 5-6-5, and (alpha maps,
// two bytes a texel) as 4-4-4-4 with alpha = (alpha >> 1) & 15 or as 1-5-5-5
// with alpha set where alpha >= 16; 65536 16-bit texels each.
void D3D_ConvertMap1555(const uint8_t* texels, uint16_t* out);
void D3D_ConvertMap565(const uint8_t* texels, uint16_t* out);
void D3D_ConvertMap4444(const uint8_t* texels, uint16_t* out);
void D3D_ConvertAlphaMap1555(const uint8_t* texels, uint16_t* out);
// Makes the slot of the model-bank entry holding these texels current; no
// entry: the current texture stays.
void D3D_SelectMap(const uint8_t* texels);
// The same search, then the colour key on that slot's texture.
void D3D_PrepareKeyedMap(const uint8_t* texels);

// The frame: clear, objects, deferred faces, presentation.
void D3D_ClearFrame();
void D3D_DrawObject(PoolRef<Obj3D> node);
void D3D_FlushScene();
// Sorts deferred faces by key, smallest (farthest) first.
void D3D_SortDeferredFaces(D3DDeferredFace** faces, int count);
void D3D_DrawBlendedBatch();
void D3D_Present();

// Display options and the view.
// Background colour 0x00RRGGBB.
void D3D_SetBackground(uint32_t colour);
void D3D_SetFilter(int on);
void D3D_SetDither(int on);
void D3D_SetViewport(int width, int height, int x, int y);
