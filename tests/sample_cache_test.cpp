// The audio pool and the sample cache, on the virtual clock: lookups,
// expiry at 60000 ms, victims, the budget, and a clock about to wrap.
#include "host/headless/headless.h"
#include "sound_support.h"
#include "tools/kit/sound_writer.h"

#include <string>

namespace {

class CacheTest : public test::SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        ASSERT_EQ(StartSound(), 0);
        CurrentFileTable = &PlainFileTable;
        for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
            std::vector<uint8_t> file = kit::WavFile(kit::Pcm8(std::vector<uint8_t>(1000, uint8_t(name[0])), 22050, 1));
            WriteFile(std::string(name) + ".wav", std::string(file.begin(), file.end()));
        }
        AtMs(1000);
    }
    static void AtMs(uint64_t ms) { host::headless::SetClock(ms * 1000); }
    // The names of the loaded entries, "-" for a free one.
    static std::string Contents() {
        std::string s;
        for (int i = 0; i < g_SmpCacheCount; ++i)
            s += g_SmpCache[i].sample.data ? std::string(1, g_SmpCache[i].name[0]) : std::string("-");
        return s;
    }
    static SndSample* Find(const char* name, uint8_t priority) {
        return SMP_Find((std::string(name) + ".wav").c_str(), priority);
    }
    // Plays the sample looping on a free voice.
    static void PlayLooping(SndSample* s) {
        s->loopEnd = -1;
        ASSERT_EQ(SND_PlayVoice(SND_FindVoice(s), 22050, 63, 0, s), 1);
    }
};

TEST_F(CacheTest, LookupsIgnoreLetterCaseAndMissingNamesEvictNothing) {
    SMP_InitCache(2, 64);
    SndSample* a = SMP_Find("a.wav", 10);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->length, 1000u);
    EXPECT_EQ(a->priority, 10);
    EXPECT_EQ(SMP_Find("A.WAV", 10), a);
    Find("b", 10);
    EXPECT_EQ(Contents(), "ab");
    EXPECT_EQ(g_SmpBytesHeld, 2000u);
    EXPECT_EQ(SMP_Find("nothere.wav", 255), nullptr);
    EXPECT_EQ(Contents(), "ab");
}

// An entry keeps 31 characters of name and its end: a name of 32 or more
// is no sound, neither loaded nor looked up under a cut name that could be
// another file's (the first 32 characters of the 33-character name below
// are the 32-character one's), and the cache stays as it was.
TEST_F(CacheTest, NamesOfThirtyTwoCharactersOrMoreAreNoSound) {
    SMP_InitCache(4, 64);
    const std::string n31 = std::string(27, 'n') + ".wav", n32 = std::string(28, 'n') + ".wav";
    const std::string n33 = n32 + "x", n70 = std::string(66, 'n') + ".wav";
    uint8_t fill = 'p';
    for (const std::string& name : {n31, n32, n33, n70}) {
        std::vector<uint8_t> file = kit::WavFile(kit::Pcm8(std::vector<uint8_t>(100, fill++), 22050, 1));
        WriteFile(name, std::string(file.begin(), file.end()));
    }
    SndSample* kept = SMP_Find(n31.c_str(), 10);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->data[0], 'p');
    for (const std::string& name : {n33, n32, n33, n70, n32}) {
        SCOPED_TRACE(name.size());
        EXPECT_EQ(SMP_Find(name.c_str(), 10), nullptr);
        EXPECT_EQ(Contents(), "n---");
        EXPECT_EQ(g_SmpBytesHeld, 100u);
    }
    EXPECT_EQ(SMP_Find(n31.c_str(), 10), kept);
}

TEST_F(CacheTest, FirstLookupMakesTheDefaultCache) {
    SMP_FlushCache(1);
    ASSERT_NE(Find("a", 1), nullptr);
    EXPECT_EQ(g_SmpCacheCount, 16);
    EXPECT_EQ(g_AudioPoolOps.cacheBudget, 512u * 1024);
}

// An entry not looked up for 60000 ms is freed before the next lookup's
// walk; at 59999 ms it stays.
TEST_F(CacheTest, ExpiryAtSixtySeconds) {
    SMP_InitCache(4, 64);
    Find("a", 10);
    AtMs(1000 + 59999);
    Find("b", 10);
    EXPECT_EQ(Contents(), "ab--");
    AtMs(1000 + 60000);
    Find("c", 10);
    EXPECT_EQ(Contents(), "cb--");  // a went first, so c took its entry
    EXPECT_EQ(g_SmpBytesHeld, 2000u);
}

// The victim is the idle entry of the lowest non-zero priority not above the
// one asked for, the last one among equals; a playing entry is never it.
TEST_F(CacheTest, PriorityVictims) {
    SMP_InitCache(3, 64);
    Find("a", 50);
    AtMs(2000);
    Find("b", 20);
    AtMs(3000);
    Find("c", 20);
    AtMs(4000);
    Find("d", 30);
    EXPECT_EQ(Contents(), "abd");
    PlayLooping(Find("b", 20));
    AtMs(5000);
    Find("e", 30);  // b plays: d (30) is the victim
    EXPECT_EQ(Contents(), "abe");
    AtMs(6000);
    Find("f", 10);  // nothing of priority 10 or less: the oldest goes
    EXPECT_EQ(Contents(), "fbe");
    EXPECT_TRUE(SND_IsVoicePlaying(1));
}

