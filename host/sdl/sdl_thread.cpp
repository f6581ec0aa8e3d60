// Real threads for the SDL back end: operating-system threads that run in
// parallel.  One lock guards every event and thread record and one
// condition variable announces every change; the player's few threads wake
// rarely, so the simplicity costs nothing.
#include "host/thread_internal.h"

#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

namespace host::detail {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_lock;
std::condition_variable g_changed;
int g_live = 0;
int g_numbers = 0;
thread_local Thread* t_self = nullptr;

// The calling thread enters a call of this layer: it counts as parked, so
// a thread suspending it may go on.
void Park(Thread* self) {
    if (!self) return;
    self->parked = true;
    g_changed.notify_all();
}

// The calling thread leaves a call of this layer: it stays parked while it
// is suspended.
void Unpark(std::unique_lock<std::mutex>& lock, Thread* self) {
    if (!self) return;
    g_changed.wait(lock, [self] { return self->suspendCount == 0; });
    self->parked = false;
}

Event* CreateEventReal(bool initiallySet, const char* name) {
    auto* e = new Event;
    e->set = initiallySet;
    e->name = name ? name : "";
    return e;
}

bool SetEventReal(Event* e) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (!e->set) {
        e->set = true;
        ++e->sets;
        g_changed.notify_all();
    }
    return true;
}

bool ResetEventReal(Event* e) {
    std::lock_guard<std::mutex> lock(g_lock);
    e->set = false;
    return true;
}

void CloseEventReal(Event* e) {
    std::lock_guard<std::mutex> lock(g_lock);
    delete e;
}

bool EventIsSetReal(Event* e) {
    std::lock_guard<std::mutex> lock(g_lock);
    return e->set;
}

uint32_t WaitReal(uint32_t count, Event* const* events, bool waitAll, uint32_t ms) {
    std::unique_lock<std::mutex> lock(g_lock);
    Thread* self = t_self;
    Park(self);
    std::vector<Event*> list(events, events + count);
    std::vector<uint64_t> sets;
    for (Event* e : list) sets.push_back(e->sets);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms == INFINITE ? 0 : ms);
    uint32_t result;
    for (;;) {
        int i = SatisfiedIndex(list, sets, waitAll);
        if (i >= 0) {
            result = WAIT_OBJECT_0 + uint32_t(i);
            break;
        }
        if (ms != INFINITE && Clock::now() >= deadline) {
            result = WAIT_TIMEOUT;
            break;
        }
        if (ms == INFINITE) g_changed.wait(lock);
        else g_changed.wait_until(lock, deadline);
    }
    Unpark(lock, self);
    return result;
}

void SleepReal(uint32_t ms) {
    std::unique_lock<std::mutex> lock(g_lock);
    Thread* self = t_self;
    Park(self);
    if (ms > 0) {
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < deadline) g_changed.wait_until(lock, deadline);
    }
    Unpark(lock, self);
    lock.unlock();
    if (ms == 0) std::this_thread::yield();
}

void CheckpointReal() {
    Thread* self = t_self;
    if (!self) return;
    std::unique_lock<std::mutex> lock(g_lock);
    Park(self);
    Unpark(lock, self);
}

// Drops one reference; the record goes with the last.
void Unreference(Thread* t) {
    if (--t->references == 0) delete t;
}

void Trampoline(Thread* t) {
    t_self = t;
    {
        std::unique_lock<std::mutex> lock(g_lock);
        Unpark(lock, t);
        t->state = ThreadState::Running;
    }
    try {
        t->routine(t->argument);
    } catch (const ThreadExit&) {
    }
    std::lock_guard<std::mutex> lock(g_lock);
    t->ended = true;
    t->parked = true;
    t->state = ThreadState::Ended;
    --g_live;
    g_changed.notify_all();
    Unreference(t);
}

Thread* CreateThreadReal(ThreadRoutine routine, void* argument, const char* name) {
    auto* t = new Thread;
    t->routine = routine;
    t->argument = argument;
    t->name = name ? name : "";
    {
        std::lock_guard<std::mutex> lock(g_lock);
        t->number = ++g_numbers;
        ++g_live;
    }
    try {
        std::thread(Trampoline, t).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(g_lock);
        --g_live;
        delete t;
        return nullptr;
    }
    return t;
}

bool CloseThreadReal(Thread* t) {
    std::lock_guard<std::mutex> lock(g_lock);
    Unreference(t);
    return true;
}

bool HasEndedReal(Thread* t) {
    std::lock_guard<std::mutex> lock(g_lock);
    return t->ended;
}

Thread* CurrentReal() {
    return t_self;
}

uint32_t SuspendReal(Thread* t) {
    std::unique_lock<std::mutex> lock(g_lock);
    if (t->ended) return 0xFFFFFFFFu;
    uint32_t previous = t->suspendCount++;
    Thread* self = t_self;
    // Suspending is itself a call of this layer: the caller counts as parked
    // meanwhile, so two threads suspending each other both get through.
    Park(self);
    if (t != self) g_changed.wait(lock, [t] { return t->parked || t->ended; });
    Unpark(lock, self);
    return previous;
}

uint32_t ResumeReal(Thread* t) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (t->ended) return 0xFFFFFFFFu;
    uint32_t previous = t->suspendCount;
    if (previous > 0) {
        --t->suspendCount;
        g_changed.notify_all();
    }
    return previous;
}

int LiveCountReal() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_live;
}

void SetNameReal(Thread* t, const char* name) {
    std::lock_guard<std::mutex> lock(g_lock);
    t->name = name ? name : "";
}

}  // namespace

const ThreadSystem kRealThreads = {
    .name = "real",
    .createEvent = CreateEventReal,
    .setEvent = SetEventReal,
    .resetEvent = ResetEventReal,
    .closeEvent = CloseEventReal,
    .eventIsSet = EventIsSetReal,
    .wait = WaitReal,
    .sleep = SleepReal,
    .checkpoint = CheckpointReal,
    .createThread = CreateThreadReal,
    .closeThread = CloseThreadReal,
    .hasEnded = HasEndedReal,
    .current = CurrentReal,
    .suspend = SuspendReal,
    .resume = ResumeReal,
    .liveCount = LiveCountReal,
    .setName = SetNameReal,
};

}  // namespace host::detail
