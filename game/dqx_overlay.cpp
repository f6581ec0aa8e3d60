// The overlay over the 3D view: its frame order, the HUD, the status line
// and energy notice, the life head and the disk icon.  Times are
// milliseconds of GetTimeMs (deadlines) or ticks of 1/70 s (the frame step,
// countdowns).
#include "game/dqx_overlay.h"

#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_briefing.h"
#include "game/dqx_combat.h"
#include "game/dqx_controls.h"
#include "game/dqx_debugpages.h"
#include "game/dqx_journal.h"
#include "game/dqx_menu.h"
#include "game/dqx_objects.h"
#include "game/dqx_subtitles.h"
#include "game/dqx_text.h"
#include "game/dqx_translations.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "platform/display/blit.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/step_log.h"
#include "platform/timer.h"
#include "platform/display/ddraw.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

char StatusText[64] = "";
uint32_t StatusUntil = 0;
uint8_t StatusShown = 0;
int32_t EnergyChangeSum = 0;
uint32_t EnergyChangeUntil = 0;
uint8_t EnergyChangeShown = 0;
int32_t FrameCount = 0;
uint32_t FrameRecountTime = 0;
int32_t FramesPerSecond = 0;
int32_t EnergyPulse = kPulseFloor;
uint8_t DiskIconBusy = 0;
uint8_t DiskIconForbidden = 0;

