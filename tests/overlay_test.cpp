// The overlay: its frame order, the status line's and the energy notice's
// deadlines on the virtual clock (also across the 32-bit wrap of the
// millisecond count), the power rows cycling to available rows with their
// wraps, the countdown, the barrier warning, the target's life without a
// known maximum, the selected object's countdown, and the life head's
// bands.
#include "menu_support.h"

#include "game/dqx_briefing.h"
#include "game/dqx_combat.h"
#include "game/dqx_controls.h"
#include "game/dqx_menu.h"
#include "game/dqx_overlay.h"
#include "game/dqx_weapons.h"
#include "game/gameplay.h"
#include "game/object_slots.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using test::GdiCall;

constexpr uint64_t kWrapMs = uint64_t(1) << 32;
constexpr int kB = 479;  // the clip bottom of the 640 x 480 screen

class OverlayTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        host::headless::SetAutoStep(0, 0);
        SetMs(1000);
        savedTable_ = CharacterTable;
        savedAnims_ = CharacterAnimTable;
        savedPowers_ = PowerTables;
        savedSelection_ = PowerSelection;
        savedEntity_ = EntityPoints;
        savedHeads_[0] = HeadPicture, savedHeads_[1] = Head2Picture;
        records_.assign(kCharacterSlots, CharacterRecord{});
        defs_.assign(2, CharacterDef{});
        records_[0].def = &defs_[0];
        records_[0].present = 1;
        defs_[0].life = 100;
        records_[1].def = &defs_[1];
        records_[1].present = 1;
        CharacterTable = records_.data();
        CharacterAnimTable = nullptr;
        GameState = GameStateRecord{};
        GameTimer.DeltaUnits = 2;
        GameTimer.DoubleDelta = 4;
        BriefingStep = 0;
        BriefingHoldFrame = 0;
        BarrierFlags = 0;
        EntityPoints = 0;
        ObjectSlots = ObjectSlotTable{};
        for (WeaponRecord*& w : WeaponTable) w = nullptr;
        OpenOverlayCounters();
        // Every row available, the first of each table selected.
        for (PowerRow& r : PowerTables.w) r.levelBought = r.levelInUse = 1;
        for (PowerRow& r : PowerTables.m) r.levelBought = r.levelInUse = 1;
        PowerTables.selectedWeapon = PowerTables.selectedSpell = 0;
        PowerSelection = kSelectSpells;
        HeadPicture = Head2Picture = nullptr;
        g_GameCalls.clear();
    }
    void TearDown() override {
        CharacterTable = savedTable_;
        CharacterAnimTable = savedAnims_;
        PowerTables = savedPowers_;
        PowerSelection = savedSelection_;
        EntityPoints = savedEntity_;
        HeadPicture = savedHeads_[0], Head2Picture = savedHeads_[1];
        GameState = GameStateRecord{};
        BriefingStep = 0;
        BarrierFlags = 0;
        ObjectSlots = ObjectSlotTable{};
        for (WeaponRecord*& w : WeaponTable) w = nullptr;
        OpenOverlayCounters();
        MenuTest::TearDown();
    }

    static void SetMs(uint64_t ms) { host::headless::SetClock(ms * 1000); }
    CharacterRecord* Hero() { return &records_[0]; }

    // The texts drawn at (x, y).
    std::vector<GdiCall> At(int x, int y) const {
        std::vector<GdiCall> out;
        for (const GdiCall& c : Drawn())
            if (c.x == x && c.y == y) out.push_back(c);
        return out;
    }
    std::string TextAt(int x, int y) const {
        std::vector<GdiCall> at = At(x, y);
        return at.empty() ? "" : at.back().text;
    }
    void Hud() {
        calls_.clear();
        DrawHud(Hero());
    }
    void StatusOnly() {
        calls_.clear();
        DrawStatusLines();
    }

    std::vector<CharacterRecord> records_;
    std::vector<CharacterDef> defs_;
    CharacterRecord* savedTable_ = nullptr;
    CharacterAnimState* savedAnims_ = nullptr;
    PowerTablesRecord savedPowers_{};
    uint8_t savedSelection_ = 0;
    int32_t savedEntity_ = 0;
    Picture* savedHeads_[2] = {};
};

