// player.ini, the menu texts, the front-end resources, gameplay.ini and the
// power tables.
#include "game/characters.h"
#include "game/gameplay.h"
#include "game/dqx_overlay.h"
#include "game/player_settings.h"
#include "game/dqx_weapons.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "test_archives.h"
#include "test_support.h"
#include "tools/kit/demo_settings.h"

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

class GameSettingsTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
        CurrentFileTable = &PlainFileTable;
        DefaultPowerTables = BuiltInPowerTables;
        PowerTables = BuiltInPowerTables;
        GameplaySettings = {};
        EnergyChangeSum = 0;
        LanguageLetter = 'f';
    }
    void TearDown() override {
        test::FreeArchives();
        DefaultPowerTables = BuiltInPowerTables;
        FatalText[0] = 0;
        HeadlessTest::TearDown();
    }
    // Answers the fatal text, "" when the call returned.
    static std::string Fatal(const std::function<void()>& call) {
        try {
            call();
        } catch (const FatalReturn&) {
            return FatalText;
        }
        return "";
    }
    // The voice archive holding the menu text file, and an empty main
    // archive, as the program registers them.
    void VoiceArchive(const std::string& text) {
        std::vector<kit::ArchiveMember> members;
        if (!text.empty()) members.push_back({".\\menus\\f_text.txt", test::Bytes(text)});
        std::vector<uint8_t> voice = test::Archive(members), game = test::Archive({});
        WriteFile("voice.res", std::string(voice.begin(), voice.end()));
        WriteFile("game.res", std::string(game.begin(), game.end()));
        VoiceResArchive = ResAddArchive("voice.res", 0);
        MainResArchive = ResAddArchive("game.res", 0);
        CurrentFileTable = &ResourceFileTable;
    }
};

// --- player.ini ---------------------------------------------------------------

// Every binding's default key, as the key table gives it.
constexpr std::array<uint8_t, 21> kKeys = {0xC8, 0xD0, 0xCD, 0xCB, 0x4E, 0x4A, 0x10, 0x1E, 0x2A, 0x1C, 0x39,
                                           0x3F, 0x12, 0x17, 0x3E, 0x3D, 0x13, 0x0F, 0x38, 0x2C, 0x1F};

TEST_F(GameSettingsTest, PlayerIniIsWrittenInItsFixedLinesAndReadsBackToTheSameBytes) {
    LoadPlayerSettings();  // no file: the defaults
    // Tab on the first binding: a field of one digit at the start of the
    // value, whose leading blank the INI reader drops.
    PlayerKeyBindings[0].scanCode = 0x0F;
    PlayerKeyBindings[5].scanCode = 0x02;
    ShortcutTable[1] = ShortcutEntry(0);    // the first spell, which code 0 would lose
    ShortcutTable[2] = ShortcutEntry(129);  // the second weapon
    ShortcutTable[10] = ShortcutEntry(141);
    PowerTables.m[0].shortcut = 1;
    PowerTables.w[1].shortcut = 2;
    PowerTables.w[13].shortcut = 10;
    MusicVolume = 0;
    SoundVolume = 63;
    VoiceVol = 17;
    SubTitles = 0;
    FastScroll = 1;
    EntityPoints = 1;
    SavePlayerSettings();
    // The layout's lines: "%2x " key fields, the table as four words of
    // bytes 0-3, 4-7, 8-11, 12-15 (entries hold code + 1: 0x01, 0x82,
    // 0x8e), yes/no, and the shortcut numbers of the live rows.
    const std::string expected =
        "[Keys]\n"
        "k= f d0 cd cb 4e  2 10 1e 2a 1c 39 3f 12 17 3e 3d 13  f 38 2c 1f \n"
        "qs=820100 0 8e0000 0\n"
        "[Options]\nMusicVol=0\nSoundVol=63\nVoiceVol=17\nSubTitles=no\nFastScroll=yes\nEntityPts=yes\n"
        "[Shortcut]\n"
        "Spell0= 1  0  0  0  0  0  0 \n"
        "Spell1= 0  2  0  0  0  0  0  0  0  0  0  0  0  a \n";
    ASSERT_EQ(ReadFile("player.ini"), expected);

    PowerTables = BuiltInPowerTables;
    LoadPlayerSettings();
    EXPECT_EQ(PlayerKeyBindings[0].scanCode, 0x0F);
    EXPECT_EQ(PlayerKeyBindings[1].scanCode, 0xD0);
    EXPECT_EQ(PlayerKeyBindings[5].scanCode, 0x02);
    EXPECT_EQ(ShortcutCode(ShortcutTable[1]), 0);
    EXPECT_EQ(ShortcutCode(ShortcutTable[2]), 129);
    EXPECT_EQ(DefaultPowerTables.w[13].shortcut, 10);
    EXPECT_EQ(CurrentFileTable, &ResourceFileTable);
    CopyDefaultPowerTables();
    SavePlayerSettings();
    EXPECT_EQ(ReadFile("player.ini"), expected);
}

