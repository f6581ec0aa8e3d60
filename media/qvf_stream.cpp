// The stream reader and the player's thread hooks.
#include "media/qvf_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

host::Thread* DefaultCreateThread(QVFThreadRoutine routine, size_t stackSize, void* argument) {
    return host::CreateThread(routine, argument, stackSize);
}

void DefaultEndThread() {
    host::ExitThread();
}

int DefaultSpareHook() {
    return 0;
}

QVFCreateThreadFn g_createThread = DefaultCreateThread;
QVFEndThreadFn g_endThread = DefaultEndThread;
QVFSpareHookFn g_spareHook = DefaultSpareHook;

// The largest ring the reader takes: entries x entry size.
constexpr uint64_t kMaxRingBytes = 64u << 20;

int Wait(host::Event* const pair[2]) {
    switch (host::WaitForMultipleObjects(2, pair, false, host::INFINITE)) {
    case host::WAIT_OBJECT_0: return 1;
    case host::WAIT_OBJECT_0 + 1: return 0;
    default: return 9999;
    }
}

size_t ReadSource(QVFStream* r, uint8_t* to, uint32_t bytes) {
    host::File* f = r->sourceKind == kQVFPlainFile ? r->file : r->stream;
    return f ? host::FileRead(to, 1, bytes, f) : 0;
}

// The reader thread: fills the entries in turn until the source ends.  A
// read that comes back short ends the source there, so the consumer finds
// the end instead of waiting for bytes that will never come.
void ReaderThread(void* argument) {
    auto* r = static_cast<QVFStream*>(argument);
    for (;;) {
        if (r->throttle) host::Sleep(r->throttle);
        QVFStreamEntry& e = r->entries[r->readerIndex];
        if (QVFStream_WaitEmpty(&e, r->abort) != 0) break;
        int64_t left = r->sourceSize.load() - r->readerPosition;
        uint32_t want = uint32_t(std::clamp<int64_t>(left, 0, r->entrySize));
        uint32_t got = uint32_t(ReadSource(r, e.data, want));
        e.count = got;
        e.handedOut = 0;
        e.lastPosition = r->readerPosition + int64_t(got) - 1;
        bool shortRead = got < want || want == 0;
        if (shortRead) r->sourceSize = r->readerPosition + got;
        r->readerPosition += r->entrySize;
        r->readerIndex = (r->readerIndex + 1) % r->entryCount;
        host::ResetEvent(e.emptyWait[1]);
        host::SetEvent(e.fullWait[1]);
        if (shortRead || e.lastPosition >= r->sourceSize.load() - 1) break;
    }
    r->done = 1;
    QVF_EndThreadHook();
}

void FreeEntries(QVFStream* r) {
    if (r->entries) {
        for (uint32_t i = 0; i < r->entryCount; ++i) {
            host::CloseEvent(r->entries[i].emptyWait[1]);
            host::CloseEvent(r->entries[i].fullWait[1]);
        }
    }
    delete[] r->entries;
    delete[] r->buffer;
    r->entries = nullptr;
    r->buffer = nullptr;
}

// Steps 3 to 6 of an open, shared by both kinds: buffer, entries, events,
// the reader thread.
int StartReading(QVFStream* r, uint32_t entries, uint32_t entrySize) {
    if (entries == 0 || entrySize == 0 || uint64_t(entries) * entrySize > kMaxRingBytes) {
        QVFStream_Close(r);
        return -5;
    }
    r->buffer = new (std::nothrow) uint8_t[size_t(entries) * entrySize];
    r->entries = new (std::nothrow) QVFStreamEntry[entries]();
    if (!r->buffer || !r->entries) {
        QVFStream_Close(r);
        return -5;
    }
    r->entryCount = entries;
    r->entrySize = entrySize;
    r->abort = host::CreateEvent(false, "reader abort");
    if (!r->abort) {
        QVFStream_Close(r);
        return -18;
    }
    for (uint32_t i = 0; i < entries; ++i) {
        QVFStreamEntry& e = r->entries[i];
        e.data = r->buffer + size_t(i) * entrySize;
        char name[48];
        std::snprintf(name, sizeof name, "reader entry %u empty", i);
        e.emptyWait[0] = r->abort;
        e.emptyWait[1] = host::CreateEvent(true, name);
        std::snprintf(name, sizeof name, "reader entry %u full", i);
        e.fullWait[0] = r->abort;
        e.fullWait[1] = host::CreateEvent(false, name);
        if (!e.emptyWait[1] || !e.fullWait[1]) {
            QVFStream_Close(r);
            return -18;
        }
    }
    r->throttle = 0;
    r->done = 0;
    r->consumerIndex = r->readerIndex = 0;
    r->thread = QVF_CreateThreadHook(ReaderThread, 0, r);
    if (!r->thread) {
        r->done = 1;
        QVFStream_Close(r);
        return -17;
    }
    host::SetThreadName(r->thread, "reader");
    return 0;
}

