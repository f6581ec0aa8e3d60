// The player controls and the paused menu's keys, read through the device
// keyboard driver on the headless host: the test holds and releases keys
// as a player would, and each frame the controls read them.
#include "test_3d.h"
#include "test_support.h"
#include "game/characters.h"
#include "game/dqx_controls.h"
#include "game/dqx_load.h"
#include "game/dqx_menu.h"
#include "game/dqx_overlay.h"
#include "game/dqx_points.h"
#include "game/dqx_shop.h"
#include "game/dqx_targets.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/player_settings.h"
#include "host/headless/headless.h"
#include "platform/input.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/winmain.h"
#include "tests/mission_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kUp = 0xC8, kDown = 0xD0, kLeft = 0xCB, kRight = 0xCD;
constexpr uint8_t kLeftAlt = 0x38, kLeftShift = 0x2A, kRightShift = 0x36, kLeftCtrl = 0x1D;
constexpr uint8_t kSpace = 0x39, kEnter = 0x1C, kQ = 0x10, kA = 0x1E, kEsc = 0x01;
constexpr uint8_t kS = 0x1F, kZ = 0x2C, kPadPlus = 0x4E, kPadMinus = 0x4A;
constexpr uint8_t kCaps = 0x3A, kF3 = 0x3D, kF4 = 0x3E, kF7 = 0x41, kF8 = 0x42, kF9 = 0x43;
constexpr uint8_t kI = 0x17, kE = 0x12, kR = 0x13, kTab = 0x0F;
constexpr uint8_t kKeyD = 0x20, kKeyM = 0x32;

int Count(const std::string& name) {
    int n = 0;
    for (const GameCall& c : g_GameCalls) n += c.what == name;
    return n;
}

const GameCall* LastCall(const std::string& name) {
    const GameCall* last = nullptr;
    for (const GameCall& c : g_GameCalls)
        if (c.what == name) last = &c;
    return last;
}

// A headless program in front with the device keyboard; the player's
// default keys, the menu closed, a hero in slot 0 of the test's own table.
class ControlsTest : public test::Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        savedConfig_ = EngineConfig;
        savedOption_ = GameOption;
        savedMission_ = MissionNumber;
        savedTables_ = PowerTables;
        savedSound_ = g_SoundOn;
        g_SoundOn = 0;
        EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
        MainWindow = nullptr;
        ASSERT_EQ(CreateMainWindow(nullptr, nullptr, ""), 0);
        host::ShowWindow(MainWindow, host::SW_SHOWNORMAL);
        PumpMessages();
        ASSERT_EQ(AppActive, 1);
        CurrentKeyboard = KbdDInputCreate();
        ASSERT_EQ(CurrentKeyboard->Open(), 1);
        CurrentJoystick = nullptr;
        for (int i = 0; i < kKeyBindings; ++i) PlayerKeyBindings[i] = {kDefaultKeys[i], MenuTexts[kKeyLabelText + i]};
        std::memset(ShortcutTable, 0, sizeof ShortcutTable);
        std::snprintf(MenuTexts[162], kMenuTextBytes, "Run lock: %%s");
        GameOption = 0;
        MissionNumber = 22;
        CurrentRoomIndex = 0;
        CameraMode = kCameraFollow;
        GameState = GameStateRecord{};
        GameLoopState = kLoopPlay;
        OverlayFlags = 0;
        DebugFlags = 0;
        PowerSelection = kSelectWeapons;
        HeldWeaponMark = FireMark = ShortcutUsedMark = 0;
        PowerTables = BuiltInPowerTables;
        StatusText[0] = 0;
        g_GameCalls.clear();
        if (!ownTable_) return;
        records_.assign(kCharacterSlots, CharacterRecord{});
        states_.assign(kCharacterSlots, CharacterAnimState{});
        CharacterTable = records_.data();
        CharacterAnimTable = states_.data();
        def_ = CharacterDef{};
        Hero().def = &def_;
        def_.life = 100;
    }
    void TearDown() override {
        ReleaseAll();
        if (CurrentKeyboard) CurrentKeyboard->Close();
        CurrentKeyboard = nullptr;
        CurrentJoystick = nullptr;
        if (ownTable_) {
            CharacterTable = nullptr;
            CharacterAnimTable = nullptr;
        }
        EngineConfig = savedConfig_;
        GameOption = savedOption_;
        MissionNumber = savedMission_;
        PowerTables = savedTables_;
        g_SoundOn = savedSound_;
        GameState = GameStateRecord{};
        MainWindow = nullptr;
        AppActive = 0;
        Engine3DTest::TearDown();
    }

    CharacterRecord& Hero() { return CharacterTable[0]; }
    void Press(uint8_t scan) {
        host::headless::PressKey(scan, true);
        held_.insert(scan);
        PumpMessages();
    }
    void Release(uint8_t scan) {
        host::headless::PressKey(scan, false);
        held_.erase(scan);
        PumpMessages();
    }
    void Hold(const std::vector<uint8_t>& keys) {
        for (uint8_t k : keys) Press(k);
    }
    // Every key up, and a frame of the driver so that no latch is left.
    void ReleaseAll() {
        std::set<uint8_t> keys = held_;
        for (uint8_t k : keys) Release(k);
        if (CurrentKeyboard) CurrentKeyboard->Reset();
    }
    void Frame() { HandlePlayerControls(&Hero()); }

    bool ownTable_ = true;
    std::vector<CharacterRecord> records_;
    std::vector<CharacterAnimState> states_;
    CharacterDef def_{};
    std::set<uint8_t> held_;
    EngineConfigRecord savedConfig_;
    int32_t savedOption_ = 0;
    uint8_t savedMission_ = 0, savedSound_ = 0;
    PowerTablesRecord savedTables_{};
};

// ---------------------------------------------------------------------------
// Held keys
// ---------------------------------------------------------------------------

