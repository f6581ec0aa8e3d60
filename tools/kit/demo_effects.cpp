// The demo's animations and effect set.
#include "tools/kit/demo_effects.h"

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::array<int32_t, 4> Turn(int axis, double degrees) {
    double half = degrees * kPi / 360.0;
    std::array<int32_t, 4> q{0, 0, 0, int32_t(std::cos(half) * 32767.0)};
    q[size_t(axis)] = int32_t(std::sin(half) * 32767.0);
    return q;
}

constexpr std::array<int32_t, 4> kStill{0, 0, 0, 32767};

RotationKey Rot(int32_t time, std::array<int32_t, 4> q) {
    RotationKey k{time, q};
    // Spline keys: the control quaternion is the key itself, so the curve
    // between two keys is their plain blend eased by the key's values.
    k.control = q;
    k.easeA = 0.25f;
    k.easeB = 0.25f;
    return k;
}

PositionKey Pos(int32_t time, I3 p) {
    PositionKey k{time, p};
    k.easeA = 0.25f;
    k.easeB = 0.25f;
    return k;
}

// The character's rest positions (Character()): body, head, hand.
constexpr I3 kBody{0, 0, 0}, kHead{0, -300, 0}, kHand{80, -160, 0};

I3 Add(I3 a, I3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

// A track of rotation and position keys for one node.
TrackSpec Track(int32_t length, std::vector<RotationKey> r, std::vector<PositionKey> p) {
    return {length, std::move(r), std::move(p)};
}

// The helper node keeps its place: no keys.
TrackSpec Still(int32_t length) {
    return {length, {}, {}};
}

// Walking or running forward by `stride` over `length` frames: the body
// moves along its forward axis (z), the head bobs, the hand swings.
std::vector<TrackSpec> Gait(int32_t length, int32_t stride, int32_t swing, int32_t bob) {
    int32_t h = length / 2;
    return {
        Track(length, {Rot(0, kStill), Rot(length, kStill)}, {Pos(0, kBody), Pos(length, Add(kBody, {0, 0, stride}))}),
        Track(length, {Rot(0, kStill), Rot(h, TurnZ(4)), Rot(length, kStill)},
              {Pos(0, kHead), Pos(h / 2, Add(kHead, {0, -bob, 0})), Pos(h, kHead), Pos(h + h / 2, Add(kHead, {0, -bob, 0})),
               Pos(length, kHead)}),
        Track(length, {Rot(0, kStill), Rot(length, kStill)},
              {Pos(0, Add(kHand, {0, 0, -swing})), Pos(h, Add(kHand, {0, 0, swing})), Pos(length, Add(kHand, {0, 0, -swing}))}),
        Still(length),
    };
}

std::vector<TrackSpec> Idle(int32_t length) {
    int32_t q = length / 4;
    return {
        Track(length, {Rot(0, kStill), Rot(length, kStill)}, {Pos(0, kBody), Pos(length, kBody)}),
        Track(length, {Rot(0, kStill), Rot(q, TurnY(12)), Rot(3 * q, TurnY(-12)), Rot(length, kStill)},
              {Pos(0, kHead), Pos(length, kHead)}),
        Track(length, {Rot(0, kStill), Rot(length, kStill)},
              {Pos(0, kHand), Pos(2 * q, Add(kHand, {0, 8, 0})), Pos(length, kHand)}),
        Still(length),
    };
}

// The body leans back by `lean` degrees and comes back.
std::vector<TrackSpec> Hit(int32_t length, double lean) {
    return {
        Track(length, {Rot(0, kStill), Rot(length / 3, TurnX(-lean)), Rot(length, kStill)},
              {Pos(0, kBody), Pos(length / 3, Add(kBody, {0, 0, -40})), Pos(length, kBody)}),
        Track(length, {Rot(0, kStill), Rot(length / 3, TurnX(-lean / 2)), Rot(length, kStill)},
              {Pos(0, kHead), Pos(length, kHead)}),
        Track(length, {Rot(0, kStill), Rot(length, kStill)},
              {Pos(0, kHand), Pos(length / 3, Add(kHand, {20, -60, 0})), Pos(length, kHand)}),
        Still(length),
    };
}

// The hand goes to `reach` (relative to its rest) and back; the head looks
// at it.
std::vector<TrackSpec> Reach(int32_t length, I3 reach, double look) {
    int32_t h = length / 2;
    return {
        Track(length, {Rot(0, kStill), Rot(length, kStill)}, {Pos(0, kBody), Pos(length, kBody)}),
        Track(length, {Rot(0, kStill), Rot(h, TurnX(look)), Rot(length, kStill)}, {Pos(0, kHead), Pos(length, kHead)}),
        Track(length, {Rot(0, kStill), Rot(length, kStill)}, {Pos(0, kHand), Pos(h, Add(kHand, reach)), Pos(length, kHand)}),
        Still(length),
    };
}

// The guard falls on its back and stays.
std::vector<TrackSpec> Death(int32_t length) {
    return {
        Track(length, {Rot(0, kStill), Rot(length * 3 / 4, TurnX(-90)), Rot(length, TurnX(-90))},
              {Pos(0, kBody), Pos(length * 3 / 4, Add(kBody, {0, 0, -150})), Pos(length, Add(kBody, {0, 0, -150}))}),
        Track(length, {Rot(0, kStill), Rot(length, TurnX(-20))}, {Pos(0, kHead), Pos(length, kHead)}),
        Track(length, {Rot(0, kStill), Rot(length, kStill)}, {Pos(0, kHand), Pos(length, Add(kHand, {30, 120, 0}))}),
        Still(length),
    };
}

// The hero falls forward onto its front and stays: the body turns over its
// feet and comes to lie on the floor (lifted by half its depth, so that it
// lies on the floor rather than in it), the head sinks, the hand reaches
// out ahead.
std::vector<TrackSpec> FallForward(int32_t length) {
    const int32_t fallen = length * 2 / 3;
    return {
        Track(length, {Rot(0, kStill), Rot(fallen, TurnX(90)), Rot(length, TurnX(90))},
              {Pos(0, kBody), Pos(fallen, Add(kBody, {0, -40, 120})), Pos(length, Add(kBody, {0, -40, 120}))}),
        Track(length, {Rot(0, kStill), Rot(fallen, TurnX(30)), Rot(length, TurnX(30))},
              {Pos(0, kHead), Pos(length, kHead)}),
        Track(length, {Rot(0, kStill), Rot(length, kStill)},
              {Pos(0, kHand), Pos(fallen, Add(kHand, {0, -100, 60})), Pos(length, Add(kHand, {0, -100, 60}))}),
        Still(length),
    };
}

// The drain's single node turns a whole turn about the vertical axis and
// bobs up by `bob` at the half.
std::vector<TrackSpec> Spin(int32_t length, int32_t bob) {
    return {
        Track(length, {Rot(0, kStill), Rot(length / 3, TurnY(120)), Rot(2 * length / 3, TurnY(240)), Rot(length, TurnY(360))},
              {Pos(0, kBody), Pos(length / 2, {0, -bob, 0}), Pos(length, kBody)}),
    };
}

// The power animations share one block: the hand rises over the head,
// reaching the top at frame 40 (where the game lets the power leave),
// holds until frame 100 and comes down again by frame 141.
std::vector<TrackSpec> Cast() {
    const int32_t n = 141;
    return {
        Track(n, {Rot(0, kStill), Rot(n, kStill)}, {Pos(0, kBody), Pos(n, kBody)}),
        Track(n, {Rot(0, kStill), Rot(40, TurnX(15)), Rot(100, TurnX(15)), Rot(n, kStill)}, {Pos(0, kHead), Pos(n, kHead)}),
        Track(n, {Rot(0, kStill), Rot(40, TurnZ(-30)), Rot(100, TurnZ(-30)), Rot(n, kStill)},
              {Pos(0, kHand), Pos(40, {80, -420, 40}), Pos(100, {80, -420, 40}), Pos(n, kHand)}),
        Still(n),
    };
}

// A character's animation for its rig turned to look along x.
std::vector<uint8_t> CharacterAnimation(std::vector<TrackSpec> tracks, bool spline) {
    TurnToFacingX(&tracks);
    return BuildAnimation(tracks, spline, nullptr);
}

// The shot of the first four weapon rows (".\all\SHOOT.3da", whose block
// the game plays as frames 1 to 42): the hand comes up to aim ahead, holds
// and goes back down, the fire keyframe half way, 0.7 s after the key.
std::vector<TrackSpec> Shot() {
    const int32_t n = 42;
    const I3 aim{80, -240, 120};
    return {
        Track(n, {Rot(0, kStill), Rot(n, kStill)}, {Pos(0, kBody), Pos(n, kBody)}),
        Track(n, {Rot(0, kStill), Rot(n, kStill)}, {Pos(0, kHead), Pos(n, kHead)}),
        Track(n, {Rot(0, kStill), Rot(12, TurnX(-70)), Rot(30, TurnX(-70)), Rot(n, kStill)},
              {Pos(0, kHand), Pos(12, aim), Pos(30, aim), Pos(n, kHand)}),
        Still(n),
    };
}

std::string Name(const char* file) {
    return std::string(".\\all\\") + file + ".3da";
}

}  // namespace

