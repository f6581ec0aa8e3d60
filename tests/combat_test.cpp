// Combat on the effects' test characters (the hero in slot 0, a guarded
// guard in slot 1, an enemy in slot 2, all in room 0) with the kit's shot
// effects: the energy step by row, the effect file names, aimed, unaimed
// and tendril shots, hits, explosions, the protection and its witness
// effect, the effects of powers and the choice of the hero's power.
#include "fx_support.h"

#include "ai/em_records.h"
#include "game/dqx_anim.h"
#include "game/dqx_combat.h"
#include "game/dqx_controls.h"
#include "game/dqx_events.h"
#include "game/dqx_overlay.h"
#include "game/dqx_targets.h"
#include "game/dqx_tendrils.h"
#include "game/dqx_weapons.h"
#include "game/player_settings.h"
#include "host/headless/headless.h"
#include "platform/step_log.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace test {
namespace {

constexpr const char* kExhausted = "No energy left";
constexpr const char* kRefused = "Nothing happens";

class CombatTest : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        for (const kit::NamedFile& f : kit::DemoShotEffectFiles()) Put(f.name, f.data);
        savedTables_ = PowerTables;
        savedGameplay_ = GameplaySettings;
        savedState_ = GameState;
        savedMission_ = MissionNumber;
        savedEm_ = EmEnabled;
        savedEmOpen_ = EmOpenFlag;
        PowerTables = BuiltInPowerTables;
        GameplaySettings = GameplaySettingsRecord{};
        GameplaySettings.TendrilsDamage = 9;
        GameplaySettings.DefaultShootFrequency = 4;
        GameState = GameStateRecord{};
        MissionNumber = 22;
        EmEnabled = 1;
        EmOpenFlag = 0;
        BarrierFlags = 0;
        ProtectionEffect = -1;
        MissionFlagByte = 0;
        EventTable = nullptr;
        EventCount = 0;
        StatusText[0] = 0;
        EnergyChangeSum = 0;
        std::snprintf(MenuTexts[kEnergyExhaustedText], kMenuTextBytes, "%s", kExhausted);
        std::snprintf(MenuTexts[kPowerRefusedText], kMenuTextBytes, "%s", kRefused);
        CharacterDef* defs[3] = {&heroDef_, &guardDef_, &enemyDef_};
        const Vec3 places[3] = {{0, 0, 0}, {0, 0, 1200}, {600, 0, 1200}};
        for (int i = 0; i < 3; ++i) {
            characters_[i].position = places[i];
            defs[i]->shown = defs[i]->active = 1;
            defs[i]->room = 0;
            characters_[i].present = 1;
            characters_[i].kind = i == 0 ? 0 : 1;
        }
        heroDef_.energy = 100;
        room_ = RoomRecord{};
        mission_ = MissionRecord{};
        mission_.characterDefs = missionDefs_;
        mission_.characterDefCount = 3;
        mission_.rooms = &room_;
        mission_.roomCount = 1;
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        CurrentRoomPtr = &room_;
        CharacterAnimTable = anims_;
        g_StepLog.clear();
    }
    void TearDown() override {
        Free_AllEffects();
        ProtectionEffect = -1;
        PowerTables = savedTables_;
        GameplaySettings = savedGameplay_;
        GameState = savedState_;
        MissionNumber = savedMission_;
        EmEnabled = savedEm_;
        EmOpenFlag = savedEmOpen_;
        BarrierFlags = 0;
        MissionFlagByte = 0;
        EventTable = nullptr;
        EventCount = 0;
        MenuTexts[kEnergyExhaustedText][0] = MenuTexts[kPowerRefusedText][0] = 0;
        MissionPtr = nullptr;
        CurrentRoomPtr = nullptr;
        CharacterAnimTable = nullptr;
        EffectsTest::TearDown();
    }
    // The hero's weapon row `row` bought and used at `level` at `cost` a level.
    PowerRow& Weapon(int row, int32_t level, int32_t cost = 5) {
        PowerRow& r = PowerTableW[row];
        r.levelBought = r.levelInUse = level;
        r.utilisation = cost;
        hero().weapon = uint8_t(row);
        return r;
    }
    int Count(const char* what) const {
        return int(std::count_if(g_GameCalls.begin(), g_GameCalls.end(),
                                 [&](const GameCall& c) { return c.what == what; }));
    }
    const GameCall* Last(const char* what) const {
        for (auto it = g_GameCalls.rbegin(); it != g_GameCalls.rend(); ++it)
            if (it->what == what) return &*it;
        return nullptr;
    }
    int ActiveInstances() const {
        int n = 0;
        for (const EffectInstance& e : g_EffectInstances) n += e.active != 0;
        return n;
    }
    // The hero turned toward (0, 0, 1200): the guard stands in front.
    void FaceGuard() { Turn_CharTowards(&hero(), &guard().position); }
    void FaceAway() {
        Vec3 behind{0, 0, -1200};
        Turn_CharTowards(&hero(), &behind);
    }

    PowerTablesRecord savedTables_{};
    GameplaySettingsRecord savedGameplay_{};
    GameStateRecord savedState_{};
    uint8_t savedMission_ = 0, savedEm_ = 0, savedEmOpen_ = 0;
    CharacterDef missionDefs_[3] = {};
    RoomRecord room_{};
    MissionRecord mission_{};
    CharacterAnimState anims_[kCharacterSlots] = {};
};

