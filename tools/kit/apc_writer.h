// The data kit's APC encoder: 16-bit PCM to an APC image ("VORN_APC"
// header, then 4-bit ADPCM codes; mono two codes per byte, high nibble
// first; stereo one byte per sample pair, left high).
#pragma once

#include <cstdint>
#include <vector>

namespace kit {

// `pcm` holds interleaved samples (left, right for stereo); an odd stereo
// count drops the last half pair.  An empty input gives a header only.
std::vector<uint8_t> EncodeApc(const std::vector<int16_t>& pcm, int32_t frequency, bool stereo);

// Only the coded bytes (no header) of an image, and its header alone with
// a chosen sample count: a stream's first sound chunk carries the header
// with the whole track's count, later chunks continue the codes.
std::vector<uint8_t> ApcCodes(const std::vector<uint8_t>& image);
std::vector<uint8_t> ApcHeaderFor(const std::vector<uint8_t>& image, int32_t samplesPerChannel);

}  // namespace kit
