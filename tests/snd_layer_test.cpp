// The sound layer on the headless device: start-up, the volume and pan
// scales, voices, stream channels, and samples played through the cache.
#include "host/headless/headless.h"
#include "host/sound_internal.h"
#include "sound_support.h"
#include "tools/kit/sound_writer.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using host::headless::SoundFormatsOffered;

std::vector<uint8_t> Le16(const std::vector<int16_t>& s) {
    return kit::Pcm16(s, 0, 1).data;
}

class SoundLayerTest : public test::SoundTest {
protected:
    void TearDown() override {
        for (SndSample& s : samples_) SMP_Free(&s);
        SoundTest::TearDown();
    }
    // A 16-bit mono sample of the given samples at 22050 Hz, from the pool.
    SndSample* Sample(const std::vector<int16_t>& samples, uint8_t priority, bool looping = false) {
        SndSample& s = samples_[used_++];
        s = SndSample{};
        std::vector<uint8_t> bytes = Le16(samples);
        s.data = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(uint32_t(bytes.size())));
        std::memcpy(s.data, bytes.data(), bytes.size());
        s.length = uint32_t(bytes.size());
        s.rate = 22050;
        s.flags = kSmp16Bit | kSmpChanged;
        s.priority = priority;
        s.loopEnd = looping ? -1 : 0;
        return &s;
    }
    static host::SoundBuffer* Buffer(int voice) { return g_SndVoices[voice].buffer; }
    static int32_t VolumeOf(int voice) {
        int32_t v = 1;
        host::SoundBufferGetVolume(Buffer(voice), &v);
        return v;
    }
    static int32_t PanOf(int voice) {
        int32_t p = 1;
        host::SoundBufferGetPan(Buffer(voice), &p);
        return p;
    }
    static uint32_t CapsOf(int voice) {
        uint32_t caps = 0;
        host::SoundBufferGetCaps(Buffer(voice), &caps, nullptr);
        return caps;
    }
    static host::WaveFormat Wave(uint32_t rate, int channels, int bits) {
        uint16_t align = uint16_t(bits / 8 * channels);
        return {1, uint16_t(channels), rate, rate * align, align, uint16_t(bits)};
    }
    static void ExpectOffered(const std::vector<host::WaveFormat>& want) {
        const std::vector<host::WaveFormat>& got = SoundFormatsOffered();
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].samplesPerSec, want[i].samplesPerSec) << i;
            EXPECT_EQ(got[i].channels, want[i].channels) << i;
            EXPECT_EQ(got[i].bitsPerSample, want[i].bitsPerSample) << i;
            EXPECT_EQ(got[i].blockAlign, want[i].blockAlign) << i;
        }
    }

    SndSample samples_[8] = {};
    int used_ = 0;
};

// The settings' own format first; when it is refused, the list from 44 kHz
// 16-bit stereo down to 8 kHz 8-bit mono until one is taken.
TEST_F(SoundLayerTest, StartUpWalksTheFormatListUnderRefusals) {
    host::headless::RefuseSoundFormat(22050, 2, 16);
    host::headless::RefuseSoundFormat(44100, 2, 16);
    host::headless::RefuseSoundFormat(44100, 1, 16);
    EXPECT_EQ(StartSound(), 0);
    ExpectOffered({Wave(22050, 2, 16), Wave(44100, 2, 16), Wave(44100, 1, 16), Wave(44100, 2, 8)});
    EXPECT_EQ(g_SndPrimaryFormat.samplesPerSec, 44100u);
    EXPECT_EQ(g_SndPrimaryFormat.avgBytesPerSec, 88200u);
    EXPECT_EQ(host::headless::CapturedAudioRate(), 44100u);
    uint32_t status = 0;
    host::SoundBufferGetStatus(g_SndPrimary, &status);
    EXPECT_EQ(status, host::DSBSTATUS_PLAYING | host::DSBSTATUS_LOOPING);
}

