// Fixtures for the sound tests: the headless host with its clock moved only
// by the test, the sound layer started on it, and captured audio read back.
#pragma once

#include "host/headless/headless_sound.h"
#include "host/sound.h"
#include "media/iss_fx.h"
#include "media/snd_layer.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "test_archives.h"
#include "test_support.h"

#include <cmath>
#include <vector>

namespace test {

// Engine errors reported during a test: the hook records and returns.
inline std::vector<int>& ReportedErrors() {
    static std::vector<int> codes;
    return codes;
}
inline int RecordError(int code, ErrorDetail) {
    ReportedErrors().push_back(code);
    return 1;
}

// 16-bit stereo frames as the mixer makes them from a buffer's bytes at
// equal rates, 0 mB and centred pan.
inline std::vector<int16_t> AsMixed(const uint8_t* data, size_t bytes, int bits, int channels) {
    std::vector<int16_t> out;
    size_t frameBytes = size_t(bits / 8 * channels);
    for (size_t at = 0; at + frameBytes <= bytes; at += frameBytes) {
        int16_t v[2];
        for (int c = 0; c < channels; ++c) {
            const uint8_t* p = data + at + size_t(c) * (bits / 8);
            v[c] = bits == 8 ? int16_t((int(p[0]) - 128) * 256) : int16_t(uint16_t(p[0] | (p[1] << 8)));
        }
        out.push_back(v[0]);
        out.push_back(channels == 2 ? v[1] : v[0]);
    }
    return out;
}

class SoundTest : public HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::headless::SetAutoStep(0, 0);
        savedConfig_ = EngineConfig;
        savedHook_ = ErrorHook;
        ErrorHook = RecordError;
        ReportedErrors().clear();
        g_SoundOn = 1;
        EngineConfig.WaveDeviceId = 0;
        EngineConfig.SamplingRate = 2;       // 22050 Hz
        EngineConfig.AudioConfig = 0x87;     // 16-bit stereo primary, no mirror, no 3D
        EngineConfig.ChannelToMix = 20;
    }
    void TearDown() override {
        for (int c = 0; c < kSndStreamChannels; ++c) SND_CloseStreamChannel(c);
        SMP_FlushCache(1);
        SND_Close();
        for (int v = 0; v <= kSndSpareVoice; ++v) SND_FreeVoice(v);
        if (g_SndDevice) host::SoundRelease(g_SndDevice);
        g_SndDevice = nullptr;
        g_SndLayer.soundObject = nullptr;
        g_SndPrimaryFormat = {};
        g_SoundOn = 1;
        ErrorHook = savedHook_;
        EngineConfig = savedConfig_;
        FreeArchives();
        HeadlessTest::TearDown();
    }
    // The device start of the program: 0 when the device and primary run.
    int StartSound() {
        SND_EnumDevices();
        if (!SND_CreateDevice()) return 1;
        return SND_OpenPrimary();
    }
    static void AdvanceMs(uint64_t ms) { host::headless::AdvanceClock(ms * 1000); }
    static size_t Frames() { return host::headless::CapturedFrames(); }
    // Captured frames [from, from + count) as interleaved samples.
    static std::vector<int16_t> Captured(size_t from, size_t count) {
        const std::vector<int16_t>& all = host::headless::CapturedAudio();
        size_t begin = std::min(all.size(), from * 2), end = std::min(all.size(), (from + count) * 2);
        return std::vector<int16_t>(all.begin() + long(begin), all.begin() + long(end));
    }

    EngineConfigRecord savedConfig_;
    ErrorHookFn savedHook_ = nullptr;
};

}  // namespace test
