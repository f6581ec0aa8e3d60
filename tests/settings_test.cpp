// Settings layering, data-file location and the archives' registration.
#include "host/headless/headless.h"
#include "media/snd_layer.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/utils.h"
#include "program/winmain.h"
#include "test_archives.h"
#include "test_support.h"
#include "tools/kit/ini_writer.h"

#include <cstdlib>
#include <cstring>

namespace {

const char kRegistryBase[] =
    "[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Version]\nRevision=1\n";

class SettingsTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        saved_ = EngineConfig;
        FatalText[0] = 0;
        g_SoundOn = 1;
        GameOption = 0;
        ResourceMode = 0;
        DisplayOptions = 0;
        DisplayDeviceIndex = 0;
        RenderOptions = 0;
        ScreenState.flags = 0;
        CurrentFileTable = &PlainFileTable;
        setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
        std::filesystem::create_directory(dir_ / "tmp");
        host::ClearFonts();
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        test::FreeArchives();
        EngineConfig = saved_;
        FatalText[0] = 0;
        g_SoundOn = 1;
        ResourceMode = 0;
        HeadlessTest::TearDown();
    }
    void Config(const std::vector<kit::IniSectionText>& sections) { WriteFile("config.ini", kit::IniText(sections)); }
    void Registry(const std::string& extra) { WriteFile("registry.ini", kRegistryBase + extra); }
    // Answers the fatal text, "" when the settings were read.
    std::string Read() {
        try {
            ReadGameSettings();
        } catch (const FatalReturn&) {
            return FatalText;
        }
        return "";
    }
    EngineConfigRecord saved_;
};

}  // namespace

TEST_F(SettingsTest, DefaultsWithoutConfigAndNoRegistryRead) {
    MissionNumber = 3;
    LanguageLetter = 'x';
    EXPECT_EQ(Read(), "");  // no config.ini: no registry, so no Revision needed
    EXPECT_EQ(MissionNumber, 22);
    EXPECT_EQ(LanguageLetter, 'f');
    EXPECT_EQ(EmEnabled, 1);
    EXPECT_EQ(DisplayOptions & 4, 4u);
    EXPECT_EQ(RenderOptions, 0u);
}

TEST_F(SettingsTest, MissionIsIgnoredUnlessOptionIsFour) {
    Registry("");
    Config({{"Game", {{"Option", "0"}, {"Mission", "7"}, {"Langue", "english"}}}});
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(MissionNumber, 22);
    EXPECT_EQ(LanguageLetter, 'e');
    Config({{"Game", {{"Option", "4"}, {"Mission", "0x107"}}}});
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(GameOption, 4);
    EXPECT_EQ(MissionNumber, 7);  // the low byte
}

TEST_F(SettingsTest, RegistryDisableZeroUndoesConfigDisable) {
    Config({{"Sound", {{"Disable", "yes"}}}});
    Registry("[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Audio]\nDisable=0\nDevice=3\nAccel=1\nDS3D=0\n");
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(g_SoundOn, 1);
    EXPECT_EQ(EngineConfig.WaveDeviceId, 3);
    EXPECT_EQ(EngineConfig.AudioConfig & 0x600, 0x400u);
}

TEST_F(SettingsTest, RegistryCanSwitchSoundOffAndAMissingValueCountsAsZero) {
    Config({{"Sound", {{"Disable", "no"}, {"DS3D", "1"}}}});
    Registry("[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Audio]\nDisable=1\n");
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(g_SoundOn, 0);
    EXPECT_EQ(EngineConfig.WaveDeviceId, 0);
    EXPECT_EQ(EngineConfig.AudioConfig & 0x200, 0u);  // DS3D missing in the registry: cleared
}

TEST_F(SettingsTest, FilterZeroClearsFiltering) {
    Config({{"Video", {{"Windowed", "1"}, {"Interleaved", "yes"}, {"BackbufferVideo", "true"}, {"Device", "2"}}}});
    Registry("[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Video]\nFilter=0\nDither=1\nDevice=1\n");
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(RenderOptions, 2u);
    EXPECT_EQ(DisplayOptions & 3, 3u);
    EXPECT_EQ(EngineConfig.VideoConfig & 0x10, 0x10u);
    EXPECT_EQ(ScreenState.flags & 8, 8);
    EXPECT_EQ(DisplayDeviceIndex, 1);  // the registry wins
}

TEST_F(SettingsTest, ResourceModeFromConfig) {
    Registry("");
    Config({{"Game", {{"Resource", "yes"}}}});
    Read();
    EXPECT_EQ(ResourceMode, 1);
}

TEST_F(SettingsTest, MissingRevisionIsFatal) {
    Config({{"Game", {{"Option", "0"}}}});
    EXPECT_EQ(Read(), "No settings found...\nPlease run setup program before.");
    WriteFile("registry.ini", "[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Version]\nRevision=0\n");
    EXPECT_EQ(Read(), "No settings found...\nPlease run setup program before.");
}

