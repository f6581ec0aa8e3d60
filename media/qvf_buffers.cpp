// The player's memory and frame-surface rings.
#include "media/qvf_buffers.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// The most elements a ring takes.
constexpr uint32_t kMaxElements = 4096;

int WaitPair(host::Event* pair[2], host::Event* abort) {
    pair[0] = abort;
    switch (host::WaitForMultipleObjects(2, pair, false, host::INFINITE)) {
    case host::WAIT_OBJECT_0: return kWaitAborted;
    case host::WAIT_OBJECT_0 + 1: return 0;
    default: return kWaitTimeout;
    }
}

}  // namespace

// --- BUFSTATE -----------------------------------------------------------------

int BUFSTATE::Init(uint32_t size) {
    if (flags & 1) delete[] data;
    data = nullptr;
    flags &= ~1u;
    capacity = 0;
    if (size) {
        // Zeroed: what a consumer might read of an element is never left
        // over from the heap.
        data = new (std::nothrow) uint8_t[size]();
        if (!data) return -5;
        flags |= 1;
        capacity = size;
    }
    count = 0;
    if (!readyWait[1]) readyWait[1] = host::CreateEvent(false, "element ready");
    if (!freeWait[1]) freeWait[1] = host::CreateEvent(true, "element free");
    return readyWait[1] && freeWait[1] ? 0 : -5;
}

int BUFSTATE::Grow(uint32_t size) {
    if (size > 0xFFFFFFFCu) return -5;
    size = (size + 3) & ~3u;
    if (size <= capacity) return 0;
    auto* block = new (std::nothrow) uint8_t[size];
    if (!block) return -5;
    if (data && capacity) std::memcpy(block, data, capacity);
    std::memset(block + capacity, 0, size - capacity);
    if (flags & 1) delete[] data;
    data = block;
    capacity = size;
    flags |= 1;
    return 0;
}

int BUFSTATE::ReadFrame(QVFStreamState* stream) {
    int r = QVF_ReadPayload(stream, data, capacity);
    if (r != 0 && r != kQVFEndOfStream) return r;
    Commit(uint32_t(stream->chunk.delivered));
    return r;
}

void BUFSTATE::Free() {
    if (flags & 1) delete[] data;
    data = nullptr;
    flags = 0;
    capacity = 0;
    count = 0;
    remaining = 0;
    cursor = nullptr;
    host::CloseEvent(readyWait[1]);
    host::CloseEvent(freeWait[1]);
    readyWait[1] = freeWait[1] = nullptr;
}

void BUFSTATE::Commit(uint32_t size) {
    host::ResetEvent(freeWait[1]);
    cursor = data;
    if (size) count = std::min(size, capacity);
    remaining = count;
    host::SetEvent(readyWait[1]);
}

void BUFSTATE::Release() {
    host::ResetEvent(readyWait[1]);
    cursor = nullptr;
    count = 0;
    remaining = 0;
    host::SetEvent(freeWait[1]);
}

void BUFSTATE::CopyOut(uint32_t n, void* destination) {
    n = std::min(n, remaining);
    if (n) std::memcpy(destination, cursor, n);
    cursor += n;
    remaining -= n;
    count -= n;
}

int BUFSTATE::WaitReady(host::Event* abort) {
    return WaitPair(readyWait, abort);
}

int BUFSTATE::WaitFree(host::Event* abort) {
    return WaitPair(freeWait, abort);
}

// --- BufRing ------------------------------------------------------------------

int BufRing::Create(uint32_t n) {
    Destroy();
    if (n == 0 || n > kMaxElements) return -5;
    elements = new (std::nothrow) BUFSTATE[n];
    if (!elements) return -5;
    count = n;
    for (uint32_t i = 0; i < n; ++i) {
        if (elements[i].Init(0) != 0) {
            Destroy();
            return -5;
        }
        elements[i].Release();
    }
    readIndex = writeIndex = 0;
    return 0;
}

int BufRing::SizeAll(uint32_t bytes) {
    if (!elements) return -15;
    for (uint32_t i = 0; i < count; ++i)
        if (int r = elements[i].Init(bytes)) return r;
    return 0;
}

int BufRing::GrowAll(uint32_t bytes) {
    if (!elements) return -15;
    for (uint32_t i = 0; i < count; ++i)
        if (int r = elements[i].Grow(bytes)) return r;
    return 0;
}

int BufRing::GrowWrite(uint32_t bytes) {
    return elements ? WriteElement()->Grow(bytes) : -15;
}

bool BufRing::HoldsData() const {
    for (uint32_t i = 0; i < count; ++i)
        if (elements[i].count.load() != 0) return true;
    return false;
}

