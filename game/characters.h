// The characters of a mission as far as the 3D engine's effects and morphs
// reach them: the character table, and the hit and animation requests the
// effects make.  The records hold only what those callers read; the calls
// are kept in a log that tests read.
#pragma once

#include "engine3d/dqx_3d.h"
#include "game/dqx_load.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr int kCharacterSlots = 64;

struct CharacterRecord {
    ObjHandle model;         // first word: the character's object
    CharacterDef* def;
    int32_t hitValue;        // read for the shooter of a projectile
    int32_t life;
    int32_t requestedAnim;   // the last animation code asked for
    int32_t currentAnim;     // the animation code playing; 21, 22 and 23 are the deaths
    uint32_t controlBits;    // the controls asked for this frame
    uint8_t dying;           // non-zero from the death's start
    uint8_t lock;            // non-zero while the hero dies or a sequence holds it
    uint8_t opacity;         // 255 opaque, lowered while the character fades
};

// The 64 records of the mission, the hero in slot 0; null while no mission
// is open.
extern CharacterRecord* CharacterTable;

// A hit: the character loses the damage (life stays at 0 or above).
void HitCharacter(CharacterRecord* character, int32_t damage, int32_t hitValue);
// Asks for an animation code; 0 when the request was taken.
int SetCharacterAnim(CharacterRecord* character, int32_t code);
// The hit reaction by life: code 1 at 67 or more, 20 at 1..33, else 7.
void SetLifeStanceAnim(CharacterRecord* character);
// Starts the death: the first death animation (21) and the dying byte 2.
void StartCharacterDeath(CharacterRecord* character);

// What was asked, oldest first (at most the last 1024 calls).
struct GameCall {
    std::string what;
    CharacterRecord* character;
    int32_t a, b;
};
extern std::vector<GameCall> g_GameCalls;
// Adds a call to the log (the game world's stand-ins record theirs there).
void RecordGameCall(const char* what, CharacterRecord* character = nullptr, int32_t a = 0, int32_t b = 0);
