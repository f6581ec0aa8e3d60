// Player controls: the keys of a frame of play and the keys of the paused
// menu.  A key hit is answered once per press by the keyboard driver, to
// its first reader: the developer F4 read here (Left Ctrl, developer mode)
// takes the press before the game loop's quick load asks for it.
#include "game/dqx_controls.h"

#include "game/dqx_combat.h"
#include "game/dqx_events.h"
#include "game/dqx_menu.h"
#include "game/dqx_overlay.h"
#include "game/dqx_points.h"
#include "game/dqx_shop.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "platform/input.h"
#include "platform/settings.h"

#include <algorithm>
#include <cstdio>

uint8_t PowerSelection = kSelectWeapons;
uint8_t DebugFlags = 0;
uint8_t HeldWeaponMark = 0;
uint8_t FireMark = 0;
uint8_t ShortcutUsedMark = 0;

namespace {

constexpr int kDeveloperOption = 4;
constexpr int kRunLockText = 162;
// The weapon rows that keep firing while their shortcut is held.
constexpr int32_t kHeldWeaponA = 4;
constexpr int32_t kHeldWeaponB = 6;
// The room whose entry in mission 2 opens the room jump.
constexpr int kRoomJumpMission = 2;
constexpr uint8_t kRoomJumpRoom = 20;
constexpr uint8_t kLevelSoundPriority = 200;
constexpr uint8_t kMenuSoundPriority = 255;
constexpr const char* kLevelSound = ".\\smp\\effets\\potentio.wav";
constexpr const char* kMenuSound = ".\\smp\\effets\\menu.wav";
constexpr const char* kCursorSound = ".\\smp\\effets\\selection2.wav";

bool Hit(int scan) {
    return CurrentKeyboard->KeyHit(scan) != 0;
}

bool Held(int scan) {
    return (CurrentKeyboard->keyStates[scan & 0xFF] & 0x80) != 0;
}

bool BindingHit(int binding) {
    return Hit(PlayerKeyBindings[binding].scanCode);
}

bool BindingHeld(int binding) {
    return Held(PlayerKeyBindings[binding].scanCode);
}

bool DeveloperMode() {
    return GameOption == kDeveloperOption;
}

bool IsHeldWeapon(int32_t row) {
    return row == kHeldWeaponA || row == kHeldWeaponB;
}

// The keyboard's states, with the joystick's buttons and stick written
// into the keys bound to them.
void ReadInput() {
    CurrentKeyboard->Update();
    if (JoystickDriver* joystick = CurrentJoystick) {
        joystick->Read(joystick);
        joystick->MapToKeys(joystick, 3);
    }
}

// --- developer keys -------------------------------------------------------------

void ToggleTurboFire(CharacterRecord*) { DebugFlags ^= kDebugTurboFire; }
void ToggleVision(CharacterRecord*) { DebugFlags ^= kDebugVision; }
void KillHero(CharacterRecord* hero) { StartCharacterDeath(hero); }
void FullLife(CharacterRecord* hero) {
    if (hero->def) hero->def->life = 9999;
}
void FullEnergy(CharacterRecord* hero) {
    if (hero->def) hero->def->energy = 9999;
}
void KillAround(CharacterRecord* hero) { ImpactEnemiesInRadius(&hero->position, 100000, "grimtir"); }
void MissionChoice(CharacterRecord*) { OpenMenu(kPageMissionList); }
void LevelJump(CharacterRecord*) { OpenMenu(kPageLevelJump); }
void NextStep(CharacterRecord*) { AdvanceStep(); }
void StillCamera(CharacterRecord*) { CameraMode = kCameraNoMovement; }

struct DeveloperKey {
    uint8_t scan;
    void (*act)(CharacterRecord* hero);
    const char* status;  // the status line's text, nullptr for none
};

const DeveloperKey kDeveloperKeys[] = {
    {.scan = 0x21, .act = ToggleTurboFire, .status = "Turbo Fire"},  // F
    {.scan = 0x2F, .act = ToggleVision, .status = "Vision"},         // V
    {.scan = 0x20, .act = KillHero, .status = "Die!"},               // D
    {.scan = 0x22, .act = FullLife, .status = "G.O.D. mode"},        // G
    {.scan = 0x24, .act = FullEnergy, .status = "Mana Mania"},       // J
    {.scan = 0x25, .act = KillAround, .status = "Kill'em"},          // K
    {.scan = 0x26, .act = MissionChoice, .status = nullptr},         // L
    {.scan = 0x3E, .act = LevelJump, .status = nullptr},             // F4
    {.scan = 0x43, .act = NextStep, .status = nullptr},              // F9
    {.scan = 0x31, .act = StillCamera, .status = nullptr},           // N
};

// Only with Left Ctrl held in developer mode: otherwise these keys' hits
// are left to their other readers (F4's quick load).
void DeveloperKeys(CharacterRecord* hero) {
    if (!DeveloperMode() || !Held(kScanLeftCtrl)) return;
    for (const DeveloperKey& key : kDeveloperKeys) {
        if (!Hit(key.scan)) continue;
        key.act(hero);
        if (key.status) ShowStatusMessage(key.status);
    }
}

// --- the hero's own keys --------------------------------------------------------

// Caps Lock toggles the pace switch: while it is set forward walks, so the
// text says the run is "Off".
void RunLockKey(CharacterRecord* hero) {
    if (!Hit(kRunLockKey)) return;
    hero->paceSwitch = hero->paceSwitch ? 0 : 1;
    char text[kMenuTextBytes];
    std::snprintf(text, sizeof text, MenuTexts[kRunLockText], hero->paceSwitch ? "Off" : "On");
    ShowStatusMessage(text);
}

// F7 and F8 step through the carried objects (selectedEntry is 1-based,
// 0 none): F7 never leaves the first entry, F8 never passes the last and
// from none selects the first.
void InventoryKeys(CharacterRecord* hero) {
    if (hero->weaponBusy) return;
    if (Hit(kScanF7) && hero->selectedEntry > 1) --hero->selectedEntry;
    if (Hit(kScanF8) && hero->selectedEntry < hero->inventoryCount) ++hero->selectedEntry;
    if (BindingHit(kBindInventory)) OpenMenu(kPageInventory);
}

// The next spell or weapon; true when the selection wrapped to row 0,
// which ends the frame's controls.
bool CycleKeys() {
    if (BindingHit(kBindNextSpell)) {
        PowerSelection = kSelectSpells;
        int32_t next = PowerTables.selectedSpell + 1;
        bool wrapped = next > kLastSpell || next < 0;
        PowerTables.selectedSpell = wrapped ? 0 : next;
        if (wrapped) return true;
    }
    if (BindingHit(kBindNextWeapon)) {
        PowerSelection = kSelectWeapons;
        int32_t next = PowerTables.selectedWeapon + 1;
        bool wrapped = next > kLastWeapon || next < 0;
        PowerTables.selectedWeapon = wrapped ? 0 : next;
        if (wrapped) return true;
    }
    return false;
}

// The level in use of the selected power: up to the level bought, down to
// 1; a power bought but in use at level 0 is used at level 1.
void LevelKeys() {
    PowerRow* row = SelectedPowerRow();
    if (BindingHit(kBindLevelUp)) {
        if (row && row->levelInUse < row->levelBought) ++row->levelInUse;
        SFX_Play(-1, kLevelSound, 0, kLevelSoundPriority, 0);
    }
    if (BindingHit(kBindLevelDown)) {
        if (row && row->levelInUse > 1) --row->levelInUse;
        SFX_Play(-1, kLevelSound, 0, kLevelSoundPriority, 0);
    }
    if (row && row->levelInUse == 0 && row->levelBought > 0) row->levelInUse = 1;
}

// The held keys: the pace (Shift makes the hero walk) and the turns
// always; forward, back and the side-step only while nothing holds the
// hero.
void MovementKeys(CharacterRecord* hero) {
    uint16_t bits = 0;
    if (BindingHeld(kBindPace) || Held(kScanLeftShift)) bits |= kCtlPace;
    if (BindingHeld(kBindTurnLeft) || Held(kScanPadTurnLeft)) bits |= kCtlTurnLeft;
    if (BindingHeld(kBindTurnRight) || Held(kScanPadTurnRight)) bits |= kCtlTurnRight;
    if (hero->lock == 0) {
        if (BindingHeld(kBindForward) || Held(kScanPadForward)) bits |= kCtlForward;
        if (BindingHeld(kBindBack) || Held(kScanPadBack)) bits |= kCtlBackward;
        if (BindingHeld(kBindSideStep)) bits |= kCtlSideStep;
    }
    hero->controls |= bits;
}

// The shortcut's power chosen with the player's selection set to it for
// the one call, then set back.
void ChooseShortcutPower(CharacterRecord* hero, uint8_t selection, int32_t spell, int32_t weapon) {
    const uint8_t savedSelection = PowerSelection;
    const int32_t savedSpell = PowerTables.selectedSpell, savedWeapon = PowerTables.selectedWeapon;
    PowerSelection = selection;
    PowerTables.selectedSpell = spell;
    PowerTables.selectedWeapon = weapon;
    ChooseHeroPower(hero);
    PowerSelection = savedSelection;
    PowerTables.selectedSpell = savedSpell;
    PowerTables.selectedWeapon = savedWeapon;
}

// A number key held while the hero neither walks forward nor back fires
// the power bound to it.  The shop's lookup answers the key: a table entry
// whose power row no longer has a shortcut number (a power the hero does
// not hold) fires nothing.
void ShortcutKeys(CharacterRecord* hero) {
    if (hero->controls & (kCtlForward | kCtlBackward)) return;
    const int code = LookupShortcut(0);
    if (code < 0) {
        if (ShortcutUsedMark) HeldWeaponMark = 0;
        ShortcutUsedMark = 0;
        return;
    }
    if (code & 0x80) {
        const int32_t weapon = code & 0x7F;
        if (IsHeldWeapon(weapon)) {
            HeldWeaponMark = 1;
            hero->controls |= kCtlPowerHeld | kCtlPower;
        }
        FireMark = 1;
        ChooseShortcutPower(hero, kSelectWeapons, PowerTables.selectedSpell, weapon);
        if (!IsHeldWeapon(weapon)) HeldWeaponMark = 0;
    } else {
        FireMark = 0;
        hero->controls |= kCtlPowerMode | kCtlPower;
        ChooseShortcutPower(hero, kSelectSpells, code, PowerTables.selectedWeapon);
        hero->controls &= uint16_t(~kCtlPower);
        ShortcutUsedMark = 1;
    }
}

void FireKeys(CharacterRecord* hero) {
    if (ShortcutUsedMark) return;
    if (BindingHeld(kBindFire)) {
        hero->controls |= kCtlPower;
        FireMark = IsHeldWeapon(PowerTables.selectedWeapon) ? 1 : 0;
    }
    if (BindingHit(kBindUseOnce)) {
        FireMark = 0;
        HeldWeaponMark = 0;
        hero->controls |= kCtlPowerMode | kCtlPower;
    }
}

void MenuKeys() {
    if (Hit(kScanEscape)) OpenMenu(kPageMain);
    if (BindingHit(kBindJournal)) OpenMenu(kPageJournal);
    if (BindingHit(kBindShop)) OpenMenu(kPageShop);
    if (BindingHit(kBindMap) && GameState.menuPage != kPageMap) OpenMenu(kPageMap);
}

void ActionKeys(CharacterRecord* hero) {
    if (BindingHit(kBindTake) && GameState.pendingRoomTicks == 0) hero->controls |= kCtlTake;
    if (BindingHit(kBindAction) && GameState.menuSlide == 0) hero->controls |= kCtlAction;
}

// The follow camera and the dying camera swap; the movement step places
// the camera at once.
void CameraKey(CharacterRecord* hero) {
    if (!BindingHit(kBindCamera) || hero->lock != 0) return;
    CameraMode = CameraMode == kCameraFollow ? kCameraDying : kCameraFollow;
    UpdateHeroMovement(hero);
}

// Mission 2's room 20 is a junction: entering it opens the room jump.
void RoomJumpRoom(CharacterRecord* hero) {
    if (MissionNumber != kRoomJumpMission || CurrentRoomIndex != kRoomJumpRoom || GameState.menuSlide != 0) return;
    OpenMenu(kPageRoomJump);
    hero->controls = 0;
}

}  // namespace

