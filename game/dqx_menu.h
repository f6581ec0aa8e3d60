// The menu page machine: the panel that slides over the 3D view, the tab of
// the current page, and the page itself with its Enter choices, run by the
// overlay every frame while the menu is not closed.  The pause keys move
// the cursors (MenuChoice, MenuTabFocus, MenuPage in GameState); the pages
// act on them.
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
constexpr uint8_t kPageShopAlias = 7;
constexpr uint8_t kPageLoad = 13;
constexpr uint8_t kPageSave = 14;
constexpr uint8_t kPageDelete = 15;
constexpr uint8_t kPageRoomJump = 16;
constexpr uint8_t kPageLevelJump = 17;
constexpr uint8_t kPageCredits = 18;
constexpr uint8_t kPageMissionChoice = 19;
constexpr uint8_t kPageMissionList = 20;
constexpr int kMenuPages = 21;  // pages above 20 do nothing
// The key the list pages choose with (Escape is the game loop's).
constexpr int kScanEnter = 0x1C;
// Pages 1 to 6 have a tab.
constexpr uint8_t kFirstTabPage = 1, kLastTabPage = 6;

// The slide counter (GameState.menuSlide): 1 fully open, 2..60 sliding,
// above 60 closed (0).  It moves by twice the frame step each frame; the
// panel stands 8 pixels lower per count above 1.
constexpr int32_t kSlideOpen = 1;
constexpr int32_t kSlideLast = 60;
constexpr int32_t kSlidePixels = 8;
// The y of the first list entry when the panel has just opened, and the
// clip top of every list.
constexpr int32_t kListTop = 48;
// The vertical distance between two page tabs.
constexpr int32_t kTabStep = 44;

// The y of the first entry of the list on show; the list scrolls until the
// highlighted entry lies between kListTop and 16 above the clip bottom.
extern int32_t MenuListScroll;
// The highlight's grey level and the blink bit, advanced by the overlay
// every frame.
extern uint8_t MenuPulse;
extern uint8_t MenuBlink;

// The mission list (page 20): its entries are menu texts 7 to 16, then the
// literal "Vantilers"; entry i starts mission kMissionListMissions[i], a
// number above 10 standing for mission 21.
constexpr int kMissionListEntries = 11;
constexpr int kMissionListFirstText = 7;
extern const uint8_t kMissionListMissions[kMissionListEntries];
extern const char kMissionListLastEntry[];
// The mission an entry's number starts: above 10, mission 21.
int MissionOfListEntry(int number);
// The rooms of the room jump (page 16), in entry order, found by name in
// the open mission.
constexpr int kRoomJumpEntries = 5;
extern const char* const kRoomJumpNames[kRoomJumpEntries];

// One frame of the menu while its slide counter is non-zero, between the
// frame's lock and unlock; 0 when the menu has just closed, else 1.
int RunMenuPages();
// Draws a list page: `list` is a null-terminated table of texts whose
// first is the title, `entries` the same table from its second text.
// Wraps MenuChoice onto the entries, shows the highlighted entry as caption
// line 2 (not while the focus is on the tabs, and not for a list without
// entries) and scrolls MenuListScroll toward the highlighted entry.
void DrawMenuList(const char* const* list, const char* const* entries, int drawTitle);

// What a page's Enter asks for that changes the room, the mission or the
// whole game: run after the frame is unlocked, never while the overlay
// draws into the locked frame.
enum class MenuRequestKind : uint8_t {
    kNone,
    kChangeRoom,    // value: the room index
    kNewGame,       // value: the mission, entry: the chosen entry (from 1)
    kStartMission,  // the same without clearing the carried energy
    kLoadGame,      // value: the save slot
};
struct MenuRequest {
    MenuRequestKind kind;
    int32_t value;
    uint8_t entry;
};
// The request waiting for the end of the frame (kind kNone when none).
extern MenuRequest PendingMenuRequest;
// Keeps the request for the end of the frame; a later one replaces it.
void QueueMenuRequest(MenuRequest request);
// Runs the waiting request, if any, and clears it.  Called by the game loop
// once the frame is unlocked.
void RunMenuRequest();
