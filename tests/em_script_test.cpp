// The strategy script: the analysis of the kit's scripts, well formed and
// malformed, field by field against what the kit wrote; failed
// allocations; the lookups; the release and its trace; the load from the
// demo missions' folders.
#include "test_3d.h"

#include "ai/em_host.h"
#include "ai/em_records.h"
#include "ai/em_script.h"
#include "host/headless/headless.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "tools/kit/esc_writer.h"
#include "tools/kit/mission_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

const char kBadVersionBox[] = "Bad version of strategy script !!! please recompile with ESCOM Version 2.02.0";

// The memory manager's allocations watched: every block still held, and
// the allocation that fails (counted from 1; 0 = none).
struct AllocationWatch {
    std::set<void*> held;
    int calls = 0;
    int failAt = 0;
};
AllocationWatch g_Watch;
MemoryManagerTable g_SavedManager;

void* WatchedAlloc(uint32_t size) {
    if (++g_Watch.calls == g_Watch.failAt) return nullptr;
    void* block = g_SavedManager.Alloc(size);
    g_Watch.held.insert(block);
    return block;
}
void WatchedFree(void* block) {
    g_Watch.held.erase(block);
    g_SavedManager.Free(block);
}

class EmScriptTest : public test::Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        g_Watch = {};
        g_SavedManager = MemoryManager;
        MemoryManager.Alloc = WatchedAlloc;
        MemoryManager.Free = WatchedFree;
        host::headless::ClearBoxes();
    }
    void TearDown() override {
        Release();
        MemoryManager.Alloc = g_SavedManager.Alloc;
        MemoryManager.Free = g_SavedManager.Free;
        EmDebugTrace = 0;
        Engine3DTest::TearDown();
    }
    // What the analysis left, released as the manager's close does.
    static void Release() {
        EM_FreeStrategyDatas(&EmCharacterTable);
        EMH_Free(EmModelTable.items);
        EmModelTable = {};
    }
    static int Analyse(const std::vector<uint8_t>& bytes) { return EM_AnalyseMemoryScript(bytes.data(), bytes.size()); }
    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> out;
        for (const auto& box : host::headless::Boxes()) out.push_back(box.text);
        return out;
    }
    static const EmCharacter& Entry(int i) { return EmCharacterTable.items[i]; }
};

// Every field of a characteristics block as the kit wrote it.
void ExpectBlock(const EmCharacteristics& got, const kit::EscCharacteristics& want, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(got.life, want.life);
    EXPECT_EQ(std::string(got.shotEffect), want.shotEffect);
    EXPECT_EQ(std::string(got.shotPart), want.shotPart);
    EXPECT_EQ(got.shootDelay.minimum, want.shootDelay.minimum);
    EXPECT_EQ(got.shootDelay.maximum, want.shootDelay.maximum);
    EXPECT_EQ(got.shotStrength, want.shotStrength);
    EXPECT_EQ(got.contactDamage, want.contactDamage);
    EXPECT_EQ(got.runAwayLife, want.runAwayLife);
    EXPECT_EQ(got.keepDistanceLife, want.keepDistanceLife);
    EXPECT_EQ(got.forwardRange, want.forwardRange);
    EXPECT_EQ(got.backwardRange, want.backwardRange);
    EXPECT_EQ(got.disappearDelay.minimum, want.disappearDelay.minimum);
    EXPECT_EQ(got.disappearDelay.maximum, want.disappearDelay.maximum);
    EXPECT_EQ(got.reappearDelay.minimum, want.reappearDelay.minimum);
    EXPECT_EQ(got.reappearDelay.maximum, want.reappearDelay.maximum);
    EXPECT_EQ(got.hiddenFade, want.hiddenFade);
    EXPECT_EQ(got.visibleFade, want.visibleFade);
    EXPECT_EQ(got.appearStep, want.appearStep);
    EXPECT_EQ(got.disappearStep, want.disappearStep);
    EXPECT_EQ(got.strafing, want.strafing);
    EXPECT_EQ(got.strafeDistance, want.strafeDistance);
    EXPECT_EQ(got.phaseLength, want.phaseLength);
    EXPECT_EQ(got.revivals, want.revivals);
    EXPECT_EQ(got.backToLifeDelay.minimum, want.backToLifeDelay.minimum);
    EXPECT_EQ(got.backToLifeDelay.maximum, want.backToLifeDelay.maximum);
    EXPECT_EQ(got.mainBehaviour, want.mainBehaviour);
    EXPECT_EQ(got.changeLife, want.changeLife);
    EXPECT_EQ(got.replacement, want.replacement);
    EXPECT_EQ(got.groupBehaviour, want.groupBehaviour);
    EXPECT_EQ(got.playerHunter, want.playerHunter);
    EXPECT_EQ(got.forcedShot, want.forcedShot);
    for (int i = 0; i < kEmAnimations; ++i) {
        EXPECT_EQ(got.keyframes[i], want.keyframes[size_t(i)]) << "keyframe " << i;
        EXPECT_EQ(got.speeds[i], want.speeds[size_t(i)]) << "speed " << i;
    }
    EXPECT_EQ(got.spindrel, want.spindrel);
    EXPECT_EQ(got.spindrelMoveDelay.minimum, want.spindrelMoveDelay.minimum);
    EXPECT_EQ(got.spindrelMoveDelay.maximum, want.spindrelMoveDelay.maximum);
    EXPECT_EQ(got.moveMethod, want.moveMethod);
    EXPECT_EQ(got.side, want.side);
    EXPECT_EQ(std::string(got.aimName), want.aimName);
    EXPECT_EQ(got.turning, want.turning);
    EXPECT_EQ(got.sceneDelay.minimum, want.sceneDelay.minimum);
    EXPECT_EQ(got.sceneDelay.maximum, want.sceneDelay.maximum);
    EXPECT_EQ(got.sceneFxDelay.minimum, want.sceneFxDelay.minimum);
    EXPECT_EQ(got.sceneFxDelay.maximum, want.sceneFxDelay.maximum);
    // The unlisted bytes travel in the raw block: entry offsets 175 and 191.
    EXPECT_EQ(got.raw[175 - 32] | got.raw[176 - 32] << 8, want.spare1);
    EXPECT_EQ(got.raw[191 - 32] | got.raw[192 - 32] << 8, want.spare2);
}