TEST_F(SoundLayerTest, EveryFormatRefusedFailsThePrimary) {
    host::headless::RefuseAllSoundFormats(true);
    EXPECT_EQ(StartSound(), 1);
    std::vector<host::WaveFormat> want = {Wave(22050, 2, 16)};
    for (uint32_t rate : {44100u, 22050u, 11025u, 8000u})
        for (int channels : {2, 1})
            for (int bits : {16, 8}) want.push_back(Wave(rate, channels, bits));
    // Bits before channels: 44216, 44116, 44208, 44108 ...
    for (size_t g = 0; g < 4; ++g) std::swap(want[1 + 4 * g + 1], want[1 + 4 * g + 2]);
    want.push_back(Wave(8000, 1, 8));  // the last once more
    ExpectOffered(want);
}

// The primary's format is taken only when the output runs at its rate:
// an output that cannot reopen at the settings' rate moves down the list
// to a rate it opens at; one that opens at none fails the primary, so the
// start-up turns sound off rather than mixing into no output.
TEST_F(SoundLayerTest, ThePrimaryFormatIsOneTheOutputRunsAt) {
    EngineConfig.SamplingRate = 4;  // 44100 Hz
    // A refused rate costs one open, and one more to go back when an
    // output ran before it: six failed opens take the settings' rate (two)
    // and the list's four 44100 Hz formats, so 22050 Hz 16-bit stereo is
    // the first that runs.
    struct Row {
        int failedOpens;
        int result;
        uint32_t rate;  // of the output and of the primary's format
    } rows[] = {{0, 0, 44100}, {1, 0, 44100}, {6, 0, 22050}, {1000, 1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failedOpens);
        SND_EnumDevices();
        ASSERT_EQ(SND_CreateDevice(), 1);
        host::headless::FailSoundCreate(row.failedOpens);
        EXPECT_EQ(SND_OpenPrimary(), row.result);
        EXPECT_EQ(host::detail::SoundOutputRate(), row.rate);
        if (row.result == 0) {
            EXPECT_EQ(g_SndPrimaryFormat.samplesPerSec, row.rate);
        }
        host::headless::FailSoundCreate(0);
        SND_Close();
    }
}

TEST_F(SoundLayerTest, SettingsChooseThePrimaryFormat) {
    EngineConfig.AudioConfig = 0x81;  // 8-bit mono
    EngineConfig.SamplingRate = 0;
    EXPECT_EQ(StartSound(), 0);
    ExpectOffered({Wave(11025, 1, 8)});
    EXPECT_EQ(std::string(g_SndLayer.deviceName), "");  // the default device is not looked up
}

// Index 0 is the default device and 1 the first real one; a device that
// cannot be made gives way to the default one; no device at all is the
// engine error 0x3100.
TEST_F(SoundLayerTest, DeviceChoice) {
    host::headless::SetSoundDevices(2);
    SND_EnumDevices();
    ASSERT_NE(SND_DeviceNameList, nullptr);
    EXPECT_STREQ(SND_DeviceNameList[0], "Primary Sound Driver");
    EXPECT_STREQ(SND_DeviceNameList[1], "Headless audio capture");
    EXPECT_STREQ(SND_DeviceNameList[2], "Headless audio capture 2");
    EXPECT_EQ(SND_DeviceNameList[3], nullptr);
    EngineConfig.WaveDeviceId = 2;
    ASSERT_EQ(SND_CreateDevice(), 1);
    EXPECT_STREQ(g_SndLayer.deviceName, "Headless audio capture 2");
    EXPECT_EQ(g_SndLayer.soundObject, g_SndDevice);

    EngineConfig.WaveDeviceId = 1;
    host::headless::FailSoundCreate(1);
    ASSERT_EQ(SND_CreateDevice(), 1);
    EXPECT_EQ(EngineConfig.WaveDeviceId, 0);
    EXPECT_TRUE(test::ReportedErrors().empty());

    host::headless::SetSoundDevices(0);
    EXPECT_EQ(SND_CreateDevice(), 0);
    EXPECT_EQ(test::ReportedErrors(), std::vector<int>{0x3100});
    EXPECT_EQ(SND_OpenPrimary(), 1);
}

long double Attenuation(int v) {
    if (v <= 0) return -10000;
    if (v >= 63) return 0;
    return std::trunc(-2000.0L * std::log10(63.0L / v));
}

