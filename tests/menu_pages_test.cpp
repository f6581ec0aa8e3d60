// The menu page machine: the slide counter, the blinking tab, the page
// table, the main menu's choices, DrawMenuList (wrap, scroll, colours, no
// caption below two texts), the mission list's missions, the mission
// choice, the room jump by name, the level jump, and the room and mission
// changes held until the frame is unlocked.
#include "menu_support.h"

#include "game/dqx_briefing.h"
#include "game/dqx_menu.h"
#include "game/dqx_savepage.h"
#include "game/mission_records.h"
#include "mission_fixtures.h"
#include "platform/resfile.h"
#include "platform/step_log.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using test::GdiCall;

constexpr uint16_t kPanelColour = 0x0842;
// Tab i (page i + 1) is drawn in this colour + i.
constexpr uint16_t kTabColour = 0x7000;

class MenuPagesTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        panelPixels_.assign(640 * 480, kPanelColour);
        panel_ = Picture{640, 480, reinterpret_cast<uint8_t*>(panelPixels_.data()), nullptr};
        tabPixels_.assign(6, std::vector<uint16_t>(88 * 40));
        tabs_.clear();
        for (int i = 0; i < 6; ++i) {
            std::fill(tabPixels_[size_t(i)].begin(), tabPixels_[size_t(i)].end(), uint16_t(kTabColour + i));
            tabs_.push_back(Picture{88, 40, reinterpret_cast<uint8_t*>(tabPixels_[size_t(i)].data()), nullptr});
        }
        tabSet_ = SpriteSet{tabs_.data(), 6, 0, 0, 0, 0};
        savedPanel_ = MenuPanelPicture, savedTabs_ = MenuTabSprites;
        MenuPanelPicture = &panel_;
        MenuTabSprites = &tabSet_;
        GameState = GameStateRecord{};
        GameLoopState = kLoopPlay;
        GameTimer.DoubleDelta = 6;  // 3 ticks a frame
        MenuListScroll = kListTop;
        MenuPulse = 200;
        MenuBlink = 0;
        PendingMenuRequest = MenuRequest{};
        CreditsState = 0;
        LastSaveSlot = 0;
        heroes_.assign(kCharacterSlots, CharacterRecord{});
        savedTable_ = CharacterTable;
        CharacterTable = heroes_.data();
        savedFiles_ = CurrentFileTable;
        files_ = savedFiles_ ? *savedFiles_ : FileTable{};
        files_.Exists = Exists;
        CurrentFileTable = &files_;
        existing_ = {};
        asked_.clear();
        savedMission_ = MissionPtr;
        MissionPtr = nullptr;
        savedNumber_ = MissionNumber;
    }
    void TearDown() override {
        MenuPanelPicture = savedPanel_, MenuTabSprites = savedTabs_;
        CharacterTable = savedTable_;
        CurrentFileTable = savedFiles_;
        MissionPtr = savedMission_;
        MissionNumber = savedNumber_;
        PendingMenuRequest = MenuRequest{};
        GameState = GameStateRecord{};
        GameLoopState = kLoopPlay;
        CreditsState = 0;
        MenuTest::TearDown();
    }

    // The mission files that exist, by mission number.
    static int Exists(const char* name) {
        Self()->asked_.push_back(name);
        for (int m : Self()->existing_) {
            char wanted[32];
            std::snprintf(wanted, sizeof wanted, ".\\ms%d\\mission.mpl", m);
            if (std::string(name) == wanted) return 1;
        }
        return 0;
    }
    static MenuPagesTest* Self() { return static_cast<MenuPagesTest*>(current_); }

    // The menu fully open on the page.
    void OpenOn(uint8_t page, int32_t choice = 0) {
        GameState.menuSlide = kSlideOpen;
        GameState.menuDirection = -1;
        GameState.menuPage = page;
        GameState.menuChoice = choice;
    }
    // One frame of the menu with the keys pressed, the screen cleared first.
    int Frame(std::initializer_list<int> keys = {}) {
        std::fill(memory_.begin(), memory_.end(), 0);
        calls_.clear();
        for (int k : keys) Press(k);
        const int result = RunMenuPages();
        std::fill(std::begin(pressed_), std::end(pressed_), false);
        return result;
    }
    // The rows of column 10 where the panel's top edge lies (-1 when the
    // panel is not on the screen).
    int PanelTop() const {
        for (int y = 0; y < 480; ++y)
            if (Pixel(10, y) == kPanelColour) return y;
        return -1;
    }
    // The drawn text at (x, y), or "" when none.
    std::string TextAt(int x, int y) const {
        for (const GdiCall& c : Drawn())
            if (c.x == x && c.y == y) return c.text;
        return "";
    }

    std::vector<uint16_t> panelPixels_;
    std::vector<std::vector<uint16_t>> tabPixels_;
    std::vector<Picture> tabs_;
    Picture panel_{};
    SpriteSet tabSet_{};
    Picture* savedPanel_ = nullptr;
    SpriteSet* savedTabs_ = nullptr;
    std::vector<CharacterRecord> heroes_;
    CharacterRecord* savedTable_ = nullptr;
    const FileTable* savedFiles_ = nullptr;
    FileTable files_{};
    std::vector<int> existing_;
    std::vector<std::string> asked_;
    MissionRecord* savedMission_ = nullptr;
    uint8_t savedNumber_ = 0;
};

