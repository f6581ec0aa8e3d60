// The host's sound device: output devices, a primary buffer whose format the
// program chooses, secondary buffers that hold sound data and play it once
// or looping, duplicates that share another buffer's data, a 3D listener
// with 3D buffers, and position notifications.
//
// Results are 32-bit codes: 0 (DS_OK) on success, a negative code on
// failure.  Volumes are in hundredths of a decibel (0 full, -10000 silent),
// pans likewise (-10000 left only, 0 centre, +10000 right only), frequencies
// in samples per second.  Buffer offsets and sizes are in bytes.
//
// Every playing buffer is mixed into one output by the host: resampled from
// its frequency to the output rate, scaled by 10^(mB / 2000) and panned so
// that only the far side is attenuated.  A 3D buffer is panned from the
// direction of its position in the listener's frame instead (and attenuated
// by distance only when the listener's rolloff factor is not 0).  The SDL2
// back end plays the mix on the real audio device; the headless back end
// mixes on its virtual clock into a capture (host/headless/headless_sound.h).
// At equal rates, 0 mB and centred pan the mix is the buffer's own samples
// (8-bit samples b become (b - 128) << 8).
//
// Objects are counted references: each Create, Duplicate and Query hands
// out one that its Release gives back.  Every call is safe from any thread.
#pragma once

#include "host/host.h"

#include <cstdint>

