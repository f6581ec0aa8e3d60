// Sound device start and stop over the host's audio output.
#include "media/snd_layer.h"

#include "host/host.h"
#include "platform/errors.h"
#include "platform/settings.h"

#include <cstdio>

SndLayerRecord g_SndLayer = {"KVT/SND Layer (DirectSound 5)", "", nullptr, nullptr};

static int g_deviceCount = 0;
static int g_device = -1;

void SND_EnumDevices() {
    g_deviceCount = host::AudioDeviceCount();
}

int SND_CreateDevice() {
    int wanted = EngineConfig.WaveDeviceId;
    if (wanted < g_deviceCount) g_device = wanted;
    else if (g_deviceCount > 0) g_device = 0;  // the default device
    else g_device = -1;
    if (g_device < 0) {
        ErrorHook(0x3100, 0);
        return 0;
    }
    const char* name = host::AudioDeviceName(g_device);
    std::snprintf(g_SndLayer.deviceName, sizeof g_SndLayer.deviceName, "%s", name ? name : "");
    g_SndLayer.soundObject = &g_device;
    return 1;
}

int SND_OpenPrimary() {
    if (g_device < 0) return 1;
    uint32_t index = EngineConfig.SamplingRate < 5 ? EngineConfig.SamplingRate : 0;
    return host::AudioOpen(g_device, static_cast<int>(EngineConfig.RateList[index])) ? 0 : 1;
}

void SND_Close() {
    host::AudioClose();
    g_device = -1;
    g_deviceCount = 0;
    g_SndLayer.soundObject = nullptr;
}

static int g_voiceCount = 0;
static int g_cacheEntries = 0, g_cacheKilobytes = 0;

void SND_SetVoiceCount(int, int count) {
    RunTrace("SND_SetVoiceCount");
    g_voiceCount = count;
}

void SND_FreeAllVoices(int) {
    RunTrace("SND_FreeAllVoices");
}

void STRM_StopAll() {
    RunTrace("STRM_StopAll");
}

void SMP_InitCache(int entries, int kilobytes) {
    RunTrace("SMP_InitCache");
    g_cacheEntries = entries;
    g_cacheKilobytes = kilobytes;
}