// The slide: while the counter is 2 or more it moves by direction x twice
// the frame step and the choice returns to 0; at 1 or less the panel is
// open (list scroll 48), past 60 the menu is closed that frame with
// nothing drawn; between, the panel stands 8 pixels lower per count above
// 1 and no page is drawn.
TEST_F(MenuPagesTest, SlideCounterRows) {
    struct Row {
        const char* name;
        int32_t slide, direction, doubleStep;
        int32_t slideAfter;
        int result;
        int panelTop;  // -1: not drawn
        bool pageDrawn;
        int32_t choiceAfter, scrollAfter;
    };
    const Row rows[] = {
        {"opening from 50", 50, -1, 6, 44, 1, 344, false, 0, 100},
        {"opening at 8", 8, -1, 6, 2, 1, 8, false, 0, 100},
        {"opening ends at 1 or less", 7, -1, 6, 1, 1, 0, true, 0, 48},
        {"opening lands on 1", 3, -1, 2, 1, 1, 0, true, 0, 48},
        {"fully open: no slide", 1, -1, 6, 1, 1, 0, true, 3, 100},
        {"closing from 2", 2, 1, 6, 8, 1, 56, false, 0, 100},
        {"closing reaches 60, still drawn", 54, 1, 6, 60, 1, 472, false, 0, 100},
        {"a step past 60 closes at once", 56, 1, 6, 0, 0, -1, false, 0, 100},
        {"Enter's 60 closes the next frame", 60, 1, 2, 0, 0, -1, false, 0, 100},
        {"Backspace's step: 50 to 2", 50, -1, 48, 2, 1, 8, false, 0, 100},
        {"Backspace's step opens from 49", 49, -1, 48, 1, 1, 0, true, 0, 48},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        OpenOn(kPageMain, 3);
        GameState.menuSlide = r.slide;
        GameState.menuDirection = r.direction;
        GameTimer.DoubleDelta = r.doubleStep;
        MenuListScroll = 100;
        EXPECT_EQ(Frame(), r.result);
        EXPECT_EQ(GameState.menuSlide, r.slideAfter);
        EXPECT_EQ(PanelTop(), r.panelTop);
        EXPECT_EQ(Find(MenuTexts[26]) != nullptr, r.pageDrawn);  // the main menu's title
        if (!r.pageDrawn) {
            EXPECT_TRUE(Drawn().empty());
        }
        EXPECT_EQ(GameState.menuChoice, r.choiceAfter);
        EXPECT_EQ(MenuListScroll, r.scrollAfter);
    }
}

