// Objects, inventory and doors.
#pragma once

#include "game/characters.h"

// The character's use of its selected object (mode 1: the frame's use).
void UseObject(CharacterRecord* character, int mode);
// One step of the objects' animations.
void AnimateObjects();
