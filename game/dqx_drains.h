// Drains: the energy wells of the rooms.
// Stand-ins under their final names: each only logs its call.
#pragma once

// The drain table of the mission started.
void LoadDrains(int mission, int restoring);
// The drain table closed.
void CloseDrains();

// One frame of the placed drains (filling, collection).
void UpdateDrains();
