// The F3DC writers.
#include "tools/kit/f3dc_writer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace kit {

namespace {

constexpr uint32_t kNodeSize = 220;
constexpr uint32_t kVertexSize = 40;
constexpr uint32_t kNormalSize = 16;
constexpr uint32_t kBoxSize = 280;
constexpr uint32_t kGroupSize = 52;
constexpr uint32_t kEdgeGroupSize = 24;

std::string Label(const char* format, int a, int b = 0, int c = 0, int d = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

void PutWord(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

const ManifestEntry* FindEntry(const Manifest& manifest, const std::string& what) {
    for (const ManifestEntry& e : manifest)
        if (e.what == what) return &e;
    return nullptr;
}

BlockBuilder::BlockBuilder(int32_t type) {
    // The 20-byte block header: the first allocation, at offset 0.
    image_.assign(20, 0);
    I32(8, type);
}

uint32_t BlockBuilder::Alloc(uint32_t bytes) {
    uint32_t at = uint32_t(image_.size());
    image_.resize(at + ((bytes + 3) & ~3u), 0);
    return at;
}

void BlockBuilder::U8(uint32_t at, uint8_t v) {
    image_.at(at) = v;
}

void BlockBuilder::U32(uint32_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) image_.at(at + i) = uint8_t(v >> (8 * i));
}

void BlockBuilder::F32(uint32_t at, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    U32(at, bits);
}

void BlockBuilder::Text(uint32_t at, const std::string& text, uint32_t width) {
    for (uint32_t i = 0; i < width; ++i) image_.at(at + i) = i < text.size() ? uint8_t(text[i]) : 0;
}

void BlockBuilder::Ref(uint32_t at, uint32_t target, Base base, const std::string& what) {
    pending_.push_back({at, target, base});
    manifest_.push_back({at, target, what});
}

void BlockBuilder::Null(uint32_t at, const std::string& what) {
    U32(at, 0);
    manifest_.push_back({at, 0, what});
}

std::vector<uint8_t> BlockBuilder::File() const {
    std::vector<uint8_t> image = image_;
    for (const Pending& p : pending_) {
        uint32_t v = 0;
        switch (p.base) {
        case Base::Block20: v = p.target - 20; break;
        case Base::Element0: v = p.target - element0_ + 1; break;
        case Base::Block19: v = p.target - 19; break;
        }
        // A slot recorded past the image throws here rather than writing beyond it.
        for (int i = 0; i < 4; ++i) image.at(p.at + i) = uint8_t(v >> (8 * i));
    }
    std::vector<uint8_t> file = {'F', '3', 'D', 'C'};
    PutWord(&file, 450);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

uint32_t FaceSize(int32_t t) {
    switch (t) {
    case 1: case 4: case 17: case 27: case -2:
        return 56;
    case 2: case 3: case 9: case 18: case 20: case 21: case 22: case 23: case 25: case 26:
    case 28: case 29: case 30: case 32: case -21:
        return 68;
    default:
        return (t <= -3 && t >= -15) ? 68 : 0;
    }
}

uint32_t EdgeSize(int32_t t) {
    switch (t) {
    case 1: case 4: case 17: case 27: case -2:
        return 60;
    case 2: case 18: case 21: case 32: case -21: case -15: case -14: case -13: case -11: case -10: case -8:
    case -5: case -3:
        return 88;
    case 3: case 9: case 20: case 28: case 29: case -12: case -9: case -7: case -6: case -4: case 22: case 25:
    case 30:
        return 100;
    case 23: case 26:
        return 112;
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Node trees
// ---------------------------------------------------------------------------

namespace {

struct D3 {
    double x, y, z;
};

D3 ToD(I3 v) {
    return {double(v.x), double(v.y), double(v.z)};
}

D3 Cross(D3 a, D3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

I3 UnitQ15(D3 v, I3 fallback) {
    double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (l == 0) return fallback;
    return {int32_t(v.x * 32768.0 / l), int32_t(v.y * 32768.0 / l), int32_t(v.z * 32768.0 / l)};
}

// The normal of a face is (v1 - v0) x (v2 - v0): it points to the side the
// face is seen from.
I3 FaceNormalOf(const std::vector<I3>& v, const int idx[3]) {
    D3 a = ToD(v.at(idx[0])), b = ToD(v.at(idx[1])), c = ToD(v.at(idx[2]));
    return UnitQ15(Cross({b.x - a.x, b.y - a.y, b.z - a.z}, {c.x - a.x, c.y - a.y, c.z - a.z}), {0, -32768, 0});
}

// A corner's vertex: its own node's index i as i, the parent's as -(i + 1).
int CornerKey(const FaceSpec& f, int c) {
    return (f.parentCorners >> c) & 1 ? -(f.v[c] + 1) : f.v[c];
}

// The position of a vertex key in the node's own space (a parent's vertex
// is brought through the node's placement).
I3 KeyPosition(const ObjectSpec& spec, const NodeSpec& n, int key) {
    if (key >= 0) return n.vertices.at(size_t(key));
    const NodeSpec& parent = spec.nodes.at(size_t(n.parent));
    I3 p = parent.vertices.at(size_t(-key - 1));
    double d[3] = {double(p.x) - n.pos.x, double(p.y) - n.pos.y, double(p.z) - n.pos.z};
    double out[3];
    for (int i = 0; i < 3; ++i)
        out[i] = (n.matrix[size_t(i)] * d[0] + n.matrix[size_t(3 + i)] * d[1] + n.matrix[size_t(6 + i)] * d[2]) / 32768.0;
    return {int32_t(std::lround(out[0])), int32_t(std::lround(out[1])), int32_t(std::lround(out[2]))};
}

I3 FaceNormalOfSpec(const ObjectSpec& spec, const NodeSpec& n, const FaceSpec& f) {
    std::vector<I3> corners;
    for (int c = 0; c < 3; ++c) corners.push_back(KeyPosition(spec, n, CornerKey(f, c)));
    const int idx[3] = {0, 1, 2};
    return FaceNormalOf(corners, idx);
}

int32_t PlaneOf(I3 n, I3 p) {
    return int32_t((int64_t(n.x) * p.x + int64_t(n.y) * p.y + int64_t(n.z) * p.z) / 32768);
}

struct Edges {
    std::vector<std::pair<int, int>> list;
    std::map<std::pair<int, int>, int> index;
    int Add(int a, int b) {
        std::pair<int, int> key{std::min(a, b), std::max(a, b)};
        auto it = index.find(key);
        if (it != index.end()) return it->second;
        list.push_back({a, b});
        return index[key] = int(list.size() - 1);
    }
};

struct NodeLayout {
    uint32_t node = 0, vertices = 0, uvs = 0, vertexNormals = 0, faceNormals = 0, box = 0;
    std::vector<uint32_t> edgeGroups, edgeRecords, groups, faces;
    std::vector<Edges> edges;
    std::vector<int> firstFaceNormal;
};

void WriteNodeArrays(BlockBuilder& b, const ObjectSpec& spec, const NodeSpec& n, NodeLayout& l, int ni) {
    // Face normals, one per face of every group, and vertex normals.
    std::vector<I3> faceNormals;
    std::vector<D3> sums(n.vertices.size(), D3{0, 0, 0});
    for (const GroupSpec& g : n.groups) {
        l.firstFaceNormal.push_back(int(faceNormals.size()));
        for (const FaceSpec& f : g.faces) {
            I3 fn = FaceNormalOfSpec(spec, n, f);
            faceNormals.push_back(fn);
            for (int c = 0; c < 3; ++c) {
                if ((f.parentCorners >> c) & 1) continue;
                D3& s = sums.at(f.v[c]);
                s.x += fn.x, s.y += fn.y, s.z += fn.z;
            }
        }
    }
    l.vertices = n.vertices.empty() ? 0 : b.Alloc(kVertexSize * uint32_t(n.vertices.size()));
    for (size_t i = 0; i < n.vertices.size(); ++i) {
        uint32_t at = l.vertices + uint32_t(i) * kVertexSize;
        b.I32(at + 4, n.vertices[i].x), b.I32(at + 8, n.vertices[i].y), b.I32(at + 12, n.vertices[i].z);
        if (i < n.vertexFlags.size()) b.U32(at, n.vertexFlags[i]);
    }
    l.uvs = n.uvs.empty() ? 0 : b.Alloc(8 * uint32_t(n.uvs.size()));
    for (size_t i = 0; i < n.uvs.size(); ++i) b.I32(l.uvs + uint32_t(i) * 8, n.uvs[i][0]), b.I32(l.uvs + uint32_t(i) * 8 + 4, n.uvs[i][1]);
    l.vertexNormals = n.vertices.empty() ? 0 : b.Alloc(kNormalSize * uint32_t(n.vertices.size()));
    for (size_t i = 0; i < n.vertices.size(); ++i) {
        I3 vn = UnitQ15(sums[i], {0, -32768, 0});
        uint32_t at = l.vertexNormals + uint32_t(i) * kNormalSize;
        b.I32(at, vn.x), b.I32(at + 4, vn.y), b.I32(at + 8, vn.z);
    }
    l.faceNormals = faceNormals.empty() ? 0 : b.Alloc(kNormalSize * uint32_t(faceNormals.size()));
    for (size_t i = 0; i < faceNormals.size(); ++i) {
        uint32_t at = l.faceNormals + uint32_t(i) * kNormalSize;
        b.I32(at, faceNormals[i].x), b.I32(at + 4, faceNormals[i].y), b.I32(at + 8, faceNormals[i].z);
    }
    // Bounds and one box record around the vertices.
    if (!n.vertices.empty()) {
        I3 lo = n.vertices[0], hi = n.vertices[0];
        for (I3 v : n.vertices) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
        I3 c{int32_t((int64_t(lo.x) + hi.x) / 2), int32_t((int64_t(lo.y) + hi.y) / 2), int32_t((int64_t(lo.z) + hi.z) / 2)};
        double r = 0;
        for (I3 v : n.vertices) {
            double dx = v.x - c.x, dy = v.y - c.y, dz = v.z - c.z;
            r = std::max(r, std::sqrt(dx * dx + dy * dy + dz * dz));
        }
        b.I32(l.node + 176, int32_t(std::ceil(r)));
        b.I32(l.node + 180, c.x), b.I32(l.node + 184, c.y), b.I32(l.node + 188, c.z);
        // Corners 0-3 go round the face nearest -z (0 to 1 along x, 0 to 3
        // along y) and corner 4 + k lies beyond corner k along z.
        l.box = b.Alloc(kBoxSize);
        for (int k = 0; k < 8; ++k) {
            int q = k & 3;
            b.F32(l.box + uint32_t(k) * 12, float((q == 1 || q == 2) ? hi.x : lo.x));
            b.F32(l.box + uint32_t(k) * 12 + 4, float(q >= 2 ? hi.y : lo.y));
            b.F32(l.box + uint32_t(k) * 12 + 8, float(k >= 4 ? hi.z : lo.z));
        }
    }
    (void)ni;
}

// The block offsets of a vertex key's vertex and vertex normal.
uint32_t VertexAt(const NodeSpec& n, const NodeLayout& l, const std::vector<NodeLayout>& layouts, int key) {
    if (key >= 0) return l.vertices + uint32_t(key) * kVertexSize;
    return layouts.at(size_t(n.parent)).vertices + uint32_t(-key - 1) * kVertexSize;
}
uint32_t NormalAt(const NodeSpec& n, const NodeLayout& l, const std::vector<NodeLayout>& layouts, int key) {
    if (key >= 0) return l.vertexNormals + uint32_t(key) * kNormalSize;
    return layouts.at(size_t(n.parent)).vertexNormals + uint32_t(-key - 1) * kNormalSize;
}

void WriteEdgeGroups(BlockBuilder& b, const NodeSpec& n, NodeLayout& l, int ni, const std::vector<NodeLayout>& layouts) {
    for (size_t gi = 0; gi < n.groups.size(); ++gi) {
        const GroupSpec& g = n.groups[gi];
        Edges e;
        for (const FaceSpec& f : g.faces)
            for (int c = 0; c < 3; ++c) e.Add(CornerKey(f, c), CornerKey(f, (c + 1) % 3));
        l.edges.push_back(e);
        uint32_t group = b.Alloc(kEdgeGroupSize);
        uint32_t stride = EdgeSize(g.type);
        l.edgeGroups.push_back(group);
        b.I32(group + 4, g.type);
        if (!stride) {
            l.edgeRecords.push_back(0);
            continue;
        }
        b.I32(group + 8, int32_t(e.list.size()));
        uint32_t records = b.Alloc(stride * uint32_t(std::max<size_t>(e.list.size(), 1)));
        l.edgeRecords.push_back(records);
        int g2 = int(gi);
        b.Ref(group + 12, records, BlockBuilder::Base::Element0, Label("node %d edge group %d records", ni, g2));
        for (size_t k = 0; k < e.list.size(); ++k) {
            uint32_t edge = records + uint32_t(k) * stride;
            int k2 = int(k);
            if (k + 1 < e.list.size())
                b.Ref(edge, edge + stride, BlockBuilder::Base::Element0, Label("node %d edge group %d edge %d next", ni, g2, k2));
            else
                b.Null(edge, Label("node %d edge group %d edge %d next", ni, g2, k2));
            b.Ref(edge + 28, VertexAt(n, l, layouts, e.list[k].first), BlockBuilder::Base::Element0,
                  Label("node %d edge group %d edge %d a", ni, g2, k2));
            b.Ref(edge + 32, VertexAt(n, l, layouts, e.list[k].second), BlockBuilder::Base::Element0,
                  Label("node %d edge group %d edge %d b", ni, g2, k2));
        }
    }
    for (size_t gi = 0; gi < l.edgeGroups.size(); ++gi) {
        std::string what = Label("node %d edge group %d next", ni, int(gi));
        if (gi + 1 < l.edgeGroups.size())
            b.Ref(l.edgeGroups[gi], l.edgeGroups[gi + 1], BlockBuilder::Base::Element0, what);
        else
            b.Null(l.edgeGroups[gi], what);
    }
}

void WriteGroups(BlockBuilder& b, const ObjectSpec& spec, const NodeSpec& n, NodeLayout& l, int ni,
                 const std::vector<NodeLayout>& layouts) {
    for (size_t gi = 0; gi < n.groups.size(); ++gi) {
        const GroupSpec& g = n.groups[gi];
        int g2 = int(gi);
        uint32_t group = b.Alloc(kGroupSize);
        l.groups.push_back(group);
        b.I32(group + 4, g.type);
        b.Text(group + 12, g.texture, 16);
        b.U32(group + 40, g.colour);
        uint32_t size = FaceSize(g.type);
        if (!size) continue;  // a type without faces: an empty group
        b.I32(group + 28, int32_t(g.faces.size()));
        b.Ref(group + 48, l.edgeGroups[gi], BlockBuilder::Base::Element0, Label("node %d group %d edges", ni, g2));
        if (g.faces.empty()) continue;
        uint32_t faces = b.Alloc(size * uint32_t(g.faces.size()));
        b.Ref(group + 32, faces, BlockBuilder::Base::Element0, Label("node %d group %d faces", ni, g2));
        const Edges& e = l.edges[gi];
        for (size_t fi = 0; fi < g.faces.size(); ++fi) {
            const FaceSpec& f = g.faces[fi];
            uint32_t face = faces + uint32_t(fi) * size;
            int f2 = int(fi);
            b.U32(face, f.flags);
            std::string next = Label("node %d group %d face %d next", ni, g2, f2);
            if (fi + 1 < g.faces.size()) b.Ref(face + 4, face + size, BlockBuilder::Base::Element0, next);
            else b.Null(face + 4, next);
            for (int c = 0; c < 3; ++c) {
                uint32_t corner = face + 8 + uint32_t(c) * 12;
                int a = CornerKey(f, c), z = CornerKey(f, (c + 1) % 3);
                int edge = e.index.at({std::min(a, z), std::max(a, z)});
                b.Ref(corner, VertexAt(n, l, layouts, a), BlockBuilder::Base::Element0,
                      Label("node %d group %d face %d corner %d vertex", ni, g2, f2, c));
                b.Ref(corner + 4, NormalAt(n, l, layouts, a), BlockBuilder::Base::Element0,
                      Label("node %d group %d face %d corner %d normal", ni, g2, f2, c));
                b.Ref(corner + 8, l.edgeRecords[gi] + uint32_t(edge) * EdgeSize(g.type), BlockBuilder::Base::Element0,
                      Label("node %d group %d face %d corner %d edge", ni, g2, f2, c));
            }
            uint32_t normal = l.faceNormals + uint32_t(l.firstFaceNormal[gi] + int(fi)) * kNormalSize;
            b.Ref(face + 44, normal, BlockBuilder::Base::Element0, Label("node %d group %d face %d face normal", ni, g2, f2));
            I3 fn = FaceNormalOfSpec(spec, n, f);
            b.I32(face + 48, PlaneOf(fn, KeyPosition(spec, n, CornerKey(f, 0))));
            if (size == 56) {
                b.U8(face + 52, f.shade);
                continue;
            }
            for (int c = 0; c < 3; ++c)
                b.Ref(face + 52 + uint32_t(c) * 4, l.uvs + uint32_t(f.uv[c]) * 8, BlockBuilder::Base::Element0,
                      Label("node %d group %d face %d uv %d", ni, g2, f2, c));
            b.U8(face + 64, f.shade);
            for (int c = 0; c < 3; ++c) b.U8(face + 65 + uint32_t(c), f.cornerShade[c]);
        }
    }
    for (size_t gi = 0; gi < l.groups.size(); ++gi) {
        std::string what = Label("node %d group %d next", ni, int(gi));
        if (gi + 1 < l.groups.size()) b.Ref(l.groups[gi], l.groups[gi + 1], BlockBuilder::Base::Element0, what);
        else b.Null(l.groups[gi], what);
    }
}

void WriteNodeLinks(BlockBuilder& b, const ObjectSpec& spec, const std::vector<NodeLayout>& layout) {
    size_t count = spec.nodes.size();
    for (size_t i = 0; i < count; ++i) {
        const NodeSpec& n = spec.nodes[i];
        uint32_t node = layout[i].node;
        int i2 = int(i);
        if (n.parent >= 0) b.Ref(node + 16, layout.at(size_t(n.parent)).node, BlockBuilder::Base::Element0, Label("node %d parent", i2));
        else b.Null(node + 16, Label("node %d parent", i2));
        // Children in node order: the first is the parent's first child.
        int child = -1, sibling = -1;
        for (size_t j = 0; j < count && child < 0; ++j)
            if (spec.nodes[j].parent == int(i)) child = int(j);
        for (size_t j = i + 1; j < count && sibling < 0 && n.parent >= 0; ++j)
            if (spec.nodes[j].parent == n.parent) sibling = int(j);
        if (child >= 0) b.Ref(node + 20, layout[size_t(child)].node, BlockBuilder::Base::Element0, Label("node %d child", i2));
        else b.Null(node + 20, Label("node %d child", i2));
        if (sibling >= 0) b.Ref(node + 24, layout[size_t(sibling)].node, BlockBuilder::Base::Element0, Label("node %d sibling", i2));
        else b.Null(node + 24, Label("node %d sibling", i2));
    }
}

void WriteNodeFields(BlockBuilder& b, const NodeSpec& n, const NodeLayout& l, int ni) {
    uint32_t node = l.node;
    b.Text(node, n.name, 12);
    b.U8(node + 12, n.flags);
    b.U8(node + 13, n.flags2);
    b.I32(node + 28, n.pos.x), b.I32(node + 32, n.pos.y), b.I32(node + 36, n.pos.z);
    for (int k = 0; k < 9; ++k) b.I32(node + 40 + uint32_t(k) * 4, n.matrix[size_t(k)]);
    auto array = [&](uint32_t countAt, size_t count, uint32_t at, const char* what) {
        b.I32(node + countAt, int32_t(count));
        if (at) b.Ref(node + countAt + 4, at, BlockBuilder::Base::Element0, Label(what, ni));
        else b.Null(node + countAt + 4, Label(what, ni));
    };
    size_t faceNormals = 0;
    for (const GroupSpec& g : n.groups) faceNormals += g.faces.size();
    array(124, n.vertices.size(), l.vertices, "node %d vertices");
    array(132, n.uvs.size(), l.uvs, "node %d uvs");
    array(140, n.vertices.size(), l.vertexNormals, "node %d vertex normals");
    array(148, faceNormals, l.faceNormals, "node %d face normals");
    array(156, l.box ? 1 : 0, l.box, "node %d boxes");
    if (!l.groups.empty()) b.Ref(node + 164, l.groups[0], BlockBuilder::Base::Element0, Label("node %d groups", ni));
    else b.Null(node + 164, Label("node %d groups", ni));
    if (!l.edgeGroups.empty()) b.Ref(node + 168, l.edgeGroups[0], BlockBuilder::Base::Element0, Label("node %d edge groups", ni));
    else b.Null(node + 168, Label("node %d edge groups", ni));
    b.I32(node + 172, n.lighting);
    b.I32(node + 192, n.lightCount);
    for (int k = 0; k < 8; ++k) b.U8(node + 196 + uint32_t(k), n.lights[size_t(k)]);
    b.U32(node + 204, n.translucency);
}

}  // namespace

std::vector<uint8_t> BuildObject(const ObjectSpec& spec, Manifest* manifest) {
    BlockBuilder b(1);
    uint32_t count = uint32_t(spec.nodes.size());
    b.Alloc(4 + 4 * count + 4);
    b.U32(20, count);
    uint32_t modelsWord = 24 + 4 * count;
    b.U32(modelsWord, uint32_t(spec.models.size()));
    uint32_t models = b.Alloc(44 * uint32_t(spec.models.size()));
    for (size_t i = 0; i < spec.models.size(); ++i) {
        b.Text(models + uint32_t(i) * 44, spec.models[i].name, 16);
        b.Text(models + uint32_t(i) * 44 + 16, spec.models[i].file, 28);
    }
    std::vector<NodeLayout> layout(count);
    for (uint32_t i = 0; i < count; ++i) {
        layout[i].node = b.Alloc(kNodeSize);
        b.Ref(24 + 4 * i, layout[i].node, BlockBuilder::Base::Block20, Label("element %d", int(i)));
    }
    if (count) b.SetElement0(layout[0].node);
    for (uint32_t i = 0; i < count; ++i) {
        const NodeSpec& n = spec.nodes[i];
        WriteNodeArrays(b, spec, n, layout[i], int(i));
        WriteEdgeGroups(b, n, layout[i], int(i), layout);
        WriteGroups(b, spec, n, layout[i], int(i), layout);
        WriteNodeFields(b, n, layout[i], int(i));
    }
    WriteNodeLinks(b, spec, layout);
    if (manifest) *manifest = b.manifest();
    return b.File();
}

// ---------------------------------------------------------------------------
// Textures
// ---------------------------------------------------------------------------

uint16_t Rgb565(Rgb c) {
    return uint16_t((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
}

uint32_t ShadeEntry(const std::array<Rgb, 256>& palette, int row, int index) {
    // Row 15 is the palette itself; each row up is a sixteenth brighter and
    // each row down a sixteenth darker, to black at row 31.
    auto scale = [row](uint8_t v) { return uint8_t(std::min(255, v * (31 - row) / 16)); };
    Rgb c = palette[size_t(index)];
    return uint32_t(Rgb565({scale(c.r), scale(c.g), scale(c.b)})) << 16;
}

std::vector<uint8_t> BuildTexture(const std::array<Rgb, 256>& palette, const std::vector<uint8_t>& indices,
                                  const std::vector<uint8_t>* alpha) {
    BlockBuilder b(3);
    uint32_t table = b.Alloc(32768);
    for (int row = 0; row < 32; ++row)
        for (int i = 0; i < 256; ++i) b.U32(table + uint32_t(row * 256 + i) * 4, ShadeEntry(palette, row, i));
    uint32_t texels = b.Alloc(alpha ? 131072 : 65536);
    for (uint32_t i = 0; i < 65536; ++i) {
        uint8_t index = i < indices.size() ? indices[i] : 0;
        if (alpha) {
            b.U8(texels + i * 2, index);
            b.U8(texels + i * 2 + 1, i < alpha->size() ? (*alpha)[i] : 0);
        } else {
            b.U8(texels + i, index);
        }
    }
    return b.File();
}

std::vector<uint8_t> BuildFrameTexture(const std::array<Rgb, 256>& palette, const std::vector<uint8_t>& indices) {
    auto nearest = [&palette](int r, int g, int b) {
        int best = 0, bestDistance = INT32_MAX;
        for (int i = 0; i < 256; ++i) {
            int dr = palette[size_t(i)].r - r, dg = palette[size_t(i)].g - g, db = palette[size_t(i)].b - b;
            int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) best = i, bestDistance = d;
        }
        return uint8_t(best);
    };
    std::vector<std::vector<uint8_t>> images(kFrameLevels);
    images[0].assign(65536, 0);
    for (size_t i = 0; i < 65536 && i < indices.size(); ++i) images[0][i] = indices[i];
    for (int level = 1; level < kFrameLevels; ++level) {
        const std::vector<uint8_t>& above = images[size_t(level - 1)];
        const int side = 256 >> level, aboveSide = side * 2;
        std::vector<uint8_t>& image = images[size_t(level)];
        image.assign(size_t(side * side), 0);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                int r = 0, g = 0, b = 0;
                for (int k = 0; k < 4; ++k) {
                    const Rgb& c = palette[above[size_t((2 * y + k / 2) * aboveSide + 2 * x + k % 2)]];
                    r += c.r, g += c.g, b += c.b;
                }
                image[size_t(y * side + x)] = nearest((r + 2) / 4, (g + 2) / 4, (b + 2) / 4);
            }
    }
    BlockBuilder b(3);
    uint32_t table = b.Alloc(32768);
    for (int row = 0; row < 32; ++row)
        for (int i = 0; i < 256; ++i) b.U32(table + uint32_t(row * 256 + i) * 4, ShadeEntry(palette, row, i));
    // The reduced images from level 6 up, then level 0, which ends the file:
    // every image is then followed by at least 64 K bytes of the file, and
    // the file (120 236 bytes) lies between the colour and the alpha maps'
    // sizes, which is how the loader knows it.
    uint32_t imageBytes = 0;
    for (const std::vector<uint8_t>& image : images) imageBytes += uint32_t(image.size());
    const uint32_t texels = b.Alloc(kFrameImagesAt + imageBytes);
    uint32_t at = kFrameImagesAt;
    for (int level = kFrameLevels - 1; level >= 0; --level) {
        const uint32_t entry = texels + uint32_t(level) * 8;
        b.U32(entry, at);
        b.U8(entry + 4, uint8_t(8 + level));
        const uint32_t rowLength = 256u >> level;
        b.U8(entry + 6, uint8_t(rowLength & 0xFF));
        b.U8(entry + 7, uint8_t(rowLength >> 8));
        for (size_t i = 0; i < images[size_t(level)].size(); ++i) b.U8(texels + at + uint32_t(i), images[size_t(level)][i]);
        at += uint32_t(images[size_t(level)].size());
    }
    return b.File();
}

// ---------------------------------------------------------------------------
// Animations, collision, raw blocks
// ---------------------------------------------------------------------------

std::vector<uint8_t> BuildAnimation(const std::vector<TrackSpec>& tracks, bool spline, Manifest* manifest) {
    BlockBuilder b(spline ? 6 : 4);
    uint32_t count = uint32_t(tracks.size());
    b.Alloc(4 + 4 * count);
    b.U32(20, count);
    uint32_t rotationSize = spline ? 60 : 20, positionSize = spline ? 48 : 16;
    for (uint32_t i = 0; i < count; ++i) {
        const TrackSpec& t = tracks[i];
        uint32_t element = b.Alloc(20);
        int i2 = int(i);
        b.Ref(24 + 4 * i, element, BlockBuilder::Base::Block20, Label("element %d", i2));
        b.I32(element, t.length);
        b.I32(element + 4, int32_t(t.rotations.size()));
        b.I32(element + 8, int32_t(t.positions.size()));
        // An empty key array names its element: a place inside the block.
        uint32_t rotations = t.rotations.empty() ? element : b.Alloc(rotationSize * uint32_t(t.rotations.size()));
        uint32_t positions = t.positions.empty() ? element : b.Alloc(positionSize * uint32_t(t.positions.size()));
        b.Ref(element + 12, rotations, BlockBuilder::Base::Block20, Label("element %d rotations", i2));
        b.Ref(element + 16, positions, BlockBuilder::Base::Block20, Label("element %d positions", i2));
        for (size_t k = 0; k < t.rotations.size(); ++k) {
            const RotationKey& r = t.rotations[k];
            uint32_t at = rotations + uint32_t(k) * rotationSize;
            b.I32(at, r.time);
            for (int c = 0; c < 4; ++c) b.I32(at + 4 + uint32_t(c) * 4, r.q[size_t(c)]);
            if (!spline) continue;
            b.F32(at + 20, r.easeA), b.F32(at + 24, r.easeB);
            for (int c = 0; c < 4; ++c) b.I32(at + 44 + uint32_t(c) * 4, r.control[size_t(c)]);
        }
        for (size_t k = 0; k < t.positions.size(); ++k) {
            const PositionKey& p = t.positions[k];
            uint32_t at = positions + uint32_t(k) * positionSize;
            b.I32(at, p.time), b.I32(at + 4, p.p.x), b.I32(at + 8, p.p.y), b.I32(at + 12, p.p.z);
            if (!spline) continue;
            b.F32(at + 16, p.easeA), b.F32(at + 20, p.easeB);
            b.I32(at + 24, p.in.x), b.I32(at + 28, p.in.y), b.I32(at + 32, p.in.z);
            b.I32(at + 36, p.out.x), b.I32(at + 40, p.out.y), b.I32(at + 44, p.out.z);
        }
    }
    if (manifest) *manifest = b.manifest();
    return b.File();
}

std::vector<uint8_t> BuildCollision(const CollisionSpec& spec, Manifest* manifest) {
    BlockBuilder b(5);
    b.Alloc(28);
    uint32_t vertices = b.Alloc(12 * uint32_t(std::max<size_t>(spec.vertices.size(), 1)));
    uint32_t parts = b.Alloc(16 * uint32_t(std::max<size_t>(spec.parts.size(), 1)));
    uint32_t faces = b.Alloc(96 * uint32_t(spec.faces.size()));
    b.I32(20, int32_t(spec.vertices.size()));
    b.Ref(24, vertices, BlockBuilder::Base::Block19, "vertices");
    b.I32(28, int32_t(spec.faces.size()));
    b.Ref(32, faces, BlockBuilder::Base::Block19, "faces");
    b.I32(36, int32_t(spec.parts.size()));
    b.Ref(40, parts, BlockBuilder::Base::Block19, "parts");
    for (size_t i = 0; i < spec.vertices.size(); ++i) {
        uint32_t at = vertices + uint32_t(i) * 12;
        b.I32(at, spec.vertices[i].x), b.I32(at + 4, spec.vertices[i].y), b.I32(at + 8, spec.vertices[i].z);
    }
    for (size_t i = 0; i < spec.parts.size(); ++i) {
        b.Text(parts + uint32_t(i) * 16, spec.parts[i], 12);
        b.I32(parts + uint32_t(i) * 16 + 12, int32_t(i));
    }
    for (size_t i = 0; i < spec.faces.size(); ++i) {
        const CollisionFaceSpec& f = spec.faces[i];
        uint32_t face = faces + uint32_t(i) * 96;
        int i2 = int(i);
        for (int c = 0; c < 4; ++c)
            b.Ref(face + uint32_t(c) * 4, vertices + uint32_t(f.v[c % 3]) * 12, BlockBuilder::Base::Block19,
                  Label("face %d corner %d", i2, c));
        I3 n = FaceNormalOf(spec.vertices, f.v);
        b.I32(face + 16, n.x), b.I32(face + 20, n.y), b.I32(face + 24, n.z);
        b.I32(face + 28, PlaneOf(n, spec.vertices[size_t(f.v[0])]));
        b.I32(face + 32, f.kind);
        I3 lo = spec.vertices[size_t(f.v[0])], hi = lo;
        for (int c = 1; c < 3; ++c) {
            I3 v = spec.vertices[size_t(f.v[c])];
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
        b.I32(face + 36, lo.x), b.I32(face + 40, lo.y), b.I32(face + 44, lo.z);
        b.I32(face + 48, hi.x), b.I32(face + 52, hi.y), b.I32(face + 56, hi.z);
        b.I32(face + 64, f.part);
        b.Ref(face + 68, parts + uint32_t(f.part) * 16, BlockBuilder::Base::Block19, Label("face %d part", i2));
    }
    if (manifest) *manifest = b.manifest();
    return b.File();
}

std::vector<uint8_t> BuildRaw(const std::vector<uint8_t>& data) {
    BlockBuilder b(0);
    uint32_t at = b.Alloc(uint32_t(data.size()));
    for (size_t i = 0; i < data.size(); ++i) b.U8(at + uint32_t(i), data[i]);
    return b.File();
}

std::vector<uint8_t> BuildElements(const std::vector<std::vector<uint8_t>>& elements, Manifest* manifest) {
    BlockBuilder b(2);
    b.Alloc(4 + 4 * uint32_t(elements.size()));
    b.U32(20, uint32_t(elements.size()));
    for (size_t i = 0; i < elements.size(); ++i) {
        uint32_t at = b.Alloc(uint32_t(std::max<size_t>(elements[i].size(), 4)));
        for (size_t k = 0; k < elements[i].size(); ++k) b.U8(at + uint32_t(k), elements[i][k]);
        b.Ref(24 + 4 * uint32_t(i), at, BlockBuilder::Base::Block20, Label("element %d", int(i)));
    }
    if (manifest) *manifest = b.manifest();
    return b.File();
}

}  // namespace kit