// --- the energy step ------------------------------------------------------------

struct EnergyCase {
    const char* name;
    int32_t kind;
    int row;
    int32_t level, cost;       // the row's level in use and utilisation
    int32_t energy, reserve;   // the hero's before
    int32_t shotClass;
    int32_t energyAfter, reserveAfter;
    bool exhausted;            // the status line says so
    int32_t immunity;          // the hero's afterwards
    int32_t shotsCounter, spellsCounter;
};

TEST_F(CombatTest, EnergyStepTakesTheCostAndAnswersTheClassByRow) {
    const EnergyCase cases[] = {
        {"row 0 gives 10", 0, 0, 2, 5, 100, 0, kShotBlast, 90, 0, false, 0, 10, 0},
        {"row 1 gives 10", 0, 1, 1, 6, 100, 0, kShotBlast, 94, 0, false, 0, 6, 0},
        {"row 4 gives 2", 0, 4, 3, 5, 100, 0, kShotEnemy, 85, 0, false, 0, 15, 0},
        {"row 4 at level 11 gives 4", 0, 4, 11, 1, 100, 0, kShotAimedAlways, 89, 0, false, 0, 11, 0},
        {"row 12 at level 12 gives 4", 0, 12, 12, 1, 100, 0, kShotAimedAlways, 88, 0, false, 0, 12, 0},
        {"row 12 at level 10 gives 2", 0, 12, 10, 1, 100, 0, kShotEnemy, 90, 0, false, 0, 10, 0},
        {"row 13 gives 4", 0, 13, 1, 7, 100, 0, kShotAimedAlways, 93, 0, false, 0, 7, 0},
        {"row 6 gives 3", 0, 6, 1, 7, 100, 0, kShotTendril, 93, 0, false, 0, 7, 0},
        {"row 7 gives 20 and 10 s a level", 0, 7, 2, 3, 100, 0, kShotProtection, 94, 0, false, 1400, 6, 0},
        {"row 7 at level 0 still protects 10 s", 0, 7, 0, 3, 100, 0, kShotProtection, 100, 0, false, 700, 0, 0},
        {"row 2 gives 0, counted as a spell", 0, 2, 2, 4, 100, 0, kShotRefused, 92, 0, false, 0, 0, 8},
        {"a spell gives 0", 1, 3, 1, 25, 100, 0, kShotRefused, 75, 0, false, 0, 0, 25},
        {"the reserve pays the deficit", 0, 0, 1, 30, 10, 50, kShotBlast, 0, 30, false, 0, 30, 0},
        {"energy and reserve exhausted", 0, 0, 1, 30, 10, 15, kShotRefused, 0, 0, true, 0, 0, 0},
        {"exactly paid by the reserve", 0, 0, 1, 30, 10, 20, kShotBlast, 0, 0, false, 0, 30, 0},
    };
    for (const EnergyCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameState.stats = MissionStatsRecord{};
        StatusText[0] = 0;
        hero().immunity = 0;
        hero().pendingPower = 0;
        heroDef_.energy = c.energy;
        heroDef_.energyReserve = c.reserve;
        PowerRow& row = c.kind == kPowerSpell ? PowerTableM[c.row] : PowerTableW[c.row];
        row.levelInUse = c.level;
        row.utilisation = c.cost;
        hero().spell = hero().weapon = uint8_t(c.row);
        EXPECT_EQ(PowerEnergyCost(&hero(), c.kind), c.cost * c.level);
        EXPECT_EQ(SpendPowerEnergy(&hero(), c.kind), c.shotClass);
        EXPECT_EQ(heroDef_.energy, c.energyAfter);
        EXPECT_EQ(heroDef_.energyReserve, c.reserveAfter);
        EXPECT_EQ(std::string(StatusText), c.exhausted ? kExhausted : "");
        // A power not paid for waits for nothing at the animation's end.
        EXPECT_EQ(hero().pendingPower, c.exhausted ? 0 : c.kind + 1);
        EXPECT_EQ(hero().shotCost, c.cost * c.level);
        EXPECT_EQ(hero().immunity, c.immunity);
        EXPECT_EQ(GameState.stats.energyLostShots, c.shotsCounter);
        EXPECT_EQ(GameState.stats.energyLostSpells, c.spellsCounter);
    }
}

TEST_F(CombatTest, OthersPayNothingAndKeepTheStrengthTheirShotWasGiven) {
    guard().shotCost = 17;  // set by the enemy manager's shot
    guardDef_.energy = 40;
    EXPECT_EQ(PowerEnergyCost(&guard(), kPowerWeapon), 0);
    FireCharacterWeapon(&guard(), kPowerWeapon, 0);
    EXPECT_EQ(guard().shotCost, 17);
    EXPECT_EQ(guardDef_.energy, 40);
    EXPECT_EQ(guard().pendingPower, kPowerOther + 1);
    EXPECT_EQ(EnergyChangeSum, 0);
    // Only the hero launches effects.
    EXPECT_EQ(ActiveInstances(), 0);
    EXPECT_EQ(SpendPowerEnergy(&guard(), kPowerOther), kShotEnemy);
}

