// Combat: what a shot costs and launches, what a hit does, explosions over
// an area, the hero's protection and its witness effect.
#pragma once

#include "engine3d/dqx_hooks.h"
#include "game/characters.h"
#include "game/gameplay.h"

#include <cstddef>
#include <cstdint>

// Power kinds of a shot.
constexpr int32_t kPowerWeapon = 0;  // a row of PowerTableW
constexpr int32_t kPowerSpell = 1;   // a row of PowerTableM
constexpr int32_t kPowerOther = 2;   // a character other than the hero

// Shot classes answered by the energy step.
constexpr int32_t kShotRefused = 0;
constexpr int32_t kShotEnemy = 2;
constexpr int32_t kShotTendril = 3;
constexpr int32_t kShotAimedAlways = 4;
constexpr int32_t kShotBlast = 10;
constexpr int32_t kShotProtection = 20;

// Menu texts of the status line: the energy and its reserve could not pay
// for a power, and a spell the events did not take.
constexpr int kEnergyExhaustedText = 176;
constexpr int kPowerRefusedText = 177;

// BarrierFlags bits.
constexpr uint8_t kBarrierRunning = 0x01;  // a barrier of weapon slots 14-17 runs
constexpr uint8_t kBarrierNear = 0x02;     // the hero stands within 10 units of it (set by the overlay)
extern uint8_t BarrierFlags;
// The running protection effect's instance, -1 when none.
extern int32_t ProtectionEffect;

// 0 for any character but the hero; else the row's utilisation x its shown
// level (kind 1 from PowerTableM, else PowerTableW).
int32_t PowerEnergyCost(const CharacterRecord* character, int32_t kind);
// The energy step of a shot: the cost taken from the energy (and the
// reserve), the pending power recorded; answers the shot class (0 when the
// energy and the reserve could not pay).
int32_t SpendPowerEnergy(CharacterRecord* character, int32_t kind);
// A shot of the character: the hero's of the given kind, the others' of
// kind 2, at `tick`; the target is the record's own.
void FireCharacterWeapon(CharacterRecord* character, int32_t kind, uint32_t tick);
// The effect of a power whose casting animation ended (pendingPower: kind + 1).
void ApplyPowerEffect(CharacterRecord* character);
// The hero's request of a power animation when the power key is pressed.
void ChooseHeroPower(CharacterRecord* hero);
// A hit, from the effects engine (through EngineServices) or the AI host.
void HitCharacter(const HitArgs& hit);
// A hit on a character record: HitCharacter({character, damage, hitValue}).
void HitCharacter(CharacterRecord* character, int32_t damage, int32_t hitValue);
// An explosion at the position: every enemy of the current room strictly
// within the radius, not hit this frame, is hit under the name; answers
// how many were hit.
int32_t ImpactEnemiesInRadius(const Vec3* position, int32_t radius, const char* name);
// 1 while the hero cannot be hurt.
int IsHeroProtected(const CharacterRecord* character);
// Starts or stops the protection effect on the character by its
// protection countdown (the owner is the record whose power state runs it).
void UpdateWitnessEffect(CharacterRecord* character, CharacterRecord* owner);
// The protection effect freed (it repeats forever) and its handle -1.
void StopWitnessEffect();
// The weapon record's shot effect started from the hero: aimed with class 2
// at its target when it has one, else on its model.
void StartWeaponEffect(CharacterRecord* hero);

// The shot effect file of a power row: ".\effects\<name>-<level>-<A|B>.cgs",
// the level (in hexadecimal) the row's level in use when the name's second
// character is '5', else 1; B instead of A at random, one time in two, for
// a row with the A/B variant.
void PowerEffectFile(const PowerRow& row, char* out, size_t size);
// The row of a character's power kind: its spell row for kind 1, its
// weapon row otherwise; none when the record's row lies past the table.
PowerRow* CharacterPowerRow(const CharacterRecord* character, int32_t kind);
