// The hook tables' first implementation: nothing is done.
#include "engine3d/dqx_hooks.h"

namespace {

void NoMap(int, const uint8_t*) {}
void NoCall() {}
void NoViewport(int, int, int, int) {}
void NoBlock(uint32_t) {}
void NoText(const char*, int, int, const void*, uint32_t) {}

}  // namespace

const RenderHooksTable kNullRenderHooks = {NoMap, NoMap, NoCall, NoCall, NoCall, NoCall, NoViewport, NoCall, NoBlock};
RenderHooksTable RenderHooks = kNullRenderHooks;

const EngineServiceHooks kNullEngineServices = {NoCall, NoText};
EngineServiceHooks EngineServices = kNullEngineServices;