struct HeldCase {
    const char* name;
    std::vector<uint8_t> keys;
    uint8_t lock;
    int rebind;        // binding moved to `rebindTo`, -1 for none
    uint8_t rebindTo;
    uint16_t bits;
};

TEST_F(ControlsTest, HeldKeysSetTheControlBits) {
    const HeldCase cases[] = {
        {"Up walks forward (runs)", {kUp}, 0, -1, 0, kCtlForward},
        {"Down goes back", {kDown}, 0, -1, 0, kCtlBackward},
        {"Left turns left", {kLeft}, 0, -1, 0, kCtlTurnLeft},
        {"Right turns right", {kRight}, 0, -1, 0, kCtlTurnRight},
        {"Shift with Up: the pace switch", {kLeftShift, kUp}, 0, -1, 0, kCtlForward | kCtlPace},
        {"Alt with Left: side-step", {kLeftAlt, kLeft}, 0, -1, 0, kCtlSideStep | kCtlTurnLeft},
        {"fixed 0x6E turns left", {0x6E}, 0, -1, 0, kCtlTurnLeft},
        {"fixed 0x6F turns right", {0x6F}, 0, -1, 0, kCtlTurnRight},
        {"fixed 0x70 forward", {0x70}, 0, -1, 0, kCtlForward},
        {"fixed 0x71 back", {0x71}, 0, -1, 0, kCtlBackward},
        {"locked: no forward, back or side-step", {kUp, kDown, kLeftAlt, 0x70, 0x71}, 1, -1, 0, 0},
        {"locked: turns and pace still count", {kLeft, kLeftShift, 0x6F}, 1, -1, 0,
         kCtlTurnLeft | kCtlTurnRight | kCtlPace},
        {"pace moved to Right Shift", {kRightShift}, 0, kBindPace, kRightShift, kCtlPace},
        {"Left Shift paces whatever the binding", {kLeftShift}, 0, kBindPace, kRightShift, kCtlPace},
        {"forward moved to W: Up does nothing", {kUp}, 0, kBindForward, 0x11, 0},
        {"forward moved to W", {0x11}, 0, kBindForward, 0x11, kCtlForward},
        {"Q held fires", {kQ}, 0, -1, 0, kCtlPower},
        {"A uses once", {kA}, 0, -1, 0, kCtlPower | kCtlPowerMode},
        {"Space takes", {kSpace}, 0, -1, 0, kCtlTake},
        {"Enter is the action", {kEnter}, 0, -1, 0, kCtlAction},
        {"no key", {}, 0, -1, 0, 0},
    };
    for (const HeldCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < kKeyBindings; ++i) PlayerKeyBindings[i].scanCode = kDefaultKeys[i];
        if (c.rebind >= 0) PlayerKeyBindings[c.rebind].scanCode = c.rebindTo;
        Hero().lock = c.lock;
        Hero().controls = 0xFFFF;  // last frame's bits do not stay
        Hold(c.keys);
        Frame();
        EXPECT_EQ(Hero().controls, c.bits);
        ReleaseAll();
    }
}

// The take waits for a pending room change; the action for the menu to be
// closed.
struct GateCase {
    const char* name;
    uint8_t key;
    uint8_t pendingTicks;
    int32_t menuSlide;
    uint16_t bits;
};

TEST_F(ControlsTest, TakeAndActionWaitForTheRoomAndTheMenu) {
    const GateCase cases[] = {
        {"take", kSpace, 0, 0, kCtlTake},
        {"take while a room change is pending", kSpace, 5, 0, 0},
        {"take while the menu slides", kSpace, 0, 30, kCtlTake},
        {"action", kEnter, 0, 0, kCtlAction},
        {"action while the menu slides", kEnter, 0, 30, 0},
        {"action while a room change is pending", kEnter, 5, 0, kCtlAction},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameState.pendingRoomTicks = c.pendingTicks;
        GameState.menuSlide = c.menuSlide;
        Press(c.key);
        Frame();
        EXPECT_EQ(Hero().controls, c.bits);
        // A hit: held on, the next frame no longer sets it.
        Frame();
        EXPECT_EQ(Hero().controls, 0);
        ReleaseAll();
    }
}

// A joystick present is read every frame and its buttons and stick are
// written into the keys (buttons and axes, mask 3).
uint32_t g_joyMask = 0;
int g_joyReads = 0;
uint32_t JoyRead(JoystickDriver*) {
    ++g_joyReads;
    return 0;
}
void JoyMap(JoystickDriver*, uint32_t mask) {
    g_joyMask = mask;
    CurrentKeyboard->keyStates[kUp] = 0x80;  // the stick pushed forward
}

TEST_F(ControlsTest, JoystickIsMappedOntoTheKeys) {
    JoystickDriver joystick{};
    joystick.Read = JoyRead;
    joystick.MapToKeys = JoyMap;
    CurrentJoystick = &joystick;
    Frame();
    EXPECT_EQ(g_joyReads, 1);
    EXPECT_EQ(g_joyMask, 3u);
    EXPECT_EQ(Hero().controls, kCtlForward);
    CurrentJoystick = nullptr;
}

// ---------------------------------------------------------------------------
// Developer keys
// ---------------------------------------------------------------------------

struct DeveloperCase {
    const char* name;
    int32_t option;
    bool ctrl;
    uint8_t key;
    const char* status;     // "" for none
    uint8_t debugFlags;
    int32_t life, energy;
    uint8_t page;           // menu page opened, 0 none
    uint8_t camera;
    const char* call;       // the call made, nullptr for none
    int32_t callArgument;
};

