// Targets, separation, visibility, the mission 5 rules and the per-frame
// character pass, over a mission of records built here: each character a
// small model whose position the test scripts.  No collision world is
// loaded, so every line of sight is clear.
#include "scene_support.h"

#include "game/characters.h"
#include "game/dqx_controls.h"
#include "game/dqx_overlay.h"
#include "game/dqx_targets.h"
#include "game/dqx_translations.h"
#include "game/dqx_tendrils.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "platform/settings.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using test::Single;
using test::Triangle;

// Where a test puts a character of slot 1 and up.
struct Cast {
    int slot;
    uint8_t kind;
    Vec3 at;
    int32_t room = 0;
    uint8_t special = 0;
    uint8_t dying = 0;
    uint8_t shown = 1;
    uint8_t active = 1;
};

class CharacterTargetsTest : public test::SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        savedTable_ = CharacterTable;
        savedAnim_ = CharacterAnimTable;
        savedMission_ = MissionPtr;
        savedRoom_ = CurrentRoomIndex;
        savedNumber_ = MissionNumber;
        records_.assign(kCharacterSlots, CharacterRecord{});
        anims_.assign(kCharacterSlots, CharacterAnimState{});
        defs_.assign(kCharacterSlots, CharacterDef{});
        rooms_.assign(3, RoomRecord{});
        rooms_[1].position = {10000, 1218, 20000};
        rooms_[2].position = {-5000, 1218, 0};
        mission_ = MissionRecord{};
        mission_.characterDefs = defs_.data();
        mission_.characterDefCount = 1;
        mission_.rooms = rooms_.data();
        mission_.roomCount = int32_t(rooms_.size());
        CharacterTable = records_.data();
        CharacterAnimTable = anims_.data();
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        MissionNumber = 7;
        DebugFlags = 0;
        MissionStateByte = 0;
        GameTimer.DeltaUnits = 3;
        GameTimer.DoubleDelta = 6;
        EngineServices.CharacterPosition = [](void* c) { return &static_cast<CharacterRecord*>(c)->position; };
        EngineServices.CharacterOrientation = [](void* c) { return &static_cast<CharacterRecord*>(c)->orientation; };
        g_GameCalls.clear();
        Put(0, 0, {0, 0, 0});
    }
    void TearDown() override {
        CharacterTable = savedTable_;
        CharacterAnimTable = savedAnim_;
        MissionPtr = savedMission_;
        CurrentRoomIndex = savedRoom_;
        MissionNumber = savedNumber_;
        DebugFlags = 0;
        EngineServices = kNullEngineServices;
        SceneTest::TearDown();
    }

    // A present character with a model at `at`, shown and active in `room`;
    // the definition count grows to include it.
    CharacterRecord& Put(int slot, uint8_t kind, Vec3 at, int32_t room = 0) {
        CharacterRecord& c = records_[slot];
        CharacterDef& d = defs_[slot];
        d.room = room;
        d.shown = 1;
        d.active = 1;
        d.opacity = 255;
        d.maxLife = 100;
        d.life = 100;
        std::snprintf(d.name, sizeof d.name, "c%d", slot);
        c.def = &d;
        c.present = 1;
        c.kind = kind;
        const std::string name = std::string("c").append(std::to_string(slot));
        if (c.model <= 0) c.model = LoadSpec(Single(Triangle(name, 2, {-10, -10, 0}, {-10, 10, 0}, {10, -10, 0})), name);
        Move(c, at);
        Set_Identity(&c.orientation);
        if (slot >= mission_.characterDefCount) mission_.characterDefCount = slot + 1;
        return c;
    }
    void Put(const Cast& k) {
        CharacterRecord& c = Put(k.slot, k.kind, k.at, k.room);
        c.special = k.special;
        c.def->dying = k.dying;
        c.def->shown = k.shown;
        c.def->active = k.active;
    }
    static void Move(CharacterRecord& c, Vec3 at) {
        c.position = at;
        Set_ObjPos(c.model, &at);
    }
    int SlotOf(const CharacterRecord* c) const {
        return c ? int(c - records_.data()) : -1;
    }
    static bool Hidden(ObjHandle h) {
        return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0;
    }
    std::vector<int> UpdatedSlots() const {
        std::vector<int> slots;
        for (const GameCall& g : g_GameCalls)
            if (g.what == "UpdateCharacter") slots.push_back(SlotOf(g.character));
        return slots;
    }

    std::vector<CharacterRecord> records_;
    std::vector<CharacterAnimState> anims_;
    std::vector<CharacterDef> defs_;
    std::vector<RoomRecord> rooms_;
    MissionRecord mission_{};
    CharacterRecord* savedTable_ = nullptr;
    CharacterAnimState* savedAnim_ = nullptr;
    MissionRecord* savedMission_ = nullptr;
    uint8_t savedRoom_ = 0;
    uint8_t savedNumber_ = 0;
};

