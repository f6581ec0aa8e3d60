// Player controls: the keys read every frame of play (the hero's control
// bits, the power selection, the menu and developer keys), and the keys of
// the open menu while the game is paused.
#pragma once

#include "game/characters.h"
#include "game/gameplay.h"

#include <cstdint>

// Developer toggles: bit 0 "Vision" (every model shown, nothing pushed),
// bit 2 "Turbo Fire".
extern uint8_t DebugFlags;
constexpr uint8_t kDebugVision = 0x01;
constexpr uint8_t kDebugTurboFire = 0x04;

// Which selection the power keys act on: 0 spells, 1 weapons.  The
// selected rows themselves are PowerTables.selectedSpell (0..6) and
// PowerTables.selectedWeapon (0..13).
extern uint8_t PowerSelection;
constexpr uint8_t kSelectSpells = 0;
constexpr uint8_t kSelectWeapons = 1;
constexpr int32_t kLastSpell = 6;
constexpr int32_t kLastWeapon = 13;

// The marks the fire and shortcut keys keep from one frame to the next:
// a held weapon (weapons 4 and 6 fire while their key is held), the fire
// mark, and a spell fired through a shortcut this frame.
extern uint8_t HeldWeaponMark;
extern uint8_t FireMark;
extern uint8_t ShortcutUsedMark;

// PlayerKeyBindings entries.
enum KeyBindingIndex : int {
    kBindForward = 0,
    kBindBack = 1,
    kBindTurnRight = 2,
    kBindTurnLeft = 3,
    kBindLevelUp = 4,
    kBindLevelDown = 5,
    kBindFire = 6,
    kBindUseOnce = 7,
    kBindPace = 8,
    kBindAction = 9,
    kBindTake = 10,
    kBindQuickSave = 11,  // listed only: the quick save key is F5
    kBindShop = 12,
    kBindInventory = 13,
    kBindQuickLoad = 14,  // listed only: the quick load key is F4
    kBindCamera = 15,
    kBindJournal = 16,
    kBindMap = 17,
    kBindSideStep = 18,
    kBindNextWeapon = 19,
    kBindNextSpell = 20,
};

// Fixed keys (scan codes).
constexpr int kScanLeftCtrl = 0x1D;
constexpr int kScanLeftShift = 0x2A;
constexpr int kScanF7 = 0x41;  // previous inventory entry
constexpr int kScanF8 = 0x42;  // next inventory entry
constexpr int kScanUp = 0xC8;
constexpr int kScanDown = 0xD0;
constexpr int kScanLeft = 0xCB;
constexpr int kScanRight = 0xCD;
// Keys a joystick or pad driver may write besides the bindings: turn left,
// turn right, forward, back.
constexpr int kScanPadTurnLeft = 0x6E;
constexpr int kScanPadTurnRight = 0x6F;
constexpr int kScanPadForward = 0x70;
constexpr int kScanPadBack = 0x71;
// The number keys 1..9 and 0 (shortcuts 1..10).
constexpr int kScanDigit1 = 0x02;
// The map page's scroll per frame while an arrow is held, pixels.
constexpr int32_t kMapScrollStep = 16;

// The row of the power the keys act on (PowerTableM or PowerTableW by
// PowerSelection); null when the selected index names no row.
PowerRow* SelectedPowerRow();
// The shortcut number (1..10) of the first number key held, 0 when none.
int ShortcutKeyHeld();

// Once a frame of play: reads the keyboard (and the joystick mapped onto
// its keys) and sets the hero's control bits for the frame, opens menu
// pages, cycles and levels the powers, fires shortcut powers and, in
// developer mode with Left Ctrl held, acts on the debug keys.
void HandlePlayerControls(CharacterRecord* hero);
// The 3D layer's developer option, called by the developer M key of the
// paused menu; a stub that only records its call.
void Debug3DOption(int value);
// Instead of the world update while the menu is open: moves between the
// pages and the cursors inside a page.
void PauseMenu();