// A block whose every field differs from the others and from its
// neighbours' bytes, all within the ranges the analysis keeps, so that a
// field read at a wrong offset shows.
kit::EscCharacteristics Distinct(int16_t base) {
    kit::EscCharacteristics c;
    auto n = [&](int k) { return int16_t(base + 37 * k); };
    c.life = n(1);
    c.shotEffect = "fx" + std::to_string(base);
    c.shotPart = "part" + std::to_string(base);
    c.shootDelay = {n(2), n(3)};
    c.shotStrength = n(4);
    c.contactDamage = n(5);
    c.runAwayLife = n(6);
    c.keepDistanceLife = n(7);
    c.forwardRange = 100000 + base;
    c.backwardRange = -200000 - base;
    c.disappearDelay = {n(8), n(9)};
    c.reappearDelay = {n(10), n(11)};
    c.hiddenFade = n(12);
    c.visibleFade = n(13);
    c.appearStep = n(14);
    c.disappearStep = n(15);
    c.strafing = uint8_t(base + 3);
    c.strafeDistance = n(16);
    c.phaseLength = n(17);
    c.revivals = n(18);
    c.backToLifeDelay = {n(19), n(20)};
    c.mainBehaviour = 7;
    c.changeLife = n(21);
    c.replacement = 9;
    c.groupBehaviour = 2;
    c.playerHunter = uint8_t(base + 5);
    c.forcedShot = uint8_t(base + 6);
    for (int i = 0; i < 7; ++i) {
        c.keyframes[size_t(i)] = n(22 + i);
        c.speeds[size_t(i)] = n(29 + i);
    }
    c.spare1 = uint16_t(0xA000 + base);
    c.spare2 = uint16_t(0xB000 + base);
    c.spindrel = n(36);
    c.spindrelMoveDelay = {n(37), n(38)};
    c.moveMethod = 4;
    c.side = 1;
    c.aimName = "aim" + std::to_string(base);
    c.turning = n(39);
    c.sceneDelay = {n(40), n(41)};
    c.sceneFxDelay = {n(42), n(43)};
    return c;
}

