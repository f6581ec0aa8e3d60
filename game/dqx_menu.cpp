// The menu page machine: the slide of the panel, the blinking tab of the
// current page, the page table and the list pages (main menu, mission
// choice, mission list, room jump, level jump) with their Enter choices.
#include "game/dqx_menu.h"

#include "game/characters.h"
#include "game/dqx_briefing.h"
#include "game/dqx_journalpage.h"
#include "game/dqx_load.h"
#include "game/dqx_lookup.h"
#include "game/dqx_map.h"
#include "game/dqx_objects.h"
#include "game/dqx_options.h"
#include "game/dqx_save.h"
#include "game/dqx_savepage.h"
#include "game/dqx_shop.h"
#include "game/dqx_text.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "platform/display/blit.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/input.h"
#include "platform/resfile.h"
#include "platform/settings.h"

#include <algorithm>
#include <cstdio>
#include <vector>

int32_t MenuListScroll = kListTop;
uint8_t MenuPulse = 0;
uint8_t MenuBlink = 0;
MenuRequest PendingMenuRequest{};

const uint8_t kMissionListMissions[kMissionListEntries] = {6, 5, 3, 1, 4, 2, 9, 8, 7, 10, 11};
const char kMissionListLastEntry[] = "Vantilers";
const char* const kRoomJumpNames[kRoomJumpEntries] = {"Hall Cru", "Coroner", "Ent monas", "Hall mairie",
                                                      "Hall resto"};

int MissionOfListEntry(int number) {
    return number > 10 ? 21 : number;
}