TEST_F(CombatTest, MissionFiveStartsItsCountdownsOnLowEnergyAndLowLife) {
    struct Case {
        int mission;
        int32_t energyAfter, lifeAfter;
        bool energyTimer, lifeTimer;
    };
    const Case cases[] = {{5, 45, 30, true, false}, {5, 46, 29, false, true}, {4, 10, 10, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mission * 1000 + c.energyAfter);
        GameState = GameStateRecord{};
        MissionNumber = uint8_t(c.mission);
        Weapon(0, 1, 10);
        heroDef_.energy = c.energyAfter + 10;
        SpendPowerEnergy(&hero(), kPowerWeapon);
        heroDef_.life = c.lifeAfter + 5;
        HitCharacter(&hero(), 5, 0);
        auto started = [](int id) {
            for (int i = 0; i < kEventTimers; ++i)
                if (GameState.eventTimers[i] == 50 && GameState.eventTimerIds[i] == id) return true;
            return false;
        };
        EXPECT_EQ(started(12), c.energyTimer);
        EXPECT_EQ(started(11), c.lifeTimer);
    }
}

// --- shots ----------------------------------------------------------------------

TEST_F(CombatTest, EffectFileNamesCarryTheLevelInHexOnlyForTheFifthRows) {
    struct Case {
        const char* name;
        int32_t level;
        const char* file;
    };
    const Case cases[] = {
        {"w1", 3, ".\\effects\\w1-1-A.cgs"},   {"w5", 10, ".\\effects\\w5-a-A.cgs"},
        {"w5", 12, ".\\effects\\w5-c-A.cgs"},  {"m5", 1, ".\\effects\\m5-1-A.cgs"},
        {"wE", 8, ".\\effects\\wE-1-A.cgs"},   {"x5long", 11, ".\\effects\\x5long-b-A.cgs"},
        {"5w", 9, ".\\effects\\5w-1-A.cgs"},
    };
    for (const Case& c : cases) {
        PowerRow row{};
        std::snprintf(row.name, sizeof row.name, "%s", c.name);
        row.levelInUse = c.level;
        char file[96];
        PowerEffectFile(row, file, sizeof file);
        EXPECT_STREQ(file, c.file) << c.name;
    }
    // A name that fills its 16 characters ends the name all the same.
    PowerRow full{};
    std::memcpy(full.name, "abcdefghijklmnop", 16);
    char file[96];
    PowerEffectFile(full, file, sizeof file);
    EXPECT_STREQ(file, ".\\effects\\abcdefghijklmnop-1-A.cgs");
    // The A/B variant draws each letter about one time in two.
    PowerRow variant = PowerTableW[4];
    int b = 0;
    for (int i = 0; i < 400; ++i) {
        PowerEffectFile(variant, file, sizeof file);
        b += std::string(file) == ".\\effects\\w5-1-B.cgs";
        EXPECT_TRUE(std::string(file) == ".\\effects\\w5-1-A.cgs" || std::string(file) == ".\\effects\\w5-1-B.cgs");
    }
    EXPECT_GT(b, 150);
    EXPECT_LT(b, 250);
}

struct ShotCase {
    const char* name;
    int row;
    int32_t level;
    bool target, inFront;
    enum { kAimed, kUnaimed } expected;
    int32_t shotClass;
};

TEST_F(CombatTest, ShotsAreAimedAtATargetInFrontWhenTheRowAims) {
    // Every row's file made from the kit's bolt.
    for (const char* name : {"w6-1-A", "wE-1-A", "w1-1-A", "w5-c-A", "w5-c-B", "w9-1-A"})
        PutCgs(std::string(".\\effects\\") + name + ".cgs", {{0, 0, "*", ".\\effects\\bolt"}}, kit::kDemoShotRate);
    const ShotCase cases[] = {
        {"aiming row, target in front", 5, 1, true, true, ShotCase::kAimed, kShotRefused},
        {"aiming row, target behind", 5, 1, true, false, ShotCase::kUnaimed, kShotRefused},
        {"aiming row, no target", 5, 1, false, false, ShotCase::kUnaimed, kShotRefused},
        {"class 4 aims behind too", 13, 1, true, false, ShotCase::kAimed, kShotAimedAlways},
        {"row 4 at level 12 (class 4)", 4, 12, true, false, ShotCase::kAimed, kShotAimedAlways},
        {"row that never aims", 0, 1, true, true, ShotCase::kUnaimed, kShotBlast},
        {"row 8 never aims", 8, 1, true, true, ShotCase::kUnaimed, kShotRefused},
    };
    for (const ShotCase& c : cases) {
        SCOPED_TRACE(c.name);
        Free_AllEffects();
        Weapon(c.row, c.level);
        heroDef_.energy = 1000;
        hero().target = c.target ? &guard() : nullptr;
        c.inFront ? FaceGuard() : FaceAway();
        FireCharacterWeapon(&hero(), kPowerWeapon, 0);
        ASSERT_GE(hero().effect, 0);
        std::vector<int> slots = InstanceSlots(hero().effect);
        ASSERT_EQ(slots.size(), 1u);
        const EffectSlot& s = g_EffectSlots[slots[0]];
        EXPECT_EQ(hero().fireLevel, c.level);
        if (c.expected == ShotCase::kAimed) {
            EXPECT_EQ(s.flying, 1);
            EXPECT_EQ(s.target.kind, HitTargetKind::Character);
            EXPECT_EQ(s.target.record, &guard());
            EXPECT_EQ(s.damage, c.shotClass);
            // The aimed effects keep no parameter: no delay before the next shot.
            EXPECT_EQ(hero().fireRate, 0);
        } else {
            EXPECT_EQ(s.flying, 0);
            EXPECT_EQ(s.anchor, hero().model);
            EXPECT_EQ(s.repeat, 1);
            EXPECT_EQ(s.hitValue, hero().shotCost);
            EXPECT_EQ(hero().fireRate, kit::kDemoShotRate);
        }
    }
}

