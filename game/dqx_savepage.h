// The save and load pages.
#pragma once

// The current mission's name for save names: for missions 1 to 10 its
// entry of the mission list, for any other the list's last entry.
const char* GetMissionName();
