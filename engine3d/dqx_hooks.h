// The calls the 3D engine makes into the renderers, the collision world and
// the layers above it.  The engine reaches them only through these tables,
// so that it builds and runs before (and without) what fills them: every
// slot starts as a routine that does nothing, and the owner of the service
// installs its own.  The collision world is the engine's own: its two slots
// start filled (kNullRenderHooks leaves them empty).
#pragma once

#include <cstdint>

struct Obj3D;
struct Vec3;
struct Mat3;
template <class T>
struct PoolRef;
using Vec3Ptr = Vec3*;
using Mat3Ptr = Mat3*;

struct RenderHooksTable {
    // Uploads model-bank entry n's colour map (one index byte a texel) to the
    // texture slot of the same number.
    void (*LoadMap)(int n, const uint8_t* texels);
    // The same for an alpha map (colour index and alpha byte a texel).
    void (*LoadAlphaMap)(int n, const uint8_t* texels);
    // Called once, before the first conversion of the bank to 555.
    void (*SpanTableHook)();
    // Takes the span buffer's sentinels from the object library (through
    // Alloc_RDMemory) and its heap arrays; called by Init_ObjLibrary.
    void (*InitSpanBuffer)();
    // Gives back the span buffer's heap arrays (each only when held).
    void (*FreeSpanBuffer)();
    // Places the span buffer's sentinels for the current view.
    void (*ResetSpanBuffer)();
    // Sets the 3D layer's viewport to the view rectangle.
    void (*SetViewport)(int width, int height, int x, int y);
    // Empties the collision world; called by Init_3DMemory.
    void (*ResetCollisionWorld)();
    // Removes the faces of a collision block (its pool offset) from the
    // collision world; called when the block is freed.
    void (*RemoveCollisionBlock)(uint32_t block);

    // The renderers' steps the scene walk calls (through the slots of
    // dqx_view.h), each with a node.
    // 3D layer: clears the frame before the walk, draws one object, draws
    // the deferred blended faces after the walk.
    void (*ClearFrame)();
    void (*DrawObject)(PoolRef<Obj3D> node);
    void (*FlushScene)();
    // Software rasterizer: the per-object set-up and the post-order edge
    // filing, and the two frame sweeps over the frame buffer.
    void (*SetupObject)(PoolRef<Obj3D> node);
    void (*BuildObjectEdges)(PoolRef<Obj3D> node);
    void (*RenderFrame)(uint16_t* frame);
    void (*RenderFrame2)(uint16_t* frame);
};
extern RenderHooksTable RenderHooks;
// The table as it starts: every slot does nothing.
extern const RenderHooksTable kNullRenderHooks;

// What a hit lands on: a character record or a tendril record, never one
// taken for the other.
enum class HitTargetKind : int32_t { None = 0, Character = 1, Tendril = 2 };
struct HitTarget {
    HitTargetKind kind;
    void* record;  // a CharacterRecord or a tendril record, by kind
};
// The argument table of a hit, the same for the effects engine and the game.
struct HitArgs {
    HitTarget target;
    int32_t damage;    // the shot's damage (for effects: the class it was started with)
    int32_t hitValue;  // the shooter's hit value when the shot started
};

// Services of the layers above the engine.
struct EngineServiceHooks {
    // Refills the playing sound streams; called for every object file read.
    void (*UpdateStreams)();
    // Draws one line of text at (x, y) in the given screen colour with a
    // bitmap font; the 3D memory page draws through it.
    void (*DrawString)(const char* text, int x, int y, const void* font, uint32_t colour);

    // The enemy AI manager's facing of a character (three floats), used by
    // the gradual turning of Face_Point: get leaves the direction as it is
    // for a character that is not one of the manager's enemies.
    void (*IAGetDirection)(void* character, float direction[3]);
    void (*IASetDirection)(void* character, const float direction[3]);
    // Turns direction toward target by at most step.
    void (*RotateVectorToward)(float direction[3], const float target[3], float step);
    // The frame-tick factor of the game loop's pacing (1..4).
    int (*FrameTickFactor)();
    // A character record's own copies of its position and orientation.
    Vec3Ptr (*CharacterPosition)(void* character);
    Mat3Ptr (*CharacterOrientation)(void* character);

    // What the effects and the morphs read of the game's characters: the
    // hero's record (character slot 0, none before a mission), whether a
    // character's definition is guarded (bit 3 of its flag byte), a
    // record's hit value, and the hero's own opacity (0..255).
    void* (*HeroCharacter)();
    int (*CharacterGuarded)(void* character);
    int32_t (*CharacterHitValue)(void* character);
    int32_t (*HeroOpacity)();
    // The game's reactions to an effect's hit: HitCharacter (with the
    // projectile's target, the class it was started with as the damage and
    // the shooter's hit value at the start), SetCharacterAnim,
    // SetLifeStanceAnim and the enemy manager's EM_ImpactEnemy (with the
    // set's file name as the weapon).  They may start or free effects.
    void (*HitCharacter)(const HitArgs* hit);
    void (*SetCharacterAnim)(void* character, int32_t code);
    void (*SetLifeStanceAnim)(void* character);
    void (*ImpactEnemy)(void* character, const char* weapon);
    // SFX_Play(owner object, sound name, loop, priority, archive); the sound
    // follows the owner.
    void (*PlaySound)(int32_t owner, const char* name, int loop, int priority, int archive);
};
extern EngineServiceHooks EngineServices;
extern const EngineServiceHooks kNullEngineServices;