int32_t PanRule(int pan, bool mirror) {
    if (pan == 100) return 0;
    if (mirror) pan = -pan;
    int p = pan + 64;
    if (p == 64) return 0;
    if (p < 64) return p == 0 ? -10000 : int32_t(Attenuation(p));
    return 127 - p == 0 ? 10000 : -int32_t(Attenuation(127 - p));
}

// All 64 volumes and 128 pans, plain and mirrored, reach the voice's buffer
// as the rules give them.
TEST_F(SoundLayerTest, AllVolumesAndPansFollowTheRules) {
    EXPECT_EQ(SND_VolumeToDb(1), -3598);
    EXPECT_EQ(SND_VolumeToDb(32), -588);
    EXPECT_EQ(SND_VolumeToDb(62), -13);
    EXPECT_EQ(SND_PanToDb(-64), -10000);
    EXPECT_EQ(SND_PanToDb(63), 10000);
    EXPECT_EQ(SND_PanToDb(-1), 0);
    EXPECT_EQ(SND_PanToDb(1), 13);
    EXPECT_EQ(SND_PanToDb(0), 0);
    EXPECT_EQ(SND_PanToDb(100), 0);
    ASSERT_EQ(StartSound(), 0);
    SndSample* s = Sample(std::vector<int16_t>(2205, 20000), 10);
    for (int v = 0; v < 64; ++v) {
        ASSERT_EQ(SND_PlayVoice(1, 22050, v, 100, s), 1);
        EXPECT_EQ(VolumeOf(1), int32_t(Attenuation(v))) << v;
    }
    for (bool mirror : {false, true}) {
        EngineConfig.AudioConfig = mirror ? 0xA7 : 0x87;
        for (int pan = -64; pan < 64; ++pan) {
            if (mirror && pan == -64) continue;  // mirrored it would lie outside the scale
            ASSERT_EQ(SND_PlayVoice(1, 22050, 63, pan, s), 1);
            EXPECT_EQ(PanOf(1), PanRule(pan, mirror)) << pan << (mirror ? " mirrored" : "");
        }
    }
    EXPECT_EQ(SND_PanToDb(63), -3598);  // still mirrored
    EngineConfig.AudioConfig = 0x87;
    // Values outside the scales are held at their ends.
    EXPECT_EQ(SND_VolumeToDb(200), 0);
    EXPECT_EQ(SND_VolumeToDb(-5), -10000);
    EXPECT_EQ(SND_PanToDb(99), 10000);
    EXPECT_EQ(SND_PanToDb(-300), -10000);
    // And the buffer is heard at that level: volume 32 on the left, pan 20
    // takes the right as it is and the left down by the pan.
    size_t start = Frames();
    ASSERT_EQ(SND_PlayVoice(1, 22050, 32, 20, s), 1);
    AdvanceMs(20);
    std::vector<int16_t> got = Captured(start + 100, 1);
    double gain = std::pow(10.0, -588 / 2000.0);
    EXPECT_NEAR(got[1], 20000 * gain, 1);
    EXPECT_NEAR(got[0], 20000 * gain * std::pow(10.0, PanRule(20, false) / -2000.0), 1);
}

