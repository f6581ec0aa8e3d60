// The host functions through which the enemy AI manager (EMH_) and the
// camera manager (CMH_) see the game: characters as opaque CharacterRecord
// references, positions and directions as three floats (x, y, z; y points
// down) in world units.  Game positions go to floats by a plain conversion;
// floats coming back are truncated toward zero, saturating at the ends of
// the 32-bit range, NaN giving 0.
#pragma once

#include <cstdint>

struct CharacterRecord;

// Vector operations (a, b, v: three floats).
float EMH_Distance3DSquared(const float* a, const float* b);
float EMH_DistanceXZSquared(const float* a, const float* b);
// v / |v| when the length is above 0; unchanged otherwise.
void EMH_Normalize(float* v);
void EMH_SetVector(float* v, float x, float y, float z);
float EMH_DotProduct(const float* a, const float* b);
// out = a x b; answers the sum of out's components.
float EMH_CrossProduct(float* out, const float* a, const float* b);
void EMH_ScaleVector(float* v, float s);
// a = a + b, a = a - b.
void EMH_AddVector(float* a, const float* b);
void EMH_SubtractVector(float* a, const float* b);
void EMH_NegateVector(float* v);
// p = (vz, 0, -vx), q = (-vz, 0, vx).
void EMH_GetPerpendiculars(const float* v, float* p, float* q);

// The position of the character's model (relative to its parent, the scene
// root); (0, 0, 0) for no character or no model.  The two are one operation.
void EMH_GetEnemyPosition(const CharacterRecord* character, float* out);
void EMH_GetPlayerPosition(const CharacterRecord* character, float* out);
// From the model's world matrix: (m00, m01, -m02) in the matrix's Q15 scale,
// the horizontal way the character faces; (0, 0, 0) for no model.
void EMH_GetFacingDirection(const CharacterRecord* character, float* out);
// The game's measured frame step in ticks of 1/70 s, as a float (1 when the
// game gives none).
float EMH_GetFrameFactor();

// The camera's host functions; the hero is slot 0 of CharacterTable.
void CMH_GetHeroPosition(float* out);
void CMH_GetHeroDirection(float* out);
// 1 when the hero's control flags hold bit value 4 or 8 (walking forward
// or back), else 0.
int CMH_HeroHasFlags4Or8();
// 1 when they hold bit value 1 or 2 (turning left or right), else 0.
int CMH_HeroHasFlags1Or2();
// The character the hero's target choice picks in sight, when its
// definition lets it be locked on; else null.
CharacterRecord* CMH_GetLockedEnemy();
// 1 when no collision face lies between the two points; else 0 with the
// hit nearest to `eye` in out.  The segment is walked both ways, from
// eye + 5 to target - 5 (each component) and back.
int CMH_FindNearestHit(const float* eye, const float* target, float* out);
// The camera object (handle 0) put at the truncated position.
void CMH_SetCameraPosition(const float* position);
// The camera turned to look from where it stands toward the truncated
// point; a point at the camera's own position leaves its orientation.
void CMH_AimCamera(const float* point);