PowerRow* SelectedPowerRow() {
    if (PowerSelection == kSelectSpells) {
        int32_t i = PowerTables.selectedSpell;
        return i >= 0 && i <= kLastSpell ? &PowerTableM[i] : nullptr;
    }
    int32_t i = PowerTables.selectedWeapon;
    return i >= 0 && i <= kLastWeapon ? &PowerTableW[i] : nullptr;
}

int ShortcutKeyHeld() {
    for (int number = kFirstShortcut; number <= kLastShortcut; ++number)
        if (Held(kScanDigit1 + number - 1)) return number;
    return 0;
}

void HandlePlayerControls(CharacterRecord* hero) {
    RecordGameCall("HandlePlayerControls", hero);
    if (hero) hero->controls = 0;
    if (!CurrentKeyboard) return;
    ReadInput();
    if (!hero) return;
    DeveloperKeys(hero);
    RunLockKey(hero);
    InventoryKeys(hero);
    if (CycleKeys()) return;
    LevelKeys();
    MovementKeys(hero);
    hero->controls &= uint16_t(~(kCtlPower | kCtlPowerMode | kCtlWeaponsOff | kCtlPowerHeld));
    ShortcutKeys(hero);
    FireKeys(hero);
    MenuKeys();
    ActionKeys(hero);
    CameraKey(hero);
    RoomJumpRoom(hero);
}

