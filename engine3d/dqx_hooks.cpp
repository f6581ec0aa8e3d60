// The hook tables' first implementation: nothing is done, but for the
// collision world's own two slots.
#include "engine3d/dqx_hooks.h"

#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_collide.h"

namespace {

void NoMap(int, const uint8_t*) {}
void NoCall() {}
void NoViewport(int, int, int, int) {}
void NoBlock(uint32_t) {}
void NoText(const char*, int, int, const void*, uint32_t) {}
void NoNode(PoolRef<Obj3D>) {}
void NoFrame(uint16_t*) {}
void NoGetDirection(void*, float[3]) {}
void NoSetDirection(void*, const float[3]) {}
void NoRotate(float[3], const float[3], float) {}
int OneTick() {
    return 1;
}
Vec3* NoPosition(void*) {
    return nullptr;
}
Mat3* NoOrientation(void*) {
    return nullptr;
}

}  // namespace

const RenderHooksTable kNullRenderHooks = {NoMap,  NoMap,   NoCall, NoCall, NoCall,  NoCall, NoViewport, NoCall,
                                           NoBlock, NoCall, NoNode, NoCall, NoNode, NoNode, NoFrame,    NoFrame};
RenderHooksTable RenderHooks = [] {
    RenderHooksTable t = kNullRenderHooks;
    t.ResetCollisionWorld = Reset_Collision;
    t.RemoveCollisionBlock = Remove_CollisionFaces;
    return t;
}();

const EngineServiceHooks kNullEngineServices = {NoCall,   NoText,  NoGetDirection, NoSetDirection,
                                                 NoRotate, OneTick, NoPosition,     NoOrientation};
EngineServiceHooks EngineServices = kNullEngineServices;
