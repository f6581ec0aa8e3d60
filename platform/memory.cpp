// The memory manager: heap path and linear pool.
#include "platform/memory.h"

#include "platform/errors.h"
#include "platform/settings.h"

#include <cstdlib>
#include <cstring>

HeapHooksTable HeapHooks = {std::malloc, std::free, std::realloc};

MemoryManagerTable MemoryManager = {MemAlloc, MemFree, MemRealloc, MemInitPool, MemMark, MemRelease, MemEnable,
                                    nullptr,  0,       0,          0,           0,       0,          0};

// Computed in 64 bits: a size near 2^32 must not round to a small block.
static uint64_t RoundedPoolSize(uintptr_t start, uint32_t size) {
    uint8_t alignment = EngineConfig.MemoryAlignment;
    uint64_t wide = size;
    if (alignment != 0 && size < 65536) return (wide + 3u) & ~uint64_t(3);
    if (size < 32) return (wide + 3u) & ~uint64_t(3);
    if (alignment >= 2) return wide;
    // Grown so that the block ends on a 32-byte boundary.
    uint64_t end = (uint64_t(start) + wide + 31u) & ~uint64_t(31);
    return end - start;
}

void* PoolBlock(uint32_t size) {
    MemoryManagerTable& m = MemoryManager;
    uint8_t* start = m.base + m.position;
    uint32_t previous = m.position;
    uint64_t rounded = RoundedPoolSize(reinterpret_cast<uintptr_t>(start), size);
    // Equal to the pool size is allowed; beyond it the pool is exhausted.
    if (uint64_t(m.position) + rounded > m.size) {
        ErrorHook(0x1007, static_cast<ErrorDetail>(rounded));
        return nullptr;
    }
    m.previous = previous;
    m.position = static_cast<uint32_t>(m.position + rounded);
    return start;
}

void* MemAlloc(uint32_t size) {
    void* block;
    if (!MemoryManager.poolOn) {
        block = HeapHooks.allocate(size ? size : 1);
        if (!block) ErrorHook(0x1007, static_cast<ErrorDetail>(size));
    } else {
        block = PoolBlock(size);
    }
    if (!block) return nullptr;
    MemoryManager.total += size;
    std::memset(block, 0, size);
    return block;
}

uint32_t MemArrayBytes(int64_t count, uint64_t size) {
    if (count <= 0 || size == 0) return 0;
    constexpr uint64_t kLargestBlock = 0xFFFFFFFFu;
    if (uint64_t(count) > kLargestBlock / size) return 0;
    return uint32_t(uint64_t(count) * size);
}

void* MemAllocArray(int64_t count, uint64_t size) {
    const uint32_t bytes = MemArrayBytes(count, size);
    return bytes ? MemAlloc(bytes) : nullptr;
}

void MemFree(void* block) {
    MemoryManagerTable& m = MemoryManager;
    if (m.poolOn) {
        if (block == m.base + m.previous) m.position = m.previous;
        return;
    }
    if (block) HeapHooks.free(block);
}

void* MemRealloc(void* block, uint32_t size) {
    MemoryManagerTable& m = MemoryManager;
    if (!m.poolOn) {
        void* moved = HeapHooks.reallocate(block, size ? size : 1);
        if (!moved) ErrorHook(0x1007, static_cast<ErrorDetail>(size));
        return moved;
    }
    void* fresh = PoolBlock(size);
    // The old block lies before the new one in the pool, so size bytes from
    // it stay inside the pool; they may overlap the new block.
    auto* old = static_cast<uint8_t*>(block);
    if (fresh && old >= m.base && old < static_cast<uint8_t*>(fresh)) std::memmove(fresh, old, size);
    return fresh;
}

void MemInitPool(void* base, uint32_t size) {
    MemoryManager.base = static_cast<uint8_t*>(base);
    MemoryManager.size = size;
    if (!base) ErrorHook(0x1008, static_cast<ErrorDetail>(size / 1024));
}

void MemMark() {
    MemoryManager.savedMark = MemoryManager.position;
}

void MemRelease(int32_t mark) {
    MemoryManager.position = mark >= 0 ? static_cast<uint32_t>(mark) : MemoryManager.savedMark;
    MemoryManager.previous = 0;
}

void MemEnable() {
    MemoryManager.poolOn = MemoryManager.base ? 1 : 0;
    MemoryManager.position = 0;
}
