// Weapons over object records built here and the kit's weapon files: the
// .cws read field by field and refused when malformed, the charges kept
// across missions, the use and take rules of each name family, grenades
// and barriers running out on the virtual millisecond clock (also across
// its wrap), the save block written and read back and refused; then the
// kit's demo missions with their weapons.
#include "scene_support.h"

#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_anim.h"
#include "game/dqx_combat.h"
#include "game/dqx_load.h"
#include "game/dqx_objects.h"
#include "game/dqx_translations.h"
#include "game/dqx_weapons.h"
#include "game/mission_records.h"
#include "host/headless/headless.h"
#include "platform/resfile.h"
#include "tests/memory_file.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/weapon_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t kFloorY = 1218;
constexpr uint64_t kWrapMs = uint64_t(1) << 32;

struct Impact {
    Vec3 at;
    int32_t radius;
    std::string name;
};
std::vector<Impact> g_impacts;

int32_t RecordImpact(const Vec3* at, int32_t radius, const char* name) {
    g_impacts.push_back({*at, radius, name ? name : ""});
    return 0;
}

bool Hidden(ObjHandle h) {
    return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0;
}

// The part of the model of that name.
ObjHandle PartNamed(ObjHandle model, const char* name) {
    for (int i = 0; i < Get_PartCount(model); ++i)
        if (std::strcmp(Get_ObjName(model + i), name) == 0) return model + i;
    return -1;
}

// Whether an effect instance runs and its first set hangs on the anchor.
bool EffectRunsOn(int instance, ObjHandle anchor) {
    if (instance < 0 || instance >= kEffectInstances) return false;
    const EffectInstance& e = g_EffectInstances[instance];
    return e.active && e.count > 0 && g_EffectSlots[e.slots[0]].anchor == anchor;
}

// Effect sets in use whose name holds `part`.
int SetsNamed(const char* part) {
    int n = 0;
    for (const EffectSlot& s : g_EffectSlots)
        if (s.inUse && std::strstr(s.name, part)) ++n;
    return n;
}

class WeaponsTest : public test::SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        savedTable_ = CharacterTable;
        savedAnim_ = CharacterAnimTable;
        savedMission_ = MissionPtr;
        records_.assign(kCharacterSlots, CharacterRecord{});
        anims_.assign(kCharacterSlots, CharacterAnimState{});
        defs_.assign(1, CharacterDef{});
        std::strcpy(defs_[0].name, "hero");
        rooms_.assign(1, RoomRecord{});
        objects_.assign(kObjectCapacity, ObjectRecord{});
        mission_ = MissionRecord{};
        mission_.rooms = rooms_.data();
        mission_.roomCount = 1;
        mission_.objects = objects_.data();
        mission_.objectCapacity = kObjectCapacity;
        mission_.characterDefs = defs_.data();
        mission_.characterDefCount = 1;
        CharacterTable = records_.data();
        CharacterAnimTable = anims_.data();
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        for (const kit::NamedFile& f : kit::DemoWeaponFiles()) Put(f.name, f.data);
        for (const kit::NamedFile& f : kit::DemoEffectFiles()) Put(f.name, f.data);
        PutDemoCharacters();
        SetResourcePath("");
        Hero().def = &defs_[0];
        Hero().present = 1;
        Hero().model = Load_SceneObject(".\\all\\hero.3dc");
        ClearObjectSlots();
        ClearSavedCharges();
        BarrierFlags = 0;
        ActiveShield = 0;
        g_impacts.clear();
        WeaponExplosionImpact = RecordImpact;
        host::headless::SetAutoStep(0, 0);
        SetMs(1000);
    }
    void TearDown() override {
        FreeWeapons(0);
        FreeTranslations();
        Free_AllEffects();
        Free_EffectSets();
        FreeObjectSlots();
        ClearObjectSlots();
        ClearSavedCharges();
        WeaponExplosionImpact = ImpactEnemiesInRadius;
        CharacterTable = savedTable_;
        CharacterAnimTable = savedAnim_;
        MissionPtr = savedMission_;
        SceneTest::TearDown();
    }
    static void SetMs(uint64_t ms) { host::headless::SetClock(ms * 1000); }
    CharacterRecord& Hero() { return records_[0]; }
    ObjectSlotEntry& Slot(int i) { return ObjectSlots.slots[i]; }
    // An object of the current room at (x, floor, z), the grenade's cube as
    // its model.
    ObjectRecord& Add(const char* name, int32_t x = 0, int32_t z = 0) {
        ObjectRecord& o = objects_[size_t(mission_.objectCount)];
        std::snprintf(o.name, sizeof o.name, "%s", name);
        std::snprintf(o.modelName, sizeof o.modelName, ".\\all\\gren.3dc");
        o.position = {x, kFloorY, z};
        o.takeable = 1;
        o.index = uint8_t(mission_.objectCount++);
        return o;
    }
    // The objects named, set up, and the weapons loaded.
    void Begin(const std::vector<const char*>& names, int keep = 1) {
        int32_t x = -900;
        for (const char* name : names) Add(name, x += 300, 500);
        SetupObjects(0);
        LoadWeapons(30, keep);
    }
    // The slot of the object named (its index among the objects).
    ObjectSlotEntry* SlotNamed(const char* name) { return FindObjectSlot(name); }
    void PutWeaponFile(const char* file, const kit::CwsSpec& spec) { Put(file, kit::CwsFile(spec)); }

    std::vector<CharacterRecord> records_;
    std::vector<CharacterAnimState> anims_;
    std::vector<CharacterDef> defs_;
    std::vector<RoomRecord> rooms_;
    std::vector<ObjectRecord> objects_;
    MissionRecord mission_{};
    CharacterRecord* savedTable_ = nullptr;
    CharacterAnimState* savedAnim_ = nullptr;
    MissionRecord* savedMission_ = nullptr;
};