// Distances along x from the hero at the origin.  Get_Dist2 is d*d >> 15:
// 5792 gives 1023 and 5793 gives 1024, the hero's limit.
struct HeroTargetCase {
    const char* name;
    std::vector<Cast> cast;
    int expected;  // slot, -1 for none
};

TEST_F(CharacterTargetsTest, HeroChoosesTheNearestAttackerOrAlly) {
    const HeroTargetCase cases[] = {
        {"equal distances: the lower slot", {{2, 1, {3000, 0, 0}}, {3, 1, {-3000, 0, 0}}}, 2},
        {"a later, nearer one wins", {{2, 1, {3000, 0, 0}}, {3, 2, {0, 0, 2900}}}, 3},
        // 2999^2 >> 15 = 3000^2 >> 15 = 274: equal after the shift.
        {"nearer by less than the measure: the lower slot", {{2, 1, {3000, 0, 0}}, {3, 2, {0, 0, 2999}}}, 2},
        {"just inside the limit", {{2, 1, {5792, 0, 0}}}, 2},
        {"on the limit: none", {{2, 1, {5793, 0, 0}}}, -1},
        {"an ordinary character is never the target", {{2, 0, {100, 0, 0}}, {3, 1, {4000, 0, 0}}}, 3},
        {"only an ordinary character: none", {{2, 0, {100, 0, 0}}}, -1},
        {"another room", {{2, 1, {100, 0, 0}, 1}}, -1},
        {"a special state", {{2, 1, {100, 0, 0}, 0, 4}}, -1},
        {"dying", {{2, 1, {100, 0, 0}, 0, 0, 2}}, -1},
        {"not shown", {{2, 1, {100, 0, 0}, 0, 0, 0, 0}}, -1},
        {"not active, the next one taken", {{2, 1, {100, 0, 0}, 0, 0, 0, 1, 0}, {3, 1, {200, 0, 0}}}, 3},
    };
    for (const HeroTargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 1; i < kCharacterSlots; ++i) records_[i].present = 0;
        mission_.characterDefCount = 1;
        records_[0].target = &records_[0];  // cleared by the choice
        for (const Cast& k : c.cast) Put(k);
        EXPECT_EQ(SlotOf(FindNearestTarget(&records_[0])), c.expected);
        EXPECT_EQ(SlotOf(records_[0].target), c.expected);
    }
    // Any other character aims at the hero, whatever stands near it.
    EXPECT_EQ(FindNearestTarget(&records_[3]), &records_[0]);
}

// The attacker is the hero, facing +x (identity orientation): a character
// at -x is behind it.  Get_CharDelta's squared length: 2896 gives 255 and
// 2897 gives 256, the new-target limit; 2047 gives 127 and 2048 gives 128,
// the keep limit.
struct AttackerTargetCase {
    const char* name;
    std::vector<Cast> cast;
    int kept;  // the current target's slot, -1 for none
    int inSight;
    int expected;
};

