// Player controls: the keys read every frame of play, the keys of the open
// menu while the game is paused, and the power selection.
#pragma once

#include "game/characters.h"

#include <cstdint>

// Developer toggles: bit 0 "Vision" (every model shown, nothing pushed),
// bit 2 "Turbo Fire".
extern uint8_t DebugFlags;
constexpr uint8_t kDebugVision = 0x01;
constexpr uint8_t kDebugTurboFire = 0x04;

// 0 spells, 1 weapons.
extern uint8_t PowerSelection;

// Reads the keyboard and turns the keys into the hero's controls.
void HandlePlayerControls(CharacterRecord* hero);
// The keys of the open menu (the game is paused).
void PauseMenu();