TEST_F(SoundLayerTest, VoiceFindingInEveryState) {
    ASSERT_EQ(StartSound(), 0);
    EngineConfig.ChannelToMix = 4;  // voices 1..3; voice 0 is never chosen
    SndSample* a = Sample(std::vector<int16_t>(100, 1), 100, true);
    SndSample* b = Sample(std::vector<int16_t>(100, 2), 50, true);
    SndSample* c = Sample(std::vector<int16_t>(100, 3), 200, true);
    SndSample* low = Sample(std::vector<int16_t>(100, 4), 10, true);
    EXPECT_EQ(SND_FindVoice(a), 1);
    g_SoundOn = 0;
    EXPECT_EQ(SND_FindVoice(a), -1);
    g_SoundOn = 1;
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 0, a), 1);
    ASSERT_EQ(SND_PlayVoice(2, 22050, 63, 0, b), 1);
    EXPECT_EQ(SND_FindVoice(c), 3);  // an empty voice first
    ASSERT_EQ(SND_PlayVoice(3, 22050, 63, 0, c), 1);
    // Every voice plays: the lowest voice whose sample's priority is not
    // above the one asked for.
    EXPECT_EQ(SND_FindVoice(a), 1);
    EXPECT_EQ(SND_FindVoice(b), 2);
    EXPECT_EQ(SND_FindVoice(c), 1);
    EXPECT_EQ(SND_FindVoice(low), -1);
    EXPECT_EQ(SND_FindVoice(nullptr), -1);
    // A voice whose buffer stopped is free, with or without a sample asked.
    SND_StopVoice(2);
    EXPECT_EQ(SND_FindVoice(nullptr), 2);
    EXPECT_EQ(SND_FindVoice(low), 2);
    // Reserved voices are never chosen.
    g_SndVoices[2].flags |= kVoiceReserved;
    EXPECT_EQ(SND_FindVoice(nullptr), -1);
    EXPECT_EQ(SND_FindVoice(c), 1);
    g_SndVoices[2].flags = 0;
    // Status unreadable: a buffer without a sample is the last resort, the
    // highest such voice.
    SND_PlayVoice(2, 22050, 63, 0, b);
    g_SndVoices[2].sample = nullptr;
    g_SndVoices[3].sample = nullptr;
    host::headless::FailSoundStatus(3);
    EXPECT_EQ(SND_FindVoice(low), 3);
    // One voice in use leaves none for effects; 0 voices asked means 16;
    // more than 32 are 32.
    EngineConfig.ChannelToMix = 1;
    EXPECT_EQ(SND_FindVoice(a), -1);
    SND_SetVoiceCount(0, 0);
    EXPECT_EQ(EngineConfig.ChannelToMix, 16);
    EngineConfig.ChannelToMix = 200;
    EXPECT_EQ(SND_FindVoice(a), 4);  // the lowest empty voice of 1..31
    // Taking a playing voice for another sample: the new one is heard.
    size_t start = Frames();
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 100, low), 1);
    AdvanceMs(2);
    EXPECT_EQ(Captured(start, 2), (std::vector<int16_t>{4 + 2 + 3, 4 + 2 + 3, 4 + 2 + 3, 4 + 2 + 3}));
    EXPECT_EQ(SND_GetVoiceSample(1), low);
}

TEST_F(SoundLayerTest, PlayingReusesDuplicatesOrMakesBuffers) {
    ASSERT_EQ(StartSound(), 0);
    std::vector<int16_t> ramp;
    for (int i = 0; i < 441; ++i) ramp.push_back(int16_t(i * 50 - 11000));
    SndSample* s = Sample(ramp, 10);
    // Made: the buffer id is the voice + 1, the changed bit is cleared.
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 100, s), 1);
    EXPECT_EQ(s->bufferId, 2);
    EXPECT_EQ(s->flags & kSmpChanged, 0);
    EXPECT_EQ(CapsOf(1), 0x100E0u);
    host::SoundBuffer* first = Buffer(1);
    // Played again on the same voice: the same buffer.
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 100, s), 1);
    EXPECT_EQ(Buffer(1), first);
    // Another voice: a duplicate of the first (no buffer made for it).
    ASSERT_EQ(SND_PlayVoice(2, 22050, 63, 100, s), 1);
    EXPECT_EQ(s->bufferId, 2);
    EXPECT_NE(Buffer(2), nullptr);
    // A changed sample is uploaded again, and what is heard is the new data.
    SND_FreeVoice(2);
    s->data[0] = 0x34;
    s->data[1] = 0x12;
    SND_MarkSampleChanged(s);
    size_t start = Frames();
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 100, s), 1);
    AdvanceMs(25);
    std::vector<int16_t> want = test::AsMixed(s->data, s->length, 16, 1);
    EXPECT_EQ(Captured(start, 441), want);
    // A lost buffer is filled again before it plays.
    host::headless::LoseSoundBuffers();
    start = Frames();
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 100, s), 1);
    AdvanceMs(25);
    EXPECT_EQ(Captured(start, 441), want);
    // A voice that kept the sample but lost its buffer is no source of a
    // duplicate: voice 3 gets a buffer of its own.
    SND_FreeVoice(1);
    g_SndVoices[1].sample = s;
    ASSERT_EQ(SND_PlayVoice(3, 22050, 63, 100, s), 1);
    EXPECT_EQ(s->bufferId, 4);
    // No buffer can be made: nothing plays and the id is cleared.
    SND_MarkSampleChanged(s);
    host::headless::FailSoundBufferCreation(1);
    EXPECT_EQ(SND_PlayVoice(3, 22050, 63, 100, s), 0);
    EXPECT_EQ(s->bufferId, 0);
}

