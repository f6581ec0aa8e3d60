// The sound layer over the host's sound device.
#include "media/snd_layer.h"

#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "platform/window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

SndLayerRecord g_SndLayer = {"KVT/SND Layer (DirectSound 5)", "", nullptr, nullptr};
SndVoice g_SndVoices[kSndVoices + 1];
SndStreamChannel g_SndStreams[kSndStreamChannels];
host::SoundDevice* g_SndDevice = nullptr;
host::SoundBuffer* g_SndPrimary = nullptr;
host::SoundListener* g_SndListener = nullptr;
int32_t g_SndLastResult = 0;
host::WaveFormat g_SndPrimaryFormat = {};
char** SND_DeviceNameList = nullptr;

namespace {

uint32_t g_status = 0;          // scratch word for status reads
char g_chosenDescription[33];   // the chosen device's description

// The audio configuration bits of EngineConfig.AudioConfig.
constexpr uint32_t kCfg16Bit = 0x02;
constexpr uint32_t kCfgStereo = 0x04;
constexpr uint32_t kCfgMirrorPan = 0x20;
constexpr uint32_t kCfg3d = 0x200;
constexpr uint32_t kCfgAccel = 0x400;

// Capabilities of voice buffers: 3D samples, and the others.
constexpr uint32_t kCaps3d = host::DSBCAPS_CTRL3D | host::DSBCAPS_CTRLFREQUENCY;
constexpr uint32_t kCapsPlain = host::DSBCAPS_CTRLFREQUENCY | host::DSBCAPS_CTRLPAN | host::DSBCAPS_CTRLVOLUME |
                                host::DSBCAPS_GETCURRENTPOSITION2;

// Formats tried when the settings' own is refused: kHz x 1000 + channels x
// 100 + bits, ended by 0.
constexpr int kFormatCodes[] = {44216, 44116, 44208, 44108, 22216, 22116, 22208, 22108, 11216,
                                11116, 11208, 11108, 8216,  8116,  8208,  8108,  0};

const host::Sound3dBufferParams kDefault3dBuffer = {
    sizeof(host::Sound3dBufferParams), {0, 0, 0}, {0, 0, 0}, 0, 0, {1, 0, 0}, 0, 1.0f, 1.0e9f,
    host::DS3DMODE_NORMAL};
const host::Sound3dListenerParams kDefaultListener = {
    sizeof(host::Sound3dListenerParams), {0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f, 0.0f, 1.0f};

int32_t Keep(int32_t result) {
    g_SndLastResult = result;
    return result;
}

bool Ok(int32_t result) {
    return Keep(result) >= 0;
}

bool ValidVoice(int voice) {
    return voice >= 0 && voice < kSndVoices;
}

// The voices in use: ChannelToMix kept to 1..32 so the scans stay inside.
int VoiceCount() {
    return std::clamp<int>(EngineConfig.ChannelToMix, 1, kSndVoices);
}

SndVoice* Slot(int voice) {
    if (voice < 0) return &g_SndVoices[kSndSpareVoice];
    return voice < kSndVoices ? &g_SndVoices[voice] : nullptr;
}

bool Playing(host::SoundBuffer* buffer) {
    return buffer && Ok(host::SoundBufferGetStatus(buffer, &g_status)) && (g_status & host::DSBSTATUS_PLAYING);
}

void ReleaseInterfaces(SndVoice& v) {
    if (v.buffer) {
        Keep(host::SoundBufferStop(v.buffer));
        host::SoundBufferRelease(v.buffer);
    }
    if (v.buffer3D) host::Sound3dBufferRelease(v.buffer3D);
    if (v.propertySet) host::SoundPropertySetRelease(v.propertySet);
    v.buffer = nullptr;
    v.buffer3D = nullptr;
    v.propertySet = nullptr;
}

void FreeSlot(SndVoice& v) {
    ReleaseInterfaces(v);
    v = SndVoice{};
}

void ReleasePrimary() {
    if (g_SndListener) host::SoundListenerRelease(g_SndListener);
    if (g_SndPrimary) host::SoundBufferRelease(g_SndPrimary);
    g_SndListener = nullptr;
    g_SndPrimary = nullptr;
}

struct EnumContext {
    int index;
    int mode;  // 1 pick the chosen device, 2 count, 3 fill the list
    int listSize;
    host::SoundGuid guid;
    bool haveGuid;
};

bool SND_EnumCallback(const host::SoundGuid* guid, const char* description, const char*, void* context) {
    auto* c = static_cast<EnumContext*>(context);
    if (c->mode == 1 && c->index == EngineConfig.WaveDeviceId) {
        std::snprintf(g_chosenDescription, sizeof g_chosenDescription, "%s", description);
        if (guid) {
            c->guid = *guid;
            c->haveGuid = true;
        }
    }
    if (c->mode == 3 && c->index < c->listSize) {
        size_t n = std::strlen(description) + 1;
        auto* copy = static_cast<char*>(HeapHooks.allocate(n));
        if (copy) std::memcpy(copy, description, n);
        SND_DeviceNameList[c->index] = copy;
    }
    ++c->index;
    return true;
}

void FreeDeviceList() {
    if (!SND_DeviceNameList) return;
    for (char** p = SND_DeviceNameList; *p; ++p) HeapHooks.free(*p);
    HeapHooks.free(SND_DeviceNameList);
    SND_DeviceNameList = nullptr;
}

host::WaveFormat MakeFormat(uint16_t tag, uint32_t rate, int bits, int channels) {
    host::WaveFormat f{};
    f.formatTag = tag;
    f.channels = uint16_t(channels);
    f.samplesPerSec = rate;
    f.bitsPerSample = uint16_t(bits);
    f.blockAlign = uint16_t(bits / 8 * channels);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

host::WaveFormat FormatOfCode(int code) {
    int bits = code % 100, channels = (code % 1000) / 100, k = code / 1000;
    uint32_t rate = k == 8 ? 8000 : uint32_t(k / 11) * 11025;
    return MakeFormat(host::WAVE_FORMAT_PCM, rate, bits, channels);
}

// Sets the rate a buffer plays at.  A buffer made for a sample has the
// primary's rate, not the sample's, so a sample plays at its own rate or
// not at all: 0 (the buffer's own rate) and a rate the device refuses are
// both refused.
bool SetRate(host::SoundBuffer* buffer, uint32_t rate) {
    return rate != 0 && Ok(host::SoundBufferSetFrequency(buffer, rate));
}

bool SetPrimaryFormat(const host::WaveFormat& f) {
    g_SndPrimaryFormat = f;
    return Ok(host::SoundBufferSetFormat(g_SndPrimary, &g_SndPrimaryFormat));
}

// Steps 3 and 4 of a play: reuse the voice's buffer of this sample
// (refilled after a loss), or make a buffer and fill it.
bool PrepareVoice(SndSample* sample, int voice) {
    SndVoice& v = g_SndVoices[voice];
    if (v.buffer && v.sample == sample && !(sample->flags & kSmpChanged)) {
        if (Ok(host::SoundBufferGetStatus(v.buffer, &g_status))) {
            uint32_t status = g_status;
            if (status & host::DSBSTATUS_PLAYING) Keep(host::SoundBufferStop(v.buffer));
            if ((status & host::DSBSTATUS_BUFFERLOST) && !SND_FillBuffer(voice, 0, sample->data, sample->length)) {
                SND_FreeVoice(voice);
                return false;
            }
        }
        return true;
    }
    if (v.buffer) SND_FreeVoice(voice);
    uint32_t caps = (sample->flags & kSmp3D) ? kCaps3d : kCapsPlain;
    if ((EngineConfig.AudioConfig & kCfgAccel) && SND_GetFreeHwMemory() > sample->length) caps |= host::DSBCAPS_STATIC;
    int id = SND_CreateBuffer(sample->length, sample->rate, (sample->flags & kSmp16Bit) ? 16 : 8,
                              (sample->flags & kSmpStereo) ? 2 : 1, voice, caps);
    sample->bufferId = uint16_t(id);
    if (!id) return false;
    if (!SND_FillBuffer(voice, 0, sample->data, sample->length)) {
        sample->bufferId = 0;
        return false;
    }
    SND_Attach3DBuffer(sample, voice, 0);
    return true;
}

// Step 2 of a play: the lowest other voice in use that holds a buffer of
// the same sample.
int OtherVoiceWith(SndSample* sample, int voice) {
    for (int o = 0; o < VoiceCount(); ++o)
        if (o != voice && g_SndVoices[o].sample == sample && g_SndVoices[o].buffer) return o;
    return -1;
}

bool ValidChannel(int channel) {
    return channel >= 0 && channel < kSndStreamChannels;
}

// The channel's voice, when it holds a buffer.
host::SoundBuffer* ChannelBuffer(const SndStreamChannel& ch) {
    return ValidVoice(ch.voice) ? g_SndVoices[ch.voice].buffer : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Scales
// ---------------------------------------------------------------------------

int32_t SND_VolumeToDb(int volume) {
    volume = std::clamp(volume, 0, 63);
    if (volume == 0) return host::DSBVOLUME_MIN;
    if (volume == 63) return 0;
    // Truncated toward zero.
    return static_cast<int32_t>(-2000.0 * std::log10(63.0 / volume));
}

int32_t SND_PanToDb(int pan) {
    if (pan == 100) return 0;
    if (EngineConfig.AudioConfig & kCfgMirrorPan) pan = -pan;
    int p = std::clamp(pan + 64, 0, 127);
    if (p == 64) return 0;
    if (p < 64) return p == 0 ? host::DSBPAN_LEFT : SND_VolumeToDb(p);
    int q = 127 - p;
    return q == 0 ? host::DSBPAN_RIGHT : -SND_VolumeToDb(q);
}

int32_t SND_LevelToDb(int32_t low, int32_t high, int32_t level) {
    if (level == low) return host::DSBVOLUME_MIN;
    if (level == high) return 0;
    double sum = double(low) + double(high);
    double quotient = level == 0 ? sum : sum / level;
    if (!(quotient > 0)) return host::DSBVOLUME_MIN;
    return static_cast<int32_t>(std::clamp(-2000.0 * std::log10(quotient), -10000.0, 10000.0));
}

// ---------------------------------------------------------------------------
// Device
// ---------------------------------------------------------------------------

int SND_EnumDevices() {
    EnumContext count{0, 2, 0, {}, false};
    host::SoundEnumerate(SND_EnumCallback, &count);
    if (count.index >= 1) {
        FreeDeviceList();
        size_t bytes = size_t(count.index + 1) * sizeof(char*);
        SND_DeviceNameList = static_cast<char**>(HeapHooks.allocate(bytes));
        if (SND_DeviceNameList) {
            std::memset(SND_DeviceNameList, 0, bytes);
            EnumContext fill{0, 3, count.index, {}, false};
            host::SoundEnumerate(SND_EnumCallback, &fill);
        }
    }
    return 1;
}

int SND_CreateDevice() {
    // A device made before (a second start) gives its buffers and itself back.
    for (SndVoice& v : g_SndVoices) FreeSlot(v);
    ReleasePrimary();
    if (g_SndDevice) host::SoundRelease(g_SndDevice);
    g_SndDevice = nullptr;
    g_SndLayer.soundObject = nullptr;
    g_chosenDescription[0] = 0;
    EnumContext pick{0, 1, 0, {}, false};
    if (EngineConfig.WaveDeviceId != 0) host::SoundEnumerate(SND_EnumCallback, &pick);
    host::SoundDevice* device = nullptr;
    int32_t result = Keep(host::SoundCreate(pick.haveGuid ? &pick.guid : nullptr, &device));
    if (result < 0) {
        result = Keep(host::SoundCreate(nullptr, &device));
        if (pick.haveGuid) EngineConfig.WaveDeviceId = 0;
    }
    if (result >= 0 && !Ok(host::SoundSetCooperativeLevel(device, MainWindow, host::DSSCL_EXCLUSIVE))) {
        host::SoundRelease(device);
        result = -1;
    }
    if (result < 0) {
        ErrorHook(0x3100, 0);
        return 0;
    }
    g_SndDevice = device;
    g_SndLayer.soundObject = device;
    std::snprintf(g_SndLayer.deviceName, sizeof g_SndLayer.deviceName, "%s", g_chosenDescription);
    return 1;
}

int SND_OpenPrimary() {
    if (!g_SndDevice) return 1;
    ReleasePrimary();
    bool with3d = (EngineConfig.AudioConfig & kCfg3d) != 0;
    host::SoundBufferDesc desc{20, host::DSBCAPS_PRIMARYBUFFER | (with3d ? host::DSBCAPS_CTRL3D : 0u), 0, 0,
                               nullptr};
    if (!Ok(host::SoundCreateBuffer(g_SndDevice, &desc, &g_SndPrimary))) return 1;
    uint32_t config = EngineConfig.AudioConfig;
    uint32_t index = EngineConfig.SamplingRate < 5 ? EngineConfig.SamplingRate : 0;
    if (!SetPrimaryFormat(MakeFormat(host::WAVE_FORMAT_PCM, EngineConfig.RateList[index],
                                     (config & kCfg16Bit) ? 16 : 8, (config & kCfgStereo) ? 2 : 1))) {
        bool accepted = false;
        int last = 0;
        for (const int* code = kFormatCodes; *code && !accepted; ++code) {
            last = *code;
            accepted = SetPrimaryFormat(FormatOfCode(*code));
        }
        if (!accepted) {
            SetPrimaryFormat(FormatOfCode(last));
            return 1;
        }
    }
    if (with3d && Ok(host::SoundBufferQueryListener(g_SndPrimary, &g_SndListener)))
        Keep(host::SoundListenerSetAllParameters(g_SndListener, &kDefaultListener, host::DS3D_IMMEDIATE));
    return Ok(host::SoundBufferPlay(g_SndPrimary, 0, 0, host::DSBPLAY_LOOPING)) ? 0 : 1;
}

void SND_StartPrimary() {
    if (!g_SndPrimary) return;
    Keep(host::SoundBufferPlay(g_SndPrimary, 0, 0, host::DSBPLAY_LOOPING));
    Keep(host::SoundBufferSetVolume(g_SndPrimary, 0));
}

void SND_StopPrimary() {
    if (!g_SndPrimary) return;
    if (Playing(g_SndPrimary)) Keep(host::SoundBufferSetVolume(g_SndPrimary, host::DSBVOLUME_MIN));
    Keep(host::SoundBufferStop(g_SndPrimary));
}

void SND_Close() {
    if (g_SndDevice && g_SndPrimary) {
        SND_FreeAllVoices();
        if (Playing(g_SndPrimary)) Keep(host::SoundBufferStop(g_SndPrimary));
        ReleasePrimary();
    }
    FreeDeviceList();
}

uint32_t SND_GetFreeHwMemory() {
    host::SoundCaps caps{};
    if (!g_SndDevice || !Ok(host::SoundGetCaps(g_SndDevice, &caps))) return 0;
    return caps.maxContigFreeHwMemBytes;
}

void SND_SetVoiceCount(int, int count) {
    RunTrace("SND_SetVoiceCount");
    EngineConfig.ChannelToMix = uint8_t(count ? count : 16);
}

void SND_SetCDVolume(int volume) {
    if (g_SndPrimary) Keep(host::SoundBufferSetVolume(g_SndPrimary, SND_VolumeToDb(volume)));
}

// ---------------------------------------------------------------------------
// Voices
// ---------------------------------------------------------------------------

int SND_FindVoice(SndSample* sample) {
    if (!g_SoundOn) return -1;
    int idle = -1, lower = -1, unknown = -1;
    for (int i = VoiceCount() - 1; i >= 1; --i) {
        SndVoice& v = g_SndVoices[i];
        if (v.flags & kVoiceReserved) continue;
        if (!v.buffer) {
            idle = i;
            continue;
        }
        // The status is read whether a sample is given or not, so a voice
        // whose buffer has finished is free.
        if (!Ok(host::SoundBufferGetStatus(v.buffer, &g_status))) {
            if (!v.sample && unknown < 0) unknown = i;
            continue;
        }
        if (!(g_status & host::DSBSTATUS_PLAYING)) idle = i;
        else if (sample && v.sample && v.sample->priority <= sample->priority) lower = i;
    }
    int found = idle >= 0 ? idle : lower >= 0 ? lower : unknown;
    return found < kSndVoices ? found : -1;
}

int SND_PlayVoice(int voice, uint32_t frequency, int volume, int pan, SndSample* sample) {
    if (!g_SndDevice || !ValidVoice(voice) || !sample) return 0;
    SndVoice& v = g_SndVoices[voice];
    bool ready = false;
    int other = OtherVoiceWith(sample, voice);
    if (other >= 0) {
        v.sample = sample;
        ReleaseInterfaces(v);
        if (Ok(host::SoundDuplicateBuffer(g_SndDevice, g_SndVoices[other].buffer, &v.buffer))) {
            SND_Attach3DBuffer(sample, voice, 0);
            sample->flags &= uint16_t(~kSmpChanged);
            ready = true;
        }
    }
    if (!ready && !PrepareVoice(sample, voice)) return 0;
    if (!Ok(host::SoundBufferGetStatus(v.buffer, &g_status))) return 0;
    // The frequency before the start: one the device refuses plays nothing.
    if (!SetRate(v.buffer, frequency)) return 0;
    if (!Ok(host::SoundBufferPlay(v.buffer, 0, 0, sample->loopEnd != 0 ? host::DSBPLAY_LOOPING : 0))) return 0;
    Keep(host::SoundBufferSetVolume(v.buffer, SND_VolumeToDb(volume)));
    Keep(host::SoundBufferSetPan(v.buffer, SND_PanToDb(pan)));
    return 1;
}

void SND_StopVoice(int voice) {
    SndVoice* v = ValidVoice(voice) ? &g_SndVoices[voice] : nullptr;
    if (!v || !v->buffer) return;
    Keep(host::SoundBufferStop(v->buffer));
    Keep(host::SoundBufferSetCurrentPosition(v->buffer, 0));
}

int SND_IsVoicePlaying(int voice) {
    return ValidVoice(voice) && Playing(g_SndVoices[voice].buffer) ? 1 : 0;
}

void SND_FreeVoice(int voice) {
    if (SndVoice* v = Slot(voice)) FreeSlot(*v);
}

void SND_FreeAllVoices() {
    RunTrace("SND_FreeAllVoices");
    for (SndVoice& v : g_SndVoices)
        if (!(v.flags & kVoiceReserved)) FreeSlot(v);
    if (g_SndDevice) Keep(host::SoundCompact(g_SndDevice));
    SND_StopPrimary();
    SND_StartPrimary();
}

void SND_FreeSampleVoices(SndSample* sample) {
    if (!sample) return;
    for (int i = 0; i < kSndVoices; ++i) {
        SndVoice& v = g_SndVoices[i];
        if (!(v.flags & kVoiceReserved) && v.sample == sample) FreeSlot(v);
    }
}

SndSample* SND_GetVoiceSample(int voice) {
    return ValidVoice(voice) ? g_SndVoices[voice].sample : nullptr;
}

int SND_Attach3DBuffer(SndSample* sample, int voice, int force3D) {
    SndVoice* v = Slot(voice);
    if (!sample || !v) return 0;
    v->sample = sample;
    sample->flags &= uint16_t(~kSmpChanged);
    if (!v->buffer) return 0;
    if ((force3D & 1) || (sample->flags & kSmp3D)) {
        if (v->buffer3D) host::Sound3dBufferRelease(v->buffer3D);
        v->buffer3D = nullptr;
        if (Ok(host::SoundBufferQuery3d(v->buffer, &v->buffer3D)))
            Keep(host::Sound3dBufferSetAllParameters(v->buffer3D, &kDefault3dBuffer, host::DS3D_IMMEDIATE));
    }
    return 1;
}

int SND_CreateBuffer(uint32_t size, uint32_t rate, int bits, int channels, int voice, uint32_t caps) {
    SndVoice* v = Slot(voice);
    if (!g_SndDevice || !v) return 0;
    // A buffer the slot still holds is given back rather than lost.
    ReleaseInterfaces(*v);
    uint32_t primaryRate = g_SndPrimaryFormat.samplesPerSec;
    host::WaveFormat format = MakeFormat(g_SndPrimaryFormat.formatTag, primaryRate ? primaryRate : rate, bits, channels);
    host::SoundBufferDesc desc{20, caps, size, 0, &format};
    if (!Ok(host::SoundCreateBuffer(g_SndDevice, &desc, &v->buffer))) {
        v->buffer = nullptr;
        return 0;
    }
    return voice < 0 ? 255 : voice + 1;
}

int SND_FillBuffer(int voice, uint32_t offset, const void* data, uint32_t length) {
    SndVoice* v = Slot(voice);
    if (!v || !v->buffer || !data) return 0;
    void *part1 = nullptr, *part2 = nullptr;
    uint32_t bytes1 = 0, bytes2 = 0;
    int32_t result = Keep(host::SoundBufferLock(v->buffer, offset, length, &part1, &bytes1, &part2, &bytes2, 0));
    // A lost buffer is restored and locked again; a device that never gives
    // its memory back is given up on rather than waited for.
    for (int tries = 0; result == host::DSERR_BUFFERLOST && tries < 1000; ++tries) {
        Keep(host::SoundBufferRestore(v->buffer));
        result = Keep(host::SoundBufferLock(v->buffer, offset, length, &part1, &bytes1, &part2, &bytes2, 0));
    }
    if (result < 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::memcpy(part1, bytes, bytes1);
    if (part2 && bytes2) std::memcpy(part2, bytes + bytes1, bytes2);
    return Ok(host::SoundBufferUnlock(v->buffer, part1, bytes1, part2, bytes2)) ? 1 : 0;
}

void SND_MarkSampleChanged(SndSample* sample) {
    if (sample) sample->flags |= kSmpChanged;
}

void SND_FreeSampleData(uint8_t** data) {
    if (!data) return;
    if (*data) HeapHooks.free(*data);
    *data = nullptr;
}

void SND_SetVoiceVolume(int voice, int volume) {
    if (ValidVoice(voice) && g_SndVoices[voice].buffer)
        Keep(host::SoundBufferSetVolume(g_SndVoices[voice].buffer, SND_VolumeToDb(volume)));
}

void SND_SetVoicePan(int voice, int pan) {
    if (ValidVoice(voice) && g_SndVoices[voice].buffer)
        Keep(host::SoundBufferSetPan(g_SndVoices[voice].buffer, SND_PanToDb(pan)));
}

void SND_SetVoiceFrequency(int voice, uint32_t frequency) {
    if (ValidVoice(voice) && g_SndVoices[voice].buffer)
        Keep(host::SoundBufferSetFrequency(g_SndVoices[voice].buffer, frequency));
}

void SND_ReleaseVoice(int voice) {
    if (!ValidVoice(voice) || !g_SndVoices[voice].buffer) return;
    SND_StopVoice(voice);
    SND_FreeVoice(voice);
}

int SND_DuplicateVoice(SndSample* sample, int voice) {
    if (!g_SndDevice || !ValidVoice(voice) || !sample) return -1;
    int other = OtherVoiceWith(sample, voice);
    if (other < 0) return -1;
    SndVoice& v = g_SndVoices[voice];
    ReleaseInterfaces(v);
    if (!Ok(host::SoundDuplicateBuffer(g_SndDevice, g_SndVoices[other].buffer, &v.buffer))) {
        v.buffer = nullptr;
        return -1;
    }
    v.sample = sample;
    return other;
}

int SND_LoadVoice(SndSample* sample, int voice) {
    if (!g_SndDevice || !ValidVoice(voice) || !sample) return 0;
    return PrepareVoice(sample, voice) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// 3D
// ---------------------------------------------------------------------------

void SND_SetVoice3D(int voice, const float* position, const float* velocity, const float* distances) {
    if (!ValidVoice(voice)) return;
    host::Sound3dBuffer* b = g_SndVoices[voice].buffer3D;
    if (!b) return;
    if (position) Keep(host::Sound3dBufferSetPosition(b, position[0], position[1], position[2], host::DS3D_DEFERRED));
    if (velocity) Keep(host::Sound3dBufferSetVelocity(b, velocity[0], velocity[1], velocity[2], host::DS3D_DEFERRED));
    if (distances) {
        float minimum = distances[0], maximum = std::max(distances[1], distances[0]);
        Keep(host::Sound3dBufferSetMaxDistance(b, maximum, host::DS3D_DEFERRED));
        Keep(host::Sound3dBufferSetMinDistance(b, minimum, host::DS3D_DEFERRED));
    }
}

void SND_SetListener(const float (*frame)[3], const float* velocity, const float* distanceFactor,
                     const float* dopplerFactor, const float* rolloffFactor) {
    host::SoundListener* l = g_SndListener;
    if (!l) return;
    const uint32_t later = host::DS3D_DEFERRED;
    if (frame) {
        Keep(host::SoundListenerSetPosition(l, frame[3][0], frame[3][1], frame[3][2], later));
        // Front is the third axis reversed, top the second axis.
        Keep(host::SoundListenerSetOrientation(l, -frame[2][0], -frame[2][1], -frame[2][2], frame[1][0],
                                               frame[1][1], frame[1][2], later));
    }
    if (velocity) Keep(host::SoundListenerSetVelocity(l, velocity[0], velocity[1], velocity[2], later));
    if (distanceFactor) Keep(host::SoundListenerSetDistanceFactor(l, *distanceFactor, later));
    if (dopplerFactor) Keep(host::SoundListenerSetDopplerFactor(l, *dopplerFactor, later));
    if (rolloffFactor) Keep(host::SoundListenerSetRolloffFactor(l, *rolloffFactor, later));
}

void SND_CommitListener() {
    if (g_SndListener) Keep(host::SoundListenerCommitDeferredSettings(g_SndListener));
}

// ---------------------------------------------------------------------------
// Stream channels
// ---------------------------------------------------------------------------

int SND_OpenStreamChannel(uint16_t formatFlags, uint32_t rate, uint32_t bufferSize, int prefill) {
    int c = -1;
    for (int i = kSndStreamChannels - 1; i >= 0 && c < 0; --i)
        if (!(g_SndStreams[i].flags & kStreamOpen)) c = i;
    if (c < 0) return -1;
    SndStreamChannel& ch = g_SndStreams[c];
    ch = SndStreamChannel{};
    int voice = SND_FindVoice(nullptr);
    if (voice < 0) return -1;
    ch.voice = int16_t(voice);
    ch.volume = 63;
    ch.sample.rate = rate;
    ch.sample.flags = uint16_t(formatFlags & (kSmp16Bit | kSmpStereo));
    ch.sample.priority = 255;
    ch.sample.length = bufferSize;
    SndVoice& v = g_SndVoices[voice];
    if (v.buffer) SND_FreeVoice(voice);
    v.flags |= kVoiceReserved;
    int id = SND_CreateBuffer(bufferSize, rate, (formatFlags & kSmp16Bit) ? 16 : 8, (formatFlags & kSmpStereo) ? 2 : 1,
                              voice, kCapsPlain);
    // A rate the device refuses would be heard at the buffer's own: no channel.
    if (id && !SetRate(v.buffer, rate)) {
        SND_FreeVoice(voice);
        id = 0;
    }
    if (!id) {
        ch.prefill = -1;
        ch.flags &= uint8_t(~kStreamOpen);
        v.flags &= uint8_t(~kVoiceReserved);
        return -1;
    }
    ch.sample.bufferId = uint16_t(id);
    ch.flags |= kStreamOpen;
    ch.prefill = int16_t(prefill);
    SND_Attach3DBuffer(&ch.sample, voice, 0);
    return c;
}

void SND_WriteStreamChannel(int channel, const uint8_t* data, uint32_t length, uint16_t formatFlags) {
    if (!ValidChannel(channel)) return;
    SndStreamChannel& ch = g_SndStreams[channel];
    host::SoundBuffer* buffer = ChannelBuffer(ch);
    if (!(ch.flags & kStreamOpen) || !buffer) return;
    ch.sample.flags = formatFlags;
    ch.sample.data = const_cast<uint8_t*>(data);
    ch.sample.blockSize = length;
    if (!SND_FillBuffer(ch.voice, ch.writeOffset, data, length)) return;
    ch.totalWritten += length;
    ch.writeOffset += length;
    if (ch.writeOffset >= ch.sample.length) ch.writeOffset -= ch.sample.length;
    if (ch.prefill > 0 && --ch.prefill == 0) {
        Keep(host::SoundBufferSetCurrentPosition(buffer, 0));
        Keep(host::SoundBufferPlay(buffer, 0, 0, host::DSBPLAY_LOOPING));
        Keep(host::SoundBufferSetPan(buffer, 0));
        Keep(host::SoundBufferSetFrequency(buffer, ch.sample.rate));
        Keep(host::SoundBufferSetVolume(buffer, SND_VolumeToDb(ch.volume)));
        ch.lastCursor = 0;
        ch.lastPollMs = GetTimeMs();
    }
}

namespace {

// Bytes the channel plays in `ms` milliseconds.
uint64_t BytesIn(const SndStreamChannel& ch, uint32_t ms) {
    uint64_t frameBytes = ((ch.sample.flags & kSmp16Bit) ? 2 : 1) * ((ch.sample.flags & kSmpStereo) ? 2 : 1);
    return uint64_t(ms) * ch.sample.rate * frameBytes / 1000;
}

// Starts the channel over: stopped at the start of its ring, waiting for
// two fresh blocks.  Used when what the ring holds can no longer be placed.
int Reprime(SndStreamChannel& ch, host::SoundBuffer* buffer) {
    Keep(host::SoundBufferStop(buffer));
    Keep(host::SoundBufferSetCurrentPosition(buffer, 0));
    ch.writeOffset = 0;
    ch.lastCursor = 0;
    ch.periodCount = 0;
    ch.totalPlayed = ch.totalWritten;
    ch.prefill = 2;
    return 1;
}

}  // namespace

int SND_PlayStreamChannel(int channel) {
    if (!ValidChannel(channel)) return -1;
    SndStreamChannel& ch = g_SndStreams[channel];
    host::SoundBuffer* buffer = ChannelBuffer(ch);
    if (!(ch.flags & kStreamOpen) || !buffer) return -1;
    if (ch.prefill != 0) return 1;
    uint32_t now = GetTimeMs();
    bool wasPlaying = true;
    if (Ok(host::SoundBufferGetStatus(buffer, &g_status))) {
        if (g_status & host::DSBSTATUS_BUFFERLOST) {
            Keep(host::SoundBufferRestore(buffer));
            return Reprime(ch, buffer);
        }
        if (!(g_status & host::DSBSTATUS_PLAYING)) {
            // Stopped from outside: on again, at the channel's own volume.
            wasPlaying = false;
            Keep(host::SoundBufferPlay(buffer, 0, 0, host::DSBPLAY_LOOPING));
            Keep(host::SoundBufferSetVolume(buffer, SND_VolumeToDb(ch.volume)));
        }
    }
    // Over a whole ring since the last poll, the cursor's move no longer
    // tells how much was played.
    if (wasPlaying && BytesIn(ch, now - ch.lastPollMs) >= ch.sample.length) return Reprime(ch, buffer);
    ch.lastPollMs = now;
    uint32_t play = 0, write = 0;
    Keep(host::SoundBufferGetCurrentPosition(buffer, &play, &write));
    uint32_t progress = play >= ch.lastCursor ? play - ch.lastCursor : play + ch.sample.length - ch.lastCursor;
    ch.periodCount += progress;
    ch.totalPlayed += progress;
    ch.lastCursor = play;
    // Blocks may be shorter than half the ring (the last of a stream), so
    // what counts is how much written is still unplayed, not how much was
    // played since the last report.
    int32_t unplayed = int32_t(ch.totalWritten - ch.totalPlayed);
    if (unplayed <= int32_t(ch.sample.length / 2)) {
        ch.periodCount = 0;
        return 2;
    }
    return -1;
}

void SND_SetStreamVolume(int channel, int volume) {
    if (!ValidChannel(channel)) return;
    SndStreamChannel& ch = g_SndStreams[channel];
    ch.volume = uint16_t(std::clamp(volume, 0, 63));
    if (host::SoundBuffer* buffer = ChannelBuffer(ch)) Keep(host::SoundBufferSetVolume(buffer, SND_VolumeToDb(ch.volume)));
}

int SND_GetStreamVoice(int channel) {
    return ValidChannel(channel) ? g_SndStreams[channel].voice : -1;
}

int32_t SND_GetStreamPosition(int channel) {
    if (!ValidChannel(channel)) return -1;
    SndStreamChannel& ch = g_SndStreams[channel];
    return Playing(ChannelBuffer(ch)) ? int32_t(ch.totalPlayed) : -1;
}

void SND_CloseStreamChannel(int channel) {
    if (!ValidChannel(channel)) return;
    SndStreamChannel& ch = g_SndStreams[channel];
    if (!(ch.flags & kStreamOpen)) return;
    if (ValidVoice(ch.voice)) {
        g_SndVoices[ch.voice].flags &= uint8_t(~kVoiceReserved);
        if (host::SoundBuffer* buffer = ChannelBuffer(ch)) Keep(host::SoundBufferSetVolume(buffer, host::DSBVOLUME_MIN));
        SND_StopVoice(ch.voice);
        SND_FreeVoice(ch.voice);
    }
    ch.flags &= uint8_t(~kStreamOpen);
}
