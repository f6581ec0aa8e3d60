// Primitive shapes for tests and the demo set: a box room seen from inside,
// a door slab, a cube, a character with its head and hand parts, the room's
// collision geometry, and the two demo textures, all drawn by code.
#pragma once

#include "tools/kit/f3dc_writer.h"

#include <string>
#include <utility>
#include <vector>

namespace kit {

// Adds a quad (two faces) with four new vertices to a node's group, wound so
// that the faces are seen from the `facing` point; textured groups get the
// whole texture (0..255 in 16.16) across the quad.
void AddQuad(NodeSpec* node, int group, const std::array<I3, 4>& corners, I3 facing);
// The six sides of an axis-aligned box, seen from outside.
void AddBox(NodeSpec* node, int group, I3 min, I3 max);

struct RoomShape {
    I3 min{-2000, -800, -2000};
    I3 max{2000, 1218, 2000};  // y points down: the floor is at max.y
    std::string floorTexture = "floor";
    std::string wallTexture = "wall";
    // One empty part per portal, named as the portal, at its place.
    std::vector<std::pair<std::string, I3>> portals;
};

// Root "room" with a textured floor group and a textured wall group seen
// from inside (PrimType 2), and the portal parts; models floor and wall.
ObjectSpec BoxRoom(const RoomShape& room);
// Floor and walls as collision faces, owned by the parts "floor" and "walls".
CollisionSpec RoomCollision(const RoomShape& room);
// Collision fixtures: a fan of triangles on the level y = centre.y around
// the centre (every face touches it), seen from above; and the six sides of
// a solid box seen from outside, owned by the part "block".
CollisionSpec FanCollision(int faces, I3 centre, int32_t radius);
CollisionSpec SolidBoxCollision(I3 min, I3 max);
// A textured slab (wall texture), its bottom at y = 0.
ObjectSpec DoorSlab(int32_t width, int32_t height, int32_t thickness);
// A flat-coloured cube (PrimType 1).
ObjectSpec Cube(const std::string& name, int32_t half, uint32_t colour);
// Root body with the parts "tete" (head) and "repere" (hand) and the hidden
// helper "$DUMMY"; flat colours.
ObjectSpec Character(const std::string& name, uint32_t colour);

// The demo textures: bricks and floor tiles.
std::vector<uint8_t> WallTexture();
std::vector<uint8_t> FloorTexture();

// The 3D files of the demo mission, as archive members of game.res.
struct NamedFile {
    std::string name;
    std::vector<uint8_t> data;
};
std::vector<NamedFile> Demo3DFiles();

}  // namespace kit