struct PlayerIniCase {
    const char* name;
    const char* file;  // none: no player.ini
    std::function<void(std::array<uint8_t, 21>& keys, std::array<uint8_t, 16>& table, std::array<int32_t, 6>& options,
                       std::array<int32_t, 21>& rows)>
        expect;  // changes to the defaults
};

TEST_F(GameSettingsTest, PlayerIniKeepsDefaultsForZeroesAndRefusesWhatIsOutOfRange) {
    const std::string unreadable = "[Keys]\nk=11\n;" + std::string(260, 'x') + "\n";
    const PlayerIniCase cases[] = {
        {"no file", nullptr, [](auto&, auto&, auto&, auto&) {}},
        {"a zero field keeps the default key", "[Keys]\nk=11  0 12\n",
         [](auto& k, auto&, auto&, auto&) { k[0] = 0x11, k[2] = 0x12; }},
        {"a short k= line", "[Keys]\nk=11 1f\n", [](auto& k, auto&, auto&, auto&) { k[0] = 0x11, k[1] = 0x1F; }},
        {"a first field of one digit", "[Keys]\nk= f 38\n",
         [](auto& k, auto&, auto&, auto&) { k[0] = 0x0F, k[1] = 0x38; }},
        {"fields that name no key", "[Keys]\nk=1c8 zz -1 10\n", [](auto& k, auto&, auto&, auto&) { k[3] = 0x10; }},
        {"qs of 0xFF", "[Keys]\nqs=ffffffff ff ff00 ff0000\n", [](auto&, auto&, auto&, auto&) {}},
        // Entries 0 and 11 are no shortcut numbers; code + 1 of 8 is the
        // empty eighth spell row, of 0x8f a fifteenth weapon row.
        {"qs codes", "[Keys]\nqs=08070101 8f8e8100 01000000 0\n",
         [](auto&, auto& t, auto&, auto&) { t[1] = 0x01, t[2] = 0x07, t[5] = 0x81, t[6] = 0x8e; }},
        {"volumes held in 0..63", "[Options]\nMusicVol=1000\nSoundVol=-5\nVoiceVol=63\n",
         [](auto&, auto&, auto& o, auto&) { o[0] = 63, o[1] = 0, o[2] = 63; }},
        {"switches", "[Options]\nSubTitles=no\nFastScroll=yes\nEntityPts=1\n",
         [](auto&, auto&, auto& o, auto&) { o[3] = 0, o[4] = 1, o[5] = 1; }},
        {"shortcut numbers 1..10 only", "[Shortcut]\nSpell0= 1 ff  0 10  b  a  2 \nSpell1=zz  3\n",
         [](auto&, auto&, auto&, auto& r) { r[0] = 1, r[5] = 10, r[6] = 2, r[8] = 3; }},
        // A line over 250 characters: the INI reader refuses the file.
        {"an unreadable file", unreadable.c_str(), [](auto&, auto&, auto&, auto&) {}},
    };
    for (const PlayerIniCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir_ / "player.ini");
        if (c.file) WriteFile("player.ini", c.file);
        std::array<uint8_t, 21> keys = kKeys;
        std::array<uint8_t, 16> table{};
        std::array<int32_t, 6> options = {32, 32, 32, 1, 0, 0};
        std::array<int32_t, 21> rows{};
        c.expect(keys, table, options, rows);
        // Left over from an earlier read: the defaults come back first.
        ShortcutTable[3] = 0x55;
        MusicVolume = 5;
        LoadPlayerSettings();
        for (int i = 0; i < 21; ++i) EXPECT_EQ(PlayerKeyBindings[i].scanCode, keys[size_t(i)]) << "binding " << i;
        for (int i = 0; i < 21; ++i) EXPECT_EQ(PlayerKeyBindings[i].label, MenuTexts[kKeyLabelText + i]);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(ShortcutTable[i], table[size_t(i)]) << "shortcut " << i;
        EXPECT_EQ((std::array<int32_t, 6>{MusicVolume, SoundVolume, VoiceVol, SubTitles, FastScroll, EntityPoints}),
                  options);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(DefaultPowerTables.m[i].shortcut, rows[size_t(i)]) << "spell " << i;
        for (int i = 0; i < 14; ++i) EXPECT_EQ(DefaultPowerTables.w[i].shortcut, rows[size_t(7 + i)]) << "weapon " << i;
    }
}

