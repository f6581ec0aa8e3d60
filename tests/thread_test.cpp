// The thread layer in both models: real threads (SDL back end; these suites
// also run under ThreadSanitizer) and the baton scheduler (headless).
#include "host/headless/scheduler.h"
#include "host/thread.h"
#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

// --- real threads -----------------------------------------------------------

class SdlThreadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host::SetThreadModel(host::ThreadModel::Real)); }
};

struct Pair {
    host::Event* a;
    host::Event* b;
    std::atomic<int> counter{0};
    std::atomic<bool> stop{false};
};

TEST_F(SdlThreadTest, WaitsAnswerInArrayOrderAndTimeOut) {
    host::Event* abort = host::CreateEvent(false, "abort");
    host::Event* full = host::CreateEvent(true, "full");
    host::Event* both[2] = {abort, full};
    EXPECT_EQ(host::WaitForMultipleObjects(2, both, false, host::INFINITE), host::WAIT_OBJECT_0 + 1);
    host::SetEvent(abort);
    EXPECT_EQ(host::WaitForMultipleObjects(2, both, false, 0), host::WAIT_OBJECT_0);  // abort first wins
    EXPECT_EQ(host::WaitForMultipleObjects(2, both, true, 0), host::WAIT_OBJECT_0);
    host::ResetEvent(abort);
    host::ResetEvent(full);
    EXPECT_EQ(host::WaitForMultipleObjects(2, both, false, 5), host::WAIT_TIMEOUT);
    EXPECT_EQ(host::WaitForMultipleObjects(0, both, false, 0), host::WAIT_FAILED);
    host::CloseEvent(abort);
    host::CloseEvent(full);
}

void SetLater(void* p) {
    auto* pair = static_cast<Pair*>(p);
    host::Sleep(2);
    host::SetEvent(pair->a);
    host::ResetEvent(pair->a);  // a set the waiter never sees as "set now" still ends its wait
    host::SetEvent(pair->b);
}

TEST_F(SdlThreadTest, AWaitSeesASetThatWasResetAgain) {
    Pair pair;
    pair.a = host::CreateEvent(false, "a");
    pair.b = host::CreateEvent(false, "b");
    host::Thread* t = host::CreateThread(SetLater, &pair, 0, "setter");
    ASSERT_NE(t, nullptr);
    uint32_t r = host::WaitForSingleObject(pair.a, host::INFINITE);
    EXPECT_EQ(r, host::WAIT_OBJECT_0);
    EXPECT_EQ(host::WaitForSingleObject(pair.b, host::INFINITE), host::WAIT_OBJECT_0);
    while (!host::ThreadHasEnded(t)) host::Sleep(0);
    host::CloseThread(t);
    host::CloseEvent(pair.a);
    host::CloseEvent(pair.b);
}

void Count(void* p) {
    auto* pair = static_cast<Pair*>(p);
    while (!pair->stop.load()) {
        pair->counter.fetch_add(1);
        host::ThreadCheckpoint();
    }
    host::SetEvent(pair->a);
    host::ExitThread();
}

TEST_F(SdlThreadTest, SuspensionHoldsTheThreadAtItsNextCall) {
    Pair pair;
    pair.a = host::CreateEvent(false, "ended");
    host::Thread* t = host::CreateThread(Count, &pair, 0, "counter");
    ASSERT_NE(t, nullptr);
    while (pair.counter.load() < 10) host::Sleep(0);
    EXPECT_EQ(host::SuspendThread(t), 0u);
    EXPECT_EQ(host::SuspendThread(t), 1u);
    int held = pair.counter.load();
    host::Sleep(5);
    EXPECT_EQ(pair.counter.load(), held);  // parked: not one more step
    EXPECT_EQ(host::ResumeThread(t), 2u);
    host::Sleep(2);
    EXPECT_EQ(pair.counter.load(), held);
    EXPECT_EQ(host::ResumeThread(t), 1u);
    while (pair.counter.load() == held) host::Sleep(0);
    pair.stop = true;
    EXPECT_EQ(host::WaitForSingleObject(pair.a, host::INFINITE), host::WAIT_OBJECT_0);
    while (!host::ThreadHasEnded(t)) host::Sleep(0);
    EXPECT_EQ(host::SuspendThread(t), 0xFFFFFFFFu);
    EXPECT_EQ(host::LiveThreadCount(), 0);
    EXPECT_TRUE(host::SetThreadPriority(t, -2));
    EXPECT_FALSE(host::SetThreadPriority(t, 3));
    host::CloseThread(t);
    host::CloseEvent(pair.a);
}