// A voice plays a sample at the frequency asked when the device takes it
// (100 to 100000 Hz).  At any other, 0 included, nothing plays: the buffer
// would sound at its own rate (the primary's), a wrong pitch.
TEST_F(SoundLayerTest, AVoicePlaysOnlyAtAFrequencyTheDeviceTakes) {
    ASSERT_EQ(StartSound(), 0);
    SndSample* s = Sample(std::vector<int16_t>(4410, 1000), 10);
    struct Row {
        uint32_t frequency;
        int played;
    } rows[] = {{22050, 1}, {100, 1}, {100000, 1}, {99, 0}, {100001, 0}, {0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.frequency);
        size_t start = Frames();
        EXPECT_EQ(SND_PlayVoice(1, row.frequency, 63, 100, s), row.played);
        EXPECT_EQ(SND_IsVoicePlaying(1), row.played);
        uint32_t frequency = 0;
        host::SoundBufferGetFrequency(Buffer(1), &frequency);
        if (row.played) {
            EXPECT_EQ(frequency, row.frequency);
        }
        AdvanceMs(5);
        std::vector<int16_t> heard = Captured(start, 100);
        EXPECT_EQ(heard == std::vector<int16_t>(200, 0), !row.played);
        SND_StopVoice(1);
    }
}

// With Accel a sample takes a static buffer only when the free hardware
// memory is larger than it; a 3D sample gets 3D controls and no volume.
TEST_F(SoundLayerTest, BufferCapabilities) {
    EngineConfig.AudioConfig = 0x87 | 0x400 | 0x200;
    ASSERT_EQ(StartSound(), 0);
    EXPECT_NE(g_SndListener, nullptr);
    SndSample* s = Sample(std::vector<int16_t>(500, 100), 10);
    host::headless::SetFreeHardwareBytes(1001);
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 0, s), 1);
    EXPECT_EQ(CapsOf(1), 0x100E0u | host::DSBCAPS_STATIC);
    SND_FreeVoice(1);
    host::headless::SetFreeHardwareBytes(1000);
    ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 0, s), 1);
    EXPECT_EQ(CapsOf(1), 0x100E0u);
    SND_FreeVoice(1);
    s->flags |= kSmp3D;
    ASSERT_EQ(SND_PlayVoice(1, 22050, 40, 0, s), 1);
    EXPECT_EQ(CapsOf(1), 0x30u);
    EXPECT_NE(g_SndVoices[1].buffer3D, nullptr);
    EXPECT_EQ(g_SndLastResult, host::DSERR_CONTROLUNAVAIL);  // the pan, last set
    // The listener follows its frame once committed: a source on its
    // right is heard on the right.
    const float frame[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 0}};
    const float rolloff = 0, distances[2] = {1, 10}, position[3] = {5, 0, 0};
    SND_SetListener(frame, nullptr, nullptr, nullptr, &rolloff);
    SND_SetVoice3D(1, position, nullptr, distances);
    SND_CommitListener();
    size_t start = Frames();
    ASSERT_EQ(SND_PlayVoice(1, 22050, 40, 0, s), 1);
    AdvanceMs(5);
    std::vector<int16_t> got = Captured(start + 10, 1);
    EXPECT_EQ(got[1], 100);
    EXPECT_EQ(got[0], 10);
}

