// The check every F3DC block image passes before its fix-up.
//
// Offsets are followed as the fix-up will turn them into references, with
// every read bounded by the image.  Each record is claimed in a map of the
// image's words: records that hold references or counts ("structure") may
// share no word with any other record, plain arrays ("data") may share words
// only with each other.  So no word is fixed twice, no count is overwritten
// by a fix-up, and a link that comes back to a record already claimed (a
// cycle, or a list two owners share) is refused.  A collision face's box
// and plane must also agree with its corners.
#include "engine3d/dqx_f3dc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

enum Claim : uint8_t { kFree = 0, kData = 1, kStructure = 2 };

// An array of records the image holds: [start, start + count x stride).
struct RecordArray {
    uint32_t start, count, stride;
    bool Holds(uint32_t at) const {
        return at >= start && at < start + uint64_t(count) * stride && (at - start) % stride == 0;
    }
};

struct EdgeList {
    uint32_t group;
    uint32_t stride;  // 0 for a type whose records the format leaves as stored
    RecordArray records;
};

class ImageCheck {
public:
    ImageCheck(const uint8_t* image, uint32_t size, uint32_t fileSize)
        : p_(image), size_(size), fileSize_(fileSize), claims_((size + 3) / 4, kFree) {}

    bool Run(std::string* reason);

private:
    bool Fail(const char* why) {
        if (!why_) why_ = why;
        return false;
    }
    bool Word(uint64_t at, uint32_t* v) const {
        if (at + 4 > size_) return false;
        std::memcpy(v, p_ + at, 4);
        return true;
    }
    bool Int(uint64_t at, int32_t* v) const {
        uint32_t u;
        if (!Word(at, &u)) return false;
        *v = int32_t(u);
        return true;
    }
    // A count read from the image: 0 .. limit.
    bool Count(uint64_t at, int32_t limit, uint32_t* n) {
        int32_t v;
        if (!Int(at, &v)) return Fail("count past the end");
        if (v < 0 || v > limit) return Fail("count out of range");
        *n = uint32_t(v);
        return true;
    }
    // A record target inside the image, 4-aligned, with `bytes` after it.
    bool Target(int64_t at, uint64_t bytes, uint32_t* out) {
        if (at < 0 || at >= int64_t(size_) || uint64_t(at) + bytes > size_) return Fail("offset outside the block");
        if (at % 4 != 0) return Fail("misaligned offset");
        *out = uint32_t(at);
        return true;
    }
    bool Take(uint32_t at, uint64_t bytes, Claim kind) {
        uint64_t first = at / 4, last = (at + bytes + 3) / 4;
        for (uint64_t w = first; w < last; ++w) {
            uint8_t c = claims_[w];
            if (c == kStructure || (c == kData && kind == kStructure)) return Fail("records overlap");
        }
        for (uint64_t w = first; w < last; ++w) claims_[w] = kind;
        return true;
    }

    bool CheckTexture();
    bool CheckFrameTable();
    bool CheckElements(int32_t type);
    bool CheckAnimation(int32_t type, uint32_t count);
    bool CheckCollision();
    bool CheckFaceShape(uint32_t face, const uint32_t corners[3]);
    bool CheckNodes(uint32_t count);
    bool CheckNodeArrays(uint32_t node);
    bool CheckTree();
    bool CheckEdgeGroups(uint32_t node);
    bool CheckEdgeRecords(const EdgeList& list);
    bool CheckGroups(uint32_t node);
    bool CheckFaces(uint32_t group, uint32_t faces, uint32_t count, uint32_t size, const EdgeList& edges);
    // Type-1 offsets: element 0 + v - 1; 0 is null when `nullable`.
    bool NodeRef(uint64_t word, bool nullable, uint64_t bytes, uint32_t* out) {
        uint32_t v;
        if (!Word(word, &v)) return Fail("record past the end");
        if (v == 0 && nullable) {
            *out = 0;
            return true;
        }
        return Target(int64_t(elem0_) + int32_t(v) - 1, bytes, out);
    }
    bool RefIn(uint64_t word, const std::vector<RecordArray>& arrays, const char* what) {
        uint32_t at;
        if (!NodeRef(word, false, 0, &at)) return false;
        for (const RecordArray& a : arrays)
            if (a.Holds(at)) return true;
        return Fail(what);
    }
    int NodeIndex(uint32_t at) const {
        auto it = std::lower_bound(sortedNodes_.begin(), sortedNodes_.end(), std::make_pair(at, 0));
        return (it != sortedNodes_.end() && it->first == at) ? it->second : -1;
    }