TEST_F(CombatTest, TendrilShotsLookForATendrilAndLaunchNothingWithoutOne) {
    Weapon(6, 3);
    hero().target = &guard();
    FaceGuard();
    FireCharacterWeapon(&hero(), kPowerWeapon, 0);
    EXPECT_EQ(Count("FindFacingTendril"), 1);
    EXPECT_EQ(ActiveInstances(), 0);
    EXPECT_EQ(hero().fireRate, GameplaySettings.DefaultShootFrequency);
}

TEST_F(CombatTest, ATendrilHitGoesToTheTendrilNeverToACharacter) {
    int tendril = 0;  // any record: the hit passes it on untouched
    HitCharacter(HitArgs{HitTarget{HitTargetKind::Tendril, &tendril}, 3, 10});
    EXPECT_EQ(Count("HitTendril"), 1);
    EXPECT_EQ(Count("HitCharacter"), 0);
    EXPECT_EQ(heroDef_.life, 100);
}

TEST_F(CombatTest, AFailedEffectLogsItsFileAndLeavesNoFirePeriod) {
    Weapon(3, 1);  // "w4": no such file
    hero().target = nullptr;
    FireCharacterWeapon(&hero(), kPowerWeapon, 0);
    EXPECT_EQ(hero().effect, -1);
    EXPECT_EQ(hero().fireRate, -1);
    const auto& out = host::headless::DebugOutput();
    EXPECT_NE(std::find(out.begin(), out.end(), "Q3D_FXInit FAILS! on .\\effects\\w4-1-A.cgs"), out.end());
    Weapon(5, 1);  // "w6", aimed
    hero().target = &guard();
    FaceGuard();
    FireCharacterWeapon(&hero(), kPowerWeapon, 0);
    EXPECT_NE(std::find(out.begin(), out.end(), "Q3D_FXInit2 FAILS! on .\\effects\\w6-1-A.cgs"), out.end());
}

// A power the energy and the reserve cannot pay answers class 0: its shot
// still goes, as a plain shot of its row (unaimed here: no target), with
// the status message and no power effect waiting.  Row 7's protection
// unpaid is such a plain shot: played once, neither the protection effect
// nor any immunity.
TEST_F(CombatTest, APowerThatCannotBePaidStillFiresAsClassZero) {
    PutCgs(".\\effects\\w8-1-A.cgs", {{0, 0, "*", ".\\effects\\glow"}});
    struct Row {
        const char* name;
        int row;
        int32_t energy, reserve;  // the cost is 50
        bool exhausted;
        int32_t repeat;           // of the shot's effect on the hero
        bool protection;          // it became the protection effect
        int32_t energyAfter;
    };
    const Row rows[] = {
        {"row 0 paid", 0, 60, 0, false, 1, false, 10},
        {"row 0 unpaid", 0, 10, 5, true, 1, false, 0},
        {"row 7 paid", 7, 60, 0, false, -1, true, 10},
        {"row 7 unpaid", 7, 10, 5, true, 1, false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Free_AllEffects();
        ProtectionEffect = -1;
        StatusText[0] = 0;
        Weapon(r.row, 1, 50);
        heroDef_.energy = r.energy;
        heroDef_.energyReserve = r.reserve;
        hero().immunity = 0;
        hero().pendingPower = 0;
        hero().target = nullptr;
        FireCharacterWeapon(&hero(), kPowerWeapon, 0);
        ASSERT_EQ(ActiveInstances(), 1);
        ASSERT_GE(hero().effect, 0);
        const std::vector<int> slots = InstanceSlots(hero().effect);
        ASSERT_FALSE(slots.empty());
        EXPECT_EQ(g_EffectSlots[slots[0]].anchor, hero().model);
        EXPECT_EQ(g_EffectSlots[slots[0]].repeat, r.repeat);
        EXPECT_EQ(ProtectionEffect >= 0, r.protection);
        EXPECT_EQ(hero().immunity > 0, r.protection);
        EXPECT_STREQ(StatusText, r.exhausted ? kExhausted : "");
        EXPECT_EQ(heroDef_.energy, r.energyAfter);
        EXPECT_EQ(heroDef_.energyReserve, 0);
        EXPECT_EQ(hero().pendingPower, r.exhausted ? 0 : 1);
    }
}

TEST_F(CombatTest, AFirePeriodOfZeroOrLessMeansNoDelay) {
    Weapon(0, 1);
    InstallKeyframeCallbacks(&hero());
    struct Case {
        int32_t rate;
        uint32_t delay;
    };
    for (const Case& c : {Case{0, 0}, Case{-1, 0}, Case{-40, 0}, Case{4, 250}}) {
        SCOPED_TRACE(c.rate);
        host::headless::SetClock(uint64_t(5000 + c.rate) * 1000);
        const uint32_t now = host::GetTickCount();
        hero().fireRate = c.rate;
        hero().nextFireTick = 0;
        anims_[0].slots[39].state = 0;
        EXPECT_EQ(AnimKeyFire(&hero(), -1, 39), 1);
        EXPECT_EQ(hero().nextFireTick, now + c.delay);
    }
    // The shot's own period follows: the kit's burst gives 2 shots a second.
    EXPECT_EQ(hero().fireRate, kit::kDemoShotRate);
}

TEST_F(CombatTest, AWeaponsShotIsAimedAtTheHerosTargetElseStartedOnItsModel) {
    struct Case {
        const char* name;
        const char* shot;
        bool target;
        bool started, flying;
    };
    const Case cases[] = {
        {"at the target", ".\\effects\\w5-1-A.cgs", true, true, true},
        {"no target: on the model", ".\\effects\\w5-1-A.cgs", false, true, false},
        {"no shot effect", "*", true, false, false},
    };
    WeaponRecord record{};
    anims_[0].weaponRecord = &record;
    hero().shotCost = 6;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Free_AllEffects();
        std::snprintf(record.shotEffect, sizeof record.shotEffect, "%s", c.shot);
        hero().target = c.target ? &guard() : nullptr;
        StartWeaponEffect(&hero());
        ASSERT_EQ(ActiveInstances(), c.started ? 1 : 0);
        if (!c.started) continue;
        int instance = 0;
        while (!g_EffectInstances[instance].active) ++instance;
        const EffectSlot& s = g_EffectSlots[InstanceSlots(instance)[0]];
        EXPECT_EQ(s.flying, c.flying ? 1 : 0);
        if (c.flying) {
            EXPECT_EQ(s.damage, kShotEnemy);
            EXPECT_EQ(s.target.record, &guard());
        } else {
            EXPECT_EQ(s.anchor, hero().model);
            EXPECT_EQ(s.hitValue, 6);
        }
    }
}

