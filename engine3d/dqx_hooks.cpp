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

}  // namespace

const RenderHooksTable kNullRenderHooks = {NoMap, NoMap, NoCall, NoCall, NoCall, NoCall, NoViewport, NoCall, NoBlock};
RenderHooksTable RenderHooks = {NoMap,    NoMap,      NoCall,          NoCall,
                                NoCall,   NoCall,     NoViewport,      Reset_Collision,
                                Remove_CollisionFaces};

const EngineServiceHooks kNullEngineServices = {NoCall, NoText};
EngineServiceHooks EngineServices = kNullEngineServices;

int32_t g_FrameTickFactor = 1;
