// The stream reader and the .qvs walk: the reader thread and the block
// walker over the kit's fixture family (good and malformed streams), under
// 200 scheduler seeds each, against a plain in-memory walk; the reader's
// own edges; and the same on real threads.
#include "host/headless/scheduler.h"
#include "media/qvf_format.h"
#include "media/qvf_stream.h"
#include "test_support.h"
#include "tools/kit/qvs_writer.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <map>

namespace {

struct WalkedChunk {
    uint16_t tag;
    int64_t size;
    std::vector<uint8_t> data;  // what was delivered of the payload
    bool operator==(const WalkedChunk&) const = default;
};

struct Walk {
    int open = 0;
    std::vector<WalkedChunk> chunks;
    int end = 0;
    bool operator==(const Walk&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Walk& w) {
    o << "open " << w.open << ", " << w.chunks.size() << " chunks, end " << w.end;
    return o;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | (at + size_t(i) < b.size() ? b[at + size_t(i)] : 0);
    return v;
}

// The format's walk over bytes in memory: what the reader hands out is the
// source, the header's total ends the stream.
Walk ReferenceWalk(const std::vector<uint8_t>& source) {
    Walk w;
    if (source.size() < 64) {
        w.open = -4;
        return w;
    }
    std::string magic(source.begin(), source.begin() + 4);
    int16_t width = int16_t(Le32(source, 8) & 0xFFFF), height = int16_t(Le32(source, 10) & 0xFFFF);
    int bits = source[7];
    int64_t total = Le32(source, 12);
    if (magic != "QVF6" && magic != "UBB2") w.open = -4;
    else if (Le32(source, 28) == 0) w.open = -2;
    else if (magic == "UBB2" && width != 320 && width != 500 && width != 640) w.open = -14;
    else if (magic == "UBB2" && bits != 8) w.open = -13;
    else if (magic == "QVF6" && ((width != 512 && width != 640) || height < 1 || height > 480)) w.open = -14;
    else if (magic == "QVF6" && bits != 15 && bits != 16) w.open = -13;
    if (w.open) return w;
    size_t consumed = 64;
    int64_t position = 64;
    auto take = [&](size_t n) {
        size_t got = std::min(n, source.size() - consumed);
        std::vector<uint8_t> out(source.begin() + long(consumed), source.begin() + long(consumed + got));
        consumed += got;
        return out;
    };
    for (;;) {
        std::vector<uint8_t> b = take(4);
        position += 4;
        int64_t left = b.size() == 4 ? int64_t(Le32(b, 0)) - 4 : 0;
        do {
            std::vector<uint8_t> h = take(8);
            position += 8;
            // A header not whole before the end of the stream ends the walk.
            if (h.size() < 8 || position >= total) {
                w.end = -11;
                return w;
            }
            uint16_t tag = uint16_t(h[4] | h[5] << 8);
            int64_t size = int64_t(Le32(h, 0)) - 8;
            left -= 8;
            bool known = tag == 0x4141 || tag == 0x4242 || tag == 0x5649 || tag == 0x5849;
            if (!known || size < 0 || size > (4 << 20) || size > total - position) {
                w.end = -3;
                return w;
            }
            int64_t padded = (size + 3) & ~3;
            std::vector<uint8_t> p = take(size_t(padded));
            position += padded;
            left -= padded;
            bool cut = int64_t(p.size()) < size;
            if (int64_t(p.size()) > size) p.resize(size_t(size));
            w.chunks.push_back({tag, size, p});
            // A payload the end of the source cuts short ends the walk with
            // it, and is not a chunk of the stream.
            if (cut) {
                w.end = -12;
                return w;
            }
            if (consumed >= source.size() || position >= total) {
                w.end = -11;
                return w;
            }
        } while (left > 0);
    }
}

// The same walk through the reader thread and the format's functions.
Walk ThreadedWalk(QVFStreamState* s, int openResult) {
    Walk w;
    w.open = openResult;
    if (openResult) return w;
    std::vector<uint8_t> buffer;
    for (;;) {
        QVF_ReadBlockSize(s);
        do {
            if (int header = QVF_ReadChunkHeader(s)) {
                w.end = header;
                return w;
            }
            int64_t size = s->chunk.size;
            buffer.assign(QVF_PaddedSize(size), 0);
            int r = QVF_ReadPayload(s, buffer.data(), uint32_t(buffer.size()));
            buffer.resize(size_t(s->chunk.delivered));
            w.chunks.push_back({s->chunk.tag, size, buffer});
            if (r != 0) {
                w.end = r;
                return w;
            }
        } while (!QVF_BlockUsedUp(s));
    }
}

void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::vector<std::string> g_deadlocks;
void RecordDeadlock(const std::string& report) {
    g_deadlocks.push_back(report);
}

// --- the fixture family under the scheduler ----------------------------------

class QvsFamilyTest : public test::HeadlessTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(QvsFamilyTest, ReaderAndParserWalkAsTheFormatSaysUnderEverySeed) {
    std::vector<kit::QvsFixture> family = kit::QvsFixtureFamily();
    ASSERT_LT(GetParam(), family.size());
    const kit::QvsFixture& f = family[GetParam()];
    SCOPED_TRACE(f.name);
    WriteBytes(dir_ / "movie.qvs", f.bytes);
    // The same stream inside a larger file, 1000 bytes in.
    std::vector<uint8_t> outer(1000 + f.bytes.size() + 500, 0x3C);
    std::memcpy(outer.data() + 1000, f.bytes.data(), f.bytes.size());
    for (size_t i = 0; i < 500; ++i) outer[1000 + f.bytes.size() + i] = uint8_t(i * 13);
    WriteBytes(dir_ / "outer.res", outer);
    Walk plain = ReferenceWalk(f.bytes);
    int64_t total = f.bytes.size() >= 16 ? int64_t(Le32(f.bytes, 12)) : 0;
    size_t insideSize = size_t(std::min<int64_t>(total, int64_t(outer.size()) - 1000));
    std::vector<uint8_t> inside(insideSize);
    std::memcpy(inside.data(), outer.data() + 1000, insideSize);
    Walk resource = inside.size() >= 64 ? ReferenceWalk(inside) : Walk{-4, {}, 0};