namespace {

constexpr uint8_t kHudGrey = 180;
constexpr int32_t kBriefingRewindAbove = 10;
constexpr int32_t kBriefingRewindStep = 3;
// The menu's highlight level falls by 4 a double tick.
constexpr int32_t kPulseFall = 4;
// The energy number throbs up to 255 at 20000 energy.
constexpr int64_t kPulseEnergy = 20000;
constexpr int32_t kPulseCeiling = 255;

// Blit modes of the active table.
constexpr int kBlitKeyed = 1, kBlitOpaque = 2, kBlitBlend = 4, kBlitBlend2 = 5;

// The selected object: its picture centred on (50, B - 37), its name at
// B - 14, its unit count 80 pixels right of the picture at B - 60.
constexpr int32_t kObjectCentreX = 50, kObjectCentreUp = 37, kObjectNameUp = 14;
constexpr int32_t kObjectCountRight = 80, kObjectCountUp = 60;
// Bits 0-2 of the slot flags all set: the picture is blended.
constexpr uint8_t kObjectBlendBits = 0x07;
const char* const kObjectGoneSound = ".\\smp\\effets\\dispobj.wav";
constexpr uint8_t kObjectGonePriority = 200;

// The left column: the countdown, the carried charge, the barrier warning
// and the target's life.
constexpr int32_t kLeftColumnX = 32;
constexpr int32_t kCountdownUp = 100, kChargeUp = 120, kWarningUp = 160;
// The framing line near the bottom left.
constexpr int32_t kFrameLineX0 = 10, kFrameLineX1 = 190, kFrameLineUp = 70;

// The energy number.
constexpr int32_t kEnergyX = 201, kEnergyUp = 60;

// The two power rows: name and level tab 40 above the bottom, the price 20
// below the name, "+level" 60 above the bottom, the charge bar of 50
// pixels at level 12 standing on B - 15.
struct PowerRowLayout {
    int32_t nameX, priceX, tabX, barX0, barX1;
    uint8_t levelRgb[3];  // of "+level"; 0 in green and blue: 220 - 16 x level
    bool weaponColours;
};
constexpr PowerRowLayout kWeaponRowLayout{.nameX = 201, .priceX = 210, .tabX = 164, .barX0 = 143, .barX1 = 153,
                                          .levelRgb = {255, 0, 0}, .weaponColours = true};
constexpr PowerRowLayout kSpellRowLayout{.nameX = 401, .priceX = 401, .tabX = 364, .barX0 = 343, .barX1 = 353,
                                         .levelRgb = {100, 165, 183}, .weaponColours = false};
constexpr int32_t kRowNameUp = 40, kRowPriceDown = 20, kRowLevelUp = 60, kBarBottomUp = 15;
constexpr int32_t kBarFull = 50, kLevelMax = 12, kTabPixelsPerLevel = 16;

// The status lines from the left edge (a fortieth of the screen width).
constexpr int32_t kStatusUp = 80, kEnergyChangeUp = 100;

// The life head: top B - 66, left 58 pixels before the clip right edge.
constexpr int32_t kHeadUp = 66, kHeadLeft = 58;
constexpr int32_t kLifeWhole = 100, kLifeSecondHead = 200;
// The quick-save notice: menu text 45 in scripted state 16, else 46, for
// the special states 1 to 31.
constexpr int kNoSaveText16 = 45, kNoSaveText = 46;
constexpr uint8_t kNoSaveState16 = 16, kNoSaveLast = 31;

bool DeadlineAhead(uint32_t deadline, uint32_t now) {
    return int32_t(deadline - now) > 0;
}

uint32_t Bottom() {
    return uint32_t(ScreenState.clipBottom);
}

void Blit(int mode, int32_t x, int32_t y, const Picture* picture) {
    BlitRoutine routine = ActiveBlitTable.modes[mode];
    if (routine && picture && picture->pixels) routine(x, y, picture);
}

void Grey(uint8_t level) {
    SetTextColour(level, level, level);
}

void DrawNumber(const char* format, int32_t value, int x, int y, const SpriteSet* font) {
    std::snprintf(TextBuffer, sizeof TextBuffer, format, int(value));
    DrawString(TextBuffer, x, y, font);
}

int32_t Clamp32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// --- step 2: the selected object -----------------------------------------------

ObjectSlotEntry* SelectedObjectSlot(const CharacterRecord* hero) {
    if (hero->selectedEntry < 1 || hero->selectedEntry > hero->inventoryCount ||
        hero->selectedEntry > kInventorySlots)
        return nullptr;
    ObjectSlotEntry* slot = hero->inventory[hero->selectedEntry - 1];
    return slot && slot->object ? slot : nullptr;
}

// A weapon object counts its charges; -1 when the object counts nothing
// (no weapon, or unlimited charges).
int32_t ObjectUnits(const ObjectSlotEntry* slot) {
    const int weapon = WeaponSlotOfName(slot->object->name);
    if (weapon < 0 || weapon >= kWeaponSlots || !WeaponTable[weapon]) return -1;
    return WeaponTable[weapon]->charges;
}

// The slot's countdown runs down by the frame step; once it is at 0 an
// object the hero used on a target (its use flag, kSlotUsed) is spent.
void RunObjectCountdown(CharacterRecord* hero, ObjectSlotEntry* slot) {
    if (slot->timer > 0) slot->timer = std::max(slot->timer - GameTimer.DeltaUnits, 0);
    if (slot->timer > 0 || !(slot->flags & kSlotUsed)) return;
    slot->flags &= uint8_t(~kSlotUsed);
    ObjectRecord* object = slot->object;
    ExpireObject(hero, slot);
    SFX_Play(-1, kObjectGoneSound, 0, kObjectGonePriority, 0);
    AddJournalEntry(kJournalTaken, hero, object);
}

void DrawSelectedObject(CharacterRecord* hero) {
    ObjectSlotEntry* slot = SelectedObjectSlot(hero);
    if (!slot) return;
    const int32_t b = int32_t(Bottom());
    int32_t left = kObjectCentreX;
    if (const Picture* picture = slot->picture ? slot->picture->picture : nullptr) {
        left = kObjectCentreX - picture->width / 2;
        const int mode = (slot->flags & kObjectBlendBits) == kObjectBlendBits ? kBlitBlend : kBlitKeyed;
        Blit(mode, left, b - kObjectCentreUp - picture->height / 2, picture);
    }
    Grey(kHudGrey);
    DrawString(TranslateName(slot->object->name), left, b - kObjectNameUp, ListFont);
    const int32_t units = ObjectUnits(slot);
    if (units >= 0) DrawNumber("%d", units, left + kObjectCountRight, b - kObjectCountUp, ListFont);
    RunObjectCountdown(hero, slot);
}

// --- steps 3 to 6 --------------------------------------------------------------

// The first running event countdown (ticks at 1 or above), -1 when none.
int32_t RunningCountdown() {
    for (int32_t ticks : GameState.eventTimers)
        if (ticks >= 1) return ticks;
    return -1;
}

void DrawCountdown() {
    const int32_t ticks = RunningCountdown();
    if (ticks < 0) return;
    Grey(kHudGrey);
    DrawNumber("%d", CountdownSeconds(ticks), kLeftColumnX, int32_t(Bottom()) - kCountdownUp, ListFont);
}

// The running barrier (BarrierFlags bit 0, refreshed here) is the aimed
// point: standing at it sets bit 1, which protects the hero, and shows
// "(X)".
void DrawBarrierWarning(const CharacterRecord* hero) {
    GetBarrierTime();
    BarrierFlags &= uint8_t(~kBarrierNear);
    if (!(BarrierFlags & kBarrierRunning)) return;
    if (Get_Dist2(&hero->position, &BarrierPosition) >= kBarrierNearDist2) return;
    BarrierFlags |= kBarrierNear;
    DrawString("(X)", kLeftColumnX, int32_t(Bottom()) - kWarningUp, ListFont);
}

void DrawTargetLife(const CharacterRecord* hero) {
    const CharacterRecord* target = hero->target;
    if (!EntityPoints || !target || !target->def || CharacterLife(target) <= 0 || target->dying) return;
    const int32_t maximum = target->def->maxLife;
    // A target whose maximum is not known yet shows nothing.
    if (maximum <= 0) return;
    const int64_t percent = std::clamp<int64_t>(int64_t(CharacterLife(target)) * 100 / maximum, 0, 100);
    std::snprintf(TextBuffer, sizeof TextBuffer, "%d %%", int(percent));
    DrawString(TextBuffer, kLeftColumnX, int32_t(Bottom()) - kWarningUp, ListFont);
}

void DrawCharge(CharacterRecord* hero) {
    if (hero->charge > 0) {
        DrawNumber("(%d)", hero->charge / kChargeUnit, kLeftColumnX, int32_t(Bottom()) - kChargeUp, ListFont);
        return;
    }
    if (hero->chargeEffect > 0) {
        Free_Effect(hero->chargeEffect - 1);
        hero->chargeEffect = 0;
    }
}

// --- step 7: energy ------------------------------------------------------------

void DrawEnergy(const CharacterRecord* hero) {
    const int64_t energy = hero->def ? int64_t(hero->def->energy) + hero->def->energyReserve : 0;
    EnergyPulse += GameTimer.DeltaUnits;
    if (EnergyPulse > EnergyPulseCap(energy)) EnergyPulse = kPulseFloor;
    const uint8_t level = uint8_t(std::clamp(EnergyPulse, 0, kPulseCeiling));
    Grey(level);
    DrawNumber("%04d", Clamp32(energy), kEnergyX, int32_t(Bottom()) - kEnergyUp, ListFont);
}

// --- steps 8 and 9: the power rows ---------------------------------------------

bool RowAvailable(const PowerRow& row) {
    return row.levelBought > 0;
}

// Moves an unavailable selection on by one row (past the last row back to
// row 0, the shop then showing this table); answers the row to draw, or
// -1 while the selection moves.
int32_t CycleSelection(PowerRow* rows, int32_t lastRow, int32_t* selected, uint8_t table) {
    const int32_t s = *selected;
    if (s >= 0 && s <= lastRow && RowAvailable(rows[s])) return s;
    if (s < 0 || s >= lastRow) {
        *selected = 0;
        PowerSelection = table;
    } else {
        *selected = s + 1;
    }
    return -1;
}

// The level tab: the row's lit level sprite (the weapon rows after the
// spell rows in the sheet), 16 pixels of it a level.
void DrawLevelTab(int32_t x, int32_t y, int32_t row, int32_t level, bool weapon) {
    const SpriteSet* sheet = IconOnSprites;
    const int32_t index = row + (weapon ? kSpellRows : 0);
    if (!sheet || !sheet->sprites || index >= sheet->count || level <= 0) return;
    ScreenStateRecord& s = ScreenState;
    const int32_t savedRight = s.clipRight;
    s.clipRight = std::min<int32_t>(savedRight, x + kTabPixelsPerLevel * level - 1);
    Blit(kBlitOpaque, x, y, &sheet->sprites[index]);
    s.clipRight = savedRight;
}

void DrawPowerRow(const PowerRow& row, int32_t index, const PowerRowLayout& at) {
    const int32_t b = int32_t(Bottom());
    const int32_t y = b - kRowNameUp;
    const int32_t level = std::clamp(row.levelInUse, 0, kLevelMax);
    SetTextColour(kHudGrey, kHudGrey, uint8_t(std::min(kHudGrey + index, 255)));
    DrawString(CleanText(TranslateName(row.label)), at.nameX, y, ListFont);
    DrawLevelTab(at.tabX, y, index, level, at.weaponColours);
    DrawNumber("%d", Clamp32(int64_t(level) * row.achatupgrade), at.priceX, y + kRowPriceDown, CaptionFont);
    if (at.weaponColours) {
        const uint8_t gb = uint8_t(220 - 16 * level);
        SetTextColour(at.levelRgb[0], gb, gb);
    } else {
        SetTextColour(at.levelRgb[0], at.levelRgb[1], at.levelRgb[2]);
    }
    DrawNumber("+%d", level, at.tabX, b - kRowLevelUp, ListFont);
    const int32_t height = level * kBarFull / kLevelMax;
    const int32_t barBottom = b - kBarBottomUp;
    if (height > 0 && ActivePrimTable.FillRect)
        ActivePrimTable.FillRect(at.barX0, barBottom - height + 1, at.barX1, barBottom, g_DrawColour);
}

void DrawPowerRows() {
    const int32_t w = CycleSelection(PowerTableW, kLastWeaponRow, &PowerTables.selectedWeapon, kSelectWeapons);
    if (w >= 0) DrawPowerRow(PowerTableW[w], w, kWeaponRowLayout);
    const int32_t m = CycleSelection(PowerTableM, kLastSpellRow, &PowerTables.selectedSpell, kSelectSpells);
    if (m >= 0) DrawPowerRow(PowerTableM[m], m, kSpellRowLayout);
}

}  // namespace

