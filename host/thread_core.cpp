// Portable core of the thread layer: argument checks and the choice of the
// model; the models themselves are host/sdl/sdl_thread.cpp (real threads)
// and host/headless/headless_thread.cpp (the baton scheduler).
#include "host/thread_internal.h"

namespace host {

namespace {

const detail::ThreadSystem* g_system = &detail::kRealThreads;
ThreadModel g_model = ThreadModel::Real;

}  // namespace

namespace detail {

int SatisfiedIndex(const std::vector<Event*>& events, const std::vector<uint64_t>& sets, bool waitAll) {
    if (waitAll) {
        for (const Event* e : events)
            if (!e->set) return -1;
        return 0;
    }
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i]->set) return int(i);
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i]->sets != sets[i]) return int(i);
    return -1;
}

void SelectThreadModel(bool headless) {
    SetThreadModel(headless ? ThreadModel::Baton : ThreadModel::Real);
    if (headless) ResetBatonScheduler();
}

}  // namespace detail

ThreadModel CurrentThreadModel() {
    return g_model;
}

bool SetThreadModel(ThreadModel model) {
    if (model == g_model) return true;
    // Real threads that have finished their work may still be on their way
    // out: give them a moment.
    for (int i = 0; i < 2000 && g_model == ThreadModel::Real && g_system->liveCount() > 0; ++i) g_system->sleep(1);
    if (g_system->liveCount() > 0) return false;
    g_model = model;
    g_system = model == ThreadModel::Real ? &detail::kRealThreads : &detail::kBatonThreads;
    return true;
}

Event* CreateEvent(bool initiallySet, const char* name) {
    return g_system->createEvent(initiallySet, name);
}

bool SetEvent(Event* event) {
    return event && g_system->setEvent(event);
}

bool ResetEvent(Event* event) {
    return event && g_system->resetEvent(event);
}

bool CloseEvent(Event* event) {
    if (!event) return false;
    g_system->closeEvent(event);
    return true;
}

bool EventIsSet(Event* event) {
    return event && g_system->eventIsSet(event);
}

uint32_t WaitForSingleObject(Event* event, uint32_t ms) {
    return WaitForMultipleObjects(1, &event, false, ms);
}

uint32_t WaitForMultipleObjects(uint32_t count, Event* const* events, bool waitAll, uint32_t ms) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !events) return WAIT_FAILED;
    for (uint32_t i = 0; i < count; ++i)
        if (!events[i]) return WAIT_FAILED;
    return g_system->wait(count, events, waitAll, ms);
}

void Sleep(uint32_t ms) {
    g_system->sleep(ms);
}

void ThreadCheckpoint() {
    g_system->checkpoint();
}

Thread* CreateThread(ThreadRoutine routine, void* argument, size_t /*stackSize*/, const char* name) {
    if (!routine) return nullptr;
    return g_system->createThread(routine, argument, name);
}

void ExitThread() {
    throw detail::ThreadExit{};
}

bool CloseThread(Thread* thread) {
    return thread && g_system->closeThread(thread);
}

void SetThreadName(Thread* thread, const char* name) {
    if (thread) g_system->setName(thread, name);
}

bool ThreadHasEnded(Thread* thread) {
    return thread && g_system->hasEnded(thread);
}

Thread* CurrentThread() {
    return g_system->current();
}

uint32_t SuspendThread(Thread* thread) {
    return thread ? g_system->suspend(thread) : 0xFFFFFFFFu;
}

uint32_t ResumeThread(Thread* thread) {
    return thread ? g_system->resume(thread) : 0xFFFFFFFFu;
}

bool SetThreadPriority(Thread* thread, int priority) {
    return thread && priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST;
}

int LiveThreadCount() {
    return g_system->liveCount();
}

}  // namespace host
