// The load, save and delete pages: the 12 save slots listed by the names
// in their headers, acted on with Enter.
#pragma once

#include <cstddef>
#include <cstdint>

// The save slot used last: the load, save and delete pages start on it.
extern int32_t LastSaveSlot;

constexpr int kSavePageSlots = 12;
constexpr size_t kSaveLabelBytes = 64;
// The labels the pages show, read from the slots' headers when a page is
// entered and again after the page saved or deleted: a slot without a
// readable header shows menu text 139 with its number.
extern char SaveSlotLabels[kSavePageSlots][kSaveLabelBytes];
// Reads the 12 labels (the camera does not move).
void ReadSaveSlotLabels();

// The current mission's name for save names: for the missions of the menu's
// mission list (1 to 10) its entry of that list, for any other the list's
// last entry.
const char* GetMissionName();
// The name the save page gives a save: "<mission name>-<date and time>"
// for missions 1 to 10, else menu text 140; at most 63 characters.
void MakeSaveName(char* out, size_t size);

// Menu page 13, every frame while the menu is open: the 12 slots, and on
// Enter the highlighted slot loaded after the frame (the menu closes).
void LoadGamePage();
// Menu page 14 (deleteMode 0) and 15 (deleteMode 1): the 12 slots, and on
// Enter the highlighted slot saved or deleted (the menu stays open).
void SaveGamePage(int deleteMode);