TEST_F(EmScriptTest, EveryNamedFieldComesBackAsTheKitWroteIt) {
    kit::EscScript s;
    kit::EscCharacter a;
    a.name = "Warden";
    a.characteristics = Distinct(11);
    a.weapons = {{"w1-1-A.cgs", -7}, {"bolt.cgs", 300}, {"W2-3-b.CGS", 12}};
    a.names = {"impact", "ouch", "death", "aargh", "appear", "hum", "scene", "fanfare"};
    kit::EscCharacter b;
    b.name = "<DEFAULT>";
    b.characteristics = Distinct(1000);
    b.characteristics.replacement = 12;  // model 1
    s.characters = {a, b};
    s.models = {{"calm", Distinct(2000)}, {"mad", Distinct(3000)}};
    for (int side = 0; side < 2; ++side)
        for (int kind = 0; kind < 4; ++kind)
            s.tendrils[size_t(side)][size_t(kind)] = {
                100000 * side + 1000 * kind + 1, {int16_t(10 * side + kind + 1), int16_t(-20 * side - kind - 2)}};
    std::vector<uint8_t> bytes = kit::EscFile(s);
    bytes.insert(bytes.end(), {1, 2, 3});  // after the tendrils: not looked at
    ASSERT_EQ(Analyse(bytes), 1);

    ASSERT_EQ(EmCharacterTable.count, 2);
    for (int i = 0; i < 2; ++i) {
        const kit::EscCharacter& want = s.characters[size_t(i)];
        const EmCharacter& got = Entry(i);
        EXPECT_STREQ(got.name, want.name.c_str());
        ExpectBlock(got.characteristics, want.characteristics, want.name);
        ASSERT_EQ(got.weaponCount, int(want.weapons.size()));
        EXPECT_EQ(got.weapons == nullptr, want.weapons.empty());
        for (size_t w = 0; w < want.weapons.size(); ++w) {
            EXPECT_STREQ(got.weapons[w].name, want.weapons[w].name.c_str());
            EXPECT_EQ(got.weapons[w].damage, want.weapons[w].damage);
        }
        for (int k = 0; k < kEmFxNames; ++k) EXPECT_STREQ(got.names[k], want.names[size_t(k)].c_str());
    }
    ASSERT_EQ(EmModelTable.count, 2);
    for (int m = 0; m < 2; ++m) {
        EXPECT_STREQ(EmModelTable.items[m].name, s.models[size_t(m)].name.c_str());
        const kit::EscModel& want = s.models[size_t(m)];
        ExpectBlock(EmModelTable.items[m].characteristics, want.characteristics, want.name);
    }
    for (int side = 0; side < 2; ++side)
        for (int kind = 0; kind < 4; ++kind) {
            const kit::EscTendrilKind& want = s.tendrils[size_t(side)][size_t(kind)];
            const EmTendrilKind& got = EmTendrils.kinds[side][kind];
            EXPECT_EQ(got.amount, want.amount);
            EXPECT_EQ(got.delay.minimum, want.delay.minimum);
            EXPECT_EQ(got.delay.maximum, want.delay.maximum);
        }
    EXPECT_TRUE(BoxTexts().empty());
}

