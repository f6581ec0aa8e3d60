// Primitive shapes and the demo 3D files.
#include "tools/kit/shapes.h"

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

int64_t Dot(I3 a, I3 b) {
    return int64_t(a.x) * b.x + int64_t(a.y) * b.y + int64_t(a.z) * b.z;
}

I3 Sub(I3 a, I3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

I3 CrossI(I3 a, I3 b) {
    // Scaled down first: the demo's coordinates stay far below the limits.
    return {int32_t((int64_t(a.y) * b.z - int64_t(a.z) * b.y) >> 8),
            int32_t((int64_t(a.z) * b.x - int64_t(a.x) * b.z) >> 8),
            int32_t((int64_t(a.x) * b.y - int64_t(a.y) * b.x) >> 8)};
}

// True when the triangle p0 p1 p2 faces the point.
bool Faces(I3 p0, I3 p1, I3 p2, I3 point) {
    return Dot(CrossI(Sub(p1, p0), Sub(p2, p0)), Sub(point, p0)) > 0;
}

constexpr int32_t kTexEnd = 255 << 16;

}  // namespace

void AddQuad(NodeSpec* node, int group, const std::array<I3, 4>& corners, I3 facing) {
    std::array<I3, 4> c = corners;
    std::array<std::array<int32_t, 2>, 4> uv = {{{0, 0}, {kTexEnd, 0}, {kTexEnd, kTexEnd}, {0, kTexEnd}}};
    if (!Faces(c[0], c[1], c[2], facing)) {
        std::swap(c[1], c[3]);
        std::swap(uv[1], uv[3]);
    }
    int v0 = int(node->vertices.size()), t0 = int(node->uvs.size());
    for (int i = 0; i < 4; ++i) {
        node->vertices.push_back(c[size_t(i)]);
        node->uvs.push_back(uv[size_t(i)]);
    }
    GroupSpec& g = node->groups.at(size_t(group));
    FaceSpec a{{v0, v0 + 1, v0 + 2}, {t0, t0 + 1, t0 + 2}, 20};
    FaceSpec b{{v0, v0 + 2, v0 + 3}, {t0, t0 + 2, t0 + 3}, 20};
    g.faces.push_back(a);
    g.faces.push_back(b);
}

