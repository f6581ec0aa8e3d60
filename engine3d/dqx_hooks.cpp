// The hook tables' first implementation: nothing is done, but for the
// collision world's own two slots.
#include "engine3d/dqx_hooks.h"

#include "engine3d/dqx_collide.h"

namespace {

void NoMap(int, const uint8_t*) {}
void NoCall() {}
void NoViewport(int, int, int, int) {}
void NoBlock(uint32_t) {}
void NoText(const char*, int, int, const void*, uint32_t) {}
int OneTick() {
    return 1;
}

}  // namespace

const RenderHooksTable kNullRenderHooks = {NoMap, NoMap, NoCall, NoCall, NoCall, NoCall, NoViewport, NoCall, NoBlock};
RenderHooksTable RenderHooks = [] {
    RenderHooksTable t = kNullRenderHooks;
    t.ResetCollisionWorld = Reset_Collision;
    t.RemoveCollisionBlock = Remove_CollisionFaces;
    return t;
}();

const EngineServiceHooks kNullEngineServices = {NoCall, NoText, OneTick};
EngineServiceHooks EngineServices = kNullEngineServices;