// --- the frame ------------------------------------------------------------------

void DrawOverlay(int32_t flags) {
    RecordGameCall("DrawOverlay", nullptr, flags);
    if (!BriefingHoldFrame && BriefingStep > kBriefingRewindAbove) BriefingStep = kBriefingRewindStep;
    BriefingHoldFrame = 0;
    CharacterRecord* hero = HeroRecord();
    if (!hero || !hero->dying) {
        DrawSubtitle();
        BriefingPage();
    }
    CountFrameRate();
    MenuBlink ^= 1;
    MenuPulse = uint8_t(MenuPulse - kPulseFall * GameTimer.DoubleDelta);
    DrawHud(hero);
    if (GameState.menuSlide != 0) RunMenuPages();
    DrawEnergyGauge(hero);
    if (flags & kOverlayDebugPages) DrawDebugPages();
    if (flags & kOverlayMemoryPage) {
        RecordGameCall("Show_3DMemory");
        Show_3DMemory(RomanFont);
    }
}

void CountFrameRate() {
    ++FrameCount;
    const uint32_t now = GetTimeMs();
    const uint32_t elapsed = now - FrameRecountTime;
    if (elapsed <= 1000) return;
    FramesPerSecond = Clamp32(int64_t(FrameCount) * 1000 / elapsed);
    FrameCount = 0;
    FrameRecountTime = now;
}

