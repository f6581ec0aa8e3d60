// Room points, the point camera and the hero's movement step: the point
// nearest the hero is the current point, which places the room's fixed
// camera and runs the point's action; rooms are played with the follow
// camera of the camera manager or with the point camera.
#pragma once

#include "engine3d/dqx_math.h"
#include "game/characters.h"

#include <cstdint>

// CameraMode values.
constexpr uint8_t kCameraFollow = 0;
constexpr uint8_t kCameraFixedPoint = 1;
constexpr uint8_t kCameraNearestPoint = 2;
constexpr uint8_t kCameraFlagSet = 3;
constexpr uint8_t kCameraFlagCleared = 4;
constexpr uint8_t kCameraNoMovement = 5;
constexpr uint8_t kCameraDying = 6;

// Ticks between two choices of the current point.
constexpr int32_t kPointRechoiceTicks = 100;

// The hero's position when the characters were last set up.
extern Vec3 HeroPreviousPosition;
// The mode that follows mode 3.
extern uint8_t SavedCameraMode;
// Ticks until the point camera chooses its point again.
extern int32_t PointCountdown;
// The point the point camera looks at.
extern Vec3 CameraAimPoint;

// FindNearestPoint flags: bit 0 also points with an action byte, bit 1
// also blocked points (and no inside answer).
constexpr int kPointsWithAction = 1;
constexpr int kPointsBlockedToo = 2;
// The current room's point for the position, which becomes the current
// point; the current point index when none is nearer (255 when none).
int FindNearestPoint(const Vec3* position, int flags);
// Event actions: the point becomes current, blocked (on) or free (off).
void SetHeroPointFlagOn(int index);
void SetHeroPointFlagOff(int index);
// 0 when the position lies on the point's expected side of its sector,
// else -1 (the point's sector-active byte set accordingly).
int IsPointSideBlocked(RoomPoint* point, int32_t maximum, const Vec3* position, int32_t minimum);
// 1 when the current point's sector rejects the position or the line of
// sight to the point is blocked (always 1 in mode 6).
int IsOutsidePointSector(const Vec3* position);
// The hero's point step.
void CheckHeroPoint(CharacterRecord* hero);
// The point camera's step.
void MoveCameraAlongPoints(CharacterRecord* hero);
// The camera at the current room's first point, turned to the hero; and,
// once a room entry, the room's lamp.
void PlaceCameraAtRoomStart();
// Hands the character's position to the movement layer (logged only).
void SetCharacterPos(CharacterRecord* character);

// The movement step of the world update: the follow camera, the point
// camera, the hero's point and the point's action.
void UpdateHeroMovement(CharacterRecord* hero);