TEST_F(SettingsTest, InstallPathDefaultsToTheCurrentDirectory) {
    EXPECT_STREQ(GetInstallPath(), ".");
    WriteFile("game.res", "x");
    EXPECT_STREQ(LocateDataFile("game.res"), ".\\game.res");
    WriteFile("registry.ini", "[HKEY_CLASSES_ROOT\\Morvanel.Inst]\nInstallPath=C:\\Games\n");
    WriteFile("Games/GAME.RES", "y");
    EXPECT_STREQ(LocateDataFile("game.res"), "C:\\Games\\game.res");
}

TEST_F(SettingsTest, DataFileOnACdRom) {
    std::filesystem::create_directories(dir_ / "cd");
    WriteFile("cd/voice.res", "v");
    host::MapDrive('D', (dir_ / "cd").string(), host::DRIVE_CDROM);
    host::MapDrive('E', (dir_ / "cd").string(), host::DRIVE_REMOVABLE);
    EXPECT_STREQ(LocateDataFile("voice.res"), "D:\\voice.res");
    EXPECT_TRUE(host::headless::Boxes().empty());
}

TEST_F(SettingsTest, MissingDataFileAsksForTheCd) {
    host::headless::QueueBoxAnswer(host::IDRETRY);
    const char* found = LocateDataFile("music.res");
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    EXPECT_EQ(host::headless::Boxes()[0].text, "Please Insert CD (missing music.res)");
    EXPECT_EQ(host::headless::Boxes()[0].flags, host::MB_RETRYCANCEL | host::MB_ICONINFORMATION);
    EXPECT_STREQ(found, "music.res");  // searched once more, not found

    host::headless::QueueBoxAnswer(host::IDCANCEL);
    EXPECT_THROW(LocateDataFile("music.res"), FatalReturn);
    EXPECT_STREQ(FatalText, "Please Insert CD (missing music.res)");
}

TEST_F(SettingsTest, RegisterArchivesInArchiveMode) {
    std::vector<uint8_t> font = {0, 1, 0, 0, 'f', 'o', 'n', 't'};
    std::vector<uint8_t> voice = test::Archive(
        {{".\\APO_____.TTF", font}, {".\\GILL____.TTF", font}, {".\\info\\logo.jpg", test::Bytes("jpg")}});
    std::vector<uint8_t> game = test::Archive({{".\\menus\\a.txt", test::Bytes("main")}}, kit::DirectoryForm::Gzip);
    std::vector<uint8_t> empty = test::Archive({});
    WriteFile("game.res", std::string(game.begin(), game.end()));
    WriteFile("voice.res", std::string(voice.begin(), voice.end()));
    WriteFile("audio.res", std::string(empty.begin(), empty.end()));
    WriteFile("music.res", std::string(empty.begin(), empty.end()));
    ResourceMode = 1;
    ResAddArchive("game.res", 0);
    RegisterArchives();
    EXPECT_TRUE(host::headless::Boxes().empty());
    EXPECT_EQ(CurrentFileTable, &ResourceFileTable);
    EXPECT_EQ(CurrentResArchive, MainResArchive);
    EXPECT_EQ(MainResArchive->flags, 0x11);
    EXPECT_EQ(VoiceResArchive->flags, 0x11);
    EXPECT_EQ(VoiceResArchive->count, 3u);
    EXPECT_NE(AudioResArchive, MusicResArchive);
    // The fonts went to the temporary directory and into the font list.
    EXPECT_EQ(ReadFile("tmp/APO_____.TTF").size(), font.size());
    ASSERT_EQ(host::FontFiles().size(), 2u);
    EXPECT_NE(host::FontFiles()[1].find("GILL____.TTF"), std::string::npos);
    // A main-archive member opens through the current table.
    FileHandle h = CurrentFileTable->Open(".\\menus\\A.TXT", "rb");
    ASSERT_NE(h, nullptr);
    char text[5] = {};
    EXPECT_EQ(CurrentFileTable->Read(text, 1, 4, h), 4u);
    EXPECT_STREQ(text, "main");
    CurrentFileTable->Close(h);
}

TEST_F(SettingsTest, RegisterArchivesInLooseMode) {
    WriteFile("APO_____.TTF", std::string("\0\1\0\0", 4));
    ResAddArchive("game.res", 0);
    RegisterArchives();
    EXPECT_EQ(MainResArchive->flags, 0);
    EXPECT_EQ(AudioResArchive->flags, 0);
    EXPECT_EQ(VoiceResArchive->flags, 0);
    EXPECT_EQ(host::FontFiles().size(), 1u);  // only the font that is there
    WriteFile("ms22/gameplay.ini", "[GamePlay]\n");
    FileHandle h = CurrentFileTable->Open(".\\MS22\\gameplay.ini", "rt");
    EXPECT_NE(h, nullptr);
    CurrentFileTable->Close(h);
}

