// Writers of the sample files the game reads: .wav, .voc, .snx (a gzip
// stream) and .snp/.trk (4-bit ADPCM in blocks), with the ADPCM encoder
// that simulates the game's decoder step by step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// PCM frames as the files store them: 8-bit unsigned or 16-bit signed
// little-endian, channels interleaved.
struct PcmSound {
    uint32_t rate = 22050;
    int bits = 16;
    int channels = 1;
    std::vector<uint8_t> data;
};

// 16-bit samples (interleaved when stereo) as PCM bytes.
PcmSound Pcm16(const std::vector<int16_t>& samples, uint32_t rate, int channels);
// 8-bit unsigned samples as PCM bytes.
PcmSound Pcm8(const std::vector<uint8_t>& samples, uint32_t rate, int channels);

struct WavOptions {
    uint32_t formatChunkSize = 16;  // 16, or 18 with an extra size word of 0
    uint16_t formatTag = 1;
    std::string extraChunk;         // a chunk id ("LIST") written between format and data
};
std::vector<uint8_t> WavFile(const PcmSound& sound, const WavOptions& options = {});

// A 26-byte file header and one block of the given type (9: the game's),
// whose 24-bit length is the data length.
std::vector<uint8_t> VocFile(const PcmSound& sound, uint8_t blockType = 9);

// The 25-byte header and the data as one gzip stream.
std::vector<uint8_t> SnxFile(const PcmSound& sound, int32_t loopStart = 0, int32_t loopEnd = 0,
                             uint8_t blockKilobytes = 0);

// The decoder's state on one channel.
struct AdpcmState {
    int16_t predictor = 0;
    int16_t index = 0;
};
// The decoder's step for one 4-bit code: the new sample.
int16_t AdpcmDecodeStep(AdpcmState* state, uint8_t code);
// The code whose decoded sample comes nearest the target (the lowest code
// among equals), with the state moved on as the decoder moves it.
uint8_t AdpcmEncodeStep(AdpcmState* state, int16_t target);
// Mono: two samples per byte, the first in the high nibble (an odd count is
// padded with its last sample).  Stereo: one left/right pair per byte, left
// in the high nibble.
std::vector<uint8_t> AdpcmEncode(const std::vector<int16_t>& samples, bool stereo, AdpcmState* left,
                                 AdpcmState* right);
// What the game decodes from those bytes.
std::vector<int16_t> AdpcmDecode(const std::vector<uint8_t>& coded, bool stereo, AdpcmState* left,
                                 AdpcmState* right);

// A .snp/.trk file: each channel (samples interleaved when stereo) coded
// on its own, the file holding one block of each channel in turn.
struct SnpSound {
    uint32_t rate = 22050;
    uint16_t flags = 0x41;         // bit 6 coded, bit 0 16-bit, bit 1 stereo
    uint32_t blockBytes = 4096;    // coded bytes per block
    int32_t loopStart = 0, loopEnd = 0;
    std::vector<std::vector<int16_t>> channels;
};
std::vector<uint8_t> SnpFile(const SnpSound& sound);
// The 16-bit samples the game decodes from each channel of that file.
std::vector<std::vector<int16_t>> SnpDecoded(const SnpSound& sound);

// Sounds made by the project's own code: tones, noise bursts and clicks,
// 16-bit mono.  Deterministic.
std::vector<int16_t> Tone(uint32_t rate, double seconds, double startHz, double endHz, double level);
std::vector<int16_t> NoiseBurst(uint32_t rate, double seconds, double level, uint32_t seed, double smoothing);
std::vector<int16_t> Click(uint32_t rate, double seconds, double level);
std::vector<int16_t> Concat(const std::vector<std::vector<int16_t>>& parts);
// Sample by sample sum, clipped; as long as the longer.
std::vector<int16_t> Mix(const std::vector<int16_t>& a, const std::vector<int16_t>& b);

struct DemoSound {
    std::string member;  // ".\smp\effets\name.wav"
    std::vector<uint8_t> file;
};
// The sound effects of the demo's effects archive.
std::vector<DemoSound> DemoEffects();

// A note of the kit's synthesiser: start and length in seconds, pitch as a
// MIDI note number (69 = 440 Hz), level 0..1, and the instrument.
enum class Instrument { Pad, Pluck, Bass, Kick, Hat, Stab };
struct Note {
    double start, length;
    int pitch;
    double level;
    Instrument instrument;
};
// Renders the notes into a loop of `seconds`: what rings past the end comes
// back in at the start, so the loop joins without a step.  Scaled so that
// the loudest sample is `peak` of full scale.
std::vector<int16_t> RenderLoop(uint32_t rate, double seconds, const std::vector<Note>& notes, double peak);

// The demo's two music tracks (music archive): two channels of 4-bit ADPCM
// each, channel 1 the layer the music state switches, in blocks of 16 KB.
struct DemoTrack {
    std::string member;  // ".\smp\music\m22n.snp"
    SnpSound sound;
};
std::vector<DemoTrack> DemoMusicTracks();
std::vector<DemoSound> DemoMusic();

}  // namespace kit