// A whole opening and closing on the virtual clock: Escape's opener sets 50
// going down, the panel is open on the ninth frame; the closer sets 2 going
// up, and the menu is closed on the tenth.
TEST_F(MenuPagesTest, OpeningAndClosingTakeNineAndTenFrames) {
    OpenOn(kPageMain);
    GameState.menuSlide = 50;
    int frames = 0;
    while (GameState.menuSlide != kSlideOpen && frames < 100) Frame(), ++frames;
    EXPECT_EQ(frames, 9);
    GameState.menuSlide = 2;
    GameState.menuDirection = 1;
    frames = 0;
    int result = 1;
    while (result == 1 && frames < 100) result = Frame(), ++frames;
    EXPECT_EQ(frames, 10);
    EXPECT_EQ(GameState.menuSlide, 0);
}

// The tab of a page 1 to 6 stands at y = page x 44 while the focus is in
// the page, and blinks with MenuBlink while the focus is on the tab column,
// which also shows caption line 1, text 173.
TEST_F(MenuPagesTest, TabBlinksWhileTheFocusIsOnTheTabs) {
    struct Row {
        uint8_t page;
        int32_t focus;
        uint8_t blink;
        bool tab, caption;
    };
    const Row rows[] = {
        {3, 0, 0, true, false}, {3, 0, 1, true, false}, {3, 1, 1, true, true}, {3, 1, 0, false, true},
        {1, 0, 0, true, false}, {6, 1, 1, true, true},  {13, 1, 1, false, false}, {16, 1, 1, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.page) * 100 + r.focus * 10 + r.blink);
        OpenOn(r.page);
        GameState.menuTabFocus = r.focus;
        MenuBlink = r.blink;
        Frame();
        for (int page = 1; page <= 6; ++page) {
            const bool shown = Pixel(10, page * 44 + 20) == uint32_t(kTabColour + page - 1);
            EXPECT_EQ(shown, r.tab && page == r.page) << page;
        }
        const GdiCall* caption = Find(MenuTexts[173]);
        EXPECT_EQ(caption != nullptr, r.caption);
        if (caption) {
            EXPECT_EQ(caption->y, 479 - 32);
        }
    }
}

// Every page's frame by the table: passages, the later pages' routines
// with their captions, the save page only while the hero's special state
// (dying 4, held by a scene 8, scripted 16 and 32) allows the quick save, the
// credits state, and nothing for the empty pages and those above 20.
TEST_F(MenuPagesTest, PageTableDispatch) {
    struct Row {
        uint8_t page;
        uint8_t heroSpecial;
        int32_t creditsState;
        std::vector<std::string> calls;  // of the page routines, in order
        int32_t argument;                // the first call's
        uint8_t pageAfter;
        int caption;  // menu text shown as a caption, -1 none
        int32_t creditsAfter;
    };
    const Row rows[] = {
        {0, 0, 0, {}, 0, kPageJournal, -1, 0},
        {7, 0, 0, {}, 0, kPageShop, -1, 0},
        {1, 0, 0, {"ShopPage"}, 0, 1, 170, 0},
        {2, 0, 0, {"InventoryPage"}, 0, 2, 171, 0},
        {4, 0, 0, {"MapPage"}, 0, 4, 175, 0},
        {5, 0, 0, {"JournalPage"}, 0, 5, -1, 0},
        {6, 0, 0, {"OptionsPage"}, 0, 6, -1, 0},
        {8, 0, 0, {}, 0, 8, -1, 0},
        {12, 0, 0, {}, 0, 12, -1, 0},
        {13, 0, 0, {"LoadGamePage"}, 0, 13, 168, 0},
        {14, 0, 0, {"SaveGamePage"}, 0, 14, 169, 0},
        {14, 4, 0, {}, 0, 14, -1, 0},
        {14, 8, 0, {}, 0, 14, -1, 0},
        {14, 16, 0, {}, 0, 14, -1, 0},
        {14, 32, 0, {}, 0, 14, -1, 0},
        {15, 16, 0, {"SaveGamePage"}, 1, 15, 169, 0},
        {18, 0, 0, {"CreditsPage"}, 11, 18, -1, 12},  // loaded: scrolling
        {18, 0, 12, {"CreditsPage"}, 12, 18, -1, 12},
        {21, 0, 0, {}, 0, 21, -1, 0},
        {200, 0, 0, {}, 0, 200, -1, 0},
    };
    const std::set<std::string> pageRoutines = {"ShopPage",     "InventoryPage", "MapPage",      "JournalPage",
                                                "OptionsPage",  "LoadGamePage",  "SaveGamePage", "CreditsPage"};
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.page) * 100 + r.heroSpecial);
        OpenOn(r.page);
        heroes_[0].special = r.heroSpecial;
        CreditsState = r.creditsState;
        g_GameCalls.clear();
        Frame();
        std::vector<std::string> calls;
        int32_t argument = 0;
        for (const GameCall& c : g_GameCalls)
            if (pageRoutines.count(c.what)) {
                if (calls.empty()) argument = c.a;
                calls.push_back(c.what);
            }
        EXPECT_EQ(calls, r.calls);
        EXPECT_EQ(argument, r.argument);
        EXPECT_EQ(GameState.menuPage, r.pageAfter);
        EXPECT_EQ(CreditsState, r.creditsAfter);
        if (r.caption >= 0) {
            EXPECT_NE(Find(MenuTexts[r.caption]), nullptr);
        } else if (r.page != 1 && r.page != 2 && r.page != 5 && r.page != 6 && r.page <= 6) {
            EXPECT_TRUE(Drawn().empty());
        }
    }
}

