// Tendrils.
#pragma once

// One frame of the tendrils of the current room.
void UpdateTendrils(int mode);
