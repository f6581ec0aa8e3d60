// The memory manager: one table of operations over the runtime heap or one
// linear pool.  Every block handed out is zero-filled; exhaustion of either
// is a fatal engine error, so callers never see a null block.
#pragma once

#include <cstddef>
#include <cstdint>

// The runtime heap, in this order: allocate, free, reallocate.
struct HeapHooksTable {
    void* (*allocate)(size_t size);
    void (*free)(void* block);
    void* (*reallocate)(void* block, size_t size);
};
extern HeapHooksTable HeapHooks;

struct MemoryManagerTable {
    void* (*Alloc)(uint32_t size);                // zero-filled block
    void (*Free)(void* block);                    // pool: only the last block goes back
    void* (*Realloc)(void* block, uint32_t size); // pool: a new block, the old one kept
    void (*InitPool)(void* base, uint32_t size);  // sets the pool's memory
    void (*Mark)();                               // remembers the position
    void (*Release)(int32_t mark);                // back to mark, or to the saved mark when negative
    void (*Enable)();                             // pool on when a base is set; position 0
    // Pool state.
    uint8_t* base;
    uint32_t size;
    uint32_t previous;   // offset of the last block handed out
    uint32_t position;   // current offset
    uint32_t total;      // running total of bytes requested
    uint32_t savedMark;
    uint32_t poolOn;
};
extern MemoryManagerTable MemoryManager;

void* MemAlloc(uint32_t size);
// The bytes of `count` records of `size` bytes, taken in 64 bits, when
// they make a block (a count above 0 and at most 2^32 - 1 bytes); else 0.
// A count read from a file is sized here, never by a 32-bit product that
// could wrap to a small block.
uint32_t MemArrayBytes(int64_t count, uint64_t size);
// A zero-filled block for `count` records of `size` bytes; null, without
// asking the heap or the pool, when MemArrayBytes gives 0.
void* MemAllocArray(int64_t count, uint64_t size);
void MemFree(void* block);
void* MemRealloc(void* block, uint32_t size);
void MemInitPool(void* base, uint32_t size);
void MemMark();
void MemRelease(int32_t mark);
void MemEnable();
// Carves a block from the pool with the rounding of the alignment byte.
void* PoolBlock(uint32_t size);
