// The records behind the display objects of the host layer, shared by the
// display and 3D device code of host/ only.
#pragma once

#include "host/display.h"

#include <mutex>
#include <vector>

namespace host {

struct DDraw {
    int refs;
    int refs4;
    HWND window;
    uint32_t level;
    bool modeSet;
    DisplayMode mode;
};

struct Palette {
    PaletteEntry entries[256];
    int refs;
    uint64_t version;  // changes whenever the entries do (detail::NextVersion)
};

struct Clipper {
    HWND window;
    int refs;  // its creator's, and one for each surface it is set on
};

struct Surface {
    uint32_t caps;
    int width, height, pitch;
    PixelFormat format;
    std::vector<uint8_t> pixels;
    Surface* back;      // the attached back buffer of a flip chain
    Surface* front;     // for a back buffer: its primary
    bool lost;
    bool locked;
    Palette* palette;
    Clipper* clipper;
    DDraw* owner;
    int refs;
    Surface* zbuffer;   // the depth surface attached for 3D drawing
    bool colourKey;     // texels from keyLow to keyHigh are not drawn
    uint32_t keyLow, keyHigh;
    std::vector<uint8_t> dcPalette;  // the colours a device context on the surface reads
    uint64_t version;   // changes whenever the pixels, palette or key may have (detail::NextVersion)
};

namespace detail {

// The display registry (surfaces, palettes, clippers and their versions)
// and the 3D device's draw queue are shared between the program's thread and
// the video player's threads, which lock, blit and flip surfaces: every
// operation on them holds this lock while it runs.  It is recursive, as the
// operations call each other (a lock first finishes the queued drawing).
// The 3D device's worker threads only write pixels, while the thread that
// holds the lock waits for them.
extern std::recursive_mutex g_displayMutex;
struct DisplayGuard {
    DisplayGuard() { g_displayMutex.lock(); }
    ~DisplayGuard() { g_displayMutex.unlock(); }
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;
};

// Whether s is a live surface (a constant-time check).
bool IsSurface(Surface* s);
const std::vector<Surface*>& AllSurfaces();
int BytesPerPixel(const PixelFormat& f);
// A fresh stamp for a changed surface or palette: never the same twice.
uint64_t NextVersion();
// The 3D device draws later than it is asked to (host_d3d.cpp): every
// operation that reads or changes surfaces or palettes outside the 3D device
// first lets it finish what it was asked.
void FinishDrawing();

}  // namespace detail
}  // namespace host
