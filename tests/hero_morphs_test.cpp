// The hero's morph targets on mission 22: which slots take which ".mor"
// file at the hero's set-up (one set a file, none for other characters,
// none where the file is missing or does not read), and the shape of the
// hero's head frame by frame against the engine's own morph evaluation:
// a slot's set at the frame shown, blends between two sets, and blends in
// from and out to the rest shape of a slot without one.
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_anim.h"
#include "game/dqx_load.h"
#include "game/dqx_targets.h"
#include "host/headless/headless.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/effect_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char* kRunMorph = ".\\all\\HERORUN.mor";
constexpr const char* kWalkMorph = ".\\all\\HEROWALK.mor";

// A second morph of the hero's head, unlike the run's: the crown sunk to
// 40 units above the neck at the walk's first frame and its last, at rest
// at frame 16.
std::vector<uint8_t> SquashedHeadMorph() {
    kit::MorSpec mor = kit::HeroRunMorph();
    int32_t top = 0;
    for (const kit::I3& p : mor.targets[0].points) top = std::min(top, p.y);
    mor.targets[1] = {"squashed", mor.targets[0].points};
    for (kit::I3& p : mor.targets[1].points)
        if (p.y == top) p.y = -40;
    mor.groups[0].keys = {{1, "squashed"}, {16, "~tete"}, {32, "squashed"}};
    return kit::MorFile(mor);
}

class HeroMorphsTest : public DemoMissionTest {
protected:
    void Open() {
        host::headless::SetClock(0);
        OpenMission(22, 0);
        StartMission(0);
        FirstMission = 0;
    }
    void Remove(const std::string& gameName) {
        std::string relative = gameName.substr(2);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        std::filesystem::remove(dir_ / relative);
    }
};

// The hero's slots built from a named animation take the set of ".\all\"
// and the animation's name with the extension "mor" when that file exists:
// base slots from the definition's entries, power slots from the power
// table (slots 33 and 34 are both ".\all\HEROSS.3da", 40 to 43 all
// ".\all\SHOOT.3da"), every slot of one file the same set.  Other
// characters take none; a missing file gives none and no log line, a file
// that does not read none and the morph module's line.
TEST_F(HeroMorphsTest, TheHerosSlotsTakeTheSetsOfTheirAnimations) {
    const std::vector<uint8_t> good = kit::MorFile(kit::HeroRunMorph());
    const std::vector<uint8_t> cut(good.begin(), good.begin() + 30);
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> put;
        bool removeRun;
        std::map<int, std::string> sets;  // hero slot -> file, the rest none
        const char* logLine;              // new in debug.txt, or null for no "Morph:" line at all
    };
    const std::vector<Row> rows = {
        {"the kit's data: the run's set alone", {}, false, {{4, kRunMorph}}, nullptr},
        {"a set for each animation with a file",
         {{".\\all\\HEROIDLE.mor", good}, {kWalkMorph, good}, {".\\all\\HEROSS.mor", good},
          {".\\all\\SHOOT.mor", good}, {".\\all\\GUARDWALK.mor", good}, {".\\all\\GUARDIDLE.mor", good}},
         false,
         {{0, ".\\all\\HEROIDLE.mor"}, {2, kWalkMorph}, {4, kRunMorph}, {33, ".\\all\\HEROSS.mor"},
          {34, ".\\all\\HEROSS.mor"}, {40, ".\\all\\SHOOT.mor"}, {41, ".\\all\\SHOOT.mor"},
          {42, ".\\all\\SHOOT.mor"}, {43, ".\\all\\SHOOT.mor"}},
         nullptr},
        {"a file that does not read", {{kRunMorph, cut}}, false, {}, "Morph: .\\all\\HERORUN.mor corrupt.\n"},
        {"no file", {}, true, {}, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& [name, bytes] : row.put) Put(name, bytes);
        if (row.removeRun) Remove(kRunMorph);
        const size_t logBefore = ReadFile("debug.txt").size();
        Open();
        std::map<std::string, const MorphRec*> byFile;
        for (int slot = 0; slot < kAnimSlots; ++slot) {
            const MorphRec* set = CharacterAnimTable[0].slots[slot].morphs;
            const auto wanted = row.sets.find(slot);
            EXPECT_EQ(set ? std::string(set->file) : "", wanted == row.sets.end() ? "" : wanted->second) << slot;
            EXPECT_EQ(CharacterAnimTable[1].slots[slot].morphs, nullptr) << "the guard's slot " << slot;
            if (!set) continue;
            EXPECT_EQ(set->groupCount, 1) << slot;
            const auto seen = byFile.emplace(set->file, set).first;
            EXPECT_EQ(seen->second, set) << "one set a file, slot " << slot;
        }
        const std::string log = ReadFile("debug.txt").substr(logBefore);
        if (row.logLine) EXPECT_NE(log.find(row.logLine), std::string::npos) << log;
        else EXPECT_EQ(log.find("Morph:"), std::string::npos) << log;
        EndMission();
        for (const auto& [name, bytes] : row.put) Remove(name);
        Put(kRunMorph, good);
    }
}

