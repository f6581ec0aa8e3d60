// The player's rings, streaming sound buffer, frame surfaces, clock and
// pixel formats.  Producer and consumer runs go under 200 scheduler seeds
// with a sound device whose play cursor moves with the virtual clock.
#include "host/headless/scheduler.h"
#include "media/apc.h"
#include "media/ddm.h"
#include "media/pixfmt.h"
#include "media/qvf_buffers.h"
#include "media/qvf_clock.h"
#include "media/qvf_sound.h"
#include "host/headless/headless_sound.h"
#include "host/sound.h"
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<std::string> g_deadlocks;
void RecordDeadlock(const std::string& report) {
    g_deadlocks.push_back(report);
}

// --- a sound device on the virtual clock -------------------------------------

struct FakeDevice {
    uint32_t level = 0;
    int levelCalls = 0;
    bool released = false;
};

struct FakeBuffer {
    std::vector<uint8_t> bytes;
    uint32_t bytesPerSecond = 0;
    bool playing = false;
    uint64_t playStartUs = 0;
    uint64_t playedAtStart = 0;  // bytes played before this run of playing
    uint64_t played = 0;         // bytes the cursor has passed
    std::vector<QVFSoundNotify> notes;
    std::vector<uint8_t> captured;
    int locks = 0;
};

FakeDevice g_device;
FakeBuffer* g_buffer = nullptr;

uint64_t PlayedBy(const FakeBuffer& b, uint64_t nowUs) {
    if (!b.playing) return b.played;
    return b.playedAtStart + (nowUs - b.playStartUs) * b.bytesPerSecond / 1000000;
}

void AdvanceBuffer(void*, uint64_t nowUs) {
    FakeBuffer* b = g_buffer;
    if (!b || !b->playing) return;
    uint64_t target = PlayedBy(*b, nowUs);
    for (; b->played < target; ++b->played) {
        uint32_t at = uint32_t(b->played % b->bytes.size());
        b->captured.push_back(b->bytes[at]);
        for (const QVFSoundNotify& n : b->notes)
            if (n.offset == at) host::SetEvent(n.event);
    }
}

uint64_t NextCrossing(void*, uint64_t nowUs) {
    FakeBuffer* b = g_buffer;
    if (!b || !b->playing || b->notes.empty()) return UINT64_MAX;
    uint64_t size = b->bytes.size(), best = UINT64_MAX;
    for (const QVFSoundNotify& n : b->notes) {
        uint64_t lap = b->played / size * size;
        uint64_t index = lap + n.offset;
        if (index < b->played) index += size;
        // The cursor passes byte `index` once played > index.
        uint64_t need = index + 1 - b->playedAtStart;
        uint64_t t = b->playStartUs + (need * 1000000 + b->bytesPerSecond - 1) / b->bytesPerSecond;
        best = std::min(best, std::max(t, nowUs + 1));
    }
    return best;
}

const QVFSoundDriver kFakeDriver = {
    [](void** device) {
        *device = &g_device;
        return 0;
    },
    [](void* device) {
        static_cast<FakeDevice*>(device)->released = true;
        return 0;
    },
    [](void*) { return 0; },
    [](void* device, host::HWND, uint32_t level) {
        static_cast<FakeDevice*>(device)->level = level;
        ++static_cast<FakeDevice*>(device)->levelCalls;
        return 0;
    },
    [](void*, uint32_t flags, uint32_t bytes, const QVFWaveFormat* format, void** buffer) {
        if (flags != kQVFSoundBufferFlags || !bytes) return -1;
        g_buffer = new FakeBuffer;
        g_buffer->bytes.assign(bytes, 0xEE);
        g_buffer->bytesPerSecond = format->avgBytesPerSec;
        *buffer = g_buffer;
        return 0;
    },
    [](void* buffer, uint32_t count, const QVFSoundNotify* positions) {
        static_cast<FakeBuffer*>(buffer)->notes.assign(positions, positions + count);
        return 0;
    },
    [](void* buffer, uint32_t) {
        auto* b = static_cast<FakeBuffer*>(buffer);
        if (!b->playing) {
            b->playing = true;
            b->playStartUs = host::headless::ClockMicroseconds();
            b->playedAtStart = b->played;
        }
        return 0;
    },
    [](void* buffer) {
        auto* b = static_cast<FakeBuffer*>(buffer);
        b->playing = false;
        return 0;
    },
    [](void* buffer, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
       uint32_t* secondBytes) {
        auto* b = static_cast<FakeBuffer*>(buffer);
        if (offset + bytes > b->bytes.size()) return -1;
        ++b->locks;
        *first = b->bytes.data() + offset;
        *firstBytes = bytes;
        *second = nullptr;
        *secondBytes = 0;
        return 0;
    },
    [](void*, void*, uint32_t, void*, uint32_t) { return 0; },
    [](void* buffer, uint32_t* play, uint32_t* write) {
        auto* b = static_cast<FakeBuffer*>(buffer);
        *play = uint32_t(b->played % b->bytes.size());
        *write = *play;
        return 0;
    },
    [](void* buffer) {
        delete static_cast<FakeBuffer*>(buffer);
        g_buffer = nullptr;
        return 0;
    },
};

class QvfRingsTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::headless::SetAutoStep(0, 0);
        hostDriver_ = g_QVFSoundDriver;
        g_QVFSoundDriver = &kFakeDriver;
        g_device = FakeDevice{};
        host::headless::AddTimeSource({this, NextCrossing, AdvanceBuffer});
        g_deadlocks.clear();
        host::headless::SetDeadlockHandler(RecordDeadlock);
    }
    void TearDown() override {
        g_QVFSoundDriver = hostDriver_;
        HeadlessTest::TearDown();
    }
    const QVFSoundDriver* hostDriver_ = nullptr;
};

// --- element edges -------------------------------------------------------------

TEST_F(QvfRingsTest, ElementsGrowByFoursAndRingsMustExistFirst) {
    BUFSTATE e;
    ASSERT_EQ(e.Init(16), 0);
    std::memcpy(e.data, "0123456789abcdef", 16);
    EXPECT_EQ(e.Grow(12), 0);
    EXPECT_EQ(e.capacity, 16u);
    EXPECT_EQ(e.Grow(17), 0);
    EXPECT_EQ(e.capacity, 20u);
    EXPECT_EQ(std::memcmp(e.data, "0123456789abcdef", 16), 0);
    BUFSTATE small;
    small.Init(0);
    EXPECT_EQ(small.Grow(5), 0);
    EXPECT_EQ(small.capacity, 8u);
    EXPECT_TRUE(host::EventIsSet(e.freeWait[1]));
    EXPECT_FALSE(host::EventIsSet(e.readyWait[1]));
    e.Commit(10);
    EXPECT_EQ(e.count.load(), 10u);
    char out[4];
    e.CopyOut(4, out);
    EXPECT_EQ(e.remaining, 6u);
    EXPECT_EQ(std::memcmp(out, "0123", 4), 0);
    e.Free();
    small.Free();

    BufRing ring;
    EXPECT_EQ(ring.SizeAll(100), -15);
    EXPECT_EQ(ring.GrowAll(100), -15);
    EXPECT_EQ(ring.Create(0), -5);
    ASSERT_EQ(ring.Create(3), 0);
    EXPECT_EQ(ring.SizeAll(100), 0);
    EXPECT_FALSE(ring.HoldsData());
    ring.Destroy();
}

// Holds the heap blocks a test fills and frees, so that the compiler keeps them.
void* volatile g_usedBlock = nullptr;

// What an element takes from the heap is zeroed: a consumer handed more than
// was written into it reads nothing an earlier user of the memory left.
TEST_F(QvfRingsTest, MemoryAnElementTakesIsZeroed) {
    struct Row {
        uint32_t first;  // Init's size
        uint32_t grown;  // then Grow's (0: none)
    };
    const Row rows[] = {{6960, 0}, {12288, 0}, {64, 12288}, {0, 1740}, {1740, 35000}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.first) + " then " + std::to_string(r.grown));
        // The heap's last user of blocks of these sizes left them full.
        for (uint32_t size : {r.first, r.grown}) {
            if (!size) continue;
            g_usedBlock = std::malloc(size);
            std::memset(g_usedBlock, 0xA5, size);
            std::free(g_usedBlock);
        }
        BUFSTATE e;
        ASSERT_EQ(e.Init(r.first), 0);
        EXPECT_EQ(std::count(e.data, e.data + e.capacity, 0), long(e.capacity));
        if (r.first) std::memset(e.data, 0x11, r.first);
        if (r.grown) {
            ASSERT_EQ(e.Grow(r.grown), 0);
            EXPECT_EQ(std::count(e.data, e.data + r.first, 0x11), long(r.first));
            EXPECT_EQ(std::count(e.data + r.first, e.data + e.capacity, 0), long(e.capacity - r.first));
        }
        e.Free();
    }
}

