// The colour look-ups the drawing code uses, `NearestColour` and
// `ConvertPixelRow`, belong to the palette layer.
#pragma once

#include "platform/display/palette.h"