TEST_F(GameSettingsTest, ShortcutsHoldTheCodePlusOne) {
    struct Case {
        int code;
        uint8_t entry;
    };
    const Case cases[] = {{0, 1}, {6, 7}, {7, 0}, {127, 0}, {128, 129}, {141, 142}, {142, 0}, {-1, 0}, {255, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(ShortcutEntry(c.code), c.entry) << c.code;
        EXPECT_EQ(ShortcutCode(c.entry), c.entry ? c.code : -1) << c.code;
    }
    EXPECT_EQ(ShortcutCode(0x80), -1);  // code 127: no row
    EXPECT_EQ(ShortcutCode(0xFF), -1);
}

// --- menu texts ---------------------------------------------------------------

TEST_F(GameSettingsTest, MenuTextsTakeTheFirst256LinesCutTo63Characters) {
    std::vector<std::string> lines;
    for (int i = 0; i < 300; ++i) lines.push_back("line " + std::to_string(i));
    lines[3] = std::string(100, 'a');
    lines[5] = std::string(600, 'b');  // longer than a line buffer of 256
    VoiceArchive(kit::TextFileBytes(lines));
    LoadMenuTexts();
    EXPECT_EQ(std::string(MenuTexts[3]), std::string(63, 'a'));
    EXPECT_STREQ(MenuTexts[4], "line 4");
    EXPECT_EQ(std::string(MenuTexts[5]), std::string(63, 'b'));
    EXPECT_STREQ(MenuTexts[6], "line 6");
    EXPECT_STREQ(MenuTexts[255], "line 255");
    EXPECT_EQ(CurrentResArchive, MainResArchive);

    // A shorter file leaves the later slots empty.
    test::FreeArchives();
    VoiceArchive("one\r\ntwo\r\n");
    LoadMenuTexts();
    EXPECT_STREQ(MenuTexts[1], "two");
    EXPECT_STREQ(MenuTexts[255], "");
}

// The line reader holds 1023 characters and its newline: a longer line
// keeps its start in its own slot and the lines after it keep theirs.
TEST_F(GameSettingsTest, AnOverLongMenuTextLineKeepsTheLaterLinesInPlace) {
    struct Row {
        size_t length;
        const char* end;  // the file's line ending
    };
    const Row rows[] = {{1022, "\r\n"}, {1023, "\r\n"}, {1024, "\r\n"}, {1025, "\r\n"}, {5000, "\r\n"},
                        {1023, "\n"},    {1024, "\n"},    {1025, "\n"},    {5000, "\n"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.length) + (r.end[0] == '\r' ? " CRLF" : " LF"));
        std::string file;
        for (int i = 0; i < 256; ++i) file += (i == 3 ? std::string(r.length, 'c') : "line " + std::to_string(i)) + r.end;
        test::FreeArchives();
        VoiceArchive(file);
        LoadMenuTexts();
        EXPECT_EQ(std::string(MenuTexts[3]), std::string(63, 'c'));
        EXPECT_STREQ(MenuTexts[4], "line 4");
        EXPECT_STREQ(MenuTexts[255], "line 255");
    }
}