TEST_F(ControlsTest, DeveloperKeysNeedLeftCtrlInDeveloperMode) {
    const DeveloperCase cases[] = {
        {"F: turbo fire", 4, true, 0x21, "Turbo Fire", kDebugTurboFire, 100, 0, 0, 0, nullptr, 0},
        {"V: vision", 4, true, 0x2F, "Vision", kDebugVision, 100, 0, 0, 0, nullptr, 0},
        {"D: the hero dies", 4, true, 0x20, "Die!", 0, 100, 0, 0, 0, "StartCharacterDeath", 0},
        {"G: life", 4, true, 0x22, "G.O.D. mode", 0, 9999, 0, 0, 0, nullptr, 0},
        {"J: energy", 4, true, 0x24, "Mana Mania", 0, 100, 9999, 0, 0, nullptr, 0},
        {"K: kill around", 4, true, 0x25, "Kill'em", 0, 100, 0, 0, 0, "ImpactEnemiesInRadius", 100000},
        {"L: mission choice", 4, true, 0x26, "", 0, 100, 0, kPageMissionList, 0, nullptr, 0},
        {"F4: level jump", 4, true, kF4, "", 0, 100, 0, kPageLevelJump, 0, nullptr, 0},
        {"F9: next step", 4, true, kF9, "", 0, 100, 0, 0, 0, "AdvanceStep", 0},
        {"N: still camera", 4, true, 0x31, "", 0, 100, 0, 0, kCameraNoMovement, nullptr, 0},
        {"G without Ctrl", 4, false, 0x22, "", 0, 100, 0, 0, 0, nullptr, 0},
        {"F4 without Ctrl", 4, false, kF4, "", 0, 100, 0, 0, 0, nullptr, 0},
        {"K with Ctrl, option 0", 0, true, 0x25, "", 0, 100, 0, 0, 0, nullptr, 0},
        {"D with Ctrl, option 3", 3, true, 0x20, "", 0, 100, 0, 0, 0, nullptr, 0},
        {"L with Ctrl, option 0", 0, true, 0x26, "", 0, 100, 0, 0, 0, nullptr, 0},
        {"N with Ctrl, option 0", 0, true, 0x31, "", 0, 100, 0, 0, 0, nullptr, 0},
    };
    for (const DeveloperCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameOption = c.option;
        DebugFlags = 0;
        CameraMode = kCameraFollow;
        GameState = GameStateRecord{};
        Hero() = CharacterRecord{};
        Hero().def = &def_;
        def_.life = 100;
        def_.energy = 0;
        StatusText[0] = 0;
        g_GameCalls.clear();
        if (c.ctrl) Press(kLeftCtrl);
        Press(c.key);
        Frame();
        Frame();  // held: acted on once
        EXPECT_STREQ(StatusText, c.status);
        EXPECT_EQ(DebugFlags, c.debugFlags);
        EXPECT_EQ(def_.life, c.life);
        EXPECT_EQ(def_.energy, c.energy);
        EXPECT_EQ(GameState.menuPage, c.page);
        EXPECT_EQ(GameState.menuSlide, c.page ? 50 : 0);
        EXPECT_EQ(CameraMode, c.camera);
        for (const char* name : {"StartCharacterDeath", "ImpactEnemiesInRadius", "AdvanceStep"})
            EXPECT_EQ(Count(name), c.call && std::string(c.call) == name ? 1 : 0) << name;
        if (c.call) {
            ASSERT_NE(LastCall(c.call), nullptr);
            EXPECT_EQ(LastCall(c.call)->a, c.callArgument);
        }
        ReleaseAll();
    }
}

// Each hit toggles: F twice turns turbo fire off again.
TEST_F(ControlsTest, DeveloperTogglesTurnBackOff) {
    GameOption = 4;
    Press(kLeftCtrl);
    for (uint8_t expected : {kDebugTurboFire, uint8_t(0), kDebugTurboFire}) {
        Press(0x21);
        Frame();
        EXPECT_EQ(DebugFlags, expected);
        Release(0x21);
        Frame();
    }
}

// The quick load of the game loop asks for F4's hit after the controls:
// the developer F4 takes the press first, otherwise the press is still
// there for the loop.
struct F4Case {
    const char* name;
    int32_t option;
    bool ctrl;
    bool levelJump;
    bool leftForTheLoop;
};

TEST_F(ControlsTest, DeveloperF4TakesThePressBeforeTheQuickLoad) {
    const F4Case cases[] = {
        {"Ctrl+F4 in developer mode", 4, true, true, false},
        {"F4 alone in developer mode", 4, false, false, true},
        {"Ctrl+F4 outside developer mode", 0, true, false, true},
    };
    for (const F4Case& c : cases) {
        SCOPED_TRACE(c.name);
        GameOption = c.option;
        GameState = GameStateRecord{};
        if (c.ctrl) Press(kLeftCtrl);
        Press(kF4);
        Frame();
        EXPECT_EQ(GameState.menuPage == kPageLevelJump, c.levelJump);
        EXPECT_EQ(CurrentKeyboard->KeyHit(kF4) == 1, c.leftForTheLoop);
        ReleaseAll();
    }
}

// ---------------------------------------------------------------------------
// Run lock, inventory, powers
// ---------------------------------------------------------------------------

TEST_F(ControlsTest, CapsLockTogglesTheRunLockAndSaysSo) {
    // While the switch is set forward walks: the text says the run is off.
    const struct {
        uint8_t paceSwitch;
        const char* text;
    } expected[] = {{1, "Run lock: Off"}, {0, "Run lock: On"}, {1, "Run lock: Off"}};
    for (const auto& e : expected) {
        Press(kCaps);
        Frame();
        Frame();  // held: toggled once
        EXPECT_EQ(Hero().paceSwitch, e.paceSwitch);
        EXPECT_STREQ(StatusText, e.text);
        Release(kCaps);
        Frame();
    }
}

struct InventoryCase {
    const char* name;
    uint8_t count, selected;
    uint8_t key;
    uint16_t weaponBusy;
    uint8_t selectedAfter;
    bool inventoryPage;
};