// Enter on the main menu, by entry.
TEST_F(MenuPagesTest, MainMenuEnterChoices) {
    struct Row {
        const char* name;
        int32_t choice;
        uint8_t pageAfter;
        int32_t choiceAfter;
        int32_t loopState;
        int32_t creditsState;
    };
    const Row rows[] = {
        {"new game: the mission choice", 0, kPageMissionChoice, 0, kLoopPlay, 0},
        {"load: from the last slot", 1, kPageLoad, 4, kLoopPlay, 0},
        {"save", 2, kPageSave, 4, kLoopPlay, 0},
        {"delete", 3, kPageDelete, 4, kLoopPlay, 0},
        {"credits: ended and cleaned (3, then 0)", 4, kPageCredits, 4, kLoopPlay, 0},
        {"options with their cursors at 0", 5, kPageOptions, 0, kLoopPlay, 0},
        {"quit: the quit prompt", 6, kPageMain, 6, kLoopQuitPrompt, 0},
        {"Up from the first entry wraps to quit", -1, kPageMain, 6, kLoopQuitPrompt, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        OpenOn(kPageMain, r.choice);
        GameLoopState = kLoopPlay;
        LastSaveSlot = 4;
        CreditsState = 0;
        CreditsY = 250;
        GameState.menuColumn = 2;
        GameState.menuValueIndex = 5;
        g_GameCalls.clear();
        Frame({kScanEnter});
        EXPECT_EQ(GameState.menuPage, r.pageAfter);
        if (r.pageAfter != kPageCredits) {
            EXPECT_EQ(GameState.menuChoice, r.choiceAfter);
        }
        EXPECT_EQ(GameLoopState, r.loopState);
        EXPECT_EQ(CreditsState, r.creditsState);
        if (r.pageAfter == kPageCredits) {
            EXPECT_EQ(Calls("CreditsPage"), std::vector<int32_t>{3});  // once, at state 3
            EXPECT_EQ(CreditsY, 0);
        }
        if (r.pageAfter == kPageOptions) {
            EXPECT_EQ(GameState.menuColumn, 0);
            EXPECT_EQ(GameState.menuValueIndex, 0);
        }
        EXPECT_EQ(GameState.menuSlide, kSlideOpen);  // the menu stays open
    }
    // Without Enter nothing is chosen.
    GameLoopState = kLoopPlay;
    OpenOn(kPageMain, 6);
    Frame();
    EXPECT_EQ(GameLoopState, kLoopPlay);
}

// DrawMenuList wraps the choice onto the entries (below 0 the last, at the
// count or above the first), shows the highlighted entry as caption line 2
// while the focus is in the page, and for a list of fewer than two texts
// chooses nothing and shows no caption; an empty list draws nothing.
TEST_F(MenuPagesTest, DrawMenuListWrapsTheChoice) {
    static const char* const kTitleOnly[] = {"Only", nullptr};
    static const char* const kEmpty[] = {nullptr};
    struct Row {
        const char* name;
        const char* const* list;
        int32_t choice;
        int32_t focus;
        int32_t choiceAfter;
        std::string caption;  // "" none
        size_t drawn;         // texts drawn
    };
    const char* const* mainList = nullptr;
    // The main menu as page 3 shows it.
    static const char* kMain[9];
    const int slots[] = {26, 28, 92, 29, 138, 30, 31, 33};
    for (int i = 0; i < 8; ++i) kMain[i] = MenuTexts[slots[i]];
    kMain[8] = nullptr;
    mainList = kMain;
    const Row rows[] = {
        {"-1 is the last of 7", mainList, -1, 0, 6, "Quit", 9},
        {"7 is the first", mainList, 7, 0, 0, "New game", 9},
        {"inside stays", mainList, 3, 0, 3, "Delete a game", 9},
        {"far below", mainList, -40, 0, 6, "Quit", 9},
        {"far above", mainList, 1000, 0, 0, "New game", 9},
        {"no caption on the tabs", mainList, 2, 1, 2, "", 8},
        {"a title alone: no entry, no caption", kTitleOnly, 5, 0, 0, "", 1},
        {"an empty list: nothing", kEmpty, 5, 0, 5, "", 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        calls_.clear();
        GameState.menuChoice = r.choice;
        GameState.menuTabFocus = r.focus;
        DrawMenuList(r.list, r.list + (r.list[0] ? 1 : 0), 1);
        EXPECT_EQ(GameState.menuChoice, r.choiceAfter);
        EXPECT_EQ(TextAt(320, 479 - 48), r.caption);
        EXPECT_EQ(Drawn().size(), r.drawn);
        EXPECT_EQ(ScreenState.clipTop, 0);  // restored
    }
    // Without the title flag the first text is not drawn.
    calls_.clear();
    GameState.menuTabFocus = 1;
    DrawMenuList(mainList, mainList + 1, 0);
    EXPECT_EQ(Find(MenuTexts[26]), nullptr);
    EXPECT_EQ(Drawn().size(), 7u);
}

// The list creeps by twice the frame step each frame until the highlighted
// entry lies between 48 and 16 above the clip bottom; entries above the
// list's clip top of 48 are not drawn.
TEST_F(MenuPagesTest, DrawMenuListScrollsTowardTheHighlight) {
    static const char* const kList[] = {"T", "a", "b", "c", "d", "e", "f", "g", nullptr};
    struct Row {
        const char* name;
        int32_t scroll, choice;
        int32_t firstFrameScroll, settled;
    };
    // Entries are 15 + 2 = 17 pixels apart: entry 7 is 102 below the first.
    const Row rows[] = {
        {"inside: still", 48, 6, 48, 48},
        {"below the margin: up by 6 until y <= 463", 400, 6, 394, 358},
        {"above 48: down by 6 until y >= 48", -100, 0, -94, 50},
        {"on the margin: still", 361, 6, 361, 361},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        MenuListScroll = r.scroll;
        GameState.menuChoice = r.choice;
        calls_.clear();
        DrawMenuList(kList, kList + 1, 1);
        EXPECT_EQ(MenuListScroll, r.firstFrameScroll);
        // Only entries at 48 or below are drawn.
        for (const GdiCall& c : Drawn())
            if (c.x == 320 && c.y != 479 - 48) {
                EXPECT_GE(c.y, 48) << c.text;
            }
        for (int frame = 0; frame < 60; ++frame) DrawMenuList(kList, kList + 1, 1);
        EXPECT_EQ(MenuListScroll, r.settled);
    }
}

// Colours: entry i in grey 250 - 16 (i - 1), the highlighted one in grey
// MenuPulse unless the focus is on the tabs, a '#' entry in grey 128
// without its '#'; the title in colour word 1 at (width / 2 + 2, 10).
TEST_F(MenuPagesTest, DrawMenuListColours) {
    static const char* const kList[] = {"Title", "one", "#two", "three", "four", nullptr};
    struct Row {
        const char* name;
        int32_t choice, focus;
        std::vector<uint8_t> greens;  // entries 1..4 as drawn (6-bit green)
    };
    const Row rows[] = {
        {"first highlighted", 0, 0, {200, 128, 216, 200}},
        {"disabled highlighted stays grey 128", 1, 0, {248, 128, 216, 200}},
        {"focus on the tabs: no pulse", 0, 1, {248, 128, 216, 200}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        calls_.clear();
        MenuListScroll = 48;
        GameState.menuChoice = r.choice;
        GameState.menuTabFocus = r.focus;
        DrawMenuList(kList, kList + 1, 1);
        const std::vector<std::string> shown = {"one", "two", "three", "four"};
        const std::vector<GdiCall> drawn = Drawn();
        for (size_t i = 0; i < shown.size(); ++i) {
            const GdiCall* c = nullptr;
            for (const GdiCall& d : drawn)
                if (d.text == shown[i] && d.y == 48 + 17 * int(i)) c = &d;
            ASSERT_NE(c, nullptr) << shown[i];
            EXPECT_EQ(c->x, 320);
            EXPECT_EQ(c->rgb[1], r.greens[i]) << shown[i];
        }
        const GdiCall* title = Find("Title");
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->x, 322);
        EXPECT_EQ(title->y, 10);
        EXPECT_EQ(std::vector<uint8_t>(title->rgb, title->rgb + 3), (std::vector<uint8_t>{0, 0, 8}));
    }
}

// The mission list's entries start the missions 6, 5, 3, 1, 4, 2, 9, 8,
// 7, 10 and 21 when their mission.mpl exists; the start waits for the end
// of the frame and the menu closes the next frame.  A missing file closes
// the menu and starts nothing; a '#' entry does nothing at all.
TEST_F(MenuPagesTest, MissionListMapping) {
    const int expected[kMissionListEntries] = {6, 5, 3, 1, 4, 2, 9, 8, 7, 10, 21};
    existing_ = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 21};
    for (int entry = 0; entry < kMissionListEntries; ++entry) {
        SCOPED_TRACE(entry);
        OpenOn(kPageMissionList, entry);
        PendingMenuRequest = MenuRequest{};
        g_GameCalls.clear();
        Frame({kScanEnter});
        EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kStartMission);
        EXPECT_EQ(PendingMenuRequest.value, expected[entry]);
        EXPECT_EQ(PendingMenuRequest.entry, entry + 1);
        EXPECT_TRUE(Calls("GoToMission").empty());  // not inside the frame
        EXPECT_EQ(GameState.menuSlide, kSlideLast);
        EXPECT_EQ(GameState.menuDirection, 1);
    }
    // Missing: closes, nothing started.
    existing_ = {6};
    OpenOn(kPageMissionList, 1);
    PendingMenuRequest = MenuRequest{};
    Frame({kScanEnter});
    EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kNone);
    EXPECT_EQ(GameState.menuSlide, kSlideLast);
    // A '#' line: grey, without its '#', and Enter leaves the menu open.
    char saved[kMenuTextBytes];
    std::memcpy(saved, MenuTexts[9], sizeof saved);
    std::snprintf(MenuTexts[9], kMenuTextBytes, "#Sealed");
    OpenOn(kPageMissionList, 2);
    Frame({kScanEnter});
    EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kNone);
    EXPECT_EQ(GameState.menuSlide, kSlideOpen);
    const GdiCall* sealed = Find("Sealed");
    ASSERT_NE(sealed, nullptr);
    EXPECT_EQ(sealed->rgb[1], 128);
    std::memcpy(MenuTexts[9], saved, sizeof saved);
    // The last entry is the literal name; the mission list's names serve
    // the save names too.
    EXPECT_NE(Find("Vantilers"), nullptr);
    EXPECT_EQ(MissionOfListEntry(11), 21);
    EXPECT_EQ(MissionOfListEntry(10), 10);
}

