// Passes, instances and the set cache: repeats, forever and freeing, the
// instance list's bounds, restarts, eviction of unused sets only, and the
// game's reactions starting or freeing effects from inside the update.
#include "fx_support.h"

#include "engine3d/dqx_obj.h"

#include <set>

namespace test {
namespace {

class Passes : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        path_ = PutEffect(".\\fx\\loop", SimpleSet(4, Timing(15)));
    }
    int SlotOf(int instance) { return InstanceSlots(instance).at(0); }
    std::string path_;
};

TEST_F(Passes, RepeatCountsPassesAndForeverRunsUntilFreed) {
    int once = Q3D_FXInit(path_.c_str(), prop_, 1.0f, 1, 0, 0);
    int twice = Q3D_FXInit(path_.c_str(), prop_, 1.0f, 2, 0, 0);
    int ever = Q3D_FXInit(path_.c_str(), prop_, 1.0f, -1, 0, 0);
    int s1 = SlotOf(once), s2 = SlotOf(twice), s3 = SlotOf(ever);
    int passes = 1, lastFrame = 0;
    for (uint32_t t = 0; t <= 2000; t += 33) {
        StepTo(t);
        // Frame 3 (end - 1) at 201 ms ends a pass: the first step after it
        // is at 231 ms.
        if (t == 231) {
            EXPECT_FALSE(g_EffectSlots[s1].inUse);
            EXPECT_TRUE(g_EffectSlots[s2].inUse);
        }
        if (t == 462) {
            EXPECT_FALSE(g_EffectSlots[s2].inUse);
        }
        ASSERT_TRUE(g_EffectSlots[s3].inUse);
        if (g_EffectSlots[s3].frame < lastFrame) ++passes;
        lastFrame = g_EffectSlots[s3].frame;
    }
    EXPECT_EQ(Get_EffectParam(once), -1);
    EXPECT_EQ(Get_EffectParam(twice), -1);
    EXPECT_EQ(passes, 1 + 2000 / 231);  // a pass every 231 ms
    // Each pass plays a fresh copy of the cached object: the node
    // animation's offsets start again from the file's.
    Vec3 glow;
    Get_ObjPos(Get_BlockBase(g_EffectSlots[s3].object) + 1, &glow);
    EXPECT_LE(glow.z, 100 * 3 / 4);
    EXPECT_EQ(Free_Effect(ever), 1);
    EXPECT_FALSE(g_EffectSlots[s3].inUse);
    EXPECT_EQ(Get_EffectParam(ever), -1);
}

TEST_F(Passes, SetEndingOnItsFirstStepRestartsOncePerUpdate) {
    // A forced frame past the end: each update ends the pass once, restarts
    // once, and leaves the next end to the next update.
    for (int repeat : {2, 3}) {
        int e = Q3D_FXInit(path_.c_str(), prop_, 1.0f, repeat, 0, 0);
        int slot = SlotOf(e);
        Set_EffectSetParam(10, slot);
        for (int update = 1; update < repeat; ++update) {
            StepTo(33 * uint32_t(update));
            EXPECT_TRUE(g_EffectSlots[slot].inUse) << repeat << " " << update;
            EXPECT_EQ(g_EffectSlots[slot].repeat, repeat - update);
            EXPECT_EQ(g_EffectSlots[slot].forcedFrame, 10);
        }
        StepTo(33 * uint32_t(repeat));
        EXPECT_FALSE(g_EffectSlots[slot].inUse) << repeat;
    }
    // Forever: it survives any number of updates.
    int e = Q3D_FXInit(path_.c_str(), prop_, 1.0f, -1, 0, 0);
    Set_EffectSetParam(10, SlotOf(e));
    for (int i = 0; i < 100; ++i) StepTo(1000 + 33 * uint32_t(i));
    EXPECT_EQ(Get_EffectParam(e), 0);
    EXPECT_EQ(Free_Effect(e), 1);
}

TEST_F(Passes, PassCountsBelowOneOtherThanForeverPlayOnePass) {
    // A pass of the loop set lasts 231 ms of steps 33 ms apart (above).
    struct Row {
        int32_t repeat;
        uint32_t passes;
    };
    const Row rows[] = {{1, 1}, {2, 2}, {0, 1}, {-2, 1}, {-1000, 1}, {INT32_MIN, 1}};
    uint32_t t = 0;
    for (const Row& row : rows) {
        int e = Q3D_FXInit(path_.c_str(), prop_, 1.0f, row.repeat, 0, 0);
        int slot = SlotOf(e);
        uint32_t end = t + 231 * row.passes;
        for (; t < end; t += 33) {
            StepTo(t);
            ASSERT_TRUE(g_EffectSlots[slot].inUse) << row.repeat << " at " << t;
        }
        StepTo(t);
        EXPECT_FALSE(g_EffectSlots[slot].inUse) << row.repeat;
        EXPECT_EQ(Get_EffectParam(e), -1) << row.repeat;
        t += 33;
    }
}