// The answer to each of the kit's malformed scripts, and what it leaves.
TEST_F(EmScriptTest, MalformedScriptsAnswerAsTheyShould) {
    struct Row {
        const char* name;
        int answer;
        std::function<void()> check;
    };
    auto characters = [](int n) { return [n] { EXPECT_EQ(EmCharacterTable.count, n); }; };
    const Row rows[] = {
        {"cut-in-version", -1, characters(0)},
        {"cut-in-character-count", -3, characters(0)},
        {"cut-in-characteristics", -3, characters(0)},
        {"cut-in-weapon-count", -3, characters(0)},
        {"cut-in-weapons", -3, characters(0)},
        // The entry's weapon list, allocated before the cut, is not kept.
        {"cut-in-names", -3, [] {
             EXPECT_EQ(EmCharacterTable.count, 0);
             EXPECT_EQ(g_Watch.held.size(), 1u);  // only the table
         }},
        {"cut-in-model-count", -4, characters(3)},
        {"cut-in-models", -4, [] {
             EXPECT_EQ(EmCharacterTable.count, 3);
             EXPECT_EQ(EmModelTable.count, 0);
             EXPECT_EQ(EmModelTable.items, nullptr);
         }},
        {"cut-in-tendrils", -4, [] { EXPECT_EQ(EmModelTable.count, 1); }},
        {"lower-case-version", 1, characters(3)},
        {"version-eleventh-byte", -1, characters(0)},
        // Only the first byte of each count: 257 would run past the file.
        {"counts-0x0101", 1, [] {
             ASSERT_EQ(EmCharacterTable.count, 1);
             EXPECT_EQ(Entry(0).weaponCount, 1);
             EXPECT_EQ(EmModelTable.count, 1);
             EXPECT_EQ(EmTendrils.kinds[0][0].amount, 111);
         }},
        {"behaviour-11", 1, [] {
             EXPECT_EQ(Entry(0).characteristics.mainBehaviour, 0);
             EXPECT_EQ(Entry(0).characteristics.raw[145 - 32], 0);
         }},
        {"phase-0", 1, [] { EXPECT_EQ(Entry(0).characteristics.phaseLength, 0); }},
        // Kept: the behaviour change ignores a model the table lacks.
        {"missing-model", 1, [] {
             EXPECT_EQ(Entry(0).characteristics.replacement, 12);
             EXPECT_EQ(Entry(0).characteristics.raw[151 - 32], 12);
         }},
        {"unterminated-names", 1, [] {
             const std::string cut = "abcdefghijklmnopqrstuvwxyz01234";
             const EmCharacter& c = Entry(0);
             const char* names[] = {c.name, c.characteristics.shotEffect, c.characteristics.shotPart,
                                    c.characteristics.aimName, c.weapons[0].name, c.names[7],
                                    EmModelTable.items[0].name};
             for (const char* name : names)
                 EXPECT_EQ(std::string(name), cut);
             EXPECT_EQ(c.characteristics.raw[34 - 32 + 31], 0);
             EXPECT_STREQ(c.names[6], "<NONAME>");
         }},
        {"out-of-range", 1, [] {
             const EmCharacteristics& g = Entry(0).characteristics;
             EXPECT_EQ(g.groupBehaviour, 0);
             EXPECT_EQ(g.moveMethod, 0);
             EXPECT_EQ(g.side, 0);
             EXPECT_EQ(g.mainBehaviour, 1);
             EXPECT_EQ(g.replacement, 11);  // model 0 exists
             const EmCharacteristics& d = Entry(1).characteristics;
             EXPECT_EQ(d.mainBehaviour, 0);
             EXPECT_EQ(d.groupBehaviour, 0);
             EXPECT_EQ(d.side, 0);
             EXPECT_EQ(d.replacement, 0);
             EXPECT_EQ(EmModelTable.items[0].characteristics.mainBehaviour, 0);
         }},
    };
    const std::vector<kit::EscVariant> variants = kit::MalformedEscFiles();
    ASSERT_EQ(variants.size(), std::size(rows));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const kit::EscVariant* v = nullptr;
        for (const kit::EscVariant& candidate : variants)
            if (candidate.name == row.name) v = &candidate;
        ASSERT_NE(v, nullptr);
        host::headless::ClearBoxes();
        host::headless::ClearBoxAnswers();
        host::headless::QueueBoxAnswer(host::IDRETRY);
        g_Watch.held.clear();
        EXPECT_EQ(Analyse(v->bytes), row.answer);
        row.check();
        if (row.answer == -1)
            EXPECT_EQ(BoxTexts(), std::vector<std::string>{kBadVersionBox});
        else
            EXPECT_TRUE(BoxTexts().empty());
        Release();
        EXPECT_TRUE(g_Watch.held.empty());
    }
}

// Cancel on the version box takes the fatal road; the image read for the
// analysis is given back on the way and the resource path is the one before.
TEST_F(EmScriptTest, CancelOnTheBadVersionBoxIsFatal) {
    std::vector<uint8_t> bytes = kit::EscFile(kit::DemoScript(22));
    bytes[10] = 'X';
    Put(".\\ms6\\ENEMIES.ESC", bytes);
    SetResourcePath(".\\");
    host::headless::ClearBoxAnswers();
    host::headless::QueueBoxAnswer(host::IDCANCEL);
    EXPECT_EQ(Fatal([] { EM_LoadStrategyScript(6); }), kBadVersionBox);
    EXPECT_TRUE(g_Watch.held.empty());
    char path[128];
    EXPECT_STREQ(GetResourcePath(path, sizeof path), ".\\");
}

