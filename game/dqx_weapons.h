// Weapons: one frame of the weapons in use (expiry, grenades, barriers).
#pragma once

void UpdateWeapons();
