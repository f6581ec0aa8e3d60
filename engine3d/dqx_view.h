// The view: the size of the target the 3D picture is drawn into and the
// near depth of the projection.
#pragma once

#include <cstdint>

struct ViewSettings {
    int32_t stride;        // target row length in pixels
    int32_t targetHeight;  // target rows
    int32_t nearZ;         // N: nearer camera depths are not projected
};
extern ViewSettings g_View;
