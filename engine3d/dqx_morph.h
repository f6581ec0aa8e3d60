// Morph targets: a .mor file holds key shapes (targets) and, per deformed
// part (group), keys saying which target the part reaches at which frame.
// Applying a morph at a frame moves the bound parts' vertices between the
// shapes of the keys around it.  The hero's two hand morphs also fade the
// hero's object in and out by frame.
//
// Records live on the MemoryManager's heap; a part is bound by its element
// index, so a morph loaded for one object applies to any copy of it.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

constexpr uint32_t kMorphNameSize = 16;
// Two points correspond when every coordinate differs by less than this.
constexpr int32_t kMorphMatchDistance = 10;

struct MorphTarget {
    char name[kMorphNameSize];  // zero-ended
    int32_t pointCount;
    Vec3* points;
};

struct MorphKey {
    int32_t frame;
    int32_t target;  // index into the targets, -1 when the name matched none
};

struct MorphGroup {
    int32_t keyCount;
    int32_t part;          // element index of the part of the same name, -1 when none
    int32_t vertexCount;   // the part's, when the file was read
    Vec3* base;            // the part's vertices when the file was read
    Vec3 offset;           // target space minus part space
    int32_t* map;          // per part vertex: the target point it follows
    int32_t matched;       // the "~" correspondence has been set up
    MorphKey* keys;
};

struct MorphRec {
    char file[64];  // the name the morph was loaded by, as the game wrote it
    int32_t groupCount;
    int32_t targetCount;
    MorphTarget* targets;
    MorphGroup* groups;
};

// Reads a .mor file for an object; null after "Morph: %s not found." when
// the file does not exist, and after "Morph: %s corrupt." when its counts
// lead past its end.  keepOffset 0 takes the target-to-part offset from the
// object's part named as the "~" target.
MorphRec* Load_Morph(const char* path, ObjHandle object, int32_t keepOffset);
// Sets the bound parts' vertices to the shapes of the frame and recomputes
// their normals; nothing for a null morph, one without groups, or frame 0.
void Apply_Morph(MorphRec* morph, ObjHandle object, int32_t frame);
// Per group of morphA: the part at morphA's frameA (A) and at morphB's
// frameB (B), then A + (B - A) x weight / 255; weight 0 gives A, 255 gives B.
void Apply_MorphBlend(MorphRec* morphA, MorphRec* morphB, ObjHandle object, int32_t frameA, int32_t frameB,
                      int32_t weight);
// Per group: the part at the frame's shape (as Apply_Morph) blended toward
// its rest shape, the vertices it had when the file was read: weight 0
// gives the frame's shape, 255 the rest shape; frame 0 starts from the
// shape the part has.  Nothing for a null morph or one without groups.
void Apply_MorphRest(MorphRec* morph, ObjHandle object, int32_t frame, int32_t weight);
// 0 for null, else 1 after freeing the record and its buffers.
int Free_Morph(MorphRec* morph);

// The hero's opacity the morph gives at a frame (the hand morphs fade the
// hero out over frames 4 to 11); -1 for the hero's own value.
int32_t Morph_HeroOpacity(const MorphRec* morph, int32_t frame);