    g_deadlocks.clear();
    host::headless::SetDeadlockHandler(RecordDeadlock);
    static const uint32_t kEntrySizes[] = {64, 500, 512, 4096};
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        host::headless::SetSchedulerSeed(seed);
        // Small entries wrap the ring often; a long stream keeps to about
        // 100 entries so that 200 runs stay quick.
        uint32_t entrySize = std::max<uint32_t>(kEntrySizes[seed % 4], uint32_t(f.bytes.size() / 100));
        uint32_t entries = 2 + uint32_t(seed % 5);
        QVFStreamState s;
        QVF_InitStreamState(&s);
        bool inResource = seed % 5 == 0;
        host::File* file = nullptr;
        int r;
        if (inResource) {
            file = host::FileOpen("outer.res", "rb");
            ASSERT_NE(file, nullptr);
            host::FileSeek(file, 1000, SEEK_SET);
            r = QVF_OpenStreamInResource(&s, file, entries, entrySize, int(seed % 5) - 2);
        } else {
            r = QVF_OpenStream(&s, "movie.qvs", entries, entrySize, 0);
        }
        if (r == 0 && seed % 7 == 0) QVFStream_SetThrottle(&s.reader, 1);
        Walk got = ThreadedWalk(&s, r);
        QVF_CloseStream(&s);
        if (file) host::FileClose(file);
        ASSERT_EQ(got, inResource ? resource : plain) << "seed " << seed;
        ASSERT_EQ(host::LiveThreadCount(), 0) << "seed " << seed;
    }
    EXPECT_TRUE(g_deadlocks.empty()) << g_deadlocks.front();
}

INSTANTIATE_TEST_SUITE_P(Family, QvsFamilyTest, ::testing::Range<size_t>(0, kit::QvsFixtureFamily().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             std::string name = kit::QvsFixtureFamily()[info.param].name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

std::vector<uint8_t> Fixture(const std::string& name) {
    for (const kit::QvsFixture& f : kit::QvsFixtureFamily())
        if (f.name == name) return f.bytes;
    return {};
}

// The family's expectations that a plain walk cannot tell by itself.
TEST(QvsFamily, TheMalformedStreamsFailWhereTheyShould) {
    std::map<std::string, Walk> walks;
    for (const kit::QvsFixture& f : kit::QvsFixtureFamily()) walks[f.name] = ReferenceWalk(f.bytes);
    EXPECT_EQ(walks["bad-magic"].open, -4);
    EXPECT_EQ(walks["short-header"].open, -4);
    EXPECT_EQ(walks["word-28-zero"].open, -2);
    EXPECT_EQ(walks["width-320-version-6"].open, -14);
    EXPECT_EQ(walks["height-0"].open, -14);
    EXPECT_EQ(walks["height-600"].open, -14);
    EXPECT_EQ(walks["height-negative"].open, -14);
    EXPECT_EQ(walks["bits-8-version-6"].open, -13);
    EXPECT_EQ(walks["bad-tag"].end, -3);
    EXPECT_EQ(walks["bad-tag"].chunks.size(), 4u);
    EXPECT_EQ(walks["huge-chunk-size"].end, -3);
    EXPECT_EQ(walks["chunk-size-under-header"].end, -3);
    const Walk& mono = walks["good-mono"];
    EXPECT_EQ(mono.end, -11);
    int frames = 0, sound = 0;
    for (const WalkedChunk& c : mono.chunks) {
        frames += c.tag == kQVFTagIV || c.tag == kQVFTagIX;
        sound += c.tag == kQVFTagAA;
    }
    EXPECT_EQ(frames, 48);
    EXPECT_EQ(sound, 2);
    EXPECT_EQ(mono.chunks[0].tag, kQVFTagAA);  // sound first
    EXPECT_EQ(mono.chunks[0].size, 32 + 23520);
    EXPECT_LT(walks["truncated"].chunks.size(), mono.chunks.size());
    // The kit cut the file at two thirds of good-mono, which falls inside a
    // payload there: the walk ends with that chunk cut short.
    const std::vector<uint8_t>& cut = Fixture("truncated");
    bool inPayload = false;
    for (const kit::QvsChunkPlace& c : kit::QvsChunkPlaces(Fixture("good-mono")))
        inPayload |= c.header + 8 < cut.size() && cut.size() < c.header + c.size;
    ASSERT_TRUE(inPayload);
    EXPECT_EQ(walks["truncated"].end, -12);
    EXPECT_EQ(walks["good-trailing-bytes"].chunks, walks["good-odd-payloads"].chunks);
    EXPECT_EQ(walks["good-version-5"].open, 0);
    // The total falls at the end of the second block's first chunk header,
    // and inside the header of the last of nine chunks: neither chunk is in
    // the stream.
    EXPECT_EQ(walks["total-before-file-end"].end, -11);
    EXPECT_EQ(walks["total-before-file-end"].chunks.size(), 1u);
    const std::vector<WalkedChunk>& odd = walks["good-odd-payloads"].chunks;
    ASSERT_EQ(odd.size(), 9u);
    EXPECT_EQ(walks["header-across-total"].end, -11);
    EXPECT_EQ(walks["header-across-total"].chunks, std::vector<WalkedChunk>(odd.begin(), odd.begin() + 8));
}

// --- the reader's own edges -----------------------------------------------

class QvfReaderTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::headless::SetSchedulerSeed(7);
    }
    std::vector<uint8_t> Bytes(size_t n) {
        std::vector<uint8_t> b(n);
        for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + (i >> 8));
        return b;
    }
};