TEST_F(QvfRingsTest, ThePartEventsStartSetAndTheDeviceKeepsItsLevelWhenSupplied) {
    QVFStreamState stream;
    QVF_InitStreamState(&stream);
    stream.channels = 2;
    stream.sampleRate = 44100;
    QVFSoundBuffer sb;
    EXPECT_EQ(sb.Prepare(&stream), -38);
    ASSERT_EQ(sb.SetDirectSound(&g_device), 0);
    EXPECT_EQ(sb.Prepare(&stream), -24);
    sb.SetWindow(reinterpret_cast<host::HWND>(&sb));
    ASSERT_EQ(sb.Prepare(&stream), 0);
    EXPECT_EQ(g_device.levelCalls, 0);  // the game's device is left at its own level
    EXPECT_EQ(sb.format.avgBytesPerSec, 44100u * 4);
    EXPECT_EQ(sb.Play(), -27);
    DSBufRing ring;
    ASSERT_EQ(ring.Create(&sb, 8, 1000), 0);
    for (uint32_t i = 0; i < 8; ++i) {
        EXPECT_TRUE(host::EventIsSet(sb.partEvents[i]));
        EXPECT_EQ(sb.notify[i].offset, (i + 1) * 1000 - 1);
    }
    ring.Destroy();
    sb.Release();
    EXPECT_FALSE(g_device.released);

    QVFSoundBuffer own;
    ASSERT_EQ(own.SetDirectSound(nullptr), 0);  // made here
    own.SetWindow(reinterpret_cast<host::HWND>(&own));
    ASSERT_EQ(own.Prepare(&stream), 0);
    EXPECT_EQ(g_device.levelCalls, 1);
    own.Release();
    EXPECT_TRUE(g_device.released);
}

// --- producer and consumer runs ------------------------------------------------

// The decoder side: PCM in pieces of varying size into the ring, then an
// empty element for the end.
struct AudioRun {
    std::vector<uint8_t> pcm;
    BufRing ring;
    DSBufRing parts;
    QVFSoundBuffer sound;
    host::Event* abort = nullptr;
    host::Event* producerDone = nullptr;
    host::Event* consumerDone = nullptr;
    uint32_t seed = 0;
    bool aborted = false;
};

void Producer(void* p) {
    auto* run = static_cast<AudioRun*>(p);
    size_t at = 0;
    uint32_t x = run->seed * 2654435761u + 1;
    while (at <= run->pcm.size()) {
        if (run->ring.WaitWriteFree(run->abort) != 0) break;
        x = x * 1664525u + 1013904223u;
        uint32_t n = std::min<uint32_t>(200 + (x >> 16) % 1800, uint32_t(run->pcm.size() - at));
        if (run->ring.GrowWrite(n) != 0) break;
        if (n) std::memcpy(run->ring.WritePointer(), run->pcm.data() + at, n);
        run->ring.CommitWrite(n);  // 0 bytes: the end
        if (n == 0) break;
        at += n;
    }
    host::SetEvent(run->producerDone);
}

// The sound side: fills each part once it has been played, from the ring;
// at the end pads the last part with silence, waits until all is played and
// stops the buffer.
void Consumer(void* p) {
    auto* run = static_cast<AudioRun*>(p);
    bool playing = false, end = false;
    uint32_t filledParts = 0;
    while (!end) {
        if (run->parts.WaitCurrent(run->abort) != 0) {
            run->aborted = true;
            break;
        }
        uint32_t size = run->parts.CurrentPartSize(), offset = 0;
        while (offset < size) {
            if (run->ring.WaitReadReady(run->abort) != 0) {
                end = true;
                run->aborted = true;
                break;
            }
            if (run->ring.ReadCount() == 0) {
                uint8_t* to = run->parts.LockCurrent(offset, size - offset);
                std::memset(to, 0, size - offset);
                offset = size;
                end = true;
                break;
            }
            uint32_t n = std::min(run->ring.ReadRemaining(), size - offset);
            run->ring.CopyOut(n, run->parts.LockCurrent(offset, n));
            offset += n;
            if (run->ring.ReadRemaining() == 0) run->ring.ReleaseRead();
        }
        if (run->aborted) break;
        run->parts.FinishCurrent();
        if (++filledParts == run->parts.parts && !playing) {
            run->sound.Play();
            playing = true;
        }
    }
    if (!run->aborted) {
        if (!playing) run->sound.Play();
        run->parts.WaitAllPlayed(run->abort);
    }
    run->sound.Stop();
    host::SetEvent(run->consumerDone);
}

