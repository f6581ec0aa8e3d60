#include "scene_support.h"

#include <cstdio>

namespace test {

WalkRecord g_Walk;

namespace {

std::string NodeName(PoolRef<Obj3D> n) {
    return reinterpret_cast<const char*>(PoolPtr(n.off));
}

void RecordRender(PoolRef<Obj3D> n) {
    g_Walk.events.push_back("render " + NodeName(n));
    g_Walk.rendered.push_back(n);
    g_Walk.trace += g_Walk.detailed ? DescribeNode(n) : "render " + NodeName(n) + "\n";
}

void RecordDone(PoolRef<Obj3D> n) {
    g_Walk.events.push_back("done " + NodeName(n));
    g_Walk.trace += "done " + NodeName(n) + "\n";
}

// Names a vertex: own index, parent's index, or a clipper's vertex.
std::string VertexName(PoolRef<Obj3D> node, PoolRef<ObjVertex> v) {
    char text[32];
    for (PoolRef<Obj3D> n : {node, Get(node, &Obj3D::parent)}) {
        if (!n) continue;
        PoolRef<ObjVertex> base = Get(n, &Obj3D::vertices);
        int32_t count = Get(n, &Obj3D::vertexCount);
        if (base && v.off >= base.off && v.off < base.off + uint32_t(count) * sizeof(ObjVertex)) {
            std::snprintf(text, sizeof text, "%s%u", n == node ? "v" : "p", (v.off - base.off) / 40);
            return text;
        }
    }
    return "new";
}

}  // namespace

std::string DescribeNode(PoolRef<Obj3D> node) {
    char line[256];
    Obj3D n = Load(node);
    std::snprintf(line, sizeof line, "render %s flags %02x flags2 %02x\n", n.name, n.flags, n.flags2);
    std::string out = line;
    int gi = 0;
    for (PoolRef<PrimGroup> g = n.groups; g; g = Get(g, &PrimGroup::next), ++gi) {
        PrimGroup group = Load(g);
        uint32_t size = Group_FaceSize(g);
        std::snprintf(line, sizeof line, "  group %d type %d\n", gi, group.type);
        out += line;
        for (PoolRef<PrimFace> f = group.visible; f; f = Get(f, &PrimFace::next)) {
            PrimFace face = Load(f);
            bool own = size && f.off >= group.faces.off && f.off < group.faces.off + uint32_t(group.faceCount) * size;
            if (own) std::snprintf(line, sizeof line, "    face %u flags %x", (f.off - group.faces.off) / size, face.flags);
            else std::snprintf(line, sizeof line, "    piece flags %x", face.flags);
            out += line;
            if (!(face.flags & kFaceHidden)) {
                for (int c = 0; c < 3; ++c) {
                    ObjVertex v = Load(face.corner[c].vertex);
                    std::snprintf(line, sizeof line, " %s(%d,%d z%.1f c%02x)", VertexName(node, face.corner[c].vertex).c_str(), v.sx,
                                  v.sy, double(v.cz), v.flags & 0xFF);
                    out += line;
                }
                if (!own && size == sizeof(PrimFaceLong)) {
                    PrimFaceLong l = Load(Ref<PrimFaceLong>(f.off));
                    out += " uv";
                    for (int c = 0; c < 3; ++c) {
                        UvPair uv = Load(l.uv[c]);
                        std::snprintf(line, sizeof line, " %d,%d", uv.u, uv.v);
                        out += line;
                    }
                }
            }
            out += "\n";
        }
    }
    int ei = 0;
    for (PoolRef<EdgeGroup> e = n.edgeGroups; e; e = Get(e, &EdgeGroup::next), ++ei) {
        EdgeGroup eg = Load(e);
        int chain = 0;
        for (PoolRef<PrimEdge> r = eg.current; r && chain < 100000; r = Get(r, &PrimEdge::next)) ++chain;
        if (chain != eg.count) {
            std::snprintf(line, sizeof line, "  edge group %d: %d edges, %d from the clipper\n", ei, chain, chain - eg.count);
            out += line;
        }
    }
    return out;
}

void SceneTest::SetUp() {
    Engine3DTest::SetUp();
    Clear_Lights();
    savedRender_ = g_ObjectRenderSlot;
    savedDone_ = g_ObjectDoneSlot;
    g_View = {};
    g_SpanView = {};
    Set_ViewRect(640, 480, 0, 0, 400);
    Set_ViewSize(640, 480);
    Set_DepthOffset(128);
    g_Walk = WalkRecord{};
}

void SceneTest::TearDown() {
    g_ObjectRenderSlot = savedRender_;
    g_ObjectDoneSlot = savedDone_;
    Clear_Lights();
    Engine3DTest::TearDown();
}

ObjHandle SceneTest::LoadSpec(const kit::ObjectSpec& spec, const std::string& name) {
    std::string path = ".\\t\\" + name + ".3dc";
    Put(path, kit::BuildObject(spec, nullptr));
    ObjHandle h = Load_Object(path.c_str());
    EXPECT_GT(h, 0);
    Attach_Obj(h, 0);
    return h;
}

void SceneTest::PlaceCamera(Vec3 from, Vec3 to) {
    Mat3 m;
    Make_LookAt(&from, &to, &m);
    Set_ObjMatrix(0, &m);
    Set_ObjPos(0, &from);
}

void SceneTest::IdentityCamera() {
    Mat3 m;
    Set_Identity(&m);
    Vec3 zero{0, 0, 0};
    Set_ObjMatrix(0, &m);
    Set_ObjPos(0, &zero);
}

void SceneTest::Walk(bool withDone) {
    g_Walk.events.clear();
    g_Walk.rendered.clear();
    g_Walk.trace.clear();
    g_ObjectRenderSlot = RecordRender;
    g_ObjectDoneSlot = withDone ? RecordDone : nullptr;
    Walk_Scene(SceneRoot);
}

kit::NodeSpec Triangle(const std::string& name, int32_t type, kit::I3 a, kit::I3 b, kit::I3 c) {
    kit::NodeSpec n;
    n.name = name;
    n.vertices = {a, b, c};
    n.uvs = {{0, 0}, {255 << 16, 0}, {0, 255 << 16}};
    kit::GroupSpec g;
    g.type = type;
    g.faces.push_back(kit::FaceSpec{{0, 1, 2}, {0, 1, 2}, 7, {3, 4, 5}});
    n.groups = {g};
    return n;
}

kit::ObjectSpec Single(const kit::NodeSpec& node) {
    kit::ObjectSpec spec;
    spec.nodes = {node};
    return spec;
}

PoolRef<PrimGroup> FirstGroup(ObjHandle h) {
    return Get(Get_Node(h), &Obj3D::groups);
}

std::vector<PoolRef<PrimFace>> VisibleFaces(PoolRef<PrimGroup> g) {
    std::vector<PoolRef<PrimFace>> out;
    for (PoolRef<PrimFace> f = Get(g, &PrimGroup::visible); f && out.size() < 1000; f = Get(f, &PrimFace::next))
        out.push_back(f);
    return out;
}

ObjVertex CornerVertex(PoolRef<PrimFace> f, int c) {
    return Load(Load(f).corner[c].vertex);
}

std::vector<uint16_t> Wireframe(const std::vector<PoolRef<Obj3D>>& nodes) {
    std::vector<uint16_t> pixels(size_t(g_View.stride) * size_t(g_View.targetHeight), 0);
    const uint16_t colours[] = {0xC618, 0xF800, 0x07E0, 0xFFE0, 0xF81F};
    for (size_t i = 0; i < nodes.size(); ++i) {
        PoolRef<Obj3D> n = nodes[i];
        for (PoolRef<PrimGroup> g = Get(n, &Obj3D::groups); g; g = Get(g, &PrimGroup::next)) {
            PrimGroup group = Load(g);
            uint32_t size = Group_FaceSize(g);
            for (PoolRef<PrimFace> f = group.visible; f; f = Get(f, &PrimFace::next)) {
                PrimFace face = Load(f);
                if (face.flags & kFaceHidden) continue;
                bool own = size && f.off >= group.faces.off && f.off < group.faces.off + uint32_t(group.faceCount) * size;
                uint16_t colour = own ? colours[i % 5] : 0x07FF;
                for (int c = 0; c < 3; ++c) {
                    ObjVertex a = Load(face.corner[c].vertex), b = Load(face.corner[(c + 1) % 3].vertex);
                    Draw_Line(pixels.data(), a.sx, a.sy, b.sx, b.sy, colour);
                }
            }
        }
    }
    return pixels;
}

std::vector<uint32_t> ToXrgb(const std::vector<uint16_t>& pixels) {
    std::vector<uint32_t> out(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        uint32_t c = pixels[i];
        uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        out[i] = (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    }
    return out;
}

}  // namespace test
