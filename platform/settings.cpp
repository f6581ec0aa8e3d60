// Settings at start: defaults, config.ini, the registry values, and where
// the data files are.
#include "platform/settings.h"

#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/utils.h"
#include "platform/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kApplicationTitle[] = "Morvanel";

EngineConfigRecord EngineConfig;

uint8_t MissionNumber = 22;
uint8_t SecondMission = 1;
uint32_t DisplayOptions = 4;
uint8_t EmEnabled = 1;
char LanguageLetter = 'f';
int32_t GameOption = 0;
int32_t ResourceMode = 0;
int32_t DisplayDeviceIndex = 0;
uint32_t RenderOptions = 0;
char InstallDirectory[kPathText] = ".";
uint8_t g_SoundOn = 1;
uint8_t g_MusicOptions = 0;
uint8_t g_SoftwareDisplay = 0;
void (*SoftwareDisplayHook)() = nullptr;

static char g_candidatePath[kPathText];

static const char kVersionKey[] = "Software\\Vorn\\Morvanel\\Version";
static const char kAudioKey[] = "Software\\Vorn\\Morvanel\\Audio";
static const char kVideoKey[] = "Software\\Vorn\\Morvanel\\Video";

void InitPathsAndSettings() {
    // The default install directory, tried for the engine settings file.
    std::snprintf(EngineConfig.SettingsDirectory, sizeof EngineConfig.SettingsDirectory, "%s", "c:\\vorn\\");
    std::snprintf(EngineConfig.ArchivePath, sizeof EngineConfig.ArchivePath, "%s", LocateDataFile("game.res"));
    EngineConfig.Title = kApplicationTitle;
    EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
    EngineConfig.WaveDeviceId = 1;
    g_MusicOptions = 0x0D;
    g_SoundOn = 1;
    ReadGameSettings();
    if (SoftwareDisplayHook) SoftwareDisplayHook();
}

static void SetBit(uint32_t& word, uint32_t bit, bool on) {
    word = on ? (word | bit) : (word & ~bit);
}

void ReadGameSettings() {
    MissionNumber = 22;
    SecondMission = 1;
    DisplayOptions |= 4;
    EmEnabled = 1;
    LanguageLetter = 'f';
    EngineConfig.VideoId = 0;
    // Without config.ini nothing else is read, the registry included.
    IniFile ini;
    if (IniLoad("config.ini", &ini) != 0) {
        IniFree(&ini);
        return;
    }
    if (IniSelectSection("Game", &ini)) {
        IniReadInt("Option", &ini, &GameOption);
        if (GameOption == 4) IniReadByte("Mission", &ini, &MissionNumber);
        const char* langue = IniGetString("Langue", &ini);
        if (langue && langue[0]) LanguageLetter = langue[0];
        if (IniGetBool("Resource", &ini)) ResourceMode = 1;
    }
    if (IniSelectSection("Sound", &ini)) {
        uint8_t flag;
        if (g_SoundOn && IniReadBool("Disable", &ini, &flag)) g_SoundOn = flag ? 0 : 1;
        if (g_SoundOn) IniReadByte("Device", &ini, &EngineConfig.WaveDeviceId);
        if (g_SoundOn && IniGetBool("DS3D", &ini)) EngineConfig.AudioConfig |= 0x200;
    }
    if (IniSelectSection("Video", &ini)) {
        if (IniGetBool("Interleaved", &ini)) DisplayOptions |= 2;
        if (IniGetBool("BackbufferVideo", &ini)) ScreenState.flags |= 8;
        if (IniGetBool("Windowed", &ini)) {
            EngineConfig.VideoConfig |= 0x10;
            DisplayOptions |= 1;
        }
        IniReadInt("Device", &ini, &DisplayDeviceIndex);
    }
    IniSelectSection("Controller", &ini);
    IniFree(&ini);
    RenderOptions = 3;
    if (RegReadInt(kVersionKey, "Revision") == 0)
        FatalError("No settings found...\nPlease run setup program before.");
    // The registry wins over config.ini, in both directions.
    g_SoundOn = RegReadInt(kAudioKey, "Disable") != 0 ? 0 : 1;
    EngineConfig.WaveDeviceId = static_cast<uint8_t>(RegReadInt(kAudioKey, "Device"));
    SetBit(EngineConfig.AudioConfig, 0x400, RegReadInt(kAudioKey, "Accel") != 0);
    SetBit(EngineConfig.AudioConfig, 0x200, RegReadInt(kAudioKey, "DS3D") != 0);
    DisplayDeviceIndex = RegReadInt(kVideoKey, "Device");
    SetBit(RenderOptions, 1, RegReadInt(kVideoKey, "Filter") != 0);
    SetBit(RenderOptions, 2, RegReadInt(kVideoKey, "Dither") != 0);
}

const char* GetInstallPath() {
    std::snprintf(InstallDirectory, sizeof InstallDirectory, "%s", ".");
    RegReadString(InstallDirectory, host::RegRoot::ClassesRoot, "Morvanel.Inst", "InstallPath");
    return InstallDirectory;
}

// Copies a found path into the install-directory buffer; a path too long to
// keep whole leaves the buffer empty (a name no file has) and answers false.
static bool KeepPath(char (&buffer)[kPathText], const char* path) {
    if (size_t(std::snprintf(buffer, sizeof buffer, "%s", path)) < sizeof buffer) return true;
    buffer[0] = 0;
    return false;
}

