// player.ini (key bindings, shortcuts, volumes and options), the menu texts
// and the front-end resources loaded once a run.
#pragma once

#include "game/player_options.h"

#include <cstdint>

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

// One byte per shortcut number: a spell row, or a weapon row + 128 (0 none).
extern uint8_t ShortcutTable[16];

extern int32_t SubTitles;
extern int32_t FastScroll;
extern int32_t EntityPoints;

void LoadMenuTexts();
void LoadMenuGraphics();
void LoadPlayerSettings();
void SavePlayerSettings();
