// The project's video codec and the module loader: the kit's encoder and
// the decoder agree on every frame, the decoder stays inside its frame and
// its buffers whatever it is given, and modules are found built in or
// beside the program, in the loader's order, with its codes.
#include "host/module.h"
#include "media/qvf_codec.h"
#include "media/qvf_format.h"
#include "media/wq6_codec.h"
#include "test_support.h"
#include "tools/kit/demo_intro.h"
#include "tools/kit/wq6_writer.h"

#include <filesystem>
#include <random>
#include <vector>

namespace {

namespace fs = std::filesystem;

uint16_t To555(uint16_t p) {
    return uint16_t(((p >> 1) & 0x7FE0) | (p & 0x1F));
}

// A frame of runs, noise and stretches equal to `previous` (when given).
std::vector<uint16_t> RandomFrame(std::mt19937& rng, int w, int h, const std::vector<uint16_t>* previous) {
    std::vector<uint16_t> f(size_t(w) * size_t(h));
    for (size_t i = 0; i < f.size();) {
        size_t n = std::min<size_t>(f.size() - i, 1 + rng() % (rng() % 4 ? 9 : 300));
        int kind = int(rng() % 3);
        uint16_t v = uint16_t(rng());
        for (size_t k = 0; k < n; ++k, ++i) {
            if (kind == 0) f[i] = v;
            else if (kind == 1 || !previous) f[i] = uint16_t(rng());
            else f[i] = (*previous)[i];
        }
    }
    return f;
}

std::vector<uint16_t> Decode(const std::vector<uint8_t>& frame, int w, int h, int depth,
                             const std::vector<uint16_t>& previous, bool* valid = nullptr) {
    std::vector<uint16_t> out(size_t(w) * size_t(h), 0xDEAD);
    bool ok = WQ6_DecodeInto(frame.data(), frame.size(), w, h, depth, previous.data(), out.data(), w * 2);
    if (valid) *valid = ok;
    return out;
}

TEST(Wq6Codec, EncoderAndDecoderAgreeOnRandomFrames) {
    std::mt19937 rng(7);
    const int sizes[][2] = {{1, 1}, {17, 5}, {64, 48}, {300, 7}, {640, 3}};
    for (const auto& size : sizes) {
        int w = size[0], h = size[1];
        std::vector<uint16_t> previous(size_t(w) * size_t(h), 0);
        for (int i = 0; i < 20; ++i) {
            bool key = i % 5 == 0;
            std::vector<uint16_t> frame = RandomFrame(rng, w, h, key ? nullptr : &previous);
            std::vector<uint8_t> coded = kit::EncodeWq6Frame(frame.data(), key ? nullptr : previous.data(), w, h);
            ASSERT_EQ(Decode(coded, w, h, 16, previous), frame) << w << "x" << h << " frame " << i;
            // At depth 15 the new pixels come 5-5-5 and copies from a
            // 5-5-5 previous frame stay as they were.
            std::vector<uint16_t> previous555(previous.size()), frame555(frame.size());
            for (size_t k = 0; k < frame.size(); ++k) {
                previous555[k] = To555(previous[k]);
                frame555[k] = To555(frame[k]);
            }
            ASSERT_EQ(Decode(coded, w, h, 15, previous555), frame555) << w << "x" << h << " frame " << i;
            previous = frame;
        }
    }
}

TEST(Wq6Codec, LongRunsCrossRowsAndTheLongestCount) {
    const int w = 400, h = 400;  // 160000 pixels: more than the longest run
    std::vector<uint16_t> flat(size_t(w) * h, 0x1234), blank(flat.size(), 0);
    std::vector<uint8_t> coded = kit::EncodeWq6Frame(flat.data(), nullptr, w, h);
    EXPECT_LT(coded.size(), 64u);
    EXPECT_EQ(Decode(coded, w, h, 16, blank), flat);
    // A delta frame equal to its reference is copies only.
    std::vector<uint8_t> same = kit::EncodeWq6Frame(flat.data(), flat.data(), w, h);
    EXPECT_LT(same.size(), 32u);
    EXPECT_EQ(Decode(same, w, h, 16, flat), flat);
}

TEST(Wq6Codec, RowsOfAPitchLeaveThePaddingAlone) {
    const int w = 13, h = 4, pitch = 20;  // pixels per row in memory
    std::mt19937 rng(3);
    std::vector<uint16_t> frame = RandomFrame(rng, w, h, nullptr);
    std::vector<uint8_t> coded = kit::EncodeWq6Frame(frame.data(), nullptr, w, h);
    std::vector<uint16_t> previous(size_t(pitch) * h, 0), out(size_t(pitch) * h, 0xBEEF);
    ASSERT_TRUE(WQ6_DecodeInto(coded.data(), coded.size(), w, h, 16, previous.data(), out.data(), pitch * 2));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < pitch; ++x)
            EXPECT_EQ(out[size_t(y) * pitch + x], x < w ? frame[size_t(y) * w + x] : 0xBEEF) << x << "," << y;
}

