// The inventory, options and key pages of the menu: page 2 shows the
// hero's carried objects as a grid of pictures; page 6 edits the player's
// settings (saved in player.ini at the end of the run) in three tabs:
// sound, keys and display.
#pragma once

#include <cstdint>

struct CharacterRecord;

// --- inventory (page 2) -------------------------------------------------------

// The grid: 80 x 80 cells from (390, 40); a row wraps to x = screen width
// / 2 when the clip right is less than the cell's x + 160.
constexpr int32_t kInventoryCell = 80;
constexpr int32_t kInventoryFirstX = 390;
constexpr int32_t kInventoryFirstY = 40;
constexpr int32_t kInventoryWrapRoom = 160;
// A name longer than this many characters is cut and ends with "...".
constexpr int kInventoryNameChars = 12;
constexpr int kInventoryCaptionText = 171;
constexpr int kInventoryTitleText = 48;

// The page's fade byte: rises by the double frame step every frame,
// wrapping at 256; the grey of the selected object's name.
extern uint8_t InventoryFade;

// The top-left corner of the cell of the n-th drawn object (from 0), with
// the clip right edge and the screen width of the page.
void InventoryCell(int n, int32_t clipRight, int32_t screenWidth, int32_t* x, int32_t* y);
// Menu page 2, every frame while the menu is open, on the hero: the title,
// the grid of the objects it carries (the selected one opaque, the others
// blended) with their translated names, and, while the focus is inside the
// page, caption line 0.
void InventoryPage(CharacterRecord* hero);

// --- options (page 6) ---------------------------------------------------------

// An option row: its label (a menu text holding the format of its value),
// the value it edits, its maximum and the id answered when it changes.
// A maximum below 2 makes the row a switch shown "On" or "Off"; otherwise
// a level shown as a percentage of the maximum.
struct OptionItem {
    const char* label;
    int32_t* value;
    int32_t maximum;
    int32_t changeId;
};

// GameState.menuColumn values of page 6.
constexpr int32_t kOptionsSound = 0;
constexpr int32_t kOptionsKeys = 1;
constexpr int32_t kOptionsDisplay = 2;
constexpr int kOptionTabs = 3;

// Change ids of the sound tab.
constexpr int32_t kChangeMusic = 1;
constexpr int32_t kChangeEffects = 2;
constexpr int32_t kChangeSubtitles = 3;
constexpr int32_t kChangeVoice = 4;
// Change ids of the display tab.
constexpr int32_t kChangeFiltering = 4;
constexpr int32_t kChangeDithering = 5;
constexpr int32_t kChangeEntityPoints = 7;
constexpr int32_t kChangeFastScroll = 8;

// The keys of the rows: a switch toggles on Space or Enter; any row's value
// moves by one each frame while keypad + or keypad - is held.
constexpr int kScanSpace = 0x39;
constexpr int kScanKeypadPlus = 0x4E;
constexpr int kScanKeypadMinus = 0x4A;

// Rows stand 18 pixels apart from the list y, 48.
constexpr int32_t kOptionRowStep = 18;
constexpr int32_t kOptionListY = 48;

// The display tab edits copies of the display settings (texture filtering
// and dithering: bits 0 and 1 of RenderOptions), taken every frame and
// written back when a row changes.
struct DisplayOptionCopies {
    int32_t filtering;
    int32_t dithering;
    int32_t entityPoints;
    int32_t fastScroll;
};
extern DisplayOptionCopies DisplayCopies;

// Menu page 6, every frame while the menu is open: the tab labels, then
// the current tab (GameState.menuColumn).
void OptionsPage();
// The three tab labels from screen width / 2 + 15, 105 pixels apart; the
// current tab in the pulse's blue, the others dim.  Holds the options'
// edit word (GameState.menuValueIndex) between 0 and 1.
void DrawOptionTabs(const char* const* labels);
// The rows of a null-label-ended item table at (x, y), 18 pixels apart; the
// keys act on the highlighted row (MenuChoice, held on the rows).  Answers
// the change id of the row whose value changed this frame, else 0.
int32_t DrawOptionList(const OptionItem* items, int32_t x, int32_t y);

// --- key configuration (tab 1) ------------------------------------------------

// The key capture's fixed waits: after Enter is released, 1000 passes with
// the last-key byte cleared, so the release of Enter and a bounce are not
// taken; after the new key, 1000 more before the keyboard is reset.
constexpr int kKeyCapturePasses = 1000;
// A wait for Enter's release or for the new key gives up after this many
// milliseconds: the binding is then kept.
constexpr uint32_t kKeyCaptureWaitMs = 15000;
// Caption line 0 of the key page.
constexpr int kKeyCaptionText = 172;
// Its title is the keys tab's label.
constexpr int kKeysTabText = 134;

// Draws the bindings at x (text at x + 4, key name at x + 210) and, on
// Enter, captures the highlighted row's new key; Up and Down held scroll
// the list by the frame step.
void KeyConfigPage(int32_t x);
// Waits for a key as the key page does on Enter, with the frame unlocked
// and shown; answers its scan code, or 0 when a wait gave up.
uint8_t CaptureKey();
// Every binding bound to newKey takes oldKey instead, so that a key given
// to one binding is never bound twice.
void SwapKeyBinding(uint8_t oldKey, uint8_t newKey);