// Each allocation of mission 7's script failing in turn: the character
// table, the guard's weapons, the default's weapons, the spindrel's
// weapons, the model table.
TEST_F(EmScriptTest, FailedAllocationsAnswerMinus2OrMinus3) {
    const struct {
        int failAt;
        int answer;
        int characters;
    } rows[] = {{1, -2, 0}, {2, -3, 0}, {3, -3, 1}, {4, -3, 2}, {5, -2, 3}, {6, 1, 3}};
    const std::vector<uint8_t> bytes = kit::EscFile(kit::DemoScript(7));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failAt);
        g_Watch.calls = 0;
        g_Watch.failAt = row.failAt;
        EXPECT_EQ(Analyse(bytes), row.answer);
        EXPECT_EQ(EmCharacterTable.count, row.characters);
        if (row.failAt == 5) {
            EXPECT_EQ(EmModelTable.items, nullptr);
        }
        g_Watch.failAt = 0;
        Release();
        EXPECT_TRUE(g_Watch.held.empty());
    }
}

TEST_F(EmScriptTest, WeaponNamesAreFoundIgnoringCase) {
    kit::EscScript s = kit::DemoScript(22);
    s.characters[0].weapons = {{"w1-1-A.cgs", 10}, {"gshot", 5}, {"W1-1-a.CGS", 99}};
    s.characters[1].weapons.clear();
    ASSERT_EQ(Analyse(kit::EscFile(s)), 1);
    const EmCharacter& guard = Entry(0);
    const EmCharacter& none = Entry(1);
    EXPECT_EQ(none.weaponCount, 0);
    EXPECT_EQ(none.weapons, nullptr);
    const struct {
        const EmWeapon* list;
        int count;
        const char* name;
        int index;
    } rows[] = {
        {guard.weapons, guard.weaponCount, "W1-1-A.CGS", 0},  // the first of two equal names
        {guard.weapons, guard.weaponCount, "GShot", 1},
        {guard.weapons, guard.weaponCount, "w1-1-A", -1},
        {guard.weapons, guard.weaponCount, "", -1},
        {guard.weapons, 1, "gshot", -1},  // only the first `count` weapons
        {none.weapons, none.weaponCount, "w1-1-A.cgs", -1},
        {none.weapons, none.weaponCount, "", -1},
    };
    for (const auto& row : rows) EXPECT_EQ(EM_FindWeaponName(row.list, row.count, row.name), row.index) << row.name;
}

TEST_F(EmScriptTest, CharactersAreFoundIgnoringCase) {
    kit::EscScript s = kit::DemoScript(22);
    s.characters.push_back(s.characters[0]);
    s.characters.back().name = "GUARD";
    ASSERT_EQ(Analyse(kit::EscFile(s)), 1);
    const struct {
        const char* name;
        int index;  // -1: none
    } rows[] = {{"guard", 0}, {"Guard", 0}, {"<default>", 1}, {"<DEFAULT>", 1}, {"hero", -1}, {"", -1}, {"guar", -1}};
    for (const auto& row : rows) {
        EmCharacter* found = EM_FindCharacter(&EmCharacterTable, row.name);
        EXPECT_EQ(found, row.index < 0 ? nullptr : &EmCharacterTable.items[row.index]) << row.name;
    }
    EXPECT_EQ(EM_FindCharacter(&EmCharacterTable, nullptr), nullptr);
    EmTable<EmCharacter> empty{};
    EXPECT_EQ(EM_FindCharacter(&empty, "guard"), nullptr);
}

TEST_F(EmScriptTest, ReleaseEmptiesTheTableAndTracesEachStep) {
    ASSERT_EQ(Analyse(kit::EscFile(kit::DemoScript(22))), 1);
    ASSERT_EQ(EmCharacterTable.count, 2);
    EmDebugTrace = 1;
    const size_t before = host::headless::DebugOutput().size();
    EM_FreePlayer(&EmCharacterTable.items[0]);
    std::vector<std::string> lines(host::headless::DebugOutput().begin() + std::ptrdiff_t(before),
                                   host::headless::DebugOutput().end());
    const std::string stars(30, '*');
    std::vector<std::string> want;
    for (const char* text : {"EM_FreePlayer()", "EM_FreeCharacteristic()", "End Of EM_FreeCharacteristic()",
                             "EM_FreeFreePWeapons()", "EM_FreeWeapon()", "End Of EM_FreeWeapon()",
                             "End Of EM_FreePWeapons()", "EM_FreeFxs()", "End Of EM_FreeFxs()",
                             "End Of EM_FreePlayer()"})
        want.push_back(stars + text);
    EXPECT_EQ(lines, want);
    EXPECT_EQ(EmCharacterTable.items[0].weapons, nullptr);
    EXPECT_EQ(EmCharacterTable.items[0].weaponCount, 0);
    EmDebugTrace = 0;
    EM_FreeStrategyDatas(&EmCharacterTable);
    EXPECT_EQ(EmCharacterTable.count, 0);
    EXPECT_EQ(EmCharacterTable.items, nullptr);
    EXPECT_TRUE(g_Watch.held.empty());
}

