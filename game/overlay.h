// The overlay drawn over the 3D view: for now only the energy-change
// notice that other modules raise.
#pragma once

#include <cstdint>

// The signed sum of the energy changes shown at present, and the tick count
// (ms) until which it shows.
extern int32_t EnergyChangeSum;
extern uint32_t EnergyChangeUntil;

// Adds the amount to the sum on show and shows it for 3000 ms from now.
void ShowEnergyChange(int32_t amount);
