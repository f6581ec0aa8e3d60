// The small operations on one enemy record and its game character that the
// behaviours and the AI frame are written with: timers, AI animation
// requests, effect and sound starts, hits and life, appearing and
// disappearing, shooting, states and behaviours, and the patrol track walk.
//
// Every timer is a u32 frame number against EmFrameCount.  Frame numbers
// are compared by their signed difference, so a time drawn just before the
// counter wraps still lies ahead of it.
#pragma once

#include "ai/em_records.h"

#include <cstdint>

// EmFrameCount has reached `time` (equal counts included).
inline bool EM_FrameReached(uint32_t time) {
    return int32_t(EmFrameCount - time) >= 0;
}
// EmFrameCount lies beyond `time`.
inline bool EM_FramePassed(uint32_t time) {
    return int32_t(EmFrameCount - time) > 0;
}

// A time drawn from a delay pair: EmFrameCount + minimum + the random part
// (0..maximum - minimum) divided by the frame factor and truncated.  A
// maximum below the minimum counts as the minimum.
uint32_t EM_DrawTime(EmDelayPair pair);

// Timers (each writes one field of its record).
void EM_ComputeNextTimeShoot(EmEnemy* enemy);
// From the reappear pair while hidden, the disappear pair while visible;
// arms the timer, or disarms it (time unchanged) for a pair of two zeros.
void EM_ComputeNextTimeAppearDisappear(EmEnemy* enemy);
void EM_ComputeNextTimeGetBackToLife(EmEnemy* enemy);
void EM_ComputeNextTimeAppearScene(EmEnemy* enemy);
void EM_ComputeNextTimeAppearSceneFxs(EmEnemy* enemy);
// 180 frames ahead plus 0..180 divided by the frame factor.
void EM_ComputeNextTimeWarSound(EmEnemy* enemy);
// 70 frames divided by the frame factor ahead: contact damage at most once
// per second of frames.
void EM_ComputeNextTimeHit(EmEnemy* enemy);
// From its enemy's spindrel move pair.
void EM_ComputeNextTimeMove(EmSpindrel* spindrel);
// The room's next update for a side (0, 1) and kind (0..3) from
// EmTendrils; a pair of two zeros instead turns the kind off
// (EmTendrilKindEnabled) and leaves the time.
void EM_ComputeNextTimeUpdateTendrils(EmRoom* room, int32_t side, int32_t kind);

// AI animations (0..6; kEmNoAnimation none).  A request equal to the
// current animation and flags is not repeated.
void EM_SetAnim(CharacterRecord* character, EmEnemy* enemy, int32_t index, int32_t flags);
// 1 once the current animation has played past its action keyframe; 0
// when no animation is current.
int EM_HasPassedActionKeyframe(const CharacterRecord* character, const EmEnemy* enemy);
void EM_SetAttack1Or2Anim(CharacterRecord* character, EmEnemy* enemy);
void EM_SetWaitOrGuardAnim(CharacterRecord* character, EmEnemy* enemy);

// States and current behaviours.
void EM_SetState(EmEnemy* enemy, int32_t state);
void EM_SetCurrentMainBehaviour(EmEnemy* enemy, int32_t behaviour);
void EM_SetCurrentGroupBehaviour(EmEnemy* enemy, int32_t behaviour);

// The patrol track walk: a random point, and the points before and after
// `index`, wrapping at both ends; 0 for a track without points.
int32_t EM_GetRandomTrackPoint(const CharacterRecord* character);
int32_t EM_GetPreviousTrackPoint(const CharacterRecord* character, int32_t index);
int32_t EM_GetNextTrackPoint(const CharacterRecord* character, int32_t index);

// Sound, then effect, of each pair of names; a name "<NONAME>" (any case)
// or empty is skipped.
void EM_StartImpactEffects(CharacterRecord* character, const EmEnemy* enemy);
void EM_StartDeathEffects(CharacterRecord* character, const EmEnemy* enemy);
void EM_StartAppearEffects(CharacterRecord* character, const EmEnemy* enemy);
void EM_StartAppearSceneEffects(CharacterRecord* character, const EmEnemy* enemy);

// The damage a weapon (an effect file name, any case) deals to a script
// character: 10 for no name, the list's damage, else 0 with a log line.
int32_t EM_GetHitPoints(const EmCharacter* script, const char* weaponName);
// Contact damage of the enemy character on the player, at most once per
// hit time.
void EM_PlayerHitByEnemy(CharacterRecord* player, const CharacterRecord* enemyCharacter);
// Kind 1 asks the enemy to appear, kind 2 to disappear.
void EM_AppearDisappearEnemy(const CharacterRecord* character, int32_t kind);
// Asks for the next appearing or disappearing once its time has come.
void EM_CheckAppearDisappear(const CharacterRecord* character, EmEnemy* enemy);
void EM_EnemyShoot(CharacterRecord* character, EmEnemy* enemy);
// 1 when the enemy may shoot; else 0 with the reasons: bit value 1 the shoot
// time still ahead, 2 the line of fire blocked, 4 the facing not reached.
int EM_CanShoot(const CharacterRecord* character, const EmEnemy* enemy, int32_t* reasons);
