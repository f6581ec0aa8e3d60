// Spindrels: enemies that roam from room to room on their own, along
// roads through the rooms that hold their side's tendrils.
#pragma once

#include "ai/em_records.h"

#include <cstdint>

struct CharacterRecord;

// One frame of every active spindrel's travel machine; `noEnemy` is 1 when
// the hero's room holds no enemy this frame (the spindrels then also run
// their own fades, deaths and hits).
void EM_ProcessSpindrels(int32_t noEnemy);
