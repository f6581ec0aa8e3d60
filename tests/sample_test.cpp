// Sample files and the sample ADPCM codec: the kit's files read back by the
// game's readers, the decoder's own figures, and refused headers.
#include "sound_support.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/byte_writer.h"
#include "tools/kit/sound_writer.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

class SampleTest : public test::SoundTest {
protected:
    void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFile(name, std::string(bytes.begin(), bytes.end()));
    }
    // Loads whole; answers whether the reader took the file.
    bool Load(const std::string& name) {
        SMP_Free(&sample_);
        return SMP_Load(&sample_, name.c_str(), 3) != nullptr;
    }
    std::vector<uint8_t> Data() const {
        return sample_.data ? std::vector<uint8_t>(sample_.data, sample_.data + sample_.length)
                            : std::vector<uint8_t>();
    }
    void TearDown() override {
        SMP_Free(&sample_);
        SoundTest::TearDown();
    }
    // A sweep of 12000 peak from 200 Hz to 2 kHz over a second at 22050 Hz,
    // with noise of 300 RMS.
    static std::vector<int16_t> Signal(size_t n, uint32_t seed) {
        std::mt19937 rng(seed);
        std::normal_distribution<double> noise(0, 300);
        std::vector<int16_t> v(n);
        for (size_t i = 0; i < n; ++i) {
            double t = double(i) / 22050;
            double s = 12000 * std::sin(2 * 3.14159265 * (200 + 1800 * t) * t) + noise(rng);
            v[i] = int16_t(std::clamp(s, -32768.0, 32767.0));
        }
        return v;
    }
    static std::vector<uint8_t> Le16(const std::vector<int16_t>& s) { return kit::Pcm16(s, 0, 1).data; }

    SndSample sample_{};
};

TEST_F(SampleTest, AdpcmNumericExampleAndSaturation) {
    // 0x70 from predictor 0, index 0: code 7 with step 7 adds
    // (28 + 14 + 7) >> 2 = 12 and moves the index to 8; code 0 adds nothing
    // and moves it to 7.
    uint8_t in = 0x70;
    int16_t out[2];
    AdpcmChannel ch{0, 0};
    SMP_AdpcmDecodeMono(&in, 1, out, &ch);
    EXPECT_EQ(out[0], 12);
    EXPECT_EQ(out[1], 12);
    EXPECT_EQ(ch.index, 7);

    AdpcmChannel high{32700, 88}, low{-32700, 88};
    EXPECT_EQ(SMP_AdpcmStep(&high, 7), 32767);
    EXPECT_EQ(high.index, 88);
    EXPECT_EQ(SMP_AdpcmStep(&low, 15), -32768);
    AdpcmChannel bottom{0, 0};
    SMP_AdpcmStep(&bottom, 0);
    EXPECT_EQ(bottom.index, 0);

    // Stereo: the high nibble is the left sample, the low one the right,
    // each on its own state.
    uint8_t pair = 0x7F;
    AdpcmChannel l{0, 0}, r{0, 0};
    SMP_AdpcmDecodeStereo(&pair, 1, out, &l, &r);
    EXPECT_EQ(out[0], 12);
    EXPECT_EQ(out[1], -12);
}

// The kit's encoder chooses each code by running the decoder: the game's
// decoder reproduces the kit's prediction exactly, and on the sweep the
// round trip's error stays under 650 RMS (5.5% of the peak) and 2500 at
// worst, on each channel.
TEST_F(SampleTest, EncoderRoundTripStaysWithinItsError) {
    for (bool stereo : {false, true}) {
        SCOPED_TRACE(stereo ? "stereo" : "mono");
        std::vector<int16_t> signal = Signal(22050, 1);
        if (stereo) {
            std::vector<int16_t> other = Signal(22050, 2), both;
            for (size_t i = 0; i < signal.size(); ++i) both.push_back(signal[i]), both.push_back(other[i]);
            signal = both;
        }
        kit::AdpcmState el, er;
        std::vector<uint8_t> coded = kit::AdpcmEncode(signal, stereo, &el, &er);
        kit::AdpcmState dl, dr;
        std::vector<int16_t> predicted = kit::AdpcmDecode(coded, stereo, &dl, &dr);
        std::vector<int16_t> decoded(coded.size() * 2);
        AdpcmChannel l{0, 0}, r{0, 0};
        if (stereo) SMP_AdpcmDecodeStereo(coded.data(), uint32_t(coded.size()), decoded.data(), &l, &r);
        else SMP_AdpcmDecodeMono(coded.data(), uint32_t(coded.size()), decoded.data(), &l);
        ASSERT_EQ(decoded, predicted);
        double sum = 0, worst = 0;
        // The first 20 ms let the step size grow from its smallest.
        size_t skip = stereo ? 882 : 441;
        for (size_t i = skip; i < signal.size(); ++i) {
            double e = double(decoded[i]) - signal[i];
            sum += e * e;
            worst = std::max(worst, std::fabs(e));
        }
        double rms = std::sqrt(sum / double(signal.size() - skip));
        EXPECT_LT(rms, 650.0);
        EXPECT_LT(worst, 2500.0);
    }
}