void AddBox(NodeSpec* node, int group, I3 lo, I3 hi) {
    I3 centre{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
    auto outside = [&](I3 p) { return I3{p.x + (p.x - centre.x) * 4, p.y + (p.y - centre.y) * 4, p.z + (p.z - centre.z) * 4}; };
    // Each side is seen from a point beyond it.
    AddQuad(node, group, {{{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}}}, outside({centre.x, centre.y, lo.z}));
    AddQuad(node, group, {{{lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}}}, outside({centre.x, centre.y, hi.z}));
    AddQuad(node, group, {{{lo.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z}}}, outside({lo.x, centre.y, centre.z}));
    AddQuad(node, group, {{{hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}}}, outside({hi.x, centre.y, centre.z}));
    AddQuad(node, group, {{{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}}}, outside({centre.x, lo.y, centre.z}));
    AddQuad(node, group, {{{lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}}}, outside({centre.x, hi.y, centre.z}));
}

namespace {

// Floor and the four walls of a room, as quads seen from its centre.
std::vector<std::array<I3, 4>> RoomQuads(const RoomShape& r, std::vector<int>* isFloor) {
    I3 a = r.min, b = r.max;
    std::vector<std::array<I3, 4>> quads = {
        {{{a.x, b.y, a.z}, {b.x, b.y, a.z}, {b.x, b.y, b.z}, {a.x, b.y, b.z}}},  // floor
        {{{a.x, a.y, a.z}, {b.x, a.y, a.z}, {b.x, b.y, a.z}, {a.x, b.y, a.z}}},
        {{{a.x, a.y, b.z}, {b.x, a.y, b.z}, {b.x, b.y, b.z}, {a.x, b.y, b.z}}},
        {{{a.x, a.y, a.z}, {a.x, b.y, a.z}, {a.x, b.y, b.z}, {a.x, a.y, b.z}}},
        {{{b.x, a.y, a.z}, {b.x, b.y, a.z}, {b.x, b.y, b.z}, {b.x, a.y, b.z}}},
    };
    if (isFloor) *isFloor = {1, 0, 0, 0, 0};
    return quads;
}

I3 Centre(const RoomShape& r) {
    return {(r.min.x + r.max.x) / 2, (r.min.y + r.max.y) / 2, (r.min.z + r.max.z) / 2};
}

}  // namespace

namespace {

// Face and corner shades of normal brightness (shade row 15, the
// texture's own colours) on every face of the group: the renderers read
// them as stored where the lighting writes none (the face shade of the
// types shaded per corner, every shade of an unlit object).
void NormalCornerShades(GroupSpec* g) {
    for (FaceSpec& f : g->faces) f.shade = f.cornerShade[0] = f.cornerShade[1] = f.cornerShade[2] = 16;
}

void AddModel(ObjectSpec* spec, const std::string& texture) {
    for (const ModelSpec& m : spec->models)
        if (m.name == texture) return;
    spec->models.push_back({texture, texture});
}

}  // namespace

ObjectSpec BoxRoom(const RoomShape& room) {
    ObjectSpec spec;
    NodeSpec root;
    root.name = "room";
    root.groups = {{room.floorType, room.floorTexture, 0, {}}, {room.wallType, room.wallTexture, 0, {}}};
    std::vector<int> isFloor;
    std::vector<std::array<I3, 4>> quads = RoomQuads(room, &isFloor);
    for (size_t i = 0; i < quads.size(); ++i) AddQuad(&root, isFloor[i] ? 0 : 1, quads[i], Centre(room));
    for (const RoomPane& pane : room.panes) {
        root.groups.push_back({pane.type, pane.texture, 0, {}});
        AddQuad(&root, int(root.groups.size()) - 1, pane.corners, Centre(room));
    }
    for (GroupSpec& g : root.groups) NormalCornerShades(&g);
    spec.nodes.push_back(root);
    for (const auto& portal : room.portals) {
        NodeSpec part;
        part.name = portal.first;
        part.parent = 0;
        part.pos = portal.second;
        spec.nodes.push_back(part);
    }
    AddModel(&spec, room.floorTexture);
    AddModel(&spec, room.wallTexture);
    for (const RoomPane& pane : room.panes) AddModel(&spec, pane.texture);
    return spec;
}

namespace {

// The near and far walls (quads 1 and 2) split around each portal that
// stands on them: a gap `halfWidth` either side of the portal's x, floor to
// ceiling.
void CutDoorways(const RoomShape& room, int32_t halfWidth, std::vector<std::array<I3, 4>>* quads,
                 std::vector<int>* isFloor) {
    for (const auto& portal : room.portals) {
        const I3& at = portal.second;
        for (size_t i = 1; i <= 2 && i < quads->size(); ++i) {
            std::array<I3, 4> q = (*quads)[i];
            if (q[0].z != at.z || q[2].z != at.z) continue;
            const int32_t lo = std::min(q[0].x, q[1].x), hi = std::max(q[0].x, q[1].x);
            const int32_t left = std::max(lo, at.x - halfWidth), right = std::min(hi, at.x + halfWidth);
            if (left >= right) continue;
            const int32_t top = q[0].y, bottom = q[2].y;
            (*quads)[i] = {{{lo, top, at.z}, {left, top, at.z}, {left, bottom, at.z}, {lo, bottom, at.z}}};
            quads->push_back({{{right, top, at.z}, {hi, top, at.z}, {hi, bottom, at.z}, {right, bottom, at.z}}});
            isFloor->push_back(0);
        }
    }
}

}  // namespace

CollisionSpec RoomCollision(const RoomShape& room, int32_t doorway) {
    CollisionSpec spec;
    spec.parts = {"floor", "walls"};
    std::vector<int> isFloor;
    I3 centre = Centre(room);
    std::vector<std::array<I3, 4>> quads = RoomQuads(room, &isFloor);
    if (doorway > 0) CutDoorways(room, doorway, &quads, &isFloor);
    for (size_t i = 0; i < quads.size(); ++i) {
        int part = isFloor[i] ? 0 : 1;
        std::array<I3, 4> c = quads[i];
        if (!Faces(c[0], c[1], c[2], centre)) std::swap(c[1], c[3]);
        int v0 = int(spec.vertices.size());
        for (const I3& p : c) spec.vertices.push_back(p);
        spec.faces.push_back({{v0, v0 + 1, v0 + 2}, part, part});
        spec.faces.push_back({{v0, v0 + 2, v0 + 3}, part, part});
    }
    return spec;
}

CollisionSpec FanCollision(int faces, I3 centre, int32_t radius) {
    CollisionSpec spec;
    spec.parts = {"fan"};
    spec.vertices.push_back(centre);
    for (int i = 0; i < faces; ++i) {
        double a = 2 * 3.14159265358979 * i / faces;
        spec.vertices.push_back({centre.x + int32_t(std::lround(radius * std::cos(a))), centre.y,
                                 centre.z + int32_t(std::lround(radius * std::sin(a)))});
    }
    // Wound so that the faces' normals point up (-y).
    I3 above{centre.x, centre.y - 1000, centre.z};
    for (int i = 0; i < faces; ++i) {
        std::array<I3, 4> c{spec.vertices[0], spec.vertices[size_t(1 + i)], spec.vertices[size_t(1 + (i + 1) % faces)]};
        CollisionFaceSpec f{{0, 1 + i, 1 + (i + 1) % faces}, 0, 0};
        if (!Faces(c[0], c[1], c[2], above)) std::swap(f.v[1], f.v[2]);
        spec.faces.push_back(f);
    }
    return spec;
}

CollisionSpec SolidBoxCollision(I3 lo, I3 hi) {
    CollisionSpec spec;
    spec.parts = {"block"};
    I3 centre{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
    std::vector<std::array<I3, 4>> quads = {
        {{{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}}},
        {{{lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}}},
        {{{lo.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z}}},
        {{{hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}}},
        {{{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}}},
        {{{lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}}},
    };
    for (std::array<I3, 4> c : quads) {
        // Seen from outside: wound away from the centre.
        if (Faces(c[0], c[1], c[2], centre)) std::swap(c[1], c[3]);
        int v0 = int(spec.vertices.size());
        for (const I3& p : c) spec.vertices.push_back(p);
        spec.faces.push_back({{v0, v0 + 1, v0 + 2}, 0, 0});
        spec.faces.push_back({{v0, v0 + 2, v0 + 3}, 0, 0});
    }
    return spec;
}

ObjectSpec DoorSlab(int32_t width, int32_t height, int32_t thickness, int32_t type) {
    ObjectSpec spec;
    NodeSpec slab;
    slab.name = "door";
    slab.groups = {{type, "wall", 0, {}}};
    AddBox(&slab, 0, {-width / 2, -height, -thickness / 2}, {width / 2, 0, thickness / 2});
    NormalCornerShades(&slab.groups[0]);
    spec.nodes.push_back(slab);
    spec.models = {{"wall", "wall"}};
    return spec;
}

ObjectSpec Cube(const std::string& name, int32_t half, uint32_t colour) {
    ObjectSpec spec;
    NodeSpec cube;
    cube.name = name;
    cube.groups = {{1, "", colour, {}}};
    AddBox(&cube, 0, {-half, -half, -half}, {half, half, half});
    spec.nodes.push_back(cube);
    return spec;
}

I3 FacingX(I3 p) {
    return {p.z, p.y, -p.x};
}

void TurnToFacingX(ObjectSpec* spec) {
    for (NodeSpec& n : spec->nodes) {
        n.pos = FacingX(n.pos);
        for (I3& v : n.vertices) v = FacingX(v);
    }
}

void TurnToFacingX(std::vector<TrackSpec>* tracks) {
    // A rotation about axis a becomes the same rotation about the turned a.
    auto turn = [](std::array<int32_t, 4>& q) {
        const I3 axis = FacingX({q[0], q[1], q[2]});
        q = {axis.x, axis.y, axis.z, q[3]};
    };
    for (TrackSpec& t : *tracks) {
        for (RotationKey& k : t.rotations) turn(k.q), turn(k.control);
        for (PositionKey& k : t.positions) k.p = FacingX(k.p), k.in = FacingX(k.in), k.out = FacingX(k.out);
    }
}

ObjectSpec Character(const std::string& name, uint32_t colour, const std::string& skin) {
    ObjectSpec spec;
    // A skin makes body and head lit, textured faces with a shade per corner.
    GroupSpec bodyGroup{1, "", colour, {}}, headGroup{1, "", colour ^ 0x7BEF, {}};
    if (!skin.empty()) {
        bodyGroup = {22, skin, colour, {}};
        headGroup = {22, skin, colour ^ 0x7BEF, {}};
        spec.models = {{skin, skin}};
    }
    NodeSpec body;
    body.name = name;
    body.groups = {bodyGroup};
    AddBox(&body, 0, {-60, -300, -40}, {60, 0, 40});
    NodeSpec head;
    head.name = "tete";
    head.parent = 0;
    head.pos = {0, -300, 0};
    head.groups = {headGroup};
    AddBox(&head, 0, {-35, -80, -35}, {35, 0, 35});
    if (!skin.empty()) NormalCornerShades(&body.groups[0]), NormalCornerShades(&head.groups[0]);
    NodeSpec hand;
    hand.name = "repere";
    hand.parent = 0;
    hand.pos = {80, -160, 0};
    hand.groups = {{1, "", 0xFFE0, {}}};
    AddBox(&hand, 0, {-12, -12, -12}, {12, 12, 12});
    NodeSpec helper;
    helper.name = "$DUMMY";
    helper.parent = 0;
    spec.nodes = {body, head, hand, helper};
    TurnToFacingX(&spec);
    return spec;
}

namespace {

std::array<Rgb, 256> Ramp(Rgb dark, Rgb light) {
    std::array<Rgb, 256> p{};
    for (int i = 0; i < 256; ++i)
        p[size_t(i)] = {uint8_t(dark.r + (light.r - dark.r) * i / 255), uint8_t(dark.g + (light.g - dark.g) * i / 255),
                        uint8_t(dark.b + (light.b - dark.b) * i / 255)};
    return p;
}

// A small fixed hash: the same grain on every build.
uint32_t Grain(uint32_t x, uint32_t y) {
    uint32_t h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

}  // namespace

std::vector<uint8_t> WallTexture() {
    std::vector<uint8_t> texels(65536);
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            uint32_t row = y / 32, shift = (row & 1) ? 32 : 0;
            bool mortar = (y % 32) < 3 || ((x + shift) % 64) < 3;
            int v = mortar ? 30 : 150 + int(Grain(x, y) % 60) - int(((x + shift) / 64 + row) % 3) * 20;
            texels[y * 256 + x] = uint8_t(std::max(0, std::min(255, v)));
        }
    return BuildTexture(Ramp({40, 20, 15}, {220, 120, 90}), texels);
}

std::vector<uint8_t> FloorTexture() {
    std::vector<uint8_t> texels(65536);
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            bool dark = ((x / 64) + (y / 64)) & 1;
            bool joint = (x % 64) < 2 || (y % 64) < 2;
            int v = joint ? 10 : (dark ? 90 : 190) + int(Grain(x, y) % 40);
            texels[y * 256 + x] = uint8_t(std::min(255, v));
        }
    return BuildTexture(Ramp({20, 25, 30}, {200, 200, 190}), texels);
}

std::vector<uint8_t> SkinTexture(uint16_t colour565) {
    Rgb base{uint8_t((colour565 >> 11) << 3), uint8_t(((colour565 >> 5) & 63) << 2), uint8_t((colour565 & 31) << 3)};
    Rgb dark{uint8_t(base.r / 4 + 10), uint8_t(base.g / 4 + 10), uint8_t(base.b / 4 + 10)};
    std::vector<uint8_t> texels(65536);
    // Woven cloth: a grain over ribs every 16 texels, with a seam down the
    // middle of each side.
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            bool seam = (x % 128) < 4;
            int v = seam ? 40 : 170 + int(Grain(x, y) % 50) - ((y % 16) < 3 ? 60 : 0);
            texels[y * 256 + x] = uint8_t(std::max(0, std::min(255, v)));
        }
    return BuildTexture(Ramp(dark, base), texels);
}

