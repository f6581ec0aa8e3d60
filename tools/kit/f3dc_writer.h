// F3DC files as the game reads them: the block builder with its relocation
// helper, and writers for every block type.  Each writer also returns a
// manifest: for every stored offset, where it lies in the block and the
// block offset it must resolve to once loaded (0 = null), so tests can
// check every reference the loader makes.
//
// Offset bases, one decision per field kind (Base below):
//   Block20   element tables and animation key arrays: block + 20 + v
//   Element0  every other offset of a node tree: element 0 + v - 1
//   Block19   collision blocks: block + 19 + v
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct ManifestEntry {
    uint32_t at;       // block offset of the stored word
    uint32_t target;   // block offset it resolves to, 0 for null
    std::string what;  // e.g. "node 1 group 0 face 2 corner 1 vertex"
};
using Manifest = std::vector<ManifestEntry>;

// Finds an entry by its label; nullptr when none.
const ManifestEntry* FindEntry(const Manifest& manifest, const std::string& what);

class BlockBuilder {
public:
    enum class Base { Block20, Element0, Block19 };

    explicit BlockBuilder(int32_t type);
    // Zeroed room, 4-aligned; the block offset of its first byte.
    uint32_t Alloc(uint32_t bytes);
    void U8(uint32_t at, uint8_t v);
    void U32(uint32_t at, uint32_t v);
    void I32(uint32_t at, int32_t v) { U32(at, uint32_t(v)); }
    void F32(uint32_t at, float v);
    // Fixed-width text, NUL-padded and cut to the width.
    void Text(uint32_t at, const std::string& text, uint32_t width);
    void SetElement0(uint32_t at) { element0_ = at; }
    // The word at `at` resolves to `target` through `base`.
    void Ref(uint32_t at, uint32_t target, Base base, const std::string& what);
    // A field fixed only when non-zero, left null.
    void Null(uint32_t at, const std::string& what);
    // The file: magic, version, the image with its offsets stored.
    std::vector<uint8_t> File() const;
    const Manifest& manifest() const { return manifest_; }
    uint32_t Size() const { return uint32_t(image_.size()); }

private:
    struct Pending {
        uint32_t at, target;
        Base base;
    };
    std::vector<uint8_t> image_;
    std::vector<Pending> pending_;
    Manifest manifest_;
    uint32_t element0_ = 0;
};

struct I3 {
    int32_t x, y, z;
};

// Node trees (type 1).
struct FaceSpec {
    int v[3];                // vertex indices, in the node's own vertices
    int uv[3] = {0, 0, 0};   // texture-coordinate pair indices (long faces)
    uint8_t shade = 0;
    uint8_t cornerShade[3] = {0, 0, 0};
    uint32_t flags = 0;
    // Bit c set: corner c's index names a vertex of the parent node (its
    // vertex and vertex normal), which must come before this node.
    uint8_t parentCorners = 0;
};
struct GroupSpec {
    int32_t type = 1;
    std::string texture;     // model name, at most 16 characters
    uint32_t colour = 0;     // first renderer word (flat colour)
    std::vector<FaceSpec> faces;
};
struct NodeSpec {
    std::string name;        // at most 11 characters
    uint8_t flags = 0;
    uint8_t flags2 = 0;
    int parent = -1;         // index of the parent node; -1 for element 0
    I3 pos{0, 0, 0};
    std::array<int32_t, 9> matrix{32768, 0, 0, 0, 32768, 0, 0, 0, 32768};
    std::vector<I3> vertices;
    std::vector<uint32_t> vertexFlags;        // per vertex (bit 7: shared with children); 0 when absent
    std::vector<std::array<int32_t, 2>> uvs;  // 16.16 texels
    std::vector<GroupSpec> groups;
    int32_t lighting = 0;
    uint32_t translucency = 16;
    int32_t lightCount = 0;
    std::array<uint8_t, 8> lights{};
};
struct ModelSpec {
    std::string name;  // as groups name it, at most 16 characters
    std::string file;  // without ".3DM", at most 28 characters
};
struct ObjectSpec {
    std::vector<NodeSpec> nodes;  // element order; node 0 is the root
    std::vector<ModelSpec> models;
};

