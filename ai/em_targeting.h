// Where an enemy's target stands and how the enemy turns toward it.
#pragma once

#include "ai/em_records.h"

// The target's model position: a player's for a player hunter, else an
// enemy's (the host gives both the same way); (0, 0, 0) without a target.
void EM_GetTargetPosition(const EmEnemy* enemy, float* out);
