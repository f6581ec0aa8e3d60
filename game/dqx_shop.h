// The shop page of the menu (page 1): the hero buys levels of powers with
// energy, and binds the number keys 1..9 and 0 as shortcuts to the powers
// owned.  The table on show is PowerSelection's (spells or weapons).
#pragma once

#include <cstdint>

struct CharacterRecord;
struct PowerRow;

// A power code: a spell row (0..6) or kWeaponCodeBase + a weapon row
// (128..141).
constexpr int kWeaponCodeBase = 128;
// The shop lists every weapon row and the first seven spell rows.
constexpr int kShopWeaponRows = 14;
constexpr int kShopSpellRows = 7;
// Bit 0 of a row's state: the mission's gameplay.ini has no section for the
// row, so the shop does not offer it (the cursor skips it, it is not drawn).
constexpr int32_t kRowHiddenBit = 0x01;
// Menu texts of the page.
constexpr int kShopTitleText = 41;
constexpr int kShopSpellsText = 42, kShopWeaponsText = 43;
constexpr int kShopCaptionText = 170;   // caption line 1
constexpr int kShopEnterText = 149;     // caption line 2
constexpr int kSpellDescriptionText = 71;   // + row: caption line 3
constexpr int kWeaponDescriptionText = 78;  // + row
// A level bought shows on the HUD's energy-change notice.
constexpr uint32_t kPurchaseShowMs = 3000;

// How far the rows are scrolled up, pixels (0 at the top of the list).
extern int32_t ShopScroll;
// The direction the cursor last moved in: -1 up, +1 down.  A hidden row
// under the cursor is left in that direction.
extern int32_t ShopArrow;
// The cursor as the previous shop frame left it, to tell which way the
// pause keys moved it since.
extern int32_t ShopLastChoice;

// Page 1, every frame while the menu is open.
void ShopPage();

// The row of a power code; none for a code that names no row.
PowerRow* PowerRowOfCode(int code);
// Whether the shop hides the row (state bit 0).
bool ShopRowHidden(const PowerRow& row);

// The shortcut number (1..10 for the keys 1..9 and 0) of the first number
// key hit since the last ask (each press answered once), 0 when none.
// ShortcutKeyHeld (the keys held now) is the controls'.
int ShortcutKeyHit();
// When a number key is held: stores the code's entry in the key's slot of
// ShortcutTable and answers the key's number; 0 when no key is held or the
// code names no row (nothing stored then).
int AssignShortcut(int code);
// The code when its row has a shortcut number bound, else -1.
int ShortcutPower(int code);
// The power code bound to the number key hit (hit non-zero) or held, passed
// through ShortcutPower; -1 for none.
int LookupShortcut(int hit);
// The text colour of a level: (114, 172, 177) at level 0 blended linearly
// (by level x 256 / maximum, within 0..256) to red (255, 0, 0) at the
// maximum; a maximum of 0 or less counts as reached.
void LevelColour(int32_t level, int32_t maximum);

// The steps of the page, one frame each.
// Keeps MenuChoice on the rows (0..rows - 1); when the row under it is
// hidden, moves it one row in ShopArrow's direction, wrapping at either end
// (nothing moves when every row is hidden).  The Up or Down arrow held sets
// the direction; without one, the way the pause keys moved the cursor
// since the previous frame does.
void ShopCursorStep(PowerRow* rows, int count);
// A number key held over an owned row binds it to the row: the key is
// first taken from every row of both tables, and the row's previous key
// (when its slot still names this row) is freed.
void BindShortcutStep(PowerRow* row, int code);
// Enter on a row below its maximum level: the price (unit price x (level +
// 1)) counts as spent in the statistics and comes out of the hero's
// energy; what the energy lacks comes out of the bonus energy, and when
// that cannot pay either the bonus is emptied and the level stays.  Paid
// from the energy alone, the price shows as an energy change for 3000 ms.
// The HUD's level (levelInUse) then follows the level.  Answers 1 when the
// level went up.
int BuyPowerLevel(PowerRow* row, CharacterRecord* hero);
