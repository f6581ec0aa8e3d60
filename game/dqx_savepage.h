// The save and load pages.
#pragma once

#include <cstdint>

// The save slot used last: the load, save and delete pages start on it.
extern int32_t LastSaveSlot;

// The current mission's name for save names: for the missions of the menu's
// mission list (1 to 10) its entry of that list, for any other the list's
// last entry.
const char* GetMissionName();
// Menu page 13, every frame while the menu is open: only its caption line
// (text 168, while the focus is inside the page) is drawn yet.
void LoadGamePage();
// Menu page 14 (deleteMode 0) and 15 (deleteMode 1): only their caption
// line (text 169, while the focus is inside the page) is drawn yet.
void SaveGamePage(int deleteMode);
