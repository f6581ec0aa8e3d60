// The player's options that the sound layer reads: a layout of globals
// with no logic, defined by the game world.
#pragma once

#include <cstdint>

// The player's volumes, 0..63 (player.ini [Options] MusicVol, SoundVol,
// VoiceVol; 32 by default).
extern int32_t MusicVolume;
extern int32_t SoundVolume;
extern int32_t VoiceVol;
