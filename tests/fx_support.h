// Shared set-up of the effect suites: the 3D engine on the headless host
// with a still clock, the engine's services wired to the game, enemy and
// sound routines (whose call logs the tests read), three characters (the
// hero, a guarded guard and an enemy) and effect sets written by the kit.
#pragma once

#include "ai/em_impact.h"
#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_fx.h"
#include "game/characters.h"
#include "test_3d.h"
#include "tools/kit/demo_effects.h"
#include "tests/mission_fixtures.h"

#include <string>
#include <vector>

// What a projectile is aimed at: a character record, or nothing.
inline HitTarget AtCharacter(CharacterRecord* c) {
    return c ? HitTarget{HitTargetKind::Character, c} : HitTarget{};
}
constexpr HitTarget kNoTarget{};

// The sounds the effects asked the program for, oldest first, as the
// engine's PlaySound service received them.
struct SfxPlayCall {
    int32_t owner;
    std::string name;
    int loop, priority, fromVoices;
};
extern std::vector<SfxPlayCall> g_SfxPlayCalls;

namespace test {

class EffectsTest : public Engine3DTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // An effect set's four files under its base name (".\fx\name").
    void PutSet(const std::string& base, const kit::EffectSetSpec& spec);
    void PutCgs(const std::string& path, const std::vector<kit::CgsRecordSpec>& records, int32_t param = 0,
                int32_t version = 715);
    // One set in one .cgs of the same base name; the .cgs path.
    std::string PutEffect(const std::string& base, const kit::EffectSetSpec& spec, kit::CgsRecordSpec record = {});
    // The clock to `ms`, one update of the effects, then the frame's walk
    // of the transforms.
    void StepTo(uint32_t ms);

    CharacterDef heroDef_ = TestDef("hero", 0, 200), guardDef_ = TestDef("guard", kCharacterGuarded, 255),
                 enemyDef_ = TestDef("enemy", 0, 255);
    CharacterRecord characters_[kCharacterSlots] = {};
    CharacterRecord& hero() { return characters_[0]; }
    CharacterRecord& guard() { return characters_[1]; }
    CharacterRecord& enemy() { return characters_[2]; }
    // An object effects can be anchored on, at (0, 0, 500).
    ObjHandle prop_ = -1;
};

// A small set: root (no faces), leaf "glow" that the node animation moves
// along z by 100 over the end frame, hidden leaf "&ghost", group part "grp"
// with leaf "inner", and the impact leaf "#tip".  Parts 0..5 in that order.
kit::EffectSetSpec SimpleSet(int32_t endFrame, const kit::ClsSpec& cls);
kit::ClsSpec Timing(int32_t rate);

// The slots of an instance that are in use.
std::vector<int> InstanceSlots(int instance);
// "f<frame> <part visibility: S or H per part from 1> c<cell>".
std::string SlotState(int slot);

}  // namespace test
