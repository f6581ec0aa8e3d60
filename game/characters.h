// The characters of a mission: the 64 runtime records (the hero in slot 0)
// and their parallel animation states, as far as the mission life cycle
// sets them up and the 3D engine's effects and morphs reach them.  The hit
// and animation requests of the effects are kept in a log that tests read.
#pragma once

#include "engine3d/dqx_3d.h"
#include "game/mission_records.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int kCharacterSlots = 64;
constexpr int kAnimSlots = 64;

// CharacterRecord::setUp values.
constexpr uint8_t kNotSetUp = 0;
constexpr uint8_t kSetUpInRoom = 1;
constexpr uint8_t kSetUpSpindrel = 2;

struct CharacterRecord {
    ObjHandle model;       // the character's object, 0 = none
    ObjHandle source;      // object its shots start from, 0 = the model
    ObjHandle aimNode;     // node aimed shots at it are directed to
    ObjHandle attached;    // its shadow, 0 = none
    CharacterDef* def;     // its definition
    CharacterRecord* target;
    Vec3 position;         // world position
    int32_t animCode;      // the code last asked for
    uint16_t controls;     // control flag bits
    Mat3 orientation;
    MissionWeaponRecord* track;  // the definition's weapon record: its patrol track
    int32_t eyeHeight;     // height of the head above the position
    int32_t shotCost;      // energy cost of its last shot; read as the hit value of its shots
    int32_t life;          // what the effects' hits take from
    int32_t currentAnim;   // the animation code playing; 21, 22 and 23 are the deaths
    uint8_t dying;         // non-zero from the death's start
    uint8_t lock;          // non-zero while the hero dies or a sequence holds it
    uint8_t opacity;       // 255 opaque, lowered while the character fades
    uint8_t kind;          // 0 ordinary, 1 attacker, 2 summoned ally
    uint8_t special;       // special state, 0 none
    uint8_t setUp;         // kNotSetUp, kSetUpInRoom, kSetUpSpindrel
    uint8_t placed;        // set once the record has been put in the world
    uint8_t stateBytes[2]; // cleared at set-up and when the model is freed
    uint8_t mode;          // 6 after the first set-up
    uint16_t weaponBusy;
    int32_t counter;       // the hero's counter cleared at set-up
    ObjHandle hand;        // node of the hand ("repere", "main-d", ...)
    ObjHandle head;        // node of the head ("tete"), else the model
    ObjHandle animObjects[kCharacterAnimEntries];  // the loaded base animations, 0 = none

    // What the per-frame character pass and the target choices keep.
    uint8_t present;           // the character exists in this mission (slots below the definition count)
    uint16_t stateTimer;       // countdown in ticks of a special state; above 0 while it runs
    uint8_t defaultAnim;       // the code taken when code 0 is asked
    uint8_t nearBit;           // cleared while it stands on the hero's spot, set otherwise
    int32_t protection;        // its power state's protection countdown, in ticks
    int32_t protectionEffect;  // instance of the protection effect, 0 = none
};

// One animation slot of a character: the animation object, its frame
// range, the step per frame in 1/256 of the range, and the code that
// follows when it ends (0 = none).
struct AnimSlot {
    ObjHandle anim;
    int32_t first, last, third, step;
    uint16_t next;
};

struct CharacterAnimState {
    AnimSlot slots[kAnimSlots];  // indexed by animation code
    ObjHandle model;
    Vec3 position;               // the character's position as moved by root motion
    uint16_t previous, current;  // animation codes
};

// The 64 records of the mission, the hero in slot 0, and their animation
// states; null until the first mission opens (tests may point them at
// their own records).
extern CharacterRecord* CharacterTable;
extern CharacterAnimState* CharacterAnimTable;
// Points the tables at the program's own 64 records when they are null.
void AllocCharacterTables();

// A hit: the character loses the damage (life stays at 0 or above).
void HitCharacter(CharacterRecord* character, int32_t damage, int32_t hitValue);
// Asks for an animation code; 0 when the request was taken.
int SetCharacterAnim(CharacterRecord* character, int32_t code);
// The hit reaction by life: code 1 at 67 or more, 20 at 1..33, else 7.
void SetLifeStanceAnim(CharacterRecord* character);
// Starts the death: the first death animation (21) and the dying byte 2.
void StartCharacterDeath(CharacterRecord* character);

// Puts the character's model at its position with its orientation and
// puts it back in the scene (enabled and shown, its helper nodes hidden).
void PlaceCharacterModel(CharacterRecord* character);
// Hooks the keyframe events of the character's animations.
void InstallKeyframeCallbacks(CharacterRecord* character);
// The per-frame control of one character.
void UpdateCharacter(CharacterRecord* character);

// What was asked, oldest first (at most the last 1024 calls).
struct GameCall {
    std::string what;
    CharacterRecord* character;
    int32_t a, b;
};
extern std::vector<GameCall> g_GameCalls;
// Adds a call to the log (the game world's stand-ins record theirs there).
void RecordGameCall(const char* what, CharacterRecord* character = nullptr, int32_t a = 0, int32_t b = 0);