// Stops the reader thread: a suspended one is resumed first, or it would
// never see the abort.
void StopThread(QVFStream* r) {
    if (!r->thread) return;
    for (uint32_t previous = 2; previous != 0xFFFFFFFFu && previous > 1;) previous = host::ResumeThread(r->thread);
    // The reader ends within one read: a millisecond's sleep between looks.
    while (r->abort && !r->done.load()) {
        host::SetEvent(r->abort);
        host::Sleep(1);
    }
    host::CloseThread(r->thread);
    r->thread = nullptr;
}

}  // namespace

host::Thread* QVF_CreateThreadHook(QVFThreadRoutine routine, size_t stackSize, void* argument) {
    return g_createThread(routine, stackSize, argument);
}

void QVF_EndThreadHook() {
    g_endThread();
}

void QVF_SetThreadHooks(QVFCreateThreadFn* create, QVFEndThreadFn* end, QVFSpareHookFn* spare) {
    if (create) std::swap(g_createThread, *create);
    if (end) std::swap(g_endThread, *end);
    if (spare) std::swap(g_spareHook, *spare);
}

QVFStream* QVFStream_New() {
    auto* r = new (std::nothrow) QVFStream;
    if (r) QVFStream_Construct(r);
    return r;
}

void QVFStream_Delete(QVFStream* reader) {
    if (!reader) return;
    QVFStream_Destruct(reader);
    delete reader;
}

void QVFStream_Construct(QVFStream* r) {
    r->abort = nullptr;
    r->done = 0;
    r->throttle = 0;
    r->sourceKind = kQVFPlainFile;
    r->stream = nullptr;
    r->streamStart = 0;
    r->file = nullptr;
    r->entrySize = r->entryCount = 0;
    r->buffer = nullptr;
    r->sourceSize = 0;
    r->entries = nullptr;
    r->thread = nullptr;
    r->consumerPosition = r->readerPosition = 0;
    r->consumerIndex = r->readerIndex = 0;
}

void QVFStream_Destruct(QVFStream* r) {
    QVFStream_Close(r);
}

int QVFStream_Open(QVFStream* r, const char* name, uint32_t entries, uint32_t entrySize, long startOffset) {
    QVFStream_Close(r);
    r->sourceKind = kQVFPlainFile;
    r->file = name ? host::FileOpen(name, "rb") : nullptr;
    if (!r->file) return -7;
    long size = -1;
    if (host::FileSeek(r->file, 0, SEEK_END) == 0) size = host::FileTell(r->file);
    if (size < 0 || startOffset < 0 || startOffset >= size || host::FileSeek(r->file, startOffset, SEEK_SET) != 0) {
        QVFStream_Close(r);
        return -34;
    }
    // Positions count from the start offset, so the source is what follows it.
    r->streamStart = startOffset;
    r->sourceSize = size - startOffset;
    r->consumerPosition = r->readerPosition = 0;
    return StartReading(r, entries, entrySize);
}

int QVFStream_OpenInResource(QVFStream* r, host::File* stream, int64_t sourceSize, uint32_t entries,
                             uint32_t entrySize) {
    QVFStream_Close(r);
    if (!stream) return -7;
    r->sourceKind = kQVFFileStream;
    r->stream = stream;
    r->streamStart = host::FileTell(stream);
    r->sourceSize = sourceSize > 0 ? sourceSize : 0;
    r->consumerPosition = r->readerPosition = 0;
    return StartReading(r, entries, entrySize);
}

