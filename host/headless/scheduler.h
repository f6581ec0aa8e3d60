// Controls of the baton scheduler: the headless back end's thread model.
//
// Threads of host/thread.h are real threads here too, but only the holder
// of the baton runs.  The baton passes at every wait, sleep, checkpoint,
// event set and thread start; the next holder is drawn among the threads
// that can run.  With seed 0 the draw is round robin in creation order (the
// program's own thread first); any other seed draws with a generator of its
// own, so every interleaving is reproducible from its seed.
//
// Time is the headless virtual clock.  When no thread can run, the clock
// jumps to the nearest deadline (a timed wait, a sleep, a time source);
// when the threads that can run only yield (Sleep(0) or a checkpoint) many
// times in a row, it moves by 1 ms.  When nothing can run and nothing waits
// for a deadline, that is a deadlock: the report names every thread and
// what it waits for.
#pragma once

#include <cstdint>
#include <string>

namespace host::headless {

void SetSchedulerSeed(uint64_t seed);
uint64_t SchedulerSeed();

// Called with the report of a deadlock.  The default handler prints it and
// aborts the process.  When a handler returns, the scheduler breaks the
// deadlock: every wait without a time limit ends with WAIT_FAILED and every
// suspended thread is resumed.
using DeadlockHandler = void (*)(const std::string& report);
void SetDeadlockHandler(DeadlockHandler handler);
int DeadlockCount();
const std::string& LastDeadlockReport();

// Baton passes so far (for tests that want to see the threads interleave).
uint64_t BatonPasses();

// Something that acts on the virtual clock by itself, such as a sound
// buffer whose play cursor sets events as it moves.  The scheduler calls
// `advance` with the time at every baton pass (and after every clock jump),
// and asks `nextDeadline` (UINT64_MAX: none) before it jumps, so the clock
// stops at each moment the source acts.  Both run on the baton holder's
// thread; `advance` may set and reset events.
struct TimeSource {
    void* self;
    uint64_t (*nextDeadline)(void* self, uint64_t nowUs);
    void (*advance)(void* self, uint64_t nowUs);
};
void AddTimeSource(const TimeSource& source);
void RemoveTimeSource(void* self);

}  // namespace host::headless
