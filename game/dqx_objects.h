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
// The put keyframe: the selected inventory object put down where the
// character stands, in the current room; when the character's action
// request took an object, that take is completed instead (the high take's
// animation carries this keyframe).
void PutObject(CharacterRecord* character);
// Mode 0 hands the selected object to the weapons, mode 1 uses it.
void UseObject(CharacterRecord* character, int mode);
// An object used on a target and spent: it leaves the character's
// inventory (the selection cleared when it was selected) and its model is
// no longer shown (consumed).
void ExpireObject(CharacterRecord* character, ObjectSlotEntry* slot);

// The objects carried into the next mission: the hero's inventory entries
// after the first that go on (from mission 20 on those marked as carried,
// below it those whose carry-over byte is set) are kept when leaving a
// mission, put after the next one's objects (as many as its object array
// and the 32 slots hold; the others dropped with a log line) to be given
// to the hero at set-up, and given their translated names.
void SaveCarriedObjects();
void RestoreCarriedObjects();
void RestoreCarriedNames();
// The carried objects' follow-up once the translations are read: their
// names (RestoreCarriedNames).
void FinishCarriedObjects();

// Once a frame: the models of the objects of the current room shown (and
// turned one step unless static), the others, the taken, the used and the
// hidden ones (unless the Vision debug bit is set) hidden.
void SetupRoomObjectModels();
// The world update's object step: SetupRoomObjectModels.
void AnimateObjects();

// The character's action request, answered as the animation code to ask:
// a door in front is used (-2, nothing asked); else the nearest object is
// taken (9, or 16 when it lies high), the held object used on what is there
// (10), or, with nothing in reach, the held object put down (8); -2 when
// there is nothing to do.
int32_t RequestObjectUse(CharacterRecord* character);
// Whether an object that may be taken lies within reach of the character.
bool FindObjectAt(CharacterRecord* character);