TEST_F(SampleTest, CodecTablesCarryTheirStateAcrossBlocks) {
    std::vector<int16_t> signal = Signal(4000, 3);
    kit::AdpcmState el, er;
    std::vector<uint8_t> coded = kit::AdpcmEncode(signal, true, &el, &er);
    kit::AdpcmState dl, dr;
    std::vector<uint8_t> whole = Le16(kit::AdpcmDecode(coded, true, &dl, &dr));
    void* state = SmpAdpcmStereoCodec.create(300);
    std::vector<uint8_t> joined;
    for (size_t at = 0; at < coded.size(); at += 300) {
        uint32_t n = uint32_t(std::min<size_t>(300, coded.size() - at)), produced = 0;
        const uint8_t* p = SmpAdpcmStereoCodec.decode(coded.data() + at, state, n, &produced);
        ASSERT_EQ(produced, n * 4);
        joined.insert(joined.end(), p, p + produced);
    }
    EXPECT_EQ(joined, whole);
    // A reset starts again from silence; more input than a block is cut to
    // the block.
    SmpAdpcmStereoCodec.reset(state);
    uint32_t produced = 0;
    const uint8_t* p = SmpAdpcmStereoCodec.decode(coded.data(), state, 1000, &produced);
    EXPECT_EQ(produced, 1200u);
    EXPECT_EQ(std::vector<uint8_t>(p, p + produced), std::vector<uint8_t>(whole.begin(), whole.begin() + 1200));
    EXPECT_EQ(SmpAdpcmStereoCodec.release(state), 1);
    uint8_t raw[3] = {1, 2, 3};
    EXPECT_EQ(SmpPcmCodec.decode(raw, nullptr, 3, &produced), raw);
    EXPECT_EQ(produced, 3u);
}

TEST_F(SampleTest, ReaderIsChosenByTheExtensionAsWritten) {
    std::vector<uint8_t> wav = kit::WavFile(kit::Pcm16({1, 2, 3, 4}, 22050, 1));
    Put("a.wav", wav);
    Put("a.WAV", wav);
    Put("a.snx.wav", wav);
    EXPECT_TRUE(Load("a.wav"));
    EXPECT_FALSE(Load("a.WAV"));
    // The first row whose extension occurs in the name: read as .snx, which
    // a plain file is not.
    EXPECT_FALSE(Load("a.snx.wav"));
    EXPECT_FALSE(Load("missing.wav"));
    EXPECT_EQ(sample_.data, nullptr);
}

