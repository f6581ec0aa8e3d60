// The overlay's energy-change notice: the sum is kept and timed; nothing
// draws it yet.
#include "game/overlay.h"

#include "platform/timer.h"

#include <algorithm>
#include <cstdint>

int32_t EnergyChangeSum = 0;
uint32_t EnergyChangeUntil = 0;

void ShowEnergyChange(int32_t amount) {
    const int64_t sum = int64_t(EnergyChangeSum) + amount;
    EnergyChangeSum = int32_t(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
    EnergyChangeUntil = GetTimeMs() + 3000;
}
