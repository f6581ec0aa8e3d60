// Scene objects: the operations of the object API on node handles.  Each
// resolves its handle first and answers -1 (or 0 where it says) for a bad
// one without touching anything.
#pragma once

#include "engine3d/dqx_3d.h"

// child's parent = parent, child listed first among the parent's children
// (newest first).  A child that has a parent is detached first; -1 when the
// parent is the child or lies in the child's sub-tree.
int Attach_Obj(ObjHandle child, ObjHandle parent);
// Unlinks h from its parent's child list; 0 also when it had no parent.
int Detach_Obj(ObjHandle h);
// Sets the hidden flag; -1 for a camera node.
int Hide_Obj(ObjHandle h);
// The handle of the last of elements h + 0 .. h + count - 1 whose name
// matches (letter case ignored); 0 when none does.
ObjHandle Find_Part(ObjHandle h, const char* name);
// Hides the helper parts "$DUMMY", "Object01" and "Master" where found.
int Hide_HelperNodes(ObjHandle h);

// ---------------------------------------------------------------------------
// Placement and distance (what the collision needs of the object API).
// ---------------------------------------------------------------------------

// Copies out the position relative to the parent.
int Get_ObjPos(ObjHandle h, Vec3* v);
// Copies the position in; a camera node's view translation follows at once:
// -(view matrix x position).
int Set_ObjPos(ObjHandle h, const Vec3* v);
// The distance of two points: the square root of the squared distance in
// floating point, rounded to the nearest integer.
int32_t Get_Distance(const Vec3* a, const Vec3* b);
