// The 3D front end both renderers share: once a frame the scene tree is
// walked depth first from the camera node; every node's camera-space
// transform is composed from its parent's, its bounding sphere tested
// against the view volume, its vertices transformed, its back faces and
// faces outside the view removed, faces crossing the near plane clipped,
// its faces lit, its vertices projected, and the node handed to the
// renderer's per-object step (g_ObjectRenderSlot); the post-order step
// (g_ObjectDoneSlot) runs when the walk leaves a node.
//
// Results stay in the records: vertex codes and screen positions, face
// flags, each group's visible-face list, the edge groups' current chains.
// Faces, vertices, texture-coordinate pairs and edges made by the near
// clipper come from the frame arena, reset at the start of every walk.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

// Vertex code bits.
constexpr uint32_t kVtxRight = 0x01;
constexpr uint32_t kVtxLeft = 0x02;
constexpr uint32_t kVtxAbove = 0x04;
constexpr uint32_t kVtxBelow = 0x08;
constexpr uint32_t kVtxNear = 0x10;     // nearer than the near plane
constexpr uint32_t kVtxFar = 0x20;      // at or beyond the far plane
constexpr uint32_t kVtxProject = 0x40;  // projected this frame
constexpr uint32_t kVtxShared = 0x80;   // shared with child nodes (from the file)

// Face flag bits.
constexpr uint32_t kFaceHidden = 0x01;     // not drawn this frame
constexpr uint32_t kFaceClipped = 0x02;    // replaced by its near-clipped pieces
constexpr uint32_t kFaceCameraTest = 0x08; // facing tested in camera space (from the file)

// The clipping families of PrimTypes: what a face of the type carries.
enum class PrimFamily {
    None,         // no defined form: a crossing face is only marked
    Flat,         // corners only
    Affine,       // texture coordinates
    Perspective,  // texture coordinates
    Smooth,       // texture coordinates and corner normals
    Smooth2,      // the same, with the longest edge records
};
PrimFamily Prim_Family(int32_t type);
// Types whose texture coordinates the environment mapping rewrites.
bool Prim_IsEnvMapped(int32_t type);

// The walk below a root node (the scene root in the program); 0.
int Walk_Scene(PoolRef<Obj3D> root);
void Process_Object(PoolRef<Obj3D> node);
void Cull_ObjectBounds(PoolRef<Obj3D> node);
void Transform_Vertices(PoolRef<Obj3D> node);
void Transform_SharedVertices(PoolRef<Obj3D> parent);
void Compute_EyeDots(PoolRef<Obj3D> node);
void Cull_Faces(PoolRef<Obj3D> node);
void Clip_FaceNear(PoolRef<PrimGroup> group, PoolRef<Obj3D> node, PoolRef<PrimFace> face);
// A new vertex on the near plane between front vertex v and behind vertex w.
PoolRef<ObjVertex> Clip_NearVertex(PoolRef<ObjVertex> v, PoolRef<ObjVertex> w);
void Project_Vertices(PoolRef<Obj3D> node);
void Map_Environment(PoolRef<Obj3D> node);

// The world boxes of every node below the scene root; 0.
int Project_SceneBoxes();
// Step 1 of the per-node work only: the camera-space transform.
void Compose_Transform(PoolRef<Obj3D> node);
// The transform-only walk from a node through every node that follows it
// in the tree; -1 for a bad handle.
int Update_SubtreeTransforms(ObjHandle h);

// The eye position in a node's own space.
Vec3 Node_EyePosition(const Mat3& camMatrix, const Vec3& camPos);

// The collect mode's per-object step: each visible triangle's screen
// corners, their vertex flags, an index triple and the face flags go to
// flat arrays (kCollectTriangles at most; further triangles are dropped).
constexpr int kCollectTriangles = 4096;
struct CollectedTriangles {
    int32_t count;
    int32_t screen[kCollectTriangles * 3][2];
    uint32_t vertexFlags[kCollectTriangles * 3];
    int32_t indices[kCollectTriangles][3];
    uint32_t triangleFlags[kCollectTriangles];
};
extern CollectedTriangles g_Collected;
void SR_CollectTriangles(PoolRef<Obj3D> node);

// Routines the program carries without calling them: a walk over a node's
// vertices that does nothing; texture coordinates of the environment-mapped
// types from the corners' screen positions; and the screen positions of a
// source node's vertices 0, 2, 3 and 0, 3, 1 (shifted left by 16) written
// into a target node's first six texture-coordinate pairs (-1 for a bad
// handle).
void Visit_Vertices(PoolRef<Obj3D> node);
void Map_ScreenCoordinates(PoolRef<Obj3D> node);
int Copy_ScreenCoordinates(ObjHandle target, ObjHandle source);
