// The video player's rings: elements that pass data between its threads,
// each guarded by two manual-reset events, free (the producer may fill it)
// and ready (the consumer may take it).  BUFSTATE holds memory (undecoded
// frames, decoded sound, the raw sound chunk); DDBUFSTATE a frame surface.
// Every wait also takes an abort event, placed first, so that stopping
// releases a blocked thread.
//
// Results: 0, -5 out of memory, -15 a ring used before it was made, -23 a
// surface call failed; waits answer 1 (abort), 0 (the element's event) or
// 9999 (time-out).
#pragma once

#include "host/display.h"
#include "host/thread.h"
#include "media/ddm.h"
#include "media/qvf_format.h"

#include <atomic>
#include <cstdint>

constexpr int kWaitAborted = 1;
constexpr int kWaitTimeout = 9999;

struct BUFSTATE {
    uint8_t* data = nullptr;
    uint32_t capacity = 0;
    std::atomic<uint32_t> count{0};  // bytes held (read across threads by HoldsData)
    uint32_t flags = 0;              // bit 0: the element owns its data
    host::Event* freeWait[2] = {};   // abort slot, free event
    host::Event* readyWait[2] = {};  // abort slot, ready event
    uint32_t remaining = 0;          // bytes left to read
    uint8_t* cursor = nullptr;

    // Frees owned data; with a size, owns a new zeroed block of it; makes
    // the events (ready clear, free set) when missing.
    int Init(uint32_t size);
    // Takes the size up to a multiple of 4; when above the capacity, moves
    // the contents into a new block of that size, zeroed beyond them.
    int Grow(uint32_t size);
    // The stream's current chunk payload into the element, then commits it;
    // -11 (after committing) when the stream has ended with it.  A payload
    // the end of the stream cut short is not committed (-12), nor is one
    // whose read failed.
    int ReadFrame(QVFStreamState* stream);
    void Free();
    void Commit(uint32_t size);
    void Release();
    void CopyOut(uint32_t n, void* destination);
    int WaitReady(host::Event* abort);
    int WaitFree(host::Event* abort);
};

struct BufRing {
    uint32_t count = 0;
    std::atomic<uint32_t> readIndex{0};   // written by the consumer only
    std::atomic<uint32_t> writeIndex{0};  // written by the producer only
    BUFSTATE* elements = nullptr;

    int Create(uint32_t n);
    int SizeAll(uint32_t bytes);
    int GrowAll(uint32_t bytes);
    int GrowWrite(uint32_t bytes);
    bool HoldsData() const;
    BUFSTATE* WriteElement();
    BUFSTATE* ReadElement();
    int WaitWriteFree(host::Event* abort);
    int ReadIntoWrite(QVFStreamState* stream);
    void AdvanceWrite();
    uint8_t* WritePointer();
    void CommitWrite(uint32_t size);
    int WaitReadReady(host::Event* abort);
    uint8_t* ReadPointer();
    uint32_t ReadCount();
    uint32_t ReadRemaining();
    void CopyOut(uint32_t n, void* destination);
    void ResetReadCursor();
    void AdvanceRead();
    void ReleaseRead();
    // Waits on the next n elements from the read index in turn.
    int WaitAnyReady(uint32_t n, host::Event* abort);
    void Destroy();
};

struct DDBUFSTATE : BUFSTATE {
    host::Surface* surface = nullptr;
    host::Surface* surface2 = nullptr;  // the same surface in this host
    int pitch = 0;
};

struct DDBufRing {
    uint32_t count = 0;
    int current = -1;
    int previous = -1;
    DDBUFSTATE* elements = nullptr;

    // `count` frame surfaces of the size (at least two: one for the frame
    // being decoded, one for the frame before it).
    int Create(DDManager* ddm, int width, int height, int depth, uint32_t count);
    int LockCurrent(uint8_t** pixels);
    int LockPrevious(uint8_t** pixels);
    void UnlockCurrent();
    void UnlockPrevious();
    host::Surface* CurrentSurface();
    int PresentCurrent(DDManager* ddm, uint32_t blitFlags);
    void Advance();
    void Destroy();
};
