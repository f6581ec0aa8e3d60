// Primitive shapes for tests and the demo set: a box room seen from inside
// with its panes (windows, grates), a door slab, a cube, a character with its
// head and hand parts, the room's collision geometry, and the demo textures,
// all drawn by code.
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

// A textured quad of its own group inside a room, seen from the room's
// centre: a translucent window laid just before a wall, a keyed grate.
struct RoomPane {
    int32_t type;
    std::string texture;
    std::array<I3, 4> corners;
};

// The height of the floor of the kit's room box, world units (y points
// down: the ceiling is above it at smaller y).
constexpr int32_t kRoomFloor = 1218;

struct RoomShape {
    I3 min{-2000, -800, -2000};
    I3 max{2000, kRoomFloor, 2000};  // y points down: the floor is at max.y
    std::string floorTexture = "floor";
    std::string wallTexture = "wall";
    // A level's large surfaces: the floor perspective-textured in the
    // face's shade (3), the walls perspective-textured with a shade per
    // corner (23); both carry corner shades of normal brightness (16) until
    // the lighting writes its own (the face shade too).
    int32_t floorType = 3;
    int32_t wallType = 23;
    std::vector<RoomPane> panes;
    // One empty part per portal, named as the portal, at its place.
    std::vector<std::pair<std::string, I3>> portals;
};

// Root "room" with a textured floor group and a textured wall group seen
// from inside, one group per pane, and the portal parts; a model for each
// texture named (floor, wall, then the panes' in order, each once).
ObjectSpec BoxRoom(const RoomShape& room);
// Floor and walls as collision faces, owned by the parts "floor" and "walls".
// With `doorway` above 0, the near and far walls leave a gap of that
// half-width, floor to ceiling, at each of the room's portals on them.
CollisionSpec RoomCollision(const RoomShape& room, int32_t doorway = 0);
// Collision fixtures: a fan of triangles on the level y = centre.y around
// the centre (every face touches it), seen from above; and the six sides of
// a solid box seen from outside, owned by the part "block".
CollisionSpec FanCollision(int faces, I3 centre, int32_t radius);
CollisionSpec SolidBoxCollision(I3 min, I3 max);
// A textured slab (wall texture, PrimType `type`), its bottom at y = 0.
ObjectSpec DoorSlab(int32_t width, int32_t height, int32_t thickness, int32_t type = 2);
// A character's shadow (".\all\ombre.3dc"): a disc of `radius`, a fan of
// 16 triangles seen from above in ShadowTexture half-blended (PrimType -3),
// lying 4 units above y = 0 so that, placed on a floor at that height, it
// is drawn over the floor instead of fighting it in the depth buffer.
ObjectSpec Shadow(int32_t radius);
// A flat-coloured cube (PrimType 1).
ObjectSpec Cube(const std::string& name, int32_t half, uint32_t colour);
// A character looks along its model's x axis: the engine turns it toward a
// point by laying that axis on the point, reports that axis as its facing
// and fires its unaimed shots along it.  Its rig is drawn looking along +z
// and turned here a quarter turn about the vertical axis: (x, y, z) becomes
// (z, y, -x) for points, tangents and the axes of rotation keys.
I3 FacingX(I3 p);
void TurnToFacingX(ObjectSpec* spec);
void TurnToFacingX(std::vector<TrackSpec>* tracks);

// Root body with the parts "tete" (head) and "repere" (hand) and the hidden
// helper "$DUMMY", looking along x; flat colours (PrimType 1).  With a skin, body and head
// are instead textured with that model (file of the same name) with a shade
// per corner (PrimType 22, drawn lit when the part has lights); the hand
// keeps its flat colour.
ObjectSpec Character(const std::string& name, uint32_t colour, const std::string& skin = "");

// The demo textures: bricks, floor tiles, a character's cloth of the given
// 565 colour, window glass in its frame (drawn half-blended), and an iron
// grate whose holes are colour index 0 (the key: pure green, so that the 3D
// layer's 16-bit key colour marks the same texels).
std::vector<uint8_t> WallTexture();
std::vector<uint8_t> FloorTexture();
std::vector<uint8_t> SkinTexture(uint16_t colour565);
std::vector<uint8_t> WindowTexture();
// The shadow's texture (".\all\ombre.3DM"): black at the middle, deep grey
// at the rim.
std::vector<uint8_t> ShadowTexture();
std::vector<uint8_t> GrateTexture();

// The fixed view of the demo room that the renderers' pictures are made
// from: room1 (".\ms22\room1.3dc") at the origin, the hero (".\all\hero.3dc")
// standing on its floor at heroAt, turned by heroTurn about the vertical
// axis (Make_EulerMatrix(0, heroTurn, 0)), and the camera at cameraFrom
// looking at cameraTo (Make_LookAt), both inside the room, so the floor and
// the side walls pass behind the camera and are cut at the near plane.
struct DemoView {
    I3 cameraFrom{-400, 700, -1850};
    I3 cameraTo{300, 900, 0};
    I3 heroAt{150, 1218, -800};
    int32_t heroTurn = 341;
    // The guard (".\all\guard.3dc") farther in, facing the hero.
    I3 guardAt{700, 1218, 600};
    int32_t guardTurn = 2389;
    // The lamp: a point light before the hero, full within lampInner,
    // fading to nothing at lampOuter (world units), lampLevel shade steps.
    I3 lampAt{-200, 200, -1300};
    int32_t lampInner = 1000, lampOuter = 8000, lampLevel = 24;
};
inline constexpr DemoView kDemoView{};

// Mission 22's rooms: 1 (the demo room: a window on the far wall beside
// its portal, a grate on the right wall) and 2 (a grate on its far wall).
RoomShape DemoRoom(int which);

// The 3D files of the demo mission, as archive members of game.res.
struct NamedFile {
    std::string name;
    std::vector<uint8_t> data;
};
std::vector<NamedFile> Demo3DFiles();

}  // namespace kit