// The mission choice: the current mission for the first entry, mission 21
// for the second; a new game when its mission.mpl exists; either way the
// menu closes the next frame.
TEST_F(MenuPagesTest, MissionChoiceStartsANewGame) {
    struct Row {
        int32_t choice;
        std::vector<int> existing;
        MenuRequestKind kind;
        int32_t mission;
    };
    const Row rows[] = {
        {0, {22}, MenuRequestKind::kNewGame, 22},
        {1, {22, 21}, MenuRequestKind::kNewGame, 21},
        {1, {22}, MenuRequestKind::kNone, 0},
        {-1, {21}, MenuRequestKind::kNewGame, 21},  // Up from the first entry
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.choice);
        MissionNumber = 22;
        existing_ = r.existing;
        asked_.clear();
        PendingMenuRequest = MenuRequest{};
        OpenOn(kPageMissionChoice, r.choice);
        Frame({kScanEnter});
        EXPECT_EQ(PendingMenuRequest.kind, r.kind);
        if (r.kind != MenuRequestKind::kNone) {
            EXPECT_EQ(PendingMenuRequest.value, r.mission);
            EXPECT_EQ(PendingMenuRequest.entry, GameState.menuChoice + 1);
        }
        ASSERT_EQ(asked_.size(), 1u);
        EXPECT_EQ(asked_[0], r.choice == 0 ? ".\\ms22\\mission.mpl" : ".\\ms21\\mission.mpl");
        EXPECT_EQ(GameState.menuSlide, kSlideLast);
    }
}

