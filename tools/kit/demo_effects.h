// The demo's animations and effect set: the hero's and the guard's
// animations (idle, walk and run with forward root motion, hit, put, take,
// action; the guard's wait, shot and death; the hero's power animations;
// the two summoned allies' idle, walk, shot, hit and death),
// and the hit flash ".\effects\dezavivo.cgs" with its texture.
#pragma once

#include "tools/kit/effect_writer.h"
#include "tools/kit/shapes.h"

#include <string>
#include <vector>

namespace kit {

// A Q15 quaternion turning by `degrees` about the x, y or z axis.
std::array<int32_t, 4> TurnX(double degrees);
std::array<int32_t, 4> TurnY(double degrees);
std::array<int32_t, 4> TurnZ(double degrees);

// The four files of an effect set.  The object's models are looked up
// beside it, in the set's folder.
struct EffectSetSpec {
    ObjectSpec object;
    std::vector<TrackSpec> tracks;  // one per node of the object
    bool spline = false;
    EffSpec eff;
    ClsSpec cls;
};
// base is the set's path without extension (".\effects\dezavivo").
std::vector<NamedFile> EffectSetFiles(const std::string& base, const EffectSetSpec& spec);

// The hit flash: a turning halo of a textured ring (scaled up, texture
// cells stepping) and a spark that moves up and morphs into its key shape.
EffectSetSpec FlashSet();
// 4 x 4 cells of 64 texels, a flare growing from cell 0 to cell 15.
std::vector<uint8_t> FlareTexture();

// ".\all\*.3da" for the characters of Character() (nodes body, tete,
// repere, $DUMMY): the hero, the guard and the two summoned allies.
std::vector<NamedFile> DemoAnimationFiles();
// The morph targets of the hero's animations: ".\all\HERORUN.mor"
// (HeroRunMorph), beside the run's ".\all\HERORUN.3da".
std::vector<NamedFile> DemoHeroMorphFiles();
// The hero's head swells as it runs: the crown of its head ("tete") rises
// from 80 to 190 units above the neck and widens by half from the run's
// first frame (1, the rest shape "~tete") to frame 10 ("swollen"), and
// shrinks back by frame 19, the last the run shows.
constexpr int32_t kHeroRunCrown = 190;
MorSpec HeroRunMorph();
// The drain models' animations (".\all\drains.3da", full, 48 frames, and
// ".\all\drainf.3da", filling, 96 frames): one node turning once.
std::vector<NamedFile> DemoDrainAnimationFiles();
// ".\effects\dezavivo.cgs" and its set with ".\effects\flare.3DM".
std::vector<NamedFile> DemoEffectFiles();

// The shots: a bolt that flies and hits (a projectile: its "#tip" part is
// the one that touches), a burst around its anchor, and a glow that holds
// around its anchor while it repeats.
EffectSetSpec BoltSet(uint16_t colour);
EffectSetSpec BurstSet();
EffectSetSpec GlowSet();
// The effect parameter (shots a second) of the demo's unaimed shots.
constexpr int32_t kDemoShotRate = 2;
// The shot effects of the demo mission: the hero's weapon row 0
// (".\effects\w1-1-A.cgs", a burst: the row is never aimed), row 4
// (".\effects\w5-1-A.cgs" and its variant "w5-1-B.cgs", bolts), the
// guard's shot (".\effects\gshot.cgs", a bolt named by its strategy
// script) and the protection's witness (".\effects\w8-1-a.cgs").
std::vector<NamedFile> DemoShotEffectFiles();

}  // namespace kit
