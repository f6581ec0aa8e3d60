// The sound device's records, shared by its calls (sound_device.cpp) and its
// mixer (sound_mixer.cpp).  Everything here is guarded by the one sound
// lock, g_soundLock.
#pragma once

#include "host/sound_internal.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace host::detail::sound {

struct Device;

// A region handed out by Lock: a copy of the buffer's bytes that Unlock
// writes back, so the program never writes memory the mixer is reading.
struct LockRecord {
    std::unique_ptr<uint8_t[]> copy;
    uint32_t offset;
    uint32_t bytes1, bytes2;
};

struct Buffer {
    uint32_t refs = 1;
    Device* device = nullptr;
    bool primary = false;
    uint32_t caps = 0;
    WaveFormat format{};
    // The sound data, shared with duplicates.
    std::shared_ptr<std::vector<uint8_t>> data;
    uint32_t bytes = 0;   // buffer size
    uint32_t frames = 0;  // whole frames in it
    bool playing = false, looping = false, lost = false;
    uint64_t position = 0;  // play position in frames, 32.32 fixed point
    uint32_t frequency = 0;
    int32_t volume = 0, pan = 0;
    // 3D: the settings as last given, and those in effect (they differ
    // while deferred settings wait for a commit).
    Sound3dBufferParams given{}, active{};
    bool deferred = false;
    std::vector<SoundNotify> notifies;
    std::vector<LockRecord> locks;
};

struct Device {
    uint32_t refs = 1;
    uint32_t level = 0;
    Buffer* primary = nullptr;  // not a reference: cleared when it goes
    Sound3dListenerParams given{}, active{};
    bool deferred = false;
    std::vector<Buffer*> buffers;  // every secondary buffer alive
};

// Shared state of the host's sound.
struct State {
    std::vector<Device*> devices;
    bool outputOpen = false;
    int outputIndex = 0;
    SoundOutput output{};
    // Clock-driven outputs: where the clock stood when the output opened
    // (or when rendering restarted) and the frames rendered since.
    uint64_t originUs = 0, lastUs = 0, rendered = 0;
    int failStatus = 0, failCreate = 0, failRestore = 0;
    std::vector<SoundNotify> fired;  // notifications to run after the lock
};

extern std::recursive_mutex g_soundLock;
extern State g_sound;

// Mixer (sound_mixer.cpp).  Both run with the lock held.
void MixLocked(int16_t* out, uint32_t count);
// Frames of lead of the write cursor for a buffer, in bytes.
uint32_t WriteLead(const Buffer& b);

// Decibel hundredths to a gain: 10^(mB / 2000), 0 at -10000 and below.
float GainOf(int32_t millibels);

}  // namespace host::detail::sound
