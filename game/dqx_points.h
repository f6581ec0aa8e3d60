// The hero's movement between the room points and the point camera.
#pragma once

#include "game/characters.h"

// Moves the hero by its controls and drives the camera.
void UpdateHeroMovement(CharacterRecord* hero);
// The camera to the current room's first point, looking at the hero.
void PlaceCameraAtRoomStart();
