// The inventory page's grid and names, the option rows (switches, levels
// held per frame with their bounds, the display settings written back), the
// tab labels, the key page's capture (Enter's release, the quiet passes,
// any key, the swap with the key's old owner, the give-up) and its scroll,
// and a whole run: the options raised and a key rebound through the menu,
// written to player.ini when the game is left.
#include "menu_support.h"

#include "game/dqx_menu.h"
#include "game/dqx_options.h"
#include "game/object_slots.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "render/d3d_display.h"
#include "tests/demo_run.h"

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using test::GdiCall;

// Text colours as the 5-6-5 screen keeps them, read back by the GDI path.
std::array<uint8_t, 3> Shown(int r, int g, int b) {
    return {uint8_t(r & 0xF8), uint8_t(g & 0xFC), uint8_t(b & 0xF8)};
}
std::array<uint8_t, 3> ShownGrey(int level) {
    return Shown(level, level, level);
}
std::array<uint8_t, 3> Colour(const GdiCall& c) {
    return {c.rgb[0], c.rgb[1], c.rgb[2]};
}

// A key event of the scripted keyboard: at its pass (one keyboard Update
// each), the key goes down or up, and the key message's last-key byte is
// set, as the main window's key messages do.
struct KeyEvent {
    int pass;
    uint8_t scanCode;
    bool down;
};

class OptionsPagesTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        self_ = this;
        GameState = GameStateRecord{};
        GameTimer.DoubleDelta = 6;  // 3 ticks a frame
        GameTimer.DeltaUnits = 3;
        MenuPulse = 100;
        MenuListScroll = kListTop;
        InventoryFade = 0;
        saved_ = {MusicVolume, SoundVolume, VoiceVol, SubTitles, EntityPoints, FastScroll};
        savedRender_ = RenderOptions;
        savedBindings_.assign(PlayerKeyBindings, PlayerKeyBindings + kKeyBindings);
        for (int i = 0; i < kKeyBindings; ++i)
            PlayerKeyBindings[i] = {kDefaultKeys[i], MenuTexts[kKeyLabelText + i]};
        savedApply_ = ProgramDisplay.ApplyDisplayOptions;
        ProgramDisplay.ApplyDisplayOptions = [] { ++self_->applied_; };
        PresentHook = [] {
            ++self_->presents_;
            if (ScreenState.flags2 & kScreen2Locked) ++self_->presentsLocked_;
        };
        savedActive_ = AppActive;
        AppActive = 1;
        keys_.Update = Update;
        keys_.Reset = [] { ++self_->resets_; };
        keys_.GetKeyName = [](int scan) {
            static char name[8];
            std::snprintf(name, sizeof name, "K%02X", scan & 0xFF);
            return static_cast<const char*>(name);
        };
    }
    void TearDown() override {
        MusicVolume = saved_[0], SoundVolume = saved_[1], VoiceVol = saved_[2];
        SubTitles = saved_[3], EntityPoints = saved_[4], FastScroll = saved_[5];
        RenderOptions = savedRender_;
        std::copy(savedBindings_.begin(), savedBindings_.end(), PlayerKeyBindings);
        ProgramDisplay.ApplyDisplayOptions = savedApply_;
        AppActive = savedActive_;
        GameState = GameStateRecord{};
        MenuListScroll = kListTop;
        self_ = nullptr;
        MenuTest::TearDown();
    }

    static int Update() {
        OptionsPagesTest* t = self_;
        ++t->passes_;
        for (const KeyEvent& e : t->script_)
            if (e.pass == t->passes_) {
                t->keys_.keyStates[e.scanCode] = e.down ? 0x80 : 0;
                t->keys_.lastScanCode = e.scanCode;
            }
        return 1;
    }
    // The calls drawn at y, in order.
    std::vector<GdiCall> DrawnAt(int y) const {
        std::vector<GdiCall> out;
        for (const GdiCall& c : Drawn())
            if (c.y == y) out.push_back(c);
        return out;
    }
    // The drawn text at (x, y), or "" when none.
    std::string TextAt(int x, int y) const {
        for (const GdiCall& c : Drawn())
            if (c.x == x && c.y == y) return c.text;
        return "";
    }
    std::vector<uint8_t> Keys() const {
        std::vector<uint8_t> out;
        for (int i = 0; i < kKeyBindings; ++i) out.push_back(PlayerKeyBindings[i].scanCode);
        return out;
    }

    static inline OptionsPagesTest* self_ = nullptr;
    std::array<int32_t, 6> saved_{};
    uint32_t savedRender_ = 0;
    std::vector<KeyBinding> savedBindings_;
    void (*savedApply_)() = nullptr;
    int32_t savedActive_ = 0;
    std::vector<KeyEvent> script_;
    int passes_ = 0, resets_ = 0, presents_ = 0, presentsLocked_ = 0, applied_ = 0;
};