TEST_F(ControlsTest, InventoryKeysStayWithinTheCarriedObjects) {
    const InventoryCase cases[] = {
        {"F7 from the third", 3, 3, kF7, 0, 2, false},
        {"F7 keeps the first", 3, 1, kF7, 0, 1, false},
        {"F7 with none selected", 3, 0, kF7, 0, 0, false},
        {"F8 from the first", 3, 1, kF8, 0, 2, false},
        {"F8 keeps the last", 3, 3, kF8, 0, 3, false},
        {"F8 from none selects the first", 3, 0, kF8, 0, 1, false},
        {"F8 with nothing carried", 0, 0, kF8, 0, 0, false},
        {"F8 while the weapon is busy", 3, 1, kF8, 1, 1, false},
        {"I opens the inventory", 3, 1, kI, 0, 1, true},
        {"I while the weapon is busy", 3, 1, kI, 1, 1, false},
    };
    for (const InventoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameState = GameStateRecord{};
        Hero().inventoryCount = c.count;
        Hero().selectedEntry = c.selected;
        Hero().weaponBusy = c.weaponBusy;
        Press(c.key);
        Frame();
        EXPECT_EQ(Hero().selectedEntry, c.selectedAfter);
        EXPECT_EQ(GameState.menuPage == kPageInventory, c.inventoryPage);
        ReleaseAll();
    }
}

struct CycleCase {
    const char* name;
    uint8_t key;
    int32_t spell, weapon;
    int32_t spellAfter, weaponAfter;
    uint8_t selection;
    uint16_t bits;      // with Up and keypad + held in the same frame
    int32_t levelAfter; // of the row selected after the key (bought 3, in use 1)
};

TEST_F(ControlsTest, CycleKeysEndTheFrameWhenTheyWrap) {
    const CycleCase cases[] = {
        {"next spell", kS, 2, 5, 3, 5, kSelectSpells, kCtlForward, 2},
        {"next spell wraps: frame ends", kS, 6, 5, 0, 5, kSelectSpells, 0, 1},
        {"next weapon", kZ, 2, 12, 2, 13, kSelectWeapons, kCtlForward, 2},
        {"next weapon wraps: frame ends", kZ, 2, 13, 2, 0, kSelectWeapons, 0, 1},
        {"a bad saved spell wraps to 0", kS, 40, 5, 0, 5, kSelectSpells, 0, 1},
    };
    for (const CycleCase& c : cases) {
        SCOPED_TRACE(c.name);
        PowerTables = BuiltInPowerTables;
        for (PowerRow& r : PowerTables.m) r.levelBought = 3, r.levelInUse = 1;
        for (PowerRow& r : PowerTables.w) r.levelBought = 3, r.levelInUse = 1;
        PowerTables.selectedSpell = c.spell;
        PowerTables.selectedWeapon = c.weapon;
        PowerSelection = c.key == kS ? kSelectWeapons : kSelectSpells;
        Hold({kUp, kPadPlus, c.key});
        Frame();
        EXPECT_EQ(PowerTables.selectedSpell, c.spellAfter);
        EXPECT_EQ(PowerTables.selectedWeapon, c.weaponAfter);
        EXPECT_EQ(PowerSelection, c.selection);
        EXPECT_EQ(Hero().controls, c.bits);
        ASSERT_NE(SelectedPowerRow(), nullptr);
        EXPECT_EQ(SelectedPowerRow()->levelInUse, c.levelAfter);
        ReleaseAll();
    }
}

struct LevelCase {
    const char* name;
    uint8_t selection;
    int32_t bought, inUse;
    uint8_t key;  // 0 for none
    int32_t inUseAfter;
};

TEST_F(ControlsTest, LevelKeysStayBetweenOneAndTheLevelBought) {
    const LevelCase cases[] = {
        {"up", kSelectWeapons, 3, 1, kPadPlus, 2},
        {"up at the level bought", kSelectWeapons, 3, 3, kPadPlus, 3},
        {"down", kSelectWeapons, 3, 2, kPadMinus, 1},
        {"down at 1", kSelectWeapons, 3, 1, kPadMinus, 1},
        {"bought but unused becomes 1", kSelectWeapons, 2, 0, 0, 1},
        {"down from 0 with a level bought", kSelectWeapons, 2, 0, kPadMinus, 1},
        {"not bought stays 0", kSelectWeapons, 0, 0, kPadPlus, 0},
        {"spell up", kSelectSpells, 2, 1, kPadPlus, 2},
        {"spell up at the level bought", kSelectSpells, 2, 2, kPadPlus, 2},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        PowerTables = BuiltInPowerTables;
        PowerTables.selectedSpell = 3;
        PowerTables.selectedWeapon = 5;
        PowerSelection = c.selection;
        PowerRow& row = c.selection == kSelectSpells ? PowerTableM[3] : PowerTableW[5];
        PowerRow& other = c.selection == kSelectSpells ? PowerTableW[5] : PowerTableM[3];
        const PowerRow otherBefore = other;
        row.levelBought = c.bought;
        row.levelInUse = c.inUse;
        if (c.key) Press(c.key);
        Frame();
        Frame();  // held: one level a press
        EXPECT_EQ(row.levelInUse, c.inUseAfter);
        EXPECT_EQ(other, otherBefore);
        ReleaseAll();
    }
}

// ---------------------------------------------------------------------------
// Shortcuts and fire keys
// ---------------------------------------------------------------------------

struct ShortcutCase {
    const char* name;
    int code;                 // power code bound to number 2 (key '2'), -1 none
    std::vector<uint8_t> also;
    bool chosen;
    int32_t chosenSpell, chosenWeapon;  // the selection during the call
    uint16_t bits;
    uint8_t held, fire, used;
};

