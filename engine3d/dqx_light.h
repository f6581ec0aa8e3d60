// Scene lights and the face and vertex lighting.
//
// The scene keeps a table of up to 100 lights, point or directional, placed
// in world space and turned into camera space once a frame.  Every node
// lists (by index) up to 8 lights that reach it; the walk lights each
// processed node from them: one shade per face for flat and textured
// groups, one per corner for the smooth groups, with a highlight term for
// types 30 and 31.  Shades run from 0 (unlit) to 31 (fully lit); a node
// without lights keeps the shades it had.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

constexpr int kMaxLights = 100;
constexpr int kMaxObjLights = 8;

enum LightKind : int32_t { kLightFree = 0, kLightPoint = 1, kLightDirectional = 2 };

struct LightRecord {
    int32_t kind;          // 0 free, 1 point, 2 directional; others are off
    Vec3 pos;              // world
    Mat3 orient;           // world; third column = the light's axis
    Vec3 camPos;           // set every frame
    Mat3 camOrient;        // set every frame
    Vec3 objPos;           // scratch of the node being lit
    Vec3 objDir;           // scratch of the node being lit
    int32_t unused[3];
    int32_t inner;         // world units: full amount up to here
    int32_t outer;         // world units: nothing from here on
    int32_t intensity;     // 0..31 shade steps
};
extern LightRecord g_Lights[kMaxLights];
extern int32_t g_LightCount;

// The first free record, or -1 when all 100 are in use (or kind is 0).
int Add_Light(const Vec3* position, const Mat3* orientation, int32_t kind, int32_t inner, int32_t outer,
              int32_t intensity);
// -1 for an index outside the table or a free record.
int Remove_Light(int index);
int Set_LightPos(int index, const Vec3* position);
int Set_LightMatrix(int index, const Mat3* orientation);
int Set_LightIntensity(int index, int32_t intensity);
void Clear_Lights();
// Appends a light index to a node's list; -1 for a bad handle or index, or
// when the list already holds 8.
int Add_ObjLight(ObjHandle h, int index);
// Removes the first equal entry, moving the last one into its place.
int Remove_ObjLight(ObjHandle h, int index);
// The camera-space placement of every light in use (all 100 records are
// walked, so a light above a freed one is never left stale).
void Update_Lights();

// The lights of a node in its own space.
void Light_ToObjectSpace(PoolRef<Obj3D> node);
// The shades of the node's visible faces; nothing when it has no lights.
void Shade_Faces(PoolRef<Obj3D> node);

// Whether a node is lit: the renderers' lit forms (types 22 and 25 drawn as
// 30) read shades that only the lighting of a node with lights renews, so
// the light count decides, not the render word.
bool Node_IsLit(PoolRef<Obj3D> node);

// What the lighting writes for a group of a type.
enum class ShadeKind { None, Face, Corners, Highlight };
ShadeKind Prim_ShadeKind(int32_t type);

// The colour bits that survive a right shift by one: 0x3DEF for 5-5-5,
// 0x7BEF for 5-6-5.
extern uint16_t g_HalfMask;
void Set_HalfMask(int bits);
