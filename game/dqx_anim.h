// The characters' animation state machine: requests, priorities, blends,
// loops, holds, keyframe events and root motion.  The public requests
// (SetCharacterAnim, SetLifeStanceAnim, StartCharacterDeath) and the
// per-frame UpdateCharacter are declared in game/characters.h.
//
// Time in a slot counts 1/255 of a frame at 30 frames a second from the
// millisecond tick count (GetTickCount, wrapping at 32 bits); a blend runs
// ten times as fast.
#pragma once

#include "game/characters.h"

#include <cstdint>

// The end notice: the frame a keyframe callback is called with when its
// slot is left.
constexpr int32_t kAnimEndNotice = 10000;
// The hero's power animations: codes 128..148 in slots 32..52.
constexpr int32_t kPowerSlotFirst = 32;
constexpr int32_t kPowerSlotCount = 21;

// A code as a slot: masked with 0xfff, folded by 96 above 127; -1 when the
// slot is 64 or above (refused).
int32_t AnimCodeSlot(int32_t code);
// Asks for a code: restart zeroes the slot time.
void ChangeCharacterAnim(CharacterRecord* character, int32_t code, int restart);
// Calls the current slot's callback with the end notice once.
void SendAnimEndNotice(CharacterRecord* character);
// Whether the character may take the code (a slot).
bool IsAnimAllowed(const CharacterRecord* character, int32_t code);
// The current or previous code; -1 while a blend plays.
int32_t GetCharacterAnim(const CharacterRecord* character);
int32_t GetPreviousCharacterAnim(const CharacterRecord* character);
// The slot time from the clock: (now - startTick) x (30, or 300 while
// blending) x speed / 1000 + baseTime.
int32_t GetCharacterAnimTime(const CharacterAnimState* state);
// The heading (& 0xfff), z and x angles: the orientation matrix, the model
// turned (not the hero's), the angles stored.
void SetCharacterAngle(int index, int32_t heading, int32_t z, int32_t x);
// The position of character `index` stored in its animation state, from
// which root motion goes on, and its model (when it has one) put there.
// The record's own position is the caller's to set.
void SetCharacterPos(int index, int32_t x, int32_t y, int32_t z);
// One frame of the state machine of character `index`.
void AdvanceCharacterAnim(int index);
// The hero's morph sets freed, and every slot of slot 0's state left
// without one (InstallKeyframeCallbacks loads them for the hero's model).
void FreeHeroMorphs();
// Slot 20 takes the hero's weapon animation; code 20 is requested.
void StartPowerAnim(CharacterRecord* hero, ObjHandle animation, int fire);
// Starts slot `slot` of the state (blend: from the frame shown last).
void StartAnimSlot(CharacterAnimState* state, int32_t slot, int blend);
// The end check: 0 playing, 1 ended and restarted, 2 holding.
int CheckAnimSlotEnd(CharacterRecord* character, CharacterAnimState* state);

// The keyframe callbacks.
int AnimKeySound(CharacterRecord* character, int32_t frame, int32_t slot);
int AnimKeyEffect(CharacterRecord* character, int32_t frame, int32_t slot);
int AnimKeyHeroDeath(CharacterRecord* character, int32_t frame, int32_t slot);
int AnimKeyTake(CharacterRecord* character, int32_t frame, int32_t slot);
int AnimKeyPut(CharacterRecord* character, int32_t frame, int32_t slot);
int AnimKeyFire(CharacterRecord* character, int32_t frame, int32_t slot);