int32_t EnergyPulseCap(int64_t energy) {
    return int32_t(std::min<int64_t>(energy * 128 / kPulseEnergy + kPulseFloor, kPulseCeiling));
}

int32_t CountdownSeconds(int32_t ticks) {
    return ticks <= 0 ? 0 : int32_t((int64_t(ticks) + 69) / 70);
}

void DrawHud(CharacterRecord* hero) {
    RecordGameCall("DrawHud", hero);
    if (hero) {
        const int32_t b = int32_t(Bottom());
        Grey(kHudGrey);
        if (ActivePrimTable.Line)
            ActivePrimTable.Line(kFrameLineX0, b - kFrameLineUp, kFrameLineX1, b - kFrameLineUp, g_DrawColour);
        DrawSelectedObject(hero);
        DrawCountdown();
        Grey(kHudGrey);
        DrawBarrierWarning(hero);
        DrawTargetLife(hero);
        DrawCharge(hero);
        DrawEnergy(hero);
        DrawPowerRows();
    }
    DrawStatusLines();
}

void DrawStatusLines() {
    // The clock is read only while something shows.
    if (!StatusShown && !EnergyChangeShown) {
        EnergyChangeSum = 0;
        return;
    }
    const uint32_t now = GetTimeMs();
    const int32_t x = int32_t(ScreenState.width / 40);
    const int32_t b = int32_t(Bottom());
    if (StatusShown && DeadlineAhead(StatusUntil, now)) {
        g_DrawColour = DefaultTextColour;
        DrawString(StatusText, x, b - kStatusUp, RomanFont);
    } else {
        StatusShown = 0;
    }
    if (EnergyChangeShown && DeadlineAhead(EnergyChangeUntil, now)) {
        const uint32_t left = EnergyChangeUntil - now;
        const uint8_t level = uint8_t(std::min<uint64_t>(uint64_t(left) * 255 / kEnergyChangeMs, 255));
        if (EnergyChangeSum >= 0) SetTextColour(level, 0, 0);
        else SetTextColour(0, 0, level);
        DrawNumber("%d", EnergyChangeSum, x, b - kEnergyChangeUp, ListFont);
    } else {
        EnergyChangeShown = 0;
        EnergyChangeSum = 0;
    }
}