TEST_F(GameSettingsTest, AMissingMenuTextFileIsFatal) {
    VoiceArchive("");
    EXPECT_EQ(Fatal(LoadMenuTexts), "can't find translation file .\\menus\\f_text.txt.");
    EXPECT_EQ(CurrentResArchive, MainResArchive);
}

TEST_F(GameSettingsTest, FormatLinesAreCutBeforeAConversionTheirCallersDoNotPass) {
    struct Case {
        int slot;
        const char* line;
        const char* kept;
    };
    const Case cases[] = {
        {93, "You take %s.", "You take %s."},
        {93, "Took %d of %s", "Took "},           // a number where a text comes
        {105, "%s gives %s to %s", "%s gives %s to "},  // one conversion too many
        {112, "%-3d s %%", "%-3d s %%"},
        {112, "%5.1f s", ""},                     // a double where an int comes
        {132, "%d %d %d", "%d %d %d"},
        {139, "%*d", ""},                         // the width would take an argument
        {139, "%ld", ""},
        {199, "%.20s left", "%.20s left"},
        {106, "%n", ""},
        {107, "end %", "end "},
        {162, "no conversion", "no conversion"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string> lines(256);
        lines[size_t(c.slot)] = c.line;
        test::FreeArchives();
        VoiceArchive(kit::TextFileBytes(lines));
        LoadMenuTexts();
        EXPECT_STREQ(MenuTexts[c.slot], c.kept);
    }
}

// The demo's English file: every slot a Part addresses by number is there,
// and each format line takes exactly the arguments its callers pass.
TEST_F(GameSettingsTest, DemoMenuTextsHoldEveryAddressedLine) {
    std::vector<std::string> lines = kit::DemoMenuTexts();
    EXPECT_GE(lines.size(), 200u);
    VoiceArchive(kit::TextFileBytes(lines));
    LoadMenuTexts();
    for (int i = 0; i < kMenuFormatCount; ++i) {
        const MenuFormat& f = kMenuFormats[i];
        EXPECT_EQ(std::string(MenuTexts[f.slot]), lines[size_t(f.slot)]) << f.slot;  // nothing cut
        size_t conversions = 0;
        for (const char* p = MenuTexts[f.slot]; *p; ++p)
            if (*p == '%') p[1] == '%' ? void(++p) : void(++conversions);
        EXPECT_EQ(conversions, std::strlen(f.arguments)) << f.slot;
    }
    for (int slot : {136, 137, 162, 167, 140, 139})
        EXPECT_GT(std::strlen(MenuTexts[slot]), 0u) << slot;
    for (int slot = 50; slot <= 91; ++slot) EXPECT_GT(std::strlen(MenuTexts[slot]), 0u) << slot;
    for (int slot = 150; slot <= 159; ++slot) EXPECT_GT(std::strlen(MenuTexts[slot]), 0u) << slot;
    for (int i = 0; i < kKeyBindings; ++i) EXPECT_GT(std::strlen(MenuTexts[kKeyLabelText + i]), 0u) << i;
    const size_t face = std::strlen(MenuTexts[135]);
    EXPECT_TRUE(face > 0 && face <= 31);
}

// --- front-end resources ------------------------------------------------------

TEST_F(GameSettingsTest, MenuGraphicsLoadFromTheDemoArchives) {
    struct Case {
        int clipBottom;
        uint8_t redSize, redShift, greenSize, greenShift;
        uint32_t white;
        int panelWidth, panelHeight, tabWidth;
    };
    // White: every bit of each channel, (255 >> (8 - size)) << shift.
    const Case cases[] = {
        // The panel is the menu's whole page.
        {479, 5, 11, 6, 5, 0xFFFF, 640, 480, 88},  // 565; a tall screen: consol1, consol2
        {399, 5, 10, 5, 5, 0x7FFF, 512, 384, 70},  // 555; 400 lines or fewer: console1, console2
    };
    const std::string game = std::filesystem::path(MORVANEL_GAME_SOFT).parent_path().string();
    CharacterAnimState* const statesAtStart = CharacterAnimTable;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clipBottom);
        test::FreeArchives();
        VoiceResArchive = ResAddArchive((game + "/voice.res").c_str(), 0);
        MainResArchive = ResAddArchive((game + "/game.res").c_str(), 0);
        ASSERT_TRUE(MainResArchive->flags & kResArchivePresent);
        SetScreenGeometry(640, c.clipBottom + 1, 16);
        ScreenState.redSize = c.redSize, ScreenState.redShift = c.redShift;
        ScreenState.greenSize = c.greenSize, ScreenState.greenShift = c.greenShift;
        ScreenState.blueSize = 5, ScreenState.blueShift = 0;
        PowerTables = {};
        DefaultPowerTables.w[2].shortcut = 4;
        CharacterRecord* before = CharacterTable;
        CharacterAnimState* statesBefore = CharacterAnimTable;
        LoadMenuGraphics();
        EXPECT_EQ(MenuWhite, c.white);
        EXPECT_EQ(DefaultTextColour, c.white);
        ASSERT_TRUE(MenuPanelPicture && HeadPicture && DiskPicture && Head2Picture);
        EXPECT_EQ(MenuPanelPicture->width, c.panelWidth);
        EXPECT_EQ(MenuPanelPicture->height, c.panelHeight);
        ASSERT_TRUE(MenuTabSprites && CaptionFont && RomanFont && ListFont && PageSprites && IconOffSprites &&
                    IconOnSprites);
        EXPECT_EQ(MenuTabSprites->count, 6);
        EXPECT_EQ(MenuTabSprites->sprites[0].width, c.tabWidth);
        EXPECT_EQ(IconOnSprites->count, 21);
        struct FontCase {
            SpriteSet* font;
            int spacing, lineGap;
        };
        for (const FontCase& f : {FontCase{CaptionFont, 1, 0}, FontCase{RomanFont, 2, 2}, FontCase{ListFont, 2, 0}}) {
            EXPECT_EQ(f.font->count, 94);
            EXPECT_EQ(f.font->spacing, f.spacing);
            EXPECT_EQ(f.font->lineGap, f.lineGap);
            EXPECT_EQ(f.font->flags & kFontMapB, kFontMapB);
        }
        EXPECT_STREQ(MenuTexts[167], "Leave the game? (Y/N)");
        ASSERT_NE(CharacterTable, nullptr);
        if (before) {
            EXPECT_EQ(CharacterTable, before);  // allocated once a run
        }
        // Both tables: the animation states too, once a run.
        ASSERT_NE(CharacterAnimTable, nullptr);
        if (statesBefore) {
            EXPECT_EQ(CharacterAnimTable, statesBefore);
        }
        EXPECT_EQ(PowerTables.w[2].shortcut, 4);
        EXPECT_TRUE(PowerTables.m[6] == DefaultPowerTables.m[6]);
        for (int32_t charges : SavedCharges) EXPECT_EQ(charges, -1);
        EXPECT_EQ(CurrentResArchive, MainResArchive);
        for (Picture* p : {MenuPanelPicture, HeadPicture, DiskPicture, Head2Picture}) FreePictureRecord(p);
        for (SpriteSet* s : {MenuTabSprites, CaptionFont, RomanFont, ListFont, PageSprites, IconOffSprites, IconOnSprites})
            FreeSprites(s);
    }
    MemFree(CharacterTable);
    CharacterTable = nullptr;
    if (!statesAtStart) {
        MemFree(CharacterAnimTable);
        CharacterAnimTable = nullptr;
    }
}