namespace host {

// Result codes.
constexpr int32_t DS_OK = 0;
constexpr int32_t DSERR_INVALIDPARAM = int32_t(0x80070057u);
constexpr int32_t DSERR_OUTOFMEMORY = int32_t(0x8007000Eu);
constexpr int32_t DSERR_NOINTERFACE = int32_t(0x80004002u);
constexpr int32_t DSERR_GENERIC = int32_t(0x80004005u);
constexpr int32_t DSERR_CONTROLUNAVAIL = int32_t(0x8878001Eu);
constexpr int32_t DSERR_INVALIDCALL = int32_t(0x88780032u);
constexpr int32_t DSERR_PRIOLEVELNEEDED = int32_t(0x88780046u);
constexpr int32_t DSERR_BADFORMAT = int32_t(0x88780064u);
constexpr int32_t DSERR_NODRIVER = int32_t(0x88780078u);
constexpr int32_t DSERR_BUFFERLOST = int32_t(0x88780096u);

// Cooperative levels.
constexpr uint32_t DSSCL_NORMAL = 1;
constexpr uint32_t DSSCL_PRIORITY = 2;
constexpr uint32_t DSSCL_EXCLUSIVE = 3;
constexpr uint32_t DSSCL_WRITEPRIMARY = 4;

// Buffer capabilities.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr uint32_t DSBCAPS_STATIC = 0x2;
constexpr uint32_t DSBCAPS_CTRL3D = 0x10;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBCAPS_CTRLPOSITIONNOTIFY = 0x100;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

constexpr uint32_t DSBPLAY_LOOPING = 0x1;
constexpr uint32_t DSBLOCK_FROMWRITECURSOR = 0x1;
constexpr uint32_t DSBLOCK_ENTIREBUFFER = 0x2;

// Status bits.
constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t DSBSTATUS_BUFFERLOST = 0x2;
constexpr uint32_t DSBSTATUS_LOOPING = 0x4;

constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBPAN_LEFT = -10000;
constexpr int32_t DSBPAN_RIGHT = 10000;
constexpr uint32_t DSBFREQUENCY_MIN = 100;
constexpr uint32_t DSBFREQUENCY_MAX = 100000;
constexpr uint32_t DSBSIZE_MIN = 4;
constexpr uint32_t DSBSIZE_MAX = 0x0FFFFFFF;

// 3D: when settings apply, and the modes of a 3D buffer.
constexpr uint32_t DS3D_IMMEDIATE = 0;
constexpr uint32_t DS3D_DEFERRED = 1;
constexpr uint32_t DS3DMODE_NORMAL = 0;
constexpr uint32_t DS3DMODE_HEADRELATIVE = 1;
constexpr uint32_t DS3DMODE_DISABLE = 2;

// Notification offset that fires when the buffer stops.
constexpr uint32_t DSBPN_OFFSETSTOP = 0xFFFFFFFFu;

constexpr uint16_t WAVE_FORMAT_PCM = 1;

struct WaveFormat {
    uint16_t formatTag;  // WAVE_FORMAT_PCM
    uint16_t channels;   // 1 or 2
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;  // samplesPerSec x blockAlign
    uint16_t blockAlign;      // bitsPerSample / 8 x channels
    uint16_t bitsPerSample;   // 8 or 16; 8-bit samples are unsigned
};

struct SoundBufferDesc {
    uint32_t size;         // 20
    uint32_t flags;        // DSBCAPS_...
    uint32_t bufferBytes;  // 0 for the primary buffer
    uint32_t reserved;
    const WaveFormat* format;  // null for the primary buffer
};

struct SoundCaps {
    uint32_t flags;
    uint32_t freeHwMemBytes;
    uint32_t maxContigFreeHwMemBytes;
};

struct Vector3f {
    float x, y, z;
};

struct Sound3dBufferParams {
    uint32_t size;
    Vector3f position;
    Vector3f velocity;
    uint32_t insideConeAngle;
    uint32_t outsideConeAngle;
    Vector3f coneOrientation;
    int32_t coneOutsideVolume;
    float minDistance;
    float maxDistance;
    uint32_t mode;  // DS3DMODE_...
};

struct Sound3dListenerParams {
    uint32_t size;
    Vector3f position;
    Vector3f velocity;
    Vector3f orientFront;
    Vector3f orientTop;
    float distanceFactor;
    float rolloffFactor;
    float dopplerFactor;
};

// A notification: `signal(context)` runs when the play cursor reaches the
// offset (or when the buffer stops, for DSBPN_OFFSETSTOP).  It runs on the
// mixer's thread (the audio device's, or the program's when headless),
// outside the host's locks.
struct SoundNotify {
    uint32_t offset;
    void (*signal)(void* context);
    void* context;
};

// A device's identity; the default device has none.
struct SoundGuid {
    uint32_t device;
};

struct SoundDevice;
struct SoundBuffer;
struct Sound3dBuffer;
struct SoundListener;
struct SoundPropertySet;

// Lists the output devices: the default device first (its guid is null,
// its description "Primary Sound Driver"), then each real device.  The
// callback answers false to stop the list.
using SoundEnumCallback = bool (*)(const SoundGuid* guid, const char* description, const char* module,
                                   void* context);
int32_t SoundEnumerate(SoundEnumCallback callback, void* context);

// Device: created on a device (null: the default one).
int32_t SoundCreate(const SoundGuid* guid, SoundDevice** device);
uint32_t SoundAddRef(SoundDevice* device);
uint32_t SoundRelease(SoundDevice* device);
int32_t SoundSetCooperativeLevel(SoundDevice* device, HWND window, uint32_t level);
// The primary buffer (DSBCAPS_PRIMARYBUFFER, no size, no format: one per
// device, handed out again on a second call) or a secondary buffer.
int32_t SoundCreateBuffer(SoundDevice* device, const SoundBufferDesc* desc, SoundBuffer** buffer);
// A secondary buffer of its own state that plays the original's data.
int32_t SoundDuplicateBuffer(SoundDevice* device, SoundBuffer* original, SoundBuffer** duplicate);
int32_t SoundGetCaps(SoundDevice* device, SoundCaps* caps);
int32_t SoundCompact(SoundDevice* device);

// Buffers.
uint32_t SoundBufferAddRef(SoundBuffer* buffer);
uint32_t SoundBufferRelease(SoundBuffer* buffer);
int32_t SoundBufferGetCaps(SoundBuffer* buffer, uint32_t* flags, uint32_t* bufferBytes);
// Gives access to `bytes` from `offset`, in one part, or two when the range
// wraps past the end; the data is the buffer's once Unlock takes the same
// pointers back.
int32_t SoundBufferLock(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                        void** part2, uint32_t* bytes2, uint32_t flags);
int32_t SoundBufferUnlock(SoundBuffer* buffer, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
// A lost buffer's memory comes back (its contents must be written again).
int32_t SoundBufferRestore(SoundBuffer* buffer);
int32_t SoundBufferPlay(SoundBuffer* buffer, uint32_t reserved, uint32_t priority, uint32_t flags);
int32_t SoundBufferStop(SoundBuffer* buffer);
int32_t SoundBufferGetStatus(SoundBuffer* buffer, uint32_t* status);
int32_t SoundBufferSetCurrentPosition(SoundBuffer* buffer, uint32_t offset);
// The play cursor and the write cursor (one mix period ahead of the play
// cursor while the buffer plays; the play cursor itself while it stands).
int32_t SoundBufferGetCurrentPosition(SoundBuffer* buffer, uint32_t* play, uint32_t* write);
int32_t SoundBufferSetVolume(SoundBuffer* buffer, int32_t volume);
int32_t SoundBufferGetVolume(SoundBuffer* buffer, int32_t* volume);
int32_t SoundBufferSetPan(SoundBuffer* buffer, int32_t pan);
int32_t SoundBufferGetPan(SoundBuffer* buffer, int32_t* pan);
int32_t SoundBufferSetFrequency(SoundBuffer* buffer, uint32_t frequency);
int32_t SoundBufferGetFrequency(SoundBuffer* buffer, uint32_t* frequency);
// Primary only; the device may refuse a format (DSERR_BADFORMAT).  The
// output moves to the format's rate, and the format is taken only when an
// output runs at it: a rate the output cannot open at is refused, with
// DSERR_BADFORMAT when it goes on at its old rate, DSERR_NODRIVER when no
// output runs any more (a later format whose rate opens it is taken).
int32_t SoundBufferSetFormat(SoundBuffer* buffer, const WaveFormat* format);
int32_t SoundBufferGetFormat(SoundBuffer* buffer, WaveFormat* format);
// Secondary buffers with DSBCAPS_CTRLPOSITIONNOTIFY, while stopped; an
// empty list removes the notifications.
int32_t SoundBufferSetNotifications(SoundBuffer* buffer, const SoundNotify* notifies, uint32_t count);

// The 3D side of a buffer made with DSBCAPS_CTRL3D.
int32_t SoundBufferQuery3d(SoundBuffer* buffer, Sound3dBuffer** buffer3d);
uint32_t Sound3dBufferRelease(Sound3dBuffer* buffer3d);
int32_t Sound3dBufferSetAllParameters(Sound3dBuffer* buffer3d, const Sound3dBufferParams* params, uint32_t apply);
int32_t Sound3dBufferGetAllParameters(Sound3dBuffer* buffer3d, Sound3dBufferParams* params);
int32_t Sound3dBufferSetPosition(Sound3dBuffer* buffer3d, float x, float y, float z, uint32_t apply);
int32_t Sound3dBufferSetVelocity(Sound3dBuffer* buffer3d, float x, float y, float z, uint32_t apply);
int32_t Sound3dBufferSetMinDistance(Sound3dBuffer* buffer3d, float distance, uint32_t apply);
int32_t Sound3dBufferSetMaxDistance(Sound3dBuffer* buffer3d, float distance, uint32_t apply);
int32_t Sound3dBufferSetMode(Sound3dBuffer* buffer3d, uint32_t mode, uint32_t apply);

// The listener of a primary buffer made with DSBCAPS_CTRL3D.  Deferred
// settings of the listener and of the device's 3D buffers take effect at
// CommitDeferredSettings.
int32_t SoundBufferQueryListener(SoundBuffer* primary, SoundListener** listener);
uint32_t SoundListenerRelease(SoundListener* listener);
int32_t SoundListenerSetAllParameters(SoundListener* listener, const Sound3dListenerParams* params, uint32_t apply);
int32_t SoundListenerGetAllParameters(SoundListener* listener, Sound3dListenerParams* params);
int32_t SoundListenerSetPosition(SoundListener* listener, float x, float y, float z, uint32_t apply);
int32_t SoundListenerSetVelocity(SoundListener* listener, float x, float y, float z, uint32_t apply);
int32_t SoundListenerSetOrientation(SoundListener* listener, float frontX, float frontY, float frontZ, float topX,
                                    float topY, float topZ, uint32_t apply);
int32_t SoundListenerSetDistanceFactor(SoundListener* listener, float factor, uint32_t apply);
int32_t SoundListenerSetDopplerFactor(SoundListener* listener, float factor, uint32_t apply);
int32_t SoundListenerSetRolloffFactor(SoundListener* listener, float factor, uint32_t apply);
int32_t SoundListenerCommitDeferredSettings(SoundListener* listener);

// Property sets (environment reverb): no output device of the host has
// one, so the query answers DSERR_NOINTERFACE, and the two calls on a set
// answer DSERR_INVALIDPARAM for the null set a failed query leaves.
int32_t SoundBufferQueryPropertySet(SoundBuffer* buffer, SoundPropertySet** set);
uint32_t SoundPropertySetRelease(SoundPropertySet* set);
// The property sets the program asks for.
constexpr uint32_t SOUNDPROPSET_REVERB = 1;  // the listener's room reverb record
// Support of one property: bit 0 it can be read, bit 1 it can be written.
constexpr uint32_t SOUNDPROP_SUPPORT_GET = 1;
constexpr uint32_t SOUNDPROP_SUPPORT_SET = 2;
int32_t SoundPropertySetQuerySupport(SoundPropertySet* set, uint32_t propertySet, uint32_t id, uint32_t* support);
int32_t SoundPropertySetSet(SoundPropertySet* set, uint32_t propertySet, uint32_t id, const void* instance,
                            uint32_t instanceBytes, const void* data, uint32_t dataBytes);

}  // namespace host
