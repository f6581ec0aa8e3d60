// The shop page: rows hidden by their state bit and the cursor moving off
// them (either arrow, wrapping at the ends), buying a level (enough energy,
// the bonus energy's fallback, a row at its maximum), binding a number key
// (taken from the row that had it), the shortcut lookups, the level colour,
// the page's drawn lines and its scroll.
#include "menu_support.h"

#include "game/dqx_controls.h"
#include "game/dqx_menu.h"
#include "game/dqx_overlay.h"
#include "game/dqx_shop.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "platform/step_log.h"

#include <string>
#include <vector>

namespace {

using test::GdiCall;

constexpr int kScanUpKey = 0xC8, kScanDownKey = 0xD0;

class ShopTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        savedTables_ = PowerTables;
        PowerTables = BuiltInPowerTables;
        std::memset(ShortcutTable, 0, sizeof ShortcutTable);
        GameState = GameStateRecord{};
        GameTimer.DoubleDelta = 6;
        MenuPulse = 200;
        ShopScroll = 0;
        ShopArrow = 1;
        ShopLastChoice = 0;
        savedSelection_ = PowerSelection;
        PowerSelection = kSelectWeapons;
        EnergyChangeSum = 0;
        records_.assign(kCharacterSlots, CharacterRecord{});
        def_ = CharacterDef{};
        records_[0].def = &def_;
        savedTable_ = CharacterTable;
        CharacterTable = records_.data();
        // Level sprites 32 x 32: spells 0..6, weapons 7..20.
        spritePixels_.assign(32 * 32, 0x1234);
        sprites_.assign(21, Picture{32, 32, reinterpret_cast<uint8_t*>(spritePixels_.data()), nullptr});
        sheet_ = SpriteSet{sprites_.data(), 21, 0, 0, 0, 0};
        savedOn_ = IconOnSprites, savedOff_ = IconOffSprites;
        IconOnSprites = IconOffSprites = &sheet_;
    }
    void TearDown() override {
        PowerTables = savedTables_;
        std::memset(ShortcutTable, 0, sizeof ShortcutTable);
        PowerSelection = savedSelection_;
        CharacterTable = savedTable_;
        IconOnSprites = savedOn_, IconOffSprites = savedOff_;
        GameState = GameStateRecord{};
        EnergyChangeSum = 0;
        MenuTest::TearDown();
    }
    void Hold(int scan, bool held) { keys_.keyStates[scan & 0xFF] = held ? 0x80 : 0; }
    static void HideRows(PowerRow* rows, int count, const std::vector<int>& hidden) {
        for (int i = 0; i < count; ++i) rows[i].state = 2;
        for (int i : hidden) rows[i].state = 1;
    }

    PowerTablesRecord savedTables_{};
    uint8_t savedSelection_ = 0;
    std::vector<CharacterRecord> records_;
    CharacterDef def_{};
    CharacterRecord* savedTable_ = nullptr;
    std::vector<uint16_t> spritePixels_;
    std::vector<Picture> sprites_;
    SpriteSet sheet_{};
    SpriteSet *savedOn_ = nullptr, *savedOff_ = nullptr;
};

