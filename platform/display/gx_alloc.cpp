// The video memory pool.
#include "platform/display/gx_alloc.h"

// Until the display driver fills it, the slot holds a pool without memory:
// marks and releases only move its position.
static void* NoAlloc(uint32_t) {
    return nullptr;
}
static void NoFree(void*) {}
static void* NoRealloc(void*, uint32_t) {
    return nullptr;
}
static void NoInit(void*, uint32_t) {}
static void Mark() {
    VideoPool.savedMark = VideoPool.position;
}
static void Release(int32_t mark) {
    VideoPool.position = mark >= 0 ? static_cast<uint32_t>(mark) : VideoPool.savedMark;
    VideoPool.previous = 0;
}
static void Enable() {
    VideoPool.poolOn = VideoPool.base ? 1 : 0;
    VideoPool.position = 0;
}

MemoryManagerTable VideoPool = {NoAlloc, NoFree, NoRealloc, NoInit, Mark, Release, Enable,
                                nullptr, 0,      0,         0,      0,    0,       0};
