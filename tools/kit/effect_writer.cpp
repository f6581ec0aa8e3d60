// Effect files and morph targets.
#include "tools/kit/effect_writer.h"

#include "tools/kit/byte_writer.h"

#include <cstring>

namespace kit {

namespace {

void Name(ByteWriter* w, const std::string& text, size_t width) {
    w->FixedText(text.substr(0, width - 1), width);
}

void F32(ByteWriter* w, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    w->U32(bits);
}

}  // namespace

std::vector<uint8_t> CgsFile(const std::vector<CgsRecordSpec>& records, int32_t param, int32_t version) {
    ByteWriter w;
    w.I32(version);
    w.I32(param);
    for (const CgsRecordSpec& r : records) {
        w.I32(r.startDelay);
        w.I32(r.soundFrame);
        Name(&w, r.sound, 64);
        Name(&w, r.base, 64);
        Name(&w, r.second, 64);
        Name(&w, r.part, 64);
    }
    return w.Take();
}

std::vector<uint8_t> EffFile(const EffSpec& spec) {
    ByteWriter w;
    w.I32(spec.endFrame);
    w.I32(int32_t(spec.scales.size()));
    for (const ScaleTrackSpec& t : spec.scales) {
        Name(&w, t.part, 16);
        for (int32_t v : t.vector) w.I32(v);
        w.I32(int32_t(t.keys.size()));
        for (const ScaleKeySpec& k : t.keys) {
            w.I32(k.frame);
            F32(&w, k.x);
            F32(&w, k.y);
            F32(&w, k.z);
        }
    }
    if (!spec.withMorphs) return w.Take();
    w.I32(int32_t(spec.morphs.size()));
    for (const MorphTrackSpec& t : spec.morphs) {
        Name(&w, t.part, 16);
        w.I32(int32_t(t.keys.size()));
        for (const MorphKeySpec& k : t.keys) {
            w.I32(k.frame);
            Name(&w, k.shape, 16);
        }
    }
    return w.Take();
}

std::vector<uint8_t> ClsFile(const ClsSpec& spec) {
    ByteWriter w;
    w.I32(spec.version);
    const int32_t words[10] = {spec.facing,       spec.follow,   spec.textureAnim, spec.tableLength, spec.baseCell,
                               spec.textureSpeed, spec.cellSize, spec.projectile,  spec.rate,        spec.groupShow};
    int count = spec.version == 3 ? 9 : 10;
    for (int i = 0; i < count; ++i) w.I32(words[i]);
    for (int32_t v : spec.table) w.I32(v);
    return w.Take();
}

std::vector<uint8_t> MorFile(const MorSpec& spec) {
    ByteWriter w;
    w.I32(spec.first);
    w.I32(int32_t(spec.targets.size()));
    for (const MorTargetSpec& t : spec.targets) {
        Name(&w, t.name, 16);
        w.I32(int32_t(t.points.size()));
        for (const I3& p : t.points) {
            w.I32(p.x);
            w.I32(p.y);
            w.I32(p.z);
        }
    }
    if (!spec.withGroups) return w.Take();
    w.I32(int32_t(spec.groups.size()));
    for (const MorGroupSpec& g : spec.groups) {
        Name(&w, g.part, 16);
        w.I32(int32_t(g.keys.size()));
        for (const MorKeySpec& k : g.keys) {
            w.I32(k.frame);
            Name(&w, k.target, 16);
        }
    }
    return w.Take();
}

}  // namespace kit
