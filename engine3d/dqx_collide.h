// Room collision: the current room's collision object, whose faces stand in
// the collision world while the room is current, and one probe of that
// world for sphere tests.  On top of them: pushing a sphere out of the faces
// it touches, sweeping a sphere along a path in steps, lines of sight, and
// one frame of falling.
//
// World units; the y axis points down.
#pragma once

#include "engine3d/dqx_collworld.h"

constexpr int kMaxTouchedFaces = 255;
// The height at which a falling object has reached the ground.
constexpr int32_t kGroundLevel = 1180;

// The collision block's handle, -1 when none.
extern ObjHandle g_CollisionHandle;
// The probe of the sphere tests; null when no collision object is loaded.
extern CollisionProbe* g_CollisionProbe;
// The faces the last sphere test collected (every face whose box the sphere's
// box met on all three axes).
extern PoolRef<CollisionFace> g_TouchedFaces[kMaxTouchedFaces];
extern int32_t g_TouchedFaceCount;

// Loads the room's collision object; a missing or unusable file is the fatal
// "dqx_3d.c:Collision:%s not found".  A collision object still held from
// another room is freed with its faces.  Makes the probe and puts the faces
// in the world; answers the handle.
ObjHandle Load_Collision(const char* path);
// Compacts the R&D memory, then takes the held collision object's faces out
// of the world, frees the probe and the object.
void Free_Collision();

// Pushes the centre (in and out) out of the faces the sphere touches: first
// out of the faces whose interior it touches, along their normals, then away
// from the edges and corners it touches.  Answers the number of pushes; more
// than 255 faces near the sphere is the fatal "dqx_3d.c:Trop de face!".
int Collide_Sphere(Vec3* centre, int32_t radius);
// Moves a sphere from point (in and out) to the object's position (300
// lower with mode bit 0) in equal steps of at most half the radius, testing
// after every step, the last test at the object's position; answers the
// first non-zero Collide_Sphere result with the point pushed clear, or 0
// when the way is clear (the point then at the object's position) or no
// collision object is loaded (the point left as it was).
int Sweep_Collision(ObjHandle h, Vec3* point, int mode, int32_t radius);
// 1 when no collision face cuts the segment, else 0.
int Test_LineOfSight(const Vec3* a, const Vec3* b);
// The same between the positions of the objects of two records whose first
// field is an ObjHandle (0 when either handle is bad).
int Test_CharLineOfSight(const void* c1, const void* c2);
// Walks from a towards b only: 1 when no face cuts the segment, else 0 with
// the crossing point of the first face found written to crossing.
int Find_LineCrossing(const Vec3* a, const Vec3* b, Vec3* crossing);
// One frame of falling: the object, tested as a sphere of radius 50, falls
// by the frame-tick factor x counter, swept so that it stops at the first
// face it touches (pushed clear) and at the ground level at the latest.
// Answers the new fall counter: 0 once it touches or stands at the ground
// level, else one more.
int32_t Apply_Gravity(ObjHandle h, int32_t counter);

// The render hooks' collision slots: the world is emptied when the library
// starts again, and a freed collision block's faces leave it.
void Reset_Collision();
void Remove_CollisionFaces(uint32_t block);
