// What the two thread models share: the event and thread records and the
// table of operations each model fills.  Only host/ includes this header.
#pragma once

#include "host/thread.h"

#include <condition_variable>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// Each model guards these records with its own lock.
struct Event {
    bool set = false;
    uint64_t sets = 0;  // times it went from clear to set: a wait sees a set it did not witness
    std::string name;
};

enum class ThreadState { NotStarted, Running, Waiting, Sleeping, Yielding, Ended };

struct Thread {
    std::string name;
    ThreadRoutine routine = nullptr;
    void* argument = nullptr;
    int number = 0;            // creation order, 1 for the first thread started
    uint32_t suspendCount = 0;
    bool parked = true;        // inside a call of this layer, or not yet running
    bool ended = false;
    int references = 2;        // the handle and the running thread
    // Baton model: what the thread is doing and, while it waits, on what.
    ThreadState state = ThreadState::NotStarted;
    std::vector<Event*> waitEvents;
    std::vector<uint64_t> waitSets;  // each event's set count when the wait began
    bool waitAll = false;
    bool hasDeadline = false;
    uint64_t deadlineUs = 0;
    uint32_t waitResult = 0;
    bool broken = false;       // the wait was broken after a deadlock report
    std::condition_variable baton;
};

namespace detail {

// Thrown by ExitThread and caught where the thread started.
struct ThreadExit {};

// A model's operations; the core checks arguments before calling them.
struct ThreadSystem {
    const char* name;
    Event* (*createEvent)(bool initiallySet, const char* name);
    bool (*setEvent)(Event* event);
    bool (*resetEvent)(Event* event);
    void (*closeEvent)(Event* event);
    bool (*eventIsSet)(Event* event);
    uint32_t (*wait)(uint32_t count, Event* const* events, bool waitAll, uint32_t ms);
    void (*sleep)(uint32_t ms);
    void (*checkpoint)();
    Thread* (*createThread)(ThreadRoutine routine, void* argument, const char* name);
    bool (*closeThread)(Thread* thread);
    bool (*hasEnded)(Thread* thread);
    Thread* (*current)();
    uint32_t (*suspend)(Thread* thread);
    uint32_t (*resume)(Thread* thread);
    int (*liveCount)();
    void (*setName)(Thread* thread, const char* name);
};

extern const ThreadSystem kRealThreads;
extern const ThreadSystem kBatonThreads;

// Which of a wait's events ends it now, in array order: the lowest index
// set now, else the lowest whose set count moved since the wait began; -1
// when none (for waitAll: 0 when all are set now, else -1).
int SatisfiedIndex(const std::vector<Event*>& events, const std::vector<uint64_t>& sets, bool waitAll);

// Called by host::Start with the back end: headless runs the baton model,
// its scheduler back to seed 0 with no time source (while no thread lives).
void SelectThreadModel(bool headless);
void ResetBatonScheduler();

}  // namespace detail
}  // namespace host
