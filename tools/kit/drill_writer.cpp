// The tendrils' drills and the canopy they grow on.
#include "tools/kit/drill_writer.h"

#include "tools/kit/demo_effects.h"

#include <cmath>

namespace kit {

namespace {

constexpr uint32_t kSideColours[2] = {0x07E0, 0x801F};
constexpr std::array<int32_t, 4> kStill{0, 0, 0, 32767};
// The stalk rises 200 units (y points down), the tip 120 more.
constexpr I3 kTipAt{0, -200, 0};

NodeSpec Part(const std::string& name, I3 at, int32_t half, int32_t height, uint32_t colour) {
    NodeSpec n;
    n.name = name;
    n.parent = 0;
    n.pos = at;
    n.groups = {{1, "", colour, {}}};
    AddBox(&n, 0, {-half, -height, -half}, {half, 0, half});
    return n;
}

TrackSpec Hold(I3 at) {
    return {kDrillSwayFrames, {{0, kStill}, {kDrillSwayFrames, kStill}}, {{0, at}, {kDrillSwayFrames, at}}};
}

}  // namespace

ObjectSpec DrillModel(int side) {
    const uint32_t colour = kSideColours[side == 1 ? 1 : 0];
    ObjectSpec spec;
    NodeSpec root;
    root.name = side == 1 ? "drilb" : "drill";
    root.groups = {{1, "", colour, {}}};
    AddBox(&root, 0, {-30, -200, -30}, {30, 0, 30});
    NodeSpec base;
    base.name = "#base";
    base.parent = 0;
    spec.nodes = {root, Part("tip", kTipAt, 15, 120, colour ^ 0x0821), base,
                  Part("~tip", kTipAt, 15, 120, 0xFFFF)};
    return spec;
}

std::vector<TrackSpec> DrillSway() {
    const int32_t n = kDrillSwayFrames;
    TrackSpec tip{n,
                  {{0, kStill}, {n / 4, TurnZ(25)}, {3 * n / 4, TurnZ(-25)}, {n, kStill}},
                  {{0, kTipAt}, {n, kTipAt}}};
    return {Hold({0, 0, 0}), tip, Hold({0, 0, 0}), Hold(kTipAt)};
}

MorSpec DrillMorph() {
    const NodeSpec tip = DrillModel(0).nodes[1];
    std::vector<I3> rest = tip.vertices, grown = tip.vertices;
    for (I3& p : grown) p.y *= 2;
    MorSpec mor;
    mor.targets = {{"~tip", rest}, {"grown", grown}};
    mor.groups = {{"tip", {{1, "~tip"}, {kDrillSwayFrames / 2, "grown"}, {kDrillSwayFrames, "~tip"}}}};
    return mor;
}

CollisionSpec WithCanopy(CollisionSpec spec, int32_t radius, int32_t y) {
    const int part = int(spec.parts.size());
    const int v0 = int(spec.vertices.size());
    spec.parts.push_back("canopy");
    const int faces = 12;
    spec.vertices.push_back({0, y, 0});
    for (int i = 0; i < faces; ++i) {
        const double a = 2 * 3.14159265358979 * i / faces;
        spec.vertices.push_back({int32_t(std::lround(radius * std::cos(a))), y, int32_t(std::lround(radius * std::sin(a)))});
    }
    // Kind 2: a face tendrils grow on.
    for (int i = 0; i < faces; ++i) spec.faces.push_back({{v0, v0 + 1 + i, v0 + 1 + (i + 1) % faces}, part, 2});
    return spec;
}

std::vector<NamedFile> DemoDrillFiles() {
    std::vector<NamedFile> files;
    const char* names[2] = {".\\all\\10drill", ".\\all\\10drilb"};
    for (int side = 0; side < 2; ++side) {
        const std::string base = names[side];
        files.push_back({base + ".3dc", BuildObject(DrillModel(side), nullptr)});
        files.push_back({base + ".3da", BuildAnimation(DrillSway(), false, nullptr)});
        files.push_back({base + ".mor", MorFile(DrillMorph())});
    }
    // The shot: a green bolt that flies at the hero.
    for (NamedFile& f : EffectSetFiles(".\\effects\\tbolt", BoltSet(0x07E0))) files.push_back(std::move(f));
    CgsRecordSpec record;
    record.base = ".\\effects\\tbolt";
    record.part.assign(1, '*');
    files.push_back({".\\effects\\tendtir.cgs", CgsFile({record})});
    return files;
}

}  // namespace kit
