// The doors of the current room: its portals with their door objects,
// opened and closed by characters and by the room's fixed states, and the
// hand-over to the room behind an opened passage.
#pragma once

#include "game/characters.h"
#include "game/object_slots.h"

#include <cstdint>

// The door entries of the room just entered built from its portals (the
// door and further objects loaded, the door shown or hidden by the
// portal's door-shown byte); freed when the room is left.
void LoadPortalDoors(RoomRecord* room);
void FreePortalDoors();

// Opens or closes the door of portal `portal` (0-based) of the current
// room; without a character the door takes a fixed state of the room.
void ToggleDoor(CharacterRecord* character, int32_t portal);
// Once a frame: door countdowns fall by the frame step, fades by twice it.
void AnimateDoors();
// The character uses a door: portal number 0 picks the nearest portal in
// front of it measuring below 12; otherwise the 1-based portal.
void UseDoor(CharacterRecord* character, int32_t portal);
// The 0-based portal in front of the character measuring below 12, -1 when
// none.
int32_t FindDoorInFront(const CharacterRecord* character);
// The character's distance measure to the door of the 0-based portal:
// (x^2 / 65536 + z^2 / 65536) of the offset in the character's frame, from
// the portal's position for a blocked portal, else from its part; -1 when
// the room has no such door.
int64_t DoorMeasureFrom(const CharacterRecord* character, int32_t portal);
// The door of the named portal of the current room opened (room entry).
void OpenPortalDoor(const char* portal);