    const uint8_t* p_;
    uint32_t size_;
    uint32_t fileSize_;
    std::vector<uint8_t> claims_;
    const char* why_ = nullptr;
    // Type-1 state.
    uint32_t elem0_ = 0;
    std::vector<uint32_t> nodes_;
    std::vector<std::pair<uint32_t, int>> sortedNodes_;
    std::vector<RecordArray> vertices_, uvs_, vertexNormals_, faceNormals_;
    std::vector<EdgeList> edgeLists_;
};

bool ImageCheck::Run(std::string* reason) {
    int32_t type = -1;
    bool ok = size_ >= kBlockHeaderSize && Int(8, &type);
    if (!ok) Fail("file shorter than a block header");
    else if (type < 0 || type > 6) ok = Fail("block type out of range");
    else if (type == kBlockTexture) ok = CheckTexture();
    else if (type != kBlockRaw) ok = CheckElements(type);
    if (!ok && reason) *reason = why_ ? why_ : "refused";
    return ok;
}

// Colour maps (files of at most 100000 bytes) and alpha maps carry every
// texel the upload reads.  A file between the two holds a frame table whose
// every entry must be well formed and name an image whose 64 K window lies
// in the file.
bool ImageCheck::CheckTexture() {
    TextureKind kind = TextureKindOfSize(fileSize_);
    if (kind == TextureKind::FrameTable) return CheckFrameTable();
    uint32_t need = kind == TextureKind::ColourMap ? kColourMapFileSize : kAlphaMapFileSize;
    return fileSize_ >= need || Fail("texture shorter than its texels");
}

bool ImageCheck::CheckFrameTable() {
    const uint64_t texels = kTextureTexelsOffset;
    const uint64_t tableBytes = uint64_t(kFrameTableEntries) * kFrameEntrySize;
    if (size_ < texels + tableBytes) return Fail("frame table past the end");
    const uint64_t texelBytes = size_ - texels;
    for (uint32_t level = 0; level < kFrameTableEntries; ++level) {
        const uint8_t* e = p_ + texels + level * kFrameEntrySize;
        uint32_t offset = uint32_t(e[0]) | uint32_t(e[1]) << 8 | uint32_t(e[2]) << 16 | uint32_t(e[3]) << 24;
        uint32_t shift = e[4];
        uint32_t rowLength = uint32_t(e[6]) | uint32_t(e[7]) << 8;
        if (shift < 1 || shift > 16 || rowLength != 1u << (16 - shift)) return Fail("frame entry with a bad row shift");
        if (offset < tableBytes || uint64_t(offset) + kFrameWindow > texelBytes)
            return Fail("frame image outside the texture");
    }
    return true;
}

bool ImageCheck::CheckElements(int32_t type) {
    if (type == kBlockCollision) return CheckCollision();
    uint32_t count;
    if (!Count(kElementCountOffset, 65535, &count)) return false;
    uint64_t tableEnd = kElementTableOffset + uint64_t(count) * 4;
    if (tableEnd > size_) return Fail("element table past the end");
    if (type == kBlockNodes) return CheckNodes(count);
    if (!Take(0, tableEnd, kStructure)) return false;
    if (type == kBlockElements) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t v, at;
            if (!Word(kElementTableOffset + i * 4, &v) || !Target(int64_t(kBlockHeaderSize) + int32_t(v), 0, &at)) return false;
        }
        return true;
    }
    return CheckAnimation(type, count);
}

bool ImageCheck::CheckAnimation(int32_t type, uint32_t count) {
    bool spline = type == kBlockSpline;
    uint32_t rotationSize = spline ? kSplineRotationKeySize : kLinearRotationKeySize;
    uint32_t positionSize = spline ? kSplinePositionKeySize : kLinearPositionKeySize;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t v, element;
        if (!Word(kElementTableOffset + i * 4, &v) || !Target(int64_t(kBlockHeaderSize) + int32_t(v), 20, &element))
            return false;
        if (!Take(element, sizeof(AnimElement), kStructure)) return false;
        uint32_t rotations, positions, rk, pk, at;
        if (!Count(element + 4, 1 << 24, &rotations) || !Count(element + 8, 1 << 24, &positions)) return false;
        if (!Word(element + 12, &rk) || !Word(element + 16, &pk)) return false;
        if (!Target(int64_t(kBlockHeaderSize) + int32_t(rk), uint64_t(rotations) * rotationSize, &at) ||
            !Take(at, uint64_t(rotations) * rotationSize, kData))
            return false;
        if (!Target(int64_t(kBlockHeaderSize) + int32_t(pk), uint64_t(positions) * positionSize, &at) ||
            !Take(at, uint64_t(positions) * positionSize, kData))
            return false;
    }
    return true;
}

