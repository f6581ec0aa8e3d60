// The Direct3D layer: the one object through which game-d3d owns the display
// and the 3D device: drivers and their modes, the primary surface, back
// buffer, z-buffer, device and viewport, the default render states, frame
// clears and presentation, and textures.  Results are codes, never
// exceptions; diagnostics go to the debugger output.
#pragma once

#include "host/d3d.h"

#include <cstdint>

struct C3Dmode {
    int refresh;
    int width, height, bits;
};

struct C3Ddriver {
    int index;                 // the display driver's position (the primary display has no GUID)
    char description[128];
    char name[128];
    int modeCount;             // every mode listed
    C3Dmode modes[256];        // the first 256 kept
};

struct C3Ddevice {
    char description[128];
    char name[128];
    char name2[128];
    bool hardware;
};

struct C3Dpixelformat {
    uint8_t found;
    host::TextureFormat format;
};

// The layer's part of a texture slot.
struct C3Dtexture {
    host::D3DTexture* texture;
    host::Surface* surface;
    host::Palette* palette;
    uint8_t colourKey;
    host::TextureFormat format;
};

enum C3DFormat { kC3DPalettised = 0, kC3DArgb1555 = 1, kC3DRgb565 = 2, kC3DArgb4444 = 3 };

class Direct3dLayer {
public:
    Direct3dLayer();
    ~Direct3dLayer();

    // (Re)starts everything on driver record `driver`; option 0: hardware
    // device and z-buffer in display memory.  Answers a code of ErrorText.
    int Init(int driver, bool fullScreen, int option);
    void ReleaseAll();
    void SetBackground(float red, float green, float blue);
    void SetViewport(int left, int top, int right, int bottom);
    int ClearTarget();
    int ClearZ();
    void Present();
    void RestoreSurfaces();
    int GetDriverCount() const;
    // Copies driver record n's name, cut to the buffer's size.
    void GetDriverName(int n, char* buffer, size_t size) const;
    // `colourTable`: the texture map's 32 shade rows of 256 entries, whose
    // row 15 gives a palettised texture its colours.
    bool CreateTexture(C3Dtexture* texture, const uint8_t* texels, const host::TextureFormat& format, int bits,
                       int width, int height, const uint32_t* colourTable);
    bool SetColourKey(C3Dtexture* texture);
    void ReleaseTexture(C3Dtexture* texture);
    static void ErrorText(int code, char* buffer, int size);
    // Prints the name of a result code through the debugger output.
    static void D3DErrorName(int result);
    // A palette from one shade row of a colour table; not used by the game.
    static int MakeShadePalette(host::DDraw* dd, const uint32_t* colourTable, int row);

    // State, public as the glue reads it.
    host::DDraw* directDraw = nullptr;  // the newer interface of the current driver's object
    int driverCount = 0;
    C3Ddriver drivers[16];
    C3Ddriver current;
    host::D3D* d3d = nullptr;
    int deviceCount = 0;
    C3Ddevice devices[16];
    int zFormatCount = 0;
    int zFormats[16];
    uint8_t hardware = 0;
    host::D3DDevice* device = nullptr;
    host::Surface* primary = nullptr;
    host::Surface* backBuffer = nullptr;
    host::Surface* zBuffer = nullptr;
    uint8_t fullScreen = 0;
    host::HWND window = nullptr;
    int width = 0, height = 0;
    bool viewport = false;
    int viewLeft = 0, viewTop = 0, viewRight = 0, viewBottom = 0;
    float background[3] = {0, 0, 0};
    C3Dpixelformat textureFormats[4];

private:
    int CreateDirectDraw(int driver);
    int SetCooperation(int bits);
    int CreateD3D();
    int CreatePrimary();
    int CreateBackBuffer();
    int CreateZBuffer(int option);
    int CreateDevice(int option);
    int CreateViewport();
    int SetRenderStates();
    host::DDraw* object_ = nullptr;  // the display object itself
};

// The one layer of the program.
extern Direct3dLayer* g_D3DLayer;