TEST_F(QvfReaderTest, OpenRefusesMissingFilesAndOffsetsOutsideThem) {
    WriteBytes(dir_ / "s.bin", Bytes(100));
    QVFStream r;
    QVFStream_Construct(&r);
    EXPECT_EQ(QVFStream_Open(&r, "missing.bin", 4, 64, 0), -7);
    EXPECT_EQ(QVFStream_Open(&r, "s.bin", 4, 64, 100), -34);
    EXPECT_EQ(QVFStream_Open(&r, "s.bin", 4, 64, -1), -34);
    EXPECT_EQ(QVFStream_Open(&r, "s.bin", 0, 64, 0), -5);
    EXPECT_EQ(QVFStream_OpenInResource(&r, nullptr, 10, 4, 64), -7);
    // From offset 60 the source is the last 40 bytes.
    ASSERT_EQ(QVFStream_Open(&r, "s.bin", 4, 16, 60), 0);
    std::vector<uint8_t> out(40);
    EXPECT_EQ(QVFStream_Read(&r, out.data(), 40), -11);
    std::vector<uint8_t> all = Bytes(100);
    EXPECT_EQ(out, std::vector<uint8_t>(all.begin() + 60, all.end()));
    EXPECT_EQ(QVF_SetThreadPriority(&r, 3), -28);
    EXPECT_EQ(QVF_SetThreadPriority(&r, -2), 0);
    QVFStream_Destruct(&r);
}