// --- inventory ------------------------------------------------------------------

// Cells from (390, 40), 80 apart; a row wraps to the screen's middle 80
// lower once the clip right is less than the cell's x + 160.
TEST_F(OptionsPagesTest, InventoryCellsWrapAtTheClipRight) {
    struct Row {
        int n;
        int32_t clipRight, width, x, y;
    };
    const Row rows[] = {
        {0, 639, 640, 390, 40},  {1, 639, 640, 470, 40},  {2, 639, 640, 550, 40},
        {3, 639, 640, 320, 120},  // 550 + 160 passes 639
        {5, 639, 640, 480, 120},  {6, 639, 640, 320, 200},  // 480 + 160 passes 639
        {7, 639, 640, 400, 200},
        {1, 479, 480, 240, 120},  // narrow: 390 + 160 already passes 479
        {2, 479, 480, 320, 120},  {3, 479, 480, 240, 200},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.n * 1000 + r.clipRight);
        int32_t x = -1, y = -1;
        InventoryCell(r.n, r.clipRight, r.width, &x, &y);
        EXPECT_EQ(x, r.x);
        EXPECT_EQ(y, r.y);
    }
}

// The title counts the objects; each name is centred in its cell 70 below
// its top (the recorder measures 10 pixels a character), cut to 12
// characters and "..." when longer, in grey 258 - 8 x index (at most 255),
// or the fade byte's grey for the selected one while the focus is inside
// the page.  A free inventory entry takes no cell.
TEST_F(OptionsPagesTest, InventoryGridAndNames) {
    struct Shown {
        const char* text;
        int x, y;
        int grey;
    };
    struct Row {
        const char* name;
        std::vector<const char*> objects;  // null: a free entry
        uint8_t selected;
        int32_t focus;
        const char* title;
        int titleX;
        std::vector<Shown> names;
    };
    const Row rows[] = {
        {"nothing carried", {}, 0, 0, "0 objects carried", 639 - 32 - 170, {}},
        {"one, selected, focus inside", {"Lantern"}, 1, 0, "1 objects carried", 639 - 32 - 170,
         {{"Lantern", 395, 110, 6}}},
        {"many, focus on the tabs",
         {"Key", nullptr, "Silver chalice of the abbey", "Rope", "Lamp"},
         4,
         1,
         "4 objects carried",
         639 - 32 - 170,
         {{"Key", 415, 110, 255}, {"Silver chali...", 435, 110, 242}, {"Rope", 570, 110, 234},
          {"Lamp", 340, 190, 226}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<ObjectRecord> objects(r.objects.size());
        std::vector<ObjectSlotEntry> slots(r.objects.size());
        CharacterRecord hero{};
        for (size_t i = 0; i < r.objects.size(); ++i) {
            if (r.objects[i]) {
                std::snprintf(objects[i].name, sizeof objects[i].name, "%s", r.objects[i]);
                slots[i].object = &objects[i];
            }
            hero.inventory[i] = &slots[i];
        }
        hero.inventoryCount = uint8_t(r.objects.size());
        hero.selectedEntry = r.selected;
        GameState.menuTabFocus = r.focus;
        InventoryFade = 0;
        calls_.clear();
        InventoryPage(&hero);
        EXPECT_EQ(InventoryFade, 6);
        const GdiCall* title = Find(r.title);
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->x, r.titleX);
        EXPECT_EQ(title->y, 10);
        EXPECT_EQ(Find(MenuTexts[kInventoryCaptionText]) != nullptr, r.focus == 0);
        std::vector<GdiCall> names;
        for (const GdiCall& c : Drawn())
            if (c.text != r.title && c.text != MenuTexts[kInventoryCaptionText]) names.push_back(c);
        ASSERT_EQ(names.size(), r.names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(names[i].text, r.names[i].text);
            EXPECT_EQ(names[i].x, r.names[i].x) << names[i].text;
            EXPECT_EQ(names[i].y, r.names[i].y) << names[i].text;
            EXPECT_EQ(Colour(names[i]), ShownGrey(r.names[i].grey)) << names[i].text;
        }
    }
}

// The selected object's picture is copied as it is, the others' blended
// with the screen; each is centred in its cell's upper 65 pixels.
TEST_F(OptionsPagesTest, InventoryPicturesOpaqueWhenSelected) {
    constexpr uint16_t kColour = 0x7BEF;
    std::vector<uint16_t> pixels(20 * 10, kColour);
    Picture picture{20, 10, reinterpret_cast<uint8_t*>(pixels.data()), nullptr};
    ObjectPicture block{&picture, 1};
    ObjectRecord objects[2]{};
    std::snprintf(objects[0].name, sizeof objects[0].name, "A");
    std::snprintf(objects[1].name, sizeof objects[1].name, "B");
    ObjectSlotEntry slots[2]{};
    CharacterRecord hero{};
    for (int i = 0; i < 2; ++i) {
        slots[i] = ObjectSlotEntry{&objects[i], 0, &block, 0, 0, 0};
        hero.inventory[i] = &slots[i];
    }
    hero.inventoryCount = 2;
    hero.selectedEntry = 2;
    InventoryPage(&hero);
    // Cell 0 at (390, 40), cell 1 at (470, 40): the picture from x + 30,
    // y + 27.
    const uint32_t blended = Pixel(390 + 30, 40 + 27);
    EXPECT_NE(blended, 0u);
    EXPECT_NE(blended, kColour);
    EXPECT_EQ(Pixel(470 + 30, 40 + 27), kColour);
    EXPECT_EQ(Pixel(470 + 49, 40 + 36), kColour);
    EXPECT_EQ(Pixel(470 + 29, 40 + 27), 0u);
    EXPECT_EQ(Pixel(470 + 30, 40 + 26), 0u);
}

// --- option rows ----------------------------------------------------------------

// On the highlighted row: Space or Enter toggles a switch; + and - held
// move any row one a frame within 0..maximum; the row's id is answered on
// the frame its value changed.  MenuChoice is held on the rows.
TEST_F(OptionsPagesTest, OptionRowsByKeys) {
    struct Row {
        const char* name;
        int32_t choice;
        int32_t level, toggle;           // before
        std::vector<int> held, hit;      // every frame
        int frames;
        int32_t levelAfter, toggleAfter;
        int32_t lastId;                  // answered on the last frame
        int32_t choiceAfter;
    };
    const Row rows[] = {
        {"+ held raises one a frame", 0, 60, 0, {kScanKeypadPlus}, {}, 2, 62, 0, 1, 0},
        {"+ held keeps 63", 0, 62, 0, {kScanKeypadPlus}, {}, 3, 63, 0, 0, 0},
        {"- held stops at 0", 0, 1, 0, {kScanKeypadMinus}, {}, 3, 0, 0, 0, 0},
        {"both held stay", 0, 30, 0, {kScanKeypadPlus, kScanKeypadMinus}, {}, 2, 30, 0, 0, 0},
        {"Space toggles a switch on", 1, 5, 0, {}, {kScanSpace}, 1, 5, 1, 3, 1},
        {"Enter toggles it off", 1, 5, 1, {}, {kScanEnter}, 1, 5, 0, 3, 1},
        {"+ held keeps a switch at 1", 1, 5, 0, {kScanKeypadPlus}, {}, 3, 5, 1, 0, 1},
        {"- held keeps a switch at 0", 1, 5, 1, {kScanKeypadMinus}, {}, 3, 5, 0, 0, 1},
        {"Space does not move a level", 0, 10, 0, {}, {kScanSpace}, 1, 10, 0, 0, 0},
        {"rows not highlighted stay", 1, 10, 0, {kScanKeypadPlus}, {}, 1, 10, 1, 3, 1},
        {"a choice past the rows holds on the last", 7, 10, 0, {kScanKeypadPlus}, {}, 1, 10, 1, 3, 1},
        {"a negative choice holds on the first", -3, 10, 0, {kScanKeypadPlus}, {}, 1, 11, 0, 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        int32_t level = r.level, toggle = r.toggle;
        const OptionItem items[] = {{"Level %d%%", &level, 63, 1}, {"Switch: %s", &toggle, 1, 3}, {}};
        GameState.menuChoice = r.choice;
        int32_t id = -1;
        for (int f = 0; f < r.frames; ++f) {
            for (int k : r.held) keys_.keyStates[k] = 0x80;
            for (int k : r.hit) Press(k);
            id = DrawOptionList(items, 315, 48);
        }
        for (int k : r.held) keys_.keyStates[k] = 0;
        std::fill(std::begin(pressed_), std::end(pressed_), false);
        EXPECT_EQ(level, r.levelAfter);
        EXPECT_EQ(toggle, r.toggleAfter);
        EXPECT_EQ(id, r.lastId);
        EXPECT_EQ(GameState.menuChoice, r.choiceAfter);
    }
}

// A level shows its percentage of the maximum (truncated), a switch "On"
// or "Off"; rows 18 apart in grey 200 - 4 x row, the highlighted one in
// the pulse's grey.
TEST_F(OptionsPagesTest, OptionRowTextsAndColours) {
    int32_t music = 60, subtitles = 1, off = 0;
    const OptionItem items[] = {
        {MenuTexts[122], &music, 63, 1}, {MenuTexts[142], &subtitles, 1, 3}, {MenuTexts[200], &off, 1, 4}, {}};
    GameState.menuChoice = 1;
    EXPECT_EQ(DrawOptionList(items, 315, 48), 0);
    const std::vector<GdiCall> drawn = Drawn();
    ASSERT_EQ(drawn.size(), 3u);
    const struct {
        const char* text;
        int y, grey;
    } want[] = {{"Music volume 95%", 48, 200}, {"Subtitles: On", 66, 100}, {"Texture filtering: Off", 84, 192}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(drawn[i].text, want[i].text);
        EXPECT_EQ(drawn[i].x, 315);
        EXPECT_EQ(drawn[i].y, want[i].y);
        EXPECT_EQ(Colour(drawn[i]), ShownGrey(want[i].grey)) << want[i].text;
    }
}

// --- the options page -----------------------------------------------------------

// Tab labels at width / 2 + 15, 120 and 225; the current one in the
// pulse's (120, 160, 255) / 256, the others dim; the tab's rows from
// (width / 2 - 5, 48); the edit word held between 0 and 1.
TEST_F(OptionsPagesTest, OptionsPageByTab) {
    struct Row {
        int32_t column;
        int32_t editWord, editWordAfter;
        const char* firstRow;  // at (315, 48) for the sound and display tabs
        int firstRowX;
    };
    const Row rows[] = {
        {0, 5, 1, "Music volume 50%", 315},
        {1, -2, 0, "Forward", 319},  // the key page's texts at x + 4
        {2, 0, 0, "Texture filtering: On", 315},
    };
    MusicVolume = 32;
    RenderOptions = 1;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.column);
        GameState.menuColumn = r.column;
        GameState.menuValueIndex = r.editWord;
        calls_.clear();
        OptionsPage();
        EXPECT_EQ(GameState.menuValueIndex, r.editWordAfter);
        const char* labels[] = {"Sound", "Keys", "Display"};
        for (int tab = 0; tab < 3; ++tab) {
            // The drawn list is kept while the found entry is read.
            const std::vector<GdiCall> drawn = DrawnAt(28);
            const GdiCall* c = nullptr;
            for (const GdiCall& d : drawn)
                if (d.text == labels[tab]) c = &d;
            ASSERT_NE(c, nullptr) << labels[tab];
            EXPECT_EQ(c->x, 335 + 105 * tab);
            EXPECT_EQ(Colour(*c), tab == r.column ? Shown(100 * 120 / 256, 100 * 160 / 256, 100 * 255 / 256)
                                                  : ShownGrey(110));
        }
        EXPECT_EQ(TextAt(r.firstRowX, 48), r.firstRow);
    }
}

