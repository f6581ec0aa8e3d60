// 3D memory: the R&D pool and the sizes of the records it holds.
#include "engine3d/dqx_3d.h"

#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"

uint8_t* g_3DPool = nullptr;
uint32_t g_3DPoolSize = 0;

namespace {

uint32_t ConfiguredPoolSize() {
    return g_SoftwareDisplay ? 10485760u : 8388608u;
}

}  // namespace

void Alloc_3DPool() {
    uint32_t size = ConfiguredPoolSize();
    if (g_3DPool) MemoryManager.Free(g_3DPool);
    g_3DPool = nullptr;
    g_3DPoolSize = 0;
    auto* pool = static_cast<uint8_t*>(MemoryManager.Alloc(size));
    if (!pool) FatalError("dqx_3d.c:3D:%s", "no ram");
    g_3DPool = pool;
    g_3DPoolSize = size;
}

void Init_3DMemory() {
    Alloc_3DPool();
    Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
    RenderHooks.ResetCollisionWorld();
    Init_TrigTables();
}

void Free_3DMemory() {
    RenderHooks.FreeSpanBuffer();
}

void Reset_3DMemory() {
    Free_3DMemory();
    Init_ObjLibrary(0, g_3DPoolSize);
}

uint32_t FileFaceSize(int32_t t) {
    switch (t) {
    case 1: case 4: case 17: case 27: case -2:
        return 56;
    case 2: case 3: case 9: case 18: case 20: case 21: case 22: case 23: case 25: case 26:
    case 28: case 29: case 30: case 32: case -21:
        return 68;
    default:
        return (t <= -3 && t >= -15) ? 68 : 0;
    }
}

uint32_t FileEdgeSize(int32_t t) {
    switch (t) {
    case 1: case 4: case 17: case 27: case -2:
        return 60;
    case 2: case 18: case 21: case 32: case -21: case -15: case -14: case -13: case -11: case -10: case -8:
    case -5: case -3:
        return 88;
    case 3: case 9: case 20: case 28: case 29: case -12: case -9: case -7: case -6: case -4: case 22: case 25:
    case 30:
        return 100;
    case 23: case 26:
        return 112;
    default:
        return 0;
    }
}

uint32_t Group_FaceSize(PoolRef<PrimGroup> group) {
    PoolRef<EdgeGroup> edges = Get(group, &PrimGroup::edges);
    if (!edges) return 0;
    uint32_t stride = Get(edges, &EdgeGroup::stride);
    if (stride == 0) return 0;
    return stride == 60 ? 56 : 68;
}