// The cursor is kept on the table's rows and never rests on a hidden row:
// each frame it moves one row on, in the direction of the arrow held or,
// with none held, the way the pause keys last moved it, wrapping at either
// end.  A run of hidden rows is crossed upward though the key was let go.
TEST_F(ShopTest, CursorMovesOffHiddenRows) {
    struct Row {
        const char* name;
        uint8_t selection;
        std::vector<int> hidden;
        int32_t before, choice;  // the previous frame's cursor, the cursor now
        int held;                // arrow held, 0 none
        int32_t first, second;   // the cursor after one and two frames
    };
    const Row rows[] = {
        {"no hidden row", kSelectWeapons, {}, 2, 3, 0, 3, 3},
        {"down onto a hidden row", kSelectWeapons, {4}, 3, 4, 0, 5, 5},
        {"up onto a hidden row", kSelectWeapons, {4}, 5, 4, 0, 3, 3},
        {"up over two hidden rows, key let go", kSelectWeapons, {4, 5}, 6, 5, 0, 4, 3},
        {"down over three hidden rows", kSelectWeapons, {4, 5, 6}, 3, 4, 0, 5, 6},
        {"Up held on a hidden row", kSelectWeapons, {4}, 4, 4, kScanUpKey, 3, 3},
        {"Down held on a hidden row", kSelectWeapons, {4}, 4, 4, kScanDownKey, 5, 5},
        {"up onto a hidden first row wraps", kSelectWeapons, {0}, 1, 0, 0, 13, 13},
        {"down past a hidden last row wraps", kSelectWeapons, {13}, 13, 14, 0, 0, 0},
        {"up past the top is kept on row 0", kSelectWeapons, {}, 0, -1, 0, 0, 0},
        {"every row hidden: no move", kSelectWeapons, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, 2, 2, 0, 2, 2},
        {"spells: seven rows", kSelectSpells, {}, 6, 9, 0, 6, 6},
        {"spells: down onto the hidden last wraps", kSelectSpells, {6}, 5, 6, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PowerTables = BuiltInPowerTables;
        PowerRow* table = r.selection == kSelectWeapons ? PowerTableW : PowerTableM;
        const int count = r.selection == kSelectWeapons ? kShopWeaponRows : kShopSpellRows;
        HideRows(table, count, r.hidden);
        Hold(kScanUpKey, r.held == kScanUpKey);
        Hold(kScanDownKey, r.held == kScanDownKey);
        ShopArrow = 1;
        ShopLastChoice = r.before;
        GameState.menuChoice = r.choice;
        ShopCursorStep(table, count);
        EXPECT_EQ(GameState.menuChoice, r.first);
        ShopCursorStep(table, count);
        EXPECT_EQ(GameState.menuChoice, r.second);
    }
    Hold(kScanUpKey, false);
    Hold(kScanDownKey, false);
}

// Only rows whose state has bit 0 clear are offered: a row the mission's
// gameplay.ini has no section for (state 1) is hidden; untouched rows
// (state 0) and rows set from the file (state 2) are shown.
TEST_F(ShopTest, HiddenByStateBitZero) {
    struct Row {
        int32_t state;
        bool hidden;
    };
    for (const Row& r : {Row{0, false}, Row{1, true}, Row{2, false}, Row{3, true}}) {
        PowerRow row{};
        row.state = r.state;
        EXPECT_EQ(ShopRowHidden(row), r.hidden) << r.state;
    }
}

// Buying the next level: price = unit price x (level + 1), counted as spent
// in the statistics.  Paid from the energy, it shows as an energy change;
// what the energy lacks comes from the bonus energy (the energy emptied);
// when that cannot pay either the bonus is lost down to 0 and the level
// stays; a row at its maximum (or without levels) takes nothing.
TEST_F(ShopTest, BuyingALevel) {
    struct Row {
        const char* name;
        int32_t energy, bonus, level, maximum, unitPrice;
        int bought;
        int32_t energyAfter, bonusAfter, levelAfter, spent, shown;
    };
    const Row rows[] = {
        {"enough energy", 500, 50, 0, 12, 120, 1, 380, 50, 1, 120, -120},
        {"third level costs three times", 400, 0, 2, 12, 120, 1, 40, 0, 3, 360, -360},
        {"exactly enough", 120, 0, 0, 12, 120, 1, 0, 0, 1, 120, -120},
        {"the bonus pays the rest", 100, 50, 0, 12, 120, 1, 0, 30, 1, 120, 0},
        {"the bonus pays exactly the rest", 100, 20, 0, 12, 120, 1, 0, 0, 1, 120, 0},
        {"too little of both", 100, 10, 0, 12, 120, 0, 0, 0, 0, 120, 0},
        {"at the maximum", 900, 0, 12, 12, 120, 0, 900, 0, 12, 0, 0},
        {"no levels", 900, 0, 0, 0, 120, 0, 900, 0, 0, 0, 0},
        {"a price past 32 bits saturates", 5, 0, 1, 12, INT32_MAX, 0, 0, 0, 1, INT32_MAX, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        GameState.stats = MissionStatsRecord{};
        EnergyChangeSum = 0;
        def_.energy = r.energy;
        def_.energyReserve = r.bonus;
        PowerRow row{};
        row.levelBought = r.level;
        row.levelInUse = r.level > 0 ? 1 : 0;
        row.potentio = r.maximum;
        row.achatupgrade = r.unitPrice;
        EXPECT_EQ(BuyPowerLevel(&row, HeroRecord()), r.bought);
        EXPECT_EQ(def_.energy, r.energyAfter);
        EXPECT_EQ(def_.energyReserve, r.bonusAfter);
        EXPECT_EQ(row.levelBought, r.levelAfter);
        EXPECT_EQ(GameState.stats.energySpent, r.spent);
        EXPECT_EQ(EnergyChangeSum, r.shown);
        // The HUD's level follows the level after a purchase attempt.
        if (r.spent) {
            EXPECT_EQ(row.levelInUse, r.levelAfter);
        }
    }
    PowerRow row{};
    row.potentio = 12;
    EXPECT_EQ(BuyPowerLevel(&row, nullptr), 0);  // nobody to pay
}

// A number key held over an owned row binds it: the key is taken from every
// row of both tables first, its slot names the row (code + 1), and the
// row's earlier key stops firing it.
TEST_F(ShopTest, BindingANumberKey) {
    struct Row {
        const char* name;
        int code;                 // the row under the cursor
        int held;                 // number key held, 1..10 (10 = key 0), 0 none
        bool owned, hidden;
        int otherCode, otherKey;  // another row bound beforehand, -1 none
        int ownKey;               // the row's key beforehand
        int ownKeySlotCode;       // the code its slot holds beforehand
        int rowKey, otherAfter;   // the keys of the two rows after
        std::vector<int> slots;   // codes of slots 1..10 after, -1 none
    };
    const Row rows[] = {
        {"first binding", 129, 3, true, false, -1, 0, 0, -1, 3, 0, {-1, -1, 129, -1, -1, -1, -1, -1, -1, -1}},
        {"the key moves from a weapon to the first spell", 0, 3, true, false, 128, 3, 0, -1, 3, 0,
         {-1, -1, 0, -1, -1, -1, -1, -1, -1, -1}},
        {"another key of the other row stays", 0, 3, true, false, 128, 5, 0, -1, 3, 5,
         {-1, -1, 0, -1, 128, -1, -1, -1, -1, -1}},
        {"the row's earlier key is freed", 131, 7, true, false, -1, 0, 5, 131, 7, 0,
         {-1, -1, -1, -1, -1, -1, 131, -1, -1, -1}},
        {"an earlier key now naming another row stays", 131, 7, true, false, 130, 5, 5, 130, 7, 5,
         {-1, -1, -1, -1, 130, -1, 131, -1, -1, -1}},
        {"key 0 is shortcut 10", 141, 10, true, false, -1, 0, 0, -1, 10, 0, {-1, -1, -1, -1, -1, -1, -1, -1, -1, 141}},
        {"a row not owned binds nothing", 129, 3, false, false, 128, 3, 0, -1, 0, 3,
         {-1, -1, 128, -1, -1, -1, -1, -1, -1, -1}},
        {"a hidden row binds nothing", 129, 3, true, true, -1, 0, 0, -1, 0, 0, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"no key held", 129, 0, true, false, -1, 0, 0, -1, 0, 0, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PowerTables = BuiltInPowerTables;
        std::memset(ShortcutTable, 0, sizeof ShortcutTable);
        PowerRow* row = PowerRowOfCode(r.code);
        ASSERT_NE(row, nullptr);
        row->levelBought = r.owned ? 1 : 0;
        row->state = r.hidden ? 1 : 2;
        row->shortcut = r.ownKey;
        if (r.ownKey) ShortcutTable[r.ownKey] = ShortcutEntry(r.ownKeySlotCode);
        PowerRow* other = r.otherCode >= 0 ? PowerRowOfCode(r.otherCode) : nullptr;
        if (other) {
            other->shortcut = r.otherKey;
            ShortcutTable[r.otherKey] = ShortcutEntry(r.otherCode);
        }
        for (int n = 1; n <= 10; ++n) Hold(kScanDigit1 + n - 1, n == r.held);
        BindShortcutStep(row, r.code);
        EXPECT_EQ(row->shortcut, r.rowKey);
        if (other) {
            EXPECT_EQ(other->shortcut, r.otherAfter);
        }
        for (int n = 1; n <= 10; ++n) EXPECT_EQ(ShortcutCode(ShortcutTable[n]), r.slots[size_t(n - 1)]) << n;
    }
    for (int n = 1; n <= 10; ++n) Hold(kScanDigit1 + n - 1, false);
}

// The lookups: AssignShortcut stores only a code some row has; a shortcut
// fires only while its row has a key bound; a hit is answered once.
TEST_F(ShopTest, ShortcutLookups) {
    struct Row {
        const char* name;
        int slot, code;       // slot's code, -1 empty
        int rowKey;           // the row's key
        int held, hit;        // number key held, number key pressed
        int lookHeld, lookHit, lookHitAgain;
    };
    const Row rows[] = {
        {"held weapon", 4, 133, 4, 4, 0, 133, -1, -1},
        {"hit spell 0", 2, 0, 2, 0, 2, -1, 0, -1},
        {"row without a key", 4, 133, 0, 4, 4, -1, -1, -1},
        {"empty slot", 6, -1, 6, 6, 6, -1, -1, -1},
        {"key 0", 10, 141, 10, 10, 10, 141, 141, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PowerTables = BuiltInPowerTables;
        std::memset(ShortcutTable, 0, sizeof ShortcutTable);
        if (r.code >= 0) {
            ShortcutTable[r.slot] = ShortcutEntry(r.code);
            PowerRowOfCode(r.code)->shortcut = r.rowKey;
        }
        for (int n = 1; n <= 10; ++n) Hold(kScanDigit1 + n - 1, n == r.held);
        if (r.hit) Press(kScanDigit1 + r.hit - 1);
        EXPECT_EQ(LookupShortcut(0), r.lookHeld);
        EXPECT_EQ(LookupShortcut(1), r.lookHit);
        EXPECT_EQ(LookupShortcut(1), r.lookHitAgain);
    }
    for (int n = 1; n <= 10; ++n) Hold(kScanDigit1 + n - 1, false);
    // Codes that name no row are neither stored nor answered.
    std::memset(ShortcutTable, 0, sizeof ShortcutTable);
    Hold(kScanDigit1, true);
    for (int code : {7, 127, 142, -1, 255}) {
        EXPECT_EQ(AssignShortcut(code), 0) << code;
        EXPECT_EQ(ShortcutPower(code), -1) << code;
    }
    EXPECT_EQ(ShortcutTable[1], 0);
    EXPECT_EQ(AssignShortcut(6), 1);
    EXPECT_EQ(ShortcutTable[1], 7);
    Hold(kScanDigit1, false);
    EXPECT_EQ(AssignShortcut(6), 0);
}

// The level's colour runs from the price colour at level 0 to red at the
// maximum, linearly in level x 256 / maximum (truncated).
TEST_F(ShopTest, LevelColourBlend) {
    struct Row {
        int32_t level, maximum;
        uint8_t r, g, b;
    };
    const Row rows[] = {
        {0, 12, 114, 172, 177}, {12, 12, 255, 0, 0},  {6, 12, 184, 86, 89},
        {1, 4, 149, 129, 133},  {20, 12, 255, 0, 0},  {3, 0, 255, 0, 0},  // past it, or no maximum
        {-2, 12, 114, 172, 177},
    };
    for (const Row& r : rows) {
        LevelColour(r.level, r.maximum);
        EXPECT_EQ(g_DrawColour, PackTextColour(r.r, r.g, r.b)) << r.level << "/" << r.maximum;
    }
}

// One frame of the page for a known state: the energy and bonus, the
// title, the table labels, the captions, and each row not hidden with its
// name, next price, level, maximum and key, one row per 35 pixels from
// the list top (list glyph 15 + 45).
TEST_F(ShopTest, DrawnLines) {
    HideRows(PowerTableW, kShopWeaponRows, {1});
    PowerTableW[0].levelBought = 2;
    PowerTableW[0].achatupgrade = 100;
    PowerTableW[0].potentio = 12;
    PowerTableW[0].shortcut = 10;
    PowerTableW[2].achatupgrade = 7;
    PowerTableW[2].potentio = 0;
    def_.energy = 250;
    def_.energyReserve = 30;
    GameState.menuChoice = 0;
    ShopPage();
    struct Line {
        std::string text;
        int x, y;
    };
    // Names at 320 + 4 + 32 + 3.
    const std::vector<Line> expected = {
        {MenuTexts[170], 320, 447},
        {"0280", 308, 11},
        {"Shop", 639 - 32 - 40, 11},
        {"Spells", 324, 11},
        {"Weapons", 430, 11},
        {"Sling", 359, 60},
        {"300", 459, 60},
        {"+02", 499, 60},
        {"+12", 539, 60},
        {"0", 609, 60},
        {"Spear", 359, 95},  // the hidden Crossbow takes no place
        {"007", 459, 95},    // no maximum: no levels
        {"Axe", 359, 130},
    };
    const std::vector<GdiCall> drawn = Drawn();
    size_t at = 0;
    for (const Line& l : expected) {
        while (at < drawn.size() && drawn[at].text != l.text) ++at;
        ASSERT_LT(at, drawn.size()) << l.text;
        EXPECT_EQ(drawn[at].x, l.x) << l.text;
        EXPECT_EQ(drawn[at].y, l.y) << l.text;
    }
    EXPECT_EQ(Find(MenuTexts[58]), nullptr);  // Crossbow
    const GdiCall* description = Find(MenuTexts[78]);
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description->y, 479 - 64);
    const GdiCall* enter = Find(MenuTexts[149]);
    ASSERT_NE(enter, nullptr);
    EXPECT_EQ(enter->y, 479 - 48);
    // The table on show is labelled in the pulse's red-brown, the other grey.
    const GdiCall* weapons = Find("Weapons");
    const GdiCall* spells = Find("Spells");
    EXPECT_GT(weapons->rgb[0], 190);  // 200 x 255 / 256, 50, 50
    EXPECT_LT(weapons->rgb[1], 60);
    EXPECT_EQ(spells->rgb[0], spells->rgb[1]);
    EXPECT_NEAR(spells->rgb[0], 128, 4);
    // Rows whose first glyph box would pass the list bottom (479 - 76) are
    // not drawn: 10 of the 13 rows shown fit.
    int names = 0;
    for (int i = 0; i < kShopWeaponRows; ++i)
        if (Find(MenuTexts[57 + i])) ++names;
    EXPECT_EQ(names, 10);
    // The clip is given back.
    EXPECT_EQ(ScreenState.clipTop, 0);
    EXPECT_EQ(ScreenState.clipBottom, 479);
}

// With the tab column focused the page draws no captions and no highlight.
TEST_F(ShopTest, TabFocusDrawsNoCaptions) {
    GameState.menuTabFocus = 1;
    ShopPage();
    EXPECT_EQ(Find(MenuTexts[170]), nullptr);
    EXPECT_EQ(Find(MenuTexts[149]), nullptr);
    EXPECT_EQ(Find(MenuTexts[78]), nullptr);
    EXPECT_NE(Find("Sling"), nullptr);
}

// Enter on the page makes the row the HUD's selection of its table and buys
// its next level; on the spells' table the spell selection changes.
TEST_F(ShopTest, EnterSelectsAndBuys) {
    struct Row {
        const char* name;
        uint8_t selection;
        int32_t choice;
        int32_t energy;
        int32_t spellAfter, weaponAfter, levelAfter;
    };
    const Row rows[] = {
        {"a weapon", kSelectWeapons, 3, 1000, 0, 3, 1},
        {"a spell", kSelectSpells, 2, 1000, 2, 0, 1},
        {"too poor: selected all the same", kSelectWeapons, 5, 0, 0, 5, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PowerTables = BuiltInPowerTables;
        PowerSelection = r.selection;
        GameState.menuChoice = r.choice;
        ShopLastChoice = r.choice;
        def_.energy = r.energy;
        def_.energyReserve = 0;
        Press(kScanEnter);
        ShopPage();
        EXPECT_EQ(PowerTables.selectedSpell, r.spellAfter);
        EXPECT_EQ(PowerTables.selectedWeapon, r.weaponAfter);
        const PowerRow& row = r.selection == kSelectWeapons ? PowerTableW[r.choice] : PowerTableM[r.choice];
        EXPECT_EQ(row.levelBought, r.levelAfter);
    }
}

// The list scrolls by the double frame step until the highlighted row fits
// above the list bottom, then holds still (no shaking on the edge), and
// scrolls back to 0 when the cursor goes up.
TEST_F(ShopTest, ScrollFollowsTheCursorAndSettles) {
    GameState.menuChoice = 13;
    ShopLastChoice = 13;
    // Row 13 at 60 + 13 x 35 - scroll must end by 479 - 76: scroll >= 144.
    std::vector<int32_t> seen;
    for (int frame = 0; frame < 40; ++frame) {
        ShopPage();
        seen.push_back(ShopScroll);
    }
    EXPECT_EQ(seen[0], 6);
    EXPECT_EQ(seen.back(), 144);
    for (size_t i = 30; i < seen.size(); ++i) EXPECT_EQ(seen[i], 144) << i;
    GameState.menuChoice = 0;
    for (int frame = 0; frame < 30; ++frame) ShopPage();
    EXPECT_EQ(ShopScroll, 0);
}

}  // namespace