// The calls of the overlay's steps, in order.
std::vector<std::string> StepCalls() {
    static const std::vector<std::string> steps = {"DrawSubtitle",    "BriefingPage",   "DrawHud",
                                                   "RunMenuPages",    "DrawEnergyGauge", "DrawDebugPages",
                                                   "Show_3DMemory"};
    std::vector<std::string> out;
    for (const GameCall& c : g_GameCalls)
        if (std::find(steps.begin(), steps.end(), c.what) != steps.end()) out.push_back(c.what);
    return out;
}

TEST_F(OverlayTest, DrawsItsStepsInOrder) {
    struct Row {
        const char* name;
        int32_t flags;
        int32_t menuSlide;
        uint8_t dying;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {"play", 1, 0, 0, {"DrawSubtitle", "BriefingPage", "DrawHud", "DrawEnergyGauge"}},
        {"menu sliding", 0, 20, 0, {"DrawSubtitle", "BriefingPage", "DrawHud", "RunMenuPages", "DrawEnergyGauge"}},
        {"hero dying: no subtitle, no briefing", 1, 0, 1, {"DrawHud", "DrawEnergyGauge"}},
        {"developer pages last",
         kOverlayDebugPages | kOverlayMemoryPage,
         20,
         0,
         {"DrawSubtitle", "BriefingPage", "DrawHud", "RunMenuPages", "DrawEnergyGauge", "DrawDebugPages",
          "Show_3DMemory"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GameState.menuSlide = row.menuSlide;
        Hero()->dying = row.dying;
        MenuBlink = 0;
        MenuPulse = 10;
        g_GameCalls.clear();
        DrawOverlay(row.flags);
        EXPECT_EQ(StepCalls(), row.calls);
        // The menu's blink bit toggles, its highlight falls by 4 a double
        // tick (8-bit wrap): 10 - 16.
        EXPECT_EQ(MenuBlink, 1);
        EXPECT_EQ(MenuPulse, uint8_t(250));
    }
}

TEST_F(OverlayTest, PutsAnEndedBriefingBackUnlessHeld) {
    struct Row {
        int32_t step;
        uint8_t hold;
        int32_t after;
    };
    // Put back to 3, the briefing page then ends it (0) in the same frame.
    const Row rows[] = {{11, 0, 0}, {11, 1, 11}, {10, 0, 10}, {2, 0, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.step * 10 + row.hold);
        BriefingStep = row.step;
        BriefingHoldFrame = row.hold;
        DrawOverlay(1);
        EXPECT_EQ(BriefingStep, row.after);
        EXPECT_EQ(BriefingHoldFrame, 0) << "the hold lasts one frame";
    }
}

TEST_F(OverlayTest, StatusLineShowsFor5000Ms) {
    // Status text at (640 / 40, B - 80).
    const uint64_t starts[] = {1000, kWrapMs - 2000, kWrapMs - 1};
    for (uint64_t start : starts) {
        SCOPED_TRACE(start);
        SetMs(start);
        ShowStatusMessage("The door is locked");
        struct Row {
            uint64_t after;
            bool shown;
        };
        for (Row r : {Row{0, true}, Row{4999, true}, Row{5000, false}, Row{4000, false}}) {
            SetMs(start + r.after);
            StatusOnly();
            EXPECT_EQ(TextAt(16, kB - 80), r.shown ? "The door is locked" : "") << r.after;
        }
    }
}

TEST_F(OverlayTest, StatusTextKeeps63Characters) {
    const std::string longText(200, 'a');
    ShowStatusMessage(longText.c_str());
    EXPECT_EQ(std::string(StatusText), std::string(63, 'a'));
    ShowStatusMessage(nullptr);
    EXPECT_STREQ(StatusText, "");
}

TEST_F(OverlayTest, AnEndedStatusStaysOffHalfAWrapLater) {
    // Its deadline compared alone would lie "ahead" again 2^31 ms later.
    SetMs(1000);
    ShowStatusMessage("Taken");
    SetMs(7000);
    StatusOnly();
    SetMs(1000 + (uint64_t(1) << 31) + 6000);
    StatusOnly();
    EXPECT_EQ(TextAt(16, kB - 80), "");
    // Never shown at all: nothing, whatever the clock.
    OpenOverlayCounters();
    SetMs(3000000000ull);
    StatusOnly();
    EXPECT_TRUE(Drawn().empty());
}

TEST_F(OverlayTest, EnergyChangesAddUpFor3000Ms) {
    struct Step {
        uint64_t at;         // ms after the start
        int32_t amount;      // 0: only a frame
        int32_t shownSum;    // the number drawn, or kNone
        uint8_t red, blue;   // its colour
    };
    constexpr int32_t kNone = 1 << 30;
    // Red (gain) or blue (loss) fades as (deadline - now) x 255 / 3000.
    const std::vector<Step> steps = {
        {0, 10, 10, 255, 0},      {1000, -25, -15, 0, 255},  {2500, 0, -15, 0, 127},
        {3999, 0, -15, 0, 0},     {4000, 0, kNone, 0, 0},    {4100, 5, 5, 255, 0},
        {7099, 0, 5, 0, 0},       {7100, 0, kNone, 0, 0},
    };
    for (uint64_t start : {uint64_t(1000), kWrapMs - 2500}) {
        SCOPED_TRACE(start);
        OpenOverlayCounters();
        for (const Step& s : steps) {
            SCOPED_TRACE(s.at);
            SetMs(start + s.at);
            if (s.amount) ShowEnergyChange(s.amount);
            StatusOnly();
            const std::vector<GdiCall> at = At(16, kB - 100);
            if (s.shownSum == kNone) {
                EXPECT_TRUE(at.empty());
                EXPECT_EQ(EnergyChangeSum, 0) << "an ended notice clears its sum";
                continue;
            }
            ASSERT_EQ(at.size(), 1u);
            EXPECT_EQ(at[0].text, std::to_string(s.shownSum));
            // 5-bit channels of the 565 screen: the level's top 5 bits.
            EXPECT_EQ(at[0].rgb[0] >> 3, s.red >> 3);
            EXPECT_EQ(at[0].rgb[2] >> 3, s.blue >> 3);
        }
    }
}

TEST_F(OverlayTest, EnergyChangeAfterTheDeadlineStartsFromZero) {
    // No frame drawn in between: the call itself sees the notice ended.
    ShowEnergyChange(40);
    SetMs(1000 + 3000);
    ShowEnergyChange(7);
    EXPECT_EQ(EnergyChangeSum, 7);
    SetMs(1000 + 5000);
    ShowEnergyChange(-2);
    EXPECT_EQ(EnergyChangeSum, 5);
}

// The name of the weapon row on show (x 201, B - 40) and of the spell row
// (x 401).
TEST_F(OverlayTest, PowerRowsCycleToAvailableRows) {
    struct Row {
        const char* name;
        bool weapons;
        std::vector<int> available;   // the rows with a level bought
        int32_t selected;
        std::vector<int32_t> frames;  // the selection after each frame
        bool tableSwitched;           // PowerSelection became this table
    };
    const Row rows[] = {
        {"available: stays", true, {5}, 5, {5, 5}, false},
        {"skips unavailable rows one a frame", true, {3}, 1, {2, 3, 3}, false},
        {"W wraps after row 13", true, {0}, 12, {13, 0, 0}, true},
        {"W: a selection past the table restarts at 0", true, {0}, 14, {0, 0}, true},
        {"W: none available cycles on", true, {}, 13, {0, 1, 2}, true},
        {"M wraps after row 7", false, {1}, 6, {7, 0, 1, 1}, true},
        {"M: a negative selection restarts at 0", false, {0}, -3, {0, 0}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PowerRow* table = row.weapons ? PowerTables.w : PowerTables.m;
        const int count = row.weapons ? kWeaponRows : kSpellRows;
        for (int i = 0; i < count; ++i) {
            const bool on = std::find(row.available.begin(), row.available.end(), i) != row.available.end();
            table[i].levelBought = table[i].levelInUse = on ? 1 : 0;
        }
        int32_t& selected = row.weapons ? PowerTables.selectedWeapon : PowerTables.selectedSpell;
        selected = row.selected;
        const uint8_t other = row.weapons ? kSelectSpells : kSelectWeapons;
        PowerSelection = other;
        for (size_t f = 0; f < row.frames.size(); ++f) {
            Hud();
            EXPECT_EQ(selected, row.frames[f]) << "frame " << f;
            // A row is drawn only while the selection rests on it.
            const bool resting = f > 0 ? row.frames[f - 1] == row.frames[f] : row.selected == row.frames[f];
            const std::string name = TextAt(row.weapons ? 201 : 401, kB - 40);
            EXPECT_EQ(!name.empty(), resting) << "frame " << f;
        }
        EXPECT_EQ(PowerSelection == other, !row.tableSwitched);
        for (int i = 0; i < count; ++i) table[i].levelBought = table[i].levelInUse = 1;
    }
}

TEST_F(OverlayTest, PowerRowShowsLevelPriceAndBar) {
    for (PowerRow& r : PowerTables.w) r.levelBought = 0;
    PowerTables.w[4].levelBought = 5;
    PowerTables.w[4].levelInUse = 3;
    PowerTables.w[4].achatupgrade = 70;
    PowerTables.selectedWeapon = 4;
    Hud();
    // The price of the level in use, 20 below the name, in the caption font.
    EXPECT_EQ(TextAt(210, kB - 20), "210");
    const std::vector<GdiCall> level = At(164, kB - 60);
    ASSERT_EQ(level.size(), 1u);
    EXPECT_EQ(level[0].text, "+3");
    // Red 255, green and blue 220 - 16 x 3 = 172 (565 levels).
    EXPECT_EQ(level[0].rgb[0] >> 3, 255 >> 3);
    EXPECT_EQ(level[0].rgb[1] >> 2, 172 >> 2);
    // The bar: 3 x 50 / 12 = 12 rows standing on B - 15, between x 143 and
    // 153, in the level's colour.
    const uint32_t bar = Pixel(148, kB - 15);
    EXPECT_NE(bar, 0u);
    EXPECT_EQ(Pixel(148, kB - 15 - 11), bar);
    EXPECT_EQ(Pixel(148, kB - 15 - 12), 0u);
    EXPECT_EQ(Pixel(143, kB - 20), bar);
    EXPECT_EQ(Pixel(153, kB - 20), bar);
    EXPECT_EQ(Pixel(154, kB - 20), 0u);
}

TEST_F(OverlayTest, CountdownShowsTheFirstRunningOneInSeconds) {
    struct Row {
        std::vector<int32_t> timers;
        std::string shown;  // at (32, B - 100)
    };
    const Row rows[] = {
        {{}, ""},            {{1}, "1"},          {{70}, "1"},       {{71}, "2"},
        {{0, 0, 141}, "3"},  {{-5, 140, 500}, "2"}, {{0, 0, 0, 0, 0, 0, 0, 0, 0, 7000}, "100"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shown);
        std::fill(std::begin(GameState.eventTimers), std::end(GameState.eventTimers), 0);
        std::copy(row.timers.begin(), row.timers.end(), GameState.eventTimers);
        Hud();
        EXPECT_EQ(TextAt(32, kB - 100), row.shown);
    }
    EXPECT_EQ(CountdownSeconds(0), 0);
    EXPECT_EQ(CountdownSeconds(INT32_MAX), int32_t((int64_t(INT32_MAX) + 69) / 70));
}

TEST_F(OverlayTest, TargetLifeNeedsAKnownMaximum) {
    struct Row {
        const char* name;
        int32_t entity;
        int32_t life;
        int16_t maximum;
        std::string shown;  // at (32, B - 160)
    };
    const Row rows[] = {
        {"a quarter", 1, 50, 200, "25 %"},
        {"above its maximum: 100", 1, 300, 200, "100 %"},
        {"maximum 0: nothing (no division)", 1, 50, 0, ""},
        {"negative maximum: nothing", 1, 50, -4, ""},
        {"dead target: nothing", 1, 0, 200, ""},
        {"option off: nothing", 0, 50, 200, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EntityPoints = row.entity;
        defs_[1].life = row.life;
        defs_[1].maxLife = row.maximum;
        Hero()->target = &records_[1];
        Hud();
        EXPECT_EQ(TextAt(32, kB - 160), row.shown);
    }
}

TEST_F(OverlayTest, StandingAtTheRunningBarrierProtects) {
    WeaponRecord barrier{};
    barrier.armed = 1;
    barrier.lastUpdate = 0;
    barrier.timeLeft = 4000;
    struct Row {
        const char* name;
        int slot;
        int32_t heroX;
        bool near;
    };
    // Get_Dist2 below 10: x^2 >> 15 < 10, so x up to 572.
    const Row rows[] = {
        {"at the barrier", kWeaponFirstFlagBarrier, 0, true},
        {"572 units away", kWeaponFirstFlagBarrier, 572, true},
        {"573 units away", kWeaponFirstFlagBarrier, 573, false},
        {"a grenade is no barrier", kWeaponFirstTimed, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (WeaponRecord*& w : WeaponTable) w = nullptr;
        WeaponTable[row.slot] = &barrier;
        BarrierPosition = {1000, 0, 2000};
        Hero()->position = {1000 + row.heroX, 0, 2000};
        BarrierFlags = kBarrierNear;
        Hud();
        EXPECT_EQ((BarrierFlags & kBarrierNear) != 0, row.near);
        EXPECT_EQ(TextAt(32, kB - 160), row.near ? "(X)" : "");
    }
}

TEST_F(OverlayTest, CarriedChargeAndItsEffect) {
    Hero()->charge = 250;
    Hud();
    EXPECT_EQ(TextAt(32, kB - 120), "(2)");
    Hero()->charge = 0;
    Hero()->chargeEffect = 5;
    Hud();
    EXPECT_EQ(TextAt(32, kB - 120), "");
    EXPECT_EQ(Hero()->chargeEffect, 0) << "a spent charge frees its effect";
}

TEST_F(OverlayTest, EnergyPulseThrobsUpToItsCap) {
    struct Row {
        int32_t energy, reserve;
        int32_t cap;
    };
    const Row rows[] = {{0, 0, 128}, {10000, 0, 192}, {15000, 5000, 255}, {90000, 0, 255}, {-20000, 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.energy);
        EXPECT_EQ(EnergyPulseCap(int64_t(row.energy) + row.reserve), row.cap);
    }
    // At 10000 the level climbs 2 a frame from 128 to 192 and falls back.
    defs_[0].energy = 10000;
    EnergyPulse = 128;
    int frames = 0;
    do {
        Hud();
        ++frames;
    } while (EnergyPulse != 128 && frames < 100);
    EXPECT_EQ(frames, 33);
    EXPECT_EQ(TextAt(201, kB - 60), "10000");
}

TEST_F(OverlayTest, UsedObjectIsSpentWhenItsCountdownEnds) {
    MissionRecord mission{};
    std::vector<ObjectRecord> objects(2);
    std::snprintf(objects[0].name, sizeof objects[0].name, "KEY");
    std::snprintf(objects[1].name, sizeof objects[1].name, "LAMP");
    mission.objects = objects.data();
    mission.objectCount = 2;
    MissionRecord* savedMission = MissionPtr;
    MissionPtr = &mission;
    // The name's line at B - 14 fits the GDI clip test only with a list
    // font under 11 rows (glyph + 3 <= 14).
    TestFont small;
    MakeFont(&small, 6, 8);
    ListFont = &small.set;
    struct Row {
        const char* name;
        int32_t timer;
        uint8_t flags;
        int framesToSpend;  // -1: never
    };
    const Row rows[] = {
        {"used, countdown over", 0, kSlotTaken | kSlotUsed, 1},
        {"used, 3 ticks left at 2 a frame", 3, kSlotTaken | kSlotUsed, 2},
        {"not used: kept", 0, kSlotTaken, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ObjectSlots = ObjectSlotTable{};
        ObjectSlots.count = 2;
        for (int i = 0; i < 2; ++i) {
            ObjectSlots.slots[i].object = &objects[size_t(i)];
            objects[size_t(i)].consumed = 0;
        }
        ObjectSlotEntry& slot = ObjectSlots.slots[0];
        slot.timer = row.timer;
        slot.flags = row.flags;
        CharacterRecord& hero = *Hero();
        hero.inventory[0] = &ObjectSlots.slots[1];
        hero.inventory[1] = &slot;
        hero.inventoryCount = 2;
        hero.selectedEntry = 2;
        g_GameCalls.clear();
        int spentAt = -1;
        for (int f = 1; f <= 3 && spentAt < 0; ++f) {
            Hud();
            if (f == 1) {
                EXPECT_EQ(TextAt(50, kB - 14), "KEY");
            }
            if (hero.inventoryCount == 1) spentAt = f;
        }
        EXPECT_EQ(spentAt, row.framesToSpend);
        if (row.framesToSpend > 0) {
            EXPECT_EQ(objects[0].consumed, 1);
            EXPECT_EQ(hero.inventory[0], &ObjectSlots.slots[1]) << "the other object stays";
            EXPECT_EQ(hero.selectedEntry, 0);
            EXPECT_EQ(slot.flags & kSlotUsed, 0) << "the use flag is cleared";
            EXPECT_EQ(Calls("ExpireObject").size(), 1u);
        }
    }
    MissionPtr = savedMission;
    ListFont = &list_.set;
}

TEST_F(OverlayTest, LifeHeadBands) {
    struct Row {
        int32_t life;
        int32_t bandEnd;  // head 40 rows high at y0 = 413
    };
    const Row rows[] = {{100, 413}, {150, 413}, {99, 413}, {98, 413}, {97, 414}, {50, 433}, {0, 453}, {-30, 453}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.life);
        EXPECT_EQ(HeadBandEnd(413, 40, row.life), row.bandEnd);
    }
}

// The blits of the life head, recorded by mode with the clip they met.
struct HeadBlit {
    int mode;
    int32_t clipTop, clipBottom;
};
std::vector<HeadBlit> g_headBlits;
template <int Mode>
void RecordBlit(int32_t, int32_t, const Picture*) {
    g_headBlits.push_back({Mode, ScreenState.clipTop, ScreenState.clipBottom});
}

TEST_F(OverlayTest, LifeHeadPictures) {
    std::vector<uint16_t> pixels(50 * 40, 0xFFFF);
    Picture head{50, 40, reinterpret_cast<uint8_t*>(pixels.data()), nullptr};
    Picture head2 = head;
    HeadPicture = &head;
    Head2Picture = &head2;
    ActiveBlitTable.modes[1] = RecordBlit<1>;
    ActiveBlitTable.modes[4] = RecordBlit<4>;
    ActiveBlitTable.modes[5] = RecordBlit<5>;
    // y0 = B - 66 = 413; band rows 413 .. 413 + (100 - life) x 40 / 100.
    struct Row {
        int32_t life;
        std::vector<HeadBlit> blits;
    };
    const Row rows[] = {
        {100, {{1, 413, kB}}},
        {200, {{1, 413, kB}}},
        {201, {{5, 413, kB}}},
        {50, {{4, 413, 432}, {1, 433, kB}}},
        {0, {{4, 413, 452}, {1, 453, kB}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.life);
        Hero()->def->life = row.life;
        g_headBlits.clear();
        DrawEnergyGauge(Hero());
        ASSERT_EQ(g_headBlits.size(), row.blits.size());
        for (size_t i = 0; i < row.blits.size(); ++i) {
            EXPECT_EQ(g_headBlits[i].mode, row.blits[i].mode);
            EXPECT_EQ(g_headBlits[i].clipTop, row.blits[i].clipTop);
            EXPECT_EQ(g_headBlits[i].clipBottom, row.blits[i].clipBottom);
        }
        EXPECT_EQ(ScreenState.clipTop, 0);
        EXPECT_EQ(ScreenState.clipBottom, kB);
    }
}

TEST_F(OverlayTest, QuickSaveNoticeByHeroState) {
    std::snprintf(MenuTexts[45], kMenuTextBytes, "Scripted scene");
    std::snprintf(MenuTexts[46], kMenuTextBytes, "No saving now");
    struct Row {
        uint8_t special;
        std::string shown;  // at (B / 2, clip right / 3)
    };
    const Row rows[] = {{0, ""}, {4, "No saving now"}, {16, "Scripted scene"}, {31, "No saving now"}, {32, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.special));
        Hero()->special = row.special;
        calls_.clear();
        DrawEnergyGauge(Hero());
        EXPECT_EQ(TextAt(kB / 2, 639 / 3), row.shown);
    }
}

TEST_F(OverlayTest, FrameRateRecountsAfterASecond) {
    SetMs(10000);
    OpenOverlayCounters();
    for (int i = 0; i < 30; ++i) {
        SetMs(10000 + uint64_t(i) * 30);
        CountFrameRate();
    }
    EXPECT_EQ(FramesPerSecond, 0) << "no recount within 1000 ms";
    // The 35th frame at 1020 ms: 35 frames in 1020 ms = 34 a second.
    for (int i = 30; i < 35; ++i) {
        SetMs(10000 + 870 + uint64_t(i - 29) * 30);
        CountFrameRate();
    }
    EXPECT_EQ(FramesPerSecond, 34);
    EXPECT_EQ(FrameCount, 0);
}

}  // namespace
