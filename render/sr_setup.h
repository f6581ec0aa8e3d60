// The software rasterizer's first pass, run during the scene walk: each
// object's primitive groups are set up (per face: screen gradients of the
// depth key and of the texture and shade attributes; per edge: start values
// and steps per line) and, when the walk leaves the object, its edges are
// filed into the per-line bucket tables the frame sweep reads.
//
// Faces of one group that share an edge are chained into one polygon run:
// an edge that is the right edge of one face and the left edge of the next
// carries the next face's values, so a run crossing a line is one SpanLine
// whose nodes are the edges it crosses.
#pragma once

#include "render/sr_records.h"

#include <cstdint>

// The walk's two per-object steps (the render slot and the done slot).
void SR_SetupObject(PoolRef<Obj3D> node);
void SR_BuildObjectEdges(PoolRef<Obj3D> node);

// The set-up families, by PrimType.
void SR_SetupFlat(PoolRef<PrimGroup> group, PoolRef<Obj3D> obj);
void SR_SetupAffine(PoolRef<PrimGroup> group, PoolRef<Obj3D> obj);
void SR_SetupTypeM13(PoolRef<PrimGroup> group, PoolRef<Obj3D> obj);
void SR_SetupPerspective(PoolRef<PrimGroup> group, PoolRef<Obj3D> obj);
void SR_SetupType28(PoolRef<PrimGroup> group, PoolRef<Obj3D> obj);
void SR_SetupType23(PoolRef<PrimGroup> group, PoolRef<Obj3D> obj);
void SR_SetupType30(PoolRef<PrimGroup> group, PoolRef<Obj3D> obj);

// The edge filing, by the edge group's PrimType; each files the group's
// current chain and leaves every state word 0.
void SR_EdgesFlat(PoolRef<EdgeGroup> edges);
void SR_EdgesAffine(PoolRef<EdgeGroup> edges);
void SR_EdgesPerspective(PoolRef<EdgeGroup> edges);
void SR_EdgesType23(PoolRef<EdgeGroup> edges);
void SR_EdgesType30(PoolRef<EdgeGroup> edges);

// Empties the three bucket tables, restarts the span records and fills the
// table of 1 / 2^i.
void SR_ClearBuckets();
extern float SR_InversePowers[10];

// The reduced-image level of a face from the screen gradients of its plain
// u and v (16.16 texels per pixel and per line): 0 to 6.
int SR_ChooseLevel(double dudx, double dudy, double dvdx, double dvdy);

// The texels of a group's texture (a pool offset), or 0 when its material
// names no model-bank entry with a loaded texture (such a group is not
// drawn).  `bytes` is what its sampling needs of the texel area.
uint32_t SR_GroupTexels(PoolRef<PrimGroup> group, uint32_t bytes);

// Screen x that a corner may have for the 16.16 stepping: faces reaching
// further are cut to this band first.
constexpr int32_t kGuardBand = 16383;