// The display tab edits copies: filtering and dithering write their bit
// of RenderOptions and apply the display options; entity points and fast
// scroll are written back.
TEST_F(OptionsPagesTest, DisplayTabWritesBack) {
    struct Row {
        const char* name;
        int32_t choice;
        int key;
        bool held;
        uint32_t renderAfter;
        int32_t entityAfter, fastAfter;
        int applied;
    };
    const Row rows[] = {
        {"filtering off", 0, kScanSpace, false, 0, 0, 0, 1},
        {"dithering on", 1, kScanEnter, false, 3, 0, 0, 1},
        {"dithering already on with + held", 1, kScanKeypadPlus, true, 3, 0, 0, 0},
        {"entity points on", 2, kScanKeypadPlus, true, 1, 1, 0, 0},
        {"fast scroll on", 3, kScanSpace, false, 1, 0, 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        RenderOptions = r.choice == 1 && r.held ? 3 : 1;
        EntityPoints = FastScroll = 0;
        applied_ = 0;
        GameState.menuColumn = kOptionsDisplay;
        GameState.menuChoice = r.choice;
        if (r.held) keys_.keyStates[r.key] = 0x80;
        else Press(r.key);
        OptionsPage();
        keys_.keyStates[r.key] = 0;
        std::fill(std::begin(pressed_), std::end(pressed_), false);
        EXPECT_EQ(RenderOptions, r.renderAfter);
        EXPECT_EQ(EntityPoints, r.entityAfter);
        EXPECT_EQ(FastScroll, r.fastAfter);
        EXPECT_EQ(applied_, r.applied);
    }
}

// The sound tab edits the player's volumes and subtitles themselves.
TEST_F(OptionsPagesTest, SoundTabEditsThePlayerSettings) {
    struct Row {
        int32_t choice;
        int32_t* value;
        int32_t before, after;
    };
    const Row rows[] = {
        {0, &MusicVolume, 32, 33}, {1, &SoundVolume, 63, 63}, {2, &VoiceVol, 0, 1}, {3, &SubTitles, 0, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.choice);
        MusicVolume = SoundVolume = VoiceVol = 10;
        SubTitles = 1;
        *r.value = r.before;
        GameState.menuColumn = kOptionsSound;
        GameState.menuChoice = r.choice;
        keys_.keyStates[kScanKeypadPlus] = 0x80;
        OptionsPage();
        keys_.keyStates[kScanKeypadPlus] = 0;
        EXPECT_EQ(*r.value, r.after);
    }
}

// --- the key page ---------------------------------------------------------------

// Enter on a row: the frame is unlocked and shown; the keys are read until
// Enter is released, then 1000 passes in which no key counts, then until a
// key is seen pressed, which the row takes while its old key goes to every
// binding that had the new one; 1000 more passes, the keyboard reset and
// the frame locked again.  A wait that lasts 15 s gives up and keeps the
// binding.
TEST_F(OptionsPagesTest, KeyCapture) {
    constexpr uint8_t kW = 0x11, kX = 0x2D, kQ = 0x10, kShift = 0x2A, kRight = 0xCD;
    std::vector<uint8_t> defaults(kDefaultKeys, kDefaultKeys + kKeyBindings);
    auto with = [&](std::vector<std::pair<int, uint8_t>> changes) {
        std::vector<uint8_t> keys = defaults;
        for (auto [i, key] : changes) keys[size_t(i)] = key;
        return keys;
    };
    struct Row {
        const char* name;
        int32_t choice;
        std::vector<KeyEvent> script;  // Enter is held at the start
        uint8_t captured;
        std::vector<uint8_t> keysAfter;
    };
    const Row rows[] = {
        {"any key after the quiet passes", 0, {{5, kScanEnter, false}, {1100, kW, true}, {1150, kW, false}}, kW,
         with({{0, kW}})},
        {"a key in the quiet passes is not taken",
         0,
         {{5, kScanEnter, false}, {100, kX, true}, {200, kX, false}, {1500, kW, true}},
         kW,
         with({{0, kW}})},
        {"a key seen only released is passed over",
         0,
         {{5, kScanEnter, false}, {1100, kShift, false}, {1300, kW, true}},
         kW,
         with({{0, kW}})},
        {"an extended key", 3, {{2, kScanEnter, false}, {1200, kRight, true}}, kRight,
         with({{3, kRight}, {2, 0xCB}})},
        {"the key of another binding: the two swap", 0, {{5, kScanEnter, false}, {1100, kQ, true}}, kQ,
         with({{0, kQ}, {6, 0xC8}})},
        {"the row's own key again", 6, {{5, kScanEnter, false}, {1100, kQ, true}}, kQ, defaults},
        {"Enter never released: given up", 0, {}, 0, defaults},
        {"no key: given up", 0, {{5, kScanEnter, false}}, 0, defaults},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        for (int i = 0; i < kKeyBindings; ++i) PlayerKeyBindings[i].scanCode = kDefaultKeys[i];
        std::fill(std::begin(keys_.keyStates), std::end(keys_.keyStates), 0);
        keys_.keyStates[kScanEnter] = 0x80;
        keys_.lastScanCode = 0;
        script_ = r.script;
        passes_ = resets_ = presents_ = presentsLocked_ = locks_ = unlocks_ = 0;
        ScreenState.flags2 |= kScreen2Locked;
        GameState.menuColumn = kOptionsKeys;
        GameState.menuChoice = r.choice;
        calls_.clear();
        g_GameCalls.clear();
        const uint32_t start = GetTimeMs();
        Press(kScanEnter);
        OptionsPage();
        EXPECT_EQ(Keys(), r.keysAfter);
        // Shown once, unlocked; locked again afterwards.
        EXPECT_EQ(presents_, 1);
        EXPECT_EQ(presentsLocked_, 0);
        EXPECT_EQ(unlocks_, locks_);
        EXPECT_NE(ScreenState.flags2 & kScreen2Locked, 0);
        EXPECT_EQ(resets_, 1);
        if (r.captured) {
            // 1000 passes after the key.
            const int keyPass = r.script.back().down ? r.script.back().pass : r.script[r.script.size() - 2].pass;
            EXPECT_EQ(passes_, keyPass + kKeyCapturePasses);
        } else {
            EXPECT_GE(GetTimeMs() - start, kKeyCaptureWaitMs);
        }
        // The row was drawn in the capture's colour, the screen then shown.
        const GdiCall* row = Find(MenuTexts[kKeyLabelText + r.choice]);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(Colour(*row), Shown(128, 128, 64));
        EXPECT_EQ(row->x, 319);
        EXPECT_EQ(row->y, 48 + 18 * r.choice);
    }
}

// Every binding with the new key takes the old one: a table a hand-edited
// player.ini bound twice is left with neither on the new key.
TEST_F(OptionsPagesTest, SwapKeyBindingRows) {
    struct Row {
        std::vector<uint8_t> before;
        uint8_t oldKey, newKey;
        std::vector<uint8_t> after;
    };
    const Row rows[] = {
        {{0x10, 0x11, 0x12}, 0x20, 0x11, {0x10, 0x20, 0x12}},
        {{0x10, 0x11, 0x10}, 0x20, 0x10, {0x20, 0x11, 0x20}},
        {{0x10, 0x11, 0x12}, 0x20, 0x30, {0x10, 0x11, 0x12}},
        // The table ends at a scan code of 0: nothing after it changes.
        {{0x10, 0x00, 0x10}, 0x20, 0x10, {0x20, 0x00, 0x10}},
    };
    for (const Row& r : rows) {
        for (int i = 0; i < kKeyBindings; ++i) PlayerKeyBindings[i].scanCode = 0x50;
        for (size_t i = 0; i < r.before.size(); ++i) PlayerKeyBindings[i].scanCode = r.before[i];
        SwapKeyBinding(r.oldKey, r.newKey);
        std::vector<uint8_t> after(r.before.size());
        for (size_t i = 0; i < after.size(); ++i) after[i] = PlayerKeyBindings[i].scanCode;
        EXPECT_EQ(after, r.after);
    }
}

// The rows: label at x + 4, key name at x + 210, from the list scroll 18
// apart, in grey 250 - 8 x row, the highlighted one in the pulse's grey.
// Up and Down held scroll the list by the frame step until its last row
// stands 16 above the clip bottom, never below the list top.
TEST_F(OptionsPagesTest, KeyPageRowsAndScroll) {
    struct Row {
        const char* name;
        int32_t clipBottom;
        int held;
        int frames;
        int32_t scrollAfter;
    };
    const Row rows[] = {
        {"all rows fit: no scroll", 479, 0xD0, 5, 48},
        {"Down held scrolls up by the step", 299, 0xD0, 5, 48 - 15},
        {"to the last row 16 above the clip bottom", 299, 0xD0, 100, 299 - 16 - 21 * 18},
        {"Up held never passes the top", 299, 0xC8, 5, 48},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScreenState.clipBottom = r.clipBottom;
        MenuListScroll = kListTop;
        GameState.menuChoice = 2;
        keys_.keyStates[r.held] = 0x80;
        for (int f = 0; f < r.frames; ++f) {
            calls_.clear();
            KeyConfigPage(315);
        }
        keys_.keyStates[r.held] = 0;
        EXPECT_EQ(MenuListScroll, r.scrollAfter);
    }
    ScreenState.clipBottom = 479;
    MenuListScroll = kListTop;
    calls_.clear();
    KeyConfigPage(315);
    for (int row : {0, 2, 20}) {
        const GdiCall* label = Find(MenuTexts[kKeyLabelText + row]);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->x, 319);
        EXPECT_EQ(label->y, 48 + 18 * row);
        EXPECT_EQ(Colour(*label), row == 2 ? ShownGrey(100) : ShownGrey(250 - 8 * row));
        char name[8];
        std::snprintf(name, sizeof name, "K%02X", kDefaultKeys[row]);
        EXPECT_EQ(TextAt(525, 48 + 18 * row), name);
    }
    // The title ends 32 pixels before the clip right; caption line 0.
    const GdiCall* title = Find(MenuTexts[kKeysTabText]);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->x + 10 * int(std::strlen(MenuTexts[kKeysTabText])), 639 - 32);
    EXPECT_EQ(title->y, 10);
    EXPECT_NE(Find(MenuTexts[kKeyCaptionText]), nullptr);
}