TEST_F(SdlThreadTest, ASuspendedWaiterKeepsItsWaitUntilResumed) {
    Pair pair;
    pair.a = host::CreateEvent(false, "go");
    pair.b = host::CreateEvent(false, "done");
    host::Thread* t = host::CreateThread(
        [](void* p) {
            auto* q = static_cast<Pair*>(p);
            host::WaitForSingleObject(q->a, host::INFINITE);
            q->counter = 1;
            host::SetEvent(q->b);
        },
        &pair, 0, "waiter");
    host::SuspendThread(t);
    host::SetEvent(pair.a);
    EXPECT_EQ(host::WaitForSingleObject(pair.b, 20), host::WAIT_TIMEOUT);
    EXPECT_EQ(pair.counter.load(), 0);
    host::ResumeThread(t);
    EXPECT_EQ(host::WaitForSingleObject(pair.b, host::INFINITE), host::WAIT_OBJECT_0);
    EXPECT_EQ(pair.counter.load(), 1);
    while (!host::ThreadHasEnded(t)) host::Sleep(0);
    host::CloseThread(t);
    host::CloseEvent(pair.a);
    host::CloseEvent(pair.b);
}

// --- baton scheduler ----------------------------------------------------------

class SchedulerTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ASSERT_EQ(host::CurrentThreadModel(), host::ThreadModel::Baton);
    }
};

std::string RunInterleaving(uint64_t seed) {
    host::headless::SetSchedulerSeed(seed);
    std::string text;
    struct Arg {
        std::string* text;
        char letter;
    } args[3] = {{&text, 'a'}, {&text, 'b'}, {&text, 'c'}};
    std::vector<host::Thread*> threads;
    for (Arg& a : args)
        threads.push_back(host::CreateThread(
            [](void* p) {
                auto* arg = static_cast<Arg*>(p);
                for (int i = 0; i < 5; ++i) {
                    *arg->text += arg->letter;
                    host::Sleep(i % 2);
                }
            },
            &a, 0, "writer"));
    for (host::Thread* t : threads) {
        while (!host::ThreadHasEnded(t)) host::Sleep(1);
        host::CloseThread(t);
    }
    return text;
}