// The room jump finds its five rooms by name in the open mission (letter
// case ignored); Enter or Escape asks for the room, closes the menu and
// goes back to the main menu page.  A name the mission lacks enters no room.
TEST_F(MenuPagesTest, RoomJumpByName) {
    PortalRecord none{};
    RoomRecord rooms[] = {TestRoom("Start", 0, &none), TestRoom("Hall Cru", 0, &none), TestRoom("CORONER", 0, &none),
                          TestRoom("Ent monas", 0, &none), TestRoom("Hall resto", 0, &none)};
    MissionRecord mission = TestMission(0, nullptr, 5, rooms);
    MissionPtr = &mission;
    struct Row {
        int32_t choice;
        int key;
        int32_t room;  // -1: none
    };
    const Row rows[] = {
        {0, kScanEnter, 1}, {1, kScanEnter, 2}, {2, 0x01, 3}, {3, kScanEnter, -1}, {4, kScanEnter, 4}, {-1, 0x01, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.choice);
        OpenOn(kPageRoomJump, r.choice);
        GameState.menuTabFocus = 1;
        PendingMenuRequest = MenuRequest{};
        g_GameCalls.clear();
        Frame({r.key});
        EXPECT_EQ(GameState.menuTabFocus, 0);
        EXPECT_TRUE(Calls("ChangeRoom").empty());
        if (r.room < 0) {
            EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kNone);
        } else {
            EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kChangeRoom);
            EXPECT_EQ(PendingMenuRequest.value, r.room);
        }
        EXPECT_EQ(GameState.menuSlide, kSlideLast);
        EXPECT_EQ(GameState.menuPage, kPageMain);
    }
    EXPECT_STREQ(kRoomJumpNames[3], "Hall mairie");
    MissionPtr = nullptr;
}

