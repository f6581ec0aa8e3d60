// Player controls: the keys read every frame of play, and the keys of the
// open menu while the game is paused.
#pragma once

#include "game/characters.h"

// Reads the keyboard and turns the keys into the hero's controls.
void HandlePlayerControls(CharacterRecord* hero);
// The keys of the open menu (the game is paused).
void PauseMenu();
