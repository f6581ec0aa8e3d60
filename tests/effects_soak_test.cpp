// Mixed effects fired for thousands of frames, through the cache's
// eviction, with effects freed one by one, at room changes and at mission
// close: after the first round (the warm-up) the heap, the 3D pool and the
// handle slots return to the same marks after every round, and stand at the
// same marks at the same moment of every round.  Meant to run under the
// address sanitizer as well, which checks every access on the way.
#include "fx_support.h"

#include "engine3d/dqx_obj.h"
#include "platform/memory.h"
#include "platform/settings.h"

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace test {
namespace {

int64_t g_LiveBlocks = 0;
HeapHooksTable g_SavedHooks;

void* CountedAlloc(size_t n) {
    ++g_LiveBlocks;
    return g_SavedHooks.allocate(n);
}
void CountedFree(void* p) {
    if (p) --g_LiveBlocks;
    g_SavedHooks.free(p);
}
void* CountedRealloc(void* p, size_t n) {
    if (!p) ++g_LiveBlocks;
    return g_SavedHooks.reallocate(p, n);
}

int64_t HeapBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return int64_t(__sanitizer_get_current_allocated_bytes());
#else
    return int64_t(mallinfo2().uordblks);
#endif
}

uint8_t g_SavedSoundOn = 1;

struct Marks {
    int64_t blocks;    // memory-manager blocks held
    int64_t heap;      // bytes of the whole heap
    uint32_t poolEnd;  // the object library's end after compaction
    int slots;         // handle slots in use
    bool operator==(const Marks& o) const { return blocks == o.blocks && poolEnd == o.poolEnd && slots == o.slots; }
};

class Soak : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        g_SavedHooks = HeapHooks;
        HeapHooks = {CountedAlloc, CountedFree, CountedRealloc};
        g_LiveBlocks = 0;
        // The sound requests are counted as the engine makes them; no sample
        // archive is open here, and each missing sample would add a line to
        // the debug log, which is not what this test weighs.
        g_SavedSoundOn = g_SoundOn;
        g_SoundOn = false;
        // 60 sets for a cache of 50: flashes (texture cells, scale and
        // morph tracks, facing), plain sets, bolts.
        Put(".\\fx\\flare.3DM", kit::FlareTexture());
        for (int i = 0; i < kSets; ++i) {
            std::string base = ".\\fx\\s" + std::to_string(i);
            kit::EffectSetSpec spec;
            if (i % 3 == 0) {
                spec = kit::FlashSet();
                spec.eff.endFrame = 6 + i % 7;
                spec.cls.follow = i % 2;
            } else {
                kit::ClsSpec cls = Timing(15 + i % 10);
                cls.projectile = i % 3 == 2;
                cls.groupShow = i % 4 == 0;
                spec = SimpleSet(cls.projectile ? 30 + i % 9 : 5 + i % 9, cls);
                spec.eff.scales = {{"glow", {}, {{1, 0.5f, 0.5f, 0.5f}, {4, 2.0f, 1.0f, 2.0f}}}};
                spec.eff.morphs = {{"inner", {{3, "&ghost"}}}};
            }
            kit::CgsRecordSpec record;
            record.soundFrame = i % 4;
            if (i % 2) record.sound = ".\\smp\\effets\\tir.wav";
            PutEffect(base, spec, record);
        }
    }
    void TearDown() override {
        Free_AllEffects();
        Free_EffectSets();
        HeapHooks = g_SavedHooks;
        g_SoundOn = g_SavedSoundOn;
        EffectsTest::TearDown();
    }
    Marks Mark() {
        // The call logs are the test's instruments: counted, then emptied
        // (their room stays) so that they weigh the same at every mark.
        sounds_ += g_SfxPlayCalls.size();
        hits_ += g_GameCalls.size();
        impacts_ += g_ImpactCalls.size();
        g_SfxPlayCalls.clear();
        g_GameCalls.clear();
        g_ImpactCalls.clear();
        Compact_3DMemory();
        int slots = 0;
        for (int i = 0; i < kHandleSlots; ++i) slots += LoadWord(Get_HandleTable() + uint32_t(i) * 4) != kFreeSlot;
        return {g_LiveBlocks, HeapBytes(), MemLib, slots};
    }
    uint32_t Next() {
        seed_ = seed_ * 1103515245u + 12345u;
        return (seed_ >> 16) & 0x7FFF;
    }
    // One round: `frames` frames of 33 ms with an effect fired every third
    // frame; the marks at its middle.
    Marks Round(int frames) {
        seed_ = 12345;
        std::vector<int> forever;
        Marks middle{};
        for (int f = 0; f < frames; ++f) {
            clock_ += 33;
            if (f % 3 == 0) Fire(&forever);
            if (f % 97 == 50 && !forever.empty()) {
                Free_Effect(forever.front());
                forever.erase(forever.begin());
            }
            // A room change now and then frees everything that runs.
            if (f % 500 == 499) {
                Free_AllEffects();
                forever.clear();
            }
            StepTo(clock_);
            if (f == frames / 2) {
                middle = Mark();
                EXPECT_EQ(g_EffectSetCacheCount, kEffectCacheLimit);
            }
        }
        // Mission close.
        Free_AllEffects();
        Free_EffectSets();
        return middle;
    }
    void Fire(std::vector<int>* forever) {
        int set = int(Next() % kSets);
        std::string path = ".\\fx\\s" + std::to_string(set) + ".cgs";
        uint32_t kind = Next() % 10;
        if (set % 3 == 2) {
            CharacterRecord* targets[3] = {&guard(), &enemy(), nullptr};
            CharacterRecord* target = targets[kind % 3];
            Vec3* at = target ? &places_[kind % 3] : &far_;
            Q3D_FXInit2(path.c_str(), at, &source_, &hero(), AtCharacter(target), int32_t(kind % 5));
        } else if (kind == 0) {
            int e = Q3D_FXInit(path.c_str(), prop_, 1.0f, -1, 0, 0);
            if (e >= 0) forever->push_back(e);
        } else {
            Q3D_FXInit(path.c_str(), kind % 2 ? prop_ : hero().model, 0.5f + float(kind) * 0.25f, int32_t(1 + kind % 2),
                       int32_t(kind == 3), 0);
        }
    }

    static constexpr int kSets = 60;
    size_t sounds_ = 0, hits_ = 0, impacts_ = 0;
    uint32_t seed_ = 0, clock_ = 0;
    Vec3 source_{0, 0, 0}, far_{0, 0, 30000};
    Vec3 places_[3] = {{0, 0, 1200}, {600, 0, 1200}, {0, 0, 0}};
};