void RunAudio(uint64_t seed, bool stopEarly, std::vector<uint8_t>* captured, bool* aborted) {
    host::headless::SetSchedulerSeed(seed);
    AudioRun run;
    run.seed = uint32_t(seed);
    std::vector<int16_t> pcm(9000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(1 + 9000 * std::sin(double(i) * 0.05));
    run.pcm.resize(pcm.size() * 2);
    std::memcpy(run.pcm.data(), pcm.data(), run.pcm.size());
    QVFStreamState stream;
    QVF_InitStreamState(&stream);
    stream.channels = 1;
    stream.sampleRate = 22050;
    ASSERT_EQ(run.sound.SetDirectSound(&g_device), 0);
    run.sound.SetWindow(reinterpret_cast<host::HWND>(&run));
    ASSERT_EQ(run.sound.Prepare(&stream), 0);
    ASSERT_EQ(run.parts.Create(&run.sound, 4, 1024), 0);
    ASSERT_EQ(run.ring.Create(3), 0);
    ASSERT_EQ(run.ring.SizeAll(256), 0);
    run.abort = host::CreateEvent(false, "audio abort");
    run.producerDone = host::CreateEvent(false, "producer done");
    run.consumerDone = host::CreateEvent(false, "consumer done");
    host::Thread* producer = host::CreateThread(Producer, &run, 0, "decoder");
    host::Thread* consumer = host::CreateThread(Consumer, &run, 0, "audio");
    if (stopEarly) {
        host::Sleep(uint32_t(5 + seed % 80));
        host::SetEvent(run.abort);
    }
    host::Event* both[2] = {run.producerDone, run.consumerDone};
    EXPECT_EQ(host::WaitForMultipleObjects(2, both, true, host::INFINITE), host::WAIT_OBJECT_0);
    for (host::Thread* t : {producer, consumer}) {
        while (!host::ThreadHasEnded(t)) host::Sleep(0);
        host::CloseThread(t);
    }
    *captured = g_buffer ? g_buffer->captured : std::vector<uint8_t>();
    *aborted = run.aborted;
    if (!stopEarly) {
        ASSERT_GE(captured->size(), run.pcm.size()) << "seed " << seed;
        EXPECT_TRUE(std::equal(run.pcm.begin(), run.pcm.end(), captured->begin())) << "seed " << seed;
        // The last part is padded with silence and played to its end; the
        // end is polled once a millisecond, so at most 1 ms more follows.
        size_t padded = (run.pcm.size() + 1023) / 1024 * 1024;
        ASSERT_GE(captured->size(), padded) << "seed " << seed;
        for (size_t i = run.pcm.size(); i < padded; ++i) ASSERT_EQ((*captured)[i], 0) << "seed " << seed;
        EXPECT_LE(captured->size(), padded + 44100 / 1000 + 2) << "seed " << seed;
    } else {
        size_t n = std::min(captured->size(), run.pcm.size());
        EXPECT_TRUE(std::equal(captured->begin(), captured->begin() + long(n), run.pcm.begin()))
            << "seed " << seed;
    }
    run.parts.Destroy();
    run.sound.Release();
    run.ring.Destroy();
    for (host::Event* e : {run.abort, run.producerDone, run.consumerDone}) host::CloseEvent(e);
}

TEST_F(QvfRingsTest, SoundThroughTheRingsPlaysEveryByteInOrderUnderEverySeed) {
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        std::vector<uint8_t> captured;
        bool aborted = false;
        RunAudio(seed, false, &captured, &aborted);
        EXPECT_FALSE(aborted);
        ASSERT_TRUE(g_deadlocks.empty()) << g_deadlocks.front();
        ASSERT_EQ(host::LiveThreadCount(), 0);
    }
}

TEST_F(QvfRingsTest, AStopReleasesBothSidesUnderEverySeed) {
    int stoppedBeforeTheEnd = 0;
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        std::vector<uint8_t> captured;
        bool aborted = false;
        RunAudio(seed, true, &captured, &aborted);
        stoppedBeforeTheEnd += aborted;
        ASSERT_TRUE(g_deadlocks.empty()) << g_deadlocks.front();
        ASSERT_EQ(host::LiveThreadCount(), 0);
    }
    EXPECT_GT(stoppedBeforeTheEnd, 50);
}

