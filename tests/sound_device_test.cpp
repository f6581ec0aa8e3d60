// The host's sound device and its mixer, on the headless output: what is
// captured follows the buffers' data, gains, pans, rates and 3D positions.
#include "host/sound_internal.h"
#include "sound_support.h"

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

using namespace host;

struct Enumerated {
    std::vector<std::string> names;
    std::vector<bool> hasGuid;
};

bool Collect(const SoundGuid* guid, const char* description, const char*, void* context) {
    auto* e = static_cast<Enumerated*>(context);
    e->names.push_back(description);
    e->hasGuid.push_back(guid != nullptr);
    return true;
}

class DeviceTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        headless::SetAutoStep(0, 0);
    }
    void TearDown() override {
        for (SoundBuffer* b : buffers_) SoundBufferRelease(b);
        if (listener_) SoundListenerRelease(listener_);
        if (primary_) SoundBufferRelease(primary_);
        if (device_) SoundRelease(device_);
        HeadlessTest::TearDown();
    }
    // A device whose primary runs at the rate, 16-bit stereo.
    void Open(uint32_t rate = 22050, bool with3d = false) {
        ASSERT_EQ(SoundCreate(nullptr, &device_), DS_OK);
        ASSERT_EQ(SoundSetCooperativeLevel(device_, nullptr, DSSCL_EXCLUSIVE), DS_OK);
        SoundBufferDesc d{20, DSBCAPS_PRIMARYBUFFER | (with3d ? DSBCAPS_CTRL3D : 0u), 0, 0, nullptr};
        ASSERT_EQ(SoundCreateBuffer(device_, &d, &primary_), DS_OK);
        WaveFormat f = Format(rate, 16, 2);
        ASSERT_EQ(SoundBufferSetFormat(primary_, &f), DS_OK);
        if (with3d) {
            ASSERT_EQ(SoundBufferQueryListener(primary_, &listener_), DS_OK);
        }
        headless::ClearCapturedAudio();
    }
    static WaveFormat Format(uint32_t rate, int bits, int channels) {
        uint16_t align = uint16_t(bits / 8 * channels);
        return {WAVE_FORMAT_PCM, uint16_t(channels), rate, rate * align, align, uint16_t(bits)};
    }
    SoundBuffer* Make(const std::vector<uint8_t>& data, uint32_t rate, int bits, int channels,
                      uint32_t caps = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY) {
        WaveFormat f = Format(rate, bits, channels);
        SoundBufferDesc d{20, caps, uint32_t(data.size()), 0, &f};
        SoundBuffer* b = nullptr;
        EXPECT_EQ(SoundCreateBuffer(device_, &d, &b), DS_OK);
        if (!b) return nullptr;
        buffers_.push_back(b);
        Fill(b, 0, data);
        return b;
    }
    static void Fill(SoundBuffer* b, uint32_t offset, const std::vector<uint8_t>& data) {
        void *p1, *p2;
        uint32_t n1, n2;
        ASSERT_EQ(SoundBufferLock(b, offset, uint32_t(data.size()), &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memcpy(p1, data.data(), n1);
        if (n2) std::memcpy(p2, data.data() + n1, n2);
        ASSERT_EQ(SoundBufferUnlock(b, p1, n1, p2, n2), DS_OK);
    }
    static std::vector<uint8_t> Random(size_t n, uint32_t seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> v(n);
        for (uint8_t& b : v) b = uint8_t(rng());
        return v;
    }
    static std::vector<uint8_t> Constant16(int16_t value, size_t frames) {
        std::vector<uint8_t> v;
        for (size_t i = 0; i < frames; ++i) {
            v.push_back(uint8_t(uint16_t(value)));
            v.push_back(uint8_t(uint16_t(value) >> 8));
        }
        return v;
    }
    static void AdvanceMs(uint64_t ms) { headless::AdvanceClock(ms * 1000); }
    static std::vector<int16_t> Captured(size_t from, size_t count) {
        const std::vector<int16_t>& all = headless::CapturedAudio();
        size_t b = std::min(all.size(), from * 2), e = std::min(all.size(), (from + count) * 2);
        return {all.begin() + long(b), all.begin() + long(e)};
    }
    // Plays a buffer from now and answers the capture frame it starts at.
    static size_t PlayNow(SoundBuffer* b, uint32_t flags = 0) {
        size_t start = headless::CapturedFrames();
        EXPECT_EQ(SoundBufferPlay(b, 0, 0, flags), DS_OK);
        return start;
    }

    SoundDevice* device_ = nullptr;
    SoundBuffer* primary_ = nullptr;
    SoundListener* listener_ = nullptr;
    std::vector<SoundBuffer*> buffers_;
};

TEST_F(DeviceTest, DefaultDeviceFirstThenEachRealOne) {
    Enumerated e;
    headless::SetSoundDevices(2);
    ASSERT_EQ(SoundEnumerate(Collect, &e), DS_OK);
    ASSERT_EQ(e.names.size(), 3u);
    EXPECT_EQ(e.names[0], "Primary Sound Driver");
    EXPECT_FALSE(e.hasGuid[0]);
    EXPECT_TRUE(e.hasGuid[1] && e.hasGuid[2]);
    EXPECT_NE(e.names[1], e.names[2]);
    SoundGuid second{2};
    ASSERT_EQ(SoundCreate(&second, &device_), DS_OK);
    SoundRelease(device_);
    device_ = nullptr;
    SoundGuid missing{3};
    EXPECT_EQ(SoundCreate(&missing, &device_), DSERR_NODRIVER);
    headless::SetSoundDevices(0);
    Enumerated none;
    SoundEnumerate(Collect, &none);
    EXPECT_TRUE(none.names.empty());
    EXPECT_EQ(SoundCreate(nullptr, &device_), DSERR_NODRIVER);
    headless::SetSoundDevices(1);
    headless::FailSoundCreate(1);
    EXPECT_EQ(SoundCreate(nullptr, &device_), DSERR_NODRIVER);
    EXPECT_EQ(SoundCreate(nullptr, &device_), DS_OK);
}

// At equal rates, 0 mB and centred pan every kind of data comes out as it
// went in: 16-bit samples unchanged, 8-bit b as (b - 128) << 8, mono on both
// sides; after the end the buffer stops at position 0 and silence follows.
TEST_F(DeviceTest, SameRateMixIsTheDataItself) {
    Open(22050);
    for (int bits : {8, 16}) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(std::to_string(bits) + "-bit, " + std::to_string(channels) + " channels");
            std::vector<uint8_t> data = Random(size_t(2205) * bits / 8 * channels, uint32_t(bits * 10 + channels));
            SoundBuffer* b = Make(data, 22050, bits, channels);
            size_t start = PlayNow(b);
            AdvanceMs(150);
            std::vector<int16_t> want = test::AsMixed(data.data(), data.size(), bits, channels);
            EXPECT_EQ(Captured(start, 2205), want);
            std::vector<int16_t> after = Captured(start + 2205, 100);
            EXPECT_EQ(after, std::vector<int16_t>(200, 0));
            uint32_t status = 99, play = 99, write = 99;
            EXPECT_EQ(SoundBufferGetStatus(b, &status), DS_OK);
            EXPECT_EQ(status, 0u);
            SoundBufferGetCurrentPosition(b, &play, &write);
            EXPECT_EQ(play, 0u);
        }
    }
}