bool ImageCheck::CheckCollision() {
    if (size_ < sizeof(CollisionBlock)) return Fail("collision header past the end");
    if (!Take(0, sizeof(CollisionBlock), kStructure)) return false;
    uint32_t vertexCount, faceCount, partCount, v, vertices, faces, parts;
    auto ref = [&](uint64_t word, uint64_t bytes, uint32_t* out) {
        return Word(word, &v) && Target(int64_t(kBlockHeaderSize) - 1 + int32_t(v), bytes, out);
    };
    if (!Count(20, 1 << 24, &vertexCount) || !ref(24, uint64_t(vertexCount) * 12, &vertices)) return false;
    if (!Count(28, 1 << 24, &faceCount) || !ref(32, uint64_t(faceCount) * 96, &faces)) return false;
    if (!Count(36, 1 << 24, &partCount) || !ref(40, uint64_t(partCount) * 16, &parts)) return false;
    if (!Take(vertices, uint64_t(vertexCount) * 12, kData) || !Take(parts, uint64_t(partCount) * 16, kData))
        return false;
    RecordArray vertexArray{vertices, vertexCount, 12}, partArray{parts, partCount, 16};
    for (uint32_t i = 0; i < faceCount; ++i) {
        uint32_t face = faces + i * 96, at, corners[3];
        if (!Take(face, 96, kStructure)) return false;
        for (uint32_t w : {0u, 1u, 2u, 3u}) {
            if (!ref(face + w * 4, 12, &at)) return false;
            if (!vertexArray.Holds(at)) return Fail("collision corner outside the vertices");
            if (w < 3) corners[w] = at;
        }
        if (!ref(face + 68, 16, &at)) return false;
        if (!partArray.Holds(at)) return Fail("collision part outside the parts");
        if (!CheckFaceShape(face, corners)) return false;
    }
    return true;
}

// The stored box and plane of a collision face against its corners.  The
// collision world finds a face only through its box, so the box must hold
// every corner.  The plane must be a Q15 unit normal (to within 1/1024)
// with every corner on it, to within the roundings of the normal's
// components and length: 2 units plus (|x| + |y| + |z|) / 1024 for a
// corner (x, y, z).  A zero normal would have every sphere near the face
// touch its interior; a plane off the face pushes spheres to the wrong place.
bool ImageCheck::CheckFaceShape(uint32_t face, const uint32_t corners[3]) {
    // The face and its corners lie inside the image: the reads cannot fail.
    int32_t lo[3], hi[3], normal[3] = {0, 0, 0}, plane = 0;
    for (int a = 0; a < 3; ++a) {
        int32_t b0 = 0, b1 = 0;
        Int(face + 36 + a * 4, &b0), Int(face + 48 + a * 4, &b1), Int(face + 16 + a * 4, &normal[a]);
        lo[a] = std::min(b0, b1), hi[a] = std::max(b0, b1);
    }
    Int(face + 28, &plane);
    double length = std::sqrt(double(normal[0]) * normal[0] + double(normal[1]) * normal[1] + double(normal[2]) * normal[2]);
    if (!(std::fabs(length - 32768.0) <= 32.0)) return Fail("collision normal not of unit length");
    for (int c = 0; c < 3; ++c) {
        int32_t v[3] = {0, 0, 0};
        double dot = 0, size = 0;
        for (int a = 0; a < 3; ++a) {
            Int(corners[c] + a * 4, &v[a]);
            if (v[a] < lo[a] || v[a] > hi[a]) return Fail("collision box misses a corner");
            dot += double(normal[a]) * v[a];
            size += std::fabs(double(v[a]));
        }
        if (!(std::fabs(dot / 32768.0 - plane) <= 2.0 + size / 1024.0)) return Fail("collision plane misses a corner");
    }
    return true;
}