int32_t HeadBandEnd(int32_t y0, int32_t height, int32_t life) {
    if (life >= kLifeWhole) return y0;
    const int64_t lost = kLifeWhole - std::max(life, 0);
    return Clamp32(y0 + lost * height / kLifeWhole);
}

void DrawEnergyGauge(CharacterRecord* hero) {
    RecordGameCall("DrawEnergyGauge", hero);
    if (!hero) return;
    ScreenStateRecord& s = ScreenState;
    const int32_t y0 = s.clipBottom - kHeadUp;
    const int32_t x0 = s.clipRight - kHeadLeft;
    const Picture* head = HeadPicture;
    const int32_t savedTop = s.clipTop, savedBottom = s.clipBottom;
    const int32_t bandEnd = HeadBandEnd(y0, head ? head->height : 0, CharacterLife(hero));
    if (head && bandEnd > y0) {
        // The lost part of the head, faded.
        s.clipTop = std::max(savedTop, y0);
        s.clipBottom = std::min(savedBottom, bandEnd - 1);
        Blit(kBlitBlend, x0, y0, head);
        s.clipBottom = savedBottom;
    }
    s.clipTop = std::max(savedTop, bandEnd);
    if (CharacterLife(hero) > kLifeSecondHead && Head2Picture) Blit(kBlitBlend2, x0, y0, Head2Picture);
    else Blit(kBlitKeyed, x0, y0, head);
    s.clipTop = savedTop;
    const uint8_t state = hero->special;
    if (state >= 1 && state <= kNoSaveLast) {
        Grey(kHudGrey);
        DrawString(MenuTexts[state == kNoSaveState16 ? kNoSaveText16 : kNoSaveText], s.clipBottom / 2,
                   s.clipRight / 3, ListFont);
    }
}

// --- status line and energy notice --------------------------------------------

void ShowStatusMessage(const char* text) {
    std::snprintf(StatusText, sizeof StatusText, "%.63s", text ? text : "");
    StatusUntil = GetTimeMs() + kStatusMs;
    StatusShown = 1;
    RecordGameCall("ShowStatusMessage");
    // The run trace shows what the player is told.
    LogStep((std::string("Status ") + StatusText).c_str());
}

void ShowEnergyChange(int32_t amount) {
    const uint32_t now = GetTimeMs();
    if (!EnergyChangeShown || !DeadlineAhead(EnergyChangeUntil, now)) EnergyChangeSum = 0;
    EnergyChangeSum = Clamp32(int64_t(EnergyChangeSum) + amount);
    EnergyChangeUntil = now + kEnergyChangeMs;
    EnergyChangeShown = 1;
}

// --- disk icon -------------------------------------------------------------------

void DrawDiskIcon() {
    const Picture* disk = DiskPicture;
    VideoDriver* driver = CurrentVideoDriver;
    if (!disk || DiskIconForbidden || !driver || !driver->Lock || !driver->Unlock) return;
    DiskIconBusy = 1;
    if (driver->Lock(driver)) {
        Blit(kBlitKeyed, ScreenState.clipRight - disk->width, ScreenState.clipBottom - disk->height, disk);
        driver->Unlock(driver);
    }
    DiskIconBusy = 0;
}

// --- front end ---------------------------------------------------------------------

namespace {

void ResetOverlayCounters() {
    FrameCount = 0;
    FrameRecountTime = GetTimeMs();
    FramesPerSecond = 0;
    EnergyPulse = kPulseFloor;
    StatusText[0] = 0;
    StatusShown = 0;
    EnergyChangeSum = 0;
    EnergyChangeShown = 0;
}

}  // namespace

void OpenOverlayFonts() {
    RecordGameCall("OpenOverlayFonts");
    GdiTextHeight = 0;
}

void OpenOverlayCounters() {
    RecordGameCall("OpenOverlayCounters");
    ResetOverlayCounters();
}

void CloseOverlayFonts() {
    RecordGameCall("CloseOverlayFonts");
    GdiTextHeight = 0;
}

void CloseOverlayCounters() {
    RecordGameCall("CloseOverlayCounters");
    ResetOverlayCounters();
}