// The level jump lists the open mission's rooms from the second (the
// first stands as the untitled list's title), and Enter asks for room
// choice + 1 with the menu left open; a mission of one room shows nothing.
TEST_F(MenuPagesTest, LevelJumpListsTheRooms) {
    PortalRecord none{};
    RoomRecord rooms[] = {TestRoom("Gate", 0, &none), TestRoom("Nave", 0, &none), TestRoom("Vault", 0, &none)};
    char* names[] = {rooms[0].name, rooms[1].name, rooms[2].name, nullptr};
    MissionRecord mission = TestMission(0, nullptr, 3, rooms);
    mission.roomNames = names;
    MissionPtr = &mission;
    struct Row {
        int32_t roomCount;
        int32_t choice;
        std::vector<std::string> drawn;
        int32_t room;  // -1 none
    };
    const Row rows[] = {
        {3, 0, {"Nave", "Nave", "Vault"}, 1},  // the caption, then the entries
        {3, 1, {"Vault", "Nave", "Vault"}, 2},
        {3, -1, {"Vault", "Nave", "Vault"}, 2},
        {1, 0, {}, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.roomCount * 10 + r.choice);
        mission.roomCount = r.roomCount;
        OpenOn(kPageLevelJump, r.choice);
        PendingMenuRequest = MenuRequest{};
        Frame({kScanEnter});
        EXPECT_EQ(DrawnTexts(), r.drawn);
        if (r.room < 0) {
            EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kNone);
        } else {
            EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kChangeRoom);
            EXPECT_EQ(PendingMenuRequest.value, r.room);
        }
        EXPECT_EQ(GameState.menuSlide, kSlideOpen);
    }
    MissionPtr = nullptr;
}