// A sample that plays can still be replaced as the least recently used
// entry, and its voice is freed; an entry of priority 0 is never a victim.
TEST_F(CacheTest, PlayingAndPriorityZeroEntries) {
    SMP_InitCache(2, 64);
    PlayLooping(Find("a", 5));
    AtMs(2000);
    Find("b", 0);
    AtMs(3000);
    Find("c", 255);  // b has priority 0, a plays: the oldest, a, goes
    EXPECT_EQ(Contents(), "cb");
    EXPECT_FALSE(SND_IsVoicePlaying(1));
    EXPECT_EQ(SND_GetVoiceSample(1), nullptr);
}

// Over the budget a lookup replaces an entry even when a free one exists,
// and counts it.
TEST_F(CacheTest, BudgetForcesReplacement) {
    SMP_InitCache(4, 1);  // 1024 bytes
    Find("a", 10);
    AtMs(2000);
    Find("b", 20);  // 1000 bytes held: within the budget
    EXPECT_EQ(Contents(), "ab--");
    AtMs(3000);
    Find("c", 10);
    EXPECT_EQ(Contents(), "cb--");
    uint32_t over = 0;
    int32_t free = 0;
    int playing = -1;
    SMP_CacheStats(&over, &free, &playing);
    EXPECT_EQ(over, 1u);
    EXPECT_EQ(free, 1024 - 2000);
    EXPECT_EQ(playing, 0);
    SMP_FlushCache(0);
    EXPECT_EQ(Contents(), "----");
    EXPECT_EQ(g_SmpBytesHeld, 0u);
}

// Ages are differences of the 32-bit clock: across its wrap the entry
// looked up before the wrap is the older one, and expiry still counts
// 60000 ms.
TEST_F(CacheTest, ClockWrap) {
    const uint64_t wrap = uint64_t(1) << 32;
    SMP_InitCache(2, 64);
    AtMs(wrap - 20000);
    Find("a", 0);
    AtMs(wrap + 5000);
    Find("b", 0);
    AtMs(wrap + 15000);
    Find("c", 0);
    EXPECT_EQ(Contents(), "cb");
    AtMs(wrap + 5000 + 59999);
    SMP_ExpireCache();
    EXPECT_EQ(Contents(), "cb");
    AtMs(wrap + 5000 + 60000);
    SMP_ExpireCache();
    EXPECT_EQ(Contents(), "c-");
    // A lookup at the clock's 0 is still a use.
    SMP_InitCache(2, 64);
    AtMs(wrap);
    Find("d", 1);
    AtMs(wrap + 59999);
    SMP_ExpireCache();
    EXPECT_EQ(Contents(), "d-");
    AtMs(wrap + 60000);
    SMP_ExpireCache();
    EXPECT_EQ(Contents(), "--");
}

// The pool's bump allocator, reached through its table: blocks in multiples
// of 4, only the last one given back, mark and release; exhaustion reports
// 0x3002 with the rounded size.
TEST_F(CacheTest, AudioPool) {
    std::vector<uint8_t> memory(64);
    g_AudioPoolOps.Init(memory.data(), 64);
    g_AudioPoolOps.Enable(0);
    auto* a = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(5));
    auto* b = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(8));
    EXPECT_EQ(a, memory.data());
    EXPECT_EQ(b, memory.data() + 8);
    g_AudioPoolOps.Free(a);  // not the last: stays
    EXPECT_EQ(g_AudioPoolOps.offset, 16u);
    b[0] = 42;
    auto* c = static_cast<uint8_t*>(g_AudioPoolOps.Realloc(b, 8));
    EXPECT_EQ(c, memory.data() + 16);
    EXPECT_EQ(c[0], 42);
    g_AudioPoolOps.Free(c);
    EXPECT_EQ(g_AudioPoolOps.offset, 16u);
    g_AudioPoolOps.Mark();
    g_AudioPoolOps.AllocZero(40);
    EXPECT_EQ(g_AudioPoolOps.AllocZero(9), nullptr);
    EXPECT_EQ(test::ReportedErrors(), std::vector<int>{0x3002});
    g_AudioPoolOps.Release(-1);
    EXPECT_EQ(g_AudioPoolOps.offset, 16u);
    g_AudioPoolOps.Release(4);
    EXPECT_EQ(g_AudioPoolOps.offset, 4u);
    // Without a base the pool is off and the heap serves.
    g_AudioPoolOps.base = nullptr;
    g_AudioPoolOps.size = 0;
    g_AudioPoolOps.Enable(1);
    EXPECT_EQ(g_AudioPoolOps.on, 0u);
    void* heap = g_AudioPoolOps.AllocZero(100);
    EXPECT_NE(heap, nullptr);
    g_AudioPoolOps.Free(heap);
    EXPECT_THROW(g_AudioPoolOps.Init(nullptr, 4096), FatalReturn);
    EXPECT_STREQ(FatalText, "iss_fx:audioinit 4096 failed");
    FatalText[0] = 0;
}

}  // namespace
