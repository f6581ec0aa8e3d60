// Combat: shots, hits and the witness effect.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The hero's witness effect updated for the room.
void UpdateWitnessEffect();

#include "game/characters.h"

// Powers and fire of the characters, as the animation keyframes reach
// them.  Stand-ins: each records its call in g_GameCalls.
// The effect of a power whose animation ended (pendingPower: 1 spell, 2 weapon).
void ApplyPowerEffect(CharacterRecord* character);
// A shot of the character's power or weapon at `tick` (kind 0 from a keyframe).
void FireCharacterWeapon(CharacterRecord* character, int32_t kind, uint32_t tick);
// The hero's choice of power when the power key is pressed unarmed: its
// cast mode from control bit 12, its spell and weapon rows from the
// player's selections (PowerTables).
void ChooseHeroPower(CharacterRecord* hero);
// An explosion at the position: the enemies within the radius are hit
// under the name; answers how many were hit.
int32_t ImpactEnemiesInRadius(const Vec3* position, int32_t radius, const char* name);
// The weapon record's shot effect started from the hero.
void StartWeaponEffect(CharacterRecord* hero);