BUFSTATE* BufRing::WriteElement() {
    return &elements[writeIndex.load()];
}

BUFSTATE* BufRing::ReadElement() {
    return &elements[readIndex.load()];
}

int BufRing::WaitWriteFree(host::Event* abort) {
    return WriteElement()->WaitFree(abort);
}

int BufRing::ReadIntoWrite(QVFStreamState* stream) {
    return WriteElement()->ReadFrame(stream);
}

void BufRing::AdvanceWrite() {
    writeIndex = (writeIndex.load() + 1) % count;
}

uint8_t* BufRing::WritePointer() {
    return WriteElement()->data;
}

void BufRing::CommitWrite(uint32_t size) {
    BUFSTATE* e = WriteElement();
    AdvanceWrite();
    e->Commit(size);
}

int BufRing::WaitReadReady(host::Event* abort) {
    return ReadElement()->WaitReady(abort);
}

uint8_t* BufRing::ReadPointer() {
    return ReadElement()->cursor;
}

uint32_t BufRing::ReadCount() {
    return ReadElement()->count.load();
}

uint32_t BufRing::ReadRemaining() {
    return ReadElement()->remaining;
}

void BufRing::CopyOut(uint32_t n, void* destination) {
    ReadElement()->CopyOut(n, destination);
}

void BufRing::ResetReadCursor() {
    BUFSTATE* e = ReadElement();
    e->cursor = e->data;
    e->remaining = e->count.load();
}

void BufRing::AdvanceRead() {
    readIndex = (readIndex.load() + 1) % count;
}

void BufRing::ReleaseRead() {
    BUFSTATE* e = ReadElement();
    AdvanceRead();
    e->Release();
}

int BufRing::WaitAnyReady(uint32_t n, host::Event* abort) {
    for (uint32_t i = 0; i < n && i < count; ++i)
        if (elements[(readIndex.load() + i) % count].WaitReady(abort) == kWaitAborted) return kWaitAborted;
    return 0;
}

void BufRing::Destroy() {
    for (uint32_t i = 0; i < count; ++i) elements[i].Free();
    delete[] elements;
    elements = nullptr;
    count = 0;
    readIndex = writeIndex = 0;
}

// --- DDBufRing ----------------------------------------------------------------

int DDBufRing::Create(DDManager* ddm, int width, int height, int /*depth*/, uint32_t n) {
    Destroy();
    n = std::max<uint32_t>(n, 2);
    if (n > kMaxElements) return -5;
    elements = new (std::nothrow) DDBUFSTATE[n];
    if (!elements) return -5;
    count = n;
    for (uint32_t i = 0; i < n; ++i) {
        if (DDM_CreateOffscreen(ddm, width, height, &elements[i].surface, &elements[i].surface2) != 0) {
            Destroy();
            return -5;
        }
        elements[i].capacity = 0;
    }
    current = 1;
    previous = 0;
    return 0;
}

static int LockElement(DDBUFSTATE* e, uint8_t** pixels) {
    uint8_t* p = nullptr;
    if (host::SurfaceLock(e->surface, host::DDLOCK_WAIT, &p, &e->pitch) != host::DD_OK) return -23;
    e->data = p;
    if (pixels) *pixels = p;
    return 0;
}

int DDBufRing::LockCurrent(uint8_t** pixels) {
    return elements ? LockElement(&elements[current], pixels) : -15;
}

int DDBufRing::LockPrevious(uint8_t** pixels) {
    return elements ? LockElement(&elements[previous], pixels) : -15;
}

void DDBufRing::UnlockCurrent() {
    if (elements) host::SurfaceUnlock(elements[current].surface);
}

void DDBufRing::UnlockPrevious() {
    if (elements) host::SurfaceUnlock(elements[previous].surface);
}

host::Surface* DDBufRing::CurrentSurface() {
    return elements ? elements[current].surface : nullptr;
}

int DDBufRing::PresentCurrent(DDManager* ddm, uint32_t blitFlags) {
    int r = DDM_BlitFrame(ddm, CurrentSurface(), blitFlags);
    Advance();
    return r;
}

void DDBufRing::Advance() {
    if (!elements) return;
    previous = current;
    current = int((uint32_t(current) + 1) % count);
}

void DDBufRing::Destroy() {
    for (uint32_t i = 0; i < count; ++i) {
        if (elements[i].surface) host::SurfaceRelease(elements[i].surface);
        elements[i].data = nullptr;  // the surface's memory, not the element's
        elements[i].Free();
    }
    delete[] elements;
    elements = nullptr;
    count = 0;
    current = previous = -1;
}