std::array<int32_t, 4> TurnX(double degrees) {
    return Turn(0, degrees);
}
std::array<int32_t, 4> TurnY(double degrees) {
    return Turn(1, degrees);
}
std::array<int32_t, 4> TurnZ(double degrees) {
    return Turn(2, degrees);
}

std::vector<NamedFile> EffectSetFiles(const std::string& base, const EffectSetSpec& spec) {
    return {
        {base + ".3dc", BuildObject(spec.object, nullptr)},
        {base + ".3da", BuildAnimation(spec.tracks, spec.spline, nullptr)},
        {base + ".eff", EffFile(spec.eff)},
        {base + ".cls", ClsFile(spec.cls)},
    };
}

EffectSetSpec FlashSet() {
    EffectSetSpec s;
    NodeSpec root;
    root.name = "dezavivo";
    NodeSpec halo;
    halo.name = "halo";
    halo.parent = 0;
    halo.pos = {0, -200, 0};
    NodeSpec ring;
    ring.name = "ring";
    ring.parent = 1;
    ring.groups = {{2, "flare", 0, {}}};
    AddQuad(&ring, 0, {{{-150, -150, 0}, {150, -150, 0}, {150, 150, 0}, {-150, 150, 0}}}, {0, 0, 1000});
    NodeSpec spark;
    spark.name = "spark";
    spark.parent = 1;
    spark.groups = {{1, "", 0xFFE0, {}}};
    AddBox(&spark, 0, {-10, -10, -10}, {10, 10, 10});
    // The spark's key shape: the same box stretched upward.
    NodeSpec sparkEnd;
    sparkEnd.name = "&sparkend";
    sparkEnd.parent = 1;
    sparkEnd.groups = {{1, "", 0xFFE0, {}}};
    AddBox(&sparkEnd, 0, {-6, -90, -6}, {6, 10, 6});
    s.object.nodes = {root, halo, ring, spark, sparkEnd};
    s.object.models = {{"flare", "flare"}};
    const int32_t n = 24;
    s.tracks = {
        Still(n),
        Track(n, {Rot(0, kStill), Rot(n / 2, TurnY(180)), Rot(n, TurnY(359))}, {Pos(0, {0, -200, 0}), Pos(n, {0, -260, 0})}),
        Still(n),
        Track(n, {Rot(0, kStill), Rot(n, kStill)}, {Pos(0, {0, 0, 0}), Pos(n, {0, -120, 0})}),
        Still(n),
    };
    s.eff.endFrame = n;
    s.eff.scales = {{"ring", {0, 0, 0}, {{1, 0.2f, 0.2f, 0.2f}, {8, 1.0f, 1.0f, 1.0f}, {n, 1.5f, 1.5f, 1.5f}}}};
    s.eff.morphs = {{"spark", {{12, "&sparkend"}}}};
    s.cls.facing = 1;
    s.cls.follow = 1;
    s.cls.textureAnim = 1;
    s.cls.tableLength = 16;
    s.cls.textureSpeed = 30;
    s.cls.cellSize = 64;
    s.cls.rate = 15;
    s.cls.table.clear();
    for (int32_t i = 0; i < 16; ++i) s.cls.table.push_back(i);
    return s;
}

