// The DD manager's record, frame surfaces and frame blit.
#include "media/ddm.h"

#include <cstring>

void DDM_InitRects(DDManager* ddm) {
    std::memset(ddm, 0, sizeof *ddm);
}

void DDM_SetSize(DDManager* ddm, int width, int height, int depth) {
    ddm->source = {0, 0, width, height};
    ddm->frameWidth = width;
    ddm->frameHeight = height;
    ddm->frameDepth = depth;
}

int DDM_CreateOffscreen(DDManager* ddm, int width, int height, host::Surface** surface, host::Surface** second) {
    if (!surface) return -6;
    *surface = nullptr;
    if (second) *second = nullptr;
    if (!ddm->directDraw || width <= 0 || height <= 0) return -23;
    host::SurfaceDesc desc{};
    desc.caps = host::DDSCAPS_OFFSCREENPLAIN | host::DDSCAPS_SYSTEMMEMORY;
    desc.width = width;
    desc.height = height;
    if (ddm->pixelFormatSet && !ddm->pixelFormat.palette) {
        const PixelFormatDesc& p = ddm->pixelFormat;
        desc.hasFormat = true;
        desc.format = {uint32_t(p.bytesPerPixel * 8), uint32_t(p.redMask), uint32_t(p.greenMask),
                       uint32_t(p.blueMask), uint32_t(p.alphaMask)};
    }
    if (host::DDCreateSurface(ddm->directDraw, desc, surface) != host::DD_OK || !*surface) return -23;
    if (second) *second = *surface;
    return 0;
}

int DDM_BlitFrame(DDManager* ddm, host::Surface* frame, uint32_t flags) {
    if (!frame) return -6;
    host::Surface* target = ddm->back ? ddm->back : ddm->primary;
    if (!target) return -23;
    int x = ddm->client.left, y = ddm->client.top;
    if (ddm->back) {
        x += (ddm->client.right - ddm->source.right) / 2;
        y += (ddm->client.bottom - ddm->source.bottom) / 2;
    }
    host::Rect to{x, y, x + ddm->source.right, y + ddm->source.bottom};
    (void)flags;  // the host's blits always complete
    return host::SurfaceBlt(target, &to, frame, &ddm->source, 0, 0) == host::DD_OK ? 0 : -23;
}