// --- the paused menu --------------------------------------------------------------

namespace {

// Page 8 has no page of its own: Left goes back to the options.
constexpr uint8_t kPageBeforeOptions = 8;
constexpr int kScanD = 0x20;
constexpr int kScanM = 0x32;
constexpr int32_t kOverlayDeveloperA = 2;
constexpr int32_t kOverlayDeveloperB = 4;

bool InsidePage() {
    return GameState.menuTabFocus == 0;
}

// The journal's tab: 0 steps to -1 (forgetting the second cursor), which
// the next step wraps to 2; on tab 2 with the second cursor set the arrows
// move the sub-tab instead.
void JournalLeft(GameStateRecord& g) {
    switch (g.menuColumn) {
    case 0:
        g.menuColumn = -1;
        g.menuSubCursor = 0;
        break;
    case 1: g.menuColumn = 0; break;
    case 2:
        if (g.menuSubCursor) --g.menuSubItem;
        else --g.menuColumn;
        break;
    default: g.menuColumn = g.menuColumn < 0 ? 2 : 0; break;
    }
}

void JournalRight(GameStateRecord& g) {
    switch (g.menuColumn) {
    case 0: g.menuColumn = 1; break;
    case 1:
        g.menuColumn = 2;
        g.menuSubCursor = 1;
        g.menuSubItem = 0;
        break;
    case 2:
        if (g.menuSubCursor) ++g.menuSubItem;
        else ++g.menuColumn;
        break;
    default: g.menuColumn = g.menuColumn < 0 ? 2 : 0; break;
    }
}

void LeftKey(GameStateRecord& g) {
    switch (g.menuPage) {
    case kPageShop:
        if (!InsidePage()) g.menuTabFocus = 0;
        else if (PowerSelection != kSelectSpells) PowerSelection = kSelectSpells;
        else g.menuTabFocus = 1;
        break;
    case kPageInventory: {
        // The carried objects' selection is 1-based: the first entry goes
        // to the tab bar.
        CharacterRecord* hero = HeroRecord();
        if (!hero || hero->selectedEntry <= 1) g.menuTabFocus = 1;
        else --hero->selectedEntry;
        break;
    }
    case kPageMain: g.menuTabFocus = 1; break;
    case kPageMap: g.menuTabFocus = 0; break;
    case kPageJournal:
        if (InsidePage()) JournalLeft(g);
        g.menuTabFocus = 0;
        break;
    case kPageOptions:
        // Left of the first tab is the main menu's tab bar; the tab is
        // kept at 0 so that the options never see a negative tab.
        if (--g.menuColumn < 0) {
            g.menuColumn = 0;
            g.menuPage = kPageMain;
            g.menuTabFocus = 1;
        }
        break;
    case kPageBeforeOptions:
        g.menuPage = kPageOptions;
        g.menuTabFocus = 1;
        break;
    default: break;
    }
}

void RightKey(GameStateRecord& g) {
    switch (g.menuPage) {
    case kPageShop:
        if (InsidePage()) PowerSelection = kSelectWeapons;
        g.menuTabFocus = 0;
        break;
    case kPageInventory: {
        g.menuTabFocus = 0;
        CharacterRecord* hero = HeroRecord();
        if (hero && hero->selectedEntry < hero->inventoryCount) ++hero->selectedEntry;
        break;
    }
    case kPageJournal:
        if (InsidePage()) JournalRight(g);
        g.menuTabFocus = 0;
        break;
    case kPageOptions:
        if (++g.menuColumn > 2) g.menuColumn = 0;
        g.menuTabFocus = 0;
        break;
    default: g.menuTabFocus = 0; break;
    }
}

// Up (step -1) or Down (+1): on the tab bar the neighbouring page (the page
// machine bounds it), inside the page the cursors.
void UpDownKey(GameStateRecord& g, int step) {
    if (!InsidePage()) {
        int page = int(g.menuPage) + step;
        if (page >= 0 && page <= 0xFF) g.menuPage = uint8_t(page);
        return;
    }
    if (g.menuColumn == 1) g.menuValueIndex = std::max(0, g.menuValueIndex + step);
    if (g.menuPage != kPageMap) SFX_Play(-1, kCursorSound, 0, kMenuSoundPriority, 0);
    g.menuChoice += step;
    if (g.menuPage == kPageJournal) g.menuSubCursor += step;
}

void MapScroll(GameStateRecord& g) {
    if (g.menuPage != kPageMap || !InsidePage()) return;
    if (Held(kScanDown)) g.mapScrollY += kMapScrollStep;
    if (Held(kScanUp)) g.mapScrollY -= kMapScrollStep;
    if (Held(kScanLeft)) g.mapScrollX -= kMapScrollStep;
    if (Held(kScanRight)) g.mapScrollX += kMapScrollStep;
}

}  // namespace