namespace {

constexpr int kNewGameAltMission = 21;
constexpr uint8_t kTitleColour = 1;  // the list title's colour word
constexpr uint8_t kDisabledGrey = 128;
constexpr int32_t kListBottomMargin = 16;
constexpr int kCaptionTabText = 173;
const char* const kSelectSound = ".\\smp\\effets\\selection1.wav";
constexpr uint8_t kSelectPriority = 255;

// The lists: title first, then the entries, null-ended.  The texts are
// the slots of MenuTexts, so a list shows the language's texts as loaded.
const char* const kMainMenuList[] = {MenuTexts[26], MenuTexts[28], MenuTexts[92], MenuTexts[29], MenuTexts[138],
                                     MenuTexts[30], MenuTexts[31], MenuTexts[33], nullptr};
const char* const kMissionChoiceList[] = {MenuTexts[27], MenuTexts[18], MenuTexts[19], nullptr};
const char* const kRoomJumpList[] = {MenuTexts[0], MenuTexts[1], MenuTexts[2], MenuTexts[3], MenuTexts[4],
                                     MenuTexts[5], nullptr};
const char* const kMissionList[] = {MenuTexts[6],  MenuTexts[7],  MenuTexts[8],  MenuTexts[9],
                                    MenuTexts[10], MenuTexts[11], MenuTexts[12], MenuTexts[13],
                                    MenuTexts[14], MenuTexts[15], MenuTexts[16], kMissionListLastEntry,
                                    nullptr};
static_assert(sizeof kMissionList / sizeof *kMissionList == kMissionListEntries + 2);
static_assert(sizeof kRoomJumpList / sizeof *kRoomJumpList == kRoomJumpEntries + 2);

// Main menu entries.
enum MainEntry { kMainNewGame, kMainLoad, kMainSave, kMainDelete, kMainCredits, kMainOptions, kMainQuit };

// The main menu's credits entry starts the short credits page.
constexpr int32_t kCreditsShort = 3;
constexpr int32_t kCreditsLoad = 11, kCreditsScrolling = 12;

bool KeyHit(int scanCode) {
    return CurrentKeyboard && CurrentKeyboard->KeyHit(scanCode);
}

// Enter on the inventory, room jump and mission pages: the next frame's
// step passes 60 and the menu is closed without a visible slide.
void CloseMenuNextFrame() {
    GameState.menuDirection = 1;
    GameState.menuSlide = kSlideLast;
}

int32_t PanelLeft() {
    const int32_t width = MenuPanelPicture ? MenuPanelPicture->width : ScreenState.clipRight + 1;
    return ScreenState.clipRight + 1 - width;
}

void Blit(int32_t x, int32_t y, const Picture* picture) {
    BlitRoutine opaque = ActiveBlitTable.modes[2];
    if (opaque && picture && picture->pixels) opaque(x, y, picture);
}

// --- step 1: the slide --------------------------------------------------------

// Moves the counter; answers the panel's offset, or -1 when the menu has
// just closed.
int32_t Slide() {
    GameStateRecord& g = GameState;
    if (g.menuSlide < 2) return 0;
    g.menuChoice = 0;
    const int64_t next = int64_t(g.menuSlide) + int64_t(g.menuDirection) * GameTimer.DoubleDelta;
    if (next <= kSlideOpen) {
        g.menuSlide = kSlideOpen;
        MenuListScroll = kListTop;
        return 0;
    }
    if (next > kSlideLast) {
        g.menuSlide = 0;
        return -1;
    }
    g.menuSlide = int32_t(next);
    return (g.menuSlide - 1) * kSlidePixels;
}

// --- step 4: the tab ----------------------------------------------------------

// The current page's tab: steady while the focus is inside the page,
// blinking while it is on the tab column.
void DrawPageTab() {
    const GameStateRecord& g = GameState;
    if (g.menuPage < kFirstTabPage || g.menuPage > kLastTabPage) return;
    if ((g.menuTabFocus == 0 || MenuBlink) && MenuTabSprites && MenuTabSprites->count >= g.menuPage)
        Blit(PanelLeft(), g.menuPage * kTabStep, &MenuTabSprites->sprites[g.menuPage - 1]);
    if (g.menuTabFocus) DrawPageTitle(MenuTexts[kCaptionTabText], 1);
}

// --- step 5: the pages --------------------------------------------------------

void NoPage() {
    GameState.menuPage = kPageJournal;
}

void ShopAlias() {
    GameState.menuPage = kPageShop;
}

void InventoryFrame() {
    InventoryPage(HeroRecord());
}

void InventoryEnter() {
    CloseMenuNextFrame();
    UseObject(HeroRecord(), 1);
}

void MainMenuFrame() {
    DrawMenuList(kMainMenuList, kMainMenuList + 1, 1);
}

void MainMenuEnter() {
    GameStateRecord& g = GameState;
    SFX_Play(-1, kSelectSound, 0, kSelectPriority, 0);
    switch (g.menuChoice) {
    case kMainNewGame:
        g.menuPage = kPageMissionChoice;
        g.menuChoice = 0;
        break;
    case kMainLoad:
    case kMainSave:
    case kMainDelete:
        g.menuPage = uint8_t(kPageLoad + (g.menuChoice - kMainLoad));
        g.menuChoice = LastSaveSlot;
        ReadSaveSlotLabels();
        break;
    case kMainCredits:
        CreditsY = 0;
        CreditsState = kCreditsShort;
        CreditsPage();
        g.menuPage = kPageCredits;
        break;
    case kMainOptions:
        g.menuColumn = 0;
        g.menuValueIndex = 0;
        g.menuChoice = 0;
        g.menuPage = kPageOptions;
        break;
    case kMainQuit:
        GameLoopState = kLoopQuitPrompt;
        break;
    default: break;
    }
}

void SavePage() {
    // No saving while the hero's special state forbids the quick save
    // (dying, held by a scene, a scripted state).
    const CharacterRecord* hero = HeroRecord();
    if (hero && hero->special == 0) SaveGamePage(0);
}

void DeletePage() {
    SaveGamePage(1);
}

void RoomJumpFrame() {
    GameState.menuTabFocus = 0;
    DrawMenuList(kRoomJumpList, kRoomJumpList + 1, 1);
}

void RoomJumpEnter() {
    const int32_t choice = GameState.menuChoice;
    if (choice >= 0 && choice < kRoomJumpEntries) {
        // A room the open mission does not have is not entered.
        const int room = FindRoom(kRoomJumpNames[choice]);
        if (room >= 0) QueueMenuRequest({MenuRequestKind::kChangeRoom, room, 0});
    }
    CloseMenuNextFrame();
    GameState.menuPage = kPageMain;
}

// The open mission's room names as a list: room 0's name stands as the
// title (not drawn), so entry i is room i.
std::vector<const char*> g_levelList;

bool BuildLevelList() {
    g_levelList.clear();
    const MissionRecord* m = MissionPtr;
    if (!m || !m->roomNames || m->roomCount <= 1) return false;
    for (int32_t i = 0; i < m->roomCount; ++i) g_levelList.push_back(m->roomNames[i] ? m->roomNames[i] : "");
    g_levelList.push_back(nullptr);
    return true;
}

void LevelJumpFrame() {
    if (BuildLevelList()) DrawMenuList(g_levelList.data(), g_levelList.data() + 1, 0);
}

void LevelJumpEnter() {
    const MissionRecord* m = MissionPtr;
    const int32_t room = GameState.menuChoice + 1;
    if (m && m->roomNames && m->roomCount > 1 && room >= 1 && room < m->roomCount)
        QueueMenuRequest({MenuRequestKind::kChangeRoom, room, 0});
}

void CreditsFrame() {
    if (CreditsState != kCreditsScrolling) CreditsState = kCreditsLoad;
    CreditsPage();
}

void MissionChoiceFrame() {
    DrawMenuList(kMissionChoiceList, kMissionChoiceList + 1, 1);
}

void MissionChoiceEnter() {
    const int32_t choice = GameState.menuChoice;
    const int mission = choice == 0 ? MissionNumber : kNewGameAltMission;
    if (MissionFileExists(mission))
        QueueMenuRequest({MenuRequestKind::kNewGame, mission, uint8_t(choice + 1)});
    CloseMenuNextFrame();
}

void MissionListFrame() {
    DrawMenuList(kMissionList, kMissionList + 1, 1);
}

void MissionListEnter() {
    const int32_t choice = GameState.menuChoice;
    if (choice < 0 || choice >= kMissionListEntries) return;
    // A disabled entry ('#' in the language's text) leaves the menu open.
    if (kMissionList[choice + 1][0] == '#') return;
    const int mission = MissionOfListEntry(kMissionListMissions[choice]);
    if (MissionFileExists(mission))
        QueueMenuRequest({MenuRequestKind::kStartMission, mission, uint8_t(choice + 1)});
    CloseMenuNextFrame();
}

// One row per page, in page order: what the page does each frame while the
// menu is open, and what Enter (and, for the room jump, Escape) does; a
// page without an Enter routine reads its own keys.
struct MenuPageRow {
    uint8_t page;
    void (*frame)();
    void (*enter)();
    bool escapeToo;
};

constexpr MenuPageRow kMenuPageTable[kMenuPages] = {
    {.page = kPageNone, .frame = NoPage, .enter = nullptr, .escapeToo = false},
    {.page = kPageShop, .frame = ShopPage, .enter = nullptr, .escapeToo = false},
    {.page = kPageInventory, .frame = InventoryFrame, .enter = InventoryEnter, .escapeToo = false},
    {.page = kPageMain, .frame = MainMenuFrame, .enter = MainMenuEnter, .escapeToo = false},
    {.page = kPageMap, .frame = MapPage, .enter = nullptr, .escapeToo = false},
    {.page = kPageJournal, .frame = JournalPage, .enter = nullptr, .escapeToo = false},
    {.page = kPageOptions, .frame = OptionsPage, .enter = nullptr, .escapeToo = false},
    {.page = kPageShopAlias, .frame = ShopAlias, .enter = nullptr, .escapeToo = false},
    {.page = 8, .frame = nullptr, .enter = nullptr, .escapeToo = false},
    {.page = 9, .frame = nullptr, .enter = nullptr, .escapeToo = false},
    {.page = 10, .frame = nullptr, .enter = nullptr, .escapeToo = false},
    {.page = 11, .frame = nullptr, .enter = nullptr, .escapeToo = false},
    {.page = 12, .frame = nullptr, .enter = nullptr, .escapeToo = false},
    {.page = kPageLoad, .frame = LoadGamePage, .enter = nullptr, .escapeToo = false},
    {.page = kPageSave, .frame = SavePage, .enter = nullptr, .escapeToo = false},
    {.page = kPageDelete, .frame = DeletePage, .enter = nullptr, .escapeToo = false},
    {.page = kPageRoomJump, .frame = RoomJumpFrame, .enter = RoomJumpEnter, .escapeToo = true},
    {.page = kPageLevelJump, .frame = LevelJumpFrame, .enter = LevelJumpEnter, .escapeToo = false},
    {.page = kPageCredits, .frame = CreditsFrame, .enter = nullptr, .escapeToo = false},
    {.page = kPageMissionChoice, .frame = MissionChoiceFrame, .enter = MissionChoiceEnter, .escapeToo = false},
    {.page = kPageMissionList, .frame = MissionListFrame, .enter = MissionListEnter, .escapeToo = false},
};

constexpr bool RowsInPageOrder(const MenuPageRow* rows, int count) {
    for (int i = 0; i < count; ++i)
        if (rows[i].page != i) return false;
    return true;
}

void RunPage() {
    const uint8_t page = GameState.menuPage;
    if (page >= kMenuPages) return;
    const MenuPageRow& row = kMenuPageTable[page];
    if (row.frame) row.frame();
    if (row.enter && (KeyHit(kScanEnter) || (row.escapeToo && KeyHit(kScanEscape)))) row.enter();
}

// --- DrawMenuList -------------------------------------------------------------

uint32_t ListGrey(int level) {
    const uint8_t v = uint8_t(std::clamp(level, 0, 255));
    return PackTextColour(v, v, v);
}

void DrawListEntry(const char* text, int index, int32_t y) {
    const GameStateRecord& g = GameState;
    const bool highlighted = index == g.menuChoice + 1;
    g_DrawColour = highlighted && !g.menuTabFocus ? ListGrey(MenuPulse) : ListGrey(250 - 16 * (index - 1));
    if (text[0] == '#') {
        g_DrawColour = ListGrey(kDisabledGrey);
        ++text;
    }
    DrawString(text, int(ScreenState.width / 2), y, ListFont);
    if (!highlighted) return;
    // The list creeps toward the highlighted entry a little every frame.
    if (y > ScreenState.clipBottom - kListBottomMargin) MenuListScroll -= GameTimer.DoubleDelta;
    if (y < kListTop) MenuListScroll += GameTimer.DoubleDelta;
}

}  // namespace

