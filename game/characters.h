// The characters of a mission: the 64 runtime records (the hero in slot 0)
// and their parallel animation states, as far as the mission life cycle
// sets them up and the 3D engine's effects and morphs reach them.  The
// animation requests, and the hits dqx_combat takes, are kept in a log that
// tests read.
#pragma once

#include "game/character_records.h"

#include <cstdint>
#include <string>
#include <vector>

// A character's life is its definition's (offset 2092): the hits, the AI's
// contact damage and the events change it there, and the death rules, the
// hit reaction and the HUD read it there.  A record without a definition
// has none.
inline int32_t CharacterLife(const CharacterRecord* character) {
    return character && character->def ? character->def->life : 0;
}

// Points the tables at the program's own 64 records when they are null.
void AllocCharacterTables();

// Asks for an animation code; 0 when the request was taken.
int SetCharacterAnim(CharacterRecord* character, int32_t code);
// The hit reaction by life: code 1 at 67 or more, 20 at 1..33, else 7.
void SetLifeStanceAnim(CharacterRecord* character);
// Starts the death (special state 4, the dying byte 2, a death code).
void StartCharacterDeath(CharacterRecord* character);

// Puts the character's model at its position with its orientation, back in
// the scene, and restarts its animation on slot 0; `reset` also clears the
// hero's angles.
void PlaceCharacterModel(CharacterRecord* character, int reset = 0);
// The height root motion stands the character on: the floor of the current
// room for the hero and the characters in it, of its own room for a
// character elsewhere; `fallback` when that room gives no floor (a file
// written without one) or the character is in no room.
int32_t CharacterFloor(const CharacterRecord* character, int32_t fallback);
// Builds the character's 64 animation slots from its loaded animations.
void InstallKeyframeCallbacks(CharacterRecord* character);
// One frame of a character: its controls become animation requests, its
// animation advances, its shadow follows.
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