// The developer key M's 3D option: a stub that only records the call.
// The controls name it with the value 1 and nothing more, so it is the
// game's own stub and not a stand-in.
void Debug3DOption(int value) {
    RecordGameCall("Debug3DOption", nullptr, value);
}

void PauseMenu() {
    RecordGameCall("PauseMenu");
    if (!CurrentKeyboard) return;
    CurrentKeyboard->Update();
    GameStateRecord& g = GameState;
    const bool roomJump = g.menuPage == kPageRoomJump;
    if (roomJump) g.menuTabFocus = 0;
    if (Hit(kScanEscape)) {
        OpenMenu(kPageMain);
        SFX_StopAll();
        SFX_Play(-1, kMenuSound, 0, kMenuSoundPriority, 0);
    }
    // Both arrows are asked on every page, so that the room jump leaves
    // no press behind for the next page.
    const bool left = Hit(kScanLeft), right = Hit(kScanRight);
    if (left && !roomJump) LeftKey(g);
    if (right && !roomJump) RightKey(g);
    if (Hit(kScanUp)) UpDownKey(g, -1);
    if (Hit(kScanDown)) UpDownKey(g, +1);
    if (DeveloperMode()) {
        if (Hit(kScanD)) OverlayFlags ^= kOverlayDeveloperA;
        if (Hit(kScanM)) {
            Debug3DOption(1);
            OverlayFlags ^= kOverlayDeveloperB;
        }
    }
    MapScroll(g);
}