static_assert(RowsInPageOrder(kMenuPageTable, kMenuPages));

void DrawMenuList(const char* const* list, const char* const* entries, int drawTitle) {
    if (!list || !entries) return;
    int n = 0;
    while (list[n]) ++n;
    if (n == 0) return;
    GameStateRecord& g = GameState;
    if (drawTitle) {
        g_DrawColour = kTitleColour;
        DrawString(list[0], int(ScreenState.width / 2) + 2, 10, ListFont);
    }
    ScreenStateRecord& s = ScreenState;
    const int32_t savedTop = s.clipTop;
    s.clipTop = kListTop;
    if (n < 2) {
        // A title alone: nothing to choose and no caption.
        g.menuChoice = 0;
    } else {
        if (g.menuChoice < 0) g.menuChoice = n - 2;
        if (g.menuChoice >= n - 1) g.menuChoice = 0;
        if (g.menuTabFocus == 0) DrawPageTitle(entries[g.menuChoice], 2);
    }
    const int32_t step = FontGlyphHeight(ListFont) + 2;
    int32_t y = MenuListScroll;
    for (int i = 1; i < n; ++i, y += step) DrawListEntry(entries[i - 1], i, y);
    s.clipTop = savedTop;
}

int RunMenuPages() {
    RecordGameCall("RunMenuPages", nullptr, GameState.menuPage, GameState.menuSlide);
    const int32_t offset = Slide();
    if (offset < 0) return 0;
    if (MenuPanelPicture) Blit(PanelLeft(), offset, MenuPanelPicture);
    // Nothing else is drawn, and no key read, while the panel moves.
    if (offset != 0) return 1;
    DrawPageTab();
    RunPage();
    return 1;
}

void QueueMenuRequest(MenuRequest request) {
    PendingMenuRequest = request;
}

void RunMenuRequest() {
    const MenuRequest r = PendingMenuRequest;
    PendingMenuRequest = MenuRequest{};
    switch (r.kind) {
    case MenuRequestKind::kNone: return;
    case MenuRequestKind::kChangeRoom:
        ChangeRoom(r.value);
        return;
    case MenuRequestKind::kNewGame:
    case MenuRequestKind::kStartMission:
        FirstMission = 1;
        if (r.kind == MenuRequestKind::kNewGame) {
            // A new game starts with no energy carried over.
            GameplaySettings.energyAccount = 0;
            CharacterRecord* hero = HeroRecord();
            if (hero && hero->def) hero->def->energy = 0;
        }
        GoToMission(r.value, 0);
        GameState.chosenEntry = r.entry;
        return;
    case MenuRequestKind::kLoadGame:
        ReadSaveGame(r.value);
        return;
    }
}
