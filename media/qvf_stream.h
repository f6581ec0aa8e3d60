// The video player's stream reader: a thread of its own reads a stream file
// ahead into a ring of fixed-size entries, and the player's decoder takes
// the bytes in order, in any amounts.  The source is a plain file, or a
// stream stored inside a larger file that the caller has opened and placed
// at the stream's start.  Also here: the replaceable hooks through which
// every thread of the player starts and ends.
//
// Each entry has two manual-reset events, empty (the reader may fill it) and
// full (the consumer may take it); every wait also takes the reader's abort
// event, placed first, so that closing releases a blocked thread.
//
// Results: 0, or -5 no memory, -7 no file, -11 end of the source, -16 the
// read was aborted, -17 no thread, -18 no event, -28 priority refused,
// -34 start offset outside the file.
#pragma once

#include "host/host.h"
#include "host/thread.h"

#include <atomic>
#include <cstdint>

// --- thread hooks ------------------------------------------------------------

using QVFThreadRoutine = void (*)(void* argument);
// Starts routine(argument); nullptr when it cannot.
using QVFCreateThreadFn = host::Thread* (*)(QVFThreadRoutine routine, size_t stackSize, void* argument);
// Ends the calling thread.
using QVFEndThreadFn = void (*)();
// A hook the player never calls; answers 0.
using QVFSpareHookFn = int (*)();

host::Thread* QVF_CreateThreadHook(QVFThreadRoutine routine, size_t stackSize, void* argument);
void QVF_EndThreadHook();
// For each pointer given: installs the value it points at and writes the
// previous value back through it.
void QVF_SetThreadHooks(QVFCreateThreadFn* create, QVFEndThreadFn* end, QVFSpareHookFn* spare);

// --- the reader ---------------------------------------------------------------

struct QVFStreamEntry {
    uint8_t* data;             // its slice of the reader's buffer
    uint32_t count;            // bytes it holds, not yet handed out
    int64_t lastPosition;      // source position of its last byte
    uint32_t handedOut;        // bytes of it already handed out
    host::Event* emptyWait[2]; // abort, empty
    host::Event* fullWait[2];  // abort, full
};

constexpr int kQVFPlainFile = 1;
constexpr int kQVFFileStream = 0;

struct QVFStream {
    host::Event* abort;
    std::atomic<int32_t> done;
    std::atomic<uint32_t> throttle;  // ms slept before each entry is read
    int sourceKind;             // kQVFPlainFile or kQVFFileStream
    host::File* stream;         // the caller's file (file-stream kind)
    long streamStart;           // the source's start in its file
    host::File* file;           // the plain file, nullptr when none
    uint32_t entrySize;
    uint32_t entryCount;
    uint8_t* buffer;
    // Source size in bytes, counted from the start.  A read that comes back
    // short ends the source there, so this may shrink while the reader runs.
    std::atomic<int64_t> sourceSize;
    QVFStreamEntry* entries;
    host::Thread* thread;
    int64_t consumerPosition;   // bytes handed out, from the start
    int64_t readerPosition;     // source position of the next entry to read
    uint32_t consumerIndex;
    uint32_t readerIndex;
};

QVFStream* QVFStream_New();
void QVFStream_Delete(QVFStream* reader);
void QVFStream_Construct(QVFStream* reader);
void QVFStream_Destruct(QVFStream* reader);

// Opens a plain file and starts reading at `startOffset`; the source is the
// rest of the file.
int QVFStream_Open(QVFStream* reader, const char* name, uint32_t entries, uint32_t entrySize, long startOffset);
// Reads `sourceSize` bytes of an open file from its current position.
int QVFStream_OpenInResource(QVFStream* reader, host::File* stream, int64_t sourceSize, uint32_t entries,
                             uint32_t entrySize);
// Stops the thread, empties the entries and starts reading again at a
// source position.
int QVFStream_Restart(QVFStream* reader, int64_t offset);
// Copies `count` bytes in order.  0; -11 once the consumer's position has
// reached the end of the source (also when these were its last bytes);
// -16 when the abort event stopped the copy part way.
int QVFStream_Read(QVFStream* reader, void* destination, uint32_t count);
bool QVFStream_AtEnd(const QVFStream* reader);
// Resumes a suspended reader thread, stops it and frees everything.
int QVFStream_Close(QVFStream* reader);
uint32_t QVF_SuspendThread(QVFStream* reader);
uint32_t QVF_ResumeThread(QVFStream* reader);
int QVF_SetThreadPriority(QVFStream* reader, int priority);
int QVFStream_SetThrottle(QVFStream* reader, uint32_t ms);
// 1 when the abort event ended the wait, 0 when the entry's event did,
// 9999 on a time-out.
int QVFStream_WaitFull(QVFStreamEntry* entry, host::Event* abort);
int QVFStream_WaitEmpty(QVFStreamEntry* entry, host::Event* abort);
