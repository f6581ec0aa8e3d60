// The menu page machine: the panel that slides over the 3D view and the
// page it shows, drawn by the overlay while the menu is not closed.
#pragma once

#include <cstdint>

// GameState.menuPage values.
constexpr uint8_t kPageNone = 0;
constexpr uint8_t kPageShop = 1;
constexpr uint8_t kPageInventory = 2;
constexpr uint8_t kPageMain = 3;
constexpr uint8_t kPageMap = 4;
constexpr uint8_t kPageJournal = 5;
constexpr uint8_t kPageOptions = 6;
constexpr uint8_t kPageRoomJump = 16;
constexpr uint8_t kPageLevelJump = 17;
constexpr uint8_t kPageMissionList = 20;

// One frame of the menu while its slide counter is non-zero, between the
// frame's lock and unlock; 0 when the menu has just closed, else 1.
int RunMenuPages();