std::vector<uint8_t> ShadowTexture() {
    // Black at the middle, a deep grey toward the rim: half-blended over the
    // floor it halves the floor's light under the feet and a little less at
    // the edge.
    std::vector<uint8_t> texels(65536);
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            const int32_t dx = x - 128, dy = y - 128;
            const int32_t d = int32_t(std::lround(std::sqrt(double(dx * dx + dy * dy))));
            texels[size_t(y * 256 + x)] = uint8_t(std::min(255, d * 2));
        }
    return BuildTexture(Ramp({0, 0, 0}, {40, 40, 40}), texels);
}

std::vector<uint8_t> WindowTexture() {
    // Index 0-199 glass from deep to pale blue, 200-255 the dark frame.
    std::array<Rgb, 256> palette = Ramp({30, 60, 110}, {170, 210, 240});
    for (int i = 200; i < 256; ++i) palette[size_t(i)] = {60, 40, 25};
    std::vector<uint8_t> texels(65536);
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            bool frame = x < 16 || x >= 240 || y < 16 || y >= 240 || (x >= 120 && x < 136) || (y >= 120 && y < 136);
            // Glass brighter toward one corner, with a faint streak.
            int v = int(x + y) * 150 / 510 + 30 + ((x + 2 * y) % 64 < 6 ? 30 : 0);
            texels[y * 256 + x] = frame ? uint8_t(220) : uint8_t(std::min(199, v));
        }
    return BuildTexture(palette, texels);
}

