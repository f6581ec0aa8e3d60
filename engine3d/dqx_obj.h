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
