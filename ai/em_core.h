// The enemy manager's core: its log and call trace, the mission's player,
// enemy, spindrel and room records built when a mission opens, the lookups
// over them, the rooms' tendril values and the enemies' AI facing.
#pragma once

#include "ai/em_records.h"
#include "ai/manager_trace.h"

#include <cstdint>

inline constexpr const char* kEmBanner = "Spindrel I.A. Manager Version 2.05 RC7";
// The script entry that serves characters without one of their own.
inline constexpr const char* kEmDefaultName = "<DEFAULT>";
// The name text that means "none" (any case).
inline constexpr const char* kEmNoName = "<NONAME>";

const char* EM_GetLibVersion();

// A line through DebugLog while EmDebugLog is set.
void EM_Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "******************************<text>" through DebugLog while EmDebugTrace is set.
void EM_Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The enemy manager's trace switch as it is now.
inline bool EM_Tracing() {
    return EmDebugTrace != 0;
}

// The call trace of one enemy manager operation: "<name>()" now and
// "End Of <name>()" when it goes out of scope, each while EmDebugTrace is
// set at that moment.
class EmCall : public TracedCall {
public:
    explicit EmCall(const char* name, const char* exitName = nullptr) : TracedCall(EM_Tracing, name, false, exitName) {}
};

// EmFrameFactor as the timers divide by it: at least 1 (a NaN gives 1).
float EM_FrameFactor();
// Takes the game's frame-tick factor into EmFrameFactor, raised to 1.
void EM_TakeFrameFactor(float factor);

// The first record of the table whose game character is the given one;
// none for none.
EmEnemy* EM_FindEnemyDatas(const CharacterRecord* character);
EmPlayer* EM_FindPlayerDatas(const CharacterRecord* character);
EmSpindrel* EM_FindSpindrelDatas(const CharacterRecord* character);
// The room record of a room index; none outside the room table.
EmRoom* EM_FindRoomDatas(int32_t room);
// The game character of the first spindrel whose character name equals
// `name` ignoring letter case; none when absent.
CharacterRecord* EM_GetSpindrelWithName(const char* name);
// 1 when the character's spindrel is busy with a move: a state other than
// 0, or a next room while it stands in the hero's room; else 0.
int EM_IsSpindrelMode(const CharacterRecord* character);

// The enemy's AI facing (three floats): read, and stored with the game
// character turned toward it.
void EM_GetDirection(const CharacterRecord* character, const EmEnemy* enemy, float* out);
void EM_SetDirection(CharacterRecord* character, EmEnemy* enemy, const float* direction);

// Building the mission's records.
void EM_InitializePlayer(CharacterRecord* character, EmPlayer* player);
// Binds the record to the script entry of the character's name, else to
// "<DEFAULT>", else to a zeroed entry; then resets its runtime part.
void EM_InitializeEnemy(CharacterRecord* character, EmEnemy* enemy);
// The runtime part of the record reset and its first timers drawn.
void EM_InitializeEnemyDatas(CharacterRecord* character, EmEnemy* enemy);
void EM_InitializeSpindrel(CharacterRecord* character, EmEnemy* enemy, EmSpindrel* spindrel);
void EM_InitializeRoom(int32_t index, EmRoom* room);
// 1 done (an empty table when no enemy is a spindrel), 0 when the records
// cannot be allocated.
int EM_CreateSpindrelList();
// 1 done; 0 for a mission without rooms or when the records cannot be
// allocated.
int EM_CreateRoomList();
// The player and enemy tables from the host's lists: 1 done, 0 for none or
// when the records cannot be allocated.
int EM_CreatePlayerList();
int EM_CreateEnemyList();
// Every mission table freed and emptied: models, rooms, spindrels,
// enemies, players, then the script's characters.
void EM_FreeMissionTables();

// A game tendril count c is held as c x 999 / 9 = c x 111.
constexpr int32_t kEmTendrilUnit = 111;
constexpr int32_t kEmTendrilCap = 999;