std::vector<uint8_t> FlareTexture() {
    std::array<Rgb, 256> palette{};
    for (int i = 0; i < 256; ++i) {
        double t = i / 255.0;
        palette[size_t(i)] = {uint8_t(40 + 215 * std::min(1.0, t * 1.6)), uint8_t(10 + 240 * t * t), uint8_t(200 * t * t * t)};
    }
    std::vector<uint8_t> texels(65536);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int cell = (y / 64) * 4 + x / 64;
            double dx = (x % 64) - 31.5, dy = (y % 64) - 31.5;
            double r = std::sqrt(dx * dx + dy * dy);
            double radius = 6.0 + 1.6 * cell;
            double v = std::max(0.0, 1.0 - r / radius);
            // Four rays across the flare.
            double ray = std::max(0.0, 1.0 - std::min(std::fabs(dx), std::fabs(dy)) / 2.0) * std::max(0.0, 1.0 - r / 31.0);
            texels[size_t(y * 256 + x)] = uint8_t(std::min(255.0, 255.0 * std::max(v, ray * 0.7)));
        }
    return BuildTexture(palette, texels);
}

MorSpec HeroRunMorph() {
    const ObjectSpec hero = Character("hero", 0x001F, "heroskin");
    const NodeSpec& head = hero.nodes[1];
    std::vector<I3> rest = head.vertices, swollen = head.vertices;
    // The crown is the head's top (y points down); x and z are about the
    // neck, so widening scales them.
    int32_t top = 0;
    for (const I3& p : rest) top = std::min(top, p.y);
    for (I3& p : swollen)
        if (p.y == top) p = {p.x * 3 / 2, -kHeroRunCrown, p.z * 3 / 2};
    MorSpec mor;
    mor.targets = {{"~tete", rest}, {"swollen", swollen}};
    mor.groups = {{"tete", {{1, "~tete"}, {10, "swollen"}, {19, "~tete"}}}};
    return mor;
}