TEST_F(SampleTest, WavFilesReadWhole) {
    std::vector<uint8_t> bytes8 = {0, 128, 255, 7, 9, 200};
    kit::PcmSound mono8 = kit::Pcm8(bytes8, 11025, 1);
    kit::PcmSound stereo16 = kit::Pcm16({100, -100, 32767, -32768, 5, 6}, 44100, 2);
    Put("m8.wav", kit::WavFile(mono8));
    Put("s16.wav", kit::WavFile(stereo16));
    Put("fmt18.wav", kit::WavFile(stereo16, {18, 1, ""}));
    Put("fmt17.wav", kit::WavFile(stereo16, {17, 1, ""}));
    ASSERT_TRUE(Load("m8.wav"));
    EXPECT_EQ(sample_.rate, 11025u);
    EXPECT_EQ(sample_.flags, 0);
    EXPECT_EQ(Data(), bytes8);
    for (const char* name : {"s16.wav", "fmt18.wav", "fmt17.wav"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Load(name));
        EXPECT_EQ(sample_.rate, 44100u);
        EXPECT_EQ(sample_.flags, kSmp16Bit | kSmpStereo | kSmpWide);
        EXPECT_EQ(Data(), stereo16.data);
    }
    // A data chunk longer than the file: the sample ends with the last whole
    // frame read.
    std::vector<uint8_t> cut = kit::WavFile(stereo16);
    cut.resize(cut.size() - 3);
    Put("cut.wav", cut);
    ASSERT_TRUE(Load("cut.wav"));
    EXPECT_EQ(Data(), std::vector<uint8_t>(stereo16.data.begin(), stereo16.data.begin() + 8));
    // Refused: not PCM, 24 bits, three channels, shorter than a header, and
    // a chunk other than data after the format.
    kit::PcmSound wide = stereo16;
    wide.bits = 24;
    kit::PcmSound three = mono8;
    three.channels = 3;
    Put("float.wav", kit::WavFile(stereo16, {16, 3, ""}));
    Put("24.wav", kit::WavFile(wide));
    Put("three.wav", kit::WavFile(three));
    Put("short.wav", std::vector<uint8_t>(cut.begin(), cut.begin() + 40));
    Put("list.wav", kit::WavFile(stereo16, {16, 1, "LIST"}));
    for (const char* name : {"float.wav", "24.wav", "three.wav", "short.wav", "list.wav"}) {
        EXPECT_FALSE(Load(name)) << name;
        EXPECT_EQ(sample_.data, nullptr) << name;
    }
}

TEST_F(SampleTest, VocFilesAndTheirBlockType) {
    kit::PcmSound mono16 = kit::Pcm16({1, -1, 300, -300}, 22050, 1);
    Put("ok.voc", kit::VocFile(mono16));
    ASSERT_TRUE(Load("ok.voc"));
    EXPECT_EQ(sample_.rate, 22050u);
    EXPECT_EQ(sample_.flags, kSmp16Bit | kSmpWide);
    EXPECT_EQ(Data(), mono16.data);
    EXPECT_TRUE(test::ReportedErrors().empty());
    // Another block type is reported ("Unsupported sound format."); when the
    // report returns, the header is used as it stands.
    Put("type1.voc", kit::VocFile(mono16, 1));
    ASSERT_TRUE(Load("type1.voc"));
    EXPECT_EQ(test::ReportedErrors(), std::vector<int>{0x3003});
    EXPECT_EQ(Data(), mono16.data);
    // The length counts only data; more than the file holds is cut to it.
    std::vector<uint8_t> cut = kit::VocFile(kit::Pcm8({1, 2, 3, 4, 5, 6}, 8000, 2));
    cut.resize(26 + 16 + 5);
    Put("cut.voc", cut);
    ASSERT_TRUE(Load("cut.voc"));
    EXPECT_EQ(Data(), (std::vector<uint8_t>{1, 2, 3, 4}));
    kit::PcmSound odd = mono16;
    odd.bits = 12;
    Put("odd.voc", kit::VocFile(odd));
    EXPECT_FALSE(Load("odd.voc"));
}

