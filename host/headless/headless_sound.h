// The headless back end's sound output, for tests and automation.
//
// There is no audio thread: the host's mixer renders on the virtual clock,
// up to the clock's reading before every sound call, into a capture of
// 16-bit stereo frames at the output rate (the primary buffer's rate, 22050
// until the program sets its format).  Failures of the device are injected
// here.
//
// Environment options read at start:
//   MORVANEL_AUDIO          "none": no sound device at all; "uncaptured":
//                           the sound is mixed as usual, none of it kept.
//   MORVANEL_AUDIO_CAPTURE  a .wav file: the capture is written there each
//                           time the output closes.
#pragma once

#include "host/sound.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host::headless {

// Back to one device and no injections; the capture is emptied.
void ResetSound();

// Output devices besides the default one; 0 leaves no device at all.
void SetSoundDevices(int count);
// The next `count` device creations (output opens) fail.
void FailSoundCreate(int count);
// Primary formats the device refuses; every format offered is logged.
void RefuseSoundFormat(uint32_t rate, int channels, int bits);
void RefuseAllSoundFormats(bool refuse);
const std::vector<WaveFormat>& SoundFormatsOffered();
// Free memory the device reports for hardware buffers (0 by default).
void SetFreeHardwareBytes(uint32_t bytes);
// The next `count` status reads fail; the next `count` buffer creations
// fail; every secondary buffer is lost now; the next `count` restores fail.
void FailSoundStatus(int count);
void FailSoundBufferCreation(int count);
void LoseSoundBuffers();
void FailSoundRestore(int count);

// The capture, brought up to the virtual clock: interleaved left and right
// samples since the output opened (at most 2^24 frames are kept).
const std::vector<int16_t>& CapturedAudio();
// Frames in the capture.
size_t CapturedFrames();
// The clock's reading (microseconds) when the capture's first frame began:
// the output's last opening.
uint64_t CaptureStartUs();
uint32_t CapturedAudioRate();
void ClearCapturedAudio();

// Slots of the back end's table.
void ConfigureSoundFromEnvironment();
int SoundDeviceCount();
const char* SoundDeviceName(int index);
bool SoundOpen(int index, int rate);
void SoundClose();

}  // namespace host::headless
