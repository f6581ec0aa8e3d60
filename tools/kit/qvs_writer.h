// The data kit's video stream (.qvs) writer: the 64-byte header, blocks of
// chunks with payloads padded to 4 bytes, and a muxer that cuts APC sound
// into chunks between the frames, sound first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct QvsChunk {
    std::string tag;  // two letters: "AA", "BB", "IV", "IX" (others make bad streams)
    std::vector<uint8_t> payload;
    int64_t sizeOverride = -1;  // >= 0: the size field written instead of 8 + payload
};
using QvsBlock = std::vector<QvsChunk>;

struct QvsHeader {
    std::string magic = "QVF6";  // "UBB2" for version 5
    uint8_t audio = 0;           // bit 7 stereo, bits 5-6 rate / 22050
    uint8_t bitsPerPixel = 16;
    int16_t width = 640;
    int16_t height = 480;
    int32_t frameCount = 0;
    int32_t word28 = 1;
    uint32_t fpsMilli = 15000;   // frames per second x 1000, at bytes 20-23, for tools
    int64_t streamTotal = -1;    // -1: the file's length
};

// The header and blocks as a file image.
std::vector<uint8_t> WriteQvs(const QvsHeader& header, const std::vector<QvsBlock>& blocks);

// A movie to mux: one payload per frame, and optional 16-bit sound.
struct QvsMovie {
    QvsHeader header;                         // frame count, audio byte and total are filled in
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int16_t> pcm;                 // interleaved when stereo
    int channels = 1;
    int rateUnits = 1;                        // sample rate / 22050: 1, 2 or 3
    uint32_t firstAudioBytes = 0;             // coded bytes in the first sound chunk (after its APC header)
    uint32_t laterAudioBytes = 0;             // coded bytes in each later sound chunk
    int framesPerBlock = 4;
    double fps = 15.0;
    // A sound chunk goes just before the frame whose time it starts at
    // (the first one before frame 0); delayed by this many frames.
    int audioDelayFrames = 0;
};

// The file image: the first sound chunk carries the APC header counting the
// whole track's samples, later ones continue the codes.
std::vector<uint8_t> MuxQvs(const QvsMovie& movie);

// Where each chunk of a well-formed image lies: the offset of its 8-byte
// header, its size field and its tag; in file order.
struct QvsChunkPlace {
    size_t header;
    uint32_t size;
    std::string tag;
};
std::vector<QvsChunkPlace> QvsChunkPlaces(const std::vector<uint8_t>& image);

// The 32-bit fields an image's damage is made of.
void PatchQvsU32(std::vector<uint8_t>& image, size_t at, uint32_t value);
constexpr size_t kQvsStreamTotalAt = 12;

// A named stream of the family the reader and parser are tested on (good
// ones and malformed ones), small enough to walk many times.
struct QvsFixture {
    std::string name;
    std::vector<uint8_t> bytes;
};
std::vector<QvsFixture> QvsFixtureFamily();

}  // namespace kit