TEST_F(QvfReaderTest, TheSourceEndsAfterItsLastEntryFullOrShort) {
    for (size_t size : {size_t(256), size_t(250)}) {
        WriteBytes(dir_ / "s.bin", Bytes(size));
        QVFStream r;
        QVFStream_Construct(&r);
        ASSERT_EQ(QVFStream_Open(&r, "s.bin", 4, 64, 0), 0);
        std::vector<uint8_t> out(size);
        EXPECT_EQ(QVFStream_Read(&r, out.data(), 100), 0);
        EXPECT_FALSE(QVFStream_AtEnd(&r));
        // Exactly the last bytes: -11 with the bytes delivered.
        EXPECT_EQ(QVFStream_Read(&r, out.data() + 100, uint32_t(size - 100)), -11);
        EXPECT_TRUE(QVFStream_AtEnd(&r));
        EXPECT_EQ(out, Bytes(size));
        while (!r.done.load()) host::Sleep(1);
        EXPECT_EQ(r.readerPosition, 256);  // four entries of 64 were read
        EXPECT_EQ(r.entries[3].lastPosition, int64_t(size) - 1);
        EXPECT_EQ(QVFStream_Read(&r, out.data(), 1), -11);
        QVFStream_Close(&r);
    }
}

TEST_F(QvfReaderTest, AShortReadEndsTheSourceInsteadOfStallingTheConsumer) {
    WriteBytes(dir_ / "s.bin", Bytes(300));
    host::File* f = host::FileOpen("s.bin", "rb");
    host::FileSeek(f, 100, SEEK_SET);
    QVFStream r;
    QVFStream_Construct(&r);
    ASSERT_EQ(QVFStream_OpenInResource(&r, f, 5000, 4, 64), 0);  // claims more than the file has
    std::vector<uint8_t> out(1000, 0);
    EXPECT_EQ(QVFStream_Read(&r, out.data(), 1000), -11);
    EXPECT_EQ(r.consumerPosition, 200);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 200, Bytes(300).begin() + 100));
    QVFStream_Close(&r);
    host::FileClose(f);
}

TEST_F(QvfReaderTest, CloseEndsAReaderBlockedOnAFullRingOrSuspended) {
    WriteBytes(dir_ / "s.bin", Bytes(5000));
    for (int suspended = 0; suspended < 2; ++suspended) {
        QVFStream r;
        QVFStream_Construct(&r);
        ASSERT_EQ(QVFStream_Open(&r, "s.bin", 2, 64, 0), 0);
        uint8_t b[10];
        EXPECT_EQ(QVFStream_Read(&r, b, 10), 0);
        host::Sleep(5);  // the reader fills both entries and waits for an empty one
        EXPECT_FALSE(r.done.load());
        if (suspended) {
            EXPECT_EQ(QVF_SuspendThread(&r), 0u);
            EXPECT_EQ(QVF_SuspendThread(&r), 1u);
        }
        EXPECT_EQ(QVFStream_Close(&r), 0);
        EXPECT_EQ(host::LiveThreadCount(), 0);
        EXPECT_EQ(r.entries, nullptr);
    }
}

