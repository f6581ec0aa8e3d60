// The kit's APC encoder, written from the format: each sample's difference
// from the channel's prediction is quantised to a code against the step;
// a code whose reconstruction would leave the 16-bit range is backed off
// through the format's two tables until it fits.
#include "tools/kit/apc_writer.h"

#include "tools/kit/byte_writer.h"

#include <algorithm>

namespace kit {

namespace {

const int16_t kSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int8_t kIndexMove[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
const uint8_t kTooHigh[16] = {9, 0, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 15};
const uint8_t kTooLow[16] = {1, 2, 3, 4, 5, 6, 7, 7, 1, 0, 9, 10, 11, 12, 13, 14};

struct Channel {
    int32_t predicted;
    int index = 0;

    int32_t Delta(unsigned code) const {
        int32_t s = kSteps[index];
        int32_t magnitude = (s >> 3) + ((code & 4) ? s : 0) + ((code & 2) ? s >> 1 : 0) + ((code & 1) ? s >> 2 : 0);
        return (code & 8) ? -magnitude : magnitude;
    }

    unsigned Code(int16_t sample) {
        int32_t want = std::clamp<int32_t>(int32_t(sample) - predicted, -32768, 32767);
        unsigned code = want < 0 ? 8u : 0u;
        int32_t rest = want < 0 ? -want : want;
        int32_t s = kSteps[index];
        for (unsigned bit = 4; bit; bit >>= 1, s >>= 1) {
            if (rest >= s) {
                code |= bit;
                rest -= s;
            }
        }
        int32_t next = predicted + Delta(code);
        while (next > 32767 || next < -32768) {
            code = next > 32767 ? kTooHigh[code] : kTooLow[code];
            next = predicted + Delta(code);
        }
        predicted = next;
        index = std::clamp(index + kIndexMove[code & 7], 0, 88);
        return code;
    }
};

}  // namespace

std::vector<uint8_t> EncodeApc(const std::vector<int16_t>& pcm, int32_t frequency, bool stereo) {
    size_t channels = stereo ? 2 : 1;
    size_t perChannel = pcm.size() / channels;
    Channel left{perChannel ? pcm[0] : int16_t(0)};
    Channel right{stereo && perChannel ? pcm[1] : int16_t(0)};
    ByteWriter w;
    for (char c : std::string("VORN_APC1.20")) w.U8(uint8_t(c));
    w.I32(int32_t(perChannel));
    w.I32(frequency);
    w.I32(left.predicted);
    w.I32(right.predicted);
    w.I32(stereo ? 1 : 0);
    if (stereo) {
        for (size_t i = 0; i < perChannel; ++i) {
            unsigned l = left.Code(pcm[2 * i]);
            unsigned r = right.Code(pcm[2 * i + 1]);
            w.U8(uint8_t(l << 4 | r));
        }
    } else {
        for (size_t i = 0; i < perChannel; i += 2) {
            unsigned high = left.Code(pcm[i]);
            unsigned low = i + 1 < perChannel ? left.Code(pcm[i + 1]) : 0;
            w.U8(uint8_t(high << 4 | low));
        }
    }
    return w.Take();
}

std::vector<uint8_t> ApcCodes(const std::vector<uint8_t>& image) {
    if (image.size() <= 32) return {};
    return std::vector<uint8_t>(image.begin() + 32, image.end());
}

std::vector<uint8_t> ApcHeaderFor(const std::vector<uint8_t>& image, int32_t samplesPerChannel) {
    std::vector<uint8_t> header(image.begin(), image.begin() + std::min<size_t>(32, image.size()));
    header.resize(32);
    for (int i = 0; i < 4; ++i) header[12 + i] = uint8_t(uint32_t(samplesPerChannel) >> (8 * i));
    return header;
}

}  // namespace kit
