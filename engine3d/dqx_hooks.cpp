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
void* NoHero() {
    return nullptr;
}
int NotGuarded(void*) {
    return 0;
}
int32_t NoHitValue(void*) {
    return 0;
}
int32_t Opaque() {
    return 255;
}
void NoHit(const HitArgs*) {}
void NoAnim(void*, int32_t) {}
void NoStance(void*) {}
void NoImpact(void*, const char*) {}
void NoSound(int32_t, const char*, int, int, int) {}

}  // namespace

const RenderHooksTable kNullRenderHooks = {NoMap,  NoMap,   NoCall, NoCall, NoCall,  NoCall, NoViewport, NoCall,
                                           NoBlock, NoCall, NoNode, NoCall, NoNode, NoNode, NoFrame,    NoFrame};
RenderHooksTable RenderHooks = [] {
    RenderHooksTable t = kNullRenderHooks;
    t.ResetCollisionWorld = Reset_Collision;
    t.RemoveCollisionBlock = Remove_CollisionFaces;
    return t;
}();

const EngineServiceHooks kNullEngineServices = {
    .UpdateStreams = NoCall,
    .DrawString = NoText,
    .IAGetDirection = NoGetDirection,
    .IASetDirection = NoSetDirection,
    .RotateVectorToward = NoRotate,
    .FrameTickFactor = OneTick,
    .CharacterPosition = NoPosition,
    .CharacterOrientation = NoOrientation,
    // effects and morphs
    .HeroCharacter = NoHero,
    .CharacterGuarded = NotGuarded,
    .CharacterHitValue = NoHitValue,
    .HeroOpacity = Opaque,
    .HitCharacter = NoHit,
    .SetCharacterAnim = NoAnim,
    .SetLifeStanceAnim = NoStance,
    .ImpactEnemy = NoImpact,
    .PlaySound = NoSound,
};
EngineServiceHooks EngineServices = kNullEngineServices;
