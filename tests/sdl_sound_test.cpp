// The SDL2 back end's sound output: the mixer runs in SDL's audio callback,
// so what SDL plays is the mix.  SDL's file-writing audio driver stands in
// for a sound card and its dummy video driver for a display.
#include "host/host.h"
#include "host/sound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class SdlSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = std::filesystem::temp_directory_path() / ("morvanel-sdl-sound-" + std::to_string(::getpid()) + ".raw");
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file_.c_str(), 1);
        if (!host::Start(host::BackendKind::Sdl, nullptr)) GTEST_SKIP() << "SDL cannot start here";
    }
    void TearDown() override {
        host::Stop();
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        std::error_code ec;
        std::filesystem::remove(file_, ec);
    }
    std::filesystem::path file_;
};

TEST_F(SdlSoundTest, TheMixIsWhatTheAudioDevicePlays) {
    host::SoundDevice* device = nullptr;
    ASSERT_EQ(host::SoundCreate(nullptr, &device), host::DS_OK);
    ASSERT_EQ(host::SoundSetCooperativeLevel(device, nullptr, host::DSSCL_EXCLUSIVE), host::DS_OK);
    host::SoundBufferDesc p{20, host::DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
    host::SoundBuffer* primary = nullptr;
    ASSERT_EQ(host::SoundCreateBuffer(device, &p, &primary), host::DS_OK);
    host::WaveFormat out{1, 2, 22050, 88200, 4, 16};
    ASSERT_EQ(host::SoundBufferSetFormat(primary, &out), host::DS_OK);
    // A 16-bit mono tone, looping.
    std::vector<int16_t> tone(2205);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = int16_t(12000 * std::sin(double(i) * 0.0567));
    host::WaveFormat f{1, 1, 22050, 44100, 2, 16};
    host::SoundBufferDesc d{20, host::DSBCAPS_CTRLVOLUME, uint32_t(tone.size() * 2), 0, &f};
    host::SoundBuffer* b = nullptr;
    ASSERT_EQ(host::SoundCreateBuffer(device, &d, &b), host::DS_OK);
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_EQ(host::SoundBufferLock(b, 0, 0, &p1, &n1, &p2, &n2, host::DSBLOCK_ENTIREBUFFER), host::DS_OK);
    std::memcpy(p1, tone.data(), n1);
    host::SoundBufferUnlock(b, p1, n1, p2, n2);
    ASSERT_EQ(host::SoundBufferPlay(b, 0, 0, host::DSBPLAY_LOOPING), host::DS_OK);
    // The play cursor moves as the device takes periods.
    uint32_t first = 0, later = 0;
    host::SoundBufferGetCurrentPosition(b, &first, nullptr);
    for (int i = 0; i < 100 && later == first; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        host::SoundBufferGetCurrentPosition(b, &later, nullptr);
    }
    EXPECT_NE(later, first);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    host::SoundBufferRelease(b);
    host::SoundBufferRelease(primary);
    host::SoundRelease(device);  // the last device: the output closes
    std::ifstream in(file_, std::ios::binary);
    std::vector<int16_t> played;
    int16_t v[2];
    while (in.read(reinterpret_cast<char*>(v), sizeof v)) {
        EXPECT_EQ(v[0], v[1]);  // mono on both sides
        played.push_back(v[0]);
    }
    // The tone's first period appears in what was played, sample for
    // sample.
    ASSERT_GT(played.size(), 1000u);
    auto at = std::search(played.begin(), played.end(), tone.begin(), tone.begin() + 200);
    EXPECT_NE(at, played.end());
}

}  // namespace
