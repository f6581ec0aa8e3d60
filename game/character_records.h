// The characters' records: the 64 runtime records of a mission (the hero
// in slot 0) and their parallel animation states, with the control bits and
// slot modes they hold.  Layouts and the tables' globals only.
#pragma once

#include "engine3d/dqx_3d.h"
#include "game/mission_records.h"

#include <cstdint>

constexpr int kCharacterSlots = 64;
constexpr int kAnimSlots = 64;

// CharacterRecord::setUp values.
constexpr uint8_t kNotSetUp = 0;
constexpr uint8_t kSetUpInRoom = 1;
constexpr uint8_t kSetUpSpindrel = 2;

struct CharacterRecord;
struct MorphRec;
struct ObjectSlotEntry;

constexpr int kInventorySlots = 32;

// A slot's keyframe callback: called each frame with the frame reached in
// the slot (time / 256), or 10000 as the slot's end notice, until it
// answers 1 (its event fired).
using KeyframeCallback = int (*)(CharacterRecord* character, int32_t frame, int32_t slot);

// Control flag bits of CharacterRecord::controls.
constexpr uint16_t kCtlTurnLeft = 1u << 0;
constexpr uint16_t kCtlTurnRight = 1u << 1;
constexpr uint16_t kCtlForward = 1u << 2;
constexpr uint16_t kCtlBackward = 1u << 3;
constexpr uint16_t kCtlPower = 1u << 4;
constexpr uint16_t kCtlAction = 1u << 7;
constexpr uint16_t kCtlTake = 1u << 9;
constexpr uint16_t kCtlHitReaction = 1u << 10;  // asks code 7
constexpr uint16_t kCtlPace = 1u << 11;         // the hero walks, others run
constexpr uint16_t kCtlPowerMode = 1u << 12;
constexpr uint16_t kCtlSideStep = 1u << 13;
constexpr uint16_t kCtlWeaponsOff = 1u << 14;
constexpr uint16_t kCtlPowerHeld = 1u << 15;

struct CharacterRecord {
    ObjHandle model;       // the character's object, 0 = none
    ObjHandle source;      // object its shots start from, 0 = the model
    ObjHandle aimNode;     // node aimed shots at it are directed to
    ObjHandle attached;    // its shadow, 0 = none
    CharacterDef* def;     // its definition
    CharacterRecord* target;
    Vec3 position;         // world position
    int32_t animCode;      // the code last given to ChangeCharacterAnim
    uint16_t controls;     // control flag bits (kCtl...)
    Mat3 orientation;      // Q15
    MissionWeaponRecord* track;  // the definition's weapon record: its patrol track
    int32_t trackIndex;    // patrol track point (set by the AI host)
    int32_t actionResult;  // result of the last object-use request, 0 = none yet
    uint32_t nextFireTick; // millisecond tick before which it cannot fire again
    int32_t effect;        // instance of the effect started by its last shot
    int32_t fireRate;      // shots per second of that effect
    int32_t immunity;      // ticks of immunity left (powers)
    int32_t fireLevel;     // level of the power last fired
    int32_t eyeHeight;     // height of the head above the position
    int32_t shotCost;      // energy cost of its last shot; read as the hit value of its shots
    int32_t currentAnim;   // the animation code playing; 21, 22 and 23 are the deaths
    uint16_t stateTimer;   // countdown in ticks of a special state
    uint8_t dying;         // non-zero from the death's start
    uint8_t lock;          // non-zero while the hero dies or a sequence holds it
    uint8_t hold;          // non-zero while events hold its animation; the AI's request clears it
    uint8_t mood;          // set by an event together with the hold byte (shown by the debug pages)
    uint8_t flags2;        // second flags byte, set by events: 2 and 8 collapsed, 16 held by an event
    uint8_t collapsed;     // 1 once an event made it collapse
    uint8_t opacity;       // 255 opaque, lowered while the character fades
    uint8_t kind;          // 0 ordinary, 1 attacker, 2 summoned ally
    uint8_t powerFlags;    // bit 0 casting, bit 1 power armed, bit 2 no casting animation
    uint8_t spell;         // selected row of PowerTableM
    uint8_t weapon;        // selected row of PowerTableW
    uint8_t defaultAnim;   // the code taken when code 0 is asked
    uint8_t present;       // the character exists in this mission
    uint8_t paceSwitch;    // set: forward behaves as with kCtlPace
    uint8_t castMode;      // 1 casts spells, 0 weapon powers
    uint8_t special;       // special state: 0 none, 4 dying, 8 held by a scene, 16/32 scripted
    uint8_t pendingPower;  // kind + 1 of a power effect waiting for the animation's end
    uint8_t looped;        // set when a slot ended and chained to itself
    uint8_t setUp;         // kNotSetUp, kSetUpInRoom, kSetUpSpindrel
    uint8_t placed;        // set once the record has been put in the world
    uint8_t stateBytes[2]; // cleared at set-up and when the model is freed
    uint8_t mode;          // 6 after the first set-up
    uint16_t weaponBusy;
    int32_t counter;       // the hero's counter cleared at set-up
    ObjHandle hand;        // node of the hand ("repere", "main-d", ...)
    ObjHandle head;        // node of the head ("tete"), else the model
    ObjHandle animObjects[kCharacterAnimEntries];  // the loaded base animations, 0 = none

