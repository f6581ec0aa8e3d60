// Objects, the inventory and the doors, as far as the game loop and the
// mission life cycle ask.
// Stand-ins under their final names: each only logs its call.
#pragma once

#include "game/characters.h"

// The object slots and the block after them cleared.
void ClearObjectSlots();
// The model handle of every object slot forgotten (save games reload them).
void ClearObjectSlotModels();
// The objects carried from the last mission put back.
void RestoreCarriedObjects();
// The carried objects kept for the next mission.
void SaveCarriedObjects();
// The carried objects' follow-up once the mission is open.
void FinishCarriedObjects();
// The objects of the current room set up.
void SetupObjects(int restoring);
// Every object slot's model and picture freed.
void FreeObjectSlots();
// The door of the named portal of the current room opened.
void OpenPortalDoor(const char* portal);

// The character's use of its selected object (mode 1: the frame's use).
void UseObject(CharacterRecord* character, int mode);
// One step of the objects' animations.
void AnimateObjects();

// The object-use request of the action control: -2 nothing to do, -1 and
// 2 a take, 1 a put, 3 the second put, others an action on an object.
int32_t RequestObjectUse(CharacterRecord* character);
// Whether an object lies at the character's position to act on.
bool FindObjectAt(CharacterRecord* character);
// The object the character reaches for taken, or its held object put down.
void TakeObject(CharacterRecord* character);
void PutObject(CharacterRecord* character);