// The buffer on the host's own sound device: the parts play in order into
// the headless capture and their notifications set the part events.
TEST_F(QvfRingsTest, PartsPlayThroughTheHostSoundDevice) {
    g_QVFSoundDriver = hostDriver_;
    host::SoundDevice* device = nullptr;
    ASSERT_EQ(host::SoundCreate(nullptr, &device), host::DS_OK);
    host::SoundSetCooperativeLevel(device, nullptr, host::DSSCL_EXCLUSIVE);
    host::SoundBufferDesc primaryDesc{20, host::DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr};
    host::SoundBuffer* primary = nullptr;
    ASSERT_EQ(host::SoundCreateBuffer(device, &primaryDesc, &primary), host::DS_OK);
    host::WaveFormat out{host::WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16};
    ASSERT_EQ(host::SoundBufferSetFormat(primary, &out), host::DS_OK);
    host::headless::ClearCapturedAudio();

    QVFStreamState stream;
    QVF_InitStreamState(&stream);
    stream.channels = 1;
    stream.sampleRate = 22050;
    QVFSoundBuffer sb;
    ASSERT_EQ(sb.SetDirectSound(device), 0);
    sb.SetWindow(reinterpret_cast<host::HWND>(&sb));
    ASSERT_EQ(sb.Prepare(&stream), 0);
    DSBufRing ring;
    ASSERT_EQ(ring.Create(&sb, 4, 2048), 0);
    host::Event* abort = host::CreateEvent(false, "abort");
    std::vector<int16_t> pcm(4096);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(i * 13 - 20000);
    for (uint32_t part = 0; part < 4; ++part) {
        ASSERT_EQ(ring.WaitCurrent(abort), 0);  // every part starts played
        uint8_t* to = ring.LockCurrent(0, 2048);
        ASSERT_NE(to, nullptr);
        std::memcpy(to, pcm.data() + part * 1024, 2048);
        ring.FinishCurrent();
        EXPECT_FALSE(host::EventIsSet(sb.partEvents[part]));
    }
    // The headless mix is rendered when a sound call is made: while the
    // scheduler waits, a time source brings it up to the clock every 1 ms.
    host::headless::AddTimeSource({&sb, [](void*, uint64_t now) { return now + 1000; },
                                   [](void*, uint64_t) { host::headless::CapturedFrames(); }});
    size_t start = host::headless::CapturedFrames();
    ASSERT_EQ(sb.Play(), 0);
    host::headless::AdvanceClock(100000);  // 2205 frames: the first two parts
    host::headless::CapturedFrames();
    EXPECT_TRUE(host::EventIsSet(sb.partEvents[0]));
    EXPECT_TRUE(host::EventIsSet(sb.partEvents[1]));
    EXPECT_FALSE(host::EventIsSet(sb.partEvents[3]));
    host::headless::AdvanceClock(100000);
    EXPECT_EQ(ring.WaitAllPlayed(abort), 0);
    sb.Stop();
    host::headless::RemoveTimeSource(&sb);
    const std::vector<int16_t>& all = host::headless::CapturedAudio();
    ASSERT_GE(all.size(), (start + 4096) * 2);
    for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(all[(start + i) * 2], pcm[i]) << i;
    ring.Destroy();
    sb.Release();
    host::CloseEvent(abort);
    host::SoundBufferRelease(primary);
    host::SoundRelease(device);
}

// --- frame surfaces ----------------------------------------------------------------