TEST_F(CharacterTargetsTest, AttackerKeepsOrTakesTheLastNearAttacker) {
    const AttackerTargetCase cases[] = {
        {"two near attackers: the last slot", {{2, 1, {1000, 0, 0}}, {5, 1, {2000, 0, 0}}}, -1, 0, 5},
        {"just inside the new-target limit", {{2, 1, {2896, 0, 0}}}, -1, 0, 2},
        {"on the new-target limit: none", {{2, 1, {2897, 0, 0}}}, -1, 0, -1},
        {"allies are not taken", {{2, 2, {100, 0, 0}}}, -1, 0, -1},
        {"another room", {{2, 1, {100, 0, 0}, 2}}, -1, 0, -1},
        {"behind it without sight asked", {{2, 1, {-1000, 0, 0}}}, -1, 0, 2},
        {"behind it with sight asked: none", {{2, 1, {-1000, 0, 0}}}, -1, 1, -1},
        {"ahead with sight asked", {{2, 1, {1000, 0, 0}}}, -1, 1, 2},
        {"the kept target inside the keep limit", {{2, 2, {2047, 0, 0}}, {3, 1, {100, 0, 0}}}, 2, 0, 2},
        {"the kept target on the keep limit: rescan", {{2, 2, {2048, 0, 0}}, {3, 1, {100, 0, 0}}}, 2, 0, 3},
        {"a kept target not shown: rescan", {{2, 1, {100, 0, 0}, 0, 0, 0, 0}, {3, 1, {200, 0, 0}}}, 2, 0, 3},
    };
    for (const AttackerTargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 1; i < kCharacterSlots; ++i) records_[i].present = 0;
        mission_.characterDefCount = 1;
        for (const Cast& k : c.cast) Put(k);
        records_[0].target = c.kept >= 0 ? &records_[c.kept] : nullptr;
        EXPECT_EQ(SlotOf(FindCharacterTarget(&records_[0], c.inSight)), c.expected);
    }
    // An attacker never answers itself.
    for (int i = 1; i < kCharacterSlots; ++i) records_[i].present = 0;
    Put(4, 1, {0, 0, 0});
    records_[4].target = nullptr;
    EXPECT_EQ(FindCharacterTarget(&records_[4], 0), nullptr);
}

// The other character stands at the origin; the mover at `from`.  Spheres
// of 500 overlap strictly below 500 units (3D); the push is horizontal to
// 250 units.  (140, 480) is exactly 500 away: 140^2 + 480^2 = 500^2.
struct SeparationCase {
    const char* name;
    Vec3 from;
    uint8_t otherMovedIn, otherShown, otherActive;
    Vec3 expected;
    int answer;
};

TEST_F(CharacterTargetsTest, SeparationPushesOverlappingCharactersTo250) {
    const SeparationCase cases[] = {
        {"249 apart: pushed to 250", {249, 0, 0}, 0, 1, 1, {250, 0, 0}, 1},
        {"250 apart: left", {250, 0, 0}, 0, 1, 1, {250, 0, 0}, 0},
        {"diagonal 3-4-5 at 200: along the line", {120, 0, 160}, 0, 1, 1, {150, 0, 200}, 1},
        {"rounded to the nearest unit", {100, 0, 100}, 0, 1, 1, {177, 0, 177}, 1},
        {"exactly 500 apart in 3D: no overlap", {140, 480, 0}, 0, 1, 1, {140, 480, 0}, 0},
        {"just under 500 in 3D: pushed, height kept", {140, 479, 0}, 0, 1, 1, {250, 479, 0}, 1},
        {"on the same spot: no direction, left", {0, 0, 0}, 0, 1, 1, {0, 0, 0}, 0},
        {"the other just moved in", {100, 0, 0}, 1, 1, 1, {100, 0, 0}, 0},
        {"the other not shown", {100, 0, 0}, 0, 0, 1, {100, 0, 0}, 0},
        {"the other not active", {100, 0, 0}, 0, 1, 0, {100, 0, 0}, 0},
    };
    CharacterRecord& other = Put(1, 1, {0, 0, 0});
    CharacterRecord& mover = Put(2, 1, {0, 0, 0});
    Move(records_[0], {-90000, 0, 0});  // the hero far away
    for (const SeparationCase& c : cases) {
        SCOPED_TRACE(c.name);
        other.def->movedIn = c.otherMovedIn;
        other.def->shown = c.otherShown;
        other.def->active = c.otherActive;
        Move(mover, c.from);
        EXPECT_EQ(SeparateCharacters(&mover), c.answer);
        EXPECT_EQ(mover.position.x, c.expected.x);
        EXPECT_EQ(mover.position.y, c.expected.y);
        EXPECT_EQ(mover.position.z, c.expected.z);
        // The model and the animation state move with the record.
        Vec3 model;
        Get_ObjPos(mover.model, &model);
        EXPECT_EQ(model.x, c.expected.x);
        EXPECT_EQ(anims_[2].position.x, c.answer ? c.expected.x : 0);
        anims_[2].position = {};
    }
}

