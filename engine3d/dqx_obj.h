// Scene objects: the operations of the object API on node handles.  Game
// code holds handles and places, orients, attaches, shows, hides, recolours
// and queries nodes only through these.  Each resolves its handle first and
// answers -1 (or the null answer it names) for a bad one without touching
// anything.  Vectors and matrices are copied in and out, never referenced.
#pragma once

#include "engine3d/dqx_3d.h"

// ---------------------------------------------------------------------------
// Tree and flags (0, or -1 for a bad handle)
// ---------------------------------------------------------------------------

// child's parent = parent, child listed first among the parent's children
// (newest first).  A child that has a parent is detached first; -1 when the
// parent is the child or lies in the child's sub-tree.
int Attach_Obj(ObjHandle child, ObjHandle parent);
// Unlinks h from its parent's child list; 0 also when it had no parent.
int Detach_Obj(ObjHandle h);
int Disable_Obj(ObjHandle h);
int Enable_Obj(ObjHandle h);
// Hidden nodes are transformed but not drawn; -1 for a camera node.
int Hide_Obj(ObjHandle h);
int Show_Obj(ObjHandle h);
// 1 when the node's sphere crossed the near or far plane in the last walk.
int Test_ObjMarker(ObjHandle h);
// No far cut: the far plane neither rejects the node nor marks its vertices.
int Set_ObjMarker7(ObjHandle h);
int Clear_ObjMarker7(ObjHandle h);
// Environment mapping (on == 1), and keeping the node from the renderer.
int Set_ObjListPass(ObjHandle h, int on);
int Set_ObjNoRender(ObjHandle h, int on);
// Disabled and hidden; nothing for the camera.
int Remove_Object(ObjHandle h);
// Enabled and shown, the helper parts hidden again.
int Restore_Object(ObjHandle h);
// Hides the helper parts "$DUMMY", "Object01" and "Master" where found.
int Hide_HelperNodes(ObjHandle h);

// ---------------------------------------------------------------------------
// Names and parts
// ---------------------------------------------------------------------------

// The node's name (in the pool: copy it before the next compaction), or
// "Bad_Handle!".
const char* Get_ObjName(ObjHandle h);
// The element count of the handle's block; -1 for a bad handle.
int Get_PartCount(ObjHandle h);
// The handle of the last of elements h + 0 .. h + count - 1 whose name
// matches (letter case ignored); -1 when none does (never 0, which is the
// camera) or for a bad handle.
ObjHandle Find_Part(ObjHandle h, const char* name);

// ---------------------------------------------------------------------------
// Placement.  A camera node's view transform (its camera-space matrix and
// position) is kept in step with its placement at every change.
// ---------------------------------------------------------------------------

int Get_ObjPos(ObjHandle h, Vec3* v);
int Get_ObjMatrix(ObjHandle h, Mat3* m);
int Set_ObjPos(ObjHandle h, const Vec3* v);
int Set_ObjMatrix(ObjHandle h, const Mat3* m);
int Get_ObjCamPos(ObjHandle h, Vec3* v);
int Get_ObjCamMatrix(ObjHandle h, Mat3* m);
// Places the node so that its camera-space matrix (position) becomes m (v)
// under its parent's last transform; nothing for a camera node.
int Set_ObjCamMatrix(ObjHandle h, const Mat3* m);
int Set_ObjCamPos(ObjHandle h, const Vec3* v);
// World placement from the last walk's camera-space transform (a camera
// node: its own placement); the *From forms take camera node c.
int Get_ObjWorldMatrix(ObjHandle h, Mat3* m);
int Get_ObjWorldPos(ObjHandle h, Vec3* v);
int Get_ObjWorldMatrixFrom(ObjHandle c, ObjHandle h, Mat3* m);
int Get_ObjWorldPosFrom(ObjHandle c, ObjHandle h, Vec3* v);
// Reflection in the plane through the node's position whose normal is its
// forward axis (third column); products rounded toward zero.
int Mirror_Point(ObjHandle h, const Vec3* p, Vec3* out);
// The same reflection of the three rows of m, taken as directions.
int Mirror_Matrix(ObjHandle h, const Mat3* m, Mat3* out);

// ---------------------------------------------------------------------------
// Vertices and bounds
// ---------------------------------------------------------------------------

