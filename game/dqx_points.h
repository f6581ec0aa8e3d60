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

// The point-3 sequence (GameState.scene): from this mission on, the hero
// reaching point 3 plays code 38 held in special state 32 with the
// sequence's effect; its fire keyframe ends the sequence at point 4.
constexpr int kSceneFirstMission = 20;
constexpr uint8_t kScenePoint = 3;
constexpr uint8_t kSceneEndPoint = 4;
constexpr int32_t kScenePowerCode = 38;
constexpr uint8_t kSceneHeld = 32;  // CharacterRecord::special
// GameState.scene[0] values.
constexpr uint8_t kSceneNotBegun = 0;
constexpr uint8_t kSceneEnded = 1;
constexpr uint8_t kSceneLeftPoint = 3;
constexpr uint8_t kSceneAtPoint = 4;
extern const char* const kSceneEffect;

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
// CurrentPointIndex while no point is current.
constexpr uint8_t kNoPoint = 255;
// The current room's point for the position, which becomes the current
// point: of the points whose radius holds the position (horizontally), the
// nearest, ties to the later one; one whose sector accepts the position
// wins over one that rejects it.  Outside every radius the current point
// stays (kNoPoint when there is none, or the room has no points).
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
// The camera at the current room's first point, turned to the hero's
// model, point 0 current (a room without points keeps the camera); and,
// once a room entry, the room's lamp.
void PlaceCameraAtRoomStart();
// The dying hero's camera: the room point nearest the hero becomes the
// current point (chosen as RefreshHeroPoint chooses it, the first point
// when none holds the hero) and the movement mode becomes 6, in which the
// camera stands on that point and looks straight at the hero.
void FaceDyingHero(const CharacterRecord* hero);

// The movement step of the world update: the room's lamp once a room
// entry, then (not in mode 5) the follow camera, the point camera, the
// hero's point and the point's action.  A room without points keeps the
// camera where the follow camera left it and runs no point step.
void UpdateHeroMovement(CharacterRecord* hero);
