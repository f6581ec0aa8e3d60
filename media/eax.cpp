// Room reverb through the spare voice slot's probe buffer.
#include "media/eax.h"

#include "media/snd_layer.h"
#include "platform/settings.h"
#include "platform/utils.h"

#include <cstring>

const ReverbPreset kReverbRoom = {2, 0.417f, 0.4f, 0.666f};
const ReverbPreset kReverbHall = {12, 0.361f, 1.493f, 0.0f};
const ReverbPreset kReverbCarpet = {11, 0.153f, 0.259f, 2.0f};
ReverbPreset g_EaxReverb = {};

namespace {

constexpr uint32_t kReverbProperty = 0;
// The probe: a 1024-byte 16-bit mono buffer at 11025 Hz with 3D and
// static memory.
constexpr uint32_t kProbeCaps = host::DSBCAPS_CTRL3D | host::DSBCAPS_STATIC;

}  // namespace

void SFX_SetRoomPreset(const char* word) {
    if (!g_SoundOn || !word) return;
    if (StrCmpNoCase(word, "ROOM") == 0) EAX_ApplyReverb(-1, &kReverbRoom);
    else if (StrCmpNoCase(word, "HALL") == 0) EAX_ApplyReverb(-1, &kReverbHall);
    else if (StrCmpNoCase(word, "CARPET") == 0) EAX_ApplyReverb(-1, &kReverbCarpet);
}

int EAX_ApplyReverb(int voice, const ReverbPreset* record) {
    if (record) g_EaxReverb = *record;
    SndVoice& spare = g_SndVoices[kSndSpareVoice];
    if (!spare.buffer && !EAX_Probe(kSndSpareVoice)) return 0;
    if (voice == -1) return EAX_SetReverb(spare.propertySet, &g_EaxReverb);
    if (voice < 0 || voice >= kSndVoices) return 0;
    return EAX_SetReverb(g_SndVoices[voice].propertySet, &g_EaxReverb);
}

int EAX_SetReverb(host::SoundPropertySet* set, const ReverbPreset* record) {
    if (!set || !record) return 0;
    uint8_t bytes[16];
    std::memcpy(bytes, &record->environment, 4);
    std::memcpy(bytes + 4, &record->volume, 4);
    std::memcpy(bytes + 8, &record->decayTime, 4);
    std::memcpy(bytes + 12, &record->damping, 4);
    int32_t result = host::SoundPropertySetSet(set, host::SOUNDPROPSET_REVERB, kReverbProperty, nullptr, 0, bytes,
                                               sizeof bytes);
    EAX_Check(5, result);
    return result >= 0 ? 1 : 0;
}

int EAX_Probe(int spareSlot) {
    if (spareSlot != kSndSpareVoice) return 0;
    SndVoice& v = g_SndVoices[kSndSpareVoice];
    if (!v.buffer && !SND_CreateBuffer(1024, 11025, 16, 1, -1, kProbeCaps)) return 0;
    if (!v.buffer3D) EAX_Check(2, host::SoundBufferQuery3d(v.buffer, &v.buffer3D));
    if (!v.propertySet) {
        int32_t result = host::SoundBufferQueryPropertySet(v.buffer, &v.propertySet);
        EAX_Check(3, result);
        if (result < 0 || !v.propertySet) return 0;
    }
    uint32_t support = 0;
    int32_t result =
        host::SoundPropertySetQuerySupport(v.propertySet, host::SOUNDPROPSET_REVERB, kReverbProperty, &support);
    EAX_Check(4, result);
    if (result < 0) return 0;
    const uint32_t both = host::SOUNDPROP_SUPPORT_GET | host::SOUNDPROP_SUPPORT_SET;
    int supported = (support & both) == both ? 1 : 0;
    host::SoundBufferPlay(v.buffer, 0, 0, host::DSBPLAY_LOOPING);
    return supported;
}

void EAX_Check(int, int32_t) {}
