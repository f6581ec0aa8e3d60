// The sound layer's device entry points used at start and stop.
#pragma once

#include "platform/settings.h"

#include <cstdint>

struct SndLayerRecord {
    const char* banner;         // printed in the start-up report
    char deviceName[128];       // name of the device in use
    const char* resourcePath;   // points at the main archive path
    void* soundObject;          // the device object handed to the movie player
};
extern SndLayerRecord g_SndLayer;

// Counts the output devices and fills the device list.
void SND_EnumDevices();
// Creates the device chosen by EngineConfig.WaveDeviceId (the default one
// when that fails); non-zero on success; raises 0x3100 on failure.
int SND_CreateDevice();
// Opens the primary output; 0 on success.
int SND_OpenPrimary();
// Releases everything; safe when the device never started.
void SND_Close();

// Voices in use (the first argument is not read).
void SND_SetVoiceCount(int unused, int count);
// Stops and releases every voice not in use and restarts the primary.
void SND_FreeAllVoices(int flag);
// Stops all 8 sound stream slots.
void STRM_StopAll();
// The sample cache: entries and kilobytes.
void SMP_InitCache(int entries, int kilobytes);
