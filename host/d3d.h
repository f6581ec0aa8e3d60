// The 3D device of the host layer: Direct3D-style enumeration, a device on
// a back surface with a 16-bit z-buffer, viewports, clears, render and
// texture-stage states, textures, and pre-transformed triangle lists drawn
// in software into the 16-bit back surface (so 2D drawing that locks the
// surface afterwards lands over the 3D picture).
//
// Surfaces, palettes and the display object are those of host/display.h.
#pragma once

#include "host/display.h"

#include <string>
#include <vector>

namespace host {

struct D3D;
struct D3DDevice;
struct D3DTexture;

// Results: DD_OK (0) or one of the display errors of host/display.h.

// --- enumeration and start --------------------------------------------------

struct D3DDeviceInfo {
    std::string name;         // "Direct3D HAL" is the hardware device
    std::string description;
    bool hardware;
};

// The 3D interface of a display object; nullptr when it has none.
D3D* D3DCreate(DDraw* dd);
void D3DRelease(D3D* d3d);
std::vector<D3DDeviceInfo> D3DEnumDevices(D3D* d3d);
// Z-buffer formats of a device: bits per pixel of each (16 by default).
std::vector<int> D3DEnumZBufferFormats(D3D* d3d, int deviceIndex);

// Texture formats a device takes.  `flags`: 0x40 RGB, 0x01 alpha pixels,
// 0x20 palette-indexed 8.
struct TextureFormat {
    uint32_t flags;
    PixelFormat format;
};
constexpr uint32_t DDPF_ALPHAPIXELS = 0x01;
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x20;
constexpr uint32_t DDPF_RGB = 0x40;

// A z-buffer surface: DDCreateSurface with DDSCAPS_ZBUFFER and a format of
// the z bits (the colour masks unused); attached to the surface the device
// draws on.
int SurfaceAttachZBuffer(Surface* target, Surface* zbuffer);
// Source colour key: texels equal to it (low..high) are not drawn.
int SurfaceSetColourKey(Surface* s, uint32_t low, uint32_t high);
// Restores every lost surface of the display object.
int DDRestoreAllSurfaces(DDraw* dd);

// A device of the listed index drawing on `target` (its attached z-buffer,
// if any, is the device's).  nullptr on failure.
D3DDevice* D3DCreateDevice(D3D* d3d, int deviceIndex, Surface* target);
void D3DDeviceRelease(D3DDevice* device);
std::vector<TextureFormat> D3DEnumTextureFormats(D3DDevice* device);
// Drops the copies of managed textures (they are loaded again on use).
int D3DEvictManagedTextures(D3D* d3d);

// --- viewport and clears -------------------------------------------------------

// Pixels drawn are clipped to the viewport; z maps into minZ..maxZ.
int D3DSetViewport(D3DDevice* device, int x, int y, int width, int height, float minZ, float maxZ);
// The viewport's background colour, components 0..255.
int D3DSetBackground(D3DDevice* device, float red, float green, float blue);
constexpr uint32_t D3DCLEAR_TARGET = 1;
constexpr uint32_t D3DCLEAR_ZBUFFER = 2;
// Clears the rectangle (null: the viewport) of the target to colour
// (0x00RRGGBB) and/or the z-buffer to z (0..1).
int D3DClear(D3DDevice* device, const Rect* rect, uint32_t flags, uint32_t colour, float z);

int D3DBeginScene(D3DDevice* device);
int D3DEndScene(D3DDevice* device);

// --- states ----------------------------------------------------------------------

// Render states (the ones the program sets; the rest keep their defaults).
enum D3DRenderState : uint32_t {
    D3DRS_TEXTUREPERSPECTIVE = 4,  // default on
    D3DRS_ZENABLE = 7,             // default on when a z-buffer is attached
    D3DRS_SHADEMODE = 9,           // D3DSHADE_GOURAUD (default) or D3DSHADE_FLAT
    D3DRS_ZWRITEENABLE = 14,       // default on
    D3DRS_ALPHATESTENABLE = 15,    // default off
    D3DRS_SRCBLEND = 19,           // default D3DBLEND_ONE
    D3DRS_DESTBLEND = 20,          // default D3DBLEND_ZERO
    D3DRS_TEXTUREMAPBLEND = 21,    // D3DTBLEND_DECAL sets stage 0 to take the texture as it is
    D3DRS_CULLMODE = 22,           // D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW (default)
    D3DRS_ZFUNC = 23,              // default D3DCMP_LESSEQUAL
    D3DRS_ALPHAFUNC = 25,          // default D3DCMP_ALWAYS
    D3DRS_DITHERENABLE = 26,       // default off
    D3DRS_ALPHABLENDENABLE = 27,   // default off
    D3DRS_FOGENABLE = 28,          // accepted, no fog is drawn
    D3DRS_SPECULARENABLE = 29,     // default off
    D3DRS_STIPPLEDALPHA = 33,      // accepted, no stipple is drawn
    D3DRS_COLORKEYENABLE = 41,     // default off
};
constexpr uint32_t D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2;
constexpr uint32_t D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6;
constexpr uint32_t D3DTBLEND_DECAL = 1, D3DTBLEND_MODULATE = 2;
constexpr uint32_t D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3;
constexpr uint32_t D3DCMP_NEVER = 1, D3DCMP_LESS = 2, D3DCMP_EQUAL = 3, D3DCMP_LESSEQUAL = 4,
                   D3DCMP_GREATER = 5, D3DCMP_NOTEQUAL = 6, D3DCMP_GREATEREQUAL = 7, D3DCMP_ALWAYS = 8;
int D3DSetRenderState(D3DDevice* device, uint32_t state, uint32_t value);
uint32_t D3DGetRenderState(D3DDevice* device, uint32_t state);

// Texture-stage states of stage 0.
enum D3DStageState : uint32_t {
    D3DTSS_COLOROP = 1,    // default D3DTOP_MODULATE
    D3DTSS_COLORARG1 = 2,  // default D3DTA_TEXTURE
    D3DTSS_COLORARG2 = 3,  // default D3DTA_DIFFUSE
    D3DTSS_ALPHAOP = 4,    // default D3DTOP_SELECTARG1
    D3DTSS_ALPHAARG1 = 5,  // default D3DTA_TEXTURE
    D3DTSS_ALPHAARG2 = 6,  // default D3DTA_DIFFUSE
    D3DTSS_ADDRESS = 12,   // default D3DTADDRESS_WRAP (the only one drawn)
    D3DTSS_MAGFILTER = 16, // D3DTFG_POINT (default) or D3DTFG_LINEAR
    D3DTSS_MINFILTER = 17, // D3DTFN_POINT (default) or D3DTFN_LINEAR
};
constexpr uint32_t D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4,
                   D3DTOP_BLENDTEXTUREALPHA = 13;
constexpr uint32_t D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2;
constexpr uint32_t D3DTADDRESS_WRAP = 1;
constexpr uint32_t D3DTFG_POINT = 1, D3DTFG_LINEAR = 2, D3DTFN_POINT = 1, D3DTFN_LINEAR = 2;
int D3DSetTextureStageState(D3DDevice* device, int stage, uint32_t state, uint32_t value);
uint32_t D3DGetTextureStageState(D3DDevice* device, int stage, uint32_t state);

// --- textures -----------------------------------------------------------------------

// The texture interface of a texture surface (caps DDSCAPS_TEXTURE); nullptr
// when the surface is not one.
D3DTexture* D3DTextureFromSurface(Surface* surface);
void D3DTextureRelease(D3DTexture* texture);
// Copies a system-memory texture's texels (and palette) into a device one.
int D3DTextureLoad(D3DTexture* destination, D3DTexture* source);
// nullptr: no texture.
int D3DSetTexture(D3DDevice* device, int stage, D3DTexture* texture);

// --- drawing -------------------------------------------------------------------------

// A transformed and lit vertex: screen position, z 0..1, 1/w, colours
// 0xAARRGGBB, texture co-ordinates.
struct TLVertex {
    float sx, sy, sz, rhw;
    uint32_t diffuse, specular;
    float tu, tv;
};
constexpr uint32_t D3DPT_TRIANGLELIST = 4;
constexpr uint32_t D3DFVF_TLVERTEX = 0x1C4;  // position with 1/w, diffuse, specular, one texture pair
// Draws count / 3 triangles; only triangle lists of TLVertex are taken.
int D3DDrawPrimitive(D3DDevice* device, uint32_t type, uint32_t vertexFormat, const TLVertex* vertices, int count,
                     uint32_t flags);

// --- what the display offers, for tests and options --------------------------------

struct D3DSettings {
    std::vector<D3DDeviceInfo> devices = {{"RGB Emulation", "Software emulation of the 3D device", false},
                                          {"Direct3D HAL", "The 3D device of the display adapter", true}};
    std::vector<int> zBufferFormats = {16};
    bool palettised = true, argb1555 = true, rgb565 = true, argb4444 = true;  // texture formats offered
    bool failCreate = false;          // no 3D interface
    bool failDevice = false;          // the device cannot be made
    bool failAttachZ = false;         // the z-buffer does not attach
    bool failVideoMemoryPrimary = false;  // a primary in display memory is refused once
    // How the rasteriser runs (the pixels are the same either way): the
    // plain routines only, and the threads that share large amounts of
    // work (0: up to one per processor, at most 8, or one alone when that
    // measures faster).
    bool referenceRaster = false;
    int rasterThreads = 0;
    // The fast routines' AVX2 build even on a processor that runs the one
    // for the 512-bit extensions (the same pixels; for tests).
    bool narrowFastRaster = false;
};
D3DSettings& D3DConfig();
void ResetD3D();

// --- a record of the calls, for tests ---------------------------------------------

// Every call a device takes, one line each, handed to the sink (nullptr:
// none): "begin", "end", "render <state> <value>", "stage <stage> <state>
// <value>", "texture <n>" or "texture none", "clear <flags> <left>,<top>,
// <right>,<bottom> <colour> <z>", and "draw <count>" followed by one line
// per vertex ("  x y z rhw diffuse u v").  Textures are numbered in the
// order they were first made since the last ResetD3D.
using D3DTraceSink = void (*)(const char* line);
void D3DSetTraceSink(D3DTraceSink sink);

}  // namespace host