TEST_F(Soak, MixedEffectsLeaveMemoryFlat) {
    const int frames = 1200;
    // Warm-up: the first loads, the sound and call logs up to their bounds.
    Round(frames);
    Marks firstMiddle = Round(frames);
    Marks base = Mark();
    for (int round = 0; round < 3; ++round) {
        Marks middle = Round(frames);
        Marks end = Mark();
        EXPECT_TRUE(middle == firstMiddle) << "round " << round << ": blocks " << middle.blocks << " / " << firstMiddle.blocks
                                           << ", pool end " << middle.poolEnd << " / " << firstMiddle.poolEnd << ", slots "
                                           << middle.slots << " / " << firstMiddle.slots;
        EXPECT_TRUE(end == base) << "round " << round << ": blocks " << end.blocks << " / " << base.blocks << ", pool end "
                                 << end.poolEnd << " / " << base.poolEnd << ", slots " << end.slots << " / " << base.slots;
        // The whole heap (the engine's own vectors and the call logs
        // included) holds no more than after the warm-up.
        EXPECT_LE(end.heap, base.heap + 16 * 1024) << "round " << round;
    }
    // Effects ran, with running sets in the middle of each round, the cache
    // full and evicting, sounds played and projectiles hitting.
    EXPECT_GT(firstMiddle.poolEnd, base.poolEnd);
    EXPECT_GT(firstMiddle.blocks, base.blocks);
    EXPECT_GT(sounds_, 1000u);
    EXPECT_GT(hits_, 100u);
    EXPECT_GT(impacts_, 20u);
}

}  // namespace
}  // namespace test
