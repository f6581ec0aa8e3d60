// The inventory, options and key pages.
#include "game/dqx_options.h"

#include "game/characters.h"
#include "game/dqx_menu.h"
#include "game/dqx_text.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/object_slots.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "media/sfx_music.h"
#include "platform/display/blit.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "render/d3d_display.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

uint8_t InventoryFade = 0;
DisplayOptionCopies DisplayCopies{};

namespace {

constexpr int kBlitOpaque = 2;
constexpr int kBlitBlend = 4;
// Titles stand at y 10; a right-aligned title ends 32 pixels before the
// clip right edge.
constexpr int32_t kTitleY = 10;
constexpr int32_t kTitleRightMargin = 32;
// The picture is centred in the upper 65 pixels of its cell, the name at
// 70 below the cell's top.
constexpr int32_t kPictureBand = 65;
constexpr int32_t kNameY = 70;
constexpr int kNameGreyFirst = 258, kNameGreyStep = 8;

constexpr int kTabLabelTexts[kOptionTabs] = {121, kKeysTabText, 124};
constexpr int32_t kTabFirstX = 15, kTabStepX = 105;
// The tab labels sit between the title (y 10) and the list (y 48).
constexpr int32_t kTabY = 28;
constexpr uint8_t kDimTabGrey = 110;
constexpr int32_t kOptionsTitleFromRight = 320;
constexpr int kRowGreyFirst = 200, kRowGreyStep = 4;

constexpr int32_t kKeyTextX = 4, kKeyNameX = 210;
constexpr int kKeyGreyFirst = 250, kKeyGreyStep = 8;
constexpr uint8_t kCaptureRed = 128, kCaptureGreen = 128, kCaptureBlue = 64;
// The key list scrolls until its last row stands this far above the clip
// bottom, and never below the list top.
constexpr int32_t kKeyListBottomMargin = 16;

const char* const kEffectsProbe = ".\\smp\\effets\\menu.wav";
const char* const kVoiceProbe = ".\\smp\\ms1\\voix\\124.snp";
constexpr uint8_t kProbePriority = 255;

uint8_t Level(int value) {
    return uint8_t(std::clamp(value, 0, 255));
}

void Grey(int level) {
    SetTextColour(Level(level), Level(level), Level(level));
}

bool KeyHit(int scanCode) {
    return CurrentKeyboard && CurrentKeyboard->KeyHit && CurrentKeyboard->KeyHit(scanCode);
}

bool KeyHeld(int scanCode) {
    return CurrentKeyboard && (CurrentKeyboard->keyStates[scanCode & 0xFF] & 0x80);
}

void Blit(int mode, int32_t x, int32_t y, const Picture* picture) {
    BlitRoutine routine = ActiveBlitTable.modes[mode];
    if (routine && picture && picture->pixels) routine(x, y, picture);
}

// A title in colour 0 ending 32 pixels before the clip right edge.
void DrawRightTitle(const char* text) {
    g_DrawColour = 0;
    DrawString(text, int(ScreenState.clipRight - kTitleRightMargin - TextWidth(text, ListFont)), kTitleY, ListFont);
}

// Holds MenuChoice on rows 0 .. count - 1.
void HoldChoice(int count) {
    GameStateRecord& g = GameState;
    g.menuChoice = std::clamp(g.menuChoice, 0, std::max(0, count - 1));
}

// --- inventory ------------------------------------------------------------------

// The object's translated name, cut to 12 characters and "..." when longer.
// Translations are bound to the object's own name field, so that field is
// what is looked up; an untranslated name is read within its 32 bytes.
void InventoryName(const ObjectRecord* object, char* out, size_t size) {
    const char* shown = TranslateName(object->name);
    const size_t bound = shown == object->name ? sizeof object->name : size_t(kTextBufferBytes);
    const size_t length = strnlen(shown, bound);
    if (length > size_t(kInventoryNameChars))
        std::snprintf(out, size, "%.*s...", kInventoryNameChars, shown);
    else
        std::snprintf(out, size, "%.*s", int(length), shown);
}

void DrawInventoryObject(const ObjectSlotEntry* slot, int index, bool selected, int32_t x, int32_t y) {
    const Picture* picture = slot->picture ? slot->picture->picture : nullptr;
    if (picture)
        Blit(selected ? kBlitOpaque : kBlitBlend, x + (kInventoryCell - picture->width) / 2,
             y + (kPictureBand - picture->height) / 2, picture);
    char name[kInventoryNameChars + 4];
    InventoryName(slot->object, name, sizeof name);
    if (selected && GameState.menuTabFocus == 0)
        Grey(InventoryFade);
    else
        Grey(kNameGreyFirst - kNameGreyStep * index);
    DrawString(name, int(x + (kInventoryCell - TextWidth(name, CaptionFont)) / 2), int(y + kNameY), CaptionFont);
}

// --- options --------------------------------------------------------------------

OptionItem g_soundItems[] = {
    {.label = MenuTexts[122], .value = &MusicVolume, .maximum = 63, .changeId = kChangeMusic},
    {.label = MenuTexts[123], .value = &SoundVolume, .maximum = 63, .changeId = kChangeEffects},
    {.label = MenuTexts[141], .value = &VoiceVol, .maximum = 63, .changeId = kChangeVoice},
    {.label = MenuTexts[142], .value = &SubTitles, .maximum = 1, .changeId = kChangeSubtitles},
    {.label = nullptr, .value = nullptr, .maximum = 0, .changeId = 0},
};

OptionItem g_displayItems[] = {
    {.label = MenuTexts[200], .value = &DisplayCopies.filtering, .maximum = 1, .changeId = kChangeFiltering},
    {.label = MenuTexts[201], .value = &DisplayCopies.dithering, .maximum = 1, .changeId = kChangeDithering},
    {.label = MenuTexts[202], .value = &DisplayCopies.entityPoints, .maximum = 1, .changeId = kChangeEntityPoints},
    {.label = MenuTexts[203], .value = &DisplayCopies.fastScroll, .maximum = 1, .changeId = kChangeFastScroll},
    {.label = nullptr, .value = nullptr, .maximum = 0, .changeId = 0},
};

const char* const kTabLabels[kOptionTabs] = {MenuTexts[kTabLabelTexts[0]], MenuTexts[kTabLabelTexts[1]],
                                             MenuTexts[kTabLabelTexts[2]]};

// A row's text: its label's format filled with "On" / "Off" for a switch,
// else with the value as a percentage of the maximum.
void OptionText(const OptionItem& item, char* out, size_t size) {
    const int32_t value = item.value ? *item.value : 0;
    if (item.maximum < 2)
        std::snprintf(out, size, item.label, value ? "On" : "Off");
    else
        std::snprintf(out, size, item.label, int(int64_t(value) * 100 / item.maximum));
}

// The highlighted row's keys: answers whether its value changed.
bool EditOption(const OptionItem& item) {
    if (!item.value) return false;
    const int32_t before = *item.value;
    int64_t value = before;
    if (item.maximum < 2 && (KeyHit(kScanSpace) || KeyHit(kScanEnter))) value = value ? 0 : 1;
    if (KeyHeld(kScanKeypadPlus)) ++value;
    if (KeyHeld(kScanKeypadMinus)) --value;
    *item.value = int32_t(std::clamp<int64_t>(value, 0, std::max(0, item.maximum)));
    return *item.value != before;
}

void TakeDisplayCopies() {
    DisplayCopies.filtering = int32_t(RenderOptions & 1);
    DisplayCopies.dithering = int32_t((RenderOptions >> 1) & 1);
    DisplayCopies.entityPoints = EntityPoints;
    DisplayCopies.fastScroll = FastScroll;
}

void ApplyRenderBit(uint32_t bit, int32_t on) {
    RenderOptions = on ? (RenderOptions | bit) : (RenderOptions & ~bit);
    if (ProgramDisplay.ApplyDisplayOptions) ProgramDisplay.ApplyDisplayOptions();
}

void SoundTab(int32_t x) {
    switch (DrawOptionList(g_soundItems, x, kOptionListY)) {
    case kChangeMusic: SFX_ApplyMusicVolume(); break;
    case kChangeEffects: SFX_Play(-1, kEffectsProbe, 0, kProbePriority, 0); break;
    case kChangeVoice: SFX_PlaySpeech(kVoiceProbe, nullptr, 1); break;
    default: break;
    }
}

void DisplayTab(int32_t x) {
    switch (DrawOptionList(g_displayItems, x, kOptionListY)) {
    case kChangeFiltering: ApplyRenderBit(1, DisplayCopies.filtering); break;
    case kChangeDithering: ApplyRenderBit(2, DisplayCopies.dithering); break;
    case kChangeEntityPoints: EntityPoints = DisplayCopies.entityPoints; break;
    case kChangeFastScroll: FastScroll = DisplayCopies.fastScroll; break;
    default: break;
    }
}

// --- keys -----------------------------------------------------------------------

// The bindings shown: the table ends at its size or at a scan code of 0.
int BindingCount() {
    int n = 0;
    while (n < kKeyBindings && PlayerKeyBindings[n].scanCode != 0) ++n;
    return n;
}

const char* KeyName(uint8_t scanCode) {
    const KeyboardDriver* k = CurrentKeyboard;
    const char* name = k && k->GetKeyName ? k->GetKeyName(scanCode) : nullptr;
    return name ? name : "";
}

// Up and Down held scroll the list by the frame step, as far as its last
// row needs and never below the list top.
void ScrollKeyList(int rows) {
    const int32_t lowest =
        std::min(kListTop, ScreenState.clipBottom - kKeyListBottomMargin - rows * kOptionRowStep);
    if (KeyHeld(0xC8)) MenuListScroll += GameTimer.DeltaUnits;
    if (KeyHeld(0xD0)) MenuListScroll -= GameTimer.DeltaUnits;
    MenuListScroll = std::clamp(MenuListScroll, lowest, kListTop);
}

// One pass of the capture's waits: the window's messages, then the keys.
void CapturePass(KeyboardDriver* k) {
    PumpMessages();
    if (k->Update) k->Update();
}

// Passes until `done` answers true or the wait has lasted too long;
// answers whether `done` ended it.
template <class Done>
bool WaitPasses(KeyboardDriver* k, Done done) {
    const uint32_t start = GetTimeMs();
    while (!done()) {
        if (GetTimeMs() - start >= kKeyCaptureWaitMs) return false;
        CapturePass(k);
    }
    return true;
}

}  // namespace