// --- gameplay.ini -------------------------------------------------------------

struct GameplayCase {
    const char* name;
    const char* file;  // none: no gameplay.ini
    int32_t energyBefore;
    std::array<int32_t, 7> values;  // the seven [GamePlay] values
    int32_t bonus, energy, recupMonster, recupEntity;
};

TEST_F(GameSettingsTest, GameplayIniValuesWithTheirDefaultsAndReplacements) {
    const GameplayCase cases[] = {
        {"no file", nullptr, 0, {1, 1, 1, 1, 1, 1, 1}, 0, 500, 7, 9},
        {"no file, energy kept", nullptr, 120, {1, 1, 1, 1, 1, 1, 1}, 0, 120, 7, 9},
        {"keys missing read 0", "[GamePlay]\nStartEnergy=40\n", 0, {0, 0, 0, 0, 0, 0, 0}, 0, 40, 100, 100},
        {"every key",
         "[GamePlay]\nTendrilsDamage=5\nDefaultShootFrequency=2\nPowerEraseTendrils=10\nTendrilsShootFrequency=3\n"
         "TendrilsHealthMax=30\nPowerDeathGhost=2\nDrainBaseTime=20\nStartEnergy=200\nBonusEnergy=50\n"
         "RecupMonster=25\nRecupEntity=10\n",
         300, {5, 2, 10, 3, 30, 2, 20}, 50, 500, 25, 10},
        {"recovery 0 becomes 100", "[GamePlay]\nRecupMonster=0\nRecupEntity=0\nStartEnergy=0\n", 0,
         {0, 0, 0, 0, 0, 0, 0}, 0, 500, 100, 100},
        {"energy spent below 0 stays", "[GamePlay]\nStartEnergy=-100\n", 0, {0, 0, 0, 0, 0, 0, 0}, 0, -100, 100, 100},
    };
    for (const GameplayCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir_ / "ms7" / "gameplay.ini");
        if (c.file) WriteFile("ms7/gameplay.ini", c.file);
        GameplaySettings = {};
        GameplaySettings.energyAccount = c.energyBefore;
        GameplaySettings.RecupMonster = 7;
        GameplaySettings.RecupEntity = 9;
        GameplaySettings.roomChangeCounter = 3;
        GameplaySettings.BonusEnergy = 44;
        PowerTables = BuiltInPowerTables;
        LoadGameplayIni(7);
        const GameplaySettingsRecord& g = GameplaySettings;
        EXPECT_EQ((std::array<int32_t, 7>{g.TendrilsDamage, g.DefaultShootFrequency, g.PowerEraseTendrils,
                                          g.TendrilsShootFrequency, g.TendrilsHealthMax, g.PowerDeathGhost,
                                          g.DrainBaseTime}),
                  c.values);
        EXPECT_EQ(g.roomChangeCounter, 25);
        EXPECT_EQ(g.BonusEnergy, c.bonus);
        EXPECT_EQ(g.energyAccount, c.energy);
        EXPECT_EQ(g.RecupMonster, c.recupMonster);
        EXPECT_EQ(g.RecupEntity, c.recupEntity);
        if (!c.file) {
            EXPECT_TRUE(PowerTables == BuiltInPowerTables);
        }
    }
}

