// The character-level rules that run over every character of the mission:
// which character the hero or an enemy aims at, keeping characters apart,
// which character models are shown, moving a character into another room,
// the rules of mission 5, and the per-frame pass that updates every
// character (UpdateCharacter does one).
//
// Distances are Get_Dist2's: the squared differences each shifted right by
// 15, so a threshold T stands for sqrt(T x 32768) world units.
#pragma once

#include "engine3d/dqx_math.h"
#include "game/characters.h"

#include <cstdint>

// Get_CharDist2 below which the hero picks a target (about 5793 units).
constexpr int32_t kHeroTargetDist2 = 1024;
// Squared length of Get_CharDelta below which an attacker keeps its target
// (about 2048 units) and below which it takes a new one (about 2896 units).
constexpr int32_t kKeepTargetDist2 = 128;
constexpr int32_t kNewTargetDist2 = 256;
// Horizontal facing cosine below which a target is not in sight.
constexpr int32_t kSightCosine = 10001;
// Sphere radius of every character in the separation test, and the
// horizontal distance it is pushed out to.
constexpr int32_t kSeparationRadius = 500;
constexpr int32_t kPushRadius = 250;
// Squared horizontal distance below which a character stands on the hero.
constexpr int32_t kFaceNearDist2 = 9;
// Menu text of the status line told when a character moves in.
constexpr int kMovedInText = 199;

// The characters of the open mission that have a slot: the definition
// count, bounded by the 64 slots; 0 without a mission or a table.
int MissionCharacterCount();
// Whether the definition's room is the current room (a room at or above the
// room count is no room).
bool InCurrentRoom(const CharacterRecord* character);

// The hero answers its nearest target below kHeroTargetDist2 in its line of
// sight among the attackers and allies of the current room (ties to the
// lower slot), which also becomes its target; any other character answers
// the hero.
CharacterRecord* FindNearestTarget(CharacterRecord* character);
// The attacker's kept target, or the last attacker in slot order near it
// (and in sight when asked); none when nothing qualifies.  The attacker
// itself is never its own answer.
CharacterRecord* FindCharacterTarget(CharacterRecord* attacker, int inSight);
// 0 when the target is outside the character's horizontal facing cone,
// else the line of sight between their positions.
int IsTargetInSight(CharacterRecord* character, CharacterRecord* target);

// Two spheres overlap when the squared distance of their centres is
// strictly below the product of their radii.
int SpheresOverlap(const Vec3* a, int32_t radiusA, const Vec3* b, int32_t radiusB);
// Puts the character at `radius` from the point along the horizontal line
// joining them when it stands nearer (but not on it); 1 when it was moved.
int PushOutOfCylinder(CharacterRecord* character, const Vec3* from, int32_t radius);
// Pushes the character out of every other present, shown, active character
// with a model that has not just moved in; 1 when the last pair tested
// was pushed apart.
int SeparateCharacters(CharacterRecord* character);

// The character moved into the room: the enemy manager told, the
// definition's room set, the character put at the room's position and
// shown, its moved-in flag set; while the hero's state timer runs the
// status line says so.
void MoveCharacterToRoom(CharacterRecord* character, int32_t room);
int IsSpindrelCharacter(CharacterRecord* character);
// Shows the model and its shadow when `show` is set or in "Vision" debug
// mode, else hides both.
void ShowCharacterModel(CharacterRecord* character, int show);
// Each present character with a model shown when it is a live summoned
// ally or active in the current room, hidden otherwise.
void UpdateCharacterVisibility();
// A character other than the hero turns toward the hero; its near bit
// tells whether it stands away from the hero's spot.
void FaceHero(CharacterRecord* character);
// The rules of mission 5 over the slots below the definition count.
void RunMission5Rules();
// The per-frame pass: every present character with a model, in slot order.
void UpdateCharacters();
