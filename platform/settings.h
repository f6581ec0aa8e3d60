// The engine configuration record, the game's option globals set at start,
// registry access and the location of data files.
#pragma once

#include "host/host.h"
#include "platform/resfile.h"

#include <cstdint>

// The game's own title: window caption and message-box caption.
extern const char kApplicationTitle[];

struct EngineConfigRecord {
    uint32_t SystemConfig = 5;  // bit 3: MMX code paths allowed, bit 4: 3DNow!
    uint8_t SystemId = 2;
    uint8_t MemoryAlignment = 0;  // non-zero: pool blocks under 64 KB are 4-byte aligned
    uint8_t Processor = 5;        // processor class from processor detection
    uint8_t DevicesStarted = 0;
    uint8_t reserved0[12] = {};
    const char* ProcessorNames[5] = {"80386", "80486", "Pentium", "Pentium Pro", "Ix86"};
    uint32_t AudioConfig = 0x187;  // second byte: bit 1 DS3D, bit 2 hardware acceleration
    uint8_t WaveDeviceId = 0;
    uint8_t MidiDeviceId = 0;
    uint8_t ChannelToMix = 8;
    uint8_t SoundBytes[3] = {0, 0, 2};
    uint32_t SamplingRate = 2;  // index into RateList
    uint32_t StreamBuffer = 32;  // KB
    uint32_t RateList[5] = {11025, 16537, 22050, 33075, 44100};
    uint8_t reserved1[12] = {};
    uint32_t VideoConfig = 1;  // bit 4: windowed
    uint8_t VideoId = 0;
    uint8_t VideoBytes[3] = {70, 0, 0};
    uint32_t Config3D = 0;
    uint8_t Id3D = 1;
    uint8_t TextureQuality = 2;
    uint8_t reserved2[2] = {};
    uint32_t ControllerConfig = 3;  // bit 1: start a keyboard driver
    uint8_t ControllerId = 1;       // 0 none, 1 mouse, 7 force-feedback joystick, other joystick
    uint8_t reserved3[55] = {};
    const char* Title = kApplicationTitle;
    const char* Identity = "KVT3";
    const char* Maker = "Halvient";
    uint8_t reserved4[2] = {};
    char ArchivePath[kPathText] = ".\\resource.vmx";
    char UserName[16] = "";
    uint32_t reserved5[3] = {};
    char SettingsFile[12] = "kvtreg.ini";
    char SettingsDirectory[64] = "";
};

extern EngineConfigRecord EngineConfig;

// Game option globals.
extern uint8_t MissionNumber;         // first mission, 22 by default
extern uint8_t SecondMission;         // 1
extern uint32_t DisplayOptions;       // bit 0 windowed, bit 1 interleaved, bit 2 set by default
extern uint8_t EmEnabled;             // 1: the enemy AI manager runs
extern char LanguageLetter;           // 'f'
extern int32_t GameOption;            // 4: developer mode
extern int32_t ResourceMode;          // 1: data files come from the archives
extern int32_t DisplayDeviceIndex;
extern uint32_t RenderOptions;        // bit 0 texture filtering, bit 1 dithering
extern char InstallDirectory[kPathText];
// Sound on: 1 at start, cleared by the settings or by a failing sound device.
extern uint8_t g_SoundOn;
// Music options byte of the sound layer: bit 1 enables the MIDI sequencer
// commands.
extern uint8_t g_MusicOptions;
// 1 while the program draws into its own frame buffer; set by the display
// start of the program's renderer.
extern uint8_t g_SoftwareDisplay;
// The last step of InitPathsAndSettings: the program's renderer says how it
// draws (the spine installs it before the settings are read).
extern void (*SoftwareDisplayHook)();

void InitPathsAndSettings();
void ReadGameSettings();
void RegisterArchives();
const char* LocateDataFile(const char* name);
const char* GetInstallPath();

// Registry access: values are read as text of up to 256 bytes.
char* RegReadString(char* buffer, host::RegRoot root, const char* key, const char* value);
int32_t RegReadInt(const char* key, const char* value);
int RegWriteString(host::RegRoot root, const char* key, const char* value, const char* text);
void GetEngineConfig(EngineConfigRecord* record);
// Extracts the two fonts from the current archive to the temporary directory
// (or takes them from the program directory) and adds them to the fonts.
void InstallFonts(int fromArchive);
// Reads the engine settings file into a record; not called by the game.
void ReadEngineSettingsFile(EngineConfigRecord* record);