TEST_F(Passes, RestartStepsNoOtherSetTwice) {
    // A projectile flying away in the lower slot moves 60 units at every
    // step after its frame 0; the set in the next slot, played forever, ends
    // a pass and starts the next within the same updates.
    kit::ClsSpec cls = Timing(15);
    cls.projectile = 1;
    std::string boltPath = PutEffect(".\\fx\\bolt", SimpleSet(60, cls));
    Vec3 source{0, 0, 0}, far{0, 0, 20000};
    int bolt = Q3D_FXInit2(boltPath.c_str(), &far, &source, nullptr, kNoTarget, 7);
    int ever = Q3D_FXInit(path_.c_str(), prop_, 1.0f, -1, 0, 0);
    const EffectSlot& flying = g_EffectSlots[SlotOf(bolt)];
    const EffectSlot& looping = g_EffectSlots[SlotOf(ever)];
    ASSERT_LT(SlotOf(bolt), SlotOf(ever));
    int restarts = 0, steps = 0;
    for (uint32_t t = 0; t <= 1000; t += 33) {
        int32_t z = flying.flightPosition.z, frame = looping.frame;
        StepTo(t);
        int32_t moved = flying.flightPosition.z - z;
        EXPECT_TRUE(moved == 0 || moved == 60) << "at " << t << ": " << moved;
        steps += moved / 60;
        if (looping.frame < frame) ++restarts;
    }
    EXPECT_EQ(restarts, 1000 / 231);
    EXPECT_EQ(flying.flightPosition.z, 60 * steps);
    EXPECT_GT(steps, 10);
}

TEST_F(Passes, FramesAtTheEdgesOfTheirRangeEndOrHide) {
    // A forced frame at the top of the range on a set played forever: the
    // pass ends, restarts at once, stands at that frame again, and the next
    // update steps on from it without a next frame to count.
    kit::EffectSetSpec tracked = SimpleSet(4, Timing(15));
    tracked.eff.scales = {{"glow", {}, {{1, 0.5f, 0.5f, 0.5f}, {3, 2.0f, 1.0f, 2.0f}}}};
    kit::CgsRecordSpec sound;
    sound.soundFrame = 2;
    sound.sound = ".\\smp\\effets\\tir.wav";
    std::string top = PutEffect(".\\fx\\top", tracked, sound);
    int e = Q3D_FXInit(top.c_str(), prop_, 1.0f, -1, 0, 0);
    int slot = SlotOf(e);
    Set_EffectSetParam(INT32_MAX, slot);
    for (uint32_t t = 33; t <= 33 * 4; t += 33) {
        StepTo(t);
        ASSERT_TRUE(g_EffectSlots[slot].inUse);
        EXPECT_EQ(g_EffectSlots[slot].frame, INT32_MAX);
    }
    // At the bottom: hidden at frame 0.
    Set_EffectSetParam(INT32_MIN, slot);
    StepTo(33 * 5);
    EXPECT_EQ(g_EffectSlots[slot].frame, 0);
    EXPECT_EQ(Free_Effect(e), 1);
    // An end frame at the bottom of the range: the first frame ends the
    // single pass.
    kit::EffectSetSpec low = SimpleSet(4, Timing(15));
    low.eff.endFrame = INT32_MIN;
    std::string lowPath = PutEffect(".\\fx\\low", low);
    int l = Q3D_FXInit(lowPath.c_str(), prop_, 1.0f, 1, 0, 0);
    int lowSlot = SlotOf(l);
    StepTo(1000);
    StepTo(2000);
    EXPECT_FALSE(g_EffectSlots[lowSlot].inUse);
    EXPECT_EQ(Get_EffectParam(l), -1);
}