TEST_F(ControlsTest, ShortcutsFireOnlyWithoutForwardOrBack) {
    // Selections: spell 5, weapon 2.
    const ShortcutCase cases[] = {
        {"spell 3", 3, {}, true, 3, 2, kCtlPowerMode, 0, 0, 1},
        {"spell 0 (the first row)", 0, {}, true, 0, 2, kCtlPowerMode, 0, 0, 1},
        {"weapon 4 keeps firing", 128 + 4, {}, true, 5, 4, kCtlPower | kCtlPowerHeld, 1, 1, 0},
        {"weapon 6 keeps firing", 128 + 6, {}, true, 5, 6, kCtlPower | kCtlPowerHeld, 1, 1, 0},
        {"weapon 9 fires once", 128 + 9, {}, true, 5, 9, 0, 0, 1, 0},
        {"with forward held nothing", 3, {kUp}, false, 0, 0, kCtlForward, 0, 0, 0},
        {"with back held nothing", 128 + 4, {kDown}, false, 0, 0, kCtlBackward, 0, 0, 0},
        {"turning does not stop it", 3, {kLeft}, true, 3, 2, kCtlPowerMode | kCtlTurnLeft, 0, 0, 1},
        {"unbound number", -1, {}, false, 0, 0, 0, 0, 0, 0},
        {"a spell shortcut keeps Q from firing", 3, {kQ}, true, 3, 2, kCtlPowerMode, 0, 0, 1},
    };
    for (const ShortcutCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(ShortcutTable, 0, sizeof ShortcutTable);
        if (c.code >= 0) {
            ShortcutTable[2] = ShortcutEntry(c.code);
            PowerRowOfCode(c.code)->shortcut = 2;
        }
        PowerTables.selectedSpell = 5;
        PowerTables.selectedWeapon = 2;
        PowerSelection = kSelectWeapons;
        HeldWeaponMark = FireMark = ShortcutUsedMark = 0;
        g_GameCalls.clear();
        Hold(c.also);
        Press(0x03);  // '2'
        Frame();
        const GameCall* call = LastCall("ChooseHeroPower");
        ASSERT_EQ(call != nullptr, c.chosen);
        if (call) {
            EXPECT_EQ(Count("ChooseHeroPower"), 1);
            EXPECT_EQ(call->a, c.chosenSpell);
            EXPECT_EQ(call->b, c.chosenWeapon);
            // The hero took the shortcut's rows; the player's stay.
            EXPECT_EQ(Hero().spell, c.chosenSpell);
            EXPECT_EQ(Hero().weapon, c.chosenWeapon);
        }
        EXPECT_EQ(PowerTables.selectedSpell, 5);
        EXPECT_EQ(PowerTables.selectedWeapon, 2);
        EXPECT_EQ(PowerSelection, kSelectWeapons);
        EXPECT_EQ(Hero().controls, c.bits);
        EXPECT_EQ(HeldWeaponMark, c.held);
        EXPECT_EQ(FireMark, c.fire);
        EXPECT_EQ(ShortcutUsedMark, c.used);
        ReleaseAll();
    }
}

