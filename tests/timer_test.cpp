#include "host/headless/headless.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "program/winmain.h"
#include "test_support.h"

namespace {

// Exact clock: nothing moves unless the test moves it, no high-resolution
// counter, and the program counts as active so pumping returns.
class TimerTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::headless::SetAutoStep(0, 0);
        host::headless::SetPerformanceCounter(false);
        AppActive = 1;
        saved_ = EngineConfig;
    }
    void TearDown() override {
        EngineConfig = saved_;
        AppActive = 0;
        host::headless::ClearCpu();
        HeadlessTest::TearDown();
    }
    EngineConfigRecord saved_;
};

}  // namespace

TEST_F(TimerTest, ReadingsOnTheTickCount) {
    FrameTimer t;
    t.Flags = kTimerNoWait;
    FrameTimerInit(&t, 70);
    EXPECT_EQ(t.Flags & kTimerHiRes, 0);
    EXPECT_FLOAT_EQ(t.Scale, 0.07f);
    t.Previous = 4.0f;
    host::headless::AdvanceClock(100 * 1000);
    FrameTimerTick(&t);
    EXPECT_FLOAT_EQ(t.Previous, 7.0f);
    EXPECT_EQ(t.DeltaUnits, 3);
    EXPECT_EQ(t.HalfDelta, 1);
    EXPECT_EQ(t.DoubleDelta, 6);
}

TEST_F(TimerTest, NoWaitFlagNeverWaitsAndHalfDeltaIsAtLeastOne) {
    FrameTimer t;
    t.Flags = kTimerNoWait;
    t.Minimum = 5;
    FrameTimerInit(&t, 70);
    FrameTimerTick(&t);  // no time passed at all
    EXPECT_EQ(t.DeltaUnits, 0);
    EXPECT_EQ(t.HalfDelta, 1);
    EXPECT_EQ(t.DoubleDelta, 0);
}

TEST_F(TimerTest, DeltaBelowOneStillGivesHalfDeltaOne) {
    FrameTimer t;
    t.Flags = kTimerNoWait;
    FrameTimerInit(&t, 1000);
    host::headless::AdvanceClock(900);  // 0.9 ms = 0.9 units at 1000 a second
    FrameTimerTick(&t);
    EXPECT_EQ(t.HalfDelta, 1);
}

TEST_F(TimerTest, TickWaitsForMoreThanTheMinimumPumpingMessages) {
    host::headless::SetAutoStep(0, 1000);  // 1 ms per pump
    FrameTimer t;
    t.Minimum = 2;
    FrameTimerInit(&t, 70);
    uint64_t pumps = host::headless::PumpCount();
    FrameTimerTick(&t);
    EXPECT_EQ(t.DeltaUnits, 3);  // more than 2 ticks of 1/70 s: 43 ms
    EXPECT_GE(host::headless::PumpCount() - pumps, 42u);
}

TEST_F(TimerTest, ClockGoingBackRestartsTheTimer) {
    host::headless::SetClock(500000);
    FrameTimer t;
    t.Flags = kTimerNoWait;
    FrameTimerInit(&t, 70);
    host::headless::AdvanceClock(1000 * 1000);
    FrameTimerTick(&t);
    EXPECT_GT(t.Previous, 60.0f);
    // Without the no-wait flag, a reading below the previous one restarts
    // the clock instead of giving a negative frame.
    t.Flags &= static_cast<uint8_t>(~kTimerNoWait);
    host::headless::SetClock(1000000);
    host::headless::SetAutoStep(0, 1000);
    FrameTimerTick(&t);
    EXPECT_EQ(t.Start, 1000u);
    EXPECT_GT(t.DeltaUnits, 0);
}

TEST_F(TimerTest, TickCountWrapIsAnUnsignedDifference) {
    host::headless::SetClock((uint64_t(0xFFFFFFFFu) - 50) * 1000);
    FrameTimer t;
    t.Flags = kTimerNoWait;
    FrameTimerInit(&t, 1000);
    host::headless::AdvanceClock(100 * 1000);  // the tick count wraps past 2^32
    FrameTimerTick(&t);
    EXPECT_EQ(t.DeltaUnits, 100);
}

TEST_F(TimerTest, HighResolutionCounterIsPreferred) {
    host::headless::SetPerformanceCounter(true);
    FrameTimer t;
    t.Flags = kTimerNoWait;
    FrameTimerInit(&t, 70);
    EXPECT_EQ(t.Flags & kTimerHiRes, kTimerHiRes);
    EXPECT_FLOAT_EQ(t.Scale, 70.0f / 1000000.0f);
    host::headless::AdvanceClock(1000000);
    FrameTimerTick(&t);
    EXPECT_EQ(t.DeltaUnits, 70);
    FrameTimerClearHiRes(&t);
    EXPECT_EQ(t.Flags & kTimerHiRes, 0);
    FrameTimerReset(&t);
    EXPECT_EQ(t.DeltaUnits, 0);
    EXPECT_EQ(t.Delta, 0.0f);
}