TEST_F(SoundLayerTest, StreamChannelStartsAfterItsPrefill) {
    ASSERT_EQ(StartSound(), 0);
    int c = SND_OpenStreamChannel(kSmp16Bit, 22050, 8192, 2);
    ASSERT_EQ(c, 7);
    int voice = SND_GetStreamVoice(c);
    EXPECT_EQ(voice, 1);
    EXPECT_NE(g_SndVoices[voice].flags & kVoiceReserved, 0);
    EXPECT_EQ(SND_PlayStreamChannel(c), 1);
    SND_SetStreamVolume(c, 40);
    std::vector<int16_t> one(2048), two(2048);
    for (int i = 0; i < 2048; ++i) one[size_t(i)] = int16_t(i), two[size_t(i)] = int16_t(-i);
    std::vector<uint8_t> b1 = Le16(one), b2 = Le16(two);
    SND_WriteStreamChannel(c, b1.data(), 4096, kSmp16Bit);
    EXPECT_FALSE(SND_IsVoicePlaying(voice));
    EXPECT_EQ(SND_GetStreamPosition(c), -1);
    size_t start = Frames();
    SND_WriteStreamChannel(c, b2.data(), 4096, kSmp16Bit);
    EXPECT_TRUE(SND_IsVoicePlaying(voice));
    EXPECT_EQ(VolumeOf(voice), SND_VolumeToDb(40));
    EXPECT_EQ(PanOf(voice), 0);
    // Progress counts on the play cursor: the write cursor's lead of a mix
    // period is not yet played, so 1764 frames are no whole block.
    EXPECT_EQ(SND_PlayStreamChannel(c), -1);
    AdvanceMs(80);
    EXPECT_EQ(SND_PlayStreamChannel(c), -1);
    EXPECT_EQ(SND_GetStreamPosition(c), 1764 * 2);
    AdvanceMs(20);  // 2205 frames: past the first block
    EXPECT_EQ(SND_PlayStreamChannel(c), 2);
    EXPECT_EQ(SND_PlayStreamChannel(c), 2);  // room for a block until one is written
    SND_WriteStreamChannel(c, b1.data(), 4096, kSmp16Bit);
    EXPECT_EQ(SND_PlayStreamChannel(c), -1);
    EXPECT_EQ(SND_GetStreamPosition(c), 2205 * 2);
    SND_SetStreamVolume(c, 63);
    start = Frames();
    AdvanceMs(10);
    // Playback is 157 frames into the second block.
    std::vector<int16_t> got = Captured(start, 100);
    EXPECT_EQ(got[0], -157);
    EXPECT_EQ(got[198], -256);
    SND_CloseStreamChannel(c);
    EXPECT_EQ(g_SndVoices[voice].flags, 0);
    EXPECT_EQ(Buffer(voice), nullptr);
    EXPECT_EQ(SND_PlayStreamChannel(c), -1);
    // Eight channels at most; out-of-range channels are ignored.
    for (int i = 0; i < 8; ++i) EXPECT_EQ(SND_OpenStreamChannel(kSmp16Bit, 22050, 4096, 2), 7 - i);
    EXPECT_EQ(SND_OpenStreamChannel(kSmp16Bit, 22050, 4096, 2), -1);
    EXPECT_EQ(SND_PlayStreamChannel(-1), -1);
    EXPECT_EQ(SND_GetStreamPosition(8), -1);
}