// --- hits -----------------------------------------------------------------------

struct HitCase {
    const char* name;
    int slot;
    int32_t damage;
    int32_t life;
    uint8_t flags;        // the definition's
    int32_t immunity;     // the record's
    uint8_t barrier;
    bool managerRuns;
    int32_t lifeAfter;
    int32_t healthLost;
    bool dies;
};

TEST_F(CombatTest, HitsTakeLifeByWhoIsHit) {
    hero().shotCost = 12;
    const HitCase cases[] = {
        {"hero: the damage", 0, 7, 100, 0, 0, 0, false, 93, 7, false},
        {"hero: damage 0 is the tendrils' damage", 0, 0, 100, 0, 0, 0, false, 91, 9, false},
        {"hero protected by its flag", 0, 7, 100, 0x08, 0, 0, false, 100, 0, false},
        {"hero protected by a power's immunity", 0, 7, 100, 0, 5, 0, false, 100, 0, false},
        {"hero protected near a barrier", 0, 7, 100, 0, 0, kBarrierNear, false, 100, 0, false},
        {"hero killed", 0, 7, 5, 0, 0, 0, false, -2, 7, true},
        {"enemy: the hero's shot cost", 2, 3, 100, 0, 0, 0, false, 88, 0, false},
        {"enemy killed", 2, 3, 12, 0, 0, 0, false, 0, 0, true},
        {"immortal enemy", 2, 3, 100, 0x01, 0, 0, false, 100, 0, false},
        {"guarded enemy is hit all the same", 1, 3, 100, 0x08, 0, 0, false, 88, 0, false},
        {"enemy while the manager runs", 2, 3, 100, 0, 0, 0, true, 100, 0, false},
        {"enemy at 0 while the manager runs dies", 2, 3, 0, 0, 0, 0, true, 0, 0, true},
    };
    CharacterDef* defs[3] = {&heroDef_, &guardDef_, &enemyDef_};
    for (const HitCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_GameCalls.clear();
        GameState.stats = MissionStatsRecord{};
        CharacterRecord& who = characters_[c.slot];
        CharacterDef& def = *defs[c.slot];
        def.life = c.life;
        def.flags = c.flags;
        def.dying = who.dying = 0;
        who.special = 0;
        who.immunity = c.immunity;
        BarrierFlags = c.barrier;
        EmOpenFlag = c.managerRuns ? 1 : 0;
        HitCharacter(&who, c.damage, 5);
        EXPECT_EQ(def.life, c.lifeAfter);
        EXPECT_EQ(GameState.stats.healthLost, c.healthLost);
        EXPECT_EQ(Count("StartCharacterDeath"), c.dies ? 1 : 0);
    }
}

TEST_F(CombatTest, ACharacterInASpecialStateIsNotKilledByAHit) {
    enemyDef_.life = 5;
    hero().shotCost = 10;
    enemy().special = 16;
    HitCharacter(&enemy(), 2, 0);
    EXPECT_EQ(enemyDef_.life, -5);
    EXPECT_EQ(Count("StartCharacterDeath"), 0);
}

