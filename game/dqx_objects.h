// Objects, the inventory and the hero's action request: the mission's
// objects bound to their slots, taken, carried, put down, given, held and
// used, and carried over into the next mission.
#pragma once

#include "game/characters.h"
#include "game/object_slots.h"

#include <cstdint>

// The object slots and the block after them cleared.
void ClearObjectSlots();
// The model handle of every object slot forgotten (save games reload them).
void ClearObjectSlotModels();
// Binds and places the object slots (mission start, room change, restart).
void SetupObjects(int restoring);
// Frees one slot's picture and model and clears picture, state and model.
void FreeObjectSlot(ObjectSlotEntry* slot);
// Every object slot's model and picture freed.
void FreeObjectSlots();
// The slot whose object has the name (letter case ignored), none when
// missing.
ObjectSlotEntry* FindObjectSlot(const char* name);
// The slot's place in the character's inventory, -1 when not held.
int FindInventoryIndex(const CharacterRecord* character, const ObjectSlotEntry* slot);

// 0 nothing taken, 1 or 3 taken (by the object's height in the character's
// frame), -1 used on a target.  Mode bit 12 gives; a mode of 4096 or more
// takes only slot mode - 4096.
int32_t TakeNearestObject(CharacterRecord* character, int32_t mode);
void GiveObject(CharacterRecord* character, int32_t slot);
void HoldObject(ObjectSlotEntry* slot);
// The take keyframe: the selected inventory object held.
void TakeObject(CharacterRecord* character);
// The put keyframe: the selected inventory object put down.
void PutObject(CharacterRecord* character);
// Mode 0 hands the selected object to the weapons, mode 1 uses it.
void UseObject(CharacterRecord* character, int mode);

// The objects carried into the next mission: kept when leaving one, put
// back after the next one's objects, given their translated names.
void SaveCarriedObjects();
void RestoreCarriedObjects();
void RestoreCarriedNames();
// The carried objects' follow-up once the mission is open.
void FinishCarriedObjects();

// Once a frame: the models of the objects of the current room shown (and
// animated), the others hidden.
void SetupRoomObjectModels();
// One step of the objects' animations.
void AnimateObjects();

// The hero's action request: -2 nothing to do, -1 used on a target,
// 1 taken low, 3 taken high, 0 put down; a door in front is used instead.
int32_t RequestObjectUse(CharacterRecord* character);
// Whether an object lies at the character's position to act on.
bool FindObjectAt(CharacterRecord* character);
