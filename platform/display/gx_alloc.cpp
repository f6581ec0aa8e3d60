// The video memory pool.  The display drivers point it at the locked frame
// buffer with the display memory's total as its size; nothing in the game
// carves from it, but the mode changes mark and release it.
#include "platform/display/gx_alloc.h"

#include "platform/errors.h"
#include "platform/settings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

MemoryManagerTable VideoPool = {};

namespace {

MemoryManagerTable& P() {
    return VideoPool;
}

void* Alloc(uint32_t size) {
    if (P().poolOn) {
        void* block = GxReserve(size);
        std::memset(block, 0, size);
        return block;
    }
    void* block = HeapHooks.allocate(size ? size : 1);
    if (!block) ErrorHook(0x1007, static_cast<ErrorDetail>(size));
    if (block) P().total += size;
    return block;
}

void Free(void* block) {
    if (P().poolOn) {
        if (block == P().base + P().previous) P().position = P().previous;
        return;
    }
    if (block) HeapHooks.free(block);
}

void* Realloc(void* block, uint32_t size) {
    if (!P().poolOn) {
        void* moved = HeapHooks.reallocate(block, size ? size : 1);
        if (!moved) ErrorHook(0x1007, static_cast<ErrorDetail>(size));
        return moved;
    }
    auto* fresh = static_cast<uint8_t*>(GxReserve(size));
    auto* old = static_cast<uint8_t*>(block);
    if (old >= P().base && old < fresh) std::memmove(fresh, old, size);
    return fresh;
}

void InitPool(void* base, uint32_t size) {
    P().base = static_cast<uint8_t*>(base);
    P().size = size;
    if (!base) FatalError("gx_alloc.c:videoinit %d failed", int(size));
}

void Mark() {
    P().savedMark = P().position;
}

void Release(int32_t mark) {
    P().position = mark >= 0 ? uint32_t(mark) : P().savedMark;
    P().previous = 0;
}

void Enable() {
    P().poolOn = P().base ? 1 : 0;
    P().position = 0;
}

}  // namespace

const MemoryManagerTable GxAllocTable = {Alloc, Free, Realloc, InitPool, Mark, Release, Enable,
                                         nullptr, 0, 0, 0, 0, 0, 0};

void* GxReserve(uint32_t size) {
    MemoryManagerTable& p = P();
    uint8_t* start = p.base + p.position;
    uint8_t alignment = EngineConfig.MemoryAlignment;
    // In 64 bits, so that a size near 2^32 does not round to a small block.
    uint64_t rounded = size;
    if ((alignment != 0 && size < 0x100000) || size < 32) {
        rounded = (rounded + 3u) & ~uint64_t(3);
    } else if (alignment < 2) {
        uint64_t at = reinterpret_cast<uintptr_t>(start);
        rounded = ((at + rounded + 31u) & ~uint64_t(31)) - at;
    }
    uint64_t next = uint64_t(p.position) + rounded;
    if (next > p.size)
        FatalError("gx_alloc.c:video_reserve %d/%d failed", int(std::min<uint64_t>(next, INT32_MAX)), int(p.size));
    p.previous = p.position;
    p.position = uint32_t(next);
    return start;
}

void GxAllocInstall() {
    VideoPool = GxAllocTable;
}

uint32_t GxPoolLimit(uint32_t wanted, int32_t pitch, uint32_t height) {
    if (pitch <= 0) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(wanted, uint64_t(uint32_t(pitch)) * height));
}
