// The display connection under an SDL window, kept apart because the window
// system's headers define names the rest of the back end uses.
#pragma once

struct SDL_Window;

namespace host::detail {

// The file descriptor of the window's X display connection; -1 for another
// kind of display.
int SdlDisplayConnection(SDL_Window* window);

}  // namespace host::detail
