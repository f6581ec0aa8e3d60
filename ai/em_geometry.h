// The enemy manager's geometry in the horizontal plane: an enemy's target
// position and direction, free points behind and in front of the target,
// facing tests, range tests, bounded turning toward a wanted direction,
// the strafe test and the lookups of the formation slots that the frame's
// preparation assigned.
//
// Directions are three floats (x, y, z; y points down); every operation here
// sets y to 0 before it normalises, so only the heading counts.  A heading is
// atan2(z, x) in radians, in [0, 6.283185); heading a is the vector
// (cos a, 0, sin a).
#pragma once

#include "ai/em_records.h"

#include <cstdint>

struct CharacterRecord;

constexpr float kEmTwoPi = 6.283185f;
constexpr float kEmPi = 3.1415925f;           // beyond it a turn goes right
constexpr float kEmTargetPointDistance = 825.0f;
constexpr float kEmTurnStepPerTick = 0.049087385f;  // a 128th of a turn per tick of 1/70 s
constexpr float kEmStrafeFacingAngle = 1.0471975f;  // 60 degrees

// Formation blocks of EmEnemy and EmPlayer, by index.
constexpr int kEmFormationCircle = 0, kEmFormationFront = 1, kEmFormationFrontBack = 2;

// Reason bits of EM_CanStraff: the line to strafe point A (bit 1) or B
// (bit 2) is blocked; 4: no strafe at all.
constexpr int32_t kEmStrafeBlockedA = 1, kEmStrafeBlockedB = 2, kEmStrafeRefused = 4;

// The players and enemies of the hero's room with their records, in the same
// order; the frame step fills them every frame before any enemy acts.
constexpr int kEmRoomListSize = 32;
extern int32_t EmRoomPlayerCount;
extern CharacterRecord* EmRoomPlayers[kEmRoomListSize];
extern EmPlayer* EmRoomPlayerRecords[kEmRoomListSize];
extern int32_t EmRoomEnemyCount;
extern CharacterRecord* EmRoomEnemies[kEmRoomListSize];
extern EmEnemy* EmRoomEnemyRecords[kEmRoomListSize];

// atan2(z, x) brought into [0, 6.283185).
float EM_GetHeading(const float* direction);

// The target's model position (a player hunter's target is a player).
void EM_GetTargetPosition(const EmEnemy* enemy, float* out);
// A player hunter: the target's facing in the model matrix's Q15 scale;
// otherwise the enemy's own AI direction.
void EM_GetTargetDirection(const EmEnemy* enemy, float* out);

// 1 and a point 825 behind the target and 825 to one side of it (the side
// drawn at random, the other tried next) to which the line from the
// character is free; 0 with out unchanged when both lines are blocked.
int EM_FindTargetBackPoint(CharacterRecord* character, EmEnemy* enemy, float* out);
// The same 825 in front of the target.
int EM_FindTargetFrontPoint(CharacterRecord* character, EmEnemy* enemy, float* out);

// 1 when the enemy looks at its target within half the angle (radians) and
// the target looks back at it (EM_IsFacingTarget) or turns its back to it
// (EM_IsBackFacingTarget) within half the angle; else 0.
int EM_IsFacingTarget(CharacterRecord* character, EmEnemy* enemy, float angle);
int EM_IsBackFacingTarget(CharacterRecord* character, EmEnemy* enemy, float angle);

// 1 when the target is beyond the forward range (range squared below the
// squared distance); else 0.
int EM_IsInForwardRange(const EmCharacteristics* characteristics, float distance2);
// 1 when the target is closer than the backward range; else 0.
int EM_IsInBackwardRange(const EmCharacteristics* characteristics, float distance2);

// The direction becomes the vector of its heading minus (right) or plus
// (left) the step.
void EM_TurnRight(float* direction, float step);
void EM_TurnLeft(float* direction, float step);

// Both vectors are flattened and normalised in place; when the headings
// differ by less than the step the direction takes the wanted one and the
// answer is 1; otherwise it turns by the step the shorter way and the
// answer is 0.
int EM_RotateVectorToward(float* direction, float* wanted, float step);
// The same with the enemy's own step (EmFrameFactor x a 128th of a turn);
// an enemy without gradual turning keeps its direction and always faces.
// The answer is stored as the enemy's facing-reached flag.
int EM_TurnVectorToLookAtDest(EmEnemy* enemy, float* direction, float* wanted);

// 1 when the enemy may strafe; the reason bits above go to `reasons` (the
// caller picks the side whose bit is clear).
int EM_CanStraff(CharacterRecord* character, EmEnemy* enemy, int32_t* reasons);

// The number of other enemies of the room with the given group behaviour;
// 0 for no group or a room with at most one enemy.
int EM_IsGroupBehaviourPossible(CharacterRecord* character, int32_t group);

// The formation slot given to the character around a room player or room
// enemy: 1 with the slot's destination in point and the centre of the
// formation in centre; 0 with centre none.
int EM_FindAffectedPlayerDestCircle(CharacterRecord* character, CharacterRecord** centre, float* point);
int EM_FindAffectedPlayerDestFront(CharacterRecord* character, CharacterRecord** centre, float* point);
int EM_FindAffectedPlayerDestFrontBack(CharacterRecord* character, CharacterRecord** centre, float* point);
int EM_FindAffectedEnemyDestCircle(CharacterRecord* character, CharacterRecord** centre, float* point);
int EM_FindAffectedEnemyDestFront(CharacterRecord* character, CharacterRecord** centre, float* point);
int EM_FindAffectedEnemyDestFrontBack(CharacterRecord* character, CharacterRecord** centre, float* point);