TEST(Wq6Codec, CutAndDamagedFramesStayInsideTheirBuffers) {
    const int w = 24, h = 10;
    std::mt19937 rng(11);
    std::vector<uint16_t> previous = RandomFrame(rng, w, h, nullptr);
    std::vector<uint16_t> frame = RandomFrame(rng, w, h, &previous);
    std::vector<uint8_t> coded = kit::EncodeWq6Frame(frame.data(), previous.data(), w, h);
    // Every cut: the pixels the frame still holds come decoded, the rest
    // stay the previous frame's (a cut inside the header repeats it whole).
    for (size_t cut = 0; cut < coded.size(); ++cut) {
        std::vector<uint8_t> part(coded.begin(), coded.begin() + long(cut));
        bool valid = false;
        std::vector<uint16_t> out = Decode(part, w, h, 16, previous, &valid);
        EXPECT_EQ(valid, cut >= size_t(kWQ6HeaderSize));
        size_t agree = 0;
        while (agree < out.size() && out[agree] == frame[agree]) ++agree;
        for (size_t i = agree; i < out.size(); ++i)
            ASSERT_TRUE(out[i] == previous[i] || out[i] == frame[i]) << "cut " << cut << " pixel " << i;
    }
    // Random bytes after a good header: nothing written past the frame
    // (nor read past the bytes, which the sanitizers watch).
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> junk(coded.begin(), coded.begin() + kWQ6HeaderSize);
        for (int i = 0; i < int(rng() % 300); ++i) junk.push_back(uint8_t(rng()));
        std::vector<uint16_t> out(size_t(w) * h + 32, 0xDEAD);
        WQ6_DecodeInto(junk.data(), junk.size(), w, h, 16, previous.data(), out.data(), w * 2);
        for (size_t i = size_t(w) * h; i < out.size(); ++i) ASSERT_EQ(out[i], 0xDEAD);
    }
    // A frame of another size or without the magic repeats the previous one.
    std::vector<uint8_t> other = kit::EncodeWq6Frame(frame.data(), nullptr, h, w);
    bool valid = true;
    EXPECT_EQ(Decode(other, w, h, 16, previous, &valid), previous);
    EXPECT_FALSE(valid);
    std::vector<uint8_t> bad = coded;
    bad[0] = 'X';
    EXPECT_EQ(Decode(bad, w, h, 16, previous), previous);
    // The size field beyond the bytes given: the bytes given bound it.
    std::vector<uint8_t> lying = coded;
    lying[4] = lying[5] = lying[6] = lying[7] = 0xFF;
    std::vector<uint8_t> shortLying(lying.begin(), lying.begin() + long(lying.size() / 2));
    Decode(shortLying, w, h, 16, previous);
}

TEST(Wq6Codec, EntryPointsWithoutASizeTrustOnlyWhatAFrameCanHold) {
    std::vector<uint16_t> frame = kit::IntroFrame({64, 48, 2, 0}, 1);
    std::vector<uint8_t> coded = kit::EncodeWq6Frame(frame.data(), nullptr, 64, 48);
    std::vector<uint8_t> header(kQVFHeaderSize, 0);
    EXPECT_EQ(WQ6_Init(8, 48, 64, header.data()), 0u);
    ASSERT_NE(WQ6_Init(16, 48, 64, header.data()), 0u);
    std::vector<uint16_t> previous(frame.size(), 0), out(frame.size(), 1);
    WQ6_DecodeFrame(coded.data(), previous.data(), out.data());
    EXPECT_EQ(out, frame);
    WQ6_Cleanup();
    std::vector<uint16_t> untouched(frame.size(), 7);
    WQ6_DecodeFrame(coded.data(), previous.data(), untouched.data());  // no stream: nothing happens
    EXPECT_EQ(untouched, std::vector<uint16_t>(frame.size(), 7));
}

// --- the loader ------------------------------------------------------------------

int g_inits = 0;
uintptr_t g_initAnswer = 1;
uintptr_t CountingInit(int, int, int, const uint8_t*) {
    ++g_inits;
    return g_initAnswer;
}
void NoDecode(const uint8_t*, const uint16_t*, uint16_t*) {}
void NoCleanup() {}

class CodecLoaderTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        QVF_UnloadCodec();
        Forget();
        g_inits = 0;
        g_initAnswer = 1;
    }
    void TearDown() override {
        QVF_UnloadCodec();
        Forget();
        HeadlessTest::TearDown();
    }
    static void Forget() {
        for (const char* name : {"WQ6_512x16.DLL", "WQ6_640x16.DLL", "WQ6_512.DLL", "WQ6_640.DLL", "WQ6_800x16.DLL"})
            host::UnregisterBuiltinModule(name);
    }
    static void Register(const char* name, bool withCleanup = true) {
        const host::ModuleSymbol symbols[] = {
            {"QVFPI_Init", reinterpret_cast<void*>(&CountingInit)},
            {"QVFPI_DecodeFrame", reinterpret_cast<void*>(&NoDecode)},
            {"QVFPI_Cleanup", reinterpret_cast<void*>(&NoCleanup)},
        };
        host::RegisterBuiltinModule(name, symbols, withCleanup ? 3 : 2);
    }
    static QVFHeader Header(int width, uint8_t spare = 0) {
        uint8_t raw[kQVFHeaderSize] = {'Q', 'V', 'F', '6'};
        raw[7] = 16;
        raw[8] = uint8_t(width);
        raw[9] = uint8_t(width >> 8);
        raw[10] = 224;
        raw[11] = 1;
        raw[28] = 1;
        raw[40] = spare;
        QVFHeader h;
        QVF_ParseHeader(raw, &h);
        return h;
    }
};

TEST_F(CodecLoaderTest, NamesAreTriedInOrderAndCodesTellWhatFailed) {
    QVFHeader h640 = Header(640);
    EXPECT_EQ(QVF_LoadCodec(&h640, 16, true), -19);  // nothing anywhere
    QVFHeader h320 = Header(320);
    EXPECT_EQ(QVF_LoadCodec(&h320, 16, true), -14);
    Register("WQ6_640.DLL");  // the second name, found when the first is missing
    EXPECT_EQ(QVF_LoadCodec(&h640, 16, true), 0);
    EXPECT_EQ(g_inits, 1);
    EXPECT_EQ(QVF_UnloadCodec(), 0);
    EXPECT_EQ(QVF_UnloadCodec(), -22);
    Register("wq6_640x16.dll", false);  // the first name, any letter case; one entry missing
    EXPECT_EQ(QVF_LoadCodec(&h640, 16, true), -21);
    EXPECT_EQ(QVF_UnloadCodec(), -22);
    Register("WQ6_640x16.DLL");
    g_initAnswer = 0;
    EXPECT_EQ(QVF_LoadCodec(&h640, 16, true), -46);
    g_initAnswer = 1;
    EXPECT_EQ(QVF_LoadCodec(&h640, 16, true), 0);
}

TEST_F(CodecLoaderTest, AStreamAgainKeepsTheModuleAndAnotherStartsItsStateAgain) {
    Register("WQ6_640x16.DLL");
    QVFHeader first = Header(640, 1), second = Header(640, 2);
    ASSERT_EQ(QVF_LoadCodec(&first, 16, true), 0);
    EXPECT_EQ(QVF_LoadCodec(&first, 16, true), -20);
    EXPECT_EQ(g_inits, 1);
    EXPECT_EQ(QVF_LoadCodec(&second, 16, true), 0);  // another stream: initialised for it
    EXPECT_EQ(g_inits, 2);
    EXPECT_EQ(QVF_LoadCodec(&second, 15, true), 0);  // another depth: loaded again
    EXPECT_EQ(g_inits, 3);
}

TEST_F(CodecLoaderTest, TheSharedObjectBesideTheProgramDecodes) {
    fs::path built = fs::path(MORVANEL_GAME_SOFT).parent_path() / "WQ6_640x16.so";
    ASSERT_TRUE(fs::exists(built));
    QVFHeader h = Header(640);
    EXPECT_EQ(QVF_LoadCodec(&h, 16, true), -19);
    fs::copy_file(built, dir_ / "wq6_640X16.so");  // found whatever its letter case
    ASSERT_EQ(QVF_LoadCodec(&h, 16, true), 0);
    std::vector<uint16_t> frame = kit::IntroFrame({640, 480, 1, 0}, 0);
    std::vector<uint8_t> coded = kit::EncodeWq6Frame(frame.data(), nullptr, 640, 480);
    std::vector<uint16_t> previous(frame.size(), 0), out(frame.size(), 1);
    ASSERT_TRUE(QVF_DecodeVideoFrame(coded.data(), uint32_t(coded.size()), previous.data(), out.data(), 1280));
    EXPECT_EQ(out, frame);
    EXPECT_EQ(QVF_UnloadCodec(), 0);
    EXPECT_FALSE(QVF_DecodeVideoFrame(coded.data(), uint32_t(coded.size()), previous.data(), out.data(), 1280));
}

}  // namespace