TEST_F(GameSettingsTest, GameplayIniWithoutGamePlayIsFatal) {
    WriteFile("ms7/gameplay.ini", "[w1]\nutilisation=3\n");
    EXPECT_EQ(Fatal([] { LoadGameplayIni(7); }), "Invalid gameplay.ini");
}

TEST_F(GameSettingsTest, GameplayIniSetsThePowerRowsOfItsSections) {
    // Sections w1..w9, wa..we and m1..m6; m7 is never read, a section of
    // another case still counts.
    WriteFile("ms7/gameplay.ini",
              "[GamePlay]\n[w1]\nutilisation=3\npotentio=4\nachatupgrade=5\n[WA]\nutilisation=6\n"
              "[we]\npotentio=-2\n[m6]\nachatupgrade=11\n[m7]\nutilisation=99\npotentio=99\n");
    PowerTables.w[3].state = 2;  // set by an earlier mission: stays so
    LoadGameplayIni(7);
    struct Row {
        const PowerRow& row;
        int32_t cost, highest, price, state;
    };
    const PowerRow& w1 = BuiltInPowerTables.w[1];
    const Row rows[] = {
        {PowerTables.w[0], 3, 4, 5, 2},
        {PowerTables.w[1], w1.utilisation, w1.potentio, w1.achatupgrade, 1},
        {PowerTables.w[3], 8, 10, 50, 2},
        {PowerTables.w[9], 6, 0, 0, 2},    // missing keys read 0
        {PowerTables.w[13], 0, 0, 0, 2},   // a negative level is none
        {PowerTables.m[5], 0, 0, 11, 2},
        {PowerTables.m[0], 10, 12, 70, 1},
        {PowerTables.m[6], 40, 1, 130, 0},  // the seventh spell: untouched
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.row.name);
        EXPECT_EQ(r.row.utilisation, r.cost);
        EXPECT_EQ(r.row.potentio, r.highest);
        EXPECT_EQ(r.row.achatupgrade, r.price);
        EXPECT_EQ(r.row.state, r.state);
    }
}