TEST_F(SchedulerTest, EveryInterleavingComesBackFromItsSeed) {
    std::vector<std::string> seen;
    for (uint64_t seed = 0; seed < 12; ++seed) {
        std::string first = RunInterleaving(seed);
        EXPECT_EQ(RunInterleaving(seed), first) << "seed " << seed;
        EXPECT_EQ(first.size(), 15u);
        seen.push_back(first);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_GT(std::unique(seen.begin(), seen.end()) - seen.begin(), 4);  // the seeds do reorder
    EXPECT_EQ(host::LiveThreadCount(), 0);
}

TEST_F(SchedulerTest, TheClockJumpsToTheNearestDeadline) {
    host::headless::SetClock(1000000);
    host::Event* never = host::CreateEvent(false, "never");
    host::Thread* t = host::CreateThread([](void*) { host::Sleep(250); }, nullptr, 0, "sleeper");
    EXPECT_EQ(host::WaitForSingleObject(never, 40), host::WAIT_TIMEOUT);
    EXPECT_GE(host::headless::ClockMicroseconds(), 1040000u);
    EXPECT_LT(host::headless::ClockMicroseconds(), 1041000u);
    while (!host::ThreadHasEnded(t)) host::Sleep(1);
    EXPECT_GE(host::headless::ClockMicroseconds(), 1250000u);
    EXPECT_LT(host::headless::ClockMicroseconds(), 1251000u + 1000);
    host::CloseThread(t);
    host::CloseEvent(never);
}

TEST_F(SchedulerTest, ThreadsThatOnlyYieldStillMoveTheClock) {
    host::headless::SetAutoStep(0, 0);  // reading the clock moves nothing
    uint64_t start = host::headless::ClockMicroseconds();
    host::Thread* t = host::CreateThread(
        [](void*) {
            uint64_t from = host::headless::ClockMicroseconds();
            while (host::headless::ClockMicroseconds() < from + 5000) host::Sleep(0);
        },
        nullptr, 0, "spinner");
    while (!host::ThreadHasEnded(t)) host::Sleep(0);
    EXPECT_GE(host::headless::ClockMicroseconds(), start + 5000);
    host::CloseThread(t);
}

std::vector<std::string> g_reports;
void KeepReport(const std::string& report) {
    g_reports.push_back(report);
}

TEST_F(SchedulerTest, ADeadlockIsReportedWithEveryThreadsWait) {
    g_reports.clear();
    host::headless::SetDeadlockHandler(KeepReport);
    host::Event* a = host::CreateEvent(false, "reader empty");
    host::Event* b = host::CreateEvent(false, "decoder done");
    host::Event* pair[2] = {a, b};
    struct Arg {
        host::Event** pair;
        uint32_t result = 0;
    } arg{pair};
    host::Thread* t = host::CreateThread(
        [](void* p) {
            auto* x = static_cast<Arg*>(p);
            x->result = host::WaitForMultipleObjects(2, x->pair, false, host::INFINITE);
        },
        &arg, 0, "reader");
    host::Thread* s = host::CreateThread([](void*) { host::Sleep(10); }, nullptr, 0, "sleeper");
    host::SuspendThread(s);
    EXPECT_EQ(host::WaitForSingleObject(b, host::INFINITE), host::WAIT_FAILED);
    ASSERT_EQ(g_reports.size(), 1u);
    const std::string& r = g_reports[0];
    EXPECT_NE(r.find("thread 0 \"main\": waits for any of \"decoder done\" (clear) without time limit"),
              std::string::npos)
        << r;
    EXPECT_NE(r.find("\"reader\": waits for any of \"reader empty\" (clear), \"decoder done\" (clear)"),
              std::string::npos)
        << r;
    EXPECT_NE(r.find("\"sleeper\": suspended (count 1)"), std::string::npos) << r;
    for (host::Thread* x : {t, s}) {
        while (!host::ThreadHasEnded(x)) host::Sleep(1);
        host::CloseThread(x);
    }
    EXPECT_EQ(arg.result, host::WAIT_FAILED);
    EXPECT_EQ(host::headless::DeadlockCount(), 1);
    host::CloseEvent(a);
    host::CloseEvent(b);
}

TEST_F(SchedulerTest, ASuspendedThreadDoesNotRunUntilResumed) {
    struct Arg {
        int steps = 0;
        bool stop = false;
    } arg;
    host::Thread* t = host::CreateThread(
        [](void* p) {
            auto* x = static_cast<Arg*>(p);
            while (!x->stop) {
                ++x->steps;
                host::ThreadCheckpoint();
            }
        },
        &arg, 0, "stepper");
    for (int i = 0; i < 20; ++i) host::Sleep(0);
    EXPECT_GT(arg.steps, 0);
    host::SuspendThread(t);
    int held = arg.steps;
    for (int i = 0; i < 20; ++i) host::Sleep(1);
    EXPECT_EQ(arg.steps, held);
    host::ResumeThread(t);
    for (int i = 0; i < 20; ++i) host::Sleep(0);
    EXPECT_GT(arg.steps, held);
    arg.stop = true;
    while (!host::ThreadHasEnded(t)) host::Sleep(0);
    host::CloseThread(t);
}

}  // namespace