// Enter on the inventory page closes the menu at once (60, closing) and
// uses the selected object.
TEST_F(MenuPagesTest, InventoryEnterUsesTheObject) {
    OpenOn(kPageInventory);
    g_GameCalls.clear();
    Frame({kScanEnter});
    EXPECT_EQ(GameState.menuSlide, kSlideLast);
    EXPECT_EQ(GameState.menuDirection, 1);
    EXPECT_EQ(Calls("UseObject"), std::vector<int32_t>{1});
    EXPECT_EQ(Frame(), 0);  // closed the next frame, nothing drawn
    EXPECT_TRUE(Drawn().empty());
}

// The request waits until RunMenuRequest, which runs it once.
TEST_F(MenuPagesTest, RoomChangeWaitsForRunMenuRequest) {
    QueueMenuRequest({MenuRequestKind::kChangeRoom, 2, 0});
    EXPECT_TRUE(Calls("ChangeRoom").empty());
    RunMenuRequest();
    EXPECT_EQ(Calls("ChangeRoom"), std::vector<int32_t>{2});
    EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kNone);
    RunMenuRequest();
    EXPECT_EQ(Calls("ChangeRoom").size(), 1u);
}

// On the kit's missions: the mission pages' requests, run after the frame,
// go to the mission as a first mission and note the chosen entry; a new
// game carries no energy over, the mission list keeps it.
class MenuMissionTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        for (const kit::ArchiveMember& m : kit::DemoSettingsMembers("game")) Put(m.name, m.data);
    }
};

TEST_F(MenuMissionTest, MissionRequestsStartTheMission) {
    struct Row {
        MenuRequestKind kind;
        bool energyCarried;
    };
    for (const Row& r : {Row{MenuRequestKind::kNewGame, false}, Row{MenuRequestKind::kStartMission, true}}) {
        SCOPED_TRACE(int(r.kind));
        // Mission 7's own start energy, as a fresh run gets it.
        GameplaySettings = GameplaySettingsRecord{};
        FirstMission = 1;
        OpenMission(7, 0);
        StartMission(0);
        const int32_t startOf7 = GameplaySettings.energyAccount;
        ASSERT_GT(startOf7, 0);
        EndMission();
        // Mission 22 played with 1000 carried.
        GameplaySettings = GameplaySettingsRecord{};
        FirstMission = 1;
        OpenMission(22, 0);
        StartMission(0);
        FirstMission = 0;
        GameplaySettings.energyAccount = 1000;
        HeroRecord()->def->energy = 1000;
        g_StepLog.clear();
        QueueMenuRequest({r.kind, 7, 9});
        RunMenuRequest();
        EXPECT_EQ(MissionNumber, 7);
        EXPECT_EQ(GameState.chosenEntry, 9);
        EXPECT_EQ(FirstMission, 0);
        // A first mission takes no objects along.
        EXPECT_EQ(std::find(g_StepLog.begin(), g_StepLog.end(), "SaveCarriedObjects"), g_StepLog.end());
        EXPECT_EQ(GameplaySettings.energyAccount, r.energyCarried ? 1000 + startOf7 : startOf7);
        EndMission();
    }
}

}  // namespace