int QVFStream_Restart(QVFStream* r, int64_t offset) {
    if (!r->entries || offset < 0 || offset >= r->sourceSize.load()) return -34;
    StopThread(r);
    host::CloseEvent(r->abort);
    r->abort = host::CreateEvent(false, "reader abort");
    if (!r->abort) return -18;
    for (uint32_t i = 0; i < r->entryCount; ++i) {
        QVFStreamEntry& e = r->entries[i];
        e.count = e.handedOut = 0;
        e.lastPosition = 0;
        e.emptyWait[0] = e.fullWait[0] = r->abort;
        host::SetEvent(e.emptyWait[1]);
        host::ResetEvent(e.fullWait[1]);
    }
    host::File* f = r->sourceKind == kQVFPlainFile ? r->file : r->stream;
    if (!f || host::FileSeek(f, long(r->streamStart + offset), SEEK_SET) != 0) return -34;
    r->consumerPosition = r->readerPosition = offset;
    r->consumerIndex = r->readerIndex = 0;
    r->done = 0;
    r->thread = QVF_CreateThreadHook(ReaderThread, 0, r);
    if (!r->thread) {
        r->done = 1;
        return -17;
    }
    host::SetThreadName(r->thread, "reader");
    return 0;
}

int QVFStream_Read(QVFStream* r, void* destination, uint32_t count) {
    if (!r->entries) return -11;
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t wanted = count;
    while (wanted > 0 && r->consumerPosition < r->sourceSize.load()) {
        QVFStreamEntry& e = r->entries[r->consumerIndex];
        if (QVFStream_WaitFull(&e, r->abort) != 0) return -16;
        const uint8_t* from = e.data + e.handedOut;
        if (e.count > wanted) {
            std::memcpy(out, from, wanted);
            e.handedOut += wanted;
            e.count -= wanted;
            r->consumerPosition += wanted;
            wanted = 0;
            break;
        }
        std::memcpy(out, from, e.count);
        out += e.count;
        wanted -= e.count;
        r->consumerPosition += e.count;
        e.count = e.handedOut = 0;
        r->consumerIndex = (r->consumerIndex + 1) % r->entryCount;
        host::ResetEvent(e.fullWait[1]);
        host::SetEvent(e.emptyWait[1]);
    }
    return QVFStream_AtEnd(r) ? -11 : 0;
}

bool QVFStream_AtEnd(const QVFStream* r) {
    return r->consumerPosition >= r->sourceSize.load();
}

int QVFStream_Close(QVFStream* r) {
    StopThread(r);
    FreeEntries(r);
    host::CloseEvent(r->abort);
    r->abort = nullptr;
    if (r->file) host::FileClose(r->file);
    r->file = nullptr;
    r->stream = nullptr;
    r->sourceSize = 0;
    r->consumerPosition = 0;
    r->entryCount = 0;
    r->entrySize = 0;
    return 0;
}

uint32_t QVF_SuspendThread(QVFStream* r) {
    return host::SuspendThread(r->thread);
}

uint32_t QVF_ResumeThread(QVFStream* r) {
    return host::ResumeThread(r->thread);
}

int QVF_SetThreadPriority(QVFStream* r, int priority) {
    if (priority < host::THREAD_PRIORITY_LOWEST || priority > host::THREAD_PRIORITY_HIGHEST) return -28;
    return host::SetThreadPriority(r->thread, priority) ? 0 : -28;
}

int QVFStream_SetThrottle(QVFStream* r, uint32_t ms) {
    r->throttle = ms;
    return 0;
}

int QVFStream_WaitFull(QVFStreamEntry* entry, host::Event* abort) {
    host::Event* pair[2] = {abort, entry->fullWait[1]};
    return Wait(pair);
}

int QVFStream_WaitEmpty(QVFStreamEntry* entry, host::Event* abort) {
    host::Event* pair[2] = {abort, entry->emptyWait[1]};
    return Wait(pair);
}