TEST_F(CombatTest, WhileTheManagerRunsEnemiesTakeDamageOnlyThroughIt) {
    struct Case {
        bool managerRuns;
        int32_t lifeAfter;
    };
    for (const Case& c : {Case{false, 90}, Case{true, 100}}) {
        SCOPED_TRACE(c.managerRuns);
        Free_AllEffects();
        g_ImpactCalls.clear();
        enemyDef_.life = 100;
        EmOpenFlag = c.managerRuns ? 1 : 0;
        hero().shotCost = 10;
        Vec3 at = {600, 0, 1200}, from{0, 0, 0};
        int e = Q3D_FXInit2(".\\effects\\w5-1-A.cgs", &at, &from, &hero(), AtCharacter(&enemy()), kShotEnemy);
        ASSERT_GE(e, 0);
        uint32_t t = 0;
        for (int i = 0; i < 200 && g_EffectInstances[e].active; ++i) StepTo(t += 33);
        // The effect reports the hit to the manager either way.
        ASSERT_EQ(g_ImpactCalls.size(), 1u);
        EXPECT_EQ(g_ImpactCalls[0].character, &enemy());
        EXPECT_EQ(enemyDef_.life, c.lifeAfter);
    }
}

TEST_F(CombatTest, ProtectionByEachOfItsRules) {
    struct Case {
        const char* name;
        uint8_t flags, barrier;
        int32_t immunity;
        int protectedAnswer;
    };
    const Case cases[] = {
        {"nothing", 0, 0, 0, 0},
        {"protected flag", 0x08, 0, 0, 1},
        {"immunity left", 0, 0, 1, 1},
        {"immunity run out", 0, 0, -3, 0},
        {"near a barrier", 0, kBarrierNear, 0, 1},
        {"a barrier runs farther away", 0, kBarrierRunning, 0, 0},
        {"other flags", 0x07, 0, 0, 0},
    };
    for (const Case& c : cases) {
        heroDef_.flags = c.flags;
        BarrierFlags = c.barrier;
        hero().immunity = c.immunity;
        EXPECT_EQ(IsHeroProtected(&hero()), c.protectedAnswer) << c.name;
    }
}

// --- explosions -----------------------------------------------------------------

struct BlastCase {
    const char* name;
    Vec3 at;
    uint8_t flags, shown, active, dying;
    int32_t room;
    uint8_t immunity;
    bool hit;
};

TEST_F(CombatTest, AnExplosionHitsEnemiesStrictlyWithinItsRadiusOncePerFrame) {
    const Vec3 centre{1000, 0, 1000};
    const BlastCase cases[] = {
        {"inside", {1000, 0, 1499}, 0, 1, 1, 0, 0, 0, true},
        {"inside in 3D", {1280, 250, 1280}, 0, 1, 1, 0, 0, 0, true},
        {"exactly at the radius", {1000, 0, 1500}, 0, 1, 1, 0, 0, 0, false},
        {"outside in 3D", {1300, 300, 1300 + 30}, 0, 1, 1, 0, 0, 0, false},
        {"hidden", {1000, 0, 1100}, 0x04, 1, 1, 0, 0, 0, false},
        {"guarded", {1000, 0, 1100}, 0x08, 1, 1, 0, 0, 0, false},
        {"immortal is hit", {1000, 0, 1100}, 0x01, 1, 1, 0, 0, 0, true},
        {"not shown", {1000, 0, 1100}, 0, 0, 1, 0, 0, 0, false},
        {"not active", {1000, 0, 1100}, 0, 1, 0, 0, 0, 0, false},
        {"dying", {1000, 0, 1100}, 0, 1, 1, 2, 0, 0, false},
        {"in another room", {1000, 0, 1100}, 0, 1, 1, 0, 1, 0, false},
        {"hit this frame already", {1000, 0, 1100}, 0, 1, 1, 0, 0, 1, false},
    };
    mission_.roomCount = 2;
    RoomRecord rooms[2] = {};
    mission_.rooms = rooms;
    for (const BlastCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_ImpactCalls.clear();
        guardDef_.shown = 0;  // out of the way
        enemy().position = c.at;
        enemyDef_.flags = c.flags;
        enemyDef_.shown = c.shown;
        enemyDef_.active = c.active;
        enemyDef_.dying = c.dying;
        enemyDef_.room = c.room;
        enemyDef_.immunity = c.immunity;
        EXPECT_EQ(ImpactEnemiesInRadius(&centre, 500, "grexp"), c.hit ? 1 : 0);
        ASSERT_EQ(g_ImpactCalls.size(), c.hit ? 1u : 0u);
        if (c.hit) {
            EXPECT_EQ(g_ImpactCalls[0].character, &enemy());
            EXPECT_EQ(g_ImpactCalls[0].weapon, "grexp");
            EXPECT_EQ(enemyDef_.immunity, 2);
            // A second blast in the same frame passes it by.
            EXPECT_EQ(ImpactEnemiesInRadius(&centre, 500, "grexp"), 0);
            EXPECT_EQ(g_ImpactCalls.size(), 1u);
        }
    }
    // The hero is never hit by an explosion.
    g_ImpactCalls.clear();
    EXPECT_EQ(ImpactEnemiesInRadius(&hero().position, 100000, "grimtir"), 0);
    EXPECT_TRUE(g_ImpactCalls.empty());
}

TEST_F(CombatTest, HitImmunityFramesRunOutOneAFrameInThePerFramePass) {
    InstallKeyframeCallbacks(&enemy());
    GameTimer.DeltaUnits = 3;
    const Vec3 centre = enemy().position;
    ASSERT_EQ(ImpactEnemiesInRadius(&centre, 100, "grexp"), 1);
    UpdateCharacters();
    EXPECT_EQ(ImpactEnemiesInRadius(&centre, 100, "grexp"), 0);
    UpdateCharacters();
    EXPECT_EQ(ImpactEnemiesInRadius(&centre, 100, "grexp"), 1);
}

