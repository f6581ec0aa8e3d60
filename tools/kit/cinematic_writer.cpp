// In-engine cinematics: track files, visibility files and mission 7's
// cinematic.
#include "tools/kit/cinematic_writer.h"

#include "tools/kit/byte_writer.h"
#include "tools/kit/sound_writer.h"

#include <bit>

namespace kit {

namespace {

constexpr size_t kNameWidth = 16;
constexpr int32_t kCine1Mid = kCine1Frames / 2;
constexpr std::array<int32_t, 4> kStill{0, 0, 0, 32767};

void F32(ByteWriter* w, float v) {
    w->U32(std::bit_cast<uint32_t>(v));
}

void Points(ByteWriter* w, const std::vector<CamPoint>& keys) {
    for (const CamPoint& k : keys) {
        w->I32(k.frame);
        F32(w, k.x), F32(w, k.y), F32(w, k.z);
    }
}

void Values(ByteWriter* w, const std::vector<CamValue>& keys) {
    for (const CamValue& k : keys) {
        w->I32(k.frame);
        F32(w, k.value);
    }
}

void Name(ByteWriter* w, const std::string& name) {
    w->FixedText(name.substr(0, kNameWidth - 1), kNameWidth);
}

NodeSpec Box(const std::string& name, I3 min, I3 max, uint32_t colour) {
    NodeSpec n;
    n.name = name;
    n.parent = 0;
    n.groups = {{1, "", colour, {}}};
    AddBox(&n, 0, min, max);
    return n;
}

TrackSpec Hold(I3 at) {
    return {kCine1Frames, {{0, kStill}, {kCine1Frames, kStill}}, {{0, at}, {kCine1Frames, at}}};
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

}  // namespace

std::vector<uint8_t> CamFileBytes(const CamSpec& s) {
    ByteWriter w;
    w.I32(s.mode);
    w.I32(s.hasOffset ? 1 : 0);
    if (s.hasOffset) F32(&w, s.offset[0]), F32(&w, s.offset[1]), F32(&w, s.offset[2]);
    w.I32(s.hasRotation ? 1 : 0);
    if (s.hasRotation) {
        w.I32(int32_t(s.positions.size()));
        w.I32(int32_t(s.rotations.size()));
        Points(&w, s.positions);
        for (const CamRotation& k : s.rotations) {
            w.I32(k.frame);
            F32(&w, k.angle), F32(&w, k.x), F32(&w, k.y), F32(&w, k.z);
        }
    }
    w.I32(s.eyeCountWritten >= 0 || s.eyeCountWritten < -1 ? s.eyeCountWritten : int32_t(s.eyes.size()));
    w.I32(int32_t(s.lenses.size()));
    w.I32(int32_t(s.rolls.size()));
    Points(&w, s.eyes);
    Values(&w, s.lenses);
    Values(&w, s.rolls);
    w.I32(int32_t(s.targets.size()));
    Points(&w, s.targets);
    if (!s.events) return w.Take();
    w.I32(int32_t(s.events->size()));
    for (const auto& [frame, value] : *s.events) w.I32(frame), w.I32(value);
    if (!s.actors) return w.Take();
    w.I32(int32_t(s.actors->size()));
    for (const CamActor& a : *s.actors) {
        Name(&w, a.name);
        w.I32(int32_t(a.keys.size()));
        for (const CamMorphKey& k : a.keys) {
            w.I32(k.frame);
            Name(&w, k.name);
        }
    }
    return w.Take();
}

std::vector<uint8_t> HidFileBytes(const HidSpec& s) {
    ByteWriter w;
    w.I32(s.fadeLength);
    w.I32(s.percent);
    w.I32(s.countWritten != -1 ? s.countWritten : int32_t(s.keys.size()));
    for (int32_t k : s.keys) w.I32(k);
    return w.Take();
}

CamSpec DemoCine1Tracks() {
    CamSpec s;
    s.mode = 1;
    s.hasOffset = true;
    s.offset[0] = 0, s.offset[1] = 0, s.offset[2] = 10;
    s.hasRotation = true;
    // The camera swings a quarter turn about the vertical while it backs
    // away and the lens narrows.
    s.positions = {{0, 0, 0, 0}, {kCine1Frames, 0, -40, 0}};
    s.rotations = {{0, 0, 0, 0, 1}, {kCine1Frames, 90, 0, 0, 1}};
    s.eyes = {{0, 0, -300, 100}, {kCine1Mid, 60, -320, 110}, {kCine1Frames, 0, -360, 120}};
    s.lenses = {{0, 60}, {kCine1Frames, 45}};
    s.rolls = {{0, 0}, {kCine1Mid, -10}, {kCine1Frames, 0}};
    s.targets = {{0, 0, 0, 20}};
    s.events = std::vector<std::pair<int32_t, int32_t>>{{5, 1}, {20, 2}};
    s.actors = std::vector<CamActor>{
        {"flag", {{0, "~flag1"}, {kCine1Mid, "flag2"}, {kCine1Frames, "~flag1"}}}};
    return s;
}

ObjectSpec DemoCine1Scene() {
    ObjectSpec spec;
    NodeSpec stage;
    stage.name = "stage";
    stage.groups = {{1, "", 0x4208, {}}};
    AddQuad(&stage, 0, {{{-600, 0, -600}, {600, 0, -600}, {600, 0, 600}, {-600, 0, 600}}}, {0, -1000, 0});
    // y points down: the flag stands above the stage.
    spec.nodes = {stage, Box("*", {-20, -20, -20}, {20, 20, 20}, 0x001F), Box("flag", {-100, -200, -10}, {100, 0, 10}, 0xF800),
                  Box("~flag1", {-100, -200, -10}, {100, 0, 10}, 0xFFFF),
                  Box("flag2", {-100, -400, -10}, {100, 0, 10}, 0xFFFF)};
    return spec;
}

HidSpec DemoCine1Actor1Visibility() {
    // Hidden at once at frame 0, faded in from frame 5 and out from 20, over
    // 4 frames each, to 80 per cent.
    return {4, 80, {0, 5, 20}};
}

std::vector<NamedFile> DemoCinematicFiles() {
    const std::string base = ".\\ms7\\cine\\cine1";
    ObjectSpec actor = Cube("actor1", 80, 0x07E0);
    actor.nodes[0].pos = {200, -80, 0};
    std::vector<TrackSpec> sceneTracks;
    for (const NodeSpec& n : DemoCine1Scene().nodes) sceneTracks.push_back(Hold(n.pos));
    std::vector<TrackSpec> actorTracks;
    for (const NodeSpec& n : actor.nodes) actorTracks.push_back(Hold(n.pos));
    return {
        {base + ".cam", CamFileBytes(DemoCine1Tracks())},
        {base + ".3dc", BuildObject(DemoCine1Scene(), nullptr)},
        {base + ".3da", BuildAnimation(sceneTracks, false, nullptr)},
        {base + "1.3dc", BuildObject(actor, nullptr)},
        {base + "1.3da", BuildAnimation(actorTracks, false, nullptr)},
        {base + "1.hid", HidFileBytes(DemoCine1Actor1Visibility())},
    };
}

std::vector<uint8_t> DemoCinematicSound() {
    constexpr uint32_t kRate = 22050;
    SnpSound sound{kRate, 0x41, 0, 0, 0, {Tone(kRate, 0.5, 220, 330, 0.3)}};
    return SnpFile(sound);
}

std::vector<CamVariant> CamVariants() {
    const CamSpec full = DemoCine1Tracks();
    std::vector<CamVariant> out;
    out.push_back({"full", CamFileBytes(full), 1});
    CamSpec tailless = full;
    tailless.events.reset();
    tailless.actors.reset();
    out.push_back({"tailless", CamFileBytes(tailless), 1});
    CamSpec eventsOnly = full;
    eventsOnly.actors.reset();
    out.push_back({"events-only", CamFileBytes(eventsOnly), 1});
    CamSpec zero = tailless;
    zero.hasRotation = false;
    zero.positions.clear();
    zero.rotations.clear();
    zero.eyes.clear();
    zero.lenses.clear();
    zero.rolls.clear();
    zero.targets.clear();
    out.push_back({"zero-keys", CamFileBytes(zero), 1});
    CamSpec equal = tailless;
    equal.eyes = {{0, 0, -300, 100}, {10, 0, -300, 100}, {10, 50, -350, 100}};
    equal.rolls = {{10, 20}, {10, 40}};
    out.push_back({"equal-frames", CamFileBytes(equal), 1});
    CamSpec negative = tailless;
    negative.eyeCountWritten = -2;
    out.push_back({"negative-count", CamFileBytes(negative), -1});
    CamSpec huge = tailless;
    huge.eyeCountWritten = 0x7FFFFFFF;
    out.push_back({"huge-count", CamFileBytes(huge), -1});
    // Cut inside the eye keys: mode, hasOffset, offset, hasRotation, the
    // two counts, 2 position and 2 rotation keys, the three counts, then
    // one byte short of the first eye key.
    const size_t eyes = 4 + 4 + 12 + 4 + 8 + 2 * 16 + 2 * 20 + 12;
    out.push_back({"cut-mandatory", Cut(CamFileBytes(full), eyes + 15), -1});
    const std::vector<uint8_t> whole = CamFileBytes(full);
    out.push_back({"cut-actor", Cut(whole, whole.size() - 3), -1});
    return out;
}

}  // namespace kit
