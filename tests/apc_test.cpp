// The APC codec: split decodes equal one-shot decodes, the 16-bit wrap, the
// error codes, and the kit's encoder against the library's.
#include "media/apc.h"
#include "test_support.h"
#include "tools/kit/apc_writer.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

class ApcTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ASSERT_EQ(Adpcm_Init(kAdpcmLibraryVersion), kAdpcmOk);
    }
};

std::vector<int16_t> Tone(size_t frames, int channels, double hz, double amplitude, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-300, 300);
    std::vector<int16_t> pcm;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            double v = amplitude * std::sin(2 * M_PI * hz * (c + 1) * double(i) / 22050.0) + noise(rng);
            pcm.push_back(int16_t(std::lround(std::clamp(v, -32768.0, 32767.0))));
        }
    return pcm;
}

std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& image) {
    int32_t size = 0, rate = 0, stereo = 0;
    EXPECT_EQ(Adpcm_GetInfo(image.data(), &size, &rate, &stereo), kAdpcmOk);
    std::vector<int16_t> out(size_t(size) / 2);
    EXPECT_EQ(Adpcm_DecodeBuffer(image.data(), out.data()), kAdpcmOk);
    return out;
}

// The decoder's rule written out once more with 64-bit sums: the sample is
// the low 16 bits of the running total.
std::vector<int16_t> ReferenceDecode(const std::vector<uint8_t>& image, bool stereo, size_t perChannel) {
    static const int steps[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,
                                  21,    23,    25,    28,    31,    34,    37,    41,    45,    50,    55,
                                  60,    66,    73,    80,    88,    97,    107,   118,   130,   143,   157,
                                  173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,
                                  494,   544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,
                                  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,  3660,
                                  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442,
                                  11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794,
                                  32767};
    static const int moves[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    int64_t total[2];
    int32_t first[2];
    std::memcpy(&first[0], &image[20], 4);
    std::memcpy(&first[1], &image[24], 4);
    total[0] = first[0];
    total[1] = first[1];
    int index[2] = {0, 0};
    std::vector<int16_t> out;
    auto one = [&](int ch, int code) {
        int s = steps[index[ch]];
        int d = s / 8 + ((code & 4) ? s : 0) + ((code & 2) ? s / 2 : 0) + ((code & 1) ? s / 4 : 0);
        total[ch] += (code & 8) ? -d : d;
        index[ch] = std::clamp(index[ch] + moves[code & 7], 0, 88);
        out.push_back(int16_t(uint16_t(uint64_t(total[ch]) & 0xFFFF)));
    };
    for (size_t i = 0; i < perChannel; ++i) {
        if (stereo) {
            uint8_t b = image[32 + i];
            one(0, b >> 4);
            one(1, b & 15);
        } else {
            uint8_t b = image[32 + i / 2];
            one(0, (i % 2) ? (b & 15) : (b >> 4));
        }
    }
    return out;
}

TEST_F(ApcTest, EverySplitPointDecodesAsOneShot) {
    for (int channels : {1, 2}) {
        for (size_t frames : {size_t(1), size_t(2), size_t(37), size_t(64)}) {
            std::vector<int16_t> pcm = Tone(frames, channels, 440, 12000, 7);
            std::vector<uint8_t> image = kit::EncodeApc(pcm, 22050, channels == 2);
            std::vector<int16_t> whole = DecodeAll(image);
            ASSERT_EQ(whole.size(), pcm.size());
            EXPECT_EQ(whole, ReferenceDecode(image, channels == 2, frames));
            for (size_t k = 0; k <= frames; ++k) {
                AdpcmDecodeState s;
                ASSERT_EQ(Adpcm_DecodeStart(image.data(), &s), kAdpcmOk);
                std::vector<int16_t> out(pcm.size() + 8, 0x5555);
                int16_t* o = out.data();
                int32_t missing = -1;
                ASSERT_EQ(Adpcm_Decode(&o, &s, int32_t(k), &missing), kAdpcmOk);
                EXPECT_EQ(missing, 0);
                EXPECT_EQ(o, out.data() + k * channels);
                ASSERT_EQ(Adpcm_Decode(&o, &s, int32_t(frames + 3), &missing), kAdpcmOk);
                EXPECT_EQ(missing, int32_t(k + 3));  // asked beyond the end: the shortfall
                out.resize(pcm.size());
                EXPECT_EQ(out, whole) << channels << " channels, split after " << k;
            }
        }
    }
    // Many small pieces, uneven, continue across pending bytes.
    std::vector<int16_t> pcm = Tone(1001, 1, 97, 20000, 3);
    std::vector<uint8_t> image = kit::EncodeApc(pcm, 22050, false);
    AdpcmDecodeState s;
    ASSERT_EQ(Adpcm_DecodeStart(image.data(), &s), kAdpcmOk);
    std::vector<int16_t> out(pcm.size());
    int16_t* o = out.data();
    std::mt19937 rng(11);
    while (o < out.data() + out.size()) {
        int32_t want = std::min<int32_t>(int32_t(rng() % 9), int32_t(out.data() + out.size() - o));
        int32_t missing;
        ASSERT_EQ(Adpcm_Decode(&o, &s, want, &missing), kAdpcmOk);
    }
    EXPECT_EQ(out, DecodeAll(image));
}

TEST_F(ApcTest, TheDecoderWrapsPastTheSixteenBitRange) {
    // Predictor 32000 and the largest positive code over and over: the
    // running total passes 32767 and the samples wrap to negative values.
    std::vector<uint8_t> image = kit::EncodeApc({32000, 32000, 32000, 32000}, 22050, false);
    image.resize(32);
    for (int i = 0; i < 40; ++i) image.push_back(0x77);
    image[12] = 80;  // samples
    std::vector<int16_t> out = DecodeAll(image);
    std::vector<int16_t> model = ReferenceDecode(image, false, 80);
    EXPECT_EQ(out, model);
    bool wrapped = false;
    for (size_t i = 1; i < out.size(); ++i) wrapped |= out[i - 1] > 30000 && out[i] < 0;
    EXPECT_TRUE(wrapped);
    // Far past 2^31 the total still wraps by the same bits.
    std::vector<uint8_t> big = kit::EncodeApc({0, 0}, 22050, false);
    big.resize(32);
    big[20] = 0xF0;
    big[21] = 0xFF;
    big[22] = 0xFF;
    big[23] = 0x7F;  // predictor 0x7FFFFFF0
    for (int i = 0; i < 200; ++i) big.push_back(0x77);
    big[12] = 144;
    big[13] = 1;  // 400 samples
    EXPECT_EQ(DecodeAll(big), ReferenceDecode(big, false, 400));
}

TEST_F(ApcTest, TheKitEncoderMatchesTheLibraryAndRoundTripsWithinBounds) {
    struct Case {
        int channels;
        size_t frames;
        double hz, amplitude;
    } cases[] = {{1, 22050, 440, 12000}, {2, 11025, 300, 9000}, {1, 4001, 1200, 32767}, {2, 3, 50, 100}};
    for (const Case& c : cases) {
        std::vector<int16_t> pcm = Tone(c.frames, c.channels, c.hz, c.amplitude, 5);
        std::vector<uint8_t> kitImage = kit::EncodeApc(pcm, 22050, c.channels == 2);
        int32_t pcmSize = int32_t(pcm.size() * 2), imageSize = 0;
        ASSERT_EQ(Adpcm_GetEncodedSize(pcmSize, &imageSize, c.channels == 2), kAdpcmOk);
        EXPECT_EQ(imageSize, pcmSize / 4 + 33);
        std::vector<uint8_t> image(size_t(imageSize), 0xEE);
        ASSERT_EQ(Adpcm_EncodeBuffer(pcm.data(), pcmSize, image.data(), imageSize, 22050, c.channels == 2),
                  kAdpcmOk);
        ASSERT_LE(kitImage.size(), image.size());
        EXPECT_TRUE(std::equal(kitImage.begin(), kitImage.end(), image.begin()));
        // The split encoder gives the same image.
        std::vector<uint8_t> split(size_t(imageSize), 0xEE);
        AdpcmEncodeState es;
        ASSERT_EQ(Adpcm_EncodeStart(&es, pcm.data(), pcmSize, split.data(), 22050, c.channels == 2), kAdpcmOk);
        ASSERT_EQ(Adpcm_Encode(&es, pcm.data()), kAdpcmOk);
        EXPECT_EQ(split, image);

        // Stated bound: once the step has adapted (after the first 64
        // frames) the RMS error stays under 1% of full scale for tones below
        // half scale, and under 5% for a clipped full-scale tone; the
        // encoder's back-off keeps every decoded sample from wrapping.
        std::vector<int16_t> back = DecodeAll(kitImage);
        ASSERT_EQ(back.size(), pcm.size());
        size_t from = std::min<size_t>(64 * c.channels, pcm.size() - 1);
        double sum = 0;
        for (size_t i = from; i < pcm.size(); ++i) {
            double e = double(back[i]) - double(pcm[i]);
            sum += e * e;
        }
        double rms = std::sqrt(sum / double(pcm.size() - from));
        double bound = (c.amplitude < 16384 ? 0.01 : 0.05) * 32768;
        if (c.frames > 64) {
            EXPECT_LT(rms, bound) << c.channels << "ch " << c.hz << " Hz: rms " << rms;
        }
        for (size_t i = 0; i < pcm.size(); ++i) ASSERT_LT(std::abs(int(back[i]) - int(pcm[i])), 32768) << i;
    }
}

TEST_F(ApcTest, ErrorCodesAndTexts) {
    std::vector<int16_t> pcm = Tone(100, 1, 440, 5000, 1);
    std::vector<uint8_t> image = kit::EncodeApc(pcm, 44100, false);
    int32_t size, rate, stereo;
    EXPECT_EQ(Adpcm_Init(1), kAdpcmWrongVersion);
    EXPECT_EQ(Adpcm_GetInfo(nullptr, &size, &rate, &stereo), 10);
    EXPECT_EQ(Adpcm_GetInfo(image.data(), nullptr, &rate, &stereo), 5);
    EXPECT_EQ(Adpcm_GetInfo(image.data(), &size, nullptr, &stereo), 7);
    EXPECT_EQ(Adpcm_GetInfo(image.data(), &size, &rate, nullptr), 11);
    ASSERT_EQ(Adpcm_GetInfo(image.data(), &size, &rate, &stereo), 0);
    EXPECT_EQ(size, 200);
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(stereo, 0);
    std::vector<uint8_t> bad = image;
    std::memcpy(&bad[8], "1.50", 4);
    EXPECT_EQ(Adpcm_GetInfo(bad.data(), &size, &rate, &stereo), 14);
    AdpcmDecodeState s;
    EXPECT_EQ(Adpcm_DecodeStart(bad.data(), &s), 14);
    bad[0] = 'W';
    EXPECT_EQ(Adpcm_DecodeStart(bad.data(), &s), 13);
    EXPECT_EQ(Adpcm_DecodeStart(image.data(), nullptr), 12);
    EXPECT_EQ(Adpcm_DecodeStart(nullptr, &s), 10);

    // 1000 asked with 300 left: 300 decoded, 700 missing.
    std::vector<uint8_t> image300 = kit::EncodeApc(Tone(300, 1, 440, 5000, 2), 22050, false);
    ASSERT_EQ(Adpcm_DecodeStart(image300.data(), &s), 0);
    std::vector<int16_t> out(1000);
    int16_t* o = out.data();
    int32_t missing;
    ASSERT_EQ(Adpcm_Decode(&o, &s, 1000, &missing), 0);
    EXPECT_EQ(missing, 700);
    EXPECT_EQ(o - out.data(), 300);
    int16_t* none = nullptr;
    EXPECT_EQ(Adpcm_Decode(&none, &s, 1, &missing), 4);
    EXPECT_EQ(Adpcm_Decode(&o, nullptr, 1, &missing), 10);

    int32_t encoded = 0;
    EXPECT_EQ(Adpcm_GetEncodedSize(6, &encoded, 1), 3);
    EXPECT_EQ(Adpcm_GetEncodedSize(0, &encoded, 0), 4);
    EXPECT_EQ(Adpcm_GetEncodedSize(8, nullptr, 0), 9);
    ASSERT_EQ(Adpcm_GetEncodedSize(10, &encoded, 0), 0);
    EXPECT_EQ(encoded, 10 / 4 + 33);
    std::vector<uint8_t> img(100);
    EXPECT_EQ(Adpcm_EncodeBuffer(nullptr, 8, img.data(), 35, 22050, 0), 6);
    EXPECT_EQ(Adpcm_EncodeBuffer(pcm.data(), 0, img.data(), 33, 22050, 0), 4);
    EXPECT_EQ(Adpcm_EncodeBuffer(pcm.data(), 8, nullptr, 35, 22050, 0), 10);
    EXPECT_EQ(Adpcm_EncodeBuffer(pcm.data(), 8, img.data(), 36, 22050, 0), 8);
    EXPECT_EQ(Adpcm_EncodeBuffer(pcm.data(), 6, img.data(), 34, 22050, 1), 3);
    AdpcmEncodeState es;
    EXPECT_EQ(Adpcm_EncodeStart(nullptr, pcm.data(), 8, img.data(), 22050, 0), 12);
    EXPECT_EQ(Adpcm_EncodeStart(&es, pcm.data(), 8, nullptr, 22050, 0), 10);

    char text[kAdpcmErrorTextSize];
    EXPECT_EQ(Adpcm_GetErrorText(17, text), 15);
    EXPECT_EQ(Adpcm_GetErrorText(-1, text), 15);
    EXPECT_EQ(Adpcm_GetErrorText(3, nullptr), 16);
    ASSERT_EQ(Adpcm_GetErrorText(14, text), 0);
    EXPECT_STREQ(text, "Adpcm Error : Invalid APC file version.");
    ASSERT_EQ(Adpcm_GetErrorText(3, text), 0);
    EXPECT_STREQ(text, "Adpcm Error : PcmSize parameter must be even (Pcm samples are 16 bits).");
}

TEST_F(ApcTest, TheTraceGoesToTheLogAndTheDebuggerWhileALogIsOpen) {
    Adpcm_TraceLine("before %d", 1);
    ASSERT_EQ(Adpcm_LogOpen("apc.log"), 0);
    Adpcm_TraceLine("decoded %d samples", 300);
    Adpcm_Trace("no line end");
    ASSERT_EQ(Adpcm_LogClose(), 0);
    Adpcm_TraceLine("after");
    EXPECT_EQ(ReadFile("apc.log"), "decoded 300 samples\nno line end");
    const auto& lines = host::headless::DebugOutput();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "decoded 300 samples\n");
}

}  // namespace
