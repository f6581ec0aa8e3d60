#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "test_support.h"

#include <cstring>
#include <vector>

namespace {

// A pool over a 32-byte aligned buffer, so address and offset rounding agree.
class PoolTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        savedConfig_ = EngineConfig;
        storage_.assign(1 << 20, 0xAB);
        auto addr = reinterpret_cast<uintptr_t>(storage_.data());
        base_ = storage_.data() + ((32 - (addr & 31)) & 31);
        MemInitPool(base_, 512 * 1024);
        MemEnable();
    }
    void TearDown() override {
        MemoryManager.base = nullptr;
        MemEnable();
        EngineConfig = savedConfig_;
        FatalText[0] = 0;
        HeadlessTest::TearDown();
    }
    uint32_t Taken(uint32_t request) {
        uint32_t before = MemoryManager.position;
        PoolBlock(request);
        return MemoryManager.position - before;
    }
    std::vector<uint8_t> storage_;
    uint8_t* base_ = nullptr;
    EngineConfigRecord savedConfig_;
};

}  // namespace

TEST_F(PoolTest, RoundingFollowsTheAlignmentByte) {
    EngineConfig.MemoryAlignment = 1;
    EXPECT_EQ(Taken(3), 4u);
    MemRelease(0);
    EXPECT_EQ(Taken(70000), 70016u);  // at a 32-aligned position: its end rounded to 32
    EXPECT_EQ(Taken(100), 100u);      // under 64 KB with the byte set: multiple of 4

    EngineConfig.MemoryAlignment = 2;
    MemRelease(0);
    Taken(3);  // position 4, not 32-aligned
    EXPECT_EQ(Taken(100), 100u);
    EXPECT_EQ(Taken(65536 + 7), 65543u);  // no rounding at all from 2 up

    EngineConfig.MemoryAlignment = 0;
    MemRelease(0);
    EXPECT_EQ(Taken(5), 8u);     // small blocks: multiple of 4
    EXPECT_EQ(Taken(40), 56u);   // from 8, the end goes to 64
    EXPECT_EQ(MemoryManager.position % 32, 0u);
}

TEST_F(PoolTest, FreeGivesBackOnlyTheLastBlockOnce) {
    void* a = MemAlloc(64);
    void* b = MemAlloc(64);
    uint32_t after = MemoryManager.position;
    MemFree(a);  // second-to-last: nothing changes
    EXPECT_EQ(MemoryManager.position, after);
    MemFree(b);
    EXPECT_EQ(MemoryManager.position, 64u);
    MemFree(b);  // again: already given back
    EXPECT_EQ(MemoryManager.position, 64u);
    EXPECT_EQ(MemAlloc(64), b);
}

TEST_F(PoolTest, MarkAndRelease) {
    MemAlloc(100);
    MemMark();
    uint32_t mark = MemoryManager.position;
    MemAlloc(1000);
    MemRelease(-1);
    EXPECT_EQ(MemoryManager.position, mark);
    MemAlloc(1000);
    MemRelease(32);
    EXPECT_EQ(MemoryManager.position, 32u);
    // After a release the last block is forgotten: only the base block frees.
    void* c = MemAlloc(64);
    MemRelease(-1);
    MemFree(c);
    EXPECT_EQ(MemoryManager.position, mark);
    MemFree(base_);
    EXPECT_EQ(MemoryManager.position, 0u);
}

TEST_F(PoolTest, BlocksReadAsZerosInBothModes) {
    auto* p = static_cast<uint8_t*>(MemAlloc(300));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(p[i], 0) << i;
    MemoryManager.base = nullptr;
    MemEnable();
    EXPECT_EQ(MemoryManager.poolOn, 0u);
    auto* h = static_cast<uint8_t*>(MemAlloc(300));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(h[i], 0) << i;
    MemFree(h);
}

