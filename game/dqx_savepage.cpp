// The load, save and delete pages and the missions' names for save names.
#include "game/dqx_savepage.h"

#include "game/characters.h"
#include "game/dqx_menu.h"
#include "game/dqx_overlay.h"
#include "game/dqx_save.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "platform/display/blit.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/input.h"
#include "platform/settings.h"

#include <cstdio>
#include <cstring>
#include <ctime>

int32_t LastSaveSlot = 0;
char SaveSlotLabels[kSavePageSlots][kSaveLabelBytes];

namespace {

constexpr int kLoadTitleText = 92;
constexpr int kSaveTitleText = 29;
constexpr int kDeleteTitleText = 161;
constexpr int kLoadCaptionText = 168;
constexpr int kSaveCaptionText = 169;
constexpr int kEmptySlotText = 139;
constexpr int kOutsideMissionsText = 140;
constexpr int kSavedText = 136;
constexpr int kLastNamedMission = 10;

constexpr int32_t kTitleY = 10;
constexpr int32_t kTitleRightMargin = 64;
constexpr int32_t kFirstRowY = 43;
constexpr int32_t kRowGap = 3;
// The gap between the two reserved slots (quick save, autosave) and the
// ten others.
constexpr int32_t kReservedGap = 32;
constexpr int kReservedSlots = 2;
constexpr uint8_t kReservedColour[3] = {128, 100, 100};

bool g_labelsRead = false;

bool KeyHit(int scanCode) {
    return CurrentKeyboard && CurrentKeyboard->KeyHit && CurrentKeyboard->KeyHit(scanCode);
}

// MenuChoice kept on the slots, wrapping at both ends.
int32_t HeldChoice() {
    int32_t& choice = GameState.menuChoice;
    if (choice < 0) choice = kSavePageSlots - 1;
    if (choice >= kSavePageSlots) choice = 0;
    return choice;
}

// ListFont's glyphs 2 pixels lower while a page draws.
class LowerGlyphs {
public:
    LowerGlyphs() : sprite_(ListFont && ListFont->sprites && ListFont->count > 0 ? &ListFont->sprites[0] : nullptr) {
        if (sprite_) sprite_->height -= 2;
    }
    ~LowerGlyphs() {
        if (sprite_) sprite_->height += 2;
    }
    LowerGlyphs(const LowerGlyphs&) = delete;
    LowerGlyphs& operator=(const LowerGlyphs&) = delete;

private:
    Picture* sprite_;
};

// The title in colour 0, ending 64 pixels before the clip right edge; the
// caption while the focus is inside the page.
void DrawFrame(int titleText, int captionText) {
    const char* title = MenuTexts[titleText];
    g_DrawColour = 0;
    DrawString(title, int(ScreenState.clipRight - TextWidth(title, ListFont) - kTitleRightMargin), kTitleY, ListFont);
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[captionText], 1);
}

// The 12 labels in rows, each in the colour the page gives its slot.
template <class Colour>
void DrawSlots(Colour colour) {
    if (!g_labelsRead) ReadSaveSlotLabels();
    const int32_t step = FontGlyphHeight(ListFont) + kRowGap;
    int32_t y = kFirstRowY;
    for (int slot = 0; slot < kSavePageSlots; ++slot) {
        g_DrawColour = colour(slot);
        DrawString(SaveSlotLabels[slot], int(ScreenState.width / 2), y, ListFont);
        y += step + (slot == kReservedSlots - 1 ? kReservedGap : 0);
    }
}

uint32_t Grey(int level) {
    const uint8_t v = uint8_t(level < 0 ? 0 : level > 255 ? 255 : level);
    return PackTextColour(v, v, v);
}

uint32_t Reserved() {
    return PackTextColour(kReservedColour[0], kReservedColour[1], kReservedColour[2]);
}

}  // namespace

void ReadSaveSlotLabels() {
    for (int slot = 0; slot < kSavePageSlots; ++slot) {
        char name[kSaveNameBytes];
        char* label = SaveSlotLabels[slot];
        if (ReadSaveHeader(name, slot) == 0)
            std::snprintf(label, kSaveLabelBytes, "%s", name);
        else
            std::snprintf(label, kSaveLabelBytes, MenuTexts[kEmptySlotText], slot);
    }
    g_labelsRead = true;
}

const char* GetMissionName() {
    // The last entry of the list starts mission 21; the numbered missions
    // are found in its table of missions.
    for (int i = 0; i + 1 < kMissionListEntries; ++i)
        if (kMissionListMissions[i] == MissionNumber) return MenuTexts[kMissionListFirstText + i];
    return kMissionListLastEntry;
}

void MakeSaveName(char* out, size_t size) {
    if (!out || size == 0) return;
    const size_t limit = size < kSaveNameBytes ? size : kSaveNameBytes;
    if (MissionNumber < 1 || MissionNumber > kLastNamedMission) {
        std::snprintf(out, limit, "%s", MenuTexts[kOutsideMissionsText]);
        return;
    }
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) std::strftime(when, sizeof when, "%m/%d/%y %H:%M:%S", local);
    std::snprintf(out, limit, "%s-%s", GetMissionName(), when);
}

void LoadGamePage() {
    RecordGameCall("LoadGamePage");
    LowerGlyphs lowered;
    DrawFrame(kLoadTitleText, kLoadCaptionText);
    const int32_t choice = HeldChoice();
    DrawSlots([choice](int slot) {
        if (slot == choice) return Grey(MenuPulse);
        return slot < kReservedSlots ? Reserved() : Grey(188 - 8 * slot);
    });
    ++MenuPulse;
    if (!KeyHit(kScanEnter)) return;
    // The game is read after the frame is unlocked; the menu closes.
    QueueMenuRequest({MenuRequestKind::kLoadGame, choice, 0});
    GameState.menuDirection = 1;
    GameState.menuSlide = kSlideLast;
    LastSaveSlot = choice;
}

void SaveGamePage(int deleteMode) {
    RecordGameCall("SaveGamePage", nullptr, deleteMode);
    LowerGlyphs lowered;
    DrawFrame(deleteMode ? kDeleteTitleText : kSaveTitleText, kSaveCaptionText);
    const int32_t choice = HeldChoice();
    DrawSlots([choice](int slot) {
        if (slot == choice) return DefaultTextColour;
        return slot < kReservedSlots ? Reserved() : Grey(128);
    });
    if (!KeyHit(kScanEnter)) return;
    if (deleteMode) {
        DeleteSaveGame(choice);
    } else {
        char name[kSaveNameBytes];
        MakeSaveName(name, sizeof name);
        ShowStatusMessage(MenuTexts[WriteSaveGame(choice, name) ? kSavedText : kSaveFailedText]);
    }
    LastSaveSlot = choice;
    ReadSaveSlotLabels();
}
