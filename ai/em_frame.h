// The AI manager's frame: the room lists, the steps before and after the
// room's enemies (scene entry, contact hits, the formation preparations),
// and the tendril growth driven by the roaming spindrels.
// EM_UpdateStrategyMission itself is declared in ai/managers.h.
#pragma once

#include "ai/em_records.h"

#include <cstdint>

struct CharacterRecord;

// Answers of EM_UpdateStrategyMission.
constexpr int kEmFrameClosed = 0, kEmFrameRan = 1, kEmFrameNoRecord = 3, kEmFrameBadRoom = 4;

// Contact: three-dimensional distance below 330 units.
constexpr float kEmContactDistance2 = 108900.0f;
constexpr float kEmCircleRadius = 1320.0f;
constexpr float kEmFrontDistance = 990.0f;
constexpr float kEmFrontBackDistance = 660.0f;
constexpr float kEmSlotSpacing = 550.0f;

void EM_ProcessBeforeAllEnemies();
void EM_ProcessAfterAllEnemies();
void EM_ProcessEntryInRoom();
void EM_ArmAppearScene(CharacterRecord* character, EmEnemy* enemy);
void EM_ArmAppearSceneFxs(CharacterRecord* character, EmEnemy* enemy);
void EM_ProcessContactHits();
void EM_PrepareCircleBehaviour();
void EM_PrepareFrontBehaviour();
void EM_PrepareFrontBackBehaviour();

void EM_ProcessTendrils();
void EM_ProcessTendrilsRoom(EmRoom* room);
void EM_ChangeTendrilsForRoom(EmRoom* room, int32_t kind);
void EM_ChangeTendrilsForRoomAlways(EmRoom* room, int32_t side);
int EM_IsThereAnAgressiveSpindrel(int32_t side);
int EM_HasRoomAgressiveSpindrel(EmRoom* room, int32_t side);
int EM_IsRoomNearAgressiveSpindrel(EmRoom* room, int32_t side);
int EM_IsRoomFarAgressiveSpindrel(EmRoom* room, int32_t side);
