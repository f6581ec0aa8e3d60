// Room points, the hero's movement and the point camera, as far as the
// mission life cycle asks.  Stand-ins under their final names.
#pragma once

#include "engine3d/dqx_math.h"
#include "game/characters.h"

// The hero's position when the characters were last set up.
extern Vec3 HeroPreviousPosition;

// The index of the current room's point nearest to the position by
// distance; 0 when the room has no points.
int FindNearestPoint(const Vec3* position);
// The camera at the start of the current room: from the room's near side,
// above the floor, looking into the room, where the hero and the others
// standing in it are seen; and, once a room, one point lamp before the
// near wall that lights the room model and every character set up in it.
void PlaceCameraAtRoomStart();
// Hands the character's position to the movement layer (logged only).
void SetCharacterPos(CharacterRecord* character);

// Moves the hero by its controls and drives the camera.
void UpdateHeroMovement(CharacterRecord* hero);
