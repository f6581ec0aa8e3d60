// Tendrils and the mission's drills.
// Stand-ins under their final names: each only logs its step
// (platform/step_log.h).
#pragma once

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
// The tendrils updated.
void UpdateTendrils(int entering);
