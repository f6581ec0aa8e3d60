// The enemies' decision step: once per AI frame each enemy of the hero's
// room runs its scene-entry timers, then exactly one handler: a fade, the
// death sequence, the impact reaction, a life-threshold reaction, a switch
// of behaviour, a forced shot, a group formation or its main behaviour.
// Also the target choice and the three group behaviours.
#pragma once

#include "ai/em_records.h"

#include <cstdint>

struct CharacterRecord;

// The state set when a life threshold is first crossed, consumed by the
// run-away and keep-distance reactions.
constexpr int32_t kEmStateThreshold = -1;
// Ranges the keep-distance reaction gives the enemy.
constexpr int32_t kEmKeepDistanceForward = 3300, kEmKeepDistanceBackward = 2475;

// The i-th enemy of the frame's room lists: its scene-entry timers, then
// its decision step; answers 1, or 0 (nothing done) for an index outside
// the lists.
int EM_ProcessEnemy(int32_t index);
// Scene-entry wait: 1 while the enemy must stay away, 0 once its fade-in
// has been started.
int EM_ProcessReappear(CharacterRecord* character, EmEnemy* enemy);
// Scene-entry effects timer; answers 1.
int EM_ProcessAppearScene(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessStrategy(CharacterRecord* character, EmEnemy* enemy);

void EM_ProcessGroupBehaviour(CharacterRecord* character, EmEnemy* enemy, int32_t group);
void EM_ProcessGBCircle(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessGBFront(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessGBFrontBack(CharacterRecord* character, EmEnemy* enemy);

void EM_ProcessRunAway(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessDistance(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessDeath(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessImpact(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessAppearDisappear(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessForceShoot(CharacterRecord* character, EmEnemy* enemy);
int EM_IsForceShootTime(const CharacterRecord* character, const EmEnemy* enemy);

// Target choice: a non-hunter takes the room enemy (not itself) with the
// lowest life below 32767, else (and a hunter always) the room player with
// the lowest game life; ties go to list order; none when nobody qualifies.
void EM_SetTarget(CharacterRecord* character, EmEnemy* enemy);
// A spindrel's target: the spindrel its aim name names, else EM_SetTarget.
void EM_SetSpindrelTarget(CharacterRecord* character, EmEnemy* enemy);
// -1 without an enemy record; 1 when its fade is 0 and its
// appearing/disappearing timer is armed; else 0.
int EM_TestEnemyState(const CharacterRecord* character);