// Face and edge sizes the format gives a PrimType (0 = left as stored).
uint32_t FaceSize(int32_t type);
uint32_t EdgeSize(int32_t type);

// The object file.  Face normals, plane distances, vertex normals, bounds,
// one box record and the edge groups (one per face group, the unique edges
// of its faces) are derived from the geometry.  Children are listed in node
// order.
std::vector<uint8_t> BuildObject(const ObjectSpec& spec, Manifest* manifest);

// Textures (type 3): 256 x 256 colour indices, the palette made into 32
// shade rows (row 15 the palette itself, lower rows brighter, row 31 black)
// with the 565 colour in each entry's high half; with alpha, two bytes a
// texel (index, alpha 0..31).
struct Rgb {
    uint8_t r, g, b;
};
std::vector<uint8_t> BuildTexture(const std::array<Rgb, 256>& palette, const std::vector<uint8_t>& indices,
                                  const std::vector<uint8_t>* alpha = nullptr);
// A texture with a frame table, for the frame face types: the colour table,
// then at the texel start 7 entries of 8 bytes, one per level 0 to 6 (byte 0
// the image's offset from the texel start, 32 bits; byte 4 the row shift,
// 8 + level; byte 6 the row length, 256 >> level texels, 16 bits), then the
// images, level 6 first and level 0 last.  Level 0 is `indices`; each
// further level is the one above box filtered (each 2 x 2 block's mean
// colour, as the palette index nearest it).  Every image is followed by at
// least 64 K bytes of the file, the window the span routines index into;
// the file is 120 236 bytes, between the largest colour map (100 000) and
// the alpha map (163 868).
constexpr int kFrameLevels = 7;
constexpr uint32_t kFrameImagesAt = 64;  // from the texel start
std::vector<uint8_t> BuildFrameTexture(const std::array<Rgb, 256>& palette, const std::vector<uint8_t>& indices);
uint16_t Rgb565(Rgb c);
// The colour-table entry of index i in shade row r.
uint32_t ShadeEntry(const std::array<Rgb, 256>& palette, int row, int index);

// Animations (type 4 linear keys, type 6 spline keys), one track per node.
struct RotationKey {
    int32_t time;
    std::array<int32_t, 4> q;  // x, y, z, w (Q15)
    float easeA = 0, easeB = 0;
    std::array<int32_t, 4> control{0, 0, 0, 32768};
};
struct PositionKey {
    int32_t time;
    I3 p;
    float easeA = 0, easeB = 0;
    I3 in{0, 0, 0}, out{0, 0, 0};
};
struct TrackSpec {
    int32_t length;
    std::vector<RotationKey> rotations;
    std::vector<PositionKey> positions;
};
std::vector<uint8_t> BuildAnimation(const std::vector<TrackSpec>& tracks, bool spline, Manifest* manifest);

// Collision geometry (type 5): faces with their plane and box, each owned by
// a named part.
struct CollisionFaceSpec {
    int v[3];
    int part = 0;
    int32_t kind = 0;
};
struct CollisionSpec {
    std::vector<I3> vertices;
    std::vector<CollisionFaceSpec> faces;
    std::vector<std::string> parts;  // at most 11 characters each
};
std::vector<uint8_t> BuildCollision(const CollisionSpec& spec, Manifest* manifest);

// Raw data (type 0) and an element table over blobs (type 2).
std::vector<uint8_t> BuildRaw(const std::vector<uint8_t>& data);
std::vector<uint8_t> BuildElements(const std::vector<std::vector<uint8_t>>& elements, Manifest* manifest);

}  // namespace kit