struct VisibilityCase {
    const char* name;
    int32_t room;
    uint8_t active;
    uint8_t debug;
    bool shown;
};

TEST_F(CharacterTargetsTest, VisibilityFollowsTheCurrentRoom) {
    const VisibilityCase cases[] = {
        {"active in the current room", 0, 1, 0, true},
        {"in the current room, not active", 0, 0, 0, false},
        {"in another room", 1, 1, 0, false},
        {"in no room (255)", kNoRoom, 1, 0, false},
        {"in a room past the count (3)", 3, 1, 0, false},
        {"another room with Vision", 1, 1, kDebugVision, true},
        {"not active with Vision", 0, 0, kDebugVision, true},
    };
    CharacterRecord& c = Put(1, 1, {0, 0, 0});
    c.attached = LoadSpec(Single(Triangle("shadow", 2, {-10, -10, 0}, {-10, 10, 0}, {10, -10, 0})), "shadow");
    for (const VisibilityCase& v : cases) {
        SCOPED_TRACE(v.name);
        c.def->room = v.room;
        c.def->active = v.active;
        DebugFlags = v.debug;
        UpdateCharacterVisibility();
        EXPECT_EQ(!Hidden(c.model), v.shown);
        EXPECT_EQ(!Hidden(c.attached), v.shown) << "the shadow follows";
    }
    // The current room moves: the character of room 1 is now shown.
    DebugFlags = 0;
    c.def->room = 1;
    c.def->active = 1;
    CurrentRoomIndex = 1;
    UpdateCharacterVisibility();
    EXPECT_FALSE(Hidden(c.model));
}

// One pass over a cast, with the frame step 3 (double 6): who is updated,
// and what the pass leaves in each record.
struct PassCase {
    const char* name;
    int slot;
    int32_t room;
    uint8_t present;
    bool model;
    uint8_t special;
    bool updated;
};

TEST_F(CharacterTargetsTest, PassUpdatesTheHeroAndPresentCharactersOfTheRoom) {
    const PassCase cases[] = {
        {"present in the room", 1, 0, 1, true, 0, true},
        {"in another room", 2, 1, 1, true, 0, false},
        {"not present", 3, 0, 0, true, 0, false},
        {"without a model", 4, 0, 1, false, 0, false},
        {"held by a scene (special 8)", 5, 0, 1, true, 8, false},
        {"another special state", 6, 0, 1, true, 4, true},
    };
    for (const PassCase& p : cases) {
        CharacterRecord& c = Put(p.slot, 1, {1000 * p.slot, 0, 0}, p.room);
        c.present = p.present;
        c.special = p.special;
        if (!p.model) c.model = 0;
    }
    // A stale record past the definition count is not reached.
    CharacterRecord& stale = records_[40];
    stale.present = 1;
    stale.def = &defs_[1];
    stale.model = records_[1].model;
    UpdateCharacters();
    std::vector<int> expected = {0};
    for (const PassCase& p : cases)
        if (p.updated) expected.push_back(p.slot);
    EXPECT_EQ(UpdatedSlots(), expected);
}

struct StepCase {
    const char* name;
    int slot;
    int32_t room;
    uint16_t stateTimer;
    uint8_t immunity, flags, shown;
    uint8_t opacity;
    int32_t protection;
    // After one pass with the frame step 3.
    uint16_t expectedTimer;
    uint8_t expectedImmunity, expectedActive, expectedOpacity, expectedFlags;
    int32_t expectedProtection;
};