std::vector<NamedFile> DemoAnimationFiles() {
    std::vector<NamedFile> files = {
        {Name("HEROIDLE"), CharacterAnimation(Idle(60), true)},
        {Name("HEROWALK"), CharacterAnimation(Gait(32, 400, 40, 10), false)},
        {Name("HERORUN"), CharacterAnimation(Gait(20, 600, 80, 20), false)},
        {Name("HEROHIT"), CharacterAnimation(Hit(20, 15), false)},
        {Name("HEROPUT"), CharacterAnimation(Reach(40, {0, 140, 60}, 20), false)},
        {Name("HEROTAKE"), CharacterAnimation(Reach(40, {0, 140, 90}, 25), false)},
        {Name("HEROACT"), CharacterAnimation(Reach(30, {0, -40, 110}, 5), false)},
        {Name("HERODIE"), CharacterAnimation(FallForward(50), false)},
        {Name("GUARDIDLE"), CharacterAnimation(Idle(60), true)},
        {Name("GUARDWALK"), CharacterAnimation(Gait(32, 400, 40, 10), false)},
        {Name("GUARDWAIT"), CharacterAnimation(Idle(40), false)},
        {Name("GUARDSHOT"), CharacterAnimation(Reach(30, {0, -60, 120}, 0), false)},
        {Name("GUARDHIT"), CharacterAnimation(Hit(20, 20), false)},
        {Name("GUARDDIE"), CharacterAnimation(Death(40), false)},
        // The entries every mission gives the hero: thrown back by a blast
        // (standing and lying), the two deaths, and the take of entry 16.
        {Name("blaste"), CharacterAnimation(Hit(30, 25), false)},
        {Name("blastedd"), CharacterAnimation(Hit(30, 40), false)},
        {Name("dead03"), CharacterAnimation(Death(40), false)},
        {Name("dead02"), CharacterAnimation(Death(60), false)},
        {Name("prend1"), CharacterAnimation(Reach(80, {0, 140, 90}, 25), false)},
        // The summoned allies' entries: idle (also the wait), walk, shot,
        // hit and death.
        {Name("gasttolm"), CharacterAnimation(Idle(48), true)},
        {Name("gastmar"), CharacterAnimation(Gait(28, 360, 30, 12), false)},
        {Name("gastir1"), CharacterAnimation(Reach(24, {0, -80, 130}, 0), false)},
        {Name("gastimp"), CharacterAnimation(Hit(22, 25), false)},
        {Name("gastmort"), CharacterAnimation(Death(36), false)},
        {Name("666g"), CharacterAnimation(Idle(72), true)},
        {Name("666m"), CharacterAnimation(Gait(36, 440, 50, 6), false)},
        {Name("666t1"), CharacterAnimation(Reach(32, {0, -40, 150}, 10), false)},
        {Name("666dead"), CharacterAnimation(Hit(20, 30), false)},
        {Name("666d2"), CharacterAnimation(Death(50), false)},
    };
    std::vector<uint8_t> cast = CharacterAnimation(Cast(), false);
    for (const char* power : {"HEROSH", "HEROSS", "HEROSE1", "HEROSP", "HEROEX1", "HEROTR2", "HEROCE", "HEROSND", "HEROET4",
                              "HERORE", "HERORS5", "HEAL", "HERSEUIL", "HEROTB00", "HEROTM"})
        files.push_back({Name(power), cast});
    files.push_back({Name("SHOOT"), CharacterAnimation(Shot(), false)});
    return files;
}

