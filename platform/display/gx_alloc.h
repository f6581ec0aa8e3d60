// The video memory pool: a linear allocator over the display memory, with
// the memory manager's seven-slot table.
#pragma once

#include "platform/memory.h"

// The engine's video-pool slot, filled by DDrawInstall.
extern MemoryManagerTable VideoPool;
// The pool's own table and initial state.
extern const MemoryManagerTable GxAllocTable;

// Copies the pool's table and initial state into the engine's slot.
void GxAllocInstall();
// Carves a block; fatal "gx_alloc.c:video_reserve %d/%d failed" past the end.
void* GxReserve(uint32_t size);
// The pool's size over a locked page: the memory asked for, but no more
// than lies under the page (pitch x height).
uint32_t GxPoolLimit(uint32_t wanted, int32_t pitch, uint32_t height);