TEST_F(GameSettingsTest, EveryLoadAddsTheStartEnergyAgain) {
    WriteFile("ms7/gameplay.ini", "[GamePlay]\nStartEnergy=150\n");
    LoadGameplayIni(7);
    LoadGameplayIni(7);  // a restored game reads the file again
    EXPECT_EQ(GameplaySettings.energyAccount, 300);
    EXPECT_EQ(EnergyChangeSum, 300);
    WriteFile("ms7/gameplay.ini", "[GamePlay]\nStartEnergy=2147483647\n");
    LoadGameplayIni(7);
    EXPECT_EQ(GameplaySettings.energyAccount, INT32_MAX);
}

TEST_F(GameSettingsTest, ZeroFrequenciesNeverDivide) {
    struct Case {
        int32_t frequency, period, range;
    };
    const Case cases[] = {{0, 0, 70}, {-3, 0, 70}, {1, 1000, 70}, {3, 333, 210}, {INT32_MAX, 0, INT32_MAX}};
    for (const Case& c : cases) {
        WriteFile("ms7/gameplay.ini", "[GamePlay]\nDefaultShootFrequency=" + std::to_string(c.frequency) +
                                          "\nTendrilsShootFrequency=" + std::to_string(c.frequency) + "\n");
        LoadGameplayIni(7);
        EXPECT_EQ(ShootPeriodMs(GameplaySettings.DefaultShootFrequency), c.period) << c.frequency;
        EXPECT_EQ(TendrilShotRange(), c.range) << c.frequency;
    }
}

// The demo's gameplay.ini of mission 22, read from game.res as the mission
// opening reads it: every key and every section is there.
TEST_F(GameSettingsTest, DemoGameplayIniSetsEveryRow) {
    std::vector<kit::ArchiveMember> members;
    for (const kit::ArchiveMember& m : kit::DemoSettingsMembers("game")) members.push_back(m);
    std::vector<uint8_t> game = test::Archive(members);
    WriteFile("game.res", std::string(game.begin(), game.end()));
    MainResArchive = ResAddArchive("game.res", 0);
    CurrentFileTable = &ResourceFileTable;
    for (int mission : {22, 7}) {
        SCOPED_TRACE(mission);
        PowerTables = BuiltInPowerTables;
        GameplaySettings = {};
        LoadGameplayIni(mission);
        for (int i = 0; i < kWeaponRows; ++i) EXPECT_EQ(PowerTables.w[i].state, 2) << i;
        for (int i = 0; i < 6; ++i) EXPECT_EQ(PowerTables.m[i].state, 2) << i;
        const GameplaySettingsRecord& g = GameplaySettings;
        for (int32_t v : {g.TendrilsDamage, g.DefaultShootFrequency, g.PowerEraseTendrils, g.TendrilsShootFrequency,
                          g.TendrilsHealthMax, g.PowerDeathGhost, g.DrainBaseTime, g.BonusEnergy, g.RecupMonster,
                          g.RecupEntity, g.energyAccount})
            EXPECT_GT(v, 1);
    }
}

