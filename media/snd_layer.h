// The sound layer: the one place that talks to the sound device.
//
// It lists the devices, creates the device and the primary buffer, owns 32
// voices (secondary buffers that play one SndSample each) and 8 stream
// channels (looping buffers fed block by block), converts the game's volume
// (0..63) and pan (-64..63, 100 = centre) to hundredths of a decibel, and
// drives the 3D listener and the 3D voices.  Its state is global and lives
// from the device start to SND_Close; everything runs on the main thread.
#pragma once

#include "host/sound.h"
#include "media/sample.h"
#include "platform/settings.h"

#include <cstdint>

struct SndLayerRecord {
    const char* banner;          // printed in the start-up report
    char deviceName[128];        // description of the device chosen, at most 32 characters
    const char* resourcePath;    // points at the main archive path
    host::SoundDevice* soundObject;  // the device, handed to the movie player
};
extern SndLayerRecord g_SndLayer;

constexpr int kSndVoices = 32;
constexpr int kSndSpareVoice = 32;  // the 33rd slot: buffers made for a negative voice
constexpr int kSndStreamChannels = 8;

constexpr uint8_t kVoiceReserved = 0x01;  // owned by a stream channel

struct SndVoice {
    host::SoundBuffer* buffer;
    host::Sound3dBuffer* buffer3D;       // only for 3D samples
    host::SoundPropertySet* propertySet; // room reverb
    SndSample* sample;                   // kept after the buffer is gone
    uint8_t flags;                       // kVoice...
};
extern SndVoice g_SndVoices[kSndVoices + 1];

constexpr uint8_t kStreamOpen = 0x01;

struct SndStreamChannel {
    uint32_t writeOffset;   // where the next block goes
    uint32_t lastCursor;    // play cursor at the last poll
    uint32_t periodCount;   // bytes played since the last period report
    uint32_t totalPlayed;   // bytes played since playback began
    uint32_t totalWritten;  // bytes written since the channel opened
    uint32_t lastPollMs;    // GetTimeMs at the last poll
    uint8_t flags;          // kStream...
    int16_t prefill;        // blocks still to write before playback; -1 after a failed open
    uint16_t volume;        // 0..63
    int16_t voice;
    // data = the last block, length = the buffer size, blockSize = the last
    // block's length (the period), rate, flags, buffer id, priority 255.
    SndSample sample;
};
extern SndStreamChannel g_SndStreams[kSndStreamChannels];

// Device state.
extern host::SoundDevice* g_SndDevice;
extern host::SoundBuffer* g_SndPrimary;
extern host::SoundListener* g_SndListener;
extern int32_t g_SndLastResult;
extern host::WaveFormat g_SndPrimaryFormat;
extern char** SND_DeviceNameList;  // null-terminated, in enumeration order

// Conversions of the game's scales.
int32_t SND_VolumeToDb(int volume);
int32_t SND_PanToDb(int pan);
int32_t SND_LevelToDb(int32_t low, int32_t high, int32_t level);

// Device.
int SND_EnumDevices();
int SND_CreateDevice();
int SND_OpenPrimary();  // 0 on success, 1 on failure
void SND_StartPrimary();
void SND_StopPrimary();
void SND_Close();
uint32_t SND_GetFreeHwMemory();
void SND_SetVoiceCount(int ignored, int count);
void SND_SetCDVolume(int volume);

// Voices 0..31.
int SND_FindVoice(SndSample* sample);
// 1 when started; 0 when nothing plays, also at a frequency the device
// refuses or 0 (it would sound at the buffer's own rate, a wrong pitch).
int SND_PlayVoice(int voice, uint32_t frequency, int volume, int pan, SndSample* sample);
void SND_StopVoice(int voice);
int SND_IsVoicePlaying(int voice);
void SND_FreeVoice(int voice);
void SND_FreeAllVoices();
void SND_FreeSampleVoices(SndSample* sample);
SndSample* SND_GetVoiceSample(int voice);
int SND_Attach3DBuffer(SndSample* sample, int voice, int force3D);
int SND_CreateBuffer(uint32_t size, uint32_t rate, int bits, int channels, int voice, uint32_t caps);
int SND_FillBuffer(int voice, uint32_t offset, const void* data, uint32_t length);
void SND_MarkSampleChanged(SndSample* sample);
void SND_FreeSampleData(uint8_t** data);
void SND_SetVoiceVolume(int voice, int volume);
void SND_SetVoicePan(int voice, int pan);
void SND_SetVoiceFrequency(int voice, uint32_t frequency);
void SND_ReleaseVoice(int voice);
int SND_DuplicateVoice(SndSample* sample, int voice);
int SND_LoadVoice(SndSample* sample, int voice);

// 3D.  A frame is four vectors: three axes, then the position.
void SND_SetVoice3D(int voice, const float* position, const float* velocity, const float* distances);
void SND_SetListener(const float (*frame)[3], const float* velocity, const float* distanceFactor,
                     const float* dopplerFactor, const float* rolloffFactor);
void SND_CommitListener();

// Stream channels 0..7.
//
// A channel's buffer is a ring fed block by block: after `prefill` blocks it
// plays looping from its start, and each poll measures how far its play
// cursor went.  The play cursor, not the write cursor, is what counts: the
// host mixes the buffer's bytes as they stand when it reaches them, so the
// bytes between the two cursors are not yet taken and a refill must not
// overwrite them.
// The channel 0..7, or -1: no channel or voice free, no buffer, or a rate
// the device refuses.
int SND_OpenStreamChannel(uint16_t formatFlags, uint32_t rate, uint32_t bufferSize, int prefill);
void SND_WriteStreamChannel(int channel, const uint8_t* data, uint32_t length, uint16_t formatFlags);
// The poll: -1 nothing to do (or no such channel), 1 still prefilling, 2
// a block has been played: the ring holds at most half of it unplayed, so
// a block (up to half the ring) may be written, and after it the poll may
// answer 2 again when the caller was late.  A buffer that stopped plays on
// at its stored volume; a lost buffer, or a poll so late that the cursor
// may have gone round the whole ring, starts the channel over: stopped, at
// its start, prefilling two blocks, what it held counted as played.
int SND_PlayStreamChannel(int channel);
void SND_SetStreamVolume(int channel, int volume);
int SND_GetStreamVoice(int channel);
int32_t SND_GetStreamPosition(int channel);
void SND_CloseStreamChannel(int channel);

