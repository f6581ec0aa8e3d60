// Between the sound device's portable core (host/sound_device.cpp) and the
// back ends that carry its output: how an output is opened and fed, and the
// mixer's own entry points.  Only host/, tests and benchmarks include this.
#pragma once

#include "host/sound.h"

#include <cstdint>

namespace host::detail {

// What a back end reports when its output opens (it calls SoundOutputReady
// from its audioOpen slot before answering true).
struct SoundOutput {
    uint32_t rate;          // output frames per second
    uint32_t periodFrames;  // frames mixed at a time: the write cursor's lead
    // Clock-driven outputs (headless): the mixer renders up to this clock,
    // in microseconds, before every sound call, and hands the frames to the
    // sink.  Callback-driven outputs (SDL) leave both null and call
    // SoundMix from their audio thread.
    uint64_t (*clockMicroseconds)();
    void (*sink)(const int16_t* frames, uint32_t count);
    // Whether the device takes a primary format; null takes every PCM format
    // of 8 or 16 bits, 1 or 2 channels and 100..100000 Hz.
    bool (*acceptsFormat)(const WaveFormat& format);
    // Free memory reported for hardware buffers.
    uint32_t freeHardwareBytes;
};
void SoundOutputReady(const SoundOutput& output);

// Mixes `count` frames of 16-bit stereo (left, right) into `out` and moves
// every playing buffer on.  Called by callback-driven back ends from their
// audio thread, and directly by tests and benchmarks.
void SoundMix(int16_t* out, uint32_t count);
// Renders a clock-driven output up to its clock now.
void SoundSync();
// Clock-driven outputs: the clock reading (microseconds) at which the
// rendering reaches the next notification offset of a playing buffer;
// UINT64_MAX while none plays.  Renders nothing.
uint64_t SoundNextNotificationUs();
// Closes the output (the back end stops); the objects stay valid.
void SoundShutdown();
// The output rate in use; 0 while no output is open.
uint32_t SoundOutputRate();

// Injected failures and conditions for tests (headless controls forward
// here): the next `count` status reads fail; the next `count` buffer
// creations fail; every secondary buffer is lost (stopped, its memory gone
// until Restore); the next `count` restores fail.
void SoundFailStatus(int count);
void SoundFailBufferCreation(int count);
void SoundLoseBuffers();
void SoundFailRestore(int count);
void SoundResetInjections();

}  // namespace host::detail
