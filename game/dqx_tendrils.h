// Tendrils and the mission's drills.
// Stand-ins under their final names: each only logs its call.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

// The mission's state byte: 9 once the tendrils stop shooting.
extern uint8_t MissionStateByte;
constexpr uint8_t kTendrilsSilenced = 9;
// The mission's flag byte: the tendrils show while it is 1, 2 or 3; bit 0
// is set by spell row 3, bit 1 while a shown spindrel hit by the hero
// lives.
extern uint8_t MissionFlagByte;
constexpr uint8_t kMissionFlagSpell = 0x01;
constexpr uint8_t kMissionFlagSpindrelHit = 0x02;

// The mission's drill state cleared.
void ClearDrillState();
// The mission's drills loaded.
void LoadDrills();
// The mission's drills freed.
void FreeDrills();
// The drills of the room being left freed.
void FreeRoomDrills();
// The tendrils of the room entered created.
void CreateRoomTendrils();
// The tendrils of the room being left freed.
void FreeRoomTendrils();
// One frame of the tendrils of the current room.
void UpdateTendrils(int mode);

struct CharacterRecord;
struct TendrilRecord;
// The live tendril most nearly in front of the character (horizontal
// facing cosine above 12000), or none.
TendrilRecord* FindFacingTendril(CharacterRecord* character);
// A hit of the hero's weapon on a tendril.
void HitTendril(TendrilRecord* tendril);
// Where the tendril is aimed at (its world position).
void GetTendrilPosition(const TendrilRecord* tendril, Vec3* out);