std::vector<uint8_t> GrateTexture() {
    std::array<Rgb, 256> palette = Ramp({25, 25, 30}, {150, 150, 160});
    palette[0] = {0, 255, 0};  // the key colour: never drawn
    std::vector<uint8_t> texels(65536);
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            bool bar = (x % 32) < 8 || (y % 64) < 8 || x >= 248 || y >= 248;
            texels[y * 256 + x] = bar ? uint8_t(60 + Grain(x, y) % 120 + ((x % 32) < 3 ? 60 : 0)) : uint8_t(0);
        }
    return BuildTexture(palette, texels);
}

RoomShape DemoRoom(int which) {
    RoomShape room;
    if (which == 1) {
        room.portals = {{"door12", {0, 800, 2000}}};
        // Half-blended glass just before the far wall, right of the portal;
        // a keyed grate just before the right wall.
        room.panes = {{-3, "window", {{{500, 0, 1980}, {1400, 0, 1980}, {1400, 700, 1980}, {500, 700, 1980}}}},
                      {-6, "grate", {{{1980, 300, 0}, {1980, 300, 1000}, {1980, 1100, 1000}, {1980, 1100, 0}}}}};
    } else {
        room.portals = {{"door21", {0, 800, -2000}}};
        room.panes = {{-6, "grate", {{{-600, 400, 1980}, {600, 400, 1980}, {600, 1150, 1980}, {-600, 1150, 1980}}}}};
    }
    return room;
}

