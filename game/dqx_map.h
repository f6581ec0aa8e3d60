// The map screen: its pictures and its menu page.
// Stand-ins under their final names: each only logs its call.
#pragma once

struct Picture;

// The current level's map picture (map.png); none until the map pictures
// are loaded.
extern Picture* MapPicture;

// The pictures of the current map level loaded.
void LoadMapPictures();
// The map pictures freed.
void FreeMapPictures();
// The map pictures redrawn for the rooms visited.
void RefreshMapPictures();
// Menu page 4, every frame while the menu is open: only its caption line
// (text 175, while the focus is inside the page) is drawn yet.
void MapPage();