TEST_F(QvfRingsTest, TheCodecDecodesIntoOneSurfaceWhileTheOtherHoldsThePreviousFrame) {
    DDManager ddm;
    DDM_InitRects(&ddm);
    ddm.directDraw = host::DDCreate(0);
    ASSERT_NE(ddm.directDraw, nullptr);
    DDPixelFormat f565 = DDPixelFormatFromHost(host::kFormat565);
    ASSERT_TRUE(PixelFormatFromDDPixelFormat(&ddm.pixelFormat, &f565));
    ddm.pixelFormatSet = true;
    DDM_SetSize(&ddm, 64, 32, 16);
    DDBufRing ring;
    ASSERT_EQ(ring.Create(&ddm, 64, 32, 16, 1), 0);  // fewer than two: two
    EXPECT_EQ(ring.count, 2u);
    EXPECT_EQ(ring.current, 1);
    EXPECT_EQ(ring.previous, 0);
    for (int frame = 1; frame <= 4; ++frame) {
        uint8_t *cur = nullptr, *prev = nullptr;
        ASSERT_EQ(ring.LockCurrent(&cur), 0);
        ASSERT_EQ(ring.LockPrevious(&prev), 0);
        EXPECT_NE(cur, prev);
        EXPECT_EQ(ring.elements[ring.current].pitch, 64 * 2);  // rows of exactly width pixels
        // "Decode": each frame is the previous one plus 1.
        for (int i = 0; i < 64 * 32 * 2; ++i) cur[i] = uint8_t(prev[i] + 1);
        EXPECT_EQ(cur[100], frame);
        ring.UnlockCurrent();
        ring.UnlockPrevious();
        if (frame < 4) ring.Advance();  // the last one is presented first
    }
    // Present: the frame goes to the primary at the client area's corner.
    host::Surface* primary = nullptr;
    ASSERT_EQ(DDM_CreateOffscreen(&ddm, 100, 50, &primary, nullptr), 0);
    ddm.primary = primary;
    ddm.client = {10, 5, 74, 37};
    ASSERT_EQ(ring.PresentCurrent(&ddm, DDBLTFAST_WAIT), 0);
    uint8_t* p = nullptr;
    int pitch = 0;
    ASSERT_EQ(host::SurfaceLock(primary, 0, &p, &pitch), host::DD_OK);
    EXPECT_EQ(p[5 * pitch + 10 * 2], 4);
    EXPECT_EQ(p[4 * pitch + 10 * 2], 0);
    host::SurfaceUnlock(primary);
    host::SurfaceRelease(primary);
    ring.Destroy();
    host::DDRelease(ddm.directDraw);
}

// --- pixel formats -----------------------------------------------------------------

