// The view settings: a 640 x 480 target and the near depth every view
// rectangle starts with.
#include "engine3d/dqx_view.h"

ViewSettings g_View = {640, 480, 128};