TEST_F(CharacterTargetsTest, PassCountsDownTimersFadesAndProtection) {
    const StepCase cases[] = {
        {"state timer drops by the step", 1, 0, 10, 0, 0, 1, 255, 0, 7, 0, 1, 255, 0, 0},
        {"state timer stops at 1", 1, 0, 2, 0, 0, 1, 255, 0, 1, 0, 1, 255, 0, 0},
        {"a stopped timer stays 0", 1, 0, 0, 0, 0, 1, 255, 0, 0, 0, 1, 255, 0, 0},
        {"immunity drops by one", 1, 0, 0, 2, 0, 1, 255, 0, 0, 1, 1, 255, 0, 0},
        {"hidden flag: not active", 1, 0, 0, 0, 4, 1, 255, 0, 0, 0, 0, 255, 4, 0},
        {"not shown: not active", 1, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0},
        {"another room: nothing counts", 1, 1, 10, 2, 0, 1, 255, 0, 10, 2, 0, 255, 0, 0},
        {"hero fade drops by the double step", 0, 0, 0, 0, 0, 1, 100, 0, 0, 0, 1, 94, 0, 0},
        {"hero fade stops at 0", 0, 0, 0, 0, 0, 1, 4, 0, 0, 0, 1, 0, 0, 0},
        {"hero no fade at 255", 0, 0, 0, 0, 0, 1, 255, 0, 0, 0, 1, 255, 0, 0},
        {"hero protection runs: flag set", 0, 0, 0, 0, 0, 1, 255, 10, 0, 0, 1, 255, 8, 7},
        {"hero protection ends: 0", 0, 0, 0, 0, 0, 1, 255, 3, 0, 0, 1, 255, 8, 0},
        {"hero without protection: flag cleared", 0, 0, 0, 0, 8, 1, 255, 0, 0, 0, 1, 255, 0, 0},
    };
    for (const StepCase& s : cases) {
        SCOPED_TRACE(s.name);
        CharacterRecord& c = Put(s.slot, 1, {0, 0, 0}, s.room);
        c.def->active = 0;
        c.def->immunity = s.immunity;
        c.def->flags = s.flags;
        c.def->shown = s.shown;
        c.def->opacity = s.opacity;
        c.stateTimer = s.stateTimer;
        c.protection = s.protection;
        UpdateCharacters();
        EXPECT_EQ(c.stateTimer, s.expectedTimer);
        EXPECT_EQ(c.def->immunity, s.expectedImmunity);
        EXPECT_EQ(c.def->active, s.expectedActive);
        EXPECT_EQ(c.def->opacity, s.expectedOpacity);
        EXPECT_EQ(c.def->flags, s.expectedFlags);
        EXPECT_EQ(c.protection, s.expectedProtection);
    }
}

// Facing the hero: the answer is the squared horizontal distance >> 15;
// 543 units give 8 (543^2 >> 15), 544 give 9.
struct FaceCase {
    const char* name;
    int32_t mission;
    int32_t x;
    uint8_t nearBit, defaultAnim;
};

TEST_F(CharacterTargetsTest, FacingTheHeroSetsTheNearBit) {
    const FaceCase cases[] = {
        {"on the hero's spot", 7, 543, 0, 0},
        {"on the hero's spot in mission 1", 1, 543, 0, 1},
        {"away from the hero", 7, 544, 1, 0},
        {"away in mission 1", 1, 544, 1, 0},
    };
    for (const FaceCase& f : cases) {
        SCOPED_TRACE(f.name);
        MissionNumber = uint8_t(f.mission);
        CharacterRecord& c = Put(1, 1, {f.x, 0, 0});
        c.defaultAnim = 0;
        c.nearBit = 7;
        FaceHero(&c);
        EXPECT_EQ(c.nearBit, f.nearBit);
        EXPECT_EQ(c.defaultAnim, f.defaultAnim);
        // Turned toward the hero: its forward axis points at -x.
        EXPECT_GT(Get_FacingCosXZ(&c, &records_[0].position), 16000);
    }
    // The hero does not face itself.
    Mat3 before = records_[0].orientation;
    records_[0].nearBit = 7;
    FaceHero(&records_[0]);
    EXPECT_EQ(records_[0].nearBit, 7);
    EXPECT_EQ(std::memcmp(&before, &records_[0].orientation, sizeof before), 0);
}

