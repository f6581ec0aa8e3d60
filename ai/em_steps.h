// The steps every enemy behaviour is written with: turning toward a point
// or the target, walking forward and back, arrival at a point, and the
// shot sequence (states 200, 201, 300, 301) that most behaviours share.
#pragma once

#include "ai/em_records.h"

#include <cstdint>

struct CharacterRecord;

// A walker has reached a point when the horizontal squared distance from
// its model to the point is below this (about 137 world units).
constexpr float kEmArrivalDistance2 = 18837.0f;

// Shot sequence states.
constexpr int32_t kEmStateShotWait = 200, kEmStateShotAim = 201, kEmStateShotStart = 300,
                  kEmStateShotFire = 301;

// The direction turned toward `point` by at most the enemy's turn step and
// handed to the game; answers the facing-reached flag.
int EM_TurnTowardPoint(CharacterRecord* character, EmEnemy* enemy, const float* point);
// The same toward the target's position.
int EM_FaceTarget(CharacterRecord* character, EmEnemy* enemy);
// The move animation forward (flags 1) or backward (flags 3); the caller
// raises the game's motion request (EMH_RaiseFlag4 / EMH_RaiseFlag8) on
// each frame the enemy is to advance.
void EM_Walk(CharacterRecord* character, EmEnemy* enemy);
void EM_WalkBack(CharacterRecord* character, EmEnemy* enemy);
// 1 when the character's model stands within the arrival distance of the
// point (horizontal plane).
int EM_HasArrived(const CharacterRecord* character, const float* point);
// Horizontal squared distance from the character's model to its target
// (0 without a target).
float EM_TargetDistance2(const CharacterRecord* character, const EmEnemy* enemy);
// One frame of the shot sequence for a state of 200..301; answers 1 when
// the state was one of the four, 0 otherwise (nothing done).
int EM_ProcessShotSequence(CharacterRecord* character, EmEnemy* enemy);
// One frame of states 300 and 301 only: the attack animation, one shot at
// its action keyframe, back to 0 when it has stopped.
int EM_ProcessAttackStates(CharacterRecord* character, EmEnemy* enemy);