std::vector<NamedFile> DemoHeroMorphFiles() {
    return {{".\\all\\HERORUN.mor", MorFile(HeroRunMorph())}};
}

std::vector<NamedFile> DemoDrainAnimationFiles() {
    return {
        {Name("drains"), BuildAnimation(Spin(48, 40), false, nullptr)},
        {Name("drainf"), BuildAnimation(Spin(96, 15), false, nullptr)},
    };
}

std::vector<NamedFile> DemoEffectFiles() {
    std::vector<NamedFile> files = EffectSetFiles(".\\effects\\dezavivo", FlashSet());
    CgsRecordSpec record;
    record.soundFrame = 1;
    record.sound = ".\\smp\\effets\\tir.wav";
    record.base = ".\\effects\\dezavivo";
    files.push_back({".\\effects\\dezavivo.cgs", CgsFile({record})});
    files.push_back({".\\effects\\flare.3DM", FlareTexture()});
    return files;
}

namespace {

NodeSpec BoxNode(const char* name, int parent, I3 pos, int32_t half, uint16_t colour) {
    NodeSpec n;
    n.name = name;
    n.parent = parent;
    n.pos = pos;
    n.groups = {{1, "", colour, {}}};
    AddBox(&n, 0, {-half, -half, -half}, {half, half, half});
    return n;
}

}  // namespace