TEST_F(SampleTest, SnxFilesAreGzipStreams) {
    kit::PcmSound stereo8 = kit::Pcm8({10, 20, 30, 40, 50, 60, 70, 80}, 16537, 2);
    Put("loop.snx", kit::SnxFile(stereo8, 2, 6, 4));
    ASSERT_TRUE(Load("loop.snx"));
    EXPECT_EQ(sample_.rate, 16537u);
    EXPECT_EQ(sample_.loopStart, 2);
    EXPECT_EQ(sample_.loopEnd, 6);
    EXPECT_EQ(sample_.blockSize, 4096u);
    EXPECT_EQ(sample_.flags, kSmpStereo | kSmpGzip);
    EXPECT_EQ(Data(), stereo8.data);
    // The header alone: the file stays open at the data, for a stream.
    SndSample header;
    FileHandle f = SMP_Load(&header, "loop.snx", 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(header.data, nullptr);
    EXPECT_EQ(header.length, 8u);
    uint8_t first[3];
    ASSERT_EQ(GzipFileTable.Read(first, 3, 1, f), 1u);
    EXPECT_EQ(std::vector<uint8_t>(first, first + 3), (std::vector<uint8_t>{10, 20, 30}));
    GzipFileTable.Close(f);
}

TEST_F(SampleTest, AGzipFileShorterThanItsHeaderKeepsEveryWholeFrameItHolds) {
    // The header declares 9000 bytes of 8-bit stereo; the file holds 5002,
    // more than one 4 KB piece of the reader: the last, partial piece is
    // kept too, in whole frames.
    for (uint32_t held : {5002u, 5003u, 4096u, 1u}) {
        kit::ByteWriter w;
        w.U32(22050);
        w.U32(9000);
        w.I32(0);
        w.I32(0);
        w.U8(0);
        w.U8(1);
        w.U8(4);
        for (int i = 0; i < 6; ++i) w.U8(0);
        std::vector<uint8_t> data(held);
        for (uint32_t i = 0; i < held; ++i) data[i] = uint8_t(i * 7);
        w.Bytes(data);
        Put("short.snx", kit::Gzip(w.Data()));
        uint32_t whole = held - held % 2;
        SCOPED_TRACE(held);
        if (whole == 0) {
            EXPECT_FALSE(Load("short.snx") && sample_.length > 0);
            continue;
        }
        ASSERT_TRUE(Load("short.snx"));
        EXPECT_EQ(Data(), std::vector<uint8_t>(data.begin(), data.begin() + whole));
    }
}

TEST_F(SampleTest, SnpFilesDecodeToSixteenBitSamples) {
    kit::SnpSound mono{22050, 0x41, 100, 0, 1000, {Signal(1001, 4)}};
    kit::SnpSound stereo{11025, 0x43, 64, 0, 0, {Signal(1000, 5)}};
    Put("mono.snp", kit::SnpFile(mono));
    Put("stereo.trk", kit::SnpFile(stereo));
    ASSERT_TRUE(Load("mono.snp"));
    EXPECT_EQ(sample_.rate, 22050u);
    EXPECT_EQ(sample_.loopEnd, 1000);
    EXPECT_EQ(sample_.flags, 0x41);
    EXPECT_EQ(sample_.blockSize, 100u);
    EXPECT_EQ(Data(), Le16(kit::SnpDecoded(mono)[0]));
    EXPECT_EQ(sample_.length, 1002u * 2);
    ASSERT_TRUE(Load("stereo.trk"));
    EXPECT_EQ(Data(), Le16(kit::SnpDecoded(stereo)[0]));
    // Decoded data is 16-bit whatever the header's bit 0 says.
    kit::SnpSound unmarked = mono;
    unmarked.flags = 0x40;
    Put("unmarked.snp", kit::SnpFile(unmarked));
    ASSERT_TRUE(Load("unmarked.snp"));
    EXPECT_EQ(sample_.flags, 0x41);
    // A short file: what it holds, decoded.
    std::vector<uint8_t> cut = kit::SnpFile(mono);
    cut.resize(32 + 150);
    Put("cut.snp", cut);
    ASSERT_TRUE(Load("cut.snp"));
    EXPECT_EQ(sample_.length, 150u * 4);
    // Parallel channels: a header for a stream, never a whole sample.
    kit::SnpSound three{22050, 0x41, 16, 0, 0, {Signal(100, 6), Signal(100, 7), Signal(100, 8)}};
    Put("three.trk", kit::SnpFile(three));
    SndSample header;
    FileHandle f = SMP_Load(&header, "three.trk", 2);
    EXPECT_NE(f, nullptr);
    EXPECT_EQ(header.channelCount, 3);
    EXPECT_EQ(header.length, 50u);
    EXPECT_FALSE(Load("three.trk"));
    // Refused: a block of 0 bytes, a negative length.
    kit::SnpSound noBlock = mono;
    noBlock.blockBytes = 0;
    Put("noblock.snp", kit::SnpFile(noBlock));
    EXPECT_FALSE(Load("noblock.snp"));
    std::vector<uint8_t> negative = kit::SnpFile(mono);
    negative[7] = 0x80;
    Put("negative.snp", negative);
    EXPECT_FALSE(Load("negative.snp"));
}

TEST_F(SampleTest, EightBitConversionsAndLists) {
    Put("a.wav", kit::WavFile(kit::Pcm8({10, 20, 255, 1, 7}, 22050, 1)));
    Put("b.wav", kit::WavFile(kit::Pcm8({0, 200}, 11025, 1)));
    Put("c.wav", kit::WavFile(kit::Pcm16({1, 2}, 11025, 1)));
    SmpListEntry list[4] = {};
    std::memcpy(list[0].name, "A.WAV", 5);
    list[0].flags = kSmpListHalve;
    std::memcpy(list[1].name, "b.wav", 5);
    list[1].flags = kSmpListStereo;
    std::memcpy(list[2].name, "c.wav", 5);
    list[2].flags = kSmpListHalve | kSmpListStereo;  // 16-bit: neither applies
    SndSample* s = SMP_LoadList(list);
    EXPECT_STREQ(list[0].name, "a.wav");
    EXPECT_EQ(list[0].rate, 11025u);
    EXPECT_EQ(std::vector<uint8_t>(s[0].data, s[0].data + s[0].length), (std::vector<uint8_t>{15, 128}));
    EXPECT_EQ(std::vector<uint8_t>(s[1].data, s[1].data + s[1].length), (std::vector<uint8_t>{0, 255, 200, 55}));
    EXPECT_EQ(s[1].flags & kSmpStereo, kSmpStereo);
    EXPECT_EQ(list[1].rate, 11025u);
    EXPECT_EQ(s[2].length, 4u);
    EXPECT_EQ(s[2].rate, 11025u);
    EXPECT_NE(s[0].flags & kSmpChanged, 0);
    SMP_FreeAll(0, s);
}

// The table-driven decoders against their plain twin, one code at a time:
// random codes from random states (indexes out of range too), through the
// two decoders and the stream codecs, in pieces of random length.
TEST(AdpcmTwin, TheFastDecodersMatchTheStepOfOneCode) {
    std::mt19937 random(2024);
    for (int round = 0; round < 200; ++round) {
        bool stereo = round % 2;
        std::vector<uint8_t> coded(1 + random() % 3000);
        for (uint8_t& b : coded) b = uint8_t(random());
        AdpcmChannel start[2];
        for (AdpcmChannel& c : start) c = {int16_t(random()), int16_t(int(random() % 100) - 5)};
        // The twin.
        AdpcmChannel l = start[0], r = start[1];
        std::vector<int16_t> expected;
        for (uint8_t b : coded) {
            expected.push_back(SMP_AdpcmStep(&l, uint8_t(b >> 4)));
            expected.push_back(SMP_AdpcmStep(stereo ? &r : &l, uint8_t(b & 15)));
        }
        AdpcmChannel fl = start[0], fr = start[1];
        std::vector<int16_t> fast(coded.size() * 2);
        if (stereo) SMP_AdpcmDecodeStereo(coded.data(), uint32_t(coded.size()), fast.data(), &fl, &fr);
        else SMP_AdpcmDecodeMono(coded.data(), uint32_t(coded.size()), fast.data(), &fl);
        ASSERT_EQ(fast, expected) << round;
        EXPECT_EQ(fl.predictor, l.predictor);
        EXPECT_EQ(fl.index, l.index);
        if (stereo) {
            EXPECT_EQ(fr.index, r.index);
        }
        // The codec, fed in pieces, from a fresh state.
        const SampleCodec& codec = stereo ? SmpAdpcmStereoCodec : SmpAdpcmMonoCodec;
        void* state = codec.create(700);
        AdpcmChannel zl{}, zr{};
        std::vector<int16_t> reference;
        for (uint8_t b : coded) {
            reference.push_back(SMP_AdpcmStep(&zl, uint8_t(b >> 4)));
            reference.push_back(SMP_AdpcmStep(stereo ? &zr : &zl, uint8_t(b & 15)));
        }
        std::vector<int16_t> pieces;
        for (size_t at = 0; at < coded.size();) {
            uint32_t n = uint32_t(std::min<size_t>(coded.size() - at, 1 + random() % 700));
            uint32_t produced = 0;
            const uint8_t* out = codec.decode(coded.data() + at, state, n, &produced);
            ASSERT_EQ(produced, n * 4);
            for (uint32_t k = 0; k < produced; k += 2) pieces.push_back(int16_t(uint16_t(out[k] | out[k + 1] << 8)));
            at += n;
        }
        codec.release(state);
        ASSERT_EQ(pieces, reference) << round;
    }
}

}  // namespace