TEST_F(QvfReaderTest, AnAbortedReadAnswersMinus16AndRestartReadsFromTheOffset) {
    WriteBytes(dir_ / "s.bin", Bytes(1000));
    QVFStream r;
    QVFStream_Construct(&r);
    ASSERT_EQ(QVFStream_Open(&r, "s.bin", 2, 64, 0), 0);
    QVF_SuspendThread(&r);
    struct Arg {
        QVFStream* r;
        int result = 1;
        std::vector<uint8_t> out = std::vector<uint8_t>(500);
    } arg{&r};
    host::Thread* t = host::CreateThread(
        [](void* p) {
            auto* a = static_cast<Arg*>(p);
            a->result = QVFStream_Read(a->r, a->out.data(), 500);
        },
        &arg, 0, "consumer");
    host::Sleep(10);
    EXPECT_EQ(arg.result, 1);  // still waiting
    host::SetEvent(r.abort);
    while (!host::ThreadHasEnded(t)) host::Sleep(1);
    host::CloseThread(t);
    EXPECT_EQ(arg.result, -16);
    QVF_ResumeThread(&r);
    ASSERT_EQ(QVFStream_Restart(&r, 700), 0);
    std::vector<uint8_t> out(300);
    EXPECT_EQ(QVFStream_Read(&r, out.data(), 300), -11);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), Bytes(1000).begin() + 700));
    EXPECT_EQ(QVFStream_Restart(&r, 1000), -34);
    QVFStream_Close(&r);
}

int g_created = 0;
host::Thread* CountingCreate(QVFThreadRoutine routine, size_t stack, void* argument) {
    ++g_created;
    return host::CreateThread(routine, argument, stack, "counted");
}
host::Thread* FailingCreate(QVFThreadRoutine, size_t, void*) {
    return nullptr;
}

TEST_F(QvfReaderTest, ThreadsStartThroughTheReplaceableHooks) {
    WriteBytes(dir_ / "s.bin", Bytes(100));
    QVFCreateThreadFn hook = CountingCreate;
    QVF_SetThreadHooks(&hook, nullptr, nullptr);
    EXPECT_NE(hook, CountingCreate);  // the previous hook came back
    QVFStream r;
    QVFStream_Construct(&r);
    ASSERT_EQ(QVFStream_Open(&r, "s.bin", 2, 64, 0), 0);
    EXPECT_EQ(g_created, 1);
    QVFStream_Close(&r);
    QVFCreateThreadFn failing = FailingCreate;
    QVF_SetThreadHooks(&failing, nullptr, nullptr);
    EXPECT_EQ(QVFStream_Open(&r, "s.bin", 2, 64, 0), -17);
    QVF_SetThreadHooks(&hook, nullptr, nullptr);  // back to the default
    EXPECT_EQ(QVFStream_Open(&r, "s.bin", 2, 64, 0), 0);
    QVFStream_Close(&r);
}

// --- on real threads --------------------------------------------------------

class SdlThreadReaderTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ASSERT_TRUE(host::SetThreadModel(host::ThreadModel::Real));
    }
    // A real reader sets its done flag just before it leaves: wait for the
    // last ones to be gone.
    static int ThreadsLeft() {
        for (int i = 0; i < 1000 && host::LiveThreadCount() > 0; ++i) host::Sleep(1);
        return host::LiveThreadCount();
    }
};

TEST_F(SdlThreadReaderTest, TheFamilyWalksTheSameOnRealThreads) {
    for (const kit::QvsFixture& f : kit::QvsFixtureFamily()) {
        WriteBytes(dir_ / "movie.qvs", f.bytes);
        Walk expected = ReferenceWalk(f.bytes);
        for (uint32_t entrySize : {64u, 512u, 8192u}) {
            QVFStreamState s;
            QVF_InitStreamState(&s);
            int r = QVF_OpenStream(&s, "movie.qvs", 3, entrySize, 0);
            Walk got = ThreadedWalk(&s, r);
            QVF_CloseStream(&s);
            EXPECT_EQ(got, expected) << f.name << " entries of " << entrySize;
        }
    }
    EXPECT_EQ(ThreadsLeft(), 0);
}

TEST_F(SdlThreadReaderTest, CloseWhileTheReaderIsBlockedOrSuspended) {
    std::vector<uint8_t> bytes(20000, 9);
    WriteBytes(dir_ / "s.bin", bytes);
    for (int round = 0; round < 20; ++round) {
        QVFStream r;
        QVFStream_Construct(&r);
        ASSERT_EQ(QVFStream_Open(&r, "s.bin", 2, 128, 0), 0);
        uint8_t b[300];
        EXPECT_EQ(QVFStream_Read(&r, b, 300), 0);
        if (round % 2) QVF_SuspendThread(&r);
        EXPECT_EQ(QVFStream_Close(&r), 0);
    }
    EXPECT_EQ(ThreadsLeft(), 0);
}

}  // namespace