int Get_VertexCount(ObjHandle h);
// -1 also for n outside the node's vertices.
int Get_VertexPos(ObjHandle h, int n, Vec3* v);
int Set_VertexPos(ObjHandle h, int n, const Vec3* v);
// All positions to or from an array of Get_VertexCount entries.
int Get_Vertices(ObjHandle h, Vec3* array);
int Set_Vertices(ObjHandle h, const Vec3* array);
int Get_ObjBounds(ObjHandle h, Vec3* v, int32_t* r);
// After vertices moved: every face normal of the set-up groups again from
// its corners (Newell's method, Q15), with its plane distance.
int Update_Normals(ObjHandle h);
// Sets face bit 3 (facing tested in camera space) on every face of the
// node's set-up groups.
int Mark_ObjFaces(ObjHandle h);

// ---------------------------------------------------------------------------
// Primitive types, opacity, textures
// ---------------------------------------------------------------------------

// Every group of both lists of every element of h's block.
int Replace_PrimType(ObjHandle h, int32_t from, int32_t to);
// The set-up groups of h and its sub-tree, and h's own edge groups.
int Replace_TreePrimType(ObjHandle h, int32_t from, int32_t to);
// Every group of both lists of h and its sub-tree.
int Set_TreePrimType(ObjHandle h, int32_t type);
// v clamped to 0..255; below 255 the see-through forms and the level.
int Set_ObjOpacity(ObjHandle h, int32_t v);
// Every element of h's block gets the translucency word w & 0x1F1F.
int Set_ObjTranslucency(ObjHandle h, uint32_t w);
// Presets nothing calls: types -3 and 2 never drawn (-22); type 2 flat (1).
int Set_ObjNeverDrawn(ObjHandle h);
int Set_ObjFlatShaded(ObjHandle h);
// Set-up groups drawing the bank entry named `from` take the one named `to`:
// over h and its sub-tree, or over every element of h's block.
int Replace_Texture(ObjHandle h, const char* from, const char* to);
int Replace_BlockTexture(ObjHandle h, const char* from, const char* to);

// ---------------------------------------------------------------------------
// Copies and debugging
// ---------------------------------------------------------------------------

constexpr int kCopyKeepMatrix = 1;  // flags bit 0: the orientation stays
constexpr int kCopyKeepPos = 2;     // flags bit 1: the position stays
// dst draws like src: vertex, auxiliary and primitive-list fields, bounds,
// render word and translucency word (and the placement unless kept).
int Copy_ObjShape(ObjHandle dst, ObjHandle src, int flags);
// callback(record, byte offset) for each 8-byte record of the node.
int For_EachObjRecord(ObjHandle h, void (*callback)(PoolRef<UvPair> record, uint32_t offset));
// The options menu's 3D option hook: does nothing.
int Stub_3DOption(int v);

// ---------------------------------------------------------------------------
// Geometry of characters (records whose first field is an ObjHandle, whose
// own position and orientation copies EngineServices reach) and points.
// ---------------------------------------------------------------------------

// Sum of the squared differences, each shifted right by 15.
int32_t Get_Dist2(const Vec3* a, const Vec3* b);
int32_t Get_Distance(const Vec3* a, const Vec3* b);
int32_t Get_CharDelta(const void* a, const void* b, Vec3* v);
int32_t Get_CharDist2(const void* a, const void* b);
void Get_UnitVector(const Vec3* v, Vec3* out);
// Forward (the normalised direction), up and side as the columns of m
// (forward = third column).
void Make_LookMatrix(const Vec3* direction, Mat3* m);
void Make_LookAt(const Vec3* from, const Vec3* to, Mat3* m);
// (x, y, z) -> (-z, y, x): a quarter turn about the vertical axis.
void Perp_VectorXZ(const Vec3* v, Vec3* out);
// Turns the character's orientation copy toward p in the horizontal plane
// at once; the squared horizontal distance.
int32_t Turn_CharTowards(void* character, const Vec3* p);
// The game's turning: gradual through the enemy manager while it is
// enabled, else at once; the squared horizontal distance.
int32_t Face_Point(void* character, const Vec3* p);
// Cosine (16384 = 1.0) between the third row of the node's orientation
// and the direction to p; -1 for a bad handle.
int32_t Get_FacingCos(ObjHandle h, const Vec3* p);
int32_t Get_FacingCosXZ(void* character, const Vec3* p);
// v / d per component, 1; 0 (v unchanged) for d = 0.
int Div_Vector(Vec3* v, int32_t d);
void Add_VectorTo(Vec3* v, const Vec3* w);