    // Its inventory: up to kInventorySlots object slots, the count and the
    // selected entry (1-based, 0 = none).
    ObjectSlotEntry* inventory[kInventorySlots];
    uint8_t inventoryCount;
    uint8_t selectedEntry;

    // What the per-frame character pass and the target choices keep.
    uint8_t nearBit;           // cleared while it stands on the hero's spot, set otherwise
    int32_t protection;        // its power state's protection countdown, in ticks
    // Its power state's damage factor: a tendril hit takes PowerEraseTendrils
    // times this.  Every record starts at 1 and nothing in the game raises it.
    int32_t damageFactor = 1;
    // Where its last aimed shot started (world units): the effects follow
    // the start of a flying shot through this field.
    Vec3 firePosition;
    // The charge the hero carries (the HUD shows charge / kChargeUnit while
    // it is above 0), and the effect that shows it: instance + 1, 0 none;
    // the HUD frees it once the charge is spent.
    int32_t charge;
    int32_t chargeEffect;
};

// AnimSlot::mode bits.
constexpr uint8_t kSlotRootMotion = 0x01;
constexpr uint8_t kSlotBackwards = 0x02;
constexpr uint8_t kSlotAsked1000 = 0x04;  // recorded only
constexpr uint8_t kSlotKeepHeading = 0x08;
constexpr uint8_t kSlotNoInterrupt = 0x10;
constexpr uint8_t kSlotNoRotation = 0x80;
// AnimSlot::state bits.
constexpr uint8_t kSlotKeyframeDone = 0x01;
constexpr uint8_t kSlotEndSent = 0x02;

// One animation slot of a character (the slot index is the animation
// code).  Frames are those of the animation block `anim`.
struct AnimSlot {
    ObjHandle anim;        // the animation block of the slot's frames, 0 = none
    int32_t first;         // first frame
    MorphRec* morphs;      // morph-target set of its animation (hero only), null = none
    int32_t length;        // frames played, at least 1
    int32_t next;          // code that follows when the slot ends
    int32_t sound;         // voice of the slot's keyframe sound, -1 none
    uint8_t state;         // kSlotKeyframeDone, kSlotEndSent
    int32_t keyframe;      // frame at which the keyframe event fires
    KeyframeCallback onKeyframe;
    uint8_t mode;          // kSlot... mode bits
    uint8_t priority;      // working priority
    uint8_t basePriority;
    uint8_t soundKind;     // sound event kind of the keyframe, 0 none
};

struct CharacterAnimState {
    AnimSlot slots[kAnimSlots];
    ObjHandle model;
    // The range played and the frame shown last, each an animation
    // reference (Anim_Ref: the block and a frame), so that a blend may run
    // from a frame of one animation to the first frame of another.
    int32_t rangeStart, rangeEnd;
    int32_t blendFrom;            // 0 = nothing shown yet
    Vec3 rootPrev, rootBase, delta;
    Vec3 position;                // the character's position as moved by root motion
    int32_t floor;                // height the root's y is measured from
    void* weaponRecord;           // weapon record whose fire animation plays (hero)
    int32_t time;                 // time in the slot, 1/255 frame
    uint32_t startTick;           // millisecond tick of the clock's restart
    int32_t baseTime;             // time already elapsed at the restart
    uint8_t flags;                // bit 0 weapon effect pending, bit 1 fire armed
    int16_t angles[3];            // x, heading, z (4096 a turn)
    int16_t speed;                // 255 = normal
    uint16_t previous, current, requested;  // animation codes
    int16_t blending;             // 1 blend playing, 2 death finished
    uint8_t deathFlags;           // bit 1 death keyframe reached
    uint8_t stopMode;             // 1 holds a playing non-zero code on its last frame
    uint8_t ended;                // 1 when a slot ended without a blend
    uint8_t isHero;
    // The hero's morph sets as step 6 left them: the set whose shape the
    // model's parts show (null: their rest shape), the set of the frame at
    // blendFrom and the set of the frame the running blend starts from
    // (null: the rest shape).
    MorphRec* morphsShown;
    MorphRec* blendFromMorphs;
    MorphRec* rangeMorphs;
};

// The 64 records of the mission, the hero in slot 0, and their animation
// states; null until the first mission opens (tests may point them at
// their own records).
extern CharacterRecord* CharacterTable;
extern CharacterAnimState* CharacterAnimTable;
// The hero's record (slot 0); none while the tables do not exist.
inline CharacterRecord* HeroRecord() {
    return CharacterTable ? &CharacterTable[0] : nullptr;
}
