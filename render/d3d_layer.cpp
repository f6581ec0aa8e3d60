// The Direct3D layer over the host's display and 3D device.
#include "render/d3d_layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

Direct3dLayer* g_D3DLayer = nullptr;

namespace {

void Log(const char* text) {
    host::OutputDebugString(text);
}

void CopyText(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

// Texture formats match on their flags and colour masks (alpha as given
// only where it matters).
bool Matches(const host::TextureFormat& f, uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b,
             bool alphaMatters, uint32_t a) {
    return f.flags == flags && f.format.bits == bits && f.format.redMask == r && f.format.greenMask == g &&
           f.format.blueMask == b && (!alphaMatters || f.format.alphaMask == a);
}

}  // namespace

Direct3dLayer::Direct3dLayer() {
    std::vector<std::string> names;
    int count = host::DDEnumerateDrivers(&names);
    driverCount = count;
    for (int i = 0; i < count && i < 16; ++i) {
        C3Ddriver& d = drivers[i];
        d = C3Ddriver{};
        d.index = i;
        CopyText(d.description, sizeof d.description, names[size_t(i)]);
        CopyText(d.name, sizeof d.name, names[size_t(i)]);
    }
    current = C3Ddriver{};
    for (C3Dpixelformat& f : textureFormats) f = C3Dpixelformat{};
}

Direct3dLayer::~Direct3dLayer() {
    ReleaseAll();
    current.modeCount = 0;
}

void Direct3dLayer::ReleaseAll() {
    if (device) host::D3DDeviceRelease(device);
    device = nullptr;
    if (backBuffer) host::SurfaceRelease(backBuffer);  // its z-buffer goes with it
    backBuffer = nullptr;
    zBuffer = nullptr;
    if (primary) host::SurfaceRelease(primary);
    primary = nullptr;
    viewport = false;
    if (d3d) host::D3DRelease(d3d);
    d3d = nullptr;
    deviceCount = 0;
    zFormatCount = 0;
    hardware = 0;
    if (directDraw) host::DDRelease4(directDraw);
    if (object_) {
        host::DDRelease(object_);
        Log("Destruction Objet DDraw\n");
    }
    directDraw = nullptr;
    object_ = nullptr;
    Log("destruction D3D object\n");
}

int Direct3dLayer::CreateDirectDraw(int driver) {
    if (object_) {
        if (directDraw) host::DDRelease4(directDraw);
        host::DDRelease(object_);
        directDraw = object_ = nullptr;
    }
    if (driver < 0 || driver >= std::min(driverCount, 16)) return 2;
    current = drivers[driver];
    object_ = host::DDCreate(current.index);
    if (!object_) return 2;
    directDraw = host::DDQueryInterface4(object_);
    current.modeCount = 0;
    for (const host::DisplayMode& m : host::DDEnumModes(directDraw)) {
        if (current.modeCount < 256) current.modes[current.modeCount] = {60, m.width, m.height, m.bits};
        ++current.modeCount;  // all counted, 256 kept
    }
    return 0;
}

int Direct3dLayer::SetCooperation(int bits) {
    if (!fullScreen) return host::DDSetCooperativeLevel(directDraw, window, host::DDSCL_NORMAL) == host::DD_OK ? 0 : 2;
    host::DDSetCooperativeLevel(directDraw, window, host::DDSCL_EXCLUSIVE | host::DDSCL_FULLSCREEN);
    return host::DDSetDisplayMode(directDraw, width, height, bits) == host::DD_OK ? 0 : 2;
}

int Direct3dLayer::CreateD3D() {
    if (d3d) host::D3DRelease(d3d);
    d3d = host::D3DCreate(directDraw);
    if (!d3d) return 8;
    deviceCount = 0;
    for (const host::D3DDeviceInfo& info : host::D3DEnumDevices(d3d)) {
        Log("trouve device : --------------------\n");
        Log(info.description.c_str());
        Log("\n");
        Log(info.name.c_str());
        Log("\n--------------------------------------\n");
        // Only a stored record counts.
        if (deviceCount >= 16) continue;
        if (info.name == "Direct3D HAL") hardware = 1;
        C3Ddevice& d = devices[deviceCount++];
        CopyText(d.description, sizeof d.description, info.description);
        CopyText(d.name, sizeof d.name, info.name);
        CopyText(d.name2, sizeof d.name2, info.name);
        d.hardware = info.hardware;
    }
    // The z-buffer formats of device record 1; without that record, none.
    zFormatCount = 0;
    if (deviceCount >= 2)
        for (int bits : host::D3DEnumZBufferFormats(d3d, 1))
            if (zFormatCount < 16) zFormats[zFormatCount++] = bits;
    return 0;
}

int Direct3dLayer::CreatePrimary() {
    if (primary) return 0;
    host::SurfaceDesc d{};
    if (fullScreen) {
        d.caps = host::DDSCAPS_PRIMARYSURFACE | host::DDSCAPS_FLIP | host::DDSCAPS_COMPLEX | host::DDSCAPS_3DDEVICE |
                 host::DDSCAPS_VIDEOMEMORY;
        d.backBufferCount = 1;
    } else {
        d.caps = host::DDSCAPS_PRIMARYSURFACE;
    }
    if (host::DDCreateSurface(directDraw, d, &primary) != host::DD_OK) {
        // Once more, out of display memory.
        d.caps &= ~host::DDSCAPS_VIDEOMEMORY;
        if (host::DDCreateSurface(directDraw, d, &primary) != host::DD_OK) {
            primary = nullptr;
            return 3;
        }
    }
    host::Clipper* clipper = host::DDCreateClipper(directDraw);
    if (!clipper) return 4;
    host::ClipperSetWindow(clipper, window);
    host::SurfaceSetClipper(primary, clipper);
    host::ClipperRelease(clipper);  // the primary holds it from here
    return 0;
}

int Direct3dLayer::CreateBackBuffer() {
    if (fullScreen) {
        if (host::SurfaceGetAttachedBackBuffer(primary, &backBuffer) != host::DD_OK) {
            backBuffer = nullptr;
            return 5;
        }
        return 0;
    }
    host::SurfaceDesc d{};
    d.caps = host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_3DDEVICE;
    d.width = width;
    d.height = height;
    if (host::DDCreateSurface(directDraw, d, &backBuffer) != host::DD_OK) {
        backBuffer = nullptr;
        return 5;
    }
    return 0;
}

int Direct3dLayer::CreateZBuffer(int option) {
    host::SurfaceDesc d{};
    d.caps = host::DDSCAPS_ZBUFFER | (option == 0 ? host::DDSCAPS_VIDEOMEMORY : host::DDSCAPS_SYSTEMMEMORY);
    d.width = width;
    d.height = height;
    d.hasFormat = true;
    d.format = {uint32_t(zFormatCount > 0 ? zFormats[0] : 16), 0, 0, 0, 0};
    if (zFormatCount == 0 || host::DDCreateSurface(directDraw, d, &zBuffer) != host::DD_OK) {
        zBuffer = nullptr;
        Log("can t create zbuffer\n");
        return 0;
    }
    int attached = host::SurfaceAttachZBuffer(backBuffer, zBuffer);
    host::SurfaceRelease(zBuffer);  // the back buffer holds it from here
    if (attached != host::DD_OK) {
        zBuffer = nullptr;
        return 7;
    }
    return 0;
}

int Direct3dLayer::CreateDevice(int option) {
    if (device) host::D3DDeviceRelease(device);
    device = nullptr;
    // Option 0 takes the hardware device; the others the software ones.
    int chosen = -1;
    for (int i = 0; i < deviceCount; ++i) {
        bool hal = std::strcmp(devices[i].name, "Direct3D HAL") == 0;
        if ((option == 0) == hal && chosen < 0) chosen = i;
    }
    if (chosen < 0) chosen = 0;
    device = host::D3DCreateDevice(d3d, chosen, backBuffer);
    if (!device) return 9;
    for (C3Dpixelformat& f : textureFormats) f = C3Dpixelformat{};
    for (const host::TextureFormat& t : host::D3DEnumTextureFormats(device)) {
        int slot = -1;
        if (Matches(t, 0x60, 8, 0, 0, 0, false, 0)) slot = kC3DPalettised;
        else if (Matches(t, 0x41, 16, 0x7C00, 0x03E0, 0x001F, false, 0)) slot = kC3DArgb1555;
        else if (Matches(t, 0x40, 16, 0xF800, 0x07E0, 0x001F, false, 0)) slot = kC3DRgb565;
        else if (Matches(t, 0x41, 16, 0x0F00, 0x00F0, 0x000F, true, 0xF000)) slot = kC3DArgb4444;
        if (slot >= 0) textureFormats[slot] = {1, t};
    }
    return 0;
}

int Direct3dLayer::CreateViewport() {
    viewport = true;
    SetViewport(0, 0, width, height);
    SetBackground(0.5f, 0.5f, 0.5f);
    return 0;
}

int Direct3dLayer::SetRenderStates() {
    using namespace host;
    D3DSetRenderState(device, D3DRS_ZENABLE, 1);
    D3DSetRenderState(device, D3DRS_ZWRITEENABLE, 1);
    D3DSetRenderState(device, D3DRS_FOGENABLE, 0);
    D3DSetRenderState(device, D3DRS_CULLMODE, D3DCULL_NONE);
    D3DSetRenderState(device, D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    D3DSetRenderState(device, D3DRS_DITHERENABLE, 1);
    D3DSetRenderState(device, D3DRS_TEXTUREPERSPECTIVE, 1);
    D3DSetTextureStageState(device, 0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    D3DSetTextureStageState(device, 0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    D3DSetRenderState(device, D3DRS_ALPHABLENDENABLE, 0);
    return 0;
}

int Direct3dLayer::Init(int driver, bool full, int option) {
    ReleaseAll();
    fullScreen = full ? 1 : 0;
    if (int r = CreateDirectDraw(driver)) return r;
    // The first listed mode of 640 x 480 at 16 bits; without one the display
    // cannot be started.
    const C3Dmode* mode = nullptr;
    for (int i = 0; i < std::min(current.modeCount, 256) && !mode; ++i) {
        const C3Dmode& m = current.modes[i];
        if (m.width == 640 && m.height == 480 && m.bits == 16) mode = &m;
    }
    if (!mode) return 2;
    width = mode->width;
    height = mode->height;
    if (int r = SetCooperation(mode->bits)) return r;
    if (int r = CreateD3D()) return r;
    if (int r = CreatePrimary()) return r;
    if (int r = CreateBackBuffer()) return r;
    if (int r = CreateZBuffer(option)) return r;
    if (int r = CreateDevice(option)) return r;
    CreateViewport();
    SetRenderStates();
    return hardware ? 0 : 15;
}

void Direct3dLayer::SetBackground(float red, float green, float blue) {
    background[0] = red;
    background[1] = green;
    background[2] = blue;
    if (device) host::D3DSetBackground(device, red, green, blue);
}

void Direct3dLayer::SetViewport(int left, int top, int right, int bottom) {
    viewLeft = left;
    viewTop = top;
    viewRight = right;
    viewBottom = bottom;
    if (device) host::D3DSetViewport(device, left, top, right - left, bottom - top, 0.0f, 1.0f);
}

int Direct3dLayer::ClearTarget() {
    if (!viewport || !device) return -1;
    host::Rect r{viewLeft, viewTop, viewRight, viewBottom};
    uint32_t colour = uint32_t(int(background[0])) << 16 | uint32_t(int(background[1])) << 8 | uint32_t(int(background[2]));
    return host::D3DClear(device, &r, host::D3DCLEAR_TARGET, colour, 1.0f);
}

int Direct3dLayer::ClearZ() {
    if (!viewport || !device) return -1;
    host::Rect r{viewLeft, viewTop, viewRight, viewBottom};
    return host::D3DClear(device, &r, host::D3DCLEAR_ZBUFFER, 0, 1.0f);
}

void Direct3dLayer::RestoreSurfaces() {
    if (primary && host::SurfaceIsLost(primary)) {
        host::DDRestoreAllSurfaces(directDraw);
        host::D3DEvictManagedTextures(d3d);
    }
}

void Direct3dLayer::Present() {
    RestoreSurfaces();
    if (!primary) return;
    if (fullScreen) {
        while (host::SurfaceFlip(primary, host::DDFLIP_WAIT) == host::DDERR_WASSTILLDRAWING) {
        }
        return;
    }
    if (!backBuffer) return;
    host::Rect client{0, 0, width, height};
    host::Point origin{0, 0};
    if (window) {
        host::GetClientRect(window, &client);
        host::ClientToScreen(window, &origin);
    }
    host::Rect to{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    host::Rect from{0, 0, width, height};
    host::SurfaceBlt(primary, &to, backBuffer, &from, host::DDBLT_WAIT, 0);
}

int Direct3dLayer::GetDriverCount() const {
    return std::min(driverCount, 16);  // the records stored
}

void Direct3dLayer::GetDriverName(int n, char* buffer, size_t size) const {
    if (!buffer || size == 0) return;
    if (n < 0 || n >= std::min(driverCount, 16)) {
        buffer[0] = 0;
        return;
    }
    std::snprintf(buffer, size, "%s", drivers[n].name);
}

namespace {

host::PaletteEntry ShadeEntry(uint32_t entry) {
    return {uint8_t(((entry >> 27) & 0x1F) << 3), uint8_t(((entry >> 21) & 0x3F) << 2),
            uint8_t(((entry >> 16) & 0x1F) << 3), 255};
}

}  // namespace

bool Direct3dLayer::CreateTexture(C3Dtexture* texture, const uint8_t* texels, const host::TextureFormat& format,
                                  int bits, int texWidth, int texHeight, const uint32_t* colourTable) {
    ReleaseTexture(texture);
    texture->format = format;
    host::SurfaceDesc d{};
    d.caps = host::DDSCAPS_TEXTURE;
    d.width = texWidth;
    d.height = texHeight;
    d.hasFormat = true;
    d.format = format.format;
    if (host::DDCreateSurface(directDraw, d, &texture->surface) != host::DD_OK) {
        Log("cant create DeviceSurface\n");
        ReleaseTexture(texture);
        return false;
    }
    host::Surface* temp = nullptr;
    d.caps = host::DDSCAPS_TEXTURE | host::DDSCAPS_SYSTEMMEMORY;
    if (host::DDCreateSurface(directDraw, d, &temp) != host::DD_OK) {
        Log("create Tempsurface texture impossible\n");
        ReleaseTexture(texture);
        return false;
    }
    uint8_t* pixels = nullptr;
    int pitch = 0;
    if (host::SurfaceLock(temp, host::DDLOCK_WAIT, &pixels, &pitch) == host::DD_OK) {
        // The texels are packed rows; the surface's rows are `pitch` apart.
        size_t rowBytes = std::min(size_t(texWidth) * size_t(bits) / 8, size_t(pitch));
        for (int y = 0; texels && y < texHeight; ++y)
            std::memcpy(pixels + size_t(y) * size_t(pitch), texels + size_t(y) * size_t(texWidth) * size_t(bits) / 8,
                        rowBytes);
        host::SurfaceUnlock(temp);
    } else {
        Log("lock temp texture failed\n");
    }
    if (bits <= 8) {
        host::PaletteEntry entries[256];
        for (int i = 0; i < 256; ++i) entries[i] = colourTable ? ShadeEntry(colourTable[15 * 256 + i]) : host::PaletteEntry{};
        texture->palette = host::DDCreatePalette(directDraw, 0x44, entries);
        if (!texture->palette || host::SurfaceSetPalette(texture->surface, texture->palette) != host::DD_OK)
            Log("setpalette failed\n");
        host::SurfaceSetPalette(temp, texture->palette);
    }
    if (texture->texture) host::D3DTextureRelease(texture->texture);
    texture->texture = host::D3DTextureFromSurface(texture->surface);
    if (!texture->texture) Log("query texture failed \n");
    host::D3DTexture* source = host::D3DTextureFromSurface(temp);
    if (!source) Log("query texturetemp failed \n");
    if (texture->texture && source) {
        int result = host::D3DTextureLoad(texture->texture, source);
        if (result != host::DD_OK) Log("Load texture failed\n");
        D3DErrorName(result);
    }
    if (source) host::D3DTextureRelease(source);
    host::SurfaceRelease(temp);
    return true;
}

bool Direct3dLayer::SetColourKey(C3Dtexture* texture) {
    if (texture->colourKey || !texture->surface) return true;
    // Index 0 in a palettised texture, opaque full green in a 16-bit one
    // (the alpha bits set, as colour maps are uploaded opaque).
    uint32_t key = texture->format.format.greenMask | texture->format.format.alphaMask;
    if (host::SurfaceSetColourKey(texture->surface, key, key) != host::DD_OK) return false;
    texture->colourKey = 1;
    return true;
}

void Direct3dLayer::ReleaseTexture(C3Dtexture* texture) {
    if (texture->texture) host::D3DTextureRelease(texture->texture);
    if (texture->surface) host::SurfaceRelease(texture->surface);
    if (texture->palette) host::PaletteRelease(texture->palette);
    texture->texture = nullptr;
    texture->surface = nullptr;
    texture->palette = nullptr;
    texture->colourKey = 0;
}

void Direct3dLayer::ErrorText(int code, char* buffer, int size) {
    static const char* const kTexts[] = {
        "aucune erreur",
        "impossible de trouver DDraw",
        "erreur init DDdevice",
        "erreur cr\xe9" "ation PRIMARY surface",
        "erreur cr\xe9" "ation DD CLIPPER",
        "erreur cr\xe9" "ation BACKBUFFER",
        "erreur cr\xe9" "ation ZBUFFER",
        "erreur ATTACH ZBUFFER",
        "cette application requiert la version 5.0 de DirectX",
        "erreur cre\xe9" "ation D3D device",
        "erreur cr\xe9" "ation VIEWPORT",
        "erreur ATTACH VIEWPORT",
        "erreur SETVIEWPORT",
        "erreur SETCURRENTVIEWPORT",
    };
    const char* text = code >= 0 && code <= 13 ? kTexts[code] : "erreur DIRECTX / DIRECT3D";
    std::snprintf(buffer, size_t(size), "%s", text);
}

void Direct3dLayer::D3DErrorName(int result) {
    static const char* const kNames[] = {"DD_OK",          "DDERR_GENERIC",      "DDERR_WASSTILLDRAWING",
                                         "DDERR_SURFACELOST", "DDERR_NOBLTHW",   "DDERR_WRONGMODE",
                                         "DDERR_OUTOFMEMORY", "DDERR_INVALIDPARAMS", "DDERR_NOTFOUND",
                                         "DDERR_UNSUPPORTED", "DDERR_NOTLOCKED", "DDERR_NOPALETTEATTACHED"};
    const char* name = result >= 0 && result < int(sizeof kNames / sizeof kNames[0]) ? kNames[result] : "DDERR_?";
    Log(name);
    Log("\n");
}

int Direct3dLayer::MakeShadePalette(host::DDraw* dd, const uint32_t* colourTable, int row) {
    if (!dd || !colourTable || row < 0 || row > 31) return 0;
    host::PaletteEntry entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = ShadeEntry(colourTable[row * 256 + i]);
    host::Palette* p = host::DDCreatePalette(dd, 0x44, entries);
    if (p) host::PaletteRelease(p);
    return 0;
}
