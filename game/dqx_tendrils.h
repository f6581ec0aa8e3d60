// Tendrils and the mission's drills.
// Stand-ins under their final names: each only logs its call.
#pragma once

#include <cstdint>

// The mission's state byte: 9 once the tendrils stop shooting.
extern uint8_t MissionStateByte;
constexpr uint8_t kTendrilsSilenced = 9;

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
