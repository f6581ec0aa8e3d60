// Room reverb.
//
// Rooms name a reverb preset in sndlev.txt (key Preset): "ROOM", "HALL" or
// "CARPET", each a fixed listener reverb record.  A record is applied
// through the reverb property set of a silent probe buffer kept in the
// sound layer's spare voice slot.  Nothing in the game applies a preset;
// and no output device of the host has the property set, so the probe
// answers that reverb is unsupported and nothing is applied or reported.
#pragma once

#include "host/sound.h"

#include <cstdint>

// The listener's reverb record as the property set takes it (16 bytes).
struct ReverbPreset {
    uint32_t environment;
    float volume;
    float decayTime;  // seconds
    float damping;
};

extern const ReverbPreset kReverbRoom;
extern const ReverbPreset kReverbHall;
extern const ReverbPreset kReverbCarpet;
// The record applied last (or to apply when none is given).
extern ReverbPreset g_EaxReverb;

// With sound on: the preset named by the word (letter case ignored) on the
// listener; another word applies nothing.
void SFX_SetRoomPreset(const char* word);
// Keeps the record when one is given; probes once when the spare slot has
// no buffer; voice -1 applies the kept record through the spare slot's
// property set, another voice through that voice's.  1 when applied.
int EAX_ApplyReverb(int voice, const ReverbPreset* record);
// 1 when the property set took the record; 0 without a set or on refusal.
int EAX_SetReverb(host::SoundPropertySet* set, const ReverbPreset* record);
// 1 when reverb can be read and written through the spare slot's buffer.
int EAX_Probe(int spareSlot);
// An empty check hook.
void EAX_Check(int step, int32_t result);