ObjectSpec Shadow(int32_t radius) {
    constexpr int kSides = 16;
    constexpr int32_t kLift = -4;  // y points down: 4 units above the floor
    ObjectSpec spec;
    NodeSpec root;
    root.name = "ombre";
    // Half-blended with what lies under it, so the floor shows through
    // darkened; a flat-coloured face would take a colour of its own per face
    // while its node is unlit.
    root.groups = {{-3, "ombre", 0, {}}};
    spec.models = {{"ombre", "ombre"}};
    const I3 above{0, -1000, 0};
    root.vertices.push_back({0, kLift, 0});
    root.uvs.push_back({kTexEnd / 2, kTexEnd / 2});
    for (int i = 0; i < kSides; ++i) {
        double a = 2.0 * 3.14159265358979323846 * i / kSides;
        int32_t x = int32_t(std::lround(radius * std::cos(a))), z = int32_t(std::lround(radius * std::sin(a)));
        root.vertices.push_back({x, kLift, z});
        root.uvs.push_back({int32_t(kTexEnd / 2 + int64_t(kTexEnd / 2) * x / radius),
                            int32_t(kTexEnd / 2 + int64_t(kTexEnd / 2) * z / radius)});
    }
    for (int i = 0; i < kSides; ++i) {
        int a = 1 + i, b = 1 + (i + 1) % kSides;
        if (!Faces(root.vertices[0], root.vertices[size_t(a)], root.vertices[size_t(b)], above)) std::swap(a, b);
        root.groups[0].faces.push_back(FaceSpec{{0, a, b}, {0, a, b}, 20});
    }
    spec.nodes = {root};
    return spec;
}