TEST(PixelFormat, DerivesSizesShiftsAndPacks) {
    PixelFormatDesc d;
    DDPixelFormat f565 = DDPixelFormatFromHost(host::kFormat565);
    ASSERT_TRUE(PixelFormatFromDDPixelFormat(&d, &f565));
    EXPECT_EQ(d.redBits, 5);
    EXPECT_EQ(d.greenBits, 6);
    EXPECT_EQ(d.blueBits, 5);
    EXPECT_EQ(d.redShift, 11);
    EXPECT_EQ(d.greenShift, 5);
    EXPECT_EQ(d.blueShift, 0);
    EXPECT_EQ(d.totalBits, 16);
    EXPECT_EQ(d.bytesPerPixel, 2);
    EXPECT_EQ(PackPixel(&d, 255, 255, 255, true), 0xFFFFu);
    EXPECT_EQ(PackPixel(&d, 255, 0, 0, false), 0xF800u);
    DDPixelFormat f555 = DDPixelFormatFromHost(host::kFormat555);
    ASSERT_TRUE(PixelFormatFromDDPixelFormat(&d, &f555));
    EXPECT_EQ(d.totalBits, 15);
    EXPECT_EQ(d.bytesPerPixel, 2);
    EXPECT_EQ(PackPixel(&d, 255, 255, 255, false), 0x7FFFu);

    // The same sizes through the other road: 15 bits take 2 bytes there too.
    ASSERT_TRUE(PixelFormatFromSizes(&d, 5, 5, 5, 10, 5, 0));
    EXPECT_EQ(d.totalBits, 15);
    EXPECT_EQ(d.bytesPerPixel, 2);
    EXPECT_EQ(d.redMask, 0x7C00);
    EXPECT_EQ(d.greenMask, 0x03E0);
    // Channels wider than a component are packed from 8 bits, without
    // shifting by a negative amount.
    ASSERT_TRUE(PixelFormatFromSizes(&d, 10, 10, 10, 20, 10, 0));
    EXPECT_EQ(d.totalBits, 30);
    EXPECT_EQ(d.bytesPerPixel, 4);
    EXPECT_EQ(d.redMask, 0xFF << 20);
    EXPECT_EQ(PackPixel(&d, 255, 0, 0, false), 0xFFu << 20);

    // Alpha only with its flag, and only when asked.
    DDPixelFormat argb{DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    ASSERT_TRUE(PixelFormatFromDDPixelFormat(&d, &argb));
    EXPECT_EQ(d.alphaBits, 0);
    EXPECT_EQ(PackPixel(&d, 0, 0, 0, true), 0u);
    argb.flags |= DDPF_ALPHAPIXELS;
    ASSERT_TRUE(PixelFormatFromDDPixelFormat(&d, &argb));
    EXPECT_EQ(PackPixel(&d, 0, 0, 0, true), 0xFF000000u);
    EXPECT_EQ(PackPixel(&d, 0, 0, 0, false), 0u);

    DDPixelFormat pal{DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0};
    ASSERT_TRUE(PixelFormatFromDDPixelFormat(&d, &pal));
    EXPECT_EQ(d.palette, 1);
    EXPECT_EQ(d.bytesPerPixel, 1);
    EXPECT_EQ(PackPixel(&d, 255, 255, 255, true), 0u);
    DDPixelFormat pal4{DDPF_PALETTEINDEXED4, 4, 0, 0, 0, 0};
    EXPECT_FALSE(PixelFormatFromDDPixelFormat(&d, &pal4));
    EXPECT_FALSE(PixelFormatFromDDPixelFormat(&d, nullptr));
    EXPECT_FALSE(PixelFormatFromSurfaceDesc(&d, DDSurfaceFormat{0, f565}));
    EXPECT_TRUE(PixelFormatFromSurfaceDesc(&d, DDSurfaceFormat{DDSD_PIXELFORMAT, f565}));
}

// --- the clock --------------------------------------------------------------------------

constexpr uint64_t kWrapUs = (uint64_t(1) << 32) * 1000;

TEST_F(QvfRingsTest, TheClockPausesAndCrossesTheTickCountersWrap) {
    for (uint64_t start : {uint64_t(5000000), kWrapUs - 250000}) {
        host::headless::SetClock(start);
        QVF_ClockStart();
        host::headless::AdvanceClock(400000);  // across the wrap from the second start
        EXPECT_DOUBLE_EQ(QVF_ClockNow(), 400.0);
        QVF_ClockPause();
        host::headless::AdvanceClock(500000);
        QVF_ClockResume();
        EXPECT_DOUBLE_EQ(QVF_ClockNow(), 400.0);  // goes on from where it paused
        host::headless::AdvanceClock(100000);
        EXPECT_DOUBLE_EQ(QVF_ClockNow(), 500.0);

        CWinTimer timer;
        timer.Start();
        host::headless::AdvanceClock(300000);
        timer.Stop();
        timer.Elapsed();
        EXPECT_DOUBLE_EQ(timer.value, 300000.0);
        host::headless::AdvanceClock(2000000);
        timer.Elapsed();
        EXPECT_DOUBLE_EQ(timer.value, 300000.0);  // stopped: it keeps the interval
        timer.Resume();
        host::headless::AdvanceClock(50000);
        timer.Elapsed();
        EXPECT_DOUBLE_EQ(timer.value, 350000.0);  // from the stopped interval, not the start
        CTimer none;
        none.Start();
        none.Elapsed();
        EXPECT_EQ(none.value, 0.0);
    }
}

// The clock stands still from a pause to its resume, whatever else is
// called meanwhile.  Each row is a list of steps from a clock started at 0;
// the reading expected after each step follows from that rule alone.
TEST_F(QvfRingsTest, TheClockStandsFromAPauseToItsResume) {
    enum Op { Advance100, Pause, Resume, Start };
    struct Row {
        const char* name;
        std::vector<Op> ops;
        std::vector<double> readings;  // after each step
    };
    const Row rows[] = {
        {"a start during a pause keeps the pause",
         {Advance100, Pause, Start, Advance100, Resume, Advance100}, {100, 100, 0, 0, 0, 100}},
        {"overlapping pauses run again at the last resume",
         {Advance100, Pause, Pause, Advance100, Resume, Advance100, Resume, Advance100},
         {100, 100, 100, 100, 100, 100, 100, 200}},
        {"a resume without a pause changes nothing", {Resume, Advance100, Resume}, {0, 100, 100}},
    };
    for (const Row& row : rows) {
        host::headless::SetClock(7000000);
        QVF_ClockReset();
        for (size_t i = 0; i < row.ops.size(); ++i) {
            switch (row.ops[i]) {
            case Advance100: host::headless::AdvanceClock(100000); break;
            case Pause: QVF_ClockPause(); break;
            case Resume: QVF_ClockResume(); break;
            case Start: QVF_ClockStart(); break;
            }
            EXPECT_DOUBLE_EQ(QVF_ClockNow(), row.readings[i]) << row.name << ", step " << i;
        }
    }
    QVF_ClockReset();
}

// A presentation-like thread spins on the clock for due times while the
// main thread pauses it (clock and thread) and resumes it, near the wrap.
struct Frames {
    std::vector<double> shownAt;
    int count = 12;
    host::Event* done = nullptr;
};

void Present(void* p) {
    auto* f = static_cast<Frames*>(p);
    double base = QVF_ClockNow();
    for (int i = 0; i < f->count; ++i) {
        double due = base + i * 1000.0 / 15.0;
        while (QVF_ClockNow() < due) host::Sleep(0);
        f->shownAt.push_back(QVF_ClockNow() - base);
    }
    host::SetEvent(f->done);
}

TEST_F(QvfRingsTest, FrameTimesHoldAcrossAPauseNearTheWrapUnderEverySeed) {
    host::headless::SetAutoStep(500, 0);  // every clock reading moves it 0.5 ms
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        host::headless::SetSchedulerSeed(seed);
        host::headless::SetClock(kWrapUs - 200000 - seed * 1000);
        QVF_ClockStart();
        Frames frames;
        frames.done = host::CreateEvent(false, "presentation done");
        host::Thread* t = host::CreateThread(Present, &frames, 0, "presentation");
        host::Sleep(uint32_t(50 + seed % 300));
        host::SuspendThread(t);
        QVF_ClockPause();
        size_t before = frames.shownAt.size();
        host::Sleep(700);
        EXPECT_EQ(frames.shownAt.size(), before);
        QVF_ClockResume();
        host::ResumeThread(t);
        EXPECT_EQ(host::WaitForSingleObject(frames.done, host::INFINITE), host::WAIT_OBJECT_0);
        while (!host::ThreadHasEnded(t)) host::Sleep(0);
        host::CloseThread(t);
        host::CloseEvent(frames.done);
        ASSERT_EQ(frames.shownAt.size(), 12u);
        for (int i = 0; i < 12; ++i) {
            double due = i * 1000.0 / 15.0;
            EXPECT_GE(frames.shownAt[size_t(i)], due) << "seed " << seed << " frame " << i;
            // Spinning reads move the clock 0.5 ms each: a frame is never
            // more than a few readings late, the pause included.
            EXPECT_LT(frames.shownAt[size_t(i)], due + 2.5) << "seed " << seed << " frame " << i;
        }
        ASSERT_TRUE(g_deadlocks.empty()) << g_deadlocks.front();
    }
}