TEST_F(SettingsTest, FontThatCannotBeWrittenIsFatal) {
    std::vector<uint8_t> voice = test::Archive({{".\\APO_____.TTF", {0, 1, 0, 0}}});
    WriteFile("voice.res", std::string(voice.begin(), voice.end()));
    ResAddArchive("voice.res", 0x11);
    setenv("TMPDIR", (dir_ / "no" / "such" / "dir").c_str(), 1);
    std::filesystem::create_directories(dir_ / "no");
    // The target's folders cannot be made below a file.
    WriteFile("no/such", "a file, not a folder");
    EXPECT_THROW(InstallFonts(1), FatalReturn);
    EXPECT_STREQ(FatalText, "Operating System failure. Can't write .\\APO_____.TTF for output.");
}

TEST_F(SettingsTest, InitPathsFindsTheMainArchive) {
    WriteFile("game.res", "x");
    InitPathsAndSettings();
    EXPECT_STREQ(EngineConfig.ArchivePath, ".\\game.res");
    EXPECT_STREQ(EngineConfig.Identity, "app/x-vnd.Vorn.Morvanel");
    EXPECT_EQ(EngineConfig.WaveDeviceId, 1);
    EXPECT_EQ(g_MusicOptions, 0x0D);
}

TEST_F(SettingsTest, EngineSettingsFile) {
    WriteFile("kvtreg.ini", kit::IniText({{"System", {{"Config", "1f"}, {"Id", "4"}}},
                                          {"Audio", {{"SamplingRate", "4"}, {"ChannelToMix", "16"}}},
                                          {"3D", {{"TextureQuality", "1"}}},
                                          {"Controller", {{"Config", "2"}, {"Id", "7"}}}}));
    EngineConfigRecord r;
    ReadEngineSettingsFile(&r);
    EXPECT_EQ(r.SystemConfig, 0x1Fu);
    EXPECT_EQ(r.SystemId, 4);
    EXPECT_EQ(r.SamplingRate, 4u);
    EXPECT_EQ(r.ChannelToMix, 16);
    EXPECT_EQ(r.TextureQuality, 1);
    EXPECT_EQ(r.ControllerConfig, 2u);
    EXPECT_EQ(r.ControllerId, 7);
    EXPECT_NE(r.UserName[0], 0);
    EngineConfigRecord copy;
    GetEngineConfig(&copy);
    EXPECT_EQ(copy.Processor, EngineConfig.Processor);
}

TEST_F(SettingsTest, LongInstallPathIsKeptWhole) {
    // An install folder whose path with the archive name is far longer than
    // a short path field: the archive path must still name the file.
    std::string folder = std::string(120, 'i') + "\\" + std::string(100, 'j');
    std::filesystem::create_directories(dir_ / std::string(120, 'i') / std::string(100, 'j'));
    std::vector<uint8_t> game = test::Archive({{".\\config.ini", test::Bytes("[Game]\n")}});
    WriteFile(std::string(120, 'i') + "/" + std::string(100, 'j') + "/game.res", std::string(game.begin(), game.end()));
    WriteFile("registry.ini", "[HKEY_CLASSES_ROOT\\Morvanel.Inst]\nInstallPath=" + folder + "\n");
    InitPathsAndSettings();
    EXPECT_EQ(std::string(EngineConfig.ArchivePath), folder + "\\game.res");
    EXPECT_TRUE(host::headless::Boxes().empty());
    ResArchive* a = ResAddArchive(EngineConfig.ArchivePath, 0);
    EXPECT_EQ(a->flags & kResArchivePresent, kResArchivePresent);
    EXPECT_EQ(a->count, 1u);
}

TEST_F(SettingsTest, PathTooLongToKeepIsNotFound) {
    // A name that cannot be kept whole is missing, so the disc is asked for.
    std::string name(kPathText + 10, 'n');
    host::headless::QueueBoxAnswer(host::IDRETRY);
    const char* found = LocateDataFile(name.c_str());
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    EXPECT_NE(host::headless::Boxes()[0].text.find("Please Insert CD (missing "), std::string::npos);
    EXPECT_FALSE(FileExists(found));
    EXPECT_LT(std::strlen(found), kPathText);
    // An archive whose name cannot be kept whole opens nothing, not even
    // the file its cut name would be.
    std::string cut;
    for (int i = 0; i < 4; ++i) cut += std::string(200, char('a' + i)) + "/";
    std::filesystem::create_directories(dir_ / cut);
    cut += std::string(kPathText - 1 - cut.size(), 'f');
    std::vector<uint8_t> game = test::Archive({{".\\x", test::Bytes("x")}});
    WriteFile(cut, std::string(game.begin(), game.end()));
    ResArchive* a = ResAddArchive((cut + "tail").c_str(), kResRegistered);
    EXPECT_EQ(a->flags & kResArchivePresent, 0);
    EXPECT_EQ(a->count, 0u);
    ResArchive* whole = ResAddArchive(cut.c_str(), kResRegistered);
    EXPECT_EQ(whole->count, 1u);  // the longest name that fits still opens
    ResFree(a);
}
