// The in-game overlay's notices.
// Stand-ins under their final names: each only logs its step
// (platform/step_log.h).
#pragma once

// An energy change shown beside the gauge.
void ShowEnergyChange(int amount);