TEST_F(CharacterTargetsTest, MissionFiveRulesRunOnlyOverDefinedSlots) {
    MissionNumber = 5;
    CharacterRecord& e = Put(1, 1, {0, 0, 0});
    std::snprintf(e.def->name, sizeof e.def->name, "Ebon");
    // Stale slots past the count hold definitions named 'E' and 'T' with no
    // life: they must not be read.
    for (int i = 2; i < kCharacterSlots; ++i) {
        records_[i].def = &defs_[i];
        std::snprintf(defs_[i].name, sizeof defs_[i].name, i % 2 ? "Eater" : "Thorn");
        defs_[i].life = 0;
        defs_[i].room = 1;
    }
    UpdateCharacters();
    EXPECT_EQ(MissionStateByte, 0) << "a live 'E' in no special state";
    EXPECT_EQ(records_[0].special, 0);
    for (int i = 2; i < kCharacterSlots; ++i) EXPECT_EQ(defs_[i].room, 1) << i;

    // The 'E' character falls: the tendrils stop, the hero takes code 17 once.
    e.def->life = 0;
    g_GameCalls.clear();
    UpdateCharacters();
    UpdateCharacters();
    EXPECT_EQ(MissionStateByte, kTendrilsSilenced);
    EXPECT_EQ(records_[0].special, 16);
    int asked = 0;
    for (const GameCall& g : g_GameCalls)
        if (g.what == "SetCharacterAnim" && g.character == &records_[0] && g.a == 17) ++asked;
    EXPECT_EQ(asked, 1);
}

TEST_F(CharacterTargetsTest, MissionFiveRevivesAFallenTOutsideTheRoom) {
    MissionNumber = 5;
    CharacterRecord& t = Put(1, 0, {0, 0, 0}, 2);
    std::snprintf(t.def->name, sizeof t.def->name, "Thorn");
    t.def->life = 0;
    t.def->shown = 0;
    t.special = 32;
    host::SeedRand(1);
    UpdateCharacters();
    EXPECT_LT(t.def->room, mission_.roomCount);
    EXPECT_GE(t.def->life, 128);
    EXPECT_LE(t.def->life, 255);
    EXPECT_EQ(t.def->state, 2);
    EXPECT_EQ(t.def->shown, 1);
    EXPECT_EQ(t.kind, 1);
    EXPECT_EQ(t.special, 0);
    EXPECT_EQ(t.def->movedIn, 1);
    // A fallen 'T' in the current room stays where it fell.
    CharacterRecord& u = Put(2, 0, {0, 0, 0}, 0);
    std::snprintf(u.def->name, sizeof u.def->name, "Tusk");
    u.def->life = 0;
    UpdateCharacters();
    EXPECT_EQ(u.def->room, 0);
    EXPECT_EQ(u.def->life, 0);
}

TEST_F(CharacterTargetsTest, MovingIntoARoomPlacesAndTellsTheStatusLine) {
    std::snprintf(MenuTexts[kMovedInText], kMenuTextBytes, "%%s comes in %%d");
    CharacterRecord& c = Put(1, 1, {0, 0, 0}, 0);
    Hide_Obj(c.model);
    StatusText[0] = 0;
    MoveCharacterToRoom(&c, 1);
    EXPECT_EQ(c.def->room, 1);
    EXPECT_EQ(c.position.x, 10000);
    EXPECT_EQ(c.position.z, 20000);
    EXPECT_EQ(anims_[1].position.z, 20000);
    EXPECT_EQ(c.def->movedIn, 1);
    EXPECT_FALSE(Hidden(c.model));
    EXPECT_STREQ(StatusText, "") << "the hero's state timer is not running";
    // With the hero's state timer running the line names the character; a
    // second conversion in the text is not trusted.
    records_[0].stateTimer = 5;
    MoveCharacterToRoom(&c, 7);
    EXPECT_STREQ(StatusText, "c1 comes in %d");
    EXPECT_EQ(c.def->room, 7) << "no room: the character stays where it is";
    EXPECT_EQ(c.position.x, 10000);
    // The name is the translated one when the mission's translations hold
    // the character, in full up to a translated line's length.
    const char* names[1] = {c.def->name};
    char line[] = "Aldric, keeper of the long nave";
    char* lines[1] = {line};
    const char** savedNames = TranslationNames;
    char** savedLines = TranslationLines;
    const int32_t savedCount = TranslationCount;
    TranslationNames = names;
    TranslationLines = lines;
    TranslationCount = 1;
    MoveCharacterToRoom(&c, 1);
    TranslationNames = savedNames;
    TranslationLines = savedLines;
    TranslationCount = savedCount;
    EXPECT_STREQ(StatusText, "Aldric, keeper of the long nave comes in %d");
}

}  // namespace