bool ImageCheck::CheckNodes(uint32_t count) {
    if (count == 0) return Fail("object without nodes");
    uint64_t modelsWord = kElementTableOffset + uint64_t(count) * 4;
    uint32_t models;
    if (!Count(modelsWord, 65535, &models)) return false;
    if (!Take(0, modelsWord + 4, kStructure)) return false;
    if (modelsWord + 4 + uint64_t(models) * kModelRecordSize > size_) return Fail("model records past the end");
    if (!Take(uint32_t(modelsWord + 4), uint64_t(models) * kModelRecordSize, kData)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t v, node;
        if (!Word(kElementTableOffset + i * 4, &v) || !Target(int64_t(kBlockHeaderSize) + int32_t(v), sizeof(Obj3D), &node))
            return false;
        if (!Take(node, sizeof(Obj3D), kStructure)) return false;
        nodes_.push_back(node);
        sortedNodes_.push_back({node, int(i)});
    }
    std::sort(sortedNodes_.begin(), sortedNodes_.end());
    elem0_ = nodes_[0];
    for (uint32_t node : nodes_)
        if (!CheckNodeArrays(node)) return false;
    if (!CheckTree()) return false;
    for (uint32_t node : nodes_)
        if (!CheckEdgeGroups(node)) return false;
    for (uint32_t node : nodes_)
        if (!CheckGroups(node)) return false;
    return true;
}

bool ImageCheck::CheckNodeArrays(uint32_t node) {
    struct Field {
        uint32_t countAt, refAt, stride;
        std::vector<RecordArray>* list;
    };
    const Field fields[] = {
        {124, 128, sizeof(ObjVertex), &vertices_},
        {132, 136, sizeof(UvPair), &uvs_},
        {140, 144, sizeof(FaceNormal), &vertexNormals_},
        {148, 152, sizeof(FaceNormal), &faceNormals_},
        {156, 160, sizeof(BoxRecord), nullptr},
    };
    for (const Field& f : fields) {
        uint32_t n, at;
        if (!Count(node + f.countAt, 1 << 24, &n)) return false;
        if (!NodeRef(node + f.refAt, true, uint64_t(n) * f.stride, &at)) return false;
        if (n > 0 && at == 0) return Fail("array without a reference");
        if (at && !Take(at, uint64_t(n) * f.stride, kData)) return false;
        if (f.list && at) f.list->push_back({at, n, f.stride});
    }
    return true;
}

// Every element is reached once from element 0 through first-child and
// next-sibling links, and names as its parent the node it was reached from.
bool ImageCheck::CheckTree() {
    uint32_t v;
    if (!Word(elem0_ + 16, &v) || v != 0) return Fail("element 0 has a parent");
    if (!Word(elem0_ + 24, &v) || v != 0) return Fail("element 0 has a sibling");
    std::vector<uint8_t> reached(nodes_.size(), 0);
    std::vector<uint32_t> pending = {elem0_};
    reached[0] = 1;
    size_t seen = 1;
    while (!pending.empty()) {
        uint32_t node = pending.back();
        pending.pop_back();
        uint32_t child;
        if (!NodeRef(node + 20, true, sizeof(Obj3D), &child)) return false;
        while (child) {
            int index = NodeIndex(child);
            if (index < 0) return Fail("link to a record that is not a node");
            if (reached[index]) return Fail("node reached twice");
            reached[index] = 1;
            ++seen;
            uint32_t parent;
            if (!NodeRef(child + 16, true, sizeof(Obj3D), &parent) || parent != node)
                return Fail("child whose parent is another node");
            pending.push_back(child);
            if (!NodeRef(child + 24, true, sizeof(Obj3D), &child)) return false;
        }
    }
    return seen == nodes_.size() || Fail("element not in the tree");
}

bool ImageCheck::CheckEdgeGroups(uint32_t node) {
    uint32_t group;
    if (!NodeRef(node + 168, true, sizeof(EdgeGroup), &group)) return false;
    while (group) {
        if (!Take(group, sizeof(EdgeGroup), kStructure)) return false;
        int32_t type;
        uint32_t count, records = 0;
        if (!Int(group + 4, &type) || !Count(group + 8, 1 << 24, &count)) return false;
        uint32_t stride = FileEdgeSize(type);
        if (stride == 0) {
            uint32_t raw;
            if (count != 0 || !Word(group + 12, &raw) || raw != 0)
                return Fail("non-empty edge group of a type without records");
        } else if (!NodeRef(group + 12, false, uint64_t(count) * stride, &records)) {
            return false;
        }
        EdgeList list{group, stride, {records, stride ? count : 0, stride ? stride : 4}};
        if (stride && !CheckEdgeRecords(list)) return false;
        edgeLists_.push_back(list);
        if (!NodeRef(group, true, sizeof(EdgeGroup), &group)) return false;
    }
    return true;
}

