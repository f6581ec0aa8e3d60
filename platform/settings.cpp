// Settings at start: defaults, config.ini, the registry values, and where
// the data files are.
#include "platform/settings.h"

#include "media/snd_layer.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/winmain.h"
#include "render/d3d_display.h"

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
char InstallDirectory[256] = ".";

static char g_locatedPath[256];

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
    D3D_SetSoftwareDisplay();
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
    // Only a config.ini that exists lets the registry be read.
    host::File* ini = host::FileOpen("config.ini", "rt");
    if (!ini) return;
    host::FileClose(ini);
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

const char* LocateDataFile(const char* name) {
    std::snprintf(ScratchText, sizeof ScratchText, "%s", ".");
    const char* install = GetInstallPath();
    std::snprintf(g_locatedPath, sizeof g_locatedPath, "%s\\%s", install, name);
    uint32_t attributes = host::GetFileAttributes(g_locatedPath);
    bool found = attributes != host::INVALID_FILE_ATTRIBUTES && !(attributes & host::FILE_ATTRIBUTE_DIRECTORY);
    // Not in the install directory: the name relative to the current one.
    if (!found) std::snprintf(g_locatedPath, sizeof g_locatedPath, "%s", name);
    return g_locatedPath;
}

void RegisterArchives() {
    MainResArchive = CurrentResArchive;
    CurrentFileTable = &ResourceFileTable;
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
