#include "platform/display/palette.h"

// No display palette exists yet, so there is no step to show.
void FadePalette(const uint8_t*, int, int, int, int) {}