// --- the protection and its witness ------------------------------------------------

TEST_F(CombatTest, TheWitnessEffectFollowsTheProtectionCountdown) {
    hero().protection = 50;
    UpdateWitnessEffect(&hero(), &hero());
    ASSERT_GE(ProtectionEffect, 0);
    const int first = ProtectionEffect;
    std::vector<int> slots = InstanceSlots(first);
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(g_EffectSlots[slots[0]].anchor, hero().model);
    EXPECT_EQ(g_EffectSlots[slots[0]].repeat, -1);
    // Started again, the one running gives way.
    UpdateWitnessEffect(&hero(), &hero());
    EXPECT_EQ(ActiveInstances(), 1);
    // While it runs a protection shot adds none.
    Weapon(7, 1);
    PutCgs(".\\effects\\w8-1-A.cgs", {{0, 0, "*", ".\\effects\\glow"}});
    FireCharacterWeapon(&hero(), kPowerWeapon, 0);
    EXPECT_EQ(ActiveInstances(), 1);
    // The countdown run out: the effect freed, the handle none.
    hero().protection = 0;
    UpdateWitnessEffect(&hero(), &hero());
    EXPECT_EQ(ProtectionEffect, -1);
    EXPECT_EQ(ActiveInstances(), 0);
    // Without a witness a protection shot plays forever on the hero and
    // becomes the protection effect.
    FireCharacterWeapon(&hero(), kPowerWeapon, 0);
    ASSERT_GE(ProtectionEffect, 0);
    EXPECT_EQ(ProtectionEffect, hero().effect);
    EXPECT_EQ(g_EffectSlots[InstanceSlots(ProtectionEffect)[0]].repeat, -1);
}

TEST_F(CombatTest, TheCountdownsFallByTheFrameStepInThePerFramePass) {
    InstallKeyframeCallbacks(&hero());
    GameTimer.DeltaUnits = 3;
    GameTimer.DoubleDelta = 6;
    hero().protection = 5;
    hero().immunity = 10;
    UpdateWitnessEffect(&hero(), &hero());
    ASSERT_GE(ProtectionEffect, 0);
    UpdateCharacters();
    EXPECT_EQ(hero().protection, 2);
    EXPECT_EQ(hero().immunity, 7);
    EXPECT_NE(heroDef_.flags & 0x08, 0);
    EXPECT_GE(ProtectionEffect, 0);
    UpdateCharacters();
    EXPECT_EQ(hero().protection, 0);
    EXPECT_EQ(ProtectionEffect, -1);
    EXPECT_EQ(ActiveInstances(), 0);
    for (int i = 0; i < 2; ++i) UpdateCharacters();
    EXPECT_EQ(hero().immunity, 0);
    EXPECT_EQ(heroDef_.flags & 0x08, 0);
}

// --- power effects --------------------------------------------------------------

struct PowerEffectCase {
    const char* name;
    int32_t kind;
    int row;
    int32_t level;
    int mission;
    const char* call;   // a call the effect makes, or nullptr
    int32_t a, b;       // its arguments
    int32_t useAsked;   // the use number the events are asked about
};

TEST_F(CombatTest, PowersTakeEffectWhenTheirAnimationEnds) {
    const PowerEffectCase cases[] = {
        {"row 1 calls ally 1", 0, 1, 3, 22, "SummonAlly", 1, 30, 1},
        {"row 2 calls ally 0", 0, 2, 2, 22, "SummonAlly", 0, 20, 2},
        {"row 13 in mission 3 runs its hook", 0, 13, 1, 3, "MissionEventHook", 256, 0, 13},
        {"row 13 elsewhere does not", 0, 13, 1, 4, nullptr, 0, 0, 13},
        {"row 8: nothing but the events", 0, 8, 1, 22, nullptr, 0, 0, 8},
        {"spell row 2", 1, 2, 1, 22, nullptr, 0, 0, 130},
    };
    for (const PowerEffectCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_GameCalls.clear();
        MissionNumber = uint8_t(c.mission);
        (c.kind == kPowerSpell ? PowerTableM : PowerTableW)[c.row].levelInUse = c.level;
        hero().spell = hero().weapon = uint8_t(c.row);
        hero().pendingPower = uint8_t(c.kind + 1);
        ApplyPowerEffect(&hero());
        EXPECT_EQ(hero().pendingPower, 0);
        const char* calls[] = {"SummonAlly", "MissionEventHook"};
        for (const char* what : calls) EXPECT_EQ(Count(what), c.call && std::string(c.call) == what ? 1 : 0) << what;
        if (c.call) {
            EXPECT_EQ(Last(c.call)->a, c.a);
            EXPECT_EQ(Last(c.call)->b, c.b);
        }
        ASSERT_NE(Last("QueryUseEvent"), nullptr);
        EXPECT_EQ(Last("QueryUseEvent")->a, c.useAsked);
        // Applied once.
        ApplyPowerEffect(&hero());
        EXPECT_EQ(Count("QueryUseEvent"), 1);
    }
}

