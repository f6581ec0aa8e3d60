// Threads, manual-reset events, waits, sleeps and suspension.
//
// Only the video player runs threads besides the program's own.  Its threads
// meet through manual-reset events and pause one another by suspension, so
// this layer offers exactly that:
//   - events that stay set until reset; a wait on several events answers the
//     lowest index that is set when the wait ends (array order), so an abort
//     event placed first wins over the others;
//   - threads started with a routine and an argument, ended from inside by
//     ExitThread, which unwinds to the thread's start;
//   - suspension by cooperation: SuspendThread raises the target's count and
//     returns only once the target is parked.  A thread is parked while it is
//     inside a wait, a sleep or a checkpoint of this layer (and before it
//     has run at all); on leaving one of them it stays parked while its
//     count is above 0.  Threads touch shared state only between such calls,
//     so a suspended thread never holds anything half done.
//
// Two models stand behind these calls.  Real threads (the SDL back end):
// operating-system threads in parallel.  The baton model (the headless back
// end): the same threads run one at a time, the baton passing at every wait,
// sleep, checkpoint and event change, with the next holder chosen by a
// seeded generator, on the virtual clock; see host/headless/scheduler.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

constexpr uint32_t INFINITE = 0xFFFFFFFFu;
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;
// The most events one wait takes.
constexpr uint32_t MAXIMUM_WAIT_OBJECTS = 64;

struct Event;
struct Thread;
using ThreadRoutine = void (*)(void* argument);

enum class ThreadModel { Real, Baton };

// The model in use.  host::Start chooses it with the back end (SDL: real,
// headless: baton); SetThreadModel changes it while no thread of this layer
// is alive (false otherwise).
ThreadModel CurrentThreadModel();
bool SetThreadModel(ThreadModel model);

// A manual-reset event; `name` (may be null) appears in deadlock reports.
// nullptr when it cannot be made.
Event* CreateEvent(bool initiallySet, const char* name = nullptr);
bool SetEvent(Event* event);
bool ResetEvent(Event* event);
// Frees the event.  No thread may be waiting on it.
bool CloseEvent(Event* event);
// Whether the event is set now (for tests and reports).
bool EventIsSet(Event* event);

// Waits up to `ms` milliseconds (INFINITE: no limit).  Answers WAIT_OBJECT_0
// + index, WAIT_TIMEOUT, or WAIT_FAILED for bad arguments (and in the baton
// model for a wait broken after a deadlock report).  With waitAll the wait
// ends when every event is set at once and answers WAIT_OBJECT_0.  An event
// that was set at any moment during the wait ends a wait for any, even when
// it was reset again before the waiter ran.
uint32_t WaitForSingleObject(Event* event, uint32_t ms);
uint32_t WaitForMultipleObjects(uint32_t count, Event* const* events, bool waitAll, uint32_t ms);

// Sleeps `ms` milliseconds; 0 gives the processor to another thread.
void Sleep(uint32_t ms);
// A suspension point with no other effect (and a baton pass).
void ThreadCheckpoint();

// Starts a thread running routine(argument); nullptr when it cannot.  The
// stack size is a hint.  The handle stays valid until CloseThread, also after
// the thread has ended.
Thread* CreateThread(ThreadRoutine routine, void* argument, size_t stackSize, const char* name = nullptr);
// Ends the calling thread (which must be one CreateThread started).
[[noreturn]] void ExitThread();
bool CloseThread(Thread* thread);
// Names a thread for deadlock reports.
void SetThreadName(Thread* thread, const char* name);
bool ThreadHasEnded(Thread* thread);
// The calling thread's handle; nullptr for a thread this layer did not start.
Thread* CurrentThread();

// Answer the previous suspend count, or 0xFFFFFFFF for an ended thread or a
// bad handle.  Suspending another thread returns once it is parked.
uint32_t SuspendThread(Thread* thread);
uint32_t ResumeThread(Thread* thread);
// Priorities -2 (lowest) to 2 (highest) are accepted and have no effect here;
// other values are refused.
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
bool SetThreadPriority(Thread* thread, int priority);

// Threads of this layer that have not ended.
int LiveThreadCount();

}  // namespace host