// --- rings on real threads ----------------------------------------------------------------

struct RealRun {
    BufRing ring;
    host::Event* abort;
    std::vector<uint8_t> sent, received;
};

TEST(SdlThreadRings, ProducerAndConsumerPassEveryByteInOrder) {
    ASSERT_TRUE(host::SetThreadModel(host::ThreadModel::Real));
    for (int round = 0; round < 20; ++round) {
        RealRun run;
        ASSERT_EQ(run.ring.Create(4), 0);
        ASSERT_EQ(run.ring.SizeAll(64), 0);
        run.abort = host::CreateEvent(false, "abort");
        for (int i = 0; i < 50000; ++i) run.sent.push_back(uint8_t(i * 31 + i / 251));
        host::Thread* producer = host::CreateThread(
            [](void* p) {
                auto* r = static_cast<RealRun*>(p);
                size_t at = 0;
                uint32_t x = 7;
                while (at <= r->sent.size()) {
                    if (r->ring.WaitWriteFree(r->abort)) return;
                    x = x * 1664525u + 1013904223u;
                    uint32_t n = std::min<uint32_t>(1 + (x >> 20) % 300, uint32_t(r->sent.size() - at));
                    r->ring.GrowWrite(n);
                    std::memcpy(r->ring.WritePointer(), r->sent.data() + at, n);
                    r->ring.CommitWrite(n);
                    if (n == 0) return;
                    at += n;
                }
            },
            &run, 0, "producer");
        host::Thread* consumer = host::CreateThread(
            [](void* p) {
                auto* r = static_cast<RealRun*>(p);
                for (;;) {
                    if (r->ring.WaitReadReady(r->abort)) return;
                    uint32_t n = r->ring.ReadRemaining();
                    if (r->ring.ReadCount() == 0) return;
                    size_t at = r->received.size();
                    r->received.resize(at + n);
                    r->ring.CopyOut(n, r->received.data() + at);
                    (void)r->ring.HoldsData();
                    r->ring.ReleaseRead();
                }
            },
            &run, 0, "consumer");
        for (host::Thread* t : {producer, consumer}) {
            while (!host::ThreadHasEnded(t)) host::Sleep(0);
            host::CloseThread(t);
        }
        EXPECT_EQ(run.received, run.sent);
        run.ring.Destroy();
        host::CloseEvent(run.abort);
    }
}

}  // namespace