// Gain 10^(mB / 2000); a pan attenuates the far side only; -10000 is silent.
TEST_F(DeviceTest, VolumeAndPanFollowTheDecibelLaw) {
    Open(22050);
    const int16_t level = 20000;
    SoundBuffer* b = Make(Constant16(level, 22050), 22050, 16, 1);
    struct Case {
        int32_t volume, pan;
    } cases[] = {{0, 0}, {-600, 0}, {-3598, 0}, {0, -2000}, {0, 1300}, {-588, 10000}, {0, -10000}, {-10000, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("volume " + std::to_string(c.volume) + " pan " + std::to_string(c.pan));
        ASSERT_EQ(SoundBufferSetVolume(b, c.volume), DS_OK);
        ASSERT_EQ(SoundBufferSetPan(b, c.pan), DS_OK);
        SoundBufferSetCurrentPosition(b, 0);
        size_t start = PlayNow(b);
        AdvanceMs(10);
        SoundBufferStop(b);
        auto gain = [](double mb) { return mb <= -10000 ? 0.0 : std::pow(10.0, mb / 2000.0); };
        double left = level * gain(c.volume) * gain(c.pan > 0 ? -c.pan : 0);
        double right = level * gain(c.volume) * gain(c.pan < 0 ? c.pan : 0);
        std::vector<int16_t> got = Captured(start + 10, 1);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_NEAR(got[0], left, 1.0);
        EXPECT_NEAR(got[1], right, 1.0);
    }
    EXPECT_EQ(SoundBufferSetVolume(b, 1), DSERR_INVALIDPARAM);
    EXPECT_EQ(SoundBufferSetPan(b, -10001), DSERR_INVALIDPARAM);
}

// A buffer at half the output rate lasts twice as long, with each new frame
// halfway between its neighbours; a buffer played faster ends sooner.
TEST_F(DeviceTest, BuffersAreResampledFromTheirFrequency) {
    Open(22050);
    std::vector<int16_t> ramp;
    for (int i = 0; i < 1000; ++i) ramp.push_back(int16_t(i * 20));
    std::vector<uint8_t> bytes;
    for (int16_t v : ramp) bytes.push_back(uint8_t(uint16_t(v))), bytes.push_back(uint8_t(uint16_t(v) >> 8));
    SoundBuffer* slow = Make(bytes, 11025, 16, 1);
    size_t start = PlayNow(slow);
    AdvanceMs(200);
    std::vector<int16_t> got = Captured(start, 2000);
    for (int i = 0; i < 998; ++i) {
        ASSERT_EQ(got[size_t(4 * i)], ramp[size_t(i)]) << i;
        ASSERT_EQ(got[size_t(4 * i + 2)], ramp[size_t(i)] + 10) << i;
    }
    EXPECT_EQ(Captured(start + 2001, 1), (std::vector<int16_t>{0, 0}));

    SoundBuffer* fast = Make(bytes, 22050, 16, 1);
    ASSERT_EQ(SoundBufferSetFrequency(fast, 44100), DS_OK);
    start = PlayNow(fast);
    AdvanceMs(100);
    got = Captured(start, 500);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(got[size_t(2 * i)], ramp[size_t(2 * i)]) << i;
    EXPECT_EQ(Captured(start + 501, 1), (std::vector<int16_t>{0, 0}));
    EXPECT_EQ(SoundBufferSetFrequency(fast, 99), DSERR_INVALIDPARAM);
}

// A looping buffer repeats; its play cursor moves with the clock and the
// write cursor leads it by one mix period (512 output frames).
TEST_F(DeviceTest, LoopingBufferAndItsCursors) {
    Open(22050);
    std::vector<uint8_t> data = Random(4000, 5);  // 2000 frames of 16-bit mono
    SoundBuffer* b = Make(data, 22050, 16, 1);
    size_t start = PlayNow(b, DSBPLAY_LOOPING);
    uint32_t status = 0;
    SoundBufferGetStatus(b, &status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    AdvanceMs(100);  // 2205 frames: once round and 205 more
    std::vector<int16_t> want = test::AsMixed(data.data(), data.size(), 16, 1);
    EXPECT_EQ(Captured(start, 2000), want);
    EXPECT_EQ(Captured(start + 2000, 200), std::vector<int16_t>(want.begin(), want.begin() + 400));
    uint32_t play = 0, write = 0;
    ASSERT_EQ(SoundBufferGetCurrentPosition(b, &play, &write), DS_OK);
    EXPECT_EQ(play, 205u * 2);
    EXPECT_EQ(write, (205u + 512u) * 2);
    AdvanceMs(70);  // 1543.5 frames on: 1748, the write cursor wraps
    SoundBufferGetCurrentPosition(b, &play, &write);
    EXPECT_EQ(play, 1748u * 2);
    EXPECT_EQ(write, (1748u + 512u - 2000u) * 2);
    SoundBufferStop(b);
    SoundBufferGetCurrentPosition(b, &play, &write);
    EXPECT_EQ(write, play);
}

// Locks wrap round the end in two parts; a duplicate plays the same memory
// with its own state.
TEST_F(DeviceTest, LocksWrapAndDuplicatesShareTheData) {
    Open(22050);
    SoundBuffer* b = Make(std::vector<uint8_t>(1000, 0), 22050, 16, 1);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(SoundBufferLock(b, 900, 300, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 200u);
    std::memset(p1, 1, n1);
    std::memset(p2, 2, n2);
    ASSERT_EQ(SoundBufferUnlock(b, p1, n1, p2, n2), DS_OK);
    EXPECT_EQ(SoundBufferLock(b, 1000, 4, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(SoundBufferLock(b, 0, 1001, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);

    SoundBuffer* d = nullptr;
    ASSERT_EQ(SoundDuplicateBuffer(device_, b, &d), DS_OK);
    buffers_.push_back(d);
    std::vector<uint8_t> data = Random(1000, 9);
    Fill(b, 0, data);
    ASSERT_EQ(SoundBufferSetVolume(d, -10000), DS_OK);
    int32_t volume = 1;
    SoundBufferGetVolume(b, &volume);
    EXPECT_EQ(volume, 0);
    ASSERT_EQ(SoundBufferSetVolume(d, 0), DS_OK);
    size_t start = PlayNow(d);
    AdvanceMs(30);
    EXPECT_EQ(Captured(start, 500), test::AsMixed(data.data(), data.size(), 16, 1));
    uint32_t status = 0;
    SoundBufferGetStatus(b, &status);
    EXPECT_EQ(status, 0u);
}

// A lost buffer stops, refuses locks and plays until it is restored, and
// comes back empty.
TEST_F(DeviceTest, LostBuffersAreRestoredEmpty) {
    Open(22050);
    SoundBuffer* b = Make(Constant16(1000, 100), 22050, 16, 1);
    PlayNow(b, DSBPLAY_LOOPING);
    headless::LoseSoundBuffers();
    uint32_t status = 0;
    SoundBufferGetStatus(b, &status);
    EXPECT_EQ(status, DSBSTATUS_BUFFERLOST);
    void *p1, *p2;
    uint32_t n1, n2;
    EXPECT_EQ(SoundBufferLock(b, 0, 10, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(SoundBufferPlay(b, 0, 0, 0), DSERR_BUFFERLOST);
    headless::FailSoundRestore(1);
    EXPECT_EQ(SoundBufferRestore(b), DSERR_BUFFERLOST);
    EXPECT_EQ(SoundBufferRestore(b), DS_OK);
    ASSERT_EQ(SoundBufferLock(b, 0, 200, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1),
              std::vector<uint8_t>(200, 0));
    SoundBufferUnlock(b, p1, n1, p2, n2);
    headless::FailSoundStatus(1);
    EXPECT_EQ(SoundBufferGetStatus(b, &status), DSERR_GENERIC);
    EXPECT_EQ(SoundBufferGetStatus(b, &status), DS_OK);
}

// Controls a buffer was not made with are refused.
TEST_F(DeviceTest, ControlsNeedTheirCapability) {
    Open(22050);
    SoundBuffer* b = Make(Constant16(1, 10), 22050, 16, 1, DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY);
    EXPECT_EQ(SoundBufferSetVolume(b, -100), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(SoundBufferSetPan(b, 100), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(SoundBufferSetFrequency(b, 11025), DS_OK);
    SoundNotify n{0, nullptr, nullptr};
    EXPECT_EQ(SoundBufferSetNotifications(b, &n, 1), DSERR_CONTROLUNAVAIL);
    Sound3dBuffer* b3 = nullptr;
    SoundBuffer* plain = Make(Constant16(1, 10), 22050, 16, 1);
    EXPECT_EQ(SoundBufferQuery3d(plain, &b3), DSERR_NOINTERFACE);
    SoundPropertySet* set = nullptr;
    EXPECT_EQ(SoundBufferQueryPropertySet(plain, &set), DSERR_NOINTERFACE);
    WaveFormat bad = Format(22050, 24, 1);
    EXPECT_EQ(SoundBufferSetFormat(primary_, &bad), DSERR_BADFORMAT);
    WaveFormat good = Format(11025, 8, 1);
    EXPECT_EQ(SoundBufferSetFormat(plain, &good), DSERR_INVALIDCALL);
}

// A refused primary format changes nothing; an accepted one moves the
// output to its rate.
TEST_F(DeviceTest, PrimaryFormatRefusalsAndTheOutputRate) {
    Open(22050);
    EXPECT_EQ(headless::CapturedAudioRate(), 22050u);
    headless::RefuseSoundFormat(44100, 2, 16);
    WaveFormat refused = Format(44100, 16, 2), taken = Format(11025, 8, 1);
    EXPECT_EQ(SoundBufferSetFormat(primary_, &refused), DSERR_BADFORMAT);
    EXPECT_EQ(headless::CapturedAudioRate(), 22050u);
    EXPECT_EQ(SoundBufferSetFormat(primary_, &taken), DS_OK);
    EXPECT_EQ(headless::CapturedAudioRate(), 11025u);
    AdvanceMs(1000);
    EXPECT_EQ(headless::CapturedFrames(), 11025u);
    WaveFormat now{};
    SoundBufferGetFormat(primary_, &now);
    EXPECT_EQ(now.samplesPerSec, 11025u);
    EXPECT_EQ(headless::SoundFormatsOffered().size(), 3u);
}

// A format whose rate the output cannot be reopened at is refused: the
// output goes on at the rate it had and the primary keeps its format.
// When it cannot go back either, no output runs and the refusal says so;
// the next format that opens the output is taken.
TEST_F(DeviceTest, AFormatTheOutputCannotReopenAtIsRefused) {
    const WaveFormat before = Format(22050, 16, 2), asked = Format(44100, 16, 2), later = Format(11025, 16, 2);
    struct Row {
        int failedOpens;
        int32_t answer;
        uint32_t rateAfter;  // the output's, 0 for none
    } rows[] = {{1, DSERR_BADFORMAT, 22050}, {2, DSERR_NODRIVER, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failedOpens);
        Open(22050);
        headless::FailSoundCreate(row.failedOpens);
        EXPECT_EQ(SoundBufferSetFormat(primary_, &asked), row.answer);
        EXPECT_EQ(detail::SoundOutputRate(), row.rateAfter);
        WaveFormat now{};
        SoundBufferGetFormat(primary_, &now);
        EXPECT_EQ(now.samplesPerSec, before.samplesPerSec);
        EXPECT_EQ(SoundBufferSetFormat(primary_, &later), DS_OK);
        EXPECT_EQ(detail::SoundOutputRate(), 11025u);
        SoundBufferGetFormat(primary_, &now);
        EXPECT_EQ(now.samplesPerSec, 11025u);
        SoundBufferRelease(primary_);
        SoundRelease(device_);
        primary_ = nullptr;
        device_ = nullptr;
    }
}

void Count(void* context) {
    ++*static_cast<int*>(context);
}

// Notifications fire as the play cursor passes their offsets, and at the
// stop.
TEST_F(DeviceTest, PositionNotifications) {
    Open(22050);
    SoundBuffer* b = Make(Constant16(5, 1000), 22050, 16, 1,
                          DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2);
    int half = 0, end = 0, stop = 0;
    SoundNotify n[] = {{999, Count, &half}, {1999, Count, &end}, {DSBPN_OFFSETSTOP, Count, &stop}};
    ASSERT_EQ(SoundBufferSetNotifications(b, n, 3), DS_OK);
    PlayNow(b, DSBPLAY_LOOPING);
    EXPECT_EQ(SoundBufferSetNotifications(b, n, 3), DSERR_INVALIDCALL);
    host::headless::AdvanceClock(22000);  // 485 frames: not yet half way
    headless::CapturedAudio();
    EXPECT_EQ(half, 0);
    AdvanceMs(10);  // 705 frames: offset 999 passed
    headless::CapturedAudio();
    EXPECT_EQ(half, 1);
    EXPECT_EQ(end, 0);
    AdvanceMs(50);  // 1808 frames: round once, half way again
    headless::CapturedAudio();
    EXPECT_EQ(half, 2);
    EXPECT_EQ(end, 1);
    SoundBufferStop(b);
    EXPECT_EQ(stop, 1);
    SoundNotify beyond{2000, Count, &half};
    EXPECT_EQ(SoundBufferSetNotifications(b, &beyond, 1), DSERR_INVALIDPARAM);
}

// With the listener's rolloff at 0 a 3D buffer is panned from the direction
// of the source in the listener's frame and keeps its level at any distance;
// settings given deferred wait for the commit.
TEST_F(DeviceTest, ThreeDimensionalBuffersPanFromTheirAzimuth) {
    Open(22050, true);
    Sound3dListenerParams l{};
    l.size = sizeof l;
    l.orientFront = {0, 0, 1};
    l.orientTop = {0, 1, 0};
    l.distanceFactor = 1;
    l.dopplerFactor = 1;
    l.rolloffFactor = 0;
    ASSERT_EQ(SoundListenerSetAllParameters(listener_, &l, DS3D_IMMEDIATE), DS_OK);
    SoundBuffer* b = Make(Constant16(16000, 22050), 22050, 16, 1, DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY);
    Sound3dBuffer* b3 = nullptr;
    ASSERT_EQ(SoundBufferQuery3d(b, &b3), DS_OK);
    auto levels = [&](float x, float y, float z) {
        Sound3dBufferSetPosition(b3, x, y, z, DS3D_IMMEDIATE);
        SoundBufferSetCurrentPosition(b, 0);
        size_t start = PlayNow(b);
        AdvanceMs(5);
        SoundBufferStop(b);
        return Captured(start + 50, 1);
    };
    std::vector<int16_t> right = levels(30, 0, 0), left = levels(-30, 0, 0), front = levels(0, 5, 40);
    std::vector<int16_t> far = levels(3000, 0, 0), diagonal = levels(10, 0, 10);
    EXPECT_EQ(right[1], 16000);
    EXPECT_NEAR(right[0], 1600, 1);  // 2000 mB down on the far side
    EXPECT_EQ(left[0], 16000);
    EXPECT_NEAR(left[1], 1600, 1);
    EXPECT_EQ(front, (std::vector<int16_t>{16000, 16000}));
    EXPECT_EQ(far, right);
    EXPECT_NEAR(diagonal[0], 16000 * std::pow(10.0, -std::sqrt(0.5)), 1);
    // The listener turned to face +x (top still +y): the source on +x is ahead.
    SoundListenerSetOrientation(listener_, 1, 0, 0, 0, 1, 0, DS3D_DEFERRED);
    EXPECT_EQ(levels(30, 0, 0), right);
    SoundListenerCommitDeferredSettings(listener_);
    EXPECT_EQ(levels(30, 0, 0), (std::vector<int16_t>{16000, 16000}));
    // A rolloff of 1 halves the level at twice the minimum distance.
    SoundListenerSetRolloffFactor(listener_, 1, DS3D_IMMEDIATE);
    Sound3dBufferSetMinDistance(b3, 10, DS3D_IMMEDIATE);
    EXPECT_EQ(levels(20, 0, 0), (std::vector<int16_t>{8000, 8000}));
    Sound3dBufferRelease(b3);
}

// The mixer a callback-driven output calls: it moves the buffers on and
// adds the voices.
TEST_F(DeviceTest, MixerSumsAndSaturates) {
    Open(22050);
    SoundBuffer* a = Make(Constant16(30000, 1000), 22050, 16, 1);
    SoundBuffer* b = Make(Constant16(10000, 1000), 22050, 16, 1);
    PlayNow(a);
    PlayNow(b);
    int16_t out[20];
    detail::SoundMix(out, 10);
    EXPECT_EQ(out[0], 32767);
    SoundBufferSetVolume(b, -10000);
    SoundBufferSetVolume(a, -602);
    detail::SoundMix(out, 10);
    EXPECT_NEAR(out[0], 15000, 10);
    uint32_t play = 0;
    SoundBufferGetCurrentPosition(a, &play, nullptr);
    EXPECT_EQ(play, 40u);
}

}  // namespace
