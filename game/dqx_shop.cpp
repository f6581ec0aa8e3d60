// The shop page: the two power tables as lists with their prices and
// levels, buying the next level with Enter, binding number keys as
// shortcuts, and the shortcut lookups the controls fire powers through.
#include "game/dqx_shop.h"

#include "game/characters.h"
#include "game/dqx_controls.h"
#include "game/dqx_menu.h"
#include "game/dqx_overlay.h"
#include "game/dqx_text.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "platform/display/blit.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/input.h"
#include "platform/step_log.h"

#include <algorithm>
#include <cstdio>

int32_t ShopScroll = 0;
int32_t ShopArrow = 1;
int32_t ShopLastChoice = 0;

namespace {

// The header line: the energy at (308, 11), the title ending 32 pixels
// before the clip right, the table labels from the screen's centre.
constexpr int kHeaderY = 11;
constexpr int kEnergyX = 308;
constexpr int kTitleRightMargin = 32;
constexpr int kSpellsLabelX = 4, kWeaponsLabelX = 110;
constexpr uint8_t kOtherLabelGrey = 128;
// The list area: from the list font's glyph height + 45 down to two level
// sprites and 12 pixels above the clip bottom; one row per sprite height
// + 3.
constexpr int32_t kListTopBelowGlyph = 45;
constexpr int32_t kListBottomMargin = 12;
constexpr int32_t kRowGap = 3;
// A row's columns: the sprite at centre + 4, the name 3 pixels after it,
// then the price, the level, the maximum and the key from the name's x.
constexpr int kSpriteX = 4;
constexpr int kNameGap = 3;
constexpr int kPriceX = 100, kLevelX = 140, kMaximumX = 180, kKeyX = 250;
constexpr uint8_t kNotOwnedGrey = 180;
constexpr uint8_t kKeyGrey = 128;
constexpr uint8_t kPriceRgb[3] = {114, 172, 177};
// The weapons' sprites follow the spells' in the level sprite sheets.
constexpr int kWeaponSpriteBase = kShopSpellRows;

int32_t Saturate(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool KeyHeld(int scan) {
    return CurrentKeyboard && (CurrentKeyboard->keyStates[scan & 0xFF] & 0x80) != 0;
}

bool KeyHit(int scan) {
    return CurrentKeyboard && CurrentKeyboard->KeyHit && CurrentKeyboard->KeyHit(scan) != 0;
}

bool WeaponsOnShow() {
    return PowerSelection != kSelectSpells;
}

void Grey(uint8_t level) {
    SetTextColour(level, level, level);
}

// Sprite i of a sheet, none when the sheet lacks it.
const Picture* SheetSprite(const SpriteSet* sheet, int i) {
    return sheet && sheet->sprites && i >= 0 && i < sheet->count ? &sheet->sprites[i] : nullptr;
}

// The size every row is laid out with: the lit sheet's first sprite.
void LevelSpriteSize(int32_t* width, int32_t* height) {
    const Picture* first = SheetSprite(IconOnSprites, 0);
    *width = first ? first->width : 0;
    *height = first ? first->height : 0;
}

// --- steps 2 and 3: the header ------------------------------------------------

void DrawHeader(bool weapons) {
    const CharacterRecord* hero = HeroRecord();
    const CharacterDef* def = hero ? hero->def : nullptr;
    const int32_t energy = def ? Saturate(int64_t(def->energy) + def->energyReserve) : 0;
    char text[16];
    std::snprintf(text, sizeof text, "%04d", int(energy));
    g_DrawColour = 0;
    DrawString(text, kEnergyX, kHeaderY, CaptionFont);
    const char* title = MenuTexts[kShopTitleText];
    DrawString(title, ScreenState.clipRight - kTitleRightMargin - TextWidth(title, ListFont), kHeaderY, ListFont);

    const int centre = int(ScreenState.width / 2);
    auto label = [&](int text, int x, bool current) {
        if (current) SetTextColour(uint8_t(MenuPulse * 255 / 256), MenuPulse / 4, MenuPulse / 4);
        else Grey(kOtherLabelGrey);
        DrawString(MenuTexts[text], centre + x, kHeaderY, CaptionFont);
    };
    label(kShopSpellsText, kSpellsLabelX, !weapons);
    label(kShopWeaponsText, kWeaponsLabelX, weapons);
}

// --- step 7: the rows ---------------------------------------------------------

void DrawRowTexts(const PowerRow& row, int32_t x, int32_t y) {
    // The caption font's spacing is one wider for the names.
    SpriteSet* font = CaptionFont;
    if (font) ++font->spacing;
    DrawString(CleanText(TranslateName(row.label)), x, y, font);
    if (font) --font->spacing;

    char text[16];
    std::snprintf(text, sizeof text, "%03d", int(Saturate(int64_t(row.levelBought + int64_t(1)) * row.achatupgrade)));
    SetTextColour(kPriceRgb[0], kPriceRgb[1], kPriceRgb[2]);
    DrawString(text, x + kPriceX, y, CaptionFont);
    if (row.potentio != 0) {
        std::snprintf(text, sizeof text, "+%02d", int(row.levelBought));
        LevelColour(row.levelBought, row.potentio);
        DrawString(text, x + kLevelX, y, CaptionFont);
        std::snprintf(text, sizeof text, "+%02d", int(row.potentio));
        SetTextColour(255, 0, 0);
        DrawString(text, x + kMaximumX, y, CaptionFont);
    }
    if (row.shortcut >= kFirstShortcut && row.shortcut <= kLastShortcut) {
        // Shortcut 10 is the key 0.
        std::snprintf(text, sizeof text, "%d", int(row.shortcut % 10));
        Grey(kKeyGrey);
        DrawString(text, x + kKeyX, y, CaptionFont);
    }
}

void DrawRow(const PowerRow& row, int index, bool weapons, int32_t y, int32_t spriteWidth) {
    const GameStateRecord& g = GameState;
    const bool owned = row.levelBought > 0;
    if (index == g.menuChoice && g.menuTabFocus == 0) Grey(MenuPulse);
    else if (owned) Grey(255);
    else Grey(kNotOwnedGrey);
    const int32_t x = int32_t(ScreenState.width / 2) + kSpriteX;
    const Picture* sprite =
        SheetSprite(owned ? IconOnSprites : IconOffSprites, (weapons ? kWeaponSpriteBase : 0) + index);
    BlitRoutine opaque = ActiveBlitTable.modes[2];
    if (opaque && sprite && sprite->pixels) opaque(x, y, sprite);
    DrawRowTexts(row, x + spriteWidth + kNameGap, y);
}

// Draws the rows that are not hidden one under the other inside the list
// area, and scrolls toward the highlighted one: while it reaches below the
// area the scroll grows by the double frame step; otherwise it shrinks by
// that step toward 0, as far as the row then still fits, so that a row on
// the edge does not make the list shake.
void DrawRows(const PowerRow* rows, int count, bool weapons) {
    ScreenStateRecord& s = ScreenState;
    const int32_t savedTop = s.clipTop, savedBottom = s.clipBottom;
    int32_t spriteWidth = 0, spriteHeight = 0;
    LevelSpriteSize(&spriteWidth, &spriteHeight);
    const int32_t top = FontGlyphHeight(ListFont) + kListTopBelowGlyph;
    const int32_t bottom = savedBottom - 2 * spriteHeight - kListBottomMargin;
    s.clipTop = top;
    s.clipBottom = bottom;
    const int32_t step = spriteHeight + kRowGap;
    int32_t y = top - ShopScroll;
    int32_t highlighted = INT32_MIN;
    for (int i = 0; i < count; ++i) {
        if (ShopRowHidden(rows[i])) continue;
        if (i == GameState.menuChoice) highlighted = y;
        DrawRow(rows[i], i, weapons, y, spriteWidth);
        y += step;
    }
    s.clipTop = savedTop;
    s.clipBottom = savedBottom;

    const int32_t moved = std::max(GameTimer.DoubleDelta, 0);
    if (highlighted == INT32_MIN) return;
    if (int64_t(highlighted) + spriteHeight > bottom) ShopScroll = Saturate(int64_t(ShopScroll) + moved);
    else if (int64_t(highlighted) + std::min(moved, ShopScroll) + spriteHeight <= bottom)
        ShopScroll = std::max(ShopScroll - moved, 0);
}

}  // namespace

PowerRow* PowerRowOfCode(int code) {
    if (code >= 0 && code < kShopSpellRows) return &PowerTableM[code];
    if (code >= kWeaponCodeBase && code < kWeaponCodeBase + kShopWeaponRows) return &PowerTableW[code - kWeaponCodeBase];
    return nullptr;
}

bool ShopRowHidden(const PowerRow& row) {
    return (row.state & kRowHiddenBit) != 0;
}

int ShortcutKeyHit() {
    for (int number = kFirstShortcut; number <= kLastShortcut; ++number)
        if (KeyHit(kScanDigit1 + number - 1)) return number;
    return 0;
}

int AssignShortcut(int code) {
    const int number = ShortcutKeyHeld();
    const uint8_t entry = ShortcutEntry(code);
    if (number == 0 || entry == 0) return 0;
    ShortcutTable[number] = entry;
    return number;
}

int ShortcutPower(int code) {
    const PowerRow* row = PowerRowOfCode(code);
    return row && row->shortcut != 0 ? code : -1;
}

int LookupShortcut(int hit) {
    const int number = hit ? ShortcutKeyHit() : ShortcutKeyHeld();
    if (number < kFirstShortcut || number > kLastShortcut) return -1;
    const int code = ShortcutCode(ShortcutTable[number]);
    return code < 0 ? -1 : ShortcutPower(code);
}

void LevelColour(int32_t level, int32_t maximum) {
    const int64_t blend = maximum > 0 ? std::clamp<int64_t>(int64_t(level) * 256 / maximum, 0, 256) : 256;
    auto mix = [&](int from, int to) { return uint8_t(from + (to - from) * blend / 256); };
    SetTextColour(mix(kPriceRgb[0], 255), mix(kPriceRgb[1], 0), mix(kPriceRgb[2], 0));
}

void ShopCursorStep(PowerRow* rows, int count) {
    GameStateRecord& g = GameState;
    if (KeyHeld(kScanUp)) ShopArrow = -1;
    else if (KeyHeld(kScanDown)) ShopArrow = 1;
    else if (g.menuChoice != ShopLastChoice) ShopArrow = g.menuChoice < ShopLastChoice ? -1 : 1;
    g.menuChoice = std::clamp(g.menuChoice, 0, count - 1);
    const bool anyShown = std::any_of(rows, rows + count, [](const PowerRow& r) { return !ShopRowHidden(r); });
    if (anyShown && ShopRowHidden(rows[g.menuChoice])) g.menuChoice = (g.menuChoice + ShopArrow + count) % count;
    ShopLastChoice = g.menuChoice;
}

void BindShortcutStep(PowerRow* row, int code) {
    if (!row || row->levelBought <= 0 || ShopRowHidden(*row)) return;
    const int previous = row->shortcut;
    const int key = AssignShortcut(code);
    if (key == 0) return;
    for (PowerRow& r : PowerTableM)
        if (r.shortcut == key) r.shortcut = 0;
    for (PowerRow& r : PowerTableW)
        if (r.shortcut == key) r.shortcut = 0;
    // The row's earlier key no longer fires it.
    if (previous != key && previous >= kFirstShortcut && previous <= kLastShortcut &&
        ShortcutCode(ShortcutTable[previous]) == code)
        ShortcutTable[previous] = 0;
    row->shortcut = key;
}

int BuyPowerLevel(PowerRow* row, CharacterRecord* hero) {
    CharacterDef* def = hero ? hero->def : nullptr;
    if (!row || !def || row->levelBought >= row->potentio) return 0;
    const int32_t price = Saturate(int64_t(row->achatupgrade) * (int64_t(row->levelBought) + 1));
    int32_t& spent = GameState.stats.energySpent;
    spent = Saturate(int64_t(spent) + price);
    def->energy = Saturate(int64_t(def->energy) - price);
    bool bought = true;
    if (def->energy < 0) {
        // The bonus energy pays what the energy lacks, or is lost.
        def->energyReserve = Saturate(int64_t(def->energyReserve) + def->energy);
        def->energy = 0;
        if (def->energyReserve < 0) {
            def->energyReserve = 0;
            bought = false;
        }
    } else {
        ShowEnergyChange(Saturate(-int64_t(price)));
    }
    if (bought) ++row->levelBought;
    row->levelInUse = row->levelBought;
    char line[64];
    std::snprintf(line, sizeof line, "%s %.16s level %d price %d", bought ? "Buy" : "BuyRefused", row->name,
                  int(row->levelBought), int(price));
    LogStep(line, def->energy);
    return bought ? 1 : 0;
}

void ShopPage() {
    RecordGameCall("ShopPage");
    GameStateRecord& g = GameState;
    if (g.menuTabFocus == 0) DrawPageTitle(MenuTexts[kShopCaptionText], 1);
    const bool weapons = WeaponsOnShow();
    DrawHeader(weapons);

    PowerRow* rows = weapons ? PowerTableW : PowerTableM;
    const int count = weapons ? kShopWeaponRows : kShopSpellRows;
    ShopCursorStep(rows, count);
    const int choice = g.menuChoice;
    PowerRow* row = &rows[choice];
    BindShortcutStep(row, weapons ? kWeaponCodeBase + choice : choice);
    // A hidden row is neither selected nor sold.
    if (KeyHit(kScanEnter) && !ShopRowHidden(*row)) {
        (weapons ? PowerTables.selectedWeapon : PowerTables.selectedSpell) = choice;
        BuyPowerLevel(row, HeroRecord());
    }

    DrawRows(rows, count, weapons);
    if (g.menuTabFocus == 0) {
        DrawPageTitle(MenuTexts[(weapons ? kWeaponDescriptionText : kSpellDescriptionText) + choice], 3);
        DrawPageTitle(MenuTexts[kShopEnterText], 2);
    }
}
