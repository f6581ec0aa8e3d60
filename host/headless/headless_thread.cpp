// The baton scheduler: the headless back end's thread model.  Every thread
// is a real thread, but a thread runs only while it holds the baton, and it
// hands the baton on inside each call of the thread layer.  The holder
// chooses the next holder among the threads that can run; time is the
// virtual clock, moved only by the scheduler (and by clock reads, as
// everywhere headless).  See host/headless/scheduler.h.
#include "host/headless/headless.h"
#include "host/headless/scheduler.h"
#include "host/thread_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

namespace host::detail {

namespace {

using headless::TimeSource;

// Consecutive draws among threads that only yield before the clock moves
// by 1 ms on its own.
constexpr int kSpinLimit = 64;
constexpr uint64_t kNoDeadline = UINT64_MAX;

struct MainThread {
    Thread record;
    MainThread() {
        record.name = "main";
        record.state = ThreadState::Running;
        record.parked = false;
        record.references = 1 << 30;
    }
};

std::mutex g_lock;
MainThread g_mainThread;
Thread* const g_main = &g_mainThread.record;
Thread* g_holder = g_main;
std::vector<Thread*> g_threads{g_main};  // the program's thread first, then creation order
int g_live = 0;
int g_numbers = 0;
uint64_t g_seed = 0;
uint64_t g_random = 0;
uint64_t g_passes = 0;
int g_spins = 0;
bool g_inScheduler = false;  // time sources act: their event sets pass no baton
headless::DeadlockHandler g_handler = nullptr;
int g_deadlocks = 0;
std::string g_report;
std::vector<TimeSource> g_sources;
thread_local Thread* t_self = nullptr;

Thread* Self() {
    return t_self ? t_self : g_main;
}

uint64_t Now() {
    return headless::ClockMicroseconds();
}

// splitmix64: a generator of the scheduler's own, apart from the program's.
uint64_t NextRandom() {
    uint64_t z = (g_random += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool Runnable(const Thread* t, uint64_t now) {
    if (t->ended || t->suspendCount > 0) return false;
    switch (t->state) {
    case ThreadState::NotStarted:
    case ThreadState::Running:
    case ThreadState::Yielding: return true;
    case ThreadState::Waiting:
        return t->broken || SatisfiedIndex(t->waitEvents, t->waitSets, t->waitAll) >= 0 ||
               (t->hasDeadline && now >= t->deadlineUs);
    case ThreadState::Sleeping: return now >= t->deadlineUs;
    case ThreadState::Ended: return false;
    }
    return false;
}

uint64_t NextDeadline(uint64_t now) {
    uint64_t next = kNoDeadline;
    for (const Thread* t : g_threads) {
        if (t->ended || t->suspendCount > 0) continue;
        if ((t->state == ThreadState::Waiting && t->hasDeadline) || t->state == ThreadState::Sleeping)
            next = std::min(next, t->deadlineUs);
    }
    for (const TimeSource& s : g_sources) next = std::min(next, s.nextDeadline(s.self, now));
    if (next != kNoDeadline && next <= now) next = now + 1;
    return next;
}

// Lets the time sources act at the present time, with the lock released so
// that they may set events.
void RunSources(std::unique_lock<std::mutex>& lock) {
    if (g_sources.empty()) return;
    std::vector<TimeSource> sources = g_sources;
    uint64_t now = Now();
    lock.unlock();
    g_inScheduler = true;
    for (const TimeSource& s : sources) s.advance(s.self, now);
    g_inScheduler = false;
    lock.lock();
}

std::string EventList(const Thread* t) {
    std::string out;
    for (size_t i = 0; i < t->waitEvents.size(); ++i) {
        const Event* e = t->waitEvents[i];
        if (i) out += ", ";
        out += "\"" + (e->name.empty() ? std::string("unnamed event") : e->name) + "\"";
        out += e->set ? " (set)" : " (clear)";
    }
    return out;
}

std::string DescribeThread(const Thread* t) {
    char head[160];
    std::snprintf(head, sizeof head, "  thread %d \"%s\": ", t->number, t->name.c_str());
    std::string line = head;
    if (t->ended) return line + "ended\n";
    if (t->suspendCount > 0) line += "suspended (count " + std::to_string(t->suspendCount) + "), ";
    switch (t->state) {
    case ThreadState::NotStarted: line += "not started"; break;
    case ThreadState::Running: line += "between calls"; break;
    case ThreadState::Yielding: line += "yielding"; break;
    case ThreadState::Sleeping: line += "sleeping until " + std::to_string(t->deadlineUs) + " us"; break;
    case ThreadState::Waiting:
        line += std::string("waits for ") + (t->waitAll ? "all of " : "any of ") + EventList(t);
        line += t->hasDeadline ? " until " + std::to_string(t->deadlineUs) + " us" : " without time limit";
        break;
    case ThreadState::Ended: line += "ended"; break;
    }
    return line + "\n";
}

// Nothing can run and nothing waits for a time: report, then break it so
// that the threads can be wound up.
void Deadlock(std::unique_lock<std::mutex>& lock) {
    std::string report = "deadlock at " + std::to_string(Now()) + " us (scheduler seed " +
                         std::to_string(g_seed) + "): no thread can run and none waits for a time\n";
    for (const Thread* t : g_threads) report += DescribeThread(t);
    ++g_deadlocks;
    g_report = report;
    headless::DeadlockHandler handler = g_handler;
    lock.unlock();
    if (!handler) {
        std::fputs(report.c_str(), stderr);
        std::abort();
    }
    handler(report);
    lock.lock();
    for (Thread* t : g_threads) {
        if (t->state == ThreadState::Waiting && !t->hasDeadline) t->broken = true;
        t->suspendCount = 0;
    }
}

// Settles the chosen thread's call: its wait result, and it runs.
void Resolve(Thread* t, uint64_t now) {
    if (t->state == ThreadState::Waiting) {
        int i = SatisfiedIndex(t->waitEvents, t->waitSets, t->waitAll);
        if (i >= 0) t->waitResult = WAIT_OBJECT_0 + uint32_t(i);
        else if (t->broken) t->waitResult = WAIT_FAILED;
        else t->waitResult = WAIT_TIMEOUT;
        (void)now;
    }
    t->broken = false;
    t->state = ThreadState::Running;
}

Thread* Pick(const std::vector<Thread*>& ready) {
    if (g_seed != 0) return ready[NextRandom() % ready.size()];
    // Round robin: the first ready thread after the holder in creation order.
    auto at = std::find(g_threads.begin(), g_threads.end(), g_holder);
    size_t start = at == g_threads.end() ? 0 : size_t(at - g_threads.begin()) + 1;
    for (size_t k = 0; k < g_threads.size(); ++k) {
        Thread* t = g_threads[(start + k) % g_threads.size()];
        if (std::find(ready.begin(), ready.end(), t) != ready.end()) return t;
    }
    return ready.front();
}

Thread* ChooseNext(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        RunSources(lock);
        uint64_t now = Now();
        std::vector<Thread*> ready;
        bool onlyYielding = true;
        for (Thread* t : g_threads) {
            if (!Runnable(t, now)) continue;
            ready.push_back(t);
            if (t->state != ThreadState::Yielding) onlyYielding = false;
        }
        if (!ready.empty()) {
            if (!onlyYielding) {
                g_spins = 0;
            } else if (++g_spins >= kSpinLimit) {
                g_spins = 0;
                headless::SetClock(std::min(now + 1000, NextDeadline(now)));
                continue;
            }
            Thread* next = Pick(ready);
            Resolve(next, now);
            ++g_passes;
            return next;
        }
        uint64_t deadline = NextDeadline(now);
        if (deadline != kNoDeadline) {
            headless::SetClock(deadline);
            continue;
        }
        Deadlock(lock);
    }
}

// The holder (the caller) has recorded what it does; the baton goes to the
// next holder and comes back once the caller's call is settled.
void PassBaton(std::unique_lock<std::mutex>& lock, Thread* self) {
    Thread* next = ChooseNext(lock);
    g_holder = next;
    if (next == self) return;
    next->baton.notify_one();
    self->baton.wait(lock, [self] { return g_holder == self; });
}

bool Holds(const Thread* self) {
    return g_holder == self && !g_inScheduler;
}

void Release(Thread* t) {
    if (--t->references > 0) return;
    g_threads.erase(std::remove(g_threads.begin(), g_threads.end(), t), g_threads.end());
    delete t;
}

// --- operations -----------------------------------------------------------

Event* CreateEventBaton(bool initiallySet, const char* name) {
    std::lock_guard<std::mutex> lock(g_lock);
    auto* e = new Event;
    e->set = initiallySet;
    e->name = name ? name : "";
    return e;
}

bool SetEventBaton(Event* e) {
    std::unique_lock<std::mutex> lock(g_lock);
    bool changed = !e->set;
    if (changed) {
        e->set = true;
        ++e->sets;
    }
    // Setting an event that is set already changes nothing: a loop of such
    // sets only spins.
    Thread* self = Self();
    if (Holds(self)) {
        self->state = changed ? ThreadState::Running : ThreadState::Yielding;
        PassBaton(lock, self);
    }
    return true;
}

bool ResetEventBaton(Event* e) {
    std::lock_guard<std::mutex> lock(g_lock);
    e->set = false;
    return true;
}

void CloseEventBaton(Event* e) {
    std::lock_guard<std::mutex> lock(g_lock);
    delete e;
}

bool EventIsSetBaton(Event* e) {
    std::lock_guard<std::mutex> lock(g_lock);
    return e->set;
}

uint32_t WaitBaton(uint32_t count, Event* const* events, bool waitAll, uint32_t ms) {
    std::unique_lock<std::mutex> lock(g_lock);
    Thread* self = Self();
    if (!Holds(self)) {
        // Not a scheduled thread: only a poll can be answered.
        std::vector<Event*> list(events, events + count);
        int i = SatisfiedIndex(list, std::vector<uint64_t>(count, UINT64_MAX), waitAll);
        return i >= 0 ? WAIT_OBJECT_0 + uint32_t(i) : WAIT_TIMEOUT;
    }
    self->state = ThreadState::Waiting;
    self->waitEvents.assign(events, events + count);
    self->waitSets.clear();
    for (Event* e : self->waitEvents) self->waitSets.push_back(e->sets);
    self->waitAll = waitAll;
    self->hasDeadline = ms != INFINITE;
    self->deadlineUs = self->hasDeadline ? Now() + uint64_t(ms) * 1000 : 0;
    PassBaton(lock, self);
    self->waitEvents.clear();
    self->waitSets.clear();
    return self->waitResult;
}

void SleepBaton(uint32_t ms) {
    std::unique_lock<std::mutex> lock(g_lock);
    Thread* self = Self();
    if (!Holds(self)) return;
    self->state = ms ? ThreadState::Sleeping : ThreadState::Yielding;
    self->deadlineUs = Now() + uint64_t(ms) * 1000;
    PassBaton(lock, self);
}

void CheckpointBaton() {
    SleepBaton(0);
}

void Trampoline(Thread* t) {
    t_self = t;
    {
        std::unique_lock<std::mutex> lock(g_lock);
        t->baton.wait(lock, [t] { return g_holder == t; });
    }
    try {
        t->routine(t->argument);
    } catch (const ThreadExit&) {
    }
    std::unique_lock<std::mutex> lock(g_lock);
    t->ended = true;
    t->state = ThreadState::Ended;
    --g_live;
    g_spins = 0;
    Thread* next = ChooseNext(lock);
    g_holder = next;
    next->baton.notify_one();
    Release(t);
}

Thread* CreateThreadBaton(ThreadRoutine routine, void* argument, const char* name) {
    std::unique_lock<std::mutex> lock(g_lock);
    auto* t = new Thread;
    t->routine = routine;
    t->argument = argument;
    t->name = name ? name : "";
    t->number = ++g_numbers;
    try {
        std::thread(Trampoline, t).detach();
    } catch (const std::system_error&) {
        delete t;
        return nullptr;
    }
    g_threads.push_back(t);
    ++g_live;
    Thread* self = Self();
    if (Holds(self)) {
        self->state = ThreadState::Running;
        PassBaton(lock, self);
    }
    return t;
}

bool CloseThreadBaton(Thread* t) {
    std::lock_guard<std::mutex> lock(g_lock);
    Release(t);
    return true;
}

bool HasEndedBaton(Thread* t) {
    std::lock_guard<std::mutex> lock(g_lock);
    return t->ended;
}

Thread* CurrentBaton() {
    return t_self;
}

// Only the holder runs, so the target is always parked: suspension takes
// effect at once.  A thread that suspends itself hands the baton on.
uint32_t SuspendBaton(Thread* t) {
    std::unique_lock<std::mutex> lock(g_lock);
    if (t->ended) return 0xFFFFFFFFu;
    uint32_t previous = t->suspendCount++;
    Thread* self = Self();
    if (t == self && Holds(self)) {
        self->state = ThreadState::Running;
        PassBaton(lock, self);
    }
    return previous;
}

uint32_t ResumeBaton(Thread* t) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (t->ended) return 0xFFFFFFFFu;
    uint32_t previous = t->suspendCount;
    if (previous > 0) --t->suspendCount;
    return previous;
}

int LiveCountBaton() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_live;
}

void SetNameBaton(Thread* t, const char* name) {
    std::lock_guard<std::mutex> lock(g_lock);
    t->name = name ? name : "";
}

}  // namespace

