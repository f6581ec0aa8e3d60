// The tendrils' drills: for each side a model (".\all\10drill.3dc" and
// ".\all\10drilb.3dc"), its sway animation (.3da) and its morph targets
// (.mor), the tendrils' shot ".\effects\tendtir.cgs", and mission 7's
// canopy: the collision faces the tendrils grow on.
#pragma once

#include "tools/kit/effect_writer.h"
#include "tools/kit/shapes.h"

#include <vector>

namespace kit {

// Side 0 green, side 1 violet.  Nodes: the stalk "drill" (root), its tip
// "tip", the marker "#base" and the key shape "~tip" (both hidden in every
// tendril).
ObjectSpec DrillModel(int side);
constexpr int32_t kDrillSwayFrames = 32;
// One track a node: the tip leans right, then left, over 32 frames.
std::vector<TrackSpec> DrillSway();
// The tip's morph: its rest shape ("~tip") at frames 1 and 32, stretched
// twice as long ("grown") at frame 16.
MorSpec DrillMorph();

// Mission 7's rooms with a canopy: a disc of 12 faces of kind 2 (owned by
// the part "canopy"), radius `radius`, at height `y` (the height the room
// model is placed at: its origin), added to a room's collision.  Tendrils
// stand within 750 units of the origin.
constexpr int32_t kCanopyRadius = 1000;
CollisionSpec WithCanopy(CollisionSpec room, int32_t radius = kCanopyRadius, int32_t y = 0);

// The six drill files and the shot's effect set.
std::vector<NamedFile> DemoDrillFiles();

}  // namespace kit