// The head ("tete") of the hero frame by frame as the controls change its
// animation, against the same sets evaluated by the morph module on a
// second copy of the hero's model.  The fraction and frame are the state
// machine's: fraction = time / length up to 255, the frame shown first +
// length x fraction / 256, and a blend runs from the frame it starts from
// (the low word of rangeStart) to the slot's first frame.
TEST_F(HeroMorphsTest, TheHerosHeadFollowsItsSlotsSetsAndTheirBlends) {
    Put(kWalkMorph, SquashedHeadMorph());
    Open();
    CharacterRecord& hero = CharacterTable[0];
    CharacterAnimState& st = CharacterAnimTable[0];
    MorphRec* run = st.slots[4].morphs;
    MorphRec* walk = st.slots[2].morphs;
    ASSERT_NE(run, nullptr);
    ASSERT_NE(walk, nullptr);
    const ObjHandle twin = Load_SceneObject(".\\all\\hero.3dc");
    ASSERT_GT(twin, 0);
    const int32_t headIndex = hero.head - Get_BlockBase(hero.model);
    const int32_t count = Get_VertexCount(hero.head);
    ASSERT_GT(count, 0);
    // A part's vertices as (x, y, z) rows.
    auto head = [count](ObjHandle part) {
        std::vector<Vec3> v(static_cast<size_t>(count));
        Get_Vertices(part, v.data());
        std::vector<std::array<int32_t, 3>> rows;
        for (const Vec3& p : v) rows.push_back({p.x, p.y, p.z});
        return rows;
    };
    const auto rest = head(Get_BlockBase(twin) + headIndex);

    enum Kind { kRest, kFrame, kFromRest, kToRest, kTwoSets };
    struct Row {
        const char* name;
        uint16_t controls;
        int frames;
        int32_t slot;
        bool blending;
        Kind kind;
        MorphRec* from;  // the set the blend starts from
        bool changed;    // the head is not at its rest shape
    };
    // A blend starts on the clock of the frame that switches (at weight 0):
    // each blend row looks one frame later, part of the way.
    const std::vector<Row> rows = {
        {"idle has no set: the rest shape", 0, 3, 0, false, kRest, nullptr, false},
        {"the walk blends in from the rest shape", kCtlForward | kCtlPace, 2, 2, true, kFromRest, nullptr, true},
        {"the walk's frames", kCtlForward | kCtlPace, 6, 2, false, kFrame, nullptr, true},
        {"the run blends in from the walk", kCtlForward, 2, 4, true, kTwoSets, walk, true},
        {"the run's frames", kCtlForward, 6, 4, false, kFrame, nullptr, true},
        {"the walk blends in from the run", kCtlForward | kCtlPace, 2, 2, true, kTwoSets, run, true},
        {"the walk again", kCtlForward | kCtlPace, 5, 2, false, kFrame, nullptr, true},
        {"stopping blends out to the rest shape", 0, 2, 0, true, kToRest, walk, true},
        // The blend into idle's 59 frames takes 59 x 255 / 76.5 ms, six frames.
        {"idle again: the rest shape", 0, 8, 0, false, kRest, nullptr, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < row.frames; ++i) {
            hero.controls = row.controls;
            host::headless::AdvanceClock(33333);
            UpdateCharacters();
        }
        ASSERT_EQ(st.current, row.slot);
        ASSERT_EQ(st.blending == 1, row.blending);
        const AnimSlot& s = st.slots[st.current];
        ASSERT_FALSE(s.mode & kSlotBackwards);
        const int32_t length = std::max(s.length, 1);
        const int32_t fraction = std::min(st.time / length, 255);
        const int32_t fromFrame = int32_t(uint32_t(st.rangeStart) & 0xFFFFu);
        for (MorphRec* set : {run, walk}) Apply_MorphRest(set, twin, 0, 255);
        switch (row.kind) {
        case kRest: break;
        case kFrame: Apply_Morph(s.morphs, twin, s.first + length * fraction / 256); break;
        case kFromRest: Apply_MorphRest(s.morphs, twin, s.first, 255 - fraction); break;
        case kToRest: Apply_MorphRest(row.from, twin, fromFrame, fraction); break;
        case kTwoSets: Apply_MorphBlend(row.from, s.morphs, twin, fromFrame, s.first, fraction); break;
        }
        const auto shown = head(hero.head), expected = head(Get_BlockBase(twin) + headIndex);
        EXPECT_EQ(shown, expected);
        if (row.blending) {
            EXPECT_GT(fraction, 0);
            EXPECT_LT(fraction, 255);
        }
        EXPECT_EQ(shown != rest, row.changed);
    }
    Free_Object(twin);
}

}  // namespace