const ThreadSystem kBatonThreads = {
    .name = "baton",
    .createEvent = CreateEventBaton,
    .setEvent = SetEventBaton,
    .resetEvent = ResetEventBaton,
    .closeEvent = CloseEventBaton,
    .eventIsSet = EventIsSetBaton,
    .wait = WaitBaton,
    .sleep = SleepBaton,
    .checkpoint = CheckpointBaton,
    .createThread = CreateThreadBaton,
    .closeThread = CloseThreadBaton,
    .hasEnded = HasEndedBaton,
    .current = CurrentBaton,
    .suspend = SuspendBaton,
    .resume = ResumeBaton,
    .liveCount = LiveCountBaton,
    .setName = SetNameBaton,
};

void ResetBatonScheduler() {
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_live > 0) return;
    g_threads.assign(1, g_main);
    g_holder = g_main;
    g_main->state = ThreadState::Running;
    g_main->suspendCount = 0;
    g_seed = g_random = 0;
    g_passes = 0;
    g_spins = 0;
    g_handler = nullptr;
    g_deadlocks = 0;
    g_report.clear();
    g_sources.clear();
}

}  // namespace host::detail

namespace host::headless {

void SetSchedulerSeed(uint64_t seed) {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    detail::g_seed = seed;
    detail::g_random = seed;
}

uint64_t SchedulerSeed() {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    return detail::g_seed;
}

void SetDeadlockHandler(DeadlockHandler handler) {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    detail::g_handler = handler;
}

int DeadlockCount() {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    return detail::g_deadlocks;
}

const std::string& LastDeadlockReport() {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    return detail::g_report;
}

uint64_t BatonPasses() {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    return detail::g_passes;
}

void AddTimeSource(const TimeSource& source) {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    detail::g_sources.push_back(source);
}

void RemoveTimeSource(void* self) {
    std::lock_guard<std::mutex> lock(detail::g_lock);
    auto& s = detail::g_sources;
    s.erase(std::remove_if(s.begin(), s.end(), [self](const TimeSource& t) { return t.self == self; }), s.end());
}

}  // namespace host::headless