std::vector<NamedFile> Demo3DFiles() {
    RoomShape room1 = DemoRoom(1), room2 = DemoRoom(2);
    return {
        {".\\ms22\\room1.3dc", BuildObject(BoxRoom(room1), nullptr)},
        {".\\ms22\\room2.3dc", BuildObject(BoxRoom(room2), nullptr)},
        {".\\ms22\\room1c.3dc", BuildCollision(RoomCollision(room1), nullptr)},
        {".\\ms22\\room2c.3dc", BuildCollision(RoomCollision(room2), nullptr)},
        {".\\ms22\\door.3dc", BuildObject(DoorSlab(600, 1000, 60, 3), nullptr)},
        {".\\ms22\\key.3dc", BuildObject(Cube("key", 20, 0xFFE0), nullptr)},
        {".\\ms22\\wall.3DM", WallTexture()},
        {".\\ms22\\floor.3DM", FloorTexture()},
        {".\\ms22\\window.3DM", WindowTexture()},
        {".\\ms22\\grate.3DM", GrateTexture()},
        {".\\all\\hero.3dc", BuildObject(Character("hero", 0x001F, "heroskin"), nullptr)},
        {".\\all\\guard.3dc", BuildObject(Character("guard", 0xF800, "guardskin"), nullptr)},
        {".\\all\\ombre.3dc", BuildObject(Shadow(120), nullptr)},
        // The drain: a large cyan block when full, a small blue one while it
        // fills.
        {".\\all\\drains.3dc", BuildObject(Cube("drains", 60, 0x07FF), nullptr)},
        {".\\all\\drainf.3dc", BuildObject(Cube("drainf", 35, 0x041F), nullptr)},
        // The two summoned allies: a green and a violet figure.
        {".\\all\\ga.3dc", BuildObject(Character("ga", 0x07E0), nullptr)},
        {".\\all\\999.3dc", BuildObject(Character("999", 0x801F), nullptr)},
        {".\\all\\heroskin.3DM", SkinTexture(0x001F)},
        {".\\all\\ombre.3DM", ShadowTexture()},
        {".\\all\\guardskin.3DM", SkinTexture(0xF800)},
    };
}

}  // namespace kit