// --- inventory ------------------------------------------------------------------

void InventoryCell(int n, int32_t clipRight, int32_t screenWidth, int32_t* x, int32_t* y) {
    int32_t cx = kInventoryFirstX, cy = kInventoryFirstY;
    for (int i = 0; i < n; ++i) {
        if (clipRight < cx + kInventoryWrapRoom) {
            cx = screenWidth / 2;
            cy += kInventoryCell;
        } else {
            cx += kInventoryCell;
        }
    }
    *x = cx;
    *y = cy;
}

void InventoryPage(CharacterRecord* hero) {
    RecordGameCall("InventoryPage", hero);
    InventoryFade = uint8_t(InventoryFade + GameTimer.DoubleDelta);
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[kInventoryCaptionText], 0);
    if (!hero) return;
    const int count = std::min<int>(hero->inventoryCount, kInventorySlots);
    int carried = 0;
    for (int i = 0; i < count; ++i) carried += hero->inventory[i] && hero->inventory[i]->object ? 1 : 0;
    char title[kTextBufferBytes];
    std::snprintf(title, sizeof title, "%d %s", carried, MenuTexts[kInventoryTitleText]);
    DrawRightTitle(title);
    const ScreenStateRecord& s = ScreenState;
    int drawn = 0;
    for (int i = 0; i < count; ++i) {
        const ObjectSlotEntry* slot = hero->inventory[i];
        if (!slot || !slot->object) continue;
        int32_t x = 0, y = 0;
        InventoryCell(drawn++, s.clipRight, s.width, &x, &y);
        DrawInventoryObject(slot, i, i + 1 == hero->selectedEntry, x, y);
    }
}