// --- a whole run ------------------------------------------------------------------

std::string ReadFile(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Either program on mission 22: Escape, Down five times to Options, Enter; +
// held raises the music volume to its highest; Right to the keys tab;
// Enter on Forward, then Q (Fire's key): the two swap; Escape closes the
// menu and the main menu's Quit leaves.  player.ini holds the new values.
void OptionsAndAKeyReachPlayerIni(const char* program) {
    SCOPED_TRACE(program);
    std::string script;
    auto key = [&](int at, int scanCode, int hold = 100) {
        script += std::to_string(at) + " keydown " + std::to_string(scanCode) + "\n";
        script += std::to_string(at + hold) + " keyup " + std::to_string(scanCode) + "\n";
    };
    key(500, 1);  // Escape: the main menu
    for (int i = 0; i < 5; ++i) key(1100 + 200 * i, 208);
    key(2200, 28);              // Enter: the options
    key(2500, 78, 2500);        // keypad + held for about 60 frames
    key(5300, 205);             // Right: the keys tab
    key(5600, 28);              // Enter on Forward
    key(8500, 16);              // Q, after the quiet passes
    key(11000, 1);              // Escape closes the menu
    script += test::QuitKeys(12000);
    test::DemoRun run = test::RunDemoProgram(program, script, 110);
    ASSERT_FALSE(run.dir.empty());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The options' tabs and rows reached the text log.
    EXPECT_NE(run.err.find("trace: Text 335 28 Sound"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("trace: Text 315 48 Music volume 50%"), std::string::npos);
    EXPECT_NE(run.err.find("trace: Text 315 48 Music volume 100%"), std::string::npos);
    EXPECT_NE(run.err.find("trace: Text 319 48 Forward"), std::string::npos);
    EXPECT_NE(run.err.find("trace: CaptureKey 16"), std::string::npos);
    const std::string ini = ReadFile(run.dir / "player.ini");
    EXPECT_NE(ini.find("k=10 d0 cd cb 4e 4a c8 1e 2a 1c 39 3f 12 17 3e 3d 13  f 38 2c 1f \n"), std::string::npos)
        << ini;
    EXPECT_NE(ini.find("MusicVol=63\n"), std::string::npos) << ini;
    std::error_code ec;
    std::filesystem::remove_all(run.dir, ec);
}

TEST(OptionsRunTest, GameSoftOptionsAndAKeyReachPlayerIni) {
    OptionsAndAKeyReachPlayerIni(MORVANEL_GAME_SOFT);
}

TEST(OptionsRunTest, GameD3DOptionsAndAKeyReachPlayerIni) {
    OptionsAndAKeyReachPlayerIni(MORVANEL_GAME_D3D);
}

}  // namespace