void ExpectDescription(const WeaponRecord* r, const kit::CwsSpec& s) {
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::string(r->effect), s.effect);
    EXPECT_EQ(std::string(r->shotEffect), s.shotEffect);
    EXPECT_EQ(std::string(r->partName), s.part);
    EXPECT_EQ(std::string(r->animName), s.anim);
    EXPECT_EQ(std::string(r->modelFile), s.model);
    EXPECT_EQ(0, std::memcmp(r->reserved, s.reserved.data(), sizeof r->reserved));
    EXPECT_EQ(r->radius, s.radius);
    EXPECT_EQ(r->runningTime, s.runningTime);
    EXPECT_EQ(r->charges, s.charges);
}

// The kit's weapon files and one with every field set read back field by
// field into the slot of their object, with what the game keeps beside.
TEST_F(WeaponsTest, KitWeaponFilesReadFieldByField) {
    kit::CwsSpec odd = kit::DemoBlaster();
    odd.skipped = 0xDEADBEEF;
    for (int i = 0; i < 12; ++i) odd.reserved[size_t(i)] = uint8_t(0xA0 + i);
    odd.radius = 0x01020304;
    odd.runningTime = 0x7FFFFFFF;
    odd.charges = 0;
    odd.effect = std::string(63, 'e');
    struct Row {
        const char* what;
        kit::CwsSpec spec;
        bool model, anim;
    };
    const Row rows[] = {
        {"the blaster", kit::DemoBlaster(), true, true},
        {"every field set", odd, true, true},
        {"the grenade", kit::DemoGrenade(), false, false},
        {"the barrier", kit::DemoBarrier(), false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        PutWeaponFile(".\\all\\Pkbl.cws", row.spec);
        Begin({"key", "PKBLASTER"});
        const WeaponRecord* r = WeaponTable[kWeaponBlaster];
        ExpectDescription(r, row.spec);
        if (!r) continue;
        EXPECT_EQ(r->objectSlot, 1);
        EXPECT_EQ(r->timeLeft, row.spec.runningTime);
        EXPECT_EQ(r->lastUpdate, kWeaponNotStarted);
        EXPECT_EQ(r->armed, 0);
        EXPECT_EQ(r->flags, kWeaponLoaded);
        EXPECT_EQ(r->chargesAtLoad, row.spec.charges);
        EXPECT_EQ(r->effectInstance, -1);
        EXPECT_EQ(r->model > 0, row.model);
        if (row.model) {
            EXPECT_TRUE(Hidden(r->model));
        }
        EXPECT_EQ(r->animation > 0, row.anim);
        EXPECT_EQ(r->morphSet != nullptr, row.anim);
        if (row.anim) {
            EXPECT_EQ(r->morphSet->groupCount, 1);
        }
        for (int slot = 1; slot < kWeaponSlots; ++slot) EXPECT_EQ(WeaponTable[slot], nullptr) << slot;
    }
}

// A file that is short or holds what no writer makes leaves the slot empty,
// and so does a missing file, model, animation or morph; what was loaded
// for it is freed.  Other slots load as before.
TEST_F(WeaponsTest, MalformedFilesLeaveTheSlotEmpty) {
    std::vector<kit::WeaponVariant> variants = kit::MalformedCwsFiles(kit::DemoBlaster());
    auto with = [](const char* name, auto change) {
        kit::CwsSpec s = kit::DemoBlaster();
        change(&s);
        return kit::WeaponVariant{name, kit::CwsFile(s)};
    };
    variants.push_back(with("a model that is not there", [](kit::CwsSpec* s) { s->model = ".\\all\\none.3dc"; }));
    variants.push_back(with("an animation that is not there", [](kit::CwsSpec* s) { s->anim = ".\\all\\none"; }));
    variants.push_back(with("an animation without its morph", [](kit::CwsSpec* s) { s->anim = ".\\all\\HEROIDLE"; }));
    variants.push_back({"an empty file", {}});
    for (const kit::WeaponVariant& v : variants) {
        SCOPED_TRACE(v.name);
        TearDown();
        SetUp();
        for (const kit::NamedFile& f : kit::DemoAnimationFiles()) Put(f.name, f.data);
        Put(".\\all\\Pkbl.cws", v.bytes);
        Add("PKBLASTER");
        Add("GRENADE0");
        SetupObjects(0);
        const int blocks = BlocksInChain();
        LoadWeapons(30, 1);
        EXPECT_EQ(WeaponTable[kWeaponBlaster], nullptr);
        EXPECT_NE(WeaponTable[kWeaponGrenade0], nullptr);
        EXPECT_EQ(BlocksInChain(), blocks) << "nothing of the refused record is left";
    }
    EXPECT_EQ(LoadWeaponFile(".\\all\\none.cws", kWeaponBlaster, 1), nullptr) << "no file";
    EXPECT_EQ(WeaponTable[kWeaponBlaster], nullptr);
    EXPECT_EQ(LoadWeaponFile(".\\all\\Pkbl.cws", kWeaponSlots, 1), nullptr) << "no slot";
}

// No object of the slot's name, no record: a mission without the fourth
// grenade has none in slot 7, and using that name changes nothing.
TEST_F(WeaponsTest, OnlyTheMissionsWeaponObjectsGetRecords) {
    Begin({"GRENADE0", "GRENADE1", "GRENADE2", "BARRIEREH9", "key"});
    for (int slot = 0; slot < kWeaponSlots; ++slot) {
        bool expected = slot == 4 || slot == 5 || slot == 6 || slot == 23;
        EXPECT_EQ(WeaponTable[slot] != nullptr, expected) << slot;
    }
    UseWeapon("GRENADE2");
    ASSERT_EQ(SelectedWeaponSlot, 6);
    UseWeapon("GRENADE3");
    EXPECT_EQ(SelectedWeaponSlot, 6);
    EXPECT_TRUE(WeaponTable[6]->flags & kWeaponSelected);
}

// The charges a mission starts with: with keep (the first mission, a
// restore) or with none saved the file's, which the run then keeps; else
// the run's saved charges replace the file's.
TEST_F(WeaponsTest, ChargesKeptAcrossMissions) {
    struct Row {
        const char* what;
        int32_t saved;
        int keep;
        int32_t charges, savedAfter;
    };
    const Row rows[] = {
        {"none saved: the file's", -1, 0, 12, 12},
        {"none saved, keep", -1, 1, 12, 12},
        {"saved: kept", 5, 0, 5, 5},
        {"saved, keep: the file's", 5, 1, 12, 12},
        {"saved spent: stays spent", 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        SavedCharges[kWeaponBlaster] = row.saved;
        Begin({"PKBLASTER"}, row.keep);
        ASSERT_NE(WeaponTable[kWeaponBlaster], nullptr);
        EXPECT_EQ(WeaponTable[kWeaponBlaster]->charges, row.charges);
        EXPECT_EQ(WeaponTable[kWeaponBlaster]->chargesAtLoad, row.charges);
        EXPECT_EQ(SavedCharges[kWeaponBlaster], row.savedAfter);
    }
    // Three shots in one mission are missing in the next; cleared at the
    // front end's start, the next mission has the file's again.
    UseWeapon("PKBLASTER");
    for (int i = 0; i < 3; ++i) TakeWeaponCharge();
    EXPECT_EQ(SavedCharges[kWeaponBlaster], 0) << "spent at 0: the last row's";
    FreeWeapons(30);
    SavedCharges[kWeaponBlaster] = -1;
    LoadWeapons(31, 1);
    UseWeapon("PKBLASTER");
    for (int i = 0; i < 3; ++i) TakeWeaponCharge();
    EXPECT_EQ(SavedCharges[kWeaponBlaster], 9);
    FreeWeapons(31);
    LoadWeapons(32, 0);
    EXPECT_EQ(WeaponTable[kWeaponBlaster]->charges, 9);
    FreeWeapons(32);
    ClearSavedCharges();
    LoadWeapons(33, 0);
    EXPECT_EQ(WeaponTable[kWeaponBlaster]->charges, 12);
}

// Using objects of each name family, in turn: which slot ends selected,
// the others unselected with their models hidden.  Names of one digit
// only are grenades and barriers; any other name drops the selection.
TEST_F(WeaponsTest, UseRulesPerNameFamily) {
    struct Row {
        const char* what;
        std::vector<const char*> used;
        int selected;
        bool blasterShown;
    };
    const Row rows[] = {
        {"the blaster", {"PKBLASTER"}, 0, true},
        {"letter case ignored", {"pkblaster"}, 0, true},
        // Used again outside the weapon animation (code 20): hidden.
        {"used twice: still the blaster", {"PKBLASTER", "PKBLASTER"}, 0, false},
        {"blaster, then a grenade", {"PKBLASTER", "GRENADE0"}, 4, false},
        {"grenade, then a barrier", {"GRENADE0", "BARRIEREH0"}, 14, false},
        {"grenade, then the blaster", {"GRENADE0", "PKBLASTER"}, 0, true},
        {"GRENADE10 is no grenade (nor barrier 0)", {"GRENADE0", "GRENADE10"}, -1, false},
        {"GRENADEX is no grenade", {"GRENADE0", "GRENADEX"}, -1, false},
        {"BARRIEREH alone is no barrier", {"BARRIEREH0", "BARRIEREH"}, -1, false},
        {"a grenade with no record changes nothing", {"PKBLASTER", "GRENADE3"}, 0, true},
        {"another object drops the selection", {"PKBLASTER", "key"}, -1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        Begin({"PKBLASTER", "GRENADE0", "BARRIEREH0", "key"});
        for (const char* name : row.used) UseWeapon(name);
        EXPECT_EQ(SelectedWeaponSlot, row.selected);
        for (int slot : {kWeaponBlaster, kWeaponGrenade0, kWeaponBarrier0}) {
            const WeaponRecord* r = WeaponTable[slot];
            ASSERT_NE(r, nullptr);
            EXPECT_EQ((r->flags & kWeaponSelected) != 0, slot == row.selected) << slot;
        }
        const WeaponRecord* blaster = WeaponTable[kWeaponBlaster];
        EXPECT_EQ(Hidden(blaster->model), !row.blasterShown);
        if (row.selected == kWeaponBlaster) {
            // Hung on the hero's hand, its glow started there.
            ObjHandle hand = PartNamed(Hero().model, "repere");
            EXPECT_EQ(blaster->attachedTo, hand);
            EXPECT_EQ(Get_ObjParent(blaster->model), hand);
            EXPECT_TRUE(EffectRunsOn(blaster->effectInstance, hand));
            EXPECT_EQ(GetSelectedWeapon(), blaster);
        }
    }
}

// Used again while selected, the blaster shows only while the hero plays
// its weapon animation (code 20).
TEST_F(WeaponsTest, TheSelectedBlasterShowsInTheWeaponAnimation) {
    Begin({"PKBLASTER"});
    UseWeapon("PKBLASTER");
    const WeaponRecord* r = WeaponTable[kWeaponBlaster];
    for (int32_t code : {5, 20, 1, 20}) {
        Hero().currentAnim = code;
        UseWeapon("PKBLASTER");
        EXPECT_EQ(Hidden(r->model), code != 20) << code;
        EXPECT_EQ(SelectedWeaponSlot, kWeaponBlaster);
    }
}

// Charges: each shot takes one from the selected limited records, the run
// keeping what is left; the last taken spends the weapon, which is then
// refused, answered by none and freed at the next frame.  An unlimited
// weapon stays at -1 and is always answered; a weapon used in part can be
// chosen again.
TEST_F(WeaponsTest, TakeChargeSpendsLimitedAndKeepsUnlimited) {
    struct Row {
        const char* what;
        int32_t charges;
        std::vector<int32_t> after;   // charges after each take
        std::vector<bool> answered;  // whether each take answers the record
    };
    const Row rows[] = {
        {"two charges", 2, {1, 0, -1}, {true, false, false}},
        {"unlimited", -1, {-1, -1, -1, -1}, {true, true, true, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        kit::CwsSpec s = kit::DemoBlaster();
        s.charges = row.charges;
        PutWeaponFile(".\\all\\Pkbl.cws", s);
        Begin({"PKBLASTER"});
        UseWeapon("PKBLASTER");
        WeaponRecord* r = WeaponTable[kWeaponBlaster];
        ASSERT_EQ(GetSelectedWeapon(), r);
        anims_[0].weaponRecord = r;
        for (size_t i = 0; i < row.after.size(); ++i) {
            SCOPED_TRACE(i);
            WeaponRecord* answer = TakeWeaponCharge();
            EXPECT_EQ(r->charges, row.after[i]);
            EXPECT_EQ(answer == r, row.answered[i]);
            EXPECT_EQ(SavedCharges[kWeaponBlaster], row.charges < 0 ? -1 : std::max(row.after[i], 0));
        }
        UpdateWeapons();
        if (row.charges < 0) {
            EXPECT_EQ(WeaponTable[kWeaponBlaster], r);
            continue;
        }
        EXPECT_EQ(WeaponTable[kWeaponBlaster], nullptr) << "spent: freed";
        EXPECT_EQ(anims_[0].weaponRecord, nullptr) << "the fire animation keeps no freed record";
        EXPECT_EQ(SelectedWeaponSlot, -1);
    }
    // Spent in a mission before: the blaster cannot be chosen.
    TearDown();
    SetUp();
    SavedCharges[kWeaponBlaster] = 0;
    Begin({"PKBLASTER", "GRENADE0"}, 0);
    UseWeapon("PKBLASTER");
    EXPECT_EQ(SelectedWeaponSlot, -1);
    EXPECT_EQ(AttachWeapon(WeaponTable[kWeaponBlaster], &Hero(), 1), -1);
    // Used in part, put aside for a grenade, chosen again.
    SavedCharges[kWeaponBlaster] = 5;
    FreeWeapons(30);
    LoadWeapons(30, 0);
    UseWeapon("PKBLASTER");
    TakeWeaponCharge();
    UseWeapon("GRENADE0");
    UseWeapon("PKBLASTER");
    EXPECT_EQ(SelectedWeaponSlot, kWeaponBlaster);
    EXPECT_EQ(WeaponTable[kWeaponBlaster]->charges, 4);
    // Not selected: nothing is taken.
    UseWeapon("key");
    EXPECT_EQ(TakeWeaponCharge(), nullptr);
    EXPECT_EQ(WeaponTable[kWeaponBlaster]->charges, 4);
}

// The hero's fire keyframe with a weapon record in its animation state
// takes the shot's charge and leaves the shot pending.
TEST_F(WeaponsTest, TheFireKeyframeTakesACharge) {
    Begin({"PKBLASTER"});
    UseWeapon("PKBLASTER");
    anims_[0].weaponRecord = GetSelectedWeapon();
    ASSERT_NE(anims_[0].weaponRecord, nullptr);
    for (int32_t left : {11, 10, 9}) {
        anims_[0].slots[20].state = 0;
        anims_[0].flags = 0;
        EXPECT_EQ(AnimKeyFire(&Hero(), -1, 20), 1);
        EXPECT_EQ(WeaponTable[kWeaponBlaster]->charges, left);
        EXPECT_EQ(anims_[0].flags & 1, 1);
    }
}

// Taking (putting to work) each family: the pentacle hangs on the hero,
// the grenade is armed with its fuse burning on its object, the barrier
// hangs on the hero with its object consumed and its place noted; a
// blaster only hides the selected model.
TEST_F(WeaponsTest, TakeRulesPerNameFamily) {
    kit::CwsSpec pent;
    pent.effect = ".\\effects\\barrier.cgs";
    pent.part = "tete";
    pent.model = ".\\all\\barr.3dc";
    pent.charges = 1;
    PutWeaponFile(".\\all\\Pent.cws", pent);
    Begin({"PENT", "GRENADE0", "BARRIEREH0", "PKBLASTER", "key"});
    const ObjHandle head = PartNamed(Hero().model, "tete");

    UseWeapon("PENT");
    ASSERT_EQ(SelectedWeaponSlot, kWeaponPent);
    SelectWeapon(SlotNamed("PENT"));
    const WeaponRecord* p = WeaponTable[kWeaponPent];
    EXPECT_EQ(p->flags, kWeaponLoaded);
    EXPECT_EQ(SelectedWeaponSlot, -1);
    EXPECT_EQ(Get_ObjParent(p->model), head);
    EXPECT_FALSE(Hidden(p->model));
    EXPECT_TRUE(EffectRunsOn(p->effectInstance, head));
    EXPECT_EQ(SlotNamed("PENT")->object->consumed, 1);
    EXPECT_EQ(SlotNamed("PENT")->state, kSlotFree);
    EXPECT_TRUE(Hidden(SlotNamed("PENT")->model));

    UseWeapon("GRENADE0");
    ObjectSlotEntry* g = SlotNamed("GRENADE0");
    SelectWeapon(g);
    const WeaponRecord* grenade = WeaponTable[kWeaponGrenade0];
    EXPECT_EQ(grenade->armed, 1);
    EXPECT_EQ(grenade->flags & kWeaponSelected, 0);
    EXPECT_EQ(g->state, kSlotFree);
    EXPECT_EQ(g->object->consumed, 0) << "it lies there until it explodes";
    EXPECT_TRUE(EffectRunsOn(grenade->effectInstance, g->model));

    ObjectSlotEntry* b = SlotNamed("BARRIEREH0");
    Set_ObjPos(b->model, &b->object->position);
    SelectWeapon(b);
    const WeaponRecord* barrier = WeaponTable[kWeaponBarrier0];
    EXPECT_EQ(barrier->armed, 1);
    EXPECT_EQ(barrier->attachedTo, Hero().model);
    EXPECT_TRUE(EffectRunsOn(barrier->effectInstance, Hero().model));
    EXPECT_EQ(b->object->consumed, 1);
    EXPECT_EQ(b->state, kSlotFree);
    EXPECT_EQ(BarrierPosition.x, b->object->position.x);
    EXPECT_EQ(BarrierPosition.z, b->object->position.z);

    UseWeapon("PKBLASTER");
    ASSERT_FALSE(Hidden(WeaponTable[kWeaponBlaster]->model));
    SelectWeapon(SlotNamed("PKBLASTER"));
    EXPECT_TRUE(Hidden(WeaponTable[kWeaponBlaster]->model));
    SelectWeapon(SlotNamed("key"));
    EXPECT_EQ(SelectedWeaponSlot, kWeaponBlaster);

    // A grenade taken back and used again stops; its fuse goes out.
    int fuse = grenade->effectInstance;
    UseWeapon("GRENADE0");
    EXPECT_EQ(grenade->armed, 0);
    EXPECT_FALSE(EffectRunsOn(fuse, g->model));
}

// A grenade put to work starts at its first frame and explodes when its
// time left falls below 0, not at 0: its explosion where its object lies,
// the impact there with its radius under "grexp"; its object is consumed
// and its model freed, its record freed.  Also across the clock's wrap.
TEST_F(WeaponsTest, GrenadeExplodesOnTheVirtualClock) {
    struct Row {
        const char* what;
        uint64_t armAt;      // ms on the 64-bit virtual clock
        int32_t radius;
        std::string shot;
        bool explodes;
        int32_t leftAtEnd;  // after the frame at armAt + 3000
    };
    const Row rows[] = {
        {"the kit's grenade", 5000, 1500, ".\\effects\\grexp.cgs", true, 0},
        {"across the wrap", kWrapMs - 1000, 1500, ".\\effects\\grexp.cgs", true, 0},
        // The clock's last tick (0xFFFFFFFF) marks a run not started: that
        // frame is noted a millisecond early, and the next counts it.
        {"a frame at the clock's last tick", kWrapMs - 3001, 777, ".\\effects\\grexp.cgs", true, 1},
        {"no explosion effect: no impact", 5000, 1500, "*", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        kit::CwsSpec s = kit::DemoGrenade();
        s.radius = row.radius;
        s.shotEffect = row.shot;
        PutWeaponFile(".\\all\\Gren.cws", s);
        Begin({"key", "GRENADE0"});
        ObjectSlotEntry* g = SlotNamed("GRENADE0");
        Vec3 at{-300, kFloorY, 777};
        Set_ObjPos(g->model, &at);
        UseWeapon("GRENADE0");
        SelectWeapon(g);
        const WeaponRecord* r = WeaponTable[kWeaponGrenade0];
        ASSERT_TRUE(EffectRunsOn(r->effectInstance, g->model));
        SetMs(row.armAt);
        UpdateWeapons();
        EXPECT_EQ(r->lastUpdate, uint32_t(row.armAt));
        EXPECT_EQ(r->timeLeft, 3000);
        SetMs(row.armAt + 1000);
        UpdateWeapons();
        EXPECT_EQ(GetBarrierTime(), 2000);
        EXPECT_EQ(BarrierFlags & kBarrierRunning, 0) << "a grenade is no barrier";
        SetMs(row.armAt + 3000);
        UpdateWeapons();
        ASSERT_EQ(WeaponTable[kWeaponGrenade0], r) << "0 left: not yet";
        EXPECT_EQ(r->timeLeft, row.leftAtEnd);
        EXPECT_TRUE(g_impacts.empty());
        SetMs(row.armAt + 3001);
        UpdateWeapons();
        EXPECT_EQ(WeaponTable[kWeaponGrenade0], nullptr);
        EXPECT_EQ(g->object->consumed, 1);
        EXPECT_EQ(g->model, 0);
        EXPECT_EQ(g->state, kSlotFree);
        EXPECT_EQ(SetsNamed("wglow"), 0) << "the fuse is out";
        if (!row.explodes) {
            EXPECT_TRUE(g_impacts.empty());
            EXPECT_EQ(SetsNamed("grexp"), 0);
            continue;
        }
        ASSERT_EQ(g_impacts.size(), 1u);
        EXPECT_EQ(g_impacts[0].at.x, at.x);
        EXPECT_EQ(g_impacts[0].at.y, at.y);
        EXPECT_EQ(g_impacts[0].at.z, at.z);
        EXPECT_EQ(g_impacts[0].radius, row.radius);
        EXPECT_EQ(g_impacts[0].name, "grexp");
        EXPECT_GT(SetsNamed("grexp"), 0) << "the explosion plays";
        SetMs(row.armAt + 60000);
        UpdateWeapons();
        EXPECT_EQ(g_impacts.size(), 1u) << "once";
    }
}

// A barrier: the barrier query answers its time left while it runs (bit 0
// of BarrierFlags for barriers 0..3 only); taken at the last tick of its
// time it still runs, and goes at the next frame, clearing the active
// shield.  The tenth barrier (slot 23) is taken but never runs out.
TEST_F(WeaponsTest, BarrierRunsOutTheFrameAfterItsLastTick) {
    struct Row {
        const char* name;
        int slot;
        bool flag;
        bool expires;
    };
    const Row rows[] = {
        {"BARRIEREH0", 14, true, true},
        {"BARRIEREH3", 17, true, true},
        {"BARRIEREH4", 18, false, true},
        {"BARRIEREH9", 23, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        Begin({row.name});
        ObjectSlotEntry* b = SlotNamed(row.name);
        UseWeapon(row.name);
        SelectWeapon(b);
        WeaponRecord* r = WeaponTable[row.slot];
        ASSERT_NE(r, nullptr);
        ActiveShield = 9;
        SetMs(20000);
        UpdateWeapons();
        BarrierFlags = 0;
        EXPECT_EQ(GetBarrierTime(), row.expires ? 10000 : 0);
        EXPECT_EQ((BarrierFlags & kBarrierRunning) != 0, row.flag);
        SetMs(30000);
        UpdateWeapons();
        EXPECT_EQ(WeaponTable[row.slot], r) << "its last tick";
        EXPECT_EQ(GetBarrierTime(), 0);
        EXPECT_EQ(BarrierFlags & kBarrierRunning, 0);
        SetMs(30001);
        UpdateWeapons();
        SetMs(90000000);
        UpdateWeapons();
        EXPECT_EQ(WeaponTable[row.slot] == nullptr, row.expires);
        EXPECT_EQ(ActiveShield, row.expires ? 0 : 9);
        if (!row.expires) {
            EXPECT_EQ(r->armed, 1);
            EXPECT_EQ(r->lastUpdate, kWeaponNotStarted) << "never started";
        }
    }
}

// The save block of a game with the blaster chosen (7 left), a grenade
// armed with 1800 ms left and a barrier not taken: written as the kit lays
// it out, with the objects' translated names; read back later, each record
// holds what was saved, still loaded but no longer selected, the grenade's
// time running on from the read; the block leaving a slot out frees its
// record.
TEST_F(WeaponsTest, TheSaveBlockRoundTrip) {
    SavedCharges[kWeaponBlaster] = 7;
    Begin({"PKBLASTER", "GRENADE0", "BARRIEREH0"}, 0);
    CollectNames(0);
    ASSERT_EQ(BindTranslation(SlotNamed("PKBLASTER")->object->name, "Pulse blaster"), 1);
    UseWeapon("PKBLASTER");
    UseWeapon("GRENADE0");
    UseWeapon("PKBLASTER");
    SelectWeapon(SlotNamed("GRENADE0"));
    SetMs(4000);
    UpdateWeapons();
    SetMs(5200);
    UpdateWeapons();
    const std::vector<kit::WeaponSaveEntry> expected = {
        {0, 0, 7, kWeaponNotStarted, 0, 7, 7, 0, "Pulse blaster"},
        {4, 3000, 1, 5200, 1800, 1, 6, 1, "GRENADE0"},
        {14, 10000, 1, kWeaponNotStarted, 10000, 1, 6, 0, "BARRIEREH0"},
    };
    CurrentFileTable = &MemoryFileTable;
    MemoryFile file{};
    ASSERT_EQ(WriteWeapons(&file), 1);
    EXPECT_EQ(file.bytes, kit::WeaponSaveBlock(expected));
    EXPECT_EQ(WeaponTable[kWeaponBlaster]->flags, kWeaponSelected | kWeaponLoaded) << "bit 2 only while written";

    for (WeaponRecord* r : WeaponTable)
        if (r) r->charges = 99, r->timeLeft = 1, r->armed = 0, r->flags = kWeaponLoaded;
    SavedCharges[kWeaponBlaster] = 1;
    SetMs(70000);
    file.at = 0;
    ASSERT_EQ(ReadWeapons(&file), 1);
    const WeaponRecord* blaster = WeaponTable[kWeaponBlaster];
    const WeaponRecord* grenade = WeaponTable[kWeaponGrenade0];
    EXPECT_EQ(blaster->charges, 7);
    EXPECT_EQ(blaster->flags, kWeaponLoaded) << "still loaded, no longer selected";
    EXPECT_STREQ(blaster->objectName, "Pulse blaster");
    EXPECT_EQ(SavedCharges[kWeaponBlaster], 7);
    EXPECT_EQ(grenade->armed, 1);
    EXPECT_EQ(grenade->timeLeft, 1800);
    EXPECT_EQ(grenade->lastUpdate, 70000u);
    EXPECT_EQ(WeaponTable[kWeaponBarrier0]->timeLeft, 10000);
    SetMs(71800);
    UpdateWeapons();
    EXPECT_EQ(WeaponTable[kWeaponGrenade0], grenade);
    SetMs(71801);
    UpdateWeapons();
    EXPECT_EQ(WeaponTable[kWeaponGrenade0], nullptr);
    EXPECT_EQ(g_impacts.size(), 1u);

    // Saved without the grenade (it had gone off): a fresh grenade record
    // of the restored mission goes too.
    CurrentFileTable = &ResourceFileTable;
    LoadWeapons(30, 1);
    CurrentFileTable = &MemoryFileTable;
    MemoryFile without{kit::WeaponSaveBlock({expected[0], expected[2]}), 0};
    ASSERT_EQ(ReadWeapons(&without), 1);
    EXPECT_EQ(WeaponTable[kWeaponGrenade0], nullptr);
    EXPECT_NE(WeaponTable[kWeaponBarrier0], nullptr);
    // An entry for a slot this mission has no record for is passed over.
    MemoryFile extra{kit::WeaponSaveBlock({expected[0], {9, 3000, 1, kWeaponNotStarted, 3000, 1, 4, 0, "GRENADE5"},
                                           expected[2]}),
                     0};
    ASSERT_EQ(ReadWeapons(&extra), 1);
    EXPECT_EQ(WeaponTable[9], nullptr);
    EXPECT_EQ(WeaponTable[kWeaponBarrier0]->timeLeft, 10000);
    CurrentFileTable = &ResourceFileTable;
}

bool SameRecord(const WeaponRecord& a, const WeaponRecord& b) {
    return a.runningTime == b.runningTime && a.charges == b.charges && a.lastUpdate == b.lastUpdate &&
           a.timeLeft == b.timeLeft && a.chargesAtLoad == b.chargesAtLoad && a.flags == b.flags &&
           a.armed == b.armed && a.model == b.model && a.objectSlot == b.objectSlot &&
           std::strcmp(a.objectName, b.objectName) == 0 && std::strcmp(a.effect, b.effect) == 0;
}

// Blocks no writer makes are refused and leave every record as it was.
TEST_F(WeaponsTest, MalformedSaveBlocksAreRefused) {
    Begin({"PKBLASTER", "GRENADE0", "BARRIEREH0"});
    const std::vector<kit::WeaponSaveEntry> good = {
        {0, 0, 7, kWeaponNotStarted, 0, 12, 5, 0, "Pulse blaster"},
        {4, 3000, 1, 1000, 1200, 1, 4, 1, "GRENADE0"},
    };
    CurrentFileTable = &MemoryFileTable;
    std::vector<kit::WeaponVariant> variants = kit::MalformedWeaponSaveBlocks(good);
    variants.push_back({"empty", {}});
    std::vector<WeaponRecord> before;
    for (const WeaponRecord* r : WeaponTable)
        if (r) before.push_back(*r);
    for (const kit::WeaponVariant& v : variants) {
        SCOPED_TRACE(v.name);
        MemoryFile file{v.bytes, 0};
        EXPECT_EQ(ReadWeapons(&file), 0);
        size_t n = 0;
        for (const WeaponRecord* r : WeaponTable)
            if (r) {
                EXPECT_TRUE(SameRecord(*r, before[n++]));
            }
        EXPECT_EQ(n, before.size());
    }
    MemoryFile check{kit::WeaponSaveBlock(good), 0};
    EXPECT_EQ(ReadWeapons(&check), 1) << "the good block itself is read";
    CurrentFileTable = &ResourceFileTable;
}

// Freeing the table frees every record's model, the armed ones' too, and
// leaves no animation state pointing at a record.
TEST_F(WeaponsTest, FreeWeaponsFreesArmedRecordsToo) {
    kit::CwsSpec s = kit::DemoBarrier();
    s.model = ".\\all\\barr.3dc";
    PutWeaponFile(".\\all\\Barr.cws", s);
    Add("PKBLASTER");
    Add("BARRIEREH0");
    SetupObjects(0);
    const int blocks = BlocksInChain();
    LoadWeapons(30, 1);
    EXPECT_GT(BlocksInChain(), blocks);
    UseWeapon("PKBLASTER");
    anims_[0].weaponRecord = WeaponTable[kWeaponBlaster];
    SelectWeapon(SlotNamed("BARRIEREH0"));
    ASSERT_EQ(WeaponTable[kWeaponBarrier0]->armed, 1);
    FreeWeapons(30);
    for (const WeaponRecord* r : WeaponTable) EXPECT_EQ(r, nullptr);
    EXPECT_EQ(anims_[0].weaponRecord, nullptr);
    EXPECT_EQ(SelectedWeaponSlot, -1);
    Free_AllEffects();
    Free_EffectSets();
    EXPECT_EQ(BlocksInChain(), blocks);
}

// The slot of a name and the weapon mark of an object.
TEST_F(WeaponsTest, NamesAndWeaponMarks) {
    struct Row {
        const char* name;
        int slot;
        uint8_t mark;
    };
    const Row rows[] = {
        {"PKBLASTER", 0, 1},   {"sword", 1, 1},       {"Grimoire", 2, 1},    {"PENT", 3, 1},
        {"GRENADE0", 4, 1},    {"grenade9", 13, 1},   {"BARRIEREH0", 14, 1}, {"BARRIEREH9", 23, 1},
        {"GRENADE10", -1, 1},  {"GRENADEX", -1, 1},   {"GRENADE", -1, 1},    {"BARRIEREH", -1, 1},
        {"GRENADE-1", -1, 1},  {"OLDSWORD", -1, 1},   {"PENTACLE", -1, 1},   {"BARRIERE", -1, 0},
        {"key", -1, 0},        {"", -1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WeaponSlotOfName(row.name), row.slot);
        ObjectRecord o{};
        std::snprintf(o.name, sizeof o.name, "%s", row.name);
        MarkWeaponObject(&o);
        EXPECT_EQ(o.weapon, row.mark);
        EXPECT_STREQ(o.name, row.name) << "the name is left as it is";
    }
    EXPECT_EQ(WeaponSlotOfName(nullptr), -1);
}

// The saved names come back as translations where the object has none.
TEST_F(WeaponsTest, RestoreWeaponNamesWhereThereIsNoTranslation) {
    Begin({"PKBLASTER", "GRENADE0", "BARRIEREH0"});
    CollectNames(0);
    const char* blaster = SlotNamed("PKBLASTER")->object->name;
    const char* grenade = SlotNamed("GRENADE0")->object->name;
    const char* barrier = SlotNamed("BARRIEREH0")->object->name;
    ASSERT_EQ(BindTranslation(blaster, "Pulse blaster"), 1);
    std::snprintf(WeaponTable[kWeaponBlaster]->objectName, sizeof WeaponTable[0]->objectName, "Old blaster");
    std::snprintf(WeaponTable[kWeaponGrenade0]->objectName, sizeof WeaponTable[0]->objectName, "Frag grenade");
    RestoreWeaponNames();
    EXPECT_STREQ(TranslateName(blaster), "Pulse blaster");
    EXPECT_STREQ(TranslateName(grenade), "Frag grenade");
    EXPECT_STREQ(TranslateName(barrier), "BARRIEREH0") << "no saved name";
}

// The kit's demo missions as the game opens them: mission 22's blaster and
// mission 7's grenade and barrier get their records from the kit's files.
class DemoWeaponsTest : public DemoMissionTest {};

TEST_F(DemoWeaponsTest, DemoMissionsLoadTheirWeapons) {
    struct Row {
        int mission;
        std::vector<int> slots;
    };
    const Row rows[] = {{22, {kWeaponBlaster}}, {7, {kWeaponGrenade0, kWeaponBarrier0}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mission);
        OpenMission(row.mission, 0);
        StartMission(0);
        for (int slot = 0; slot < kWeaponSlots; ++slot) {
            bool expected = std::find(row.slots.begin(), row.slots.end(), slot) != row.slots.end();
            EXPECT_EQ(WeaponTable[slot] != nullptr, expected) << slot;
        }
        for (int i = 0; i < MissionPtr->objectCount; ++i) {
            const ObjectRecord& o = MissionPtr->objects[i];
            EXPECT_EQ(o.weapon, WeaponSlotOfName(o.name) >= 0 ? 1 : 0) << o.name;
        }
        EndMission();
        for (const WeaponRecord* r : WeaponTable) EXPECT_EQ(r, nullptr);
        FirstMission = 1;
    }
    OpenMission(22, 0);
    StartMission(0);
    ExpectDescription(WeaponTable[kWeaponBlaster], kit::DemoBlaster());
}

}  // namespace