TEST_F(TimerTest, WaitMsSpinsOnTheTickCountAcrossTheWrap) {
    host::headless::SetAutoStep(100, 0);
    host::headless::SetClock((uint64_t(0xFFFFFFFFu) - 2) * 1000);
    uint64_t before = host::headless::ClockMicroseconds();
    WaitMs(10);
    uint64_t waited = host::headless::ClockMicroseconds() - before;
    EXPECT_GE(waited, 9000u);
    EXPECT_LE(waited, 11000u);
    EXPECT_EQ(GetTimeSeconds(), GetTimeMs() / 1000);
    EXPECT_EQ(MemoryHint(), 0x800000u);
}

namespace {

ProcessorRecord Detect(const host::headless::FakeCpu& cpu) {
    host::headless::SetCpu(cpu);
    ProcessorRecord r;
    DetectProcessor(&r);
    return r;
}

constexpr uint32_t kMmx = 1u << 23;

}  // namespace

TEST_F(TimerTest, ProcessorWithoutCpuid) {
    EngineConfig.SystemConfig = 5;
    ProcessorRecord r = Detect({false, "", 0, 0, 0});
    EXPECT_EQ(EngineConfig.Processor, 4);
    EXPECT_EQ(EngineConfig.SystemConfig, 5u);  // bits 3 and 4 unchanged
    EXPECT_EQ(r.cpuidAvailable, 0);
}

TEST_F(TimerTest, IntelProcessorClasses) {
    EngineConfig.SystemConfig = 0;
    ProcessorRecord r = Detect({true, "GenuineIntel", 0x543, 0, 0});
    EXPECT_STREQ(r.vendor, "GenuineIntel");
    EXPECT_STREQ(r.name, "Intel Pentium");
    EXPECT_EQ(EngineConfig.Processor, 5);
    EXPECT_EQ(EngineConfig.SystemConfig & 8, 0u);

    r = Detect({true, "GenuineIntel", 0x543, kMmx, 0});
    EXPECT_STREQ(r.name, "Intel Pentium MMx");
    EXPECT_EQ(EngineConfig.SystemConfig & 8, 8u);

    r = Detect({true, "GenuineIntel", 0x612, kMmx, 0});
    EXPECT_STREQ(r.name, "Intel Pentium Pro");
    EXPECT_EQ(EngineConfig.Processor, 6);

    r = Detect({true, "GenuineIntel", 0x633, kMmx, 0});
    EXPECT_STREQ(r.name, "Intel Pentium II");
    EXPECT_EQ(EngineConfig.Processor, 7);

    r = Detect({true, "GenuineIntel", 0x672, kMmx | (1u << 25), 0});
    EXPECT_STREQ(r.name, "Intel Katmai");
    EXPECT_EQ(EngineConfig.Processor, 8);
    EXPECT_EQ(r.signature, 0x672u);
}

TEST_F(TimerTest, AmdAlwaysGetsMmxAndMayGet3DNow) {
    EngineConfig.SystemConfig = 0;
    ProcessorRecord r = Detect({true, "AuthenticAMD", 0x580, 0, 0});
    EXPECT_STREQ(r.name, "AMD K6");
    EXPECT_EQ(EngineConfig.SystemConfig, 8u);
    r = Detect({true, "AuthenticAMD", 0x580, 0, 0x80000000u | kMmx});
    EXPECT_STREQ(r.name, "AMD K6/2");
    EXPECT_EQ(EngineConfig.SystemConfig, 0x18u);
    EXPECT_EQ(r.features, 0x80000000u | kMmx);  // the extended features replace leaf 1's
}

TEST_F(TimerTest, OtherVendors) {
    ProcessorRecord r = Detect({true, "CyrixInstead", 0x520, 0, 0});
    EXPECT_STREQ(r.name, "Cyrix");
    r = Detect({true, "SomeOtherCPU", 0x520, 0, 0});
    EXPECT_STREQ(r.name, "");
    EXPECT_EQ(EngineConfig.Processor, 5);
}

TEST_F(TimerTest, RealProcessorIsRecognised) {
    host::headless::ClearCpu();
    ProcessorRecord r;
    DetectProcessor(&r);
    EXPECT_GE(EngineConfig.Processor, 4);
    EXPECT_LE(EngineConfig.Processor, 8);
}
