// The display connection under an SDL window.
#include "host/sdl/sdl_display_fd.h"

#include <SDL.h>
#include <SDL_syswm.h>

namespace host::detail {

int SdlDisplayConnection(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return -1;
    return ConnectionNumber(info.info.x11.display);
#else
    (void)window;
    return -1;
#endif
}

}  // namespace host::detail
