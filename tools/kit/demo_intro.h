// The demo's intro video, .\video\fmorvanel.qvs: 48 frames of 640 x 480 at
// 16 bits and 15 frames a second, key frames every 16, with mono sound at
// 22050 Hz.  Each frame shows its number in large digits on a black box, a
// white bar that moves 12 pixels a frame, and a gradient over the whole
// range of each channel (red across, green down, blue against red).  The
// sound is a 440 Hz tone with a click at the start of every 15th frame, so
// that picture and sound can be lined up.
//
// Variants of it (other sizes, stereo or no sound) serve the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

constexpr int kDemoIntroFrames = 48;
constexpr int kDemoIntroRate = 22050;
constexpr int kDemoIntroClickEvery = 15;  // frames
constexpr int kDemoIntroClickLength = 48;  // samples

struct IntroOptions {
    int width = 640;
    int height = 480;
    int frames = kDemoIntroFrames;
    int channels = 1;  // 0: no sound
};

// Frame `index` as 5-6-5 pixels, rows of `width`.
std::vector<uint16_t> IntroFrame(const IntroOptions& options, int index);
// The sound before coding: interleaved 16-bit samples, 1470 per frame and
// channel.
std::vector<int16_t> IntroSound(const IntroOptions& options);
// The stream file.
std::vector<uint8_t> IntroStream(const IntroOptions& options);

// The demo's own.
std::vector<uint8_t> DemoIntroStream();

// An intro stream damaged at one chunk, and how much of it lies whole
// before the damage: what a player may show and play of it.
struct DamagedIntro {
    std::string name;
    IntroOptions options;  // what the stream was made from
    std::vector<uint8_t> bytes;
    int wholeFrames;       // frames 0 .. wholeFrames - 1 come whole
    int wholeSoundChunks;  // sound chunks that come whole (the first holds 32 frames of sound)
};
// Damage at frame `frame` of a stream without sound: its chunk header
// crossing the stream total (with a size near 2 GB, or ending at the total),
// or the file cut inside that header or inside the frame.  Then damage to
// the second sound chunk of a stream with sound (which needs more than 32
// frames): the file cut inside it.
std::vector<DamagedIntro> DamagedIntroStreams(const IntroOptions& options, int frame);

}  // namespace kit
