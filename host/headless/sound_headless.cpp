// The headless back end's sound output: the mixer on the virtual clock,
// into a capture, with injected failures.
#include "host/headless/headless.h"
#include "host/headless/headless_sound.h"
#include "host/headless/scheduler.h"
#include "host/sound_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace host::headless {

namespace {

constexpr size_t kMaxFrames = size_t(1) << 24;

struct SoundState {
    int devices = 1;
    int failCreate = 0;
    bool refuseAll = false;
    std::vector<WaveFormat> refused;
    std::vector<WaveFormat> offered;
    uint32_t freeHardware = 0;
    std::vector<int16_t> capture;
    uint32_t rate = 0;
    bool open = false;
    uint64_t openedUs = 0;
    std::string captureFile;
    bool keep = true;  // whether the mix is kept in `capture`
    std::vector<std::string> names;
};

SoundState s;

uint64_t Clock() {
    return ClockMicroseconds();
}

void Sink(const int16_t* frames, uint32_t count) {
    if (!s.keep) return;
    size_t room = kMaxFrames * 2 - std::min(kMaxFrames * 2, s.capture.size());
    size_t n = std::min<size_t>(room, size_t(count) * 2);
    s.capture.insert(s.capture.end(), frames, frames + n);
}

bool Accepts(const WaveFormat& f) {
    s.offered.push_back(f);
    if (s.refuseAll) return false;
    for (const WaveFormat& r : s.refused)
        if (r.samplesPerSec == f.samplesPerSec && r.channels == f.channels && r.bitsPerSample == f.bitsPerSample)
            return false;
    return true;
}

void Put16(std::FILE* f, uint16_t v) {
    std::fputc(v & 0xFF, f);
    std::fputc(v >> 8, f);
}
void Put32(std::FILE* f, uint32_t v) {
    Put16(f, uint16_t(v));
    Put16(f, uint16_t(v >> 16));
}

// The capture as a 16-bit stereo .wav file.
void WriteCaptureFile() {
    if (s.captureFile.empty()) return;
    std::FILE* f = std::fopen(s.captureFile.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "MORVANEL_AUDIO_CAPTURE: cannot write %s\n", s.captureFile.c_str());
        return;
    }
    uint32_t bytes = uint32_t(s.capture.size() * 2);
    std::fputs("RIFF", f);
    Put32(f, 36 + bytes);
    std::fputs("WAVEfmt ", f);
    Put32(f, 16);
    Put16(f, 1);
    Put16(f, 2);
    Put32(f, s.rate);
    Put32(f, s.rate * 4);
    Put16(f, 4);
    Put16(f, 16);
    std::fputs("data", f);
    Put32(f, bytes);
    for (int16_t v : s.capture) Put16(f, uint16_t(v));
    std::fclose(f);
}

// The output as a time source of the baton scheduler: while a buffer with
// notifications plays, the clock stops at each moment the play cursor
// passes one of them, and the mix is rendered up to the clock at every
// baton pass, so a thread waiting on a notification wakes on time (and a
// wait on a buffer that does not play is a deadlock the scheduler sees).
uint64_t NextNotification(void*, uint64_t) {
    return detail::SoundNextNotificationUs();
}

void RenderToClock(void*, uint64_t) {
    detail::SoundSync();
}

}  // namespace

void ResetSound() {
    std::string file = s.captureFile;
    const bool keep = s.keep;
    s = SoundState{};
    s.captureFile = file;
    s.keep = keep;
    detail::SoundResetInjections();
}

void ConfigureSoundFromEnvironment() {
    const char* audio = std::getenv("MORVANEL_AUDIO");
    if (audio && strcasecmp(audio, "none") == 0) s.devices = 0;
    // A long run mixes its sound as usual but keeps none of it: the capture
    // would hold up to 64 MiB of it.
    if (audio && strcasecmp(audio, "uncaptured") == 0) s.keep = false;
    const char* capture = std::getenv("MORVANEL_AUDIO_CAPTURE");
    s.captureFile = capture ? capture : "";
}

void SetSoundDevices(int count) {
    s.devices = std::max(0, count);
}

void FailSoundCreate(int count) {
    s.failCreate = count;
}

void RefuseSoundFormat(uint32_t rate, int channels, int bits) {
    s.refused.push_back({WAVE_FORMAT_PCM, uint16_t(channels), rate, 0, 0, uint16_t(bits)});
}

void RefuseAllSoundFormats(bool refuse) {
    s.refuseAll = refuse;
}

const std::vector<WaveFormat>& SoundFormatsOffered() {
    return s.offered;
}

void SetFreeHardwareBytes(uint32_t bytes) {
    s.freeHardware = bytes;
    if (s.open) {
        // Takes effect on the open output too, from the clock's reading now.
        detail::SoundSync();
        detail::SoundOutputReady({s.rate, 512, Clock, Sink, Accepts, bytes});
    }
}

void FailSoundStatus(int count) {
    detail::SoundFailStatus(count);
}
void FailSoundBufferCreation(int count) {
    detail::SoundFailBufferCreation(count);
}
void LoseSoundBuffers() {
    detail::SoundLoseBuffers();
}
void FailSoundRestore(int count) {
    detail::SoundFailRestore(count);
}

const std::vector<int16_t>& CapturedAudio() {
    detail::SoundSync();
    return s.capture;
}

size_t CapturedFrames() {
    return CapturedAudio().size() / 2;
}

uint64_t CaptureStartUs() {
    return s.openedUs;
}

uint32_t CapturedAudioRate() {
    return s.rate;
}

void ClearCapturedAudio() {
    detail::SoundSync();
    s.capture.clear();
}

// The default device, then the capture devices.
int SoundDeviceCount() {
    return s.devices > 0 ? 1 + s.devices : 0;
}

const char* SoundDeviceName(int index) {
    if (index < 0 || index >= SoundDeviceCount()) return nullptr;
    if (index == 0) return "Primary Sound Driver";
    while (int(s.names.size()) < index)
        s.names.push_back(s.names.empty() ? "Headless audio capture"
                                          : "Headless audio capture " + std::to_string(s.names.size() + 1));
    return s.names[size_t(index) - 1].c_str();
}

bool SoundOpen(int index, int rate) {
    if (index < 0 || index >= SoundDeviceCount() || rate <= 0) return false;
    if (s.failCreate > 0) {
        --s.failCreate;
        return false;
    }
    s.capture.clear();
    s.rate = uint32_t(rate);
    s.open = true;
    s.openedUs = Clock();
    detail::SoundOutputReady({uint32_t(rate), 512, Clock, Sink, Accepts, s.freeHardware});
    RemoveTimeSource(&s);
    AddTimeSource({&s, NextNotification, RenderToClock});
    return true;
}

void SoundClose() {
    if (!s.open) return;
    RemoveTimeSource(&s);
    s.open = false;
    WriteCaptureFile();
}

}  // namespace host::headless
