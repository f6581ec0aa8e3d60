// The video memory pool: a linear allocator over the display memory, with
// the memory manager's seven-slot table.
#pragma once

#include "platform/memory.h"

// The engine's video-pool slot, filled by DDrawInstall.
extern MemoryManagerTable VideoPool;