TEST_F(Passes, InstanceListsOnlyLoadedSetsAndStaysWithinItsBounds) {
    // 60 records: the 50 slots fill, the others are not listed.
    std::vector<kit::CgsRecordSpec> many(60, kit::CgsRecordSpec{0, 0, "*", ".\\fx\\loop"});
    PutCgs(".\\fx\\many.cgs", many, 33);
    int e = Q3D_FXInit(".\\fx\\many.cgs", prop_, 1.0f, -1, 0, 0);
    ASSERT_GE(e, 0);
    EXPECT_EQ(g_EffectInstances[e].count, kEffectSlots);
    EXPECT_EQ(Get_EffectParam(e), 33);
    EXPECT_EQ(Load_EffectSet(".\\fx\\loop", prop_, 1.0f, 1, 0, nullptr, 0, nullptr, 0, 0), -2);
    StepTo(0);
    Free_Effect(e);
    // 150 records that fail: an active instance with no slot, retired by
    // the next update.
    std::vector<kit::CgsRecordSpec> missing(150, kit::CgsRecordSpec{0, 0, "*", ".\\fx\\nothing"});
    PutCgs(".\\fx\\missing.cgs", missing, 5);
    int m = Q3D_FXInit(".\\fx\\missing.cgs", prop_, 1.0f, 1, 0, 0);
    ASSERT_GE(m, 0);
    EXPECT_EQ(g_EffectInstances[m].count, 0);
    EXPECT_EQ(Get_EffectParam(m), 5);
    Update_Effects();
    EXPECT_EQ(Get_EffectParam(m), -1);
    // A file of its header alone starts nothing; a missing file neither.
    PutCgs(".\\fx\\empty.cgs", {}, 1);
    EXPECT_EQ(Q3D_FXInit(".\\fx\\empty.cgs", prop_, 1.0f, 1, 0, 0), -1);
    EXPECT_EQ(Q3D_FXInit(".\\fx\\absent.cgs", prop_, 1.0f, 1, 0, 0), -1);
    // A record cut short at the end of the file is not a record.
    std::vector<uint8_t> cut = kit::CgsFile({{0, 0, "*", ".\\fx\\loop"}, {0, 0, "*", ".\\fx\\loop"}});
    cut.resize(cut.size() - 1);
    Put(".\\fx\\cut.cgs", cut);
    int c = Q3D_FXInit(".\\fx\\cut.cgs", prop_, 1.0f, 1, 0, 0);
    EXPECT_EQ(g_EffectInstances[c].count, 1);
    EXPECT_EQ(Fx_OpenCount(), 0);
}

TEST_F(Passes, AllFiftyInstancesThenNone) {
    std::vector<int> started;
    for (int i = 0; i < kEffectInstances; ++i) started.push_back(Q3D_FXInit(".\\fx\\missing.cgs", prop_, 1.0f, 1, 0, 0));
    PutCgs(".\\fx\\missing.cgs", {{0, 0, "*", ".\\fx\\none"}});
    started.clear();
    for (int i = 0; i < kEffectInstances; ++i) started.push_back(Q3D_FXInit(".\\fx\\missing.cgs", prop_, 1.0f, 1, 0, 0));
    EXPECT_EQ(started.back(), kEffectInstances - 1);
    EXPECT_EQ(Q3D_FXInit(".\\fx\\missing.cgs", prop_, 1.0f, 1, 0, 0), -1);
    EXPECT_EQ(Fx_OpenCount(), 0);
}

TEST_F(Passes, FreeingAnInstanceLeavesASlotTakenByAnotherEffect) {
    std::string longPath = PutEffect(".\\fx\\long", SimpleSet(1000, Timing(15)));
    PutCgs(".\\fx\\pair.cgs", {{0, 0, "*", ".\\fx\\loop"}, {0, 0, "*", ".\\fx\\long"}});
    int first = Q3D_FXInit(".\\fx\\pair.cgs", prop_, 1.0f, 1, 0, 0);
    int shortSlot = InstanceSlots(first)[0];
    for (uint32_t t = 0; t < 400; t += 33) StepTo(t);
    ASSERT_FALSE(g_EffectSlots[shortSlot].inUse);
    int second = Q3D_FXInit(longPath.c_str(), prop_, 1.0f, 1, 0, 0);
    ASSERT_EQ(InstanceSlots(second)[0], shortSlot);
    EXPECT_EQ(Free_Effect(first), 1);
    EXPECT_TRUE(g_EffectSlots[shortSlot].inUse);
    EXPECT_EQ(Get_EffectParam(second), 0);
}