TEST_F(CombatTest, PowersChangeTheWorldByTheirRow) {
    // Row 6 marks the room's visit byte.
    room_.flags = 1;
    hero().weapon = 6;
    hero().pendingPower = 1;
    ApplyPowerEffect(&hero());
    EXPECT_EQ(room_.flags, 2);
    // Row 10 heals level x the counter, and the counter falls (not below 0).
    struct Heal {
        int32_t level, counter, lifeAfter, counterAfter;
    };
    for (const Heal& h : {Heal{2, 25, 150, 24}, Heal{3, 1, 103, 0}, Heal{3, 0, 100, 0}}) {
        heroDef_.life = 100;
        GameState.stats.healthHealed = 0;
        GameplaySettings.roomChangeCounter = h.counter;
        PowerTableW[10].levelInUse = h.level;
        hero().weapon = 10;
        hero().pendingPower = 1;
        ApplyPowerEffect(&hero());
        EXPECT_EQ(heroDef_.life, h.lifeAfter);
        EXPECT_EQ(GameState.stats.healthHealed, h.lifeAfter - 100);
        EXPECT_EQ(GameplaySettings.roomChangeCounter, h.counterAfter);
    }
    // Spell row 1 holds a state for 5 seconds; spell row 3 sets the
    // mission's flag bit 0; a spell no event takes says so.
    struct Spell {
        int row;
        int32_t answer;
        uint16_t timer;
        uint8_t flag;
        const char* status;
    };
    for (const Spell& s : {Spell{1, 0, 350, 0, kRefused}, Spell{3, 1, 0, 1, ""}, Spell{5, 1, 0, 0, ""}}) {
        SCOPED_TRACE(s.row);
        StatusText[0] = 0;
        MissionFlagByte = 0;
        hero().stateTimer = 0;
        // An event of kind 6 on the spell's use number takes it.
        ScriptEvent take{};
        take.step = kAnyStep;
        take.roomCode = kAnyRoom;
        take.stateValue = kAnyState;
        take.flagKind = 6;
        take.flagObject = uint8_t(128 + s.row);
        take.flagIndex = 30;
        GameState.eventFlags[30] = 0;
        EventTable = s.answer ? &take : nullptr;
        EventCount = s.answer ? 1 : 0;
        hero().spell = uint8_t(s.row);
        hero().pendingPower = 2;
        ApplyPowerEffect(&hero());
        EXPECT_EQ(hero().stateTimer, s.timer);
        EXPECT_EQ(MissionFlagByte, s.flag);
        EXPECT_STREQ(StatusText, s.status);
        EXPECT_EQ(GameState.eventFlags[30], s.answer ? 1 : 0);
        EventTable = nullptr;
        EventCount = 0;
    }
}

// --- choosing the hero's power ------------------------------------------------------

struct ChooseCase {
    const char* name;
    uint16_t controls;
    uint8_t powerFlags;
    uint16_t current;     // the animation playing
    int32_t energy;
    bool fireTimeCome;
    int32_t code;         // asked, -1 for none
};

TEST_F(CombatTest, ThePowerKeyAsksTheSelectedPowersAnimation) {
    PowerTables.selectedSpell = 2;
    PowerTables.selectedWeapon = 4;
    PowerTableW[4].levelInUse = 1;
    PowerTableW[4].utilisation = 9;
    PowerTableM[2].levelInUse = 1;
    PowerTableM[2].utilisation = 20;
    const ChooseCase cases[] = {
        {"weapon, idle", 0, 0, 0, 100, true, 139},
        {"spell in power mode", kCtlPowerMode, 0, 0, 100, true, 130},
        {"energy short of the cost", 0, 0, 0, 8, true, -1},
        {"spell energy short", kCtlPowerMode, 0, 0, 19, true, -1},
        {"fire time not come", 0, 0, 0, 100, false, -1},
        {"walking, not armed", 0, 0, 2, 100, true, 139},
        {"walking, armed", 0, 2, 2, 100, true, -1},
        {"idle and armed", 0, 2, 0, 100, true, 139},
        {"casting without its animation", 0, 5, 2, 100, true, -1},
        {"weapons out of use: 43", kCtlWeaponsOff, 0, 0, 100, true, 43},
        {"weapons out of use, spell kept", kCtlWeaponsOff | kCtlPowerMode, 0, 0, 100, true, 130},
        {"weapons out of use while walking", kCtlWeaponsOff, 0, 2, 100, true, 139},
    };
    InstallKeyframeCallbacks(&hero());
    host::headless::SetClock(uint64_t(10000) * 1000);
    for (const ChooseCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_GameCalls.clear();
        hero().controls = c.controls;
        hero().powerFlags = c.powerFlags;
        heroDef_.energy = c.energy;
        hero().nextFireTick = host::GetTickCount() + (c.fireTimeCome ? 0 : 1);
        anims_[0].current = anims_[0].requested = c.current;
        anims_[0].blending = 0;
        ChooseHeroPower(&hero());
        EXPECT_EQ(hero().castMode, (c.controls & kCtlPowerMode) ? 1 : 0);
        EXPECT_EQ(hero().spell, 2);
        EXPECT_EQ(hero().weapon, 4);
        const GameCall* asked = Last("SetCharacterAnim");
        EXPECT_EQ(asked ? asked->a : -1, c.code);
    }
}

}  // namespace
}  // namespace test