const char* LocateDataFile(const char* name) {
    std::snprintf(ScratchText, sizeof ScratchText, "%s", ".");
    const char* install = GetInstallPath();
    int length = std::snprintf(g_candidatePath, sizeof g_candidatePath, "%s\\%s", install, name);
    bool whole = size_t(length) < sizeof g_candidatePath;
    const char* result = whole && FileExists(g_candidatePath) ? g_candidatePath : FindOnDrives(name);
    if (FileExists(result)) return result;
    if (KeepPath(InstallDirectory, FindOnDrives(name)) && FileExists(InstallDirectory)) return InstallDirectory;
    // Retry goes on, Cancel is fatal.
    WarningBox("Please Insert CD (missing %s)", name);
    KeepPath(InstallDirectory, FindOnDrives(name));
    return InstallDirectory;
}

static ResArchive* AddLocatedArchive(const char* name, int flags) {
    char path[kPathText];
    std::snprintf(path, sizeof path, "%s", LocateDataFile(name));
    return ResAddArchive(path, flags);
}

void RegisterArchives() {
    MainResArchive = CurrentResArchive;
    if (ResourceMode) {
        int flags = ResourceMode | kResRegistered;
        if (MainResArchive) MainResArchive->flags = static_cast<uint8_t>(flags);
        AudioResArchive = AddLocatedArchive("audio.res", flags);
        VoiceResArchive = AddLocatedArchive("voice.res", flags);
        CurrentResArchive = VoiceResArchive;
        InstallFonts(1);
        MusicResArchive = AddLocatedArchive("music.res", flags);
        CurrentResArchive = MainResArchive;
    } else {
        // Empty sets stand for the other three: every file is a loose file.
        AudioResArchive = static_cast<ResArchive*>(MemAlloc(sizeof(ResArchive)));
        MusicResArchive = static_cast<ResArchive*>(MemAlloc(sizeof(ResArchive)));
        VoiceResArchive = static_cast<ResArchive*>(MemAlloc(sizeof(ResArchive)));
        if (MainResArchive) MainResArchive->flags = 0;
        InstallFonts(0);
    }
    CurrentFileTable = &ResourceFileTable;
}

static const char* const kFontFiles[2] = {"APO_____.TTF", "GILL____.TTF"};

void InstallFonts(int fromArchive) {
    if (!fromArchive) {
        for (const char* font : kFontFiles) host::AddFontResource(font);
        return;
    }
    char temp[64];
    if (host::GetTempPath(temp, sizeof temp) == 0) std::snprintf(temp, sizeof temp, "%s", "c:\\");
    for (const char* font : kFontFiles) {
        char path[128], member[32];
        std::snprintf(path, sizeof path, "%s%s", temp, font);
        std::snprintf(member, sizeof member, ".\\%s", font);
        if (!FileExists(path) && ResExtractFile(member, temp, nullptr) < 0)
            FatalError("Operating System failure. Can't write %s for output.", member);
        host::AddFontResource(path);
    }
}

void ReadEngineSettingsFile(EngineConfigRecord* record) {
    if (!host::GetComputerName(record->UserName, sizeof record->UserName))
        std::snprintf(record->UserName, sizeof record->UserName, "%s", "New user");
    IniFile ini;
    if (IniLoad(record->SettingsFile, &ini) != 0) {
        IniFree(&ini);
        char path[80];
        std::snprintf(path, sizeof path, "%s%s", record->SettingsDirectory, record->SettingsFile);
        if (IniLoad(path, &ini) != 0) {
            IniFree(&ini);
            return;
        }
    }
    auto readByte = [&](const char* key, uint8_t* out) { IniReadByte(key, &ini, out); };
    if (IniSelectSection("System", &ini)) {
        IniReadHex("Config", &ini, &record->SystemConfig);
        readByte("Id", &record->SystemId);
        readByte("Processor", &record->Processor);
    }
    if (IniSelectSection("Audio", &ini)) {
        IniReadHex("Config", &ini, &record->AudioConfig);
        readByte("WaveDeviceId", &record->WaveDeviceId);
        readByte("MidiDeviceId", &record->MidiDeviceId);
        uint8_t rate;
        if (IniReadByte("SamplingRate", &ini, &rate)) record->SamplingRate = rate;
        readByte("ChannelToMix", &record->ChannelToMix);
    }
    if (IniSelectSection("Video", &ini)) {
        IniReadHex("Config", &ini, &record->VideoConfig);
        readByte("Id", &record->VideoId);
    }
    if (IniSelectSection("3D", &ini)) {
        IniReadHex("Config", &ini, &record->Config3D);
        readByte("Id", &record->Id3D);
        readByte("TextureQuality", &record->TextureQuality);
    }
    if (IniSelectSection("Controller", &ini)) {
        IniReadHex("Config", &ini, &record->ControllerConfig);
        readByte("Id", &record->ControllerId);
    }
    IniFree(&ini);
}

char* RegReadString(char* buffer, host::RegRoot root, const char* key, const char* value) {
    char text[256];
    if (!host::RegQueryString(root, key, value, text, sizeof text)) return nullptr;
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return buffer;
}

int32_t RegReadInt(const char* key, const char* value) {
    char text[256];
    if (!RegReadString(text, host::RegRoot::LocalMachine, key, value)) return 0;
    return std::atoi(text);
}

int RegWriteString(host::RegRoot root, const char* key, const char* value, const char* text) {
    return host::RegSetString(root, key, value, text) ? 1 : 0;
}

void GetEngineConfig(EngineConfigRecord* record) {
    if (record) *record = EngineConfig;
}