TEST_F(PoolTest, ReallocCopiesIntoANewBlockAndKeepsTheOld) {
    auto* a = static_cast<uint8_t*>(MemAlloc(64));
    std::memset(a, 7, 64);
    auto* b = static_cast<uint8_t*>(MemRealloc(a, 128));
    EXPECT_GT(b, a);
    EXPECT_EQ(b[0], 7);
    EXPECT_EQ(b[63], 7);
    EXPECT_EQ(a[0], 7);
}

TEST_F(PoolTest, ExhaustionIsFatalWithTheSize) {
    MemInitPool(base_, 1024);
    MemEnable();
    MemAlloc(1024);  // filling the pool exactly is allowed
    EXPECT_THROW(MemAlloc(8), FatalReturn);
    EXPECT_STREQ(FatalText, "Memory allocation failed (8).");
    EXPECT_NE(ReadFile("debug.txt").find("Memory allocation failed (8)."), std::string::npos);
}

TEST_F(PoolTest, ExhaustionReportsTheRoundedSize) {
    MemInitPool(base_, 1024);
    MemEnable();
    MemAlloc(1022);  // 1024 taken, rounded to a multiple of 4
    MemRelease(1020);
    EXPECT_THROW(MemAlloc(5), FatalReturn);
    EXPECT_STREQ(FatalText, "Memory allocation failed (8).");
}

TEST_F(PoolTest, SizesNearTheWordLimitAreExhaustionNotTheBase) {
    for (uint8_t alignment : {0, 1, 2}) {
        SCOPED_TRACE(int(alignment));
        EngineConfig.MemoryAlignment = alignment;
        MemEnable();
        MemAlloc(16);
        for (uint32_t size : {0xFFFFFFFFu, 0xFFFFFFFDu, 0xFFFFFFE1u}) {
            FatalText[0] = 0;
            EXPECT_THROW(MemAlloc(size), FatalReturn);
            EXPECT_EQ(std::string(FatalText).rfind("Memory allocation failed (", 0), 0u) << FatalText;
            EXPECT_EQ(MemoryManager.position, 16u);  // nothing was handed out
        }
    }
}

TEST_F(PoolTest, PoolWithoutBaseIsFatalInKilobytes) {
    EXPECT_THROW(MemInitPool(nullptr, 4096 * 1024), FatalReturn);
    EXPECT_STREQ(FatalText, "Memory manager initialization failed. (4096 Kb)");
    MemEnable();
    EXPECT_EQ(MemoryManager.poolOn, 0u);
}

TEST_F(PoolTest, HeapFailureIsFatal) {
    MemoryManager.base = nullptr;
    MemEnable();
    HeapHooksTable saved = HeapHooks;
    HeapHooks.allocate = [](size_t) -> void* { return nullptr; };
    EXPECT_THROW(MemAlloc(4096), FatalReturn);
    HeapHooks = saved;
    EXPECT_STREQ(FatalText, "Memory allocation failed (4096).");
}

TEST_F(PoolTest, ArraysAreSizedInSixtyFourBitsAndNeverWrapToASmallBlock) {
    struct Row {
        int64_t count;
        uint64_t size;
        uint32_t bytes;  // 0: no block
    };
    const Row rows[] = {
        {1, 56, 56},
        {3, 12, 36},
        {0, 8, 0},
        {-1, 8, 0},
        {5, 0, 0},
        {0xFFFFFFFFll, 1, 0xFFFFFFFFu},     // the largest block
        {0x100000000ll, 1, 0},              // one byte past it
        {76695845, 56, 0},                  // 2^32 + 24 bytes
        {(1ll << 28) + 1, 16, 0},           // 2^32 + 16 bytes
        {INT64_MAX, 2, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.count);
        EXPECT_EQ(MemArrayBytes(r.count, r.size), r.bytes);
    }
    // A refused array hands nothing out of the pool.
    const uint32_t before = MemoryManager.position;
    EXPECT_EQ(MemAllocArray(76695845, 56), nullptr);
    EXPECT_EQ(MemoryManager.position, before);
    EXPECT_NE(MemAllocArray(4, 56), nullptr);
    EXPECT_GE(MemoryManager.position - before, 224u);
}