EffectSetSpec BoltSet(uint16_t colour) {
    EffectSetSpec s;
    NodeSpec root;
    root.name = "bolt";
    // The core, a trail behind it and the tip ahead (the flight frame's
    // forward is -z).
    s.object.nodes = {root, BoxNode("core", 0, {0, 0, 0}, 24, colour), BoxNode("trail", 0, {0, 0, 60}, 12, colour),
                      BoxNode("#tip", 0, {0, 0, -30}, 6, 0xFFFF)};
    // Long enough to cross a room at 60 units a step before its last frame.
    const int32_t n = 90;
    const TrackSpec spin =
        Track(n, {Rot(0, kStill), Rot(n / 2, TurnZ(180)), Rot(n, TurnZ(359))}, {Pos(0, {0, 0, 0}), Pos(n, {0, 0, 0})});
    s.tracks = {Still(n), spin, Still(n), Still(n)};
    s.eff.endFrame = n;
    s.cls.projectile = 1;
    s.cls.follow = 1;
    s.cls.rate = 15;
    return s;
}

EffectSetSpec BurstSet() {
    EffectSetSpec s;
    NodeSpec root;
    root.name = "burst";
    s.object.nodes = {root, BoxNode("ring", 0, {0, -200, 0}, 40, 0xFD20),
                      BoxNode("spark", 0, {0, -200, 0}, 12, 0xFFE0)};
    const int32_t n = 16;
    s.tracks = {Still(n), Still(n),
                Track(n, {Rot(0, kStill), Rot(n, kStill)}, {Pos(0, {0, -200, 0}), Pos(n, {0, -200, -300})})};
    s.eff.endFrame = n;
    s.eff.scales = {{"ring", {0, 0, 0}, {{1, 0.5f, 0.5f, 0.5f}, {n, 3.0f, 3.0f, 3.0f}}}};
    s.cls.follow = 1;
    s.cls.rate = 15;
    return s;
}

EffectSetSpec GlowSet() {
    EffectSetSpec s;
    NodeSpec root;
    root.name = "glow";
    s.object.nodes = {root, BoxNode("halo", 0, {0, -150, 0}, 90, 0x07FF)};
    const int32_t n = 30;
    s.tracks = {Still(n), Track(n, {Rot(0, kStill), Rot(n / 2, TurnY(180)), Rot(n, TurnY(359))},
                                {Pos(0, {0, -150, 0}), Pos(n, {0, -150, 0})})};
    s.eff.endFrame = n;
    s.cls.follow = 1;
    s.cls.rate = 15;
    return s;
}

std::vector<NamedFile> DemoShotEffectFiles() {
    std::vector<NamedFile> files;
    auto set = [&](const std::string& base, const EffectSetSpec& spec) {
        for (NamedFile& f : EffectSetFiles(base, spec)) files.push_back(std::move(f));
    };
    set(".\\effects\\bolt", BoltSet(0xFFE0));
    set(".\\effects\\gbolt", BoltSet(0xF800));
    set(".\\effects\\burst", BurstSet());
    set(".\\effects\\glow", GlowSet());
    auto cgs = [&](const std::string& name, const std::string& base, int32_t rate) {
        CgsRecordSpec record;
        record.base = base;
        record.sound = ".\\smp\\effets\\tir.wav";
        files.push_back({name, CgsFile({record}, rate)});
    };
    cgs(".\\effects\\w1-1-A.cgs", ".\\effects\\burst", kDemoShotRate);
    cgs(".\\effects\\w5-1-A.cgs", ".\\effects\\bolt", kDemoShotRate);
    cgs(".\\effects\\w5-1-B.cgs", ".\\effects\\bolt", kDemoShotRate);
    // Weapon row 6, the tendril shot.
    cgs(".\\effects\\w7-1-A.cgs", ".\\effects\\bolt", kDemoShotRate);
    cgs(".\\effects\\gshot.cgs", ".\\effects\\gbolt", kDemoShotRate);
    cgs(".\\effects\\w8-1-a.cgs", ".\\effects\\glow", 0);
    return files;
}

}  // namespace kit