// A second script replaces the first: what the first gave is let go.
TEST_F(EmScriptTest, ASecondScriptReleasesTheFirst) {
    ASSERT_EQ(Analyse(kit::EscFile(kit::DemoScript(7))), 1);
    ASSERT_EQ(Analyse(kit::EscFile(kit::DemoScript(22))), 1);
    EXPECT_EQ(EmModelTable.count, 0);
    EXPECT_EQ(EmTendrils.kinds[0][0].amount, 0);
    // The second script's character table and its two weapon lists.
    EXPECT_EQ(g_Watch.held.size(), 3u);
}

// The demo's scripts read from their mission folders, and files that give
// nothing to analyse; the resource path is the same afterwards.
TEST_F(EmScriptTest, LoadReadsTheMissionFolder) {
    for (const kit::NamedFile& f : kit::DemoMissionFiles()) Put(f.name, f.data);
    std::vector<uint8_t> cut = kit::EscFile(kit::DemoScript(22));
    cut.resize(cut.size() - 1);
    Put(".\\ms3\\ENEMIES.ESC", cut);
    Put(".\\ms4\\ENEMIES.ESC", {});
    std::vector<uint8_t> foreign = kit::EscFile(kit::DemoScript(22));
    foreign[0] = 'X';
    Put(".\\ms6\\ENEMIES.ESC", foreign);
    const struct {
        int mission;
        int answer;
        int characters;
        size_t boxes;
    } rows[] = {{22, 1, 4, 0}, {7, 1, 5, 0}, {5, 0, 0, 0}, {3, 0, 2, 0}, {4, 0, 0, 0}, {6, 0, 0, 1}};
    SetResourcePath(".\\");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mission);
        host::headless::ClearBoxes();
        host::headless::ClearBoxAnswers();
        host::headless::QueueBoxAnswer(host::IDRETRY);
        Release();
        g_Watch.held.clear();
        EXPECT_EQ(EM_LoadStrategyScript(row.mission), row.answer);
        EXPECT_EQ(EmCharacterTable.count, row.characters);
        EXPECT_EQ(host::headless::Boxes().size(), row.boxes);
        char path[128];
        EXPECT_STREQ(GetResourcePath(path, sizeof path), ".\\");
        // The image is given back whatever the answer.
        Release();
        EXPECT_TRUE(g_Watch.held.empty());
    }
}

// What the demo missions' enemies are given: the guard of mission 22 is
// an Attacker hurt by the hero's first shot, with foreseeable delays.
TEST_F(EmScriptTest, DemoScriptsGiveTheGuards) {
    for (const kit::NamedFile& f : kit::DemoMissionFiles()) Put(f.name, f.data);
    ASSERT_EQ(EM_LoadStrategyScript(22), 1);
    EmCharacter* guard = EM_FindCharacter(&EmCharacterTable, "guard");
    ASSERT_NE(guard, nullptr);
    const EmCharacteristics& c = guard->characteristics;
    EXPECT_EQ(c.mainBehaviour, 1);
    EXPECT_EQ(c.shootDelay.minimum, c.shootDelay.maximum);
    EXPECT_STREQ(c.shotEffect, "gshot");
    EXPECT_EQ(c.contactDamage, 10);
    EXPECT_EQ(EM_FindWeaponName(guard->weapons, guard->weaponCount, "W1-1-A.CGS"), 0);
    EXPECT_NE(EM_FindCharacter(&EmCharacterTable, "<DEFAULT>"), nullptr);
    Release();
    ASSERT_EQ(EM_LoadStrategyScript(7), 1);
    int enabled = 0;
    for (const auto& side : EmTendrils.kinds)
        for (const EmTendrilKind& k : side) enabled += k.delay.minimum != 0 || k.delay.maximum != 0;
    EXPECT_GE(enabled, 2);
    guard = EM_FindCharacter(&EmCharacterTable, "guard");
    ASSERT_NE(guard, nullptr);
    // Its replacement names the script's one model.
    EXPECT_EQ(guard->characteristics.replacement, 11);
    EXPECT_EQ(EmModelTable.count, 1);
}

}  // namespace