bool ImageCheck::CheckEdgeRecords(const EdgeList& list) {
    const RecordArray& r = list.records;
    for (uint32_t i = 0; i < r.count; ++i) {
        uint32_t edge = r.start + i * r.stride, next;
        if (!Take(edge, r.stride, kStructure)) return false;
        if (!NodeRef(edge, true, 0, &next)) return false;
        if (next && !r.Holds(next)) return Fail("edge chain leaves its group");
        if (!RefIn(edge + 28, vertices_, "edge vertex outside the vertices") ||
            !RefIn(edge + 32, vertices_, "edge vertex outside the vertices"))
            return false;
    }
    // The chain from the first record ends.
    uint32_t at = r.count ? r.start : 0;
    for (uint32_t steps = 0; at; ++steps) {
        if (steps >= r.count) return Fail("edge chain cycle");
        if (!NodeRef(at, true, 0, &at)) return false;
    }
    return true;
}

bool ImageCheck::CheckGroups(uint32_t node) {
    uint32_t group;
    if (!NodeRef(node + 164, true, sizeof(PrimGroup), &group)) return false;
    while (group) {
        if (!Take(group, sizeof(PrimGroup), kStructure)) return false;
        int32_t type;
        uint32_t count;
        if (!Int(group + 4, &type) || !Count(group + 28, 1 << 24, &count)) return false;
        uint32_t size = FileFaceSize(type);
        if (size == 0) {
            uint32_t faces, edges;
            if (count != 0 || !Word(group + 32, &faces) || faces != 0 || !Word(group + 48, &edges) || edges != 0)
                return Fail("non-empty group of a type without faces");
        } else {
            uint32_t edges, faces = 0;
            if (!NodeRef(group + 48, false, sizeof(EdgeGroup), &edges)) return false;
            const EdgeList* list = nullptr;
            for (const EdgeList& e : edgeLists_)
                if (e.group == edges) list = &e;
            if (!list) return Fail("group's edges are not an edge group");
            uint32_t wanted = size == sizeof(PrimFaceShort) ? 60 : 0;
            uint32_t stride = list->stride;
            if (stride == 0 || (wanted ? stride != wanted : stride == 60))
                return Fail("group's edge group of another family");
            if (count && !NodeRef(group + 32, false, uint64_t(count) * size, &faces)) return false;
            if (count && !CheckFaces(group, faces, count, size, *list)) return false;
        }
        if (!NodeRef(group, true, sizeof(PrimGroup), &group)) return false;
    }
    return true;
}

bool ImageCheck::CheckFaces(uint32_t group, uint32_t faces, uint32_t count, uint32_t size, const EdgeList& edges) {
    (void)group;
    RecordArray own{faces, count, size};
    std::vector<RecordArray> edgeArray = {edges.records};
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t face = faces + i * size, next;
        if (!Take(face, size, kStructure)) return false;
        if (!NodeRef(face + 4, true, 0, &next)) return false;
        if (next && !own.Holds(next)) return Fail("face chain leaves its group");
        for (uint32_t c = 0; c < 3; ++c) {
            uint32_t corner = face + 8 + c * 12;
            if (!RefIn(corner, vertices_, "face corner outside the vertices") ||
                !RefIn(corner + 4, vertexNormals_, "corner normal outside the vertex normals") ||
                !RefIn(corner + 8, edgeArray, "corner edge outside the group's edges"))
                return false;
        }
        if (!RefIn(face + 44, faceNormals_, "face normal outside the face normals")) return false;
        if (size == sizeof(PrimFaceLong))
            for (uint32_t c = 0; c < 3; ++c)
                if (!RefIn(face + 52 + c * 4, uvs_, "texture coordinates outside the pairs")) return false;
    }
    uint32_t at = faces;
    for (uint32_t steps = 0; at; ++steps) {
        if (steps >= count) return Fail("face chain cycle");
        if (!NodeRef(at + 4, true, 0, &at)) return false;
    }
    return true;
}

}  // namespace

bool Check_ObjImage(const uint8_t* image, uint32_t imageSize, uint32_t fileSize, std::string* reason) {
    ImageCheck check(image, imageSize, fileSize);
    return check.Run(reason);
}