// --- the built-in power rows --------------------------------------------------

TEST_F(GameSettingsTest, BuiltInPowerRowsAreTheTableVerbatim) {
    struct Row {
        int32_t kind, cost, price, bought, highest;
        const char* name;
        int32_t aim, variant;
    };
    // Kind, utilisation, achatupgrade, level bought, potentio, name, aim
    // mode, A/B, as the table of built-in rows lists them.
    const Row spells[7] = {
        {6, 10, 70, 0, 12, "m1", 0, 0},  {7, 15, 80, 0, 12, "m2", 0, 0},   {6, 20, 90, 0, 12, "m3", 0, 0},
        {7, 25, 100, 0, 1, "m4", 0, 0},  {6, 30, 110, 0, 1, "m5", 0, 0},   {7, 35, 120, 0, 1, "m6", 0, 0},
        {8, 40, 130, 1, 1, "m7", 0, 0},
    };
    const Row weapons[14] = {
        {9, 5, 100, 0, 12, "w1", 0, 0},  {10, 6, 150, 0, 12, "w2", 0, 0},  {9, 7, 60, 0, 12, "w3", 0, 0},
        {10, 8, 50, 0, 10, "w4", 0, 0},  {9, 9, 70, 1, 12, "w5", 1, 1},    {9, 10, 35, 0, 12, "w6", 1, 0},
        {10, 11, 70, 1, 4, "w7", 1, 0},  {9, 12, 80, 0, 12, "w8", 3, 0},   {10, 13, 70, 0, 12, "w9", 0, 0},
        {9, 14, 50, 0, 12, "wA", 0, 0},  {10, 15, 70, 0, 12, "wB", 0, 0},  {9, 16, 40, 0, 1, "wC", 0, 0},
        {10, 17, 70, 0, 12, "wD", 1, 0}, {9, 18, 30, 1, 8, "wE", 2, 0},
    };
    auto check = [](const PowerRow& r, const Row& e, const char* label) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(r.kind, e.kind);
        EXPECT_EQ(r.label, label);
        EXPECT_EQ(r.one, 1);
        EXPECT_EQ(r.utilisation, e.cost);
        EXPECT_EQ(r.achatupgrade, e.price);
        EXPECT_EQ(r.levelBought, e.bought);
        EXPECT_EQ(r.levelInUse, e.bought);
        EXPECT_EQ(r.potentio, e.highest);
        EXPECT_EQ(r.shortcut, 0);
        EXPECT_EQ(std::string(r.name, strnlen(r.name, sizeof r.name)), e.name);
        EXPECT_EQ(r.aimMode, e.aim);
        EXPECT_EQ(r.variant, e.variant);
        EXPECT_EQ(r.state, 0);
    };
    for (int i = 0; i < 7; ++i) check(BuiltInPowerTables.m[i], spells[i], MenuTexts[50 + i]);
    for (int i = 0; i < 14; ++i) check(BuiltInPowerTables.w[i], weapons[i], MenuTexts[57 + i]);
    EXPECT_TRUE(BuiltInPowerTables.m[7] == PowerRow{});
    EXPECT_EQ(BuiltInPowerTables.selectedSpell, 0);
    EXPECT_EQ(BuiltInPowerTables.selectedWeapon, 0);
}

}  // namespace
