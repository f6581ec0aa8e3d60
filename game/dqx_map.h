// The map screen's pictures.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The pictures of the current map level loaded.
void LoadMapPictures();
// The map pictures freed.
void FreeMapPictures();
// The map pictures redrawn for the rooms visited.
void RefreshMapPictures();