// Every kind of sample file, loaded through the cache from the effects
// archive and played at its own rate, full volume and centre: what is heard
// is the decoded file itself.
TEST_F(SoundLayerTest, EachSampleFixturePlaysThroughTheCache) {
    std::vector<int16_t> tone = kit::Tone(22050, 0.05, 300, 900, 0.6);
    std::vector<int16_t> noise = kit::NoiseBurst(22050, 0.05, 0.5, 3, 0.5);
    std::vector<int16_t> both;
    for (size_t i = 0; i < tone.size(); ++i) both.push_back(tone[i]), both.push_back(noise[i]);
    std::vector<uint8_t> eight;
    for (int16_t v : tone) eight.push_back(uint8_t((v >> 8) + 128));
    kit::PcmSound mono8 = kit::Pcm8(eight, 22050, 1), stereo16 = kit::Pcm16(both, 22050, 2);
    kit::PcmSound mono16 = kit::Pcm16(noise, 22050, 1), stereo8 = kit::Pcm8(std::vector<uint8_t>(eight.size() * 2, 77), 22050, 2);
    for (size_t i = 0; i < eight.size(); ++i) stereo8.data[2 * i] = eight[i];
    kit::SnpSound adpcmMono{22050, 0x41, 256, 0, 0, {tone}};
    kit::SnpSound adpcmStereo{22050, 0x43, 100, 0, 0, {both}};
    struct Fixture {
        std::string name;
        std::vector<uint8_t> file;
        std::vector<int16_t> heard;
    } fixtures[] = {
        {".\\smp\\m8.wav", kit::WavFile(mono8), test::AsMixed(mono8.data.data(), mono8.data.size(), 8, 1)},
        {".\\smp\\s16.wav", kit::WavFile(stereo16), test::AsMixed(stereo16.data.data(), stereo16.data.size(), 16, 2)},
        {".\\smp\\m16.voc", kit::VocFile(mono16), test::AsMixed(mono16.data.data(), mono16.data.size(), 16, 1)},
        {".\\smp\\s8.snx", kit::SnxFile(stereo8), test::AsMixed(stereo8.data.data(), stereo8.data.size(), 8, 2)},
        {".\\smp\\m.snp", kit::SnpFile(adpcmMono), {}},
        {".\\smp\\s.trk", kit::SnpFile(adpcmStereo), {}},
    };
    std::vector<uint8_t> decoded = Le16(kit::SnpDecoded(adpcmMono)[0]);
    fixtures[4].heard = test::AsMixed(decoded.data(), decoded.size(), 16, 1);
    decoded = Le16(kit::SnpDecoded(adpcmStereo)[0]);
    fixtures[5].heard = test::AsMixed(decoded.data(), decoded.size(), 16, 2);
    std::vector<kit::ArchiveMember> members;
    for (const Fixture& f : fixtures) members.push_back({f.name, f.file});
    std::vector<uint8_t> archive = test::Archive(members);
    WriteFile("audio.res", std::string(archive.begin(), archive.end()));
    ResAddArchive("audio.res", 0);
    CurrentFileTable = &ResourceFileTable;
    ASSERT_EQ(StartSound(), 0);
    SMP_InitCache(16, 2048);
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        SndSample* s = SMP_Find(f.name.c_str(), 100);
        ASSERT_NE(s, nullptr);
        int voice = SND_FindVoice(s);
        ASSERT_GE(voice, 1);
        size_t start = Frames();
        ASSERT_EQ(SND_PlayVoice(voice, s->rate, 63, 100, s), 1);
        AdvanceMs(80);
        size_t frames = f.heard.size() / 2;
        EXPECT_EQ(Captured(start, frames), f.heard);
        EXPECT_EQ(Captured(start + frames, 10), std::vector<int16_t>(20, 0));
        EXPECT_FALSE(SND_IsVoicePlaying(voice));
    }
}

}  // namespace

namespace {

// The demo's effects archive, as the build made it, holds the kit's sound
// effects, and each one loads through the cache.
TEST_F(SoundLayerTest, DemoEffectsLoadFromTheBuiltArchive) {
    std::filesystem::path built = std::filesystem::path(MORVANEL_GAME_SOFT).parent_path() / "audio.res";
    std::filesystem::copy_file(built, dir_ / "audio.res");
    ResAddArchive("audio.res", 0);
    CurrentFileTable = &ResourceFileTable;
    ASSERT_EQ(StartSound(), 0);
    SMP_InitCache(16, 2048);
    std::vector<kit::DemoSound> effects = kit::DemoEffects();
    ASSERT_GE(effects.size(), 4u);
    for (const kit::DemoSound& e : effects) {
        SCOPED_TRACE(e.member);
        SndSample* s = SMP_Find(e.member.c_str(), 128);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->rate, 22050u);
        EXPECT_EQ(s->flags, kSmp16Bit | kSmpWide | kSmpChanged);  // not played yet
        EXPECT_EQ(s->length, e.file.size() - 44);
        EXPECT_EQ(std::vector<uint8_t>(s->data, s->data + s->length),
                  std::vector<uint8_t>(e.file.begin() + 44, e.file.end()));
    }
}

}  // namespace