// The number key goes through the shop's lookup: a key hit this frame
// and one still held from the last both fire weapon 9 bound to '2'; a key
// with no table entry fires nothing, and neither does an entry whose power
// row has no shortcut number (a power the hero does not hold).
TEST_F(ControlsTest, ShortcutKeysAskTheShopsLookup) {
    struct Row {
        const char* name;
        bool entry;      // ShortcutTable[2] names weapon 9
        uint8_t rowKey;  // the weapon row's shortcut number
        int frames;      // frames the key is held; the last one is asked
        bool chosen;
    };
    const Row rows[] = {
        {"hit", true, 2, 1, true},
        {"held", true, 2, 2, true},
        {"unbound key", false, 2, 1, false},
        {"a power the hero lacks", true, 0, 1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::memset(ShortcutTable, 0, sizeof ShortcutTable);
        if (r.entry) ShortcutTable[2] = ShortcutEntry(128 + 9);
        PowerRowOfCode(128 + 9)->shortcut = r.rowKey;
        HeldWeaponMark = FireMark = ShortcutUsedMark = 0;
        Press(0x03);  // '2'
        for (int i = 0; i < r.frames; ++i) {
            g_GameCalls.clear();
            Frame();
        }
        EXPECT_EQ(LastCall("ChooseHeroPower") != nullptr, r.chosen);
        EXPECT_EQ(LookupShortcut(0), r.chosen ? 128 + 9 : -1);
        ReleaseAll();
    }
}

// After a spell shortcut the key's release clears the marks; the fire key
// counts again.
TEST_F(ControlsTest, ShortcutMarksEndWithTheKey) {
    ShortcutTable[1] = ShortcutEntry(128 + 4);
    ShortcutTable[2] = ShortcutEntry(3);
    PowerRowOfCode(128 + 4)->shortcut = 1;
    PowerRowOfCode(3)->shortcut = 2;
    Press(0x02);  // weapon 4: the held-weapon mark
    Frame();
    EXPECT_EQ(HeldWeaponMark, 1);
    Release(0x02);
    Press(0x03);  // spell 3: used
    Frame();
    EXPECT_EQ(ShortcutUsedMark, 1);
    EXPECT_EQ(HeldWeaponMark, 1);
    Release(0x03);
    Press(kQ);
    Frame();  // no number: the used mark clears the held weapon, then itself
    EXPECT_EQ(ShortcutUsedMark, 0);
    EXPECT_EQ(HeldWeaponMark, 0);
    EXPECT_EQ(Hero().controls, kCtlPower);
    PowerTables.selectedWeapon = 6;
    Frame();
    EXPECT_EQ(FireMark, 1);
    Press(kA);  // use once clears the fire and held marks
    Frame();
    EXPECT_EQ(FireMark, 0);
    EXPECT_EQ(Hero().controls, kCtlPower | kCtlPowerMode);
}

// ---------------------------------------------------------------------------
// Menu keys, the camera key, the room jump room
// ---------------------------------------------------------------------------

struct MenuKeyCase {
    const char* name;
    uint8_t key;
    uint8_t pageBefore;
    uint8_t pageAfter;
    int32_t slideAfter;
};

TEST_F(ControlsTest, MenuKeysOpenTheirPages) {
    const MenuKeyCase cases[] = {
        {"Escape: main menu", kEsc, 0, kPageMain, 50},
        {"R: journal", kR, 0, kPageJournal, 50},
        {"E: shop", kE, 0, kPageShop, 50},
        {"Tab: map", kTab, 0, kPageMap, 50},
        {"Tab with the map already the page", kTab, kPageMap, kPageMap, 0},
        {"Tab after the journal", kTab, kPageJournal, kPageMap, 50},
    };
    for (const MenuKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameState = GameStateRecord{};
        GameState.menuPage = c.pageBefore;
        Press(c.key);
        Frame();
        EXPECT_EQ(GameState.menuPage, c.pageAfter);
        EXPECT_EQ(GameState.menuSlide, c.slideAfter);
        ReleaseAll();
    }
}

struct CameraCase {
    const char* name;
    uint8_t before;
    uint8_t lock;
    uint8_t after;
    bool moved;
};

TEST_F(ControlsTest, CameraKeySwapsFollowAndPointCamera) {
    const CameraCase cases[] = {
        {"follow to 6", kCameraFollow, 0, kCameraDying, true},
        {"6 back to follow", kCameraDying, 0, kCameraFollow, true},
        {"nearest point to follow", kCameraNearestPoint, 0, kCameraFollow, true},
        {"hero held: unchanged", kCameraFollow, 1, kCameraFollow, false},
    };
    for (const CameraCase& c : cases) {
        SCOPED_TRACE(c.name);
        CameraMode = c.before;
        Hero().lock = c.lock;
        g_GameCalls.clear();
        Press(kF3);
        Frame();
        EXPECT_EQ(CameraMode, c.after);
        EXPECT_EQ(Count("UpdateHeroMovement"), c.moved ? 1 : 0);
        ReleaseAll();
    }
}

struct JunctionCase {
    const char* name;
    uint8_t mission, room;
    int32_t menuSlide;
    bool opens;
};

TEST_F(ControlsTest, MissionTwoRoomTwentyOpensTheRoomJump) {
    const JunctionCase cases[] = {
        {"mission 2, room 20", 2, 20, 0, true},
        {"mission 2, room 19", 2, 19, 0, false},
        {"mission 3, room 20", 3, 20, 0, false},
        {"menu already sliding", 2, 20, 30, false},
    };
    for (const JunctionCase& c : cases) {
        SCOPED_TRACE(c.name);
        MissionNumber = c.mission;
        CurrentRoomIndex = c.room;
        GameState = GameStateRecord{};
        GameState.menuSlide = c.menuSlide;
        Hold({kUp, kLeft});
        Frame();
        EXPECT_EQ(GameState.menuPage == kPageRoomJump, c.opens);
        EXPECT_EQ(Hero().controls, c.opens ? 0 : kCtlForward | kCtlTurnLeft);
        ReleaseAll();
    }
    CurrentRoomIndex = 0;
}

// ---------------------------------------------------------------------------
// The paused menu
// ---------------------------------------------------------------------------

struct Cursor {
    uint8_t page;
    int32_t tab, column, sub, item, choice, value;
    uint8_t selection;  // PowerSelection
    uint8_t entry;      // the hero's selected entry (3 carried)

    bool operator==(const Cursor&) const = default;
};

void PrintTo(const Cursor& c, std::ostream* os) {
    *os << "{page " << int(c.page) << " tab " << c.tab << " column " << c.column << " sub " << c.sub << " item "
        << c.item << " choice " << c.choice << " value " << c.value << " selection " << int(c.selection)
        << " entry " << int(c.entry) << "}";
}

struct ArrowCase {
    const char* name;
    uint8_t key;
    Cursor before, after;
};

TEST_F(ControlsTest, PauseMenuArrowsFollowEachPagesRules) {
    // {page, tab, column, sub, item, choice, value, selection, entry}
    const ArrowCase cases[] = {
        {"shop: Left to spells", kLeft, {1, 0, 0, 0, 0, 0, 0, 1, 1}, {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"shop: Left on spells to the tabs", kLeft, {1, 0, 0, 0, 0, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 0, 0, 0, 1}},
        {"shop: Left leaves the tabs", kLeft, {1, 1, 0, 0, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"shop: Right to weapons", kRight, {1, 0, 0, 0, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0, 0, 1, 1}},
        {"shop: Right on the tabs leaves them", kRight, {1, 1, 0, 0, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"inventory: Left from the first", kLeft, {2, 0, 0, 0, 0, 0, 0, 1, 1}, {2, 1, 0, 0, 0, 0, 0, 1, 1}},
        {"inventory: Left", kLeft, {2, 0, 0, 0, 0, 0, 0, 1, 3}, {2, 0, 0, 0, 0, 0, 0, 1, 2}},
        {"inventory: Right", kRight, {2, 1, 0, 0, 0, 0, 0, 1, 2}, {2, 0, 0, 0, 0, 0, 0, 1, 3}},
        {"inventory: Right at the last", kRight, {2, 0, 0, 0, 0, 0, 0, 1, 3}, {2, 0, 0, 0, 0, 0, 0, 1, 3}},
        {"main: Left to the tabs", kLeft, {3, 0, 0, 0, 0, 2, 0, 1, 1}, {3, 1, 0, 0, 0, 2, 0, 1, 1}},
        {"map: Left leaves the tabs", kLeft, {4, 1, 0, 0, 0, 0, 0, 1, 1}, {4, 0, 0, 0, 0, 0, 0, 1, 1}},
        {"journal: Left from 0", kLeft, {5, 0, 0, 1, 0, 0, 0, 1, 1}, {5, 0, -1, 0, 0, 0, 0, 1, 1}},
        {"journal: Left from -1 wraps", kLeft, {5, 0, -1, 0, 0, 0, 0, 1, 1}, {5, 0, 2, 0, 0, 0, 0, 1, 1}},
        {"journal: Left from 1", kLeft, {5, 0, 1, 0, 0, 0, 0, 1, 1}, {5, 0, 0, 0, 0, 0, 0, 1, 1}},
        {"journal: Left on the sub-tabs", kLeft, {5, 0, 2, 1, 2, 0, 0, 1, 1}, {5, 0, 2, 1, 1, 0, 0, 1, 1}},
        {"journal: Left from 2", kLeft, {5, 0, 2, 0, 2, 0, 0, 1, 1}, {5, 0, 1, 0, 2, 0, 0, 1, 1}},
        {"journal: Left on the tabs", kLeft, {5, 1, 1, 0, 0, 0, 0, 1, 1}, {5, 0, 1, 0, 0, 0, 0, 1, 1}},
        {"journal: Right from 0", kRight, {5, 0, 0, 0, 0, 0, 0, 1, 1}, {5, 0, 1, 0, 0, 0, 0, 1, 1}},
        {"journal: Right to the sub-tabs", kRight, {5, 0, 1, 0, 3, 0, 0, 1, 1}, {5, 0, 2, 1, 0, 0, 0, 1, 1}},
        {"journal: Right on the sub-tabs", kRight, {5, 0, 2, 1, 0, 0, 0, 1, 1}, {5, 0, 2, 1, 1, 0, 0, 1, 1}},
        {"journal: Right from 2", kRight, {5, 0, 2, 0, 0, 0, 0, 1, 1}, {5, 0, 3, 0, 0, 0, 0, 1, 1}},
        {"journal: Right from 3 wraps", kRight, {5, 0, 3, 0, 0, 0, 0, 1, 1}, {5, 0, 0, 0, 0, 0, 0, 1, 1}},
        {"journal: Right from -1", kRight, {5, 0, -1, 0, 0, 0, 0, 1, 1}, {5, 0, 2, 0, 0, 0, 0, 1, 1}},
        {"options: Left", kLeft, {6, 0, 2, 0, 0, 0, 0, 1, 1}, {6, 0, 1, 0, 0, 0, 0, 1, 1}},
        {"options: Left from 0 to the main tabs", kLeft, {6, 0, 0, 0, 0, 0, 0, 1, 1}, {3, 1, 0, 0, 0, 0, 0, 1, 1}},
        {"options: Right wraps", kRight, {6, 1, 2, 0, 0, 0, 0, 1, 1}, {6, 0, 0, 0, 0, 0, 0, 1, 1}},
        {"page 8: Left to the options", kLeft, {8, 0, 0, 0, 0, 0, 0, 1, 1}, {6, 1, 0, 0, 0, 0, 0, 1, 1}},
        {"room jump: Left does nothing", kLeft, {16, 1, 0, 0, 0, 1, 0, 1, 1}, {16, 0, 0, 0, 0, 1, 0, 1, 1}},
        {"room jump: Right does nothing", kRight, {16, 0, 2, 0, 0, 1, 0, 1, 1}, {16, 0, 2, 0, 0, 1, 0, 1, 1}},
        {"load page: Right leaves the tabs", kRight, {13, 1, 0, 0, 0, 0, 0, 1, 1}, {13, 0, 0, 0, 0, 0, 0, 1, 1}},
        {"load page: Left nothing", kLeft, {13, 1, 0, 0, 0, 0, 0, 1, 1}, {13, 1, 0, 0, 0, 0, 0, 1, 1}},
        {"tabs: Up the previous page", kUp, {3, 1, 0, 0, 0, 2, 0, 1, 1}, {2, 1, 0, 0, 0, 2, 0, 1, 1}},
        {"tabs: Down past the last page", kDown, {6, 1, 0, 0, 0, 0, 0, 1, 1}, {7, 1, 0, 0, 0, 0, 0, 1, 1}},
        {"tabs: Up from page 0 stays", kUp, {0, 1, 0, 0, 0, 0, 0, 1, 1}, {0, 1, 0, 0, 0, 0, 0, 1, 1}},
        {"inside: Up", kUp, {3, 0, 0, 0, 0, 2, 0, 1, 1}, {3, 0, 0, 0, 0, 1, 0, 1, 1}},
        {"inside: Down", kDown, {3, 0, 0, 0, 0, 2, 0, 1, 1}, {3, 0, 0, 0, 0, 3, 0, 1, 1}},
        {"column 1: Up keeps the value at 0", kUp, {6, 0, 1, 0, 0, 1, 0, 1, 1}, {6, 0, 1, 0, 0, 0, 0, 1, 1}},
        {"column 1: Down raises the value", kDown, {6, 0, 1, 0, 0, 1, 0, 1, 1}, {6, 0, 1, 0, 0, 2, 1, 1, 1}},
        {"journal: Up moves the sub-cursor too", kUp, {5, 0, 2, 2, 0, 3, 0, 1, 1}, {5, 0, 2, 1, 0, 2, 0, 1, 1}},
        {"journal: Down moves the sub-cursor too", kDown, {5, 0, 2, 1, 0, 3, 0, 1, 1}, {5, 0, 2, 2, 0, 4, 0, 1, 1}},
    };
    Hero().inventoryCount = 3;
    for (const ArrowCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameState = GameStateRecord{};
        GameState.menuSlide = 1;
        GameState.menuPage = c.before.page;
        GameState.menuTabFocus = c.before.tab;
        GameState.menuColumn = c.before.column;
        GameState.menuSubCursor = c.before.sub;
        GameState.menuSubItem = c.before.item;
        GameState.menuChoice = c.before.choice;
        GameState.menuValueIndex = c.before.value;
        PowerSelection = c.before.selection;
        Hero().selectedEntry = c.before.entry;
        Press(c.key);
        PauseMenu();
        PauseMenu();  // held: moved once
        const Cursor after{GameState.menuPage,   GameState.menuTabFocus, GameState.menuColumn,
                           GameState.menuSubCursor, GameState.menuSubItem, GameState.menuChoice,
                           GameState.menuValueIndex, PowerSelection,        Hero().selectedEntry};
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(GameState.menuSlide, 1);
        ReleaseAll();
    }
}

TEST_F(ControlsTest, PauseMenuEscapeClosesTheMenuOntoTheMainPage) {
    GameState.menuSlide = 1;
    GameState.menuPage = kPageJournal;
    Press(kEsc);
    PauseMenu();
    EXPECT_EQ(GameState.menuPage, kPageMain);
    EXPECT_EQ(GameState.menuSlide, 2);  // closing
    EXPECT_EQ(GameState.menuDirection, 1);
}

struct PauseDeveloperCase {
    const char* name;
    int32_t option;
    uint8_t key;
    int32_t overlay;
    int optionCalls;
};

TEST_F(ControlsTest, PauseMenuDeveloperKeysToggleTheOverlay) {
    const PauseDeveloperCase cases[] = {
        {"D", 4, kKeyD, 2, 0},
        {"M", 4, kKeyM, 4, 1},
        {"D outside developer mode", 0, kKeyD, 0, 0},
        {"M outside developer mode", 0, kKeyM, 0, 0},
    };
    for (const PauseDeveloperCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameOption = c.option;
        OverlayFlags = 1;
        GameState.menuSlide = 1;
        GameState.menuPage = kPageJournal;
        g_GameCalls.clear();
        Press(c.key);
        PauseMenu();
        PauseMenu();
        EXPECT_EQ(OverlayFlags, 1 | c.overlay);
        EXPECT_EQ(Count("Debug3DOption"), c.optionCalls);
        if (c.optionCalls) {
            EXPECT_EQ(LastCall("Debug3DOption")->a, 1);
        }
        ReleaseAll();
    }
}

struct ScrollCase {
    const char* name;
    uint8_t page;
    int32_t tab;
    std::vector<uint8_t> keys;
    int32_t x, y;  // after three frames
};

TEST_F(ControlsTest, MapScrollsWhileArrowsAreHeld) {
    const ScrollCase cases[] = {
        {"Down", kPageMap, 0, {kDown}, 0, 48},
        {"Up", kPageMap, 0, {kUp}, 0, -48},
        {"Left", kPageMap, 0, {kLeft}, -48, 0},
        {"Right", kPageMap, 0, {kRight}, 48, 0},
        {"Up and Right", kPageMap, 0, {kUp, kRight}, 48, -48},
        {"on the tab bar", kPageMap, 1, {kDown}, 0, 0},
        {"another page", kPageJournal, 0, {kDown}, 0, 0},
    };
    for (const ScrollCase& c : cases) {
        SCOPED_TRACE(c.name);
        GameState = GameStateRecord{};
        GameState.menuSlide = 1;
        GameState.menuPage = c.page;
        GameState.menuTabFocus = c.tab;
        Hold(c.keys);
        for (int frame = 0; frame < 3; ++frame) PauseMenu();
        EXPECT_EQ(GameState.mapScrollX, c.x);
        EXPECT_EQ(GameState.mapScrollY, c.y);
        ReleaseAll();
    }
}

// ---------------------------------------------------------------------------
// The hero walks mission 22's hall
// ---------------------------------------------------------------------------

class ControlsMissionTest : public ControlsTest {
protected:
    void SetUp() override {
        ownTable_ = false;
        ControlsTest::SetUp();
        PrepareDemoMission([this](const std::string& name, const std::vector<uint8_t>& bytes) { Put(name, bytes); });
        host::headless::SetClock(0);
        OpenMission(22, 0);
        StartMission(0);
        FirstMission = 0;
        GameTimer.Delta = 3.0f;
        GameTimer.DeltaUnits = 3;
    }
    void TearDown() override {
        if (MissionPtr) EndMission();
        CharacterTable = nullptr;
        CharacterAnimTable = nullptr;
        ControlsTest::TearDown();
    }
    // Frames of play at 30 a second: the controls, then the characters.
    void Play(int frames) {
        for (int i = 0; i < frames; ++i) {
            host::headless::AdvanceClock(33333);
            HandlePlayerControls(&CharacterTable[0]);
            UpdateCharacters();
        }
    }
    // The hero's distance from where it stood, in the floor plane.
    double Walked(const Vec3& from) const {
        const Vec3& p = CharacterTable[0].position;
        return std::hypot(double(p.x - from.x), double(p.z - from.z));
    }
};

// The kit's run carries the hero 600 units in 20 frames, its walk 400 in
// 32: a second of Up runs, a second of Shift and Up walks less far.
TEST_F(ControlsMissionTest, UpRunsAndShiftWalks) {
    CharacterRecord& hero = CharacterTable[0];
    ASSERT_GT(hero.model, 0);
    const Vec3 start = hero.position;
    Press(kUp);
    Play(30);
    EXPECT_EQ(CharacterAnimTable[0].current, 4);
    const double ran = Walked(start);
    Release(kUp);
    Play(15);  // back to standing
    const Vec3 second = hero.position;
    Hold({kLeftShift, kUp});
    Play(30);
    EXPECT_EQ(CharacterAnimTable[0].current, 2);
    const double walked = Walked(second);
    std::printf("ran %.0f, walked %.0f units in a second\n", ran, walked);
    EXPECT_GT(ran, 400.0);
    EXPECT_GT(walked, 150.0);
    EXPECT_LT(walked, ran * 0.75);
}

TEST_F(ControlsMissionTest, LeftTurnsTheHeading) {
    const int16_t heading = CharacterAnimTable[0].angles[1];
    const Vec3 start = CharacterTable[0].position;
    Press(kLeft);
    Play(10);
    // 32 units of 4096 a turn per tick at 3 ticks a frame, to the left
    // (the heading falls), measured the short way round.
    int turned = ((CharacterAnimTable[0].angles[1] - heading) % 4096 + 4096) % 4096;
    if (turned > 2048) turned -= 4096;
    EXPECT_LT(turned, -300);
    EXPECT_GT(turned, -1200);
    EXPECT_LT(Walked(start), 50.0);
}

}  // namespace