// --- options --------------------------------------------------------------------

void DrawOptionTabs(const char* const* labels) {
    GameStateRecord& g = GameState;
    g.menuValueIndex = std::clamp(g.menuValueIndex, 0, 1);
    for (int tab = 0; tab < kOptionTabs; ++tab) {
        if (tab == g.menuColumn)
            SetTextColour(uint8_t(MenuPulse * 120 / 256), uint8_t(MenuPulse * 160 / 256),
                          uint8_t(MenuPulse * 255 / 256));
        else
            Grey(kDimTabGrey);
        DrawString(labels[tab], int(ScreenState.width / 2 + kTabFirstX + kTabStepX * tab), kTabY, ListFont);
    }
}

int32_t DrawOptionList(const OptionItem* items, int32_t x, int32_t y) {
    int rows = 0;
    while (items[rows].label) ++rows;
    HoldChoice(rows);
    int32_t changed = 0;
    for (int row = 0; row < rows; ++row) {
        const OptionItem& item = items[row];
        const bool highlighted = row == GameState.menuChoice;
        if (highlighted && EditOption(item)) changed = item.changeId;
        char text[kTextBufferBytes];
        OptionText(item, text, sizeof text);
        Grey(highlighted ? MenuPulse : kRowGreyFirst - kRowGreyStep * row);
        DrawString(text, int(x), int(y + kOptionRowStep * row), ListFont);
    }
    return changed;
}

