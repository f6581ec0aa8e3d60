// The ten main behaviours of an enemy, each a state machine over the
// enemy's state that starts at 0 and comes back to 0 at every exit.
#pragma once

#include "ai/em_records.h"

#include <cstdint>

struct CharacterRecord;

enum EmMainBehaviour : int32_t {
    kEmAttacker = 1,
    kEmCoward = 2,
    kEmAttackerCoward = 3,
    kEmViscious = 4,
    kEmSpeedy = 5,
    kEmLier = 6,
    kEmFollower = 7,
    kEmTeleporter = 8,
    kEmMonkey = 9,
    kEmSniper = 10,
};

// Cone angles (full opening, radians) of the facing tests.
constexpr float kEmNarrowCone = 0.6283185f;  // a fifth of a half turn
constexpr float kEmWideCone = 1.5707963f;    // a quarter turn

// Runs the behaviour of that number for one frame; another number writes
// "Unknown main behaviour (%d)" to the log and does nothing.
void EM_ProcessMainBehaviour(CharacterRecord* character, EmEnemy* enemy, int32_t behaviour);

void EM_ProcessMBAttacker(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBCoward(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBAttackerCoward(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBViscious(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBSpeedy(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBLier(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBFollower(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBTeleporter(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBMonkey(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessMBSniper(CharacterRecord* character, EmEnemy* enemy);