TEST_F(Passes, CachedSetIsCopiedNotReadAgain) {
    int a = Q3D_FXInit(path_.c_str(), prop_, 1.0f, -1, 0, 0);
    ASSERT_GE(a, 0);
    EXPECT_EQ(g_EffectSetCacheCount, 1);
    // The set's files but its object are gone: the second start copies the
    // cached set.
    for (const char* ext : {".3da", ".eff", ".cls"}) std::filesystem::remove(dir_ / (std::string("fx/loop") + ext));
    int b = Q3D_FXInit(path_.c_str(), prop_, 1.0f, 1, 0, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(g_EffectSetCacheCount, 1);
    EXPECT_EQ(g_EffectSetCache->users, 2);
    EXPECT_EQ(g_EffectSlots[SlotOf(b)].animation, g_EffectSlots[SlotOf(a)].animation);
    EXPECT_NE(g_EffectSlots[SlotOf(b)].object, g_EffectSlots[SlotOf(a)].object);
    // A copy hangs in the scene like the loaded object.
    EXPECT_EQ(Get_ObjParent(g_EffectSlots[SlotOf(b)].object), 0);
    EXPECT_EQ(g_EffectSlots[SlotOf(b)].header.msPerFrame, 66);
}

TEST_F(Passes, FullCacheEvictsTheOldestUnusedSetOnly) {
    // The oldest set plays forever while 55 others pass through the cache.
    int aura = Q3D_FXInit(path_.c_str(), prop_, 1.0f, -1, 0, 0);
    int auraSlot = SlotOf(aura);
    uint32_t t = 0;
    for (int i = 0; i < 55; ++i) {
        std::string p = PutEffect(".\\fx\\s" + std::to_string(i), SimpleSet(3, Timing(30)));
        ASSERT_GE(Q3D_FXInit(p.c_str(), prop_, 1.0f, 1, 0, 0), 0);
        for (int k = 0; k < 4; ++k) StepTo(t += 33);
    }
    EXPECT_EQ(g_EffectSetCacheCount, kEffectCacheLimit);
    ASSERT_TRUE(g_EffectSlots[auraSlot].inUse);
    EXPECT_STREQ(g_EffectSetCache->name, ".\\fx\\loop");
    EXPECT_EQ(Get_BlockType(g_EffectSlots[auraSlot].animation), kBlockAnimation);
    // Sets 0..5 were evicted in age order; the newest are cached.
    EXPECT_STREQ(g_EffectSetCache->next->name, ".\\fx\\s6");
    for (int k = 0; k < 10; ++k) StepTo(t += 33);
    EXPECT_TRUE(g_EffectSlots[auraSlot].inUse);
}

TEST_F(Passes, CacheFreedUnderRunningSetsLetsThemFinish) {
    int a = Q3D_FXInit(path_.c_str(), prop_, 1.0f, 2, 0, 0);
    int slot = SlotOf(a);
    StepTo(0);
    Free_EffectSets();
    EXPECT_EQ(g_EffectSetCacheCount, 0);
    EXPECT_EQ(g_EffectSetCache, nullptr);
    // The set plays on (restarting from its own copy) and goes with its slot.
    for (uint32_t t = 33; t < 1000; t += 33) StepTo(t);
    EXPECT_FALSE(g_EffectSlots[slot].inUse);
}

TEST_F(Passes, ReactionsMayStartAndFreeEffectsDuringTheUpdate) {
    kit::ClsSpec cls = Timing(15);
    cls.projectile = 1;
    PutSet(".\\fx\\bolt", SimpleSet(30, cls));
    PutCgs(".\\fx\\bolt.cgs", {{0, 0, "*", ".\\fx\\bolt"}});
    static std::string started;
    static int startedInstance;
    started = path_;
    startedInstance = -1;
    // The hit starts an effect of its own.
    EngineServices.HitCharacter = [](const HitArgs*) {
        startedInstance = Q3D_FXInit(started.c_str(), 0, 1.0f, 1, 0, 0);
    };
    Vec3 source{0, 0, 0}, at{600, 0, 1200};
    int bolt = Q3D_FXInit2(".\\fx\\bolt.cgs", &at, &source, &hero(), AtCharacter(&enemy()), 4);
    int boltSlot = SlotOf(bolt);
    uint32_t t = 0;
    while (g_EffectSlots[boltSlot].inUse && t < 3000) StepTo(t += 33);
    ASSERT_GE(startedInstance, 0);
    EXPECT_EQ(Get_EffectParam(startedInstance), 0);
    // The hit frees every effect, its own set among them.
    EngineServices.HitCharacter = [](const HitArgs*) { Free_AllEffects(); };
    int other = Q3D_FXInit(path_.c_str(), prop_, 1.0f, -1, 0, 0);
    bolt = Q3D_FXInit2(".\\fx\\bolt.cgs", &at, &source, &hero(), AtCharacter(&enemy()), 4);
    boltSlot = SlotOf(bolt);
    while (g_EffectSlots[boltSlot].inUse && t < 6000) StepTo(t += 33);
    EXPECT_EQ(Get_EffectParam(other), -1);
    for (const EffectSlot& s : g_EffectSlots) EXPECT_FALSE(s.inUse);
}

TEST_F(Passes, NinthOpenEffectFileIsFatal) {
    FxFile* open[8];
    for (FxFile*& f : open) {
        f = Fx_Open(path_.c_str(), "rb");
        ASSERT_NE(f, nullptr);
    }
    EXPECT_EQ(Fatal([&] { Fx_Open(path_.c_str(), "rb"); }), "Trop de fichiers ouvert...");
    for (FxFile* f : open) Fx_Close(f);
    EXPECT_EQ(Fx_OpenCount(), 0);
    EXPECT_EQ(Fx_Open(".\\fx\\absent.cgs", "rb"), nullptr);
}

}  // namespace
}  // namespace test