void OptionsPage() {
    RecordGameCall("OptionsPage");
    const int32_t x = ScreenState.width / 2 - 5;
    TakeDisplayCopies();
    DrawOptionTabs(kTabLabels);
    const int32_t tab = GameState.menuColumn;
    if (tab == kOptionsKeys) {
        KeyConfigPage(x);
        return;
    }
    if (tab != kOptionsSound && tab != kOptionsDisplay) return;
    g_DrawColour = 0;
    DrawString(kTabLabels[tab], int(ScreenState.clipRight - kOptionsTitleFromRight), kTitleY, ListFont);
    if (tab == kOptionsSound)
        SoundTab(x);
    else
        DisplayTab(x);
}

// --- keys -----------------------------------------------------------------------

void SwapKeyBinding(uint8_t oldKey, uint8_t newKey) {
    for (int i = 0; i < kKeyBindings && PlayerKeyBindings[i].scanCode != 0; ++i)
        if (PlayerKeyBindings[i].scanCode == newKey) PlayerKeyBindings[i].scanCode = oldKey;
}

uint8_t CaptureKey() {
    KeyboardDriver* k = CurrentKeyboard;
    if (!k) return 0;
    VideoDriver* video = CurrentVideoDriver;
    const bool locked = video && (ScreenState.flags2 & kScreen2Locked);
    if (locked) video->Unlock(video);
    if (PresentHook) PresentHook();
    uint8_t key = 0;
    // Enter's release, then a pause in which no key counts, then the first
    // key seen pressed (a key seen only released is passed over).
    if (WaitPasses(k, [&] { return !(k->keyStates[kScanEnter] & 0x80); })) {
        for (int i = 0; i < kKeyCapturePasses; ++i) {
            CapturePass(k);
            k->lastScanCode = 0;
        }
        const bool pressed = WaitPasses(k, [&] {
            const uint8_t last = k->lastScanCode;
            if (last && (k->keyStates[last] & 0x80)) return true;
            k->lastScanCode = 0;
            return false;
        });
        if (pressed) key = k->lastScanCode;
    }
    for (int i = 0; i < kKeyCapturePasses; ++i) CapturePass(k);
    if (k->Reset) k->Reset();
    if (locked) video->Lock(video);
    char line[24];
    std::snprintf(line, sizeof line, "CaptureKey %d", int(key));
    RunTrace(line);
    return key;
}

void KeyConfigPage(int32_t x) {
    ScreenStateRecord& s = ScreenState;
    GameStateRecord& g = GameState;
    // The title is drawn above the list's clip top, so before it is set.
    DrawRightTitle(MenuTexts[kKeysTabText]);
    if (g.menuTabFocus == 0) DrawPageTitle(MenuTexts[kKeyCaptionText], 0);
    const int rows = BindingCount();
    HoldChoice(rows);
    const bool capture = rows > 0 && KeyHit(kScanEnter);
    const int32_t savedTop = s.clipTop;
    s.clipTop = kListTop;
    for (int row = 0; row < rows; ++row) {
        if (row != g.menuChoice)
            Grey(kKeyGreyFirst - kKeyGreyStep * row);
        else if (capture)
            SetTextColour(kCaptureRed, kCaptureGreen, kCaptureBlue);
        else
            Grey(MenuPulse);
        const int32_t y = MenuListScroll + kOptionRowStep * row;
        DrawString(PlayerKeyBindings[row].label, int(x + kKeyTextX), int(y), ListFont);
        DrawString(KeyName(PlayerKeyBindings[row].scanCode), int(x + kKeyNameX), int(y), ListFont);
    }
    s.clipTop = savedTop;
    if (capture) {
        KeyBinding& binding = PlayerKeyBindings[g.menuChoice];
        const uint8_t key = CaptureKey();
        if (key != 0) {
            SwapKeyBinding(binding.scanCode, key);
            binding.scanCode = key;
        }
    }
    ScrollKeyList(rows);
}
