// player.ini (key bindings, shortcuts, volumes and options), the menu texts
// and the front-end resources loaded once a run.
#pragma once

#include "game/player_options.h"
#include "platform/resfile.h"

#include <cstdint>

struct Picture;
struct SpriteSet;

constexpr int kMenuTextSlots = 256;
constexpr int kMenuTextBytes = 64;
// Line i of the language's menu text file, at most 63 characters.
extern char MenuTexts[kMenuTextSlots][kMenuTextBytes];

constexpr int kKeyBindings = 21;
struct KeyBinding {
    uint8_t scanCode;
    const char* label;  // a MenuTexts slot
};
extern KeyBinding PlayerKeyBindings[kKeyBindings];
// The default key of each binding (DirectInput scan codes).
extern const uint8_t kDefaultKeys[kKeyBindings];
// The label of binding i is MenuTexts slot kKeyLabelText + i.
constexpr int kKeyLabelText = 204;
// The 22nd key, fixed: Caps Lock.
constexpr uint8_t kRunLockKey = 0x3A;

// One byte per shortcut number.  A shortcut holds the power's code + 1,
// where the code is a spell row (0..6) or a weapon row + 128 (128..141);
// 0 = none.  Holding code + 1 lets the first spell row be bound too.
// Only the numbers 1..10 are ever bound.
constexpr int kShortcutSlots = 16;
constexpr int kFirstShortcut = 1, kLastShortcut = 10;
extern uint8_t ShortcutTable[kShortcutSlots];
// The byte for a power code, 0 (none) for a code no row has.
uint8_t ShortcutEntry(int code);
// The power code of a shortcut byte, -1 for none or a byte naming no row.
int ShortcutCode(uint8_t entry);

extern int32_t SubTitles;     // 1 by default
extern int32_t FastScroll;    // 0 by default
extern int32_t EntityPoints;  // 0 by default

// Front-end resources, loaded once a run by LoadMenuGraphics.
extern Picture* MenuPanelPicture;  // the console picture
extern Picture* HeadPicture;       // head.png
extern Picture* DiskPicture;       // disk.png
extern Picture* Head2Picture;      // head2.png
extern SpriteSet* MenuTabSprites;  // the console sheet: one tab per menu page 1 to 6
extern SpriteSet* CaptionFont;     // fnt10br
extern SpriteSet* RomanFont;       // roman
extern SpriteSet* ListFont;        // bedrock
extern SpriteSet* PageSprites;     // .\menus\page
extern SpriteSet* IconOffSprites;  // .\menus\iconoff
extern SpriteSet* IconOnSprites;   // .\menus\iconon
// White in the screen's pixel format, and the default text colour (white).
extern uint32_t MenuWhite;
extern uint32_t DefaultTextColour;

// Fills MenuTexts from ".\menus\%c_text.txt" of the voice archive (the
// language letter of the settings); fatal "can't find translation file %s."
// when it is missing.
void LoadMenuTexts();
// The menu texts, the front-end pictures, sheets and fonts, the character
// table and the power tables' defaults; once a run.
void LoadMenuGraphics();
void LoadPlayerSettings();
void SavePlayerSettings();
// The shortcut numbers of the spell rows (which 0) or the weapon rows
// (which 1), in fields of "%2x ": into the default rows when reading, from
// the live rows when writing.  A field of 0 keeps the row's default; one
// outside 1..10 binds none.
void ParseSpellShortcuts(const char* text, int which);
void WriteSpellShortcuts(FileHandle file, int which);

// Menu text lines that other modules use as printf formats, each with the
// arguments its callers pass: 's' a text, 'd' an int.  A line whose
// conversions do not take those arguments is cut before the first one that
// does not, when the texts are loaded.
struct MenuFormat {
    int slot;
    const char* arguments;
};
extern const MenuFormat kMenuFormats[];
extern const int kMenuFormatCount;
// Whether the format's conversions take the arguments in order (fewer
// conversions than arguments are fine); *bad is set to the offset of the
// first conversion that does not fit.
bool FormatTakes(const char* format, const char* arguments, int* bad);
